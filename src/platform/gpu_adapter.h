// The adapter model behind the GPU system object: per adapter its name, capabilities, display
// modes, the formats it takes for each use, the multisample types and the pixel-program
// profile. By default one adapter is built from the display (its modes; 1920x1080 in 32 bits
// when headless) and from what the OpenGL context offers; tests install their own description
// to drive the renderer's adapter and mode choice. Read by both backends; holds no GL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gpu.h"

struct GpuAdapterModel {
  std::string description;  // GpuAdapterIdentifier::description
  std::string driver;
  bool capsFail = false;  // GetDeviceCaps answers kGpuErrNotAvailable
  GpuCaps caps{};
  GpuDisplayMode desktop{};
  std::vector<GpuDisplayMode> modes;      // full-screen modes, each with its format
  std::vector<uint32_t> backBufferFormats;  // CheckDeviceType
  std::vector<uint32_t> textureFormats;     // CheckDeviceFormat, textures and cube textures
  std::vector<uint32_t> renderTargetFormats;  // ... with kGpuUsageRenderTarget
  std::vector<uint32_t> depthFormats;         // ... with kGpuUsageDepthStencil; CheckDepthStencilMatch
  std::vector<uint32_t> multiSampleTypes;     // besides kGpuMultisampleNone
  std::string pixelShaderProfile = "ps_3_0";
  uintptr_t monitor = 1;
};

// The default description of one adapter: the display's modes (or 1920x1080x32 headless),
// PUREDEVICE, hardware transform and lighting, 8 active lights, `maxAnisotropy`, FLOAT16 and
// DEC3N vertex data, automatic mip maps, full-screen gamma, stretch copies from textures, and
// "ps_3_0". DXT formats are listed when `compressedTextures` is set.
GpuAdapterModel GpuDefaultAdapterModel(uint32_t maxAnisotropy, bool compressedTextures);

// Tests: the system objects created from now on describe these adapters instead of the
// default. An empty list restores the default.
void GpuSetAdapterModels(const std::vector<GpuAdapterModel>& models);
