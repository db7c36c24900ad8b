// Putting a ship at a docking place (see dock_slot_placement.h): the checks, the hangar's
// nearest port, the reservation, and the ship's instance (or, for the one ship type that is shown
// by a stand-in, a new instance with its model) attached under the port. Called by the hangar
// start and the placement command; every slot index is checked against the type's port list and
// the object's rows before it is used. Never creates or frees an object.
#include "universe/dock_slot_placement.h"

#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "universe/dock_ports.h"
#include "universe/dock_slot_lights.h"
#include "universe/model_instances.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kPlaceReserve = 0x100;
constexpr uint32_t kPlaceKeepRelative = 0x10000;
constexpr uint32_t kPlaceNoPlacement = 0x20000;
constexpr int32_t kClosedPortBody = 146;
constexpr int32_t kReserveAnyGroup = 7;
constexpr int16_t kStandInShipSubtype = 267;  // shown at a port by a stand-in instance
constexpr int32_t kThrusterSize = 655;
constexpr uint32_t kInstEngineFlame = 0x800;
constexpr uint32_t kInstHidden = 0x100000;

const DockSlotTable* TableOf(const SpaceObject* o) {
  switch (o->objClass) {
    case kClassDock:
    case kClassFactory: return static_cast<const DockExt*>(o->ext)->dockSlots;
    case kClassShip: return static_cast<const ShipExt*>(o->ext)->dockSlots;
    default: return nullptr;
  }
}

InstanceRecord* NearestPort(const DockSlotRow* row, const InstanceRecord* to) {
  InstanceRecord* best = nullptr;
  int64_t bestDistance = 0;
  for (int32_t i = 0; i < row->entryCount && i < kDockPortEntryCapacity; ++i) {
    InstanceRecord* port = row->entries[i];
    if (!port) continue;
    const int64_t d = GetDistance(&port->world, &to->world);
    if (!best || d < bestDistance) best = port, bestDistance = d;
  }
  return best;
}

// Gives the instance its pose under the port: the port's origin, or where it stands now seen
// from the port.
void PoseUnderPort(InstanceRecord* instance, const InstanceRecord* port, const InstanceRecord* from, bool keep) {
  if (!keep) {
    instance->position = {0, 0, 0, 0};
    MatrixSetIdentity(&instance->matrix);
    return;
  }
  const FixedVector offset = {from->world.x - port->world.x, from->world.y - port->world.y,
                              from->world.z - port->world.z, 0};
  MatrixTransposeMulVector(&instance->position, &port->worldMatrix, &offset);
  MatrixMultiplyTransposed(&instance->matrix, &from->worldMatrix, &port->worldMatrix);
}

void ShrinkThrusters(InstanceRecord* root) {
  for (InstanceRecord* i = InstFirstChild(root); i; i = InstSubtreeNext(i, root)) {
    if (!(i->flags & kInstEngineFlame)) continue;
    i->size = kThrusterSize;
    i->flags |= kInstHidden;
  }
}

InstanceRecord* StandIn(const SpaceObject* ship) {
  InstanceRecord* proxy = B3D_InstAlloc();
  if (!proxy) return nullptr;
  B3D_InstSetBody(proxy, ObjGetTypeBodyId(ship));
  B3D_InstMakeRapidBox(proxy, 0);
  BuildObjectModelInstances(gUniverse, GetTypeLookupId(ship->subtype, ship->objClass), proxy, nullptr, nullptr);
  return proxy;
}

// Ships sitting at the port go back to the carrier's scene.
void DetachDockedShips(InstanceRecord* port, SceneRecord* scene) {
  InstanceRecord* child = InstFirstChild(port);
  while (child) {
    InstanceRecord* next = InstNextSibling(child);
    if ((child->collisionMask & kMarkDockedShip) && scene) AddInstanceToScene(child, scene);
    child = next;
  }
}

}  // namespace

int32_t PlaceShipAtDockSlot(SpaceObject* carrier, int32_t slot, SpaceObject* ship, uint32_t flags) {
  if (!carrier || !carrier->ext || !IsObjectClass567(carrier)) return 0;
  if (ship && (ship->objClass != kClassShip || !ship->instance)) return 0;
  const DockSlotTable* table = TableOf(carrier);
  if (!table || slot < 0 || slot >= TypeGetDockSlotCount(carrier->subtype, carrier->objClass) ||
      slot >= table->count) {
    return 0;
  }
  DockSlotRow* row = ObjGetDockSlotRow(carrier, slot);
  const DockPortType* type = DockPortOfList(GetTypeDockSlotList(carrier->objClass, carrier->subtype), slot);
  if (!row || !type || (type->flags & kDockPortNoPlacement)) return 0;
  if ((type->flags & kDockPortHangar) && ship) {
    InstanceRecord* port = NearestPort(row, ship->instance);
    if (port) {
      ship->instance->position = port->position;
      ship->instance->world = port->world;
      ship->instance->matrix = port->matrix;
    }
    return 1;
  }
  SceneRecord* scene = carrier->instance ? carrier->instance->scene : nullptr;
  for (int32_t i = 0; i < row->entryCount && i < kDockPortEntryCapacity; ++i) {
    if (!row->entries[i]) continue;
    B3D_InstSetBody(row->entries[i], kClosedPortBody);
    DetachDockedShips(row->entries[i], scene);
  }
  const int32_t mode = static_cast<int32_t>(flags & 0xFF);
  if (!ship) {
    if (flags & kPlaceReserve) ObjReserveDockSlot(slot, carrier, kReserveAnyGroup, mode);
    return 1;
  }
  InstanceRecord* entry = PickEntryForShipType(row, ship->subtype, -1);
  if (flags & kPlaceReserve) ObjReserveDockSlotForShipType(slot, carrier, ship->subtype, mode);
  if (!entry || (flags & kPlaceNoPlacement)) return 1;
  const bool keep = flags & kPlaceKeepRelative;
  if (ship->subtype == kStandInShipSubtype) {
    if (InstanceRecord* proxy = StandIn(ship)) {
      PoseUnderPort(proxy, entry, ship->instance, keep);
      proxy->collisionMask |= kMarkDockedShip;
      B3D_InstAddToInst(proxy, entry);
    }
    return 1;
  }
  InstanceRecord* instance = ship->instance;
  PoseUnderPort(instance, entry, instance, keep);
  B3D_InstAddToInst(instance, entry);
  instance->collisionMask |= kMarkDockedShip;
  ShrinkThrusters(instance);
  return 1;
}
