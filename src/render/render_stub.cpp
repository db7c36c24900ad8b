// The least form of the renderer that the application core needs until the display is built: a
// display record of the configured size without a device or drawing surfaces behind it. Called
// by the game main and the shutdown; never touches a window or a graphics device.
#include "render/render.h"


DisplayObject* gDisplay = nullptr;
DisplaySurface* gScreenLists[kScreenListCount] = {};

namespace {

DisplayObject gDisplayRecord;
DisplayDevice gDevice;

}  // namespace

DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth) {
  (void)videoFlags;
  gDevice = DisplayDevice{static_cast<int16_t>(width), static_cast<int16_t>(height), static_cast<int16_t>(depth)};
  // Without a device no surface can have device storage: the display stands in for its own
  // drawing surfaces, of which it has none, so no screen list or logo surface is made.
  gDisplayRecord = DisplayObject{kDisplayNoScreenLists, &gDevice, nullptr};
  gDisplay = &gDisplayRecord;
  return gDisplay;
}

void ReleaseDisplay(int32_t) {
  for (DisplaySurface*& list : gScreenLists) ReleaseImageHandle(&list);
  gDisplay = nullptr;
}
