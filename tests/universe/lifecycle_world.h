// A universe for object creation tests: the scene engine's tables, one-row type tables chosen by
// the case, bodies of a chosen size in the body cache, a game clock, a universe block with its
// id and take hashes, and a log of the object events raised. Every object the case creates is
// deleted afterwards through FreeAllObjects, so the sanitizer sees any leak.
#pragma once

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "support/engine_fixture.h"
#include "type_world.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"

struct RaisedEvent {
  uint32_t scriptId;
  std::string name;
  int32_t argCount, a, b;
  bool operator==(const RaisedEvent&) const = default;
};

class LifecycleWorld : public TypeWorld {
 protected:
  void SetUp() override {
    system_ = SystemBlock{};
    system_.gameTime = 5000;
    gSystem = &system_;
    universe_ = UniverseBlock{};
    ListInit(&universe_.objects);
    gUniverse = &universe_;
    SetFreedInstanceHook(ObjectsForgetInstance);
    universe_.idHash = HashCreate();
    universe_.takeHash = HashCreate();
    gEvents = &events_;
    SetObjectEventSink([](SpaceObject* o, const char* name, int32_t n, int32_t a, int32_t b) {
      gEvents->push_back({o->scriptId, name, n, a, b});
    });
  }

  void TearDown() override {
    DestroyUniverse(&universe_);
    SetFreedInstanceHook(nullptr);
    SetObjectEventSink(nullptr);
    gUniverse = nullptr;
    gEvents = nullptr;
    for (int32_t id : bodyIds_) HashRemove(engine_.engine().bodyCache, static_cast<uint32_t>(id) + 1);
    for (OwnedBody& b : bodies_) FreeCollisionModel(b.record.collision);
    gSystem = nullptr;
    TypeWorld::TearDown();
  }

  // A body whose first part has the size; named when a name is given.
  void Body(int32_t id, int32_t size, const char* name = nullptr) {
    OwnedBody& b = bodies_.emplace_back();
    b.mesh.size = size;
    b.meshes[0] = &b.mesh;
    b.record.meshCount = 1;
    b.record.meshes = b.meshes;
    b.record.sound.sample = -1;
    b.name = name ? name : "";
    b.record.name = name ? b.name.data() : nullptr;
    ASSERT_TRUE(BodyCacheInsert(id, &b.record));
    bodyIds_.push_back(id);
  }

  SpaceObject* Create(int32_t objClass, int32_t subtype) {
    SpaceObject* o = AllocObjectRecord(objClass);
    EXPECT_EQ(CreateObject(o, MakeTypeWord(objClass, subtype)), o);
    return o;
  }

  SectorObject* Sector(int32_t subtype = 0) {
    auto* s = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
    CreateSector(s, MakeTypeWord(kClassSector, subtype));
    return s;
  }

  int TopLevelCount() {
    int n = 0;
    for (SpaceObject* o = ObjectListFirst(&universe_.objects); o; o = ObjectListNext(o)) ++n;
    return n;
  }

  static inline std::vector<RaisedEvent>* gEvents = nullptr;
  EngineFixture engine_;
  SystemBlock system_{};
  UniverseBlock universe_{};
  std::vector<RaisedEvent> events_;

 private:
  struct OwnedBody {
    BodyRecord record{};
    BodyMesh mesh{};
    BodyMesh* meshes[1]{};
    std::string name;
  };
  std::list<OwnedBody> bodies_;
  std::vector<int32_t> bodyIds_;
};
