// Until the turret rows are stepped, every turret points along the ship's own forward axis, no
// lead solution exists and no target is in range.
#include "simulation/turret_aim.h"

#include "universe/type_access.h"
#include "universe/universe.h"

void TurretWorldDirection(const SpaceObject* ship, int32_t, FixedVector* out) {
  *out = {0, 0, 65536, 0};
  const FixedMatrix* m = ship ? GetObjectRotationMatrix(ship) : nullptr;
  if (m) *out = {m->m[2][0], m->m[2][1], m->m[2][2], 0};
}

int32_t ComputeTurretAim(SpaceObject*, int32_t, SpaceObject*, const FixedVector*, FixedVector*, FixedVector*) {
  return 0;
}

int32_t ComputeInterceptPoint(SpaceObject*, SpaceObject*, const FixedVector*, int32_t, FixedVector*, FixedVector*,
                              int32_t) {
  return 0;
}

int32_t IsTargetInFiringRangeOfTurret(SpaceObject*, SpaceObject*, int32_t, int32_t, const FixedVector*) { return 0; }
