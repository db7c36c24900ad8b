// The universe frame step: the two passes over the top-level list that run the per-sector steps
// of every simulated sector. Called by the game loop once per unpaused frame. Does no simulation
// work itself and allocates nothing; the steps run under the universe guard, so objects scripts
// free meanwhile are released only after both passes.
#include "simulation/sector_motion.h"
#include "simulation/simulation.h"
#include "simulation/universe_guard.h"
#include "simulation/universe_steps.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"

namespace {

SectorObject* SimulatedSector(SpaceObject* object) {
  if (object->objClass != kClassSector) return nullptr;
  SectorObject* sector = static_cast<SectorObject*>(object);
  return (sector->sectorFlags & kSectorFlagSkipped) ? nullptr : sector;
}

}  // namespace

SectorStepTable DefaultSectorSteps() {
  return SectorStepTable{UpdateSectorMotion, UpdateSectorObjects, UpdateSectorInstances, UpdateSectorFlight,
                         BreakObject};
}

SectorStepTable gSectorSteps = DefaultSectorSteps();

void StepUniverse() {
  UniverseBlock* universe = gUniverse;
  if (!universe) return;
  UniverseGuardScope guard;
  // The successor is read after the steps, so a sector the steps insert right after the current
  // one is visited in the same pass.
  if (universe->runState[1] != 0) {
    for (SpaceObject* o = ObjectListFirst(&universe->objects); o; o = ObjectListNext(o)) {
      SectorObject* sector = SimulatedSector(o);
      if (!sector) continue;
      gSectorSteps.motion(sector);
      gSectorSteps.objects(sector);
      gSectorSteps.instances(sector);
    }
  }
  for (SpaceObject* o = ObjectListFirst(&universe->objects); o; o = ObjectListNext(o)) {
    SectorObject* sector = SimulatedSector(o);
    if (!sector) continue;
    gSectorSteps.flight(sector);
    gSectorSteps.breakAway(sector);
  }
}
