// Drawing an instance's parts on the null device with effects from a temporary game folder: the
// depth pass stopping at the first blending part, the draw call counts, fade, fog (with the
// empty fog range), the colour clamps, the glow output states and the skip rules.
#include "render/instance_parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_null.h"
#include "render/body_part_meshes.h"
#include "render/effect_cache.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/render_material.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/effect_registry.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

const char kEffect[] = R"(param int g_nNumLightPoint
param bool g_ZEnable
param bool g_ZWriteEnable
param bool g_AlphaBlendEnable
param bool g_ALPHATESTENABLE
param int g_SrcBlend
param int g_DestBlend
param float g_AlphaValue
param float g_Hue
param float g_Saturation
param float4 g_FogClip
param bool g_EnableFog
param int g_ColorWriteEnable
param float g_EnableGlow
param float4x4 g_mWorldViewProjection
param struct g_LightPoint[10] { float4 pos, float4 color, float4 atten }
technique DEFAULT
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorldViewProjection; }
end
fragment
void main() { gpu_FragColor = vec4(g_AlphaValue); }
end
)";

constexpr char kDraw[] = "DrawIndexedPrimitive(4, 0, 0, 4, 0, 2)";

class InstanceParts : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = world_.block();
    world_.WriteLoose("shader/3_0/standard_lighting.fb", kEffect);
    world_.WriteLoose("shader/3_0/z_only.fb", kEffect);
    std::memset(table_, 0, sizeof table_);
    table_[2].flags = 0x4;  // blends
    savedTable_ = gMaterialTable;
    savedCount_ = gMaterialCount;
    gMaterialTable = table_;
    gMaterialCount = 3;
    set_.partCount = 3;
    set_.parts = static_cast<RenderPart*>(MemAlloc(sizeof(RenderPart) * 3, 0));
    std::memset(set_.parts, 0, sizeof(RenderPart) * 3);
    const int32_t materials[3] = {1, 2, 1};
    for (int i = 0; i < 3; ++i) {
      GpuxMesh* mesh = nullptr;
      ASSERT_EQ(GpuxCreateMesh(2, 4, kPartMeshCreateOptions, MeshFillElements(false), device_, &mesh), kGpuOk);
      ASSERT_TRUE(MeshRecordSetMesh(&set_.parts[i], mesh));
      set_.parts[i].materialIndex = materials[i];
    }
    instance_.flags = kPartsDrawable;
    instance_.colorModifier[1] = 0x10000;
    camera_.cameraFlags = kCameraDepthTestA;
    camera_.fieldOfView = 0x4000;
    GpuNullClearLog();
  }
  void TearDown() override {
    set_.partCount = 3;  // tests draw fewer; all three are released
    PartMeshRelease(&set_);
    FreeEffectRegistry();
    gMaterialTable = savedTable_;
    gMaterialCount = savedCount_;
    RenderWorld::TearDown();
  }
  int Count(const std::string& line) {
    const auto& log = GpuNullLog();
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }
  GpuxEffect* Effect() { return EffectGetOrLoad("standard_lighting", 0)->effects[0]; }
  GpuVector4 Vec(const char* name) {
    GpuVector4 v{-1, -1, -1, -1};
    Effect()->GetVector(Effect()->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  float Float(const char* name) {
    float v = -1;
    Effect()->GetFloat(Effect()->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  int32_t Int(const char* name) {
    int32_t v = -1;
    Effect()->GetInt(Effect()->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  int32_t Draw() { return DrawInstanceParts(&set_, &mesh_, &instance_, &camera_, 0, nullptr, nullptr, 1.0f); }

  EngineFixture engine_;
  CatalogWorld world_;
  MaterialRecord table_[3];
  MaterialRecord* savedTable_ = nullptr;
  int16_t savedCount_ = 0;
  RenderPartSet set_{};
  BodyMesh mesh_{};
  InstanceRecord instance_{};
  CameraRecord camera_{};
};

TEST_F(InstanceParts, EveryPartDrawsItsMeshAndTheDepthPassStopsAtTheFirstBlendingPart) {
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(Count(kDraw), 3);
  EXPECT_EQ(set_.parts[1].material.sorted, 1);
  EXPECT_EQ(set_.parts[0].material.sorted, 0);

  GpuNullClearLog();
  instance_.flags2 = kInst2DepthPass;
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(Count(kDraw), 1);
  EXPECT_EQ(set_.parts[0].material.depthEffect, EffectGetOrLoad("z_only", 0)->effects[0]);
  EXPECT_EQ(set_.parts[2].material.depthEffect, nullptr);  // never reached
}

TEST_F(InstanceParts, SkipRulesDrawNothingAndAPartWithoutAMeshEndsTheCall) {
  struct Case {
    const char* what;
    uint32_t flags;
  };
  const Case kCases[] = {{"not drawable", 0}, {"flag 0x100000", 0x2 | 0x100000}, {"flag 0x4000000", 0x2 | 0x4000000}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    instance_.flags = c.flags;
    EXPECT_EQ(Draw(), 1);
    EXPECT_EQ(Count(kDraw), 0);
  }
  EXPECT_EQ(DrawInstanceParts(nullptr, &mesh_, &instance_, &camera_, 0, nullptr, nullptr, 1.0f), 1);

  instance_.flags = kPartsDrawable;
  set_.parts[0].materialIndex = 7;  // beyond the material table
  EXPECT_EQ(Draw(), 0);
  EXPECT_EQ(Count(kDraw), 0);
}

TEST_F(InstanceParts, FadeFogAndColourAdjustmentOfTheLastPart) {
  set_.partCount = 1;
  instance_.alphaOverride = 255;
  instance_.colorModifier[0] = 400;
  instance_.colorModifier[1] = 6 * 0x10000;
  EXPECT_EQ(Draw(), 1);
  EXPECT_FLOAT_EQ(Float("g_AlphaValue"), 1.0f);
  EXPECT_EQ(Int("g_SrcBlend"), 5);
  EXPECT_EQ(Int("g_DestBlend"), 2);
  EXPECT_FLOAT_EQ(Float("g_Hue"), 360.0f);
  EXPECT_FLOAT_EQ(Float("g_Saturation"), 5.1f);
  int32_t blend = 0;
  Effect()->GetBool(Effect()->GetParameterByName(kGpuxNoHandle, "g_AlphaBlendEnable"), &blend);
  EXPECT_EQ(blend, 1);

  struct Case {
    const char* what;
    int32_t distance, nearFog, farFog;
    GpuVector4 clip;
    float enabled;
  };
  const Case kCases[] = {
      {"below the near distance", 50, 100, 300, {1, 0, 0, 0}, 0},
      {"beyond it", 200, 100, 300, {1.5f, 0.005f, 0, 0}, 1},
      {"empty fog range", 200, 100, 100, {1, 0, 0, 0}, 0},
  };
  instance_.alphaOverride = 0;
  camera_.cameraFlags |= kCameraFog;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    instance_.world.x = c.distance;
    camera_.fog[0] = c.nearFog;
    camera_.fog[1] = c.farFog;
    EXPECT_EQ(Draw(), 1);
    const GpuVector4 clip = Vec("g_FogClip");
    EXPECT_FLOAT_EQ(clip.x, c.clip.x);
    EXPECT_FLOAT_EQ(clip.y, c.clip.y);
    int32_t fog = -1;
    Effect()->GetBool(Effect()->GetParameterByName(kGpuxNoHandle, "g_EnableFog"), &fog);
    EXPECT_EQ(fog, c.enabled);
  }
}

TEST_F(InstanceParts, GlowOutputFollowsTheGlowPassAndTheSettings) {
  set_.partCount = 2;  // an opaque and a blending part
  const std::string write7 = "SetRenderState(168, 7)";
  const std::string write15 = "SetRenderState(168, 15)";
  // Glow off: every part writes colour only and separate alpha blending is off.
  EXPECT_EQ(Draw(), 1);
  EXPECT_GE(Count(write7), 1);
  EXPECT_EQ(Count(write15), 0);
  EXPECT_GE(Count("SetRenderState(206, 0)"), 1);
  EXPECT_EQ(Int("g_ColorWriteEnable"), 7);

  // Glow on, in the glow pass: the blending part writes all four channels.
  block_.d3dFlags2 |= kD3D2Glow;
  gSystem->d3dFlags2 |= kD3D2Glow;
  record_.glowFilter = 1;
  camera_.cameraFlags |= kCameraGlowPass;
  GpuNullClearLog();
  EXPECT_EQ(Draw(), 1);
  EXPECT_GE(Count(write15), 1);
  EXPECT_EQ(Int("g_ColorWriteEnable"), 15);

  // Glow on outside the glow pass: nothing set.
  camera_.cameraFlags &= ~kCameraGlowPass;
  GpuNullClearLog();
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(Count(write7) + Count(write15), 0);
}

TEST_F(InstanceParts, LightsInReachFillAtMostTenPointLightElements) {
  set_.partCount = 1;
  InstanceRecord lights[14]{};
  for (int i = 0; i < 14; ++i) {
    lights[i].world.x = 1000 + i;
    lights[i].lightRange = 2000;
    lights[i].lightColor[0] = 256;
    lights[i].words31[0] = 0x10000;
    gEngine3D->activeLights[i] = &lights[i];
  }
  lights[0].lightRange = 10;               // out of reach
  lights[1].flags = kLightUnlimitedRange;  // in reach whatever its distance
  lights[1].lightRange = 0;
  gEngine3D->activeLights[14] = nullptr;
  EXPECT_EQ(DrawInstanceParts(&set_, &mesh_, &instance_, &camera_, 2, &lights[2], nullptr, 1.0f), 1);
  EXPECT_EQ(Int("g_nNumLightPoint"), 10);
  GpuxEffect* e = Effect();
  const GpuxHandle array = e->GetParameterByName(kGpuxNoHandle, "g_LightPoint");
  GpuVector4 v{};
  e->GetVector(e->GetParameterByName(e->GetParameterElement(array, 0), "atten"), &v);
  EXPECT_FLOAT_EQ(v.x, 1.0f);  // the unlimited light comes first, then lights 3 to 11
  e->GetVector(e->GetParameterByName(e->GetParameterElement(array, 1), "pos"), &v);
  EXPECT_FLOAT_EQ(v.x, 1003.0f);
  e->GetVector(e->GetParameterByName(e->GetParameterElement(array, 9), "pos"), &v);
  EXPECT_FLOAT_EQ(v.x, 1011.0f);

  gEngine3D->activeLights[0] = nullptr;
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(Int("g_nNumLightPoint"), 0);
}

}  // namespace
