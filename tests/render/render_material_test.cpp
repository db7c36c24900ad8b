// A part's render material on the null device with real effects: the blend table, the material
// values, filtering and culling, the colour matrix of a parameter list, the depth block, the
// handle cache (missing names cache null), the effect and technique choice, the resolution
// failures that end a draw, and the release of the blocks with their effect references.
#include "render/render_material.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "render/body_part_meshes.h"
#include "render/effect_cache.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_materials.h"
#include "scene/body_records.h"
#include "scene/effect_registry.h"
#include "scene/instance_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

// Every material parameter, a few cached ones, and g_LightPoint with its members; no
// t_SpecularTexture, so that handle must stay null.
const char kMaterialEffect[] = R"(param float g_Brightness = 0
param float g_Contrast = 0
param float g_Saturation = 0
param float g_Hue = 5
param int g_nNumLightPoint = 7
param float4 g_MatEmissiveColor
param float g_MatDiffuseStrength
param float g_MatSpecularStrength
param float g_MatSpecularPower
param float g_MatReflectionStrength
param int g_Wrap = 9
param int g_CullMode = 9
param int g_BlendOp
param bool g_ZEnable
param bool g_ZWriteEnable
param bool g_AlphaBlendEnable
param bool g_ALPHATESTENABLE
param int g_SrcBlend
param int g_DestBlend
param float g_AlphaValue
param int t_MinFilterTypeDiffuse
param int t_FilterTypeDiffuse
param int t_SamplerMaxAnisotropy
param float4x4 g_mWorldViewProjection
param texture t_DiffuseTexture
param float4 g_FogClip
param bool g_EnableFog
param int g_ColorWriteEnable
param float g_EnableGlow
param struct g_LightPoint[10] { float4 pos, float4 color, float4 atten }
technique DEFAULT
pass P
sampler 0 = t_DiffuseTexture
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0); }
end
fragment
// The material values are only set on parameters a pass uses: this one uses them all.
// g_Brightness g_Contrast g_Saturation g_Hue g_nNumLightPoint g_MatEmissiveColor g_MatDiffuseStrength g_MatSpecularStrength g_MatSpecularPower g_MatReflectionStrength g_Wrap g_CullMode g_BlendOp g_ZEnable g_ZWriteEnable g_AlphaBlendEnable g_ALPHATESTENABLE g_SrcBlend g_DestBlend g_AlphaValue t_MinFilterTypeDiffuse t_FilterTypeDiffuse t_SamplerMaxAnisotropy g_mWorldViewProjection t_DiffuseTexture g_FogClip g_EnableFog g_ColorWriteEnable g_EnableGlow g_LightPoint
void main() { gpu_FragColor = vec4(g_AlphaValue) * texture(t_DiffuseTexture, vec2(0.5)); }
end
)";

class RenderMaterial : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    std::string errors;
    ASSERT_EQ(GpuxCreateEffect(device_, kMaterialEffect, sizeof kMaterialEffect - 1, "m.fb", &effect_, &errors),
              kGpuOk)
        << errors;
    std::memset(table_, 0, sizeof table_);
    savedTable_ = gMaterialTable;
    savedCount_ = gMaterialCount;
    gMaterialTable = table_;
    gMaterialCount = 4;
  }
  void TearDown() override {
    PartReleaseMaterial(&part_);
    if (effect_) {
      EXPECT_EQ(effect_->Release(), 0u);  // the part gave back its reference
    }
    gMaterialTable = savedTable_;
    gMaterialCount = savedCount_;
    RenderWorld::TearDown();
  }
  int32_t Int(const char* name) {
    int32_t v = -1;
    effect_->GetInt(effect_->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  float Float(const char* name) {
    float v = -1;
    effect_->GetFloat(effect_->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  int32_t Bool(const char* name) {
    int32_t v = -1;
    effect_->GetBool(effect_->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  PartMaterial TableMaterial(uint32_t flags) {
    table_[1].flags = flags;
    PartMaterial m{};
    m.record = &table_[1];
    m.flags = flags;
    return m;
  }

  GpuxEffect* effect_ = nullptr;
  MaterialRecord table_[4];
  MaterialRecord* savedTable_ = nullptr;
  int16_t savedCount_ = 0;
  RenderPart part_{};
  BodyMesh mesh_{};
};

TEST_F(RenderMaterial, EachBlendRowSetsItsStatesAndMarksThePartSorted) {
  struct Case {
    uint32_t flags;
    int32_t src, dest, zWrite, blend, alphaTest, sorted;
  };
  const Case kCases[] = {
      {0x80, 9, 1, 0, 1, 0, 1}, {0x40, 9, 3, 0, 1, 0, 1},   {0x400, 3, 4, 0, 1, 0, 1}, {0x4, 5, 6, 0, 1, 0, 1},
      {0x3, 5, 6, 0, 0, 0, 1},  {0x2, 2, 2, 0, 1, 0, 1},    {0x82, 9, 1, 0, 1, 0, 1},
      // alpha test alone: drawn opaque, still sorted
      {0x1, 2, 1, 1, 0, 1, 1},
      // no blend bit
      {0x0, 0, 0, 1, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.flags);
    PartReleaseMaterial(&part_);
    const GpuxHandle zero = effect_->GetParameterByName(kGpuxNoHandle, "g_SrcBlend");
    effect_->SetInt(zero, 0);
    effect_->SetInt(effect_->GetParameterByName(kGpuxNoHandle, "g_DestBlend"), 0);
    effect_->SetBool(effect_->GetParameterByName(kGpuxNoHandle, "g_ALPHATESTENABLE"), 0);
    const PartMaterial m = TableMaterial(c.flags);
    ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
    EXPECT_EQ(Int("g_SrcBlend"), c.src);
    EXPECT_EQ(Int("g_DestBlend"), c.dest);
    EXPECT_EQ(Bool("g_ZWriteEnable"), c.zWrite);
    EXPECT_EQ(Bool("g_AlphaBlendEnable"), c.blend);
    EXPECT_EQ(Bool("g_ALPHATESTENABLE"), c.alphaTest);
    EXPECT_EQ(part_.material.sorted, c.sorted);
    EXPECT_FLOAT_EQ(Float("g_AlphaValue"), 1.0f);
    EXPECT_EQ(part_.material.blockBuilt, 1);
  }
}

TEST_F(RenderMaterial, TableValuesCullingWrapAndFilteringComeFromTheRecord) {
  table_[1].shininess = 0;
  table_[1].specular[0] = 255;
  table_[1].diffuse[0] = table_[1].diffuse[1] = table_[1].diffuse[2] = 255;
  table_[1].value9 = 10;
  PartMaterial m = TableMaterial(0x10 | 0x100);
  m.cubeMap = 3;
  mesh_.flags = kBodyMeshWrap;
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  EXPECT_FLOAT_EQ(Float("g_MatSpecularPower"), 30.0f);  // shininess 0
  EXPECT_FLOAT_EQ(Float("g_MatSpecularStrength"), 1.0f);
  EXPECT_FLOAT_EQ(Float("g_MatDiffuseStrength"), 1.0f);
  EXPECT_FLOAT_EQ(Float("g_MatReflectionStrength"), 0.4f);
  EXPECT_EQ(Int("g_CullMode"), 1);
  EXPECT_EQ(Int("g_Wrap"), 3);
  EXPECT_EQ(Int("g_nNumLightPoint"), 0);
  EXPECT_EQ(Int("t_MinFilterTypeDiffuse"), 1);  // point filtering
  EXPECT_EQ(Int("t_FilterTypeDiffuse"), 1);
  EXPECT_FLOAT_EQ(Float("g_Hue"), 0.0f);
  EXPECT_FLOAT_EQ(Float("g_Brightness"), 1.0f);

  // The block replays onto a changed effect; an anisotropic device filters with its level.
  PartReleaseMaterial(&part_);
  record_.anisotropic = 1;
  record_.anisotropyLevel = 8;
  table_[1].shininess = 4;
  m = TableMaterial(0);
  mesh_.flags = 0;
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  effect_->SetInt(effect_->GetParameterByName(kGpuxNoHandle, "g_CullMode"), 9);
  ASSERT_EQ(effect_->ApplyParameterBlock(part_.material.normalBlock), kGpuOk);
  EXPECT_EQ(Int("g_CullMode"), 3);
  EXPECT_EQ(Int("g_Wrap"), 0);
  EXPECT_FLOAT_EQ(Float("g_MatSpecularPower"), 5.0f);
  EXPECT_FLOAT_EQ(Float("g_MatReflectionStrength"), 0.0f);  // no cube map
  EXPECT_EQ(Int("t_MinFilterTypeDiffuse"), 3);
  EXPECT_EQ(Int("t_SamplerMaxAnisotropy"), 8);
}

TEST_F(RenderMaterial, AParameterListAppliesItsValuesAndAColourMatrixOfZeroEndsNeutral) {
  EffectParamList* list = NewEffectParamList(0, "standard_lighting");
  list->items.push_back(NewEffectParamFloat("g_Hue", 90.0f));
  list->items.push_back(NewEffectParamFloat("g_Saturation", 3.0f));
  list->items.push_back(NewEffectParamInt("g_CullMode", 2));
  list->items.push_back(NewEffectParamInt("g_ALPHATESTENABLE", 1));
  list->items.push_back(NewEffectParamInt("I_Skipped", 1));
  list->items.push_back(NewEffectParamInt("t_FilterTypeDiffuse", 7));
  EffectParamRecord* matrix = NewEffectParamInt("colormatrix", 0);
  matrix->kind = kParamBool;
  list->items.push_back(matrix);
  PartMaterial m{};
  m.params = list;
  m.colorMatrix = true;
  m.colorMatrixOn = false;
  effect_->SetBool(effect_->GetParameterByName(kGpuxNoHandle, "g_AlphaBlendEnable"), 1);
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  EXPECT_FLOAT_EQ(Float("g_Hue"), 0.0f);
  EXPECT_FLOAT_EQ(Float("g_Saturation"), 1.0f);
  EXPECT_EQ(Int("g_CullMode"), 3);
  EXPECT_EQ(Int("t_FilterTypeDiffuse"), 2);
  EXPECT_EQ(Bool("g_ALPHATESTENABLE"), 1);
  EXPECT_EQ(Bool("g_AlphaBlendEnable"), 0);
  EXPECT_EQ(Bool("g_ZWriteEnable"), 1);

  // With the matrix on, the list's colours stay.
  PartReleaseMaterial(&part_);
  m.colorMatrixOn = true;
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  EXPECT_FLOAT_EQ(Float("g_Hue"), 90.0f);
  FreeEffectParamList(list);
}

TEST_F(RenderMaterial, AListsTextureSwitchesSetTheTexturesFlags) {
  gTextureFixedCount = 0;
  gTextureAddedCount = 8;
  ASSERT_FALSE(AllocTextureTable());
  struct Case {
    const char* name;
    int32_t value;
    int32_t texture;
    uint32_t bit;
    bool on;
  };
  const Case kCases[] = {
      {"diffcompression", 0, 1, 0x8000, true},  // no compression: best quality
      {"bumpcompression", 1, 2, 0x8000, false},
      {"speccompression", 0, 3, 0x8000, true},
      {"lightcompression", 0, 4, 0x8000, true},
      {"autofree", 1, 5, 0x80000, true},
  };
  EffectParamList* list = NewEffectParamList(0, "standard_lighting");
  for (const Case& c : kCases) {
    EffectParamRecord* r = NewEffectParamInt(c.name, c.value);
    r->kind = kParamBool;
    list->items.push_back(r);
  }
  for (int32_t id = 1; id <= 5; ++id) SetTextureFlags(id, 0x1 | (id == 2 ? 0x8000 : 0));
  PartMaterial m{};
  m.params = list;
  m.diffuse = 1, m.bump = 2, m.specular = 3, m.lightMap = 4, m.cubeMap = 5;
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ((TextureGetFlags(c.texture) & c.bit) != 0, c.on);
    EXPECT_EQ(TextureGetFlags(c.texture) & 0x1, 0x1u);
  }
  // "autofree" reaches every texture of the part.
  EXPECT_EQ(TextureGetFlags(1) & 0x80000, 0x80000u);
  FreeEffectParamList(list);
  FreeTextureTables();
  gTextureAddedCount = 0;
}

TEST_F(RenderMaterial, HandlesAreCachedAndMissingOnesStayNull) {
  const PartMaterial m = TableMaterial(0);
  ASSERT_TRUE(PartBuildNormalBlock(&part_, effect_, &m, &mesh_));
  const PartMaterialState& s = part_.material;
  EXPECT_EQ(s.handles[kHSpecularTexture], kGpuxNoHandle);
  EXPECT_EQ(s.handles[kHWorld], kGpuxNoHandle);
  EXPECT_NE(s.handles[kHDiffuseTexture], kGpuxNoHandle);
  EXPECT_NE(s.handles[kHAlphaValue], kGpuxNoHandle);
  for (int n = 0; n < kLightPointElements; ++n) {
    for (int k = 0; k < kLightMemberCount; ++k) EXPECT_NE(s.lightPoint[n][k], kGpuxNoHandle) << n << " " << k;
  }
  EXPECT_NE(s.lightPoint[0][kLightPos], s.lightPoint[1][kLightPos]);

  // Depth block: culling and wrap of a two-sided wrapping material, and its two handles.
  const PartMaterial two = TableMaterial(0x10);
  mesh_.flags = kBodyMeshWrap;
  ASSERT_TRUE(PartBuildDepthBlock(&part_, effect_, &two, &mesh_));
  EXPECT_EQ(Int("g_CullMode"), 1);
  EXPECT_EQ(Int("g_Wrap"), 3);
  EXPECT_NE(part_.material.depthBlock, kGpuxNoHandle);
  EXPECT_NE(part_.material.depthWorldViewProjection, kGpuxNoHandle);
  EXPECT_NE(part_.material.depthDiffuseTexture, kGpuxNoHandle);
}

TEST_F(RenderMaterial, ResolutionEndsTheDrawOnUnresolvedIndicesAndTextures) {
  table_[2].textureNumber = 12;
  table_[2].value8 = 3;
  table_[2].value10 = 0;
  table_[3].textureNumber = 44;
  TexAnimState states[1]{};
  states[0].anim = 5;
  states[0].texture = 2;
  InstanceRecord instance{};
  instance.texAnimCount = 1;
  instance.texAnims = states;
  struct Case {
    const char* what;
    int32_t index;
    int32_t mode;
    int32_t result, diffuse, cube;
  };
  const Case kCases[] = {
      {"table record", 2, 0, 1, 12, 3},
      {"index beyond the table", 4, 0, 0, 0, 0},
      {"animation state names a table record", -5, 0, 1, 2, 3},
      {"no such animation state", -6, 0, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    RenderPart part{};
    part.materialIndex = c.index;
    PartMaterial m{};
    EXPECT_EQ(PartResolveMaterial(&mesh_, &part, &instance, c.mode, &m), c.result);
    if (c.result) {
      EXPECT_EQ(m.diffuse, c.diffuse);
      EXPECT_EQ(m.cubeMap, c.cube);
    }
  }
}

class RenderMaterialChoice : public RenderMaterial {
 protected:
  void SetUp() override {
    RenderMaterial::SetUp();
    gSystem = world_.block();
  }
  void TearDown() override {
    FreeEffectRegistry();
    RenderMaterial::TearDown();
  }
  EngineFixture engine_;
  CatalogWorld world_;
};

TEST_F(RenderMaterialChoice, EffectsAndTechniquesFollowThePassTheListAndTheFlags) {
  world_.WriteLoose("shader/3_0/standard_lighting.fb", kMaterialEffect);
  world_.WriteLoose("shader/3_0/glass2s.fb", kMaterialEffect);
  world_.WriteLoose("shader/3_0/glass.fb", kMaterialEffect);
  world_.WriteLoose("shader/3_0/z_only.fb", kMaterialEffect);
  InstanceRecord instance{};
  PartEffectChoice choice{};

  PartMaterial table = TableMaterial(0x10);
  table.bump = 4;
  ASSERT_TRUE(PartChooseEffect(&table, &instance, false, &choice));
  EXPECT_STREQ(choice.object->name, "standard_lighting");
  EXPECT_EQ(choice.effect, choice.object->effects[1]);  // two-sided: variant 1
  EXPECT_STREQ(choice.technique, "BUMPMAP_LOW");
  instance.flags2 = kInst2NoBump;
  ASSERT_TRUE(PartChooseEffect(&table, &instance, false, &choice));
  EXPECT_STREQ(choice.technique, "DEFAULT");
  EXPECT_FALSE(PartChooseEffect(&table, &instance, true, &choice));  // no "effects" file: skipped

  instance.flags2 = kInst2DepthPass;
  table.alphaTested = true;
  ASSERT_TRUE(PartChooseEffect(&table, &instance, false, &choice));
  EXPECT_STREQ(choice.object->name, "z_only");
  EXPECT_STREQ(choice.technique, "Z_Only_Alpha");

  instance.flags2 = 0;
  EffectParamList* list = NewEffectParamList(0, "glass");
  PartMaterial listed{};
  listed.params = list;
  listed.twoSided = true;
  listed.bump = 2;
  ASSERT_TRUE(PartChooseEffect(&listed, &instance, false, &choice));
  EXPECT_STREQ(choice.object->name, "glass2s");
  EXPECT_STREQ(choice.technique, "BUMPMAP");
  list->name = "max_standard_lighting";  // no "2s" file: the plain name
  ASSERT_TRUE(PartChooseEffect(&listed, &instance, false, &choice));
  EXPECT_STREQ(choice.object->name, "standard_lighting");
  FreeEffectParamList(list);
}

}  // namespace
