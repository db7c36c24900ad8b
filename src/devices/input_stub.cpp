// Stand-in for the input devices until they exist: there is no input state yet and nothing to
// poll. Called by the message pump; never touches a device.
#include "devices/input.h"

InputState* gInputState = nullptr;

void PollInput() {}
