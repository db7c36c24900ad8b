// The renderer's effects and their cache. Least form until they are built: the effect object
// the scene engine's effect registry holds, with its two device effect interfaces.
#pragma once

#include <cstdint>

class GpuxEffect;

struct EffectObject {
  uint32_t word;
  GpuxEffect* effects[2];  // either may be null
};

// The texture slot of an effect parameter name: 1 "t_DiffuseTexture", 2 "t_BumpTexture",
// 3 "t_SpecularTexture", 4 "t_LightMapTexture", 5 "t_CubeMapTexture", 6 "t_DetailTexture",
// 7 "t_OcclusionTexture", 0 for any other name. The first letter must be a lower-case 't'; the
// rest ignores case.
int32_t GetTextureSlotIndex(const char* name);
