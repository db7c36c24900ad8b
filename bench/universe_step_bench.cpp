// Frame cost of the universe step: one sector holding 1,000 ships of one type on a grid, each
// ordered a few columns along its row, alternately left and right (its order fields set
// directly), so neighbours meet head-on; the universe started, the game's generator seeded with
// 1, at a 16 ms frame step. Every frame the motion pass tests every pair of ships (near ones in
// full, with the collision-course threat test) and finds the crossing ships' contacts, the object
// update decides each ship's move-to-point order and settles its speed, and the flight pass turns
// and moves them. The ships have no bodies, so the instance contact test is a sphere test here.
// Before timing, the world is stepped until ships have touched (at most kWarmUpFrames);
// afterwards the program checks that ships moved and that contacts happened, so it never times an
// idle frame, and reports the timed frames' contacts. Reported in microseconds per frame: the
// whole StepUniverse, and each pass of the sector on its own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "bench_universe.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "simulation/flight.h"
#include "simulation/object_update.h"
#include "simulation/sector_motion.h"
#include "simulation/simulation.h"
#include "simulation/simulation_services.h"
#include "simulation/universe_steps.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"

namespace {

constexpr uint16_t kOrderMovePos = 25;
// Ships of 5000 units at 10000 units per second: two meeting ships close 320 units a frame, far
// less than the reach of their spheres. Their contacts take no effect: a ram puts both back where
// they were, so ships held head-on by their orders would ram every frame and die within a few, and
// the frames after would be idle. The grid is spaced so that a ship's box test admits only its near
// neighbours.
constexpr int32_t kShipRadiusUnits = 5000;
constexpr int32_t kShipRadius = kShipRadiusUnits;
constexpr int32_t kSpacing = 100000;
constexpr int32_t kLegColumns = 3;  // how many columns a ship crosses
constexpr uint32_t kContactWithoutEffect = 1u << 18;
constexpr int32_t kWarmUpFrames = 2000;

int64_t gContacts = 0;

// Two ship spheres touch when their centres lie within the sum of their radii.
int32_t SphereContact(InstanceRecord* a, InstanceRecord* b, int32_t, int32_t) {
  const double dx = double(a->position.x) - b->position.x, dy = double(a->position.y) - b->position.y,
               dz = double(a->position.z) - b->position.z;
  const double reach = 2.0 * kShipRadiusUnits;
  if (dx * dx + dy * dy + dz * dz > reach * reach) return 0;
  ++gContacts;
  return 1;
}

int32_t ShipCount() { return std::getenv("KORVANE_BENCH_SMOKE") ? 50 : 1000; }

struct World : BenchUniverse {
  ObjectTypeRecord shipType{};
};

bool Build(World* w) {
  // The scene engine's tables give every ship its instance, whose position the motion pass reads.
  if (!StartBenchUniverse(w, 16)) return false;
  w->universe->runState[1] = 1;
  gSimulationServices.instCollideWith = SphereContact;
  gContacts = 0;
  w->shipType.ship.speed = 10000;
  w->shipType.ship.speed2 = 10000;
  w->shipType.ship.maxHull = 100000;
  w->shipType.ship.value27 = 100;
  for (int32_t& rate : w->shipType.turnRate) rate = 20000;
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
    // Centred on the origin, so each ship's mirrored goal lies across the grid from it.
    const int32_t x = (k % side - side / 2) * kSpacing, y = ((k / side) % side - side / 2) * kSpacing,
                  z = (k / (side * side)) * kSpacing;
    if (!ship->instance) return false;
    ship->instance->position = {x, y, z, 0};
    // Two races that are each other's foes, alternating: peaceful ships would pass through.
    ship->owner = static_cast<uint16_t>(1 + k % 2);
    ship->flags2 |= kContactWithoutEffect;
    if (auto* ext = static_cast<ShipExt*>(ship->ext)) {
      ext->friendMask = 0;
      ext->foeMask = 1u << (2 - k % 2);
      ext->commandState = kOrderMovePos;
      // Even columns fly toward +x, odd ones toward -x, so neighbours in a row meet head-on.
      const int32_t leg = (k % 2 == 0 ? 1 : -1) * kLegColumns * kSpacing;
      ext->commandPoint = {x + leg, y, z, 0};
      ext->thinkPeriod = 500;
    }
  }
  return true;
}

void Tear(World* w) {
  gSimulationServices = DefaultSimulationServices();
  gSectorSteps = DefaultSectorSteps();
  EndBenchUniverse(w);
  gObjectTypeTables[kClassShip] = {};
}

SectorObject* TheSector(World* w) {
  return static_cast<SectorObject*>(ObjectListFirst(&w->universe->objects));
}

FixedVector FirstShipPosition(World* w) {
  SpaceObject* ship = ObjectListFirst(ObjectChildren(TheSector(w)));
  return ship && ship->instance ? ship->instance->position : FixedVector{};
}

void Frame(World* w) {
  w->system.gameTime += w->system.frameStep;
  StepUniverse();
}

// What one iteration times: the whole frame step, or one pass of the sector.
enum Part { kWholeFrame, kMotionPass, kObjectPass, kFlightPass };

void BM_UniverseStep(benchmark::State& state) {
  World world;
  if (!Build(&world)) {
    state.SkipWithError("the universe could not be built");
    Tear(&world);
    return;
  }
  for (int frame = 0; frame < kWarmUpFrames && gContacts == 0; ++frame) Frame(&world);
  const FixedVector start = FirstShipPosition(&world);

  const int64_t contactsBefore = gContacts;
  SectorObject* sector = TheSector(&world);
  const auto part = static_cast<Part>(state.range(0));
  for (auto _ : state) {
    switch (part) {
      case kWholeFrame: Frame(&world); break;
      case kMotionPass: world.system.gameTime += world.system.frameStep; UpdateSectorMotion(sector); break;
      case kObjectPass: world.system.gameTime += world.system.frameStep; UpdateSectorObjects(sector); break;
      case kFlightPass: world.system.gameTime += world.system.frameStep; UpdateSectorFlight(sector); break;
    }
  }
  // A whole frame or the flight pass must have moved the ships, and the crossing paths must have
  // brought contacts, else an idle frame was timed.
  const FixedVector end = FirstShipPosition(&world);
  const bool moved = start.x != end.x || start.y != end.y || start.z != end.z;
  if (gContacts == 0) state.SkipWithError("no ships collided");
  else if (!moved && (part == kWholeFrame || part == kFlightPass)) state.SkipWithError("no ship moved");
  state.counters["ships"] = ShipCount();
  state.counters["contacts"] = static_cast<double>(gContacts - contactsBefore);
  Tear(&world);
}
BENCHMARK(BM_UniverseStep)
    ->ArgName("part")
    ->Arg(kWholeFrame)
    ->Arg(kMotionPass)
    ->Arg(kObjectPass)
    ->Arg(kFlightPass)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
