// Effect texture bindings with counting effects over a small texture table: a binding holds one
// reference per valid id, repeated sets are skipped, changes move the reference, the unbinds by
// texture, by effect and of everything; the material texture lookup with the low-quality bump
// names; the vector lengths.
#include "render/effect_textures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/texture_table.h"
#include "support/fake_effect.h"
#include "support/texture_ids_world.h"

namespace {

constexpr GpuxHandle kDiffuse = 7, kBump = 9;

using EffectBindings = TextureIdsWorld;

TEST_F(EffectBindings, TheSameTextureTwiceIsSetOnceAndCountedOnce) {
  EXPECT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 1));
  EXPECT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 2));  // the stored id stays 1
  EXPECT_EQ(effect_.setTextureCalls, 1);
  EXPECT_EQ(Count(1), 1);
  EXPECT_EQ(Count(2), 0);
  EXPECT_EQ(EffectTextureBindingCount(), 1);
  EXPECT_FALSE(EffectSetTexture(nullptr, kDiffuse, Texture(0), 1));
  EXPECT_FALSE(EffectSetTexture(&effect_, kGpuxNoHandle, Texture(0), 1));
}

TEST_F(EffectBindings, AChangeMovesTheReferenceAndAFailedSetChangesNothing) {
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 1));
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(1), 2));
  EXPECT_EQ(Count(1), 0);
  EXPECT_EQ(Count(2), 1);
  EXPECT_EQ(effect_.setTextureCalls, 2);

  effect_.setTextureAnswer = kGpuErrInvalidCall;
  EXPECT_FALSE(EffectSetTexture(&effect_, kDiffuse, Texture(2), 3));
  EXPECT_FALSE(EffectSetTexture(&effect_, kBump, Texture(2), 3));
  EXPECT_EQ(Count(2), 1);
  EXPECT_EQ(Count(3), 0);
  EXPECT_EQ(EffectTextureBindingCount(), 1);

  // Ids outside the table hold no reference and release none.
  effect_.setTextureAnswer = kGpuOk;
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(2), -1));
  EXPECT_EQ(Count(2), 0);
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 4));
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(1), 3));
  EXPECT_EQ(Count(3), 1);
}

TEST_F(EffectBindings, UnbindingATextureEmptiesItsBindingsUntilTheyAreSetAgain) {
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 1));
  ASSERT_TRUE(EffectSetTexture(&other_, kBump, Texture(0), 1));
  ASSERT_TRUE(EffectSetTexture(&other_, kDiffuse, Texture(1), 2));
  EXPECT_EQ(Count(1), 2);
  log_.clear();

  DisplaySurface record{};
  EffectTexturesUnbindTexture(&record);  // no device texture: nothing
  EXPECT_TRUE(log_.empty());
  record.deviceTexture = Texture(0);
  EffectTexturesUnbindTexture(&record);
  EXPECT_EQ(Count(1), 0);
  EXPECT_EQ(Count(2), 1);
  EXPECT_EQ(log_.size(), 2u);
  EXPECT_EQ(EffectTextureBindingCount(), 3);

  const int calls = effect_.setTextureCalls;
  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 1));
  EXPECT_EQ(effect_.setTextureCalls, calls + 1);
  EXPECT_EQ(Count(1), 1);
}

TEST_F(EffectBindings, UnbindingAnEffectOrEverythingGivesEveryReferenceBack) {
  EffectTexturesUnbindAll();  // empty: nothing
  EXPECT_TRUE(log_.empty());

  ASSERT_TRUE(EffectSetTexture(&effect_, kDiffuse, Texture(0), 1));
  ASSERT_TRUE(EffectSetTexture(&effect_, kBump, Texture(1), 2));
  ASSERT_TRUE(EffectSetTexture(&other_, kDiffuse, Texture(0), 1));
  log_.clear();
  EffectTexturesUnbindEffect(&effect_);
  EffectTexturesUnbindEffect(nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"e: SetTexture 7 null", "e: SetTexture 9 null"}));
  EXPECT_EQ(Count(1), 1);
  EXPECT_EQ(Count(2), 0);
  EXPECT_EQ(EffectTextureBindingCount(), 1);

  log_.clear();
  EffectTexturesUnbindAll();
  EXPECT_EQ(log_, std::vector<std::string>{"o: SetTexture 7 null"});
  EXPECT_EQ(Count(1), 0);
  EXPECT_EQ(EffectTextureBindingCount(), 0);
}

TEST_F(EffectBindings, MaterialTexturesByParameterNameAndSlot) {
  const int16_t rock = FindTextureByName("rock", 0);
  ASSERT_GT(rock, 0);
  struct Case {
    const char* parameter;
    int32_t slot;
    int16_t id;
  };
  const Case kCases[] = {
      {"t_DiffuseTexture", 0, rock},  {"T_DETAILTEXTURE", 0, rock}, {"t_OcclusionTexture", 0, -1},
      {"t_OcclusionTexture", 7, rock}, {"g_Colour", 0, -1},         {"", 3, -1},
      {"x_DiffuseTexture", 1, -1},    {"t_anything", 8, -1},        {"t_anything", 6, rock},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(LoadMaterialTexture(c.parameter, c.slot, "rock"), c.id) << c.parameter << " " << c.slot;
  }
}

TEST_F(EffectBindings, BelowShaderSet20OnlyTheLastBumpBecomesTheLowBump) {
  const char* kName = "hull_bump_plate_bump";
  EXPECT_EQ(LoadMaterialTexture("t_BumpTexture", 0, kName), FindTextureByName(kName, 0));
  block_.d3dFlags2 |= kD3D2Not20;
  for (int32_t slot : {0, 2}) {
    const int16_t id = LoadMaterialTexture(slot ? "t_any" : "t_BumpTexture", slot, kName);
    ASSERT_GT(id, 0);
    EXPECT_STREQ(TextureNameOf(id), "hull_bump_plate_low_bump");
  }
  struct Case {
    const char* name;
    const char* low;
  };
  const Case kCases[] = {{"a_bump", "a_low_bump"}, {"plain", "plain"}, {"", ""}, {"_bump_bump", "_bump_low_bump"}};
  for (const Case& c : kCases) EXPECT_EQ(MakeLowBumpName(c.name), c.low);
}

TEST(VectorLengths, TruncateTheSquareRoot) {
  EXPECT_EQ(VectorLengthF(3.0f, 4.0f, 0.0f), 5);
  EXPECT_EQ(VectorLengthF(1.0f, 1.0f, 1.0f), 1);  // 1.732
  const FixedVector a{1, 2, 3, 0}, b{4, 6, 3, 99};
  EXPECT_EQ(VectorLengthI(&b), 7);  // 7.81
  EXPECT_EQ(VectorDistanceI(&a, &b), 5);
  const FixedVector far{INT32_MIN, INT32_MIN, INT32_MIN, 0}, near{INT32_MAX, INT32_MAX, INT32_MAX, 0};
  EXPECT_EQ(VectorDistanceI(&far, &near), INT32_MAX);
}

}  // namespace
