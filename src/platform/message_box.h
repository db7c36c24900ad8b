// Modal message boxes of the platform layer: a caption, a text, an icon and a set of buttons,
// answered with the button the user chose. With a display they are SDL's simple message boxes;
// headless (tests, CI, no display) the box is printed to stderr and answered with its default
// button at once. Called by the critical-error box and other error reports of the application.
// Never blocks headless.
#pragma once

#include <cstdint>

// Style bits, in the values the application's callers use.
constexpr uint32_t kOsBoxOk = 0x0;
constexpr uint32_t kOsBoxOkCancel = 0x1;
constexpr uint32_t kOsBoxYesNoCancel = 0x3;
constexpr uint32_t kOsBoxYesNo = 0x4;
constexpr uint32_t kOsBoxButtonMask = 0xF;
constexpr uint32_t kOsBoxIconError = 0x10;
constexpr uint32_t kOsBoxIconQuestion = 0x20;
constexpr uint32_t kOsBoxIconWarning = 0x30;
constexpr uint32_t kOsBoxIconInformation = 0x40;
constexpr uint32_t kOsBoxIconMask = 0xF0;
constexpr uint32_t kOsBoxDefaultButton2 = 0x100;
constexpr uint32_t kOsBoxDefaultButton3 = 0x200;
constexpr uint32_t kOsBoxDefaultMask = 0xF00;

// Answers.
constexpr int32_t kOsBoxAnswerOk = 1;
constexpr int32_t kOsBoxAnswerCancel = 2;
constexpr int32_t kOsBoxAnswerYes = 6;
constexpr int32_t kOsBoxAnswerNo = 7;

// Shows the box and returns the chosen button's answer. Headless the lines "caption: text"
// go to stderr and the default button answers.
int32_t OsMessageBox(const char* text, const char* caption, uint32_t style);

// Hides a window of the display layer (an SDL window); null or headless does nothing.
void OsHideWindow(void* window);
