// What a missile launch asks of the layers that own the ships' guns and the player's alerts: the
// nearest gun position of a target to aim at, and the player's incoming-missile alert. The
// missile launch calls them; neither creates or frees an object.
#pragma once

#include "core/fixed_math.h"

struct SpaceObject;

// The world position of the target ship's gun nearest to `from`, else (no gun node, or no ship)
// the target's own place; false when the target has no instance.
bool FindNearestGunPosition(const SpaceObject* target, const FixedVector* from, FixedVector* out);
// Tells the player's cockpit that a missile was launched.
void RaiseMissileAlert(SpaceObject* missile);
