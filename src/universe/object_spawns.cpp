// The fragments of a bursting shot: when a shot whose type bursts runs out, its burst type is
// created a number of times around it, flying off in scattered directions. The simulation's
// object update calls it before it kills the shot; it never frees the shot and raises no event.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/object_queries.h"
#include "universe/object_spawns.h"
#include "universe/type_access.h"
#include "universe/universe.h"

uint32_t gFragmentLightCounter = 0;

namespace {

constexpr int kBurstTypeValue = 6;   // of BulletType::impactValue: packed type of the fragments
constexpr int kBurstCountValue = 7;  // of BulletType::impactValue
constexpr uint32_t kFragmentInheritedFlags2 = kObjFlag2LaunchFlag1 | kObjFlag2FromShooter;
constexpr int64_t kLightNearPlayer = 100000;
constexpr int32_t kQualityTop = 100;

SpaceObject* AllocFragment(int32_t objClass) {
  SpaceObject* record = AllocObjectRecord(objClass);
  if (!record) {
    CallLowMemoryHandler();
    record = AllocObjectRecord(objClass);
  }
  return record;
}

// The fragment's direction: the shot's forward axis shaken by up to one unit on each axis.
FixedVector ScatterDirection(const InstanceRecord* shot) {
  FixedVector d{};
  int32_t* axis[3] = {&d.x, &d.y, &d.z};
  for (int a = 0; a < 3; ++a) {
    const int64_t shake = int64_t{2 * kFixedOne} * GameRand() / 32767;
    *axis[a] = SaturateToInt32(int64_t{shot->matrix.m[2][a]} - kFixedOne + shake);
  }
  const double length = std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
  if (length > 0.0) {
    for (int a = 0; a < 3; ++a) *axis[a] = static_cast<int32_t>(*axis[a] / length * kFixedOne);
  }
  return d;
}

int32_t VectorLength(const FixedVector& v) {
  const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
  return length >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(length);
}

// Near the player every k-th fragment lights up, fewer of them at lower quality.
void MaybeLight(SpaceObject* fragment) {
  const SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
  if (!player || !player->instance || !fragment->instance) return;
  const FixedVector& a = fragment->instance->position;
  const FixedVector& b = player->instance->position;
  const int64_t far = std::max({std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y),
                                std::llabs(int64_t{a.z} - b.z)});
  if (far >= kLightNearPlayer) return;
  int32_t quality = gSystem ? static_cast<int32_t>(gSystem->qualityLevel) : kQualityTop;
  quality = quality < 0 ? 0 : (quality > kQualityTop ? kQualityTop : quality);
  const uint32_t k = static_cast<uint32_t>((kQualityTop - quality) / 10 + 1);
  if (gFragmentLightCounter % k == 0) BulletCreateLight(fragment);
  ++gFragmentLightCounter;
}

void LaunchFragment(SpaceObject* bullet, SpaceObject* fragment, const ObjectTypeRecord* fragmentRow) {
  fragment->flags2 = (fragment->flags2 & ~kFragmentInheritedFlags2) | (bullet->flags2 & kFragmentInheritedFlags2);
  const FixedVector direction = ScatterDirection(bullet->instance);
  const int32_t speed = TypeGetSpeed(fragment->objClass, fragment->subtype);
  FixedVector velocity{FixedMul(direction.x, speed), FixedMul(direction.y, speed), FixedMul(direction.z, speed), 0};
  AddVectorTo(&velocity, &bullet->baseVelocity);
  AddVectorTo(&velocity, &bullet->instance->velocity);
  fragment->speed = fragment->speedLimit = VectorLength(velocity);
  if (fragment->objClass == kClassBullet && fragment->ext) {
    auto* ext = static_cast<BulletExt*>(fragment->ext);
    const int32_t lifetime = fragmentRow ? fragmentRow->bullet.lifetime : 0;
    ext->expiresAt = (gSystem ? gSystem->gameTime : 0) + static_cast<uint32_t>(lifetime);
    ext->firedBy = static_cast<BulletExt*>(bullet->ext)->firedBy;
    ext->burstMarker = 0;
  }
  fragment->owner = bullet->owner;
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&velocity, &yaw, &pitch);
  fragment->angles[0] = static_cast<int32_t>(yaw);
  fragment->angles[1] = static_cast<int32_t>(pitch);
  fragment->angles[2] = 0;
  if (InstanceRecord* inst = fragment->instance) {
    inst->velocity = {velocity.x, velocity.y, velocity.z, inst->velocity.w};
    inst->position = bullet->instance->position;
    MatrixFromAngles(&inst->matrix, yaw, pitch, 0);
  }
  ObjAttachInstance(fragment, bullet->parent);
  fragment->flags &= ~kObjFlagFree;
  if (InstanceRecord* inst = fragment->instance) {
    inst->world = inst->position;
    inst->worldMatrix = inst->matrix;
  }
  MaybeLight(fragment);
}

}  // namespace

void SpawnScatteredObjects(SpaceObject* bullet) {
  if (!bullet || bullet->objClass != kClassBullet || !bullet->ext || !bullet->instance) return;
  const ObjectTypeRecord* row = TypeRow(kClassBullet, bullet->subtype);
  if (!row) return;
  const auto packed = static_cast<uint32_t>(row->bullet.impactValue[kBurstTypeValue]);
  const auto objClass = static_cast<int32_t>((packed >> 16) & 0xFF);
  const auto subtype = static_cast<int16_t>(packed & 0xFFFF);
  // Fragments get the common record; a sector type named by the data would not fit in it.
  if (objClass == kClassSector) return;
  const ObjectTypeRecord* fragmentRow = TypeRow(objClass, subtype);
  for (int32_t i = 0; i < row->bullet.impactValue[kBurstCountValue]; ++i) {
    SpaceObject* record = AllocFragment(objClass);
    if (!record) continue;
    SpaceObject* fragment = CreateObject(record, MakeTypeWord(objClass, subtype));
    if (!fragment) {
      FreeObjectRecord(record, objClass);
      continue;
    }
    LaunchFragment(bullet, fragment, fragmentRow);
  }
}
