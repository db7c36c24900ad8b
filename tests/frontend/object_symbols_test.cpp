// Object symbols drawn into memory textures and read back from the drawing records: where the
// stem runs (and where it does not), its tiles with the last one cut, stems and icons cut at the
// texture's edges, the dock and factory marks with the blink phase, missing stem icons, and the
// dotted ellipse's points with their right neighbours.
#include "frontend/hud/object_symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/hud/gui_master.h"
#include "frontend/symbol_atlas.h"
#include "scene/recording.h"
#include "support/drawing_records.h"
#include "support/engine_fixture.h"
#include "support/texture_world.h"

namespace {

// One alpha block: source corner, destination corner, size.
struct Blit {
  int32_t sx, sy, dx, dy, w, h;
  bool operator==(const Blit&) const = default;
};
void PrintTo(const Blit& b, std::ostream* os) {
  *os << "{" << b.sx << "," << b.sy << " -> " << b.dx << "," << b.dy << " " << b.w << "x" << b.h << "}";
}

// The atlas in the source texture: stem tiles 2 x 3, feet 4 x 2, marks 4 x 4, the fallback icon
// 6 x 4.
const IconRecord kAtlas[] = {
    {461, 0, 0, 0, 2, 3},  {464, 0, 2, 0, 2, 3},  {467, 0, 4, 0, 2, 3},  {469, 0, 6, 0, 4, 2},
    {470, 0, 10, 0, 4, 2}, {471, 0, 14, 0, 4, 2}, {528, 0, 18, 0, 4, 4}, {529, 0, 22, 0, 4, 4},
    {530, 0, 26, 0, 4, 4}, {186, 0, 0, 4, 6, 4},
};

constexpr int32_t kTarget = TextureWorld::kWide;  // 256 x 16

// The blocks of the fallback icon and the marks centred on (x, y).
Blit Icon(int32_t x, int32_t y) { return {0, 4, x - 3, y - 2, 6, 4}; }
Blit Mark(int32_t id, int32_t x, int32_t y) { return {18 + 4 * (id - 528), 0, x - 2, y - 2, 4, 4}; }

class Symbols : public testing::Test {
 protected:
  // The alpha blocks one symbol draws into the target.
  std::vector<Blit> Draw(int32_t objClass, int32_t x, int32_t groundY, int32_t y, uint32_t flags) {
    EXPECT_EQ(B3D_InitRecording("symbol"), 1);
    DrawSymbol(&master_, kTarget, objClass, 0, x, groundY, y, flags);
    B3D_ExitRecording();
    std::vector<Blit> out;
    for (const DrawingRecord& r : DrawingRecords(TextureWorld::ReadGzip("symbol.rec"))) {
      EXPECT_EQ(r.tag, "RTBA");
      EXPECT_EQ(r.words[0], TextureWorld::kSource);
      EXPECT_EQ(r.words[1], kTarget);
      out.push_back({r.words[2], r.words[3], r.words[4], r.words[5], r.words[6], r.words[7]});
    }
    return out;
  }

  EngineFixture engine_;
  TextureWorld world_;
  SymbolAtlas atlas_{world_, {std::begin(kAtlas), std::end(kAtlas)}};
  GuiMaster master_{};  // empty icon rows: every symbol is the fallback icon
};

TEST_F(Symbols, TheStemRunsBetweenTheSymbolAndTheGroundLineInTilesWithTheLastOneCut) {
  constexpr uint32_t kStem = kSymbolStem;
  struct Case {
    const char* what;
    int32_t y, groundY;
    uint32_t flags;
    std::vector<Blit> blits;
  };
  const Case kCases[] = {
      {"below, last tile cut", 2, 15, kStem,
       {{0, 0, 19, 8, 2, 3}, {0, 0, 19, 11, 2, 3}, {0, 0, 19, 14, 2, 2}, {6, 0, 18, 14, 4, 2}, Icon(20, 2)}},
      {"above", 12, 1, kStem,
       {{0, 0, 19, 1, 2, 3}, {0, 0, 19, 4, 2, 3}, {0, 0, 19, 7, 2, 1}, {6, 0, 18, 0, 4, 2}, Icon(20, 12)}},
      {"ground 6 below: one row", 2, 8, kStem, {{0, 0, 19, 8, 2, 1}, {6, 0, 18, 7, 4, 2}, Icon(20, 2)}},
      {"ground 5 below: none", 2, 7, kStem, {Icon(20, 2)}},
      {"ground on the symbol: none", 8, 8, kStem, {Icon(20, 8)}},
      {"ground 4 above: none", 10, 6, kStem, {Icon(20, 10)}},
      {"ground 5 above: one row", 10, 5, kStem, {{0, 0, 19, 5, 2, 1}, {6, 0, 18, 4, 4, 2}, Icon(20, 10)}},
      {"start above the texture moves to row 0; the icon is outside", -20, 4, kStem,
       {{0, 0, 19, 0, 2, 3}, {0, 0, 19, 3, 2, 2}, {6, 0, 18, 3, 4, 2}}},
      {"end below the texture stops at its last row; the foot is outside", 2, 40, kStem,
       {{0, 0, 19, 8, 2, 3}, {0, 0, 19, 11, 2, 3}, {0, 0, 19, 14, 2, 2}, Icon(20, 2)}},
      {"all rows above the texture: none", -20, -30, kStem, {}},
      {"symbol at the end of the range", INT32_MAX - 2, 0, kStem,
       {{0, 0, 19, 0, 2, 3}, {0, 0, 19, 3, 2, 3}, {0, 0, 19, 6, 2, 3}, {0, 0, 19, 9, 2, 3}, {0, 0, 19, 12, 2, 3},
        {0, 0, 19, 15, 2, 1}, {6, 0, 18, -1, 4, 2}}},
      {"highlighted", 2, 8, kStem | kSymbolChoice2 | kSymbolRace10,
       {{2, 0, 19, 8, 2, 1}, {10, 0, 18, 7, 4, 2}, Icon(20, 2)}},
      {"own race", 2, 8, kStem | kSymbolRace10, {{4, 0, 19, 8, 2, 1}, {14, 0, 18, 7, 4, 2}, Icon(20, 2)}},
      {"no stem flag", 2, 15, 0, {Icon(20, 2)}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Draw(0, 20, c.groundY, c.y, c.flags), c.blits);
  }
}

TEST_F(Symbols, ASymbolOutsideTheTextureDrawsNoStemButItsIconAndMarkCutAtTheEdge) {
  const uint32_t flags = kSymbolStem | kSymbolRace10;
  EXPECT_EQ(Draw(5, 256, 15, 2, flags), (std::vector<Blit>{Mark(530, 256, 2), Icon(256, 2)}));
  EXPECT_EQ(Draw(5, -1, 15, 2, flags), (std::vector<Blit>{Mark(530, -1, 2), Icon(-1, 2)}));
  EXPECT_EQ(Draw(5, INT32_MIN, 15, INT32_MIN, flags), std::vector<Blit>{}) << "far outside, without overflow";
  // Only the columns inside the texture change.
  world_.Reset();
  for (int x = 0; x < 6; ++x)
    for (int y = 4; y < 8; ++y) world_.source.Put(x, y, 0xFFFFFFFF);
  DrawSymbol(&master_, kTarget, 0, 0, 256, 15, 8, flags);
  EXPECT_EQ(world_.wide.Count(), 3 * 4);
  EXPECT_NE(world_.wide.At(255, 6), 0u);
}

TEST_F(Symbols, DockAndFactoryMarksFollowTheOwnerTheHighlightAndTheBlinkPhase) {
  struct Case {
    int32_t objClass;
    uint32_t flags;
    int32_t mark;  // 0: none
  };
  const uint32_t own = kSymbolRace10, blink = kSymbolBlink;
  const Case kCases[] = {
      {5, own | kSymbolFlagBit15, 528},
      {5, own | kSymbolFlagBit15 | blink, 530},
      {5, own, 530},
      {6, own | kSymbolFlagBit26, 529},
      {6, own | kSymbolFlagBit26 | blink, 530},
      {5, kSymbolChoice2, 529},
      {5, kSymbolChoice2 | blink, 529},
      {5, kSymbolFlagBit26 | kSymbolFlagBit15, 0},
      {6, kSymbolChoice2 | kSymbolNoDockMark, 0},
      {7, own | kSymbolChoice2, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "class " << c.objClass << " flags 0x" << std::hex << c.flags);
    std::vector<Blit> expected;
    if (c.mark) expected.push_back(Mark(c.mark, 40, 8));
    expected.push_back(Icon(40, 8));
    EXPECT_EQ(Draw(c.objClass, 40, 0, 8, c.flags), expected);
  }
}

TEST_F(Symbols, AMissingStemIconDrawsNothingWhereAStemIsDue) {
  for (const int32_t missing : {464, 470}) {  // the highlighted tile and foot
    SCOPED_TRACE(missing);
    atlas_.Use({std::begin(kAtlas), std::end(kAtlas)});
    atlas_.Drop(missing);
    EXPECT_EQ(Draw(5, 20, 15, 2, kSymbolStem | kSymbolChoice2), std::vector<Blit>{});
    EXPECT_EQ(Draw(5, 20, 7, 2, kSymbolStem | kSymbolChoice2), (std::vector<Blit>{Mark(529, 20, 2), Icon(20, 2)}))
        << "no stem is due, so nothing stops";
  }
  atlas_.Use({});
  EXPECT_EQ(Draw(5, 20, 0, 2, kSymbolChoice2), std::vector<Blit>{}) << "no icons at all";
  // A stem tile of no height would never reach the ground line: only the foot is drawn.
  atlas_.Use({{461, 0, 0, 0, 2, 0}, {469, 0, 6, 0, 4, 2}});
  EXPECT_EQ(Draw(0, 20, 15, 2, kSymbolStem), (std::vector<Blit>{{6, 0, 18, 14, 4, 2}}));
}

TEST_F(Symbols, DottedEllipsesSetEachPointAndItsRightNeighbourInsideTheTexture) {
  struct Case {
    int32_t texture, width, height, scale;
    int pixels;
  };
  const Case kCases[] = {
      {TextureWorld::kScaled, 20, 40, 6554, 8},     // radii 2 and 2: the axis points only
      {TextureWorld::kScaled, 40, 40, 0x8000, 32},  // radii 20 and 10: all sixteen points
      {TextureWorld::kTexA, 30, 8, 0x8000, 16},     // radii 15 and 2 on a 16 x 8 texture
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    world_.Reset();
    DrawDottedEllipse(c.texture, c.width, c.height, c.scale, 0xFFFFFF);
    const MemTexture& t = c.texture == TextureWorld::kTexA ? world_.a : world_.scaled;
    EXPECT_EQ(t.Count(), c.pixels);
  }
  world_.Reset();
  DrawDottedEllipse(TextureWorld::kScaled, 20, 40, 6554, 0xFFFFFF);
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{12, 20}, {13, 20}, {8, 20}, {9, 20}, {10, 22},
                                                              {11, 22}, {10, 18}, {11, 18}})
    EXPECT_NE(world_.scaled.At(x, y), 0u) << x << "," << y;
}

}  // namespace
