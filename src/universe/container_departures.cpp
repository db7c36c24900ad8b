// Ships leaving and entering containers (see container_departures.h): launch spacing, the gate
// slots and their exit angles, the exits of docks, factories and carriers with their launch
// speeds, and the hangar start at a docking place or at the model's hangar node. Called by the
// per-frame object pass and the hangar-start command. It moves ships between lists but never
// frees one; a docking place that the script names is checked before the ship records it.
#include "universe/container_departures.h"

#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "universe/dock_ports.h"
#include "universe/dock_slot_placement.h"
#include "universe/object_detail.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kGateSpacing = 10000;
constexpr int32_t kSpacingSpread = 10000;
constexpr int32_t kSpacingSpeedScale = 17760;
constexpr int32_t kGateSlotAngleCentre = 3;
constexpr int32_t kGateSlotAngleDivisor = 24;
constexpr int32_t kLargeShipGateHeight = 11100;
constexpr uint32_t kHalfTurn = 0x8000;
constexpr uint16_t kCommandGateExit = 0x21;
constexpr uint32_t kGateCheckDelay = 900;
constexpr int32_t kGateExitDistance = 1348650;  // 1665000 x 810000 / 1000000
constexpr int32_t kSameHeading = 0xCCCC;         // a dot product of 0.8
constexpr int32_t kCarrierSpeedMargin = 20000;
constexpr int32_t kDockLaunchSpeed = 6666;
constexpr int32_t kLaunchSpeedLimit = 20000;
constexpr int32_t kGateLaunchSpeed = 120000;
constexpr int32_t kGateLaunchSpeedLarge = 60000;
constexpr uint16_t kCommandStateDocking = 5;
constexpr int32_t kModuleReleased = 1;
constexpr uint32_t kGateSlotHold = 20000;
constexpr uint32_t kPlaceHold = 10000;
constexpr int32_t kHangarSpread = 1000000;
constexpr int32_t kHangarOffset = 500000;
constexpr int32_t kHangarDepth = 500000;
// Docking-place flags that shape the ship's first motion.
constexpr uint32_t kPlaceUsed = 1u << 21;
constexpr uint32_t kPlaceSinkUp = 1u << 22;
constexpr uint32_t kPlaceDropBack = 1u << 25;
constexpr uint32_t kPlaceRiseForward = 1u << 26;
constexpr int32_t kPlaceNudge = 10000;
constexpr int32_t kPlaceThrust = 2500000;
constexpr int32_t kPlaceLift = 100000;
// Ship groups whose presence near a departure calls for a clear path.
constexpr int32_t kWatchedGroups[] = {1, 5, 6, 7, 9, 10, 12};

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

int32_t Mul16(int64_t a, int64_t b) { return SaturateToInt32((a * b + 0x8000) >> 16); }

bool IsDockClass(const SpaceObject* c) {
  return c->objClass == kClassDock || c->objClass == kClassFactory || c->objClass == kClassShip;
}

// The common head of the container extensions: child list, launch time and the two dock points.
struct ContainerHead {
  uint32_t* nextLaunchAt;
  const FixedVector* innerPoint;
  const FixedVector* outerPoint;
};

bool HeadOf(SpaceObject* c, ContainerHead* out) {
  if (!c->ext) return false;
  switch (c->objClass) {
    case kClassDock:
    case kClassFactory: {
      auto* d = static_cast<DockExt*>(c->ext);
      *out = {&d->nextLaunchAt, &d->innerPoint, &d->outerPoint};
      return true;
    }
    case kClassShip: {
      auto* s = static_cast<ShipExt*>(c->ext);
      *out = {&s->nextLaunchAt, &s->innerPoint, &s->outerPoint};
      return true;
    }
    case kClassGate: {
      auto* g = static_cast<GateExt*>(c->ext);
      *out = {&g->nextLaunchAt, &g->innerPoint, &g->outerPoint};
      return true;
    }
    default: return false;
  }
}

FixedVector Row(const FixedMatrix& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2], 0}; }

// v + axis x length, the axis a 16.16 unit row.
void AddAlong(FixedVector* v, const FixedVector& axis, int32_t length) {
  v->x = SaturateToInt32(int64_t{v->x} + Mul16(axis.x, length));
  v->y = SaturateToInt32(int64_t{v->y} + Mul16(axis.y, length));
  v->z = SaturateToInt32(int64_t{v->z} + Mul16(axis.z, length));
}

void ResetViewpoint(SpaceObject* ship) {
  if (static_cast<ShipExt*>(ship->ext)->viewpoint != 0) ShipSelectViewpoint(ship, 0, true, false);
}

int32_t ShipGroup(const SpaceObject* ship) {
  const ObjectTypeRecord* row = TypeRow(ship->objClass, ship->subtype);
  return row ? row->group : -1;
}

int32_t GateSlotOf(const GateExt* gate, const SpaceObject* ship) {
  for (int k = 0; k < kGateSlotCount; ++k) {
    if (gate->slotShips[k] == ship) return k;
  }
  return -1;
}

bool GateSlotFree(const GateExt* gate, int k, uint32_t now) {
  return !gate->slotShips[k] || static_cast<int32_t>(now - gate->slotTimes[k]) >= 0;
}

// Step 4: the gate exit; false when a small ship holds no slot of the gate.
bool LeaveGate(SpaceObject* ship, SpaceObject* gate, bool large, const ContainerHead& head) {
  const auto* ext = static_cast<const GateExt*>(gate->ext);
  const FixedVector& inner = *head.innerPoint;
  FixedVector offset;
  if (!large) {
    const int32_t k = GateSlotOf(ext, ship);
    if (k < 0) return false;
    const auto angle = static_cast<Angle16>((k - kGateSlotAngleCentre) * 65536 / kGateSlotAngleDivisor);
    const FixedVector turned{Mul16(TableSine(angle), inner.y), -Mul16(TableCosine(angle), inner.y), inner.z, 0};
    MulVectorFixed(&offset, gate->radius, &turned);
    offset.z -= ship->radius;
  } else {
    offset = {0, kLargeShipGateHeight, FixedMul(inner.z, gate->radius) - ship->radius, 0};
  }
  const InstanceRecord* g = gate->instance;
  InstanceRecord* instance = ship->instance;
  FixedVector turned;
  MatrixMulVector(&turned, &g->matrix, &offset);
  AddVector(&instance->position, &g->position, &turned);
  FixedMatrix halfTurn;
  MatrixFromAngles(&halfTurn, kHalfTurn, 0, 0);
  MatrixMultiply(&instance->matrix, &halfTurn, &g->matrix);
  MatrixToAngles(&instance->matrix, &ship->angles[0], &ship->angles[1], &ship->angles[2]);
  auto* s = static_cast<ShipExt*>(ship->ext);
  s->commandState = kCommandGateExit;
  s->commandFlag = 1;
  s->nextCheckAt = Now() + kGateCheckDelay;
  s->commandPoint = instance->position;
  ship->flags |= kObjFlagBit10;
  AddAlong(&instance->position, Row(g->matrix, 2), kGateExitDistance);
  s->commandObject = gate;
  return true;
}

// Step 5: out of the inner dock point, facing away from the container.
void LeaveDock(SpaceObject* ship, SpaceObject* container, const ContainerHead& head) {
  const InstanceRecord* c = container->instance;
  InstanceRecord* instance = ship->instance;
  FixedVector offset, turned;
  MulVectorFixed(&offset, container->radius, head.innerPoint);
  MatrixMulVector(&turned, &c->matrix, &offset);
  AddVector(&instance->position, &c->position, &turned);
  int32_t a = container->angles[0], b = container->angles[1];
  if (head.innerPoint->z >= head.outerPoint->z) {
    a = (a - static_cast<int32_t>(kHalfTurn)) & 0xFFFF;
    b = -b & 0xFFFF;
  }
  ship->angles[0] = a;
  ship->angles[1] = b;
  ship->angles[2] = container->angles[2];
  MatrixFromAngles(&instance->matrix, static_cast<uint32_t>(ship->angles[0]), static_cast<uint32_t>(ship->angles[1]),
                   static_cast<uint32_t>(ship->angles[2]));
  AddAlong(&instance->position, Row(instance->matrix, 2), 2 * ship->radius);
}

int32_t HeadingDot(const SpaceObject* a, const SpaceObject* b) {
  const FixedVector fa = Row(a->instance->matrix, 2);
  const FixedVector fb = Row(b->instance->matrix, 2);
  return FixDot3(&fa, &fb);
}

void SetLaunchSpeed(SpaceObject* ship, const SpaceObject* container, bool gate, bool large) {
  int32_t limit = kLaunchSpeedLimit;
  if (gate) {
    ship->speed = large ? kGateLaunchSpeedLarge : kGateLaunchSpeed;
  } else if (container->objClass == kClassShip &&
             HeadingDot(container, ship) > kSameHeading) {
    ship->speed = container->speed;
    limit = SaturateToInt32(int64_t{container->speed} + kCarrierSpeedMargin);
  } else {
    ship->speed = kDockLaunchSpeed;
  }
  const int32_t max = GetObjectMaxSpeed(ship);
  ship->speedLimit = max < limit ? max : limit;
}

bool WatchedGroup(int32_t group) {
  for (int32_t g : kWatchedGroups) {
    if (g == group) return true;
  }
  return false;
}

SpaceObject* FirstWatchedShip(SpaceObject* sector) {
  ListHead* children = sector ? ObjectChildren(sector) : nullptr;
  if (!children) return nullptr;
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassShip && WatchedGroup(ShipGroup(o))) return o;
  }
  return nullptr;
}

int64_t LargestAxisDistance(const SpaceObject* a, const SpaceObject* b) {
  const FixedVector& p = a->instance->position;
  const FixedVector& q = b->instance->position;
  const int64_t d[3] = {std::llabs(int64_t{p.x} - q.x), std::llabs(int64_t{p.y} - q.y), std::llabs(int64_t{p.z} - q.z)};
  return d[0] > d[1] ? (d[0] > d[2] ? d[0] : d[2]) : (d[1] > d[2] ? d[1] : d[2]);
}

// Step 8: a ship that comes out next to another watched ship is moved to a free place.
void ClearDeparture(SpaceObject* ship) {
  SpaceObject* other = (ship->flags & kObjFlagBit1) ? FirstWatchedShip(ship->parent) : nullptr;
  if (!other) {
    ReleaseModuleHandle(ship, kModuleReleased);
    ship->flags &= ~kObjFlagFree;
    return;
  }
  if (other == ship || ShipHasGroupCode(other) || !other->instance) return;
  if (static_cast<ShipExt*>(other->ext)->commandState == kCommandStateDocking) return;
  if (LargestAxisDistance(ship, other) < 2 * (int64_t{ship->radius} + other->radius)) ObjMoveToSafePos(ship, nullptr);
}

// Gate entry: a free place among the first six (seven for the player's ship), chosen at random;
// its index, or -1 when none is free.
int TakeGateSlot(SpaceObject* ship, GateExt* gate) {
  const int limit = gUniverse && ship == gUniverse->player ? kGateSlotCount : kGateSlotsForOthers;
  const uint32_t now = Now();
  int free[kGateSlotCount];
  int count = 0;
  for (int k = 0; k < limit; ++k) {
    if (GateSlotFree(gate, k, now)) free[count++] = k;
  }
  if (count == 0) return -1;
  const int k = free[RandomBelow(count)];
  gate->slotShips[k] = ship;
  gate->slotTimes[k] = now + kGateSlotHold;
  return k;
}

void LeaveSectorScene(SpaceObject* ship) {
  for (InstanceRecord* instance : {ship->instance, ship->shownInstance}) {
    if (instance && instance->scene) RemoveInstanceFromScene(instance, instance->scene);
  }
  ReleaseObjectReferences(ship, 1);
}

void StopAt(SpaceObject* ship, const SpaceObject* container) {
  ship->speed = 0;
  ship->speedLimit = 0;
  ship->baseVelocity = container->baseVelocity;
}

void Launch(SpaceObject* ship, SpaceObject* container) {
  ObjAttachInstance(ship, container->parent);
  static_cast<ShipExt*>(ship->ext)->thinkDue = Now();
  ship->flags &= ~kObjFlagFree;
}

// 0 .. 999969: a draw of the generator spread over the hangar's reach.
int32_t HangarDraw() { return static_cast<int32_t>(int64_t{GameRand()} * kHangarSpread / 0x8000); }

// Step 6: out through the model's hangar node, or from the centre to a free place.
void StartAtHangarExit(SpaceObject* ship, SpaceObject* container) {
  StopAt(ship, container);
  InstanceRecord* instance = ship->instance;
  InstanceRecord* node = nullptr;
  if (container->instance) {
    for (InstanceRecord* c = InstFirstChild(container->instance); c && !node; c = InstNextSibling(c)) {
      if (c->bodyId == kHangarNodeBody) node = c;
    }
  }
  if (node) {
    FixedVector at, turned;
    GetInstanceAbsPos(node, &at);
    GetInstanceAbsMatrix(node, &instance->matrix);
    const int32_t x = HangarDraw() - kHangarOffset;
    const int32_t y = HangarDraw() - kHangarOffset;
    const FixedVector offset{x, y, HangarDraw() + kHangarDepth, 0};
    MatrixMulVector(&turned, &instance->matrix, &offset);
    AddVectorTo(&at, &turned);
    ObjPlaceAtFreeSpot(at.x, at.y, at.z, ship);
  } else {
    instance->position = container->instance ? container->instance->position : FixedVector{};
    MatrixSetIdentity(&instance->matrix);
    ObjMoveToSafePos(ship, nullptr);
  }
  MatrixToAngles(&instance->matrix, &ship->angles[0], &ship->angles[1], &ship->angles[2]);
  Launch(ship, container);
}

// Step 7: at a docking place, with the first motion its flags give.
int32_t StartAtPlace(SpaceObject* ship, SpaceObject* container, int32_t slot) {
  const DockSlotRow* row = ObjGetDockSlotRow(container, slot);
  InstanceRecord* entry = row ? PickEntryForShipGroup(row, ShipGroup(ship), -1) : nullptr;
  if (!entry) return kHangarStartFailed;
  const DockPortType* port = DockPortOfList(GetTypeDockSlotList(container->objClass, container->subtype), slot);
  const uint32_t placeFlags = port ? port->flags : 0;
  if (!(placeFlags & kPlaceUsed)) {
    PlaceShipAtDockSlot(container, slot, nullptr, 0x100);
    if (ship->flags & kObjFlagBit1) {
      if (DockSlotRow* place = ObjGetDockSlotRow(container, slot)) place->reservedAt = Now() + kPlaceHold;
    }
  }
  InstanceRecord* instance = ship->instance;
  GetInstanceAbsPos(entry, &instance->position);
  GetInstanceAbsMatrix(entry, &instance->matrix);
  StopAt(ship, container);
  MatrixToAngles(&instance->matrix, &ship->angles[0], &ship->angles[1], &ship->angles[2]);
  for (int32_t& rate : ship->turnRates) rate = 0;
  Launch(ship, container);
  FixedVector& v = ship->baseVelocity;
  const FixedMatrix& m = instance->matrix;
  if (placeFlags & kPlaceSinkUp) AddAlong(&v, Row(m, 1), -kPlaceNudge);
  if (placeFlags & kPlaceDropBack) {
    v.y -= kPlaceLift;
    AddAlong(&v, Row(m, 2), -kPlaceNudge);
    AddAlong(&v, Row(m, 2), -kPlaceThrust);
  }
  if (placeFlags & kPlaceRiseForward) {
    v.y += kPlaceLift;
    AddAlong(&v, Row(m, 2), kPlaceNudge);
    AddAlong(&v, Row(m, 2), kPlaceThrust);
    if (container->instance) AddVectorTo(&v, &container->instance->velocity);
    AddVectorTo(&v, &container->baseVelocity);
  }
  return kHangarStartPlaced;
}

}  // namespace

void ShipLeaveContainer(SpaceObject* ship, SpaceObject* container) {
  ContainerHead head;
  if (!ship || ship->objClass != kClassShip || !ship->ext || !ship->instance || !container ||
      !container->instance || !HeadOf(container, &head)) {
    return;
  }
  const bool gate = container->objClass == kClassGate;
  const uint32_t spacing =
      gate ? kGateSpacing
           : kGateSpacing + static_cast<uint32_t>(InterpolateClamped(kSpacingSpeedScale, 0, ObjGetTunedSpeed(ship), 0,
                                                                     kSpacingSpread));
  *head.nextLaunchAt = Now() + spacing;
  static_cast<ShipExt*>(ship->ext)->commandState = 0;
  ResetViewpoint(ship);
  const bool large = ShipIsLargeClass(ship);
  if (gate) {
    if (!LeaveGate(ship, container, large, head)) return;
  } else {
    LeaveDock(ship, container, head);
  }
  SetLaunchSpeed(ship, container, gate, large);
  ObjAttachInstance(ship, container->parent);
  static_cast<ShipExt*>(ship->ext)->thinkDue = Now();
  ship->flags &= ~kObjFlagWaitsInContainer;
  ClearDeparture(ship);
}

bool ContainerDockVectors(const SpaceObject* container, FixedVector* entry, FixedVector* front) {
  ContainerHead head;
  const bool found = container && HeadOf(const_cast<SpaceObject*>(container), &head);
  if (entry) *entry = found ? *head.innerPoint : FixedVector{};
  if (front) *front = found ? *head.outerPoint : FixedVector{};
  return found;
}

int32_t ObjStartInHangar(SpaceObject* ship, SpaceObject* container, int32_t slot) {
  ListHead* children = container ? ObjectChildren(container) : nullptr;
  if (!ship || ship->objClass != kClassShip || !ship->ext || !ship->instance || !children) return kHangarStartFailed;
  const bool dock = IsDockClass(container);
  // The place is checked before the ship records it: later readers index the place table with it.
  if (dock && slot >= TypeGetDockSlotCount(container->subtype, container->objClass)) return kHangarStartFailed;
  auto* ext = static_cast<ShipExt*>(ship->ext);
  ext->dockSlot = slot;
  ResetViewpoint(ship);
  int gateSlot = -1;
  if (container->objClass == kClassGate && !ShipIsLargeClass(ship)) {
    gateSlot = TakeGateSlot(ship, static_cast<GateExt*>(container->ext));
    if (gateSlot < 0) return kHangarStartFailed;
  }
  if (ship->parent && ship->parent->objClass == kClassSector) {
    LeaveSectorScene(ship);
    // Leaving the sector clears every gate's link to the ship, the place just taken included;
    // the ship keeps that place.
    if (gateSlot >= 0) static_cast<GateExt*>(container->ext)->slotShips[gateSlot] = ship;
  }
  if (ship->link.succ) ObjectListRemove(ship);
  if (container->objClass == kClassGate) {
    ListAddHead(children, &ship->link);
  } else {
    ObjectListAddTail(children, ship);
  }
  ship->flags &= ~kObjFlagWaitsInContainer;
  ship->parent = container;
  if (!dock) {
    ship->flags |= kObjFlagWaitsInContainer;
    return kHangarStartWaiting;
  }
  if (slot < 0) {
    StartAtHangarExit(ship, container);
    return kHangarStartPlaced;
  }
  return StartAtPlace(ship, container, slot);
}
