// The SFX_ native module: its start-up and shutdown, the dispatcher of its 33 natives, the music
// slots scripts fill and select, and the volumes of effects, music, voice and the master output.
// Called by the game main (start, shutdown), the interpreter (the dispatcher) and the audio device
// (the music-ended hook). Music and voice volumes reach the streams only through the movie
// module; a script value never indexes a table here unchecked.
#include <algorithm>
#include <new>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "devices/sound_module.h"
#include "devices/media_stream.h"
#include "scene/engine_state.h"
#include "scene/scene_small_ops.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "universe/carried_objects.h"

SoundState* gScriptSound = nullptr;

const char* const kSFXNativeNames[] = {
    "SFX_LoadSample",        "SFX_PlaySample",        "SFX_PlaySound",         "SFX_PlaySound3D",
    "SFX_LoadMOD",           "SFX_PlayMOD",           "SFX_StopMOD",           "SFX_FreeMOD",
    "SFX_SetFXVolume",       "SFX_SetMODVolume",      "SFX_StopSample",        "SFX_FindSample",
    "SFX_FreeSample",        "SFX_SetMasterVolume",   "SFX_GetMasterVolume",   "SFX_SetMODAttributes",
    "SFX_ReadMODAttributes", "SFX_GetSampleDuration", "SFX_SetChannelInfo",    "SFX_ExportPrivateInfo",
    "SFX_SetPanningState",   "SFX_GetPanningState",   "SFX_GetMODVolume",      "SFX_GetFXVolume",
    "SFX_GetVoiceVolume",    "SFX_GetFlags",          "SFX_SetFlags",          "SFX_GetLanguage",
    "SFX_SetLanguage",       "SFX_GetVoiceLanguage",  "SFX_SetVoiceVolume",    "SFX_SetMusicType",
    "SFX_SetEAXRoom",        nullptr,
};

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);
constexpr int32_t kFullVolume = 255;
constexpr uint32_t kMusicTypeBits = kAudioDeviceMusicType1 | kAudioDeviceMusicType2 | kAudioDeviceMusicType3;

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

// The universe plays hit and explosion sounds at objects through these.
int32_t PlayAtInstance(int32_t sound, InstanceRecord* instance) { return SFX_PlaySound3D(0, 0, sound, instance); }
const ObjectSoundHooks kObjectSoundHooks = {PlayAtInstance, SFX_FindSample};

bool VolumeControlOff() { return gSoundDevice && (gSoundDevice->flags & kAudioDeviceNoVolumeControl); }
bool MusicTypeIs3() { return gSoundDevice && (gSoundDevice->flags & kAudioDeviceMusicType3); }

bool SlotInRange(int32_t slot) { return slot >= 1 && slot <= kMusicSlotCount; }

bool SlotLoaded(const SoundState* state, int32_t slot) { return SlotInRange(slot) && state->musicLoaded[slot]; }

// The music-ended hook of the audio device.
void MusicEnded() {
  SoundState* state = gScriptSound;
  if (!state || state->musicOwnerModule == 0) return;
  const int32_t module = state->musicOwnerModule;
  const int32_t handle = state->musicOwnerHandle;
  state->musicOwnerModule = state->musicOwnerHandle = state->musicOwnerWord = 0;
  ModuleResumeInt(module, 1, static_cast<uint32_t>(handle));
}

int32_t Arg(const ScriptValue* args, int32_t argCount, int32_t k) { return k < argCount && args ? args[k].i : 0; }

int32_t Answer(ScriptTask* task, int32_t value) {
  ReturnInt(task, gScriptEngine, value);
  return 1;
}

// Tells a waiting caller its answer; the interpreter answers at once when the call still runs.
void Tell(int32_t module, int32_t handle, int32_t value) {
  if (module != 0) ModuleResumeInt(module, value, static_cast<uint32_t>(handle));
}

int32_t LoadSample(int32_t soundId) {
  const SoundBankEntry* entry = FindSoundBankEntry(soundId);
  SoundSample* sample = SoundLoadSample(soundId, entry ? (entry->flags & 0xFFFF) : 0);
  if (!sample) return 0;
  if (entry) sample->volume = static_cast<int16_t>(entry->volume >= 0 ? entry->volume : kFullVolume);
  return 1;
}

int32_t MusicSlotsInUse(const SoundState* state) {
  int32_t count = 0;
  for (int32_t slot = 1; slot <= kMusicSlotCount; ++slot) count += state->musicLoaded[slot] ? 1 : 0;
  return count;
}

int32_t LoadedSampleCount(const SoundState* state) {
  int32_t count = 0;
  for (const LoadedSample* node = state->firstSample; node; node = node->next) ++count;
  return count;
}

int32_t ExportPrivateInfo(const SoundState* state, int16_t kind) {
  switch (kind) {
    case 1204: return kMusicSlotCount;
    case 1205: return MusicSlotsInUse(state);
    case 1206: return LoadedSampleCount(state);
    default: return 0;
  }
}

int32_t VoiceLanguage(int32_t language) {
  return language == 7 || language == 33 || language == 44 || language == 49 ? language : 0;
}

}  // namespace

int32_t ClampVolume(int32_t volume) { return std::clamp<int32_t>(volume, 0, kFullVolume); }

int32_t SFX_LoadMOD(int32_t module, int32_t handle, const char* name) {
  SoundState* state = gScriptSound;
  int32_t slot = 0;
  if (state && name && !VolumeControlOff()) {
    if (module == 0) {
      slot = SlotInRange(handle) ? handle : 0;
    } else {
      for (int32_t k = 1; k <= kMusicSlotCount && slot == 0; ++k)
        if (!state->musicLoaded[k]) slot = k;
    }
    if (slot != 0) {
      // An engine load into a slot in use replaces its name; the old copy is not kept.
      state->musicNames[slot] = FreeString(state->musicNames[slot]);
      state->musicAttributes[slot] = 1;
      state->musicNames[slot] = DuplicateString(name);
      state->musicLoaded[slot] = state->musicNames[slot] ? 1 : 0;
      if (!state->musicLoaded[slot]) slot = 0;
    }
  }
  Tell(module, handle, slot);
  return slot;
}

int32_t SFX_PlayMOD(int32_t module, int32_t handle, int32_t slot) {
  SoundState* state = gScriptSound;
  int32_t result = 0;
  if (state && !VolumeControlOff() && SlotLoaded(state, slot)) {
    state->currentMusic = static_cast<int16_t>(slot);
    result = 1;
  }
  Tell(module, handle, result);
  return result;
}

int32_t SFX_StopMOD() {
  SoundState* state = gScriptSound;
  if (!state || VolumeControlOff()) return 0;
  state->currentMusic = 0;
  return 1;
}

int32_t SFX_FreeMOD(int32_t slot) {
  SoundState* state = gScriptSound;
  if (!state || VolumeControlOff() || !SlotLoaded(state, slot)) return 0;
  state->musicLoaded[slot] = 0;
  state->musicNames[slot] = FreeString(state->musicNames[slot]);
  return 1;
}

int32_t SFX_SetMasterVolume(int32_t volume) {
  if (VolumeControlOff()) return 0;
  volume = ClampVolume(volume);
  if (gSystem) gSystem->masterVolume = static_cast<uint32_t>(volume);
  if (gSoundDevice) SetMasterVolume(volume);
  if (!VolumeControlOff() && MusicTypeIs3() && gSystem)
    MovieSetKindVolume(kMediaKindMusic, static_cast<int16_t>(gSystem->musicVolume));
  return 1;
}

int32_t SFX_SetFXVolume(int32_t volume) {
  if (VolumeControlOff()) return 0;
  volume = ClampVolume(volume);
  if (gSystem) gSystem->effectsVolume = static_cast<uint32_t>(volume);
  if (gSoundDevice) gSoundDevice->effectsVolume = volume;
  return 1;
}

int32_t SFX_SetMODVolume(int32_t volume) {
  if (VolumeControlOff()) return 0;
  volume = ClampVolume(volume);
  if (gSystem) gSystem->musicVolume = static_cast<uint32_t>(volume);
  if (MusicTypeIs3()) MovieSetKindVolume(kMediaKindMusic, volume);
  return 1;
}

int32_t SFX_SetVoiceVolume(int32_t volume) {
  volume = ClampVolume(volume);
  if (gSystem) gSystem->voiceVolume = static_cast<uint32_t>(volume);
  MovieSetKindVolume(kMediaKindVoice, volume);
  return 0;
}

int32_t SFX_SetMusicType(int32_t type) {
  if (!gSoundDevice) return 0;
  gSoundDevice->flags &= ~kMusicTypeBits;
  if (type == 1) gSoundDevice->flags |= kAudioDeviceMusicType1;
  if (type == 2) gSoundDevice->flags |= kAudioDeviceMusicType2;
  if (type == 3) gSoundDevice->flags |= kAudioDeviceMusicType3;
  return 0;
}

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
  if (gSystem) {
    SFX_SetMasterVolume(static_cast<int32_t>(gSystem->masterVolume));
    state->language = static_cast<int16_t>(gSystem->language);
  }
  state->moduleIndex =
      gScriptEngine ? RegisterNativeModule(gScriptEngine, SFX_Dispatch, kSFXNativeNames, nullptr, nullptr, nullptr) : 0;
  if (gSoundDevice) gSoundDevice->musicEnded = MusicEnded;
  state->musicOwnerModule = state->musicOwnerHandle = state->musicOwnerWord = 0;
  gSceneSoundHooks.stopChannel = StopSceneChannel;
  SetObjectSoundHooks(&kObjectSoundHooks);
  return state;
}

void ShutdownSoundModule() {
  SoundState* state = gScriptSound;
  if (!state) return;
  // Nobody is told: the owners are going away with the game.
  ResetScriptSounds(1);
  gSceneSoundHooks.stopChannel = nullptr;
  SetObjectSoundHooks(nullptr);
  if (gSoundDevice && gSoundDevice->musicEnded == MusicEnded) gSoundDevice->musicEnded = nullptr;
  gScriptSound = nullptr;
  FreeState(state);
}

int32_t SFX_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  return DispatchSFXNative(seModuleIndex, task, function, argCount, args);
}

int32_t DispatchSFXNative(int32_t module, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  SoundState* state = gScriptSound;
  if (!state) return Answer(task, 0);
  // Missing arguments read as 0: a short call never reads past its frame.
  const int32_t a0 = Arg(args, argCount, 0);
  const int32_t a1 = Arg(args, argCount, 1);
  const int32_t handle = task->id;
  switch (function) {
    case 0: return Answer(task, LoadSample(a0));
    case 1:
      SFX_PlaySample(module, handle, a0, a1, Arg(args, argCount, 2), Arg(args, argCount, 3), Arg(args, argCount, 4),
                     Arg(args, argCount, 5));
      return 1;
    case 2:
      // Unknown or unloadable ids have been told 0 by the core.
      SFX_PlaySound(module, handle, a0, argCount >= 2 ? a1 : -1);
      return 1;
    case 3: {
      InstanceRecord* instance = GetInstanceByHandle(static_cast<uint32_t>(a1));
      if (!instance) return Answer(task, 0);
      SFX_PlaySound3D(module, handle, a0, instance);
      return 1;
    }
    case 4: {
      const char* name = argCount > 0 && ValueIsText(&args[0]) ? GetValueString(&args[0]) : nullptr;
      SFX_LoadMOD(module, handle, name);
      return 1;
    }
    case 5: SFX_PlayMOD(module, handle, a0); return 1;
    case 6: return Answer(task, SFX_StopMOD());
    case 7: return Answer(task, SFX_FreeMOD(a0));
    case 8: return Answer(task, SFX_SetFXVolume(static_cast<int16_t>(a0)));
    case 9: return Answer(task, SFX_SetMODVolume(static_cast<int16_t>(a0)));
    case 10: return Answer(task, SFX_StopSample(a0));
    case 11: return Answer(task, SFX_FindSample(a0));
    case 12: return Answer(task, SFX_FreeSample(a0));
    case 13: return Answer(task, SFX_SetMasterVolume(static_cast<int16_t>(a0)));
    case 14: return Answer(task, VolumeControlOff() || !gSystem ? 0 : static_cast<int32_t>(gSystem->masterVolume));
    case 15:
      if (VolumeControlOff() || !SlotLoaded(state, a0)) return Answer(task, 0);
      state->musicAttributes[a0] = static_cast<int16_t>(a1);
      return Answer(task, 1);
    case 16: return Answer(task, VolumeControlOff() || !SlotLoaded(state, a0) ? 0 : state->musicAttributes[a0]);
    case 17: return Answer(task, SFX_GetSampleDuration(a0));
    case 18: return Answer(task, 0);
    case 19: return Answer(task, ExportPrivateInfo(state, static_cast<int16_t>(a0)));
    case 20: state->panningState = static_cast<int16_t>(a0); return Answer(task, 1);
    case 21: return Answer(task, state->panningState);
    case 22: return Answer(task, gSystem ? static_cast<int32_t>(gSystem->musicVolume) : 0);
    case 23: return Answer(task, gSystem ? static_cast<int32_t>(gSystem->effectsVolume) : 0);
    case 24: return Answer(task, gSystem ? static_cast<int16_t>(gSystem->voiceVolume) : 0);
    case 25: return Answer(task, state->scriptFlags);
    case 26: state->scriptFlags = a0; return Answer(task, 0);
    case 27: return Answer(task, state->language);
    case 28: state->language = static_cast<int16_t>(a0); return Answer(task, 0);
    case 29: return Answer(task, VoiceLanguage(a0));
    case 30: return Answer(task, SFX_SetVoiceVolume(static_cast<int16_t>(a0)));
    case 31: return Answer(task, SFX_SetMusicType(a0));
    case 32: SFX_SetEAXRoom(a0, a1); return Answer(task, 0);
    default: return Answer(task, 0);
  }
}
