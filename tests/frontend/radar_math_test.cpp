// The radar's arithmetic: ring choice by range (including ranges whose ring factors pass 32 bits),
// the 20-smallest list, placement on the disc with far gates pinned to the rim, the blink of a
// newly tracked object over 3 s, and the automatic range's target and per-frame approach.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/hud/radar_math.h"

namespace {

std::vector<int32_t> Rings(int32_t range) {
  RadarRing rings[kMaxRadarRings];
  const int n = RadarRings(range, rings);
  std::vector<int32_t> distances;
  for (int i = 0; i < n; ++i) distances.push_back(rings[i].distance);
  return distances;
}

TEST(RadarRings, ChosenByRange) {
  struct Case {
    int32_t range;
    std::vector<int32_t> rings;
  };
  const Case kCases[] = {
      {10000000, {5000000}},
      {100000, {50000, 30000}},  // 5000 sits at 0xCCC; 200000 is on the edge (k = 0x20000)
      {1000000, {500000, 200000}},
      {60000000, {5000000, 50000000}},
      {300000000, {50000000}},  // 50000000 x 65536 passes 32 bits
      {2000000000, {}},
      {1000, {}},
  };
  for (const Case& c : kCases) EXPECT_EQ(Rings(c.range), c.rings) << c.range;
  EXPECT_EQ(RadarRingFactor(5000000, 1), 5000000LL * 65536);
}

TEST(RadarDistances, KeepsTheTwentySmallestInOrder) {
  RadarDistances list{};
  for (int32_t d = 2100; d >= 200; d -= 100) InsertRadarDistance(&list, d);  // 20 values, descending
  ASSERT_EQ(list.count, 20);
  EXPECT_EQ(list.values[0], 200);
  EXPECT_EQ(list.values[19], 2100);
  InsertRadarDistance(&list, 2100);  // not below the last: not kept
  EXPECT_EQ(list.insertions, 20);
  InsertRadarDistance(&list, 250);  // pushes 2100 out
  EXPECT_EQ(list.values[1], 250);
  EXPECT_EQ(list.values[19], 2000);
  EXPECT_EQ(list.insertions, 21);
  RadarDistances clamped{};
  InsertRadarDistance(&clamped, -5);
  InsertRadarDistance(&clamped, 30000000);
  EXPECT_EQ(clamped.values[0], kRadarMaxDistance);
  EXPECT_EQ(clamped.values[1], kRadarMaxDistance);
}

TEST(RadarPlace, FarGateSitsOnTheRimAtItsGroundPoint) {
  RadarPoint p{};
  ASSERT_TRUE(RadarPlace(30000000, 500000, 0, 10000000, true, &p));
  EXPECT_EQ(p.fx, 0xD999);
  EXPECT_EQ(p.fz, 0);
  EXPECT_EQ(p.fy, p.fz);
  const RadarScreenPoint s = RadarToScreen(p, 63, 63);
  EXPECT_EQ(s.symbolY, s.groundY);
  EXPECT_EQ(s.x, 63 + (0xD999 * 63 >> 16));
  EXPECT_FALSE(RadarPlace(30000000, 0, 0, 10000000, false, &p));  // other objects outside are skipped
  ASSERT_TRUE(RadarPlace(5000000, 1000000, -10000000, 10000000, false, &p));
  EXPECT_EQ(p.fx, 0x8000);
  EXPECT_EQ(p.fz, -0x8000);
  EXPECT_EQ(p.fy, -0x8000 + 6553);
}

TEST(RadarBlink, NewlyTrackedSymbolAlternatesOverThreeSeconds) {
  int object = 0;
  RadarBlink blink{};
  std::vector<bool> shown;
  for (uint32_t now = 10000; now <= 13500; now += 250) {
    RadarBlinkStep(&blink, &object, now);
    shown.push_back(RadarSymbolBlinks(blink, &object, now));
  }
  const std::vector<bool> expected = {true,  true, false, false,  // first second: on while > 600 ms left
                                      true,  true, false, false, true, true, false, false,
                                      true,  true, true};
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(blink.counter, 0);
  EXPECT_FALSE(RadarSymbolBlinks(blink, nullptr, 20000));
}

TEST(RadarAutoRange, TargetAndApproach) {
  RadarDistances none{};
  EXPECT_EQ(AutoRadarTarget(10000000, none), 1000);
  EXPECT_EQ(AutoRadarTarget(0, none), 1000);
  RadarDistances one{};
  InsertRadarDistance(&one, 1000000);
  EXPECT_EQ(AutoRadarTarget(2000000, one), (1000000LL * 0x11999) >> 16);  // nearest > 25 %
  // One 20 ms frame moves by range x 655 / 65536 toward the target, never past it.
  EXPECT_EQ(RadarRangeStep(10000000, 1000, 20), 10000000 - static_cast<int32_t>(10000000LL * 655 >> 16));
  EXPECT_EQ(RadarRangeStep(1000, 10000000, 20), 1000 + (1000 * 655 >> 16));
  EXPECT_EQ(RadarRangeStep(1010, 1005, 20), 1005);
  EXPECT_EQ(RadarRangeStep(2000000000, 2100000000, 1000), 2100000000);
}

}  // namespace
