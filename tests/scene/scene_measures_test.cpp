// Vector measures: exact small results and no wrap at the ends of the 32-bit range.
#include "scene/scene_measures.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

FixedVector V(int32_t x, int32_t y, int32_t z) { return FixedVector{x, y, z, 0}; }

TEST(SceneMeasures, IntegerMeasuresKeepFarApartPointsFromWrapping) {
  const FixedVector origin = V(0, 0, 0), low = V(kMin, 0, 0), high = V(kMax, 0, 0);
  const FixedVector p345 = V(3, 4, 0), q = V(10, -20, 7);
  struct Case {
    const char* what;
    int64_t got;
    int64_t want;
  };
  const Case kCases[] = {
      {"max abs diff picks the largest gap", VecMaxAbsDiff(&p345, &q), 24},
      {"max abs diff across the range saturates", VecMaxAbsDiff(&low, &high), kMax},
      {"dot of 1.5 and 2.0 per axis", [] {
         const FixedVector a = V(0x18000, 0x18000, 0), b = V(0x20000, -0x20000, 5);
         return int64_t{VecDotFixed(&a, &b)};
       }(), 0},
      {"dot rounds each product", [] {
         const FixedVector a = V(1, 1, 1), b = V(0x8000, 0x7FFF, 0x8000);
         return int64_t{VecDotFixed(&a, &b)};
       }(), 2},
      {"dot of large components uses 64-bit products", [] {
         const FixedVector a = V(0x100000, 0, 0), b = V(0x100000, 0, 0);
         return int64_t{VecDotFixed(&a, &b)};
       }(), 0x100000 * 16},
      {"length 3-4-5", VecLength(&p345), 5},
      {"length truncates", [] {
         const FixedVector a = V(1, 1, 1);
         return int64_t{VecLength(&a)};
       }(), 1},
      {"length of the lowest component", VecLength(&low), kMax},
      {"distance 3-4-5 apart", VecDistance(&p345, &origin), 5},
      {"distance across the whole range saturates", VecDistance(&low, &high), kMax},
      {"float length", VecLengthFloat(6.0f, -8.0f, 0.0f), 10},
      {"float length of a huge float saturates", VecLengthFloat(1e30f, 0.0f, 0.0f), kMax},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(SceneMeasures, SquaredDistanceIsExactInDouble) {
  const FixedVector low = V(kMin, kMin, 0), high = V(kMax, kMax, 0);
  const double gap = 4294967295.0;
  EXPECT_DOUBLE_EQ(VecDistSqDouble(&low, &high), 2 * gap * gap);
  const FixedVector a = V(1, 2, 3), b = V(4, 6, 3);
  EXPECT_DOUBLE_EQ(VecDistSqDouble(&a, &b), 25.0);
}

TEST(SceneMeasures, PointLineDistanceMeasuresToTheWholeLine) {
  struct Case {
    const char* what;
    FixedVector p, a, b;
    int32_t want;
  };
  const Case kCases[] = {
      {"above the middle of a segment", V(5, 7, 0), V(0, 0, 0), V(10, 0, 0), 7},
      {"beyond the end still measures to the line", V(50, 0, -3), V(0, 0, 0), V(10, 0, 0), 3},
      {"behind the start", V(-40, 4, 3), V(0, 0, 0), V(0x10000, 0, 0), 5},
      {"on the line", V(30, 30, 30), V(0, 0, 0), V(10, 10, 10), 0},
      {"a and b coincide: distance to the point", V(3, 4, 0), V(0, 0, 0), V(0, 0, 0), 5},
      {"far apart world positions", V(0, 1000000, 0), V(-2000000000, 0, 0), V(2000000000, 0, 0), 1000000},
  };
  for (const Case& c : kCases) EXPECT_EQ(PointLineDistance(&c.p, &c.a, &c.b), c.want) << c.what;
}

}  // namespace
