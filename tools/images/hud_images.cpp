// The demo HUD's icon sheet, "textures/effects/menugfx/gui_master.tga" (64 x 64, with alpha):
// the plain crosshair in the left 32 x 32 cell of the top row, the left and the right target
// bracket in the two 16 x 32 cells beside it. Everything else is clear. The demo's icon table
// ("IconData", set 0) names these cells.
#include "images/image_writer.h"

namespace image_tool {

namespace {

constexpr int kSheet = 64;
constexpr uint32_t kClear = 0x00000000u;
constexpr uint32_t kMark = 0xFF60E0FFu;  // light cyan

void Plot(std::vector<uint32_t>* pixels, int x, int y) {
  if (x >= 0 && x < kSheet && y >= 0 && y < kSheet) (*pixels)[static_cast<size_t>(y * kSheet + x)] = kMark;
}

}  // namespace

std::vector<NamedFile> DemoHudTextures() {
  std::vector<uint32_t> pixels(kSheet * kSheet, kClear);
  // Crosshair: two bars 2 pixels thick with a gap around the centre (16, 16).
  for (int i = 4; i < 28; ++i) {
    if (i >= 13 && i < 19) continue;
    for (int t = 15; t < 17; ++t) {
      Plot(&pixels, i, t);
      Plot(&pixels, t, i);
    }
  }
  // Brackets: "[" in the cell at x 32, "]" in the cell at x 48, 2 pixels thick.
  for (int y = 2; y < 30; ++y) {
    for (int t = 0; t < 2; ++t) {
      Plot(&pixels, 36 + t, y);
      Plot(&pixels, 58 + t, y);
    }
  }
  for (int x = 0; x < 8; ++x) {
    for (int t = 0; t < 2; ++t) {
      Plot(&pixels, 36 + x, 2 + t);
      Plot(&pixels, 36 + x, 28 + t);
      Plot(&pixels, 52 + x, 2 + t);
      Plot(&pixels, 52 + x, 28 + t);
    }
  }
  return {{"textures/effects/menugfx/gui_master.tga", MakeTga(2, 32, kSheet, kSheet, pixels)}};
}

}  // namespace image_tool
