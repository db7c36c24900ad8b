// The scene engine's save section of a busy universe's engine side: 2,000 instance trees (a root
// with one child) over 20 scenes with a camera each, placed cuts and takes with members, written
// by SaveEngineState and read by LoadEngineState through a gzip file as a save game does. The
// closing line says whether writing what was read gave the same bytes. KORVANE_BENCH_SMOKE=1
// uses a small engine so the run stays brief.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/file_object.h"
#include "scene/cut_records.h"
#include "scene/lens_flares.h"
#include "scene/scene.h"
#include "scene/take_records.h"
#include "support/recording_world.h"

namespace {

std::unique_ptr<RecordingWorld> gWorld;
std::string gPath;

void FreeTakes() {
  HashTable* table = gWorld->engine().takeTable;
  while (uint32_t key = HashNextKey(table, 0)) {
    auto* take = reinterpret_cast<TakeRecord*>(HashRemove(table, key));
    if (take->instances) EngineFree(take->instances, static_cast<uint32_t>(take->instanceCount) * 4);
    EngineFree(take, sizeof(TakeRecord));
  }
}

void Clear() {
  FreeTakes();
  gWorld->FreeScenes();
  gWorld->FreeLoose();
  gWorld->engine().lensFlareScene = nullptr;
}

void Fill(int scenes, int trees) {
  std::vector<SceneRecord*> made;
  for (int s = 0; s < scenes; ++s) {
    SceneRecord* scene = B3D_SceneAlloc();
    made.push_back(scene);
    CameraRecord* camera = B3D_CameraAlloc();
    B3D_CameraAddToScene(camera, scene);
  }
  std::vector<InstanceRecord*> roots;
  for (int i = 0; i < trees; ++i) {
    InstanceRecord* root = B3D_InstAlloc();
    AddInstanceToScene(root, made[i % scenes]);
    B3D_InstAddToInst(B3D_InstAlloc(), root);
    root->name = DuplicateString("object");
    roots.push_back(root);
  }
  for (int c = 0; c < 20; ++c) {
    auto* cut = EngineAllocRecord<CutRecord>();
    cut->handle = static_cast<uint32_t>(100 + c);
    cut->originFlags = 1;
    HashInsert(gWorld->engine().cutTable, cut->handle, reinterpret_cast<HashValue>(cut));
  }
  for (int t = 0; t < 50; ++t) {
    auto* take = EngineAllocRecord<TakeRecord>();
    take->handle = HashInsertNewKey(gWorld->engine().takeTable, reinterpret_cast<HashValue>(take));
    take->instanceCount = 4;
    take->instances = static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * 4, 16));
    for (int k = 0; k < 4; ++k) take->instances[k] = roots[(t * 4 + k) % roots.size()];
  }
}

RecordingWorld& World() {
  if (!gWorld) {
    const bool smoke = std::getenv("KORVANE_BENCH_SMOKE") != nullptr;
    gWorld = std::make_unique<RecordingWorld>();
    Fill(smoke ? 2 : 20, smoke ? 100 : 2000);
    // A running game has its lens-flare scene from the first frame, and every load ends by making
    // sure of it; without it the second write would hold one scene more than the first.
    EnsureLensFlareScene();
    gPath = (std::filesystem::temp_directory_path() / "korvane_engine_save_bench.sav").string();
  }
  return *gWorld;
}

bool Write(const std::string& path) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, path.c_str(), "wb", false)) return false;
  const bool ok = SaveEngineState(&file) == 1;
  FileClose(&file);
  return ok;
}

bool Read() {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, gPath.c_str(), "rb", false)) return false;
  const bool ok = LoadEngineState(&file) == 1;
  FileClose(&file);
  return ok;
}

void BM_SaveEngineState(benchmark::State& state) {
  World();
  for (auto _ : state)
    if (!Write(gPath)) state.SkipWithError("write failed");
}
BENCHMARK(BM_SaveEngineState)->Unit(benchmark::kMillisecond);

void BM_LoadEngineState(benchmark::State& state) {
  World();
  if (!Write(gPath)) state.SkipWithError("write failed");
  for (auto _ : state) {
    state.PauseTiming();
    Clear();
    state.ResumeTiming();
    if (!Read()) state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_LoadEngineState)->Unit(benchmark::kMillisecond);

std::string Bytes(const std::string& path) {
  const auto bytes = TextureWorld::ReadGzip(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  // The last load left the engine as the section describes it: write it once more and compare.
  const std::string again = gPath + ".again";
  const bool same = gWorld && Write(again) && Bytes(gPath) == Bytes(again);
  std::printf("engine save: a second write %s\n", same ? "gave the same bytes" : "DIFFERED");
  std::remove(again.c_str());
  std::remove(gPath.c_str());
  if (gWorld) {
    Clear();
    HashTable* cuts = gWorld->engine().cutTable;
    while (uint32_t key = HashNextKey(cuts, 0)) EngineFree(reinterpret_cast<void*>(HashRemove(cuts, key)), sizeof(CutRecord));
  }
  gWorld.reset();
  benchmark::Shutdown();
  return same ? 0 : 1;
}
