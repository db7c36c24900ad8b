// Body, cut and texture names: a body's or cut's file name from its BodyData or CutData row, and
// texture ids by name with the interface textures resolved once and kept. Called by the body and
// cut loaders, the body writer, the natives and the interface code. Never writes a name longer
// than its id's digits allow, and never reads a row the tables do not hold.
#include <cstdio>

#include "core/memory.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/engine_state.h"

namespace {

// The interface textures, in the order of their "resolved" bits 1, 2, 4, 8, 16, 32.
constexpr const char* kInterfaceTextures[] = {
    "effects/menugfx/gui_background",
    "effects/menugfx/gui_master",
    "effects/menugfx/gui_bars",
    "Interface/interface_template_QD_diff",
    "Interface/interface_framework_QD_diff",
    "Interface/interface_icons_QD_diff",
};
constexpr int kInterfaceTextureCount = 6;

int16_t gInterfaceIds[kInterfaceTextureCount];
uint32_t gInterfaceResolved = 0;

// A row's own name, else the id formatted (into the 20 characters a number takes at most).
void RowOrNumber(std::string* name, const char* rowName, int32_t id, const char* folderFormat, int32_t withFolder) {
  if (rowName) {
    *name = rowName;
    return;
  }
  char buffer[20];
  std::snprintf(buffer, sizeof buffer, withFolder ? folderFormat : "%d", static_cast<int>(id));
  *name = buffer;
}

}  // namespace

void B3D_GetBodyFilename(std::string* name, int32_t bodyId, int32_t withFolder) {
  name->clear();
  const int32_t row = BodyDataRowIndex(bodyId);
  if (row < 0) return;
  RowOrNumber(name, gEngine3D->bodyDataRows[row].fileName, bodyId, "v\\%05d", withFolder);
}

void B3D_GetCutFilename(std::string* name, int32_t cutId, int32_t withFolder) {
  name->clear();
  const int32_t row = CutDataRowIndex(cutId);
  if (row < 0) return;
  RowOrNumber(name, gEngine3D->cutDataRows[row].fileName, cutId, "cut\\%05d", withFolder);
}

int16_t B3D_GetTextureID(const char* name, int32_t flags) {
  for (int i = 0; i < kInterfaceTextureCount; ++i) {
    const uint32_t bit = 1u << i;
    if (gInterfaceResolved & bit) continue;
    gInterfaceIds[i] = FindTextureByName(kInterfaceTextures[i], 0);
    gInterfaceResolved |= bit;
  }
  if (name) {
    for (int i = 0; i < kInterfaceTextureCount; ++i) {
      if (TextEqualsIgnoringCase(name, kInterfaceTextures[i])) return gInterfaceIds[i];
    }
  }
  return FindTextureByName(name, flags);
}

void ResetInterfaceTextureIds() {
  gInterfaceResolved = 0;
  for (int16_t& id : gInterfaceIds) id = 0;
}
