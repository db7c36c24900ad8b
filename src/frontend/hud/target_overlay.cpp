// The target overlay's icon list: which contacts get an icon record (categories and their
// limits, the flash timer), and the walk of the tracking through the icons (the prev/next keys of
// the cockpit natives). Called by the overlay step and the natives; changes only the list, the
// objects' flash timers and the cockpit's tracking, never the drawing.
#include "frontend/hud/target_overlay.h"

#include <initializer_list>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/target_marks.h"
#include "script/script_calls.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
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

namespace {

constexpr uint32_t kFlag2Neutral24 = 1u << 24;
constexpr uint32_t kFlag2Flash = 1u << 19;

bool SubtypeIn(int16_t subtype, std::initializer_list<int16_t> set) {
  for (int16_t s : set)
    if (s == subtype) return true;
  return false;
}

// Grows the list's array of icon pointers so that `index` exists, making new icons as needed.
OverlayIcon* IconAt(OverlayIconList* list, int32_t index) {
  const size_t have = list->begin ? static_cast<size_t>(list->end - list->begin) : 0;
  if (static_cast<size_t>(index) < have) return list->begin[index];
  const size_t room = list->begin ? static_cast<size_t>(list->capacity - list->begin) : 0;
  if (have == room) {
    const size_t grown = room ? room * 2 : 16;
    auto* array = static_cast<OverlayIcon**>(
        MemRealloc(list->begin, room * sizeof(OverlayIcon*), grown * sizeof(OverlayIcon*), 0));
    if (!array) return nullptr;
    list->begin = array;
    list->end = array + have;
    list->capacity = array + grown;
  }
  OverlayIcon* icon = OverlayIconCreate();
  if (!icon) return nullptr;
  *list->end++ = icon;
  return icon;
}

}  // namespace

int32_t OverlayIconCategory(const SpaceObject* object, const SpaceObject* ship) {
  if (!object) return kOverlayNoIcon;
  switch (object->objClass) {
    case kClassShip: {
      if (SubtypeIn(object->subtype, {271, 319, 320, 321})) return 7;
      if (SubtypeIn(object->subtype, {280, 359})) return 8;
      const bool capital = ShipIsCapitalClass(object);
      if (object->owner == kOwnRace) return capital ? 4 : 1;
      if (ObjIsHostile(object, ship)) return capital ? 5 : 2;
      if (object->flags2 & kFlag2Neutral24) return 11;
      return capital ? 3 : 0;
    }
    case kClassDock:
      return 6;
    case kClassFactory: {
      const auto* ext = static_cast<const FactoryExt*>(object->ext);
      return (ext && ext->linkedFactory) ? kOverlayNoIcon : 6;
    }
    case kClassMissile: {
      if (!(object->flags & kObjFlagArmed)) return 9;
      const auto* ext = static_cast<const MissileExt*>(object->ext);
      return (ext && ext->target == ship) ? 10 : kOverlayNoIcon;
    }
    case kClassLaser:
    case kClassShield:
      return 9;
    case kClassGate:
      return 12;
    case kClassAsteroid:
      return 13;
    default:
      if (object->objClass >= kClassWareFirst && object->objClass <= kClassWareLast) return 9;
      return 14;
  }
}

int32_t RebuildOverlayIconList(OverlayIconList* list, const OverlayContact* contacts, int32_t count, int32_t frameMs) {
  if (!list || !list->cockpit) return 0;
  const CockpitRecord* cockpit = list->cockpit;
  const SpaceObject* ship = cockpit->cockpitRefObject;
  int32_t shown[kOverlayCategoryCount] = {};
  int32_t used = 0;
  for (int32_t c = 0; contacts && c < count; ++c) {
    SpaceObject* object = contacts[c].object;
    if (!object || object == ship) continue;
    const int32_t category = OverlayIconCategory(object, ship);
    if (category == kOverlayNoIcon) continue;
    const int32_t limit = OverlayCategoryLimit(category);
    const bool kept = object == cockpit->trackObject || object == cockpit->currentSectorObject;
    if (shown[category] >= limit && !kept) continue;
    ++shown[category];
    OverlayIcon* icon = IconAt(list, used);
    if (!icon) break;
    ++used;
    icon->object = object;
    icon->range = contacts[c].range;
    icon->visible = shown[category] > limit ? 0 : 1;
    object->flashTimer = FlashTimerStep(object->flashTimer, (object->flags2 & kFlag2Flash) != 0, frameMs);
  }
  for (int32_t i = used; i < list->used; ++i) HideIconSlots(list->begin[i]);
  list->used = used;
  return used;
}

namespace {

constexpr int32_t kScriptEventObject = 150;
constexpr int32_t kResultKindInt = 1;
constexpr int32_t kTrackDelayMs = 1000;

void RaiseTargetLost(uint32_t shipId) {
  CallScriptFunction(0, 0, kScriptEventObject, "NotifyTargetLost", kResultKindInt, 1, static_cast<int32_t>(shipId));
}

int32_t SinceTrackStart(const CockpitRecord* cockpit) {
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  return static_cast<int32_t>(now - cockpit->trackStart);
}

}  // namespace

void (*gNotifyTargetLost)(uint32_t shipId) = RaiseTargetLost;

bool TargetOverlayRuns(const TargetOverlay* overlay) {
  if (!overlay || !overlay->enabled || !overlay->cockpit) return false;
  const SpaceObject* ship = overlay->cockpit->cockpitRefObject;
  return ship && ship->objClass == kClassShip && ship->parent && ship->parent->objClass == kClassSector;
}

TrackedTarget RunTargetTracking(CockpitRecord* cockpit) {
  TrackedTarget out{};
  if (!cockpit) return out;
  const SpaceObject* ship = cockpit->cockpitRefObject;
  // A lost target drops to the cursor mode, which never loses one: two rounds at most.
  for (int round = 0; round < 2; ++round) {
    const uint16_t mode = cockpit->trackMode;
    SpaceObject* target = cockpit->trackObject;
    if (mode == kTrackCursor || mode == kTrackEnemy) {
      out = {nullptr, mode == kTrackEnemy, false, false};
      const int32_t elapsed = SinceTrackStart(cockpit);
      if (elapsed < 0 || elapsed >= kTrackDelayMs) {
        SpaceObject* found = mode == kTrackEnemy ? INS_CockpitGetEnemyAim(cockpit)
                                                 : INS_CockpitGetCursorAim(cockpit, -1, -1, true);
        if (found) CockpitSetTracking(cockpit, kTrackOverlayLock, found);
      }
      return out;
    }
    if (mode != kTrackOverlayLock && mode != kTrackObject) return out;
    if (!target) {
      CockpitSetTracking(cockpit, kTrackCursor, nullptr);
      if (gNotifyTargetLost) gNotifyTargetLost(ship ? ship->id : 0);
      continue;
    }
    out = {target, ObjIsHostile(target, ship), target->owner == kOwnRace, target == cockpit->currentSectorObject};
    if (mode == kTrackOverlayLock && SinceTrackStart(cockpit) >= kTrackDelayMs)
      CockpitSetTracking(cockpit, kTrackObject, target);
    return out;
  }
  return out;
}
