// The radar's arithmetic (see radar_math.h).
#include "frontend/hud/radar_math.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "core/fixed_math.h"

namespace {

constexpr int64_t kOne = 0x10000;
constexpr int64_t kRingMin = 0xCCC;      // rings at or below this fraction are too small to draw
constexpr int64_t kRingMax = 0x20000;    // at or beyond this they fall outside the disc
constexpr int64_t kRim = 0xD999;         // 85 %: where far gates are pinned
constexpr int64_t kTenPercentMore = 0x11999;
constexpr int64_t kTargetFromNearest = 0x3851;
constexpr int32_t kMinTarget = 1000;

const RadarRing kSeries[] = {
    {5000, 0xFFBBBBBB}, {50000, 0xFF999999}, {500000, 0xFF777777}, {5000000, 0xFF555555}};
const RadarRing kOuter = {50000000, 0xFF333333};
const RadarRing kMarks[] = {{30000, 0xFFFFFFFF}, {200000, 0xFFFF8888}};

// a / b in 16.16 with 64-bit intermediates; 0 for b = 0.
int64_t Fraction(int64_t a, int64_t b) { return b == 0 ? 0 : a * kOne / b; }

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t TenPercentMore(int32_t d) { return Saturate(d * kTenPercentMore >> 16); }

// The four series rings drawn while their factor lies above 0xCCC, ending at the first that
// reaches `limit`, then the outer ring when its factor lies from 0xCCD below `limit`.
int SeriesRings(int32_t range, int64_t limit, uint32_t alpha, RadarRing* rings) {
  int count = 0;
  int64_t k = 0;
  for (const RadarRing& ring : kSeries) {
    k = RadarRingFactor(ring.distance, range);
    if (k >= limit) break;
    if (k > kRingMin) rings[count++] = {ring.distance, (ring.colour & 0xFFFFFF) | alpha};
  }
  if (k < limit) {
    const int64_t outer = RadarRingFactor(kOuter.distance, range);
    if (outer > kRingMin && outer < limit) rings[count++] = {kOuter.distance, (kOuter.colour & 0xFFFFFF) | alpha};
  }
  return count;
}

}  // namespace

int NavMapRings(RadarRing rings[kMaxRadarRings]) { return SeriesRings(kNavMapRadius, kOne, 0, rings); }

int64_t RadarRingFactor(int64_t distance, int32_t range) {
  if (range <= 0) return std::numeric_limits<int64_t>::max();
  return distance * kOne / range;
}

int RadarRings(int32_t range, RadarRing rings[kMaxRadarRings]) {
  int count = SeriesRings(range, kRingMax, 0xFF000000, rings);
  for (const RadarRing& ring : kMarks) {
    const int64_t m = RadarRingFactor(ring.distance, range);
    if (m > kRingMin && m < kRingMax) rings[count++] = ring;
  }
  return count;
}

void InsertRadarDistance(RadarDistances* list, int32_t d) {
  if (d < 0 || d > kRadarMaxDistance) d = kRadarMaxDistance;
  if (list->count == kRadarDistanceCount && d >= list->values[kRadarDistanceCount - 1]) return;
  int at = list->count < kRadarDistanceCount ? list->count : kRadarDistanceCount - 1;
  while (at > 0 && list->values[at - 1] > d) {
    list->values[at] = list->values[at - 1];
    --at;
  }
  list->values[at] = d;
  if (list->count < kRadarDistanceCount) ++list->count;
  ++list->insertions;
}

bool RadarPlace(int32_t x, int32_t y, int32_t z, int32_t range, bool isGate, RadarPoint* point) {
  if (range <= 0) return false;
  const int64_t r = range;
  const int64_t rim = (r * kRim + 0x8000) >> 16;
  const int64_t ax = std::llabs(x);
  const int64_t az = std::llabs(z);
  if (isGate && (ax >= rim || az >= 2 * rim)) {
    // The direction of (x, z / 2) scaled to the rim's length.
    const int64_t vx = x;
    const int64_t vz = z / 2;
    const uint64_t length = IntSqrt64(static_cast<uint64_t>(vx * vx) + static_cast<uint64_t>(vz * vz));
    if (length == 0) return false;
    point->fx = static_cast<int32_t>(vx * kRim / static_cast<int64_t>(length));
    point->fz = static_cast<int32_t>(vz * kRim / static_cast<int64_t>(length));
    point->fy = point->fz;
    return true;
  }
  if (ax >= r || az >= 2 * r) return false;
  point->fx = static_cast<int32_t>(Fraction(x, r));
  point->fz = static_cast<int32_t>(Fraction(z, 2 * r));
  point->fy = Saturate(point->fz + Fraction(y, r));
  return true;
}

RadarScreenPoint RadarToScreen(const RadarPoint& point, int32_t cx, int32_t cy) {
  return {Saturate(cx + (static_cast<int64_t>(point.fx) * cx >> 16)),
          Saturate(cy - (static_cast<int64_t>(point.fz) * cy >> 16)),
          Saturate(cy - (static_cast<int64_t>(point.fy) * cy >> 16))};
}

void RadarBlinkStep(RadarBlink* blink, const void* tracked, uint32_t now) {
  if (tracked != blink->seen) {
    blink->seen = tracked;
    if (tracked) {
      blink->counter = 3;
      blink->nextTime = now + 1000;
    }
  }
  if (blink->counter > 0 && static_cast<int32_t>(now - blink->nextTime) >= 0) {
    --blink->counter;
    blink->nextTime += 1000;
  }
}

bool RadarSymbolBlinks(const RadarBlink& blink, const void* object, uint32_t now) {
  if (object != blink.seen) return false;
  if (blink.counter > 0) return static_cast<int32_t>(blink.nextTime - now) > 600;
  return true;
}

int32_t AutoRadarTarget(int32_t target, const RadarDistances& list) {
  const int n = list.insertions;
  const int32_t d0 = list.count > 0 ? list.values[0] : 0;
  const auto at = [&](int i) { return list.values[std::min(i, list.count - 1)]; };
  const int64_t share = Fraction(d0, target);
  if (target == 0 || share < 0x3333) {
    return std::max(Saturate(Fraction(d0, kTargetFromNearest)), kMinTarget);
  }
  if (n < 5) {
    if (share > 0x4000 && list.count > 0) return TenPercentMore(at(n - 1));
    return target;
  }
  const int32_t a5 = TenPercentMore(at(4));
  if (a5 > target) return share > 0x4000 ? a5 : target;
  if (n > 10 && list.count > 10 && TenPercentMore(at(10)) < target) return TenPercentMore(at(9));
  return target;
}

int32_t RadarRangeStep(int32_t range, int32_t target, uint32_t dt) {
  const int64_t fraction = static_cast<int64_t>(dt) * kOne / 2000;
  const int64_t step = static_cast<int64_t>(range) * fraction >> 16;
  if (range < target) return Saturate(std::min<int64_t>(static_cast<int64_t>(range) + step, target));
  if (range > target) return Saturate(std::max<int64_t>(static_cast<int64_t>(range) - step, target));
  return range;
}
