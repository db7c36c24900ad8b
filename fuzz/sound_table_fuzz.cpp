// Fuzz target of the "Sounds" type file: the input's first byte picks the form (bit 0 set: the
// packed binary form), the rest is the file. Every bank must stay within its 100 entries and every
// lookup, valid or not, must answer without reading outside them; the banks are freed each time.
#include <cstddef>
#include <cstdint>

#include "devices/sound_banks.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  if (size < 1) return 0;
  const char* name = (data[0] & 1) != 0 ? "types/Sounds.pck" : "types/Sounds.txt";
  if (!fuzz::WriteFile(name, data + 1, size - 1)) return 0;
  LoadSoundTable();
  for (const SoundBank& bank : gSoundBanks) {
    if (bank.count < 0 || bank.count > kSoundBankEntries || (bank.count > 0 && bank.entries == nullptr)) __builtin_trap();
  }
  static const int32_t kIds[] = {-1, -150, 0, 99, 100, 250, 1205, 1299, 1300, INT32_MIN, INT32_MAX};
  uint32_t sum = 0;
  for (int32_t id : kIds) sum += GetSoundFlags(id) + uint32_t(GetSoundVolume(id));
  for (int32_t id = 0; id < kSoundBankCount * kSoundBankEntries; ++id) {
    const SoundBankEntry* entry = FindSoundBankEntry(id);
    if (entry != nullptr) sum += uint32_t(entry->range);
  }
  (void)sum;
  FreeSoundBanks();
  // Writing over a file is much slower than making a new one; and only one form may be there.
  fuzz::RemoveFile(name);
  return 0;
}
