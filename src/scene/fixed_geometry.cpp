// Fixed-point helpers of the scene engine and the geometry computed from a freshly read mesh.
// Called by the body readers, the instances, the jobs, the particles, the replay and the
// renderer's texture code. Every 16.16 product goes through 64 bits; no division traps.
#include "scene/fixed_geometry.h"

#include <algorithm>
#include <cmath>

#include "render/material_table.h"
#include "scene/body_records.h"

namespace {

constexpr int32_t kQuarterTurn = 16384;
constexpr int64_t kShrinkAbove = 0x600000;  // normalising: components are brought below this
constexpr int64_t kGrowBelow = 0x180000;    // ... and above this, to keep precision
constexpr int32_t kBoundsStart = 16384;     // the largest coordinate of a normalised mesh
constexpr int32_t kCentroidCountLimit = 16384;

int64_t Abs64(int64_t x) { return x < 0 ? -x : x; }

const BodyVertex* VertexAt(const BodyMesh* mesh, int32_t index) {
  if (!mesh || !mesh->vertices || index < 0 || index >= mesh->vertexCount) return nullptr;
  return &mesh->vertices[index];
}

// Calls fn(vertex) for the three corners of every triangle of every part of the mesh.
template <typename Fn>
void ForEachFaceVertex(const BodyMesh* mesh, const BodyPart* part, Fn fn) {
  for (int32_t g = 0; g < part->groupCount && part->groups; ++g) {
    const FaceGroup& group = part->groups[g];
    for (int32_t t = 0; t < group.triangleCount && group.triangles; ++t) {
      for (int32_t corner : group.triangles[t].v) {
        if (const BodyVertex* vertex = VertexAt(mesh, corner)) fn(*vertex);
      }
    }
  }
}

template <typename Fn>
void ForEachMeshFaceVertex(const BodyMesh* mesh, Fn fn) {
  if (!mesh || !mesh->parts) return;
  for (int32_t p = 0; p < mesh->partCount; ++p) {
    if (mesh->parts[p]) ForEachFaceVertex(mesh, mesh->parts[p], fn);
  }
}

}  // namespace

int32_t FixSqrt(int32_t v) {
  if (v <= 0) return 0;
  return static_cast<int32_t>(IntSqrt64(static_cast<uint64_t>(v) << 16));
}

int32_t ArcSin16(int32_t s) {
  if (s >= 0) return s > kFixedOne ? kQuarterTurn : ArcSineTable[s];
  if (s < -kFixedOne) return -kQuarterTurn;
  return -static_cast<int32_t>(ArcSineTable[-s]);
}

void NormalizeFixedVector(FixedVector* v) {
  int64_t c[3] = {v->x, v->y, v->z};
  if (c[0] == 0 && c[1] == 0 && c[2] == 0) return;
  auto largest = [&c] { return std::max({Abs64(c[0]), Abs64(c[1]), Abs64(c[2])}); };
  while (largest() >= kShrinkAbove) {
    for (int64_t& x : c) x /= 4;
  }
  while (largest() < kGrowBelow) {
    for (int64_t& x : c) x *= 4;
  }
  int64_t squares = 0;
  for (int64_t x : c) squares += (x * x + 0x8000) >> 16;
  const int64_t length = FixSqrt(SaturateToInt32(squares));
  int32_t* out[3] = {&v->x, &v->y, &v->z};
  for (int i = 0; i < 3; ++i) *out[i] = length == 0 ? 0 : SaturateToInt32(c[i] * 65536 / length);
}

int32_t ChebyshevNorm3(int32_t x, int32_t y, int32_t z) {
  return SaturateToInt32(std::max({Abs64(x), Abs64(y), Abs64(z)}));
}

int32_t LerpInt(int32_t t, int32_t n, int32_t lo, int32_t hi) {
  const int64_t mid = (int64_t{lo} + hi) / 2;
  if (n == 0) return static_cast<int32_t>(mid);
  if (t < 1) return lo;
  if (t >= n) return hi;
  const int64_t span = int64_t{hi} - lo;
  if (t < 0x10000 && n < 0x10000) return SaturateToInt32(mid + span * (2 * int64_t{t} - n) / (2 * int64_t{n}));
  return SaturateToInt32(mid + span * (int64_t{t} - n / 2) / n);
}

uint32_t Rgb555To888(uint32_t c) { return ((c >> 10) & 0x1F) << 19 | ((c >> 5) & 0x1F) << 11 | (c & 0x1F) << 3; }

uint32_t Rgb888To555(uint32_t c) { return ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F); }

// ---------------------------------------------------------------------------------------------
// Body geometry.

void PartComputeBounds(const BodyMesh* mesh, BodyPart* part) {
  if (!part) return;
  int32_t low[3] = {kBoundsStart, kBoundsStart, kBoundsStart};
  int32_t high[3] = {-kBoundsStart, -kBoundsStart, -kBoundsStart};
  ForEachFaceVertex(mesh, part, [&](const BodyVertex& vertex) {
    const int32_t c[3] = {vertex.x, vertex.y, vertex.z};
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], c[a]);
      high[a] = std::max(high[a], c[a]);
    }
  });
  // Halving the sum and the span, then four world units per coordinate unit: times 2.
  part->boundsCentre.x = (low[0] + high[0]) * 2;
  part->boundsCentre.y = (low[1] + high[1]) * 2;
  part->boundsCentre.z = (low[2] + high[2]) * 2;
  part->boundsHalf.x = (high[0] - low[0]) * 2;
  part->boundsHalf.y = (high[1] - low[1]) * 2;
  part->boundsHalf.z = (high[2] - low[2]) * 2;
}

void BodyCentroid(const BodyMesh* mesh, FixedVector* centroid) {
  *centroid = FixedVector{};
  if (!mesh || !mesh->parts) return;
  int64_t n = 0;
  for (int32_t p = 0; p < mesh->partCount; ++p) {
    const BodyPart* part = mesh->parts[p];
    for (int32_t g = 0; part && part->groups && g < part->groupCount; ++g)
      n += 3 * int64_t{part->groups[g].triangleCount};
  }
  // Large meshes sum scaled-down coordinates so the sums keep their range.
  int32_t scale = kFixedOne;
  while (n > kCentroidCountLimit) {
    n /= 2;
    scale /= 2;
  }
  if (n == 0) return;
  int64_t sum[3] = {};
  ForEachMeshFaceVertex(mesh, [&](const BodyVertex& vertex) {
    sum[0] += FixedMul(4 * vertex.x, scale);
    sum[1] += FixedMul(4 * vertex.y, scale);
    sum[2] += FixedMul(4 * vertex.z, scale);
  });
  centroid->x = SaturateToInt32(sum[0] / n);
  centroid->y = SaturateToInt32(sum[1] / n);
  centroid->z = SaturateToInt32(sum[2] / n);
}

int32_t BodyRadius(const BodyMesh* mesh, const FixedVector* centroid) {
  int64_t radius = 0;
  ForEachMeshFaceVertex(mesh, [&](const BodyVertex& vertex) {
    radius = std::max({radius, Abs64(4 * int64_t{vertex.x} - centroid->x), Abs64(4 * int64_t{vertex.y} - centroid->y),
                       Abs64(4 * int64_t{vertex.z} - centroid->z)});
  });
  return SaturateToInt32(radius);
}

void BodyPartsExtent(const BodyMesh* mesh, int32_t out[4]) {
  int64_t extent[3] = {};
  for (int32_t p = 0; mesh && mesh->parts && p < mesh->partCount; ++p) {
    const BodyPart* part = mesh->parts[p];
    if (!part) continue;
    const int32_t centre[3] = {part->boundsCentre.x, part->boundsCentre.y, part->boundsCentre.z};
    const int32_t half[3] = {part->boundsHalf.x, part->boundsHalf.y, part->boundsHalf.z};
    for (int a = 0; a < 3; ++a) extent[a] = std::max(extent[a], Abs64(centre[a]) + half[a]);
  }
  for (int a = 0; a < 3; ++a) out[a] = SaturateToInt32(extent[a]);
  out[3] = 0;
}

void VertexNormalFromFace(int32_t i0, int32_t i1, BodyMesh* mesh, int32_t v) {
  const BodyVertex* a = VertexAt(mesh, i0);
  const BodyVertex* b = VertexAt(mesh, i1);
  if (!a || !b || !VertexAt(mesh, v)) return;
  BodyVertex& target = mesh->vertices[v];
  if (target.nx != 0 || target.ny != 0 || target.nz != 0) return;  // the first face decides
  const int32_t e0[3] = {4 * (a->x - target.x), 4 * (a->y - target.y), 4 * (a->z - target.z)};
  const int32_t e1[3] = {4 * (b->x - target.x), 4 * (b->y - target.y), 4 * (b->z - target.z)};
  FixedVector n = {FixedMul(e1[1], e0[2]) - FixedMul(e1[2], e0[1]), FixedMul(e1[2], e0[0]) - FixedMul(e1[0], e0[2]),
                   FixedMul(e1[0], e0[1]) - FixedMul(e1[1], e0[0]), 0};
  NormalizeFixedVector(&n);
  if (target.smoothing == 0) {
    target.nx = static_cast<int16_t>(n.x >> 2);
    target.ny = static_cast<int16_t>(n.y >> 2);
    target.nz = static_cast<int16_t>(n.z >> 2);
    return;
  }
  // Weighted by the angle at the vertex: the arc cosine of the normalised edge product.
  auto length = [](const int32_t e[3]) {
    return static_cast<int32_t>(std::sqrt(LengthSquaredFloat(e[0], e[1], e[2])));
  };
  const int32_t lengths = FixedMul(length(e0), length(e1));
  int32_t weight = kQuarterTurn;
  if (lengths != 0) {
    const int32_t dot = FixedMul(e0[0], e1[0]) + FixedMul(e0[1], e1[1]) + FixedMul(e0[2], e1[2]);
    const int32_t cosine = FixedDiv(dot, lengths);
    // The arcsine is odd, so one form serves both signs of the cosine.
    weight = kQuarterTurn - ArcSin16(cosine);
  }
  target.nx = static_cast<int16_t>(FixedMul(weight, n.x) >> 2);
  target.ny = static_cast<int16_t>(FixedMul(weight, n.y) >> 2);
  target.nz = static_cast<int16_t>(FixedMul(weight, n.z) >> 2);
}

void MaterialSetTextureFlags(const BodyMaterial* material) {
  if (!material) return;
  for (int16_t id : {material->texture, material->bumpTexture, material->secondTexture, material->sixthTexture,
                     material->thirdTexture, material->fifthTexture}) {
    SetTextureFlags(id, material->flags);
  }
}

int32_t MaterialTextureId(int32_t reference, const BodyRecord* body) {
  if (reference < 0 || !body) return 0;
  if (!(body->flags & kBodyOwnMaterials)) {
    if (!gMaterialTable || reference >= gMaterialCount) return 0;
    return gMaterialTable[reference].textureNumber;
  }
  if (!body->materials || reference >= body->materialCount) return 0;
  return body->materials[reference].texture;
}
