// The escort, follow and collision-avoidance order modes. The order update calls them once per
// frame for a ship in one of those modes.
#pragma once

#include <cstdint>

struct SpaceObject;

void RunAvoidCollision(SpaceObject* ship, int32_t step);
void RunEscort(SpaceObject* ship, int32_t step);
void RunFollow(SpaceObject* ship, int32_t step);
