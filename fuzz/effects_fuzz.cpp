// Fuzz target of the effect table's reader. The first byte picks the form: even text, odd binary.
// The table is then walked and freed; nothing may read outside the input or leak an entry array.
#include <cstdint>
#include <vector>

#include "core/data_reader.h"
#include "fuzz_support.h"
#include "universe/effect_definitions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::World();
  const bool binary = data[0] & 1;
  // Text form ends at its terminator, as a loaded file's last byte becomes one.
  std::vector<uint8_t> bytes(data + 1, data + size);
  bytes.push_back(0);
  DataReader reader;
  DataReaderInit(&reader, bytes.data(), binary, bytes.size());
  ReadEffectDefinitions(&reader);
  int64_t sum = 0;
  for (const EffectDefinitionRow& row : gEffectRows) {
    for (int32_t i = 0; i < row.entryCount; ++i) sum += int64_t{row.entries[i].sourceId} + row.entries[i].startDelay;
  }
  FreeEffectDefinitions();
  return sum == 1 ? 1 : 0;
}
