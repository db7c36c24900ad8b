// Missile launch: a missile is made at a gun of one of the shooter's turrets or below its hull,
// aimed, given speed and a collision shape, put into the shooter's container, and the scripts and
// the player's cockpit are told. The object commands and the ships' weapons call it. A launch
// that fails leaves no missile behind.
#include "universe/missile_launch.h"

#include <algorithm>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_records.h"
#include "universe/carried_objects.h"
#include "universe/missile_services.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/object_models.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kMissileFlagSeeks = 1u << 0;     // may fly without a target; retargets
constexpr uint32_t kMissileFlagAimed = 1u << 1;     // keeps its target; a hull launch aims at it
constexpr uint32_t kMissileFlagGunByShot = 1u << 2;  // the shot number picks the gun
constexpr uint32_t kLaunchFlagCounted = 1u << 1;
constexpr uint32_t kLaunchedMissileFlags = 0x1080000;
constexpr int32_t kRangeTimeDivisor = 1250;
constexpr int32_t kLaunchSpeedDivisor = 20;
constexpr int32_t kLaunchSpeedBoost = 5000;
constexpr int32_t kRadiusFactor = 20;
constexpr int32_t kShapeLength = 0x140000;  // 20.0
constexpr int32_t kShapeWidth = 0xA0000;    // 10.0
constexpr uint16_t kWareNeverRetargeted = 12;
constexpr uint32_t kHalfTurn = 0x8000;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

int32_t PositiveModulo(int32_t value, int32_t n) {
  const int32_t r = value % n;
  return r < 0 ? r + n : r;
}

// A seeking missile fired at a friend flies at the nearest hostile within its range instead,
// which the shooter's scanner may shorten.
bool Retarget(SpaceObject* shooter, SpaceObject** target, const MissileType& t) {
  if (!*target || (t.missileFlags & kMissileFlagAimed) || !(t.missileFlags & kMissileFlagSeeks)) return true;
  if (ObjIsHostile(*target, shooter)) return true;
  if ((*target)->objClass == kWareNeverRetargeted && (*target)->subtype == 0) return true;
  int64_t range = int64_t{t.speed} * t.rangeTime / kRangeTimeDivisor;
  if (ObjectScriptHasFunction(shooter, "GetScannerRange")) {
    RaiseObjectEventForResult(shooter, "GetScannerRange", shooter->id, 0);
    if (shooter->scriptValue.type == kValueInt) range = std::min<int64_t>(range, shooter->scriptValue.i);
  }
  range = std::clamp<int64_t>(range, 0, INT32_MAX);
  *target = FindNearestHostile(shooter, static_cast<int32_t>(range));
  return *target != nullptr;
}

// Local to world through the instance and its parents up to `top`.
void CarryUp(FixedVector* p, const InstanceRecord* from, const InstanceRecord* top) {
  for (const InstanceRecord* inst = from; inst; inst = inst->parent) {
    FixedVector turned;
    MatrixMulVector(&turned, &inst->matrix, p);
    *p = {SaturateToInt32(int64_t{turned.x} + inst->position.x), SaturateToInt32(int64_t{turned.y} + inst->position.y),
          SaturateToInt32(int64_t{turned.z} + inst->position.z), 0};
    if (inst == top) return;
  }
}

struct Launch {
  FixedVector position{};
  uint32_t angles[3]{};
  int32_t speed = 0;
};

bool PlaceAtTurret(SpaceObject* shooter, SpaceObject* missile, int32_t turret, uint32_t tf, int32_t shotNo,
                   int32_t maxSpeed, Launch* out) {
  const ObjectTypeRecord* shipRow = TypeRow(kClassShip, shooter->subtype);
  auto* ship = static_cast<ShipExt*>(shooter->ext);
  if (!shipRow || !ship || !shooter->instance || turret >= kShipTurretCapacity) return false;
  const ShipTurretRow& row = shipRow->ship.turrets[turret];
  const int32_t guns = std::min(row.gunCount, kTurretGunCapacity);
  if (guns <= 0) return false;
  const int32_t gun = (tf & kMissileFlagGunByShot) ? PositiveModulo(shotNo, guns) : RandomBelow(guns);
  const TurretGunRow& gunRow = row.gun[gun];
  InstanceRecord* node = FindShipGunNode(shooter, turret, gun);
  if (gunRow.slotCount <= 0 || !node) return false;
  const int32_t body = gunRow.gunBody2 > 0 ? gunRow.gunBody2 : gunRow.gunBody;
  const ComponentEntry* entry = LoadBody(body) ? FindEntry12ById(kComponentKindLaser, body) : nullptr;
  if (!entry || entry->pointCount <= 0 || !entry->points) return false;
  const ComponentPoint& point = entry->points[0];
  out->position = {point.position[0], point.position[1], point.position[2], 0};
  CarryUp(&out->position, node, shooter->instance);
  const FixedMatrix* rotation = GetObjectRotationMatrix(shooter);
  FixedVector aim{ship->turrets[turret].nodeMatrix.m[2][0], ship->turrets[turret].nodeMatrix.m[2][1],
                  ship->turrets[turret].nodeMatrix.m[2][2], 0};
  if (rotation) {
    FixedVector turned;
    MatrixMulVector(&turned, rotation, &aim);
    aim = turned;
  }
  AnglesFromVector(&aim, &out->angles[0], &out->angles[1]);
  out->angles[2] = 0;
  out->speed = maxSpeed / kLaunchSpeedDivisor + kLaunchSpeedBoost;
  missile->baseVelocity = shooter->baseVelocity;
  return true;
}

void PlaceAtHull(SpaceObject* shooter, SpaceObject* missile, const SpaceObject* target, int32_t maxSpeed, Launch* out) {
  const FixedMatrix* rotation = GetObjectRotationMatrix(shooter);
  FixedMatrix identity;
  MatrixSetIdentity(&identity);
  const FixedMatrix& m = rotation ? *rotation : identity;
  const FixedVector from = shooter->instance ? shooter->instance->position : FixedVector{};
  const int32_t quarter = shooter->radius / 4;
  out->position = {SaturateToInt32(int64_t{from.x} - FixedMul(m.m[1][0], quarter)),
                   SaturateToInt32(int64_t{from.y} - FixedMul(m.m[1][1], quarter)),
                   SaturateToInt32(int64_t{from.z} - FixedMul(m.m[1][2], quarter)), 0};
  bool behind = false;
  if ((shooter->flags & kObjFlagMissileTurnsAround) && target && target->instance) {
    const FixedVector& to = target->instance->position;
    const int64_t dot = int64_t{m.m[2][0] / 4} * ((int64_t{to.x} - from.x) / 2) +
                        int64_t{m.m[2][1] / 4} * ((int64_t{to.y} - from.y) / 2) +
                        int64_t{m.m[2][2] / 4} * ((int64_t{to.z} - from.z) / 2);
    behind = dot < 0;
  }
  const auto a = static_cast<uint32_t>(shooter->angles[0]), b = static_cast<uint32_t>(shooter->angles[1]);
  if (behind) {
    out->angles[0] = (a - kHalfTurn) & 0xFFFF;
    out->angles[1] = (0u - b) & 0xFFFF;
    out->speed = maxSpeed / kLaunchSpeedDivisor + kLaunchSpeedBoost;
  } else {
    out->angles[0] = a;
    out->angles[1] = b;
    out->speed = SaturateToInt32(int64_t{maxSpeed / kLaunchSpeedDivisor} + shooter->speed);
  }
  out->angles[2] = static_cast<uint32_t>(shooter->angles[2]);
  missile->baseVelocity = shooter->baseVelocity;
}

// Model, sound, size and collision shape of the launched missile.
void ShapeMissile(SpaceObject* missile, const ObjectTypeRecord* row, const Launch& launch) {
  for (int k = 0; k < 3; ++k) {
    missile->angles[k] = static_cast<int32_t>(launch.angles[k]);
    missile->turnRates[k] = 0;
  }
  missile->flags |= kLaunchedMissileFlags;
  missile->hull = (missile->flags & kObjFlagNoHull) ? 0 : GetTypeMaxHull(missile->subtype, missile->objClass);
  InstanceRecord* inst = missile->instance;
  if (!inst) return;
  inst->position = launch.position;
  inst->world = launch.position;
  MatrixFromAngles(&inst->matrix, launch.angles[0], launch.angles[1], launch.angles[2]);
  inst->worldMatrix = inst->matrix;
  B3D_InstSetBody(inst, row->bodyId);
  if (row->missile.cut != 0) {
    missile->componentCut = static_cast<uint32_t>(row->missile.cut);
    RebuildObjectModelInstances(missile);
  }
  InstSetSound(inst, row->missile.sound);
  missile->radius = SaturateToInt32(int64_t{kRadiusFactor} * B3D_InstGetTotalSize(inst));
  InstMakeOctahedronCollision(inst, kShapeLength, kShapeWidth, kShapeWidth);
}

// A hull launch of a missile that keeps its target flies straight at the target's nearest gun.
void AimAtTarget(SpaceObject* missile, SpaceObject* target, int32_t maxSpeed) {
  if (!missile->instance) return;
  FixedVector gun;
  if (!FindNearestGunPosition(target, &missile->instance->position, &gun)) return;
  FixedVector direction;
  SubVector(&direction, &missile->instance->position, &gun);
  uint32_t a = 0, b = 0;
  AnglesFromVector(&direction, &a, &b);
  missile->angles[0] = static_cast<int32_t>(a);
  missile->angles[1] = static_cast<int32_t>(b);
  missile->angles[2] = 0;
  B3D_InstSetRot(missile->instance, static_cast<int32_t>(a), static_cast<int32_t>(b), 0);
  missile->speed = missile->speedLimit = std::max(maxSpeed, kLaunchSpeedBoost);
}

void PlayLaunchSound(const SpaceObject* shooter, SpaceObject* missile, const MissileType& t) {
  if (!shooter->instance || !shooter->instance->scene) return;
  if (!missile->parent || missile->parent->objClass != kClassSector) return;
  const auto* sector = static_cast<const SectorObject*>(missile->parent);
  const SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
  if ((sector->sectorFlags & kSectorFlagActiveWithPlayer) && player && player->parent != sector) return;
  ObjPlaySound3D(missile, t.launchSound);
}

}  // namespace

SpaceObject* ObjLaunchMissile(SpaceObject* shooter, SpaceObject* target, int32_t turret, int32_t subtype,
                              uint32_t launchFlags, int32_t shotNo) {
  // The subtype comes from a script: its row is read only once the table is known to have it.
  const ObjectTypeRecord* row = TypeRow(kClassMissile, subtype);
  if (!shooter || !row) return nullptr;
  const MissileType& t = row->missile;
  if ((!(t.missileFlags & kMissileFlagSeeks) && !target) || turret < 0) return nullptr;
  if (turret >= (shooter->objClass == kClassShip ? GetShipTurretCount(shooter) : 0)) return nullptr;
  if (!Retarget(shooter, &target, t)) return nullptr;

  SpaceObject* missile = NewObject(kClassMissile, subtype);
  auto* ext = missile ? static_cast<MissileExt*>(missile->ext) : nullptr;
  if (!ext) {
    DeleteObject(missile);
    return nullptr;
  }
  ext->launched = 1;
  missile->flags2 = (missile->flags2 & ~kObjFlag2FromShooter) | (shooter->flags2 & kObjFlag2FromShooter);
  ext->launcher = shooter;
  ext->target = target;
  ext->launchedAt = Now();
  missile->owner = shooter->owner;

  const int32_t maxSpeed = GetObjectMaxSpeed(missile);
  Launch launch;
  if (turret > 0) {
    if (!PlaceAtTurret(shooter, missile, turret, t.missileFlags, shotNo, maxSpeed, &launch)) {
      DeleteObject(missile);
      return nullptr;
    }
  } else {
    PlaceAtHull(shooter, missile, target, maxSpeed, &launch);
  }
  missile->speed = launch.speed;
  ShapeMissile(missile, row, launch);
  missile->speedLimit = std::max(missile->speed, maxSpeed);
  if (turret == 0 && target && (t.missileFlags & kMissileFlagAimed) &&
      !(shooter->flags & (kObjFlagBit1 | kObjFlagMissileNotAimed))) {
    AimAtTarget(missile, target, maxSpeed);
  }

  ext->phase = static_cast<uint16_t>(shotNo);
  ObjAttachInstance(missile, shooter->parent);
  PlayLaunchSound(shooter, missile, t);
  if (launchFlags & kLaunchFlagCounted) {
    if (gUniverse) ++gUniverse->missileCount;
    missile->flags2 |= kObjFlag2LaunchFlag1;
  }
  RaiseObjectEvent(shooter, "MissileLaunched", 1, subtype);
  RaiseObjectEvent(target, "MissileAlert", 2, static_cast<int32_t>(missile->id), static_cast<int32_t>(shooter->id));
  RaiseMissileAlert(missile);
  return missile;
}
