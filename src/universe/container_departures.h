// Ships leaving and entering containers: docks, factories, carrier ships and the gates ships jump
// through. The per-frame object pass lets a waiting ship out in front of its container with a
// launch speed and a spacing before the next one; the hangar-start command puts a ship into a
// container and, for docks, factories and ships, places it at a docking place or at the model's
// hangar exit. Neither frees an object.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;

// The body of the node that marks a container model's hangar exit.
constexpr int32_t kHangarNodeBody = 19030;
// Gates keep seven waiting places; the seventh is kept for the player's ship.
constexpr int kGateSlotsForOthers = 6;

void ShipLeaveContainer(SpaceObject* ship, SpaceObject* container);

// The entry vector (where ships go in) and the front vector (where they wait before it) of a
// dock, factory, ship or gate, in the container's own frame and in units of its radius. False,
// with both zero, for any other object.
bool ContainerDockVectors(const SpaceObject* container, FixedVector* entry, FixedVector* front);

// The answers of ObjStartInHangar.
constexpr int32_t kHangarStartFailed = 0;
constexpr int32_t kHangarStartWaiting = 1;  // only put into the container's list
constexpr int32_t kHangarStartPlaced = 2;   // placed for departure
// `slot` below 0 takes the hangar exit; otherwise a docking place of the container's type, which
// must exist: a slot beyond the type's count is refused before anything changes.
int32_t ObjStartInHangar(SpaceObject* ship, SpaceObject* container, int32_t slot);
