// The type-field accessors: the checked row accessor and the per-class readers, object readers
// and writers and the searches over the type tables. Called by every part of the universe model
// and by the simulation; holds no state, never allocates, and never reads a row without
// `TypeRow`'s bounds check.
#include "universe/type_access.h"

#include <cstdlib>
#include <cstring>

#include "scene/cut_keys.h"
#include "scene/instance_records.h"
#include "universe/object_references.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

GlobalsTable gGlobalsTable = {};
FlightViewTable gFlightViewTable = {};
BodyIdList gBodyIdLists = {};
DummyTable gDummyTable = {};
ComponentTable gComponentTable = {};
MatchTable gMatchTable = {};
WareListTable gWareLists = {};

namespace {

constexpr int32_t kFixedOne = 65536;
constexpr int32_t kCameraSpeed = 1000000;
constexpr int32_t kSectorNameTextId = 882;

bool IsClass(int32_t objClass, int32_t a, int32_t b) { return objClass == a || objClass == b; }
bool IsWreck(int32_t objClass) { return objClass >= kClassDockWreck && objClass <= kClassShipWreck; }

const ShipType* ShipRow(int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(kClassShip, subtype);
  return row ? &row->ship : nullptr;
}

const ObjectTypeRecord* ObjectRow(const SpaceObject* object) {
  return object ? TypeRow(object->objClass, object->subtype) : nullptr;
}

const ShipType* ObjectShipRow(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? ShipRow(object->subtype) : nullptr;
}

ShipExt* ShipExtOf(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? static_cast<ShipExt*>(object->ext) : nullptr;
}

// value x (1 + t) in 16.16, rounded; the product is formed in 64 bits.
int32_t Tuned(int32_t value, int32_t tuning) {
  return SaturateToInt32((static_cast<int64_t>(value) * (kFixedOne + static_cast<int64_t>(tuning)) + 32768) >> 16);
}

int32_t TunedTurnRate(const SpaceObject* object, int axis) {
  const ObjectTypeRecord* row = ObjectRow(object);
  if (!row) return 0;
  const ShipExt* ship = ShipExtOf(object);
  return ship ? Tuned(row->turnRate[axis], ship->rotationTuning) : row->turnRate[axis];
}

// The amount word of a ware-like object, or null for a class without one.
uint32_t* QuantityWord(const SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  if (object->objClass >= kClassLaser && object->objClass <= kClassWareLast) {
    return static_cast<uint32_t*>(object->ext);  // every extension of these classes starts with it
  }
  if (object->objClass == kClassCamera) return &static_cast<CameraExt*>(object->ext)->words[3];
  return nullptr;
}

// A whole decimal number (digits only); false for anything else.
bool ParseDecimal(const char* text, int64_t* value) {
  if (!text || *text < '0' || *text > '9') return false;
  int64_t v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    if (v < (int64_t{1} << 40)) v = v * 10 + (*p - '0');
  }
  *value = v;
  return true;
}

int32_t TypeBodyForSearch(const ObjectTypeRecord* row) {
  return row->altBodyId > 0 ? row->altBodyId : row->bodyId;
}

constexpr int32_t kLookupClassOrder[] = {kClassShip,     kClassFactory,      kClassDock,
                                         kClassGate,     kClassPlanet,       kClassAsteroid,
                                         kClassDebris,   kClassDockWreck,    kClassFactoryWreck,
                                         kClassShipWreck, kClassSpecial};

bool FindByLookup(int32_t id, bool withQualifier, int32_t qualifier, int32_t* outClass,
                  int32_t* outSubtype) {
  for (int32_t objClass : kLookupClassOrder) {
    for (int32_t s = 0; s < gObjectTypeTables[objClass].count; ++s) {
      if (GetTypeLookupId(s, objClass) != id) continue;
      if (withQualifier && GetTypeQualifier(objClass, s) != qualifier) continue;
      if (outClass) *outClass = objClass;
      if (outSubtype) *outSubtype = s;
      return true;
    }
  }
  return false;
}

bool FindByBody(int32_t id, bool withQualifier, int32_t qualifier, int32_t* outClass,
                int32_t* outSubtype) {
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) {
    for (int32_t s = 0; s < gObjectTypeTables[objClass].count; ++s) {
      if (TypeBodyForSearch(&gObjectTypeTables[objClass].rows[s]) != id) continue;
      if (withQualifier && GetTypeQualifier(objClass, s) != qualifier) continue;
      if (outClass) *outClass = objClass;
      if (outSubtype) *outSubtype = s;
      return true;
    }
  }
  return false;
}

bool WordListHas(const WordList* list, int32_t value) {
  if (!list->values) return false;
  for (int32_t i = 0; i < list->count; ++i) {
    if (list->values[i] == value) return true;
  }
  return false;
}

bool InBodyList(int kind, int32_t body) { return WordListHas(&gBodyIdLists.lists[kind], body); }

// The child after `after` when it lies in the container; the first child when it does not (or
// is null), so a stale or foreign `after` never leads the walk into another list.
SpaceObject* NextChild(SpaceObject* container, SpaceObject* after) {
  ListHead* children = container ? ObjectChildren(container) : nullptr;
  SpaceObject* first = children ? ObjectListFirst(children) : nullptr;
  if (!after) return first;
  for (SpaceObject* o = first; o; o = ObjectListNext(o)) {
    if (o == after) return ObjectListNext(o);
  }
  return first;
}

// The row of the cut path the instance plays, when the instance names a registered cut and a
// path inside it.
const PathRecord* PlayedCutPath(const InstanceRecord* instance) {
  if (!instance || instance->cutHandle == 0 || instance->pathNumber < 0) return nullptr;
  const CutRecord* cut = GetCutByHandle(instance->cutHandle);
  if (!cut || !cut->paths || instance->pathNumber >= cut->pathCount) return nullptr;
  return &cut->paths[instance->pathNumber];
}

int32_t SetAmount(SpaceObject* object, int32_t value) {
  int32_t amount = value > 0 ? value : 0;
  if (object->ext) static_cast<AmountExt*>(object->ext)->amount = static_cast<uint32_t>(amount);
  return amount;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The checked row accessor.

ObjectTypeRecord* TypeRowMutable(int32_t objClass, int32_t subtype) {
  if (objClass < 0 || objClass >= kObjectClassCount) return nullptr;
  const ObjectTypeTable& table = gObjectTypeTables[objClass];
  if (!table.rows || subtype < 0 || subtype >= table.count) return nullptr;
  return &table.rows[subtype];
}

const ObjectTypeRecord* TypeRow(int32_t objClass, int32_t subtype) {
  return TypeRowMutable(objClass, subtype);
}

// ---------------------------------------------------------------------------------------------
// Type-record readers.

const BackgroundType* SectorBackground(const SpaceObject* sector) {
  if (!sector || sector->objClass != kClassSector) return nullptr;
  const auto subtype = static_cast<int32_t>(static_cast<const SectorObject*>(sector)->sceneWords[0]);
  const ObjectTypeRecord* row = TypeRow(kClassBackground, subtype);
  return row ? &row->background : nullptr;
}

const DataKeyword* GetClassGroupNames(int32_t objClass) {
  switch (objClass) {
    case kClassDock: return kDockGroupNames;
    case kClassFactory: return kFactoryGroupNames;
    case kClassShip: return kShipGroupNames;
    case kClassLaser: return kLaserGroupNames;
    case kClassMissile: return kMissileGroupNames;
    default: return nullptr;
  }
}

int32_t GetClassGroupCount(int32_t objClass) {
  switch (objClass) {
    case kClassDock: return 6;
    case kClassFactory: return 9;
    case kClassShip: return 16;
    case kClassLaser: return 32;
    case kClassMissile: return 15;
    default: return 0;
  }
}

int32_t GetTypeLookupId(int32_t subtype, int32_t objClass) {
  if (objClass < kClassPlanet) return -1;  // suns have a cut but no lookup id
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return -1;
  int32_t id = 0;
  switch (objClass) {
    case kClassPlanet: id = row->planet.cut; break;
    case kClassDock:
    case kClassFactory: id = row->station.cut; break;
    case kClassShip: id = row->ship.cut; break;
    case kClassMissile: id = row->missile.cut; break;
    case kClassAsteroid: id = row->asteroid.cut; break;
    case kClassGate: id = row->gate.cut; break;
    case kClassSpecial: id = row->special.cut; break;
    case kClassDebris:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: id = row->debris.cut; break;
    default: return -1;
  }
  return id == 0 ? -1 : id;
}

int32_t GetTypeQualifier(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return 0;
  if (IsClass(objClass, kClassDock, kClassFactory)) return row->station.qualifier;
  if (objClass == kClassShip) return row->ship.qualifier;
  return 0;
}

int32_t GetTypeFieldByClass(int32_t subtype, int32_t objClass) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return 0;
  switch (objClass) {
    case kClassDock:
    case kClassFactory: return row->station.icon;
    case kClassLaser: return row->laser.icon;
    case kClassMissile: return row->missile.icon;
    default: return 0;
  }
}

DockSlotList* GetTypeDockSlotList(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return nullptr;
  if (IsClass(objClass, kClassDock, kClassFactory)) return row->station.dockSlots;
  if (objClass == kClassShip) return row->ship.dockSlots;
  return nullptr;
}

uint32_t GetTypeFlagsByClass(int32_t objClass, int32_t subtype) {
  const DockSlotList* list = GetTypeDockSlotList(objClass, subtype);
  return list ? list->flags : 0;
}

bool TypeHasFlagBit(int32_t objClass, int32_t subtype, int32_t n) {
  if (n < 0 || n > 31) return false;
  return (GetTypeFlagsByClass(objClass, subtype) >> n) & 1u;
}

int32_t TypeGetField8(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  return row ? row->turnRate[0] : 0;
}
int32_t TypeGetField12(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  return row ? row->turnRate[1] : 0;
}
int32_t TypeGetField16(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  return row ? row->turnRate[2] : 0;
}

int32_t TypeGetSpeed(int32_t objClass, int32_t subtype) {
  if (objClass == kClassCamera) return kCameraSpeed;
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return 0;
  switch (objClass) {
    case kClassBullet: return row->bullet.speed;
    case kClassShip: return row->ship.speed;
    case kClassMissile: return row->missile.speed;
    default: return 0;
  }
}

int32_t TypeGetField72ShipMissile(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return 0;
  if (objClass == kClassShip) return row->ship.speed2;
  if (objClass == kClassMissile) return row->missile.speed2;
  return 0;
}

int32_t ShipTypeField172(int32_t objClass, int32_t subtype) {
  const ShipType* ship = objClass == kClassShip ? ShipRow(subtype) : nullptr;
  return ship ? ship->shipValue : 0;
}

int32_t RockTypeGetCutId(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row) return 0;
  if (objClass == kClassAsteroid) return row->asteroid.rockCut;
  if (objClass == kClassDebris) return row->debris.rockCut;
  return 0;
}

int32_t DebrisWreckTypeField72(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row || !(objClass == kClassDebris || IsWreck(objClass))) return 0;
  return row->debris.value;
}

bool GetWreckClassFor(int32_t objClass, int32_t subtype, int32_t* outClass, int32_t* outSubtype) {
  int32_t wreckClass;
  switch (objClass) {
    case kClassDock: wreckClass = kClassDockWreck; break;
    case kClassFactory: wreckClass = kClassFactoryWreck; break;
    case kClassShip: wreckClass = kClassShipWreck; break;
    default: return false;
  }
  if (!TypeRow(wreckClass, subtype)) return false;
  if (outClass) *outClass = wreckClass;
  if (outSubtype) *outSubtype = subtype;
  return true;
}

int32_t ShipTurretFirstSlot(int32_t shipSubtype, int32_t turret) {
  const ShipType* ship = ShipRow(shipSubtype);
  if (!ship || turret < 0 || turret >= ship->turretCount || turret >= kShipTurretCapacity) return 1;
  return ship->turrets[turret].firstSlot;
}

int32_t ShipTurretSlotCount(int32_t shipSubtype, int32_t turret) {
  const ShipType* ship = ShipRow(shipSubtype);
  if (!ship || turret < 0 || turret >= ship->turretCount || turret >= kShipTurretCapacity) return 0;
  return ship->turrets[turret].slotCount;
}

int32_t ShipComponentValue(int32_t shipSubtype, int32_t component) {
  const ShipType* ship = ShipRow(shipSubtype);
  if (!ship) return 0;
  if (component < 0 || component >= ship->componentCount || component >= kShipComponentCapacity) return -1;
  return ship->components[component].turret;
}

int32_t GetTypeMaxHull(int32_t subtype, int32_t objClass) {
  if (objClass < 0 || objClass >= kObjectClassCount) return 0;
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  switch (objClass) {
    case kClassBullet: return 1;
    case kClassSun:
    case kClassPlanet: return 10000000;
    case kClassDock: return 1500000;
    case kClassFactory: {
      if (!row) return 1;
      int64_t base;
      switch (row->group) {
        case 0: base = 4000000; break;  // SG_FAC_SHIP
        case 1: base = 1000000; break;  // SG_FAC_TECH
        case 2: base = 450000; break;   // SG_FAC_BIO
        case 3:                         // SG_FAC_FOOD
        case 6: base = 400000; break;   // SG_FAC_STORAGE
        case 5: base = 150000; break;   // SG_FAC_MINE
        case 7: base = 500000; break;   // SG_FAC_COMPLEX
        default: base = 200000; break;
      }
      int64_t hull = (base * row->station.hullFactor + 32768) >> 16;
      return hull < 1 ? 1 : SaturateToInt32(hull);
    }
    case kClassShip: return row && row->ship.maxHull >= 1 ? row->ship.maxHull : 1;
    case kClassLaser:
    case kClassShield:
    case kClassSpecial: return gMaxHullContainer;
    case kClassMissile:
      if (subtype == 16 || subtype == 18) return 25000;
      if (subtype == 35) return gMaxHullBoardingPod;
      return 45;
    case kClassAsteroid:
    case kClassGate:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: return 500000;
    case kClassDebris: return row ? SaturateToInt32(static_cast<int64_t>(row->debris.value) * 100) : 0;
    default:
      if (objClass >= kClassWareFirst && objClass <= kClassWareLast) return gMaxHullContainer;
      return 0;
  }
}

int32_t GetTierWeight(int32_t tier) {
  static constexpr int32_t kWeights[] = {1300, 780, 260, 60, 30, 10, 3, 1};
  return tier >= 2 && tier <= 9 ? kWeights[tier - 2] : 0;
}

// ---------------------------------------------------------------------------------------------
// Object readers.

int32_t GetShipTurretCount(const SpaceObject* object) {
  const ShipType* ship = ObjectShipRow(object);
  return ship ? ship->turretCount : 0;
}

int32_t ShipGetComponentCount(const SpaceObject* object) {
  const ShipType* ship = ObjectShipRow(object);
  return ship ? ship->componentCount : 0;
}

int32_t ObjGetTypeBodyId(const SpaceObject* object) {
  if (!object) return 0;
  if (object->objClass == kClassBodyObject) return object->subtype;
  const ObjectTypeRecord* row = ObjectRow(object);
  return row ? row->bodyId : 0;
}

int32_t ObjGetTypeNameTextId(const SpaceObject* object) {
  if (!object) return 0;
  const ObjectTypeRecord* row = ObjectRow(object);
  if (row) return row->nameTextId;
  return object->objClass == kClassSector ? kSectorNameTextId : 0;
}

const FixedMatrix* GetObjectRotationMatrix(const SpaceObject* object) {
  if (!object) return nullptr;
  if (object->objClass == kClassShip) {
    return object->ext ? &static_cast<const ShipExt*>(object->ext)->rotation : nullptr;
  }
  return object->instance ? &object->instance->matrix : nullptr;
}

int32_t ShipTypeGetMaxWeaponEnergy(const SpaceObject* object) {
  const ShipType* ship = ObjectShipRow(object);
  return ship ? ship->maxWeaponEnergy : 0;
}

int32_t ObjGetMaxEnergy(const SpaceObject* object) {
  const ObjectTypeRecord* row = ObjectRow(object);
  if (!row) return 0;
  switch (object->objClass) {
    case kClassBullet: return row->bullet.energy;
    case kClassMissile: return row->missile.damage;
    case kClassShip: return row->ship.maxWeaponEnergy;
    default: return 0;
  }
}

int32_t ShipGetWeaponEnergy(const SpaceObject* object) {
  const ShipExt* ship = ShipExtOf(object);
  return ship ? ship->weaponEnergy / 1000 : 0;
}

int32_t ObjGetEnergy(const SpaceObject* object) {
  if (!object) return 0;
  if (object->objClass == kClassShip) return ShipGetWeaponEnergy(object);
  if (object->objClass == kClassBullet || object->objClass == kClassMissile) return ObjGetMaxEnergy(object);
  return 0;
}

int32_t ObjGetTunedRotRate0(const SpaceObject* object) { return TunedTurnRate(object, 0); }
int32_t ObjGetTunedRotRate1(const SpaceObject* object) { return TunedTurnRate(object, 1); }
int32_t ObjGetTunedRotRate2(const SpaceObject* object) { return TunedTurnRate(object, 2); }

int32_t ObjGetTunedSpeed(const SpaceObject* object) {
  if (!object) return 0;
  return ObjTuneSpeed(object, TypeGetSpeed(object->objClass, object->subtype));
}

int32_t ObjTuneSpeed(const SpaceObject* object, int32_t speed) {
  const ShipExt* ship = ShipExtOf(object);
  return ship ? Tuned(speed, ship->speedTuning) : speed;
}

int32_t ObjGetTunedField72(const SpaceObject* object) {
  if (!object) return 0;
  if (object->objClass == kClassCamera) return kCameraSpeed;
  int32_t speed2 = TypeGetField72ShipMissile(object->objClass, object->subtype);
  const ShipExt* ship = ShipExtOf(object);
  return ship ? Tuned(speed2, ship->speedTuning) : speed2;
}

int32_t ObjGetQuantity(const SpaceObject* object) {
  const uint32_t* word = QuantityWord(object);
  return word ? static_cast<int32_t>(*word) : 1;
}

bool ObjIsInSector(const SpaceObject* object) {
  return object && object->parent && object->parent->objClass == kClassSector;
}

bool ObjIsContainer(const SpaceObject* object) {
  if (!object) return false;
  return object->objClass == kClassShip || object->objClass == kClassSector ||
         object->objClass == kClassGate || (object->flags & kObjFlagContainer) != 0;
}

bool ObjTestFlag18Not19(const SpaceObject* object) {
  return object && (object->flags & (1u << 18)) && !(object->flags & (1u << 19));
}

bool ObjIsShipCameraOrMissile(const SpaceObject* object) {
  return object && (object->objClass == kClassShip || object->objClass == kClassCamera ||
                    object->objClass == kClassMissile);
}

int32_t ObjGetHull(const SpaceObject* object) { return object ? object->hull : 0; }
uint32_t ObjGetRadiusCopy(const SpaceObject* object) { return object ? object->radiusCopy : 0; }

bool ShipIsCapitalClass(const SpaceObject* object) {
  const ObjectTypeRecord* row = object && object->objClass == kClassShip ? ObjectRow(object) : nullptr;
  if (!row) return false;
  switch (row->group) {
    case 0:   // SG_SH_TL
    case 2:   // SG_SH_M0
    case 3:   // SG_SH_M1
    case 4:   // SG_SH_M2
    case 8:   // SG_SH_TL_P
    case 13:  // SG_SH_M7
      return true;
    default: return false;
  }
}

bool ShipIsLargeClass(const SpaceObject* object) {
  if (ShipIsCapitalClass(object)) return true;
  const ObjectTypeRecord* row = object && object->objClass == kClassShip ? ObjectRow(object) : nullptr;
  if (!row) return false;
  return row->group == 11 || row->group == 14 || row->group == 15;  // SG_SH_M6, SG_SH_TM, SG_SH_M8
}

bool ShipHasGroupCode(const SpaceObject* object) {
  const ObjectTypeRecord* row = object && object->objClass == kClassShip ? ObjectRow(object) : nullptr;
  if (!row) return false;
  static constexpr int32_t kCodes[] = {270, 271, 273, 275, 278, 319, 320, 321, 369};
  for (int32_t code : kCodes) {
    if (row->group == code) return true;
  }
  return false;
}

bool MissileFitsShip(int32_t missileSubtype, int32_t shipSubtype) {
  const ObjectTypeRecord* missile = TypeRow(kClassMissile, missileSubtype);
  const ShipType* ship = ShipRow(shipSubtype);
  if (!missile || !ship || missile->group < 0 || missile->group > 31) return false;
  return ((ship->missileMask >> missile->group) & 1u) && missile->tailValue[4] <= ship->maxEquipmentSize;
}

bool LaserFitsShipTurret(int32_t laserSubtype, int32_t shipSubtype, int32_t turret) {
  const ObjectTypeRecord* laser = TypeRow(kClassLaser, laserSubtype);
  const ShipType* ship = ShipRow(shipSubtype);
  if (!laser || !ship || laser->group < 0 || laser->group > 31) return false;
  if (turret < 0 || turret >= ship->turretCount || turret >= kShipTurretCapacity) return false;
  return ((ship->turrets[turret].laserMask >> laser->group) & 1u) &&
         laser->tailValue[4] <= ship->maxEquipmentSize;
}

// ---------------------------------------------------------------------------------------------
// Object writers.

void ObjSetQuantity(SpaceObject* object, int32_t amount) {
  uint32_t* word = QuantityWord(object);
  if (word) *word = static_cast<uint32_t>(amount);
}

void PlanetSetExtField12(SpaceObject* object, uint32_t value) {
  if (object && object->objClass == kClassPlanet && object->ext) static_cast<PlanetExt*>(object->ext)->word3 = value;
}

int32_t WreckSetExtField0(SpaceObject* object, int32_t value) {
  return object && IsWreck(object->objClass) ? SetAmount(object, value) : 0;
}

int32_t DebrisSetExtField0(SpaceObject* object, int32_t value) {
  return object && object->objClass == kClassDebris ? SetAmount(object, value) : 0;
}

void ObjClearVec48IfNull(SpaceObject* object, int32_t a, int32_t b) {
  if (object && a == 0 && b == 0) {
    for (int32_t& angle : object->refAngles) angle = 0;
  }
}

void ObjSetVec96(SpaceObject* object, int32_t x, int32_t y, int32_t z) {
  if (object) SetVector(&object->baseVelocity, x, y, z);
}

SpaceObject* ObjSetFlag18(SpaceObject* object, bool on) {
  if (!object) return nullptr;
  if (on) {
    object->flags |= 1u << 18;
  } else {
    object->flags &= ~(1u << 18);
  }
  return object;
}

void ShipDrainShotEnergy(SpaceObject* ship, int32_t bulletSubtype) {
  ShipExt* ext = ShipExtOf(ship);
  const ObjectTypeRecord* bullet = TypeRow(kClassBullet, bulletSubtype);
  if (!ext || !bullet) return;
  int64_t energy = static_cast<int64_t>(ext->weaponEnergy) - static_cast<int64_t>(bullet->bullet.impactValue[3]) * 1000;
  ext->weaponEnergy = energy < 0 ? 0 : SaturateToInt32(energy);
}

int32_t ShipSetWeaponEnergy(SpaceObject* ship, int32_t value) {
  ShipExt* ext = ShipExtOf(ship);
  if (!ext) return 0;
  int32_t maximum = ShipTypeGetMaxWeaponEnergy(ship);
  if (value > maximum) value = maximum;
  ext->weaponEnergy = SaturateToInt32(static_cast<int64_t>(value) * 1000);
  return value;
}

void ObjRemove(SpaceObject* object) {
  if (!object) return;
  object->flags |= kObjFlagRemoving;
  ReleaseObjectReferences(object);
}

// ---------------------------------------------------------------------------------------------
// Searches.

int32_t FindTypeByName(int32_t objClass, const char* name) {
  if (objClass < 0 || objClass >= kObjectClassCount || !name) return 0;
  const ObjectTypeTable& table = gObjectTypeTables[objClass];
  // A name that begins with a digit is a subtype number, never compared with the type ids.
  if (*name >= '0' && *name <= '9') {
    int32_t n = std::atoi(name);
    return n >= 0 && n < table.count ? n : 0;
  }
  for (int32_t s = 0; s < table.count; ++s) {
    const char* id = table.rows[s].typeId;
    if (id && std::strcmp(id, name) == 0) return s;
  }
  return 0;
}

int32_t FindAnyTypeByName(const char* name) {
  if (!name) return -1;
  int64_t packed;
  if (ParseDecimal(name, &packed)) {
    int64_t objClass = packed >> 16;
    int32_t subtype = static_cast<int32_t>(packed & 0xFFFF);
    if (objClass < kObjectClassCount && TypeRow(static_cast<int32_t>(objClass), subtype)) {
      return static_cast<int32_t>(packed);
    }
  }
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) {
    const ObjectTypeTable& table = gObjectTypeTables[objClass];
    for (int32_t s = 0; s < table.count; ++s) {
      const char* id = table.rows[s].typeId;
      if (id && std::strcmp(id, name) == 0) return (objClass << 16) | s;
    }
  }
  return -1;
}

bool FindTypeByLookupId(int32_t id, int32_t* outClass, int32_t* outSubtype) {
  return FindByLookup(id, false, 0, outClass, outSubtype);
}

bool FindTypeByLookupAndQualifier(int32_t id, int32_t qualifier, int32_t* outClass, int32_t* outSubtype) {
  return FindByLookup(id, true, qualifier, outClass, outSubtype);
}

bool FindTypeByBodyId(int32_t id, int32_t* outClass, int32_t* outSubtype) {
  return FindByBody(id, false, 0, outClass, outSubtype);
}

bool FindTypeByBodyAndQualifier(int32_t id, int32_t qualifier, int32_t* outClass, int32_t* outSubtype) {
  return FindByBody(id, true, qualifier, outClass, outSubtype);
}

const DummyRow* FindIdTableRow(int32_t body, int32_t kind, int32_t* outKind) {
  if (kind >= kDummyKindCount) return nullptr;
  int first = kind < 0 ? 0 : kind;
  int last = kind < 0 ? kDummyKindCount - 1 : kind;
  for (int k = first; k <= last; ++k) {
    const DummyKindTable& table = gDummyTable.kinds[k];
    for (int32_t i = 0; table.rows && i < table.count; ++i) {
      if (table.rows[i].body != body) continue;
      if (outKind) *outKind = k;
      return &table.rows[i];
    }
  }
  return nullptr;
}

bool IsIdInIdLists(int32_t kind, int32_t body) {
  if (kind >= kBodyListKindCount) return false;
  if (kind >= 0) return InBodyList(kind, body);
  for (int k = 0; k < kBodyListKindCount; ++k) {
    if (InBodyList(k, body)) return true;
  }
  return false;
}

const ComponentEntry* FindEntry12ById(int32_t kind, int32_t body) {
  if (kind < 0 || kind >= kComponentKindCount) return nullptr;
  const ComponentKindTable& table = gComponentTable.kinds[kind];
  for (int32_t i = 0; table.entries && i < table.count; ++i) {
    if (table.entries[i].body == body) return &table.entries[i];
  }
  return nullptr;
}

int32_t FindBackgroundUsingId(int32_t body) {
  const ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
  for (int32_t s = 0; s < table.count; ++s) {
    const BackgroundType& bg = table.rows[s].background;
    int32_t stars = BackgroundListCount(bg.starsCount, kBackgroundStarCapacity);
    int32_t backdrops = BackgroundListCount(bg.backdropCount, kBackgroundStarCapacity);
    for (int32_t i = 0; i < stars; ++i) {
      if (bg.stars[i] == body) return 1;
    }
    for (int32_t i = 0; i < backdrops; ++i) {
      if (bg.backdrops[i] == body) return 2;
    }
  }
  return 0;
}

int32_t CountTypeInList(int32_t list, int32_t objClass, int32_t subtype) {
  if (list < 0 || list >= gWareLists.count || !gWareLists.lists) return 0;
  const WordList& words = gWareLists.lists[list];
  int32_t packed = static_cast<int32_t>((static_cast<uint32_t>(objClass) << 16) | (static_cast<uint32_t>(subtype) & 0xFFFF));
  int32_t n = 0;
  for (int32_t i = 0; words.values && i < words.count; ++i) {
    if (words.values[i] == packed) ++n;
  }
  return n;
}

SpaceObject* ObjFindNextChildByClass(SpaceObject* container, SpaceObject* after, int32_t objClass) {
  for (SpaceObject* o = NextChild(container, after); o; o = ObjectListNext(o)) {
    if (o->objClass == objClass) return o;
  }
  return nullptr;
}

SpaceObject* ObjFindNextChildByType(SpaceObject* container, SpaceObject* after, int32_t objClass,
                                    int32_t subtype) {
  for (SpaceObject* o = NextChild(container, after); o; o = ObjectListNext(o)) {
    if (o->objClass == objClass && o->subtype == subtype) return o;
  }
  return nullptr;
}

SpaceObject* ObjFindNextChildByPathNumber(SpaceObject* container, SpaceObject* after, int32_t number) {
  for (SpaceObject* o = NextChild(container, after); o; o = ObjectListNext(o)) {
    if (o->instance && o->instance->pathNumber == number) return o;
  }
  return nullptr;
}

SpaceObject* ObjFindNextChildByPathRow(SpaceObject* container, SpaceObject* after, PathRowWord word,
                                       int32_t value) {
  for (SpaceObject* o = NextChild(container, after); o; o = ObjectListNext(o)) {
    const PathRecord* path = PlayedCutPath(o->instance);
    if (!path) continue;
    const uint32_t recorded = word == PathRowWord::Body ? path->lookupWord : path->pathWord;
    if (static_cast<int32_t>(recorded) == value) return o;
  }
  return nullptr;
}

SpaceObject* ObjFindNextContainerChild(SpaceObject* container, SpaceObject* after) {
  for (SpaceObject* o = NextChild(container, after); o; o = ObjectListNext(o)) {
    if (o->flags & kObjFlagContainer) return o;
  }
  return nullptr;
}

void NodeApplyIdListFlags(InstanceRecord* instance) {
  if (!instance) return;
  int32_t body = instance->bodyId;
  if (InBodyList(0, body)) {  // SBTYPE_2D
    instance->flags |= 0x4000;
  } else if (InBodyList(1, body)) {  // SBTYPE_2D2
    instance->flags = (instance->flags & ~0x8000u) | 0x10000000u;
  } else if (InBodyList(2, body)) {  // SBTYPE_2DY
    instance->flags = (instance->flags & ~0x8000u) | 0x200u;
  } else if (InBodyList(4, body)) {  // SBTYPE_FC
    instance->flags = (instance->flags & ~0x8000u) | 0x20u;
  }
  if (InBodyList(6, body)) instance->flags2 |= 0x4000001u;  // SBTYPE_JET
  if (InBodyList(12, body)) {                                // SBTYPE_SMALLJET
    instance->flags2 |= 0x4000000u;
    instance->level = 5;
  }
  if (InBodyList(5, body)) instance->level = 10;  // SBTYPE_TURRET
}
