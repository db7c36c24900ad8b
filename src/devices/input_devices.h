// What the input files share among themselves (the device poll, force feedback, the window
// procedure and the steering): which devices exist, the backend in use and the host's settings.
// Included by src/devices/input*.cpp, force_feedback.cpp and steering.cpp only.
#pragma once

#include <cstdint>

#include "devices/input.h"

struct InputBackend;

struct InputDevices {
  bool opened;       // InputInit ran and the backend was asked
  bool directInput;  // the device system exists
  bool mouse, keyboard, joystick;
  bool mousePolled, keyboardPolled;
};
extern InputDevices gInputDevices;

const InputBackend* Backend();
const InputHost& Host();
int32_t ForceFeedbackGainSetting();
int32_t JoystickDeadZoneSetting();
// InputJoySensitivity, percent: how strongly the stick turns the ship.
int32_t JoystickSensitivitySetting();
void SetJoystickSensitivitySetting(int32_t value);

// Releases the effect list and makes the four effects again on the joystick.
void CreateForceFeedbackEffects(InputState* state);
void ReleaseForceFeedbackEffects(InputState* state);
