// Creating and destroying objects: creation with an id in the top-level list, sectors,
// destruction through the ordered release of what an object holds, emptying the universe after
// a game loop and tearing it down at shutdown, the take records, the freed-instance hook and the
// object events. Called by the script natives, the save reader, the game loop and the shutdown.
// Never frees a record it did not allocate itself: `ObjDestroy` leaves the record to its owner.
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/cut_events.h"
#include "scene/cut_keys.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/take_instances.h"
#include "scene/takes_jobs.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "universe/dock_ports.h"
#include "universe/object_effects.h"
#include "universe/object_lifecycle.h"
#include "universe/object_references.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"
#include "universe/universe_registry.h"

namespace {

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

ObjectEventSink gEventSink = nullptr;

constexpr uint32_t kTakeInstanceBytes = 4;  // nominal size of one take instance slot

size_t RecordSize(int32_t objClass) { return objClass == kClassSector ? sizeof(SectorObject) : sizeof(SpaceObject); }

// Creation proper, on a record the caller has sized for the class.
SpaceObject* CreateInRecord(SpaceObject* object, uint32_t typeWord) {
  object->scriptValue.type = kValueNone;
  InitObject(object, static_cast<int16_t>((typeWord >> 16) & 0xFF), static_cast<int16_t>(typeWord & 0xFFFF));
  UniverseBlock* u = gUniverse;
  if (u) {
    ObjectListAddTail(&u->objects, object);
    object->createdAt = Now();
    object->id = HashInsertNewKey(u->idHash, reinterpret_cast<HashValue>(object));
  }
  return object;
}

}  // namespace

void ObjFreeDockSlots(SpaceObject* o) {
  if (!o || !o->ext) return;
  DockSlotTable* table = nullptr;
  if (o->objClass == kClassDock || o->objClass == kClassFactory) {
    auto* dock = static_cast<DockExt*>(o->ext);
    table = dock->dockSlots;
    dock->dockSlots = nullptr;
  } else if (o->objClass == kClassShip) {
    auto* ship = static_cast<ShipExt*>(o->ext);
    table = ship->dockSlots;
    ship->dockSlots = nullptr;
  }
  if (table) {
    MemFreeIfSet(table->rows);
    MemFreeIfSet(table);
  }
}

namespace {

void ForgetIn(ListHead* list, InstanceRecord* instance) {
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) {
    if (o->instance == instance) o->instance = nullptr;
    if (o->shownInstance == instance) o->shownInstance = nullptr;
    if (o->carrierNode == instance) o->carrierNode = nullptr;
    if (o->ext) {
      if (o->objClass == kClassSun) {
        auto* sun = static_cast<SunExt*>(o->ext);
        if (sun->lightA == instance) sun->lightA = nullptr;
        if (sun->lightB == instance) sun->lightB = nullptr;
      } else if (o->objClass == kClassPlanet) {
        auto* planet = static_cast<PlanetExt*>(o->ext);
        if (planet->light == instance) planet->light = nullptr;
      } else if (o->objClass == kClassShip) {
        auto* ship = static_cast<ShipExt*>(o->ext);
        if (ship->attachedInstance == instance) ship->attachedInstance = nullptr;
      } else if (o->objClass == kClassBullet) {
        auto* bullet = static_cast<BulletExt*>(o->ext);
        if (bullet->attachedInstance == instance) bullet->attachedInstance = nullptr;
      } else if (o->objClass == kClassCamera) {
        // A script may free the engine camera a camera object drives.
        auto* camera = static_cast<CameraExt*>(o->ext);
        if (camera->sceneInstance == instance) camera->sceneInstance = nullptr;
      }
    }
    if (ListHead* children = ObjectChildren(o)) ForgetIn(children, instance);
  }
}

void DefaultEvent(const ObjectEvent& e) {
  const int32_t module = gUniverse ? static_cast<int32_t>(gUniverse->moduleNo) : 0;
  const auto id = static_cast<int32_t>(e.scriptId);
  const int32_t* a = e.args;
  if (e.resultHolder != 0 || e.forResult) {
    CallScriptFunctionRet(module, e.resultHolder, id, e.name, kResultInt, e.argCount, a[0], a[1], a[2], a[3], a[4], a[5]);
  } else {
    CallScriptFunction(module, 0, id, e.name, 0, e.argCount, a[0], a[1], a[2], a[3], a[4], a[5]);
  }
}

uint32_t gEventCount = 0;

void SendEvent(const ObjectEvent& e) {
  ++gEventCount;
  (gEventSink ? gEventSink : DefaultEvent)(e);
}

}  // namespace

SpaceObject* AllocObjectRecord(int32_t objClass) { return static_cast<SpaceObject*>(MemCalloc(RecordSize(objClass))); }

void FreeObjectRecord(SpaceObject* object, int32_t) { MemFreeIfSet(object); }

SpaceObject* CreateObject(SpaceObject* object, uint32_t typeWord) {
  // A sector needs the longer record; writing its fields into a common one would run past it.
  if (!object || ((typeWord >> 16) & 0xFF) == kClassSector) return nullptr;
  return CreateInRecord(object, typeWord);
}

SpaceObject* NewObject(int32_t objClass, int32_t subtype) {
  if (objClass == kClassSector) return nullptr;
  SpaceObject* record = AllocObjectRecord(objClass);
  if (!record) return nullptr;
  SpaceObject* object = CreateObject(record, MakeTypeWord(objClass, subtype));
  if (!object) FreeObjectRecord(record, objClass);
  return object;
}

void CreateSector(SectorObject* sector, uint32_t typeWord) {
  if (!sector || ((typeWord >> 16) & 0xFF) != kClassSector) return;
  CreateInRecord(sector, typeWord);
  sector->sceneA = sector->sceneB = sector->sceneC = nullptr;
  for (uint32_t& w : sector->sceneWords) w = 0;
  sector->sectorFlags = sector->subtype == 0 ? kSectorFlagActiveWithPlayer : 0;
  sector->sectorHull = kSectorHull;
  for (uint32_t& w : sector->sectorWords) w = 0;
  sector->sectorLast = -1;
}

void ObjDestroy(SpaceObject* object) {
  if (!object) return;
  NotifyObjectDestroyed(object);
  if (object->scriptValue.type >= kValueFirstOwning) ReleaseValue(&object->scriptValue);
  object->scriptValue.type = kValueNone;
  FreeObjectResources(object);
}

void DeleteObject(SpaceObject* object) {
  if (!object) return;
  const int32_t objClass = object->objClass;
  ObjDestroy(object);
  FreeObjectRecord(object, objClass);
}

void FreeAllObjects(UniverseBlock* universe) {
  if (!universe) return;
  while (SpaceObject* first = ObjectListFirst(&universe->objects)) DeleteObject(first);
  universe->player = nullptr;
  // Every take record goes with its actors, engine take and cut, so none survives into the
  // engine's reset.
  if (HashTable* takes = universe->takeHash) {
    while (const uint32_t key = HashNextKey(takes, 0)) {
      auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(takes, key));
      if (record) {
        ObjTakeFree(record);
      }
      HashRemove(takes, key);  // a record whose key was changed under it still leaves the hash
    }
  }
}

void DestroyUniverse(UniverseBlock* universe) {
  if (!universe) return;
  FreeAllObjects(universe);
  if (universe->idHash) HashDestroy(universe->idHash);
  universe->idHash = nullptr;
  if (universe->takeHash) HashDestroy(universe->takeHash);
  universe->takeHash = nullptr;
  FreeTypes();
  ReleaseValue(&universe->scriptValue);
}

InstanceRecord** AllocTakeInstanceSlots(int32_t count) {
  if (count <= 0) return nullptr;
  const uint32_t flags = MemCategoryFlags(kMemCatCut);
  void* block = MemAlloc(static_cast<size_t>(count) * sizeof(InstanceRecord*), flags | kMemUncounted);
  if (!block) return nullptr;
  const uint32_t nominal = static_cast<uint32_t>(count) * kTakeInstanceBytes;
  gMemCounters.currentBytes += nominal;
  gMemCounters.totalBytes += nominal;
  gMemCounters.categoryBytes[kMemCatCut] += nominal;
  gMemCounters.allocationCount += 1;
  return static_cast<InstanceRecord**>(block);
}

void ObjTakeStop(ObjTakeRecord* takeRecord) {
  if (!takeRecord) return;
  TakeRecord* take = takeRecord->take;
  if (take && take->cutHandle != 0 && GetCutByHandle(take->cutHandle) && take->instances) {
    for (int32_t i = 0; i < take->instanceCount; ++i) {
      InstanceRecord* instance = take->instances[i];
      if (instance && instance->scene) AddInstanceToScene(instance, instance->scene);
    }
    for (int32_t i = 0; i < take->instanceCount; ++i) {
      SpaceObject* actor = takeRecord->actors ? takeRecord->actors[i] : nullptr;
      if (actor) {
        takeRecord->actors[i] = nullptr;
        ReleaseObjectReferences(actor, 0);
        DeleteObject(actor);
      } else if (take->instances[i]) {
        FreeInstance(take->instances[i]);
      }
      take->instances[i] = nullptr;
    }
    MemFreeIfSet(takeRecord->actors);
    takeRecord->actors = nullptr;
    MemFree(take->instances, static_cast<size_t>(take->instanceCount) * kTakeInstanceBytes,
            MemCategoryFlags(kMemCatCut));
    take->instances = nullptr;
    take->instanceCount = 0;
    J3D_FreeCut(GetCutByHandle(take->cutHandle));
    take->cutHandle = 0;
  }
  ClearEffectInstances();
  if (take) take->state = 0;
}

bool NodeStartPathJob(ObjTakeRecord* takeRecord, const FixedVector* position, const int32_t* label, bool loop,
                      const FixedMatrix* path) {
  TakeRecord* take = takeRecord ? takeRecord->take : nullptr;
  CutRecord* cut = take ? GetCutByHandle(take->cutHandle) : nullptr;
  if (!cut) return false;
  if (position && path) {
    PathSetPosAndRot(cut, position, path);
  } else if (position) {
    cut->originPosition = *position;
    if (!(cut->originFlags & kCutOriginGiven)) CutOriginInit(cut);
  }
  int32_t from = 0, to = -1;
  if (label) {
    int32_t start = -1, end = -1;
    bool looped = false;
    if (FindAnimNoteRange(cut, *label, &start, &end, &looped)) {
      from = start;
      to = end;
      if (looped) loop = true;
    }
  }
  const int32_t scriptId = takeRecord->sector ? static_cast<int32_t>(takeRecord->sector->scriptId) : 0;
  bool running = false;
  for (int32_t i = 0; i < take->instanceCount && take->instances; ++i) {
    SpaceObject* actor = takeRecord->actors ? takeRecord->actors[i] : nullptr;
    InstanceRecord* instance = actor ? actor->instance : take->instances[i];
    if (!instance) continue;
    if (loop) {
      instance->jobFlags |= kJobLoops;
    } else {
      instance->jobFlags &= ~kJobLoops;
    }
    instance->jobFlags |= kJobRangeAsGiven;
    InstJobPlay(instance, i, cut, from, to, false);
    if (actor) {
      actor->flags |= kObjFlagCarried;
    } else {
      instance->ownerScriptId = scriptId;
    }
    if (!(instance->jobFlags & kJobEndReported)) running = true;
  }
  for (int32_t i = 0; i < take->instanceCount && take->instances; ++i) {
    SpaceObject* actor = takeRecord->actors ? takeRecord->actors[i] : nullptr;
    if (InstanceRecord* instance = actor ? actor->instance : take->instances[i]) InstPathFindEvent(instance, from);
  }
  if (running) take->state = kTakeRunning;
  return running;
}

void ObjTakeFree(ObjTakeRecord* takeRecord) {
  if (!takeRecord) return;
  if (takeRecord->take && takeRecord->take->cutHandle != 0) ObjTakeStop(takeRecord);
  if (gUniverse && gUniverse->takeHash && HashGet(gUniverse->takeHash, takeRecord->key) ==
                                              reinterpret_cast<HashValue>(takeRecord)) {
    HashRemove(gUniverse->takeHash, takeRecord->key);
  }
  if (takeRecord->take) J3D_TakeFree(takeRecord->take);
  // Actors still alive belong to the universe's lists; only the array is the record's.
  MemFreeIfSet(takeRecord->actors);
  MemFreeIfSet(takeRecord);
}

void ObjectsForgetInstance(InstanceRecord* instance) {
  if (!instance || !gUniverse) return;
  ForgetIn(&gUniverse->objects, instance);
}

void SetObjectEventSink(ObjectEventSink sink) { gEventSink = sink; }

void RaiseObjectEvent(SpaceObject* object, const char* name, int32_t argCount, int32_t a, int32_t b, int32_t c) {
  if (!object || object->scriptId == 0) return;
  SendEvent(ObjectEvent{object, object->scriptId, name, argCount, {a, b, c}, 0, false});
}

void RaiseObjectEventForResult(SpaceObject* object, const char* name, uint32_t holderId, int32_t argCount, int32_t a,
                               int32_t b) {
  if (!object || object->scriptId == 0) return;
  SendEvent(ObjectEvent{object, object->scriptId, name, argCount, {a, b, 0}, holderId, true});
}

bool ObjectScriptHasFunction(const SpaceObject* object, const char* name) {
  if (!object || object->scriptId == 0) return false;
  return gEventSink || ScriptMethodExists(gScriptEngine, static_cast<int32_t>(object->scriptId), name);
}

uint32_t ObjectEventCount() { return gEventCount; }

void RaiseScriptIdEvent(uint32_t scriptId, const char* name, int32_t argCount, int32_t a) {
  if (scriptId == 0) return;
  SendEvent(ObjectEvent{nullptr, scriptId, name, argCount, {a, 0, 0}, 0, false});
}

void RaiseGlobalEventForResult(const char* name, int32_t argCount, const int32_t args[6]) {
  ObjectEvent e{nullptr, 0, name, argCount, {}, 0, true};
  for (int i = 0; i < 6; ++i) e.args[i] = args[i];
  SendEvent(e);
}
