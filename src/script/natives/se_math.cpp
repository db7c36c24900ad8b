// The SE_ math and geometry natives: interpolation curves, divisors, distances and range tests
// over integer positions, 16.16 products and quotients, the integer square root, table sine and
// cosine, random numbers from the game's generator, rotation matrices and vectors held in script
// arrays, the postfix expression evaluator and the escort offset. Called by the SE_ dispatcher
// only. Every float result passes through one saturating conversion and every quotient is
// checked first, so no argument can trap, hang or read outside an array.
#include "script/natives/se_math.h"

#include <cmath>
#include <cstring>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "script/interpreter.h"
#include "script/script_calls.h"

namespace {

// A float result as an integer: truncated toward zero, held at the 32-bit limits, NaN as 0.
int32_t TruncateToInt(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return 2147483647;
  if (d <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(d);
}

// A 64-bit quotient held at the 32-bit limits.
int32_t SaturateToInt(int64_t n) {
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(n);
}

// Wrapping 32-bit sums and differences, as the scripts' integers behave.
int32_t WrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t WrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
int32_t WrapMul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }

// The integer of a value slot; anything else (or no slot) counts as 0.
int32_t IntOf(const ScriptValue* value) { return value && value->type == kValueInt ? value->i : 0; }

// Element i of an array value, or null when the value is no array or has no element i.
ScriptValue* Element(ScriptValue* array, int32_t i) {
  if (!array || array->type != kValueArray || !array->array) return nullptr;
  if (i < 0 || i >= GetArraySize(array)) return nullptr;
  return ArrayElementPtr(array, i);
}

// A position array's three coordinates; false when it is no array of at least three elements.
bool ReadPosition(ScriptValue* array, int32_t out[3]) {
  if (!array || array->type != kValueArray || !array->array || GetArraySize(array) < 3) return false;
  for (int32_t k = 0; k < 3; ++k) out[k] = IntOf(Element(array, k));
  return true;
}

// The distance of two integer positions in single precision, as the scripts have always had it.
int32_t PositionDistance(const int32_t p[3], const int32_t q[3]) {
  float dx = static_cast<float>(WrapSub(p[0], q[0]));
  float dy = static_cast<float>(WrapSub(p[1], q[1]));
  float dz = static_cast<float>(WrapSub(p[2], q[2]));
  float squares = dx * dx + dy * dy + dz * dz;
  return TruncateToInt(std::sqrt(squares));
}

// A new array of the given integers.
void MakeIntArray(ScriptValue* out, const int32_t* values, int32_t n) {
  *out = ScriptValue{};
  if (!AllocArrayValue(out, n)) return;
  for (int32_t k = 0; k < n; ++k) ArrayWriteInt(out, k, values[k]);
}

// A matrix array read element by element; missing rows and elements read as 0.
void ReadMatrix(ScriptValue* array, FixedMatrix* m) {
  std::memset(m, 0, sizeof *m);
  for (int32_t r = 0; r < 3; ++r) {
    ScriptValue* row = Element(array, r);
    for (int32_t c = 0; c < 3; ++c) m->m[r][c] = IntOf(Element(row, c));
  }
}

// Writes the matrix into the existing row arrays of a matrix array.
void WriteMatrix(ScriptValue* array, const FixedMatrix* m) {
  for (int32_t r = 0; r < 3; ++r) {
    ScriptValue* row = Element(array, r);
    if (!row || row->type != kValueArray || !row->array) continue;
    for (int32_t c = 0; c < 3; ++c) {
      if (c < GetArraySize(row)) ArrayWriteInt(row, c, m->m[r][c]);
    }
  }
}

void MakeMatrixArray(ScriptValue* out, const FixedMatrix* m) {
  *out = ScriptValue{};
  if (!AllocArrayValue(out, 3)) return;
  for (int32_t r = 0; r < 3; ++r) {
    ScriptValue row{};
    MakeIntArray(&row, m->m[r], 3);
    ArrayWrite(out, r, &row);
    ReleaseValue(&row);
  }
}

int32_t AnswerIntArray(SECall* call, const int32_t* values, int32_t n) {
  ScriptValue array{};
  MakeIntArray(&array, values, n);
  if (array.type != kValueArray) return SEAnswerInt(call, 0);
  return SEAnswerValue(call, &array);
}

int32_t AnswerMatrix(SECall* call, const FixedMatrix* m) {
  ScriptValue array{};
  MakeMatrixArray(&array, m);
  if (array.type != kValueArray) return SEAnswerInt(call, 0);
  return SEAnswerValue(call, &array);
}

// The line through (x0, y0) and (x1, y1) at x, clamped, evaluated from the midpoint so both
// halves of the range round toward it.
int32_t LinearAt(int32_t x0, int32_t x1, int32_t y0, int32_t y1, int32_t x) {
  int32_t h = WrapAdd(y0, y1) / 2;
  if (x0 == x1) return h;
  if (x <= x0) return y0;
  if (x >= x1) return y1;
  int32_t dy = WrapSub(y1, y0);
  int32_t span = WrapSub(x1, x0);
  int64_t quotient;
  if (x < 0x10000 && span < 0x10000) {
    int64_t product = int64_t{dy} * WrapSub(WrapSub(WrapAdd(x, x), x0), x1);
    int32_t divisor = WrapAdd(span, span);
    quotient = divisor == 0 ? 0 : product / divisor;
  } else {
    int32_t mid = WrapAdd(x0, x1) / 2;
    int64_t product = int64_t{dy} * WrapSub(x, mid);
    quotient = product / span;
  }
  return WrapAdd(h, static_cast<int32_t>(quotient));
}

// Positive divisor by Euclid's remainders: the same answer the subtraction gives, in few steps.
int32_t CommonDivisor(int32_t a, int32_t b) {
  while (b != 0) {
    int32_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// Does the position lie in one of the ranges of the range array (all pairs, or the first count)?
int32_t PositionInRanges(const int32_t p[3], ScriptValue* ranges, int32_t count) {
  if (!ranges || ranges->type != kValueArray || !ranges->array) return 0;
  int32_t size = GetArraySize(ranges);
  int32_t pairs = size / 2;
  if (count >= 0 && int64_t{count} * 2 < size) pairs = count;
  for (int32_t i = 0; i < pairs; ++i) {
    int32_t centre[3];
    if (!ReadPosition(Element(ranges, 2 * i), centre)) continue;
    if (PositionDistance(p, centre) <= IntOf(Element(ranges, 2 * i + 1))) return 1;
  }
  return 0;
}

// A direction scaled to length 65536, each component truncated; (0, 0, 0) stays.
void NormalizeTo16(int32_t v[3]) {
  double x = v[0], y = v[1], z = v[2];
  double length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return;
  v[0] = TruncateToInt(x * 65536.0 / length);
  v[1] = TruncateToInt(y * 65536.0 / length);
  v[2] = TruncateToInt(z * 65536.0 / length);
}

void Cross16(const int32_t a[3], const int32_t b[3], int32_t out[3]) {
  int32_t r[3] = {WrapSub(FixedMul(a[1], b[2]), FixedMul(a[2], b[1])),
                  WrapSub(FixedMul(a[2], b[0]), FixedMul(a[0], b[2])),
                  WrapSub(FixedMul(a[0], b[1]), FixedMul(a[1], b[0]))};
  std::memcpy(out, r, sizeof r);
}

}  // namespace

// ---- Curves -----------------------------------------------------------------------------------

int32_t SE_LinFunc(SECall* call) {
  if (call->argCount < 5) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, LinearAt(SEArgInt(call, 0), SEArgInt(call, 1), SEArgInt(call, 2), SEArgInt(call, 3),
                                    SEArgInt(call, 4)));
}

int32_t SE_SmoothInterpolate(SECall* call) {
  if (call->argCount < 5) return SEAnswerInt(call, 0);
  double x0 = SEArgInt(call, 0), x1 = SEArgInt(call, 1);
  double y0 = SEArgInt(call, 2), y1 = SEArgInt(call, 3), x = SEArgInt(call, 4);
  // With no span there is no curve: the answer is its middle, as for the straight line.
  if (x0 == x1) return SEAnswerInt(call, TruncateToInt(y0 + (y1 - y0) / 2));
  double t = (x - x0) / (x1 - x0);
  return SEAnswerInt(call, TruncateToInt(y0 + (y1 - y0) / (1 + std::exp(-15 * (t - 0.5)))));
}

int32_t SE_LogFunc(SECall* call) {
  if (call->argCount < 5) return SEAnswerInt(call, 0);
  int32_t x = SEArgInt(call, 0), lo = SEArgInt(call, 1), hi = SEArgInt(call, 2);
  int32_t yLo = SEArgInt(call, 3), yHi = SEArgInt(call, 4);
  if (x < lo) x = lo;
  if (x > hi) x = hi;
  // The logarithm needs a positive range of some width: without one the curve stays at yLo.
  if (lo <= 0 || hi <= 0 || hi == lo || x <= 0) return SEAnswerInt(call, yLo);
  double ratio = std::log(static_cast<double>(x) / lo) / std::log(static_cast<double>(hi) / lo);
  return SEAnswerInt(call, TruncateToInt(yLo + (static_cast<double>(yHi) - yLo) * ratio));
}

int32_t SE_ExpFunc(SECall* call) {
  if (call->argCount < 5) return SEAnswerInt(call, 0);
  int32_t x = SEArgInt(call, 0), lo = SEArgInt(call, 1), hi = SEArgInt(call, 2);
  int32_t yLo = SEArgInt(call, 3), yHi = SEArgInt(call, 4);
  if (x < lo) x = lo;
  if (x > hi) x = hi;
  if (lo == 0) return SEAnswerInt(call, yLo);
  double top = std::exp(static_cast<double>(x) / lo), bottom = std::exp(static_cast<double>(hi) / lo);
  // Large quotients overflow both powers; their ratio is still the power of the difference.
  double ratio = std::isfinite(top) && std::isfinite(bottom) && bottom != 0
                     ? top / bottom
                     : std::exp((static_cast<double>(x) - hi) / lo);
  return SEAnswerInt(call, TruncateToInt(yLo + (static_cast<double>(yHi) - yLo) * ratio));
}

int32_t SE_LinFuncSum(SECall* call) {
  if (call->argCount < 6) return SEAnswerInt(call, 0);
  int32_t x0 = SEArgInt(call, 0), x1 = SEArgInt(call, 1), y0 = SEArgInt(call, 2), y1 = SEArgInt(call, 3);
  int32_t xa = SEArgInt(call, 4), xb = SEArgInt(call, 5);
  int32_t ends = WrapAdd(LinearAt(x0, x1, y0, y1, xa), LinearAt(x0, x1, y0, y1, xb));
  return SEAnswerInt(call, WrapMul(ends, WrapAdd(WrapSub(xb, xa), 1)) / 2);
}

int32_t SE_CubicPoly(SECall* call) {
  if (call->argCount < 7) return SEAnswerInt(call, 0);
  double c = SEArgInt(call, 0), y0 = SEArgInt(call, 1), w = SEArgInt(call, 2), h = SEArgInt(call, 3);
  double dx = SEArgInt(call, 4), dy = SEArgInt(call, 5), x = SEArgInt(call, 6);
  double d = x - c;
  if (d < -c) d = -c;
  if (d > c) d = c;
  // No run gives no slope, no width no bend: the curve degrades to a line or a constant.
  double s = dx == 0 ? 0 : dy / dx;
  double k = w == 0 ? 0 : (h - s * w) / (w * w * w);
  return SEAnswerInt(call, TruncateToInt(y0 + s * d + k * d * d * d));
}

// ---- Divisors ---------------------------------------------------------------------------------

int32_t SE_GGT(SECall* call) {
  int32_t a = SEArgInt(call, 0), b = SEArgInt(call, 1);
  // Only positive numbers have a divisor the subtraction can reach.
  if (call->argCount < 2 || a <= 0 || b <= 0) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, CommonDivisor(a, b));
}

int32_t SE_KGV(SECall* call) {
  int32_t a = SEArgInt(call, 0), b = SEArgInt(call, 1);
  if (call->argCount < 2 || a <= 0 || b <= 0) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, WrapMul(a / CommonDivisor(a, b), b));
}

// ---- Distances and ranges ---------------------------------------------------------------------

int32_t SE_Distance3(SECall* call) {
  if (call->argCount < 3) return SEAnswerInt(call, 0);
  const int32_t p[3] = {SEArgInt(call, 0), SEArgInt(call, 1), SEArgInt(call, 2)};
  const int32_t origin[3] = {0, 0, 0};
  return SEAnswerInt(call, PositionDistance(p, origin));
}

int32_t SE_DistanceA3(SECall* call) {
  int32_t p[3];
  if (call->argCount < 4 || !ReadPosition(SEArgArray(call, 0), p)) return SEAnswerInt(call, 0);
  const int32_t q[3] = {SEArgInt(call, 1), SEArgInt(call, 2), SEArgInt(call, 3)};
  return SEAnswerInt(call, PositionDistance(p, q));
}

int32_t SE_DistanceAA(SECall* call) {
  int32_t p[3], q[3];
  if (!ReadPosition(SEArgArray(call, 0), p) || !ReadPosition(SEArgArray(call, 1), q)) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, PositionDistance(p, q));
}

int32_t SE_IsPosInRangeA(SECall* call) {
  int32_t p[3];
  if (!ReadPosition(SEArgArray(call, 0), p)) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, PositionInRanges(p, SEArgArray(call, 1), SEArgInt(call, 2, -1)));
}

int32_t SE_IsPosInRange3(SECall* call) {
  if (call->argCount < 4) return SEAnswerInt(call, 0);
  const int32_t p[3] = {SEArgInt(call, 0), SEArgInt(call, 1), SEArgInt(call, 2)};
  return SEAnswerInt(call, PositionInRanges(p, SEArgArray(call, 3), SEArgInt(call, 4, -1)));
}

int32_t SE_CompressRangeData(SECall* call) {
  ScriptValue* ranges = SEArgArray(call, 0);
  if (!ranges) return SEAnswerInt(call, 0);
  int32_t half = GetArraySize(ranges) / 2;
  int32_t count = SEArgInt(call, 1, -1);
  int32_t n = count >= 0 && count <= half ? count : half;
  if (n < 2) return SEAnswerInt(call, n);

  struct Range {
    int32_t centre[3];
    int64_t radius;
    ScriptValue centreValue;  // shares the centre array, so the packing below can move it
    int32_t radiusValue;
  };
  Range* work = static_cast<Range*>(MemCalloc(sizeof(Range) * static_cast<size_t>(n)));
  if (!work) return SEAnswerInt(call, 0);
  bool complete = true;
  for (int32_t i = 0; i < n && complete; ++i) {
    ScriptValue* centre = Element(ranges, 2 * i);
    complete = ReadPosition(centre, work[i].centre);
    if (!complete) break;
    CopyValue(&work[i].centreValue, centre);
    work[i].radiusValue = IntOf(Element(ranges, 2 * i + 1));
    work[i].radius = work[i].radiusValue;
  }
  int32_t kept = 0;
  if (complete) {
    for (int32_t i = 0; i + 1 < n; ++i) {
      if (work[i].radius <= 0) continue;
      for (int32_t j = i + 1; j < n; ++j) {
        if (work[j].radius <= 0) continue;
        int64_t d = PositionDistance(work[i].centre, work[j].centre);
        if (work[i].radius + d <= work[j].radius) {
          work[i].radius = 0;
          break;
        }
        if (work[j].radius + d <= work[i].radius) work[j].radius = 0;
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      if (work[i].radius <= 0) continue;
      ArrayWrite(ranges, 2 * kept, &work[i].centreValue);
      ArrayWriteInt(ranges, 2 * kept + 1, work[i].radiusValue);
      ++kept;
    }
  }
  for (int32_t i = 0; i < n; ++i) ReleaseValue(&work[i].centreValue);
  MemFreeIfSet(work);
  return SEAnswerInt(call, kept);
}

// ---- Fixed point ------------------------------------------------------------------------------

int32_t SE_MulFix(SECall* call) {
  if (call->argCount < 2) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, FixedMul(SEArgInt(call, 0), SEArgInt(call, 1)));
}

int32_t SE_DivFix(SECall* call) {
  int32_t a = SEArgInt(call, 0), b = SEArgInt(call, 1);
  if (call->argCount < 2 || b == 0) return SEAnswerInt(call, 0);
  // A quotient beyond 32 bits holds at the limit instead of trapping.
  return SEAnswerInt(call, SaturateToInt(int64_t{a} * 65536 / b));
}

int32_t SE_MulDivFix(SECall* call) {
  int32_t a = SEArgInt(call, 0), b = SEArgInt(call, 1), c = SEArgInt(call, 2);
  if (call->argCount < 3 || c == 0) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, SaturateToInt(int64_t{a} * b / c));
}

int32_t SE_Sqrt(SECall* call) {
  int32_t n = SEArgInt(call, 0);
  return SEAnswerInt(call, n < 0 ? 0 : static_cast<int32_t>(IntSqrt(static_cast<uint32_t>(n))));
}

int32_t SE_Sin(SECall* call) {
  if (!SEHasArg(call, 0)) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, TableSine(static_cast<uint32_t>(SEArgInt(call, 0))));
}

int32_t SE_Cos(SECall* call) {
  if (!SEHasArg(call, 0)) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, TableCosine(static_cast<uint32_t>(SEArgInt(call, 0))));
}

// ---- Random numbers ---------------------------------------------------------------------------

// More draws than this change nothing a script could tell apart, and would stall the frame.
constexpr int32_t kMaxLowNormDraws = 1 << 20;

int32_t SE_Random(SECall* call) {
  int32_t n = SEArgInt(call, 0);
  return SEAnswerInt(call, n <= 0 ? 0 : RandomBelow(n));
}

int32_t SE_RandomLowNorm(SECall* call) {
  int32_t n = SEArgInt(call, 0), k = SEArgInt(call, 1);
  if (call->argCount < 2) return SEAnswerInt(call, 0);
  if (k < 0) return SEAnswerInt(call, WrapSub(n, 1));
  // No draws give no mean: the answer is the most likely one, 0.
  if (k == 0) return SEAnswerInt(call, 0);
  int32_t draws = k < kMaxLowNormDraws ? k : kMaxLowNormDraws;
  int32_t twice = WrapAdd(n, n);
  int64_t sum = 0;
  for (int32_t d = 0; d < draws; ++d) sum += twice <= 0 ? 0 : RandomBelow(twice);
  int64_t m = sum / draws;
  if (m < n) m = int64_t{twice} - m - 1;
  return SEAnswerInt(call, static_cast<int32_t>(m - n));
}

// ---- Matrices and vectors ---------------------------------------------------------------------

int32_t SE_GetRotMatrixFromAngles(SECall* call) {
  if (call->argCount < 3) return SEAnswerInt(call, 0);
  FixedMatrix m;
  MatrixFromAngles(&m, static_cast<uint32_t>(SEArgInt(call, 0)), static_cast<uint32_t>(SEArgInt(call, 1)),
                   static_cast<uint32_t>(SEArgInt(call, 2)));
  return AnswerMatrix(call, &m);
}

int32_t SE_GetAnglesFromRotMatrix(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  if (!array) return SEAnswerInt(call, 0);
  FixedMatrix m;
  ReadMatrix(array, &m);
  int32_t angles[3];
  MatrixToAngles(&m, &angles[0], &angles[1], &angles[2]);
  return AnswerIntArray(call, angles, 3);
}

int32_t SE_GetAnglesFromVector(SECall* call) {
  if (call->argCount < 3) return SEAnswerInt(call, 0);
  FixedVector v{SEArgInt(call, 0), SEArgInt(call, 1), SEArgInt(call, 2), 0};
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&v, &yaw, &pitch);
  const int32_t angles[3] = {static_cast<int32_t>(yaw), static_cast<int32_t>(pitch), 0};
  return AnswerIntArray(call, angles, 3);
}

// The four matrix products share their arguments: two matrix arrays; `self` writes the
// product back into the first, else it is answered as a new array.
static int32_t MultiplyMatrixArguments(SECall* call, bool swap, bool transposed, bool self) {
  ScriptValue *mArray = SEArgArray(call, 0), *nArray = SEArgArray(call, 1);
  if (!mArray || !nArray) return SEAnswerInt(call, 0);
  FixedMatrix m, n, product;
  ReadMatrix(mArray, &m);
  ReadMatrix(nArray, &n);
  if (transposed) MatrixMultiplyTransposed(&product, &m, &n);
  else if (swap) MatrixMultiply(&product, &n, &m);
  else MatrixMultiply(&product, &m, &n);
  if (!self) return AnswerMatrix(call, &product);
  WriteMatrix(mArray, &product);
  return SEAnswerInt(call, 0);
}

int32_t SE_MatrixMultiplySelfRight(SECall* call) { return MultiplyMatrixArguments(call, true, false, true); }
int32_t SE_MatrixMultiplySelfLeft(SECall* call) { return MultiplyMatrixArguments(call, false, false, true); }
int32_t SE_MatrixMultiply(SECall* call) { return MultiplyMatrixArguments(call, false, false, false); }
int32_t SE_MatrixMultiplyInv(SECall* call) { return MultiplyMatrixArguments(call, false, true, false); }

static int32_t RotateVectorArgument(SECall* call, bool inverse) {
  ScriptValue* vArray = SEArgArray(call, 0);
  int32_t p[3];
  if (call->argCount < 3 || !ReadPosition(vArray, p)) return SEAnswerInt(call, 0);
  FixedMatrix m;
  MatrixFromAngles(&m, static_cast<uint32_t>(SEArgInt(call, 1)), static_cast<uint32_t>(SEArgInt(call, 2)), 0);
  FixedVector v{p[0], p[1], p[2], 0}, out{};
  if (inverse) MatrixTransposeMulVector(&out, &m, &v);
  else MatrixMulVector(&out, &m, &v);
  ArrayWriteInt(vArray, 0, out.x);
  ArrayWriteInt(vArray, 1, out.y);
  ArrayWriteInt(vArray, 2, out.z);
  return SEAnswerInt(call, 0);
}

int32_t SE_RotateVector(SECall* call) { return RotateVectorArgument(call, false); }
int32_t SE_RotateVectorInv(SECall* call) { return RotateVectorArgument(call, true); }

// ---- Expression evaluator ---------------------------------------------------------------------

namespace {

constexpr int32_t kExprStackSize = 50;
constexpr int32_t kExprTagNone = 0;
constexpr int32_t kExprTagInt = 4;
constexpr int32_t kExprTagText = 5;
constexpr int32_t kExprTagOperator = 15;
constexpr int32_t kExprObjectBit = 0x10000;
constexpr int32_t kExprUnaryBit = 0x10000;
constexpr int32_t kExprBitNot = 0x10012;
constexpr int32_t kExprNegate = 0x10013;
constexpr int32_t kExprNot = 0x10014;
constexpr int32_t kTextAddObjectId = 702;
constexpr char kTextAddMethod[] = "__scriptOpAddString";

enum ExprOp : int32_t {
  kOpEqual = 0, kOpNotEqual, kOpGreater, kOpLess, kOpGreaterEqual, kOpLessEqual,
  kOpAnd, kOpOr, kOpXor, kOpLogicalAnd, kOpLogicalOr, kOpAdd, kOpSubtract, kOpMultiply, kOpDivide, kOpModulo,
};

struct ExprPair {
  int32_t tag;
  ScriptValue value;
};

// The evaluation stack of one evaluation. Each call has its own, so an evaluation started by
// the text-add method inside another one leaves the outer stack alone.
struct ExprStack {
  ExprPair pairs[kExprStackSize];
  int32_t count;
  bool overflowed;
};

void SetPair(ExprPair* pair, int32_t tag, int32_t i) {
  pair->tag = tag;
  SetValueInt(&pair->value, i);
}
void SetTrue(ExprPair* pair) { SetPair(pair, kExprTagInt, 1); }
void SetFalse(ExprPair* pair) { SetPair(pair, kExprTagNone, 0); }

bool PairIsTrue(const ExprPair* pair) {
  if (pair->tag == kExprTagNone) return false;
  if (pair->tag == kExprTagInt) return IntOf(&pair->value) != 0;
  if (pair->tag & kExprObjectBit) return ObjectExists(&pair->value) != 0;
  return true;
}

// Comparisons 0 to 5 into left.
void Compare(int32_t op, ExprPair* left, const ExprPair* right) {
  if (left->tag != right->tag) {
    if (op == kOpEqual) SetFalse(left);
    else if (op == kOpNotEqual) SetTrue(left);
    else SetFalse(left);
    return;
  }
  int32_t sign;
  if (left->tag == kExprTagInt) {
    sign = WrapSub(IntOf(&left->value), IntOf(&right->value));
  } else if (left->tag == kExprTagText) {
    const char* a = ValueIsText(&left->value) ? GetValueString(&left->value) : nullptr;
    const char* b = ValueIsText(&right->value) ? GetValueString(&right->value) : nullptr;
    sign = a && b ? std::strcmp(a, b) : 1;  // strcmp compares unsigned bytes
  } else {
    if (op != kOpEqual && op != kOpNotEqual) {
      SetFalse(left);
      return;
    }
    bool same = left->value.type == kValueInt && right->value.type == kValueInt && left->value.i == right->value.i;
    if ((op == kOpEqual) == same) SetTrue(left);
    else SetFalse(left);
    return;
  }
  bool result = false;
  switch (op) {
    case kOpEqual: result = sign == 0; break;
    case kOpNotEqual: result = sign != 0; break;
    case kOpGreater: result = sign > 0; break;
    case kOpLess: result = sign < 0; break;
    case kOpGreaterEqual: result = sign >= 0; break;
    case kOpLessEqual: result = sign <= 0; break;
    default: break;
  }
  if (result) SetTrue(left);
  else SetFalse(left);
}

// The text add: the loaded script's method builds the text. False when the calling task did not
// survive the call, in which case nothing may answer it.
bool AddThroughScript(SECall* call, ExprPair* left, const ExprPair* right) {
  ScriptEngine* engine = call->engine;
  if (!engine || !engine->tasks) {
    SetFalse(left);
    return true;
  }
  int32_t callerId = call->task->id;
  ScriptValue leftTag{}, rightTag{};
  SetValueInt(&leftTag, left->tag);
  SetValueInt(&rightTag, right->tag);
  ScriptTask* caller = call->task;
  caller->hasResult = 0;
  ReleaseValue(&caller->result);
  CallScriptFunctionValues(call->seModuleIndex, static_cast<uint32_t>(callerId), kTextAddObjectId, kTextAddMethod,
                           kResultValue, 4, &leftTag, &left->value, &rightTag, &right->value);
  ReleaseValue(&leftTag);
  ReleaseValue(&rightTag);
  caller = FindTask(engine, callerId);
  if (!caller) return false;
  engine->currentTask = caller;
  if (!caller->hasResult) {
    // The method waits: its late answer must not land in this task, which by then stands in
    // some other call. It answers nobody.
    for (uint32_t key = HashNextKey(engine->tasks, 0); key; key = HashNextKey(engine->tasks, key)) {
      auto* other = reinterpret_cast<ScriptTask*>(HashGet(engine->tasks, key));
      if (other && other != caller && other->callerModule == call->seModuleIndex &&
          other->cookie == static_cast<uint32_t>(callerId))
        other->callerModule = 0;
    }
    SetFalse(left);
    return true;
  }
  caller->hasResult = 0;
  if (ValueIsText(&caller->result)) {
    left->tag = kExprTagText;
    ReleaseValue(&left->value);
    MoveValue(&left->value, &caller->result);
  } else {
    ReleaseValue(&caller->result);
    SetFalse(left);
  }
  return true;
}

// A binary operator over the two top pairs; false when the calling task is gone.
bool ApplyBinary(SECall* call, ExprStack* stack, int32_t op) {
  if (stack->count < 2) return true;
  ExprPair* right = &stack->pairs[stack->count - 1];
  ExprPair* left = &stack->pairs[stack->count - 2];
  bool bothInt = left->tag == kExprTagInt && right->tag == kExprTagInt;
  bool alive = true;
  switch (op) {
    case kOpEqual: case kOpNotEqual: case kOpGreater: case kOpLess: case kOpGreaterEqual: case kOpLessEqual:
      Compare(op, left, right);
      break;
    case kOpAnd: case kOpOr: case kOpXor:
      if (!bothInt) {
        SetFalse(left);
      } else if (left->value.type == kValueInt && right->value.type == kValueInt) {
        if (op == kOpAnd) left->value.i &= right->value.i;
        else if (op == kOpOr) left->value.i |= right->value.i;
        else left->value.i ^= right->value.i;
      }
      break;
    case kOpLogicalAnd:
      if (left->tag == kExprTagNone || right->tag == kExprTagNone || !PairIsTrue(left) || !PairIsTrue(right))
        SetFalse(left);
      else
        SetTrue(left);
      break;
    case kOpLogicalOr:
      if (PairIsTrue(left) || PairIsTrue(right)) SetTrue(left);
      else SetFalse(left);
      break;
    case kOpAdd:
      if (bothInt) AddValues(&left->value, &right->value);
      else alive = AddThroughScript(call, left, right);
      break;
    case kOpSubtract:
    case kOpMultiply:
      if (!bothInt) {
        SetFalse(left);
        break;
      }
      if (op == kOpSubtract) SubtractValue(&left->value, &right->value);
      else MultiplyValue(&left->value, &right->value);
      break;
    case kOpDivide:
    case kOpModulo: {
      bool nonZero = (right->value.type == kValueInt && right->value.i != 0) ||
                     (right->value.type == kValueDouble && ValueDouble(&right->value) != 0);
      if (!bothInt || !nonZero) {
        SetFalse(left);
        break;
      }
      if (op == kOpDivide) DivideValue(&left->value, &right->value);
      else ModuloValue(&left->value, &right->value);
      break;
    }
    default:
      SetFalse(left);
      break;
  }
  ReleaseValue(&right->value);
  stack->count--;
  return alive;
}

void ApplyUnary(ExprStack* stack, int32_t op) {
  if (stack->count < 1) return;
  ExprPair* top = &stack->pairs[stack->count - 1];
  if (op == kExprBitNot && top->tag == kExprTagInt && top->value.type == kValueInt) {
    top->value.i = ~top->value.i;
  } else if (op == kExprNegate && top->tag == kExprTagInt) {
    NegateValue(&top->value);
  } else if (op == kExprNot) {
    bool gone = (top->tag & kExprObjectBit) && !ObjectExists(&top->value);
    if (top->tag == kExprTagNone || (top->tag == kExprTagInt && IntOf(&top->value) == 0) || gone) SetTrue(top);
    else SetFalse(top);
  } else {
    SetFalse(top);
  }
}

void ClearStack(ExprStack* stack) {
  for (int32_t k = 0; k < stack->count; ++k) ReleaseValue(&stack->pairs[k].value);
  stack->count = 0;
}

}  // namespace

int32_t SE_ScriptComputeExpression(SECall* call) {
  ScriptValue* argument = SEArgArray(call, 0);
  if (!argument) return SEAnswerInt(call, 0);
  // The array is held here: the text-add method may run scripts that drop every other reference.
  ScriptValue expression{};
  CopyValue(&expression, argument);
  int32_t pairs = SEArgInt(call, 1);
  int32_t available = GetArraySize(&expression) / 2;
  if (pairs > available) pairs = available;

  ExprStack* stack = static_cast<ExprStack*>(MemCalloc(sizeof(ExprStack)));
  if (!stack) {
    ReleaseValue(&expression);
    return SEAnswerInt(call, 0);
  }
  bool alive = true;
  for (int32_t p = 0; p < pairs && alive && !stack->overflowed; ++p) {
    // The elements are read again for every pair: a script run by an operator may change them.
    int32_t tag = IntOf(Element(&expression, 2 * p));
    ScriptValue* operand = Element(&expression, 2 * p + 1);
    if (tag == kExprTagOperator) {
      int32_t op = IntOf(operand);
      if (op & kExprUnaryBit) ApplyUnary(stack, op);
      else alive = ApplyBinary(call, stack, op);
      continue;
    }
    // A longer run of operands than the stack holds makes the expression malformed.
    if (stack->count >= kExprStackSize) {
      stack->overflowed = true;
      break;
    }
    ExprPair* pair = &stack->pairs[stack->count++];
    pair->tag = tag;
    pair->value = ScriptValue{};
    CopyValue(&pair->value, operand);
  }
  if (alive) {
    bool one = stack->count == 1 && !stack->overflowed && pairs > 0;
    if (one) {
      ArrayWriteInt(&expression, 0, stack->pairs[0].tag);
      ArrayWrite(&expression, 1, &stack->pairs[0].value);
    } else {
      ArrayWriteInt(&expression, 0, 0);
      ArrayWriteInt(&expression, 1, 0);
    }
  }
  ClearStack(stack);
  MemFreeIfSet(stack);
  ReleaseValue(&expression);
  if (!alive) return 0;
  return SEAnswerInt(call, 0);
}

// ---- Escort offset ----------------------------------------------------------------------------

int32_t SE_CalcGalaxyEscortOffset(SECall* call) {
  if (call->argCount < 6) return SEAnswerInt(call, 0);
  int32_t f[3] = {SEArgInt(call, 0), SEArgInt(call, 1), SEArgInt(call, 2)};
  const int32_t o[3] = {SEArgInt(call, 3), SEArgInt(call, 4), SEArgInt(call, 5)};
  if (f[0] == 0 && f[1] == 0 && f[2] == 0) return SEAnswerInt(call, 0);
  NormalizeTo16(f);
  int32_t up[3] = {0, kFixedOne, 0};
  int32_t dot = WrapAdd(WrapAdd(FixedMul(f[0], up[0]), FixedMul(f[1], up[1])), FixedMul(f[2], up[2]));
  // Close to straight up the up axis says nothing about the frame: take the one ahead instead.
  if (dot > 0xF333 || dot < -0xF333) {
    up[1] = 0;
    up[2] = -kFixedOne;
  }
  int32_t right[3], up2[3];
  Cross16(up, f, right);
  Cross16(f, right, up2);
  NormalizeTo16(right);
  NormalizeTo16(up2);
  int32_t out[3];
  for (int32_t k = 0; k < 3; ++k) {
    out[k] = WrapAdd(WrapAdd(FixedMul(right[k], o[0]), FixedMul(up2[k], o[1])), FixedMul(f[k], o[2]));
  }
  return AnswerIntArray(call, out, 3);
}
