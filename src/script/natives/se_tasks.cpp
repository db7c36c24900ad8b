// The SE_ task, object and value natives. Objects are given as an object reference or as an
// integer id (class records have ids from 0 up, instances below 0); a deleted object has no
// class and answers like a missing one. SE_KillTask may end the calling task itself: after the
// kill it looks the caller up again by id and never touches the freed record.
#include "script/natives/se_tasks.h"

#include <cmath>

#include "script/natives/se_text.h"
#include "script/script_calls.h"

namespace {

// The object record an "o" argument names: the reference's record, or the object with the
// integer id; null for anything else.
ObjectInstance* ObjectArgument(const SECall* call, int32_t i) {
  const ScriptValue* value = SEArgValue(call, i);
  if (!value) return nullptr;
  if (value->type == kValueObject) return value->object;
  if (value->type == kValueInt) return FindScriptObject(call->engine, value->i);
  return nullptr;
}

}  // namespace

int32_t SE_GetTaskID(SECall* call) { return SEAnswerInt(call, call->task->id); }

int32_t SE_TaskExists(SECall* call) {
  return SEAnswerInt(call, SEHasArg(call, 0) && FindTask(call->engine, SEArgInt(call, 0)) ? 1 : 0);
}

int32_t SE_KillTask(SECall* call) {
  if (!SEHasArg(call, 0)) return SEAnswerInt(call, 0);
  int32_t callerId = call->task->id;
  KillTaskById(call->engine, SEArgInt(call, 0));
  // A caller that named itself is gone: no answer, and the interpreter must stop running it.
  if (!FindTask(call->engine, callerId)) return 0;
  return SEAnswerInt(call, 0);
}

int32_t SE_ObjectExists(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  return SEAnswerInt(call, value ? ObjectExists(value) : 0);
}

int32_t SE_ObjectFunctionExists(SECall* call) {
  const char* name = SEArgText(call, 1);
  const ScriptValue* object = SEArgValue(call, 0);
  if (!name || !object) return SEAnswerInt(call, 0);
  int32_t id;
  if (object->type == kValueInt) id = object->i;
  else if (object->type == kValueObject && object->object) id = object->object->id;
  else return SEAnswerInt(call, 0);
  return SEAnswerInt(call, ScriptMethodExists(call->engine, id, name) ? 1 : 0);
}

int32_t SE_GetClass(SECall* call) {
  ObjectInstance* object = ObjectArgument(call, 0);
  return SEAnswerInt(call, object && object->classRecord ? object->classRecord->id : 0);
}

int32_t SE_IsClass(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  if (!value || !ValueIsTrue(value)) return SEAnswerInt(call, 0);
  ObjectInstance* object = ObjectArgument(call, 0);
  const ScriptValue* classValue = SEArgValue(call, 1);
  if (!object || !classValue) return SEAnswerInt(call, 0);
  if (classValue->type == kValueObject) {
    const ObjectInstance* record = classValue->object;
    // Only a class record (whose class is itself) names a class.
    if (!record || record->classRecord != record) return SEAnswerInt(call, 0);
    return SEAnswerInt(call, ObjectClassChainHas(object, record->classRecord));
  }
  if (classValue->type != kValueInt) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, ObjectIsClass(object, classValue->u));
}

int32_t SE_GetSuperClass(SECall* call) {
  ObjectInstance* object = ObjectArgument(call, 0);
  if (!object || !object->classRecord) return SEAnswerInt(call, 0);
  uint32_t superId = object->classRecord->superId;
  return SEAnswerInt(call, superId == kNoSuperClass ? 0 : static_cast<int32_t>(superId));
}

int32_t SE_GetExprType(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  return SEAnswerInt(call, value ? value->type : 0);
}

int32_t SE_IsString(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  return SEAnswerInt(call, value && ValueIsText(value) ? 1 : 0);
}

int32_t SE_ToInt(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  if (!value) return SEAnswerInt(call, 0);
  if (value->type == kValueDouble) {
    double d = std::trunc(ValueDouble(value));
    // Numbers an integer cannot hold end at its limits; NaN holds no number at all.
    if (std::isnan(d)) return SEAnswerInt(call, 0);
    if (d >= 2147483647.0) return SEAnswerInt(call, 2147483647);
    if (d <= -2147483648.0) return SEAnswerInt(call, -2147483647 - 1);
    return SEAnswerInt(call, static_cast<int32_t>(d));
  }
  if (ValueIsText(value)) return SEAnswerInt(call, SETextToInt(GetValueString(value)));
  return SEAnswerInt(call, 0);
}

int32_t SE_GetNum(SECall* call) {
  uint32_t flags = call->engine ? call->engine->flags : 0;
  return SEAnswerInt(call, (flags & 2) && !(flags & 4) ? 0 : 1);
}
