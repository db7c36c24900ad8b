// The wreck and debris events until the carried-object pass is built beside them: each raises its
// event on the universe's script module and nothing else.
#include "script/script_calls.h"
#include "script/tasks.h"
#include "universe/carried_objects.h"
#include "universe/universe.h"

namespace {

void RaiseUniverseEvent(int32_t scriptId, const char* name) {
  const int32_t module = gUniverse ? static_cast<int32_t>(gUniverse->moduleNo) : 0;
  CallScriptFunctionRet(module, 0, scriptId, name, kResultValue, 0);
}

}  // namespace

void RaiseCreateWreck(int32_t scriptId) { RaiseUniverseEvent(scriptId, "CreateWreck"); }

void RaiseCreateDebris(int32_t scriptId) { RaiseUniverseEvent(scriptId, "CreateDebris"); }
