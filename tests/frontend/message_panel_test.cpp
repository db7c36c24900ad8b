// The message panel's states driven with a scripted "animation done" (duration 0, a new text while
// closing, clearing a closed panel, the default duration), the nav map panel's repeating idle cut,
// the nav map's rings for its fixed radius and its colour for each kind of object.
#include <gtest/gtest.h>

#include "frontend/hud/message_panel.h"
#include "frontend/hud/radar_math.h"

namespace {

class MessagePanel : public ::testing::Test {
 protected:
  // The panel's models are visible from the moment they are attached until they are hidden.
  PanelAction Show(bool hasText, uint32_t now) {
    const PanelAction action = ShowPanelMessage(&panel_, hasText, visible_, now);
    if (action == PanelAction::kAttachAndOpen) visible_ = true;
    return action;
  }
  PanelAction Step(bool done, uint32_t now) {
    const PanelAction action = StepMessagePanel(&panel_, done, now);
    if (action == PanelAction::kHide) visible_ = false;
    return action;
  }
  PanelState panel_{};
  bool visible_ = false;
};

TEST_F(MessagePanel, DurationZeroStaysUntilAnEmptyMessage) {
  EXPECT_EQ(Show(true, 0), PanelAction::kAttachAndOpen);
  panel_.duration = 0;
  EXPECT_EQ(Step(false, 100), PanelAction::kNone);
  EXPECT_EQ(Step(true, 500), PanelAction::kCut);
  EXPECT_EQ(PanelCut(panel_.state), kCutHold);
  EXPECT_EQ(Step(true, 1000000), PanelAction::kNone);
  EXPECT_EQ(panel_.state, kPanelShown);
  EXPECT_EQ(Show(false, 1000001), PanelAction::kCut);
  EXPECT_EQ(PanelCut(panel_.state), kCutClose);
  EXPECT_EQ(Step(true, 1000500), PanelAction::kHide);
  EXPECT_EQ(panel_.state, kPanelClosed);
}

TEST_F(MessagePanel, NewTextWhileClosingReopens) {
  Show(true, 0);
  Step(true, 500);
  Show(false, 600);
  ASSERT_EQ(panel_.state, kPanelClosing);
  EXPECT_EQ(Show(true, 700), PanelAction::kNone);  // the caller only redraws the text
  EXPECT_EQ(panel_.state, kPanelReopening);
  EXPECT_EQ(Step(false, 800), PanelAction::kNone);
  EXPECT_EQ(Step(true, 900), PanelAction::kCut);
  EXPECT_EQ(panel_.state, kPanelOpening);
  EXPECT_EQ(PanelCut(panel_.state), kCutOpen);
  EXPECT_TRUE(visible_);
}

TEST_F(MessagePanel, ClearingAClosedPanelDoesNothing) {
  EXPECT_EQ(Show(false, 100), PanelAction::kNone);
  EXPECT_EQ(panel_.state, kPanelClosed);
  EXPECT_FALSE(visible_);
}

TEST_F(MessagePanel, DefaultDurationClosesAfter20000Ms) {
  Show(true, 0);
  Step(true, 1000);  // shown from 1000
  EXPECT_EQ(panel_.duration, kDefaultMessageDuration);
  EXPECT_EQ(Step(true, 21000), PanelAction::kNone);
  EXPECT_EQ(Step(true, 21001), PanelAction::kCut);
  EXPECT_EQ(panel_.state, kPanelClosing);
}

TEST(NavMapPanel, IdleCutRepeatsAndClosing) {
  PanelState panel{};
  EXPECT_EQ(SetNavMapPanel(&panel, true, false, 0), PanelAction::kAttachAndOpen);
  EXPECT_EQ(SetNavMapPanel(&panel, true, true, 10), PanelAction::kNone);
  EXPECT_EQ(StepNavMapPanel(&panel, true, 500), PanelAction::kCut);
  EXPECT_EQ(StepNavMapPanel(&panel, true, 900), PanelAction::kCut);  // the hold cut again
  EXPECT_EQ(panel.state, kPanelShown);
  EXPECT_EQ(panel.startTime, 900u);
  EXPECT_EQ(SetNavMapPanel(&panel, false, true, 1000), PanelAction::kCut);
  EXPECT_EQ(StepNavMapPanel(&panel, true, 1500), PanelAction::kHide);
  EXPECT_EQ(SetNavMapPanel(&panel, false, false, 1600), PanelAction::kNone);
}

TEST(NavMap, RingsForItsRadius) {
  RadarRing rings[kMaxRadarRings];
  ASSERT_EQ(NavMapRings(rings), 1);  // 500000 falls at 0xBA2, 50000000 beyond the edge
  EXPECT_EQ(rings[0].distance, 5000000);
  EXPECT_EQ(rings[0].colour, 0x555555u);
}

TEST(NavMap, ColourOfEachObjectKind) {
  struct Case {
    const char* what;
    NavMapObject object;
    NavMapMark mark;
  };
  const Case kCases[] = {
      {"marked ship", {7, false, false, true, false, 0, true}, {0xFFFF00, false}},
      {"player", {7, true, false, false, false, 0, false}, {0xFFFFFF, false}},
      {"asteroid", {17, false, false, false, false, 0, true}, {0x3333AA, false}},
      {"tracked asteroid", {17, false, true, false, false, 0, false}, {0x4444FF, false}},
      {"missile", {10, false, false, false, false, 0, true}, {0x3333AA, false}},
      {"alerting missile", {10, false, false, false, true, 0, false}, {0xFF44FF, true}},
      {"gate", {18, false, false, false, false, 0, false}, {0xFFFF00, false}},
      {"tracked gate", {18, false, true, false, false, 0, false}, {0xFFFFFF, false}},
      {"class 20 hostile", {20, false, false, false, false, 2, false}, {0xAA3333, true}},
      {"class 20 friendly", {20, false, true, false, false, 1, true}, {0x44FF99, false}},
      {"class 20 other", {20, false, false, false, false, 7, true}, {0xFFFF00, false}},
      {"hostile station", {5, false, false, false, false, 0, true}, {0xAA3333, true}},
      {"tracked hostile ship", {7, false, true, false, false, 0, true}, {0xFF4444, true}},
      {"neutral ship", {7, false, false, false, false, 0, false}, {0x33AA55, false}},
      {"class outside 4..20", {30, false, false, false, false, 0, false}, {0x33AA55, false}},
  };
  for (const Case& c : kCases) {
    const NavMapMark mark = NavMapColour(c.object);
    EXPECT_EQ(mark.colour, c.mark.colour) << c.what;
    EXPECT_EQ(mark.alert, c.mark.alert) << c.what;
  }
}

}  // namespace
