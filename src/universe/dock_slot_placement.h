// Putting a ship at a docking place of a carrier (a dock, factory or ship): the simulation's dock
// slots own the operation; the universe's hangar start calls it. Until the dock slots are built
// the placement is refused and nothing changes.
#pragma once

#include <cstdint>

struct SpaceObject;

// 1 when the ship was placed (or, without a ship, the place prepared), 0 when refused.
int32_t PlaceShipAtDockSlot(SpaceObject* carrier, int32_t slot, SpaceObject* ship, uint32_t flags);
