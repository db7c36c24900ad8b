// The sound banks: 13 banks of up to 100 entries that say how each sound id plays (priority,
// volume, flags, pitch range, volume spread, 3D range), filled once at start-up from the type
// file "Sounds" and freed at shutdown. Called by the game main, the shutdown and the sound core.
// A sound id is bank * 100 + entry; ids that name no entry are answered as unknown, never read.
#pragma once

#include <cstdint>

#include "core/data_reader.h"

struct SoundSample;

constexpr int32_t kSoundBankCount = 13;
constexpr int32_t kSoundBankEntries = 100;

// SFX_ flag bits of an entry; the low 16 bits are the sample's load flags.
constexpr uint32_t kSfxLoop = 0x1;
constexpr uint32_t kSfxOneMemBlock = 0x2;
constexpr uint32_t kSfxInterpolate = 0x4;
constexpr uint32_t kSfxDsik = 0x8;
constexpr uint32_t kSfxToBeContinued = 0x10;
constexpr uint32_t kSfx3DControl = 0x20;
constexpr uint32_t kSfxAutoFree = 0x40;
// Set at run time on an entry whose sample failed to load.
constexpr uint32_t kSfxUnloadable = 0x80;

// The flag names the file writes.
extern const DataKeyword kSoundFlagNames[];

struct SoundBankEntry {
  int16_t priority;
  int32_t volume;  // 0 to 255; negative means 255
  uint32_t flags;
  int32_t range;   // 3D range in world units; 0 means 50000
  int32_t pitchLow;
  int32_t pitchHigh;
  int32_t volumeSpread;
  SoundSample* sample;
};

struct SoundBank {
  SoundBankEntry* entries;
  int32_t count;
};

extern SoundBank gSoundBanks[kSoundBankCount];

void LoadSoundTable();
void FreeSoundBanks();
// The entry of a sound id, or null when the id names none.
SoundBankEntry* FindSoundBankEntry(int32_t soundId);
// The entry's flags and volume; 0 for an unknown id.
uint32_t GetSoundFlags(int32_t soundId);
int32_t GetSoundVolume(int32_t soundId);
