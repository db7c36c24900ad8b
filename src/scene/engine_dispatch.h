// The scene engine's native module: its dispatcher and its name table, registered with the
// script engine when the engine state is made.
#pragma once

#include <cstdint>

struct ScriptTask;
struct ScriptValue;

constexpr uint32_t kEngineNativeCount = 168;

// Always 1 (handled). Every call is answered at once except a job or take start that leaves its
// task waiting; the wait words it wrote wake the task later.
int32_t DispatchEngineNative(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                             ScriptValue* args);
// Null-terminated; index = function number.
extern const char* const kEngineNativeNames[];
// The address of the name table.
const char* const* B3DNameTable();
