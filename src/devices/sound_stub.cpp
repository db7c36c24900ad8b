// The least form of the sound devices and the script sound layer that the application core
// needs until the devices are built: device and module records with nothing playing, and an
// empty but well-formed "SFX " save section. Called by the game main, the game loop, the save container and the
// shutdown; never opens an audio device.
#include "devices/sound.h"

#include <cstring>

#include "core/file_object.h"

struct SoundDevice {
  uint32_t flags;
};
struct ScriptSoundState {
  uint32_t moduleIndex;
};

SoundDevice* gSoundDevice = nullptr;
ScriptSoundState* gScriptSound = nullptr;

namespace {

SoundDevice gDeviceRecord;
ScriptSoundState gSoundRecord;

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

}  // namespace

SoundDevice* InitSound(uint32_t audioFlags) {
  gDeviceRecord.flags = audioFlags;
  gSoundDevice = &gDeviceRecord;
  return gSoundDevice;
}

ScriptSoundState* InitSoundModule() {
  gScriptSound = &gSoundRecord;
  return gScriptSound;
}

void LoadSoundTable() {}
void UpdateSounds() {}
void UnloadAllSamples() {}
void ResetScriptSounds(int32_t) {}
void ShutdownSoundModule() { gScriptSound = nullptr; }
void FreeSoundBanks() {}
void ShutdownSound() { gSoundDevice = nullptr; }

int32_t WriteSoundState(FileObject* file) {
  return FileWriteBytes(file, "SFX ", 4) == 4 && FileWriteBytes(file, "/SFX", 4) == 4;
}

int32_t ReadSoundState(FileObject* file) { return ReadTag(file, "SFX ") && ReadTag(file, "/SFX"); }
