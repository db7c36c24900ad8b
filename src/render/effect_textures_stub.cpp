// The least form of the material texture lookup: the slot rules and the texture table's lookup
// by name. The lower-quality bump texture names of the older shader sets are not chosen yet.
// Called by the body material code; binds nothing.
#include <cstring>

#include "core/memory.h"
#include "render/effect_textures.h"
#include "render/texture_table.h"

namespace {

constexpr int32_t kSlotLast = 7;

// The texture parameters a caller that does not know the slot may name.
constexpr const char* kUnslottedNames[] = {"t_DiffuseTexture", "t_SpecularTexture", "t_LightMapTexture",
                                           "t_CubeMapTexture", "t_DetailTexture", "t_BumpTexture"};

}  // namespace

int16_t LoadMaterialTexture(const char* paramName, int32_t slot, const char* textureName) {
  if (!paramName) return -1;
  if (slot == 0) {
    bool known = false;
    for (const char* name : kUnslottedNames) known = known || TextEqualsIgnoringCase(paramName, name);
    if (!known) return -1;
  } else if (paramName[0] != 't' || slot < 1 || slot > kSlotLast) {
    return -1;
  }
  return FindTextureByName(textureName, 0);
}
