// The renderer's small operations: the fixed-point conversions, the 2D transform, the depth
// range and the byte arithmetic by a table of cases; both effect variants told of a device loss;
// a texture record's release and its accounts; binding by id with the fallback for a missing or
// refused texture, and the unbind by id.
#include "render/small_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/effect_cache.h"
#include "render/effect_textures.h"
#include "render/surface_ops.h"
#include "render/texture_table.h"
#include "support/fake_effect.h"
#include "support/gpu_fixture.h"
#include "support/texture_ids_world.h"

namespace {

TEST(SmallOps, ArithmeticCases) {
  const GpuVector3 v = FixedToFloatVector({0x18000, -0x8000, 0, 0});
  EXPECT_FLOAT_EQ(v.x, 1.5f);
  EXPECT_FLOAT_EQ(v.y, -0.5f);
  // a = 2, b = 0.5, c = -1, d = 1, e = 10, f = -3: (3, 4) gives (2*3 - 4 + 10, 1.5 + 4 - 3).
  const int32_t matrix[6] = {0x20000, 0x8000, -0x10000, 0x10000, 0xA0000, -0x30000};
  float x = 0, y = 0;
  AffineTransform2D(matrix, 3.0f, 4.0f, &x, &y);
  EXPECT_FLOAT_EQ(x, 12.0f);
  EXPECT_FLOAT_EQ(y, 2.5f);

  GpuMatrix projection{};
  projection.m[0][0] = 7.0f;
  SetProjectionDepthRange(&projection, 1.0f, 101.0f);
  EXPECT_FLOAT_EQ(projection.m[2][2], 1.01f);
  EXPECT_FLOAT_EQ(projection.m[3][2], -1.01f);
  EXPECT_FLOAT_EQ(projection.m[0][0], 7.0f);  // only the depth entries change

  struct Case {
    int32_t a, b, product;
  };
  const Case kProducts[] = {{255, 255, 255}, {255, 0, 0}, {128, 128, 64}, {1, 254, 0}, {200, 100, 78}};
  for (const Case& c : kProducts) EXPECT_EQ(BytesProduct(c.a, c.b), c.product) << c.a << " " << c.b;

  EXPECT_FLOAT_EQ(LerpDown(8.0f, 0.25f), 6.0f);
  EXPECT_FLOAT_EQ(AlphaExponent(255), 0.0f);
  EXPECT_NEAR(AlphaExponent(128), 0.9944f, 1e-3f);  // about one halving
  EXPECT_NEAR(AlphaExponent(64), 1.9944f, 1e-3f);
}

TEST(SmallOps, DeviceLossReachesBothEffectVariants) {
  std::vector<std::string> log;
  FakeEffect first("v0", &log), second("v1", &log);
  EffectObject object{{&first, &second}, nullptr};
  EffectObjectDeviceLoss(&object, true);
  object.effects[0] = nullptr;
  EffectObjectDeviceLoss(&object, false);
  EffectObjectDeviceLoss(nullptr, true);
  EXPECT_EQ(log, (std::vector<std::string>{"v0: lost", "v1: lost", "v1: reset"}));
}

class TextureRecords : public GpuDeviceFixture {};

TEST_F(TextureRecords, ReleaseLowersBothAccounts) {
  ASSERT_TRUE(Open(kGpuBackendNull));
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolDefault, &texture), kGpuOk);
  Direct3DContext context{};
  context.videoMemoryBytes = 5000;
  Direct3DContext* saved = gDirect3D;
  gDirect3D = &context;
  const int32_t textures = gDeviceTextureCount;
  TextureRecord record{texture, 1024};
  TextureRecordRelease(&record);
  EXPECT_EQ(record.texture, nullptr);
  EXPECT_EQ(context.videoMemoryBytes, 5000u - 1024u);
  EXPECT_EQ(gDeviceTextureCount, textures - 1);
  TextureRecordRelease(&record);  // nothing left to release
  EXPECT_EQ(context.videoMemoryBytes, 5000u - 1024u);
  gDeviceTextureCount = textures;
  gDirect3D = saved;
}

constexpr GpuxHandle kDiffuse = 7;

// Ids 1 and 2 loaded, 2 with the refusable flag; 3 not loaded.
class TextureBinding : public TextureIdsWorld {
 protected:
  void SetUp() override {
    TextureIdsWorld::SetUp();
    for (int i = 0; i < 2; ++i) {
      images_[i].deviceTexture = Texture(i);
      gTextureTable[i + 1].image = &images_[i];
    }
    gTextureTable[2].flags = kTextureFlagRefusable;
  }
  void TearDown() override {
    EffectTexturesUnbindAll();
    for (int i = 1; i <= 2; ++i) gTextureTable[i].image = nullptr;
    TextureIdsWorld::TearDown();
  }

  DisplaySurface images_[2] = {};
};

TEST_F(TextureBinding, MissingOrRefusedTexturesTakeTheFallback) {
  GpuBaseTexture* fallback = Texture(2);
  struct Case {
    int32_t id;
    bool allowRefusable;
    bool fallback;
  };
  const Case kCases[] = {{1, false, false}, {2, false, true}, {2, true, false}, {3, false, true}, {0, true, true}};
  for (const Case& c : kCases) {
    EffectTexturesUnbindAll();
    const int32_t before = effect_.setTextureCalls;
    ASSERT_TRUE(TextureBindWithFallback(&effect_, kDiffuse, c.id, fallback, c.allowRefusable)) << c.id;
    EXPECT_EQ(effect_.setTextureCalls, before + 1);
    // The fallback is bound as id -1: it holds no reference on the asked id.
    EXPECT_EQ(gTextureTable[c.id].refCount, c.fallback ? 0 : 1) << c.id << " " << c.allowRefusable;
  }
}

TEST_F(TextureBinding, UnbindByIdTakesTheTextureOffEveryParameter) {
  ASSERT_TRUE(TextureBindWithFallback(&effect_, kDiffuse, 1, nullptr, false));
  log_.clear();
  TextureUnbindById(3);  // not loaded: nothing
  TextureUnbindById(-5);
  EXPECT_TRUE(log_.empty());
  TextureUnbindById(1);
  EXPECT_EQ(log_, (std::vector<std::string>{"e: SetTexture 7 null"}));
}

}  // namespace
