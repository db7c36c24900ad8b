// Lights on a hand-built engine: defaults and type parameters, gathering the lights a camera can
// reach, and ranking them into the light slots of one instance.
#include "scene/lights.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/device_lights.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;

class Lights : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture_.engine().lightSlotCount = kLightSlotCapacity;
    target_ = B3D_InstAlloc();
    target_->scaledSize = 100;
  }
  void TearDown() override {
    for (InstanceRecord* light : lights_) FreeInstance(light);
    FreeInstance(target_);
  }
  InstanceRecord* Light(uint32_t kind, int32_t red, int32_t green, int32_t range, FixedVector at) {
    InstanceRecord* light = B3D_LightAlloc();
    EXPECT_NE(light, nullptr);
    light->flags |= kind;
    B3D_LightSetColor(light, red, green, 0);
    B3D_LightSetRange(light, range);
    light->world = at;
    lights_.push_back(light);
    return light;
  }
  // Makes the lights made so far the active list, in order.
  void Activate() {
    size_t i = 0;
    for (; i < lights_.size(); ++i) fixture_.engine().activeLights[i] = lights_[i];
    fixture_.engine().activeLights[i] = nullptr;
  }
  std::vector<int32_t> SlotLights() {
    std::vector<int32_t> out;
    for (const LightSlot& slot : fixture_.engine().lightSlots) out.push_back(slot.light);
    return out;
  }

  EngineFixture fixture_;
  InstanceRecord* target_ = nullptr;
  std::vector<InstanceRecord*> lights_;
};

TEST_F(Lights, NewLightsAndTypesOnlyAddKindBits) {
  InstanceRecord* light = Light(0, 0, 0, 0, {});
  EXPECT_EQ(light->flags, kInstLight);
  EXPECT_EQ(light->size, -1);
  EXPECT_EQ(light->lightParam, 0x20000);
  EXPECT_EQ(light->bodyId, -1);
  EXPECT_EQ(light->scale.x, 0);

  LightTypeRecord* types = fixture_.engine().lightTypes;
  types[3] = LightTypeRecord{};
  types[3].kind = kLightKindPoint;
  types[3].secondValue = 5;
  types[3].parameter = 0x30000;
  types[4] = LightTypeRecord{};
  types[4].kind = kLightKindDirectional;
  types[999] = LightTypeRecord{};
  types[999].kind = kLightKindSpot;
  B3D_LightSetParameters(light, 3);
  EXPECT_EQ(light->flags, kInstLight | kInstPointLight | kInstLightParamSet | kInstLightSecondPositive);
  EXPECT_EQ(light->lightParam, 0x30000);
  B3D_LightSetParameters(light, 4);
  EXPECT_EQ(light->flags & (kInstPointLight | kInstLightRankedHigh), kInstPointLight | kInstLightRankedHigh);
  EXPECT_EQ(light->lightParam, 0x30000);
  const uint32_t before = light->flags;
  for (int32_t outside : {1000, -1, INT32_MIN}) B3D_LightSetParameters(light, outside);
  EXPECT_EQ(light->flags, before);
  B3D_LightSetParameters(light, 999);
  EXPECT_TRUE(light->flags & kInstSpotLight);
}

TEST_F(Lights, SingleLightWeights) {
  struct Case {
    const char* name;
    uint32_t kind;
    int32_t red, green, range;
    FixedVector at;
    int32_t weight;  // 0 = no slot taken
    int32_t distance;
  };
  const Case kCases[] = {
      {"black directional", kInstLightRankedHigh, 0, 0, 0, {5000000, 0, 0, 0}, 768, 4999900},
      {"point at the instance", kInstPointLight, 100, 0, 1000, {0, 0, 0, 0}, 29, 0},
      {"point half way to its range", kInstPointLight, 200, 0, 1000, {0, 600, 0, 0}, 45, 500},
      {"point exactly at range", kInstPointLight, 255, 255, 1000, {-1100, 0, 0, 0}, 0, 0},
      {"no kind", 0, 255, 255, 1000, {0, 0, 0, 0}, 0, 0},
      // lum 149 less 14 for the distance, then turned by the 64-bit product with the dot of 2e7.
      {"far spot facing the instance", kInstSpotLight, 0, 255, 100000000, {0, 0, -20000000, 0}, 41199, 19999900},
      {"far spot behind the instance", kInstSpotLight, 0, 255, 100000000, {0, 0, 20000000, 0}, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (InstanceRecord* light : lights_) FreeInstance(light);
    lights_.clear();
    InstanceRecord* light = Light(c.kind, c.red, c.green, c.range, c.at);
    light->worldMatrix.m[2][2] = kOne;  // facing +z
    Activate();
    InstSelectLights(target_);
    const LightSlot& slot = fixture_.engine().lightSlots[0];
    if (c.weight == 0) {
      EXPECT_EQ(slot.light, -1);
      continue;
    }
    EXPECT_EQ(slot.light, 0);
    EXPECT_EQ(slot.weight, c.weight);
    EXPECT_EQ(slot.distance, c.distance);
  }
}

TEST_F(Lights, BlackDirectionalLightOutranksBrightPointLights) {
  Light(kInstPointLight, 255, 255, 1000, {0, 0, 0, 0});
  Light(kInstLightRankedHigh, 0, 0, 0, {0, 0, 0, 0});
  Activate();
  InstSelectLights(target_);
  EXPECT_EQ(SlotLights(), (std::vector<int32_t>{1, 0, -1, -1, -1, -1, -1, -1}));
  EXPECT_EQ(fixture_.engine().lightSlots[0].weight, 768);
}

TEST_F(Lights, HeavierNinthLightReplacesTheFirstLightestSlot) {
  // Red 100, 200, 300 and 167 weigh 29, 59, 89 and 49.
  for (int32_t red : {200, 100, 300, 100, 200, 300, 200, 300, 167, 100}) {
    Light(kInstPointLight, red, 0, 1000, {0, 0, 0, 0});
  }
  Activate();
  InstSelectLights(target_);
  // Light 8 took slot 1 (the first 29); light 9 (29) found no lighter slot. Equal weights keep
  // their slot order.
  EXPECT_EQ(SlotLights(), (std::vector<int32_t>{2, 5, 7, 0, 4, 6, 8, 3}));
  EXPECT_EQ(fixture_.engine().lightSlots[6].weight, 49);
}

TEST_F(Lights, SmallInstancesKeepThePreviousSlots) {
  Light(kInstPointLight, 100, 0, 1000, {0, 0, 0, 0});
  Activate();
  fixture_.engine().lightSlots[0] = LightSlot{7, 500, 3};
  target_->scaledSize = 1;
  target_->subtreeSize = -1;
  InstSelectLights(target_);
  EXPECT_EQ(fixture_.engine().lightSlots[0].light, 7);
  EXPECT_EQ(fixture_.engine().lightSlots[0].weight, 500);
}

// ---------------------------------------------------------------------------------------------
// Gathering per camera.

class Collect : public Lights {
 protected:
  void SetUp() override {
    Lights::SetUp();
    scene_ = B3D_SceneAlloc();
    camera_ = B3D_CameraAlloc();
    ASSERT_NE(scene_, nullptr);
    ASSERT_NE(camera_, nullptr);
  }
  void TearDown() override {
    B3D_CameraFree(camera_);
    while (ListNode* node = ListFirst(&scene_->members)) FreeInstance(InstanceOfNode(node));
    Lights::TearDown();
    ListRemove(&scene_->node);
    HashRemove(gEngine3D->sceneTable, scene_->handle);
    EngineFree(scene_, sizeof(SceneRecord));
  }
  void AddMember(InstanceRecord* instance) {
    ListRemove(&instance->node);
    ListAddTail(&scene_->members, &instance->node);
    instance->scene = scene_;
  }
  std::vector<InstanceRecord*> Active() {
    std::vector<InstanceRecord*> out;
    for (InstanceRecord* light : fixture_.engine().activeLights) {
      if (!light) break;
      out.push_back(light);
    }
    return out;
  }
  SceneRecord* scene_ = nullptr;
  CameraRecord* camera_ = nullptr;
};

TEST_F(Collect, RangedLightsReachAboutTwentyRanges) {
  struct Case {
    const char* name;
    uint32_t kind;
    int32_t range;
    int32_t distance;
    bool taken;
  };
  const Case kCases[] = {
      {"19 ranges away", kInstPointLight, 1000, 19000, true},
      {"21 ranges away", kInstPointLight, 1000, 21000, false},
      {"within range", kInstSpotLight, 1000, 999, true},
      {"spot 21 ranges away", kInstSpotLight, 1000, 21000, false},
      {"range 40000, 19 ranges away", kInstPointLight, 40000, 760000, true},
      {"range 40000, 21 ranges away", kInstPointLight, 40000, 840000, false},
      {"directional far away", kInstLightRankedHigh, 0, 2000000000, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    while (ListNode* node = ListFirst(&scene_->members)) FreeInstance(InstanceOfNode(node));
    lights_.clear();
    InstanceRecord* light = Light(c.kind, 0, 0, c.range, {0, -c.distance, 5, 0});
    lights_.clear();
    AddMember(light);
    SceneCollectLights(scene_, camera_);
    EXPECT_EQ(Active().size(), c.taken ? 1u : 0u);
  }
}

TEST_F(Collect, MembersThenTheirDirectChildrenUpTo254) {
  InstanceRecord* holder = B3D_InstAlloc();
  AddMember(holder);
  InstanceRecord* child = Light(kInstLightRankedHigh, 0, 0, 0, {});
  InstanceRecord* grandchild = Light(kInstLightRankedHigh, 0, 0, 0, {});
  InstanceRecord* member = Light(kInstLightRankedHigh, 0, 0, 0, {});
  lights_.clear();
  for (auto [parent, node] : {std::pair{holder, child}, std::pair{child, grandchild}}) {
    ListRemove(&node->node);
    ListAddTail(&parent->children, &node->node);
    node->parent = parent;
  }
  AddMember(member);
  SceneCollectLights(scene_, camera_);
  EXPECT_EQ(Active(), (std::vector<InstanceRecord*>{member, child}));

  for (int i = 0; i < 300; ++i) AddMember(Light(kInstLightRankedHigh, 0, 0, 0, {}));
  lights_.clear();
  SceneCollectLights(scene_, camera_);
  EXPECT_EQ(Active().size(), 254u);
  EXPECT_EQ(fixture_.engine().activeLights[254], nullptr);
}

}  // namespace

namespace {

// The render data of a light is its device record: made when the light enters an enabled
// scene, refreshed by the setters, gone when the scene is disabled.
TEST_F(Collect, LightsHoldADeviceRecordOnlyWhileTheirSceneIsEnabled) {
  InstanceRecord* light = Light(kInstPointLight, 256, 0, 100, {});
  lights_.clear();
  B3D_SceneEnable(scene_);
  AddInstanceToScene(light, scene_);
  ASSERT_NE(light->deviceLight, nullptr);
  EXPECT_NE(light->flags & kInstRenderReady, 0u);
  EXPECT_EQ(light->deviceLight->light.type, kGpuLightPoint);
  EXPECT_FLOAT_EQ(light->deviceLight->light.range, 100 * scene_->systemScale);
  B3D_LightSetColor(light, 128, 0, 0);
  EXPECT_EQ(light->deviceLight->light.diffuse.r, 0.5f);

  B3D_SceneDisable(scene_);
  EXPECT_EQ(light->deviceLight, nullptr);
  EXPECT_EQ(light->flags & kInstRenderReady, 0u);
  B3D_SceneEnable(scene_);
  EXPECT_NE(light->deviceLight, nullptr);
}

}  // namespace
