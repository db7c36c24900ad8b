// The per-frame pass over the global engine's run list with the byte-code interpreter. Kept
// apart from tasks.cpp so the task layer can be exercised without the interpreter.
#include "script/engine.h"
#include "script/tasks.h"

int32_t ExecuteByteCode(ScriptEngine* engine, ScriptTask* task);

void RunScriptTasks() { RunTaskPass(gScriptEngine, ExecuteByteCode); }
