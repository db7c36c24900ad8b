// Damage and kills: how damage passes through the shield children of an object to its hull,
// the per-frame recharge of shields and weapon energy, the kill-once with explosion and blast,
// blast damage and remote detonation. Called by the motion pass, the object update, the weapons
// and the object commands. Walks that raise script events hold the universe guard and stop as
// soon as the object they hold has left the sector, so no handler can leave them on a freed
// record; every product that can pass 32 bits is formed in 64 bits.
#include "simulation/damage.h"

#include <algorithm>
#include <cmath>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "simulation/simulation_services.h"
#include "simulation/universe_guard.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/object_queries.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kInstHidden = 0x100000;
constexpr int64_t kFullCharge = kShieldFullFraction;  // 1000 * 65536
constexpr int64_t kOtherClassBudget = 100000000;
constexpr int32_t kHitDisplayCap = 50000;
constexpr int32_t kHitDisplayMin = 5;
constexpr int32_t kHitDisplayMax = 100;
constexpr int32_t kGlobalsShotBlastDamage = 82;
constexpr int32_t kGlobalsShotBlastRadius = 83;
constexpr int16_t kBlastShotSubtype = 28;

bool IsReleaseOnlyCause(int32_t cause) { return cause == 14 || (cause >= 16 && cause <= 21); }

int32_t ClampToInt32(int64_t value) { return SaturateToInt32(value); }

const BulletType* BulletTypeOf(const SpaceObject* shot) {
  if (!shot || shot->objClass != kClassBullet) return nullptr;
  const ObjectTypeRecord* row = TypeRow(kClassBullet, shot->subtype);
  return row ? &row->bullet : nullptr;
}

uint32_t BulletFlagsOf(const SpaceObject* shot) {
  const BulletType* type = BulletTypeOf(shot);
  return type ? type->flags : 0;
}

SpaceObject* ShotShooter(const SpaceObject* shot) {
  return shot && shot->ext ? static_cast<const BulletExt*>(shot->ext)->firedBy : nullptr;
}

SpaceObject* MissileLauncher(const SpaceObject* missile) {
  return missile && missile->ext ? static_cast<const MissileExt*>(missile->ext)->launcher : nullptr;
}

bool HasShieldChildren(const SpaceObject* o) {
  return o->objClass == kClassShip || o->objClass == kClassSector || o->objClass == kClassGate ||
         (o->flags & kObjFlagContainer);
}

// A random factor of (base + 0..span-1) percent, drawn from the game's generator.
int64_t RandomPercent(int64_t value, int32_t base, int32_t span) {
  return value * (base + GameRand() * span / 32768) / 100;
}

// The frame step as the object update counts it.
int64_t StepMs() {
  if (!gSystem) return 0;
  const int64_t step = static_cast<int32_t>(gSystem->frameStep);
  return (step > 1000 || step < 0) ? 1000 : step;
}

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// The shield generation of a ship type, or of a dock or factory type; the other classes draw
// from a budget no shield can exhaust.
int64_t ShieldBudget(const SpaceObject* o, int64_t step) {
  const ObjectTypeRecord* row = TypeRow(o->objClass, o->subtype);
  int64_t generation;
  switch (o->objClass) {
    case kClassShip: generation = row ? row->ship.values6[0] : 0; break;
    case kClassDock:
    case kClassFactory: generation = row ? row->station.value3 : 0; break;
    default: return kOtherClassBudget;
  }
  return generation * step / 1000 * 1000;
}

bool IsDebris(const SpaceObject* o) { return o && o->objClass == kClassDebris; }

}  // namespace

bool CreateRockIfHeld(SpaceObject* o) {
  if (o->objClass != kClassAsteroid || o->scriptId != 0 || !IsDebris(o->linkedObject)) return false;
  RaiseObjectEvent(o->linkedObject, "CreateRock", 1, static_cast<int32_t>(o->id));
  return true;
}

namespace {

int32_t IdOf(const SpaceObject* o) { return o ? static_cast<int32_t>(o->id) : 0; }

void StopObject(SpaceObject* o) {
  for (int i = 0; i < 3; ++i) {
    o->turnRates[i] = 0;
    o->refAngles[i] = o->angles[i];
  }
}

SectorObject* SectorParent(const SpaceObject* o) {
  return (o->parent && o->parent->objClass == kClassSector) ? static_cast<SectorObject*>(o->parent) : nullptr;
}

int64_t WorldDistance(const InstanceRecord* a, const InstanceRecord* b) {
  const double dx = double(a->world.x) - b->world.x, dy = double(a->world.y) - b->world.y,
               dz = double(a->world.z) - b->world.z;
  return static_cast<int64_t>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

}  // namespace

bool ObjectInSector(SectorObject* sector, const SpaceObject* object) {
  if (!sector || !object) return false;
  ListHead* children = ObjectChildren(sector);
  if (!children) return false;
  // Pointers only: a record that left the list is never read.
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (o == object) return !ObjectIsQueuedForFree(object);
  }
  return false;
}

void DamageObject(SpaceObject* object, SpaceObject* attacker, int32_t shieldDamage, int32_t hullDamage) {
  if (!object) return;
  const int64_t shieldTotal = std::max<int32_t>(shieldDamage, 0);
  int64_t remaining = shieldTotal;
  int64_t absorbed = 0;
  bool allAbsorbed = false;
  if (HasShieldChildren(object)) {
    ListHead* children = ObjectChildren(object);
    for (SpaceObject* c = children ? ObjectListFirst(children) : nullptr; c; c = ObjectListNext(c)) {
      if (c->objClass != kClassShield || !c->ext) continue;
      auto* shield = static_cast<ShieldExt*>(c->ext);
      if (shield->charge <= 0) continue;
      const ObjectTypeRecord* row = TypeRow(kClassShield, c->subtype);
      const int64_t capacity = row ? row->shield.capacity : 0;
      const int64_t need = capacity > 0 ? remaining * kFullCharge / capacity : 0;
      if (remaining < capacity && need < shield->charge) {
        shield->charge = ClampToInt32(shield->charge - need);
        absorbed += remaining;
        remaining = 0;
        allAbsorbed = true;
        break;
      }
      const int64_t points = int64_t{shield->charge} * capacity / kFullCharge;
      absorbed += points;
      remaining = std::max<int64_t>(remaining - points, 0);
      shield->charge = 0;
    }
  }

  const uint32_t attackerFlags = BulletFlagsOf(attacker);
  const bool piercing = attackerFlags & kBulletFlagPiercing;
  int64_t dealt = absorbed;
  if ((!allAbsorbed || piercing) && hullDamage != 0) {
    int64_t hull = hullDamage;
    if (attackerFlags & (kBulletFlagPiercing | kBulletFlagRepairs)) {
      // The data of shield-piercing shots are tuned for this hull damage being applied twice,
      // each time with its own random factor.
      hull = RandomPercent(hull, 96, 5);
      if (attackerFlags & kBulletFlagRepairs) hull = -hull;
      ObjChangeHull(object, ClampToInt32(hull));
    } else if (hull < 0) {
      hull = remaining;
    } else if (absorbed > 0 && shieldTotal > 0) {
      hull = hull * remaining / shieldTotal;
    }
    if (hull > 0) {
      const int64_t d = RandomPercent(hull, 96, 5);
      ObjChangeHull(object, ClampToInt32(d));
      dealt += d;
    }
  }

  if ((object->flags & kObjFlagBit1) && gSimulationServices.cockpitSetPercentDisplay) {
    const int64_t reference = std::max(object->hitReference, 1);
    const int64_t percent = std::min<int64_t>(dealt, kHitDisplayCap) * 100 / reference;
    gSimulationServices.cockpitSetPercentDisplay(
        static_cast<int32_t>(std::clamp<int64_t>(percent, kHitDisplayMin, kHitDisplayMax)), object);
  }

  if (object->instance && !(object->instance->flags & kInstHidden) && !(object->flags & kObjFlagNoHull)) {
    const bool seenFromInside = attacker && attacker->objClass == kClassBullet && (object->flags & kObjFlagBit1) &&
                                !ShipIsLargeClass(object) && gSimulationServices.cockpitShowsFromInside &&
                                gSimulationServices.cockpitShowsFromInside(object);
    if (!seenFromInside && gSimulationServices.showCollisionEffect) {
      gSimulationServices.showCollisionEffect(object, attacker);
    }
    if (ObjIsInActiveSector(object) && gSimulationServices.playHitSound) gSimulationServices.playHitSound(object, attacker);
  }
}

void RechargeShields(SpaceObject* object) {
  if (!object) return;
  const int64_t step = StepMs();
  int64_t budget = ShieldBudget(object, step);

  ShipExt* ship = object->objClass == kClassShip ? static_cast<ShipExt*>(object->ext) : nullptr;
  if (ship) {
    const ObjectTypeRecord* row = TypeRow(kClassShip, object->subtype);
    if (row) {
      const int64_t cap = int64_t{row->ship.maxWeaponEnergy} * 1000;
      const int64_t gain = ((int64_t{row->ship.weaponRecharge} * cap) >> 16) * step / 1000;
      if (ship->weaponEnergy < cap) ship->weaponEnergy = ClampToInt32(std::min(ship->weaponEnergy + gain, cap));
    }
  }

  if (ListHead* children = HasShieldChildren(object) ? ObjectChildren(object) : nullptr) {
    for (SpaceObject* c = ObjectListFirst(children); c; c = ObjectListNext(c)) {
      if (c->objClass != kClassShield || !c->ext) continue;
      auto* shield = static_cast<ShieldExt*>(c->ext);
      if (shield->blockedUntil != 0) {
        if (shield->blockedUntil > Now()) continue;
        shield->blockedUntil = 0;
      }
      if (shield->charge / 1000 >= 65536) continue;
      const ObjectTypeRecord* row = TypeRow(kClassShield, c->subtype);
      if (!row) continue;
      const int64_t capacity = row->shield.capacity;
      const int64_t efficiency = row->shield.fixedValue;
      const int64_t need = efficiency != 0 ? (65536 - shield->charge / 1000) * capacity / efficiency : 0;
      const int64_t take = std::min<int64_t>(int64_t{row->shield.value0} * step, budget);
      if (take == 0 || need * 1000 / take != 0) {
        const int64_t points = (take * efficiency + 0x8000) >> 16;
        const int64_t gain = capacity != 0 ? points * kFullCharge / (capacity * 1000) : 0;
        shield->charge = ClampToInt32(std::min(shield->charge + gain, kFullCharge));
        budget -= take;
      } else {
        shield->charge = static_cast<int32_t>(kFullCharge);
        budget -= need * 1000;
      }
    }
  }

  if (ship && ship->shieldDrainLeft > 0) {
    const int64_t amount = int64_t{ship->shieldDrainRate} * step / 1000;
    DamageObject(object, object, ClampToInt32(amount), 0);
    ship->shieldDrainLeft = ClampToInt32(ship->shieldDrainLeft - amount);
    if (ship->shieldDrainLeft < 0) {
      ship->shieldDrainLeft = 0;
      ship->shieldDrainRate = 0;
    }
  }
}

void KillObject(SpaceObject* object, int32_t cause, SpaceObject* killer, int32_t explosionFlags) {
  if (!object || (object->flags & kObjFlagRemoving)) return;
  object->flags |= kObjFlagRemoving;
  if (!IsReleaseOnlyCause(cause)) {
    bool stopped = true;
    if (object->flags & kObjFlagNoHull) {
      const ObjectTypeRecord* row = TypeRow(kClassBullet, object->subtype);
      stopped = row && (row->bullet.flags & kBulletFlagStopsWhenKilled);
      if (stopped) {
        object->speed = 0;
        object->speedLimit = 0;
      }
    }
    SectorObject* sector = SectorParent(object);
    if (stopped) {
      StopObject(object);
      if (sector) {
        if (gSimulationServices.createObjectExplosion) {
          gSimulationServices.createObjectExplosion(object, killer, explosionFlags);
        }
        if (ObjIsInActiveSector(object) && gSimulationServices.playExplosionSound) {
          gSimulationServices.playExplosionSound(object);
        }
      }
    }
    if (sector && object->objClass == kClassMissile && (object->flags & kObjFlagArmed)) {
      const ObjectTypeRecord* row = TypeRow(kClassMissile, object->subtype);
      if (row && row->missile.blastRadius > 0) {
        ApplyAreaDamage(sector, object, row->missile.damage, row->missile.blastRadius, killer);
      }
    } else if (sector && object->objClass == kClassBullet && object->subtype == kBlastShotSubtype) {
      ApplyAreaDamage(sector, object, GlobalsGet(kGlobalsShotBlastDamage, 0), GlobalsGet(kGlobalsShotBlastRadius, 0),
                      killer);
    }
  }
  ReleaseObjectReferences(object, 0);
}

void ApplyAreaDamage(SectorObject* sector, SpaceObject* centre, int32_t damage, int32_t radius,
                     SpaceObject* excluded) {
  if (!sector || !centre || damage < 1 || radius < 1 || !centre->instance) return;
  ListHead* children = ObjectChildren(sector);
  if (!children) return;
  UniverseGuardScope guard;
  const bool centreIsMissile = centre->objClass == kClassMissile;
  int32_t cause = kKillByBlast;
  SpaceObject* killer = centre;
  if (centre->objClass == kClassBullet) {
    cause = kKillByShot;
    killer = ShotShooter(centre);
  } else if (centreIsMissile) {
    cause = kKillByMissile;
    killer = MissileLauncher(centre);
  }

  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if ((o->flags & kObjFlagBit10) || o == excluded || !o->instance) continue;
    if (centreIsMissile && o->objClass == kClassMissile && o->owner == centre->owner) continue;
    const int64_t d = WorldDistance(o->instance, centre->instance);
    if (d <= 0 || d >= radius) continue;

    if (CreateRockIfHeld(o) && !ObjectInSector(sector, o)) return;
    const int64_t falloff = (100 - d * 100 / radius) * damage / 100;
    DamageObject(o, centre, ClampToInt32(RandomPercent(falloff, 95, 6)), -1);
    const bool broken = o->hull == 0 || ((o->flags & kObjFlagBit17) && IsDebris(o->linkedObject));
    if (!broken || (o->flags & kObjFlagRemoving)) continue;
    if (o->scriptId == 0) {
      KillObject(o, cause, killer, 0);
    } else {
      RaiseObjectEvent(o, "KilledBy", 3, cause, IdOf(killer), IdOf(centre));
    }
    if (!ObjectInSector(sector, o)) return;
  }
}

int32_t RemoteDetonateMissiles(SpaceObject* launcher) {
  SectorObject* sector = launcher ? SectorParent(launcher) : nullptr;
  ListHead* children = sector ? ObjectChildren(sector) : nullptr;
  if (!children) return 0;
  UniverseGuardScope guard;
  int32_t result = 0;
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (o->objClass != kClassMissile || (o->flags & kObjFlagRemoving) || MissileLauncher(o) != launcher) continue;
    const ObjectTypeRecord* row = TypeRow(kClassMissile, o->subtype);
    if (!row || !(row->missile.missileFlags & kMissileFlagRemoteDetonation)) continue;
    result = 1;
    if (o->scriptId != 0) {
      RaiseObjectEvent(o, "KilledBy", 3, kKillByShot, 0, 0);
    } else {
      KillObject(o, kKillByShot, nullptr, 0);
    }
    if (!ObjectInSector(sector, o)) break;
  }
  return result;
}
