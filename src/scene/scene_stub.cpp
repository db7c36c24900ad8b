// The least form of the 3D scene engine's lifecycle that the application core needs until it is
// built: an engine state with its name tables and type files, a cut table, frames that draw
// nothing, and an empty but well-formed "B3D " save section. Called by the game main, the game
// loop, the save container and the shutdown; never loads a body.
#include "scene/scene.h"

#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_table.h"
#include "render/texture_animation.h"

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"

namespace {

EngineState3D gEngineRecord;

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && got[0] == tag[0] && got[1] == tag[1] && got[2] == tag[2] &&
         got[3] == tag[3];
}

}  // namespace

EngineState3D* InitEngine3D() {
  gEngineRecord = EngineState3D{};
  gEngine3D = &gEngineRecord;
  gEngineRecord.cutTable = HashCreate();
  gEngineRecord.cutFileNameTable = HashCreate();
  if (!gEngineRecord.cutTable || !gEngineRecord.cutFileNameTable || !AllocCutDataTable() || !AllocBodyDataTable()) {
    ExitEngine3D();
    return nullptr;
  }
  LoadEngineTypeFiles();
  return gEngine3D;
}

int32_t LoadSkinsAndIconData() {
  // Materials first: they fix the texture ids the animations and the skins refer to.
  ReadMaterials();
  ReadTextureAnimations();
  LoadIconData();
  LoadSkins();
  if (!gDirect3D) return 0;
  WriteTextureBundleRdf();
  return 1;
}

void UpdateCutScenes() {}
void UpdateEngine3DFrame() {
  // A frame opens with every texture the software drawing left locked given back to the device.
  TexturesUnlockAll();
}
void ResetEngine3D() {}
void BodyCacheTick() {}
void FreeAllInstancesForLoad() {}
void FreeBodyRenderData() {}
void ExitEngine3D() {
  if (!gEngine3D) return;
  EngineState3D& e = *gEngine3D;
  FreeLensflareTable();
  FreeCutDataTable();
  FreeBodyDataTable();
  FreeTextureRemap();
  FreeIconSets();
  for (ParticleTypeRow& row : e.particleTypes) {
    EngineFree(row.kinds, static_cast<uint32_t>(row.kindCount) * kParticleKindNominalBytes);
  }
  if (e.cutTable) {
    while (const uint32_t key = HashNextKey(e.cutTable, 0)) FreeCut(reinterpret_cast<CutRecord*>(HashRemove(e.cutTable, key)));
    HashDestroy(e.cutTable);
  }
  if (e.cutFileNameTable) {
    while (const uint32_t key = HashNextKey(e.cutFileNameTable, 0))
      FreeString(reinterpret_cast<char*>(HashRemove(e.cutFileNameTable, key)));
    HashDestroy(e.cutFileNameTable);
  }
  e = EngineState3D{};
  gEngine3D = nullptr;
}
void FreeCollisionFitBuffers() {}

int32_t SaveEngineState(FileObject* file) {
  return FileWriteBytes(file, "B3D ", 4) == 4 && FileWriteBytes(file, "/B3D", 4) == 4;
}

int32_t LoadEngineState(FileObject* file) { return ReadTag(file, "B3D ") && ReadTag(file, "/B3D"); }
