// The universe save section of a busy universe (2,000 objects over 20 sectors: every class,
// ships with turrets, dock tables and docked ships, names, instances in the sector scenes, take
// records with actors), written and read through a gzip file as a save game writes it. The
// closing line says whether a second write gave the same bytes. KORVANE_BENCH_SMOKE=1 uses a
// small universe so the run stays brief.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "support/universe_save_world.h"
#include "universe/universe_save.h"

namespace {

std::unique_ptr<UniverseSaveWorld> gWorld;
std::string gPath;
std::string gFirst;

UniverseSaveWorld& World() {
  if (!gWorld) {
    const bool smoke = std::getenv("KORVANE_BENCH_SMOKE") != nullptr;
    gWorld = std::make_unique<UniverseSaveWorld>();
    gWorld->FillBusy(smoke ? 2 : 20, smoke ? 100 : 2000);
    gPath = (std::filesystem::temp_directory_path() / "korvane_universe_save_bench.sav").string();
  }
  return *gWorld;
}

bool WriteGzip() {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, gPath.c_str(), "wb", false)) return false;
  const bool ok = WriteUniverse(&file);
  FileClose(&file);
  return ok;
}

bool ReadGzip() {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, gPath.c_str(), "rb", false)) return false;
  const bool ok = ReadUniverseSection(&file);
  FileClose(&file);
  return ok;
}

void BM_WriteUniverse(benchmark::State& state) {
  World();
  for (auto _ : state) {
    if (!WriteGzip()) state.SkipWithError("write failed");
  }
  state.counters["objects"] = static_cast<double>(HashCount(World().universe().idHash));
}
BENCHMARK(BM_WriteUniverse)->Unit(benchmark::kMillisecond);

void BM_ReadUniverse(benchmark::State& state) {
  UniverseSaveWorld& world = World();
  if (gFirst.empty()) gFirst = world.Write();
  if (!WriteGzip()) state.SkipWithError("write failed");
  for (auto _ : state) {
    state.PauseTiming();
    world.EmptyKeepingEngine();
    state.ResumeTiming();
    if (!ReadGzip()) state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_ReadUniverse)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (gWorld) {
    const bool same = !gFirst.empty() && gWorld->Write() == gFirst;
    std::printf("second write equals the first: %s\n", same ? "yes" : "no");
    std::remove(gPath.c_str());
    gWorld.reset();
    if (!same) return 1;
  }
  benchmark::Shutdown();
  return 0;
}
