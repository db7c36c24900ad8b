// Scenes and cameras: a scene is a named set of root instances with the cameras that look at
// it. This file owns scene allocation, camera life and membership (a camera sits in the engine's
// free instance list or in one scene's camera list; only in an enabled scene does it hold a
// device viewport), the camera setters, unprojection, the draw-list sort, the end-of-frame
// reset, the nearest camera, near-instance collection, shake and the listener commit. Called by
// the natives, the frame driver and the device reset. It never frees a scene and never draws.
#include "scene/scene_cameras.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/display_modes.h"
#include "render/render_matrices.h"
#include "render/screen_effects.h"
#include "render/texture_animation.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_records.h"
#include "script/tasks.h"

int32_t gCameraNearCount = 0;
ListenerHooks gListenerHooks = {nullptr, true, nullptr, true};

namespace {

constexpr float kNewSceneSystemScale = 0.01f;
constexpr int32_t kNewSceneValues[3] = {32, 32, 64};
constexpr uint32_t kNewCameraFieldOfView = 16384;  // 90 degrees
constexpr int32_t kViewportMax = 0xFFFF;
constexpr int64_t kNearDistanceLimit = 0xFFFFFFF;
constexpr int64_t kNearSizeFactor = 64;

void FreeCausticAnim(CameraRecord* camera) {
  if (camera->causticAnim) TexAnimFreeRecords(1, camera->causticAnim);
  camera->causticAnim = nullptr;
  camera->causticAnimId = 0;
}

// Relinks `later`, the node right after `earlier`, in front of it.
void SwapWithNext(ListNode* earlier, ListNode* later) {
  ListRemove(later);
  ListNode* before = NodePred(earlier);  // may be the list head seen as a node
  NodePred(later) = before;
  NodeSucc(later) = earlier;
  NodeSucc(before) = later;
  NodePred(earlier) = later;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scenes.

SceneRecord* B3D_SceneAlloc() {
  if (!gEngine3D) return nullptr;
  auto* scene = EngineAllocRecord<SceneRecord>();
  if (!scene) return nullptr;
  scene->handle = HashInsertNewKey(gEngine3D->sceneTable, reinterpret_cast<HashValue>(scene));
  if (scene->handle == 0) {
    EngineFree(scene, sizeof(SceneRecord));
    return nullptr;
  }
  ListInit(&scene->members);
  ListInit(&scene->cameras);
  ListInit(&scene->renderEntries);
  ListAddTail(&gEngine3D->scenes, &scene->node);
  scene->systemScale = kNewSceneSystemScale;
  for (int i = 0; i < 3; ++i) scene->values[i] = kNewSceneValues[i];
  scene->frameObject = nullptr;
  return scene;
}

void B3D_SceneSetName(SceneRecord* scene, const char* text) {
  if (scene) scene->name = ReplaceString(scene->name, text);
}

RenderEntry* SceneRenderEntryFind(SceneRecord* scene, uint32_t key) {
  if (!scene) return nullptr;
  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    if (ListRecord<RenderEntry>(node)->key == key) return ListRecord<RenderEntry>(node);
  }
  return nullptr;
}

void SceneEndFrame(SceneRecord* scene) {
  if (!scene) return;
  const bool replaying = gEngine3D && (gEngine3D->engineFlags & kEngineReplaying);
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (!replaying) member->flags &= ~kInstFrameMark;
    for (ListNode* child = ListFirst(&member->children); child; child = ListNext(child)) {
      InstClearFrameMark(InstanceOfNode(child));
    }
  }
}

void SceneCamerasRefresh() {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      if (camera->viewport) SceneClear(camera);
    }
  }
}

int32_t SceneNearestCameraDistance(SceneRecord* scene, InstanceRecord* instance, int32_t skipBehind) {
  if (!scene || !instance) return INT32_MIN;
  float best = -1.0f;
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    const CameraRecord* camera = ListRecord<CameraRecord>(node);
    if (!(camera->cameraFlags & kCameraEnabled)) continue;
    const FixedVector& eye = camera->instance.world;
    const FixedVector& at = instance->world;
    if (skipBehind) {
      const int32_t* forward = camera->instance.worldMatrix.m[2];
      const int64_t dot = MulRound16(forward[0], int64_t{eye.x} - at.x) + MulRound16(forward[1], int64_t{eye.y} - at.y) +
                          MulRound16(forward[2], int64_t{eye.z} - at.z);
      if (dot > 0) continue;
    }
    const float dx = static_cast<float>(int64_t{at.x} - eye.x);
    const float dy = static_cast<float>(int64_t{at.y} - eye.y);
    const float dz = static_cast<float>(int64_t{at.z} - eye.z);
    const float d2 = dx * dx + dy * dy + dz * dz;
    if (d2 < best || best == -1.0f) best = d2;
  }
  // No camera taken: the root of -1 has no integer value, so the answer is stated outright.
  if (best < 0.0f) return INT32_MIN;
  const double root = std::sqrt(static_cast<double>(best));
  return root >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(root);
}

// ---------------------------------------------------------------------------------------------
// Camera life and membership.

CameraRecord* B3D_CameraAlloc() {
  if (!gEngine3D) return nullptr;
  auto* camera = EngineAllocRecord<CameraRecord>();
  if (!camera) return nullptr;
  InstanceRecord* instance = &camera->instance;
  instance->handle = HashInsertNewKey(gEngine3D->handleTable, reinterpret_cast<HashValue>(camera));
  if (instance->handle == 0) {
    EngineFree(camera, sizeof(CameraRecord));
    return nullptr;
  }
  ListInit(&instance->children);
  instance->flags = (instance->flags & ~kInstLight) | kInstCamera;
  instance->bodyId = -1;
  MatrixFromAngles(&instance->matrix, 0, 0, 0);
  ListAddTail(&gEngine3D->instances, &instance->node);
  ListInit(&camera->nodes);
  ListInit(&camera->entries);
  camera->viewTop = 0;
  camera->viewBottom = kFixedOne;
  camera->viewLeft = 0;
  camera->viewRight = kFixedOne;
  camera->fieldOfView = kNewCameraFieldOfView;
  camera->priority = 0;
  for (int32_t& factor : camera->factors) factor = kFixedOne;
  camera->aspectWidth = camera->aspectHeight = 0;
  camera->causticAnimId = 0;
  camera->causticAnim = nullptr;
  camera->fadeValue = 0;
  return camera;
}

void B3D_CameraFree(CameraRecord* camera) {
  if (!camera) return;
  InstanceRecord* instance = &camera->instance;
  if (instance->jobFlags & kJobTaskWaits) {
    // The wake itself checks the script engine, its active state and the module's callback.
    if (instance->waitModule < kModuleRowCount) {
      ModuleResumeInt(instance->waitModule, kWakeCameraFreed, static_cast<uint32_t>(instance->waitToken));
    }
    instance->jobFlags &= ~kJobTaskWaits;
  }
  while (ListNode* node = ListFirst(&camera->nodes)) {
    ListRemove(node);
    CameraNodeFree(ListRecord<CameraNode>(node));
  }
  FreeCausticAnim(camera);
  // A camera is an instance: texture coordinates a script gave it go with it.
  InstFreeTexAnim(instance);
  while (ListNode* node = ListFirst(&camera->entries)) CameraEntryFree(ListRecord<CameraEntry>(node));
  // Instances attached to the camera go with it, as they do with any other parent.
  while (ListNode* child = ListFirst(&instance->children)) FreeInstance(InstanceOfNode(child));
  if (instance->scene) B3D_CameraDeleteFromScene(instance->scene, camera);
  // A viewport kept past its scene's switch-off, or made outside any scene, goes with the camera.
  ViewportFree(camera);
  InstClearEngineLinks(instance);
  ListRemove(&instance->node);
  if (gEngine3D) HashRemove(gEngine3D->handleTable, instance->handle);
  instance->name = FreeString(instance->name);
  *camera = CameraRecord{};
  EngineFree(camera, sizeof(CameraRecord));
}

void B3D_CameraAddToScene(CameraRecord* camera, SceneRecord* scene) {
  if (!camera || !scene) return;
  if (camera->instance.scene) B3D_CameraDeleteFromScene(camera->instance.scene, camera);
  ListRemove(&camera->instance.node);
  ListAddTail(&scene->cameras, &camera->instance.node);
  camera->instance.scene = scene;
  // Only a camera that holds a viewport is marked enabled, so no pass draws through a missing one.
  if ((scene->flags & kSceneEnabled) && ViewportCreate(camera)) camera->cameraFlags |= kCameraEnabled;
}

void B3D_CameraDeleteFromScene(SceneRecord* scene, CameraRecord* camera) {
  if (!scene || !camera || !gEngine3D) return;
  if (scene->flags & kSceneEnabled) {
    ViewportFree(camera);
    camera->cameraFlags &= ~kCameraEnabled;
  }
  ListRemove(&camera->instance.node);
  ListAddTail(&gEngine3D->instances, &camera->instance.node);
  camera->instance.scene = nullptr;
}

void CameraEntryFree(CameraEntry* entry) {
  if (!entry) return;
  if (NodeSucc(&entry->node)) ListRemove(&entry->node);
  EngineFree(entry, kCameraEntryNominalBytes);
}

// ---------------------------------------------------------------------------------------------
// Camera settings.

void CameraSetViewport(CameraRecord* camera, int32_t top, int32_t right, int32_t left, int32_t bottom) {
  if (!camera) return;
  // Every edge stays a fraction of the screen, so the spans the renderer takes never overflow.
  camera->viewTop = std::clamp(top, 0, kViewportMax);
  camera->viewLeft = std::clamp(left, 0, kViewportMax);
  camera->viewBottom = std::clamp(bottom, 0, kViewportMax);
  camera->viewRight = std::clamp(right, 0, kViewportMax);
  if (camera->viewport) ViewportCompute(camera);
}

void B3D_CameraSetFadeValue(CameraRecord* camera, int32_t value) {
  if (camera) camera->fadeValue = value;
}

void B3D_CameraSetPri(CameraRecord* camera, int32_t priority) {
  if (camera) camera->priority = priority;
}

void B3D_CameraSetFocus(CameraRecord* camera, uint32_t fieldOfView) {
  if (camera) camera->fieldOfView = fieldOfView;
}

void B3D_CameraSetBackgroundColor(CameraRecord* camera, int32_t red, int32_t green, int32_t blue) {
  if (!camera) return;
  camera->background[0] = red;
  camera->background[1] = green;
  camera->background[2] = blue;
}

void B3D_CameraSetAspectRatio(CameraRecord* camera, int32_t width, int32_t height) {
  if (!camera) return;
  camera->aspectWidth = width;
  camera->aspectHeight = height;
}

void B3D_CameraSetAspect(CameraRecord* camera, int32_t width, int32_t height) {
  B3D_CameraSetAspectRatio(camera, width, height);
}

void B3D_CameraSetFog(CameraRecord* camera, int32_t a, int32_t b, int32_t c) {
  if (!camera) return;
  camera->fog[0] = a;
  camera->fog[1] = b;
  camera->fog[2] = c;
  if (a < 0) camera->cameraFlags &= ~kCameraFog;
  else camera->cameraFlags |= kCameraFog;
}

void B3D_CameraSetCausticAnim(CameraRecord* camera, int32_t id) {
  if (!camera) return;
  FreeCausticAnim(camera);
  if (id == 0) return;
  if (id > 0) camera->causticAnim = TexAnimCreateRecords(1, &id, nullptr, nullptr, nullptr, nullptr, nullptr);
  camera->causticAnimId = id;
}

void B3D_CameraShake(CameraRecord* camera, int32_t amount) {
  if (!camera || amount < 1) return;
  FixedMatrix* m = &camera->instance.matrix;
  int32_t a = 0, b = 0, c = 0;
  MatrixToAngles(m, &a, &b, &c);
  const auto turn = [amount] {
    return static_cast<int32_t>(amount - (int64_t{2} * amount * GameRand()) / 32768);
  };
  b += turn();
  a += turn();
  MatrixFromAngles(m, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c));
}

// ---------------------------------------------------------------------------------------------
// Projection and ordering.

void CameraUnproject(const CameraRecord* camera, int32_t x, int32_t y, int32_t depth, FixedVector* out) {
  if (!out) return;
  *out = FixedVector{0, 0, depth, 0};
  if (!camera) return;
  const DisplayModeRecord* mode = gEngine3D ? gEngine3D->screenMode : nullptr;
  const int64_t screenW = mode ? mode->width : 0;
  const int64_t screenH = mode ? mode->height : 0;
  const bool ownAspect = camera->aspectWidth > 0 && camera->aspectHeight > 0;
  const int64_t w = ownAspect ? camera->aspectWidth : screenW;
  const int64_t h = ownAspect ? camera->aspectHeight : screenH;

  const uint32_t half = (camera->fieldOfView / 2) & 0xFFFF;
  const int64_t s = TableSine(half);
  const int64_t c = TableCosine(half);
  const int64_t t = c == 0 ? 0 : int64_t{depth} * s / c;

  const int64_t fx = screenW == 0 ? 0 : (int64_t{x} << 16) / screenW;
  const int64_t cx = fx - (int64_t{camera->viewLeft} + camera->viewRight) / 2;
  const int64_t bigX = 2 * MulRound16(MulRound16(t, w), cx);
  const int64_t fy = screenH == 0 ? 0 : (int64_t{y} << 16) / screenH;
  const int64_t cy = fy - (int64_t{camera->viewTop} + camera->viewBottom) / 2;
  const int64_t bigY = -2 * MulRound16(MulRound16(t, h), cy);

  const int64_t spanX = int64_t{camera->viewRight} - camera->viewLeft;
  const int64_t spanY = int64_t{camera->viewBottom} - camera->viewTop;
  out->x = spanX == 0 ? 0 : SaturateToInt32((bigX << 16) / spanX);
  out->y = spanY == 0 ? 0 : SaturateToInt32((bigY << 16) / spanY);
}

int CompareCameraPriority(const void* a, const void* b) {
  const int32_t pa = (*static_cast<CameraRecord* const*>(a))->priority;
  const int32_t pb = (*static_cast<CameraRecord* const*>(b))->priority;
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void SortDrawList(const CameraRecord* camera) {
  if (!gEngine3D || !camera) return;
  const bool ascending = camera->cameraFlags & kCameraDrawListAscending;
  ListHead* list = &gEngine3D->drawList;
  const auto outOfOrder = [ascending](const ListNode* a, const ListNode* b) {
    const int32_t ka = reinterpret_cast<const DrawListNode*>(a)->sortKey;
    const int32_t kb = reinterpret_cast<const DrawListNode*>(b)->sortKey;
    return ascending ? ka > kb : ka < kb;
  };
  // Everything from the node the last swap moved backward onwards is in place after a pass.
  const ListNode* stop = nullptr;
  for (;;) {
    bool swapped = false;
    const ListNode* movedBack = nullptr;
    for (ListNode* node = ListFirst(list); node && node != stop;) {
      ListNode* next = ListNext(node);
      if (!next) break;
      if (outOfOrder(node, next)) {
        SwapWithNext(node, next);
        movedBack = next;
        swapped = true;
      } else {
        node = next;
      }
    }
    if (!swapped) break;
    stop = movedBack;
  }
}

// ---------------------------------------------------------------------------------------------
// Near instances, listener and tint.

void CameraCollectNearInstances(InstanceRecord* instance, CameraRecord* camera) {
  if (!instance || !camera || gCameraNearCount >= kCameraNearInstanceCount) return;
  int64_t d = ChebyshevDistance(&instance->world, &camera->instance.world);
  if (d < kNearDistanceLimit) d = d * camera->fieldOfView / 16384;
  if (d < kNearSizeFactor * B3D_InstGetTotalSize(instance)) {
    constexpr uint32_t kNearFlags = kInstCollisionMade | kInstCameraCoordsDone;
    if ((instance->flags & kNearFlags) == kNearFlags && !(instance->flags2 & kInst2NotNear)) {
      camera->nearInstances[gCameraNearCount++] = instance;
      if (gCameraNearCount >= kCameraNearInstanceCount) return;
    }
    for (ListNode* child = ListFirst(&instance->children); child && gCameraNearCount < kCameraNearInstanceCount;
         child = ListNext(child)) {
      CameraCollectNearInstances(InstanceOfNode(child), camera);
    }
  }
}

void CaptureFrameCheck(CameraRecord* camera) {
  if (!camera || !(camera->cameraFlags & kCameraListener) || !gListenerHooks.usable) return;
  if (!gSystem || !(gSystem->audioFlags & kAudioListenerFollowsCamera)) return;
  if (!gListenerHooks.commit || !gListenerHooks.commit()) gListenerHooks.usable = false;
}

void DrawCameraTint(CameraRecord* camera, uint32_t colour) { DrawScreenTint(colour, camera); }
