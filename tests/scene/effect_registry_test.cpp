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
#include "support/engine_fixture.h"

namespace {

std::vector<std::string>* gCalls = nullptr;

class FakeEffect : public GpuxEffect {
 public:
  explicit FakeEffect(std::string name) : name_(std::move(name)) {}
  ~FakeEffect() override = default;
  // Only the device-loss calls matter to the registry; the rest answer "nothing".
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  GpuResult GetDevice(GpuDevice**) override { return kGpuErrInvalidCall; }
  GpuxHandle GetParameterByName(GpuxHandle, const char*) override { return kGpuxNoHandle; }
  GpuxHandle GetParameterElement(GpuxHandle, uint32_t) override { return kGpuxNoHandle; }
  GpuxHandle GetAnnotationByName(GpuxHandle, const char*) override { return kGpuxNoHandle; }
  GpuResult SetBool(GpuxHandle, int32_t) override { return kGpuErrInvalidCall; }
  GpuResult GetBool(GpuxHandle, int32_t*) override { return kGpuErrInvalidCall; }
  GpuResult SetInt(GpuxHandle, int32_t) override { return kGpuErrInvalidCall; }
  GpuResult GetInt(GpuxHandle, int32_t*) override { return kGpuErrInvalidCall; }
  GpuResult SetFloat(GpuxHandle, float) override { return kGpuErrInvalidCall; }
  GpuResult GetFloat(GpuxHandle, float*) override { return kGpuErrInvalidCall; }
  GpuResult SetVector(GpuxHandle, const GpuVector4*) override { return kGpuErrInvalidCall; }
  GpuResult GetVector(GpuxHandle, GpuVector4*) override { return kGpuErrInvalidCall; }
  GpuResult SetMatrix(GpuxHandle, const GpuMatrix*) override { return kGpuErrInvalidCall; }
  GpuResult GetMatrix(GpuxHandle, GpuMatrix*) override { return kGpuErrInvalidCall; }
  GpuResult SetString(GpuxHandle, const char*) override { return kGpuErrInvalidCall; }
  GpuResult GetString(GpuxHandle, const char**) override { return kGpuErrInvalidCall; }
  GpuResult SetTexture(GpuxHandle, GpuBaseTexture*) override { return kGpuErrInvalidCall; }
  GpuResult GetTexture(GpuxHandle, GpuBaseTexture**) override { return kGpuErrInvalidCall; }
  int32_t IsParameterUsed(GpuxHandle, GpuxHandle) override { return 0; }
  GpuxHandle GetTechniqueByName(const char*) override { return kGpuxNoHandle; }
  GpuxHandle GetTechnique(uint32_t) override { return kGpuxNoHandle; }
  GpuxHandle GetPass(GpuxHandle, uint32_t) override { return kGpuxNoHandle; }
  GpuResult ValidateTechnique(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult FindNextValidTechnique(GpuxHandle, GpuxHandle*) override { return kGpuErrInvalidCall; }
  GpuResult SetTechnique(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuxHandle GetCurrentTechnique() override { return kGpuxNoHandle; }
  GpuResult Begin(uint32_t*, uint32_t) override { return kGpuErrInvalidCall; }
  GpuResult BeginPass(uint32_t) override { return kGpuErrInvalidCall; }
  GpuResult CommitChanges() override { return kGpuErrInvalidCall; }
  GpuResult EndPass() override { return kGpuErrInvalidCall; }
  GpuResult End() override { return kGpuErrInvalidCall; }
  GpuResult BeginParameterBlock() override { return kGpuErrInvalidCall; }
  GpuxHandle EndParameterBlock() override { return kGpuxNoHandle; }
  GpuResult ApplyParameterBlock(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult DeleteParameterBlock(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult SetStateManager(GpuEffectStateManager*) override { return kGpuErrInvalidCall; }
  GpuResult GetStateManager(GpuEffectStateManager**) override { return kGpuErrInvalidCall; }
  GpuResult OnLostDevice() override {
    gCalls->push_back("lost " + name_);
    return 0;
  }
  GpuResult OnResetDevice() override {
    gCalls->push_back("reset " + name_);
    return 0;
  }

 private:
  std::string name_;
};

class EffectRegistry : public ::testing::Test {
 protected:
  void SetUp() override { gCalls = &calls_; }
  void TearDown() override {
    FreeEffectRegistry();
    gCalls = nullptr;
  }
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
  FakeEffect a1("a1"), a2("a2"), b2("b2");
  EffectObject both{0, {&a1, &a2}};
  EffectObject secondOnly{0, {nullptr, &b2}};
  RegisterEffect("both")->effect = &both;
  RegisterEffect("unloaded");  // no effect object yet
  RegisterEffect("second only")->effect = &secondOnly;
  EffectObject none{0, {nullptr, nullptr}};
  RegisterEffect("no interfaces")->effect = &none;

  EffectsOnLostDevice();
  EXPECT_EQ(calls_, (std::vector<std::string>{"lost a1", "lost a2", "lost b2"}));
  calls_.clear();
  EffectsOnResetDevice();
  EXPECT_EQ(calls_, (std::vector<std::string>{"reset a1", "reset a2", "reset b2"}));
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
