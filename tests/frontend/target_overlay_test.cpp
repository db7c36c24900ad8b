// The prev/next walk of the tracking through the target overlay's icons: wrap-around both ways,
// the hostile/own filters, icons that are not visible, and the nearest icon when nothing is
// tracked.
#include "frontend/hud/target_overlay.h"

#include <vector>

#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit_world.h"
#include "frontend/hud/target_marks.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"

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

class OverlayIconListTest : public TrackOverlayIconTest {
 protected:
  void TearDown() override {
    FreeOverlayIconList(&list_);
    TrackOverlayIconTest::TearDown();
  }
  SpaceObject* Contact(uint16_t objClass, uint16_t owner = 3, int16_t subtype = 0) {
    SpaceObject* o = Object(nextId_++, objClass, sector_);
    o->owner = owner;
    o->subtype = subtype;
    contacts_.push_back({o, static_cast<int32_t>(1000 * contacts_.size())});
    return o;
  }
  int32_t Rebuild(int32_t frameMs = 16) {
    return RebuildOverlayIconList(&list_, contacts_.data(), static_cast<int32_t>(contacts_.size()), frameMs);
  }
  uint32_t nextId_ = 500;
  std::vector<OverlayContact> contacts_;
};

TEST_F(OverlayIconListTest, CategoriesByClassStandingAndSubtype) {
  ObjSetRelation(2, ship_, -1);
  SpaceObject* elsewhere = Object(400, kClassShip, sector_);
  struct Case {
    uint16_t objClass;
    uint16_t owner;
    int16_t subtype;
    uint32_t flags, flags2;
    int setup;  // 1 factory linked, 2 missile aimed at the ship, 3 missile aimed elsewhere
    int32_t category;
  };
  const Case kCases[] = {
      {kClassShip, 3, 0, 0, 0, 0, 0},
      {kClassShip, 10, 0, 0, 0, 0, 1},
      {kClassShip, 2, 0, 0, 0, 0, 2},
      {kClassShip, 2, 280, 0, 0, 0, 8},  // subtype before standing
      {kClassShip, 10, 359, 0, 0, 0, 8},
      {kClassShip, 2, 271, 0, 0, 0, 7},
      {kClassShip, 3, 321, 0, 0, 0, 7},
      {kClassShip, 3, 0, 0, 1u << 24, 0, 11},
      {kClassShip, 2, 0, 0, 1u << 24, 0, 2},  // hostile before the second-flag bit
      {kClassDock, 3, 0, 0, 0, 0, 6},
      {kClassFactory, 3, 0, 0, 0, 0, 6},
      {kClassFactory, 3, 0, 0, 0, 1, kOverlayNoIcon},
      {kClassMissile, 2, 0, 0, 0, 0, 9},
      {kClassMissile, 2, 0, kObjFlagArmed, 0, 2, 10},
      {kClassMissile, 2, 0, kObjFlagArmed, 0, 3, kOverlayNoIcon},
      {kClassLaser, 3, 0, 0, 0, 0, 9},
      {kClassShield, 3, 0, 0, 0, 0, 9},
      {kClassWareFirst, 3, 0, 0, 0, 0, 9},
      {kClassWareLast, 3, 0, 0, 0, 0, 9},
      {kClassGate, 3, 0, 0, 0, 0, 12},
      {kClassAsteroid, 3, 0, 0, 0, 0, 13},
      {kClassSun, 3, 0, 0, 0, 0, 14},
  };
  for (const Case& c : kCases) {
    SpaceObject* o = Object(nextId_++, c.objClass, sector_);
    o->owner = c.owner;
    o->subtype = c.subtype;
    o->flags = c.flags;
    o->flags2 = c.flags2;
    if (c.setup == 1) static_cast<FactoryExt*>(o->ext)->linkedFactory = elsewhere;
    if (c.setup == 2) Missile(o)->target = ship_;
    if (c.setup == 3) Missile(o)->target = elsewhere;
    EXPECT_EQ(OverlayIconCategory(o, ship_), c.category) << c.objClass << "/" << c.subtype;
  }
}

TEST_F(OverlayIconListTest, LimitsPerCategoryExceptTheTrackedTarget) {
  ReloadOverlayCategoryLimits();
  for (int i = 0; i < 12; ++i) Contact(kClassShip);
  contacts_.push_back({ship_, 0});  // the cockpit's own ship never gets an icon
  Contact(kClassGate);
  EXPECT_EQ(Rebuild(), 11);  // ten neutral ships and the gate
  EXPECT_EQ(list_.begin[10]->object->objClass, kClassGate);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(list_.begin[i]->visible, 1u) << i;
  EXPECT_EQ(list_.begin[3]->range, 3000);

  // The tracked twelfth ship still gets a record, not visible, so the walk skips it.
  cockpit_->trackObject = contacts_[11].object;
  EXPECT_EQ(Rebuild(), 12);
  EXPECT_EQ(list_.begin[10]->object, contacts_[11].object);
  EXPECT_EQ(list_.begin[10]->visible, 0u);

  // Fewer contacts: the count shrinks and the records stay for reuse.
  cockpit_->trackObject = nullptr;
  contacts_.resize(2);
  EXPECT_EQ(Rebuild(), 2);
  EXPECT_EQ(list_.end - list_.begin, 12);

  GlobalsEntry entries[] = {{102, 3}};
  GlobalsTable saved = gGlobalsTable;
  gGlobalsTable = {1, entries};
  ReloadOverlayCategoryLimits();
  contacts_.clear();
  for (int i = 0; i < 5; ++i) Contact(kClassShip);
  EXPECT_EQ(Rebuild(), 3);
  gGlobalsTable = saved;
  ReloadOverlayCategoryLimits();
}

TEST_F(OverlayIconListTest, FlashTimerStartsOnTheFlagAndRunsDown) {
  SpaceObject* o = Contact(kClassShip);
  o->flags2 = 1u << 19;
  Rebuild(16);
  EXPECT_EQ(o->flashTimer, 1000);
  Rebuild(16);
  EXPECT_EQ(o->flashTimer, 984);
  o->flags2 = 0;
  for (int i = 0; i < 70; ++i) Rebuild(16);
  EXPECT_EQ(o->flashTimer, 0);
}

class TargetTrackingTest : public TrackOverlayIconTest {
 protected:
  void SetUp() override {
    TrackOverlayIconTest::SetUp();
    savedLost_ = gNotifyTargetLost;
    gNotifyTargetLost = RecordLost;
    lost_.clear();
  }
  void TearDown() override {
    gNotifyTargetLost = savedLost_;
    TrackOverlayIconTest::TearDown();
  }
  static void RecordLost(uint32_t shipId) { lost_.push_back(shipId); }
  void (*savedLost_)(uint32_t) = nullptr;
  static inline std::vector<uint32_t> lost_;
};

TEST_F(TargetTrackingTest, AcquiringLocksExactlyAfterOneSecond) {
  SpaceObject* target = Object(300, kClassShip, sector_);
  target->owner = 10;
  cockpit_->trackMode = kTrackOverlayLock;
  cockpit_->trackObject = target;
  cockpit_->trackStart = gSystem->gameTime - 999;
  TrackedTarget t = RunTargetTracking(cockpit_);
  EXPECT_EQ(cockpit_->trackMode, kTrackOverlayLock);
  EXPECT_EQ(t.target, target);
  EXPECT_TRUE(t.own);
  EXPECT_FALSE(t.hostile);
  cockpit_->trackStart = gSystem->gameTime - 1000;
  RunTargetTracking(cockpit_);
  EXPECT_EQ(cockpit_->trackMode, kTrackObject);
  EXPECT_EQ(cockpit_->trackObject, target);
  EXPECT_TRUE(lost_.empty());
}

TEST_F(TargetTrackingTest, VanishedTargetIsReportedAndTrackingFallsBackToTheCursor) {
  for (uint16_t mode : {kTrackOverlayLock, kTrackObject}) {
    lost_.clear();
    cockpit_->trackMode = mode;
    cockpit_->trackObject = nullptr;
    cockpit_->trackStart = gSystem->gameTime - 5000;
    TrackedTarget t = RunTargetTracking(cockpit_);
    EXPECT_EQ(t.target, nullptr);
    EXPECT_EQ(cockpit_->trackMode, kTrackCursor) << mode;
    ASSERT_EQ(lost_.size(), 1u);
    EXPECT_EQ(lost_[0], ship_->id);
  }
}

TEST_F(TargetTrackingTest, AutomaticSearchWaitsASecondUnlessTheClockWentBack) {
  struct Case {
    int32_t sinceStart;
    bool searches;
  };
  const Case kCases[] = {{0, false}, {999, false}, {1000, true}, {-1, true}};
  for (uint16_t mode : {kTrackCursor, kTrackEnemy}) {
    for (const Case& c : kCases) {
      cockpit_->trackMode = mode;
      cockpit_->trackObject = nullptr;
      cockpit_->trackStart = gSystem->gameTime - static_cast<uint32_t>(c.sinceStart);
      TrackedTarget t = RunTargetTracking(cockpit_);
      EXPECT_EQ(t.hostile, mode == kTrackEnemy);
      // Nothing is in view, so a search finds nothing and keeps the mode; it restarts nothing.
      EXPECT_EQ(cockpit_->trackMode, mode);
      EXPECT_EQ(cockpit_->trackStart, gSystem->gameTime - static_cast<uint32_t>(c.sinceStart));
    }
  }
  EXPECT_TRUE(lost_.empty());
}

TEST_F(TargetTrackingTest, MarksRunOnlyForAShipDirectlyInASector) {
  TargetOverlay& overlay = cockpit_->overlay;
  overlay.enabled = 1;
  EXPECT_TRUE(TargetOverlayRuns(&overlay));
  overlay.enabled = 0;
  EXPECT_FALSE(TargetOverlayRuns(&overlay));
  overlay.enabled = 1;
  SpaceObject* carrier = Object(301, kClassShip, sector_);
  SpaceObject* docked = Object(302, kClassShip, carrier);
  cockpit_->cockpitRefObject = docked;
  EXPECT_FALSE(TargetOverlayRuns(&overlay));
  cockpit_->cockpitRefObject = Object(303, kClassDock, sector_);
  EXPECT_FALSE(TargetOverlayRuns(&overlay));
  cockpit_->cockpitRefObject = nullptr;
  EXPECT_FALSE(TargetOverlayRuns(&overlay));
}

}  // namespace
