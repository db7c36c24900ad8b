// Object geometry: the division and normalisation edge cases, the table arc cosine, clamped
// interpolation over wide spans, frames from two vectors, the motion profile against values
// worked out by hand, and the steering angles of an object toward a point.
#include "universe/object_math.h"

#include <gtest/gtest.h>

#include "universe/universe.h"

namespace {

class ObjectMath : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }
};

TEST_F(ObjectMath, DivisionsByZeroAnswerZeroAndWideQuotientsSaturate) {
  EXPECT_EQ(FixedDiv(1, 0), 0);
  EXPECT_EQ(MulDiv(1, 1, 0), 0);
  EXPECT_EQ(MulDivUnchecked(1, 1, 0), 0);
  EXPECT_EQ(MulDivUnchecked(7, 6, 4), 10);
  EXPECT_EQ(MulDiv(-7, 6, 4), -10);  // truncated toward zero
  // A quotient beyond 32 bits saturates instead of wrapping.
  EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, 1), INT32_MAX);
  EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, -1), INT32_MIN);
  EXPECT_EQ(MulDiv(INT32_MIN, -1, 1), INT32_MAX);
  EXPECT_EQ(MulDiv(100000, 100000, 3), INT32_MAX);
}

TEST_F(ObjectMath, NormalisingKeepsTheZeroVectorAndScalesOthersToOne) {
  struct Case {
    int32_t in[3];
    int32_t out[3];
  };
  const Case kCases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{3, 0, 4}, {39321, 0, 52428}},
      {{0, -5, 0}, {0, -65536, 0}},
      {{INT32_MIN, 0, 0}, {-65536, 0, 0}},
  };
  for (const Case& c : kCases) {
    FixedVector v;
    SetVector(&v, c.in[0], c.in[1], c.in[2]);
    NormalizeVector(&v);
    EXPECT_EQ(v.x, c.out[0]) << c.in[0];
    EXPECT_EQ(v.y, c.out[1]) << c.in[1];
    EXPECT_EQ(v.z, c.out[2]) << c.in[2];
  }
  int32_t x = 3, y = 4;
  Vec2Normalize16(&x, &y);
  EXPECT_EQ(x, 39321);
  EXPECT_EQ(y, 52428);
  x = y = 0;
  Vec2Normalize16(&x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST_F(ObjectMath, DotProductRoundsEachProduct) {
  FixedVector a, b;
  SetVector(&a, 0x18000, -1, 0x10000);
  SetVector(&b, 0x18000, 0x8000, 3);
  // 2.25 + round(-0.5 units) + 3 units: each product is rounded before the sum.
  EXPECT_EQ(FixDot3(&a, &b), 0x24000 + 0 + 3);
}

TEST_F(ObjectMath, RotationRoundsToTheNearestInteger) {
  struct Case {
    uint32_t angle;
    int32_t x, y, outX, outY;
  };
  const Case kCases[] = {
      {0, 10, 20, 10, 20},
      {16384, 10, 0, 0, 10},
      {32768, 10, 3, -10, -3},
      {65536 + 16384, 10, 0, 0, 10},  // only the low 16 bits count
      {8192, 10, 0, 7, 7},            // 7.07 rounds down
      {8192, 100, 0, 71, 71},         // 70.71 rounds up, where truncation would give 70
  };
  for (const Case& c : kCases) {
    int32_t x = 0, y = 0;
    RotateVec2ByAngle(c.angle, c.x, c.y, &x, &y);
    EXPECT_EQ(x, c.outX) << c.angle << " " << c.x;
    EXPECT_EQ(y, c.outY) << c.angle << " " << c.x;
  }
}

TEST_F(ObjectMath, ArcCosineOfTheWholeRangeAndBeyond) {
  struct Case {
    int32_t c;
    int32_t angle;
  };
  const Case kCases[] = {
      {65536, 0},      {0, 16384},      {-65536, 32768},  {65537, 0},
      {INT32_MAX, 0},  {-65537, 32768}, {INT32_MIN, 32768}, {32768, 16384 - 5461},
      {-32768, 16384 + 5461},
  };
  for (const Case& c : kCases) EXPECT_EQ(FixAcos(c.c), c.angle) << c.c;
}

TEST_F(ObjectMath, InterpolationClampsAndStaysExactOverWideSpans) {
  struct Case {
    int32_t hi, lo, x, outLo, outHi, result;
  };
  const Case kCases[] = {
      {100, 0, -5, 10, 20, 10},   // below the span
      {100, 0, 0, 10, 20, 10},
      {100, 0, 100, 10, 20, 20},  // at the top
      {100, 0, 50, 10, 20, 15},
      {100, 0, 25, 0, 1000, 250},
      {100, 0, 75, 1000, 0, 250},  // falling outputs
      {50, 50, 50, 10, 20, 10},    // hi = lo: at the point the low output
      {50, 50, 51, 10, 20, 20},    // and past it the high one
      {50, 50, 49, 10, 20, 10},
      {65536, 0, 32768, 0, 65536, 32768},  // a span of 65536
      {200000, 0, 100000, 0, 1000000, 500000},
      {2000000000, -2000000000, 1000000000, -2000000000, 2000000000, 1000000000},
      // The widest span and output range: the midpoint is truncated toward zero.
      {INT32_MAX, INT32_MIN, 0, INT32_MIN, INT32_MAX, 0},
      {INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN, INT32_MAX, INT32_MAX - 1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(InterpolateClamped(c.hi, c.lo, c.x, c.outLo, c.outHi), c.result)
        << c.hi << " " << c.lo << " " << c.x;
  }
}

TEST_F(ObjectMath, FrameFromTwoVectors) {
  FixedMatrix m{};
  m.m[0][3] = 11;
  m.m[1][3] = 22;
  FixedVector forward, up;
  SetVector(&forward, 0, 0, 500);
  forward.w = 77;
  SetVector(&up, 0, 3, 0);
  MatrixFromTwoVectors(&m, &forward, &up);
  // The normalisation truncates: 500 scaled to one comes out a unit short.
  const int32_t kIdentity[3][4] = {{65536, 0, 0, 11}, {0, 65535, 0, 22}, {0, 0, 65535, 77}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], kIdentity[r][c]) << r << "," << c;
  }
  // Looking along +x with +y up: right is -z.
  SetVector(&forward, 9, 0, 0);
  MatrixFromTwoVectors(&m, &forward, &up);
  EXPECT_EQ(m.m[0][2], -65536);
  EXPECT_EQ(m.m[1][1], 65536);
  EXPECT_EQ(m.m[2][0], 65536);
  // An up along the forward direction leaves no right axis: the rows stay zero, nothing traps.
  SetVector(&up, 1, 0, 0);
  MatrixFromTwoVectors(&m, &forward, &up);
  EXPECT_EQ(m.m[0][0], 0);
  EXPECT_EQ(m.m[0][1], 0);
  EXPECT_EQ(m.m[0][2], 0);
  EXPECT_EQ(m.m[1][0] | m.m[1][1] | m.m[1][2], 0);
  EXPECT_EQ(m.m[2][0], 65536);
}

// Values worked out by hand with a one-second step (T = 1.0): speeds in units per second,
// every 16.16 product rounded half up.
TEST_F(ObjectMath, MotionProfileMatchesHandComputedSteps) {
  struct Case {
    const char* what;
    int32_t distance, speed, maxSpeed, accel, step;
    int32_t newSpeed, travelled;
  };
  const Case kCases[] = {
      {"no top speed", 10000, 100, 0, 50, 1000, 0, 0},
      {"reversing, stops inside the step", 1000, -100, 500, 200, 1000, 0, -50},
      {"reversing, stops beyond the step", 1000, -100, 500, 50, 1000, -50, -100},
      {"braking through the step", 50, 100, 200, 50, 1000, 50, 100},
      {"braking to a stop inside the step", 10, 100, 200, 400, 1000, 0, 25},
      {"cruising at top speed", 10000, 100, 100, 50, 1000, 100, 100},
      {"reaching top speed in half the step", 10000, 0, 100, 200, 1000, 100, 50},
      {"accelerating the whole step", 100000, 0, 1000, 100, 1000, 100, 0},
      {"accelerating, then braking", 120, 100, 200, 100, 1000, 29, 109},
      {"capped at top speed, then braking", 400, 190, 200, 100, 1000, 120, 199},
      {"accelerating to the end of the distance", 50, 0, 1000, 100, 1000, 5, 5},
      {"half a step", 2000, 1000, 2000, 1000, 500, 1500, 500},
      // Speeds whose 16-bit shift leaves 32 bits.
      {"cruising at 40000", 1000000, 40000, 40000, 40000, 1000, 40000, 40000},
      {"braking from 40000", 1000, 40000, 60000, 20000, 1000, 20000, 40000},
      {"reversing at 40000", 1000, -40000, 60000, 80000, 1000, 0, -20000},
  };
  for (const Case& c : kCases) {
    int32_t speed = -123, travelled = -456;
    SolveAccelDistance(c.distance, c.speed, c.maxSpeed, c.accel, &speed, &travelled, c.step);
    EXPECT_EQ(speed, c.newSpeed) << c.what;
    EXPECT_EQ(travelled, c.travelled) << c.what;
  }
}

TEST_F(ObjectMath, MotionProfileCountsAnAccelerationBelowOneAsOne) {
  int32_t speedZero = 0, travelledZero = 0, speedOne = 0, travelledOne = 0;
  SolveAccelDistance(5000, 10, 20, 0, &speedZero, &travelledZero, 1000);
  SolveAccelDistance(5000, 10, 20, 1, &speedOne, &travelledOne, 1000);
  EXPECT_EQ(speedZero, speedOne);
  EXPECT_EQ(travelledZero, travelledOne);
  SolveAccelDistance(5000, 10, 20, -30, &speedZero, &travelledZero, 1000);
  EXPECT_EQ(speedZero, speedOne);
  EXPECT_EQ(travelledZero, travelledOne);
  EXPECT_EQ(speedOne, 11);
}

// An object at the origin of a scene instance, turned by its instance matrix (ships by their own).
class Steering : public ObjectMath {
 protected:
  void SetUp() override {
    MatrixSetIdentity(&instance_.matrix);
    SetVector(&instance_.position, 1000, 2000, 3000);
    object_.objClass = kClassSpecial;
    object_.instance = &instance_;
  }

  void Steer(void (*routine)(SpaceObject*, const FixedVector*), int32_t dx, int32_t dy, int32_t dz) {
    FixedVector target;
    SetVector(&target, 1000 + dx, 2000 + dy, 3000 + dz);
    routine(&object_, &target);
  }

  void SetRefAngles(int32_t a, int32_t b, int32_t c) {
    object_.refAngles[0] = a;
    object_.refAngles[1] = b;
    object_.refAngles[2] = c;
  }

  InstanceRecord instance_{};
  SpaceObject object_{};
};

TEST_F(Steering, HeadingAndPitchTowardAPoint) {
  struct Case {
    const char* what;
    int32_t dx, dy, dz;
    int32_t heading, pitch;
  };
  const Case kCases[] = {
      {"ahead", 0, 0, 5000, 0, 0},
      {"straight above", 0, 4000, 0, 0, 16384},
      {"straight below", 0, -4000, 0, 0, -16384},
      {"to the left", -5000, 0, 0, 16384, 0},
      {"to the right", 5000, 0, 0, -16384, 0},
      {"behind and above: turn first", 0, 3000, -5000, 32768, 0},
      {"ahead and up at 45 degrees", 0, 1000, 1000, 0, 8192},
      {"only one axis outside the dead zone", 0, 0, 100, 0, 0},
  };
  for (const Case& c : kCases) {
    SetRefAngles(5, 6, 7);
    Steer(ObjSteerHeadingPitch, c.dx, c.dy, c.dz);
    EXPECT_EQ(object_.refAngles[0], c.heading) << c.what;
    EXPECT_EQ(object_.refAngles[1], c.pitch) << c.what;
    EXPECT_EQ(object_.refAngles[2], 0) << c.what;
  }
}

TEST_F(Steering, ATargetInsideTheDeadZoneIsReached) {
  SetRefAngles(5, 6, 7);
  Steer(ObjSteerHeadingPitch, 99, -99, 99);
  EXPECT_EQ(object_.refAngles[0], 0);
  EXPECT_EQ(object_.refAngles[1], 0);
  EXPECT_EQ(object_.refAngles[2], 0);
  // The two variants leave the angles as they are there.
  for (auto routine : {ObjSteerHeadingPitch2, ObjSteerHeadingPitch3}) {
    SetRefAngles(5, 6, 7);
    Steer(routine, 99, 99, -99);
    EXPECT_EQ(object_.refAngles[0], 5);
    EXPECT_EQ(object_.refAngles[1], 6);
    EXPECT_EQ(object_.refAngles[2], 7);
  }
}

TEST_F(Steering, AShipSteersByItsOwnRotation) {
  ShipExt ext{};
  // The ship's frame looks along world +x: its right axis is world -z.
  ext.rotation.m[0][2] = -65536;
  ext.rotation.m[1][1] = 65536;
  ext.rotation.m[2][0] = 65536;
  object_.objClass = kClassShip;
  object_.ext = &ext;
  Steer(ObjSteerHeadingPitch, 5000, 0, 0);  // straight ahead of the ship
  EXPECT_EQ(object_.refAngles[0], 0);
  EXPECT_EQ(object_.refAngles[1], 0);
  Steer(ObjSteerHeadingPitch, 0, 0, 5000);  // world +z is the ship's left
  EXPECT_EQ(object_.refAngles[0], 16384);
  // A ship without its extension, or an object without an instance, is not steered.
  object_.ext = nullptr;
  SetRefAngles(1, 2, 3);
  Steer(ObjSteerHeadingPitch, 0, 0, 5000);
  EXPECT_EQ(object_.refAngles[0], 1);
  object_.objClass = kClassSpecial;
  object_.instance = nullptr;
  Steer(ObjSteerHeadingPitch, 0, 0, 5000);
  EXPECT_EQ(object_.refAngles[0], 1);
}

TEST_F(Steering, TheUpAxisTurnsEitherWayAndTheRightAxisBothWays) {
  struct Case {
    const char* what;
    void (*routine)(SpaceObject*, const FixedVector*);
    int32_t dx, dy, dz;
    int32_t angles[3];
  };
  const Case kCases[] = {
      {"up axis at the target", ObjSteerHeadingPitch2, 0, 5000, 0, {0, 0, 0}},
      {"target below: the lower end serves", ObjSteerHeadingPitch2, 0, -5000, 0, {0, 0, 0}},
      // Along the forward axis nothing tells the way: 0 ahead, a half turn behind.
      {"up axis, target ahead", ObjSteerHeadingPitch2, 0, 0, 5000, {0, 0, 0}},
      {"up axis, target behind", ObjSteerHeadingPitch2, 0, 0, -5000, {0, 0, 32768}},
      {"up axis, target to the right", ObjSteerHeadingPitch2, 5000, 0, 0, {0, -16384, 0}},
      {"right axis at the target", ObjSteerHeadingPitch3, 5000, 0, 0, {0, 0, 0}},
      {"right axis, target ahead", ObjSteerHeadingPitch3, 0, 0, 5000, {-16384, 0, 0}},
      {"right axis, target above", ObjSteerHeadingPitch3, 0, 5000, 0, {0, 0, 16384}},
  };
  for (const Case& c : kCases) {
    SetRefAngles(5, 6, 7);
    Steer(c.routine, c.dx, c.dy, c.dz);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(object_.refAngles[i], c.angles[i]) << c.what << " " << i;
  }
}

}  // namespace
