// The main window procedure and the fatal message box. Activation acquires or gives up the input
// devices and keeps the process's active flag; closing the window ends the game; without
// keyboard or mouse devices the window's key and button messages fill the input state instead;
// the cursor follows the system pointer. Called by the message pump through the os message
// queue, which hands it window-system events the input backend translates; never blocks.
#include <cstring>

#include "core/system_block.h"
#include "devices/input_devices.h"
#include "devices/key_codes.h"
#include "devices/movie.h"
#include "platform/input_backend.h"
#include "platform/message_box.h"
#include "render/render.h"

namespace {

constexpr const char* kNoProductCaption = "KORVANE";
constexpr uintptr_t kVirtualBackspace = 8;
constexpr uintptr_t kVirtualSpace = 32;
constexpr uintptr_t kVirtualCharFirst = 0x30;
constexpr uintptr_t kVirtualCharLast = 0x6F;
constexpr int32_t kTranslatedLimit = 4;

int16_t ClampTo(int32_t value, int32_t limit) {
  if (value < 0) return 0;
  if (limit > 0 && value > limit) return static_cast<int16_t>(limit);
  return static_cast<int16_t>(value > 32767 ? 32767 : value);
}

void Activate(InputState* state, bool active) {
  InputAcquire(active ? 0 : 1);
  state->active = active ? 1 : 0;
  if (Host().appActive) *Host().appActive = active ? 1 : 0;
  if (!active) {
    if (Host().stopAllMovies) Host().stopAllMovies();
    else StopAllMovies();
  }
}

// The pointer moved: the game's cursor follows it, and while the game is active the system
// pointer is held at the screen centre so it never leaves the window.
void FollowCursor(InputState* state) {
  const InputBackend* backend = Backend();
  if (!gDisplay || !gDisplay->device || !Host().appActive || *Host().appActive == 0) return;
  state->mouseTime = gSystem ? gSystem->gameTime : 0;
  int32_t x = 0, y = 0;
  if (!backend->cursorPosition(&x, &y)) return;
  const int32_t width = gDisplay->device->width, height = gDisplay->device->height;
  int32_t dx, dy;
  if (!state->active) {
    dx = x - state->cursorX;
    dy = y - state->cursorY;
    state->cursorX = ClampTo(x, width);
    state->cursorY = ClampTo(y, height);
  } else {
    dx = x - width / 2;
    dy = y - height / 2;
    state->cursorX = ClampTo(state->cursorX + dx, width);
    state->cursorY = ClampTo(state->cursorY + dy, height);
  }
  state->mouseDeltaX = static_cast<int16_t>(dx);
  state->mouseDeltaY = static_cast<int16_t>(dy);
  if (state->active) {
    backend->showCursor(false);
    if (dx != 0 || dy != 0) backend->setCursorPosition(width / 2, height / 2);
  }
}

}  // namespace

intptr_t MainWindowProc(void*, uint32_t message, uintptr_t wparam, intptr_t) {
  InputState local{};
  InputState* state = gInputState ? gInputState : &local;
  switch (message) {
    case kWindowMessageActivateApp:
      InputAcquire(wparam ? 0 : 1);
      return 0;
    case kWindowMessageActivate:
      Activate(state, wparam != kWindowInactive);
      return 0;
    case kWindowMessageHitTest:
      return 1;
    case kWindowMessageSysCommand:
      if (wparam == kSysCommandClose) {
        if (Host().shutdownAndExit) Host().shutdownAndExit(0);
        return 0;
      }
      return wparam >= kSysCommandSize && wparam <= kSysCommandMonitorPower ? 1 : 0;
    case kWindowMessageKeyDown:
      if (gInputDevices.keyboard) return 0;
      state->keyPressed = 1;
      if (wparam != kVirtualBackspace && wparam != kVirtualSpace &&
          !(wparam >= kVirtualCharFirst && wparam <= kVirtualCharLast)) {
        KeyRingPush(0, static_cast<int32_t>(wparam), 1);
      }
      return 0;
    case kWindowMessageChar:
      if (!gInputDevices.keyboard) KeyRingPush(0, static_cast<int32_t>(wparam & 0xFF), 0);
      return 0;
    case kWindowMessageLeftDown:
    case kWindowMessageLeftUp:
      if (!gInputDevices.mouse) state->leftPressed = state->leftDown = message == kWindowMessageLeftDown ? 1 : 0;
      return 0;
    case kWindowMessageLeftDouble:
      if (!gInputDevices.mouse) state->doubleClick = 1;
      return 0;
    case kWindowMessageRightDown:
    case kWindowMessageRightUp:
      if (!gInputDevices.mouse) state->rightPressed = state->rightDown = message == kWindowMessageRightDown ? 1 : 0;
      return 0;
    case kWindowMessageSetCursor:
      FollowCursor(state);
      return 1;
    default:
      return 0;
  }
}

void MainWindowDispatch(const OsMessage* message) {
  WindowMessage translated[kTranslatedLimit];
  const int32_t count = Backend()->translateMessage(message, translated, kTranslatedLimit);
  for (int32_t i = 0; i < count && i < kTranslatedLimit; ++i) {
    MainWindowProc(nullptr, translated[i].message, translated[i].wparam, translated[i].lparam);
  }
}

void ShowErrorBox(const char* text) {
  const char* caption = gSystem && gSystem->product && gSystem->product->folderName ? gSystem->product->folderName
                                                                                      : kNoProductCaption;
  OsMessageBox(text ? text : "", caption, kOsBoxOk | kOsBoxIconWarning);
}
