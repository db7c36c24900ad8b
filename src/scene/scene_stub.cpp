// The least form of the 3D scene engine that the application core needs until the engine is
// built: an engine state with its screen mode, no bodies or cuts to find, frames that draw
// nothing, and an empty but well-formed "B3D " save section. Called by the game main, the game
// loop, the save container and the shutdown; never loads a body.
#include "scene/scene.h"

#include "core/fixed_math.h"
#include "core/file_object.h"
#include "render/render.h"

Engine3D* gEngine3D = nullptr;

namespace {

Engine3D gEngineRecord;
constexpr int32_t kProjectionFactor = 0x14000;  // 1.25 in 16.16

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && got[0] == tag[0] && got[1] == tag[1] && got[2] == tag[2] &&
         got[3] == tag[3];
}

}  // namespace

Engine3D* InitEngine3D() {
  gEngineRecord = Engine3D{};
  gEngine3D = &gEngineRecord;
  return gEngine3D;
}

int32_t LoadSkinsAndIconData() { return 1; }

void SetEngineScreenMode(ImageRecord** screenLists) {
  if (!gEngine3D || !screenLists) return;
  gEngine3D->screenList = screenLists[0];
  int32_t width = screenLists[0] ? screenLists[0]->width : 0;
  gEngine3D->centreX = width / 2;
  gEngine3D->projectionScale = FixedMul(gEngine3D->centreX, kProjectionFactor);
}

int32_t B3D_GetBodyID(const char*) { return 0; }
int32_t B3D_GetCutID(const char*) { return 0; }
void UpdateCutScenes() {}
void UpdateEngine3DFrame() {}
void ResetEngine3D() {}
void BodyCacheTick() {}
void FreeAllInstancesForLoad() {}
void StopSceneSounds() {}
void FreeBodyRenderData() {}
void FreeEngineRenderTables() {}
void ExitEngine3D() { gEngine3D = nullptr; }
void FreeCollisionFitBuffers() {}

int32_t SaveEngineState(FileObject* file) {
  return FileWriteBytes(file, "B3D ", 4) == 4 && FileWriteBytes(file, "/B3D", 4) == 4;
}

int32_t LoadEngineState(FileObject* file) { return ReadTag(file, "B3D ") && ReadTag(file, "/B3D"); }
