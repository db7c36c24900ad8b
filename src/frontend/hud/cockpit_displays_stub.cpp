// The least form of the cockpit's read-outs: nothing is shown. Called by the HUD frame step.
#include "frontend/hud/cockpit_displays.h"

void UpdateCockpitDisplays(CockpitRecord*) {}
