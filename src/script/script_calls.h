// Calls from the engine into scripts: lookups over the loaded script's objects and code (object
// by id, method by name, method by code address), named calls that become a new task and run at
// once with their answer going to a caller module and cookie, and the reset of every script-side
// system with the story reload. Called by the game main and loop, the save code, the debug
// printers and every subsystem that raises a script event. A call that cannot start always
// answers its caller module; nothing here runs a task after its script has been unloaded.
#pragma once

#include <cstdint>

#include "script/engine.h"

// FindScriptObject is declared in script/engine.h.

bool ScriptMethodExists(ScriptEngine* engine, int32_t objectId, const char* name);

// The method whose code offset is the greatest one above 0 and not above codeOffset, over all
// class records and their own methods; classId -1 and nameId 0 when there is none.
const MethodRecord* FindCodeLocation(const ScriptEngine* engine, uint32_t codeOffset, int32_t* classId,
                                     uint32_t* nameId);

// Makes the task for a call of `name` on `objectId`: parameter slots reserved (missing ones
// int 0), argCount clipped to the method's parameters. False (the caller module answered with
// the empty answer of resultKind) when the object, the method or the task cannot be had.
bool PrepareScriptCall(int32_t objectId, int32_t module, uint32_t cookie, const char* name, int32_t resultKind,
                       int32_t* argCount, ScriptTask** task, const MethodRecord** method);
// Pushes the outermost return address and a null caller object, makes the task ready and
// current, and runs it at once.
bool StartTaskCall(ScriptTask* task);

// True when the call was started. The varargs are argCount int32_t values.
bool CallScriptFunction(int32_t module, uint32_t cookie, int32_t objectId, const char* name, int32_t resultKind,
                        int32_t argCount, ...);
bool CallScriptFunctionRet(int32_t module, uint32_t cookie, int32_t objectId, const char* name,
                           int32_t resultKind, int32_t argCount, ...);
// The varargs are argCount pointers to ScriptValue, each copied.
bool CallScriptFunctionValues(int32_t module, uint32_t cookie, int32_t objectId, const char* name,
                              int32_t resultKind, int32_t argCount, ...);

void ResetScriptSystems(int32_t soundArg);
// ResetScriptSystems(0), then the store of that name; true when it loaded. A null name loads
// nothing.
bool ReloadStory(const char* name);

// The neighbour services the reset calls after the script store is gone. Tests replace them to
// watch the order; null restores the real services.
struct ScriptResetServices {
  bool (*soundExists)();
  void (*resetSounds)(int32_t soundArg);
  bool (*engine3DExists)();
  void (*resetEngine3D)();
  bool (*moviesExist)();
  void (*releaseMovies)();
};
void SetScriptResetServices(const ScriptResetServices* services);
