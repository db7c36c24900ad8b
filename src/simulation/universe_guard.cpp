// The universe guard's nesting count and the queue of objects freed while it is held. Called by
// the frame step, the command dispatcher, the game loop and the object-life commands. Never
// frees an object while the guard is held, and never frees a queued object twice.
#include "simulation/universe_guard.h"

#include <vector>

#include "core/hash_table.h"
#include "universe/object_references.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"

namespace {

int32_t gGuardDepth = 0;
std::vector<SpaceObject*> gFreeQueue;

void ForgetQueued(SpaceObject* object) {
  for (size_t i = 0; i < gFreeQueue.size(); ++i) {
    if (gFreeQueue[i] == object) {
      gFreeQueue[i] = gFreeQueue.back();
      gFreeQueue.pop_back();
      return;
    }
  }
}

// An object freed by other means (its sector going, the shutdown) leaves the queue.
void OnObjectDestroyed(SpaceObject* object) {
  if (!gFreeQueue.empty()) ForgetQueued(object);
}

void DrainQueue() {
  // Freeing one object may raise events whose handlers free more; those join the queue and are
  // freed in this same drain.
  ++gGuardDepth;
  while (!gFreeQueue.empty()) {
    SpaceObject* object = gFreeQueue.back();
    gFreeQueue.pop_back();
    UniverseRecordDelete(object, 1);
  }
  --gGuardDepth;
}

}  // namespace

void UniverseGuardEnter() {
  SetObjectDestroyHook(OnObjectDestroyed);
  ++gGuardDepth;
}

void UniverseGuardLeave() {
  if (gGuardDepth <= 0) return;
  if (gGuardDepth == 1 && !gFreeQueue.empty()) DrainQueue();
  --gGuardDepth;
}

int32_t UniverseGuardDepth() { return gGuardDepth; }

int32_t QueuedObjectCount() { return static_cast<int32_t>(gFreeQueue.size()); }

bool ObjectIsQueuedForFree(const SpaceObject* object) {
  for (SpaceObject* queued : gFreeQueue) {
    if (queued == object) return true;
  }
  return false;
}

void DropQueuedObject(SpaceObject* object) {
  if (object && !gFreeQueue.empty()) ForgetQueued(object);
}

void FreeObjectForScript(SpaceObject* object) {
  if (!object || ObjectIsBeingFreed(object)) return;
  SetObjectDestroyHook(OnObjectDestroyed);
  if (gGuardDepth == 0) {
    UniverseRecordDelete(object, 1);
    return;
  }
  if (ObjectIsQueuedForFree(object)) return;
  object->flags |= kObjFlagRemoving;
  ReleaseObjectReferences(object, 0);
  if (gUniverse && gUniverse->idHash && object->id) HashRemove(gUniverse->idHash, object->id);
  gFreeQueue.push_back(object);
}
