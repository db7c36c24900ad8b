// What the object records answer by themselves: the extension size and child list of each class,
// and the small accessors over objects and type rows that the fixed-point unit declares for every
// subsystem (class tests, instance distances, the bullet range and flagged id a laser's bullet
// type gives). Called by object creation, the simulation and the scene engine. Never allocates
// and never reads past a type table: a row index is checked against its table's count.
#include <cmath>

#include "universe/universe.h"

namespace {

// A laser type names its bullet type by subtype; the bullet row, or null when there is none.
const ObjectTypeRecord* BulletTypeOfLaser(const ObjectTypeRecord* laser) {
  if (!laser) return nullptr;
  const ObjectTypeTable& bullets = gObjectTypeTables[kClassBullet];
  const int32_t row = laser->laser.bulletType;
  if (!bullets.rows || row < 0 || row >= bullets.count) return nullptr;
  return &bullets.rows[row];
}

}  // namespace

size_t ObjectExtensionSize(uint16_t objClass) {
  switch (objClass) {
    case kClassBullet: return sizeof(BulletExt);
    case kClassSector: return sizeof(SectorExt);
    case kClassSun: return sizeof(SunExt);
    case kClassPlanet: return sizeof(PlanetExt);
    case kClassDock: return sizeof(DockExt);
    case kClassFactory: return sizeof(FactoryExt);
    case kClassShip: return sizeof(ShipExt);
    case kClassLaser: return sizeof(LaserExt);
    case kClassShield: return sizeof(ShieldExt);
    case kClassMissile: return sizeof(MissileExt);
    case kClassAsteroid: return sizeof(AmountExt);
    case kClassGate: return sizeof(GateExt);
    case kClassCamera: return sizeof(CameraExt);
    case kClassSpecial: return sizeof(SpecialExt);
    case kClass21: return sizeof(Class21Ext);
    case kClassDebris:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: return sizeof(AmountExt);
    default: break;
  }
  if (objClass >= kClassWareFirst && objClass <= kClassWareLast) return sizeof(AmountExt);
  return 0;
}

ListHead* ObjectChildren(SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  switch (object->objClass) {
    case kClassSector: return &static_cast<SectorExt*>(object->ext)->children;
    case kClassDock: return &static_cast<DockExt*>(object->ext)->children;
    case kClassFactory: return &static_cast<FactoryExt*>(object->ext)->dock.children;
    case kClassShip: return &static_cast<ShipExt*>(object->ext)->children;
    case kClassGate: return &static_cast<GateExt*>(object->ext)->children;
    default: return nullptr;
  }
}

int32_t ObjectDistance(const SpaceObject* a, const SpaceObject* b) {
  if (!a || !b || !a->instance || !b->instance) return 0;
  const FixedVector& p = a->instance->position;
  const FixedVector& q = b->instance->position;
  const double dx = static_cast<double>(p.x) - q.x, dy = static_cast<double>(p.y) - q.y,
               dz = static_cast<double>(p.z) - q.z;
  return TruncateToWord(std::sqrt(static_cast<float>(dx * dx + dy * dy + dz * dz)));
}

int32_t ObjectMaxNormDistance(const SpaceObject* a, const SpaceObject* b) {
  if (!a || !b || !a->instance || !b->instance) return 0;
  const FixedVector& p = a->instance->position;
  const FixedVector& q = b->instance->position;
  // Differences are words: they wrap as the positions' own arithmetic does.
  auto gap = [](int32_t u, int32_t v) {
    const int32_t d = static_cast<int32_t>(static_cast<uint32_t>(u) - static_cast<uint32_t>(v));
    return d < 0 ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
  };
  uint32_t largest = gap(p.x, q.x);
  if (gap(p.y, q.y) > largest) largest = gap(p.y, q.y);
  if (gap(p.z, q.z) > largest) largest = gap(p.z, q.z);
  return static_cast<int32_t>(largest);
}

bool IsObjectClass567(const SpaceObject* o) { return o && o->objClass >= kClassDock && o->objClass <= kClassShip; }

bool IsObjectClass56(const SpaceObject* o) { return o && (o->objClass == kClassDock || o->objClass == kClassFactory); }

bool IsObjectClass7Type267(const SpaceObject* o) {
  return o && o->objClass == kClassShip && static_cast<uint16_t>(o->subtype) == 267;
}

// A bullet type's range: its lifetime (ms) times its speed.
int32_t TypeGetScaledValue(const ObjectTypeRecord* t) {
  if (!t) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(t->bullet.lifetime) * t->bullet.speed / 1000);
}

int32_t TypeGetScaledValueOfSub(const ObjectTypeRecord* r) { return TypeGetScaledValue(BulletTypeOfLaser(r)); }

int32_t TypeGetFactorOfSub(const ObjectTypeRecord* r) {
  const ObjectTypeRecord* t = BulletTypeOfLaser(r);
  return t ? t->bullet.speed : 0;
}

int32_t TypeGetFlaggedId(const ObjectTypeRecord* t) {
  if (!t || !(t->bullet.flags & kBulletFlagFlaggedId)) return 0;
  return t->tailValue[0] | 0x100000;
}

int32_t TypeGetFlaggedIdOfSub(const ObjectTypeRecord* r) { return TypeGetFlaggedId(BulletTypeOfLaser(r)); }
