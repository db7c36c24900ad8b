// The screen update and its statistics lines on the null device: the window-only display, the
// suppressed present, the frame-rate and full-text edges, the warp figures, the allocation
// delta, and the quality line appended after the frame line.
#include "render/screen_update.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "platform/gpu_constants.h"
#include "platform/gpu_null.h"
#include "render/quality_stats.h"
#include "support/display_world.h"

namespace {

class ScreenUpdate : public DisplayWorld {
 protected:
  void SetUp() override {
    DisplayWorld::SetUp();
    ASSERT_TRUE(ready_);
    block_.screenModeFlags = kScreenShowStats;
    block_.frameRate = 60;
    block_.timeScale = 0x10000;
    block_.secondTimeScale = 0x10000;
  }
  int Presents() const {
    int n = 0;
    for (const std::string& line : GpuNullLog()) n += line == "Present()";
    return n;
  }
  std::string Text() const { return block_.statusText; }
};

TEST_F(ScreenUpdate, WindowOnlyDisplayNeverPresentsNorAppends) {
  display_.flags |= kDisplayWindowOnly;
  UpdateScreen();
  EXPECT_EQ(Presents(), 0);
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(display_.flags & kDisplayFlipState, 0u);
}

TEST_F(ScreenUpdate, SuppressedPresentStillFlipsAndAppends) {
  block_.screenModeFlags |= kScreenNoPresent;
  UpdateScreen();
  EXPECT_EQ(Presents(), 0);
  EXPECT_NE(display_.flags & kDisplayFlipState, 0u);
  EXPECT_EQ(Text().rfind("60 fps, Warp: 100% (real 100%), ", 0), 0u) << Text();
  block_.screenModeFlags &= ~kScreenNoPresent;
  UpdateScreen();
  EXPECT_EQ(Presents(), 1);
  EXPECT_EQ(display_.flags & kDisplayFlipState, 0u);
}

TEST_F(ScreenUpdate, NothingAppendedWithoutFrameRateOrFlagOrRoom) {
  block_.frameRate = 0;
  UpdateScreen();
  EXPECT_EQ(Text(), "");
  block_.frameRate = 60;
  block_.screenModeFlags = 0;
  UpdateScreen();
  EXPECT_EQ(Text(), "");
  block_.screenModeFlags = kScreenShowStats;
  const std::string full(255, 'x');
  std::memcpy(block_.statusText, full.c_str(), 256);
  UpdateScreen();
  EXPECT_EQ(Text(), full);
}

TEST_F(ScreenUpdate, AppendStopsAtTheTextsEnd) {
  const std::string start(250, 'y');
  std::memcpy(block_.statusText, start.c_str(), start.size() + 1);
  DrawFrameStats(nullptr);
  EXPECT_EQ(Text(), start + "60 fp");
  EXPECT_EQ(block_.statusText[255], '\0');
}

TEST_F(ScreenUpdate, WarpAndRealFollowBothScales) {
  block_.timeScale = 0x20000;
  block_.secondTimeScale = 0x8000;
  DrawFrameStats(nullptr);
  EXPECT_NE(Text().find("Warp: 200% (real 100%)"), std::string::npos) << Text();
}

TEST_F(ScreenUpdate, AllocsAreTheDeltaSinceThePreviousLine) {
  DrawFrameStats(nullptr);
  void* blocks[3];
  for (void*& b : blocks) b = MemAlloc(16, 0);
  block_.statusText[0] = '\0';
  DrawFrameStats(nullptr);
  for (void* b : blocks) MemFree(b, 16, 0);
  const std::string text = Text();
  EXPECT_NE(text.find(", 3 Allocs"), std::string::npos) << text;
  const std::string megabytes = text.substr(text.find("%), ") + 4);
  EXPECT_NE(megabytes.find(" MB, "), std::string::npos);
}

TEST_F(ScreenUpdate, WithoutABackBufferTheLineCountsTheSurfacesRects) {
  display_.flags = 0;
  DisplaySurface drawn{};
  drawn.updateCount = 7;
  DrawFrameStats(&drawn);
  EXPECT_EQ(Text().rfind("60 fps, 0007 Rect., ", 0), 0u) << Text();
  EXPECT_EQ(Text().back(), ' ');
  // No display list children: the update composes nothing and presents nothing.
  UpdateScreen();
  EXPECT_EQ(Presents(), 0);
}

class QualityStats : public ScreenUpdate {
 protected:
  void SetUp() override {
    ScreenUpdate::SetUp();
    block_.screenModeFlags = kScreenAqcStats;
    block_.qualityLevel = 3;
    gParticlesDrawn = 12;
    gTextureSwaps = 4;
    gTextureLoads = 1;
    gCollisionModelBytes = 5000;
    Record()->device->EndScene();
    ASSERT_TRUE(GpuSucceeded(Record()->device->BeginScene()));  // the frame's scene
  }
  void TearDown() override {
    gParticlesDrawn = gTextureSwaps = gTextureLoads = gCollisionModelBytes = 0;
    ScreenUpdate::TearDown();
  }
};

TEST_F(QualityStats, LineIsAppendedAfterTheFrameLineAndCountersReset) {
  std::strcpy(block_.statusText, "60 fps|");
  EXPECT_TRUE(FormatAqcStats());
  EXPECT_EQ(Text(), "60 fps|AQC: 3, prts: 012,tswaps: 004,tloads: 001, Rapid: 0004 KB");
  EXPECT_EQ(gParticlesDrawn + gTextureSwaps + gTextureLoads, 0);
}

TEST_F(QualityStats, FlagClearOrFailedEndSceneKeepsTextAndCounters) {
  block_.screenModeFlags = 0;
  EXPECT_TRUE(FormatAqcStats());
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(gParticlesDrawn, 12);
  block_.screenModeFlags = kScreenAqcStats;
  GpuInjectResult("EndScene", kGpuErrInvalidCall, 1);
  EXPECT_FALSE(FormatAqcStats());
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(gTextureSwaps, 4);
}

TEST_F(QualityStats, FullTextIsUnchanged) {
  const std::string full(255, 'z');
  std::memcpy(block_.statusText, full.c_str(), 256);
  EXPECT_TRUE(FormatAqcStats());
  EXPECT_EQ(Text(), full);
}

}  // namespace
