// Writers of the picture and font files the engine reads, for tests, fuzz seeds and the demo:
// TGA pictures (true colour, run-length coded or grey), 1-bit BMP glyph sheets, "abc" font
// metrics in both versions and "siz" width tables, and the demo's default images and font. The
// layouts are the readers' own; writers can also make the damaged files tests need by editing
// the bytes they return. Never used by the engine itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace image_tool {

using Bytes = std::vector<uint8_t>;

// A TGA of type 2 (plain true colour, 16/24/32 bits), 10 (run-length coded, one raw packet per
// row) or 3 (grey, 8 bits) with the top-left origin; pixels are 0xAARRGGBB, row by row.
Bytes MakeTga(uint8_t type, uint8_t bits, uint16_t width, uint16_t height, const std::vector<uint32_t>& argb);

// A 1-bit Windows bitmap, bottom-up rows padded to 4 bytes; `set(x, y)` gives the bit of the
// pixel (y from the top).
template <typename Set>
Bytes MakeMonoBmp(int32_t width, int32_t height, Set set);
Bytes MakeMonoBmpFromRows(int32_t width, int32_t height, const std::vector<std::string>& rows);

// One glyph of an "abc" file: its rectangle in the sheet as fractions of the sheet's size, and
// its placement.
struct AbcGlyph {
  float left, top, bottom;
  int16_t leading;
  uint16_t width;
  int16_t advance;
};
// Version 4: glyphs of the characters first to last, in order.
Bytes MakeAbcV4(uint16_t first, uint16_t last, const std::vector<AbcGlyph>& glyphs);
// Version 5: characters 0 to `remap.size() - 1` through the remap table to the glyph records.
Bytes MakeAbcV5(const std::vector<uint16_t>& remap, const std::vector<AbcGlyph>& glyphs);

// The demo's font: a grid of 8 x 8 cells (1-bit BMP sheet "demo8.bmp") with proportional widths
// ("demo8.siz"), and the eight fixed default images as 4 x 4 DDS files in the texture folder
// ("dds/NONE_WHITE.dds" ...), where the loader looks first for "\NONE_WHITE".
struct NamedFile {
  std::string name;
  Bytes bytes;
};
std::vector<NamedFile> DemoFontFiles();
// The demo font's glyph of a character code: whether pixel (x, y) of its 8 x 8 cell is set, and
// the glyph's width. The 3D text's character bodies are built from the same glyphs.
bool DemoGlyphBit(int32_t code, int32_t x, int32_t y, int32_t width);
int32_t DemoGlyphWidth(int32_t code);
std::vector<NamedFile> DemoDefaultImages();
// The demo's own textures: "textures/vexahull.tga", the hull plating of its bodies.
std::vector<NamedFile> DemoTextures();
// The demo HUD's icon sheet (hud_images.cpp).
std::vector<NamedFile> DemoHudTextures();
// The scene stretch's textures, one per picture format the loader reads: "textures/vexaplanet.dds"
// (DXT1), "textures/vexasky.dds" (a cube map), "textures/vexaship.jpg" (JPEG), and the lens-flare
// glow "textures/vexaflare.tga" and the 3D text's colour "textures/vexaglyph.tga" (true colour).
std::vector<NamedFile> DemoSceneTextures();

template <typename Set>
Bytes MakeMonoBmp(int32_t width, int32_t height, Set set) {
  std::vector<std::string> rows(static_cast<size_t>(height), std::string(static_cast<size_t>(width), '.'));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      if (set(x, y)) rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = '#';
  return MakeMonoBmpFromRows(width, height, rows);
}

}  // namespace image_tool
