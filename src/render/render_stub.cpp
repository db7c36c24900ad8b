// The least form of the renderer that the application core needs until the renderer is built:
// a context with one adapter, a display record of the configured size without a device behind
// it, counted screen lists, and a screen update and screenshot that draw nothing. Called by the
// game main, the game loop and the shutdown; never touches a window or a graphics device.
#include "render/render.h"

#include "core/memory.h"
#include "core/system_block.h"
#include "render/d3d_context.h"

Direct3DContext* gDirect3D = nullptr;
DisplayObject* gDisplay = nullptr;
ImageRecord* gScreenLists[kScreenListCount] = {};
void* gFontSlots[kFontSlotCount] = {};

namespace {

Direct3DContext gContext;
DisplayObject gDisplayRecord;
DisplayDevice gDevice;

const char* QualityName(uint32_t level) {
  switch (level) {
    case 0: return "low";
    case 1: return "medium";
    case 2: return "high";
    default: return "not defined";
  }
}

}  // namespace

int32_t CreateDirect3D() {
  gContext = Direct3DContext{};
  gDirect3D = &gContext;
  return 1;
}

int32_t SelectDisplayMode() { return 1; }

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
const char* TextureQualityName() { return gSystem ? QualityName(gSystem->textureQuality) : "not defined"; }
const char* ShaderQualityName() { return gSystem ? QualityName(gSystem->shaderQuality) : "not defined"; }
const char* ShaderProfileName() { return "none"; }
int32_t VertexSizeBytes() { return 32; }
