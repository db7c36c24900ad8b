// The renderer's effects and their cache. Least form until they are built: the effect object
// the scene engine's effect registry holds, with its two device effect interfaces.
#pragma once

#include <cstdint>

class GpuxEffect;

struct EffectObject {
  uint32_t word;
  GpuxEffect* effects[2];  // either may be null
};
