// The arithmetic of the HUD target marks and the target overlay icons (see target_marks.h).
// Pure functions over integers; every division by a value that can be 0 is guarded.
#include "frontend/hud/target_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "frontend/cockpit/cockpit.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kCrosshairIcons[3][3] = {{386, 387, 388}, {499, 500, 501}, {389, 390, 391}};

constexpr int32_t kOverlayLimits[kOverlayCategoryCount] = {10, 16, 8, 10, 10, 8, 8, 4, 2, 2, 2, 2, 16, 3, 3};

constexpr int32_t kEdgeIcons[4][4] = {
    {346, 382, 528, 564}, {347, 383, 529, 565}, {348, 384, 530, 566}, {349, 385, 531, 567}};

struct CornerRow {
  int32_t dx;
  int32_t dy;
  int32_t icons[16];
};
constexpr CornerRow kFrameCorners[4] = {
    {-1, -1, {350, 352, 532, 534, 358, 360, 540, 542, 366, 368, 548, 550, 374, 376, 556, 558}},
    {1, -1, {351, 353, 533, 535, 359, 361, 541, 543, 367, 369, 549, 551, 375, 377, 557, 559}},
    {1, 1, {355, 357, 537, 539, 363, 365, 545, 547, 371, 373, 553, 555, 379, 381, 561, 563}},
    {-1, 1, {354, 356, 536, 538, 362, 364, 544, 546, 370, 372, 552, 554, 378, 380, 560, 562}},
};

int StandingIndex(MarkStanding standing) {
  int i = static_cast<int>(standing);
  return (i < 0 || i > 2) ? 0 : i;
}

int Clamp03(int v) { return std::clamp(v, 0, 3); }

// y0 at or below x0, y1 at or above x1, else the straight line between, its offset from y0
// rounded to the nearest step (halves away from y0): the first step past x0 still gives y0 and the
// middle of the range the lower of the two middle values.
int32_t FadeInterpolate(int64_t x, int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
  if (x <= x0) return static_cast<int32_t>(y0);
  if (x >= x1) return static_cast<int32_t>(y1);
  double offset = static_cast<double>((y1 - y0) * (x - x0)) / static_cast<double>(x1 - x0);
  return static_cast<int32_t>(y0 + std::lround(offset));
}

}  // namespace

int32_t CrosshairIcon(CrosshairForm form, MarkStanding standing) {
  int f = std::clamp(static_cast<int>(form), 0, 2);
  return kCrosshairIcons[f][StandingIndex(standing)];
}

int32_t LeadMarkerIcon(bool inRange, MarkStanding standing) {
  return (inRange ? 397 : 394) + StandingIndex(standing);
}

CrosshairForm ChooseCrosshairForm(int32_t cockpitNumber, int32_t monitorNumber, uint32_t shipFlags,
                                  bool applicationFlag) {
  if (cockpitNumber == 0 && monitorNumber == 0 && (shipFlags & 0x80000u)) return CrosshairForm::kTurretless;
  return applicationFlag ? CrosshairForm::kApplication : CrosshairForm::kPlain;
}

int32_t LeadMarkerStep(int32_t rangeAnswer, uint32_t hudMask, MarkStanding standing, int32_t frameMs,
                       uint32_t* blinkPhase) {
  if (rangeAnswer < 1) return LeadMarkerIcon(false, standing);
  if (rangeAnswer == 3 && (hudMask & 2u) && blinkPhase) {
    const int64_t step = static_cast<int64_t>(std::max(0, frameMs)) * 65536 / 1000;
    *blinkPhase = static_cast<uint32_t>((*blinkPhase + step) % 65536);
    if ((2 * *blinkPhase) % 65536 < 32768) return standing == MarkStanding::kHostile ? 397 : 398;
  }
  return LeadMarkerIcon(true, standing);
}

int32_t BracketBase(MarkStanding standing) { return 400 + 10 * StandingIndex(standing); }

int32_t TurretMarkIcon(MarkStanding standing) { return 491 + StandingIndex(standing); }

int32_t TargetArrowIcon(MarkStanding standing, bool isCurrentObject) {
  if (isCurrentObject) return kObjectArrowIcon;
  switch (standing) {
    case MarkStanding::kHostile: return 449;
    case MarkStanding::kOwn: return 450;
    default: return 448;
  }
}

int32_t AcquireBracketFrame(int64_t elapsedMs) {
  if (elapsedMs <= 0) return 0;
  int64_t f = 2 + (4 * (2 * elapsedMs - 333)) / 666;  // truncates toward zero
  return static_cast<int32_t>(std::clamp<int64_t>(f, 1, 4));
}

int32_t RoundedVectorLength(const int32_t v[3]) {
  double x = v[0], y = v[1], z = v[2];
  return static_cast<int32_t>(std::llround(std::sqrt(x * x + y * y + z * z)));
}

void ScaleVectorToLength(int32_t v[3], int32_t length) {
  double x = v[0], y = v[1], z = v[2];
  double len = std::sqrt(x * x + y * y + z * z);
  if (len == 0.0) return;
  for (int i = 0; i < 3; ++i) v[i] = static_cast<int32_t>(std::trunc(v[i] * static_cast<double>(length) / len));
}

WarningMark WarningMarkStep(bool alert, bool approach, uint32_t elapsedMs) {
  if (!alert && !approach) return {-1, true};
  bool restart = elapsedMs > 1999;  // also a clock that went back, taken unsigned
  if (restart) elapsedMs = 0;
  if (elapsedMs <= 999) return {alert ? kWarningAlertIcon : -1, restart};
  return {approach ? kWarningApproachIcon : -1, restart};
}

int32_t OverlayCategoryDefaultLimit(int category) {
  if (category < 0 || category >= kOverlayCategoryCount) return 0;
  return kOverlayLimits[category];
}

namespace {
bool gOverlayLimitsLoaded = false;
int32_t gOverlayLimits[kOverlayCategoryCount];
}  // namespace

void ReloadOverlayCategoryLimits() {
  for (int c = 0; c < kOverlayCategoryCount; ++c)
    gOverlayLimits[c] = GlobalsGet(kOverlayCategoryGlobalsBase + c, kOverlayLimits[c]);
  gOverlayLimitsLoaded = true;
}

int32_t OverlayCategoryLimit(int category) {
  if (category < 0 || category >= kOverlayCategoryCount) return 0;
  if (!gOverlayLimitsLoaded) ReloadOverlayCategoryLimits();
  return gOverlayLimits[category];
}

int32_t FlashTimerStep(int32_t timer, bool flashBit, int32_t frameMs) {
  if (flashBit && timer == 0) return 1000;
  if (timer <= 0) return 0;
  return std::max<int32_t>(0, timer - std::max<int32_t>(0, frameMs));
}

BorderPoint OverlayDirection(int32_t x, int32_t y) {
  if (std::abs(x) < 100 && std::abs(y) < 100) return {0, 65536};
  int32_t v[3] = {x, y, 0};
  ScaleVectorToLength(v, 65536);
  return {v[0], v[1]};
}

BorderPoint OverlayBorderPoint(int32_t dx, int32_t dy, double ax, double ay, int32_t bw, int32_t bh) {
  BorderPoint p{0, 0};
  double adx = std::fabs(static_cast<double>(dx));
  double ady = std::fabs(static_cast<double>(dy));
  if (ax * ady <= adx * ay) {
    p.x = dx > 0 ? bw : -bw;
    p.y = dx == 0 ? 0 : -static_cast<int32_t>(std::trunc(static_cast<double>(dy) * bw / adx));
  } else {
    p.y = dy > 0 ? -bh : bh;
    p.x = dy == 0 ? 0 : static_cast<int32_t>(std::trunc(static_cast<double>(dx) * bh / ady));
  }
  int32_t w = std::abs(bw), h = std::abs(bh);
  p.x = std::clamp(p.x, -w, w);
  p.y = std::clamp(p.y, -h, h);
  return p;
}

int32_t OverlayFrameHalfSize(int32_t d) {
  if (d > 70) return 70;
  if (d < 40) d = d * 30 / 40 + 10;
  return std::max(d, 10);
}

int32_t OverlayFade(int32_t rangeValue) {
  constexpr int64_t kNear = 10000000, kFar = 20000000;
  if (rangeValue <= kNear) return 0;
  return FadeInterpolate(rangeValue, kNear, kFar, 255, 80);
}

BarCellPos BarCell(int32_t steps, int32_t value, int32_t max, int32_t base) {
  static constexpr int32_t kDx[4] = {4, 0, 1, 2};
  static constexpr int32_t kDy[4] = {0, 21, 14, 7};
  int32_t n = std::max(0, steps - steps / 5);
  int32_t level = 0;
  // A value outside 0..max would pick a cell before the table or past the bar.
  if (max > 0) level = static_cast<int32_t>(static_cast<int64_t>(std::clamp(value, 0, max)) * n / max);
  level = std::clamp(level, 0, n);
  int32_t r = level % 4;
  return {252 - 5 * (level / 4) - r + kDx[r], base + kDy[r]};
}

int32_t OverlayEdgeIcon(int s, int k) { return kEdgeIcons[Clamp03(s)][Clamp03(k)]; }

FrameCorner OverlayFrameCorner(int j, int s, int k) {
  const CornerRow& row = kFrameCorners[Clamp03(j)];
  return {row.dx, row.dy, row.icons[Clamp03(s) * 4 + Clamp03(k)]};
}

int CompareIconAngle(const OverlayIcon* a, const OverlayIcon* b) {
  if (a->edgeAngle > b->edgeAngle) return 1;
  if (a->edgeAngle < b->edgeAngle) return -1;
  return 0;
}
