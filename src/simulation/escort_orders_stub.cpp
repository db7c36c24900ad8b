// The least form of the escort, follow and avoidance order modes until they are built: the ship
// keeps its rates and speed, and its order goes on (a time limit still ends it).
#include "simulation/escort_orders.h"

void RunAvoidCollision(SpaceObject*, int32_t) {}
void RunEscort(SpaceObject*, int32_t) {}
void RunFollow(SpaceObject*, int32_t) {}
