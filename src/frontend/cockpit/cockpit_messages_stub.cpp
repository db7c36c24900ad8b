// The least form of the message panel, the nav map panel and the camera message line: a panel
// is closed by hiding its slots at once, a message keeps its duration, and the camera message
// only keeps its shown flag. Nothing is drawn. Called by the cockpit natives and the teardown.
#include "frontend/cockpit/cockpit_messages.h"

#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"

namespace {

constexpr int kDurationWord = 1;  // after the start time, before the state

}  // namespace

void ShowCockpitMessage(MessageDisplay* messages, const char* text) {
  if (text) return;
  for (CockpitSlot& slot : messages->slots) HideSlot(&slot);
}

void ShowCockpitMessageFor(MessageDisplay* messages, const char* text, int32_t duration) {
  ShowCockpitMessage(messages, text);
  messages->words[kDurationWord] = duration;
}

void SetCameraMessage(CameraMessage* cameraMessage, const char* text) {
  cameraMessage->shown = text ? 1 : 0;
  if (!text) HideSlot(&cameraMessage->slot);
}

void SetNavMap(NavMap* navMap, int32_t on) {
  if (on) return;
  for (CockpitSlot& slot : navMap->slots) HideSlot(&slot);
}

void UpdateCockpitMessage(MessageDisplay*) {}
void UpdateNavMap(NavMap*) {}
