// A ship's turrets: per-frame aiming and turning of turrets 1 and up, the waiting-task service of
// the turret orders, the lead solution and the firing-range test. Called by the flight pass
// (`AimShipTurrets`), the weapons, the object commands and the HUD. Waking a task or asking the
// ship's script for its firing mask may run script code, so the callers hold the universe guard;
// nothing here frees or allocates an object.
#include "simulation/turrets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/system_block.h"
#include "scene/instance_records.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "simulation/universe_guard.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kMaxTurretStep = 250;
constexpr uint32_t kReturnDelay = 10000;
constexpr int32_t kAngleLimit = 16384;
constexpr int32_t kAlignedDot = 0xFEF9;
constexpr int32_t kPointingDot = 0xFE55;
constexpr int64_t kFiringRangeLimit = 5000000;
constexpr int32_t kRangeShare = 0xFD70;  // 0.99
constexpr double kMainGroupCosine = 0.8;
constexpr uint32_t kBulletFlagBeam = 0x2;
constexpr uint32_t kBulletFlagArc = 0x4;
constexpr double kSmall = 0.0001;

ShipExt* ShipExtOf(SpaceObject* ship) {
  return ship && ship->objClass == kClassShip ? static_cast<ShipExt*>(ship->ext) : nullptr;
}

int32_t TurretCountOf(const SpaceObject* ship) { return std::min(GetShipTurretCount(ship), kShipTurretCapacity); }

FixedVector PositionOf(const SpaceObject* o) { return o->instance ? o->instance->position : FixedVector{}; }

FixedVector VelocityOf(const SpaceObject* o) {
  const FixedVector v = o->instance ? o->instance->velocity : FixedVector{};
  return FixedVector{v.x + o->baseVelocity.x, v.y + o->baseVelocity.y, v.z + o->baseVelocity.z, 0};
}

const FixedMatrix* ShipMatrix(const SpaceObject* ship) {
  return ship->instance ? &ship->instance->matrix : GetObjectRotationMatrix(ship);
}

// An angle as a signed value: above half a turn it counts backwards.
int32_t SignedAngle(uint32_t angle) {
  angle &= 0xFFFF;
  return angle > 32768 ? static_cast<int32_t>(angle) - 65536 : static_cast<int32_t>(angle);
}

// The 16.16 direction a turret at (yaw, pitch) points along, in the ship's frame.
FixedVector TurretDirection(int32_t yaw, int32_t pitch) {
  FixedMatrix m;
  MatrixFromAngles(&m, static_cast<uint32_t>(yaw), static_cast<uint32_t>(pitch), 0);
  return FixedVector{m.m[2][0], m.m[2][1], m.m[2][2], 0};
}

int32_t Dot16(const FixedVector& a, const FixedVector& b) { return FixDot3(&a, &b); }

// The turret's world position: its component offset turned by the ship and added to its position.
FixedVector TurretPosition(const SpaceObject* ship, const TurretControlRow& row) {
  FixedVector p = PositionOf(ship);
  if (const FixedMatrix* m = ShipMatrix(ship)) {
    FixedVector offset;
    MatrixMulVector(&offset, m, &row.offset);
    p.x += offset.x;
    p.y += offset.y;
    p.z += offset.z;
  }
  return p;
}

// Moves `current` toward `target` by at most `limit`, never past it.
void TurnToward(int32_t* current, int32_t target, int64_t limit) {
  const int64_t gap = int64_t{target} - *current;
  *current = static_cast<int32_t>(*current + std::clamp(gap, -limit, limit));
}

void TurnTurret(SpaceObject* ship, int32_t turret, TurretControlRow* row, int32_t step) {
  int32_t yawRate = 0, pitchRate = 0;
  ShipTurretLaserMinima(ship, turret, &yawRate, &pitchRate);
  TurnToward(&row->vector.x, row->vector.z, int64_t{yawRate} * step / 1000);
  TurnToward(&row->vector.y, row->vector.w, int64_t{pitchRate} * step / 1000);
}

// Step 1: the task waiting on the turret's order.
void ServeWaitingTask(SpaceObject* ship, int32_t turret, TurretControlRow* row, uint32_t now) {
  const uint32_t mode = row->words[kTurretAimModeWord];
  if (!row->targetObject && mode == 0) {
    ShipReleaseModuleHandle(ship, turret, kTurretNoTarget);
    return;
  }
  if (TimeSince(now, row->words[kTurretAimUntilWord]) >= 0) {
    ShipReleaseModuleHandle(ship, turret, kTurretTimeOver);
    return;
  }
  FixedVector to = TurretTargetPoint(*row);
  if (mode != kTurretAimDirection) {
    const FixedVector at = row->targetObject ? PositionOf(row->targetObject) : to;
    const FixedVector from = TurretPosition(ship, *row);
    to = FixedVector{at.x - from.x, at.y - from.y, at.z - from.z, 0};
  }
  FixedVector local = to;
  if (const FixedMatrix* m = ShipMatrix(ship)) MatrixTransposeMulVector(&local, m, &to);
  if (local.z >= 0) {
    uint32_t yaw = 0, pitch = 0;
    AnglesFromVector(&local, &yaw, &pitch);
    const int32_t y = SignedAngle(yaw), p = SignedAngle(pitch);
    row->vector.z = std::abs(y) > kAngleLimit ? row->vector.x : y;
    row->vector.w = std::abs(p) > kAngleLimit ? row->vector.y : p;
    row->since = now + kReturnDelay;
  }
  if (TimeSince(now, row->words[kTurretAlignCheckWord]) > 0) {
    NormalizeVector(&local);
    if (Dot16(TurretDirection(row->vector.x, row->vector.y), local) >= kAlignedDot) {
      ShipReleaseModuleHandle(ship, turret, kTurretAligned);
    }
  }
}

bool Waiting(const TurretControlRow& row) { return row.moduleNo != 0; }

const BulletType* BulletTypeOfLaser(const SpaceObject* laser) {
  const ObjectTypeRecord* row = TypeRow(kClassLaser, laser->subtype);
  const ObjectTypeRecord* bullet = row ? TypeRow(kClassBullet, row->laser.bulletType) : nullptr;
  return bullet ? &bullet->bullet : nullptr;
}

bool Armed(const SpaceObject* laser) { return laser->objClass == kClassLaser && (laser->flags & kObjFlagArmed); }

// The armed laser of the ship mounted in `slot`, or null.
SpaceObject* LaserInSlot(SpaceObject* ship, int32_t slot) {
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(ship)); c; c = ObjectListNext(c)) {
    if (Armed(c) && c->ext && static_cast<const LaserExt*>(c->ext)->laserSlot == slot) return c;
  }
  return nullptr;
}

FixedVector Normalised(FixedVector v) {
  NormalizeVector(&v);
  return v;
}

}  // namespace

FixedVector TurretTargetPoint(const TurretControlRow& row) {
  return FixedVector{static_cast<int32_t>(row.stateWords[0]), static_cast<int32_t>(row.stateWords[1]),
                     static_cast<int32_t>(row.stateWords[2]), 0};
}

void SetTurretTargetPoint(TurretControlRow* row, const FixedVector& point) {
  row->stateWords[0] = static_cast<uint32_t>(point.x);
  row->stateWords[1] = static_cast<uint32_t>(point.y);
  row->stateWords[2] = static_cast<uint32_t>(point.z);
}

void AimShipTurrets(SpaceObject* ship) {
  ShipExt* ext = ShipExtOf(ship);
  const int32_t count = ext ? TurretCountOf(ship) : 0;
  if (count < 2) return;
  const int32_t frame = gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0;
  const int32_t step = std::clamp(frame, 0, kMaxTurretStep);
  const uint32_t now = SimulationNow();
  TurretCockpitView view{};
  const bool viewed = gSimulationServices.currentCockpitView && gSimulationServices.currentCockpitView(&view) &&
                      view.refObject == ship && view.cockpitNumber >= 0;
  const int32_t viewedTurret = viewed ? ShipComponentValue(ship->subtype, view.cockpitNumber) : -1;
  for (int32_t t = 1; t < count; ++t) {
    TurretControlRow* row = &ext->turrets[t];
    if (Waiting(*row)) ServeWaitingTask(ship, t, row, now);
    if (t == viewedTurret) {
      row->since = now + kReturnDelay;
      if (view.viewMode != 1) continue;
      if (!Waiting(*row)) {
        if (view.viewAngles) {
          row->vector.x = row->vector.z = view.viewAngles[0];
          row->vector.y = row->vector.w = view.viewAngles[1];
        }
        continue;
      }
      TurnTurret(ship, t, row, step);
      if (view.viewAngles) {
        view.viewAngles[0] = row->vector.x;
        view.viewAngles[1] = row->vector.y;
      }
      if (view.refreshFlag && *view.refreshFlag && view.storedViewAngles) {
        view.storedViewAngles[0] = row->vector.x;
        view.storedViewAngles[1] = row->vector.y;
        *view.refreshFlag = 0;
      }
      continue;
    }
    if (TimeSince(now, row->since) > 0) {
      row->since = now + kReturnDelay;
      row->vector.z = row->vector.w = 0;
    }
    TurnTurret(ship, t, row, step);
  }
}

int32_t ComputeTurretAim(SpaceObject* ship, int32_t turret, SpaceObject* target, const FixedVector* muzzle,
                         FixedVector* outDirection, FixedVector* outAimPoint) {
  if (!ShipExtOf(ship) || turret < 0 || !target || !muzzle) return 0;
  uint32_t mask = 0xFFFFFFFFu;
  if (ship->scriptId != 0) {
    // The handler may free objects; they stay in place until the caller's walk is over.
    UniverseGuardScope guard;
    RaiseObjectEventForResult(ship, "GetTurretFiringMask", ship->id, 1, turret);
    mask = static_cast<uint32_t>(ship->scriptValue.i);
  }
  const int32_t first = ShipTurretFirstSlot(ship->subtype, turret);
  int32_t speed = 0;
  bool found = false;
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(ship)); c; c = ObjectListNext(c)) {
    if (!Armed(c) || !LaserIsInTurret(c, ship, turret)) continue;
    const int32_t bit = static_cast<const LaserExt*>(c->ext)->laserSlot - first;
    if (bit < 0 || bit >= 32 || !(mask & (1u << bit))) continue;
    const BulletType* bullet = BulletTypeOfLaser(c);
    if (!bullet || (bullet->flags & (kBulletFlagBeam | kBulletFlagArc))) continue;
    if (!found || bullet->speed < speed) speed = bullet->speed;
    found = true;
  }
  if (speed > 0) return ComputeInterceptPoint(ship, target, muzzle, speed, outDirection, outAimPoint, 1);
  const FixedVector at = PositionOf(target);
  if (outAimPoint) *outAimPoint = at;
  if (outDirection) *outDirection = Normalised(FixedVector{at.x - muzzle->x, at.y - muzzle->y, at.z - muzzle->z, 0});
  return 1;
}

int32_t ComputeInterceptPoint(SpaceObject* shooter, SpaceObject* target, const FixedVector* muzzle, int32_t bulletSpeed,
                              FixedVector* outDirection, FixedVector* outAimPoint, int32_t skipGuns) {
  if (!shooter || !target || !muzzle) return 0;
  FixedVector aim = PositionOf(target);
  if (outDirection && skipGuns == 0 && ShipIsLargeClass(target)) {
    const FixedVector from = PositionOf(shooter);
    int64_t best = -1;
    const int32_t count = TurretCountOf(target);
    for (int32_t t = 1; t < count; ++t) {
      for (int32_t g = 0; g < kTurretGunCapacity; ++g) {
        const InstanceRecord* node = FindShipGunNode(target, t, g);
        if (!node) continue;
        const double dx = static_cast<double>(node->world.x) - from.x, dy = static_cast<double>(node->world.y) - from.y,
                     dz = static_cast<double>(node->world.z) - from.z;
        const auto d = static_cast<int64_t>(dx * dx + dy * dy + dz * dz);
        if (best < 0 || d < best) {
          best = d;
          aim = node->world;
        }
      }
    }
  }
  const double p[3] = {static_cast<double>(aim.x) - muzzle->x, static_cast<double>(aim.y) - muzzle->y, static_cast<double>(aim.z) - muzzle->z};
  const FixedVector vt = VelocityOf(target), vs = VelocityOf(shooter);
  const double v[3] = {static_cast<double>(vt.x) - vs.x, static_cast<double>(vt.y) - vs.y, static_cast<double>(vt.z) - vs.z};
  const double s = bulletSpeed;
  const double a = s * s - (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const double b = v[0] * p[0] + v[1] * p[1] + v[2] * p[2];
  const double c = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
  double t = 0;
  if (std::fabs(a) >= kSmall) {
    const double d = a * c + b * b;
    if (d < 0) return 0;
    t = (std::sqrt(d) + b) / a;
    if (t < 0) t = (b - std::sqrt(d)) / a;
  } else if (std::fabs(b) >= kSmall) {
    t = -c / (2 * b);
  } else {
    return 0;
  }
  if (!(t > 0)) return 0;
  aim = FixedVector{TruncateToInt32(aim.x + v[0] * t), TruncateToInt32(aim.y + v[1] * t),
                    TruncateToInt32(aim.z + v[2] * t), 0};
  if (outAimPoint) *outAimPoint = aim;
  if (outDirection) *outDirection = Normalised(FixedVector{aim.x - muzzle->x, aim.y - muzzle->y, aim.z - muzzle->z, 0});
  return 1;
}

void TurretWorldDirection(const SpaceObject* ship, int32_t turret, FixedVector* out) {
  *out = FixedVector{0, 0, 65536, 0};
  if (!ship) return;
  FixedVector local = *out;
  const ShipExt* ext = ShipExtOf(const_cast<SpaceObject*>(ship));
  if (ext && turret > 0 && turret < TurretCountOf(ship)) {
    local = TurretDirection(ext->turrets[turret].vector.x, ext->turrets[turret].vector.y);
  }
  *out = local;
  if (const FixedMatrix* m = ShipMatrix(ship)) MatrixMulVector(out, m, &local);
}

int32_t IsTargetInFiringRangeOfTurret(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags,
                                      const FixedVector* direction) {
  ShipExt* ext = ShipExtOf(ship);
  if (!ext || !target || turret < 0 || turret >= TurretCountOf(ship)) return 0;
  if (!ship->parent || ship->parent != target->parent || ship->parent->objClass != kClassSector) return 0;
  const ObjectTypeRecord* type = TypeRow(kClassShip, ship->subtype);
  if (!type || type->ship.turrets[turret].slot == 0) return 0;
  const FixedVector from = PositionOf(ship), at = PositionOf(target);
  const double dx = static_cast<double>(at.x) - from.x, dy = static_cast<double>(at.y) - from.y, dz = static_cast<double>(at.z) - from.z;
  if (std::sqrt(dx * dx + dy * dy + dz * dz) > kFiringRangeLimit) return 0;
  bool pointing = false;
  if ((flags & kRangeCheckDirection) && direction) {
    const TurretControlRow& row = ext->turrets[turret];
    const FixedVector local = TurretDirection(row.vector.x, row.vector.y);
    FixedVector world = local;
    if (const FixedMatrix* m = ShipMatrix(ship)) MatrixMulVector(&world, m, &local);
    pointing = Dot16(world, *direction) >= kPointingDot;
  }
  const ShipTurretRow& turretRow = type->ship.turrets[turret];
  const double minimumCosine = turret == 0 ? kMainGroupCosine : 0.0;
  int32_t answer = 0;
  for (int32_t g = 0; g < std::min(turretRow.gunCount, kTurretGunCapacity); ++g) {
    const InstanceRecord* node = FindShipGunNode(ship, turret, g);
    if (!node) continue;
    const TurretGunRow& gun = turretRow.gun[g];
    const FixedVector muzzle = node->world;
    const FixedVector barrel = FixedVector{node->worldMatrix.m[2][0], node->worldMatrix.m[2][1], node->worldMatrix.m[2][2], 0};
    const double tx = static_cast<double>(at.x) - muzzle.x, ty = static_cast<double>(at.y) - muzzle.y, tz = static_cast<double>(at.z) - muzzle.z;
    const double distance = std::sqrt(tx * tx + ty * ty + tz * tz);
    for (int32_t k = 0; k < gun.slotCount; ++k) {
      const SpaceObject* laser = LaserInSlot(ship, gun.firstSlot + k);
      if (!laser) continue;
      const double reach = static_cast<double>(LaserGetBulletRange(laser)) * kRangeShare / 65536.0;
      if (distance - target->radius / 2.0 > reach) continue;
      const double cosine = distance > 0 ? (barrel.x * tx + barrel.y * ty + barrel.z * tz) / 65536.0 / distance : 1.0;
      if (cosine >= minimumCosine) return pointing ? 3 : 2;
      if (flags & kRangeReportOutsideAngle) answer = 1;
    }
  }
  return answer;
}
