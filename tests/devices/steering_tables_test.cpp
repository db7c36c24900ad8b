// The steering assignment tables as the scripts see them through the control matrix natives:
// the defaults, the setters' refusals, the mouse tables apart from the joystick ones, the device
// range scaled to 1.0, and the breakpoint interpolation the throttle uses.
#include <gtest/gtest.h>

#include <cstring>

#include "devices/steering.h"

namespace {

class SteeringTables : public ::testing::Test {
 protected:
  void SetUp() override { ClearAxisAssignments(); }
  void TearDown() override { ClearAxisAssignments(); }

  // Every answer of the control matrix for the codes 250..520, both views and both sets.
  static std::vector<int32_t> Snapshot() {
    std::vector<int32_t> all;
    for (int32_t code = 250; code <= 520; ++code)
      for (int32_t turret = 0; turret < 2; ++turret)
        for (int32_t alternate = 0; alternate < 2; ++alternate)
          all.push_back(Wilo_GetControlMatrix(code, turret, alternate));
    return all;
  }
};

TEST_F(SteeringTables, TheDefaultsAnswerForChannelCodesOnly) {
  struct Case {
    int32_t code, turret, alternate, function;
  };
  const Case kCases[] = {
      {256, 0, 0, kSteerTurn1},      {257, 0, 1, kSteerDirectionY}, {260, 0, 0, kSteerTurn3},
      {261, 1, 1, kSteerCruise},     {258, 1, 0, kSteerNone},       {256, 1, 1, kSteerTurret1},
      {512, 0, 0, kSteerMouseSumX},  {513, 1, 1, kSteerMouseSumY},  {300, 0, 0, 0},
      {255, 0, 0, 0},                {262, 0, 0, 0},                {514, 1, 0, 0},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(Wilo_GetControlMatrix(c.code, c.turret, c.alternate), c.function) << c.code;
}

TEST_F(SteeringTables, SettersRefuseWhatNamesNoChannelOrFunction) {
  const std::vector<int32_t> before = Snapshot();
  struct Case {
    int32_t code, function, turret, alternate;
  };
  const Case kRefused[] = {{259, 17, 0, 0}, {262, 5, 0, 0}, {256, -1, 0, 0}, {512, 17, 1, 0},
                           {513, -5, 0, 0}, {300, 3, 0, 0}, {255, 3, 1, 1}};
  for (const Case& c : kRefused) Wilo_SetControlMatrix(c.code, c.function, c.turret, c.alternate);
  EXPECT_EQ(Snapshot(), before);
  SetAxisAssignment(3, 0, 6, 0);
  SetAxisAssignment(3, 0, -1, 0);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SteeringTables, TheMouseTurretTableIsSetApartFromTheNormalOne) {
  Wilo_SetControlMatrix(513, 14, 1, 0);
  EXPECT_EQ(Wilo_GetControlMatrix(513, 1, 0), 14);
  EXPECT_EQ(Wilo_GetControlMatrix(513, 1, 1), 14);  // the mouse has no alternate set
  EXPECT_EQ(Wilo_GetControlMatrix(513, 0, 0), kSteerMouseSumY);
  // The highest function is accepted; each joystick table is its own.
  Wilo_SetControlMatrix(259, 16, 1, 1);
  EXPECT_EQ(Wilo_GetControlMatrix(259, 1, 1), 16);
  EXPECT_EQ(Wilo_GetControlMatrix(259, 1, 0), kSteerNone);
  EXPECT_EQ(Wilo_GetControlMatrix(259, 0, 1), kSteerCruise);
  ClearAxisAssignments();
  EXPECT_EQ(Wilo_GetControlMatrix(513, 1, 0), kSteerMouseSumY);
}

TEST_F(SteeringTables, TheDeviceRangeScalesToOneTowardZero) {
  struct Case {
    int32_t raw, scaled;
  };
  const Case kCases[] = {{65535, 0x10000}, {-65535, -0x10000}, {0, 0}, {32767, 32767}, {-1, -1}, {1, 1}};
  for (const Case& c : kCases) EXPECT_EQ(ScaleAxisValue(c.raw), c.scaled) << c.raw;
}

TEST(SteeringInterpolation, BreakpointsClampAndInterpolateFromTheMidpoint) {
  struct Case {
    int32_t x, x0, y0, x1, y1, y;
  };
  const Case kCases[] = {
      {-10, 0, 100, 10, 200, 100},             // at or below x0
      {10, 0, 100, 10, 200, 200},              // at or above x1
      {5, 0, 100, 10, 200, 150},               // midpoint form
      {3, 0, 0, 10, -5000, -1500},
      {5, 5, 100, 5, 201, 150},                // x0 = x1: the middle, toward zero
      {7, 5, -100, 5, -201, -150},
      {0x20000, 0, 0, 0x40000, 1000, 500},     // wide form
      {0x18000, 0x10000, 0, 0x30000, 4000, 1000},
      {0, -64225, 100000, 26215, 0, 28987},    // the throttle's forward half
      {40000, 0x7FFF, 0, 64225, -5000, -1150},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(LerpBetweenBreakpoints(c.x, c.x0, c.y0, c.x1, c.y1), c.y) << c.x << " " << c.x0 << " " << c.x1;
  // Spans and outputs of the full 32 bits neither overflow nor divide by zero.
  EXPECT_EQ(LerpBetweenBreakpoints(0, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), 0);
  EXPECT_EQ(LerpBetweenBreakpoints(100, 99, INT32_MIN, 101, INT32_MAX), 0);
  EXPECT_EQ(LerpBetweenBreakpoints(INT32_MAX - 1, INT32_MIN, 0, INT32_MAX, 2), 1);
}

}  // namespace
