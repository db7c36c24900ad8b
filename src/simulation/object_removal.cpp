// Object removal: clearing every reference to an object that leaves the universe (or only changes
// container), releasing its dependants, releasing what an object owns before its record goes, and
// moving an object into a container. Called by object destruction, kills, the deferred free, the
// universe model's removals and the container commands. No script runs while a walk is under
// way: the events a removal causes are raised after every reference is cleared, under the
// universe guard, so a handler that frees objects only queues them.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/memory.h"
#include "scene/instance_tree.h"
#include "scene/take_records.h"
#include "simulation/object_removal.h"
#include "simulation/order_modes.h"
#include "simulation/tractor_beams.h"
#include "simulation/universe_guard.h"
#include "universe/object_detail.h"
#include "universe/object_effects.h"
#include "universe/object_lifecycle.h"
#include "universe/object_placement.h"
#include "universe/object_references.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kSelfDestructLinkGone = 19;
constexpr int32_t kWakeObjectGone = 8;
constexpr int32_t kWakeDone = 1;

ObjectForgetHook gCockpitsForget = nullptr;
std::vector<const SpaceObject*> gBeingFreed;

// The objects leaving in one release: the one asked for and its scriptless dependants, each with
// whether references from shots and missiles to it (shooters, launchers) stay.
struct Removal {
  std::unordered_map<const SpaceObject*, bool> keepOwners;
  std::vector<SpaceObject*> order;

  bool Has(const SpaceObject* o) const { return o && keepOwners.count(o) != 0; }
  bool ClearsOwner(const SpaceObject* o) const {
    auto it = o ? keepOwners.find(o) : keepOwners.end();
    return it != keepOwners.end() && !it->second;
  }
  void Add(SpaceObject* o, bool keep) {
    if (keepOwners.emplace(o, keep).second) order.push_back(o);
  }
};

// What the walk found to tell afterwards, in walk order.
struct PendingEvents {
  std::vector<SpaceObject*> selfDestruct;
  std::vector<SpaceObject*> tractorReleased;
};

template <typename T>
void ClearIf(T*& field, const Removal& removal) {
  if (removal.Has(field)) field = nullptr;
}

// Every object of the universe, each container's children right after it, without recursion.
template <typename Visit>
void WalkUniverse(Visit visit) {
  if (!gUniverse) return;
  std::vector<SpaceObject*> resume;  // the next sibling to go on with after a child list
  SpaceObject* o = ObjectListFirst(&gUniverse->objects);
  while (o || !resume.empty()) {
    if (!o) {
      o = resume.back();
      resume.pop_back();
      continue;
    }
    SpaceObject* next = ObjectListNext(o);
    visit(o);
    ListHead* children = ObjectChildren(o);
    SpaceObject* first = children ? ObjectListFirst(children) : nullptr;
    if (first) {
      if (next) resume.push_back(next);
      o = first;
    } else {
      o = next;
    }
  }
}

// The references of one object, by its class.
void ClearObjectReferences(SpaceObject* o, const Removal& removal, PendingEvents* pending) {
  if (removal.Has(o->carrier)) {
    o->carrier = nullptr;
    o->carrierNode = nullptr;
    o->flags &= ~kObjFlagCarried;
  }
  if (removal.Has(o->tractorTarget) || removal.Has(o->tractorAux)) ReleaseTractorLinks(o, &pending->tractorReleased);
  if (!o->ext) return;
  switch (o->objClass) {
    case kClassBullet: {
      auto* bullet = static_cast<BulletExt*>(o->ext);
      if (removal.ClearsOwner(bullet->shooter)) bullet->shooter = nullptr;
      ClearIf(bullet->firedBy, removal);
      ClearIf(bullet->hitObject, removal);
      ClearIf(bullet->laser, removal);
      break;
    }
    case kClassFactory: ClearIf(static_cast<FactoryExt*>(o->ext)->linkedFactory, removal); break;
    case kClassShip: {
      auto* ship = static_cast<ShipExt*>(o->ext);
      ClearIf(ship->commandObject, removal);
      int32_t kept = 0;
      const int32_t count = ship->threatCount < 0 ? 0 : std::min(ship->threatCount, kShipThreatCapacity);
      for (int32_t i = 0; i < count; ++i) {
        if (removal.Has(ship->threats[i])) continue;
        ship->threats[kept] = ship->threats[i];
        ship->threatDistances[kept] = ship->threatDistances[i];
        ++kept;
      }
      for (int32_t i = kept; i < count; ++i) ship->threats[i] = nullptr;
      ship->threatCount = kept;
      for (TurretRow& row : ship->turrets) ClearIf(row.targetObject, removal);
      break;
    }
    case kClassLaser: ClearIf(static_cast<LaserExt*>(o->ext)->currentShot, removal); break;
    case kClassMissile: {
      auto* missile = static_cast<MissileExt*>(o->ext);
      if (removal.ClearsOwner(missile->launcher)) missile->launcher = nullptr;
      ClearIf(missile->target, removal);
      break;
    }
    case kClassGate:
      for (SpaceObject*& ship : static_cast<GateExt*>(o->ext)->slotShips) ClearIf(ship, removal);
      break;
    case kClassCamera: {
      auto* camera = static_cast<CameraExt*>(o->ext);
      ClearIf(camera->followedObject, removal);
      ClearIf(camera->defaultTarget, removal);
      break;
    }
    default: break;
  }
}

void TellDependants(const std::vector<SpaceObject*>& dependants) {
  if (dependants.empty()) return;
  UniverseGuardScope guard;
  for (SpaceObject* o : dependants) {
    if (ObjectIsQueuedForFree(o) || ObjectIsBeingFreed(o)) continue;
    RaiseObjectEvent(o, "SelfDestruct", 2, kSelfDestructLinkGone, 0);
  }
}

void ForgetInTakes(const Removal& removal) {
  HashTable* takes = gUniverse ? gUniverse->takeHash : nullptr;
  if (!takes) return;
  for (uint32_t key = HashNextKey(takes, 0); key; key = HashNextKey(takes, key)) {
    auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(takes, key));
    if (!record || !record->actors || !record->take) continue;
    for (int32_t i = 0; i < record->take->instanceCount; ++i) {
      if (removal.Has(record->actors[i])) record->actors[i] = nullptr;
    }
  }
}

void LeaveOwnersOf(SpaceObject* removed) {
  if (gCockpitsForget) gCockpitsForget(removed);
  if (removed->objClass == kClassLaser && removed->ext && removed->parent &&
      removed->parent->objClass == kClassShip) {
    ShipSetGunNodeFlag(static_cast<LaserExt*>(removed->ext)->laserSlot, removed->parent, false);
  }
  RemoveObjectEffects(removed);
}

void Release(Removal* removal) {
  // Scriptless dependants leave with what they depend on, however long the chain: found through
  // one index of the links instead of one walk (or one stack frame) per link.
  std::unordered_map<const SpaceObject*, std::vector<SpaceObject*>> scriptless;
  WalkUniverse([&](SpaceObject* o) {
    if (o->linkedObject && o->scriptId == 0 && !(o->flags & kObjFlagRemoving)) {
      scriptless[o->linkedObject].push_back(o);
    }
  });
  for (size_t i = 0; i < removal->order.size(); ++i) {
    auto found = scriptless.find(removal->order[i]);
    if (found == scriptless.end()) continue;
    for (SpaceObject* dependant : found->second) {
      if (removal->Has(dependant)) continue;
      dependant->flags |= kObjFlagRemoving;
      removal->Add(dependant, false);
    }
  }

  PendingEvents pending;
  WalkUniverse([&](SpaceObject* o) {
    ClearObjectReferences(o, *removal, &pending);
    if (!removal->Has(o->linkedObject)) return;
    o->linkedObject = nullptr;
    if (o->scriptId != 0) pending.selfDestruct.push_back(o);
  });
  ForgetInTakes(*removal);
  for (SpaceObject* removed : removal->order) LeaveOwnersOf(removed);

  TellTractorReleased(pending.tractorReleased);
  TellDependants(pending.selfDestruct);
}

bool IsContainerForFree(const SpaceObject* o) {
  return o->objClass == kClassShip || (o->flags & kObjFlagContainer) || o->objClass == kClassSector ||
         o->objClass == kClassGate;
}

void FreeInstanceIfSet(InstanceRecord* instance) {
  if (instance) FreeInstance(instance);
}

void FreeInstances(SpaceObject* o) {
  InstanceRecord* instance = o->instance;
  o->instance = o->shownInstance = nullptr;
  FreeInstanceIfSet(instance);
  if (o->ext && o->objClass == kClassSun) {
    auto* sun = static_cast<SunExt*>(o->ext);
    InstanceRecord *a = sun->lightA, *b = sun->lightB;
    sun->lightA = sun->lightB = nullptr;
    FreeInstanceIfSet(a);
    FreeInstanceIfSet(b);
  } else if (o->ext && o->objClass == kClassPlanet) {
    auto* planet = static_cast<PlanetExt*>(o->ext);
    InstanceRecord* light = planet->light;
    planet->light = nullptr;
    FreeInstanceIfSet(light);
  }
}

int32_t LaserPlaces(const SpaceObject* ship) {
  const ComponentEntry* entry = FindEntry12ById(kComponentKindLaser, ObjGetTypeBodyId(ship));
  return entry ? entry->pointCount : 0;
}

int32_t LasersIn(SpaceObject* ship) {
  int32_t n = 0;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(ship)); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassLaser) ++n;
  }
  return n;
}

}  // namespace

void SetCockpitsForgetHook(ObjectForgetHook hook) { gCockpitsForget = hook; }

bool ObjectIsBeingFreed(const SpaceObject* object) {
  for (const SpaceObject* o : gBeingFreed) {
    if (o == object) return true;
  }
  return false;
}

void ReleaseObjectReferences(SpaceObject* object, int32_t keepOwners) {
  if (!object || !gUniverse) return;
  Removal removal;
  removal.Add(object, keepOwners != 0);
  Release(&removal);
}

void ClearReferencesTo(SpaceObject* object, SpaceObject* removed, int32_t keepOwners) {
  if (!object || !removed) return;
  Removal removal;
  removal.Add(removed, keepOwners != 0);
  PendingEvents pending;
  std::vector<SpaceObject*> stack{object};
  while (!stack.empty()) {
    SpaceObject* o = stack.back();
    stack.pop_back();
    ClearObjectReferences(o, removal, &pending);
    for (SpaceObject* child = ObjectListFirst(ObjectChildren(o)); child; child = ObjectListNext(child)) {
      stack.push_back(child);
    }
  }
  TellTractorReleased(pending.tractorReleased);
}

void FreeObjectResources(SpaceObject* object) {
  if (!object) return;
  SpaceObject* o = object;
  // Objects the release's handlers free are freed once this one is gone, not in its middle.
  UniverseGuardScope guard;
  DropQueuedObject(o);
  gBeingFreed.push_back(o);

  ReleaseTractorBeam(o);
  if (o->objClass == kClassSector) {
    auto* sector = static_cast<SectorObject*>(o);
    RemoveSceneEffectInstances(sector->sceneA);
    RemoveSceneEffectInstances(sector->sceneB);
    RemoveSceneEffectInstances(sector->sceneC);
  }
  ReleaseModuleHandle(o, kWakeObjectGone);
  if (o->objClass == kClassShip && o->ext) {
    for (int32_t row = 0; row < kShipTurretCapacity; ++row) ShipReleaseModuleHandle(o, row, kWakeObjectGone);
  }
  // Children go before their container, each as a whole deletion, deepest first.
  if (IsContainerForFree(o)) {
    if (ListHead* children = ObjectChildren(o)) {
      while (SpaceObject* child = ObjectListFirst(children)) DeleteObject(child);
    }
  }
  o->name = FreeString(o->name);
  // Effects hold the instance's scene and the object itself; they go first.
  RemoveObjectEffects(o);
  FreeInstances(o);
  if (o->objClass == kClassShip && gUniverse && gUniverse->player == o) gUniverse->player = nullptr;
  ReleaseObjectReferences(o, 0);
  if (o->ext) {
    ObjFreeDockSlots(o);
    MemFreeIfSet(o->ext);
    o->ext = nullptr;
  }
  // An object a script freed left the id hash when it was queued; the key is never handed out
  // again, so only the object's own entry is taken out.
  if (gUniverse && gUniverse->idHash && o->id && HashGet(gUniverse->idHash, o->id) == reinterpret_cast<HashValue>(o)) {
    HashRemove(gUniverse->idHash, o->id);
  }
  if (o->link.succ || o->link.pred) ObjectListRemove(o);
  *o = SpaceObject{};
  gBeingFreed.pop_back();
}

int32_t MoveObjectIntoContainer(SpaceObject* container, SpaceObject* object) {
  if (!container || !object || container == object || !ObjectChildren(container)) return 0;
  if (object->objClass == kClassLaser && container->objClass == kClassShip && object->parent != container &&
      LasersIn(container) >= LaserPlaces(container)) {
    return 0;
  }
  // Leaves the sector's scenes and drops the references to it (keeping its shots' shooter) when
  // it lay in a sector, then joins the tail of the container's children.
  ObjAttachInstance(object, container);
  if (ShipOrderMode(container) == OM_CAPTURE) ReleaseModuleHandle(container, kWakeDone);
  return 1;
}
