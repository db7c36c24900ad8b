// The display object's device side: presents frames, resets a lost device in the order that
// lets the device accept the reset, and computes the screen extents, the window placement and
// the surface slots. Called by the screen update and the display's creation; never leaves a
// display surface pointing at a released back buffer.
#include "render/display.h"

#include "platform/gpu.h"
#include "platform/gpu_constants.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/environment_map.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "render/render_matrices.h"
#include "render/screen_effects.h"
#include "render/screen_update.h"
#include "render/surface_ops.h"

int32_t gDeviceReady = 0;

namespace {

void (*gDeviceResetHook)() = nullptr;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }

// Points both screen records at the shared back buffer (or at none).
void SetScreenSurfaces(GpuSurface* surface) {
  if (!gDisplay) return;
  if (gDisplay->videoSurface) gDisplay->videoSurface->deviceSurface = surface;
  if (gDisplay->backBufferSurface) gDisplay->backBufferSurface->deviceSurface = surface;
}

void ReleaseSurface(GpuSurface** surface) {
  if (*surface) (*surface)->Release();
  *surface = nullptr;
}

}  // namespace

void SetDeviceResetHook(void (*hook)()) { gDeviceResetHook = hook; }

int32_t ResetDevice() {
  DeviceRecord* record = Record();
  if (!record || !record->device) return 0;
  RendererOnLostDevice();
  ReleaseSurface(&record->backBuffer);
  ReleaseSurface(&record->depthStencil);
  if (gScreenBackBuffer) {
    ReleaseSurface(&gScreenBackBuffer);
    if (gDeviceSurfaceCount > 0) --gDeviceSurfaceCount;
  }
  // The records only borrowed the released back buffer: they must not keep pointing at it,
  // whether or not the reset succeeds.
  SetScreenSurfaces(nullptr);
  if (GpuFailed(record->device->Reset(&record->presentParameters))) return 0;
  if (GpuSucceeded(record->device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &gScreenBackBuffer))) {
    ++gDeviceSurfaceCount;
    SetScreenSurfaces(gScreenBackBuffer);
  }
  record->device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &record->backBuffer);
  record->device->GetDepthStencilSurface(&record->depthStencil);
  ResetRenderStates();
  if (gDeviceResetHook) gDeviceResetHook();
  if (record->glowFilter) BloomCreateTargets();
  if (record->environmentMap) EnvMapCreate();
  return 1;
}

void PresentFrame() {
  DeviceRecord* record = Record();
  if (!record || !record->device) return;
  const GpuResult result = record->device->Present(nullptr, nullptr, nullptr, nullptr);
  if (result != kGpuErrDeviceLost) {
    gDeviceReady = 1;
    return;
  }
  const GpuResult level = record->device->TestCooperativeLevel();
  if (level == kGpuErrDeviceLost) {
    gDeviceReady = 0;
  } else if (level == kGpuErrDeviceNotReset) {
    // A failed reset leaves no screen surfaces; the next lost-device report tries again.
    ResetDevice();
    gDeviceReady = 1;
  }
}

void ComputeDisplayExtents(int32_t width, int32_t height, int32_t* horizontal, int32_t* vertical) {
  if (width <= 0 || height <= 0) {
    *horizontal = 0x10000;
    *vertical = 0xC000;
    return;
  }
  const int64_t ratio = (static_cast<int64_t>(height) << 16) / width;
  if (ratio > 0xC000) {
    *horizontal = 0x10000;
    *vertical = static_cast<int32_t>(ratio);
  } else {
    *vertical = 0xC000;
    *horizontal = static_cast<int32_t>((static_cast<int64_t>(0xC000) * width) / height);
  }
}

void PlaceWindow(int32_t areaLeft, int32_t areaTop, int32_t areaWidth, int32_t areaHeight, int32_t width,
                 int32_t height, int32_t* left, int32_t* top) {
  *left = areaLeft + (areaWidth / 2 - width / 2);
  *top = areaTop + (areaHeight / 8 - height / 8);
}

// The display's surface words in record order: video, back buffer, then the two spare slots.
DisplaySurface* DisplaySurfaceWord(const DisplayObject* display, int32_t index) {
  if (!display) return nullptr;
  switch (index) {
    case 0: return display->videoSurface;
    case 1: return display->backBufferSurface;
    case 2: return display->spareSurfaces[0];
    case 3: return display->spareSurfaces[1];
    default: return nullptr;
  }
}

DisplaySurface* GetDisplaySurface(int32_t index) {
  // Index 0 is the back buffer, 1 the video surface, 2 and 3 the spare slots the other way round.
  constexpr int32_t kWordOf[] = {1, 0, 3, 2};
  if (index < 0 || index > 3) return nullptr;
  return DisplaySurfaceWord(gDisplay, kWordOf[index]);
}

int32_t DisplayBufferCount() {
  if (!gDisplay) return 1;
  const bool three = (gDisplay->flags & 0x2000000) != 0;
  if (gDisplay->flags & kDisplayBackBuffer) return three ? 4 : 1;
  return three ? 2 : 1;
}
