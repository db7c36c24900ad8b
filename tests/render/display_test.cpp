// The display's device side on the null device: presenting, a device that stays lost, the reset
// order and a reset the device refuses (no record may keep the released back buffer), the
// screen extents, the window placement and the surface slots.
#include "render/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gpu_constants.h"
#include "platform/gpu_null.h"
#include "render/render_logo.h"
#include "support/display_world.h"

namespace {

using Strings = std::vector<std::string>;

Strings gHookCalls;

int Count(const Strings& log, const std::string& prefix) {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class Display : public DisplayWorld {
 protected:
  void SetUp() override {
    DisplayWorld::SetUp();
    ASSERT_TRUE(ready_);
    gHookCalls.clear();
    SetDeviceResetHook([] { gHookCalls.push_back("effects"); });
    gDeviceReady = 0;
  }
  void TearDown() override {
    SetDeviceResetHook(nullptr);
    DisplayWorld::TearDown();
  }
};

TEST_F(Display, NormalPresentSetsTheReadyFlag) {
  PresentFrame();
  EXPECT_EQ(gDeviceReady, 1);
  EXPECT_EQ(GpuNullLog(), Strings{"Present()"});
}

TEST_F(Display, LostDeviceWaitsUntilItCanBeReset) {
  GpuInjectResult("Present", kGpuErrDeviceLost, 3);
  GpuInjectResult("TestCooperativeLevel", kGpuErrDeviceLost, 2);
  GpuInjectResult("TestCooperativeLevel", kGpuErrDeviceNotReset, 1, 2);
  PresentFrame();
  PresentFrame();
  EXPECT_EQ(gDeviceReady, 0);
  EXPECT_EQ(Count(GpuNullLog(), "Reset("), 0);
  EXPECT_TRUE(gHookCalls.empty());

  GpuNullClearLog();
  PresentFrame();
  EXPECT_EQ(gDeviceReady, 1);
  const Strings log = GpuNullLog();
  // The device accepts the reset because every default-pool reference was given back first.
  auto reset = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Reset(", 0) == 0; });
  ASSERT_NE(reset, log.end());
  EXPECT_GE(Count(Strings(reset, log.end()), "GetBackBuffer("), 2);
  EXPECT_EQ(gHookCalls, Strings{"effects"});
  ASSERT_NE(gScreenBackBuffer, nullptr);
  EXPECT_EQ(video_.deviceSurface, gScreenBackBuffer);
  EXPECT_EQ(backBuffer_.deviceSurface, gScreenBackBuffer);
  EXPECT_NE(Record()->backBuffer, nullptr);
  EXPECT_NE(Record()->depthStencil, nullptr);
}

TEST_F(Display, RefusedResetLeavesNoSurfacePointingAtTheOldBackBuffer) {
  GpuInjectResult("Reset", kGpuErrDeviceLost, 1);
  EXPECT_EQ(ResetDevice(), 0);
  EXPECT_EQ(gScreenBackBuffer, nullptr);
  EXPECT_EQ(video_.deviceSurface, nullptr);
  EXPECT_EQ(backBuffer_.deviceSurface, nullptr);
  EXPECT_EQ(Record()->backBuffer, nullptr);
  EXPECT_TRUE(gHookCalls.empty());

  // The next lost-device report retries, and this time the reset succeeds.
  GpuInjectResult("Present", kGpuErrDeviceLost, 1);
  GpuInjectResult("TestCooperativeLevel", kGpuErrDeviceNotReset, 1);
  PresentFrame();
  EXPECT_EQ(gDeviceReady, 1);
  EXPECT_NE(gScreenBackBuffer, nullptr);
  EXPECT_EQ(video_.deviceSurface, gScreenBackBuffer);
}

TEST_F(Display, OtherCooperativeAnswerKeepsTheReadyFlag) {
  gDeviceReady = 0;
  GpuInjectResult("Present", kGpuErrDeviceLost, 1);
  GpuInjectResult("TestCooperativeLevel", kGpuErrInvalidCall, 1);
  PresentFrame();
  EXPECT_EQ(gDeviceReady, 0);
  EXPECT_EQ(Count(GpuNullLog(), "Reset("), 0);
}

TEST(DisplayGeometry, ExtentsAgainstAFourToThreeFrame) {
  struct Case {
    int32_t width, height, horizontal, vertical;
  };
  const Case kCases[] = {
      {1280, 1024, 0x10000, 0xCCCC},  // 0.8: taller than 4:3
      {1920, 1080, 0x15555, 0xC000},  // 1.333 wide
      {1024, 768, 0x10000, 0xC000},   // exactly 4:3
  };
  for (const Case& c : kCases) {
    int32_t h = 0, v = 0;
    ComputeDisplayExtents(c.width, c.height, &h, &v);
    EXPECT_EQ(h, c.horizontal) << c.width << "x" << c.height;
    EXPECT_EQ(v, c.vertical) << c.width << "x" << c.height;
  }
}

TEST(DisplayGeometry, WindowIsCentredAcrossAndAnEighthDown) {
  int32_t left = 0, top = 0;
  PlaceWindow(0, 0, 1920, 1050, 1024, 768, &left, &top);
  EXPECT_EQ(left, 448);
  EXPECT_EQ(top, 35);
  PlaceWindow(1920, 20, 1920, 1050, 1024, 768, &left, &top);
  EXPECT_EQ(left, 1920 + 448);
  EXPECT_EQ(top, 20 + 35);
}

TEST(DisplayGeometry, SurfaceSlotsAndBufferCounts) {
  DisplaySurface video{}, back{}, spare0{}, spare1{};
  DisplayObject display{};
  display.videoSurface = &video;
  display.backBufferSurface = &back;
  display.spareSurfaces[0] = &spare0;
  display.spareSurfaces[1] = &spare1;
  DisplayObject* saved = gDisplay;
  gDisplay = &display;
  EXPECT_EQ(GetDisplaySurface(0), &back);
  EXPECT_EQ(GetDisplaySurface(1), &video);
  EXPECT_EQ(GetDisplaySurface(2), &spare1);
  EXPECT_EQ(GetDisplaySurface(3), &spare0);
  EXPECT_EQ(GetDisplaySurface(4), nullptr);
  EXPECT_EQ(GetDisplaySurface(-1), nullptr);
  // The surface words the logo screen takes are the record's own order.
  EXPECT_EQ(DisplaySurfaceWord(&display, 0), &video);
  EXPECT_EQ(DisplaySurfaceWord(&display, 1), &back);
  EXPECT_EQ(DisplaySurfaceWord(&display, 2), &spare0);
  EXPECT_EQ(DisplaySurfaceWord(&display, 3), &spare1);
  EXPECT_EQ(DisplaySurfaceWord(&display, 4), nullptr);
  EXPECT_EQ(DisplaySurfaceWord(nullptr, 0), nullptr);
  struct Case {
    uint32_t flags;
    int32_t count;
  };
  const Case kCases[] = {{0x20 | 0x2000000, 4}, {0x20, 1}, {0x2000000, 2}, {0, 1}};
  for (const Case& c : kCases) {
    display.flags = c.flags;
    EXPECT_EQ(DisplayBufferCount(), c.count) << std::hex << c.flags;
  }
  gDisplay = saved;
}

}  // namespace
