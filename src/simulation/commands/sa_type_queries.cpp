// The type-query commands: scripts read one field of a type row, or ask one of the universe
// model's type-table searches, by type key. Called through the SA_ dispatcher only; nothing here
// changes a table. Every row is reached through the checked accessor, and every index a script
// passes is checked against the row's own count before it is used.
#include <cstdint>

#include "script/tasks.h"
#include "script/value.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_type_keys.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"

bool IsValidTypeKey(int32_t objClass, int32_t subtype) {
  return static_cast<uint32_t>(objClass) < kObjectClassCount && TypeRow(objClass, subtype) != nullptr;
}

int32_t PackTypeCode(int32_t objClass, int32_t subtype) {
  return static_cast<int16_t>(objClass) * 65536 + static_cast<int16_t>(subtype);
}

void SAAnswerText(SACall* call, const char* text) {
  if (!text) return SAAnswerInt(call, 0);
  ScriptValue local{};
  SetValueString(&local, text);
  if (call->task) ReturnValue(call->task, call->engine, &local);
  ReleaseValue(&local);
}

namespace {

constexpr int32_t kFailColour = 8421504;

// Where a row's head keeps the values scripts name.
enum TailValue { kVolume, kRelValue, kPriMaxP, kSecMaxP, kTK, kPlayerRelValue, kMinNotoriety, kVideo, kSkin };

const ObjectTypeRecord* KeyRow(const SACall* call) {
  const int32_t objClass = SAArgInt(call, 0);
  return static_cast<uint32_t>(objClass) < kObjectClassCount ? TypeRow(objClass, SAArgInt(call, 1)) : nullptr;
}

// ---- Key-checked head fields ------------------------------------------------------------

template <int32_t (*Field)(const ObjectTypeRecord&), int32_t kFail = 0>
void KeyField(SACall* call) {
  const ObjectTypeRecord* row = KeyRow(call);
  SAAnswerInt(call, row ? Field(*row) : kFail);
}
int32_t Group(const ObjectTypeRecord& r) { return r.group; }
int32_t StepX(const ObjectTypeRecord& r) { return r.turnRate[0]; }
int32_t StepY(const ObjectTypeRecord& r) { return r.turnRate[1]; }
int32_t StepZ(const ObjectTypeRecord& r) { return r.turnRate[2]; }
int32_t TextId(const ObjectTypeRecord& r) { return r.nameTextId; }
int32_t Body(const ObjectTypeRecord& r) { return r.bodyId; }
int32_t CompBody(const ObjectTypeRecord& r) { return r.altBodyId; }
template <int kIndex>
int32_t Tail(const ObjectTypeRecord& r) { return r.tailValue[kIndex]; }

// A key-checked answer of one of the model's per-type readers, (class, subtype) order.
template <int32_t (*Read)(int32_t, int32_t)>
void KeyRead(SACall* call) {
  SAAnswerInt(call, KeyRow(call) ? Read(SAArgInt(call, 0), SAArgInt(call, 1)) : 0);
}
// The same for the readers that take (subtype, class).
template <int32_t (*Read)(int32_t, int32_t)>
void KeyReadSwapped(SACall* call) {
  SAAnswerInt(call, KeyRow(call) ? Read(SAArgInt(call, 1), SAArgInt(call, 0)) : 0);
}
int32_t Flags(int32_t c, int32_t s) { return static_cast<int32_t>(GetTypeFlagsByClass(c, s)); }

void GetTypeSubTypeName(SACall* call) {
  const ObjectTypeRecord* row = KeyRow(call);
  SAAnswerText(call, row ? row->typeId : nullptr);
}

void GetTypeShieldPowerGeneration(SACall* call) {
  const int32_t objClass = SAArgInt(call, 0);
  const ObjectTypeRecord* row = KeyRow(call);
  int32_t value = 0;
  if (row && objClass == kClassShip) value = row->ship.values6[0];
  else if (row && (objClass == kClassDock || objClass == kClassFactory)) value = row->station.value3;
  SAAnswerInt(call, value);
}

// The dock-port readers check the port against the type's own list.
void GetTypeCanUseDockPort(SACall* call) {
  const bool inside = SAArgInt(call, 4) != 0;
  SAAnswerInt(call, KeyRow(call) ? static_cast<int32_t>(TypeDockSlotHasFlag(SAArgInt(call, 0), SAArgInt(call, 2),
                                                                            SAArgInt(call, 1), SAArgInt(call, 3), inside))
                                 : 0);
}
void GetTypeDockPortAnimFlags(SACall* call) {
  SAAnswerInt(call, KeyRow(call) ? static_cast<int32_t>(TypeGetDockSlotValue(SAArgInt(call, 1), SAArgInt(call, 2),
                                                                             SAArgInt(call, 0)))
                                 : 0);
}

void GetTypeIsDockingPossibleOf(SACall* call) {
  SAAnswerInt(call, KeyRow(call) && TypeHasFlagBit(SAArgInt(call, 0), SAArgInt(call, 1), SAArgInt(call, 2)) ? 1 : 0);
}

// ---- Global and by-name queries ---------------------------------------------------------

void GetGlobalParameter(SACall* call) { SAAnswerInt(call, GlobalsGet(SAArgInt(call, 0), SAArgInt(call, 1))); }

void GetNumSubTypes(SACall* call) {
  const int32_t objClass = SAArgInt(call, 0);
  if (static_cast<uint32_t>(objClass) >= kObjectClassCount) return SAAnswerInt(call, 0);
  const ObjectTypeTable& table = gObjectTypeTables[objClass];
  SAAnswerInt(call, table.rows ? table.count : 0);
}

void GetTypeCodeByName(SACall* call) {
  const char* name = SAArgText(call, 0);
  if (!name) return SAAnswerInt(call, 0);
  const int32_t code = FindAnyTypeByName(name);
  SAAnswerInt(call, PackTypeCode(code >> 16, code & 0xFFFF));
}

void GetSubTypeByName(SACall* call) {
  const int32_t objClass = SAArgInt(call, 0);
  const char* name = SAArgText(call, 1);
  SAAnswerInt(call, name && static_cast<uint32_t>(objClass) < kObjectClassCount ? FindTypeByName(objClass, name) : 0);
}

void GetWareListWareCount(SACall* call) {
  const int32_t list = SAArgInt(call, 0);
  SAAnswerInt(call, list > 0 ? CountTypeInList(list, SAArgInt(call, 1), SAArgInt(call, 2)) : 0);
}

// ---- Ship types ---------------------------------------------------------------------------

const ShipType* Ship(const SACall* call) {
  const ObjectTypeRecord* row = TypeRow(kClassShip, SAArgInt(call, 0));
  return row ? &row->ship : nullptr;
}

template <int32_t (*Field)(const ShipType&)>
void ShipField(SACall* call) {
  const ShipType* ship = Ship(call);
  SAAnswerInt(call, ship ? Field(*ship) : 0);
}
int32_t MaxExtraSpeed(const ShipType& s) { return s.values5[1]; }
int32_t MaxExtraRotSpeed(const ShipType& s) { return s.values5[2]; }
int32_t CockpitBody(const ShipType& s) { return s.cut2; }
int32_t MaxShieldType(const ShipType& s) { return s.values2[0]; }
int32_t MaxNumShields(const ShipType& s) { return s.values2[1]; }
int32_t MaxMissileType(const ShipType& s) { return s.maxMissileGroup; }
int32_t MaxNumMissiles(const ShipType& s) { return s.values5[0]; }
int32_t TradeContainerSize(const ShipType& s) { return s.values5[3]; }
int32_t MaxTradeContainerSize(const ShipType& s) { return s.values5[4]; }
int32_t MaxTKClass(const ShipType& s) { return s.maxEquipmentSize; }
int32_t CockpitCount(const ShipType& s) { return s.componentCount; }
int32_t TurretCount(const ShipType& s) { return s.turretCount; }
int32_t MaxLasers(const ShipType& s) { return s.laserCount; }
int32_t LaserPowerMax(const ShipType& s) { return s.maxWeaponEnergy; }
int32_t LaserPowerReload(const ShipType& s) { return s.weaponRecharge; }
int32_t MissileMask(const ShipType& s) { return static_cast<int32_t>(s.missileMask); }
int32_t ShipClass(const ShipType& s) { return s.scriptClass; }
int32_t Variation(const ShipType& s) { return s.value25; }

// The turret row argument 1 names, or null outside the ship's rows.
const ShipTurretRow* Turret(const ShipType* ship, int32_t turret) {
  if (!ship || turret < 0 || turret >= ship->turretCount || turret >= kShipTurretCapacity) return nullptr;
  return &ship->turrets[turret];
}
const ShipComponentRow* Cockpit(const ShipType* ship, int32_t cockpit) {
  if (!ship || cockpit < 0 || cockpit >= ship->componentCount || cockpit >= kShipComponentCapacity) return nullptr;
  return &ship->components[cockpit];
}

template <int32_t (*Field)(const ShipTurretRow&)>
void TurretField(SACall* call) {
  const ShipTurretRow* turret = Turret(Ship(call), SAArgInt(call, 1));
  SAAnswerInt(call, turret ? Field(*turret) : 0);
}
int32_t TurretLasers(const ShipTurretRow& t) { return t.slotCount; }
int32_t TurretGuns(const ShipTurretRow& t) { return t.gunCount; }
int32_t TurretFirstLaser(const ShipTurretRow& t) { return t.firstSlot; }
int32_t TurretMask(const ShipTurretRow& t) { return static_cast<int32_t>(t.laserMask); }
int32_t TurretText(const ShipTurretRow& t) { return t.cockpitValue; }

void GetShipTypePredefinedWareCount(SACall* call) {
  const ShipType* ship = Ship(call);
  const int32_t list = ship ? ship->value39 : 0;
  SAAnswerInt(call, list > 0 ? CountTypeInList(list, SAArgInt(call, 1), SAArgInt(call, 2)) : 0);
}

void GetShipTypeTurretIDFromCockpitID(SACall* call) {
  const ShipType* ship = Ship(call);
  if (!ship) return SAAnswerInt(call, 0);
  const ShipComponentRow* cockpit = Cockpit(ship, SAArgInt(call, 1));
  SAAnswerInt(call, cockpit ? cockpit->turret : -1);
}

void GetShipTypeTurretIDFromLaserPos(SACall* call) {
  const ShipType* ship = Ship(call);
  if (!ship) return SAAnswerInt(call, 0);
  const int32_t position = SAArgInt(call, 1);
  for (int32_t t = 0; t < ship->turretCount && t < kShipTurretCapacity; ++t) {
    const ShipTurretRow& row = ship->turrets[t];
    if (position >= row.firstSlot && int64_t(position) < int64_t(row.firstSlot) + row.slotCount) {
      return SAAnswerInt(call, t);
    }
  }
  SAAnswerInt(call, -1);
}

void GetShipTypeCockpitTextID(SACall* call) {
  const ShipComponentRow* cockpit = Cockpit(Ship(call), SAArgInt(call, 1));
  SAAnswerInt(call, cockpit ? cockpit->cockpitValue : 0);
}

void CanShipTypeTurretInstallLaserType(SACall* call) {
  const ShipType* ship = Ship(call);
  const int32_t turret = SAArgInt(call, 1);
  const int32_t laser = SAArgInt(call, 2);
  const bool fits = Turret(ship, turret) && TypeRow(kClassLaser, laser) &&
                    LaserFitsShipTurret(laser, SAArgInt(call, 0), turret);
  SAAnswerInt(call, fits ? 1 : 0);
}

void CanShipTypeInstallMissileType(SACall* call) {
  const int32_t missile = SAArgInt(call, 1);
  const bool fits = Ship(call) && TypeRow(kClassMissile, missile) && MissileFitsShip(missile, SAArgInt(call, 0));
  SAAnswerInt(call, fits ? 1 : 0);
}

// ---- Weapon, shield, factory and planet types --------------------------------------------

template <uint16_t kClass, int32_t (*Field)(const ObjectTypeRecord&), int32_t kFail = 0>
void ClassField(SACall* call) {
  const ObjectTypeRecord* row = TypeRow(kClass, SAArgInt(call, 0));
  SAAnswerInt(call, row ? Field(*row) : kFail);
}

// The bullet row a laser fires, or null.
const BulletType* LaserBullet(const ObjectTypeRecord& laser) {
  const ObjectTypeRecord* row = TypeRow(kClassBullet, laser.laser.bulletType);
  return row ? &row->bullet : nullptr;
}
int32_t Ammunition(const ObjectTypeRecord& bullet) {
  return (bullet.bullet.flags & kBulletFlagFlaggedId) ? bullet.tailValue[0] : 0;
}
int32_t Range(int32_t speed, int32_t lifetime) { return static_cast<int32_t>(int64_t(speed) * lifetime / 1000); }

int32_t LaserEnergyMax(const ObjectTypeRecord& r) { return r.laser.value3; }
int32_t LaserReload(const ObjectTypeRecord& r) { return r.laser.value0; }
int32_t LaserBulletType(const ObjectTypeRecord& r) { return r.laser.bulletType; }
int32_t LaserRange(const ObjectTypeRecord& r) {
  const BulletType* b = LaserBullet(r);
  return b ? Range(b->speed, b->lifetime) : 0;
}
int32_t LaserShieldDamage(const ObjectTypeRecord& r) {
  const BulletType* b = LaserBullet(r);
  return b ? b->energy : 0;
}
int32_t LaserHullDamage(const ObjectTypeRecord& r) {
  const BulletType* b = LaserBullet(r);
  return b ? b->value1 : 0;
}
int32_t LaserFlyFX(const ObjectTypeRecord& r) {
  const BulletType* b = LaserBullet(r);
  return b ? b->effectRow : 0;
}
int32_t LaserSpeed(const ObjectTypeRecord& r) {
  const BulletType* b = LaserBullet(r);
  return b ? b->speed : 0;
}
int32_t LaserAmmunition(const ObjectTypeRecord& r) {
  const ObjectTypeRecord* bullet = TypeRow(kClassBullet, r.laser.bulletType);
  return bullet ? Ammunition(*bullet) : 0;
}
int32_t BulletShieldDamage(const ObjectTypeRecord& r) { return r.bullet.energy; }
int32_t BulletHullDamage(const ObjectTypeRecord& r) { return r.bullet.value1; }
int32_t BulletEnergyUse(const ObjectTypeRecord& r) { return r.bullet.impactValue[3]; }
int32_t BulletFlyFX(const ObjectTypeRecord& r) { return r.bullet.effectRow; }
int32_t ShieldEnergyMax(const ObjectTypeRecord& r) { return r.shield.capacity; }
int32_t ShieldEfficiency(const ObjectTypeRecord& r) { return r.shield.fixedValue; }
int32_t ShieldMaxPower(const ObjectTypeRecord& r) { return r.shield.value0; }
int32_t MissileRange(const ObjectTypeRecord& r) { return Range(r.missile.speed, r.missile.rangeTime); }
int32_t MissileSpeed(const ObjectTypeRecord& r) { return r.missile.speed; }
int32_t MissileDamage(const ObjectTypeRecord& r) { return r.missile.damage; }
int32_t MissileGuidance(const ObjectTypeRecord& r) { return r.missile.value4; }
int32_t MissileLaunchDelay(const ObjectTypeRecord& r) { return r.missile.value31; }
int32_t FactoryScale(const ObjectTypeRecord& r) { return r.station.hullFactor; }
int32_t PlanetColour(const ObjectTypeRecord& r) {
  return r.planet.lightColour[0] * 65536 + r.planet.lightColour[1] * 256 + r.planet.lightColour[2];
}

// ---- Matches -------------------------------------------------------------------------------

// Both keys checked; argument 0, the match table (-1 for all), passed unchanged.
template <bool kWithRace>
void MatchType(SACall* call) {
  const int32_t c1 = SAArgInt(call, 1), s1 = SAArgInt(call, 2), c2 = SAArgInt(call, 3), s2 = SAArgInt(call, 4);
  if (!IsValidTypeKey(c1, s1) || !IsValidTypeKey(c2, s2)) return SAAnswerInt(call, 0);
  int32_t outClass = 0, outSubtype = 0;
  const int32_t found = kWithRace ? MatchesFindType(SAArgInt(call, 0), c1, s1, c2, s2, SAArgInt(call, 5), &outClass, &outSubtype)
                                  : MatchesFindType2(SAArgInt(call, 0), c1, s1, c2, s2, &outClass, &outSubtype);
  SAAnswerInt(call, found ? PackTypeCode(outClass, outSubtype) : 0);
}

}  // namespace

extern const SACommandRow kTypeQueryCommands[91];
const SACommandRow kTypeQueryCommands[91] = {
    {130, GetGlobalParameter},
    {131, GetNumSubTypes},
    {132, GetTypeCodeByName},
    {133, GetSubTypeByName},
    {134, KeyField<Group>},
    {135, GetTypeSubTypeName},
    {136, KeyRead<TypeGetSpeed>},
    {137, KeyRead<TypeGetField72ShipMissile>},
    {138, KeyReadSwapped<GetTypeMaxHull>},
    {139, KeyField<StepX>},
    {140, KeyField<StepY>},
    {141, KeyField<StepZ>},
    {142, KeyField<TextId>},
    {143, KeyField<Body>},
    {144, KeyField<CompBody>},
    {145, KeyReadSwapped<GetTypeLookupId>},
    {146, KeyField<Tail<kVideo>>},
    {147, ShipField<MaxExtraSpeed>},
    {148, ShipField<MaxExtraRotSpeed>},
    {149, ShipField<CockpitBody>},
    {150, ShipField<MaxShieldType>},
    {151, ShipField<MaxNumShields>},
    {152, ShipField<MaxMissileType>},
    {153, ShipField<MaxNumMissiles>},
    {154, ShipField<TradeContainerSize>},
    {155, ShipField<MaxTradeContainerSize>},
    {156, ShipField<MaxTKClass>},
    {157, GetShipTypePredefinedWareCount},
    {158, GetWareListWareCount},
    {159, GetTypeShieldPowerGeneration},
    {160, KeyReadSwapped<TypeGetDockSlotCount>},
    {161, KeyRead<ShipTypeField172>},
    {162, GetTypeIsDockingPossibleOf},
    {163, GetTypeCanUseDockPort},
    {164, GetTypeDockPortAnimFlags},
    {165, KeyRead<Flags>},
    {166, ShipField<CockpitCount>},
    {167, ShipField<TurretCount>},
    {168, TurretField<TurretLasers>},
    {169, TurretField<TurretGuns>},
    {170, ShipField<MaxLasers>},
    {171, ShipField<LaserPowerMax>},
    {172, ShipField<LaserPowerReload>},
    {173, GetShipTypeTurretIDFromCockpitID},
    {174, GetShipTypeTurretIDFromLaserPos},
    {175, TurretField<TurretFirstLaser>},
    {176, TurretField<TurretMask>},
    {177, ShipField<MissileMask>},
    {178, CanShipTypeTurretInstallLaserType},
    {179, CanShipTypeInstallMissileType},
    {180, GetShipTypeCockpitTextID},
    {181, TurretField<TurretText>},
    {182, ShipField<ShipClass>},
    {183, ShipField<Variation>},
    {184, KeyField<Tail<kSkin>>},
    {185, KeyField<Tail<kVolume>, 1>},
    {186, KeyField<Tail<kRelValue>, 1>},
    {187, KeyField<Tail<kPriMaxP>, 1>},
    {188, KeyField<Tail<kSecMaxP>, 1>},
    {189, KeyField<Tail<kTK>>},
    {190, KeyField<Tail<kPlayerRelValue>, 1>},
    {191, KeyField<Tail<kMinNotoriety>>},
    {192, ClassField<kClassLaser, LaserEnergyMax>},
    {193, ClassField<kClassLaser, LaserRange>},
    {194, ClassField<kClassLaser, LaserShieldDamage>},
    {195, ClassField<kClassLaser, LaserHullDamage>},
    {196, ClassField<kClassLaser, LaserAmmunition>},
    {197, ClassField<kClassLaser, LaserFlyFX>},
    {198, ClassField<kClassLaser, LaserReload, 1000>},
    {199, ClassField<kClassLaser, LaserSpeed>},
    {200, ClassField<kClassLaser, LaserBulletType>},
    {201, ClassField<kClassBullet, BulletShieldDamage>},
    {202, ClassField<kClassBullet, BulletHullDamage>},
    {203, ClassField<kClassBullet, Ammunition>},
    {204, ClassField<kClassBullet, BulletEnergyUse>},
    {332, ClassField<kClassBullet, BulletFlyFX>},
    {205, ClassField<kClassShield, ShieldEnergyMax>},
    {206, ClassField<kClassShield, ShieldEfficiency>},
    {207, ClassField<kClassShield, ShieldMaxPower>},
    {208, ClassField<kClassMissile, MissileRange, 1000>},
    {209, ClassField<kClassMissile, MissileSpeed, 1000>},
    {210, ClassField<kClassMissile, MissileDamage>},
    {211, ClassField<kClassMissile, MissileGuidance>},
    {212, ClassField<kClassMissile, MissileLaunchDelay>},
    {213, KeyRead<GetTypeQualifier>},
    {214, KeyRead<DebrisWreckTypeField72>},
    {215, KeyRead<RockTypeGetCutId>},
    {216, MatchType<false>},
    {217, MatchType<true>},
    {218, ClassField<kClassFactory, FactoryScale, 1>},
    {219, ClassField<kClassPlanet, PlanetColour, kFailColour>},
};
