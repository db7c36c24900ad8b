// The call frame every SE_ native runs on: the calling task, its arguments and the engine, with
// the checked argument readers and the answer helpers. Included by every file of the SE_
// library (the dispatcher and the natives of each group). A reader never looks past argCount
// and never reads a payload under the wrong type; every helper answers through the task at
// once, as no SE_ native ever leaves its task waiting.
#pragma once

#include <cstdint>

#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "script/value.h"

// Function numbers run from 0 to kSENativeCount - 1; larger ones answer integer 0.
constexpr int32_t kSENativeCount = 155;

struct SECall {
  ScriptEngine* engine;
  int32_t seModuleIndex;
  ScriptTask* task;
  int32_t argCount;  // never negative, never beyond the slots args points at
  ScriptValue* args;
};

// Every native answers through the call and returns what the dispatcher returns: 1, or 0 only
// when the calling task no longer exists.
using SENative = int32_t (*)(SECall* call);

// The native of a function number, or null for a number outside 0 .. kSENativeCount - 1.
SENative SENativeFor(int32_t function);

// ---- Arguments ------------------------------------------------------------------------------

inline bool SEHasArg(const SECall* call, int32_t i) { return i >= 0 && i < call->argCount; }

// The slot itself, or null when the caller passed fewer arguments.
inline ScriptValue* SEArgValue(const SECall* call, int32_t i) {
  return SEHasArg(call, i) ? &call->args[i] : nullptr;
}

// An integer argument: the payload of an integer slot; a missing argument gives `fallback`, a
// slot of any other type 0 (its payload may be a pointer, which no native may read as a number).
inline int32_t SEArgInt(const SECall* call, int32_t i, int32_t fallback = 0) {
  if (!SEHasArg(call, i)) return fallback;
  const ScriptValue* value = &call->args[i];
  return value->type == kValueInt ? value->i : 0;
}

// A text argument: the text of a pool string or a string object; null for anything else.
inline const char* SEArgText(const SECall* call, int32_t i) {
  const ScriptValue* value = SEArgValue(call, i);
  return value && ValueIsText(value) ? GetValueString(value) : nullptr;
}

// An array or table argument: the slot when it holds a live container, else null.
inline ScriptValue* SEArgArray(const SECall* call, int32_t i) {
  ScriptValue* value = SEArgValue(call, i);
  return value && value->type == kValueArray && value->array ? value : nullptr;
}
inline ScriptValue* SEArgTable(const SECall* call, int32_t i) {
  ScriptValue* value = SEArgValue(call, i);
  return value && value->type == kValueTable && value->table ? value : nullptr;
}

// ---- Answers (each returns 1, the dispatcher's usual result) --------------------------------

int32_t SEAnswerInt(SECall* call, int32_t value);
int32_t SEAnswerText(SECall* call, const char* text);  // null answers the empty text
int32_t SEAnswerTextN(SECall* call, const char* text, int32_t length);
// Moves the value into the answer; the local is left empty.
int32_t SEAnswerValue(SECall* call, ScriptValue* value);
// A copy of the value (counted records shared); null answers integer 0.
int32_t SEAnswerCopy(SECall* call, const ScriptValue* value);
