// The least form of the model builder until it is built: objects keep their bare instance and
// their component cut, also after a change of subtype. Called by object initialisation and the
// subtype command; never touches the instance tree.
#include "universe/object_models.h"

void RebuildObjectModelInstances(SpaceObject*) {}
void SetObjectSubType(SpaceObject*) {}
