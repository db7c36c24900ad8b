// The effect state manager: the object through which an effect sets every device state its
// passes name (transforms, material, lights, render, texture-stage and sampler states,
// textures, programs and their constants). The renderer implements it (forwarding to the
// device, or dropping repeated values) and gives it to each effect; an effect without one sets
// the device directly. Declared here so effects in the platform layer can call it; holds no code.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

class GpuEffectStateManager : public GpuUnknown {
 public:
  virtual GpuResult SetTransform(uint32_t state, const GpuMatrix* matrix) = 0;
  virtual GpuResult SetMaterial(const GpuMaterial* material) = 0;
  virtual GpuResult SetLight(uint32_t index, const GpuLight* light) = 0;
  virtual GpuResult LightEnable(uint32_t index, int32_t enable) = 0;
  virtual GpuResult SetRenderState(uint32_t state, uint32_t value) = 0;
  virtual GpuResult SetTexture(uint32_t stage, GpuBaseTexture* texture) = 0;
  virtual GpuResult SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) = 0;
  virtual GpuResult SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) = 0;
  virtual GpuResult SetNPatchMode(float segments) = 0;
  virtual GpuResult SetFVF(uint32_t fvf) = 0;
  virtual GpuResult SetVertexShader(GpuVertexShader* shader) = 0;
  virtual GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;
  virtual GpuResult SetVertexShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShader(GpuPixelShader* shader) = 0;
  virtual GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) = 0;
};
