// The least form of the containers' per-frame upkeep until the simulation's docking places and
// guide lights are built: the containers are left as they are. Called by the per-frame object
// pass only.
#include "universe/container_upkeep.h"

void UpdateDockSlots(SpaceObject*) {}
void UpdateGuideLights(SpaceObject*) {}
