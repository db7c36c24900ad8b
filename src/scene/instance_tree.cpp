// Scene membership and the instance tree: the list an instance lives in, attaching and detaching
// trees, render data that follows enabled scenes, freeing instances and scenes, copying trees.
// Called by the natives, takes, replay, the universe model and the engine's lifecycle. Never
// leaves a pointer to a freed instance in an engine record, and never links a tree into itself.
#include "scene/instance_tree.h"

#include "core/memory.h"
#include "render/device_lights.h"
#include "render/render_matrices.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "scene/script_frees.h"
#include "scene/take_records.h"
#include "script/tasks.h"

namespace {

constexpr int32_t kWakeInstanceFreed = 2;

FreedInstanceHook gFreedInstanceHook = nullptr;

template <typename Fn>
void ForEachChild(InstanceRecord* instance, Fn fn) {
  for (ListNode* child = ListFirst(&instance->children); child;) {
    ListNode* next = ListNext(child);
    fn(InstanceOfNode(child));
    child = next;
  }
}

void SetTreeScene(InstanceRecord* instance, SceneRecord* scene) {
  instance->scene = scene;
  ForEachChild(instance, [scene](InstanceRecord* child) { SetTreeScene(child, scene); });
}

// The parent chain's cached total sizes include the child's; each must be measured again.
void InvalidateChainSize(InstanceRecord* instance) {
  for (; instance; instance = instance->parent) instance->subtreeSize = -1;
}

void ClearTakeLinks(const InstanceRecord* instance) {
  for (uint32_t key = HashNextKey(gEngine3D->takeTable, 0); key; key = HashNextKey(gEngine3D->takeTable, key)) {
    auto* take = reinterpret_cast<TakeRecord*>(HashGet(gEngine3D->takeTable, key));
    if (!take) continue;
    if (take->instance == instance) take->instance = nullptr;
    for (int32_t i = 0; i < take->instanceCount && take->instances; ++i) {
      if (take->instances[i] == instance) take->instances[i] = nullptr;
    }
  }
}

void ClearCameraLinks(const InstanceRecord* instance) {
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    SceneForgetInstance(scene, instance);
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      for (InstanceRecord*& near : camera->nearInstances) {
        if (near == instance) near = nullptr;
      }
    }
  }
}

// Instances that play a path for a camera drive it through their link.
void ClearLinkedCameraLinks(const InstanceRecord* camera) {
  const HashTable* table = gEngine3D->handleTable;
  for (uint32_t b = 0; table && table->buckets && b < table->bucketCount; ++b) {
    for (HashEntry* e = table->buckets[b]; e; e = e->next) {
      auto* instance = reinterpret_cast<InstanceRecord*>(e->value);
      if (instance && instance->linkedCamera && &instance->linkedCamera->instance == camera)
        instance->linkedCamera = nullptr;
    }
  }
}

bool IsInTree(const InstanceRecord* root, const InstanceRecord* instance) {
  for (const InstanceRecord* at = instance; at; at = at->parent) {
    if (at == root) return true;
  }
  return false;
}

void FreeDeviceLight(InstanceRecord* instance) {
  D3DLightFree(instance->deviceLight);
  instance->deviceLight = nullptr;
}

}  // namespace

void SetFreedInstanceHook(FreedInstanceHook hook) { gFreedInstanceHook = hook; }

void InstClearEngineLinks(InstanceRecord* instance) {
  InstForgetQueuedFree(instance);
  if (gFreedInstanceHook) gFreedInstanceHook(instance);
  if (!gEngine3D) return;
  if (gEngine3D->frameWord == instance) gEngine3D->frameWord = nullptr;
  if (gEngine3D->lensFlareInstance == instance) gEngine3D->lensFlareInstance = nullptr;
  ClearTakeLinks(instance);
  ClearCameraLinks(instance);
  if (instance->flags & kInstCamera) ClearLinkedCameraLinks(instance);
}

// ---------------------------------------------------------------------------------------------
// Render data.

void InstPrepareRenderData(InstanceRecord* instance) {
  if (!instance || (instance->flags & kInstRenderReady)) return;
  // A ready instance holds one use of its body's device meshes, given back when it is released;
  // without them its parts have nothing to draw with. A body that cannot be loaded or built
  // leaves the instance not ready, so the next enable or bind tries again.
  if (instance->flags & kInstLight) {
    if (!instance->deviceLight && !LightCreateD3DLight(instance)) return;
  } else if (instance->bodyId != -1 && !InstEnsureBodyMeshes(instance)) {
    return;
  }
  instance->flags |= kInstRenderReady;
}

void InstPrepareRenderDataTree(InstanceRecord* instance) {
  if (!instance) return;
  InstPrepareRenderData(instance);
  ForEachChild(instance, InstPrepareRenderDataTree);
}

void InstReleaseRenderData(InstanceRecord* instance) {
  if (!instance || !(instance->flags & kInstRenderReady)) return;
  if (instance->flags & kInstLight) {
    FreeDeviceLight(instance);
  } else {
    instance->soundFlags &= ~kInstSoundPlaying;
    instance->soundChannel = -1;
    if (instance->bodyId != -1) BodyReleaseMeshesById(instance);
  }
  instance->flags &= ~kInstRenderReady;
}

void InstReleaseRenderDataTree(InstanceRecord* instance) {
  if (!instance) return;
  ForEachChild(instance, InstReleaseRenderDataTree);
  InstReleaseRenderData(instance);
}

// ---------------------------------------------------------------------------------------------
// Membership.

void AddInstanceToScene(InstanceRecord* instance, SceneRecord* scene) {
  if (!instance || !scene) return;
  if (instance->scene) RemoveInstanceFromScene(instance, instance->scene);
  InvalidateChainSize(instance->parent);
  instance->parent = nullptr;
  if (instance->node.succ) ListRemove(&instance->node);
  ListAddTail(&scene->members, &instance->node);
  SetTreeScene(instance, scene);
  if (scene->flags & kSceneEnabled) InstPrepareRenderDataTree(instance);
}

void RemoveInstanceFromScene(InstanceRecord* instance, SceneRecord* scene) {
  if (!instance || !scene || instance->scene != scene) return;
  ForEachChild(instance, [scene](InstanceRecord* child) { RemoveInstanceFromScene(child, scene); });
  if (scene->flags & kSceneEnabled) InstReleaseRenderData(instance);
  if (!instance->parent) {
    ListRemove(&instance->node);
    if (gEngine3D) ListAddTail(&gEngine3D->instances, &instance->node);
  }
  instance->scene = nullptr;
}

bool B3D_InstAddToInst(InstanceRecord* child, InstanceRecord* parent) {
  // A tree linked under itself would make every walk over it endless.
  if (!child || !parent || IsInTree(child, parent)) return false;
  if (child->scene) RemoveInstanceFromScene(child, child->scene);
  InvalidateChainSize(child->parent);
  if (child->node.succ) ListRemove(&child->node);
  ListAddTail(&parent->children, &child->node);
  child->parent = parent;
  InvalidateChainSize(parent);
  if (parent->scene) {
    SetTreeScene(child, parent->scene);
    if (parent->scene->flags & kSceneEnabled) InstPrepareRenderDataTree(child);
  }
  return true;
}

void FreeInstance(InstanceRecord* instance) {
  if (!instance) return;
  // A camera has lists, records and a viewport of its own, which only the camera free gives back.
  if (instance->flags & kInstCamera) {
    B3D_CameraFree(CameraOfInstance(instance));
    return;
  }
  InstFreeTexAnim(instance);
  if (instance->jobFlags & kJobTaskWaits) {
    instance->jobFlags &= ~kJobTaskWaits;
    ModuleResumeInt(instance->waitModule, kWakeInstanceFreed, static_cast<uint32_t>(instance->waitToken));
  }
  while (ListNode* child = ListFirst(&instance->children)) FreeInstance(InstanceOfNode(child));
  if (instance->scene) RemoveInstanceFromScene(instance, instance->scene);
  InstFreeLinkedParts(instance);
  // A light freed outside an enabled scene may still hold its device record.
  FreeDeviceLight(instance);
  InstClearEngineLinks(instance);
  InvalidateChainSize(instance->parent);
  if (instance->node.succ) ListRemove(&instance->node);
  if (gEngine3D) HashRemove(gEngine3D->handleTable, instance->handle);
  instance->name = FreeString(instance->name);
  EngineFree(instance, sizeof(InstanceRecord));
}

void InstFreeChildrenByMask(InstanceRecord* instance, uint32_t mask, int32_t invert) {
  if (!instance) return;
  ForEachChild(instance, [mask, invert](InstanceRecord* child) {
    const bool shares = (child->collisionMask & mask) != 0;
    if (shares != (invert != 0)) FreeInstance(child);
  });
}

void CopyInstanceTree(const InstanceRecord* source, InstanceRecord* destination, InstanceRecord* parent) {
  if (!source || !destination) return;
  if (source->bodyId != 0) B3D_InstSetBody(destination, source->bodyId);
  if (parent) B3D_InstAddToInst(destination, parent);
  destination->flags2 = source->flags2 & 1u;
  destination->position = source->position;
  destination->matrix = source->matrix;
  destination->world = source->world;
  destination->worldMatrix = source->worldMatrix;
  for (ListNode* node = ListFirst(&const_cast<InstanceRecord*>(source)->children); node; node = ListNext(node)) {
    InstanceRecord* copy = B3D_InstAlloc();
    if (!copy) return;
    CopyInstanceTree(InstanceOfNode(node), copy, destination);
  }
}

// ---------------------------------------------------------------------------------------------
// Scenes.

void B3D_SceneEnable(SceneRecord* scene) {
  if (!scene || (scene->flags & kSceneEnabled)) return;
  scene->flags |= kSceneEnabled;
  for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
    CameraRecord* camera = ListRecord<CameraRecord>(c);
    if (!camera->viewport && ViewportCreate(camera)) camera->cameraFlags |= kCameraEnabled;
  }
  for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) InstPrepareRenderDataTree(InstanceOfNode(m));
}

void B3D_SceneDisable(SceneRecord* scene) {
  if (!scene || !(scene->flags & kSceneEnabled)) return;
  for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) InstReleaseRenderDataTree(InstanceOfNode(m));
  for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
    CameraRecord* camera = ListRecord<CameraRecord>(c);
    if (camera->viewport) ViewportFree(camera);
    camera->cameraFlags &= ~kCameraEnabled;
  }
  scene->flags &= ~kSceneEnabled;
}

void B3D_EnableAllObjects3D() {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (!(scene->flags & kSceneEnabled)) continue;
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      if ((camera->cameraFlags & kCameraEnabled) && !camera->viewport) ViewportCreate(camera);
    }
    for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) InstPrepareRenderDataTree(InstanceOfNode(m));
  }
}

void B3D_DisableAllObjects3D() {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (!(scene->flags & kSceneEnabled)) continue;
    for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) InstReleaseRenderDataTree(InstanceOfNode(m));
    // The enabled bit stays, so enabling all again rebuilds exactly these viewports.
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      if (camera->viewport) ViewportFree(camera);
    }
    if (scene->flags & kSceneBatch) ReleaseSceneParticles(scene);
  }
}

void B3D_FreeAllBodies() {
  B3D_DisableAllObjects3D();
  FreeUnusedBodies(true);
  B3D_EnableAllObjects3D();
}

void B3D_SceneClear(SceneRecord* scene) {
  if (!scene) return;
  while (ListNode* member = ListFirst(&scene->members)) RemoveInstanceFromScene(InstanceOfNode(member), scene);
  while (ListNode* node = ListFirst(&scene->cameras)) B3D_CameraDeleteFromScene(scene, ListRecord<CameraRecord>(node));
}

void B3D_SceneFree(SceneRecord* scene) {
  if (!scene) return;
  while (ListNode* member = ListFirst(&scene->members)) FreeInstance(InstanceOfNode(member));
  while (ListNode* node = ListFirst(&scene->cameras)) {
    CameraRecord* camera = ListRecord<CameraRecord>(node);
    B3D_CameraDeleteFromScene(scene, camera);
    B3D_CameraFree(camera);
  }
  B3D_SceneDisable(scene);
  SceneReleaseRenderEntries(scene);
  ReleaseSceneParticles(scene);
  if (gEngine3D) {
    if (gEngine3D->lensFlareScene == scene) gEngine3D->lensFlareScene = nullptr;
    HashRemove(gEngine3D->sceneTable, scene->handle);
  }
  ListRemove(&scene->node);
  scene->name = FreeString(scene->name);
  EngineFree(scene, sizeof(SceneRecord));
}
