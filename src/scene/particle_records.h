// The particle record of the engine's fixed particle pool, the particle type table rows and the
// emitter record that the object effects own and the particle code, the recorder and the replay
// read and write. Record-only header: the renderer includes it.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"

struct SceneRecord;

constexpr int kParticlePoolSize = 20000;
constexpr int kParticleTypeCount = 100;

// Particle states.
constexpr int32_t kParticleFree = 1;
constexpr int32_t kParticleFromFreeList = 2;
constexpr int32_t kParticleTakenOver = 3;
constexpr int32_t kParticleUpdated = 4;

// One kind of particle of an emitter type, as the type file gives it (32 words).
struct ParticleKind {
  int32_t words[32];
};

// The words of a kind that emission reads.
constexpr int kKindAppearance = 0;  // words 0-4, copied into each particle for the renderer
constexpr int kKindAppearanceCount = 5;
constexpr int kKindFlags = 5;
constexpr int kKindSpacing = 16;      // 16.16
constexpr int kKindRandomShare = 17;  // 16.16, 0..1 of the interval
constexpr int kKindSpeedMin = 18;
constexpr int kKindSpeedMax = 19;
constexpr int kKindLife = 20;  // milliseconds
constexpr int kKindReachMin = 21;
constexpr int kKindReachMax = 22;
constexpr int kKindRandomLife = 23;  // milliseconds
constexpr int kKindSpread1 = 24;     // along the first orientation row
constexpr int kKindSpread2 = 25;     // along the second orientation row
constexpr int kKindFadeSpan = 27;    // milliseconds; 0 = the life
constexpr int kKindSpinRate = 28;    // Angle16 per second
constexpr int kKindSpinRandom = 29;

// Kind flags (word 5), copied into the particle.
constexpr uint32_t kParticleSpins = 0x1;
constexpr uint32_t kParticleStreak = 0x2;  // drawn from the previous spawn point to its own
constexpr uint32_t kParticleKindFlagMask = kParticleSpins | kParticleStreak;
constexpr uint32_t kParticleKindNominalBytes = 32 * 4;

struct ParticleTypeRow {
  int32_t kindCount;
  ParticleKind* kinds;
  int32_t words[2];
};

// An emitter's emission state for one kind of its type.
struct ParticleEmission {
  const ParticleKind* kind;  // the type row the state belongs to
  int32_t lastSpawnTime;     // game clock, milliseconds
  int32_t words[2];
  FixedVector lastSpawnPosition;  // (0, 0, 0) = none: the next streak starts at its own position
};

// A particle emitter: the engine's emitter list links it, the owner (an object effect, or the
// replay) places it and sets its intensity, and every emission writes its previous motion.
struct EmitterRecord {
  ListNode node;    // the engine's emitter list
  uint32_t handle;  // key of the engine's emitter table
  int32_t type;     // row of the particle type table
  FixedVector position;  // the emitter's place in its owner instance's frame
  FixedMatrix orientation;
  int32_t intensity;  // 16.16, 0..1: from the kinds' minimum to their maximum values
  FixedVector previousPosition;
  FixedVector previousVelocity;
  int32_t previousTime;
  Quaternion previousOrientation;
  SceneRecord* scene;
  int32_t emissionCount;  // entries of `emissions`, one per kind of the type
  ParticleEmission* emissions;
};

struct ParticleRecord {
  ListNode node;
  FixedVector position;
  FixedVector streakStart;
  FixedMatrix orientation;
  FixedVector velocity;  // units per second
  SceneRecord* scene;
  int32_t appearance[5];
  uint32_t kindFlags;
  int32_t lastUpdate;  // game clock, milliseconds
  int32_t state;
  int32_t reach;
  int32_t endTime;
  uint32_t angle;  // Angle16 in the low half
  int32_t fade;
  int32_t spinRate;
  int32_t spinRandom;
  int32_t fadeSpan;
};
constexpr uint32_t kParticleRecordNominalBytes = 43 * 4;
