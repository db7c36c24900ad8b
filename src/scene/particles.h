// Particle emission and flight over the engine's fixed particle pool: emitters spawn particles
// along their motion since the last call, and every frame the active particles move, spin, fade
// and return to the free list when their life ends. The object effects step and the replay call
// it once per frame; the renderer draws the active list. Records are never allocated here.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/particle_records.h"

// The shortest interval between two spawns of one kind, in milliseconds: a spacing of 0 or a
// random share of 1.0 or more would otherwise spend the whole pool in one call.
constexpr int64_t kMinSpawnInterval = 1;
// A longer gap between two emissions counts as one second: only its last second is spread along
// the emitter's path, so no spawn lies beyond the path's ends.
constexpr int32_t kMaxEmissionGap = 1000;
// The reach of a kind counts Chebyshev distance in units of 1024.
constexpr int kReachShift = 10;

// Spawns the particles of every kind of the emitter's type that are due by `now`, spread along
// the Hermite path from the emitter's previous position and velocity to `position` and
// `velocity`, turning from its previous orientation to `orientation`; then the present values
// become the previous ones. `extraSpeed` adds to the emitter's speed, which shortens the interval.
// Answers the number of particles spawned; a type outside the table spawns none.
int32_t EmitParticles(EmitterRecord* emitter, const FixedVector* position, const Quaternion* orientation,
                      const FixedVector* velocity, int32_t extraSpeed, int32_t now);

// Advances every active particle to the game clock and returns the expired ones to the free list;
// answers the number of active particles visited.
int32_t UpdateParticles();
