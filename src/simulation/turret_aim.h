// What the weapons and the combat commands ask of a ship's turrets: the direction a turret
// points, its aim solution with lead against a target, the lead point of a shot of given speed,
// and whether a target lies in a turret's firing range. Called by the weapons and the object
// commands; never fires, never changes a turret's rows.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;

// The unit (16.16) direction turret `turret` of the ship points along in world space.
void TurretWorldDirection(const SpaceObject* ship, int32_t turret, FixedVector* out);
// 1 with an aim for the turret against the target from the muzzle, else 0.
int32_t ComputeTurretAim(SpaceObject* ship, int32_t turret, SpaceObject* target, const FixedVector* muzzle,
                         FixedVector* outDirection, FixedVector* outAimPoint);
// 1 when a shot of `speed` from the muzzle can meet the target, with its direction and point.
int32_t ComputeInterceptPoint(SpaceObject* shooter, SpaceObject* target, const FixedVector* muzzle, int32_t speed,
                              FixedVector* outDirection, FixedVector* outAimPoint, int32_t skipGuns);
// 0 not in range, 1 in range but outside the angle, 2 in range and within it, 3 as 2 with the
// turret already pointing along `direction`.
int32_t IsTargetInFiringRangeOfTurret(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags,
                                      const FixedVector* direction);
