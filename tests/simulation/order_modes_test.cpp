// The ship order modes: every way an order ends wakes its task exactly once with 1, 3 or 13; the
// time limit, the decision throttle, the landing watch, and the speeds, paths and end rules of
// the moves, glides, turns, warps and attacks. Ships face +z; the game's generator starts at 1.
#include <cmath>
#include <string>

#include "update_world.h"

#include "simulation/universe_guard.h"

namespace {

using Orders = UpdateWorld;

constexpr uint32_t kStart = 20000;

TEST_F(Orders, EveryEndWakesTheWaitingTaskOnceAndClearsTheCall) {
  enum Target { kNoTarget, kAhead, kFarAhead, kRemoved };
  struct Case {
    const char* what;
    int32_t mode;
    Target target;
    FixedVector point;
    int32_t arrival;
    bool timed;  // the end time lies at kStart
    int32_t result;
    int32_t modeAfter;
  };
  const Case kCases[] = {
      {"turn: no target", OM_TURN_TO_OBJECT, kNoTarget, {}, 0, false, kOrderFailed, OM_TURNED},
      {"turn: target out of range", OM_TURN_TO_OBJECT, kFarAhead, {}, 100000, false, kOrderFailed, OM_TURNED},
      {"turn: facing the target", OM_TURN_TO_OBJECT, kAhead, {}, 2000000, false, kOrderDone, OM_TURNED},
      {"attack: target gone", OM_ATTACK, kRemoved, {}, 0, false, kOrderFailed, OM_NONE},
      {"attack: time over", OM_ATTACK, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"big attack: no target", OM_ATTACK_BIG, kNoTarget, {}, 0, false, kOrderFailed, OM_NONE},
      {"capture: within twice the radii", OM_CAPTURE, kAhead, {}, 0, false, kOrderDone, OM_NONE},
      {"capture: time over", OM_CAPTURE, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"escort: time over", OM_ESCORT, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"follow: time over", OM_FOLLOW, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"evasion: time over", OM_DEFENSIVE_MOVE, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"collect: target gone", OM_COLLECT_DEBRIS, kRemoved, {}, 0, false, kOrderFailed, OM_NONE},
      {"collect: time over", OM_COLLECT_DEBRIS, kFarAhead, {}, 0, true, kOrderTimedOut, OM_NONE},
      {"move: arrived", OM_MOVE_POS, kNoTarget, {0, 0, 500, 0}, 1000, false, kOrderDone, OM_NONE},
      {"move on: arrived", OM_MOVE_POS_CONTINUE, kNoTarget, {0, 0, 500, 0}, 1000, false, kOrderDone, OM_NONE},
      {"idle: end time", OM_IDLE, kNoTarget, {}, 0, true, kOrderDone, OM_NONE},
      {"glide: arrived", OM_GLIDE_POS, kNoTarget, {0, 0, 500, 0}, (100 << 16) | 10, false, kOrderDone, OM_NONE},
      {"rotate: facing, no roll", OM_ROTATE_TO_ANGLES, kNoTarget, {0, 0, INT32_MIN, 0}, 0, false, kOrderDone,
       OM_NONE},
      {"warp in: path over", OM_WARP_IN, kNoTarget, {}, 0, false, kOrderDone, OM_NONE},
      {"warp away: path over", OM_WARP_AWAY, kNoTarget, {}, 0, false, kOrderDone, OM_NONE},
      {"follow by cut: no target", OM_FOLLOW_BY_CUT, kNoTarget, {}, 0, false, kOrderFailed, OM_NONE},
  };
  for (const Case& c : kCases) {
    SetTime(kStart);
    SpaceObject* ship = ShipAt(0, 0, 0, 1000);
    SpaceObject* target = nullptr;
    if (c.target != kNoTarget) target = ShipAt(0, 0, c.target == kFarAhead ? 5000000 : 1500, 1000);
    if (c.target == kRemoved) target->flags |= kObjFlagRemoving;
    Order(ship, c.mode, target, c.point, c.arrival);
    Ext(ship)->dockSlot = 4;
    if (c.timed) {
      OrderWord(Ext(ship), kOrderEndTimeWord) = kStart;
      OrderWord(Ext(ship), kOrderEndFlagWord) = 1;
    }
    woken_.clear();
    for (uint32_t t = kStart; t < kStart + 2000; t += 100) Frame(t);
    ASSERT_EQ(woken_.size(), 1u) << c.what;
    EXPECT_EQ(woken_[0].first, cookie_) << c.what;
    EXPECT_EQ(woken_[0].second, c.result) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), c.modeAfter) << c.what;
    EXPECT_EQ(ship->moduleNo, 0u) << c.what;
    if (c.mode == OM_FOLLOW_BY_CUT || (c.mode == OM_ATTACK && c.result == kOrderFailed)) {
      EXPECT_EQ(Ext(ship)->dockSlot, -1) << c.what;
    }
  }
}

TEST_F(Orders, ATimedAttackEndsWithTimeOverExactlyAtItsEndTime) {
  SpaceObject* ship = ShipAt(0);
  SpaceObject* target = ShipAt(0, 0, 5000000);
  SetTime(kStart);
  Order(ship, OM_ATTACK, target);
  OrderWord(Ext(ship), kOrderEndTimeWord) = kStart + 1000;
  OrderWord(Ext(ship), kOrderEndFlagWord) = 1;
  Frame(kStart + 999);
  EXPECT_TRUE(woken_.empty());
  EXPECT_EQ(ShipOrderMode(ship), OM_ATTACK);
  Frame(kStart + 1000);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderTimedOut);
  EXPECT_EQ(OrderWord(Ext(ship), kOrderEndFlagWord), 0u);
  // Without the flag the end time means nothing.
  SpaceObject* other = ShipAt(100);
  Order(other, OM_ATTACK, target);
  OrderWord(Ext(other), kOrderEndTimeWord) = kStart;
  woken_.clear();
  Frame(kStart + 5000);
  EXPECT_TRUE(woken_.empty());
  EXPECT_EQ(ShipOrderMode(other), OM_ATTACK);
}

TEST_F(Orders, AModeWithoutHandlerOnlyRechargesAndSettlesSpeed) {
  ships_[0].ship.maxWeaponEnergy = 1000;
  ships_[0].ship.weaponRecharge = kFixedOne;
  ships_[0].turnRate[0] = ships_[0].turnRate[1] = ships_[0].turnRate[2] = 100000;
  struct Case {
    int32_t mode;
    bool turnsDamped;
  };
  const Case kCases[] = {{7, false}, {OM_UNUSED_1, false}, {OM_NONE, true}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    Order(ship, c.mode);
    Ext(ship)->weaponEnergy = 0;
    ship->turnRates[0] = 40000;
    ship->turnRates[1] = -40000;
    ship->refAngles[0] = 1234;
    ship->speedLimit = 50000;
    ship->flags2 |= kObjFlag2VanishWhenDone;
    Frame(kStart);
    EXPECT_EQ(Ext(ship)->weaponEnergy, 16000) << c.mode;  // (1.0 x 1,000,000) x 16 ms / 1000
    EXPECT_EQ(ship->speed, kAccel * 16 / 1000) << c.mode;
    EXPECT_EQ(ship->refAngles[0], 1234) << c.mode;
    EXPECT_EQ(ship->turnRates[0] != 40000, c.turnsDamped) << c.mode;
    EXPECT_EQ(ship->moduleNo, uint32_t{kWaitModule}) << c.mode;  // nobody is woken
  }
}

TEST_F(Orders, NoneDampsTurnsTowardZeroUnlessTheCockpitViewFollowsTheShip) {
  ships_[0].turnRate[0] = ships_[0].turnRate[1] = ships_[0].turnRate[2] = 100000;
  SpaceObject* ship = ShipAt(0);
  SpaceObject* viewed = ShipAt(100);
  followed_ = viewed;
  for (SpaceObject* s : {ship, viewed}) {
    Order(s, OM_NONE);
    s->turnRates[0] = 5000;
    s->turnRates[1] = -1000000;
    s->turnRates[2] = 1000000;
  }
  Frame(kStart, 100);
  // r = 300000 x 100 / 1000 = 30000; the first two move by r x 31129 / 65536, the third by r / 4.
  EXPECT_EQ(ship->turnRates[0], 0);  // never past 0
  EXPECT_EQ(ship->turnRates[1], -1000000 + 30000 * 31129 / 65536);
  EXPECT_EQ(ship->turnRates[2], 1000000 - 30000 / 4);
  EXPECT_EQ(viewed->turnRates[1], -1000000);
}

TEST_F(Orders, ThrottledModesDecideWhenTheirDecisionTimeComes) {
  struct Case {
    int32_t interval;
    bool decidesEveryFrame;
  };
  const Case kCases[] = {{0, true}, {-5, true}, {100000, false}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    SetTime(kStart);
    Order(ship, OM_MOVE_POS, nullptr, {0, 0, 5000000, 0}, 100);
    Ext(ship)->thinkPeriod = static_cast<uint32_t>(c.interval);
    GameSrand(1);  // the first draw, 41, puts the next decision 125 ms ahead; the second, a minute
    int decisions = 0;
    for (uint32_t t = kStart; t < kStart + 200; t += 10) {
      ship->speedLimit = -1;
      Frame(t);
      if (ship->speedLimit != -1) ++decisions;
      if (c.decidesEveryFrame) {
        EXPECT_EQ(Ext(ship)->thinkDue, t) << c.interval;
      }
    }
    EXPECT_EQ(decisions, c.decidesEveryFrame ? 20 : 2) << c.interval;
  }
}

TEST_F(Orders, PlayerLandingAbortsWhenNeverNearAfterAMinuteAndAnywayAfterSixMinutes) {
  Rows(kClassDock, 1);
  struct Case {
    const char* what;
    int32_t distance;  // from the dock (radius 100000)
    uint32_t lastGoingOn, abortAt;
  };
  const Case kCases[] = {
      {"never within twice the radius", 200001, kStart + 60000, kStart + 60001},
      {"within twice the radius", 200000, kStart + 360000, kStart + 360001},
  };
  for (const Case& c : kCases) {
    SpaceObject* dock = In(kClassDock, 0, 0, 100000);
    SpaceObject* ship = ShipAt(0, 0, c.distance);
    SetTime(kStart);
    Order(ship, OM_PLAYER_LAND, dock);
    ship->moduleNo = 0;  // nobody waits on a landing
    Ext(ship)->thinkDue = kStart + 60000;
    events_.clear();
    for (uint32_t t : {kStart, kStart + 59999, c.lastGoingOn}) {
      dock->flags &= ~(1u << 28);
      Frame(t);
      EXPECT_EQ(ShipOrderMode(ship), OM_PLAYER_LAND) << c.what << " " << t;
      EXPECT_TRUE(dock->flags & (1u << 28)) << c.what << " " << t;
    }
    EXPECT_TRUE(events_.empty()) << c.what;
    Frame(c.abortAt);
    Frame(c.abortAt + 1000);
    ASSERT_EQ(events_.size(), 1u) << c.what;
    EXPECT_EQ(events_[0].objectId, 150u);
    EXPECT_EQ(events_[0].name, "NotifyDockingAbort");
    EXPECT_EQ(events_[0].argCount, 1);
    EXPECT_EQ(events_[0].a, static_cast<int32_t>(ship->id));
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE);
    EXPECT_EQ(Ext(ship)->dockSlot, -1);
  }
}

TEST_F(Orders, MovingOnSetsItsSpeedByHowFarTheShipFacesAway) {
  struct Case {
    double cosine;
    int32_t speed;
  };
  const Case kCases[] = {{-0.1, kVmax / 4}, {0.5, kVmax * 7 / 10}, {0.8, kVmax}, {0.0, kVmax * 4 / 10}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    const double d = 3000000;
    const FixedVector point = {int32_t(std::sqrt(1 - c.cosine * c.cosine) * d), 0, int32_t(c.cosine * d), 0};
    Order(ship, OM_MOVE_POS_CONTINUE, nullptr, point, 1000);
    Frame(kStart);
    // The direction is a 16.16 unit vector, so the cosine may miss the decimal by a hair.
    EXPECT_NEAR(ship->speedLimit, c.speed, 2) << c.cosine;
    EXPECT_EQ(ShipOrderMode(ship), OM_MOVE_POS_CONTINUE);
  }
}

TEST_F(Orders, MovingToAPointBrakesOverMaxSquaredOverAcceleration) {
  struct Case {
    const char* what;
    int32_t accel;
    int32_t distance;
    int32_t speed;
  };
  const Case kCases[] = {
      {"half the braking distance", kAccel, 250000, kVmax / 2},  // 100000^2 / 20000 = 500000
      {"beyond it", kAccel, 600000, kVmax},
      {"no acceleration: no braking distance", 0, 250000, kVmax},
  };
  for (const Case& c : kCases) {
    ships_[0].ship.speed2 = c.accel;
    SpaceObject* ship = ShipAt(0);
    Order(ship, OM_MOVE_POS, nullptr, {0, 0, c.distance, 0}, 1000);
    Frame(kStart);
    EXPECT_EQ(ship->speedLimit, c.speed) << c.what;
    Place(ship, 0, 0, c.distance - 999);
    Frame(kStart + 16);
    EXPECT_EQ(ship->speedLimit, 0) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), OM_NONE) << c.what;
  }
}

TEST_F(Orders, WarpInComesAlongTheGateAxisToTheOrderPoint) {
  SpaceObject* gate = In(kClassGate, 0, 0, 1000);
  MatrixSetIdentity(&gate->instance->matrix);  // facing +z
  SpaceObject* ship = ShipAt(0);
  SetTime(kStart);
  Order(ship, OM_WARP_IN, gate, {1000, 2000, 3000, 0});
  Ext(ship)->nextCheckAt = kStart + 900;
  Ext(ship)->commandFlag = 1;
  struct Step {
    uint32_t at;
    int32_t ahead;
  };
  for (const Step& s : {Step{kStart, 1348650}, Step{kStart + 450, 337162}, Step{kStart + 899, 1}}) {
    Frame(s.at);
    EXPECT_EQ(ship->instance->position.z, 3000 + s.ahead) << s.at;
    EXPECT_EQ(ship->instance->position.x, 1000);
    EXPECT_TRUE(ship->flags & kObjFlagBit10);
    EXPECT_TRUE(woken_.empty());
  }
  Frame(kStart + 900);
  EXPECT_EQ(ship->instance->position.z, 3000);
  EXPECT_FALSE(ship->flags & kObjFlagBit10);
  EXPECT_EQ(Ext(ship)->commandFlag, 0u);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
}

TEST_F(Orders, GlideUnpacksSpeedAndToleranceFromTheArrivalWord) {
  struct Case {
    int32_t gap;  // along z to the point
    bool glides;
  };
  const Case kCases[] = {{1000000, true}, {2221, true}, {2220, false}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    Order(ship, OM_GLIDE_POS, nullptr, {0, 0, c.gap, 0}, (100 << 16) | 10);
    ship->baseVelocity = {7, 7, 7, 0};
    Frame(kStart);
    EXPECT_EQ(ship->baseVelocity.z, c.glides ? 22200 : 0) << c.gap;
    EXPECT_EQ(ship->baseVelocity.x, 0) << c.gap;
    EXPECT_EQ(ShipOrderMode(ship), c.glides ? OM_GLIDE_POS : OM_NONE) << c.gap;
  }
}

TEST_F(Orders, RotationEndsWithinARollDifferenceOf91) {
  struct Case {
    int32_t roll;
    int32_t shipRoll;
    bool ends;
    int32_t rollRate;
  };
  const Case kCases[] = {
      {91, 0, true, 91}, {92, 0, false, 92}, {-91, 0, true, -91}, {0, 65535, true, 1}, {INT32_MIN, 20000, true, 0},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    ship->angles[2] = c.shipRoll;
    Order(ship, OM_ROTATE_TO_ANGLES, nullptr, {0, 0, c.roll, 0});
    Frame(kStart);
    EXPECT_EQ(ShipOrderMode(ship), c.ends ? OM_NONE : OM_ROTATE_TO_ANGLES) << c.roll;
    EXPECT_EQ(ship->refAngles[2], c.rollRate) << c.roll;
  }
}

TEST_F(Orders, BigAttackWithoutLasersIsFarWheneverAtLeastTheRadiiApart) {
  struct Case {
    int32_t distance;  // radii 50000 + 50000
    int32_t speed;
    bool ends;
  };
  const Case kCases[] = {{100000, kVmax, false}, {5000000, kVmax, false}, {99999, kVmax / 4, true}};
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0, 0, 0, 50000);
    SpaceObject* target = ShipAt(0, 0, c.distance, 50000);
    Order(ship, OM_ATTACK_BIG, target);
    Frame(kStart);
    EXPECT_EQ(ship->speedLimit, c.speed) << c.distance;
    EXPECT_EQ(ShipOrderMode(ship), c.ends ? OM_NONE : OM_ATTACK_BIG) << c.distance;
  }
  // A slow ship still closes in at 5000.
  ships_[0].ship.speed = 8000;
  SpaceObject* ship = ShipAt(0, 0, 0, 50000);
  SpaceObject* target = ShipAt(0, 0, 1000, 50000);
  Order(ship, OM_ATTACK_BIG, target);
  OrderWord(Ext(ship), kAttackTimerWord) = kStart + 100000;
  Frame(kStart);
  EXPECT_EQ(ship->speedLimit, 5000);
}

TEST_F(Orders, AHandlerWokenTaskThatFreesTheNextShipEndsThePass) {
  // The woken task frees the ship after the one whose order ended: the walk stops there, and the
  // ship after that is updated only in the next frame.
  SpaceObject* ship = ShipAt(0);
  SpaceObject* freed = ShipAt(100);
  SpaceObject* last = ShipAt(200);
  Order(ship, OM_GLIDE_POS, nullptr, {0, 0, 0, 0}, 0);
  engine_->modules[kWaitModule].resumeInt = [](uint32_t, int32_t) {
    FreeObjectForScript(update_->Second());
    return 0;
  };
  second_ = freed;
  last->speedLimit = 50000;
  Frame(kStart);
  EXPECT_EQ(last->speed, 0);
  Frame(kStart + 16);
  EXPECT_EQ(last->speed, kAccel * 16 / 1000);
}

}  // namespace
