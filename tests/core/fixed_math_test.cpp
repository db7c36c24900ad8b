// Tests of the 16.16 arithmetic: table spots, rounding and saturation of the scalar operations,
// the angle conversions with their special cases, matrix and quaternion round trips, and the
// accessors over universe records.
#include "core/fixed_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>

#include "core/memory.h"
#include "universe/universe.h"

namespace {

class FixedMath : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }
};

// Difference of two angles on the circle, in Angle16 units.
int AngleGap(int32_t a, int32_t b) {
  int d = static_cast<int>((static_cast<uint32_t>(a) - static_cast<uint32_t>(b)) & 0xFFFF);
  return d > 32768 ? 65536 - d : d;
}

void ExpectRows(const FixedMatrix& m, const int32_t (&rows)[3][3], const char* what) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(m.m[r][c], rows[r][c]) << what << " [" << r << "][" << c << "]";
  }
}

TEST_F(FixedMath, TableSpotsHoldKnownValues) {
  struct Case {
    const char* table;
    int index;
    int32_t value;
  };
  const Case kCases[] = {
      {"sine", 0, 0},          {"sine", 8192, 46340},  {"sine", 16384, 65535},   {"sine", 4096, 25079},
      {"asin", 0, 0},          {"asin", 32768, 5461},  {"asin", 65536, 16384},   {"atan", 0, 0},
      {"atan", 65536, 8192},   {"atan", 32768, 4836},  {"sqrt1m", 0, 65535},     {"sqrt1m", 65536, 0},
      {"sqrt1m", 32768, 56755},
  };
  for (const Case& c : kCases) {
    int32_t got = 0;
    std::string name = c.table;
    if (name == "sine") got = SineTable[c.index];
    if (name == "asin") got = ArcSineTable[c.index];
    if (name == "atan") got = ArcTanTable[c.index];
    if (name == "sqrt1m") got = SqrtOneMinusSquareTable[c.index];
    EXPECT_EQ(got, c.value) << c.table << "[" << c.index << "]";
  }
}

TEST_F(FixedMath, TableSineAndCosineFollowTheQuadrants) {
  struct Case {
    uint32_t angle;
    int32_t sine, cosine;
  };
  const Case kCases[] = {
      {0, 0, 65535},          {16384, 65535, 0},      {32768, 0, -65535},   {49152, -65535, 0},
      {8192, 46340, 46340},   {24576, 46340, -46340}, {40960, -46340, -46340}, {57344, -46340, 46340},
      {65536 + 16384, 65535, 0},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(TableSine(c.angle), c.sine) << c.angle;
    EXPECT_EQ(TableCosine(c.angle), c.cosine) << c.angle;
  }
}

TEST_F(FixedMath, ScalarOperationsRoundAndSaturate) {
  struct Case {
    const char* op;
    int32_t a, b, expected;
  };
  const Case kCases[] = {
      {"mul", 0x18000, 0x18000, 0x24000},
      {"mul", -1, 0x8000, 0},  // -0.5 rounds up to 0
      {"mul", -3, 0x8000, -1},
      {"mul", -0x18000, 0x18000, -0x24000},
      {"mul", 1, 0x7FFF, 0},
      {"mul", 1, 0x8000, 1},
      {"mul", -0x10000, 0x10000, -0x10000},
      {"div", 5, 0, 0},
      {"div", 0x30000, 0x20000, 0x18000},
      {"div", -0x30000, 0x20000, -0x18000},
      {"div", -1, 0x20000, 0},  // truncated toward zero
      {"div", 0x7FFFFFFF, 1, 0x7FFFFFFF},            // saturates, does not trap
      {"div", INT32_MIN, 1, INT32_MIN},              // saturates
      {"div", INT32_MIN, -1, 0x7FFFFFFF},            // saturates
      {"div", 0x7FFF, 1, 0x7FFF0000},
      {"scale", 32767, 100, 100},
      {"scale", -32767, 7, -7},
      {"scale", 1000, 3, 0},
      {"max", 3, -5, 3},
  };
  for (const Case& c : kCases) {
    std::string op = c.op;
    int32_t got = op == "mul" ? FixedMul(c.a, c.b)
                  : op == "div" ? FixedDiv(c.a, c.b)
                  : op == "scale" ? MulScale32767(c.a, c.b)
                                  : MaxOf3(c.a, c.b, 1);
    EXPECT_EQ(got, c.expected) << c.op << "(" << c.a << ", " << c.b << ")";
  }
  EXPECT_EQ(MaxOf3(-9, -2, -4), -2);
  EXPECT_EQ(MaxOf3(INT32_MIN, INT32_MIN, INT32_MIN), INT32_MIN);
}

TEST_F(FixedMath, IntSqrtIsTheFloor) {
  const uint32_t kCases[] = {0, 1, 2, 3, 4, 15, 16, 17, 65535, 65536, 1000000, 0x3FFFFFFF, 0x40000000, 0xFFFFFFFE, 0xFFFFFFFF};
  for (uint32_t n : kCases) {
    uint64_t root = IntSqrt(n);
    EXPECT_LE(root * root, n) << n;
    EXPECT_GT((root + 1) * (root + 1), n) << n;
  }
}

TEST_F(FixedMath, RandomUpToIncludesBothEnds) {
  GameSrand(1);
  bool sawZero = false, sawTen = false;
  for (int i = 0; i < 200000; ++i) {
    int32_t r = RandomUpTo(10);
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 10);
    sawZero |= r == 0;
    sawTen |= r == 10;
  }
  EXPECT_TRUE(sawZero);
  EXPECT_TRUE(sawTen);
}

TEST_F(FixedMath, AngleFromXYCoversTheCircle) {
  struct Case {
    int32_t x, y;
    uint32_t angle;
  };
  const Case kCases[] = {
      {1, 0, 0},          {0, 1, 16384},      {-1, 0, 32768},      {0, -1, 49152},  {0, 0, 0},
      {1, 1, 8192},       {-1, -1, 40960},    {1, -1, 57344},      {5, -1, 63477},
      {0x7FFFFFFF, -1, 65535},  // just below a full turn stays
      {INT32_MIN, 0, 32768},
  };
  for (const Case& c : kCases) EXPECT_EQ(AngleFromXY(c.x, c.y), c.angle) << c.x << ", " << c.y;
}

TEST_F(FixedMath, RotateXYTurnsCounterClockwise) {
  int32_t x = 0, y = 0;
  RotateXY(16384, 1000, 0, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 1000);
  RotateXY(32768 + 65536, 1000, 500, &x, &y);
  EXPECT_EQ(x, -1000);
  EXPECT_EQ(y, -499);  // -499.99999... truncates toward zero
}

TEST_F(FixedMath, VectorOperationsKeepTheFourthWord) {
  FixedVector a, b, out;
  SetVector(&a, 10, 20, 30);
  EXPECT_EQ(a.w, 0);
  SetVector(&b, 1, 2, 3);
  out.w = 77;
  SubVector(&out, &b, &a);  // a - b
  EXPECT_EQ(out.x, 9);
  EXPECT_EQ(out.z, 27);
  EXPECT_EQ(out.w, 77);
  AddVector(&out, &a, &b);
  EXPECT_EQ(out.y, 22);
  SubVectorFrom(&out, &b);
  EXPECT_EQ(out.x, 10);
  AddVectorTo(&out, &b);
  EXPECT_EQ(out.z, 33);
  EXPECT_EQ(out.w, 77);

  SetVector(&a, 0x20000, -0x10000, 3);
  MulVectorFixed(&out, 0x8000, &a);
  EXPECT_EQ(out.x, 0x10000);
  EXPECT_EQ(out.y, -0x8000);
  EXPECT_EQ(out.z, 2);  // 1.5 rounds up
  SetVector(&b, 0x10000, 0x30000, 0x8000);
  MulVectorsFixed(&out, &a, &b);
  EXPECT_EQ(out.x, 0x20000);
  EXPECT_EQ(out.y, -0x30000);
  DivVectorFixed(&out, 0x20000, &a);
  EXPECT_EQ(out.x, 0x10000);
  EXPECT_EQ(out.y, -0x8000);
  DivVectorFixed(&out, 0, &a);
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, 0);
  EXPECT_EQ(out.z, 0);
  DivVectorFixed(&out, 1, &a);  // quotients beyond 32 bits saturate
  EXPECT_EQ(out.x, INT32_MAX);
  EXPECT_EQ(out.y, INT32_MIN);

  SetVector(&a, 1000, -999, 7);
  MulDivVectorFixed(&out, &a, 3, 2);
  EXPECT_EQ(out.x, 1500);
  EXPECT_EQ(out.y, -1498);
  EXPECT_EQ(out.z, 10);
  MulDivVectorScalarFixed(&out, &a, 5, 0);
  EXPECT_EQ(out.x, 0);
  DivVectorsFixed(&a, 1, 10);
  EXPECT_EQ(a.x, 100);
  EXPECT_EQ(a.y, -99);
  SetVector(&a, INT32_MAX, 0, 0);
  DivVectorsFixed(&a, INT32_MAX, 1);
  EXPECT_EQ(a.x, INT32_MAX);
}

TEST_F(FixedMath, NormalizeScalesToUnitLengthByTruncation) {
  FixedVector v;
  SetVector(&v, 3, 0, 4);
  NormalizeVector(&v);
  EXPECT_EQ(v.x, 39321);
  EXPECT_EQ(v.y, 0);
  EXPECT_EQ(v.z, 52428);
  SetVector(&v, 0, 0, 0);
  NormalizeVector(&v);
  EXPECT_EQ(v.x, 0);
  EXPECT_EQ(v.z, 0);
  int32_t x = -3, y = 4, z = 0;
  NormalizeVector(&x, &y, &z);
  EXPECT_EQ(x, -39321);
  EXPECT_EQ(y, 52428);
  x = INT32_MIN, y = INT32_MIN, z = INT32_MIN;
  NormalizeVector(&x, &y, &z);
  EXPECT_EQ(x, -37837);
  x = 3, y = 0, z = 4;
  SetVectorLength(&x, &y, &z, 1000);
  EXPECT_EQ(x, 600);
  EXPECT_EQ(z, 800);
  x = y = z = 0;
  SetVectorLength(&x, &y, &z, 1000);
  EXPECT_EQ(x, 0);
}

TEST_F(FixedMath, MatrixFromAnglesQuarterTurns) {
  struct Case {
    uint32_t a, b, c;
    int32_t rows[3][3];
  };
  // Single-precision radians lie a hair beyond each quarter turn, so every 1.0 truncates to 65535
  // and the small cosines truncate to 0.
  const Case kCases[] = {
      {0, 0, 0, {{65536, 0, 0}, {0, 65536, 0}, {0, 0, 65536}}},
      {16384, 0, 0, {{0, 0, 65535}, {0, 65536, 0}, {-65535, 0, 0}}},
      {0, 16384, 0, {{65536, 0, 0}, {0, 0, -65535}, {0, 65535, 0}}},
      {0, 0, 16384, {{0, 65535, 0}, {-65535, 0, 0}, {0, 0, 65536}}},
      {32768, 0, 0, {{-65535, 0, 0}, {0, 65536, 0}, {0, 0, -65535}}},
      {65536 + 16384, 0, 0, {{0, 0, 65535}, {0, 65536, 0}, {-65535, 0, 0}}},
  };
  for (const Case& c : kCases) {
    FixedMatrix m;
    MatrixFromAngles(&m, c.a, c.b, c.c);
    ExpectRows(m, c.rows, "MatrixFromAngles");
  }
}

TEST_F(FixedMath, AnglesSurviveTheRoundTripThroughAMatrix) {
  const uint32_t kYaws[] = {0, 1000, 16384, 30000, 40000, 65000};
  const uint32_t kPitches[] = {0, 3000, 12000, 15000, 16000, 65536 - 3000, 65536 - 15500};
  const uint32_t kRolls[] = {0, 700, 20000, 50000};
  int worst = 0;
  for (uint32_t a : kYaws) {
    for (uint32_t b : kPitches) {
      for (uint32_t c : kRolls) {
        FixedMatrix m;
        MatrixFromAngles(&m, a, b, c);
        int32_t ra = 0, rb = 0, rc = 0;
        MatrixToAngles(&m, &ra, &rb, &rc);
        int gap = std::max({AngleGap(ra, a), AngleGap(rb, b), AngleGap(rc, c)});
        worst = std::max(worst, gap);
        EXPECT_LE(gap, 8) << "angles " << a << ", " << b << ", " << c << " came back " << ra << ", " << rb << ", " << rc;
      }
    }
  }
  RecordProperty("worst", worst);
}

TEST_F(FixedMath, MatrixToAnglesOfVerticalAndBrokenMatrices) {
  FixedMatrix m;
  MatrixSetIdentity(&m);
  m.m[2][1] = 0x10000;
  int32_t a, b, c;
  MatrixToAngles(&m, &a, &b, &c);
  EXPECT_EQ(b, 16384);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(a, 0);
  m.m[2][1] = -0x10000;
  MatrixToAngles(&m, &a, &b, &c);
  EXPECT_EQ(b, -16384);
  // A sine beyond one must not read past the tables.
  m.m[2][1] = 0x7FFFFFFF;
  MatrixToAngles(&m, &a, &b, &c);
  EXPECT_EQ(b, 16384);
  m.m[2][1] = INT32_MIN;
  MatrixToAngles(&m, &a, &b, &c);
  EXPECT_EQ(b, -16384);
  // Near the vertical with tiny cosines, the divisions saturate instead of trapping.
  for (int r = 0; r < 3; ++r) {
    for (int col = 0; col < 3; ++col) m.m[r][col] = INT32_MAX;
  }
  m.m[2][1] = 65535;
  MatrixToAngles(&m, &a, &b, &c);
  EXPECT_EQ(b, ArcSineTable[65535]);
}

TEST_F(FixedMath, AnglesFromVectorSpecialCases) {
  struct Case {
    int32_t x, y, z;
    uint32_t yaw, pitch;
  };
  const Case kCases[] = {
      {0, 5, 0, 0, 16318},    {0, -5, 0, 0, 49217},   {0, 0, 0, 0, 49217},
      {0, 0, 100, 0, 0},      {100, 0, 0, 49152, 0},  {-100, 0, 0, 16384, 0},
      {0, 0, -100, 32768, 0}, {0, 100, 100, 0, 8192}, {0, -100, 100, 0, 57344},
  };
  for (const Case& c : kCases) {
    FixedVector v;
    SetVector(&v, c.x, c.y, c.z);
    uint32_t yaw = 1, pitch = 1;
    AnglesFromVector(&v, &yaw, &pitch);
    EXPECT_EQ(yaw, c.yaw) << c.x << ", " << c.y << ", " << c.z;
    EXPECT_LE(AngleGap(static_cast<int32_t>(pitch), static_cast<int32_t>(c.pitch)), 1) << c.x << ", " << c.y << ", " << c.z;
  }
}

TEST_F(FixedMath, MatrixProductsAndInverse) {
  FixedMatrix yaw, pitch, both, back, identity;
  MatrixFromAngles(&yaw, 5000, 0, 0);
  MatrixFromAngles(&pitch, 0, 9000, 0);
  MatrixMultiply(&both, &pitch, &yaw);
  MatrixMultiplyTransposed(&back, &both, &yaw);  // undoes the yaw
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(back.m[r][c], pitch.m[r][c], 3) << r << c;
  }
  FixedMatrix inverse;
  ASSERT_EQ(MatrixInvert(&inverse, &both), 1);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(inverse.m[r][c], both.m[c][r], 4) << r << c;
  }
  MatrixMultiply(&identity, &both, &inverse);
  MatrixMultiply(&both, &both, &inverse);  // out may be an operand
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(identity.m[r][c], r == c ? 65536 : 0, 6);
      EXPECT_EQ(both.m[r][c], identity.m[r][c]);
    }
  }

  FixedMatrix singular = {{{0x10000, 0x20000, 0, 9}, {0x20000, 0x40000, 0, 9}, {0, 0, 0x10000, 9}}};
  FixedMatrix untouched = {{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}};
  EXPECT_EQ(MatrixInvert(&untouched, &singular), 0);
  EXPECT_EQ(untouched.m[1][2], 7);

  FixedVector v, out;
  SetVector(&v, 0x10000, 0, 0);
  MatrixFromAngles(&yaw, 0, 0, 16384);
  MatrixMulVector(&out, &yaw, &v);  // row 0 weighted by x
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, 65535);
  MatrixTransposeMulVector(&out, &yaw, &v);  // rows dotted with v
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, -65535);
}

TEST_F(FixedMath, OrthonormalizeRepairsADriftedRotation) {
  FixedMatrix m;
  MatrixFromAngles(&m, 1234, 5678, 9012);
  FixedMatrix drifted = m;
  drifted.m[0][0] += 900;
  drifted.m[1][2] -= 700;
  drifted.m[2][2] += 300;
  FixedMatrix rows = drifted, columns = drifted;
  MatrixOrthonormalizeRow2(&rows);
  MatrixOrthonormalizeColumn0(&columns);
  for (FixedMatrix* r : {&rows, &columns}) {
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        int64_t dot = 0;
        for (int k = 0; k < 3; ++k) dot += FixedMul(r->m[i][k], r->m[j][k]);
        EXPECT_NEAR(dot, i == j ? 65536 : 0, 40) << i << j;
      }
    }
  }
}

TEST_F(FixedMath, AxisAngleRoundTrip) {
  struct Case {
    int32_t x, y, z;
    uint32_t angle;
  };
  const Case kCases[] = {
      {0, 0, 65536, 16384}, {65536, 0, 0, 5000}, {0, 65536, 0, 60000 - 32768},
      {37837, 37837, 37837, 12000}, {65536, 0, 0, 0},
      {65536, 0, 0, 32768},  // a half turn has no antisymmetric part
  };
  for (const Case& c : kCases) {
    FixedVector axis, back;
    SetVector(&axis, c.x, c.y, c.z);
    FixedMatrix m;
    MatrixFromAxisAngle(&m, &axis, c.angle);
    int32_t angle = 0;
    MatrixToAxisAngle(&m, &back, &angle);
    EXPECT_NEAR(angle, c.angle, 3) << c.angle;
    if (c.angle != 0) {
      EXPECT_NEAR(back.x, c.x, 40);
      EXPECT_NEAR(back.y, c.y, 40);
      EXPECT_NEAR(back.z, c.z, 40);
    } else {
      EXPECT_EQ(back.z, 65536);  // no turn: the axis is z
    }
    EXPECT_EQ(back.w, 0);
  }
  FixedMatrix m;
  FixedVector z;
  SetVector(&z, 0, 0, 65536);
  MatrixFromAxisAngle(&m, &z, 16384);
  EXPECT_EQ(m.m[0][1], 65536);  // (1 - c) x y + z s
  EXPECT_EQ(m.m[1][0], -65536);
}

TEST_F(FixedMath, QuaternionsMatchTheirMatrices) {
  Quaternion q;
  FixedVector zero;
  SetVector(&zero, 0, 0, 0);
  QuaternionFromAxisAngle(&q, 12345, &zero);
  EXPECT_EQ(q.w, 0x10000);
  EXPECT_EQ(q.x, 0);

  const uint32_t kAngleSets[][3] = {{0, 0, 0}, {10000, 0, 0}, {0, 20000, 0}, {3000, 9000, 40000},
                                    {32768, 0, 0}, {0, 32768, 0}, {0, 0, 32768}, {30000, 60000, 33000}};
  for (const auto& s : kAngleSets) {
    FixedMatrix m, back;
    MatrixFromAngles(&m, s[0], s[1], s[2]);
    QuaternionFromMatrix(&q, &m);
    MatrixFromQuaternion(&back, &q);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(back.m[r][c], m.m[r][c], 300) << s[0] << "," << s[1] << "," << s[2] << " [" << r << "][" << c << "]";
    }
  }

  // Two quarter turns about z make a half turn.
  FixedVector axis;
  SetVector(&axis, 0, 0, 0x10000);
  Quaternion quarter, half;
  QuaternionFromAxisAngle(&quarter, 16384, &axis);
  EXPECT_EQ(quarter.w, 46340);
  EXPECT_EQ(quarter.z, 46340);
  QuaternionMultiply(&half, &quarter, &quarter);
  EXPECT_NEAR(half.w, 0, 2);
  EXPECT_NEAR(half.z, 65536, 2);
}

TEST_F(FixedMath, QuaternionBlendEndsAndMiddle) {
  FixedVector axis;
  SetVector(&axis, 0, 0, 0x10000);
  Quaternion a, b, out;
  QuaternionFromAxisAngle(&a, 0, &axis);
  QuaternionFromAxisAngle(&b, 16384, &axis);
  QuaternionBlend(&out, &a, &b, -1);
  EXPECT_EQ(out.w, a.w);
  QuaternionBlend(&out, &a, &b, 0x10001);
  EXPECT_EQ(out.z, b.z);
  QuaternionBlend(&out, &a, &b, 0x8000);
  Quaternion eighth;
  QuaternionFromAxisAngle(&eighth, 8192, &axis);
  EXPECT_NEAR(out.w, eighth.w, 3);
  EXPECT_NEAR(out.z, eighth.z, 3);
  // The opposite sign of the same rotation blends the short way.
  Quaternion negB = {-b.w, -b.x, -b.y, -b.z};
  QuaternionBlend(&out, &a, &negB, 0x8000);
  EXPECT_NEAR(out.w, eighth.w, 3);
  QuaternionBlend(&out, &a, &a, 0x4000);
  EXPECT_EQ(out.w, a.w);
}

TEST_F(FixedMath, SplineBlendHitsItsEnds) {
  FixedVector p0, p1, t0, t1, pos, tan;
  SetVector(&p0, 0, 0, 0);
  SetVector(&p1, 0x100000, 0x200000, -0x100000);
  SetVector(&t0, 0x10000, 0, 0);
  SetVector(&t1, 0, 0x10000, 0);
  SplineBlend(&p0, &p1, &t0, &t1, 0, &pos, &tan);
  EXPECT_EQ(pos.x, 0);
  EXPECT_EQ(tan.x, 0x10000);
  SplineBlend(&p0, &p1, &t0, &t1, 0x10000, &pos, &tan);
  EXPECT_EQ(pos.x, p1.x);
  EXPECT_EQ(pos.y, p1.y);
  EXPECT_EQ(tan.y, 0x10000);
  SplineBlend(&p0, &p1, &t0, &t1, 0x8000, &pos, nullptr);
  EXPECT_EQ(pos.z, -0x80000);  // the middle of the chord, shifted by the tangents
  EXPECT_EQ(pos.x, 0x80000 + 0x2000);
}

TEST_F(FixedMath, TransformPointDividesByTheHomogeneousTerm) {
  FixedMatrix m;
  MatrixSetIdentity(&m);
  m.m[0][3] = m.m[1][3] = m.m[2][3] = 0;
  FixedVector p, offset;
  SetVector(&p, 100, 200, 300);
  SetVector(&offset, 1, 2, 3);
  float out[3];
  TransformPointToFloat(out, &p, &m, &offset);
  EXPECT_FLOAT_EQ(out[0], 101);
  EXPECT_FLOAT_EQ(out[2], 303);
  m.m[0][3] = 42949673;  // FixedMul(100, this) = 1.0, so the homogeneous term is 2.0
  TransformPointToFloat(out, &p, &m, &offset);
  EXPECT_FLOAT_EQ(out[1], 101);
  EXPECT_FLOAT_EQ(out[0], 50);
  m.m[0][3] = -42949673;  // homogeneous term 0: nothing to divide by
  TransformPointToFloat(out, &p, &m, &offset);
  EXPECT_FLOAT_EQ(out[0], 0);
}

TEST_F(FixedMath, ObjectDistancesReadInstancePositions) {
  InstanceRecord ia{}, ib{}, far{}, near{};
  SetVector(&ib.position, 3, -4, 12);
  SetVector(&far.position, INT32_MIN, 0, 0);
  SetVector(&near.position, INT32_MAX, 0, 0);
  auto object = [](InstanceRecord* instance) {
    SpaceObject o{};
    o.objClass = kClassShip;
    o.instance = instance;
    return o;
  };
  SpaceObject a = object(&ia), b = object(&ib), c = object(&far), d = object(&near), lost = object(nullptr);
  EXPECT_EQ(ObjectDistance(&a, &b), 13);
  EXPECT_EQ(ObjectMaxNormDistance(&a, &b), 12);
  EXPECT_EQ(ObjectDistance(&a, &lost), 0);
  EXPECT_EQ(ObjectDistance(&c, &a), INT32_MIN);  // 2^31 has no 32-bit form
  EXPECT_EQ(ObjectMaxNormDistance(&c, &d), 1);   // the difference wraps as a word
}

TEST_F(FixedMath, ObjectClassAndTypeAccessors) {
  struct Case {
    uint16_t objectClass, subtype;
    bool c567, c56, c7t267;
  };
  const Case kCases[] = {
      {5, 0, true, true, false}, {6, 9, true, true, false}, {7, 267, true, false, true},
      {7, 266, true, false, false}, {4, 267, false, false, false}, {8, 0, false, false, false},
  };
  for (const Case& c : kCases) {
    SpaceObject o{};
    o.objClass = c.objectClass;
    o.subtype = static_cast<int16_t>(c.subtype);
    EXPECT_EQ(IsObjectClass567(&o), c.c567) << c.objectClass;
    EXPECT_EQ(IsObjectClass56(&o), c.c56) << c.objectClass;
    EXPECT_EQ(IsObjectClass7Type267(&o), c.c7t267) << c.objectClass << "/" << c.subtype;
  }

  // A bullet type's range is its lifetime times its speed; a laser names its bullet type.
  ObjectTypeRecord bullets[2] = {};
  bullets[0].bullet.lifetime = 1500;
  bullets[0].bullet.speed = 2000;
  bullets[0].tailValue[0] = 42;
  bullets[0].bullet.flags = 0x3F;
  bullets[1].bullet.lifetime = -7;
  bullets[1].bullet.speed = 333;
  bullets[1].tailValue[0] = 9;
  bullets[1].bullet.flags = kBulletFlagFlaggedId;
  gObjectTypeTables[kClassBullet] = {bullets, 2};
  ObjectTypeRecord laser = {};
  laser.laser.bulletType = 1;
  EXPECT_EQ(TypeGetScaledValue(&bullets[0]), 3000);
  EXPECT_EQ(TypeGetScaledValue(&bullets[1]), -2);
  EXPECT_EQ(TypeGetFlaggedId(&bullets[0]), 0);
  EXPECT_EQ(TypeGetFlaggedId(&bullets[1]), 9 | 0x100000);
  EXPECT_EQ(TypeGetScaledValueOfSub(&laser), -2);
  EXPECT_EQ(TypeGetFactorOfSub(&laser), 333);
  EXPECT_EQ(TypeGetFlaggedIdOfSub(&laser), 9 | 0x100000);
  laser.laser.bulletType = 2;  // past the table: nothing, not a stray read
  EXPECT_EQ(TypeGetFactorOfSub(&laser), 0);
  laser.laser.bulletType = -1;
  EXPECT_EQ(TypeGetScaledValueOfSub(&laser), 0);
  gObjectTypeTables[kClassBullet] = {nullptr, 0};
  laser.laser.bulletType = 0;
  EXPECT_EQ(TypeGetFlaggedIdOfSub(&laser), 0);

  int32_t slot0[2] = {5, 0x100000}, slot1[2] = {6, 0x200000 | 3};
  const int32_t* places[2] = {slot0, slot1};
  EXPECT_EQ(PtrVectorGetFlags(places, 1), 0x200003u);
  EXPECT_TRUE(PtrVectorTestFlag20(places, 0));
  EXPECT_FALSE(PtrVectorTestFlag21(places, 0));
  EXPECT_TRUE(PtrVectorTestFlag21(places, 1));
}

TEST_F(FixedMath, FindKeyIntervalOverRecordsOfAnySize) {
  struct Key3 {
    int32_t key, a, b;
  };
  const Key3 keys[] = {{-10, 0, 0}, {0, 0, 0}, {5, 0, 0}, {5, 0, 0}, {100, 0, 0}};
  struct Case {
    int32_t k, index;
  };
  const Case kCases[] = {{-50, 0}, {-10, 0}, {-1, 0}, {0, 1}, {4, 1}, {5, 3}, {99, 3}, {100, 4}, {1000, 4}};
  for (const Case& c : kCases) EXPECT_EQ(FindKeyInterval(5, keys, c.k), c.index) << c.k;
  EXPECT_EQ(FindKeyInterval(1, keys, 50), 0);
  EXPECT_EQ(FindKeyInterval(0, keys, 50), 0);  // no record to read
  const int32_t plain[] = {1, 2, 3};
  EXPECT_EQ(FindKeyInterval(3, plain, 2), 1);
}

}  // namespace
