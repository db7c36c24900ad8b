// The galaxy grid: gate edits, cached route columns, the weighted search against a plain
// Dijkstra, the GS_ commands' argument checks and the "GALA" section's exact bytes.
#include "universe/galaxy_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <queue>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "script/containers.h"
#include "support/script_fixture.h"
#include "support/temp_dir.h"

namespace {

constexpr int32_t kUnit = kGalaxyUnitsPerGrid;

struct GridHolder {
  std::unique_ptr<GalaxyGrid> grid = std::make_unique<GalaxyGrid>();
  GridHolder() { ClearGalaxyGrid(grid.get()); }
  GalaxyGrid* operator->() { return grid.get(); }
  GalaxyGrid* get() { return grid.get(); }
};

// A two-way connection: slot a of cell (r1, c1) and slot b of (r2, c2), positions in grid units.
void Link(GalaxyGrid* g, int r1, int c1, int a, int x1, int r2, int c2, int b, int x2) {
  ASSERT_TRUE(AddGalaxyGate(g, a, b, r1, c1, r2, c2, x1 * kUnit, 0, 0));
  ASSERT_TRUE(AddGalaxyGate(g, b, a, r2, c2, r1, c1, x2 * kUnit, 0, 0));
}

int Cell(int row, int column) { return row * kGalaxyColumns + column; }

std::string WriteSection(GalaxyGrid* grid, const TempDir& dir) {
  FileObject file;
  FileObjectInit(&file);
  const std::string path = dir.File("gala.bin");
  EXPECT_TRUE(FileOpenFromCatalog(&file, path.c_str(), "wb", false));
  EXPECT_TRUE(WriteGalaxyGrid(grid, &file));
  FileClose(&file);
  return dir.Read("gala.bin");
}

bool ReadSection(GalaxyGrid* grid, const TempDir& dir, const std::string& bytes) {
  dir.Write("in.bin", bytes);
  FileObject file;
  FileObjectInit(&file);
  const std::string path = dir.File("in.bin");
  EXPECT_TRUE(FileOpenFromCatalog(&file, path.c_str(), "rb", false));
  const bool ok = ReadGalaxyGrid(grid, &file);
  FileClose(&file);
  return ok;
}

TEST(GalaxyRoutes, TableAnswersForSameCellOneJumpAndUnreachable) {
  GridHolder g;
  Link(g.get(), 0, 0, 2, 10, 0, 1, 4, -10);
  EXPECT_EQ(GetRouteFirstGate(g.get(), 0, 0, 0, 0), -1);
  EXPECT_EQ(GetRouteLength(g.get(), 0, 0, 0, 0), 0);
  const RouteEntry one = GetRouteEntry(g.get(), Cell(0, 0), Cell(0, 1));
  EXPECT_EQ(one.code, (2 << 12) | 1);
  EXPECT_EQ(one.distance, 0);
  EXPECT_EQ(GetRouteFirstGate(g.get(), 0, 0, 0, 1), 2);
  EXPECT_EQ(GetRouteFirstGate(g.get(), 0, 0, 5, 5), -2);
  EXPECT_EQ(GetRouteLength(g.get(), 0, 0, 5, 5), -2);
  const RouteEntry none = GetRouteEntry(g.get(), Cell(0, 0), Cell(5, 5));
  EXPECT_EQ(none.code, kRouteUnreachable);
  EXPECT_EQ(none.distance, kRouteUnreachableDistance);
}

TEST(GalaxyRoutes, GateChangesResetTheCacheOwnerChangesKeepIt) {
  GridHolder g;
  Link(g.get(), 0, 0, 0, 10, 0, 1, 0, -10);
  GetRouteEntry(g.get(), Cell(0, 0), Cell(0, 1));
  EXPECT_NE(g->routes[Cell(0, 0) * kGalaxyCells + Cell(0, 1)].code, kRouteNotComputed);
  ASSERT_TRUE(SetGalaxyOwner(g.get(), 0, 0, 7));
  EXPECT_NE(g->routes[Cell(0, 0) * kGalaxyCells + Cell(0, 1)].code, kRouteNotComputed);
  ASSERT_TRUE(AddGalaxyGate(g.get(), 1, 0, 3, 3, 4, 4, 0, 0, 0));
  EXPECT_EQ(g->routes[Cell(0, 0) * kGalaxyCells + Cell(0, 1)].code, kRouteNotComputed);
  GetRouteEntry(g.get(), Cell(0, 0), Cell(0, 1));
  ASSERT_TRUE(RemoveGalaxyGate(g.get(), 3, 1, 3));
  EXPECT_EQ(g->routes[Cell(0, 0) * kGalaxyCells + Cell(0, 1)].code, kRouteNotComputed);
}

TEST(GalaxyRoutes, MinGateDistanceNeedsTwoGates) {
  GridHolder g;
  EXPECT_EQ(g->cells[0].minGateDistance, kNoGateDistance);
  ASSERT_TRUE(AddGalaxyGate(g.get(), 0, 0, 0, 0, 0, 1, 3 * kUnit, 0, 0));
  EXPECT_EQ(g->cells[0].minGateDistance, kNoGateDistance);
  ASSERT_TRUE(AddGalaxyGate(g.get(), 5, 0, 0, 0, 1, 0, 0, 4 * kUnit, 0));
  EXPECT_EQ(g->cells[0].minGateDistance, 5);
}

// Random two-way grids: the lazily filled table (columns asked in a random order) equals the
// table computed column by column, and reachability equals a breadth-first search.
std::vector<int> HopCounts(GalaxyGrid* g, int target) {
  std::vector<int> hops(kGalaxyCells, -1);
  std::queue<int> open;
  hops[target] = 0;
  open.push(target);
  while (!open.empty()) {
    const int c = open.front();
    open.pop();
    for (const GalaxyGate& gate : g->cells[c].gates) {
      if (gate.toSlot < 0) continue;
      const int n = gate.toRow * kGalaxyColumns + gate.toColumn;
      if (hops[n] < 0) {
        hops[n] = hops[c] + 1;
        open.push(n);
      }
    }
  }
  return hops;
}

void RandomGrid(GalaxyGrid* g, std::mt19937* rng, int links) {
  std::uniform_int_distribution<int> row(0, 5), column(0, 5), slot(0, 5), pos(-4000, 4000);
  for (int k = 0; k < links; ++k) {
    const int r1 = row(*rng), c1 = column(*rng), r2 = row(*rng), c2 = column(*rng), a = slot(*rng), b = slot(*rng);
    if (r1 == r2 && c1 == c2) continue;
    if (g->cells[Cell(r1, c1)].gates[a].toSlot >= 0 || g->cells[Cell(r2, c2)].gates[b].toSlot >= 0) continue;
    AddGalaxyGate(g, a, b, r1, c1, r2, c2, pos(*rng) * kUnit / 1000, pos(*rng) * kUnit / 1000, pos(*rng) * kUnit / 1000);
    AddGalaxyGate(g, b, a, r2, c2, r1, c1, pos(*rng) * kUnit / 1000, pos(*rng) * kUnit / 1000, pos(*rng) * kUnit / 1000);
  }
}

TEST(GalaxyRoutes, LazyColumnsAgreeWithAFullComputation) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    GridHolder lazy, full;
    RandomGrid(lazy.get(), &rng, 40);
    std::copy(std::begin(lazy->cells), std::end(lazy->cells), full->cells);
    for (int t = 0; t < kGalaxyCells; ++t) GetRouteEntry(full.get(), 0, t);
    std::vector<int> order(kGalaxyCells * 4);
    std::uniform_int_distribution<int> any(0, kGalaxyCells - 1);
    for (int k = 0; k < 400; ++k) {
      const int s = any(rng), t = any(rng);
      const RouteEntry a = GetRouteEntry(lazy.get(), s, t);
      const RouteEntry b = full->routes[s * kGalaxyCells + t];
      ASSERT_EQ(a.code, b.code) << "seed " << seed << " " << s << "->" << t;
      ASSERT_EQ(a.distance, b.distance) << "seed " << seed;
      const std::vector<int> hops = HopCounts(lazy.get(), t);
      ASSERT_EQ(a.code == kRouteUnreachable, hops[s] < 0) << "seed " << seed;
    }
  }
}

// Dijkstra over (cell, arrival gate) states under the search's cost rule: the leg from the
// arrival gate (the from position in the start cell) to the exit gate, weighted by the cell's
// owner, and the final leg to the target position. This is the true optimum; the search closes
// whole cells, so it may settle for a longer way but never reports one shorter than this.
int64_t BruteCost(GalaxyGrid* g, int s, int t, const int32_t from[3], const int32_t to[3], const uint32_t* w) {
  constexpr int kStates = kGalaxyGateSlots + 1;
  std::vector<int64_t> best(kGalaxyCells * kStates, INT64_MAX);
  using Item = std::pair<int64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<>> open;
  best[s * kStates] = 0;
  open.push({0, s * kStates});
  int64_t answer = INT64_MAX;
  while (!open.empty()) {
    const auto [cost, state] = open.top();
    open.pop();
    if (cost != best[state]) continue;
    const int c = state / kStates, entry = state % kStates - 1;
    const GalaxyCell& cell = g->cells[c];
    for (int i = 0; i < kGalaxyGateSlots; ++i) {
      const GalaxyGate& gate = cell.gates[i];
      if (gate.toSlot < 0 || i == entry) continue;
      const int n = gate.toRow * kGalaxyColumns + gate.toColumn;
      const int64_t leg = entry < 0 ? GalaxyDistance(from[0], from[1], from[2], gate.x, gate.y, gate.z)
                                    : GalaxyDistance(cell.gates[entry].x, cell.gates[entry].y, cell.gates[entry].z,
                                                     gate.x, gate.y, gate.z);
      const int64_t next = cost + int64_t(w[cell.owner]) * leg;
      if (n == t) {
        const GalaxyGate& arrival = g->cells[t].gates[gate.toSlot];
        answer = std::min(answer, next + int64_t(w[g->cells[t].owner]) *
                                             GalaxyDistance(to[0], to[1], to[2], arrival.x, arrival.y, arrival.z));
      } else if (n != s) {
        const int nextState = n * kStates + gate.toSlot + 1;
        if (next < best[nextState]) {
          best[nextState] = next;
          open.push({next, nextState});
        }
      }
    }
  }
  return answer;
}

TEST(GalaxyRoutes, WeightedSearchAgreesWithDijkstraOnRandomGrids) {
  const uint32_t ones[kGalaxyOwners] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const int32_t origin[3] = {0, 0, 0};
  int compared = 0;
  int longer = 0;
  for (uint32_t seed = 11; seed <= 16; ++seed) {
    std::mt19937 rng(seed);
    GridHolder g;
    RandomGrid(g.get(), &rng, 45);
    for (int s = 0; s < 36; ++s) {
      for (int t = 0; t < 36; ++t) {
        const int sr = s / 6, sc = s % 6, tr = t / 6, tc = t % 6;
        const int sCell = Cell(sr, sc), tCell = Cell(tr, tc);
        if (sCell == tCell) continue;
        const GalaxyRoute route = FindWeightedRoute(g.get(), sr, sc, tr, tc, origin, origin, ones);
        const int64_t brute = BruteCost(g.get(), sCell, tCell, origin, origin, ones);
        if (brute == INT64_MAX) {
          EXPECT_EQ(route.firstGate, -2);
          continue;
        }
        ASSERT_GE(route.firstGate, 0) << "seed " << seed << " " << sCell << "->" << tCell;
        EXPECT_GE(route.distance, brute) << "seed " << seed << " " << sCell << "->" << tCell;
        longer += route.distance > brute;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 100);
  std::printf("weighted search: %d of %d routes longer than the optimum\n", longer, compared);
}

TEST(GalaxyRoutes, LongRoutesSaturateInsteadOfWrapping) {
  GridHolder g;
  // A chain along row 0, every cell crossed from x = -4000 to x = +4000 grid units.
  for (int c = 0; c + 1 < kGalaxyColumns; ++c) Link(g.get(), 0, c, 0, 4000, 0, c + 1, 1, -4000);
  const int32_t origin[3] = {0, 0, 0};
  const uint32_t ones[kGalaxyOwners] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  int32_t previous = 0;
  for (int c = 1; c < kGalaxyColumns; ++c) {
    const GalaxyRoute route = FindWeightedRoute(g.get(), 0, 0, 0, c, origin, origin, ones);
    EXPECT_GE(route.distance, previous) << "column " << c;
    EXPECT_EQ(route.jumps, c);
    previous = route.distance;
    EXPECT_GE(GetRouteEntry(g.get(), Cell(0, 0), Cell(0, c)).distance,
              GetRouteEntry(g.get(), Cell(0, 0), Cell(0, c - 1)).distance);
  }
  EXPECT_EQ(previous, 0xFFFF);
  EXPECT_EQ(GetRouteEntry(g.get(), Cell(0, 0), Cell(0, kGalaxyColumns - 1)).distance, 0xFFFF);
}

// The GS_ commands with script values.
class GalaxyCommandTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    ClearGalaxyGrid(g.get());
  }
  ScriptValue Int(int32_t v) {
    ScriptValue value{};
    SetValueInt(&value, v);
    return value;
  }
  ScriptValue Array(std::vector<int32_t> items) {
    ScriptValue value{};
    AllocArrayValue(&value, int32_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i) ArrayWriteInt(&value, int32_t(i), items[i]);
    return value;
  }
  int32_t Call(int32_t function, std::vector<ScriptValue> args) {
    const int32_t answer = GalaxyCommand(g.get(), function, int32_t(args.size()), args.data());
    for (ScriptValue& value : args) ReleaseValue(&value);
    return answer;
  }
  int32_t Route(int32_t function, int fr, int fc, std::vector<int32_t> from, int tr, int tc, std::vector<int32_t> to,
                int extra = -1, std::vector<int32_t> weights = {}) {
    std::vector<ScriptValue> args = {Int(fr), Int(fc), from.empty() ? Int(0) : Array(from),
                                     Int(tr), Int(tc), to.empty() ? Int(0) : Array(to)};
    if (!weights.empty()) args.push_back(Array(weights));
    else if (extra >= 0) args.push_back(Int(extra));
    return Call(function, std::move(args));
  }
  void Gate(int r, int c, int slot, int tr, int tc, int toSlot, int x) {
    ASSERT_EQ(Call(4, {Int(r), Int(c), Int(slot), Int(tr), Int(tc), Int(toSlot), Array({x * kUnit, 0, 0})}), 0);
  }
  GridHolder g;
};

TEST_F(GalaxyCommandTest, SameCellAndUnreachableAnswers) {
  Gate(0, 0, 0, 0, 1, 0, 10);
  Gate(0, 1, 0, 0, 0, 0, 0);
  EXPECT_EQ(Route(0, 0, 0, {}, 0, 0, {}), -1);
  EXPECT_EQ(Route(2, 0, 0, {}, 0, 0, {}), 0);
  EXPECT_EQ(Route(1, 0, 0, {}, 0, 0, {}), 0);
  EXPECT_EQ(Route(1, 0, 0, {0, 0, 0}, 0, 0, {3 * kUnit, 4 * kUnit, 0}), 5);
  EXPECT_EQ(Route(0, 0, 0, {}, 9, 9, {}), -2);
  EXPECT_EQ(Route(1, 0, 0, {}, 9, 9, {}), -1);
  EXPECT_EQ(Route(2, 0, 0, {}, 9, 9, {}), -2);          // table form
  EXPECT_EQ(Route(2, 0, 0, {}, 9, 9, {}, 0), -1);       // search form
  EXPECT_EQ(Route(2, 0, 0, {0, 0, 0}, 9, 9, {}), -1);   // search form by position
  EXPECT_EQ(Route(0, 0, 0, {}, 0, 1, {}), 0);
  EXPECT_EQ(Route(1, 0, 0, {}, 0, 1, {}, 0), 10);
  EXPECT_EQ(Route(2, 0, 0, {}, 0, 1, {}, 0), 1);
  EXPECT_EQ(Call(99, {}), 0);
}

TEST_F(GalaxyCommandTest, OutOfRangeArgumentsChangeNothing) {
  struct Case {
    int function;
    std::vector<int32_t> ints;
  };
  const Case kCases[] = {
      {3, {24, 0, 1}}, {3, {0, 20, 1}}, {3, {-1, 0, 1}}, {3, {0, 0, 20}}, {3, {0, 0, -1}},
      {4, {0, 0, 6, 0, 1, 0}}, {4, {0, 0, 0, 0, 1, 6}}, {4, {0, 0, -1, 0, 1, 0}}, {4, {24, 0, 0, 0, 1, 0}},
      {4, {0, 0, 0, 24, 1, 0}}, {4, {0, 0, 0, 0, 20, 0}}, {5, {0, 0, 6}}, {5, {0, 20, 0}}, {5, {-1, 0, 0}},
  };
  Gate(0, 0, 0, 0, 1, 0, 10);
  const std::vector<GalaxyCell> before(std::begin(g->cells), std::end(g->cells));
  for (const Case& c : kCases) {
    std::vector<ScriptValue> args;
    for (int32_t v : c.ints) args.push_back(Int(v));
    if (c.function == 4) args.push_back(Array({0, 0, 0}));
    EXPECT_EQ(Call(c.function, std::move(args)), -1) << c.function;
  }
  for (int i = 0; i < kGalaxyCells; ++i) {
    EXPECT_EQ(std::memcmp(g->cells[i].gates, before[i].gates, sizeof(before[i].gates)), 0);
    EXPECT_EQ(g->cells[i].owner, before[i].owner);
  }
  EXPECT_EQ(Route(0, 24, 0, {}, 0, 0, {}), -2);
  EXPECT_EQ(Route(0, 0, 0, {}, 0, -1, {}), -2);
  EXPECT_EQ(Route(1, 0, 20, {}, 0, 0, {}, 0), -1);
  EXPECT_EQ(Route(2, 0, 0, {}, 30, 0, {}, 0), -1);
}

// Two ways from S (0,0) to T (1,1): through B (0,1), 50 units, or through C (1,0), 60 units; S
// and C belong to owner 1.
TEST_F(GalaxyCommandTest, OwnerWeightsChooseTheWay) {
  Gate(0, 0, 0, 0, 1, 0, 10);
  Gate(0, 1, 0, 0, 0, 0, 0);
  Gate(0, 0, 1, 1, 0, 0, -10);
  Gate(1, 0, 0, 0, 0, 1, 0);
  Gate(0, 1, 1, 1, 1, 0, 40);
  Gate(1, 1, 0, 0, 1, 1, 0);
  Gate(1, 0, 1, 1, 1, 1, 50);
  Gate(1, 1, 1, 1, 0, 1, 0);
  ASSERT_EQ(Call(3, {Int(0), Int(0), Int(1)}), 0);
  ASSERT_EQ(Call(3, {Int(1), Int(0), Int(1)}), 0);
  struct Case {
    int ownerB;
    int mask;  // -1: no weights
    std::vector<int32_t> weights;
    int gate;
    int distance;
  };
  const Case kCases[] = {
      {0, -1, {}, 0, 50},        {0, 5, {}, 1, 60},         {2, 5, {}, 1, 60},          {3, 5, {}, 0, 50},
      {1, 5, {}, 0, 50},         {4, -1, {1, 1, 1, 1, 9}, 1, 60}, {4, -1, {0, 0, 0, 0, 1}, 0, 50},
      {4, -1, {9, 9}, 0, 50},    {4, -1, {2, 0, 0, 0, 0}, 0, 50},
  };
  for (const Case& c : kCases) {
    ASSERT_EQ(Call(3, {Int(0), Int(1), Int(c.ownerB)}), 0);
    EXPECT_EQ(Route(0, 0, 0, {0, 0, 0}, 1, 1, {0, 0, 0}, c.mask, c.weights), c.gate) << c.ownerB << " " << c.mask;
    EXPECT_EQ(Route(1, 0, 0, {0, 0, 0}, 1, 1, {0, 0, 0}, c.mask, c.weights), c.distance) << c.ownerB;
    EXPECT_EQ(Route(2, 0, 0, {0, 0, 0}, 1, 1, {0, 0, 0}, c.mask, c.weights), 2);
  }
}

TEST(GalaxySection, ExactSizeAndByteIdenticalRoundTrip) {
  TempDir dir;
  GridHolder g;
  Link(g.get(), 0, 0, 0, 10, 0, 1, 3, -7);
  Link(g.get(), 23, 19, 5, -4000, 12, 7, 2, 1234);
  ASSERT_TRUE(SetGalaxyOwner(g.get(), 23, 19, 19));
  const std::string first = WriteSection(g.get(), dir);
  ASSERT_EQ(first.size(), kGalaxyChunkSize);
  EXPECT_EQ(first.substr(0, 4), "GALA");
  EXPECT_EQ(first.substr(first.size() - 4), "/GAL");
  GridHolder back;
  ASSERT_TRUE(ReadSection(back.get(), dir, first));
  EXPECT_EQ(WriteSection(back.get(), dir), first);
  EXPECT_EQ(back->cells[Cell(23, 19)].owner, 19);
  EXPECT_EQ(back->cells[Cell(0, 0)].minGateDistance, kNoGateDistance);
  EXPECT_EQ(GetRouteFirstGate(back.get(), 0, 0, 0, 1), 0);
}

TEST(GalaxySection, BadSectionsFailAndLeaveTheGridAlone) {
  TempDir dir;
  GridHolder g;
  Link(g.get(), 0, 0, 0, 10, 0, 1, 0, -10);
  const std::string good = WriteSection(g.get(), dir);
  const size_t gate0 = 4;  // cell 0, slot 0
  struct Case {
    const char* name;
    size_t offset;
    std::string bytes;
  };
  const Case kCases[] = {
      {"head tag", 0, "GALB"},
      {"end tag", kGalaxyChunkSize - 4, "/GAX"},
      {"row 24", gate0, std::string(1, char(24))},
      {"column 20", gate0 + 1, std::string(1, char(20))},
      {"slot 6", gate0 + 2, std::string("\0\6", 2)},
      {"slot -2", gate0 + 2, std::string("\xFF\xFE", 2)},
      {"in use without a row", gate0, std::string(1, char(255))},
      {"unused gate, column 200", 4 + 16 + 1, std::string(1, char(200))},
  };
  for (const Case& c : kCases) {
    std::string bytes = good;
    bytes.replace(c.offset, c.bytes.size(), c.bytes);
    GridHolder other;
    Link(other.get(), 5, 5, 1, 1, 5, 6, 1, 1);
    EXPECT_FALSE(ReadSection(other.get(), dir, bytes)) << c.name;
    EXPECT_EQ(other->cells[Cell(5, 5)].gates[1].toSlot, 1) << c.name;
  }
  GridHolder other;
  EXPECT_FALSE(ReadSection(other.get(), dir, good.substr(0, 1000)));
}

// A process without a grid still writes a whole section (that of an empty grid) and checks one.
TEST(GalaxySection, WithoutAGridTheEmptyGridsSectionIsWritten) {
  TempDir dir;
  GridHolder empty;
  const std::string written = WriteSection(nullptr, dir);
  EXPECT_EQ(written, WriteSection(empty.get(), dir));
  EXPECT_TRUE(ReadSection(nullptr, dir, written));
  EXPECT_FALSE(ReadSection(nullptr, dir, written.substr(0, 100)));
}

}  // namespace
