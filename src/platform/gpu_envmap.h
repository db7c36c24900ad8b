// Rendering into the six faces of a cube texture: BeginCube keeps the device's render target
// and depth surface, Face points drawing at one face (with the renderer's own depth surface
// when it was asked for one), End gives the device its targets back and fills the cube's
// smaller levels from the faces. Called by the renderer's environment-map code. Never leaves
// the device drawing into the cube after End.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

class GpuxRenderToEnvMap : public GpuUnknown {
 public:
  virtual GpuResult GetDevice(GpuDevice** device) = 0;
  // The cube must be a render target whose top level has the renderer's size.
  virtual GpuResult BeginCube(GpuCubeTexture* cube) = 0;
  // Face 0..5 (+X, -X, +Y, -Y, +Z, -Z) of level 0 becomes render target 0.
  virtual GpuResult Face(uint32_t face, uint32_t mipFilter) = 0;
  // Restores the targets; levels below the top are made from it (by the device for a cube
  // with automatic mip maps, else by filtered copies).
  virtual GpuResult End(uint32_t mipFilter) = 0;
  // The depth surface lives in the device's default pool: given back before a reset and made
  // again after it.
  virtual GpuResult OnLostDevice() = 0;
  virtual GpuResult OnResetDevice() = 0;
};

// kGpuErrInvalidCall for size 0; the depth surface's creation result when it fails.
GpuResult GpuxCreateRenderToEnvMap(GpuDevice* device, uint32_t size, uint32_t mipLevels, uint32_t format,
                                   int32_t depthStencil, uint32_t depthStencilFormat, GpuxRenderToEnvMap** renderer);
