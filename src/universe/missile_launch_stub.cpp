// The least form of the missile launch until it is built: no missile is launched.
#include "universe/missile_launch.h"

SpaceObject* ObjLaunchMissile(SpaceObject*, SpaceObject*, int32_t, int32_t, int32_t, int32_t) { return nullptr; }
