// Least form of the engine frame's screen border words until the frame is built: no border.
// Called by the border natives; reads nothing.
#include "scene/engine_natives.h"

int32_t ScreenBorderX() { return 0; }
int32_t ScreenBorderY() { return 0; }
