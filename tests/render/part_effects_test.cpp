// The part-drawing effects the demo ships ("standard_lighting", "effects", "z_only"): each
// parses, offers the techniques the part drawing asks for and every parameter the material
// builder and the part drawing set, with the type they set; the lit ones use every material value
// the builder records (a value no pass uses is never recorded); on the OpenGL device every
// technique builds and validates.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gpu_effect.h"
#include "platform/gpu_effect_file.h"
#include "render/render_material.h"
#include "support/gpu_fixture.h"

namespace {

std::string ReadShipped(const char* name) {
  const std::filesystem::path path = std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/shaders" / name;
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Shipped {
  const char* file;
  std::vector<const char*> techniques;
  bool material;  // offers the builder's and the part drawing's parameters
};
const Shipped kShipped[] = {
    {"standard_lighting.fb", {"DEFAULT", "BUMPMAP", "BUMPMAP_LOW"}, true},
    {"effects.fb", {"DEFAULT", "BUMPMAP_LOW"}, true},
    {"z_only.fb", {"Z_Only_Alpha", "Z_Only_Fast"}, false},
};

struct Typed {
  const char* name;
  GpuxFbType type;
};
// What the builder and the drawing set, with the type they set it as.
const Typed kMaterialTypes[] = {
    {"g_Brightness", kGpuxFbFloat}, {"g_Contrast", kGpuxFbFloat}, {"g_Saturation", kGpuxFbFloat},
    {"g_Hue", kGpuxFbFloat}, {"g_nNumLightPoint", kGpuxFbInt}, {"g_MatEmissiveColor", kGpuxFbFloat4},
    {"g_MatDiffuseStrength", kGpuxFbFloat}, {"g_MatSpecularStrength", kGpuxFbFloat},
    {"g_MatSpecularPower", kGpuxFbFloat}, {"g_MatReflectionStrength", kGpuxFbFloat}, {"g_Wrap", kGpuxFbInt},
    {"g_CullMode", kGpuxFbInt}, {"g_BlendOp", kGpuxFbInt}, {"g_ZEnable", kGpuxFbBool},
    {"g_ZWriteEnable", kGpuxFbBool}, {"g_AlphaBlendEnable", kGpuxFbBool}, {"g_ALPHATESTENABLE", kGpuxFbBool},
    {"g_SrcBlend", kGpuxFbInt}, {"g_DestBlend", kGpuxFbInt}, {"g_SrcBlendAlpha", kGpuxFbInt},
    {"g_DestBlendAlpha", kGpuxFbInt}, {"g_SeparateAlphaBlend", kGpuxFbBool}, {"g_AlphaValue", kGpuxFbFloat},
    {"g_ColorWriteEnable", kGpuxFbInt}, {"g_EnableGlow", kGpuxFbFloat}, {"t_MinFilterTypeDiffuse", kGpuxFbInt},
    {"t_FilterTypeDiffuse", kGpuxFbInt}, {"t_SamplerMaxAnisotropy", kGpuxFbInt}, {"g_mWorld", kGpuxFbFloat4x4},
    {"g_mWorldIT", kGpuxFbFloat4x4}, {"g_mWorldViewProjection", kGpuxFbFloat4x4},
    {"g_mViewInverse", kGpuxFbFloat4x4}, {"g_TexMatrix", kGpuxFbFloat4x4}, {"LightDir_Dir0", kGpuxFbFloat4},
    {"LightDir_Color0", kGpuxFbFloat4}, {"LightDir_Dir1", kGpuxFbFloat4}, {"LightDir_Color1", kGpuxFbFloat4},
    {"g_LightAmbientIntensity", kGpuxFbFloat4}, {"g_FogClip", kGpuxFbFloat4}, {"g_EnableFog", kGpuxFbBool},
    {"g_bIsDecalMap", kGpuxFbBool}, {"p_DetailMapBlendWeight", kGpuxFbFloat},
    {"t_CubeMapTexture", kGpuxFbTextureCube}, {"t_NormalizeTex0", kGpuxFbTextureCube},
    {"t_NormalizeTex1", kGpuxFbTextureCube},
};
// Set by the material builder through parameter records: only a used parameter is recorded.
const char* const kRecordedValues[] = {
    "g_Brightness", "g_Contrast", "g_Saturation", "g_Hue", "g_MatEmissiveColor", "g_MatDiffuseStrength",
    "g_CullMode", "g_ZWriteEnable", "g_AlphaBlendEnable", "g_ALPHATESTENABLE", "g_SrcBlend", "g_DestBlend",
    "g_AlphaValue", "t_MinFilterTypeDiffuse", "t_FilterTypeDiffuse", "t_SamplerMaxAnisotropy",
};

const GpuxFbParam* Find(const GpuxFbEffect& effect, const std::string& name) {
  for (const GpuxFbParam& p : effect.params)
    if (p.name == name) return &p;
  return nullptr;
}

TEST(PartEffects, OfferTheTechniquesAndParametersThePartDrawingSets) {
  for (const Shipped& s : kShipped) {
    SCOPED_TRACE(s.file);
    const std::string text = ReadShipped(s.file);
    GpuxFbEffect effect;
    std::string error;
    ASSERT_TRUE(GpuxParseEffectFile(text.data(), text.size(), &effect, &error)) << error;
    for (const char* t : s.techniques) {
      bool found = false;
      for (const GpuxFbTechnique& technique : effect.techniques) found |= technique.name == t;
      EXPECT_TRUE(found) << t;
    }
    if (!s.material) {
      for (const char* name : {"g_mWorldViewProjection", "t_DiffuseTexture", "g_CullMode", "g_Wrap"}) {
        EXPECT_NE(Find(effect, name), nullptr) << name;
      }
      continue;
    }
    for (int32_t i = 0; i < kPartHandleCount; ++i) {
      EXPECT_NE(Find(effect, kPartHandleNames[i]), nullptr) << kPartHandleNames[i];
    }
    for (const Typed& t : kMaterialTypes) {
      const GpuxFbParam* p = Find(effect, t.name);
      ASSERT_NE(p, nullptr) << t.name;
      EXPECT_EQ(p->type, t.type) << t.name;
    }
    const GpuxFbParam* lights = Find(effect, "g_LightPoint");
    ASSERT_NE(lights, nullptr);
    EXPECT_EQ(lights->elements, 10u);
    ASSERT_EQ(lights->members.size(), 3u);
    EXPECT_EQ(lights->members[0].name, "pos");
    EXPECT_EQ(lights->members[1].name, "color");
    EXPECT_EQ(lights->members[2].name, "atten");
  }
}

class PartEffectsOnDevice : public GpuDeviceFixture {};

TEST_F(PartEffectsOnDevice, EveryTechniqueBuildsAndUsesTheRecordedValues) {
  for (GpuBackend backend : {kGpuBackendNull, kGpuBackendOpenGl}) {
    SCOPED_TRACE(backend == kGpuBackendNull ? "null device" : "OpenGL device");
    ASSERT_TRUE(Open(backend));
    for (const Shipped& s : kShipped) {
      SCOPED_TRACE(s.file);
      const std::string text = ReadShipped(s.file);
      GpuxEffect* effect = nullptr;
      std::string errors;
      ASSERT_EQ(GpuxCreateEffect(device_, text.data(), text.size(), s.file, &effect, &errors), kGpuOk) << errors;
      for (const char* name : s.techniques) {
        SCOPED_TRACE(name);
        const GpuxHandle technique = effect->GetTechniqueByName(name);
        EXPECT_EQ(effect->ValidateTechnique(technique), kGpuOk);
        if (!s.material) continue;
        for (const char* value : kRecordedValues) {
          EXPECT_TRUE(effect->IsParameterUsed(effect->GetParameterByName(kGpuxNoHandle, value), technique)) << value;
        }
      }
      effect->Release();
    }
    Close();
  }
}

}  // namespace
