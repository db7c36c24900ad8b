// The scene nodes of a ship's components: the instance a component's (node body, node path) pair
// names in the ship's node tree. Least form until the node searches are built
// (component_nodes_stub.cpp). Called by the cockpit's cursor aim.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct SpaceObject;

// Null when the ship has no such component or node.
InstanceRecord* FindShipComponentNode(const SpaceObject* ship, int32_t component);
