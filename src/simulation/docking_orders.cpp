// The docking order modes: flying to the approach point before a container, flying into a dock
// slot or through a gate and turning into the slot's orientation, and leaving a hangar or a gate.
// The order update runs them once per frame for a ship in one of those modes. They steer the ship
// and, in the slot, move and turn its instance themselves; they mark the container (hold still,
// gate guide lights) and its slot row, and end the order through EndShipOrder. They never free or
// re-parent an object.
#include "simulation/docking_orders.h"

#include <algorithm>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "simulation/order_modes.h"
#include "simulation/shot_hits.h"
#include "universe/dock_ports.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"

namespace {

// Flags of a slot's type entry the docking reads.
constexpr uint32_t kDockPortEndsNearSlot = 1u << 20;
constexpr uint32_t kDockPortShortFinal = (1u << 23) | (1u << 24);
// `ObjectFlags` bits that keep a ship from leaving a hangar this frame.
constexpr uint32_t kClearHeldFlags = kObjFlagFree | kObjFlagNoCollisions | kObjFlagRemoving;

constexpr int32_t kShipContainerTolerance = 111000;
constexpr int32_t kMinTolerance = 22200;
constexpr int32_t kDetourBodyFactor = 68812;  // 1.05: the goal lies clearly in front of the body
constexpr int32_t kCreepSpeed = 500;
constexpr int32_t kApproachFloor = 5000;
constexpr int32_t kApproachCosine = 45875;  // 0.7
constexpr int32_t kLargeApproachSpeed = 50000;

constexpr int32_t kSlotCosine = 62259;  // 0.95
constexpr int32_t kSlowGroupSpeed = 50000;
constexpr int32_t kSlowGroupTurn = 1820;
constexpr int32_t kFastGroupSpeed = 75000;
constexpr int32_t kFastGroupTurn = 910;
constexpr int32_t kSlotCruise = 20000;
constexpr int32_t kSlotReach = 25000;  // beyond 2 radii: where the docking phase begins
constexpr int32_t kSlotArrival = 1500;
constexpr int32_t kSlotOccupy = 8880;
constexpr int32_t kSlotFinalSpeed = 2500;
constexpr int32_t kSlotTurnFlip = -19660;  // -0.3: the axis turned back, the turn is over
constexpr int32_t kAlignedRates = 1310;
constexpr int32_t kMaxTurnRadius = 1000000;
// Below this leftover angle (one degree) the ship counts as turned: the 16.16 matrices leave a
// rounding rest whose axis points anywhere.
constexpr int32_t kTurnedAngle = 182;
constexpr int32_t kOccupyMode = 0;  // the reservation that closes the slot behind the ship

constexpr int32_t kGateExitSpeedLarge = 60000;
constexpr int32_t kGateExitSpeed = 120000;
constexpr int32_t kSlotExitSpeed = 50000;
constexpr int32_t kFarAhead = 1000000;

int32_t Length(const FixedVector& v) { return GetVectorLength(&v); }

bool IsDockingContainer(const SpaceObject* o) {
  return o->objClass == kClassDock || o->objClass == kClassFactory || o->objClass == kClassShip;
}

bool ContainerGone(const SpaceObject* container) { return !container || (container->flags & kObjFlagRemoving); }

void FailWithoutContainer(SpaceObject* ship, ShipExt* ext) {
  ext->dockSlot = -1;
  EndShipOrder(ship, OM_NONE, kOrderFailed);
}

void Arrive(SpaceObject* ship, ShipExt* ext) {
  ship->speedLimit = ship->speed = 0;
  ext->dockSlot = -1;
  EndShipOrder(ship, OM_NONE, kOrderDone);
}

// ---------------------------------------------------------------------------------------------
// Flying before a container.

// How close to the approach point counts as there.
int32_t ApproachTolerance(const SpaceObject* ship, const SpaceObject* container) {
  if (container->objClass == kClassGate) return SaturateToInt32(int64_t{container->radius} * 3 / 4);
  if (container->objClass == kClassShip) return kShipContainerTolerance;
  const int64_t r = ShipIsLargeClass(ship) ? int64_t{ship->radius} : int64_t{ship->radius} * 3;
  return static_cast<int32_t>(std::clamp<int64_t>(r, kMinTolerance, kShipContainerTolerance));
}

// A unit vector at right angles to v (v not zero).
FixedVector Perpendicular(const FixedVector& v) {
  // Crossed with the axis v has least of, so the product cannot vanish.
  const int64_t ax = std::llabs(v.x), ay = std::llabs(v.y), az = std::llabs(v.z);
  FixedVector axis{};
  if (ax <= ay && ax <= az) axis.x = kFixedOne;
  else if (ay <= az) axis.y = kFixedOne;
  else axis.z = kFixedOne;
  const FixedVector unit = VecUnit(v);
  FixedVector n;
  CrossVector(&n, &unit, &axis);
  return VecUnit(n);
}

// The point beside the container's body the ship flies to first when the body lies between it
// and the goal; false when the way is clear.
bool DetourPoint(const SpaceObject* ship, const SpaceObject* container, const FixedVector& goal, int32_t dist,
                 FixedVector* out) {
  const FixedVector at = InstancePositionOf(ship);
  const FixedVector centre = InstancePositionOf(container);
  const FixedVector u = VecUnit(VecSub(goal, at));
  const FixedVector e = VecSub(goal, centre);
  const FixedVector h = VecSub(centre, at);
  const int32_t size = container->instance ? B3D_InstGetTotalSize(container->instance) : 0;
  const int64_t lengthH = Length(h);
  if (WideDot(u, e) <= 0 || int64_t{dist} >= 2 * int64_t{size}) return false;
  if (lengthH * kFixedOne <= int64_t{Length(e)} * kDetourBodyFactor) return false;
  // How far the line of flight passes from the centre.
  const FixedVector foot = VecAlong(u, WideDot(u, h) >> 16);
  if (Length(VecSub(foot, h)) >= size || lengthH <= size / 20) return false;
  FixedVector n;
  CrossVector(&n, &u, &h);
  NormalizeVector(&n);
  // Flying straight at the centre leaves no plane to turn in: any side will do.
  if (n.x == 0 && n.y == 0 && n.z == 0) n = Perpendicular(h);
  FixedVector side;
  CrossVector(&side, &h, &n);
  side.y /= 2;
  SetVectorLength(&side.x, &side.y, &side.z, size);
  *out = VecAdd(at, side);
  return true;
}

void FlyBeforeContainer(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* container = ext->commandObject;
  if (ContainerGone(container)) {
    FailWithoutContainer(ship, ext);
    return;
  }
  if (!OrderDecisionDue(ext)) return;
  const FixedVector at = InstancePositionOf(ship);
  const FixedVector centre = InstancePositionOf(container);
  FixedVector goal = ext->commandPoint;
  if (ext->dockSlot >= 0 && container->instance) {
    FixedVector turned;
    MatrixMulVector(&turned, &container->instance->matrix, &goal);
    goal = VecAdd(centre, turned);
  }
  int32_t dist = GetDistance(&at, &goal);
  const int32_t tolerance = ApproachTolerance(ship, container);
  if (dist <= tolerance) {
    Arrive(ship, ext);
    return;
  }
  if (FixedVector detour; DetourPoint(ship, container, goal, dist, &detour)) {
    goal = detour;
    dist = GetDistance(&at, &goal);
  }
  ObjTurnTowardsPoint(ship, &goal);
  const int32_t c = OrderFacingCosine(ship, goal);

  const int32_t vmax = GetObjectMaxSpeed(ship);
  const int64_t k1 = int64_t{tolerance} + MulDiv(vmax, vmax, ObjGetTunedField72(ship));
  const int32_t k1Word = SaturateToInt32(k1);
  int32_t speed = vmax;
  if (dist <= k1) {
    speed = InterpolateClamped(k1Word, 0, dist, kApproachFloor, vmax / 2);
    const int64_t floor = int64_t{container->speed} + kApproachFloor;
    if (speed < floor) speed = static_cast<int32_t>(std::min<int64_t>(floor, vmax));
    container->flags |= kObjFlagHoldStill;
  }
  if (dist <= k1 + 3 * int64_t{container->radius} + 2 * int64_t{ship->radius}) {
    speed = InterpolateClamped(kFixedOne, kApproachCosine, c, kCreepSpeed, speed);
    if (ShipIsLargeClass(ship)) speed = std::min(speed, kLargeApproachSpeed);
  }
  ship->speedLimit = speed;
}

// ---------------------------------------------------------------------------------------------
// Flying into a slot or a gate.

struct SlotLimits {
  int32_t speed;  // the most it moves at in the slot
  int32_t turn;   // the most it turns, angle units per second
};

// Fighters and the small groups fly the slot slowly and turn fast; the rest the other way round.
SlotLimits LimitsOf(const SpaceObject* ship) {
  const ObjectTypeRecord* row = TypeRow(ship->objClass, ship->subtype);
  const int32_t group = row ? row->group : 0;
  const bool slow = group == 2 || group == 5 || group == 6 || group == 7 || group == 10 || group > 15;
  return slow ? SlotLimits{kSlowGroupSpeed, kSlowGroupTurn} : SlotLimits{kFastGroupSpeed, kFastGroupTurn};
}

// The distance within which the ship counts as arrived: its radius and a tenth of its speed,
// grown with the game's time factor.
int32_t ArrivalThreshold(const SpaceObject* ship) {
  const int64_t r = std::llabs(int64_t{ship->speed}) / 10 + ship->radius;
  const int64_t factor = gSystem ? int64_t{static_cast<int32_t>(gSystem->timeScale)} : int64_t{kFixedOne};
  return SaturateToInt32(r + ((r * ((factor - kFixedOne) / 4) + 32768) >> 16));
}

struct SlotRun {
  SpaceObject* ship;
  ShipExt* ext;
  SpaceObject* container;
  DockSlotRow* row;        // null: a gate, or no usable slot
  InstanceRecord* entry;   // the slot's entry for the ship's type, or null
  uint32_t portFlags;      // of the slot's type entry
  FixedVector at;          // the ship's position
  FixedVector slotPoint;   // the order point
  FixedVector prePoint;    // the second order point
  int32_t dE;              // ship to the order point
  SlotLimits limits;
  int32_t vmax, vA, step;
};

// Straight toward the slot, slowing within the final stretch; true once there.
bool MoveIntoSlot(const SlotRun& run) {
  if (run.dE <= kSlotArrival || !run.ship->instance) return true;
  const int32_t accel = ObjGetTunedField72(run.ship);
  const int64_t r = run.ship->radius;
  const int32_t stretch = (run.portFlags & kDockPortShortFinal)
                              ? SaturateToInt32(2 * r + kSlotReach)
                              : SaturateToInt32(int64_t{MulDiv(run.vA, run.vA, 2 * (accel != 0 ? accel : 1))} + 10000);
  const int64_t s = int64_t{InterpolateClamped(stretch, 0, run.dE, kCreepSpeed, run.vA)} * run.step / 1000;
  const FixedVector gap = VecSub(run.slotPoint, run.at);
  run.ship->instance->position = {SaturateToInt32(run.at.x + int64_t{gap.x} * s / run.dE),
                                  SaturateToInt32(run.at.y + int64_t{gap.y} * s / run.dE),
                                  SaturateToInt32(run.at.z + int64_t{gap.z} * s / run.dE), run.at.w};
  return false;
}

// One frame of the turn into the entry's orientation; true once the turn is over.
bool TurnIntoSlot(const SlotRun& run) {
  InstanceRecord* instance = run.ship->instance;
  FixedMatrix target, rest;
  GetInstanceAbsMatrix(run.entry, &target);
  MatrixMultiplyTransposed(&rest, &target, &instance->matrix);
  FixedVector axis;
  int32_t angle = 0;
  MatrixToAxisAngle(&rest, &axis, &angle);
  const FixedVector saved = OrderVector(run.ext, kFinalTurnAxisWord);
  if ((WideDot(axis, saved) >> 16) <= kSlotTurnFlip || angle < kTurnedAngle) return true;
  const int32_t turn = std::min<int32_t>(SaturateToInt32(int64_t{run.limits.turn} * run.step / 1000), angle);
  FixedMatrix frame, turned;
  MatrixFromAxisAngle(&frame, &axis, static_cast<uint32_t>(turn));
  MatrixMultiply(&turned, &frame, &instance->matrix);
  MatrixOrthonormalizeRow2(&turned);
  instance->matrix = turned;
  MatrixToAngles(&turned, &run.ship->angles[0], &run.ship->angles[1], &run.ship->angles[2]);
  SetOrderVector(run.ext, kFinalTurnAxisWord, axis);
  MatrixToAngles(&frame, &run.ship->turnRates[0], &run.ship->turnRates[1], &run.ship->turnRates[2]);
  return false;
}

void Occupy(const SlotRun& run) {
  if (run.row->flags & kDockRowOpening) return;
  ObjReserveDockSlotForShipType(run.ext->dockSlot, run.container, run.ship->subtype, kOccupyMode);
}

void DockingPhase(const SlotRun& run) {
  SpaceObject* ship = run.ship;
  ship->speedLimit = ship->speed = 0;
  ship->baseVelocity = {};
  ship->refAngles[0] = ship->refAngles[1] = ship->refAngles[2] = 0;
  const bool arrived = !run.entry || MoveIntoSlot(run);
  if (run.entry && ship->instance && !TurnIntoSlot(run)) return;
  ship->turnRates[0] = ship->turnRates[1] = ship->turnRates[2] = 0;
  if (run.dE < kSlotOccupy || arrived) Occupy(run);
  if (arrived) Arrive(ship, run.ext);
}

void Approach(const SlotRun& run, const FixedVector& goal, bool toPrePoint) {
  SpaceObject* ship = run.ship;
  SpaceObject* container = run.container;
  const bool gate = container->objClass == kClassGate;
  SetOrderVector(run.ext, kFinalTurnAxisWord, FixedVector{});
  ObjSteerHeadingPitch(ship, &goal);
  if (run.entry && !gate && std::abs(ship->refAngles[0]) < kAlignedRates && std::abs(ship->refAngles[1]) < kAlignedRates &&
      std::abs(ship->refAngles[2]) < kAlignedRates) {
    FixedMatrix m;
    GetInstanceAbsMatrix(run.entry, &m);
    int32_t heading, pitch, roll;
    MatrixToAngles(&m, &heading, &pitch, &roll);
    ship->refAngles[2] = static_cast<int16_t>(static_cast<uint16_t>(roll - ship->angles[2]));
  }
  const int32_t c = OrderFacingCosine(ship, toPrePoint ? run.prePoint : run.slotPoint);
  if (c < kSlotCosine) {
    ship->speedLimit = kCreepSpeed;
    container->flags |= kObjFlagHoldStill;
  } else if (gate) {
    container->flags |= kObjFlagGuideLights;
    ship->speedLimit = InterpolateClamped(container->radius, container->radius / 5, run.dE, run.vmax / 2, run.vmax);
  } else {
    const int32_t rc = std::min(ship->radius, kSlotReach);
    const int32_t tr = std::min(container->radius, kMaxTurnRadius);
    const int32_t capped = std::min(run.vmax, run.limits.speed);
    ship->speedLimit = run.dE < rc ? InterpolateClamped(rc, 0, run.dE, kSlotFinalSpeed, run.vA)
                                   : InterpolateClamped(tr, tr / 2, run.dE, run.vA, capped);
    container->flags |= kObjFlagHoldStill;
  }
}

void FlyIntoContainer(SpaceObject* ship, ShipExt* ext, int32_t step) {
  SpaceObject* container = ext->commandObject;
  if (ContainerGone(container)) {
    FailWithoutContainer(ship, ext);
    return;
  }
  SlotRun run{ship, ext, container, nullptr, nullptr, 0, InstancePositionOf(ship), {}, {}, 0, LimitsOf(ship), 0, 0,
              step};
  if (IsDockingContainer(container) && ext->dockSlot >= 0 &&
      ext->dockSlot < TypeGetDockSlotCount(container->subtype, container->objClass)) {
    run.row = ObjGetDockSlotRow(container, ext->dockSlot);
    if (run.row) {
      run.entry = PickEntryForShipType(run.row, ship->subtype, static_cast<int32_t>(ext->orderWords[kEntryIndexWord]));
      run.portFlags = run.row->port ? run.row->port->flags : 0;
    }
  }
  if (container->objClass == kClassShip && run.entry) {
    // A carrier moves: the slot's points go with it.
    GetInstanceAbsPos(run.entry, &ext->commandPoint);
    FixedMatrix m;
    GetInstanceAbsMatrix(run.entry, &m);
    SetOrderVector(ext, kSecondPointWord, VecSub(ext->commandPoint, VecAlong(MatrixRowOf(m, 2), container->radius / 2)));
  }
  run.slotPoint = ext->commandPoint;
  run.prePoint = OrderVector(ext, kSecondPointWord);
  run.dE = GetDistance(&run.at, &run.slotPoint);
  const bool gate = container->objClass == kClassGate;
  FixedVector goal = run.slotPoint;
  bool toPrePoint = false;
  if (!gate) {
    const FixedVector inward = VecSub(run.slotPoint, run.prePoint);
    if (int64_t{run.dE} > int64_t{Length(inward)} + ship->radius) {
      goal = run.prePoint;
      toPrePoint = true;
    } else {
      goal = VecAdd(run.slotPoint, VecAlong(VecUnit(inward), ship->radius));
    }
  }
  run.vmax = GetObjectMaxSpeed(ship);
  run.vA = std::min(run.vmax, kSlotCruise);

  if (!run.row || gate) {
    Approach(run, goal, toPrePoint);
    return;
  }
  run.row->flags |= kDockRowFlyingIn;
  if (ship == GetPlayerObject()) run.row->flags |= kDockRowPlayerFlyingIn;
  container->flags |= kObjFlagHoldStill;
  if (run.portFlags & kDockPortEndsNearSlot) {
    if (run.dE <= ArrivalThreshold(ship)) Arrive(ship, ext);
    else Approach(run, goal, toPrePoint);
    return;
  }
  if (int64_t{run.dE} > 2 * int64_t{ship->radius} + kSlotReach) Approach(run, goal, toPrePoint);
  else DockingPhase(run);
}

// ---------------------------------------------------------------------------------------------
// Leaving a hangar or a gate.

void LeaveGate(SpaceObject* ship, const SpaceObject* gate) {
  if (ObjectMaxNormDistance(ship, gate) > kHangarGateClearance) {
    EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  // Out along the gate's axis, on the side the ship faces.
  const FixedVector axis = ShipForwardAxis(gate);
  const bool along = WideDot(axis, ShipForwardAxis(ship)) >= 0;
  const FixedVector out = VecAlong(axis, along ? kFarAhead : -kFarAhead);
  const FixedVector point = VecAdd(InstancePositionOf(ship), out);
  ObjSteerHeadingPitch(ship, &point);
  ship->speed = ship->speedLimit = ShipIsLargeClass(ship) ? kGateExitSpeedLarge : kGateExitSpeed;
}

void LeaveSlot(SpaceObject* ship, ShipExt* ext, SpaceObject* container) {
  const DockSlotRow* row = nullptr;
  if (IsDockingContainer(container) && ext->dockSlot >= 0 &&
      ext->dockSlot < TypeGetDockSlotCount(container->subtype, container->objClass)) {
    row = ObjGetDockSlotRow(container, ext->dockSlot);
  }
  const InstanceRecord* entry = row ? PickEntryForShipType(row, ship->subtype, -1) : nullptr;
  DockApproach way{};
  const FixedVector at = InstancePositionOf(ship);
  // The slot's range ends at its approach point, clear of the container's body.
  if (!entry || !ComputeDockApproach(container, entry, ship, &way) || GetDistance(&at, &entry->world) > way.distance) {
    ext->dockSlot = -1;
    EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  ObjSteerHeadingPitch(ship, &way.point);
  ship->speed = ship->speedLimit = kSlotExitSpeed;
}

void ClearFromHangar(SpaceObject* ship, ShipExt* ext) {
  if (ship->flags & kClearHeldFlags) return;
  SpaceObject* container = ext->commandObject;
  if (ContainerGone(container)) {
    FailWithoutContainer(ship, ext);
    return;
  }
  if (container->objClass == kClassGate) LeaveGate(ship, container);
  else LeaveSlot(ship, ext, container);
}

}  // namespace

void RunFlyBeforeContainer(SpaceObject* ship, int32_t) {
  if (ShipExt* ext = ShipExtOrNull(ship)) FlyBeforeContainer(ship, ext);
}

void RunFlyIntoContainer(SpaceObject* ship, int32_t step) {
  if (ShipExt* ext = ShipExtOrNull(ship)) FlyIntoContainer(ship, ext, step);
}

void RunClearFromHangar(SpaceObject* ship, int32_t) {
  if (ShipExt* ext = ShipExtOrNull(ship)) ClearFromHangar(ship, ext);
}
