// The least form of freeing an instance: the subtree is unlinked and freed with its handles,
// names, texture animation states and linked part arrays. Called by the camera nodes that own
// instances and by tests; the full membership rules (scenes, cameras, bodies) come later.
#include "core/memory.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"

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
