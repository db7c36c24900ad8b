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
#include "universe/type_access.h"
#include "script/containers.h"

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
    gHudOutputs = {RecordPlay, RecordStop, RecordPlay3D, RecordEvent, nullptr, nullptr};
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

// ---------------------------------------------------------------------------------------------
// The script queries and the scanner pass, with the scripts' answers given by the case.

namespace {

struct Answer {
  int32_t objectId;
  std::string name;
  std::vector<int32_t> values;  // one value: an int answer; more (or array = true): an array
  bool array;
};
std::vector<Answer> gAnswers;
std::vector<std::vector<int32_t>> gQueryArgs;
std::vector<int32_t> gKnown;

bool FakeQuery(int32_t objectId, const char* name, int32_t, int32_t argCount, const int32_t* args,
               ScriptValue* answer) {
  for (const Answer& a : gAnswers) {
    if (a.objectId != objectId || a.name != name) continue;
    gQueryArgs.emplace_back(args, args + argCount);
    if (!a.array) {
      SetValueInt(answer, a.values.at(0));
    } else {
      AllocArrayValue(answer, static_cast<int32_t>(a.values.size()));
      for (size_t i = 0; i < a.values.size(); ++i) ArrayWriteInt(answer, static_cast<int32_t>(i), a.values[i]);
    }
    return true;
  }
  return false;
}
void FakeSetKnown(int32_t objectId) { gKnown.push_back(objectId); }

}  // namespace

class HudScanner : public HudStep {
 protected:
  void SetUp() override {
    HudStep::SetUp();
    gHudOutputs.query = FakeQuery;
    gHudOutputs.setKnown = FakeSetKnown;
    gAnswers.clear();
    gQueryArgs.clear();
    gKnown.clear();
    player_->scriptId = 500;
    gAnswers.push_back({500, "GetScannerRange", {1000000}, false});
    c_ = NewCockpit();
    ASSERT_NE(c_, nullptr);
    c_->cockpitRefObject = player_;
    c_->monitorNumber = 0;
  }
  void TearDown() override {
    gGlobalsTable = saved_;
    HudStep::TearDown();
  }
  void Limit(int32_t value) {
    saved_ = gGlobalsTable;
    global_ = {kScannerLimit, value};
    gGlobalsTable = {1, &global_};
  }
  SpaceObject* Field(uint32_t id, int32_t x, int32_t radius) {
    SpaceObject* o = Object(id, kClass21, sector_, x, 0, 0);
    static_cast<Class21Ext*>(o->ext)->words[0] = static_cast<uint32_t>(radius);
    static_cast<Class21Ext*>(o->ext)->words[1] = 1;
    return o;
  }
  std::vector<uint32_t> Kept() {
    int32_t n = 0;
    ScannerEntry* e = ScannerEntries(c_, &n);
    std::vector<uint32_t> ids;
    for (int32_t i = 0; i < n; ++i) ids.push_back(e[i].object->id);
    return ids;
  }
  static constexpr int32_t kScannerLimit = 12;
  CockpitRecord* c_ = nullptr;
  GlobalsTable saved_{};
  GlobalsEntry global_{};
};

TEST_F(HudScanner, KeepsWhatIsInRangeSortedAndDropsWhatTheRulesDrop) {
  struct Case {
    uint32_t id;
    int32_t x;
    uint16_t owner;
    uint32_t flags, flags2;
    bool kept;
  };
  const Case kCases[] = {
      {10, 900000, 2, 0, 0, true},
      {11, 100000, 2, 0, 0, true},
      {12, 2000000, 2, 0, 0, false},           // beyond the scanner range
      {13, 2000000, 10, 0, 0, true},           // the player's race is always kept
      {14, 300000, 2, 0, 0x4000, false},       // short-range objects beyond 250000
      {15, 200000, 2, 0, 0x4000, true},
      {16, 50000, 2, 0x1, 0, false},           // skipped by flag
      {17, 50000, 2, 0, 1u << 29, false},
      {18, 5000000, 2, 0, 0x10, true},         // exempt from the range tests
  };
  for (const Case& k : kCases) {
    SpaceObject* o = Object(k.id, kClassShip, sector_, k.x, 0, 0);
    o->owner = k.owner;
    o->flags = k.flags;
    o->flags2 = k.flags2;
  }
  CockpitScannerPass(c_);
  EXPECT_EQ(c_->scannerRange, 1000000);
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{11, 15, 10, 13, 18}));
  int32_t n = 0;
  ScannerEntry* e = ScannerEntries(c_, &n);
  for (int32_t i = 1; i < n; ++i) EXPECT_LE(e[i - 1].distance, e[i].distance);
  EXPECT_EQ(e[0].distance, 100000);
  EXPECT_EQ(e[0].object->radarAnchor, e[0].object->instance);
}

TEST_F(HudScanner, FieldsHideWhatLiesInThemAndBeyondTheLimitFromInside) {
  Limit(400000);
  Field(30, 0, 100000);          // the eye is inside this one
  Field(31, 800000, 50000);
  SpaceObject* inOther = Object(40, kClassShip, sector_, 810000, 0, 0);
  inOther->owner = 2;
  SpaceObject* beyond = Object(41, kClassShip, sector_, 0, 500000, 0);
  beyond->owner = 2;
  SpaceObject* within = Object(42, kClassShip, sector_, 0, 300000, 0);
  within->owner = 2;
  c_->trackObject = inOther;
  CockpitScannerPass(c_);
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{42}));
  EXPECT_EQ(c_->trackObject, nullptr);  // a tracked object hidden in a field is let go
}

TEST_F(HudScanner, KnownObjectsAreReportedOrLoseTheMark) {
  SpaceObject* scripted = Object(50, kClassShip, sector_, 1000, 0, 0);
  scripted->flags = 0x8;
  scripted->scriptId = 77;
  SpaceObject* bare = Object(51, kClassShip, sector_, 2000, 0, 0);
  bare->flags = 0x8;
  CockpitScannerPass(c_);
  EXPECT_EQ(gKnown, std::vector<int32_t>{77});
  EXPECT_EQ(bare->flags & 0x8, 0u);
}

TEST_F(HudScanner, ANearDockIsAskedForThePlayersPort) {
  SpaceObject* dock = Object(60, kClassDock, sector_, 100000, 0, 0);
  dock->radius = 50000;
  dock->scriptId = 90;
  gAnswers.push_back({90, "__requestDockPort", {-1}, false});
  CockpitScannerPass(c_);
  ASSERT_EQ(gQueryArgs.size(), 2u);  // the range, then the port
  EXPECT_EQ(gQueryArgs[1], (std::vector<int32_t>{500, 0, 1, 0}));
  EXPECT_EQ(dock->radarAnchor, dock->instance);  // no port: the dock itself
}

TEST_F(HudScanner, OtherMonitorsScanOnlyWhileTheRadarIsDrawn) {
  Object(10, kClassShip, sector_, 1000, 0, 0)->owner = 2;
  c_->monitorNumber = 1;
  c_->radarBodyOn = 0;
  CockpitScannerPass(c_);
  EXPECT_TRUE(Kept().empty());
  c_->radarBodyOn = 1;
  CockpitScannerPass(c_);
  EXPECT_EQ(Kept(), std::vector<uint32_t>{10});
}

TEST_F(HudScanner, TheCurrentObjectAndTheMissionOffersComeFromTheScripts) {
  SpaceObject* target = Object(70, kClassShip, sector_, 1000, 0, 0);
  gAnswers.push_back({311, "GetCurrentObjectIDInSector", {70}, false});
  CockpitQueryCurrentObject(c_);
  EXPECT_EQ(c_->currentSectorObject, target);
  gAnswers.back().values = {999};  // names nothing
  CockpitQueryCurrentObject(c_);
  EXPECT_EQ(c_->currentSectorObject, nullptr);

  sector_->scriptId = 80;
  // Pairs (id, value); 999 names nothing; the odd last element is left out.
  gAnswers.push_back({80, "GetMissionOfferArray", {70, 0x12345, 999, 4, 70, 6, 70}, true});
  CockpitQueryMissionOffers(c_);
  int32_t n = 0;
  MissionOffer* offers = MissionOffers(c_, &n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(offers[0].object, target);
  EXPECT_EQ(offers[0].value, 0x2345);
  EXPECT_EQ(offers[1].value, 6);
  gAnswers.back() = {80, "GetMissionOfferArray", {5}, false};  // not an array
  CockpitQueryMissionOffers(c_);
  MissionOffers(c_, &n);
  EXPECT_EQ(n, 0);
}
