// Object queries: maximum speed with its caps, hull changes with the repair cap and the 93 %
// floor, shields of wares and containers in 64-bit arithmetic, the collision exemptions, target
// choice, relations, turrets and weapon ranges, dock-port facts of a type and viewpoints.
#include <gtest/gtest.h>

#include <cstring>

#include "object_world.h"
#include "scene/instance_tree.h"
#include "support/engine_fixture.h"
#include "universe/dock_ports.h"
#include "universe/object_queries.h"

namespace {

constexpr uint32_t kFlag2CapsSpeed = 1u << 15;
constexpr uint32_t kFlag2HullFloor = 1u << 23;
constexpr uint32_t kFlag2NoSameRacePass = 1u << 18;

class ObjectQueries : public ObjectWorld {
 protected:
  // A ship type row: speed, maximum hull and group.
  ObjectTypeRecord* ShipTypes(int count) {
    ObjectTypeRecord* rows = Rows(kClassShip, count);
    for (int i = 0; i < count; ++i) {
      rows[i].ship.speed = 100000;
      rows[i].ship.maxHull = 100;
      rows[i].ship.viewpointGroup = -1;
      rows[i].group = 5;  // a fighter
    }
    return rows;
  }

  SpaceObject* FullShip(int16_t subtype = 0) {
    SpaceObject* ship = Make(kClassShip, subtype);
    ship->hull = GetTypeMaxHull(subtype, kClassShip);
    return ship;
  }

  // A shield object of type `subtype` held by a container, fully charged.
  SpaceObject* ShieldIn(SpaceObject* container, int16_t subtype) {
    SpaceObject* shield = MakeIn(container, kClassShield, subtype);
    static_cast<ShieldExt*>(shield->ext)->charge = kShieldFullCharge;
    return shield;
  }

  // Races a and b as the given relation of each toward the other.
  static void Relate(SpaceObject* a, SpaceObject* b, int32_t aTowardB, int32_t bTowardA) {
    ObjSetRelation(b->owner, a, aTowardB);
    ObjSetRelation(a->owner, b, bTowardA);
  }
};

TEST_F(ObjectQueries, MaximumSpeedFollowsOverrideTuningHullSlowdownAndCaps) {
  struct Case {
    const char* what;
    int32_t hull;  // of 100
    int32_t tuning;
    int32_t override;
    bool parentCaps;
    int32_t slowdown;
    uint32_t slowdownEnd;
    uint16_t owner;
    int32_t raceLimit;
    int32_t expected;
  };
  const Case kCases[] = {
      {"full hull", 100, 0, -1, false, 0, 0, 1, -1, 100000},
      {"override 0 ignores the parent cap", 100, 0, 0, true, 0, 0, 1, -1, 0},
      {"override above the cap stays", 100, 0, 300000, true, 0, 0, 1, -1, 300000},
      {"hull at 50 % gives 65 %", 50, 0, -1, false, 0, 0, 1, -1, 65000},
      {"hull at 10 % gives 30 %", 10, 0, -1, false, 0, 0, 1, -1, 30000},
      {"hull at 0 gives 30 %", 0, 0, -1, false, 0, 0, 1, -1, 30000},
      {"tuning +0.5", 100, 32768, -1, false, 0, 0, 1, -1, 150000},
      {"tuning then hull", 50, 32768, -1, false, 0, 0, 1, -1, 97500},
      {"parent caps at 20000", 100, 0, -1, true, 0, 0, 1, -1, 20000},
      {"slowdown by half until its end", 100, 32768, -1, false, 32768, 1000, 1, -1, 75000},
      {"slowdown past its end is dropped", 100, 0, -1, false, 32768, 999, 1, -1, 100000},
      {"race 10 limit", 100, 0, -1, false, 0, 0, 10, 70000, 70000},
      {"race 10 limit above the speed", 100, 0, -1, false, 0, 0, 10, 170000, 100000},
      {"another race ignores the limit", 100, 0, -1, false, 0, 0, 9, 70000, 100000},
  };
  ShipTypes(1);
  SetTime(1000);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* parent = Make(kClassSector);
    if (c.parentCaps) parent->flags2 |= kFlag2CapsSpeed;
    SpaceObject* ship = MakeIn(parent, kClassShip);
    ship->hull = c.hull;
    ship->owner = c.owner;
    ShipExt* ext = Ship(ship);
    ext->speedTuning = c.tuning;
    ext->maxSpeedOverride = c.override;
    ext->slowdownFactor = c.slowdown;
    ext->slowdownEnd = c.slowdownEnd;
    ext->race10SpeedLimit = c.raceLimit;
    EXPECT_EQ(GetObjectMaxSpeed(ship), c.expected);
    if (c.slowdown && c.slowdownEnd < 1000) {
      EXPECT_EQ(ext->slowdownFactor, 0);
      EXPECT_EQ(ext->slowdownEnd, 0u);
    }
  }
}

TEST_F(ObjectQueries, DockingSpeedIsAQuarterButNeverBelow20000) {
  ObjectTypeRecord* rows = ShipTypes(2);
  rows[0].ship.speed = 40000;
  rows[1].ship.speed = 400000;
  EXPECT_EQ(GetObjectMaxSpeedQuarterMin(FullShip(0)), 20000);
  EXPECT_EQ(GetObjectMaxSpeedQuarterMin(FullShip(1)), 100000);
}

TEST_F(ObjectQueries, GlobalsScaledSpeedNeedsItsSetting) {
  ShipTypes(1);
  SpaceObject* ship = FullShip();
  EXPECT_EQ(ShipGetGlobalsScaledSpeed(ship), 0);  // no Globals entry
  GlobalsEntry entries[] = {{1, 2 * 65536}};
  gGlobalsTable = {1, entries};
  EXPECT_EQ(ShipGetGlobalsScaledSpeed(ship), 200000);
  Ship(ship)->valueOverride = 5;
  EXPECT_EQ(ShipGetGlobalsScaledSpeed(ship), 5);
}

TEST_F(ObjectQueries, HullChangesStayBetweenTheFloorAndTheMaximum) {
  struct Case {
    const char* what;
    bool floor;
    int32_t hull;
    int32_t damage;
    int32_t expected;
  };
  const Case kCases[] = {
      {"damage", false, 100, 30, 70},
      {"damage below 0 stops at 0", false, 20, 50, 0},
      {"repair is capped", false, 80, -50, 100},
      {"floor after damage", true, 100, 50, 93},
      {"floor after a deadly hit", true, 100, 500, 93},
      {"floor raises a low hull on repair", true, 10, -1, 93},
      {"repair above the floor", true, 95, -50, 100},
      {"small damage above the floor", true, 100, 5, 95},
  };
  ShipTypes(1);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* ship = Make(kClassShip);
    ship->hull = c.hull;
    if (c.floor) ship->flags2 |= kFlag2HullFloor;
    ObjChangeHull(ship, c.damage);
    EXPECT_EQ(ship->hull, c.expected);
  }
}

TEST_F(ObjectQueries, HullChangesOnlyReachTheirClasses) {
  ShipTypes(1);
  SpaceObject* rock = Make(kClassAsteroid);
  rock->hull = 100;
  ObjChangeHull(rock, 10);
  EXPECT_EQ(rock->hull, 100);
  SpaceObject* special = Make(kClassSpecial, 3);
  special->hull = 100;
  ObjChangeHull(special, 10);
  EXPECT_EQ(special->hull, 90);
}

TEST_F(ObjectQueries, HullMaximumAndSetting) {
  ShipTypes(1);
  SpaceObject* ship = Make(kClassShip);
  EXPECT_EQ(ObjSetHull(ship, -5), 0);
  EXPECT_EQ(ObjSetHull(ship, 500), 100);
  EXPECT_EQ(ship->hull, 100);
  ship->flags |= kObjFlagNoHull;
  EXPECT_EQ(ObjGetMaxHull(ship), 0);
  Rows(kClassMissile, 1);
  SpaceObject* missile = Make(kClassMissile);
  EXPECT_EQ(ObjGetMaxHull(missile), 100);  // the Globals missile hull while not launched
  missile->flags |= kObjFlagArmed;
  EXPECT_EQ(ObjGetMaxHull(missile), 45);
}

TEST_F(ObjectQueries, WareShieldIsItsAmountTimesItsClassFactorAndNeverCharged) {
  struct Case {
    uint16_t objClass;
    int16_t subtype;
    int32_t amount;
    int32_t expected;
  };
  const Case kCases[] = {
      {kClassWareFirst, 0, 3, 1500}, {16, 0, 3, 15000}, {16, 1, 3, 300},
      {12, 0, 3, 300},               {kClassLaser, 0, 2, 200},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.objClass * 100 + c.subtype);
    SpaceObject* ware = Make(c.objClass, c.subtype);
    ObjSetQuantity(ware, c.amount);
    EXPECT_EQ(ObjGetMaxShield(ware), c.expected);
    EXPECT_EQ(ObjGetShield(ware), 0);
  }
}

TEST_F(ObjectQueries, FixedShieldsOfBodiesAndSpecials) {
  struct Case {
    uint16_t objClass;
    int16_t subtype;
    int32_t expected;
  };
  const Case kCases[] = {
      {kClassSun, 0, 10000000}, {kClassPlanet, 0, 10000000}, {kClassAsteroid, 0, 0},
      {kClassShipWreck, 0, 0},  {kClassSpecial, 5, 100},     {kClassSpecial, 28, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.objClass * 100 + c.subtype);
    SpaceObject* o = Make(c.objClass, c.subtype);
    EXPECT_EQ(ObjGetMaxShield(o), c.expected);
    EXPECT_EQ(ObjGetShield(o), c.expected);
  }
}

TEST_F(ObjectQueries, ContainerShieldsAreFormedIn64Bits) {
  ShipTypes(1);
  ObjectTypeRecord* shields = Rows(kClassShield, 1);
  shields[0].shield.capacity = 500000;
  SpaceObject* ship = FullShip();
  EXPECT_EQ(ObjSetShield(ship, 1000), 0);  // no shields: nothing to charge
  SpaceObject* a = ShieldIn(ship, 0);
  SpaceObject* b = ShieldIn(ship, 0);
  EXPECT_EQ(ObjGetMaxShield(ship), 1000000);
  EXPECT_EQ(ObjGetShield(ship), 1000000);
  EXPECT_EQ(ObjSetShield(ship, 750000), 750000);
  EXPECT_EQ(static_cast<ShieldExt*>(a->ext)->charge, 49152000);
  EXPECT_EQ(static_cast<ShieldExt*>(b->ext)->charge, 49152000);
  EXPECT_EQ(ObjGetShield(ship), 750000);
  EXPECT_EQ(ObjSetShield(ship, 5000000), 1000000);  // capped at the maximum
  EXPECT_EQ(ObjSetShield(ship, -10), 0);
  EXPECT_EQ(ObjGetShield(ship), 0);
  EXPECT_EQ(ObjSetShield(Make(kClassAsteroid), 10), 0);  // not a container
}

TEST_F(ObjectQueries, EnergyIsStoredInThousandthsUpToTheMaximum) {
  ObjectTypeRecord* rows = ShipTypes(1);
  rows[0].ship.maxWeaponEnergy = 3000;
  SpaceObject* ship = FullShip();
  EXPECT_EQ(ObjSetEnergy(5000, ship), 3000);
  EXPECT_EQ(Ship(ship)->weaponEnergy, 3000000);
  EXPECT_EQ(ObjGetShieldPlusEnergy(ship), 3000);
  EXPECT_EQ(ObjSetEnergy(10, Make(kClassAsteroid)), 0);
}

TEST_F(ObjectQueries, CollisionExemptions) {
  ShipTypes(2);
  Rows(kClassMissile, 1);
  Rows(kClassDock, 1);
  Rows(kClassFactory, 1);
  struct Case {
    const char* what;
    bool expected;
  };
  // Each case builds its pair in the switch below.
  const Case kCases[] = {
      {"two asteroids", true},
      {"asteroid and debris", true},
      {"friendly ships", true},
      {"friendly ships, one refusing same-race passing", false},
      {"hostile ships", false},
      {"ship approaching its container", true},
      {"ship near a container it does not approach", false},
      {"missile and its launcher", true},
      {"friendly ships, one with bit 1", false},
      {"stations, one exempt by flags2 bit 28", true},
      {"factories along a chain of links", true},
      {"factories with a loop of links", false},
      {"special and an object exempt from specials", true},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(c.what);
    SpaceObject *a = nullptr, *b = nullptr;
    switch (i) {
      case 0: a = Make(kClassAsteroid), b = Make(kClassAsteroid); break;
      case 1: a = Make(kClassAsteroid), b = Make(kClassDebris); break;
      case 2:
      case 3:
      case 4:
      case 8:
        a = FullShip(), b = FullShip();
        a->owner = 1, b->owner = 2;
        Relate(a, b, i == 4 ? -1 : 1, i == 4 ? 0 : 1);
        if (i == 3) b->flags2 |= kFlag2NoSameRacePass;
        if (i == 8) a->flags |= kObjFlagBit1;
        break;
      case 5:
      case 6:
        a = Make(kClassDock), b = FullShip();
        a->flags |= kObjFlagContainer;
        Ship(b)->commandState = i == 5 ? 5 : 0;
        Ship(b)->commandObject = a;
        break;
      case 7:
        a = Make(kClassMissile), b = FullShip();
        a->flags |= kObjFlagArmed;
        Missile(a)->launcher = b;
        a->owner = 1, b->owner = 2;
        break;
      case 9:
        a = Make(kClassDock), b = Make(kClassDock);
        b->flags2 |= kObjFlag2Bit28;
        break;
      case 10:
      case 11: {
        a = Make(kClassFactory), b = Make(kClassFactory);
        SpaceObject* c1 = Make(kClassFactory);
        SpaceObject* c2 = Make(kClassFactory);
        static_cast<FactoryExt*>(a->ext)->linkedFactory = c1;
        static_cast<FactoryExt*>(c1->ext)->linkedFactory = c2;
        static_cast<FactoryExt*>(c2->ext)->linkedFactory = i == 10 ? b : c1;
        break;
      }
      case 12:
        a = Make(kClassSpecial, 5), b = FullShip();
        b->flags2 |= 1u << 16;
        break;
    }
    EXPECT_EQ(ObjPairIgnoresCollision(a, b), c.expected);
    EXPECT_EQ(ObjPairIgnoresCollision(b, a), c.expected);
  }
}

TEST_F(ObjectQueries, TargetChoiceOfCapitalShipsMinersAndSpecialTypes) {
  ObjectTypeRecord* rows = ShipTypes(276);
  rows[1].group = 0;    // a carrier: a capital ship
  rows[2].group = 11;   // a large ship that is no capital
  Rows(kClassLaser, 1);
  struct Case {
    const char* what;
    int16_t shipType, targetType;
    uint16_t targetClass;
    bool expected;
  };
  const Case kCases[] = {
      {"fighter at fighter", 0, 0, kClassShip, true},
      {"capital ship at fighter", 1, 0, kClassShip, false},
      {"capital ship at large ship", 1, 2, kClassShip, true},
      {"fighter at a laser", 0, 0, kClassLaser, false},
      {"fighter at an asteroid", 0, 0, kClassAsteroid, true},
      {"fighter at subtype 275", 0, 275, kClassShip, false},
      {"subtype 275 at subtype 275", 275, 275, kClassShip, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* ship = FullShip(c.shipType);
    SpaceObject* target = c.targetClass == kClassShip ? FullShip(c.targetType) : Make(c.targetClass, c.targetType);
    EXPECT_EQ(ShipIsValidTarget(target, ship), c.expected);
  }
  SpaceObject* ship = FullShip();
  SpaceObject* docking = FullShip();
  Ship(docking)->commandState = 20;
  Ship(docking)->commandObject = ship;
  EXPECT_FALSE(ShipIsValidTarget(docking, ship));
  EXPECT_TRUE(ShipIsValidTarget(docking, FullShip()));
  EXPECT_FALSE(ShipIsValidTarget(ship, Make(kClassDock)));  // only ships choose targets
}

TEST_F(ObjectQueries, MinerStrengthTestDoesNotOverflow) {
  // (shield 500000 + 2 x hull 2000000) x speed 20000 passes 32 bits many times over.
  ObjectTypeRecord* rows = ShipTypes(1);
  rows[0].ship.maxHull = 2000000;
  Rows(kClassShield, 1)[0].shield.capacity = 500000;
  struct Case {
    int32_t speed;
    bool expected;
  };
  const Case kCases[] = {{20000, true}, {10000, false}, {60000, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.speed);
    SpaceObject* miner = FullShip();
    ShieldIn(miner, 0);
    miner->radius = 1000;
    miner->speed = c.speed;
    Ship(miner)->commandState = 36;
    SpaceObject* rock = Make(kClassAsteroid);
    rock->radius = 4000;
    EXPECT_EQ(ShipIsValidTarget(rock, miner), c.expected);
  }
}

TEST_F(ObjectQueries, ReciprocalHostilityAnswersAStationsFoes) {
  Rows(kClassDock, 1);
  ShipTypes(1);
  SpaceObject* dock = Make(kClassDock);
  SpaceObject* ship = FullShip();
  dock->owner = 1, ship->owner = 2;
  Relate(dock, ship, 0, -1);  // the ship's race regards the dock's as a foe
  EXPECT_EQ(ObjGetRelationEx(ship, dock), 0);
  static_cast<DockExt*>(dock->ext)->reciprocalHostile = 1;
  EXPECT_EQ(ObjGetRelationEx(ship, dock), -1);
  EXPECT_TRUE(ObjIsHostile(ship, dock));
  EXPECT_FALSE(ObjIsHostile(nullptr, dock));
  ObjSetRelationToRaceOf(dock, ship, 1);
  EXPECT_EQ(ObjGetRelation(ship, dock), 1);
}

TEST_F(ObjectQueries, LasersOfATurretAndWeaponRanges) {
  ObjectTypeRecord* ships = ShipTypes(1);
  ships[0].ship.turretCount = 2;
  ships[0].ship.turrets[0].firstSlot = 2;  // slots 2..4
  ships[0].ship.turrets[0].slotCount = 3;
  ships[0].ship.turrets[1].firstSlot = 5;
  ships[0].ship.turrets[1].slotCount = 1;
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bullet = {};
  bullets[0].bullet.lifetime = 5000;
  bullets[0].bullet.speed = 600000;  // a product beyond 32 bits
  bullets[1].bullet.lifetime = 1000;
  bullets[1].bullet.speed = 1000;
  ObjectTypeRecord* lasers = Rows(kClassLaser, 2);
  lasers[0].laser.bulletType = 0;
  lasers[0].turnRate[0] = 9000, lasers[0].turnRate[1] = 20000;
  lasers[1].laser.bulletType = 1;
  lasers[1].turnRate[0] = 12000, lasers[1].turnRate[1] = 3000;

  SpaceObject* ship = FullShip();
  int32_t a = 0, b = 0, lo = -1, hi = -1;
  EXPECT_FALSE(ShipTurretLaserMinima(ship, 0, &a, &b));
  EXPECT_EQ(a, 16384);
  ObjGetLaserMinMax(ship, &lo, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);

  const int slots[] = {2, 4, 5};
  SpaceObject* laser[3];
  for (int i = 0; i < 3; ++i) {
    laser[i] = MakeIn(ship, kClassLaser, static_cast<int16_t>(i == 0 ? 0 : 1));
    static_cast<LaserExt*>(laser[i]->ext)->laserSlot = static_cast<uint16_t>(slots[i]);
  }
  EXPECT_TRUE(LaserIsInTurret(laser[0], ship, 0));
  EXPECT_TRUE(LaserIsInTurret(laser[1], ship, 0));
  EXPECT_FALSE(LaserIsInTurret(laser[2], ship, 0));
  EXPECT_TRUE(LaserIsInTurret(laser[2], ship, 1));
  EXPECT_FALSE(LaserIsInTurret(laser[0], ship, 2));
  EXPECT_FALSE(LaserIsInTurret(laser[0], ship, -1));
  EXPECT_TRUE(ShipTurretLaserMinima(ship, 0, &a, &b));
  EXPECT_EQ(a, 9000);
  EXPECT_EQ(b, 3000);
  EXPECT_FALSE(ShipTurretLaserMinima(Make(kClassDock), 0, &a, &b));
  EXPECT_EQ(a, 0);

  EXPECT_EQ(LaserGetBulletRange(laser[0]), 3000000);
  ObjGetLaserMinMax(ship, &lo, &hi);
  EXPECT_EQ(lo, 1000);
  EXPECT_EQ(hi, 3000000);
  EXPECT_EQ(BulletGetRange(Make(kClassBullet, 0)), 3000000);
  EXPECT_EQ(BulletGetRange(laser[0]), 0);
}

TEST_F(ObjectQueries, DockPortFactsOfAType) {
  ObjectTypeRecord* docks = Rows(kClassDock, 1);
  DockSlotList list{};
  ListInit(&list.slots);
  DockPortType ports[3] = {};
  ports[0].flags = 1u << 5 | kDockPortInsideOnly;
  ports[0].animFlags = 0x21;
  ports[1].flags = 1u << 5 | kDockPortOutsideOnly;
  ports[2].flags = 1u << 5;
  for (DockPortType& p : ports) ListAddTail(&list.slots, &p.node);
  docks[0].station.dockSlots = &list;

  EXPECT_EQ(TypeGetDockSlotCount(0, kClassDock), 3);
  EXPECT_EQ(TypeGetDockSlotCount(0, kClassSun), 0);
  EXPECT_EQ(TypeGetDockSlotCount(1, kClassDock), 0);
  EXPECT_EQ(TypeGetDockSlotValue(0, 0, kClassDock), 0x21u);
  EXPECT_EQ(TypeGetDockSlotValue(0, 3, kClassDock), 0u);
  EXPECT_EQ(TypeGetDockSlotValue(0, -1, kClassDock), 0u);
  struct Case {
    int32_t port, bit;
    bool inside;
    uint32_t expected;
  };
  const Case kCases[] = {
      {0, 5, true, ports[0].flags}, {0, 5, false, 0},  {1, 5, false, ports[1].flags},
      {1, 5, true, 0},              {2, 5, true, ports[2].flags}, {2, 6, true, 0},
      {2, 40, true, 0},             {3, 5, true, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.port * 100 + c.bit);
    EXPECT_EQ(TypeDockSlotHasFlag(kClassDock, c.port, 0, c.bit, c.inside), c.expected);
  }
}

TEST_F(ObjectQueries, ViewpointsComeFromTheirGroupsRowAndBadChoicesChangeNothing) {
  ObjectTypeRecord* rows = ShipTypes(2);
  rows[0].ship.viewpointGroup = 1;
  rows[1].ship.viewpointGroup = 2;  // beyond the table
  FlightViewRow table[2 * kFlightViewRowsPerGroup] = {};
  table[7] = {{1000, -2000, 0}, 1};
  table[8] = {{0, 16384, 0}, 0};
  gFlightViewTable = {2, table};

  SpaceObject* ship = FullShip(0);
  ShipExt* ext = Ship(ship);
  ShipSelectViewpoint(ship, 2, true, false);
  EXPECT_EQ(ext->viewpoint, 2);
  EXPECT_EQ(ext->viewAngles[0], 1000);
  EXPECT_EQ(ext->viewAngles[1], -2000);
  EXPECT_EQ(ext->viewAnglesB[1], -2000);
  EXPECT_TRUE(ship->flags2 & kObjFlag2Viewpoint);
  FixedMatrix expected{};
  MatrixFromAngles(&expected, 1000, static_cast<uint32_t>(-2000), 0);
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(ext->rotation.m[r][k], expected.m[r][k]) << r << k;
  }

  const ShipExt before = *ext;
  const uint32_t flags2 = ship->flags2;
  ShipSelectViewpoint(ship, 5, true, true);   // a group has five viewpoints
  ShipSelectViewpoint(ship, -2, true, true);  // and -1 is the only negative choice
  EXPECT_EQ(std::memcmp(&before, ext, sizeof before), 0);
  EXPECT_EQ(ship->flags2, flags2);

  ShipSelectViewpoint(ship, 3, false, false);
  EXPECT_EQ(ext->viewpoint, 3);
  EXPECT_EQ(ext->viewAngles[1], 16384);
  EXPECT_EQ(ext->viewAnglesB[1], -2000);  // not applied
  EXPECT_FALSE(ship->flags2 & kObjFlag2Viewpoint);

  SpaceObject* other = FullShip(1);
  ShipSelectViewpoint(other, 1, true, true);
  EXPECT_EQ(Ship(other)->viewpoint, -1);  // its group lies beyond the table

  ShipSelectViewpoint(ship, -1, false, false);
  EXPECT_EQ(ext->viewpoint, -1);
  EXPECT_EQ(ext->viewAngles[0], 0);
  EXPECT_EQ(ext->viewAngles[1], 0);
}

TEST_F(ObjectQueries, WareLikeObjectsAndUnknownBodies) {
  Rows(kClassMissile, 1);
  SpaceObject* missile = Make(kClassMissile);
  EXPECT_TRUE(ObjIsWareObject(missile));
  missile->flags |= kObjFlagArmed;
  EXPECT_FALSE(ObjIsWareObject(missile));
  EXPECT_TRUE(ObjIsWareObject(Make(kClassShield)));
  EXPECT_TRUE(ObjIsWareObject(Make(13)));
  EXPECT_FALSE(ObjIsWareObject(Make(kClassAsteroid, 9)));  // references nothing
  EXPECT_STREQ(GetBodyTypeName(4711), "--- Unknown Body ---");
}

TEST_F(ObjectQueries, BulletLightTakesTheTypesColourAndAFixedRange) {
  EngineFixture engine;
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bullet.lightRed = 0x10000 | 200;  // only the low 16 bits are a colour
  bullets[0].bullet.lightBlue = 40;
  SpaceObject* dark = Make(kClassBullet, 1);
  BulletCreateLight(dark);
  EXPECT_EQ(static_cast<BulletExt*>(dark->ext)->attachedInstance, nullptr);

  SpaceObject* bullet = Make(kClassBullet, 0);
  BulletCreateLight(bullet);
  InstanceRecord* light = static_cast<BulletExt*>(bullet->ext)->attachedInstance;
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->lightColor[0], 200);
  EXPECT_EQ(light->lightColor[1], 0);
  EXPECT_EQ(light->lightColor[2], 40);
  EXPECT_EQ(light->flags & 0x20400000u, 0x20400000u);
  EXPECT_EQ(light->lightRange, 1000000);
  EXPECT_EQ(light->words31[1], 0xA0000u);
  FreeInstance(light);
}

}  // namespace
