// The map natives: the galaxy map's neighbour search on a hand-built layout cut (sides, the
// doubled across term, ties, the skipped row or column, visibility asked or given, far positions),
// and through the INS_ dispatcher the tooltip state, hiding by id, the overlay brackets, the
// sidebar instance, the icon lookups, the symbol and heading-arrow natives; the symbol flags of
// space objects.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/hud/icon_types.h"
#include "frontend/hud/map_natives.h"
#include "frontend/hud/object_symbols.h"
#include "frontend/cockpit_world.h"
#include "frontend/symbol_atlas.h"
#include "scene/recording.h"
#include "support/drawing_records.h"
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

TEST_F(MapNatives, NativesOfTheDustOverlayAndTooltipCoresAnswerZeroForAnyArguments) {
  const int32_t h = static_cast<int32_t>(NewCockpit()->handle);
  struct Case {
    int32_t function;
    std::vector<int32_t> args;
  };
  const Case kCases[] = {
      {68, {}}, {68, {12345}}, {69, {1, 2, 3}},   {97, {h, 1, 1}}, {97, {h + 1000, 0, 0}},
      {98, {h, 5, 5}}, {98, {}}, {99, {h, 5, 5}}, {104, {h, 7, 0, 10, 10}}, {104, {h}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.function);
    EXPECT_EQ(Call(c.function, c.args), 0);
  }
}

class MapSymbols : public MapNatives {
 protected:
  void SetUp() override {
    MapNatives::SetUp();
    gSystem->d3dFlags = world_.block_.d3dFlags;  // textures on
  }

  std::vector<DrawingRecord> Recorded(int32_t function, const std::vector<int32_t>& args) {
    EXPECT_EQ(B3D_InitRecording("natives"), 1);
    EXPECT_EQ(Call(function, args), 0);
    B3D_ExitRecording();
    return DrawingRecords(TextureWorld::ReadGzip("natives.rec"));
  }

  TextureWorld world_;
  SymbolAtlas atlas_{world_, {{kIconFallback, 0, 0, 4, 6, 4}}};
};

enum : int32_t { kDrawSymbol = 66, kDrawArrow = 67 };

TEST_F(MapSymbols, AnObjectsFlagsOwnerClassAndTheClockMakeItsSymbolFlags) {
  CockpitRecord* c = NewCockpit();
  SpaceObject* active = Object(900, kClassShip);
  active->owner = 10;
  c->refObject = active;
  gGuiMaster->activeControlCockpit = c->handle;
  struct Case {
    const char* what;
    uint16_t objClass;
    int16_t subtype;
    uint16_t owner;
    uint32_t flags, flags2;
    bool choice2, choice1, stem;
    uint32_t realTime, expected;
  };
  const uint32_t none = kNoOwner;
  const Case kCases[] = {
      {"first word", 17, 0, none, 1u << 15 | 1u << 26 | 1u << 3 | 1u << 0, 0, false, false, false, 0,
       kSymbolFlagBit15 | kSymbolFlagBit26 | kSymbolFlagBit3},
      {"second word and choices", 17, 0, none, 0, 1u << 12 | 1u << 13 | 1u << 24 | 1u << 3, true, true, false, 0,
       kSymbolSecondBit12 | kSymbolSecondBit13 | kSymbolSecondBit24 | kSymbolChoice2 | kSymbolChoice1},
      {"race 10", 17, 0, 10, 0, 0, false, false, false, 0, kSymbolRace10},
      {"other race", 17, 0, 9, 0, 0, false, false, false, 0, 0},
      {"blink phase begins after 1000 ms", 17, 0, none, 0, 0, false, false, false, 1001, kSymbolBlink},
      {"blink phase at 1000 ms", 17, 0, none, 0, 0, false, false, false, 3000, 0},
      {"blink phase ends with two seconds", 17, 0, none, 0, 0, false, false, false, 3999, kSymbolBlink},
      {"stem", 5, 0, none, 0, 0, false, false, true, 0, kSymbolStem | kSymbolNoDockMark},
      {"flagged missile", 10, 0, none, 1u << 24, 0, false, false, false, 0, kSymbolFlaggedMissile},
      {"missile without bit 24", 10, 0, none, 0, 0, false, false, false, 0, 0},
      {"missile ship type", kClassShip, 320, none, 1u << 24, 0, false, false, false, 0, kSymbolFlaggedMissile},
      {"other ship type", kClassShip, 322, none, 1u << 24, 0, false, false, false, 0, 0},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    SpaceObject* o = Make(k.objClass, k.subtype);
    o->owner = k.owner;
    o->flags = k.flags;
    o->flags2 = k.flags2;
    gSystem->realTime = k.realTime;
    EXPECT_EQ(ObjectSymbolFlags(gGuiMaster, o, k.choice2, k.choice1, k.stem), k.expected);
  }
  gSystem->realTime = 0;
  EXPECT_EQ(ObjectSymbolFlags(gGuiMaster, active, false, false, false), kSymbolRace10 | kSymbolActiveShip);
  active->flags |= 2;
  EXPECT_EQ(ObjectSymbolFlags(gGuiMaster, active, false, false, false), kSymbolRace10)
      << "not with bit 1 of its flag word";
  active->flags = 0;
  active->owner = 9;
  EXPECT_EQ(ObjectSymbolFlags(gGuiMaster, active, false, false, false), 0u) << "own race only";
}

TEST_F(MapSymbols, TheSymbolNativeDrawsAtItsPointIntoTexturesThatExist) {
  for (int x = 0; x < 6; ++x)
    for (int y = 4; y < 8; ++y) world_.source.Put(x, y, 0xFFFFFFFF);
  EXPECT_EQ(Call(kDrawSymbol, {TextureWorld::kWide, 20, 8, 0, 0, 0, 0}), 0);
  EXPECT_EQ(world_.wide.Count(), 6 * 4);
  EXPECT_NE(world_.wide.At(17, 6), 0u);
  EXPECT_EQ(world_.wide.At(16, 6), 0u);
  EXPECT_EQ(world_.wide.At(20, 5), 0u);
  world_.Reset();
  EXPECT_EQ(Call(kDrawSymbol, {TextureWorld::kWide + 0x10000, 20, 8, 0, 0, 0, 0}), 0);
  EXPECT_EQ(world_.wide.Count(), 6 * 4) << "the texture id is 16 bits";
  world_.Reset();
  EXPECT_EQ(Call(kDrawSymbol, {77, 20, 8, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Call(kDrawSymbol, {-1, 20, 8, 0, 0, 0, 0}), 0);
  EXPECT_EQ(world_.wide.Count(), 0);
}

TEST_F(MapSymbols, TheHeadingArrowTurnsItsPointsByTheObjectsMatrix) {
  SpaceObject* o = Object(500, 17);
  // x becomes -z, z becomes x: the arrow points along +x.
  o->instance->matrix = FixedMatrix{};
  o->instance->matrix.m[0][2] = -kOne;
  o->instance->matrix.m[1][1] = kOne;
  o->instance->matrix.m[2][0] = kOne;
  const auto records = Recorded(kDrawArrow, {500, TextureWorld::kScaled, 100, 30, 0});
  struct Line {
    int32_t x0, y0, x1, y1;
    bool operator==(const Line&) const = default;
  };
  std::vector<Line> lines;
  for (const DrawingRecord& r : records) {
    EXPECT_EQ(r.tag, "RTLI");
    lines.push_back({r.words[1], r.words[2], r.words[3], r.words[4]});
  }
  // Tip (110, 30); corners (92, 30), (92, 34), (92, 30), (92, 26): -0.8 x 10 rounds to -8, and
  // the 0.4 offsets to -4 and 4.
  const std::vector<Line> expected = {{110, 30, 92, 30}, {110, 30, 92, 34}, {110, 30, 92, 30}, {110, 30, 92, 26},
                                      {92, 30, 92, 34},  {92, 34, 92, 30},  {92, 30, 92, 26},  {92, 26, 92, 30}};
  EXPECT_TRUE(lines == expected);
  EXPECT_TRUE(Recorded(kDrawArrow, {501, TextureWorld::kScaled, 100, 30, 0}).empty()) << "unknown object";
  EXPECT_TRUE(Recorded(kDrawArrow, {500, 77, 100, 30, 0}).empty()) << "unknown texture";
}

}  // namespace
