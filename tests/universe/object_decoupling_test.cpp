// Decoupling along a cut: the events of a ship break-up with and without a ship, the ships held
// at the main one until they break away, and the parts a missile carries along its paths.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "lifecycle_world.h"
#include "scene/cut_records.h"
#include "scene/instance.h"
#include "universe/object_spawns.h"

namespace {

constexpr uint32_t kCutId = 4242;
constexpr int32_t kMainBody = 3201, kPartBody = 3202;
constexpr int32_t kRockLookup = 5000;  // an asteroid type whose cut makes it a lookup id
constexpr int32_t kMainAnswer = 99;

struct GlobalEvent {
  std::string name;
  std::array<int32_t, 6> args;
  bool operator==(const GlobalEvent&) const = default;
};
std::vector<GlobalEvent>* gGlobal = nullptr;

class Decoupling : public LifecycleWorld {
 protected:
  void SetUp() override {
    LifecycleWorld::SetUp();
    ObjectTypeRecord* ships = Rows(kClassShip, 2);
    ships[0].bodyId = kMainBody;
    ships[1].bodyId = kPartBody;
    Rows(kClassMissile, 1);
    Rows(kClassAsteroid, 1)[0].asteroid.cut = kRockLookup;
    gGlobal = &global_;
    SetObjectEventSink([](const ObjectEvent& e) {
      if (e.object) return;
      gGlobal->push_back({e.name, {e.args[0], e.args[1], e.args[2], e.args[3], e.args[4], e.args[5]}});
      if (e.args[4] == 1) SetValueInt(&gUniverse->scriptValue, kMainAnswer);
    });
  }

  void TearDown() override {
    HashRemove(engine_.engine().cutTable, kCutId);
    gGlobal = nullptr;
    LifecycleWorld::TearDown();
  }

  PathRecord* Path(uint32_t body, uint32_t mask, int32_t breakWord = -1) {
    PathRecord& p = paths_[pathCount_++];
    p.lookupWord = body;
    p.pathWord = mask;
    p.loaderWord = static_cast<uint32_t>(breakWord);
    return &p;
  }

  void Enter() {
    cut_.handle = kCutId;
    cut_.pathCount = pathCount_;
    cut_.paths = paths_;
    HashInsert(engine_.engine().cutTable, kCutId, reinterpret_cast<HashValue>(&cut_));
  }

  SpaceObject* Scripted(int32_t objClass) {
    SpaceObject* o = Create(objClass, 0);
    o->scriptId = 600;
    return o;
  }

  std::vector<GlobalEvent> global_;
  PathRecord paths_[8]{};
  int32_t pathCount_ = 0;
  CutRecord cut_{};
};

TEST_F(Decoupling, WithoutAShipEveryMatchingEntryIsAnnouncedWithIdZero) {
  Path(kPartBody, 0);
  Path(kMainBody, 1);
  Path(777, 1);  // names no type
  Enter();
  const int before = TopLevelCount();
  EXPECT_FALSE(ObjDecoupleShip(nullptr, kCutId, 11, 22));
  const std::vector<GlobalEvent> expected = {
      {"CreateDecoupleShip", {11, static_cast<int32_t>(MakeTypeWord(kClassShip, 0)), 0, 22, 1, 0}},
      {"CreateDecoupleShip", {11, static_cast<int32_t>(MakeTypeWord(kClassShip, 1)), 0, 22, 0, kMainAnswer}},
  };
  EXPECT_EQ(global_, expected);
  EXPECT_EQ(TopLevelCount(), before);
}

TEST_F(Decoupling, ReleasedShipsAreHeldAtTheMainShipForAtLeastABreakAwayDelay) {
  struct Case {
    int32_t breakWord;
    uint32_t delay;
  };
  const Case kCases[] = {{-100, 100}, {-5000, 100}, {-99, 100}, {5, 10500}};
  Path(kMainBody, 1);
  for (const Case& c : kCases) Path(kPartBody, 0, c.breakWord);
  Enter();
  SpaceObject* ship = Scripted(kClassShip);
  EXPECT_FALSE(ObjDecoupleShip(ship, kCutId, 0, 0));
  EXPECT_EQ(ship->flags & 0x401u, 0x401u);
  EXPECT_TRUE(ship->flags2 & kObjFlag2VanishWhenDone);
  EXPECT_TRUE(ship->instance->flags & 0x100000u);

  ASSERT_EQ(global_.size(), std::size(kCases) + 1);
  auto* main = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, static_cast<uint32_t>(global_[0].args[2])));
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->subtype, 0);
  for (size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(kCases[i].breakWord);
    auto* part = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, static_cast<uint32_t>(global_[i + 1].args[2])));
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->linkedObject, main);
    EXPECT_TRUE(part->flags2 & kObjFlag2Attached);
    EXPECT_EQ(static_cast<ShipExt*>(part->ext)->breakAt, system_.gameTime + kCases[i].delay);
  }
}

TEST_F(Decoupling, AnimatedMainEntryCarriesThePartsOnTheShip) {
  RotationKey turns[2]{};
  PathRecord* main = Path(kRockLookup, 1);
  main->rotations = {2, turns};
  Enter();
  SpaceObject* ship = Scripted(kClassShip);
  EXPECT_TRUE(ObjDecoupleShip(ship, kCutId, 0, 0));
  ASSERT_EQ(global_.size(), 1u);
  auto* rock = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, static_cast<uint32_t>(global_[0].args[2])));
  ASSERT_NE(rock, nullptr);
  EXPECT_TRUE(rock->flags & kObjFlagCarried);
  EXPECT_EQ(rock->carrier, ship);
  EXPECT_NE(rock->carrierNode, nullptr);
}

TEST_F(Decoupling, MissilePartsRideOnTheMissile) {
  Path(kRockLookup, 0);
  Path(kMainBody, 0);  // a body id outside the lookup ranges
  Enter();
  SpaceObject* missile = Scripted(kClassMissile);
  SpaceObject* target = Create(kClassShip, 0);
  static_cast<MissileExt*>(missile->ext)->target = target;
  ObjDecoupleMissile(missile, kCutId);
  ASSERT_EQ(global_.size(), 1u);
  EXPECT_EQ(global_[0].name, "CreateDecoupleMissile");
  auto* rock = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, static_cast<uint32_t>(global_[0].args[0])));
  ASSERT_NE(rock, nullptr);
  EXPECT_EQ(rock->objClass, kClassAsteroid);
  EXPECT_TRUE(rock->flags & kObjFlagCarried);
  EXPECT_EQ(rock->carrier, missile);
  EXPECT_TRUE(missile->flags2 & kObjFlag2VanishWhenDone);
  EXPECT_TRUE(missile->instance->flags & 0x100000u);
}

TEST_F(Decoupling, UnfitObjectsAreLeftAlone) {
  Enter();
  SpaceObject* unscripted = Create(kClassShip, 0);
  SpaceObject* missile = Create(kClassMissile, 0);
  EXPECT_FALSE(ObjDecoupleShip(unscripted, kCutId, 0, 0));
  EXPECT_FALSE(ObjDecoupleShip(Scripted(kClassMissile), kCutId, 0, 0));
  ObjDecoupleMissile(missile, kCutId);
  EXPECT_FALSE(missile->flags2 & kObjFlag2VanishWhenDone);
  EXPECT_TRUE(global_.empty());
}

}  // namespace
