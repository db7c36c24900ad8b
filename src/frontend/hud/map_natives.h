// The INS_ natives of the map, icons, overlay and tooltip that are answered here (map_natives.cpp):
// the galaxy map's build, clear and neighbour search, the object symbols, the dust scene, the
// overlay icon walk and hit tests, the icon lookups, showing, hiding and querying the tooltip, the
// overlay brackets and the sidebar instance. Called by the INS_ dispatcher before the cockpit
// natives; the galaxy map's hit test (62) is left to that dispatcher's answer of 0.
#pragma once

#include <cstdint>

#include "script/tasks.h"

struct GuiMaster;
struct CutRecord;

// True when `function` is one of these natives: the task is then answered.
bool RunMapNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount, const ScriptValue* args);

// How a neighbour search learns whether a grid cell is visible when the caller gives no answer:
// the scripts in the game ("GetMapSectorVisibility" on the INS_ module, answered through the GUI
// master's result slot). A test may point it elsewhere.
extern int32_t (*gMapSectorVisibility)(int32_t column, int32_t row);

// The neighbour of grid cell (x, y) on the map laid out by `cut` in `direction` (0 greater py,
// 1 smaller py, 2 smaller px, 3 greater px); false when there is none. `visibility` other than 0
// stands for every cell's visibility; 0 asks gMapSectorVisibility per cell.
bool GalaxyMapNextSector(const CutRecord* cut, int32_t x, int32_t y, int32_t direction, int32_t visibility,
                         int32_t* outColumn, int32_t* outRow);
