// The least form of the SFX_ module's start and shutdown that the sound core needs until the
// module itself is built: the SoundState and its 33 slot records, the scene engine's sound hook,
// and, at shutdown, whatever the state still owns. Called by the game main and the shutdown;
// registers no native module and touches no device setting.
#include <new>

#include "core/memory.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "scene/scene_small_ops.h"

SoundState* gScriptSound = nullptr;

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);

void FreeState(SoundState* state) {
  for (SoundChannelSlot*& slot : state->slots) {
    if (slot) MemFree(slot, sizeof(SoundChannelSlot), kSoundMemory);
    slot = nullptr;
  }
  if (state->overflow) MemFree(state->overflow, sizeof(SoundChannelSlot), kSoundMemory);
  MemFree(state, sizeof(SoundState), kSoundMemory);
}

SoundChannelSlot* NewSlot() {
  void* memory = MemAlloc(sizeof(SoundChannelSlot), kSoundMemory);
  return memory ? new (memory) SoundChannelSlot{} : nullptr;
}

void StopSceneChannel(int32_t channel, int32_t sampleId) { SoundStopChannel(channel, sampleId); }

}  // namespace

SoundState* InitSoundModule() {
  if (gScriptSound) ShutdownSoundModule();
  void* memory = MemAlloc(sizeof(SoundState), kSoundMemory);
  if (!memory) return nullptr;
  auto* state = new (memory) SoundState{};
  bool complete = true;
  for (SoundChannelSlot*& slot : state->slots) complete = complete && (slot = NewSlot()) != nullptr;
  complete = complete && (state->overflow = NewSlot()) != nullptr;
  if (!complete) {
    FreeState(state);
    return nullptr;
  }
  gScriptSound = state;
  gSceneSoundHooks.stopChannel = StopSceneChannel;
  return state;
}

void ShutdownSoundModule() {
  SoundState* state = gScriptSound;
  if (!state) return;
  // Nobody is told: the owners are going away with the game.
  ResetScriptSounds(1);
  gSceneSoundHooks.stopChannel = nullptr;
  gScriptSound = nullptr;
  FreeState(state);
}
