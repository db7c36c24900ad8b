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

}  // namespace
