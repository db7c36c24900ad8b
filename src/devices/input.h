// The input devices and their state: the InputState record every reader of keys, mouse and
// joysticks uses, its device flags, start-up and release of the devices, the poll the message
// pump runs on every pass, acquiring on activation, the joystick dead zone, force feedback, the
// main window procedure and the fatal message box. Called by the game main, the message pump,
// the dialogs, the simulation (impacts) and the shutdown; reaches the devices only through the
// platform's InputBackend and never blocks.
#pragma once

#include <cstdint>

struct InputBackend;
struct OsMessage;

// InputState device flag bits.
constexpr uint32_t kInputUseMouse = 0x1;
constexpr uint32_t kInputJoystick1 = 0x2;
constexpr uint32_t kInputJoystick2 = 0x8;  // the second legacy joystick; with devices, a Z axis is wanted
constexpr uint32_t kInputTurnAsRead = 0x20;
constexpr uint32_t kInputInvertSecond = 0x80;
constexpr uint32_t kInputXYAnalog = 0x100;
constexpr uint32_t kInputXYDigital = 0x200;
constexpr uint32_t kInputZAnalog = 0x400;
constexpr uint32_t kInputZDigital = 0x800;
constexpr uint32_t kInputNewestKeyOnly = 0x1000;  // set at start-up: a frame takes the newest key
constexpr uint32_t kInputRunInBackground = 0x4000;  // keep running while the window is inactive
constexpr uint32_t kInputHatFound = 0x8000;
constexpr uint32_t kInputHatUsed = 0x10000;
constexpr uint32_t kInputThrottleFound = 0x20000;
constexpr uint32_t kInputThrottleLive = 0x40000;
constexpr uint32_t kInputRudderFound = 0x80000;
constexpr uint32_t kInputRudderUsed = 0x100000;
constexpr uint32_t kInputForceFeedback = 0x200000;
constexpr uint32_t kInputInvertMouse = 0x800000;
constexpr uint32_t kInputZSecondStick = 0x2000000;
constexpr uint32_t kInputThrottleFromSlider = 0x8000000;
constexpr uint32_t kInputLookForHat = 0x10000000;
constexpr uint32_t kInputLookForSlider = 0x20000000;
constexpr uint32_t kInputLookForRudder = 0x40000000;
constexpr uint32_t kInputJoystickPolled = 0x80000000;
// What a dropped or recreated joystick leaves of the flags: its hat, throttle, rudder and slider
// findings go.
constexpr uint32_t kInputJoystickDropMask = 0xF7E07FFF;

// InputState axis-kind bits.
constexpr uint32_t kAxisZStick = 0x4;
constexpr uint32_t kAxisZThrottle = 0x8;
constexpr uint32_t kAxisRudderRaw = 0x30;

// The force-feedback effect kinds, in the order the list holds them.
constexpr uint32_t kEffectKindBase = 8;    // zero force for ever: keeps the stick free of centring
constexpr uint32_t kEffectKindImpact = 1;  // the one ForceFeedbackPlay starts
constexpr uint32_t kEffectKindShake = 2;
constexpr uint32_t kEffectKindKick = 4;
constexpr int kEffectSlots = 4;

constexpr int kKeyTableSize = 512;
constexpr int kScanTableSize = 512;

struct ForceFeedbackSlot {
  uint32_t kind;
  int32_t effect;  // the backend's effect handle, 0 when the effect could not be made
};

struct InputState {
  uint32_t flags;
  uint32_t axisKinds;
  int32_t joystickX, joystickY;
  uint8_t keyTable[kKeyTableSize];    // by key code: 1 while down in this poll
  uint8_t scanTable[kScanTableSize];  // by scan code: the key's last record byte, bit 7 down
  int16_t cursorX, cursorY;
  int16_t mouseDeltaX, mouseDeltaY, wheel;
  uint32_t mouseTime;
  uint32_t leftPressed, rightPressed, middlePressed;
  uint32_t doubleClick;
  uint32_t mousePresent;
  uint32_t keyPressed;
  uint32_t leftDown, rightDown, middleDown;
  uint32_t shift;
  int32_t throttleAxis;
  int32_t rudderRaw;
  uint32_t joystickButtons;
  uint32_t mouseButtons;
  uint32_t mouseHeld;
  uint32_t allButtons;
  int32_t hat;  // hundredths of a degree, -1 centred or absent
  int32_t throttle, throttleReference;
  int32_t rudder;
  uint32_t active;
  uint32_t effectCount;
  ForceFeedbackSlot effects[kEffectSlots];
  // Read and cleared by the frame input step; nothing sets it, so a frame always asks the
  // scripts about its key.
  uint32_t pendingInput;
};

// The record's size in the memory statistics.
constexpr uint32_t kInputStateRecordSize = 1268;
static_assert(sizeof(InputState) <= kInputStateRecordSize, "the input state fits its accounted size");

// Null until the input devices are started.
extern InputState* gInputState;

// What the input devices use of the application above them. Every member may be null: the
// devices then keep a value of their own (settings) or do nothing (calls).
struct InputHost {
  uint32_t* appActive;         // the process's active flag, set and cleared with the window's
  uint8_t** joystickGuid;      // InputJoyGUID: the accounted 16-byte identifier of the stick
  int32_t* forceFeedbackGain;  // InputFFGain, 0..3
  int32_t* joystickDeadZone;   // InputJoyDeadzone, percent
  void (*shutdownAndExit)(int32_t code);
  void (*stopAllMovies)();
  int32_t* joystickSensitivity;  // InputJoySensitivity, percent
};
constexpr int32_t kDefaultJoystickSensitivity = 20;
void InputSetHost(const InputHost* host);
// The devices behind the input; null restores the SDL devices.
void InputUseBackend(const InputBackend* backend);
const InputBackend* InputBackendInUse();
// True while keys come from the keyboard device rather than from window messages.
bool InputHasDeviceKeyboard();

constexpr int kJoystickGuidSize = 16;

// Creates the input state (kept in gInputState) and its devices; null when the state cannot be
// made or the keyboard or the mouse cannot be set up. A joystick that fails is dropped.
InputState* InputInit(uint32_t inputFlags);
// Releases the devices; the caller frees the state record.
void ReleaseInputDevices();
// Releases the devices and frees the state.
void InputShutdown();
// Polls every device into the input state; called first by every message-pump pass.
void PollInput();
// Clears the transient state and acquires (release 0) or gives up (release 1) every device.
void InputAcquire(int32_t release);
// Moves the devices' hold to another window (a dialog) and back.
void BindInputToWindow(void* window);
// Stores the joystick dead zone (percent, clamped to 0..100) and applies it; answers it.
int32_t P_SetJoyDeadzone(int32_t value);
// Turns the impact effect to the polar direction (hundredths of a degree) and starts it; true
// when every call succeeded or force feedback is off.
bool ForceFeedbackPlay(int32_t direction);

// The legacy joysticks' self-calibration of axis 0 (x) or 1 (y) of the first stick.
struct LegacyAxisCalibration {
  int16_t centre, maximum, minimum, band;
};
LegacyAxisCalibration InputLegacyCalibration(int32_t axis);

// The main window procedure and its adapter for the os message queue.
intptr_t MainWindowProc(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
void MainWindowDispatch(const OsMessage* message);
// The fatal message box: the text, captioned with the product folder name.
void ShowErrorBox(const char* text);
