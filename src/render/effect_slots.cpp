// Texture slots of effect parameter names: the fixed numbering that body material parameters and
// the texture loading of materials share. Called by the body material code and the renderer's
// material builder; holds no state.
#include <cstring>

#include "core/memory.h"
#include "render/effect_cache.h"

namespace {

struct SlotName {
  const char* name;
  int32_t slot;
};

// In the order the names are tried.
constexpr SlotName kSlotNames[] = {
    {"t_BumpTexture", 2},     {"t_DiffuseTexture", 1}, {"t_SpecularTexture", 3}, {"t_LightMapTexture", 4},
    {"t_CubeMapTexture", 5},  {"t_DetailTexture", 6},  {"t_OcclusionTexture", 7},
};

}  // namespace

int32_t GetTextureSlotIndex(const char* name) {
  if (!name || name[0] != 't') return 0;
  for (const SlotName& entry : kSlotNames) {
    if (TextEqualsIgnoringCase(name, entry.name)) return entry.slot;
  }
  return 0;
}
