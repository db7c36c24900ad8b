// The display's creation and release on null windows and the null device: the screen records
// over the one back buffer, their display lists, the extents and depth flags, the first flush
// that full-screen mode runs and windowed mode skips, the window placement on the monitor's
// work area, a partial release that keeps the window and adapters, and the full release; the
// platform's own adapter on the null and the OpenGL device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gpu_null.h"
#include "platform/window.h"
#include "render/display.h"
#include "render/image_records.h"
#include "render/surface_ops.h"
#include "support/d3d_world.h"

namespace {

class DisplayCreate : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    SetImageFileLoader([](const char*, uint32_t) { return CreateImageHandle(32, 1, 1, kSurfaceNoDevice); });
    const OsNullWindowScript script{{0, 0, 1920, 1050}, {4, 24, 4, 4}, 1};
    OsUseNullWindows(true, &script);
    GpuSetAdapterModels({Model("A", {1920, 1080, 60, kGpuFmtX8R8G8B8}, {{1024, 768, 60, kGpuFmtX8R8G8B8}})});
  }
  void TearDown() override {
    ReleaseDisplay(1);
    OsUseNullWindows(false, nullptr);
    SetImageFileLoader(nullptr);
    D3DWorld::TearDown();
  }
  static int Presents() {
    int n = 0;
    for (const std::string& line : GpuNullLog()) n += line == "Present()";
    return n;
  }
};

TEST_F(DisplayCreate, FullScreenDisplayHasBothScreenRecordsOverOneBackBuffer) {
  DisplayObject* display = CreateDisplay(0xE0, 1024, 768, 32);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(display, gDisplay);
  ASSERT_NE(gScreenBackBuffer, nullptr);
  ASSERT_NE(display->videoSurface, nullptr);
  ASSERT_NE(display->backBufferSurface, nullptr);
  EXPECT_EQ(display->videoSurface->deviceSurface, gScreenBackBuffer);
  EXPECT_EQ(display->backBufferSurface->deviceSurface, gScreenBackBuffer);
  EXPECT_NE(display->flags & 0x1000, 0u);  // a 32-bit screen
  EXPECT_EQ(display->horizontalExtent, 0x10000);
  EXPECT_EQ(display->verticalExtent, 0xC000);
  ASSERT_NE(display->device, nullptr);
  EXPECT_EQ(display->device->width, 1024);
  ASSERT_NE(display->videoSurface->displayList, nullptr);
  EXPECT_STREQ(display->videoSurface->displayList->name, "VideoDisplayList");
  EXPECT_EQ(display->videoSurface->displayList->priority, -128);
  EXPECT_EQ(display->videoSurface->displayList->type, 5);
  ASSERT_NE(display->backBufferSurface->displayList, nullptr);
  EXPECT_STREQ(display->backBufferSurface->displayList->name, "BackBufferDisplayList");
  // The first present of the creation and the two of the flush.
  EXPECT_EQ(Presents(), 3);
  EXPECT_EQ(GetDisplaySurface(4), nullptr);
  EXPECT_EQ(GetDisplaySurface(1), display->videoSurface);
}

TEST_F(DisplayCreate, WindowedModeSkipsTheFlushAndSitsOnTheWorkArea) {
  ASSERT_NE(CreateDisplay(0xE0 | kVideoFlagWindowed, 1024, 768, 32), nullptr);
  EXPECT_EQ(Presents(), 1);
  OsRect client{};
  ASSERT_TRUE(OsGetWindowClientRect(gDeviceWindow, &client));
  EXPECT_EQ(client.left, 448);
  EXPECT_EQ(client.top, 35);
  EXPECT_EQ(client.right - client.left, 1024);
}

TEST_F(DisplayCreate, PartialReleaseKeepsWindowAndAdaptersForTheNextCreate) {
  ASSERT_NE(CreateDisplay(0xE0, 1024, 768, 32), nullptr);
  OsWindow* window = gDeviceWindow;
  Direct3DContext* context = gDirect3D;
  const int32_t surfacesBefore = gDeviceSurfaceCount;
  ReleaseDisplay(0);
  EXPECT_EQ(gScreenBackBuffer, nullptr);
  EXPECT_EQ(gDirect3D->device, nullptr);
  EXPECT_EQ(gDeviceWindow, window);
  EXPECT_EQ(gDirect3D, context);
  ASSERT_NE(gDisplay, nullptr);
  ASSERT_NE(CreateDisplay(0xE0, 1024, 768, 32), nullptr);
  EXPECT_EQ(gDeviceWindow, window);
  EXPECT_EQ(gDeviceSurfaceCount, surfacesBefore);
  ReleaseDisplay(1);
  EXPECT_EQ(gDisplay, nullptr);
  EXPECT_EQ(gDirect3D, nullptr);
  EXPECT_EQ(gDeviceWindow, nullptr);
}

// The adapter the platform describes by itself (the offscreen monitor when headless) offers the
// configured 1024x768 screen, full screen and windowed, on the recording device with null
// windows and on the OpenGL device in an offscreen window; the display then presents frames.
TEST_F(DisplayCreate, DefaultAdapterOpensTheConfiguredScreenOnEitherDevice) {
  struct Case {
    const char* what;
    GpuBackend backend;
    uint32_t flags;
  };
  const Case kCases[] = {
      {"null full screen", kGpuBackendNull, 0xE0},
      {"null windowed", kGpuBackendNull, 0xE0 | kVideoFlagWindowed},
      {"OpenGL full screen", kGpuBackendOpenGl, 0xE0},
      {"OpenGL windowed", kGpuBackendOpenGl, 0xE0 | kVideoFlagWindowed},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    GpuSetBackend(c.backend);
    if (c.backend == kGpuBackendOpenGl) OsUseNullWindows(false, nullptr);
    GpuSetAdapterModels({});
    block_.videoFlags = c.flags;
    DisplayObject* display = CreateDisplay(c.flags, 1024, 768, 32);
    ASSERT_NE(display, nullptr);
    ASSERT_NE(display->videoSurface, nullptr);
    EXPECT_EQ(display->videoSurface->width, 1024);
    EXPECT_EQ(display->videoSurface->deviceSurface, gScreenBackBuffer);
    UpdateScreen();
    EXPECT_EQ(gDeviceReady, 1);
    ReleaseDisplay(1);
    EXPECT_EQ(gDisplay, nullptr);
    EXPECT_EQ(gDeviceWindow, nullptr);
  }
}

// A screen size that the adapter has no mode of is a real failure: no display is left behind.
TEST_F(DisplayCreate, ScreenSizeWithoutAModeOpensNoDisplay) {
  GpuSetAdapterModels({});
  block_.screenWidth = 1000;
  block_.screenHeight = 700;
  EXPECT_EQ(CreateDisplay(0xE0, 1000, 700, 32), nullptr);
  EXPECT_EQ(gDirect3D->device, nullptr);
  EXPECT_EQ(gScreenBackBuffer, nullptr);
}

TEST_F(DisplayCreate, WindowOnlyDisplayHasNoDevice) {
  DisplayObject* display = CreateDisplay(0x2000, 640, 480, 32);
  ASSERT_NE(display, nullptr);
  EXPECT_NE(gDeviceWindow, nullptr);
  EXPECT_EQ(gDirect3D, nullptr);
  EXPECT_EQ(display->videoSurface, nullptr);
  UpdateScreen();  // nothing to present
  EXPECT_EQ(Presents(), 0);
}

}  // namespace
