// Dock ports: counting and finding a type's port entries, the rows of an object's docking-place
// table, the entry a ship group uses, port reservation, the docking proximity codes, approach
// points and the end of finished approaches. Called by the script natives, the ship order
// handlers and the per-frame container pass. Every port number, row index, entry index and mode
// is checked against what the list or table holds before it is used.
#include "universe/dock_ports.h"

#include <cstdlib>
#include <initializer_list>

#include "core/system_block.h"
#include "scene/instance_records.h"
#include "universe/object_placement.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kMinApproachRange = 1332000;
constexpr int32_t kEntryReach = 25000;  // beyond the ship's radius
constexpr int32_t kDefaultGroup = 7;    // what a ship of no known group counts as
constexpr int32_t kGatePassage = 45875;       // 0.7 of the radius, 16.16
constexpr int32_t kSmallGatePassage = 9175;   // 0.14 of the radius for gate subtypes 5..8
constexpr uint16_t kStateApproach = 5;
constexpr uint16_t kStateFinalApproach = 4;
constexpr uint16_t kStateDockIn = 27;
constexpr uint16_t kStateGateExit = 33;

ShipExt* ShipOf(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? static_cast<ShipExt*>(object->ext) : nullptr;
}

DockSlotTable* SlotTableOf(const SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  switch (object->objClass) {
    case kClassDock:
    case kClassFactory: return static_cast<const DockExt*>(object->ext)->dockSlots;
    case kClassShip: return static_cast<const ShipExt*>(object->ext)->dockSlots;
    default: return nullptr;
  }
}

int32_t ShipGroupOf(int32_t shipSubtype) {
  const ObjectTypeRecord* row = TypeRow(kClassShip, shipSubtype);
  return row ? row->group : -1;
}

int32_t EntryCount(const DockSlotRow* record) {
  if (!record || record->entryCount <= 0) return 0;
  return record->entryCount < kDockPortEntryCapacity ? record->entryCount : kDockPortEntryCapacity;
}

InstanceRecord* Entry(const DockSlotRow* record, int32_t i) {
  return i < EntryCount(record) ? record->entries[i] : nullptr;
}

bool IsOneOf(int32_t value, std::initializer_list<int32_t> set) {
  for (int32_t v : set) {
    if (v == value) return true;
  }
  return false;
}

// a + d x length, d a 16.16 unit vector.
FixedVector Along(const FixedVector& a, const FixedVector& d, int64_t length) {
  return {SaturateToInt32(a.x + ((d.x * length + 32768) >> 16)), SaturateToInt32(a.y + ((d.y * length + 32768) >> 16)),
          SaturateToInt32(a.z + ((d.z * length + 32768) >> 16)), 0};
}

// Whether the ship reached the entry node of its reserved place (code 2).
bool AtReservedEntry(SpaceObject* ship, SpaceObject* container, const ShipExt* ext) {
  const DockSlotRow* row = ObjGetDockSlotRow(container, ext->dockSlot);
  if (!row) return false;
  FixedVector at;
  ObjGetWorldPosition(ship, -1, &at);
  const int64_t reach = int64_t{ship->radius} + kEntryReach;
  auto near = [&](const InstanceRecord* entry) { return entry && GetDistance(&at, &entry->world) <= reach; };
  if (row->port && (row->port->flags & kDockPortHangar)) {
    for (int32_t i = 0; i < EntryCount(row); ++i) {
      if (near(row->entries[i])) return true;
    }
    return false;
  }
  return near(PickEntryForShipType(row, ship->subtype, -1));
}

int32_t GateProximity(SpaceObject* ship, SpaceObject* gate, int32_t distance) {
  const int64_t r = gate->radius;
  const int32_t outer = distance < 2 * r ? 1 : 0;
  if (!(ship->flags & kObjFlagBit1) && !ObjTestFlag18Not19(ship)) return outer;
  const ShipExt* ext = ShipOf(ship);
  if ((ext && ext->commandState == kStateGateExit) || distance >= r) return outer;
  const int32_t passage = gate->subtype >= 5 && gate->subtype <= 8 ? kSmallGatePassage : kGatePassage;
  const FixedMatrix* frame = GetObjectRotationMatrix(gate);
  if (distance < (r * passage) >> 16 && frame) {
    FixedVector at, centre;
    ObjGetWorldPosition(ship, -1, &at);
    ObjGetWorldPosition(gate, -1, &centre);
    const int64_t along = (static_cast<int64_t>(at.x - centre.x) * frame->m[2][0] +
                           static_cast<int64_t>(at.y - centre.y) * frame->m[2][1] +
                           static_cast<int64_t>(at.z - centre.z) * frame->m[2][2]) >> 16;
    // The passage is deeper for a larger gate and a faster ship.
    const int64_t margin = r / 16 + std::llabs(int64_t{ship->speed}) / 8;
    if (along > 0 && along <= int64_t{ship->radius} * 3 / 4 + margin) return 3;
  }
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Ports and rows.

int32_t DockPortCount(const DockSlotList* list) {
  if (!list) return 0;
  int32_t count = 0;
  for (const ListNode* n = ListFirst(const_cast<ListHead*>(&list->slots)); n; n = ListNext(const_cast<ListNode*>(n))) {
    ++count;
  }
  return count;
}

const DockPortType* DockPortOfList(const DockSlotList* list, int32_t port) {
  if (!list || port < 0) return nullptr;
  int32_t i = 0;
  for (ListNode* n = ListFirst(const_cast<ListHead*>(&list->slots)); n; n = ListNext(n), ++i) {
    if (i == port) return ListRecord<DockPortType>(n);
  }
  return nullptr;
}

DockSlotRow* ObjGetDockSlotRow(SpaceObject* object, int32_t n) {
  DockSlotTable* table = SlotTableOf(object);
  if (!table || !table->rows || n < 0 || n >= table->count) return nullptr;
  return &table->rows[n];
}

// ---------------------------------------------------------------------------------------------
// Entries and reservations.

InstanceRecord* PickEntryForShipGroup(const DockSlotRow* record, int32_t group, int32_t port) {
  const int32_t count = EntryCount(record);
  if (count == 0) return nullptr;
  if (port >= 0 && record->port && (record->port->flags & kDockPortHangar)) return record->entries[port % count];
  if (group < 0) group = kDefaultGroup;
  // Freighters and transports use the second entry, fighters the first.
  if (IsOneOf(group, {1, 9, 10, 12}) && Entry(record, 1)) return Entry(record, 1);
  if (IsOneOf(group, {5, 6, 7})) {
    if (Entry(record, 0)) return Entry(record, 0);
    if (Entry(record, 1)) return Entry(record, 1);
  }
  if (Entry(record, 2)) return Entry(record, 2);
  for (int32_t i = 0; i < count; ++i) {
    if (record->entries[i]) return record->entries[i];
  }
  return nullptr;
}

InstanceRecord* PickEntryForShipType(const DockSlotRow* record, int32_t shipSubtype, int32_t port) {
  return PickEntryForShipGroup(record, ShipGroupOf(shipSubtype), port);
}

InstanceRecord* ObjPickEntryForGroup(SpaceObject* container, int32_t slot, int32_t group) {
  return PickEntryForShipGroup(ObjGetDockSlotRow(container, slot), group, -1);
}

InstanceRecord* ObjPickEntryForShipType(SpaceObject* container, int32_t slot, int32_t shipSubtype) {
  return PickEntryForShipType(ObjGetDockSlotRow(container, slot), shipSubtype, -1);
}

void ObjReserveDockSlot(int32_t port, SpaceObject* container, int32_t group, int32_t mode) {
  DockSlotRow* row = ObjGetDockSlotRow(container, port);
  if (!row || mode < 0 || mode >= kDockReserveModeCount) return;
  row->reservedGroup = group;
  row->reservedAt = gSystem ? gSystem->gameTime : 0;
  if (row->port) {
    row->rangeStart = row->port->ranges[mode].start;
    row->rangeEnd = row->port->ranges[mode].end;
    for (int32_t i = 0; i < EntryCount(row); ++i) {
      if (!row->entries[i]) continue;
      row->entries[i]->rangeStart = row->rangeStart;
      row->entries[i]->rangeEnd = row->rangeEnd;
    }
  }
  if (mode & 1) row->flags |= kDockRowOpening;
  else row->flags &= ~kDockRowOpening;
}

void ObjReserveDockSlotForShipType(int32_t port, SpaceObject* container, int32_t shipSubtype, int32_t mode) {
  const int32_t group = ShipGroupOf(shipSubtype);
  ObjReserveDockSlot(port, container, group < 0 ? kDefaultGroup : group, mode);
}

// ---------------------------------------------------------------------------------------------
// Proximity and approaches.

int32_t ObjDockingProximity(SpaceObject* ship, SpaceObject* container, int32_t distance) {
  if (!ship || !container || !(container->flags & kObjFlagContainer) || ShipHasGroupCode(ship)) return 0;
  if (container->objClass == kClassGate) return GateProximity(ship, container, distance);
  const bool wide = (ship->flags & kObjFlagBit1) || ObjTestFlag18Not19(ship);
  int64_t range = int64_t{container->radius} * (wide ? 5 : 2);
  if (range < kMinApproachRange) range = kMinApproachRange;
  if (distance > range) return 0;
  ShipExt* ext = ShipOf(ship);
  if (!ext || ext->commandObject != container) return 1;
  if (ext->commandState == kStateDockIn && AtReservedEntry(ship, container, ext)) return 2;
  if ((ship->flags & kObjFlagBit1) && ext->commandState == kStateFinalApproach) {
    if (DockSlotRow* row = ObjGetDockSlotRow(container, ext->dockSlot)) row->flags |= kDockRowApproached;
  }
  return 1;
}

bool ComputeDockApproach(const SpaceObject* container, const InstanceRecord* entry, const SpaceObject* ship,
                         DockApproach* out) {
  if (!container || !entry || !out) return false;
  FixedVector direction = {entry->worldMatrix.m[2][0], entry->worldMatrix.m[2][1], entry->worldMatrix.m[2][2], 0};
  NormalizeVector(&direction);
  if (direction.x == 0 && direction.y == 0 && direction.z == 0) return false;
  FixedVector centre;
  ObjGetWorldPosition(container, -1, &centre);
  // Straight out along the port's forward axis, far enough that even a port deep inside the body
  // leaves the point clear of the container's radius by the ship's size and a margin.
  const int64_t distance = int64_t{GetDistance(&entry->world, &centre)} + container->radius + (ship ? ship->radius : 0) +
                           kDockApproachMargin;
  out->direction = direction;
  out->distance = SaturateToInt32(distance);
  out->point = Along(entry->world, direction, distance);
  return true;
}

bool DockSlotApproach(int32_t port, SpaceObject* container, SpaceObject* ship, int32_t entry, FixedVector* out,
                      int32_t flag, int32_t distance) {
  const DockSlotRow* row = ObjGetDockSlotRow(container, port);
  const InstanceRecord* node = row ? PickEntryForShipType(row, ship ? ship->subtype : -1, entry) : nullptr;
  DockApproach approach;
  if (!node || !ComputeDockApproach(container, node, ship, &approach)) return false;
  if (out) *out = flag ? Along(node->world, approach.direction, distance) : approach.point;
  return true;
}

void ContainerEndShipApproaches(SpaceObject* container) {
  if (!ObjIsInSector(container)) return;
  const int64_t arrived = container->radius / 2;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(container->parent)); o; o = ObjectListNext(o)) {
    ShipExt* ext = ShipOf(o);
    if (!ext || ext->commandState != kStateApproach || ext->commandObject != container || !o->instance) continue;
    if (GetDistance(&o->instance->position, &ext->commandPoint) >= arrived) continue;
    ext->commandState = 0;
    ReleaseModuleHandle(o, 1);
  }
}
