// Putting a ship at a docking place of a carrier (a dock, factory or ship). Called by the
// universe's hangar start and the placement command; a place the carrier does not have is refused
// and nothing changes.
#pragma once

#include <cstdint>

struct SpaceObject;

// 1 when the ship was placed (or, without a ship, the place prepared), 0 when refused.
int32_t PlaceShipAtDockSlot(SpaceObject* carrier, int32_t slot, SpaceObject* ship, uint32_t flags);
