// The least form of the universe simulation that the application core needs until the
// simulation is built: a frame step with nothing to move. Called by the game loop.
#include "simulation/simulation.h"

void StepUniverse() {}
