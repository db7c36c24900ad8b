// The universe world with a scene engine for the hit, tractor and removal tests: bodies whose
// collision model is one box of chosen half extents, hand-made instances placed at world points
// (given to objects as their nodes, and taken back before the objects are freed), and ship and
// bullet type rows with the values the tests read. The engine starts only when a case asks, so
// objects are created without engine instances and are placed by hand.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/engine_state.h"
#include "simulation/universe_world.h"
#include "support/engine_fixture.h"
#include "universe/object_detail.h"

class HitWorld : public UniverseWorld {
 protected:
  void TearDown() override {
    // Only objects still in the universe are touched: a case may have freed the others.
    for (const auto& [o, id] : placed_) {
      if (FindObjectById(&universe_, id) != o) continue;
      if (o->instance && IsHandMade(o->instance)) o->instance = o->shownInstance = nullptr;
    }
    UniverseWorld::TearDown();
    if (scene_) {
      for (auto& b : bodies_) HashRemove(scene_->engine().bodyCache, static_cast<uint32_t>(b->body.id) + 1);
    }
    scene_.reset();
  }

  void StartEngine() {
    if (!scene_) scene_.emplace();
  }

  // A body whose collision model is one box of half extents h (model units; world = h x size).
  void BoxBody(int32_t id, float hx, float hy, float hz) {
    StartEngine();
    auto b = std::make_unique<HandBody>();
    b->box.half[0] = hx;
    b->box.half[1] = hy;
    b->box.half[2] = hz;
    b->model.boxes = &b->box;
    b->model.boxCount = 1;
    b->model.state = kModelBuilt;
    b->body.id = id;
    b->body.collision = &b->model;
    ASSERT_TRUE(BodyCacheInsert(id, &b->body));
    bodies_.push_back(std::move(b));
  }

  // A free-standing instance at a world point, facing +z, size 1.0.
  InstanceRecord* Instance(int32_t bodyId, FixedVector at) {
    auto inst = std::make_unique<InstanceRecord>();
    ListInit(&inst->children);
    inst->bodyId = bodyId;
    inst->position = at;
    inst->world = at;
    MatrixSetIdentity(&inst->matrix);
    MatrixSetIdentity(&inst->worldMatrix);
    inst->size = kFixedOne;
    inst->subtreeSize = -1;
    instances_.push_back(std::move(inst));
    return instances_.back().get();
  }

  void AddChild(InstanceRecord* parent, InstanceRecord* child) {
    child->parent = parent;
    ListAddTail(&parent->children, &child->node);
  }

  // Gives the object a hand-made node at the point (and the body, -1 for none).
  InstanceRecord* Place(SpaceObject* o, int32_t x, int32_t y, int32_t z, int32_t bodyId = -1) {
    if (o->instance && !IsHandMade(o->instance)) FreeInstance(o->instance);
    InstanceRecord* inst = Instance(bodyId, FixedVector{x, y, z, 0});
    o->instance = o->shownInstance = inst;
    placed_.emplace_back(o, o->id);
    return inst;
  }

  // Small ships (group 5) with acceleration and speed, so course tests have something to brake.
  void ShipRows(int count, int32_t speed = 300000, int32_t acceleration = 100000) {
    ObjectTypeRecord* rows = Rows(kClassShip, count);
    for (int i = 0; i < count; ++i) {
      rows[i].group = 5;
      rows[i].ship.speed = speed;
      rows[i].ship.speed2 = acceleration;
    }
  }

  SpaceObject* Ship(int32_t subtype = 0) { return Create(kClassShip, static_cast<int16_t>(subtype)); }
  static ShipExt* ExtOf(SpaceObject* ship) { return static_cast<ShipExt*>(ship->ext); }

  std::optional<EngineFixture> scene_;

 private:
  struct HandBody {
    CollisionBox box{};
    CollisionModel model{};
    BodyRecord body{};
  };
  bool IsHandMade(const InstanceRecord* inst) const {
    for (const auto& own : instances_) {
      if (own.get() == inst) return true;
    }
    return false;
  }
  std::vector<std::unique_ptr<HandBody>> bodies_;
  std::vector<std::unique_ptr<InstanceRecord>> instances_;
  std::vector<std::pair<SpaceObject*, uint32_t>> placed_;
};
