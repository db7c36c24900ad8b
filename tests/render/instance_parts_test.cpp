// Drawing an instance's parts on the null device with effects from a temporary game folder: the
// depth pass stopping at the first blending part, the draw call counts, fade, fog (with the
// empty fog range), the colour clamps, the glow output states, the skip rules, and the textures
// of the normal pass with their default images, the remap, the cube map and the detail weight.
#include "render/instance_parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_null.h"
#include "render/body_part_meshes.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/effect_textures.h"
#include "render/environment_map.h"
#include "render/effect_cache.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/render_material.h"
#include "render/render_matrices.h"
#include "render/texture_table.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/effect_registry.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
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
// The material values are only set on parameters a pass uses: this one uses them all.
// g_nNumLightPoint g_ZEnable g_ZWriteEnable g_AlphaBlendEnable g_ALPHATESTENABLE g_SrcBlend g_DestBlend g_AlphaValue g_Hue g_Saturation g_FogClip g_EnableFog g_ColorWriteEnable g_EnableGlow g_mWorldViewProjection g_LightPoint
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
    camera_.fog[kCameraFogStart] = c.nearFog;
    camera_.fog[kCameraFogEnd] = c.farFog;
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

TEST_F(InstanceParts, TheWorldViewProjectionPlacesTheInstanceAndTakesTheCurrentDepthTerms) {
  set_.partCount = 1;
  auto wvp = [this] {
    GpuMatrix m{};
    Effect()->GetMatrix(Effect()->GetParameterByName(kGpuxNoHandle, "g_mWorldViewProjection"), &m);
    return m;
  };
  for (int i = 0; i < 3; ++i) camera_.instance.worldMatrix.m[i][i] = 0x10000;
  ASSERT_EQ(Draw(), 1);
  const GpuMatrix atOrigin = wvp();
  instance_.world.x = 1000;
  ASSERT_EQ(Draw(), 1);
  // 1000 units along x at the scene scale of 1, through the camera's projection.
  EXPECT_FLOAT_EQ(wvp().m[3][0] - atOrigin.m[3][0], 1000.0f * CameraProjectionMatrix(&camera_).m[0][0]);

  // The renderer's current projection, with the depth terms a part was given, wins over the
  // camera's own.
  GpuMatrix projection = CameraProjectionMatrix(&camera_);
  projection.m[2][2] = 2.0f;
  projection.m[3][2] = -3.0f;
  GpuMatrix* saved = gRenderMatrices.projection;
  gRenderMatrices.projection = &projection;
  instance_.world.x = 0;
  ASSERT_EQ(Draw(), 1);
  EXPECT_FLOAT_EQ(wvp().m[3][2], -3.0f);
  gRenderMatrices.projection = saved;
}

TEST_F(InstanceParts, LensFlareMembersDrawWithThePlainEffects) {
  world_.WriteLoose("shader/3_0/effects.fb", kEffect);
  set_.partCount = 1;
  SceneRecord flares{}, other{};
  InstanceRecord parent{};
  struct Case {
    const char* what;
    SceneRecord* lensFlareScene;
    SceneRecord* scene;
    InstanceRecord* parent;
    const char* effect;
  };
  const Case kCases[] = {
      {"a lens-flare member", &flares, &flares, nullptr, "effects"},
      {"a child of one", &flares, nullptr, &parent, "effects"},
      {"a member of another scene", &flares, &other, nullptr, "standard_lighting"},
      {"no lens-flare scene yet", nullptr, nullptr, nullptr, "standard_lighting"},
  };
  parent.scene = &flares;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    gEngine3D->lensFlareScene = c.lensFlareScene;
    instance_.scene = c.scene;
    instance_.parent = c.parent;
    PartReleaseMaterial(&set_.parts[0]);
    EXPECT_EQ(Draw(), 1);
    EXPECT_EQ(set_.parts[0].material.normalEffect, EffectGetOrLoad(c.effect, 0)->effects[0]);
  }
  gEngine3D->lensFlareScene = nullptr;
}

// Every texture parameter, the glow values, two lighting ramps (only the first is bound) and
// t_NormalizeTex1 (never bound).
const char kTextureEffect[] = R"(param texture t_DiffuseTexture
param texture t_BumpTexture
param texture t_SpecularTexture
param texture t_OcclusionTexture
param texture t_LightMapTexture
param texture t_CubeMapTexture
param texture t_DetailTexture
param float p_DetailMapBlendWeight
param texture t_NormalizeTex0
param texture t_NormalizeTex1
param texture t_POW_Tex
param texture t_Derive_ZTex
param texture t_zhuul_LightingTex
param texture t_Race_Lighting
param bool g_AlphaBlendEnable
param bool g_ALPHATESTENABLE
param bool g_ZWriteEnable
param int g_SrcBlend
param int g_DestBlend
param float g_AlphaValue
param int g_ColorWriteEnable
param float g_EnableGlow
technique DEFAULT
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0); }
end
fragment
// g_AlphaBlendEnable g_ALPHATESTENABLE g_ZWriteEnable g_SrcBlend g_DestBlend g_AlphaValue g_ColorWriteEnable
void main() { gpu_FragColor = vec4(g_EnableGlow); }
end
technique BUMPMAP_LOW
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0); }
end
fragment
// g_AlphaBlendEnable g_ALPHATESTENABLE g_ZWriteEnable g_SrcBlend g_DestBlend g_AlphaValue g_ColorWriteEnable
void main() { gpu_FragColor = vec4(g_EnableGlow); }
end
)";

// Texture ids 0..9 of the table: 4, 5, 6 and 8 loaded (8 is the environment stand-in picture). Every lookup image slot holds its own texture.
class InstanceTextures : public InstanceParts {
 protected:
  static constexpr int32_t kLoaded = 4, kOther = 5, kCube = 6, kEnvStandIn = 8;
  static constexpr int32_t kMissing = 12;  // beyond the table

  void SetUp() override {
    InstanceParts::SetUp();
    world_.WriteLoose("shader/3_0/standard_lighting.fb", kTextureEffect);
    set_.partCount = 1;
    block_.d3dFlags |= 0x100;  // textures on
    world_.block()->d3dFlags |= 0x100;
    gTextureFixedCount = 0;
    gTextureAddedCount = 10;
    ASSERT_FALSE(AllocTextureTable());
    PixelFormatDesc desc{};
    desc.kind = kFormatKindBits;
    desc.bitsPerPixel = 32;
    StorePixelFormatDesc(1, desc);
    for (int i = 0; i < kImages; ++i) {
      ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &textures_[i]), kGpuOk);
      images_[i].deviceTexture = textures_[i];
    }
    for (int slot = 0; slot < kLookupImageSlots; ++slot) gLookupImages[slot] = &images_[slot];
    SetTextureName(kCube, "ships\\hull_cube");  // naming drops a loaded image: names first
    SetTextureName(kEnvStandIn, "effects\\others\\envmap_test");
    for (int32_t id : {kLoaded, kOther, kCube, kEnvStandIn}) gTextureTable[id].image = &images_[Id(id)];
    table_[1].textureNumber = kLoaded;
    GpuNullClearLog();
  }
  void TearDown() override {
    EffectTexturesUnbindAll();
    for (int32_t id = 0; id < 10; ++id) gTextureTable[id].image = nullptr;
    FreeTextureTables();
    ClearPixelFormatTable();
    gTextureAddedCount = 0;
    for (DisplaySurface*& image : gLookupImages) image = nullptr;
    for (GpuTexture* t : textures_) t->Release();
    SetPartTextureRemap(nullptr);
    gEnvCubeTexture = nullptr;
    InstanceParts::TearDown();
  }
  // The texture the parameter holds, as the index of its image; -1 for none.
  int Bound(const char* name) {
    GpuBaseTexture* texture = nullptr;
    Effect()->GetTexture(Effect()->GetParameterByName(kGpuxNoHandle, name), &texture);
    if (!texture) return -1;
    texture->Release();
    for (int i = 0; i < kImages; ++i)
      if (textures_[i] == texture) return i;
    return -2;
  }
  static int Id(int32_t id) { return kLookupImageSlots + id; }

  static constexpr int kImages = kLookupImageSlots + 10;
  GpuTexture* textures_[kImages] = {};
  DisplaySurface images_[kImages] = {};
};

TEST_F(InstanceTextures, EachTextureSlotGetsItsTextureOrItsDefaultImage) {
  table_[1].value10 = kMissing;  // a bump texture that cannot be loaded
  ASSERT_EQ(Draw(), 1);
  struct Case {
    const char* parameter;
    int image;
  };
  const Case kCases[] = {
      {"t_DiffuseTexture", Id(kLoaded)},          {"t_BumpTexture", kImageNoneNormalLow},
      {"t_SpecularTexture", kImageNoneWhite},     {"t_OcclusionTexture", kImageNoneOcclDecal},
      {"t_LightMapTexture", kImageNoneBlack},     {"t_CubeMapTexture", kImageNoneEnvi},
      {"t_DetailTexture", kImageNoneBlack},       {"t_NormalizeTex0", kLookupNormalizeSlot},
      {"t_NormalizeTex1", -1},                    {"t_POW_Tex", kLookupPowSlot},
      {"t_Derive_ZTex", kLookupDeriveZSlot},      {"t_zhuul_LightingTex", 1},
      {"t_Race_Lighting", -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.parameter);
    EXPECT_EQ(Bound(c.parameter), c.image);
  }
  // The loaded texture's binding holds its reference; the defaults (id -1) hold none.
  int32_t references = 0;
  for (int32_t id = 0; id < 10; ++id) references += gTextureTable[id].refCount;
  EXPECT_EQ(references, 1);
  EXPECT_EQ(gTextureTable[kLoaded].refCount, 1);

  // A 2.0-class device takes the full flat normal image; an instance without bump mapping gets
  // it even for a loaded bump texture.
  record_.shader20 = 1;
  table_[1].value10 = kOther;
  ASSERT_EQ(Draw(), 1);
  EXPECT_EQ(Bound("t_BumpTexture"), Id(kOther));
  instance_.flags2 = kInst2NoBump;
  ASSERT_EQ(Draw(), 1);
  EXPECT_EQ(Bound("t_BumpTexture"), kImageNoneNormal);
}

int32_t SwapLoadedForOther(int32_t texture, int32_t table) {
  return table == 3 && texture == 4 ? 5 : texture;
}

TEST_F(InstanceTextures, TheRemapTableReplacesTheDiffuseTextureWithItsFlags) {
  SetTextureFlags(kLoaded, 0x100);
  SetPartTextureRemap(SwapLoadedForOther);
  instance_.colorModifierExtra[0] = 3;
  ASSERT_EQ(Draw(), 1);
  EXPECT_EQ(Bound("t_DiffuseTexture"), Id(kOther));
  EXPECT_EQ(TextureGetFlags(kOther) & 0x100, 0x100u);

  instance_.colorModifierExtra[0] = 0;  // no table: the texture itself
  ASSERT_EQ(Draw(), 1);
  EXPECT_EQ(Bound("t_DiffuseTexture"), Id(kLoaded));
}

TEST_F(InstanceTextures, CubeMapsBindDirectlyOrThroughTheEnvironmentStandIn) {
  GpuCubeTexture* live = nullptr;
  ASSERT_EQ(device_->CreateCubeTexture(4, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &live), kGpuOk);
  struct Case {
    const char* what;
    const char* cubeName;
    uint8_t deviceEnvMap;
    bool liveMap, refreshed;
    int image;  // -3: the live cube texture
  };
  const Case kCases[] = {
      {"a plain cube map", "ships\\hull_cube", 1, false, false, Id(kCube)},
      {"no environment maps on the device", "ships\\hull_cube", 0, false, false, kImageNoneEnvi},
      {"envmap_test before the first refresh", "a\\envmap_test_1", 1, true, false, Id(kEnvStandIn)},
      {"envmap_test without a live map", "a\\envmap_test_1", 1, false, true, Id(kEnvStandIn)},
      {"envmap_test with the live map", "a\\envmap_test_1", 1, true, true, -3},
  };
  table_[1].value8 = kCube;  // a cube map without a bump texture
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SetTextureName(kCube, c.cubeName);
    gTextureTable[kCube].image = &images_[Id(kCube)];
    record_.environmentMap = c.deviceEnvMap;
    gEnvCubeTexture = c.liveMap ? live : nullptr;
    gEngine3D->engineFlags = c.refreshed ? kEngineEnvRefreshed : 0;
    ASSERT_EQ(Draw(), 1);
    GpuBaseTexture* texture = nullptr;
    Effect()->GetTexture(Effect()->GetParameterByName(kGpuxNoHandle, "t_CubeMapTexture"), &texture);
    if (c.image == -3) {
      EXPECT_EQ(texture, live);
    } else {
      EXPECT_EQ(Bound("t_CubeMapTexture"), c.image);
    }
    if (texture) texture->Release();
  }
  EffectTexturesUnbindAll();
  gEnvCubeTexture = nullptr;
  live->Release();
}

TEST_F(InstanceTextures, ADiffuseOnlyMaterialBindsNothingElse) {
  table_[1].flags = kMatDiffuseOnly;
  ASSERT_EQ(Draw(), 1);
  EXPECT_EQ(Bound("t_DiffuseTexture"), Id(kLoaded));
  EXPECT_EQ(Bound("t_BumpTexture"), -1);
  EXPECT_EQ(Bound("t_LightMapTexture"), -1);
  EXPECT_EQ(Bound("t_NormalizeTex0"), -1);
}

TEST_F(InstanceTextures, TheLightMapDecidesTheGlowMask) {
  block_.d3dFlags2 |= kD3D2Glow;
  world_.block()->d3dFlags2 |= kD3D2Glow;
  record_.glowFilter = 1;
  struct Case {
    const char* what;
    int32_t lightMap;
    uint32_t flags;
    int32_t colourWrite;
    float glow, alpha;
  };
  const Case kCases[] = {
      {"opaque with a light map", kOther, 0, 15, 1.0f, 1.0f},
      {"blending with a light map", kOther, 0x4, 7, 0.0f, 1.0f},
      {"opaque without one clears the alpha", 0, 0, 15, 0.0f, 0.0f},
      {"alpha-tested without one", 0, 0x1, 7, 0.0f, 1.0f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    table_[1].values345[0] = c.lightMap;
    table_[1].flags = c.flags;
    set_.parts[0].material.blockBuilt = 0;  // the blend flags are recorded with the block
    ASSERT_EQ(Draw(), 1);
    EXPECT_EQ(Int("g_ColorWriteEnable"), c.colourWrite);
    EXPECT_FLOAT_EQ(Float("g_EnableGlow"), c.glow);
    EXPECT_FLOAT_EQ(Float("g_AlphaValue"), c.alpha);
  }
}

TEST(DetailWeight, FadesWithScreenSizeUpToItsLimit) {
  struct Case {
    const char* what;
    int32_t size, distance;
    uint32_t fieldOfView;
    float weight;
  };
  const Case kCases[] = {
      {"at the camera", 0x10000, 0, 0x4000, 0.9f},
      {"no field of view", 0x10000, 100, 0, 0.9f},
      {"near: clamped", 100 * 0x10000, 10, 0x4000, 0.9f},
      {"far: 0.5 x 10 / 100 / tan 45", 10 * 0x10000, 100, 0x4000, 0.05f},
      {"wider than a half turn", 0x10000, 100, 0x9000, 0.9f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR(DetailBlendWeight(c.size, c.distance, c.fieldOfView), c.weight, 1e-6f);
  }
}

}  // namespace
