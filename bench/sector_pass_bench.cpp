// Cost of the per-frame sector pass: one sector of 2,000 objects (half ships, which are
// containers, half asteroids) with ten screens in front of one camera and four video rows over
// their ids. "Steady" runs with a movie layer whose claimed stream keeps running, so after the
// first frame the pass keeps the choice it made; "Choosing" runs without one, so every frame the
// video counts as stopped and the screens are switched off and chosen again. Reported in
// microseconds per UpdateSectorInstances call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "bench_universe.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "scene/camera_records.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "script/engine.h"
#include "simulation/simulation.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"

namespace {

constexpr int32_t kScreens = 10;
constexpr int32_t kStream = 12;

int32_t ObjectCount() { return std::getenv("KORVANE_BENCH_SMOKE") ? 100 : 2000; }

// A movie layer of one stream that runs once claimed.
uint32_t gStreamFlags = 0;
int32_t gStreamOwner = 0;
bool Find(int32_t id, uint32_t* flags, int32_t* owner) {
  *flags = gStreamFlags;
  *owner = gStreamOwner;
  return id == kStream;
}
void Open(int32_t, uint32_t) {}
void Connect(int32_t, int32_t owner) {
  gStreamOwner = owner;
  gStreamFlags |= kMediaStreamOwned;
}
void Play(int32_t, const int32_t*) { gStreamFlags |= kMediaStreamRunning; }
void Stop(int32_t) { gStreamFlags &= ~kMediaStreamRunning; }
void Disconnect(int32_t, int32_t) {
  gStreamOwner = 0;
  gStreamFlags &= ~kMediaStreamOwned;
}
const MediaStreamHooks kHooks{Find, Open, Connect, Play, Stop, Disconnect};

struct World : BenchUniverse {
  SectorObject* sector = nullptr;
  ObjectTypeRecord shipType{}, rockType{}, screenType{};
  VideoRow rows[4]{};
};

bool Adopt(SectorObject* sector, SpaceObject* o) {
  ObjectListRemove(o);
  ObjectListAddTail(ObjectChildren(sector), o);
  o->parent = sector;
  return o->instance != nullptr;
}

bool Build(World* w) {
  if (!StartBenchUniverse(w, 0)) return false;
  gObjectTypeTables[kClassShip] = {&w->shipType, 1};
  gObjectTypeTables[kClassAsteroid] = {&w->rockType, 1};
  gObjectTypeTables[kClassSpecial] = {&w->screenType, 1};
  const int32_t ids[4][4] = {{1, 2, 3, 4}, {5, 6}, {7}, {8, 9, 10}};
  const int32_t counts[4] = {4, 2, 1, 3};
  for (int r = 0; r < 4; ++r) {
    w->rows[r].idCount = counts[r];
    for (int j = 0; j < counts[r]; ++j) w->rows[r].id[j] = ids[r][j];
    w->rows[r].value[0] = kStream;
  }
  gVideoTable = {4, w->rows};

  w->sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(w->sector, MakeTypeWord(kClassSector, 0));
  SceneRecord* scene = B3D_SceneAlloc();
  CameraRecord* camera = B3D_CameraAlloc();
  if (!scene || !camera) return false;
  B3D_CameraAddToScene(camera, scene);
  camera->cameraFlags |= kCameraEnabled;
  MatrixSetIdentity(&camera->instance.worldMatrix);
  w->sector->sceneA = scene;

  const int32_t n = ObjectCount() - kScreens;
  for (int32_t k = 0; k < n; ++k) {
    const uint16_t objClass = k % 2 ? kClassAsteroid : kClassShip;
    SpaceObject* o = AllocObjectRecord(objClass);
    if (!CreateObject(o, MakeTypeWord(objClass, 0)) || !Adopt(w->sector, o)) return false;
    o->instance->world = {k * 1000, 0, 50000, 0};
  }
  for (int32_t k = 0; k < kScreens; ++k) {
    SpaceObject* o = AllocObjectRecord(kClassSpecial);
    if (!CreateObject(o, MakeTypeWord(kClassSpecial, 0)) || !Adopt(w->sector, o) || !o->ext) return false;
    static_cast<SpecialExt*>(o->ext)->screenId = k + 1;
    o->radius = 100000;
    o->instance->world = {0, 0, 10000 * (k + 1), 0};
  }
  return true;
}

void Tear(World* w) {
  TexAnimSetMediaHooks(nullptr);
  if (w->sector) w->sector->sceneA = nullptr;  // the engine frees its scenes
  gVideoTable = {};                             // the bench's own rows
  EndBenchUniverse(w);
  gObjectTypeTables[kClassShip] = gObjectTypeTables[kClassAsteroid] = gObjectTypeTables[kClassSpecial] = {};
}

void Run(benchmark::State& state, const MediaStreamHooks* hooks) {
  World world;
  gStreamFlags = 0;
  gStreamOwner = 0;
  TexAnimSetMediaHooks(hooks);
  if (!Build(&world)) {
    state.SkipWithError("the sector could not be built");
    Tear(&world);
    return;
  }
  for (auto _ : state) {
    world.system.gameTime += 16;
    UpdateSectorInstances(world.sector);
  }
  state.counters["objects"] = ObjectCount();
  // How many screens show a tile at the end: a check that the pass did choose.
  int32_t showing = 0;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(world.sector)); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassSpecial && static_cast<SpecialExt*>(o->ext)->shownId > 0) ++showing;
  }
  state.counters["showing"] = showing;
  Tear(&world);
}

void BM_SectorPassSteady(benchmark::State& state) { Run(state, &kHooks); }
void BM_SectorPassChoosing(benchmark::State& state) { Run(state, nullptr); }
BENCHMARK(BM_SectorPassSteady)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SectorPassChoosing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
