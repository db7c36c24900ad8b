// The cockpit's read-outs that follow this frame's scanner list and tracking (the laser range
// read-out and the laser alerts). The HUD frame step calls UpdateCockpitDisplays once per cockpit
// after the target overlay. Least form until they are built (cockpit_displays_stub.cpp).
#pragma once

struct CockpitRecord;

void UpdateCockpitDisplays(CockpitRecord* cockpit);
