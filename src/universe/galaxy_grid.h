// The galaxy grid: 24 x 20 sector cells joined by directed jump-gate records, each with an owner,
// and the route answers over it (first gate, jumps, distance), kept in a lazily filled route
// table and a weighted search. Built and queried by the scripts through the GS_ natives, saved
// in the "GALA" section. Cells are addressed by row and column only: nothing here knows space
// objects, and no caller's row, column, slot or owner ever indexes past the grid.
#pragma once

#include <cstdint>

struct FileObject;
struct ScriptTask;
struct ScriptValue;

constexpr int32_t kGalaxyRows = 24;
constexpr int32_t kGalaxyColumns = 20;
constexpr int32_t kGalaxyCells = kGalaxyRows * kGalaxyColumns;
constexpr int32_t kGalaxyGateSlots = 6;
constexpr int32_t kGalaxyOwners = 20;
constexpr int32_t kGalaxyUnitsPerGrid = 500000;
constexpr uint32_t kGalaxyChunkSize = 47048;

constexpr uint16_t kRouteNotComputed = 0xFFFF;
constexpr uint16_t kRouteUnreachable = 0x0FFF;
constexpr uint16_t kRouteUnreachableDistance = 0x7FFF;
constexpr uint16_t kNoGateDistance = 0xFFFF;

struct GalaxyGate {
  uint8_t toRow;     // 255: no gate
  uint8_t toColumn;  // 255: no gate
  int16_t toSlot;    // -1: no gate; the slot is in use when this is 0 or more
  int32_t x, y, z;   // grid units
};

struct GalaxyCell {
  GalaxyGate gates[kGalaxyGateSlots];
  uint16_t minGateDistance;
  uint16_t owner;
  // Work fields of the route searches; they carry nothing from one search to the next.
  uint16_t cost;
  uint16_t jumps;
  int8_t exitGate;
  int8_t arrivalGate;
  uint8_t reached;
  uint8_t queued;
  int16_t queueNext;
  uint16_t raw;
  int8_t entryGate;
  uint8_t searchState;  // 0 unseen, 1 open, 2 closed
  int16_t parent;
  int64_t g;
};

struct RouteEntry {
  uint16_t code;
  uint16_t distance;
};

struct GalaxyGrid {
  uint32_t moduleNo;  // the GS_ module's row in the script engine
  GalaxyCell cells[kGalaxyCells];
  RouteEntry routes[kGalaxyCells * kGalaxyCells];  // source cell x 480 + target cell
};
extern GalaxyGrid* gGalaxyGrid;

// Answer of the weighted search: first gate slot (-1 same cell, -2 unreachable), distance in grid
// units and jumps.
struct GalaxyRoute {
  int32_t firstGate;
  int32_t distance;
  int32_t jumps;
};

void ClearGalaxyGrid(GalaxyGrid* grid);
void ResetGalaxyRoutes(GalaxyGrid* grid);
// Position in universe units; false (grid unchanged) for anything outside the grid.
bool AddGalaxyGate(GalaxyGrid* grid, int32_t slot, int32_t toSlot, int32_t row, int32_t column, int32_t toRow,
                   int32_t toColumn, int32_t x, int32_t y, int32_t z);
bool RemoveGalaxyGate(GalaxyGrid* grid, int32_t row, int32_t slot, int32_t column);
bool SetGalaxyOwner(GalaxyGrid* grid, int32_t row, int32_t column, int32_t owner);
void RebuildGalaxyCell(GalaxyCell* cell);
// -1 same cell, -2 unreachable or outside the grid, else the first gate slot.
int32_t GetRouteFirstGate(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow, int32_t toColumn);
// Jumps; 0 same cell, -2 unreachable or outside the grid.
int32_t GetRouteLength(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow, int32_t toColumn);
// The cached entry (computing its column when needed); {0x0FFF, 0x7FFF} outside the grid.
RouteEntry GetRouteEntry(GalaxyGrid* grid, int32_t fromCell, int32_t toCell);
// Positions in universe units; weights[20] per owner.
GalaxyRoute FindWeightedRoute(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow,
                              int32_t toColumn, const int32_t fromPos[3], const int32_t toPos[3],
                              const uint32_t weights[kGalaxyOwners]);
// Euclidean distance between grid positions in single precision, truncated; saturates.
int32_t GalaxyDistance(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz);

bool WriteGalaxyGrid(const GalaxyGrid* grid, FileObject* file);
bool ReadGalaxyGrid(GalaxyGrid* grid, FileObject* file);

// The GS_ natives: 0 GS_Route, 1 GS_RouteDist, 2 GS_RouteLen, 3 GS_SetSectorOwner, 4 GS_AddGate,
// 5 GS_RemoveGate. DispatchGalaxyCommand answers through the task; GalaxyCommand computes the
// answer alone.
extern const char* const kGalaxyNativeNames[];
int32_t GalaxyCommand(GalaxyGrid* grid, int32_t function, int32_t argCount, const ScriptValue* args);
int32_t DispatchGalaxyCommand(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                              ScriptValue* args);
