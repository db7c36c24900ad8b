// Frame cost of the universe step: one sector holding 1,000 ships of one small type on a grid a
// few radii apart, each ordered across the sector to a point (its order fields set directly),
// the universe started, the game's generator seeded with 1, one StepUniverse per iteration at a
// 16 ms frame step. Reported in microseconds per frame. The figure grows as the sector steps
// are filled in; so far the motion pass runs, testing every pair of ships (the neighbours on the
// grid pass its box test, none touches).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "simulation/simulation.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"

namespace {

constexpr uint16_t kOrderMovePos = 25;
constexpr int32_t kShipRadius = 200 << 16;
constexpr int32_t kSpacing = 4 * kShipRadius;

int32_t ShipCount() { return std::getenv("KORVANE_BENCH_SMOKE") ? 50 : 1000; }

struct World {
  SystemBlock system{};
  ScriptEngine* engine = nullptr;
  UniverseBlock* universe = nullptr;
  ObjectTypeRecord shipType{};
};

bool Build(World* w) {
  InitMathTables();
  w->system.gameTime = 10000;
  w->system.frameStep = 16;
  gSystem = &w->system;
  GameSrand(1);
  // The scene engine's tables give every ship its instance, whose position the motion pass reads.
  if (!InitEngine3D()) return false;
  w->engine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
  if (!w->engine || !InitEngineContext(w->engine)) return false;
  gScriptEngine = w->engine;
  w->universe = CreateUniverse(static_cast<UniverseBlock*>(MemCalloc(sizeof(UniverseBlock))));
  if (!w->universe) return false;
  w->universe->runState[1] = 1;
  gObjectTypeTables[kClassShip] = {&w->shipType, 1};

  auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(sector, MakeTypeWord(kClassSector, 1));
  const int32_t n = ShipCount();
  const int32_t side = 32;
  for (int32_t k = 0; k < n; ++k) {
    SpaceObject* ship = AllocObjectRecord(kClassShip);
    if (!CreateObject(ship, MakeTypeWord(kClassShip, 0))) return false;
    ObjectListRemove(ship);
    ObjectListAddTail(ObjectChildren(sector), ship);
    ship->parent = sector;
    ship->radius = kShipRadius;
    const int32_t x = (k % side) * kSpacing, y = ((k / side) % side) * kSpacing, z = (k / (side * side)) * kSpacing;
    if (!ship->instance) return false;
    ship->instance->position = {x, y, z, 0};
    if (auto* ext = static_cast<ShipExt*>(ship->ext)) {
      ext->commandState = kOrderMovePos;
      ext->commandPoint = {-x, y, z + 20 * kSpacing, 0};
      ext->thinkPeriod = 500;
    }
  }
  return true;
}

void Tear(World* w) {
  if (w->universe) {
    DestroyUniverse(w->universe);
    MemFreeIfSet(w->universe);
  }
  gUniverse = nullptr;
  ExitEngine3D();
  gObjectTypeTables[kClassShip] = {};
  if (w->engine) {
    FreeEngineTables(w->engine);
    MemFreeIfSet(w->engine);
  }
  gScriptEngine = nullptr;
  gSystem = nullptr;
}

void BM_UniverseStep(benchmark::State& state) {
  World world;
  if (!Build(&world)) {
    state.SkipWithError("the universe could not be built");
    Tear(&world);
    return;
  }
  for (auto _ : state) {
    world.system.gameTime += world.system.frameStep;
    StepUniverse();
  }
  state.counters["ships"] = ShipCount();
  Tear(&world);
}
BENCHMARK(BM_UniverseStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
