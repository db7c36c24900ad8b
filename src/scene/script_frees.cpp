// Frees asked for by scripts while the engine walks its instances: the walk depth, the queue of
// records whose handles are already gone, and the drain at the end of the outermost walk.
// Called by the freeing natives, the cut-scene step and the note lookup; the instance tree tells
// it when a queued record is freed some other way, so the drain never frees one twice.
#include "scene/script_frees.h"

#include <algorithm>
#include <vector>

#include "core/hash_table.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"

namespace {

int32_t gWalkDepth = 0;
std::vector<InstanceRecord*> gQueue;

// The handles go now, so a script that looks the record up again finds nothing; the mark keeps
// the walk off the tree until the drain frees it.
void MarkTree(InstanceRecord* instance) {
  if (gEngine3D && instance->handle != 0) HashRemove(gEngine3D->handleTable, instance->handle);
  instance->handle = 0;
  instance->flags3 |= kInst3FreeQueued;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) MarkTree(child);
}

void Queue(InstanceRecord* instance) {
  if (instance->flags3 & kInst3FreeQueued) return;  // already going with its tree
  MarkTree(instance);
  gQueue.push_back(instance);
}

void Drain() {
  // A freed record's owner may be woken and free more; those frees are immediate now, and a
  // queued record freed that way leaves the queue through InstForgetQueuedFree.
  while (!gQueue.empty()) {
    InstanceRecord* instance = gQueue.front();
    gQueue.erase(gQueue.begin());
    FreeInstance(instance);
  }
}

}  // namespace

void BeginScriptFreeWalk() { ++gWalkDepth; }

void EndScriptFreeWalk() {
  if (gWalkDepth > 0) --gWalkDepth;
  if (gWalkDepth == 0) Drain();
}

bool ScriptFreeWalkRunning() { return gWalkDepth > 0; }

bool InstIsFreeQueued(const InstanceRecord* instance) { return instance && (instance->flags3 & kInst3FreeQueued); }

void InstForgetQueuedFree(InstanceRecord* instance) {
  if (!(instance->flags3 & kInst3FreeQueued)) return;
  instance->flags3 &= ~kInst3FreeQueued;
  gQueue.erase(std::remove(gQueue.begin(), gQueue.end(), instance), gQueue.end());
}

void ScriptFreeInstance(InstanceRecord* instance) {
  if (!instance) return;
  if (gWalkDepth > 0) {
    Queue(instance);
  } else {
    FreeInstance(instance);
  }
}

void ScriptFreeCamera(CameraRecord* camera) {
  if (!camera) return;
  if (gWalkDepth > 0) {
    Queue(&camera->instance);
  } else {
    B3D_CameraFree(camera);
  }
}
