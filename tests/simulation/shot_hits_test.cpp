#include "simulation/shot_hits.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "hit_world.h"
#include "simulation/order_modes.h"

namespace {

// Rows right, up, forward of a frame whose forward axis is `f` (an axis of the world).
FixedMatrix FrameFacing(FixedVector f) {
  FixedMatrix m{};
  const FixedVector up{0, kFixedOne, 0, 0};
  if (f.y != 0) return FixedMatrix{{{kFixedOne, 0, 0, 0}, {0, 0, -f.y, 0}, {0, f.y, 0, 0}}};
  FixedVector right{};
  CrossVector(&right, &up, &f);
  m.m[0][0] = right.x, m.m[0][1] = right.y, m.m[0][2] = right.z;
  m.m[1][1] = kFixedOne;
  m.m[2][0] = f.x, m.m[2][1] = f.y, m.m[2][2] = f.z;
  return m;
}

void Face(InstanceRecord* inst, FixedVector forward) {
  inst->matrix = inst->worldMatrix = FrameFacing(forward);
}

constexpr FixedVector kPlusX{kFixedOne, 0, 0, 0};
constexpr FixedVector kMinusX{-kFixedOne, 0, 0, 0};
constexpr FixedVector kPlusZ{0, 0, kFixedOne, 0};

// Box bodies: 7 is a cube of half size 16384 world units at size 1.0.
constexpr int32_t kCube = 7;
constexpr float kCubeHalf = 0.25f;

class HitTest : public HitWorld {
 protected:
  void SetUp() override {
    HitWorld::SetUp();
    BoxBody(kCube, kCubeHalf, kCubeHalf, kCubeHalf);
    mover_ = Create(kClassAsteroid, 0);
  }

  // Puts the moving object at the point, facing along `forward`, with the radius.
  void Move(FixedVector at, FixedVector forward, int32_t radius = 0) {
    if (!mover_->instance) Place(mover_, 0, 0, 0);
    mover_->instance->position = mover_->instance->world = at;
    Face(mover_->instance, forward);
    mover_->radius = radius;
  }

  SpaceObject* mover_ = nullptr;
};

TEST_F(HitTest, BoxInsideIsStrictAndTheSegmentCatchesInwardMotion) {
  struct Case {
    const char* name;
    FixedVector at;
    FixedVector forward;
    int32_t radius, reach, scale, quick;
    int32_t hit;
  };
  const Case kCases[] = {
      {"centre", {0, 0, 0, 0}, kPlusZ, 0, 0, kFixedOne, 1, 1},
      {"on the face is not inside", {16384, 0, 0, 0}, kPlusZ, 0, 0, kFixedOne, 1, 0},
      {"on the face moving inward", {16384, 0, 0, 0}, kMinusX, 0, 1000, kFixedOne, 0, 1},
      {"quick skips the segment", {16384, 0, 0, 0}, kMinusX, 0, 1000, kFixedOne, 1, 0},
      {"on the face moving outward", {16384, 0, 0, 0}, kPlusX, 0, 1000, kFixedOne, 0, 0},
      {"box beyond the reach", {21384, 0, 0, 0}, kMinusX, 0, 4000, kFixedOne, 0, 0},
      {"box within the reach", {21384, 0, 0, 0}, kMinusX, 0, 6000, kFixedOne, 0, 1},
      {"reach passes beside the box", {21384, 20000, 0, 0}, kMinusX, 0, 6000, kFixedOne, 0, 0},
      {"the radius widens the box", {17000, 0, 0, 0}, kPlusZ, 1000, 0, kFixedOne, 1, 1},
      {"the scale widens the box", {18000, 0, 0, 0}, kPlusZ, 0, 0, 0x13333, 1, 1},
      {"unscaled it does not reach", {18000, 0, 0, 0}, kPlusZ, 0, 0, kFixedOne, 1, 0},
  };
  InstanceRecord* box = Instance(kCube, {0, 0, 0, 0});
  for (const Case& c : kCases) {
    Move(c.at, c.forward, c.radius);
    InstanceRecord* hit = nullptr;
    EXPECT_EQ(HitTestInstanceTree(mover_, box, c.reach, &hit, c.scale, c.quick), c.hit) << c.name;
    EXPECT_EQ(hit, c.hit ? box : nullptr) << c.name;
  }
}

TEST_F(HitTest, BoxLiesInTheInstanceFrame) {
  // Long along its own x axis, which the instance turns onto the world's z axis.
  BoxBody(8, 0.5f, 0.125f, 0.125f);
  InstanceRecord* box = Instance(8, {100000, 0, 0, 0});
  box->worldMatrix = FixedMatrix{{{0, 0, kFixedOne, 0}, {0, kFixedOne, 0, 0}, {-kFixedOne, 0, 0, 0}}};
  InstanceRecord* hit = nullptr;
  Move({100000, 0, 30000, 0}, kPlusZ);
  EXPECT_EQ(HitTestInstanceTree(mover_, box, 0, &hit, kFixedOne, 1), 1);
  Move({130000, 0, 0, 0}, kPlusZ);
  EXPECT_EQ(HitTestInstanceTree(mover_, box, 0, &hit, kFixedOne, 1), 0);
}

TEST_F(HitTest, ChildHitWinsOverItsParent) {
  InstanceRecord* parent = Instance(kCube, {0, 0, 0, 0});
  InstanceRecord* bodiless = Instance(-1, {0, 0, 0, 0});
  InstanceRecord* child = Instance(kCube, {0, 0, 0, 0});
  AddChild(parent, bodiless);
  AddChild(parent, child);
  Move({100, 0, 0, 0}, kPlusZ);
  InstanceRecord* hit = nullptr;
  EXPECT_EQ(HitTestInstanceTree(mover_, parent, 0, &hit, kFixedOne, 1), 1);
  EXPECT_EQ(hit, child);
  // Away from every box, nothing is hit and the out stays as it was.
  hit = nullptr;
  Move({100000, 0, 0, 0}, kPlusZ);
  EXPECT_EQ(HitTestInstanceTree(mover_, parent, 0, &hit, kFixedOne, 1), 0);
  EXPECT_EQ(hit, nullptr);
}

// ---- Beam shots ------------------------------------------------------------------------------

// The beam reaches 200000 units: its midpoint is 100000 ahead of the gun.
constexpr int32_t kHalfBeam = 100000;

struct CollideCall {
  SpaceObject* target;
  FixedVector shotWorld;
};

class ShotTest : public HitWorld {
 protected:
  void SetUp() override {
    HitWorld::SetUp();
    ObjectTypeRecord* bullets = Rows(kClassBullet, 1);
    bullets[0].bullet.lifetime = 1000;
    bullets[0].bullet.speed = 2 * kHalfBeam;
    ShipRows(1);
    current_ = this;
    SetShotCollideTest(Recorder);
    sector_ = Sector();
    shooter_ = Into(Ship());
    shooter_->owner = 1;
    shot_ = Into(Create(kClassBullet, 0));
    shot_->radius = 300;
    Place(shot_, 0, 0, 0);
    static_cast<BulletExt*>(shot_->ext)->shooter = shooter_;
  }

  void TearDown() override {
    SetShotCollideTest(nullptr);
    current_ = nullptr;
    HitWorld::TearDown();
  }

  SpaceObject* Into(SpaceObject* o) {
    ObjAttachInstance(o, sector_);
    return o;
  }

  // A target of race 2 at the point; the flags every created object has are cleared.
  SpaceObject* Target(int32_t x, int32_t y, int32_t z, int32_t radius = 2000) {
    SpaceObject* o = Into(Create(kClassAsteroid, 0));
    o->flags = 0;
    o->owner = 2;
    o->radius = radius;
    Place(o, x, y, z);
    return o;
  }

  // Hits the targets that have a contact depth, in the shot's frame from its midpoint.
  static bool Recorder(InstanceRecord* shot, InstanceRecord* target, int32_t reach, int32_t) {
    EXPECT_EQ(reach, kHalfBeam);
    SpaceObject* o = nullptr;
    for (auto& [object, depth] : current_->depths_) {
      if (object->instance == target) o = object;
    }
    for (SpaceObject* t : current_->order_) {
      if (t->instance == target) o = t;
    }
    current_->calls_.push_back({o, shot->world});
    auto found = current_->depths_.find(o);
    if (found == current_->depths_.end()) return false;
    shot->contact = FixedVector{0, 0, found->second, 0};
    return true;
  }

  static inline ShotTest* current_ = nullptr;
  SectorObject* sector_ = nullptr;
  SpaceObject* shooter_ = nullptr;
  SpaceObject* shot_ = nullptr;
  std::vector<SpaceObject*> order_;
  std::map<SpaceObject*, int32_t> depths_;
  std::vector<CollideCall> calls_;
};

TEST_F(ShotTest, OnlyTheFirst32CandidatesInListOrderAreTested) {
  // All at the midpoint: equal distances, so the tests follow the sector's order.
  for (int i = 0; i < 33; ++i) order_.push_back(Target(0, 0, kHalfBeam));
  shot_->flags2 |= kObjFlag2PlayerShot;
  EXPECT_EQ(FindShotTarget(shot_), nullptr);
  ASSERT_EQ(calls_.size(), 32u);
  for (size_t i = 0; i < calls_.size(); ++i) {
    EXPECT_EQ(calls_[i].target, order_[i]) << i;
    // The shot is tested from its midpoint, and put back afterwards.
    EXPECT_EQ(calls_[i].shotWorld.z, kHalfBeam) << i;
  }
  EXPECT_EQ(shot_->instance->world.z, 0);
  EXPECT_EQ(shot_->instance->position.z, 0);
  EXPECT_EQ(static_cast<BulletExt*>(shot_->ext)->hitFlags & kBulletHit, 0u);
}

TEST_F(ShotTest, PlayerShotTakesTheNearestContactOtherShotsTheFirstHit) {
  // Sorted by distance from the midpoint: far (3000 off), then near (20000 off).
  SpaceObject* nearMid = Target(0, 0, kHalfBeam + 3000);
  SpaceObject* farMid = Target(0, 0, kHalfBeam - 20000);
  order_ = {nearMid, farMid};
  depths_[nearMid] = 5000;
  depths_[farMid] = -20000;
  struct Case {
    const char* name;
    bool player;
    SpaceObject* hit;
    size_t calls;
    int32_t depth;
  };
  const Case kCases[] = {
      {"player", true, farMid, 2, -20000},
      {"other", false, nearMid, 1, 5000},
  };
  for (const Case& c : kCases) {
    calls_.clear();
    auto* ext = static_cast<BulletExt*>(shot_->ext);
    ext->hitFlags = 0;
    ext->hitObject = nullptr;
    shot_->flags2 = c.player ? kObjFlag2PlayerShot : 0;
    EXPECT_EQ(FindShotTarget(shot_), c.hit) << c.name;
    EXPECT_EQ(calls_.size(), c.calls) << c.name;
    EXPECT_EQ(ext->hitObject, c.hit) << c.name;
    EXPECT_NE(ext->hitFlags & kBulletHit, 0u) << c.name;
    // Counted from the gun: best depth - shot radius + half the beam.
    EXPECT_EQ(shot_->instance->contact.z, c.depth - 300 + kHalfBeam) << c.name;
    EXPECT_EQ(shot_->instance->world.z, 0) << c.name;
    // The shot's place relative to what it hit.
    EXPECT_EQ(ext->hitOffset.z, -c.hit->instance->position.z) << c.name;
  }
}

TEST_F(ShotTest, CandidatesAreFilteredByFlagsOwnerAndReach) {
  struct Case {
    const char* name;
    int32_t x, z, radius;
    uint16_t owner;
    uint32_t flags;
    bool tested;
  };
  const Case kCases[] = {
      {"in reach", 0, kHalfBeam, 2000, 2, 0, true},
      {"the shooter's race", 0, kHalfBeam, 2000, 1, 0, false},
      {"race 10 always counts", 0, kHalfBeam, 2000, 10, 0, true},
      {"no collisions (bit 10)", 0, kHalfBeam, 2000, 2, 1u << 10, false},
      {"being removed (bit 27)", 0, kHalfBeam, 2000, 2, 1u << 27, false},
      {"dead (bit 30)", 0, kHalfBeam, 2000, 2, 1u << 30, false},
      {"bit 2", 0, kHalfBeam, 2000, 2, 1u << 2, false},
      {"beyond the beam's end", 0, 2 * kHalfBeam + 2500, 2000, 2, 0, false},
      {"its radius reaches the end", 0, 2 * kHalfBeam + 1500, 2000, 2, 0, true},
      {"beside the line", 3100, kHalfBeam, 2000, 2, 0, false},
      {"touching the line", 2900, kHalfBeam, 2000, 2, 0, true},
  };
  for (const Case& c : kCases) {
    SpaceObject* t = Target(c.x, 0, c.z, c.radius);
    t->owner = c.owner;
    t->flags = c.flags;
    order_ = {t};
    calls_.clear();
    FindShotTarget(shot_);
    EXPECT_EQ(calls_.size(), c.tested ? 1u : 0u) << c.name;
    t->flags |= kObjFlagRemoving;  // out of the next case
  }
  // The shooter itself is never a candidate, whatever its race.
  shooter_->owner = 10;
  shooter_->flags = 0;
  Place(shooter_, 0, 0, kHalfBeam);
  order_ = {shooter_};
  calls_.clear();
  FindShotTarget(shot_);
  EXPECT_TRUE(calls_.empty());
}

// ---- Collision course ------------------------------------------------------------------------

class CourseTest : public HitWorld {
 protected:
  void SetUp() override {
    HitWorld::SetUp();
    ShipRows(2);
    ship_ = Ship();
    ship_->radius = 1000;
    Place(ship_, 0, 0, 0);
  }

  SpaceObject* ObstacleShip(int32_t x, int32_t z, int32_t radius = 1000) {
    SpaceObject* o = Ship(1);
    o->radius = radius;
    Place(o, x, 0, z);
    return o;
  }

  void ClearThreats() {
    ExtOf(ship_)->threatCount = 0;
    ship_->flags &= ~(kObjFlagCollisionWarning | kObjFlagThreatsRecorded);
  }

  SpaceObject* ship_ = nullptr;
};

TEST_F(CourseTest, StoppedShipsAndShipsWithoutAccelerationAreNeverOnCourse) {
  SpaceObject* obstacle = ObstacleShip(0, 1500);
  ship_->speed = 0;
  ship_->speedLimit = 0;
  EXPECT_FALSE(IsOnCollisionCourse(ship_, obstacle, 1500, nullptr));
  ship_->speedLimit = 1;
  EXPECT_TRUE(IsOnCollisionCourse(ship_, obstacle, 1500, nullptr));
  ExtOf(ship_)->speedTuning = -kFixedOne;  // the tuned acceleration drops to 0
  EXPECT_FALSE(IsOnCollisionCourse(ship_, obstacle, 1500, nullptr));
}

TEST_F(CourseTest, BrakingLookAheadAndCone) {
  // Ship and obstacle radius 1000 (r = 2000) unless said; acceleration 100000; straight ahead the
  // look-ahead is 15000 (clamped) + r + the ship's radius.
  struct Case {
    const char* name;
    int32_t speed;
    int32_t radius;  // of both
    int32_t x, z;    // the obstacle
    int32_t distance;
    int32_t mode;
    bool targetsObstacle;
    bool onCourse;
  };
  const Case kCases[] = {
      // Braking 300000 (450000 uncapped) + look-ahead 18000 + r.
      {"within capped braking", 300000, 1000, 0, 319000, 319000, OM_NONE, false, true},
      {"beyond capped braking", 300000, 1000, 0, 321000, 321000, OM_NONE, false, false},
      {"braking ahead of the obstacle", 300000, 1000, 0, 200000, 200000, OM_NONE, false, true},
      {"escorting it halves the braking", 300000, 1000, 0, 200000, 200000, OM_ESCORT, true, false},
      {"following it halves the braking", 300000, 1000, 0, 200000, 200000, OM_FOLLOW, true, false},
      {"attacking it keeps the braking", 300000, 1000, 0, 200000, 200000, OM_ATTACK, true, true},
      // At rest (braking 0): 15000 + r + 1000 + r.
      {"look-ahead clamped up", 0, 1000, 0, 19999, 19999, OM_NONE, false, true},
      {"beyond the clamped look-ahead", 0, 1000, 0, 20001, 20001, OM_NONE, false, false},
      // r = 20000, q = 40000 / 60000: on course only when cos^2 > 1 - q^2 = 0.556.
      {"inside the cone (30 degrees)", 0, 10000, 30000, 51962, 60000, OM_NONE, false, true},
      {"outside the cone (45 degrees)", 0, 10000, 42426, 42426, 60000, OM_NONE, false, false},
      {"behind, obstacle at rest", 0, 1000, 0, -5000, 5000, OM_NONE, false, false},
  };
  for (const Case& c : kCases) {
    SpaceObject* obstacle = ObstacleShip(c.x, c.z, c.radius);
    ship_->radius = c.radius;
    ship_->speed = c.speed;
    ship_->speedLimit = 1;
    ShipSetOrderMode(ship_, c.mode);
    ExtOf(ship_)->commandObject = c.targetsObstacle ? obstacle : nullptr;
    EXPECT_EQ(IsOnCollisionCourse(ship_, obstacle, c.distance, nullptr), c.onCourse) << c.name;
    obstacle->flags |= kObjFlagRemoving;
  }
}

TEST_F(CourseTest, UpperLookAheadClampAndEscortPairs) {
  // A huge obstacle: its tenth would make the look-ahead 601000; clamped it is 500000, so the
  // course ends at 500000 + r + 1000 + r.
  SpaceObject* huge = ObstacleShip(0, 12502000, 6000000);
  ship_->speedLimit = 1;
  EXPECT_TRUE(IsOnCollisionCourse(ship_, huge, 12502000, nullptr));
  EXPECT_FALSE(IsOnCollisionCourse(ship_, huge, 12504000, nullptr));

  // Two escorts of the same ship brake late toward each other; an escort of another ship does not.
  SpaceObject* leader = ObstacleShip(0, -100000);
  SpaceObject* wing = ObstacleShip(0, 200000);
  ship_->speed = 300000;
  ShipSetOrderMode(ship_, OM_ESCORT);
  ExtOf(ship_)->commandObject = leader;
  ShipSetOrderMode(wing, OM_ESCORT);
  ExtOf(wing)->commandObject = leader;
  EXPECT_FALSE(IsOnCollisionCourse(ship_, wing, 200000, nullptr));
  ExtOf(wing)->commandObject = huge;
  EXPECT_TRUE(IsOnCollisionCourse(ship_, wing, 200000, nullptr));
  // A follower brakes late toward a ship that follows it.
  ShipSetOrderMode(ship_, OM_FOLLOW);
  ShipSetOrderMode(wing, OM_FOLLOW);
  ExtOf(wing)->commandObject = ship_;
  EXPECT_FALSE(IsOnCollisionCourse(ship_, wing, 200000, nullptr));
}

TEST_F(CourseTest, BigObstacleWithinReachGoesToTheBoxTest) {
  // A dock of radius 40000, 30000 ahead: within r, so only its box decides.
  BoxBody(20, 0.5f, 0.5f, 0.5f);
  BoxBody(21, 0.01f, 0.01f, 0.01f);
  struct Case {
    const char* name;
    int32_t body;
    bool onCourse;
  };
  const Case kCases[] = {{"inside the box", 20, true}, {"box out of reach", 21, false}};
  for (const Case& c : kCases) {
    SpaceObject* dock = Create(kClassDock, 0);
    dock->radius = 40000;
    InstanceRecord* node = Place(dock, 0, 0, 30000, c.body);
    ship_->speedLimit = 1;
    InstanceRecord* hit = nullptr;
    EXPECT_EQ(IsOnCollisionCourse(ship_, dock, 30000, &hit), c.onCourse) << c.name;
    EXPECT_EQ(hit, c.onCourse ? node : nullptr) << c.name;
    dock->flags |= kObjFlagRemoving;
  }
}

TEST_F(CourseTest, ThreatRecord) {
  ship_->speed = 300000;
  ship_->speedLimit = 1;
  std::vector<SpaceObject*> ahead;
  for (int i = 0; i < 6; ++i) ahead.push_back(ObstacleShip(0, 50000 + 1000 * i));
  for (SpaceObject* o : ahead) RecordCollisionThreat(ship_, o, o->instance->position.z);
  ShipExt* ext = ExtOf(ship_);
  ASSERT_EQ(ext->threatCount, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ext->threats[i], ahead[i]) << i;
    EXPECT_EQ(ext->threatDistances[i], 50000 + 1000 * i) << i;
  }
  EXPECT_NE(ship_->flags & kObjFlagCollisionWarning, 0u);
  EXPECT_NE(ship_->flags & kObjFlagThreatsRecorded, 0u);

  struct Case {
    const char* name;
    int32_t mode;
    uint32_t flags2;
    bool recorded, warned;
  };
  const Case kCases[] = {
      {"avoiding: recorded without the warning", OM_AVOID_COLLISION, 0, true, false},
      {"second flag 0x10 records nothing", OM_NONE, kObjFlag2NoThreats, false, false},
      {"an obstacle not on course", OM_NONE, 0, false, false},
  };
  for (const Case& c : kCases) {
    ClearThreats();
    ship_->flags2 = c.flags2;
    ShipSetOrderMode(ship_, c.mode);
    SpaceObject* o = c.recorded || c.flags2 ? ahead[0] : ObstacleShip(0, -900000);
    RecordCollisionThreat(ship_, o, c.recorded || c.flags2 ? 50000 : 900000);
    EXPECT_EQ(ext->threatCount, c.recorded ? 1 : 0) << c.name;
    EXPECT_EQ((ship_->flags & kObjFlagThreatsRecorded) != 0, c.recorded) << c.name;
    EXPECT_EQ((ship_->flags & kObjFlagCollisionWarning) != 0, c.warned) << c.name;
  }
}

TEST_F(CourseTest, ShipsLeavingAHangarIgnoreTheirCarrierAndGate) {
  ship_->speed = 300000;
  ship_->speedLimit = 1;
  SpaceObject* obstacle = ObstacleShip(0, 50000);
  SpaceObject* gate = Create(kClassGate, 0);
  SpaceObject* carrier = ObstacleShip(0, 60000, 200000);
  struct Case {
    const char* name;
    SpaceObject* target;
    int32_t targetZ;  // where the target lies
    SpaceObject* obstacle;
    bool recorded;
  };
  const Case kCases[] = {
      {"gate at the largest offset 0x15AE0", gate, 0x15AE0, obstacle, false},
      {"gate farther", gate, 0x15AE1, obstacle, true},
      {"the carrier itself", carrier, 300000, carrier, false},
      {"within 0.8 of the carrier's radius", carrier, 159000, obstacle, false},
      {"outside it", carrier, 170000, obstacle, true},
  };
  for (const Case& c : kCases) {
    ClearThreats();
    ShipSetOrderMode(ship_, OM_CLEAR_FROM_HANGAR);
    ExtOf(ship_)->commandObject = c.target;
    if (!c.target->instance) Place(c.target, 0, 0, 0);
    c.target->instance->position.z = c.targetZ;
    RecordCollisionThreat(ship_, c.obstacle, 50000);
    EXPECT_EQ(ExtOf(ship_)->threatCount, c.recorded ? 1 : 0) << c.name;
  }
}

}  // namespace
