// The input devices and the InputState: start-up with device and joystick creation, release,
// acquiring on activation, and the poll of keyboard, mouse and joystick (or of the legacy
// joysticks when the device system is missing) that the message pump runs on every pass. Called
// by the game main, the message pump, the window procedure, the dialogs and the shutdown. Every
// device is reached through the InputBackend; a device that fails is recovered or dropped here,
// never left holding stale keys or buttons.
#include "devices/input.h"

#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input_devices.h"
#include "devices/key_codes.h"
#include "platform/input_backend.h"
#include "render/render.h"

InputState* gInputState = nullptr;
InputDevices gInputDevices;

namespace {

constexpr int32_t kKeyboardBufferRecords = 50;
constexpr int32_t kMouseBufferRecords = 128;
constexpr uint32_t kSmoothFrameRate = 10;  // above it a poll reads one key record, else four
constexpr int32_t kKeyRecordsFast = 1;
constexpr int32_t kKeyRecordsSlow = 4;
constexpr int32_t kStuckKeyCount = 8;
constexpr int32_t kScanRecordLimit = 255;
constexpr uint32_t kDoubleClickMs = 1000;
constexpr int32_t kJoystickFailureLimit = 1000;
constexpr int32_t kAxisRange = 65535;
constexpr int32_t kDeadZoneUnits = 100;  // percent to the device's 0..10000
constexpr int32_t kMaxDeadZone = 100;
constexpr int32_t kDefaultDeadZone = 20;
constexpr int32_t kDefaultGain = 2;
constexpr uint32_t kThrottleLowBits = 0xFF;
constexpr uint32_t kRudderLowBits = 0xF;
constexpr int32_t kJoystickButtonsInMask = 10;
constexpr uint32_t kFirstJoystickMaskBit = 0x20;
constexpr uint32_t kPovValueMask = 0xFFFF;

// The legacy joysticks' self-calibration.
constexpr int32_t kLegacyCentreOffset = 32765;
constexpr int32_t kLegacyStartRange = 1000;
constexpr int32_t kLegacyBandSlack = 1000;

// Mouse buttons 0..4 in the all-buttons mask.
constexpr uint32_t kMouseMaskBits[] = {0x1, 0x10, 0x2, 0x4, 0x8};

struct LegacyAxis {
  int16_t centre, maximum, minimum, band;
};

const InputBackend* gBackend = nullptr;
InputHost gHost = {};
uint8_t* gOwnGuid = nullptr;
int32_t gOwnGain = kDefaultGain;
int32_t gOwnDeadZone = kDefaultDeadZone;
int32_t gOwnSensitivity = kDefaultJoystickSensitivity;
int32_t gJoystickFailures = 0;
int32_t gRudderPrevious = 0;
uint32_t gLastLeftPress = 0;
bool gHasLeftPress = false;
LegacyAxis gLegacyAxes[2] = {};

uint8_t** GuidSlot() { return gHost.joystickGuid ? gHost.joystickGuid : &gOwnGuid; }

void FreeGuid() {
  uint8_t** slot = GuidSlot();
  if (*slot) MemFree(*slot, kJoystickGuidSize, 0);
  *slot = nullptr;
}

int32_t Sign(int32_t value) { return value > 0 ? 1 : (value < 0 ? -1 : 0); }

int16_t Clamp16(int32_t value) {
  if (value > 32767) return 32767;
  if (value < -32768) return -32768;
  return static_cast<int16_t>(value);
}

bool DisplaySize(int32_t* width, int32_t* height) {
  if (gDisplay && gDisplay->device) {
    *width = gDisplay->device->width;
    *height = gDisplay->device->height;
    return true;
  }
  if (gSystem && gSystem->screenWidth > 0 && gSystem->screenHeight > 0) {
    *width = gSystem->screenWidth;
    *height = gSystem->screenHeight;
    return true;
  }
  return false;
}

void ClearKeyTables(InputState* state) {
  std::memset(state->scanTable, 0, sizeof state->scanTable);
  std::memset(state->keyTable, 0, sizeof state->keyTable);
}

void Flush(int32_t kind) {
  int32_t count = 0;
  Backend()->readBuffered(kind, nullptr, &count);
}

void ReleaseJoystick(InputState* state) {
  if (!gInputDevices.joystick) return;
  if (state) ReleaseForceFeedbackEffects(state);
  Backend()->unacquire(kInputDeviceJoystick);
  Backend()->releaseDevice(kInputDeviceJoystick);
  gInputDevices.joystick = false;
}

// Reads the controller's objects into the flags: hat, throttle, slider and rudder findings.
void ReadJoystickObjects(InputState* state) {
  int32_t objects[kJoyObjectLimit];
  int32_t count = Backend()->joystickObjects(objects, kJoyObjectLimit);
  if (count > kJoyObjectLimit) count = kJoyObjectLimit;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t object = objects[i];
    uint32_t& flags = state->flags;
    if (object == kJoyObjectAxisRz && (flags & kInputLookForRudder)) flags |= kInputRudderFound | kInputRudderUsed;
    if (object == kJoyObjectPov && (flags & kInputLookForHat)) flags |= kInputHatFound | kInputHatUsed;
    if (flags & kInputZSecondStick) {
      flags |= kInputJoystick2 | kInputZAnalog;
      if (object == kJoyObjectAxisZ) state->axisKinds |= kAxisZStick | kAxisZThrottle;
    } else if (object == kJoyObjectAxisZ) {
      flags |= kInputThrottleFound | kInputThrottleLive;
    } else if (object == kJoyObjectSlider && (flags & kInputLookForSlider) && !(flags & kInputThrottleFound)) {
      flags |= kInputThrottleFromSlider | kInputThrottleFound | kInputThrottleLive;
    }
  }
}

bool SetUpAxes(InputState* state) {
  const InputBackend* backend = Backend();
  backend->unacquire(kInputDeviceJoystick);
  if ((state->flags & kInputRudderFound) && (state->axisKinds & kAxisZStick)) {
    state->flags &= ~(kInputRudderFound | kInputRudderUsed);
    state->axisKinds |= kAxisRudderRaw;
  }
  int32_t axes[kJoyAxisCount];
  int32_t count = 0;
  axes[count++] = kJoyAxisX;
  axes[count++] = kJoyAxisY;
  if ((state->flags & kInputRudderUsed) || (state->axisKinds & kAxisRudderRaw) == kAxisRudderRaw) {
    axes[count++] = kJoyAxisRz;
  }
  if (state->flags & kInputThrottleFromSlider) {
    axes[count++] = kJoyAxisSlider0;
  } else if ((state->axisKinds & kAxisZStick) || (state->flags & kInputThrottleFound)) {
    axes[count++] = kJoyAxisZ;
  }
  const int32_t deadZone = JoystickDeadZoneSetting() * kDeadZoneUnits;
  for (int32_t i = 0; i < count; ++i) {
    if (!backend->setAxisRange(axes[i], -kAxisRange, kAxisRange)) return false;
    if (!backend->setAxisDeadZone(axes[i], deadZone)) return false;
  }
  return true;
}

bool CreateJoystickFromGuid(InputState* state, const uint8_t* guid) {
  const InputBackend* backend = Backend();
  ReleaseJoystick(state);
  if (!backend->createJoystick(guid)) return false;
  gInputDevices.joystick = true;
  state->flags &= kInputJoystickDropMask;
  ReadJoystickObjects(state);
  JoystickCaps caps{};
  if (!backend->bindWindow(kInputDeviceJoystick, nullptr) || !SetUpAxes(state) || !backend->joystickCaps(&caps)) {
    ReleaseJoystick(state);
    return false;
  }
  state->flags |= kInputJoystick1;
  if (caps.needsPolling) state->flags |= kInputJoystickPolled;
  if (caps.forceFeedback && (state->flags & kInputForceFeedback)) {
    CreateForceFeedbackEffects(state);
  } else {
    state->flags &= ~kInputForceFeedback;
  }
  gJoystickFailures = 0;
  InputAcquire(0);
  return true;
}

// The saved stick when it is still attached, else the first attached one; null when none.
const uint8_t* ChooseJoystick() {
  const InputBackend* backend = Backend();
  uint8_t** slot = GuidSlot();
  if (*slot && !backend->joystickAttached(*slot)) FreeGuid();
  if (!*slot) {
    uint8_t found[kJoystickGuidSize] = {};
    if (!backend->firstJoystick(found)) return nullptr;
    *slot = static_cast<uint8_t*>(MemAlloc(kJoystickGuidSize, 0));
    if (!*slot) return nullptr;
    std::memcpy(*slot, found, kJoystickGuidSize);
  }
  return *slot;
}

bool CreatePointerDevice(int32_t kind, int32_t records, bool* polled) {
  const InputBackend* backend = Backend();
  if (!backend->createDevice(kind)) return false;
  if (kind == kInputDeviceMouse) gInputDevices.mouse = true;
  else gInputDevices.keyboard = true;
  if (!backend->bindWindow(kind, nullptr) || !backend->setBufferSize(kind, records)) return false;
  *polled = backend->needsPolling(kind);
  return true;
}

bool CreateDevices(InputState* state) {
  if ((state->flags & kInputUseMouse) &&
      !CreatePointerDevice(kInputDeviceMouse, kMouseBufferRecords, &gInputDevices.mousePolled)) {
    return false;
  }
  if (state->flags & kInputUseMouse) state->mousePresent = 1;
  if (!CreatePointerDevice(kInputDeviceKeyboard, kKeyboardBufferRecords, &gInputDevices.keyboardPolled)) {
    return false;
  }
  if (state->flags & (kInputJoystick1 | kInputJoystick2)) {
    state->flags &= ~kInputJoystick1;
    const uint8_t* guid = ChooseJoystick();
    // The stick is optional: one that cannot be set up is left out, keyboard and mouse play on.
    if (guid && !CreateJoystickFromGuid(state, guid)) state->flags &= ~(kInputJoystick1 | kInputJoystick2);
  }
  InputAcquire(0);
  return true;
}

void CalibrateLegacyAxis(LegacyAxis* axis, uint32_t raw) {
  int16_t reading = Clamp16(static_cast<int32_t>(raw) - kLegacyCentreOffset);
  axis->centre = reading;
  axis->maximum = Clamp16(reading + kLegacyStartRange);
  axis->minimum = Clamp16(reading - kLegacyStartRange);
  axis->band = 0;
}

void FindLegacyJoysticks(InputState* state) {
  const InputBackend* backend = Backend();
  const int32_t count = backend->legacyJoystickCount();
  state->flags &= ~(kInputJoystick1 | kInputJoystick2);
  LegacyJoystickPosition position{};
  if (count >= 1 && backend->legacyJoystickPosition(0, &position)) {
    state->flags |= kInputJoystick1;
    CalibrateLegacyAxis(&gLegacyAxes[0], position.x);
    CalibrateLegacyAxis(&gLegacyAxes[1], position.y);
  }
  if (count >= 2 && backend->legacyJoystickPosition(1, &position)) state->flags |= kInputJoystick2;
}

// One legacy axis reading: follows the stick's range, then scales the reading to +-65535
// around the centre with a dead band.
int32_t LegacyAxisValue(LegacyAxis* axis, uint32_t raw, uint32_t flags) {
  // The reading is clamped rather than wrapped: a full deflection must not turn into its opposite.
  const int32_t r = Clamp16(static_cast<int32_t>(raw) - kLegacyCentreOffset);
  int32_t maximum = axis->maximum, minimum = axis->minimum, band = axis->band;
  if (r > maximum) {
    maximum += (r - maximum) >> 4;
    band = (maximum - minimum) / 10;
  } else if (maximum > band + kLegacyBandSlack) {
    maximum -= 1;
  }
  if (r < minimum) {
    minimum -= (minimum - r) >> 4;
    band = (maximum - minimum) / 20;
  } else if (minimum < band - kLegacyBandSlack) {
    minimum += 1;
  }
  axis->maximum = Clamp16(maximum);
  axis->minimum = Clamp16(minimum);
  axis->band = Clamp16(band);
  const int32_t centre = axis->centre;
  band = axis->band;
  maximum = axis->maximum;
  minimum = axis->minimum;
  if (flags & kInputXYAnalog) {
    int64_t value = 0;
    if (r > centre + band) {
      // A range that decayed onto the centre reads as full deflection.
      value = maximum > centre ? int64_t(r - band - centre) * kAxisRange / (maximum - centre) : kAxisRange;
    } else if (r < centre - band) {
      value = minimum < centre ? int64_t(r + band - centre) * kAxisRange / (centre - minimum) : -kAxisRange;
    }
    if (value > kAxisRange) value = kAxisRange;
    if (value < -kAxisRange) value = -kAxisRange;
    return static_cast<int32_t>(value);
  }
  if (flags & kInputXYDigital) {
    if (r > centre + band) return 1;
    if (r < centre - band) return -1;
    return 0;
  }
  return 0;
}

void PollLegacyJoysticks(InputState* state) {
  const InputBackend* backend = Backend();
  LegacyJoystickPosition first{}, second{};
  bool hasFirst = (state->flags & kInputJoystick1) && backend->legacyJoystickPosition(0, &first);
  if (state->flags & kInputJoystick2) backend->legacyJoystickPosition(1, &second);
  state->joystickButtons = (second.buttons & 12) | (first.buttons & 3);
  if (!hasFirst) return;
  state->joystickX = LegacyAxisValue(&gLegacyAxes[0], first.x, state->flags);
  state->joystickY = LegacyAxisValue(&gLegacyAxes[1], first.y, state->flags);
}

void PollKeyboard(InputState* state) {
  const InputBackend* backend = Backend();
  if (gInputDevices.keyboardPolled && backend->poll(kInputDeviceKeyboard) == kInputResultNotAcquired) {
    ClearKeyTables(state);
    backend->acquire(kInputDeviceKeyboard);
    Flush(kInputDeviceKeyboard);
    backend->poll(kInputDeviceKeyboard);
  }
  const int32_t limit = gSystem && gSystem->frameRate > kSmoothFrameRate ? kKeyRecordsFast : kKeyRecordsSlow;
  InputRecord records[kKeyRecordsSlow];
  int32_t count = limit;
  int32_t result = backend->readBuffered(kInputDeviceKeyboard, records, &count);
  if (result == kInputResultLost || result == kInputResultNotAcquired) {
    backend->setBufferSize(kInputDeviceKeyboard, kKeyboardBufferRecords);
    backend->acquire(kInputDeviceKeyboard);
    ClearKeyTables(state);
    Flush(kInputDeviceKeyboard);
    count = limit;
    result = backend->readBuffered(kInputDeviceKeyboard, records, &count);
  }
  if (result < 0) return;
  if (count > limit) count = limit;
  for (int32_t i = 0; i < count; ++i) {
    if (records[i].offset < static_cast<uint32_t>(kScanRecordLimit)) {
      state->scanTable[records[i].offset] = static_cast<uint8_t>(records[i].data);
    }
  }
  int32_t down = 0;
  for (int32_t s = 0; s < kScanTableSize; ++s) {
    if (state->scanTable[s] & kRecordDown) ++down;
  }
  // More keys at once than any hand holds: a stuck or garbled state, start clean.
  if (down > kStuckKeyCount) {
    ClearKeyTables(state);
    Flush(kInputDeviceKeyboard);
  }
  state->shift = ((state->scanTable[kScanRightShift] | state->scanTable[kScanLeftShift]) & kRecordDown) ? 1 : 0;
  if ((state->scanTable[kScanTab] & kRecordDown) &&
      ((state->scanTable[kScanLeftAlt] | state->scanTable[kScanRightAlt]) & kRecordDown)) {
    state->scanTable[kScanTab] = 0;
  }
  for (int32_t s = 0; s <= kScanRecordLimit; ++s) {
    if (!(state->scanTable[s] & kRecordDown)) continue;
    int32_t code = ScanCodeToKeyCode(s);
    if (code > 0) state->keyTable[code] = 1;
    if (s == kScanLeftShift || s == kScanRightShift) continue;
    state->keyPressed = 1;
    KeyRingPush(static_cast<uint8_t>(s), 0, 0);
  }
}

void PollMouse(InputState* state) {
  const InputBackend* backend = Backend();
  if (gInputDevices.mousePolled && backend->poll(kInputDeviceMouse) == kInputResultNotAcquired) {
    backend->acquire(kInputDeviceMouse);
    backend->poll(kInputDeviceMouse);
  }
  const int32_t previousWheel = state->wheel;
  InputRecord records[kMouseBufferRecords];
  int32_t count = kMouseBufferRecords;
  int32_t result = backend->readBuffered(kInputDeviceMouse, records, &count);
  if (result == kInputResultLost || result == kInputResultNotAcquired) {
    backend->acquire(kInputDeviceMouse);
    count = kMouseBufferRecords;
    result = backend->readBuffered(kInputDeviceMouse, records, &count);
  }
  if (result < 0) return;
  if (count > kMouseBufferRecords) count = kMouseBufferRecords;
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  state->mouseTime = now;
  int32_t dx = 0, dy = 0, wheel = 0;
  state->mouseButtons = 0;
  state->leftPressed = state->rightPressed = state->middlePressed = 0;
  state->doubleClick = 0;
  for (int32_t i = 0; i < count; ++i) {
    const InputRecord& record = records[i];
    if (record.offset == kMouseRecordX) {
      dx += record.data;
    } else if (record.offset == kMouseRecordY) {
      dy += record.data;
    } else if (record.offset == kMouseRecordWheel) {
      wheel += record.data;
    } else if (record.offset >= kMouseRecordButton0 &&
               record.offset < kMouseRecordButton0 + static_cast<uint32_t>(kMouseButtonCount)) {
      const uint32_t bit = 1u << (record.offset - kMouseRecordButton0);
      if (record.data & kRecordDown) {
        state->mouseButtons |= bit;
        state->mouseHeld |= bit;
      } else {
        state->mouseHeld &= ~bit;
      }
    }
  }
  state->leftPressed = state->mouseButtons & 1;
  state->rightPressed = (state->mouseButtons >> 1) & 1;
  state->middlePressed = (state->mouseButtons >> 2) & 1;
  state->mouseButtons |= state->mouseHeld;
  state->leftDown = state->mouseButtons & 1;
  state->rightDown = (state->mouseButtons >> 1) & 1;
  state->middleDown = (state->mouseButtons >> 2) & 1;
  state->mouseDeltaX = Clamp16(dx);
  state->mouseDeltaY = Clamp16(dy);

  if (count > 0) {
    int32_t x = state->cursorX + dx, y = state->cursorY + dy;
    int32_t width = 0, height = 0;
    if (DisplaySize(&width, &height)) {
      if (x > width) x = width;
      if (y > height) y = height;
    }
    state->cursorX = Clamp16(x < 0 ? 0 : x);
    state->cursorY = Clamp16(y < 0 ? 0 : y);
    if (state->leftPressed) {
      // The first press of the run has nothing to pair with.
      state->doubleClick = gHasLeftPress && now - gLastLeftPress < kDoubleClickMs ? 1 : 0;
      gLastLeftPress = now;
      gHasLeftPress = true;
    }
  }
  if (result != kInputResultOk) {
    MouseDeviceState immediate{};
    if (backend->readMouseState(&immediate) >= 0) {
      state->mouseHeld = 0;
      for (int32_t b = 0; b < kMouseButtonCount; ++b) {
        if (immediate.buttons[b] & kRecordDown) state->mouseHeld |= 1u << b;
      }
    }
  }
  if (previousWheel != 0 && (wheel == 0 || Sign(wheel) == Sign(previousWheel))) wheel += previousWheel;
  state->wheel = Clamp16(wheel);
}

void PollJoystick(InputState* state) {
  const InputBackend* backend = Backend();
  if (state->flags & kInputJoystickPolled) backend->poll(kInputDeviceJoystick);
  JoystickDeviceState js{};
  const int32_t result = backend->readJoystickState(&js);
  if (result < 0) {
    if (result == kInputResultNotAcquired || result == kInputResultLost) backend->acquire(kInputDeviceJoystick);
    if (++gJoystickFailures > kJoystickFailureLimit) {
      ReleaseJoystick(state);
      state->flags &= kInputJoystickDropMask;
      state->joystickButtons = 0;
      state->joystickX = state->joystickY = 0;
      gJoystickFailures = 0;
    }
    return;
  }
  gJoystickFailures = 0;
  const uint32_t flags = state->flags;
  state->joystickButtons = 0;
  for (int32_t b = 0; b < kJoystickButtonCount; ++b) {
    if (js.buttons[b] & kRecordDown) state->joystickButtons |= 1u << b;
  }
  if (flags & kInputXYAnalog) {
    state->joystickX = js.x;
    state->joystickY = js.y;
  } else if (flags & kInputXYDigital) {
    state->joystickX = Sign(js.x);
    state->joystickY = Sign(js.y);
  }
  if ((flags & kInputJoystick2) && (state->axisKinds & kAxisZThrottle)) {
    if (flags & kInputZAnalog) state->throttleAxis = js.z;
    else if (flags & kInputZDigital) state->throttleAxis = Sign(js.z);
  } else {
    state->throttleAxis = 0;
  }
  const bool hat = (flags & (kInputHatFound | kInputHatUsed)) == (kInputHatFound | kInputHatUsed);
  state->hat = hat && (js.pov & kPovValueMask) != kPovValueMask ? static_cast<int32_t>(js.pov) : -1;
  if (flags & kInputThrottleFound) {
    const int32_t value = static_cast<int32_t>(
        static_cast<uint32_t>((flags & kInputThrottleFromSlider) ? js.sliders[0] : js.z) & ~kThrottleLowBits);
    if (flags & kInputThrottleLive) {
      state->throttle = state->throttleReference = value;
    } else {
      // A throttle handed back to the scripts stays at 0 until the player moves it.
      state->throttle = 0;
      if (value != state->throttleReference) {
        state->flags |= kInputThrottleLive;
        state->throttle = value;
      }
    }
  } else {
    state->throttle = 0;
  }
  if ((flags & (kInputRudderFound | kInputRudderUsed)) == (kInputRudderFound | kInputRudderUsed)) {
    const int32_t rz = static_cast<int32_t>(static_cast<uint32_t>(js.rz) & ~kRudderLowBits);
    gRudderPrevious = static_cast<int32_t>((int64_t(rz) + 4 * int64_t(gRudderPrevious)) / 5);
    state->rudder = gRudderPrevious;
  } else {
    state->rudder = 0;
  }
  state->rudderRaw = (state->axisKinds & kAxisRudderRaw) == kAxisRudderRaw ? js.rz : 0;
}

// Answers false when there is no device system.
bool PollDevices(InputState* state) {
  if (!gInputDevices.directInput) return false;
  if (gInputDevices.keyboard) PollKeyboard(state);
  if (gInputDevices.mouse) PollMouse(state);
  if ((state->flags & kInputJoystick1) && gInputDevices.joystick) PollJoystick(state);
  return true;
}

}  // namespace

const InputBackend* Backend() { return gBackend ? gBackend : InputSdlBackend(); }
const InputHost& Host() { return gHost; }

int32_t ForceFeedbackGainSetting() {
  int32_t gain = gHost.forceFeedbackGain ? *gHost.forceFeedbackGain : gOwnGain;
  return gain < 0 ? 0 : (gain > 3 ? 3 : gain);
}

int32_t JoystickSensitivitySetting() {
  return gHost.joystickSensitivity ? *gHost.joystickSensitivity : gOwnSensitivity;
}

void SetJoystickSensitivitySetting(int32_t value) {
  if (gHost.joystickSensitivity) *gHost.joystickSensitivity = value;
  else gOwnSensitivity = value;
}

int32_t JoystickDeadZoneSetting() {
  int32_t value = gHost.joystickDeadZone ? *gHost.joystickDeadZone : gOwnDeadZone;
  return value < 0 ? 0 : (value > kMaxDeadZone ? kMaxDeadZone : value);
}

void InputSetHost(const InputHost* host) { gHost = host ? *host : InputHost{}; }
void InputUseBackend(const InputBackend* backend) { gBackend = backend; }
const InputBackend* InputBackendInUse() { return Backend(); }
bool InputHasDeviceKeyboard() { return gInputDevices.keyboard; }

InputState* InputInit(uint32_t inputFlags) {
  if (gInputState) InputShutdown();
  auto* state = static_cast<InputState*>(MemAlloc(kInputStateRecordSize, 0));
  if (!state) return nullptr;
  std::memset(state, 0, kInputStateRecordSize);
  state->flags = inputFlags;
  state->active = 1;
  state->wheel = 0;
  gInputState = state;
  gInputDevices = InputDevices{};
  gInputDevices.opened = true;
  gJoystickFailures = 0;
  gRudderPrevious = 0;
  gHasLeftPress = false;

  if (!Backend()->open()) {
    if (inputFlags & kInputUseMouse) state->mousePresent = 1;
    if (inputFlags & (kInputJoystick1 | kInputJoystick2)) FindLegacyJoysticks(state);
    return state;
  }
  gInputDevices.directInput = true;
  if (!CreateDevices(state)) {
    InputShutdown();
    return nullptr;
  }
  return state;
}

void ReleaseInputDevices() {
  if (!gInputDevices.opened) return;
  const InputBackend* backend = Backend();
  ReleaseJoystick(gInputState);
  if (gInputDevices.mouse) {
    backend->unacquire(kInputDeviceMouse);
    backend->releaseDevice(kInputDeviceMouse);
  }
  if (gInputDevices.keyboard) {
    backend->unacquire(kInputDeviceKeyboard);
    backend->releaseDevice(kInputDeviceKeyboard);
  }
  backend->close();
  gInputDevices = InputDevices{};
}

LegacyAxisCalibration InputLegacyCalibration(int32_t axis) {
  const LegacyAxis& a = gLegacyAxes[axis == 0 ? 0 : 1];
  return LegacyAxisCalibration{a.centre, a.maximum, a.minimum, a.band};
}

void InputShutdown() {
  ReleaseInputDevices();
  // Without a host the saved stick's identifier is ours to free.
  if (!gHost.joystickGuid) FreeGuid();
  if (gInputState) MemFree(gInputState, kInputStateRecordSize, 0);
  gInputState = nullptr;
}

void InputAcquire(int32_t release) {
  InputState* state = gInputState;
  if (!state) return;
  state->joystickButtons = 0;
  state->joystickX = state->joystickY = 0;
  state->allButtons = 0;
  state->leftPressed = state->rightPressed = state->middlePressed = 0;
  state->doubleClick = 0;
  state->leftDown = state->rightDown = state->middleDown = 0;
  state->mouseButtons = state->mouseHeld = 0;
  ClearKeyTables(state);
  if (!gInputDevices.directInput) return;
  const InputBackend* backend = Backend();
  if (release) {
    if (gInputDevices.mouse) backend->unacquire(kInputDeviceMouse);
    if (gInputDevices.keyboard) backend->unacquire(kInputDeviceKeyboard);
    if (gInputDevices.joystick) backend->unacquire(kInputDeviceJoystick);
    return;
  }
  if (gInputDevices.mouse) backend->acquire(kInputDeviceMouse);
  if (gInputDevices.keyboard && backend->acquire(kInputDeviceKeyboard) >= 0) Flush(kInputDeviceKeyboard);
  if (!gInputDevices.joystick) {
    // A stick dropped after failing reads comes back when the window is activated again.
    if ((state->flags & (kInputJoystick1 | kInputJoystick2)) && *GuidSlot()) {
      uint8_t guid[kJoystickGuidSize];
      std::memcpy(guid, *GuidSlot(), kJoystickGuidSize);
      CreateJoystickFromGuid(state, guid);
    }
  } else if (backend->acquire(kInputDeviceJoystick) >= 0 && (state->flags & kInputForceFeedback)) {
    CreateForceFeedbackEffects(state);
  }
}

void BindInputToWindow(void* window) {
  InputAcquire(1);
  if (gInputDevices.directInput) {
    const InputBackend* backend = Backend();
    if (gInputDevices.mouse) backend->bindWindow(kInputDeviceMouse, window);
    if (gInputDevices.keyboard) backend->bindWindow(kInputDeviceKeyboard, window);
    if (gInputDevices.joystick) backend->bindWindow(kInputDeviceJoystick, window);
  }
  InputAcquire(0);
}

int32_t P_SetJoyDeadzone(int32_t value) {
  value = value < 0 ? 0 : (value > kMaxDeadZone ? kMaxDeadZone : value);
  if (gHost.joystickDeadZone) *gHost.joystickDeadZone = value;
  else gOwnDeadZone = value;
  if (gInputDevices.joystick) {
    const InputBackend* backend = Backend();
    backend->unacquire(kInputDeviceJoystick);
    backend->setAxisDeadZone(kJoyAxisX, value * kDeadZoneUnits);
    backend->setAxisDeadZone(kJoyAxisY, value * kDeadZoneUnits);
    if (gInputState && (gInputState->flags & kInputRudderUsed)) backend->setAxisDeadZone(kJoyAxisRz, value * kDeadZoneUnits);
  }
  return value;
}

void PollInput() {
  InputState* state = gInputState;
  if (!state) return;
  if (gInputDevices.opened) Backend()->beginPoll();
  state->allButtons = 0;
  state->mouseDeltaX = state->mouseDeltaY = 0;
  // Cleared on every pass on both paths, so nothing written into it stays held.
  std::memset(state->keyTable, 0, sizeof state->keyTable);
  if (!PollDevices(state) && gInputDevices.opened && (state->flags & (kInputJoystick1 | kInputJoystick2))) {
    PollLegacyJoysticks(state);
  }
  uint32_t all = 0;
  for (int32_t b = 0; b < 5; ++b) {
    if (state->mouseButtons & (1u << b)) all |= kMouseMaskBits[b];
  }
  if (state->flags & kInputJoystick1) {
    for (int32_t b = 0; b < kJoystickButtonsInMask; ++b) {
      if (state->joystickButtons & (1u << b)) all |= kFirstJoystickMaskBit << b;
    }
  }
  state->allButtons = all;
}
