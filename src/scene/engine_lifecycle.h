// The scene engine's lifecycle beyond what the application core calls (scene/scene.h): making the
// state, and what tests and statistics read of the pools. Called by start-up and tests.
#pragma once

#include <cstdint>

#include "scene/engine_records.h"
#include "scene/particle_records.h"

constexpr int32_t kEnginePoolCount = 11;
constexpr int32_t kDefaultShadowAlpha = 200;

// Fills a zeroed state: lists, tables, the native module and the particle pool. False when a
// table could not be made.
bool CreateEngine3D(EngineState3D* state);
// Appends 20000 zeroed particle records to the free list; a record whose allocation fails twice
// is skipped.
void FillParticlePool(EngineState3D* state);
int32_t EnginePoolsReserved();
// Particle records held by the free and active lists.
int32_t ParticlePoolCount();
// What a device reset asks of the scene engine (installed with the engine's tables): the effects
// take back their device resources, and with an environment map it is drawn anew.
void SceneOnDeviceReset();
