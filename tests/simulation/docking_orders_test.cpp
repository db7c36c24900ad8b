// The docking order modes: the approach tolerance by container kind, the detour round a body in
// the way (also for a ship flying straight at its centre), the slot approach and final turn with
// the speed and turn limits of the ship's group, the slot flags that end early or keep the ship
// from occupying, gates, and leaving a hangar or a gate. The docking fixture is a dock with two
// slots whose entries are free-standing instances with absolute matrices. Ships face +z.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "update_world.h"

#include "core/memory.h"
#include "scene/instance_records.h"
#include "simulation/shot_hits.h"
#include "universe/dock_ports.h"

namespace {

constexpr uint32_t kStart = 20000;
constexpr uint32_t kEndsNearSlot = 1u << 20;
constexpr int32_t kTurnedAway = 16384;  // a quarter turn of heading

class Docking : public UpdateWorld {
 protected:
  void SetUp() override {
    UpdateWorld::SetUp();
    system_.timeScale = kFixedOne;
    ListInit(&slotList_.slots);
    for (DockPortType& port : ports_) {
      port = DockPortType{};
      ListAddTail(&slotList_.slots, &port.node);
    }
    TypeRowMutable(kClassDock, 0)->station.dockSlots = &slotList_;
    ships_[1].ship.dockSlots = &slotList_;  // type 1 ships carry the same two slots
    FlyingTypes();
    SetTime(kStart);
  }

  void TearDown() override {
    // The slot list is the test's own; the type data must not free it.
    TypeRowMutable(kClassDock, 0)->station.dockSlots = nullptr;
    ships_[1].ship.dockSlots = nullptr;
    UpdateWorld::TearDown();
  }

  // A dock (or a carrier: a ship of type 1) at the origin with two slots; each slot's entry is
  // a free-standing instance, so its matrix is absolute, at the origin until SetEntry moves it.
  SpaceObject* Dock(int32_t radius = 200000, int32_t bodySize = 50000, bool carrier = false) {
    SpaceObject* dock = carrier ? In(kClassShip, 1, 0, radius) : In(kClassDock, 0, 0, radius);
    dock->flags |= kObjFlagContainer;
    dock->instance->subtreeSize = bodySize;
    auto* table = static_cast<DockSlotTable*>(MemCalloc(sizeof(DockSlotTable)));
    table->count = 2;
    table->rows = static_cast<DockSlotRow*>(MemCalloc(2 * sizeof(DockSlotRow)));
    for (int i = 0; i < 2; ++i) {
      DockSlotRow& row = table->rows[i];
      row.slot = i;
      row.reservedGroup = -7;  // nobody yet
      row.port = &ports_[i];
      entries_[i] = std::make_unique<InstanceRecord>();
      ListInit(&entries_[i]->children);
      SetEntry(i, {0, 0, 0, 0}, 0);
      row.entries[0] = entries_[i].get();
      row.entryCount = 1;
    }
    if (carrier) Ext(dock)->dockSlots = table;
    else static_cast<DockExt*>(dock->ext)->dockSlots = table;
    return dock;
  }

  void SetEntry(int slot, FixedVector at, uint32_t heading) {
    InstanceRecord* e = entries_[slot].get();
    e->position = e->world = at;
    MatrixFromAngles(&e->matrix, heading, 0, 0);
    e->worldMatrix = e->matrix;
  }

  DockSlotRow* Row(SpaceObject* dock, int slot) { return ObjGetDockSlotRow(dock, slot); }

  SpaceObject* Ship(int16_t subtype, FixedVector at, int32_t radius = 1000, uint32_t heading = 0) {
    return ShipFacing(subtype, at, radius, heading);
  }

  // Flying into slot `slot` of the dock: the slot point is its entry, the pre-approach point
  // `pre` back from it along -z.
  void FlyInto(SpaceObject* ship, SpaceObject* dock, int slot, int32_t pre = 300000) {
    Order(ship, OM_FLY_INTO_CONTAINER, dock, entries_[slot]->position);
    ShipExt* ext = Ext(ship);
    ext->dockSlot = slot;
    ext->orderWords[kEntryIndexWord] = static_cast<uint32_t>(-1);
    FixedVector back = entries_[slot]->position;
    back.z -= pre;
    SetOrderVector(ext, kSecondPointWord, back);
  }

  // The angle (Angle16) between the forward axes of two rotations, from the sine as well as the
  // cosine so that small angles come out exact.
  static int32_t AngleBetween(const FixedMatrix& a, const FixedMatrix& b) {
    const double f[3] = {a.m[2][0] / 65536.0, a.m[2][1] / 65536.0, a.m[2][2] / 65536.0};
    const double g[3] = {b.m[2][0] / 65536.0, b.m[2][1] / 65536.0, b.m[2][2] / 65536.0};
    const double cx = f[1] * g[2] - f[2] * g[1], cy = f[2] * g[0] - f[0] * g[2], cz = f[0] * g[1] - f[1] * g[0];
    const double angle = std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), f[0] * g[0] + f[1] * g[1] + f[2] * g[2]);
    return static_cast<int32_t>(std::lround(angle * 65536.0 / (2 * M_PI)));
  }

  DockSlotList slotList_{};
  DockPortType ports_[2];
  std::unique_ptr<InstanceRecord> entries_[2];
};

TEST_F(Docking, ApproachToleranceDependsOnTheContainer) {
  ships_[1].group = 11;  // a large class that is not a capital ship
  enum Kind { kStation, kGate, kCarrier };
  struct Case {
    const char* what;
    Kind kind;
    int16_t shipType;
    int32_t shipRadius;
    int32_t containerRadius;
    int32_t tolerance;
  };
  const Case kCases[] = {
      {"gate: three quarters of its radius, rounded down", kGate, 0, 1000, 1001, 750},
      {"ship container", kCarrier, 0, 1000, 500000, 111000},
      {"station: three radii", kStation, 0, 10000, 500000, 30000},
      {"station: no closer than 22200", kStation, 0, 5000, 500000, 22200},
      {"station: no farther than 111000", kStation, 0, 50000, 500000, 111000},
      {"station, large ship: one radius", kStation, 1, 30000, 500000, 30000},
  };
  for (const Case& c : kCases) {
    for (int32_t beyond : {0, 1}) {
      SpaceObject* container = c.kind == kGate      ? In(kClassGate, 0, 0, c.containerRadius)
                               : c.kind == kCarrier ? In(kClassShip, 0, 0, c.containerRadius)
                                                    : Dock(c.containerRadius, 1000);
      Place(container, 0, 0, 50000000);  // far from the approach: no detour
      SpaceObject* ship = Ship(c.shipType, {0, 0, 0, 0}, c.shipRadius);
      Order(ship, OM_FLY_BEFORE_CONTAINER, container, {0, 0, c.tolerance + beyond, 0});
      Ext(ship)->dockSlot = -1;
      ship->speed = 700;
      woken_.clear();
      Frame(kStart);
      EXPECT_EQ(ShipOrderMode(ship), beyond ? OM_FLY_BEFORE_CONTAINER : OM_NONE) << c.what << " +" << beyond;
      EXPECT_EQ(woken_.size(), beyond ? 0u : 1u) << c.what << " +" << beyond;
      if (!beyond) {
        EXPECT_EQ(woken_[0].second, kOrderDone) << c.what;
        EXPECT_EQ(ship->speed, 0) << c.what;
      }
      FreeObjectForScript(ship);
      FreeObjectForScript(container);
    }
  }
}

TEST_F(Docking, AReservedSlotsApproachPointTurnsWithTheContainer) {
  // The point is kept in the container's frame: (0, 0, 100000) of a dock turned a quarter to
  // the left lies at -x in the world.
  SpaceObject* dock = Dock(100000, 1000);
  MatrixFromAngles(&dock->instance->matrix, 16384, 0, 0);
  SpaceObject* ship = Ship(0, {-100000, 0, 22200, 0});
  Order(ship, OM_FLY_BEFORE_CONTAINER, dock, {0, 0, 100000, 0});
  Ext(ship)->dockSlot = 0;
  Frame(kStart);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
  EXPECT_EQ(Ext(ship)->dockSlot, -1);
}

TEST_F(Docking, ACarriersSlotPointsFollowItsEntryEveryFrame) {
  SpaceObject* carrier = Dock(400000, 50000, true);
  SetEntry(0, {0, 0, 500000, 0}, 0);
  SpaceObject* ship = Ship(0, {0, 0, -3000000, 0});
  FlyInto(ship, carrier, 0);
  for (int32_t z : {500000, 700000}) {
    SetEntry(0, {1000, 0, z, 0}, 0);
    Frame(kStart + static_cast<uint32_t>(z / 1000));
    EXPECT_EQ(Ext(ship)->commandPoint.z, z);
    EXPECT_EQ(Ext(ship)->commandPoint.x, 1000);
    // The pre-approach point lies half the carrier's radius back along the entry's axis.
    const FixedVector pre = OrderVector(Ext(ship), kSecondPointWord);
    EXPECT_EQ(pre.z, z - 200000);
    EXPECT_EQ(pre.x, 1000);
  }
}

TEST_F(Docking, AnApproachPointBehindTheBodyIsReachedByWayOfADetour) {
  // Body of total size 200000 at the origin; the approach point lies behind it on the far side.
  SpaceObject* dock = Dock(100000, 200000);
  SpaceObject* ship = Ship(0, {30000, 0, -150000, 0});
  const FixedVector approach = {0, 0, 120000, 0};
  Order(ship, OM_FLY_BEFORE_CONTAINER, dock, approach);
  Ext(ship)->dockSlot = -1;
  Frame(kStart);
  // Straight for the point would be 1150 to the left; the ship turns well to the right, round
  // the body on its own side.
  EXPECT_LT(ship->refAngles[0], -12000);
  EXPECT_LT(ship->speedLimit, kVmax);

  // From beside the body the way is clear: it heads for the point, which it then reaches.
  Place(ship, 400000, 0, 100000);
  Frame(kStart + 16);
  EXPECT_EQ(ShipOrderMode(ship), OM_FLY_BEFORE_CONTAINER);
  EXPECT_NEAR(ship->refAngles[0], 15860, 20);  // atan2(400000, 20000)
  Place(ship, 0, 0, 120000 + 2999);  // within three radii
  Frame(kStart + 32);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
}

TEST_F(Docking, FlyingStraightAtTheBodysCentreTurnsAsideInsteadOfCreeping) {
  SpaceObject* dock = Dock(100000, 200000);
  SpaceObject* ship = Ship(0, {0, 0, -150000, 0});
  Order(ship, OM_FLY_BEFORE_CONTAINER, dock, {0, 0, 120000, 0});
  Ext(ship)->dockSlot = -1;
  Frame(kStart);
  // The detour point lies a quarter turn aside, one body size away; the ship turns toward it
  // rather than creeping on into the body with nothing to steer at.
  EXPECT_NEAR(std::abs(ship->refAngles[0]), kTurnedAway, 200);
  const uint32_t aside = static_cast<uint32_t>(ship->refAngles[0]);
  Face(ship, aside);
  Frame(kStart + 16);
  EXPECT_GT(ship->speedLimit, 500);
  EXPECT_LT(std::abs(ship->refAngles[0]), 200);
}

TEST_F(Docking, TheSlotIsFlownWithinTheGroupsSpeedAndTurnLimits) {
  struct Case {
    int32_t group;
    int32_t speedCap;
    int32_t turnCap;  // per second
  };
  const Case kCases[] = {{2, 50000, 1820}, {0, 75000, 910}, {16, 50000, 1820}, {11, 75000, 910}};
  for (const Case& c : kCases) {
    ships_[1].group = c.group;
    SpaceObject* dock = Dock(2000000);
    SetEntry(0, {0, 0, 0, 0}, 0);
    // Far out, facing the pre-approach point: the group's top speed.
    SpaceObject* ship = Ship(1, {0, 0, -3000000, 0});
    FlyInto(ship, dock, 0);
    Frame(kStart);
    EXPECT_EQ(ship->speedLimit, c.speedCap) << c.group;
    EXPECT_TRUE(dock->flags & kObjFlagHoldStill) << c.group;
    EXPECT_TRUE(Row(dock, 0)->flags & kDockRowFlyingIn) << c.group;

    // In the slot, a quarter turn away from the entry's rotation: it moves straight in and turns
    // at no more than the group's rate until it has docked.
    Place(ship, 0, 0, -20000);
    Face(ship, kTurnedAway);
    uint32_t t = kStart + 16;
    woken_.clear();
    int frames = 0;
    for (; woken_.empty() && frames < 2000; ++frames, t += 16) {
      const FixedMatrix before = ship->instance->matrix;
      const int32_t zBefore = ship->instance->position.z;
      Frame(t);
      EXPECT_LE(AngleBetween(ship->instance->matrix, before), c.turnCap * 16 / 1000 + 2) << c.group;
      EXPECT_LE(ship->instance->position.z - zBefore, 20000 * 16 / 1000) << c.group;
      EXPECT_EQ(ship->speed, 0) << c.group;
    }
    ASSERT_EQ(woken_.size(), 1u) << c.group;
    EXPECT_EQ(woken_[0].second, kOrderDone);
    // A quarter turn, less the degree that counts as turned, at no more than the cap.
    EXPECT_GE(frames * 16, (16384 - 182) * 1000 / c.turnCap) << c.group;
    EXPECT_LE(AngleBetween(ship->instance->matrix, entries_[0]->matrix), 182) << c.group;
    EXPECT_LE(std::abs(ship->instance->position.z), 1500) << c.group;
    EXPECT_EQ(Row(dock, 0)->reservedGroup, c.group) << c.group;  // it occupies the slot
    EXPECT_EQ(Ext(ship)->dockSlot, -1);
    FreeObjectForScript(ship);
    FreeObjectForScript(dock);
  }
}

TEST_F(Docking, AShipAlreadyTurnedLikeTheSlotDocksWithoutTurning) {
  // With nothing left to turn the axis of the rest is noise; the ship must not wait on it.
  SpaceObject* dock = Dock();
  SpaceObject* ship = Ship(0, {0, 0, -1000, 0});
  FlyInto(ship, dock, 0);
  for (uint32_t t = kStart; t < kStart + 320; t += 16) Frame(t);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
}

TEST_F(Docking, SlotFlagsEndEarlyOrKeepTheShipFromOccupying) {
  struct Case {
    const char* what;
    uint32_t portFlags;
    uint32_t rowFlags;
    int32_t gap;  // from the slot point
    bool ends;
    bool occupies;
  };
  // The ship has radius 1000 and no speed: the arrival threshold is 1000.
  const Case kCases[] = {
      {"bit 20: ends at the arrival threshold", kEndsNearSlot, 0, 1000, true, false},
      {"bit 20: not beyond it", kEndsNearSlot, 0, 1001, false, false},
      {"row bit 6: docks without occupying", 0, kDockRowOpening, 1000, true, false},
      {"no flags: docks and occupies", 0, 0, 1000, true, true},
  };
  for (const Case& c : kCases) {
    SpaceObject* dock = Dock();
    ports_[0].flags = c.portFlags;
    Row(dock, 0)->flags = c.rowFlags;
    SpaceObject* ship = Ship(0, {0, 0, -c.gap, 0});
    FlyInto(ship, dock, 0);
    woken_.clear();
    Frame(kStart);  // one frame: the speed it then picks up would widen the threshold
    EXPECT_EQ(woken_.size(), c.ends ? 1u : 0u) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), c.ends ? OM_NONE : OM_FLY_INTO_CONTAINER) << c.what;
    EXPECT_EQ(Row(dock, 0)->reservedGroup != -7, c.occupies) << c.what;
    FreeObjectForScript(ship);
    FreeObjectForScript(dock);
  }
}

TEST_F(Docking, AGateLightsUpOnceFacedAndNeverEndsTheOrderByDistance) {
  struct Case {
    uint32_t heading;
    bool lights;
    int32_t speed;
  };
  // The gate (radius 100000) lies 60000 ahead, between a fifth of its radius and the radius: a
  // ship facing it flies at vmax / 2 and half the way to vmax.
  const Case kCases[] = {{0, true, 75000}, {4096, false, 500}};
  for (const Case& c : kCases) {
    SpaceObject* gate = In(kClassGate, 0, 0, 100000);
    Place(gate, 0, 0, 60000);
    SpaceObject* ship = Ship(0, {0, 0, 0, 0}, 1000, c.heading);
    Order(ship, OM_FLY_INTO_CONTAINER, gate, {0, 0, 60000, 0});
    Ext(ship)->dockSlot = -1;
    Frame(kStart);
    EXPECT_EQ((gate->flags & kObjFlagGuideLights) != 0, c.lights) << c.heading;
    EXPECT_EQ(ship->speedLimit, c.speed) << c.heading;
    // Right in the gate the order still goes on.
    Place(ship, 0, 0, 60000);
    woken_.clear();
    for (uint32_t t = kStart + 16; t < kStart + 1600; t += 16) Frame(t);
    EXPECT_TRUE(woken_.empty()) << c.heading;
    EXPECT_EQ(ShipOrderMode(ship), OM_FLY_INTO_CONTAINER) << c.heading;
    FreeObjectForScript(ship);
    FreeObjectForScript(gate);
  }
}

TEST_F(Docking, LeavingAGateOrASlot) {
  ships_[1].group = 11;  // large
  ships_[0].ship.speed = ships_[1].ship.speed = 200000;  // nothing caps the exit speeds
  enum Kind { kGate, kSlot, kBadSlot, kNone };
  struct Case {
    const char* what;
    Kind kind;
    int16_t shipType;
    int32_t speed;      // while leaving
    int32_t clearAt;    // z at which the order is over
    int32_t result;
  };
  const Case kCases[] = {
      {"gate, small ship", kGate, 0, 120000, kHangarGateClearance + 1, kOrderDone},
      {"gate, large ship", kGate, 1, 60000, kHangarGateClearance + 1, kOrderDone},
      // The slot's range ends at its approach point: the entry's distance from the centre (0),
      // the dock's radius, the ship's radius and the margin.
      {"slot", kSlot, 0, 50000, 200000 + 1000 + kDockApproachMargin + 1, kOrderDone},
      {"slot out of range", kBadSlot, 0, 0, 0, kOrderDone},
      {"no container", kNone, 0, 0, 0, kOrderFailed},
  };
  for (const Case& c : kCases) {
    SpaceObject* container = c.kind == kGate ? In(kClassGate, 0, 0, 100000) : Dock();
    SpaceObject* ship = Ship(c.shipType, {0, 0, 0, 0});
    Order(ship, OM_CLEAR_FROM_HANGAR, c.kind == kNone ? nullptr : container);
    Ext(ship)->dockSlot = c.kind == kBadSlot ? 2 : 0;
    woken_.clear();
    Frame(kStart);
    if (c.speed != 0) {
      EXPECT_TRUE(woken_.empty()) << c.what;
      EXPECT_EQ(ship->speedLimit, c.speed) << c.what;
      Place(ship, 0, 0, c.clearAt - 1);
      Frame(kStart + 16);
      EXPECT_TRUE(woken_.empty()) << c.what;
      Place(ship, 0, 0, c.clearAt);
      Frame(kStart + 32);
    }
    ASSERT_EQ(woken_.size(), 1u) << c.what;
    EXPECT_EQ(woken_[0].second, c.result) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE) << c.what;
    if (c.kind != kGate) {
      EXPECT_EQ(Ext(ship)->dockSlot, -1) << c.what;
    }
    FreeObjectForScript(ship);
    FreeObjectForScript(container);
  }
}

TEST_F(Docking, NothingLeavesAHangarWhileTheShipIsHeld) {
  SpaceObject* dock = Dock();
  for (uint32_t held : {kObjFlagFree, kObjFlagNoCollisions}) {
    SpaceObject* ship = Ship(0, {0, 0, 0, 0});
    Order(ship, OM_CLEAR_FROM_HANGAR, nullptr);
    ship->flags |= held;
    woken_.clear();
    Frame(kStart);
    EXPECT_TRUE(woken_.empty()) << held;
    EXPECT_EQ(ShipOrderMode(ship), OM_CLEAR_FROM_HANGAR) << held;
    FreeObjectForScript(ship);
  }
  FreeObjectForScript(dock);
}

}  // namespace
