// Fuzz target of the save-game reader with every section built so far: the input is the save's
// content (the reader takes it plain as well as gzip-packed, so the packing is left out). It is
// put into slot 0 and read into the running game, which is reset after each read.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "app/save_game.h"
#include "fuzz_support.h"
#include "save_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = fuzz::SaveWorld();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  LoadSaveGame(0);
  fuzz::ResetSaveWorld();
  return 0;
}
