// The target overlay's icons on screen: the per-frame rebuild of the cockpit's icon list in its
// "Cockpit Target Overlay Scene" (the overlay camera kept in line with the cockpit's main camera),
// each icon placed as a frame around an object in view or as an arrow on the view's border, sorted
// by border angle, faded, flashed and given its bars; and the picking of the icon under a screen
// point. Called by the target overlay step and the overlay natives. It shows and hides the icons'
// slots only; it never frees an icon or an object.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/icon_types.h"
#include "frontend/hud/object_symbols.h"
#include "frontend/hud/target_marks.h"
#include "frontend/hud/target_overlay.h"
#include "render/render.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int kGuiMasterBody = 0;  // GuiMaster::menuBodies
constexpr int kQuillmarshBody = 1;
constexpr uint32_t kOverlayFlags = 0x3;
constexpr uint32_t kSectorNoOverlay = 0x8000;  // sector flags2
constexpr int32_t kNearDepth = 100;
constexpr int32_t kBorderInset = 21;
constexpr double kBorderShare = 0.9;
constexpr int32_t kSidebarGap = 12;
constexpr int32_t kLayerStep = 120;
constexpr uint16_t kOwnRace = 10;
constexpr uint32_t kFlag2Bit24 = 1u << 24;
constexpr uint32_t kObjFlagBit30 = 1u << 30;
constexpr int32_t kFlashPeriod = 300;
constexpr int32_t kFlashOnAfter = 150;
constexpr int32_t kMissileHullMax = 100;
constexpr int32_t kPanelIconSet = 1;  // the icon table of the mission marks' body
constexpr int32_t kMissionIcon = 84;
constexpr int32_t kMissionIconSmall = 89;
constexpr int32_t kMissionWidthDefault = 10;
constexpr int32_t kMissingIconSize = 20;

// edgeSlots and frameSlots roles.
constexpr int kEdgeArrow = 0;
constexpr int kEdgeBars = 2;
constexpr int kFrameType = 4;
constexpr int kFrameBars = 5;
constexpr int kFrameMission = 7;

int32_t MenuBody(int which) { return gGuiMaster ? gGuiMaster->menuBodies[which] : 0; }

struct IconSize {
  int32_t w, h;
  bool found;
};
IconSize IconSizeOf(int32_t set, int32_t id) {
  const IconRecord* icon = B3D_GetIconData(set, id);
  if (!icon) return {kMissingIconSize, kMissingIconSize, false};
  return {icon->width, icon->height, true};
}

bool IsStation(const SpaceObject* o) { return o->objClass == kClassDock || o->objClass == kClassFactory; }

// A shown slot's screen point, depth and fade.
void PositionSlot(CockpitSlot* slot, int32_t x, int32_t y, int32_t depth, int32_t fade) {
  if (!slot->visible || !slot->instance) return;
  B3D_InstSetPos(slot->instance, x, y, depth);
  InstOrFlags(slot->instance, 0, kSlotScreenMark);
  slot->instance->fadeValue = fade;
}

// Shows an icon of the gui_master body at a screen point and depth with the fade, or hides the slot
// for a negative icon.
void PlaceIcon(SceneRecord* scene, CockpitSlot* slot, int32_t body, int32_t icon, int32_t x, int32_t y,
               int32_t depth, int32_t fade) {
  if (icon < 0) {
    HideSlot(slot);
    return;
  }
  AttachSlotIcon(scene, slot, body, icon);
  PositionSlot(slot, x, y, depth, fade);
}

// A bar: the slot's texture window moved to the cell of its level.
void PlaceBar(SceneRecord* scene, CockpitSlot* slot, int32_t steps, int32_t value, int32_t max, int32_t bar,
              int32_t x, int32_t y, int32_t depth, int32_t fade) {
  AttachSlot(scene, slot, MenuBody(kGuiMasterBody));
  if (!slot->instance) return;
  const BarCellPos cell = BarCell(steps, value, max, 4 * bar);
  InstAnimTextureStep(slot->instance, cell.x, cell.y, steps);
  PositionSlot(slot, x, y, depth, fade);
}

// Shield (bar 0) and hull (bar 1) of an object as value and maximum.
void BarValues(const SpaceObject* o, int bar, int32_t* value, int32_t* max) {
  if (bar == 0) {
    *value = ObjGetShield(o);
    *max = ObjGetMaxShield(o);
    return;
  }
  *value = o->hull;
  if (o->flags & kObjFlagBit30) *max = 0;
  else if (o->objClass == kClassMissile && !(o->flags & kObjFlagArmed)) *max = kMissileHullMax;
  else *max = GetTypeMaxHull(o->subtype, o->objClass);
}

// The aim point of an object in view space: its scene instance's place as last rendered, sliding
// from its second instance while it is nearer than three radii.
FixedVector AimPoint(const SpaceObject* o, int32_t range) {
  const InstanceRecord* first = o->instance;
  if (!first) return FixedVector{0, 0, 0, 0};
  FixedVector p = first->cameraPos;
  const InstanceRecord* second = o->shownInstance;
  const int64_t r = o->radius;
  if (second && second != first && range < 3 * r) {
    const int32_t r1 = static_cast<int32_t>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
    const int32_t r3 = static_cast<int32_t>(std::clamp<int64_t>(3 * r, INT32_MIN, INT32_MAX));
    p.x = LinearInterpolate(range, r1, r3, second->cameraPos.x, first->cameraPos.x);
    p.y = LinearInterpolate(range, r1, r3, second->cameraPos.y, first->cameraPos.y);
    p.z = LinearInterpolate(range, r1, r3, second->cameraPos.z, first->cameraPos.z);
  }
  return p;
}

// First pass: the projected point, the border point and its angle.
void PlaceOnBorder(OverlayIcon* icon, const OverlayView& view) {
  const FixedVector p = AimPoint(icon->object, icon->range);
  icon->aimDepth = p.z;
  const BorderPoint d = OverlayDirection(p.x, p.y);
  icon->screenX = icon->screenY = 100.0f;
  if (p.z > kNearDepth) {
    icon->screenX = static_cast<float>(p.x * view.v / p.z);
    icon->screenY = static_cast<float>(-(p.y * view.v / p.z));
  }
  int32_t bw = view.hw - kBorderInset;
  const int32_t bh = view.hh - kBorderInset;
  double ax = view.ax;
  const InstanceRecord* sidebar = gGuiMaster ? gGuiMaster->sidebarInstance : nullptr;
  const bool outside =
      std::fabs(icon->screenX) > kBorderShare * view.ax || std::fabs(icon->screenY) > kBorderShare * view.ay;
  if (d.x < 0 && sidebar && outside) {
    const int32_t shrink = std::max(0, sidebar->position.x + kSidebarGap);
    const int32_t narrower = bw - shrink;
    if (bw != 0) ax = ax * narrower / bw;
    bw = narrower;
  }
  const BorderPoint e = OverlayBorderPoint(d.x, d.y, ax, view.ay, bw, bh);
  icon->edgeX = e.x;
  icon->edgeY = e.y;
  icon->edgeAngle = static_cast<float>(std::atan2(static_cast<double>(e.y), static_cast<double>(e.x)));
}

struct IconStyle {
  int32_t s, k;
  int32_t layer, fade;
  int32_t jx, jy;
  int32_t typeIcon;
  bool tracked, station, bars;
};

IconStyle StyleOf(const OverlayIcon* icon, int index, const CockpitRecord* c) {
  const SpaceObject* o = icon->object;
  const SpaceObject* ship = c->cockpitRefObject;
  IconStyle st{};
  const bool hostile = ObjIsHostile(o, ship);
  const bool own = o->owner == kOwnRace;
  const bool current = o == c->currentSectorObject;
  st.tracked = o == c->trackObject;
  st.station = IsStation(o);
  uint32_t flags = 0;
  if (o->objClass == kClassMissile && (o->flags & kObjFlagArmed)) flags |= kIconMissileSpecial;
  if (hostile) flags |= kIconPickFlag2;
  if (own) flags |= kIconPickFlag8;
  if (o->flags2 & kFlag2Bit24) flags |= kIconShipSpecial;
  st.typeIcon = gGuiMaster ? GetObjectIconId(gGuiMaster->iconTypes, o->objClass, o->subtype, flags) : -1;
  st.layer = st.tracked ? 0 : (index + 1) * kLayerStep;
  st.fade = (st.tracked || current || st.station) ? 0 : OverlayFade(icon->range);
  bool flashOn = false;
  if (o->flashTimer > 0) {
    st.jx = 3 * GameRand() / 32768 - 1;
    st.jy = 3 * GameRand() / 32768 - 1;
    flashOn = o->flashTimer % kFlashPeriod > kFlashOnAfter;
  }
  st.s = hostile ? 1 : own ? 2 : 0;
  if (flashOn) st.s = hostile ? 0 : 1;
  if (current) st.s = 3;
  st.k = (st.tracked ? 1 : 0) + (st.station ? 2 : 0);
  st.bars = st.tracked || current || (o->objClass == kClassShip && (hostile || own));
  return st;
}

void DrawBorderForm(OverlayIconList* list, OverlayIcon* icon, const IconStyle& st) {
  SceneRecord* scene = list->scene;
  const int32_t arrow = OverlayEdgeIcon(st.s, st.k);
  ShowIconPair(list, &icon->small[kEdgeArrow], arrow, st.typeIcon);
  PositionSlot(&icon->small[0], icon->edgeX + st.jx, icon->edgeY + st.jy, st.layer + 100, st.fade);
  PositionSlot(&icon->small[1], icon->edgeX, icon->edgeY, st.layer + 90, st.fade);
  const IconSize size = IconSizeOf(kGuiIconSet, arrow);
  for (int bar = 0; bar < 2; ++bar) {
    CockpitSlot* slot = &icon->small[kEdgeBars + bar];
    if (!st.bars || !size.found) {
      HideSlot(slot);
      continue;
    }
    int32_t value, max;
    BarValues(icon->object, bar, &value, &max);
    const int32_t steps = size.w - (st.tracked ? 10 : 7);
    PlaceBar(scene, slot, steps, value, max, bar, icon->edgeX + st.jx, icon->edgeY + st.jy - 1 - size.h / 2 + 2 * bar,
             st.layer + 70, st.fade);
  }
  for (CockpitSlot& slot : icon->large) HideSlot(&slot);
  icon->pickX = icon->edgeX;
  icon->pickY = icon->edgeY;
  icon->pickHalfW = std::max(1, size.w / 2);
  icon->pickHalfH = std::max(1, size.h / 2);
}

void DrawFrameForm(OverlayIconList* list, OverlayIcon* icon, const IconStyle& st, const OverlayView& view,
                   int32_t depth) {
  SceneRecord* scene = list->scene;
  const int32_t body = MenuBody(kGuiMasterBody);
  const CockpitRecord* c = list->cockpit;
  int64_t raw = 0;
  if (depth != 0) {
    const int64_t sized = static_cast<int64_t>(std::trunc(icon->object->radius * view.v));
    raw = int64_t{view.hw} * sized / depth;
  }
  const int32_t d = OverlayFrameHalfSize(static_cast<int32_t>(std::clamp<int64_t>(raw, INT32_MIN, INT32_MAX)));
  const int32_t px = static_cast<int32_t>(std::trunc(icon->screenX * view.hw / view.ax));
  const int32_t py = static_cast<int32_t>(std::trunc(icon->screenY * view.hh / view.ay));
  const int32_t cornerDepth = st.layer + (st.tracked ? 30 : 60);
  for (int j = 0; j < 4; ++j) {
    const FrameCorner corner = OverlayFrameCorner(j, st.s, st.k);
    PlaceIcon(scene, &icon->large[j], body, corner.icon, px + corner.dx * d + st.jx, py + corner.dy * d + st.jy,
              cornerDepth, st.fade);
  }
  const int32_t labelDepth = st.layer + (st.tracked ? 20 : 50);
  const IconSize type = IconSizeOf(kGuiIconSet, st.typeIcon);
  const int32_t typeX = px - d;
  const int32_t typeY = py - d - type.h / 2 - (st.bars ? 9 : 3);
  PlaceIcon(scene, &icon->large[kFrameType], body, st.station ? -1 : st.typeIcon, typeX, typeY, labelDepth, st.fade);

  const int32_t offer = MissionOfferValue(c, icon->object);
  CockpitSlot* mission = &icon->large[kFrameMission];
  if (offer < 0) {
    HideSlot(mission);
  } else {
    int32_t markIcon = kMissionIcon + offer;
    const IconSize panel = IconSizeOf(kPanelIconSet, markIcon);
    const int32_t width = panel.found ? panel.w : kMissionWidthDefault;
    int32_t markY = typeY;
    if (d < width) {
      markIcon = kMissionIconSmall + offer;
      markY -= 3;
    }
    // Beside the type icon, to its right.
    const int32_t markX = typeX + type.w / 2 + 2 + width / 2;
    AttachSlot(scene, mission, MenuBody(kQuillmarshBody));
    if (mission->instance) InstSetIconTexture(mission->instance, kPanelIconSet, markIcon);
    PositionSlot(mission, markX, markY, labelDepth, st.fade);
  }

  for (int bar = 0; bar < 2; ++bar) {
    CockpitSlot* slot = &icon->large[kFrameBars + bar];
    if (!st.bars) {
      HideSlot(slot);
      continue;
    }
    int32_t value, max;
    BarValues(icon->object, bar, &value, &max);
    PlaceBar(scene, slot, 2 * d + 7, value, max, bar, px + st.jx, py + st.jy - d - 9 + 3 * bar,
             st.layer + (st.tracked ? 10 : 40), st.fade);
  }
  for (CockpitSlot& slot : icon->small) HideSlot(&slot);
  icon->pickX = px;
  icon->pickY = py;
  icon->pickHalfW = icon->pickHalfH = d;
}

int CompareIconsForSort(const void* a, const void* b) {
  return CompareIconAngle(*static_cast<OverlayIcon* const*>(a), *static_cast<OverlayIcon* const*>(b));
}

// Keeps the overlay camera and scene in line with the cockpit's main camera and scene.
void FollowMainCamera(OverlayIconList* list) {
  const CockpitRecord* c = list->cockpit;
  CameraRecord* main = c->camera;
  CameraRecord* overlay = list->camera;
  if (!c->scene || !main || !overlay || !list->scene) return;
  overlay->aspectWidth = main->aspectWidth;
  overlay->aspectHeight = main->aspectHeight;
  if (overlay->viewTop != main->viewTop || overlay->viewBottom != main->viewBottom ||
      overlay->viewLeft != main->viewLeft || overlay->viewRight != main->viewRight) {
    CameraSetViewport(overlay, main->viewTop, main->viewRight, main->viewLeft, main->viewBottom);
    B3D_CameraDeleteFromScene(list->scene, overlay);
    B3D_CameraAddToScene(overlay, list->scene);
  }
  overlay->fieldOfView = main->fieldOfView;
  const bool cockpitOn = (c->scene->flags & kSceneEnabled) != 0;
  const bool overlayOn = (list->scene->flags & kSceneEnabled) != 0;
  if (cockpitOn && !overlayOn) B3D_SceneEnable(list->scene);
  else if (!cockpitOn && overlayOn) B3D_SceneDisable(list->scene);
}

void HideUnplaced(OverlayIconList* list) {
  for (int32_t i = 0; i < list->used; ++i) {
    HideIconSlots(list->begin[i]);
    list->begin[i]->pickHalfW = list->begin[i]->pickHalfH = 0;
  }
}

}  // namespace

bool OverlayViewOf(const CockpitRecord* cockpit, OverlayView* view) {
  *view = OverlayView{};
  const CameraRecord* camera = cockpit ? cockpit->camera : nullptr;
  int32_t w = camera ? camera->aspectWidth : 0;
  int32_t h = camera ? camera->aspectHeight : 0;
  if (w <= 0 || h <= 0) {
    w = gDisplay ? gDisplay->horizontalExtent : 0;
    h = gDisplay ? gDisplay->verticalExtent : 0;
  }
  view->ax = w / 65536.0;
  view->ay = h / 65536.0;
  const int64_t sx = gSystem ? gSystem->screenWidth : 0;
  const int64_t sy = gSystem ? gSystem->screenHeight : 0;
  const int64_t across = camera ? int64_t{camera->viewRight} - camera->viewLeft : 0x10000;
  const int64_t down = camera ? int64_t{camera->viewBottom} - camera->viewTop : 0x10000;
  view->hw = static_cast<int32_t>(((sx * across + 0x8000) >> 16) / 2);
  view->hh = static_cast<int32_t>(((sy * down + 0x8000) >> 16) / 2);
  const uint32_t fov = cockpit ? cockpit->fieldOfView : 0;
  // A right angle gives exactly 1; a field of view of nothing (or a full turn) keeps 1 too.
  if (fov == 16384) view->v = 1.0;
  else {
    const double t = std::tan(fov * M_PI / 65536.0);
    view->v = (t > 0.0 && std::isfinite(t)) ? 1.0 / t : 1.0;
  }
  return view->ax > 0.0 && view->ay > 0.0 && view->hw > 0 && view->hh > 0;
}

int32_t MissionOfferValue(const CockpitRecord* cockpit, const SpaceObject* object) {
  int32_t count = 0;
  const MissionOffer* offers = cockpit ? MissionOffers(cockpit, &count) : nullptr;
  for (int32_t i = 0; offers && i < count; ++i)
    if (offers[i].object == object) return offers[i].value;
  return -1;
}

void ShowIconPair(OverlayIconList* list, CockpitSlot* slots, int32_t icon0, int32_t icon1) {
  const int32_t body = MenuBody(kGuiMasterBody);
  const int32_t icons[2] = {icon0, icon1};
  for (int i = 0; i < 2; ++i) {
    if (icons[i] < 0) HideSlot(&slots[i]);
    else AttachSlotIcon(list->scene, &slots[i], body, icons[i]);
  }
}

void BuildOverlayIcons(OverlayIconList* list) {
  if (!list || !list->cockpit || !list->scene || !list->camera) return;
  CockpitRecord* c = list->cockpit;
  FollowMainCamera(list);
  OverlayView view;
  const bool placeable = OverlayViewOf(c, &view);
  const SpaceObject* ship = c->cockpitRefObject;
  if (!ship || !ship->parent || ship->parent->objClass != kClassSector) {
    ClearOverlayIcons(list);
    return;
  }

  int32_t count = 0;
  const ScannerEntry* entries = ScannerEntries(c, &count);
  static std::vector<OverlayContact> contacts;
  contacts.clear();
  for (int32_t i = 0; entries && i < count; ++i) contacts.push_back({entries[i].object, entries[i].distance});
  RebuildOverlayIconList(list, contacts.data(), static_cast<int32_t>(contacts.size()),
                         gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0);
  // With no extent to map onto, the list stays for the prev/next walk but nothing is placed.
  if (!placeable) {
    HideUnplaced(list);
    return;
  }

  for (int32_t i = 0; i < list->used; ++i) PlaceOnBorder(list->begin[i], view);
  if (list->used > 0) std::qsort(list->begin, static_cast<size_t>(list->used), sizeof(OverlayIcon*), CompareIconsForSort);

  for (int32_t i = 0; i < list->used; ++i) {
    OverlayIcon* icon = list->begin[i];
    const int32_t depth = icon->aimDepth;
    const IconStyle st = StyleOf(icon, i, c);
    const bool border = depth <= kNearDepth || std::fabs(icon->screenX) > kBorderShare * view.ax ||
                        std::fabs(icon->screenY) > kBorderShare * view.ay;
    if (border) DrawBorderForm(list, icon, st);
    else DrawFrameForm(list, icon, st, view, depth);
  }
}

void UpdateOverlayScene(TargetOverlay* overlay) {
  CockpitRecord* c = overlay ? overlay->cockpit : nullptr;
  if (!c || c->monitorNumber != 0) return;
  if (!overlay->icons) {
    auto* list = static_cast<OverlayIconList*>(MemCalloc(sizeof(OverlayIconList)));
    if (!list) return;
    CockpitCreateTargetOverlayScene(list, c);
    overlay->icons = list;
  }
  const bool forbidden = c->sectorSpace && (c->sectorSpace->flags2 & kSectorNoOverlay);
  if ((c->flags & kOverlayFlags) && !forbidden) BuildOverlayIcons(overlay->icons);
  else ClearOverlayIcons(overlay->icons);
}

// ---------------------------------------------------------------------------------------------
// Picking.

namespace {

// The point relative to the centre of the cockpit's main view, as the icons are placed.
void ToViewCentre(const CockpitRecord* c, int32_t* x, int32_t* y) {
  const CameraRecord* camera = c->camera;
  if (camera && camera->viewport) {
    *x -= static_cast<int32_t>(camera->viewport->x + camera->viewport->width / 2);
    *y -= static_cast<int32_t>(camera->viewport->y + camera->viewport->height / 2);
    return;
  }
  const int64_t sx = gSystem ? gSystem->screenWidth : 0;
  const int64_t sy = gSystem ? gSystem->screenHeight : 0;
  const int64_t left = camera ? camera->viewLeft : 0, right = camera ? camera->viewRight : 0x10000;
  const int64_t top = camera ? camera->viewTop : 0, bottom = camera ? camera->viewBottom : 0x10000;
  *x -= static_cast<int32_t>((sx * (left + right) / 2 + 0x8000) >> 16);
  *y -= static_cast<int32_t>((sy * (top + bottom) / 2 + 0x8000) >> 16);
}

// The icon drawn in front under the point: the tracked target's, else the first in drawing order.
const OverlayIcon* IconUnder(const CockpitRecord* c, int32_t x, int32_t y) {
  const OverlayIconList* list = c ? c->overlay.icons : nullptr;
  if (!list || !list->begin || list->used <= 0) return nullptr;
  ToViewCentre(c, &x, &y);
  const OverlayIcon* found = nullptr;
  for (int32_t i = 0; i < list->used; ++i) {
    const OverlayIcon* icon = list->begin[i];
    if (!icon || !icon->object || icon->pickHalfW <= 0 || icon->pickHalfH <= 0) continue;
    if (std::llabs(int64_t{x} - icon->pickX) > icon->pickHalfW) continue;
    if (std::llabs(int64_t{y} - icon->pickY) > icon->pickHalfH) continue;
    if (icon->object == c->trackObject) return icon;
    if (!found) found = icon;
  }
  return found;
}

}  // namespace

SpaceObject* INS_CockpitGetObjectByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y) {
  const OverlayIcon* icon = IconUnder(cockpit, x, y);
  return icon ? icon->object : nullptr;
}

bool INS_CockpitGetMenuPosByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y,
                                                 int32_t menuPos[5]) {
  const OverlayIcon* icon = IconUnder(cockpit, x, y);
  if (!icon) return false;
  // The object and the icon's rectangle in the point's own frame, for a menu beside it.
  int32_t ox = 0, oy = 0;
  ToViewCentre(cockpit, &ox, &oy);
  menuPos[0] = static_cast<int32_t>(icon->object->id);
  menuPos[1] = icon->pickX - icon->pickHalfW - ox;
  menuPos[2] = icon->pickY - icon->pickHalfH - oy;
  menuPos[3] = icon->pickX + icon->pickHalfW - ox;
  menuPos[4] = icon->pickY + icon->pickHalfH - oy;
  return true;
}
