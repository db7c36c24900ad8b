// A running null device for the display tests: the renderer's context over one 1024x768
// adapter, the device made, and a display object whose video and back-buffer records borrow the
// device's back buffer as the screen does. Everything is released again at the end.
#pragma once

#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/surface_ops.h"
#include "support/d3d_world.h"

class DisplayWorld : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    SetImageFileLoader([](const char*, uint32_t) { return CreateImageHandle(32, 1, 1, kSurfaceNoDevice); });
    savedDisplay_ = gDisplay;
    const GpuDisplayMode mode{1024, 768, 60, kGpuFmtX8R8G8B8};
    ready_ = Start({Model("A", {1920, 1080, 60, kGpuFmtX8R8G8B8}, {mode})}) && SelectDisplayMode() == 1 &&
             CreateD3DDevice() == 1;
    if (!ready_) return;
    GpuDevice* device = Record()->device;
    ready_ = GpuSucceeded(device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &gScreenBackBuffer));
    video_.deviceSurface = backBuffer_.deviceSurface = gScreenBackBuffer;
    display_.flags = 0x20;
    display_.videoSurface = &video_;
    display_.backBufferSurface = &backBuffer_;
    gDisplay = &display_;
    GpuNullClearLog();
  }
  void TearDown() override {
    if (gScreenBackBuffer) gScreenBackBuffer->Release();
    gScreenBackBuffer = nullptr;
    gDisplay = savedDisplay_;
    SetImageFileLoader(nullptr);
    D3DWorld::TearDown();
  }

  bool ready_ = false;
  DisplaySurface video_{};
  DisplaySurface backBuffer_{};
  DisplayObject display_{};
  DisplayObject* savedDisplay_ = nullptr;
};
