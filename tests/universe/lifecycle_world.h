// A universe for object creation tests: the scene engine's tables, one-row type tables chosen by
// the case, bodies of a chosen size in the body cache, a game clock, a universe block with its
// id and take hashes, and a log of the object events raised. Every object the case creates is
// deleted afterwards through FreeAllObjects, so the sanitizer sees any leak.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "support/cached_bodies.h"
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
    SetObjectEventSink([](const ObjectEvent& e) {
      gEvents->push_back({e.scriptId, e.name, e.argCount, e.args[0], e.args[1]});
    });
  }

  void TearDown() override {
    DestroyUniverse(&universe_);
    SetFreedInstanceHook(nullptr);
    SetObjectEventSink(nullptr);
    gUniverse = nullptr;
    gEvents = nullptr;
    bodies_.Clear();
    gSystem = nullptr;
    TypeWorld::TearDown();
  }

  // A body whose first part has the size; named when a name is given.
  void Body(int32_t id, int32_t size, const char* name = nullptr) { ASSERT_TRUE(bodies_.Add(id, size, name)); }

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
  CachedBodies bodies_;
};
