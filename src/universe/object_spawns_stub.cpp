// The least form of shot fragments and missile break-up until they are built: nothing is made.
#include "universe/object_spawns.h"

void SpawnScatteredObjects(SpaceObject*) {}
void ObjDecoupleMissile(SpaceObject*, int32_t) {}
