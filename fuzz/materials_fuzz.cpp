// Fuzz target of the material table reader: the first byte picks the form (even: text, odd:
// binary), the rest is the "Materials" file. The reader must never read outside the input and the
// tables it builds must free cleanly.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/data_reader.h"
#include "fuzz_support.h"
#include "render/material_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::World();
  const bool binary = data[0] & 1;
  // Text form ends at its terminator, as a loaded file's last byte becomes one.
  std::vector<uint8_t> bytes(data + 1, data + size);
  bytes.push_back(0);
  DataReader reader;
  DataReaderInit(&reader, bytes.data(), binary, bytes.size());
  ReadMaterialSection(&reader);
  for (int32_t id = 0; id < gTextureFixedCount; ++id) (void)TextureNameOf(id);
  FreeMaterialTable();
  FreeTextureTables();
  gMaterialCount = 0;
  gTextureFixedCount = 0;
  gTextureAddedCount = 0;
  return 0;
}
