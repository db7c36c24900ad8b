// The rules that answer questions about one space object or a pair of them: shield, hull and
// weapon energy, maximum speed, relations, collision exemptions, valid targets, weapon ranges,
// turret and dock-port facts, viewpoints and body-type names. Called by the script natives, the
// simulation and the HUD. Products that can pass 32 bits are formed in 64 and saturated; type rows
// and auxiliary tables are read only within their counts; no walk along object links is unbounded.
#include "universe/object_queries.h"

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "scene/lights.h"
#include "script/engine.h"
#include "script/text_database.h"
#include "script/value.h"
#include "universe/dock_ports.h"
#include "universe/object_math.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kCelestialShield = 10000000;
constexpr int32_t kSpecialShield = 100;
constexpr int32_t kSpeedCap = 20000;
constexpr uint32_t kObjFlagDead = kObjFlagNoHull;  // bit 30: dead, no hull left
constexpr uint32_t kObjFlag2Bit15 = 1u << 15;      // a container that caps its ships' speed
constexpr uint32_t kObjFlag2Bit16 = 1u << 16;
constexpr uint32_t kObjFlag2Bit18 = 1u << 18;
constexpr uint32_t kObjFlag2HullFloor = 1u << 23;
constexpr uint16_t kSpeedLimitedRace = 10;
constexpr int32_t kGlobalSpeedSmall = 1;
constexpr int32_t kGlobalSpeedLarge = 2;
constexpr int32_t kHullFloorPercent = 93;
constexpr uint32_t kMissileCollisionGrace = 2001;  // game time after launch
constexpr int32_t kTurretRateStart = 16384;
constexpr int32_t kMaxFactoryChain = 4096;  // a longer chain is taken as a loop of links
constexpr int32_t kSubtypeSpecialOnly = 275;
constexpr int32_t kViewpointCount = kFlightViewRowsPerGroup;

// The script classes whose ships count as ware-like objects.
constexpr uint32_t kWareScriptClasses[] = {2079, 2066, 2061, 2011, 2070, 2064};

// Ship command states these rules look at.
constexpr uint16_t kStateApproach = 5;
constexpr uint16_t kStateDocking = 20;
constexpr uint16_t kStateLaunching = 21;
constexpr uint16_t kStateCollect = 24;
constexpr uint16_t kStateApproachB = 30;
constexpr uint16_t kStateMining = 36;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

const ObjectTypeRecord* RowOf(const SpaceObject* object) {
  return object ? TypeRow(object->objClass, object->subtype) : nullptr;
}

ShipExt* ShipOf(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? static_cast<ShipExt*>(object->ext) : nullptr;
}

const MissileExt* GuidedMissile(const SpaceObject* object) {
  if (!object || object->objClass != kClassMissile || !(object->flags & kObjFlagArmed)) return nullptr;
  return static_cast<const MissileExt*>(object->ext);
}

bool IsWreck(uint16_t objClass) { return objClass >= kClassDockWreck && objClass <= kClassShipWreck; }
bool IsWare(uint16_t objClass) { return objClass >= kClassWareFirst && objClass <= kClassWareLast; }
bool IsRock(uint16_t objClass) { return objClass == kClassAsteroid || objClass == kClassDebris; }
bool IsSpecialWithoutShield(int16_t subtype) { return subtype == 3 || subtype == 4 || subtype == 28; }

// The classes whose shield is their maximum shield: they carry no charge of their own.
bool ShieldIsFixed(const SpaceObject* o) {
  switch (o->objClass) {
    case kClassBullet:
    case kClassMissile:
    case kClassSun:
    case kClassPlanet:
    case kClassAsteroid:
    case kClassDebris:
    case kClassSpecial: return true;
    default: return IsWreck(o->objClass);
  }
}

int64_t ShieldObjectCharge(const SpaceObject* shield) {
  const ObjectTypeRecord* row = RowOf(shield);
  if (!row || !shield->ext) return 0;
  const int64_t charge = static_cast<const ShieldExt*>(shield->ext)->charge;
  return static_cast<int64_t>(row->shield.capacity) * charge / kShieldFullFraction;
}

// Sum over the shield children of a container, each by `value`.
template <typename Value>
int32_t SumShieldChildren(const SpaceObject* container, Value value) {
  ListHead* children = ObjectChildren(const_cast<SpaceObject*>(container));
  if (!children) return 0;
  int64_t sum = 0;
  for (SpaceObject* c = ObjectListFirst(children); c; c = ObjectListNext(c)) {
    if (c->objClass == kClassShield) sum += value(c);
  }
  return SaturateToInt32(sum);
}

// The ship command state and target, or (0, null) for anything else.
uint16_t CommandState(const SpaceObject* o) {
  const ShipExt* ship = ShipOf(o);
  return ship ? ship->commandState : 0;
}
const SpaceObject* CommandTarget(const SpaceObject* o) {
  const ShipExt* ship = ShipOf(o);
  return ship ? ship->commandObject : nullptr;
}

bool MutuallyPeaceful(const SpaceObject* a, const SpaceObject* b) {
  return !ObjIsHostile(a, b) && !ObjIsHostile(b, a);
}

// Rule 2: a container never collides with a ship that approaches it, nor with its docking aids.
bool ContainerLetsThrough(const SpaceObject* container, const SpaceObject* other) {
  if (!(container->flags & kObjFlagContainer)) return false;
  if (other->objClass == kClassShip) {
    const uint16_t state = CommandState(other);
    if ((state == kStateApproach || state == kStateApproachB) && CommandTarget(other) == container) return true;
  }
  return other->objClass == kClassSpecial && other->subtype >= 45 && other->subtype <= 47;
}

SpaceObject* LinkedFactory(const SpaceObject* factory) {
  return factory->ext ? static_cast<const FactoryExt*>(factory->ext)->linkedFactory : nullptr;
}

// Whether `target` lies on the chain of links that starts at `from`. A loop of links never
// reaches a factory without a link, so the walk is cut off after a bounded number of steps.
bool ChainReaches(const SpaceObject* from, const SpaceObject* target) {
  const SpaceObject* at = LinkedFactory(from);
  for (int32_t steps = 0; at && steps < kMaxFactoryChain; ++steps) {
    if (at == target) return true;
    if (at->objClass != kClassFactory) return false;
    at = LinkedFactory(at);
  }
  return false;
}

// Rule 4 from the missile's side; false when the pair is not shaped so.
bool MissileLetsThrough(const SpaceObject* m, const SpaceObject* x) {
  const MissileExt* missile = GuidedMissile(m);
  if (!missile || missile->target == x) return false;
  if (missile->launcher == x) return true;
  const MissileExt* otherMissile = GuidedMissile(x);
  const bool smallShip = x->objClass == kClassShip && !ShipIsLargeClass(x);
  if (!smallShip && !(otherMissile && otherMissile->target != m)) return false;
  if (m->owner == x->owner) return true;
  const SpaceObject* stand = otherMissile ? otherMissile->launcher : x;
  return missile->launcher && stand && MutuallyPeaceful(missile->launcher, stand);
}

bool LaunchedRecently(const SpaceObject* ship, const SpaceObject* m) {
  const MissileExt* missile = GuidedMissile(m);
  return ship->objClass == kClassShip && missile && missile->launcher == ship &&
         Now() - missile->launchedAt < kMissileCollisionGrace;
}

bool DockingOrLaunchingToward(const SpaceObject* target, const SpaceObject* ship) {
  const uint16_t state = CommandState(target);
  return target->objClass == kClassShip && (state == kStateDocking || state == kStateLaunching) &&
         CommandTarget(target) == ship;
}

bool IsTargetClass(uint16_t objClass) {
  switch (objClass) {
    case kClassSun:
    case kClassPlanet:
    case kClassDock:
    case kClassFactory:
    case kClassShip:
    case kClassAsteroid:
    case kClassGate:
    case kClassSpecial:
    case kClass21:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: return true;
    default: return false;
  }
}

bool ScriptClassIsWare(int32_t scriptClass) {
  const ObjectInstance* object = FindScriptObject(gScriptEngine, scriptClass);
  if (!object) return false;
  for (uint32_t id : kWareScriptClasses) {
    if (ObjectIsClass(object, id)) return true;
  }
  return false;
}

void WalkObjectTrees(ListHead* list) {
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) {
    if (ListHead* children = ObjectChildren(o)) WalkObjectTrees(children);
  }
}

const DockPortType* TypePort(int32_t objClass, int32_t subtype, int32_t port) {
  return DockPortOfList(GetTypeDockSlotList(objClass, subtype), port);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shield, hull and energy.

int32_t ObjGetMaxShield(const SpaceObject* object) {
  if (!object) return 0;
  const ObjectTypeRecord* row = RowOf(object);
  switch (object->objClass) {
    case kClassBullet: return row ? row->bullet.energy : 0;
    case kClassMissile: return row ? row->missile.damage : 0;
    case kClassShield: return row ? row->shield.capacity : 0;
    case kClassSun:
    case kClassPlanet: return kCelestialShield;
    case kClassAsteroid:
    case kClassDebris: return 0;
    case kClassSpecial: return IsSpecialWithoutShield(object->subtype) ? 0 : kSpecialShield;
    default: break;
  }
  if (IsWreck(object->objClass)) return 0;
  if (ObjIsContainer(object)) {
    return SumShieldChildren(object, [](const SpaceObject* s) { return int64_t{ObjGetMaxShield(s)}; });
  }
  if (object->objClass == kClassLaser || IsWare(object->objClass)) {
    int64_t perUnit = 100;
    if (object->objClass == kClassWareLast && object->subtype == 0) perUnit = 5000;
    else if (object->objClass == kClassWareFirst) perUnit = 500;
    return SaturateToInt32(perUnit * ObjGetQuantity(object));
  }
  return 0;
}

int32_t ObjGetShield(const SpaceObject* object) {
  if (!object) return 0;
  if (ShieldIsFixed(object)) return ObjGetMaxShield(object);
  if (object->objClass == kClassShield) return SaturateToInt32(ShieldObjectCharge(object));
  if (ObjIsContainer(object)) return SumShieldChildren(object, ShieldObjectCharge);
  return 0;
}

int32_t ObjSetShield(SpaceObject* object, int32_t value) {
  if (!ObjIsContainer(object)) return 0;
  const int32_t maximum = ObjGetMaxShield(object);
  if (maximum <= 0) return 0;
  if (value > maximum) value = maximum;
  if (value < 0) value = 0;  // a negative charge would read back as a negative shield
  const int64_t fraction = static_cast<int64_t>(value) * kShieldFullFraction / maximum;
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(object)); c; c = ObjectListNext(c)) {
    if (c->objClass == kClassShield && c->ext) static_cast<ShieldExt*>(c->ext)->charge = SaturateToInt32(fraction);
  }
  return value;
}

int32_t ObjGetShieldPlusEnergy(const SpaceObject* object) {
  return SaturateToInt32(int64_t{ObjGetShield(object)} + ShipGetWeaponEnergy(object));
}

int32_t ObjSetEnergy(int32_t value, SpaceObject* object) {
  if (ShipOf(object)) return ShipSetWeaponEnergy(object, value);
  if (!ObjIsContainer(object)) return 0;
  // A container that is no ship has no weapon energy: its maximum is 0 and nothing is stored.
  return value < 0 ? value : 0;
}

int32_t ObjGetMaxHull(const SpaceObject* object) {
  if (!object || (object->flags & kObjFlagDead)) return 0;
  if (object->objClass == kClassMissile && !(object->flags & kObjFlagArmed)) return gMaxHullContainer;
  return GetTypeMaxHull(object->subtype, object->objClass);
}

int32_t ObjSetHull(SpaceObject* object, int32_t value) {
  if (!object) return 0;
  if (value < 0) value = 0;
  const int32_t maximum = ObjGetMaxHull(object);
  if (value > maximum) value = maximum;
  object->hull = value;
  return value;
}

void ObjChangeHull(SpaceObject* object, int32_t damage) {
  if (!object) return;
  const bool hullClass = object->objClass >= kClassDock && object->objClass <= kClassWareLast;
  const bool hullSpecial = object->objClass == kClassSpecial && IsSpecialWithoutShield(object->subtype);
  if (!hullClass && !hullSpecial) return;
  const int64_t maximum = ObjGetMaxHull(object);
  int64_t hull = int64_t{object->hull} - damage;
  if (hull < 0) hull = 0;
  if (damage < 0 && hull > maximum) hull = object->hull > maximum ? object->hull : maximum;
  if (object->flags2 & kObjFlag2HullFloor) {
    const int64_t floor = maximum * kHullFloorPercent / 100;
    if (hull < floor) hull = floor;
  }
  object->hull = SaturateToInt32(hull);
}

// ---------------------------------------------------------------------------------------------
// Speed.

int32_t GetObjectMaxSpeed(SpaceObject* object) {
  if (!object) return 0;
  int32_t v = TypeGetSpeed(object->objClass, object->subtype);
  if (ShipExt* ship = ShipOf(object)) {
    if (ship->maxSpeedOverride >= 0) return ship->maxSpeedOverride;
    if (ship->speedTuning != 0) v = SaturateToInt32((int64_t{v} * (kFixedOne + int64_t{ship->speedTuning}) + 32768) >> 16);
    const int32_t maxHull = ObjGetMaxHull(object);
    if (!(object->flags & kObjFlagDead) && maxHull > 0) {
      // Full speed from 90 % hull upward, 30 % of it at 10 % hull and below.
      v = InterpolateClamped(SaturateToInt32(int64_t{maxHull} * 90 / 100), SaturateToInt32(int64_t{maxHull} * 10 / 100),
                             object->hull, SaturateToInt32(int64_t{v} * 30 / 100), v);
    }
    if (ship->slowdownFactor != 0) {
      if (static_cast<int32_t>(Now() - ship->slowdownEnd) < 1) {
        v = SaturateToInt32((int64_t{v} * (kFixedOne - int64_t{ship->slowdownFactor}) + 32768) >> 16);
      } else {
        ship->slowdownFactor = 0;
        ship->slowdownEnd = 0;
      }
    }
    if (object->owner == kSpeedLimitedRace && ship->race10SpeedLimit >= 0 && v > ship->race10SpeedLimit) {
      v = ship->race10SpeedLimit;
    }
  }
  if (object->parent && (object->parent->flags2 & kObjFlag2Bit15) && v > kSpeedCap) v = kSpeedCap;
  return v;
}

int32_t GetObjectMaxSpeedQuarterMin(SpaceObject* object) {
  const int32_t quarter = GetObjectMaxSpeed(object) / 4;
  return quarter <= kSpeedCap ? kSpeedCap : quarter;
}

int32_t ShipGetGlobalsScaledSpeed(const SpaceObject* ship) {
  const ShipExt* ext = ShipOf(ship);
  if (ext && ext->valueOverride >= 0) return ext->valueOverride;
  const int32_t id = ShipIsLargeClass(ship) ? kGlobalSpeedLarge : kGlobalSpeedSmall;
  for (int32_t i = 0; gGlobalsTable.entries && i < gGlobalsTable.count; ++i) {
    if (gGlobalsTable.entries[i].id != id) continue;
    return SaturateToInt32((int64_t{gGlobalsTable.entries[i].value} * ObjGetTunedSpeed(ship) + 32768) >> 16);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Relations.

int32_t ObjGetRelationEx(const SpaceObject* other, const SpaceObject* context) {
  if (!other || !context) return 0;
  uint32_t reciprocal = 0;
  if (context->ext) {
    if (context->objClass == kClassShip) reciprocal = static_cast<const ShipExt*>(context->ext)->reciprocalHostile;
    if (context->objClass == kClassDock || context->objClass == kClassFactory) {
      reciprocal = static_cast<const DockExt*>(context->ext)->reciprocalHostile;
    }
  }
  if (reciprocal && ObjGetRelation(context, other) < 0) return -1;
  return ObjGetRelation(other, context);
}

bool ObjIsHostile(const SpaceObject* other, const SpaceObject* context) {
  return other && ObjGetRelationEx(other, context) < 0;
}

void ObjSetRelationToRaceOf(SpaceObject* context, const SpaceObject* other, int32_t value) {
  if (context && other) ObjSetRelation(other->owner, context, value);
}

bool ObjIsWareObject(const SpaceObject* object) {
  if (!object) return false;
  switch (object->objClass) {
    case kClassLaser:
    case kClassShield: return true;
    case kClassMissile: return !(object->flags & kObjFlagArmed);
    case kClassAsteroid:
      // An asteroid of subtype 9 that holds an object (its linked object) counts as a ware.
      return object->subtype == 9 && object->linkedObject != nullptr;
    case kClassShip: {
      const ObjectTypeRecord* row = RowOf(object);
      return row && !IsPlayerObject(object) && ScriptClassIsWare(row->ship.scriptClass);
    }
    default: return IsWare(object->objClass);
  }
}

// ---------------------------------------------------------------------------------------------
// Pairs and targets.

bool ObjPairIgnoresCollision(const SpaceObject* a, const SpaceObject* b) {
  if (!a || !b) return false;
  if (IsRock(a->objClass) && IsRock(b->objClass)) return true;
  if (ContainerLetsThrough(a, b) || ContainerLetsThrough(b, a)) return true;
  if (a->objClass == kClassFactory && b->objClass == kClassFactory) {
    if (LinkedFactory(a) && LinkedFactory(b)) return true;
    if (ChainReaches(a, b) || ChainReaches(b, a)) return true;
  }
  if (MissileLetsThrough(a, b) || MissileLetsThrough(b, a)) return true;

  const bool aBit1 = a->flags & kObjFlagBit1, bBit1 = b->flags & kObjFlagBit1;
  if ((aBit1 || bBit1) && !(a->flags2 & kObjFlag2Bit3) && !(b->flags2 & kObjFlag2Bit3)) return false;
  if (!aBit1 && !bBit1 && ((a->flags2 | b->flags2) & kObjFlag2Bit28)) return true;
  if (a->objClass == kClassShip && b->objClass == kClassShip && MutuallyPeaceful(a, b) &&
      !((a->flags2 | b->flags2) & kObjFlag2Bit18)) {
    return true;
  }
  if (LaunchedRecently(a, b) || LaunchedRecently(b, a)) return true;
  if (a->objClass == kClassSpecial) {
    return (b->flags2 & kObjFlag2Bit16) || (b->objClass == kClassSpecial && (a->flags2 & kObjFlag2Bit16));
  }
  if (b->objClass == kClassSpecial) return (a->flags2 & kObjFlag2Bit16) != 0;
  return false;
}

bool ShipIsValidTarget(const SpaceObject* target, SpaceObject* ship) {
  if (!ship || ship->objClass != kClassShip || !target || !IsTargetClass(target->objClass)) return false;
  if (ShipIsCapitalClass(ship)) {
    if (target->objClass == kClassShip && !ShipIsLargeClass(target)) return false;
    if (ObjIsWareObject(target)) return false;
  }
  if (DockingOrLaunchingToward(target, ship)) return false;

  const uint16_t state = CommandState(ship);
  if ((state == kStateCollect || state == kStateMining) && ObjIsWareObject(target)) return false;
  if (state == kStateMining && target->objClass == kClassAsteroid && int64_t{target->radius} < 5 * int64_t{ship->radius}) {
    // A slow, weakly protected miner leaves small rocks alone.
    const int64_t shield = ObjGetShield(ship);
    const int64_t strength = (shield + 2 * int64_t{ObjGetMaxHull(ship)}) * ship->speed / 100000;
    if (ship->speed < GetObjectMaxSpeed(ship) / 2 && strength < shield) return false;
  }
  if (target->objClass == kClassShip && target->subtype == kSubtypeSpecialOnly) {
    return ship->subtype == kSubtypeSpecialOnly;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Weapons and turrets.

int32_t BulletGetRange(const SpaceObject* bullet) {
  if (!bullet || bullet->objClass != kClassBullet) return 0;
  return TypeGetScaledValue(RowOf(bullet));
}

int32_t LaserGetBulletRange(const SpaceObject* laser) {
  if (!laser || laser->objClass != kClassLaser) return 0;
  return TypeGetScaledValueOfSub(RowOf(laser));
}

bool LaserIsInTurret(const SpaceObject* laser, const SpaceObject* ship, int32_t turret) {
  if (!laser || laser->objClass != kClassLaser || !laser->ext || !ship || ship->objClass != kClassShip) return false;
  if (turret < 0 || GetShipTurretCount(ship) <= turret) return false;
  const int64_t slot = static_cast<const LaserExt*>(laser->ext)->laserSlot;
  const int64_t first = ShipTurretFirstSlot(ship->subtype, turret);
  return slot >= first && slot < first + ShipTurretSlotCount(ship->subtype, turret);
}

bool ShipTurretLaserMinima(SpaceObject* ship, int32_t turret, int32_t* outA, int32_t* outB) {
  int32_t a = 0, b = 0;
  bool found = false;
  if (ShipOf(ship)) {
    a = b = kTurretRateStart;
    for (SpaceObject* c = ObjectListFirst(ObjectChildren(ship)); c; c = ObjectListNext(c)) {
      const ObjectTypeRecord* row = RowOf(c);
      if (!row || !LaserIsInTurret(c, ship, turret)) continue;
      found = true;
      if (row->turnRate[0] < a) a = row->turnRate[0];
      if (row->turnRate[1] < b) b = row->turnRate[1];
    }
  }
  if (outA) *outA = a;
  if (outB) *outB = b;
  return found;
}

void ObjGetLaserMinMax(SpaceObject* object, int32_t* outMin, int32_t* outMax) {
  bool any = false;
  int32_t smallest = 0, largest = 0;
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(object)); c; c = ObjectListNext(c)) {
    if (c->objClass != kClassLaser) continue;
    const int32_t range = LaserGetBulletRange(c);
    if (!any || range < smallest) smallest = range;
    if (!any || range > largest) largest = range;
    any = true;
  }
  if (outMin) *outMin = smallest;
  if (outMax) *outMax = largest;
}

void BulletCreateLight(SpaceObject* bullet) {
  if (!bullet || bullet->objClass != kClassBullet || !bullet->ext) return;
  const ObjectTypeRecord* row = RowOf(bullet);
  if (!row || (row->bullet.lightRed == 0 && row->bullet.lightGreen == 0 && row->bullet.lightBlue == 0)) return;
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return;
  B3D_LightSetColor(light, static_cast<int16_t>(row->bullet.lightRed), static_cast<int16_t>(row->bullet.lightGreen),
                    static_cast<int16_t>(row->bullet.lightBlue));
  light->flags |= 0x400000u | 0x20000000u;  // a point light that also shines on its own body
  light->words31[0] = 0x10000;
  light->words31[1] = 0xA0000;
  light->words31[2] = 0;
  light->lightParam = 8;
  B3D_LightSetRange(light, 1000000);
  static_cast<BulletExt*>(bullet->ext)->attachedInstance = light;
}

// ---------------------------------------------------------------------------------------------
// Dock-port facts of a type.

int32_t TypeGetDockSlotCount(int32_t subtype, int32_t objClass) {
  return DockPortCount(GetTypeDockSlotList(objClass, subtype));
}

uint32_t TypeGetDockSlotValue(int32_t subtype, int32_t port, int32_t objClass) {
  const DockPortType* entry = TypePort(objClass, subtype, port);
  return entry ? entry->animFlags : 0;
}

uint32_t TypeDockSlotHasFlag(int32_t objClass, int32_t port, int32_t subtype, int32_t bit, bool inside) {
  const DockPortType* entry = TypePort(objClass, subtype, port);
  if (!entry || bit < 0 || bit > 31 || !((entry->flags >> bit) & 1u)) return 0;
  if ((entry->flags & kDockPortInsideOnly) && !inside) return 0;
  if ((entry->flags & kDockPortOutsideOnly) && inside) return 0;
  return entry->flags;
}

// ---------------------------------------------------------------------------------------------
// Viewpoints, names and the object dump.

void ShipSelectViewpoint(SpaceObject* ship, int32_t n, bool apply, bool force) {
  ShipExt* ext = ShipOf(ship);
  // Scripts choose n: a viewpoint or a group beyond the table changes nothing.
  if (!ext || n < -1 || n >= kViewpointCount || (n == ext->viewpoint && !force)) return;
  const ObjectTypeRecord* row = RowOf(ship);
  const int32_t group = row ? row->ship.viewpointGroup : -1;
  const FlightViewRow* view = nullptr;
  if (n != -1 && group != -1) {
    if (group < 0 || group >= gFlightViewTable.groupCount || !gFlightViewTable.rows) return;
    view = &gFlightViewTable.rows[static_cast<int64_t>(group) * kViewpointCount + n];
  }
  ext->viewpoint = n;
  ship->flags2 &= ~kObjFlag2Viewpoint;
  for (int i = 0; i < 3; ++i) ext->viewAngles[i] = view ? view->angle[i] : 0;
  if (view && (view->flag & 1)) ship->flags2 |= kObjFlag2Viewpoint;
  if (!apply) return;
  for (int i = 0; i < 3; ++i) {
    ext->viewAnglesB[i] = ext->viewAngles[i];
    ext->viewAnglesC[i] = 0;
  }
  FixedMatrix view3;
  MatrixFromAngles(&view3, static_cast<uint32_t>(ext->viewAnglesB[0]), static_cast<uint32_t>(ext->viewAnglesB[1]),
                   static_cast<uint32_t>(ext->viewAnglesB[2]));
  if (ship->instance) MatrixMultiply(&ext->rotation, &view3, &ship->instance->matrix);
  else ext->rotation = view3;
}

const char* GetBodyTypeName(int32_t bodyId) {
  int32_t objClass = 0, subtype = 0;
  const ObjectTypeRecord* row = FindTypeByBodyId(bodyId, &objClass, &subtype) ? TypeRow(objClass, subtype) : nullptr;
  return row ? ReadText(0, row->nameTextId) : "--- Unknown Body ---";
}

void DumpObjectTree(SpaceObject* object, int32_t) {
  if (!object) return;
  if (ListHead* children = ObjectChildren(object)) WalkObjectTrees(children);
}

void DumpAllObjects() {
  // The dump has no output of its own: it walks every tree and changes nothing.
  if (gUniverse) WalkObjectTrees(&gUniverse->objects);
}
