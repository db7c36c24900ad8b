// The effect state managers against the null device's call log: the base manager forwards
// everything, the pure manager drops repeats but never a value the device refused.
#include "render/state_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/gpu_null.h"
#include "support/gpu_fixture.h"

namespace {

class StateManagerTest : public GpuDeviceFixture {
 protected:
  // A manager for a null device made with these behaviour flags.
  RenderStateManager* Make(uint32_t behaviour) {
    GpuSetBackend(kGpuBackendNull);
    system_ = GpuCreateSystem(kGpuSdkVersion);
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = parameters.backBufferHeight = 16;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.windowed = 1;
    EXPECT_EQ(system_->CreateDevice(0, kGpuDevTypeHal, nullptr, behaviour, &parameters, &device_), kGpuOk);
    manager_ = CreateStateManager(device_);
    GpuNullClearLog();
    return manager_;
  }
  void TearDown() override {
    if (manager_) {
      EXPECT_EQ(manager_->Release(), 0u);
    }
    manager_ = nullptr;
    GpuDeviceFixture::TearDown();
  }
  std::vector<std::string> Log() {
    std::vector<std::string> log = GpuNullLog();
    GpuNullClearLog();
    return log;
  }

  RenderStateManager* manager_ = nullptr;
};

constexpr uint32_t kPure = kGpuCreateHardwareVertexProcessing | kGpuCreatePureDevice;
constexpr uint32_t kPlain = kGpuCreateHardwareVertexProcessing;
using Lines = std::vector<std::string>;

TEST_F(StateManagerTest, PureDeviceChoosesTheCachingManagerAndOthersForwardEverything) {
  struct Case {
    uint32_t behaviour;
    Lines expected;
  };
  const Case kCases[] = {
      {kPure, {"SetRenderState(7, 1)", "SetRenderState(7, 0)"}},
      {kPlain, {"SetRenderState(7, 1)", "SetRenderState(7, 1)", "SetRenderState(7, 0)"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.behaviour);
    RenderStateManager* m = Make(c.behaviour);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SetRenderState(kGpuRsZEnable, 1), kGpuOk);
    EXPECT_EQ(m->SetRenderState(kGpuRsZEnable, 1), kGpuOk);
    EXPECT_EQ(m->SetRenderState(kGpuRsZEnable, 0), kGpuOk);
    EXPECT_EQ(Log(), c.expected);
    TearDown();
  }
}

TEST_F(StateManagerTest, PureManagerFiltersOnlyWithinItsCache) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  // Stage 12 lies beyond the ten cached stages and always reaches the device.
  m->SetTexture(12, nullptr);
  m->SetTexture(12, nullptr);
  m->SetSamplerState(3, kGpuSampMinFilter, 2);
  m->SetSamplerState(3, kGpuSampMinFilter, 2);
  m->SetTextureStageState(11, kGpuTssColorOp, 4);
  m->SetTextureStageState(11, kGpuTssColorOp, 4);
  EXPECT_EQ(Log(), (Lines{"SetTexture(12, null)", "SetTexture(12, null)", "SetSamplerState(3, 6, 2)",
                          "SetTextureStageState(11, 1, 4)", "SetTextureStageState(11, 1, 4)"}));

  // A NaN never equals itself; registers past the cache are never remembered; a range that
  // starts in the cache but runs past its end is always sent.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float withNan[4] = {1, nan, 0, 0};
  const float ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  m->SetVertexShaderConstantF(4, withNan, 1);
  m->SetVertexShaderConstantF(4, withNan, 1);
  m->SetPixelShaderConstantF(5, ones, 2);
  m->SetPixelShaderConstantF(5, ones, 2);
  m->SetVertexShaderConstantF(255, ones, 2);
  m->SetVertexShaderConstantF(255, ones, 2);
  m->SetVertexShaderConstantF(255, ones, 1);
  m->SetVertexShaderConstantF(255, ones, 1);
  EXPECT_EQ(Log(), (Lines{"SetVertexShaderConstantF(4, 1)", "SetVertexShaderConstantF(4, 1)",
                          "SetPixelShaderConstantF(5, 2)", "SetVertexShaderConstantF(255, 2)",
                          "SetVertexShaderConstantF(255, 2)", "SetVertexShaderConstantF(255, 1)"}));

  // A bool range of two is always sent, and every register it set is remembered afterwards.
  const int32_t on[2] = {1, 1};
  m->SetVertexShaderConstantB(2, on, 2);
  m->SetVertexShaderConstantB(2, on, 2);
  m->SetVertexShaderConstantB(3, on, 1);
  m->SetVertexShaderConstantB(2, on, 1);
  EXPECT_EQ(Log(), (Lines{"SetVertexShaderConstantB(2, 2)", "SetVertexShaderConstantB(2, 2)"}));
}

TEST_F(StateManagerTest, ResetStateCacheSendsEveryStateAgain) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  const float value[4] = {1, 2, 3, 4};
  const int32_t on = 1;
  auto setAll = [&] {
    m->SetRenderState(kGpuRsLighting, 1);
    m->SetSamplerState(0, kGpuSampMagFilter, 2);
    m->SetTextureStageState(0, kGpuTssColorOp, 4);
    m->SetVertexShaderConstantF(0, value, 1);
    m->SetPixelShaderConstantF(0, value, 1);
    m->SetVertexShaderConstantB(0, &on, 1);
    m->SetStreamSource(0, nullptr, 16, 32);
  };
  setAll();
  EXPECT_EQ(Log().size(), 7u);
  setAll();
  EXPECT_TRUE(Log().empty());
  m->ResetStateCache();
  Lines cleared = Log();
  ASSERT_EQ(cleared.size(), 10u);
  EXPECT_EQ(cleared.front(), "SetTexture(0, null)");
  EXPECT_EQ(cleared.back(), "SetTexture(9, null)");
  setAll();
  EXPECT_EQ(Log().size(), 7u);
}

TEST_F(StateManagerTest, RefusedCallIsSentAgainNextTime) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  const float value[4] = {1, 2, 3, 4};
  const int32_t on = 1;
  struct Case {
    const char* call;
    std::function<GpuResult()> set;
  };
  const Case kCases[] = {
      {"SetRenderState", [&] { return m->SetRenderState(kGpuRsLighting, 1); }},
      {"SetSamplerState", [&] { return m->SetSamplerState(1, kGpuSampMagFilter, 2); }},
      {"SetTextureStageState", [&] { return m->SetTextureStageState(1, kGpuTssColorOp, 4); }},
      {"SetVertexShaderConstantF", [&] { return m->SetVertexShaderConstantF(8, value, 1); }},
      {"SetPixelShaderConstantF", [&] { return m->SetPixelShaderConstantF(8, value, 1); }},
      {"SetVertexShaderConstantB", [&] { return m->SetVertexShaderConstantB(8, &on, 1); }},
      {"SetStreamSource", [&] { return m->SetStreamSource(0, nullptr, 4, 8); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.call);
    GpuInjectResult(c.call, kGpuErrInvalidCall);
    EXPECT_EQ(c.set(), kGpuErrInvalidCall);
    EXPECT_EQ(c.set(), kGpuOk);
    EXPECT_EQ(c.set(), kGpuOk);
    EXPECT_EQ(Log().size(), 2u);  // the refused call and its repeat; the third is dropped
  }
}

TEST_F(StateManagerTest, QueryInterfaceAnswersOnlyItsOwnIdentifiers) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  void* out = nullptr;
  EXPECT_EQ(m->QueryInterface(kIidEffectStateManager, &out), kGpuOk);
  EXPECT_EQ(out, m);
  EXPECT_EQ(m->Release(), 1u);
  EXPECT_EQ(m->QueryInterface(kIidUnknown, &out), kGpuOk);
  EXPECT_EQ(m->Release(), 1u);
  out = m;
  const StateManagerIid other = {0x12345678u, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(m->QueryInterface(other, &out), static_cast<GpuResult>(0x80004002u));
  EXPECT_EQ(out, nullptr);
}

}  // namespace
