// Bitmap fonts from files the tests write: UTF-8 decoding and its ends, the effect layers and
// their scale, grid sheets from a 1-bit BMP whose width is not a multiple of 32, "siz" widths,
// wrapping, ESC colour codes and the shadow pass drawn into 32-bit memory surfaces, "abc" v4 and
// v5 metrics over a 32-bit TGA alpha sheet on the null device (and damaged ones refused), the
// glyph cache, and the ten font slots.
#include "render/fonts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "images/image_writer.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "render/render.h"
#include "support/d3d_world.h"
#include "support/temp_dir.h"

namespace {

using image_tool::AbcGlyph;
using image_tool::Bytes;

// A 32-bit surface holding its pixels in memory.
struct Canvas {
  std::vector<uint8_t> bytes;
  DisplaySurface s{};
  Canvas(int32_t width, int32_t height) {
    s.width = int16_t(width);
    s.height = int16_t(height);
    s.bitsPerPixel = 32;
    s.bytesPerPixel = 4;
    s.flags = kSurfaceOwnPixels | kSurfaceLocked | kSurfaceChunky | kSurface32Bit;
    s.rowBytes = s.pitch = uint16_t(width * 4);
    bytes.assign(size_t(s.pitch) * height, 0);
    s.pixels = bytes.data();
  }
  uint32_t At(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + size_t(y) * s.pitch + x * 4, 4);
    return v & 0xFFFFFF;
  }
  std::string Row(int y) const {
    std::string out;
    for (int x = 0; x < s.width; ++x) out += At(x, y) ? '#' : '.';
    return out;
  }
};

class Fonts : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    block_.fontScale = 1;
    saved_ = gSystem;
    gSystem = &block_;
    RebuildTextEffectTable();
    before_ = MemGetCurrentBytes();
  }
  void TearDown() override {
    ReleaseFonts();
    EXPECT_EQ(MemGetCurrentBytes(), before_);
    RebuildTextEffectTable();
    gSystem = saved_;
    std::filesystem::current_path(previousDir_);
  }
  void Write(const std::string& name, const Bytes& bytes) { dir_.Write(name, std::string(bytes.begin(), bytes.end())); }
  // A grid font "name" of 4 x 4 cells, 16 a row, 8 rows (characters 32 to 159), every cell
  // set, each glyph 4 pixels wide ("siz").
  void BlockFont(const std::string& name) {
    Write(name + ".bmp", image_tool::MakeMonoBmp(64, 32, [](int32_t, int32_t) { return true; }));
    Write(name + ".siz", Bytes(128, 4));
  }

  TempDir dir_;
  std::string previousDir_;
  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
  uint32_t before_ = 0;
};

TEST_F(Fonts, Utf8DecodingStopsAtUnsupportedLeadsAndInnerTerminators) {
  struct Case {
    const char* text;
    int length;  // -1: the text ends
    uint32_t code;
  };
  const Case kCases[] = {
      {"A", 1, 'A'},          {"", 1, 0},           {"\xC3\xA9", 2, 0xE9},        {"\xE2\x82\xAC", 3, 0x20AC},
      {"\xF0\x9F\x98\x80", -1, 0}, {"\xC3", -1, 0}, {"\xE2\x82", -1, 0},          {"\xE2", -1, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    uint32_t code = 0xDEAD;
    const char* next = DecodeUtf8Char(c.text, &code);
    if (c.length < 0) {
      EXPECT_EQ(next, nullptr);
      continue;
    }
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next - c.text, c.length);
    EXPECT_EQ(code, c.code);
  }
  // A 4-byte sequence ends the text at its lead byte.
  BlockFont("block");
  FontRecord* f = OpenFont("block", 4, 4, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(GetTextWidth(f, "ab\xF0\x9F\x98\x80" "cd", kTextLayer), GetTextWidth(f, "ab", kTextLayer));
  EXPECT_EQ(GetTextWidth(f, "ab", kTextLayer), 10);
}

TEST_F(Fonts, EffectMasksMakeLayersBoundsAndTheTextLayerStart) {
  struct Case {
    uint32_t mask;
    int32_t count, start, minX, minY, maxX, maxY;
  };
  const Case kCases[] = {
      {kTextOutline | kTextLayer, 9, 8, -1, -1, 1, 1},
      {kTextLayer, 1, 0, 0, 0, 0, 0},
      {kTextOutline, 8, 8, -1, -1, 1, 1},
      {kTextLayer | kTextBold, 2, 0, 0, 0, 1, 0},
      {0x40 | 0x200 | kTextLayer, 3, 2, 0, -1, 1, 1},
      {0x10000 | kTextLayer, 1, 0, 0, 0, 0, 0},  // not an effect bit
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.mask);
    SelectTextEffects(c.mask);
    EXPECT_EQ(gTextEffects.count, c.count);
    EXPECT_EQ(gTextEffects.textLayerStart, c.start);
    EXPECT_EQ(gTextEffects.minX, c.minX);
    EXPECT_EQ(gTextEffects.minY, c.minY);
    EXPECT_EQ(gTextEffects.maxX, c.maxX);
    EXPECT_EQ(gTextEffects.maxY, c.maxY);
  }
  BlockFont("block");
  FontRecord* f = OpenFont("block", 4, 4, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(GetTextLineHeight(f, kTextLayer), 4);
  EXPECT_EQ(GetTextLineHeight(f, kTextOutline | kTextLayer), 6);
  // At a font scale above 1 the effect offsets double; the bold layer stays one pixel.
  block_.fontScale = 2;
  RebuildTextEffectTable();
  SelectTextEffects(kTextOutline | kTextBold | kTextLayer);
  EXPECT_EQ(gTextEffects.minX, -2);
  EXPECT_EQ(gTextEffects.maxX, 2);
  EXPECT_EQ(gTextEffects.x[gTextEffects.count - 1], 1);
}

TEST_F(Fonts, AGridSheetTwentyPixelsWideDrawsItsRowsUnskewed) {
  // Cells of 10 x 8, two a row: '!' (cell 1) is a bar at its column 1; '"' (cell 2, second row)
  // two dots at (1, 1) and (3, 1). No metrics file: every glyph is as wide as its cell.
  Write("bars.bmp", image_tool::MakeMonoBmp(20, 16, [](int32_t x, int32_t y) {
          return (x == 11 && y >= 1 && y <= 5) || (y == 9 && (x == 1 || x == 3));
        }));
  FontRecord* f = OpenFont("bars", 10, 8, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->perRow, 2);
  EXPECT_EQ(f->firstChar, 32);
  EXPECT_EQ(f->lastChar, 36);
  EXPECT_EQ(f->glyphs->pitch, 4);  // BMP rows padded to 4 bytes
  Canvas canvas(24, 8);
  DrawTextLine(&canvas.s, f, "!\"", 0, 0, 24, 0xFFFFFF, kTextLayer);
  const std::vector<std::string> expected = {
      "#..........#.#..........", "#.......................", "#.......................",
      "#.......................", "#.......................", "........................",
      "........................", "........................"};
  for (int y = 0; y < 8; ++y) EXPECT_EQ(canvas.Row(y), expected[size_t(y)]) << "row " << y;
  // The limit stops the line before a glyph that would pass it.
  Canvas cut(24, 8);
  DrawTextLine(&cut.s, f, "!\"", 0, 0, 15, 0xFFFFFF, kTextLayer);
  EXPECT_EQ(cut.Row(0), "#.......................");
}

TEST_F(Fonts, WrappingBreaksAtBlanksAndKeepsAnOverlongWordsFirstOverflow) {
  BlockFont("block");
  FontRecord* f = OpenFont("block", 4, 4, 0, 0);
  ASSERT_NE(f, nullptr);  // every glyph advances 5
  struct Case {
    const char* text;
    int32_t width;
    std::vector<std::string> lines;
    int32_t widest;
  };
  const Case kCases[] = {
      {"abc def", 25, {"abc", "def"}, 15},  // holds "abc d": the first word, the blank and one letter
      {"abcdefgh", 12, {"abc", "def", "gh"}, 15},
      {"ab\ncd", 100, {"ab", "cd"}, 10},
      {"ab \x1b" "Rcd", 100, {"ab \x1b" "Rcd"}, 25},  // the colour code has no width
      {"", 100, {}, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const char* starts[kTextMaxLines];
    int32_t lengths[kTextMaxLines];
    int32_t widest = -1, block = -1;
    const int32_t n = TextWrapLines(c.text, starts, lengths, c.width, f, &widest, &block, kTextLayer);
    ASSERT_EQ(n, int32_t(c.lines.size()));
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(std::string(starts[i], size_t(lengths[i])), c.lines[size_t(i)]);
    EXPECT_EQ(widest, c.widest);
    EXPECT_EQ(block, 4 * n + 1);
    EXPECT_EQ(TextBlockHeight(f, c.text, c.width, kTextLayer), 4 * n);
  }
  std::string many;
  for (int i = 0; i < 150; ++i) many += "a\n";
  const char* starts[kTextMaxLines];
  int32_t lengths[kTextMaxLines];
  EXPECT_EQ(TextWrapLines(many.c_str(), starts, lengths, 100, f, nullptr, nullptr, kTextLayer), kTextMaxLines);
}

TEST_F(Fonts, EscapeCodesColourTheTextAndTheShadowPassComesFirst) {
  BlockFont("block");
  FontRecord* f = OpenFont("block", 4, 4, 0, 0);
  ASSERT_NE(f, nullptr);
  Canvas canvas(40, 4);
  DrawTextLine(&canvas.s, f, "A\x1bRB\x1bqC\x1bXD", 0, 0, 40, 0x123456, kTextLayer);
  EXPECT_EQ(canvas.At(0, 0), 0x123456u);
  EXPECT_EQ(canvas.At(5, 0), 0xFF5555u);
  EXPECT_EQ(canvas.At(10, 0), 0xFF5555u);  // ESC q changes nothing
  EXPECT_EQ(canvas.At(15, 0), 0x123456u);  // ESC X restores the call's colour
  EXPECT_EQ(canvas.At(20, 0), 0u);
  // Outlined: the outline (shadow colour) lies one pixel around the text layer.
  struct Case {
    uint32_t colour, shadow;
  };
  for (const Case& c : {Case{0x101010, 0xCCCCCC}, Case{0x10FF10, 0x444444}}) {
    Canvas outlined(16, 6);
    DrawTextLine(&outlined.s, f, "A", 0, 0, 16, c.colour, kTextOutline | kTextLayer);
    EXPECT_EQ(outlined.At(0, 1), c.shadow);
    EXPECT_EQ(outlined.At(1, 1), c.colour);
    EXPECT_EQ(outlined.At(5, 1), c.shadow);
  }
  f->shadowColour = 0x00AA00;
  Canvas own(16, 6);
  DrawTextLine(&own.s, f, "A", 0, 0, 16, 0x101010, kTextOutline | kTextLayer);
  EXPECT_EQ(own.At(0, 1), 0x00AA00u);
}

TEST_F(Fonts, SizWidthsAndTheGlyphCache) {
  Write("narrow.bmp", image_tool::MakeMonoBmp(64, 32, [](int32_t, int32_t) { return true; }));
  Bytes widths(128, 2);
  widths[1] = 3;  // '!'
  Write("narrow.siz", widths);
  FontRecord* f = OpenFont("narrow", 4, 4, kFontGlyphCache | kTextOutline | kTextLayer, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->flags & kFontProportional);
  EXPECT_EQ(GetTextWidth(f, "!!", kTextLayer), 8 + 2);  // (1 + 3) x 2 and the outline's 2
  ASSERT_NE(f->cache, nullptr);
  EXPECT_TRUE(f->flags & kFontGlyphCache);
  EXPECT_EQ(f->effectMask, kTextOutline | kTextLayer);
  EXPECT_EQ(f->cache->width, 16);
  EXPECT_EQ(f->cache->height, (4 + 2) * (f->lastChar - f->firstChar + 1));
}

TEST_F(Fonts, TheTableHoldsTenFontsAndReusesNames) {
  for (int i = 0; i <= kFontTableSize; ++i) BlockFont("f" + std::to_string(i));
  FontRecord* first = OpenFont("f0", 4, 4, 0, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->slot, 0);
  EXPECT_EQ(OpenFont("f0", 4, 4, 0, 0), first);
  for (int i = 1; i < kFontTableSize; ++i) {
    FontRecord* f = OpenFont(("f" + std::to_string(i)).c_str(), 4, 4, 0, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->slot, i);
  }
  EXPECT_EQ(OpenFont("f10", 4, 4, 0, 0), nullptr);
  EXPECT_EQ(OpenFont("missing", 4, 4, 0, 0), nullptr);
  ReleaseFonts();
  EXPECT_EQ(gFontTable[0], nullptr);
  EXPECT_NE(OpenFont("f10", 4, 4, 0, 0), nullptr);
}

TEST_F(Fonts, DamagedSheetsAreRefused) {
  const Bytes good = image_tool::MakeMonoBmp(20, 8, [](int32_t, int32_t) { return true; });
  auto edited = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  const struct {
    const char* what;
    Bytes file;
  } kCases[] = {
      {"not BM", edited(0, 'X')},
      {"4 bits", edited(28, 4)},
      {"compressed", edited(30, 1)},
      {"rows cut off", Bytes(good.begin(), good.end() - 1)},
      {"header only", Bytes(good.begin(), good.begin() + 40)},
      {"width 0", edited(18, 0)},
      {"data beyond the file", edited(10, 0xF0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Write("bad.bmp", c.file);
    EXPECT_EQ(LoadFontFile("bad", 4, 4, 0, 0), nullptr);
  }
  // No cell size: a grid cannot be laid out.
  Write("bad.bmp", good);
  EXPECT_EQ(LoadFontFile("bad", 0, 4, 0, 0), nullptr);
}

// "abc" fonts over a 32-bit TGA sheet, which loads as a texture on the null device.
class AbcFonts : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    ASSERT_TRUE(Start({Model("A", {1024, 768, 60, kGpuFmtX8R8G8B8}, {{1024, 768, 60, kGpuFmtX8R8G8B8}})}));
    ASSERT_EQ(SelectDisplayMode(), 1);
    ASSERT_EQ(CreateD3DDevice(), 1);
    RebuildTextEffectTable();
    // An 8 x 4 sheet: opaque white on the left half, transparent on the right.
    std::vector<uint32_t> pixels(32);
    for (int i = 0; i < 32; ++i) pixels[size_t(i)] = i % 8 < 4 ? 0xFFFFFFFF : 0x00FFFFFF;
    Write("sheet.tga", image_tool::MakeTga(2, 32, 8, 4, pixels));
  }
  void TearDown() override {
    ReleaseFonts();
    std::filesystem::current_path(previousDir_);
    D3DWorld::TearDown();
  }
  void Write(const std::string& name, const Bytes& bytes) { dir_.Write(name, std::string(bytes.begin(), bytes.end())); }
  void Metrics(const Bytes& abc) { Write("sheet.abc", abc); }

  // 'A': the left half, leading 1, width 3, advance 4; 'B': the right half's top, width 2.
  const std::vector<AbcGlyph> glyphs_ = {{0.0f, 0.0f, 1.0f, 1, 3, 4}, {0.5f, 0.0f, 0.5f, 0, 2, 2}};
  TempDir dir_;
  std::string previousDir_;
};

TEST_F(AbcFonts, VersionFourPlacesGlyphsAndDrawsThroughTheirAlpha) {
  Metrics(image_tool::MakeAbcV4('A', 'B', glyphs_));
  FontRecord* f = OpenFont("sheet", 8, 8, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->flags & kFontAbcMetrics);
  EXPECT_TRUE(f->flags & kFontAlphaGlyphs);
  EXPECT_EQ(f->cellHeight, 4);
  EXPECT_EQ(f->glyphX[1], 4);
  EXPECT_EQ(GetTextWidth(f, "AB", kTextLayer), 7);
  EXPECT_EQ(GetTextWidth(f, "BA", kTextLayer), 6);  // less the last glyph's advance beyond its width
  Canvas canvas(8, 4);
  DrawTextLine(&canvas.s, f, "A", 0, 0, 8, 0xFFFFFF, kTextLayer);
  // (255 x 255 x 255) >> 16 = 253 on every channel where the sheet is opaque.
  EXPECT_EQ(canvas.Row(0), ".###....");
  EXPECT_EQ(canvas.At(1, 0), 0xFDFDFDu);
  // A y offset moves the glyphs down the sheet.
  ReleaseFonts();
  FontRecord* moved = OpenFont("sheet", 8, 8, 0, 1);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->glyphY[0], 1);
}

TEST_F(AbcFonts, VersionFiveRemapsCharactersAndChecksIndices) {
  std::vector<uint16_t> remap('C' + 1, 0xFFFF);
  remap['A'] = 1;
  remap['B'] = 0;
  Metrics(image_tool::MakeAbcV5(remap, glyphs_));
  FontRecord* f = OpenFont("sheet", 8, 8, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->firstChar, 0);
  EXPECT_EQ(f->lastChar, 'C');
  EXPECT_EQ(GetTextWidth(f, "A", kTextLayer), 2);  // glyph 1: width 2, advance 2
  EXPECT_EQ(GetTextWidth(f, "B", kTextLayer), 1 + 3);
  EXPECT_EQ(GetTextWidth(f, "C", kTextLayer), 0);  // remapped beyond the glyph count
}

TEST_F(AbcFonts, DamagedMetricsAreRefused) {
  const Bytes v4 = image_tool::MakeAbcV4('A', 'B', glyphs_);
  std::vector<uint16_t> remap(3, 0);
  const Bytes v5 = image_tool::MakeAbcV5(remap, glyphs_);
  Bytes version6 = v4;
  version6[3] = 6;
  Bytes reversed = v4;
  reversed[21] = 'C';  // first above last
  Bytes manyGlyphs = v5;
  manyGlyphs[20 + 2 + 6 + 3] = 200;  // a glyph count beyond the records
  const struct {
    const char* what;
    Bytes file;
  } kCases[] = {
      {"version 6", version6},
      {"v4 records cut off", Bytes(v4.begin(), v4.end() - 1)},
      {"v4 first above last", reversed},
      {"v5 remap cut off", Bytes(v5.begin(), v5.begin() + 25)},
      {"v5 glyph count beyond the file", manyGlyphs},
      {"header only", Bytes(v4.begin(), v4.begin() + 10)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Metrics(c.file);
    EXPECT_EQ(LoadFontFile("sheet", 8, 8, 0, 0), nullptr);
  }
  // A sheet that comes back as a default image is no font.
  gLookupImages[15] = CreateImageHandle(32, 1, 1, kSurfaceNoDevice);
  gLookupImages[15]->refCount = 1;
  Write("grey.tga", image_tool::MakeTga(3, 8, 4, 4, {}));
  Write("grey.abc", v4);
  EXPECT_EQ(LoadFontFile("grey", 8, 8, 0, 0), nullptr);
  EXPECT_EQ(gLookupImages[15]->refCount, 1);
}

}  // namespace
