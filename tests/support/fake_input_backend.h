// A scripted stand-in for the input devices: key and mouse records the test queues, a joystick
// whose objects, state, failures and force-feedback support the test chooses, legacy sticks,
// key names, and a log of the calls that matter (effects, acquiring, dead zones). Install it
// with FakeInputInstall() before InputInit; FakeInputRemove() puts the SDL devices back and
// frees the input state.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/input_backend.h"

struct FakeInput {
  bool openOk = true;
  bool keyboardOk = true;
  bool mouseOk = true;

  std::deque<InputRecord> keys;
  std::deque<InputRecord> mice;
  int32_t keyboardResult = kInputResultOk;  // reported once by the next keyboard read
  int32_t mouseResult = kInputResultOk;     // reported once by the next mouse read
  MouseDeviceState mouseState{};
  int32_t keyboardFlushes = 0;

  // The joystick.
  bool joystickAttached = false;
  uint8_t guid[16] = {0x11, 0x22};
  bool createJoystickOk = true;
  bool axesOk = true;
  std::vector<int32_t> objects = {kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectButton};
  JoystickCaps caps{};
  bool hasConstant = true;
  bool hasPeriodic = true;
  JoystickDeviceState joystick{};
  int32_t joystickResult = kInputResultOk;  // reported by every joystick read while set
  bool joystickOpen = false;
  int32_t joystickCreations = 0;
  int32_t deadZones[kJoyAxisCount] = {};
  bool autoCenter = true;

  // Force feedback.
  std::vector<ForceEffectDesc> madeEffects;  // every effect made, in order
  std::vector<int32_t> liveEffects;          // handles not yet released
  std::vector<int32_t> started;              // handles started, in order
  std::vector<int32_t> directions;           // directions set, in order
  int32_t nextEffect = 1;

  // Legacy sticks.
  int32_t legacyCount = 0;
  LegacyJoystickPosition legacy[2]{};

  std::map<int32_t, std::string> keyNames;  // scan -> name
  std::vector<std::string> log;             // "acquire 2", "unacquire 0", ...

  // Cursor.
  int32_t cursorX = 0, cursorY = 0;
  bool cursorShown = true;
  std::vector<std::pair<int32_t, int32_t>> warps;

  // Window events the translation answers: each OsMessage's code picks its messages.
  std::map<uint32_t, std::vector<WindowMessage>> translations;
};

FakeInput& Fake();
void FakeInputInstall();
void FakeInputRemove();
