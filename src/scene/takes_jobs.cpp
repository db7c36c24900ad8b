// Jobs and takes: a job evaluates one path of a cut at the job's time and writes position,
// rotation, light colour and field of view into its instance; a take starts, stops and reports
// on the instances that play one cut, waking the script task that waits for it. The natives,
// the frame driver and the simulation call it. It never reads a path the cut does not have, and
// a stopped take stays in the take table.
#include "scene/takes_jobs.h"

#include <algorithm>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/device_lights.h"
#include "scene/camera_records.h"
#include "scene/cut_keys.h"
#include "scene/engine_natives.h"
#include "scene/body_cache.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "script/tasks.h"

namespace {

// Job ranges come from scripts and may be any 32-bit value: times measured from them saturate,
// while clock values wrap as the game clock itself does.
int32_t Sat(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

constexpr uint32_t kJobRestartCleared = kJobEndReported | kJobRebased | kJobBackwards;

// to - from without overflow; key times come from files.
int32_t Span(int32_t from, int32_t to) { return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from)); }

int32_t Clock() { return gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0; }

PathRecord* PathOf(CutRecord* cut, int32_t n) {
  if (!cut || !cut->paths || n < 0 || n >= cut->pathCount) return nullptr;
  return &cut->paths[n];
}

void BeginJob(InstanceRecord* instance, CutRecord* cut, int32_t n, const PathRecord* path) {
  instance->pathNumber = n;
  instance->cutHandle = cut->handle;
  instance->pathWord = path->pathWord;
  instance->jobFlags = (instance->jobFlags & ~kJobRestartCleared) | kJobPlaying;
}

// d * 1000 / (dt + 10) per component, 0 for a change too fast for a short span.
int32_t Velocity(int32_t from, int32_t to, int32_t dt) {
  const int64_t d = int64_t{to} - from;
  const int64_t magnitude = d < 0 ? -d : d;
  if (dt < 1001 && magnitude >= int64_t{dt} * 2147483) return 0;
  const int64_t divisor = int64_t{dt} + 10;
  if (divisor == 0) return 0;
  return SaturateToInt32(d * 1000 / divisor);
}

template <typename Key>
void SegmentVelocity(FixedVector* out, const Key* keys, int32_t count, int32_t i) {
  *out = FixedVector{};
  if (i >= count - 1) return;
  const int32_t dt = Span(keys[i].time, keys[i + 1].time);
  out->x = Velocity(keys[i].position.x, keys[i + 1].position.x, dt);
  out->y = Velocity(keys[i].position.y, keys[i + 1].position.y, dt);
  out->z = Velocity(keys[i].position.z, keys[i + 1].position.z, dt);
}

// Whether the time lies strictly inside segment i.
template <typename Key>
bool InsideSegment(const Key* keys, int32_t count, int32_t i, int32_t time) {
  return i < count - 1 && time != keys[i].time;
}

template <typename Key>
int32_t LerpKeys(const Key* keys, int32_t i, int32_t time, int32_t Key::*field) {
  return LerpInt(Span(keys[i].time, time), Span(keys[i].time, keys[i + 1].time), keys[i].*field, keys[i + 1].*field);
}

void Wake(int32_t module, int32_t token, int32_t value) {
  ModuleResumeInt(module, value, static_cast<uint32_t>(token));
}

void PlaceTarget(InstanceRecord* instance, const PathRecord* path, int32_t time) {
  const PositionKey* keys = path->targets.keys;
  const int32_t count = path->targets.count;
  const int32_t i = FindKeyInterval(count, keys, time);
  FixedVector target = keys[i].position;
  if (InsideSegment(keys, count, i, time)) PositionKeyEval(i, time, &target, keys);
  FixedVector direction;
  SubVector(&direction, &instance->position, &target);
  uint32_t heading = 0, pitch = 0;
  AnglesFromVector(&direction, &heading, &pitch);
  instance->rotationWords[0] = static_cast<int32_t>(heading & 0xFFFF);
  instance->rotationWords[1] = static_cast<int32_t>(pitch & 0xFFFF);
  MatrixFromAngles(&instance->matrix, heading, pitch, static_cast<uint32_t>(instance->rotationWords[2]));
}

void PlaceRotation(InstanceRecord* instance, const PathRecord* path, int32_t time) {
  const RotationKey* keys = path->rotations.keys;
  const int32_t count = path->rotations.count;
  const int32_t i = FindKeyInterval(count, keys, time);
  const RotationKey& k = keys[i];
  auto setQuaternion = [instance](const Quaternion& q) {
    instance->rotationWords[0] = q.w;
    instance->rotationWords[1] = q.x;
    instance->rotationWords[2] = q.y;
    instance->rotationWords[3] = q.z;
    MatrixFromQuaternion(&instance->matrix, &q);
    instance->jobFlags |= kJobQuaternion;
  };
  if (InsideSegment(keys, count, i, time)) {
    if ((k.flags | keys[i + 1].flags) & kKeyAxisAngle) {
      Quaternion q;
      RotationKeyEval(time, i, &q, keys, count);
      setQuaternion(q);
      return;
    }
    int32_t angles[3];
    for (int a = 0; a < 3; ++a) {
      angles[a] = LerpInt(Span(k.time, time), Span(k.time, keys[i + 1].time), k.angles[a], keys[i + 1].angles[a]) & 0xFFFF;
      instance->rotationWords[a] = angles[a];
    }
    instance->jobFlags &= ~kJobQuaternion;
    B3D_InstSetRot(instance, angles[0], angles[1], angles[2]);
    return;
  }
  if (k.flags & kKeyAxisAngle) {
    setQuaternion(k.quat);
    return;
  }
  for (int a = 0; a < 3; ++a) instance->rotationWords[a] = k.angles[a] & 0xFFFF;
  instance->jobFlags &= ~kJobQuaternion;
  MatrixFromAngles(&instance->matrix, static_cast<uint32_t>(k.angles[0]), static_cast<uint32_t>(k.angles[1]),
                   static_cast<uint32_t>(k.angles[2]));
}

int32_t ValueAt(const auto* keys, int32_t count, int32_t time, auto field) {
  const int32_t i = FindKeyInterval(count, keys, time);
  if (!InsideSegment(keys, count, i, time)) return keys[i].*field;
  return LerpKeys(keys, i, time, field);
}

}  // namespace

TakeRecord* GetTakeByHandle(uint32_t handle) {
  if (!gEngine3D) return nullptr;
  return reinterpret_cast<TakeRecord*>(HashGet(gEngine3D->takeTable, handle));
}

TakeRecord* TakeRecordAlloc() {
  auto* take = static_cast<TakeRecord*>(MemAlloc(sizeof(TakeRecord), MemCategoryFlags(kMemCatCut)));
  // Zeroed: a take freed before it ever started has no slots and no cut.
  if (take) *take = TakeRecord{};
  return take;
}

void TakeRecordFree(TakeRecord* take) {
  if (!take) return;
  EngineFree(take->instances, static_cast<uint32_t>(std::max(take->instanceCount, 0)) * kTakeSlotNominalBytes);
  MemFree(take, sizeof(TakeRecord), MemCategoryFlags(kMemCatCut));
}

TakeRecord* TakeAlloc() {
  if (!gEngine3D || !gEngine3D->takeTable) return nullptr;
  TakeRecord* take = TakeRecordAlloc();
  if (!take) return nullptr;
  take->handle = HashInsertNewKey(gEngine3D->takeTable, reinterpret_cast<HashValue>(take));
  MatrixSetIdentity(&take->rotation);
  take->state = kTakeNew;
  return take;
}

bool StartInstancePath(InstanceRecord* instance, CutRecord* cut, int32_t n) {
  PathRecord* path = PathOf(cut, n);
  if (!path) return false;
  BeginJob(instance, cut, n, path);
  instance->rangeStart = 0;
  instance->rangeEnd = PathAnimEndTime(path);
  instance->jobStart = instance->jobClock = Clock();
  JobUpdate(instance, cut, 0);
  return true;
}

bool InstJobPlay(InstanceRecord* instance, int32_t n, CutRecord* cut, int32_t from, int32_t to, bool keep) {
  PathRecord* path = PathOf(cut, n);
  if (!path) return false;
  const int32_t oldStart = instance->rangeStart, oldEnd = instance->rangeEnd;
  const bool oldBackwards = (instance->jobFlags & kJobBackwards) != 0;
  const int32_t elapsed = Wrap(int64_t{instance->jobClock} - instance->jobStart);
  BeginJob(instance, cut, n, path);
  if (from > 0 && to >= 0 && to < from) {
    instance->rangeStart = to;
    instance->rangeEnd = from;
    instance->jobFlags |= kJobBackwards;
  } else {
    instance->rangeStart = from;
    instance->rangeEnd = to > 0 ? to : PathAnimEndTime(path);
  }
  if (keep) {
    int32_t place;
    if (oldBackwards) {
      place = Sat(int64_t{oldEnd} - elapsed + oldStart);
      if (place < oldStart) place = oldStart;
    } else {
      place = elapsed;
      if (place > oldEnd) place = oldEnd;
    }
    if (instance->jobFlags & kJobBackwards) {
      if (place < instance->rangeStart) {
        instance->jobFlags &= ~kJobBackwards;
        instance->rangeEnd = instance->rangeStart;
        instance->rangeStart = place;
      } else {
        instance->rangeEnd = place;
      }
    } else if (place > instance->rangeEnd) {
      instance->jobFlags |= kJobBackwards;
      instance->rangeStart = instance->rangeEnd;
      instance->rangeEnd = place;
    } else {
      instance->rangeStart = place;
    }
  }
  const int32_t clock = Clock();
  instance->jobStart = Wrap(int64_t{clock} - instance->rangeStart);
  instance->jobClock = clock;
  JobUpdate(instance, cut, instance->rangeStart);
  return true;
}

bool InstJobPlayCurrent(InstanceRecord* instance, int32_t from, int32_t to, bool keep) {
  if (instance->cutHandle == 0) return false;
  CutRecord* cut = GetCutByHandle(instance->cutHandle);
  if (!cut) return false;
  return InstJobPlay(instance, instance->pathNumber, cut, from, to, keep);
}

int32_t JobUpdate(InstanceRecord* instance, CutRecord* cut, int32_t t) {
  PathRecord* path = PathOf(cut, instance->pathNumber);
  if (!path) return 0;
  if (t < 0) t = 0;
  int32_t remaining = Sat(int64_t{instance->rangeEnd} - t);
  int32_t time = t;
  if (instance->jobFlags & kJobBackwards) {
    time = Sat(int64_t{instance->rangeStart} + remaining);
    if (time < 0) time = 0;
  }
  if (!(instance->jobFlags & (kJobRangeAsGiven | kJobBackwards))) {
    const int32_t length = PathAnimEndTime(path);
    if (length < instance->rangeEnd) remaining = length - time;
  }

  // Position and velocity.
  if (path->bindingWord != 0 && path->binding) {
    if (InstanceRecord* bound = InstFindByPathSerial(instance, path->binding[0])) instance->position = bound->world;
  } else if (path->positions.count > 0) {
    const PositionKey* keys = path->positions.keys;
    const int32_t count = path->positions.count;
    const int32_t i = FindKeyInterval(count, keys, time);
    if (InsideSegment(keys, count, i, time)) {
      PositionKeyEval(i, time, &instance->position, keys);
    } else {
      instance->position = keys[i].position;
    }
    SegmentVelocity(&instance->velocity, keys, count, i);
  }
  if (path->rotations.count > 0) PlaceRotation(instance, path, time);
  if (path->targets.count > 0) PlaceTarget(instance, path, time);
  if (path->rolls.count > 0) {
    instance->rotationWords[2] = ValueAt(path->rolls.keys, path->rolls.count, time, &RollKey::angle) & 0xFFFF;
    MatrixFromAngles(&instance->matrix, static_cast<uint32_t>(instance->rotationWords[0]),
                     static_cast<uint32_t>(instance->rotationWords[1]), static_cast<uint32_t>(instance->rotationWords[2]));
  }
  if ((instance->flags & kInstLight) && path->colors.count > 0) {
    const ColorKey* keys = path->colors.keys;
    const int32_t count = path->colors.count;
    const int32_t values[3] = {ValueAt(keys, count, time, &ColorKey::red), ValueAt(keys, count, time, &ColorKey::green),
                               ValueAt(keys, count, time, &ColorKey::blue)};
    for (int c = 0; c < 3; ++c)
      instance->lightColor[c] = static_cast<int16_t>((int64_t{values[c]} * 255 + 0x8000) >> 16);
    if (instance->deviceLight) LightGetD3DLight(instance);
  }
  const bool drivesCamera = (instance->jobFlags & kJobDrivesCamera) != 0;
  if (((instance->flags & kInstCamera) || drivesCamera) && path->fieldsOfView.count > 0) {
    const int32_t fov = ValueAt(path->fieldsOfView.keys, path->fieldsOfView.count, time, &FovKey::fov);
    if (instance->flags & kInstCamera) {
      CameraOfInstance(instance)->fieldOfView = static_cast<uint32_t>(fov);
    } else if (instance->linkedCamera) {
      instance->linkedCamera->fieldOfView = static_cast<uint32_t>(fov);
    }
  }
  if (cut->originFlags & kCutOriginGiven) {
    FixedVector turned;
    MatrixMulVector(&turned, &cut->originRotation, &instance->position);
    AddVector(&instance->position, &cut->originPosition, &turned);
    FixedMatrix composed;
    MatrixMultiply(&composed, &cut->originRotation, &instance->matrix);
    instance->matrix = composed;
    MatrixMulVector(&turned, &cut->originRotation, &instance->velocity);
    instance->velocity = turned;
  }
  if (drivesCamera && instance->linkedCamera) {
    instance->linkedCamera->instance.position = instance->position;
    instance->linkedCamera->instance.matrix = instance->matrix;
  }

  if (remaining > 0) return remaining;
  const bool loops = (instance->jobFlags & kJobLoops) || (cut->originFlags & kCutAllPathsLoop) || (path->flags & kPathLoops);
  const int64_t span = int64_t{instance->rangeEnd} - instance->rangeStart;
  if (loops && span > 0) {
    const int64_t wrapped = (-int64_t{remaining}) % span;
    const int32_t clock = Clock();
    instance->jobStart = Wrap(int64_t{clock} - wrapped - instance->rangeStart);
    instance->jobClock = clock;
    return remaining;
  }
  instance->jobFlags |= kJobEndReported;
  if (instance->jobFlags & kJobTaskWaits) {
    instance->jobFlags &= ~kJobTaskWaits;
    Wake(instance->waitModule, instance->waitToken, kWakeJobEnded);
  }
  return remaining;
}

bool JobIsPlaying(const InstanceRecord* instance) {
  return (instance->jobFlags & kJobPlaying) && !(instance->jobFlags & kJobEndReported);
}

void J3D_JobStop(InstanceRecord* instance) {
  if (!(instance->jobFlags & kJobTaskWaits) || (instance->jobFlags & kJobEndReported)) return;
  instance->jobFlags = (instance->jobFlags & ~kJobTaskWaits) | kJobEndReported;
  Wake(instance->waitModule, instance->waitToken, kWakeJobStopped);
}

int32_t J3D_JobGetRemainingTime(InstanceRecord* instance) {
  if (!JobIsPlaying(instance)) return 0;
  CutRecord* cut = GetCutByHandle(instance->cutHandle);
  PathRecord* path = PathOf(cut, instance->pathNumber);
  if (!path) return 0;
  const int32_t t = Wrap(int64_t{instance->jobClock} - instance->jobStart);
  const int32_t r = Sat(int64_t{instance->rangeEnd} - t);
  if (instance->jobFlags & kJobRangeAsGiven) return r;
  const int32_t toEnd = Sat(int64_t{PathAnimEndTime(path)} - t);
  return r < toEnd ? r : toEnd;
}

int32_t TakeGetRemainingTime(const TakeRecord* take) {
  int32_t longest = 0;
  for (int32_t i = 0; i < take->instanceCount; ++i) {
    if (!take->instances[i]) continue;
    const int32_t r = J3D_JobGetRemainingTime(take->instances[i]);
    if (r > longest) longest = r;
  }
  return longest;
}

void J3D_TakeStop(TakeRecord* take) {
  if (take->state != kTakeRunning) return;
  for (int32_t i = 0; i < take->instanceCount; ++i) {
    InstanceRecord* instance = take->instances[i];
    if (instance && JobIsPlaying(instance)) J3D_JobStop(instance);
  }
  if (take->waitModule != 0 && take->waitToken != 0) {
    const int32_t module = take->waitModule, token = take->waitToken;
    take->waitModule = take->waitToken = 0;
    Wake(module, token, kWakeTakeStopped);
  }
  take->state = kTakeStopped;
}

int32_t TakeCheckRunning(TakeRecord* take) {
  if (take->cutHandle == 0 || !GetCutByHandle(take->cutHandle) || take->instanceCount == 0) return 0;
  if (take->instanceCount < 0) {
    J3D_TakeStop(take);
    return 0;
  }
  int32_t running = 0;
  for (int32_t i = 0; i < take->instanceCount; ++i) {
    const InstanceRecord* instance = take->instances[i];
    if (instance && JobIsPlaying(instance)) ++running;
  }
  if (running == 0) J3D_TakeStop(take);
  return running;
}

void RebaseAllJobTimes() {
  if (!gEngine3D || !gEngine3D->handleTable) return;
  const HashTable* table = gEngine3D->handleTable;
  for (uint32_t b = 0; table->buckets && b < table->bucketCount; ++b) {
    for (HashEntry* e = table->buckets[b]; e; e = e->next) {
      auto* instance = reinterpret_cast<InstanceRecord*>(e->value);
      if (!instance) continue;
      const int32_t shift = Sat(int64_t{instance->rangeEnd} - Wrap(int64_t{instance->jobClock} - instance->jobStart));
      instance->jobClock = Wrap(int64_t{instance->jobClock} - shift);
      instance->jobStart = Wrap(int64_t{instance->jobStart} - shift);
      instance->jobFlags |= kJobRebased;
    }
  }
}
