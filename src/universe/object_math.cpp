// The universe model's object geometry: dot products and 2D forms, the table arc cosine, clamped
// interpolation, frames from two vectors, the motion profile of approach and braking and the
// steering angles toward a point. Called by object placement, docking, queries and the
// simulation. It allocates nothing; integer paths never trap and form their intermediates wide
// enough that no step wraps before the 32-bit result is taken.
#include "universe/object_math.h"

#include <cmath>

#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559L;
constexpr int64_t kOne = 65536;

int32_t Saturate(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t WrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t WrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// The 16.16 product rounded as FixedMul rounds it, in 64 bits.
int64_t Mul16(int64_t a, int64_t b) { return (a * b + 0x8000) >> 16; }
// (a << 16) / b in 64 bits; 0 for b = 0.
int64_t Div16(int64_t a, int64_t b) { return b == 0 ? 0 : a * kOne / b; }

// An angle in radians as an Angle16: a negative angle gets a turn added, then it is truncated,
// and a full turn is 0.
int32_t ToAngle16(long double radians) {
  if (radians < 0) radians += kTwoPi;
  int32_t turn = TruncateToWord(radians / kTwoPi * 65536);
  return turn >= 65536 ? 0 : turn;
}

// Angle16 in 0..65535 into -32767..32768.
int32_t WrapAngle(int32_t angle) { return angle > 32768 ? angle - 65536 : angle; }

// The direction from the object's instance to the target, or false when there is none to take.
bool DirectionTo(const SpaceObject* object, const FixedVector* target, FixedVector* d) {
  if (!object || !object->instance || !target) return false;
  const FixedVector& p = object->instance->position;
  SetVector(d, WrapSub(target->x, p.x), WrapSub(target->y, p.y), WrapSub(target->z, p.z));
  return true;
}

bool InDeadZone(const FixedVector& d) {
  auto near = [](int32_t c) { return c > -kSteerDeadZone && c < kSteerDeadZone; };
  return near(d.x) && near(d.y) && near(d.z);
}

// The direction in the object's own axes: each row dotted with d, products rounded.
bool LocalDirection(const SpaceObject* object, const FixedVector& d, FixedVector* local) {
  const FixedMatrix* m = GetObjectRotationMatrix(object);
  if (!m) return false;
  MatrixTransposeMulVector(local, m, &d);
  return true;
}

struct SteerResult {
  int32_t turn;   // about the vertical role, toward the sideways role
  int32_t pitch;  // toward the vertical role
  bool degenerate;
};

// Heading and pitch of a direction given in three roles: sideways x, vertical y and forward z.
// `direction` is the unnormalised local direction; it is normalised here.
SteerResult SteerAngles(int32_t x, int32_t y, int32_t z) {
  SteerResult r{0, 0, false};
  int32_t nx = x, ny = y, nz = z;
  NormalizeVector(&nx, &ny, &nz);
  if ((x == 0 && y == 0 && z == 0) || (nx == 0 && nz == 0)) {
    r.degenerate = true;
    r.pitch = ny >= 1 ? 16384 : -16384;
    return r;
  }
  const long double lx = nx, ly = ny, lz = nz;
  const int32_t heading = ToAngle16(std::atan2(-lx, lz));
  // The horizontal pair turned back by the heading leaves its length along the forward role.
  const long double theta = static_cast<long double>((0u - static_cast<uint32_t>(heading)) & 0xFFFF) * kTwoPi / 65536;
  const long double forward = lx * std::sin(theta) + lz * std::cos(theta);
  const int32_t pitch = (ly == 0 && forward == 0) ? 0 : ToAngle16(std::atan2(ly, forward));
  r.turn = WrapAngle(heading);
  r.pitch = WrapAngle(pitch);
  return r;
}

}  // namespace

int32_t FixDot3(const FixedVector* a, const FixedVector* b) {
  return WrapAdd(WrapAdd(FixedMul(a->x, b->x), FixedMul(a->y, b->y)), FixedMul(a->z, b->z));
}

void Vec2Normalize16(int32_t* x, int32_t* y) {
  int32_t z = 0;
  NormalizeVector(x, y, &z);
}

void RotateVec2ByAngle(uint32_t angle, int32_t x, int32_t y, int32_t* outX, int32_t* outY) {
  const long double t = static_cast<long double>(angle & 0xFFFF) * kTwoPi / 65536;
  const long double c = std::cos(t), s = std::sin(t);
  *outX = TruncateToWord(std::round(x * c - y * s));
  *outY = TruncateToWord(std::round(x * s + y * c));
}

int32_t FixAcos(int32_t c) {
  if (c > kFixedOne) return 0;
  if (c < -kFixedOne) return 32768;
  if (c >= 0) return 16384 - ArcSineTable[c];
  return 16384 + ArcSineTable[-c];
}

int32_t InterpolateClamped(int32_t hi, int32_t lo, int32_t x, int32_t outLo, int32_t outHi) {
  if (x <= lo) return outLo;
  if (x >= hi) return outHi;
  const int64_t mid = (int64_t{outLo} + outHi) / 2;
  if (hi == lo) return static_cast<int32_t>(mid);
  // Inside the span |2x - lo - hi| < hi - lo, so the quotient is below the output range; only
  // the product needs more than 64 bits.
  const __int128 numerator = static_cast<__int128>(int64_t{outHi} - outLo) * (2 * int64_t{x} - lo - hi);
  const int64_t denominator = 2 * (int64_t{hi} - lo);
  return Saturate(mid + static_cast<int64_t>(numerator / denominator));
}

void MatrixFromTwoVectors(FixedMatrix* out, const FixedVector* forward, const FixedVector* up) {
  FixedVector f = *forward;
  NormalizeVector(&f);
  FixedVector right, newUp;
  CrossVector(&right, up, &f);
  NormalizeVector(&right);
  CrossVector(&newUp, &f, &right);
  const FixedVector* rows[3] = {&right, &newUp, &f};
  for (int r = 0; r < 3; ++r) {
    out->m[r][0] = rows[r]->x;
    out->m[r][1] = rows[r]->y;
    out->m[r][2] = rows[r]->z;
  }
  out->m[2][3] = forward->w;
}

void SolveAccelDistance(int32_t distance, int32_t speed, int32_t maxSpeed, int32_t accel, int32_t* newSpeed,
                        int32_t* travelled, int32_t stepMs) {
  const int64_t D = distance, v = speed, V = maxSpeed;
  int64_t a = accel;
  int64_t s1 = 0, s2 = 0;  // new speed, travelled
  const int64_t T = int64_t{stepMs} * kOne / 1000;
  if (V == 0) {
    *newSpeed = *travelled = 0;
    return;
  }
  if (a < 1) a = 1;
  if (v < 0) {
    const int64_t t0 = -(v * kOne) / a;
    if (t0 < T) {
      s2 = Mul16(v, t0);
      s1 = 0;
    } else {
      s2 = Mul16(v, T);
      s1 = v + Mul16(a, T);
    }
  } else {
    const int64_t tb = v * kOne / a;
    const int64_t sb = Mul16(tb, v);
    if (sb > D) {
      if (tb >= T) {
        s2 = Mul16(v, T);
        s1 = v - Mul16(a, T);
      } else {
        s2 = sb;
        s1 = 0;
      }
    } else {
      const int64_t tm = (D - sb) * kOne / V;
      if (tm >= T) {
        const int64_t tr = Div16(V - v, a);
        if (tr <= T) {
          s2 = Mul16(V, T - tr) + Mul16(v, tr);
          s1 = V;
        } else {
          s2 = Mul16(v, T);
          s1 = v + Mul16(a, T);
        }
      } else {
        int64_t t1 = tm;
        int64_t s = v + Mul16(a, tm);
        if (s >= V) {
          s = V;
          t1 = Div16(V - v, a);
        }
        int64_t r = D - Mul16(v, t1) - sb;
        if (r < 0) r = 0;
        const int64_t t2 = Div16(r, s);
        if (t1 + t2 < T) {
          const int64_t brake = T - t1 - t2;
          s2 = Mul16(s, brake) + r + Mul16(v, t1);
          s1 = s - Mul16(a, brake);
        } else {
          s2 = Mul16(s, T - t1) + Mul16(v, t1);
          s1 = s;
        }
      }
    }
  }
  *newSpeed = Saturate(s1);
  *travelled = Saturate(s2);
}

void ObjSteerHeadingPitch(SpaceObject* object, const FixedVector* target) {
  FixedVector d, l;
  if (!DirectionTo(object, target, &d)) return;
  if (InDeadZone(d)) {
    object->refAngles[0] = object->refAngles[1] = object->refAngles[2] = 0;
    return;
  }
  if (!LocalDirection(object, d, &l)) return;
  SteerResult r = SteerAngles(l.x, l.y, l.z);
  // A target behind is turned toward first.
  if (r.turn < -16384 || r.turn > 16384) r.pitch = 0;
  object->refAngles[0] = r.turn;
  object->refAngles[1] = r.pitch;
  object->refAngles[2] = 0;
}

void ObjSteerHeadingPitch2(SpaceObject* object, const FixedVector* target) {
  FixedVector d, l;
  if (!DirectionTo(object, target, &d) || InDeadZone(d)) return;
  NormalizeVector(&d);
  if (!LocalDirection(object, d, &l)) return;
  // The up axis plays forward; the forward axis is the vertical role.
  SteerResult r = SteerAngles(l.x, l.z, l.y);
  int32_t first = r.turn, second = r.pitch;
  if (r.degenerate) {
    first = 0;
    second = r.pitch > 0 ? 0 : 32768;
  } else {
    // Either end of the axis will do, so the turn never exceeds a quarter.
    const int32_t unsignedTurn = first & 0xFFFF;
    if (unsignedTurn > 16384 && unsignedTurn < 49152) first = unsignedTurn - 32768;
    if (first < -8192 || first > 8192) second = 0;
  }
  object->refAngles[0] = 0;
  object->refAngles[1] = first;
  object->refAngles[2] = second;
}

void ObjSteerHeadingPitch3(SpaceObject* object, const FixedVector* target) {
  FixedVector d, l;
  if (!DirectionTo(object, target, &d) || InDeadZone(d)) return;
  NormalizeVector(&d);
  if (!LocalDirection(object, d, &l)) return;
  // The right axis plays forward; the forward axis is the sideways role.
  SteerResult r = SteerAngles(l.z, l.y, l.x);
  if (r.degenerate) r.turn = 0;
  object->refAngles[0] = r.turn;
  object->refAngles[1] = 0;
  object->refAngles[2] = r.pitch;
}
