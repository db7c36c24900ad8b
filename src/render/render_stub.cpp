// The least form of the renderer that the application core needs until the display is built: a
// display record of the configured size without a device or screen surfaces behind it, the
// release of image records with their display lists and device storage, and a screen update
// and screenshot that draw nothing. Called by the game main, the game loop and the
// shutdown; never touches a window or a graphics device.
#include "render/render.h"

#include "core/memory.h"
#include "core/system_block.h"
#include "render/surface_ops.h"

DisplayObject* gDisplay = nullptr;
DisplaySurface* gScreenLists[kScreenListCount] = {};
void* gFontSlots[kFontSlotCount] = {};

namespace {

DisplayObject gDisplayRecord;
DisplayDevice gDevice;

}  // namespace

DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth) {
  (void)videoFlags;
  gDevice = DisplayDevice{static_cast<int16_t>(width), static_cast<int16_t>(height), static_cast<int16_t>(depth)};
  gDisplayRecord = DisplayObject{0, &gDevice, nullptr};
  gDisplay = &gDisplayRecord;
  return gDisplay;
}

void ReleaseDisplay(int32_t) {
  for (DisplaySurface*& list : gScreenLists) ReleaseImageHandle(&list);
  gDisplay = nullptr;
}

int32_t ReleaseImageHandle(DisplaySurface** slot) {
  if (!slot || !*slot) return -1;
  DisplaySurface* image = *slot;
  *slot = nullptr;
  if (--image->refCount >= 1) return image->refCount;
  DisplayListFree(image);
  ReleaseImageSurface(image);
  if (image->updateRects && !(image->flags & kSurfaceSmall)) MemFree(image->updateRects, image->updateBytes, 0);
  MemFree(image, sizeof(DisplaySurface), 0);
  return 0;
}

void ReleaseFonts(int32_t slot) {
  if (slot >= 0 && slot < kFontSlotCount) gFontSlots[slot] = nullptr;
}

void UpdateScreen() {}
void TakeScreenshot() {}
