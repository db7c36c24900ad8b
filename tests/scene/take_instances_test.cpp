// Take instances: the object each path body id makes (the take's camera for the first camera
// path only, the lights and their colour digits, instances only for paths that name a body),
// objects kept on a restart with the same cut and rebuilt for another, the script camera that a
// release frees, a take that plays until its paths end, and a freed take that leaves nothing.
#include "scene/take_instances.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/hash_table.h"
#include "scene/camera_records.h"
#include "scene/cut_update.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "support/cut_world.h"

namespace {

constexpr uint32_t kPointLight = 0x400000;
constexpr uint32_t kFlareLight = 0x20000000;
constexpr uint32_t kSpotLight = 0x10;

class Takes : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_ = B3D_SceneAlloc();
    camera_ = B3D_CameraAlloc();
    take_ = TakeAlloc();
    ASSERT_TRUE(scene_ && camera_ && take_);
    B3D_CameraAddToScene(camera_, scene_);
  }
  // Adds a path with this body id and flag word; paths name a body unless flags says otherwise.
  PathRecord* Path(int32_t bodyId, uint32_t flags = kPathNamesBody) {
    PathRecord* path = world_.AddPath({});
    path->lookupWord = static_cast<uint32_t>(bodyId);
    path->flags = flags;
    return path;
  }
  bool InScene(const InstanceRecord* object) const { return object->scene == scene_ && !object->parent; }

  CutWorld world_;
  SceneRecord* scene_ = nullptr;
  CameraRecord* camera_ = nullptr;
  TakeRecord* take_ = nullptr;
};

TEST_F(Takes, EachPathBodyIdMakesItsObject) {
  struct Case {
    int32_t bodyId;
    uint32_t flags;
    enum { kNone, kCamera, kLight, kInstance } kind;
    int16_t colour[3];
    int32_t range;
    uint32_t lightFlags;
    uint32_t attenuation[3];
  };
  const Case kCases[] = {
      {-1, kPathNamesBody, Case::kCamera, {}, 0, 0, {}},
      {-1, kPathNamesBody, Case::kNone, {}, 0, 0, {}},  // the second camera path
      {-2, 0, Case::kLight, {0, 0, 0}, 300000, kPointLight, {0x10000, 0, 0x80000}},
      {1999, 0, Case::kLight, {255, 255, 255}, 0, 0, {}},
      {1000, 0, Case::kLight, {0, 0, 0}, 0, 0, {}},
      {1123, 0, Case::kLight, {28, 56, 85}, 0, 0, {}},
      {2123, 0, Case::kLight, {28, 56, 85}, 0, kFlareLight, {}},
      {3950, 0, Case::kLight, {255, 141, 0}, 1000000, kSpotLight, {0, 0xA0000, 0}},
      {500, 0, Case::kNone, {}, 0, 0, {}},
      {4000, 0, Case::kNone, {}, 0, 0, {}},
      {500, kPathNamesBody, Case::kInstance, {}, 0, 0, {}},
  };
  for (const Case& c : kCases) Path(c.bodyId, c.flags);
  CutRecord* cut = world_.Enter();
  ASSERT_TRUE(TakeBuildInstances(take_, cut, scene_, camera_));
  ASSERT_EQ(take_->instanceCount, static_cast<int32_t>(std::size(kCases)));
  EXPECT_EQ(take_->instance, &camera_->instance);
  EXPECT_EQ(take_->state, kTakeStopped);
  EXPECT_EQ(take_->cutHandle, CutWorld::kCut);
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(i);
    const InstanceRecord* object = take_->instances[i];
    switch (c.kind) {
      case Case::kNone:
        EXPECT_EQ(object, nullptr);
        break;
      case Case::kCamera:
        EXPECT_EQ(object, &camera_->instance);
        break;
      case Case::kInstance:
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->flags & kInstLight, 0u);
        EXPECT_TRUE(InScene(object));
        break;
      case Case::kLight:
        ASSERT_NE(object, nullptr);
        EXPECT_NE(object->flags & kInstLight, 0u);
        EXPECT_TRUE(InScene(object));
        EXPECT_EQ(object->lightColor[0], c.colour[0]);
        EXPECT_EQ(object->lightColor[1], c.colour[1]);
        EXPECT_EQ(object->lightColor[2], c.colour[2]);
        EXPECT_EQ(object->lightRange, c.range);
        EXPECT_EQ(object->flags & (kPointLight | kFlareLight | kSpotLight), c.lightFlags);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(object->words31[k], c.attenuation[k]);
        EXPECT_EQ(object->name, nullptr);
        break;
    }
  }
}

TEST_F(Takes, WithoutACameraTheCameraPathsDriveNothing) {
  Path(-1);
  CutRecord* cut = world_.Enter();
  ASSERT_TRUE(TakeBuildInstances(take_, cut, scene_, nullptr));
  EXPECT_EQ(take_->instances[0], nullptr);
  EXPECT_EQ(take_->instance, nullptr);
}

TEST_F(Takes, ARestartKeepsTheObjectsOfTheSameCutAndRebuildsForAnother) {
  Path(-2);
  Path(-1);
  CutRecord* cut = world_.Enter();
  ASSERT_FALSE(J3D_TakeStart(take_, cut, scene_, camera_));  // nothing in the cut plays
  const uint32_t light = take_->instances[0]->handle;
  ASSERT_FALSE(J3D_TakeStart(take_, cut, scene_, camera_));
  EXPECT_EQ(take_->instances[0]->handle, light);
  EXPECT_EQ(take_->instances[1], &camera_->instance);

  // Another cut: the old objects go, the script's camera with them, as its camera path held it.
  CutRecord other{};
  PathRecord paths[2]{};
  paths[0].lookupWord = static_cast<uint32_t>(-1);
  paths[1].lookupWord = 1999;
  other.handle = 8;
  other.pathCount = 2;
  other.paths = paths;
  HashInsert(gEngine3D->cutTable, other.handle, reinterpret_cast<HashValue>(&other));
  const uint32_t cameraHandle = camera_->instance.handle;
  ASSERT_FALSE(J3D_TakeStart(take_, &other, scene_, camera_));
  EXPECT_EQ(GetInstanceByHandle(light), nullptr);
  EXPECT_EQ(GetCameraByHandle(cameraHandle), nullptr);
  EXPECT_EQ(take_->cutHandle, 8u);
  EXPECT_EQ(take_->instanceCount, 2);
  EXPECT_EQ(take_->instances[0], nullptr);  // the freed camera is no camera for the new cut
  ASSERT_NE(take_->instances[1], nullptr);
  EXPECT_EQ(take_->instances[1]->lightColor[0], 255);
  EXPECT_TRUE(ListIsEmpty(&scene_->cameras));
  camera_ = nullptr;
  J3D_TakeFree(take_);
  HashRemove(gEngine3D->cutTable, other.handle);
}

TEST_F(Takes, ATakePlaysUntilItsPathsEndAndIsThenStopped) {
  PositionKey keys[2]{};
  keys[1].time = 1000;
  Path(-2)->positions = {2, keys};
  CutRecord* cut = world_.Enter();
  ASSERT_TRUE(J3D_TakeStart(take_, cut, scene_, camera_));
  EXPECT_EQ(take_->state, kTakeRunning);
  world_.Advance(500);
  UpdateCutScenes();
  EXPECT_EQ(take_->state, kTakeRunning);
  world_.Advance(500);
  UpdateCutScenes();
  EXPECT_EQ(take_->state, kTakeStopped);
  EXPECT_EQ(GetTakeByHandle(take_->handle), take_);
}

TEST_F(Takes, AFreedTakeLeavesNoObjectAndNoRecord) {
  Path(-1);
  Path(-2);
  Path(1123);
  Path(3000);
  CutRecord* cut = world_.Enter();
  ASSERT_TRUE(TakeBuildInstances(take_, cut, scene_, camera_));
  // An instance attached to the camera goes with it.
  ASSERT_TRUE(B3D_InstAddToInst(B3D_LightAlloc(), &camera_->instance));
  const uint32_t handle = take_->handle;
  J3D_TakeFree(take_);
  EXPECT_EQ(GetTakeByHandle(handle), nullptr);
  EXPECT_EQ(HashCount(gEngine3D->takeTable), 0u);
  EXPECT_EQ(HashCount(gEngine3D->handleTable), 0u);  // the camera went with its path
  EXPECT_TRUE(ListIsEmpty(&scene_->members));
  EXPECT_TRUE(ListIsEmpty(&scene_->cameras));
  EXPECT_TRUE(ListIsEmpty(&gEngine3D->instances));
}

}  // namespace
