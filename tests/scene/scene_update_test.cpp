// Take start over a hand-built three-path cut, the scene matrix pass over hand-built member
// trees (pass range, world transforms, the linked-part mean), and the body collision test
// against a recording stand-in of the collision model test, which this program links in place
// of the engine's own.
#include "scene/scene_update.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/hash_table.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/collision_model.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "scene/take_records.h"
#include "support/engine_fixture.h"

// The recording stand-in of the collision model test.
namespace {

struct CollideCall {
  int32_t flags, contactLimit;
  float r1[3][3], t1[3], s1;
  CollisionModel* model1;
  float r2[3][3], t2[3], s2;
  CollisionModel* model2;
  float distanceLimit;
  float* nearestSlot;
};
std::vector<CollideCall> gCollideCalls;
int32_t gCollideResult = kCollideDone;
int32_t gContacts = 0;

int32_t RecordingCollide(int32_t flags, int32_t contactLimit, const float r1[3][3], const float t1[3], float s1,
                           CollisionModel* model1, const float r2[3][3], const float t2[3], float s2,
                           CollisionModel* model2, float distanceLimit, float* nearestSlot) {
  CollideCall call{flags, contactLimit, {}, {}, s1, model1, {}, {}, s2, model2, distanceLimit, nearestSlot};
  for (int i = 0; i < 3; ++i) {
    call.t1[i] = t1[i];
    call.t2[i] = t2[i];
    for (int j = 0; j < 3; ++j) {
      call.r1[i][j] = r1[i][j];
      call.r2[i][j] = r2[i][j];
    }
  }
  gCollideCalls.push_back(call);
  return gCollideResult;
}

int32_t RecordingContactCount() { return gContacts; }

InstanceRecord* Member(SceneRecord* scene, InstanceRecord* instance, FixedVector position) {
  ListInit(&instance->children);
  instance->scene = scene;
  instance->position = position;
  MatrixSetIdentity(&instance->matrix);
  instance->scale = {kFixedOne, kFixedOne, kFixedOne, 0};
  instance->bodyId = -1;
  ListAddTail(&scene->members, &instance->node);
  return instance;
}

class SceneUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    ListInit(&scene_.members);
    ListInit(&scene_.cameras);
    ListInit(&scene_.renderEntries);
  }

  EngineFixture fixture_;
  SceneRecord scene_{};
};

// ---------------------------------------------------------------------------------------------
// Take start.

class TakeStart : public SceneUpdate {
 protected:
  void SetUp() override {
    SceneUpdate::SetUp();
    // Paths 0 and 2 hold one key at time 0, so they end as they start; path 1 runs a second.
    for (int i = 0; i < 2; ++i) keys_[i].time = i * 1000;
    paths_[0].positions = {1, &keys_[0]};
    paths_[1].positions = {2, keys_};
    paths_[2].positions = {1, &keys_[0]};
    cut_.handle = 9;
    cut_.pathCount = 3;
    cut_.paths = paths_;
    HashInsert(fixture_.engine().cutTable, cut_.handle, reinterpret_cast<HashValue>(&cut_));
  }

  PositionKey keys_[2] = {};
  PathRecord paths_[3] = {};
  CutRecord cut_{};
  InstanceRecord instances_[3] = {};
  TakeRecord take_{};
};

TEST_F(TakeStart, RunsOnlyWhenSomeStartedPathIsStillPlaying) {
  struct Case {
    const char* what;
    uint32_t cutHandle;
    int32_t instanceCount;
    bool slot[3];
    bool running;
  };
  const Case kCases[] = {
      {"a playing path among ended ones", 9, 3, {true, true, true}, true},
      {"the playing path alone", 9, 3, {false, true, false}, true},
      {"every started path ended at once", 9, 3, {true, false, true}, false},
      {"no instance at all", 9, 3, {false, false, false}, false},
      {"slots past the instance count are never read", 9, 1, {true, false, false}, false},
      {"a cut that is not loaded", 10, 3, {true, true, true}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    take_.cutHandle = c.cutHandle;
    take_.instanceCount = c.instanceCount;
    take_.state = kTakeStopped;
    // The take's array is as long as its count, so a read past it is caught.
    std::vector<InstanceRecord*> slots(static_cast<size_t>(c.instanceCount));
    for (int i = 0; i < c.instanceCount; ++i) {
      instances_[i] = InstanceRecord{};
      instances_[i].jobFlags = kJobEndReported;
      slots[i] = c.slot[i] ? &instances_[i] : nullptr;
    }
    take_.instances = slots.data();
    EXPECT_EQ(TakeStartPaths(&take_), c.running);
    EXPECT_EQ(take_.state, c.running ? kTakeRunning : kTakeStopped);
    for (int i = 0; i < c.instanceCount; ++i) {
      if (!c.slot[i] || c.cutHandle != cut_.handle) continue;
      EXPECT_EQ(instances_[i].pathNumber, i);
      EXPECT_EQ(instances_[i].cutHandle, cut_.handle);
      EXPECT_EQ(instances_[i].jobFlags & kJobEndReported, i == 1 ? 0u : kJobEndReported);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The matrix pass.

TEST_F(SceneUpdate, PassRangeIsTheMembersLeastAndGreatest) {
  struct Case {
    const char* what;
    std::vector<int32_t> passes;
    int32_t first, last;
  };
  const Case kCases[] = {
      {"no members: 0..0", {}, 0, 0},
      {"least and greatest", {5, 3, 7}, 3, 7},
      {"all above 0", {4, 4}, 4, 4},
      {"below 0", {-2, 1}, -2, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ListInit(&scene_.members);
    std::vector<InstanceRecord> members(c.passes.size());
    for (size_t i = 0; i < members.size(); ++i) Member(&scene_, &members[i], {})->passNumber = c.passes[i];
    scene_.firstPass = 9;
    scene_.lastPass = 12;
    SceneUpdateMatrices(&scene_);
    EXPECT_EQ(scene_.firstPass, c.first);
    EXPECT_EQ(scene_.lastPass, c.last);
  }
}

TEST_F(SceneUpdate, MemberTreesTakeTheirWorldTransformsFromTheRootDown) {
  InstanceRecord root{}, child{}, grandchild{};
  Member(&scene_, &root, {100, 200, 300, 0});
  // A quarter turn: the local x axis points along world y.
  root.matrix.m[0][0] = 0;
  root.matrix.m[0][1] = kFixedOne;
  root.matrix.m[1][0] = -kFixedOne;
  root.matrix.m[1][1] = 0;
  root.world = {7, 7, 7, 0};  // stale, from the last frame
  for (InstanceRecord* node : {&child, &grandchild}) {
    ListInit(&node->children);
    MatrixSetIdentity(&node->matrix);
    node->scale = {kFixedOne, kFixedOne, kFixedOne, 0};
  }
  child.position = {10, 0, 0, 0};
  grandchild.position = {0, 3, 5, 0};
  child.parent = &root;
  grandchild.parent = &child;
  ListAddTail(&root.children, &child.node);
  ListAddTail(&child.children, &grandchild.node);

  SceneUpdateMatrices(&scene_);
  EXPECT_EQ(root.world.x, 100);
  EXPECT_EQ(root.world.y, 200);
  EXPECT_EQ(root.world.z, 300);
  EXPECT_EQ(root.worldMatrix.m[1][0], -kFixedOne);
  EXPECT_EQ(child.world.x, 100);
  EXPECT_EQ(child.world.y, 210);
  EXPECT_EQ(child.world.z, 300);
  EXPECT_EQ(child.worldMatrix.m[0][1], kFixedOne);
  EXPECT_EQ(grandchild.world.x, 100 - 3);
  EXPECT_EQ(grandchild.world.y, 210);
  EXPECT_EQ(grandchild.world.z, 305);
}

// The view and every distance to a camera come from its world copies; a camera that never got
// them looked from the origin through a zero matrix, and its scene showed nothing.
TEST_F(SceneUpdate, TheScenesCamerasTakeTheirWorldCopiesFromTheirPlace) {
  CameraRecord camera{};
  ListInit(&camera.instance.children);
  camera.instance.position = {-40, 250, 1200, 0};
  camera.instance.matrix.m[0][1] = kFixedOne;  // a quarter turn about z
  camera.instance.matrix.m[1][0] = -kFixedOne;
  camera.instance.matrix.m[2][2] = kFixedOne;
  camera.instance.world = {7, 7, 7, 0};  // stale, or never set
  ListAddTail(&scene_.cameras, &camera.instance.node);

  SceneUpdateMatrices(&scene_);
  EXPECT_EQ(camera.instance.world.x, -40);
  EXPECT_EQ(camera.instance.world.y, 250);
  EXPECT_EQ(camera.instance.world.z, 1200);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(camera.instance.worldMatrix.m[r][c], camera.instance.matrix.m[r][c]) << r << c;
  EXPECT_EQ(scene_.firstPass, 0);  // a camera is no member: the pass range stays the members'
  EXPECT_EQ(scene_.lastPass, 0);
  ListRemove(&camera.instance.node);
}

TEST_F(SceneUpdate, ALinkedPartHolderStandsAtTheTruncatedMeanOfThePartsFound) {
  struct Case {
    const char* what;
    std::vector<const char*> bones;
    FixedVector world;
  };
  // The parts stand at (-10, 20, 31) and (-15, 25, 30); the holder at (1, 2, 3).
  const Case kCases[] = {
      {"two found, one missing: the mean of the found, toward zero", {"Arm", "Gone", "Leg"}, {-12, 22, 30, 0}},
      {"one found", {"Leg"}, {-15, 25, 30, 0}},
      {"none found: the holder keeps its place", {"Gone"}, {1, 2, 3, 0}},
  };
  PathRecord paths[2] = {};
  paths[0].name = const_cast<char*>("Arm");
  paths[1].name = const_cast<char*>("Leg");
  CutRecord cut{};
  cut.handle = 21;
  cut.pathCount = 2;
  cut.paths = paths;
  HashInsert(fixture_.engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ListInit(&scene_.members);
    InstanceRecord holder{}, arm{}, leg{};
    Member(&scene_, &holder, {1, 2, 3, 0});
    Member(&scene_, &arm, {-10, 20, 31, 0});
    Member(&scene_, &leg, {-15, 25, 30, 0});
    holder.flags2 = kInst2HasLinkedParts;
    holder.bodyId = 5;
    for (int i = 0; i < 2; ++i) {
      InstanceRecord* part = i == 0 ? &arm : &leg;
      part->cutHandle = cut.handle;
      part->pathNumber = i;
    }
    std::vector<char*> names;
    for (const char* bone : c.bones) names.push_back(const_cast<char*>(bone));
    BodyMesh mesh{};
    mesh.boneCount = static_cast<int32_t>(names.size());
    mesh.boneNames = names.data();
    BodyMesh* meshes[] = {&mesh};
    BodyRecord body{};
    body.meshCount = 1;
    body.meshes = meshes;
    ASSERT_TRUE(BodyCacheInsert(5, &body));

    SceneUpdateMatrices(&scene_);
    ASSERT_EQ(holder.linkedPartCount, mesh.boneCount);
    EXPECT_EQ(holder.world.x, c.world.x);
    EXPECT_EQ(holder.world.y, c.world.y);
    EXPECT_EQ(holder.world.z, c.world.z);
    InstanceRecord** resolved = holder.linkedParts;
    SceneUpdateMatrices(&scene_);  // a resolved list is kept
    EXPECT_EQ(holder.linkedParts, resolved);

    InstFreeLinkedParts(&holder);
    HashRemove(fixture_.engine().bodyCache, 6);
  }
  HashRemove(fixture_.engine().cutTable, cut.handle);
}

// ---------------------------------------------------------------------------------------------
// The body collision test.

class BodyCollide : public SceneUpdate {
 protected:
  void SetUp() override {
    SceneUpdate::SetUp();
    SetBodyCollideTest(RecordingCollide, RecordingContactCount);
    gCollideCalls.clear();
    gCollideResult = kCollideDone;
    gContacts = 0;
    bodyA_.collision = modelA();
    bodyB_.collision = modelB();
    ASSERT_TRUE(BodyCacheInsert(3, &bodyA_));
    ASSERT_TRUE(BodyCacheInsert(4, &bodyB_));
    bodyNone_.collision = nullptr;
    ASSERT_TRUE(BodyCacheInsert(8, &bodyNone_));
    // A's world matrix holds 1..9 by rows, B's 10..18.
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        a_.worldMatrix.m[r][c] = (r * 3 + c + 1) * kFixedOne;
        b_.worldMatrix.m[r][c] = (r * 3 + c + 10) * kFixedOne / 2;
      }
    a_.world = {10, 20, 30, 0};
    b_.world = {-40, 50, -60, 0};
    a_.size = 2 * kFixedOne;
    b_.size = kFixedOne / 2;
    a_.bodyId = 3;
    b_.bodyId = 4;
  }
  void TearDown() override {
    SetBodyCollideTest(nullptr, nullptr);
    SceneUpdate::TearDown();
  }
  CollisionModel* modelA() { return reinterpret_cast<CollisionModel*>(&modelStorage_[0]); }
  CollisionModel* modelB() { return reinterpret_cast<CollisionModel*>(&modelStorage_[1]); }

  int modelStorage_[2] = {};
  BodyRecord bodyA_{}, bodyB_{}, bodyNone_{};
  InstanceRecord a_{}, b_{};
};

TEST_F(BodyCollide, ModelsArePlacedWithTheFirstTwoAxesExchanged) {
  gContacts = 2;
  float nearest = 5.0f;
  EXPECT_EQ(BodyCollideModels(&a_, &b_, 12, 8, 0.25f, &nearest), 2);
  ASSERT_EQ(gCollideCalls.size(), 1u);
  const CollideCall& call = gCollideCalls[0];
  const float ra[3][3] = {{5, 4, 6}, {2, 1, 3}, {8, 7, 9}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      SCOPED_TRACE(testing::Message() << i << "," << j);
      EXPECT_EQ(call.r1[i][j], ra[i][j]);
      EXPECT_EQ(call.r2[i][j], (ra[i][j] + 9) / 2);
    }
  const float ta[3] = {20, 10, 30}, tb[3] = {50, -40, -60};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(call.t1[i], ta[i]);
    EXPECT_EQ(call.t2[i], tb[i]);
  }
  EXPECT_EQ(call.s1, 2.0f * kFixedOne);
  EXPECT_EQ(call.s2, 0.5f * kFixedOne);
  EXPECT_EQ(call.model1, modelA());
  EXPECT_EQ(call.model2, modelB());
  EXPECT_EQ(call.flags, 12);
  EXPECT_EQ(call.contactLimit, 8);
  EXPECT_EQ(call.distanceLimit, 0.25f);
  EXPECT_EQ(call.nearestSlot, &nearest);
}

TEST_F(BodyCollide, AnswersNoContactWithoutTwoModelsOrAFinishedTest) {
  struct Case {
    const char* what;
    int32_t bodyA, bodyB;
    int32_t result, contacts;
    size_t calls;
    int32_t answer;
  };
  const Case kCases[] = {
      {"touching", 3, 4, kCollideDone, 1, 1, 1},
      {"apart", 3, 4, kCollideDone, 0, 1, 0},
      {"the second body has no model", 3, 8, kCollideDone, 1, 0, 0},
      {"the first instance has no body", -1, 4, kCollideDone, 1, 0, 0},
      {"a body that is not loaded", 3, 77, kCollideDone, 1, 0, 0},
      {"a model that is not built: stale contacts do not count", 3, 4, kCollideModelNotBuilt, 3, 1, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    gCollideCalls.clear();
    gCollideResult = c.result;
    gContacts = c.contacts;
    a_.bodyId = c.bodyA;
    b_.bodyId = c.bodyB;
    EXPECT_EQ(BodyCollideModels(&a_, &b_, 2, 1, 0.0f, nullptr), c.answer);
    EXPECT_EQ(gCollideCalls.size(), c.calls);
  }
}

}  // namespace
