// Effects of the device layer. Least form until the effect layer is built: the interface's
// device-loss calls, through which the renderer's effects release and rebuild what they hold on
// the device. Called by the scene engine's effect registry.
#pragma once

#include <cstdint>

class GpuxEffect {
 public:
  // Negative on failure.
  virtual int32_t OnLostDevice() = 0;
  virtual int32_t OnResetDevice() = 0;

 protected:
  virtual ~GpuxEffect() = default;
};
