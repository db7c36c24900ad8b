// The arguments of an INS_ native as the natives read them (cockpit_natives.cpp and the map and
// icon natives): integers by position, texts, truth values and objects by id. Holds no state.
#pragma once

#include <cstdint>

#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "script/value.h"
#include "universe/universe_registry.h"

// The arguments as the natives read them: the handle first, then integers; anything missing or
// not an integer reads as 0.
struct NativeArgs {
  const ScriptValue* values;
  int32_t count;

  bool Has(int32_t i) const { return values && i >= 0 && i < count; }
  int32_t Int(int32_t i) const { return Has(i) && values[i].type == kValueInt ? values[i].i : 0; }
  bool True(int32_t i) const { return Has(i) && ValueIsTrue(&values[i]); }
  const char* Text(int32_t i) const { return Has(i) && ValueIsText(&values[i]) ? GetValueString(&values[i]) : nullptr; }
  SpaceObject* Object(int32_t i) const {
    const uint32_t id = static_cast<uint32_t>(Int(i));
    return id ? FindObjectByIdGlobal(id) : nullptr;
  }
  void Triple(int32_t first, int32_t out[3]) const {
    for (int k = 0; k < 3; ++k) out[k] = Int(first + k);
  }
};

// Answers the task with an array of n integers; 0 when the array cannot be made.
inline void AnswerIntArray(ScriptTask* task, const int32_t* values, int32_t n) {
  ScriptValue array{};
  if (!AllocArrayValue(&array, n)) {
    ReturnInt(task, gScriptEngine, 0);
    return;
  }
  for (int32_t i = 0; i < n; ++i) ArrayWriteInt(&array, i, values[i]);
  ReturnValue(task, gScriptEngine, &array);
  ReleaseValue(&array);
}
