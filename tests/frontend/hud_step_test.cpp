// The HUD frame step: the alert level's hysteresis, samples and events, the missile alert, the
// shake fade, zoom over the real-time clock, the fields of view, the camera sway, and cockpits
// stepped in key order without a sector camera.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "frontend/frontend.h"
#include "frontend/hud/hud_step.h"
#include "frontend/cockpit_world.h"
#include "universe/object_classes.h"
#include "universe/missile_services.h"
#include "universe/object_queries.h"

namespace {

// Every sound and event the HUD gives, in order, as text.
std::vector<std::string> gCalls;
int32_t RecordPlay(int32_t id) {
  gCalls.push_back("play " + std::to_string(id));
  return 1;
}
int32_t RecordStop(int32_t id) {
  gCalls.push_back("stop " + std::to_string(id));
  return 1;
}
int32_t RecordPlay3D(int32_t id, SpaceObject* at) {
  gCalls.push_back("play3d " + std::to_string(id) + " at " + std::to_string(at->id));
  return 1;
}
void RecordEvent(const char* name, int32_t argCount, int32_t arg) {
  gCalls.push_back(std::string(name) + (argCount ? "(" + std::to_string(arg) + ")" : "()"));
}

using Calls = std::vector<std::string>;

}  // namespace

class HudStep : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    saved_ = gHudOutputs;
    gHudOutputs = {RecordPlay, RecordStop, RecordPlay3D, RecordEvent};
    gCalls.clear();
    sector_ = Object(1, kClassSector);
    player_ = Object(2, kClassShip, sector_);
    player_->owner = 1;
    universe_.player = player_;
    ObjSetRelation(2, player_, -1);
  }
  void TearDown() override {
    gHudOutputs = saved_;
    CockpitWorld::TearDown();
  }
  SpaceObject* Enemy(uint32_t id, int32_t x, uint16_t objClass = kClassShip, int16_t subtype = 0) {
    SpaceObject* o = Object(id, objClass, sector_, x, 0, 0);
    o->owner = 2;
    o->subtype = subtype;
    return o;
  }
  // One alert step from the given level; the calls it made.
  Calls Step(int32_t level) {
    gGuiMaster->alertLevel = level;
    gCalls.clear();
    UpdateAlertLevel(gGuiMaster);
    return gCalls;
  }
  CockpitRecord Bare() {
    CockpitRecord c{};
    MatrixSetIdentity(&c.viewMatrix);
    c.zoomFactor = 0x10000;
    return c;
  }

  HudOutputs saved_{};
  SpaceObject* sector_ = nullptr;
  SpaceObject* player_ = nullptr;
};

TEST(LinearInterpolateTable, EndsMidpointAndWideProducts) {
  struct Case {
    int32_t x, x0, x1, y0, y1, want;
  };
  const Case kCases[] = {
      {-5, 0, 1000, 10, 20, 10},            // below x0
      {0, 0, 1000, 10, 20, 10},             // at x0
      {1000, 0, 1000, 10, 20, 20},          // at x1
      {5000, 0, 1000, 10, 20, 20},          // beyond x1
      {7, 3, 3, 10, 21, 15},                // x0 == x1: the midpoint, whatever x is
      {500, 0, 1000, 0x10000, 0x20000, 0x18000},
      {250, 0, 1000, 0, 1000, 250},
      {400, 0, 1000, 0, 144, 58},            // from the midpoint: 72 + 144 * -200 / 2000
      {2500, 2000, 3000, 0x20000, 0x10000, 0x18000},
      // Products far beyond 32 bits, and spans of the whole range.
      {0, -2000000000, 2000000000, -2000000000, 2000000000, 0},
      {1000000000, -2000000000, 2000000000, -2000000000, 2000000000, 1000000000},
      {1, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(LinearInterpolate(c.x, c.x0, c.x1, c.y0, c.y1), c.want) << c.x << " in " << c.x0 << ".." << c.x1;
  }
}

TEST_F(HudStep, AnEnemyBetweenTheTwoDistancesOnlyKeepsALevelThatIsOn) {
  Enemy(10, 3000000);
  EXPECT_EQ(Step(0), Calls{});
  EXPECT_EQ(gGuiMaster->alertLevel, 0);
  EXPECT_EQ(Step(1), Calls{});
  EXPECT_EQ(gGuiMaster->alertLevel, 1);
  EXPECT_EQ(gGuiMaster->alertPending, 0);
}

TEST_F(HudStep, AlertChangesStopAndPlayTheirSamplesAndRaiseNotifyAlertOnlyAcrossZero) {
  SpaceObject* near = Enemy(10, 100000);
  EXPECT_EQ(Step(0), (Calls{"NotifyAlert(1)", "play 923"}));
  SpaceObject* missile = Enemy(11, 9000000, kClassMissile);
  Missile(missile)->target = player_;
  EXPECT_EQ(Step(1), (Calls{"stop 923", "play 925"}));  // no second NotifyAlert
  EXPECT_EQ(gGuiMaster->alertLevel, 2);
  Missile(missile)->target = nullptr;
  EXPECT_EQ(Step(2), (Calls{"stop 925", "play 923"}));
  near->owner = 1;
  EXPECT_EQ(Step(1), (Calls{"stop 923", "NotifyAlert(0)"}));
  Missile(missile)->target = player_;
  EXPECT_EQ(Step(0), (Calls{"NotifyAlert(1)", "play 925"}));
  Missile(missile)->target = nullptr;
  EXPECT_EQ(Step(2), (Calls{"stop 925", "NotifyAlert(0)"}));
  EXPECT_EQ(gGuiMaster->alertLevel, 0);
}

TEST_F(HudStep, AMissileOnThePlayerGivesLevelTwoWhateverIsNear) {
  Enemy(10, 1000);
  SpaceObject* missile = Enemy(11, 4000000, kClassMissile);
  Missile(missile)->target = player_;
  Step(0);
  EXPECT_EQ(gGuiMaster->alertLevel, 2);
}

TEST_F(HudStep, ShipsOfTheIgnoredSubtypesRaiseNoAlert) {
  for (int16_t subtype : {271, 319, 320, 321}) {
    SpaceObject* o = Enemy(static_cast<uint32_t>(100 + subtype), 1000, kClassShip, subtype);
    EXPECT_EQ(Step(0), Calls{}) << subtype;
    o->owner = 1;
  }
  Enemy(50, 1000, kClassShip, 272);
  EXPECT_EQ(Step(0), (Calls{"NotifyAlert(1)", "play 923"}));
}

TEST_F(HudStep, PendingLevelsRaisedElsewhereAreTakenOnce) {
  gGuiMaster->alertPending = 2;
  EXPECT_EQ(Step(0), (Calls{"NotifyAlert(1)", "play 925"}));
  EXPECT_EQ(Step(2), (Calls{"stop 925", "NotifyAlert(0)"}));
}

TEST_F(HudStep, AMissileAtThePlayerSoundsAtTheLauncherSetsTheBitAndRaisesOneEvent) {
  CockpitRecord* c = NewCockpit();
  ASSERT_NE(c, nullptr);
  SpaceObject* launcher = Enemy(10, 50000);
  launcher->instance->scene = c->scene;
  SpaceObject* missile = Enemy(11, 50000, kClassMissile);
  Missile(missile)->launcher = launcher;
  Missile(missile)->target = player_;
  RaiseMissileAlert(missile);
  EXPECT_EQ(gCalls, (Calls{"play3d 0 at 10", "NotifyMissileAlert()"}));
  EXPECT_EQ(gGuiMaster->alertFlags & kAlertMissileRaised, kAlertMissileRaised);
  EXPECT_EQ(gGuiMaster->alertFlags & kAlertIncomingMissile, 0u);

  // At someone else: only the sound. A launcher in a muted sector away from the player: nothing.
  gCalls.clear();
  gGuiMaster->alertFlags = 0;
  Missile(missile)->target = launcher;
  RaiseMissileAlert(missile);
  EXPECT_EQ(gCalls, (Calls{"play3d 0 at 10"}));
  EXPECT_EQ(gGuiMaster->alertFlags, 0u);
  SpaceObject* other = Object(3, kClassSector);
  other->flags |= 0x2;
  ObjectListRemove(launcher);
  ObjectListAddTail(ObjectChildren(other), launcher);
  launcher->parent = other;
  gCalls.clear();
  RaiseMissileAlert(missile);
  EXPECT_EQ(gCalls, Calls{});
  launcher->instance->scene = nullptr;
}

TEST_F(HudStep, AShakeFadesOverItsLastSecond) {
  struct Case {
    uint32_t left;
    int32_t strength;
    int32_t percent;
  };
  const Case kCases[] = {{400, 100, 40}, {1000, 100, 100}, {2000, 100, 100}, {400, 500, 40}, {200, 60, 20}};
  for (const Case& k : kCases) {
    CockpitRecord c = Bare();
    c.cockpitRefObject = player_;
    c.viewMode = 1;
    c.shakeUntil = 10000 + k.left;
    c.shakeStrength = k.strength;
    c.shake2Until = 9000;
    GameSrand(7);
    const int32_t full[2] = {(RandomBelow(64) - 32) * std::min(k.strength, 100) * 16 / 100,
                             (RandomBelow(64) - 32) * std::min(k.strength, 100) * 16 / 100};
    GameSrand(7);
    int32_t a = 0, b = 0;
    CockpitShakeOffsets(&c, 10000, &a, &b);
    EXPECT_NEAR(a, full[0] * k.percent / 100.0, 1.0) << k.left;
    EXPECT_NEAR(b, full[1] * k.percent / 100.0, 1.0) << k.left;
    EXPECT_EQ(c.shake2Until, 10000u);  // a past shake is brought up to now
  }
  // Outside the in-cockpit view, or ended, there is no shake.
  CockpitRecord c = Bare();
  c.cockpitRefObject = player_;
  c.shakeUntil = 10400;
  c.shakeStrength = 100;
  int32_t a = 1, b = 1;
  CockpitShakeOffsets(&c, 10000, &a, &b);
  EXPECT_EQ(a | b, 0);
  c.viewMode = 1;
  c.shakeUntil = 9000;
  CockpitShakeOffsets(&c, 10000, &a, &b);
  EXPECT_EQ(a | b, 0);
  EXPECT_EQ(c.shakeUntil, 10000u);
}

TEST_F(HudStep, ZoomDoublesOverASecondHoldsTwoThenReturnsOverOne) {
  CockpitRecord c = Bare();
  c.cockpitRefObject = player_;
  c.viewMode = 1;
  uint32_t mainFov = 0, otherFov = 0;
  auto frame = [&](uint32_t now, bool held) {
    if (held) c.viewFlags |= kZoomRequested;
    UpdateCockpitZoom(&c, now, 16384, &mainFov, &otherFov);
  };
  frame(1000, true);
  EXPECT_EQ(gCalls, Calls{"play 979"});
  EXPECT_EQ(c.zoomFactor, 0x10000);
  frame(1500, true);
  EXPECT_EQ(c.zoomFactor, 0x18000);  // half way
  EXPECT_EQ(mainFov, 0x4000u * 0x10000u / 0x18000u);
  frame(2100, true);
  EXPECT_EQ(c.zoomFactor, 0x20000);
  EXPECT_EQ(mainFov, 0x2000u);
  EXPECT_EQ(otherFov, 8192u);
  frame(3000, false);  // released
  frame(4000, false);
  frame(5000, false);
  EXPECT_EQ(c.zoomFactor, 0x20000);  // held for 2000 ms
  EXPECT_EQ(gCalls, Calls{"play 979"});
  frame(5500, false);
  EXPECT_EQ(c.zoomFactor, 0x18000);
  frame(5700, false);
  EXPECT_EQ(gCalls, (Calls{"play 979", "play 979"}));  // once on the way back
  frame(6000, false);
  EXPECT_EQ(c.zoomFactor, 0x10000);
  EXPECT_EQ(mainFov, 0x4000u);
  EXPECT_EQ(c.viewFlags & (kZoomRequested | kZoomActive), 0u);
}

TEST_F(HudStep, FieldsOfViewWithoutZoomAndWithAFactorOfZero) {
  struct Case {
    const char* what;
    bool inCockpit;
    int32_t factor;
    uint32_t connectMode, ownFov;
    uint32_t wantMain, wantOther;
  };
  const Case kCases[] = {
      {"factor 0 from a save", true, 0, 0, 0, 0x4000, 0x106},
      {"not in the cockpit", false, 0x40000, 0, 0, 0x4000, 16384},
      {"not in the cockpit, connect mode 6", false, 0x40000, 6, 1234, 0x4000, 1234},
      {"a huge factor stops at the least", true, 0x7FFFFFFF, 0, 0, 0x106, 0x106},
  };
  for (const Case& k : kCases) {
    CockpitRecord c = Bare();
    c.cockpitRefObject = player_;
    c.viewMode = k.inCockpit ? 1 : 0;
    c.zoomFactor = k.factor;
    c.viewConnectMode = k.connectMode;
    c.fieldOfView = k.ownFov;
    c.zoomStart = 0;
    uint32_t mainFov = 0, otherFov = 0;
    UpdateCockpitZoom(&c, 0, 16384, &mainFov, &otherFov);
    EXPECT_EQ(mainFov, k.wantMain) << k.what;
    EXPECT_EQ(otherFov, k.wantOther) << k.what;
  }
}

class CockpitSway : public HudStep {
 protected:
  CockpitRecord Swaying() {
    CockpitRecord c = Bare();
    c.shakeAngles[0] = 1000;
    c.shakeAngles[1] = -600;
    c.shakeAngles[2] = 400;
    c.viewOffsetVector[0] = 40;
    c.viewOffsetVector[1] = -20;
    c.viewOffsetVector[2] = 10;
    return c;
  }
};

TEST_F(CockpitSway, AStillShipSwaysBackToRestAndALongFrameResets) {
  CockpitRecord c = Swaying();
  UpdateCockpitSway(&c, player_, 25);  // all rates 0: 95 % stays
  EXPECT_EQ(c.shakeAngles[0], 950);
  EXPECT_EQ(c.shakeAngles[1], -570);
  EXPECT_EQ(c.shakeAngles[2], 380);
  EXPECT_EQ(c.viewOffsetVector[0], 38);
  EXPECT_EQ(c.viewOffsetVector[1], -19);
  EXPECT_EQ(c.viewOffsetVector[2], 9);
  c = Swaying();
  player_->turnRates[1] = 0x10000;
  c.prevRates[1] = 0x10000;
  UpdateCockpitSway(&c, player_, 500);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c.shakeAngles[i], 0);
    EXPECT_EQ(c.viewOffsetVector[i], 0);
  }
  // A turning ship does not decay.
  c = Swaying();
  UpdateCockpitSway(&c, player_, 25);
  EXPECT_EQ(c.shakeAngles[0], 1000);
  EXPECT_EQ(c.prevRates[1], 0x10000);
}

TEST_F(CockpitSway, TheSwayStaysWithinItsClamps) {
  struct Case {
    int32_t rate;
  };
  const Case kCases[] = {{0x7FFFFFFF}, {-0x7FFFFFFF}};
  for (const Case& k : kCases) {
    CockpitRecord c = Bare();
    for (int i = 0; i < 3; ++i) {
      c.shakeAngles[i] = k.rate > 0 ? -100000 : 100000;
      c.viewOffsetVector[i] = k.rate > 0 ? -100000 : 100000;
      player_->turnRates[i] = k.rate;
    }
    player_->speed = 100000;
    UpdateCockpitSway(&c, player_, 100);
    const int32_t sign = k.rate > 0 ? -1 : 1;
    EXPECT_EQ(c.shakeAngles[0], sign * 0x666);
    EXPECT_EQ(c.shakeAngles[1], sign * 0x666);
    EXPECT_EQ(c.shakeAngles[2], sign * 0x3D7);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.viewOffsetVector[i], sign * 50);
  }
}

TEST_F(CockpitSway, TheFlagSwitchesTheTurnSwayOff) {
  CockpitRecord c = Bare();
  player_->turnRates[0] = 0x10000;
  player_->flags |= 0x80000;
  UpdateCockpitSway(&c, player_, 20);
  EXPECT_EQ(c.shakeAngles[0], 0);
  EXPECT_EQ(c.prevRates[0], 0x10000);
}

TEST_F(HudStep, CockpitsWithoutASectorCameraRunAHundredFrames) {
  CockpitRecord* first = NewCockpit();
  CockpitRecord* second = NewCockpit();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  for (CockpitRecord* c : {first, second}) {
    c->refObject = player_;
    c->cockpitRefObject = player_;
    c->viewMode = 1;
    c->shakeUntil = 10000 + 100 * 16;
    c->shakeStrength = 100;
    ASSERT_EQ(c->sectorCamera, nullptr);
  }
  first->viewFlags = kZoomRequested;
  second->viewFlags = kZoomRequested;
  UpdateHud();
  EXPECT_EQ(gCalls, (Calls{"play 979", "play 979"}));
  for (int frame = 0; frame < 100; ++frame) {
    SetTime(10000 + 16 * static_cast<uint32_t>(frame));
    UpdateHud();
  }
  EXPECT_EQ(first->shakeUntil, 11600u);  // still shaking in the last frame
  EXPECT_EQ(first->fieldOfView, gGuiMaster->focus);
}
