// Device lights of hand-made light instances: the kind from the flags (spot before point before
// directional, which then ranks high), colour, range and attenuation with and without a scene,
// positions and directions, slot numbering, a second creation, and vector normalising.
#include "render/device_lights.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/memory.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kOne = 65536;

class DeviceLights : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_.systemScale = 0.5f;
    light_.flags = kInstLight;
    light_.lightColor[0] = 256;
    light_.lightColor[1] = 128;
    light_.lightColor[2] = 0;
    light_.lightRange = 1000;
    light_.words31[0] = kOne;
    light_.words31[1] = 2 * kOne;
    light_.words31[2] = 5 * kOne;
  }
  void TearDown() override {
    for (InstanceRecord* light : {&light_, &other_}) {
      D3DLightFree(light->deviceLight);
      light->deviceLight = nullptr;
    }
  }

  EngineFixture engine_;
  SceneRecord scene_{};
  InstanceRecord light_{};
  InstanceRecord other_{};
};

TEST_F(DeviceLights, TheKindComesFromTheFlagsAndADirectionalLightRanksHigh) {
  struct Case {
    uint32_t flags;
    uint32_t type;
    bool rankedHigh;
  };
  const Case kCases[] = {
      {kInstSpotLight | kInstPointLight, kGpuLightSpot, false},
      {kInstPointLight, kGpuLightPoint, false},
      {0, kGpuLightDirectional, true},
  };
  ASSERT_TRUE(LightCreateD3DLight(&light_));
  for (const Case& c : kCases) {
    light_.flags = kInstLight | c.flags;
    const D3DLightRecord* record = LightGetD3DLight(&light_);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->light.type, c.type) << std::hex << c.flags;
    EXPECT_EQ((light_.flags & kInstLightRankedHigh) != 0, c.rankedHigh) << std::hex << c.flags;
    if (c.type == kGpuLightSpot) {
      EXPECT_EQ(record->light.theta, 0.5233333f);
      EXPECT_EQ(record->light.phi, 0.785f);
    }
  }
}

TEST_F(DeviceLights, ColourRangeAndAttenuationNeedAScene) {
  ASSERT_TRUE(LightCreateD3DLight(&light_));
  const GpuLight& l = light_.deviceLight->light;
  EXPECT_EQ(light_.deviceLight->slot, -1);
  EXPECT_EQ(l.diffuse.r, 1.0f);
  EXPECT_EQ(l.diffuse.g, 0.5f);
  EXPECT_EQ(l.diffuse.b, 0.0f);
  EXPECT_EQ(l.diffuse.a, 1.0f);
  EXPECT_EQ(l.specular.g, 1.0f);
  EXPECT_EQ(l.ambient.a, 0.0f);
  EXPECT_EQ(l.direction.z, 1.0f);
  EXPECT_EQ(l.falloff, 1.0f);
  EXPECT_EQ(l.range, 0.0f) << "no scene: range and attenuation keep their zeros";
  EXPECT_EQ(l.attenuation0, 0.0f);
  EXPECT_EQ(l.attenuation2, 0.0f);

  light_.scene = &scene_;
  LightGetD3DLight(&light_);
  EXPECT_FLOAT_EQ(l.range, 500.0f);
  EXPECT_FLOAT_EQ(l.attenuation0, 1.0f);
  EXPECT_FLOAT_EQ(l.attenuation1, 2.0f / 500);
  EXPECT_FLOAT_EQ(l.attenuation2, 5.0f / (500.0f * 500.0f));
}

TEST_F(DeviceLights, ASecondCreationIsRefusedAndKeepsTheFirstRecord) {
  EXPECT_FALSE(LightCreateD3DLight(nullptr));
  ASSERT_TRUE(LightCreateD3DLight(&light_));
  D3DLightRecord* first = light_.deviceLight;
  first->slot = 3;
  EXPECT_FALSE(LightCreateD3DLight(&light_));
  EXPECT_EQ(light_.deviceLight, first);
  EXPECT_EQ(first->slot, 3);
  EXPECT_EQ(LightGetD3DLight(&other_), nullptr);
  EXPECT_FALSE(LightUpdateD3DPosition(&other_));
}

TEST_F(DeviceLights, PositionsAndDirectionsFollowTheKind) {
  light_.scene = &scene_;
  light_.world = FixedVector{300, 0, -400, 0};
  light_.worldMatrix.m[2][0] = kOne / 2;
  light_.worldMatrix.m[2][2] = -kOne;
  ASSERT_TRUE(LightCreateD3DLight(&light_));
  const GpuLight& l = light_.deviceLight->light;
  struct Case {
    uint32_t flags;
    FixedVector world;
    GpuVector3 direction;
  };
  const Case kCases[] = {
      {kInstSpotLight, {300, 0, -400, 0}, {0.5f, 0.0f, -1.0f}},      // the forward axis
      {0, {300, 0, -400, 0}, {-0.6f, 0.0f, 0.8f}},                   // from the position to the origin
      {0, {0, 0, 0, 0}, {0.0f, 0.0f, 0.0f}},                         // at the origin: no direction
      {kInstPointLight, {300, 0, -400, 0}, {0.0f, 0.0f, 1.0f}},      // kept
  };
  for (const Case& c : kCases) {
    light_.flags = kInstLight | c.flags;
    light_.world = c.world;
    LightGetD3DLight(&light_);
    light_.deviceLight->slot = 5;
    ASSERT_TRUE(LightUpdateD3DPosition(&light_));
    EXPECT_FLOAT_EQ(l.position.x, c.world.x * 0.5f);
    EXPECT_FLOAT_EQ(l.position.z, c.world.z * 0.5f);
    EXPECT_NEAR(l.direction.x, c.direction.x, 1e-4f) << std::hex << c.flags;
    EXPECT_NEAR(l.direction.y, c.direction.y, 1e-4f) << std::hex << c.flags;
    EXPECT_NEAR(l.direction.z, c.direction.z, 1e-4f) << std::hex << c.flags;
    EXPECT_EQ(light_.deviceLight->slot, -1);
  }
}

TEST_F(DeviceLights, ChosenLightsGetTheirSlotNumbers) {
  ASSERT_TRUE(LightCreateD3DLight(&light_));
  ASSERT_TRUE(LightCreateD3DLight(&other_));
  EngineState3D& e = engine_.engine();
  e.activeLights[0] = &light_;
  e.activeLights[1] = &other_;
  e.lightSlotCount = 3;
  e.lightSlots[0] = LightSlot{-1, 0, 0};
  e.lightSlots[1] = LightSlot{1, 0, 0};
  e.lightSlots[2] = LightSlot{0, 0, 0};
  e.lightSlots[3] = LightSlot{1, 0, 0};  // beyond the slot count
  AssignLightSlots();
  EXPECT_EQ(light_.deviceLight->slot, 2);
  EXPECT_EQ(other_.deviceLight->slot, 1);
}

TEST(FixedVectorNormalize, GivesLength65536WithinTruncation) {
  const FixedVector kCases[] = {{3, 4, 0, 0}, {1, 1, 1, 0}, {-100000, 2000000, 7, 0}, {INT32_MAX, INT32_MIN, 0, 0}};
  for (FixedVector v : kCases) {
    FixedVectorNormalize(&v);
    const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    EXPECT_LE(length, 65536.0);
    EXPECT_GT(length, 65536.0 - 2.0);
  }
  FixedVector zero{0, 0, 0, 9};
  FixedVectorNormalize(&zero);
  EXPECT_EQ(zero.x, 0);
  EXPECT_EQ(zero.w, 9);
}

}  // namespace
