// Scenes and cameras on a hand-built engine: membership and viewports, freeing a camera with a
// waiting task, unprojection, the draw-list sort, the nearest camera, near-instance collection,
// shake and the listener commit.
#include "scene/scene_cameras.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/display_modes.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_records.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;

bool InList(ListHead* list, const InstanceRecord* instance) {
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) {
    if (node == &instance->node) return true;
  }
  return false;
}

class Cameras : public ::testing::Test {
 protected:
  void TearDown() override {
    for (CameraRecord* camera : cameras_) B3D_CameraFree(camera);
    for (SceneRecord* scene : scenes_) FreeScene(scene);
  }
  SceneRecord* Scene(bool enabled) {
    SceneRecord* scene = B3D_SceneAlloc();
    EXPECT_NE(scene, nullptr);
    if (enabled) scene->flags |= kSceneEnabled;
    scenes_.push_back(scene);
    return scene;
  }
  CameraRecord* Camera() {
    CameraRecord* camera = B3D_CameraAlloc();
    EXPECT_NE(camera, nullptr);
    cameras_.push_back(camera);
    return camera;
  }
  // Scenes are freed by the engine's shutdown code; the tests take theirs apart by hand.
  static void FreeScene(SceneRecord* scene) {
    while (ListNode* node = ListFirst(&scene->members)) FreeInstance(InstanceOfNode(node));
    ListRemove(&scene->node);
    HashRemove(gEngine3D->sceneTable, scene->handle);
    scene->name = FreeString(scene->name);
    EngineFree(scene, sizeof(SceneRecord));
  }

  EngineFixture fixture_;
  std::vector<SceneRecord*> scenes_;
  std::vector<CameraRecord*> cameras_;
};

TEST_F(Cameras, NewScenesAndCamerasCarryTheirDefaults) {
  SceneRecord* scene = Scene(false);
  EXPECT_FLOAT_EQ(scene->systemScale, 0.01f);
  EXPECT_EQ(scene->values[0], 32);
  EXPECT_EQ(scene->values[2], 64);
  EXPECT_EQ(reinterpret_cast<SceneRecord*>(HashGet(gEngine3D->sceneTable, scene->handle)), scene);
  B3D_SceneSetName(scene, "Bridge");
  B3D_SceneSetName(scene, "Deck");
  EXPECT_STREQ(scene->name, "Deck");

  CameraRecord* camera = Camera();
  EXPECT_EQ(camera->instance.flags & (kInstCamera | kInstLight), kInstCamera);
  EXPECT_EQ(camera->instance.bodyId, -1);
  EXPECT_EQ(camera->viewBottom, kOne);
  EXPECT_EQ(camera->viewRight, kOne);
  EXPECT_EQ(camera->fieldOfView, 16384u);
  EXPECT_EQ(camera->factors[1], kOne);
  EXPECT_EQ(camera->instance.scale.x, 0);
  EXPECT_EQ(GetCameraByHandle(camera->instance.handle), camera);
  EXPECT_TRUE(InList(&gEngine3D->instances, &camera->instance));
}

TEST_F(Cameras, MovingBetweenScenesLeavesTheOldSceneAndItsViewport) {
  SceneRecord* enabled = Scene(true);
  SceneRecord* disabled = Scene(false);
  CameraRecord* camera = Camera();
  const int64_t before = gMemCounters.currentBytes;

  B3D_CameraAddToScene(camera, enabled);
  ASSERT_NE(camera->viewport, nullptr);
  EXPECT_TRUE(camera->cameraFlags & kCameraEnabled);
  EXPECT_TRUE(InList(&enabled->cameras, &camera->instance));
  EXPECT_FALSE(InList(&gEngine3D->instances, &camera->instance));

  B3D_CameraAddToScene(camera, disabled);
  EXPECT_EQ(camera->viewport, nullptr);
  EXPECT_FALSE(camera->cameraFlags & kCameraEnabled);
  EXPECT_TRUE(ListIsEmpty(&enabled->cameras));
  EXPECT_TRUE(InList(&disabled->cameras, &camera->instance));
  EXPECT_EQ(camera->instance.scene, disabled);
  EXPECT_EQ(gMemCounters.currentBytes, before);

  B3D_CameraDeleteFromScene(disabled, camera);
  EXPECT_TRUE(ListIsEmpty(&disabled->cameras));
  EXPECT_TRUE(InList(&gEngine3D->instances, &camera->instance));
  EXPECT_EQ(camera->instance.scene, nullptr);
}

TEST_F(Cameras, ViewportValuesAreClampedAndStoredByName) {
  CameraRecord* camera = Camera();
  CameraSetViewport(camera, -5, 0x20000, -1, 0x10000);
  EXPECT_EQ(camera->viewTop, 0);
  EXPECT_EQ(camera->viewLeft, 0);
  EXPECT_EQ(camera->viewRight, 0xFFFF);
  EXPECT_EQ(camera->viewBottom, 0xFFFF);
  CameraSetViewport(camera, 0x1000, 0x3000, 0x2000, 0x4000);
  EXPECT_EQ(camera->viewTop, 0x1000);
  EXPECT_EQ(camera->viewRight, 0x3000);
  EXPECT_EQ(camera->viewLeft, 0x2000);
  EXPECT_EQ(camera->viewBottom, 0x4000);
  // Edges far outside the screen from either side (a replayed or scripted value) end up on it.
  CameraSetViewport(camera, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN);
  EXPECT_EQ(camera->viewTop, 0xFFFF);
  EXPECT_EQ(camera->viewLeft, 0xFFFF);
  EXPECT_EQ(camera->viewRight, 0);
  EXPECT_EQ(camera->viewBottom, 0);

  B3D_CameraSetFog(camera, 10, 20, 30);
  EXPECT_TRUE(camera->cameraFlags & kCameraFog);
  B3D_CameraSetFog(camera, -1, 20, 30);
  EXPECT_FALSE(camera->cameraFlags & kCameraFog);
  EXPECT_EQ(camera->fog[0], -1);
}

TEST_F(Cameras, EndOfFrameClearsTheMarksUnlessReplaying) {
  SceneRecord* scene = Scene(true);
  InstanceRecord* member = B3D_InstAlloc();
  InstanceRecord* child = B3D_InstAlloc();
  ListRemove(&member->node);
  ListAddTail(&scene->members, &member->node);
  ListRemove(&child->node);
  ListAddTail(&member->children, &child->node);
  child->parent = member;
  for (bool replaying : {true, false}) {
    SCOPED_TRACE(replaying ? "replaying" : "live");
    fixture_.engine().engineFlags = replaying ? kEngineReplaying : 0;
    member->flags |= kInstFrameMark;
    child->flags |= kInstFrameMark;
    SceneEndFrame(scene);
    EXPECT_EQ((member->flags & kInstFrameMark) != 0, replaying);
    EXPECT_EQ((child->flags & kInstFrameMark) != 0, replaying);
  }
}

// ---------------------------------------------------------------------------------------------
// Freeing a camera whose job a script task waits on.

std::vector<std::pair<uint32_t, int32_t>>* gWakes = nullptr;
int32_t RecordWake(uint32_t cookie, int32_t value) {
  gWakes->emplace_back(cookie, value);
  return 0;
}

TEST_F(Cameras, FreeingWakesTheWaitingTaskOnlyUnderTheFullWakeRule) {
  struct Case {
    const char* name;
    bool active;
    bool callback;
    int32_t module;
    size_t wakes;
  };
  const Case kCases[] = {
      {"woken", true, true, 5, 1},
      {"null callback", true, false, 5, 0},
      {"inactive engine", false, true, 5, 0},
      {"module index 32", true, true, 32, 0},
  };
  ScriptEngine* previous = gScriptEngine;
  auto script = std::make_unique<ScriptEngine>();
  ASSERT_TRUE(InitEngineContext(script.get()));
  char loaded[] = "story";
  std::vector<std::pair<uint32_t, int32_t>> wakes;
  gWakes = &wakes;
  B3D_CameraFree(B3D_CameraAlloc());  // the handle table grows once, outside the counts
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    wakes.clear();
    script->scriptName = c.active ? loaded : nullptr;
    script->modules[5].resumeInt = c.callback ? RecordWake : nullptr;
    SceneRecord* scene = Scene(true);
    const int64_t before = gMemCounters.currentBytes;
    CameraRecord* camera = B3D_CameraAlloc();
    ASSERT_NE(camera, nullptr);
    camera->instance.jobFlags = kJobTaskWaits | kJobPlaying;
    camera->instance.waitModule = c.module;
    camera->instance.waitToken = 77;
    ASSERT_NE(CameraEntryGet(camera, &camera->instance), nullptr);
    CameraNode* node = EngineAllocRecord<CameraNode>(kCameraNodeNominalBytes);
    ASSERT_NE(node, nullptr);
    ListAddTail(&camera->nodes, &node->node);
    B3D_CameraSetCausticAnim(camera, 4);
    B3D_CameraAddToScene(camera, scene);
    const uint32_t handle = camera->instance.handle;

    B3D_CameraFree(camera);
    ASSERT_EQ(wakes.size(), c.wakes);
    if (c.wakes) {
      EXPECT_EQ(wakes[0], std::make_pair(77u, kWakeCameraFreed));
    }
    EXPECT_EQ(GetInstanceByHandle(handle), nullptr);
    EXPECT_TRUE(ListIsEmpty(&scene->cameras));
    EXPECT_EQ(gMemCounters.currentBytes, before);
  }
  gWakes = nullptr;
  script->scriptName = nullptr;
  FreeEngineTables(script.get());
  gScriptEngine = previous;
}

// ---------------------------------------------------------------------------------------------
// Unprojection, on a 640 x 480 screen.

class Unproject : public Cameras {
 protected:
  void SetUp() override {
    fixture_.engine().screenMode = &mode_;
    camera_ = Camera();
  }
  DisplayModeRecord mode_ = [] {
    DisplayModeRecord m{};
    m.width = 640;
    m.height = 480;
    m.refreshRate = 60;
    return m;
  }();
  CameraRecord* camera_ = nullptr;
};

TEST_F(Unproject, ScreenCentreLiesOnTheViewAxis) {
  FixedVector out{};
  CameraUnproject(camera_, 320, 240, 1000, &out);
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, 0);
  EXPECT_EQ(out.z, 1000);
  EXPECT_EQ(out.w, 0);
}

TEST_F(Unproject, OffCentrePointMatchesTheWorkedValue) {
  // Depth 1000.0 (16.16), fov 90: the half angle 8192 has s = c, so t = depth.
  // fx = (480 << 16) / 640 = 49152, cx = 16384; r(t * 640) = 640000; X = 2 * r(640000 * 16384)
  // = 320000; x = (320000 << 16) / 65536. fy = (120 << 16) / 480 = 16384, cy = -16384;
  // r(t * 480) = 480000; Y = -2 * r(480000 * -16384) = 240000.
  FixedVector out{};
  CameraUnproject(camera_, 480, 120, 1000 << 16, &out);
  EXPECT_EQ(out.x, 320000);
  EXPECT_EQ(out.y, 240000);
}

TEST_F(Unproject, DegenerateViewportsAndAspectsFallBack) {
  struct Case {
    const char* name;
    int32_t aspectW, aspectH;
    int32_t left, right;
    int32_t expectX;
  };
  const Case kCases[] = {
      {"right = left", 0, 0, 0x8000, 0x8000, 0},
      {"aspect (0, 0) uses the screen", 0, 0, 0, kOne, 320000},
      {"aspect (4, 0) uses the screen", 4, 0, 0, kOne, 320000},
      {"own aspect (4, 3)", 4, 3, 0, kOne, 2000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    B3D_CameraSetAspect(camera_, c.aspectW, c.aspectH);
    camera_->viewLeft = c.left;
    camera_->viewRight = c.right;
    FixedVector out{};
    CameraUnproject(camera_, 480, 120, 1000 << 16, &out);
    EXPECT_EQ(out.x, c.expectX);
  }
}

// ---------------------------------------------------------------------------------------------
// The draw list.

class DrawList : public Cameras {
 protected:
  void TearDown() override {
    ClearList();
    Cameras::TearDown();
  }
  void ClearList() {
    while (ListNode* node = ListFirst(&gEngine3D->drawList)) {
      ListRemove(node);
      EngineFree(node, kDrawListNodeNominalBytes);
    }
  }
  // Each node remembers its place in the input through its flag word.
  void Fill(std::initializer_list<int32_t> keys) {
    uintptr_t tag = 0;
    for (int32_t key : keys) {
      auto* node = EngineAllocRecord<DrawListNode>(kDrawListNodeNominalBytes);
      ASSERT_NE(node, nullptr);
      node->sortKey = key;
      node->flag = tag++;
      ListAddTail(&gEngine3D->drawList, &node->node);
    }
  }
  std::vector<std::pair<int32_t, uintptr_t>> Walk() {
    std::vector<std::pair<int32_t, uintptr_t>> out;
    for (ListNode* node = ListFirst(&gEngine3D->drawList); node; node = ListNext(node)) {
      out.emplace_back(ListRecord<DrawListNode>(node)->sortKey, ListRecord<DrawListNode>(node)->flag);
    }
    // The links hold both ways after relinking.
    size_t back = 0;
    for (ListNode* node = ListLast(&gEngine3D->drawList); node && NodePred(node); node = NodePred(node)) ++back;
    EXPECT_EQ(back, out.size());
    return out;
  }
};

TEST_F(DrawList, SortsBothWaysKeepingEqualKeysInOrder) {
  using Order = std::vector<std::pair<int32_t, uintptr_t>>;
  struct Case {
    const char* name;
    bool ascending;
    std::initializer_list<int32_t> keys;
    Order expect;
  };
  const Case kCases[] = {
      {"reversed, descending", false, {1, 2, 3, 4, 5}, {{5, 4}, {4, 3}, {3, 2}, {2, 1}, {1, 0}}},
      {"reversed, ascending", true, {5, 4, 3, 2, 1}, {{1, 4}, {2, 3}, {3, 2}, {4, 1}, {5, 0}}},
      {"equal keys, descending", false, {2, 7, 2, -3, 7}, {{7, 1}, {7, 4}, {2, 0}, {2, 2}, {-3, 3}}},
      {"equal keys, ascending", true, {2, 7, 2, -3, 7}, {{-3, 3}, {2, 0}, {2, 2}, {7, 1}, {7, 4}}},
      {"one node", true, {9}, {{9, 0}}},
  };
  CameraRecord* camera = Camera();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ClearList();
    Fill(c.keys);
    camera->cameraFlags = c.ascending ? kCameraDrawListAscending : 0;
    SortDrawList(camera);
    EXPECT_EQ(Walk(), c.expect);
  }
}

// ---------------------------------------------------------------------------------------------
// Cameras and instances in space.

InstanceRecord* At(int32_t x, int32_t y, int32_t z) {
  InstanceRecord* i = B3D_InstAlloc();
  i->world = FixedVector{x, y, z, 0};
  return i;
}

TEST_F(Cameras, NearestCameraSkipsDisabledAndFacingAwayCameras) {
  SceneRecord* scene = Scene(true);
  CameraRecord* ahead = Camera();
  CameraRecord* behind = Camera();
  B3D_CameraAddToScene(ahead, scene);
  B3D_CameraAddToScene(behind, scene);
  InstanceRecord* target = At(0, 0, 0);
  // Both look down +z: `behind` at z = -300 faces the target, `ahead` at z = 100 faces away.
  for (CameraRecord* c : {ahead, behind}) c->instance.worldMatrix.m[2][2] = kOne;
  ahead->instance.world = FixedVector{0, 0, 100, 0};
  behind->instance.world = FixedVector{0, 0, -300, 0};

  EXPECT_EQ(SceneNearestCameraDistance(scene, target, 0), 100);
  EXPECT_EQ(SceneNearestCameraDistance(scene, target, 1), 300);
  ahead->cameraFlags &= ~kCameraEnabled;
  behind->cameraFlags &= ~kCameraEnabled;
  EXPECT_EQ(SceneNearestCameraDistance(scene, target, 0), INT32_MIN);
  FreeInstance(target);
}

TEST_F(Cameras, NearInstanceCollectionStopsAt255) {
  CameraRecord* camera = Camera();
  InstanceRecord* root = At(0, 0, 0);
  root->scaledSize = 1000;
  for (int i = 0; i < 300; ++i) {
    InstanceRecord* child = At(i, 0, 0);
    child->scaledSize = 10;
    child->flags |= kInstCollisionMade | kInstCameraCoordsDone;
    if (i == 1) child->flags2 |= kInst2NotNear;
    ListRemove(&child->node);
    ListAddTail(&root->children, &child->node);
    child->parent = root;
  }
  gCameraNearCount = 0;
  CameraCollectNearInstances(root, camera);
  EXPECT_EQ(gCameraNearCount, kCameraNearInstanceCount);
  EXPECT_EQ(camera->nearInstances[0]->world.x, 0);
  EXPECT_EQ(camera->nearInstances[1]->world.x, 2);  // the one kept out of near lists is passed
  EXPECT_EQ(camera->nearInstances[254]->world.x, 255);
  FreeInstance(root);
}

// The nine elements; the fourth word of each row holds nothing.
bool SameRotation(const FixedMatrix& a, const FixedMatrix& b) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (a.m[r][c] != b.m[r][c]) return false;
    }
  }
  return true;
}

TEST_F(Cameras, ShakeTurnsTheFirstTwoAnglesByTwoDraws) {
  CameraRecord* camera = Camera();
  MatrixFromAngles(&camera->instance.matrix, 1000, 2000, 3000);
  const FixedMatrix start = camera->instance.matrix;
  B3D_CameraShake(camera, 0);
  EXPECT_TRUE(SameRotation(camera->instance.matrix, start));

  int32_t a0, b0, c0;
  MatrixToAngles(&start, &a0, &b0, &c0);
  GameSrand(1);  // draws 41, then 18467
  B3D_CameraShake(camera, 1000);
  FixedMatrix expect{};
  const int32_t db = 1000 - (2 * 1000 * 41) / 32768;
  const int32_t da = 1000 - (2 * 1000 * 18467) / 32768;
  MatrixFromAngles(&expect, static_cast<uint32_t>(a0 + da), static_cast<uint32_t>(b0 + db), static_cast<uint32_t>(c0));
  EXPECT_TRUE(SameRotation(camera->instance.matrix, expect));
}

bool gCommitAnswer = true;
int gCommits = 0;
bool Commit() {
  ++gCommits;
  return gCommitAnswer;
}

// Hooks that may commit the listener, with nothing else set.
ListenerHooks UsableHooks(bool (*commit)()) {
  ListenerHooks hooks{};
  hooks.commit = commit;
  hooks.usable = true;
  return hooks;
}

TEST_F(Cameras, ListenerCommitRunsForTheListenerCameraUntilItFails) {
  SystemBlock* previous = gSystem;
  auto system = std::make_unique<SystemBlock>();
  gSystem = system.get();
  CameraRecord* camera = Camera();
  camera->cameraFlags |= kCameraListener;
  gListenerHooks = UsableHooks(Commit);
  gCommits = 0;

  CaptureFrameCheck(camera);  // "AudioFlags" without the listener bit
  EXPECT_EQ(gCommits, 0);
  system->audioFlags = kAudioListenerFollowsCamera;
  CaptureFrameCheck(camera);
  EXPECT_EQ(gCommits, 1);
  EXPECT_TRUE(gListenerHooks.usable);
  gCommitAnswer = false;
  CaptureFrameCheck(camera);
  CaptureFrameCheck(camera);
  EXPECT_EQ(gCommits, 2);
  EXPECT_FALSE(gListenerHooks.usable);

  gListenerHooks = UsableHooks(nullptr);  // no listener at all
  CaptureFrameCheck(camera);
  EXPECT_FALSE(gListenerHooks.usable);

  gListenerHooks = UsableHooks(nullptr);
  gCommitAnswer = true;
  gSystem = previous;
}

}  // namespace
