// A universe for explosion, carried-object and container tests: LifecycleWorld's objects, ids and
// event log, one scene the objects can join, bodies with chosen vertices, BodyData rows, effect
// rows defined by the case and the 3D sounds played. Effect groups go before the objects, the
// objects before the scene, so the sanitizer sees only what the code under test leaks.
#pragma once

#include <array>
#include <list>
#include <utility>
#include <vector>

#include "effect_world.h"
#include "lifecycle_world.h"
#include "scene/body_cache.h"
#include "support/cached_bodies.h"
#include "scene/engine_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_records.h"
#include "universe/carried_objects.h"
#include "universe/object_detail.h"

struct PlayedSound {
  int32_t sound;
  InstanceRecord* instance;
  bool operator==(const PlayedSound&) const = default;
};

class ExplosionWorld : public LifecycleWorld {
 protected:
  static constexpr int32_t kBodyDataRowCount = 64;

  void SetUp() override {
    LifecycleWorld::SetUp();
    ListInit(&scene_.members);
    ListInit(&scene_.cameras);
    GameSrand(77);
    gPlayed = &played_;
    gPlaying = &playing_;
    static const ObjectSoundHooks kHooks = {
        [](int32_t sound, InstanceRecord* instance) {
          gPlayed->push_back({sound, instance});
          return 1;
        },
        [](int32_t sample) {
          for (int32_t s : *gPlaying) {
            if (s == sample) return 1;
          }
          return 0;
        }};
    SetObjectSoundHooks(&kHooks);
    bodyData_.assign(kBodyDataRowCount, BodyDataRow{});
    engine_.engine().bodyDataRows = bodyData_.data();
    engine_.engine().bodyDataFixedRows = kBodyDataRowCount;
    sector_ = Sector();
    sector_->sceneA = &scene_;
  }

  void TearDown() override {
    FreeEffectDefinitions();
    ClearEffectInstances();
    FreeAllObjects(&universe_);
    SetObjectSoundHooks(nullptr);
    engine_.engine().bodyDataRows = nullptr;
    engine_.engine().bodyDataFixedRows = 0;
    vertexBodies_.Clear();
    gPlayed = nullptr;
    gPlaying = nullptr;
    LifecycleWorld::TearDown();
  }

  // A body whose one mesh has these vertices (in vertex units, a quarter of a world unit).
  void VertexBody(int32_t id, const std::vector<std::array<int16_t, 3>>& points, int32_t size = kFixedOne) {
    ASSERT_TRUE(vertexBodies_.Add(id, size));
    std::vector<BodyVertex>& vertices = vertices_.emplace_back();
    for (const auto& p : points) {
      BodyVertex& v = vertices.emplace_back();
      v.x = p[0];
      v.y = p[1];
      v.z = p[2];
    }
    BodyMesh* mesh = B3D_FindBody(id)->meshes[0];
    mesh->vertexCount = static_cast<int32_t>(vertices.size());
    mesh->vertices = vertices.data();
  }

  // An object of the case's type tables in the shown sector, its instance in the scene.
  SpaceObject* Shown(int32_t objClass, int32_t subtype = 0) {
    SpaceObject* o = Create(objClass, subtype);
    ObjAttachInstance(o, sector_);
    return o;
  }

  // A child instance of the body under `parent`, at a local position.
  static InstanceRecord* Child(InstanceRecord* parent, int32_t body, FixedVector at = {}) {
    InstanceRecord* c = B3D_InstAlloc();
    B3D_InstSetBody(c, body);
    B3D_InstAddToInst(c, parent);
    c->position = at;
    return c;
  }

  static std::vector<EffectGroup*> Groups() {
    std::vector<EffectGroup*> out;
    for (ListNode* n = ListFirst(EffectGroupList()); n; n = ListNext(n)) out.push_back(reinterpret_cast<EffectGroup*>(n));
    return out;
  }

  // The part objects in the sector that are not being removed.
  std::vector<SpaceObject*> PartObjects() {
    std::vector<SpaceObject*> out;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
      if (o->objClass == kClassBodyObject && !(o->flags & kObjFlagRemoving)) out.push_back(o);
    }
    return out;
  }

  // An effect row whose one entry waits long enough never to start during a case.
  static void IdleRow(int32_t index, uint32_t flags = 0, int32_t valueA = 0, int32_t valueB = 0) {
    EffectDefinitionEntry idle{};
    idle.startDelay = 1000000;
    EffectDefinitionRow& row = DefineEffectRow(index, {idle}, flags);
    row.valueA = valueA;
    row.valueB = valueB;
  }

  uint32_t Now() const { return system_.gameTime; }

  static inline std::vector<PlayedSound>* gPlayed = nullptr;
  static inline std::vector<int32_t>* gPlaying = nullptr;
  SceneRecord scene_{};
  SectorObject* sector_ = nullptr;
  std::vector<PlayedSound> played_;
  std::vector<int32_t> playing_;
  std::vector<BodyDataRow> bodyData_;

 private:
  CachedBodies vertexBodies_;
  std::list<std::vector<BodyVertex>> vertices_;
};
