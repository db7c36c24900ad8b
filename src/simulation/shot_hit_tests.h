// The shot and collision-course tests the simulation runs for shots and ship pairs: the object a
// beam shot hits along its length, and the bookkeeping of a ship's collision threats. Called by
// the sector motion pass, the object update and the weapons.
#pragma once

#include <cstdint>

struct SpaceObject;

// The object the beam shot hits, or null.
SpaceObject* FindShotTarget(SpaceObject* shot);
// Records the obstacle as a collision threat of the ship when it is on course.
void RecordCollisionThreat(SpaceObject* ship, SpaceObject* obstacle, int32_t distance);
