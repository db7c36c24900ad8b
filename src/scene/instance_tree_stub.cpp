// The least form of scene membership and freeing: instances move between the engine's list, a
// scene's member list and their parents' child lists with their scene pointers kept; freeing
// unlinks and frees the subtree with its handles, names, texture animation states and linked
// part arrays; a scene is freed with its members and cameras. No render data is prepared or
// released here. Called by the camera nodes that own instances, the cockpits and tests.
#include "core/memory.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"

void FreeInstance(InstanceRecord* instance) {
  if (!instance) return;
  while (ListNode* child = ListFirst(&instance->children)) FreeInstance(InstanceOfNode(child));
  if (instance->node.succ) ListRemove(&instance->node);
  if (gEngine3D) HashRemove(gEngine3D->handleTable, instance->handle);
  instance->name = FreeString(instance->name);
  InstFreeTexAnim(instance);
  InstFreeLinkedParts(instance);
  if (instance->flags & kInstCamera) EngineFree(instance, sizeof(CameraRecord));
  else EngineFree(instance, sizeof(InstanceRecord));
}

namespace {

void SetTreeScene(InstanceRecord* instance, SceneRecord* scene) {
  instance->scene = scene;
  for (ListNode* child = ListFirst(&instance->children); child; child = ListNext(child)) {
    SetTreeScene(InstanceOfNode(child), scene);
  }
}

}  // namespace

void AddInstanceToScene(InstanceRecord* instance, SceneRecord* scene) {
  if (!instance || !scene) return;
  if (instance->scene) RemoveInstanceFromScene(instance, instance->scene);
  instance->parent = nullptr;
  if (instance->node.succ) ListRemove(&instance->node);
  ListAddTail(&scene->members, &instance->node);
  SetTreeScene(instance, scene);
}

void RemoveInstanceFromScene(InstanceRecord* instance, SceneRecord* scene) {
  if (!instance || !scene || instance->scene != scene) return;
  for (ListNode* child = ListFirst(&instance->children); child; child = ListNext(child)) {
    RemoveInstanceFromScene(InstanceOfNode(child), scene);
  }
  if (!instance->parent) {
    ListRemove(&instance->node);
    if (gEngine3D) ListAddTail(&gEngine3D->instances, &instance->node);
  }
  instance->scene = nullptr;
}

void B3D_SceneFree(SceneRecord* scene) {
  if (!scene) return;
  while (ListNode* member = ListFirst(&scene->members)) FreeInstance(InstanceOfNode(member));
  while (ListNode* node = ListFirst(&scene->cameras)) {
    CameraRecord* camera = ListRecord<CameraRecord>(node);
    B3D_CameraDeleteFromScene(scene, camera);
    B3D_CameraFree(camera);
  }
  scene->flags &= ~kSceneEnabled;
  SceneReleaseRenderEntries(scene);
  if (gEngine3D) HashRemove(gEngine3D->sceneTable, scene->handle);
  ListRemove(&scene->node);
  scene->name = FreeString(scene->name);
  EngineFree(scene, sizeof(SceneRecord));
}
