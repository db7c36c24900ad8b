// Bloom, the screen tint and the screen overlay: no device call with bloom off, each pass of a
// test "bloom" drawn into the target its annotation names (the back buffer without one), fresh
// handles for a reloaded "bloom", glow maps of half an odd back buffer, a tint of alpha 0 drawing
// nothing, an overlay looked up once per name and tiling (null device); and on the OpenGL device
// the nearly transparent tint changing only its viewport's pixels, by at most one level, and the
// demo's own "bloom" adding the glow of the marked pixels.
#include "render/screen_effects.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/camera_records.h"
#include "scene/effect_registry.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

// Four passes: into glow map 1, a name that is no map (keeps glow map 1), into glow map 2, and
// the last without annotation into the back buffer.
std::string TestBloom(const char* extraParams = "") {
  std::string text = extraParams;
  text += "param texture t_SceneMap\nparam texture t_GlowMap1\nparam texture t_GlowMap2\nparam float4 ViewPortSize\n";
  text += "technique DEFAULT\n";
  const char* kTargets[] = {"t_GlowMap1", "t_Elsewhere", "t_GlowMap2", nullptr};
  for (int p = 0; p < 4; ++p) {
    text += "pass P" + std::to_string(p) + "\n";
    if (kTargets[p]) text += std::string("annotation string RenderColorTarget0 = \"") + kTargets[p] + "\"\n";
    text += "sampler 0 = t_SceneMap\nvertex\nlayout(location = GPU_ATTR_POSITION) in vec4 inPosition;\n"
            "void main() { gl_Position = inPosition; }\nend\n"
            "fragment\nvoid main() { gpu_FragColor = ViewPortSize; }\nend\n";
  }
  return text;
}

std::string ShippedEffect(const char* name) {
  std::ifstream in(std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/shaders" / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ScreenEffects : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = world_.block();
    world_.WriteLoose("shader/3_0/bloom.fb", TestBloom());
    record_.glowFilter = 1;
    gSystem->d3dFlags2 |= kD3D2Glow;
    GpuNullClearLog();
  }
  void TearDown() override {
    BloomReleaseTargets();
    FreeEffectRegistry();
    RenderWorld::TearDown();
  }

  // The log's name of a surface (or of a texture's top level).
  std::string NameOf(GpuSurface* surface) {
    GpuNullClearLog();
    device_->ColorFill(surface, nullptr, 0);
    const std::string line = GpuNullLog().back();
    return line.substr(line.find('(') + 1, line.find(',') - line.find('(') - 1);
  }
  std::string NameOf(GpuTexture* texture) {
    GpuSurface* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    std::string name = NameOf(level);
    level->Release();
    return name;
  }
  std::vector<std::string> Lines(const char* prefix) {
    std::vector<std::string> out;
    for (const std::string& line : GpuNullLog())
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }
  GpuVector4 ViewPortSize() {
    GpuxEffect* effect = EffectGetOrLoad("bloom", 0)->effects[0];
    GpuVector4 v{-1, -1, -1, -1};
    effect->GetVector(effect->GetParameterByName(kGpuxNoHandle, "ViewPortSize"), &v);
    return v;
  }

  EngineFixture engine_;
  CatalogWorld world_;
};

TEST_F(ScreenEffects, BloomOffMakesNoDeviceCall) {
  BloomCreateTargets();
  struct Case {
    uint32_t flags2;
    uint8_t glowFilter;
  };
  const Case kCases[] = {{0, 1}, {kD3D2Glow, 0}};
  for (const Case& c : kCases) {
    gSystem->d3dFlags2 = c.flags2;
    record_.glowFilter = c.glowFilter;
    GpuNullClearLog();
    RenderBloom();
    EXPECT_TRUE(GpuNullLog().empty()) << GpuNullLog().front();
  }
  gSystem->d3dFlags2 = kD3D2Glow;
  record_.glowFilter = 1;
  BloomReleaseTargets();
  GpuNullClearLog();
  RenderBloom();
  EXPECT_TRUE(GpuNullLog().empty()) << "no targets";
}

TEST_F(ScreenEffects, EachPassDrawsIntoItsAnnotatedTargetAndTheLastIntoTheBackBuffer) {
  BloomCreateTargets();
  const std::string scene = NameOf(gBloomTargets.sceneMap);
  const std::string glow1 = NameOf(gBloomTargets.glowMap1);
  const std::string glow2 = NameOf(gBloomTargets.glowMap2);
  GpuNullClearLog();
  RenderBloom();
  EXPECT_EQ(Lines("StretchRect"), std::vector<std::string>{"StretchRect(backbuffer, " + scene + ", 2)"});
  const std::vector<std::string> kTargets = {
      "SetRenderTarget(0, " + glow1 + ")", "SetRenderTarget(0, " + glow1 + ")", "SetRenderTarget(0, " + glow2 + ")",
      "SetRenderTarget(0, backbuffer)",
      "SetRenderTarget(0, backbuffer)",  // given back at the end
  };
  EXPECT_EQ(Lines("SetRenderTarget"), kTargets);
  EXPECT_EQ(Lines("DrawPrimitive(").size(), 4u);
  EXPECT_EQ(Lines("DrawPrimitive(").front(), "DrawPrimitive(5, 0, 2)");
  const std::vector<std::string> depth = Lines("SetDepthStencilSurface");
  ASSERT_EQ(depth.size(), 2u);
  EXPECT_EQ(depth.front(), "SetDepthStencilSurface(null)");
  EXPECT_NE(depth.back(), "SetDepthStencilSurface(null)") << "the depth surface comes back";
  const GpuVector4 size = ViewPortSize();
  EXPECT_EQ(size.x, 64.0f);
  EXPECT_EQ(size.y, 64.0f);
}

TEST_F(ScreenEffects, AReloadedBloomGetsFreshHandles) {
  BloomCreateTargets();
  RenderBloom();
  // The same effect with other parameters in front: the old handles would name those.
  FreeEffectRegistry();
  world_.WriteLoose("shader/3_0/bloom.fb", TestBloom("param float4 g_A\nparam float4 g_B\nparam float4 g_C\n"));
  GpuNullClearLog();
  RenderBloom();
  EXPECT_EQ(Lines("DrawPrimitive(").size(), 4u);
  EXPECT_EQ(ViewPortSize().x, 64.0f);
  GpuxEffect* effect = EffectGetOrLoad("bloom", 0)->effects[0];
  GpuVector4 a{-1, -1, -1, -1};
  effect->GetVector(effect->GetParameterByName(kGpuxNoHandle, "g_A"), &a);
  EXPECT_EQ(a.x, 0.0f) << "a stale handle wrote the viewport size into another parameter";
}

TEST_F(ScreenEffects, GlowMapsAreHalfTheBackBufferInWholePixels) {
  record_.presentParameters.backBufferWidth = 63;
  record_.presentParameters.backBufferHeight = 47;
  BloomCreateTargets();
  GpuSurfaceDesc desc{};
  ASSERT_EQ(gBloomTargets.sceneMap->GetLevelDesc(0, &desc), kGpuOk);
  EXPECT_EQ(desc.width, 63u);
  ASSERT_EQ(gBloomTargets.glowMap1->GetLevelDesc(0, &desc), kGpuOk);
  EXPECT_EQ(desc.width, 31u);
  EXPECT_EQ(desc.height, 23u);
  ASSERT_EQ(gBloomTargets.glowMap2->GetLevelDesc(0, &desc), kGpuOk);
  EXPECT_EQ(desc.width, 31u);
  EXPECT_EQ(desc.format, kGpuFmtA8R8G8B8);
}

TEST_F(ScreenEffects, ATintWithoutAlphaDrawsNothing) {
  CameraRecord camera{};
  camera.viewRight = camera.viewBottom = kFixedOne;
  EXPECT_TRUE(DrawScreenTint(0x00FFFFFF, &camera));
  EXPECT_TRUE(GpuNullLog().empty());
  EXPECT_TRUE(DrawScreenTint(0x01000000, &camera));
  EXPECT_EQ(Lines("DrawPrimitiveUP"), std::vector<std::string>{"DrawPrimitiveUP(5, 2, 20)"});
}

TEST_F(ScreenEffects, AnOverlayIsLookedUpOncePerNameAndTiling) {
  MaterialRecord materials[1] = {};
  MaterialRecord* savedTable = gMaterialTable;
  const int16_t savedCount = gMaterialCount;
  gMaterialTable = materials;
  gMaterialCount = 1;
  gTextureFixedCount = 1;
  gTextureAddedCount = 0;
  ASSERT_FALSE(AllocTextureTable());
  EXPECT_TRUE(DrawScreenOverlay("mist", 0));
  ASSERT_EQ(gTextureAddedCount, 2);
  EXPECT_EQ(Lines("DrawPrimitiveUP").size(), 2u) << "the mask, then the colour";
  // Renamed entries: a second lookup of the same names would add them again.
  SetTextureName(1, "other1");
  SetTextureName(2, "other2");
  EXPECT_TRUE(DrawScreenOverlay("mist", 0));
  EXPECT_EQ(gTextureAddedCount, 2);
  EXPECT_TRUE(DrawScreenOverlay("mist", 1));
  EXPECT_EQ(gTextureAddedCount, 4) << "another tiling looks the names up again";
  FreeTextureTables();
  gTextureFixedCount = 0;
  gTextureAddedCount = 0;
  gMaterialTable = savedTable;
  gMaterialCount = savedCount;
}

// ---- On the OpenGL device -----------------------------------------------------------------------

class ScreenEffectsOnGl : public ScreenEffects {
 public:
  ScreenEffectsOnGl() { backend_ = kGpuBackendOpenGl; }

 protected:
  void SetUp() override {
    ScreenEffects::SetUp();
    ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer_), kGpuOk);
  }
  void TearDown() override {
    if (backBuffer_) backBuffer_->Release();
    ScreenEffects::TearDown();
  }
  std::vector<uint32_t> Read() {
    GpuSurface* copy = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(kWidth, kHeight, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &copy), kGpuOk);
    EXPECT_EQ(device_->GetRenderTargetData(backBuffer_, copy), kGpuOk);
    GpuLockedRect locked;
    EXPECT_EQ(copy->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
    std::vector<uint32_t> pixels(kWidth * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y) {
      std::memcpy(&pixels[y * kWidth], static_cast<const uint8_t*>(locked.bits) + y * locked.pitch, kWidth * 4);
    }
    copy->UnlockRect();
    copy->Release();
    return pixels;
  }
  static int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

  GpuSurface* backBuffer_ = nullptr;
};

TEST_F(ScreenEffectsOnGl, ANearlyTransparentTintChangesOnlyItsViewportByAtMostOneLevel) {
  // A gradient, so every level from dark to bright is under the tint somewhere.
  for (uint32_t y = 0; y < kHeight; ++y) {
    const GpuRect row{0, static_cast<int32_t>(y), static_cast<int32_t>(kWidth), static_cast<int32_t>(y) + 1};
    const uint32_t level = y * 4 + 3;
    device_->Clear(1, &row, kGpuClearTarget, level << 16 | (255 - level) << 8 | 0x80, 1.0f, 0);
  }
  const std::vector<uint32_t> before = Read();
  // The camera's view: the right half, rows 16 to 48.
  CameraRecord camera{};
  camera.viewLeft = kFixedOne / 2;
  camera.viewRight = kFixedOne;
  camera.viewTop = kFixedOne / 4;
  camera.viewBottom = kFixedOne * 3 / 4;
  ASSERT_TRUE(DrawScreenTint(0x01000000, &camera));
  const std::vector<uint32_t> after = Read();
  int changed = 0;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const bool inside = x >= 32 && y >= 16 && y < 48;
      for (int shift : {0, 8, 16}) {
        const int b = Channel(before[y * kWidth + x], shift);
        const int a = Channel(after[y * kWidth + x], shift);
        if (!inside) {
          ASSERT_EQ(a, b) << "outside the viewport at " << x << "," << y;
        } else {
          ASSERT_LE(b - a, 1) << x << "," << y;
          ASSERT_GE(b - a, 0) << x << "," << y;
          changed += b != a;
        }
      }
    }
  }
  EXPECT_GT(changed, 0) << "the tint drew over its viewport";
}

TEST_F(ScreenEffectsOnGl, TheDemoBloomAddsTheGlowOfMarkedPixels) {
  world_.WriteLoose("shader/3_0/bloom.fb", ShippedEffect("bloom.fb"));
  BloomCreateTargets();
  // A dark picture with two bright squares; only the left one is marked to glow (alpha 255).
  device_->Clear(0, nullptr, kGpuClearTarget, 0x00101010, 1.0f, 0);
  const GpuRect glowing{8, 24, 16, 32};
  const GpuRect plain{44, 24, 52, 32};
  device_->Clear(1, &glowing, kGpuClearTarget, 0xFFC0C0C0, 1.0f, 0);
  device_->Clear(1, &plain, kGpuClearTarget, 0x00C0C0C0, 1.0f, 0);
  const std::vector<uint32_t> before = Read();
  RenderBloom();
  const std::vector<uint32_t> after = Read();
  // Beside the glowing square the picture brightens; beside the plain one it stays as it was.
  EXPECT_GT(Channel(after[28 * kWidth + 18], 8), Channel(before[28 * kWidth + 18], 8) + 8);
  EXPECT_EQ(after[28 * kWidth + 54] & 0xFFFFFF, before[28 * kWidth + 54] & 0xFFFFFF);
  EXPECT_EQ(after[2 * kWidth + 30] & 0xFFFFFF, 0x101010u) << "far from both nothing changes";
  GpuSurface* target = nullptr;
  ASSERT_EQ(device_->GetRenderTarget(0, &target), kGpuOk);
  EXPECT_EQ(target, backBuffer_) << "drawing goes on into the back buffer";
  target->Release();
}

}  // namespace
