// The type-field accessors over small tables: lookup ids and maximum hulls by class, tier
// weights, tuned rates and speeds, the name and lookup searches, the body-list instance flags,
// and every object reader refusing a subtype beyond its table instead of reading past it.
#include <gtest/gtest.h>

#include <cstring>

#include "scene/instance_records.h"
#include "universe/type_world.h"
#include "universe/universe.h"

namespace {

class TypeAccess : public TypeWorld {};

TEST_F(TypeAccess, LookupIdsAnswerMinusOneOutsideTheTables) {
  Rows(kClassSun, 2)[0].sun.cut = 40;
  Rows(kClassPlanet, 2)[1].planet.cut = 41;
  Rows(kClassShip, 3)[2].ship.cut = 42;
  Rows(kClassGate, 1)[0].gate.cut = 43;
  Rows(kClassShipWreck, 1)[0].debris.cut = 44;
  Rows(kClassLaser, 1);
  struct Case {
    int32_t objClass, subtype, expected;
  };
  const Case kCases[] = {
      {kClassSun, 0, -1},  // suns have a cut but no lookup id
      {kClassPlanet, 1, 41},  {kClassShip, 2, 42},   {kClassGate, 0, 43},
      {kClassShipWreck, 0, 44}, {kClassPlanet, 0, -1},  // a lookup id of 0 is none
      {kClassShip, -1, -1},   {kClassShip, 3, -1},   // subtype = count
      {kClassLaser, 0, -1},   // a class without a lookup id
      {32, 0, -1},            {-1, 0, -1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(GetTypeLookupId(c.subtype, c.objClass), c.expected) << c.objClass << "/" << c.subtype;
  }
}

TEST_F(TypeAccess, MaximumHullFollowsTheClassRule) {
  ObjectTypeRecord* factories = Rows(kClassFactory, 5);
  factories[0].group = 0;  // SG_FAC_SHIP
  factories[0].station.hullFactor = 65536;
  factories[1].group = 3;  // SG_FAC_FOOD
  factories[1].station.hullFactor = 0x18000;
  factories[2].group = 5;  // SG_FAC_MINE, rounded
  factories[2].station.hullFactor = 32769;
  factories[3].group = 4;  // SG_FAC_POWER: the base of any other group
  factories[3].station.hullFactor = 65536;
  factories[4].group = 1;
  factories[4].station.hullFactor = 0;  // never below 1
  ObjectTypeRecord* ships = Rows(kClassShip, 2);
  ships[0].ship.maxHull = 0;
  ships[1].ship.maxHull = 5000;
  Rows(kClassDebris, 1)[0].debris.value = 7;
  struct Case {
    int32_t objClass, subtype, expected;
  };
  const Case kCases[] = {
      {kClassBullet, 0, 1},          {kClassSun, 0, 10000000},       {kClassPlanet, 0, 10000000},
      {kClassDock, 0, 1500000},      {kClassFactory, 0, 4000000},    {kClassFactory, 1, 600000},
      {kClassFactory, 2, 75002},     {kClassFactory, 3, 200000},     {kClassFactory, 4, 1},
      {kClassShip, 0, 1},            {kClassShip, 1, 5000},          {kClassLaser, 0, 100},
      {kClassShield, 0, 100},        {11, 0, 100},                   {16, 0, 100},
      {kClassSpecial, 0, 100},       {kClassMissile, 16, 25000},     {kClassMissile, 18, 25000},
      {kClassMissile, 35, 300},      {kClassMissile, 3, 45},         {kClassAsteroid, 0, 500000},
      {kClassGate, 0, 500000},       {kClassDockWreck, 0, 500000},   {kClassShipWreck, 0, 500000},
      {kClassDebris, 0, 700},        {kClassCamera, 0, 0},           {kClassSector, 0, 0},
      {33, 0, 0},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(GetTypeMaxHull(c.subtype, c.objClass), c.expected) << c.objClass << "/" << c.subtype;
  }
}

TEST_F(TypeAccess, TierWeights) {
  const int32_t kExpected[] = {0, 0, 1300, 780, 260, 60, 30, 10, 3, 1, 0};  // tiers 0..10
  for (int32_t tier = 0; tier <= 10; ++tier) EXPECT_EQ(GetTierWeight(tier), kExpected[tier]) << tier;
  EXPECT_EQ(GetTierWeight(-1), 0);
}

TEST_F(TypeAccess, ShipTuningScalesRatesAndSpeeds) {
  ObjectTypeRecord* ships = Rows(kClassShip, 1);
  ships[0].turnRate[0] = 65536;
  ships[0].turnRate[1] = 32768;
  ships[0].turnRate[2] = 1001;
  ships[0].ship.speed = 2000;
  ships[0].ship.speed2 = 3000;
  Rows(kClassMissile, 1)[0].missile.speed = 700;
  struct Case {
    int32_t rotationTuning, speedTuning;
    int32_t rates[3];
    int32_t speed, speed2;
  };
  const Case kCases[] = {
      {0, 0, {65536, 32768, 1001}, 2000, 3000},
      {-65536, -65536, {0, 0, 0}, 0, 0},                 // tuning -1 stops every turn
      {32768, 32768, {98304, 49152, 1502}, 3000, 4500},  // x 1.5, rounded
  };
  for (const Case& c : kCases) {
    ShipExt ext{};
    ext.rotationTuning = c.rotationTuning;
    ext.speedTuning = c.speedTuning;
    SpaceObject ship{};
    ship.objClass = kClassShip;
    ship.ext = &ext;
    EXPECT_EQ(ObjGetTunedRotRate0(&ship), c.rates[0]);
    EXPECT_EQ(ObjGetTunedRotRate1(&ship), c.rates[1]);
    EXPECT_EQ(ObjGetTunedRotRate2(&ship), c.rates[2]);
    EXPECT_EQ(ObjGetTunedSpeed(&ship), c.speed);
    EXPECT_EQ(ObjGetTunedField72(&ship), c.speed2);
  }
  SpaceObject missile{};
  missile.objClass = kClassMissile;
  EXPECT_EQ(ObjGetTunedSpeed(&missile), 700);  // no tuning outside ships
  SpaceObject camera{};
  camera.objClass = kClassCamera;
  EXPECT_EQ(ObjGetTunedSpeed(&camera), 1000000);
  EXPECT_EQ(ObjGetTunedField72(&camera), 1000000);
}

TEST_F(TypeAccess, NamesBeginningWithADigitAreSubtypeNumbers) {
  ObjectTypeRecord* ships = Rows(kClassShip, 10);
  char named[] = "SS_SH_A";
  char numeric[] = "12";
  ships[5].typeId = named;
  ships[7].typeId = numeric;
  struct Case {
    int32_t objClass;
    const char* name;
    int32_t expected;
  };
  const Case kCases[] = {
      {kClassShip, "12", 0},  // beyond the table, and never compared with row 7's id
      {kClassShip, "3", 3},   {kClassShip, "SS_SH_A", 5}, {kClassShip, "SS_SH_a", 0},
      {kClassShip, "nothing", 0}, {32, "SS_SH_A", 0},     {40, "3", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(FindTypeByName(c.objClass, c.name), c.expected) << c.name;

  char laserName[] = "SS_LASER";
  Rows(kClassLaser, 2)[1].typeId = laserName;
  EXPECT_EQ(FindAnyTypeByName("458755"), (7 << 16) | 3);  // subtype 3 of 10 ships
  EXPECT_EQ(FindAnyTypeByName("458762"), -1);             // subtype 10 is not below the count
  EXPECT_EQ(FindAnyTypeByName("SS_LASER"), (8 << 16) | 1);
  EXPECT_EQ(FindAnyTypeByName("SS_SH_A"), (7 << 16) | 5);
  EXPECT_EQ(FindAnyTypeByName("missing"), -1);
}

TEST_F(TypeAccess, LookupSearchesFollowTheClassOrder) {
  ObjectTypeRecord* docks = Rows(kClassDock, 2);
  docks[1].station.cut = 50;
  docks[1].station.qualifier = 9;
  ObjectTypeRecord* ships = Rows(kClassShip, 3);
  ships[2].ship.cut = 50;
  ships[2].ship.qualifier = 4;
  Rows(kClassSpecial, 1)[0].special.cut = 60;
  Rows(kClassSun, 1)[0].sun.cut = 70;  // suns are never searched
  struct Case {
    int32_t id;
    bool withQualifier;
    int32_t qualifier;
    bool found;
    int32_t objClass, subtype;
  };
  const Case kCases[] = {
      {50, false, 0, true, kClassShip, 2},  // ships come before docks
      {50, true, 9, true, kClassDock, 1},   {50, true, 5, false, 0, 0},
      {60, false, 0, true, kClassSpecial, 0}, {70, false, 0, false, 0, 0},
  };
  for (const Case& c : kCases) {
    int32_t objClass = -1, subtype = -1;
    bool found = c.withQualifier ? FindTypeByLookupAndQualifier(c.id, c.qualifier, &objClass, &subtype)
                                 : FindTypeByLookupId(c.id, &objClass, &subtype);
    EXPECT_EQ(found, c.found) << c.id;
    if (found) {
      EXPECT_EQ(objClass, c.objClass);
      EXPECT_EQ(subtype, c.subtype);
    }
  }
}

TEST_F(TypeAccess, BodySearchesPreferThePositiveAlternativeBody) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bodyId = 300;
  bullets[0].altBodyId = 301;  // replaces 300 in searches
  bullets[1].bodyId = 300;
  bullets[1].altBodyId = 0;
  ObjectTypeRecord* ships = Rows(kClassShip, 1);
  ships[0].bodyId = 400;
  ships[0].ship.qualifier = 2;
  int32_t objClass = -1, subtype = -1;
  ASSERT_TRUE(FindTypeByBodyId(300, &objClass, &subtype));
  EXPECT_EQ(objClass, kClassBullet);
  EXPECT_EQ(subtype, 1);
  ASSERT_TRUE(FindTypeByBodyId(301, &objClass, &subtype));
  EXPECT_EQ(subtype, 0);
  EXPECT_TRUE(FindTypeByBodyAndQualifier(400, 2, &objClass, &subtype));
  EXPECT_EQ(objClass, kClassShip);
  EXPECT_FALSE(FindTypeByBodyAndQualifier(400, 3, &objClass, &subtype));
  EXPECT_FALSE(FindTypeByBodyId(999, &objClass, &subtype));
}

TEST_F(TypeAccess, BodyListsSetInstanceFlags) {
  // Body b is in the lists of kinds[b - 100].
  struct Case {
    std::vector<int> kinds;
    uint32_t flags, flags2;
    int32_t level;
  };
  const Case kCases[] = {
      {{}, 0x8000, 0, 1},
      {{0}, 0x8000 | 0x4000, 0, 1},        // SBTYPE_2D keeps 0x8000
      {{1}, 0x10000000, 0, 1},             // SBTYPE_2D2
      {{2}, 0x200, 0, 1},                  // SBTYPE_2DY
      {{4}, 0x20, 0, 1},                   // SBTYPE_FC
      {{0, 1, 2, 4}, 0x8000 | 0x4000, 0, 1},  // the first of the four wins
      {{2, 4}, 0x200, 0, 1},
      {{6}, 0x8000, 0x4000001, 1},          // SBTYPE_JET
      {{12}, 0x8000, 0x4000000, 5},         // SBTYPE_SMALLJET
      {{5}, 0x8000, 0, 10},                 // SBTYPE_TURRET
      {{12, 5}, 0x8000, 0x4000000, 10},     // the turret level comes last
      {{1, 6, 12}, 0x10000000, 0x4000001, 5},
  };
  const int32_t kBody = 100;
  for (const Case& c : kCases) {
    int32_t body = kBody;
    std::vector<int32_t> store(kBodyListKindCount, body);
    gBodyIdLists = {};
    for (int kind : c.kinds) gBodyIdLists.lists[kind] = {1, &store[static_cast<size_t>(kind)]};
    InstanceRecord instance{};
    instance.bodyId = body;
    instance.flags = 0x8000;
    instance.level = 1;
    NodeApplyIdListFlags(&instance);
    EXPECT_EQ(instance.flags, c.flags) << c.kinds.size();
    EXPECT_EQ(instance.flags2, c.flags2);
    EXPECT_EQ(instance.level, c.level);
  }
  gBodyIdLists = {};
}

// An object whose subtype lies beyond its class's table reads the fallback, never a row past
// the end (ASan would catch the read).
TEST_F(TypeAccess, SubtypesBeyondTheTableReadTheFallback) {
  Rows(kClassShip, 1)[0].ship.maxWeaponEnergy = 10;
  Rows(kClassMissile, 1);
  Rows(kClassLaser, 1);
  ShipExt ext{};
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.subtype = 1;
  ship.ext = &ext;
  EXPECT_EQ(ObjGetTunedSpeed(&ship), 0);
  EXPECT_EQ(ObjGetTunedRotRate0(&ship), 0);
  EXPECT_EQ(ObjGetTypeBodyId(&ship), 0);
  EXPECT_EQ(GetShipTurretCount(&ship), 0);
  EXPECT_EQ(ShipGetComponentCount(&ship), 0);
  EXPECT_EQ(ObjGetMaxEnergy(&ship), 0);
  EXPECT_EQ(ShipSetWeaponEnergy(&ship, 50), 0);  // maximum 0 without a row
  EXPECT_FALSE(ShipIsLargeClass(&ship));
  EXPECT_FALSE(MissileFitsShip(1, 0));
  EXPECT_FALSE(MissileFitsShip(0, 1));
  EXPECT_FALSE(LaserFitsShipTurret(1, 0, 0));
  EXPECT_FALSE(LaserFitsShipTurret(0, 1, 0));
  EXPECT_EQ(ShipTurretFirstSlot(1, 0), 1);
  EXPECT_EQ(ShipTurretSlotCount(1, 0), 0);
  EXPECT_EQ(ShipComponentValue(1, 0), 0);
  ship.subtype = -1;
  EXPECT_EQ(ObjGetTypeNameTextId(&ship), 0);
  SpaceObject sector{};
  sector.objClass = kClassSector;
  EXPECT_EQ(ObjGetTypeNameTextId(&sector), 882);
  SpaceObject body{};
  body.objClass = kClassBodyObject;
  body.subtype = 321;
  EXPECT_EQ(ObjGetTypeBodyId(&body), 321);
}

TEST_F(TypeAccess, EquipmentFitsByGroupMaskAndSize) {
  ObjectTypeRecord* ships = Rows(kClassShip, 1);
  ships[0].ship.missileMask = 1u << 3;
  ships[0].ship.maxEquipmentSize = 2;
  ships[0].ship.turretCount = 1;
  ships[0].ship.turrets[0].laserMask = 1u << 5;
  ObjectTypeRecord* missiles = Rows(kClassMissile, 4);
  missiles[0].group = 3;
  missiles[0].tailValue[4] = 2;
  missiles[1].group = 3;
  missiles[1].tailValue[4] = 3;  // too big
  missiles[2].group = 4;         // not in the mask
  missiles[3].group = 40;        // no such bit
  ObjectTypeRecord* lasers = Rows(kClassLaser, 2);
  lasers[0].group = 5;
  lasers[1].group = 6;
  EXPECT_TRUE(MissileFitsShip(0, 0));
  EXPECT_FALSE(MissileFitsShip(1, 0));
  EXPECT_FALSE(MissileFitsShip(2, 0));
  EXPECT_FALSE(MissileFitsShip(3, 0));
  EXPECT_TRUE(LaserFitsShipTurret(0, 0, 0));
  EXPECT_FALSE(LaserFitsShipTurret(1, 0, 0));
  EXPECT_FALSE(LaserFitsShipTurret(0, 0, 1));  // turret beyond the count
}

TEST_F(TypeAccess, WeaponEnergyIsKeptInThousandths) {
  Rows(kClassShip, 1)[0].ship.maxWeaponEnergy = 500;
  ObjectTypeRecord* bullets = Rows(kClassBullet, 1);
  bullets[0].bullet.impactValue[3] = 200;  // energy per shot
  ShipExt ext{};
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.ext = &ext;
  EXPECT_EQ(ShipSetWeaponEnergy(&ship, 800), 500);
  EXPECT_EQ(ext.weaponEnergy, 500000);
  ShipDrainShotEnergy(&ship, 0);
  EXPECT_EQ(ShipGetWeaponEnergy(&ship), 300);
  ShipDrainShotEnergy(&ship, 0);
  ShipDrainShotEnergy(&ship, 0);
  EXPECT_EQ(ext.weaponEnergy, 0);  // not below 0
  ShipDrainShotEnergy(&ship, 1);   // no such bullet: nothing
  EXPECT_EQ(ext.weaponEnergy, 0);
}

TEST_F(TypeAccess, QuantitiesAndAmounts) {
  AmountExt ware{5};
  SpaceObject wareObject{};
  wareObject.objClass = 13;
  wareObject.ext = &ware;
  CameraExt camera{};
  SpaceObject cameraObject{};
  cameraObject.objClass = kClassCamera;
  cameraObject.ext = &camera;
  SpaceObject planet{};
  planet.objClass = kClassPlanet;
  EXPECT_EQ(ObjGetQuantity(&wareObject), 5);
  ObjSetQuantity(&cameraObject, 9);
  EXPECT_EQ(camera.words[3], 9u);
  EXPECT_EQ(ObjGetQuantity(&cameraObject), 9);
  EXPECT_EQ(ObjGetQuantity(&planet), 1);

  AmountExt wreck{};
  SpaceObject wreckObject{};
  wreckObject.objClass = kClassShipWreck;
  wreckObject.ext = &wreck;
  EXPECT_EQ(WreckSetExtField0(&wreckObject, -4), 0);
  EXPECT_EQ(WreckSetExtField0(&wreckObject, 12), 12);
  EXPECT_EQ(wreck.amount, 12u);
  EXPECT_EQ(DebrisSetExtField0(&wreckObject, 3), 0);  // not debris
  EXPECT_EQ(wreck.amount, 12u);
}

TEST_F(TypeAccess, WreckClassesNeedAWreckRow) {
  Rows(kClassShipWreck, 2);
  int32_t objClass = -1, subtype = -1;
  EXPECT_TRUE(GetWreckClassFor(kClassShip, 1, &objClass, &subtype));
  EXPECT_EQ(objClass, kClassShipWreck);
  EXPECT_EQ(subtype, 1);
  EXPECT_FALSE(GetWreckClassFor(kClassShip, 2, &objClass, &subtype));
  EXPECT_FALSE(GetWreckClassFor(kClassDock, 0, &objClass, &subtype));  // no dock wreck rows
  EXPECT_FALSE(GetWreckClassFor(kClassLaser, 0, &objClass, &subtype));
}

}  // namespace
