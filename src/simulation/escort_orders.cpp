// The order modes that fly relative to other objects: keeping an escort station in the escorted
// object's frame, closing on a followed object, and steering away from the obstacles the
// collision tests recorded in the ship's threat list. The order update runs them once per frame
// for a ship in one of those modes, after the time limit. Every rule works on positions relative
// to the ship, so a scene flies the same wherever it lies in its sector. They steer the ship, set
// its desired speed and agility, and end the order through EndShipOrder; they never free an
// object or change the threat list's length.
#include "simulation/escort_orders.h"

#include <algorithm>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/instance.h"
#include "simulation/order_modes.h"
#include "simulation/shot_hits.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"

namespace {

constexpr int32_t kSlowest = 5000;

// Escort.
constexpr int32_t kFormationCosine = 58982;  // 0.9
constexpr int32_t kCloseCap = 15000;

// Follow.
constexpr int32_t kLeadBehindCosine = 6553;  // 0.1: the target flies away from the ship
constexpr int32_t kLeadFrom = 127795;        // 1.95: both headings nearly along the line
constexpr int32_t kLeadFull = 131072;
constexpr int32_t kFollowSlowPart = 58982;  // 0.9 of the arrival distance

// Avoidance.
constexpr uint32_t kAvoidDecisionMs = 200;
constexpr uint32_t kAvoidHeldFlags = kObjFlagFree | kObjFlagNoCollisions | kObjFlagRemoving;
constexpr int32_t kNearPointDistance = 10;
constexpr int32_t kImminentFactor = 78643;  // 1.2
constexpr int32_t kHeadOnCosine = 45875;    // 0.7
constexpr int32_t kKeepSpeedCosine = 52428;  // 0.8
constexpr int32_t kKeepSpeedBias = 6553;
constexpr int32_t kThreatMargin = 20000;
constexpr int32_t kAxisLeaning = 3276;
constexpr int32_t kConeStart = 2048;
constexpr int32_t kConeStep = 2048;
constexpr int32_t kConeLast = 30720;
constexpr int32_t kConeSpread = 81920;
constexpr int32_t kHardClearance = -52428;
constexpr int32_t kHardGateClearance = -58982;
constexpr double kSoftSlack = 0.05;
constexpr int32_t kEvasionReach = 4440000;
constexpr int32_t kEvasionAgility = 45875;
constexpr int32_t kSharpAgility = 32768;
constexpr int32_t kBehindCosine = -6553;
constexpr int32_t kEvasionStretch = 22200;

FixedVector PositionOf(const SpaceObject* o) { return InstancePositionOf(o); }

int32_t Dot16(const FixedVector& unit, const FixedVector& v) { return SaturateToInt32(WideDot(unit, v) >> 16); }

// b with the rounding toward 0 the order products use: value x num / den.
int32_t Part(int32_t value, int32_t num, int32_t den) { return SaturateToInt32(int64_t{value} * num / den); }

// (v^2 / acceleration) / 2; 0 without acceleration.
int32_t BrakingDistance(const SpaceObject* ship, int32_t v) { return MulDiv(v, v, ObjGetTunedField72(ship)) / 2; }

// The forward direction of an object's heading and pitch, its roll left out.
FixedMatrix HeadingFrame(const SpaceObject* o) {
  FixedMatrix m;
  MatrixFromAngles(&m, static_cast<uint32_t>(o->angles[0]), static_cast<uint32_t>(o->angles[1]), 0);
  return m;
}

// The target the escort or follow flies with, or null after ending the order when it is lost.
SpaceObject* FormationTarget(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = ext->commandObject;
  if (OrderTargetUsable(ship, target)) return target;
  EndShipOrder(ship, OM_NONE, kOrderFailed);
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Escort.

void Escort(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = FormationTarget(ship, ext);
  if (!target || !OrderDecisionDue(ext)) return;
  const FixedMatrix frame = HeadingFrame(target);
  FixedVector offset;
  MatrixMulVector(&offset, &frame, &ext->commandPoint);
  const FixedVector station = VecAdd(PositionOf(target), offset);
  const FixedVector d = VecSub(station, PositionOf(ship));
  const int32_t dist = GetVectorLength(&d);
  const FixedVector fs = ShipForwardAxis(ship), ft = ShipForwardAxis(target);
  const int32_t cFF = Dot16(fs, ft);
  const int32_t cSD = dist ? FixedDiv(Dot16(fs, d), dist) : Dot16(fs, d);
  const int32_t cTD = dist ? FixedDiv(Dot16(ft, d), dist) : Dot16(ft, d);
  const int32_t vT = target->speed;
  const int32_t vmax = GetObjectMaxSpeed(ship);
  const int32_t a = ShipArrivalDistance(ext);
  const int64_t r = ship->radius;
  const int32_t b = BrakingDistance(ship, ship->speed);
  const int32_t closeSpan = SaturateToInt32(3 * int64_t{b} + 2 * r);
  const int32_t gap = SaturateToInt32(int64_t{dist} - a);

  // The speed that closes the gap to the station: y1 far out, 0.9 of the target's near it, and
  // slow while the station lies behind the target's heading.
  const auto closing = [&](int32_t y1) {
    int32_t v = InterpolateClamped(closeSpan, 0, gap, Part(vT, 9, 10), y1);
    if (v > kCloseCap) v = InterpolateClamped(kFixedOne, 0, -cTD, v, kCloseCap);
    return v;
  };

  int32_t speed;
  if (int64_t{dist} <= 10 * int64_t{a}) {
    const int32_t sixA = SaturateToInt32(6 * int64_t{a});
    if (cFF >= kFormationCosine) {
      const FixedVector ahead = VecAdd(station, VecAlong(fs, 20 * r));
      ObjSteerHeadingPitch(ship, &ahead);
      speed = InterpolateClamped(sixA, a, dist, vT, cSD >= 0 ? Part(vT, 12, 10) : Part(vT, 8, 10));
    } else {
      const int32_t u = cFF >= 0 ? InterpolateClamped(kFixedOne, 0, cFF, vT, Part(vT, 15, 10))
                                 : InterpolateClamped(kFixedOne, 0, -cFF, vT, kSlowest);
      ObjTurnTowardsPoint(ship, &station);
      speed = closing(std::max(u, kSlowest));
    }
  } else {
    const int64_t far = r + 4 * (5 * std::min<int64_t>(vmax, r) + target->radius);
    if (dist < far && cTD > 0) {
      ObjSteerHeadingPitch(ship, &station);
      const int32_t top = std::min(Part(std::max(vT, kSlowest), 13, 10), vmax);
      speed = InterpolateClamped(closeSpan, 0, gap, Part(vT, 101, 100), top);
    } else if (dist < far) {
      ObjTurnTowardsPoint(ship, &station);
      speed = closing(vmax);
    } else {
      ObjTurnTowardsPoint(ship, &station);
      speed = vmax;
    }
  }
  ship->speedLimit = std::min(speed, vmax);
}

// ---------------------------------------------------------------------------------------------
// Follow.

void Follow(SpaceObject* ship, ShipExt* ext) {
  SpaceObject* target = FormationTarget(ship, ext);
  if (!target || !OrderDecisionDue(ext)) return;
  const FixedVector at = PositionOf(ship);
  FixedVector aim = PositionOf(target);
  const int32_t d = ObjectMaxNormDistance(ship, target);
  const int32_t vmax = GetObjectMaxSpeed(ship);
  const int32_t a = ShipArrivalDistance(ext);
  const int32_t l = SaturateToInt32(3 * int64_t{BrakingDistance(ship, vmax)} + a);
  if (d <= l && target->speed > 0) {
    // Lead only a target that flies away from a ship behind it: the point moves ahead along the
    // target's heading the more both point down the line between them.
    const FixedVector u = VecUnit(VecSub(aim, at));
    const int32_t behind = Dot16(ShipForwardAxis(target), u);
    if (behind >= kLeadBehindCosine) {
      const int32_t x = SaturateToInt32(int64_t{behind} + Dot16(ShipForwardAxis(ship), u));
      const int32_t k = InterpolateClamped(kLeadFull, kLeadFrom, x, 0, SaturateToInt32(10 * int64_t{ship->radius}));
      aim = VecAdd(aim, VecAlong(MatrixRowOf(HeadingFrame(target), 2), k));
    }
  }
  ObjTurnTowardsPoint(ship, &aim);
  const int32_t s = static_cast<int32_t>(std::min<int64_t>(vmax, std::llabs(int64_t{target->speed})));
  const int32_t q = SaturateToInt32((int64_t{a} * kFollowSlowPart + 32768) >> 16);
  const int32_t reach = SaturateToInt32(int64_t{ship->radius} + target->radius);
  ship->speedLimit = d >= q ? InterpolateClamped(l, q, d, s, vmax) : InterpolateClamped(q, reach, d, 0, s);
  if (d < a) EndShipOrder(ship, OM_NONE, kOrderDone);
}

// ---------------------------------------------------------------------------------------------
// Collision avoidance.

// One pending threat of the walk, as the evasion search weighs it.
struct Threat {
  const SpaceObject* obstacle;
  FixedVector dir;  // unit, from the ship toward it
  double weight;    // -1 hard: never fly toward it
};

struct ThreatWalk {
  Threat threats[kShipThreatCapacity];
  int32_t count = 0;    // entries kept for the search
  int32_t pending = 0;  // n
  bool evade = false;
  bool hard = false;
  bool keeps = false;  // a keep speed exists
  int32_t keepSpeed = 0;
};

bool IsHardObstacle(const SpaceObject* ship, SpaceObject* obstacle) {
  return int64_t{obstacle->radius} >= int64_t{ship->radius} * 3 / 4 || IsObjectClass56(obstacle) ||
         obstacle->objClass == kClassAsteroid || GetObjectMaxSpeed(obstacle) == 0;
}

// Weighs the threat list into `walk`; entries a tree obstacle does not confirm are cleared.
void WeighThreats(SpaceObject* ship, ShipExt* ext, const FixedVector& u0, ThreatWalk* walk) {
  const FixedVector at = PositionOf(ship);
  const FixedVector forward = ShipForwardAxis(ship);
  const int32_t counter = static_cast<int32_t>(OrderWord(ext, kEvasionCounterWord));
  const int32_t count = std::clamp(ext->threatCount, 0, kShipThreatCapacity);
  walk->pending = count;
  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* obstacle = ext->threats[i];
    const int32_t value = ext->threatDistances[i];
    if (!obstacle) {
      --walk->pending;
      continue;
    }
    int64_t reach = ship->radius;
    FixedVector dir;
    bool imminent;
    if (IsBigObstacle(obstacle)) {
      InstanceRecord* contact = nullptr;
      if (!IsOnCollisionCourse(ship, obstacle, value, &contact) || !contact) {
        ext->threats[i] = nullptr;
        --walk->pending;
        continue;
      }
      dir = VecSub(contact->world, at);
      reach += B3D_InstGetTotalSize(contact);
      InstanceRecord* hit = nullptr;
      imminent = HitTestInstanceTree(ship, obstacle->instance, value, &hit, kImminentFactor, 1) != 0;
    } else {
      dir = VecSub(PositionOf(obstacle), at);
      reach += obstacle->radius;
      imminent = ((reach * kImminentFactor + 32768) >> 16) >= value;
    }
    NormalizeVector(&dir);
    Threat& threat = walk->threats[walk->count++];
    threat = {obstacle, dir, 1.0};
    if (imminent) {
      if (IsHardObstacle(ship, obstacle)) {
        threat.weight = -1.0;
        walk->hard = walk->evade = true;
        walk->keeps = false;
      }
      continue;
    }
    const int32_t c = Dot16(u0, dir);
    int64_t closing = (std::llabs(int64_t{ship->speed}) * c) >> 16;
    const int32_t k = Dot16(dir, ShipForwardAxis(obstacle));
    const int64_t otherSpeed = std::llabs(int64_t{obstacle->speed});
    const bool headOn = counter == 0 && obstacle->objClass == kClassShip && !(obstacle->flags2 & kObjFlag2NoThreats) &&
                        c < -kHeadOnCosine;
    if (obstacle->speed != 0 && (c > kHeadOnCosine || headOn)) {
      int64_t m = -((otherSpeed * k) >> 16);
      if (m > 0 && ShipIsLargeClass(obstacle)) m *= 2;
      closing += m;
    }
    const int64_t den = int64_t{value} - 2 * closing;
    if (value != 0 && den != 0) {
      const double ratio = double(reach + kThreatMargin) / double(den);
      threat.weight = 1.0 - ratio * ratio;
    } else {
      threat.weight = 0.0;
    }
    if (walk->hard) continue;
    const int32_t e = Dot16(dir, forward);
    if (obstacle->speed > kSlowest && k < -kKeepSpeedCosine && e > kKeepSpeedCosine && counter == 0) {
      // An obstacle coming up from behind along the ship's course: match its speed rather than
      // turn away.
      const int32_t keep = FixedDiv(SaturateToInt32((otherSpeed * -int64_t{k}) >> 16), e + kKeepSpeedBias);
      walk->keepSpeed = walk->keeps ? std::min(walk->keepSpeed, keep) : keep;
      walk->keeps = true;
    } else if (c >= 0) {
      const double f = c / 65536.0;
      if (f * f > threat.weight) {
        walk->evade = true;
        walk->keeps = false;
      }
    }
  }
}

// What steering toward d costs against one threat: -1 when it blocks d, else the score it adds.
int32_t CandidateScore(const FixedVector& d, const Threat& threat) {
  const SpaceObject* o = threat.obstacle;
  const bool gate = o->objClass == kClassGate;
  const int32_t along = Dot16(d, threat.dir);
  const bool station = o->objClass == kClassDockWreck || o->objClass == kClassFactoryWreck || IsObjectClass56(o);
  const bool rock = o->objClass == kClassAsteroid || o->objClass == kClassDebris;
  const bool large = ShipIsLargeClass(o);
  if (threat.weight == -1.0) {
    if (along > (gate ? kHardGateClearance : kHardClearance)) return -1;
    return gate ? 150 : rock ? 100 : station ? 50 : large ? 10 : 1;
  }
  const double f = along / 65536.0;
  if (f >= 0 && f * f > threat.weight - kSoftSlack) return -1;
  return gate ? 100 : rock ? 50 : station ? 25 : large ? 10 : 1;
}

// A new heading clear of the threats: the first candidate on widening cones that nothing blocks,
// else the blocked one the threats mind least.
FixedVector EvasionDirection(SpaceObject* ship, ShipExt* ext, const FixedVector& u0, const ThreatWalk& walk) {
  FixedVector axis, first, second;
  int32_t a;
  const int32_t counter = static_cast<int32_t>(OrderWord(ext, kEvasionCounterWord));
  if (counter != 0 && RandomBelow(100) >= 10) {
    const FixedMatrix* m = GetObjectRotationMatrix(ship);
    FixedMatrix identity;
    MatrixSetIdentity(&identity);
    if (!m) m = &identity;
    axis = MatrixRowOf(*m, 2);
    first = MatrixRowOf(*m, 0);
    second = MatrixRowOf(*m, 1);
    a = RandomUpTo(4096) + kConeStart;
  } else {
    axis = u0;
    FixedVector p0;
    if (std::abs(u0.y) > kAxisLeaning || std::abs(u0.z) > kAxisLeaning) {
      p0 = {0, u0.z, -u0.y, 0};
    } else {
      const int32_t s = u0.z != 0 ? u0.z : u0.y;
      p0 = {-s, 0, u0.x, 0};
    }
    CrossVector(&second, &u0, &p0);
    NormalizeVector(&second);
    CrossVector(&first, &u0, &second);
    a = 0;
  }
  int32_t best = -1;
  FixedVector chosen = axis;
  for (;;) {
    const uint32_t b = static_cast<uint32_t>(RandomUpTo(kConeSpread) - kConeSpread / 2);
    const int32_t ca = TableCosine(static_cast<uint32_t>(a)), sa = TableSine(static_cast<uint32_t>(a));
    const int32_t cb = TableCosine(b), sb = TableSine(b);
    FixedVector d;
    const int32_t* parts[3] = {&axis.x, &axis.y, &axis.z};
    const int32_t* firsts[3] = {&first.x, &first.y, &first.z};
    const int32_t* seconds[3] = {&second.x, &second.y, &second.z};
    int32_t* out[3] = {&d.x, &d.y, &d.z};
    for (int i = 0; i < 3; ++i) {
      const int32_t ring = FixedMul(cb, *firsts[i]) + FixedMul(sb, *seconds[i]);
      *out[i] = FixedMul(ca, *parts[i]) + FixedMul(sa, ring);
    }
    d.w = 0;
    bool blocked = false;
    int32_t score = 0;
    for (int32_t i = 0; i < walk.count; ++i) {
      const int32_t s = CandidateScore(d, walk.threats[i]);
      if (s < 0) blocked = true;
      else score += s;
    }
    if (!blocked) return d;
    if (score > best) {
      best = score;
      chosen = d;
    }
    a += kConeStep;
    if (a > kConeLast) return chosen;
  }
}

void AvoidCollision(SpaceObject* ship, ShipExt* ext) {
  if (ship->flags & kAvoidHeldFlags) return;
  const uint32_t now = SimulationNow();
  if (TimeSince(now, ext->thinkDue) < 0) return;
  ext->thinkDue = now + kAvoidDecisionMs;

  const FixedVector at = PositionOf(ship);
  const int32_t vmax = GetObjectMaxSpeed(ship);
  const bool large = ShipIsLargeClass(ship);
  const int32_t counter = static_cast<int32_t>(OrderWord(ext, kEvasionCounterWord));
  const FixedVector u0 = GetDistance(&at, &ext->commandPoint) < kNearPointDistance
                             ? FixedVector{kFixedOne, 0, 0, 0}
                             : VecUnit(VecSub(ext->commandPoint, at));
  ThreatWalk walk;
  WeighThreats(ship, ext, u0, &walk);
  int32_t& agility = ShipAgilityFactor(ext);
  if (walk.evade && walk.pending != 0) {
    const FixedVector d = EvasionDirection(ship, ext, u0, walk);
    FixedVector reach = d;
    SetVectorLength(&reach.x, &reach.y, &reach.z, kEvasionReach);
    ext->commandPoint = VecAdd(at, reach);
    SetOrderVector(ext, kSecondPointWord, at);
    agility = std::max(agility, kEvasionAgility);
  }
  const bool steer = walk.evade || walk.keeps || walk.pending != 0;
  const bool wanders = !large && counter != 0;
  if (!steer) {
    const FixedVector start = OrderVector(ext, kSecondPointWord);
    int64_t allowed = ShipArrivalDistance(ext);
    if (wanders) allowed += std::min<int64_t>(int64_t{counter} * kEvasionStretch, 3 * int64_t{vmax});
    if (GetDistance(&at, &start) > allowed) {
      EndShipOrder(ship, OM_NONE, kOrderDone);
      return;
    }
  }
  // Heading for the order point. A wandering ship lets its goal drift sideways a little at each
  // decision: by a hundredth of its distance to the goal, along its own up axis.
  if (wanders) {
    const FixedMatrix* m = GetObjectRotationMatrix(ship);
    const FixedVector up = m ? MatrixRowOf(*m, 1) : FixedVector{0, kFixedOne, 0, 0};
    ext->commandPoint = VecAdd(ext->commandPoint, VecAlong(up, GetDistance(&at, &ext->commandPoint) / 100));
  }
  const int32_t c = OrderFacingCosine(ship, ext->commandPoint);
  if (c >= kBehindCosine && !walk.hard && !large) ObjTurnTowardsPoint(ship, &ext->commandPoint);
  else ObjSteerHeadingPitch(ship, &ext->commandPoint);
  const int32_t vs = std::max(ship->speed, kSlowest);
  if (walk.keeps && counter == 0) {
    ship->speedLimit = std::max(std::min(vmax, walk.keepSpeed), kSlowest);
  } else if (wanders) {
    if (walk.hard) {
      ship->speedLimit = InterpolateClamped(kFormationCosine, 0, c, vs, vmax);
      agility = kFixedOne;
    } else {
      ship->speedLimit = InterpolateClamped(kFormationCosine, kSharpAgility, c, vs, vmax);
      if (c > kFormationCosine) agility = kSharpAgility;
    }
  } else if (walk.hard) {
    ship->speedLimit = InterpolateClamped(kFormationCosine, 26214, c, 0, vmax);
    agility = kFixedOne;
  } else {
    ship->speedLimit = InterpolateClamped(kHeadOnCosine, 0, c, vs, vmax);
  }
}

}  // namespace

void RunAvoidCollision(SpaceObject* ship, int32_t) {
  if (ShipExt* ext = ShipExtOrNull(ship)) AvoidCollision(ship, ext);
}

void RunEscort(SpaceObject* ship, int32_t) {
  if (ShipExt* ext = ShipExtOrNull(ship)) Escort(ship, ext);
}

void RunFollow(SpaceObject* ship, int32_t) {
  if (ShipExt* ext = ShipExtOrNull(ship)) Follow(ship, ext);
}
