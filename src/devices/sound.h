// The sound devices and the script sound layer as the application core uses them: start-up of
// the device and of the SFX_ module, the sound table, the per-frame update, the "SFX " save
// section and the shutdown. Called by the game main, the game loop, the save container and the
// shutdown.
#pragma once

#include <cstdint>

struct FileObject;
struct SoundDevice;
struct ScriptSoundState;

extern SoundDevice* gSoundDevice;
extern ScriptSoundState* gScriptSound;

// Null on failure.
SoundDevice* InitSound(uint32_t audioFlags);
ScriptSoundState* InitSoundModule();
void LoadSoundTable();
void UpdateSounds();
void UnloadAllSamples();
void ResetScriptSounds(int32_t keepFlag);
void ShutdownSoundModule();
void FreeSoundBanks();
void ShutdownSound();
// The "SFX " save section; non-zero on success.
int32_t WriteSoundState(FileObject* file);
int32_t ReadSoundState(FileObject* file);
