// Frees that scripts ask for (the natives that free instances, lights and cameras) while the
// engine walks its instances and raises script events. Inside such a walk a free takes the
// handles of the record's tree out of the handle table at once, so every later lookup fails as
// after a free, marks the tree and queues it; the walk skips marked records, and the queue is
// freed when the outermost walk ends. Outside a walk the free happens at once. Called by the
// cut-scene step, the note lookup and the native dispatcher; never frees a record twice.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct CameraRecord;

// Walks nest; the queue is freed when the outermost one ends.
void BeginScriptFreeWalk();
void EndScriptFreeWalk();
bool ScriptFreeWalkRunning();

// The record (or an ancestor) is queued for freeing and must not be stepped.
bool InstIsFreeQueued(const InstanceRecord* instance);

// The instance tree calls this for every record it frees: a queued record leaves the queue.
void InstForgetQueuedFree(InstanceRecord* instance);

// B3D_InstFree and B3D_LightFree: the instance with its subtree.
void ScriptFreeInstance(InstanceRecord* instance);
// B3D_CameraFree.
void ScriptFreeCamera(CameraRecord* camera);
