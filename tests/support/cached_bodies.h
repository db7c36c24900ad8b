// Bodies of a chosen size (and name) put straight into the engine's body cache, for tests whose
// instances need a size without a body file, or with levels of one render part each for tests of
// the drawing rules. Clear takes them out again before the engine
// resets, which would otherwise treat them as its own; the collision models instances made for
// them go with them.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/engine_state.h"

class CachedBodies {
 public:
  CachedBodies() = default;
  ~CachedBodies() { Clear(); }
  CachedBodies(const CachedBodies&) = delete;
  CachedBodies& operator=(const CachedBodies&) = delete;

  // A body whose first part has the size; named when a name is given. False when the cache
  // refuses it.
  bool Add(int32_t id, int32_t size, const char* name = nullptr) {
    OwnedBody& b = bodies_.emplace_back();
    b.mesh.size = size;
    b.meshes[0] = &b.mesh;
    b.record.meshCount = 1;
    b.record.meshes = b.meshes;
    b.record.sound.sample = -1;
    b.name = name ? name : "";
    b.record.name = name ? b.name.data() : nullptr;
    ids_.push_back(id);
    return BodyCacheInsert(id, &b.record);
  }

  // A body of `levels` parts (levels of detail), each with one render group of the flags holding
  // one face group of `triangles` triangles; switch sizes 100, 100 vertices per level. Null when
  // the cache refuses it.
  BodyRecord* AddLevels(int32_t id, int32_t size, int32_t levels, int32_t triangles, uint32_t groupFlags) {
    OwnedBody& b = bodies_.emplace_back();
    b.levelMeshes.resize(static_cast<size_t>(levels));
    b.levelMeshPointers.resize(static_cast<size_t>(levels));
    b.parts.resize(static_cast<size_t>(levels));
    b.partPointers.resize(static_cast<size_t>(levels));
    b.groups.resize(static_cast<size_t>(levels));
    for (size_t i = 0; i < static_cast<size_t>(levels); ++i) {
      b.groups[i].triangleCount = triangles;
      b.groups[i].material = -1;
      b.parts[i].groupCount = 1;
      b.parts[i].groups = &b.groups[i];
      b.parts[i].flags = groupFlags;
      b.parts[i].mesh = &b.levelMeshes[i];
      b.partPointers[i] = &b.parts[i];
      b.levelMeshes[i].size = size;
      b.levelMeshes[i].distance = 100;
      b.levelMeshes[i].vertexCount = 100;
      b.levelMeshes[i].partCount = 1;
      b.levelMeshes[i].parts = &b.partPointers[i];
      b.levelMeshPointers[i] = &b.levelMeshes[i];
    }
    b.record.id = id;
    b.record.meshCount = static_cast<int16_t>(levels);
    b.record.meshes = b.levelMeshPointers.data();
    b.record.sound.sample = -1;
    ids_.push_back(id);
    return BodyCacheInsert(id, &b.record) ? &b.record : nullptr;
  }

  void Clear() {
    if (gEngine3D) {
      for (int32_t id : ids_) HashRemove(gEngine3D->bodyCache, static_cast<uint32_t>(id) + 1);
    }
    for (OwnedBody& b : bodies_) FreeCollisionModel(b.record.collision);
    bodies_.clear();
    ids_.clear();
  }

 private:
  struct OwnedBody {
    BodyRecord record{};
    BodyMesh mesh{};
    BodyMesh* meshes[1]{};
    std::string name;
    std::vector<BodyMesh> levelMeshes;
    std::vector<BodyMesh*> levelMeshPointers;
    std::vector<BodyPart> parts;
    std::vector<BodyPart*> partPointers;
    std::vector<FaceGroup> groups;
  };
  std::list<OwnedBody> bodies_;
  std::vector<int32_t> ids_;
};
