// The per-object update of a simulated sector, by class, with the tractor beam's pull, the speed
// settling and the incoming-missile alarm. Called by the frame step through its step table (and
// its two frame calls). Script events raised here run handlers that may free objects: the walk
// holds the universe guard (frees are deferred), and after every event it ends for the frame
// when the object it holds, or the one it visits next, has left the sector.
#include "simulation/object_update.h"

#include <algorithm>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "simulation/damage.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "simulation/tractor_beams.h"
#include "simulation/universe_guard.h"
#include "simulation/universe_steps.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kGlobalScriptId = 150;
constexpr uint32_t kObjFlagPlayerShip = kObjFlagBit1;
constexpr uint32_t kObjFlagFrozen = 1u << 9;
constexpr int32_t kMaxStep = 1000;

// Tractor beam.
constexpr int32_t kTractorReleaseError = 666000;
constexpr int32_t kTractorErrorClamp = 388500;
constexpr int32_t kTractorPullFactor = 4369;  // about 1/15 in 16.16; halved after

// Missiles.
constexpr int32_t kMissileFullSpeedAge = 2000;
constexpr int32_t kSeekRangeDivisor = 1250;
constexpr int32_t kApproachMargin = 250000;
constexpr int32_t kSpiralNearMargin = 375000;
constexpr int32_t kSpiralRadiusUnit = 100000;
constexpr int32_t kSpiralTurnMs = 5000;
constexpr int32_t kSpiralPhaseEnd = 8;
constexpr int32_t kWobbleDot = 19660;  // 0.3
constexpr int32_t kWobbleChance = 5;   // in 100 per frame
constexpr int32_t kWobbleRate = 58982;
constexpr uint32_t kAimFilterFlags = 0x8104800, kAimFilterFlags2 = 0x11, kAimFilterPath = 0xffe;
// The missile extension's words for the aim offset, the straight-flight hold end and its flag.
constexpr int kAimOffsetWord = 2;  // of MissileExt::words, x y z
constexpr int kHoldEndWord = 1;    // of MissileExt::tailWords
constexpr int kHoldFlagWord = 2;

// Cameras.
constexpr int32_t kCameraAlignedRate = 1820;  // 10 degrees
constexpr int32_t kCameraBand = 100000;
constexpr int32_t kCameraSlowSpeed = 5000;

// The alarm of the frame: some simulated sector has a missile homing on the player's ship.
bool gFrameAlarm = false;

bool IsPlayerShip(const SpaceObject* o) { return o && (o->flags & kObjFlagPlayerShip); }



int32_t Round16(int64_t a, int64_t b) { return SaturateToInt32((a * b + 32768) >> 16); }


// The walk's hold: the object being updated and the one it visits next. Both must still be in
// the sector after an event for the walk to go on.
struct Walk {
  SectorObject* sector;
  SpaceObject* current;
  SpaceObject* next;
  bool Holds() const {
    return ObjectInSector(sector, current) && (!next || ObjectInSector(sector, next));
  }
};

// ---------------------------------------------------------------------------------------------
// Tractor beam.

void PullTractorHolder(SpaceObject* holder, int32_t step) {
  SpaceObject* target = holder->tractorTarget;
  if (target->parent != holder->parent || !IsPlayerShip(target) || !holder->instance || !target->instance) {
    ReleaseTractorBeam(holder);
    return;
  }
  const FixedMatrix& m = holder->instance->matrix;
  FixedVector offsetWorld, p, d;
  MatrixMulVector(&offsetWorld, &m, &holder->attachOffset);
  AddVector(&p, &holder->instance->position, &offsetWorld);
  SubVector(&d, &target->instance->position, &p);  // P - target
  const int32_t length = GetVectorLength(&d);
  int64_t e = int64_t{holder->tractorLength} - length;
  if (e > kTractorReleaseError || e < -kTractorReleaseError) {
    ReleaseTractorBeam(holder);
    return;
  }
  e = std::clamp<int64_t>(e, -kTractorErrorClamp, kTractorErrorClamp);
  const int32_t pull = static_cast<int32_t>(((e * kTractorPullFactor + 32768) >> 16) / 2);
  FixedVector u = d;
  NormalizeVector(&u);
  FixedVector v = {Round16(u.x, pull), Round16(u.y, pull), Round16(u.z, pull), 0};

  // The turn that brings the attach point round to face the target.
  FixedVector local, o = holder->attachOffset;
  MatrixTransposeMulVector(&local, &m, &u);
  o.w = 0;
  NormalizeVector(&o);
  const int32_t c = SaturateToInt32((int64_t{o.x} * local.x + int64_t{o.y} * local.y + int64_t{o.z} * local.z) >> 16);
  const int32_t s = TableSine(static_cast<uint32_t>(FixAcos(c)));
  FixedVector axis;
  CrossVector(&axis, &o, &local);
  NormalizeVector(&axis);
  const int32_t size = B3D_InstGetTotalSize(holder->instance);
  const int32_t angle = size != 0 ? SaturateToInt32(int64_t{s} * pull / size / 2) : 0;
  FixedMatrix turn;
  MatrixFromAxisAngle(&turn, &axis, static_cast<uint32_t>(angle));
  MatrixOrthonormalizeRow2(&turn);
  int32_t turnAngles[3];
  MatrixToAngles(&turn, &turnAngles[0], &turnAngles[1], &turnAngles[2]);
  for (int i = 0; i < 3; ++i) {
    const int32_t a = static_cast<int16_t>(static_cast<uint16_t>(turnAngles[i]));
    holder->turnRates[i] = SaturateToInt32(int64_t{holder->turnRates[i]} * (2000 - step) / 2000 +
                                           int64_t{a} * step / 1000);
  }
  FixedVector oWorld;
  MatrixMulVector(&oWorld, &m, &o);
  const int32_t along = static_cast<int32_t>((int64_t{c} * pull + 32768) >> 16);
  v.x = SaturateToInt32(int64_t{v.x} + Round16(oWorld.x, along));
  v.y = SaturateToInt32(int64_t{v.y} + Round16(oWorld.y, along));
  v.z = SaturateToInt32(int64_t{v.z} + Round16(oWorld.z, along));
  holder->baseVelocity.x = SaturateToInt32(holder->baseVelocity.x + int64_t{v.x} * step / 1000);
  holder->baseVelocity.y = SaturateToInt32(holder->baseVelocity.y + int64_t{v.y} * step / 1000);
  holder->baseVelocity.z = SaturateToInt32(holder->baseVelocity.z + int64_t{v.z} * step / 1000);
}

// ---------------------------------------------------------------------------------------------
// Shots, suns.

void CopyHeadSpin(SpaceObject* o, const ObjectTypeRecord* row) {
  for (int i = 0; i < 3; ++i) o->turnRates[i] = row->turnRate[i];
}

// False when the walk must end.
bool UpdateShot(const Walk& walk, SpaceObject* shot) {
  const ObjectTypeRecord* row = TypeRow(kClassBullet, shot->subtype);
  if (row) CopyHeadSpin(shot, row);
  auto* ext = static_cast<BulletExt*>(shot->ext);
  if (!ext || TimeSince(SimulationNow(), ext->expiresAt) < 0) {
    shot->speed = shot->speedLimit;
    return true;
  }
  if (row && (row->bullet.flags & kBulletFlagScatters) && ext->burstMarker != 0 &&
      gSimulationServices.spawnScatteredObjects) {
    gSimulationServices.spawnScatteredObjects(shot);
  }
  KillObject(shot, kKillByExpiry, nullptr, 0);
  return walk.Holds();
}

// ---------------------------------------------------------------------------------------------
// Missiles.

bool IsKeptTarget(const SpaceObject* missile, const SpaceObject* target) {
  if (!target || (target->flags & kObjFlagRemoving)) return false;
  if (target->objClass == kClassWareFirst + 1 && target->subtype == 0) return true;  // class 12, subtype 0
  return ObjIsHostile(target, missile);
}

// The aim offset, chosen once: a random point of the target's body for stations, ships, gates
// and station wrecks; the target's centre for everything else.
void ChooseAimOffset(SpaceObject* missile, MissileExt* ext, const SpaceObject* target, uint32_t flags) {
  FixedVector point{};
  const uint16_t c = target->objClass;
  const bool bodyTarget = c == kClassDock || c == kClassFactory || c == kClassShip || c == kClassGate ||
                          c == kClassDockWreck || c == kClassFactoryWreck;
  if (bodyTarget && target->instance) {
    InstanceRecord* hit = nullptr;
    int32_t index = 0;
    const bool narrow = (flags & kMissileFlagNarrowAim) && c == kClassShip;
    const bool found = narrow ? PickRandomInstancePoint(target->instance, 0, 1, 1, false, 0, &hit, &index, &point)
                              : PickRandomInstancePoint(target->instance, kAimFilterFlags, kAimFilterFlags2,
                                                        kAimFilterPath, true, 0, &hit, &index, &point);
    if (!found) point = {};
  }
  ext->words[kAimOffsetWord] = static_cast<uint32_t>(point.x);
  ext->words[kAimOffsetWord + 1] = static_cast<uint32_t>(point.y);
  ext->words[kAimOffsetWord + 2] = static_cast<uint32_t>(point.z);
  ext->word5 = 1;
  (void)missile;
}

// The point on the spiral around the missile's line to its target.
FixedVector SpiralPoint(SpaceObject* missile, const MissileExt* ext, SpaceObject* target, int32_t age) {
  int32_t r = RandomBelow16(8192);
  if ((r & 1) == 0) r = -r;
  const uint32_t angle = static_cast<uint32_t>(int64_t{ext->phase} * 8192 + r + int64_t{age} * 65536 / kSpiralTurnMs);
  int32_t k = 4;
  if (ext->launcher && ObjectDistance(missile, ext->launcher) < int64_t{ext->launcher->radius} + kApproachMargin) k = 8;
  if (target->instance &&
      ObjectDistance(missile, target) < int64_t{B3D_InstGetTotalSize(target->instance)} + kSpiralNearMargin) {
    k = 2;
  }
  const int32_t radius = k * kSpiralRadiusUnit + r;
  FixedVector line;
  const FixedVector from = InstancePositionOf(missile), to = InstancePositionOf(target);
  SubVector(&line, &from, &to);
  NormalizeVector(&line);
  const FixedMatrix* frame = GetObjectRotationMatrix(missile);
  FixedVector second = frame ? FixedVector{frame->m[1][0], frame->m[1][1], frame->m[1][2], 0} : FixedVector{0, kFixedOne, 0, 0};
  FixedMatrix turn;
  MatrixFromAxisAngle(&turn, &line, angle & 0xFFFF);
  FixedVector turned;
  MatrixMulVector(&turned, &turn, &second);
  FixedVector point = to;
  point.x = SaturateToInt32(point.x + Round16(turned.x, radius));
  point.y = SaturateToInt32(point.y + Round16(turned.y, radius));
  point.z = SaturateToInt32(point.z + Round16(turned.z, radius));
  return point;
}

void SteerAtAimPoint(SpaceObject* missile, MissileExt* ext, SpaceObject* target, uint32_t flags) {
  if (ext->word5 == 0) ChooseAimOffset(missile, ext, target, flags);
  FixedVector offset = {static_cast<int32_t>(ext->words[kAimOffsetWord]),
                        static_cast<int32_t>(ext->words[kAimOffsetWord + 1]),
                        static_cast<int32_t>(ext->words[kAimOffsetWord + 2]), 0};
  FixedVector aim = InstancePositionOf(target);
  if (const FixedMatrix* rotation = GetObjectRotationMatrix(target)) {
    FixedVector turned;
    MatrixMulVector(&turned, rotation, &offset);
    AddVectorTo(&aim, &turned);
  } else {
    AddVectorTo(&aim, &offset);
  }
  FixedVector a;
  const FixedVector from = InstancePositionOf(missile);
  SubVector(&a, &from, &aim);
  NormalizeVector(&a);
  const FixedMatrix* frame = GetObjectRotationMatrix(missile);
  const int64_t dot = frame ? (int64_t{a.x} * frame->m[2][0] + int64_t{a.y} * frame->m[2][1] +
                               int64_t{a.z} * frame->m[2][2]) >> 16
                            : kFixedOne;
  if (std::llabs(dot) < kWobbleDot && RandomBelow(100) < kWobbleChance) {
    ext->tailWords[kHoldEndWord] = SimulationNow() + 1000 + static_cast<uint32_t>(RandomBelow(2000));
    ext->tailWords[kHoldFlagWord] = 1;
    missile->refAngles[0] = RandomUpTo(117964) - kWobbleRate;
    missile->refAngles[1] = RandomUpTo(117964) - kWobbleRate;
    return;
  }
  ObjSteerHeadingPitch(missile, &aim);
}

void BreakUp(SpaceObject* missile, const ObjectTypeRecord* row) {
  if (gSimulationServices.decoupleMissile) gSimulationServices.decoupleMissile(missile, row->missile.value4 + 1);
}

bool UpdateMissile(const Walk& walk, SpaceObject* missile, bool* alarm) {
  auto* ext = static_cast<MissileExt*>(missile->ext);
  const ObjectTypeRecord* row = TypeRow(kClassMissile, missile->subtype);
  if (!ext || !row || !(missile->flags & kObjFlagArmed)) return true;
  const uint32_t now = SimulationNow();
  const int32_t age = TimeSince(now, ext->launchedAt);
  const int32_t lifetime = row->missile.rangeTime;
  const uint32_t flags = row->missile.missileFlags;

  if (age >= lifetime) {
    // A handler may take the missile away; while it is still there its kill completes, so it
    // is not told a second time next frame, and the walk then ends if its successor has gone.
    if (IsPlayerShip(ext->target) || (!(flags & kMissileFlagUnguided) && ext->target && IsPlayerShip(ext->launcher))) {
      RaiseScriptIdEvent(kGlobalScriptId, "NotifySelfDestruct", 1, missile->subtype);
      if (!ObjectInSector(walk.sector, missile)) return false;
    }
    if (!(missile->flags & kObjFlagRemoving)) {
      RaiseObjectEvent(missile, "KilledBy", 3, kKillByExpiry, 0, 0);
      if (!ObjectInSector(walk.sector, missile)) return false;
    }
    if (!(missile->flags & kObjFlagRemoving)) KillObject(missile, kKillByExpiry, nullptr, 0);
    return walk.Holds();
  }

  if ((flags & kMissileFlagUnguided) || (!(flags & kMissileFlagSeeks) && !ext->target)) {
    if (age >= kMissileFullSpeedAge) missile->speedLimit = GetObjectMaxSpeed(missile);
    if ((flags & kMissileFlagBreaksUp) && age > lifetime / 2) BreakUp(missile, row);
    return true;
  }

  if ((flags & kMissileFlagSeeks) && ext->launcher && !IsKeptTarget(missile, ext->target)) {
    const int32_t range = SaturateToInt32(int64_t{lifetime - age} * row->missile.speed / kSeekRangeDivisor);
    ext->target = FindNearestHostileExcept(missile, ext->launcher, range);
  }
  SpaceObject* target = ext->target;
  if (!target) return true;
  if (IsPlayerShip(target)) *alarm = true;

  if (age >= kMissileFullSpeedAge) missile->speedLimit = GetObjectMaxSpeed(missile);
  if (ext->tailWords[kHoldFlagWord] != 0) {
    if (TimeSince(now, ext->tailWords[kHoldEndWord]) >= 0) ext->tailWords[kHoldFlagWord] = 0;
    return true;
  }

  const int32_t targetSize = target->instance ? B3D_InstGetTotalSize(target->instance) : 0;
  const int64_t near = 2 * int64_t{targetSize} + kApproachMargin;
  if (flags & kMissileFlagBreaksUp) {
    if (ObjectDistance(missile, target) <= near) {
      BreakUp(missile, row);
    } else {
      const FixedVector at = InstancePositionOf(target);
      ObjSteerHeadingPitch(missile, &at);
    }
    return true;
  }
  if ((flags & kMissileFlagSpiral) && ext->phase < kSpiralPhaseEnd && ext->word5 == 0) {
    if (ObjectDistance(missile, target) > near) {
      const FixedVector point = SpiralPoint(missile, ext, target, age);
      ObjSteerHeadingPitch(missile, &point);
      return true;
    }
    ext->phase = static_cast<uint16_t>(ext->phase + kSpiralPhaseEnd);
  }
  SteerAtAimPoint(missile, ext, target, flags);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Cameras.

void UpdateCamera(SpaceObject* camera) {
  auto* ext = static_cast<CameraExt*>(camera->ext);
  if (!ext) return;
  if (!ext->followedObject) ext->followedObject = ext->defaultTarget;
  SpaceObject* followed = ext->followedObject;
  if (ext->words[kCameraStopWord] != 0) {
    camera->speedLimit = 0;
  } else if (followed && followed->instance) {
    const FixedVector at = followed->instance->position;
    ObjSteerHeadingPitch(camera, &at);
    const int32_t maxSpeed = GetObjectMaxSpeed(camera);
    const int32_t d = ObjectDistance(camera, followed);
    const int32_t keep = SaturateToInt32(int64_t{static_cast<int32_t>(ext->words[kCameraKeepDistanceWord])} + followed->radius);
    const int32_t far = SaturateToInt32(int64_t{keep} + kCameraBand);
    if (std::abs(camera->refAngles[0]) < kCameraAlignedRate && std::abs(camera->refAngles[1]) < kCameraAlignedRate) {
      camera->speedLimit = d < keep ? InterpolateClamped(keep, 0, d, -maxSpeed, followed->speed)
                                    : InterpolateClamped(far, keep, d, followed->speed, maxSpeed);
    } else {
      camera->speedLimit = InterpolateClamped(far, keep, d, 0, kCameraSlowSpeed);
    }
  }
  if (ext->sceneInstance && camera->instance) {
    ext->sceneInstance->position = camera->instance->position;
    ext->sceneInstance->matrix = camera->instance->matrix;
  }
}

// ---------------------------------------------------------------------------------------------
// Speed settling.

void SettleSpeed(SpaceObject* o, int32_t step) {
  const uint16_t c = o->objClass;
  if (c != kClassShip && c != kClassCamera && c != kClassMissile) return;
  if ((o->flags & (kObjFlagFrozen | kObjFlagCarried)) || (o->flags2 & kObjFlag2Attached)) return;
  if (c != kClassMissile) o->speedLimit = std::min(o->speedLimit, GetObjectMaxSpeed(o));
  if (ShipExt* ship = ShipExtOrNull(o)) {
    if (ship->maxSpeedOverride >= 0) o->speedLimit = std::min(o->speedLimit, ship->maxSpeedOverride);
    const uint32_t container = kObjFlagContainer | kObjFlagContainerAtRest;
    if ((o->flags & container) == container &&
        ((o->flags & kObjFlagHoldStill) || TimeSince(SimulationNow(), ship->nextLaunchAt) < 0)) {
      o->speedLimit = 0;
      o->refAngles[0] = o->refAngles[1] = o->refAngles[2] = 0;
    }
  }
  const int64_t change = std::max<int64_t>(1, int64_t{ObjGetTunedField72(o)} * step / 1000);
  const int64_t gap = int64_t{o->speedLimit} - o->speed;
  o->speed = SaturateToInt32(o->speed + std::clamp(gap, -change, change));
}

// ---------------------------------------------------------------------------------------------

// False when the walk must end.
bool UpdateObject(const Walk& walk, SpaceObject* o, int32_t step, bool* alarm) {
  if (o->instance) o->savedPosition = o->instance->position;
  for (int i = 0; i < 3; ++i) o->savedAngles[i] = o->angles[i];
  const uint16_t c = o->objClass;
  if (o->flags & kObjFlagFrozen) return true;
  if (o->flags & kObjFlagCarried) {
    if (c == kClassDock || c == kClassFactory || c == kClassShip || c == kClassGate) RechargeShields(o);
    return true;
  }
  if (o->tractorTarget) PullTractorHolder(o, step);
  if (o->flags2 & kObjFlag2Attached) return true;
  switch (c) {
    case kClassBullet: return UpdateShot(walk, o);
    case kClassSun:
      if (const ObjectTypeRecord* row = TypeRow(kClassSun, o->subtype); row && row->bodyId > 0) CopyHeadSpin(o, row);
      return true;
    case kClassDock:
    case kClassFactory:
    case kClassGate: RechargeShields(o); return true;
    case kClassShip: {
      RechargeShields(o);
      const uint32_t before = OrderEventCount();
      RunShipOrder(o, step);
      return OrderEventCount() == before || walk.Holds();
    }
    case kClassMissile: return UpdateMissile(walk, o, alarm);
    case kClassCamera: UpdateCamera(o); return true;
    default: return true;
  }
}

}  // namespace

int32_t ObjectUpdateStep() {
  const int32_t step = gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0;
  return step > kMaxStep || step < 0 ? kMaxStep : step;
}

void BeginObjectUpdateFrame() {
  gFrameAlarm = false;
  SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
  if (player && player->parent &&
      (player->parent->objClass == kClassDock || player->parent->objClass == kClassFactory)) {
    RechargeShields(player);
  }
}

void EndObjectUpdateFrame() {
  if (!gSimulationServices.alertWords) return;
  const AlertWords alert = gSimulationServices.alertWords();
  if (!alert.flags || !alert.pending) return;
  const bool on = (*alert.flags & kAlertIncomingMissileBit) != 0;
  if (on != gFrameAlarm) {
    if (gSimulationServices.playSound) gSimulationServices.playSound(0, 0, kIncomingMissileSound, -1);
    if (gFrameAlarm) *alert.flags |= kAlertIncomingMissileBit;
    else *alert.flags &= ~kAlertIncomingMissileBit;
  }
  if (gFrameAlarm && *alert.pending < 2) *alert.pending = 2;
}

void UpdateSectorObjects(SectorObject* sector) {
  ListHead* children = sector ? ObjectChildren(sector) : nullptr;
  if (!children) return;
  const int32_t step = ObjectUpdateStep();
  UniverseGuardScope guard;
  bool alarm = false;
  for (SpaceObject* o = ObjectListFirst(children); o;) {
    SpaceObject* next = ObjectListNext(o);
    if (!(o->flags & kObjFlagRemoving)) {
      const Walk walk{sector, o, next};
      if (!UpdateObject(walk, o, step, &alarm)) {
        gFrameAlarm = gFrameAlarm || alarm;
        return;
      }
    }
    // Objects a step put right after this one are visited too.
    o = ObjectListNext(o);
  }
  gFrameAlarm = gFrameAlarm || alarm;
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (!(o->flags & kObjFlagRemoving)) SettleSpeed(o, step);
  }
}
