// Carried objects and break-away in a shown sector: attached ships that follow their carrier, break
// away at their time or when the carrier is gone, objects riding on a carrier's node, objects that
// vanish once their animations end, objects being removed, carriers and nodes that go away under
// a carried object, the rock-cut test and the video claim by id.
#include "universe/carried_objects.h"

#include <gtest/gtest.h>

#include "explosion_world.h"
#include "render/texture_animation.h"
#include "scene/cut_records.h"
#include "universe/object_explosions.h"
#include "universe/object_queries.h"
#include "universe/object_references.h"
#include "universe/object_detail.h"
#include "universe/type_loader.h"
#include "universe/universe_frame.h"

namespace {

constexpr int32_t kHullBody = 30;

class Carried : public ExplosionWorld {
 protected:
  void SetUp() override {
    ExplosionWorld::SetUp();
    VertexBody(kHullBody, {{0, 0, 0}});
    ObjectTypeRecord* ships = Rows(kClassShip, 1);
    ships[0].bodyId = kHullBody;
    ships[0].ship.viewpointGroup = -1;
    ships[0].ship.speed = 40000;
    carrier_ = Shown(kClassShip);
    carrier_->instance->position = {1000, 2000, 3000, 0};
    MatrixFromAngles(&carrier_->instance->matrix, 0x4000, 0, 0);
  }

  // A ship attached to the carrier, 500 units ahead of it, breaking away at `breakAt`.
  SpaceObject* Attached(uint32_t breakAt) {
    SpaceObject* o = Shown(kClassShip);
    o->flags |= kObjFlagBit0;
    o->flags2 |= kObjFlag2Attached;
    o->linkedObject = carrier_;
    o->scriptId = 61;
    ShipExt* ship = static_cast<ShipExt*>(o->ext);
    MatrixSetIdentity(&ship->carriedMatrix);
    ship->carriedPosition = {0, 0, 500, 0};
    ship->breakAt = breakAt;
    return o;
  }

  FixedVector Ahead(int32_t distance) const {
    FixedVector turned;
    const FixedVector local{0, 0, distance, 0};
    MatrixMulVector(&turned, &carrier_->instance->matrix, &local);
    AddVectorTo(&turned, &carrier_->instance->position);
    return turned;
  }

  static void ExpectAt(const FixedVector& got, const FixedVector& want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.z, want.z);
  }

  int MakeBreaks() const {
    int n = 0;
    for (const RaisedEvent& e : events_) n += e.name == "MakeBreak";
    return n;
  }

  SpaceObject* carrier_ = nullptr;
};

TEST_F(Carried, AnAttachedShipFollowsItsCarrierUntilItsTime) {
  SpaceObject* o = Attached(Now() + 1000);
  for (int frame = 0; frame < 2; ++frame) {
    SCOPED_TRACE(frame);
    carrier_->instance->position.x += 700;
    BreakObject(sector_);
    ExpectAt(o->instance->position, Ahead(500));
    int32_t a = 0, b = 0, c = 0;
    MatrixToAngles(&carrier_->instance->matrix, &a, &b, &c);
    EXPECT_EQ(o->angles[0], a);
    EXPECT_EQ(o->linkedObject, carrier_);
  }
  EXPECT_EQ(MakeBreaks(), 0);
}

TEST_F(Carried, AtItsTimeItFliesOffWithTheCarriersMotion) {
  SpaceObject* o = Attached(Now());
  carrier_->baseVelocity = {1, 2, 3, 0};
  carrier_->instance->velocity = {10, 20, 30, 0};
  BreakObject(sector_);
  const int32_t speed = GetObjectMaxSpeed(o) / 2;
  ASSERT_GT(speed, 0);
  EXPECT_EQ(o->speed, speed);
  EXPECT_EQ(o->linkedObject, nullptr);
  EXPECT_EQ(static_cast<ShipExt*>(o->ext)->breakAt, 0u);
  EXPECT_EQ(o->createdAt, Now());
  EXPECT_FALSE(o->flags2 & kObjFlag2Attached);
  EXPECT_FALSE(o->flags & kObjFlagBit0);
  ExpectAt(o->baseVelocity, {11, 22, 33, 0});
  // The carrier's heading turns +z onto x: the ship flies along it.
  EXPECT_NEAR(std::abs(o->instance->velocity.x), speed, 2);
  EXPECT_NEAR(o->instance->velocity.z, 0, 2);
  EXPECT_EQ(MakeBreaks(), 1);
  BreakObject(sector_);
  EXPECT_EQ(MakeBreaks(), 1);
}

TEST_F(Carried, AShipWhoseCarrierWasDestroyedBreaksWithoutAnyChange) {
  SpaceObject* o = Attached(Now() + 100000);
  o->instance->velocity = {4, 5, 6, 0};
  o->speed = 77;
  DeleteObject(carrier_);
  carrier_ = nullptr;
  events_.clear();
  BreakObject(sector_);
  EXPECT_EQ(MakeBreaks(), 1);
  EXPECT_FALSE(o->flags2 & kObjFlag2Attached);
  ExpectAt(o->instance->velocity, {4, 5, 6, 0});
  EXPECT_EQ(o->speed, 77);
}

// What a "MakeBreak" handler does while the pass runs; the log of LifecycleWorld is kept.
void (*gOnMakeBreak)(SpaceObject* object) = nullptr;

TEST_F(Carried, APassEndsWhenAnEventTakesItsObjectAwayAndSkipsWhatAHandlerRemoved) {
  SetObjectEventSink([](const ObjectEvent& e) {
    gEvents->push_back({e.scriptId, e.name, e.argCount, e.args[0], e.args[1]});
    if (gOnMakeBreak) gOnMakeBreak(e.object);
  });
  struct Case {
    const char* what;
    void (*handler)(SpaceObject*);
    bool secondBreaks;
  };
  static SpaceObject* gSecond = nullptr;
  static SpaceObject* gElsewhere = nullptr;
  const Case kCases[] = {
      // A handler inside the frame removes the way the universe step does: marked and released,
      // freed only after the frame.
      {"the next object removed", [](SpaceObject*) {
         gSecond->flags |= kObjFlagRemoving;
         ReleaseObjectReferences(gSecond, 0);
       }, false},
      {"the object moved out of the sector", [](SpaceObject* o) { ObjAttachInstance(o, gElsewhere); }, false},
      {"nothing", [](SpaceObject*) {}, true},
  };
  gElsewhere = Shown(kClassShip);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Attached(Now())->linkedObject = nullptr;
    gSecond = Attached(Now());
    gSecond->linkedObject = nullptr;
    gOnMakeBreak = c.handler;
    events_.clear();
    BreakObject(sector_);
    gOnMakeBreak = nullptr;
    EXPECT_EQ(MakeBreaks(), c.secondBreaks ? 2 : 1);
    EXPECT_EQ((gSecond->flags2 & kObjFlag2Attached) == 0, c.secondBreaks);
    gSecond->flags |= kObjFlagRemoving;  // out of the next case's pass
  }
}

TEST_F(Carried, ObjectsBeingRemovedAreLeftAlone) {
  SpaceObject* o = Attached(Now());
  o->flags |= kObjFlagRemoving;
  const FixedVector before = o->instance->position;
  BreakObject(sector_);
  EXPECT_EQ(MakeBreaks(), 0);
  EXPECT_EQ(o->linkedObject, carrier_);
  ExpectAt(o->instance->position, before);
}

TEST_F(Carried, ACarriedObjectRidesOnItsNode) {
  InstanceRecord* node = Child(carrier_->instance, kHullBody, {0, 0, 200, 0});
  node->velocity = {0, 0, 9, 0};
  carrier_->instance->velocity = {1, 1, 1, 0};
  SpaceObject* o = Shown(kClassShip);
  o->flags |= kObjFlagCarried;
  o->carrier = carrier_;
  o->carrierNode = node;
  o->turnRates[1] = 300;
  BreakObject(sector_);
  ExpectAt(o->instance->position, Ahead(200));
  FixedVector drift;
  MatrixMulVector(&drift, &carrier_->instance->matrix, &node->velocity);
  ExpectAt(o->instance->velocity, {1 + drift.x, 1 + drift.y, 1 + drift.z, 0});
  EXPECT_EQ(o->turnRates[1], 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(o->refAngles[i], o->angles[i]);
}

TEST_F(Carried, NoCarriedObjectKeepsAPointerToWhatWentAway) {
  InstanceRecord* node = Child(carrier_->instance, kHullBody, {0, 0, 200, 0});
  SpaceObject* other = Shown(kClassShip);
  InstanceRecord* otherNode = Child(other->instance, kHullBody, {0, 0, 300, 0});
  SpaceObject* onCarrier = Shown(kClassShip);
  SpaceObject* onNode = Shown(kClassShip);
  for (auto [o, c, n] : {std::tuple{onCarrier, carrier_, node}, std::tuple{onNode, other, otherNode}}) {
    o->flags |= kObjFlagCarried;
    o->carrier = c;
    o->carrierNode = n;
  }
  DeleteObject(carrier_);  // the carrier is destroyed
  carrier_ = nullptr;
  FreeInstance(otherNode);  // a script frees the node
  EXPECT_EQ(onCarrier->carrier, nullptr);
  EXPECT_EQ(onCarrier->carrierNode, nullptr);
  EXPECT_EQ(onNode->carrierNode, nullptr);
  const FixedVector before = onNode->instance->position;
  BreakObject(sector_);
  ExpectAt(onNode->instance->position, before);
}

TEST_F(Carried, AnObjectVanishesOnceNoChildPlays) {
  struct Case {
    const char* what;
    std::vector<uint32_t> children;  // their play flags
    bool removed;
  };
  const Case kCases[] = {
      {"no children", {}, true},
      {"a child still playing", {0x0, 0x1}, false},
      {"every path ended", {0x201, 0x0}, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* o = Shown(kClassShip);
    o->flags2 |= kObjFlag2VanishWhenDone;
    for (uint32_t play : c.children) Child(o->instance, kHullBody)->jobFlags = play;
    BreakObject(sector_);
    EXPECT_EQ((o->flags & kObjFlagRemoving) != 0, c.removed);
  }
}

TEST_F(Carried, OnlyRocksWithAnAvailableCutBreak) {
  EffectDefinitionEntry debris{};
  debris.flags = EEDF_DEBRIS;
  DefineEffectRow(kDefaultExplosionRow, {debris});
  DefineEffectRow(5, {EffectDefinitionEntry{}});
  CutRecord cut{};
  cut.handle = 90;
  HashInsert(engine_.engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut));
  ObjectTypeRecord* rocks = Rows(kClassAsteroid, 4);
  rocks[0].asteroid.rockCut = 90;
  rocks[1].asteroid.rockCut = 0;
  rocks[2].asteroid.rockCut = -90;
  rocks[3].asteroid.rockCut = 90;
  rocks[3].asteroid.effectRow = 5;  // effects without debris
  Rows(kClassDebris, 1)->debris.rockCut = 90;
  ObjectTypeRecord* docks = Rows(kClassDock, 1);
  docks[0].station.cut = 90;
  struct Case {
    int32_t objClass, subtype;
    bool breaks;
  };
  const Case kCases[] = {
      {kClassAsteroid, 0, true}, {kClassAsteroid, 1, false}, {kClassAsteroid, 2, false},
      {kClassAsteroid, 3, false}, {kClassDebris, 0, true},   {kClassDock, 0, false},
      {kClassShip, 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.objClass << "/" << c.subtype);
    EXPECT_EQ(RockTypeHasCut(c.subtype, c.objClass), c.breaks);
  }
  HashRemove(engine_.engine().cutTable, cut.handle);
}

struct Claim {
  int32_t stream, owner;
  int32_t params[6];
};
std::vector<Claim>* gClaims = nullptr;

TEST_F(Carried, AVideoRowMatchesWhenEveryIdItNamesIsTheOne) {
  std::vector<Claim> claims;
  gClaims = &claims;
  static const MediaStreamHooks kHooks = {
      [](int32_t, uint32_t* flags, int32_t* owner) {
        *flags = 0;
        *owner = 0;
        return true;
      },
      [](int32_t, uint32_t) {},
      [](int32_t stream, int32_t owner) { gClaims->push_back({stream, owner, {}}); },
      [](int32_t, const int32_t params[6]) {
        for (int i = 0; i < 6; ++i) gClaims->back().params[i] = params[i];
      },
      [](int32_t) {},
      [](int32_t, int32_t) {}};
  TexAnimSetMediaHooks(&kHooks);
  VideoRow rows[4] = {
      {0, {5, 0, 0, 0}, {}},                       // counts no ids: matches nothing
      {2, {5, 6, 0, 0}, {}},                       // a second id that differs
      {3, {0, 5, 5, 0}, {90, 1, 2, 3, 4, 5, 6}},   // the first match
      {1, {5, 0, 0, 0}, {91, 0, 0, 0, 0, 0, 0}},
  };
  gVideoTable = {4, rows};
  EXPECT_EQ(FindIdRowAndClaimStream(6, 12), -1);
  EXPECT_TRUE(claims.empty());
  EXPECT_EQ(FindIdRowAndClaimStream(5, 12), 2);
  ASSERT_EQ(claims.size(), 1u);
  EXPECT_EQ(claims[0].stream, 12);
  EXPECT_EQ(claims[0].owner, 90);
  EXPECT_EQ(claims[0].params[5], 6);
  EXPECT_EQ(FindIdRowAndClaimStream(0, 12), -1);
  gVideoTable = {};
  TexAnimSetMediaHooks(nullptr);
  gClaims = nullptr;
}

}  // namespace
