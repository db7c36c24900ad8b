// The engine's full start: a new context with the SE_ library registered in row 1, and the
// SE_ module's registered dispatcher. Kept apart from engine.cpp because it reaches the SE_
// library, which tests of the lower layers do without.
#include "core/memory.h"
#include "script/engine.h"

ScriptEngine* CreateScriptEngine() {
  ScriptEngine* engine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
  if (!engine) return nullptr;
  return InitScriptEngine(engine);
}

ScriptEngine* InitScriptEngine(ScriptEngine* engine) {
  if (!InitEngineContext(engine)) return engine;
  engine->seModuleIndex =
      RegisterNativeModule(engine, SE_Dispatch, kSENativeNames, SEResumeInt, SEResumeString, SEResumeValue);
  return engine;
}

int32_t SE_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  return DispatchSENative(gScriptEngine, seModuleIndex, task, function, argCount, args);
}
