// Escort, follow and collision avoidance: the escort's speed near a stopped target, the follow
// lead and its end rules, the avoidance end test, the evasion search when every candidate is
// blocked, the fixed 200 ms cadence, and the same decisions for a scene moved far from the
// sector's origin. Ships face +z; the game's generator starts at 1.
#include <cmath>
#include <string>
#include <vector>

#include "update_world.h"

#include "simulation/universe_guard.h"

namespace {

constexpr uint32_t kStart = 20000;
constexpr int32_t kReach = 4440000;

class Formation : public UpdateWorld {
 protected:
  void SetUp() override {
    UpdateWorld::SetUp();
    FlyingTypes();
    SetTime(kStart);
  }

  SpaceObject* Ship(FixedVector at, int32_t radius = 1000, uint32_t heading = 0) {
    return ShipFacing(0, at, radius, heading);
  }

  static FixedVector Shift(FixedVector p, const FixedVector& by) {
    return {p.x + by.x, p.y + by.y, p.z + by.z, 0};
  }

  // An avoiding ship: start and order point as the order command leaves them.
  void Avoid(SpaceObject* ship, int32_t arrival, int32_t counter, FixedVector point) {
    Order(ship, OM_AVOID_COLLISION, nullptr, point, arrival);
    ShipExt* ext = Ext(ship);
    SetOrderVector(ext, kSecondPointWord, ship->instance->position);
    OrderWord(ext, kEvasionCounterWord) = static_cast<uint32_t>(counter);
    ext->thinkDue = kStart;
  }

  static void Threat(SpaceObject* ship, SpaceObject* obstacle, int32_t value) {
    ShipExt* ext = Ext(ship);
    ext->threats[ext->threatCount] = obstacle;
    ext->threatDistances[ext->threatCount] = value;
    ++ext->threatCount;
  }
};

TEST_F(Formation, AnEscortOfAStoppedTargetSlowsToNothingAtItsStation) {
  struct Case {
    int32_t vmax;
    int32_t shipSpeed;
  };
  const Case kCases[] = {{kVmax, 0}, {kVmax, 40000}, {3000, 0}};
  for (const Case& c : kCases) {
    ships_[0].ship.speed = c.vmax;
    SpaceObject* target = Ship({0, 0, 0, 0}, 1000);
    SpaceObject* ship = Ship({0, 0, -200000, 0}, 1000);
    // The station lies 5000 behind the target; arrival distance 1000.
    Order(ship, OM_ESCORT, target, {0, 0, -5000, 0}, 1000);
    woken_.clear();
    int32_t last = INT32_MAX;
    uint32_t t = kStart;
    for (int32_t gap : {150000, 40000, 24000, 12000, 8000, 3000, 1000, 0}) {
      Place(ship, 0, 0, -5000 - gap);
      ship->speed = c.shipSpeed;
      Frame(t += 16);
      EXPECT_LE(ship->speedLimit, c.vmax) << gap;
      EXPECT_LE(ship->speedLimit, last) << gap;
      last = ship->speedLimit;
    }
    EXPECT_EQ(last, 0) << c.vmax;
    EXPECT_EQ(ShipOrderMode(ship), OM_ESCORT);  // an escort never ends by itself
    EXPECT_TRUE(woken_.empty());
    FreeObjectForScript(ship);
    FreeObjectForScript(target);
  }
  ships_[0].ship.speed = kVmax;
}

TEST_F(Formation, AnEscortKeepsPaceWithAMovingTargetInFormation) {
  SpaceObject* target = Ship({0, 0, 0, 0});
  target->speed = target->speedLimit = 10000;
  SpaceObject* ship = Ship({0, 0, -5000 - 3500, 0});
  Order(ship, OM_ESCORT, target, {0, 0, -5000, 0}, 1000);
  Frame(kStart);
  // Between A and 6A behind its station: between the target's speed and 1.2 times it.
  EXPECT_EQ(ship->speedLimit, 11000);
  Place(ship, 0, 0, -5000 + 3500);  // ahead of the station: down toward 0.8 times it
  Frame(kStart + 16);
  EXPECT_EQ(ship->speedLimit, 9000);
}

TEST_F(Formation, AFollowerEndsAtTheFirstDecisionBelowTheArrivalDistance) {
  SpaceObject* target = Ship({0, 0, 0, 0});
  SpaceObject* ship = Ship({0, 0, -5000, 0});
  Order(ship, OM_FOLLOW, target, {}, 4000);
  Ext(ship)->thinkPeriod = 1000;
  GameSrand(1);  // the decisions after the first come 1 ms, then 563 ms later
  struct Step {
    int32_t z;  // the largest offset to the target
    uint32_t dt;
    bool ends;
  };
  const Step kSteps[] = {{-4000, 0, false}, {-4001, 1, false}, {-3999, 10, false}, {-3999, 553, true}};
  uint32_t t = kStart;
  for (const Step& s : kSteps) {
    Place(ship, 0, 0, s.z);
    Frame(t += s.dt);
    EXPECT_EQ(woken_.size(), s.ends ? 1u : 0u) << s.z << " at " << t;
  }
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
  EXPECT_EQ(ShipOrderMode(ship), OM_NONE);

  // A freed target ends the next follower with 3.
  SpaceObject* other = Ship({0, 0, -500000, 0});
  Order(other, OM_FOLLOW, target, {}, 4000);
  FreeObjectForScript(target);
  woken_.clear();
  Frame(t + 16);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderFailed);
}

TEST_F(Formation, AFollowerLeadsOnlyATargetFlyingAwayAhead) {
  struct Case {
    const char* what;
    int32_t targetSpeed;
    uint32_t targetHeading;
    bool leads;
  };
  const Case kCases[] = {
      {"flying away", 20000, 0, true},
      {"stopped", 0, 0, false},
      {"coming toward the ship", 20000, 32768, false},
  };
  for (const Case& c : kCases) {
    // Slightly off the line, so the lead point changes the heading the follower turns by.
    SpaceObject* target = Ship({0, 0, 100000, 0}, 1000, c.targetHeading);
    target->speed = c.targetSpeed;
    SpaceObject* ship = Ship({3000, 0, 0, 0}, 1000);
    Order(ship, OM_FOLLOW, target, {}, 1000);
    Frame(kStart);
    // Toward the target itself: atan2(3000, 100000) = 1.72 degrees = 312; toward a point up to
    // ten radii ahead of it less.
    if (c.leads) {
      EXPECT_LT(ship->refAngles[0], 305) << c.what;
    } else {
      EXPECT_NEAR(ship->refAngles[0], 312, 2) << c.what;
    }
    FreeObjectForScript(ship);
    FreeObjectForScript(target);
  }
}

TEST_F(Formation, AvoidanceWithoutThreatsEndsOnceFarEnoughFromItsStart) {
  Rows(kClassDock, 1);
  struct Case {
    const char* what;
    int32_t counter;
    int32_t vmax;
    int32_t gap;  // from the start
    bool ends;
  };
  const Case kCases[] = {
      {"at the arrival distance", 0, kVmax, 50000, false},
      {"beyond it", 0, kVmax, 50001, true},
      {"an evasion counter stretches it by 22200 each", 2, kVmax, 50000 + 44400, false},
      {"beyond the stretch", 2, kVmax, 50000 + 44401, true},
      {"the stretch is at most 3 vmax", 10, 50000, 50000 + 150000, false},
      {"beyond 3 vmax", 10, 50000, 50000 + 150001, true},
  };
  for (const Case& c : kCases) {
    ships_[0].ship.speed = c.vmax;
    SpaceObject* ship = Ship({0, 0, 0, 0});
    Avoid(ship, 50000, c.counter, {0, 0, 5000000, 0});
    Place(ship, 0, 0, c.gap);
    woken_.clear();
    Frame(kStart);
    EXPECT_EQ(woken_.size(), c.ends ? 1u : 0u) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), c.ends ? OM_NONE : OM_AVOID_COLLISION) << c.what;
    FreeObjectForScript(ship);
  }
  ships_[0].ship.speed = kVmax;
  // A dock the course test no longer confirms is dropped from the list, and counts as none.
  SpaceObject* dock = In(kClassDock, 0, 0, 100000);
  Place(dock, 0, 0, -3000000);
  SpaceObject* ship = Ship({0, 0, 0, 0});
  Avoid(ship, 50000, 0, {0, 0, 5000000, 0});
  Threat(ship, dock, 3000000);
  Place(ship, 0, 0, 60000);
  woken_.clear();
  Frame(kStart);
  EXPECT_EQ(Ext(ship)->threats[0], nullptr);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].second, kOrderDone);
}

TEST_F(Formation, AvoidanceKeepsToAFastObstacleHeadOnAheadInsteadOfTurning) {
  SpaceObject* ship = Ship({0, 0, 0, 0});
  Avoid(ship, 50000, 0, {0, 0, 5000000, 0});
  SpaceObject* oncoming = Ship({0, 0, 1000000, 0}, 1000, 32768);
  oncoming->speed = 60000;
  Threat(ship, oncoming, 1000000);
  Place(ship, 0, 0, 60000);  // beyond the arrival distance: still no end while a keep speed holds
  Frame(kStart);
  // Its speed over the cosine plus a tenth: 60000 / 1.1, less a unit the 16.16 axes lose.
  EXPECT_NEAR(ship->speedLimit, 54545, 2);
  EXPECT_EQ(ShipOrderMode(ship), OM_AVOID_COLLISION);
  EXPECT_EQ(Ext(ship)->commandPoint.z, 5000000);  // no evasion
}

TEST_F(Formation, WithEveryCandidateBlockedTheBestScoredOneIsTakenAndTheStartMoves) {
  // Hard threats close by on five sides: a gate on +x, ships above, below, left behind and
  // ahead. No direction points away from all of them, so every candidate is blocked; only
  // those that turn their back on the gate score its 150.
  SpaceObject* ship = Ship({0, 0, 0, 0});
  const FixedVector sides[] = {{100000, 0, 0, 0}, {0, 100000, 0, 0}, {0, -100000, 0, 0}, {0, 0, 100000, 0},
                               {0, 0, -100000, 0}};
  Place(ship, 0, 0, 0);
  Avoid(ship, 50000, 0, {5000000, 0, 0, 0});  // heading for the gate's side
  for (int i = 0; i < 5; ++i) {
    SpaceObject* o = i == 0 ? In(kClassGate, 0, 0, 5000) : Ship(sides[i], 5000);
    Place(o, sides[i].x, sides[i].y, sides[i].z);
    Threat(ship, o, 1000);
  }
  Place(ship, 7, 8, 9);
  GameSrand(1);
  Frame(kStart);
  const FixedVector at = ship->instance->position;
  const FixedVector start = OrderVector(Ext(ship), kSecondPointWord);
  EXPECT_EQ(start.x, at.x);
  EXPECT_EQ(start.y, at.y);
  EXPECT_EQ(start.z, at.z);
  const FixedVector d = Ext(ship)->commandPoint;
  const double dx = d.x - at.x, dy = d.y - at.y, dz = d.z - at.z;
  EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), kReach, 200);
  // The first cone that turns its back on the gate: a = 28672, cos a = -0.924.
  EXPECT_NEAR(dx / kReach, -0.924, 0.01);
  EXPECT_GE(Ext(ship)->tuning, 45875);
  EXPECT_EQ(ShipOrderMode(ship), OM_AVOID_COLLISION);
}

TEST_F(Formation, AvoidanceDecidesEvery200Milliseconds) {
  SpaceObject* ship = Ship({0, 0, 0, 0});
  Avoid(ship, 50000000, 0, {0, 0, 5000000, 0});
  Ext(ship)->thinkPeriod = 100000;  // a random interval plays no part
  std::vector<uint32_t> decisions;
  for (uint32_t t = kStart; t <= kStart + 650; t += 10) {
    ship->speedLimit = -1;
    Frame(t);
    if (ship->speedLimit != -1) decisions.push_back(t - kStart);
  }
  EXPECT_EQ(decisions, (std::vector<uint32_t>{0, 200, 400, 600}));
}

TEST_F(Formation, ScenesFarFromTheOriginDecideAlike) {
  enum Scene { kEscort, kFollow, kAvoid };
  struct Outcome {
    int32_t speed, turn, pitch, result;
    FixedVector point;  // the order point relative to the ship
    bool operator==(const Outcome& o) const {
      return speed == o.speed && turn == o.turn && pitch == o.pitch && result == o.result && point.x == o.point.x &&
             point.y == o.point.y && point.z == o.point.z;
    }
  };
  const auto run = [this](Scene scene, FixedVector origin) {
    Outcome out{};
    SetTime(kStart);
    GameSrand(1);
    woken_.clear();
    SpaceObject* target = Ship(Shift({20000, 5000, 300000, 0}, origin), 2000, 3000);
    target->speed = 30000;
    SpaceObject* ship = Ship(Shift({0, 0, 0, 0}, origin), 1000, 500);
    ship->speed = 20000;
    if (scene == kEscort) Order(ship, OM_ESCORT, target, {4000, 0, -6000, 0}, 3000);
    if (scene == kFollow) Order(ship, OM_FOLLOW, target, {}, 3000);
    if (scene == kAvoid) {
      Avoid(ship, 60000, 3, Shift({100000, 20000, 900000, 0}, origin));
      Threat(ship, target, 50000);
    }
    for (uint32_t t = kStart; t < kStart + 1000; t += 100) {
      Frame(t);
      Place(ship, ship->instance->position.x, ship->instance->position.y, ship->instance->position.z + 2000);
    }
    // The avoiding ship's order point is a place; the escort's is an offset in the target's frame.
    const FixedVector at = scene == kAvoid ? ship->instance->position : FixedVector{};
    out = {ship->speedLimit, ship->refAngles[0], ship->refAngles[1], woken_.empty() ? 0 : woken_[0].second,
           {Ext(ship)->commandPoint.x - at.x, Ext(ship)->commandPoint.y - at.y, Ext(ship)->commandPoint.z - at.z, 0}};
    FreeObjectForScript(ship);
    FreeObjectForScript(target);
    return out;
  };
  const FixedVector far = {3000000, -2000000, 1000000, 0};
  for (Scene scene : {kEscort, kFollow, kAvoid}) {
    const Outcome home = run(scene, {});
    const Outcome moved = run(scene, far);
    EXPECT_TRUE(home == moved) << scene << ": speed " << home.speed << "/" << moved.speed << " turn " << home.turn << "/"
                               << moved.turn << " point x " << home.point.x << "/" << moved.point.x;
  }
}

}  // namespace
