// The effect registry on a hand-built engine: registration and lookup by name ignoring case, the
// device loss and reset walks over effects with one, two or no interfaces, and the parameter
// lookups and name predicates.
#include "scene/effect_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "render/effect_cache.h"
#include "support/fake_effect.h"
#include "support/engine_fixture.h"

namespace {

class EffectRegistry : public ::testing::Test {
 protected:
  void TearDown() override { FreeEffectRegistry(); }
  EngineFixture fixture_;
  std::vector<std::string> calls_;
};

TEST_F(EffectRegistry, FindsTheFirstRegisteredNameIgnoringCase) {
  RegisterEffect("warm-up");  // the table's buckets are made once, outside the counts
  FreeEffectRegistry();
  const uint32_t before = gMemCounters.currentBytes;
  EffectEntry* unnamed = RegisterEffect(nullptr);
  EffectEntry* bloom = RegisterEffect("Bloom");
  EffectEntry* again = RegisterEffect("bloom");
  ASSERT_NE(unnamed, nullptr);
  ASSERT_NE(bloom, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(unnamed->name, nullptr);
  EXPECT_EQ(bloom->handle, unnamed->handle + 1);
  EXPECT_EQ(FindEffectByName("BLOOM"), bloom);
  EXPECT_EQ(FindEffectByName("Bloom "), nullptr);
  EXPECT_EQ(FindEffectByName("particles"), nullptr);
  EXPECT_EQ(FindEffectByName(nullptr), nullptr);
  EXPECT_EQ(FindEffectByName(""), nullptr);

  FreeEffectRegistry();
  EXPECT_EQ(HashCount(fixture_.engine().effectTable), 0u);
  EXPECT_EQ(gMemCounters.currentBytes, before);
}

TEST_F(EffectRegistry, DeviceLossAndResetReachEveryInterfaceFirstFirst) {
  FakeEffect a1("a1", &calls_), a2("a2", &calls_), b2("b2", &calls_);
  EffectObject both{{&a1, &a2}, nullptr};
  EffectObject secondOnly{{nullptr, &b2}, nullptr};
  RegisterEffect("both")->effect = &both;
  RegisterEffect("unloaded");  // no effect object yet
  RegisterEffect("second only")->effect = &secondOnly;
  EffectObject none{{nullptr, nullptr}, nullptr};
  RegisterEffect("no interfaces")->effect = &none;

  EffectsOnLostDevice();
  EXPECT_EQ(calls_, (std::vector<std::string>{"a1: lost", "a2: lost", "b2: lost"}));
  calls_.clear();
  EffectsOnResetDevice();
  EXPECT_EQ(calls_, (std::vector<std::string>{"a1: reset", "a2: reset", "b2: reset"}));
  // The objects are the test's own: the registry must not release them.
  for (const char* name : {"both", "second only", "no interfaces"}) FindEffectByName(name)->effect = nullptr;
}

TEST_F(EffectRegistry, ParameterLookupsByIdAndName) {
  char diffuse[] = "t_DiffuseTexture";
  char glow[] = "g_Glow";
  EffectParamHead first{1, diffuse};
  EffectParamHead unnamed{2, nullptr};
  EffectParamHead second{2, glow};
  EffectParamHead* list[] = {&first, nullptr, &unnamed, &second};

  EXPECT_EQ(FindEffectParam(list, 4, 2), &unnamed);
  EXPECT_EQ(FindEffectParam(list, 4, 3), nullptr);
  EXPECT_EQ(FindEffectParam(list, 1, 2), nullptr);
  EXPECT_EQ(FindEffectParamByName(list, 4, "G_GLOW"), &second);
  EXPECT_EQ(FindEffectParamByName(list, 4, nullptr), nullptr);
  EXPECT_EQ(FindEffectParam(nullptr, 4, 1), nullptr);

  for (auto predicate : {NameEqualsIgnoreCase, NameEqualsIgnoreCaseB}) {
    EXPECT_EQ(predicate(&first, "T_DIFFUSETEXTURE"), 1);
    EXPECT_EQ(predicate(&first, "t_Diffuse"), 0);
    EXPECT_EQ(predicate(&unnamed, "g_Glow"), 0);
  }
}

}  // namespace
