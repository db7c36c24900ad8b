// The input devices' state and the calls the process core makes on them: the state record with
// its flags word, mouse and wheel words, the per-pass poll, start-up and release, the buffered
// key codes and the input translation. Called by the message pump, the game main, the frame
// input step and the shutdown; never blocks.
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

// Creates the input state (kept in gInputState) and its devices; null on failure.
InputState* InputInit(uint32_t inputFlags);
// Releases the devices; the caller frees the state record.
void ReleaseInputDevices();
// The next buffered key code, 0 when the buffer is empty.
uint16_t InitKeyboardLayout();
// Turns keys and controller input into actions for the given input mode; may end the game loop.
void TranslateInput(int32_t inputMode, int32_t flag);
