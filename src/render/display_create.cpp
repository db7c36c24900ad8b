// The display object's life: CreateDisplay opens the main window, the device and the screen
// surfaces with their display lists; ReleaseDisplay and ShutdownDirect3D take them down again,
// keeping the window and the adapters when the settings are only re-applied. Called by the game
// main, the graphics settings and the shutdown. The shared back buffer is released once, and a
// failed creation leaves no display object behind.
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_constants.h"
#include "platform/window.h"
#include "render/d3d_context.h"
#include "render/display.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "render/screen_update.h"
#include "render/surface_ops.h"

DisplayObject* gDisplay = nullptr;
DisplaySurface* gScreenLists[kScreenListCount] = {};

namespace {

constexpr uint32_t kWant16Bit = 0x800;
constexpr uint32_t kWant24Bit = 0x1000;
constexpr uint32_t kScreenSurfaceFlags = 0x1800020;
constexpr uint32_t kSurfaceUsage16 = 0x100000;
constexpr uint32_t kSurfaceUsage32 = 0x80000;
constexpr uint32_t kSurfaceComplete = 0x10000;

DisplayDevice gDevice;
// The one display record. It is not a heap block, so a process that ends without the final
// release (a fatal message) leaves nothing behind.
DisplayObject gDisplayRecord;

uint32_t WindowFlags(uint32_t flags) {
  if (flags & kDisplayWindowOnly) return kOsWindowVisible | kOsWindowCaption | kOsWindowResizable;
  if (flags & kVideoFlagWindowed) return kOsWindowVisible | kOsWindowCaption | kOsWindowOpenGl;
  return kOsWindowVisible | kOsWindowOpenGl;
}

void FreeDisplayObject() {
  gDisplayRecord = DisplayObject{};
  gDisplay = nullptr;
}

// A failure after the device exists: the surfaces, the device and the object go, so no global
// keeps pointing at any of them.
DisplayObject* FailAfterDevice() {
  ShutdownDirect3D(0);
  FreeDisplayObject();
  return nullptr;
}

void ClearScreen(GpuDevice* device) {
  device->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0, 1.0f, 0);
}

bool OpenWindow(int32_t width, int32_t height, uint32_t flags) {
  if (gDeviceWindow) return true;
  OsRect area{0, 0, width, height};
  OsGetMonitorWorkArea(1, &area);
  OsRect client{0, 0, width, height};
  if (flags & kDisplayWindowOnly) {
    // The low 16 bits of the flags would be the position; a centred window is sound.
    PlaceWindow(area.left, area.top, area.right - area.left, area.bottom - area.top, width, height, &client.left,
                &client.top);
  } else if (flags & kVideoFlagWindowed) {
    client.left = (area.right - area.left) / 2 - width / 2;
    client.top = (area.bottom - area.top) / 8 - height / 8;
  }
  client.right = client.left + width;
  client.bottom = client.top + height;
  const char* title = (gSystem && gSystem->product && gSystem->product->folderName) ? gSystem->product->folderName
                                                                                     : "Korvane";
  gDeviceWindow = OsCreateWindow(title, &client, WindowFlags(flags));
  if (!gDeviceWindow) return false;
  OsRect actual{};
  if (OsGetWindowClientRect(gDeviceWindow, &actual) &&
      (actual.right - actual.left > width || actual.bottom - actual.top > height))
    OsSetWindowClientSize(gDeviceWindow, width, height);
  if (!(flags & kVideoFlagWindowed) && !(flags & kDisplayWindowOnly)) OsShowCursor(false);
  return true;
}

// Second placement on the chosen adapter's monitor.
void PlaceOnAdapterMonitor(int32_t width, int32_t height, uint32_t flags) {
  const DisplaySelection& selection = CurrentDisplaySelection();
  const int32_t ordinal = selection.adapterOrdinal ? *selection.adapterOrdinal : 0;
  const uintptr_t monitor = gDirect3D->system->GetAdapterMonitor(static_cast<uint32_t>(ordinal < 0 ? 0 : ordinal));
  OsRect area{};
  if (!OsGetMonitorWorkArea(monitor, &area)) return;
  int32_t left = area.left, top = area.top;
  if (flags & kVideoFlagWindowed)
    PlaceWindow(area.left, area.top, area.right - area.left, area.bottom - area.top, width, height, &left, &top);
  OsMoveWindow(gDeviceWindow, left, top);
}

uint32_t UsageFlagFor(const DisplaySurface* surface) {
  if (surface->flags & kSurface16Bit) return kSurfaceUsage16;
  if (surface->flags & (kSurface24Bit | kSurface32Bit)) return kSurfaceUsage32;
  return 0;
}

DisplaySurface* NewScreenSurface(int32_t width, int32_t height) {
  DisplaySurface* surface = CreateImageHandle(32, width, height, kScreenSurfaceFlags | kSurfaceNoDevice);
  if (!surface) return nullptr;
  surface->flags &= ~kSurfaceNoDevice;
  // Both screen records borrow the one reference gScreenBackBuffer holds.
  if (!AttachD3DSurface(surface, gScreenBackBuffer)) {
    ReleaseImageHandle(&surface);
    return nullptr;
  }
  return surface;
}

bool GiveDisplayList(DisplaySurface* surface, const char* name) {
  DisplayList* list = DisplayListCreate(surface, nullptr, 0, surface->width, surface->height);
  if (!list) return false;
  list->priority = kScreenListPriority;
  list->name = name;
  list->type = kDisplayListScreen;
  return true;
}

void CompleteScreenSurface(DisplaySurface* surface, const char* name) {
  surface->flags |= UsageFlagFor(surface);
  SetSurfaceName(surface, name);
  surface->flags |= kSurfaceComplete;
  BuildImageHandle(surface);
}

// The screen records only borrow the shared back buffer: their pointers are cleared before
// the records go, so the buffer itself is released once, by its owner.
void ReleaseScreenSurface(DisplaySurface** slot) {
  if (*slot && (*slot)->deviceSurface) {
    (*slot)->deviceSurface = nullptr;
    --gDeviceSurfaceCount;
  }
  while (*slot) ReleaseImageHandle(slot);
}

}  // namespace

DisplayObject* CreateMainWindow(int32_t width, int32_t height, int32_t depth, uint32_t flags) {
  if (flags & kWant16Bit) depth = 15;
  if (flags & kWant24Bit) depth = 24;
  if (depth == 15) depth = 16;
  gDisplay->flags = flags;
  if (!OpenWindow(width, height, flags)) return nullptr;
  if (flags & kDisplayWindowOnly) return gDisplay;

  if (CreateDirect3D() != 1 || !gDirect3D || gDirect3D->adapterCount == 0) return nullptr;
  if (SelectDisplayMode() != 1) return nullptr;
  PlaceOnAdapterMonitor(width, height, flags);
  if (CreateD3DDevice() != 1 || !gDirect3D->device || !gDirect3D->device->device) return nullptr;
  GpuDevice* device = gDirect3D->device->device;

  if (depth >= 15 && depth <= 23) flags |= kWant16Bit;
  if (depth >= 24) flags |= kWant24Bit;
  gDisplay->flags = flags;
  gDevice = DisplayDevice{static_cast<int16_t>(width), static_cast<int16_t>(height), static_cast<int16_t>(depth)};
  gDisplay->device = &gDevice;

  if (GpuFailed(device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &gScreenBackBuffer))) return FailAfterDevice();
  ++gDeviceSurfaceCount;
  if (GpuFailed(device->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0, 1.0f, 0))) return FailAfterDevice();
  gDisplay->videoSurface = NewScreenSurface(width, height);
  if (!gDisplay->videoSurface) return FailAfterDevice();
  ComputeDisplayExtents(width, height, &gDisplay->horizontalExtent, &gDisplay->verticalExtent);
  device->Present(nullptr, nullptr, nullptr, nullptr);
  ClearScreen(device);
  gDisplay->backBufferSurface = NewScreenSurface(width, height);
  if (!gDisplay->backBufferSurface) return FailAfterDevice();
  SurfaceChannel channels[4];
  if (!SurfaceGetChannelInfo(gDisplay->videoSurface, channels)) return FailAfterDevice();

  if (gSystem) gSystem->usageBase = UsageFlagFor(gDisplay->videoSurface);
  CompleteScreenSurface(gDisplay->videoSurface, "VideoEBM");
  if (flags & kDisplayBackBuffer) CompleteScreenSurface(gDisplay->backBufferSurface, "BackBufferEBM");
  return gDisplay;
}

void FlushDisplayLists() {
  if (!gDisplay || !gDisplay->videoSurface) return;
  DisplaySurface* video = gDisplay->videoSurface;
  if (!(gDisplay->flags & kDisplayBackBuffer)) {
    SurfaceFillRect(video, 0, 0, video->width, video->height, 0);
    InvalidateDisplayLists();
    return;
  }
  DisplaySurface* back = gDisplay->backBufferSurface;
  // Twice, so that both buffers of the swap chain are black.
  for (int pass = 0; pass < 2; ++pass) {
    if (back && video->width <= back->width && video->height <= back->height)
      SurfaceFillRect(back, 0, 0, video->width, video->height, 0);
    UpdateScreen();
  }
}

DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth) {
  if (!gDisplay) {
    gDisplayRecord = DisplayObject{};
    gDisplay = &gDisplayRecord;
  }
  if (!CreateMainWindow(width, height, depth, videoFlags)) return nullptr;
  if (gDisplay->flags & kDisplayWindowOnly) return gDisplay;
  if (!GiveDisplayList(gDisplay->videoSurface, "VideoDisplayList")) return nullptr;
  if ((gDisplay->flags & kDisplayBackBuffer) && !GiveDisplayList(gDisplay->backBufferSurface, "BackBufferDisplayList"))
    return nullptr;
  if (!(gDisplay->flags & kVideoFlagWindowed)) FlushDisplayLists();
  return gDisplay;
}

void ShutdownDirect3D(int32_t full) {
  if (!gDisplay) return;
  if (full) ReleaseLightingImages();
  if (gDirect3D && gDirect3D->device && gScreenBackBuffer) {
    gScreenBackBuffer->Release();
    gScreenBackBuffer = nullptr;
    if (gDeviceSurfaceCount > 0) --gDeviceSurfaceCount;
  }
  ReleaseScreenSurface(&gDisplay->backBufferSurface);
  ReleaseScreenSurface(&gDisplay->videoSurface);
  FreeDeviceRecord();
  ReleaseAdapterTables(full);
  if (full) {
    FreeDirect3DContext();
    if (gDeviceWindow) OsDestroyWindow(gDeviceWindow);
    gDeviceWindow = nullptr;
  }
}

void ReleaseDisplay(int32_t full) {
  for (DisplaySurface*& list : gScreenLists) ReleaseImageHandle(&list);
  if (!gDisplay) return;
  if (gDisplay->videoSurface) DisplayListFree(gDisplay->videoSurface);
  if ((gDisplay->flags & kDisplayBackBuffer) && gDisplay->backBufferSurface)
    DisplayListFree(gDisplay->backBufferSurface);
  FreeSquareTable();
  ShutdownDirect3D(full);
  if (full) FreeDisplayObject();
}
