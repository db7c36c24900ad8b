// Dock slot light chains and gate guide lights over a stepped game clock, and ship placement at
// dock slots.
#include <gtest/gtest.h>

#include "model_world.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "universe/dock_slot_lights.h"
#include "universe/dock_slot_placement.h"

namespace {

constexpr uint32_t kBeaconOn = 1u << 5;
constexpr uint32_t kPathDisplay = 1u << 4;
constexpr uint32_t kPathToPlayer = 1u << 2;

class DockSlotLights : public ModelWorld {
 protected:
  static constexpr int32_t kDockBody = 50;

  void SetUp() override {
    ModelWorld::SetUp();
    for (int32_t id : {kDockBody, kPortBody, 30, 77, 146, 195, 200, 214, 265}) Body(id, 1000);
  }

  // A dock of radius 100000 with one port 1000 ahead of its centre facing +z: its approach is
  // 151000 long, three full 50000 steps and a part.
  SpaceObject* DockWithPort(uint32_t portFlags = 0) {
    AddPath(kPortBody);
    EnterModel();
    Dummies({Dummy(kPortBody, 0x20 | portFlags)});
    DockType(GatheredPorts(), kDockBody);
    SpaceObject* dock = Create(kClassDock, 0);
    dock->radius = 100000;
    port_ = Slots(dock)->rows[0].entries[0];
    port_->world = {0, 0, 1000, 0};
    MatrixSetIdentity(&port_->worldMatrix);
    return dock;
  }

  DockSlotRow& Row(SpaceObject* dock) { return Slots(dock)->rows[0]; }
  size_t Lights() { return Children(port_, kMarkChainLight).size(); }
  void Step(SpaceObject* dock, uint32_t ms) {
    system_.gameTime += ms;
    UpdateDockSlots(dock);
  }

  InstanceRecord* port_ = nullptr;
};

TEST_F(DockSlotLights, ApproachBeaconGrowsChasesAndIsTornDownAPairAStep) {
  SpaceObject* dock = DockWithPort();
  Row(dock).flags |= kBeaconOn;
  const size_t full = 151000 / 50000 + 1;
  UpdateDockSlots(dock);
  for (size_t pairs = 1; pairs <= full; ++pairs) {
    EXPECT_EQ(Lights(), 2 * pairs);
    EXPECT_EQ(Row(dock).lightPhase, 0);
    Step(dock, 200);
  }
  // Full at the last step; this step starts the chase instead of adding a pair.
  EXPECT_EQ(Lights(), 2 * full);
  EXPECT_EQ(Row(dock).lightPhase, 1);
  EXPECT_TRUE(port_->flags & 0x200000);
  for (InstanceRecord* light : Children(port_, kMarkChainLight)) {
    const int32_t expected = light->nodeId == 1 ? 7000 : light->nodeId == 0 ? 7000 : 2000;  // lit, shrinking
    EXPECT_EQ(light->size, expected) << light->nodeId;
    EXPECT_EQ(light->bodyId, 265);
  }
  Step(dock, 100);  // half way through the step the neighbours meet at 2.25 x size
  for (InstanceRecord* light : Children(port_, kMarkChainLight)) {
    const int32_t expected = light->nodeId == 1 ? 7000 : (light->nodeId == 0 || light->nodeId == 2) ? 4500 : 2000;
    EXPECT_EQ(light->size, expected) << light->nodeId;
  }
  Row(dock).flags &= ~kBeaconOn;
  Step(dock, 100);
  for (size_t pairs = full - 1;; --pairs) {
    EXPECT_EQ(Lights(), 2 * pairs);
    if (pairs == 0) break;
    Step(dock, 100);
    EXPECT_EQ(Lights(), 2 * pairs) << "one pair per 200 ms";
    Step(dock, 100);
  }
  EXPECT_EQ(Row(dock).refreshedAt, system_.gameTime);
}

TEST_F(DockSlotLights, LandingBeaconShowsAFullChainAtItsSize) {
  SpaceObject* dock = DockWithPort();
  Row(dock).flags |= 1u << 3;
  for (int i = 0; i < 6; ++i) Step(dock, 200);
  ASSERT_EQ(Lights(), 8u);
  for (InstanceRecord* light : Children(port_, kMarkChainLight)) {
    EXPECT_EQ(light->bodyId, 30);
    EXPECT_EQ(light->size, 2000);
  }
}

TEST_F(DockSlotLights, ACarrierOfKind14ShowsNothing) {
  AddPath(kPortBody);
  EnterModel();
  Dummies({Dummy(kPortBody, 0x20)});
  ObjectTypeRecord* row = Rows(kClassShip, 1);
  row->bodyId = kDockBody;
  row->ship.cut = kModel;
  row->ship.dockSlots = GatheredPorts();
  for (int32_t kind : {14, 0}) {
    row->ship.instanceKind = kind;
    SpaceObject* carrier = Create(kClassShip, 0);
    ASSERT_NE(Slots(carrier), nullptr);
    port_ = Slots(carrier)->rows[0].entries[0];
    MatrixSetIdentity(&port_->worldMatrix);
    Slots(carrier)->rows[0].flags |= kBeaconOn;
    UpdateDockSlots(carrier);
    EXPECT_EQ(Lights(), kind == 14 ? 0u : 2u) << kind;
    DeleteObject(carrier);
  }
}

TEST_F(DockSlotLights, PathMarkersStopShortOfThePlayer) {
  struct Case {
    int32_t playerZ;
    size_t markers;
  };
  // The approach point lies at z = 152000; markers every 50000 while more than 50000 remain.
  const Case kCases[] = {{152000 + 230000, 4}, {152000 + 40000, 0}, {152000 + 100000000, 100}};
  for (const Case& c : kCases) {
    paths_.clear();
    HashRemove(engine_.engine().cutTable, kModel);
    SpaceObject* dock = DockWithPort();
    Rows(kClassShip, 1)->bodyId = 214;
    SpaceObject* player = Create(kClassShip, 0);
    player->instance->position = player->instance->world = {0, 0, c.playerZ, 0};
    universe_.player = player;
    universe_.pathMarkerBody = 77;
    Row(dock).flags |= kPathDisplay | kPathToPlayer;
    UpdateDockSlots(dock);
    const auto markers = Children(port_, kMarkPathMarker);
    ASSERT_EQ(markers.size(), c.markers) << c.playerZ;
    for (InstanceRecord* m : markers) {
      EXPECT_GE(c.playerZ - (m->position.z + port_->world.z), 50000);
      EXPECT_EQ(m->bodyId, 77);
    }
    EXPECT_EQ(Lights(), 2u) << "the path chain starts too";
    EXPECT_EQ(Children(port_, kMarkChainLight)[0]->bodyId, 214);
    universe_.player = nullptr;
    DeleteObject(player);
    DeleteObject(dock);
  }
}

// ---------------------------------------------------------------------------------------------
// Gate guide lights.

class GuideLights : public DockSlotLights {
 protected:
  SpaceObject* Gate(uint32_t activationAhead, uint32_t flags) {
    Rows(kClassGate, 1)->bodyId = kDockBody;
    SpaceObject* gate = Create(kClassGate, 0);
    gate->radius = 10000;
    gate->flags |= flags;
    static_cast<GateExt*>(gate->ext)->nextLaunchAt = system_.gameTime + activationAhead;
    return gate;
  }
  static size_t Rings(SpaceObject* gate) { return Children(gate->instance, kMarkChainLight).size() / 4; }
  static int32_t Phase(SpaceObject* gate) {
    return static_cast<int32_t>(static_cast<GateExt*>(gate->ext)->words[kGateChaserPhaseWord]);
  }
  void Step(SpaceObject* gate, uint32_t ms) {
    system_.gameTime += ms;
    UpdateGuideLights(gate);
  }
};

constexpr uint32_t kGuideOn = 1u << 25;

TEST_F(GuideLights, RingsAreBuiltThenChasedDownwardThenRemovedOneAStep) {
  SpaceObject* gate = Gate(0, kGuideOn);
  UpdateGuideLights(gate);
  EXPECT_EQ(Rings(gate), 1u);
  for (size_t rings = 2; rings <= 8; ++rings) {
    Step(gate, 75);
    EXPECT_EQ(Rings(gate), rings - 1) << "one ring per 150 ms";
    Step(gate, 75);
    EXPECT_EQ(Rings(gate), rings);
  }
  for (InstanceRecord* light : Children(gate->instance, kMarkChainLight)) {
    const int64_t n = light->nodeId - 1;
    EXPECT_EQ(light->position.z, static_cast<int32_t>(((0xF851 - n * 0x46F2) * 10000) >> 16)) << n;
  }
  EXPECT_TRUE(gate->instance->flags & 0x200000);
  Step(gate, 150);
  EXPECT_EQ(Phase(gate), 6);
  for (int32_t expected : {5, 4, 3, 2, 1, 0, 7, 6}) {
    Step(gate, 150);
    EXPECT_EQ(Phase(gate), expected);
  }
  for (InstanceRecord* light : Children(gate->instance, kMarkChainLight)) {
    const int32_t ring = light->nodeId - 1;
    if (ring == 6 || ring == 7) {
      EXPECT_EQ(light->size, 45000);  // lit, and the one before it at the start of its fade
    } else if (ring == 5) {
      EXPECT_EQ(light->size, 15000);  // about to grow
    } else {
      EXPECT_EQ(light->size, 15000);
      EXPECT_EQ(light->bodyId, 200);
    }
  }
  gate->flags &= ~kGuideOn;
  for (size_t rings = 7;; --rings) {
    Step(gate, 150);
    EXPECT_EQ(Phase(gate), -1);
    EXPECT_EQ(Rings(gate), rings);
    if (rings == 0) break;
  }
}

TEST_F(GuideLights, ActivationAheadRunsWithTheLandingBodyUpToItsWindow) {
  struct Case {
    uint32_t ahead;
    size_t rings;
    int32_t body;
  };
  const Case kCases[] = {{1, 1, 30}, {39999, 1, 30}, {40000, 0, 0}};
  for (const Case& c : kCases) {
    SpaceObject* gate = Gate(c.ahead, kGuideOn);
    UpdateGuideLights(gate);
    ASSERT_EQ(Rings(gate), c.rings) << c.ahead;
    if (c.rings) {
      EXPECT_EQ(Children(gate->instance, kMarkChainLight)[0]->bodyId, c.body);
    }
    DeleteObject(gate);
  }
}

TEST_F(GuideLights, TheEarlyChaserRunsUpward) {
  SpaceObject* gate = Gate(30000, kGuideOn);
  for (int i = 0; i < 8; ++i) Step(gate, 150);
  ASSERT_EQ(Rings(gate), 8u);
  Step(gate, 150);
  EXPECT_EQ(Phase(gate), 1);
  for (int32_t expected : {2, 3, 4, 5, 6, 7, 8, 0, 1}) {
    Step(gate, 150);
    EXPECT_EQ(Phase(gate), expected);
  }
}

TEST_F(GuideLights, ANearShipKeepsEightIdleRings) {
  SpaceObject* gate = Gate(100000, 1u << 22);
  for (int i = 0; i < 10; ++i) Step(gate, 150);
  EXPECT_EQ(Rings(gate), 8u);
  EXPECT_EQ(Phase(gate), -1);
  for (InstanceRecord* light : Children(gate->instance, kMarkChainLight)) EXPECT_EQ(light->bodyId, 200);
}

// ---------------------------------------------------------------------------------------------
// Placement.

class ShipPlacement : public DockSlotLights {
 protected:
  SpaceObject* Ship(int16_t subtype = 0) { return Create(kClassShip, subtype); }
  void ShipTypes(int32_t count) {
    ObjectTypeRecord* rows = Rows(kClassShip, count);
    for (int32_t i = 0; i < count; ++i) rows[i].bodyId = 214;
  }
};

TEST_F(ShipPlacement, RefusesWhatIsNoDockingPlace) {
  SpaceObject* dock = DockWithPort();
  ShipTypes(1);
  SpaceObject* ship = Ship();
  SpaceObject* asteroid = Create(kClassAsteroid, 0);
  struct Case {
    SpaceObject* carrier;
    int32_t slot;
    SpaceObject* ship;
  };
  const Case kCases[] = {
      {dock, -1, ship}, {dock, 1, ship}, {dock, 0, asteroid}, {ship, 0, nullptr}, {asteroid, 0, nullptr},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PlaceShipAtDockSlot(c.carrier, c.slot, c.ship, 0), 0) << c.slot;
  }
  EXPECT_EQ(PlaceShipAtDockSlot(dock, 0, ship, 0), 1);
}

TEST_F(ShipPlacement, APortTheTypeClosesOrTheModelLacksIsRefused) {
  // Type flag bit 21 refuses; a type with two ports whose model files only one refuses the second.
  SpaceObject* closed = DockWithPort(kDockPortNoPlacement);
  EXPECT_EQ(PlaceShipAtDockSlot(closed, 0, nullptr, 0), 0);
  DeleteObject(closed);
  DockType(Ports(2), kDockBody);
  SpaceObject* dock = Create(kClassDock, 0);
  ASSERT_EQ(Slots(dock)->count, 1);
  EXPECT_EQ(PlaceShipAtDockSlot(dock, 0, nullptr, 0), 1);
  EXPECT_EQ(PlaceShipAtDockSlot(dock, 1, nullptr, 0), 0);
}

TEST_F(ShipPlacement, AHangarPutsTheShipOnItsNearestPort) {
  SpaceObject* dock = DockWithPort(kDockPortHangar);
  ShipTypes(1);
  InstanceRecord far{};
  far.world = {0, 0, 900000, 0};
  far.position = {1, 2, 3, 0};
  DockSlotRow& row = Row(dock);
  row.entries[1] = &far;
  row.entryCount = 2;
  SpaceObject* ship = Ship();
  ship->instance->world = {0, 0, 800000, 0};
  EXPECT_EQ(PlaceShipAtDockSlot(dock, 0, ship, 0), 1);
  EXPECT_EQ(ship->instance->position.z, 3);
  EXPECT_EQ(ship->instance->world.z, 900000);
  row.entries[1] = nullptr;
  row.entryCount = 1;
}

TEST_F(ShipPlacement, FlagsChooseReservationAndPose) {
  struct Case {
    uint32_t flags;
    bool attached;
    int32_t z;  // the ship's position under the port
    int32_t reservedGroup;
  };
  const Case kCases[] = {
      {0, true, 0, 0},
      {0x10000, true, 4000, 0},         // keeps where it stands, seen from the port
      {0x20000 | 0x100, false, 0, 7},  // reserves without placing
  };
  for (const Case& c : kCases) {
    paths_.clear();
    HashRemove(engine_.engine().cutTable, kModel);
    SpaceObject* dock = DockWithPort();
    ShipTypes(1);
    TypeRowMutable(kClassShip, 0)->group = 7;
    SpaceObject* ship = Ship();
    ship->instance->world = {0, 0, 5000, 0};
    MatrixSetIdentity(&ship->instance->worldMatrix);
    InstanceRecord* flame = B3D_InstAlloc();
    flame->flags |= 0x800;
    flame->size = 90000;
    B3D_InstAddToInst(flame, ship->instance);
    ASSERT_EQ(PlaceShipAtDockSlot(dock, 0, ship, c.flags), 1);
    EXPECT_EQ(port_->bodyId, 146);
    EXPECT_EQ(ship->instance->parent == port_, c.attached) << c.flags;
    EXPECT_EQ(Row(dock).reservedGroup, c.reservedGroup);
    if (c.attached) {
      EXPECT_EQ(ship->instance->position.z, c.z);
      EXPECT_TRUE(ship->instance->collisionMask & kMarkDockedShip);
      EXPECT_EQ(flame->size, 655);
      EXPECT_TRUE(flame->flags & 0x100000);
    }
    DeleteObject(ship);
    DeleteObject(dock);
  }
}

TEST_F(ShipPlacement, WithoutAShipTheReservationTakesTheLowByte) {
  SpaceObject* dock = DockWithPort();
  EXPECT_EQ(PlaceShipAtDockSlot(dock, 0, nullptr, 0x101), 1);
  EXPECT_EQ(Row(dock).reservedGroup, 7);
  EXPECT_TRUE(Row(dock).flags & kDockRowOpening);
}

TEST_F(ShipPlacement, Subtype267IsShownByAStandInWithItsModel) {
  SpaceObject* dock = DockWithPort();
  ObjectTypeRecord* ships = Rows(kClassShip, 268);
  ships[267].bodyId = 214;
  ships[267].ship.cut = kModel;
  SpaceObject* ship = Ship(267);
  InstanceRecord* own = ship->instance;
  ASSERT_EQ(PlaceShipAtDockSlot(dock, 0, ship, 0), 1);
  EXPECT_EQ(ship->instance, own);
  EXPECT_NE(own->parent, port_);
  const auto standIns = Children(port_, kMarkDockedShip);
  ASSERT_EQ(standIns.size(), 1u);
  EXPECT_EQ(standIns[0]->bodyId, 214);
  EXPECT_EQ(Children(standIns[0]).size(), 1u) << "the type's model is built on it";
}

}  // namespace
