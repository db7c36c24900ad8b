// Scripted input for tests and the demo: a text of lines "frame kind values" that the input
// devices play back, each line before the input poll of its frame. Kinds and values:
//   key SCANCODE DOWN        a key by SDL scancode, DOWN 1 pressed, 0 released
//   mouse DX DY              mouse motion in pixels
//   click BUTTON DOWN        mouse button 0..4 (left, right, middle, fourth, fifth)
//   wheel NOTCHES            wheel turn, positive away from the user
//   axis AXIS VALUE          virtual joystick axis 0..5, -32768..32767
//   button BUTTON DOWN       virtual joystick button 0..31
//   hat VALUE                virtual joystick hat, the SDL hat bits (0 centred, 2 right)
// "#" starts a comment; blank lines are skipped. Frames must not go backwards. The reader is
// strict: any other line is an error naming its line number. Called by the SDL input backend
// (KORVANE_INPUT_SCRIPT) and by the tests that write scripts; never touches a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum InputScriptKind : int32_t {
  kScriptKey = 0,
  kScriptMouse,
  kScriptClick,
  kScriptWheel,
  kScriptAxis,
  kScriptButton,
  kScriptHat,
};

struct InputScriptLine {
  uint32_t frame;
  int32_t kind;
  int32_t a;
  int32_t b;
};

// Reads a script; on failure answers false with a message in *error and leaves *lines empty.
bool ReadInputScript(const char* text, size_t size, std::vector<InputScriptLine>* lines, std::string* error);
// Writes lines in the form the reader takes.
std::string WriteInputScript(const std::vector<InputScriptLine>& lines);
