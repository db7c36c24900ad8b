// Least form of the engine's native module until the natives are built: the name table holds the
// first names of the full table in their places, and only the three freeing natives are served
// (through the script frees, so a free asked for while the cut-scene step raises events waits for
// the step's end). Every other call answers nothing and returns 0. Registered by the engine's
// construction.
#include "scene/engine_dispatch.h"

#include "scene/engine_state.h"
#include "scene/script_frees.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "script/value.h"

namespace {

enum EngineNative : int32_t { kNativeInstFree = 2, kNativeLightFree = 4, kNativeCameraFree = 6 };

uint32_t HandleArgument(int32_t argCount, const ScriptValue* args) {
  return argCount > 0 && args ? args[0].u : 0;
}

}  // namespace

int32_t DispatchEngineNative(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  switch (function) {
    case kNativeInstFree:
    case kNativeLightFree:
      ScriptFreeInstance(GetInstanceByHandle(HandleArgument(argCount, args)));
      break;
    case kNativeCameraFree:
      ScriptFreeCamera(GetCameraByHandle(HandleArgument(argCount, args)));
      break;
    default:
      return 0;
  }
  ReturnInt(task, gScriptEngine, 0);
  return 1;
}

const char* const kEngineNativeNames[] = {"B3D_InstAlloc",   "B3D_LightAlloc",  "B3D_InstFree", "B3D_InstSetBody",
                                          "B3D_LightFree",   "B3D_CameraAlloc", "B3D_CameraFree", nullptr};
