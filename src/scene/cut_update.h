// The cut-scene step: once per game frame (UpdateCutScenes, declared in scene/scene.h for the
// game loop) every instance that plays a cut path raises its frame and note events, steps its
// job, lets the active camera path of each cut drive its linked camera, and every take is placed
// by its origin and checked for its end. Called by the game loop when the game is not paused.
#pragma once

#include <cstdint>

struct InstanceRecord;

// The most cut cameras one step lets drive their linked cameras.
constexpr int32_t kCutCameraListCapacity = 1024;

// Steps the instance's children (in child-list order), then the instance.
void StepInstanceCutEvents(InstanceRecord* instance);
