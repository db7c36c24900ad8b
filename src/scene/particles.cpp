// Particle emission and flight: spawning from the free list (or by taking over the oldest active
// particle that has flown), the spawn interval of a kind, the blend of the emitter's motion over
// the frame, and the per-frame move, spin and fade. Called by the object effects step and the
// replay; the renderer reads the active list. It never allocates and never reads a particle type
// row outside the table or an emission state the emitter does not have. Every random draw goes
// through the game's generator, so a seed fixes every spawn.
#include "scene/particles.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kEmissionCameraFlags = kCameraEnabled | kCameraParticles;
constexpr int32_t kLaunchSpeed = 1000;  // the launch velocity's scale: units per second
constexpr int32_t kFadeOpaque = 255;
constexpr int32_t kFadeFaint = 1;
constexpr int64_t kMillisecondsPerSecond = 1000;

int32_t Clock() { return gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0; }

// n x rand() / 32768 for n >= 1, else 0 without a draw.
int64_t RandShare(int64_t n) { return n >= 1 ? n * GameRand() / 32768 : 0; }

// A kind's value between its minimum and maximum by the emitter's 16.16 intensity.
int32_t ByIntensity(int32_t low, int32_t high, int32_t intensity) {
  if (intensity <= 0) return low;
  if (intensity >= kFixedOne) return high;
  const int64_t middle = (int64_t{low} + high) / 2;
  return SaturateToInt32(middle + (int64_t{high} - low) * (intensity - kFixedOne / 2) / kFixedOne);
}

// Some camera that sees particles lies within reach of the emitter.
bool CameraWithinReach(SceneRecord* scene, const FixedVector* position, int32_t reach) {
  if (!scene) return false;
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    const CameraRecord* camera = ListRecord<CameraRecord>(node);
    if (!(camera->cameraFlags & kEmissionCameraFlags)) continue;
    if ((ChebyshevDistance(&camera->instance.position, position) >> kReachShift) < reach) return true;
  }
  return false;
}

// Milliseconds between two spawns of a kind: the spacing over the reach, shortened by speed, less a
// random share; never below kMinSpawnInterval.
int64_t SpawnInterval(const int32_t* words, int32_t reach, int64_t speed) {
  const int32_t share = words[kKindRandomShare];
  const int64_t random = RandShare(share);
  const int64_t distance = int64_t{reach} * 1000;
  const int64_t perSpacing =
      speed == 0 ? (distance + kFixedOne / 2) >> 16 : SaturateToInt32(distance / speed);
  const int32_t spaced = SaturateToInt32(MulRound16(words[kKindSpacing], perSpacing));
  const int64_t interval = MulRound16(kFixedOne - random, spaced);
  return std::max(interval, kMinSpawnInterval);
}

bool IsZero(const FixedVector& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

// The present motion of the emitter and its blend from the previous call.
struct EmissionPath {
  const FixedVector* from;
  const FixedVector* to;
  FixedVector fromTangent;
  FixedVector toTangent;
  const Quaternion* fromTurn;
  const Quaternion* toTurn;
  int32_t start;  // the earliest spawn time: the previous emission, at most one second ago
  int32_t dt;     // milliseconds from `start` to now
};

void AddScaledRow(FixedVector* v, const int32_t* row, int64_t amount) {
  v->x = SaturateToInt32(v->x + MulRound16(row[0], amount));
  v->y = SaturateToInt32(v->y + MulRound16(row[1], amount));
  v->z = SaturateToInt32(v->z + MulRound16(row[2], amount));
}

// Launched backwards along the spawn orientation's forward row, then spread along its first two
// rows; a spread velocity keeps the launch speed.
void LaunchVelocity(ParticleRecord* p, const FixedMatrix& m, const int32_t* words, int64_t speed) {
  const int32_t* forward = m.m[2];
  FixedVector v = {};
  v.x = SaturateToInt32(MulRound16(-int64_t{forward[0]}, kLaunchSpeed));
  v.y = SaturateToInt32(MulRound16(-int64_t{forward[1]}, kLaunchSpeed));
  v.z = SaturateToInt32(MulRound16(-int64_t{forward[2]}, kLaunchSpeed));
  const FixedVector launch = v;
  bool spread = false;
  for (int row = 0; row < 2; ++row) {
    const int32_t s = words[kKindSpread1 + row];
    if (s == 0) continue;
    AddScaledRow(&v, m.m[row], RandShare(int64_t{s} * 2) - s);
    spread = true;
  }
  if (spread && speed != 0) {
    const double x = launch.x, y = launch.y, z = launch.z;
    VectorSetLength(&v, TruncateToWord(std::sqrt(x * x + y * y + z * z)));
  }
  p->velocity = v;
}

void SpawnParticle(ParticleRecord* p, const int32_t* words, ParticleEmission* state, const EmissionPath& path,
                   SceneRecord* scene, int32_t reach, int64_t speed, int32_t spawnTime) {
  p->lastUpdate = spawnTime;
  p->endTime = SaturateToInt32(int64_t{spawnTime} + words[kKindLife] + RandShare(words[kKindRandomLife]));
  p->fadeSpan = words[kKindFadeSpan] != 0 ? words[kKindFadeSpan] : words[kKindLife];
  std::copy_n(words + kKindAppearance, kKindAppearanceCount, p->appearance);
  p->kindFlags = static_cast<uint32_t>(words[kKindFlags]) & kParticleKindFlagMask;
  p->spinRate = words[kKindSpinRate];
  p->spinRandom = words[kKindSpinRandom];
  p->reach = reach;
  p->angle = 0;
  p->scene = scene;

  const int32_t t = FixedDiv(SaturateToInt32(int64_t{spawnTime} - path.start), path.dt);
  p->position = {};
  SplineBlend(path.from, path.to, &path.fromTangent, &path.toTangent, t, &p->position, nullptr);
  Quaternion turn;
  QuaternionBlend(&turn, path.fromTurn, path.toTurn, t);
  FixedMatrix m;
  MatrixFromQuaternion(&m, &turn);

  if (p->kindFlags & kParticleStreak) {
    p->velocity = {};
    p->streakStart = IsZero(state->lastSpawnPosition) ? p->position : state->lastSpawnPosition;
    state->lastSpawnPosition = p->position;
  } else {
    LaunchVelocity(p, m, words, speed);
    p->angle = static_cast<uint32_t>(GameRand()) * 2;  // any Angle16
  }
  if (p->kindFlags & kParticleSpins) MatrixSetIdentity(&p->orientation);
  else p->orientation = m;
}

// Spawns the kind's due particles; answers how many.
int32_t EmitKind(const EmitterRecord* emitter, const ParticleKind* kind, ParticleEmission* state,
                 const EmissionPath& path, int64_t emitterSpeed, int32_t extraSpeed, int32_t now) {
  const int32_t* words = kind->words;
  const int32_t reach = ByIntensity(words[kKindReachMin], words[kKindReachMax], emitter->intensity);
  if (!CameraWithinReach(emitter->scene, path.to, reach)) {
    state->lastSpawnPosition = {};
    return 0;
  }
  const bool streak = static_cast<uint32_t>(words[kKindFlags]) & kParticleStreak;
  const int64_t kindSpeed = streak ? 0 : ByIntensity(words[kKindSpeedMin], words[kKindSpeedMax], emitter->intensity);
  const int64_t speed = emitterSpeed + kindSpeed + extraSpeed;
  const int64_t interval = SpawnInterval(words, reach, speed);

  int32_t spawned = 0;
  while (interval < int64_t{now} - state->lastSpawnTime) {
    ParticleRecord* p = TakeParticle();
    if (!p) {
      // The pool is spent on particles that have not flown yet: the kind waits for the next call.
      state->lastSpawnTime = now;
      break;
    }
    const auto spawnTime = static_cast<int32_t>(std::max(int64_t{state->lastSpawnTime} + interval, int64_t{path.start}));
    state->lastSpawnTime = spawnTime;
    SpawnParticle(p, words, state, path, emitter->scene, reach, speed, spawnTime);
    ++spawned;
  }
  return spawned;
}

}  // namespace

int32_t EmitParticles(EmitterRecord* emitter, const FixedVector* position, const Quaternion* orientation,
                      const FixedVector* velocity, int32_t extraSpeed, int32_t now) {
  if (!gEngine3D || !emitter || !position || !orientation || !velocity) return 0;
  int32_t dt = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(emitter->previousTime));
  if (dt < 0 || dt > kMaxEmissionGap) dt = kMaxEmissionGap;

  EmissionPath path{};
  path.from = &emitter->previousPosition;
  path.to = position;
  MulDivVectorScalarFixed(&path.fromTangent, &emitter->previousVelocity, dt, 1000);
  MulDivVectorScalarFixed(&path.toTangent, velocity, dt, 1000);
  path.fromTurn = &emitter->previousOrientation;
  path.toTurn = orientation;
  // After a longer gap only the last second is spread along the path, so t stays within 0..1.
  path.start = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(dt));
  path.dt = dt;

  const auto square = [](int32_t c) { return static_cast<uint64_t>(int64_t{c} * c); };
  const int64_t emitterSpeed = IntSqrt64(square(velocity->x) + square(velocity->y) + square(velocity->z));

  int32_t spawned = 0;
  if (emitter->type >= 0 && emitter->type < kParticleTypeCount && emitter->emissions) {
    const ParticleTypeRow& row = gEngine3D->particleTypes[emitter->type];
    const int32_t kinds = row.kinds ? std::min(row.kindCount, emitter->emissionCount) : 0;
    for (int32_t k = 0; k < kinds; ++k) {
      spawned += EmitKind(emitter, &row.kinds[k], &emitter->emissions[k], path, emitterSpeed, extraSpeed, now);
    }
  }

  emitter->previousPosition = *position;
  emitter->previousVelocity = *velocity;
  emitter->previousOrientation = *orientation;
  emitter->previousTime = now;
  return spawned;
}

int32_t UpdateParticles() {
  if (!gEngine3D) return 0;
  const int32_t now = Clock();
  int32_t visited = 0;
  LIST_FOR_EACH_SAFE(node, next, &gEngine3D->activeParticles) {
    ++visited;
    ParticleRecord* p = ListRecord<ParticleRecord>(node);
    if (now >= p->endTime) {
      ListRemove(node);
      ListAddTail(&gEngine3D->particleFreeList, node);
      p->state = kParticleFree;
      continue;
    }
    const int64_t d = int64_t{now} - p->lastUpdate;
    // Positions wrap like the words they are; the step itself is a 64-bit product.
    const auto step = [d](int32_t perSecond) { return static_cast<uint32_t>(perSecond * d / kMillisecondsPerSecond); };
    const uint32_t dx = step(p->velocity.x), dy = step(p->velocity.y), dz = step(p->velocity.z);
    const auto move = [dx, dy, dz](FixedVector* v) {
      v->x = static_cast<int32_t>(static_cast<uint32_t>(v->x) + dx);
      v->y = static_cast<int32_t>(static_cast<uint32_t>(v->y) + dy);
      v->z = static_cast<int32_t>(static_cast<uint32_t>(v->z) + dz);
    };
    move(&p->position);
    if (p->kindFlags & kParticleStreak) {
      move(&p->streakStart);
      p->angle = 0;
    }
    if (p->kindFlags & kParticleSpins) {
      int64_t turn = int64_t{p->spinRate} * d / kMillisecondsPerSecond;
      if (p->spinRandom != 0) turn += (RandShare(int64_t{p->spinRandom} * 2) - p->spinRandom) * d / kMillisecondsPerSecond;
      p->angle = (p->angle + static_cast<uint32_t>(turn)) & 0xFFFF;
    }
    p->fade = LerpInt(SaturateToInt32(int64_t{p->endTime} - now), p->fadeSpan, kFadeFaint, kFadeOpaque);
    p->lastUpdate = now;
    p->state = kParticleUpdated;
  }
  return visited;
}
