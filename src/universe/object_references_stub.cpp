// The least form of reference release until object destruction is built: nothing else holds
// references to objects yet, so there is nothing to drop. Called by the object accessors and the
// registry when an object is marked removed; never frees or unlinks the object.
#include "universe/object_references.h"

void ReleaseObjectReferences(SpaceObject*) {}
