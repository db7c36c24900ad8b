// What the input files share among themselves (the device poll, force feedback and the window
// procedure): which devices exist, the backend in use and the host's settings. Included by
// src/devices/input*.cpp and force_feedback.cpp only.
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

// Releases the effect list and makes the four effects again on the joystick.
void CreateForceFeedbackEffects(InputState* state);
void ReleaseForceFeedbackEffects(InputState* state);
