// The object state commands: each command's answer and the field it writes on a known ship, the
// missing object's answer, objects without a scene instance, the tuning bounds, the safe-place
// commands, the relative position through the reference's rotation, the rotation speeds answered
// through the resume path, and the argument-count forms of the energy commands.
#include <cstdlib>

#include "command_world.h"

#include "universe/object_detail.h"
#include "universe/object_placement.h"

namespace {

class StateCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    ObjectTypeRecord& type = ships_[0];
    type.turnRate[0] = 100;
    type.turnRate[1] = 200;
    type.turnRate[2] = 300;
    type.nameTextId = 77;
    type.ship.speed = 40000;
    type.ship.speed2 = 5000;
    type.ship.componentCount = 3;
    type.ship.maxWeaponEnergy = 900;
    ship_ = In(kClassShip, 0, 1000);
    ship_->instance->position.y = -20;
    ship_->instance->position.z = 30;
    ship_->instance->bodyId = 321;
    ObjSetAngles(ship_, 11, 22, 33);
    ship_->componentCut = 4242;
    ship_->mass = 500;
    ship_->speed = 600;
    ship_->speedLimit = 700;
  }

  SpaceObject* ship_ = nullptr;
};

using FieldFn = int32_t (*)(const SpaceObject*);

// Each command on the ship, with the arguments after the object, its answer and, for setters, the
// field it wrote; then the same command on an id no object has.
TEST_F(StateCommands, CommandsAnswerAndWriteTheirFields) {
  struct Case {
    int32_t command;
    std::vector<int32_t> args;
    int32_t answer;
    FieldFn field;
    int32_t fieldValue;
  };
  const FieldFn x = [](const SpaceObject* o) { return o->instance->position.x; };
  const Case kCases[] = {
      {34, {}, kClassShip, nullptr, 0},
      {35, {}, 0, nullptr, 0},
      {36, {}, 0x70000, nullptr, 0},
      {37, {}, 1000, nullptr, 0},
      {38, {}, -20, nullptr, 0},
      {39, {}, 30, nullptr, 0},
      {44, {}, 11, nullptr, 0},
      {45, {}, 22, nullptr, 0},
      {46, {}, 33, nullptr, 0},
      {53, {}, 321, nullptr, 0},
      {54, {}, 321, nullptr, 0},  // no second body in the type: the instance's
      {55, {}, 4242, nullptr, 0},
      {56, {}, 77, nullptr, 0},
      {57, {}, 10, nullptr, 0},
      {59, {}, 500, nullptr, 0},
      {60, {650}, 650, [](const SpaceObject* o) { return o->mass; }, 650},
      {61, {}, 600, nullptr, 0},
      {64, {1234}, 1, [](const SpaceObject* o) { return o->speed; }, 1234},
      {65, {}, 700, nullptr, 0},
      {66, {800}, 1, [](const SpaceObject* o) { return o->speedLimit; }, 800},
      {68, {}, 5000, nullptr, 0},
      {70, {1, 2, 3}, 0, [](const SpaceObject* o) { return o->baseVelocity.y; }, 2},
      {71, {}, 200, nullptr, 0},
      {72, {}, 100, nullptr, 0},
      {73, {}, 300, nullptr, 0},
      {75, {}, 1, nullptr, 0},
      {79, {}, 0, nullptr, 0},
      {82, {4500}, 4500, nullptr, 0},
      {87, {}, 100000, nullptr, 0},
      {88, {}, 100000, nullptr, 0},
      {89, {250000}, 100000, [](const SpaceObject* o) { return o->hull; }, 100000},
      {89, {-5}, 0, [](const SpaceObject* o) { return o->hull; }, 0},
      {91, {}, 3, nullptr, 0},
      {40, {5, 6, 7}, 0, x, 5},
      {48, {1, 2, 3}, 0, [](const SpaceObject* o) { return o->angles[2]; }, 3},
  };
  for (const Case& c : kCases) {
    std::vector<ScriptValue> args{Int(Id(ship_))};
    for (int32_t a : c.args) args.push_back(Int(a));
    ScriptTask* task = RunValues(c.command, args);
    EXPECT_EQ(task->result.i, c.answer) << c.command;
    if (c.field) {
      EXPECT_EQ(c.field(ship_), c.fieldValue) << c.command;
    }
  }
  // A missing object: 0, and -1 for the two body getters.
  for (int32_t command = 34; command <= 91; ++command) {
    const int32_t missing = command == 53 || command == 54 ? -1 : 0;
    EXPECT_EQ(Run(command, {kMissing, 1, 2, 3, 4}), missing) << command;
  }
}

TEST_F(StateCommands, DirectionAndMatrixComeFromTheInstance) {
  FixedMatrix& m = ship_->instance->matrix;
  m = FixedMatrix{{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}};
  EXPECT_EQ(Run(49, {Id(ship_)}), 7);
  EXPECT_EQ(Run(50, {Id(ship_)}), 8);
  EXPECT_EQ(Run(51, {Id(ship_)}), 9);
  ScriptTask* task = RunValues(47, IntArgs({Id(ship_)}));
  EXPECT_EQ(Flatten(&task->result), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  SpaceObject* bare = WithoutInstance(kClassShip, 0);
  EXPECT_EQ(Run(47, {Id(bare)}), 0);
}

// Every instance command answers its missing value for an object without an instance and moves
// nothing; every other command of the family runs on such an object without fault.
TEST_F(StateCommands, ObjectWithoutInstanceAnswersWithoutFault) {
  SpaceObject* bare = WithoutInstance(kClassShip, 0);
  const int32_t kInstanceCommands[] = {37, 38, 39, 40, 41, 42, 43, 47, 49, 50, 51, 53, 54, 57, 58};
  for (int32_t command : kInstanceCommands) {
    const int32_t missing = command == 53 || command == 54 ? -1 : 0;
    EXPECT_EQ(Run(command, {Id(bare), Id(ship_), 1, 2, 3}), missing) << command;
  }
  // The reference of a relative position without an instance moves nothing either.
  EXPECT_EQ(Run(43, {Id(ship_), Id(bare), 1, 2, 3}), 0);
  EXPECT_EQ(ship_->instance->position.x, 1000);
  for (int32_t command = 34; command <= 91; ++command) RunValues(command, IntArgs({Id(bare), 1, 2, 3, 4}));
}

// Tuning is set in tenths up to a bound; a negative value is kept and slows the ship to a
// standstill.
TEST_F(StateCommands, TuningIsTenthsUpToItsBound) {
  struct Case {
    int32_t command;
    int32_t value;
    int32_t tuning;
  };
  constexpr int32_t kUnchanged = 123;
  const Case kCases[] = {
      {67, 10, 65536},   {67, 999, 6547046},  {67, 1000, kUnchanged}, {67, -10, -65536},
      {74, 10, 65536},   {74, 1000, 6553600}, {74, 2457, 16102195},   {74, 2458, kUnchanged},
      {74, -10, -65536},
  };
  ShipExt* ext = static_cast<ShipExt*>(ship_->ext);
  for (const Case& c : kCases) {
    ext->speedTuning = ext->rotationTuning = kUnchanged;
    EXPECT_EQ(Run(c.command, {Id(ship_), c.value}), 0);
    EXPECT_EQ(c.command == 67 ? ext->speedTuning : ext->rotationTuning, c.tuning) << c.command << " " << c.value;
  }
  ext->speedTuning = -65536;  // as -10 sets it
  EXPECT_EQ(Run(68, {Id(ship_)}), 0);  // tuned acceleration
  EXPECT_EQ(Run(62, {Id(ship_)}), 0);  // tuned maximum speed
  // Other classes have no tuning.
  SpaceObject* missile = In(kClassMissile, 0, 0);
  EXPECT_EQ(Run(67, {Id(missile), 10}), 0);
}

TEST_F(StateCommands, SafePositionsMoveOrOnlyProbe) {
  ship_->radius = 1000;
  SpaceObject* other = In(kClassShip, 1, 1000, 1000);  // on top of the ship
  SpaceObject* far = In(kClassShip, 1, 900000, 1000);

  // Three arguments are ignored: the same move as with none, for the same draws.
  const FixedVector start = ship_->instance->position;
  GameSrand(5);
  EXPECT_EQ(Run(41, {Id(ship_)}), 0);
  const FixedVector alone = ship_->instance->position;
  EXPECT_FALSE(ObjOverlapsInSector(ship_));
  ship_->instance->position = start;
  GameSrand(5);
  EXPECT_EQ(Run(41, {Id(ship_), Id(far), 7}), 0);
  EXPECT_EQ(ship_->instance->position.x, alone.x);
  EXPECT_EQ(ship_->instance->position.y, alone.y);
  EXPECT_EQ(ship_->instance->position.z, alone.z);

  // Two arguments: near the named object; four: a free spot at the point.
  EXPECT_EQ(Run(41, {Id(ship_), Id(far)}), 0);
  EXPECT_LT(std::abs(ship_->instance->position.x - 900000), 120000);
  EXPECT_EQ(Run(41, {Id(ship_), 400000, 5, 6}), 0);
  EXPECT_EQ(ship_->instance->position.x, 400000);
  EXPECT_EQ(ship_->instance->position.z, 6);

  // The probe answers the free spot and leaves the object where it was.
  ship_->instance->position = {1000, 0, 0, 77};
  ScriptTask* task = RunValues(42, IntArgs({Id(ship_), 1000, 0, 0}));
  const std::vector<int32_t> spot = Flatten(&task->result);
  ASSERT_EQ(spot.size(), 3u);
  EXPECT_NE(spot, (std::vector<int32_t>{1000, 0, 0}));  // the ship at (1000, 0, 0) overlaps `other`
  EXPECT_EQ(Run(37, {Id(ship_)}), 1000);
  EXPECT_EQ(ship_->instance->position.w, 77);
  task = RunValues(42, IntArgs({Id(ship_), 500000, 1, 2}));
  EXPECT_EQ(Flatten(&task->result), (std::vector<int32_t>{500000, 1, 2}));
  EXPECT_EQ(other->instance->position.x, 1000);
}

// The offset is in the reference's frame, whose rows are its local axes: a rotation that is not
// its own transpose tells the two products apart.
TEST_F(StateCommands, RelativePositionTakesTheOffsetThroughTheReferenceRotation) {
  SpaceObject* reference = In(kClassShip, 1, 100);
  reference->instance->position = {100, 200, 300, 0};
  reference->instance->matrix = FixedMatrix{{{0, 65536, 0, 0}, {0, 0, 65536, 0}, {65536, 0, 0, 0}}};
  EXPECT_EQ(Run(43, {Id(ship_), Id(reference), 1, 2, 3}), 0);
  EXPECT_EQ(ship_->instance->position.x, 103);
  EXPECT_EQ(ship_->instance->position.y, 201);
  EXPECT_EQ(ship_->instance->position.z, 302);
  EXPECT_EQ(Run(43, {Id(ship_), kMissing, 1, 2, 3}), 0);
  EXPECT_EQ(ship_->instance->position.x, 103);
}

// The answer comes through the resume path at once; equal second and third rates with a zero
// first rate also set the remaining rotations.
TEST_F(StateCommands, RotationSpeedsAnswerThroughTheResumePath) {
  ASSERT_TRUE(Load(".func Main main frame=1\nmain: ret\n")) << error_;  // answers need a loaded story
  struct Case {
    int32_t x, y, z;
    int32_t remaining;
  };
  const Case kCases[] = {{0, 5, 5, 5}, {1, 0, 0, 9}, {0, 0, 0, 0}, {0, 4, 5, 9}};
  for (const Case& c : kCases) {
    for (int32_t& r : ship_->refAngles) r = 9;
    resumed_.clear();
    ScriptTask* task = RunValues(69, IntArgs({Id(ship_), c.x, c.y, c.z}));
    EXPECT_EQ(task->hasResult, 0);
    ASSERT_EQ(resumed_.size(), 1u);
    EXPECT_EQ(resumed_[0], std::make_pair(uint32_t(task->id), 0));
    EXPECT_EQ(ship_->turnRates[0], c.x);
    EXPECT_EQ(ship_->turnRates[2], c.z);
    for (int32_t r : ship_->refAngles) EXPECT_EQ(r, c.remaining) << c.x << c.y << c.z;
  }
}

TEST_F(StateCommands, DesiredSpeedOfThePlayerReleasesTheThrottle) {
  static int calls;
  calls = 0;
  gSimulationServices.playerDesiredSpeedSet = [] { ++calls; };
  SpaceObject* other = In(kClassShip, 1, 5000);
  EXPECT_EQ(Run(66, {Id(other), 10}), 1);
  EXPECT_EQ(calls, 0);
  universe_.player = ship_;
  EXPECT_EQ(Run(66, {Id(ship_), 20}), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ship_->speedLimit, 20);
  universe_.player = nullptr;
}

TEST_F(StateCommands, SubtypeIsStoredForEveryClass) {
  SpaceObject* missile = In(kClassMissile, 0, 0);
  EXPECT_EQ(Run(77, {Id(missile), 3}), 0);
  EXPECT_EQ(missile->subtype, 3);
  EXPECT_EQ(Run(77, {Id(ship_), 1}), 0);
  EXPECT_EQ(Run(35, {Id(ship_)}), 1);
}

// One argument asks any object's energy, more ask a ship's weapon energy; a setter with more than
// two arguments serves ships only.
TEST_F(StateCommands, EnergyCommandsFollowTheArgumentCount) {
  bullets_[0].bullet.energy = 40;
  SpaceObject* shot = In(kClassBullet, 0, 0);
  ShipExt* ext = static_cast<ShipExt*>(ship_->ext);
  ext->weaponEnergy = 300 * 1000;
  struct Case {
    int32_t command;
    std::vector<int32_t> args;
    int32_t answer;
  };
  const Case kCases[] = {
      {83, {Id(shot)}, 40},          {83, {Id(shot), 0}, 0},          {83, {Id(ship_)}, 300},
      {83, {Id(ship_), 1}, 300},     {84, {Id(shot)}, 40},            {84, {Id(shot), 0}, 0},
      {84, {Id(ship_), 0}, 900},     {86, {Id(ship_), 5000, 1}, 900}, {86, {Id(shot), 5, 1}, 0},
      {86, {Id(ship_), 250}, 250},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(c.command, c.args), c.answer) << c.command << " with " << c.args.size();
  }
  EXPECT_EQ(ext->weaponEnergy, 250 * 1000);
}

TEST_F(StateCommands, BodiesAndLaserPositions) {
  Rows(kClassLaser, 1);
  ships_[1].altBodyId = 555;
  SpaceObject* second = In(kClassShip, 1, 0);
  SpaceObject* bare = WithoutInstance(kClassShip, 1);
  SpaceObject* laser = In(kClassLaser, 0, 0);
  static_cast<LaserExt*>(laser->ext)->laserSlot = 4;
  ship_->subtype = 7;  // a row the table does not have
  EXPECT_EQ(Run(54, {Id(second)}), 555);
  EXPECT_EQ(Run(54, {Id(bare)}), 555);
  EXPECT_EQ(Run(54, {Id(ship_)}), -1);
  EXPECT_EQ(Run(85, {Id(laser)}), 4);
  EXPECT_EQ(Run(85, {Id(second)}), 0);
}

}  // namespace
