// The galaxy grid's operations: gate and owner edits, the route table filled one target column
// at a time, the owner-weighted search, the "GALA" save section and the GS_ native module.
// Called by the save container, the game start-up and loop, and the scripts. Every row, column,
// slot and owner that comes from a script or a file is checked before it indexes the grid; 16-bit
// costs and distances saturate so that a long route never wraps into a short one.
#include "universe/galaxy_grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "script/value.h"

GalaxyGrid* gGalaxyGrid = nullptr;

const char* const kGalaxyNativeNames[] = {"GS_Route",   "GS_RouteDist",  "GS_RouteLen", "GS_SetSectorOwner",
                                          "GS_AddGate", "GS_RemoveGate", nullptr};

namespace {

constexpr uint32_t kCellBytes = kGalaxyGateSlots * 16 + 2;
constexpr uint16_t kColumnStartCost = 32767;
constexpr uint8_t kNoDestination = 255;

bool CellInGrid(int32_t row, int32_t column) {
  return row >= 0 && row < kGalaxyRows && column >= 0 && column < kGalaxyColumns;
}
bool SlotInRange(int32_t slot) { return slot >= 0 && slot < kGalaxyGateSlots; }
bool GateInUse(const GalaxyGate& gate) { return gate.toSlot >= 0; }
int32_t DestinationCell(const GalaxyGate& gate) { return gate.toRow * kGalaxyColumns + gate.toColumn; }

uint16_t Saturate16(int64_t value) {
  return uint16_t(std::clamp<int64_t>(value, 0, 0xFFFF));
}

int32_t GateDistance(const GalaxyGate& a, const GalaxyGate& b) {
  return GalaxyDistance(a.x, a.y, a.z, b.x, b.y, b.z);
}
int32_t CentreDistance(const GalaxyGate& gate) { return GalaxyDistance(0, 0, 0, gate.x, gate.y, gate.z); }
int32_t PointDistance(const int32_t p[3], const GalaxyGate& gate) {
  return GalaxyDistance(p[0], p[1], p[2], gate.x, gate.y, gate.z);
}

void ClearGate(GalaxyGate* gate) { *gate = GalaxyGate{kNoDestination, kNoDestination, -1, 0, 0, 0}; }

// Fills the route-table column of target cell t by first-in first-out relaxation outward from t.
void ComputeRouteColumn(GalaxyGrid* grid, int32_t t) {
  GalaxyCell* cells = grid->cells;
  for (GalaxyCell& cell : grid->cells) {
    cell.cost = kColumnStartCost;
    cell.jumps = 0;
    cell.exitGate = -1;
    cell.arrivalGate = -1;
    cell.reached = 0;
    cell.queued = 0;
    cell.queueNext = -1;
  }
  GalaxyCell& target = cells[t];
  target.cost = 0;
  target.reached = 1;
  target.queued = 1;
  int32_t head = t;
  int32_t tail = t;
  while (head >= 0) {
    const int32_t c = head;
    GalaxyCell& from = cells[c];
    head = from.queueNext;
    if (head < 0) tail = -1;
    from.queueNext = -1;
    from.queued = 0;
    for (int32_t i = 0; i < kGalaxyGateSlots; ++i) {
      const GalaxyGate& gate = from.gates[i];
      if (!GateInUse(gate) || i == from.exitGate) continue;
      const int32_t n = DestinationCell(gate);
      if (n == c || n == t) continue;
      GalaxyCell& next = cells[n];
      const uint16_t cost = c == t ? Saturate16(CentreDistance(gate))
                                   : Saturate16(int64_t(from.cost) + GateDistance(gate, from.gates[from.exitGate]));
      if (next.reached) {
        const int64_t offered = int64_t(CentreDistance(next.gates[gate.toSlot])) + cost;
        const int64_t held = int64_t(CentreDistance(next.gates[next.exitGate])) + next.cost;
        if (offered >= held) continue;
      }
      next.reached = 1;
      next.cost = cost;
      next.jumps = uint16_t(from.jumps + 1);
      next.exitGate = int8_t(gate.toSlot);
      next.arrivalGate = int8_t(c == t ? i : from.arrivalGate);
      if (!next.queued) {
        next.queued = 1;
        if (tail >= 0) {
          cells[tail].queueNext = int16_t(n);
        } else {
          head = n;
        }
        tail = n;
      }
    }
  }
  for (int32_t x = 0; x < kGalaxyCells; ++x) {
    const GalaxyCell& cell = cells[x];
    RouteEntry& entry = grid->routes[x * kGalaxyCells + t];
    if (x == t) {
      entry = RouteEntry{0, 0};
    } else if (!cell.reached) {
      entry = RouteEntry{kRouteUnreachable, kRouteUnreachableDistance};
    } else {
      // A saturated cost keeps the largest distance rather than a smaller remainder.
      const int64_t arrival = CentreDistance(target.gates[cell.arrivalGate]);
      const uint16_t distance = cell.cost == 0xFFFF ? uint16_t(0xFFFF) : Saturate16(int64_t(cell.cost) - arrival);
      entry = RouteEntry{uint16_t((cell.exitGate << 12) | (cell.jumps & 0x0FFF)), distance};
    }
  }
}

void EncodeCell(const GalaxyCell& cell, unsigned char* out) {
  for (const GalaxyGate& gate : cell.gates) {
    out[0] = gate.toRow;
    out[1] = gate.toColumn;
    StoreBE16(out + 2, uint16_t(gate.toSlot));
    StoreBE32(out + 4, uint32_t(gate.x));
    StoreBE32(out + 8, uint32_t(gate.y));
    StoreBE32(out + 12, uint32_t(gate.z));
    out += 16;
  }
  StoreBE16(out, cell.owner);
}

// False for a gate whose destination lies outside the grid or whose slot is not -1 or 0 to 5.
bool DecodeCell(const unsigned char* in, GalaxyCell* cell) {
  for (GalaxyGate& gate : cell->gates) {
    gate.toRow = in[0];
    gate.toColumn = in[1];
    gate.toSlot = int16_t(LoadBE16(in + 2));
    gate.x = int32_t(LoadBE32(in + 4));
    gate.y = int32_t(LoadBE32(in + 8));
    gate.z = int32_t(LoadBE32(in + 12));
    in += 16;
    if (gate.toRow != kNoDestination && gate.toRow >= kGalaxyRows) return false;
    if (gate.toColumn != kNoDestination && gate.toColumn >= kGalaxyColumns) return false;
    if (gate.toSlot < -1 || gate.toSlot >= kGalaxyGateSlots) return false;
    if (GateInUse(gate) && !CellInGrid(gate.toRow, gate.toColumn)) return false;
  }
  cell->owner = LoadBE16(in);
  return true;
}

bool TagMatches(FileObject* file, const char* tag) {
  char got[4];
  return FileReadBytes(file, got, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

int32_t IntElement(const ScriptValue* array, int32_t i) {
  if (!array || array->type != kValueArray || i >= GetArraySize(array)) return 0;
  const ScriptValue* element = ArrayElementPtr(const_cast<ScriptValue*>(array), i);
  if (!element) return 0;
  if (element->type == kValueInt) return element->i;
  if (element->type == kValueDouble) {
    const double d = ValueDouble(element);
    return std::isfinite(d) ? int32_t(std::clamp(d, -2147483648.0, 2147483647.0)) : 0;
  }
  return 0;
}

void ReadPosition(const ScriptValue* args, int32_t count, int32_t i, int32_t out[3]) {
  const ScriptValue* value = i < count ? &args[i] : nullptr;
  for (int32_t k = 0; k < 3; ++k) out[k] = value && value->type == kValueArray ? IntElement(value, k) : 0;
}

bool IsArrayArg(const ScriptValue* args, int32_t count, int32_t i) {
  return i < count && args[i].type == kValueArray;
}

void ReadWeights(const ScriptValue* args, int32_t count, uint32_t weights[kGalaxyOwners]) {
  if (count <= 6) {
    std::fill(weights, weights + kGalaxyOwners, 1u);
    return;
  }
  const ScriptValue* value = &args[6];
  if (value->type == kValueArray) {
    const int32_t first = IntElement(value, 0);
    const uint32_t fallback = first >= 1 && first <= 65535 ? uint32_t(first) : 1u;
    const int32_t size = GetArraySize(value);
    for (int32_t i = 0; i < kGalaxyOwners; ++i) {
      const int32_t element = i < size ? IntElement(value, i) : 0;
      // Weights beyond 16 bits or below 1 cannot be costs; they take the default like zeros do.
      weights[i] = element >= 1 && element <= 65535 ? uint32_t(element) : fallback;
    }
    return;
  }
  const uint32_t mask = uint32_t(ArgInt(6, args, count));
  for (int32_t i = 0; i < kGalaxyOwners; ++i) weights[i] = (mask >> i) & 1u ? 155u : 100u;
}

int32_t RouteCommand(GalaxyGrid* grid, int32_t function, int32_t count, const ScriptValue* args) {
  const int32_t fromRow = ArgInt(0, args, count);
  const int32_t fromColumn = ArgInt(1, args, count);
  const int32_t toRow = ArgInt(3, args, count);
  const int32_t toColumn = ArgInt(4, args, count);
  const bool tableForm = count == 6 && !IsArrayArg(args, count, 2) && !IsArrayArg(args, count, 5);
  if (tableForm && function == 0) return GetRouteFirstGate(grid, fromRow, fromColumn, toRow, toColumn);
  if (tableForm && function == 2) return GetRouteLength(grid, fromRow, fromColumn, toRow, toColumn);
  int32_t fromPos[3];
  int32_t toPos[3];
  ReadPosition(args, count, 2, fromPos);
  ReadPosition(args, count, 5, toPos);
  uint32_t weights[kGalaxyOwners];
  ReadWeights(args, count, weights);
  const GalaxyRoute route = FindWeightedRoute(grid, fromRow, fromColumn, toRow, toColumn, fromPos, toPos, weights);
  if (function == 0) return route.firstGate;
  if (route.firstGate == -2) return -1;
  return function == 1 ? route.distance : route.jumps;
}

}  // namespace

int32_t GalaxyDistance(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz) {
  const float dx = float(int64_t(bx) - ax);
  const float dy = float(int64_t(by) - ay);
  const float dz = float(int64_t(bz) - az);
  const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
  return d >= 2147483520.0f ? INT32_MAX : int32_t(d);
}

void ResetGalaxyRoutes(GalaxyGrid* grid) {
  if (!grid) return;
  std::fill(std::begin(grid->routes), std::end(grid->routes), RouteEntry{kRouteNotComputed, kRouteNotComputed});
}

void ClearGalaxyGrid(GalaxyGrid* grid) {
  if (!grid) return;
  for (GalaxyCell& cell : grid->cells) {
    cell = GalaxyCell{};
    for (GalaxyGate& gate : cell.gates) ClearGate(&gate);
    cell.minGateDistance = kNoGateDistance;
    cell.owner = 0;
  }
  ResetGalaxyRoutes(grid);
}

void RebuildGalaxyCell(GalaxyCell* cell) {
  int32_t best = kNoGateDistance;
  for (int32_t j = 1; j < kGalaxyGateSlots; ++j) {
    if (!GateInUse(cell->gates[j])) continue;
    for (int32_t i = 0; i < j; ++i) {
      if (GateInUse(cell->gates[i])) best = std::min(best, GateDistance(cell->gates[i], cell->gates[j]));
    }
  }
  cell->minGateDistance = uint16_t(best);
}

bool AddGalaxyGate(GalaxyGrid* grid, int32_t slot, int32_t toSlot, int32_t row, int32_t column, int32_t toRow,
                   int32_t toColumn, int32_t x, int32_t y, int32_t z) {
  if (!grid || !SlotInRange(slot) || !SlotInRange(toSlot) || !CellInGrid(row, column) ||
      !CellInGrid(toRow, toColumn)) {
    return false;
  }
  GalaxyCell& cell = grid->cells[row * kGalaxyColumns + column];
  cell.gates[slot] = GalaxyGate{uint8_t(toRow), uint8_t(toColumn), int16_t(toSlot), x / kGalaxyUnitsPerGrid,
                                y / kGalaxyUnitsPerGrid, z / kGalaxyUnitsPerGrid};
  RebuildGalaxyCell(&cell);
  ResetGalaxyRoutes(grid);
  return true;
}

bool RemoveGalaxyGate(GalaxyGrid* grid, int32_t row, int32_t slot, int32_t column) {
  if (!grid || !SlotInRange(slot) || !CellInGrid(row, column)) return false;
  GalaxyCell& cell = grid->cells[row * kGalaxyColumns + column];
  ClearGate(&cell.gates[slot]);
  RebuildGalaxyCell(&cell);
  ResetGalaxyRoutes(grid);
  return true;
}

bool SetGalaxyOwner(GalaxyGrid* grid, int32_t row, int32_t column, int32_t owner) {
  if (!grid || !CellInGrid(row, column) || owner < 0 || owner >= kGalaxyOwners) return false;
  grid->cells[row * kGalaxyColumns + column].owner = uint16_t(owner);
  return true;
}

RouteEntry GetRouteEntry(GalaxyGrid* grid, int32_t fromCell, int32_t toCell) {
  if (!grid || fromCell < 0 || fromCell >= kGalaxyCells || toCell < 0 || toCell >= kGalaxyCells) {
    return RouteEntry{kRouteUnreachable, kRouteUnreachableDistance};
  }
  RouteEntry& entry = grid->routes[fromCell * kGalaxyCells + toCell];
  if (entry.code == kRouteNotComputed) ComputeRouteColumn(grid, toCell);
  return entry;
}

int32_t GetRouteFirstGate(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow, int32_t toColumn) {
  if (!grid || !CellInGrid(fromRow, fromColumn) || !CellInGrid(toRow, toColumn)) return -2;
  const RouteEntry entry =
      GetRouteEntry(grid, fromRow * kGalaxyColumns + fromColumn, toRow * kGalaxyColumns + toColumn);
  if (entry.code == 0) return -1;
  if (entry.code == kRouteUnreachable) return -2;
  return entry.code >> 12;
}

int32_t GetRouteLength(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow, int32_t toColumn) {
  if (!grid || !CellInGrid(fromRow, fromColumn) || !CellInGrid(toRow, toColumn)) return -2;
  const RouteEntry entry =
      GetRouteEntry(grid, fromRow * kGalaxyColumns + fromColumn, toRow * kGalaxyColumns + toColumn);
  if (entry.code == kRouteUnreachable) return -2;
  return entry.code & 0x0FFF;
}

GalaxyRoute FindWeightedRoute(GalaxyGrid* grid, int32_t fromRow, int32_t fromColumn, int32_t toRow,
                              int32_t toColumn, const int32_t fromPos[3], const int32_t toPos[3],
                              const uint32_t weights[kGalaxyOwners]) {
  GalaxyRoute route{-2, 0, 0};
  if (!grid || !CellInGrid(fromRow, fromColumn) || !CellInGrid(toRow, toColumn)) return route;
  const int32_t from[3] = {fromPos[0] / kGalaxyUnitsPerGrid, fromPos[1] / kGalaxyUnitsPerGrid,
                           fromPos[2] / kGalaxyUnitsPerGrid};
  const int32_t to[3] = {toPos[0] / kGalaxyUnitsPerGrid, toPos[1] / kGalaxyUnitsPerGrid,
                         toPos[2] / kGalaxyUnitsPerGrid};
  const int32_t s = fromRow * kGalaxyColumns + fromColumn;
  const int32_t t = toRow * kGalaxyColumns + toColumn;
  if (s == t) {
    route.firstGate = -1;
    route.distance = GalaxyDistance(from[0], from[1], from[2], to[0], to[1], to[2]);
    return route;
  }
  if (GetRouteEntry(grid, s, t).code == kRouteUnreachable) return route;

  int64_t minWeight = 65535;
  for (int32_t i = 0; i < kGalaxyOwners; ++i) minWeight = std::min<int64_t>(minWeight, weights[i]);
  // Owners beyond the weight table (possible only from a hand-made save) weigh the least.
  auto weightOf = [&](const GalaxyCell& cell) {
    return cell.owner < kGalaxyOwners ? int64_t(weights[cell.owner]) : minWeight;
  };
  GalaxyCell* cells = grid->cells;
  GalaxyCell& target = cells[t];
  int64_t nearest = -1;
  for (const GalaxyGate& gate : target.gates) {
    if (GateInUse(gate)) {
      const int64_t d = PointDistance(to, gate);
      nearest = nearest < 0 ? d : std::min(nearest, d);
    }
  }
  const int64_t targetLeg = weightOf(target) * std::max<int64_t>(nearest, 0);

  for (GalaxyCell& cell : grid->cells) {
    cell.searchState = 0;
    cell.parent = -1;
    cell.entryGate = -1;
  }
  using HeapItem = std::pair<int64_t, int32_t>;
  std::vector<HeapItem> heap;
  auto push = [&heap](int64_t key, int32_t cell) {
    heap.emplace_back(key, cell);
    std::push_heap(heap.begin(), heap.end(), std::greater<>());
  };
  GalaxyCell& start = cells[s];
  start.g = 0;
  start.raw = 0;
  start.searchState = 1;
  push(int64_t(GetRouteEntry(grid, s, t).distance) * minWeight + targetLeg, s);
  // The gate each cell was entered through, counted in its parent: the answer's first jump.
  int8_t viaGate[kGalaxyCells];
  bool found = false;
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), std::greater<>());
    const int32_t c = heap.back().second;
    heap.pop_back();
    if (c == t) {
      found = true;
      break;
    }
    GalaxyCell& cell = cells[c];
    if (cell.searchState == 2) continue;
    cell.searchState = 2;
    for (int32_t i = 0; i < kGalaxyGateSlots; ++i) {
      const GalaxyGate& gate = cell.gates[i];
      if (!GateInUse(gate) || i == cell.entryGate) continue;
      const int32_t n = DestinationCell(gate);
      GalaxyCell& next = cells[n];
      if (next.searchState == 2) continue;
      const int64_t leg = c == s ? PointDistance(from, gate) : GateDistance(cell.gates[cell.entryGate], gate);
      const int64_t g = cell.g + weightOf(cell) * leg;
      uint16_t raw = Saturate16(int64_t(cell.raw) + leg);
      if (next.searchState == 1 && next.g <= g) continue;
      int64_t h;
      if (n == t) {
        const int64_t last = PointDistance(to, next.gates[gate.toSlot]);
        h = weightOf(next) * last;
        raw = Saturate16(int64_t(raw) + last);
      } else {
        h = int64_t(GetRouteEntry(grid, n, t).distance) * minWeight +
            int64_t(next.minGateDistance) * weightOf(next) + targetLeg;
      }
      next.searchState = 1;
      next.g = g;
      next.raw = raw;
      next.entryGate = int8_t(gate.toSlot);
      next.parent = int16_t(c);
      viaGate[n] = int8_t(i);
      push(g + h, n);
    }
  }
  // The table can promise a route that one-way gates do not give the search; that is unreachable.
  if (!found) return route;
  route.distance = target.raw;
  int32_t second = t;
  int32_t jumps = 1;
  while (cells[second].parent != s && jumps <= kGalaxyCells) {
    second = cells[second].parent;
    ++jumps;
  }
  route.jumps = jumps;
  route.firstGate = viaGate[second];
  return route;
}

// Without a grid (a process that never registered the module) the section of an empty grid is
// written, and a read section is checked and dropped, so the save stays well-formed either way.
bool WriteGalaxyGrid(const GalaxyGrid* grid, FileObject* file) {
  if (FileWriteBytes(file, "GALA", 4) != 4) return false;
  GalaxyCell empty{};
  for (GalaxyGate& gate : empty.gates) ClearGate(&gate);
  unsigned char buffer[kCellBytes];
  for (int32_t i = 0; i < kGalaxyCells; ++i) {
    EncodeCell(grid ? grid->cells[i] : empty, buffer);
    if (FileWriteBytes(file, buffer, kCellBytes) != kCellBytes) return false;
  }
  return FileWriteBytes(file, "/GAL", 4) == 4;
}

bool ReadGalaxyGrid(GalaxyGrid* grid, FileObject* file) {
  if (!TagMatches(file, "GALA")) return false;
  // Read whole before the grid changes: a bad section leaves the grid as it was.
  std::unique_ptr<GalaxyCell[]> cells(new GalaxyCell[kGalaxyCells]());
  unsigned char buffer[kCellBytes];
  for (int32_t i = 0; i < kGalaxyCells; ++i) {
    if (FileReadBytes(file, buffer, kCellBytes) != kCellBytes || !DecodeCell(buffer, &cells[i])) return false;
    RebuildGalaxyCell(&cells[i]);
  }
  if (!TagMatches(file, "/GAL")) return false;
  if (!grid) return true;
  std::copy(cells.get(), cells.get() + kGalaxyCells, grid->cells);
  ResetGalaxyRoutes(grid);
  return true;
}

bool WriteGalaxyChunk(FileObject* file) { return WriteGalaxyGrid(gGalaxyGrid, file); }
bool ReadGalaxyChunk(FileObject* file) { return ReadGalaxyGrid(gGalaxyGrid, file); }

int32_t GalaxyCommand(GalaxyGrid* grid, int32_t function, int32_t count, const ScriptValue* args) {
  if (!args) count = 0;
  switch (function) {
    case 0:
    case 1:
    case 2:
      return RouteCommand(grid, function, count, args);
    case 3:
      return SetGalaxyOwner(grid, ArgInt(0, args, count), ArgInt(1, args, count), ArgInt(2, args, count)) ? 0 : -1;
    case 4: {
      int32_t position[3];
      ReadPosition(args, count, 6, position);
      return AddGalaxyGate(grid, ArgInt(2, args, count), ArgInt(5, args, count), ArgInt(0, args, count),
                           ArgInt(1, args, count), ArgInt(3, args, count), ArgInt(4, args, count), position[0],
                           position[1], position[2])
                 ? 0
                 : -1;
    }
    case 5:
      return RemoveGalaxyGate(grid, ArgInt(0, args, count), ArgInt(2, args, count), ArgInt(1, args, count)) ? 0 : -1;
    default:
      return 0;
  }
}

int32_t DispatchGalaxyCommand(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  ReturnInt(task, gScriptEngine, GalaxyCommand(gGalaxyGrid, function, argCount, args));
  return 1;
}

void RegisterGalaxyModule(GalaxyGrid* grid) {
  if (!grid) return;
  grid->moduleNo = uint32_t(RegisterNativeModule(gScriptEngine, DispatchGalaxyCommand, kGalaxyNativeNames, nullptr,
                                                 nullptr, nullptr));
  gGalaxyGrid = grid;
  ClearGalaxyGrid(grid);
}
