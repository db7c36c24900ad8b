// The docking order modes: flying before a container, into it, and out of its hangar. The
// order update calls them once per frame for a ship in one of those modes.
#pragma once

#include <cstdint>

struct SpaceObject;

void RunFlyBeforeContainer(SpaceObject* ship, int32_t step);
void RunFlyIntoContainer(SpaceObject* ship, int32_t step);
void RunClearFromHangar(SpaceObject* ship, int32_t step);
