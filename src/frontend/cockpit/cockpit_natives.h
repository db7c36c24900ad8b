// The INS_ natives that configure a cockpit, and those of the galaxy map, dust scene, symbols,
// icons, overlay and tooltip, with the message display and nav map cores the cockpit's teardown
// calls. Least form until they are built (cockpit_natives_stub.cpp).
#pragma once

#include <cstdint>

#include "script/tasks.h"

struct CockpitRecord;
struct GuiMaster;

// Runs native `function` (any number but 0, 1 and the module's fixed answers) and answers the
// task. Arguments past argCount read as 0.
void RunCockpitNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount,
                      const ScriptValue* args);
// A null text clears the message display.
void INS_CockpitDisplayMessage(CockpitRecord* cockpit, const char* text);
// 0 clears the nav map.
void INS_CockpitSetNavMap(CockpitRecord* cockpit, int32_t value);
