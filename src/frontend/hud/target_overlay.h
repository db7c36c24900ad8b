// The target overlay's cores that the cockpit natives and the cursor aim call: switching the 40
// target-body marks, and the object whose overlay icon lies under a screen point. Least form until
// the overlay is built (target_overlay_stub.cpp).
#pragma once

#include <cstdint>

struct CockpitRecord;
struct SpaceObject;
struct TargetOverlay;

// Off hides the 40 marks and clears the overlay's icons.
void EnableTargetBodies(TargetOverlay* overlay, int32_t on);
// Null when no icon lies under (x, y), pixels.
SpaceObject* INS_CockpitGetObjectByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y);
