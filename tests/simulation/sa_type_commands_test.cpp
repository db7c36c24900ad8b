// The type-query and background commands run through the SA_ dispatcher: failure answers for bad
// keys and indexes, packed codes, the checked ship rows, background definition with its body
// names and refusals, and the sector's scenes and background words.
#include <cstring>

#include "universe_world.h"

#include "core/memory.h"
#include "scene/scene.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_module.h"
#include "simulation/commands/sa_type_keys.h"

namespace {

class SATypeCommands : public UniverseWorld {
 protected:
  void TearDown() override {
    if (ownBackgrounds_) {
      ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
      for (int32_t s = 0; s < table.count; ++s) {
        MemFreeIfSet(table.rows[s].typeId);
        MemFreeIfSet(table.rows[s].background.nebulaName);
      }
      MemFreeIfSet(table.rows);
      table = {};
    }
    for (ScriptTask* task : tasks_) FreeTask(engine_, task);
    UniverseWorld::TearDown();
  }

  // Runs a command with integer arguments; the answer is left in the task.
  ScriptTask* Run(int32_t command, std::vector<int32_t> ints, ScriptValue* extra = nullptr, int32_t extraAt = -1) {
    ScriptTask* task = NewTask(engine_, 8);
    tasks_.push_back(task);
    std::vector<ScriptValue> args(ints.size() + 1);
    for (size_t k = 0; k < ints.size(); ++k) SetValueInt(&args[k], ints[k]);
    if (extra && extraAt >= 0) args[extraAt] = *extra;
    DispatchSpaceObjectCommand(module_, task, command, static_cast<int32_t>(ints.size()), args.data());
    return task;
  }
  int32_t Int(int32_t command, std::vector<int32_t> ints) { return Run(command, std::move(ints))->result.i; }

  // Five background rows in memory the table may grow, as the loader leaves it.
  ObjectTypeRecord* LoadedBackgrounds() {
    auto* rows = static_cast<ObjectTypeRecord*>(MemAlloc(5 * sizeof(ObjectTypeRecord), MemCategoryFlags(kMemCatUniverse)));
    std::memset(static_cast<void*>(rows), 0, 5 * sizeof(ObjectTypeRecord));
    gObjectTypeTables[kClassBackground] = {rows, 5};
    ownBackgrounds_ = true;
    return rows;
  }

  std::vector<ScriptTask*> tasks_;
  bool ownBackgrounds_ = false;
};

TEST_F(SATypeCommands, InvalidKeysAnswerEachColumnsFailureValue) {
  Rows(kClassShip, 1);
  const int32_t failures[][2] = {{185, 1}, {186, 1}, {187, 1}, {188, 1}, {190, 1}, {218, 1}, {198, 1000},
                                 {208, 1000}, {209, 1000}, {219, 8421504}, {226, 8421504}, {231, 0},
                                 {134, 0},   {143, 0},   {145, 0},   {173, 0}, {174, 0}, {176, 0}, {213, 0}, {160, 0}, {163, 0}, {164, 0}};
  for (const auto& f : failures) {
    // A negative class and a subtype past every table both fail.
    EXPECT_EQ(Int(f[0], {-1, 0, 0}), f[1]) << f[0];
    EXPECT_EQ(Int(f[0], {7, 0x7FFF, 0}), f[1]) << f[0];
  }
  // 135 and 220 answer integer 0, not an empty string.
  for (int32_t command : {135, 220}) {
    ScriptTask* task = Run(command, {7, 5});
    EXPECT_EQ(task->result.type, kValueInt);
    EXPECT_EQ(task->result.i, 0);
  }
}

TEST_F(SATypeCommands, ShipRowIndexesAreCheckedAndTurretsScannedUpward) {
  ObjectTypeRecord* ship = Rows(kClassShip, 1);
  ship->ship.turretCount = 2;
  ship->ship.turrets[0] = ShipTurretRow{4, 2, 0, 11, 0x3, 5, {}};
  ship->ship.turrets[1] = ShipTurretRow{1, 3, 0, 12, 0x4, 6, {}};
  ship->ship.componentCount = 1;
  ship->ship.components[0] = ShipComponentRow{1, 1, 0, 0, 0, 21};
  struct Case {
    int32_t command, index, answer;
  };
  const Case kCases[] = {
      {174, 2, 1},  {174, 4, 0},  {174, 7, -1}, {174, 0, -1}, {173, 0, 1},  {173, 1, -1}, {173, -1, -1},
      {169, 1, 6},  {169, 2, 0},  {169, -1, 0}, {176, 0, 3},  {176, 9, 0},  {181, 1, 12}, {181, 10, 0},
      {180, 0, 21}, {180, 7, 0},  {168, 0, 2},  {175, 1, 1},  {178, 11, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(Int(c.command, {0, c.index, 0}), c.answer) << c.command << " " << c.index;
}

TEST_F(SATypeCommands, PackedCodesRangesAndGlobals) {
  ObjectTypeRecord* missile = Rows(kClassMissile, 1);
  missile->missile.speed = 100000;
  missile->missile.rangeTime = 100000;
  EXPECT_EQ(Int(208, {0}), 10000000);
  EXPECT_EQ(PackTypeCode(0xFFFF, 0x8000), -65536 - 32768);
  EXPECT_EQ(PackTypeCode(7, 3), 7 * 65536 + 3);
  EXPECT_EQ(Int(130, {12345, 77}), 77);  // no Globals table
  EXPECT_EQ(Int(131, {-1}), 0);
  EXPECT_EQ(Int(131, {10}), 1);
}

TEST_F(SATypeCommands, SetBgTypeDataAppendsNamesBodiesAndRefusesWhatDoesNotFit) {
  LoadedBackgrounds();
  ScriptValue rates{};
  ASSERT_NE(AllocArrayValue(&rates, 8), nullptr);
  for (int k = 0; k < 8; ++k) ArrayWriteInt(&rates, k, 10 + k);
  ScriptValue family{};
  SetValueString(&family, "red");
  auto define = [&](int32_t n, int32_t stars, ScriptValue* rateArray, bool text) {
    ScriptTask* task = NewTask(engine_, 8);
    tasks_.push_back(task);
    ScriptValue args[13]{};
    const int32_t ints[13] = {n, 0, stars, 2, 1, 0, 30, 0x102030, 4, 100, 200, 50, 0x405060};
    for (int k = 0; k < 13; ++k) SetValueInt(&args[k], ints[k]);
    if (text) args[1] = family;
    args[5] = *rateArray;
    DispatchSpaceObjectCommand(module_, task, 234, 13, args);
    return task->result.i;
  };
  EXPECT_EQ(define(5, 3, &rates, true), 0);
  ASSERT_EQ(gObjectTypeTables[kClassBackground].count, 6);
  const ObjectTypeRecord& row = gObjectTypeTables[kClassBackground].rows[5];
  EXPECT_STREQ(row.typeId, "SS_BG_6");
  EXPECT_STREQ(row.background.nebulaName, "red");
  EXPECT_EQ(row.background.stars[0], B3D_GetBodyID("environments\\nebulae\\red\\nebula_red_stars_01"));
  EXPECT_EQ(row.background.dustParts[7], B3D_GetBodyID("environments\\nebulae\\red\\nebula_red_dust_part08"));
  for (int k = 3; k < 16; ++k) EXPECT_EQ(row.background.stars[k], 0) << k;
  EXPECT_EQ(Int(224, {5, 7}), 17);
  EXPECT_EQ(Int(224, {5, 8}), 0);
  EXPECT_EQ(Int(226, {5}), 0x102030);
  EXPECT_EQ(Int(231, {5}), 0x405060);
  EXPECT_EQ(Int(233, {5, 16}), 0);

  // A non-text family keeps the old name.
  EXPECT_EQ(define(5, 1, &rates, false), 0);
  EXPECT_STREQ(gObjectTypeTables[kClassBackground].rows[5].background.nebulaName, "red");

  // Refused: a row past the next, a star count past the slots, a short rate array.
  ScriptValue shortRates{};
  ASSERT_NE(AllocArrayValue(&shortRates, 7), nullptr);
  EXPECT_EQ(define(7, 1, &rates, true), 0);
  EXPECT_EQ(define(-1, 1, &rates, true), 0);
  EXPECT_EQ(define(5, 17, &rates, true), 0);
  EXPECT_EQ(define(5, 2, &shortRates, true), 0);
  EXPECT_EQ(gObjectTypeTables[kClassBackground].count, 6);
  EXPECT_EQ(gObjectTypeTables[kClassBackground].rows[5].background.starsCount, 1);
  ReleaseValue(&shortRates);
  ReleaseValue(&rates);
  ReleaseValue(&family);
}

TEST_F(SATypeCommands, SectorBackgroundWordsAndReset) {
  ObjectTypeRecord* rows = LoadedBackgrounds();
  rows[1].background.starsCount = 2;
  rows[1].background.stars[1] = 44;
  rows[1].background.values7[1] = 9;
  SectorObject* sector = Sector(1);
  const int32_t id = static_cast<int32_t>(sector->id);
  EXPECT_EQ(Int(302, {id, 5}), 5);
  EXPECT_EQ(Int(299, {id, 0}), 0);  // the current type: nothing changes
  EXPECT_EQ(Int(303, {id}), 5);
  EXPECT_EQ(Int(299, {id, 1}), 1);
  EXPECT_EQ(Int(303, {id}), 5);  // no galaxy scene: no body is swapped, the index stays
  EXPECT_EQ(Int(301, {id}), 1);
  EXPECT_EQ(Int(297, {id, 1234}), 1234);
  EXPECT_EQ(Int(298, {id}), 1234);
  EXPECT_EQ(Int(290, {id, 999}), 0);
  EXPECT_EQ(Int(293, {id}), 0);
  EXPECT_EQ(Int(235, {44}), 1);
  EXPECT_EQ(Int(235, {45}), 0);
  EXPECT_EQ(Int(296, {id + 1000}), 0);
}

}  // namespace
