// The least form of the viewer distance until the view ranges are built: no object is seen, so
// no object asks for its detailed form. Called by the detail switching; reads nothing.
#include "universe/object_view.h"

int32_t ObjViewDistance(const SpaceObject*, int32_t) { return 0; }
