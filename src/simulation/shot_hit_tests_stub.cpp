// The least form of the shot tests until they are built: a beam hits nothing and no threat is
// recorded. Called by the sector motion pass through its service table.
#include "simulation/shot_hit_tests.h"

SpaceObject* FindShotTarget(SpaceObject*) { return nullptr; }
void RecordCollisionThreat(SpaceObject*, SpaceObject*, int32_t) {}
