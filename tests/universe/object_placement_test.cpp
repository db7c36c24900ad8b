// Placement geometry: truncated distances, component positions, the nearest-hostile searches,
// the overlap limit and the boundary pull-back (with its bounded restarts), random free-spot and
// safe-position searches on a seeded generator, free places in front of an object, the ring side,
// the choice of steering routine and the beam's intensity.
#include <gtest/gtest.h>

#include <algorithm>

#include "object_world.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"

namespace {

class Placement : public ObjectWorld {
 protected:
  void SetUp() override {
    ObjectWorld::SetUp();
    sector_ = Make(kClassSector);
  }

  SpaceObject* At(uint16_t objClass, int32_t radius, int32_t x, int32_t y = 0, int32_t z = 0, int16_t subtype = 0) {
    SpaceObject* o = MakeIn(sector_, objClass, subtype);
    o->radius = radius;
    Place(o, x, y, z);
    return o;
  }

  static FixedVector PositionOf(const SpaceObject* o) { return o->instance->position; }

  SpaceObject* sector_ = nullptr;
};

TEST_F(Placement, DistancesAreTruncatedAndSaturated) {
  struct Case {
    FixedVector a, b;
    int32_t expected;
  };
  const Case kCases[] = {
      {{0, 0, 0, 0}, {1, 1, 1, 0}, 1},  // 1.73
      {{0, 0, 0, 0}, {3, 4, 0, 0}, 5},
      {{-5, 2, 9, 0}, {-5, 2, 9, 0}, 0},
      {{-2000000000, 0, 0, 0}, {2000000000, 0, 0, 0}, INT32_MAX},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(GetDistance(&c.a, &c.b), c.expected);
  }
  const FixedVector v = {6, 8, 0, 0};
  EXPECT_EQ(GetVectorLength(&v), 10);
}

TEST_F(Placement, ComponentPositionsFollowTheShipsOrientation) {
  ObjectTypeRecord* rows = Rows(kClassShip, 1);
  rows[0].ship.componentCount = 1;
  rows[0].ship.components[0].turret = 1;
  rows[0].ship.turretCount = 2;
  SpaceObject* ship = At(kClassShip, 10, 1000, 0, 0);
  ShipExt* ext = Ship(ship);
  ext->turrets[1].offset = {0, 0, 100, 0};
  MatrixFromAngles(&ext->rotation, 16384, 0, 0);  // forward turned a quarter turn
  FixedVector p;
  EXPECT_FALSE(ObjGetWorldPosition(ship, -1, &p));
  EXPECT_EQ(p.x, 1000);
  EXPECT_TRUE(ObjGetWorldPosition(ship, 0, &p));
  const FixedVector forward = {ext->rotation.m[2][0], ext->rotation.m[2][1], ext->rotation.m[2][2], 0};
  EXPECT_EQ(p.x, 1000 + FixedMul(100, forward.x));
  EXPECT_EQ(p.z, FixedMul(100, forward.z));
  EXPECT_FALSE(ObjComponentOffset(ship, 1, &p));  // one component only
  EXPECT_EQ(p.z, 0);

  SpaceObject* other = At(kClassAsteroid, 10, p.x, 300, p.z);
  ObjGetWorldPosition(ship, 0, &p);
  other->instance->world = {p.x, 300, p.z - 400, 0};
  EXPECT_EQ(ShipComponentDistance(0, ship, other), 500);
  EXPECT_EQ(ShipComponentChebyshevDistance(0, ship, other), 400);
  EXPECT_EQ(ShipComponentDistance(3, ship, other), 0);
}

TEST_F(Placement, NearestHostileSkipsTheDeadAndTheFriendlyAndShrinksItsLimit) {
  Rows(kClassShip, 1);
  SpaceObject* self = At(kClassShip, 10, 0);
  self->owner = 1;
  ObjSetRelation(2, self, -1);
  ObjSetRelation(3, self, 1);
  auto other = [&](uint16_t race, int32_t x, bool dead = false) {
    SpaceObject* o = At(kClassShip, 10, x);
    o->owner = race;
    if (dead) o->flags |= kObjFlagNoHull;
    return o;
  };
  other(3, 1000);              // a friend
  other(2, 3000, true);        // dead
  SpaceObject* far = other(2, 8000);
  SpaceObject* near = other(2, -5000);
  SpaceObject* beyond = other(2, 12000);
  EXPECT_EQ(FindNearestHostile(self, 10000), near);
  EXPECT_EQ(FindNearestHostile(self, 5000), nullptr);  // strictly below the limit
  // Measured from `far`, which is left out itself.
  EXPECT_EQ(FindNearestHostileExcept(self, far, 100000), beyond);
  EXPECT_EQ(FindNearestHostileExcept(self, far, 4000), nullptr);
  SpaceObject* lone = Make(kClassShip);
  lone->owner = 1;
  EXPECT_EQ(FindNearestHostile(lone, 100000), nullptr);  // not in a sector
}

TEST_F(Placement, OverlapStartsAtElevenTenthsOfTheRadii) {
  struct Case {
    int32_t gap;
    uint16_t otherClass;
    uint32_t otherFlags;
    bool expected;
  };
  const Case kCases[] = {
      {2200, kClassAsteroid, 0, true},
      {2201, kClassAsteroid, 0, false},
      {0, kClassPlanet, 0, false},
      {0, kClassCamera, 0, false},
      {0, kClass21, 0, false},
      {0, kClassAsteroid, kObjFlagBit10, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.gap);
    SetUp();
    SpaceObject* object = At(kClassShip, 1000, 0);
    SpaceObject* other = At(c.otherClass, 1000, 0, c.gap);
    other->flags |= c.otherFlags;
    EXPECT_EQ(ObjOverlapsInSector(object), c.expected);
  }
  EXPECT_FALSE(ObjOverlapsInSector(Make(kClassShip)));  // outside a sector
}

TEST_F(Placement, ABoundaryPullsTheObjectBackBeforeTheScanGoesOn) {
  // The obstacle comes first in the list: only a restart after the pull-back can meet it.
  At(kClassAsteroid, 100, 9800 + 200);
  At(kClassSpecial, 10000, 0, 0, 0, kSubtypeBoundary);
  SpaceObject* object = At(kClassShip, 100, 20000);
  EXPECT_TRUE(ObjOverlapsInSector(object));
  EXPECT_EQ(PositionOf(object).x, 9800);  // boundary radius - 2 x own radius
  EXPECT_EQ(PositionOf(object).y, 0);
}

TEST_F(Placement, InsideTheBoundaryNothingMoves) {
  At(kClassSpecial, 10000, 0, 0, 0, kSubtypeBoundary);
  SpaceObject* object = At(kClassShip, 100, 0, 5000);
  EXPECT_FALSE(ObjOverlapsInSector(object));
  EXPECT_EQ(PositionOf(object).y, 5000);
}

TEST_F(Placement, BoundariesThatCannotHoldTheObjectFailThePlacement) {
  struct Case {
    const char* what;
    int32_t boundaryA, boundaryB;  // radii; 0 = no second boundary
  };
  const Case kCases[] = {
      {"a boundary smaller than the object", 150, 0},
      {"two boundaries that never agree", 10000, 10000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SetUp();
    At(kClassSpecial, c.boundaryA, 0, 0, 0, kSubtypeBoundary);
    if (c.boundaryB) At(kClassSpecial, c.boundaryB, 50000, 0, 0, kSubtypeBoundary);
    SpaceObject* object = At(kClassShip, 100, 30000);
    EXPECT_TRUE(ObjOverlapsInSector(object));
  }
}

TEST_F(Placement, FreeSpotIsThePointItselfWhenFree) {
  SpaceObject* object = At(kClassShip, 100, 0);
  At(kClassAsteroid, 100, 50000);
  GameSrand(7);
  EXPECT_TRUE(ObjPlaceAtFreeSpot(1000, 2000, 3000, object));
  EXPECT_EQ(PositionOf(object).x, 1000);
  EXPECT_EQ(PositionOf(object).z, 3000);
  const int next = GameRand();
  GameSrand(7);
  EXPECT_EQ(next, GameRand());  // no draw was made
}

TEST_F(Placement, FreeSpotSearchMovesOutOfAnObstacle) {
  SpaceObject* object = At(kClassShip, 10, 0);
  At(kClassAsteroid, 1000, 0);
  GameSrand(1);
  EXPECT_TRUE(ObjPlaceAtFreeSpot(0, 0, 0, object));
  EXPECT_FALSE(ObjOverlapsInSector(object));
}

TEST_F(Placement, FreeSpotSearchGivesUpAfterTwentyAttemptsAtTheLastTry) {
  SpaceObject* object = At(kClassShip, 10, 0);
  At(kClassAsteroid, 2000000000, 0);  // covers every place the search can reach
  GameSrand(1);
  EXPECT_FALSE(ObjPlaceAtFreeSpot(5, 6, 7, object));
  const FixedVector last = PositionOf(object);
  EXPECT_FALSE(last.x == 5 && last.y == 6 && last.z == 7);
  // Twenty attempts of three direction and three distance draws each.
  const int next = GameRand();
  GameSrand(1);
  for (int i = 0; i < 20 * 6; ++i) GameRand();
  EXPECT_EQ(next, GameRand());
}

TEST_F(Placement, SafePositionAroundAReference) {
  SpaceObject* object = At(kClassShip, 100, 0);
  SpaceObject* reference = At(kClassDock, 5000, 0);
  GameSrand(3);
  EXPECT_TRUE(ObjMoveToSafePos(object, reference));
  EXPECT_FALSE(ObjOverlapsInSector(object));
  const FixedVector p = PositionOf(object), c = PositionOf(reference);
  const int32_t d = GetDistance(&p, &c);
  EXPECT_GE(d, 3 * 5100 - 2);                        // at least three times the radii
  EXPECT_LE(d, 3 * 5100 + 20 * (5100 + 100000));     // within the grown search extent
  At(kClassAsteroid, 2000000000, 0);
  EXPECT_FALSE(ObjMoveToSafePos(object, nullptr));  // nowhere is free
}

TEST_F(Placement, APlaceInFrontIsFreeOnlyAwayFromEveryObjectItselfIncluded) {
  SpaceObject* object = At(kClassAsteroid, 100, 0);
  At(kClassAsteroid, 100, 5000);
  struct Case {
    bool turned;  // a quarter turn: forward along -x instead of +z
    int32_t a, b, c, clearance;
    bool expected;
  };
  const Case kCases[] = {
      {false, 0, 0, 0, 0, false},      // its own position
      {false, 0, 0, 150, 0, false},    // within 2 x its radius of itself
      {false, 0, 0, 10000, 0, true},
      {false, 0, 0, 10000, 10000, false},  // the clearance reaches back to it
      {false, 5000, 0, 0, 0, false},   // right: the other asteroid
      {true, 0, 0, -5000, 0, false},   // backward now reaches the other asteroid
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.a * 1000 + c.c);
    if (c.turned) MatrixFromAngles(&object->instance->matrix, 16384, 0, 0);
    EXPECT_EQ(SectorIsPlaceFree(object, c.a, c.b, c.c, c.clearance), c.expected);
  }
  EXPECT_FALSE(SectorIsPlaceFree(Make(kClassAsteroid), 0, 0, 100000, 0));  // outside a sector
}

TEST_F(Placement, RingSideIsMinusOneOnThePlane) {
  SpaceObject* ring = At(kClassSpecial, 1000, 0, 0, 0, 5);
  struct Case {
    int32_t x, z, expected;
  };
  const Case kCases[] = {{0, 0, -1}, {0, 1, 1}, {0, 500, 1}, {0, -500, -1}, {300, 0, -1}, {2000, 0, 0}, {0, 1001, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.x * 10000 + c.z);
    SpaceObject* a = At(kClassShip, 10, c.x, 0, c.z);
    EXPECT_EQ(ObjFrontOrBack(a, ring), c.expected);
  }
}

TEST_F(Placement, TurningUsesTheFastestAxisUnlessAlmostAligned) {
  struct Case {
    int32_t rates[3];
    FixedVector point;
    void (*routine)(SpaceObject*, const FixedVector*);
  };
  const Case kCases[] = {
      {{1, 2, 3}, {10000, 0, 10000, 0}, ObjSteerHeadingPitch2},
      {{2, 1, 3}, {10000, 0, 10000, 0}, ObjSteerHeadingPitch3},
      {{3, 2, 1}, {10000, 0, 10000, 0}, ObjSteerHeadingPitch},
      {{1, 2, 3}, {200, 0, 100000, 0}, ObjSteerHeadingPitch},  // within the aligned cone
  };
  ObjectTypeRecord* rows = Rows(kClassSpecial, 1);
  for (const Case& c : kCases) {
    for (int i = 0; i < 3; ++i) rows[0].turnRate[i] = c.rates[i];
    SpaceObject* turned = At(kClassSpecial, 10, 0);
    SpaceObject* expected = At(kClassSpecial, 10, 0);
    for (int i = 0; i < 3; ++i) turned->refAngles[i] = expected->refAngles[i] = 777;
    ObjTurnTowardsPoint(turned, &c.point);
    c.routine(expected, &c.point);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(turned->refAngles[i], expected->refAngles[i]) << i;
  }
}

TEST_F(Placement, TurningTowardsAPointAcrossTheWholeRangeAgreesWithTheSteeringRoutine) {
  ObjectTypeRecord* rows = Rows(kClassSpecial, 1);
  for (int i = 0; i < 3; ++i) rows[0].turnRate[i] = i + 1;
  const FixedVector farPoint{-2000000000, 0, 0, 0};
  SpaceObject* turned = At(kClassSpecial, 10, 2000000000);
  SpaceObject* expected = At(kClassSpecial, 10, 2000000000);
  ObjTurnTowardsPoint(turned, &farPoint);
  ObjSteerHeadingPitch2(expected, &farPoint);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(turned->refAngles[i], expected->refAngles[i]) << i;
}

TEST_F(Placement, BeamIntensityRampsAtBothEndsWithAFlickerOfAtMostAFifth) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 1);
  bullets[0].bullet.flags = 2;
  bullets[0].bullet.lifetime = 4000;
  bullets[0].bullet.speed = 1000;
  SpaceObject* gun = At(kClassLaser, 10, 700, 800, 900);
  struct Case {
    uint32_t age;
    int32_t full;  // intensity before the flicker
  };
  const Case kCases[] = {{2000, 255}, {500, 127}, {3500, 127}, {4000, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.age);
    SpaceObject* beam = At(kClassBullet, 100, 0);
    static_cast<BulletExt*>(beam->ext)->firedBy = gun;
    static_cast<BulletExt*>(beam->ext)->firedAt = 10000;
    SetTime(10000 + c.age);
    BulletUpdateBeamVisual(beam);
    EXPECT_EQ(beam->instance->position.y, 800);
    EXPECT_EQ(beam->instance->scale.z, 40 << 16);  // range 4000 over radius 100
    EXPECT_LE(beam->instance->alphaOverride, std::max(c.full, 1));
    EXPECT_GE(beam->instance->alphaOverride, std::max(c.full * 4 / 5 - 1, 1));
  }
}

}  // namespace
