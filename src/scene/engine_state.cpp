// The engine state's global pointer, its counted allocations, the handle lookups, the screen mode,
// the icon sets and texture remaps, and the start-up pass that hides shadowed body files. Called
// by every part of the scene engine, the natives and start-up. Never allocates in a lookup.
#include "scene/engine_state.h"

#include <cstring>

#include "core/catalog.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/display_modes.h"
#include "scene/camera_records.h"
#include "scene/scene.h"

EngineState3D* gEngine3D = nullptr;

namespace {

constexpr uint32_t kEngineMemFlags = MemCategoryFlags(kMemCatEngine3D) | kMemUncounted;
constexpr int64_t kProjectionFactor = 0x14000;  // 1.25 in 16.16

}  // namespace

void* EngineAlloc(size_t realSize, uint32_t nominalSize) {
  // Allocated uncounted, then counted at the nominal size by hand, so the statistics show the
  // record sizes of the 32-bit form whatever the pointer width.
  void* block = MemAlloc(realSize, kEngineMemFlags);
  if (!block) return nullptr;
  gMemCounters.currentBytes += nominalSize;
  gMemCounters.totalBytes += nominalSize;
  gMemCounters.categoryBytes[kMemCatEngine3D] += nominalSize;
  gMemCounters.allocationCount += 1;
  return block;
}

void EngineFree(void* block, uint32_t nominalSize) {
  if (block) MemFree(block, nominalSize, kEngineMemFlags);
}

HashValue HashTableGet(const HashTable* table, uint32_t key) { return HashGet(table, key); }

InstanceRecord* FindEngineHashEntry(uint32_t handle) {
  if (!gEngine3D) return nullptr;
  return reinterpret_cast<InstanceRecord*>(HashGet(gEngine3D->handleTable, handle));
}

InstanceRecord* GetInstanceByHandle(uint32_t handle) { return handle == 0 ? nullptr : FindEngineHashEntry(handle); }

CameraRecord* GetCameraByHandle(uint32_t handle) {
  InstanceRecord* instance = GetInstanceByHandle(handle);
  return instance && (instance->flags & kInstCamera) ? CameraOfInstance(instance) : nullptr;
}

SceneRecord* GetSceneByHandle(uint32_t handle) {
  if (!gEngine3D || handle == 0) return nullptr;
  return reinterpret_cast<SceneRecord*>(HashGet(gEngine3D->sceneTable, handle));
}

BodyRecord* B3D_FindBody(int32_t id) {
  if (!gEngine3D) return nullptr;
  return reinterpret_cast<BodyRecord*>(HashGet(gEngine3D->bodyCache, static_cast<uint32_t>(id) + 1));
}

bool BodyCacheInsert(int32_t id, BodyRecord* body) {
  if (!gEngine3D || !gEngine3D->bodyCache) return false;
  return HashInsert(gEngine3D->bodyCache, static_cast<uint32_t>(id) + 1, reinterpret_cast<HashValue>(body)) != 0;
}

void SetEngineScreenMode(const DisplayModeRecord* mode) {
  if (!gEngine3D) return;
  gEngine3D->screenMode = mode;
  // The mode's width is a 16-bit quantity.
  const int32_t width = mode ? static_cast<uint16_t>(mode->width) : 0;
  gEngine3D->halfScreenWidth = width / 2;
  gEngine3D->projectionScale = static_cast<int32_t>((gEngine3D->halfScreenWidth * kProjectionFactor + 0x8000) >> 16);
}

// ---------------------------------------------------------------------------------------------
// Icons and texture remapping.

const IconRecord* B3D_GetIconData(int32_t set, int32_t id) {
  if (!gEngine3D || set < 0 || set >= kIconSetCount) return nullptr;
  const IconSet& icons = gEngine3D->iconTables[set];
  if (icons.iconCount <= 0 || !icons.icons) return nullptr;
  for (int32_t i = 0; i < icons.iconCount; ++i) {
    if (icons.icons[i].id == id) return &icons.icons[i];
  }
  return nullptr;
}

bool IconTextureMatrix(int32_t set, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, FixedMatrix* out) {
  const IconRecord* icon = B3D_GetIconData(set, id);
  if (!icon || !out) return false;
  const IconSet& icons = gEngine3D->iconTables[set];
  if (icons.textureWidth == 0 || icons.textureHeight == 0) return false;
  const int32_t width = FixedMul(icon->width, w);
  const int32_t height = FixedMul(icon->height, h);
  *out = FixedMatrix{};
  out->m[0][0] = FixedDiv(width, icons.textureWidth);
  out->m[1][1] = FixedDiv(height, icons.textureHeight);
  out->m[2][0] = FixedDiv(icon->x + x, icons.textureWidth);
  out->m[2][1] = FixedDiv(icon->y + y, icons.textureHeight);
  out->m[2][2] = kFixedOne;
  return true;
}

bool IconTextureMatrixAt(int32_t set, int32_t id, FixedMatrix* out) {
  return IconTextureMatrix(set, id, 0, 0, kFixedOne, kFixedOne, out);
}

void FreeIconSets() {
  if (!gEngine3D) return;
  for (IconSet& icons : gEngine3D->iconTables) {
    if (icons.icons) EngineFree(icons.icons, static_cast<uint32_t>(icons.iconCount) * kIconRecordNominalBytes);
    icons.icons = nullptr;
    icons.iconCount = 0;
  }
}

const TextureRemapRow* TextureRemapFind(int32_t tableId) {
  if (!gEngine3D || !gEngine3D->textureRemaps) return nullptr;
  for (uint32_t i = 0; i < gEngine3D->textureRemapCount; ++i) {
    if (gEngine3D->textureRemaps[i].textureId == tableId) return &gEngine3D->textureRemaps[i];
  }
  return nullptr;
}

int32_t MapEffectTexture(int32_t texture, int32_t tableId) {
  const TextureRemapRow* row = TextureRemapFind(tableId);
  if (!row || !row->sources || !row->replacements) return texture;
  for (int32_t i = 0; i < row->pairCount; ++i) {
    if (row->sources[i] == texture) return row->replacements[i];
  }
  return texture;
}

void FreeTextureRemap() {
  if (!gEngine3D) return;
  if (gEngine3D->textureRemaps) {
    for (uint32_t i = 0; i < gEngine3D->textureRemapCount; ++i) {
      TextureRemapRow& row = gEngine3D->textureRemaps[i];
      row.name = FreeString(row.name);
      const uint32_t pairBytes = static_cast<uint32_t>(row.pairCount > 0 ? row.pairCount : 0) * 4;
      EngineFree(row.sources, pairBytes);
      EngineFree(row.replacements, pairBytes);
    }
    EngineFree(gEngine3D->textureRemaps, gEngine3D->textureRemapCount * kTextureRemapRowNominalBytes);
  }
  gEngine3D->textureRemaps = nullptr;
  gEngine3D->textureRemapCount = 0;
}

void FreeLensflareTable() {
  if (!gEngine3D) return;
  if (gEngine3D->lensFlareTypes) {
    for (int32_t i = 0; i < gEngine3D->lensFlareTypeCount; ++i) {
      LensflareRow& row = gEngine3D->lensFlareTypes[i];
      EngineFree(row.elements,
                 static_cast<uint32_t>(row.elementCount > 0 ? row.elementCount : 0) * kLensflareElementNominalBytes);
    }
    EngineFree(gEngine3D->lensFlareTypes,
               static_cast<uint32_t>(gEngine3D->lensFlareTypeCount) * kLensflareRowNominalBytes);
  }
  gEngine3D->lensFlareTypes = nullptr;
  gEngine3D->lensFlareTypeCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Shadowed body files.

void HideShadowedBodyFiles() {
  if (!gSystem || !gSystem->catalogs) return;
  char shadow[512];
  for (int later = 1; later < gSystem->catalogSlots; ++later) {
    const Catalog* catalog = gSystem->catalogs[later];
    if (!catalog || !catalog->entries) continue;
    for (int i = 0; i < catalog->count; ++i) {
      const char* name = catalog->entries[i].name;
      const size_t length = name ? std::strlen(name) : 0;
      if (length < 4 || length >= sizeof shadow || std::strncmp(name + length - 4, ".PB", 3) != 0) continue;
      std::memcpy(shadow, name, length + 1);
      for (const char last : {'D', 'B'}) {
        shadow[length - 1] = last;
        for (int earlier = 0; earlier < later; ++earlier) {
          const CatalogEntry* found = CatalogFindEntry(gSystem->catalogs[earlier], shadow);
          // The catalogue owns its names buffer; the entry's name points into it.
          if (found) const_cast<char*>(found->name)[length - 1] = 'X';
        }
      }
    }
  }
}
