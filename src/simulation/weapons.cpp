// Weapons fire and the arc shot chain. `FireWeapons` walks a ship's lasers from the one after
// the last it examined, pays each shot's weapon energy (and ammunition through the ship's
// script), finds an aim and creates the shot; the last laser that fired goes to the tail of the
// child list so the next call starts with the others. Called by the fire commands and the
// flight pass. Script events may free or move objects: the walk holds the universe guard and
// re-checks each laser before it touches it; it never frees an object.
#include "simulation/weapons.h"

#include <algorithm>
#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "simulation/damage.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "simulation/tractor_beams.h"
#include "simulation/turrets.h"
#include "simulation/universe_guard.h"
#include "universe/carried_objects.h"
#include "universe/object_detail.h"
#include "universe/object_explosions.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kFarFutureMs = 300000;      // a next-fire time further ahead is taken as stale
constexpr int32_t kManualTargetDot = 0xF70A;  // the player's shot goes at the target itself
constexpr int32_t kManualLeadDot = 0xFE14;    // the player's lead solution counts
constexpr int32_t kTurretZeroMinDot = 0xCCCC;
constexpr int32_t kSpread = 1048;             // each aim component moves by up to half of it
constexpr int32_t kMinCursorDepth = 5000;
constexpr int32_t kLightReach = 100000;       // per axis from the player
constexpr uint32_t kShotBeamInstanceFlag = 0x10000;
constexpr uint32_t kObjFlag2PlayerShot = 0x100;
constexpr uint32_t kObjFlag2PassedToShots = 0x400;
constexpr uint32_t kObjFlagIgnored = 1u << 30;
constexpr int32_t kMaxWalkedLasers = 64;

// The last laser a walk examined; only a pointer to compare, never read unless it is found again
// among the ship's laser children.
SpaceObject* gLastLaser = nullptr;
// Counts fired shots for the light throttle.
uint32_t gLightCounter = 0;

struct LaserFacts {
  int32_t reload;      // ms
  int32_t fireSound;   // 0 none
  int32_t bulletType;
  const BulletType* bullet;
};

// The laser type's values: reload time and fire sound are its first two integers, the bullet
// type its third.
bool ReadLaserFacts(const SpaceObject* laser, LaserFacts* out) {
  const ObjectTypeRecord* row = TypeRow(kClassLaser, laser->subtype);
  if (!row) return false;
  out->reload = row->laser.value0;
  out->fireSound = row->laser.value1;
  out->bulletType = static_cast<int16_t>(row->laser.bulletType);
  const ObjectTypeRecord* bullet = TypeRow(kClassBullet, out->bulletType);
  out->bullet = bullet ? &bullet->bullet : nullptr;
  return out->bullet != nullptr;
}

int32_t EnergyPerShot(const BulletType* b) { return b->impactValue[3]; }
int32_t AttachTime(const BulletType* b) { return b->impactValue[0]; }
int32_t ChargeFactor(const BulletType* b) { return b->lateValues[0]; }
// The ammunition ware of a bullet type that uses ammunition, class << 16 | subtype.
uint32_t AmmunitionWare(int32_t bulletType) {
  return static_cast<uint32_t>(TypeGetFlaggedId(TypeRow(kClassBullet, bulletType)));
}

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }
int32_t Step() { return gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0; }

bool IsLaserChildOf(const SpaceObject* laser, SpaceObject* ship) {
  if (!laser) return false;
  ListHead* children = ObjectChildren(ship);
  if (!children) return false;
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (o == laser) return o->objClass == kClassLaser && o->ext;
  }
  return false;
}

LaserExt* LaserOf(SpaceObject* laser) { return static_cast<LaserExt*>(laser->ext); }
BulletExt* ShotOf(SpaceObject* shot) { return static_cast<BulletExt*>(shot->ext); }

bool WeaponEnergyCovers(const ShipExt* ship, int64_t cost) { return int64_t{ship->weaponEnergy} >= cost * 1000; }
void PayEnergy(ShipExt* ship, int64_t cost) { ship->weaponEnergy = SaturateToInt32(ship->weaponEnergy - cost * 1000); }

FixedVector PositionOf(const SpaceObject* o) {
  if (!o || !o->instance) return {};
  return o->instance->position;
}

// The 16.16 dot product of the unit direction from `from` to `to` with a unit direction; a point
// on top of `from` has no direction and answers 0.
int32_t DotToward(const FixedVector& from, const FixedVector& to, const FixedVector& direction) {
  FixedVector d{SaturateToInt32(int64_t{to.x} - from.x), SaturateToInt32(int64_t{to.y} - from.y),
                SaturateToInt32(int64_t{to.z} - from.z), 0};
  if (d.x == 0 && d.y == 0 && d.z == 0) return 0;
  NormalizeVector(&d);
  return FixDot3(&d, &direction);
}

int32_t CountArmedOfType(SpaceObject* ship, int32_t subtype) {
  int32_t n = 0;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(ship)); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassLaser && o->subtype == subtype && (o->flags & kObjFlagArmed)) ++n;
  }
  return n;
}

// The quality level as the light throttle reads it: 0..100 whatever the settings hold.
int32_t QualityLevel() {
  const int64_t q = gSystem ? int64_t{gSystem->qualityLevel} : 100;
  return static_cast<int32_t>(std::clamp<int64_t>(q, 0, 100));
}

// The gun that serves the laser's slot and the muzzle there, in world space.
void FindMuzzle(SpaceObject* ship, int32_t turret, int32_t slot, FixedVector* muzzle, FixedMatrix* orientation) {
  InstanceRecord* node = ship->instance;
  const ObjectTypeRecord* row = TypeRow(kClassShip, ship->subtype);
  if (row && turret < kShipTurretCapacity) {
    const ShipTurretRow& t = row->ship.turrets[turret];
    for (int32_t g = 0; g < t.gunCount && g < kTurretGunCapacity; ++g) {
      if (slot >= t.gun[g].firstSlot && slot < t.gun[g].firstSlot + t.gun[g].slotCount) {
        if (InstanceRecord* gun = FindShipGunNode(ship, turret, g)) node = gun;
        break;
      }
    }
  }
  GetInstanceAbsPos(node, muzzle);
  GetInstanceAbsMatrix(node, orientation);
}

struct Aim {
  FixedVector point;
  bool found;
};

// The aim of one laser, first match wins; not found means the laser does not fire.
Aim FindAim(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags, int32_t minDot,
            const FixedVector& muzzle, const FixedVector& forward, const LaserFacts& laser, SpaceObject* laserObject) {
  const bool manual = (flags & kFireManual) != 0;
  const int64_t range = int64_t{laser.bullet->lifetime} * laser.bullet->speed / 1000;
  // The player's cursor.
  SpaceObject* cursorTarget = nullptr;
  if (manual && (flags & kFireCursorAim) && gSimulationServices.cockpitCursorTarget &&
      gSimulationServices.cockpitCursorTarget(ship, turret, &cursorTarget)) {
    int64_t depth = range;
    if (cursorTarget) {
      const int64_t distance = ObjectDistance(ship, cursorTarget);
      if (distance < depth) {
        const int64_t quarter = cursorTarget->radius / 4;
        depth = quarter > range ? distance : std::max(distance, quarter);
      }
    }
    depth = std::max<int64_t>(depth, kMinCursorDepth);
    FixedVector point{};
    if (gSimulationServices.cockpitUnprojectCursor &&
        gSimulationServices.cockpitUnprojectCursor(SaturateToInt32(depth), &point)) {
      return {point, true};
    }
  }
  const bool beam = (laser.bullet->flags & (kBulletFlagBeam | kBulletFlagArc)) != 0;
  if (manual && target) {
    Aim aim{{}, false};
    const FixedVector at = PositionOf(target);
    if (DotToward(muzzle, at, forward) >= kManualTargetDot) aim = {at, true};
    FixedVector direction{}, lead{};
    if ((flags & kFireLeadAim) && ComputeTurretAim(ship, turret, target, &muzzle, &direction, &lead) &&
        FixDot3(&direction, &forward) >= kManualLeadDot) {
      aim = {lead, true};
    }
    if (aim.found) return aim;
  }
  if ((flags & kFireLeadAim) && target) {
    const FixedVector at = PositionOf(target);
    if (!beam && ObjectDistance(ship, target) < 3 * int64_t{LaserGetBulletRange(laserObject)}) {
      FixedVector direction{}, lead{};
      if (ComputeInterceptPoint(ship, target, &muzzle, laser.bullet->speed, &direction, &lead, 0) &&
          DotToward(muzzle, lead, forward) >= minDot) {
        return {lead, true};
      }
    }
    if (DotToward(muzzle, at, forward) >= minDot) return {at, true};
  }
  if (!manual && turret != 0) return {{}, false};
  const FixedVector ahead{SaturateToInt32(muzzle.x + ((int64_t{forward.x} * range) >> 16)),
                          SaturateToInt32(muzzle.y + ((int64_t{forward.y} * range) >> 16)),
                          SaturateToInt32(muzzle.z + ((int64_t{forward.z} * range) >> 16)), 0};
  if (DotToward(muzzle, ahead, forward) >= minDot || range == 0) return {ahead, true};
  return {{}, false};
}

// The ammunition question; true when the laser may go on. The script may free or move what the
// walk holds, so the caller re-checks the laser afterwards.
bool AmmunitionAllows(SpaceObject* ship, uint32_t ware) {
  if (ship->scriptId == 0) return false;
  RaiseObjectEventForResult(ship, "GetAmmunitionCountReload", ship->id, 2, static_cast<int32_t>(ware >> 16),
                            static_cast<int32_t>(ware & 0xFFFF));
  return ValueIsTrue(&ship->scriptValue) != 0;
}

void OrientShot(SpaceObject* shot, const FixedVector& direction) {
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&direction, &yaw, &pitch);
  B3D_InstSetRot(shot->instance, static_cast<int32_t>(yaw), static_cast<int32_t>(pitch), 0);
}

// Creates the shot of one laser and sets it going; null when no shot could be made.
SpaceObject* CreateShot(SpaceObject* ship, SpaceObject* laser, const LaserFacts& facts, const FixedVector& muzzle,
                        const FixedMatrix& muzzleFrame, FixedVector aim) {
  UniverseBlock* universe = gUniverse;
  ShipExt* shipExt = static_cast<ShipExt*>(ship->ext);
  const BulletType* bullet = facts.bullet;
  FixedVector offset = muzzle;
  StartBulletEffect(facts.bulletType, ship, static_cast<int32_t>(ship->id), &offset, &muzzleFrame);
  SpaceObject* shot = AllocObjectRecord(kClassBullet);
  if (!shot) return nullptr;
  if (!CreateObject(shot, MakeTypeWord(kClassBullet, facts.bulletType))) {
    FreeObjectRecord(shot, kClassBullet);
    return nullptr;
  }
  if (!shot->ext || !shot->instance) {
    DeleteObject(shot);
    return nullptr;
  }
  if (IsPlayerObject(ship)) {
    if (universe) ++universe->statWord;
    shot->flags2 |= kObjFlag2PlayerShot;
  }
  if (ship->flags2 & kObjFlag2PassedToShots) shot->flags2 |= kObjFlag2PassedToShots;
  if (bullet->flags & kBulletFlagFlaggedId) {
    const uint32_t ware = AmmunitionWare(facts.bulletType);
    RaiseObjectEvent(ship, "UseAmmunition", 3, static_cast<int32_t>(ware >> 16), static_cast<int32_t>(ware & 0xFFFF),
                     -1);
  }
  PayEnergy(shipExt, EnergyPerShot(bullet));

  aim.x = SaturateToInt32(int64_t{aim.x} + RandomUpTo(kSpread) - kSpread / 2);
  aim.y = SaturateToInt32(int64_t{aim.y} + RandomUpTo(kSpread) - kSpread / 2);
  aim.z = SaturateToInt32(int64_t{aim.z} + RandomUpTo(kSpread) - kSpread / 2);
  FixedVector direction{SaturateToInt32(int64_t{aim.x} - muzzle.x), SaturateToInt32(int64_t{aim.y} - muzzle.y),
                        SaturateToInt32(int64_t{aim.z} - muzzle.z), 0};
  NormalizeVector(&direction);
  const FixedVector own = ship->instance->velocity;
  FixedVector velocity{SaturateToInt32(((int64_t{direction.x} * bullet->speed) >> 16) + own.x),
                       SaturateToInt32(((int64_t{direction.y} * bullet->speed) >> 16) + own.y),
                       SaturateToInt32(((int64_t{direction.z} * bullet->speed) >> 16) + own.z), 0};
  const uint32_t now = Now();
  BulletExt* ext = ShotOf(shot);
  shot->instance->velocity = velocity;
  shot->speed = SaturateToInt32(static_cast<int64_t>(
      IntSqrt64(static_cast<uint64_t>(int64_t{velocity.x} * velocity.x + int64_t{velocity.y} * velocity.y +
                                      int64_t{velocity.z} * velocity.z))));
  ext->expiresAt = now + static_cast<uint32_t>(bullet->lifetime);
  ext->shooter = ship;
  ext->firedBy = ship;
  ext->laser = laser;
  shot->owner = ship->owner;
  LaserOf(laser)->currentShot = shot;
  shot->instance->position = muzzle;
  shot->instance->world = muzzle;
  ext->muzzleDirection = direction;
  if (bullet->flags & (kBulletFlagBeam | kBulletFlagCarried)) {
    // Kept in the ship's frame so the shot stays with its gun while it is fed.
    const FixedVector at = PositionOf(ship);
    ext->carriedOffset = {SaturateToInt32(int64_t{muzzle.x} - at.x), SaturateToInt32(int64_t{muzzle.y} - at.y),
                          SaturateToInt32(int64_t{muzzle.z} - at.z), 0};
    ext->aimOffset = {SaturateToInt32(int64_t{aim.x} - muzzle.x), SaturateToInt32(int64_t{aim.y} - muzzle.y),
                      SaturateToInt32(int64_t{aim.z} - muzzle.z), 0};
    shot->instance->flags |= kShotBeamInstanceFlag;
    ext->charge = 0;
  }
  OrientShot(shot, direction);
  if (ship->parent) ObjAttachInstance(shot, ship->parent);
  shot->flags &= ~kObjFlagFree;
  return shot;
}

}  // namespace

int32_t FireWeapons(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags, uint32_t slotMask) {
  if (turret < 0 || !ship || ship->objClass != kClassShip || !ship->ext || turret >= GetShipTurretCount(ship) ||
      turret >= kShipTurretCapacity || !ship->instance || (ship->flags2 & kObjFlag2Attached)) {
    return kFireResultNone;
  }
  UniverseGuardScope guard;
  if (!target && gSimulationServices.cockpitTurretTarget) target = gSimulationServices.cockpitTurretTarget(ship, turret);
  const int32_t minDot = (flags & kFireNoAngleCheck) ? 0 : (turret == 0 ? kTurretZeroMinDot : 0);
  const int32_t firstSlot = ShipTurretFirstSlot(ship->subtype, turret);
  ShipExt* shipExt = static_cast<ShipExt*>(ship->ext);
  ListHead* children = ObjectChildren(ship);

  // The lasers in walk order: after the last one examined, round to it.
  SpaceObject* order[kMaxWalkedLasers];
  int32_t count = 0;
  SpaceObject* start = IsLaserChildOf(gLastLaser, ship) ? ObjectListNext(gLastLaser) : nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    SpaceObject* o = pass == 0 ? (start ? start : ObjectListFirst(children)) : ObjectListFirst(children);
    SpaceObject* end = pass == 0 ? nullptr : start;
    if (pass == 1 && !start) break;
    for (; o && o != end && count < kMaxWalkedLasers; o = ObjectListNext(o)) {
      if (o->objClass != kClassLaser || !o->ext || !(o->flags & kObjFlagArmed)) continue;
      if (!LaserIsInTurret(o, ship, turret)) continue;
      const int64_t bit = int64_t{LaserOf(o)->laserSlot} - firstSlot;
      if (bit < 0 || bit > 31 || !(slotMask & (1u << bit))) continue;
      if (o->subtype == kPlayerOnlyLaser && !(IsPlayerObject(ship) && (flags & kFireManual))) continue;
      order[count++] = o;
    }
  }

  const uint32_t now = Now();
  const int32_t step = Step();
  bool fired = false;
  bool tractorShot = false;
  SpaceObject* lastFired = nullptr;
  FixedVector forward{};
  TurretWorldDirection(ship, turret, &forward);

  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* laser = order[i];
    // A script answer earlier in this walk may have freed or moved it.
    if (!IsLaserChildOf(laser, ship) || (laser->flags & kObjFlagRemoving)) continue;
    LaserFacts facts{};
    if (!ReadLaserFacts(laser, &facts)) continue;
    const BulletType* bullet = facts.bullet;
    LaserExt* lx = LaserOf(laser);
    int32_t due = static_cast<int32_t>(now - lx->readyAt);
    if (due < -kFarFutureMs) {
      // A stale next-fire time far ahead would block the laser for minutes.
      lx->readyAt = now;
      due = 0;
    }
    const bool manual = (flags & kFireManual) != 0;
    SpaceObject* live = lx->currentShot && !(lx->currentShot->flags & kObjFlagRemoving) ? lx->currentShot : nullptr;

    if (manual && (bullet->flags & (kBulletFlagBeam | kBulletFlagArc))) {
      const int64_t cost = InterpolateClamped(facts.reload, 0, SaturateToInt32(int64_t{due} + facts.reload), 0,
                                              EnergyPerShot(bullet));
      if (!WeaponEnergyCovers(shipExt, cost)) {
        if (live) BulletUpdateBeamVisual(live);
        continue;
      }
      if (live) {
        PayEnergy(shipExt, cost);
        lx->readyAt = now + static_cast<uint32_t>(facts.reload);
        ShotOf(live)->expiresAt = now + static_cast<uint32_t>(bullet->lifetime);
        BulletUpdateBeamVisual(live);
        fired = true;
        gLastLaser = laser;
        continue;
      }
    } else if (manual && (bullet->flags & kBulletFlagCarried)) {
      if (live && (ShotOf(live)->hitFlags & kBulletReleased)) {
        lx->currentShot = nullptr;
        live = nullptr;
      }
      if (live) {
        BulletExt* sx = ShotOf(live);
        const int64_t cost = InterpolateClamped(AttachTime(bullet), 0, step, 0,
                                                SaturateToInt32(int64_t{EnergyPerShot(bullet)} * ChargeFactor(bullet)));
        if (static_cast<int32_t>(now - sx->attachUntil) < 0 && WeaponEnergyCovers(shipExt, cost)) {
          PayEnergy(shipExt, cost);
          lx->readyAt = now + static_cast<uint32_t>(facts.reload);
          sx->expiresAt = now + static_cast<uint32_t>(bullet->lifetime);
          sx->hitFlags |= kBulletAttached;
          sx->charge = SaturateToInt32(
              int64_t{sx->charge} + InterpolateClamped(AttachTime(bullet), 0, step, 0,
                                                       SaturateToInt32(int64_t{bullet->energy} * ChargeFactor(bullet))));
          fired = true;
          gLastLaser = laser;
        } else {
          lx->currentShot = nullptr;
        }
        continue;
      }
    }

    // The normal path.
    if (due < 0) continue;
    const int32_t armedOfType = CountArmedOfType(ship, laser->subtype);
    if (!WeaponEnergyCovers(shipExt, EnergyPerShot(bullet))) continue;
    if (bullet->flags & kBulletFlagFlaggedId) {
      const uint32_t ware = AmmunitionWare(facts.bulletType);
      const bool allowed = AmmunitionAllows(ship, ware);
      // The answer may have taken the laser away; the walk's other lasers are re-checked too.
      if (!IsLaserChildOf(laser, ship) || (ship->flags & kObjFlagRemoving)) break;
      if (!allowed) continue;
    }

    FixedVector muzzle{};
    FixedMatrix muzzleFrame{};
    FindMuzzle(ship, turret, lx->laserSlot, &muzzle, &muzzleFrame);
    const Aim aim = FindAim(ship, target, turret, flags, minDot, muzzle, forward, facts, laser);
    if (!aim.found) continue;

    SpaceObject* shot = CreateShot(ship, laser, facts, muzzle, muzzleFrame, aim.point);
    if (!shot) continue;
    BulletExt* sx = ShotOf(shot);
    if (bullet->flags & kBulletFlagBeam) {
      BulletUpdateBeamVisual(shot);
      shot->instance->world = shot->instance->position;
      if (gSimulationServices.findShotTarget && gSimulationServices.findShotTarget(shot)) BulletUpdateBeamVisual(shot);
      lx->readyAt = now + static_cast<uint32_t>(facts.reload);
    } else if (bullet->flags & kBulletFlagArc) {
      UpdateArcBulletChain(shot);
      lx->readyAt = now + static_cast<uint32_t>(facts.reload);
    } else {
      const bool early = due > 0 && due < step;
      if (early) {
        const FixedVector v = shot->instance->velocity;
        InstanceRecord* in = shot->instance;
        in->position.x = SaturateToInt32(in->position.x + int64_t{v.x} * due / 1000);
        in->position.y = SaturateToInt32(in->position.y + int64_t{v.y} * due / 1000);
        in->position.z = SaturateToInt32(in->position.z + int64_t{v.z} * due / 1000);
        const int32_t advance = std::max<int32_t>(SaturateToInt32(int64_t{shot->speed} * due / 1000), 1000);
        if (in->size < advance) in->size = advance;
      }
      if (!(flags & kFireNoOwnMotion)) {
        const FixedVector v = ship->instance->velocity;
        const int64_t t = std::min(step, 1000);
        InstanceRecord* in = shot->instance;
        in->position.x = SaturateToInt32(in->position.x + int64_t{v.x} * t / 1000);
        in->position.y = SaturateToInt32(in->position.y + int64_t{v.y} * t / 1000);
        in->position.z = SaturateToInt32(in->position.z + int64_t{v.z} * t / 1000);
      }
      shot->instance->world = shot->instance->position;
      if (!(bullet->flags & kBulletFlagGrowing)) shot->radius = shot->instance->size;
      if (bullet->flags & kBulletFlagCarried) {
        sx->attachUntil = now + static_cast<uint32_t>(AttachTime(bullet));
        sx->hitFlags |= kBulletAttached;
      }
      int32_t jitter = 0;
      if (armedOfType > 1 && facts.reload > 0) jitter = RandomBelow(facts.reload) / 2 - facts.reload / 4;
      const uint32_t base = early ? lx->readyAt : now;
      lx->readyAt = base + static_cast<uint32_t>(facts.reload) + static_cast<uint32_t>(jitter);
    }
    if (UniverseBlock* u = gUniverse; u && u->player && u->player->instance) {
      const FixedVector p = u->player->instance->position, s = shot->instance->position;
      const bool near = std::llabs(int64_t{p.x} - s.x) < kLightReach && std::llabs(int64_t{p.y} - s.y) < kLightReach &&
                        std::llabs(int64_t{p.z} - s.z) < kLightReach;
      const uint32_t modulo = static_cast<uint32_t>((100 - QualityLevel()) / 10 + 1);
      if (near && gLightCounter++ % modulo == 0) BulletCreateLight(shot);
    }
    if (gUniverse && gUniverse->runState[0] && facts.fireSound != 0 && shot->parent &&
        shot->parent->objClass == kClassSector && ObjIsInActiveSector(shot)) {
      ObjPlaySound3D(shot, facts.fireSound);
    }
    fired = true;
    lastFired = laser;
    gLastLaser = laser;
    if (facts.bulletType == kTractorBullet) tractorShot = true;
  }

  if (lastFired && IsLaserChildOf(lastFired, ship)) {
    ObjectListRemove(lastFired);
    ObjectListAddTail(children, lastFired);
  }
  if (tractorShot) ReleaseTractorBeam(ship);
  return fired ? kFireResultFired : kFireResultNone;
}

// ---------------------------------------------------------------------------------------------
// Arc shots.

namespace {

int64_t MaxAxisDistance(const FixedVector& a, const FixedVector& b) {
  return std::max({std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y), std::llabs(int64_t{a.z} - b.z)});
}

// The unit direction turned by small random yaw and pitch.
FixedVector Deviate(const FixedVector& direction) {
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&direction, &yaw, &pitch);
  yaw += static_cast<uint32_t>(-1024 + GameRand() * 2048 / 32768);
  pitch += static_cast<uint32_t>(-1024 + GameRand() * 2048 / 32768);
  FixedMatrix m{};
  MatrixFromAngles(&m, yaw & 0xFFFF, pitch & 0xFFFF, 0);
  return {m.m[2][0], m.m[2][1], m.m[2][2], 0};
}

}  // namespace

int32_t PlanArcChain(const SpaceObject* shot, const FixedVector* start, const FixedVector* direction,
                     ArcLink links[kArcMaxSegments]) {
  FixedVector at = *start, d = *direction;
  ListHead* objects = shot && shot->parent ? ObjectChildren(shot->parent) : nullptr;
  int32_t n = 0;
  for (; n < kArcMaxSegments; ++n) {
    SpaceObject* best = nullptr;
    int64_t bestDistance = 0;
    for (SpaceObject* o = objects ? ObjectListFirst(objects) : nullptr; o; o = ObjectListNext(o)) {
      if (o == shot || (o->flags & kObjFlagIgnored) || !o->instance) continue;
      const FixedVector p = o->instance->position;
      const int64_t distance = MaxAxisDistance(p, at);
      if (distance == 0 || distance > kArcReach) continue;
      if (DotToward(at, p, d) <= kArcMinDot) continue;
      if (!best || distance < bestDistance) {
        best = o;
        bestDistance = distance;
      }
    }
    FixedVector to{};
    if (best) {
      to = best->instance->position;
    } else {
      d = Deviate(d);
      to = {SaturateToInt32(at.x + ((int64_t{d.x} * kArcSegmentLength) >> 16)),
            SaturateToInt32(at.y + ((int64_t{d.y} * kArcSegmentLength) >> 16)),
            SaturateToInt32(at.z + ((int64_t{d.z} * kArcSegmentLength) >> 16)), 0};
    }
    links[n] = {best, at, to};
    if (best) {
      FixedVector nd{SaturateToInt32(int64_t{to.x} - at.x), SaturateToInt32(int64_t{to.y} - at.y),
                     SaturateToInt32(int64_t{to.z} - at.z), 0};
      NormalizeVector(&nd);
      d = nd;
    }
    at = to;
  }
  return n;
}

void UpdateArcBulletChain(SpaceObject* shot) {
  if (!shot || shot->objClass != kClassBullet || !shot->ext || !shot->instance) return;
  const ObjectTypeRecord* row = TypeRow(kClassBullet, shot->subtype);
  BulletExt* ext = ShotOf(shot);
  if (!row || !(row->bullet.flags & kBulletFlagArc) || shot->instance->bodyId < 0) return;
  if (!ext->shooter || !ext->shooter->instance) return;
  InstanceRecord* in = shot->instance;
  FixedVector aim = ext->muzzleDirection;
  if (aim.x == 0 && aim.y == 0 && aim.z == 0) aim = {in->matrix.m[2][0], in->matrix.m[2][1], in->matrix.m[2][2], 0};
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&aim, &yaw, &pitch);
  yaw += static_cast<uint32_t>(-1024 + GameRand() * 2048 / 32768);
  pitch += static_cast<uint32_t>(-1024 + GameRand() * 2048 / 32768);
  const int32_t roll = GameRand() * 65536 / 32768;
  B3D_InstSetRot(in, static_cast<int32_t>(yaw & 0xFFFF), static_cast<int32_t>(pitch & 0xFFFF), roll);
  in->size = shot->radius != 0 ? static_cast<int32_t>(int64_t{65536000} / shot->radius) : 0;

  ArcLink links[kArcMaxSegments];
  const FixedVector start = in->position;
  const FixedVector direction{in->matrix.m[2][0], in->matrix.m[2][1], in->matrix.m[2][2], 0};
  const int32_t n = PlanArcChain(shot, &start, &direction, links);
  // Segment instances hang under the shot's instance; they are reused frame after frame.
  InstanceRecord* segment = ListFirst(&in->children) ? ListRecord<InstanceRecord>(ListFirst(&in->children)) : nullptr;
  for (int32_t i = 0; i < n; ++i) {
    if (!segment) {
      segment = B3D_InstAlloc();
      if (!segment) break;
      if (!B3D_InstAddToInst(segment, in)) {
        FreeInstance(segment);
        break;
      }
      B3D_InstSetBody(segment, in->bodyId);
    }
    // Into the shot instance's frame: rows right, up, forward.
    const FixedVector rel{SaturateToInt32(int64_t{links[i].from.x} - start.x),
                          SaturateToInt32(int64_t{links[i].from.y} - start.y),
                          SaturateToInt32(int64_t{links[i].from.z} - start.z), 0};
    FixedVector span{SaturateToInt32(int64_t{links[i].to.x} - links[i].from.x),
                     SaturateToInt32(int64_t{links[i].to.y} - links[i].from.y),
                     SaturateToInt32(int64_t{links[i].to.z} - links[i].from.z), 0};
    const int32_t length = static_cast<int32_t>(std::min<int64_t>(MaxAxisDistance(links[i].to, links[i].from), INT32_MAX));
    FixedVector local{}, localDir{};
    MatrixTransposeMulVector(&local, &in->matrix, &rel);
    NormalizeVector(&span);
    MatrixTransposeMulVector(&localDir, &in->matrix, &span);
    segment->position = local;
    uint32_t sy = 0, sp = 0;
    AnglesFromVector(&localDir, &sy, &sp);
    B3D_InstSetRot(segment, static_cast<int32_t>(sy), static_cast<int32_t>(sp), 0);
    B3D_InstSetScale(segment, 65536, 65536, length);
    ListNode* next = ListNext(&segment->node);
    segment = next ? ListRecord<InstanceRecord>(next) : nullptr;
  }
  in->alphaOverride = 0;
  shot->speed = 0;
  in->velocity = {};
}
