// The INS_ natives of the map, icons, overlay and tooltip that are answered here (map_natives.cpp):
// the icon lookups, the galaxy map's neighbour search, the tooltip state queries and hiding, the
// overlay brackets and the sidebar instance. Called by the INS_ dispatcher before the cockpit
// natives; the natives of cores not built yet (galaxy map build and hit test, dust scene, symbol
// drawing, overlay hit tests, showing a tooltip) are left to that dispatcher's answer of 0.
#pragma once

#include <cstdint>

#include "script/tasks.h"

struct GuiMaster;
struct CutRecord;

// True when `function` is one of these natives: the task is then answered.
bool RunMapNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount, const ScriptValue* args);

// The galaxy map's layout cut. The map's x runs over the grid's 24 rows, its y over the 20
// columns (universe/galaxy_grid.h).
constexpr int32_t kGalaxyMapCut = 749;

// How a neighbour search learns whether a grid cell is visible when the caller gives no answer:
// the scripts in the game ("GetMapSectorVisibility" on the INS_ module, answered through the GUI
// master's result slot). A test may point it elsewhere.
extern int32_t (*gMapSectorVisibility)(int32_t column, int32_t row);

// The neighbour of grid cell (x, y) on the map laid out by `cut` in `direction` (0 greater py,
// 1 smaller py, 2 smaller px, 3 greater px); false when there is none. `visibility` other than 0
// stands for every cell's visibility; 0 asks gMapSectorVisibility per cell.
bool GalaxyMapNextSector(const CutRecord* cut, int32_t x, int32_t y, int32_t direction, int32_t visibility,
                         int32_t* outColumn, int32_t* outRow);
