// Render pass gathering on a hand-built engine with bodies in the cache: the pass and batch rules
// (another pass, body 225, the 55-triangle rule), the two distance ranges, the level chosen by
// distance, the wrap cube, the streak scale, the member sound limit and the draw-node pool.
#include "scene/pass_gathering.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "support/cached_bodies.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kBody = 300;
constexpr int32_t kBodyLarge = 301;

class Gathering : public ::testing::Test {
 protected:
  void SetUp() override {
    block_ = SystemBlock{};
    savedSystem_ = gSystem;
    gSystem = &block_;
    gEngine3D->halfScreenWidth = 512;
    scene_ = B3D_SceneAlloc();
    ASSERT_NE(scene_, nullptr);
    scene_->flags |= kSceneEnabled;
    camera_ = B3D_CameraAlloc();
    ASSERT_NE(camera_, nullptr);
    B3D_CameraAddToScene(camera_, scene_);
    camera_->fieldOfView = 0x4000;
    MatrixSetIdentity(&camera_->instance.matrix);
    MatrixSetIdentity(&camera_->instance.worldMatrix);
  }
  void TearDown() override {
    bodies_.Clear();
    ResetEngine3D();
    gSystem = savedSystem_;
  }

  // A visible member in front of the camera, of the body, in the pass.
  InstanceRecord* Member(int32_t bodyId, int32_t pass = 0, int32_t depth = 1000) {
    InstanceRecord* member = B3D_InstAlloc();
    EXPECT_TRUE(B3D_InstSetBody(member, bodyId));
    AddInstanceToScene(member, scene_);
    member->passNumber = pass;
    member->world = FixedVector{0, 0, depth, 0};
    member->cameraPos = member->world;
    member->flags |= kInstVisible;
    MatrixSetIdentity(&member->worldMatrix);
    return member;
  }

  static int32_t DrawnNodes() {
    int32_t n = 0;
    for (ListNode* node = ListFirst(&gEngine3D->drawList); node; node = ListNext(node)) ++n;
    return n;
  }

  EngineFixture engine_;
  CachedBodies bodies_;
  SystemBlock block_{};
  SystemBlock* savedSystem_ = nullptr;
  SceneRecord* scene_ = nullptr;
  CameraRecord* camera_ = nullptr;
};

TEST_F(Gathering, OnlyMembersOfThePassAreBatchedOrDrawn) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  InstanceRecord* other = Member(kBody, 1);
  other->flags2 |= kInst2BatchCandidate;
  RenderScenePass(scene_, camera_, 0, 0);
  EXPECT_EQ(DrawnNodes(), 0);
  EXPECT_EQ(SceneRenderEntryFind(scene_, kBody), nullptr) << "counted for a batch";
  RenderScenePass(scene_, camera_, 1, 0);
  EXPECT_EQ(DrawnNodes(), 1);
  ASSERT_NE(SceneRenderEntryFind(scene_, kBody), nullptr);
  EXPECT_EQ(SceneRenderEntryFind(scene_, kBody)->count, 1);
}

TEST_F(Gathering, BatchCandidatesNeedSmallFaceGroupsAndAnyBodyBut225) {
  struct Case {
    int32_t body;
    int32_t triangles;
    bool stays;
  };
  const Case kCases[] = {
      {kBody, 55, true},
      {kBody, 56, false},
      {kUnbatchedBody, 12, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "body " << c.body << ", " << c.triangles << " triangles");
    bodies_.Clear();
    ASSERT_NE(bodies_.AddLevels(c.body, 100, 1, c.triangles, kGroupSorted), nullptr);
    InstanceRecord* member = Member(c.body);
    member->flags2 |= kInst2BatchCandidate;
    RenderScenePass(scene_, camera_, 0, 0);
    EXPECT_EQ((member->flags2 & kInst2BatchCandidate) != 0, c.stays);
    const RenderEntry* entry = SceneRenderEntryFind(scene_, static_cast<uint32_t>(c.body));
    EXPECT_EQ(entry != nullptr && entry->count == 1, c.stays);
    EXPECT_EQ(DrawnNodes(), 1) << "one member alone is never batched: drawn normally";
    FreeInstance(member);
    SceneReleaseRenderEntries(scene_);
  }
}

// Batches are drawn in the scene's space: screen-space members (HUD marks) always take the
// normal path, where their screen projection applies, even when their body could batch.
TEST_F(Gathering, ScreenSpaceMembersAreNeverBatched) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  for (const bool screen : {false, true}) {
    SCOPED_TRACE(screen ? "screen space" : "scene space");
    std::vector<InstanceRecord*> members;
    for (int i = 0; i < 3; ++i) {
      InstanceRecord* member = Member(kBody);
      member->flags2 |= kInst2BatchCandidate | (screen ? kInst2ScreenSpace : 0u);
      members.push_back(member);
    }
    RenderScenePass(scene_, camera_, 0, 0);
    const RenderEntry* entry = SceneRenderEntryFind(scene_, kBody);
    EXPECT_EQ(entry != nullptr && entry->count == 3, !screen) << "counted for a batch";
    for (const InstanceRecord* member : members) {
      EXPECT_EQ((member->flags2 & kInst2BatchCandidate) != 0, !screen);
    }
    for (InstanceRecord* member : members) FreeInstance(member);
    SceneReleaseRenderEntries(scene_);
  }
}

TEST_F(Gathering, TwoRangesChooseTheModesByDistance) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  camera_->cameraFlags |= kCameraFog;
  camera_->fog[kCameraFogStart] = 10000;
  camera_->fog[kCameraFogEnd] = 50000;
  struct Case {
    int32_t distance;
    int32_t drawnMode0, drawnMode4;
  };
  InstanceRecord* probe = Member(kBody);
  const int32_t total = B3D_InstGetTotalSize(probe);
  FreeInstance(probe);
  const Case kCases[] = {
      {10000 - total - 1, 1, 0},   // near: mode 0 only
      {50000 + total, 1, 1},       // far: both modes
      {50000 + total + 1, 0, 0},   // beyond the far range plus its size: no mode
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.distance);
    InstanceRecord* member = Member(kBody, 0, c.distance);
    RenderScenePass(scene_, camera_, 0, 4);
    EXPECT_EQ(DrawnNodes(), c.drawnMode4);
    RenderScenePass(scene_, camera_, 0, 0);
    EXPECT_EQ(DrawnNodes(), c.drawnMode0);
    FreeInstance(member);
  }
}

TEST_F(Gathering, DrawNodesComeFromThePoolOnceItHasGrown) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  Member(kBody);
  Member(kBody);
  Member(kBody);
  RenderScenePass(scene_, camera_, 0, 0);
  EXPECT_EQ(DrawnNodes(), 3);
  // The same pass again takes every node from the pool: none is made.
  const uint32_t before = MemGetAllocationCount();
  RenderScenePass(scene_, camera_, 0, 0);
  EXPECT_EQ(DrawnNodes(), 3);
  EXPECT_EQ(MemGetAllocationCount(), before);
}

TEST_F(Gathering, LevelByDistance) {
  struct Case {
    int32_t e;
    int32_t levels;
    int32_t level;
  };
  const Case kCases[] = {
      {7000000, 5, 0},  {7000001, 5, 1},  {15500001, 5, 2}, {21000001, 5, 3},
      {28500001, 5, 4}, {28500001, 2, 1},  // clamped to the last part
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "e " << c.e << ", " << c.levels << " levels");
    if (c.levels == 5) {
      EXPECT_EQ(DistanceLevel(c.e), c.level);
    }
    bodies_.Clear();
    ASSERT_NE(bodies_.AddLevels(kBodyLarge, 1 << 22, c.levels, 12, kGroupSorted), nullptr);
    InstanceRecord* member = Member(kBodyLarge);
    member->size = 1 << 22;
    member->flags |= kInstLevelByDistance;
    camera_->cameraFlags |= kCameraWrap;  // draws without the view-volume test
    member->cameraPos = FixedVector{0, 0, c.e + B3D_InstGetTotalSize(member), 0};
    UpdateMembersForCamera(scene_, camera_);
    EXPECT_EQ(member->level, c.level);
    EXPECT_TRUE(member->flags & kInstVisible);
    FreeInstance(member);
  }
}

TEST_F(Gathering, WrapOffsetsStayWithinTheCube) {
  struct Case {
    int32_t p, c, offset;
  };
  const Case kCases[] = {
      {0x3FFFF, 0, 0x3FFFF}, {0x40000, 0, -0x40000}, {-0x40000, 0, -0x40000},
      {-0x40001, 0, 0x3FFFF}, {0x100000 + 5, 0x100000, 5}, {INT32_MIN, INT32_MAX, 1},
  };
  for (const Case& c : kCases) EXPECT_EQ(WrapOffset(c.p, c.c), c.offset) << c.p << " around " << c.c;
}

TEST_F(Gathering, StreakScaleFollowsTheMotion) {
  struct Case {
    int32_t m;
    StreakScale scale;
  };
  const Case kCases[] = {
      {0, {kStreakShortLength, 0x10000}}, {5000, {0xFD999, 0xC000}}, {10000, {kStreakLongLength, 0x8000}},
      {0x40000, {kStreakLongLength, 0x8000}},
  };
  for (const Case& c : kCases) {
    const StreakScale got = StreakScaleForMotion(c.m);
    EXPECT_EQ(got.length, c.scale.length) << c.m;
    EXPECT_EQ(got.width, c.scale.width) << c.m;
  }
}

TEST_F(Gathering, AWrapCameraMovesMembersIntoItsCubeAndStretchesStreaks) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  camera_->cameraFlags |= kCameraWrap | kCameraStreaks;
  camera_->instance.world = FixedVector{0x100000, 0, 0, 0};
  InstanceRecord* dust = Member(kBody);
  dust->world = FixedVector{0x100000 + 0x50000, 0, 0x1000, 0};
  InstanceRecord* streak = Member(kBody);
  streak->flags |= kInstStreak;
  streak->world = FixedVector{0x100000, 0, 0x3000, 0};  // a first motion of 12288
  UpdateSceneForCamera(scene_, camera_);
  EXPECT_EQ(dust->world.x, 0x100000 + 0x50000 - 0x80000);
  EXPECT_EQ(streak->scale.z, kStreakLongLength) << "its first motion is its whole offset";
  UpdateSceneForCamera(scene_, camera_);
  EXPECT_EQ(streak->scale.z, kStreakShortLength) << "no motion since";
  EXPECT_EQ(streak->scale.x, 0x10000);
}

TEST_F(Gathering, AWrapCameraTurnsMembersThatFaceItWithItsOwnMatrix) {
  ASSERT_NE(bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted), nullptr);
  camera_->cameraFlags |= kCameraWrap;
  // The camera turned a quarter about z, the member a quarter about x: the two products differ.
  const FixedMatrix kCamera{{{0, kFixedOne, 0, 0}, {-kFixedOne, 0, 0, 0}, {0, 0, kFixedOne, 0}}};
  const FixedMatrix kMember{{{kFixedOne, 0, 0, 0}, {0, 0, kFixedOne, 0}, {0, -kFixedOne, 0, 0}}};
  const FixedMatrix kComposed{{{0, 0, kFixedOne, 0}, {-kFixedOne, 0, 0, 0}, {0, -kFixedOne, 0, 0}}};
  camera_->instance.matrix = kCamera;
  InstanceRecord* facing = Member(kBody);
  facing->flags |= kInstFaceCamera;
  facing->matrix = kMember;
  InstanceRecord* plain = Member(kBody);
  plain->matrix = kMember;
  plain->worldMatrix = kMember;
  auto same = [](const FixedMatrix& a, const FixedMatrix& b) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (a.m[i][j] != b.m[i][j]) return false;
    return true;
  };
  for (int update = 0; update < 2; ++update) {  // a second camera does not turn it again
    SCOPED_TRACE(update);
    UpdateSceneForCamera(scene_, camera_);
    EXPECT_TRUE(same(facing->worldMatrix, kComposed));
    EXPECT_TRUE(same(plain->worldMatrix, kMember));
  }
  camera_->cameraFlags &= ~kCameraWrap;
  facing->worldMatrix = kMember;
  UpdateSceneForCamera(scene_, camera_);
  EXPECT_TRUE(same(facing->worldMatrix, kMember)) << "only a wrap camera turns it here";
}

int32_t gStarted = 0;

TEST_F(Gathering, ASeventhSoundInRangeIsNotStarted) {
  BodyRecord* body = bodies_.AddLevels(kBody, 100, 1, 12, kGroupSorted);
  ASSERT_NE(body, nullptr);
  block_.audioFlags = kAudioListenerFollowsCamera;
  camera_->cameraFlags |= kCameraListener | kCameraWrap;
  gStarted = 0;
  const SceneSoundHooks saved = gSceneSoundHooks;
  gSceneSoundHooks = {};
  gSceneSoundHooks.playLooped = [](int32_t, int32_t) { return gStarted++; };
  std::vector<InstanceRecord*> members;
  for (int i = 0; i < 7; ++i) {
    members.push_back(Member(kBody, 0, 1000 + i));
    members.back()->soundSample = 5;
    members.back()->soundChannel = -1;
  }
  UpdateMembersForCamera(scene_, camera_);
  gSceneSoundHooks = saved;
  EXPECT_EQ(gStarted, kSoundChannelLimit);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ((members[static_cast<size_t>(i)]->soundFlags & kInstSoundPlaying) != 0, i < kSoundChannelLimit) << i;
  }
  EXPECT_EQ(members[6]->soundSample, 5) << "kept for a later frame";
}

}  // namespace
