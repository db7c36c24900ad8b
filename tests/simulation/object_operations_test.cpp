// The object command operations: the player object, groups, special lights, the first object a
// segment touches, collision shapes by class, type sounds, wreck types and take starts.
#include <gtest/gtest.h>

#include <vector>

#include "../universe/effect_world.h"
#include "../universe/lifecycle_world.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "simulation/object_operations.h"
#include "simulation/simulation_services.h"
#include "universe/effect_definitions.h"
#include "scene/take_records.h"
#include "universe/model_instances.h"
#include "universe/object_lifecycle.h"
#include "universe/object_takes.h"

namespace {

class ObjectOperations : public LifecycleWorld {
 protected:
  void SetUp() override {
    LifecycleWorld::SetUp();
    saved_ = gSimulationServices;
    Rows(kClassShip, 1)->bodyId = 10;
    Body(10, 1000);
  }
  void TearDown() override {
    gSimulationServices = saved_;
    FreeEffectDefinitions();
    LifecycleWorld::TearDown();
  }

  static InstanceRecord* Child(InstanceRecord* parent) {
    InstanceRecord* child = B3D_InstAlloc();
    B3D_InstAddToInst(child, parent);
    return child;
  }
  static size_t ChildCount(InstanceRecord* parent) {
    size_t n = 0;
    for (InstanceRecord* c = InstFirstChild(parent); c; c = InstNextSibling(c)) ++n;
    return n;
  }
  uint32_t Instances() { return HashCount(engine_.engine().handleTable); }

  SimulationServices saved_{};
};

TEST_F(ObjectOperations, PlayerObjectOnMakesTheLightAndOffTakesItAway) {
  for (uint32_t running : {1u, 0u}) {
    universe_.runState[1] = running;
    SpaceObject* ship = Create(kClassShip, 0);
    ship->refAngles[2] = 1234;
    SetAsPlayerObject(ship, true);
    EXPECT_EQ(ship->flags & ((1u << 1) | (1u << 18)), (1u << 1) | (1u << 18));
    InstanceRecord* light = static_cast<ShipExt*>(ship->ext)->attachedInstance;
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->lightRange, 100000);
    EXPECT_EQ(light->flags & 0x54u, 0x54u);
    EXPECT_EQ(light->lightColor[0], 255);
    EXPECT_EQ(universe_.player, running ? ship : nullptr);
    EXPECT_EQ((ship->instance->flags2 & 8) != 0, running != 0);
    EXPECT_EQ(ship->refAngles[2], running ? 0 : 1234);
    SetAsPlayerObject(ship, true);  // a second call keeps the one light
    EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->attachedInstance, light);
    const uint32_t before = Instances();
    ship->instance->flags |= 0x100000;
    SetAsPlayerObject(ship, false);
    EXPECT_FALSE(ship->flags & (1u << 1));
    EXPECT_EQ(static_cast<ShipExt*>(ship->ext)->attachedInstance, nullptr);
    EXPECT_EQ(Instances(), before - 1);
    EXPECT_FALSE(ship->instance->flags & 0x100000);
    EXPECT_FALSE(ship->instance->flags2 & 8);
    EXPECT_EQ(universe_.player, nullptr);
    DeleteObject(ship);
  }
}

TEST_F(ObjectOperations, Group10MarksTheWholeInstanceTree) {
  SpaceObject* ship = Create(kClassShip, 0);
  InstanceRecord* child = Child(ship->instance);
  InstanceRecord* grandchild = Child(child);
  SetObjectGroup(ship, 10);
  EXPECT_EQ(ship->owner, 10);
  for (InstanceRecord* i : {ship->instance, child, grandchild}) EXPECT_TRUE(i->flags2 & 0x40);
  SetObjectGroup(ship, 3);
  EXPECT_EQ(ship->owner, 3);
  for (InstanceRecord* i : {ship->instance, child, grandchild}) EXPECT_FALSE(i->flags2 & 0x40);
}

TEST_F(ObjectOperations, AFactoryInGroup10ShowsItsListedPartsReplaced) {
  Rows(kClassFactory, 1)->bodyId = 10;
  for (int32_t id : {20, 21, 475}) Body(id, 100);
  MatchRow match{20, 0, 0};
  gMatchTable = {0, 1, &match};
  SpaceObject* factory = Create(kClassFactory, 0);
  InstanceRecord* listed = Child(factory->instance);
  B3D_InstSetBody(listed, 20);
  InstanceRecord* other = Child(factory->instance);
  B3D_InstSetBody(other, 21);
  SetObjectGroup(factory, 10);
  EXPECT_EQ(listed->bodyId, 475);
  EXPECT_EQ(other->bodyId, 21);
  gMatchTable = {};
}

TEST_F(ObjectOperations, SpecialParameterLightsFollowTheMode) {
  Rows(kClassSpecial, 3)[0].bodyId = 10;
  TypeRowMutable(kClassSpecial, 2)->bodyId = 10;
  for (int32_t id : {30, 214, 265}) Body(id, 100);
  SpaceObject* special = Create(kClassSpecial, 0);
  special->radius = 8000;
  struct Case {
    int32_t value;
    size_t lights;
    int32_t body;
  };
  const Case kCases[] = {{1, 2, 30}, {2, 2, 265}, {5, 2, 214}, {0, 0, 0}, {1, 2, 30}};
  for (const Case& c : kCases) {
    SetSpecialParameter1(special, c.value);
    EXPECT_EQ(static_cast<SpecialExt*>(special->ext)->parameter1, static_cast<uint32_t>(c.value));
    ASSERT_EQ(ChildCount(special->instance), c.lights) << c.value;
    int32_t x = 0x12000;
    for (InstanceRecord* l = InstFirstChild(special->instance); l; l = InstNextSibling(l), x = -x) {
      EXPECT_EQ(l->bodyId, c.body) << c.value;
      EXPECT_EQ(l->position.x, x);
      EXPECT_EQ(l->size, 1000);
      EXPECT_EQ(l->flags & 0x4040u, 0x4040u);
      EXPECT_EQ(l->nodeId, -1);
    }
  }
  SpaceObject* stored = Create(kClassSpecial, 2);
  SetSpecialParameter1(stored, 1);
  EXPECT_EQ(static_cast<SpecialExt*>(stored->ext)->parameter1, 1u);
  EXPECT_EQ(ChildCount(stored->instance), 0u);
}

// The sweep test stands in for the geometry: these instances are touched.
std::vector<InstanceRecord*> gTouched;
std::vector<InstanceRecord*> gSwept;
FixedVector gSweptTo;

TEST_F(ObjectOperations, FastTraceAnswersTheFirstTouchingObjectInListOrder) {
  gSimulationServices.instSweepCollide = [](InstanceRecord* mover, const FixedVector* to, InstanceRecord* target,
                                            bool) {
    gSwept.push_back(target);
    gSweptTo = *to;
    EXPECT_EQ(mover->bodyId, 195);
    for (InstanceRecord* t : gTouched) {
      if (t == target) return true;
    }
    return false;
  };
  Body(195, 10);
  Rows(kClassAsteroid, 1)->bodyId = 10;
  Rows(kClassLaser, 1)->bodyId = 10;
  SectorObject* sector = Sector();
  auto in = [&](int32_t objClass) {
    SpaceObject* o = Create(objClass, 0);
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(sector), o);
    o->parent = sector;
    return o;
  };
  SpaceObject* laser = in(kClassLaser);  // not a solid class: never swept
  SpaceObject* rock = in(kClassAsteroid);
  SpaceObject* ship = in(kClassShip);
  const FixedVector from = {0, 0, 0, 0}, to = {0, 0, 90000, 0};
  struct Case {
    std::vector<InstanceRecord*> touched;
    SpaceObject* on;
    uint32_t expected;
  };
  const Case kCases[] = {
      {{ship->instance, rock->instance}, sector, rock->id},
      {{ship->instance}, sector, ship->id},
      {{laser->instance}, sector, 0},
      {{ship->instance}, ship, 0},  // not a sector
  };
  for (const Case& c : kCases) {
    gTouched = c.touched;
    gSwept.clear();
    const uint32_t before = Instances();
    EXPECT_EQ(FastTrace(c.on, &from, &to, 0), c.expected);
    EXPECT_EQ(Instances(), before) << "the probes are freed";
    for (InstanceRecord* s : gSwept) EXPECT_NE(s, laser->instance);
    if (!gSwept.empty()) {
      EXPECT_EQ(gSweptTo.z, 90000);
    }
  }
  // Ends further apart than a coordinate can hold still trace between them.
  const FixedVector nearEdge = {3, 0, 0, 0}, farEdge = {-2147483645, 0, INT32_MAX, 0};
  gTouched = {ship->instance};
  gSwept.clear();
  EXPECT_EQ(FastTrace(sector, &nearEdge, &farEdge, 0), ship->id);
  EXPECT_EQ(gSweptTo.x, farEdge.x);
  EXPECT_EQ(gSweptTo.z, farEdge.z);
  gTouched.clear();
  gSwept.clear();
}

TEST_F(ObjectOperations, CollisionShapesFollowClassAndBulletFlags) {
  struct Case {
    uint16_t objClass;
    uint32_t flags;  // bullet type flags, or object flags for a missile
    int32_t triangles;  // -1: no shape made from triangles
  };
  const Case kCases[] = {
      {kClassBullet, kBulletBeam, 2}, {kClassBullet, kBulletOctahedron, 8}, {kClassBullet, kBulletBoxTree, -1},
      {kClassBullet, 0, 2},           {kClassMissile, 1u << 24, 8},         {kClassMissile, 0, -1},
      {kClassSun, 0, -1},
  };
  int32_t body = 100;
  for (const Case& c : kCases) {
    ++body;
    Body(body, 0x10000);
    ObjectTypeRecord* row = Rows(c.objClass, 1);
    row->bodyId = body;
    SpaceObject* o = Create(c.objClass, 0);
    ASSERT_NE(o->instance, nullptr);
    B3D_InstSetBody(o->instance, body);  // missiles are made with a body of their own
    BodyRecord* record = LoadBody(body);
    FreeCollisionModel(record->collision);
    record->collision = nullptr;
    row->bullet.flags = c.objClass == kClassBullet ? c.flags : 0;
    row->bullet.shapeSizeA = row->bullet.shapeSizeB = 0x10000;
    if (c.objClass == kClassBullet) static_cast<BulletExt*>(o->ext)->collisionSize = 0x10000;
    if (c.objClass == kClassMissile) o->flags = (o->flags & ~(1u << 24)) | c.flags;
    RebuildObjectTreeCollision(o);
    const int32_t got = record->collision ? record->collision->triangleCount : -1;
    EXPECT_EQ(got, c.triangles) << c.objClass << " " << c.flags;
    DeleteObject(o);
  }
}

TEST_F(ObjectOperations, TypeSoundsReachContainedObjects) {
  ObjectTypeRecord* ship = TypeRowMutable(kClassShip, 0);
  ship->ship.sound = 77;
  SpaceObject* carrier = Create(kClassShip, 0);
  SpaceObject* docked = Create(kClassShip, 0);
  ObjectListRemove(docked);
  ObjectListAddTail(ObjectChildren(carrier), docked);
  docked->parent = carrier;
  docked->instance->soundSample = -1;
  ApplyTypeSoundToObjectTree(carrier);
  EXPECT_EQ(docked->instance->soundSample, 77);
}

TEST_F(ObjectOperations, AWreckNeedsItsRowBodyEffectAndAvailableBody) {
  EffectDefinitionEntry wreck{};
  wreck.flags = EEDF_WRECK;
  DefineEffectRow(3, {wreck});
  ObjectTypeRecord* ships = Rows(kClassShip, 4);
  ObjectTypeRecord* wrecks = Rows(kClassShipWreck, 4);
  Body(40, 10);
  for (int s = 0; s < 4; ++s) ships[s].ship.effectRow = 3;
  wrecks[0].bodyId = 40;       // all three
  wrecks[1].bodyId = 0;        // no wreck body
  wrecks[2].bodyId = 40;       // no wreck effect
  ships[2].ship.effectRow = 0;
  wrecks[3].bodyId = 999;      // a body that cannot be loaded
  struct Case {
    int32_t subtype, objClass, expected;
  };
  const Case kCases[] = {{0, kClassShip, 1}, {1, kClassShip, 0}, {2, kClassShip, 0},
                         {3, kClassShip, 0}, {0, kClassAsteroid, 0}, {9, kClassShip, 0}};
  for (const Case& c : kCases) EXPECT_EQ(TypeCreatesWreck(c.subtype, c.objClass), c.expected) << c.subtype;
}

}  // namespace

namespace {

class TakeStart : public LifecycleWorld {};

// A take owns the cut it plays (stopping it frees the cut), so only the refusals are shown here.
TEST_F(TakeStart, ATakeWhoseCutCannotBeMadeAnswers0AndHoldsNothing) {
  SectorObject* sector = Sector();
  ObjTakeRecord* record = ObjTakeCreate(sector);
  ASSERT_NE(record, nullptr);
  const FixedVector at{};
  EXPECT_EQ(StartTake(record, 9999, &at, nullptr, false, nullptr), 0);
  EXPECT_EQ(record->take->cutHandle, 0u);
  EXPECT_EQ(record->take->instanceCount, 0);
  EXPECT_EQ(StartTake(nullptr, 9999, &at, nullptr, false, nullptr), 0);
}

}  // namespace
