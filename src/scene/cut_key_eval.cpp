// Evaluation of cut keys: the ease of a segment, the tangents of the position spline, the
// preparation of rotation keys into absolute quaternions, and position and rotation at a time.
// The path set-up and the jobs call it. All of it is 16.16 with 64-bit products; no division by
// a zero time span ever happens.
#include <cmath>

#include "scene/cut_keys.h"

namespace {

int32_t Mul(int32_t a, int32_t b) { return FixedMul(a, b); }

// (a << 16) / b in 64 bits, truncated; 0 for a zero divisor.
int32_t Ratio(int64_t a, int64_t b) {
  if (b == 0) return 0;
  return static_cast<int32_t>((a * kFixedOne) / b);
}

int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

FixedVector Scale(int32_t s, const FixedVector& v) { return {Mul(s, v.x), Mul(s, v.y), Mul(s, v.z), 0}; }
FixedVector Plus(const FixedVector& a, const FixedVector& b) { return {Add(a.x, b.x), Add(a.y, b.y), Add(a.z, b.z), 0}; }
FixedVector Minus(const FixedVector& a, const FixedVector& b) {
  return {Sub(a.x, b.x), Sub(a.y, b.y), Sub(a.z, b.z), 0};
}

// The end tangent of a path of three or more keys, from the key K, its second neighbour A and
// its neighbour B; e and f are taken in the caller's direction.
FixedVector EndTangent(const FixedVector& e, const FixedVector& f, int32_t r, int32_t tension) {
  constexpr int32_t kHalf = 0x8000, kOneAndHalf = 0x18000, kQuarter = 0x4000;
  const FixedVector halfE = Scale(kHalf, e);
  const FixedVector inner = Plus(Scale(kOneAndHalf, Minus(f, halfE)), Scale(Sub(kFixedOne, tension), Scale(Sub(kQuarter, r), e)));
  return Plus(halfE, inner);
}

}  // namespace

int32_t EaseFraction(int32_t u, int32_t a, int32_t b) {
  int64_t s = static_cast<int64_t>(a) + b;
  if (s == 0) return u;
  if (s > kFixedOne) {
    a = Ratio(a, s);
    b = Ratio(b, s);
  }
  const int64_t divisor = 2 * int64_t{kFixedOne} - a - b;
  const int64_t k = divisor == 0 ? 0 : (int64_t{1} << 32) / divisor;
  if (u < a) {
    if (a == 0) return 0;
    const int64_t usq = (static_cast<int64_t>(u) * u + 0x8000) >> 16;
    return static_cast<int32_t>(k * usq / a);
  }
  if (u < int64_t{kFixedOne} - b) return static_cast<int32_t>((k * (2 * int64_t{u} - a) + 0x8000) >> 16);
  if (b == 0) return kFixedOne;
  const int64_t v = kFixedOne - int64_t{u};
  const int64_t vsq = (v * v + 0x8000) >> 16;
  return static_cast<int32_t>(kFixedOne - k * vsq / b);
}

void PositionKeysComputeTangents(int32_t n, PositionKey* keys) {
  if (n < 1) return;
  keys[0].inTangent = FixedVector{};
  keys[n - 1].outTangent = FixedVector{};
  if (n == 1) return;
  if (n == 2) {
    const FixedVector d = Minus(keys[1].position, keys[0].position);
    keys[0].outTangent = Scale(Sub(kFixedOne, keys[0].tension), d);
    keys[1].inTangent = Scale(Sub(kFixedOne, keys[1].tension), d);
    return;
  }
  for (int32_t i = 1; i <= n - 2; ++i) {
    const PositionKey& p = keys[i - 1];
    PositionKey& k = keys[i];
    const PositionKey& nx = keys[i + 1];
    const int32_t oneT = Sub(kFixedOne, k.tension);
    const int32_t cMinus = Sub(kFixedOne, k.continuity), cPlus = Add(kFixedOne, k.continuity);
    const int32_t bMinus = Sub(kFixedOne, k.bias), bPlus = Add(kFixedOne, k.bias);
    const int32_t a = Mul(Mul(oneT, cMinus), bPlus);
    const int32_t b = Mul(Mul(oneT, cPlus), bMinus);
    const int32_t c = Mul(Mul(oneT, cPlus), bPlus);
    const int32_t d = Mul(Mul(oneT, cMinus), bMinus);
    const FixedVector dIn = Minus(k.position, p.position);
    const FixedVector dOut = Minus(nx.position, k.position);
    const int64_t span = int64_t{nx.time} - p.time;
    const int32_t r1 = Ratio(int64_t{k.time} - p.time, span);
    const int32_t r2 = Ratio(int64_t{nx.time} - k.time, span);
    k.inTangent = Scale(r1, Plus(Scale(b, dOut), Scale(a, dIn)));
    k.outTangent = Scale(r2, Plus(Scale(d, dOut), Scale(c, dIn)));
  }
  {
    const PositionKey& k = keys[0];
    const PositionKey& a = keys[2];
    const PositionKey& b = keys[1];
    const int32_t r = Ratio(int64_t{b.time} - k.time, 2 * (int64_t{a.time} - k.time));
    keys[0].outTangent = EndTangent(Minus(a.position, k.position), Minus(b.position, k.position), r, k.tension);
  }
  {
    const PositionKey& k = keys[n - 1];
    const PositionKey& a = keys[n - 3];
    const PositionKey& b = keys[n - 2];
    const int32_t r = Ratio(int64_t{k.time} - b.time, 2 * (int64_t{k.time} - a.time));
    keys[n - 1].inTangent = EndTangent(Minus(k.position, a.position), Minus(k.position, b.position), r, k.tension);
  }
}

void RotationKeysPrepare(int32_t n, RotationKey* keys) {
  Quaternion running{kFixedOne, 0, 0, 0};
  for (int32_t i = 0; i < n; ++i) {
    RotationKey& key = keys[i];
    if ((key.flags & kKeyAxisAngle) && !(key.flags & (kKeyPrepared | kKeyNotPrepared))) {
      QuaternionFromAxisAngle(&key.quat, key.angles[0], &key.axis);
      if (key.flags & kKeyAbsolute) {
        running = key.quat;
      } else {
        Quaternion product;
        QuaternionMultiply(&product, &running, &key.quat);
        running = product;
        key.quat = product;
      }
    }
    key.flags |= kKeyPrepared;
  }
}

void PositionKeyEval(int32_t i, int32_t time, FixedVector* out, const PositionKey* keys) {
  const PositionKey& k = keys[i];
  const PositionKey& nx = keys[i + 1];
  const int32_t u = Ratio(int64_t{time} - k.time, int64_t{nx.time} - k.time);
  if (!(k.flags & kKeyHermite)) {
    *out = Plus(Scale(u, nx.position), Scale(Sub(kFixedOne, u), k.position));
    return;
  }
  const int32_t s = EaseFraction(u, k.easeOut, nx.easeIn);
  const int32_t s2 = Mul(s, s), s3 = Mul(s2, s);
  // Wrapped like the products: eases from a file may push s outside 0..1.
  auto word = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); };
  const int32_t h1 = word(2 * int64_t{s3} - 3 * int64_t{s2} + kFixedOne);
  const int32_t h2 = word(3 * int64_t{s2} - 2 * int64_t{s3});
  const int32_t h3 = word(int64_t{s3} - 2 * int64_t{s2} + s);
  const int32_t h4 = word(int64_t{s3} - s2);
  FixedVector sum = Scale(h2, nx.position);
  sum = Plus(sum, Scale(h1, k.position));
  sum = Plus(sum, Scale(h3, k.outTangent));
  *out = Plus(sum, Scale(h4, nx.inTangent));
}

namespace {

// The relative rotation of a prepared axis-angle key as a logarithm: half the angle times the
// axis, with the half angle folded into -pi/2..pi/2.
Quaternion LogOfKey(const RotationKey& key) {
  float h = static_cast<float>(key.angles[0]) * 1.5258789e-5f * 3.1415927f;
  if (h >= 1.5707963705062866f) h -= 3.1415927f;
  const int32_t scale = TruncateToWord(h * 65536.0f);
  return {0, Mul(scale, key.axis.x), Mul(scale, key.axis.y), Mul(scale, key.axis.z)};
}

Quaternion ExpOf(const Quaternion& d) {
  const float fx = static_cast<float>(d.x), fy = static_cast<float>(d.y), fz = static_cast<float>(d.z);
  const int32_t length = TruncateToWord(std::sqrt(fx * fx + fy * fy + fz * fz));
  const double angle = length / 65536.0;
  const double sine = std::sin(angle);
  const int32_t s = TruncateToWord(sine * 65536.0);
  Quaternion e{TruncateToWord(std::cos(angle) * 65536.0), d.x, d.y, d.z};
  // A sine this far from 0 means a length of at least 65.
  if (std::fabs(sine) >= 0.001) {
    e.x = SaturateToInt32(int64_t{d.x} * s / length);
    e.y = SaturateToInt32(int64_t{d.y} * s / length);
    e.z = SaturateToInt32(int64_t{d.z} * s / length);
  }
  return e;
}

int32_t Half(int32_t v) { return v / 2; }

}  // namespace

void RotationKeyEval(int32_t time, int32_t i, Quaternion* out, const RotationKey* keys, int32_t count) {
  const RotationKey& k = keys[i];
  const RotationKey& nx = keys[i + 1];
  if (time < 0) time = 0;
  if (time > nx.time) time = nx.time;
  const int32_t u = Ratio(int64_t{time} - k.time, int64_t{nx.time} - k.time);
  if (!((k.flags | nx.flags) & kKeyTcb)) {
    QuaternionBlend(out, &k.quat, &nx.quat, u);
    return;
  }
  const bool hasPrev = i >= 1;
  const bool hasAfter = i + 1 < count - 1;
  const Quaternion gN = LogOfKey(nx);
  const Quaternion gK = hasPrev ? LogOfKey(k) : gN;
  const Quaternion gM = hasAfter ? LogOfKey(keys[i + 2]) : gN;

  int32_t wK = kFixedOne, wN = kFixedOne;
  if (hasPrev) {
    const RotationKey& p = keys[i - 1];
    const int32_t r = Ratio(2 * (int64_t{k.time} - p.time), int64_t{nx.time} - p.time);
    wK = Sub(Add(Sub(kFixedOne * 2, r), k.continuity), Mul(Sub(kFixedOne * 2, r), k.continuity));
  }
  if (hasAfter) {
    const RotationKey& m = keys[i + 2];
    const int32_t r2 = Ratio(2 * (int64_t{nx.time} - k.time), int64_t{m.time} - k.time);
    wN = Sub(Add(r2, nx.continuity), Mul(r2, nx.continuity));
  }
  const int32_t a = Mul(Half(Mul(Mul(Sub(kFixedOne, k.tension), Add(kFixedOne, k.continuity)), Add(kFixedOne, k.bias))), wK);
  const int32_t b = Mul(Half(Mul(Mul(Sub(kFixedOne, k.tension), Sub(kFixedOne, k.continuity)), Sub(kFixedOne, k.bias))), wK);
  const int32_t a2 =
      Mul(Half(Mul(Mul(Sub(kFixedOne, nx.tension), Sub(kFixedOne, nx.continuity)), Add(kFixedOne, nx.bias))), wN);
  const int32_t b2 =
      Mul(Half(Mul(Mul(Sub(kFixedOne, nx.tension), Add(kFixedOne, nx.continuity)), Sub(kFixedOne, nx.bias))), wN);

  const int32_t gKw[4] = {gK.w, gK.x, gK.y, gK.z};
  const int32_t gNw[4] = {gN.w, gN.x, gN.y, gN.z};
  const int32_t gMw[4] = {gM.w, gM.x, gM.y, gM.z};
  int32_t dK[4], dN[4];
  for (int j = 0; j < 4; ++j) {
    dK[j] = Half(Add(Mul(a, gKw[j]), Mul(Sub(b, kFixedOne), gNw[j])));
    dN[j] = Half(Sub(Mul(Sub(kFixedOne, a2), gNw[j]), Mul(b2, gMw[j])));
  }
  const Quaternion expK = ExpOf({dK[0], dK[1], dK[2], dK[3]});
  const Quaternion expN = ExpOf({dN[0], dN[1], dN[2], dN[3]});
  Quaternion ca, cb;
  QuaternionMultiply(&ca, &k.quat, &expK);
  QuaternionMultiply(&cb, &nx.quat, &expN);
  const int32_t s = EaseFraction(u, k.easeOut, nx.easeIn);
  Quaternion q1, q2;
  QuaternionBlend(&q1, &k.quat, &nx.quat, s);
  QuaternionBlend(&q2, &ca, &cb, s);
  const int32_t f = static_cast<int32_t>(((int64_t{s} * (Sub(kFixedOne, s)) + 0x8000) >> 16) * 2);
  QuaternionBlend(out, &q1, &q2, f);
}
