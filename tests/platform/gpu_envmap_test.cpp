// Rendering into a cube: each face cleared to its own colour reads back per face on both
// devices, smaller levels follow the top one, the device draws to its own targets again after
// End, and the depth surface goes and comes back around a reset.
#include "platform/gpu_envmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/gpu_fixture.h"

namespace {

const uint32_t kColours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};

class GpuEnvMapTest : public GpuDeviceFixture, public ::testing::WithParamInterface<GpuBackend> {
 public:
  void SetUp() override { ASSERT_TRUE(Open(GetParam())); }

  uint32_t FirstPixel(GpuSurface* target) {
    GpuSurfaceDesc desc{};
    target->GetDesc(&desc);
    GpuSurface* copy = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy), kGpuOk);
    EXPECT_EQ(device_->GetRenderTargetData(target, copy), kGpuOk);
    GpuLockedRect locked{};
    uint32_t v = 0;
    EXPECT_EQ(copy->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
    std::memcpy(&v, static_cast<uint8_t*>(locked.bits) + (desc.height - 1) * locked.pitch + (desc.width - 1) * 4, 4);
    copy->UnlockRect();
    copy->Release();
    return v | 0xFF000000;
  }
};

TEST_P(GpuEnvMapTest, FacesRenderedInSixColoursReadBackPerFace) {
  GpuxRenderToEnvMap* renderer = nullptr;
  ASSERT_EQ(GpuxCreateRenderToEnvMap(device_, 16, 1, kGpuFmtX8R8G8B8, 1, kGpuFmtD24S8, &renderer), kGpuOk);
  GpuCubeTexture* cube = nullptr;
  ASSERT_EQ(device_->CreateCubeTexture(16, 2, kGpuUsageRenderTarget, kGpuFmtX8R8G8B8, kGpuPoolDefault, &cube), kGpuOk);
  GpuSurface* backBuffer = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer), kGpuOk);
  ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget, 0xFF000000, 1.0f, 0), kGpuOk);

  ASSERT_EQ(renderer->BeginCube(cube), kGpuOk);
  EXPECT_EQ(renderer->BeginCube(cube), kGpuErrInvalidCall);
  for (uint32_t face = 0; face < 6; ++face) {
    ASSERT_EQ(renderer->Face(face, 1), kGpuOk);
    ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, kColours[face], 1.0f, 0), kGpuOk);
  }
  EXPECT_EQ(renderer->Face(6, 1), kGpuErrInvalidCall);
  ASSERT_EQ(renderer->End(1), kGpuOk);
  // Drawing goes to the back buffer again.
  ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget, 0xFF808080, 1.0f, 0), kGpuOk);

  for (uint32_t face = 0; face < 6; ++face) {
    for (uint32_t level = 0; level < 2; ++level) {
      GpuSurface* surface = nullptr;
      ASSERT_EQ(cube->GetCubeMapSurface(face, level, &surface), kGpuOk);
      EXPECT_EQ(FirstPixel(surface), kColours[face]) << "face " << face << " level " << level;
      surface->Release();
    }
  }
  EXPECT_EQ(FirstPixel(backBuffer), 0xFF808080u);
  EXPECT_EQ(renderer->End(1), kGpuErrInvalidCall);
  backBuffer->Release();
  cube->Release();
  EXPECT_EQ(renderer->Release(), 0u);
}

TEST_P(GpuEnvMapTest, CubesOfAnotherSizeOrNotRenderTargetsAreRefused) {
  GpuxRenderToEnvMap* renderer = nullptr;
  ASSERT_EQ(GpuxCreateRenderToEnvMap(device_, 16, 1, kGpuFmtX8R8G8B8, 0, kGpuFmtUnknown, &renderer), kGpuOk);
  GpuCubeTexture* small = nullptr;
  GpuCubeTexture* plain = nullptr;
  ASSERT_EQ(device_->CreateCubeTexture(8, 1, kGpuUsageRenderTarget, kGpuFmtX8R8G8B8, kGpuPoolDefault, &small), kGpuOk);
  ASSERT_EQ(device_->CreateCubeTexture(16, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &plain), kGpuOk);
  EXPECT_EQ(renderer->BeginCube(small), kGpuErrInvalidCall);
  EXPECT_EQ(renderer->BeginCube(plain), kGpuErrInvalidCall);
  EXPECT_EQ(renderer->Face(0, 1), kGpuErrInvalidCall);
  small->Release();
  plain->Release();
  renderer->Release();
  EXPECT_EQ(GpuxCreateRenderToEnvMap(device_, 0, 1, kGpuFmtX8R8G8B8, 0, kGpuFmtUnknown, &renderer), kGpuErrInvalidCall);
}

TEST_P(GpuEnvMapTest, DepthSurfaceIsGivenBackBeforeAResetAndMadeAgainAfter) {
  GpuxRenderToEnvMap* renderer = nullptr;
  ASSERT_EQ(GpuxCreateRenderToEnvMap(device_, 16, 1, kGpuFmtX8R8G8B8, 1, kGpuFmtD24S8, &renderer), kGpuOk);
  GpuPresentParameters parameters{};
  parameters.backBufferWidth = 64;
  parameters.backBufferHeight = 64;
  parameters.backBufferFormat = kGpuFmtX8R8G8B8;
  parameters.backBufferCount = 1;
  parameters.swapEffect = kGpuSwapEffectDiscard;
  parameters.windowed = 1;
  parameters.enableAutoDepthStencil = 1;
  parameters.autoDepthStencilFormat = kGpuFmtD24S8;
  // The device refuses a reset while the renderer's default-pool depth surface lives.
  EXPECT_EQ(device_->Reset(&parameters), kGpuErrInvalidCall);
  ASSERT_EQ(renderer->OnLostDevice(), kGpuOk);
  EXPECT_EQ(device_->Reset(&parameters), kGpuOk);
  ASSERT_EQ(renderer->OnResetDevice(), kGpuOk);
  GpuCubeTexture* cube = nullptr;
  ASSERT_EQ(device_->CreateCubeTexture(16, 1, kGpuUsageRenderTarget, kGpuFmtX8R8G8B8, kGpuPoolDefault, &cube), kGpuOk);
  EXPECT_EQ(renderer->BeginCube(cube), kGpuOk);
  EXPECT_EQ(renderer->End(1), kGpuOk);
  cube->Release();
  renderer->Release();
}

INSTANTIATE_TEST_SUITE_P(Devices, GpuEnvMapTest, ::testing::Values(kGpuBackendNull, kGpuBackendOpenGl),
                         [](const auto& info) { return std::string(info.param == kGpuBackendNull ? "Null" : "OpenGl"); });

}  // namespace
