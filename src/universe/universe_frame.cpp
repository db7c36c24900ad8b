// The record delete and the hook that tells a higher layer an object is going. The instance pass
// lives in sector_pass.cpp, the break-away pass with the carried objects. Called by the universe
// simulation.
#include "universe/universe_frame.h"

#include "universe/object_lifecycle.h"

namespace {
ObjectDestroyHook gDestroyHook = nullptr;
}

void UniverseRecordDelete(SpaceObject* object, int32_t freeRecord) {
  if (!object) return;
  if (freeRecord) DeleteObject(object);
  else ObjDestroy(object);
}

void SetObjectDestroyHook(ObjectDestroyHook hook) { gDestroyHook = hook; }

void NotifyObjectDestroyed(SpaceObject* object) {
  if (gDestroyHook) gDestroyHook(object);
}
