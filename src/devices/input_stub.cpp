// The least form of the input translation that the application core needs until it is built:
// nothing to translate. Called by the frame input step; never touches a device.
#include "devices/input.h"

void TranslateInput(int32_t, int32_t) {}
