// Message boxes through SDL when a display exists, through stderr when headless. Called by the
// application's error boxes on the one game thread; headless it never waits for anyone.
#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>

#include "platform/os.h"

namespace {

struct ButtonSet {
  int count;
  int32_t answers[3];
  const char* labels[3];
};

ButtonSet ButtonsOf(uint32_t style) {
  switch (style & kOsBoxButtonMask) {
    case kOsBoxOkCancel: return {2, {kOsBoxAnswerOk, kOsBoxAnswerCancel, 0}, {"OK", "Cancel", nullptr}};
    case kOsBoxYesNoCancel:
      return {3, {kOsBoxAnswerYes, kOsBoxAnswerNo, kOsBoxAnswerCancel}, {"Yes", "No", "Cancel"}};
    case kOsBoxYesNo: return {2, {kOsBoxAnswerYes, kOsBoxAnswerNo, 0}, {"Yes", "No", nullptr}};
    default: return {1, {kOsBoxAnswerOk, 0, 0}, {"OK", nullptr, nullptr}};
  }
}

// A default beyond the set's last button falls back to the first, as a box with fewer buttons
// has no such button to focus.
int DefaultIndex(uint32_t style, int count) {
  int index = 0;
  if ((style & kOsBoxDefaultMask) == kOsBoxDefaultButton2) index = 1;
  if ((style & kOsBoxDefaultMask) == kOsBoxDefaultButton3) index = 2;
  return index < count ? index : 0;
}

uint32_t SdlFlags(uint32_t style) {
  switch (style & kOsBoxIconMask) {
    case kOsBoxIconError: return SDL_MESSAGEBOX_ERROR;
    case kOsBoxIconWarning:
    case kOsBoxIconQuestion: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
  }
}

}  // namespace

int32_t OsMessageBox(const char* text, const char* caption, uint32_t style) {
  if (!text) text = "";
  if (!caption) caption = "";
  ButtonSet set = ButtonsOf(style);
  int defaultIndex = DefaultIndex(style, set.count);
  if (!OsIsHeadless()) {
    SDL_MessageBoxButtonData buttons[3];
    for (int k = 0; k < set.count; ++k) {
      buttons[k].flags = k == defaultIndex ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
      buttons[k].buttonid = set.answers[k];
      buttons[k].text = set.labels[k];
    }
    SDL_MessageBoxData data{};
    data.flags = SdlFlags(style);
    data.title = caption;
    data.message = text;
    data.numbuttons = set.count;
    data.buttons = buttons;
    int chosen = 0;
    if (SDL_ShowMessageBox(&data, &chosen) == 0) {
      // Closing the box without a button counts as its escape answer, as a window close does.
      if (chosen < 0) return set.count > 1 ? set.answers[set.count - 1] : set.answers[0];
      return chosen;
    }
    // No box could be shown (no video driver after all): answer as a headless box does.
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
  return set.answers[defaultIndex];
}

void OsHideWindow(void* window) {
  if (!window || OsIsHeadless() || SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  SDL_HideWindow(static_cast<SDL_Window*>(window));
}
