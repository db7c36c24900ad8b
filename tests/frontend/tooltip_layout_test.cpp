// The tooltip's show-time rules (same text again, a new text during the delay, the clock wrapping),
// the box placement at the display's edges, and the nine-part frame: its blit list for width 50 and
// the clamping that keeps an empty or a very long text inside the 256 x 256 texture.
#include <gtest/gtest.h>

#include "frontend/hud/tooltip_layout.h"

namespace {

TEST(TooltipShowTime, Rules) {
  struct Case {
    const char* what;
    bool showing, sameText;
    uint32_t old, now;
    int32_t delay;
    uint32_t expected;
  };
  const Case kCases[] = {
      {"no delay", true, false, 9000, 5000, 0, 5000},
      {"first show waits", false, false, 0, 5000, 300, 5300},
      {"same text, time passed -> now", true, true, 4000, 5000, 300, 5000},
      {"same text, still waiting", true, true, 5200, 5000, 300, 5200},
      {"same text, 0 ms since", true, true, 5000, 5000, 300, 5000},
      {"new text during the delay restarts it", true, false, 5200, 5000, 300, 5300},
      {"new text after the delay -> now", true, false, 4000, 5000, 300, 5000},
      {"clock wrapped, old still ahead", true, false, 0x10, 0xFFFFFFF0u, 100, 0xFFFFFFF0u + 100},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(TooltipShowTime(c.showing, c.sameText, c.old, c.now, c.delay), c.expected) << c.what;
  }
}

TEST(TooltipPlacement, EdgesAndFlip) {
  struct Case {
    const char* what;
    int32_t x, y;
    TooltipBox expected;
  };
  // text width 88 / divisor 2 + 6 = 50 wide; line height 32 / 2 = 16 high; display 640 x 480.
  const Case kCases[] = {
      {"inside", 100, 100, {100, 100, 50, 16}},
      {"right edge", 620, 100, {590, 100, 50, 16}},
      {"left margin", -5, 100, {2, 100, 50, 16}},
      {"bottom flips above by h + 22", 100, 470, {100, 470 - 22 - 16, 50, 16}},
      {"top margin", 100, 0, {100, 2, 50, 16}},
  };
  for (const Case& c : kCases) {
    const TooltipBox box = PlaceTooltip(88, 32, 2, c.x, c.y, 640, 480);
    EXPECT_EQ(box.x, c.expected.x) << c.what;
    EXPECT_EQ(box.y, c.expected.y) << c.what;
    EXPECT_EQ(box.width, c.expected.width) << c.what;
    EXPECT_EQ(box.height, c.expected.height) << c.what;
  }
}

TEST(TooltipFrame, BlitListForWidth50) {
  TooltipFramePart parts[kTooltipFrameParts];
  TooltipFrame(50, 16, parts);
  const TooltipFramePart kExpected[kTooltipFrameParts] = {
      {57, 45, 4, 4, 0, 0, 4, 4, false},     {74, 45, 15, 4, 4, 0, 42, 4, true},
      {102, 45, 4, 4, 46, 0, 4, 4, false},   {57, 65, 4, 15, 0, 4, 4, 14, true},
      {74, 65, 15, 15, 4, 4, 42, 14, true},  {102, 65, 4, 15, 46, 4, 4, 14, true},
      {57, 82, 4, 4, 0, 18, 4, 4, false},    {74, 82, 15, 4, 4, 18, 42, 4, true},
      {102, 82, 4, 4, 46, 18, 4, 4, false},
  };
  for (int i = 0; i < kTooltipFrameParts; ++i) {
    const TooltipFramePart& p = parts[i];
    const TooltipFramePart& e = kExpected[i];
    EXPECT_EQ(p.sourceX, e.sourceX) << i;
    EXPECT_EQ(p.sourceY, e.sourceY) << i;
    EXPECT_EQ(p.sourceWidth, e.sourceWidth) << i;
    EXPECT_EQ(p.sourceHeight, e.sourceHeight) << i;
    EXPECT_EQ(p.x, e.x) << i;
    EXPECT_EQ(p.y, e.y) << i;
    EXPECT_EQ(p.width, e.width) << i;
    EXPECT_EQ(p.height, e.height) << i;
    EXPECT_EQ(p.tiled, e.tiled) << i;
  }
}

TEST(TooltipFrame, EmptyAndLongTextsStayInsideTheTexture) {
  struct Case {
    const char* what;
    int32_t textWidth, lineHeight;
  };
  const Case kCases[] = {{"empty", 0, 0}, {"400 pixels", 400, 16}, {"tall", 10, 4000}, {"negative", -50, -9}};
  for (const Case& c : kCases) {
    const TooltipBox box = PlaceTooltip(c.textWidth, c.lineHeight, 1, 10, 10, 1024, 768);
    TooltipFramePart parts[kTooltipFrameParts];
    TooltipFrame(box.width, box.height, parts);
    for (const TooltipFramePart& p : parts) {
      EXPECT_GE(p.x, 0) << c.what;
      EXPECT_GE(p.y, 0) << c.what;
      EXPECT_GE(p.width, 0) << c.what;
      EXPECT_GE(p.height, 0) << c.what;
      EXPECT_LE(p.x + p.width, kTooltipTextureSize) << c.what;
      EXPECT_LE(p.y + p.height, kTooltipTextureSize) << c.what;
    }
  }
}

}  // namespace
