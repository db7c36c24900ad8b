// The sound devices and the script sound layer as the application core uses them: start-up of
// the device (sound_device.h) and of the SFX_ module, the sound table (sound_banks.h), the
// per-frame update, the "SFX " save section and the shutdown. Called by the game main, the game
// loop, the save container and the shutdown.
#pragma once

#include <cstdint>

#include "devices/sound_banks.h"
#include "devices/sound_device.h"

struct FileObject;
struct ScriptSoundState;

extern ScriptSoundState* gScriptSound;

// Null on failure.
ScriptSoundState* InitSoundModule();
void UpdateSounds();
void UnloadAllSamples();
void ResetScriptSounds(int32_t keepFlag);
void ShutdownSoundModule();
// The "SFX " save section; non-zero on success.
int32_t WriteSoundState(FileObject* file);
int32_t ReadSoundState(FileObject* file);
