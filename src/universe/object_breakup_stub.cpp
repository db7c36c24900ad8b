// The least form of the break-up until it is built: nothing breaks, and the effect groups go on.
#include "universe/object_breakup.h"

int32_t BreakUpObject(SpaceObject*) { return 0; }
