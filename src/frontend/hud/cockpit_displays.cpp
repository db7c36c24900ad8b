// The cockpit's per-frame read-outs: the radar, the status texture and the laser alerts (see
// cockpit_displays.h). The texts and latches follow the rules of status_display; this file reads
// the objects, draws the four rows and raises the events.
#include "frontend/hud/cockpit_displays.h"

#include <cstdio>

#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/radar_drawing.h"
#include "frontend/hud/status_display.h"
#include "render/texture_table.h"
#include "scene/engine_natives.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "scene/texture_drawing.h"
#include "script/script_calls.h"
#include "simulation/turrets.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kStatusWidth = 64;
constexpr int32_t kRowHeight = 16;
constexpr int32_t kTargetRow = 0, kShipRow = 16, kDistanceRow = 32, kDockingRow = 48;
constexpr uint32_t kHostileColour = 0xFFD20101, kTargetColour = 0x0034628F;
constexpr uint32_t kSteadyColour = 0x0034628F, kChangingColour = 0xFFE5AE38, kDockingColour = 0xFF01AA55;
constexpr uint32_t kTextFlags = 1;
constexpr int32_t kUnitsPerValue = 500;
constexpr uint32_t kTargetNumberHidden = 0x10;  // second flag word bit 4
constexpr int kLaserLowFlag = 0;                // of the cockpit's three flags
constexpr int32_t kRangeFlags = 16;
constexpr int32_t kEventObject = 150;
constexpr int32_t kResultKindInt = 1;
constexpr uint32_t kInCockpitView = 1;

int32_t InFiringRangeReal(SpaceObject* ship, SpaceObject* target, int32_t turret) {
  return IsTargetInFiringRangeOfTurret(ship, target, turret, kRangeFlags, nullptr);
}

void RaiseEvent(const char* name) {
  if (gHudOutputs.raiseEvent) gHudOutputs.raiseEvent(name, 0, 0);
  else CallScriptFunction(0, 0, kEventObject, name, kResultKindInt, 0);
}

bool SceneEnabled(const CockpitRecord* c) { return c->scene && (c->scene->flags & kSceneEnabled); }

int32_t HudFont() { return gGuiMaster ? gGuiMaster->font : -1; }

void ClearRow(int32_t y) { B3D_TexRectFill(kStatusTexture, 0, y, kStatusWidth, kRowHeight, 0); }

// The text centred on the texture's middle, given its width.
void RowText(int32_t y, const char* text, int32_t width, uint32_t colour) {
  B3D_TexTextBlock(kStatusTexture, text, HudFont(), kStatusWidth / 2 - width / 2, y, kStatusWidth, colour, kTextFlags);
}

void RowNumber(int32_t y, int32_t value, uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value / kUnitsPerValue);
  RowText(y, text, B3D_TexTextWidth(text, HudFont(), kTextFlags), colour);
}

// The distance the read-out shows: from the target to the ship, or to the eye in the in-cockpit
// view; saturated to 32 bits.
int32_t TargetDistance(const CockpitRecord* c, const SpaceObject* ship, const SpaceObject* target) {
  if (!target->instance || !ship->instance) return 0;
  FixedVector from = ship->instance->position;
  if (c->viewMode == kInCockpitView) CockpitViewPoint(c, &from);
  return SaturateToInt32(RoundedDistance(&target->instance->position, &from));
}

void DrawTargetRows(CockpitRecord* c, SpaceObject* ship, SpaceObject* target) {
  const int32_t turret = ship->objClass == kClassShip ? ShipComponentValue(ship->subtype, c->cockpitNumber) : -1;
  const auto inRange = gCockpitDisplayOutputs.inFiringRange ? gCockpitDisplayOutputs.inFiringRange : InFiringRangeReal;
  const bool hostile = ObjIsHostile(target, ship);
  if (const char* event = LaserRangeStep(&c->trackFlag, inRange(ship, target, turret) != 0, hostile, c->trackMode))
    RaiseEvent(event);
  const uint32_t colour = hostile ? kHostileColour : kTargetColour;
  char text[64];
  FormatDistanceText(text, sizeof text, TargetDistance(c, ship, target), gGuiMaster && gGuiMaster->unitDisplay,
                     ReadDistanceUnits());
  ClearRow(kDistanceRow);
  RowText(kDistanceRow, text, B3D_TexTextWidth(text, HudFont(), kTextFlags), colour);
  ClearRow(kTargetRow);
  if (target->objClass == kClassShip && !(target->flags2 & kTargetNumberHidden))
    RowNumber(kTargetRow, target->speed, colour);
}

}  // namespace

CockpitDisplayOutputs gCockpitDisplayOutputs{};

void DrawStatusTexture(CockpitRecord* c, SpaceObject* ship) {
  if (!c || !ship || !SceneEnabled(c) || !GetTextureHandle(kStatusTexture)) return;
  if (SpaceObject* target = c->trackObject) {
    DrawTargetRows(c, ship, target);
  } else {
    ClearRow(kTargetRow);
    ClearRow(kDistanceRow);
  }
  // The wanted speed, steady while the ship flies at it.
  char text[16];
  std::snprintf(text, sizeof text, "%d", ship->speedLimit / kUnitsPerValue);
  ClearRow(kShipRow);
  RowText(kShipRow, text, B3D_TexTextWidth(text, HudFont(), 0),
          ship->speedLimit == ship->speed ? kSteadyColour : kChangingColour);
  ClearRow(kDockingRow);
  if (ShipIsInState27(ship)) RowNumber(kDockingRow, GetObjectMaxSpeedQuarterMin(ship), kDockingColour);
}

void UpdateCockpitDisplays(CockpitRecord* c) {
  SpaceObject* ship = c ? c->cockpitRefObject : nullptr;
  if (!ship || !c->draw2D) return;
  if (gGuiMaster && gGuiMaster->drawRadar && c->radarBodyOn) DrawRadar(c, ship);
  if (!c->displayBodyOn) return;
  DrawStatusTexture(c, ship);
  if (!SceneEnabled(c) || ship->objClass != kClassShip || !ship->ext) return;
  if (LaserLowStep(&c->threeFlags[kLaserLowFlag], ShipGetWeaponEnergy(ship), ShipTypeGetMaxWeaponEnergy(ship)))
    RaiseEvent(kNotifyLaserLow);
}
