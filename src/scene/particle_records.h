// The particle record of the engine's fixed particle pool and the particle type table rows.
// Record-only header: the renderer includes it.
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
constexpr uint32_t kParticleKindNominalBytes = 32 * 4;

struct ParticleTypeRow {
  int32_t kindCount;
  ParticleKind* kinds;
  int32_t words[2];
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
