// Jobs (one path of a cut played on one instance) and takes (the instances that play a cut
// together). The natives, the frame driver, the simulation and the cockpit call it.
#pragma once

#include <cstdint>

#include "scene/cut_records.h"
#include "scene/take_records.h"

struct InstanceRecord;

// Values a waiting task is woken with.
constexpr int32_t kWakeTakeStopped = 1;
constexpr int32_t kWakeJobEnded = 4;
constexpr int32_t kWakeJobStopped = 5;

TakeRecord* GetTakeByHandle(uint32_t handle);
// The instance's job is playing and has not reported its end.
bool JobIsPlaying(const InstanceRecord* instance);
// Null when memory runs out.
TakeRecord* TakeAlloc();
// A zeroed take record in no table (the save reader gives it its saved handle); null when memory
// runs out. TakeRecordFree gives back the record and its slot array, never the instances.
TakeRecord* TakeRecordAlloc();
void TakeRecordFree(TakeRecord* take);
// False, with nothing changed, for a path number outside the cut.
bool StartInstancePath(InstanceRecord* instance, CutRecord* cut, int32_t n);
bool InstJobPlay(InstanceRecord* instance, int32_t n, CutRecord* cut, int32_t from, int32_t to, bool keep);
bool InstJobPlayCurrent(InstanceRecord* instance, int32_t from, int32_t to, bool keep);
// The remaining time of the job after placing the instance at job time `time`.
int32_t JobUpdate(InstanceRecord* instance, CutRecord* cut, int32_t time);
void J3D_JobStop(InstanceRecord* instance);
int32_t J3D_JobGetRemainingTime(InstanceRecord* instance);
int32_t TakeGetRemainingTime(const TakeRecord* take);
void J3D_TakeStop(TakeRecord* take);
int32_t TakeCheckRunning(TakeRecord* take);
void RebaseAllJobTimes();
// Places the take's instances by the take's origin: position, rotation and velocity turned by
// the take's matrix, then moved by its position and velocity.
void TakeApplyOrigin(TakeRecord* take);
