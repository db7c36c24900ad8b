// The flight pass: the step each object integrates, the motion profile's arrival, drift decay,
// the player's distance counter, shot growth, skipped objects, thrusters, roll levelling, the
// sector spin, externally moved objects, and ships under orders turning toward their point.
#include "update_world.h"

#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "simulation/flight.h"

namespace {

constexpr uint32_t kNow = 20000;
constexpr uint32_t kSteered = 1u << 19;

class FlightTest : public UpdateWorld {
 protected:
  // A ship at the origin facing +z, flying straight at `speed`, last updated `ago` ms before now.
  SpaceObject* Flyer(int32_t speed, int32_t ago = 16) {
    SpaceObject* ship = ShipAt(0);
    MatrixSetIdentity(&ship->instance->matrix);
    MatrixSetIdentity(&Ext(ship)->rotation);
    for (int i = 0; i < 3; ++i) ship->turnRates[i] = ship->refAngles[i] = ship->angles[i] = 0;
    ship->instance->velocity = {};
    ship->baseVelocity = {};
    ship->speed = speed;
    ship->createdAt = kNow - static_cast<uint32_t>(ago);
    return ship;
  }

  void Fly(uint32_t step = 16) {
    SetTime(kNow, step);
    UpdateSectorFlight(sector_);
  }
};

TEST_F(FlightTest, EachObjectIntegratesItsOwnStepCappedAtOneSecond) {
  struct Case {
    int32_t ago;  // ms since the object's last update; negative: in the future
    int32_t z;    // distance flown at 1000 units per second
  };
  const Case kCases[] = {{16, 16}, {1000, 1000}, {2000, 1000}, {-500, 1000}, {0, 0}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(1000, c.ago);
    Fly();
    EXPECT_EQ(ship->instance->position.z, c.z) << c.ago;
    EXPECT_EQ(ship->createdAt, kNow) << c.ago;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, RemainingRotationArrivesExactlyWithoutOvershoot) {
  ships_[0].turnRate[0] = 20000;
  ships_[0].ship.value27 = 100;
  const int32_t kCases[] = {5, -5, 1, 3000, -30000};
  for (const int32_t remaining : kCases) {
    SpaceObject* ship = Flyer(0);
    ship->flags |= kSteered;
    ship->refAngles[0] = remaining;
    uint32_t now = kNow;
    for (int frame = 0; frame < 400 && ship->refAngles[0] != 0; ++frame, now += 16) {
      SetTime(now);
      UpdateSectorFlight(sector_);
      // Never past the target: what is left keeps its sign.
      ASSERT_GE(int64_t{ship->refAngles[0]} * remaining, 0) << remaining;
    }
    EXPECT_EQ(ship->refAngles[0], 0) << remaining;
    EXPECT_EQ(ship->turnRates[0], 0) << remaining;
    // The angle comes back from the turned matrix, so it is only as exact as the matrix.
    EXPECT_NEAR(static_cast<int16_t>(ship->angles[0]), remaining, 20) << remaining;
    KillObject(ship, 16, nullptr, 0);
  }
}

// A ship flying a move order turns its nose onto the order point, frame by frame through the object
// update and the flight pass; a ship a player flies by hand turns only at the rates its pilot gives
// it, unless its autopilot is on.
TEST_F(FlightTest, ShipsUnderOrdersTurnTowardTheirPointUnlessFlownByHand) {
  FlyingTypes();
  ships_[0].ship.value27 = 100;
  struct Case {
    const char* who;
    uint32_t flags;
    bool turns;
  };
  const Case kCases[] = {
      {"a ship under orders", 0, true},
      {"the player's ship by hand", kObjFlagBit1, false},
      {"a ship under player control", 1u << 18, false},
      {"the player's ship on autopilot", kObjFlagBit1 | kSteered, true},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipFacing(0, {0, 0, 0, 0}, 10, 0);
    ship->flags |= c.flags;
    // A point a quarter turn to the side and far enough never to be reached.
    Order(ship, OM_MOVE_POS, nullptr, {50000000, 0, 0, 0}, 100);
    const FixedMatrix& flight = Ext(ship)->rotation;
    ASSERT_EQ(flight.m[2][0], 0) << c.who;
    uint32_t now = kNow;
    for (int frame = 0; frame < 300; ++frame, now += 16) {
      Frame(now);
      UpdateSectorFlight(sector_);
    }
    if (c.turns) {
      EXPECT_GT(flight.m[2][0], 65000) << c.who;  // flying straight at the point
      EXPECT_GT(ship->instance->position.x, 0) << c.who;
    } else {
      EXPECT_EQ(flight.m[2][0], 0) << c.who;
      EXPECT_EQ(ship->instance->position.x, 0) << c.who;
    }
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, DriftMovesTheObjectAndDecaysWithTheStep) {
  struct Case {
    int32_t drift;
    int32_t ago;
    int32_t after;
    int32_t moved;
  };
  const Case kCases[] = {
      {1, 1000, 0, 1}, {1000, 1000, 500, 1000}, {1000, 16, 992, 16}, {-1000, 500, -750, -500}, {0, 1000, 0, 0}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(0, c.ago);
    ship->baseVelocity.x = c.drift;
    Fly();
    EXPECT_EQ(ship->baseVelocity.x, c.after) << c.drift << " " << c.ago;
    EXPECT_EQ(ship->instance->position.x, c.moved) << c.drift << " " << c.ago;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, PlayersDistanceCarriesIntoWholeUnits) {
  struct Case {
    uint32_t remainder;
    int32_t speed;
    int32_t ago;
    uint32_t afterRemainder;
    uint32_t units;
  };
  const Case kCases[] = {{0, 100000, 1000, 100000, 0},
                         {450000, 100000, 1000, 50000, 1},
                         {499999, 1000, 1, 0, 1},
                         {0, -200000, 1000, 200000, 0},
                         {400000, 1100000, 1000, 0, 3}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(c.speed, c.ago);
    ship->flags |= kObjFlagBit1;
    universe_.statWords[kFlownRemainderWord] = c.remainder;
    universe_.statWords[kFlownUnitsWord] = 0;
    Fly();
    EXPECT_EQ(universe_.statWords[kFlownRemainderWord], c.afterRemainder) << c.remainder;
    EXPECT_EQ(universe_.statWords[kFlownUnitsWord], c.units) << c.remainder;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, GrowingShotWithoutLifetimeHasTheBaseSize) {
  bullets_[3].bullet.flags = 0x8;
  bullets_[3].bullet.lifetime = 0;
  SpaceObject* shot = In(kClassBullet, 3, 0);
  shot->createdAt = kNow - 16;
  Fly();
  EXPECT_EQ(shot->instance->size, 100);
  EXPECT_EQ(shot->createdAt, kNow);
}

TEST_F(FlightTest, RemovedAndHeldObjectsKeepTheirLastUpdateTime) {
  struct Case {
    uint32_t flags, flags2;
  };
  const Case kCases[] = {{kObjFlagRemoving, 0}, {0, kObjFlag2Attached}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(1000, 400);
    ship->flags |= c.flags;
    ship->flags2 |= c.flags2;
    Fly();
    EXPECT_EQ(ship->createdAt, kNow - 400) << c.flags << " " << c.flags2;
    EXPECT_EQ(ship->instance->position.z, 0) << c.flags << " " << c.flags2;
    ship->flags &= ~kObjFlagRemoving;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, SmallDirectionThrusterIsHiddenWithItsChildren) {
  universe_.runState[0] = 1;
  struct Case {
    int32_t ago;    // the ship's step; 0: made this frame, when nothing grows
    int32_t start;  // the thruster's size
    bool hidden;
  };
  const Case kCases[] = {{1, 0, true}, {2, 200, false}, {16, 0, false}, {0, 0, true}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(0, c.ago);
    ship->turnRates[0] = 5000;  // an acceleration a zero step must not divide
    InstanceRecord* thruster = B3D_InstAlloc();
    InstanceRecord* flame = B3D_InstAlloc();
    ASSERT_TRUE(thruster && flame);
    ASSERT_TRUE(B3D_InstAddToInst(thruster, ship->instance));
    ASSERT_TRUE(B3D_InstAddToInst(flame, thruster));
    thruster->word26 = 1;
    thruster->collisionMask = 0x4;
    thruster->scale.z = c.start;
    Fly();
    const bool hidden = (thruster->flags & kInstInvisible) != 0;
    EXPECT_EQ(hidden, c.hidden) << c.ago << " " << c.start;
    EXPECT_EQ((flame->flags & kInstInvisible) != 0, c.hidden) << c.ago << " " << c.start;
    EXPECT_EQ(thruster->scale.z, c.start + 262 * c.ago) << c.ago;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, RollIsLevelledOnlyAwayFromSteepPitch) {
  ships_[0].turnRate[2] = 20000;
  ships_[0].ship.value27 = 100;
  universe_.modeFlags = 0x2;
  universe_.referenceRoll = 4000;
  struct Case {
    int32_t pitch;
    bool levels;
  };
  const Case kCases[] = {{0, true}, {8191, true}, {57345, true}, {8192, false}, {16384, false}, {57344, false}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(0);
    ship->flags |= kObjFlagBit1;
    ship->angles[1] = c.pitch;
    Fly();
    EXPECT_EQ(ship->turnRates[2] != 0, c.levels) << c.pitch;
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(FlightTest, SectorSpinClockWrapsAndHugeRatesDoNotFault) {
  struct Case {
    int32_t rate;
    uint32_t clock, afterClock, angle;
  };
  const Case kCases[] = {{6553600, 0, 6, 39321}, {1000, 100, 116, 116}, {70000000, 5, 0, 0}, {-70000000, 5, 0, 0},
                         {-6553600, 0, 6, static_cast<uint32_t>(-39321)}};
  for (const Case& c : kCases) {
    sector_->sectorWords[kSpinRateWord] = static_cast<uint32_t>(c.rate);
    sector_->sectorWords[kSpinClockWord] = c.clock;
    sector_->createdAt = kNow - 16;
    Fly();
    EXPECT_EQ(sector_->sectorWords[kSpinClockWord], c.afterClock) << c.rate;
    EXPECT_EQ(sector_->sectorWords[kSpinAngleWord], c.angle) << c.rate;
  }
}

TEST_F(FlightTest, ExternallyMovedSpeedIsCappedAtTenTimesTheTunedSpeed) {
  struct Case {
    FixedVector velocity;
    int32_t speed;
  };
  const Case kCases[] = {{{3, 4, 0, 0}, 5}, {{30000000, 0, 0, 0}, 10 * kVmax}, {{0, 0, 0, 0}, 0}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Flyer(123);
    ship->flags |= kObjFlagCarried;
    ship->instance->velocity = c.velocity;
    Fly();
    EXPECT_EQ(ship->speed, c.speed) << c.velocity.x;
    EXPECT_EQ(ship->instance->position.z, 0) << c.velocity.x;  // it is not moved here
    ship->flags &= ~kObjFlagCarried;
    KillObject(ship, 16, nullptr, 0);
  }
}

}  // namespace
