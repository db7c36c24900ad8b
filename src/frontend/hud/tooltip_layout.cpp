// The tooltip box's rules (see tooltip_layout.h).
#include "frontend/hud/tooltip_layout.h"

#include <algorithm>

namespace {

constexpr int32_t kBorder = 4;
constexpr int32_t kEdgeTile = 15;
constexpr int32_t kMargin = 2;
constexpr int32_t kFlipGap = 16;
// The frame is the text height + 6 high and the width wide, with inner sizes width - 8 and h - 2.
constexpr int32_t kMinWidth = 2 * kBorder;
constexpr int32_t kMaxWidth = kTooltipTextureSize;
constexpr int32_t kMinHeight = 2;
constexpr int32_t kMaxHeight = kTooltipTextureSize - 6;

}  // namespace

uint32_t TooltipShowTime(bool showing, bool sameText, uint32_t oldShowTime, uint32_t now, int32_t delay) {
  if (delay < 1) return now;
  // The clock wraps; compare through the signed difference.
  const int32_t sinceShow = static_cast<int32_t>(now - oldShowTime);
  if (showing) {
    if (sameText) return sinceShow >= 1 ? now : oldShowTime;
    return sinceShow < 0 ? now + static_cast<uint32_t>(delay) : now;
  }
  return now + static_cast<uint32_t>(delay);
}

TooltipBox PlaceTooltip(int32_t textWidth, int32_t lineHeight, int32_t scaleDivisor, int32_t x, int32_t y,
                        int32_t displayWidth, int32_t displayHeight) {
  const int32_t divisor = scaleDivisor > 0 ? scaleDivisor : 1;
  TooltipBox box;
  box.width = std::clamp(textWidth / divisor + 6, kMinWidth, kMaxWidth);
  box.height = std::clamp(lineHeight / divisor, kMinHeight, kMaxHeight);
  box.x = x;
  box.y = y;
  if (box.x + box.width > displayWidth) {
    box.x = displayWidth - box.width;
  } else if (box.x < kMargin) {
    box.x = kMargin;
  }
  if (box.y + box.height + 6 > displayHeight) {
    box.y = box.y - (box.height + 6) - kFlipGap;
  } else if (box.y < kMargin) {
    box.y = kMargin;
  }
  return box;
}

void TooltipFrame(int32_t width, int32_t height, TooltipFramePart parts[kTooltipFrameParts]) {
  const int32_t w = std::clamp(width, kMinWidth, kMaxWidth);
  const int32_t h = std::clamp(height, kMinHeight, kMaxHeight);
  const int32_t innerW = w - 2 * kBorder;
  const int32_t innerH = h - 2;
  const int32_t right = w - kBorder;
  const int32_t bottom = h + 2;
  const TooltipFramePart table[kTooltipFrameParts] = {
      {57, 45, kBorder, kBorder, 0, 0, kBorder, kBorder, false},
      {74, 45, kEdgeTile, kBorder, kBorder, 0, innerW, kBorder, true},
      {102, 45, kBorder, kBorder, right, 0, kBorder, kBorder, false},
      {57, 65, kBorder, kEdgeTile, 0, kBorder, kBorder, innerH, true},
      {74, 65, kEdgeTile, kEdgeTile, kBorder, kBorder, innerW, innerH, true},
      {102, 65, kBorder, kEdgeTile, right, kBorder, kBorder, innerH, true},
      {57, 82, kBorder, kBorder, 0, bottom, kBorder, kBorder, false},
      {74, 82, kEdgeTile, kBorder, kBorder, bottom, innerW, kBorder, true},
      {102, 82, kBorder, kBorder, right, bottom, kBorder, kBorder, false},
  };
  std::copy(table, table + kTooltipFrameParts, parts);
}
