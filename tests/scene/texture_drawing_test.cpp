// Drawing into memory textures: collections cut at their pieces, clipped blocks and what their
// records hold, circles that miss, tiles (and tiles of no size), wrapped text blocks with right
// edges counted from the texture's side and the 100-line limit, font-scaled textures, the colour
// packing of drawing records, and the HUD's pixels, lines and alpha blocks.
#include "scene/texture_drawing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "scene/draw_records.h"
#include "scene/engine_records.h"
#include "scene/recording.h"
#include "support/engine_fixture.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/value.h"
#include "support/texture_world.h"

namespace {

struct Record {
  std::string tag;
  std::vector<int32_t> words;  // as stored: 16-bit, sign-extended
  std::string text;
};

// The drawing records of a recording of nothing but drawing: after the 32-byte head, up to "REND".
std::vector<Record> DrawingRecords(const std::vector<uint8_t>& bytes) {
  std::vector<Record> out;
  size_t p = 32;
  while (p + 4 <= bytes.size()) {
    const std::string tag(bytes.begin() + long(p), bytes.begin() + long(p) + 4);
    p += 4;
    if (tag == "REND") break;
    const DrawRecord kind = FindDrawRecord(tag.c_str());
    if (kind == DrawRecord::Count) break;
    Record r{tag, {}, {}};
    for (int i = 0; i < kDrawRecordKinds[int(kind)].words && p + 2 <= bytes.size(); ++i, p += 2)
      r.words.push_back(int16_t(bytes[p] << 8 | bytes[p + 1]));
    if (kDrawRecordKinds[int(kind)].text) {
      const size_t n = uint16_t(r.words.back());
      r.text.assign(bytes.begin() + long(p), bytes.begin() + long(p + n));
      p += n;
    }
    out.push_back(r);
  }
  return out;
}

class TextureDrawing : public ::testing::Test {
 protected:
  void StartRecording() { ASSERT_EQ(B3D_InitRecording("draw"), 1); }
  std::vector<Record> StopRecording() {
    B3D_ExitRecording();
    return DrawingRecords(TextureWorld::ReadGzip("draw.rec"));
  }

  EngineFixture engine_;
  TextureWorld world_;
};

TEST_F(TextureDrawing, RectangleFillPastAnEdgeDrawsOnlyInsideCollectionPieces) {
  B3D_TexRectFill(TextureWorld::kTexA, 10, 2, 10, 2, 0xFFFFFF);
  EXPECT_EQ(world_.a.Count(), 0) << "a plain texture fills nothing past its edge";

  B3D_TexRectFill(TextureWorld::kCollection, 10, 2, 10, 2, 0xFFFFFF);
  EXPECT_EQ(world_.a.Row(2), "..........######");
  EXPECT_EQ(world_.b.Row(2), "####............");
  EXPECT_EQ(world_.a.Count() + world_.b.Count(), 20);
}

TEST_F(TextureDrawing, ClippedBlockDrawsItsInsideAndRecordsTheCallersValues) {
  StartRecording();
  B3D_TexBltBlock(TextureWorld::kSource, TextureWorld::kTexA, 2, 0, -5, 0, 10, 1, -1, 1);
  const auto records = StopRecording();
  // Source columns 7..11 (values 8..12) land at x 0..4.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(world_.a.At(x, 0), uint32_t(x + 8)) << x;
  EXPECT_EQ(world_.a.At(5, 0), 0u);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].tag, "RTBB");
  EXPECT_EQ(records[0].words, (std::vector<int32_t>{TextureWorld::kSource, TextureWorld::kTexA, 2, 0, -5, 0, 10, 1}));
}

TEST_F(TextureDrawing, CircleWhoseSquareMissesDrawsAndRecordsNothing) {
  StartRecording();
  B3D_TexCircleFill(TextureWorld::kTexA, -4, 3, 3, 0x10000, 0xFFFFFF);  // square ends at x -1
  B3D_TexCircle(TextureWorld::kTexA, 3, 11, 3, 0x10000, 0xFFFFFF);      // square starts at y 8
  B3D_TexCircleFill(TextureWorld::kTexA, 8, 4, 2, 0x10000, 0xFFFFFF);
  const auto records = StopRecording();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].tag, "RTCF");
  EXPECT_GT(world_.a.Count(), 0);
}

TEST_F(TextureDrawing, TilesCutTheLastColumnToTheArea) {
  struct Case {
    int32_t areaWidth;
    std::vector<std::pair<int32_t, int32_t>> columns;  // x and width of each recorded block
  };
  const Case kCases[] = {
      {100, {{0, 32}, {32, 32}, {64, 32}, {96, 4}}},
      {20, {{0, 20}}},
      {64, {{0, 32}, {32, 32}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.areaWidth);
    StartRecording();
    B3D_TexBltTiles(TextureWorld::kSource, TextureWorld::kWide, 0, 0, 32, 8, 0, 0, c.areaWidth, 8, -1);
    const auto records = StopRecording();
    ASSERT_EQ(records.size(), c.columns.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].words[4], c.columns[i].first);
      EXPECT_EQ(records[i].words[6], c.columns[i].second);
      EXPECT_EQ(records[i].words[7], 8);
    }
  }
  // Column 96 of the 100-wide area holds source columns 0..3, column 100 stays empty.
  EXPECT_EQ(world_.wide.At(99, 0), 4u);
  EXPECT_EQ(world_.wide.At(100, 0), 0u);
}

TEST_F(TextureDrawing, TilesOfNoSizeAndSourcesPastTheirEndDrawNothingAndEnd) {
  for (int32_t size : {0, -3}) {
    B3D_TexBltTiles(TextureWorld::kSource, TextureWorld::kWide, 0, 0, size, 8, 0, 0, 100, 8, -1);
    B3D_TexBltTilesAlpha(TextureWorld::kSource, TextureWorld::kWide, 0, 0, 8, size, 0, 0, 100, 8, 0xFFFFFF);
  }
  EXPECT_EQ(world_.wide.Count(), 0);
  // Past the source's right and bottom end, and on collection pieces (drawn without the clip flag).
  B3D_TexBltBlock(TextureWorld::kSource, TextureWorld::kTexA, 30, 6, 0, 0, 16, 8, 0, 1);
  B3D_TexBltBlock(TextureWorld::kSource, TextureWorld::kCollection, 20, 0, 10, 0, 40, 40, -1, 0);
  B3D_TexBltBlockAlpha(TextureWorld::kSource, TextureWorld::kTexB, 28, 0, 0, 0, 100, 100, 0xFFFFFF, 0);
  EXPECT_EQ(world_.a.At(0, 0), 31u);
  EXPECT_EQ(world_.a.At(2, 0), 0u);
  EXPECT_EQ(world_.a.At(10, 0), 21u);
}

TEST_F(TextureDrawing, TextBlockWrapsAtTheRightEdgeCountedFromTheTextureSide) {
  const int32_t font = world_.OpenBlockFont();
  ASSERT_GE(font, 0);
  // 240 pixels, five a glyph; a line that overflows keeps its first overflowing glyph.
  const std::string word(48, 'a');
  struct Case {
    int32_t texture, rightEdge, lines;
  };
  const Case kCases[] = {
      {TextureWorld::kWide, 0, 1},       // wraps at 256 - 16 = 240
      {TextureWorld::kWide, -10, 2},     // wraps at 230: the word is cut after 47 glyphs
      {TextureWorld::kWide, 252, 1},     // an edge of 1 or more is used as it is
      {99, 252, 1},                      // missing texture: nothing drawn, lines still counted
      {99, 0, 0},                        // missing texture, edge from its side: 0
      {TextureWorld::kCollection, 0, 12},  // 32 wide: wraps at 16, four glyphs a line
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.rightEdge);
    EXPECT_EQ(B3D_TexTextBlock(c.texture, word.c_str(), font, 16, 0, c.rightEdge, 0xFFFFFF, kTextLayer),
              c.lines);
  }
  EXPECT_EQ(world_.wide.At(16, 0), 0xFFFFFFu);
}

TEST_F(TextureDrawing, TextBlockDrawsAtMostOneHundredLines) {
  const int32_t font = world_.OpenBlockFont();
  std::string text;
  for (int i = 0; i < 101; ++i) text += "x\n";
  StartRecording();
  EXPECT_EQ(B3D_TexTextBlock(TextureWorld::kWide, text.c_str(), font, 0, 0, 0, 0xFFFFFF, kTextLayer), 100);
  const auto records = StopRecording();
  ASSERT_EQ(records.size(), 100u);
  EXPECT_EQ(records[99].tag, "RTTX");
  EXPECT_EQ(records[99].words[3], 99 * 4) << "each line one line step lower";
  EXPECT_EQ(records[99].text, "x");
  EXPECT_EQ(B3D_TexTextBlock(TextureWorld::kWide, nullptr, font, 0, 0, 0, 0xFFFFFF, 0), 0);
}

TEST_F(TextureDrawing, CentredBlocksCentreEachLineAboveTheBottom) {
  const int32_t font = world_.OpenBlockFont();
  StartRecording();
  EXPECT_EQ(B3D_TexTextBlockCentered(TextureWorld::kWide, "ab abcd", font, 4, 0, 40, 20, 0xFFFFFF, kTextLayer), 1);
  EXPECT_EQ(B3D_TexTextBlockCentered(TextureWorld::kWide, "ab abcd", font, 4, 0, 20, 20, 0xFFFFFF, kTextLayer), 2);
  const auto records = StopRecording();
  ASSERT_EQ(records.size(), 3u);
  // One line 35 wide in a block 5 high (line step 4, plus one), right edge x + width.
  EXPECT_EQ(records[0].words[2], 4 + 2);
  EXPECT_EQ(records[0].words[3], 15);
  EXPECT_EQ(records[0].words[4], 44);
  // Two lines, 10 and 20 wide, in a block 9 high.
  EXPECT_EQ(records[1].text, "ab");
  EXPECT_EQ(records[1].words[2], 4 + 5);
  EXPECT_EQ(records[1].words[3], 11);
  EXPECT_EQ(records[2].words[2], 4 + 0);
  EXPECT_EQ(records[2].words[3], 15);
}

TEST_F(TextureDrawing, TextArraysHoldTheWrappedLines) {
  auto* engine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
  ASSERT_TRUE(InitEngineContext(engine));
  const int32_t font = world_.OpenBlockFont();
  ScriptValue lines{};
  EXPECT_EQ(B3D_TexGetTextArray(TextureWorld::kWide, "aaa bbb", font, 20, kTextLayer, &lines), 1);
  ASSERT_EQ(lines.type, kValueArray);
  ASSERT_EQ(GetArraySize(&lines), 2);
  EXPECT_STREQ(ArrayElementPtr(&lines, 0)->string->text, "aaa");
  EXPECT_STREQ(ArrayElementPtr(&lines, 1)->string->text, "bbb");
  EXPECT_EQ(B3D_TexGetTextArray(TextureWorld::kWide, "aaa bbb", font, 0, kTextLayer, &lines), 1);
  EXPECT_EQ(GetArraySize(&lines), 1) << "width 0 counts from the right side";
  EXPECT_EQ(B3D_TexGetTextArray(TextureWorld::kWide, "", font, 20, kTextLayer, &lines), 1);
  EXPECT_EQ(lines.type, kValueInt);
  EXPECT_EQ(lines.i, 0);
  EXPECT_EQ(B3D_TexGetTextArray(99, "aaa", font, 0, kTextLayer, &lines), 0);
  EXPECT_EQ(B3D_TexGetTextArray(99, "aaa", font, 20, kTextLayer, &lines), 1) << "a width of 1 or more needs no texture";
  EXPECT_EQ(B3D_TexGetTextArray(TextureWorld::kWide, nullptr, font, 20, kTextLayer, &lines), 0);
  ReleaseValue(&lines);
  FreeEngineTables(engine);
  MemFreeIfSet(engine);
  gScriptEngine = nullptr;
}

TEST_F(TextureDrawing, TextsLongerThanARecordHoldsAreDrawnAndRecordedCut) {
  const int32_t font = world_.OpenBlockFont();
  const std::string text(70000, 'x');
  StartRecording();
  EXPECT_GT(TexDrawText(TextureWorld::kWide, text.c_str(), font, 0, 0, 256, 0xFFFFFF, kTextLayer), 0);
  const auto records = StopRecording();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(uint16_t(records[0].words[7]), 65535);
  EXPECT_EQ(records[0].text, std::string(65535, 'x'));
}

TEST_F(TextureDrawing, FontScaledTexturesTakeLogicalUnits) {
  world_.block_.fontScale = 2;
  EXPECT_EQ(B3D_TexGetWidth(TextureWorld::kScaled), 256);
  EXPECT_EQ(B3D_TexGetHeight(TextureWorld::kScaled), 32);
  EXPECT_EQ(B3D_TexGetWidth(TextureWorld::kWide), 256);
  B3D_TexBltBlock(TextureWorld::kSource, TextureWorld::kScaled, 0, 0, 10, 10, 1, 1, -1, 1);
  EXPECT_EQ(world_.scaled.At(20, 20), 1u);
  EXPECT_EQ(world_.scaled.Count(), 1);
  TexSetPixel(TextureWorld::kScaled, 3, 4, 0x00FF00);
  EXPECT_EQ(world_.scaled.At(6, 8), 0x00FF00u);
  // A font scale of 0 counts as 1.
  world_.block_.fontScale = 0;
  EXPECT_EQ(B3D_TexGetWidth(TextureWorld::kScaled), 512);
  EXPECT_EQ(B3D_TexTextBlockHeight(TextureWorld::kScaled, "", 0, 10, 0), 0);
}

TEST_F(TextureDrawing, PixelsLinesAndAlphaBlocksReachThePiecesTheyTouch) {
  for (int x = 0; x < 4; ++x) world_.source.Put(x, 7, 0xFFFFFFFF);
  StartRecording();
  TexSetPixel(TextureWorld::kCollection, 20, 3, 0xFF0000);
  TexSetPixel(TextureWorld::kTexA, 16, 0, 0xFF0000);  // outside: recorded, not drawn
  B3D_TexLine(TextureWorld::kCollection, 0, 7, 31, 7, 0x0000FF);
  B3D_TexBltBlockAlpha(TextureWorld::kSource, TextureWorld::kCollection, 0, 7, 14, 1, 4, 1, 0xFFFFFF, 1);
  const auto records = StopRecording();
  EXPECT_EQ(world_.b.At(4, 3), 0xFF0000u);
  EXPECT_EQ(world_.a.Row(7), "################");
  EXPECT_EQ(world_.b.Row(7), "################");
  // Opaque white through a white tint: 255 * 255 * 255 >> 16 per channel.
  EXPECT_EQ(world_.a.At(14, 1), 0xFDFDFDu);
  EXPECT_EQ(world_.b.At(1, 1), 0xFDFDFDu);
  EXPECT_EQ(world_.b.At(2, 1), 0u);
  std::vector<std::string> tags;
  for (const Record& r : records) tags.push_back(r.tag);
  EXPECT_EQ(tags, (std::vector<std::string>{"RTSP", "RTSP", "RTLI", "RTLI", "RTBA", "RTBA"}));
  // The second piece's block starts two source columns on, at the piece's own origin.
  EXPECT_EQ(records[5].words, (std::vector<int32_t>{TextureWorld::kSource, TextureWorld::kTexB, 2, 7, 0, 1, 2, 1,
                                                    int32_t(PackColour15(0xFFFFFF))}));
}

TEST(DrawRecords, ColoursLoseTheirLowBitsAndCircleValuesTheirRemainder) {
  const uint32_t colour = (18u << 16) | (52u << 8) | 86u;
  const uint16_t stored = DrawRecordStoredWord(DrawRecord::RectFill, 5, int32_t(colour));
  EXPECT_EQ(uint32_t(DrawRecordArgument(DrawRecord::RectFill, 5, stored)), (16u << 16) | (48u << 8) | 80u);
  EXPECT_EQ(DrawRecordStoredWord(DrawRecord::Circle, 4, 7), 1);
  EXPECT_EQ(DrawRecordArgument(DrawRecord::Circle, 4, 1), 4);
  EXPECT_EQ(DrawRecordArgument(DrawRecord::RectFill, 1, 0xFFFB), -5);
  EXPECT_EQ(DrawRecordArgument(DrawRecord::Text, 7, 0xFFFF), 65535) << "a text length is never negative";
}

}  // namespace
