// A universe with one hand-built model (cut kModel in the engine's cut table) for the tests of
// the model builder, the dock slot lights and the placement: paths are added with a body and,
// for animated ones, two position keys; dummy rows make port and gun nodes; type rows get their
// port lists gathered from the model the way the type loader gathers them. The cut and the port
// lists are given back before the engine and the type tables go.
#pragma once

#include <deque>
#include <vector>

#include "core/memory.h"
#include "lifecycle_world.h"
#include "scene/cut_records.h"
#include "scene/light_records.h"
#include "universe/dock_ports.h"
#include "universe/model_instances.h"

class ModelWorld : public LifecycleWorld {
 protected:
  static constexpr int32_t kModel = 4001;
  static constexpr int32_t kPortBody = 60;

  // The type free would release the rows' port lists and the dummy rows as its own.
  void TearDown() override {
    for (uint16_t c : {kClassDock, kClassFactory, kClassShip}) {
      ObjectTypeTable& table = gObjectTypeTables[c];
      for (int32_t s = 0; s < table.count && table.rows; ++s) {
        if (c == kClassShip) table.rows[s].ship.dockSlots = nullptr;
        else table.rows[s].station.dockSlots = nullptr;
      }
    }
    gDummyTable = {};
    LifecycleWorld::TearDown();
    HashRemove(engine_.engine().cutTable, kModel);
    for (DockSlotList* list : lists_) FreeDockSlotList(list);
  }

  // A path with the body at the position; animated paths get a second key `span` ms later.
  PathRecord& AddPath(int32_t body, FixedVector at = {}, int32_t span = 0) {
    PathRecord& path = paths_.emplace_back();
    path.lookupWord = static_cast<uint32_t>(body);
    path.loaderWord = static_cast<uint32_t>(-1);
    path.flags = kPathNamesBody;
    std::vector<PositionKey>& keys = keys_.emplace_back(span > 0 ? 2 : 1);
    keys[0].position = at;
    if (span > 0) {
      keys[1].time = span;
      keys[1].position = at;
    }
    path.positions = {static_cast<int32_t>(keys.size()), keys.data()};
    return path;
  }

  void EnterModel() {
    cut_.handle = kModel;
    cut_.pathCount = static_cast<int32_t>(paths_.size());
    cut_.paths = paths_.data();
    HashInsert(engine_.engine().cutTable, kModel, reinterpret_cast<HashValue>(&cut_));
  }

  // Bodies listed as dock ports (the ship groups given) and as animated dummies without groups.
  void Dummies(std::vector<DummyRow> rows) {
    dummies_ = std::move(rows);
    gDummyTable.kinds[0] = {static_cast<int32_t>(dummies_.size()), dummies_.data()};
  }

  static DummyRow Dummy(int32_t body, uint32_t flags) {
    DummyRow row{};
    row.body = body;
    row.flags = flags;
    return row;
  }

  // The port list the type loader would gather from the model.
  DockSlotList* GatheredPorts() {
    DockSlotList* list = NewDockSlotList();
    lists_.push_back(list);
    BuildModelInstancesFor(list, kModel);
    return list;
  }

  // A port list of `count` plain ports with these flags.
  DockSlotList* Ports(int32_t count, uint32_t flags = 0, uint32_t groups = 0x20) {
    DockSlotList* list = NewDockSlotList();
    lists_.push_back(list);
    for (int32_t i = 0; i < count; ++i) {
      auto* port = static_cast<DockPortType*>(MemCalloc(sizeof(DockPortType)));
      port->flags = flags | groups;
      port->animFlags = groups;
      ListAddTail(&list->slots, &port->node);
    }
    return list;
  }

  // A dock type (subtype 0) with the model and the port list, and its body.
  void DockType(DockSlotList* ports, int32_t body = 50) {
    ObjectTypeRecord* row = Rows(kClassDock, 1);
    row->bodyId = body;
    row->station.cut = kModel;
    row->station.dockSlots = ports;
  }

  static DockSlotTable* Slots(SpaceObject* o) {
    return o->objClass == kClassShip ? static_cast<ShipExt*>(o->ext)->dockSlots
                                     : static_cast<DockExt*>(o->ext)->dockSlots;
  }

  static std::vector<InstanceRecord*> Children(InstanceRecord* parent, uint16_t mask = 0) {
    std::vector<InstanceRecord*> out;
    for (InstanceRecord* c = InstFirstChild(parent); c; c = InstNextSibling(c)) {
      if (mask == 0 || (c->collisionMask & mask)) out.push_back(c);
    }
    return out;
  }

  CutRecord cut_{};
  std::vector<PathRecord> paths_ = [] {
    std::vector<PathRecord> v;
    v.reserve(16);
    return v;
  }();

 private:
  std::deque<std::vector<PositionKey>> keys_;
  std::vector<DummyRow> dummies_;
  std::vector<DockSlotList*> lists_;
};
