// The status texture's distance texts in both unit systems (the band edges and the bounded
// buffer), the laser-low latch with its 10 % / 30 % hysteresis, and the in-range latch that
// announces only hostile locked targets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frontend/hud/status_display.h"

namespace {

const DistanceUnits kUnits = {"m", "km", ","};

std::string Distance(int32_t d, bool raw) {
  char text[64];
  FormatDistanceText(text, sizeof text, d, raw, kUnits);
  return text;
}

TEST(DistanceText, BandsInBothUnits) {
  struct Case {
    int32_t d;
    bool raw;
    const char* text;
  };
  const Case kCases[] = {
      {10000, true, "10.000 K"},    {10001, true, "10.00 K"},  {150000000, true, "150 M"},
      {999, true, "999"},           {1001, true, "1.001 K"},   {1000, true, "1000"},
      {100000, true, "100.0 K"},    {1000000, true, "1.000 M"}, {12345678, true, "12.3 M"},
      {999 * 500, false, "999 m"},  {9999 * 500, false, "9,99km"}, {100000 * 500, false, "100km"},
      {12345 * 500, false, "12,3km"}, {1000 * 500, false, "1,00km"}, {499, false, "0 m"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Distance(c.d, c.raw), c.text) << c.d << (c.raw ? " raw" : " metres");
  }
}

TEST(DistanceText, StaysInsideTheBuffer) {
  char text[5];
  std::memset(text, 'x', sizeof text);
  const DistanceUnits longUnits = {"a very long metre text", "km", ","};
  FormatDistanceText(text, sizeof text, 999 * 500, false, longUnits);
  EXPECT_EQ(std::string(text), "999 ");
  FormatDistanceText(text, 0, 5, true, kUnits);  // nothing written, no fault
}

TEST(LaserLow, RaisedOnceThenReArmedAboveThirtyPercent) {
  // max 1000: 10 % is (1000 x 6553 + 0x8000) >> 16 = 100, 30 % is 300.
  struct Step {
    int32_t energy;
    bool raised;
  };
  const Step kSteps[] = {{500, false}, {100, false}, {99, true}, {50, false},
                         {300, false}, {99, false},  {301, false}, {99, true}};
  uint32_t flag = 0;
  for (const Step& s : kSteps) EXPECT_EQ(LaserLowStep(&flag, s.energy, 1000), s.raised) << s.energy;
}

TEST(LaserLow, LargeMaximumDoesNotWrap) {
  uint32_t flag = 0;
  // 2000000000 x 6553 overflows 32 bits; 10 % of it is about 200 million.
  EXPECT_FALSE(LaserLowStep(&flag, 250000000, 2000000000));
  EXPECT_TRUE(LaserLowStep(&flag, 150000000, 2000000000));
}

TEST(LaserRange, EventsOnlyForHostileLockedTargets) {
  struct Step {
    bool inRange;
    bool hostile;
    uint16_t mode;
    const char* event;
    uint32_t flag;
  };
  const Step kSteps[] = {
      {true, true, 2, nullptr, 1},                  // acquiring: latched silently
      {true, true, 3, nullptr, 1},                  // locked, still in range: nothing
      {false, true, 3, kNotifyOutofLaserRange, 0},  // leaves
      {false, true, 3, nullptr, 0},
      {true, true, 3, kNotifyIntoLaserRange, 1},  // comes back
      {false, false, 3, nullptr, 0},              // friendly target: latch only
      {true, false, 3, nullptr, 1},
  };
  uint32_t flag = 0;
  for (const Step& s : kSteps) {
    const char* event = LaserRangeStep(&flag, s.inRange, s.hostile, s.mode);
    EXPECT_EQ(event ? std::string(event) : std::string(), s.event ? std::string(s.event) : std::string());
    EXPECT_EQ(flag, s.flag);
  }
}

}  // namespace
