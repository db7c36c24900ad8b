// The least form of the docking order modes until they are built: the ship keeps its rates and
// speed, and its order goes on.
#include "simulation/docking_orders.h"

void RunFlyBeforeContainer(SpaceObject*, int32_t) {}
void RunFlyIntoContainer(SpaceObject*, int32_t) {}
void RunClearFromHangar(SpaceObject*, int32_t) {}
