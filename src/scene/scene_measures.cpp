// Vector measures of the scene engine. Pure functions over their arguments: they touch no engine
// state and never trap, whatever the components.
#include "scene/scene_measures.h"

#include <cmath>

#include "scene/fixed_geometry.h"

namespace {

// The square root is taken in single precision, as the lengths the engine compares against
// were; a length beyond 32 bits saturates.
int32_t LengthOf(double x, double y, double z) {
  const float root = std::sqrt(static_cast<float>(x * x + y * y + z * z));
  if (!(root < 2147483648.0f)) return INT32_MAX;
  return static_cast<int32_t>(root);
}

double Gap(int32_t from, int32_t to) { return static_cast<double>(int64_t{to} - from); }

}  // namespace

int32_t VecMaxAbsDiff(const FixedVector* a, const FixedVector* b) {
  return SaturateToInt32(ChebyshevDistance(a, b));
}

int32_t VecDotFixed(const FixedVector* a, const FixedVector* b) {
  return SaturateToInt32(MulRound16(a->x, b->x) + MulRound16(a->y, b->y) + MulRound16(a->z, b->z));
}

double VecDistSqDouble(const FixedVector* a, const FixedVector* b) {
  const double x = Gap(a->x, b->x), y = Gap(a->y, b->y), z = Gap(a->z, b->z);
  return x * x + y * y + z * z;
}

int32_t VecLength(const FixedVector* a) { return LengthOf(a->x, a->y, a->z); }

int32_t VecDistance(const FixedVector* a, const FixedVector* b) {
  return LengthOf(Gap(a->x, b->x), Gap(a->y, b->y), Gap(a->z, b->z));
}

int32_t VecLengthFloat(float x, float y, float z) { return LengthOf(x, y, z); }

int32_t PointLineDistance(const FixedVector* p, const FixedVector* a, const FixedVector* b) {
  const int64_t d[3] = {int64_t{b->x} - a->x, int64_t{b->y} - a->y, int64_t{b->z} - a->z};
  const int64_t v[3] = {int64_t{p->x} - a->x, int64_t{p->y} - a->y, int64_t{p->z} - a->z};
  // The dot products are taken whole (not rounded to 16.16 per product): for short segments of
  // integer world units the rounded products vanish. Long double holds them without wrapping.
  long double along = 0, span = 0;
  for (int i = 0; i < 3; ++i) {
    along += static_cast<long double>(v[i]) * d[i];
    span += static_cast<long double>(d[i]) * d[i];
  }
  if (span == 0) return LengthOf(static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2]));
  // The foot of the perpendicular as a 16.16 fraction of b - a, truncated.
  const long double t = std::trunc(along * 65536.0L / span);
  double off[3];
  for (int i = 0; i < 3; ++i) {
    const long double foot = std::trunc(static_cast<long double>(d[i]) * t / 65536.0L);
    off[i] = static_cast<double>(static_cast<long double>(v[i]) - foot);
  }
  return LengthOf(off[0], off[1], off[2]);
}
