// The least form of a missile's break-up until it is built: nothing is made.
#include "universe/object_spawns.h"

void ObjDecoupleMissile(SpaceObject*, int32_t) {}
