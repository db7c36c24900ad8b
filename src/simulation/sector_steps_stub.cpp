// The least form of the object update and flight passes the frame step needs until they are
// built: each leaves its sector untouched. Called only through gSectorSteps.
#include "simulation/universe_steps.h"

void UpdateSectorObjects(SectorObject*) {}
void UpdateSectorFlight(SectorObject*) {}
