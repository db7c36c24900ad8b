// The input devices over SDL itself, under SDL's dummy video driver: pushed key, mouse and window
// events and a virtual joystick reach the input state, the message pump hands focus and close
// events to the window procedure, and an input script drives the same through a frame loop.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "app/entry.h"
#include "devices/input.h"
#include "devices/key_codes.h"
#include "platform/input_backend.h"
#include "platform/input_script.h"
#include "platform/os.h"
#include "platform/window.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t kStick = kInputUseMouse | kInputJoystick1 | kInputXYAnalog | kInputLookForHat;

int gStops = 0;
std::vector<int32_t> gExits;

class SdlInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    InputUseBackend(nullptr);
    gStops = 0;
    gExits.clear();
    host_.appActive = &gStartup.appActive;
    host_.stopAllMovies = [] { ++gStops; };
    host_.shutdownAndExit = [](int32_t code) { gExits.push_back(code); };
    InputSetHost(&host_);
    KeyRingReset();
  }
  void TearDown() override {
    InputShutdown();
    InputSetHost(nullptr);
    if (stick_) SDL_JoystickClose(stick_);
    if (virtualIndex_ >= 0) SDL_JoystickDetachVirtual(virtualIndex_);
    KeyRingReset();
    SDL_Quit();
  }
  // A virtual stick with six axes, 32 buttons and a hat, attached before start-up.
  void AttachStick() {
    virtualIndex_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 32, 1);
    ASSERT_GE(virtualIndex_, 0) << SDL_GetError();
    stick_ = SDL_JoystickOpen(virtualIndex_);
    ASSERT_NE(stick_, nullptr);
  }
  static void PushKey(SDL_Scancode scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    SDL_PushEvent(&event);
  }
  static void PushWindowEvent(SDL_WindowEventID id) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = id;
    SDL_PushEvent(&event);
  }

  InputHost host_{};
  SDL_Joystick* stick_ = nullptr;
  int virtualIndex_ = -1;
};

TEST_F(SdlInputTest, PushedKeysBecomeScanRecordsAndKeyCodes) {
  InputState* state = InputInit(kInputUseMouse);
  ASSERT_NE(state, nullptr);
  ASSERT_TRUE(InputHasDeviceKeyboard());
  PushKey(SDL_SCANCODE_A, true);
  PollInput();
  EXPECT_EQ(state->scanTable[0x1E], 0x80);
  EXPECT_EQ(state->keyTable[97], 1);
  EXPECT_EQ(NextKeyCode(), 97);
  PushKey(SDL_SCANCODE_A, false);
  PollInput();
  EXPECT_EQ(state->scanTable[0x1E], 0);
  // A repeat of a held key is not a new record.
  SDL_Event repeat{};
  repeat.type = SDL_KEYDOWN;
  repeat.key.repeat = 1;
  repeat.key.keysym.scancode = SDL_SCANCODE_B;
  SDL_PushEvent(&repeat);
  PollInput();
  EXPECT_EQ(state->scanTable[0x30], 0);
}

TEST_F(SdlInputTest, KeyNamesAndCharactersComeFromTheLayout) {
  ASSERT_NE(InputInit(kInputUseMouse), nullptr);
  EXPECT_STREQ(KeyNameFromDevice(0x1E), "A");
  EXPECT_STREQ(KeyNameFromDevice(0x39), "Space");
  PushKey(SDL_SCANCODE_A, true);
  PollInput();
  EXPECT_EQ(NextKeyCode(), 97);
  const char* character = P_GetLocalizedKey();
  ASSERT_NE(character, nullptr);
  EXPECT_STREQ(character, "a");
  PushKey(SDL_SCANCODE_LSHIFT, true);
  PollInput();
  EXPECT_EQ(NextKeyCode(), 97 + kKeyShift);
  character = P_GetLocalizedKey();
  ASSERT_NE(character, nullptr);
  EXPECT_STREQ(character, "A");
}

TEST_F(SdlInputTest, TheWheelReadsAHundredAndTwentyPerNotch) {
  InputState* state = InputInit(kInputUseMouse);
  ASSERT_NE(state, nullptr);
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.y = 1;
  SDL_PushEvent(&wheel);
  PollInput();
  EXPECT_EQ(state->wheel, 120);
  SDL_Event click{};
  click.type = SDL_MOUSEBUTTONDOWN;
  click.button.button = SDL_BUTTON_RIGHT;
  SDL_PushEvent(&click);
  PollInput();
  EXPECT_EQ(state->rightPressed, 1u);
  EXPECT_EQ(state->allButtons, 0x10u);
}

TEST_F(SdlInputTest, AVirtualStickFillsAxesHatAndButtons) {
  AttachStick();
  InputState* state = InputInit(kStick);
  ASSERT_NE(state, nullptr);
  ASSERT_NE(state->flags & kInputJoystick1, 0u);
  ASSERT_NE(state->flags & kInputHatFound, 0u);
  SDL_JoystickSetVirtualAxis(stick_, 0, 32767);
  SDL_JoystickSetVirtualAxis(stick_, 1, -32768);
  SDL_JoystickSetVirtualHat(stick_, 0, SDL_HAT_RIGHT);
  SDL_JoystickSetVirtualButton(stick_, 3, SDL_PRESSED);
  PollInput();
  EXPECT_EQ(state->joystickX, 65535);
  EXPECT_EQ(state->joystickY, -65535);
  EXPECT_EQ(state->hat, 9000);
  EXPECT_EQ(state->joystickButtons, 1u << 3);
  EXPECT_EQ(state->allButtons, 0x20u << 3);
  // Inside the default dead zone the stick reads centred.
  SDL_JoystickSetVirtualAxis(stick_, 0, 3000);
  SDL_JoystickSetVirtualHat(stick_, 0, SDL_HAT_CENTERED);
  PollInput();
  EXPECT_EQ(state->joystickX, 0);
  EXPECT_EQ(state->hat, -1);
  // Without force feedback on a virtual stick the bit goes.
  EXPECT_EQ(state->flags & kInputForceFeedback, 0u);
}

TEST_F(SdlInputTest, ThePumpHandsFocusAndCloseToTheWindowProcedure) {
  ScopedEnv display("KORVANE_HEADLESS", nullptr);
  OsSetHeadless(false);
  InputState* state = InputInit(kInputUseMouse);
  ASSERT_NE(state, nullptr);
  OsSetWindowProcedure(MainWindowDispatch);
  gStartup.appActive = 1;
  state->leftDown = 1;
  state->allButtons = 1;
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  PumpMessages();
  EXPECT_EQ(state->active, 0u);
  EXPECT_EQ(gStartup.appActive, 0u);
  EXPECT_EQ(state->leftDown, 0u);
  EXPECT_EQ(gStops, 1);
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
  PumpMessages();
  EXPECT_EQ(state->active, 1u);
  EXPECT_EQ(gStartup.appActive, 1u);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  PumpMessages();
  EXPECT_EQ(gExits, std::vector<int32_t>{0});
  OsSetWindowProcedure(nullptr);
}

TEST_F(SdlInputTest, AnInputScriptDrivesKeysMouseAndStickThroughAFrameLoop) {
  TempDir dir;
  const std::vector<InputScriptLine> lines = {
      {2, kScriptKey, SDL_SCANCODE_A, 1}, {3, kScriptKey, SDL_SCANCODE_A, 0}, {4, kScriptAxis, 0, 32767},
      {4, kScriptHat, SDL_HAT_RIGHT, 0},  {5, kScriptButton, 3, 1},           {6, kScriptWheel, 1, 0},
      {7, kScriptClick, 0, 1},
  };
  dir.Write("input.txt", WriteInputScript(lines));
  ScopedEnv script("KORVANE_INPUT_SCRIPT", dir.File("input.txt").c_str());
  InputState* state = InputInit(kStick);
  ASSERT_NE(state, nullptr);
  ASSERT_NE(state->flags & kInputJoystick1, 0u) << "the script's virtual stick";
  std::vector<uint16_t> keys;
  for (int frame = 0; frame < 9; ++frame) {
    PollInput();
    keys.push_back(NextKeyCode());
    if (frame == 4) {
      EXPECT_EQ(state->joystickX, 65535);
      EXPECT_EQ(state->hat, 9000);
    }
    if (frame == 5) {
      EXPECT_EQ(state->joystickButtons, 1u << 3);
    }
    if (frame == 6) {
      EXPECT_EQ(state->wheel, 120);
    }
    if (frame == 7) {
      EXPECT_EQ(state->leftPressed, 1u);
    }
  }
  EXPECT_EQ(keys, (std::vector<uint16_t>{0, 0, 97, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SdlInputTest, TheLegacyReadingOfAStickIsCentredOnHalfTheRange) {
  AttachStick();
  const InputBackend* sdl = InputSdlBackend();
  ASSERT_TRUE(sdl->open());
  EXPECT_GE(sdl->legacyJoystickCount(), 1);
  SDL_JoystickSetVirtualAxis(stick_, 0, 32767);
  SDL_JoystickSetVirtualAxis(stick_, 1, -32768);
  SDL_JoystickSetVirtualButton(stick_, 1, SDL_PRESSED);
  SDL_JoystickSetVirtualButton(stick_, 5, SDL_PRESSED);  // beyond the four the interface has
  LegacyJoystickPosition position{};
  ASSERT_TRUE(sdl->legacyJoystickPosition(0, &position));
  EXPECT_EQ(position.x, 65535u);
  EXPECT_EQ(position.y, 0u);
  EXPECT_EQ(position.buttons, 0x2u);
  EXPECT_FALSE(sdl->legacyJoystickPosition(2, &position));
  sdl->close();
}

TEST(SdlScanCodes, EveryKeyOfTheKeyTableHasAnSdlKey) {
  for (int code = 0; code < 0x200; ++code) {
    const int scan = KeyCodeToScanCode(code);
    if (scan == 0) continue;
    const int sdl = SdlFromScanCode(scan);
    // The few keys SDL has no scancode for stay silent rather than becoming another key.
    if (sdl != 0) {
      EXPECT_EQ(ScanCodeFromSdl(sdl), scan) << code;
    }
  }
  EXPECT_EQ(SdlFromScanCode(0x1E), SDL_SCANCODE_A);
  EXPECT_EQ(ScanCodeFromSdl(SDL_SCANCODE_UP), 200);
}

}  // namespace
