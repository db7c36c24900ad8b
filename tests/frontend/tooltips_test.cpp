// The cockpit's tooltip shown on a real cockpit with the block font and read back from texture
// 1230: the show time over a sequence of shows (same text, new text during the delay, no delay),
// hiding by a null text and by owner, placement at the display's edges, the nine-part frame read
// pixel by pixel from a frame source whose pixels name their own place, the text inset, and empty
// and 400-pixel texts kept inside the texture; the model sits at the box in the tooltip scene.
#include <gtest/gtest.h>

#include <string>

#include "frontend/hud/tooltips.h"
#include "hud_textures.h"
#include "scene/instance_records.h"

namespace {

// The frame source's pixel at (x, y).
constexpr uint32_t Source(int x, int y) { return uint32_t(y << 8 | x); }

class Tooltips : public HudDrawingWorld {
 protected:
  void SetUp() override {
    HudDrawingWorld::SetUp();
    gSystem->screenWidth = 640;
    gSystem->screenHeight = 480;
    gSystem->realTime = 1000;
    t_ = &c_->tooltip;
  }
  void Show(const char* text, int32_t x = 100, int32_t y = 100, int32_t delay = 0, int32_t owner = 7) {
    ShowTooltip(text, owner, x, y, delay, t_);
  }
  const MemTexture& box() { return textures_->tooltip; }
  TooltipRecord* t_ = nullptr;
};

TEST_F(Tooltips, ShowTimeOverASequenceOfShows) {
  struct Step {
    uint32_t now;
    const char* text;
    int32_t delay;
    uint32_t showTime;
  };
  const Step kSteps[] = {
      {1000, "Laser", 500, 1500},    // first show: after the delay
      {1200, "Shields", 500, 1700},  // a new text while waiting restarts the delay
      {1300, "Shields", 500, 1700},  // the same text while waiting: unchanged
      {2000, "Shields", 500, 2000},  // the same text once shown: moves to now
      {2100, "Hull", 500, 2100},     // a new text once shown: at once
      {2200, "Hull", 0, 2200},       // no delay
  };
  for (const Step& s : kSteps) {
    gSystem->realTime = s.now;
    Show(s.text, 100, 100, s.delay);
    EXPECT_EQ(t_->visibleTime, s.showTime) << s.now;
    EXPECT_EQ(t_->shown, 1u);
    EXPECT_STREQ(t_->text, s.text);
  }
}

TEST_F(Tooltips, HiddenByANullTextAndOnlyByItsOwner) {
  Show("Laser");
  ASSERT_NE(t_->instance, nullptr);
  EXPECT_EQ(t_->instance->flags & 0x5600u, 0x5600u);
  EXPECT_EQ(t_->instance->scene, t_->scene);
  HideTooltip(t_, 8);
  EXPECT_EQ(t_->shown, 1u) << "another owner's hide";
  ShowTooltip(nullptr, 7, 0, 0, 0, t_);
  EXPECT_EQ(t_->shown, 0u);
  EXPECT_NE(t_->instance->flags & kInstInvisible, 0u);
  Show("Laser");
  HideTooltip(t_, 0);
  EXPECT_EQ(t_->shown, 0u) << "owner 0 hides any";
}

TEST_F(Tooltips, PlacedInsideTheDisplayAndAboveThePointNearTheBottom) {
  Show("Laser", 100, 100);
  const int32_t w = t_->width, h = t_->height;
  ASSERT_GT(w, 8);
  ASSERT_GT(h, 0);
  struct Case {
    int32_t x, y, placedX, placedY;
  };
  const Case kCases[] = {
      {100, 100, 100, 100},
      {630, 100, 640 - w, 100},     // ends at the right edge
      {0, -5, 2, 2},                // kept 2 pixels in
      {100, 476, 100, 476 - h - 22},  // flipped above by its height + 22
  };
  for (const Case& c : kCases) {
    Show("Laser", c.x, c.y);
    EXPECT_EQ(t_->x, c.placedX) << c.x << "," << c.y;
    EXPECT_EQ(t_->y, c.placedY) << c.x << "," << c.y;
    EXPECT_EQ(t_->instance->position.x, c.placedX + 128);
    EXPECT_EQ(t_->instance->position.y, c.placedY + 128);
  }
}

TEST_F(Tooltips, TheFrameComesInNinePartsAroundTheText) {
  Show("Ion cannon");
  const int32_t w = t_->width, h = t_->height;
  ASSERT_GT(w, 40);
  // The text covers the centre's rows; its tiles are read where the edges show them.
  struct Pixel {
    const char* part;
    int x, y;
    uint32_t colour;
  };
  const Pixel kPixels[] = {
      {"top left", 0, 0, Source(57, 45)},
      {"top left's last", 3, 3, 0xD2D2D2},  // the text starts here
      {"top edge", 4, 0, Source(74, 45)},
      {"top edge, second tile", 4 + 15 + 2, 1, Source(76, 46)},
      {"top right", w - 4, 0, Source(102, 45)},
      {"left edge", 0, 4, Source(57, 65)},
      {"right edge", w - 1, 4, Source(105, 65)},
      {"bottom left", 0, h + 2, Source(57, 82)},
      {"bottom edge", 5, h + 5, Source(75, 85)},
      {"bottom right", w - 1, h + 5, Source(105, 85)},
      {"beyond the box", w, 0, 0},
      {"below the box", 0, h + 6, 0},
  };
  for (const Pixel& p : kPixels) EXPECT_EQ(box().At(p.x, p.y), p.colour) << p.part;
}

TEST_F(Tooltips, EmptyAndVeryLongTextsStayInsideTheTexture) {
  Show("");
  EXPECT_EQ(t_->width, 8);
  EXPECT_EQ(box().At(4, 0), Source(102, 45)) << "the corners meet";
  EXPECT_EQ(box().At(8, 0), 0u);
  Show(std::string(80, 'W').c_str(), 500);  // 400 pixels
  EXPECT_EQ(t_->width, 256);
  EXPECT_EQ(t_->x, 640 - 256);
  EXPECT_EQ(box().At(252, 0), Source(102, 45));
  EXPECT_EQ(box().At(255, 3), Source(105, 48));
}

}  // namespace
