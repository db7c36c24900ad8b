// The least form of the input devices that the application core needs until the devices are
// built: an input state record with no device behind it, an empty key buffer and an input
// translation with nothing to translate. Called by the message pump, the game main, the game
// loop and the shutdown; never touches a device.
#include "devices/input.h"

#include "core/memory.h"

InputState* gInputState = nullptr;

void PollInput() {}

InputState* InputInit(uint32_t) {
  if (!gInputState) gInputState = static_cast<InputState*>(MemAlloc(sizeof(InputState), 0));
  return gInputState;
}

void ReleaseInputDevices() {}
uint16_t InitKeyboardLayout() { return 0; }
void TranslateInput(int32_t, int32_t) {}
