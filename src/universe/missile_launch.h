// Missile launch from a ship's turret gun or from below its hull. The object commands and the
// ships' weapons call it (through the simulation's services); it raises "MissileLaunched" and "MissileAlert" and frees nothing but a
// missile whose launch failed.
#pragma once

#include <cstdint>

struct SpaceObject;

// The new missile, or null when none was launched. `turret` 0 launches from the hull, a positive
// one from a gun of that turret; `shotNo` picks the gun for types that choose it by shot.
SpaceObject* ObjLaunchMissile(SpaceObject* shooter, SpaceObject* target, int32_t turret, int32_t subtype,
                              uint32_t launchFlags, int32_t shotNo);
