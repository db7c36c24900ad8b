// The cut-scene step: frame events counted in 33 ms frames (also over a million milliseconds),
// which notes a step performs, paths without notes, rebased and held jobs, the order of the walk,
// the 1024 cut cameras that drive their linked cameras, the take walk, and scripts that free
// instances and cameras from their event handlers while the step runs.
#include "scene/cut_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/script_frees.h"
#include "scene/take_instances.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "support/cut_world.h"

namespace {

constexpr int32_t kReceiver = 12;

std::vector<std::string> WithoutFrames(const std::vector<std::string>& events) {
  std::vector<std::string> kept;
  for (const std::string& e : events) {
    if (e.find(" frame ") == std::string::npos) kept.push_back(e);
  }
  return kept;
}

TEST(CutUpdate, FrameEventsFireOncePerFrameOfThirtyThreeMilliseconds) {
  struct Case {
    int32_t t1, t2;
    size_t count;
    const char* first;  // null when none fire
    const char* last;
  };
  const Case kCases[] = {
      {0, 0, 0, nullptr, nullptr},
      {0, 100, 3, "12 frame 1", "12 frame 3"},  // t = 1, 34, 67
      {1, 34, 1, "12 frame 1", "12 frame 1"},   // t1 itself counts, t2 does not
      {35, 100, 1, "12 frame 3", "12 frame 3"},
      {-50, 10, 1, "12 frame 1", "12 frame 1"},
      {0, 1000000, 30303, "12 frame 1", "12 frame 30303"},
      {500, 400, 0, nullptr, nullptr},  // time ran backwards
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.t2);
    CutWorld world;
    world.AddPath({{4999, "no event"}});
    world.Enter();
    world.Player(0, kReceiver, c.t1);
    world.Advance(c.t2 - c.t1);
    UpdateCutScenes();
    ASSERT_EQ(world.events.size(), c.count);
    if (c.count == 0) continue;
    EXPECT_EQ(world.events.front(), c.first);
    EXPECT_EQ(world.events.back(), c.last);
  }
  // The three frames of 0..100 in order.
  CutWorld world;
  world.AddPath({{4999, "no event"}});
  world.Enter();
  world.Player(0, kReceiver);
  world.Advance(100);
  UpdateCutScenes();
  EXPECT_EQ(world.events, (std::vector<std::string>{"12 frame 1", "12 frame 2", "12 frame 3"}));
}

TEST(CutUpdate, AStepPerformsTheNotesAfterItsStartUpToItsEndAndTheEndOfThePath) {
  CutWorld world;
  world.AddPath({{100, "event AtStart"}, {200, "event AtEnd"}, {150, "event Inside"}, {2500, "event BeforePathEnd"},
                 {4000, "event AfterPathEnd"}});
  world.Enter();
  InstanceRecord* player = world.Player(0, kReceiver, 100);
  player->rangeEnd = 3000;
  world.Advance(100);
  UpdateCutScenes();
  EXPECT_EQ(WithoutFrames(world.events), (std::vector<std::string>{"12 AtEnd 0", "12 Inside 0"}));
  world.events.clear();
  world.Advance(4800);
  UpdateCutScenes();
  EXPECT_EQ(WithoutFrames(world.events), (std::vector<std::string>{"12 BeforePathEnd 0"}));
}

TEST(CutUpdate, APathWithoutNotesRaisesNothingButItsJobIsStepped) {
  CutWorld world;
  PositionKey keys[2]{};
  keys[1].time = 1000;
  keys[1].position = {1000, 20, 30, 0};
  PathRecord* path = world.AddPath({});
  path->positions = {2, keys};
  world.Enter();
  InstanceRecord* player = world.Player(0, kReceiver);
  player->jobFlags |= kJobPlaying | kJobRebased;
  world.Advance(1000);
  UpdateCutScenes();
  EXPECT_TRUE(world.events.empty());
  EXPECT_EQ(player->position.x, 1000);
  EXPECT_EQ(player->jobClock, world.Now());
  EXPECT_EQ(player->jobFlags & kJobRebased, 0u);
}

TEST(CutUpdate, RebasedJobsHandMinusOneOnceAndHeldJobsAreNotStepped) {
  CutWorld world;
  world.AddPath({{50, "event First"}, {150, "event Second"}});
  world.Enter();
  InstanceRecord* player = world.Player(0, kReceiver);
  InstanceRecord* held = world.Player(0, 99);
  player->jobFlags |= kJobRebased;
  held->jobFlags |= kJobEndReported;
  const int32_t heldClock = held->jobClock;
  world.Advance(100);
  UpdateCutScenes();
  world.Advance(100);
  UpdateCutScenes();
  EXPECT_EQ(WithoutFrames(world.events), (std::vector<std::string>{"12 First -1", "12 Second 0"}));
  EXPECT_EQ(held->jobClock, heldClock);
}

TEST(CutUpdate, TheWalkTakesLooseInstancesThenSceneMembersThenCamerasChildrenFirst) {
  CutWorld world;
  world.AddPath({{50, "event X"}});
  world.Enter();
  InstanceRecord* parent = world.Player(0, 1);
  InstanceRecord* child = world.Player(0, 2);
  ASSERT_TRUE(B3D_InstAddToInst(child, parent));
  world.Player(0, 5);
  SceneRecord* scene = B3D_SceneAlloc();
  ASSERT_NE(scene, nullptr);
  AddInstanceToScene(world.Player(0, 3), scene);
  CameraRecord* camera = B3D_CameraAlloc();
  ASSERT_NE(camera, nullptr);
  world.Play(&camera->instance, 0, 4);
  B3D_CameraAddToScene(camera, scene);
  world.Advance(100);
  UpdateCutScenes();
  EXPECT_EQ(WithoutFrames(world.events), (std::vector<std::string>{"2 X 0", "1 X 0", "5 X 0", "3 X 0", "4 X 0"}));
}

TEST(CutUpdate, OnlyTheFirst1024CutCamerasDriveTheirLinkedCameras) {
  CutWorld world;
  world.Enter();
  constexpr int32_t kCount = kCutCameraListCapacity + 1;
  std::vector<CameraRecord> linked(kCount);
  for (int32_t i = 0; i < kCount; ++i) {
    InstanceRecord* instance = B3D_InstAlloc();
    ASSERT_NE(instance, nullptr);
    instance->jobFlags = kJobDrivesCamera;
    instance->linkedCamera = &linked[static_cast<size_t>(i)];
    instance->position = {i + 1, 2, 3, 0};
    instance->matrix.m[2][3] = i + 7;
  }
  UpdateCutScenes();
  for (int32_t i = 0; i < kCount; ++i) {
    const InstanceRecord& got = linked[static_cast<size_t>(i)].instance;
    const bool drives = i < kCutCameraListCapacity;
    ASSERT_EQ(got.position.x, drives ? i + 1 : 0) << i;
    ASSERT_EQ(got.matrix.m[2][3], drives ? i + 7 : 0) << i;
  }
}

TEST(CutUpdate, ARunningTakeWhosePathsEndedIsStoppedAndKept) {
  CutWorld world;
  world.AddPath({})->lookupWord = static_cast<uint32_t>(-2);  // a light that plays nothing
  CutRecord* cut = world.Enter();
  TakeRecord* running = TakeAlloc();
  TakeRecord* built = TakeAlloc();
  ASSERT_TRUE(running && built);
  ASSERT_TRUE(TakeBuildInstances(running, cut, nullptr, nullptr));
  ASSERT_TRUE(TakeBuildInstances(built, cut, nullptr, nullptr));
  running->state = kTakeRunning;
  UpdateCutScenes();
  EXPECT_EQ(running->state, kTakeStopped);
  EXPECT_EQ(GetTakeByHandle(running->handle), running);
  EXPECT_EQ(built->state, kTakeStopped);
  EXPECT_EQ(GetTakeByHandle(built->handle), built);
}

// Scripts that free records from their "CutEvent" handlers during the step.
CameraRecord* gVictimCamera = nullptr;
uint32_t gVictimHandle = 0;
bool gLookupFailedAtOnce = false;

void FreeVictim(int32_t, const char*, int32_t) {
  if (gVictimCamera) {
    ScriptFreeCamera(GetCameraByHandle(gVictimHandle));
    gLookupFailedAtOnce = GetCameraByHandle(gVictimHandle) == nullptr;
  } else {
    ScriptFreeInstance(GetInstanceByHandle(gVictimHandle));
    gLookupFailedAtOnce = GetInstanceByHandle(gVictimHandle) == nullptr;
  }
}

TEST(CutUpdate, RecordsFreedByHandlersGoAtOnceForLookupsAndForGoodAfterTheStep) {
  enum Victim { kRaiser, kLaterSibling, kEarlierSibling, kParent, kLinkedCamera };
  struct Case {
    const char* name;
    Victim victim;
    bool raiserGoesOn;  // the raiser raises all its events, not only its first
    bool lastRaises;    // the last instance is stepped
  };
  // Instances in walk order: first (receiver 1, a path without notes), the raiser's parent (2,
  // the same) with the raiser (3) as its child, and last (4), which plays the raiser's path.
  const Case kCases[] = {
      {"the raiser", kRaiser, false, true},
      {"a sibling not yet stepped", kLaterSibling, true, false},
      {"a sibling already stepped", kEarlierSibling, true, true},
      {"the raiser's parent", kParent, false, true},
      {"a camera the raiser drives", kLinkedCamera, true, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CutWorld world;
    world.AddPath({{50, "event Boom"}});
    world.AddPath({});
    world.Enter();
    InstanceRecord* first = world.Player(1, 1);
    InstanceRecord* parent = world.Player(1, 2);
    InstanceRecord* raiser = world.Player(0, 3);
    ASSERT_TRUE(B3D_InstAddToInst(raiser, parent));
    InstanceRecord* last = world.Player(0, 4);
    CameraRecord* camera = B3D_CameraAlloc();
    ASSERT_NE(camera, nullptr);
    raiser->jobFlags |= kJobDrivesCamera;
    raiser->linkedCamera = camera;
    InstanceRecord* victims[] = {raiser, last, first, parent, &camera->instance};
    gVictimCamera = c.victim == kLinkedCamera ? camera : nullptr;
    gVictimHandle = victims[c.victim]->handle;
    gLookupFailedAtOnce = false;
    world.onEvent = FreeVictim;
    world.Advance(100);
    UpdateCutScenes();
    std::vector<std::string> expected = {"3 frame 1"};
    if (c.raiserGoesOn) expected.insert(expected.end(), {"3 frame 2", "3 frame 3", "3 Boom 0"});
    if (c.lastRaises) expected.insert(expected.end(), {"4 frame 1", "4 frame 2", "4 frame 3", "4 Boom 0"});
    EXPECT_EQ(world.events, expected);
    EXPECT_TRUE(gLookupFailedAtOnce);
    EXPECT_FALSE(ScriptFreeWalkRunning());
    EXPECT_EQ(GetInstanceByHandle(gVictimHandle), nullptr);
    if (c.victim == kLinkedCamera) {
      EXPECT_EQ(raiser->linkedCamera, nullptr);
    }
    // Outside the step a script's free is immediate.
    InstanceRecord* loose = B3D_InstAlloc();
    ASSERT_NE(loose, nullptr);
    const uint32_t looseHandle = loose->handle;
    ScriptFreeInstance(loose);
    EXPECT_EQ(GetInstanceByHandle(looseHandle), nullptr);
  }
  gVictimCamera = nullptr;
}

}  // namespace
