// An assembled story receives the cut events of a step through the real script engine: its
// "CutEvent" handler logs what it is handed and frees an instance through B3D_InstFree. Freeing
// the instance that raised the event, or a sibling the step has not reached, leaves the step
// sound (ASan watches) and the freed instance raises nothing more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/cut_events.h"
#include "scene/engine_dispatch.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "support/cut_world.h"
#include "support/script_runner.h"

namespace {

constexpr int32_t kReceiver = 12;

const char* const kStory = R"(
.global int 0                   ; G 0: the handle the handler frees
.class 12
.method CutEvent onevent frame=8 params=2
.end
.func SetVictim setvictim frame=8 params=1
setvictim:
  check 8
  ldl 4
  mvg 0
  push0
  ret
onevent:
  check 8
  ldl 5                         ; the number
  ldl 5                         ; the text
  push2
  native T_Log
  pop
  ldg 0
  push1
  native B3D_InstFree
  pop
  push0
  ret
)";

class CutStory : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    RegisterNativeModule(engine_, DispatchEngineNative, kEngineNativeNames, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Load(kStory)) << error_;
    SetCutEventSink(nullptr);  // the script engine's own call
    world_.AddPath({{50, "event FromR"}});
    world_.AddPath({{60, "event FromS"}});
    world_.Enter();
  }

  CutWorld world_;
};

TEST_F(CutStory, HandlersThatFreeTheRaiserOrASiblingLeaveTheStepSound) {
  struct Case {
    const char* name;
    bool freeRaiser;
    std::vector<std::string> log;
  };
  const Case kCases[] = {
      {"the raiser", true, {"\"frame\",1", "\"frame\",1", "\"frame\",2", "\"frame\",3", "\"FromS\",0"}},
      {"a sibling", false, {"\"frame\",1", "\"frame\",2", "\"frame\",3", "\"FromR\",0"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    InstanceRecord* raiser = world_.Player(0, kReceiver);
    InstanceRecord* sibling = world_.Player(1, kReceiver);
    const uint32_t raiserHandle = raiser->handle;
    const uint32_t siblingHandle = sibling->handle;
    const uint32_t victim = c.freeRaiser ? raiserHandle : siblingHandle;
    Call("SetVictim", {static_cast<int32_t>(victim)});
    log_.clear();
    world_.Advance(100);
    UpdateCutScenes();
    EXPECT_EQ(log_, c.log);
    EXPECT_EQ(GetInstanceByHandle(victim), nullptr);
    InstanceRecord* survivor = GetInstanceByHandle(c.freeRaiser ? siblingHandle : raiserHandle);
    ASSERT_NE(survivor, nullptr);
    EXPECT_EQ(survivor->jobClock, world_.Now());
    FreeInstance(survivor);
  }
}

}  // namespace
