// The least form of the script sound layer that the application core needs until it is built:
// a module record with nothing playing, and an empty but well-formed "SFX " save section. Called
// by the game main, the game loop, the save container and the shutdown; never touches the sound
// device.
#include "devices/sound.h"

#include <cstring>

#include "core/file_object.h"

struct ScriptSoundState {
  uint32_t moduleIndex;
};

ScriptSoundState* gScriptSound = nullptr;

namespace {

ScriptSoundState gSoundRecord;

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

}  // namespace

ScriptSoundState* InitSoundModule() {
  gScriptSound = &gSoundRecord;
  return gScriptSound;
}

void UpdateSounds() {}
void UnloadAllSamples() {}
void ResetScriptSounds(int32_t) {}
void ShutdownSoundModule() { gScriptSound = nullptr; }

int32_t WriteSoundState(FileObject* file) {
  return FileWriteBytes(file, "SFX ", 4) == 4 && FileWriteBytes(file, "/SFX", 4) == 4;
}

int32_t ReadSoundState(FileObject* file) { return ReadTag(file, "SFX ") && ReadTag(file, "/SFX"); }
