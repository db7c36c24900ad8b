// The application's native module (Wilo_): the functions through which the scripts steer the
// application itself (save requests and the list of saves, pause, the next start mode,
// screenshots, benchmark scenes, a few settings and registry values, the screen debug lines,
// the steering assignment). The game main registers it as the last module of start-up; the
// interpreter calls it through the module table. Every call is answered at once; none waits.
#pragma once

#include <cstdint>

#include "script/tasks.h"
#include "script/value.h"

// The function numbers, in the order of the name table.
enum ApplicationFunction : int32_t {
  kWiloGetScene = 0,
  kWiloGetSpace,
  kWiloSetGalaxy,
  kWiloSave,
  kWiloLoadSaveNames,
  kWiloCaptureFrame,
  kWiloGraphicSettings,
  kWiloSoundSettings,
  kWiloXMLImportGalaxy,
  kWiloSetPause,
  kWiloSetNextLocation,
  kWiloSetStringParameter,
  kWiloGetStringParameter,
  kWiloSetInputModeMask,
  kWiloGetInputModeMask,
  kWiloGetScreenDebugLine,
  kWiloSetScreenDebugLine,
  kWiloStartBenchmarkScene,
  kWiloStopBenchmarkScene,
  kWiloSetGameState,
  kWiloGetGameState,
  kWiloGetModName,
  kWiloGetSaveDevices,
  kWiloGetDefaultProfile,
  kWiloSetDefaultProfile,
  kWiloGetControlMatrix,
  kWiloSetControlMatrix,
  kWiloUpdateCursorSteering,
  kWiloIsStartModeAvailable,
  kWiloSetStartModeAvailable,
  kWiloSaveStringToRegistry,
  kWiloReadStringFromRegistry,
  kWiloSaveIntToRegistry,
  kWiloReadIntFromRegistry,
  kWiloSetRunInBackground,
  kWiloIsRunInBackground,
  kApplicationFunctionCount
};

// SystemBlock mode flag set while a benchmark scene is measured.
constexpr uint32_t kModeBenchmarkScene = 0x2000;
// The screen debug lines: how many, and the bytes of one, terminator included.
constexpr int kScreenDebugLineCount = 6;
constexpr int kScreenDebugLineSize = 256;

// 36 names, then a null entry.
extern const char* const kApplicationNativeNames[];

int32_t ApplicationNativeEntry(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                               ScriptValue* args);
// Answers the call through the task and returns 1.
int32_t DispatchApplicationCommand(int32_t function, ScriptValue* args, ScriptTask* frame, int32_t argCount);
