// The `SA_` dispatcher: the command table, the command-in-progress word, the universe guard
// around each command, the default answer, and the argument and answer helpers of sa_call.h.
// Called by the script engine for every `SA_` call; never reports failure to the engine.
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_module.h"
#include "simulation/universe_guard.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// Filled once from the families' rows; a null row gives the default answer. Rows 242, 269 and
// 284 stay null for good.
struct SpaceObjectCommandTable {
  SACommand run[kSpaceObjectCommandCount] = {};
  SpaceObjectCommandTable() {
    for (const SACommandFamily* family = kSACommandFamilies; family->rows; ++family) {
      for (int32_t i = 0; i < family->count; ++i) {
        const SACommandRow& row = family->rows[i];
        if (row.command >= 0 && row.command < kSpaceObjectCommandCount) run[row.command] = row.run;
      }
    }
  }
};

const SpaceObjectCommandTable& CommandTable() {
  static const SpaceObjectCommandTable table;
  return table;
}

bool PayloadIsNumber(const ScriptValue* value) {
  return value->type >= kValueInt && value->type <= kValueCodeAddress;
}

}  // namespace

SACommand SACommandFor(int32_t command) {
  // Compared without sign, so negative numbers are out of range too.
  if (static_cast<uint32_t>(command) >= static_cast<uint32_t>(kSpaceObjectCommandCount)) return nullptr;
  return CommandTable().run[command];
}

int32_t DispatchSpaceObjectCommand(int32_t resumeModule, ScriptTask* task, int32_t command, int32_t argCount,
                                   ScriptValue* args) {
  UniverseBlock* universe = gUniverse;
  SACall call{gScriptEngine, universe, resumeModule, task, argCount < 0 || !args ? 0 : argCount, args};
  if (universe) universe->commandActive = 1;
  {
    UniverseGuardScope guard;
    if (SACommand run = SACommandFor(command); run && universe) run(&call);
    else SAAnswerInt(&call, 0);
  }
  if (universe) universe->commandActive = 0;
  return 1;
}

ScriptValue* SAArgValue(const SACall* call, int32_t i) {
  return i >= 0 && i < call->argCount ? &call->args[i] : nullptr;
}

int32_t SAArgInt(const SACall* call, int32_t i) {
  const ScriptValue* value = SAArgValue(call, i);
  return value && PayloadIsNumber(value) ? value->i : 0;
}

SpaceObject* SAArgObject(const SACall* call, int32_t i) {
  const int32_t id = SAArgInt(call, i);
  return id != 0 && call->universe ? FindObjectById(call->universe, static_cast<uint32_t>(id)) : nullptr;
}

bool SAArgBool(const SACall* call, int32_t i) {
  const ScriptValue* value = SAArgValue(call, i);
  return value && ValueIsTrue(value) != 0;
}

const char* SAArgText(const SACall* call, int32_t i) {
  const ScriptValue* value = SAArgValue(call, i);
  return value && ValueIsText(value) ? GetValueString(value) : nullptr;
}

bool SAArgTriple(const SACall* call, int32_t i, int32_t out[3]) { return SAArgInts(call, i, out, 3); }

bool SAArgInts(const SACall* call, int32_t i, int32_t* out, int32_t n) {
  for (int32_t k = 0; k < n; ++k) out[k] = 0;
  ScriptValue* value = SAArgValue(call, i);
  if (!value || value->type != kValueArray || !value->array) return false;
  for (int32_t k = 0; k < n; ++k) {
    const ScriptValue* element = ArrayElementPtr(value, k);
    if (element && PayloadIsNumber(element)) out[k] = element->i;
  }
  return true;
}

void SAAnswerInt(SACall* call, int32_t value) {
  if (call->task) ReturnInt(call->task, call->engine, value);
}

void SAAnswerIntArray(SACall* call, const int32_t* values, int32_t n) {
  ScriptValue local{};
  if (n < 0 || !AllocArrayValue(&local, n)) {
    ReleaseValue(&local);
    SAAnswerInt(call, 0);
    return;
  }
  for (int32_t k = 0; k < n; ++k) ArrayWriteInt(&local, k, values[k]);
  if (call->task) ReturnValue(call->task, call->engine, &local);
  ReleaseValue(&local);
}

void SAWaitOn(SACall* call, SpaceObject* object) {
  if (!object || !call->task) {
    SAAnswerInt(call, 0);
    return;
  }
  object->moduleNo = static_cast<uint32_t>(call->resumeModule);
  object->moduleHandle = static_cast<uint32_t>(call->task->id);
}
