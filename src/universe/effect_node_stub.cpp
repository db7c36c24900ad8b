// The least form of the beam alignment until the object effects that span two objects are built:
// the beam stays where it was made. Called by the tractor beams; never moves an object.
#include "universe/object_placement.h"

void ObjAlignEffectNode(SpaceObject*) {}
