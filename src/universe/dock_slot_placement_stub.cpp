// The least form of the docking-place placement until the simulation's dock slots are built:
// every placement is refused. Called by the hangar start; changes nothing.
#include "universe/dock_slot_placement.h"

int32_t PlaceShipAtDockSlot(SpaceObject*, int32_t, SpaceObject*, uint32_t) { return 0; }
