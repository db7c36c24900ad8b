// The sound-effect core (see sound_channels.h): the sample list, the channel choice with take-over
// and overflow, the plays by sample id and by sound id, the per-frame end reports, the unloading
// and reset of samples. Called by the SFX_ natives, the game loop, the script reset, the scene
// engine's hooks and the engine's plays with owner (0, 0). Every owner hears exactly one answer
// per request: the slot is settled before its owner is told, so a callback that plays again
// finds a consistent state. No pointer to a freed sample survives: the list owns each sample,
// the bank entry's pointer is cleared with it, and a device channel keeps only its own copy.
#include "devices/sound_channels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/sound.h"
#include "devices/sound_banks.h"
#include "devices/sound_device.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/scene_records.h"
#include "script/tasks.h"

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);

constexpr int32_t kEnded = 1;
constexpr int32_t kNotPlayed = 0;
// Without a sound to time by, a slot is held this long.
constexpr int64_t kTimedPlayMs = 500;
constexpr uint32_t kAutoFreeAfterMs = 60000;
constexpr int16_t kPriorityCeiling = 32767;
constexpr int16_t kThreeDControlPriority = 255;
constexpr int32_t kFullVolume = 255;
constexpr int32_t kPanRange = 128;
constexpr int32_t kDefaultRange = 50000;
constexpr int32_t kUnitLength = 65536;
constexpr int32_t kPanDivisor = 2048;
constexpr uint32_t kLoadFlagMask = 0xFFFF;
constexpr size_t kSampleNameSize = 64;

SoundState* State() { return gScriptSound; }
uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }
bool Silent() { return gSoundDevice && (gSoundDevice->flags & kAudioDeviceSilent); }
bool DevicePlays() { return gSoundDevice && (gSoundDevice->flags & kAudioDevicePlays) && !Silent(); }

void Report(int32_t module, int32_t handle, int32_t result) {
  if (module != 0) ModuleResumeInt(module, result, static_cast<uint32_t>(handle));
}

struct Owner {
  int32_t module;
  int32_t handle;
};

// Takes the owner off the slot; the caller reports to it once the slot is settled.
Owner TakeOwner(SoundChannelSlot* slot) {
  const Owner owner{slot->ownerModule, slot->ownerHandle};
  slot->ownerModule = 0;
  slot->ownerHandle = 0;
  return owner;
}

void ReportTo(Owner owner, int32_t result) { Report(owner.module, owner.handle, result); }

// ---------------------------------------------------------------------------------------------
// The sample list.

LoadedSample* FindLoaded(int32_t sampleId) {
  SoundState* state = State();
  if (!state) return nullptr;
  for (LoadedSample* node = state->firstSample; node; node = node->next) {
    if (node->sampleId == sampleId && node->sound) return node;
  }
  return nullptr;
}

void FreeLoaded(LoadedSample* node) {
  SoundState* state = State();
  if (node->previous) node->previous->next = node->next;
  else state->firstSample = node->next;
  if (node->next) node->next->previous = node->previous;
  else state->lastSample = node->previous;
  SoundBankEntry* entry = FindSoundBankEntry(node->sampleId);
  if (entry && entry->sample == node->sound) entry->sample = nullptr;
  FreeSoundSample(node->sound);
  MemFree(node, sizeof(LoadedSample), kSoundMemory);
}

void StampLastUsed(int32_t sampleId) {
  if (LoadedSample* node = FindLoaded(sampleId)) node->lastUsed = Now();
}

// A sample that must go while it may still play (a temporary one that stopped, or one whose
// continuation failed): freed, and no channel keeps playing it.
void DropSampleAndChannels(int32_t sampleId) {
  if (LoadedSample* node = FindLoaded(sampleId)) FreeLoaded(node);
  SoundReleaseSampleChannels(sampleId);
}

// The file of a sample: the product's sample name with the id, the absolute id for a temporary one.
bool SampleFileName(int32_t sampleId, char* name, size_t size) {
  if (!gSystem || !gSystem->product || !gSystem->product->soundTemplate || sampleId == INT32_MIN) return false;
  const int written = std::snprintf(name, size, gSystem->product->soundTemplate, std::abs(sampleId));
  return written > 0 && static_cast<size_t>(written) < size;
}

int16_t EntryVolume(const SoundBankEntry* entry) {
  return static_cast<int16_t>(entry->volume < 0 ? kFullVolume : std::min(entry->volume, int32_t{kPriorityCeiling}));
}

// A bank sound's sample, loaded with the entry's flags and taking the entry's volume.
SoundSample* LoadBankSample(int32_t soundId, const SoundBankEntry* entry) {
  SoundSample* sample = SoundLoadSample(soundId, entry->flags & ~kSfxUnloadable);
  if (sample) sample->volume = EntryVolume(entry);
  return sample;
}

// What SFX_PlaySound and SFX_GetSampleDuration need of an entry: its sample, loaded once. A
// failed load marks the entry, and a marked entry is never tried again.
bool EnsureEntrySample(SoundBankEntry* entry, int32_t soundId) {
  if (entry->sample) return true;
  if (entry->flags & kSfxUnloadable) return false;
  if (LoadBankSample(soundId, entry)) return true;
  entry->flags |= kSfxUnloadable;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Channels.

bool SlotPlays(const SoundState* state, int32_t sampleId) {
  const int32_t count = SoundChannelCount();
  for (int32_t i = 0; i < count; ++i) {
    if (state->slots[i]->priority != 0 && state->slots[i]->sampleId == sampleId) return true;
  }
  return false;
}

// The sound on a slot is taken over: its owner hears it ended.
void TakeOver(SoundChannelSlot* slot) {
  const int32_t sampleId = slot->sampleId;
  const Owner owner = TakeOwner(slot);
  StampLastUsed(sampleId);
  if (sampleId < 0) DropSampleAndChannels(sampleId);
  ReportTo(owner, kEnded);
}

int32_t ChooseChannel(SoundState* state, int32_t sampleId, int16_t priority) {
  const int32_t count = SoundChannelCount();
  int32_t sameFree = kNoChannel, anyFree = kNoChannel;
  int16_t lowest = kPriorityCeiling;
  for (int32_t i = 0; i < count; ++i) {
    const SoundChannelSlot* slot = state->slots[i];
    if (slot->priority == 0) {
      if (sameFree == kNoChannel && slot->sampleId == sampleId) sameFree = i;
      if (anyFree == kNoChannel) anyFree = i;
    }
    lowest = std::min(lowest, slot->priority);
  }
  if (sameFree != kNoChannel) return sameFree;
  if (anyFree != kNoChannel) return anyFree;
  if (priority < lowest) return kNoChannel;
  const int64_t now = Now();
  int32_t chosen = kNoChannel;
  int64_t nearest = 0;
  for (int32_t i = 0; i < count; ++i) {
    const SoundChannelSlot* slot = state->slots[i];
    if (slot->priority != lowest) continue;
    const int64_t left = slot->endTime - now;
    if (chosen == kNoChannel || left < nearest) {
      chosen = i;
      nearest = left;
    }
  }
  if (chosen != kNoChannel) TakeOver(state->slots[chosen]);
  return chosen;
}

void Fill(SoundChannelSlot* slot, int32_t module, int32_t handle, int32_t sampleId, int16_t priority,
          int64_t endTime, uint16_t flags) {
  slot->ownerModule = module;
  slot->ownerHandle = handle;
  slot->sampleId = sampleId;
  slot->priority = priority;
  slot->endTime = endTime;
  slot->flags = flags;
}

// The request waits for any channel to end; an earlier waiting request is answered first.
void QueueOverflow(SoundState* state, int32_t module, int32_t handle, int32_t sampleId, int16_t priority) {
  SoundChannelSlot* overflow = state->overflow;
  const bool held = overflow->priority != 0;
  const Owner earlier = TakeOwner(overflow);
  Fill(overflow, module, handle, sampleId, priority, Now() + kTimedPlayMs, 0);
  if (held) ReportTo(earlier, kEnded);
}

// frequency x 2^(pitch / 100), truncated. A pitch so low that nothing is left plays the sample's
// own frequency, as the channel player takes 0 to mean, so no end time divides by zero.
uint32_t PitchedFrequency(uint32_t frequency, int32_t pitch) {
  if (pitch == 0) return frequency;
  const double pitched = std::floor(frequency * std::exp2(pitch / 100.0));
  if (!(pitched >= 1.0)) return frequency;
  return pitched >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(pitched);
}

int32_t SoundStartChannel(int32_t channel, SoundSample* sample, int32_t length, uint32_t frequency, int32_t volume,
                          int16_t priority, int32_t pan, int32_t module, int32_t handle, int32_t sampleId) {
  SoundState* state = State();
  SoundChannelSlot* slot = state->slots[channel];
  const int64_t now = Now();
  int32_t frames = kPlayLooped;
  int64_t endTime = 0;
  uint16_t flags = 0;
  if (length < 0) {
    flags = kSlotLoops;
  } else {
    const int32_t blockSize = std::max<int16_t>(sample->blockSize, 1);
    frames = length / blockSize;
    endTime = now + int64_t{frames} * 1000 / frequency;
  }
  Fill(slot, module, handle, sampleId, priority == 0 ? int16_t{1} : priority, endTime, flags);
  if (state->panningState != 0) pan = kPanRange - pan;
  if (!DevicePlays()) {
    // No device: the sound is timed as in silent mode, so a waiting script goes on.
    slot->endTime = now + kTimedPlayMs;
    slot->flags = 0;
    return kNoChannel;
  }
  if (frames == 0) {
    // Nothing to hear: the slot ends at once, on the next update.
    SoundStopBuffer(channel);
    return channel;
  }
  if (SoundPlayChannel(sample, channel, frames, frequency, pan, volume) == kSoundPlayFailed) {
    slot->priority = 0;
    slot->flags = 0;
    ReportTo(TakeOwner(slot), kNotPlayed);
    return kNoChannel;
  }
  return channel;
}

// ---------------------------------------------------------------------------------------------
// 3D placement.

struct Placement {
  int32_t volume;
  int32_t pan;
};

// The listener is the scene's first camera that moves the sound listener.
const InstanceRecord* FindListener(SceneRecord* scene) {
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    InstanceRecord* camera = InstanceOfNode(node);
    if (CameraOfInstance(camera)->cameraFlags & kCameraListener) return camera;
  }
  return nullptr;
}

Placement PlaceSound(const InstanceRecord* instance, int32_t range, int32_t base) {
  const Placement centred{base, kCentrePan};
  if (!instance || !instance->scene) return centred;
  const InstanceRecord* listener = FindListener(instance->scene);
  if (!listener || listener == instance) return centred;
  FixedVector at, from;
  GetInstanceAbsPos(instance, &at);
  GetInstanceAbsPos(listener, &from);
  const int64_t d[3] = {int64_t{at.x} - from.x, int64_t{at.y} - from.y, int64_t{at.z} - from.z};
  int32_t pan = kCentrePan;
  if (d[0] != 0 || d[1] != 0 || d[2] != 0) {
    const double length = std::sqrt(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]);
    FixedMatrix turn;
    GetInstanceAbsMatrix(listener, &turn);
    int64_t dot = 0;
    for (int k = 0; k < 3; ++k) {
      const auto unit = static_cast<int64_t>(double(d[k]) * kUnitLength / length);
      dot += (unit * turn.m[0][k] + 0x8000) >> 16;
    }
    pan = kCentrePan + static_cast<int32_t>(dot / kPanDivisor);
  }
  const int64_t r = range != 0 ? range : kDefaultRange;
  const int64_t distance = std::max({std::llabs(d[0]), std::llabs(d[1]), std::llabs(d[2])});
  int64_t volume = int64_t{base} * (5 * r - distance) / (4 * r);
  volume = std::min<int64_t>({volume, kFullVolume, base});
  return Placement{static_cast<int32_t>(std::max<int64_t>(volume, INT32_MIN)), pan};
}

int32_t EntryBaseVolume(const SoundBankEntry* entry) { return entry->volume >= 0 ? entry->volume : kFullVolume; }

// A value from 0 to n, both included, by the game's generator.
int64_t DrawUpTo(int64_t n) { return (n + 1) * GameRand() / 32768; }

// Steps shared by the flat and the 3D play of a bank sound: the lowered volume, the pitch and
// the length. False when the entry is unknown or its sample cannot be had (the owner heard 0).
struct BankPlay {
  SoundBankEntry* entry;
  int32_t volume;
  int32_t pitch;
  int32_t length;
};

bool PrepareBankPlay(int32_t module, int32_t handle, int32_t soundId, int32_t volume, BankPlay* play) {
  SoundBankEntry* entry = FindSoundBankEntry(soundId);
  // In silent mode nothing is loaded; the play is timed instead.
  if (!entry || (!Silent() && !EnsureEntrySample(entry, soundId))) {
    Report(module, handle, kNotPlayed);
    return false;
  }
  int64_t v = volume >= 0 ? volume : EntryBaseVolume(entry);
  const int64_t spread = entry->volumeSpread;
  if (spread > 0) {
    const int64_t r = DrawUpTo(2 * spread);
    if (r < spread) v = std::max<int64_t>(0, v + (r - spread) * v / 100);
  }
  int64_t pitch = entry->pitchLow;
  if (entry->pitchLow < entry->pitchHigh) pitch += DrawUpTo(int64_t{entry->pitchHigh} - entry->pitchLow);
  play->entry = entry;
  play->volume = static_cast<int32_t>(v);
  play->pitch = SaturateToInt32(pitch);
  play->length = (entry->flags & kSfxLoop) ? kPlayLooped : kPlayWholeSample;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int32_t SoundChannelCount() { return gSystem ? std::clamp<int32_t>(gSystem->soundChannelCount, 0, kSoundSlotCount) : 0; }

SoundSample* SoundLoadSample(int32_t sampleId, uint32_t loadFlags) {
  SoundState* state = State();
  if (!state || Silent()) return nullptr;
  if (LoadedSample* node = FindLoaded(sampleId)) return node->sound;
  char name[kSampleNameSize];
  if (!SampleFileName(sampleId, name, sizeof name)) return nullptr;
  SoundSample* sound = LoadWaveFile(name, loadFlags & kLoadFlagMask);
  if (!sound) return nullptr;
  void* memory = MemAlloc(sizeof(LoadedSample), kSoundMemory);
  if (!memory) {
    FreeSoundSample(sound);
    return nullptr;
  }
  auto* node = new (memory) LoadedSample{};
  node->sound = sound;
  node->sampleId = sampleId;
  node->loadFlags = static_cast<uint16_t>(loadFlags & kLoadFlagMask);
  // A sample loaded ahead of its play counts as used now, so auto-free does not take it at once.
  node->lastUsed = Now();
  node->previous = state->lastSample;
  if (state->lastSample) state->lastSample->next = node;
  else state->firstSample = node;
  state->lastSample = node;
  if (SoundBankEntry* entry = FindSoundBankEntry(sampleId)) entry->sample = sound;
  return sound;
}

int32_t SFX_PlaySample(int32_t module, int32_t handle, int32_t sampleId, int32_t length, int32_t pitch,
                       int32_t volume, int32_t priority, int32_t pan) {
  SoundState* state = State();
  if (!state) {
    Report(module, handle, kNotPlayed);
    return kNoChannel;
  }
  // Taken as 16 bits; 0 would mark the slot free and lose the request.
  int16_t wanted = static_cast<int16_t>(priority);
  if (wanted == 0) wanted = 1;
  if (pan == 0) pan = kCentrePan;
  const int32_t channel = ChooseChannel(state, sampleId, wanted);
  state = State();
  if (!state) return kNoChannel;
  if (channel == kNoChannel) {
    QueueOverflow(state, module, handle, sampleId, wanted);
    return kNoChannel;
  }
  SoundSample* sample = nullptr;
  if (LoadedSample* node = FindLoaded(sampleId)) {
    sample = node->sound;
  } else if (SoundBankEntry* entry = FindSoundBankEntry(sampleId); entry && !(entry->flags & kSfxUnloadable)) {
    sample = LoadBankSample(sampleId, entry);
  }
  if (!sample) {
    if (!Silent()) {
      Report(module, handle, kNotPlayed);
      return kNoChannel;
    }
    Fill(state->slots[channel], module, handle, sampleId, wanted, Now() + kTimedPlayMs, 0);
    return kNoChannel;
  }
  const uint32_t frequency = PitchedFrequency(sample->frequency, pitch);
  if (length == 0) length = static_cast<int32_t>(std::min<uint32_t>(sample->length, INT32_MAX));
  return SoundStartChannel(channel, sample, length, frequency, volume, wanted, pan, module, handle, sampleId);
}

int32_t SFX_PlaySound(int32_t module, int32_t handle, int32_t soundId, int32_t volume) {
  BankPlay play{};
  if (!PrepareBankPlay(module, handle, soundId, volume, &play)) return 0;
  const int32_t priority = (play.entry->flags & kSfx3DControl) ? kThreeDControlPriority : play.entry->priority;
  SFX_PlaySample(module, handle, soundId, play.length, play.pitch, play.volume, priority, kCentrePan);
  return 1;
}

int32_t SFX_PlaySound(int32_t soundId) { return SFX_PlaySound(0, 0, soundId, -1); }

int32_t SFX_PlaySound3D(int32_t module, int32_t handle, int32_t soundId, InstanceRecord* instance) {
  BankPlay play{};
  if (!PrepareBankPlay(module, handle, soundId, -1, &play)) return 0;
  const Placement placement = PlaceSound(instance, play.entry->range, play.volume);
  if (placement.volume < 1) {
    Report(module, handle, kNotPlayed);
    return 0;
  }
  SFX_PlaySample(module, handle, soundId, play.length, play.pitch, placement.volume, play.entry->priority,
                 placement.pan);
  return 1;
}

int32_t SFX_PlaySound3D(int32_t soundId, InstanceRecord* instance) { return SFX_PlaySound3D(0, 0, soundId, instance); }

int32_t SFX_FreeSample(int32_t sampleId) {
  LoadedSample* node = FindLoaded(sampleId);
  if (!node) return 0;
  FreeLoaded(node);
  return 1;
}

int32_t SFX_FindSample(int32_t sampleId) {
  const SoundState* state = State();
  return state && SlotPlays(state, sampleId) ? 1 : 0;
}

int32_t SFX_StopSample(int32_t sampleId) {
  const SoundState* state = State();
  if (!state) return 0;
  const int32_t count = SoundChannelCount();
  for (int32_t i = 0; i < count; ++i) {
    if (state->slots[i]->priority != 0 && state->slots[i]->sampleId == sampleId) return SoundStopChannel(i, sampleId);
  }
  return 0;
}

int32_t SoundStopChannel(int32_t channel, int32_t sampleId) {
  SoundState* state = State();
  if (!state || channel < 0 || channel >= kSoundSlotCount) return 0;
  SoundChannelSlot* slot = state->slots[channel];
  if (slot->priority == 0 || slot->sampleId != sampleId) return 0;
  slot->priority = 0;
  slot->flags = 0;
  if (!Silent()) SoundStopBuffer(channel);
  const Owner owner = TakeOwner(slot);
  StampLastUsed(sampleId);
  if (sampleId < 0) DropSampleAndChannels(sampleId);
  ReportTo(owner, kEnded);
  return 1;
}

void SoundReleaseSampleChannels(int32_t sampleId) {
  const int32_t count = SoundChannelCount();
  for (int32_t i = 0; i < count; ++i) {
    SoundState* state = State();
    if (!state) return;
    SoundChannelSlot* slot = state->slots[i];
    if (slot->sampleId != sampleId) continue;
    slot->priority = 0;
    slot->flags = 0;
    const Owner owner = TakeOwner(slot);
    if (!Silent()) ReleaseSoundBuffer(i);
    slot->sampleId = 0;
    ReportTo(owner, kEnded);
  }
}

int32_t SFX_GetSampleDuration(int32_t soundId) {
  SoundBankEntry* entry = FindSoundBankEntry(soundId);
  if (!entry || !State() || !EnsureEntrySample(entry, soundId)) return 0;
  const SoundSample* sample = entry->sample;
  if (!sample || sample->frequency == 0) return 0;
  // length / frequency x 500, rounded to the nearest integer.
  return static_cast<int32_t>((int64_t{sample->length} * 1000 / sample->frequency + 1) / 2);
}

// ---------------------------------------------------------------------------------------------
// Per frame, unloading and reset.

void UpdateSounds() {
  // The frame's sound is mixed before the ends are judged, so a sample heard to its end is over.
  if (gSystem) SoundCaptureFrame(gSystem->frameStep);
  const int64_t now = Now();
  const int32_t count = SoundChannelCount();
  for (int32_t i = 0; i < count; ++i) {
    SoundState* state = State();
    if (!state) return;
    SoundChannelSlot* slot = state->slots[i];
    if (slot->priority == 0 || (slot->flags & kSlotLoops)) continue;
    if (now <= slot->endTime && SoundChannelIsBusy(i)) continue;
    // The wave loader reads a whole file into one part, so a sample that would continue has no
    // next part to load: it ends as one whose continuation failed, and is freed.
    const int32_t sampleId = slot->sampleId;
    const LoadedSample* node = FindLoaded(sampleId);
    const bool continued = node && (node->sound->flags & kSampleContinues);
    slot->priority = 0;
    const Owner owner = TakeOwner(slot);
    StampLastUsed(sampleId);
    if (sampleId < 0 || continued) DropSampleAndChannels(sampleId);
    ReportTo(owner, kEnded);
    // A request that found no channel ends when any channel ends.
    state = State();
    if (state && state->overflow->priority != 0) {
      state->overflow->priority = 0;
      ReportTo(TakeOwner(state->overflow), kEnded);
    }
  }
  SoundState* state = State();
  if (!state) return;
  for (LoadedSample *node = state->firstSample, *next; node; node = next) {
    next = node->next;
    if (!(node->loadFlags & kSfxAutoFree) || SlotPlays(state, node->sampleId)) continue;
    if (Now() - node->lastUsed > kAutoFreeAfterMs) FreeLoaded(node);
  }
}

void UnloadAllSamples() {
  for (int32_t bank = 0; bank < kSoundBankCount; ++bank) {
    for (int32_t k = 0; k < gSoundBanks[bank].count; ++k) {
      SoundBankEntry& entry = gSoundBanks[bank].entries[k];
      if (!entry.sample) continue;
      const int32_t soundId = bank * kSoundBankEntries + k;
      SoundReleaseSampleChannels(soundId);
      LoadedSample* node = FindLoaded(soundId);
      if (node && node->sound == entry.sample) FreeLoaded(node);
      entry.sample = nullptr;
    }
  }
}

void ResetScriptSounds(int32_t full) {
  SoundState* state = State();
  if (!state) return;
  for (int32_t i = 0; i < kSoundSlotCount; ++i) {
    SoundChannelSlot* slot = state->slots[i];
    if (slot->priority != 0 && !Silent()) ReleaseSoundBuffer(i);
    slot->priority = 0;
    slot->flags = 0;
    TakeOwner(slot);
  }
  // A waiting request belongs to a task that is gone with the reset, like the channels' owners.
  state->overflow->priority = 0;
  TakeOwner(state->overflow);
  while (state->firstSample) FreeLoaded(state->firstSample);
  const auto kept = [&](int32_t slot) {
    return full == 0 && slot >= 1 && slot <= kMusicSlotCount && (state->musicAttributes[slot] & kMusicKeptOnReset);
  };
  if (!kept(state->currentMusic)) state->currentMusic = 0;
  for (int32_t slot = 1; slot <= kMusicSlotCount; ++slot) {
    if (!state->musicLoaded[slot] || kept(slot)) continue;
    state->musicNames[slot] = FreeString(state->musicNames[slot]);
    state->musicLoaded[slot] = 0;
    state->musicAttributes[slot] = 0;
  }
}
