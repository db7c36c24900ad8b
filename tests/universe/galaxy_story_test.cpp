// The six GS_ natives called from assembled byte code, the way a story calls them: the module
// registered in the script engine, arguments (numbers and position arrays) pushed by the
// interpreter, and every answer back on the calling task's stack.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/script_runner.h"
#include "universe/galaxy_grid.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kUnit = kGalaxyUnitsPerGrid;

// One argument: a number, or (when `array` holds values) an array of numbers.
struct Arg {
  int32_t value = 0;
  std::vector<int32_t> array;
};
Arg N(int32_t value) { return Arg{value, {}}; }
Arg Pos(int32_t x, int32_t y, int32_t z) { return Arg{0, {x, y, z}}; }

struct Step {
  const char* native;
  std::vector<Arg> args;
  int32_t answer;
};

// Each step pushes its arguments last to first and the count, calls the native and logs the
// answer, so the log holds one answer per step.
std::string Story(const std::vector<Step>& steps) {
  std::string text = ".func Main main frame=8\nmain:\n  check 8\n";
  auto push = [&text](int32_t v) { text += "  pushi " + std::to_string(v) + "\n"; };
  for (const Step& step : steps) {
    for (size_t k = step.args.size(); k-- > 0;) {
      const Arg& arg = step.args[k];
      if (arg.array.empty()) {
        push(arg.value);
        continue;
      }
      for (size_t e = arg.array.size(); e-- > 0;) push(arg.array[e]);  // element 0 ends on top
      text += "  mkarray " + std::to_string(arg.array.size()) + "\n";
    }
    push(int32_t(step.args.size()));
    text += std::string("  native ") + step.native + "\n  push1\n  native T_Log\n  pop\n";
  }
  return text + "  push0\n  ret\n";
}

class GalaxyStory : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    RegisterGalaxyModule(grid_.get());
    ASSERT_EQ(grid_->moduleNo, 2u);
  }
  void TearDown() override {
    gGalaxyGrid = nullptr;
    ScriptRunTest::TearDown();
  }
  std::unique_ptr<GalaxyGrid> grid_ = std::make_unique<GalaxyGrid>();
};

// Cells S (0,0), B (0,1) and T (1,1): S-B through slot 0 of each (S's gate 10 units out), B-T
// through B's slot 1 (40 units out) and T's slot 0; a one-gate cell keeps no gate distance.
TEST_F(GalaxyStory, AStoryBuildsTheGridAndAsksItsWay) {
  const Arg none = N(0);
  const std::vector<Step> steps = {
      {"GS_AddGate", {N(0), N(0), N(0), N(0), N(1), N(0), Pos(10 * kUnit, 0, 0)}, 0},
      {"GS_AddGate", {N(0), N(1), N(0), N(0), N(0), N(0), Pos(0, 0, 0)}, 0},
      {"GS_AddGate", {N(0), N(1), N(1), N(1), N(1), N(0), Pos(40 * kUnit, 0, 0)}, 0},
      {"GS_AddGate", {N(1), N(1), N(0), N(0), N(1), N(1), Pos(0, 0, 0)}, 0},
      {"GS_AddGate", {N(0), N(0), N(6), N(0), N(1), N(0), Pos(0, 0, 0)}, -1},  // slot outside 0-5
      {"GS_SetSectorOwner", {N(0), N(1), N(2)}, 0},
      {"GS_SetSectorOwner", {N(0), N(20), N(2)}, -1},  // column outside 0-19
      // The table forms (six arguments, no positions).
      {"GS_Route", {N(0), N(0), none, N(1), N(1), none}, 0},
      {"GS_RouteLen", {N(0), N(0), none, N(1), N(1), none}, 2},
      {"GS_Route", {N(0), N(0), none, N(0), N(0), none}, -1},
      {"GS_RouteLen", {N(0), N(0), none, N(0), N(0), none}, 0},
      {"GS_Route", {N(0), N(0), none, N(5), N(5), none}, -2},
      {"GS_RouteLen", {N(0), N(0), none, N(5), N(5), none}, -2},
      // The search forms: positions, an owner mask (5 weighs owners 0 and 2) or a weight array.
      {"GS_RouteDist", {N(0), N(0), Pos(0, 0, 0), N(0), N(0), Pos(3 * kUnit, 4 * kUnit, 0)}, 5},
      {"GS_RouteDist", {N(0), N(0), Pos(0, 0, 0), N(1), N(1), Pos(0, 0, 0), N(0)}, 50},
      {"GS_RouteDist", {N(0), N(0), Pos(0, 0, 0), N(1), N(1), Pos(0, 0, 0), N(5)}, 50},
      {"GS_RouteLen", {N(0), N(0), Pos(0, 0, 0), N(1), N(1), Pos(0, 0, 0), Pos(1, 1, 1)}, 2},
      {"GS_RouteDist", {N(0), N(0), Pos(0, 0, 0), N(5), N(5), Pos(0, 0, 0), N(0)}, -1},
      {"GS_RouteLen", {N(0), N(0), Pos(0, 0, 0), N(5), N(5), Pos(0, 0, 0), N(0)}, -1},
      // Taking the B-T link away (both of its gates) leaves T out of reach.
      {"GS_RemoveGate", {N(0), N(1), N(1)}, 0},
      {"GS_RemoveGate", {N(1), N(1), N(0)}, 0},
      {"GS_RemoveGate", {N(0), N(1), N(6)}, -1},
      {"GS_Route", {N(0), N(0), none, N(1), N(1), none}, -2},
      {"GS_RouteDist", {N(0), N(0), Pos(0, 0, 0), N(1), N(1), Pos(0, 0, 0), N(0)}, -1},
      {"GS_Route", {N(0), N(0), none, N(0), N(1), none}, 0},
  };
  ASSERT_TRUE(Load(Story(steps))) << error_;
  EXPECT_EQ(Call("Main"), "0");
  ASSERT_EQ(log_.size(), steps.size());
  for (size_t k = 0; k < steps.size(); ++k) {
    EXPECT_EQ(log_[k], std::to_string(steps[k].answer)) << "step " << k << " " << steps[k].native;
  }
  EXPECT_EQ(grid_->cells[1].owner, 2);
  EXPECT_EQ(grid_->cells[1].minGateDistance, 65535);
}

}  // namespace
