// The input state over scripted devices: start-up with and without a usable stick, the keyboard
// poll's stuck-key and Alt+Tab rules, mouse clicks and the wheel, joystick throttle and failures,
// the legacy sticks' self-calibration, force feedback, the dead zone and the window procedure.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "devices/input.h"
#include "devices/key_codes.h"
#include "platform/window.h"
#include "render/render.h"
#include "support/fake_input_backend.h"

namespace {

constexpr uint32_t kStick = kInputUseMouse | kInputJoystick1 | kInputXYAnalog;

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeInputInstall();
    system_ = std::make_unique<SystemBlock>();
    saved_ = gSystem;
    gSystem = system_.get();
  }
  void TearDown() override {
    FakeInputRemove();
    gSystem = saved_;
  }
  InputState* Start(uint32_t flags) {
    InputState* state = InputInit(flags);
    EXPECT_NE(state, nullptr);
    return state;
  }
  static void Key(int scan, bool down) { Fake().keys.push_back(InputRecord{uint32_t(scan), down ? 0x80 : 0}); }
  static void Mouse(uint32_t offset, int32_t data) { Fake().mice.push_back(InputRecord{offset, data}); }
  // Polls until the queued key records are read (four per poll at a low frame rate).
  static void PollAllKeys() {
    do PollInput();
    while (!Fake().keys.empty());
  }
  // A stick with the given objects attached before start-up.
  static void AttachStick(std::vector<int32_t> objects) {
    Fake().joystickAttached = true;
    Fake().objects = std::move(objects);
  }

  std::unique_ptr<SystemBlock> system_;
  SystemBlock* saved_ = nullptr;
};

TEST_F(InputTest, AStickThatCannotBeSetUpIsDroppedAndTheGameGoesOn) {
  struct Case {
    const char* what;
    bool createOk;
    bool axesOk;
  };
  const Case kCases[] = {{"cannot be created", false, true}, {"axes cannot be set up", true, false}};
  for (const Case& c : kCases) {
    FakeInputInstall();
    AttachStick({kJoyObjectAxisX, kJoyObjectAxisY});
    Fake().createJoystickOk = c.createOk;
    Fake().axesOk = c.axesOk;
    InputState* state = InputInit(kStick | kInputJoystick2);
    ASSERT_NE(state, nullptr) << c.what;
    EXPECT_EQ(state->flags & (kInputJoystick1 | kInputJoystick2), 0u) << c.what;
    EXPECT_EQ(state->mousePresent, 1u) << c.what;
    EXPECT_TRUE(InputHasDeviceKeyboard()) << c.what;
    EXPECT_FALSE(Fake().joystickOpen) << c.what;
    FakeInputRemove();
  }
}

TEST_F(InputTest, AKeyboardOrMouseThatFailsEndsStartUp) {
  for (bool keyboard : {false, true}) {
    FakeInputInstall();
    (keyboard ? Fake().keyboardOk : Fake().mouseOk) = false;
    EXPECT_EQ(InputInit(kInputUseMouse), nullptr) << (keyboard ? "keyboard" : "mouse");
    EXPECT_EQ(gInputState, nullptr);
    FakeInputRemove();
  }
}

TEST_F(InputTest, AltTabNeverMarksTab) {
  for (int alt : {kScanLeftAlt, kScanRightAlt}) {
    InputState* state = Start(kInputUseMouse);
    Key(alt, true);
    Key(kScanTab, true);
    PollAllKeys();
    EXPECT_EQ(state->scanTable[kScanTab], 0) << alt;
    EXPECT_EQ(state->keyTable[9], 0) << alt;
    EXPECT_EQ(state->keyTable[ScanCodeToKeyCode(alt)], 1) << alt;
    InputShutdown();
    KeyRingReset();
  }
  InputState* state = Start(kInputUseMouse);
  Key(kScanTab, true);
  PollAllKeys();
  EXPECT_EQ(state->keyTable[9], 1);  // Tab alone is a key
}

TEST_F(InputTest, NineKeysDownClearAllThreeTablesAndFlush) {
  struct Case {
    int keys;
    bool cleared;
  };
  const Case kCases[] = {{8, false}, {9, true}};
  for (const Case& c : kCases) {
    InputState* state = Start(kInputUseMouse);
    const int flushesBefore = Fake().keyboardFlushes;
    for (int k = 0; k < c.keys; ++k) Key(16 + k, true);  // q w e r t y u i o
    PollAllKeys();
    PollInput();
    int down = 0, keysMarked = 0;
    for (int s = 0; s < kScanTableSize; ++s) down += (state->scanTable[s] & 0x80) ? 1 : 0;
    for (int k = 0; k < kKeyTableSize; ++k) keysMarked += state->keyTable[k];
    EXPECT_EQ(down, c.cleared ? 0 : c.keys) << c.keys;
    EXPECT_EQ(keysMarked, c.cleared ? 0 : c.keys) << c.keys;
    EXPECT_EQ(Fake().keyboardFlushes > flushesBefore, c.cleared) << c.keys;
    InputShutdown();
    KeyRingReset();
  }
}

TEST_F(InputTest, HeldKeysFillTheRingAndTheKeyTableEveryPoll) {
  InputState* state = Start(kInputUseMouse);
  Key(kScanLeftShift, true);
  Key(30, true);
  PollAllKeys();
  EXPECT_EQ(state->shift, 1u);
  EXPECT_EQ(state->keyPressed, 1u);
  EXPECT_EQ(NextKeyCode(), 97 + kKeyShift);
  PollInput();  // still held: the key comes again, and its table entry is set again
  EXPECT_EQ(state->keyTable[97], 1);
  EXPECT_EQ(NextKeyCode(), 97 + kKeyShift);
  Key(30, false);
  Key(kScanLeftShift, false);
  PollAllKeys();
  EXPECT_EQ(state->keyTable[97], 0);
  EXPECT_EQ(state->shift, 0u);
}

TEST_F(InputTest, ALostKeyboardClearsItsKeysAndReadsAgain) {
  InputState* state = Start(kInputUseMouse);
  Key(30, true);
  PollAllKeys();
  ASSERT_EQ(state->scanTable[30], 0x80);
  Fake().keyboardResult = kInputResultLost;
  Key(48, true);
  PollInput();
  EXPECT_EQ(state->scanTable[30], 0);  // cleared with the loss, nothing stays stuck
  EXPECT_EQ(Fake().keys.size(), 0u);   // the flush took the buffered record
}

TEST_F(InputTest, LeftPressesUnderASecondApartMakeADoubleClick) {
  struct Case {
    uint32_t gap;
    uint32_t doubleClick;
  };
  const Case kCases[] = {{999, 1}, {1000, 0}, {1, 1}};
  for (const Case& c : kCases) {
    InputState* state = Start(kInputUseMouse);
    gSystem->gameTime = 5000;
    Mouse(kMouseRecordButton0, 0x80);
    Mouse(kMouseRecordButton0, 0);
    PollInput();
    EXPECT_EQ(state->leftPressed, 1u);
    EXPECT_EQ(state->doubleClick, 0u) << "the run's first press";
    gSystem->gameTime += c.gap;
    Mouse(kMouseRecordButton0, 0x80);
    PollInput();
    EXPECT_EQ(state->doubleClick, c.doubleClick) << c.gap;
    EXPECT_EQ(state->leftDown, 1u);
    PollInput();
    EXPECT_EQ(state->leftPressed, 0u) << "pressed only in the poll it went down";
    EXPECT_EQ(state->leftDown, 1u) << "still held";
    EXPECT_EQ(state->doubleClick, 0u);
    InputShutdown();
  }
}

TEST_F(InputTest, TheWheelKeepsItsTurnUntilTurnedTheOtherWay) {
  InputState* state = Start(kInputUseMouse);
  Mouse(kMouseRecordWheel, 120);
  PollInput();
  EXPECT_EQ(state->wheel, 120);
  PollInput();
  EXPECT_EQ(state->wheel, 120);
  Mouse(kMouseRecordWheel, 120);
  PollInput();
  EXPECT_EQ(state->wheel, 240);
  Mouse(kMouseRecordWheel, -120);
  PollInput();
  EXPECT_EQ(state->wheel, -120);
  for (int turn = 0; turn < 400; ++turn) Mouse(kMouseRecordWheel, -120);
  for (int poll = 0; poll < 4; ++poll) PollInput();
  EXPECT_EQ(state->wheel, -32768) << "a long turn saturates rather than wrapping";
}

TEST_F(InputTest, MouseMotionMovesTheCursorInsideTheScreenAndButtonsFillTheMask) {
  gSystem->screenWidth = 640;
  gSystem->screenHeight = 480;
  InputState* state = Start(kInputUseMouse);
  Mouse(kMouseRecordX, 700);
  Mouse(kMouseRecordY, -20);
  Mouse(kMouseRecordButton0 + 1, 0x80);
  Mouse(kMouseRecordButton0 + 4, 0x80);
  PollInput();
  EXPECT_EQ(state->mouseDeltaX, 700);
  EXPECT_EQ(state->cursorX, 640);
  EXPECT_EQ(state->cursorY, 0);
  EXPECT_EQ(state->rightPressed, 1u);
  EXPECT_EQ(state->allButtons, 0x10u | 0x8u);
  PollInput();
  EXPECT_EQ(state->mouseDeltaX, 0);
  EXPECT_EQ(state->allButtons, 0x10u | 0x8u) << "held buttons stay in the mask";
}

TEST_F(InputTest, AThrottleHandedBackReadsZeroUntilItMoves) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectAxisZ});
  InputState* state = Start(kStick);
  ASSERT_EQ(state->flags & (kInputThrottleFound | kInputThrottleLive), kInputThrottleFound | kInputThrottleLive);
  Fake().joystick.z = 0x12345;
  PollInput();
  EXPECT_EQ(state->throttle, 0x12300);
  state->flags &= ~kInputThrottleLive;  // the scripts took the speed over
  Fake().joystick.z = 0x123FF;          // moves within the low bits only
  PollInput();
  EXPECT_EQ(state->throttle, 0);
  Fake().joystick.z = 0x20000;
  PollInput();
  EXPECT_EQ(state->throttle, 0x20000);
  EXPECT_NE(state->flags & kInputThrottleLive, 0u);
}

TEST_F(InputTest, TheFirstSliderIsTheThrottleWhenThereIsNoZ) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectSlider});
  InputState* state = Start(kStick | kInputLookForSlider);
  EXPECT_NE(state->flags & kInputThrottleFromSlider, 0u);
  Fake().joystick.sliders[0] = -0x4000;
  Fake().joystick.z = 77;
  PollInput();
  EXPECT_EQ(state->throttle, -0x4000);
}

TEST_F(InputTest, StickAxesHatButtonsAndRudderFillTheState) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectAxisRz, kJoyObjectPov, kJoyObjectButton});
  InputState* state = Start(kStick | kInputLookForHat | kInputLookForRudder);
  JoystickDeviceState& js = Fake().joystick;
  js.x = 65535;
  js.y = -300;
  js.rz = 1000;
  js.pov = 9000;
  js.buttons[3] = 0x80;
  js.buttons[12] = 0x80;
  PollInput();
  EXPECT_EQ(state->joystickX, 65535);
  EXPECT_EQ(state->joystickY, -300);
  EXPECT_EQ(state->hat, 9000);
  EXPECT_EQ(state->joystickButtons, (1u << 3) | (1u << 12));
  EXPECT_EQ(state->allButtons, 0x20u << 3) << "only buttons 0..9 reach the mask";
  EXPECT_EQ(state->rudder, (992 + 0) / 5);
  PollInput();
  EXPECT_EQ(state->rudder, (992 + 4 * (992 / 5)) / 5);
  js.pov = kPovCentred;
  state->flags = (state->flags & ~kInputXYAnalog) | kInputXYDigital;
  PollInput();
  EXPECT_EQ(state->hat, -1);
  EXPECT_EQ(state->joystickX, 1);
  EXPECT_EQ(state->joystickY, -1);
}

TEST_F(InputTest, MoreThanAThousandFailedReadsDropTheStick) {
  struct Case {
    int failures;
    bool dropped;
  };
  const Case kCases[] = {{1000, false}, {1001, true}};
  for (const Case& c : kCases) {
    FakeInputInstall();
    AttachStick({kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectAxisZ, kJoyObjectPov});
    InputState* state = Start(kStick | kInputLookForHat);
    Fake().joystick.x = 500;
    Fake().joystick.buttons[0] = 0x80;
    PollInput();
    ASSERT_EQ(state->joystickX, 500);
    Fake().joystickResult = kInputResultPending;
    for (int k = 0; k < c.failures; ++k) PollInput();
    EXPECT_EQ(Fake().joystickOpen, !c.dropped) << c.failures;
    const uint32_t findings = kInputHatFound | kInputHatUsed | kInputThrottleFound | kInputThrottleLive;
    EXPECT_EQ((state->flags & findings) == 0, c.dropped) << c.failures;
    EXPECT_EQ(state->joystickX, c.dropped ? 0 : 500) << c.failures;
    EXPECT_EQ(state->joystickButtons, c.dropped ? 0u : 1u) << c.failures;
    EXPECT_NE(state->flags & kInputJoystick1, 0u) << "the stick comes back on the next activation";
    FakeInputRemove();
  }
}

TEST_F(InputTest, ADroppedStickIsMadeAgainOnActivation) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY});
  InputState* state = Start(kStick);
  Fake().joystickResult = kInputResultFailed;
  for (int k = 0; k < 1001; ++k) PollInput();
  ASSERT_FALSE(Fake().joystickOpen);
  Fake().joystickResult = kInputResultOk;
  Fake().joystick.x = 42;
  InputAcquire(0);
  EXPECT_TRUE(Fake().joystickOpen);
  PollInput();
  EXPECT_EQ(state->joystickX, 42);
}

class LegacyStickTest : public InputTest {
 protected:
  InputState* StartLegacy(uint32_t x, uint32_t flags = kInputJoystick1 | kInputXYAnalog, int32_t sticks = 1) {
    Fake().openOk = false;
    Fake().legacyCount = sticks;
    Fake().legacy[0] = LegacyJoystickPosition{x, 32765, 0};
    return Start(flags);
  }
  static void Read(uint32_t x) {
    Fake().legacy[0].x = x;
    PollInput();
  }
};

TEST_F(LegacyStickTest, ReadingsBeyondTheRangeWidenItAndSetTheBand) {
  InputState* state = StartLegacy(32765);  // centre 0, range -1000..1000
  ASSERT_NE(state->flags & kInputJoystick1, 0u);
  LegacyAxisCalibration c = InputLegacyCalibration(0);
  EXPECT_EQ(c.centre, 0);
  EXPECT_EQ(c.maximum, 1000);
  EXPECT_EQ(c.minimum, -1000);
  Read(32765 + 1160);
  c = InputLegacyCalibration(0);
  EXPECT_EQ(c.maximum, 1010);
  EXPECT_EQ(c.band, (1010 - -1000) / 10);
  EXPECT_EQ(state->joystickX, (1160 - c.band) * 65535 / 1010);
  InputShutdown();

  StartLegacy(32765);
  Read(32765 - 1160);
  c = InputLegacyCalibration(0);
  EXPECT_EQ(c.minimum, -1010);
  EXPECT_EQ(c.band, (1000 - -1010) / 20);
}

TEST_F(LegacyStickTest, FullDeflectionReadsTheEndsOfTheRange) {
  InputState* state = StartLegacy(32768);
  Read(65535);
  EXPECT_EQ(state->joystickX, 65535);
  Read(0);
  EXPECT_EQ(state->joystickX, -65535);
  Read(32768);
  EXPECT_EQ(state->joystickX, 0);
  InputShutdown();
  state = StartLegacy(32768, kInputJoystick1 | kInputXYDigital);
  Read(65535);
  EXPECT_EQ(state->joystickX, 1);
  Read(0);
  EXPECT_EQ(state->joystickX, -1);
}

TEST_F(LegacyStickTest, AStickFoundOffCentreNeverReadsOutOfRange) {
  InputState* state = StartLegacy(32765 + 5000);
  for (int k = 0; k < 7000; ++k) Read(32765 + 5000);  // the range decays onto and past the centre
  for (uint32_t x = 0; x <= 65535; x += 97) {
    Read(x);
    EXPECT_LE(state->joystickX, 65535) << x;
    EXPECT_GE(state->joystickX, -65535) << x;
  }
}

TEST_F(LegacyStickTest, ButtonsComeFromBothSticksAndTheKeyTableIsCleared) {
  Fake().legacy[1] = LegacyJoystickPosition{32768, 32768, 0xF};
  InputState* state = StartLegacy(32768, kInputJoystick1 | kInputJoystick2 | kInputXYAnalog, 2);
  Fake().legacy[0].buttons = 0xF;
  PollInput();
  EXPECT_EQ(state->joystickButtons, 0xFu);
  EXPECT_EQ(state->allButtons, 0x20u | 0x40u | 0x80u | 0x100u);
  state->keyTable[290] = 1;  // a button the input translation marked
  PollInput();
  EXPECT_EQ(state->keyTable[290], 0);
}

class ForceFeedbackTest : public InputTest {
 protected:
  InputState* StartWithEffects(int32_t gain) {
    gain_ = gain;
    host_.forceFeedbackGain = &gain_;
    InputSetHost(&host_);
    AttachStick({kJoyObjectAxisX, kJoyObjectAxisY});
    Fake().caps.forceFeedback = true;
    return Start(kStick | kInputForceFeedback);
  }
  // The last four effects made, which the state now holds.
  static std::vector<ForceEffectDesc> LastFour() {
    const std::vector<ForceEffectDesc>& made = Fake().madeEffects;
    EXPECT_GE(made.size(), 4u);
    return std::vector<ForceEffectDesc>(made.end() - 4, made.end());
  }
  int32_t gain_ = 0;
  InputHost host_{};
};

TEST_F(ForceFeedbackTest, FourEffectsInOrderWithTheGainOfTheSetting) {
  struct Case {
    int32_t setting;
    int32_t gain;
  };
  const Case kCases[] = {{0, 0}, {1, 5000}, {2, 7500}, {3, 10000}, {9, 10000}, {-4, 0}};
  for (const Case& c : kCases) {
    FakeInputInstall();
    InputState* state = StartWithEffects(c.setting);
    ASSERT_EQ(state->effectCount, 4u);
    const uint32_t kinds[] = {kEffectKindBase, kEffectKindImpact, kEffectKindShake, kEffectKindKick};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(state->effects[i].kind, kinds[i]);
      EXPECT_NE(state->effects[i].effect, 0);
    }
    std::vector<ForceEffectDesc> made = LastFour();
    for (const ForceEffectDesc& d : made) EXPECT_EQ(d.gain, c.gain) << c.setting;
    EXPECT_EQ(made[0].durationUs, kEffectInfinite);
    EXPECT_EQ(made[0].magnitude, 0);
    EXPECT_TRUE(made[1].polar);
    EXPECT_EQ(made[1].durationUs, 200000u);
    EXPECT_EQ(made[2].type, kEffectPeriodic);
    EXPECT_EQ(made[2].periodUs, 100000u);
    EXPECT_EQ(made[3].axes, kEffectAxisY);
    EXPECT_EQ(made[3].durationUs, 20000u);
    EXPECT_FALSE(Fake().autoCenter);
    EXPECT_EQ(Fake().liveEffects.size(), 4u) << "older effect lists are released";
    FakeInputRemove();
  }
}

TEST_F(ForceFeedbackTest, PlayStartsOnlyTheImpactInItsDirection) {
  InputState* state = StartWithEffects(2);
  const int32_t base = state->effects[0].effect;
  const int32_t impact = state->effects[1].effect;
  ASSERT_EQ(Fake().started.back(), base) << "the zero force runs from its creation";
  Fake().started.clear();
  EXPECT_TRUE(ForceFeedbackPlay(9000));
  EXPECT_EQ(Fake().started, std::vector<int32_t>{impact});
  EXPECT_EQ(Fake().directions, std::vector<int32_t>{9000});
}

TEST_F(ForceFeedbackTest, WithoutForceFeedbackTheBitIsClearedAndPlayDoesNothing) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY});
  Fake().caps.forceFeedback = false;
  InputState* state = Start(kStick | kInputForceFeedback);
  EXPECT_EQ(state->flags & kInputForceFeedback, 0u);
  EXPECT_TRUE(Fake().madeEffects.empty());
  EXPECT_TRUE(ForceFeedbackPlay(100));
  EXPECT_TRUE(Fake().started.empty());
}

TEST_F(InputTest, DeadZoneIsClampedToAPercentAndReachesTheStick) {
  AttachStick({kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectAxisRz});
  Start(kStick | kInputLookForRudder);
  struct Case {
    int32_t value;
    int32_t stored;
  };
  const Case kCases[] = {{30, 30}, {150, 100}, {-5, 0}, {100, 100}};
  for (const Case& c : kCases) {
    EXPECT_EQ(P_SetJoyDeadzone(c.value), c.stored);
    EXPECT_EQ(Fake().deadZones[kJoyAxisX], c.stored * 100);
    EXPECT_EQ(Fake().deadZones[kJoyAxisY], c.stored * 100);
    EXPECT_EQ(Fake().deadZones[kJoyAxisRz], c.stored * 100);
  }
}

class WindowProcTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    gStops = 0;
    gExitCodes.clear();
    active_ = 1;
    host_.appActive = &active_;
    host_.stopAllMovies = [] { ++gStops; };
    host_.shutdownAndExit = [](int32_t code) { gExitCodes.push_back(code); };
    InputSetHost(&host_);
  }
  static intptr_t Send(uint32_t message, uintptr_t wparam = 0) { return MainWindowProc(nullptr, message, wparam, 0); }
  static int gStops;
  static std::vector<int32_t> gExitCodes;
  uint32_t active_ = 0;
  InputHost host_{};
};
int WindowProcTest::gStops = 0;
std::vector<int32_t> WindowProcTest::gExitCodes;

TEST_F(WindowProcTest, DeactivationClearsTheTransientStateAndStopsMovies) {
  InputState* state = Start(kInputUseMouse);
  state->leftDown = state->leftPressed = state->doubleClick = 1;
  state->allButtons = 0x11;
  state->mouseHeld = state->mouseButtons = 1;
  state->scanTable[30] = 0x80;
  state->keyTable[97] = 1;
  EXPECT_EQ(Send(kWindowMessageActivate, kWindowInactive), 0);
  EXPECT_EQ(state->leftDown | state->leftPressed | state->doubleClick | state->allButtons | state->mouseHeld, 0u);
  EXPECT_EQ(state->scanTable[30], 0);
  EXPECT_EQ(state->keyTable[97], 0);
  EXPECT_EQ(state->active, 0u);
  EXPECT_EQ(active_, 0u);
  EXPECT_EQ(gStops, 1);
  EXPECT_EQ(Fake().log.back(), "unacquire 0");
  Send(kWindowMessageActivate, kWindowActive);
  EXPECT_EQ(state->active, 1u);
  EXPECT_EQ(active_, 1u);
  EXPECT_EQ(gStops, 1);
}

TEST_F(WindowProcTest, CloseEndsTheGameNormallyAndOtherCommandsAreIgnored) {
  Start(kInputUseMouse);
  EXPECT_EQ(Send(kWindowMessageSysCommand, kSysCommandClose), 0);
  EXPECT_EQ(gExitCodes, std::vector<int32_t>{0});
  EXPECT_EQ(Send(kWindowMessageSysCommand, kSysCommandKeyMenu), 1);
  EXPECT_EQ(Send(kWindowMessageHitTest), 1);
  EXPECT_EQ(gExitCodes.size(), 1u);
}

TEST_F(WindowProcTest, DispatchDeliversTheTranslatedMessages) {
  Start(kInputUseMouse);
  Fake().translations[77] = {{kWindowMessageActivate, kWindowInactive, 0}, {kWindowMessageSysCommand, kSysCommandClose, 0}};
  OsMessage message{};
  message.kind = kOsMessageEvent;
  message.code = 77;
  MainWindowDispatch(&message);
  EXPECT_EQ(gStops, 1);
  EXPECT_EQ(gExitCodes, std::vector<int32_t>{0});
}

TEST_F(WindowProcTest, WithoutDevicesTheWindowMessagesFillKeysAndButtons) {
  Fake().openOk = false;
  InputState* state = Start(kInputUseMouse);
  Send(kWindowMessageKeyDown, 'A');  // a character key: its character message follows
  Send(kWindowMessageChar, 'a');
  Send(kWindowMessageKeyDown, 33);
  Send(kWindowMessageKeyDown, 32);  // space comes as a character too
  EXPECT_EQ(state->keyPressed, 1u);
  EXPECT_EQ(NextKeyCode(), 'a');
  EXPECT_EQ(NextKeyCode(), 339);
  EXPECT_EQ(NextKeyCode(), 0);
  Send(kWindowMessageLeftDown);
  EXPECT_EQ(state->leftDown, 1u);
  Send(kWindowMessageLeftDouble);
  EXPECT_EQ(state->doubleClick, 1u);
  Send(kWindowMessageLeftUp);
  EXPECT_EQ(state->leftDown, 0u);
  Send(kWindowMessageRightDown);
  EXPECT_EQ(state->rightPressed, 1u);
}

TEST_F(WindowProcTest, WithDevicesTheWindowMessagesLeaveKeysAlone) {
  InputState* state = Start(kInputUseMouse);
  Send(kWindowMessageKeyDown, 33);
  Send(kWindowMessageLeftDown);
  EXPECT_EQ(NextKeyCode(), 0);
  EXPECT_EQ(state->leftDown, 0u);
}

TEST_F(WindowProcTest, TheCursorFollowsThePointerAndIsHeldAtTheCentreWhileActive) {
  DisplayDevice device{640, 480, 32};
  DisplayObject display{0, &device, nullptr};
  gDisplay = &display;
  InputState* state = Start(kInputUseMouse);
  state->cursorX = 100;
  state->cursorY = 100;
  Fake().cursorX = 330;
  Fake().cursorY = 230;
  EXPECT_EQ(Send(kWindowMessageSetCursor), 1);
  EXPECT_EQ(state->cursorX, 110);
  EXPECT_EQ(state->cursorY, 90);
  EXPECT_FALSE(Fake().cursorShown);
  ASSERT_EQ(Fake().warps.size(), 1u);
  EXPECT_EQ(Fake().warps[0], std::make_pair(320, 240));
  state->active = 0;  // the window lost the game, not the process
  Fake().cursorX = 700;
  Send(kWindowMessageSetCursor);
  EXPECT_EQ(state->cursorX, 640) << "clamped to the screen";
  EXPECT_EQ(Fake().warps.size(), 1u);
  active_ = 0;
  Fake().cursorX = 5;
  Send(kWindowMessageSetCursor);
  EXPECT_EQ(state->cursorX, 640) << "an inactive process leaves the cursor alone";
  gDisplay = nullptr;
}

TEST_F(WindowProcTest, MessagesBeforeStartUpWorkOnALocalRecord) {
  ASSERT_EQ(gInputState, nullptr);
  Send(kWindowMessageLeftDown);
  Send(kWindowMessageActivate, kWindowInactive);
  EXPECT_EQ(gStops, 1);
  EXPECT_EQ(active_, 0u);
}

}  // namespace
