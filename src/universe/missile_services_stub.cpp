// The least form of the gun-position query until its owner is
// built: a target's only gun position is its own place. Called by the
// missile launch.
#include "universe/missile_services.h"

#include "scene/instance_records.h"
#include "universe/universe.h"

bool FindNearestGunPosition(const SpaceObject* target, const FixedVector*, FixedVector* out) {
  if (!target || !target->instance) return false;
  *out = target->instance->world;
  return true;
}

