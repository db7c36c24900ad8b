// The frame's input step with the real translation and an assembled story whose class 150
// answers "TranslateKey": every event of one frame, from the frame key's "Input" to the mouse
// deltas, reaches the story in order, and the player's ship is steered by the answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/game_loop.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/input_logo_version.h"
#include "app/steering_host.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/input_translate.h"
#include "devices/steering.h"
#include "frontend/hud/gui_master.h"
#include "support/script_runner.h"
#include "universe/universe.h"

namespace {

// Each handler logs a tag and its arguments: 1 TranslateKey, 2 Input, 3 InputAction,
// 4 StopFastForward, 5 InputMouseDelta, 6 SetAutopilot, 7 CheckEquipment. "TranslateKey" answers
// 568 for joystick button 0 and 540 (first thrust) for "a"; everything else answers 0.
constexpr char kStory[] = R"(
.class 150
.method TranslateKey tk params=1
.method Input input params=1
.method InputAction action params=1
.method StopFastForward stop
.method InputMouseDelta delta params=2
.method SetAutopilot autopilot params=2
.method CheckEquipment equipment params=1
.end
tk:
  ldl 4
  pushb 1
  push2
  native T_Log
  pop
  ldl 4
  pushw 296
  jne notbutton
  pushw 568
  ret
notbutton:
  ldl 4
  pushb 97
  jne none
  pushw 540
  ret
none:
  push0
  ret
input:
  ldl 4
  pushb 2
  push2
  native T_Log
  pop
  push0
  ret
action:
  ldl 4
  pushb 3
  push2
  native T_Log
  pop
  push0
  ret
stop:
  pushb 4
  push1
  native T_Log
  pop
  push0
  ret
delta:
  ldl 5
  ldl 5
  pushb 5
  push3
  native T_Log
  pop
  push0
  ret
autopilot:
  ldl 5
  ldl 5
  pushb 6
  push3
  native T_Log
  pop
  push0
  ret
equipment:
  ldl 4
  pushb 7
  push2
  native T_Log
  pop
  push0
  ret
)";

class InputFrame : public ScriptRunTest {
 protected:
  static inline const char* const kAppNames[] = {nullptr};

  void SetUp() override {
    ScriptRunTest::SetUp();
    InitGameStateBlock(&state_);
    gGameState = &state_;
    state_.moduleIndex = uint32_t(RegisterNativeModule(engine_, nullptr, kAppNames, AppResumeInt, nullptr, nullptr));
    ASSERT_GT(state_.moduleIndex, 0u);
    system_.frameStep = 20;
    system_.realTime = 5000;
    system_.timeScale = 0x20000;
    gSystem = &system_;
    input_.hat = -1;
    gInputState = &input_;
    ext_.maxSpeedOverride = -1;
    ext_.valueOverride = 20000;
    sector_.objClass = kClassSector;
    ship_.objClass = kClassShip;
    ship_.ext = &ext_;
    ship_.parent = &sector_;
    universe_.player = &ship_;
    gUniverse = &universe_;
    saved_ = gGameServices;
    gGameServices.nextKeyCode = [] { return uint16_t(0); };
    gGameServices.raiseInputEvent = RaiseInputEvent;
    gGameServices.translateInput = TranslateInput;
    InstallSteeringHost();
    ResetSteeringState();
    ResetFrameInputState();
  }

  void TearDown() override {
    SteeringSetHost(nullptr);
    ResetSteeringState();
    gInputTranslation = InputTranslation{};
    ResetFrameInputState();
    gGameServices = saved_;
    gUniverse = nullptr;
    gInputState = nullptr;
    gSystem = nullptr;
    FreeModuleStringTables(&state_);
    gGameState = nullptr;
    ScriptRunTest::TearDown();
  }

  static int32_t AppResumeInt(uint32_t cookie, int32_t value) {
    ResumeApplicationInt(cookie, value);
    return 0;
  }

  GameStateBlock state_{};
  SystemBlock system_{};
  InputState input_{};
  UniverseBlock universe_{};
  ShipExt ext_{};
  SpaceObject sector_{};
  SpaceObject ship_{};
  GameServices saved_{};
};

TEST_F(InputFrame, TheEventsOfAFrameReachTheStoryInOrder) {
  ASSERT_TRUE(Load(kStory)) << error_;
  ASSERT_EQ(gGuiMaster, nullptr);
  input_.joystickButtons = 0x1 | kAlternateButtonStick;  // buttons 0 and 10
  input_.keyTable[97] = 1;
  input_.flags = kInputJoystick1 | kInputXYAnalog;
  input_.joystickX = 65535;  // with button 10: the direction control's x
  input_.mouseDeltaX = 5;

  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "2,0",                                   // the frame's key
                      "1,296", "2,296", "1,306", "2,306",      // buttons 0 and 10
                      "1,97",                                  // the held key
                      "3,568",                                 // the action button 0 answered
                      "3,718",                                 // the direction control
                      "4",                                     // the thrust changed at double speed
                      "5,5,0",                                 // the mouse
                  }));
  EXPECT_EQ(gSteering.thrust[0].request, 20000);
  EXPECT_EQ(gInputTranslation.actions[568], 1);
  EXPECT_EQ(gInputTranslation.actions[540], 1);

  // The next poll finds nothing held: only what was untranslated raises its release, button 10.
  log_.clear();
  input_.joystickButtons = 0;
  input_.keyTable[97] = input_.keyTable[296] = input_.keyTable[306] = 0;
  input_.joystickX = 0;
  input_.mouseDeltaX = 0;
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(log_, (std::vector<std::string>{"2,0", "2,8498"}));  // 306 | 0x2000
}

}  // namespace
