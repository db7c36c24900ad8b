// The SE_ math and geometry natives: tables of curve values, divisors, distances, 16.16
// products and quotients at the 32-bit limits, square roots, table sine and cosine, the random
// sequence from a seed, ranges and their packing, matrices and vectors in script arrays, the
// postfix expression evaluator (with the text add run by a loaded script) and the escort offset.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "script/natives/se_fixture.h"
#include "support/script_runner.h"

namespace {

int32_t Fn(const char* name) {
  for (int32_t n = 0; n < kSENativeCount; ++n) {
    if (std::strcmp(kSENativeNames[n], name) == 0) return n;
  }
  ADD_FAILURE() << "no native " << name;
  return -1;
}

// A script value the test owns: released when it goes out of scope (before the fixture's
// counter check).
struct Owned {
  ScriptValue v{};
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { ReleaseValue(&v); }
};

void IntArray(ScriptValue* out, const std::vector<int32_t>& values) {
  AllocArrayValue(out, static_cast<int32_t>(values.size()));
  for (size_t k = 0; k < values.size(); ++k) ArrayWriteInt(out, static_cast<int32_t>(k), values[k]);
}

void MatrixArray(ScriptValue* out, const FixedMatrix& m) {
  AllocArrayValue(out, 3);
  for (int32_t r = 0; r < 3; ++r) {
    ScriptValue row{};
    IntArray(&row, {m.m[r][0], m.m[r][1], m.m[r][2]});
    ArrayWrite(out, r, &row);
    ReleaseValue(&row);
  }
}

std::vector<int32_t> Ints(const ScriptValue* array) {
  std::vector<int32_t> out;
  if (array->type != kValueArray) return out;
  for (int32_t k = 0; k < GetArraySize(array); ++k) {
    const ScriptValue* e = ArrayElementPtr(const_cast<ScriptValue*>(array), k);
    out.push_back(e && e->type == kValueInt ? e->i : 0x7EADBEEF);
  }
  return out;
}

FixedMatrix MatrixOf(const ScriptValue* array) {
  FixedMatrix m{};
  for (int32_t r = 0; r < 3; ++r) {
    const ScriptValue* row = ArrayElementPtr(const_cast<ScriptValue*>(array), r);
    std::vector<int32_t> values = row ? Ints(row) : std::vector<int32_t>{};
    for (int32_t c = 0; c < 3 && c < static_cast<int32_t>(values.size()); ++c) m.m[r][c] = values[c];
  }
  return m;
}

void ExpectMatrixEq(const FixedMatrix& a, const FixedMatrix& b, int32_t tolerance, const std::string& what) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << what << " [" << r << "][" << c << "]";
}

class SEMathTest : public SENativeTest {
 protected:
  static void SetUpTestSuite() {
    SENativeTest::SetUpTestSuite();
    InitMathTables();
  }

  int32_t IntCall(const char* name, const std::vector<Arg>& args) {
    EXPECT_EQ(Call(Fn(name), args), 1) << name;
    EXPECT_TRUE(answered_) << name;
    EXPECT_EQ(answer_.type, kValueInt) << name;
    return AnswerInt();
  }
};

struct IntCase {
  const char* name;
  std::vector<int32_t> args;
  int32_t expected;
};

// Every integer-answering native over typical values, the edges the curves are made for and the
// arguments no formula was made for (which must answer, not trap or hang).
const IntCase kIntCases[] = {
    // The line, clamped, evaluated from its midpoint.
    {"SE_LinFunc", {0, 10, 0, 100, 5}, 50},
    {"SE_LinFunc", {0, 10, 0, 100, -3}, 0},
    {"SE_LinFunc", {0, 10, 0, 100, 10}, 100},
    {"SE_LinFunc", {0, 10, 0, 100, 12}, 100},
    {"SE_LinFunc", {4, 4, 1, 2, 9}, 1},
    {"SE_LinFunc", {0, 10, 100, 0, 3}, 70},
    {"SE_LinFunc", {0, 3, 0, 1, 1}, 0},
    {"SE_LinFunc", {0, 3, 0, 1, 2}, 0},  // both halves round toward the middle
    {"SE_LinFunc", {0, 200000, 0, 1000, 150000}, 750},
    {"SE_LinFunc", {-100000, 100000, -50, 50, 50000}, 25},
    {"SE_LinFunc", {INT_MIN, INT_MAX, INT_MIN, INT_MAX, 0}, 0},
    {"SE_LinFuncSum", {0, 10, 0, 10, 0, 10}, 55},
    {"SE_LinFuncSum", {0, 10, 0, 100, 0, 0}, 0},
    {"SE_SmoothInterpolate", {0, 10, 0, 100, 5}, 50},
    {"SE_SmoothInterpolate", {0, 10, 0, 100, 10}, 99},
    {"SE_SmoothInterpolate", {0, 10, 0, 100, 0}, 0},
    {"SE_SmoothInterpolate", {5, 5, 0, 100, 5}, 50},  // no span: the middle
    {"SE_LogFunc", {10, 10, 1000, 7, 9}, 7},
    {"SE_LogFunc", {1000, 10, 1000, 7, 9}, 9},
    {"SE_LogFunc", {5, 10, 1000, 7, 9}, 7},
    {"SE_LogFunc", {5000, 10, 1000, 7, 9}, 9},
    {"SE_LogFunc", {5, 0, 10, 7, 9}, 7},   // no logarithm of 0
    {"SE_LogFunc", {5, 10, 10, 7, 9}, 7},  // no width
    {"SE_LogFunc", {5, -10, 10, 7, 9}, 7},
    {"SE_ExpFunc", {50, 10, 50, 0, 100}, 100},
    {"SE_ExpFunc", {10, 10, 50, 0, 100}, 1},  // 100 e^-4
    {"SE_ExpFunc", {5, 0, 10, 3, 100}, 3},
    {"SE_ExpFunc", {20000, 1, 20000, 0, 100}, 100},  // both powers overflow
    {"SE_ExpFunc", {10000, 1, 20000, 0, 100}, 0},
    {"SE_CubicPoly", {10, 0, 10, 100, 1, 0, 20}, 100},
    {"SE_CubicPoly", {10, 0, 10, 100, 1, 0, 10}, 0},
    {"SE_CubicPoly", {10, 0, 10, 100, 1, 0, 15}, 12},  // 0.1 * 5^3
    {"SE_CubicPoly", {10, 5, 10, 100, 1, 2, 12}, 9},   // 5 + 2*2 + (100-20)/1000*8
    {"SE_CubicPoly", {10, 5, 0, 100, 0, 3, 12}, 5},    // no run, no width
    // Divisors: only positive arguments have one.
    {"SE_GGT", {12, 18}, 6},
    {"SE_GGT", {7, 13}, 1},
    {"SE_GGT", {INT_MAX, 1}, 1},
    {"SE_GGT", {5, 5}, 5},
    {"SE_GGT", {0, 5}, 0},
    {"SE_GGT", {-4, 6}, 0},
    {"SE_GGT", {6, INT_MIN}, 0},
    {"SE_KGV", {4, 6}, 12},
    {"SE_KGV", {7, 13}, 91},
    {"SE_KGV", {0, 5}, 0},
    {"SE_KGV", {-3, 4}, 0},
    // Distances in single precision, truncated; the largest hold at the 32-bit limit.
    {"SE_Distance3", {3, 4, 0}, 5},
    {"SE_Distance3", {0, 0, 0}, 0},
    {"SE_Distance3", {-2, -3, 6}, 7},
    {"SE_Distance3", {1, 1, 1}, 1},
    {"SE_Distance3", {INT_MIN, INT_MIN, INT_MIN}, INT_MAX},
    // 16.16 products and quotients; quotients beyond 32 bits hold at the limits.
    {"SE_MulFix", {0x18000, 0x20000}, 0x30000},
    {"SE_MulFix", {-0x8000, 1}, 0},
    {"SE_MulFix", {0x10000, -7}, -7},
    {"SE_DivFix", {1, 0}, 0},
    {"SE_DivFix", {0x30000, 0x20000}, 0x18000},
    {"SE_DivFix", {-3, 2}, -98304},
    {"SE_DivFix", {INT_MAX, 1}, INT_MAX},
    {"SE_DivFix", {INT_MIN, 1}, INT_MIN},
    {"SE_DivFix", {INT_MIN, -1}, INT_MAX},
    {"SE_MulDivFix", {100, 3, 7}, 42},
    {"SE_MulDivFix", {-100, 3, 7}, -42},
    {"SE_MulDivFix", {6, 7, 0}, 0},
    {"SE_MulDivFix", {INT_MAX, INT_MAX, 1}, INT_MAX},
    {"SE_MulDivFix", {INT_MIN, 1, -1}, INT_MAX},
    {"SE_MulDivFix", {INT_MIN, INT_MAX, 1}, INT_MIN},
    {"SE_MulDivFix", {INT_MAX, INT_MAX, INT_MAX}, INT_MAX},
    {"SE_Sqrt", {99}, 9},
    {"SE_Sqrt", {100}, 10},
    {"SE_Sqrt", {0}, 0},
    {"SE_Sqrt", {2147483647}, 46340},
    {"SE_Sqrt", {-5}, 0},
    {"SE_Sqrt", {INT_MIN}, 0},
    // Table sine and cosine; angles are taken modulo a turn.
    {"SE_Sin", {0}, 0},
    {"SE_Sin", {16384}, 65535},
    {"SE_Sin", {32768}, 0},
    {"SE_Sin", {49152}, -65535},
    {"SE_Sin", {8192}, 46340},
    {"SE_Sin", {65536 + 8192}, 46340},
    {"SE_Sin", {-16384}, -65535},
    {"SE_Sin", {40960}, -46340},
    {"SE_Cos", {0}, 65535},
    {"SE_Cos", {16384}, 0},
    {"SE_Cos", {32768}, -65535},
    {"SE_Cos", {49152}, 0},
    {"SE_Cos", {8192}, 46340},
    {"SE_Cos", {24576}, -46340},
    {"SE_Cos", {-8192}, 46340},
    // Random numbers that draw nothing.
    {"SE_Random", {0}, 0},
    {"SE_Random", {-5}, 0},
    {"SE_Random", {1}, 0},
    {"SE_RandomLowNorm", {10, -1}, 9},
    {"SE_RandomLowNorm", {10, 0}, 0},
};

TEST_F(SEMathTest, IntegerNativesAnswerTheirTable) {
  for (const IntCase& c : kIntCases) {
    std::vector<Arg> args;
    for (int32_t a : c.args) args.push_back(I(a));
    std::string what = std::string(c.name) + "(";
    for (size_t k = 0; k < c.args.size(); ++k) what += (k ? ", " : "") + std::to_string(c.args[k]);
    EXPECT_EQ(IntCall(c.name, args), c.expected) << what << ")";
  }
}

TEST_F(SEMathTest, MissingArgumentsAnswerZero) {
  const char* const kNames[] = {"SE_LinFunc",  "SE_LinFuncSum", "SE_SmoothInterpolate", "SE_LogFunc", "SE_ExpFunc",
                                "SE_CubicPoly", "SE_GGT",        "SE_KGV",               "SE_MulFix",  "SE_DivFix",
                                "SE_MulDivFix", "SE_Distance3",  "SE_RandomLowNorm"};
  for (const char* name : kNames) EXPECT_EQ(IntCall(name, {I(7)}), 0) << name;
}

TEST_F(SEMathTest, RandomNumbersFollowTheSeededGenerator) {
  GameSrand(1);
  // A range of 32768 gives the generator's own numbers; a range of 0 draws nothing.
  EXPECT_EQ(IntCall("SE_Random", {I(0)}), 0);
  EXPECT_EQ(IntCall("SE_Random", {I(32768)}), 41);
  EXPECT_EQ(IntCall("SE_Random", {I(32768)}), 18467);
  EXPECT_EQ(IntCall("SE_Random", {I(100)}), 19);  // 100 * 6334 / 32768

  // One draw per call, folded at n: 41 -> 32726 - 16384, 18467 -> 2083, 6334 -> 26433 - 16384.
  GameSrand(1);
  EXPECT_EQ(IntCall("SE_RandomLowNorm", {I(16384), I(1)}), 16342);
  EXPECT_EQ(IntCall("SE_RandomLowNorm", {I(16384), I(1)}), 2083);
  EXPECT_EQ(IntCall("SE_RandomLowNorm", {I(16384), I(1)}), 10049);
}

TEST_F(SEMathTest, RandomLowNormStaysInRangeAndFavoursSmallValues) {
  GameSrand(7);
  std::vector<int> seen(10, 0);
  for (int k = 0; k < 2000; ++k) {
    int32_t r = IntCall("SE_RandomLowNorm", {I(10), I(1)});
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 10);
    seen[r]++;
  }
  for (int v = 0; v < 10; ++v) EXPECT_GT(seen[v], 120) << v;  // one draw folds to uniform

  double sum = 0;
  for (int k = 0; k < 2000; ++k) {
    int32_t r = IntCall("SE_RandomLowNorm", {I(100), I(4)});
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 100);
    sum += r;
  }
  EXPECT_LT(sum / 2000, 35.0);  // a uniform draw would average 49.5

  // Sizes no formula was made for still answer, and soon.
  IntCall("SE_RandomLowNorm", {I(INT_MAX), I(INT_MAX)});
  IntCall("SE_RandomLowNorm", {I(INT_MIN), I(3)});
  IntCall("SE_Random", {I(INT_MAX)});
}

TEST_F(SEMathTest, DistancesOfPositionArrays) {
  Owned p, q, shortArray, text;
  IntArray(&p.v, {1, 2, 3});
  IntArray(&q.v, {1, 5, 7});
  IntArray(&shortArray.v, {1, 2});
  SetValueString(&text.v, "1,2,3");
  EXPECT_EQ(IntCall("SE_DistanceA3", {V(p.v), I(4), I(6), I(3)}), 5);
  EXPECT_EQ(IntCall("SE_DistanceA3", {V(shortArray.v), I(4), I(6), I(3)}), 0);
  EXPECT_EQ(IntCall("SE_DistanceA3", {V(text.v), I(4), I(6), I(3)}), 0);
  EXPECT_EQ(IntCall("SE_DistanceAA", {V(p.v), V(q.v)}), 5);
  EXPECT_EQ(IntCall("SE_DistanceAA", {V(p.v), V(shortArray.v)}), 0);
  EXPECT_EQ(IntCall("SE_DistanceAA", {V(p.v)}), 0);
}

TEST_F(SEMathTest, PositionsInRanges) {
  // Pairs: a centre that is not an array (skipped), then (0,0,0) radius 2, then (100,0,0) radius 5.
  Owned ranges, centre1, centre2, pos, far;
  IntArray(&centre1.v, {0, 0, 0});
  IntArray(&centre2.v, {100, 0, 0});
  AllocArrayValue(&ranges.v, 6);
  ArrayWriteInt(&ranges.v, 0, 55);
  ArrayWriteInt(&ranges.v, 1, 1000000);
  ArrayWrite(&ranges.v, 2, &centre1.v);
  ArrayWriteInt(&ranges.v, 3, 2);
  ArrayWrite(&ranges.v, 4, &centre2.v);
  ArrayWriteInt(&ranges.v, 5, 5);
  IntArray(&pos.v, {1, 1, 1});
  IntArray(&far.v, {103, 4, 0});

  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(pos.v), V(ranges.v)}), 1);
  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(far.v), V(ranges.v)}), 1);  // distance 5, radius 5
  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(far.v), V(ranges.v), I(2)}), 0);  // only the first two pairs
  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(far.v), V(ranges.v), I(3)}), 1);  // 2 * 3 is not below 6: all
  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(far.v), V(ranges.v), I(-1)}), 1);
  EXPECT_EQ(IntCall("SE_IsPosInRange3", {I(2), I(0), I(0), V(ranges.v)}), 1);
  EXPECT_EQ(IntCall("SE_IsPosInRange3", {I(3), I(0), I(0), V(ranges.v)}), 0);
  EXPECT_EQ(IntCall("SE_IsPosInRange3", {I(3), I(0), I(0), I(4)}), 0);
  Owned shortPos;
  IntArray(&shortPos.v, {0, 0});
  EXPECT_EQ(IntCall("SE_IsPosInRangeA", {V(shortPos.v), V(ranges.v)}), 0);
}

TEST_F(SEMathTest, CompressRangeDataDropsRangesInsideOthers) {
  // Same centre, radii 5 and 9: the 9 stays, at the front.
  {
    Owned ranges, centre;
    IntArray(&centre.v, {10, 20, 30});
    AllocArrayValue(&ranges.v, 4);
    ArrayWrite(&ranges.v, 0, &centre.v);
    ArrayWriteInt(&ranges.v, 1, 5);
    ArrayWrite(&ranges.v, 2, &centre.v);
    ArrayWriteInt(&ranges.v, 3, 9);
    EXPECT_EQ(IntCall("SE_CompressRangeData", {V(ranges.v)}), 1);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 0)->array, centre.v.array);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 1)->i, 9);
  }
  // A (0,0,0) r10, B (100,0,0) r5, C (2,0,0) r3 inside A: A and B packed, C's slots left.
  {
    Owned ranges, a, b, c;
    IntArray(&a.v, {0, 0, 0});
    IntArray(&b.v, {100, 0, 0});
    IntArray(&c.v, {2, 0, 0});
    AllocArrayValue(&ranges.v, 6);
    ArrayWrite(&ranges.v, 0, &c.v);
    ArrayWriteInt(&ranges.v, 1, 3);
    ArrayWrite(&ranges.v, 2, &a.v);
    ArrayWriteInt(&ranges.v, 3, 10);
    ArrayWrite(&ranges.v, 4, &b.v);
    ArrayWriteInt(&ranges.v, 5, 5);
    EXPECT_EQ(IntCall("SE_CompressRangeData", {V(ranges.v)}), 2);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 0)->array, a.v.array);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 1)->i, 10);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 2)->array, b.v.array);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 3)->i, 5);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 4)->array, b.v.array);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 5)->i, 5);
    // A count of one range is answered at once.
    EXPECT_EQ(IntCall("SE_CompressRangeData", {V(ranges.v), I(1)}), 1);
  }
  // A centre that is not a position: nothing changes.
  {
    Owned ranges, a;
    IntArray(&a.v, {0, 0, 0});
    AllocArrayValue(&ranges.v, 4);
    ArrayWrite(&ranges.v, 0, &a.v);
    ArrayWriteInt(&ranges.v, 1, 1);
    ArrayWriteInt(&ranges.v, 2, 7);
    ArrayWriteInt(&ranges.v, 3, 9);
    EXPECT_EQ(IntCall("SE_CompressRangeData", {V(ranges.v)}), 0);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 2)->i, 7);
    EXPECT_EQ(ArrayElementPtr(&ranges.v, 3)->i, 9);
  }
}

TEST_F(SEMathTest, RotationMatricesInScriptArrays) {
  FixedMatrix expected;
  MatrixFromAngles(&expected, 16384, 4096, 1000);
  Call(Fn("SE_GetRotMatrixFromAngles"), {I(16384), I(4096), I(1000)});
  ASSERT_EQ(answer_.type, kValueArray);
  Owned matrix;
  MoveValue(&matrix.v, &answer_);
  ExpectMatrixEq(MatrixOf(&matrix.v), expected, 0, "rows hold m[i][0..2]");

  // Angles back from the matrix, near what made it.
  Call(Fn("SE_GetAnglesFromRotMatrix"), {V(matrix.v)});
  std::vector<int32_t> angles = Ints(&answer_);
  ASSERT_EQ(angles.size(), 3u);
  EXPECT_NEAR(angles[0] & 0xFFFF, 16384, 8);
  EXPECT_NEAR(angles[1] & 0xFFFF, 4096, 8);
  EXPECT_NEAR(angles[2] & 0xFFFF, 1000, 8);

  // Products: m x n, n x m written into m, m x n written into m, m x transpose(n).
  FixedMatrix a, b, ab, ba;
  MatrixFromAngles(&a, 3000, 0, 0);
  MatrixFromAngles(&b, 0, 5000, 0);
  MatrixMultiply(&ab, &a, &b);
  MatrixMultiply(&ba, &b, &a);
  Owned ma, mb;
  MatrixArray(&ma.v, a);
  MatrixArray(&mb.v, b);
  Call(Fn("SE_MatrixMultiply"), {V(ma.v), V(mb.v)});
  ExpectMatrixEq(MatrixOf(&answer_), ab, 0, "m x n");
  Call(Fn("SE_MatrixMultiplyInv"), {V(ma.v), V(ma.v)});
  FixedMatrix identity;
  MatrixSetIdentity(&identity);
  ExpectMatrixEq(MatrixOf(&answer_), identity, 2, "m x transpose(m)");

  EXPECT_EQ(IntCall("SE_MatrixMultiplySelfRight", {V(ma.v), V(mb.v)}), 0);
  ExpectMatrixEq(MatrixOf(&ma.v), ba, 0, "self right is n x m");
  Owned mc;
  MatrixArray(&mc.v, a);
  EXPECT_EQ(IntCall("SE_MatrixMultiplySelfLeft", {V(mc.v), V(mb.v)}), 0);
  ExpectMatrixEq(MatrixOf(&mc.v), ab, 0, "self left is m x n");

  // Arguments that are not matrices answer 0.
  EXPECT_EQ(IntCall("SE_MatrixMultiply", {V(ma.v), I(3)}), 0);
  EXPECT_EQ(IntCall("SE_GetAnglesFromRotMatrix", {I(3)}), 0);
}

TEST_F(SEMathTest, VectorsRotateInPlaceAndBack) {
  Owned v;
  IntArray(&v.v, {1000, 2000, -3000});
  FixedMatrix m;
  MatrixFromAngles(&m, 12000, 3000, 0);
  FixedVector in{1000, 2000, -3000, 0}, expected{};
  MatrixMulVector(&expected, &m, &in);
  EXPECT_EQ(IntCall("SE_RotateVector", {V(v.v), I(12000), I(3000)}), 0);
  EXPECT_EQ(Ints(&v.v), (std::vector<int32_t>{expected.x, expected.y, expected.z}));
  EXPECT_EQ(IntCall("SE_RotateVectorInv", {V(v.v), I(12000), I(3000)}), 0);
  std::vector<int32_t> back = Ints(&v.v);
  EXPECT_NEAR(back[0], 1000, 3);
  EXPECT_NEAR(back[1], 2000, 3);
  EXPECT_NEAR(back[2], -3000, 3);

  Owned shortVector;
  IntArray(&shortVector.v, {5, 6});
  EXPECT_EQ(IntCall("SE_RotateVector", {V(shortVector.v), I(100), I(0)}), 0);
  EXPECT_EQ(Ints(&shortVector.v), (std::vector<int32_t>{5, 6}));

  FixedVector dir{300, -400, 1200, 0};
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&dir, &yaw, &pitch);
  Call(Fn("SE_GetAnglesFromVector"), {I(300), I(-400), I(1200)});
  EXPECT_EQ(Ints(&answer_), (std::vector<int32_t>{int32_t(yaw), int32_t(pitch), 0}));
}

TEST_F(SEMathTest, EscortOffsetTurnsIntoTheDirectionsFrame) {
  struct Case {
    std::vector<int32_t> args;
    std::vector<int32_t> expected;
  };
  const Case kCases[] = {
      {{0, 0, 65536, 0, 0, 100}, {0, 0, 100}},
      {{0, 0, 65536, 100, 0, 0}, {100, 0, 0}},
      {{0, 0, 65536, 0, 100, 0}, {0, 100, 0}},
      {{0, 0, 7, 0, 0, 100}, {0, 0, 100}},  // the direction's length does not matter
      // Straight up: the frame's up axis turns to the one ahead.
      {{0, 65536, 0, 0, 0, 100}, {0, 100, 0}},
      {{0, 65536, 0, 0, 10, 0}, {0, 0, -10}},
      {{0, 65536, 0, 10, 0, 0}, {10, 0, 0}},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> args;
    for (int32_t a : c.args) args.push_back(I(a));
    Call(Fn("SE_CalcGalaxyEscortOffset"), args);
    std::vector<int32_t> got = Ints(&answer_);
    ASSERT_EQ(got.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], c.expected[k], 1) << c.args[0] << "," << c.args[1] << "," << c.args[2];
  }
  EXPECT_EQ(IntCall("SE_CalcGalaxyEscortOffset", {I(0), I(0), I(0), I(1), I(2), I(3)}), 0);
}

// ---- The expression evaluator -------------------------------------------------------------------

// One (tag, value) pair of an expression; text is used when isText.
struct Pair {
  int32_t tag;
  int32_t value;
  const char* text = nullptr;
};
Pair Op(int32_t code) { return {15, code}; }
Pair N(int32_t n) { return {4, n}; }
Pair S(const char* t) { return {5, 0, t}; }

void BuildExpression(ScriptValue* out, const std::vector<Pair>& pairs) {
  AllocArrayValue(out, static_cast<int32_t>(pairs.size() * 2));
  for (size_t k = 0; k < pairs.size(); ++k) {
    ArrayWriteInt(out, static_cast<int32_t>(2 * k), pairs[k].tag);
    if (pairs[k].text) ArrayWriteString(out, static_cast<int32_t>(2 * k + 1), pairs[k].text);
    else ArrayWriteInt(out, static_cast<int32_t>(2 * k + 1), pairs[k].value);
  }
}

std::string ResultOf(ScriptValue* expression) {
  const ScriptValue* tag = ArrayElementPtr(expression, 0);
  const ScriptValue* value = ArrayElementPtr(expression, 1);
  std::string out = "(" + std::to_string(tag && tag->type == kValueInt ? tag->i : -999) + ", ";
  if (value && value->type == kValueInt) out += std::to_string(value->i);
  else if (value && ValueIsText(value)) out += std::string("\"") + GetValueString(value) + "\"";
  else out += "type " + std::to_string(value ? value->type : -1);
  return out + ")";
}

struct ExprCase {
  std::vector<Pair> pairs;
  const char* expected;
};

const ExprCase kExprCases[] = {
    {{N(2), N(3), Op(11)}, "(4, 5)"},
    {{N(1), N(0), Op(14)}, "(0, 0)"},
    {{N(1), N(0), Op(15)}, "(0, 0)"},
    {{N(7), N(2), Op(14)}, "(4, 3)"},
    {{N(7), N(2), Op(15)}, "(4, 1)"},
    {{N(7), N(2), Op(12)}, "(4, 5)"},
    {{N(7), N(2), Op(13)}, "(4, 14)"},
    {{N(INT_MIN), N(-1), Op(14)}, "(4, -2147483648)"},
    {{N(2), N(3), N(4), Op(13), Op(11)}, "(4, 14)"},
    // Comparisons.
    {{N(3), N(3), Op(0)}, "(4, 1)"},
    {{N(3), N(4), Op(0)}, "(0, 0)"},
    {{N(3), N(4), Op(1)}, "(4, 1)"},
    {{N(3), N(4), Op(3)}, "(4, 1)"},
    {{N(3), N(4), Op(2)}, "(0, 0)"},
    {{N(4), N(4), Op(4)}, "(4, 1)"},
    {{N(4), N(4), Op(5)}, "(4, 1)"},
    {{N(INT_MIN), N(1), Op(2)}, "(4, 1)"},  // the sign of the wrapped 32-bit difference
    {{N(3), S("x"), Op(0)}, "(0, 0)"},
    {{N(3), S("x"), Op(1)}, "(4, 1)"},
    {{N(3), S("x"), Op(2)}, "(0, 0)"},
    {{S("abc"), S("abd"), Op(3)}, "(4, 1)"},
    {{S("abc"), S("abc"), Op(0)}, "(4, 1)"},
    {{S("b"), S("\xC3\xA9"), Op(3)}, "(4, 1)"},  // bytes compare unsigned
    {{{0, 5}, {0, 5}, Op(0)}, "(4, 1)"},
    {{{0, 5}, {0, 6}, Op(1)}, "(4, 1)"},
    {{{0, 5}, {0, 5}, Op(2)}, "(0, 0)"},
    // Bits and truth.
    {{N(12), N(10), Op(6)}, "(4, 8)"},
    {{N(12), N(10), Op(7)}, "(4, 14)"},
    {{N(12), N(10), Op(8)}, "(4, 6)"},
    {{N(12), S("a"), Op(6)}, "(0, 0)"},
    {{{0, 0}, N(1), Op(9)}, "(0, 0)"},
    {{N(1), N(2), Op(9)}, "(4, 1)"},
    {{N(1), S("x"), Op(9)}, "(4, 1)"},
    {{{0, 0}, N(1), Op(10)}, "(4, 1)"},
    {{{0, 0}, N(0), Op(10)}, "(0, 0)"},
    {{{0x10000, 77}, N(1), Op(9)}, "(0, 0)"},  // an object that does not exist is false
    // Unary operators.
    {{N(5), Op(0x10012)}, "(4, -6)"},
    {{N(5), Op(0x10013)}, "(4, -5)"},
    {{{0, 0}, Op(0x10014)}, "(4, 1)"},
    {{N(0), Op(0x10014)}, "(4, 1)"},
    {{N(3), Op(0x10014)}, "(0, 0)"},
    {{{0x10000, 77}, Op(0x10014)}, "(4, 1)"},
    {{S("x"), Op(0x10013)}, "(0, 0)"},
    {{N(1), Op(0x10099)}, "(0, 0)"},
    // Malformed expressions.
    {{N(1), N(2), Op(99)}, "(0, 0)"},
    {{N(1), N(2)}, "(0, 0)"},
    {{N(1), Op(11)}, "(4, 1)"},  // a binary operator short of operands is ignored
    {{Op(0x10013), N(4)}, "(4, 4)"},
    {{Op(11)}, "(0, 0)"},
    {{}, "(0, 0)"},
    // Texts added without a loaded script have no add.
    {{S("a"), S("b"), Op(11)}, "(0, 0)"},
    {{S("x")}, "(5, \"x\")"},
};

TEST_F(SEMathTest, ExpressionsEvaluateToTheirTable) {
  for (const ExprCase& c : kExprCases) {
    Owned expression;
    BuildExpression(&expression.v, c.pairs);
    // An empty expression still needs its two result elements.
    if (c.pairs.empty()) IntArray(&expression.v, {9, 9});
    int32_t pairs = static_cast<int32_t>(c.pairs.size());
    EXPECT_EQ(IntCall("SE_ScriptComputeExpression", {V(expression.v), I(pairs)}), 0);
    std::string what;
    for (const Pair& p : c.pairs) what += "(" + std::to_string(p.tag) + "," + std::to_string(p.value) + ")";
    EXPECT_EQ(ResultOf(&expression.v), c.expected) << what;
  }
}

TEST_F(SEMathTest, ExpressionStackHoldsFiftyPairs) {
  for (int32_t operands : {50, 51}) {
    std::vector<Pair> pairs(static_cast<size_t>(operands), N(1));
    for (int32_t k = 1; k < operands; ++k) pairs.push_back(Op(11));
    Owned expression;
    BuildExpression(&expression.v, pairs);
    IntCall("SE_ScriptComputeExpression", {V(expression.v), I(static_cast<int32_t>(pairs.size()))});
    EXPECT_EQ(ResultOf(&expression.v), operands == 50 ? "(4, 50)" : "(0, 0)") << operands;
  }
  // A pair count beyond the array reads only the pairs it holds; a count of 0 or less none.
  Owned expression;
  BuildExpression(&expression.v, {N(2), N(3), Op(11)});
  IntCall("SE_ScriptComputeExpression", {V(expression.v), I(1000)});
  EXPECT_EQ(ResultOf(&expression.v), "(4, 5)");
  IntCall("SE_ScriptComputeExpression", {V(expression.v), I(-4)});
  EXPECT_EQ(ResultOf(&expression.v), "(0, 0)");
  EXPECT_EQ(IntCall("SE_ScriptComputeExpression", {I(3), I(1)}), 0);
}

// The text add runs the loaded script's method on object 702 inside the native.
class SEExpressionScriptTest : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    InitXml();
    engine_->seModuleIndex =
        RegisterNativeModule(engine_, SE_Dispatch, kSENativeNames, SEResumeInt, SEResumeString, SEResumeValue);
    ASSERT_EQ(engine_->seModuleIndex, 2);
  }

  // Evaluates the expression on a task of its own, as a script calling the native would.
  std::string Evaluate(const std::vector<Pair>& pairs, bool* callerAnswered, bool* callerAlive = nullptr) {
    ScriptTask* task = NewTask(engine_, 64);
    EXPECT_NE(task, nullptr);
    if (!task) return "no task";
    int32_t id = task->id;
    Owned expression;
    BuildExpression(&expression.v, pairs);
    ScriptValue* args = task->stackTop - 2;
    args[0] = ScriptValue{};
    args[1] = ScriptValue{};
    CopyValue(&args[0], &expression.v);
    SetValueInt(&args[1], static_cast<int32_t>(pairs.size()));
    task->sp = -2;
    task->hasResult = 0;
    int32_t r = DispatchSENative(engine_, engine_->seModuleIndex, task, Fn("SE_ScriptComputeExpression"), 2, args);
    *callerAnswered = r == 1 && FindTask(engine_, id) && task->hasResult && task->result.type == kValueInt &&
                      task->result.i == 0;
    if (callerAlive) *callerAlive = r == 1 && FindTask(engine_, id);
    if (FindTask(engine_, id)) {
      ReleaseValue(&task->result);
      ReleaseValue(&args[0]);
      ReleaseValue(&args[1]);
      task->sp = 0;
      task->callerModule = 0;
      FreeTask(engine_, task);
    }
    return ResultOf(&expression.v);
  }
};

const char* const kTextAddScript = R"(
.class 702
.method __scriptOpAddString textadd frame=4 params=4
.method Other other frame=4 params=4
.end
textadd:
  check 4
  ldl 5            ; the left value
  ldl 8            ; the right value
  add
  ret
other:
  push0
  ret
)";

TEST_F(SEExpressionScriptTest, TextsAreAddedByTheScriptsMethod) {
  ASSERT_TRUE(Load(kTextAddScript)) << error_;
  bool answered = false;
  EXPECT_EQ(Evaluate({S("ab"), S("cd"), Op(11)}, &answered), "(5, \"abcd\")");
  EXPECT_TRUE(answered);
  EXPECT_EQ(Evaluate({S("n="), N(7), Op(11), S("!"), Op(11)}, &answered), "(5, \"n=7!\")");
  EXPECT_TRUE(answered);
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

const char* const kWaitingAddScript = R"(
.class 702
.method __scriptOpAddString textadd frame=4 params=4
.end
textadd:
  check 4
  push0
  native T_Wait
  pushs "late"
  ret
)";

TEST_F(SEExpressionScriptTest, AnAddThatWaitsFailsAndItsLateAnswerReachesNobody) {
  ASSERT_TRUE(Load(kWaitingAddScript)) << error_;
  bool answered = false;
  EXPECT_EQ(Evaluate({S("ab"), S("cd"), Op(11)}, &answered), "(0, 0)");
  EXPECT_TRUE(answered);
  ASSERT_EQ(waiting_.size(), 1u);
  ScriptTask* late = FindTask(engine_, waiting_[0]);
  ASSERT_NE(late, nullptr);
  EXPECT_EQ(late->callerModule, 0);
}

const char* const kKillingAddScript = R"(
.class 702
.method __scriptOpAddString textadd frame=4 params=4
.end
textadd:
  check 4
  push0
  native SE_CallerNumber
  push1
  native SE_KillTask
  pop
  pushs "never seen"
  ret
)";

TEST_F(SEExpressionScriptTest, AnAddThatEndsTheCallingTaskLeavesNobodyToAnswer) {
  ASSERT_TRUE(Load(kKillingAddScript)) << error_;
  bool answered = true, alive = true;
  // The expression is left as it was: its evaluation never finished.
  EXPECT_EQ(Evaluate({S("ab"), S("cd"), Op(11)}, &answered, &alive), "(5, \"ab\")");
  EXPECT_FALSE(answered);
  EXPECT_FALSE(alive);
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

}  // namespace
