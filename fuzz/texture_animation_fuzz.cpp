// Fuzz target of the texture animations' readers. The first byte picks the reader: 0 the
// "Animations" file in text form, 1 in binary form, 2 the saved states (the count of states in
// the second byte) over the demo generator's definitions. Whatever is read is then advanced,
// stepped and saved again; nothing may read outside the input or outside a table.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"

namespace {

void ReadSection(std::vector<uint8_t>& bytes, bool binary) {
  DataReader reader;
  DataReaderInit(&reader, bytes.data(), binary, bytes.size());
  ReadTextureAnimationSection(&reader);
}

void Exercise(int32_t n, TexAnimState* states) {
  SystemBlock* block = fuzz::Block();
  for (uint32_t t : {0u, 40u, 120u, 100000u}) {
    block->gameTime = t;
    TexAnimUpdate(n, states);
  }
  for (int32_t id = 0; id < gTextureAnimationCount; ++id) TexAnimFindRecord(id, n, states, 1);
  InstTexAnimRecompute(n, states, 3);
  InstTexAnimRebase(n, states, 3, 7);
  FileObject file;
  FileObjectInit(&file);
  if (FileOpen(&file, (fuzz::World() + "/anims.out").c_str(), "wbT", false)) {
    SaveTexAnimStates(n, &file, states);
    FileCloseHandle(&file);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  fuzz::World();
  fuzz::Block()->gameTime = 0;
  const uint8_t mode = data[0] % 3;
  if (mode < 2) {
    // Text form ends at its terminator, as a loaded file's last byte becomes one.
    std::vector<uint8_t> bytes(data + 1, data + size);
    bytes.push_back(0);
    ReadSection(bytes, mode == 1);
    std::vector<int32_t> ids;
    for (int32_t id = 0; id < gTextureAnimationCount && id < 64; ++id) ids.push_back(id);
    ids.push_back(-3);
    const int32_t n = static_cast<int32_t>(ids.size());
    TexAnimState* states = TexAnimCreateRecords(n, ids.data(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (states) Exercise(n, states);
    TexAnimFreeRecords(n, states);
  } else {
    // The demo generator's definitions, which the state seeds were saved over.
    static const std::string kFile = fuzz::AnimationsFile(false);
    static const std::string kTable = kFile.empty() ? kFile : kFile.substr(1);
    std::vector<uint8_t> table(kTable.begin(), kTable.end());
    table.push_back(0);
    ReadSection(table, false);
    const int32_t n = data[1] % 8 + 1;
    if (fuzz::WriteFile("anims.sav", data + 2, size - 2)) {
      FileObject file;
      FileObjectInit(&file);
      if (FileOpen(&file, (fuzz::World() + "/anims.sav").c_str(), "rb", false)) {
        TexAnimState* states = LoadTexAnimStates(n, &file);
        FileCloseHandle(&file);
        if (states) Exercise(n, states);
        TexAnimFreeRecords(n, states);
      }
    }
  }
  FreeTextureAnimations();
  return 0;
}
