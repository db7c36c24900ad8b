// The effect state managers against the null device's call log: the base manager forwards
// everything, the pure manager drops repeats but never a value the device refused.
#include "render/state_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
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

TEST_F(StateManagerTest, ForwardingManagerResetOnlyClearsTheTextures) {
  RenderStateManager* m = Make(kPlain);
  ASSERT_NE(m, nullptr);
  m->ResetStateCache();
  m->NoOperation();
  Lines expected;
  for (int stage = 0; stage < 10; ++stage) expected.push_back("SetTexture(" + std::to_string(stage) + ", null)");
  EXPECT_EQ(Log(), expected);
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

TEST_F(StateManagerTest, ObjectCallsAreSentOncePerObjectAndAgainAfterARefusal) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  GpuTexture* texture = nullptr;
  GpuIndexBuffer* indices = nullptr;
  GpuVertexBuffer* vertices = nullptr;
  GpuVertexDeclaration* declaration = nullptr;
  GpuVertexShader* vertexShader = nullptr;
  GpuPixelShader* pixelShader = nullptr;
  const GpuVertexElement elements[] = {{0, 0, kGpuDeclTypeFloat3, kGpuDeclMethodDefault, kGpuDeclUsagePosition, 0},
                                       kGpuDeclEnd};
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  ASSERT_EQ(device_->CreateIndexBuffer(64, 0, kGpuFmtIndex16, kGpuPoolManaged, &indices), kGpuOk);
  ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, kGpuPoolManaged, &vertices), kGpuOk);
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  ASSERT_EQ(device_->CreateVertexShader("void main() {}", &vertexShader), kGpuOk);
  ASSERT_EQ(device_->CreatePixelShader("void main() {}", &pixelShader), kGpuOk);
  Log();
  struct Case {
    const char* call;
    std::function<GpuResult()> set;
  };
  const Case kCases[] = {
      {"SetTexture", [&] { return m->SetTexture(3, texture); }},
      {"SetIndices", [&] { return m->SetIndices(indices); }},
      {"SetVertexDeclaration", [&] { return m->SetVertexDeclaration(declaration); }},
      {"SetVertexShader", [&] { return m->SetVertexShader(vertexShader); }},
      {"SetPixelShader", [&] { return m->SetPixelShader(pixelShader); }},
      {"SetStreamSource", [&] { return m->SetStreamSource(1, vertices, 0, 12); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.call);
    GpuInjectResult(c.call, kGpuErrInvalidCall);
    EXPECT_EQ(c.set(), kGpuErrInvalidCall);
    EXPECT_EQ(c.set(), kGpuOk);
    EXPECT_EQ(c.set(), kGpuOk);
    EXPECT_EQ(Log().size(), 2u);  // the refused call and its repeat; the third is dropped
  }
  // The per-frame reset forgets them all, so each is sent again.
  m->ResetStateCache();
  Log();
  for (const Case& c : kCases) c.set();
  EXPECT_EQ(Log().size(), 6u);

  m->ResetStateCache();
  device_->SetIndices(nullptr);
  device_->SetStreamSource(1, nullptr, 0, 0);
  device_->SetVertexDeclaration(nullptr);
  device_->SetVertexShader(nullptr);
  device_->SetPixelShader(nullptr);
  for (GpuResource* object : std::initializer_list<GpuResource*>{texture, indices, vertices}) object->Release();
  declaration->Release();
  vertexShader->Release();
  pixelShader->Release();
}

// A range reaching past register 255 is remembered only up to it: nothing after the cache is
// overwritten, so the manager's other records keep their values.
TEST_F(StateManagerTest, FloatRangePastTheCacheLeavesTheOtherRecordsAlone) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  const float ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  const float zeros[4] = {};
  // A device with more registers than the cache takes both ranges.
  GpuInjectResult("SetPixelShaderConstantF", kGpuOk);
  GpuInjectResult("SetVertexShaderConstantF", kGpuOk);
  EXPECT_EQ(m->SetPixelShaderConstantF(255, ones, 2), kGpuOk);
  EXPECT_EQ(m->SetVertexShaderConstantF(255, ones, 2), kGpuOk);
  EXPECT_EQ(Log().size(), 2u);
  // The vertex cache starts zeroed, the current declaration and index buffer as none.
  m->SetVertexShaderConstantF(0, zeros, 1);
  m->SetVertexDeclaration(nullptr);
  m->SetIndices(nullptr);
  EXPECT_EQ(Log(), Lines{});
  // Registers from 256 on are never remembered.
  m->SetVertexShaderConstantF(256, ones, 1);
  m->SetVertexShaderConstantF(256, ones, 1);
  m->SetPixelShaderConstantF(300, ones, 1);
  m->SetPixelShaderConstantF(300, ones, 1);
  EXPECT_EQ(Log(), (Lines{"SetVertexShaderConstantF(256, 1)", "SetVertexShaderConstantF(256, 1)",
                          "SetPixelShaderConstantF(300, 1)", "SetPixelShaderConstantF(300, 1)"}));
}

// A bool range sets every register it covers; the next single call compares with what the
// device now holds, not with what was set before the range.
TEST_F(StateManagerTest, BoolRangeReplacesTheRememberedRegisters) {
  RenderStateManager* m = Make(kPure);
  ASSERT_NE(m, nullptr);
  const int32_t on = 1;
  const int32_t offs[2] = {0, 0};
  m->SetVertexShaderConstantB(3, &on, 1);
  m->SetVertexShaderConstantB(2, offs, 2);
  m->SetVertexShaderConstantB(3, &on, 1);  // the device holds 0 in register 3 now
  m->SetVertexShaderConstantB(2, &offs[0], 1);
  m->SetVertexShaderConstantB(15, offs, 2);  // reaches past the sixteen remembered registers
  m->SetVertexShaderConstantB(15, &on, 1);
  EXPECT_EQ(Log(), (Lines{"SetVertexShaderConstantB(3, 1)", "SetVertexShaderConstantB(2, 2)",
                          "SetVertexShaderConstantB(3, 1)", "SetVertexShaderConstantB(15, 2)",
                          "SetVertexShaderConstantB(15, 1)"}));
}

TEST_F(StateManagerTest, ManagerNeedsTheCreationParameters) {
  GpuSetBackend(kGpuBackendNull);
  system_ = GpuCreateSystem(kGpuSdkVersion);
  GpuPresentParameters parameters{};
  parameters.backBufferWidth = parameters.backBufferHeight = 16;
  parameters.backBufferFormat = kGpuFmtX8R8G8B8;
  parameters.backBufferCount = 1;
  parameters.windowed = 1;
  ASSERT_EQ(system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kPure, &parameters, &device_), kGpuOk);
  GpuInjectResult("GetCreationParameters", kGpuErrInvalidCall);
  EXPECT_EQ(CreateStateManager(device_), nullptr);
  EXPECT_EQ(CreateStateManager(nullptr), nullptr);
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
