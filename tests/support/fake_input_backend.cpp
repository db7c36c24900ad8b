// The scripted input devices of the tests; see fake_input_backend.h.
#include "support/fake_input_backend.h"

#include <algorithm>
#include <cstring>

#include "devices/input.h"
#include "devices/key_codes.h"
#include "platform/window.h"

namespace {

FakeInput gFake;
bool gKeyboard = false, gMouse = false;
bool gKeyboardAcquired = false, gMouseAcquired = false, gJoystickAcquired = false;

void Log(const std::string& line) { gFake.log.push_back(line); }

bool Open() { return gFake.openOk; }
void Close() {}
void BeginPoll() {}

bool CreateDevice(int32_t kind) {
  bool ok = kind == kInputDeviceKeyboard ? gFake.keyboardOk : gFake.mouseOk;
  if (!ok) return false;
  (kind == kInputDeviceKeyboard ? gKeyboard : gMouse) = true;
  return true;
}
bool BindWindow(int32_t, void*) { return true; }
bool SetBufferSize(int32_t, int32_t) { return true; }
bool NeedsPolling(int32_t) { return false; }

int32_t ReadBuffered(int32_t kind, InputRecord* records, int32_t* count) {
  std::deque<InputRecord>& queue = kind == kInputDeviceKeyboard ? gFake.keys : gFake.mice;
  int32_t& result = kind == kInputDeviceKeyboard ? gFake.keyboardResult : gFake.mouseResult;
  if (result < 0) {
    int32_t failed = result;
    result = kInputResultOk;
    return failed;
  }
  if (!records) {
    if (kind == kInputDeviceKeyboard) ++gFake.keyboardFlushes;
    queue.clear();
    *count = 0;
    return kInputResultOk;
  }
  int32_t taken = 0;
  while (taken < *count && !queue.empty()) {
    records[taken++] = queue.front();
    queue.pop_front();
  }
  *count = taken;
  int32_t answer = result;
  result = kInputResultOk;
  return answer;
}

int32_t ReadMouseState(MouseDeviceState* state) {
  *state = gFake.mouseState;
  return kInputResultOk;
}

void ReleaseDevice(int32_t kind) {
  if (kind == kInputDeviceJoystick) gFake.joystickOpen = false;
  if (kind == kInputDeviceKeyboard) gKeyboard = false;
  if (kind == kInputDeviceMouse) gMouse = false;
  Log("release " + std::to_string(kind));
}

int32_t Acquire(int32_t kind) {
  Log("acquire " + std::to_string(kind));
  if (kind == kInputDeviceJoystick) {
    if (!gFake.joystickOpen) return kInputResultFailed;
    gJoystickAcquired = true;
  }
  if (kind == kInputDeviceKeyboard) gKeyboardAcquired = true;
  if (kind == kInputDeviceMouse) gMouseAcquired = true;
  return kInputResultOk;
}

void Unacquire(int32_t kind) {
  Log("unacquire " + std::to_string(kind));
  if (kind == kInputDeviceJoystick) gJoystickAcquired = false;
  if (kind == kInputDeviceKeyboard) gKeyboardAcquired = false;
  if (kind == kInputDeviceMouse) gMouseAcquired = false;
}

int32_t Poll(int32_t) { return kInputResultOk; }

bool JoystickAttached(const uint8_t* guid) {
  return gFake.joystickAttached && std::memcmp(guid, gFake.guid, sizeof gFake.guid) == 0;
}

bool FirstJoystick(uint8_t* guid) {
  if (!gFake.joystickAttached) return false;
  std::memcpy(guid, gFake.guid, sizeof gFake.guid);
  return true;
}

bool CreateJoystick(const uint8_t* guid) {
  if (!gFake.createJoystickOk || !JoystickAttached(guid)) return false;
  gFake.joystickOpen = true;
  ++gFake.joystickCreations;
  return true;
}

int32_t JoystickObjects(int32_t* objects, int32_t limit) {
  int32_t count = 0;
  for (int32_t object : gFake.objects) {
    if (count < limit) objects[count++] = object;
  }
  return count;
}

bool JoystickCapsOf(JoystickCaps* caps) {
  *caps = gFake.caps;
  return gFake.joystickOpen;
}

bool SetAxisRange(int32_t, int32_t, int32_t) { return gFake.axesOk; }

bool SetAxisDeadZone(int32_t axis, int32_t deadZone) {
  if (axis < 0 || axis >= kJoyAxisCount) return false;
  gFake.deadZones[axis] = deadZone;
  return gFake.axesOk;
}

int32_t ReadJoystickState(JoystickDeviceState* state) {
  if (gFake.joystickResult < 0) return gFake.joystickResult;
  *state = gFake.joystick;
  return kInputResultOk;
}

bool SetAutoCenter(bool on) {
  gFake.autoCenter = on;
  Log(on ? "autocenter on" : "autocenter off");
  return true;
}

bool HasEffectType(int32_t type) { return type == kEffectConstant ? gFake.hasConstant : gFake.hasPeriodic; }

int32_t CreateEffect(const ForceEffectDesc* desc) {
  gFake.madeEffects.push_back(*desc);
  int32_t handle = gFake.nextEffect++;
  gFake.liveEffects.push_back(handle);
  Log("effect " + std::to_string(handle));
  return handle;
}

bool SetEffectDirection(int32_t, int32_t direction0, int32_t) {
  gFake.directions.push_back(direction0);
  return true;
}

bool StartEffect(int32_t effect) {
  gFake.started.push_back(effect);
  return true;
}

void ReleaseEffect(int32_t effect) {
  gFake.liveEffects.erase(std::remove(gFake.liveEffects.begin(), gFake.liveEffects.end(), effect),
                          gFake.liveEffects.end());
}

int32_t LegacyJoystickCount() { return gFake.legacyCount; }

bool LegacyJoystickPosition_(int32_t index, LegacyJoystickPosition* position) {
  if (index < 0 || index >= gFake.legacyCount || index > 1) return false;
  *position = gFake.legacy[index];
  return true;
}

const char* KeyName(int32_t scan) {
  auto found = gFake.keyNames.find(scan);
  return found == gFake.keyNames.end() ? nullptr : found->second.c_str();
}

int32_t KeyCharacter(int32_t, bool, char*, int32_t) { return 0; }

bool CursorPosition(int32_t* x, int32_t* y) {
  *x = gFake.cursorX;
  *y = gFake.cursorY;
  return true;
}

void SetCursorPosition(int32_t x, int32_t y) { gFake.warps.emplace_back(x, y); }
void ShowCursor(bool show) { gFake.cursorShown = show; }

int32_t TranslateMessage(const OsMessage* message, WindowMessage* out, int32_t limit) {
  auto found = gFake.translations.find(message->code);
  if (found == gFake.translations.end()) return 0;
  int32_t count = 0;
  for (const WindowMessage& m : found->second) {
    if (count < limit) out[count++] = m;
  }
  return count;
}

const InputBackend kFake = {
    Open, Close, BeginPoll, CreateDevice, BindWindow, SetBufferSize, NeedsPolling, ReadBuffered,
    ReadMouseState, ReleaseDevice, Acquire, Unacquire, Poll, JoystickAttached, FirstJoystick,
    CreateJoystick, JoystickObjects, JoystickCapsOf, SetAxisRange, SetAxisDeadZone, ReadJoystickState,
    SetAutoCenter, HasEffectType, CreateEffect, SetEffectDirection, StartEffect, ReleaseEffect,
    LegacyJoystickCount, LegacyJoystickPosition_, KeyName, KeyCharacter, CursorPosition,
    SetCursorPosition, ShowCursor, TranslateMessage,
};

}  // namespace

FakeInput& Fake() { return gFake; }

void FakeInputInstall() {
  gFake = FakeInput{};
  gKeyboard = gMouse = false;
  gKeyboardAcquired = gMouseAcquired = gJoystickAcquired = false;
  InputUseBackend(&kFake);
  InputSetHost(nullptr);
  KeyRingReset();
}

void FakeInputRemove() {
  InputShutdown();
  InputSetHost(nullptr);
  InputUseBackend(nullptr);
  KeyRingReset();
  FreeKeyTexts();
}
