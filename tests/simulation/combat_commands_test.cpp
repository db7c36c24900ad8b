// The combat, statistics and effect commands through the SA_ dispatcher: the statistics words,
// stopping orders (a landing ship, a warp-in, a non-ship's waiting task), the asteroid density
// table, the rock search, the collision slots, the turret order's angles, debris collection,
// the missile launches, the dummy explosion's row and the fire commands.
#include <initializer_list>

#include "contact_world.h"

#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_module.h"
#include "simulation/order_modes.h"
#include "simulation/weapons.h"

namespace {

class CombatCommands : public ContactWorld {
 protected:
  void SetUp() override {
    ContactWorld::SetUp();
    ASSERT_TRUE(Load(".func Main main frame=1\nmain: ret\n")) << error_;  // wake-ups need a loaded story
    self_ = this;
    gSimulationServices.launchMissile = [](SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t subtype,
                                           uint32_t flags, int32_t shotNo) -> SpaceObject* {
      self_->launches_.push_back({ship, target, turret, subtype, static_cast<int32_t>(flags), shotNo});
      return self_->missile_;
    };
    gSimulationServices.startObjectEffect = [](int32_t kind, int32_t row, SpaceObject* o) {
      self_->Log(("effect " + std::to_string(kind) + " row").c_str(), row);
      (void)o;
      return true;
    };
    rocks_ = Rows(kClassAsteroid, 4);
  }

  void TearDown() override {
    for (ScriptTask* task : tasks_) FreeTask(engine_, task);
    for (InstanceRecord* in : shown_) in->scene = nullptr;
    ContactWorld::TearDown();
  }

  struct Launch {
    SpaceObject* ship;
    SpaceObject* target;
    int32_t turret, subtype, flags, shotNo;
  };

  // Runs the command with integer arguments (and an array of `arrayCount` elements last when
  // arrayCount >= 0); the task that called it.
  ScriptTask* Run(int32_t command, std::initializer_list<int32_t> ints, int32_t arrayCount = -1,
                  std::initializer_list<int32_t> elements = {}) {
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    tasks_.push_back(task);
    std::vector<ScriptValue> args(ints.size() + (arrayCount >= 0 ? 1 : 0));
    size_t k = 0;
    for (int32_t v : ints) SetValueInt(&args[k++], v);
    if (arrayCount >= 0) {
      EXPECT_NE(AllocArrayValue(&args[k], arrayCount), nullptr);
      int32_t i = 0;
      for (int32_t v : elements) ArrayWriteInt(&args[k], i++, v);
    }
    DispatchSpaceObjectCommand(module_, task, command, static_cast<int32_t>(args.size()), args.data());
    for (ScriptValue& v : args) ReleaseValue(&v);
    return task;
  }

  int32_t Answer(int32_t command, std::initializer_list<int32_t> ints) {
    ScriptTask* task = Run(command, ints);
    EXPECT_EQ(task->hasResult, 1) << command;
    return task->result.type == kValueInt ? task->result.i : -999;
  }

  static int32_t Id(const SpaceObject* o) { return static_cast<int32_t>(o->id); }
  static ShipExt* ShipOf(SpaceObject* o) { return static_cast<ShipExt*>(o->ext); }

  // Marks the object's instance as shown; the mark is taken off before the teardown.
  void Show(SpaceObject* o) {
    o->instance->scene = reinterpret_cast<SceneRecord*>(o);
    shown_.push_back(o->instance);
  }

  static inline CombatCommands* self_ = nullptr;
  std::vector<ScriptTask*> tasks_;
  std::vector<InstanceRecord*> shown_;
  std::vector<Launch> launches_;
  SpaceObject* missile_ = nullptr;
  ObjectTypeRecord* rocks_ = nullptr;
};

TEST_F(CombatCommands, StatisticsReadTheWordsInSaveOrder) {
  universe_.statWord = 11;
  universe_.missileCount = 12;
  const uint32_t words[6] = {13, 14, 499999, 16, 0, 0};
  std::copy(words, words + 6, universe_.statWords);
  struct Case {
    int32_t command;
    int32_t value;
  };
  const Case kCases[] = {{236, 11}, {237, 12}, {238, 13}, {239, 14}, {240, 16}};
  for (const Case& c : kCases) EXPECT_EQ(Answer(c.command, {}), c.value) << c.command;
}

TEST_F(CombatCommands, AsteroidDensityByTier) {
  struct Case {
    int32_t tier;
    int32_t weight;
  };
  const Case kCases[] = {{0, 0},  {1, 0},  {2, 1300}, {3, 780}, {4, 260},         {5, 60},
                         {6, 30}, {7, 10}, {8, 3},    {9, 1},   {10, 0},          {0x10002, 1300}};
  for (const Case& c : kCases) EXPECT_EQ(Answer(365, {c.tier}), c.weight) << c.tier;
}

TEST_F(CombatCommands, StopObjectOnANonShipWakesItsTaskWithTheValue) {
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  rock->moduleNo = static_cast<uint32_t>(module_);
  rock->moduleHandle = 77;
  EXPECT_EQ(Answer(243, {Id(rock), 42}), 0);
  ASSERT_EQ(resumed_.size(), 1u);
  EXPECT_EQ(resumed_[0], std::make_pair(77u, 42));
  EXPECT_EQ(rock->moduleNo, 0u);
}

TEST_F(CombatCommands, StopObjectOnALandingShipAbortsTheDockingFirst) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  ShipSetOrderMode(ship, OM_PLAYER_LAND);
  ShipOf(ship)->dockSlot = 3;
  ship->flags |= 1u << 7;
  int32_t modeAtEvent = -1;
  onEvent_ = [&](SpaceObject*, const char* name) {
    if (std::string(name) == "NotifyDockingAbort") modeAtEvent = ShipOrderMode(ship);
  };
  SetTime(12345);
  EXPECT_EQ(Answer(243, {Id(ship), 1}), 0);
  EXPECT_EQ(EventLines(), (std::vector<std::string>{"150 NotifyDockingAbort " + std::to_string(Id(ship))}));
  EXPECT_EQ(modeAtEvent, OM_PLAYER_LAND);
  EXPECT_EQ(ShipOrderMode(ship), OM_NONE);
  EXPECT_EQ(ShipOf(ship)->dockSlot, -1);
  EXPECT_EQ(ShipOf(ship)->thinkDue, 12345u);
  EXPECT_EQ(ship->flags & (1u << 7), 0u);
}

TEST_F(CombatCommands, StopObjectOnAShipWarpingInPutsItAtTheOrderPoint) {
  SpaceObject* ship = In(kClassShip, 0, 100);
  ShipSetOrderMode(ship, OM_WARP_IN);
  ShipOf(ship)->commandPoint = {5000, -6000, 7000, 0};
  ship->flags |= kObjFlagBit10;
  EXPECT_EQ(Answer(243, {Id(ship), 1}), 0);
  EXPECT_EQ(ship->instance->position.x, 5000);
  EXPECT_EQ(ship->instance->position.y, -6000);
  EXPECT_EQ(ship->instance->position.z, 7000);
  EXPECT_EQ(ship->flags & kObjFlagBit10, 0u);
  EXPECT_EQ(ShipOrderMode(ship), OM_NONE);
  EXPECT_TRUE(events_.empty());
}

TEST_F(CombatCommands, NearestRockInDebrisIsTheLastQualifyingOne) {
  SpaceObject* field = In(kClassDebris, 0, 0);
  field->flags2 |= kObjFlag2Detailed;
  SpaceObject* ship = In(kClassShip, 0, 0);
  auto rock = [&](int32_t subtype, SpaceObject* holder) {
    SpaceObject* r = In(kClassAsteroid, subtype, 0);
    r->linkedObject = holder;
    return r;
  };
  SpaceObject* first = rock(1, field);
  SpaceObject* other = rock(2, field);
  rock(1, nullptr);  // not held by the field
  struct Case {
    const char* what;
    int32_t filter;
    int32_t answer;
  };
  const Case kCases[] = {
      {"any subtype: the last in list order", -1, Id(other)},
      {"subtype 1", 1, Id(first)},
      {"subtype 3: none", 3, 0},
      {"filter below -1 refused", -2, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(Answer(364, {Id(field), Id(ship), c.filter}), c.answer) << c.what;
  other->flags |= kObjFlagRemoving;
  EXPECT_EQ(Answer(364, {Id(field), Id(ship), -1}), 0);
  field->flags2 &= ~kObjFlag2Detailed;
  EXPECT_EQ(Answer(364, {Id(field), Id(ship), 1}), 0);
}

TEST_F(CombatCommands, CollisionObjectsHaveZerosForEmptySlots) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  ShipExt* ext = ShipOf(ship);
  ext->threatCount = 3;
  ext->threats[0] = rock;
  ext->threats[2] = ship;
  ScriptTask* task = Run(255, {Id(ship)});
  ASSERT_EQ(task->result.type, kValueArray);
  ASSERT_EQ(GetArraySize(&task->result), 3);
  const int32_t expected[3] = {Id(rock), 0, Id(ship)};
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(ArrayElementPtr(&task->result, k)->i, expected[k]) << k;
  ReleaseValue(&task->result);
  ext->threatCount = 0;
  EXPECT_EQ(Answer(255, {Id(ship)}), 0);
  EXPECT_EQ(Answer(255, {Id(rock)}), 0);
}

TEST_F(CombatCommands, TurretOrderKeepsItsAnglesInsideHalfTurns) {
  ships_[0].ship.turretCount = 1;
  SpaceObject* ship = In(kClassShip, 0, 0);
  ShipExt* ext = ShipOf(ship);
  MatrixSetIdentity(&ext->turrets[0].nodeMatrix);
  ext->turrets[0].vector = {0, 0, 65536, 0};
  // Straight behind: a yaw of half a turn stays 32768.
  ScriptTask* task = Run(363, {Id(ship), 0}, 3, {0, 0, -100000});
  EXPECT_EQ(task->hasResult, 0);  // waits for the order
  EXPECT_EQ(ShipOrderMode(ship), OM_ROTATE_TO_ANGLES);
  EXPECT_EQ(ext->commandPoint.x, 32768);
  EXPECT_EQ(ext->commandPoint.y, 0);
  // Just past half a turn comes back negative.
  Run(363, {Id(ship), 0}, 3, {1000, 0, -100000});
  EXPECT_LT(ext->commandPoint.x, 0);
  EXPECT_GE(ext->commandPoint.x, -32767);
  // A short position array reads its missing elements as 0.
  Run(363, {Id(ship), 0}, 1, {-100000});
  EXPECT_EQ(ShipOrderMode(ship), OM_ROTATE_TO_ANGLES);
  // Turrets outside the type's rows and non-ships answer at once.
  for (int32_t turret : {-1, 1}) EXPECT_EQ(Run(363, {Id(ship), turret}, 3, {0, 0, 1})->hasResult, 1) << turret;
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  EXPECT_EQ(Run(363, {Id(rock), 0}, 3, {0, 0, 1})->hasResult, 1);
}

TEST_F(CombatCommands, CollectDebrisRunsWithoutATimeLimit) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* debris = In(kClassDebris, 0, 5000);
  ShipExt* ext = ShipOf(ship);
  OrderWord(ext, kOrderEndFlagWord) = 1;
  SetTime(20000);
  ScriptTask* task = Run(367, {Id(ship), Id(debris)}, 2, {100, 200});  // short array
  EXPECT_EQ(task->hasResult, 0);
  EXPECT_EQ(ShipOrderMode(ship), OM_COLLECT_DEBRIS);
  EXPECT_EQ(ext->commandObject, debris);
  EXPECT_EQ(ext->commandPoint.x, 100);
  EXPECT_EQ(ext->commandPoint.y, 200);
  EXPECT_EQ(ext->commandPoint.z, 0);
  EXPECT_EQ(ext->thinkDue, 20000u);
  EXPECT_EQ(OrderWord(ext, kOrderEndFlagWord), 0u);
  // Refusals: a target that is neither debris nor a held ware rock, and a non-ship.
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  EXPECT_EQ(Run(367, {Id(ship), Id(rock)}, 3, {1, 2, 3})->hasResult, 1);
  EXPECT_EQ(Run(367, {Id(rock), Id(debris)}, 3, {1, 2, 3})->hasResult, 1);
}

TEST_F(CombatCommands, MissileLaunchesFindTheirTargets) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* target = In(kClassShip, 1, 9000);
  missile_ = In(kClassMissile, 0, 0);
  EXPECT_EQ(Answer(247, {Id(ship), Id(target), 0}), Id(missile_));
  EXPECT_EQ(Answer(248, {Id(ship), 2, Id(target), 0, 5, 6}), Id(missile_));
  ASSERT_EQ(launches_.size(), 2u);
  EXPECT_EQ(launches_[0].target, target);
  EXPECT_EQ(launches_[0].turret, 0);
  EXPECT_EQ(launches_[0].flags, 0);
  EXPECT_EQ(launches_[1].target, target);
  EXPECT_EQ(launches_[1].turret, 2);
  EXPECT_EQ(launches_[1].flags, 5);
  EXPECT_EQ(launches_[1].shotNo, 6);
  missile_ = nullptr;
  EXPECT_EQ(Answer(247, {Id(ship), Id(target), 0}), 0);
  EXPECT_EQ(Answer(247, {0, Id(target), 0}), 0);
  EXPECT_EQ(launches_.size(), 3u);
}

TEST_F(CombatCommands, DummyExplosionUsesTheTypesRowOrRow48) {
  ships_[0].ship.effectRow = 12;
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* plain = In(kClassShip, 1, 0);
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  SpaceObject* hidden = In(kClassShip, 0, 0);
  for (SpaceObject* o : {ship, plain, rock}) Show(o);
  for (SpaceObject* o : {ship, plain, rock, hidden}) EXPECT_EQ(Answer(348, {Id(o)}), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"effect 1 row 12", "explosion sound " + std::to_string(Id(ship)), "effect 1 row 48",
                                              "explosion sound " + std::to_string(Id(plain)), "effect 1 row 48",
                                              "explosion sound " + std::to_string(Id(rock))}));
}

TEST_F(CombatCommands, SmallCommandsAnswerAsTheyShould) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  ships_[0].ship.maxWeaponEnergy = 250;
  rock->flags |= 1u << 12;
  EXPECT_EQ(Answer(254, {Id(rock)}), 1);
  EXPECT_EQ(Answer(254, {Id(ship)}), 0);
  EXPECT_EQ(Answer(339, {Id(ship)}), 0);
  EXPECT_EQ(ShipOf(ship)->weaponEnergy, 250000);
  EXPECT_EQ(Answer(244, {Id(ship)}), 0);
  EXPECT_NE(ship->flags & (1u << 23), 0u);
  EXPECT_EQ(Answer(244, {Id(ship), 0}), 0);
  EXPECT_EQ(ship->flags & (1u << 23), 0u);
  SpaceObject* missile = In(kClassMissile, 0, 0);
  static_cast<MissileExt*>(missile->ext)->target = ship;
  EXPECT_EQ(Answer(334, {Id(missile)}), Id(ship));
  EXPECT_EQ(Answer(334, {Id(ship)}), 0);
  // Both dumps answer 0 and change nothing.
  EXPECT_EQ(Answer(241, {Id(ship)}), 0);
  EXPECT_EQ(Answer(241, {Id(ship), 1}), 0);
  // With no ship the fire command answers 0; ahead with a ship it answers the weapons' result.
  EXPECT_EQ(Answer(245, {0, 0, 0, 0}), 0);
  EXPECT_EQ(Answer(246, {Id(ship), 999, 0, 0, 0}), kFireResultNone);
}

}  // namespace
