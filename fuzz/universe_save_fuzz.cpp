// Fuzz target of the universe save section ("SECT") and the simulation state and camera words
// that may follow it: the input is read into an empty universe over the engine records and type
// tables the seeds were written with. What it accepts must write back, and that writing must read back and write
// the same bytes again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/universe_save_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UniverseSaveWorld world;
  world.FillBusy(2, 40);
  world.EmptyKeepingEngine();
  if (!world.Read(std::string(reinterpret_cast<const char*>(data), size), false, true)) return 0;
  const std::string written = world.Write(true);
  if (written.empty()) __builtin_trap();
  world.EmptyKeepingEngine();
  if (!world.Read(written, false, true) || world.Write(true) != written) __builtin_trap();
  return 0;
}
