// The sound-effect core: the SoundState with its sample list, 32 channel slots and the overflow
// slot, the choice of a channel for a new sound, plays by sample id and by sound id (flat and at
// a 3D instance), the end reports to each sound's owner, and the freeing of samples. Called by
// the SFX_ natives, the game loop (UpdateSounds, UnloadAllSamples), the script reset, the scene
// engine (through its sound hooks) and the engine's own callers with owner (0, 0). It reaches
// the output only through the sound device's channel operations (sound_device.h).
#pragma once

#include <cstdint>

struct InstanceRecord;
struct SoundSample;

constexpr int32_t kSoundSlotCount = 32;  // slot i belongs to device channel i
constexpr int32_t kMusicSlotCount = 10;  // numbered 1 to 10

// SoundChannelSlot flag bits.
constexpr uint16_t kSlotLoops = 0x1;  // no end time; ends only when stopped or taken over

// Which owner a playing sound belongs to. Priority 0 marks a free slot; a free slot keeps the
// sample id it last played, so the same sample finds its buffer again.
struct SoundChannelSlot {
  int32_t ownerModule;  // 0 = nobody hears the end
  int32_t ownerHandle;  // handed back to the owner (a script task id)
  int64_t endTime;      // game time in ms; 64 bits, so long samples cannot wrap it
  int32_t sampleId;     // negative ids are temporary samples
  int16_t priority;
  uint16_t flags;
};

struct LoadedSample {
  LoadedSample* next;
  LoadedSample* previous;
  SoundSample* sound;
  int32_t sampleId;
  uint16_t loadFlags;
  uint32_t lastUsed;  // game time a channel last stopped playing it (or it was loaded)
};

struct SoundState {
  LoadedSample* firstSample;
  LoadedSample* lastSample;
  SoundChannelSlot* slots[kSoundSlotCount];
  SoundChannelSlot* overflow;  // a request that found no channel
  // Music slots, indexed 1 to 10 (index 0 unused). The names are accounted strings
  // (DuplicateString), freed with their slot.
  int32_t musicLoaded[kMusicSlotCount + 1];
  char* musicNames[kMusicSlotCount + 1];
  int16_t currentMusic;
  int16_t musicAttributes[kMusicSlotCount + 1];
  int32_t panningState;  // nonzero: every pan p plays as 128 - p
  int32_t scriptFlags;
  int16_t language;
  int32_t musicOwnerModule;
  int32_t musicOwnerHandle;
  int32_t musicOwnerWord;
  int32_t moduleIndex;  // the SFX_ module's row
};

// Music attribute bit: the slot survives a reset that is not a full one.
constexpr int16_t kMusicKeptOnReset = 0x2;

// Sample ids and play lengths.
constexpr int32_t kPlayWholeSample = 0;
constexpr int32_t kPlayLooped = -1;
constexpr int32_t kNoChannel = -1;
constexpr int32_t kCentrePan = 64;

// Plays a sample; the channel, or -1 when none plays it (the owner still hears 1 or 0 later or
// at once). length: bytes, 0 the whole sample, negative loops; pitch: hundredths of an octave.
int32_t SFX_PlaySample(int32_t module, int32_t handle, int32_t sampleId, int32_t length, int32_t pitch,
                       int32_t volume, int32_t priority, int32_t pan);
// Plays a bank sound; 1 when it was handed on, 0 when the id is unknown or cannot be loaded.
// A negative volume takes the entry's. The engine form has no owner and takes the entry's volume.
int32_t SFX_PlaySound(int32_t module, int32_t handle, int32_t soundId, int32_t volume);
int32_t SFX_PlaySound(int32_t soundId);
// Plays a bank sound at an instance, heard from its scene's listener; a null instance plays
// centred at the entry's volume. 1 when handed on, else 0.
int32_t SFX_PlaySound3D(int32_t module, int32_t handle, int32_t soundId, InstanceRecord* instance);
int32_t SFX_PlaySound3D(int32_t soundId, InstanceRecord* instance);

// The sample, loaded on first use; null in silent mode or when it cannot be loaded.
SoundSample* SoundLoadSample(int32_t sampleId, uint32_t loadFlags);
// 1 when the sample was loaded and is now freed; channels playing it go on.
int32_t SFX_FreeSample(int32_t sampleId);
int32_t SFX_FindSample(int32_t sampleId);
int32_t SFX_StopSample(int32_t sampleId);
// Acts only when the channel's slot is active and plays that sample: 1 then, else 0.
int32_t SoundStopChannel(int32_t channel, int32_t sampleId);
void SoundReleaseSampleChannels(int32_t sampleId);
// length / frequency x 500, rounded: the bank sound's length in ms for 16-bit data (half of it
// for 8-bit; scripts time by this answer). 0 when it cannot be loaded.
int32_t SFX_GetSampleDuration(int32_t soundId);

// How many slots take part: the configured channel count, never more than 32.
int32_t SoundChannelCount();
