// Dock ports: the entry a ship group uses, reservations and their animation ranges, the docking
// proximity codes of stations and gates, approach points in front of a port and outside the
// container, and the end of approaches that arrived.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "object_world.h"
#include "universe/dock_ports.h"
#include "universe/object_placement.h"

namespace {

class DockPorts : public ObjectWorld {
 protected:
  void SetUp() override {
    ObjectWorld::SetUp();
    sector_ = Make(kClassSector);
    ObjectTypeRecord* ships = Rows(kClassShip, 3);
    ships[0].group = 5;    // a fighter
    ships[1].group = 1;    // a transport
    ships[2].group = 270;  // a kind that never docks
    Rows(kClassDock, 1);
    Rows(kClassGate, 9);
  }

  // A dock with one docking place whose entries sit at the given z offsets (0: no entry).
  SpaceObject* DockWithPlace(int32_t radius, std::initializer_list<int32_t> entryZ, uint32_t portFlags = 0) {
    SpaceObject* dock = MakeIn(sector_, kClassDock);
    dock->radius = radius;
    dock->flags |= kObjFlagContainer;
    port_.flags = portFlags;
    row_ = {};
    int i = 0;
    for (int32_t z : entryZ) {
      if (z != 0) {
        entries_[i] = InstanceRecord{};
        MatrixSetIdentity(&entries_[i].worldMatrix);
        entries_[i].world = {0, 0, z, 0};
        row_.entries[i] = &entries_[i];
      }
      ++i;
    }
    row_.entryCount = i;
    row_.port = &port_;
    table_ = {nullptr, 1, &row_, 1};
    static_cast<DockExt*>(dock->ext)->dockSlots = &table_;
    return dock;
  }

  SpaceObject* ShipAt(int16_t subtype, int32_t z, uint32_t flags = 0) {
    SpaceObject* ship = MakeIn(sector_, kClassShip, subtype);
    ship->radius = 100;
    ship->flags |= flags;
    Place(ship, 0, 0, z);
    return ship;
  }

  int Index(const InstanceRecord* entry) const {
    for (int i = 0; i < kDockPortEntryCapacity; ++i) {
      if (entry == &entries_[i]) return i;
    }
    return -1;
  }

  SpaceObject* sector_ = nullptr;
  DockPortType port_{};
  DockSlotRow row_{};
  DockSlotTable table_{};
  InstanceRecord entries_[kDockPortEntryCapacity];
};

TEST_F(DockPorts, EntryChoiceByShipGroup) {
  struct Case {
    const char* what;
    bool set[3];
    int32_t group, port;
    bool hangar;
    int expected;  // entry index, -1 none
  };
  const Case kCases[] = {
      {"transport takes the second", {true, true, true}, 1, -1, false, 1},
      {"freighter groups 9, 10, 12 too", {true, true, true}, 12, -1, false, 1},
      {"group 9", {true, true, true}, 9, -1, false, 1},
      {"group 10", {true, true, true}, 10, -1, false, 1},
      {"transport without a second takes the third", {true, false, true}, 1, -1, false, 2},
      {"fighter takes the first", {true, true, true}, 5, -1, false, 0},
      {"group 6", {true, true, true}, 6, -1, false, 0},
      {"group 7 without a first takes the second", {false, true, true}, 7, -1, false, 1},
      {"no group counts as 7", {false, true, true}, -1, -1, false, 1},
      {"other groups take the third", {true, true, true}, 0, -1, false, 2},
      {"then the first set one", {false, true, false}, 0, -1, false, 1},
      {"a hangar picks by number", {true, true, true}, 5, 5, true, 2},
      {"a number without a hangar is ignored", {true, true, true}, 5, 5, false, 0},
      {"nothing set", {false, false, false}, 5, -1, false, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    DockWithPlace(1000, {c.set[0] ? 1 : 0, c.set[1] ? 2 : 0, c.set[2] ? 3 : 0}, c.hangar ? kDockPortHangar : 0);
    EXPECT_EQ(Index(PickEntryForShipGroup(&row_, c.group, c.port)), c.expected);
  }
  DockSlotRow empty{};
  EXPECT_EQ(PickEntryForShipGroup(&empty, 5, 0), nullptr);
  EXPECT_EQ(PickEntryForShipGroup(nullptr, 5, 0), nullptr);
}

TEST_F(DockPorts, ObjectWrappersFindTheRowAndTheShipTypesGroup) {
  SpaceObject* dock = DockWithPlace(1000, {1, 2, 3});
  EXPECT_EQ(Index(ObjPickEntryForShipType(dock, 0, 1)), 1);  // a transport
  EXPECT_EQ(Index(ObjPickEntryForGroup(dock, 0, 5)), 0);
  EXPECT_EQ(ObjPickEntryForGroup(dock, 1, 5), nullptr);  // one place only
  EXPECT_EQ(ObjGetDockSlotRow(dock, -1), nullptr);
  EXPECT_EQ(ObjGetDockSlotRow(Make(kClassAsteroid), 0), nullptr);
}

TEST_F(DockPorts, ReservationChoosesTheRangeAndOpensOrCloses) {
  SpaceObject* dock = DockWithPlace(1000, {1, 2});
  for (int m = 0; m < kDockReserveModeCount; ++m) port_.ranges[m] = {100 * m, 100 * m + 50};
  SetTime(777);
  ObjReserveDockSlot(0, dock, 6, 3);
  EXPECT_EQ(row_.reservedGroup, 6);
  EXPECT_EQ(row_.rangeStart, 300);
  EXPECT_EQ(row_.rangeEnd, 350);
  EXPECT_EQ(entries_[1].rangeStart, 300);
  EXPECT_EQ(row_.reservedAt, 777u);
  EXPECT_TRUE(row_.flags & kDockRowOpening);
  ObjReserveDockSlotForShipType(0, dock, 1, 0);
  EXPECT_EQ(row_.reservedGroup, 1);
  EXPECT_EQ(row_.rangeStart, 0);
  EXPECT_FALSE(row_.flags & kDockRowOpening);
  const DockSlotRow before = row_;
  ObjReserveDockSlot(0, dock, 6, 4);   // no such mode
  ObjReserveDockSlot(1, dock, 6, 1);   // no such place
  ObjReserveDockSlot(-1, dock, 6, 1);
  EXPECT_EQ(row_.reservedGroup, before.reservedGroup);
  EXPECT_EQ(row_.flags, before.flags);
}

TEST_F(DockPorts, ApproachRangeOfAStationIsNeverBelowItsMinimum) {
  struct Case {
    const char* what;
    int32_t radius;
    uint32_t shipFlags;
    int16_t shipType;
    int32_t distance;
    int32_t expected;
  };
  const Case kCases[] = {
      {"tiny station at the minimum", 100, 0, 0, 1332000, 1},
      {"tiny station beyond it", 100, 0, 0, 1332001, 0},
      {"twice the radius", 1000000, 0, 0, 2000000, 1},
      {"beyond twice the radius", 1000000, 0, 0, 2000001, 0},
      {"five times with bit 1", 1000000, kObjFlagBit1, 0, 5000000, 1},
      {"five times with bit 18", 1000000, 1u << 18, 0, 5000000, 1},
      {"bit 19 takes it back", 1000000, 1u << 18 | 1u << 19, 0, 5000000, 0},
      {"a kind that never docks", 1000000, 0, 2, 10, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* dock = DockWithPlace(c.radius, {1});
    SpaceObject* ship = ShipAt(c.shipType, 0, c.shipFlags);
    EXPECT_EQ(ObjDockingProximity(ship, dock, c.distance), c.expected);
  }
  SpaceObject* plain = MakeIn(sector_, kClassDock);  // no container flag
  EXPECT_EQ(ObjDockingProximity(ShipAt(0, 0), plain, 0), 0);
}

TEST_F(DockPorts, AShipDockingInReachesItsEntry) {
  SpaceObject* dock = DockWithPlace(10000, {5000, 90000});
  struct Case {
    int32_t shipZ;
    uint16_t state;
    bool hangar;
    int32_t expected;
  };
  const Case kCases[] = {
      {5000 + 25100, 27, false, 2},  // radius + 25000 from the fighter's first entry
      {5000 + 25101, 27, false, 1},
      {90000 + 100, 27, false, 1},   // near the second entry, which is not the fighter's
      {90000 + 100, 27, true, 2},    // at a hangar any entry will do
      {5000, 5, false, 1},           // not docking in
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.shipZ);
    port_.flags = c.hangar ? kDockPortHangar : 0;
    SpaceObject* ship = ShipAt(0, c.shipZ);
    Ship(ship)->commandState = c.state;
    Ship(ship)->commandObject = dock;
    Ship(ship)->dockSlot = 0;
    EXPECT_EQ(ObjDockingProximity(ship, dock, 1000), c.expected);
  }
  SpaceObject* arriving = ShipAt(0, 100000, kObjFlagBit1);
  Ship(arriving)->commandState = 4;
  Ship(arriving)->commandObject = dock;
  Ship(arriving)->dockSlot = 0;
  EXPECT_EQ(ObjDockingProximity(arriving, dock, 1000), 1);
  EXPECT_TRUE(row_.flags & kDockRowApproached);
}

TEST_F(DockPorts, GatePassage) {
  struct Case {
    const char* what;
    int16_t gateType;
    uint32_t shipFlags;
    int32_t shipZ, distance;
    int32_t expected;
  };
  const Case kCases[] = {
      {"plain ship near", 0, 0, 0, 19999, 1},
      {"plain ship far", 0, 0, 0, 20000, 0},
      {"in the passage", 0, kObjFlagBit1, 50, 100, 3},
      {"behind the gate", 0, kObjFlagBit1, -50, 100, 1},
      {"too deep", 0, kObjFlagBit1, 5000, 100, 1},
      {"outside the passage of a small gate", 6, kObjFlagBit1, 50, 2000, 1},
      {"inside the passage of a small gate", 6, kObjFlagBit1, 50, 1000, 3},
      {"at the rim", 0, kObjFlagBit1, 50, 10000, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* gate = MakeIn(sector_, kClassGate, c.gateType);
    gate->radius = 10000;
    gate->flags |= kObjFlagContainer;
    SpaceObject* ship = ShipAt(0, c.shipZ, c.shipFlags);
    EXPECT_EQ(ObjDockingProximity(ship, gate, c.distance), c.expected);
  }
}

TEST_F(DockPorts, ApproachPointLiesInFrontOfThePortAndOutsideTheContainer) {
  struct Case {
    const char* what;
    int32_t radius;
    FixedVector entry;
    uint32_t turn;  // of the entry's forward axis
  };
  const Case kCases[] = {
      {"port on the surface", 10000, {0, 0, 10000, 0}, 0},
      {"port deep inside, facing inward", 10000, {0, 0, 9000, 0}, 32768},
      {"port off-centre facing sideways", 50000, {20000, 5000, -3000, 0}, 16384},
      {"tiny container", 10, {0, 0, 5, 0}, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* dock = DockWithPlace(c.radius, {1});
    Place(dock, 1000, 2000, 3000);
    entries_[0].world = {c.entry.x + 1000, c.entry.y + 2000, c.entry.z + 3000, 0};
    MatrixFromAngles(&entries_[0].worldMatrix, c.turn, 0, 0);
    SpaceObject* ship = ShipAt(0, 0);
    DockApproach a;
    ASSERT_TRUE(ComputeDockApproach(dock, &entries_[0], ship, &a));
    const FixedVector centre = dock->instance->position;
    EXPECT_GT(GetDistance(&a.point, &centre), c.radius + ship->radius);  // outside, with room for the ship
    const FixedVector forward = {entries_[0].worldMatrix.m[2][0], entries_[0].worldMatrix.m[2][1],
                                 entries_[0].worldMatrix.m[2][2], 0};
    const FixedVector d = {a.point.x - entries_[0].world.x, a.point.y - entries_[0].world.y,
                           a.point.z - entries_[0].world.z, 0};
    // Along the port's forward axis: in front, and off it by no more than rounding.
    const int64_t along = (int64_t{d.x} * forward.x + int64_t{d.y} * forward.y + int64_t{d.z} * forward.z) >> 16;
    EXPECT_GT(along, 0);
    EXPECT_NEAR(static_cast<double>(along), GetVectorLength(&d), 4.0);
    EXPECT_NEAR(a.distance, GetVectorLength(&d), 4.0);
  }
}

TEST_F(DockPorts, SlotApproachUsesTheShipsEntryOrAGivenDistance) {
  SpaceObject* dock = DockWithPlace(10000, {4000, 8000});
  SpaceObject* ship = ShipAt(1, 0);  // a transport: the second entry
  FixedVector p;
  ASSERT_TRUE(DockSlotApproach(0, dock, ship, -1, &p, 0, 0));
  EXPECT_EQ(p.x, 0);
  EXPECT_GT(p.z, 8000 + 10000);
  ASSERT_TRUE(DockSlotApproach(0, dock, ship, -1, &p, 1, 1110000));
  EXPECT_EQ(p.z, 8000 + 1110000);
  EXPECT_FALSE(DockSlotApproach(1, dock, ship, -1, &p, 0, 0));
  EXPECT_FALSE(DockSlotApproach(0, Make(kClassAsteroid), ship, -1, &p, 0, 0));
}

TEST_F(DockPorts, ArrivedApproachesEndAndOthersGoOn) {
  SpaceObject* dock = DockWithPlace(10000, {1});
  struct Case {
    uint16_t state;
    bool targetsDock;
    int32_t fromPoint;
    bool ends;
  };
  const Case kCases[] = {{5, true, 4999, true}, {5, true, 5000, false}, {4, true, 0, false}, {5, false, 0, false}};
  std::vector<SpaceObject*> ships;
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0, 100000 + c.fromPoint);
    Ship(ship)->commandState = c.state;
    Ship(ship)->commandObject = c.targetsDock ? dock : nullptr;
    Ship(ship)->commandPoint = {0, 0, 100000, 0};
    ship->moduleNo = 40;  // no such module: the release only clears the pair
    ship->moduleHandle = 9;
    ships.push_back(ship);
  }
  ContainerEndShipApproaches(dock);
  for (size_t i = 0; i < ships.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Ship(ships[i])->commandState, kCases[i].ends ? 0 : kCases[i].state);
    EXPECT_EQ(ships[i]->moduleNo, kCases[i].ends ? 0u : 40u);
  }
}

}  // namespace
