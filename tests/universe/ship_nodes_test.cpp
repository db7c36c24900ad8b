// Ship gun and component nodes over a hand-built instance tree: the node by body and path, the
// second node below a gun dummy, indexes beyond the type rows, the gun-node flag by laser slot,
// the component transform, which objects count as wares, and a carried shot following its emitter.
#include <gtest/gtest.h>

#include <deque>

#include "scene/instance_records.h"
#include "universe/missile_services.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/universe.h"
#include "universe/type_world.h"

namespace {

class ShipNodes : public TypeWorld {
 protected:
  InstanceRecord* Node(InstanceRecord* parent, int32_t body, int32_t path) {
    InstanceRecord& n = nodes_.emplace_back();
    ListInit(&n.children);
    n.bodyId = body;
    n.nodeId = path;
    n.matrix.m[0][0] = n.matrix.m[1][1] = n.matrix.m[2][2] = 65536;
    if (parent) {
      ListAddTail(&parent->children, &n.node);
      n.parent = parent;
    }
    return &n;
  }

  // A ship type with two components and one turret of two guns; the second gun sits on a gun
  // dummy (body 40) with its barrel (body 41, path 2) below it.
  void SetUp() override {
    ObjectTypeRecord* ships = Rows(kClassShip, 2);
    ShipType& s = ships[0].ship;
    s.componentCount = 2;
    s.components[0] = {1, 0, 20, 3, -1, 0};
    s.components[1] = {2, -1, 21, 4, 0, 0};
    s.turretCount = 1;
    s.turrets[0].firstSlot = 5;
    s.turrets[0].slotCount = 2;
    s.turrets[0].gunCount = 2;
    s.turrets[0].gun[0] = {5, 1, 30, 1, -1, -1};
    s.turrets[0].gun[1] = {6, 1, 40, 1, 41, 2};
    dummy_.body = 40;
    gDummyTable.kinds[kDummyKindGun] = {1, &dummy_};

    root_ = Node(nullptr, 10, 0);
    component_ = Node(root_, 20, 3);
    Node(root_, 30, 0);  // the right body on another path
    gun_ = Node(root_, 30, 1);
    dummyNode_ = Node(root_, 40, 1);
    barrel_ = Node(dummyNode_, 41, 2);
    component_->position = {7, 8, 9, 0};
    component_->matrix.m[0][1] = 123;
    ship_.objClass = kClassShip;
    ship_.subtype = 0;
    ship_.instance = root_;
  }

  std::deque<InstanceRecord> nodes_;
  DummyRow dummy_{};
  InstanceRecord* root_ = nullptr;
  InstanceRecord* component_ = nullptr;
  InstanceRecord* gun_ = nullptr;
  InstanceRecord* dummyNode_ = nullptr;
  InstanceRecord* barrel_ = nullptr;
  SpaceObject ship_{};
};

TEST_F(ShipNodes, GunAndComponentNodesAreFoundByBodyAndPath) {
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 0), gun_) << "a plain gun";
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 1), barrel_) << "a gun on a dummy: its barrel";
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 2), nullptr) << "gun beyond the count";
  EXPECT_EQ(FindShipGunNode(&ship_, 1, 0), nullptr) << "turret beyond the count";
  EXPECT_EQ(FindShipGunNode(&ship_, -1, 0), nullptr);

  ListRemove(&barrel_->node);
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 1), dummyNode_) << "no barrel: the dummy's node";
  dummy_.body = 99;
  ListAddTail(&dummyNode_->children, &barrel_->node);
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 1), dummyNode_) << "not a gun dummy: the first node";

  EXPECT_EQ(FindShipComponentNode(0, &ship_), component_);
  EXPECT_EQ(FindShipComponentNode(1, &ship_), nullptr) << "no node with that body and path";
  EXPECT_EQ(FindShipComponentNode(2, &ship_), nullptr);

  gObjectTypeTables[kClassShip].rows[0].ship.componentCount = 0;
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 0), root_) << "a type without components: the ship's instance";
  ship_.subtype = 5;
  EXPECT_EQ(FindShipGunNode(&ship_, 0, 0), nullptr) << "a subtype beyond the table";
}

// A hull launch aims at the gun of the target nearest to the missile; a target without guns (or
// no ship at all) is aimed at where it stands.
TEST_F(ShipNodes, TheNearestGunPositionIsTheClosestGunNodeElseTheTargetsOwnPlace) {
  root_->world = {1000, 0, 0, 0};
  gun_->world = {1100, 0, 0, 0};
  barrel_->world = {900, 0, 0, 0};
  struct Case {
    FixedVector from;
    FixedVector expected;
  };
  const Case kCases[] = {
      {{5000, 0, 0, 0}, {1100, 0, 0, 0}},  // nearer the plain gun
      {{-5000, 0, 0, 0}, {900, 0, 0, 0}},  // nearer the barrel on the gun dummy
      {{1000, 0, 0, 0}, {1100, 0, 0, 0}},  // equally near: the first gun
  };
  for (const Case& c : kCases) {
    FixedVector out{};
    ASSERT_TRUE(FindNearestGunPosition(&ship_, &c.from, &out));
    EXPECT_EQ(out.x, c.expected.x) << "from x " << c.from.x;
  }

  const FixedVector from{5000, 0, 0, 0};
  FixedVector out{};
  ListRemove(&gun_->node);
  ListRemove(&dummyNode_->node);
  ASSERT_TRUE(FindNearestGunPosition(&ship_, &from, &out));
  EXPECT_EQ(out.x, 1000) << "no gun node: the ship's own place";

  SpaceObject rock{};
  rock.objClass = kClassAsteroid;
  rock.instance = root_;
  ASSERT_TRUE(FindNearestGunPosition(&rock, &from, &out));
  EXPECT_EQ(out.x, 1000) << "no ship: its own place";
  rock.instance = nullptr;
  EXPECT_FALSE(FindNearestGunPosition(&rock, &from, &out));
  EXPECT_FALSE(FindNearestGunPosition(nullptr, &from, &out));
}

TEST_F(ShipNodes, TheGunNodeFlagFollowsTheLaserSlot) {
  ShipSetGunNodeFlag(5, &ship_, true);
  EXPECT_TRUE(gun_->flags & kGunNodeFiringFlag);
  ShipSetGunNodeFlag(6, &ship_, true);
  EXPECT_TRUE(barrel_->flags & kGunNodeFiringFlag);
  ShipSetGunNodeFlag(7, &ship_, true);  // beyond the turret's slots: nothing
  ShipSetGunNodeFlag(5, &ship_, false);
  EXPECT_FALSE(gun_->flags & kGunNodeFiringFlag);
  EXPECT_TRUE(barrel_->flags & kGunNodeFiringFlag);
  for (const InstanceRecord& n : nodes_) {
    if (&n != barrel_) {
      EXPECT_FALSE(n.flags & kGunNodeFiringFlag);
    }
  }
}

TEST_F(ShipNodes, AComponentTransformIsTheNodesRotationAndPositionElseTheIdentity) {
  int32_t out[12];
  ASSERT_EQ(GetComponentNodeTransform(20, &ship_, out), 1);
  EXPECT_EQ(out[0], 65536);
  EXPECT_EQ(out[1], 123);
  EXPECT_EQ(out[8], 65536);
  EXPECT_EQ(out[9], 7);
  EXPECT_EQ(out[11], 9);
  for (int32_t body : {21, 77}) {
    SCOPED_TRACE(body);
    ASSERT_EQ(GetComponentNodeTransform(body, &ship_, out), 0);
    const int32_t identity[12] = {65536, 0, 0, 0, 65536, 0, 0, 0, 65536, 0, 0, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], identity[i]) << i;
  }
}

TEST_F(ShipNodes, WaresAreTheWareClassesUnarmedMissilesAndHeldAsteroids) {
  SpaceObject held{};
  struct Case {
    uint16_t objClass;
    int16_t subtype;
    uint32_t flags;
    SpaceObject* linked;
    bool ware;
  };
  const Case kCases[] = {
      {kClassLaser, 0, 0, nullptr, true},      {kClassShield, 0, 0, nullptr, true},
      {kClassWareFirst, 0, 0, nullptr, true},  {kClassWareLast, 0, 0, nullptr, true},
      {kClassMissile, 0, 0, nullptr, true},    {kClassMissile, 0, kObjFlagArmed, nullptr, false},
      {kClassAsteroid, 9, 0, &held, true},     {kClassAsteroid, 9, 0, nullptr, false},
      {kClassAsteroid, 8, 0, &held, false},    {kClassDock, 0, 0, nullptr, false},
      {kClassShip, 1, 0, nullptr, false},      {kClassBullet, 0, 0, nullptr, false},
  };
  for (const Case& c : kCases) {
    SpaceObject o{};
    o.objClass = c.objClass;
    o.subtype = c.subtype;
    o.flags = c.flags;
    o.linkedObject = c.linked;
    EXPECT_EQ(ObjIsWareObject(&o), c.ware) << "class " << c.objClass << " subtype " << c.subtype;
  }
  EXPECT_FALSE(ObjIsWareObject(nullptr));
}

TEST_F(ShipNodes, ACarriedShotSitsAtItsOffsetFromTheEmittersWorldPosition) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[0].bullet.flags = kBulletFlagCarried;
  bullets[1].bullet.flags = 0;
  root_->position = {1000, 0, 0, 0};
  gun_->position = {10, 20, 30, 0};
  SpaceObject gun{};
  gun.objClass = kClassLaser;
  gun.instance = gun_;
  InstanceRecord* shotNode = Node(nullptr, 50, 0);
  shotNode->matrix.m[0][1] = 77;

  struct Case {
    const char* what;
    int16_t subtype;
    bool fired, gunHasNode;
    bool moves;
  };
  const Case kCases[] = {
      {"carried shot", 0, true, true, true},
      {"type without the carried flag", 1, true, true, false},
      {"subtype beyond the table", 2, true, true, false},
      {"no emitter", 0, false, true, false},
      {"emitter without a node", 0, true, false, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    BulletExt ext{};
    ext.firedBy = c.fired ? &gun : nullptr;
    ext.carriedOffset = {1, 2, -3, 0};
    SpaceObject shot{};
    shot.objClass = kClassBullet;
    shot.subtype = c.subtype;
    shot.ext = &ext;
    shot.instance = shotNode;
    gun.instance = c.gunHasNode ? gun_ : nullptr;
    shotNode->position = shotNode->world = {5, 5, 5, 0};
    shotNode->worldMatrix = FixedMatrix{};
    gun_->world = {};

    ObjFollowCarrierNode(&shot);
    if (c.moves) {
      EXPECT_EQ(gun_->world.x, 1010) << "the emitter's world position is brought up to date";
      EXPECT_EQ(gun_->world.z, 30);
      EXPECT_EQ(gun_->worldMatrix.m[0][0], 65536);
      EXPECT_EQ(shotNode->position.x, 1011);
      EXPECT_EQ(shotNode->position.y, 22);
      EXPECT_EQ(shotNode->position.z, 27);
      EXPECT_EQ(shotNode->world.x, 1011);
      EXPECT_EQ(shotNode->world.z, 27);
      EXPECT_EQ(shotNode->worldMatrix.m[0][1], 77);
    } else {
      EXPECT_EQ(shotNode->position.x, 5);
      EXPECT_EQ(shotNode->world.x, 5);
      EXPECT_EQ(shotNode->worldMatrix.m[0][0], 0);
    }
  }
  SpaceObject notABullet{};
  notABullet.objClass = kClassShip;
  ObjFollowCarrierNode(&notABullet);
  ObjFollowCarrierNode(nullptr);
}

}  // namespace
