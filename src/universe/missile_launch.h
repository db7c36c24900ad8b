// The launch of a missile from a ship: made at a turret gun (or below the hull), aimed, given
// speed and put into the ship's sector, with the scripts told. Called by the missile commands
// and the simulation; it never frees an object.
#pragma once

#include <cstdint>

struct SpaceObject;

// The new missile, or null when none was launched. `turret` 0 launches from the hull, a positive
// one from a gun of that turret.
SpaceObject* ObjLaunchMissile(SpaceObject* shooter, SpaceObject* target, int32_t turret, int32_t subtype,
                              int32_t launchFlags, int32_t shotNo);
