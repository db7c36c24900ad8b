// The least form of the material table and the texture flags: an empty material table and a
// flag word per texture id below 65536. Called by the scene engine's body geometry.
#include "render/material_table.h"

MaterialRecord* gMaterialTable = nullptr;
int16_t gMaterialCount = 0;

namespace {

constexpr int32_t kTextureIdCount = 65536;
uint32_t gTextureFlags[kTextureIdCount];

}  // namespace

uint32_t TextureGetFlags(int32_t id) { return id >= 0 && id < kTextureIdCount ? gTextureFlags[id] : 0; }

uint32_t SetTextureFlags(int32_t id, uint32_t flags) {
  if (flags == 0 || id < 0 || id >= kTextureIdCount) return 0;
  gTextureFlags[id] = flags;
  return flags;
}
