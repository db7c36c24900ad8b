// The effect state manager: every device state the renderer and its effects set goes through
// the one object the Direct3D context holds. The base manager forwards each call to the device;
// the pure manager (chosen for a pure device, which filters nothing itself) remembers what it
// last set and drops calls that would set the same value again. Callers: the device creation,
// the effects, the per-frame state reset, every unit that draws. Never keeps a value the device
// refused.
#pragma once

#include <cstdint>

#include "platform/gpu.h"
#include "platform/gpu_state_manager.h"

// Interface identifiers QueryInterface answers to.
struct StateManagerIid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};
extern const StateManagerIid kIidUnknown;
extern const StateManagerIid kIidEffectStateManager;

class RenderStateManager : public GpuEffectStateManager {
 public:
  // kGpuOk with a reference added for the two identifiers above; kGpuErrNoInterface and null
  // for any other.
  virtual GpuResult QueryInterface(const StateManagerIid& iid, void** out) = 0;
  // Forgets every remembered state; textures of stages 0 to 9 are set to none on the device.
  virtual void ResetStateCache() = 0;
  virtual void NoOperation() = 0;
  virtual GpuResult SetVertexDeclaration(GpuVertexDeclaration* declaration) = 0;
  virtual GpuResult SetStreamSource(uint32_t stream, GpuVertexBuffer* buffer, uint32_t offset,
                                    uint32_t stride) = 0;
  virtual GpuResult SetIndices(GpuIndexBuffer* buffer) = 0;
};

// A new manager for the device (one reference), pure when the device was created with
// kGpuCreatePureDevice; null when the creation parameters cannot be read.
RenderStateManager* CreateStateManager(GpuDevice* device);
