// Small scene operations on a hand-built engine: render entry release, icon set-up, sound levels,
// stopping scene sounds through the registered hook, and the two transform helpers.
#include "scene/scene_small_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;

class SmallOps : public ::testing::Test {
 protected:
  void TearDown() override {
    gSceneSoundHooks.stopChannel = nullptr;
    for (CameraRecord* camera : cameras_) B3D_CameraFree(camera);
    for (SceneRecord* scene : scenes_) {
      SceneReleaseRenderEntries(scene);
      while (ListNode* node = ListFirst(&scene->members)) FreeInstance(InstanceOfNode(node));
      ListRemove(&scene->node);
      HashRemove(gEngine3D->sceneTable, scene->handle);
      scene->name = FreeString(scene->name);
      EngineFree(scene, sizeof(SceneRecord));
    }
    for (InstanceRecord* instance : loose_) FreeInstance(instance);
  }
  SceneRecord* Scene(bool enabled) {
    SceneRecord* scene = B3D_SceneAlloc();
    EXPECT_NE(scene, nullptr);
    if (enabled) scene->flags |= kSceneEnabled;
    scenes_.push_back(scene);
    return scene;
  }
  CameraRecord* Camera(SceneRecord* scene, uint32_t flags) {
    CameraRecord* camera = B3D_CameraAlloc();
    EXPECT_NE(camera, nullptr);
    camera->cameraFlags |= flags;
    if (scene) B3D_CameraAddToScene(camera, scene);
    cameras_.push_back(camera);
    return camera;
  }
  InstanceRecord* Instance() {
    InstanceRecord* instance = B3D_InstAlloc();
    EXPECT_NE(instance, nullptr);
    loose_.push_back(instance);
    return instance;
  }
  InstanceRecord* Member(SceneRecord* scene) {
    InstanceRecord* instance = B3D_InstAlloc();
    EXPECT_NE(instance, nullptr);
    ListRemove(&instance->node);
    ListAddTail(&scene->members, &instance->node);
    instance->scene = scene;
    return instance;
  }
  static RenderEntry* Entry(SceneRecord* scene, uint32_t key, bool inTable) {
    RenderEntry* entry = EngineAllocRecord<RenderEntry>(kRenderEntryNominalBytes);
    EXPECT_NE(entry, nullptr);
    ListInit(&entry->nodes);
    entry->key = key;
    ListAddTail(&scene->renderEntries, &entry->node);
    EXPECT_NE(RenderEntryNodeGet(entry, 1), nullptr);
    if (inTable) HashInsert(gEngine3D->entryTable60, key, reinterpret_cast<HashValue>(entry));
    return entry;
  }
  static std::vector<uint32_t> Keys(SceneRecord* scene) {
    std::vector<uint32_t> keys;
    for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
      keys.push_back(ListRecord<RenderEntry>(node)->key);
    }
    return keys;
  }

  EngineFixture fixture_;
  std::vector<SceneRecord*> scenes_;
  std::vector<CameraRecord*> cameras_;
  std::vector<InstanceRecord*> loose_;
};

TEST_F(SmallOps, RenderEntriesOfAKeyGoFromEverySceneAndFromTheRenderTable) {
  SceneRecord* a = Scene(true);
  SceneRecord* b = Scene(false);
  Entry(a, 7, true);
  Entry(a, 8, false);
  Entry(a, 7, false);
  Entry(b, 7, false);
  Entry(b, 9, true);
  ReleaseRenderEntriesByKey(7);
  EXPECT_EQ(Keys(a), (std::vector<uint32_t>{8}));
  EXPECT_EQ(Keys(b), (std::vector<uint32_t>{9}));
  EXPECT_EQ(HashLookup(gEngine3D->entryTable60, 7), nullptr) << "the table kept a freed entry";
  EXPECT_NE(HashLookup(gEngine3D->entryTable60, 9), nullptr);

  SceneReleaseRenderEntries(b);
  EXPECT_TRUE(ListIsEmpty(&b->renderEntries));
  EXPECT_EQ(HashLookup(gEngine3D->entryTable60, 9), nullptr);
  EXPECT_EQ(Keys(a), (std::vector<uint32_t>{8}));
}

TEST_F(SmallOps, IconSetUpSelectsThePixelRectangleAndScalesToIt) {
  IconRecord icons[] = {{5, 0, 64, 32, 16, 8}};
  IconSet& set = fixture_.engine().iconTables[2];
  set = IconSet{41, 256, 128, 1, icons};
  IconSet& first = fixture_.engine().iconTables[0];
  first = IconSet{42, 512, 0, 0, nullptr};

  InstanceRecord* byIcon = Instance();
  InstSetIconTexture(byIcon, 2, 5);
  InstanceRecord* byRect = Instance();
  const int32_t rect[4] = {64, 32, 16, 8};
  InstSetIconRect(byRect, 2, rect);
  for (InstanceRecord* instance : {byIcon, byRect}) {
    ASSERT_NE(instance->texAnims, nullptr);
    const UvTransform& uv = instance->texAnims[0].uv;
    EXPECT_EQ(uv.row0[0], kOne / 16);  // 16 of 256 pixels
    EXPECT_EQ(uv.row1[1], kOne / 16);  // 8 of 128
    EXPECT_EQ(uv.row2[0], kOne / 4);
    EXPECT_EQ(uv.row2[1], kOne / 4);
    EXPECT_EQ(instance->scale.x, 16 * kOne);
    EXPECT_EQ(instance->scale.y, 8 * kOne);
    EXPECT_EQ(instance->scale.z, kOne);
    EXPECT_EQ(instance->flags2 & kInst2IconTexture, kInst2IconTexture);
  }

  // The first set's texture has no height: those fractions are 0, not a division fault.
  InstanceRecord* step = Instance();
  InstAnimTextureStep(step, 256, 10, 128);
  ASSERT_NE(step->texAnims, nullptr);
  EXPECT_EQ(step->texAnims[0].uv.row0[0], kOne / 4);
  EXPECT_EQ(step->texAnims[0].uv.row2[0], kOne / 2);
  EXPECT_EQ(step->texAnims[0].uv.row1[1], 0);
  EXPECT_EQ(step->texAnims[0].uv.row2[1], 0);

  InstanceRecord* missing = Instance();
  const FixedVector scale = missing->scale;
  InstSetIconTexture(missing, 2, 6);
  InstSetIconTexture(missing, kIconSetCount, 5);
  EXPECT_EQ(missing->flags2 & kInst2IconTexture, kInst2IconTexture);
  EXPECT_EQ(missing->texAnims, nullptr);
  EXPECT_EQ(missing->scale.x, scale.x);
}

TEST_F(SmallOps, SoundLevelsHalveWithDistanceAndSortLoudestFirst) {
  struct Case {
    const char* what;
    int32_t sample, distance, size, base;
    int32_t want;
  };
  // Size 500: one halving span is 5000 units, the reach 40000.
  const Case kCases[] = {
      {"no sample", -1, 100, 500, 200, 0},
      {"inside the first span", 3, 4999, 500, 200, 200},
      {"second span", 3, 5000, 500, 200, 200},
      {"third span", 3, 10000, 500, 200, 100},
      {"fourth span", 3, 15000, 500, 200, 50},
      {"at the reach", 3, 40000, 500, 200, 0},
      {"zero distance", 3, 0, 500, 200, 0},
      {"zero size", 3, 100, 0, 200, 0},
      {"reach of a huge subtree beyond 32 bits", 3, 2000000000, 400000000, 200, 25},
  };
  std::vector<SoundLevelEntry> entries;
  for (const Case& c : kCases) {
    InstanceRecord* instance = Instance();
    instance->soundSample = c.sample;
    instance->cameraPos = FixedVector{c.distance, 0, 0, 0};
    instance->subtreeSize = c.size;
    entries.push_back({instance, c.base, -1});
  }
  InstSoundLevels(entries.data(), static_cast<int32_t>(entries.size()));
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const SoundLevelEntry& e) { return e.instance == loose_[i]; });
    ASSERT_NE(found, entries.end());
    EXPECT_EQ(found->level, kCases[i].want) << kCases[i].what;
  }
  EXPECT_EQ(entries[0].instance->soundSample, -1) << "entries without a sample lead";
  for (size_t i = 2; i < entries.size(); ++i) EXPECT_GE(entries[i - 1].level, entries[i].level);
}

std::vector<int32_t> gStopped;

TEST_F(SmallOps, SceneSoundsStopOnlyInEnabledScenesWithAListeningCamera) {
  SceneRecord* listening = Scene(true);
  Camera(listening, kCameraEnabled | kCameraListener);
  SceneRecord* noListener = Scene(true);
  Camera(noListener, kCameraEnabled);
  SceneRecord* disabled = Scene(false);
  Camera(disabled, kCameraEnabled | kCameraListener);

  auto playing = [](InstanceRecord* instance, int32_t channel) {
    instance->soundFlags |= kInstSoundPlaying;
    instance->soundSample = 1;
    instance->soundChannel = channel;
  };
  InstanceRecord* root = Member(listening);
  playing(root, 4);
  InstanceRecord* child = B3D_InstAlloc();
  ASSERT_NE(child, nullptr);
  ListRemove(&child->node);
  ListAddTail(&root->children, &child->node);
  child->parent = root;
  playing(child, 5);
  InstanceRecord* closed = Member(listening);
  playing(closed, -1);
  InstanceRecord* elsewhere = Member(noListener);
  playing(elsewhere, 6);
  InstanceRecord* off = Member(disabled);
  playing(off, 7);

  StopSceneSounds();  // no hook registered yet: nothing happens
  EXPECT_EQ(root->soundChannel, 4);

  gStopped.clear();
  gSceneSoundHooks.stopChannel = [](int32_t channel, int32_t sample) {
    EXPECT_EQ(sample, 1);
    gStopped.push_back(channel);
  };
  StopSceneSounds();
  EXPECT_EQ(gStopped, (std::vector<int32_t>{4, 5}));
  for (InstanceRecord* instance : {root, child}) {
    EXPECT_EQ(instance->soundFlags & kInstSoundPlaying, 0u);
    EXPECT_EQ(instance->soundChannel, -1);
  }
  EXPECT_EQ(elsewhere->soundChannel, 6);
  EXPECT_EQ(off->soundChannel, 7);
}

TEST_F(SmallOps, TwoAngleSetsComposeAndUnprojectionLandsInTheWorld) {
  InstanceRecord* instance = Instance();
  const int32_t a[3] = {16384, 0, 0}, b[3] = {0, 8192, 0};
  InstSetRotFromTwoAngleSets(instance, a, b);
  FixedMatrix first, second, want;
  MatrixFromAngles(&first, 16384, 0, 0);
  MatrixFromAngles(&second, 0, 8192, 0);
  MatrixMultiply(&want, &first, &second);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(instance->matrix.m[r][c], want.m[r][c]) << r << "," << c;
  }

  CameraRecord* camera = Camera(nullptr, 0);
  MatrixFromAngles(&camera->instance.matrix, 16384, 0, 0);
  camera->instance.position = FixedVector{1000, -2000, 3000, 0};
  FixedVector local, turned, world;
  CameraUnproject(camera, 10, 20, 500, &local);
  MatrixMulVector(&turned, &camera->instance.matrix, &local);
  CameraUnprojectToWorld(10, 20, 500, camera, &world);
  EXPECT_EQ(world.x, turned.x + 1000);
  EXPECT_EQ(world.y, turned.y - 2000);
  EXPECT_EQ(world.z, turned.z + 3000);
}

TEST_F(SmallOps, CameraMotionSetsVelocityAndLeansOnlyForPlausibleFrames) {
  SystemBlock block{};
  SystemBlock* saved = gSystem;
  gSystem = &block;
  CameraRecord* camera = Camera(nullptr, 0);
  MatrixSetIdentity(&camera->instance.matrix);
  const FixedVector still = camera->instance.velocity;

  // Each step: time and position of the frame, then the velocity x and bank angle expected.
  struct Step {
    const char* what;
    uint32_t time;
    int32_t x;
    int32_t wantVelocityX;
    uint32_t wantBank;
  };
  const Step kSteps[] = {
      {"first frame: nothing to compare with", 1000, 0, still.x, 0},
      {"same millisecond", 1000, 1000, still.x, 0},
      {"1000 units in 500 ms, sideways: half a quarter turn of lean", 1500, 2000, 2000, 65536 - 8192},
      {"3000 ms: too long a pause", 4500, 4000, 2000, 65536 - 8192},
      {"a jump of 5,000,000 units", 4600, 5004000, 2000, 65536 - 8192},
      {"backwards sideways after 2999 ms leans back", 7599, 5004000 - 2999, -1000, 0},
  };
  for (const Step& step : kSteps) {
    block.gameTime = step.time;
    camera->instance.position = FixedVector{step.x, 0, 0, 0};
    CameraTrackMotion(camera);
    EXPECT_EQ(camera->instance.velocity.x, step.wantVelocityX) << step.what;
    EXPECT_EQ(camera->bankAngle, step.wantBank) << step.what;
    EXPECT_EQ(camera->trackTime, step.time) << step.what;
  }
  EXPECT_EQ(camera->instance.cameraVelocity.x, -1000);

  // Motion along the view axis asks for no lean.
  block.gameTime += 100;
  camera->instance.position.z += 500;
  CameraTrackMotion(camera);
  EXPECT_EQ(camera->instance.velocity.z, 5000);
  EXPECT_EQ(camera->bankAngle, 0u);
  gSystem = saved;
}

}  // namespace
