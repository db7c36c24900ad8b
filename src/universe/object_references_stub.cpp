// The least form of reference release until the simulation's references are built: the only
// holders of object pointers so far are detail parts and attached ships (through `linkedObject`),
// carried objects (through `carrier`) and take records (through their actors). A dependant loses
// its link and is told "SelfDestruct" or, without a script, marked removed; a carried object stops
// following; a take forgets the object. Called by the object accessors, the registry and object
// destruction; never frees or unlinks an object.
#include "universe/object_references.h"

#include "scene/take_records.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kSelfDestructLinkGone = 19;

void ReleaseDependants(ListHead* list, SpaceObject* removed) {
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) {
    if (ListHead* children = ObjectChildren(o)) ReleaseDependants(children, removed);
    // An object riding on the removed one stops following it: its carrier record may go.
    if (o->carrier == removed) {
      o->carrier = nullptr;
      o->carrierNode = nullptr;
    }
    if (o->linkedObject != removed) continue;
    o->linkedObject = nullptr;
    if (o->scriptId != 0) {
      RaiseObjectEvent(o, "SelfDestruct", 2, kSelfDestructLinkGone, 0);
    } else if (!(o->flags & kObjFlagRemoving)) {
      o->flags |= kObjFlagRemoving;
      ReleaseObjectReferences(o, 0);
    }
  }
}

}  // namespace

void ReleaseObjectReferences(SpaceObject* object, int32_t) {
  if (!object || !gUniverse) return;
  ReleaseDependants(&gUniverse->objects, object);
  if (HashTable* takes = gUniverse->takeHash) {
    for (uint32_t key = HashNextKey(takes, 0); key; key = HashNextKey(takes, key)) {
      auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(takes, key));
      if (!record || !record->actors || !record->take) continue;
      for (int32_t i = 0; i < record->take->instanceCount; ++i) {
        if (record->actors[i] == object) record->actors[i] = nullptr;
      }
    }
  }
}
