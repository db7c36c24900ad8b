// Body components (see body_components.h): the marked parts of a model read into component
// points, and the component tables grown one entry at a time. Called by the type loader's
// Components generation and its Components file reader. Never reads a vertex outside its mesh.
#include "universe/body_components.h"

#include <cstring>

#include "core/memory.h"
#include "scene/body_records.h"
#include "scene/cut_keys.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"

namespace {

constexpr uint32_t kUniverseMemory = MemCategoryFlags(kMemCatUniverse);
constexpr uint32_t kPointRotates = 1;  // LASERF_ROTATE: the point has a direction
// Normals are 16-bit with 1.0 = 16384; directions are 16.16.
constexpr int32_t kNormalToFixed = 4;
constexpr const char* kFailureName = "SetComponents";

struct PointSet {
  ComponentPoint points[kComponentPointsPerKind];
  int32_t count = 0;
};

// The direction of the last face group that holds a triangle with the flag: the normal of that
// group's first such triangle's first vertex. False when no group has one.
bool FindDirection(const BodyMesh* mesh, const BodyPart* part, uint16_t triangleFlag, int32_t direction[3]) {
  bool found = false;
  for (int16_t g = 0; g < part->groupCount; ++g) {
    const FaceGroup& group = part->groups[g];
    for (int32_t t = 0; t < group.triangleCount; ++t) {
      const BodyTriangle& triangle = group.triangles[t];
      if (!(triangle.flags & triangleFlag)) continue;
      const int32_t v = triangle.v[0];
      if (v >= 0 && v < mesh->vertexCount && mesh->vertices) {
        const BodyVertex& vertex = mesh->vertices[v];
        direction[0] = vertex.nx * kNormalToFixed;
        direction[1] = vertex.ny * kNormalToFixed;
        direction[2] = vertex.nz * kNormalToFixed;
        found = true;
      }
      break;
    }
  }
  return found;
}

void AddPoint(PointSet* set, const BodyMesh* mesh, const BodyPart* part, uint16_t triangleFlag, int32_t depth) {
  if (set->count >= kComponentPointsPerKind) SceneFatalExit(kTypeLoadLimitExit, kFailureName);
  ComponentPoint point{};
  point.position[0] = part->centre.x;
  point.position[1] = part->centre.y;
  point.position[2] = part->centre.z - depth;
  if (triangleFlag && FindDirection(mesh, part, triangleFlag, point.direction)) point.flags = kPointRotates;
  set->points[set->count++] = point;
}

}  // namespace

void AppendComponentEntry(int32_t kind, int32_t body, const ComponentPoint* points, int32_t count) {
  if (kind < 0 || kind >= kComponentKindCount) return;
  ComponentKindTable& table = gComponentTable.kinds[kind];
  const size_t oldBytes = sizeof(ComponentEntry) * static_cast<size_t>(table.count);
  auto* grown = static_cast<ComponentEntry*>(
      table.entries ? MemRealloc(table.entries, oldBytes, oldBytes + sizeof(ComponentEntry), kUniverseMemory)
                    : MemAlloc(sizeof(ComponentEntry), kUniverseMemory));
  if (!grown) SceneFatalExit(kTypeLoadMemoryExit, kFailureName);
  table.entries = grown;
  ComponentEntry& entry = table.entries[table.count++];
  entry = ComponentEntry{};
  entry.body = body;
  if (count <= 0 || !points) return;
  const size_t bytes = sizeof(ComponentPoint) * static_cast<size_t>(count);
  entry.points = static_cast<ComponentPoint*>(MemAlloc(bytes, kUniverseMemory));
  if (!entry.points) return;
  std::memcpy(entry.points, points, bytes);
  entry.pointCount = static_cast<int16_t>(count);
}

void FreeComponentTable() {
  for (ComponentKindTable& table : gComponentTable.kinds) {
    for (int32_t i = 0; i < table.count; ++i) {
      ComponentEntry& entry = table.entries[i];
      if (entry.points) MemFree(entry.points, sizeof(ComponentPoint) * static_cast<size_t>(entry.pointCount), kUniverseMemory);
    }
    if (table.entries) MemFree(table.entries, sizeof(ComponentEntry) * static_cast<size_t>(table.count), kUniverseMemory);
    table = ComponentKindTable{};
  }
}

void SetComponents(const BodyRecord* body) {
  if (!body || body->meshCount < 1 || !body->meshes || !body->meshes[0]) return;
  const BodyMesh* mesh = body->meshes[0];
  static PointSet sets[kComponentKindCount];  // 150 points: kept off the stack
  for (PointSet& set : sets) set.count = 0;
  for (int16_t p = 0; p < mesh->partCount && mesh->parts; ++p) {
    const BodyPart* part = mesh->parts[p];
    if (!part) continue;
    if (part->flags & kPartLaserPoint) AddPoint(&sets[0], mesh, part, kTriangleLaserDirection, 0);
    if (part->flags & kPartCockpitPoint) AddPoint(&sets[1], mesh, part, kTriangleCockpitDirection, 0);
    // A docking point sits on the part's near face: its z less the part's depth.
    if (part->flags & kPartDockingPoint) AddPoint(&sets[kComponentKindDocking], mesh, part, 0, part->radius);
  }
  for (int32_t kind = 0; kind < kComponentKindCount; ++kind) {
    if (sets[kind].count > 0) AppendComponentEntry(kind, body->id, sets[kind].points, sets[kind].count);
  }
}
