// The `SA_` object command module as the script engine sees it: its dispatcher and its name
// table. Registered by `CreateUniverse`; called by the script engine's native-call operation.
#pragma once

#include <cstdint>

struct ScriptTask;
struct ScriptValue;

constexpr int32_t kSpaceObjectCommandCount = 370;

// Runs command `command` for the calling task and answers it (or leaves it waiting); 1 always,
// so a failing command never stops the script.
int32_t DispatchSpaceObjectCommand(int32_t resumeModule, ScriptTask* task, int32_t command, int32_t argCount,
                                   ScriptValue* args);

// 370 names and a null; the index of a name is its command number.
const char* const* GetSpaceObjectCommandNames();
