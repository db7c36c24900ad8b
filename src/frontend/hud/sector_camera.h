// The cockpit's sector camera, placed each frame by the HUD frame step: at the eye point of the
// carrying ship's cockpit in the in-cockpit view, else following the reference object, pulled in
// front of obstacles where the sector asks for it; the sector's objects measured in its frame; and
// its velocity and fog. Every step expects the cockpit to have a sector camera.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CockpitRecord;
struct SpaceObject;

// Where the in-cockpit eye sits in the carrying ship, for cockpit position `cockpitNumber`.
struct CockpitEye {
  FixedVector point;   // in the ship instance's frame
  FixedMatrix node;    // the orientation of the component node that holds the cockpit
  int32_t interiorCut; // -1: the ship type's own cockpit cut
};
// False when the object has no such cockpit position, or its node's body has no eye point.
bool FindCockpitEye(const SpaceObject* carrier, int32_t cockpitNumber, CockpitEye* eye);

// Places the sector camera; `sway` is the shake and sway rotation of this frame. Frees the
// interior slots when the interior cut changes.
void PlaceSectorCamera(CockpitRecord* cockpit, const FixedMatrix* sway);
// Every object of the cockpit's sector gets its position in the sector camera's frame (the
// instance's camera-space words).
void MeasureSectorInCameraFrame(CockpitRecord* cockpit);
// The sector camera's velocity from its move since the engine last stamped it, and its fog from
// the sector's background type.
void UpdateSectorCameraMotion(CockpitRecord* cockpit);

// Bit of a sector's second flag word: the camera offset stops in front of class-22 objects.
constexpr uint32_t kSectorCameraStopsAtObstacles = 0x8000;
