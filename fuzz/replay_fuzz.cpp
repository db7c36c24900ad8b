// Fuzz target of the replay reader: the input is a ".rec" stream (plain or gzip) that replay
// starts on and plays frame by frame, the game clock always at the next frame's due time, until
// it ends or a bounded number of frames ran. Any stream must end without reading outside what it
// holds, without drawing outside a texture, and leave nothing behind once the engine is cleared.
#include <cstddef>
#include <cstdint>

#include "core/system_block.h"
#include "fuzz_support.h"
#include "replay_world.h"
#include "scene/engine_records.h"
#include "scene/replay.h"

namespace {

// An unknown tag ends a frame without moving the clock on, so a stream of them needs one call
// each; this bounds the calls per input.
constexpr int kMaxFrames = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::SetUpReplayEngine();
  if (!fuzz::WriteFile("fuzz.rec", data, size)) return 0;
  gSystem->gameTime = 1000;
  if (B3D_InitReplay("fuzz", 10, 0, 0x10000, 0x2000, 0xE000)) {
    for (int frame = 0; frame < kMaxFrames && gEngine3D->replay; ++frame) {
      gSystem->gameTime = gEngine3D->replay->dueTime;
      ReplayFrame();
    }
  }
  fuzz::ClearReplayEngine();
  return 0;
}
