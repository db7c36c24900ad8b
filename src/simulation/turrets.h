// A ship's turrets: the per-turret control rows and their per-frame aiming and turning, the lead
// solution of a shot against a moving target, and the firing-range test the object commands and
// the HUD use. The flight pass calls `AimShipTurrets` for every ship; the weapons and the turret
// orders call the rest. Nothing here allocates or frees an object; a woken task may run script
// code, so callers hold the universe guard.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "universe/universe.h"

struct SpaceObject;

// One row per turret in the ship extension (row 0 is the main forward group). The universe model
// keeps the row's layout and save; these are the words the turrets give meaning to:
//   vector.x, vector.y  current yaw and pitch (Angle16 held signed, -16384..16384)
//   vector.z, vector.w  target yaw and pitch
//   since               return time: after it an idle turret turns back to rest
//   moduleNo, handle    the script task waiting on the turret's order (0: none)
//   words[0]            alignment check time: before it the waiting task is not told "aligned"
//   words[1]            aim-until time: the turret aims while game time is before it
//   words[2]            aim mode (kTurretAimDirection: the target point is a direction)
//   stateWords[0..2]    target point
//   targetObject        what the turret aims at (null: the target point)
using TurretControlRow = TurretRow;

constexpr int kTurretAlignCheckWord = 0;
constexpr int kTurretAimUntilWord = 1;
constexpr int kTurretAimModeWord = 2;
constexpr uint32_t kTurretAimDirection = 2;

// Results a waiting turret task is woken with.
constexpr int32_t kTurretAligned = 1;
constexpr int32_t kTurretNoTarget = 3;
constexpr int32_t kTurretTimeOver = 13;

// The flags of `IsTargetInFiringRangeOfTurret`.
constexpr int32_t kRangeCheckDirection = 0x2;
constexpr int32_t kRangeReportOutsideAngle = 0x10;

// The target point of a control row.
FixedVector TurretTargetPoint(const TurretControlRow& row);
void SetTurretTargetPoint(TurretControlRow* row, const FixedVector& point);

// Per frame, for ships whose type has two or more turrets: serves the tasks waiting on turrets
// 1 .. count - 1, couples a turret the current cockpit views to that view, returns idle turrets to
// rest and turns each toward its target angles (the frame step counted at most as 250 ms).
void AimShipTurrets(SpaceObject* ship);

// The unit (16.16) direction turret `turret` of the ship points along in world space: the main
// group (0) along the ship's forward axis, the others at their current yaw and pitch.
void TurretWorldDirection(const SpaceObject* ship, int32_t turret, FixedVector* out);

// The aim of turret `turret` of `ship` at `target` from `muzzle`: 1 with the out direction
// (16.16 unit vector) and aim point, 0 for a non-ship or a negative turret.
int32_t ComputeTurretAim(SpaceObject* ship, int32_t turret, SpaceObject* target, const FixedVector* muzzle,
                         FixedVector* outDirection, FixedVector* outAimPoint);

// The lead solution of a shot of `bulletSpeed` from `muzzle` against `target`: 1 with the aim
// point (and the direction when asked) when the shot can meet the target, else 0.
int32_t ComputeInterceptPoint(SpaceObject* shooter, SpaceObject* target, const FixedVector* muzzle, int32_t bulletSpeed,
                              FixedVector* outDirection, FixedVector* outAimPoint, int32_t skipGuns);

// 0 not in range, 1 in range but outside the angle (only with kRangeReportOutsideAngle), 2 in
// range and within the angle, 3 as 2 with the turret already pointing along `direction` (only
// with kRangeCheckDirection and a direction).
int32_t IsTargetInFiringRangeOfTurret(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags,
                                      const FixedVector* direction);
