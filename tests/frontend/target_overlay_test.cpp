// The prev/next walk of the tracking through the target overlay's icons: wrap-around both ways,
// the hostile/own filters, icons that are not visible, and the nearest icon when nothing is
// tracked.
#include "frontend/hud/target_overlay.h"

#include <vector>

#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit_world.h"
#include "universe/object_queries.h"

namespace {

class TrackOverlayIconTest : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    sector_ = Object(1, 1);
    ship_ = Object(2, 7, sector_);
    cockpit_ = NewCockpit();
    ASSERT_NE(cockpit_, nullptr);
    cockpit_->cockpitRefObject = ship_;
    list_.cockpit = cockpit_;
  }
  void TearDown() override {
    for (OverlayIcon* icon : icons_) OverlayIconDestroy(icon);
    CockpitWorld::TearDown();
  }

  // Icons for objects with the given range values; all visible, owner race 3.
  void Icons(const std::vector<int32_t>& ranges) {
    for (size_t i = 0; i < ranges.size(); ++i) {
      OverlayIcon* icon = OverlayIconCreate();
      icon->object = Object(100 + static_cast<uint32_t>(i), 7, sector_);
      icon->object->owner = 3;
      icon->range = ranges[i];
      icon->visible = 1;
      icons_.push_back(icon);
    }
    list_.begin = icons_.data();
    list_.end = icons_.data() + icons_.size();
    list_.capacity = list_.end;
    list_.used = static_cast<int32_t>(icons_.size());
  }
  void Track(int i) {
    cockpit_->trackObject = icons_[i]->object;
    cockpit_->trackMode = kTrackObject;
  }
  int Tracked() const {
    for (size_t i = 0; i < icons_.size(); ++i)
      if (icons_[i]->object == cockpit_->trackObject) return static_cast<int>(i);
    return -1;
  }

  SpaceObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  CockpitRecord* cockpit_ = nullptr;
  OverlayIconList list_{};
  std::vector<OverlayIcon*> icons_;
};

TEST_F(TrackOverlayIconTest, StepsWithWrapAroundSkippingHiddenAndFiltered) {
  struct Case {
    int start;
    int32_t direction;
    int32_t filter;
    int expected;
  };
  // Icon 1 is hidden, icon 3 belongs to race 10.
  const Case kCases[] = {
      {0, 1, 0, 2},   // forward, skipping the hidden icon
      {4, 1, 0, 0},   // past the last wraps to the first
      {0, 0, 0, 4},   // backwards below 0 wraps to the last
      {2, -1, 0, 0},  // backwards, skipping the hidden icon
      {0, 1, 2, 3},   // own-race filter
      {4, 1, 2, 3},
      {3, 1, 2, 3},   // only the tracked icon passes: back to the start, the nearest passing is itself
  };
  Icons({50, 10, 40, 30, 20});
  icons_[1]->visible = 0;
  icons_[3]->object->owner = 10;
  for (const Case& c : kCases) {
    Track(c.start);
    TrackOverlayIcon(&list_, c.direction, c.filter);
    EXPECT_EQ(Tracked(), c.expected) << c.start << " " << c.direction << " " << c.filter;
    EXPECT_EQ(cockpit_->trackMode, kTrackObject);
  }
}

TEST_F(TrackOverlayIconTest, HostileFilterTakesOnlyHostileObjects) {
  Icons({50, 10, 40, 30});
  icons_[2]->object->owner = 2;
  ObjSetRelation(2, ship_, -1);
  ASSERT_TRUE(ObjIsHostile(icons_[2]->object, ship_));
  Track(0);
  TrackOverlayIcon(&list_, 1, 1);
  EXPECT_EQ(Tracked(), 2);
  cockpit_->trackObject = nullptr;
  TrackOverlayIcon(&list_, 1, 1);  // nearest hostile, not the nearest icon
  EXPECT_EQ(Tracked(), 2);
}

TEST_F(TrackOverlayIconTest, WithoutTargetTakesTheNearestVisible) {
  Icons({50, 10, 40, 10, 20});
  icons_[1]->visible = 0;  // nearest, but hidden
  cockpit_->trackObject = nullptr;
  cockpit_->trackMode = kTrackNone;
  TrackOverlayIcon(&list_, 1, 0);
  EXPECT_EQ(Tracked(), 3);  // the first of the ties after the hidden one
  EXPECT_EQ(cockpit_->trackMode, kTrackObject);

  // A target without an icon also starts from the nearest.
  cockpit_->trackObject = ship_;
  TrackOverlayIcon(&list_, -1, 0);
  EXPECT_EQ(Tracked(), 3);
}

TEST_F(TrackOverlayIconTest, NothingChangesWhenNoIconQualifies) {
  Icons({50, 10, 40});
  for (OverlayIcon* icon : icons_) icon->visible = 0;
  Track(1);
  cockpit_->trackMode = kTrackOverlayLock;
  TrackOverlayIcon(&list_, 1, 0);
  EXPECT_EQ(Tracked(), 1);
  EXPECT_EQ(cockpit_->trackMode, kTrackOverlayLock);

  cockpit_->trackObject = nullptr;
  cockpit_->trackMode = kTrackNone;
  for (OverlayIcon* icon : icons_) icon->visible = 1;
  TrackOverlayIcon(&list_, 1, 2);  // no icon of race 10
  EXPECT_EQ(cockpit_->trackObject, nullptr);
  EXPECT_EQ(cockpit_->trackMode, kTrackNone);

  cockpit_->cockpitRefObject = nullptr;  // no ship: nothing at all
  TrackOverlayIcon(&list_, 1, 0);
  EXPECT_EQ(cockpit_->trackObject, nullptr);
  list_.used = 0;
  cockpit_->cockpitRefObject = ship_;
  TrackOverlayIcon(&list_, 1, 0);
  EXPECT_EQ(cockpit_->trackObject, nullptr);
}

}  // namespace
