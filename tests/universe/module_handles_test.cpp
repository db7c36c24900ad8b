// Releasing the (module, handle) pair an object keeps for a waiting script: the module's resume
// callback gets the handle and the caller's value once, and the pair is cleared.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/script_fixture.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

std::vector<std::pair<uint32_t, int32_t>>* gCalls = nullptr;

int32_t RecordResume(uint32_t cookie, int32_t value) {
  gCalls->push_back({cookie, value});
  return 0;
}

class ModuleHandles : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    engine_->scriptName = name_;
    engine_->modules[kRow].resumeInt = RecordResume;
    gCalls = &calls_;
  }
  void TearDown() override {
    gCalls = nullptr;
    engine_->scriptName = nullptr;  // not the engine's to free
    ScriptEngineTest::TearDown();
  }

  static constexpr int kRow = 6;
  char name_[8] = "game";
  std::vector<std::pair<uint32_t, int32_t>> calls_;
};

TEST_F(ModuleHandles, TheValueIsPassedOnceAndThePairCleared) {
  struct Case {
    uint32_t moduleNo, handle;
    int32_t value;
    std::vector<std::pair<uint32_t, int32_t>> expected;
  };
  const Case kCases[] = {
      {kRow, 77, 1, {{77, 1}}},
      {kRow, 78, 13, {{78, 13}}},  // an order result
      {0, 79, 1, {}},              // no module: nothing to release
  };
  for (const Case& c : kCases) {
    calls_.clear();
    SpaceObject ship{};
    ship.moduleNo = c.moduleNo;
    ship.moduleHandle = c.handle;
    ReleaseModuleHandle(&ship, c.value);
    ReleaseModuleHandle(&ship, c.value);  // the second call finds the pair cleared
    EXPECT_EQ(calls_, c.expected) << c.handle;
    EXPECT_EQ(ship.moduleNo, 0u);
    if (c.moduleNo != 0) {
      EXPECT_EQ(ship.moduleHandle, 0u);
    }
  }
  ReleaseModuleHandle(nullptr, 1);
}

TEST_F(ModuleHandles, ATurretRowsWaitingTaskIsWokenOnceByRow) {
  ShipExt ext{};
  ext.turrets[2] = TurretRow{};
  ext.turrets[2].moduleNo = kRow;
  ext.turrets[2].handle = 51;
  ext.turrets[kShipTurretCapacity - 1].moduleNo = kRow;
  ext.turrets[kShipTurretCapacity - 1].handle = 52;
  SpaceObject ship{};
  ship.objClass = kClassShip;
  ship.ext = &ext;

  struct Case {
    int32_t row;
    int32_t value;
    std::vector<std::pair<uint32_t, int32_t>> expected;
  };
  const Case kCases[] = {
      {2, 3, {{51, 3}}},
      {2, 3, {}},  // already released
      {1, 1, {}},  // no task waits on this row
      {-1, 1, {}},
      {kShipTurretCapacity, 1, {}},
      {kShipTurretCapacity - 1, 13, {{52, 13}}},
  };
  for (const Case& c : kCases) {
    calls_.clear();
    ShipReleaseModuleHandle(&ship, c.row, c.value);
    EXPECT_EQ(calls_, c.expected) << "row " << c.row;
  }
  EXPECT_EQ(ext.turrets[2].moduleNo, 0u);
  EXPECT_EQ(ext.turrets[2].handle, 0u);

  // Only ships have turret rows.
  calls_.clear();
  ext.turrets[0].moduleNo = kRow;
  ext.turrets[0].handle = 53;
  ship.objClass = kClassDock;
  ShipReleaseModuleHandle(&ship, 0, 1);
  ShipReleaseModuleHandle(nullptr, 0, 1);
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(ext.turrets[0].moduleNo, static_cast<uint32_t>(kRow));
}

}  // namespace
