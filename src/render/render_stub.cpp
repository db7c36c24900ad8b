// The least form of the renderer that the application core needs until the display is built: a
// display record of the configured size without a device behind it, counted screen lists, and a
// screen update and screenshot that draw nothing. Called by the game main, the game loop and the
// shutdown; never touches a window or a graphics device.
#include "render/render.h"

#include "core/memory.h"
#include "core/system_block.h"

DisplayObject* gDisplay = nullptr;
ImageRecord* gScreenLists[kScreenListCount] = {};
void* gFontSlots[kFontSlotCount] = {};

namespace {

DisplayObject gDisplayRecord;
DisplayDevice gDevice;

}  // namespace

DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth) {
  (void)videoFlags;
  gDevice = DisplayDevice{static_cast<int16_t>(width), static_cast<int16_t>(height), static_cast<int16_t>(depth)};
  gDisplayRecord = DisplayObject{0, &gDevice};
  gDisplay = &gDisplayRecord;
  return gDisplay;
}

void ReleaseDisplay(int32_t) {
  for (ImageRecord*& list : gScreenLists) ReleaseImageHandle(&list);
  gDisplay = nullptr;
}

ImageRecord* DisplayListCreate(ImageRecord** slot, int32_t xOffset, int32_t width, int32_t height) {
  (void)xOffset;
  if (!slot) return nullptr;
  if (!*slot) {
    *slot = static_cast<ImageRecord*>(MemAlloc(sizeof(ImageRecord), 0));
    if (!*slot) return nullptr;
    **slot = ImageRecord{};
    (*slot)->refCount = 1;
  }
  (*slot)->width = static_cast<int16_t>(width);
  (*slot)->height = static_cast<int16_t>(height);
  (*slot)->depth = gDisplay && gDisplay->device ? gDisplay->device->bitDepth : 32;
  return *slot;
}

int32_t ReleaseImageHandle(ImageRecord** slot) {
  if (!slot || !*slot) return -1;
  ImageRecord* image = *slot;
  *slot = nullptr;
  if (--image->refCount == 0) MemFree(image, sizeof(ImageRecord), 0);
  return 0;
}

void ReleaseFonts(int32_t slot) {
  if (slot >= 0 && slot < kFontSlotCount) gFontSlots[slot] = nullptr;
}

int32_t InitRender3D() { return 1; }
void UpdateScreen() {}
void TakeScreenshot() {}
