// The target overlay's cores that the cockpit and overlay natives and the cursor aim call:
// switching the 40 target-body marks, the object and the menu position of the overlay icon under a
// screen point, and the walk of the tracking through the icons. Least form until the overlay is
// built (target_overlay_stub.cpp).
#pragma once

#include <cstdint>

struct CockpitRecord;
struct OverlayIconList;
struct SpaceObject;
struct TargetOverlay;

// Off hides the 40 marks and clears the overlay's icons.
void EnableTargetBodies(TargetOverlay* overlay, int32_t on);
// Null when no icon lies under (x, y), pixels.
SpaceObject* INS_CockpitGetObjectByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y);
// The menu position of the overlay icon under (x, y): five integers; false when no icon lies there.
bool INS_CockpitGetMenuPosByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y,
                                                 int32_t menuPos[5]);
// Moves the tracking to the previous (direction below 1) or next icon; filter 1 takes hostile
// objects only, 2 those of race 10, anything else every object.
void TrackOverlayIcon(OverlayIconList* list, int32_t direction, int32_t filter);
// The per-frame step of one cockpit's target overlay: tracking, marks and icons.
void UpdateTargetOverlay(TargetOverlay* overlay);
