// The sound devices and the script sound layer as the application core uses them: start-up of
// the device (sound_device.h) and of the SFX_ module, the sound table (sound_banks.h), the
// per-frame update, the unloading and reset of samples, the "SFX " save section and the
// shutdown. Called by the game main, the game loop, the script reset, the save container and the
// shutdown. The channels and samples themselves are in sound_channels.h.
#pragma once

#include <cstdint>

#include "devices/sound_banks.h"
#include "devices/sound_device.h"

struct FileObject;
struct SoundState;

extern SoundState* gScriptSound;

// Null on failure.
SoundState* InitSoundModule();
void ShutdownSoundModule();
// Once per frame, before the script tasks run.
void UpdateSounds();
// Frees every bank sound's sample, stopping the channels that play it.
void UnloadAllSamples();
// Stops every channel without telling an owner and frees every sample; with `full` 0 the music
// slots marked to be kept stay.
void ResetScriptSounds(int32_t full);
// The "SFX " save section; 1 on success, 0 without a sound state (or, reading, a wrong tag).
int32_t WriteSoundState(FileObject* file);
int32_t ReadSoundState(FileObject* file);
