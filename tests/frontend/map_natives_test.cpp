// The map natives: the galaxy map's neighbour search on a hand-built layout cut (sides, the
// doubled across term, ties, the skipped row or column, visibility asked or given, far positions),
// and through the INS_ dispatcher the tooltip state, hiding by id, the overlay brackets, the
// sidebar instance and the icon lookups.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/hud/icon_types.h"
#include "frontend/hud/map_natives.h"
#include "frontend/cockpit_world.h"
#include "scene/cut_records.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"

namespace {

// A layout cut with one path per listed cell; a path's id is 100 x + y + 101 and its first
// position key places the cell.
class LayoutCut {
 public:
  struct Cell {
    int32_t x, y, px, py;
  };
  explicit LayoutCut(const std::vector<Cell>& cells) : paths_(cells.size()), keys_(cells.size()) {
    for (size_t n = 0; n < cells.size(); ++n) {
      paths_[n].serial = 100 * cells[n].x + cells[n].y + 101;
      keys_[n].position = {cells[n].px, cells[n].py, 0, 0};
      paths_[n].positions = {1, &keys_[n]};
    }
    cut_.pathCount = static_cast<int32_t>(cells.size());
    cut_.paths = paths_.data();
  }
  const CutRecord* cut() const { return &cut_; }

 private:
  std::vector<PathRecord> paths_;
  std::vector<PositionKey> keys_;
  CutRecord cut_{};
};

constexpr int32_t kOne = 0x10000;

// Cell (5, 5) at the origin and candidates around it.
const LayoutCut::Cell kCells[] = {
    {5, 5, 0, 0},
    {3, 2, 0, 5 * kOne / 2},   // straight above, found before (5, 8) at the same distance
    {5, 8, 0, 5 * kOne / 2},   // in the own column: allowed upward
    {8, 9, 2 * kOne, kOne},    // nearer than (5, 8) only without the doubled across term
    {9, 5, 0, kOne},           // in the own row: never a vertical neighbour
    {6, 1, kOne, -kOne},
    {2, 2, 0, -2 * kOne},
    {1, 5, -3 * kOne, 0},
    {2, 7, -2 * kOne, 3 * kOne / 2},
    {5, 3, kOne / 2, 0},       // in the own column: never a sideways neighbour
};

int gAsked = 0;
int32_t HideColumnThree(int32_t column, int32_t) {
  ++gAsked;
  return column == 3 ? 0 : 1;
}

class GalaxyNeighbours : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = gMapSectorVisibility;
    gMapSectorVisibility = HideColumnThree;
    gAsked = 0;
  }
  void TearDown() override { gMapSectorVisibility = saved_; }
  int32_t (*saved_)(int32_t, int32_t) = nullptr;
};

TEST_F(GalaxyNeighbours, EachSideFindsItsNearestWithTheAcrossTermDoubledAndTheFirstOfEqualsKept) {
  const LayoutCut layout({std::begin(kCells), std::end(kCells)});
  struct Case {
    int32_t direction, visibility;
    bool found;
    int32_t column, row;
    int asked;
  };
  const Case kCases[] = {
      {0, 1, true, 3, 2, 0},     // ties with (5, 8): the first found stays
      {0, 0, true, 5, 8, 480},   // (3, 2) hidden by the scripts; (8, 9) loses by the doubled term
      {1, 1, true, 6, 1, 0},
      {2, 1, true, 2, 7, 0},
      {3, 7, true, 6, 1, 0},     // any non-zero visibility stands for all
      {4, 1, false, 0, 0, 0},
      {-1, 0, false, 0, 0, 480},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "direction " << c.direction << " visibility " << c.visibility);
    gAsked = 0;
    int32_t column = -1, row = -1;
    EXPECT_EQ(GalaxyMapNextSector(layout.cut(), 5, 5, c.direction, c.visibility, &column, &row), c.found);
    if (c.found) {
      EXPECT_EQ(column, c.column);
      EXPECT_EQ(row, c.row);
    }
    EXPECT_EQ(gAsked, c.asked);
  }
  int32_t column = 0, row = 0;
  EXPECT_FALSE(GalaxyMapNextSector(layout.cut(), 7, 7, 0, 1, &column, &row)) << "a cell without a path";
  EXPECT_FALSE(GalaxyMapNextSector(nullptr, 5, 5, 0, 1, &column, &row)) << "no layout cut";
}

TEST_F(GalaxyNeighbours, PositionsAtTheEndsOfTheRangeCompareWithoutOverflow) {
  // Squares of these differences overflow 32 bits and, taken signed, 64 bits too.
  const LayoutCut layout({{0, 0, INT32_MIN, INT32_MIN},
                          {1, 1, INT32_MAX, INT32_MAX},
                          {2, 2, INT32_MIN + kOne, INT32_MIN + 2 * kOne}});
  int32_t column = -1, row = -1;
  ASSERT_TRUE(GalaxyMapNextSector(layout.cut(), 0, 0, 0, 1, &column, &row));
  EXPECT_EQ(column, 2);
  EXPECT_EQ(row, 2);
  ASSERT_TRUE(GalaxyMapNextSector(layout.cut(), 2, 2, 3, 1, &column, &row));
  EXPECT_EQ(column, 1);
}

class MapNatives : public CockpitWorld {};

enum : int32_t {
  kObjectIcon = 101, kWeaponIcon = 102, kAmmunitionIcon = 103, kHide = 105, kVisible = 106, kVisibleTime = 107,
  kShowBrackets = 108, kHideBrackets = 109, kSidebar = 110,
};

TEST_F(MapNatives, TheTooltipIsVisibleFromItsAppearTimeAndHidesOnlyForItsOwnIdOrZero) {
  CockpitRecord* c = NewCockpit();
  const int32_t h = static_cast<int32_t>(c->handle);
  InstanceRecord* instance = B3D_InstAlloc();
  ASSERT_NE(instance, nullptr);
  c->tooltip.instance = instance;
  c->tooltip.shown = 1;
  c->tooltip.tooltipId = 7;
  c->tooltip.visibleTime = 2000;
  gSystem->realTime = 1999;
  EXPECT_EQ(Call(kVisible, {h}), 0);
  EXPECT_EQ(Call(kVisibleTime, {h}), 2000);
  gSystem->realTime = 2000;
  EXPECT_EQ(Call(kVisible, {h}), 1);

  EXPECT_EQ(Call(kHide, {h, 8}), 0);
  EXPECT_EQ(c->tooltip.shown, 1u);
  EXPECT_EQ(c->tooltip.tooltipId, 7);
  EXPECT_EQ(instance->flags & kInstInvisible, 0u);

  EXPECT_EQ(Call(kHide, {h, 7}), 0);
  EXPECT_EQ(c->tooltip.shown, 0u);
  EXPECT_EQ(c->tooltip.tooltipId, 0);
  EXPECT_NE(instance->flags & kInstInvisible, 0u);
  EXPECT_EQ(Call(kVisible, {h}), 0);
  EXPECT_EQ(Call(kVisibleTime, {h}), 0);

  // Id 0 hides whatever is shown.
  c->tooltip.shown = 1;
  c->tooltip.tooltipId = 3;
  Call(kHide, {h, 0});
  EXPECT_EQ(c->tooltip.shown, 0u);
  // Unknown cockpits answer 0.
  EXPECT_EQ(Call(kVisibleTime, {h + 1000}), 0);
}

TEST_F(MapNatives, BracketsSidebarAndIconNativesAnswerThroughTheDispatcher) {
  EXPECT_EQ(Call(kShowBrackets), 0);
  EXPECT_EQ(gGuiMaster->overlayBrackets, 1);
  Call(kHideBrackets);
  EXPECT_EQ(gGuiMaster->overlayBrackets, 0);

  InstanceRecord* instance = B3D_InstAlloc();
  ASSERT_NE(instance, nullptr);
  Call(kSidebar, {static_cast<int32_t>(instance->handle)});
  EXPECT_EQ(gGuiMaster->sidebarInstance, instance);
  Call(kSidebar, {0});
  EXPECT_EQ(gGuiMaster->sidebarInstance, nullptr);

  gGuiMaster->iconTypes[kClassShip].icons[0] = 12;
  EXPECT_EQ(Call(kObjectIcon, {kClassShip, 400, 0}), 12);
  EXPECT_EQ(Call(kObjectIcon, {40, 0, 0}), kIconFallback);
  EXPECT_EQ(Call(kAmmunitionIcon, {16, 93}), 77);
  EXPECT_EQ(Call(kWeaponIcon, {kClassShip, 0}), 0);
  FreeInstance(instance);
}

}  // namespace
