// Calls into scripts by name and the reset of the script systems. A named call becomes a task of
// its own that runs at once inside the caller's call; its answer reaches the caller module when
// the function returns, now or after a wait. Every path that cannot start the call answers the
// caller module with the empty answer of its kind, so no module waits for an answer that never
// comes.
#include "script/script_calls.h"

#include <cstdarg>

#include "devices/movie.h"
#include "devices/sound.h"
#include "scene/scene.h"
#include "script/containers.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "script/timers.h"

namespace {

// Binary search of one class's own method table, which is sorted by the names' texts.
const MethodRecord* FindOwnMethod(const ScriptEngine* engine, const ScriptClassRecord* c, const char* name) {
  uint32_t lo = 0, hi = c->methodCount;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    int32_t order = CompareTextToMethodName(engine, name, &c->methods[mid]);
    if (order == 0) return &c->methods[mid];
    if (order > 0) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

const MethodRecord* FindMethodByName(const ScriptEngine* engine, const ObjectInstance* object, const char* name) {
  if (!object || !name) return nullptr;
  for (const ScriptClassRecord* c = object->classRecord; c; c = c->super) {
    if (const MethodRecord* m = FindOwnMethod(engine, c, name)) return m;
  }
  return nullptr;
}

// Every movie of the module's list ends (its owner is told), then the voice information goes.
void ReleaseScriptMovies() {
  for (MovieRecord* movie = FirstMovie(); movie;) {
    MovieRecord* next = NextMovie(movie);
    MovieRelease(movie);
    movie = next;
  }
  MOV_FreeVoiceInfo();
}

bool SoundModuleExists() { return gScriptSound != nullptr; }
bool Engine3DExists() { return gEngine3D != nullptr; }
bool MovieModuleExists() { return gMovieState != nullptr; }

const ScriptResetServices kRealResetServices = {
    SoundModuleExists, ResetScriptSounds, Engine3DExists, ResetEngine3D, MovieModuleExists, ReleaseScriptMovies,
};
ScriptResetServices gResetServices = kRealResetServices;

enum class ArgForm { kInts, kValues };

bool CallWithArguments(int32_t module, uint32_t cookie, int32_t objectId, const char* name, int32_t resultKind,
                       int32_t argCount, ArgForm form, va_list arguments) {
  ScriptTask* task = nullptr;
  const MethodRecord* method = nullptr;
  if (!PrepareScriptCall(objectId, module, cookie, name, resultKind, &argCount, &task, &method)) return false;
  ScriptValue* params = TaskTopSlot(task);
  for (int32_t k = 0; k < argCount; ++k) {
    if (form == ArgForm::kInts) {
      SetValueInt(&params[k], va_arg(arguments, int32_t));
    } else {
      CopyValue(&params[k], va_arg(arguments, const ScriptValue*));
    }
  }
  // A function learns how many of its parameters were given from the count below them; the
  // int form always fills every parameter (missing ones with 0).
  int32_t count = form == ArgForm::kInts ? int32_t(method->paramCount) : argCount;
  --task->sp;
  SetValueInt(TaskTopSlot(task), count);
  return StartTaskCall(task);
}

}  // namespace

ObjectInstance* FindScriptObject(ScriptEngine* engine, int32_t id) {
  if (!engine) return nullptr;
  if (id >= 0) return engine->classes ? FindClassRecord(engine, id) : nullptr;
  if (!engine->instances) return nullptr;
  return reinterpret_cast<ObjectInstance*>(HashGet(engine->instances, ~uint32_t(id)));
}

bool ScriptMethodExists(ScriptEngine* engine, int32_t objectId, const char* name) {
  ObjectInstance* object = FindScriptObject(engine, objectId);
  if (!object || !object->classRecord || object->classRecord->mergedMethodCount == 0) return false;
  return FindMethodByName(engine, object, name) != nullptr;
}

const MethodRecord* FindCodeLocation(const ScriptEngine* engine, uint32_t codeOffset, int32_t* classId,
                                     uint32_t* nameId) {
  const MethodRecord* best = nullptr;
  int32_t bestClass = -1;
  for (uint32_t k = 0; engine && engine->classes && k < engine->classCount; ++k) {
    const ScriptClassRecord* c = &engine->classes[k];
    for (uint32_t j = 0; j < c->methodCount; ++j) {
      const MethodRecord* m = &c->methods[j];
      if (m->codeOffset == 0 || m->codeOffset > codeOffset) continue;
      if (!best || m->codeOffset > best->codeOffset) {
        best = m;
        bestClass = c->id;
      }
    }
  }
  if (classId) *classId = best ? bestClass : -1;
  if (nameId) *nameId = best ? best->name : 0;
  return best;
}

bool PrepareScriptCall(int32_t objectId, int32_t module, uint32_t cookie, const char* name, int32_t resultKind,
                       int32_t* argCount, ScriptTask** task, const MethodRecord** method) {
  ScriptEngine* engine = gScriptEngine;
  ObjectInstance* object = ScriptIsLoaded(engine) ? FindScriptObject(engine, objectId) : nullptr;
  const MethodRecord* m = object && object->classRecord ? FindMethodByName(engine, object, name) : nullptr;
  // The frame size comes from the file: a size no stack can have refuses the call like a
  // missing method instead of wrapping the slot count.
  int64_t slots = m ? int64_t(m->frameSize) + int64_t(m->paramCount) + 7 : 0;
  ScriptTask* made = m && slots <= int64_t(kTaskStackLargestRequest) ? NewTask(engine, int32_t(slots)) : nullptr;
  if (!made) {
    ResumeCallerOnFailure(uint16_t(resultKind), cookie, module);
    return false;
  }
  int32_t params = int32_t(m->paramCount);
  if (*argCount > params) *argCount = params;
  if (*argCount < 0) *argCount = 0;
  made->pc = m->codeOffset;
  made->callerModule = module;
  made->cookie = cookie;
  made->resultKind = uint16_t(resultKind);
  made->thisObject = object;
  made->sp -= params;
  ScriptValue* top = TaskTopSlot(made);
  for (int32_t k = *argCount; k < params; ++k) SetValueInt(&top[k], 0);
  *task = made;
  *method = m;
  return true;
}

bool StartTaskCall(ScriptTask* task) {
  ScriptEngine* engine = gScriptEngine;
  --task->sp;
  SetValueCodeAddress(TaskTopSlot(task), 0);
  --task->sp;
  ScriptValue* caller = TaskTopSlot(task);
  caller->type = kValueObject;
  caller->bits = 0;
  caller->object = nullptr;
  StartTask(engine, task);
  engine->currentTask = task;
  ExecuteByteCode(engine, task);
  return true;
}

bool CallScriptFunction(int32_t module, uint32_t cookie, int32_t objectId, const char* name, int32_t resultKind,
                        int32_t argCount, ...) {
  va_list arguments;
  va_start(arguments, argCount);
  bool started = CallWithArguments(module, cookie, objectId, name, resultKind, argCount, ArgForm::kInts, arguments);
  va_end(arguments);
  return started;
}

bool CallScriptFunctionRet(int32_t module, uint32_t cookie, int32_t objectId, const char* name,
                           int32_t resultKind, int32_t argCount, ...) {
  va_list arguments;
  va_start(arguments, argCount);
  bool started = CallWithArguments(module, cookie, objectId, name, resultKind, argCount, ArgForm::kInts, arguments);
  va_end(arguments);
  return started;
}

bool CallScriptFunctionValues(int32_t module, uint32_t cookie, int32_t objectId, const char* name,
                              int32_t resultKind, int32_t argCount, ...) {
  va_list arguments;
  va_start(arguments, argCount);
  bool started =
      CallWithArguments(module, cookie, objectId, name, resultKind, argCount, ArgForm::kValues, arguments);
  va_end(arguments);
  return started;
}

void SetScriptResetServices(const ScriptResetServices* services) {
  gResetServices = services ? *services : kRealResetServices;
}

void ResetScriptSystems(int32_t soundArg) {
  // Pending timers fire while their tasks still exist, so every waiter hears its 0 before the
  // store and its tasks go.
  if (gTimerState) FlushTimerEvents();
  if (gScriptEngine) UnloadScriptStore(gScriptEngine);
  if (gResetServices.soundExists && gResetServices.soundExists() && gResetServices.resetSounds)
    gResetServices.resetSounds(soundArg);
  if (gResetServices.engine3DExists && gResetServices.engine3DExists() && gResetServices.resetEngine3D)
    gResetServices.resetEngine3D();
  if (gResetServices.moviesExist && gResetServices.moviesExist() && gResetServices.releaseMovies)
    gResetServices.releaseMovies();
}

bool ReloadStory(const char* name) {
  ResetScriptSystems(0);
  if (!name || !gScriptEngine) return false;
  return LoadScriptStore(gScriptEngine, name);
}
