// The INS_ natives that configure a cockpit (cockpit_natives.cpp): its cameras and scene,
// reference objects, instruments, global settings, tracking, aims and view parameters; and the
// tracking switch the target overlay also uses.
#pragma once

#include <cstdint>

#include "script/tasks.h"

struct CockpitRecord;
struct GuiMaster;
struct SpaceObject;

// Runs native `function` (any number but 0, 1 and the module's fixed answers) and answers the
// task. Arguments past argCount read as 0, and so does an argument that is not an integer.
void RunCockpitNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount,
                      const ScriptValue* args);

// Tracking modes 0 none, 1 cursor, 2 overlay lock, 3 object, 4 enemy. Modes 2 and 3 need an
// object; without one nothing happens.
void CockpitSetTracking(CockpitRecord* cockpit, uint16_t mode, SpaceObject* object);

// Where the tracking tones and the lock event go: the sound module and the script engine in the
// game. A test or a tool may point them elsewhere; a null entry drops the call.
struct CockpitTrackingOutputs {
  void (*playTone)();                                              // sound 1
  void (*notifyTargetLock)(uint32_t targetId, uint32_t cockpitId);  // "NotifyTargetLock"
};
extern CockpitTrackingOutputs gCockpitTrackingOutputs;
