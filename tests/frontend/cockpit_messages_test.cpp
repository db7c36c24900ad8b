// The cockpit's message panel on a real cockpit: a text attaches the three models and opens, the
// panel holds for its duration and closes when its (here absent) animations are done, hiding the
// models; clearing a closed panel leaves it closed; the nav map panel opens and closes the same way.
#include <gtest/gtest.h>

#include "frontend/cockpit/cockpit_messages.h"
#include "frontend/hud/message_panel.h"
#include "cockpit_world.h"

namespace {

class CockpitMessages : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    c_ = NewCockpit();
    ASSERT_NE(c_, nullptr);
  }
  int32_t State() const { return c_->messages.words[2]; }
  bool Visible() const {
    for (const CockpitSlot& slot : c_->messages.slots) {
      if (!slot.visible) return false;
    }
    return true;
  }
  CockpitRecord* c_ = nullptr;
};

TEST_F(CockpitMessages, OpensHoldsForItsDurationAndCloses) {
  ShowCockpitMessage(&c_->messages, "Docking clearance granted");
  EXPECT_EQ(State(), kPanelOpening);
  EXPECT_TRUE(Visible());
  UpdateCockpitMessage(&c_->messages);
  EXPECT_EQ(State(), kPanelShown);
  SetTime(10000 + kDefaultMessageDuration);
  UpdateCockpitMessage(&c_->messages);
  EXPECT_EQ(State(), kPanelShown);
  SetTime(10000 + kDefaultMessageDuration + 1);
  UpdateCockpitMessage(&c_->messages);
  EXPECT_EQ(State(), kPanelClosing);
  UpdateCockpitMessage(&c_->messages);
  EXPECT_EQ(State(), kPanelClosed);
  EXPECT_FALSE(c_->messages.slots[0].visible);
}

TEST_F(CockpitMessages, DurationZeroStaysAndClearingAClosedPanelDoesNothing) {
  ShowCockpitMessage(&c_->messages, nullptr);
  EXPECT_EQ(State(), kPanelClosed);
  EXPECT_FALSE(c_->messages.slots[0].visible);
  ShowCockpitMessageFor(&c_->messages, "Hold", 0);
  UpdateCockpitMessage(&c_->messages);
  SetTime(10000000);
  UpdateCockpitMessage(&c_->messages);
  EXPECT_EQ(State(), kPanelShown);
  ShowCockpitMessage(&c_->messages, nullptr);
  EXPECT_EQ(State(), kPanelClosing);
}

TEST_F(CockpitMessages, NavMapOpensAndCloses) {
  SetNavMap(&c_->navMap, 1);
  EXPECT_EQ(c_->navMap.words[1], kPanelOpening);
  EXPECT_TRUE(c_->navMap.slots[0].visible);
  UpdateNavMap(&c_->navMap);
  EXPECT_EQ(c_->navMap.words[1], kPanelShown);
  SetNavMap(&c_->navMap, 0);
  UpdateNavMap(&c_->navMap);
  EXPECT_EQ(c_->navMap.words[1], kPanelClosed);
  EXPECT_FALSE(c_->navMap.slots[0].visible);
}

}  // namespace
