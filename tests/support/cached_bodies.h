// Bodies of a chosen size (and name) put straight into the engine's body cache, for tests whose
// instances need a size without a body file. Clear takes them out again before the engine
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
  };
  std::list<OwnedBody> bodies_;
  std::vector<int32_t> ids_;
};
