// Takes: the instances that play one cut together, so scripts can start, stop and wait for a
// whole cut scene. The take code fills in the remaining fields. Record-only header.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct InstanceRecord;
struct SceneRecord;

// Each slot of a take's instance array is counted at the 32-bit pointer size.
constexpr uint32_t kTakeSlotNominalBytes = 4;

// Take states.
constexpr int32_t kTakeNew = 0;
constexpr int32_t kTakeStopped = 1;
constexpr int32_t kTakeRunning = 2;

struct TakeRecord {
  uint32_t handle;  // key of the engine's take table
  uint32_t cutHandle;
  int32_t waitModule;
  int32_t waitToken;
  int32_t instanceCount;
  InstanceRecord** instances;  // entries may be null
  SceneRecord* scene;          // set when the take starts
  InstanceRecord* instance;
  FixedVector position;   // the take's origin
  FixedMatrix rotation;   // identity for a new take
  FixedVector velocity;   // added to the instances' velocities
  uint32_t word;
  int32_t state;  // kTakeNew, kTakeStopped or kTakeRunning
};
