// The game window: a null window answers the scripted work area and frame and keeps its
// placement; an SDL window on the offscreen driver is created, moved, sized and destroyed, and
// its monitor reports the 1920x1080 desktop and the modes the GPU adapter also describes.
#include "platform/window.h"

#include <gtest/gtest.h>

namespace {

TEST(NullWindow, AnswersTheScriptedWorkAreaAndFrame) {
  OsNullWindowScript script{{0, 0, 1920, 1050}, {3, 26, 3, 3}, 1};
  OsUseNullWindows(true, &script);
  OsRect workArea;
  ASSERT_TRUE(OsGetMonitorWorkArea(1, &workArea));
  EXPECT_EQ(workArea.bottom, 1050);
  EXPECT_FALSE(OsGetMonitorWorkArea(2, &workArea));
  // A 1024x768 client area centred across and an eighth down, then grown by the frame.
  OsRect client = {448, 35, 448 + 1024, 35 + 768};
  OsWindow* window = OsCreateWindow("game", &client, kOsWindowVisible | kOsWindowCaption);
  ASSERT_NE(window, nullptr);
  OsRect outer = client;
  OsAdjustWindowRect(&outer, kOsWindowCaption);
  EXPECT_EQ(outer.left, 445);
  EXPECT_EQ(outer.top, 9);
  EXPECT_EQ(outer.right, 1475);
  EXPECT_EQ(outer.bottom, 806);
  OsRect borderless = client;
  OsAdjustWindowRect(&borderless, 0);
  EXPECT_EQ(borderless.top, client.top);
  ASSERT_TRUE(OsMoveWindow(window, 0, 0));
  OsRect placed;
  ASSERT_TRUE(OsGetWindowClientRect(window, &placed));
  EXPECT_EQ(placed.right, 1024);
  EXPECT_EQ(placed.bottom, 768);
  OsDestroyWindow(window);
  OsUseNullWindows(false, nullptr);
}

TEST(OffscreenWindow, IsCreatedMovedSizedAndDestroyed) {
  ASSERT_TRUE(OsWindowsAreOffscreen());
  OsRect bounds;
  ASSERT_TRUE(OsGetMonitorWorkArea(1, &bounds));
  EXPECT_EQ(bounds.right - bounds.left, 1920);
  EXPECT_EQ(bounds.bottom - bounds.top, 1080);
  // The monitor offers the desktop and the common sizes below it, the default 1024x768 among them.
  OsDisplayMode desktop{}, modes[32];
  uint32_t count = 32;
  ASSERT_TRUE(OsGetMonitorModes(1, &desktop, modes, &count));
  EXPECT_EQ(desktop.width, 1920u);
  EXPECT_EQ(desktop.height, 1080u);
  ASSERT_GT(count, 1u);
  EXPECT_EQ(modes[0].width, 1920u);
  bool has1024 = false;
  for (uint32_t i = 0; i < count; ++i) {
    has1024 |= modes[i].width == 1024 && modes[i].height == 768 && modes[i].bitsPerPixel == 32;
    // Largest first: by width, then by height.
    if (i > 0) {
      EXPECT_TRUE(modes[i].width < modes[i - 1].width ||
                  (modes[i].width == modes[i - 1].width && modes[i].height < modes[i - 1].height))
          << i;
    }
  }
  EXPECT_TRUE(has1024);
  // A short list takes the largest modes.
  count = 2;
  ASSERT_TRUE(OsGetMonitorModes(1, &desktop, modes, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(modes[0].width, 1920u);
  OsRect client = {10, 20, 10 + 320, 20 + 200};
  OsWindow* window = OsCreateWindow("game", &client, kOsWindowVisible | kOsWindowCaption);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(OsSetWindowClientSize(window, 640, 400));
  OsRect rect;
  ASSERT_TRUE(OsGetWindowClientRect(window, &rect));
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 400);
  OsShowCursor(false);
  OsDestroyWindow(window);
  EXPECT_EQ(OsCreateWindow("empty", &(const OsRect&)OsRect{5, 5, 5, 9}, 0), nullptr);
}

}  // namespace
