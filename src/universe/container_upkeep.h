// The per-frame upkeep of containers that the universe simulation owns: the docking places of
// docks, factories and ships, and the guide lights of gates. The universe's per-frame object pass
// calls them once per container and frame; they never free an object.
#pragma once

struct SpaceObject;

void UpdateDockSlots(SpaceObject* container);
void UpdateGuideLights(SpaceObject* gate);
