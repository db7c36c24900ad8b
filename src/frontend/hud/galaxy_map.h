// The galaxy map: a 3D scene of the 24 x 20 sector grid, one model per known sector and one
// connection model per shown gate, placed along the paths of the layout cut, with each sector's
// look and each gate asked from the scripts; its refresh tells the scripts where the sector labels
// appear on screen. One map exists at a time. Called by the INS_ map natives. The map keeps
// instance handles, never pointers, so a script that frees the map's scene leaves nothing behind
// to free twice.
#pragma once

#include <cstdint>

struct CutRecord;
struct InstanceRecord;
struct PathRecord;
struct SceneRecord;
struct FixedVector;

// The map's layout cut. The map's x runs over the grid's 24 rows, its y over the 20 columns
// (universe/galaxy_grid.h).
constexpr int32_t kGalaxyMapCut = 749;
constexpr int32_t kGalaxyMapGateBody = 551;
constexpr int32_t kGalaxyMapGates = 4;
constexpr int32_t kGalaxyMapLooks = 6;
constexpr uint32_t kGalaxyMapInstanceFlag = 0x400;

// Path ids of the layout cut.
constexpr int32_t GalaxySectorPathId(int32_t x, int32_t y) { return 100 * (x + 1) + (y + 1); }
constexpr int32_t GalaxyLabelPathId(int32_t x, int32_t y) { return 10101 + 100 * x + y; }
constexpr int32_t GalaxyGatePathId(int32_t x, int32_t y, int32_t tx, int32_t ty) {
  return 1010101 + 1000000 * x + 10000 * y + 100 * tx + ty;
}

// The path of that id in the cut and its number there (-1 and null when missing).
const PathRecord* FindCutPath(const CutRecord* cut, int32_t id, int32_t* number = nullptr);
// Where a path places its point on the map: its first position key; false without one.
bool PathMapPosition(const PathRecord* path, FixedVector* out);

// Asks the INS_ scripts a question with integer arguments and takes the answer from the GUI
// master's result slot; 0 when there is no integer answer.
int32_t AskMapScripts(const char* name, int32_t argCount, const int32_t* args);

// What the map asks and tells the scripts: "GetMapSectorState", "GetMapGateState" and
// "WriteGalaxyMapSectorName" on the INS_ module in the game. A test may point them elsewhere.
struct GalaxyMapScripts {
  int32_t (*sectorState)(int32_t x, int32_t y);
  int32_t (*gateState)(int32_t x, int32_t y, int32_t gate);
  void (*writeSectorName)(int32_t x, int32_t y, int32_t screenX, int32_t screenY);
};
extern GalaxyMapScripts gGalaxyMapScripts;

// Builds the map into the scene on first use, then refreshes it (this call included): looks
// follow the scripts' sector states and every label point in view is announced. False, building
// nothing, without the layout cut or the scene.
bool BuildGalaxyMap(SceneRecord* scene);
// Frees the map's instances that still exist and forgets the map.
void ClearGalaxyMap();
bool GalaxyMapBuilt();
// The sector whose model lies under the screen point: of the models the scene's first camera
// sees, the one whose centre shows nearest the point, no farther than the pick radius in pixels.
// False without a built map, a camera or such a sector.
constexpr int32_t kGalaxyMapPickRadius = 24;
bool GalaxyMapFindSector(SceneRecord* scene, int32_t screenX, int32_t screenY, int32_t* x, int32_t* y);
// The map's live instances (null when none or freed since).
InstanceRecord* GalaxyMapSectorModel(int32_t x, int32_t y);
InstanceRecord* GalaxyMapGateModel(int32_t x, int32_t y, int32_t gate);
