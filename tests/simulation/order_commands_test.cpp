// The order and movement commands through the dispatcher: how each packs its parameters into the
// ship's order, when it waits and when it answers at once, the hangar start's answers, the warp
// that is only renewed, the turret orders' checks, and orders that run to their end through the
// frame step. Ships face +z; the game's generator starts at 1.
#include <climits>
#include <cmath>

#include "command_world.h"

#include "scene/instance.h"
#include "simulation/simulation.h"
#include "simulation/turrets.h"
#include "universe/container_departures.h"
#include "universe/dock_ports.h"

namespace {

enum Command : int32_t {
  kFlyInto = 9,
  kFlyBefore = 10,
  kIsBefore = 11,
  kClearFromHangar = 13,
  kWarpAway = 14,
  kAvoid = 15,
  kCapture = 16,
  kAttack = 17,
  kAttackBig = 18,
  kDefensive = 19,
  kStopTurret = 21,
  kTurnTo = 22,
  kTurretToObject = 23,
  kTurretToPosition = 24,
  kStartInHangar = 25,
  kIdle = 26,
  kFollow = 27,
  kRotate = 29,
  kMovePos = 30,
  kGlide = 32,
  kWarpIn = 33,
};

constexpr uint32_t kStart = 20000;

class OrderCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    SetTime(kStart);
  }
  void TearDown() override {
    if (dockType_) dockType_->station.dockSlots = nullptr;  // the list is the fixture's
    CommandWorld::TearDown();
  }

  static uint32_t Word(SpaceObject* ship, int word) { return Ext(ship)->orderWords[word]; }

  // The dock type's one row, with one docking place.
  ObjectTypeRecord* DockTypeWithOnePlace() {
    dockType_ = Rows(kClassDock, 1);
    ListInit(&places_.slots);
    ListAddTail(&places_.slots, &port_.node);
    dockType_->station.dockSlots = &places_;
    return dockType_;
  }

  ObjectTypeRecord* dockType_ = nullptr;
  DockSlotList places_{};
  DockPortType port_{};
};

TEST_F(OrderCommands, RotateToAnglesBringsTheRollIntoOneTurn) {
  struct Case {
    int32_t count, roll;
    uint32_t stored;
  };
  const Case kCases[] = {
      {4, -1, 65535}, {4, 70000, 4464}, {3, 1234, 0x80000000u}, {4, 65536, 0}, {4, -196613, 65531}, {4, 0, 0},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    const Reply r = Call(kRotate, {Of(ship), I(-7), I(70000), I(c.roll)}, c.count);
    EXPECT_TRUE(WaitsOn(r, ship)) << c.roll;
    EXPECT_EQ(ShipOrderMode(ship), OM_ROTATE_TO_ANGLES);
    EXPECT_EQ(Ext(ship)->commandPoint.x, -7);  // heading and pitch as given
    EXPECT_EQ(Ext(ship)->commandPoint.y, 70000);
    EXPECT_EQ(uint32_t(Ext(ship)->commandPoint.z), c.stored) << c.count << " " << c.roll;
  }
}

TEST_F(OrderCommands, GlidePosPacksSpeedAndToleranceInOneWord) {
  struct Case {
    int32_t tolerance, speed;
    uint32_t word;
  };
  const Case kCases[] = {
      {2220, 22200, (100u << 16) | 10u},
      {221, 443, (1u << 16) | 0u},              // divisions truncate
      {-2220, 0, 0xFFF6u},                      // toward zero, and only the low half
      {0, -444, 0xFFFE0000u},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    ship->refAngles[0] = ship->refAngles[1] = ship->refAngles[2] = 9;
    const Reply r = Call(kGlide, {Of(ship), I(1), I(2), I(3), I(c.tolerance), I(c.speed)});
    EXPECT_TRUE(WaitsOn(r, ship));
    EXPECT_EQ(ShipOrderMode(ship), OM_GLIDE_POS);
    EXPECT_EQ(Word(ship, kArrivalDistanceWord), c.word) << c.tolerance << " " << c.speed;
    EXPECT_EQ(Ext(ship)->commandPoint.z, 3);
    EXPECT_EQ(ship->refAngles[2], 0);
  }
}

TEST_F(OrderCommands, AvoidCollisionLooksFiveDistancesAhead) {
  struct Case {
    int32_t distance, arrival;
  };
  const Case kCases[] = {{0, 1000 + 150000}, {-5, 1000 + 150000}, {20000, 20000}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(100, 200, 300, 1000);
    const Reply r = Call(kAvoid, {Of(ship), I(c.distance)});
    EXPECT_TRUE(WaitsOn(r, ship));
    EXPECT_EQ(ShipOrderMode(ship), OM_AVOID_COLLISION);
    EXPECT_EQ(int32_t(Word(ship, kArrivalDistanceWord)), c.arrival);
    EXPECT_EQ(Ext(ship)->commandPoint.x, 100);
    EXPECT_EQ(Ext(ship)->commandPoint.z, 300 + 5 * c.arrival);
    EXPECT_EQ(int32_t(Word(ship, kSecondPointWord + 2)), 300);  // where it started
    EXPECT_EQ(OrderWord(Ext(ship), kEvasionCounterWord), 0u);
    EXPECT_EQ(OrderWord(Ext(ship), kEvasionRollWord), 0u);
    EXPECT_EQ(int32_t(OrderWord(Ext(ship), kEvasionStyleWord)), -1);
  }
  // With the random flag the counter lies in 1..10 and reaches both ends.
  SpaceObject* ship = ShipAt(0);
  bool seen[11] = {};
  for (int i = 0; i < 400; ++i) {
    Call(kAvoid, {Of(ship), I(0), I(1)});
    const uint32_t counter = OrderWord(Ext(ship), kEvasionCounterWord);
    ASSERT_GE(counter, 1u);
    ASSERT_LE(counter, 10u);
    seen[counter] = true;
  }
  EXPECT_TRUE(seen[1] && seen[10]);
  Call(kAvoid, {Of(ship), I(0), I(0)});
  EXPECT_EQ(OrderWord(Ext(ship), kEvasionCounterWord), 0u);
}

TEST_F(OrderCommands, StartInHangarAnswersByThePlacementsResult) {
  static int32_t result;
  static int32_t slotSeen;
  gSimulationServices.startInHangar = [](SpaceObject*, SpaceObject*, int32_t slot) {
    slotSeen = slot;
    return result;
  };
  SpaceObject* dock = In(kClassDock, 0, 0);
  struct Case {
    int32_t placement;
    bool waits;
    int32_t answer;
  };
  const Case kCases[] = {{-1, false, 0}, {1, true, 0}, {2, false, 1}, {5, false, 10}, {0, false, 10}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    result = c.placement;
    const Reply r = Call(kStartInHangar, {Of(ship), Of(dock), I(3)});
    EXPECT_EQ(slotSeen, 3);
    EXPECT_EQ(WaitsOn(r, ship), c.waits) << c.placement;
    if (!c.waits) {
      EXPECT_EQ(r.value, c.answer) << c.placement;
    }
  }
  SpaceObject* ship = ShipAt(0);
  result = 2;
  EXPECT_EQ(Call(kStartInHangar, {Of(ship), Of(dock)}).value, 1);
  EXPECT_EQ(slotSeen, -1);  // no slot given
  slotSeen = 99;
  EXPECT_EQ(Call(kStartInHangar, {Of(ship), I(4242), I(0)}).value, 0);
  EXPECT_EQ(slotSeen, 99);  // nothing placed without a container
}

TEST_F(OrderCommands, WarpInAgainForTheSameGateOnlyRenewsTheWaitingCall) {
  SpaceObject* gate = In(kClassGate, 0, 0);
  MatrixSetIdentity(&gate->instance->matrix);
  SpaceObject* ship = ShipAt(0, 0, 5000);
  const Reply first = Call(kWarpIn, {Of(ship), Of(gate)});
  EXPECT_TRUE(WaitsOn(first, ship));
  EXPECT_EQ(ShipOrderMode(ship), OM_WARP_IN);
  EXPECT_EQ(ShipOrderTarget(ship), gate);
  EXPECT_EQ(Ext(ship)->nextCheckAt, kStart + 900);
  EXPECT_EQ(Ext(ship)->commandFlag, 1u);
  EXPECT_TRUE(ship->flags & kObjFlagBit10);
  EXPECT_EQ(Ext(ship)->commandPoint.z, 5000);
  EXPECT_EQ(ship->instance->position.z, 5000 + 1348650);  // where the path out of the gate begins

  SetTime(kStart + 400);
  const Reply again = Call(kWarpIn, {Of(ship), Of(gate)});
  EXPECT_TRUE(WaitsOn(again, ship));
  EXPECT_EQ(Ext(ship)->nextCheckAt, kStart + 900);
  EXPECT_EQ(ship->instance->position.z, 5000 + 1348650);
  EXPECT_TRUE(woken_.empty());  // the first task stays waiting, unanswered

  // Without a gate the warp starts again where the ship is.
  Call(kWarpIn, {Of(ship), I(0)});
  EXPECT_EQ(Ext(ship)->nextCheckAt, kStart + 400 + 900);
  EXPECT_EQ(ShipOrderTarget(ship), nullptr);
  EXPECT_EQ(Ext(ship)->commandPoint.z, 5000 + 1348650);
}

TEST_F(OrderCommands, WarpAwayLightsTheGate) {
  SpaceObject* gate = In(kClassGate, 0, 0);
  SpaceObject* ship = ShipAt(0, 0, 777);
  EXPECT_TRUE(WaitsOn(Call(kWarpAway, {Of(ship), Of(gate)}), ship));
  EXPECT_EQ(ShipOrderMode(ship), OM_WARP_AWAY);
  EXPECT_EQ(int32_t(Ext(ship)->commandFlag), -1);
  EXPECT_TRUE(gate->flags & (1u << 25));
  EXPECT_TRUE(ship->flags & kObjFlagBit10);
  EXPECT_EQ(ShipOrderTarget(ship), gate);
  SpaceObject* other = ShipAt(0);
  EXPECT_TRUE(WaitsOn(Call(kWarpAway, {Of(other), Of(ship)}), other));  // not a gate: no target
  EXPECT_EQ(ShipOrderTarget(other), nullptr);
}

// Order commands without their objects answer 0 at once, change nothing and leave no task waiting.
TEST_F(OrderCommands, MissingObjectsAnswerAtOnce) {
  SpaceObject* ship = ShipAt(0);
  SpaceObject* dock = In(kClassDock, 0, 0);
  struct Case {
    int32_t command;
    bool shipArgIsDock;  // argument 0 exists but is no ship
  };
  const Case kCases[] = {
      {kFlyInto, false}, {kFlyBefore, false}, {kIsBefore, false}, {kClearFromHangar, false},
      {kCapture, false}, {kAttack, false},    {kAttackBig, false}, {kFollow, false},
      {kTurnTo, false},  {kTurretToObject, false}, {kMovePos, true}, {kIdle, true}, {kWarpIn, true},
  };
  Ext(ship)->commandState = OM_NONE;
  for (const Case& c : kCases) {
    const Reply r = c.shipArgIsDock ? Call(c.command, {Of(dock), I(1), I(2), I(3), I(4)})
                                    : Call(c.command, {Of(ship), I(4242), I(1), I(1), I(1)});
    EXPECT_TRUE(r.answered) << c.command;
    EXPECT_EQ(r.value, 0) << c.command;
    EXPECT_EQ(ship->moduleNo, 0u) << c.command;
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE) << c.command;
  }
  // Clearing a hangar needs a dock, factory, ship or gate.
  SpaceObject* planet = In(kClassPlanet, 0, 0);
  EXPECT_EQ(Call(kClearFromHangar, {Of(ship), Of(planet), I(0)}).value, 0);
  EXPECT_EQ(ShipOrderMode(ship), OM_NONE);
}

TEST_F(OrderCommands, DockingSlotChecksFailWithBothReservationsCleared) {
  // The dock type has one docking place; the dock made from it has no entry nodes for it.
  DockTypeWithOnePlace();
  SpaceObject* dock = In(kClassDock, 0, 0, 1000);
  dock->flags |= kObjFlagContainer;
  struct Case {
    const char* what;
    int32_t command;
    SpaceObject* container;
    int32_t slot;
  };
  const Case kCases[] = {
      {"fly into: slot past the count", kFlyInto, dock, 1},
      {"fly into: no entry for the slot", kFlyInto, dock, 0},
      {"fly before: no approach", kFlyBefore, dock, 0},
      {"before: slot past the count", kIsBefore, dock, 1},
      {"before: no entry", kIsBefore, dock, 0},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    Ext(ship)->dockSlot = 5;
    Ext(ship)->orderWords[kEntryIndexWord] = 5;
    const Reply r = Call(c.command, {Of(ship), Of(c.container), I(c.slot), I(2)});
    EXPECT_TRUE(r.answered) << c.what;
    EXPECT_EQ(r.value, 0) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE) << c.what;
    if (c.command != kIsBefore) {
      EXPECT_EQ(Ext(ship)->dockSlot, -1) << c.what;
    }
    if (c.command == kFlyInto) {
      EXPECT_EQ(int32_t(Word(ship, kEntryIndexWord)), -1) << c.what;
    }
  }
}

// A dock of radius 1000 at the origin with one docking place, whose one entry lies 5000 ahead
// and faces ahead: its approach point lies at 5000 + (5000 + 1000 + 10 + 50000) for a ship of
// radius 10.
TEST_F(OrderCommands, DockingPlacesGiveTheEntryAndItsApproach) {
  constexpr int32_t kApproachZ = 5000 + 56010;
  DockTypeWithOnePlace();
  SpaceObject* dock = In(kClassDock, 0, 0, 1000);
  dock->flags |= kObjFlagContainer;
  MatrixSetIdentity(&dock->instance->matrix);
  auto* dockExt = static_cast<DockExt*>(dock->ext);
  dockExt->innerPoint = {0, 0, 2 * kFixedOne, 0};
  dockExt->outerPoint = {0, 0, 3 * kFixedOne, 0};
  InstanceRecord entry{};
  entry.position = entry.world = {0, 0, 5000, 0};
  MatrixSetIdentity(&entry.worldMatrix);
  DockSlotRow row{};
  row.entries[0] = &entry;
  row.entryCount = 1;
  row.port = &port_;
  DockSlotTable table{&places_, 1, &row, 1};
  struct Restore {
    DockExt* ext;
    DockSlotTable* own;
    ~Restore() { ext->dockSlots = own; }  // the table lives on this stack
  } restore{dockExt, dockExt->dockSlots};
  dockExt->dockSlots = &table;

  struct Case {
    const char* what;
    int32_t command, slot;
    int32_t pointZ, secondZ, reservedSlot;
  };
  const Case kCases[] = {
      {"into the place: its entry, and 0.7 of the way to the approach", kFlyInto, 0, 5000,
       5000 + int32_t((int64_t{0xB333} * 56010) >> 16), 0},
      {"into the dock: its entry vector", kFlyInto, -1, 2000, 2000, -1},
      {"before the place: its approach, in the dock's frame", kFlyBefore, 0, kApproachZ, 0, 0},
      {"before the dock: its front vector", kFlyBefore, -1, 3000, 0, -1},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0, 0, 200000);
    const Reply r = Call(c.command, {Of(ship), Of(dock), I(c.slot), I(3)});
    EXPECT_TRUE(WaitsOn(r, ship)) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), c.command == kFlyInto ? OM_FLY_INTO_CONTAINER : OM_FLY_BEFORE_CONTAINER);
    EXPECT_EQ(ShipOrderTarget(ship), dock);
    EXPECT_EQ(Ext(ship)->commandPoint.x, 0) << c.what;
    EXPECT_EQ(Ext(ship)->commandPoint.z, c.pointZ) << c.what;
    if (c.command == kFlyInto) {
      EXPECT_EQ(int32_t(Word(ship, kSecondPointWord + 2)), c.secondZ) << c.what;
    }
    EXPECT_EQ(Ext(ship)->dockSlot, c.reservedSlot) << c.what;
    if (c.reservedSlot >= 0) {
      EXPECT_EQ(int32_t(Word(ship, kEntryIndexWord)), 3) << c.what;
    }
    ship->flags |= kObjFlagRemoving;
  }

  // Leaving the hangar: toward 1110000 ahead of the place's entry; without the place, from where
  // the ship is, never toward what an earlier order left.
  struct Leave {
    int32_t slot, pointZ;
  };
  for (const Leave& l : {Leave{0, 5000 + 1110000}, Leave{1, 700}}) {
    SpaceObject* ship = ShipAt(0, 0, 700);
    Ext(ship)->commandPoint = {9, 9, 9, 0};
    EXPECT_TRUE(WaitsOn(Call(kClearFromHangar, {Of(ship), Of(dock), I(l.slot)}), ship)) << l.slot;
    EXPECT_EQ(ShipOrderMode(ship), OM_CLEAR_FROM_HANGAR);
    EXPECT_EQ(Ext(ship)->commandPoint.x, 0) << l.slot;
    EXPECT_EQ(Ext(ship)->commandPoint.z, l.pointZ) << l.slot;
    EXPECT_EQ(int32_t(Word(ship, kSecondPointWord + 2)), 700);
    EXPECT_EQ(Ext(ship)->dockSlot, l.slot);
    ship->flags |= kObjFlagRemoving;
  }

  // Before the place: facing the entry, in front of it and within the approach's distance.
  struct Before {
    const char* what;
    int32_t z;
    uint32_t yaw;
    int32_t answer;
  };
  const Before kBefore[] = {
      {"in front, facing the entry", 50000, 32768, 1},
      {"in front, facing away", 50000, 0, 0},
      {"beyond the approach", 70000, 32768, 0},
      {"behind the entry", 1000, 0, 0},
  };
  for (const Before& b : kBefore) {
    SpaceObject* ship = ShipAt(0, 0, b.z);
    MatrixFromAngles(&Ext(ship)->rotation, b.yaw, 0, 0);
    EXPECT_EQ(Call(kIsBefore, {Of(ship), Of(dock), I(0)}).value, b.answer) << b.what;
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE);
    ship->flags |= kObjFlagRemoving;
  }
}

TEST_F(OrderCommands, FlyIntoAGateSpreadsSmallShipsWithinFortyFiveDegrees) {
  SpaceObject* gate = In(kClassGate, 0, 0, 65536);  // radius 1.0: the entry vector as it is
  gate->flags |= kObjFlagContainer;
  MatrixSetIdentity(&gate->instance->matrix);
  FixedVector entry;
  ASSERT_TRUE(ContainerDockVectors(gate, &entry, nullptr));
  ASSERT_NE(entry.y, 0);
  const double length = std::abs(double(entry.y));
  double smallest = 1e9, largest = -1e9;
  for (int i = 0; i < 300; ++i) {
    SpaceObject* ship = ShipAt(0);
    EXPECT_TRUE(WaitsOn(Call(kFlyInto, {Of(ship), Of(gate), I(-1)}), ship));
    const FixedVector& p = Ext(ship)->commandPoint;
    EXPECT_EQ(p.z, entry.z);
    const double angle = std::atan2(-double(p.x), double(p.y) * (entry.y < 0 ? -1 : 1)) * 180 / M_PI;
    EXPECT_NEAR(std::hypot(double(p.x), double(p.y)), length, 2);
    smallest = std::min(smallest, angle);
    largest = std::max(largest, angle);
    EXPECT_EQ(Word(ship, kSecondPointWord), uint32_t(p.x));
    ship->flags |= kObjFlagRemoving;
  }
  EXPECT_GE(smallest, -45.01);
  EXPECT_LE(largest, 45.01);
  EXPECT_LT(smallest, -40);
  EXPECT_GT(largest, 40);
}

TEST_F(OrderCommands, AttackAimsWithinOneHundredThousandOfItsTarget) {
  struct Case {
    int32_t sizes;  // of each instance
    int32_t delay;
    uint32_t timer;
  };
  const Case kCases[] = {{10, 0, kStart + 50}, {30000, 700, kStart + 700}, {90000, -4, kStart + 50}};
  for (const Case& c : kCases) {
    for (int i = 0; i < 50; ++i) {
      SpaceObject* ship = ShipAt(0, 0, 0, c.sizes);
      SpaceObject* target = ShipAt(0, 0, 1000000, c.sizes);
      EXPECT_TRUE(WaitsOn(Call(i % 2 ? kAttack : kAttackBig, {Of(ship), Of(target), I(c.delay), I(0)}), ship));
      const FixedVector& p = Ext(ship)->commandPoint;
      const double r = std::hypot(double(p.x), double(p.y));
      const double expected = std::min(2.0 * B3D_InstGetTotalSize(ship->instance), 100000.0);
      EXPECT_NEAR(r, expected, 3) << c.sizes;
      EXPECT_EQ(p.z, 0);
      EXPECT_EQ(OrderWord(Ext(ship), kAttackTimerWord), c.timer);
      EXPECT_EQ(OrderWord(Ext(ship), kOrderEndFlagWord), 0u);
      ship->flags |= kObjFlagRemoving;
      target->flags |= kObjFlagRemoving;
    }
  }
}

TEST_F(OrderCommands, TimedOrdersSetTheirEndOnlyForAPositiveTime) {
  SpaceObject* target = ShipAt(0, 0, 100000);
  struct Case {
    int32_t command;
    std::vector<int32_t> tail;  // after ship and target
    int32_t mode;
    uint32_t flag, end;
  };
  const Case kCases[] = {
      {kCapture, {500}, OM_CAPTURE, 1, kStart + 500},
      {kCapture, {0}, OM_CAPTURE, 0, 0},
      {kFollow, {3000, 900}, OM_FOLLOW, 1, kStart + 900},
      {kDefensive, {}, OM_DEFENSIVE_MOVE, 1, kStart + 300000},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    std::vector<ScriptValue> frame = {Of(ship), Of(target)};
    for (int32_t v : c.tail) frame.push_back(I(v));
    if (c.command == kDefensive) frame = {Of(ship), I(0), I(40), I(0), Of(target)};
    EXPECT_TRUE(WaitsOn(Call(c.command, frame), ship)) << c.command;
    EXPECT_EQ(ShipOrderMode(ship), c.mode);
    EXPECT_EQ(ShipOrderTarget(ship), target);
    EXPECT_EQ(OrderWord(Ext(ship), kOrderEndFlagWord), c.flag) << c.command;
    if (c.flag) {
      EXPECT_EQ(OrderWord(Ext(ship), kOrderEndTimeWord), c.end) << c.command;
    }
  }
}

TEST_F(OrderCommands, TurretOrdersWaitOnTheTurretRowOnly) {
  ships_[0].ship.turretCount = 3;
  SpaceObject* ship = ShipAt(0);
  SpaceObject* target = ShipAt(0, 0, 100000);
  struct Case {
    const char* what;
    int32_t turret, minimum, maximum;
  };
  const Case kRefused[] = {
      {"turret 0: the forward group", 0, 100, 500}, {"past the turret count", 3, 100, 500},
      {"negative turret", -1, 100, 500},            {"no minimum time", 1, 0, 500},
      {"maximum below the minimum", 1, 600, 500},
  };
  for (const Case& c : kRefused) {
    const Reply r = Call(kTurretToObject, {Of(ship), Of(target), I(c.turret), I(c.minimum), I(c.maximum)});
    EXPECT_TRUE(r.answered) << c.what;
    EXPECT_EQ(r.value, 0) << c.what;
    for (const TurretRow& row : Ext(ship)->turrets) EXPECT_EQ(row.moduleNo, 0u) << c.what;
  }
  const Reply aim = Call(kTurretToObject, {Of(ship), Of(target), I(2), I(100), I(100)});
  EXPECT_FALSE(aim.answered);
  TurretRow& row = Ext(ship)->turrets[2];
  EXPECT_EQ(row.moduleNo, uint32_t(kWaitModule));
  EXPECT_EQ(row.handle, uint32_t(aim.task->id));
  EXPECT_EQ(row.targetObject, target);
  EXPECT_EQ(row.words[kTurretAlignCheckWord], kStart + 100);
  EXPECT_EQ(row.words[kTurretAimUntilWord], kStart + 100);
  EXPECT_EQ(row.words[kTurretAimModeWord], 0u);
  EXPECT_EQ(ship->moduleNo, 0u);  // the ship itself has no waiting call

  EXPECT_EQ(Call(kStopTurret, {Of(ship), I(2), I(13)}).value, 0);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0], std::make_pair(uint32_t(aim.task->id), 13));
  EXPECT_EQ(row.moduleNo, 0u);
  EXPECT_EQ(row.targetObject, nullptr);
  EXPECT_EQ(row.words[kTurretAimUntilWord], 0u);
  EXPECT_EQ(Call(kStopTurret, {Of(ship), I(0), I(3)}).value, 0);
  EXPECT_EQ(woken_.size(), 1u);
}

// The position need not be an array of three: what is missing aims at 0, and nothing faults.
TEST_F(OrderCommands, TurretTurnToPositionReadsOnlyWhatTheArrayHolds) {
  ships_[0].ship.turretCount = 2;
  SpaceObject* ship = ShipAt(0);
  struct Case {
    const char* what;
    ScriptValue position;
    int32_t x, y, z;
  };
  const Case kCases[] = {
      {"three elements", Array({4, 5, 6}), 4, 5, 6}, {"one element", Array({7}), 7, 0, 0},
      {"empty array", Array({}), 0, 0, 0},           {"an integer", I(99), 0, 0, 0},
      {"a text", Text("abc"), 0, 0, 0},
  };
  for (const Case& c : kCases) {
    TurretRow& row = Ext(ship)->turrets[1];
    row.targetObject = ship;
    const Reply r = Call(kTurretToPosition, {Of(ship), c.position, I(1), I(10), I(20)});
    EXPECT_FALSE(r.answered) << c.what;
    EXPECT_EQ(row.targetObject, nullptr);
    EXPECT_EQ(row.words[kTurretAimModeWord], kTurretAimDirection);
    EXPECT_EQ(int32_t(row.stateWords[kTurretTargetPointWord]), c.x) << c.what;
    EXPECT_EQ(int32_t(row.stateWords[kTurretTargetPointWord + 1]), c.y) << c.what;
    EXPECT_EQ(int32_t(row.stateWords[kTurretTargetPointWord + 2]), c.z) << c.what;
  }
  // A frame that ends before the array: the turret is missing too, so the order is refused.
  EXPECT_EQ(Call(kTurretToPosition, {Of(ship)}, 1).value, 0);
}

// Through the frame step: a move wakes its task with 1 on arrival, an attack with 3 once its
// target is freed, and a second order leaves the first task waiting for good.
TEST_F(OrderCommands, OrdersRunToTheirEndThroughTheFrameStep) {
  gSectorSteps.flight = [](SectorObject*) {};  // the ship is placed by hand
  SpaceObject* ship = ShipAt(0);
  Ext(ship)->thinkPeriod = 0;
  const Reply move = Call(kMovePos, {Of(ship), I(0), I(0), I(100000), I(1000)});
  ASSERT_TRUE(WaitsOn(move, ship));
  SetTime(kStart + 16);
  StepUniverse();
  EXPECT_TRUE(woken_.empty());
  Place(ship, 0, 0, 99500);
  SetTime(kStart + 32);
  StepUniverse();
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0], std::make_pair(uint32_t(move.task->id), 1));

  SpaceObject* target = ShipAt(0, 0, 2000000);
  const Reply attack = Call(kAttack, {Of(ship), Of(target), I(0), I(0)});
  ASSERT_TRUE(WaitsOn(attack, ship));
  Call(1, {Of(target)});  // SA_FreeObject
  SetTime(kStart + 48);
  StepUniverse();
  ASSERT_EQ(woken_.size(), 2u);
  EXPECT_EQ(woken_[1], std::make_pair(uint32_t(attack.task->id), 3));

  const Reply first = Call(kIdle, {Of(ship), I(100000)});
  const Reply second = Call(kMovePos, {Of(ship), I(0), I(0), I(99500), I(1000)});
  EXPECT_TRUE(WaitsOn(second, ship));
  SetTime(kStart + 64);
  StepUniverse();
  ASSERT_EQ(woken_.size(), 3u);
  EXPECT_EQ(woken_[2], std::make_pair(uint32_t(second.task->id), 1));
  EXPECT_FALSE(first.task->hasResult);
  gSectorSteps = DefaultSectorSteps();
}

}  // namespace
