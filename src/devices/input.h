// The input devices' state and the calls the process core makes on them. Only what the message
// pump needs stands here so far: the state record with its flags word and the per-pass poll.
// Called by the message pump and the frame input step; never blocks.
#pragma once

#include <cstdint>

// InputState flag bits.
constexpr uint32_t kInputStarted = 0x1000;
constexpr uint32_t kInputRunInBackground = 0x4000;  // keep running while the window is inactive

struct InputState {
  uint32_t flags;
  uint32_t mouseButtons1;
  uint32_t mouseButtons2;
  int16_t mouseDeltaX;
  int16_t mouseDeltaY;
  int16_t wheel;
  uint32_t buttonBits;
  uint32_t pendingInput;  // set when the input translation handled an input itself
};

// Null until the input devices are started.
extern InputState* gInputState;

// Polls the joystick and input devices into the input state; called first by every message pump.
void PollInput();
