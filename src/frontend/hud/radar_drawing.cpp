// The radar and the nav map drawn into their textures (see radar_drawing.h). The rules of rings,
// placement, blink and automatic range come from radar_math and the nav map's standing from
// message_panel; this file walks the objects and draws.
#include "frontend/hud/radar_drawing.h"

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/message_panel.h"
#include "frontend/hud/object_symbols.h"
#include "frontend/hud/radar_math.h"
#include "render/texture_table.h"
#include "scene/instance_records.h"
#include "scene/texture_drawing.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kCentreColour = 0xFFFFFFFF;
constexpr uint32_t kFactoryLinkColour = 0xFFBBBBBB;
constexpr uint32_t kViewModeShipFrame = 0x4;   // viewMode bit 2: the radar turns with the ship
constexpr uint32_t kAlertObjectFlag = 0x1000000;  // first flag word: a missile or ship that alerts
constexpr uint32_t kNavMapSkipFlags = 0x11;
constexpr uint32_t kNavMapSkipFlags2 = 0x20000000;
constexpr uint32_t kNavMapCentreColour = 0xFFFFFF;
constexpr int32_t kNavMapCopy[8] = {0, 0, 128, 128, 0, 0, 256, 256};

// The clock the blink of symbols runs on.
uint32_t BlinkClock() { return gSystem ? gSystem->realTime : 0; }

// The sector the ship is in, one level further up for a ship inside a dock or factory.
SpaceObject* RadarSector(SpaceObject* ship) {
  SpaceObject* parent = ship ? ship->parent : nullptr;
  if (parent && (parent->objClass == kClassDock || parent->objClass == kClassFactory)) parent = parent->parent;
  return parent && parent->objClass == kClassSector ? parent : nullptr;
}

int32_t Difference(int32_t a, int32_t b) { return SaturateToInt32(int64_t{a} - b); }

// Where the object lies for the radar: in the ship's own frame, or in the sector camera's frame
// that the frame step wrote into the object's instance.
bool RadarVector(const CockpitRecord* c, const SpaceObject* ship, const SpaceObject* o, FixedVector* v) {
  if (!o->instance) return false;
  if (c->viewMode & kViewModeShipFrame) {
    if (!ship->instance) return false;
    const FixedVector& at = o->instance->position;
    const FixedVector& from = ship->instance->world;
    const FixedVector d{Difference(at.x, from.x), Difference(at.y, from.y), Difference(at.z, from.z), 0};
    MatrixTransposeMulVector(v, &ship->instance->worldMatrix, &d);
  } else {
    *v = o->instance->cameraPos;
  }
  return true;
}

bool RadarPoint2D(const CockpitRecord* c, const SpaceObject* ship, const SpaceObject* o, int32_t cx, int32_t cy,
                  RadarScreenPoint* out) {
  FixedVector v;
  RadarPoint p{};
  if (!RadarVector(c, ship, o, &v) || !RadarPlace(v.x, v.y, v.z, c->radarRange, o->objClass == kClassGate, &p))
    return false;
  *out = RadarToScreen(p, cx, cy);
  return true;
}

bool NeverAlerts(int32_t objClass) {
  return objClass == kClassPlanet || objClass == kClassLaser || objClass == kClassShield ||
         (objClass >= kClassWareFirst && objClass <= kClassGate) || objClass == kClassSpecial;
}

// Whether the object's symbol is drawn as alerting.
bool RadarAlert(const SpaceObject* o, const SpaceObject* ship) {
  if (NeverAlerts(o->objClass)) return false;
  if (o->objClass == kClassMissile) return (o->flags & kAlertObjectFlag) != 0;
  if (o->objClass == kClassShip) {
    if (ShipIsMarked(o)) return false;
    if (o->flags & kAlertObjectFlag) return true;
  }
  return ObjIsHostile(o, ship);
}

void DrawRings(int32_t texture, int32_t w, int32_t h, const RadarRing* rings, int count, int32_t range) {
  for (int i = 0; i < count; ++i) {
    const int32_t k = SaturateToInt32(RadarRingFactor(rings[i].distance, range));
    DrawDottedEllipse(texture, w, h, k, rings[i].colour);
  }
}

// A 16.16 product taken in 64 bits, for nav map points.
int32_t Scale(int64_t fraction, int32_t half) { return SaturateToInt32(fraction * half >> 16); }

int32_t Class20Kind(const SpaceObject* o) {
  const auto* ext = static_cast<const SpecialExt*>(o->ext);
  return o->objClass == kClassSpecial && ext ? static_cast<int32_t>(ext->parameter1) : 0;
}

}  // namespace

bool ShipIsMarked(const SpaceObject* o) {
  if (!o || o->objClass != kClassShip || !o->ext) return false;
  // The extension keeps no other meaning in the word after its attached instance.
  return static_cast<const ShipExt*>(o->ext)->attachedWord != 0;
}

void DrawRadar(CockpitRecord* c, SpaceObject* ship) {
  if (!c || !GetTextureHandle(kRadarTexture) || c->radarRange == 0) return;
  const int32_t w = B3D_TexGetWidth(kRadarTexture) - 1, h = B3D_TexGetHeight(kRadarTexture) - 1;
  const int32_t cx = w / 2, cy = h / 2;
  B3D_TexRectFill(kRadarTexture, 0, 0, w + 1, h + 1, 0);
  RadarRing rings[kMaxRadarRings];
  DrawRings(kRadarTexture, w - 1, h - 1, rings, RadarRings(c->radarRange, rings), c->radarRange);
  TexSetPixel(kRadarTexture, cx, cy, kCentreColour);
  if (!RadarSector(ship)) return;

  const uint32_t now = BlinkClock();
  RadarBlink blink{c->enemyObject, c->blinkHalf, c->blinkWord};
  RadarBlinkStep(&blink, c->trackObject, now);
  c->enemyObject = static_cast<SpaceObject*>(const_cast<void*>(blink.seen));
  c->blinkHalf = blink.counter;
  c->blinkWord = blink.nextTime;

  RadarDistances nearest{};
  int32_t count = 0;
  const ScannerEntry* entries = ScannerEntries(c, &count);
  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* o = entries[i].object;
    if (!o || o == ship || o->objClass == kClassAsteroid) continue;
    InsertRadarDistance(&nearest, entries[i].distance);
    RadarScreenPoint at{};
    if (!RadarPoint2D(c, ship, o, cx, cy, &at)) continue;
    if (o->objClass == kClassFactory && o->ext) {
      const SpaceObject* linked = static_cast<const FactoryExt*>(o->ext)->linkedFactory;
      RadarScreenPoint to{};
      if (linked && RadarPoint2D(c, ship, linked, cx, cy, &to))
        B3D_TexLine(kRadarTexture, at.x, at.symbolY, to.x, to.symbolY, kFactoryLinkColour);
    }
    DrawObjectSymbolFor(o, kRadarTexture, at.x, at.groundY, at.symbolY, RadarAlert(o, ship),
                        RadarSymbolBlinks(blink, o, now), true);
  }

  if (c->radarMode != 0) {
    c->radarTarget = AutoRadarTarget(c->radarTarget, nearest);
    c->radarRange = RadarRangeStep(c->radarRange, c->radarTarget, gSystem ? gSystem->frameStep : 0);
  }
}

void DrawNavMap(CockpitRecord* c, SpaceObject* ship) {
  if (!c || !GetTextureHandle(kNavMapTexture)) return;
  TexCopyRect(kNavMapBackgroundTexture, kNavMapTexture, kNavMapCopy);
  const int32_t w = B3D_TexGetWidth(kNavMapTexture), h = B3D_TexGetHeight(kNavMapTexture);
  RadarRing rings[kMaxRadarRings];
  DrawRings(kNavMapTexture, w - 1, h - 1, rings, NavMapRings(rings), kNavMapRadius);
  TexSetPixel(kNavMapTexture, w / 2, h / 2, kNavMapCentreColour);
  TexSetPixel(kNavMapTexture, w / 2 + 1, h / 2, kNavMapCentreColour);

  SpaceObject* sector = ship && ship->parent && ship->parent->objClass == kClassSector ? ship->parent : nullptr;
  ListHead* objects = sector ? ObjectChildren(sector) : nullptr;
  if (!objects) return;
  const SpaceObject* player = GetPlayerObject();
  for (SpaceObject* o = ObjectListFirst(objects); o; o = ObjectListNext(o)) {
    if ((o->flags & kNavMapSkipFlags) || (o->flags2 & kNavMapSkipFlags2) || !o->instance) continue;
    const int32_t x = o->instance->position.x, z = o->instance->position.z;
    if (x <= -kNavMapRadius || x >= kNavMapRadius || z <= -kNavMapRadius || z >= kNavMapRadius) continue;
    const int64_t fx = int64_t{x} * 0x10000 / kNavMapRadius, fz = int64_t{z} * 0x10000 / kNavMapRadius;
    const int32_t px = w / 2 + Scale(fx, w / 2), py = h / 2 - Scale(fz, h / 2);
    const bool tracked = o == c->trackObject;
    if (o == player) {
      DrawObjectHeadingArrow(o, kNavMapTexture, px, py, 0);
      continue;
    }
    const NavMapObject kind{o->objClass, false, tracked, ShipIsMarked(o), (o->flags & kAlertObjectFlag) != 0,
                            Class20Kind(o), ObjIsHostile(o, ship)};
    DrawObjectSymbolFor(o, kNavMapTexture, px, 0, py, NavMapColour(kind).alert, tracked, false);
  }
}
