// The least form of the universe model that the application core needs until the universe is
// built: an empty object list and effects with nothing in them. Called by the game main, the
// game loop and the shutdown; never creates an object.
#include "universe/universe.h"

#include "scene/instance_tree.h"
#include "universe/object_lifecycle.h"

UniverseBlock* gUniverse = nullptr;

void ContainerFreeRemovedObjects(SpaceObject*) {}

