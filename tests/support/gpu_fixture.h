// A GPU device for tests of the layers above it: the recording null device, or the OpenGL
// device on Mesa's software rasteriser (SDL's offscreen driver when headless), with a 64x64
// back buffer and a 24-bit depth buffer. Adapter models installed by a test are taken when the
// system object is made.
#pragma once

#include <gtest/gtest.h>

#include "platform/gpu.h"
#include "platform/gpu_adapter.h"
#include "platform/gpu_null.h"

class GpuDeviceFixture : public ::testing::Test {
 public:
  void TearDown() override { Close(); }

  // Opens a device of the backend; false (with a test failure) when it cannot be made.
  bool Open(GpuBackend backend, uint32_t width = 64, uint32_t height = 64) {
    GpuSetBackend(backend);
    system_ = GpuCreateSystem(kGpuSdkVersion);
    EXPECT_NE(system_, nullptr);
    if (!system_) return false;
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = width;
    parameters.backBufferHeight = height;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.swapEffect = kGpuSwapEffectDiscard;
    parameters.windowed = 1;
    parameters.enableAutoDepthStencil = 1;
    parameters.autoDepthStencilFormat = kGpuFmtD24S8;
    parameters.presentationInterval = kGpuPresentIntervalImmediate;
    GpuResult result =
        system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters, &device_);
    EXPECT_EQ(result, kGpuOk);
    GpuNullClearLog();
    return GpuSucceeded(result);
  }

  void Close() {
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u) << "a test left objects of the device alive";
    }
    if (system_) system_->Release();
    device_ = nullptr;
    system_ = nullptr;
    GpuSetAdapterModels({});
    GpuClearInjections();
    GpuSetBackend(kGpuBackendOpenGl);
  }

 protected:
  GpuSystem* system_ = nullptr;
  GpuDevice* device_ = nullptr;
};
