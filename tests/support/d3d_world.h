// A world for the renderer's context and device tests: the null GPU backend with adapters the
// test describes, a SystemBlock configured for 1024x768 in 32 bits full screen, the renderer's
// own display selection, and everything made released again at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_adapter.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/pixel_formats.h"
#include "render/render.h"

class D3DWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    GpuSetBackend(kGpuBackendNull);
    savedSystem_ = gSystem;
    block_ = SystemBlock{};
    block_.screenWidth = 1024;
    block_.screenHeight = 768;
    block_.colourDepth = 32;
    gSystem = &block_;
    SetDisplaySelection(nullptr);
    Selection(nullptr, -1, 0, 0);
  }

  void TearDown() override {
    FreeDirect3DContext();
    Selection(nullptr, -1, 0, 0);
    ClearPixelFormatTable();
    GpuSetAdapterModels({});
    GpuClearInjections();
    GpuNullClearLog();
    GpuSetBackend(kGpuBackendOpenGl);
    gSystem = savedSystem_;
  }

  // A capable adapter: the default description with this desktop and these full-screen modes.
  static GpuAdapterModel Model(const char* name, GpuDisplayMode desktop, std::vector<GpuDisplayMode> modes) {
    GpuAdapterModel model = GpuDefaultAdapterModel(16, true);
    model.description = name;
    model.desktop = desktop;
    model.modes = std::move(modes);
    return model;
  }

  static void Selection(const char* name, int32_t ordinal, uint32_t format, uint32_t index) {
    const DisplaySelection& s = CurrentDisplaySelection();
    *s.adapterName = name ? ReplaceString(*s.adapterName, name) : FreeString(*s.adapterName);
    *s.adapterOrdinal = ordinal;
    *s.modeFormat = format;
    *s.modeIndex = index;
  }

  // Creates the context over these adapters.
  bool Start(const std::vector<GpuAdapterModel>& models) {
    GpuSetAdapterModels(models);
    const bool made = CreateDirect3D() == 1;
    GpuNullClearLog();
    return made;
  }

  DeviceRecord* Record() { return gDirect3D->device; }

  SystemBlock block_{};
  SystemBlock* savedSystem_ = nullptr;
};
