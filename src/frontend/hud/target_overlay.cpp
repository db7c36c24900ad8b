// The walk of the tracking through the target overlay's icons (the prev/next keys of the cockpit
// natives). Reads the icon list the overlay built this frame; changes only the cockpit's tracking.
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/hud/target_overlay.h"
#include "universe/object_queries.h"
#include "universe/universe.h"

namespace {

constexpr uint16_t kOwnRace = 10;

bool PassesFilter(const OverlayIcon* icon, int32_t filter, const SpaceObject* ship) {
  if (!icon->visible || !icon->object) return false;
  if (filter == 1) return ObjIsHostile(icon->object, ship);
  if (filter == 2) return icon->object->owner == kOwnRace;
  return true;
}

}  // namespace

void TrackOverlayIcon(OverlayIconList* list, int32_t direction, int32_t filter) {
  if (!list || !list->cockpit || !list->begin || list->used <= 0) return;
  CockpitRecord* cockpit = list->cockpit;
  const SpaceObject* ship = cockpit->cockpitRefObject;
  if (!ship) return;
  const int32_t count = list->used;
  OverlayIcon** icons = list->begin;

  SpaceObject* chosen = nullptr;
  int32_t start = -1;
  if (cockpit->trackObject) {
    for (int32_t i = 0; i < count; ++i) {
      if (icons[i] && icons[i]->object == cockpit->trackObject) {
        start = i;
        break;
      }
    }
  }
  if (start >= 0) {
    const int32_t step = direction < 1 ? -1 : 1;
    for (int32_t i = (start + step + count) % count; i != start; i = (i + step + count) % count) {
      if (icons[i] && PassesFilter(icons[i], filter, ship)) {
        chosen = icons[i]->object;
        break;
      }
    }
  }
  if (!chosen) {
    const OverlayIcon* nearest = nullptr;
    for (int32_t i = 0; i < count; ++i) {
      const OverlayIcon* icon = icons[i];
      if (!icon || !PassesFilter(icon, filter, ship)) continue;
      if (!nearest || icon->range < nearest->range) nearest = icon;
    }
    if (nearest) chosen = nearest->object;
  }
  if (chosen && chosen != cockpit->trackObject) CockpitSetTracking(cockpit, kTrackObject, chosen);
}
