// The replay fuzz target's engine and its seed recordings (see replay_world.h).
#include "replay_world.h"

#include <cstring>

#include "core/file_object.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "render/display_surface.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/camera_records.h"
#include "scene/cut_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/particle_records.h"
#include "scene/recording.h"
#include "scene/replay.h"
#include "scene/scene_cameras.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "scene/take_records.h"
#include "scene/texture_drawing.h"

namespace fuzz {
namespace {

constexpr int kTextures = 4;  // 1, 2: 16 x 8 targets; 3: a 32 x 8 source
constexpr int kSide = 32;

EngineState3D gReplayEngine;
MaterialRecord gMaterials[kTextures];
uint8_t gPixels[kTextures][kSide * 8 * 4];
DisplaySurface gSurfaces[kTextures];
TexAnimTagFrame gPieces[2] = {{{1, 0, 0, 0, 0, 16, 8}}, {{2, 16, 0, 0, 0, 16, 8}}};
TextureAnimation gAnimations[2];
ParticleKind gKinds[2];

void MakeSurface(int id, int width) {
  DisplaySurface& s = gSurfaces[id];
  s.width = static_cast<int16_t>(width);
  s.height = 8;
  s.bitsPerPixel = 32;
  s.bytesPerPixel = 4;
  s.flags = kSurfaceOwnPixels | kSurfaceLocked | kSurfaceChunky | kSurface32Bit;
  s.rowBytes = s.pitch = static_cast<uint16_t>(width * 4);
  s.pixels = gPixels[id];
}

EmitterRecord* gSeedEmitter = nullptr;
CutRecord gPlacedCut{77, 0, {}, {}, nullptr, 0};  // no paths: only its placement is saved

// A scene with a named instance, a light under it, a camera and an emitter, recorded over four
// frames with drawing between them; the instance moves, loses its name and goes.
void RecordScene() {
  SceneRecord* scene = B3D_SceneAlloc();
  B3D_SceneEnable(scene);
  B3D_SceneSetName(scene, "main");
  InstanceRecord* ship = B3D_InstAlloc();
  AddInstanceToScene(ship, scene);
  ship->name = DuplicateString("ship");
  ship->position = FixedVector{100, -20, 3000, 0};
  InstanceRecord* light = B3D_LightAlloc();
  B3D_InstAddToInst(light, ship);
  light->lightColor[0] = 256;
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, scene);
  camera->cameraFlags |= kCameraEnabled;
  camera->priority = 3;
  camera->viewBottom = camera->viewRight = 0xFFFF;
  gSeedEmitter = EngineAllocRecord<EmitterRecord>();
  gSeedEmitter->handle = HashInsertNewKey(gReplayEngine.particleTable, reinterpret_cast<HashValue>(gSeedEmitter));
  ListAddTail(&gReplayEngine.particleList3, &gSeedEmitter->node);
  gSeedEmitter->scene = scene;
  gSeedEmitter->intensity = 0x8000;
  if (!B3D_InitRecording("seed")) return;
  SetAddedBodyRows(1);
  gReplayEngine.bodyDataRows[gReplayEngine.bodyDataFixedRows].fileName = DuplicateString("hull");
  RecordFrame();
  B3D_TexRectFill(1, 2, 2, 4, 3, 0x123456);
  B3D_TexBltBlock(3, -1, 0, 0, 10, 1, 12, 4, 0, 1);
  gSystem->gameTime += 40;
  ship->position.x += 50;
  scene->systemScale = 5000.0f;
  RecordFrame();
  B3D_TexBltTilesAlpha(3, 2, 0, 0, 5, 3, 0, 0, 16, 8, 0xFFFFFF);
  TexDrawText(2, "Hi\x1b" "1there", 0, 1, 1, 16, 0xFFFFFF, 1);
  B3D_TexCircle(-1, 16, 4, 3, 0x10000, 0xFF00FF);
  gSystem->gameTime += 40;
  ship->name = FreeString(ship->name);
  RecordFrame();
  FreeInstance(ship);
  gSystem->gameTime += 40;
  RecordFrame();
  B3D_ExitRecording();
}

// Drawing alone between the head and the end.
void RecordDrawing() {
  if (!B3D_InitRecording("seed")) return;
  const int32_t rect[8] = {0, 0, 8, 8, 2, 2, 10, 6};
  TexCopyRect(3, 1, rect);
  TexSetPixel(-1, 20, 3, 0xABCDEF);
  B3D_TexLine(1, -3, -3, 20, 9, 0x00FF00);
  B3D_TexBltBlockAlpha(3, 2, 4, 0, -5, 2, 9, 3, 0x808080, 1);
  B3D_TexCircleFill(2, 4, 4, 2, 7, 0xFF);
  B3D_ExitRecording();
}

std::string ReadStream() {
  std::string out;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, "seed.rec", "rb", false)) return out;
  char buffer[4096];
  for (size_t n; (n = FileReadBytes(&file, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  FileClose(&file);
  return out;
}

}  // namespace

void SetUpReplayEngine() {
  static const bool ready = [] {
    World();
    InitMathTables();
    EngineState3D& e = gReplayEngine;
    for (ListHead* list : {&e.loadedBodies, &e.scenes, &e.instances, &e.drawNodePool, &e.drawList, &e.lights,
                           &e.particleFreeList, &e.activeParticles, &e.particleList3})
      ListInit(list);
    for (HashTable** table : {&e.handleTable, &e.sceneTable, &e.bodyCache, &e.cutTable, &e.takeTable,
                              &e.entryTable60, &e.effectTable, &e.particleTable})
      *table = HashCreate();
    e.particleTypes[0].kindCount = 2;
    e.particleTypes[0].kinds = gKinds;
    gEngine3D = &e;
    if (!AllocBodyDataTable() || !AllocCutDataTable()) return false;
    for (MaterialRecord& m : gMaterials) m.textureNumber = 1, m.transparency = TRANSP_NONE;
    gMaterialTable = gMaterials;
    gMaterialCount = kTextures;
    gTextureFixedCount = kTextures;
    gTextureAddedCount = 0;
    if (AllocTextureTable()) return false;
    for (int id = 1; id < kTextures; ++id) {
      MakeSurface(id, id == 3 ? kSide : 16);
      gTextureTable[id].image = &gSurfaces[id];
    }
    for (int x = 0; x < kSide * 8; ++x) {
      const uint32_t argb = 0xFF000000u | uint32_t(x * 2654435761u >> 8);
      std::memcpy(gPixels[3] + x * 4, &argb, 4);
    }
    gAnimations[1].type = TAT_TAGCOLLECTION;
    gAnimations[1].frameCount = 2;
    gAnimations[1].frames.tag = gPieces;
    gTextureAnimations = gAnimations;
    gTextureAnimationCount = 2;
    Block()->fontScale = 1;
    return true;
  }();
  (void)ready;
  gEngine3D = &gReplayEngine;
}

void ClearReplayEngine() {
  B3D_ExitReplay();
  B3D_ExitRecording();
  EngineState3D& e = gReplayEngine;
  while (uint32_t key = HashNextKey(e.takeTable, 0)) {
    auto* take = reinterpret_cast<TakeRecord*>(HashRemove(e.takeTable, key));
    if (take->instances) EngineFree(take->instances, static_cast<uint32_t>(take->instanceCount) * 4);
    EngineFree(take, sizeof(TakeRecord));
  }
  e.lensFlareScene = nullptr;
  e.frameWord = e.lensFlareInstance = nullptr;
  while (ListNode* n = ListFirst(&e.scenes)) B3D_SceneFree(ListRecord<SceneRecord>(n));
  while (ListNode* n = ListFirst(&e.instances)) FreeInstance(InstanceOfNode(n));
  while (ListNode* n = ListFirst(&e.particleList3)) {
    auto* emitter = ListRecord<EmitterRecord>(n);
    ListRemove(n);
    HashRemove(e.particleTable, emitter->handle);
    EngineFree(emitter, sizeof(EmitterRecord));
  }
  if (HashGet(e.cutTable, gPlacedCut.handle) == reinterpret_cast<HashValue>(&gPlacedCut)) {
    HashRemove(e.cutTable, gPlacedCut.handle);
  }
  SetAddedBodyRows(0);
  SetAddedCutRows(0);
}

void FillSaveEngine() {
  SetUpReplayEngine();
  // Free trees, a scene with a member tree and a camera under the member, names, two takes.
  InstanceRecord* loose = B3D_InstAlloc();
  B3D_InstAddToInst(B3D_InstAlloc(), loose);
  loose->name = DuplicateString("loose");
  SceneRecord* scene = B3D_SceneAlloc();
  InstanceRecord* member = B3D_InstAlloc();
  AddInstanceToScene(member, scene);
  B3D_InstAddToInst(B3D_InstAlloc(), member);
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, scene);
  camera->instance.parent = member;
  camera->environmentSource = camera->instance.handle;
  member->linkedCamera = camera;
  for (int32_t k : {0, 2}) {
    auto* take = EngineAllocRecord<TakeRecord>();
    take->handle = HashInsertNewKey(gReplayEngine.takeTable, reinterpret_cast<HashValue>(take));
    take->scene = scene;
    take->instanceCount = k;
    if (k) {
      take->instances = static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * k, k * 4));
      take->instances[0] = member;
      take->cutHandle = gPlacedCut.handle;
    }
  }
  // A placed cut, held in the cut table until the engine is cleared.
  gPlacedCut.originFlags = 1;
  gPlacedCut.originPosition = FixedVector{100, -200, 300, 0};
  MatrixSetIdentity(&gPlacedCut.originRotation);
  HashInsert(gReplayEngine.cutTable, gPlacedCut.handle, reinterpret_cast<HashValue>(&gPlacedCut));
}

std::vector<std::string> EngineSaveSections() {
  SetUpReplayEngine();
  std::vector<std::string> sections;
  const std::string path = World() + "/b3d.seed";
  const auto write = [&] {
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpen(&file, path.c_str(), "wbT", false)) return;
    const bool ok = SaveEngineState(&file) == 1;
    FileClose(&file);
    std::string bytes;
    if (ok && ReadFile(path, &bytes)) sections.push_back(bytes);
  };
  write();
  FillSaveEngine();
  write();
  ClearReplayEngine();
  return sections;
}

std::vector<std::string> RecordedStreams() {
  SetUpReplayEngine();
  std::vector<std::string> streams;
  RecordScene();
  streams.push_back(ReadStream());
  ClearReplayEngine();
  RecordDrawing();
  streams.push_back(ReadStream());
  ClearReplayEngine();
  return streams;
}

}  // namespace fuzz
