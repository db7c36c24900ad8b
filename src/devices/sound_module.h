// The SFX_ native module's operations beyond start and shutdown (sound.h): the dispatcher, the
// music slots, the volume setters and the music type. Called by the interpreter through the
// module table, the engine's own music calls and the tests; none of them may index a music slot
// outside 1..10.
#pragma once

#include <cstdint>

struct ScriptTask;
struct ScriptValue;

extern const char* const kSFXNativeNames[];

int32_t SFX_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);
int32_t DispatchSFXNative(int32_t module, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);

// Volumes from outside are held to 0..255 before they are stored or converted.
int32_t ClampVolume(int32_t volume);

// Each answers its result, and tells it to the owner (module, handle) when module is nonzero.
// An engine load (module 0) puts the name into the slot `handle`; a script load takes the lowest
// free slot. A null name answers 0.
int32_t SFX_LoadMOD(int32_t module, int32_t handle, const char* name);
int32_t SFX_PlayMOD(int32_t module, int32_t handle, int32_t slot);
int32_t SFX_StopMOD();
int32_t SFX_FreeMOD(int32_t slot);

// 1, or 0 while volume control is off (SFX_SetVoiceVolume always answers 0).
int32_t SFX_SetMasterVolume(int32_t volume);
int32_t SFX_SetFXVolume(int32_t volume);
int32_t SFX_SetMODVolume(int32_t volume);
int32_t SFX_SetVoiceVolume(int32_t volume);
int32_t SFX_SetMusicType(int32_t type);
