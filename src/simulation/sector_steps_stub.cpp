// The least form of the flight pass the frame step needs until it is built: it leaves its
// sector untouched. Called only through gSectorSteps.
#include "simulation/universe_steps.h"

void UpdateSectorFlight(SectorObject*) {}
