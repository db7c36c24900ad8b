// The least form of the target overlay's cores: the marks are switched, and no icon is ever
// under a point, since no icon is placed yet. Called by the cockpit and overlay natives
// and the cursor aim.
#include "frontend/hud/target_overlay.h"

#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"

void EnableTargetBodies(TargetOverlay* overlay, int32_t on) {
  overlay->enabled = static_cast<uint32_t>(on);
  if (on) return;
  for (CockpitSlot& slot : overlay->slots) HideSlot(&slot);
  ClearOverlayIcons(overlay->icons);
}

SpaceObject* INS_CockpitGetObjectByTargetOverlayIconPos(const CockpitRecord*, int32_t, int32_t) { return nullptr; }

bool INS_CockpitGetMenuPosByTargetOverlayIconPos(const CockpitRecord*, int32_t, int32_t, int32_t*) { return false; }

void UpdateTargetOverlay(TargetOverlay*) {}
