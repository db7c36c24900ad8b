// Dock ports: the port entries of a station or ship type (its dock-slot list), the per-object
// docking-place table with one row per port, and the rules that pick a port's entry node for a
// ship group, reserve a port, tell how close a ship is to docking, compute approach points and
// end the approaches of ships that arrived. The model builder fills the lists and rows; the
// script natives, the order handlers and the per-frame pass call the rules. Nothing here
// allocates or frees a list, a row or an instance.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"
#include "universe/object_classes.h"

struct InstanceRecord;
struct SpaceObject;

// Flag bits of a type's port entry.
constexpr uint32_t kDockPortApproachSide = 1u << 17;
constexpr uint32_t kDockPortInsideOnly = 1u << 18;   // not usable from outside
constexpr uint32_t kDockPortOutsideOnly = 1u << 19;  // not usable from inside
constexpr uint32_t kDockPortHangar = 1u << 20;       // a hangar: any entry serves, by number
constexpr uint32_t kDockPortNoPlacement = 1u << 21;

constexpr int kDockReserveModeCount = 4;

// One port of a type: an element of its `DockSlotList`, in port order.
struct DockPortType {
  ListNode node;
  uint32_t flags;      // kDockPort...
  uint32_t animFlags;  // low 16 bits: the ship groups whose ships use the port
  DummySegment ranges[kDockReserveModeCount];  // animation range chosen by a reservation mode
};

constexpr int kDockPortEntryCapacity = 4;

// Flag bits of a docking-place row.
constexpr uint32_t kDockRowFlyingIn = 1u << 0;
constexpr uint32_t kDockRowApproached = 1u << 3;  // a ship in the final approach is near
constexpr uint32_t kDockRowPlayerFlyingIn = 1u << 4;
constexpr uint32_t kDockRowOpening = 1u << 6;  // the arriving ship does not occupy the place yet

// One docking place of an object: its port's entry nodes and its reservation.
struct DockSlotRow {
  int32_t slot;
  int32_t reservedGroup;  // the ship group the place is reserved for
  int32_t rangeStart;     // the port's animation range chosen by the reservation
  int32_t rangeEnd;
  uint32_t reservedAt;
  uint32_t reservationWords[3];
  InstanceRecord* entries[kDockPortEntryCapacity];  // null: no entry
  int32_t entryCount;
  int32_t lightPhase;
  uint32_t nextLightAt;
  uint32_t flags;  // kDockRow...
  uint32_t refreshedAt;
  const DockPortType* port;  // the type's entry for this place, or null
};

// The docking-place table of a dock, factory or ship: one row allocated per port of the type;
// `count` rows are in use, one for each port node the model builder filed.
struct DockSlotTable {
  const DockSlotList* typeList;
  int32_t count;
  DockSlotRow* rows;
  int32_t capacity;  // rows allocated; count never exceeds it
};

// The ports of a type's list: their number, and port n (null outside 0..count-1).
int32_t DockPortCount(const DockSlotList* list);
const DockPortType* DockPortOfList(const DockSlotList* list, int32_t port);

// Row n of the docking-place table of a dock, factory or ship; null otherwise or out of range.
DockSlotRow* ObjGetDockSlotRow(SpaceObject* object, int32_t n);

// The entry node of a row that ships of `group` use; `port` (0 or more) picks an entry by number
// at a hangar. Null when the row has none.
InstanceRecord* PickEntryForShipGroup(const DockSlotRow* record, int32_t group, int32_t port);
InstanceRecord* PickEntryForShipType(const DockSlotRow* record, int32_t shipSubtype, int32_t port);
InstanceRecord* ObjPickEntryForGroup(SpaceObject* container, int32_t slot, int32_t group);
InstanceRecord* ObjPickEntryForShipType(SpaceObject* container, int32_t slot, int32_t shipSubtype);

// Reserves place `port` of a dock, factory or ship for a ship group; `mode` 0..3 chooses the
// animation range, odd modes open the place (row flag bit 6), even ones close it.
void ObjReserveDockSlot(int32_t port, SpaceObject* container, int32_t group, int32_t mode);
void ObjReserveDockSlotForShipType(int32_t port, SpaceObject* container, int32_t shipSubtype, int32_t mode);

// How far a ship is in docking with a container at `distance`: 0 out of range, 1 in its
// approach, 2 at its reserved port's entry, 3 inside a gate's passage.
int32_t ObjDockingProximity(SpaceObject* ship, SpaceObject* container, int32_t distance);

// The approach to an entry node: a point in front of the entry, outside the container, the unit
// direction (16.16) from the entry toward it, and its distance from the entry.
struct DockApproach {
  FixedVector point;
  FixedVector direction;
  int32_t distance;
};
// The least distance between the approach point and the container's surface.
constexpr int32_t kDockApproachMargin = 50000;
bool ComputeDockApproach(const SpaceObject* container, const InstanceRecord* entry, const SpaceObject* ship,
                         DockApproach* out);
// The approach point of place `port` of a container for a ship (`entry` as `PickEntryForShipType`
// takes it). With `flag` set, `distance` replaces the computed distance from the entry. False
// when the container has no such place or entry.
bool DockSlotApproach(int32_t port, SpaceObject* container, SpaceObject* ship, int32_t entry, FixedVector* out,
                      int32_t flag, int32_t distance);

// Ends the approach of every ship of the container's sector that has come within half the
// container's radius of its approach point, and wakes the script that waits for it.
void ContainerEndShipApproaches(SpaceObject* container);
