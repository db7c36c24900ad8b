// Ships leaving and entering containers in a shown sector: the gate's waiting places with the one
// kept for the player and places whose time has passed, gate exits of small and large ships and of
// a ship without a place, exits from docks and carriers with their launch speeds, and hangar starts
// at the centre of a station without a hangar node, at its hangar node, at a docking place the
// type does not have and in a gate.
#include "universe/container_departures.h"

#include <gtest/gtest.h>

#include "explosion_world.h"
#include "universe/dock_ports.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"

namespace {

constexpr int32_t kHullBody = 30;
constexpr int16_t kSmall = 0;
constexpr int16_t kLarge = 1;

class Containers : public ExplosionWorld {
 protected:
  void SetUp() override {
    ExplosionWorld::SetUp();
    VertexBody(kHullBody, {{0, 0, 0}});
    VertexBody(kHangarNodeBody, {{0, 0, 0}});
    ObjectTypeRecord* ships = Rows(kClassShip, 2);
    for (int i = 0; i < 2; ++i) {
      ships[i].bodyId = kHullBody;
      ships[i].ship.viewpointGroup = -1;
      ships[i].ship.speed = 300000;
    }
    ships[kSmall].group = 1;   // a fighter
    ships[kLarge].group = 11;  // a large class
    Rows(kClassGate, 1);
    Rows(kClassDock, 1);
    gate_ = Shown(kClassGate);
    gate_->radius = 1000;
    Gate()->innerPoint = {0, kFixedOne / 2, kFixedOne, 0};
  }

  GateExt* Gate() { return static_cast<GateExt*>(gate_->ext); }

  SpaceObject* NewShip(int16_t subtype = kSmall) {
    SpaceObject* s = Shown(kClassShip, subtype);
    s->radius = 100;
    return s;
  }

  static void ExpectAt(const FixedVector& got, const FixedVector& want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.z, want.z);
  }

  SpaceObject* gate_ = nullptr;
};

TEST_F(Containers, TheSeventhGatePlaceIsKeptForThePlayer) {
  std::vector<SpaceObject*> ships;
  for (int i = 0; i < 6; ++i) {
    ships.push_back(NewShip());
    EXPECT_EQ(ObjStartInHangar(ships.back(), gate_, -1), kHangarStartWaiting);
    EXPECT_TRUE(ships.back()->flags & kObjFlagWaitsInContainer);
    EXPECT_EQ(ships.back()->parent, gate_);
  }
  EXPECT_EQ(ObjectListFirst(ObjectChildren(gate_)), ships.back());  // a gate takes them at the head
  SpaceObject* seventh = NewShip();
  EXPECT_EQ(ObjStartInHangar(seventh, gate_, -1), kHangarStartFailed);
  EXPECT_EQ(seventh->parent, sector_);
  universe_.player = seventh;
  EXPECT_EQ(ObjStartInHangar(seventh, gate_, -1), kHangarStartWaiting);
  EXPECT_EQ(Gate()->slotShips[6], seventh);
  EXPECT_EQ(Gate()->slotTimes[6], Now() + 20000);
  universe_.player = nullptr;
}

TEST_F(Containers, APlaceWhoseTimeHasPassedIsFree) {
  for (int i = 0; i < 6; ++i) ASSERT_EQ(ObjStartInHangar(NewShip(), gate_, -1), kHangarStartWaiting);
  SpaceObject* late = NewShip();
  system_.gameTime += 19999;
  EXPECT_EQ(ObjStartInHangar(late, gate_, -1), kHangarStartFailed);
  system_.gameTime += 1;
  EXPECT_EQ(ObjStartInHangar(late, gate_, -1), kHangarStartWaiting);
  SpaceObject* large = NewShip(kLarge);  // large ships wait without a place
  EXPECT_EQ(ObjStartInHangar(large, gate_, -1), kHangarStartWaiting);
}

TEST_F(Containers, ShipsLeaveAGateThroughTheirPlaceOrOnItsAxis) {
  struct Case {
    const char* what;
    int16_t subtype;
    int32_t speed;
    FixedVector commandPoint;
  };
  // The inner point (0, 0.5, 1) of a gate of radius 1000: a small ship in the middle place comes
  // out 500 below, a large one 11100 above; both 100 (their radius) short of the inner point.
  const Case kCases[] = {
      {"small ship in place 3", kSmall, 120000, {0, -500, 900, 0}},
      {"large ship", kLarge, 60000, {0, 11100, 900, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* ship = NewShip(c.subtype);
    ObjAttachInstance(ship, gate_);
    if (c.subtype == kSmall) Gate()->slotShips[3] = ship;
    ShipLeaveContainer(ship, gate_);
    const ShipExt* ext = static_cast<const ShipExt*>(ship->ext);
    ExpectAt(ext->commandPoint, c.commandPoint);
    ExpectAt(ship->instance->position, {c.commandPoint.x, c.commandPoint.y, c.commandPoint.z + 1348650, 0});
    EXPECT_EQ(ship->speed, c.speed);
    EXPECT_EQ(ship->speedLimit, std::min(20000, GetObjectMaxSpeed(ship)));
    EXPECT_EQ(ext->commandState, 0x21);
    EXPECT_EQ(ext->commandObject, gate_);
    EXPECT_EQ(ext->nextCheckAt, Now() + 900);
    EXPECT_EQ(ship->parent, sector_);
    EXPECT_EQ(Gate()->nextLaunchAt, Now() + 10000);
    EXPECT_NEAR(ship->instance->matrix.m[2][2], -kFixedOne, 2);  // turned half about
  }
}

TEST_F(Containers, AShipWithoutAPlaceOfTheGateStaysPut) {
  SpaceObject* ship = NewShip();
  ObjAttachInstance(ship, gate_);
  ship->instance->position = {7, 8, 9, 0};
  ship->speed = 5;
  ShipLeaveContainer(ship, gate_);
  ExpectAt(ship->instance->position, {7, 8, 9, 0});
  EXPECT_EQ(ship->speed, 5);
  EXPECT_EQ(ship->parent, gate_);
}

TEST_F(Containers, ShipsLeaveDocksAndCarriersAtTheirLaunchSpeed) {
  SpaceObject* dock = Shown(kClassDock);
  dock->radius = 1000;
  auto* dockExt = static_cast<DockExt*>(dock->ext);
  dockExt->innerPoint = {0, 0, 2 * kFixedOne, 0};
  dockExt->outerPoint = {0, 0, kFixedOne, 0};  // inner beyond outer: the ship comes out turned
  SpaceObject* carrier = NewShip(kLarge);
  carrier->radius = 1000;
  carrier->speed = 30000;
  auto* carrierExt = static_cast<ShipExt*>(carrier->ext);
  carrierExt->innerPoint = {0, 0, -5 * kFixedOne, 0};  // inner below outer: out on its heading
  carrierExt->outerPoint = {0, 0, -kFixedOne, 0};
  struct Case {
    const char* what;
    SpaceObject* container;
    uint32_t* nextLaunchAt;
    FixedVector position;
    int32_t speed, limit;
  };
  const Case kCases[] = {
      {"dock", dock, &dockExt->nextLaunchAt, {0, 0, 1800, 0}, 6666, 20000},
      {"carrier on the same heading", carrier, &carrierExt->nextLaunchAt, {0, 0, -4800, 0}, 30000, 50000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* ship = NewShip();
    ObjAttachInstance(ship, c.container);
    ShipLeaveContainer(ship, c.container);
    ExpectAt(ship->instance->position, c.position);
    EXPECT_EQ(ship->speed, c.speed);
    EXPECT_EQ(ship->speedLimit, std::min(c.limit, GetObjectMaxSpeed(ship)));
    EXPECT_EQ(ship->parent, sector_);
    EXPECT_GE(*c.nextLaunchAt, Now() + 10000);  // 10000 and more for a faster ship
    EXPECT_LE(*c.nextLaunchAt, Now() + 20000);
  }
}

TEST_F(Containers, AStationWithoutHangarNodeStartsShipsAtAFreePlaceAroundItsCentre) {
  SpaceObject* dock = Shown(kClassDock);
  dock->instance->position = {50000, 0, 0, 0};
  dock->baseVelocity = {3, 0, 0, 0};
  SpaceObject* ship = NewShip();
  ship->speed = 900;
  EXPECT_EQ(ObjStartInHangar(ship, dock, -1), kHangarStartPlaced);
  EXPECT_EQ(ship->parent, sector_);
  EXPECT_EQ(ship->speed, 0);
  EXPECT_EQ(ship->baseVelocity.x, 3);
  EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->dockSlot, -1);
  EXPECT_FALSE(ship->flags & kObjFlagFree);
  const FixedVector& p = ship->instance->position;
  const int64_t dx = int64_t{p.x} - 50000;
  EXPECT_GE(dx * dx + int64_t{p.y} * p.y + int64_t{p.z} * p.z, int64_t{300} * 300);  // 3 x its radius away
}

TEST_F(Containers, AHangarNodeSendsShipsOutAheadOfIt) {
  SpaceObject* dock = Shown(kClassDock);
  InstanceRecord* node = Child(dock->instance, kHangarNodeBody, {0, 0, 1000, 0});
  SpaceObject* ship = NewShip();
  EXPECT_EQ(ObjStartInHangar(ship, dock, -1), kHangarStartPlaced);
  const FixedVector& p = ship->instance->position;
  EXPECT_GE(p.x, -500000);
  EXPECT_LT(p.x, 500000);
  EXPECT_GE(p.z - node->position.z, 500000);
  EXPECT_LT(p.z - node->position.z, 1500000);
}

TEST_F(Containers, ADockingPlaceTheTypeDoesNotHaveIsRefusedBeforeAnythingChanges) {
  SpaceObject* dock = Shown(kClassDock);
  SpaceObject* ship = NewShip();
  static_cast<ShipExt*>(ship->ext)->viewpoint = 2;
  EXPECT_EQ(ObjStartInHangar(ship, dock, 0), kHangarStartFailed);
  EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->dockSlot, -1);
  EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->viewpoint, 2);
  EXPECT_EQ(ship->parent, sector_);
}

}  // namespace

namespace {

// A dock whose type has one docking place; the place's entry node sits 1000 ahead of the dock.
class DockingPlaces : public Containers {
 protected:
  void SetUp() override {
    Containers::SetUp();
    ListInit(&typeList_.slots);
    ListAddTail(&typeList_.slots, &port_.node);
    TypeRowMutable(kClassDock, 0)->station.dockSlots = &typeList_;
    dock_ = Shown(kClassDock);
    dock_->baseVelocity = {1, 2, 3, 0};
    dock_->instance->velocity = {10, 20, 30, 0};
    entry_ = Child(dock_->instance, kHullBody, {0, 0, 1000, 0});
    row_.entries[0] = entry_;
    row_.entryCount = 1;
    row_.port = &port_;
    table_ = {&typeList_, 1, &row_, 1};
    static_cast<DockExt*>(dock_->ext)->dockSlots = &table_;
  }

  void TearDown() override {
    static_cast<DockExt*>(dock_->ext)->dockSlots = nullptr;
    TypeRowMutable(kClassDock, 0)->station.dockSlots = nullptr;
    Containers::TearDown();
  }

  DockSlotList typeList_{};
  DockPortType port_{};
  DockSlotRow row_{};
  DockSlotTable table_{};
  SpaceObject* dock_ = nullptr;
  InstanceRecord* entry_ = nullptr;
};

TEST_F(DockingPlaces, AShipStartsAtThePlaceWithTheMotionItsFlagsGive) {
  struct Case {
    const char* what;
    uint32_t flags;
    FixedVector baseVelocity;
    uint32_t reservedAt;  // for a ship with object flag bit 1
  };
  const Case kCases[] = {
      {"plain place", 0, {1, 2, 3, 0}, 5000 + 10000},
      {"used place", 1u << 21, {1, 2, 3, 0}, 0},
      {"sinking along its up axis", 1u << 22, {1, 2 - 10000, 3, 0}, 5000 + 10000},
      {"dropping back", 1u << 25, {1, 2 - 100000, 3 - 2510000, 0}, 5000 + 10000},
      {"rising forward with the dock", 1u << 26, {1 + 11, 2 + 100000 + 22, 3 + 2510000 + 33, 0}, 5000 + 10000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    port_.flags = c.flags;
    row_.reservedAt = 0;
    SpaceObject* ship = NewShip();
    ship->flags |= kObjFlagBit1;
    ship->speed = 700;
    ship->turnRates[0] = 9;
    EXPECT_EQ(ObjStartInHangar(ship, dock_, 0), kHangarStartPlaced);
    EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->dockSlot, 0);
    EXPECT_EQ(ship->parent, sector_);
    ExpectAt(ship->instance->position, {0, 0, 1000, 0});
    EXPECT_EQ(ship->speed, 0);
    EXPECT_EQ(ship->turnRates[0], 0);
    ExpectAt(ship->baseVelocity, c.baseVelocity);
    EXPECT_EQ(row_.reservedAt, c.reservedAt);
  }
}

TEST_F(DockingPlaces, APlaceWithoutAnEntryForTheShipFails) {
  row_.entries[0] = nullptr;
  SpaceObject* ship = NewShip();
  EXPECT_EQ(ObjStartInHangar(ship, dock_, 0), kHangarStartFailed);
  EXPECT_EQ(ObjStartInHangar(ship, dock_, 1), kHangarStartFailed);  // beyond the type's one place
}

}  // namespace
