// Fuzz target of the engine's type-file loaders: the first byte picks the loader (low three bits:
// BodyData, CutData, LightTypes, Particles3, Lensflares, BodyDummies, IconData, Skins) and the
// form (bit 3: binary), the rest is the file. The loader must stop within the data, size nothing
// by a count the data cannot hold, and leave tables that free cleanly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/hash_table.h"
#include "core/memory.h"
#include "fuzz_support.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/scene.h"

namespace {

EngineState3D gFuzzEngine;
MaterialRecord gFuzzMaterials[2];

constexpr const char* kFiles[] = {"BodyData",   "CutData",     "LightTypes", "Particles3",
                                  "Lensflares", "BodyDummies", "IconData",   "Skins"};

void FreeTables() {
  FreeLensflareTable();
  FreeIconSets();
  FreeTextureRemap();
  for (ParticleTypeRow& row : gFuzzEngine.particleTypes) {
    EngineFree(row.kinds, static_cast<uint32_t>(row.kindCount) * kParticleKindNominalBytes);
    row = ParticleTypeRow{};
  }
  // The name tables stay for the next input (every BodyData and CutData load resets them);
  // only the rows a loader added go.
  ClearDynamicBodyData();
  ClearDynamicCutData();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    gEngine3D = &gFuzzEngine;
    if (!AllocBodyDataTable() || !AllocCutDataTable()) std::abort();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const int loader = data[0] & 7;
  const bool binary = (data[0] & 8) != 0;
  const std::string name = kFiles[loader];
  fuzz::RemoveFile("types/" + name + ".txt");
  fuzz::RemoveFile("types/" + name + ".pck");
  fuzz::WriteFile("types/" + name + (binary ? ".pck" : ".txt"), data + 1, size - 1);

  gMaterialTable = gFuzzMaterials;
  gMaterialCount = 2;
  gTextureFixedCount = 2;
  gTextureAddedCount = 0;
  if (AllocTextureTable()) return 0;
  switch (loader) {
    case 0: LoadBodyData(); break;
    case 1: LoadCutData(); break;
    case 2: LoadLightTypes(); break;
    case 3: LoadParticles3(); break;
    case 4: LoadLensflares(&gFuzzEngine); break;
    case 5: LoadBodyDummies(&gFuzzEngine); break;
    case 6: LoadIconData(); break;
    default: LoadSkins(); break;
  }
  // What a loader kept must be what its counts say.
  for (const IconSet& set : gFuzzEngine.iconTables)
    if (set.iconCount < 0 || (set.iconCount > 0) != (set.icons != nullptr)) std::abort();
  for (int32_t f = 0; f < gFuzzEngine.lensFlareTypeCount; ++f)
    if (gFuzzEngine.lensFlareTypes[f].elementCount < 0) std::abort();
  FreeTables();
  FreeTextureTables();
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  return 0;
}
