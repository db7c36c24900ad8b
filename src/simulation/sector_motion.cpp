// The sector motion pass and the contact handler: the four walks over a sector's child list
// (reset, beam shots, pairs, finish), the shot, planet and containment-sphere cases, and what one
// contact does (wares caught, hit damage, rams, kills). Called by the frame step for every
// simulated sector. Runs under the universe guard and, after every script event, stops for the
// frame when an object it holds has left the sector: it never walks a list a handler changed.
// The cheap rejections (flag masks, classes, the ships' box test, the sphere distance) come
// before any instance-tree test.
#include "simulation/sector_motion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "simulation/damage.h"
#include "simulation/simulation_services.h"
#include "simulation/universe_guard.h"
#include "simulation/universe_steps.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// `flags`.
constexpr uint32_t kFlagPlayer = 1u << 1;
constexpr uint32_t kFlagNew = 1u << 2;  // takes no part until its first pass has ended
constexpr uint32_t kFlagNoContacts = 1u << 10;
constexpr uint32_t kFlagNoThreats = 1u << 11;
constexpr uint32_t kFlagThreatWarning = 1u << 12;
constexpr uint32_t kFlagThreatsRecorded = 1u << 13;
constexpr uint32_t kFlagDiesOnImpact = 1u << 17;
constexpr uint32_t kFlagContainer = 1u << 20;
constexpr uint32_t kFlagBeamTested = 1u << 21;
constexpr uint32_t kFlagShipNear = 1u << 22;
constexpr uint32_t kFlagMissileArmed = 1u << 24;
constexpr uint32_t kFlagGuideLights = 1u << 25;
constexpr uint32_t kFlagRemoving = 1u << 27;
constexpr uint32_t kFlagApart = 1u << 30;  // no contact with another object that has it
constexpr uint32_t kPassMask = kFlagNew | kFlagNoContacts | kFlagBeamTested | kFlagRemoving;
constexpr uint32_t kLeftPassMask = kFlagNew | kFlagNoContacts | kFlagRemoving;

// `flags2`.
constexpr uint32_t kFlag2Near = 1u << 0;
constexpr uint32_t kFlag2Contact = 1u << 1;
constexpr uint32_t kFlag2CountedHit = 1u << 6;
constexpr uint32_t kFlag2Immovable = 1u << 7;
constexpr uint32_t kFlag2Counted = 1u << 8;  // on a missile: shots of its own shooter hit it
constexpr uint32_t kFlag2InRestricted = 1u << 10;
constexpr uint32_t kFlag2CountedAlready = 1u << 11;
constexpr uint32_t kFlag2NoContacts = 1u << 17;
constexpr uint32_t kFlag2NoEffect = 1u << 18;
constexpr uint32_t kFlag2HitThisFrame = 1u << 19;
constexpr uint32_t kFlag2Held = 1u << 25;
constexpr uint32_t kFlag2AsteroidPending = 1u << 31;

constexpr uint32_t kSectorFlagRestricted = 1u << 2;
constexpr int16_t kSphereSubtype = 92;
constexpr uint16_t kOrderAvoidCollision = 18;
constexpr uint32_t kGlobalScriptId = 150;
constexpr int32_t kHeatBand = 750000;
constexpr int32_t kBoxMargin = 250000;
constexpr int64_t kSphereSlack = 66191;  // 16.16: the sphere test reaches 1 % past the radii

enum class PairEnd { kNext, kStopInner, kEndPass };

bool IsShot(const SpaceObject* o) { return o->objClass == kClassBullet; }
bool IsShip(const SpaceObject* o) { return o->objClass == kClassShip; }
bool IsPlanet(const SpaceObject* o) { return o->objClass == kClassPlanet; }
bool IsSphere(const SpaceObject* o) { return o->objClass == kClassSpecial && o->subtype == kSphereSubtype; }
bool IsFlaggedMissile(const SpaceObject* o) { return o->objClass == kClassMissile && (o->flags & kFlagMissileArmed); }

uint32_t ShotFlags(const SpaceObject* shot) {
  const ObjectTypeRecord* row = IsShot(shot) ? TypeRow(kClassBullet, shot->subtype) : nullptr;
  return row ? row->bullet.flags : 0;
}

SpaceObject* Shooter(const SpaceObject* shot) {
  return shot->ext ? static_cast<const BulletExt*>(shot->ext)->firedBy : nullptr;
}

SpaceObject* Launcher(const SpaceObject* missile) {
  return missile->ext ? static_cast<const MissileExt*>(missile->ext)->launcher : nullptr;
}

int32_t IdOf(const SpaceObject* o) { return o ? static_cast<int32_t>(o->id) : 0; }

int64_t FrameStepMs() { return gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0; }

// The sector whose contact pass is running: what "still there" is measured against.
struct Pass {
  SectorObject* sector;
  bool restricted;

  // After an event: false when the object has gone, which ends the pass.
  bool Holds(const SpaceObject* o) const {
    return sector ? ObjectInSector(sector, o) : !ObjectIsQueuedForFree(o);
  }
  bool HoldsBoth(const SpaceObject* a, const SpaceObject* b) const { return Holds(a) && Holds(b); }

  bool TakesPart(const SpaceObject* o) const {
    return !(o->flags & kPassMask) && (!restricted || (o->flags2 & kFlag2InRestricted));
  }
};

bool Holding(const SpaceObject* holder, const SpaceObject* held) {
  return (held->flags2 & kFlag2Held) && held->linkedObject == holder;
}

// Event helpers: each answers whether the pass may go on.
bool Raise(const Pass& pass, SpaceObject* to, const char* name, int32_t argCount, int32_t a, int32_t b, int32_t c,
           const SpaceObject* x, const SpaceObject* y) {
  if (!to || to->scriptId == 0) return true;
  RaiseObjectEvent(to, name, argCount, a, b, c);
  return pass.HoldsBoth(x, y);
}

FixedVector Velocity(const SpaceObject* o) {
  FixedVector v = o->baseVelocity;
  if (o->instance) {
    v.x += o->instance->velocity.x;
    v.y += o->instance->velocity.y;
    v.z += o->instance->velocity.z;
  }
  return v;
}

int64_t MaxAbsDifference(const FixedVector& a, const FixedVector& b) {
  return std::max({std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y), std::llabs(int64_t{a.z} - b.z)});
}

int32_t ScaleFixed(int32_t value, int32_t factor) {
  return SaturateToInt32((int64_t{value} * factor + 0x8000) >> 16);
}

// The polar direction of the impact in the input device's units (hundredths of a degree,
// clockwise from straight ahead, -y, through +x).
int32_t ImpactDirection(const FixedVector& impact, const SpaceObject* player) {
  const int32_t top = GetObjectMaxSpeed(const_cast<SpaceObject*>(player));
  auto unit = [top](int32_t c) { return std::clamp(FixedDiv(c, top), -65536, 65536); };
  const double x = unit(impact.x), y = unit(impact.y);
  double degrees = std::atan2(x, -y) * 180.0 / M_PI;
  if (degrees < 0) degrees += 360.0;
  return static_cast<int32_t>(std::lround(degrees * 100.0)) % 36000;
}

// The ram: momentum exchange, force feedback, events, damage both ways, the pose put back.
bool Ram(const Pass& pass, SpaceObject* a, SpaceObject* b) {
  const FixedVector va = Velocity(a), vb = Velocity(b);
  const int64_t impact = MaxAbsDifference(va, vb);
  const int32_t total = SaturateToInt32(int64_t{a->mass} + b->mass);
  const int32_t ka = MulDiv(SaturateToInt32(2 * int64_t{b->mass}), 65536, total);
  const int32_t kb = MulDiv(SaturateToInt32(2 * int64_t{a->mass}), 65536, total);
  auto exchange = [](SpaceObject* o, const FixedVector& own, const FixedVector& other, int32_t k) {
    if (o->flags2 & kFlag2Immovable) return;
    o->baseVelocity.x = SaturateToInt32(int64_t{own.x} + ScaleFixed(SaturateToInt32(int64_t{other.x} - own.x), k));
    o->baseVelocity.y = SaturateToInt32(int64_t{own.y} + ScaleFixed(SaturateToInt32(int64_t{other.y} - own.y), k));
    o->baseVelocity.z = SaturateToInt32(int64_t{own.z} + ScaleFixed(SaturateToInt32(int64_t{other.z} - own.z), k));
    if (o->instance) o->instance->velocity = FixedVector{0, 0, 0, o->instance->velocity.w};
  };
  exchange(a, va, vb, ka);
  exchange(b, vb, va, kb);

  if (gSimulationServices.forceFeedbackPlay && ((a->flags | b->flags) & kFlagPlayer)) {
    const bool aIsPlayer = a->flags & kFlagPlayer;
    const FixedVector& own = aIsPlayer ? va : vb;
    const FixedVector& other = aIsPlayer ? vb : va;
    const FixedVector hit{SaturateToInt32(int64_t{other.x} - own.x), SaturateToInt32(int64_t{other.y} - own.y),
                          SaturateToInt32(int64_t{other.z} - own.z), 0};
    gSimulationServices.forceFeedbackPlay(ImpactDirection(hit, aIsPlayer ? a : b));
  }

  const bool told = (ObjTestFlag18Not19(a) || ObjTestFlag18Not19(b)) && !IsObjectClass7Type267(a) &&
                    !IsObjectClass7Type267(b);
  if (told) {
    if (!Raise(pass, b, "AttackedBy", 2, IdOf(a), 0, 0, a, b)) return false;
    if (!Raise(pass, a, "AttackedBy", 2, IdOf(b), 0, 0, a, b)) return false;
  }

  const int64_t ta = 2 * int64_t{ObjGetMaxHull(a)} + ObjGetShield(a);
  const int64_t tb = 2 * int64_t{ObjGetMaxHull(b)} + ObjGetShield(b);
  int64_t damageA, damageB;
  if (IsPlanet(a) || IsPlanet(b)) {
    damageA = damageB = std::max(ta, tb);
  } else {
    int64_t m = std::min(ta, tb);
    if (m == 0) m = std::max(ta, tb);
    const int64_t base = m * impact / 100000;
    auto share = [m, base](const SpaceObject* o) { return IsShip(o) ? std::max(m / 50, base) : std::max<int64_t>(100, base); };
    damageA = share(a);
    damageB = share(b);
  }
  const int32_t da = SaturateToInt32(damageA), db = SaturateToInt32(damageB);
  if (told) {
    if (IsShip(a) && !Raise(pass, a, "MakeDamage", 2, da, 1, 0, a, b)) return false;
    if (IsShip(b) && !Raise(pass, b, "MakeDamage", 2, db, 1, 0, a, b)) return false;
  }
  auto pendingAsteroid = [](const SpaceObject* o) {
    return o->objClass == kClassAsteroid && (o->flags2 & kFlag2AsteroidPending);
  };
  if (!pendingAsteroid(a) && !pendingAsteroid(b)) {
    DamageObject(a, b, da, -1);
    DamageObject(b, a, db, -1);
  }
  for (SpaceObject* o : {a, b}) {
    for (int i = 0; i < 3; ++i) o->angles[i] = o->savedAngles[i];
    if (!o->instance) continue;
    const FixedVector saved = o->savedPosition;
    o->instance->position = FixedVector{saved.x, saved.y, saved.z, o->instance->position.w};
    MatrixFromAngles(&o->instance->matrix, static_cast<uint32_t>(o->angles[0]), static_cast<uint32_t>(o->angles[1]),
                     static_cast<uint32_t>(o->angles[2]));
  }
  return true;
}

// Hit damage done by `a` to `b`, when `a` is a flagged missile or a shot.
bool HitDamage(const Pass& pass, SpaceObject* a, SpaceObject* b) {
  SpaceObject* attacker;
  if (IsFlaggedMissile(a)) {
    const int64_t damage = int64_t{ObjGetShield(a)} * (95 + GameRand() * 6 / 32768) / 100;
    DamageObject(b, a, SaturateToInt32(damage), -1);
    attacker = Launcher(a);
  } else if (IsShot(a)) {
    const ObjectTypeRecord* row = TypeRow(kClassBullet, a->subtype);
    const BulletType type = row ? row->bullet : BulletType{};
    int32_t damageA = type.energy, damageB = type.value1;
    if (type.flags & (kBulletFlagBeam | kBulletFlagArc)) {
      // Beams and arcs deal their damage over their lifetime, a frame's share at a time.
      const auto step = static_cast<int32_t>(std::min<int64_t>(FrameStepMs(), type.lifetime));
      damageA = InterpolateClamped(type.lifetime, 0, step, 0, damageA);
      damageB = InterpolateClamped(type.lifetime, 0, step, 0, damageB);
    } else if ((type.flags & kBulletFlagCarried) && a->ext) {
      damageA = SaturateToInt32(int64_t{damageA} + static_cast<const BulletExt*>(a->ext)->charge);
    }
    DamageObject(b, a, damageA, damageB);
    if (type.flags & kBulletFlagStartsTimer) ShipStartTypeTimer(b, a->subtype);
    if (type.flags & kBulletFlagDrainsEnergy) ShipDrainShotEnergy(b, a->subtype);
    if (type.flags & kBulletFlagUpdatesRatio) ShipUpdateRatio(b, a->subtype);
    attacker = Shooter(a);
  } else {
    return true;
  }
  if (!Raise(pass, b, "AttackedBy", 2, IdOf(attacker), IdOf(a), 0, a, b)) return false;
  if ((a->flags2 & kFlag2Counted) && !(a->flags2 & kFlag2CountedAlready)) {
    if (UniverseBlock* u = gUniverse) {
      // The hit counters follow the fired counters in the statistics words.
      if (IsShot(a)) ++u->statWords[0];
      else if (!IsShot(b)) ++u->statWords[1];
    }
    b->flags2 |= kFlag2CountedHit;
    a->flags2 |= kFlag2CountedAlready;
  }
  b->flags2 |= kFlag2HitThisFrame;
  return true;
}

bool Dies(const SpaceObject* o) {
  if (IsShot(o)) {
    const bool lasting = ShotFlags(o) & (kBulletFlagBeam | kBulletFlagArc | kBulletFlagGrowing);
    return !lasting || (o->flags & kFlagDiesOnImpact);
  }
  return o->objClass == kClassMissile || o->hull == 0 || (o->flags & kFlagDiesOnImpact);
}

// The destruction of `o` by its contact with `other`; false when the pass must end.
bool Destroy(const Pass& pass, SpaceObject* o, SpaceObject* other, SpaceObject* a, SpaceObject* b) {
  if (!Dies(o) || (o->flags & kFlagRemoving)) return true;
  if (CreateRockIfHeld(o) && !pass.HoldsBoth(a, b)) return false;
  int32_t cause = kKillByCollision;
  SpaceObject* killer = other;
  if (IsShot(other)) {
    cause = kKillByShot;
    killer = Shooter(other);
  } else if (IsFlaggedMissile(other)) {
    cause = kKillByMissile;
    killer = Launcher(other);
  }
  if (o->scriptId != 0) return Raise(pass, o, "KilledBy", 3, cause, IdOf(killer), IdOf(other), a, b);
  KillObject(o, cause, killer, 0);
  return true;
}

bool IsCatcher(const SpaceObject* o) {
  return IsShip(o) || o->objClass == kClassSector || o->objClass == kClassGate || (o->flags & kFlagContainer);
}

// One contact; false when the pass must end.
bool Contact(const Pass& pass, SpaceObject* a, SpaceObject* b) {
  const bool aWare = ObjIsWareObject(a), bWare = ObjIsWareObject(b);
  if ((IsCatcher(a) && bWare) || (IsCatcher(b) && aWare)) {
    SpaceObject* catcher = (IsCatcher(a) && !aWare) ? a : b;
    SpaceObject* ware = catcher == a ? b : a;
    if (CreateRockIfHeld(ware) && !pass.HoldsBoth(a, b)) return false;
    if (catcher->scriptId != 0) {
      RaiseObjectEventForResult(catcher, "CatchWare", catcher->id, 1, IdOf(ware));
      if (!pass.HoldsBoth(a, b)) return false;
      if (ValueIsTrue(&catcher->scriptValue)) return true;
    }
  }
  if ((IsShot(a) && Shooter(a) == b) || (IsShot(b) && Shooter(b) == a)) return true;

  if (!HitDamage(pass, a, b) || !HitDamage(pass, b, a)) return false;
  const bool rams = !IsShot(a) && !IsShot(b) && a->objClass != kClassMissile && b->objClass != kClassMissile;
  if (rams && !Ram(pass, a, b)) return false;

  return Destroy(pass, a, b, a, b) && Destroy(pass, b, a, a, b);
}

// After a contact of the pair (a, b) in list order: the inner walk stops when A is out.
PairEnd AfterContact(const Pass& pass, bool goOn, const SpaceObject* a) {
  if (!goOn) return PairEnd::kEndPass;
  if (!pass.Holds(a) || (a->flags & kLeftPassMask)) return PairEnd::kStopInner;
  return PairEnd::kNext;
}

int64_t InstanceDistance(const SpaceObject* a, const SpaceObject* b) {
  const FixedVector& p = a->instance->position;
  const FixedVector& q = b->instance->position;
  const double dx = double(p.x) - q.x, dy = double(p.y) - q.y, dz = double(p.z) - q.z;
  return std::llround(std::sqrt(dx * dx + dy * dy + dz * dz));
}

PairEnd ShotCase(const Pass& pass, SpaceObject* a, SpaceObject* b, int64_t reach) {
  SpaceObject* shot = IsShot(a) ? a : b;
  SpaceObject* target = shot == a ? b : a;
  SpaceObject* shooter = Shooter(shot);
  if (target == shooter || IsPlanet(target)) return PairEnd::kNext;
  const bool flaggedMissile = IsFlaggedMissile(target);
  if (flaggedMissile && Launcher(target) == shooter && !(target->flags2 & kFlag2Counted)) return PairEnd::kNext;
  if (!shot->instance || !target->instance || InstanceDistance(shot, target) > reach) return PairEnd::kNext;

  const uint32_t flags = ShotFlags(shot);
  InstanceRecord* inst = shot->instance;
  auto* ext = static_cast<BulletExt*>(shot->ext);
  const bool replaced = !(flags & (kBulletFlagBeam | kBulletFlagArc)) && ext;
  const FixedMatrix world = inst->worldMatrix;
  if (replaced) inst->worldMatrix = ext->lastTransform;
  const int32_t targetSize = flaggedMissile ? target->radius : 0;
  const bool hit = (flags & (kBulletFlagArc | kBulletFlagGrowing))
                       ? gSimulationServices.instCollideWith(target->instance, inst, targetSize, shot->radius) > 0
                       : gSimulationServices.instCollide(inst, target->instance, shot->radius, targetSize);
  if (!hit) {
    if (replaced) inst->worldMatrix = world;
    return PairEnd::kNext;
  }
  if (replaced) inst->matrix = ext->lastTransform;
  if (ext) ObjRelativeTransform(shot, target, &ext->hitPoint);
  return AfterContact(pass, Contact(pass, a, b), a);
}

PairEnd PlanetCase(const Pass& pass, SpaceObject* a, SpaceObject* b) {
  SpaceObject* planet = IsPlanet(a) ? a : b;
  SpaceObject* other = planet == a ? b : a;
  if (other->objClass == kClassSpecial || IsPlanet(other) || !planet->instance || !other->instance) {
    return PairEnd::kNext;
  }
  int64_t radius = planet->radius;
  const int32_t bodyRadius = GetBodyDataField(planet->instance->bodyId);
  if (bodyRadius > 0) radius = bodyRadius;
  const int64_t limit = other->radius / 10 + radius;
  // Planets sit in a space scaled down tenfold.
  const FixedVector& p = other->instance->position;
  const FixedVector scaled{p.x / 10, p.y / 10, p.z / 10, 0};
  const int64_t distance = GetDistance(&scaled, &planet->instance->position);

  if (distance <= limit) {
    planet->flags2 |= kFlag2Contact;
    other->flags2 |= kFlag2Contact;
    if (other->flags2 & kFlag2NoEffect) return PairEnd::kNext;
    return AfterContact(pass, Contact(pass, planet, other), a);
  }
  if (distance >= limit + kHeatBand || IsShot(other)) return PairEnd::kNext;

  if (other->flags & kFlagPlayer) {
    RaiseScriptIdEvent(kGlobalScriptId, "NotifyPlanetCollision");
    if (!pass.HoldsBoth(a, b)) return PairEnd::kEndPass;
  }
  // Heat damage on FrameStep frames in 200, scaled to a frame of at least 200 ms.
  const int64_t step = FrameStepMs();
  if (step <= RandomBelow16(200)) return PairEnd::kNext;
  const int64_t k = (limit - distance + kHeatBand) / 5000;
  const int64_t damage = int64_t{MulDiv(ObjGetMaxHull(other), SaturateToInt32(k * k), 22500)} * std::max<int64_t>(step, 200) / 1000;
  if (damage < 1) return PairEnd::kNext;
  const int32_t heat = SaturateToInt32(damage);
  if (IsShip(other) && ObjTestFlag18Not19(other) && !IsObjectClass7Type267(other) &&
      !Raise(pass, other, "MakeDamage", 2, heat, 0, 0, a, b)) {
    return PairEnd::kEndPass;
  }
  DamageObject(other, planet, heat, -1);
  if (other->hull == 0 && !(other->flags & kFlagRemoving)) {
    if (other->scriptId != 0) {
      if (!Raise(pass, other, "KilledBy", 3, kKillByCollision, IdOf(planet), 0, a, b)) return PairEnd::kEndPass;
    } else {
      KillObject(other, kKillByCollision, planet, 0);
    }
  }
  return AfterContact(pass, true, a);
}

// The sphere case; `handled` tells whether the pair was a sphere contact.
PairEnd SphereCase(const Pass& pass, SpaceObject* sphere, SpaceObject* other, bool* handled) {
  *handled = false;
  if (!IsShip(other) || !sphere->instance || !other->instance) return PairEnd::kNext;
  if (ObjectDistance(sphere, other) < sphere->radius) return PairEnd::kNext;
  *handled = true;
  sphere->flags2 |= kFlag2Contact;
  other->flags2 |= kFlag2Contact;
  if ((other->flags2 & kFlag2NoEffect) || !sphere->parent) return PairEnd::kNext;
  return Contact(pass, sphere, other) ? PairEnd::kNext : PairEnd::kEndPass;
}

// A ship reaching a gate or a container.
bool Docking(const Pass& pass, SpaceObject* a, SpaceObject* b, int32_t distance) {
  SpaceObject* ship = nullptr;
  SpaceObject* container = nullptr;
  if (IsShip(a) && (b->flags & kFlagContainer)) {
    ship = a;
    container = b;
  } else if (IsShip(b) && (a->flags & kFlagContainer)) {
    ship = b;
    container = a;
  } else {
    return true;
  }
  if (container->objClass == kClassGate) {
    if (container->subtype == 4 || (container->subtype >= 15 && container->subtype <= 20)) return true;
    const int32_t near = gSimulationServices.dockingProximity(ship, container, distance);
    if (near == 3 && !Raise(pass, ship, "CanWarp", 1, IdOf(container), 0, 0, a, b)) return false;
    if (near == 2 && ((ship->flags & kFlagPlayer) || ObjTestFlag18Not19(ship))) container->flags |= kFlagGuideLights;
    if (near >= 1) container->flags |= kFlagShipNear;
    return true;
  }
  const int32_t near = gSimulationServices.dockingProximity(ship, container, distance);
  if (near >= 1) container->flags |= kFlagShipNear;
  if (near == 2 && ship->speed <= GetObjectMaxSpeedQuarterMin(ship) && !ObjIsHostile(container, ship)) {
    return Raise(pass, ship, "CanLand", 1, IdOf(container), 0, 0, a, b);
  }
  return true;
}

PairEnd TestPair(const Pass& pass, SpaceObject* a, SpaceObject* b) {
  const int64_t reach = int64_t{a->radius} + b->radius;
  if (IsShot(a) || IsShot(b)) return ShotCase(pass, a, b, reach);
  if (IsPlanet(a) || IsPlanet(b)) return PlanetCase(pass, a, b);
  if (IsSphere(a) || IsSphere(b)) {
    bool handled = false;
    const PairEnd end = IsSphere(a) ? SphereCase(pass, a, b, &handled) : SphereCase(pass, b, a, &handled);
    if (end == PairEnd::kEndPass) return end;
    if (!handled) return PairEnd::kNext;
    if (AfterContact(pass, true, a) == PairEnd::kStopInner) return PairEnd::kStopInner;
  }
  if (a->objClass == kClassSpecial && b->objClass == kClassSpecial) return PairEnd::kNext;
  if (!a->instance || !b->instance) return PairEnd::kNext;
  const bool ship = IsShip(a) || IsShip(b);
  if (ship && MaxAbsDifference(a->instance->position, b->instance->position) > reach * 3 + kBoxMargin) {
    return PairEnd::kNext;
  }

  const int32_t distance = ObjectDistance(a, b);
  if (distance <= (reach * kSphereSlack + 0x8000) >> 16 && !ObjPairIgnoresCollision(a, b)) {
    a->flags2 |= kFlag2Near;
    b->flags2 |= kFlag2Near;
    const int32_t sizeA = IsFlaggedMissile(a) ? a->radius : 0, sizeB = IsFlaggedMissile(b) ? b->radius : 0;
    if (gSimulationServices.instCollideWith(a->instance, b->instance, sizeA, sizeB) > 0) {
      a->flags2 |= kFlag2Contact;
      b->flags2 |= kFlag2Contact;
      if (!((a->flags2 | b->flags2) & kFlag2NoEffect)) {
        const PairEnd end = AfterContact(pass, Contact(pass, a, b), a);
        if (end != PairEnd::kNext || !pass.Holds(b) || (b->flags & kLeftPassMask)) return end;
      }
    }
  }
  if (!ship) return PairEnd::kNext;
  if (!Docking(pass, a, b, distance)) return PairEnd::kEndPass;
  if (gSimulationServices.recordCollisionThreat) {
    if (IsShip(a) && !(a->flags & kFlagNoThreats)) gSimulationServices.recordCollisionThreat(a, b, distance);
    if (IsShip(b) && !(b->flags & kFlagNoThreats)) gSimulationServices.recordCollisionThreat(b, a, distance);
  }
  return PairEnd::kNext;
}

// The pair walk keeps a flat copy of what the ships' box test reads (position and reach) in list
// order, in columns, so the many pairs that test rejects cost no visit to either object or its
// instance and the scan over them stays a tight loop. The copy is refreshed for the two objects of
// every pair that was tested in full, and rebuilt from the list when script code ran or the list
// changed around the walk; pairs are tested in list order, exactly as a walk over the list itself
// would. Positions and reaches are held as doubles, which hold every sum the test forms exactly.
struct PairColumns {
  std::vector<SpaceObject*> object;
  std::vector<double> x, y, z;
  // Three times the radius where the box test may reject the object, infinity where it never does:
  // against a ship row every boxed object, against any other row only boxed ships. An object is
  // boxed when it has an instance and is no shot, planet or sphere.
  std::vector<double> reachForShip, reachForOther;
  // The row's own part of the limit, three times the radius plus the margin; NaN for an object
  // that is not boxed, whose pairs the box test never rejects.
  std::vector<double> rowReach;
  std::vector<uint8_t> ship;

  // Answers how the row changed: not at all, in its position only, or in its reaches or kind.
  enum Change { kSame, kMoved, kReshaped };
  Change Set(size_t k, SpaceObject* o) {
    const double inf = std::numeric_limits<double>::infinity();
    const bool isShip = IsShip(o);
    const bool boxed = o->instance && !IsShot(o) && !IsPlanet(o) && !IsSphere(o);
    const double px = o->instance ? o->instance->position.x : 0;
    const double py = o->instance ? o->instance->position.y : 0;
    const double pz = o->instance ? o->instance->position.z : 0;
    const double reach = 3.0 * double(o->radius);
    const double forShip = boxed ? reach : inf;
    const double forOther = boxed && isShip ? reach : inf;
    const double own = boxed ? reach + double(kBoxMargin) : std::numeric_limits<double>::quiet_NaN();
    const bool reshaped = object[k] != o || ship[k] != isShip || reachForShip[k] != forShip ||
                          reachForOther[k] != forOther || !SameReach(rowReach[k], own);
    const bool moved = x[k] != px || y[k] != py || z[k] != pz;
    object[k] = o;
    ship[k] = isShip;
    x[k] = px;
    y[k] = py;
    z[k] = pz;
    reachForShip[k] = forShip;
    reachForOther[k] = forOther;
    rowReach[k] = own;
    return reshaped ? kReshaped : moved ? kMoved : kSame;
  }
  static bool SameReach(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
  void Resize(size_t n) {
    object.resize(n);
    x.resize(n);
    y.resize(n);
    z.resize(n);
    reachForShip.resize(n);
    reachForOther.resize(n);
    rowReach.resize(n);
    ship.resize(n);
  }
  size_t size() const { return object.size(); }
};

PairColumns gPairs;

// Whether the pair walk finds a row's partners through the sweep index below (the usual case) or
// by scanning every later row; both give the same partners in the same order.
bool gPlainPairScan = false;

// Whether the box test of TestPair may let the pair of rows i and j through.
bool BoxAdmits(size_t i, size_t j, const double* limit) {
  const double d = std::max({std::fabs(gPairs.x[i] - gPairs.x[j]), std::fabs(gPairs.y[i] - gPairs.y[j]),
                             std::fabs(gPairs.z[i] - gPairs.z[j])});
  return !(d > gPairs.rowReach[i] + limit[j]);
}

// A grid index over one limit column of the copy. The rows with a finite limit are kept sorted by
// (x strip, y, row), each entry holding what the box test reads, so the test runs over contiguous
// memory; the rows the box test never rejects (an infinite limit) are listed apart in list order.
// A row farther from row i along x or y than row i's reach plus the largest finite limit is
// rejected whatever its other coordinates, so row i's partners lie in the few strips its reach
// spans, within a y range of each. Kept up to date row by row as the walk refreshes the copy;
// rebuilt when a row's reach or kind changes.
struct SweepIndex {
  struct Entry {
    int64_t strip;
    double y;
    uint32_t row;
    double x, z, limit;
    bool operator<(const Entry& o) const {
      return strip != o.strip ? strip < o.strip : y != o.y ? y < o.y : row < o.row;
    }
  };
  explicit SweepIndex(const std::vector<double>* column) : limit(column) {}
  const std::vector<double>* limit;
  std::vector<Entry> entries;
  std::vector<uint32_t> unbounded;
  double widest = 0;  // the largest finite limit
  double stripWidth = 1;
  bool stale = true;
  // Where each strip's entries begin, for the strips that hold any; redone after a row changes strip.
  std::vector<std::pair<int64_t, size_t>> strips;
  bool stripsStale = true;
  std::vector<uint8_t> seen;  // Resort's record of the rows met

  int64_t StripOf(double x) const { return static_cast<int64_t>(std::floor(x / stripWidth)); }
  Entry EntryOf(size_t k, double x, double y) const {
    return {StripOf(x), y, static_cast<uint32_t>(k), x, gPairs.z[k], (*limit)[k]};
  }

  void Build() {
    unbounded.clear();
    widest = 0;
    for (size_t k = 0; k < gPairs.size(); ++k) {
      if (std::isinf((*limit)[k])) unbounded.push_back(static_cast<uint32_t>(k));
      else widest = std::max(widest, (*limit)[k]);
    }
    // A strip about as wide as the reach of the widest rows: two or three strips per query.
    stripWidth = 2 * widest + double(kBoxMargin);
    if (!Resort()) {
      entries.clear();
      for (size_t k = 0; k < gPairs.size(); ++k) {
        if (!std::isinf((*limit)[k])) entries.push_back(EntryOf(k, gPairs.x[k], gPairs.y[k]));
      }
      std::sort(entries.begin(), entries.end());
    }
    stale = false;
    stripsStale = true;
  }

  // From one frame to the next the rows keep their order in the list and barely move: the last
  // order, refilled with the rows' new values, is nearly sorted, and an insertion sort settles it
  // in about one pass. False (the entries to be made afresh) when the bounded rows are not the
  // same ones, or the order has changed too much for that to pay.
  bool Resort() {
    const size_t n = gPairs.size();
    if (entries.size() != n - unbounded.size()) return false;
    seen.assign(n, 0);
    for (Entry& e : entries) {
      if (e.row >= n || seen[e.row] || std::isinf((*limit)[e.row])) return false;
      seen[e.row] = 1;
      e = EntryOf(e.row, gPairs.x[e.row], gPairs.y[e.row]);
    }
    size_t shifts = 0;
    const size_t most = 8 * entries.size() + 64;
    for (size_t e = 1; e < entries.size(); ++e) {
      const Entry value = entries[e];
      size_t k = e;
      for (; k > 0 && value < entries[k - 1] && shifts < most; --k, ++shifts) entries[k] = entries[k - 1];
      entries[k] = value;
      if (shifts >= most) return false;
    }
    return true;
  }

  void FindStrips() {
    strips.clear();
    for (size_t e = 0; e < entries.size(); ++e) {
      if (strips.empty() || strips.back().first != entries[e].strip) strips.emplace_back(entries[e].strip, e);
    }
    stripsStale = false;
  }

  // Row k, bounded, moved from (oldX, oldY).
  void Move(size_t k, double oldX, double oldY) {
    if (stale || std::isinf((*limit)[k])) return;
    const Entry from = EntryOf(k, oldX, oldY), to = EntryOf(k, gPairs.x[k], gPairs.y[k]);
    auto at = std::lower_bound(entries.begin(), entries.end(), from);
    if (at == entries.end() || at->strip != from.strip || at->y != from.y || at->row != from.row) {
      stale = true;
      return;
    }
    if (from.strip != to.strip) stripsStale = true;
    auto place = std::lower_bound(entries.begin(), entries.end(), to);
    if (place > at) {
      std::rotate(at, at + 1, place);
      *(place - 1) = to;
    } else {
      std::rotate(place, at, at + 1);
      *place = to;
    }
  }

  // Every row from `from` on that row i's box test admits, in ascending order, into `out`.
  void Partners(size_t i, size_t from, std::vector<uint32_t>* out) {
    if (stale) Build();
    if (stripsStale) FindStrips();
    out->clear();
    const double ax = gPairs.x[i], ay = gPairs.y[i], az = gPairs.z[i], own = gPairs.rowReach[i];
    // Padded well beyond any rounding of the sums: the box test itself decides each row.
    const double band = (own + widest) * (1 + 1e-9) + 1;
    const int64_t first = StripOf(ax - band), last = StripOf(ax + band);
    for (auto s = std::lower_bound(strips.begin(), strips.end(), std::pair<int64_t, size_t>{first, 0});
         s != strips.end() && s->first <= last; ++s) {
      const auto begin = entries.begin() + static_cast<ptrdiff_t>(s->second);
      const auto end =
          s + 1 == strips.end() ? entries.end() : entries.begin() + static_cast<ptrdiff_t>((s + 1)->second);
      const Entry low{s->first, ay - band, 0, 0, 0, 0};
      auto it = std::lower_bound(begin, end, low);
      auto stop = it;
      while (stop != end && stop->y <= ay + band) ++stop;
      // Every entry is written and kept only when admitted: whether one is admitted follows no
      // pattern the processor could guess.
      size_t count = out->size();
      out->resize(count + static_cast<size_t>(stop - it));
      uint32_t* rows = out->data();
      for (; it != stop; ++it) {
        // The box test of BoxAdmits on the entry's copy of the same values.
        const double d = std::max({std::fabs(ax - it->x), std::fabs(ay - it->y), std::fabs(az - it->z)});
        rows[count] = it->row;
        count += static_cast<size_t>(it->row >= from) & static_cast<size_t>(!(d > own + it->limit));
      }
      out->resize(count);
    }
    for (uint32_t k : unbounded) {
      if (k >= from) out->push_back(k);
    }
    std::sort(out->begin(), out->end());
  }
};

SweepIndex gShipRows(&gPairs.reachForShip);
SweepIndex gOtherRows(&gPairs.reachForOther);

// Row i's partners from `from` on, as last found: valid while the copy has not changed since.
struct RowPartners {
  size_t row = SIZE_MAX;
  uint64_t version = 0;
  size_t from = 0;
  std::vector<uint32_t> rows;
  size_t next = 0;  // the first of `rows` not yet passed
};
RowPartners gPartners;
uint64_t gCopyVersion = 1;  // bumped by every change of the copy

void RefreshRow(size_t k, SpaceObject* o) {
  const double oldX = gPairs.x[k], oldY = gPairs.y[k];
  switch (gPairs.Set(k, o)) {
    case PairColumns::kSame: return;
    case PairColumns::kMoved:
      gShipRows.Move(k, oldX, oldY);
      gOtherRows.Move(k, oldX, oldY);
      break;
    case PairColumns::kReshaped:
      gShipRows.stale = gOtherRows.stale = true;
      break;
  }
  ++gCopyVersion;
}

void BuildPairColumns(ListHead* list) {
  size_t n = 0;
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) ++n;
  gPairs.Resize(n);
  size_t k = 0;
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) gPairs.Set(k++, o);
  gShipRows.stale = gOtherRows.stale = true;
  ++gCopyVersion;
}

// The first j from `from` on whose pair with row i the box test of TestPair does not reject.
size_t NextUnrejected(size_t i, size_t from) {
  const size_t n = gPairs.size();
  if (std::isnan(gPairs.rowReach[i])) return from;
  if (gPlainPairScan) {
    const double* limit = gPairs.ship[i] ? gPairs.reachForShip.data() : gPairs.reachForOther.data();
    for (size_t j = from; j < n; ++j) {
      if (BoxAdmits(i, j, limit)) return j;
    }
    return n;
  }
  RowPartners& p = gPartners;
  if (p.row != i || p.version != gCopyVersion || from < p.from) {
    p.row = i;
    p.version = gCopyVersion;
    p.from = from;
    (gPairs.ship[i] ? gShipRows : gOtherRows).Partners(i, from, &p.rows);
    p.next = 0;
  }
  // The walk asks for ever later rows: go on from the last answer.
  if (p.next > 0 && p.rows[p.next - 1] >= from) p.next = 0;
  while (p.next < p.rows.size() && p.rows[p.next] < from) ++p.next;
  return p.next < p.rows.size() ? p.rows[p.next] : n;
}

// The index of `o` in the copy, or -1.
int64_t IndexOf(const SpaceObject* o) {
  for (size_t k = 0; k < gPairs.size(); ++k) {
    if (gPairs.object[k] == o) return static_cast<int64_t>(k);
  }
  return -1;
}

SpaceObject* EntryAfter(size_t k) { return k + 1 < gPairs.size() ? gPairs.object[k + 1] : nullptr; }

// After a pair tested in full: whether the copy still matches the list around the walk.
bool CopyStillHolds(ListHead* list, size_t i, size_t j, uint32_t events) {
  if (ObjectEventCount() != events) return false;
  SpaceObject* a = gPairs.object[i];
  SpaceObject* b = gPairs.object[j];
  if (a->parent == nullptr || b->parent == nullptr) return false;
  if (ObjectListNext(a) != EntryAfter(i) || ObjectListNext(b) != EntryAfter(j)) return false;
  ListNode* last = ListLast(list);
  return gPairs.size() > 0 && last && ObjectOfNode(last) == gPairs.object.back();
}

// The pair walk; false when the pass must end.
bool PairWalk(const Pass& pass, ListHead* list) {
  BuildPairColumns(list);
  for (size_t i = 0; i < gPairs.size(); ++i) {
    SpaceObject* a = gPairs.object[i];
    if (!pass.TakesPart(a) || (a->flags2 & kFlag2NoContacts)) continue;
    for (size_t j = NextUnrejected(i, i + 1); j < gPairs.size(); j = NextUnrejected(i, j + 1)) {
      SpaceObject* b = gPairs.object[j];
      if (!pass.TakesPart(b) || (b->flags2 & kFlag2NoContacts)) continue;
      if (Holding(a, b) || Holding(b, a)) continue;
      if ((a->flags & kFlagApart) && (b->flags & kFlagApart)) continue;
      const uint32_t events = ObjectEventCount();
      const PairEnd end = TestPair(pass, a, b);
      if (end == PairEnd::kEndPass) return false;
      if (CopyStillHolds(list, i, j, events)) {
        RefreshRow(i, a);
        RefreshRow(j, b);
      } else {
        // Go on from where a walk over the list would: after b, or after a when the inner walk
        // stops.
        BuildPairColumns(list);
        const int64_t ai = IndexOf(a), bj = IndexOf(b);
        if (ai < 0) return false;
        i = static_cast<size_t>(ai);
        if (bj < 0) break;
        j = static_cast<size_t>(bj);
      }
      if (end == PairEnd::kStopInner) break;
    }
  }
  return true;
}

// The object before `o` in its list, or null when `o` is the first.
SpaceObject* Predecessor(ListHead* list, SpaceObject* o) {
  ListNode* pred = NodePred(&o->link);
  return pred == ListHeadNode(list) ? nullptr : ObjectOfNode(pred);
}

}  // namespace

void UpdateSectorMotion(SectorObject* sector) {
  ListHead* list = sector ? ObjectChildren(sector) : nullptr;
  if (!list) return;
  UniverseGuardScope guard;
  const Pass pass{sector, (sector->sectorFlags & kSectorFlagRestricted) != 0};

  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) {
    o->flags &= ~(kFlagThreatWarning | kFlagThreatsRecorded | kFlagBeamTested | kFlagShipNear);
    o->flags2 &= ~(kFlag2Near | kFlag2Contact | kFlag2CountedHit | kFlag2HitThisFrame);
    if (IsShip(o) && o->ext) static_cast<ShipExt*>(o->ext)->threatCount = 0;
  }

  for (SpaceObject* o = ObjectListFirst(list); o;) {
    if (!pass.TakesPart(o) || !IsShot(o) || !(ShotFlags(o) & kBulletFlagBeam)) {
      o = ObjectListNext(o);
      continue;
    }
    o->flags |= kFlagBeamTested;
    SpaceObject* before = Predecessor(list, o);
    if (SpaceObject* target = gSimulationServices.findShotTarget ? gSimulationServices.findShotTarget(o) : nullptr) {
      if (!Contact(pass, o, target)) return;
    }
    if (pass.Holds(o)) {
      o = ObjectListNext(o);
      continue;
    }
    // The shot has left the list: go on from its predecessor's successor, unless that is gone too.
    if (before && !pass.Holds(before)) return;
    o = before ? ObjectListNext(before) : ObjectListFirst(list);
  }

  if (!PairWalk(pass, list)) return;

  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) {
    if (o->instance) o->instance->contact.w = 0;
    if (o->objClass == kClassAsteroid && !(o->flags & kPassMask) && !(o->flags2 & kFlag2NoContacts)) {
      o->flags2 &= ~kFlag2AsteroidPending;
    }
    const bool warned = (o->flags & kFlagThreatWarning) && (o->flags & kFlagThreatsRecorded);
    if (warned && IsShip(o) && o->ext && static_cast<ShipExt*>(o->ext)->commandState != kOrderAvoidCollision &&
        o->scriptId != 0 && !(o->flags & kFlagRemoving)) {
      RaiseObjectEvent(o, "CollisionWarn", 0);
      if (!pass.Holds(o)) return;
    }
    o->flags &= ~kFlagNew;
  }
}

void SetPlainPairScan(bool plain) { gPlainPairScan = plain; }

void HandleObjectCollision(SpaceObject* a, SpaceObject* b) {
  if (!a || !b) return;
  UniverseGuardScope guard;
  SectorObject* sector = nullptr;
  for (SpaceObject* o : {a, b}) {
    if (!sector && o->parent && o->parent->objClass == kClassSector) sector = static_cast<SectorObject*>(o->parent);
  }
  Contact(Pass{sector, false}, a, b);
}

int32_t ResolveShipCollision(SpaceObject* sphere, SpaceObject* other) {
  if (!sphere || !other) return 0;
  UniverseGuardScope guard;
  SectorObject* sector = (sphere->parent && sphere->parent->objClass == kClassSector)
                             ? static_cast<SectorObject*>(sphere->parent)
                             : nullptr;
  bool handled = false;
  SphereCase(Pass{sector, false}, sphere, other, &handled);
  return handled ? 1 : 0;
}
