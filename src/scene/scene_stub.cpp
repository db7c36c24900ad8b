// The least form of the 3D scene engine's lifecycle that the application core needs until it is
// built: an engine state, no bodies or cuts to find, frames that draw nothing, and an empty but
// well-formed "B3D " save section. Called by the game main, the game loop, the save container and
// the shutdown; never loads a body.
#include "scene/scene.h"

#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_table.h"
#include "render/texture_animation.h"

#include "core/file_object.h"

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
  return gEngine3D;
}

int32_t LoadSkinsAndIconData() {
  // Materials first: they fix the texture ids the animations and the skins refer to.
  ReadMaterials();
  ReadTextureAnimations();
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
void ExitEngine3D() { gEngine3D = nullptr; }
void FreeCollisionFitBuffers() {}

int32_t SaveEngineState(FileObject* file) {
  return FileWriteBytes(file, "B3D ", 4) == 4 && FileWriteBytes(file, "/B3D", 4) == 4;
}

int32_t LoadEngineState(FileObject* file) { return ReadTag(file, "B3D ") && ReadTag(file, "/B3D"); }
