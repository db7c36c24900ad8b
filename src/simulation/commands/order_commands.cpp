// The order and movement commands of the `SA_` module (9 to 33): each checks its ship and its
// other objects, writes the ship's order mode and the order's parameters (or a turret row's aim),
// and leaves the calling task waiting until the order's handler or the turret aiming ends it with
// a result. The dispatcher calls them through the family rows below. They never end an earlier
// order's waiting call: a new order takes the ship over and the earlier task stays unanswered.
#include <algorithm>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/instance.h"
#include "simulation/commands/sa_call.h"
#include "simulation/order_modes.h"
#include "simulation/turrets.h"
#include "simulation/simulation_services.h"
#include "script/tasks.h"
#include "universe/container_departures.h"
#include "universe/dock_ports.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kObjFlagNoCollisions = kObjFlagBit10;
constexpr uint32_t kObjFlagGuideLights = 1u << 25;

constexpr int32_t kGateEntrySpread = 16384;         // a quarter turn: plus or minus 45 degrees
constexpr int32_t kPreApproachFraction = 0xB333;    // 0.7: how far toward the approach point
constexpr int32_t kHangarClearDistance = 1110000;   // where a ship leaving a hangar heads first
constexpr int32_t kWarpTimeMs = 900;
constexpr int32_t kWarpInDistance = 1348650;        // 900 * 900 * 1665000 / 1000000
constexpr int32_t kAvoidMargin = 150000;            // beyond the ship's radius
constexpr int32_t kAvoidLookAhead = 5;
constexpr int32_t kAttackOffsetLimit = 100000;
constexpr int32_t kAttackFirstDelay = 50;
constexpr int32_t kDefensiveMoveTime = 300000;
constexpr int32_t kTurnToObjectDistance = 400000;
constexpr int32_t kFacingBefore = 60293;            // 0.92: a ship faces the entry it waits before
constexpr int32_t kNoEntry = -1;

// The answers of a hangar start as the universe gives them.
constexpr int32_t kHangarPlacementFailed = -1;

int32_t Mul16(int64_t a, int64_t b) { return SaturateToInt32((a * b) >> 16); }

FixedVector Forward(const SpaceObject* o) {
  const FixedMatrix* m = GetObjectRotationMatrix(o);
  return m ? FixedVector{m->m[2][0], m->m[2][1], m->m[2][2], 0} : FixedVector{0, 0, kFixedOne, 0};
}

int32_t Dot16(const FixedVector& a, const FixedVector& b) {
  return SaturateToInt32((int64_t{a.x} * b.x + int64_t{a.y} * b.y + int64_t{a.z} * b.z) >> 16);
}

// a + b, each coordinate kept within 32 bits; a's fourth word.
FixedVector Plus(const FixedVector& a, const FixedVector& b) {
  return {SaturateToInt32(int64_t{a.x} + b.x), SaturateToInt32(int64_t{a.y} + b.y), SaturateToInt32(int64_t{a.z} + b.z),
          a.w};
}

// A point of the container's own frame, in units of its radius, taken into the world.
FixedVector ContainerPoint(const SpaceObject* container, const FixedVector& local) {
  FixedVector scaled, turned;
  MulVectorFixed(&scaled, container->radius, &local);
  if (const FixedMatrix* m = GetObjectRotationMatrix(container)) MatrixMulVector(&turned, m, &scaled);
  else turned = scaled;
  return Plus(InstancePositionOf(container), turned);
}

void SetSecondPoint(ShipExt* ext, const FixedVector& point) {
  ext->orderWords[kSecondPointWord] = static_cast<uint32_t>(point.x);
  ext->orderWords[kSecondPointWord + 1] = static_cast<uint32_t>(point.y);
  ext->orderWords[kSecondPointWord + 2] = static_cast<uint32_t>(point.z);
}

void SetArrivalDistance(ShipExt* ext, int32_t distance) {
  ext->orderWords[kArrivalDistanceWord] = static_cast<uint32_t>(distance);
}

// A time of 0 or less leaves the order without an end time.
void SetEndTime(ShipExt* ext, int32_t time) {
  OrderWord(ext, kOrderEndFlagWord) = time > 0 ? 1u : 0u;
  if (time > 0) OrderWord(ext, kOrderEndTimeWord) = SimulationNow() + static_cast<uint32_t>(time);
}

void SetMode(ShipExt* ext, int32_t mode) { ext->commandState = static_cast<uint16_t>(mode); }

void StartOrder(ShipExt* ext, int32_t mode, SpaceObject* target) {
  SetMode(ext, mode);
  ext->commandObject = target;
}

// The object of an argument whose id 0 means none.
SpaceObject* OptionalObject(const SACall* call, int32_t i) { return SAArgInt(call, i) != 0 ? SAArgObject(call, i) : nullptr; }

FixedVector PointArgs(const SACall* call, int32_t first) {
  return {SAArgInt(call, first), SAArgInt(call, first + 1), SAArgInt(call, first + 2), 0};
}

// What every order command begins with: the ship of argument 0 and, for most, the object of
// argument 1.
struct Order {
  SpaceObject* ship;
  ShipExt* ext;
  SpaceObject* other;
};
enum class Needs { Ship, ShipAndObject };

// False, with the answer 0 given, without a ship (or without the second object it needs).
bool TakeOrder(SACall* call, Needs needs, Order* o) {
  o->ship = SAArgObject(call, 0);
  o->ext = ShipExtOrNull(o->ship);
  o->other = needs == Needs::ShipAndObject ? SAArgObject(call, 1) : nullptr;
  if (o->ext && (needs == Needs::Ship || o->other)) return true;
  SAAnswerInt(call, 0);
  return false;
}

// A command of the family on its ship: run only when the objects it needs exist.
using OrderCommand = void (*)(SACall* call, const Order& o);
template <OrderCommand Run, Needs kNeeds>
void OnShip(SACall* call) {
  Order o;
  if (TakeOrder(call, kNeeds, &o)) Run(call, o);
}

// ---- Containers ------------------------------------------------------------------------------

// The number of docking places of the container's type; 0 for a type without them.
int32_t DockPlaceCount(const SpaceObject* container) {
  return TypeGetDockSlotCount(container->subtype, container->objClass);
}

InstanceRecord* PlaceEntry(SpaceObject* container, int32_t slot, const SpaceObject* ship, int32_t entry) {
  const DockSlotRow* row = ObjGetDockSlotRow(container, slot);
  return row ? PickEntryForShipType(row, ship->subtype, entry) : nullptr;
}

void FlyObjectIntoContainer(SACall* call, const Order& o) {
  auto [ship, ext, container] = o;
  const int32_t slot = SAArgInt(call, 2);
  const int32_t entry = call->argCount >= 4 ? SAArgInt(call, 3) : kNoEntry;
  ext->dockSlot = -1;
  ext->orderWords[kEntryIndexWord] = static_cast<uint32_t>(kNoEntry);
  FixedVector point = InstancePositionOf(container);
  FixedVector second = point;
  if (!(container->flags & kObjFlagContainer)) {
    // Straight at its centre.
  } else if (container->objClass == kClassGate) {
    if (!ShipIsLargeClass(ship)) {
      // Small ships spread over the gate's opening, within 45 degrees either side of its entry.
      const uint32_t a = static_cast<uint32_t>(RandomUpTo(kGateEntrySpread) - kGateEntrySpread / 2);
      FixedVector local;
      ContainerDockVectors(container, &local, nullptr);
      const int32_t y = local.y;
      local.x = -FixedMul(y, TableSine(a));
      local.y = FixedMul(y, TableCosine(a));
      point = ContainerPoint(container, local);
    }
    second = point;
  } else if (slot >= 0 && DockPlaceCount(container) > 0) {
    if (!IsObjectClass567(container) || slot >= DockPlaceCount(container)) return SAAnswerInt(call, 0);
    InstanceRecord* node = PlaceEntry(container, slot, ship, entry);
    if (!node) return SAAnswerInt(call, 0);
    GetInstanceAbsPos(node, &point);
    second = point;
    DockApproach approach;
    if (ComputeDockApproach(container, node, ship, &approach)) {
      const FixedVector& a = approach.point;
      second = Plus(point, {Mul16(kPreApproachFraction, int64_t{a.x} - point.x),
                            Mul16(kPreApproachFraction, int64_t{a.y} - point.y),
                            Mul16(kPreApproachFraction, int64_t{a.z} - point.z), 0});
    }
    ext->dockSlot = slot;
    ext->orderWords[kEntryIndexWord] = static_cast<uint32_t>(entry);
  } else {
    FixedVector local;
    ContainerDockVectors(container, &local, nullptr);
    point = ContainerPoint(container, local);
    second = point;
  }
  ext->commandPoint = point;
  SetSecondPoint(ext, second);
  StartOrder(ext, OM_FLY_INTO_CONTAINER, container);
  ext->thinkDue = SimulationNow();
  SAWaitOn(call, ship);
}

void FlyObjectBeforeContainer(SACall* call, const Order& o) {
  auto [ship, ext, container] = o;
  const int32_t slot = SAArgInt(call, 2);
  const int32_t entry = call->argCount >= 4 ? SAArgInt(call, 3) : kNoEntry;
  ext->dockSlot = -1;
  const FixedVector centre = InstancePositionOf(container);
  FixedVector point = centre;
  if (!(container->flags & kObjFlagContainer)) {
    // Before its centre.
  } else if (slot >= 0 && DockPlaceCount(container) > 0) {
    FixedVector approach;
    if (!DockSlotApproach(slot, container, ship, entry, &approach, 0, 0)) return SAAnswerInt(call, 0);
    // Kept in the container's frame, so the point moves with a container that turns.
    const FixedVector offset = {SaturateToInt32(int64_t{approach.x} - centre.x),
                                SaturateToInt32(int64_t{approach.y} - centre.y),
                                SaturateToInt32(int64_t{approach.z} - centre.z), 0};
    if (const FixedMatrix* m = GetObjectRotationMatrix(container)) MatrixTransposeMulVector(&point, m, &offset);
    else point = offset;
    ext->dockSlot = slot;
    ext->orderWords[kEntryIndexWord] = static_cast<uint32_t>(entry);
  } else {
    FixedVector front;
    ContainerDockVectors(container, nullptr, &front);
    point = ContainerPoint(container, front);
  }
  ext->commandPoint = point;
  StartOrder(ext, OM_FLY_BEFORE_CONTAINER, container);
  ext->thinkDue = SimulationNow();
  SAWaitOn(call, ship);
}

void IsObjectBeforeContainer(SACall* call, const Order& o) {
  auto [ship, ext, container] = o;
  const int32_t slot = SAArgInt(call, 2);
  if (!(container->flags & kObjFlagContainer) || slot < 0 || slot >= DockPlaceCount(container)) {
    return SAAnswerInt(call, 0);
  }
  InstanceRecord* node = PlaceEntry(container, slot, ship, kNoEntry);
  DockApproach approach;
  if (!node || !ComputeDockApproach(container, node, ship, &approach)) return SAAnswerInt(call, 0);
  FixedVector entryAt;
  GetInstanceAbsPos(node, &entryAt);
  const FixedVector at = InstancePositionOf(ship);
  const FixedVector forward = Forward(ship);
  FixedVector toEntry;
  SubVector(&toEntry, &at, &entryAt);
  NormalizeVector(&toEntry);
  // Facing the entry from in front of it, close enough to go in.
  const bool before = Dot16(approach.direction, forward) <= -kFacingBefore &&
                      GetDistance(&at, &entryAt) <= approach.distance && Dot16(toEntry, forward) >= kFacingBefore;
  SAAnswerInt(call, before ? 1 : 0);
}

void FlyObjectBeforeContainerPos(SACall* call, const Order& o) {
  auto [ship, ext, container] = o;
  StartOrder(ext, OM_FLY_BEFORE_CONTAINER, container);
  ext->commandPoint = PointArgs(call, 2);
  ext->dockSlot = -1;
  SAWaitOn(call, ship);
}

void ClearObjectFromHangar(SACall* call, const Order& o) {
  auto [ship, ext, container] = o;
  const int32_t slot = SAArgInt(call, 2);
  if (!IsObjectClass567(container) && container->objClass != kClassGate) return SAAnswerInt(call, 0);
  ext->thinkDue = SimulationNow();
  StartOrder(ext, OM_CLEAR_FROM_HANGAR, container);
  const FixedVector at = InstancePositionOf(ship);
  SetSecondPoint(ext, at);
  ext->dockSlot = slot;
  if (slot >= 0) {
    // Without an approach the ship heads from where it is, never back into the container.
    FixedVector out;
    ext->commandPoint = DockSlotApproach(slot, container, ship, kNoEntry, &out, 1, kHangarClearDistance) ? out : at;
  }
  SAWaitOn(call, ship);
}

void StartInHangar(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  SpaceObject* container = SAArgObject(call, 1);
  if (!ship || !container || !gSimulationServices.startInHangar) return SAAnswerInt(call, 0);
  const int32_t slot = call->argCount >= 3 ? SAArgInt(call, 2) : -1;
  switch (gSimulationServices.startInHangar(ship, container, slot)) {
    case kHangarPlacementFailed: return SAAnswerInt(call, 0);
    case kHangarStartWaiting: return SAWaitOn(call, ship);
    case kHangarStartPlaced: return SAAnswerInt(call, 1);
    default: return SAAnswerInt(call, 10);
  }
}

// ---- Gates -----------------------------------------------------------------------------------

// Both warps start alike: the path's clock, the ship's position as where it starts, and the gate
// as the target when there is one; a ship passing a gate collides with nothing. True with a gate.
bool StartWarp(SpaceObject* ship, ShipExt* ext, int32_t mode, uint32_t flag, SpaceObject* gate) {
  SetMode(ext, mode);
  ext->commandFlag = flag;
  ext->nextCheckAt = SimulationNow() + kWarpTimeMs;
  ext->commandPoint = InstancePositionOf(ship);
  const bool throughGate = gate && gate->objClass == kClassGate;
  ext->commandObject = throughGate ? gate : nullptr;
  if (throughGate) ship->flags |= kObjFlagNoCollisions;
  return throughGate;
}

void WarpObjectAway(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  SpaceObject* gate = OptionalObject(call, 1);
  if (StartWarp(ship, ext, OM_WARP_AWAY, static_cast<uint32_t>(-1), gate)) gate->flags |= kObjFlagGuideLights;
  SAWaitOn(call, ship);
}

void WarpObjectIn(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  SpaceObject* gate = OptionalObject(call, 1);
  // The same warp asked for again only takes over the waiting call; the ship goes on as it was.
  if (ShipOrderMode(ship) == OM_WARP_IN && ext->commandObject == gate) return SAWaitOn(call, ship);
  if (StartWarp(ship, ext, OM_WARP_IN, 1, gate) && ship->instance) {
    // The ship comes out of the gate: it starts where the warp path begins, ahead of the gate.
    const FixedVector axis = Forward(gate);
    FixedVector ahead;
    MulVectorFixed(&ahead, kWarpInDistance, &axis);
    ship->instance->position = Plus(ext->commandPoint, ahead);
  }
  SAWaitOn(call, ship);
}

// ---- Combat and company ----------------------------------------------------------------------

void AvoidObjectCollision(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  int32_t distance = SAArgInt(call, 1);
  const bool random = call->argCount > 2 && SAArgInt(call, 2) != 0;
  ext->thinkDue = SimulationNow();
  SetMode(ext, OM_AVOID_COLLISION);
  OrderWord(ext, kEvasionCounterWord) = random ? static_cast<uint32_t>(1 + RandomBelow(10)) : 0u;
  const FixedVector at = InstancePositionOf(ship);
  SetSecondPoint(ext, at);
  if (distance <= 0) distance = SaturateToInt32(int64_t{ship->radius} + kAvoidMargin);
  SetArrivalDistance(ext, distance);
  OrderWord(ext, kEvasionRollWord) = 0;
  OrderWord(ext, kEvasionStyleWord) = static_cast<uint32_t>(-1);
  const FixedVector forward = Forward(ship);
  const int64_t reach = int64_t{kAvoidLookAhead} * distance;
  ext->commandPoint = Plus(at, {Mul16(reach, forward.x), Mul16(reach, forward.y), Mul16(reach, forward.z), 0});
  SAWaitOn(call, ship);
}

void CaptureObject(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  StartOrder(ext, OM_CAPTURE, target);
  ext->thinkDue = SimulationNow();
  SetEndTime(ext, SAArgInt(call, 2));
  SAWaitOn(call, ship);
}

// Where around the target the ship aims: a random direction in the target's plane, at the two
// objects' sizes but never further out than 100000.
FixedVector AttackOffset(SpaceObject* ship, SpaceObject* target) {
  const int64_t sizes = int64_t{target->instance ? B3D_InstGetTotalSize(target->instance) : 0} +
                        (ship->instance ? B3D_InstGetTotalSize(ship->instance) : 0);
  const int32_t r = static_cast<int32_t>(std::clamp<int64_t>(sizes, 0, kAttackOffsetLimit));
  const uint32_t a = static_cast<uint32_t>((RandomBelow16(1000) << 16) / 1000);
  return {FixedMul(r, TableCosine(a)), FixedMul(r, TableSine(a)), 0, 0};
}

void Attack(SACall* call, const Order& o, int32_t mode) {
  auto [ship, ext, target] = o;
  const int32_t delay = SAArgInt(call, 2);
  const uint32_t now = SimulationNow();
  StartOrder(ext, mode, target);
  ext->commandPoint = AttackOffset(ship, target);
  ext->thinkDue = now;
  OrderWord(ext, kAttackTimerWord) = now + static_cast<uint32_t>(delay > 0 ? delay : kAttackFirstDelay);
  SetEndTime(ext, SAArgInt(call, 3));
  SAWaitOn(call, ship);
}

void AttackObject(SACall* call, const Order& o) { Attack(call, o, OM_ATTACK); }
void AttackObjectBig(SACall* call, const Order& o) { Attack(call, o, OM_ATTACK_BIG); }

void DefensiveMove(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  const int32_t time = SAArgInt(call, 3);
  const uint32_t now = SimulationNow();
  SetArrivalDistance(ext, SAArgInt(call, 2));
  StartOrder(ext, OM_DEFENSIVE_MOVE, OptionalObject(call, 4));
  ext->thinkDue = now;
  OrderWord(ext, kEvasionCounterWord) = 0;
  OrderWord(ext, kAttackTimerWord) = now;
  OrderWord(ext, kOrderEndFlagWord) = 1;
  OrderWord(ext, kOrderEndTimeWord) = now + static_cast<uint32_t>(time > 0 ? time : kDefensiveMoveTime);
  SAWaitOn(call, ship);
}

void EscortObject(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  StartOrder(ext, OM_ESCORT, target);
  ext->commandPoint = PointArgs(call, 2);
  SetArrivalDistance(ext, SAArgInt(call, 5));
  ext->thinkDue = SimulationNow();
  SetEndTime(ext, SAArgInt(call, 6));
  SAWaitOn(call, ship);
}

void FollowObject(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  StartOrder(ext, OM_FOLLOW, target);
  SetArrivalDistance(ext, SAArgInt(call, 2));
  ext->thinkDue = SimulationNow();
  SetEndTime(ext, SAArgInt(call, 3));
  SAWaitOn(call, ship);
}

void FollowObjectByCut(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  StartOrder(ext, OM_FOLLOW_BY_CUT, target);
  SetArrivalDistance(ext, SAArgInt(call, 2));  // the word holds the order's cut
  OrderWord(ext, kOrderCutPathWord) = static_cast<uint32_t>(SAArgInt(call, 3));
  // Ships given the same cut at once start apart.
  ext->thinkDue = SimulationNow() + static_cast<uint32_t>(RandomBelow(1000));
  SAWaitOn(call, ship);
}

void TurnToObject(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  SetArrivalDistance(ext, call->argCount >= 3 ? SAArgInt(call, 2) : kTurnToObjectDistance);
  StartOrder(ext, OM_TURN_TO_OBJECT, target);
  SAWaitOn(call, ship);
}

// ---- Movement --------------------------------------------------------------------------------

void Idle(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  const uint32_t now = SimulationNow();
  SetMode(ext, OM_IDLE);
  ext->commandPoint = InstancePositionOf(ship);
  ext->thinkDue = now;
  OrderWord(ext, kOrderEndTimeWord) = now + static_cast<uint32_t>(SAArgInt(call, 1));
  SAWaitOn(call, ship);
}

void RotateToAngles(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  uint32_t roll = kNoRoll;
  if (call->argCount > 3) {
    int32_t r = SAArgInt(call, 3) % 65536;
    roll = static_cast<uint32_t>(r < 0 ? r + 65536 : r);
  }
  SetMode(ext, OM_ROTATE_TO_ANGLES);
  ext->commandPoint.x = SAArgInt(call, 1);
  ext->commandPoint.y = SAArgInt(call, 2);
  ext->commandPoint.z = static_cast<int32_t>(roll);
  SAWaitOn(call, ship);
}

void MoveTo(SACall* call, const Order& o, int32_t mode) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  SetMode(ext, mode);
  SetArrivalDistance(ext, SAArgInt(call, 4));
  ext->commandPoint = PointArgs(call, 1);
  SAWaitOn(call, ship);
}

void MovePos(SACall* call, const Order& o) { MoveTo(call, o, OM_MOVE_POS); }
void MovePosContinue(SACall* call, const Order& o) { MoveTo(call, o, OM_MOVE_POS_CONTINUE); }

void GlidePos(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  const int32_t tolerance = SAArgInt(call, 4) / kGlideUnit;
  const int32_t speed = SAArgInt(call, 5) / kGlideUnit;
  SetMode(ext, OM_GLIDE_POS);
  ext->commandPoint = PointArgs(call, 1);
  ship->refAngles[0] = ship->refAngles[1] = ship->refAngles[2] = 0;
  // Both halves in one word: the speed above, the tolerance below, each in steps of 222.
  SetArrivalDistance(ext, static_cast<int32_t>((static_cast<uint32_t>(speed) << 16) |
                                               (static_cast<uint32_t>(tolerance) & 0xFFFFu)));
  SAWaitOn(call, ship);
}

// ---- Turrets ---------------------------------------------------------------------------------

// Turret 0 is the ship's forward group, which no turret order steers.
TurretRow* OrderedTurret(SpaceObject* ship, ShipExt* ext, int32_t turret) {
  if (turret < 1 || turret >= GetShipTurretCount(ship) || turret >= kShipTurretCapacity) return nullptr;
  return &ext->turrets[turret];
}

void StopObjectTurret(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  const int32_t turret = SAArgInt(call, 1);
  if (TurretRow* row = OrderedTurret(ship, ext, turret)) {
    row->targetObject = nullptr;
    row->words[kTurretAlignCheckWord] = 0;
    row->words[kTurretAimUntilWord] = 0;
    ShipReleaseModuleHandle(ship, turret, SAArgInt(call, 2));
  }
  SAAnswerInt(call, 0);
}

// The checks both turret orders make, then the waiting call and the times on the row; null (and
// the answer 0 given) when the order is refused.
TurretRow* TurretOrder(SACall* call, SpaceObject* ship, ShipExt* ext) {
  const int32_t minimum = SAArgInt(call, 3);
  const int32_t maximum = SAArgInt(call, 4);
  TurretRow* row = OrderedTurret(ship, ext, SAArgInt(call, 2));
  if (!row || minimum <= 0 || maximum < minimum || !call->task) {
    SAAnswerInt(call, 0);
    return nullptr;
  }
  const uint32_t now = SimulationNow();
  row->moduleNo = static_cast<uint32_t>(call->resumeModule);
  row->handle = static_cast<uint32_t>(call->task->id);
  row->words[kTurretAlignCheckWord] = now + static_cast<uint32_t>(minimum);
  row->words[kTurretAimUntilWord] = now + static_cast<uint32_t>(maximum);
  return row;
}

void TurretTurnToObject(SACall* call, const Order& o) {
  auto [ship, ext, target] = o;
  if (TurretRow* row = TurretOrder(call, ship, ext)) {
    row->words[kTurretAimModeWord] = 0;
    row->targetObject = target;
  }
}

void TurretTurnToPosition(SACall* call, const Order& o) {
  SpaceObject* ship = o.ship;
  ShipExt* ext = o.ext;
  if (TurretRow* row = TurretOrder(call, ship, ext)) {
    // A short array, or no array at all, aims at 0 where elements are missing.
    int32_t point[3];
    SAArgTriple(call, 1, point);
    row->targetObject = nullptr;
    row->words[kTurretAimModeWord] = kTurretAimDirection;
    for (int k = 0; k < 3; ++k) row->stateWords[kTurretTargetPointWord + k] = static_cast<uint32_t>(point[k]);
  }
}

}  // namespace

extern const SACommandRow kOrderCommands[25] = {
    {9, OnShip<FlyObjectIntoContainer, Needs::ShipAndObject>},
    {10, OnShip<FlyObjectBeforeContainer, Needs::ShipAndObject>},
    {11, OnShip<IsObjectBeforeContainer, Needs::ShipAndObject>},
    {12, OnShip<FlyObjectBeforeContainerPos, Needs::ShipAndObject>},
    {13, OnShip<ClearObjectFromHangar, Needs::ShipAndObject>},
    {14, OnShip<WarpObjectAway, Needs::Ship>},
    {15, OnShip<AvoidObjectCollision, Needs::Ship>},
    {16, OnShip<CaptureObject, Needs::ShipAndObject>},
    {17, OnShip<AttackObject, Needs::ShipAndObject>},
    {18, OnShip<AttackObjectBig, Needs::ShipAndObject>},
    {19, OnShip<DefensiveMove, Needs::Ship>},
    {20, OnShip<EscortObject, Needs::ShipAndObject>},
    {21, OnShip<StopObjectTurret, Needs::Ship>},
    {22, OnShip<TurnToObject, Needs::ShipAndObject>},
    {23, OnShip<TurretTurnToObject, Needs::ShipAndObject>},
    {24, OnShip<TurretTurnToPosition, Needs::Ship>},
    {25, StartInHangar},
    {26, OnShip<Idle, Needs::Ship>},
    {27, OnShip<FollowObject, Needs::ShipAndObject>},
    {28, OnShip<FollowObjectByCut, Needs::ShipAndObject>},
    {29, OnShip<RotateToAngles, Needs::Ship>},
    {30, OnShip<MovePos, Needs::Ship>},
    {31, OnShip<MovePosContinue, Needs::Ship>},
    {32, OnShip<GlidePos, Needs::Ship>},
    {33, OnShip<WarpObjectIn, Needs::Ship>},
};
