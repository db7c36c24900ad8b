// The per-frame step of a cockpit's target overlay: the overlay icons, the HUD info the scripts
// give, the tracking, and the 2D marks of the tracked target in the cockpit scene (crosshair,
// brackets, lead marker, turret mark, status tiles, warning mark, docking guide and the direction
// arrows), plus switching the marks on and off. Called by the cockpit frame step and the cockpit
// natives. It shows, moves and hides the marks' slots; it never frees a slot or an object.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/system_block.h"
#include "devices/steering.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/target_marks.h"
#include "frontend/hud/target_overlay.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "script/value.h"
#include "simulation/turrets.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int kGuiMasterBody = 0;  // GuiMaster::menuBodies
constexpr int kTargetTextBody = 3;
constexpr int kDockedBody = 4;
constexpr int kBlinkWord = 1;    // TargetOverlay::words
constexpr int kFourthWord = 3;
constexpr int kWarningWord = 4;
constexpr uint32_t kMarksOn = 0x1;
constexpr uint32_t kOverlayFlags = 0x3;
constexpr uint32_t kNoCurrentArrows = 0x4;
constexpr uint32_t kTurretlessFlight = 0x80000;
constexpr int32_t kEventObject = 150;
constexpr int32_t kResultInt = 1;
constexpr uint32_t kHudLeadBits = 0x3;
constexpr int16_t kNoLeadSubtype = 267;
constexpr int64_t kLeadRange = 2220000;
constexpr int32_t kGunReach = 100000;
constexpr int32_t kNearDepth = 100;
constexpr int32_t kBracketX = 70;
constexpr int32_t kBracketY = -4;
constexpr int32_t kCrosshairY = 9;
constexpr int32_t kTurretMarkX = 1;
constexpr int32_t kTurretMarkY = -25;
constexpr int32_t kStatusTexture = 15;
constexpr int32_t kTileBand = 0x4000;
constexpr int32_t kTilePos[3][2] = {{-70, -10}, {70, -10}, {0, 40}};
constexpr int32_t kArrowUnit = 5000;
constexpr int32_t kDockGuideSizeDivisor = 20;

uint32_t Clock() { return gSystem ? gSystem->realTime : 0; }
int32_t FrameMs() { return gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0; }
int32_t GuiBody() { return gGuiMaster ? gGuiMaster->menuBodies[kGuiMasterBody] : 0; }

MarkStanding StandingOf(const TrackedTarget& t) {
  if (t.hostile) return MarkStanding::kHostile;
  if (t.own) return MarkStanding::kOwn;
  return MarkStanding::kNeutral;
}

void Hide(TargetOverlay* overlay, int slot) { HideSlot(&overlay->slots[slot]); }

void HideLead(TargetOverlay* overlay) {
  Hide(overlay, kMarkLead);
  overlay->leadX = overlay->leadY = -1;
}

// The HUD info mask the scripts answer for the cockpit's ship; 0 without an answer.
uint32_t HudInfoMask(const SpaceObject* ship) {
  const int32_t arg = static_cast<int32_t>(ship->scriptId);
  ScriptValue v{};
  if (!HudQuery(kEventObject, "GetHUDInfo", kResultInt, 1, &arg, &v)) return 0;
  const uint32_t mask = v.type == kValueInt ? static_cast<uint32_t>(v.i) : 0;
  ReleaseValue(&v);
  return mask;
}

// A world point in the frame of the camera that rendered the sector.
FixedVector InViewFrame(const CameraRecord* camera, const FixedVector& p) {
  const InstanceRecord& eye = camera->instance;
  const int64_t d[3] = {int64_t{p.x} - eye.position.x, int64_t{p.y} - eye.position.y, int64_t{p.z} - eye.position.z};
  int32_t out[3];
  for (int row = 0; row < 3; ++row) {
    int64_t sum = 0;
    for (int c = 0; c < 3; ++c) sum += (int64_t{eye.matrix.m[row][c]} * d[c] + 0x8000) >> 16;
    out[row] = static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
  }
  return FixedVector{out[0], out[1], out[2], 0};
}

void Brackets(TargetOverlay* overlay, uint16_t mode, MarkStanding standing) {
  CockpitRecord* c = overlay->cockpit;
  int32_t frame = 0;
  if (mode == kTrackCursor || mode == kTrackEnemy) {
    overlay->bracketPhase = (overlay->bracketPhase + static_cast<uint32_t>(std::max(0, FrameMs()))) % 1000;
    frame = static_cast<int32_t>(overlay->bracketPhase / 200);
  } else if (mode == kTrackOverlayLock) {
    const uint32_t now = gSystem ? gSystem->gameTime : 0;
    frame = AcquireBracketFrame(static_cast<int32_t>(now - c->trackStart));
  } else if (mode == kTrackObject) {
    overlay->bracketPhase = 0;
  }
  const int32_t base = BracketBase(standing) + 2 * frame;
  ShowSlotIcon(base, GuiBody(), &overlay->slots[kMarkBracketLeft], c->scene, -kBracketX, kBracketY);
  ShowSlotIcon(base + 1, GuiBody(), &overlay->slots[kMarkBracketRight], c->scene, kBracketX, kBracketY);
}

void LeadMarker(TargetOverlay* overlay, SpaceObject* ship, SpaceObject* target, uint16_t mode, uint32_t mask,
                MarkStanding standing) {
  CockpitRecord* c = overlay->cockpit;
  const CameraRecord* camera = c->sectorCamera;
  const bool wanted = (mode == kTrackOverlayLock || mode == kTrackObject) && target && target->instance &&
                      camera && !(ship->objClass == kClassShip && ship->subtype == kNoLeadSubtype) &&
                      (mask & kHudLeadBits);
  if (!wanted) return HideLead(overlay);
  FixedVector eye;
  CockpitViewPoint(c, &eye);
  const FixedVector at = target->instance->position;
  const int32_t apart[3] = {at.x - eye.x, at.y - eye.y, at.z - eye.z};
  if (RoundedVectorLength(apart) >= kLeadRange) return HideLead(overlay);
  const int32_t turret = ShipComponentValue(ship->subtype, c->cockpitNumber);
  FixedVector direction{}, aim{};
  if (!ComputeTurretAim(ship, turret, target, &eye, &direction, &aim)) return HideLead(overlay);
  // The main view marks the target itself; a turret view the line its gun aims along.
  FixedVector point = at;
  if (c->cockpitNumber != 0) {
    point.x = eye.x + static_cast<int32_t>((int64_t{direction.x} * kGunReach) >> 16);
    point.y = eye.y + static_cast<int32_t>((int64_t{direction.y} * kGunReach) >> 16);
    point.z = eye.z + static_cast<int32_t>((int64_t{direction.z} * kGunReach) >> 16);
  }
  OverlayView view;
  if (!OverlayViewOf(c, &view)) return HideLead(overlay);
  const FixedVector v = InViewFrame(camera, point);
  const double depth = v.z / view.v;
  if (depth <= kNearDepth) return HideLead(overlay);
  const int32_t range = IsTargetInFiringRangeOfTurret(ship, target, turret, kRangeCheckDirection, &direction);
  uint32_t blink = static_cast<uint32_t>(overlay->words[kBlinkWord]);
  const int32_t icon = LeadMarkerStep(range, mask, standing, FrameMs(), &blink);
  overlay->words[kBlinkWord] = static_cast<int32_t>(blink);
  const int32_t px = static_cast<int32_t>(std::trunc(v.x / depth * view.hw / view.ax));
  const int32_t py = static_cast<int32_t>(std::trunc(-(v.y / depth) * view.hh / view.ay));
  ShowSlotIcon(icon, GuiBody(), &overlay->slots[kMarkLead], c->scene, px, py);
  overlay->leadX = px;
  overlay->leadY = py;
}

void TurretMark(TargetOverlay* overlay, const SpaceObject* ship, MarkStanding standing) {
  CockpitRecord* c = overlay->cockpit;
  bool shown = false;
  if (c->cockpitNumber > 0) {
    const CockpitRecord* active = gGuiMaster ? CockpitFromHandle(gGuiMaster, gGuiMaster->activeControlCockpit) : nullptr;
    const bool same = active == c || (active && active->refObject && active->refObject == c->refObject &&
                                      active->cockpitNumber == c->cockpitNumber);
    shown = !same;
  } else if (c->cockpitNumber == 0) {
    shown = c->monitorNumber != 0 && (ship->flags & kTurretlessFlight);
  }
  if (!shown) return Hide(overlay, kMarkTurret);
  ShowSlotIcon(TurretMarkIcon(standing), GuiBody(), &overlay->slots[kMarkTurret], c->scene, kTurretMarkX, kTurretMarkY);
}

void StatusTiles(TargetOverlay* overlay) {
  CockpitRecord* c = overlay->cockpit;
  const int32_t body = gGuiMaster ? gGuiMaster->menuBodies[kTargetTextBody] : 0;
  for (int i = 0; i < 3; ++i) {
    CockpitSlot* slot = &overlay->slots[kMarkTile0 + i];
    AttachSlot(c->scene, slot, body);
    SetSlotPosition(slot, kTilePos[i][0], kTilePos[i][1], 0);
    InstanceRecord* instance = SlotInstance(slot);
    if (!instance) continue;
    InstOrFlags(instance, 0, kSlotScreenMark);
    // The full width and a quarter of the height of the status texture, band i from the top.
    FixedMatrix band{};
    band.m[0][0] = kFixedOne;
    band.m[1][1] = kTileBand;
    band.m[2][1] = kTileBand * i;
    band.m[2][2] = kFixedOne;
    B3D_InstSetAnimTextureCoords(instance, kStatusTexture, &band);
  }
}

void ShowWarningMark(TargetOverlay* overlay, SpaceObject* ship) {
  CockpitRecord* c = overlay->cockpit;
  const uint32_t clock = Clock();
  int32_t& start = overlay->words[kWarningWord];
  if (!(c->flags & kOverlayFlags) || (c->refObject && c->refObject != ship)) {
    Hide(overlay, kMarkWarning);
    start = static_cast<int32_t>(clock);
    return;
  }
  const bool alert = gGuiMaster && (gGuiMaster->alertFlags & kAlertIncomingMissile);
  const bool approach = ShipIsInState27(ship) && ship->speed > GetObjectMaxSpeedQuarterMin(ship);
  const WarningMark mark = WarningMarkStep(alert, approach, clock - static_cast<uint32_t>(start));
  if (mark.restart) start = static_cast<int32_t>(clock);
  if (mark.icon < 0) return Hide(overlay, kMarkWarning);
  ShowSlotIcon(mark.icon, GuiBody(), &overlay->slots[kMarkWarning], c->scene, 0, kCrosshairY);
}

// The dock the ship is docking at, when its port is one the dock's type has.
const SpaceObject* DockingTarget(const SpaceObject* ship) {
  if (!ShipIsInState27(ship)) return nullptr;
  const auto* ext = static_cast<const ShipExt*>(ship->ext);
  const SpaceObject* dock = ext->commandObject;
  if (!dock || (dock->objClass != kClassDock && dock->objClass != kClassFactory && dock->objClass != kClassShip))
    return nullptr;
  if (ext->dockSlot < 0 || ext->dockSlot >= TypeGetDockSlotCount(dock->subtype, dock->objClass)) return nullptr;
  return dock;
}

void DockingGuide(TargetOverlay* overlay, const SpaceObject* ship) {
  CockpitRecord* c = overlay->cockpit;
  CockpitSlot* slot = &overlay->slots[kMarkDockingGuide];
  const SpaceObject* dock = DockingTarget(ship);
  if (!dock || !dock->instance || !ship->instance) return HideSlot(slot);
  const FixedVector at = dock->instance->cameraPos;
  const int32_t apart[3] = {dock->instance->position.x - ship->instance->position.x,
                            dock->instance->position.y - ship->instance->position.y,
                            dock->instance->position.z - ship->instance->position.z};
  const int32_t body = gGuiMaster ? gGuiMaster->menuBodies[kDockedBody] : 0;
  AttachSlotSized(c->scene, slot, body, RoundedVectorLength(apart) / kDockGuideSizeDivisor);
  SetSlotPosition(slot, at.x, at.y, at.z);
  if (slot->instance) B3D_InstSetRot(slot->instance, 0, 0, DockGuideAngle(Clock()));
}

void ArrowPair(TargetOverlay* overlay, int first, const SpaceObject* object, int32_t icon, const OverlayView& view) {
  CockpitRecord* c = overlay->cockpit;
  CockpitSlot* half = &overlay->slots[first];
  CockpitSlot* third = &overlay->slots[first + 1];
  if (!object || !object->instance || view.hw <= 0) {
    HideSlot(half);
    HideSlot(third);
    return;
  }
  const FixedVector p = object->instance->cameraPos;
  const int32_t e = static_cast<int32_t>(int64_t{kArrowUnit} * view.hh / view.hw);
  const ArrowPlacement a = DirectionArrowPoint(p.x, p.y, p.z, e);
  const int32_t divisors[2] = {2, 3};
  const bool shown[2] = {a.showHalf, a.showThird};
  CockpitSlot* slots[2] = {half, third};
  for (int i = 0; i < 2; ++i) {
    if (!shown[i]) {
      HideSlot(slots[i]);
      continue;
    }
    const int64_t x = a.px / divisors[i];
    const int64_t y = a.py / divisors[i];
    // One scale on both axes: the rectangle already has the view's proportions.
    ShowSlotIcon(icon, GuiBody(), slots[i], c->scene, static_cast<int32_t>(view.hw * x / kArrowUnit),
                 static_cast<int32_t>(-(view.hw * y / kArrowUnit)));
    if (slots[i]->instance) B3D_InstSetRot(slots[i]->instance, 0, 0, static_cast<uint32_t>(-a.angle) & 0xFFFFu);
  }
}

void DirectionArrows(TargetOverlay* overlay, SpaceObject* target, MarkStanding standing) {
  CockpitRecord* c = overlay->cockpit;
  OverlayView view;
  OverlayViewOf(c, &view);
  const SpaceObject* current = c->currentSectorObject;
  ArrowPair(overlay, kMarkTargetArrow0, target, TargetArrowIcon(standing, target && target == current), view);
  const bool currentArrows = current && current != target && !(c->flags & kNoCurrentArrows);
  ArrowPair(overlay, kMarkObjectArrow0, currentArrows ? current : nullptr, kObjectArrowIcon, view);
}

void HideAimMarks(TargetOverlay* overlay) {
  for (int slot : {kMarkBracketLeft, kMarkBracketRight, kMarkCrosshair, kMarkTile0, kMarkTile0 + 1, kMarkTile0 + 2,
                   kMarkTurret, kMarkTargetArrow0, kMarkTargetArrow1, kMarkObjectArrow0, kMarkObjectArrow1})
    Hide(overlay, slot);
  for (int slot = kMarkHiddenFirst; slot <= kMarkHiddenLast; ++slot) Hide(overlay, slot);
  HideLead(overlay);
}

void LeaveEarly(TargetOverlay* overlay) {
  for (CockpitSlot& slot : overlay->slots) HideSlot(&slot);
  overlay->leadX = overlay->leadY = -1;
  overlay->words[kFourthWord] = overlay->words[kWarningWord] = static_cast<int32_t>(Clock());
  ClearOverlayIcons(overlay->icons);
}

}  // namespace

InstanceRecord* SlotInstance(CockpitSlot* slot) {
  if (!slot->instance) {
    slot->visible = 0;
    slot->bodyId = -1;
    slot->instance = B3D_InstAlloc();
  }
  return slot->instance;
}

void ResetSlotOrientation(CockpitSlot* slot) {
  if (slot->instance) B3D_InstSetRot(slot->instance, 0, 0, 0);
}

void SetSlotPosition(CockpitSlot* slot, int32_t x, int32_t y, int32_t z) {
  if (slot->instance) B3D_InstSetPos(slot->instance, x, y, z);
}

int32_t DockGuideAngle(uint32_t clock) {
  return static_cast<int32_t>(int64_t{clock % kDockGuideTurnMs} * 65536 / kDockGuideTurnMs);
}

int32_t VectorAngle16(int32_t x, int32_t y) {
  if (x == 0 && y == 0) return 0;
  const int64_t ax = std::llabs(int64_t{x}), ay = std::llabs(int64_t{y});
  // The ratio of the smaller over the larger coordinate, 0..1 in 16.16, gives the first octant.
  const int64_t small = std::min<int64_t>(std::min(ax, ay), INT32_MAX);
  const int64_t large = std::min<int64_t>(std::max(ax, ay), INT32_MAX);
  const double ratio = FixedDiv(static_cast<int32_t>(small), static_cast<int32_t>(large)) / 65536.0;
  int32_t a = static_cast<int32_t>(std::lround(std::atan(ratio) * 32768.0 / M_PI));
  if (ay > ax) a = 16384 - a;
  if (x < 0) a = 32768 - a;
  if (y < 0) a = 65536 - a;
  return a & 0xFFFF;
}

ArrowPlacement DirectionArrowPoint(int32_t x, int32_t y, int32_t z, int32_t e) {
  ArrowPlacement out{};
  int64_t px = 0, py = 0;
  bool inside = false;
  if (z > 0) {
    px = int64_t{x} * kArrowUnit / z;
    py = int64_t{y} * kArrowUnit / z;
    inside = std::llabs(px) <= kArrowUnit && std::llabs(py) <= e;
  }
  if (!inside) {
    // Leave the rectangle along (x, y): a side when the direction is flatter than its corner.
    const int32_t angle = VectorAngle16(x, y) & 0x7FFF;  // folded into the upper half
    const int32_t folded = angle > 16384 ? 32768 - angle : angle;
    const int32_t corner = VectorAngle16(kArrowUnit, e);
    if (x == 0 && y == 0) {
      px = 0;
      py = e;
    } else if (folded <= corner && x != 0) {
      px = x > 0 ? kArrowUnit : -kArrowUnit;
      py = int64_t{y} * kArrowUnit / std::llabs(int64_t{x});
    } else {
      py = y >= 0 ? e : -e;
      px = y != 0 ? int64_t{x} * e / std::llabs(int64_t{y}) : 0;
    }
  }
  out.px = static_cast<int32_t>(std::clamp<int64_t>(px, -kArrowUnit, kArrowUnit));
  out.py = static_cast<int32_t>(std::clamp<int64_t>(py, -std::llabs(int64_t{e}), std::llabs(int64_t{e})));
  const int32_t hx = out.px / 2, hy = out.py / 2;
  const int32_t tx = out.px / 3, ty = out.py / 3;
  out.showHalf = !(std::abs(hx) < kArrowUnit / 2 && std::abs(hy) < e / 2);
  out.showThird = !(std::abs(tx) < kArrowUnit / 4 && std::abs(ty) < e / 4);
  out.angle = VectorAngle16(hx, hy);
  return out;
}

void EnableTargetBodies(TargetOverlay* overlay, int32_t on) {
  overlay->enabled = static_cast<uint32_t>(on);
  if (on) return;
  for (CockpitSlot& slot : overlay->slots) HideSlot(&slot);
  ClearOverlayIcons(overlay->icons);
}

void UpdateTargetOverlay(TargetOverlay* overlay) {
  if (!overlay || !overlay->cockpit) return;
  CockpitRecord* c = overlay->cockpit;
  if (!gGuiMaster || !TargetOverlayRuns(overlay)) return LeaveEarly(overlay);
  SpaceObject* ship = c->cockpitRefObject;
  UpdateOverlayScene(overlay);
  const uint32_t mask = HudInfoMask(ship);
  const TrackedTarget tracked = RunTargetTracking(c);
  const MarkStanding standing = StandingOf(tracked);
  const uint16_t mode = c->trackMode;
  SpaceObject* target = c->trackObject;

  if (!(c->flags & kMarksOn)) {
    HideAimMarks(overlay);
  } else {
    Brackets(overlay, mode, standing);
    LeadMarker(overlay, ship, target, mode, mask, standing);
    const CrosshairForm form =
        ChooseCrosshairForm(c->cockpitNumber, c->monitorNumber, ship->flags, gCursorSteering[0] != 0);
    ShowSlotIcon(CrosshairIcon(form, standing), GuiBody(), &overlay->slots[kMarkCrosshair], c->scene, 0, kCrosshairY);
    TurretMark(overlay, ship, standing);
    StatusTiles(overlay);
    DirectionArrows(overlay, (mode == kTrackOverlayLock || mode == kTrackObject) ? target : nullptr, standing);
  }
  ShowWarningMark(overlay, ship);
  DockingGuide(overlay, ship);
}
