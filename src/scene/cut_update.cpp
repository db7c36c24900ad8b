// The cut-scene step: frame and note events of every playing cut path, the job steps, the cut
// cameras that drive their linked cameras, and the take walk. Called once per frame by the game
// loop. Script frees raised by the events wait until the step ends (scene/script_frees.h), so no
// pointer the walk holds ever names a freed record; an instance freed by a handler is not stepped
// further. The frame events are counted in steps of a frame, never per millisecond.
#include "scene/cut_update.h"

#include <algorithm>
#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/cut_events.h"
#include "scene/cut_keys.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "scene/script_frees.h"
#include "scene/takes_jobs.h"

namespace {

// Frame events count frames of 33 ms; frame n starts at t = 33 (n - 1) + 1.
constexpr int32_t kFrameMs = 33;
constexpr int32_t kFrameOffset = 1;
constexpr const char kFrameEvent[] = "frame";

struct CutCameraList {
  int32_t count;
  InstanceRecord* entries[kCutCameraListCapacity];
};
CutCameraList gCutCameras;

int32_t GameClock() { return gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0; }

// b - a on the wrapping 32-bit clock.
int32_t Elapsed(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(a));
}

// "frame" for every t in [t1, t2) with t mod 33 = 1, stepping from one such t to the next. Only
// positive t have that remainder.
void RaiseFrameEvents(InstanceRecord* instance, int32_t t1, int32_t t2) {
  int64_t t = std::max<int64_t>(t1, kFrameOffset);
  t += ((kFrameOffset - t) % kFrameMs + kFrameMs) % kFrameMs;
  for (; t < t2 && !InstIsFreeQueued(instance); t += kFrameMs) {
    RaiseCutEvent(instance->scriptReceiver, kFrameEvent, static_cast<int32_t>(t / kFrameMs + 1));
  }
}

// Notes with t1 < time <= t2 that do not lie after the path's end, in note order. Stops when a
// handler freed the instance or the cut.
void PerformNotes(InstanceRecord* instance, CutRecord* cut, int32_t t1, int32_t t2) {
  const uint32_t handle = instance->cutHandle;
  const PathRecord* path = &cut->paths[instance->pathNumber];
  for (int32_t k = 0; k < path->noteCount; ++k) {
    const int32_t time = path->notes[k].time;
    if (time <= t1 || time > t2 || time > instance->rangeEnd) continue;
    ParseCutEvents(instance, path, k);
    if (InstIsFreeQueued(instance) || GetCutByHandle(handle) != cut) return;
  }
}

void StepPlayedPath(InstanceRecord* instance) {
  const uint32_t handle = instance->cutHandle;
  CutRecord* cut = GetCutByHandle(handle);
  if (!cut) return;
  const int32_t now = GameClock();
  const int32_t t1 = Elapsed(instance->jobStart, instance->jobClock);
  const int32_t t2 = Elapsed(instance->jobStart, now);
  instance->jobClock = now;
  const int32_t n = instance->pathNumber;
  if (cut->paths && n >= 0 && n < cut->pathCount && cut->paths[n].noteCount > 0 && cut->paths[n].notes) {
    RaiseFrameEvents(instance, t1, t2);
    if (!InstIsFreeQueued(instance) && GetCutByHandle(handle) == cut) PerformNotes(instance, cut, t1, t2);
    if (InstIsFreeQueued(instance)) return;
    cut = GetCutByHandle(handle);
    if (!cut) return;
  }
  instance->jobFlags &= ~kJobRebased;
  if ((instance->jobFlags & kJobPlaying) && !(instance->jobFlags & kJobEndReported)) JobUpdate(instance, cut, t2);
}

void StepList(ListHead* list) {
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) StepInstanceCutEvents(InstanceOfNode(node));
}

void DriveLinkedCameras() {
  for (int32_t i = 0; i < gCutCameras.count; ++i) {
    const InstanceRecord* source = gCutCameras.entries[i];
    CameraRecord* camera = source->linkedCamera;
    if (!camera || InstIsFreeQueued(source) || InstIsFreeQueued(&camera->instance)) continue;
    camera->instance.position = source->position;
    camera->instance.matrix = source->matrix;
  }
}

// In key order. The keys are taken first: a woken script may free or make takes.
void WalkTakes() {
  HashTable* table = gEngine3D->takeTable;
  std::vector<uint32_t> keys;
  for (uint32_t key = HashNextKey(table, 0); key; key = HashNextKey(table, key)) keys.push_back(key);
  for (const uint32_t key : keys) {
    TakeRecord* take = GetTakeByHandle(key);
    if (!take) continue;
    TakeApplyOrigin(take);
    if (take->state == kTakeRunning) TakeCheckRunning(take);
  }
}

}  // namespace

void StepInstanceCutEvents(InstanceRecord* instance) {
  if (!instance || InstIsFreeQueued(instance)) return;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    StepInstanceCutEvents(child);
  }
  if (instance->cutHandle != 0 && !(instance->jobFlags & kJobEndReported)) StepPlayedPath(instance);
  if (InstIsFreeQueued(instance)) return;
  if ((instance->jobFlags & kJobDrivesCamera) && gCutCameras.count < kCutCameraListCapacity) {
    gCutCameras.entries[gCutCameras.count++] = instance;
  }
}

void UpdateCutScenes() {
  if (!gEngine3D) return;
  gCutCameras.count = 0;
  BeginScriptFreeWalk();
  StepList(&gEngine3D->instances);
  for (ListNode* node = ListFirst(&gEngine3D->scenes); node; node = ListNext(node)) {
    SceneRecord* scene = ListRecord<SceneRecord>(node);
    StepList(&scene->members);
    StepList(&scene->cameras);
  }
  DriveLinkedCameras();
  WalkTakes();
  EndScriptFreeWalk();
}
