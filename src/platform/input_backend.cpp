// The input devices over SDL2: keyboard and mouse records from SDL's key and mouse events (taken
// from SDL's queue by the devices, or handed over by the window procedure's adapter), game
// controllers and their force feedback through SDL's joystick and haptic subsystems, the
// keyboard layout's texts, the system cursor, and the translation of window events into the
// main window's messages. An input script (KORVANE_INPUT_SCRIPT) is played back here, each line
// before the poll of its frame: pushed as SDL events and virtual-joystick values, or queued
// straight into the devices when SDL's events do not run. Called by the input Parts through
// the InputBackend table only; never reads SDL's keyboard state, so pushed events drive it.
#include "platform/input_backend.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/input_script.h"
#include "platform/window.h"

namespace {

// Keyboard scan code -> SDL scancode for every scan code the key table names.
struct ScanPair {
  uint8_t scan;
  SDL_Scancode sdl;
};
const ScanPair kScanPairs[] = {
    {1, SDL_SCANCODE_ESCAPE}, {2, SDL_SCANCODE_1}, {3, SDL_SCANCODE_2}, {4, SDL_SCANCODE_3},
    {5, SDL_SCANCODE_4}, {6, SDL_SCANCODE_5}, {7, SDL_SCANCODE_6}, {8, SDL_SCANCODE_7},
    {9, SDL_SCANCODE_8}, {10, SDL_SCANCODE_9}, {11, SDL_SCANCODE_0}, {12, SDL_SCANCODE_MINUS},
    {13, SDL_SCANCODE_EQUALS}, {14, SDL_SCANCODE_BACKSPACE}, {15, SDL_SCANCODE_TAB}, {16, SDL_SCANCODE_Q},
    {17, SDL_SCANCODE_W}, {18, SDL_SCANCODE_E}, {19, SDL_SCANCODE_R}, {20, SDL_SCANCODE_T},
    {21, SDL_SCANCODE_Y}, {22, SDL_SCANCODE_U}, {23, SDL_SCANCODE_I}, {24, SDL_SCANCODE_O},
    {25, SDL_SCANCODE_P}, {26, SDL_SCANCODE_LEFTBRACKET}, {27, SDL_SCANCODE_RIGHTBRACKET},
    {28, SDL_SCANCODE_RETURN}, {29, SDL_SCANCODE_LCTRL}, {30, SDL_SCANCODE_A}, {31, SDL_SCANCODE_S},
    {32, SDL_SCANCODE_D}, {33, SDL_SCANCODE_F}, {34, SDL_SCANCODE_G}, {35, SDL_SCANCODE_H},
    {36, SDL_SCANCODE_J}, {37, SDL_SCANCODE_K}, {38, SDL_SCANCODE_L}, {39, SDL_SCANCODE_SEMICOLON},
    {40, SDL_SCANCODE_APOSTROPHE}, {41, SDL_SCANCODE_GRAVE}, {42, SDL_SCANCODE_LSHIFT},
    {43, SDL_SCANCODE_BACKSLASH}, {44, SDL_SCANCODE_Z}, {45, SDL_SCANCODE_X}, {46, SDL_SCANCODE_C},
    {47, SDL_SCANCODE_V}, {48, SDL_SCANCODE_B}, {49, SDL_SCANCODE_N}, {50, SDL_SCANCODE_M},
    {51, SDL_SCANCODE_COMMA}, {52, SDL_SCANCODE_PERIOD}, {53, SDL_SCANCODE_SLASH}, {54, SDL_SCANCODE_RSHIFT},
    {55, SDL_SCANCODE_KP_MULTIPLY}, {56, SDL_SCANCODE_LALT}, {57, SDL_SCANCODE_SPACE},
    {58, SDL_SCANCODE_CAPSLOCK}, {59, SDL_SCANCODE_F1}, {60, SDL_SCANCODE_F2}, {61, SDL_SCANCODE_F3},
    {62, SDL_SCANCODE_F4}, {63, SDL_SCANCODE_F5}, {64, SDL_SCANCODE_F6}, {65, SDL_SCANCODE_F7},
    {66, SDL_SCANCODE_F8}, {67, SDL_SCANCODE_F9}, {68, SDL_SCANCODE_F10}, {69, SDL_SCANCODE_NUMLOCKCLEAR},
    {70, SDL_SCANCODE_SCROLLLOCK}, {71, SDL_SCANCODE_KP_7}, {72, SDL_SCANCODE_KP_8}, {73, SDL_SCANCODE_KP_9},
    {74, SDL_SCANCODE_KP_MINUS}, {75, SDL_SCANCODE_KP_4}, {76, SDL_SCANCODE_KP_5}, {77, SDL_SCANCODE_KP_6},
    {78, SDL_SCANCODE_KP_PLUS}, {79, SDL_SCANCODE_KP_1}, {80, SDL_SCANCODE_KP_2}, {81, SDL_SCANCODE_KP_3},
    {82, SDL_SCANCODE_KP_0}, {83, SDL_SCANCODE_KP_PERIOD}, {86, SDL_SCANCODE_NONUSBACKSLASH},
    {87, SDL_SCANCODE_F11}, {88, SDL_SCANCODE_F12}, {100, SDL_SCANCODE_F13}, {101, SDL_SCANCODE_F14},
    {102, SDL_SCANCODE_F15}, {112, SDL_SCANCODE_INTERNATIONAL2}, {115, SDL_SCANCODE_INTERNATIONAL1},
    {121, SDL_SCANCODE_INTERNATIONAL4}, {123, SDL_SCANCODE_INTERNATIONAL5}, {125, SDL_SCANCODE_INTERNATIONAL3},
    {141, SDL_SCANCODE_KP_EQUALS}, {144, SDL_SCANCODE_AUDIOPREV}, {149, SDL_SCANCODE_STOP},
    {153, SDL_SCANCODE_AUDIONEXT}, {156, SDL_SCANCODE_KP_ENTER}, {157, SDL_SCANCODE_RCTRL},
    {160, SDL_SCANCODE_AUDIOMUTE}, {161, SDL_SCANCODE_CALCULATOR}, {162, SDL_SCANCODE_AUDIOPLAY},
    {164, SDL_SCANCODE_AUDIOSTOP}, {174, SDL_SCANCODE_VOLUMEDOWN}, {176, SDL_SCANCODE_VOLUMEUP},
    {178, SDL_SCANCODE_AC_HOME}, {179, SDL_SCANCODE_KP_COMMA}, {181, SDL_SCANCODE_KP_DIVIDE},
    {183, SDL_SCANCODE_PRINTSCREEN}, {184, SDL_SCANCODE_RALT}, {197, SDL_SCANCODE_PAUSE},
    {199, SDL_SCANCODE_HOME}, {200, SDL_SCANCODE_UP}, {201, SDL_SCANCODE_PAGEUP}, {203, SDL_SCANCODE_LEFT},
    {205, SDL_SCANCODE_RIGHT}, {207, SDL_SCANCODE_END}, {208, SDL_SCANCODE_DOWN}, {209, SDL_SCANCODE_PAGEDOWN},
    {210, SDL_SCANCODE_INSERT}, {211, SDL_SCANCODE_DELETE}, {219, SDL_SCANCODE_LGUI}, {220, SDL_SCANCODE_RGUI},
    {221, SDL_SCANCODE_APPLICATION}, {222, SDL_SCANCODE_POWER}, {223, SDL_SCANCODE_SLEEP},
    {229, SDL_SCANCODE_AC_SEARCH}, {230, SDL_SCANCODE_AC_BOOKMARKS}, {231, SDL_SCANCODE_AC_REFRESH},
    {232, SDL_SCANCODE_AC_STOP}, {233, SDL_SCANCODE_AC_FORWARD}, {234, SDL_SCANCODE_AC_BACK},
    {235, SDL_SCANCODE_COMPUTER}, {236, SDL_SCANCODE_MAIL}, {237, SDL_SCANCODE_MEDIASELECT},
};

// Keys the window-message path names by virtual key; letters and digits use their upper-case
// ASCII value.
struct VirtualPair {
  SDL_Keycode key;
  uint32_t virtualKey;
};
const VirtualPair kVirtualPairs[] = {
    {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9}, {SDLK_RETURN, 13}, {SDLK_PAUSE, 19}, {SDLK_ESCAPE, 27},
    {SDLK_SPACE, 32}, {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34}, {SDLK_END, 35}, {SDLK_HOME, 36},
    {SDLK_LEFT, 37}, {SDLK_UP, 38}, {SDLK_RIGHT, 39}, {SDLK_DOWN, 40}, {SDLK_PRINTSCREEN, 44},
    {SDLK_INSERT, 45}, {SDLK_DELETE, 46}, {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145},
};
constexpr uint32_t kVirtualF1 = 112;

// What Shift makes of the unshifted ASCII keys of the layout.
constexpr const char kUnshifted[] = "1234567890-=[];'\\,./`";
constexpr const char kShifted[] = "!@#$%^&*()_+{}:\"|<>?~";

constexpr int32_t kDefaultKeyRecords = 50;
constexpr int32_t kDefaultMouseRecords = 128;
constexpr int32_t kAxisLimit = 65535;
constexpr int32_t kSdlAxisMax = 32767;
constexpr int32_t kDeadZoneMax = 10000;
constexpr int32_t kVirtualAxes = 6;
constexpr int32_t kVirtualButtons = 32;
constexpr int32_t kVirtualHats = 1;
constexpr int32_t kLegacyCentre = 32768;
constexpr uint32_t kLegacyButtons = 4;

struct Effect {
  int handle;  // SDL's effect id + 1
  int id;
  SDL_HapticEffect effect;
};

struct Device {
  bool exists = false;
  bool acquired = false;
  int32_t limit = 0;
  bool overflow = false;
  std::deque<InputRecord> records;
};

struct SdlInput {
  bool open = false;
  bool joysticks = false;  // SDL's joystick subsystem started by us
  bool haptics = false;
  Device keyboard, mouse;
  uint32_t mouseHeld = 0;
  // The game controller.
  SDL_Joystick* joystick = nullptr;
  bool joystickAcquired = false;
  SDL_Haptic* haptic = nullptr;
  int32_t deadZone[kJoyAxisCount] = {};
  int32_t rangeMin[kJoyAxisCount] = {};
  int32_t rangeMax[kJoyAxisCount] = {};
  std::vector<Effect> effects;
  // The legacy joysticks, opened on first reading.
  SDL_Joystick* legacy[2] = {};
  // Events queued when SDL's event system does not run.
  std::deque<SDL_Event> queued;
  // The input script.
  std::vector<InputScriptLine> script;
  size_t scriptNext = 0;
  uint32_t frame = 0;
  SDL_Joystick* virtualJoystick = nullptr;
  int virtualIndex = -1;
};
SdlInput gSdl;

bool EventsRun() { return SDL_WasInit(SDL_INIT_EVENTS) != 0; }
bool VideoRuns() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

Device* DeviceOf(int32_t kind) {
  if (kind == kInputDeviceKeyboard) return &gSdl.keyboard;
  if (kind == kInputDeviceMouse) return &gSdl.mouse;
  return nullptr;
}

void Push(Device* device, uint32_t offset, int32_t data) {
  if (static_cast<int32_t>(device->records.size()) >= device->limit) {
    device->overflow = true;
    return;
  }
  device->records.push_back(InputRecord{offset, data});
}

int32_t MouseButtonIndex(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
  }
}

uint8_t SdlMouseButton(int32_t index) {
  static const uint8_t kButtons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1, SDL_BUTTON_X2};
  return kButtons[index];
}

bool IsKeyEvent(uint32_t type) { return type == SDL_KEYDOWN || type == SDL_KEYUP; }
bool IsMouseEvent(uint32_t type) {
  return type == SDL_MOUSEMOTION || type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP || type == SDL_MOUSEWHEEL;
}

// Takes a key or mouse event into its device's buffer; false when no device wants it.
bool Accept(const SDL_Event& event) {
  if (IsKeyEvent(event.type)) {
    if (!gSdl.keyboard.exists) return false;
    if (!gSdl.keyboard.acquired || event.key.repeat) return true;
    int32_t scan = ScanCodeFromSdl(event.key.keysym.scancode);
    if (scan != 0) Push(&gSdl.keyboard, static_cast<uint32_t>(scan), event.type == SDL_KEYDOWN ? kRecordDown : 0);
    return true;
  }
  if (!IsMouseEvent(event.type)) return false;
  if (!gSdl.mouse.exists) return false;
  if (!gSdl.mouse.acquired) return true;
  switch (event.type) {
    case SDL_MOUSEMOTION:
      if (event.motion.xrel != 0) Push(&gSdl.mouse, kMouseRecordX, event.motion.xrel);
      if (event.motion.yrel != 0) Push(&gSdl.mouse, kMouseRecordY, event.motion.yrel);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      int32_t index = MouseButtonIndex(event.button.button);
      if (index < 0) break;
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      if (down) gSdl.mouseHeld |= 1u << index;
      else gSdl.mouseHeld &= ~(1u << index);
      Push(&gSdl.mouse, kMouseRecordButton0 + static_cast<uint32_t>(index), down ? kRecordDown : 0);
      break;
    }
    case SDL_MOUSEWHEEL: {
      int32_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
      if (notches != 0) Push(&gSdl.mouse, kMouseRecordWheel, notches * kWheelNotch);
      break;
    }
    default: break;
  }
  return true;
}

// Moves the waiting key and mouse events of the devices that exist into their buffers.
void Intake() {
  while (!gSdl.queued.empty()) {
    Accept(gSdl.queued.front());
    gSdl.queued.pop_front();
  }
  if (!EventsRun()) return;
  SDL_Event events[64];
  if (gSdl.keyboard.exists) {
    int got;
    while ((got = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_KEYDOWN, SDL_KEYUP)) > 0) {
      for (int i = 0; i < got; ++i) Accept(events[i]);
    }
  }
  if (gSdl.mouse.exists) {
    int got;
    while ((got = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEWHEEL)) > 0) {
      for (int i = 0; i < got; ++i) Accept(events[i]);
    }
  }
}

int JoystickIndexOf(const uint8_t* guid) {
  const int count = SDL_NumJoysticks();
  for (int i = 0; i < count; ++i) {
    SDL_JoystickGUID candidate = SDL_JoystickGetDeviceGUID(i);
    if (std::memcmp(candidate.data, guid, sizeof candidate.data) == 0) return i;
  }
  return -1;
}

// ---- the input script ------------------------------------------------------------------------

bool ScriptUsesJoystick() {
  for (const InputScriptLine& line : gSdl.script) {
    if (line.kind == kScriptAxis || line.kind == kScriptButton || line.kind == kScriptHat) return true;
  }
  return false;
}

void LoadScript() {
  gSdl.script.clear();
  gSdl.scriptNext = 0;
  gSdl.frame = 0;
  const char* path = std::getenv("KORVANE_INPUT_SCRIPT");
  if (!path || !*path) return;
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "input script %s: cannot be opened\n", path);
    return;
  }
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  std::string error;
  if (!ReadInputScript(text.data(), text.size(), &gSdl.script, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return;
  }
  if (gSdl.joysticks && ScriptUsesJoystick()) {
    gSdl.virtualIndex = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, kVirtualAxes, kVirtualButtons,
                                                  kVirtualHats);
    if (gSdl.virtualIndex >= 0) gSdl.virtualJoystick = SDL_JoystickOpen(gSdl.virtualIndex);
  }
}

void UnloadScript() {
  if (gSdl.virtualJoystick) SDL_JoystickClose(gSdl.virtualJoystick);
  if (gSdl.virtualIndex >= 0) SDL_JoystickDetachVirtual(gSdl.virtualIndex);
  gSdl.virtualJoystick = nullptr;
  gSdl.virtualIndex = -1;
  gSdl.script.clear();
  gSdl.scriptNext = 0;
}

void PlayLine(const InputScriptLine& line) {
  SDL_Event event{};
  switch (line.kind) {
    case kScriptKey:
      event.type = line.b ? SDL_KEYDOWN : SDL_KEYUP;
      event.key.state = line.b ? SDL_PRESSED : SDL_RELEASED;
      event.key.keysym.scancode = static_cast<SDL_Scancode>(line.a);
      event.key.keysym.sym = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(line.a));
      break;
    case kScriptMouse:
      event.type = SDL_MOUSEMOTION;
      event.motion.xrel = line.a;
      event.motion.yrel = line.b;
      break;
    case kScriptClick:
      event.type = line.b ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      event.button.button = SdlMouseButton(line.a);
      event.button.state = line.b ? SDL_PRESSED : SDL_RELEASED;
      event.button.clicks = 1;
      break;
    case kScriptWheel:
      event.type = SDL_MOUSEWHEEL;
      event.wheel.y = line.a;
      event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
      break;
    case kScriptAxis:
      if (gSdl.virtualJoystick) SDL_JoystickSetVirtualAxis(gSdl.virtualJoystick, line.a, static_cast<Sint16>(line.b));
      return;
    case kScriptButton:
      if (gSdl.virtualJoystick) SDL_JoystickSetVirtualButton(gSdl.virtualJoystick, line.a, static_cast<Uint8>(line.b));
      return;
    case kScriptHat:
      if (gSdl.virtualJoystick) SDL_JoystickSetVirtualHat(gSdl.virtualJoystick, 0, static_cast<Uint8>(line.a));
      return;
    default: return;
  }
  if (EventsRun()) SDL_PushEvent(&event);
  else gSdl.queued.push_back(event);
}

// ---- the table's functions -------------------------------------------------------------------

bool Open() {
  gSdl = SdlInput{};
  gSdl.open = true;
  gSdl.joysticks = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  // The stick is read, not listened to: its events would only pile up in the queue.
  if (gSdl.joysticks) SDL_JoystickEventState(SDL_IGNORE);
  gSdl.haptics = gSdl.joysticks && SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
  LoadScript();
  return true;
}

void ReleaseEffects() {
  for (const Effect& effect : gSdl.effects) {
    if (gSdl.haptic) SDL_HapticDestroyEffect(gSdl.haptic, effect.id);
  }
  gSdl.effects.clear();
}

void CloseJoystick() {
  ReleaseEffects();
  if (gSdl.haptic) SDL_HapticClose(gSdl.haptic);
  gSdl.haptic = nullptr;
  if (gSdl.joystick) SDL_JoystickClose(gSdl.joystick);
  gSdl.joystick = nullptr;
  gSdl.joystickAcquired = false;
}

void Close() {
  if (!gSdl.open) return;
  CloseJoystick();
  for (SDL_Joystick*& legacy : gSdl.legacy) {
    if (legacy) SDL_JoystickClose(legacy);
    legacy = nullptr;
  }
  UnloadScript();
  if (VideoRuns()) SDL_SetRelativeMouseMode(SDL_FALSE);
  if (gSdl.haptics) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
  if (gSdl.joysticks) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  gSdl = SdlInput{};
}

void BeginPoll() {
  while (gSdl.scriptNext < gSdl.script.size() && gSdl.script[gSdl.scriptNext].frame <= gSdl.frame) {
    PlayLine(gSdl.script[gSdl.scriptNext++]);
  }
  ++gSdl.frame;
}

bool CreateDevice(int32_t kind) {
  Device* device = DeviceOf(kind);
  if (!device) return false;
  *device = Device{};
  device->exists = true;
  device->limit = kind == kInputDeviceKeyboard ? kDefaultKeyRecords : kDefaultMouseRecords;
  if (kind == kInputDeviceMouse) gSdl.mouseHeld = 0;
  return true;
}

bool BindWindow(int32_t kind, void*) {
  if (kind == kInputDeviceJoystick) return gSdl.joystick != nullptr;
  Device* device = DeviceOf(kind);
  return device && device->exists;
}

bool SetBufferSize(int32_t kind, int32_t records) {
  Device* device = DeviceOf(kind);
  if (!device || !device->exists || records <= 0) return false;
  device->limit = records;
  return true;
}

// SDL keeps its devices current itself.
bool NeedsPolling(int32_t) { return false; }

int32_t ReadBuffered(int32_t kind, InputRecord* records, int32_t* count) {
  Device* device = DeviceOf(kind);
  if (!device || !device->exists || !count) return kInputResultFailed;
  if (!device->acquired) return kInputResultNotAcquired;
  Intake();
  if (!records) {
    device->records.clear();
    device->overflow = false;
    *count = 0;
    return kInputResultOk;
  }
  int32_t taken = 0;
  while (taken < *count && !device->records.empty()) {
    records[taken++] = device->records.front();
    device->records.pop_front();
  }
  *count = taken;
  const bool overflow = device->overflow;
  device->overflow = false;
  return overflow ? kInputResultBufferOverflow : kInputResultOk;
}

int32_t ReadMouseState(MouseDeviceState* state) {
  if (!gSdl.mouse.exists) return kInputResultFailed;
  if (!gSdl.mouse.acquired) return kInputResultNotAcquired;
  *state = MouseDeviceState{};
  for (int32_t b = 0; b < kMouseButtonCount; ++b) {
    if (gSdl.mouseHeld & (1u << b)) state->buttons[b] = kRecordDown;
  }
  return kInputResultOk;
}

void ReleaseDevice(int32_t kind) {
  if (kind == kInputDeviceJoystick) {
    CloseJoystick();
    return;
  }
  Device* device = DeviceOf(kind);
  if (device) *device = Device{};
}

int32_t Acquire(int32_t kind) {
  if (kind == kInputDeviceJoystick) {
    if (!gSdl.joystick) return kInputResultFailed;
    gSdl.joystickAcquired = true;
    return kInputResultOk;
  }
  Device* device = DeviceOf(kind);
  if (!device || !device->exists) return kInputResultFailed;
  device->acquired = true;
  // The exclusive mouse: the pointer stays in the window and only its motion counts.
  if (kind == kInputDeviceMouse && VideoRuns()) SDL_SetRelativeMouseMode(SDL_TRUE);
  return kInputResultOk;
}

void Unacquire(int32_t kind) {
  if (kind == kInputDeviceJoystick) {
    gSdl.joystickAcquired = false;
    return;
  }
  Device* device = DeviceOf(kind);
  if (!device) return;
  device->acquired = false;
  if (kind == kInputDeviceMouse && VideoRuns()) SDL_SetRelativeMouseMode(SDL_FALSE);
}

int32_t Poll(int32_t kind) {
  if (kind == kInputDeviceJoystick) return gSdl.joystickAcquired ? kInputResultOk : kInputResultNotAcquired;
  Device* device = DeviceOf(kind);
  if (!device || !device->exists) return kInputResultFailed;
  return device->acquired ? kInputResultOk : kInputResultNotAcquired;
}

bool JoystickAttached(const uint8_t* guid) {
  if (!gSdl.joysticks || !guid) return false;
  SDL_JoystickUpdate();
  return JoystickIndexOf(guid) >= 0;
}

bool FirstJoystick(uint8_t* guid) {
  if (!gSdl.joysticks) return false;
  SDL_JoystickUpdate();
  if (SDL_NumJoysticks() < 1) return false;
  SDL_JoystickGUID first = SDL_JoystickGetDeviceGUID(0);
  std::memcpy(guid, first.data, sizeof first.data);
  return true;
}

bool CreateJoystick(const uint8_t* guid) {
  CloseJoystick();
  if (!gSdl.joysticks || !guid) return false;
  const int index = JoystickIndexOf(guid);
  if (index < 0) return false;
  gSdl.joystick = SDL_JoystickOpen(index);
  if (!gSdl.joystick) return false;
  for (int32_t axis = 0; axis < kJoyAxisCount; ++axis) {
    gSdl.rangeMin[axis] = -kAxisLimit;
    gSdl.rangeMax[axis] = kAxisLimit;
    gSdl.deadZone[axis] = 0;
  }
  if (gSdl.haptics && SDL_JoystickIsHaptic(gSdl.joystick) == SDL_TRUE) {
    gSdl.haptic = SDL_HapticOpenFromJoystick(gSdl.joystick);
  }
  return true;
}

int32_t JoystickObjects(int32_t* objects, int32_t limit) {
  if (!gSdl.joystick) return 0;
  int32_t count = 0;
  auto add = [&](int32_t object) {
    if (count < limit) objects[count++] = object;
  };
  const int axes = SDL_JoystickNumAxes(gSdl.joystick);
  static const int32_t kAxisObjects[] = {kJoyObjectAxisX, kJoyObjectAxisY, kJoyObjectAxisZ, kJoyObjectAxisRz,
                                         kJoyObjectSlider, kJoyObjectSlider};
  for (int a = 0; a < axes && a < kJoyAxisCount; ++a) add(kAxisObjects[a]);
  if (SDL_JoystickNumHats(gSdl.joystick) > 0) add(kJoyObjectPov);
  const int buttons = SDL_JoystickNumButtons(gSdl.joystick);
  for (int b = 0; b < buttons && b < kJoystickButtonCount; ++b) add(kJoyObjectButton);
  return count;
}

bool JoystickCapsOf(JoystickCaps* caps) {
  if (!gSdl.joystick) return false;
  caps->needsPolling = false;
  caps->forceFeedback = gSdl.haptic != nullptr;
  return true;
}

bool SetAxisRange(int32_t axis, int32_t minimum, int32_t maximum) {
  if (!gSdl.joystick || axis < 0 || axis >= kJoyAxisCount || minimum >= maximum) return false;
  gSdl.rangeMin[axis] = minimum;
  gSdl.rangeMax[axis] = maximum;
  return true;
}

bool SetAxisDeadZone(int32_t axis, int32_t deadZone) {
  if (!gSdl.joystick || axis < 0 || axis >= kJoyAxisCount || deadZone < 0 || deadZone > kDeadZoneMax) return false;
  gSdl.deadZone[axis] = deadZone;
  return true;
}

// An SDL axis value scaled into the axis's range, with the dead zone around the centre taken
// out and the rest stretched so that full deflection still reaches the end of the range.
int32_t ScaleAxis(int32_t axis, int32_t value) {
  const int64_t magnitude = value < 0 ? -int64_t(value) : value;
  const int64_t deadZone = gSdl.deadZone[axis];
  const int64_t scaled = magnitude * kDeadZoneMax;
  const int64_t edge = deadZone * kSdlAxisMax;
  const int64_t centre = (int64_t(gSdl.rangeMin[axis]) + gSdl.rangeMax[axis]) / 2;
  if (scaled <= edge || deadZone >= kDeadZoneMax) return static_cast<int32_t>(centre);
  const int64_t half = (int64_t(gSdl.rangeMax[axis]) - gSdl.rangeMin[axis]) / 2;
  int64_t out = (scaled - edge) * half / ((kDeadZoneMax - deadZone) * kSdlAxisMax);
  if (out > half) out = half;
  return static_cast<int32_t>(value < 0 ? centre - out : centre + out);
}

uint32_t PovFromHat(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;
  }
}

int32_t ReadJoystickState(JoystickDeviceState* state) {
  if (!gSdl.joystick) return kInputResultFailed;
  if (!gSdl.joystickAcquired) return kInputResultNotAcquired;
  SDL_JoystickUpdate();
  if (SDL_JoystickGetAttached(gSdl.joystick) != SDL_TRUE) return kInputResultLost;
  *state = JoystickDeviceState{};
  const int axes = SDL_JoystickNumAxes(gSdl.joystick);
  int32_t values[kJoyAxisCount] = {};
  for (int a = 0; a < axes && a < kJoyAxisCount; ++a) values[a] = ScaleAxis(a, SDL_JoystickGetAxis(gSdl.joystick, a));
  state->x = values[kJoyAxisX];
  state->y = values[kJoyAxisY];
  state->z = values[kJoyAxisZ];
  state->rz = values[kJoyAxisRz];
  state->sliders[0] = values[kJoyAxisSlider0];
  state->sliders[1] = values[kJoyAxisSlider0 + 1];
  state->pov = SDL_JoystickNumHats(gSdl.joystick) > 0 ? PovFromHat(SDL_JoystickGetHat(gSdl.joystick, 0)) : kPovCentred;
  const int buttons = SDL_JoystickNumButtons(gSdl.joystick);
  for (int b = 0; b < buttons && b < kJoystickButtonCount; ++b) {
    state->buttons[b] = SDL_JoystickGetButton(gSdl.joystick, b) ? kRecordDown : 0;
  }
  return kInputResultOk;
}

bool SetAutoCenter(bool on) {
  if (!gSdl.haptic) return false;
  if (!(SDL_HapticQuery(gSdl.haptic) & SDL_HAPTIC_AUTOCENTER)) return true;
  return SDL_HapticSetAutocenter(gSdl.haptic, on ? 100 : 0) == 0;
}

bool HasEffectType(int32_t type) {
  if (!gSdl.haptic) return false;
  const unsigned int query = SDL_HapticQuery(gSdl.haptic);
  if (type == kEffectConstant) return (query & SDL_HAPTIC_CONSTANT) != 0;
  if (type == kEffectPeriodic) return (query & SDL_HAPTIC_SINE) != 0;
  return false;
}

Uint32 Milliseconds(uint32_t microseconds) {
  return microseconds == kEffectInfinite ? SDL_HAPTIC_INFINITY : microseconds / 1000;
}

Sint16 Level(int32_t magnitude) { return static_cast<Sint16>(int64_t(magnitude) * 32767 / 10000); }

void SetDirection(SDL_HapticDirection* direction, bool polar, int32_t first, int32_t second) {
  *direction = SDL_HapticDirection{};
  direction->type = polar ? SDL_HAPTIC_POLAR : SDL_HAPTIC_CARTESIAN;
  direction->dir[0] = first;
  direction->dir[1] = second;
}

int32_t CreateEffect(const ForceEffectDesc* desc) {
  if (!gSdl.haptic || !desc) return 0;
  SDL_HapticEffect effect{};
  if (desc->type == kEffectPeriodic) {
    effect.type = SDL_HAPTIC_SINE;
    SetDirection(&effect.periodic.direction, desc->polar, desc->direction[0], desc->direction[1]);
    effect.periodic.length = Milliseconds(desc->durationUs);
    effect.periodic.period = static_cast<Uint16>(desc->periodUs / 1000);
    effect.periodic.magnitude = Level(desc->magnitude);
    effect.periodic.fade_length = static_cast<Uint16>(desc->fadeTimeUs / 1000);
  } else {
    effect.type = SDL_HAPTIC_CONSTANT;
    SetDirection(&effect.constant.direction, desc->polar, desc->direction[0], desc->direction[1]);
    effect.constant.length = Milliseconds(desc->durationUs);
    effect.constant.level = Level(desc->magnitude);
  }
  if (SDL_HapticQuery(gSdl.haptic) & SDL_HAPTIC_GAIN) SDL_HapticSetGain(gSdl.haptic, desc->gain / 100);
  const int id = SDL_HapticNewEffect(gSdl.haptic, &effect);
  if (id < 0) return 0;
  gSdl.effects.push_back(Effect{id + 1, id, effect});
  return id + 1;
}

Effect* FindEffect(int32_t handle) {
  for (Effect& effect : gSdl.effects) {
    if (effect.handle == handle) return &effect;
  }
  return nullptr;
}

bool SetEffectDirection(int32_t handle, int32_t first, int32_t second) {
  Effect* effect = FindEffect(handle);
  if (!effect || !gSdl.haptic) return false;
  SDL_HapticDirection* direction =
      effect->effect.type == SDL_HAPTIC_SINE ? &effect->effect.periodic.direction : &effect->effect.constant.direction;
  SetDirection(direction, true, first, second);
  return SDL_HapticUpdateEffect(gSdl.haptic, effect->id, &effect->effect) == 0;
}

bool StartEffect(int32_t handle) {
  Effect* effect = FindEffect(handle);
  return effect && gSdl.haptic && SDL_HapticRunEffect(gSdl.haptic, effect->id, 1) == 0;
}

void ReleaseEffect(int32_t handle) {
  for (size_t i = 0; i < gSdl.effects.size(); ++i) {
    if (gSdl.effects[i].handle != handle) continue;
    if (gSdl.haptic) SDL_HapticDestroyEffect(gSdl.haptic, gSdl.effects[i].id);
    gSdl.effects.erase(gSdl.effects.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

int32_t LegacyJoystickCount() {
  if (!gSdl.joysticks) return 0;
  SDL_JoystickUpdate();
  return SDL_NumJoysticks();
}

bool LegacyJoystickPositionOf(int32_t index, LegacyJoystickPosition* position) {
  if (!gSdl.joysticks || index < 0 || index > 1) return false;
  SDL_Joystick*& stick = gSdl.legacy[index];
  if (!stick) stick = SDL_JoystickOpen(index);
  if (!stick) return false;
  SDL_JoystickUpdate();
  if (SDL_JoystickGetAttached(stick) != SDL_TRUE) return false;
  position->x = static_cast<uint32_t>(SDL_JoystickGetAxis(stick, 0) + kLegacyCentre);
  position->y = static_cast<uint32_t>(SDL_JoystickGetAxis(stick, 1) + kLegacyCentre);
  position->buttons = 0;
  for (uint32_t b = 0; b < kLegacyButtons && static_cast<int>(b) < SDL_JoystickNumButtons(stick); ++b) {
    if (SDL_JoystickGetButton(stick, static_cast<int>(b))) position->buttons |= 1u << b;
  }
  return true;
}

const char* KeyName(int32_t scan) {
  const int32_t sdl = SdlFromScanCode(scan);
  if (sdl == 0) return nullptr;
  const char* name = SDL_GetScancodeName(static_cast<SDL_Scancode>(sdl));
  return name && *name ? name : nullptr;
}

int32_t KeyCharacter(int32_t scan, bool shift, char* out, int32_t size) {
  const int32_t sdl = SdlFromScanCode(scan);
  if (sdl == 0 || !out || size < 2) return 0;
  SDL_Keycode key = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(sdl));
  if (key & SDLK_SCANCODE_MASK || key < SDLK_SPACE || key == SDLK_DELETE) return 0;
  if (shift && key < 0x80) {
    if (key >= 'a' && key <= 'z') {
      key = key - 'a' + 'A';
    } else if (const char* at = std::strchr(kUnshifted, static_cast<int>(key)); at && key != 0) {
      key = static_cast<unsigned char>(kShifted[at - kUnshifted]);
    }
  }
  char text[8] = {};
  // SDL key codes of character keys are the characters' code points.
  uint32_t c = static_cast<uint32_t>(key);
  int32_t length;
  if (c < 0x80) {
    text[0] = static_cast<char>(c);
    length = 1;
  } else if (c < 0x800) {
    text[0] = static_cast<char>(0xC0 | (c >> 6));
    text[1] = static_cast<char>(0x80 | (c & 0x3F));
    length = 2;
  } else if (c < 0x10000) {
    text[0] = static_cast<char>(0xE0 | (c >> 12));
    text[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text[2] = static_cast<char>(0x80 | (c & 0x3F));
    length = 3;
  } else {
    return 0;
  }
  if (length >= size) return 0;
  std::memcpy(out, text, static_cast<size_t>(length));
  out[length] = '\0';
  return length;
}

bool CursorPosition(int32_t* x, int32_t* y) {
  if (!VideoRuns()) return false;
  int cx = 0, cy = 0;
  SDL_GetMouseState(&cx, &cy);
  *x = cx;
  *y = cy;
  return true;
}

void SetCursorPosition(int32_t x, int32_t y) {
  if (VideoRuns()) SDL_WarpMouseInWindow(nullptr, x, y);
}

void ShowSystemCursor(bool show) {
  if (VideoRuns()) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

uint32_t VirtualKeyOf(SDL_Keycode key) {
  for (const VirtualPair& pair : kVirtualPairs) {
    if (pair.key == key) return pair.virtualKey;
  }
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVirtualF1 + static_cast<uint32_t>(key - SDLK_F1);
  if (key >= 'a' && key <= 'z') return static_cast<uint32_t>(key - 'a' + 'A');
  if (key >= '0' && key <= '9') return static_cast<uint32_t>(key);
  return 0;
}

int32_t TranslateMessage(const OsMessage* message, WindowMessage* out, int32_t limit) {
  if (!message || message->kind != kOsMessageEvent || limit < 1) return 0;
  SDL_Event event;
  std::memcpy(&event, message->event, sizeof event);
  // Keys and mouse of the devices go to their buffers, not to the window.
  if (Accept(event)) return 0;
  int32_t count = 0;
  auto add = [&](uint32_t code, uintptr_t wparam) {
    if (count < limit) out[count++] = WindowMessage{code, wparam, 0};
  };
  switch (event.type) {
    case SDL_QUIT:
      add(kWindowMessageSysCommand, kSysCommandClose);
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) add(kWindowMessageActivate, kWindowActive);
      else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) add(kWindowMessageActivate, kWindowInactive);
      else if (event.window.event == SDL_WINDOWEVENT_CLOSE) add(kWindowMessageSysCommand, kSysCommandClose);
      break;
    case SDL_KEYDOWN: {
      uint32_t virtualKey = VirtualKeyOf(event.key.keysym.sym);
      if (virtualKey != 0) add(kWindowMessageKeyDown, virtualKey);
      break;
    }
    case SDL_TEXTINPUT: {
      std::string text = Utf8ToCodePage(event.text.text);
      for (unsigned char c : text) add(kWindowMessageChar, c);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      if (event.button.button == SDL_BUTTON_LEFT) {
        add(down ? kWindowMessageLeftDown : kWindowMessageLeftUp, 0);
        if (down && event.button.clicks == 2) add(kWindowMessageLeftDouble, 0);
      } else if (event.button.button == SDL_BUTTON_RIGHT) {
        add(down ? kWindowMessageRightDown : kWindowMessageRightUp, 0);
      }
      break;
    }
    case SDL_MOUSEMOTION:
      add(kWindowMessageSetCursor, 0);
      break;
    default: break;
  }
  return count;
}

const InputBackend kSdlBackend = {
    Open,
    Close,
    BeginPoll,
    CreateDevice,
    BindWindow,
    SetBufferSize,
    NeedsPolling,
    ReadBuffered,
    ReadMouseState,
    ReleaseDevice,
    Acquire,
    Unacquire,
    Poll,
    JoystickAttached,
    FirstJoystick,
    CreateJoystick,
    JoystickObjects,
    JoystickCapsOf,
    SetAxisRange,
    SetAxisDeadZone,
    ReadJoystickState,
    SetAutoCenter,
    HasEffectType,
    CreateEffect,
    SetEffectDirection,
    StartEffect,
    ReleaseEffect,
    LegacyJoystickCount,
    LegacyJoystickPositionOf,
    KeyName,
    KeyCharacter,
    CursorPosition,
    SetCursorPosition,
    ShowSystemCursor,
    TranslateMessage,
};

}  // namespace

const InputBackend* InputSdlBackend() { return &kSdlBackend; }

int32_t ScanCodeFromSdl(int32_t sdlScancode) {
  for (const ScanPair& pair : kScanPairs) {
    if (pair.sdl == sdlScancode) return pair.scan;
  }
  return 0;
}

int32_t SdlFromScanCode(int32_t scan) {
  for (const ScanPair& pair : kScanPairs) {
    if (pair.scan == scan) return pair.sdl;
  }
  return 0;
}
