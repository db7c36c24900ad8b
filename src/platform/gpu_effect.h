// Effects of the device layer. Least form until the effect layer is built: the interface's
// device-loss calls, through which the renderer's effects release and rebuild what they hold on
// the device. Called by the scene engine's effect registry.
#pragma once

#include "platform/gpu_constants.h"

class GpuxEffect {
 public:
  virtual GpuResult OnLostDevice() = 0;
  virtual GpuResult OnResetDevice() = 0;

 protected:
  virtual ~GpuxEffect() = default;
};
