// The part-drawing effects the demo ships ("standard_lighting", "effects", "z_only"): each
// parses, offers the techniques the part drawing asks for and every parameter the material
// builder and the part drawing set, with the type they set; the lit ones use every material value
// the builder records (a value no pass uses is never recorded); on the OpenGL device every
// technique builds and validates, and the lit effect writes the glow mask into the target's
// alpha as the glow output asks.
#include <gtest/gtest.h>

#include <cstring>
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

// The lit effect draws a quad over an A8R8G8B8 target cleared to alpha 0x80, with a white light
// map: the glow output decides what reaches the alpha channel.
TEST_F(PartEffectsOnDevice, TheGlowMaskReachesTheTargetsAlpha) {
  ASSERT_TRUE(Open(kGpuBackendOpenGl));
  const std::string text = ReadShipped("standard_lighting.fb");
  GpuxEffect* effect = nullptr;
  std::string errors;
  ASSERT_EQ(GpuxCreateEffect(device_, text.data(), text.size(), "standard_lighting.fb", &effect, &errors), kGpuOk)
      << errors;
  GpuTexture* white = nullptr;
  ASSERT_EQ(device_->CreateTexture(1, 1, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &white), kGpuOk);
  GpuLockedRect locked{};
  ASSERT_EQ(white->LockRect(0, &locked, nullptr, 0), kGpuOk);
  const uint32_t texel = 0xFFFFFFFFu;
  std::memcpy(locked.bits, &texel, 4);
  white->UnlockRect(0);
  GpuSurface* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(64, 64, kGpuFmtA8R8G8B8, 0, 0, 0, &target), kGpuOk);
  GpuSurface* previous = nullptr;
  ASSERT_EQ(device_->GetRenderTarget(0, &previous), kGpuOk);
  ASSERT_EQ(device_->SetRenderTarget(0, target), kGpuOk);
  const GpuVertexElement elements[] = {
      {0, 0, kGpuDeclTypeFloat3, kGpuDeclMethodDefault, kGpuDeclUsagePosition, 0},
      {0, 12, kGpuDeclTypeFloat4, kGpuDeclMethodDefault, kGpuDeclUsageTexCoord, 0},
      {0, 28, kGpuDeclTypeFloat3, kGpuDeclMethodDefault, kGpuDeclUsageNormal, 0},
      kGpuDeclEnd};
  GpuVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  // Position, both texture coordinates, normal: a clip-space quad facing the viewer.
  const float quad[] = {-1, -1, 0.5f, 0, 0, 0, 0, 0, 0, 1, -1, 1, 0.5f, 0, 1, 0, 1, 0, 0, 1,
                        1, -1, 0.5f, 1, 0, 1, 0, 0, 0, 1, 1, 1, 0.5f, 1, 1, 1, 1, 0, 0, 1};
  auto param = [effect](const char* name) { return effect->GetParameterByName(kGpuxNoHandle, name); };
  GpuMatrix identity;
  GpuxMatrixIdentity(&identity);
  for (const char* m : {"g_mWorld", "g_mWorldIT", "g_mWorldViewProjection", "g_mViewInverse"}) {
    effect->SetMatrix(param(m), &identity);
  }
  effect->SetInt(param("g_CullMode"), 1);
  effect->SetBool(param("g_ZEnable"), 0);
  effect->SetTexture(param("t_LightMapTexture"), white);
  struct Case {
    const char* what;
    int32_t colourWrite;
    float glow, alphaValue;
    uint32_t alpha;
  };
  const Case kCases[] = {
      {"glowing part", 15, 1.0f, 1.0f, 0xFF},
      {"opaque part without a light map clears the mask", 15, 0.0f, 0.0f, 0x00},
      {"colour only leaves the alpha", 7, 1.0f, 1.0f, 0x80},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    effect->SetInt(param("g_ColorWriteEnable"), c.colourWrite);
    effect->SetFloat(param("g_EnableGlow"), c.glow);
    effect->SetFloat(param("g_AlphaValue"), c.alphaValue);
    ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0x80000000, 1.0f, 0), kGpuOk);
    ASSERT_EQ(device_->BeginScene(), kGpuOk);
    device_->SetVertexDeclaration(declaration);
    effect->SetTechnique(effect->GetTechniqueByName("DEFAULT"));
    uint32_t passes = 0;
    ASSERT_EQ(effect->Begin(&passes, kGpuxFxDoNotSaveState), kGpuOk);
    ASSERT_EQ(effect->BeginPass(0), kGpuOk);
    ASSERT_EQ(device_->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, quad, 40), kGpuOk);
    effect->EndPass();
    effect->End();
    device_->EndScene();
    GpuSurface* copy = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(64, 64, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &copy), kGpuOk);
    ASSERT_EQ(device_->GetRenderTargetData(target, copy), kGpuOk);
    GpuLockedRect pixels{};
    ASSERT_EQ(copy->LockRect(&pixels, nullptr, kGpuLockReadOnly), kGpuOk);
    uint32_t v = 0;
    std::memcpy(&v, static_cast<uint8_t*>(pixels.bits) + 32 * pixels.pitch + 32 * 4, 4);
    EXPECT_EQ(v >> 24, c.alpha);
    copy->UnlockRect();
    copy->Release();
  }
  device_->SetRenderTarget(0, previous);
  previous->Release();
  target->Release();
  declaration->Release();
  effect->Release();
  white->Release();
}

}  // namespace
