// Drawing many instances of one body through the whole renderer on the OpenGL device (SDL's
// offscreen driver and Mesa's software rasteriser when headless): per frame the camera's view
// and clear, then for each instance of a textured, lit one-part cube (12 triangles) its render
// matrix and its part, then the present. The frames are timed after warm-up frames, because the
// software rasteriser compiles its shader variants on first use; the rate of frames is the
// "fps" counter. The goal is 60 frames per second for 1,000 instances at 1024 x 768.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "support/frame_world.h"

namespace {

constexpr uint32_t kWidth = 1024;
constexpr uint32_t kHeight = 768;
constexpr int kWarmUpFrames = 5;

void DrawInstances(benchmark::State& state) {
  FrameWorld world;
  std::string error;
  if (!world.Open(kWidth, kHeight, false, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  world.PlaceCubes(static_cast<int32_t>(state.range(0)));
  for (int i = 0; i < kWarmUpFrames; ++i) {
    world.DrawFrame();
    world.Present();
  }
  for (auto _ : state) {
    if (!world.DrawFrame()) {
      state.SkipWithError("a frame failed");
      break;
    }
    world.Present();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["instances"] = static_cast<double>(state.range(0));
}
BENCHMARK(DrawInstances)->Arg(1000)->Arg(100)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
