// The least form of the frame statistics until the screen update is built: no line is written.
// Called by the display-list flush; touches nothing.
#include "render/screen_update.h"

void DrawFrameStats(DisplaySurface*) {}
