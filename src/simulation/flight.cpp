// The flight pass over one sector: the sector's spin, then per object in list order the turning
// (rates, steering toward a remaining rotation with its motion profile, roll levelling, banking),
// the velocity with the sideways drift, the player's distance counter, the position, the shots'
// size and fade, turret aiming, the lights and thrusters; then the walk that carries ships out of
// a hangar and cameras along their axis. Called by the frame step through gSectorSteps. It holds
// the universe guard while it walks, since a woken turret task runs script code, and ends the
// walk for the frame when that code took the objects it holds out of the sector.
#include "simulation/flight.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "simulation/order_modes.h"
#include "simulation/turrets.h"
#include "simulation/universe_guard.h"
#include "simulation/universe_steps.h"
#include "simulation/weapons.h"
#include "universe/object_explosions.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kMaxStep = 1000;
constexpr int64_t kSpinPeriodScale = 65536000;
constexpr uint32_t kObjFlagPlayerShip = kObjFlagBit1;
constexpr uint32_t kObjFlagFrozen = 1u << 9;
constexpr uint32_t kObjFlagPlayerControl = 1u << 18;
constexpr uint32_t kObjFlagSteered = 1u << 19;  // the autopilot of a player's ship
constexpr uint32_t kObjFlagMoved = kObjFlagCarried;
constexpr uint32_t kModeLevelling = 0x2;
constexpr uint32_t kModeReferenceFollows = 0x4;
constexpr int32_t kLevelPitchLow = 8192, kLevelPitchHigh = 57344;
constexpr int64_t kMovedSpeedFactor = 10;

// Bullet type flags.
constexpr uint32_t kBulletBeam = 0x2;
constexpr uint32_t kBulletArc = 0x4;
constexpr uint32_t kBulletGrowing = 0x8;
constexpr uint32_t kBulletCarried = 0x2000;
constexpr int32_t kBeamMoveLimit = 537894;
constexpr int32_t kShotRadiusDivisor = 1700;
constexpr int32_t kShotGrowthDivisor = 2000;
constexpr int32_t kGrownSizeBase = 100;

// Instances and thrusters.
constexpr uint32_t kInstEngineFlame = 0x800;
constexpr uint32_t kInstHidden = kInstInvisible;
constexpr uint32_t kThrusterKind = 0x1;  // of InstanceRecord::word26
constexpr int32_t kThrusterGrowthPerMs = 262;
constexpr int32_t kThrusterHideSize = 656;
constexpr int32_t kThrusterMin = 0x4000, kThrusterMax = 0x20000;
constexpr int32_t kBrakeBoost = 4 * kFixedOne;
constexpr int32_t kTurnThreshold = 0xCCC;
constexpr uint32_t kMaskPlain = 0x1, kMaskBrake = 0x2, kMaskShown = 0x1000, kMaskViewpoint = 0x8000;
constexpr uint32_t kDockSlotCarriesShip = 1u << 21;
constexpr int32_t kSizeQuarter = 4, kSizeHalf = 2;

// Which words of the type rows hold the values the pass reads: the light values, a ship type's
// agility percentage, and a carried shot's attach time and growth.
int32_t BulletLight(const BulletType& t) { return t.value4; }
// The word the weapons charge a carried shot by (weapons.cpp).
int32_t BulletAttachTime(const BulletType& t) { return t.impactValue[0]; }
int32_t BulletGrowth(const BulletType& t) { return t.value8; }
int32_t StationLight(const StationType& t) { return t.value3; }
int32_t ShipLightStill(const ShipType& t) { return t.values2[0]; }
int32_t ShipLightFull(const ShipType& t) { return t.values2[1]; }
int32_t ShipAgility(const ShipType& t) { return t.value27; }
int32_t MissileLight(const MissileType& t) { return t.value4; }

int32_t Step(uint32_t now, uint32_t last) {
  const int32_t s = TimeSince(now, last);
  return s > kMaxStep || s < 0 ? kMaxStep : s;
}

int32_t PerStep(int64_t rate, int32_t step) { return SaturateToInt32(rate * step / 1000); }

ShipExt* ShipExtOf(SpaceObject* o) { return o->objClass == kClassShip ? static_cast<ShipExt*>(o->ext) : nullptr; }

const ObjectTypeRecord* RowOf(const SpaceObject* o) { return TypeRow(o->objClass, o->subtype); }

int32_t AgilityPercent(const SpaceObject* o) {
  const ObjectTypeRecord* row = RowOf(o);
  return row && o->objClass == kClassShip ? ShipAgility(row->ship) : 100;
}

int32_t AccelerationFactor(SpaceObject* o) {
  ShipExt* ext = ShipExtOf(o);
  if (!ext) return kFixedOne;
  return SaturateToInt32(int64_t{ext->tuning} * AgilityPercent(o) / 100);
}

// The motion profile of one axis: turns the remaining rotation `r` at rate `v`, with maximum `m`
// and acceleration `a`, for one step; answers the angle travelled (signed). An axis that would
// overshoot arrives exactly. A zero acceleration leaves the axis as it is.
int32_t Profile(int32_t* r, int32_t* v, int32_t m, int32_t a, int32_t step) {
  if (a == 0) return 0;
  if (*r == 0) {
    *v = 0;
    return 0;
  }
  const int64_t sign = *r > 0 ? 1 : -1;
  const int32_t distance = SaturateToInt32(sign * *r);
  int32_t rate = 0, travelled = 0;
  SolveAccelDistance(distance, SaturateToInt32(sign * *v), m, a, &rate, &travelled, step);
  if (int64_t{distance} - travelled < 1) {
    travelled = distance;
    rate = 0;
  }
  *r = SaturateToInt32(*r - sign * travelled);
  *v = SaturateToInt32(sign * rate);
  return SaturateToInt32(sign * travelled);
}

int32_t TunedRate(const SpaceObject* o, int axis) {
  return axis == 0 ? ObjGetTunedRotRate0(o) : axis == 1 ? ObjGetTunedRotRate1(o) : ObjGetTunedRotRate2(o);
}

bool PitchOutsideLevelBand(const SpaceObject* o) {
  const int32_t pitch = static_cast<int32_t>(static_cast<uint32_t>(o->angles[1]) & 0xFFFF);
  return pitch < kLevelPitchLow || pitch > kLevelPitchHigh;
}

// Whether the object turns toward its remaining rotation rather than at its rates. Missiles get
// the steered bit when launched and any object gets it from the autopilot command; ships and
// cameras are steered by their orders and their followed object through the remaining rotation
// the steering routines write, and no command ever gives them the bit, so they turn that way
// unless a player flies them by hand: the player's ship, or a ship under player control, without
// the autopilot.
bool Steered(const SpaceObject* o) {
  if (o->flags & kObjFlagSteered) return true;
  if (o->objClass == kClassCamera) return true;
  return o->objClass == kClassShip && !(o->flags & (kObjFlagPlayerShip | kObjFlagPlayerControl));
}

// Step 4: the three rotation increments of this frame.
void RotationIncrements(SpaceObject* o, int32_t step, int32_t inc[3]) {
  const bool plain = (o->flags & kObjFlagFrozen) || o->tractorTarget;
  if (plain || !Steered(o)) {
    for (int i = 0; i < 3; ++i) inc[i] = PerStep(o->turnRates[i], step);
    const bool levels = !plain && o->objClass == kClassShip && (o->flags & kObjFlagPlayerShip) && gUniverse &&
                        (gUniverse->modeFlags & (kModeLevelling | kModeReferenceFollows)) == kModeLevelling &&
                        PitchOutsideLevelBand(o);
    if (!levels) return;
    int32_t remaining = static_cast<int16_t>(static_cast<uint32_t>(gUniverse->referenceRoll - o->angles[2]));
    const int32_t m = ObjGetTunedRotRate2(o);
    const int32_t a = FixedMul(m, SaturateToInt32(int64_t{AgilityPercent(o)} * kFixedOne / 100));
    if (a != 0) inc[2] = Profile(&remaining, &o->turnRates[2], m, a, step);
    return;
  }
  const int32_t factor = AccelerationFactor(o);
  for (int i = 2; i >= 0; --i) {
    const int32_t m = TunedRate(o, i);
    inc[i] = Profile(&o->refAngles[i], &o->turnRates[i], m, FixedMul(m, factor), step);
  }
}

bool AnyNonZero(const int32_t v[3]) { return v[0] != 0 || v[1] != 0 || v[2] != 0; }

FixedMatrix AnglesMatrix(const int32_t a[3]) {
  FixedMatrix m;
  MatrixFromAngles(&m, static_cast<uint32_t>(a[0]), static_cast<uint32_t>(a[1]), static_cast<uint32_t>(a[2]));
  return m;
}

FixedMatrix Transposed(const FixedMatrix& m) {
  FixedMatrix t = m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) t.m[i][j] = m.m[j][i];
  }
  return t;
}

// Steps 5 to 7: banking, turning the instance, and the ship's flight matrix.
void Turn(SpaceObject* o, InstanceRecord* inst, int32_t step) {
  int32_t inc[3] = {0, 0, 0};
  RotationIncrements(o, step, inc);
  ShipExt* ship = ShipExtOf(o);
  int32_t bankInc[3] = {0, 0, 0};
  if (ship) {
    const int32_t factor = AccelerationFactor(o);
    for (int i = 0; i < 3; ++i) {
      if (ship->viewAnglesB[i] == ship->viewAngles[i]) continue;
      int32_t remaining = SaturateToInt32(int64_t{ship->viewAngles[i]} - ship->viewAnglesB[i]);
      const int32_t m = TunedRate(o, i);
      bankInc[i] = Profile(&remaining, &ship->viewAnglesC[i], m, FixedMul(m, factor), step);
      ship->viewAnglesB[i] = SaturateToInt32(int64_t{ship->viewAngles[i]} - remaining);
    }
  }
  const bool banked = ship && AnyNonZero(ship->viewAnglesB);
  if (AnyNonZero(inc) || AnyNonZero(bankInc)) {
    const FixedMatrix r = AnglesMatrix(inc);
    FixedMatrix turned;
    if (banked) {
      // The flight frame turns by this frame's own increments; the instance shows it turned by
      // the (already advanced) bank offsets.
      MatrixMultiply(&turned, &r, &ship->rotation);
      MatrixOrthonormalizeRow2(&turned);
      const FixedMatrix offsets = Transposed(AnglesMatrix(ship->viewAnglesB));
      MatrixMultiply(&inst->matrix, &offsets, &turned);
    } else {
      MatrixMultiply(&turned, &r, &inst->matrix);
      inst->matrix = turned;
    }
    MatrixOrthonormalizeRow2(&inst->matrix);
    MatrixToAngles(&inst->matrix, &o->angles[0], &o->angles[1], &o->angles[2]);
    if ((o->flags & kObjFlagPlayerShip) && o->objClass == kClassShip && gUniverse &&
        (gUniverse->modeFlags & (kModeLevelling | kModeReferenceFollows)) == (kModeLevelling | kModeReferenceFollows)) {
      gUniverse->referenceRoll = o->angles[2];
    }
  }
  if (!ship) return;
  if (!banked) {
    ship->rotation = inst->matrix;
  } else {
    const FixedMatrix offsets = AnglesMatrix(ship->viewAnglesB);
    MatrixMultiply(&ship->rotation, &offsets, &inst->matrix);
    MatrixOrthonormalizeRow2(&ship->rotation);
  }
}

// Step 8: the velocity along the flight direction, and the sideways part of last frame's velocity
// into the drift.
void Velocity(SpaceObject* o, InstanceRecord* inst) {
  ShipExt* ship = ShipExtOf(o);
  const FixedMatrix& m = ship ? ship->rotation : inst->matrix;
  if (ship && ship->commandState != OM_FLY_INTO_CONTAINER && o->speed != 0) {
    FixedVector local;
    MatrixTransposeMulVector(&local, &m, &inst->velocity);
    local.z = 0;
    FixedVector side;
    MatrixMulVector(&side, &m, &local);
    o->baseVelocity.x = SaturateToInt32(int64_t{o->baseVelocity.x} + side.x);
    o->baseVelocity.y = SaturateToInt32(int64_t{o->baseVelocity.y} + side.y);
    o->baseVelocity.z = SaturateToInt32(int64_t{o->baseVelocity.z} + side.z);
  }
  inst->velocity.x = FixedMul(m.m[2][0], o->speed);
  inst->velocity.y = FixedMul(m.m[2][1], o->speed);
  inst->velocity.z = FixedMul(m.m[2][2], o->speed);
}

// Step 9.
void CountDistance(const SpaceObject* o, int32_t step) {
  if (!gUniverse || !(o->flags & kObjFlagPlayerShip) || o->objClass != kClassShip) return;
  uint32_t* w = gUniverse->statWords;
  const int64_t total = int64_t{w[kFlownRemainderWord]} + std::llabs(int64_t{o->speed}) * step / 1000;
  w[kFlownUnitsWord] += static_cast<uint32_t>(total / kFlownUnit);
  w[kFlownRemainderWord] = static_cast<uint32_t>(total % kFlownUnit);
}

// Step 10: the position, then the drift decays.
void Move(SpaceObject* o, InstanceRecord* inst, int32_t step) {
  int32_t* p[3] = {&inst->position.x, &inst->position.y, &inst->position.z};
  int32_t* d[3] = {&o->baseVelocity.x, &o->baseVelocity.y, &o->baseVelocity.z};
  const int32_t v[3] = {inst->velocity.x, inst->velocity.y, inst->velocity.z};
  for (int i = 0; i < 3; ++i) *p[i] = SaturateToInt32(*p[i] + (int64_t{*d[i]} + v[i]) * step / 1000);
  for (int i = 0; i < 3; ++i) {
    if (*d[i] != 0) *d[i] = static_cast<int32_t>(int64_t{*d[i]} * (2000 - step) / 2000);
  }
}

int32_t TimeLeft(const SpaceObject* o, uint32_t now) {
  const auto* ext = static_cast<const BulletExt*>(o->ext);
  return ext ? TimeSince(ext->expiresAt, now) : 0;
}

// The alpha of a shot fading out over the last `span` ms of its life.
void FadeOver(InstanceRecord* inst, int32_t span, int32_t left) {
  if (left < span) inst->alphaOverride = InterpolateClamped(span, 0, left, 1, 255);
}

void ShotRadius(SpaceObject* o, const InstanceRecord* inst, int32_t step) {
  o->radius = std::max(PerStep(o->speed, step) * 1000 / kShotRadiusDivisor, inst->size);
}

// Step 12: a shot's visual by the flags of its type.
void UpdateShot(SpaceObject* o, InstanceRecord* inst, int32_t step, uint32_t now) {
  const ObjectTypeRecord* row = RowOf(o);
  auto* ext = static_cast<BulletExt*>(o->ext);
  if (!row || !ext) return;
  const BulletType& type = row->bullet;
  const int32_t lifetime = type.lifetime;
  const int32_t left = TimeLeft(o, now);
  if (type.flags & kBulletBeam) {
    BulletUpdateBeamVisual(o);
    uint32_t* last = &ext->tailWords[kBeamLastPositionWord];
    const int32_t at[3] = {inst->position.x, inst->position.y, inst->position.z};
    int32_t* velocity[3] = {&inst->velocity.x, &inst->velocity.y, &inst->velocity.z};
    if (step > 0) {
      for (int i = 0; i < 3; ++i) {
        const int64_t move = int64_t{at[i]} - static_cast<int32_t>(last[i]);
        *velocity[i] = std::llabs(move) < kBeamMoveLimit ? SaturateToInt32(move * 1000 / step * 4) : 0;
        last[i] = static_cast<uint32_t>(at[i]);
      }
    }
  } else if ((type.flags & kBulletCarried) && (ext->hitFlags & kBulletAttached) &&
             TimeSince(now, ext->attachUntil) < 0) {
    ObjFollowCarrierNode(o);
    ext->hitFlags &= ~kBulletAttached;
    const int32_t attach = BulletAttachTime(type);
    const int64_t fired = int64_t{TimeSince(now, ext->attachUntil)} + attach;
    const int32_t g = attach != 0 ? SaturateToInt32((int64_t{BulletGrowth(type)} << 16) * fired / attach) : 0;
    const int32_t body = static_cast<int32_t>(o->radiusCopy);
    B3D_InstSetSize(inst, SaturateToInt32(int64_t{body} + FixedMul(body, g)));
  } else if (type.flags & kBulletCarried) {
    ext->hitFlags |= kBulletReleased;
    FadeOver(inst, lifetime / 3, left);
    ShotRadius(o, inst, step);
  } else if (type.flags & kBulletArc) {
    UpdateArcBulletChain(o);
  } else if (type.flags & kBulletGrowing) {
    const int32_t f = lifetime != 0 ? SaturateToInt32((int64_t{lifetime} - left) * kFixedOne / lifetime) : 0;
    const int32_t size = SaturateToInt32(int64_t{FixedMul(f, FixedMul(f, BulletGetRange(o)))} + kGrownSizeBase);
    B3D_InstSetSize(inst, size);
    FadeOver(inst, lifetime, left);
    o->radius = FixedMul(size, ext->collisionSize);
  } else {
    const int32_t grown = SaturateToInt32(int64_t{inst->size} + int64_t{o->speed} * step / kShotGrowthDivisor);
    B3D_InstSetSize(inst, std::min(grown, static_cast<int32_t>(o->radiusCopy)));
    FadeOver(inst, lifetime / 3, left);
    ShotRadius(o, inst, step);
  }
}

// This frame's rotation accelerations (each below 0.05 counts as 0) and linear acceleration;
// all 0 for a zero step.
struct Accelerations {
  int32_t turn[3];
  int32_t linear;
};

Accelerations Measure(const SpaceObject* o, int32_t step) {
  Accelerations a{};
  if (step <= 0) return a;
  for (int i = 0; i < 3; ++i) {
    const int64_t prev = static_cast<int32_t>(o->dynamicWords[kPrevRateWord + i]);
    const int32_t v = SaturateToInt32((int64_t{o->turnRates[i]} - prev) * 1000 / step);
    a.turn[i] = std::llabs(int64_t{v}) < kTurnThreshold ? 0 : v;
  }
  const int64_t prevSpeed = static_cast<int32_t>(o->dynamicWords[kPrevSpeedWord]);
  a.linear = SaturateToInt32((int64_t{o->speed} - prevSpeed) * 1000 / step);
  return a;
}

void SetHidden(InstanceRecord* inst, bool hidden) {
  if (hidden) inst->flags |= kInstHidden;
  else inst->flags &= ~kInstHidden;
}

// The heading of a plain thruster: from the object's reference position toward its position, in
// the flight frame.
void ThrusterHeading(const SpaceObject* o, const InstanceRecord* inst, const FixedMatrix& frame, InstanceRecord* child) {
  const FixedVector d = {inst->position.x - o->savedPosition.x, inst->position.y - o->savedPosition.y,
                         inst->position.z - o->savedPosition.z, 0};
  if (d.x == 0 && d.y == 0 && d.z == 0) {
    B3D_InstSetRot(child, 0, 16384, 0);
    return;
  }
  FixedVector local;
  MatrixTransposeMulVector(&local, &frame, &d);
  const double x = local.x, y = local.y, z = local.z;
  const double length = std::sqrt(x * x + y * y + z * z);
  const double turn = 65536.0 / (2 * M_PI);
  const auto yaw = static_cast<int32_t>(std::atan2(-x, z) * turn);
  const double up = length > 0 ? std::clamp(y / length, -1.0, 1.0) : 0.0;
  const auto pitch = static_cast<int32_t>(16384 - std::asin(up) * turn);
  B3D_InstSetRot(child, yaw, pitch, 0);
}

void UpdateThruster(SpaceObject* o, InstanceRecord* inst, InstanceRecord* child, const Accelerations& acc,
                    int32_t tunedMax, int32_t step, const FixedMatrix& frame) {
  const uint32_t mask = child->collisionMask;
  int64_t target = InterpolateClamped(tunedMax, 0, o->speed, kThrusterMin, kThrusterMax);
  if ((mask & kMaskBrake) && acc.linear < 0) target += kBrakeBoost;
  for (int i = 0; i < 3; ++i) {
    const uint32_t positive = 0x4u << (2 * i), negative = 0x8u << (2 * i);
    if ((mask & positive) && acc.turn[i] > 0) target += kFixedOne;
    if ((mask & negative) && acc.turn[i] < 0) target += kFixedOne;
  }
  const bool plain = (mask & kMaskPlain) || mask == 0;
  const bool viewpoint = (mask & kMaskViewpoint) != 0;
  if (plain || viewpoint) {
    const bool sideB = (o->flags2 & kObjFlag2Viewpoint) != 0;
    const bool shown = (mask & kMaskShown) && ((plain && !sideB) || (viewpoint && sideB));
    SetHidden(child, !shown);
  }
  const int32_t size = child->scale.z;
  const int64_t limit = int64_t{kThrusterGrowthPerMs} * step;
  const int32_t next = SaturateToInt32(size + std::clamp(target - size, -limit, limit));
  if (target != size && !plain && !viewpoint) B3D_InstSetInvis(child, next < kThrusterHideSize ? 1 : 0);
  B3D_InstSetScale(child, kFixedOne, kFixedOne, next);
  if (plain || viewpoint) ThrusterHeading(o, inst, frame, child);
}

// Step 14 for a ship: engine flames and thrusters, then the light by speed.
int32_t ShipLights(SpaceObject* o, InstanceRecord* inst, int32_t step) {
  const int32_t tunedMax = ObjGetTunedSpeed(o);
  const Accelerations acc = Measure(o, step);
  ShipExt* ship = ShipExtOf(o);
  const FixedMatrix& frame = ship ? ship->rotation : inst->matrix;
  for (InstanceRecord* child = InstFirstChild(inst); child; child = InstNextSibling(child)) {
    if (child->flags & kInstEngineFlame) {
      B3D_InstSetSize(child, InterpolateClamped(tunedMax, 0, o->speed, inst->size / kSizeQuarter, inst->size / kSizeHalf));
    } else if (child->word26 & kThrusterKind) {
      UpdateThruster(o, inst, child, acc, tunedMax, step, frame);
    }
  }
  const ObjectTypeRecord* row = RowOf(o);
  if (!row) return 0;
  const int32_t fastest = std::max({std::abs(inst->velocity.x), std::abs(inst->velocity.y), std::abs(inst->velocity.z)});
  return InterpolateClamped(tunedMax, 0, fastest, ShipLightStill(row->ship), ShipLightFull(row->ship));
}

void Lights(SpaceObject* o, InstanceRecord* inst, int32_t step) {
  UpdateEngineTrailEffects(o);
  const ObjectTypeRecord* row = RowOf(o);
  int32_t light = 0;
  switch (o->objClass) {
    case kClassBullet:
      if (row) {
        light = BulletLight(row->bullet);
        if ((row->bullet.flags & kBulletBeam) && inst->alphaOverride < 255) light = light * inst->alphaOverride / 255;
      }
      break;
    case kClassDock:
    case kClassFactory: light = row ? StationLight(row->station) : 0; break;
    case kClassShip: light = ShipLights(o, inst, step); break;
    case kClassMissile: light = row && (o->flags & kObjFlagArmed) ? MissileLight(row->missile) : 0; break;
    default: break;
  }
  inst->lightValue = light;
}

// Step 13: a ship leaving a hangar whose target slot carries ships along marks the sector.
bool LeavesHangar(SpaceObject* o) {
  ShipExt* ext = ShipExtOf(o);
  return ext && ext->commandState == OM_CLEAR_FROM_HANGAR && ext->commandObject &&
         ext->commandObject->objClass == kClassShip && ext->dockSlot >= 0;
}

bool CameraFollowsAxis(const SpaceObject* o) {
  if (o->objClass != kClassCamera || !o->ext) return false;
  const auto* cam = static_cast<const CameraExt*>(o->ext);
  return cam->followedObject && cam->words[kCameraFollowAxisWord] != 0;
}

// Step 16: ships move with the carrier they leave; cameras follow their object along an axis.
void CarryAndFollow(SpaceObject* sector, int32_t step) {
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector)); o; o = ObjectListNext(o)) {
    if (LeavesHangar(o) && o->instance) {
      SpaceObject* target = ShipExtOf(o)->commandObject;
      const int32_t slot = ShipExtOf(o)->dockSlot;
      if (!target->instance || slot >= TypeGetDockSlotCount(target->subtype, target->objClass)) continue;
      if (!(TypeGetDockSlotValue(target->subtype, slot, target->objClass) & kDockSlotCarriesShip)) continue;
      FixedVector& at = o->instance->position;
      at.x = SaturateToInt32(int64_t{at.x} + PerStep(target->instance->velocity.x, step));
      at.y = SaturateToInt32(int64_t{at.y} + PerStep(target->instance->velocity.y, step));
      at.z = SaturateToInt32(int64_t{at.z} + PerStep(target->instance->velocity.z, step));
    } else if (CameraFollowsAxis(o)) {
      auto* cam = static_cast<CameraExt*>(o->ext);
      if (!cam->followedObject->instance) continue;
      FixedVector at = cam->followedObject->instance->position;
      // The offset is any word a save or a script gave: near the edge of space the camera
      // stops at the edge, as every other position of this pass does.
      const int64_t offset = static_cast<int32_t>(cam->words[kCameraFollowOffsetWord]);
      switch (cam->words[kCameraFollowAxisWord]) {
        case 1: at.x = SaturateToInt32(at.x + offset); break;
        case 2: at.y = SaturateToInt32(at.y + offset); break;
        case 3: at.z = SaturateToInt32(at.z + offset); break;
        default: break;
      }
      if (o->instance) o->instance->position = at;
      if (cam->sceneInstance) cam->sceneInstance->position = at;
    }
  }
}

void Spin(SectorObject* sector, int32_t step) {
  const auto rate = static_cast<int32_t>(sector->sectorWords[kSpinRateWord]);
  if (rate == 0) return;
  // A rate beyond 65536000 units per second turns more than once a millisecond: the period is 0
  // and the clock stays at 0.
  const int64_t period = kSpinPeriodScale / rate;
  int64_t clock = int64_t{static_cast<int32_t>(sector->sectorWords[kSpinClockWord])} + step;
  clock = period != 0 ? clock % period : 0;
  sector->sectorWords[kSpinClockWord] = static_cast<uint32_t>(clock);
  sector->sectorWords[kSpinAngleWord] = static_cast<uint32_t>(int64_t{rate} * clock / 1000);
}

bool InSector(const SpaceObject* o, const SpaceObject* sector) {
  return !o || (o->parent == sector && !(o->flags & kObjFlagRemoving));
}

// One object; false when the walk must end (a woken task took it or the next one away).
bool Fly(SectorObject* sector, SpaceObject* o, SpaceObject* next, uint32_t now, bool* marked) {
  const int32_t step = Step(now, o->createdAt);
  InstanceRecord* inst = o->instance;
  if (o->flags & kObjFlagMoved) {
    if (inst) {
      const double x = inst->velocity.x, y = inst->velocity.y, z = inst->velocity.z;
      const auto length = static_cast<int64_t>(std::sqrt(x * x + y * y + z * z));
      o->speed = SaturateToInt32(std::min(length, kMovedSpeedFactor * ObjGetTunedSpeed(o)));
    }
  } else {
    if (o->flags2 & kObjFlag2Attached) return true;
    if (inst) {
      Turn(o, inst, step);
      if (o->objClass != kClassBullet) Velocity(o, inst);
      CountDistance(o, step);
      Move(o, inst, step);
    }
    if (SpaceObject* holder = o->tractorAux; holder && holder->tractorTarget) ObjAlignEffectNode(holder);
  }
  if (inst && o->objClass == kClassBullet) UpdateShot(o, inst, step, now);
  if (o->objClass == kClassShip) {
    AimShipTurrets(o);
    if (!InSector(o, sector) || !InSector(next, sector)) return false;
    if (LeavesHangar(o)) *marked = true;
  }
  if (inst && gUniverse && gUniverse->runState[0] != 0) Lights(o, inst, step);
  for (int i = 0; i < 3; ++i) o->dynamicWords[kPrevRateWord + i] = static_cast<uint32_t>(o->turnRates[i]);
  o->dynamicWords[kPrevSpeedWord] = static_cast<uint32_t>(o->speed);
  o->createdAt = now;
  return true;
}

}  // namespace

void UpdateSectorFlight(SectorObject* sector) {
  ListHead* children = sector ? ObjectChildren(sector) : nullptr;
  if (!children) return;
  const uint32_t now = SimulationNow();
  const int32_t step = Step(now, sector->createdAt);
  Spin(sector, step);
  UniverseGuardScope guard;
  bool marked = false, cameras = false;
  for (SpaceObject* o = ObjectListFirst(children); o;) {
    SpaceObject* next = ObjectListNext(o);
    if (!(o->flags & kObjFlagRemoving)) {
      if (!Fly(sector, o, next, now, &marked)) return;
      cameras = cameras || CameraFollowsAxis(o);
    }
    o = ObjectListNext(o);
  }
  sector->createdAt = now;
  if (marked || cameras) CarryAndFollow(sector, step);
}
