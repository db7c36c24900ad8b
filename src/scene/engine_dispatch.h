// The scene engine's native module: its dispatcher and its name table, registered with the
// script engine when the engine state is made. Least form until the natives are built
// (engine_dispatch_stub.cpp): only the freeing natives are served.
#pragma once

#include <cstdint>

struct ScriptTask;
struct ScriptValue;

int32_t DispatchEngineNative(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                             ScriptValue* args);
// Null-terminated; index = function number.
extern const char* const kEngineNativeNames[];
