// The target overlay's frame step on a cockpit: which marks show which icon where (brackets by
// tracking time and standing, crosshair forms, turret mark, lead marker, status tiles, warning
// cycle), what the cockpit's flags hide, the early leave for a ship outside a sector, and the
// docking guide and direction arrows' constants.
#include <string>

#include "frontend/hud/target_marks.h"
#include "frontend/overlay_world.h"
#include "devices/steering.h"
#include "universe/object_queries.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kDockingState = 27;  // the ship state in which it approaches a dock

class TargetMarksStepTest : public OverlayWorld {
 protected:
  const CockpitSlot& Mark(int i) const { return cockpit_->overlay.slots[i]; }
  void Step() { UpdateTargetOverlay(&cockpit_->overlay); }
  void Track(SpaceObject* target, uint16_t mode, int32_t sinceMs) {
    cockpit_->trackObject = target;
    cockpit_->trackMode = mode;
    cockpit_->trackStart = gSystem->gameTime - static_cast<uint32_t>(sinceMs);
  }
};

TEST_F(TargetMarksStepTest, BracketsStepThroughTheirFramesWhileAcquiring) {
  struct Case {
    int32_t since;
    int32_t frame;
  };
  const Case kCases[] = {{0, 0}, {1, 1}, {83, 1}, {84, 2}, {249, 2}, {250, 3}, {333, 4}, {999, 4}};
  SpaceObject* target = Seen(300, kClassShip, 0, 0, 5000);
  for (const Case& c : kCases) {
    Track(target, kTrackOverlayLock, c.since);
    Step();
    ASSERT_EQ(cockpit_->trackMode, kTrackOverlayLock) << c.since;
    EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), 400 + 2 * c.frame) << c.since;
    EXPECT_EQ(Shown(Mark(kMarkBracketRight)), 401 + 2 * c.frame) << c.since;
  }
  EXPECT_EQ(X(Mark(kMarkBracketLeft)), -70);
  EXPECT_EQ(X(Mark(kMarkBracketRight)), 70);
  EXPECT_EQ(Y(Mark(kMarkBracketRight)), -4);
  EXPECT_NE(Mark(kMarkBracketLeft).instance->flags2 & kSlotScreenMark, 0u);

  // A second of acquiring locks: from then on the first frame.
  Track(target, kTrackOverlayLock, 1000);
  Step();
  EXPECT_EQ(cockpit_->trackMode, kTrackObject);
  Step();
  EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), 400);
}

TEST_F(TargetMarksStepTest, MarksTakeTheTargetsStanding) {
  SpaceObject* hostile = Seen(300, kClassShip, 0, 0, 5000, 2);
  ObjSetRelation(2, ship_, -1);
  SpaceObject* own = Seen(301, kClassShip, 0, 0, 5000, 10);
  SpaceObject* neutral = Seen(302, kClassShip, 0, 0, 5000, 3);
  struct Case {
    SpaceObject* target;
    int32_t bracket, crosshair;
  };
  const Case kCases[] = {{hostile, 410, 390}, {own, 420, 391}, {neutral, 400, 389}};
  for (const Case& c : kCases) {
    Track(c.target, kTrackObject, 5000);
    Step();
    EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), c.bracket) << c.target->id;
    EXPECT_EQ(Shown(Mark(kMarkCrosshair)), c.crosshair) << c.target->id;
  }
  // Searching in the enemy mode counts as hostile; the brackets turn every 200 ms.
  Track(nullptr, kTrackEnemy, 0);
  cockpit_->overlay.bracketPhase = 0;
  gSystem->frameStep = 450;
  Step();
  EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), 410 + 2 * 2);
  Step();
  EXPECT_EQ(cockpit_->overlay.bracketPhase, 900u);
  EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), 410 + 2 * 4);
  Step();
  EXPECT_EQ(cockpit_->overlay.bracketPhase, 350u);
}

TEST_F(TargetMarksStepTest, CrosshairFormFollowsCockpitShipAndApplicationFlag) {
  struct Case {
    int32_t cockpitNumber, monitorNumber;
    uint32_t shipFlags;
    int32_t applicationFlag;
    int32_t icon;
  };
  const Case kCases[] = {
      {0, 0, 0x80000, 0, 386}, {0, 0, 0x80000, 1, 386}, {0, 1, 0x80000, 0, 389},
      {1, 0, 0x80000, 1, 499}, {0, 0, 0, 1, 499},       {0, 0, 0, 0, 389},
  };
  const int32_t saved = gCursorSteering[0];
  for (const Case& c : kCases) {
    cockpit_->cockpitNumber = c.cockpitNumber;
    cockpit_->monitorNumber = c.monitorNumber;
    ship_->flags = c.shipFlags;
    gCursorSteering[0] = c.applicationFlag;
    Step();
    EXPECT_EQ(Shown(Mark(kMarkCrosshair)), c.icon) << (&c - kCases);
    EXPECT_EQ(Y(Mark(kMarkCrosshair)), 9);
  }
  gCursorSteering[0] = saved;
}

TEST_F(TargetMarksStepTest, TurretMarkRules) {
  CockpitRecord* other = NewCockpit();
  SpaceObject* carrier = Object(50, kClassShip, sector_);
  cockpit_->refObject = carrier;
  other->refObject = carrier;
  struct Case {
    int32_t cockpitNumber, monitorNumber;
    uint32_t shipFlags;
    int active;  // 0 none, 1 this cockpit, 2 the other with the same view, 3 the other elsewhere
    int32_t otherNumber;
    bool shown;
  };
  const Case kCases[] = {
      {2, 0, 0, 0, 0, true},        {2, 0, 0, 1, 0, false},       {2, 0, 0, 2, 2, false},
      {2, 0, 0, 2, 3, true},        {2, 0, 0, 3, 2, true},        {0, 1, 0x80000, 0, 0, true},
      {0, 0, 0x80000, 0, 0, false}, {0, 1, 0, 0, 0, false},       {-1, 1, 0x80000, 0, 0, false},
  };
  for (const Case& c : kCases) {
    cockpit_->cockpitNumber = c.cockpitNumber;
    cockpit_->monitorNumber = c.monitorNumber;
    ship_->flags = c.shipFlags;
    other->cockpitNumber = c.otherNumber;
    other->refObject = c.active == 3 ? ship_ : carrier;
    gGuiMaster->activeControlCockpit = c.active == 0 ? 0 : c.active == 1 ? cockpit_->handle : other->handle;
    Step();
    EXPECT_EQ(Shown(Mark(kMarkTurret)), c.shown ? 491 : -1) << (&c - kCases);
  }
  EXPECT_EQ(X(Mark(kMarkTurret)), 1);
  EXPECT_EQ(Y(Mark(kMarkTurret)), -25);
}

TEST_F(TargetMarksStepTest, StatusTilesShowTheThreeBandsOfTheStatusTexture) {
  Step();
  const int32_t positions[3][2] = {{-70, -10}, {70, -10}, {0, 40}};
  for (int i = 0; i < 3; ++i) {
    const CockpitSlot& tile = Mark(kMarkTile0 + i);
    ASSERT_TRUE(tile.visible) << i;
    EXPECT_EQ(tile.bodyId, gGuiMaster->menuBodies[3]);
    EXPECT_EQ(X(tile), positions[i][0]);
    EXPECT_EQ(Y(tile), positions[i][1]);
    EXPECT_NE(tile.instance->flags2 & kSlotScreenMark, 0u);
    ASSERT_NE(tile.instance->texAnims, nullptr);
    EXPECT_EQ(tile.instance->texAnims[0].anim, -15);
    EXPECT_EQ(Window(tile).row1[1], 0x4000);
    EXPECT_EQ(Window(tile).row2[1], 0x4000 * i);
  }
}

TEST_F(TargetMarksStepTest, FlagsBitZeroClearHidesTheAimMarks) {
  SpaceObject* target = Seen(300, kClassShip, 0, 0, 5000);
  Track(target, kTrackObject, 5000);
  mask_ = 1;
  Step();
  for (int slot : {kMarkCrosshair, kMarkBracketLeft, kMarkBracketRight, kMarkTile0, kMarkLead})
    EXPECT_TRUE(Mark(slot).visible) << slot;
  for (int slot = 14; slot <= 16; ++slot) AttachSlot(cockpit_->scene, &cockpit_->overlay.slots[slot], 5);

  cockpit_->flags = 2;
  Step();
  for (int slot : {0, 3, 14, 15, 16, 26, 27, 28, 29, 30, 33}) EXPECT_FALSE(Mark(slot).visible) << slot;
  EXPECT_EQ(cockpit_->overlay.leadX, -1);
  EXPECT_EQ(cockpit_->overlay.leadY, -1);
}

TEST_F(TargetMarksStepTest, LeadMarkerNeedsTheHudMaskAndDepth) {
  struct Case {
    int32_t z;
    int32_t mask;
    uint16_t mode;
    bool shown;
  };
  const Case kCases[] = {
      {5000, 1, kTrackObject, true},    {5000, 2, kTrackOverlayLock, true}, {5000, 0, kTrackObject, false},
      {5000, 4, kTrackObject, false},   {100, 1, kTrackObject, false},      {101, 1, kTrackObject, true},
      {-5000, 1, kTrackObject, false},  {2220000, 1, kTrackObject, false},
  };
  uint32_t id = 300;
  for (const Case& c : kCases) {
    SpaceObject* target = Seen(id++, kClassShip, 0, 0, c.z);
    Track(target, c.mode, 10);
    mask_ = c.mask;
    Step();
    EXPECT_EQ(Shown(Mark(kMarkLead)), c.shown ? 394 : -1) << (&c - kCases);
    EXPECT_EQ(cockpit_->overlay.leadX, c.shown ? 0 : -1) << (&c - kCases);
    EXPECT_EQ(cockpit_->overlay.leadY, c.shown ? 0 : -1) << (&c - kCases);
  }
  EXPECT_GT(queries_, 0);

  // Off the axis the marker stands at its projected point: x / z of the half width.
  SpaceObject* aside = Seen(id++, kClassShip, 2500, -1000, 5000);
  Track(aside, kTrackObject, 10);
  mask_ = 1;
  Step();
  EXPECT_EQ(cockpit_->overlay.leadX, 200);
  EXPECT_EQ(cockpit_->overlay.leadY, 80);
  EXPECT_EQ(X(Mark(kMarkLead)), 200);
  EXPECT_EQ(Y(Mark(kMarkLead)), 80);

  // A ship of subtype 267 never shows it.
  ship_->subtype = 267;
  Step();
  EXPECT_EQ(Shown(Mark(kMarkLead)), -1);
}

TEST_F(TargetMarksStepTest, WarningMarkShowsTheAlertThenTheApproachInTwoSecondCycles) {
  auto* ext = static_cast<ShipExt*>(ship_->ext);
  ASSERT_NE(ext, nullptr);
  struct Case {
    bool alert, approach;
    uint32_t since;
    int32_t icon;
  };
  const Case kCases[] = {
      {true, true, 0, 392},     {true, true, 999, 392},  {true, true, 1000, 393}, {true, true, 1999, 393},
      {true, false, 1500, -1},  {false, true, 500, -1},  {false, true, 1500, 393}, {false, false, 500, -1},
  };
  for (const Case& c : kCases) {
    gGuiMaster->alertFlags = c.alert ? kAlertIncomingMissile : kAlertMissileRaised;
    ext->stateWord = c.approach ? kDockingState : 0;
    ship_->speed = 1 << 30;
    cockpit_->overlay.words[4] = static_cast<int32_t>(gSystem->realTime - c.since);
    Step();
    EXPECT_EQ(Shown(Mark(kMarkWarning)), c.icon) << (&c - kCases);
    if (!c.alert && !c.approach) {
      EXPECT_EQ(static_cast<uint32_t>(cockpit_->overlay.words[4]), gSystem->realTime);
    }
  }
  // Past two seconds the cycle starts again with the alert.
  gGuiMaster->alertFlags = kAlertIncomingMissile;
  cockpit_->overlay.words[4] = static_cast<int32_t>(gSystem->realTime - 2000);
  Step();
  EXPECT_EQ(Shown(Mark(kMarkWarning)), 392);
  EXPECT_EQ(static_cast<uint32_t>(cockpit_->overlay.words[4]), gSystem->realTime);

  // A cockpit that looks from another object shows no warning.
  cockpit_->refObject = Object(60, kClassShip, sector_);
  cockpit_->overlay.words[4] = 0;
  Step();
  EXPECT_EQ(Shown(Mark(kMarkWarning)), -1);
  EXPECT_EQ(static_cast<uint32_t>(cockpit_->overlay.words[4]), gSystem->realTime);
}

TEST_F(TargetMarksStepTest, AShipOutsideASectorShowsNoMarkAndRaisesNothing) {
  SpaceObject* target = Seen(300, kClassShip, 0, 0, 5000);
  Track(target, kTrackObject, 5000);
  mask_ = 1;
  Step();
  ASSERT_TRUE(Mark(kMarkCrosshair).visible);
  ASSERT_NE(cockpit_->overlay.icons, nullptr);
  const int before = queries_;

  SpaceObject* carrier = Object(70, kClassShip, sector_);
  SpaceObject* docked = Object(71, kClassShip, carrier);
  cockpit_->cockpitRefObject = docked;
  cockpit_->trackObject = nullptr;  // a vanished target would be lost, were the step to run
  Step();
  for (const CockpitSlot& slot : cockpit_->overlay.slots) EXPECT_FALSE(slot.visible);
  EXPECT_EQ(queries_, before);
  EXPECT_TRUE(lost_.empty());
  EXPECT_EQ(cockpit_->trackMode, kTrackObject);
  EXPECT_EQ(cockpit_->overlay.icons->used, 0);
  EXPECT_EQ(static_cast<uint32_t>(cockpit_->overlay.words[3]), gSystem->realTime);
  EXPECT_EQ(static_cast<uint32_t>(cockpit_->overlay.words[4]), gSystem->realTime);
}

TEST_F(TargetMarksStepTest, AVanishedTargetIsReportedAndTheCursorSearchRunsAtOnce) {
  cockpit_->trackMode = kTrackOverlayLock;
  cockpit_->trackObject = nullptr;
  cockpit_->trackStart = gSystem->gameTime - 5000;
  Step();
  ASSERT_EQ(lost_.size(), 1u);
  EXPECT_EQ(lost_[0], ship_->id);
  EXPECT_EQ(cockpit_->trackMode, kTrackCursor);
  // Back in the cursor mode the brackets search.
  EXPECT_TRUE(Mark(kMarkBracketLeft).visible);
}

TEST_F(TargetMarksStepTest, DisablingTheTargetBodiesHidesMarksAndIcons) {
  Seen(300, kClassShip, 0, 0, 5000);
  Step();
  ASSERT_TRUE(Mark(kMarkCrosshair).visible);
  EnableTargetBodies(&cockpit_->overlay, 0);
  for (const CockpitSlot& slot : cockpit_->overlay.slots) EXPECT_FALSE(slot.visible);
  EXPECT_EQ(cockpit_->overlay.icons->used, 0);
  Step();  // disabled: nothing shows again
  EXPECT_FALSE(Mark(kMarkCrosshair).visible);
  EnableTargetBodies(&cockpit_->overlay, 1);
  Step();
  EXPECT_TRUE(Mark(kMarkCrosshair).visible);
}

TEST(TargetMarkConstants, DockingGuideTurnsOnceInTwoSeconds) {
  struct Case {
    uint32_t clock;
    int32_t angle;
  };
  const Case kCases[] = {{0, 0}, {500, 16384}, {1000, 32768}, {1999, 65503}, {2000, 0}, {4500, 16384}};
  for (const Case& c : kCases) EXPECT_EQ(DockGuideAngle(c.clock), c.angle) << c.clock;
}

TEST(TargetMarkConstants, DirectionArrowsPointToTheBorderAndHideNearTheCentre) {
  struct Case {
    int32_t x, y, z;
    int32_t px, py;
    bool half, third;
  };
  const int32_t e = 3750;  // a 4:3 view
  const Case kCases[] = {
      {0, 0, 1000, 0, 0, false, false},          // straight ahead
      {1000, 0, 1000, 5000, 0, true, true},      // on the right border
      {900, 0, 1000, 4500, 0, false, true},      // inside: only the third arrow beyond 3750
      {700, 0, 1000, 3500, 0, false, false},
      {0, 10, -1000, 0, 3750, true, true},       // behind: the direction of (x, y) decides
      {100, -100, -5, 3750, -3750, true, true},  // steeper than the corner: top or bottom
      {100, -50, -5, 5000, -2500, true, true},   // flatter: a side
      {-3000, 0, 1000, -5000, 0, true, true},
  };
  for (const Case& c : kCases) {
    const ArrowPlacement a = DirectionArrowPoint(c.x, c.y, c.z, e);
    EXPECT_EQ(a.px, c.px) << (&c - kCases);
    EXPECT_EQ(a.py, c.py) << (&c - kCases);
    EXPECT_EQ(a.showHalf, c.half) << (&c - kCases);
    EXPECT_EQ(a.showThird, c.third) << (&c - kCases);
  }
  EXPECT_EQ(VectorAngle16(1, 0), 0);
  EXPECT_EQ(VectorAngle16(0, 1), 16384);
  EXPECT_EQ(VectorAngle16(-1, 0), 32768);
  EXPECT_EQ(VectorAngle16(0, -1), 49152);
  EXPECT_EQ(VectorAngle16(1, 1), 8192);
  EXPECT_EQ(DirectionArrowPoint(0, 1000, -1, e).angle, 16384);
}

TEST_F(TargetMarksStepTest, DirectionArrowsOfTheTargetAndTheCurrentObject) {
  SpaceObject* target = Seen(300, kClassShip, 0, 0, -5000, 2);  // behind: arrows on the border
  ObjSetRelation(2, ship_, -1);
  SpaceObject* current = Seen(301, kClassShip, -100, 0, -5000);
  Track(target, kTrackObject, 5000);
  cockpit_->currentSectorObject = current;
  Step();
  EXPECT_EQ(Shown(Mark(kMarkTargetArrow0)), 449);
  EXPECT_EQ(Shown(Mark(kMarkTargetArrow1)), 449);
  EXPECT_EQ(Shown(Mark(kMarkObjectArrow0)), 497);
  EXPECT_EQ(Shown(Mark(kMarkObjectArrow1)), 497);
  // Straight behind: the top border, half and a third of the way there (400 pixels a 5000).
  EXPECT_EQ(X(Mark(kMarkTargetArrow0)), 0);
  EXPECT_EQ(Y(Mark(kMarkTargetArrow0)), -150);
  EXPECT_EQ(Y(Mark(kMarkTargetArrow1)), -100);
  EXPECT_EQ(X(Mark(kMarkObjectArrow0)), -200);

  cockpit_->flags |= 4;  // no arrows for the current object
  Step();
  EXPECT_EQ(Shown(Mark(kMarkObjectArrow0)), -1);
  cockpit_->currentSectorObject = target;  // the target is the current object too
  Step();
  EXPECT_EQ(Shown(Mark(kMarkTargetArrow0)), 497);
  Track(nullptr, kTrackCursor, 0);
  Step();
  EXPECT_EQ(Shown(Mark(kMarkTargetArrow0)), -1);
}

}  // namespace

namespace {

TEST_F(TargetMarksStepTest, DockingGuideHidesUnlessDockingAtAPortTheDockHas) {
  auto* ext = static_cast<ShipExt*>(ship_->ext);
  SpaceObject* dock = Seen(300, kClassDock, 0, 0, 5000);
  AttachSlot(cockpit_->scene, &cockpit_->overlay.slots[kMarkDockingGuide], 5);
  struct Case {
    uint32_t state;
    SpaceObject* target;
    int32_t port;
  };
  // Not docking; docking at nothing; at a ship's port -1; at a port the dock's type lacks.
  const Case kCases[] = {{0, dock, 0}, {kDockingState, nullptr, 0}, {kDockingState, dock, -1}, {kDockingState, dock, 0}};
  for (const Case& c : kCases) {
    ext->stateWord = c.state;
    ext->commandObject = c.target;
    ext->dockSlot = c.port;
    Step();
    EXPECT_FALSE(Mark(kMarkDockingGuide).visible) << (&c - kCases);
  }
  ext->commandObject = nullptr;
}

}  // namespace

namespace {

TEST_F(TargetMarksStepTest, EnemySearchFindsAHostileOnlyASecondAfterTheLastSwitch) {
  SpaceObject* enemy = Seen(300, kClassShip, 0, 0, 5000, 2);
  ObjSetRelation(2, ship_, -1);
  cockpit_->sectorSpace = sector_;
  struct Case {
    int32_t since;
    bool found;
  };
  const Case kCases[] = {{0, false}, {999, false}, {1000, true}, {-1, true}};
  for (const Case& c : kCases) {
    Track(nullptr, kTrackEnemy, c.since);
    Step();
    EXPECT_EQ(cockpit_->trackMode, c.found ? kTrackOverlayLock : kTrackEnemy) << c.since;
    EXPECT_EQ(cockpit_->trackObject, c.found ? enemy : nullptr) << c.since;
  }
  // Acquired now, locked once a second has passed, then the hostile brackets' first frame.
  Track(enemy, kTrackOverlayLock, 1000);
  Step();
  EXPECT_EQ(cockpit_->trackMode, kTrackObject);
  EXPECT_EQ(Shown(Mark(kMarkBracketLeft)), 410);
  cockpit_->sectorSpace = nullptr;
}

}  // namespace
