// General initialisation: creating and releasing the SystemBlock (defaults, the language, the
// command-line switches, the platform defaults, the numbered catalogs), the default settings, the
// Direct3D usage words, and the small text, frame-time and memory-speed helpers many parts use.
// Called by the game main at start-up, the shutdown, the launcher and settings resets. Never
// frees the block from anywhere but FreeSystemBlock or a failing InitGeneral.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

struct SystemBlock;

// Joystick indexes that "-ignorejoy N" (N from 1) flags; the input devices skip flagged ones.
constexpr int kIgnoredJoystickCount = 32;
extern uint32_t gIgnoredJoysticks[kIgnoredJoystickCount];

// The build stamp the start banner of "-o" carries.
extern const char kBuildDate[];
extern const char kBuildTime[];

SystemBlock* InitGeneral(int argc, char** argv);
void FreeSystemBlock(uint32_t code);

int InitPlatformDefaults();
int SetDefaultSettings();
int SetDefaultVideoSettings();
// The screen size the default video settings take; also what a stored size no screen can have
// falls back to.
void DefaultScreenSize(int16_t* width, int16_t* height);
// True for a screen size a display can have: both sides above 0.
bool IsPossibleScreenSize(int32_t width, int32_t height);
void InitD3DUsageFlags();

// A new counted UTF-8 copy (freed with FreeString) of a NUL-terminated UTF-16 text; null without
// memory. Surrogates are encoded unit by unit.
char* Utf16ToUtf8(const uint16_t* text);

// Formats into a new counted string (freed with FreeString) and frees oldText afterwards, so the
// old text may be one of the arguments. Null when memory runs out.
char* FormatNewString(char* oldText, const char* format, va_list arguments);
char* SetStringF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FormatStdString(std::string* result, const char* format, ...) __attribute__((format(printf, 2, 3)));

void UpdateFrameTimes();
// The next frame's steps are measured from the clocks as they stand now: a save read back sets
// them, and the first frame after it must not be measured from the clocks before the load.
void RestartFrameTimes();
int32_t MeasureMemorySpeed();
