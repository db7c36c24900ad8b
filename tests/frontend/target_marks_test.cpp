// The HUD target marks' and overlay icons' arithmetic: bracket frames, icon choice, border point,
// frame size, fade, bar cells, warning cycle, category limits and the flash timer.
#include "frontend/hud/target_marks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "frontend/cockpit/cockpit.h"
#include "universe/type_access.h"

namespace {

TEST(TargetMarks, BracketFramesWhileAcquiring) {
  struct Case {
    int64_t elapsed;
    int32_t frame;
  };
  const Case kCases[] = {{-5, 0}, {0, 0}, {1, 1}, {83, 1}, {84, 2}, {249, 2}, {250, 3}, {332, 3}, {333, 4}, {100000, 4}};
  for (const Case& c : kCases) EXPECT_EQ(AcquireBracketFrame(c.elapsed), c.frame) << c.elapsed;
}

TEST(TargetMarks, IconsByStanding) {
  struct Case {
    MarkStanding standing;
    int32_t bracket, turret, turretless, application, plain, leadOut, leadIn, arrow;
  };
  const Case kCases[] = {
      {MarkStanding::kNeutral, 400, 491, 386, 499, 389, 394, 397, 448},
      {MarkStanding::kHostile, 410, 492, 387, 500, 390, 395, 398, 449},
      {MarkStanding::kOwn, 420, 493, 388, 501, 391, 396, 399, 450},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(BracketBase(c.standing), c.bracket);
    EXPECT_EQ(TurretMarkIcon(c.standing), c.turret);
    EXPECT_EQ(CrosshairIcon(CrosshairForm::kTurretless, c.standing), c.turretless);
    EXPECT_EQ(CrosshairIcon(CrosshairForm::kApplication, c.standing), c.application);
    EXPECT_EQ(CrosshairIcon(CrosshairForm::kPlain, c.standing), c.plain);
    EXPECT_EQ(LeadMarkerIcon(false, c.standing), c.leadOut);
    EXPECT_EQ(LeadMarkerIcon(true, c.standing), c.leadIn);
    EXPECT_EQ(TargetArrowIcon(c.standing, false), c.arrow);
    EXPECT_EQ(TargetArrowIcon(c.standing, true), kObjectArrowIcon);
  }
}

TEST(TargetMarks, CrosshairAndLeadMarkerChoice) {
  struct Case {
    int32_t cockpit, monitor;
    uint32_t flags;
    bool app;
    CrosshairForm form;
  };
  const Case kCases[] = {
      {0, 0, 0x80000, true, CrosshairForm::kTurretless}, {1, 0, 0x80000, false, CrosshairForm::kPlain},
      {0, 1, 0x80000, true, CrosshairForm::kApplication}, {0, 0, 0, true, CrosshairForm::kApplication},
      {0, 0, 0, false, CrosshairForm::kPlain},
  };
  for (const Case& c : kCases) EXPECT_EQ(ChooseCrosshairForm(c.cockpit, c.monitor, c.flags, c.app), c.form);

  uint32_t phase = 0;
  EXPECT_EQ(LeadMarkerStep(0, 3, MarkStanding::kOwn, 16, &phase), 396);
  EXPECT_EQ(LeadMarkerStep(1, 3, MarkStanding::kOwn, 16, &phase), 399);
  EXPECT_EQ(LeadMarkerStep(3, 0, MarkStanding::kOwn, 16, &phase), 399);  // no blink without bit 1
  EXPECT_EQ(phase, 0u);
  // Blinking: the on half shows 397 for a hostile target and 398 for the others; the off half the
  // in-range icon.
  struct Blink {
    MarkStanding standing;
    int32_t frameMs;
    int32_t icon;
  };
  // The phase runs 6553, 19660, 32767, 39320, 65534: on, off, off, on, off.
  const Blink kBlinks[] = {{MarkStanding::kHostile, 100, 397}, {MarkStanding::kHostile, 200, 398},
                           {MarkStanding::kNeutral, 200, 397}, {MarkStanding::kNeutral, 100, 398},
                           {MarkStanding::kOwn, 400, 399}};
  phase = 0;
  for (const Blink& b : kBlinks) EXPECT_EQ(LeadMarkerStep(3, 2, b.standing, b.frameMs, &phase), b.icon) << phase;
  EXPECT_LT(phase, 65536u);
}

TEST(TargetMarks, VectorLengths) {
  const int32_t v[3] = {3, 4, 12};
  EXPECT_EQ(RoundedVectorLength(v), 13);
  const int32_t w[3] = {1, 1, 0};  // 1.414 rounds down
  EXPECT_EQ(RoundedVectorLength(w), 1);
  int32_t s[3] = {3, -4, 0};
  ScaleVectorToLength(s, 10);
  EXPECT_EQ(s[0], 6);
  EXPECT_EQ(s[1], -8);
  int32_t z[3] = {0, 0, 0};
  ScaleVectorToLength(z, 65536);
  EXPECT_EQ(z[0], 0);
}

TEST(TargetMarks, WarningCycle) {
  struct Case {
    bool alert, approach;
    uint32_t elapsed;
    int32_t icon;
    bool restart;
  };
  const Case kCases[] = {
      {false, false, 500, -1, true},
      {true, false, 0, 392, false},
      {true, false, 999, 392, false},
      {true, false, 1000, -1, false},
      {false, true, 500, -1, false},
      {false, true, 1000, 393, false},
      {true, true, 1999, 393, false},
      {true, true, 2000, 392, true},
      {true, true, 0xFFFFFFF0u, 392, true},  // the clock went back
  };
  for (const Case& c : kCases) {
    WarningMark m = WarningMarkStep(c.alert, c.approach, c.elapsed);
    EXPECT_EQ(m.icon, c.icon) << c.elapsed;
    EXPECT_EQ(m.restart, c.restart) << c.elapsed;
  }
}

TEST(TargetMarks, CategoryLimitsFromGlobals) {
  GlobalsEntry entries[] = {{102, 3}, {116, 7}};
  GlobalsTable saved = gGlobalsTable;
  gGlobalsTable = {2, entries};
  ReloadOverlayCategoryLimits();
  EXPECT_EQ(OverlayCategoryLimit(0), 3);
  EXPECT_EQ(OverlayCategoryLimit(14), 7);
  EXPECT_EQ(OverlayCategoryLimit(1), 16);
  EXPECT_EQ(OverlayCategoryLimit(15), 0);
  gGlobalsTable = saved;
  ReloadOverlayCategoryLimits();
  const int32_t kDefaults[kOverlayCategoryCount] = {10, 16, 8, 10, 10, 8, 8, 4, 2, 2, 2, 2, 16, 3, 3};
  for (int c = 0; c < kOverlayCategoryCount; ++c) EXPECT_EQ(OverlayCategoryLimit(c), kDefaults[c]) << c;
}

TEST(TargetMarks, FlashTimer) {
  int32_t t = FlashTimerStep(0, true, 16);
  EXPECT_EQ(t, 1000);
  t = FlashTimerStep(t, true, 16);  // a running timer is not restarted
  EXPECT_EQ(t, 984);
  int frames = 1;
  while (t > 0 && frames < 200) t = FlashTimerStep(t, false, 16), ++frames;
  EXPECT_EQ(t, 0);
  EXPECT_EQ(FlashTimerStep(0, false, 16), 0);
  EXPECT_EQ(FlashTimerStep(5, false, 16), 0);
}

TEST(OverlayDrawing, BorderPoint) {
  const int32_t bw = 300, bh = 200;
  struct Case {
    int32_t x, y;
    int32_t ex, ey;
  };
  // ax = 1.0 and ay = 0.75: the side is taken when |dy| <= 0.75 |dx|.
  const Case kCases[] = {
      {50, -99, 0, -bh},      // near the axis: straight up on the screen
      {-99, 99, 0, -bh},
      {1000, 0, bw, 0},
      {-1000, 0, -bw, 0},
      {0, -1000, 0, bh},
      {1000, 500, bw, -149},  // side: y = -dy * bw / |dx|, truncated
      {1000, 1000, 200, -bh},  // top: x = dx * bh / |dy| = 200
      {-1000, -1000, -200, bh},
  };
  for (const Case& c : kCases) {
    BorderPoint d = OverlayDirection(c.x, c.y);
    BorderPoint p = OverlayBorderPoint(d.x, d.y, 1.0, 0.75, bw, bh);
    EXPECT_EQ(p.x, c.ex) << c.x << "," << c.y;
    EXPECT_EQ(p.y, c.ey) << c.x << "," << c.y;
  }
  // Zero extents never divide by zero.
  BorderPoint p = OverlayBorderPoint(0, 0, 0.0, 0.0, bw, bh);
  EXPECT_EQ(p.x, -bw);
  EXPECT_EQ(p.y, 0);
}

TEST(OverlayDrawing, FrameHalfSizeAndFade) {
  struct Size {
    int32_t d, half;
  };
  const Size kSizes[] = {{40, 40}, {20, 25}, {5, 13}, {0, 10}, {-50, 10}, {100, 70}, {70, 70}, {39, 39}};
  for (const Size& c : kSizes) EXPECT_EQ(OverlayFrameHalfSize(c.d), c.half) << c.d;
  struct Fade {
    int32_t range, fade;
  };
  const Fade kFades[] = {{0, 0},           {10000000, 0},  {10000001, 255}, {15000000, 167},
                         {20000000, 80},   {2000000000, 80}, {-5, 0}};
  for (const Fade& c : kFades) EXPECT_EQ(OverlayFade(c.range), c.fade) << c.range;
}

TEST(OverlayDrawing, BarCellStaysInsideTheBar) {
  struct Case {
    int32_t steps, value, max, base;
    int32_t x, y;
  };
  // 20 steps: n = 16 levels.
  const Case kCases[] = {
      {20, 0, 100, 4, 256, 4},   {20, 10, 100, 4, 251, 25}, {20, 13, 100, 4, 251, 18},
      {20, 20, 100, 4, 251, 11}, {20, 25, 100, 4, 251, 4},  {20, 50, 100, 0, 246, 0},
      {20, 100, 100, 4, 236, 4},
      {20, 500, 100, 4, 236, 4},  // above the maximum: the full bar, never past it
      {20, -40, 100, 4, 256, 4},  // negative: the empty bar, never before the table
      {20, 50, 0, 4, 256, 4},     // no maximum: level 0
      {20, 50, -10, 4, 256, 4},
      {0, 50, 100, 4, 256, 4},
  };
  for (const Case& c : kCases) {
    BarCellPos p = BarCell(c.steps, c.value, c.max, c.base);
    EXPECT_EQ(p.x, c.x) << c.value << "/" << c.max;
    EXPECT_EQ(p.y, c.y) << c.value << "/" << c.max;
  }
}

TEST(OverlayDrawing, IconTablesAndOrder) {
  EXPECT_EQ(OverlayEdgeIcon(0, 0), 346);
  EXPECT_EQ(OverlayEdgeIcon(3, 3), 567);
  EXPECT_EQ(OverlayEdgeIcon(2, 1), 384);
  FrameCorner c = OverlayFrameCorner(0, 0, 0);
  EXPECT_EQ(c.dx, -1);
  EXPECT_EQ(c.dy, -1);
  EXPECT_EQ(c.icon, 350);
  c = OverlayFrameCorner(2, 3, 3);
  EXPECT_EQ(c.dx, 1);
  EXPECT_EQ(c.dy, 1);
  EXPECT_EQ(c.icon, 563);
  EXPECT_EQ(OverlayFrameCorner(3, 1, 2).icon, 544);

  std::vector<OverlayIcon> icons(4);
  const float kAngles[] = {1.5f, -2.0f, 0.25f, 3.0f};
  std::vector<OverlayIcon*> order;
  for (int i = 0; i < 4; ++i) icons[i].edgeAngle = kAngles[i], order.push_back(&icons[i]);
  std::sort(order.begin(), order.end(),
            [](const OverlayIcon* a, const OverlayIcon* b) { return CompareIconAngle(a, b) < 0; });
  for (size_t i = 1; i < order.size(); ++i) EXPECT_LE(order[i - 1]->edgeAngle, order[i]->edgeAngle);
  EXPECT_EQ(CompareIconAngle(&icons[0], &icons[0]), 0);
}

}  // namespace
