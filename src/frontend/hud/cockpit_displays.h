// The cockpit's read-outs that follow this frame's scanner list and tracking: the radar, the
// status texture (texture 15) with the distance to the tracked target, and the laser alerts
// ("NotifyIntoLaserRange", "NotifyOutofLaserRange", "NotifyLaserLow", raised through the HUD's
// event output). The HUD frame step calls UpdateCockpitDisplays once per cockpit after the target
// overlay.
#pragma once

#include <cstdint>

struct CockpitRecord;
struct SpaceObject;

constexpr int32_t kStatusTexture = 15;

void UpdateCockpitDisplays(CockpitRecord* cockpit);
// Writes the four rows of texture 15 and follows the tracked target into and out of gun range.
// Nothing while the cockpit's scene is disabled or the texture is missing.
void DrawStatusTexture(CockpitRecord* cockpit, SpaceObject* ship);

// Where the read-outs ask whether a target is in range of a turret; tests answer it. Null
// restores the simulation's range test.
struct CockpitDisplayOutputs {
  int32_t (*inFiringRange)(SpaceObject* ship, SpaceObject* target, int32_t turret);
};
extern CockpitDisplayOutputs gCockpitDisplayOutputs;
