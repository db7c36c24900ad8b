// The input translation: once per frame, after the frame's key has been raised as "Input", every
// held key, button, wheel notch and hat direction is offered to the scripts as "TranslateKey",
// buttons, wheel and hat are raised as "Input", released keys and buttons as "Input" with a short
// or long press flag, and with the player's ship the steering pass turns the counted actions and
// the channels into steering. Called by the frame input step; reads only the input state.
#pragma once

#include <cstdint>

#include "devices/steering.h"

struct SpaceObject;

// Input codes raised to the scripts.
constexpr int32_t kInputShortRelease = 0x2000;  // released after 500 ms or less
constexpr int32_t kInputLongRelease = 0x4000;
constexpr int32_t kInputWheelAway = 0x2126;    // 0x2000 | 294
constexpr int32_t kInputWheelToward = 0x2127;  // 0x2000 | 295
constexpr int32_t kMouseButtonCodeFirst = 280;
constexpr int32_t kJoystickButtonCodeFirst = 296;
constexpr int32_t kHatCodeFirst = 320;
constexpr int kMouseButtonCount = 8;
constexpr int kJoystickButtonCount = 30;
constexpr int32_t kWheelNotch = 120;
constexpr uint32_t kShortPressMs = 500;
constexpr int32_t kKeyLeftShift = 413;
constexpr int32_t kKeyRightShift = 414;

// Actions that raise "InputAction" when counted.
constexpr int32_t kActionInputPrimary = 568;
constexpr int32_t kActionInputSecondary = 560;

// What the translation keeps: the frame's action counters and flags, and the press times.
struct InputTranslation {
  uint8_t actions[kActionCount];  // counts of this frame, by action code
  uint32_t keyPressTime[512];     // the clock when the key was first seen held untranslated; 0 none
  uint32_t unhandled;             // an "Input" of this frame answered -1
  uint32_t inputSeen;             // an event was raised in this frame
  uint32_t thirdFlag;
};
extern InputTranslation gInputTranslation;

// ship: the player's ship, or null; steeringAllowed: 0 when the frame's "Input" asked that no
// steering happen. Answers 1.
int32_t TranslateInput(SpaceObject* ship, int32_t steeringAllowed);

// The hat angle's code (hundredths of a degree, eight directions); 0 for any other angle.
int32_t HatCode(int32_t angle);
