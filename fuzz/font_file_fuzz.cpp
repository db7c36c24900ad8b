// Fuzz target of the font loader: the input is a selector byte (sheet type BMP or TGA, metrics
// none, "abc" or "siz", glyph cache on or off, cell size), a 16-bit big-endian sheet length, the
// sheet and then the metrics file. Both are written to the game folder as "fz.*" and opened
// with OpenFont on the recording null device; the font is then measured, wrapped and drawn into
// a small memory surface, and released. Seeds: the demo generator's font and "abc" fonts made by
// the image tool's writers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/gpu.h"
#include "render/display_surface.h"
#include "render/fonts.h"
#include "render/render.h"

namespace {

// Larger sheets are not loaded, so a small file claiming a huge picture cannot make the run
// spend its memory.
constexpr uint64_t kMostPixels = 1u << 18;


uint64_t ClaimedPixels(const uint8_t* d, size_t n, bool bmp) {
  if (bmp) {
    if (n < 26) return 0;
    const uint64_t w = uint32_t(d[18] | d[19] << 8 | d[20] << 16 | uint32_t(d[21]) << 24);
    int32_t h = int32_t(uint32_t(d[22] | d[23] << 8 | d[24] << 16 | uint32_t(d[25]) << 24));
    return w * uint64_t(h < 0 ? -int64_t(h) : h) / 8;
  }
  return n < 16 ? 0 : uint64_t(d[12] | d[13] << 8) * uint64_t(d[14] | d[15] << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  fuzz::World();
  fuzz::UseNullDirect3D();
  const uint8_t selector = data[0];
  const size_t sheetSize = std::min<size_t>(size_t(data[1]) << 8 | data[2], size - 3);
  const uint8_t* sheet = data + 3;
  const uint8_t* metrics = sheet + sheetSize;
  const size_t metricsSize = size - 3 - sheetSize;
  const bool bmp = selector & 1;
  const int metricsKind = (selector >> 1) & 3;  // 0 none, 1 abc, 2 siz
  if (ClaimedPixels(sheet, sheetSize, bmp) > kMostPixels) return 0;
  const std::string sheetName = bmp ? "fz.bmp" : "fz.tga";
  const char* metricsName = metricsKind == 1 ? "fz.abc" : metricsKind == 2 ? "fz.siz" : nullptr;
  if (!fuzz::WriteFile(sheetName, sheet, sheetSize)) return 0;
  if (metricsName && !fuzz::WriteFile(metricsName, metrics, metricsSize)) return 0;
  const uint32_t flags = (selector & 0x8 ? kFontGlyphCache : 0) | (selector & 0x10 ? kTextOutline : 0) | kTextLayer;
  const int32_t cell = 1 + (selector >> 5);
  FontRecord* font = OpenFont("fz", cell * 2, cell * 2, flags, selector & 0x40 ? -3 : 2);
  if (font) {
    static const char kText[] = "Ab c\x1bR\xC3\xA9\xE2\x82\xAC d\nxyz";
    std::vector<uint8_t> pixels(32 * 4 * 16);
    DisplaySurface canvas{};
    canvas.width = 32;
    canvas.height = 16;
    canvas.bitsPerPixel = 32;
    canvas.bytesPerPixel = 4;
    canvas.rowBytes = canvas.pitch = 32 * 4;
    canvas.flags = kSurfaceOwnPixels | kSurfaceLocked | kSurfaceChunky | kSurface32Bit;
    canvas.pixels = pixels.data();
    const char* starts[kTextMaxLines];
    int32_t lengths[kTextMaxLines];
    int32_t widest = 0, block = 0;
    GetTextWidth(font, kText, 0);
    GetTextLineHeight(font, 0);
    TextWrapLines(kText, starts, lengths, 12, font, &widest, &block, 0);
    DrawTextLine(&canvas, font, kText, -3, 2, 30, 0x808080, 0);
  }
  ReleaseFonts();
  fuzz::RemoveFile(sheetName);
  if (metricsName) fuzz::RemoveFile(metricsName);
  gDirect3D = nullptr;
  return 0;
}
