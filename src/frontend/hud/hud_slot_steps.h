// Three of the cockpit's per-frame slot steps: the sector grid, the four proximity marks around
// the view when the carrying ship comes close to something, and the tooltip scene's camera and
// visibility. Called by the HUD frame step in that order, after the scanner and the overlay.
#pragma once

#include <cstdint>

struct CockpitRecord;
struct SpaceObject;

// The grid's size, and the proximity marks' body, reach and placement.
constexpr int32_t kGridSize = 10000000;
constexpr int32_t kProximityBody = 10;
constexpr int32_t kProximityReach = 520000;
constexpr int32_t kProximityMarkDepth = 1000;

void UpdateGridSlot(CockpitRecord* cockpit);
// The near object the marks point at (null for none): the one of the ship's near-object list with
// the smallest max-norm distance less its radius, below the reach.
SpaceObject* NearestProximityObject(const SpaceObject* ship);
void UpdateProximityMarks(CockpitRecord* cockpit);
void UpdateTooltipStep(CockpitRecord* cockpit);
