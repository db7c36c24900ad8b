// The cockpit's three scenes, the view connect modes with the per-frame placement and its common
// tail, and the cursor and enemy aims over a sector of hand-built objects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/target_overlay.h"
#include "scene/camera_records.h"
#include "scene/scene_records.h"
#include "universe/object_queries.h"
#include "cockpit_world.h"

namespace {

class CockpitViews : public CockpitWorld {
 protected:
  // A cockpit record outside the table: the views need no scene.
  CockpitRecord* Bare() {
    bare_ = CockpitRecord{};
    bare_.viewAngleAccel = kFixedOne;
    bare_.cinematicLoopTime = kDefaultCinematicLoopTime;
    MatrixSetIdentity(&bare_.viewMatrix);
    return &bare_;
  }
  CockpitRecord bare_{};
};

int32_t Yaw(int32_t x, int32_t y, int32_t z) {
  const FixedVector v{x, y, z, 0};
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&v, &yaw, &pitch);
  return static_cast<int32_t>(yaw);
}

// ---------------------------------------------------------------------------------------------
// Scenes.

TEST_F(CockpitViews, ACockpitHasItsSceneCameraAndLightsAndTwoUnsavedOverlayScenes) {
  CockpitRecord* c = NewCockpit();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->scene, nullptr);
  EXPECT_STREQ(c->scene->name, "Cockpit Scene");
  EXPECT_FLOAT_EQ(c->scene->systemScale, 0.01f);
  EXPECT_EQ(c->scene->flags & kSceneNotSaved, 0u);
  ASSERT_NE(c->camera, nullptr);
  EXPECT_EQ(c->camera->cameraFlags & 0x24u, 0x24u);
  EXPECT_EQ(c->camera->priority, 0);
  EXPECT_EQ(c->camera->instance.scene, c->scene);
  for (const InstanceRecord* light : c->instances) {
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->position.z, 0x10000);
    EXPECT_EQ(light->position.x, 0);
    EXPECT_EQ(light->lightColor[0], 128);
    EXPECT_EQ(light->lightColor[2], 128);
    EXPECT_NE(light->flags & kInstLightRankedHigh, 0u);
  }

  ASSERT_NE(c->tooltip.scene, nullptr);
  EXPECT_STREQ(c->tooltip.scene->name, "Tooltip Scene");
  EXPECT_NE(c->tooltip.scene->flags & kSceneNotSaved, 0u);
  ASSERT_NE(c->tooltip.camera, nullptr);
  EXPECT_EQ(c->tooltip.camera->priority, 195);
  EXPECT_NE(c->tooltip.camera->instance.flags2 & kInst2NotSaved, 0u);

  // The overlay's list is made on first use; the cockpit frees it with its scene and camera.
  auto* list = static_cast<OverlayIconList*>(MemCalloc(sizeof(OverlayIconList)));
  list->reserved[3] = 7;
  CockpitCreateTargetOverlayScene(list, c);
  c->overlay.icons = list;
  EXPECT_EQ(list->cockpit, c);
  EXPECT_EQ(list->reserved[3], 0);
  ASSERT_NE(list->scene, nullptr);
  EXPECT_STREQ(list->scene->name, "Cockpit Target Overlay Scene");
  EXPECT_NE(list->scene->flags & kSceneNotSaved, 0u);
  ASSERT_NE(list->camera, nullptr);
  EXPECT_EQ(list->camera->priority, 30);
  EXPECT_EQ(list->camera->instance.scene, list->scene);
}

// ---------------------------------------------------------------------------------------------
// Connect modes.

TEST_F(CockpitViews, ConnectModeZeroTakesTheCockpitPositionOfAShipInTheCockpitViewOnly) {
  ObjectTypeRecord* rows = Rows(kClassShip, 1);
  rows[0].ship.componentCount = 1;
  rows[0].ship.components[0].turret = 2;
  SpaceObject* ship = Object(5, kClassShip);
  Ship(ship)->turrets[2].vector = {0x1200, -0x300, 0, 0};
  SpaceObject* rock = Object(6, kClassAsteroid);
  struct Case {
    const char* what;
    SpaceObject* carrier;
    uint32_t viewMode;
    int32_t alpha, beta;  // the angles afterwards
  };
  const Case kCases[] = {
      {"a ship in the cockpit view", ship, 1, 0x1200, -0x300},
      {"a ship outside the cockpit view", ship, 2, 0x77, 0x66},
      {"not a ship", rock, 1, 0x77, 0x66},
      {"no carrier", nullptr, 1, 0x77, 0x66},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    CockpitRecord* c = Bare();
    c->cockpitRefObject = k.carrier;
    c->viewMode = k.viewMode;
    c->viewConnectMode = 9;
    c->viewAngle[0] = c->viewAngleTarget[0] = 0x77;
    c->viewAngle[1] = c->viewAngleTarget[1] = 0x66;
    INS_CockpitSetViewConnectMode(c, 0);
    EXPECT_EQ(c->viewConnectMode, 0u);
    EXPECT_EQ(c->viewAngle[0], k.alpha);
    EXPECT_EQ(c->viewAngle[1], k.beta);
    EXPECT_EQ(c->viewAngleTarget[0], k.alpha);
    EXPECT_EQ(c->viewAngleTarget[1], k.beta);
  }
  // A cockpit position past the type's components takes 0 and 0.
  CockpitRecord* c = Bare();
  c->cockpitRefObject = ship;
  c->viewMode = 1;
  c->cockpitNumber = 3;
  c->viewAngle[0] = 5;
  INS_CockpitSetViewConnectMode(c, 0);
  EXPECT_EQ(c->viewAngle[0], 0);
}

TEST_F(CockpitViews, WatchModeOrbitsTheObjectAtItsRadiusAtARandomAngleThatARefreshKeeps) {
  SpaceObject* ref = Object(7, kClassAsteroid, nullptr, 1000, 2000, 3000);
  ref->radius = 500;
  CockpitRecord* c = Bare();
  c->refObject = ref;
  c->viewCameraOffset[2] = -700;
  GameSrand(1);  // the replica generator's first draw is 41
  INS_CockpitSetViewConnectMode(c, 5);
  EXPECT_EQ(c->orbitAngle, 41u * 0x10000u / 0x7FFFu);
  EXPECT_EQ(c->viewStart, 10000u);
  const int64_t dx = c->viewPos[0] - 1000, dy = c->viewPos[1] - 2000;
  EXPECT_NEAR(std::sqrt(double(dx * dx + dy * dy)), 500.0, 2.0);
  EXPECT_EQ(c->viewPos[2], 3000 + 700);
  const int32_t first[3] = {c->viewPos[0], c->viewPos[1], c->viewPos[2]};

  INS_CockpitRefreshViewConnectMode(c);
  EXPECT_EQ(c->viewPos[0], first[0]);
  EXPECT_EQ(c->viewPos[1], first[1]);
  INS_CockpitSetViewConnectMode(c, 5);  // a new point
  EXPECT_NE(c->orbitAngle, 41u * 0x10000u / 0x7FFFu);
  EXPECT_TRUE(c->viewPos[0] != first[0] || c->viewPos[1] != first[1]);

  // Without the mode or the object a refresh moves nothing.
  c->viewPos[0] = 1;
  c->viewConnectMode = 4;
  INS_CockpitRefreshViewConnectMode(c);
  c->viewConnectMode = 5;
  c->refObject = nullptr;
  INS_CockpitRefreshViewConnectMode(c);
  EXPECT_EQ(c->viewPos[0], 1);
}

TEST_F(CockpitViews, TheCinematicPassKnowsWhetherItsObjectStandsStillAndALoopTimeOfZeroLeavesTheView) {
  SpaceObject* ref = Object(8, kClassShip, nullptr, 0, 0, 0);
  ref->radius = 300;
  CockpitRecord* c = Bare();
  c->refObject = ref;
  c->viewCameraOffset[2] = 4000;
  ref->speed = 0;
  INS_CockpitSetViewConnectMode(c, 4);
  EXPECT_EQ(c->orbitFlags & 1u, 1u);
  ref->speed = 50;
  INS_CockpitSetViewConnectMode(c, 4);
  EXPECT_EQ(c->orbitFlags & 1u, 0u);

  // A fly-by starts at rz/2 in front.
  c->viewStart = 10000;
  c->cinematicLoopTime = 8000;
  c->orbitAngle = 0;
  UpdateCockpitView(c);
  EXPECT_NEAR(c->viewPos[2], 4000 * 0.5 * 0.707 * 1.4144271612167358, 2);
  EXPECT_EQ(c->viewConnectMode, 4u);

  for (const uint32_t still : {0u, 1u}) {
    SCOPED_TRACE(still);
    c->orbitFlags = still;
    c->cinematicLoopTime = 0;
    c->viewStart = 9000;
    c->viewPos[0] = 11, c->viewPos[1] = 12, c->viewPos[2] = 13;
    UpdateCockpitView(c);
    EXPECT_EQ(c->viewPos[0], 11);
    EXPECT_EQ(c->viewPos[2], 13);
    EXPECT_EQ(c->viewStart, 9000u);
  }
  // The orbit mode has the same guard, and a pass past its end starts again.
  c->viewConnectMode = 9;
  UpdateCockpitView(c);
  EXPECT_EQ(c->viewPos[0], 11);
  c->cinematicLoopTime = 1000;
  c->viewStart = 8000;
  UpdateCockpitView(c);
  EXPECT_EQ(c->viewStart, 10000u);
  EXPECT_EQ(c->viewPos[0], 0);
  EXPECT_EQ(c->viewPos[2], 4000);
}

TEST_F(CockpitViews, TheTenSecondMoveTurnsTheShortWayAcrossAHalfTurn) {
  const int32_t yaw = Yaw(-3000, 0, -1000);  // behind and to the side: near a half turn
  struct Case {
    int32_t current;
    int32_t target;
  };
  const Case kCases[] = {
      {yaw, yaw},
      {yaw - 0x9000, yaw - 0x10000},
      {yaw + 0x9000, yaw + 0x10000},
      {yaw - 0x7000, yaw},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.current);
    CockpitRecord* c = Bare();
    c->flags = 0x2;  // the look point needs no object
    c->viewConnectMode = 8;
    c->viewStart = 10000;
    c->viewLocked = 1;
    c->viewPointOffset[0] = -3000;
    c->viewPointOffset[2] = -1000;
    c->viewAngle[0] = k.current;
    UpdateCockpitView(c);
    EXPECT_EQ(c->viewDuration, 10000u);
    EXPECT_EQ(c->viewAngleTarget[0], k.target);
    EXPECT_EQ(c->viewAngle[0], k.target);
  }
}

TEST_F(CockpitViews, LookingAtTheReferenceSetsTheCurrentAnglesAtOnce) {
  SpaceObject* carrier = Object(9, kClassAsteroid);
  SpaceObject* ref = Object(10, kClassAsteroid, nullptr, 1000, 0, 1000);
  CockpitRecord* c = Bare();
  c->cockpitRefObject = carrier;
  c->refObject = ref;
  c->noDecay = 1;
  c->viewConnectMode = 3;
  UpdateCockpitView(c);
  int32_t expected = Yaw(1000, 0, 1000);
  if (expected > 0x8000) expected -= 0x10000;
  EXPECT_NEAR(c->viewAngleTarget[0], expected, 2);
  EXPECT_NE(c->viewAngleTarget[0], 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c->viewAngle[i], c->viewAngleTarget[i]) << i;
}

TEST_F(CockpitViews, AnUnlockedViewAcceleratesOntoItsTargetAndStopsThere) {
  CockpitRecord* c = Bare();
  c->noDecay = 1;
  c->viewAngleTarget[0] = 0x2000;
  c->viewAngleTarget[1] = -0x1000;
  c->viewAngleTarget[2] = 0x300;
  int frames = 0;
  int32_t last[3] = {0, 0, 0};
  while ((c->viewAngle[0] != 0x2000 || c->viewAngle[1] != -0x1000 || c->viewAngle[2] != 0x300) && frames < 20000) {
    UpdateCockpitView(c);
    EXPECT_GE(c->viewAngle[0], last[0]);
    EXPECT_LE(c->viewAngle[0], 0x2000);
    EXPECT_LE(c->viewAngle[1], last[1]);
    EXPECT_GE(c->viewAngle[1], -0x1000);
    for (int i = 0; i < 3; ++i) last[i] = c->viewAngle[i];
    ++frames;
  }
  ASSERT_LT(frames, 20000);
  EXPECT_GT(frames, 2);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c->viewAngleSpeed[i], 0) << i;
  UpdateCockpitView(c);
  EXPECT_EQ(c->viewAngle[0], 0x2000);
  EXPECT_EQ(c->viewAngleTarget[0], 0x2000);  // kept without decay
  FixedMatrix expected;
  MatrixFromAngles(&expected, 0x2000, static_cast<uint32_t>(-0x1000), 0x300);
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(c->viewMatrix.m[r][k], expected.m[r][k]) << r << k;
  }
}

TEST_F(CockpitViews, TargetsDecayTowardZeroAndStopThere) {
  // 16 ms decays by 16 x 65536 / 3000 = 349.
  struct Case {
    int32_t target;
    uint32_t noDecay;
    int32_t after;
  };
  const Case kCases[] = {{1000, 0, 651}, {300, 0, 0}, {-300, 0, 0}, {-1000, 0, -651}, {1000, 1, 1000}};
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.target);
    CockpitRecord* c = Bare();
    c->viewLocked = 1;
    c->noDecay = k.noDecay;
    for (int i = 0; i < 3; ++i) c->viewAngleTarget[i] = k.target;
    UpdateCockpitView(c);
    // Locked: the angles take the targets, which do not decay.
    EXPECT_EQ(c->viewAngle[0], k.target);
    c->viewLocked = 0;
    UpdateCockpitView(c);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c->viewAngleTarget[i], k.after) << i;
  }
}

TEST_F(CockpitViews, TheScriptedCameraBuildsUpItsRollUnlessTheDecayEatsIt) {
  struct Case {
    uint32_t noDecay;
    int32_t roll;  // after three frames
  };
  const Case kCases[] = {{1, 300}, {0, 0}};
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.noDecay);
    CockpitRecord* c = Bare();
    c->noDecay = k.noDecay;
    c->posDuration = c->viewDuration = 1000;
    c->viewAngle1[2] = c->viewAngle2[2] = 100;
    c->viewPointOffset[2] = 5000;
    INS_CockpitSetViewConnectMode(c, 6);
    EXPECT_EQ(c->posStart, 10000u);
    for (int i = 0; i < 3; ++i) UpdateCockpitView(c);
    EXPECT_EQ(c->viewAngleTarget[2], k.roll);
  }
  // Halfway through the move the view is halfway between its two offsets.
  CockpitRecord* c = Bare();
  c->posDuration = c->viewDuration = 1000;
  c->viewCameraOffset2[0] = 1000;
  c->viewPointOffset2[2] = 4000;
  INS_CockpitSetViewConnectMode(c, 6);
  SetTime(10500);
  UpdateCockpitView(c);
  EXPECT_EQ(c->viewPos[0], 500);
  EXPECT_EQ(c->viewPointPos[2], 2000);
  // A zero duration moves nothing.
  c->posDuration = 0;
  c->viewPos[0] = 3;
  UpdateCockpitView(c);
  EXPECT_EQ(c->viewPos[0], 3);
}

TEST_F(CockpitViews, ScriptSetWordsAtTheirLimitsSaturateInsteadOfOverflowing) {
  // Durations set from -1 and offsets at both ends of the range, long after the start.
  for (const uint32_t flags : {0u, 0x2u}) {
    SCOPED_TRACE(flags);
    CockpitRecord* c = Bare();
    c->flags = flags;
    c->posDuration = c->viewDuration = 0xFFFFFFFFu;
    c->viewCameraOffset[0] = INT32_MIN;
    c->viewCameraOffset2[0] = INT32_MAX;
    c->viewPointOffset[1] = INT32_MAX;
    c->viewPointOffset2[1] = INT32_MIN;
    c->posAngle1[0] = INT32_MAX;
    c->posAngle2[0] = INT32_MAX;
    c->viewAngle1[2] = INT32_MIN;
    c->viewAngle2[2] = INT32_MAX;
    c->viewAngleTarget[2] = INT32_MIN;
    c->viewConnectMode = flags ? 8 : 6;
    c->posStart = c->viewStart = 0x80000000u;
    SetTime(0x7FFFFFFFu);
    UpdateCockpitView(c);
    EXPECT_GE(c->viewPos[0], INT32_MIN);
  }
}

TEST_F(CockpitViews, UnknownModesFallBackToModeZero) {
  for (const uint32_t mode : {0u, 7u, 10u, 0xFFFFFFFFu}) {
    CockpitRecord* c = Bare();
    INS_CockpitSetViewConnectMode(c, mode);
    EXPECT_EQ(c->viewConnectMode, mode);  // any value is stored
    UpdateCockpitView(c);
    EXPECT_EQ(c->viewConnectMode, 0u);
  }
}

// ---------------------------------------------------------------------------------------------
// Aims. The carrier sits at the origin looking along +z.

class CockpitAims : public CockpitViews {
 protected:
  void SetUp() override {
    CockpitViews::SetUp();
    Rows(kClassSpecial, 2)[1].nameTextId = 77;
    sector_ = Object(1, kClassSector);
    carrier_ = Object(2, kClassShip, sector_);
    carrier_->owner = 1;
    carrier_->radius = 100;
    c_ = Bare();
    c_->cockpitRefObject = carrier_;
    c_->sectorSpace = sector_;
  }
  SpaceObject* At(uint32_t id, int32_t x, int32_t y, int32_t z, int32_t radius, uint16_t objClass = kClassShip) {
    SpaceObject* o = Object(id, objClass, sector_, x, y, z);
    o->radius = radius;
    return o;
  }
  SpaceObject* sector_ = nullptr;
  SpaceObject* carrier_ = nullptr;
  CockpitRecord* c_ = nullptr;
};

TEST_F(CockpitAims, WithTheFlagTenDegreesCountWithoutItTheCentreMustBeWithinHalfTheRadius) {
  const double nine = 9.0 * M_PI / 180.0, eleven = 11.0 * M_PI / 180.0;
  struct Case {
    const char* what;
    int32_t x, y, z, radius;
    bool flag;
    bool hit;
  };
  const Case kCases[] = {
      {"9 degrees off, tiny, flag", int32_t(100000 * std::sin(nine)), 0, int32_t(100000 * std::cos(nine)), 1, true, true},
      {"9 degrees off, tiny", int32_t(100000 * std::sin(nine)), 0, int32_t(100000 * std::cos(nine)), 1, false, false},
      {"11 degrees off, tiny, flag", int32_t(100000 * std::sin(eleven)), 0, int32_t(100000 * std::cos(eleven)), 1, true, false},
      {"11 degrees off, 3r/4 box, flag", 19000, 0, 100000, 25400, true, true},
      {"within r/2 on both axes", 500, -500, 100000, 1000, false, true},
      {"just past r/2", 501, 0, 100000, 1000, false, false},
      {"behind", 0, 0, -100000, 1000, false, false},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    SpaceObject* o = At(100, k.x, k.y, k.z, k.radius);
    EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, k.flag), k.hit ? o : nullptr);
    HashRemove(universe_.idHash, 100);
    ListRemove(reinterpret_cast<ListNode*>(o));
  }
}

TEST_F(CockpitAims, TheNearestHitWinsAndPastTheRangeTheLastOneWithinTwentyRadiiInListOrder) {
  SpaceObject* far1 = At(10, 0, 0, 3000000, 200000);
  SpaceObject* far2 = At(11, 0, 0, 3500000, 200000);
  At(12, 0, 0, 5000000, 200000);  // beyond 20 radii
  EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, false), far2);
  (void)far1;
  SpaceObject* near = At(13, 0, 0, 2400000, 10);
  At(14, 0, 0, 2450000, 10);
  EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, false), near);
}

TEST_F(CockpitAims, BothAimsSkipTheOwnObjectAndMarkedOnes) {
  struct Case {
    const char* what;
    uint32_t flags, flags2;
    uint16_t objClass;
    int16_t subtype;
  };
  const Case kCases[] = {
      {"removed", 0x8000000, 0, kClassShip, 0},  {"bit 0", 0x1, 0, kClassShip, 0},
      {"bit 4", 0x10, 0, kClassShip, 0},         {"bit 30", 0x40000000, 0, kClassShip, 0},
      {"second bit 29", 0, 0x20000000, kClassShip, 0}, {"an unnamed special", 0, 0, kClassSpecial, 0},
  };
  ObjSetRelation(2, carrier_, -1);
  ObjSetRelation(1, carrier_, -1);
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    SpaceObject* o = At(100, 0, 0, 5000, 1000, k.objClass);
    o->subtype = k.subtype;
    o->owner = 2;
    o->flags = k.flags;
    o->flags2 = k.flags2;
    EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, true), nullptr);
    if (k.objClass == kClassShip) {
      EXPECT_EQ(INS_CockpitGetEnemyAim(c_), nullptr);
    }
    o->flags = o->flags2 = 0;
    o->subtype = 1;  // a named special
    EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, true), o);
    HashRemove(universe_.idHash, 100);
    ListRemove(reinterpret_cast<ListNode*>(o));
  }
  // The carrier alone: nothing, although it lies on the look line.
  EXPECT_EQ(INS_CockpitGetCursorAim(c_, -1, -1, true), nullptr);
  EXPECT_EQ(INS_CockpitGetEnemyAim(c_), nullptr);
  // No carrier or no sector: nothing is searched.
  At(101, 0, 0, 5000, 1000);
  CockpitRecord* bare = Bare();
  bare->sectorSpace = sector_;
  EXPECT_EQ(INS_CockpitGetCursorAim(bare, -1, -1, true), nullptr);
  bare->cockpitRefObject = carrier_;
  bare->sectorSpace = nullptr;
  EXPECT_EQ(INS_CockpitGetCursorAim(bare, -1, -1, true), nullptr);
  EXPECT_EQ(INS_CockpitGetEnemyAim(bare), nullptr);
}

TEST_F(CockpitAims, TheEnemyAimTakesTheNearestHostileWithinRange) {
  SpaceObject* friendly = At(20, 0, 0, 1000, 10);
  friendly->owner = 3;
  SpaceObject* far = At(21, 0, 0, -2000000, 10);
  far->owner = 2;
  SpaceObject* out = At(22, 2500000, 0, 0, 10);
  out->owner = 2;
  ObjSetRelation(2, carrier_, -1);
  EXPECT_TRUE(ObjIsHostile(far, carrier_));
  EXPECT_FALSE(ObjIsHostile(friendly, carrier_));
  EXPECT_EQ(INS_CockpitGetEnemyAim(c_), far);  // behind the view counts too
  SpaceObject* nearer = At(23, 0, 1500000, 0, 10);
  nearer->owner = 2;
  EXPECT_EQ(INS_CockpitGetEnemyAim(c_), nearer);
}

TEST_F(CockpitAims, WithoutASectorCameraAScreenPointIsTreatedAsAbsent) {
  SpaceObject* ahead = At(30, 0, 0, 100000, 1000);
  EXPECT_EQ(INS_CockpitGetCursorAim(c_, 400, 300, false), ahead);
  // An overlay with no icon under the point falls through to the search.
  auto* list = static_cast<OverlayIconList*>(MemCalloc(sizeof(OverlayIconList)));
  c_->overlay.icons = list;
  EXPECT_EQ(INS_CockpitGetCursorAim(c_, 400, 300, false), ahead);
  c_->overlay.icons = nullptr;
  MemFreeIfSet(list);
}

}  // namespace
