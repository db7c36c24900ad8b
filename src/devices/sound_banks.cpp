// The sound banks and their type file "Sounds" (see sound_banks.h). Called by the game main at
// start-up and shutdown and by the sound core's lookups. The file comes from outside: counts are
// checked before anything is allocated, and a short or broken file keeps what was read before it.
#include "devices/sound_banks.h"

#include <algorithm>

#include "core/memory.h"
#include "core/type_files.h"

const DataKeyword kSoundFlagNames[] = {
    {"SFX_LOOP", kSfxLoop},
    {"SFX_ONE_MEM_BLOCK", kSfxOneMemBlock},
    {"SFX_INTERPOLATE", kSfxInterpolate},
    {"SFX_DSIK", kSfxDsik},
    {"SFX_TOBECONTINUED", kSfxToBeContinued},
    {"SFX_3DCONTROL", kSfx3DControl},
    {"SFX_AUTOFREE", kSfxAutoFree},
    {"NULL", 0},
    {"", 0},
};

SoundBank gSoundBanks[kSoundBankCount];

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);
constexpr const char* kSoundTableName = "Sounds";

// Entries allocated per bank; a bank cut short by a broken file counts fewer.
int32_t gBankCapacity[kSoundBankCount];

void FreeBank(SoundBank* bank) {
  int32_t& capacity = gBankCapacity[bank - gSoundBanks];
  if (bank->entries) MemFree(bank->entries, size_t(capacity) * sizeof(SoundBankEntry), kSoundMemory);
  capacity = 0;
  *bank = SoundBank{};
}

// One entry in file order; false when the data ran out or broke inside it.
bool ReadEntry(DataReader* reader, SoundBankEntry* entry) {
  entry->priority = static_cast<int16_t>(ReadInt(reader));
  entry->volume = ReadInt(reader);
  entry->flags = ReadEnumWord(reader, kSoundFlagNames, 0);
  entry->pitchLow = ReadInt(reader);
  entry->pitchHigh = ReadInt(reader);
  entry->volumeSpread = ReadInt(reader);
  entry->range = ReadInt(reader);
  entry->sample = nullptr;
  return !reader->error;
}

// A bank's entries. Only the first 100 can be addressed by an id, but every entry is read so the
// next header is found where the file has it. False when the reading must end.
bool ReadBank(DataReader* reader, SoundBank* bank, int32_t count) {
  FreeBank(bank);
  const int32_t kept = std::min(count, kSoundBankEntries);
  if (kept > 0) {
    bank->entries = static_cast<SoundBankEntry*>(MemAlloc(size_t(kept) * sizeof(SoundBankEntry), kSoundMemory));
    if (!bank->entries) return false;
    bank->count = kept;
    gBankCapacity[bank - gSoundBanks] = kept;
  }
  for (int32_t k = 0; k < count; ++k) {
    SoundBankEntry entry{};
    if (!ReadEntry(reader, &entry)) {
      // The entries read so far stay; the broken one is not kept.
      if (k < kept) bank->count = k;
      return false;
    }
    if (k < kept) bank->entries[k] = entry;
  }
  return true;
}

}  // namespace

void LoadSoundTable() {
  FreeSoundBanks();
  DataReader* reader = OpenTypeFile(kSoundTableName, nullptr, 0);
  if (!reader) return;
  const int32_t bankCount = ReadInt(reader);
  if (!reader->error && bankCount > 0) {
    while (!reader->error) {
      const int32_t header = ReadInt(reader);
      if (reader->error) break;
      const int32_t bank = header / 100;
      // Headers outside the banks are dropped; the next value is read as a header again.
      if (bank < 0 || bank >= kSoundBankCount) continue;
      const int32_t count = ReadInt(reader);
      if (reader->error || count < 0) break;
      if (!ReadBank(reader, &gSoundBanks[bank], count)) break;
    }
  }
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

void FreeSoundBanks() {
  for (SoundBank& bank : gSoundBanks) FreeBank(&bank);
}

SoundBankEntry* FindSoundBankEntry(int32_t soundId) {
  if (soundId < 0) return nullptr;
  const int32_t bank = soundId / kSoundBankEntries;
  const int32_t entry = soundId % kSoundBankEntries;
  if (bank >= kSoundBankCount || !gSoundBanks[bank].entries || entry >= gSoundBanks[bank].count) return nullptr;
  return &gSoundBanks[bank].entries[entry];
}

uint32_t GetSoundFlags(int32_t soundId) {
  const SoundBankEntry* entry = FindSoundBankEntry(soundId);
  return entry ? entry->flags : 0;
}

int32_t GetSoundVolume(int32_t soundId) {
  const SoundBankEntry* entry = FindSoundBankEntry(soundId);
  return entry ? entry->volume : 0;
}
