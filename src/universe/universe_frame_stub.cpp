// The least form of the universe model's frame share until the instance pass and the
// break-away are built: both leave the sector as it is. The record delete and the destroy hook
// are the real ones. Called by the universe simulation.
#include "universe/universe_frame.h"

#include "universe/object_lifecycle.h"

namespace {
ObjectDestroyHook gDestroyHook = nullptr;
}

void UpdateSectorInstances(SectorObject*) {}
void BreakObject(SectorObject*) {}

void UniverseRecordDelete(SpaceObject* object, int32_t freeRecord) {
  if (!object) return;
  if (freeRecord) DeleteObject(object);
  else ObjDestroy(object);
}

void SetObjectDestroyHook(ObjectDestroyHook hook) { gDestroyHook = hook; }

void NotifyObjectDestroyed(SpaceObject* object) {
  if (gDestroyHook) gDestroyHook(object);
}
