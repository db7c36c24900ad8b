// The input devices of the platform layer: a keyboard and a mouse that hand out buffered
// records, game controllers with axes, hats, buttons and force-feedback effects, the simple
// two-axis joystick reading of the older joystick interface, the keyboard layout's texts, the
// system cursor, and the translation of window-system events into the window messages the main
// window procedure knows. The input Parts reach every device through one `InputBackend` table;
// InputSdlBackend() is the real one (SDL2 events, joysticks and haptics), tests install fakes of
// their own. Called on the game thread only; never blocks.
#pragma once

#include <cstddef>
#include <cstdint>

struct OsMessage;

// Device kinds.
constexpr int32_t kInputDeviceKeyboard = 0;
constexpr int32_t kInputDeviceMouse = 1;
constexpr int32_t kInputDeviceJoystick = 2;

// Results of the device calls. Buffer overflow is a success that lost records.
constexpr int32_t kInputResultOk = 0;
constexpr int32_t kInputResultBufferOverflow = 1;
constexpr int32_t kInputResultNotAcquired = -1;
constexpr int32_t kInputResultLost = -2;
constexpr int32_t kInputResultPending = -3;
constexpr int32_t kInputResultFailed = -4;

// A buffered device record. Keyboard: offset = scan code, data = 0x80 (down) or 0.
// Mouse: offset = one of the kMouseRecord values, data = the signed motion or 0x80 / 0.
struct InputRecord {
  uint32_t offset;
  int32_t data;
};
constexpr uint32_t kMouseRecordX = 0;
constexpr uint32_t kMouseRecordY = 1;
constexpr uint32_t kMouseRecordWheel = 2;
constexpr uint32_t kMouseRecordButton0 = 3;  // buttons 0..7 follow
constexpr int32_t kMouseButtonCount = 8;
constexpr int32_t kRecordDown = 0x80;
// One wheel notch.
constexpr int32_t kWheelNotch = 120;

struct MouseDeviceState {
  int32_t dx, dy, dz;
  uint8_t buttons[kMouseButtonCount];  // bit 7 = down
};

constexpr int32_t kJoystickButtonCount = 32;
constexpr int32_t kJoystickSliderCount = 2;
constexpr uint32_t kPovCentred = 0xFFFF;

// A game controller's immediate state: axes in the range set for them, the point of view in
// hundredths of a degree clockwise from forward (kPovCentred when centred), buttons bit 7 = down.
struct JoystickDeviceState {
  int32_t x, y, z, rz;
  int32_t sliders[kJoystickSliderCount];
  uint32_t pov;
  uint8_t buttons[kJoystickButtonCount];
};

// Joystick axes as the properties address them.
constexpr int32_t kJoyAxisX = 0;
constexpr int32_t kJoyAxisY = 1;
constexpr int32_t kJoyAxisZ = 2;
constexpr int32_t kJoyAxisRz = 3;
constexpr int32_t kJoyAxisSlider0 = 4;
constexpr int32_t kJoyAxisCount = 6;

// The objects of a game controller in the order they are enumerated.
constexpr int32_t kJoyObjectAxisX = 0;
constexpr int32_t kJoyObjectAxisY = 1;
constexpr int32_t kJoyObjectAxisZ = 2;
constexpr int32_t kJoyObjectAxisRz = 3;
constexpr int32_t kJoyObjectSlider = 4;
constexpr int32_t kJoyObjectPov = 5;
constexpr int32_t kJoyObjectButton = 6;
constexpr int32_t kJoyObjectLimit = 48;

struct JoystickCaps {
  bool needsPolling;
  bool forceFeedback;
};

// Force-feedback effects.
constexpr int32_t kEffectConstant = 1;
constexpr int32_t kEffectPeriodic = 2;
constexpr uint32_t kEffectInfinite = 0xFFFFFFFF;
constexpr int32_t kEffectAxisX = 0x1;
constexpr int32_t kEffectAxisY = 0x2;

struct ForceEffectDesc {
  int32_t type;            // kEffectConstant or kEffectPeriodic
  int32_t axes;            // kEffectAxis bits
  bool polar;              // directions in hundredths of a degree, else cartesian
  int32_t direction[2];
  uint32_t durationUs;     // kEffectInfinite: until stopped
  int32_t gain;            // 0..10000
  int32_t magnitude;       // 0..10000
  uint32_t periodUs;       // periodic only
  uint32_t fadeTimeUs;     // periodic only: the envelope's fade to 0
};

// The older joystick interface: two axes 0..65535 (centre 32768) and four buttons.
struct LegacyJoystickPosition {
  uint32_t x, y;
  uint32_t buttons;
};

// Window messages of the main window, in our own numbering.
constexpr uint32_t kWindowMessageActivateApp = 1;  // wparam 1 activated, 0 deactivated
constexpr uint32_t kWindowMessageActivate = 2;     // wparam kWindowInactive or active
constexpr uint32_t kWindowMessageHitTest = 3;
constexpr uint32_t kWindowMessageSysCommand = 4;   // wparam a kSysCommand value
constexpr uint32_t kWindowMessageKeyDown = 5;      // wparam the virtual key
constexpr uint32_t kWindowMessageChar = 6;         // wparam the code-page character
constexpr uint32_t kWindowMessageLeftDown = 7;
constexpr uint32_t kWindowMessageLeftUp = 8;
constexpr uint32_t kWindowMessageLeftDouble = 9;
constexpr uint32_t kWindowMessageRightDown = 10;
constexpr uint32_t kWindowMessageRightUp = 11;
constexpr uint32_t kWindowMessageSetCursor = 12;
constexpr uint32_t kWindowInactive = 0;
constexpr uint32_t kWindowActive = 1;
constexpr uintptr_t kSysCommandClose = 1;
constexpr uintptr_t kSysCommandSize = 2;
constexpr uintptr_t kSysCommandMove = 3;
constexpr uintptr_t kSysCommandMaximize = 4;
constexpr uintptr_t kSysCommandKeyMenu = 5;
constexpr uintptr_t kSysCommandScreenSave = 6;
constexpr uintptr_t kSysCommandMonitorPower = 7;

struct WindowMessage {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

struct InputBackend {
  // Starts the device system; false when it is missing (the window messages and the legacy
  // joysticks stand in then).
  bool (*open)();
  void (*close)();
  // Called once at the start of every input poll (the backend's frame).
  void (*beginPoll)();

  // Keyboard and mouse.
  bool (*createDevice)(int32_t kind);
  bool (*bindWindow)(int32_t kind, void* window);
  bool (*setBufferSize)(int32_t kind, int32_t records);
  bool (*needsPolling)(int32_t kind);
  // With `records` null and *count 0 the buffer is flushed.
  int32_t (*readBuffered)(int32_t kind, InputRecord* records, int32_t* count);
  int32_t (*readMouseState)(MouseDeviceState* state);

  // Any device kind.
  void (*releaseDevice)(int32_t kind);
  int32_t (*acquire)(int32_t kind);
  void (*unacquire)(int32_t kind);
  int32_t (*poll)(int32_t kind);

  // Game controllers: the saved 16-byte identifier.
  bool (*joystickAttached)(const uint8_t* guid);
  bool (*firstJoystick)(uint8_t* guid);
  bool (*createJoystick)(const uint8_t* guid);
  // Up to `limit` kJoyObject values in enumeration order; answers the count.
  int32_t (*joystickObjects)(int32_t* objects, int32_t limit);
  bool (*joystickCaps)(JoystickCaps* caps);
  bool (*setAxisRange)(int32_t axis, int32_t minimum, int32_t maximum);
  bool (*setAxisDeadZone)(int32_t axis, int32_t deadZone);  // 0..10000
  int32_t (*readJoystickState)(JoystickDeviceState* state);

  // Force feedback on the joystick.
  bool (*setAutoCenter)(bool on);
  bool (*hasEffectType)(int32_t type);
  int32_t (*createEffect)(const ForceEffectDesc* desc);  // a handle, 0 on failure
  bool (*setEffectDirection)(int32_t effect, int32_t direction0, int32_t direction1);
  bool (*startEffect)(int32_t effect);
  void (*releaseEffect)(int32_t effect);

  // The older joystick interface.
  int32_t (*legacyJoystickCount)();
  bool (*legacyJoystickPosition)(int32_t index, LegacyJoystickPosition* position);

  // Keyboard layout: the UTF-8 name of a key, null when it has none; the UTF-8 character the
  // key gives with or without shift, answered as its byte count (0 for none).
  const char* (*keyName)(int32_t scan);
  int32_t (*keyCharacter)(int32_t scan, bool shift, char* out, int32_t size);

  // The system cursor in screen pixels.
  bool (*cursorPosition)(int32_t* x, int32_t* y);
  void (*setCursorPosition)(int32_t x, int32_t y);
  void (*showCursor)(bool show);

  // Turns a window-system message into at most `limit` window messages; answers the count.
  int32_t (*translateMessage)(const OsMessage* message, WindowMessage* out, int32_t limit);
};

// The devices over SDL2. Keyboard and mouse records come from SDL's key and mouse events
// (never from SDL's keyboard state, so pushed events drive them); without SDL's event system
// they come from events queued by the input script.
const InputBackend* InputSdlBackend();

// SDL scancode <-> keyboard scan code of the records; 0 when the key has none.
int32_t ScanCodeFromSdl(int32_t sdlScancode);
int32_t SdlFromScanCode(int32_t scan);
