// Placement and detail: facing, container moves and the sector scenes, planet lights, when detail
// is wanted, and the switch between simple and detailed forms with debris successors, parts and
// their removal, used-up debris and a looping successor chain.
#include "universe/object_detail.h"

#include "scene/cut_records.h"
#include "scene/instance.h"
#include "scene/scene_records.h"
#include "lifecycle_world.h"

namespace {

class Placement : public LifecycleWorld {
 protected:
  void SetUp() override {
    LifecycleWorld::SetUp();
    ListInit(&sceneA_.members);
    ListInit(&sceneA_.cameras);
    ListInit(&sceneB_.members);
    ListInit(&sceneB_.cameras);
  }
  void TearDown() override {
    FreeAllObjects(&universe_);  // instances leave the scenes before the scenes go
    LifecycleWorld::TearDown();
  }
  SectorObject* ShownSector() {
    SectorObject* s = Sector();
    s->sceneA = &sceneA_;
    s->sceneB = &sceneB_;
    return s;
  }
  SceneRecord sceneA_{}, sceneB_{};
};

TEST_F(Placement, FacingKeepsARegularFrame) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  struct Case {
    const char* what;
    FixedVector direction;
    FixedVector forward, up;
  };
  const Case kCases[] = {
      {"ahead", {0, 0, 5000, 0}, {0, 0, kFixedOne, 0}, {0, kFixedOne, 0, 0}},
      {"right", {300, 0, 0, 0}, {kFixedOne, 0, 0, 0}, {0, kFixedOne, 0, 0}},
      {"straight up", {0, 7000, 0, 0}, {0, kFixedOne, 0, 0}, {0, 0, -kFixedOne, 0}},
      {"straight down", {0, -7000, 0, 0}, {0, -kFixedOne, 0, 0}, {0, 0, -kFixedOne, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* o = Create(kClassShip, 0);
    ObjFaceDirection(o, c.direction.x, c.direction.y, c.direction.z);
    const FixedMatrix& m = o->instance->matrix;
    const FixedVector got[2] = {{m.m[2][0], m.m[2][1], m.m[2][2], 0}, {m.m[1][0], m.m[1][1], m.m[1][2], 0}};
    const FixedVector want[2] = {c.forward, c.up};
    for (int r = 0; r < 2; ++r) {
      EXPECT_NEAR(got[r].x, want[r].x, 64);
      EXPECT_NEAR(got[r].y, want[r].y, 64);
      EXPECT_NEAR(got[r].z, want[r].z, 64);
    }
  }
  SpaceObject* o = Create(kClassShip, 0);
  ObjSetAngles(o, 100, 200, 300);
  ObjFaceDirection(o, 0, 0, 0);
  EXPECT_EQ(o->angles[0], 100) << "no direction leaves the object as it was";
}

TEST_F(Placement, MovingIntoContainersAndScenes) {
  Rows(kClassShip, 1)->bodyId = 5;
  Rows(kClassSun, 1)->bodyId = 6;
  Rows(kClassDock, 1)->bodyId = 7;
  Body(5, kFixedOne);
  Body(6, kFixedOne);
  Body(7, kFixedOne);
  SectorObject* sector = ShownSector();
  SpaceObject* ship = Create(kClassShip, 0);
  SpaceObject* sun = Create(kClassSun, 0);
  SpaceObject* dock = Create(kClassDock, 0);
  ObjAttachInstance(ship, sector);
  ObjAttachInstance(sun, sector);
  ObjAttachInstance(dock, sector);
  EXPECT_EQ(ship->parent, sector);
  EXPECT_EQ(ship->instance->scene, &sceneA_);
  EXPECT_EQ(sun->instance->scene, &sceneB_);
  EXPECT_EQ(static_cast<SunExt*>(sun->ext)->lightA->scene, &sceneA_);
  EXPECT_EQ(static_cast<SunExt*>(sun->ext)->lightB->scene, &sceneB_);

  ship->refAngles[0] = 9;
  system_.gameTime = 8000;
  const uint32_t created = ship->createdAt;
  ObjAttachInstance(ship, sector);
  EXPECT_EQ(ship->createdAt, created) << "the same container changes nothing";
  EXPECT_EQ(ship->refAngles[0], 9);

  ObjAttachInstance(ship, dock);
  EXPECT_EQ(ship->parent, dock);
  EXPECT_EQ(ObjectListFirst(ObjectChildren(dock)), ship);
  EXPECT_EQ(ship->createdAt, 8000u);
  EXPECT_EQ(ship->refAngles[0], 0);
  EXPECT_EQ(ship->instance->scene, nullptr) << "only a sector parent gives scenes";

  Rows(kClassLaser, 1)->bodyId = 5;
  SpaceObject* laser = Create(kClassLaser, 0);
  SpaceObject* other = Create(kClassShip, 0);
  ObjAttachInstance(other, laser);  // a laser holds no child list and takes nothing
  EXPECT_EQ(other->parent, nullptr);
}

TEST_F(Placement, PlanetLightFollowsThePlanet) {
  Rows(kClassPlanet, 1)->bodyId = 8;
  Body(8, kFixedOne);
  SectorObject* sector = ShownSector();
  SpaceObject* planet = Create(kClassPlanet, 0);
  ObjAttachInstance(planet, sector);
  struct Case {
    FixedVector position, light;
  };
  const Case kCases[] = {
      {{200000000, 0, 0, 0}, {1000000000, 0, 0, 0}},
      {{0, -300000000, 0, 0}, {0, -1000000000, 0, 0}},
      {{1000, -20, 5, 0}, {10000, -200, 50, 0}},
      {{100000000, 0, 0, 0}, {1000000000, 0, 0, 0}},
  };
  InstanceRecord* light = static_cast<PlanetExt*>(planet->ext)->light;
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->scene, &sceneA_);
  for (const Case& c : kCases) {
    sector->sectorWords[6] = sector->sectorWords[8] = 7;
    ObjSetPosition(planet, c.position.x, c.position.y, c.position.z);
    EXPECT_EQ(light->position.x, c.light.x);
    EXPECT_EQ(light->position.y, c.light.y);
    EXPECT_EQ(light->position.z, c.light.z);
    EXPECT_EQ(sector->sectorWords[6], 0u);
    EXPECT_EQ(sector->sectorWords[8], 0u);
  }
}

TEST_F(Placement, SunLightsTurnAndMoveWithTheSun) {
  Rows(kClassSun, 1)->bodyId = 6;
  Body(6, kFixedOne);
  SectorObject* sector = ShownSector();
  SpaceObject* sun = Create(kClassSun, 0);
  ObjAttachInstance(sun, sector);
  sector->sectorWords[6] = sector->sectorWords[8] = 7;
  ObjSetAngles(sun, 4000, 1000, 0);
  ObjSetPosition(sun, 10, -20, 30);
  const InstanceRecord* inst = sun->instance;
  for (const InstanceRecord* light : {static_cast<SunExt*>(sun->ext)->lightA, static_cast<SunExt*>(sun->ext)->lightB}) {
    ASSERT_NE(light, nullptr);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(light->matrix.m[r][c], inst->matrix.m[r][c]);
    EXPECT_EQ(light->position.x, 10);
    EXPECT_EQ(light->position.y, -20);
    EXPECT_EQ(light->position.z, 30);
  }
  EXPECT_EQ(inst->world.y, -20);
  EXPECT_EQ(sun->angles[0], 4000);
  EXPECT_EQ(sector->sectorWords[6], 0u);
  EXPECT_EQ(sector->sectorWords[8], 0u);
}

class Detail : public Placement {
 protected:
  // Debris rows: 0 (threshold 100, shrinks into body 81), 1 (body 81, threshold 10, no smaller
  // type); both detail-managed through cut 500, whose two usable paths make asteroids.
  void DebrisWorld() {
    ObjectTypeRecord* debris = Rows(kClassDebris, 2);
    debris[0] = {};
    debris[0].bodyId = 80;
    debris[0].debris = {500, 100, 81, 0};
    debris[1].bodyId = 81;
    debris[1].debris = {500, 10, 0, 0};
    Rows(kClassAsteroid, 1)->bodyId = 82;
    for (int32_t id : {80, 81, 82}) Body(id, kFixedOne);
    for (int p = 0; p < 3; ++p) {
      keys_[p].position = {1000 * (p + 1), 0, 0, 0};
      rotations_[p].angles[0] = rotations_[p].angles[1] = rotations_[p].angles[2] = 0;
      paths_[p].positions = {1, &keys_[p]};
      paths_[p].rotations = {p == 2 ? 0 : 1, &rotations_[p]};  // the third has no rotation: no part
      paths_[p].lookupWord = 82;
    }
    cut_.handle = 500;
    cut_.pathCount = 3;
    cut_.paths = paths_;
    HashInsert(engine_.engine().cutTable, cut_.handle, reinterpret_cast<HashValue>(&cut_));
  }
  void TearDown() override {
    HashRemove(engine_.engine().cutTable, cut_.handle);
    Placement::TearDown();
  }
  SpaceObject* DebrisIn(SectorObject* sector, int16_t subtype, uint32_t amount) {
    SpaceObject* o = Create(kClassDebris, subtype);
    static_cast<AmountExt*>(o->ext)->amount = amount;
    ObjAttachInstance(o, sector);
    return o;
  }
  std::vector<SpaceObject*> PartsOf(SectorObject* sector, SpaceObject* whole) {
    std::vector<SpaceObject*> parts;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector)); o; o = ObjectListNext(o)) {
      if (o->linkedObject == whole) parts.push_back(o);
    }
    return parts;
  }
  PositionKey keys_[3]{};
  RotationKey rotations_[3]{};
  PathRecord paths_[3]{};
  CutRecord cut_{};
};

TEST_F(Detail, OnlyAnObjectInAShownSectorWantsDetail) {
  DebrisWorld();
  SectorObject* hidden = Sector();
  SpaceObject* debris = DebrisIn(hidden, 0, 50);
  EXPECT_TRUE(debris->flags2 & kObjFlag2DetailManaged);
  EXPECT_FALSE(WantsDetail(debris));
  EXPECT_EQ(ObjSwitchDetail(debris, 0, true), 0) << "unforced, it already has the form it wants";
  SpaceObject* loose = Create(kClassDebris, 0);
  EXPECT_FALSE(WantsDetail(loose));
  EXPECT_EQ(ObjSwitchDetail(loose, 1, true), 0) << "no parent, no switch";
}

TEST_F(Detail, SwitchingCreatesAndRemovesTheLinkedParts) {
  DebrisWorld();
  SectorObject* sector = ShownSector();
  SpaceObject* debris = DebrisIn(sector, 0, 500);
  EXPECT_EQ(debris->subtype, 0);
  static_cast<AmountExt*>(debris->ext)->amount = 50;
  debris->scriptId = 41;
  InstanceRecord* simple = debris->instance;

  ASSERT_EQ(ObjSwitchDetail(debris, 1, true), 1);
  std::vector<SpaceObject*> parts = PartsOf(sector, debris);
  ASSERT_EQ(parts.size(), 2u);
  for (SpaceObject* part : parts) {
    EXPECT_EQ(part->objClass, kClassAsteroid);
    EXPECT_TRUE(part->flags2 & kObjFlag2DetailPart);
    EXPECT_EQ(part->parent, sector);
  }
  EXPECT_EQ(parts[1]->instance->position.x, 2000);
  // Amount 50 is below row 0's threshold: the debris became row 1 with a new instance.
  EXPECT_EQ(debris->subtype, 1);
  EXPECT_NE(debris->instance, simple);
  EXPECT_EQ(debris->instance->bodyId, 81);
  EXPECT_EQ(debris->instance->scene, &sceneA_);
  EXPECT_TRUE(debris->flags2 & kObjFlag2Detailed);
  EXPECT_EQ(debris->instance->flags & 0x8100000u, 0x8100000u);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], (RaisedEvent{41, "DetailSwitch", 1, 0, 0}));

  parts[0]->scriptId = 42;
  events_.clear();
  ASSERT_EQ(ObjSwitchDetail(debris, 1, false), 1);
  EXPECT_FALSE(debris->flags2 & kObjFlag2Detailed);
  EXPECT_EQ(debris->instance->flags & 0x8100000u, 0u);
  EXPECT_EQ(parts[0]->linkedObject, nullptr);
  EXPECT_EQ(parts[1]->linkedObject, nullptr);
  EXPECT_FALSE(parts[0]->flags & kObjFlagRemoving) << "a scripted part is told, not removed";
  EXPECT_TRUE(parts[1]->flags & kObjFlagRemoving);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], (RaisedEvent{42, "SelfDestruct", 2, 19, 0}));
}

TEST_F(Detail, UsedUpDebrisGoesAwayOnAnUnforcedSwitchToSimple) {
  DebrisWorld();
  SectorObject* sector = ShownSector();
  struct Case {
    uint32_t scriptId;
    bool removed;
  };
  const Case kCases[] = {{0, true}, {43, false}};
  for (const Case& c : kCases) {
    events_.clear();
    SpaceObject* debris = DebrisIn(sector, 1, 5);  // below row 1's threshold, nothing smaller
    debris->scriptId = c.scriptId;
    debris->flags2 |= kObjFlag2Detailed;
    ASSERT_EQ(ObjSwitchDetail(debris, 0, true), 1);
    EXPECT_EQ((debris->flags & kObjFlagRemoving) != 0, c.removed);
    if (c.scriptId) {
      ASSERT_EQ(events_.size(), 1u);
      EXPECT_EQ(events_[0], (RaisedEvent{c.scriptId, "SelfDestruct", 2, 20, 0}));
    }
  }
  SpaceObject* forced = DebrisIn(sector, 1, 5);
  forced->flags2 |= kObjFlag2Detailed;
  ASSERT_EQ(ObjSwitchDetail(forced, 1, false), 1);
  EXPECT_FALSE(forced->flags & kObjFlagRemoving) << "a forced switch keeps it";
}

TEST_F(Detail, LoopingSuccessorChainEnds) {
  DebrisWorld();
  ObjectTypeRecord* rows = gObjectTypeTables[kClassDebris].rows;
  rows[0].debris.body = 81;  // 0 -> 1 -> 0 -> ...
  rows[1].debris.body = 80;
  rows[1].debris.value = 100;
  SectorObject* sector = ShownSector();
  SpaceObject* debris = DebrisIn(sector, 0, 5);
  EXPECT_EQ(ObjSwitchDetail(debris, 1, true), 1);
  EXPECT_EQ(ObjSwitchDetail(debris, 1, false), 1);
}

TEST_F(Detail, HeldObjectsDoNotSwitch) {
  DebrisWorld();
  SectorObject* sector = ShownSector();
  SpaceObject* debris = DebrisIn(sector, 0, 500);
  debris->flags2 |= kObjFlag2DetailHeld;
  EXPECT_EQ(ObjSwitchDetail(debris, 1, true), 0);
  EXPECT_TRUE(PartsOf(sector, debris).empty());
}

}  // namespace
