// Least form of the engine's native module: no native is served yet, every call answers 0 and
// the name table holds only its first and last names. Registered by the engine's construction.
#include "scene/engine_dispatch.h"

int32_t DispatchEngineNative(int32_t, ScriptTask*, int32_t, int32_t, ScriptValue*) { return 0; }

const char* const kEngineNativeNames[] = {"B3D_InstAlloc", "J3D_JobPlayAsyncS", nullptr};
