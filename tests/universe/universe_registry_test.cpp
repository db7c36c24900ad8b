// The universe's settings and registry: the Globals settings with their defaults and the fire
// angle's clamps, objects found by id while keys are handed out and wrap, the value scripts set
// on objects, race relations, match lookups, the active-sector test, the state reset and the
// hit-drain ratio kept in range, the slowing effect a bullet hit starts, the commander link and
// the release of a media stream.
#include <gtest/gtest.h>

#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "script/containers.h"
#include "universe/type_world.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

class UniverseRegistry : public TypeWorld {
 protected:
  void SetUp() override {
    universe_ = UniverseBlock{};
    ListInit(&universe_.objects);
    universe_.idHash = HashCreate();
    universe_.takeHash = HashCreate();
    saved_ = gUniverse;
    gUniverse = &universe_;
  }
  void TearDown() override {
    ReleaseValue(&universe_.scriptValue);
    HashDestroy(universe_.idHash);
    HashDestroy(universe_.takeHash);
    gUniverse = saved_;
    TypeWorld::TearDown();
  }
  void SetGlobals(std::vector<GlobalsEntry> entries) {
    globals_ = std::move(entries);
    gGlobalsTable = {static_cast<int32_t>(globals_.size()), globals_.data()};
    ApplyGlobals();
  }

  UniverseBlock universe_{};
  UniverseBlock* saved_ = nullptr;
  std::vector<GlobalsEntry> globals_;
};

TEST_F(UniverseRegistry, GlobalsDefaultsWithoutATable) {
  ApplyGlobals();
  EXPECT_EQ(gMaxCommDistance, 12500000);
  EXPECT_EQ(gMaxFireAngle, 5461);
  EXPECT_EQ(gMaxFireAngleCos, TableCosine(5461));
  EXPECT_EQ(gMaxHullContainer, 100);
  EXPECT_EQ(gMaxHullBoardingPod, 300);
  EXPECT_EQ(gCursorSteeringDamping, 30);
  EXPECT_EQ(gDetailVisibleMinDist, 0);
  EXPECT_EQ(GlobalsGet(95, -7), -7);
}

TEST_F(UniverseRegistry, GlobalsSettingsComeFromTheTable) {
  SetGlobals({{84, 11}, {96, 100}, {100, 120}, {101, 350}, {94, 12}, {96, 5}});
  EXPECT_EQ(gDetailVisibleMinDist, 11);
  EXPECT_EQ(gMaxCommDistance, 50000);  // the first pair of an id wins
  EXPECT_EQ(gMaxHullContainer, 120);
  EXPECT_EQ(gMaxHullBoardingPod, 350);
  EXPECT_EQ(gCursorSteeringDamping, 12);
  EXPECT_EQ(GetTypeMaxHull(0, kClassLaser), 120);
  EXPECT_EQ(GetTypeMaxHull(35, kClassMissile), 350);
}

TEST_F(UniverseRegistry, FireAngleIsClampedToZeroAndEightyNineDegrees) {
  struct Case {
    int32_t degrees;
    int32_t angle;
  };
  const Case kCases[] = {{1, 182}, {45, 8192}, {88, 16019}, {89, 16201}, {120, 16201}};
  for (const Case& c : kCases) {
    SetGlobals({{95, c.degrees}});
    EXPECT_EQ(gMaxFireAngle, c.angle) << c.degrees;
    EXPECT_EQ(gMaxFireAngleCos, TableCosine(static_cast<uint32_t>(c.angle)));
    int32_t cosine = gMaxFireAngleCos;
    int64_t tangent = (static_cast<int64_t>(TableSine(static_cast<uint32_t>(c.angle))) << 16) / cosine;
    EXPECT_EQ(gMaxFireAngleTan, tangent) << c.degrees;
  }
  for (int32_t degrees : {0, -5}) {
    SetGlobals({{95, degrees}});
    EXPECT_EQ(gMaxFireAngle, 0);
    EXPECT_EQ(gMaxFireAngleCos, 65536);
    EXPECT_EQ(gMaxFireAngleTan, 0);
  }
  SetGlobals({{95, 45}});
  EXPECT_NEAR(gMaxFireAngleTan, 65536, 8);
}

TEST_F(UniverseRegistry, ObjectsAreFoundByIdWhileKeysWrap) {
  SpaceObject ship{};
  ship.objClass = kClassShip;
  SectorObject sector{};
  sector.objClass = kClassSector;
  SpaceObject later{};
  HashSetKeyCounter(universe_.idHash, 0x7FFFFFFD);  // two keys before the counter wraps
  ship.id = HashInsertNewKey(universe_.idHash, reinterpret_cast<HashValue>(&ship));
  sector.id = HashInsertNewKey(universe_.idHash, reinterpret_cast<HashValue>(&sector));
  later.id = HashInsertNewKey(universe_.idHash, reinterpret_cast<HashValue>(&later));
  EXPECT_EQ(ship.id, 0x7FFFFFFEu);
  EXPECT_EQ(sector.id, 1u);  // wrapped past the highest key, never 0
  EXPECT_EQ(later.id, 2u);
  EXPECT_EQ(FindObjectById(&universe_, ship.id), &ship);
  EXPECT_EQ(FindObjectByIdGlobal(sector.id), &sector);
  EXPECT_EQ(FindSectorById(sector.id), &sector);
  EXPECT_EQ(FindSectorById(ship.id), nullptr);  // not a sector
  EXPECT_EQ(FindObjectByIdGlobal(0), nullptr);
  EXPECT_EQ(FindObjectById(nullptr, ship.id), nullptr);
  HashRemove(universe_.idHash, ship.id);
  EXPECT_EQ(FindObjectById(&universe_, ship.id), nullptr);
  EXPECT_EQ(FindObjectById(&universe_, later.id), &later);
  // A key freed before the wrap is handed out again on the next round.
  HashSetKeyCounter(universe_.idHash, 0x7FFFFFFD);
  EXPECT_EQ(HashInsertNewKey(universe_.idHash, reinterpret_cast<HashValue>(&ship)), 0x7FFFFFFEu);
  EXPECT_EQ(FindObjectByIdGlobal(0x7FFFFFFE), &ship);

  int take = 0;
  HashInsert(universe_.takeHash, 9, reinterpret_cast<HashValue>(&take));
  EXPECT_EQ(reinterpret_cast<void*>(FindTakeById(9)), &take);
  EXPECT_EQ(FindTakeById(10), nullptr);
}

TEST_F(UniverseRegistry, ScriptValuesSetOnObjectsAndTheUniverse) {
  SpaceObject ship{};
  ship.id = 5;
  HashInsert(universe_.idHash, ship.id, reinterpret_cast<HashValue>(&ship));
  SetObjectEventValue(6, 99);  // unknown: nothing changes
  EXPECT_EQ(ship.scriptValue.type, kValueNone);
  EXPECT_EQ(ship.valueSet, 0u);
  EXPECT_EQ(universe_.scriptValue.type, kValueNone);
  EXPECT_EQ(universe_.savedWordC, 0u);

  AllocArrayValue(&ship.scriptValue, 4);  // released on replacement (ASan reports a leak)
  SetObjectEventValue(5, 17);
  EXPECT_EQ(ship.scriptValue.type, kValueInt);
  EXPECT_EQ(ship.scriptValue.i, 17);
  EXPECT_EQ(ship.valueSet, 1u);

  AllocArrayValue(&universe_.scriptValue, 2);
  SetObjectEventValue(0, -3);
  EXPECT_EQ(universe_.scriptValue.type, kValueInt);
  EXPECT_EQ(universe_.scriptValue.i, -3);
  EXPECT_EQ(universe_.savedWordC, 1u);
}

TEST_F(UniverseRegistry, RelationsByRaceMasks) {
  constexpr uint16_t kRace = 3;
  ShipExt shipExt{};
  shipExt.friendMask = 1u << 2;
  shipExt.foeMask = 1u << 5;
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.owner = kRace;
  ship.ext = &shipExt;
  DockExt dockExt{};
  dockExt.foeMask = 1u << 2;
  SpaceObject dock{};
  dock.objClass = kClassDock;
  dock.ext = &dockExt;
  SpaceObject planet{};
  planet.objClass = kClassPlanet;

  struct Case {
    const char* what;
    uint16_t otherClass;
    uint32_t otherFlags;
    uint16_t otherRace;
    bool targetIsObject;
    SpaceObject* object;
    uint32_t objectFlags2;
    int32_t expected;
  };
  const Case kCases[] = {
      {"friend race", kClassShip, 0, 2, false, &ship, 0, 1},
      {"foe race", kClassShip, 0, 5, false, &ship, 0, -1},
      {"neutral race", kClassShip, 0, 7, false, &ship, 0, 0},
      {"own race, no bit", kClassShip, 0, kRace, false, &ship, 0, 0},
      {"dock's foe", kClassShip, 0, 2, false, &dock, 0, -1},
      {"not a ship or station", kClassShip, 0, 2, false, &planet, 0, 0},
      {"flags2 bit 30 makes neutral", kClassShip, 0, 5, false, &ship, 1u << 30, 0},
      {"no race", kClassShip, 0, kNoOwner, false, &ship, 0, 0},
      {"race beyond the masks", kClassShip, 0, 40, false, &ship, 0, 0},
      {"race 34 is not bit 2", kClassShip, 0, 34, false, &ship, 0, 0},
      {"armed missile aimed elsewhere", kClassMissile, kObjFlagArmed, 2, false, &ship, 0, -1},
      {"armed missile, bit 30 too", kClassMissile, kObjFlagArmed, 2, false, &ship, 1u << 30, -1},
      {"armed missile at the object", kClassMissile, kObjFlagArmed, 2, true, &ship, 0, 1},
      {"armed missile of own race", kClassMissile, kObjFlagArmed, kRace, false, &ship, 0, 0},
      {"unarmed missile: masks", kClassMissile, 0, 5, false, &ship, 0, -1},
      {"unarmed missile: friend", kClassMissile, 0, 2, false, &ship, 0, 1},
  };
  for (const Case& c : kCases) {
    MissileExt missileExt{};
    SpaceObject other{};
    other.objClass = c.otherClass;
    other.flags = c.otherFlags;
    other.owner = c.otherRace;
    if (c.otherClass == kClassMissile) {
      missileExt.target = c.targetIsObject ? c.object : &planet;
      other.ext = &missileExt;
    }
    c.object->flags2 = c.objectFlags2;
    EXPECT_EQ(ObjGetRelation(&other, c.object), c.expected) << c.what;
    c.object->flags2 = 0;
  }
  EXPECT_EQ(ObjGetRelation(nullptr, &ship), 0);
}

TEST_F(UniverseRegistry, SettingRelations) {
  struct Case {
    int32_t race, value;
    uint32_t friendMask, foeMask;
  };
  const Case kCases[] = {
      {4, 1, 1u << 4, 0},       {4, 7, 1u << 4, 0},  {4, 0, 0, 0},         {4, -1, 0, 1u << 4},
      {3, -1, 1u << 3, 0},      // the own race is always a friend
      {-1, 1, 0xF0, 0x0F},      // no race: unchanged
      {32, 1, 0xF0, 0x0F},      {40, -1, 0xF0, 0x0F},
  };
  for (const Case& c : kCases) {
    ShipExt ext{};
    ext.friendMask = 0xF0;
    ext.foeMask = 0x0F;
    if (c.race >= 0 && c.race < 32) {
      ext.friendMask = 0;
      ext.foeMask = 0;
      if (c.value == 0) ext.friendMask = ext.foeMask = 1u << c.race;
    }
    SpaceObject ship{};
    ship.objClass = kClassShip;
    ship.owner = 3;
    ship.ext = &ext;
    ObjSetRelation(c.race, &ship, c.value);
    EXPECT_EQ(ext.friendMask, c.friendMask) << c.race << " " << c.value;
    EXPECT_EQ(ext.foeMask, c.foeMask) << c.race << " " << c.value;
  }
  SpaceObject planet{};
  planet.objClass = kClassPlanet;
  ObjSetRelation(1, &planet, 1);  // no masks: nothing to write
}

TEST_F(UniverseRegistry, MatchLookupsInBothResultModes) {
  ObjectTypeRecord* ships = Rows(kClassShip, 2);
  ships[0].bodyId = 10;
  ships[0].ship.cut = 110;
  ships[1].bodyId = 11;
  ships[1].ship.cut = 111;
  ships[1].ship.qualifier = 6;
  ObjectTypeRecord* lasers = Rows(kClassLaser, 1);
  lasers[0].bodyId = 20;
  struct Case {
    uint32_t flags;
    MatchRow row;
    int32_t found, found2;  // MatchesFindType with qualifier 6, MatchesFindType2
  };
  const Case kCases[] = {
      // Keys by lookup id, result a lookup id.
      {kMatchFlagCut1 | kMatchFlagCut2 | kMatchFlagCutMatch, {110, 111, 111}, 1, 1},
      // Keys by body id, result a body id.
      {0, {10, 11, 11}, 1, 1},
      {0, {10, 11, 10}, 0, 1},  // ship 0 has qualifier 0
      // Mixed keys: lookup id first, body id second.
      {kMatchFlagCut1, {110, 11, 20}, 0, 1},
      {kMatchFlagCut1, {10, 11, 20}, 0, 0},  // key A is the lookup id, not the body
      {kMatchFlagCutMatch, {10, 11, 999}, 0, 0},  // no type has that lookup id
  };
  for (const Case& c : kCases) {
    MatchRow row = c.row;
    gMatchTable = {c.flags, 1, &row};
    int32_t objClass = -1, subtype = -1;
    EXPECT_EQ(MatchesFindType(-1, kClassShip, 0, kClassShip, 1, 6, &objClass, &subtype), c.found);
    EXPECT_EQ(MatchesFindType2(0, kClassShip, 0, kClassShip, 1, &objClass, &subtype), c.found2);
    if (c.found2 && c.row.result == 20) {
      EXPECT_EQ(objClass, kClassLaser);
    }
    EXPECT_EQ(MatchesFindType2(1, kClassShip, 0, kClassShip, 1, &objClass, &subtype), 0);  // no kind 1
  }
  MatchRow row{110, 111, 111};
  gMatchTable = {kMatchFlagCut1 | kMatchFlagCut2 | kMatchFlagCutMatch, 1, &row};
  int32_t objClass = -1, subtype = -1;
  ASSERT_EQ(MatchesFindType(-1, kClassShip, 0, kClassShip, 1, 6, &objClass, &subtype), 1);
  EXPECT_EQ(objClass, kClassShip);
  EXPECT_EQ(subtype, 1);
}

TEST_F(UniverseRegistry, ActiveSectorTest) {
  SectorObject sector{};
  sector.objClass = kClassSector;
  SectorObject elsewhere{};
  elsewhere.objClass = kClassSector;
  SpaceObject player{};
  SpaceObject ship{};
  struct Case {
    const char* what;
    SpaceObject* parent;
    uint32_t sectorFlags;
    SpaceObject* playerParent;  // null with hasPlayer false: no player
    bool hasPlayer;
    bool expected;
  };
  const Case kCases[] = {
      {"no parent", nullptr, 0, nullptr, false, false},
      {"parent not a sector", &player, 0, nullptr, false, false},
      {"sector without bit 1", &sector, 0, &elsewhere, true, true},
      {"bit 1, no player", &sector, kSectorFlagActiveWithPlayer, nullptr, false, true},
      {"bit 1, player here", &sector, kSectorFlagActiveWithPlayer, &sector, true, true},
      {"bit 1, player elsewhere", &sector, kSectorFlagActiveWithPlayer, &elsewhere, true, false},
  };
  for (const Case& c : kCases) {
    sector.sectorFlags = c.sectorFlags;
    ship.parent = c.parent;
    player.parent = c.playerParent;
    universe_.player = c.hasPlayer ? &player : nullptr;
    EXPECT_EQ(ObjIsInActiveSector(&ship), c.expected) << c.what;
  }
  EXPECT_TRUE(IsPlayerObject(&player) || universe_.player == nullptr);
}

TEST_F(UniverseRegistry, ResetStateAndRemovingStrayObjects) {
  SpaceObject player{};
  universe_.player = &player;
  universe_.savedWordC = 1;
  universe_.savedWordD = 2;
  universe_.missileCount = 7;
  for (uint32_t& w : universe_.statWords) w = 9;
  universe_.moduleNo = 4;
  EXPECT_EQ(UniverseResetState(), &universe_);
  EXPECT_EQ(universe_.runState[0], 1u);
  EXPECT_EQ(universe_.runState[1], 1u);
  EXPECT_EQ(universe_.player, nullptr);
  EXPECT_EQ(universe_.savedWordC, 0u);
  EXPECT_EQ(universe_.savedWordD, 0u);
  EXPECT_EQ(universe_.missileCount, 0u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(universe_.statWords[i], 0u) << i;
  EXPECT_EQ(universe_.statWords[4], 9u);  // beyond the cleared words
  EXPECT_EQ(universe_.moduleNo, 4u);

  SpaceObject sector{};
  sector.objClass = kClassSector;
  SpaceObject stray{};
  stray.objClass = kClassShip;
  SpaceObject parented{};
  parented.objClass = kClassShip;
  parented.parent = &sector;
  ObjectListAddTail(&universe_.objects, &sector);
  ObjectListAddTail(&universe_.objects, &stray);
  ObjectListAddTail(&universe_.objects, &parented);
  RemoveObjectsOutsideSectors();
  EXPECT_EQ(sector.flags & kObjFlagRemoving, 0u);
  EXPECT_NE(stray.flags & kObjFlagRemoving, 0u);
  EXPECT_EQ(parented.flags & kObjFlagRemoving, 0u);
}

TEST_F(UniverseRegistry, DrainRatioIsComputedWithoutOverflow) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bullet.impactValue[4] = 2000000000;
  bullets[0].bullet.impactValue[5] = 400;
  bullets[1].bullet.impactValue[4] = 300;
  bullets[1].bullet.impactValue[5] = 0;
  ShipExt ext{};
  ext.drainBase = 1500000000;
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.ext = &ext;
  ShipUpdateRatio(&ship, 0);
  EXPECT_EQ(ext.drainBase, 1500000000);  // only lowered, never raised
  EXPECT_EQ(ext.drainRatio, 2147483647);  // 1.5e12 / 400 kept in range
  ext.drainBase = 3000000;
  ShipUpdateRatio(&ship, 0);
  EXPECT_EQ(ext.drainRatio, 7500000);  // 3e9 would wrap in 32 bits
  ShipUpdateRatio(&ship, 1);
  EXPECT_EQ(ext.drainBase, 300);
  EXPECT_EQ(ext.drainRatio, 0);
}

TEST_F(UniverseRegistry, ABulletHitStartsItsTypesSlowingEffect) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bullet.flags = 0x200;
  DeriveBulletImpactValues(&bullets[0].bullet, 0);  // 50 and 1000 from flag 0x200
  bullets[1].bullet.impactValue[1] = 2000000000;
  bullets[1].bullet.impactValue[2] = 5;
  SystemBlock block{};
  SystemBlock* previous = gSystem;
  gSystem = &block;
  block.gameTime = 70000;
  ShipExt ext{};
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.ext = &ext;
  ShipStartTypeTimer(&ship, 0);
  EXPECT_EQ(ext.timers[kShipTimerEffectEnd], 71000u);
  EXPECT_EQ(ext.timers[kShipTimerEffectRate], 32768u) << "50 / 100 in 16.16";
  ShipStartTypeTimer(&ship, 1);
  EXPECT_EQ(ext.timers[kShipTimerEffectEnd], 70005u);
  EXPECT_EQ(ext.timers[kShipTimerEffectRate], 2147483647u) << "kept in range";
  ext = ShipExt{};
  ShipStartTypeTimer(&ship, 2);  // no such bullet type
  SpaceObject dock{};
  dock.objClass = kClassDock;
  dock.ext = &ext;
  ShipStartTypeTimer(&dock, 0);
  EXPECT_EQ(ext.timers[kShipTimerEffectEnd], 0u);
  gSystem = previous;
}

TEST_F(UniverseRegistry, NamesAreOwnedCopies) {
  SpaceObject ship{};
  char text[] = "Argo";
  ObjSetName(&ship, text);
  text[0] = 'X';
  EXPECT_STREQ(ship.name, "Argo");
  ObjSetName(&ship, "Second");
  EXPECT_STREQ(ship.name, "Second");
  ObjSetName(&ship, nullptr);
  EXPECT_EQ(ship.name, nullptr);
}

TEST_F(UniverseRegistry, TheCommanderLinkIsKeptByShipsDocksAndFactoriesOnly) {
  struct Case {
    uint16_t objClass;
    int32_t value;
    uint32_t stored;  // for the classes that keep it
    bool kept;
  };
  const Case kCases[] = {
      {kClassShip, 1, 1, true},      {kClassShip, 0, 0, true},  {kClassDock, 1, 1, true},
      {kClassFactory, 1, 1, true},   {kClassGate, 1, 0, false}, {kClassSector, 1, 0, false},
      {kClassAsteroid, 1, 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.objClass);
    // Large enough for any class's extension; the link word is read back where the class keeps it.
    union {
      ShipExt ship;
      FactoryExt factory;
      GateExt gate;
    } ext{};
    ext.ship.reciprocalHostile = 7;
    if (c.objClass == kClassDock || c.objClass == kClassFactory) ext.factory.dock.reciprocalHostile = 7;
    SpaceObject o{};
    o.objClass = c.objClass;
    o.ext = &ext;
    ObjSetExtField84(&o, c.value);
    const uint32_t word = (c.objClass == kClassDock || c.objClass == kClassFactory) ? ext.factory.dock.reciprocalHostile
                                                                                     : ext.ship.reciprocalHostile;
    EXPECT_EQ(word, c.kept ? c.stored : 7u);
  }
  SpaceObject bare{};
  bare.objClass = kClassShip;
  ObjSetExtField84(&bare, 1);  // no extension: nothing to store into
  ObjSetExtField84(nullptr, 1);
}

// A one-stream media list: stream 90, owned by owner 3.
struct MediaLog {
  std::vector<int32_t> stopped;
  std::vector<std::pair<int32_t, int32_t>> detached;
};
MediaLog* gMediaLog = nullptr;

TEST_F(UniverseRegistry, AMediaStreamIsStoppedOnlyForTheOwnerThatHoldsIt) {
  MediaLog log;
  gMediaLog = &log;
  MediaStreamHooks hooks{};
  hooks.find = [](int32_t id, uint32_t* flags, int32_t* owner) {
    *flags = kMediaStreamOwned;
    *owner = 3;
    return id == 90;
  };
  hooks.stop = [](int32_t id) { gMediaLog->stopped.push_back(id); };
  hooks.disconnect = [](int32_t id, int32_t owner) { gMediaLog->detached.push_back({id, owner}); };
  TexAnimSetMediaHooks(&hooks);

  struct Case {
    int32_t stream, owner;
    bool stops;
  };
  const Case kCases[] = {{90, 3, true}, {90, 4, false}, {91, 3, false}};
  for (const Case& c : kCases) {
    log = {};
    ObjReleaseMediaStream(c.stream, c.owner);
    EXPECT_EQ(log.stopped, c.stops ? std::vector<int32_t>{c.stream} : std::vector<int32_t>{}) << c.stream << "/" << c.owner;
    const std::vector<std::pair<int32_t, int32_t>> detached = {{c.stream, c.owner}};
    EXPECT_EQ(log.detached, detached) << "detached in every case";
  }
  TexAnimSetMediaHooks(nullptr);
  gMediaLog = nullptr;
  ObjReleaseMediaStream(90, 3);  // without a media layer: nothing happens
}

}  // namespace
