// The tooltip box's rules: when a shown text counts as visible, where the box goes on the display,
// and the nine-part frame it is drawn with inside its 256 x 256 texture. Called by the tooltip
// code; pure, it never draws or reads the clock, and every size it gives stays inside the texture.
#pragma once

#include <cstdint>

constexpr int32_t kTooltipTextureSize = 256;
constexpr int kTooltipFrameParts = 9;

// The time from which a tooltip counts as shown. `showing` is true when the tooltip is visible and
// holds a text; `sameText` when the new text equals it.
uint32_t TooltipShowTime(bool showing, bool sameText, uint32_t oldShowTime, uint32_t now, int32_t delay);

struct TooltipBox {
  int32_t x, y;
  int32_t width;   // of the whole box
  int32_t height;  // the text height h; the frame is h + 6 high
};

// Sizes the box from the text width and the font's line height plus leading (both in display
// pixels before the scale divisor) and places it at (x, y) on a display of the given size: kept
// inside the right edge and 2 pixels from the left and top, flipped above the point near the
// bottom. Width and height are clamped so the frame fits the texture with inner sizes of 0 or more.
TooltipBox PlaceTooltip(int32_t textWidth, int32_t lineHeight, int32_t scaleDivisor, int32_t x, int32_t y,
                        int32_t displayWidth, int32_t displayHeight);

// One part of the frame: a source rectangle in the frame texture and a target area in the tooltip
// texture; tiled parts repeat the source over the area, the others copy it once.
struct TooltipFramePart {
  int32_t sourceX, sourceY, sourceWidth, sourceHeight;
  int32_t x, y, width, height;
  bool tiled;
};

// The nine parts for a box of the given width and text height (as PlaceTooltip gives them).
void TooltipFrame(int32_t width, int32_t height, TooltipFramePart parts[kTooltipFrameParts]);
