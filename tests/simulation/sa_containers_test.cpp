// The container and path search commands: where a search starts ("after" in the container, in
// another one, the last child, or outside the argument count), the path searches on a registered
// cut (and the children that must never match), and moving objects and lasers into containers,
// with a laser mounted only after a move into a ship that has its gun place.
#include "command_world.h"

#include "core/hash_table.h"
#include "scene/cut_records.h"
#include "scene/engine_records.h"

namespace {

// The instance flag of a mounted gun's node.
constexpr uint32_t kGunNodeFiringFlag = 1u << 20;

class ContainerCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    Rows(kClassLaser, 1);
    carrier_ = In(kClassShip, 0, 0);
    other_ = In(kClassShip, 0, 50000);
  }

  void TearDown() override {
    gComponentTable = {};
    CommandWorld::TearDown();
  }

  SpaceObject* carrier_ = nullptr;
  SpaceObject* other_ = nullptr;
};

// A search command with its arguments and the child it answers (null: 0).
struct SearchCase {
  int32_t command;
  std::vector<int32_t> args;
  const SpaceObject* answer;
};

TEST_F(ContainerCommands, SearchesStartAfterAChildOfThisContainerOnly) {
  SpaceObject* c[4] = {Into(carrier_, kClassMissile, 0, 0), Into(carrier_, kClassShip, 1, 0),
                       Into(carrier_, kClassMissile, 0, 0), Into(carrier_, kClassShip, 0, 0)};
  SpaceObject* foreign = Into(other_, kClassMissile, 0, 0);
  const int32_t kPath[4] = {5, -1, 5, 2};
  for (int k = 0; k < 4; ++k) c[k]->instance->pathNumber = kPath[k];
  foreign->instance->pathNumber = 5;
  const int32_t box = Id(carrier_);
  const SearchCase kCases[] = {
      {94, {box, kClassMissile}, c[0]},
      {94, {box, kClassMissile, Id(c[0])}, c[2]},
      {94, {box, kClassMissile, Id(c[2])}, nullptr},
      {94, {box, kClassMissile, Id(foreign)}, c[0]},  // "after" in another container
      {94, {box, kClassShip, Id(c[3])}, nullptr},     // "after" is the last child
      {94, {box, kClassMissile, 0}, c[0]},
      {94, {box, kClassMissile, kMissing}, c[0]},
      {94, {box, kClassCamera}, nullptr},
      {95, {box, kClassShip, 0}, c[3]},
      {95, {box, kClassShip, 1}, c[1]},
      {95, {box, kClassShip, 1, Id(c[1])}, nullptr},
      {95, {box, kClassShip, 0, Id(foreign)}, c[3]},
      {95, {box, kClassShip, 1, Id(c[3])}, nullptr},
      {96, {box, 5}, c[0]},
      {96, {box, 5, Id(c[0])}, c[2]},
      {96, {box, 2}, c[3]},
      {96, {box, 5, Id(c[2])}, nullptr},
  };
  for (const SearchCase& k : kCases) {
    EXPECT_EQ(Run(k.command, k.args), k.answer ? Id(k.answer) : 0) << k.command << " after " << k.args.back();
  }
  // Below the count that reads "after", further values in the frame are not looked at.
  EXPECT_EQ(RunCounted(94, 2, {box, kClassMissile, Id(c[0])}), Id(c[0]));
  EXPECT_EQ(RunCounted(95, 3, {box, kClassShip, 0, Id(c[3])}), Id(c[3]));
  EXPECT_EQ(RunCounted(96, 2, {box, 5, Id(c[0])}), Id(c[0]));
  for (int32_t command = 92; command <= 98; ++command) {
    EXPECT_EQ(Run(command, {kMissing, 1, 0, 0}), 0) << command;
  }
}

// The path searches look at the row of the path a child's instance plays in a registered cut;
// children that play nothing there never match, and no row outside the cut is read.
TEST_F(ContainerCommands, PathRowSearchesNeedARegisteredCutAndPath) {
  constexpr uint32_t kCut = 40;
  PathRecord paths[3]{};
  const uint32_t kBody[3] = {700, 800, 800};
  const uint32_t kClassWord[3] = {11, 22, 33};
  for (int p = 0; p < 3; ++p) {
    paths[p].lookupWord = kBody[p];
    paths[p].pathWord = kClassWord[p];
  }
  CutRecord cut{};
  cut.handle = kCut;
  cut.pathCount = 3;
  cut.paths = paths;
  ASSERT_TRUE(HashInsert(engine3d_.engine().cutTable, kCut, reinterpret_cast<HashValue>(&cut)));

  struct Child {
    uint32_t cut;
    int32_t path;
  };
  const Child kChildren[] = {
      {0, 0},      // no cut handle
      {kCut, -1},  // no path
      {41, 0},     // a cut that is not registered
      {kCut, 3},   // past the cut's paths
      {kCut, 1},
      {kCut, 2},
  };
  SpaceObject* bare = WithoutInstance(kClassMissile, 0);  // first in line, and never a match
  ObjectListRemove(bare);
  ObjectListAddTail(ObjectChildren(carrier_), bare);
  bare->parent = carrier_;
  std::vector<SpaceObject*> kids;
  for (const Child& k : kChildren) {
    SpaceObject* o = Into(carrier_, kClassMissile, 0, 0);
    o->instance->cutHandle = k.cut;
    o->instance->pathNumber = k.path;
    kids.push_back(o);
  }
  const int32_t box = Id(carrier_);
  const SearchCase kCases[] = {
      {97, {box, 700}, nullptr},  // only children that cannot match play path 0
      {97, {box, 800}, kids[4]},
      {97, {box, 800, Id(kids[4])}, kids[5]},
      {97, {box, 800, Id(kids[5])}, nullptr},
      {98, {box, 11}, nullptr},
      {98, {box, 22}, kids[4]},
      {98, {box, 33}, kids[5]},
      {98, {box, 22, Id(kids[4])}, nullptr},
  };
  for (const SearchCase& k : kCases) {
    EXPECT_EQ(Run(k.command, k.args), k.answer ? Id(k.answer) : 0) << k.command << " " << k.args[1];
  }
  HashRemove(engine3d_.engine().cutTable, kCut);
}

TEST_F(ContainerCommands, ObjectsMoveIntoContainers) {
  SpaceObject* rock = In(kClassMissile, 0, 0);
  EXPECT_EQ(Run(92, {Id(rock), Id(carrier_)}), 1);
  EXPECT_EQ(rock->parent, carrier_);
  EXPECT_EQ(Run(92, {Id(rock), kMissing}), 0);
  EXPECT_EQ(Run(92, {kMissing, Id(carrier_)}), 0);
  EXPECT_EQ(rock->parent, carrier_);
}

// The move's result is the answer; the mounting position and the gun node flag follow only a
// move into a ship whose turrets have the gun place.
TEST_F(ContainerCommands, LaserIsMountedOnlyAfterAMoveIntoAShipWithThatGunPlace) {
  constexpr int32_t kShipBody = 31;
  ObjectTypeRecord& type = ships_[0];
  type.bodyId = kShipBody;
  type.ship.turretCount = 1;
  type.ship.turrets[0].firstSlot = 1;
  type.ship.turrets[0].slotCount = 2;
  ComponentEntry places{kShipBody, 2, nullptr};
  gComponentTable.kinds[kComponentKindLaser] = {1, &places};
  Rows(kClassDock, 1);
  SpaceObject* dock = In(kClassDock, 0, 90000);
  ASSERT_NE(ObjectChildren(dock), nullptr);

  struct Case {
    const char* what;
    SpaceObject* container;
    int32_t gun;
    int32_t answer;
    bool mounted;
  };
  const Case kCases[] = {
      {"a gun place of the ship", carrier_, 2, 1, true},
      {"a gun index past the turret rows", carrier_, 3, 1, false},
      {"the ship's places are taken", carrier_, 1, 0, false},
      {"a container that is no ship", dock, 1, 1, false},
  };
  for (const Case& c : kCases) {
    SpaceObject* laser = In(kClassLaser, 0, 0);
    carrier_->instance->flags &= ~kGunNodeFiringFlag;
    EXPECT_EQ(Run(93, {Id(laser), Id(c.container), c.gun}), c.answer) << c.what;
    EXPECT_EQ(static_cast<LaserExt*>(laser->ext)->laserSlot, c.mounted ? c.gun : 0) << c.what;
    EXPECT_EQ((carrier_->instance->flags & kGunNodeFiringFlag) != 0, c.mounted) << c.what;
  }
  // Only lasers are mounted.
  SpaceObject* missile = In(kClassMissile, 0, 0);
  EXPECT_EQ(Run(93, {Id(missile), Id(other_), 1}), 0);
  EXPECT_EQ(missile->parent, sector_);
}

}  // namespace
