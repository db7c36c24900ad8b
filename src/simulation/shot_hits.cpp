// Shot hit tests and collision-course tests: the box test of an instance tree, the target search
// of a beam shot, the collision-course rule of a ship and its threat list. Called by the sector
// motion pass, the object update, the order modes and the weapons. Never raises an event, never
// frees anything, and puts back the shot instance it moves for its test.
#include "simulation/shot_hits.h"

#include <algorithm>
#include <cmath>

#include "core/fixed_math.h"
#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/engine_state.h"
#include "scene/instance_collision.h"
#include "scene/instance_records.h"
#include "simulation/order_modes.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kShotSkipFlags = 0x48000404;  // bits 2, 10, 27 and 30
constexpr uint16_t kRaceAlwaysHit = 10;
constexpr int32_t kBeamLineMargin = 1000;

constexpr int32_t kBoxScale = 0x13333;         // 1.2
constexpr int32_t kHeadOnCosine = 0xCCCC;      // 0.8
constexpr int32_t kLookAheadMin = 15000;
constexpr int32_t kLookAheadMax = 500000;
constexpr int64_t kBrakingCap = 300000;
constexpr int32_t kSameSpotMargin = 100;
constexpr double kConeClearance = 20000.0;
constexpr int32_t kHangarRadiusPart = 0xCCCC;  // 0.8

bool DefaultShotCollide(InstanceRecord* shot, InstanceRecord* target, int32_t reach, int32_t radius) {
  return InstCollide(shot, target, reach, radius);
}

ShotCollideTest gShotCollide = DefaultShotCollide;

FixedVector Position(const SpaceObject* o) {
  FixedVector p{};
  ObjGetWorldPosition(o, -1, &p);
  return p;
}

FixedVector Forward(const SpaceObject* o) {
  const FixedMatrix* m = GetObjectRotationMatrix(o);
  if (!m) return FixedVector{0, 0, kFixedOne, 0};
  return FixedVector{m->m[2][0], m->m[2][1], m->m[2][2], 0};
}

int64_t Mul16(int64_t a, int64_t b) { return (a * b) >> 16; }

// The half extents of the instance's collision box in world units, unscaled; false without one.
bool BoxHalfExtents(const InstanceRecord* instance, double half[3]) {
  if (instance->bodyId < 0) return false;
  const BodyRecord* body = B3D_FindBody(instance->bodyId);
  const CollisionModel* model = body ? body->collision : nullptr;
  if (!model || model->boxCount <= 0 || !model->boxes) return false;
  for (int i = 0; i < 3; ++i) half[i] = double(model->boxes[0].half[i]) * double(instance->size);
  return true;
}

// The segment p + t * d, t in [0, 1], clipped by the slabs |x_i| <= h_i: true when a stretch of it
// is left.
bool SegmentCrossesBox(const double p[3], const double d[3], const double h[3]) {
  double enter = 0.0, leave = 1.0;
  for (int i = 0; i < 3; ++i) {
    if (d[i] == 0.0) {
      if (p[i] < -h[i] || p[i] > h[i]) return false;
      continue;
    }
    double t1 = (-h[i] - p[i]) / d[i];
    double t2 = (h[i] - p[i]) / d[i];
    if (t1 > t2) std::swap(t1, t2);
    enter = std::max(enter, t1);
    leave = std::min(leave, t2);
  }
  return enter < leave;
}

bool HitsOwnBox(const SpaceObject* object, const InstanceRecord* instance, int32_t reach, int32_t scale, bool quick) {
  double half[3];
  if (!BoxHalfExtents(instance, half)) return false;
  for (double& h : half) h = (h + object->radius) * double(scale) / 65536.0;

  const FixedVector pos = Position(object);
  const FixedVector offset{pos.x - instance->world.x, pos.y - instance->world.y, pos.z - instance->world.z, 0};
  FixedVector local{};
  MatrixTransposeMulVector(&local, &instance->worldMatrix, &offset);
  const double p[3] = {double(local.x), double(local.y), double(local.z)};
  if (std::fabs(p[0]) < half[0] && std::fabs(p[1]) < half[1] && std::fabs(p[2]) < half[2]) return true;
  if (quick) return false;

  double outside = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double excess = std::fabs(p[i]) - half[i];
    if (excess > 0) outside += excess * excess;
  }
  if (outside > double(reach) * double(reach)) return false;
  const FixedVector forward = Forward(object);
  FixedVector localForward{};
  MatrixTransposeMulVector(&localForward, &instance->worldMatrix, &forward);
  const double d[3] = {double(localForward.x) * reach / 65536.0, double(localForward.y) * reach / 65536.0,
                       double(localForward.z) * reach / 65536.0};
  return SegmentCrossesBox(p, d, half);
}

struct Candidate {
  SpaceObject* object;
  double distance;
};

bool IsAttacking(const SpaceObject* ship) {
  const int32_t mode = ShipOrderMode(ship);
  if (mode == OM_ATTACK || mode == OM_ATTACK_BIG) return true;
  const ShipExt* ext = ShipExtOrNull(ship);
  return mode == OM_AVOID_COLLISION && ext && ext->avoidValue > 0;
}

// Both sides of an escort or follow pair brake late: they are meant to fly close.
bool IsFormationPair(const SpaceObject* ship, const SpaceObject* obstacle) {
  if (obstacle->objClass != kClassShip) return false;
  const int32_t mode = ShipOrderMode(ship);
  const SpaceObject* target = ShipOrderTarget(ship);
  const int32_t otherMode = ShipOrderMode(obstacle);
  const SpaceObject* otherTarget = ShipOrderTarget(obstacle);
  if (mode == OM_ESCORT) return target == obstacle || (otherMode == OM_ESCORT && otherTarget == target);
  if (mode == OM_FOLLOW) return target == obstacle || (otherMode == OM_FOLLOW && otherTarget == ship);
  return false;
}

bool RefersToDebris(const SpaceObject* o) {
  return o && o->linkedObject && o->linkedObject->objClass == kClassDebris;
}

bool BoxTest(SpaceObject* ship, SpaceObject* obstacle, int64_t braking, InstanceRecord** hit) {
  if (!obstacle->instance) return false;
  const int64_t reach = std::min<int64_t>(int64_t{std::abs(int64_t{ship->speed})} + braking, INT32_MAX);
  return HitTestInstanceTree(ship, obstacle->instance, static_cast<int32_t>(reach), hit, kBoxScale, 0) != 0;
}

void AddThreat(SpaceObject* ship, ShipExt* ext, SpaceObject* obstacle, int32_t distance) {
  if (ext->threatCount >= 0 && ext->threatCount < kShipThreatCapacity) {
    ext->threats[ext->threatCount] = obstacle;
    ext->threatDistances[ext->threatCount] = distance;
    ++ext->threatCount;
  }
  ship->flags |= kObjFlagThreatsRecorded;
}

}  // namespace

// Whether the obstacle lies beyond the largest `braking + lookAhead` (plus r) the course test
// below can reach for any direction between the two, from bounds on the cosines it works with: a
// unit direction gives a dot product with a row of length L of at most L in magnitude. Most ship
// pairs the motion pass hands over lie beyond it, and need neither their positions nor the
// normalised direction worked out. Deliberately generous by a few units; it only decides when the
// exact test can be skipped. It takes neither a root nor a quotient, which would cost more than the
// rest of it: a row's length is bounded by the mean of its squared length over 65536 and 65536
// (never below the root, and equal to it for a unit row), and the braking distance v^2 / 2a is
// compared as v^2 against 2a times the distance left.
static bool BeyondFarthestReach(const SpaceObject* ship, const SpaceObject* obstacle, int64_t lookAhead,
                                int32_t acceleration, int32_t distance, int64_t r) {
  auto rowLength = [](const SpaceObject* o) {
    const FixedVector f = Forward(o);
    const double squared = double(f.x) * f.x + double(f.y) * f.y + double(f.z) * f.z;
    return (squared / 65536.0 + 65536.0) / 2.0 + 4.0;
  };
  const double cMax = rowLength(ship);
  const double reach = double(lookAhead) + std::max(0.0, double(ship->radius) * cMax / 65536.0) + 1.0 + 4.0;
  const double left = double(distance) - double(r) - reach;
  if (!(acceleration > 0 && ship->speed != 0)) return left > 0;
  // What the braking distance must exceed (beyond its own extra unit) for the obstacle to be in reach.
  const double needed = left - 1.0;
  if (needed <= 0) return false;
  if (needed > double(kBrakingCap)) return true;
  double v = std::abs(double(ship->speed)) * cMax / 65536.0 + 1.0;
  if (obstacle->speed != 0) v += 2.0 * (std::abs(double(obstacle->speed)) * rowLength(obstacle) / 65536.0 + 1.0);
  return v * v < needed * 2.0 * double(acceleration);
}

bool IsBigObstacle(const SpaceObject* o) {
  if (o->objClass == kClassDock || o->objClass == kClassFactory || ShipIsCapitalClass(o)) return true;
  if (o->objClass == kClassSpecial && o->subtype >= 45 && o->subtype <= 47) return true;
  return o->subtype >= 38 && o->subtype <= 42;
}

void SetShotCollideTest(ShotCollideTest test) { gShotCollide = test ? test : DefaultShotCollide; }

int32_t HitTestInstanceTree(const SpaceObject* object, InstanceRecord* instance, int32_t reach, InstanceRecord** hit,
                            int32_t scale, int32_t quick) {
  if (!object || !instance) return 0;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (HitTestInstanceTree(object, child, reach, hit, scale, quick)) return 1;
  }
  if (!HitsOwnBox(object, instance, reach, scale, quick != 0)) return 0;
  if (hit) *hit = instance;
  return 1;
}

SpaceObject* FindShotTarget(SpaceObject* shot) {
  if (!shot || shot->objClass != kClassBullet || !shot->ext || !shot->instance) return nullptr;
  auto* ext = static_cast<BulletExt*>(shot->ext);
  if (!shot->parent || shot->parent->objClass != kClassSector) return nullptr;
  ListHead* sector = ObjectChildren(shot->parent);

  const int32_t halfLength = BulletGetRange(shot) / 2;
  const FixedVector start = Position(shot);
  const FixedVector forward = Forward(shot);
  const FixedVector mid{SaturateToInt32(start.x + Mul16(forward.x, halfLength)),
                        SaturateToInt32(start.y + Mul16(forward.y, halfLength)),
                        SaturateToInt32(start.z + Mul16(forward.z, halfLength)), 0};
  const double fx = forward.x / 65536.0, fy = forward.y / 65536.0, fz = forward.z / 65536.0;

  const SpaceObject* shooter = ext->shooter;
  Candidate candidates[kShotCandidateLimit];
  int32_t count = 0;
  for (SpaceObject* o = ObjectListFirst(sector); o && count < kShotCandidateLimit; o = ObjectListNext(o)) {
    if (o == shot || (o->flags & kShotSkipFlags) || o == shooter || !o->instance) continue;
    if (shooter && o->owner == shooter->owner && o->owner != kRaceAlwaysHit) continue;
    const FixedVector p = Position(o);
    const double dx = double(p.x) - mid.x, dy = double(p.y) - mid.y, dz = double(p.z) - mid.z;
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (distance > double(o->radius) + halfLength) continue;
    const double along = dx * fx + dy * fy + dz * fz;
    const double across = std::sqrt(std::max(0.0, distance * distance - along * along));
    if (across > double(o->radius) + kBeamLineMargin) continue;
    candidates[count++] = {o, distance};
  }
  // Equal distances keep the sector's order, so the same scene always picks the same target.
  std::stable_sort(candidates, candidates + count,
                   [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });

  InstanceRecord* beam = shot->instance;
  const FixedVector savedPosition = beam->position;
  const FixedVector savedWorld = beam->world;
  beam->position = FixedVector{mid.x, mid.y, mid.z, savedPosition.w};
  beam->world = FixedVector{mid.x, mid.y, mid.z, savedWorld.w};
  const bool player = (shot->flags2 & kObjFlag2PlayerShot) != 0;
  SpaceObject* best = nullptr;
  FixedVector bestContact{};
  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* o = candidates[i].object;
    if (!gShotCollide(beam, o->instance, halfLength, o->radius)) continue;
    if (!best || beam->contact.z < bestContact.z) {
      best = o;
      bestContact = beam->contact;
    }
    if (!player) break;
  }
  beam->position = savedPosition;
  beam->world = savedWorld;
  if (!best) return nullptr;

  ext->hitFlags |= kBulletHit;
  ext->hitObject = best;
  beam->contact = FixedVector{bestContact.x, bestContact.y,
                              SaturateToInt32(int64_t{bestContact.z} - shot->radius + halfLength), 0};
  ObjRelativeTransform(shot, best, &ext->hitOffset);
  return best;
}

bool IsOnCollisionCourse(SpaceObject* ship, SpaceObject* obstacle, int32_t distance, InstanceRecord** hit) {
  if (!ship || !obstacle) return false;
  if (ship->speed == 0 && ship->speedLimit == 0) return false;
  const int32_t acceleration = ObjGetTunedField72(ship);
  if (acceleration == 0) return false;

  const bool big = IsBigObstacle(obstacle);
  const int64_t r = int64_t{ship->radius} + obstacle->radius;
  const bool attacking = IsAttacking(ship);
  const int32_t mode = ShipOrderMode(ship);
  SpaceObject* target = ShipOrderTarget(ship);
  const bool solid = int64_t{obstacle->radius} * 4 >= int64_t{ship->radius} * 3 ||
                     obstacle->objClass == kClassDock || obstacle->objClass == kClassFactory ||
                     obstacle->objClass == kClassAsteroid || GetObjectMaxSpeed(obstacle) == 0;
  if (solid) {
    if (attacking && target == obstacle) {
      if (distance <= r) return true;
    } else if (!big && distance <= Mul16(r, kBoxScale)) {
      return true;
    }
  }

  int64_t lookAhead = ship->radius;
  if (!attacking) lookAhead += obstacle->radius / 10;
  if (mode == OM_AVOID_COLLISION) lookAhead += ship->radius;
  lookAhead = std::clamp<int64_t>(lookAhead, kLookAheadMin, kLookAheadMax) + r;
  if (distance > r && BeyondFarthestReach(ship, obstacle, lookAhead, acceleration, distance, r)) return false;

  const FixedVector from = Position(ship);
  const FixedVector to = Position(obstacle);
  const FixedVector forward = Forward(ship);
  FixedVector direction{to.x - from.x, to.y - from.y, to.z - from.z, 0};
  if (std::abs(direction.x) <= kSameSpotMargin && std::abs(direction.y) <= kSameSpotMargin &&
      std::abs(direction.z) <= kSameSpotMargin) {
    direction = forward;
  } else {
    NormalizeVector(&direction.x, &direction.y, &direction.z);
  }
  const int64_t c = Mul16(direction.x, forward.x) + Mul16(direction.y, forward.y) + Mul16(direction.z, forward.z);
  const bool drifts = obstacle->baseVelocity.x != 0 || obstacle->baseVelocity.y != 0 || obstacle->baseVelocity.z != 0;
  if (distance > r && c <= 0 && obstacle->speed == 0 && !drifts) return false;

  int64_t closing = 0;
  if (obstacle->speed != 0 &&
      (c > kHeadOnCosine || (c < -kHeadOnCosine && !attacking && obstacle->objClass == kClassShip &&
                             !(obstacle->flags2 & kObjFlag2NoThreats)))) {
    const FixedVector otherForward = Forward(obstacle);
    const int64_t facing = Mul16(otherForward.x, direction.x) + Mul16(otherForward.y, direction.y) +
                           Mul16(otherForward.z, direction.z);
    closing = -Mul16(std::abs(int64_t{obstacle->speed}), facing);
    if (closing > 0 && ShipIsLargeClass(obstacle)) closing *= 2;
  }
  int64_t braking = 0;
  if (c > 0) {
    lookAhead += Mul16(ship->radius, c);
    if (ship->speed != 0) {
      const double v = double(Mul16(std::abs(int64_t{ship->speed}), c) + closing);
      braking = static_cast<int64_t>(std::min(v * v / acceleration / 2.0, double(kBrakingCap)));
    }
  }
  braking = std::min(braking, kBrakingCap);
  if (IsFormationPair(ship, obstacle)) braking /= 2;

  if (big && distance <= r) return BoxTest(ship, obstacle, braking, hit);
  if (distance > braking + lookAhead + r) return false;
  if (mode == OM_COLLECT_DEBRIS && obstacle->objClass == kClassAsteroid && RefersToDebris(obstacle) &&
      RefersToDebris(target)) {
    if (distance > braking + r) return false;
    const int64_t obstacleSurface = int64_t{distance} - obstacle->radius;
    const int64_t targetSurface = int64_t{ObjectDistance(ship, target)} - target->radius;
    if (obstacleSurface < targetSurface) return false;
  }
  if (braking < distance) {
    const double q = double(r + kConeClearance) / double(distance - braking);
    const double f = double(c) / 65536.0;
    if (f <= 0.0 || f * f <= 1.0 - q * q) return false;
  }
  return big ? BoxTest(ship, obstacle, braking, hit) : true;
}

void RecordCollisionThreat(SpaceObject* ship, SpaceObject* obstacle, int32_t distance) {
  ShipExt* ext = ShipExtOrNull(ship);
  if (!ext || !obstacle || (ship->flags2 & kObjFlag2NoThreats) || !ShipIsValidTarget(obstacle, ship)) return;
  InstanceRecord* hit = nullptr;
  const int32_t mode = ShipOrderMode(ship);
  if (mode == OM_AVOID_COLLISION) {
    if (IsOnCollisionCourse(ship, obstacle, distance, &hit)) AddThreat(ship, ext, obstacle, distance);
    return;
  }
  SpaceObject* target = ShipOrderTarget(ship);
  if (mode == OM_CLEAR_FROM_HANGAR && target) {
    // A ship leaving a hangar starts inside its carrier, or at its gate: neither is a threat yet.
    if (target->objClass == kClassGate) {
      if (ObjectMaxNormDistance(ship, target) <= kHangarGateClearance) return;
    } else if (target->objClass == kClassDock || target->objClass == kClassFactory || target->objClass == kClassShip) {
      if (obstacle == target) return;
      if (ObjectDistance(ship, target) <= Mul16(target->radius, kHangarRadiusPart)) return;
    }
  }
  if (!IsOnCollisionCourse(ship, obstacle, distance, &hit)) return;
  ship->flags |= kObjFlagCollisionWarning;
  AddThreat(ship, ext, obstacle, distance);
}
