// The least form of the model builder until it is built: objects keep their bare instance and
// their component cut. Called by object initialisation; never touches the instance tree.
#include "universe/object_models.h"

void RebuildObjectModelInstances(SpaceObject*) {}
