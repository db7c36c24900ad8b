// The picture and font file writers (see image_writer.h).
#include "images/image_writer.h"

#include <cstring>

#include "core/byte_order.h"
#include "platform/gpu_constants.h"
#include "platform/gpu_dds.h"

namespace image_tool {

namespace {

void Put16Le(Bytes* out, uint32_t v) { out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32Le(Bytes* out, uint32_t v) { out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
void Put16Be(Bytes* out, uint16_t v) {
  uint8_t b[2];
  StoreBE16(b, v);
  out->insert(out->end(), b, b + 2);
}
void Put32Be(Bytes* out, uint32_t v) {
  uint8_t b[4];
  StoreBE32(b, v);
  out->insert(out->end(), b, b + 4);
}
void PutFloatBe(Bytes* out, float f) {
  uint32_t v = 0;
  std::memcpy(&v, &f, 4);
  Put32Be(out, v);
}

void PutPixel(Bytes* out, uint8_t bits, uint32_t argb) {
  switch (bits) {
    case 8: out->push_back(uint8_t(argb)); break;
    case 16: {
      const uint32_t r = argb >> 19 & 31, g = argb >> 11 & 31, b = argb >> 3 & 31;
      Put16Le(out, (argb >> 31) << 15 | r << 10 | g << 5 | b);
      break;
    }
    case 24: out->insert(out->end(), {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16)}); break;
    default: Put32Le(out, argb); break;
  }
}

void PutGlyphs(Bytes* out, const std::vector<AbcGlyph>& glyphs) {
  for (const AbcGlyph& g : glyphs) {
    PutFloatBe(out, g.left);
    PutFloatBe(out, g.top);
    PutFloatBe(out, 0.0f);
    PutFloatBe(out, g.bottom);
    Put16Be(out, uint16_t(g.leading));
    Put16Be(out, g.width);
    Put16Be(out, uint16_t(g.advance));
    Put16Be(out, 0);
  }
}

}  // namespace

// The demo glyph of a character in an 8 x 8 cell (the cell's first row and column are the grid
// lines): a frame as wide as the character's width with a pattern of its code inside.
bool DemoGlyphBit(int32_t code, int32_t x, int32_t y, int32_t width) {
  if (x < 1 || y < 1 || x > width || y > 6) return false;
  if (code == ' ') return false;
  if (x == 1 || x == width || y == 1 || y == 6) return true;
  return (code >> ((x + y) % 7) & 1) != 0;
}
int32_t DemoGlyphWidth(int32_t code) { return code == ' ' ? 3 : 4 + code % 3; }

Bytes MakeTga(uint8_t type, uint8_t bits, uint16_t width, uint16_t height, const std::vector<uint32_t>& argb) {
  Bytes f = {0, 0, type, 0, 0, 0, 0, 0};
  Put16Le(&f, 0);
  Put16Le(&f, 0);
  Put16Le(&f, width);
  Put16Le(&f, height);
  f.push_back(bits);
  f.push_back(uint8_t((bits == 32 ? 8 : 0) | 0x20));
  for (uint32_t y = 0; y < height; ++y) {
    if (type == 10) f.push_back(uint8_t(width - 1));  // one raw packet per row (width up to 128)
    for (uint32_t x = 0; x < width; ++x) {
      const size_t i = size_t(y) * width + x;
      PutPixel(&f, bits, i < argb.size() ? argb[i] : 0);
    }
  }
  return f;
}

Bytes MakeMonoBmpFromRows(int32_t width, int32_t height, const std::vector<std::string>& rows) {
  const uint32_t rowBytes = (uint32_t(width) + 31) / 32 * 4;
  const uint32_t dataOffset = 14 + 40 + 8;
  Bytes f = {'B', 'M'};
  Put32Le(&f, dataOffset + rowBytes * uint32_t(height));
  Put32Le(&f, 0);
  Put32Le(&f, dataOffset);
  Put32Le(&f, 40);
  Put32Le(&f, uint32_t(width));
  Put32Le(&f, uint32_t(height));
  Put16Le(&f, 1);
  Put16Le(&f, 1);
  Put32Le(&f, 0);
  Put32Le(&f, rowBytes * uint32_t(height));
  Put32Le(&f, 2835);
  Put32Le(&f, 2835);
  Put32Le(&f, 2);
  Put32Le(&f, 0);
  Put32Le(&f, 0x00000000);  // palette: 0 black, 1 white
  Put32Le(&f, 0x00FFFFFF);
  for (int32_t y = height - 1; y >= 0; --y) {
    Bytes row(rowBytes, 0);
    const std::string& text = rows[size_t(y)];
    for (int32_t x = 0; x < width && x < int32_t(text.size()); ++x)
      if (text[size_t(x)] == '#') row[size_t(x) / 8] |= uint8_t(0x80 >> (x & 7));
    f.insert(f.end(), row.begin(), row.end());
  }
  return f;
}

Bytes MakeAbcV4(uint16_t first, uint16_t last, const std::vector<AbcGlyph>& glyphs) {
  Bytes f;
  Put32Be(&f, 4);
  f.resize(20, 0);
  Put16Be(&f, first);
  Put16Be(&f, last);
  f.resize(28, 0);
  PutGlyphs(&f, glyphs);
  return f;
}

Bytes MakeAbcV5(const std::vector<uint16_t>& remap, const std::vector<AbcGlyph>& glyphs) {
  Bytes f;
  Put32Be(&f, 5);
  f.resize(20, 0);
  Put16Be(&f, uint16_t(remap.size() - 1));
  for (uint16_t r : remap) Put16Be(&f, r);
  Put32Be(&f, uint32_t(glyphs.size()));
  PutGlyphs(&f, glyphs);
  return f;
}

std::vector<NamedFile> DemoFontFiles() {
  // Characters 32 to 127 in 16 columns of 6 rows.
  constexpr int32_t kCell = 8, kColumns = 16, kRows = 6;
  Bytes sheet = MakeMonoBmp(kCell * kColumns, kCell * kRows, [](int32_t x, int32_t y) {
    const int32_t code = 32 + (y / kCell) * kColumns + x / kCell;
    return DemoGlyphBit(code, x % kCell, y % kCell, DemoGlyphWidth(code));
  });
  Bytes widths;
  for (int32_t code = 32; code < 32 + kColumns * kRows; ++code) widths.push_back(uint8_t(DemoGlyphWidth(code) + 1));
  return {{"demo8.bmp", sheet}, {"demo8.siz", widths}};
}

std::vector<NamedFile> DemoDefaultImages() {
  struct Image {
    const char* name;
    uint32_t argb;
  };
  const Image kImages[] = {{"NONE_WHITE", 0xFFFFFFFF},      {"NONE_BLACK", 0xFF000000}, {"NONE_NORMAL", 0xFF8080FF},
                           {"NONE_NORMAL_LOW", 0xFF8080FF}, {"NONE_OCCL_DECAL", 0xFFFFFFFF}, {"NONE_GRAY", 0xFF808080},
                           {"NONE_ENVI", 0xFF000000},       {"ENVI", 0xFF405060}};
  std::vector<NamedFile> files;
  for (const Image& image : kImages) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 16; ++i) Put32Le(&pixels, image.argb);  // B, G, R, A in memory
    Bytes file;
    if (GpuDdsWrite(kGpuFmtA8R8G8B8, 4, 4, 1, false, pixels, &file))
      files.push_back({std::string("dds/") + image.name + ".dds", file});
  }
  return files;
}

std::vector<NamedFile> DemoTextures() {
  // Hull plating, 32 x 32: four steel plates with dark seams, a rivet in each plate's corner and
  // an orange band across the lower plates, so every face of a body shows how it is turned.
  constexpr int kSize = 32;
  std::vector<uint32_t> pixels;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int px = x % 16, py = y % 16;
      uint32_t c = ((x / 16 + y / 16) % 2) ? 0xFF8C98AAu : 0xFF7A8698u;
      if (y >= 20 && y < 26) c = 0xFFE08A1Eu;
      if ((px == 3 || px == 12) && (py == 3 || py == 12)) c = 0xFFC8D0DCu;
      if (px == 0 || py == 0) c = 0xFF30343Cu;
      pixels.push_back(c);
    }
  }
  return {{"textures/vexahull.tga", MakeTga(2, 32, kSize, kSize, pixels)}};
}

}  // namespace image_tool
