// The scene engine's own integer and 16.16 arithmetic (square root, arcsine, normalising, linear
// blends, colour words) and the geometry the body readers compute from a fresh mesh: part bounds,
// centroid, radius, extents, vertex normals and material texture ids. Rounding and zero-divisor
// rules are fixed, as recorded and saved values must come out the same. MulDiv and FixedDiv,
// shared with the renderer, are in core/fixed_math.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/fixed_math.h"

struct BodyMaterial;
struct BodyMesh;
struct BodyPart;
struct BodyRecord;

// floor(sqrt(v) x 256): the 16.16 root of a 16.16 value; 0 for v <= 0.
int32_t FixSqrt(int32_t v);
// The Angle16 of a 16.16 sine, clamped to +-16384 beyond +-1.0.
int32_t ArcSin16(int32_t s);
// In place to a 16.16 unit vector; the zero vector stays as it is.
void NormalizeFixedVector(FixedVector* v);
inline void VectorSetLength(FixedVector* v, int32_t length) { SetVectorLength(&v->x, &v->y, &v->z, length); }
inline void VectorNormalize16(FixedVector* v) { NormalizeVector(v); }

inline int32_t MinInt(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t MaxInt(int32_t a, int32_t b) { return a > b ? a : b; }
// -x for x < 0; the lowest value has no positive form and stays as it is.
inline int32_t AbsInt(int32_t x) { return x < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(x)) : x; }
int32_t ChebyshevNorm3(int32_t x, int32_t y, int32_t z);
inline int32_t ChebyshevNorm(const FixedVector* v) { return ChebyshevNorm3(v->x, v->y, v->z); }
// The largest absolute coordinate difference of two positions, in 64 bits so no difference wraps.
inline int64_t ChebyshevDistance(const FixedVector* a, const FixedVector* b) {
  const auto gap = [](int32_t p, int32_t q) { return p > q ? int64_t{p} - q : int64_t{q} - p; };
  return std::max({gap(a->x, b->x), gap(a->y, b->y), gap(a->z, b->z)});
}
// (a x b + 0x8000) >> 16 with 64-bit operands: the 16.16 product rounded, beyond 32 bits.
inline int64_t MulRound16(int64_t a, int64_t b) { return (a * b + 0x8000) >> 16; }

// Step t of n between lo and hi: the middle for n = 0, lo before step 1, hi from step n on.
int32_t LerpInt(int32_t t, int32_t n, int32_t lo, int32_t hi);
inline float LerpFloat(float a, float b, float t) { return a + (b - a) * t; }
inline double LengthSquaredFloat(double x, double y, double z) { return x * x + y * y + z * z; }

// 15-bit colours (5 bits per channel) to 0x00RRGGBB and back.
uint32_t Rgb555To888(uint32_t c);
uint32_t Rgb888To555(uint32_t c);

// 1 when the record's first 32-bit word equals key.
template <typename Record>
int32_t FirstWordEquals(const Record* record, int32_t key) {
  static_assert(sizeof(Record) >= sizeof(int32_t));
  int32_t first;
  std::memcpy(&first, record, sizeof first);
  return first == key ? 1 : 0;
}

// Body geometry. Vertex coordinates are in units of 4 world units; indexes outside the mesh's
// vertices are skipped.
void PartComputeBounds(const BodyMesh* mesh, BodyPart* part);
void BodyCentroid(const BodyMesh* mesh, FixedVector* centroid);
int32_t BodyRadius(const BodyMesh* mesh, const FixedVector* centroid);
// out = (ex, ey, ez, 0): per axis the largest |part centre| + part half-extent, from 0.
void BodyPartsExtent(const BodyMesh* mesh, int32_t out[4]);
// Sets the normal of vertex v from the face corners i0 and i1 when v has none yet.
void VertexNormalFromFace(int32_t i0, int32_t i1, BodyMesh* mesh, int32_t v);
void MaterialSetTextureFlags(const BodyMaterial* material);
int32_t MaterialTextureId(int32_t reference, const BodyRecord* body);
