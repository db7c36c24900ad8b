// A fixture of hand-built space objects on top of TypeWorld's type tables: objects with their
// class extension and a scene node at a chosen place, sectors and containers with child lists, and
// a game clock. Everything is owned by the case and given back afterwards.
#pragma once

#include <memory>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "type_world.h"
#include "universe/universe.h"

class ObjectWorld : public TypeWorld {
 protected:
  void SetUp() override {
    system_ = SystemBlock{};
    gSystem = &system_;
  }

  void TearDown() override {
    gSystem = nullptr;
    gFlightViewTable = {};
    TypeWorld::TearDown();
  }

  void SetTime(uint32_t now) { system_.gameTime = now; }

  // A zero-filled object of a class with its extension, an identity-oriented node at the origin
  // and the creation defaults the rules rely on (no overrides, no viewpoint).
  SpaceObject* Make(uint16_t objClass, int16_t subtype = 0) {
    auto owned = std::make_unique<Owned>();
    SpaceObject* o = &owned->record;
    o->objClass = objClass;
    o->subtype = subtype;
    o->owner = kNoOwner;
    const size_t size = ObjectExtensionSize(objClass);
    if (size) {
      owned->ext.assign((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), std::max_align_t{});
      o->ext = owned->ext.data();
    }
    if (ListHead* children = ObjectChildren(o)) ListInit(children);
    MatrixSetIdentity(&owned->node.matrix);
    MatrixSetIdentity(&owned->node.worldMatrix);
    o->instance = &owned->node;
    if (objClass == kClassShip) {
      ShipExt* ship = Ship(o);
      MatrixSetIdentity(&ship->rotation);
      ship->viewpoint = -1;
      ship->maxSpeedOverride = -1;
      ship->valueOverride = -1;
      ship->race10SpeedLimit = -1;
      ship->dockSlot = -1;
    }
    objects_.push_back(std::move(owned));
    return o;
  }

  SpaceObject* MakeIn(SpaceObject* parent, uint16_t objClass, int16_t subtype = 0) {
    SpaceObject* o = Make(objClass, subtype);
    ObjectListAddTail(ObjectChildren(parent), o);
    o->parent = parent;
    return o;
  }

  static void Place(SpaceObject* o, int32_t x, int32_t y, int32_t z) {
    o->instance->position = {x, y, z, 0};
    o->instance->world = {x, y, z, 0};
  }

  static ShipExt* Ship(SpaceObject* o) { return static_cast<ShipExt*>(o->ext); }
  static MissileExt* Missile(SpaceObject* o) { return static_cast<MissileExt*>(o->ext); }

 private:
  struct Owned {
    SectorObject record{};  // large enough for any class, sectors included
    std::vector<std::max_align_t> ext;
    InstanceRecord node{};
  };
  std::vector<std::unique_ptr<Owned>> objects_;
  SystemBlock system_{};
};
