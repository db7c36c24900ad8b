// The input translation with an event recorder and scripted answers: held keys and their short
// or long releases, wheel notches, Shift on buttons, hat directions, the shift keys' silence,
// which answers count as actions, the autopilot handing over, the mouse-delta sums without a
// ship, the eight directions of the direction control, and buttons met again among the keys.
#include <gtest/gtest.h>

#include "support/steering_world.h"

namespace {

class InputTranslate : public SteeringWorld {
 protected:
  // The recorded events of this frame that are named `name`.
  std::vector<std::string> Named(const std::string& name) const {
    std::vector<std::string> out;
    for (const std::string& e : events_)
      if (e.rfind(name + "(", 0) == 0) out.push_back(e);
    return out;
  }
};

TEST_F(InputTranslate, AKeyHeldThreeFramesRaisesItsReleaseByTheLengthOfThePress) {
  struct Case {
    uint32_t heldMs;
    int32_t release;
  };
  const Case kCases[] = {{300, 97 | 0x2000}, {500, 97 | 0x2000}, {501, 97 | 0x4000}, {600, 97 | 0x4000}};
  for (const Case& c : kCases) {
    system_.frameStep = c.heldMs / 3;
    int translated = 0, inputs = 0;
    const uint32_t pressed = system_.realTime;
    input_.keyTable[97] = 1;
    for (int frame = 0; frame < 3; ++frame) {
      Frame(false);
      translated += Count("TranslateKey(97)");
      inputs += int(Named("Input").size());
    }
    input_.keyTable[97] = 0;
    system_.realTime = pressed + c.heldMs;
    Frame(false);
    EXPECT_EQ(translated, 3) << c.heldMs;
    EXPECT_EQ(inputs, 0) << c.heldMs;
    EXPECT_EQ(events_, std::vector<std::string>{"Input(" + std::to_string(c.release) + ")"}) << c.heldMs;
    Frame(false);
    EXPECT_TRUE(events_.empty());
  }
}

TEST_F(InputTranslate, WheelNotchesRaiseOneTranslationAndAnInputEach) {
  struct Case {
    int16_t wheel;
    int16_t left;
    std::vector<std::string> events;
  };
  const Case kCases[] = {
      {250, 10, {"TranslateKey(8486)", "Input(8486)", "Input(8486)"}},
      {-250, -10, {"TranslateKey(8487)", "Input(8487)", "Input(8487)"}},
      {120, 0, {"TranslateKey(8486)", "Input(8486)"}},
      {119, 119, {}},
      {-119, -119, {}},
  };
  for (const Case& c : kCases) {
    input_.wheel = c.wheel;
    Frame(false);
    EXPECT_EQ(events_, c.events) << c.wheel;
    EXPECT_EQ(input_.wheel, c.left) << c.wheel;
  }
}

TEST_F(InputTranslate, ShiftMarksButtonCodes) {
  input_.shift = 1;
  input_.joystickButtons = 1;
  Frame(false);
  EXPECT_EQ(Named("TranslateKey").front(), "TranslateKey(4392)");  // 0x1128
  EXPECT_EQ(Named("Input").front(), "Input(4392)");
  input_.shift = 0;
  input_.joystickButtons = 0;
  input_.mouseButtons = 0x2;
  Frame(false);
  EXPECT_EQ(Named("TranslateKey").front(), "TranslateKey(281)");
}

TEST_F(InputTranslate, TheHatRaisesItsEightDirectionsOnly) {
  struct Case {
    int32_t angle, code;
  };
  const Case kCases[] = {{0, 320},     {4500, 325},  {9000, 323},  {13500, 327}, {18000, 321}, {22500, 326},
                         {27000, 322}, {31500, 324}, {1000, 0},    {-1, 0},      {36000, 0}};
  for (const Case& c : kCases) EXPECT_EQ(HatCode(c.angle), c.code) << c.angle;

  input_.flags = kInputHatFound | kInputHatUsed;
  input_.hat = 4500;
  Frame(false);
  EXPECT_EQ(events_, (std::vector<std::string>{"TranslateKey(325)", "Input(325)"}));
  input_.hat = 1000;
  Frame(false);
  EXPECT_EQ(events_, std::vector<std::string>{"Input(8517)"});  // the release of 325
  // A hat that is not in use raises nothing.
  input_.flags = kInputHatFound;
  input_.hat = 4500;
  Frame(false);
  EXPECT_TRUE(events_.empty());
}

TEST_F(InputTranslate, ReleasingAShiftKeyRaisesNothing) {
  for (int32_t key : {kKeyLeftShift, kKeyRightShift}) {
    input_.keyTable[key] = 1;
    Frame(false);
    EXPECT_EQ(Count("TranslateKey(" + std::to_string(key) + ")"), 1);
    input_.keyTable[key] = 0;
    Frame(false);
    EXPECT_TRUE(events_.empty()) << key;
  }
}

TEST_F(InputTranslate, OnlyAnswersNamingAnotherCodeBelow1024CountAsActions) {
  struct Case {
    int32_t answer;
    bool counted;
  };
  const Case kCases[] = {{0, false}, {97, false}, {1024, false}, {-1, false}, {5000, false},
                         {1, true},  {1023, true}, {531, true}};
  input_.keyTable[97] = 1;
  for (const Case& c : kCases) {
    answer_ = [&c](const std::string& name, int32_t) { return name == "TranslateKey" ? c.answer : 0; };
    Frame(false);
    int total = 0;
    for (uint8_t n : gInputTranslation.actions) total += n;
    EXPECT_EQ(total, c.counted ? 1 : 0) << c.answer;
    if (c.counted) {
      EXPECT_EQ(gInputTranslation.actions[c.answer], 1) << c.answer;
    }
  }
  // A busy wheel keeps counting instead of wrapping.
  input_.keyTable[97] = 0;
  input_.wheel = 32767;
  answer_ = [](const std::string& name, int32_t) { return name == "TranslateKey" ? 600 : 0; };
  Frame(false);
  EXPECT_EQ(gInputTranslation.actions[600], 255);
}

TEST_F(InputTranslate, AnInputAnsweringMinusOneMarksTheFrameUnhandled) {
  input_.joystickButtons = 1;
  answer_ = [](const std::string& name, int32_t) { return name == "Input" ? -1 : 0; };
  Frame(false);
  EXPECT_EQ(gInputTranslation.unhandled, 1u);
  EXPECT_EQ(gInputTranslation.inputSeen, 1u);
}

TEST_F(InputTranslate, ASteeringActionEndsTheAutopilot) {
  ship_.flags |= kObjFlagAutopilot;
  HoldActions({kActionTurn1Plus});
  Frame();
  EXPECT_EQ(Count("SetAutopilot(1,0)"), 1);
  EXPECT_EQ(ship_.flags & kObjFlagAutopilot, 0u);
  EXPECT_GT(gSteering.turn[0].accumulator, 0);
  // An action that does not steer leaves it on.
  ship_.flags |= kObjFlagAutopilot;
  HoldActions({kActionBoost});
  Frame();
  EXPECT_EQ(Count("SetAutopilot(1,0)"), 0);
  EXPECT_NE(ship_.flags & kObjFlagAutopilot, 0u);
  EXPECT_EQ(Count("CheckEquipment(40)"), 0);
}

TEST_F(InputTranslate, SteeringLocksAndTheFramesAnswerKeepTheCruiseSpeed) {
  struct Case {
    uint32_t lockWord;
    uint32_t shift;
    bool allowed;
    bool changes;
  };
  const Case kCases[] = {{0, 0, true, true},  {0x2, 0, true, false}, {0x1, 1, true, false},
                         {0x1, 0, true, true}, {0, 1, true, true},   {0, 0, false, false}};
  for (const Case& c : kCases) {
    system_.inputModeMask = c.lockWord;
    input_.shift = c.shift;
    ship_.speedLimit = 5000;
    HoldActions({kActionFaster});
    Frame(true, c.allowed);
    EXPECT_EQ(ship_.speedLimit != 5000, c.changes) << c.lockWord << " " << c.shift << " " << c.allowed;
  }
}

TEST_F(InputTranslate, WithoutAShipTheMouseGoesToTheDeltaSums) {
  input_.mouseDeltaX = 7;
  input_.mouseDeltaY = -3;
  Frame(false);
  EXPECT_EQ(events_, std::vector<std::string>{"InputMouseDelta(7,-3)"});
  // Functions without a sum raise nothing.
  Wilo_SetControlMatrix(512, kSteerTurn1, 0, 0);
  Wilo_SetControlMatrix(513, kSteerCursorTurret2, 0, 0);
  Frame(false);
  EXPECT_EQ(events_, std::vector<std::string>{"InputMouseDelta(0,-3)"});
  input_.mouseDeltaY = 0;
  Frame(false);
  EXPECT_TRUE(events_.empty());
}

TEST_F(InputTranslate, TheDirectionControlRaisesEightActions) {
  struct Case {
    int32_t x, y;
    int32_t action;  // 0: none
  };
  const Case kCases[] = {
      {0x10000, 0, 718},       {0, 0x10000, 720},        {-0x10000, 0, 717},     {0, -0x10000, 719},
      {0x10000, 0x10000, 723}, {-0x10000, 0x10000, 724}, {-0x10000, -0x10000, 721}, {0x10000, -0x10000, 722},
      {0x4000, -0x4000, 0},    {0x4001, 0, 718},         {0, -0x4001, 719},
  };
  for (const Case& c : kCases) {
    events_.clear();
    gSteering.direction = DirectionControlState{};
    gSteering.direction.lock = 1;
    gSteering.direction.x = c.x;
    gSteering.direction.y = c.y;
    HatToInputAction();
    const std::vector<std::string> expected =
        c.action ? std::vector<std::string>{"InputAction(" + std::to_string(c.action) + ")"}
                 : std::vector<std::string>{};
    EXPECT_EQ(events_, expected) << c.x << "," << c.y;
    EXPECT_EQ(gSteering.direction.changed, c.action ? 1u : 0u);
  }
  // Without this frame's step or analog value the kept direction raises nothing.
  events_.clear();
  gSteering.direction.lock = 0;
  gSteering.direction.x = 0x10000;
  HatToInputAction();
  EXPECT_TRUE(events_.empty());
}

TEST_F(InputTranslate, AButtonIsTranslatedOncePerFrameAndReleasedLikeAKey) {
  input_.joystickButtons = 1;
  for (int frame = 0; frame < 2; ++frame) {
    Frame(false);
    EXPECT_EQ(events_, (std::vector<std::string>{"TranslateKey(296)", "Input(296)"}));
  }
  input_.joystickButtons = 0;
  Frame(false);
  EXPECT_EQ(events_, std::vector<std::string>{"Input(8488)"});  // 296 | 0x2000
  // A button that answers an action counts it once, not again among the keys.
  input_.joystickButtons = 1;
  answer_ = [](const std::string& name, int32_t) { return name == "TranslateKey" ? 700 : 0; };
  Frame(false);
  EXPECT_EQ(gInputTranslation.actions[700], 1);
}

}  // namespace
