// The engine frame: scene preparation, the cameras in priority order with bloom, environment
// maps, fades and the lens-flare scene, then overlay, statistics, recording and replay. Called
// once per frame by the game loop. The lens-flare scene takes no part in counting, the member
// update, the scene preparation or the end of frame; recording and replay run only on an open
// stream and an existing replay, whatever the engine flags say.
#include "scene/engine_frame.h"

#include <algorithm>
#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/draw_batches.h"
#include "render/effect_cache.h"
#include "render/environment_map.h"
#include "render/particle_drawing.h"
#include "render/quality_stats.h"
#include "render/render_matrices.h"
#include "render/screen_effects.h"
#include "render/small_ops.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lens_flares.h"
#include "scene/lights.h"
#include "scene/pass_gathering.h"
#include "scene/recording.h"
#include "scene/replay.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "scene/scene_update.h"

namespace {

constexpr int32_t kEnvironmentFaces = 6;
constexpr int32_t kCameraTexAnimCount = 1;

int32_t gCameraArrayFailures = 0;

CameraRecord** AllocCameraArray(size_t bytes) {
  if (gCameraArrayFailures > 0) {
    --gCameraArrayFailures;
    return nullptr;
  }
  return static_cast<CameraRecord**>(MemAlloc(bytes, 0));
}

CameraRecord* CameraOfNode(ListNode* node) { return ListRecord<CameraRecord>(node); }

bool CameraOn(const CameraRecord* camera) { return camera->cameraFlags & kCameraEnabled; }

// The listener's deferred settings, committed after a listener camera was drawn.
void CommitListener(CameraRecord* camera) { CaptureFrameCheck(camera); }

void DrawPasses(SceneRecord* scene, CameraRecord* camera) {
  for (int32_t pass = scene->firstPass; pass <= scene->lastPass; ++pass) {
    if (camera->cameraFlags & kCameraExtraPass4) RenderScenePass(scene, camera, pass, 4);
    RenderScenePass(scene, camera, pass, 0);
    SortDrawList(camera);
    DrawPassList(camera);
  }
}

void ClearFlareVisibility() {
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    for (ListNode* c = ListFirst(&ListRecord<SceneRecord>(s)->cameras); c; c = ListNext(c)) {
      for (ListNode* n = ListFirst(&CameraOfNode(c)->nodes); n; n = ListNext(n)) ListRecord<CameraNode>(n)->visible = 0;
    }
  }
}

// Step 7: prepares each scene and collects its enabled cameras into the array while it has room.
int32_t PrepareScenes(SceneRecord* flareScene, CameraRecord** cameras, int32_t capacity) {
  int32_t count = 0;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (scene == flareScene) continue;
    SceneUpdateMatrices(scene);
    CameraRecord* particleCamera = nullptr;
    if (scene->flags & kSceneEnabled) {
      for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
        CameraRecord* camera = CameraOfNode(c);
        if (!CameraOn(camera)) continue;
        if (cameras && count < capacity) cameras[count++] = camera;
        if (camera->cameraFlags & kCameraParticles) particleCamera = camera;
      }
    }
    if (particleCamera) {
      scene->flags |= kSceneBatch;
      SceneBatchBuild(scene, particleCamera);
    } else if (scene->flags & kSceneBatch) {
      ReleaseSceneParticles(scene);
      SceneBatchRelease(scene);
      scene->flags &= ~kSceneBatch;
    }
  }
  return count;
}

bool EnvironmentMapsOff() { return gSystem && (gSystem->d3dFlags2 & kD3D2NoEnvMap); }

void DrawEnvironmentCamera(CameraRecord* camera) {
  EngineState3D& e = *gEngine3D;
  SceneRecord* scene = camera->instance.scene;
  if (!scene || !(scene->flags & kSceneEnvironmentPass) || EnvironmentMapsOff()) return;
  const bool refreshAsked = (e.engineFlags & kEngineEnvRefreshWanted) && gSystem &&
                            gSystem->frameRate > kEnvRefreshFrameRate;
  if (!refreshAsked && (e.engineFlags & kEngineEnvRefreshed)) return;
  DeviceEndScene();
  ResetRenderStates();
  RenderEnvironmentMap(camera, scene);
  e.engineFlags = (e.engineFlags & ~kEngineEnvRefreshWanted) | kEngineEnvRefreshed;
  DeviceBeginScene();
}

void DrawCamera(CameraRecord* camera) {
  SceneRecord* scene = camera->instance.scene;
  if (!scene) return;
  CameraTrackMotion(camera);
  UpdateSceneForCamera(scene, camera);
  CameraPrepareView(scene, camera);
  UpdateMembersForCamera(scene, camera);
  DrawPasses(scene, camera);
  ResetLightSlots();
  if (camera->cameraFlags & kCameraParticles) RenderParticles(scene);
  CommitListener(camera);
  B3D_SceneEnable(gEngine3D->lensFlareScene);
  camera->nearInstances[0] = nullptr;
  if (!(camera->cameraFlags & kCameraNoLensFlares)) LensFlareOcclusion(camera);
}

void DrawFade(CameraRecord* camera) {
  SceneRecord* scene = camera->instance.scene;
  if (!scene) return;
  const uint32_t saved = camera->cameraFlags;
  camera->cameraFlags &= ~(kCameraFadeBit4 | kCameraFadeBit5);
  UpdateSceneForCamera(scene, camera);
  CameraPrepareView(scene, camera);
  DrawCameraTint(camera, static_cast<uint32_t>(camera->fadeValue));
  CommitListener(camera);
  camera->cameraFlags = saved;
}

void DrawLensFlareScene(SceneRecord* flareScene) {
  if (!flareScene || !(flareScene->flags & kSceneEnabled)) return;
  ListNode* first = ListFirst(&flareScene->cameras);
  if (!first) return;
  CameraRecord* camera = CameraOfNode(first);
  // The lens-flare scene takes no part in the frame's matrix pass: its camera, a root that never
  // moves, gets its world copies here, or it would look through a zero matrix and show nothing.
  camera->instance.world = camera->instance.position;
  camera->instance.worldMatrix = camera->instance.matrix;
  UpdateLensFlares();
  UpdateSceneForCamera(flareScene, camera);
  CameraPrepareView(flareScene, camera);
  UpdateMembersForCamera(flareScene, camera);
  RenderScenePass(flareScene, camera, 0, 0);
  SortDrawList(camera);
  DrawPassList(camera);
  DrawCameraTint(camera, static_cast<uint32_t>(gEngine3D->globalFadeValue));
  CommitListener(camera);
}

void DrawCameras(CameraRecord** cameras, int32_t count) {
  std::qsort(cameras, static_cast<size_t>(count), sizeof *cameras, CompareCameraPriority);
  bool bloomDone = false;
  for (int32_t i = 0; i < count; ++i) {
    CameraRecord* camera = cameras[i];
    if (!bloomDone && camera->priority > kBloomPriority) {
      RenderBloom();
      bloomDone = true;
    }
    if (camera->cameraFlags & kCameraEnvironmentMap) DrawEnvironmentCamera(camera);
    else DrawCamera(camera);
  }
  for (int32_t i = 0; i < count; ++i) {
    if (cameras[i]->fadeValue != 0) DrawFade(cameras[i]);
  }
}

}  // namespace

void SetCameraArrayFailures(int32_t count) { gCameraArrayFailures = count; }

void UpdateEngine3DFrame() {
  TexturesUnlockAll();
  if (!gEngine3D) return;
  EngineState3D& e = *gEngine3D;

  int32_t counted = 0;
  for (ListNode* s = ListFirst(&e.scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (scene == e.lensFlareScene || !(scene->flags & kSceneEnabled)) continue;
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) counted += CameraOn(CameraOfNode(c)) ? 1 : 0;
  }
  CameraRecord** cameras = nullptr;
  const size_t bytes = sizeof(CameraRecord*) * static_cast<size_t>(counted);
  if (counted > 0) {
    cameras = AllocCameraArray(bytes);
    if (!cameras) {
      CallLowMemoryHandler();
      cameras = AllocCameraArray(bytes);
    }
  }

  SceneRecord* flareScene = EnsureLensFlareScene();
  e.frameWord = nullptr;
  for (ListNode* s = ListFirst(&e.scenes); s; s = ListNext(s)) {
    if (ListRecord<SceneRecord>(s) != flareScene) SceneAlignHeadings(ListRecord<SceneRecord>(s));
  }
  ClearFlareVisibility();
  DeviceBeginScene();
  const int32_t collected = PrepareScenes(flareScene, cameras, cameras ? counted : 0);
  if (collected > 0) {
    DrawCameras(cameras, collected);
    DrawLensFlareScene(flareScene);
  }

  if (e.screenOverlayName) DrawScreenOverlay(e.screenOverlayName, e.screenOverlayValue);
  FormatAqcStats();
  if ((e.engineFlags & kEngineRecording) && e.recording && e.recording->file) RecordFrame();
  for (ListNode* s = ListFirst(&e.scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (scene == flareScene) continue;
    SceneEndFrame(scene);
    if (scene->frameObject && scene->frameObject->endFrame) scene->frameObject->endFrame(scene->frameObject, scene);
  }
  // The replay may free scenes; it runs after the walk above.
  if ((e.engineFlags & kEngineReplaying) && e.replay) ReplayFrame();
  if (cameras) MemFree(cameras, bytes, 0);
}

void CameraPrepareView(SceneRecord* scene, CameraRecord* camera) {
  if (!scene || !camera) return;
  CameraApplyView(scene, camera);
  SceneClear(camera);
  if (gSystem && (gSystem->audioFlags & kAudioListenerFollowsCamera) && (camera->cameraFlags & kCameraListener) &&
      gListenerHooks.captureUsable && gListenerHooks.resetPlacement && !gListenerHooks.resetPlacement()) {
    gListenerHooks.captureUsable = false;
  }
  SceneCollectLights(scene, camera);
  if (camera->causticAnim) TexAnimUpdate(kCameraTexAnimCount, camera->causticAnim);
}

bool RenderEnvironmentMap(CameraRecord* camera, SceneRecord* scene) {
  if (EnvironmentMapsOff() || !camera || !scene) return true;
  if (gEngine3D && camera->environmentSource) {
    auto* source = reinterpret_cast<InstanceRecord*>(HashGet(gEngine3D->handleTable, camera->environmentSource));
    if (source) camera->instance.world = source->world;
  }
  if (EnvMapBegin() > 0) return true;
  for (int32_t face = 0; face < kEnvironmentFaces; ++face) {
    // The face becomes the target before it is cleared and before its viewport is read.
    EnvMapFaceStart(static_cast<uint32_t>(face));
    EnvMapBeginFace(scene, camera, static_cast<uint32_t>(face));
    SceneCollectLights(scene, camera);
    CameraTrackMotion(camera);
    UpdateSceneForCamera(scene, camera);
    UpdateMembersForCamera(scene, camera);
    DrawPasses(scene, camera);
  }
  EnvMapEnd();
  return false;
}
