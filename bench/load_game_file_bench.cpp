// LoadGameFile of a large packed file (a scrambled gzip member inside a catalog slice, and a loose
// gzip file) against zlib's own raw inflate of the same deflate bytes from memory, and zlib's own
// gzip decoding with its CRC check, in one run; the closing lines print each ratio of speeds
// (1.0 = as fast as zlib alone). KORVANE_BENCH_SMOKE=1
// uses a small file so the run stays brief.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/general_init.h"
#include "catalog/catalog_builder.h"
#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/registry.h"

namespace {

std::string gContent;
std::string gRawDeflate;
std::string gGzip;
std::string gFolder;

// Text-like content: words from a small vocabulary, so it compresses about as game texts do.
std::string MakeContent(size_t size) {
  static const char* const kWords[] = {"ship",  "sector", "dock",    "trade", "laser", "shield", "cargo",
                                       "pilot", "gate",   "station", "ore",   "fuel",  "12",     "0x3F",
                                       ";",     "\r\n",   "type",    "name",  "speed", "1000"};
  std::string text;
  text.reserve(size + 16);
  uint32_t x = 12345;
  while (text.size() < size) {
    x = x * 1103515245u + 12345u;
    text += kWords[(x >> 16) % (sizeof kWords / sizeof kWords[0])];
    text += ' ';
  }
  text.resize(size);
  return text;
}

bool SetUpGameFolder() {
  const bool smoke = std::getenv("KORVANE_BENCH_SMOKE") != nullptr;
  gContent = MakeContent(smoke ? (1u << 20) : (20u << 20));
  const std::string gzip = catalog_tool::GzipBytes(gContent, 6);
  gGzip = gzip;
  gRawDeflate = catalog_tool::RawDeflateOf(gzip);
  char pattern[] = "/tmp/korvane-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  gFolder = pattern;
  std::string error;
  if (!catalog_tool::WriteCatalog(gFolder, "01.cat", {{"data\\big.pck", catalog_tool::ScrambleGzip(gzip, 0x4C)}},
                                  &error) ||
      !catalog_tool::WriteHostFile(gFolder + "/loose/big.pck", gzip))
    return false;
  std::filesystem::current_path(gFolder);
  RegistrySetFilePath((gFolder + "/registry.xml").c_str());
  static char program[] = "bench";
  static char* argv[] = {program, nullptr};
  return InitGeneral(1, argv) != nullptr && gSystem->catalogSlots == 2;
}

void LoadAndCheck(benchmark::State& state, const char* name) {
  for (auto _ : state) {
    char* data = LoadGameFile(name, "pck", false);
    if (data == nullptr || gLastReadSize != gContent.size()) {
      state.SkipWithError("LoadGameFile failed");
      return;
    }
    benchmark::DoNotOptimize(data);
    MemFree(data, gLastReadSize, 0);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(gContent.size()));
}

void BM_LoadGameFileCatalogScrambled(benchmark::State& state) { LoadAndCheck(state, "data\\big"); }
void BM_LoadGameFileLooseGzip(benchmark::State& state) { LoadAndCheck(state, "loose\\big"); }

// zlib alone: raw inflate of the deflate bytes, already in memory, into a buffer of the final size.
void BM_ZlibRawInflate(benchmark::State& state) {
  std::vector<unsigned char> out(gContent.size());
  for (auto _ : state) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(gRawDeflate.data());
    stream.avail_in = uInt(gRawDeflate.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int status = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
      state.SkipWithError("inflate failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(gContent.size()));
}

// zlib decoding the whole gzip member itself, which also checks its CRC-32 and length, as
// LoadGameFile does.
void BM_ZlibGzipInflate(benchmark::State& state) {
  std::vector<unsigned char> out(gContent.size());
  for (auto _ : state) {
    z_stream stream{};
    inflateInit2(&stream, 16 + MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(gGzip.data());
    stream.avail_in = uInt(gGzip.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int status = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
      state.SkipWithError("inflate failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(gContent.size()));
}

BENCHMARK(BM_ZlibRawInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibGzipInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGameFileCatalogScrambled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGameFileLooseGzip)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.iterations > 0 && !run.error_occurred) seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!SetUpGameFolder()) {
    std::fprintf(stderr, "load_game_file_bench: cannot build the game folder\n");
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("content %zu bytes, deflate %zu bytes\n", gContent.size(), gRawDeflate.size());
  for (const char* base : {"BM_ZlibRawInflate", "BM_ZlibGzipInflate"}) {
    const double zlib = reporter.seconds[base];
    for (const char* name : {"BM_LoadGameFileCatalogScrambled", "BM_LoadGameFileLooseGzip"}) {
      const double mine = reporter.seconds[name];
      if (zlib > 0 && mine > 0) std::printf("speed ratio %s / %s: %.3f\n", name, base, zlib / mine);
    }
  }
  FreeSystemBlock(1);
  RegistrySetFilePath(nullptr);
  std::filesystem::current_path("/");
  std::error_code ec;
  std::filesystem::remove_all(gFolder, ec);
  benchmark::Shutdown();
  return 0;
}
