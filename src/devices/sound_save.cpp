// The "SFX " save section: which owners were waiting for a sound when the game was saved, so
// that a load can tell each of them the sound has ended. Called by the save container after the
// cockpit section. Sounds are neither saved nor restarted, and reading never changes the live
// sound state; a record names a module and a handle, and only the script engine's checked resume
// call ever acts on them.
#include <cstring>

#include "core/file_object.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "script/tasks.h"

namespace {

constexpr char kSoundTag[] = "SFX ";
constexpr size_t kTagSize = 4;
constexpr int32_t kEnded = 1;

bool WriteRecord(FileObject* file, const SoundChannelSlot* slot) {
  // The priority goes out sign-extended, as the reader takes any non-zero word for a waiting owner.
  return FileWriteInt32BE(file, static_cast<uint32_t>(int32_t{slot->priority})) &&
         FileWriteInt32BE(file, static_cast<uint32_t>(slot->ownerModule)) &&
         FileWriteInt32BE(file, static_cast<uint32_t>(slot->ownerHandle));
}

}  // namespace

// Every one of the 32 slots is written, whatever the channel count, and the overflow slot last.
int32_t WriteSoundState(FileObject* file) {
  const SoundState* state = gScriptSound;
  if (!state) return 0;
  if (FileWriteBytes(file, kSoundTag, kTagSize) != kTagSize) return 0;
  for (const SoundChannelSlot* slot : state->slots) {
    if (!WriteRecord(file, slot)) return 0;
  }
  return WriteRecord(file, state->overflow) ? 1 : 0;
}

// Missing bytes read as zeros, which wake nobody; the container then finds no end tag.
int32_t ReadSoundState(FileObject* file) {
  if (!gScriptSound) return 0;
  char tag[kTagSize] = {};
  FileReadBytes(file, tag, kTagSize);
  if (std::memcmp(tag, kSoundTag, kTagSize) != 0) return 0;
  for (int32_t record = 0; record <= kSoundSlotCount; ++record) {
    const auto priority = static_cast<int32_t>(FileReadInt32BE(file));
    const auto module = static_cast<int32_t>(FileReadInt32BE(file));
    const uint32_t handle = FileReadInt32BE(file);
    if (priority != 0) ModuleResumeInt(module, kEnded, handle);
  }
  return 1;
}
