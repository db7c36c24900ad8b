// The P_ native module: its 27 names, its registration, the dispatcher over the system setting
// words, the joystick settings, key names and the picture natives, and RunLocation, the start of
// a location. Called by the game main once at start-up, by the interpreter for every P_ call and
// by the game loop after the story is loaded. Every call answers its task at once.
#include <cstdint>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/input_devices.h"
#include "devices/key_codes.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "frontend/location.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "script/tasks.h"
#include "script/timers.h"
#include "script/value.h"

const char* const kPNativeNames[kPNativeCount + 1] = {
    "P_LoadLocation", "P_Leave", "P_PrepareInterruption", "P_SetEngineFlags", "P_ClearEngineFlags",
    "P_GetSysFlags", "P_SetSysFlags", "P_GetSysD3DFlags", "P_SetSysD3DFlags", "P_GetSysD3DFlags2",
    "P_SetSysD3DFlags2", "P_GetSysShaderQuality", "P_GetSysProfilingFlags", "P_SetSysProfilingFlags",
    "P_ViewEBMFullscreen", "P_ViewLoadingScreen", "P_InitLoadingScreen", "P_ShowNextLoadingScreen",
    "P_ClearScreen", "P_GetLocalizedKey", "P_GetKeyName", "P_GetJoySensitivity", "P_SetJoySensitivity",
    "P_GetJoyDeadzone", "P_SetJoyDeadzone", "P_GetSysIORequirements", "P_SetSysIORequirements", nullptr,
};

LocationState* gLocationState = nullptr;
const char* gLocationName = nullptr;

namespace {

LocationHost gHost{};

// The input requirement bits that also live in the input state's device flags.
constexpr uint32_t kIORequirementDeviceBits[] = {kInputTurnAsRead, kInputInvertSecond, kInputInvertMouse};
constexpr char kNoLocation[] = "NoLocation";
constexpr char kInitEvent[] = "_Init";

enum PNative : int32_t {
  kLoadLocation = 0,
  kLeave,
  kPrepareInterruption,
  kSetEngineFlags,
  kClearEngineFlags,
  kGetSysFlags,
  kSetSysFlags,
  kGetSysD3DFlags,
  kSetSysD3DFlags,
  kGetSysD3DFlags2,
  kSetSysD3DFlags2,
  kGetSysShaderQuality,
  kGetSysProfilingFlags,
  kSetSysProfilingFlags,
  kViewEBMFullscreen,
  kViewLoadingScreen,
  kInitLoadingScreen,
  kShowNextLoadingScreen,
  kClearScreen,
  kGetLocalizedKey,
  kGetKeyName,
  kGetJoySensitivity,
  kSetJoySensitivity,
  kGetJoyDeadzone,
  kSetJoyDeadzone,
  kGetSysIORequirements,
  kSetSysIORequirements,
};

int32_t Arg(const ScriptValue* args, int32_t argCount, int32_t k) { return k < argCount && args ? args[k].i : 0; }

const char* TextArg(const ScriptValue* args, int32_t argCount, int32_t k) {
  return k < argCount && args && ValueIsText(&args[k]) ? GetValueString(&args[k]) : nullptr;
}

int32_t Answer(ScriptTask* task, int32_t value) {
  ReturnInt(task, gScriptEngine, value);
  return 1;
}

int32_t AnswerText(ScriptTask* task, const char* text) {
  if (!text) return Answer(task, 0);
  ReturnString(task, gScriptEngine, text);
  return 1;
}

// Stores a setting word and answers it.
int32_t Store(ScriptTask* task, uint32_t* word, int32_t value) {
  if (word) *word = static_cast<uint32_t>(value);
  return Answer(task, value);
}

int32_t Read(ScriptTask* task, const uint32_t* word) { return Answer(task, word ? static_cast<int32_t>(*word) : 0); }

void SetIORequirements(uint32_t value) {
  if (gSystem) gSystem->inputFlags = value;
  if (!gInputState) return;
  for (uint32_t bit : kIORequirementDeviceBits) {
    if (value & bit) gInputState->flags |= bit;
    else gInputState->flags &= ~bit;
  }
}

}  // namespace

void LocationSetHost(const LocationHost* host) { gHost = host ? *host : LocationHost{}; }
const LocationHost& LocationHostInUse() { return gHost; }

LocationState* InitLocationModule() {
  auto* state = static_cast<LocationState*>(MemAlloc(sizeof(LocationState), 0));
  if (!state) {
    CallLowMemoryHandler();
    state = static_cast<LocationState*>(MemAlloc(sizeof(LocationState), 0));
  }
  if (!state) return nullptr;
  state->reserved = 0;
  state->moduleIndex = 0;
  if (gScriptEngine) {
    state->moduleIndex = static_cast<uint32_t>(
        RegisterNativeModule(gScriptEngine, DispatchPNative, kPNativeNames, nullptr, nullptr, nullptr));
  }
  return state;
}

int32_t DispatchPNative(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  SystemBlock* s = gSystem;
  const int32_t a0 = Arg(args, argCount, 0);
  switch (function) {
    case kLoadLocation:
      // The answer is given, and the 0 ends the interpreter's pass over the ready tasks.
      Answer(task, 1);
      return 0;
    case kLeave:
      if (gHost.shutdownAndExit) gHost.shutdownAndExit(static_cast<uint32_t>(a0) & 0xFFFF);
      return Answer(task, 0);
    case kPrepareInterruption:
      StopAllMovies();
      return Answer(task, 0);
    case kGetSysFlags: return Read(task, s ? &s->systemFlags : nullptr);
    case kSetSysFlags: return Store(task, s ? &s->systemFlags : nullptr, a0);
    case kGetSysD3DFlags: return Read(task, s ? &s->d3dFlags : nullptr);
    case kSetSysD3DFlags: return Store(task, s ? &s->d3dFlags : nullptr, a0);
    case kGetSysD3DFlags2: return Read(task, s ? &s->d3dFlags2 : nullptr);
    case kSetSysD3DFlags2: return Store(task, s ? &s->d3dFlags2 : nullptr, a0);
    case kGetSysShaderQuality: return Read(task, s ? &s->shaderQuality : nullptr);
    case kGetSysProfilingFlags: return Read(task, s ? &s->modeFlags : nullptr);
    case kSetSysProfilingFlags: return Store(task, s ? &s->modeFlags : nullptr, a0);
    case kViewEBMFullscreen:
      return Answer(task, ViewFullscreenPicture(TextArg(args, argCount, 0), Arg(args, argCount, 1)));
    case kViewLoadingScreen:
      return Answer(task, ViewLoadingScreen(TextArg(args, argCount, 0), static_cast<uint32_t>(Arg(args, argCount, 1)),
                                            Arg(args, argCount, 2)));
    case kInitLoadingScreen:
      P_InitLoadingScreen();
      return Answer(task, 0);
    case kShowNextLoadingScreen:
      P_ShowNextLoadingScreen();
      return Answer(task, 0);
    case kClearScreen:
      ClearScreen();
      return Answer(task, 0);
    case kGetLocalizedKey: return AnswerText(task, P_GetLocalizedKey());
    case kGetKeyName: return AnswerText(task, P_GetKeyName(a0 & 0xFFFF, Arg(args, argCount, 1)));
    case kGetJoySensitivity: return Answer(task, JoystickSensitivitySetting());
    case kSetJoySensitivity:
      SetJoystickSensitivitySetting(a0);
      return Answer(task, 0);
    case kGetJoyDeadzone: return Answer(task, JoystickDeadZoneSetting());
    case kSetJoyDeadzone:
      P_SetJoyDeadzone(a0);
      return Answer(task, 0);
    case kGetSysIORequirements: return Read(task, s ? &s->inputFlags : nullptr);
    case kSetSysIORequirements:
      SetIORequirements(static_cast<uint32_t>(a0));
      return Answer(task, 0);
    default:
      // P_SetEngineFlags, P_ClearEngineFlags and unknown numbers.
      return Answer(task, 0);
  }
}

void RunLocation(const char* startString) {
  gLocationName = startString ? startString : kNoLocation;
  if (!startString) {
    if (gHost.shutdownAndExit) gHost.shutdownAndExit(1);
    return;
  }
  ScriptValue name{};
  SetValueString(&name, startString);
  CallScriptFunctionValues(0, 0, 0, kInitEvent, kResultInt, 1, &name);
  ReleaseValue(&name);
  DispatchTimerEvents();
  if (gHost.pumpMessages) gHost.pumpMessages();
  UpdateSounds();
  RunScriptTasks();
  UpdateMovies();
}
