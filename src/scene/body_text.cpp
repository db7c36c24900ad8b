// The text body parser: name, sound and material sections, then meshes of points, bone weights
// and parts of faces, turned into render vertices with shared corners, fan triangles grouped by
// material, and angle-weighted normals. Called by the body loader; the records it fills are in
// scene/body_records.h. Every index a file gives is checked against the table it names and every
// count against its table's size before anything is written; a malformed file ends through the
// body readers' fatal end, never with a read or write outside a table.
#include "scene/body_text.h"

#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "core/data_reader.h"
#include "core/memory.h"
#include "render/material_table.h"
#include "scene/body_materials.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/scene.h"

namespace {

// Section rows of the text form.
constexpr int32_t kRowName = 2;
constexpr int32_t kRowSound = 4;
constexpr int32_t kRowMaterial1 = 6;
constexpr int32_t kRowMaterial2 = 7;
constexpr int32_t kRowMaterial3 = 8;
constexpr int32_t kRowMaterial5 = 9;
constexpr int32_t kRowMaterial6 = 10;
constexpr int32_t kRowBones = 12;
constexpr int32_t kRowWeights = 14;

constexpr int32_t kEndOfList = -99;       // ends a part's faces and the mesh's parts
constexpr int32_t kPointsEnd = -1;        // the triple -1; -1; -1 ends the points
constexpr int32_t kWeightsEnd = -1;       // a bone index of -1 ends a point's pairs
constexpr int32_t kFirstMeshDistance = 10000;

// Face flags (the negated terminator with bit 0 cleared).
constexpr uint32_t kFaceUv = 0x8;
constexpr uint32_t kFaceSmoothing = 0x10;
constexpr uint32_t kFaceSecondUv = 0x80;
// Part flag: only the low 16 bits of the texture coordinates count.
constexpr uint32_t kPartLowUv = 0x2;

// DataReaderReadChar steps over none of these: it only looks at the next character.
constexpr const char* kNoCharToStep = "\x01";

// Render vertices are shared when their coordinates differ by less than this.
constexpr int32_t kUvShareTolerance = 2;

struct Point {
  int32_t x, y, z;  // 16.16 within +-1.0 once scaled
};

struct PointWeights {
  int16_t count;
  BoneWeight pairs[kBodyMaxWeightsPerPoint + 1];  // the last slot takes the pairs not counted
};

struct Face {
  int32_t material;
  uint32_t flags;
  uint32_t smoothing;
  int32_t cornerCount;
  int32_t points[kBodyMaxFaceCorners];
  int32_t uv[kBodyMaxFaceCorners][2];
  int32_t uv2[kBodyMaxFaceCorners][2];
};

struct RenderVertex {
  int32_t point;
  int32_t u, v, u2, v2;
  uint32_t smoothing;
  int64_t normal[3];
};

struct Group {
  int32_t material;
  int32_t blended;
  std::vector<BodyTriangle> triangles;
};

// The per-mesh pools; emptied after every mesh.
struct MeshPools {
  std::vector<Point> points;
  std::vector<PointWeights> weights;
  std::vector<RenderVertex> vertices;
  std::unordered_multimap<uint64_t, int32_t> shared;  // (point, smoothing) to render vertices
  std::vector<Face> faces;
  std::vector<Group> groups;
  bool secondUv = false;

  void Clear() { *this = MeshPools(); }
};

struct Parse {
  DataReader* reader = nullptr;
  std::string fileName;
  BodyRecord* body = nullptr;
  int32_t kind = kMaterialKind1;
  int32_t materialCount = 0;
  uint32_t failCode = 0;  // 0 while the parse is sound
  MeshPools pools;
  std::vector<BodyMesh*> meshes;
};

bool Fail(Parse* p, uint32_t code) {
  if (!p->failCode) p->failCode = code;
  return false;
}

bool ReaderFailed(Parse* p) { return p->reader->error ? Fail(p, kBodyExitMalformed) : true; }

template <typename T>
T* AllocArray(Parse* p, int32_t count, uint32_t nominalElement) {
  if (count <= 0) return nullptr;
  void* block = EngineAlloc(sizeof(T) * static_cast<size_t>(count), static_cast<uint32_t>(count) * nominalElement);
  if (!block) Fail(p, kBodyExitMemory);
  return static_cast<T*>(block);
}

// ---------------------------------------------------------------------------------------------
// Header sections and materials.

void ReadSound(DataReader* reader, BodySound* sound) {
  sound->sample = static_cast<int16_t>(ReadShort(reader));
  sound->word = ReadWord(reader);
  sound->ints1[0] = ReadInt(reader);
  sound->ints1[1] = ReadInt(reader);
  for (int32_t& f : sound->fixed) f = ReadFixed(reader);
  sound->shorts[0] = static_cast<int16_t>(ReadShort(reader));
  sound->shorts[1] = static_cast<int16_t>(ReadShort(reader));
  sound->ints2[0] = ReadInt(reader);
  sound->ints2[1] = ReadInt(reader);
}

int32_t KindOfSection(int32_t row) {
  switch (row) {
    case kRowMaterial2: return kMaterialKind2;
    case kRowMaterial3: return kMaterialKind3;
    case kRowMaterial5: return kMaterialKind5;
    case kRowMaterial6: return kMaterialKind6;
    default: return kMaterialKind1;
  }
}

int32_t SectionOfKind(int32_t kind) {
  switch (kind) {
    case kMaterialKind2: return kRowMaterial2;
    case kMaterialKind3: return kRowMaterial3;
    case kMaterialKind5: return kRowMaterial5;
    case kMaterialKind6: return kRowMaterial6;
    default: return kRowMaterial1;
  }
}

// The name, sound and material sections before the first mesh.
bool ReadHeader(Parse* p) {
  DataReader* reader = p->reader;
  int32_t section = DataReaderNextSection(reader, 0);
  if (!ReaderFailed(p)) return false;
  if (section == kRowName) {
    const std::string name = ReadString(reader);
    p->body->name = DuplicateString(name.c_str());
    section = DataReaderNextSection(reader, 0);
    if (!ReaderFailed(p)) return false;
  }
  if (section == kRowSound) {
    ReadSound(reader, &p->body->sound);
    section = DataReaderNextSection(reader, 0);
    if (!ReaderFailed(p)) return false;
  }
  p->kind = KindOfSection(section);
  if (p->kind >= kMaterialKind5) p->body->flags |= kBodyOwnMaterials;
  const int32_t keyword = SectionOfKind(p->kind);
  std::memset(static_cast<void*>(gScratchMaterials), 0, sizeof gScratchMaterials);
  while (section == keyword) {
    if (p->materialCount >= kBodyMaxMaterials) return Fail(p, kBodyExitMalformed);
    ReadBodyMaterialEntry(reader, p->kind, &gScratchMaterials[p->materialCount++], &p->body->flags);
    if (!ReaderFailed(p)) return false;
    section = DataReaderNextSection(reader, 0);
    if (!ReaderFailed(p)) return false;
  }
  return true;
}

// The material-table index of a face's material number (kinds 1 to 3), or -1 when no entry has it.
int32_t MaterialOfNumber(const Parse* p, int32_t number) {
  for (int32_t i = 0; i < p->materialCount; ++i) {
    if (gScratchMaterials[i].number == number) return gScratchMaterials[i].materialIndex;
  }
  return -1;
}

uint32_t MaterialFlagsOf(const Parse* p, int32_t material) {
  if (material < 0) return 0;
  if (p->kind <= kMaterialKind3) {
    return gMaterialTable && material < gMaterialCount ? gMaterialTable[material].flags : 0;
  }
  return material < p->materialCount ? gScratchMaterials[material].flags : 0;
}

// ---------------------------------------------------------------------------------------------
// Points and weights.

// False with the parse failed, or (for a mesh without usable points) with no failure at all.
bool ReadPoints(Parse* p) {
  DataReader* reader = p->reader;
  std::vector<Point>& points = p->pools.points;
  int64_t largest = 0;
  for (;;) {
    const int32_t x = ReadInt(reader);
    const int32_t y = ReadInt(reader);
    const int32_t z = ReadInt(reader);
    if (!ReaderFailed(p)) return false;
    if (x == kPointsEnd && y == kPointsEnd && z == kPointsEnd) break;
    points.push_back({x, y, z});
    for (int64_t c : {int64_t{x}, int64_t{y}, int64_t{z}}) largest = std::max(largest, c < 0 ? -c : c);
  }
  if (largest == 0) return false;
  for (Point& point : points) {
    point.x = static_cast<int32_t>(int64_t{point.x} * 65536 / largest);
    point.y = static_cast<int32_t>(int64_t{point.y} * 65536 / largest);
    point.z = static_cast<int32_t>(int64_t{point.z} * 65536 / largest);
  }
  return true;
}

bool ReadWeights(Parse* p, BodyMesh* mesh) {
  DataReader* reader = p->reader;
  p->pools.weights.assign(p->pools.points.size(), PointWeights{});
  for (PointWeights& weights : p->pools.weights) {
    for (;;) {
      const int32_t bone = ReadInt(reader);
      if (!ReaderFailed(p)) return false;
      if (bone == kWeightsEnd) break;
      const int32_t weight = ReadFixed(reader);
      if (!ReaderFailed(p)) return false;
      // Pairs beyond the ninth land in the slot that is not counted.
      weights.pairs[weights.count] = {bone, weight};
      if (weights.count < kBodyMaxWeightsPerPoint) weights.count++;
    }
    mesh->maxWeightsPerVertex = std::max<int32_t>(mesh->maxWeightsPerVertex, weights.count);
  }
  mesh->flags |= kMeshBoneWeights;
  p->body->flags |= kBodyBoneWeights;
  return true;
}

bool ReadBones(Parse* p, BodyMesh* mesh) {
  DataReader* reader = p->reader;
  const int32_t count = ReadInt(reader);
  if (!ReaderFailed(p)) return false;
  // Names are collected one by one, so a count the file does not hold meets the reader's error
  // long before a table of that size would be allocated.
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i) {
    // A name read at the end of the text would be empty, not an error: the end is checked first.
    if (DataReaderReadChar(reader, kNoCharToStep) == kDataNoChar) reader->error = 1;
    names.push_back(ReadString(reader));
    if (!ReaderFailed(p)) return false;
  }
  if (names.empty()) return true;
  const auto n = static_cast<int32_t>(names.size());
  mesh->boneNames = AllocArray<char*>(p, n, kPointerNominalBytes);
  if (!mesh->boneNames) return false;
  mesh->boneCount = n;
  for (int32_t i = 0; i < n; ++i) mesh->boneNames[i] = DuplicateString(names[static_cast<size_t>(i)].c_str());
  return true;
}

// ---------------------------------------------------------------------------------------------
// Faces, render vertices and triangles.

// One face whose material number the caller has read.
bool ReadFace(Parse* p, int32_t material, Face* face) {
  DataReader* reader = p->reader;
  *face = Face{};
  face->material = material;
  const auto pointCount = static_cast<int64_t>(p->pools.points.size());
  for (;;) {
    const int32_t index = ReadInt(reader);
    if (!ReaderFailed(p)) return false;
    if (index < 0) {
      face->flags = (0u - static_cast<uint32_t>(index)) & ~1u;
      break;
    }
    if (face->cornerCount >= kBodyMaxFaceCorners || index >= pointCount) return Fail(p, kBodyExitMalformed);
    face->points[face->cornerCount++] = index;
  }
  if (face->cornerCount >= 3) {
    if (face->flags & kFaceSmoothing) face->smoothing = ReadWord(reader);
    if (face->flags & kFaceUv) {
      for (int32_t c = 0; c < face->cornerCount; ++c) {
        face->uv[c][0] = ReadFixed(reader);
        face->uv[c][1] = ReadFixed(reader);
      }
    }
    if (face->flags & kFaceSecondUv) {
      p->pools.secondUv = true;
      for (int32_t c = 0; c < face->cornerCount; ++c) {
        face->uv2[c][0] = ReadFixed(reader);
        face->uv2[c][1] = ReadFixed(reader);
      }
    } else {
      std::memcpy(face->uv2, face->uv, sizeof face->uv);
    }
    if (!ReaderFailed(p)) return false;
  }
  if (p->kind <= kMaterialKind3 && face->material >= 0) {
    face->material = MaterialOfNumber(p, face->material);
    if (face->material < 0) return Fail(p, kBodyExitMalformed);
  }
  return true;
}

bool NearlyEqual(int32_t a, int32_t b) {
  const int64_t d = int64_t{a} - b;
  return d > -kUvShareTolerance && d < kUvShareTolerance;
}

uint64_t ShareKey(int32_t point, uint32_t smoothing) { return (uint64_t{static_cast<uint32_t>(point)} << 32) | smoothing; }

int32_t RenderVertexFor(Parse* p, int32_t point, uint32_t smoothing, int32_t u, int32_t v, int32_t u2, int32_t v2) {
  MeshPools& pools = p->pools;
  if (smoothing != 0) {
    const auto range = pools.shared.equal_range(ShareKey(point, smoothing));
    for (auto it = range.first; it != range.second; ++it) {
      const RenderVertex& r = pools.vertices[static_cast<size_t>(it->second)];
      if (NearlyEqual(r.u, u) && NearlyEqual(r.v, v) && NearlyEqual(r.u2, u2) && NearlyEqual(r.v2, v2)) {
        return it->second;
      }
    }
  }
  const auto index = static_cast<int32_t>(pools.vertices.size());
  pools.vertices.push_back({point, u, v, u2, v2, smoothing, {0, 0, 0}});
  if (smoothing != 0) pools.shared.emplace(ShareKey(point, smoothing), index);
  return index;
}

FixedVector PositionOf(const Parse* p, int32_t vertex) {
  const Point& point = p->pools.points[static_cast<size_t>(p->pools.vertices[static_cast<size_t>(vertex)].point)];
  return {point.x, point.y, point.z, 0};
}

FixedVector Difference(const FixedVector& a, const FixedVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, 0}; }

// The angle between two edges as a 16-bit angle (0x4000 a right angle).
int32_t CornerAngle(FixedVector a, FixedVector b) {
  NormalizeFixedVector(&a);
  NormalizeFixedVector(&b);
  const int64_t dot = MulRound16(a.x, b.x) + MulRound16(a.y, b.y) + MulRound16(a.z, b.z);
  const int32_t clamped = static_cast<int32_t>(std::clamp<int64_t>(dot, -kFixedOne, kFixedOne));
  return 0x4000 - ArcSin16(clamped);
}

Group* GroupFor(Parse* p, int32_t material) {
  for (Group& group : p->pools.groups) {
    if (group.material == material) return &group;
  }
  if (static_cast<int32_t>(p->pools.groups.size()) >= kBodyMaxGroups) {
    Fail(p, kBodyExitMalformed);
    return nullptr;
  }
  const int32_t blended = (MaterialFlagsOf(p, material) & kMaterialBlendBits) ? 1 : 0;
  p->pools.groups.push_back({material, blended, {}});
  return &p->pools.groups.back();
}

// The face's render vertices, triangles and normals, in the group of its material.
bool BodyAddFace(Parse* p, const Face& face, uint32_t partFlags) {
  Group* group = GroupFor(p, face.material);
  if (!group) return false;
  const int32_t newTriangles = std::max(0, face.cornerCount - 2);
  if (static_cast<int64_t>(group->triangles.size()) + newTriangles > kBodyGroupTriangles) {
    return Fail(p, kBodyExitMalformed);
  }
  int32_t corners[kBodyMaxFaceCorners];
  for (int32_t c = 0; c < face.cornerCount; ++c) {
    int32_t u = face.uv[c][0], v = face.uv[c][1], u2 = face.uv2[c][0], v2 = face.uv2[c][1];
    if (partFlags & kPartLowUv) {
      u &= 0xFFFF;
      v &= 0xFFFF;
      u2 &= 0xFFFF;
      v2 &= 0xFFFF;
    }
    corners[c] = RenderVertexFor(p, face.points[c], face.smoothing, u, v, u2, v2);
  }
  for (int32_t k = 2; k < face.cornerCount; ++k) {
    const int32_t tri[3] = {corners[0], corners[k - 1], corners[k]};
    group->triangles.push_back({{tri[0], tri[1], tri[2]}, static_cast<uint16_t>(face.flags & 0xFFFF)});
    const FixedVector p0 = PositionOf(p, tri[0]);
    const FixedVector p1 = PositionOf(p, tri[1]);
    const FixedVector p2 = PositionOf(p, tri[2]);
    const FixedVector a = Difference(p1, p0);
    const FixedVector b = Difference(p2, p0);
    FixedVector n{static_cast<int32_t>(MulRound16(a.y, b.z) - MulRound16(a.z, b.y)),
                  static_cast<int32_t>(MulRound16(a.z, b.x) - MulRound16(a.x, b.z)),
                  static_cast<int32_t>(MulRound16(a.x, b.y) - MulRound16(a.y, b.x)), 0};
    NormalizeFixedVector(&n);
    const FixedVector at[3] = {p0, p1, p2};
    for (int i = 0; i < 3; ++i) {
      RenderVertex& r = p->pools.vertices[static_cast<size_t>(tri[i])];
      if (face.smoothing == 0) {
        r.normal[0] = n.x;
        r.normal[1] = n.y;
        r.normal[2] = n.z;
        continue;
      }
      const int32_t angle = CornerAngle(Difference(at[(i + 1) % 3], at[i]), Difference(at[(i + 2) % 3], at[i]));
      r.normal[0] += int64_t{n.x} * angle;
      r.normal[1] += int64_t{n.y} * angle;
      r.normal[2] += int64_t{n.z} * angle;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Parts.

bool CopyGroups(Parse* p, BodyPart* part) {
  std::vector<Group>& groups = p->pools.groups;
  if (groups.empty()) return true;
  const auto n = static_cast<int32_t>(groups.size());
  part->groups = AllocArray<FaceGroup>(p, n, kFaceGroupNominalBytes);
  if (!part->groups) return false;
  part->groupCount = static_cast<int16_t>(n);
  for (int32_t g = 0; g < n; ++g) {
    const Group& from = groups[static_cast<size_t>(g)];
    FaceGroup& to = part->groups[g];
    to.material = from.material;
    to.blended = from.blended;
    const auto count = static_cast<int32_t>(from.triangles.size());
    if (count == 0) continue;
    to.triangles = AllocArray<BodyTriangle>(p, count, kBodyTriangleNominalBytes);
    if (!to.triangles) return false;
    to.triangleCount = count;
    std::memcpy(to.triangles, from.triangles.data(), sizeof(BodyTriangle) * static_cast<size_t>(count));
  }
  return true;
}

// Centre (mean of the triangle corners, or a named point) and box radius of the part.
bool PartCentreAndRadius(Parse* p, BodyPart* part) {
  int64_t sum[3] = {0, 0, 0};
  int64_t corners = 0;
  for (const Group& group : p->pools.groups) {
    for (const BodyTriangle& t : group.triangles) {
      for (int32_t v : t.v) {
        const FixedVector at = PositionOf(p, v);
        sum[0] += at.x;
        sum[1] += at.y;
        sum[2] += at.z;
        corners++;
      }
    }
  }
  if (corners) {
    part->centre = {static_cast<int32_t>(sum[0] / corners), static_cast<int32_t>(sum[1] / corners),
                    static_cast<int32_t>(sum[2] / corners), 0};
  }
  if (part->flags & kPartCentreFromPoint) {
    const int32_t index = ReadInt(p->reader);
    if (!ReaderFailed(p)) return false;
    if (index < 0 || index >= static_cast<int64_t>(p->pools.points.size())) return Fail(p, kBodyExitMalformed);
    const Point& point = p->pools.points[static_cast<size_t>(index)];
    part->centre = {point.x, point.y, point.z, 0};
  }
  int64_t radius = 0;
  for (const Group& group : p->pools.groups) {
    for (const BodyTriangle& t : group.triangles) {
      for (int32_t v : t.v) {
        const FixedVector at = PositionOf(p, v);
        radius = std::max(radius, ChebyshevDistance(&at, &part->centre));
      }
    }
  }
  part->radius = static_cast<int32_t>(std::min<int64_t>(radius, INT32_MAX));
  return true;
}

// One part whose first face material the caller has read.
BodyPart* ReadPart(Parse* p, BodyMesh* mesh, int32_t material) {
  DataReader* reader = p->reader;
  std::vector<Face>& faces = p->pools.faces;
  faces.clear();
  p->pools.groups.clear();
  while (material != kEndOfList) {
    if (static_cast<int32_t>(faces.size()) >= kBodyMaxFacesPerPart) {
      Fail(p, kBodyExitMalformed);
      return nullptr;
    }
    faces.emplace_back();
    if (!ReadFace(p, material, &faces.back())) return nullptr;
    material = ReadInt(reader);
    if (!ReaderFailed(p)) return nullptr;
  }
  uint32_t flags = ReadWord(reader);
  if (!ReaderFailed(p)) return nullptr;
  bool negative = false;
  bool allBlended = true;
  for (const Face& face : faces) {
    if (face.material < 0) {
      negative = true;
    } else if (!(MaterialFlagsOf(p, face.material) & kMaterialBlendBits)) {
      allBlended = false;
    }
  }
  if (negative) flags |= kPartNegativeMaterial;
  if (allBlended) flags |= kPartAllBlended;
  for (const Face& face : faces) {
    if (!BodyAddFace(p, face, flags)) return nullptr;
  }
  BodyPart* part = NewBodyPart(mesh);
  if (!part) {
    Fail(p, kBodyExitMemory);
    return nullptr;
  }
  part->flags = flags;
  if (!CopyGroups(p, part) || !PartCentreAndRadius(p, part)) {
    FreeBodyPart(part);
    return nullptr;
  }
  return part;
}

bool ReadParts(Parse* p, BodyMesh* mesh) {
  // Room for every part up front: once a part is made, holding it cannot fail.
  std::vector<BodyPart*> parts;
  parts.reserve(kBodyMaxParts);
  bool ok = true;
  for (;;) {
    const int32_t material = ReadInt(p->reader);
    if (!ReaderFailed(p)) {
      ok = false;
      break;
    }
    if (material == kEndOfList) break;
    if (static_cast<int32_t>(parts.size()) >= kBodyMaxParts) {
      ok = Fail(p, kBodyExitMalformed);
      break;
    }
    BodyPart* part = nullptr;
    try {
      part = ReadPart(p, mesh, material);
    } catch (const std::bad_alloc&) {
      // The parts made so far still go into the mesh below, so they are freed with it.
      Fail(p, kBodyExitMemory);
    }
    if (!part) {
      ok = false;
      break;
    }
    parts.push_back(part);
  }
  // The parts go into the mesh even after a failure, so freeing the mesh frees them.
  if (!parts.empty()) {
    const auto n = static_cast<int32_t>(parts.size());
    mesh->parts = AllocArray<BodyPart*>(p, n, kPointerNominalBytes);
    if (!mesh->parts) {
      for (BodyPart* part : parts) FreeBodyPart(part);
      return false;
    }
    mesh->partCount = static_cast<int16_t>(n);
    std::memcpy(mesh->parts, parts.data(), sizeof(BodyPart*) * parts.size());
  }
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Meshes.

int16_t ToShort(int64_t fixed) { return static_cast<int16_t>(fixed >> 2); }

void NormalOf(const RenderVertex& r, FixedVector* n) {
  int64_t c[3] = {r.normal[0], r.normal[1], r.normal[2]};
  while (std::max({c[0] < 0 ? -c[0] : c[0], c[1] < 0 ? -c[1] : c[1], c[2] < 0 ? -c[2] : c[2]}) >= (int64_t{1} << 30)) {
    for (int64_t& x : c) x /= 4;
  }
  *n = {static_cast<int32_t>(c[0]), static_cast<int32_t>(c[1]), static_cast<int32_t>(c[2]), 0};
  NormalizeFixedVector(n);
}

bool CopyVertices(Parse* p, BodyMesh* mesh) {
  MeshPools& pools = p->pools;
  const auto n = static_cast<int32_t>(pools.vertices.size());
  if (n == 0) return true;
  mesh->vertices = AllocArray<BodyVertex>(p, n, kBodyVertexNominalBytes);
  if (!mesh->vertices) return false;
  mesh->vertexCount = n;
  for (int32_t i = 0; i < n; ++i) {
    const RenderVertex& r = pools.vertices[static_cast<size_t>(i)];
    const Point& point = pools.points[static_cast<size_t>(r.point)];
    FixedVector normal;
    NormalOf(r, &normal);
    mesh->vertices[i] = {ToShort(point.x), ToShort(point.y), ToShort(point.z), ToShort(normal.x), ToShort(normal.y),
                         ToShort(normal.z), r.u, r.v, r.smoothing};
  }
  if (pools.secondUv) {
    mesh->uv2 = AllocArray<int32_t>(p, 2 * n, sizeof(int32_t));
    if (!mesh->uv2) return false;
    mesh->flags |= kMeshSecondUv;
    for (int32_t i = 0; i < n; ++i) {
      mesh->uv2[2 * i] = pools.vertices[static_cast<size_t>(i)].u2;
      mesh->uv2[2 * i + 1] = pools.vertices[static_cast<size_t>(i)].v2;
    }
  }
  if (!pools.weights.empty()) {
    mesh->weightCounts = AllocArray<int16_t>(p, n, sizeof(int16_t));
    if (!mesh->weightCounts) return false;
    mesh->weights = AllocArray<BoneWeight*>(p, n, kPointerNominalBytes);
    if (!mesh->weights) return false;
    for (int32_t i = 0; i < n; ++i) {
      const PointWeights& w = pools.weights[static_cast<size_t>(pools.vertices[static_cast<size_t>(i)].point)];
      if (w.count == 0) continue;
      mesh->weights[i] = AllocArray<BoneWeight>(p, w.count, kBoneWeightNominalBytes);
      if (!mesh->weights[i]) return false;
      mesh->weightCounts[i] = w.count;
      std::memcpy(mesh->weights[i], w.pairs, sizeof(BoneWeight) * static_cast<size_t>(w.count));
    }
  }
  return true;
}

// One mesh after its first integer. False with the parse failed, or without a failure for a mesh
// without usable points (the parse then gives no body).
bool ReadMesh(Parse* p, BodyMesh* mesh) {
  DataReader* reader = p->reader;
  p->pools.Clear();
  int32_t section = DataReaderNextSection(reader, 0);
  if (!ReaderFailed(p)) return false;
  if (section == kRowBones) {
    if (!ReadBones(p, mesh)) return false;
    DataReaderNextSection(reader, 0);
    if (!ReaderFailed(p)) return false;
  }
  if (!ReadPoints(p)) return false;
  section = DataReaderNextSection(reader, 0);
  if (!ReaderFailed(p)) return false;
  if (section == kRowWeights) {
    if (!ReadWeights(p, mesh)) return false;
    DataReaderNextSection(reader, 0);
    if (!ReaderFailed(p)) return false;
  }
  if (!ReadParts(p, mesh)) return false;
  mesh->flags |= ReadWord(reader);
  if (!ReaderFailed(p)) return false;
  for (int32_t i = 0; i < mesh->partCount; ++i) {
    if (mesh->parts[i]->flags & kPartNegativeMaterial) mesh->flags |= kMeshPartWithoutMaterial;
  }
  if (!CopyVertices(p, mesh)) return false;
  if (mesh->flags & kMeshPartWithoutMaterial) p->body->flags |= kBodyMeshFlag1;
  return true;
}

bool ReadMeshes(Parse* p) {
  DataReader* reader = p->reader;
  for (;;) {
    const int32_t first = ReadInt(reader);
    if (reader->error) {
      // The end of the data ends the body.
      reader->error = 0;
      return true;
    }
    // The body counts its meshes in 16 bits; one more would wrap the count and lose the meshes.
    if (static_cast<int32_t>(p->meshes.size()) >= kBodyMaxMeshes) return Fail(p, kBodyExitMalformed);
    // The slot first, so a mesh once made is always held where a failed parse frees it.
    p->meshes.push_back(nullptr);
    BodyMesh* mesh = NewBodyMesh(p->body);
    if (!mesh) return Fail(p, kBodyExitMemory);
    p->meshes.back() = mesh;
    mesh->textRead = 1;
    if (p->meshes.size() == 1) {
      mesh->size = first;
      mesh->distance = kFirstMeshDistance;
    } else {
      mesh->distance = first;
    }
    if (!ReadMesh(p, mesh)) return false;
  }
}

// Hands the meshes and the scratch materials to the body; false when memory runs out.
bool FinishBody(Parse* p) {
  BodyRecord* body = p->body;
  if (!p->meshes.empty()) {
    const auto n = static_cast<int32_t>(p->meshes.size());
    body->meshes = AllocArray<BodyMesh*>(p, n, kPointerNominalBytes);
    if (!body->meshes) return false;
    body->meshCount = static_cast<int16_t>(n);
    std::memcpy(body->meshes, p->meshes.data(), sizeof(BodyMesh*) * p->meshes.size());
    p->meshes.clear();
  }
  if (p->materialCount > 0) {
    body->materials = AllocArray<BodyMaterial>(p, p->materialCount, kBodyMaterialNominalBytes);
    if (!body->materials) return false;
    body->materialCount = p->materialCount;
    std::memcpy(static_cast<void*>(body->materials), gScratchMaterials,
                sizeof(BodyMaterial) * static_cast<size_t>(p->materialCount));
    for (int32_t i = 0; i < p->materialCount; ++i) gScratchMaterials[i].params = nullptr;
  }
  for (int32_t m = 0; m < body->meshCount; ++m) {
    BodyMesh* mesh = body->meshes[m];
    for (int32_t i = 0; i < mesh->partCount; ++i) PartComputeBounds(mesh, mesh->parts[i]);
    BodyPartsExtent(mesh, mesh->bounds);
  }
  return true;
}

// Meshes read but not yet handed to the body.
void FreeUnfinished(Parse* p) {
  for (BodyMesh* mesh : p->meshes) FreeBodyMesh(mesh);
  p->meshes.clear();
}

}  // namespace

BodyRecord* ParseBodyText(int32_t bodyId, DataReader* reader) {
  DataReaderSetBinary(reader, false);
  Parse p;
  p.reader = reader;
  p.fileName = BodyMessageFileName(bodyId);
  p.body = NewBodyRecord(bodyId);
  bool ok = p.body != nullptr;
  if (!ok) Fail(&p, kBodyExitMemory);
  try {
    ok = ok && ReadHeader(&p) && ReadMeshes(&p) && FinishBody(&p);
  } catch (const std::bad_alloc&) {
    // The per-mesh pools grow on the C++ heap: running out there is the same memory end.
    ok = Fail(&p, kBodyExitMemory);
  }
  p.pools.Clear();
  DataReaderClose(reader);
  if (ok) {
    BodyLinkAndCache(p.body);
    return p.body;
  }
  FreeScratchMaterialParams();
  FreeUnfinished(&p);
  FreeBody(p.body);
  if (p.failCode) BodyReaderFatal(p.failCode, p.fileName.c_str());
  return nullptr;
}
