// 16.16 fixed-point arithmetic of the universe geometry: vectors, rotation matrices, 16-bit
// angles, quaternions, the sine / arcsine / arctangent / sqrt(1 - t^2) tables and the small
// accessors over universe records that several subsystems share. The universe model, the
// simulation, the scene engine and the script math natives call it. It never allocates, and no
// division in it ever traps: a quotient that does not fit 32 bits saturates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct SpaceObject;
struct ObjectTypeRecord;

// x, y, z; w holds no coordinate and only SetVector writes it.
struct FixedVector {
  int32_t x, y, z, w;
};

// Rows are the rotated frame's axes; the fourth word of a row holds no element.
struct FixedMatrix {
  int32_t m[3][4];
};

struct Quaternion {
  int32_t w, x, y, z;
};

// A fraction of a turn, 65536 = 360 degrees. Carried in 32-bit words and taken modulo 65536.
using Angle16 = uint16_t;

constexpr int32_t kFixedOne = 0x10000;

// A floating value truncated to 32 bits; anything outside the range (or not a number) becomes
// 0x80000000, the integer-indefinite value of the processor's conversion, never undefined.
inline int32_t TruncateToInt32(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The tables, filled by InitMathTables at start-up.
constexpr int kSineTableSize = 16385;
constexpr int kUnitTableSize = 65537;
extern int32_t SineTable[kSineTableSize];                      // quarter wave, 16.16
extern uint16_t ArcSineTable[kUnitTableSize];                  // Angle16 of asin(i / 65536)
extern uint16_t ArcTanTable[kUnitTableSize];                   // Angle16 of atan(i / 65536)
extern uint16_t SqrtOneMinusSquareTable[kUnitTableSize];       // sqrt(1 - (i/65536)^2), 16.16
void InitMathTables();

// Sine and cosine of an angle (modulo 65536) from the quarter-wave table.
int32_t TableSine(uint32_t angle);
int32_t TableCosine(uint32_t angle);

// Scalars.
int32_t FixedMul(int32_t a, int32_t b);
// a * b / c with a 64-bit product, truncated; 0 for c = 0; a quotient beyond 32 bits saturates.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);
// (a << 16) / b, truncated; 0 for b = 0; a quotient beyond 32 bits saturates.
int32_t FixedDiv(int32_t a, int32_t b);
int32_t MulScale32767(int32_t a, int32_t b);
uint32_t IntSqrt(uint32_t n);
uint32_t IntSqrt64(uint64_t n);  // floor of the root; every 64-bit value has a 32-bit root
// The nearest 32-bit value: products and sums formed in 64 bits come back through it.
int32_t SaturateToInt32(int64_t value);
// Truncation toward zero; a value without a 32-bit form (too large, NaN) gives 0x80000000.
int32_t TruncateToWord(long double value);
// The same for the narrower types, without the extended-precision unit: a double holds every float
// and every value near the 32-bit range exactly, so the truncation is the same.
inline int32_t TruncateToWord(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return static_cast<int32_t>(0x80000000u);
  return static_cast<int32_t>(value);
}
inline int32_t TruncateToWord(float value) { return TruncateToWord(static_cast<double>(value)); }
int32_t RandomUpTo(int32_t n);
uint32_t AngleFromXY(int32_t x, int32_t y);
void RotateXY(uint32_t angle, int32_t x, int32_t y, int32_t* outX, int32_t* outY);
int32_t MaxOf3(int32_t a, int32_t b, int32_t c);

// Vectors.
void SetVector(FixedVector* v, int32_t x, int32_t y, int32_t z);
void AddVector(FixedVector* out, const FixedVector* a, const FixedVector* b);
void AddVectorTo(FixedVector* a, const FixedVector* b);
void SubVector(FixedVector* out, const FixedVector* a, const FixedVector* b);  // out = b - a
void SubVectorFrom(FixedVector* a, const FixedVector* b);                     // a -= b
void MulVectorFixed(FixedVector* out, int32_t s, const FixedVector* v);
void MulVectorsFixed(FixedVector* out, const FixedVector* a, const FixedVector* b);
void DivVectorFixed(FixedVector* out, int32_t s, const FixedVector* v);
void MulDivVectorFixed(FixedVector* out, const FixedVector* v, int32_t m, int32_t d);
void MulDivVectorScalarFixed(FixedVector* out, const FixedVector* v, int32_t m, int32_t d);
void DivVectorsFixed(FixedVector* v, int32_t m, int32_t d);
void NormalizeVector(FixedVector* v);
void NormalizeVector(int32_t* x, int32_t* y, int32_t* z);
void SetVectorLength(int32_t* x, int32_t* y, int32_t* z, int32_t length);

// Matrices.
// a x b, each product rounded; out may be a or b.
void CrossVector(FixedVector* out, const FixedVector* a, const FixedVector* b);

void MatrixSetIdentity(FixedMatrix* m);
void MatrixFromAngles(FixedMatrix* m, uint32_t a, uint32_t b, uint32_t c);
// Yaw a, pitch b and roll c back from a rotation; pitch -16384 stands for straight down.
void MatrixToAngles(const FixedMatrix* m, int32_t* a, int32_t* b, int32_t* c);
void AnglesFromVector(const FixedVector* v, uint32_t* yaw, uint32_t* pitch);
void MatrixMulVector(FixedVector* out, const FixedMatrix* m, const FixedVector* v);
void MatrixTransposeMulVector(FixedVector* out, const FixedMatrix* m, const FixedVector* v);
void MatrixMultiply(FixedMatrix* out, const FixedMatrix* a, const FixedMatrix* b);
void MatrixMultiplyTransposed(FixedMatrix* out, const FixedMatrix* a, const FixedMatrix* b);
void MatrixOrthonormalizeRow2(FixedMatrix* m);
void MatrixOrthonormalizeColumn0(FixedMatrix* m);
int MatrixInvert(FixedMatrix* out, const FixedMatrix* m);
void MatrixFromAxisAngle(FixedMatrix* m, const FixedVector* axis, uint32_t angle);
void MatrixToAxisAngle(const FixedMatrix* m, FixedVector* axis, int32_t* angle);
void TransformPointToFloat(float out[3], const FixedVector* p, const FixedMatrix* m, const FixedVector* offset);

// Quaternions.
void QuaternionFromAxisAngle(Quaternion* q, int32_t angle, const FixedVector* axis);
void QuaternionMultiply(Quaternion* out, const Quaternion* a, const Quaternion* b);
void QuaternionFromMatrix(Quaternion* q, const FixedMatrix* m);
void MatrixFromQuaternion(FixedMatrix* m, const Quaternion* q);
void QuaternionBlend(Quaternion* out, const Quaternion* a, const Quaternion* b, int32_t t);
// Hermite curve from p0 to p1 with the tangents p2 at p0 and p3 at p1; tangent may be null.
void SplineBlend(const FixedVector* p0, const FixedVector* p1, const FixedVector* p2, const FixedVector* p3,
                 int32_t t, FixedVector* position, FixedVector* tangent);

// Accessors over universe records. The universe model owns the records, so it defines these
// beside them; they are declared here, with the arithmetic they belong to, for every caller.
int32_t ObjectDistance(const SpaceObject* a, const SpaceObject* b);
int32_t ObjectMaxNormDistance(const SpaceObject* a, const SpaceObject* b);
bool IsObjectClass567(const SpaceObject* o);
bool IsObjectClass56(const SpaceObject* o);
bool IsObjectClass7Type267(const SpaceObject* o);
int32_t TypeGetScaledValue(const ObjectTypeRecord* t);
int32_t TypeGetScaledValueOfSub(const ObjectTypeRecord* r);
int32_t TypeGetFactorOfSub(const ObjectTypeRecord* r);
int32_t TypeGetFlaggedId(const ObjectTypeRecord* t);
int32_t TypeGetFlaggedIdOfSub(const ObjectTypeRecord* r);
// list: the element array of a vector of record pointers; each record's second word is flags.
uint32_t PtrVectorGetFlags(const int32_t* const* list, int32_t i);
bool PtrVectorTestFlag20(const int32_t* const* list, int32_t i);
bool PtrVectorTestFlag21(const int32_t* const* list, int32_t i);

// Binary search over n records sorted by a signed key in their first word: n - 1 when k is at
// or past the last key, 0 when at or before the first, else i with key[i] <= k < key[i + 1].
// Record layouts of several subsystems share it, so it reads the first word of each.
template <typename Record>
int32_t FindKeyInterval(int32_t n, const Record* keys, int32_t k) {
  static_assert(sizeof(Record) >= sizeof(int32_t));
  auto keyAt = [keys](int32_t i) {
    int32_t key;
    std::memcpy(&key, &keys[i], sizeof key);
    return key;
  };
  if (n <= 1 || !keys) return 0;
  if (k >= keyAt(n - 1)) return n - 1;
  if (k <= keyAt(0)) return 0;
  int32_t low = 0, high = n - 1;  // key[low] <= k < key[high]
  while (high - low > 1) {
    int32_t mid = low + (high - low) / 2;
    if (keyAt(mid) <= k) low = mid;
    else high = mid;
  }
  return low;
}
