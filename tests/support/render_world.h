// A renderer on the recording null device (or the OpenGL device, when a fixture's constructor
// sets `backend_`) for tests of the units that draw: a 64x64 device, a hand-made context and
// device record (shader folder "3_0") with the renderer's state manager, a SystemBlock with
// default settings, all installed as the renderer's globals while the test runs. TearDown checks
// that the test gave back every device object.
#pragma once

#include <gtest/gtest.h>

#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/state_manager.h"
#include "support/gpu_fixture.h"

class RenderWorld : public GpuDeviceFixture {
 protected:
  static constexpr uint32_t kWidth = 64, kHeight = 64;

  void SetUp() override {
    ASSERT_TRUE(Open(backend_, kWidth, kHeight));
    record_.device = device_;
    record_.shaderFolder = folder_;
    record_.presentParameters.backBufferWidth = kWidth;
    record_.presentParameters.backBufferHeight = kHeight;
    context_.system = system_;
    context_.device = &record_;
    context_.stateManager = CreateStateManager(device_);
    ASSERT_NE(context_.stateManager, nullptr);
    previousContext_ = gDirect3D;
    gDirect3D = &context_;
    previousSystem_ = gSystem;
    gSystem = &block_;
    GpuNullClearLog();
  }

  void TearDown() override {
    if (context_.stateManager) context_.stateManager->Release();
    gDirect3D = previousContext_;
    gSystem = previousSystem_;
    GpuDeviceFixture::TearDown();
  }

  GpuBackend backend_ = kGpuBackendNull;
  char folder_[8] = "3_0";
  DeviceRecord record_{};
  Direct3DContext context_{};
  SystemBlock block_{};
  Direct3DContext* previousContext_ = nullptr;
  SystemBlock* previousSystem_ = nullptr;
};
