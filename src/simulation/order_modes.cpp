// The ship order modes: the time limit, the decision throttle and the handler of each mode, run
// once per frame by the object update for every ship of a simulated sector. A handler steers (it
// writes the steering angles, spin rates, desired speed or drift) and, when the order is over,
// sets the next mode and wakes the waiting task once. The docking, escort, follow and avoidance
// modes live in their own files. Nothing here frees an object; the caller checks its walk after
// every event this file raises (counted by OrderEventCount).
#include "simulation/order_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/cut_keys.h"
#include "scene/instance.h"
#include "scene/takes_jobs.h"
#include "simulation/docking_orders.h"
#include "simulation/escort_orders.h"
#include "simulation/simulation_services.h"
#include "universe/dock_ports.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kGlobalScriptId = 150;
constexpr uint32_t kObjFlag2KeepsSpeed = kObjFlag2VanishWhenDone;  // bit 2: keeps its speed when idle
constexpr uint32_t kObjFlag2HoldsWare = 1u << 21;                 // debris: holds a ware
constexpr uint32_t kCutOriginFixed = 1u << 0;  // the cut stays where it was put

constexpr int32_t kFacingDot = 64880;  // the cosine at which a ship faces its point
constexpr int32_t kWarpPathMs = 900;
constexpr int64_t kWarpDistanceFactor = 1665000;
constexpr int32_t kLandingLimitMs = 300000;
constexpr int32_t kIdleWander = 1110000;
constexpr int32_t kRollTolerance = 91;
constexpr int32_t kSlowestSpeed = 5000;
constexpr int32_t kDebrisReach = 40000;

uint32_t gOrderEvents = 0;



int32_t MaxNorm(const FixedVector& a, const FixedVector& b) {
  const int64_t dx = std::llabs(int64_t{a.x} - b.x), dy = std::llabs(int64_t{a.y} - b.y),
                dz = std::llabs(int64_t{a.z} - b.z);
  return SaturateToInt32(std::max({dx, dy, dz}));
}

// A ship without a first-axis turn rate turns about the axis it turns fastest on.
void SteerToward(SpaceObject* ship, const FixedVector& point) {
  const ObjectTypeRecord* row = TypeRow(ship->objClass, ship->subtype);
  if (row && row->turnRate[0] == 0) ObjTurnTowardsPoint(ship, &point);
  else ObjSteerHeadingPitch(ship, &point);
}

void ClearOverrideEffects(SpaceObject* ship) {
  if (!ship->instance) return;
  for (ListNode* n = ListFirst(&ship->instance->children); n; n = ListNext(n)) {
    B3D_InstSetOverrideEffect(ListRecord<InstanceRecord>(n), 0);
  }
}

// Moves a rate toward 0 by at most `by`, never past it.
int32_t Damp(int32_t rate, int64_t by) {
  if (rate > 0) return static_cast<int32_t>(std::max<int64_t>(0, rate - by));
  return static_cast<int32_t>(std::min<int64_t>(0, rate + by));
}

// ---------------------------------------------------------------------------------------------

void RunNone(SpaceObject* ship, ShipExt* ext, int32_t step) {
  if (ship->flags & kObjFlagContainerAtRest) {
    ext->commandObject = nullptr;
    if (!(ship->flags2 & kObjFlag2KeepsSpeed)) ship->speedLimit = 0;
  } else {
    const SpaceObject* followed =
        gSimulationServices.cockpitFollowedObject ? gSimulationServices.cockpitFollowedObject() : nullptr;
    if (ship != followed) {
      const int64_t r = (int64_t{ObjGetTunedRotRate0(ship)} + ObjGetTunedRotRate1(ship) + ObjGetTunedRotRate2(ship)) *
                        step / 1000;
      ship->turnRates[0] = Damp(ship->turnRates[0], r * 31129 / 65536);
      ship->turnRates[1] = Damp(ship->turnRates[1], r * 31129 / 65536);
      ship->turnRates[2] = Damp(ship->turnRates[2], r * 16384 / 65536);
    }
  }
  if (ext->commandFlag != 0) {
    ClearOverrideEffects(ship);
    ship->flags &= ~kObjFlagNoCollisions;
  }
  ext->commandFlag = 0;
  ext->thinkDue = SimulationNow();
  OrderWord(ext, kOrderEndFlagWord) = 0;
}

void RunTurnToObject(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = ext->commandObject;
  if (!OrderTargetUsable(ship, target)) {
    ship->refAngles[0] = ship->refAngles[1] = 0;
    EndShipOrder(ship, OM_TURNED, kOrderFailed);
    return;
  }
  if (!OrderDecisionDue(ext)) return;
  if (ObjectMaxNormDistance(ship, target) > ShipArrivalDistance(ext)) {
    ext->commandObject = nullptr;
    EndShipOrder(ship, OM_TURNED, kOrderFailed);
    return;
  }
  ext->commandPoint = InstancePositionOf(target);
  ObjSteerHeadingPitch(ship, &ext->commandPoint);
  if (OrderFacingCosine(ship, ext->commandPoint) > kFacingDot) EndShipOrder(ship, OM_TURNED, kOrderDone);
}

void RunTurned(SpaceObject* ship) {
  const ObjectTypeRecord* row = TypeRow(ship->objClass, ship->subtype);
  ship->turnRates[0] = ship->turnRates[1] = 0;
  ship->turnRates[2] = row ? row->turnRate[2] : 0;
}

void RunWarp(SpaceObject* ship, ShipExt* ext, bool away) {
  const uint32_t now = SimulationNow();
  SpaceObject* gate = ext->commandObject;
  if (TimeSince(now, ext->nextCheckAt) < 0 && gate && !(gate->flags & kObjFlagRemoving)) {
    ship->flags |= kObjFlagNoCollisions;
    const int64_t k = away ? int64_t{TimeSince(now, ext->nextCheckAt)} + kWarpPathMs : TimeSince(ext->nextCheckAt, now);
    const int32_t distance = SaturateToInt32(k * k * kWarpDistanceFactor / 1000000);
    const FixedVector axis = ShipForwardAxis(gate);
    FixedVector at = ext->commandPoint;
    at.x = SaturateToInt32(at.x + ((int64_t{axis.x} * distance + 32768) >> 16));
    at.y = SaturateToInt32(at.y + ((int64_t{axis.y} * distance + 32768) >> 16));
    at.z = SaturateToInt32(at.z + ((int64_t{axis.z} * distance + 32768) >> 16));
    if (ship->instance) ship->instance->position = at;
    ship->speed = ship->speedLimit = 0;
    if (away) gate->flags |= kObjFlagGuideLights;
    return;
  }
  ship->flags &= ~kObjFlagNoCollisions;
  if (!away) {
    if (ship->instance) ship->instance->position = ext->commandPoint;
    ClearOverrideEffects(ship);
  }
  ext->commandFlag = 0;
  EndShipOrder(ship, OM_NONE, kOrderDone);
}

void RunPlayerLand(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = ext->commandObject;
  const int32_t t = TimeSince(SimulationNow(), ext->thinkDue);
  const bool goesOn = target && !(target->flags & kObjFlagRemoving) && !ObjIsHostile(target, ship) &&
                      t <= kLandingLimitMs &&
                      (t <= 0 || ObjectMaxNormDistance(ship, target) <= 2 * int64_t{target->radius});
  if (goesOn) {
    target->flags |= kObjFlagHoldStill;
    if (DockSlotRow* row = ObjGetDockSlotRow(target, ext->dockSlot)) {
      row->flags |= kDockRowFlyingIn | kDockRowPlayerFlyingIn;
    }
    return;
  }
  // Nobody waits on a landing: the abort is told to the game's script instead.
  ext->dockSlot = -1;
  ShipSetOrderMode(ship, OM_NONE);
  ++gOrderEvents;
  RaiseScriptIdEvent(kGlobalScriptId, "NotifyDockingAbort", 1, static_cast<int32_t>(ship->id));
}

void RunFollowByCut(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = ext->commandObject;
  if (!target || (target->flags & kObjFlagRemoving)) {
    ext->dockSlot = -1;
    EndShipOrder(ship, OM_NONE, kOrderFailed);
    return;
  }
  CutRecord* cut = GetCutByHandle(static_cast<uint32_t>(ShipArrivalDistance(ext)));
  if (!cut || !ship->instance) return;
  if (!(cut->originFlags & kCutOriginFixed) && target->instance) {
    cut->originPosition = target->instance->position;
    cut->originRotation = target->instance->matrix;
  }
  if (!JobIsPlaying(ship->instance)) {
    StartInstancePath(ship->instance, cut, static_cast<int32_t>(OrderWord(ext, kOrderCutPathWord)));
  }
  MatrixToAngles(&ship->instance->matrix, &ship->angles[0], &ship->angles[1], &ship->angles[2]);
}

void RunMovePos(SpaceObject* ship, ShipExt* ext) {
  if (!OrderDecisionDue(ext)) return;
  SteerToward(ship, ext->commandPoint);
  const FixedVector at = InstancePositionOf(ship);
  const int32_t distance = GetDistance(&at, &ext->commandPoint);
  const int32_t vmax = GetObjectMaxSpeed(ship);
  const int32_t accel = ObjGetTunedField72(ship);
  // No acceleration means no braking distance: full speed up to the point.
  const int32_t braking = accel > 0 ? SaturateToInt32(int64_t{vmax} * vmax / accel) : 0;
  ship->speedLimit = InterpolateClamped(braking, 0, distance, 0, vmax);
  if (distance <= ShipArrivalDistance(ext)) {
    ship->speedLimit = 0;
    EndShipOrder(ship, OM_NONE, kOrderDone);
  }
}

void RunMovePosContinue(SpaceObject* ship, ShipExt* ext) {
  if (!OrderDecisionDue(ext)) return;
  SteerToward(ship, ext->commandPoint);
  const double c = static_cast<double>(WideDot(ShipForwardAxis(ship), OrderDirectionTo(ship, ext->commandPoint))) / 4294967296.0;
  const double vmax = GetObjectMaxSpeed(ship);
  const double speed = c > 0.75 ? vmax : c >= 0 ? vmax * (0.4 + 0.6 * c) : vmax * 0.25;
  ship->speedLimit = TruncateToInt32(speed);
  const FixedVector at = InstancePositionOf(ship);
  if (GetDistance(&at, &ext->commandPoint) <= ShipArrivalDistance(ext)) EndShipOrder(ship, OM_NONE, kOrderDone);
}

void RunIdle(SpaceObject* ship, ShipExt* ext) {
  if (TimeSince(SimulationNow(), OrderWord(ext, kOrderEndTimeWord)) >= 0) {
    EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  if (!OrderDecisionDue(ext)) return;
  const FixedVector at = InstancePositionOf(ship);
  if (GetDistance(&at, &ext->commandPoint) <= ship->radius) {
    FixedVector wander = ext->commandPoint;
    wander.x = SaturateToInt32(int64_t{wander.x} + RandomUpTo(2 * kIdleWander) - kIdleWander);
    wander.y = SaturateToInt32(int64_t{wander.y} + RandomUpTo(2 * kIdleWander) - kIdleWander);
    wander.z = SaturateToInt32(int64_t{wander.z} + RandomUpTo(2 * kIdleWander) - kIdleWander);
    ObjSteerHeadingPitch(ship, &wander);
  } else {
    ObjSteerHeadingPitch(ship, &ext->commandPoint);
  }
}

void RunAttack(SpaceObject* ship, ShipExt* ext, int32_t mode) {
  SpaceObject* target = ext->commandObject;
  if (!OrderTargetUsable(ship, target)) {
    ext->dockSlot = -1;
    EndShipOrder(ship, OM_NONE, kOrderFailed);
    return;
  }
  if (!OrderDecisionDue(ext)) return;
  const uint32_t now = SimulationNow();
  FixedVector aim = InstancePositionOf(target);
  if (const FixedMatrix* rotation = GetObjectRotationMatrix(ship)) {
    FixedVector offset;
    MatrixMulVector(&offset, rotation, &ext->commandPoint);
    AddVectorTo(&aim, &offset);
  }
  const int64_t r = int64_t{ship->radius} + target->radius;
  const int64_t distance = ObjectMaxNormDistance(ship, target);
  const int32_t f = OrderFacingCosine(ship, aim);
  const int32_t g = SaturateToInt32(WideDot(ShipForwardAxis(target), ShipForwardAxis(ship)) >> 16);
  const int32_t vmax = GetObjectMaxSpeed(ship);
  const int32_t attackTimer = TimeSince(now, OrderWord(ext, kAttackTimerWord));
  const FixedVector targetAt = InstancePositionOf(target);
  ship->speedLimit = vmax;
  int32_t lo = 0, hi = 0;
  ObjGetLaserMinMax(ship, &lo, &hi);
  const auto clampWord = [](int64_t v) { return SaturateToInt32(v); };

  if (mode == OM_ATTACK) {
    ObjTurnTowardsPoint(ship, &aim);
    const int64_t middle = (int64_t{lo} + hi) / 2;
    const int64_t reach = r + middle * 62259 / 65536;
    if (f >= 53739 && distance < reach) {
      int32_t floor = kSlowestSpeed;
      if (target->objClass == kClassShip) {
        int32_t slow = vmax / 2;
        if (g > 32768 && target->speed < slow) slow = target->speed;
        floor = std::max(floor, slow);
      }
      ship->speedLimit = InterpolateClamped(clampWord(reach), clampWord(r), clampWord(distance), floor, vmax);
      if (f >= 57016 && attackTimer > 0) {
        EndShipOrder(ship, OM_NONE, kOrderDone);
        return;
      }
    }
    if (f < -26214 && g < 52428) ship->speedLimit = InterpolateClamped(-26214, -65536, f, 0, ship->speedLimit);
    return;
  }
  if (mode == OM_ATTACK_BIG) {
    const int64_t weighted = f > 0 ? (int64_t{lo} + 3 * int64_t{hi}) / 4 : (3 * int64_t{lo} + hi) / 4;
    const int64_t w = (weighted * 52428 + 32768) >> 16;
    if (distance >= r && distance >= w) {
      ObjTurnTowardsPoint(ship, &targetAt);
      if (f < 0) ship->speedLimit = InterpolateClamped(0, -65536, f, kSlowestSpeed, std::max(vmax, kSlowestSpeed));
      return;
    }
    if (f <= 26214) ObjTurnTowardsPoint(ship, &targetAt);
    ship->speedLimit = InterpolateClamped(clampWord(r + lo), clampWord(r + 30000), clampWord(distance),
                                          std::max(vmax / 4, kSlowestSpeed), vmax);
    if (attackTimer >= 0) EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  // OM_CAPTURE.
  if (distance < 2 * r) {
    ship->speedLimit = 0;
    EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  ObjTurnTowardsPoint(ship, &targetAt);
  const int32_t from = std::clamp(target->speed, kSlowestSpeed, std::max(vmax, kSlowestSpeed));
  ship->speedLimit = InterpolateClamped(clampWord(r + 100000), clampWord(r + 30000), clampWord(distance), from, vmax);
}

// A random unit direction, components drawn in plus or minus 1.0.
FixedVector RandomDirection() {
  FixedVector d = {RandomUpTo(2 * kFixedOne) - kFixedOne, RandomUpTo(2 * kFixedOne) - kFixedOne,
                   RandomUpTo(2 * kFixedOne) - kFixedOne, 0};
  NormalizeVector(&d);
  return d;
}

void RunDefensiveMove(SpaceObject* ship, ShipExt* ext) {
  if (!OrderDecisionDue(ext)) return;
  const uint32_t now = SimulationNow();
  const int32_t vmax = GetObjectMaxSpeed(ship);
  FixedVector point = OrderVector(ext, kSecondPointWord);
  if (TimeSince(now, OrderWord(ext, kAttackTimerWord)) >= 0) {
    const int32_t base = InterpolateClamped(100, 0, 100 - ShipArrivalDistance(ext), 1000, 10000);
    const int32_t length = SaturateToInt32((int64_t{base} * (kFixedOne + RandomUpTo(19660))) >> 16);
    OrderWord(ext, kAttackTimerWord) = now + static_cast<uint32_t>(length);
    SpaceObject* threat = ext->commandObject;
    const FixedVector at = InstancePositionOf(ship);
    const FixedVector toThreat = threat ? OrderDirectionTo(ship, InstancePositionOf(threat)) : FixedVector{0, 0, kFixedOne, 0};
    const bool fastMissile = threat && threat->objClass == kClassMissile && threat->speed > vmax;
    const double low = fastMissile ? -0.85 : -0.5, high = fastMissile ? -0.1 : 0.85;
    FixedVector dir = RandomDirection();
    for (int draw = 1; draw < 10; ++draw) {
      const double c = static_cast<double>(WideDot(dir, toThreat)) / 4294967296.0;
      if (c >= low && c <= high) break;
      dir = RandomDirection();
    }
    const int32_t reach = std::max(SaturateToInt32(int64_t{vmax} * length / 1000), ship->radius);
    point = at;
    point.x = SaturateToInt32(point.x + ((int64_t{dir.x} * reach + 32768) >> 16));
    point.y = SaturateToInt32(point.y + ((int64_t{dir.y} * reach + 32768) >> 16));
    point.z = SaturateToInt32(point.z + ((int64_t{dir.z} * reach + 32768) >> 16));
    SetOrderVector(ext, kSecondPointWord, point);
    const int32_t style = RandomBelow(100);
    OrderWord(ext, kEvasionStyleWord) = style < 70 ? 0u : style < 85 ? 1u : 2u;
    OrderWord(ext, kEvasionRollWord) =
        static_cast<uint32_t>(RandomBelow(100) < 70 ? RandomUpTo(2 * 16384) - 16384 : 0);
    ship->speedLimit = vmax;
  }
  switch (OrderWord(ext, kEvasionStyleWord)) {
    case 1: ObjSteerHeadingPitch2(ship, &point); break;
    case 2: ObjSteerHeadingPitch3(ship, &point); break;
    default: ObjTurnTowardsPoint(ship, &point); break;
  }
  ship->refAngles[2] = SaturateToInt32(int64_t{ship->refAngles[2]} + static_cast<int32_t>(OrderWord(ext, kEvasionRollWord)));
}

// The ware a debris object holds, else the debris itself.
SpaceObject* HeldWareOrSelf(SpaceObject* debris) {
  if (!debris || debris->objClass != kClassDebris || !(debris->flags2 & kObjFlag2HoldsWare) || !debris->parent) {
    return debris;
  }
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(debris->parent)); o; o = ObjectListNext(o)) {
    if (o->objClass >= kClassWareFirst && o->objClass <= kClassWareLast && o->linkedObject == debris) return o;
  }
  return debris;
}

void RunCollectDebris(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* debris = ext->commandObject;
  SpaceObject* target = HeldWareOrSelf(debris);
  if (target != debris) ext->commandObject = target;
  if (!OrderTargetUsable(ship, target)) {
    EndShipOrder(ship, OM_NONE, kOrderFailed);
    return;
  }
  if (!OrderDecisionDue(ext)) return;
  const FixedVector at = InstancePositionOf(target);
  ObjTurnTowardsPoint(ship, &at);
  const int64_t reach =
      int64_t{ShipArrivalDistance(ext)} + (debris && debris->objClass == kClassDebris ? kDebrisReach : 0);
  if (ObjectMaxNormDistance(ship, target) <= reach) {
    ship->speedLimit = 0;
    EndShipOrder(ship, OM_NONE, kOrderDone);
  }
}

void RunRotateToAngles(SpaceObject* ship, ShipExt* ext) {
  FixedMatrix wanted;
  MatrixFromAngles(&wanted, static_cast<uint32_t>(ext->commandPoint.x), static_cast<uint32_t>(ext->commandPoint.y), 0);
  const FixedVector dir = {wanted.m[2][0], wanted.m[2][1], wanted.m[2][2], 0};
  const FixedVector at = InstancePositionOf(ship);
  // A point far along the wanted direction, so the steering's dead zone never swallows it.
  const FixedVector point = {SaturateToInt32(at.x + ((int64_t{dir.x} * 1000000) >> 16)),
                             SaturateToInt32(at.y + ((int64_t{dir.y} * 1000000) >> 16)),
                             SaturateToInt32(at.z + ((int64_t{dir.z} * 1000000) >> 16)), 0};
  ObjSteerHeadingPitch(ship, &point);
  if ((WideDot(ShipForwardAxis(ship), dir) >> 16) < kFacingDot) return;
  ship->refAngles[0] = ship->refAngles[1] = 0;
  const uint32_t roll = static_cast<uint32_t>(ext->commandPoint.z);
  if (roll == kNoRoll) {
    ship->refAngles[2] = 0;
    EndShipOrder(ship, OM_NONE, kOrderDone);
    return;
  }
  const int32_t difference = static_cast<int16_t>(static_cast<uint16_t>(roll - static_cast<uint32_t>(ship->angles[2])));
  ship->refAngles[2] = difference;
  if (std::abs(difference) <= kRollTolerance) EndShipOrder(ship, OM_NONE, kOrderDone);
}

void RunGlidePos(SpaceObject* ship, ShipExt* ext) {
  const uint32_t halves = static_cast<uint32_t>(ShipArrivalDistance(ext));
  const int32_t speed = static_cast<int32_t>(halves >> 16) * kGlideUnit;
  const int32_t tolerance = static_cast<int32_t>(halves & 0xFFFF) * kGlideUnit;
  const FixedVector at = InstancePositionOf(ship);
  if (MaxNorm(at, ext->commandPoint) > tolerance) {
    const FixedVector d = OrderDirectionTo(ship, ext->commandPoint);
    ship->baseVelocity = {SaturateToInt32((int64_t{d.x} * speed + 32768) >> 16),
                          SaturateToInt32((int64_t{d.y} * speed + 32768) >> 16),
                          SaturateToInt32((int64_t{d.z} * speed + 32768) >> 16), 0};
    return;
  }
  ship->baseVelocity = {};
  EndShipOrder(ship, OM_NONE, kOrderDone);
}

bool IsTimeLimited(int32_t mode) {
  switch (mode) {
    case OM_ATTACK:
    case OM_ATTACK_BIG:
    case OM_ESCORT:
    case OM_FOLLOW:
    case OM_CAPTURE:
    case OM_DEFENSIVE_MOVE:
    case OM_COLLECT_DEBRIS: return true;
    default: return false;
  }
}

}  // namespace

uint32_t OrderEventCount() { return gOrderEvents; }

FixedVector ShipForwardAxis(const SpaceObject* o) {
  const FixedMatrix* m = GetObjectRotationMatrix(o);
  return m ? FixedVector{m->m[2][0], m->m[2][1], m->m[2][2], 0} : FixedVector{0, 0, kFixedOne, 0};
}

FixedVector OrderDirectionTo(const SpaceObject* ship, const FixedVector& point) {
  const FixedVector from = InstancePositionOf(ship);
  FixedVector d;
  SubVector(&d, &from, &point);
  NormalizeVector(&d);
  return d;
}

int32_t OrderFacingCosine(const SpaceObject* ship, const FixedVector& point) {
  return SaturateToInt32(WideDot(ShipForwardAxis(ship), OrderDirectionTo(ship, point)) >> 16);
}

bool OrderDecisionDue(ShipExt* ext) {
  const uint32_t now = SimulationNow();
  if (TimeSince(now, ext->thinkDue) < 0) return false;
  const int32_t interval = static_cast<int32_t>(ext->thinkPeriod);
  ext->thinkDue = now + static_cast<uint32_t>(interval > 0 ? RandomBelow(interval) : 0);
  return true;
}

bool OrderTargetUsable(const SpaceObject* ship, const SpaceObject* target) {
  return target && target != ship && !(target->flags & kObjFlagRemoving) && ObjIsInSector(target);
}

void EndShipOrder(SpaceObject* ship, int32_t nextMode, int32_t result) {
  ShipExt* ext = ShipExtOrNull(ship);
  if (!ext) return;
  ShipSetOrderMode(ship, nextMode);
  if (nextMode == OM_NONE) OrderWord(ext, kOrderEndFlagWord) = 0;
  if (ship->moduleNo != 0) ++gOrderEvents;
  ReleaseModuleHandle(ship, result);
}

void RunShipOrder(SpaceObject* ship, int32_t step) {
  ShipExt* ext = ShipExtOrNull(ship);
  if (!ext) return;
  const int32_t mode = ShipOrderMode(ship);
  if (IsTimeLimited(mode) && OrderWord(ext, kOrderEndFlagWord) != 0 &&
      TimeSince(SimulationNow(), OrderWord(ext, kOrderEndTimeWord)) >= 0) {
    EndShipOrder(ship, OM_NONE, kOrderTimedOut);
    return;
  }
  switch (mode) {
    case OM_NONE: RunNone(ship, ext, step); break;
    case OM_FLY_BEFORE_CONTAINER: RunFlyBeforeContainer(ship, step); break;
    case OM_FLY_INTO_CONTAINER: RunFlyIntoContainer(ship, step); break;
    case OM_TURN_TO_OBJECT: RunTurnToObject(ship, ext); break;
    case OM_WARP_AWAY: RunWarp(ship, ext, true); break;
    case OM_TURNED: RunTurned(ship); break;
    case OM_ATTACK:
    case OM_ATTACK_BIG:
    case OM_CAPTURE: RunAttack(ship, ext, mode); break;
    case OM_AVOID_COLLISION: RunAvoidCollision(ship, step); break;
    case OM_ESCORT: RunEscort(ship, step); break;
    case OM_FOLLOW: RunFollow(ship, step); break;
    case OM_FOLLOW_BY_CUT: RunFollowByCut(ship, ext); break;
    case OM_MOVE_POS: RunMovePos(ship, ext); break;
    case OM_PLAYER_LAND: RunPlayerLand(ship, ext); break;
    case OM_IDLE: RunIdle(ship, ext); break;
    case OM_CLEAR_FROM_HANGAR: RunClearFromHangar(ship, step); break;
    case OM_ROTATE_TO_ANGLES: RunRotateToAngles(ship, ext); break;
    case OM_GLIDE_POS: RunGlidePos(ship, ext); break;
    case OM_WARP_IN: RunWarp(ship, ext, false); break;
    case OM_DEFENSIVE_MOVE: RunDefensiveMove(ship, ext); break;
    case OM_MOVE_POS_CONTINUE: RunMovePosContinue(ship, ext); break;
    case OM_COLLECT_DEBRIS: RunCollectDebris(ship, ext); break;
    default: break;  // the values without a handler
  }
}
