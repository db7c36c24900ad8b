// The 16.16 fixed-point operations and their lookup tables. Integer paths take sine, cosine,
// arcsine, arctangent and sqrt(1 - t^2) from the tables; the angle and axis-angle conversions
// use the floating-point unit as their results are defined by it. Called by the universe model,
// the simulation, the scene engine and the script math natives. Never allocates; never divides
// by zero; converts floating point to integers only through TruncateToWord.
#include "core/fixed_math.h"

#include <cmath>
#include <limits>

#include "core/memory.h"

int32_t SineTable[kSineTableSize];
uint16_t ArcSineTable[kUnitTableSize];
uint16_t ArcTanTable[kUnitTableSize];
uint16_t SqrtOneMinusSquareTable[kUnitTableSize];

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr long double kTwoPiLong = 6.283185307179586476925286766559L;
// 2 pi rounded to single precision and divided by 65536: the step of the sine table.
constexpr double kSineStep = 9.58738019107841e-5;
constexpr float kAngleUnitF = 1.5258789e-5f;  // 1 / 65536
constexpr float kTwoPiF = 6.2831855f;
constexpr double kInverseTwoPi = 0.15915493866300567;
constexpr int32_t kSteepPitch = 58982;  // sin of the pitch beyond 0.9
constexpr uint32_t kPitchUpNearVertical = 16318;
constexpr uint32_t kPitchDownNearVertical = 49217;

#if defined(__x86_64__) || defined(__i386__)
// The compiler truncates an extended-precision value by switching the x87 unit's rounding mode to
// truncation and back, which stalls the unit on every conversion; a rotation matrix takes nine.
// The truncating store (SSE3) converts without touching the mode. Before this is set (a
// conversion during another file's static initialisation) the plain conversion serves.
const bool gTruncatingStore = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse3") != 0;
}();
#endif

int32_t WrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t WrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
int32_t WrapNeg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

int32_t Saturate(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// atan2(y, x) as an Angle16: negative angles get a full turn added; a full turn is 0.
uint32_t AngleOf(long double x, long double y) {
  if (x == 0 && y == 0) return 0;
  long double a = std::atan2(y, x);
  if (a < 0) a += kTwoPiLong;
  int32_t turn = TruncateToWord(a * 65536 / kTwoPiLong);
  return turn >= 65536 ? 0 : static_cast<uint32_t>(turn);
}

// (p * scale) truncated for the three words; a zero length leaves them as they are.
void ScaleToLength(int32_t* x, int32_t* y, int32_t* z, long double wanted) {
  long double lx = *x, ly = *y, lz = *z;
  long double length = std::sqrt(lx * lx + ly * ly + lz * lz);
  if (length == 0) return;
  long double scale = wanted == 65536 ? 1 / (length / 65536) : wanted / length;
  *x = TruncateToWord(lx * scale);
  *y = TruncateToWord(ly * scale);
  *z = TruncateToWord(lz * scale);
}

void NormalizeQuaternion(Quaternion* q) {
  long double w = q->w, x = q->x, y = q->y, z = q->z;
  long double length = std::sqrt(w * w + x * x + y * y + z * z);
  if (length == 0) return;
  long double scale = 1 / (length / 65536);
  q->w = TruncateToWord(w * scale);
  q->x = TruncateToWord(x * scale);
  q->y = TruncateToWord(y * scale);
  q->z = TruncateToWord(z * scale);
}

// a x b with rounded products.
void Cross(int32_t out[3], const int32_t a[3], const int32_t b[3]) {
  int32_t r0 = WrapSub(FixedMul(a[1], b[2]), FixedMul(a[2], b[1]));
  int32_t r1 = WrapSub(FixedMul(a[2], b[0]), FixedMul(a[0], b[2]));
  int32_t r2 = WrapSub(FixedMul(a[0], b[1]), FixedMul(a[1], b[0]));
  out[0] = r0;
  out[1] = r1;
  out[2] = r2;
}

int32_t DivideFixed(int32_t a, int32_t b) {
  return Saturate(static_cast<int64_t>(a) * 65536 / b);
}

}  // namespace

// Truncation toward zero; a value that has no 32-bit form (too large, NaN) gives 0x80000000, the
// answer the processor's own conversion gives.
int32_t TruncateToWord(long double value) {
  if (!(value > -2147483649.0L && value < 2147483648.0L)) return std::numeric_limits<int32_t>::min();
#if defined(__x86_64__) || defined(__i386__)
  if (gTruncatingStore) {
    int64_t word;
    asm("fisttpll %0" : "=m"(word) : "t"(value) : "st");
    return static_cast<int32_t>(word);
  }
#endif
  return static_cast<int32_t>(value);
}


void InitMathTables() {
  for (int i = 0; i < kSineTableSize; ++i) SineTable[i] = static_cast<int32_t>(std::sin(i * kSineStep) * 65536);
  for (int i = 0; i < kUnitTableSize; ++i) {
    double t = i / 65536.0;
    ArcSineTable[i] = static_cast<uint16_t>(static_cast<int32_t>(std::asin(t) / kTwoPi * 65536));
    ArcTanTable[i] = static_cast<uint16_t>(static_cast<int32_t>(std::atan(t) / kTwoPi * 65536));
    int32_t root = static_cast<int32_t>(std::sqrt(1 - t * t) * 65536);
    SqrtOneMinusSquareTable[i] = static_cast<uint16_t>(root > 65535 ? 65535 : root);
  }
}

int32_t TableSine(uint32_t angle) {
  uint32_t a = angle & 0xFFFF;
  if (a <= 16384) return SineTable[a];
  if (a <= 32768) return SineTable[32768 - a];
  if (a <= 49152) return -SineTable[a - 32768];
  return -SineTable[65536 - a];
}

int32_t TableCosine(uint32_t angle) {
  uint32_t a = angle & 0xFFFF;
  if (a <= 16384) return SineTable[16384 - a];
  if (a <= 32768) return -SineTable[a - 16384];
  if (a <= 49152) return -SineTable[49152 - a];
  return SineTable[a - 49152];
}

int32_t MulDiv(int32_t v, int32_t m, int32_t d) {
  if (d == 0) return 0;
  return Saturate(static_cast<int64_t>(v) * m / d);
}

int32_t FixedMul(int32_t a, int32_t b) {
  return static_cast<int32_t>((static_cast<int64_t>(a) * b + 0x8000) >> 16);
}

int32_t FixedDiv(int32_t a, int32_t b) { return b == 0 ? 0 : DivideFixed(a, b); }

int32_t MulScale32767(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<int64_t>(a) * b / 32767); }

uint32_t IntSqrt(uint32_t n) { return IntSqrt64(n); }

uint32_t IntSqrt64(uint64_t n) {
  uint64_t rest = n, root = 0, bit = uint64_t{1} << 62;
  while (bit > rest) bit >>= 2;
  while (bit != 0) {
    if (rest >= root + bit) {
      rest -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  return static_cast<uint32_t>(root);
}

int32_t SaturateToInt32(int64_t value) { return Saturate(value); }

int32_t RandomUpTo(int32_t n) { return static_cast<int32_t>(static_cast<int64_t>(n) * GameRand() / 32767); }

uint32_t AngleFromXY(int32_t x, int32_t y) { return AngleOf(x, y); }

void RotateXY(uint32_t angle, int32_t x, int32_t y, int32_t* outX, int32_t* outY) {
  double t = (angle & 0xFFFF) * kTwoPi / 65536;
  double c = std::cos(t), s = std::sin(t);
  *outX = TruncateToWord(x * c - y * s);
  *outY = TruncateToWord(x * s + y * c);
}

int32_t MaxOf3(int32_t a, int32_t b, int32_t c) {
  int32_t m = a > b ? a : b;
  return m > c ? m : c;
}

void SetVector(FixedVector* v, int32_t x, int32_t y, int32_t z) {
  v->x = x;
  v->y = y;
  v->z = z;
  v->w = 0;
}

void AddVector(FixedVector* out, const FixedVector* a, const FixedVector* b) {
  out->x = WrapAdd(a->x, b->x);
  out->y = WrapAdd(a->y, b->y);
  out->z = WrapAdd(a->z, b->z);
}

void AddVectorTo(FixedVector* a, const FixedVector* b) { AddVector(a, a, b); }

void SubVector(FixedVector* out, const FixedVector* a, const FixedVector* b) {
  out->x = WrapSub(b->x, a->x);
  out->y = WrapSub(b->y, a->y);
  out->z = WrapSub(b->z, a->z);
}

void SubVectorFrom(FixedVector* a, const FixedVector* b) {
  a->x = WrapSub(a->x, b->x);
  a->y = WrapSub(a->y, b->y);
  a->z = WrapSub(a->z, b->z);
}

void MulVectorFixed(FixedVector* out, int32_t s, const FixedVector* v) {
  out->x = FixedMul(s, v->x);
  out->y = FixedMul(s, v->y);
  out->z = FixedMul(s, v->z);
}

void MulVectorsFixed(FixedVector* out, const FixedVector* a, const FixedVector* b) {
  out->x = FixedMul(a->x, b->x);
  out->y = FixedMul(a->y, b->y);
  out->z = FixedMul(a->z, b->z);
}

void DivVectorFixed(FixedVector* out, int32_t s, const FixedVector* v) {
  if (s == 0) {
    out->x = out->y = out->z = 0;
    return;
  }
  out->x = DivideFixed(v->x, s);
  out->y = DivideFixed(v->y, s);
  out->z = DivideFixed(v->z, s);
}

void MulDivVectorFixed(FixedVector* out, const FixedVector* v, int32_t m, int32_t d) {
  out->x = MulDiv(v->x, m, d);
  out->y = MulDiv(v->y, m, d);
  out->z = MulDiv(v->z, m, d);
}

void MulDivVectorScalarFixed(FixedVector* out, const FixedVector* v, int32_t m, int32_t d) {
  MulDivVectorFixed(out, v, m, d);
}

void DivVectorsFixed(FixedVector* v, int32_t m, int32_t d) { MulDivVectorFixed(v, v, m, d); }

void NormalizeVector(FixedVector* v) { ScaleToLength(&v->x, &v->y, &v->z, 65536); }

void NormalizeVector(int32_t* x, int32_t* y, int32_t* z) { ScaleToLength(x, y, z, 65536); }

void SetVectorLength(int32_t* x, int32_t* y, int32_t* z, int32_t length) { ScaleToLength(x, y, z, length); }

void MatrixSetIdentity(FixedMatrix* m) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m->m[r][c] = r == c ? kFixedOne : 0;
  }
}

void MatrixFromAngles(FixedMatrix* m, uint32_t a, uint32_t b, uint32_t c) {
  // The radians are single precision; the products stay in extended precision until truncated,
  // which is why a quarter turn gives 65535 and not 65536.
  auto radians = [](uint32_t n) { return static_cast<long double>(static_cast<float>(n & 0xFFFF) * kAngleUnitF * kTwoPiF); };
  long double ra = radians(a), rb = radians(b), rc = radians(c);
  long double ca = std::cos(ra), sa = std::sin(ra);
  long double cb = std::cos(rb), sb = std::sin(rb);
  long double cc = std::cos(rc), sc = std::sin(rc);
  const long double rows[3][3] = {
      {sc * sb * sa + cc * ca, sc * cb, cc * sa - sc * sb * ca},
      {cc * sb * sa - sc * ca, cc * cb, -sc * sa - cc * sb * ca},
      {-sa * cb, sb, ca * cb},
  };
  for (int r = 0; r < 3; ++r) {
    for (int col = 0; col < 3; ++col) m->m[r][col] = TruncateToWord(rows[r][col] * 65536.0f);
  }
}

void MatrixToAngles(const FixedMatrix* m, int32_t* a, int32_t* b, int32_t* c) {
  int32_t s = m->m[2][1];
  // A sine at or beyond one (a matrix that is not quite a rotation) counts as straight up or down.
  if (s >= kFixedOne || s <= -kFixedOne) {
    *b = s > 0 ? 16384 : -16384;
    *c = 0;
    *a = static_cast<int32_t>(AngleFromXY(m->m[0][0], m->m[0][2]));
    return;
  }
  int32_t magnitude = s < 0 ? -s : s;
  *b = s >= 0 ? ArcSineTable[magnitude] : 65536 - ArcSineTable[magnitude];
  int32_t cosB = s == 0 ? kFixedOne : SqrtOneMinusSquareTable[magnitude];
  uint32_t roll = AngleFromXY(FixedDiv(m->m[1][1], cosB), FixedDiv(m->m[0][1], cosB));
  *c = static_cast<int32_t>(roll);
  if (magnitude > kSteepPitch) {
    // Near the vertical cos b is too coarse; take the yaw from rows 0 and 1 with the roll undone.
    int32_t cosC = TableCosine(roll), sinC = TableSine(roll);
    int32_t x = WrapSub(FixedMul(m->m[0][0], cosC), FixedMul(m->m[1][0], sinC));
    int32_t y = FixedDiv(WrapAdd(FixedMul(m->m[1][0], cosC), FixedMul(m->m[0][0], sinC)), s);
    *a = static_cast<int32_t>(AngleFromXY(x, y));
  } else {
    *a = static_cast<int32_t>(AngleFromXY(FixedDiv(m->m[2][2], cosB), WrapNeg(FixedDiv(m->m[2][0], cosB))));
  }
}

void AnglesFromVector(const FixedVector* v, uint32_t* yaw, uint32_t* pitch) {
  FixedVector n = *v;
  NormalizeVector(&n);
  if (v->x == 0 && v->z == 0) {
    *yaw = 0;
    *pitch = n.y > 0 ? kPitchUpNearVertical : kPitchDownNearVertical;
    return;
  }
  *yaw = AngleOf(v->z, -static_cast<long double>(v->x));
  double t = ((0u - *yaw) & 0xFFFF) * kTwoPi / 65536;
  int32_t h = TruncateToWord(std::cos(t) * n.z + std::sin(t) * n.x);
  *pitch = AngleOf(h, n.y);
}

void MatrixMulVector(FixedVector* out, const FixedMatrix* m, const FixedVector* v) {
  int32_t r[3];
  for (int c = 0; c < 3; ++c) {
    r[c] = WrapAdd(WrapAdd(FixedMul(v->x, m->m[0][c]), FixedMul(v->y, m->m[1][c])), FixedMul(v->z, m->m[2][c]));
  }
  out->x = r[0];
  out->y = r[1];
  out->z = r[2];
}

void MatrixTransposeMulVector(FixedVector* out, const FixedMatrix* m, const FixedVector* v) {
  int32_t r[3];
  for (int row = 0; row < 3; ++row) {
    r[row] = WrapAdd(WrapAdd(FixedMul(m->m[row][0], v->x), FixedMul(m->m[row][1], v->y)), FixedMul(m->m[row][2], v->z));
  }
  out->x = r[0];
  out->y = r[1];
  out->z = r[2];
}

void MatrixMultiply(FixedMatrix* out, const FixedMatrix* a, const FixedMatrix* b) {
  int32_t r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i][j] = WrapAdd(WrapAdd(FixedMul(a->m[i][0], b->m[0][j]), FixedMul(a->m[i][1], b->m[1][j])),
                        FixedMul(a->m[i][2], b->m[2][j]));
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out->m[i][j] = r[i][j];
  }
}

void MatrixMultiplyTransposed(FixedMatrix* out, const FixedMatrix* a, const FixedMatrix* b) {
  int32_t r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i][j] = WrapAdd(WrapAdd(FixedMul(a->m[i][0], b->m[j][0]), FixedMul(a->m[i][1], b->m[j][1])),
                        FixedMul(a->m[i][2], b->m[j][2]));
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out->m[i][j] = r[i][j];
  }
}

void MatrixOrthonormalizeRow2(FixedMatrix* m) {
  NormalizeVector(&m->m[2][0], &m->m[2][1], &m->m[2][2]);
  Cross(m->m[1], m->m[2], m->m[0]);
  NormalizeVector(&m->m[1][0], &m->m[1][1], &m->m[1][2]);
  Cross(m->m[0], m->m[1], m->m[2]);
  NormalizeVector(&m->m[0][0], &m->m[0][1], &m->m[0][2]);
}

void MatrixOrthonormalizeColumn0(FixedMatrix* m) {
  int32_t col[3][3];
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) col[c][r] = m->m[r][c];
  }
  NormalizeVector(&col[0][0], &col[0][1], &col[0][2]);
  Cross(col[2], col[0], col[1]);
  NormalizeVector(&col[2][0], &col[2][1], &col[2][2]);
  Cross(col[1], col[2], col[0]);
  NormalizeVector(&col[1][0], &col[1][1], &col[1][2]);
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) m->m[r][c] = col[c][r];
  }
}

int MatrixInvert(FixedMatrix* out, const FixedMatrix* m) {
  int32_t cofactor[3][3];  // row i+1 x row i+2
  int32_t det = 0;
  for (int i = 0; i < 3; ++i) {
    Cross(cofactor[i], m->m[(i + 1) % 3], m->m[(i + 2) % 3]);
    det = WrapAdd(det, FixedMul(m->m[i][0], cofactor[i][0]));
  }
  if (det == 0) return 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out->m[j][i] = FixedDiv(cofactor[i][j], det);
  }
  return 1;
}

void MatrixFromAxisAngle(FixedMatrix* m, const FixedVector* axis, uint32_t angle) {
  double x = axis->x * (1.0 / 65536), y = axis->y * (1.0 / 65536), z = axis->z * (1.0 / 65536);
  double t = (angle & 0xFFFF) * kTwoPi / 65536;
  double c = std::cos(t), s = std::sin(t), k = 1 - c;
  const double e[3][3] = {
      {x * x + (1 - x * x) * c, k * x * y + z * s, k * x * z - y * s},
      {k * x * y - z * s, y * y + (1 - y * y) * c, k * y * z + x * s},
      {k * x * z + y * s, k * y * z - x * s, z * z + (1 - z * z) * c},
  };
  for (int r = 0; r < 3; ++r) {
    for (int col = 0; col < 3; ++col) m->m[r][col] = TruncateToWord(e[r][col] * 65536);
  }
}

void MatrixToAxisAngle(const FixedMatrix* m, FixedVector* axis, int32_t* angle) {
  auto e = [m](int r, int c) { return m->m[r][c] / 65536.0; };
  double cosT = ((e(0, 0) + e(1, 1) + e(2, 2)) - 1) * 0.5;
  cosT = cosT < -1 ? -1 : (cosT > 1 ? 1 : cosT);
  double t = std::acos(cosT);
  double ax = 0, ay = 0, az = 1;
  if (t >= 0.001) {
    double k = -1 / (2 * std::sin(t));
    double dx = e(2, 1) - e(1, 2), dy = e(0, 2) - e(2, 0), dz = e(1, 0) - e(0, 1);
    double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (std::isfinite(k) && length > 1e-9) {
      ax = k * dx;
      ay = k * dy;
      az = k * dz;
    } else {
      // A half turn leaves no antisymmetric part; the axis comes from the diagonal instead.
      double denominator = 1 - cosT;
      ax = std::sqrt(std::fmax(0.0, (e(0, 0) - cosT) / denominator));
      ay = std::sqrt(std::fmax(0.0, (e(1, 1) - cosT) / denominator));
      az = std::sqrt(std::fmax(0.0, (e(2, 2) - cosT) / denominator));
      if (ax >= ay && ax >= az) {
        if (e(0, 1) + e(1, 0) < 0) ay = -ay;
        if (e(0, 2) + e(2, 0) < 0) az = -az;
      } else if (ay >= az) {
        if (e(0, 1) + e(1, 0) < 0) ax = -ax;
        if (e(1, 2) + e(2, 1) < 0) az = -az;
      } else {
        if (e(0, 2) + e(2, 0) < 0) ax = -ax;
        if (e(1, 2) + e(2, 1) < 0) ay = -ay;
      }
    }
    double length2 = std::sqrt(ax * ax + ay * ay + az * az);
    if (length2 > 0) {
      ax /= length2;
      ay /= length2;
      az /= length2;
    }
  }
  axis->x = TruncateToWord(ax * 65536);
  axis->y = TruncateToWord(ay * 65536);
  axis->z = TruncateToWord(az * 65536);
  axis->w = 0;
  *angle = TruncateToWord(t * kInverseTwoPi * 65536);
}

void TransformPointToFloat(float out[3], const FixedVector* p, const FixedMatrix* m, const FixedVector* offset) {
  auto column = [p, m](int c) {
    return WrapAdd(WrapAdd(FixedMul(p->x, m->m[0][c]), FixedMul(p->y, m->m[1][c])), FixedMul(p->z, m->m[2][c]));
  };
  int32_t homogeneous = WrapAdd(column(3), kFixedOne);
  const int32_t moved[3] = {WrapAdd(column(0), offset->x), WrapAdd(column(1), offset->y), WrapAdd(column(2), offset->z)};
  for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(FixedDiv(moved[i], homogeneous));
}

void QuaternionFromAxisAngle(Quaternion* q, int32_t angle, const FixedVector* axis) {
  if (axis->x == 0 && axis->y == 0 && axis->z == 0) {
    q->w = kFixedOne;
    q->x = q->y = q->z = 0;
    return;
  }
  uint32_t half = static_cast<uint32_t>(angle / 2) & 0xFFFF;
  int32_t s = TableSine(half);
  q->w = TableCosine(half);
  q->x = FixedMul(axis->x, s);
  q->y = FixedMul(axis->y, s);
  q->z = FixedMul(axis->z, s);
}

void QuaternionMultiply(Quaternion* out, const Quaternion* a, const Quaternion* b) {
  auto sum4 = [](int32_t p, int32_t q, int32_t r, int32_t s) { return WrapAdd(WrapAdd(p, q), WrapAdd(r, s)); };
  Quaternion r;
  r.w = sum4(FixedMul(a->w, b->w), WrapNeg(FixedMul(a->x, b->x)), WrapNeg(FixedMul(a->y, b->y)),
             WrapNeg(FixedMul(a->z, b->z)));
  r.x = sum4(FixedMul(a->w, b->x), FixedMul(a->x, b->w), FixedMul(a->y, b->z), WrapNeg(FixedMul(a->z, b->y)));
  r.y = sum4(FixedMul(a->w, b->y), FixedMul(a->y, b->w), FixedMul(a->z, b->x), WrapNeg(FixedMul(a->x, b->z)));
  r.z = sum4(FixedMul(a->w, b->z), FixedMul(a->z, b->w), FixedMul(a->x, b->y), WrapNeg(FixedMul(a->y, b->x)));
  NormalizeQuaternion(&r);
  *out = r;
}

void QuaternionFromMatrix(Quaternion* q, const FixedMatrix* m) {
  auto e = [m](int r, int c) { return m->m[r][c]; };
  auto root = [](int32_t v) { return static_cast<int32_t>(IntSqrt(v > 0 ? static_cast<uint32_t>(v) : 0) << 8); };
  int32_t trace = WrapAdd(WrapAdd(e(0, 0), e(1, 1)), e(2, 2));
  Quaternion r;
  r.w = root(WrapAdd(trace, kFixedOne)) / 2;
  if (trace > 0) {
    int32_t fourW = 4 * r.w;
    r.x = FixedDiv(WrapSub(e(2, 1), e(1, 2)), fourW);
    r.y = FixedDiv(WrapSub(e(0, 2), e(2, 0)), fourW);
    r.z = FixedDiv(WrapSub(e(1, 0), e(0, 1)), fourW);
  } else {
    // w is small: the largest diagonal element gives the best-conditioned vector component.
    int i = 0;
    if (e(1, 1) > e(i, i)) i = 1;
    if (e(2, 2) > e(i, i)) i = 2;
    int j = (i + 1) % 3, k = (i + 2) % 3;
    int32_t v[3];
    v[i] = root(WrapAdd(WrapSub(WrapSub(e(i, i), e(j, j)), e(k, k)), kFixedOne)) / 2;
    int32_t fourV = 4 * v[i];
    v[j] = FixedDiv(WrapAdd(e(i, j), e(j, i)), fourV);
    v[k] = FixedDiv(WrapAdd(e(i, k), e(k, i)), fourV);
    // w is taken non-negative, so the vector part takes the sign that w * v[i] must have.
    if (WrapSub(e(k, j), e(j, k)) < 0) {
      for (int32_t& c : v) c = WrapNeg(c);
    }
    r.x = v[0];
    r.y = v[1];
    r.z = v[2];
  }
  NormalizeQuaternion(&r);
  *q = r;
}

void MatrixFromQuaternion(FixedMatrix* m, const Quaternion* q) {
  int32_t w = q->w, x = q->x, y = q->y, z = q->z;
  auto twice = [](int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) * 2u); };
  m->m[0][0] = twice(WrapSub(WrapSub(0x8000, FixedMul(z, z)), FixedMul(y, y)));
  m->m[0][1] = twice(WrapSub(FixedMul(x, y), FixedMul(z, w)));
  m->m[0][2] = twice(WrapAdd(FixedMul(w, y), FixedMul(z, x)));
  m->m[1][0] = twice(WrapAdd(FixedMul(z, w), FixedMul(x, y)));
  m->m[1][1] = twice(WrapSub(WrapSub(0x8000, FixedMul(z, z)), FixedMul(x, x)));
  m->m[1][2] = twice(WrapSub(FixedMul(z, y), FixedMul(w, x)));
  m->m[2][0] = twice(WrapSub(FixedMul(z, x), FixedMul(w, y)));
  m->m[2][1] = twice(WrapAdd(FixedMul(w, x), FixedMul(z, y)));
  m->m[2][2] = twice(WrapSub(WrapSub(0x8000, FixedMul(y, y)), FixedMul(x, x)));
}

void QuaternionBlend(Quaternion* out, const Quaternion* a, const Quaternion* b, int32_t t) {
  double u = t / 65536.0;
  if (u < 0) {
    *out = *a;
    return;
  }
  if (u > 1) {
    *out = *b;
    return;
  }
  const double qa[4] = {a->w / 65536.0, a->x / 65536.0, a->y / 65536.0, a->z / 65536.0};
  const double qb[4] = {b->w / 65536.0, b->x / 65536.0, b->y / 65536.0, b->z / 65536.0};
  double d = qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3];
  d = d < -1 ? -1 : (d > 1 ? 1 : d);
  double sign = 1;
  if (d < 0) {
    d = -d;
    sign = -1;
  }
  double h = std::acos(d);
  double sinH = std::sin(h);
  if (sinH == 0) {
    *out = *a;
    return;
  }
  double wa = std::sin((1 - u) * h), wb = sign * std::sin(u * h);
  int32_t r[4];
  for (int i = 0; i < 4; ++i) r[i] = TruncateToWord((wa * qa[i] + wb * qb[i]) / sinH * 65536);
  out->w = r[0];
  out->x = r[1];
  out->y = r[2];
  out->z = r[3];
}

void SplineBlend(const FixedVector* p0, const FixedVector* p1, const FixedVector* p2, const FixedVector* p3,
                 int32_t t, FixedVector* position, FixedVector* tangent) {
  int32_t t2 = FixedMul(t, t);
  int32_t t3 = FixedMul(t2, t);
  auto blend = [&](FixedVector* out, int32_t w0, int32_t w1, int32_t w2, int32_t w3) {
    FixedVector a, b, c, d;
    MulVectorFixed(&a, w0, p0);
    MulVectorFixed(&b, w1, p1);
    MulVectorFixed(&c, w2, p2);
    MulVectorFixed(&d, w3, p3);
    AddVectorTo(&a, &b);
    AddVectorTo(&a, &c);
    AddVectorTo(&a, &d);
    out->x = a.x;
    out->y = a.y;
    out->z = a.z;
  };
  // 16.16 weights; small integer multiples wrap like the words they are.
  auto times = [](int32_t k, int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) * static_cast<uint32_t>(k)); };
  if (position) {
    blend(position, WrapAdd(WrapSub(times(2, t3), times(3, t2)), kFixedOne), WrapSub(times(3, t2), times(2, t3)),
          WrapAdd(WrapSub(t3, times(2, t2)), t), WrapSub(t3, t2));
  }
  if (tangent) {
    blend(tangent, WrapSub(times(6, t2), times(6, t)), WrapSub(times(6, t), times(6, t2)),
          WrapAdd(WrapSub(times(3, t2), times(4, t)), kFixedOne), WrapSub(times(3, t2), times(2, t)));
  }
}

uint32_t PtrVectorGetFlags(const int32_t* const* list, int32_t i) { return static_cast<uint32_t>(list[i][1]); }

bool PtrVectorTestFlag20(const int32_t* const* list, int32_t i) { return (PtrVectorGetFlags(list, i) >> 20) & 1; }

bool PtrVectorTestFlag21(const int32_t* const* list, int32_t i) { return (PtrVectorGetFlags(list, i) >> 21) & 1; }

void CrossVector(FixedVector* out, const FixedVector* a, const FixedVector* b) {
  const int32_t u[3] = {a->x, a->y, a->z}, v[3] = {b->x, b->y, b->z};
  int32_t r[3];
  Cross(r, u, v);
  out->x = r[0];
  out->y = r[1];
  out->z = r[2];
}
