// The least form of the component node search: no node is found, so callers take the ship's own
// frame. Never allocates.
#include "universe/component_nodes.h"

InstanceRecord* FindShipComponentNode(const SpaceObject*, int32_t) { return nullptr; }
