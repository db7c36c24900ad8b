// Decoding a generated 320 x 240 movie (MPEG-1 with an MPEG audio tone, 25 frames a second) and
// copying every frame into a 256 x 256 texture, as a movie texture plays. The counter
// "x_real_time" says how many seconds of the clip pass per second of work: a movie keeps up when
// it is well above 1. KORVANE_BENCH_SMOKE=1 uses a shorter clip so the run stays brief.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices/media_stream.h"
#include "platform/media_decoder.h"

namespace {

constexpr int32_t kFramesPerSecond = 25;
constexpr int32_t kTextureSide = 256;

const std::string& Clip(int32_t durationMs) {
  static std::string path;
  if (!path.empty()) return path;
  char name[] = "/tmp/korvane-media-bench-XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  static const uint32_t kColours[] = {0x204080, 0xC08040, 0x10E010, 0xF0F0F0};
  const MediaClipRecipe recipe{320, 240, kFramesPerSecond, durationMs, kColours, 4, 440};
  if (fd >= 0 && MediaWriteClip(name, &recipe)) path = name;
  return path;
}

void BM_DecodeMovieIntoTexture(benchmark::State& state) {
  const int32_t durationMs = std::getenv("KORVANE_BENCH_SMOKE") ? 400 : 4000;
  const std::string& path = Clip(durationMs);
  if (path.empty()) {
    state.SkipWithError("the movie clip could not be written");
    return;
  }
  std::vector<uint8_t> texture(size_t(kTextureSide) * kTextureSide * 4);
  const TextureTexels texels{texture.data(), kTextureSide * 4, kTextureSide, kTextureSide, 32};
  int64_t frames = 0;
  for (auto _ : state) {
    MediaDecoder* d = MediaDecoderOpen(path.c_str(), kMediaPartAudio | kMediaPartVideo, 44100);
    if (!d) {
      state.SkipWithError("the clip does not open");
      return;
    }
    // The clock steps one frame period at a time, as a game frame would; sound is read as it comes.
    MediaReadResult r = kMediaReadOk;
    for (int64_t due = 0; r != kMediaReadEnd && r != kMediaReadFailed;
         due += kMediaTimeUnitsPerSecond / kFramesPerSecond) {
      MediaVideoFrame frame{};
      while ((r = MediaDecoderNextFrame(d, due, &frame)) == kMediaReadPending) {
        MediaAudioBlock block{};
        if (MediaDecoderNextAudio(d, &block) != kMediaReadOk) break;
      }
      if (r == kMediaReadOk) {
        CopyMediaFrame(&frame, &texels);
        ++frames;
      }
    }
    MediaAudioBlock block{};
    while (MediaDecoderNextAudio(d, &block) == kMediaReadOk) {
    }
    MediaDecoderClose(d);
    benchmark::DoNotOptimize(texture.data());
  }
  state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["x_real_time"] =
      benchmark::Counter(double(state.iterations()) * durationMs / 1000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMovieIntoTexture)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!Clip(0).empty()) std::remove(Clip(0).c_str());
  return 0;
}
