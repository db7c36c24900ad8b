// Takes: the instances that play one cut together, so scripts can start, stop and wait for a
// whole cut scene. The take code fills in the remaining fields. Record-only header.
#pragma once

#include <cstdint>

struct InstanceRecord;

struct TakeRecord {
  uint32_t handle;  // key of the engine's take table
  uint32_t cutHandle;
  int32_t waitModule;
  int32_t waitToken;
  int32_t instanceCount;
  InstanceRecord** instances;  // entries may be null
};
