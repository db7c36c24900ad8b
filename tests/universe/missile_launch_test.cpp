// Missile launch: the refusals, the retargeting of seeking missiles, hull and turret placement,
// and what the scripts are told.
#include <gtest/gtest.h>

#include "core/hash_table.h"
#include "lifecycle_world.h"
#include "universe/missile_launch.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"

namespace {

constexpr int16_t kPlain = 0;    // needs a target
constexpr int16_t kSeeking = 1;  // flies without one and retargets
constexpr int32_t kMaxSpeed = 40000;
constexpr int32_t kGunBody = 3100;
constexpr int32_t kLaunchBody = 3101;
constexpr uint16_t kOwnRace = 1, kFoeRace = 2;

class MissileLaunch : public LifecycleWorld {
 protected:
  void SetUp() override {
    LifecycleWorld::SetUp();
    ObjectTypeRecord* missiles = Rows(kClassMissile, 2);
    for (int i = 0; i < 2; ++i) {
      missiles[i].missile.speed = kMaxSpeed;
      missiles[i].missile.rangeTime = 12500;  // range 400000
    }
    missiles[kSeeking].missile.missileFlags = 1;
    ObjectTypeRecord* ships = Rows(kClassShip, 1);
    ships[0].ship.turretCount = 2;
    ShipTurretRow& turret = ships[0].ship.turrets[1];
    turret.gunCount = 3;
    for (TurretGunRow& gun : turret.gun) {
      gun.slotCount = 1;
      gun.gunBody = kGunBody;
    }
    turret.gun[2].gunBody = kLaunchBody;
    Body(kGunBody, 10);
    Body(kLaunchBody, 10);
    point_.position[2] = 0x30000;
    entry_ = {kLaunchBody, 1, &point_};
    gComponentTable.kinds[kComponentKindLaser] = {1, &entry_};

    sector_ = Sector();
    shooter_ = Ship(kOwnRace, 0);
    shooter_->scriptId = 700;
    static_cast<ShipExt*>(shooter_->ext)->foeMask = 1u << kFoeRace;
    SetObjectEventSink([](const ObjectEvent& e) {
      if (std::string(e.name) == "GetScannerRange") SetValueInt(&e.object->scriptValue, gScannerRange);
      gEvents->push_back({e.scriptId, e.name, e.argCount, e.args[0], e.args[1]});
    });
  }

  void TearDown() override {
    gComponentTable = {};  // the case's own entry
    LifecycleWorld::TearDown();
  }

  SpaceObject* Ship(uint16_t race, int32_t z) {
    SpaceObject* o = Create(kClassShip, 0);
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(sector_), o);
    o->parent = sector_;
    o->owner = race;
    if (o->instance) {
      o->instance->position = {0, 0, z, 0};
      o->instance->world = o->instance->position;
    }
    return o;
  }

  int Missiles() {
    int n = 0;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) n += o->objClass == kClassMissile;
    return n + TopLevelCount() - 1;  // a failed launch must not leave one in the top-level list either
  }

  static MissileExt* Ext(SpaceObject* m) { return static_cast<MissileExt*>(m->ext); }

  static inline int32_t gScannerRange = 0;
  ComponentPoint point_{};
  ComponentEntry entry_{};
  SectorObject* sector_ = nullptr;
  SpaceObject* shooter_ = nullptr;
};

TEST_F(MissileLaunch, RefusedLaunchesLeaveNothingBehind) {
  SpaceObject* foe = Ship(kFoeRace, 5000);
  struct Case {
    const char* name;
    bool withTarget;
    int32_t turret, subtype;
  };
  const Case kCases[] = {
      {"a type that needs a target, without one", false, 0, kPlain},
      {"a negative turret", true, -1, kPlain},
      {"a turret beyond the ship's count", true, 2, kPlain},
      {"a subtype beyond the table", true, 0, 2},
      {"a negative subtype", true, 0, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const uint32_t ids = HashCount(universe_.idHash);
    events_.clear();
    EXPECT_EQ(ObjLaunchMissile(shooter_, c.withTarget ? foe : nullptr, c.turret, c.subtype, 0, 0), nullptr);
    EXPECT_EQ(Missiles(), 0);
    EXPECT_EQ(HashCount(universe_.idHash), ids);
    EXPECT_TRUE(events_.empty());
  }
}

TEST_F(MissileLaunch, SeekingMissileAtAFriendFliesAtTheNearestFoeWithinScannerRange) {
  SpaceObject* friendly = Ship(kOwnRace, 1000);
  SpaceObject* nearFoe = Ship(kFoeRace, 3000);
  Ship(kFoeRace, 9000);
  struct Case {
    int32_t scannerRange;
    SpaceObject* expected;
  };
  const Case kCases[] = {{1000000, nearFoe}, {5000, nearFoe}, {2000, nullptr}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.scannerRange);
    gScannerRange = c.scannerRange;
    SpaceObject* missile = ObjLaunchMissile(shooter_, friendly, 0, kSeeking, 0, 0);
    if (!c.expected) {
      EXPECT_EQ(missile, nullptr);
      continue;
    }
    ASSERT_NE(missile, nullptr);
    EXPECT_EQ(Ext(missile)->target, c.expected);
  }
}

TEST_F(MissileLaunch, HullLaunchAtATargetBehindTurnsHalfATurnAndStartsFast) {
  shooter_->radius = 4000;
  shooter_->speed = 300;
  shooter_->angles[0] = 0x1000;
  shooter_->angles[1] = 0x2000;
  shooter_->angles[2] = 0x300;
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t targetZ;
    int32_t angles[3];
    int32_t speed;
  };
  const Case kCases[] = {
      {"behind, turning", kObjFlagMissileTurnsAround, -5000, {0x9000, 0xE000, 0x300}, kMaxSpeed / 20 + 5000},
      {"ahead", kObjFlagMissileTurnsAround, 5000, {0x1000, 0x2000, 0x300}, kMaxSpeed / 20 + 300},
      {"behind, not turning", 0, -5000, {0x1000, 0x2000, 0x300}, kMaxSpeed / 20 + 300},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    shooter_->flags = (shooter_->flags & ~kObjFlagMissileTurnsAround) | c.flags;
    SpaceObject* foe = Ship(kFoeRace, c.targetZ);
    SpaceObject* missile = ObjLaunchMissile(shooter_, foe, 0, kPlain, 0, 7);
    ASSERT_NE(missile, nullptr);
    EXPECT_EQ(missile->angles[0], c.angles[0]);
    EXPECT_EQ(missile->angles[1], c.angles[1]);
    EXPECT_EQ(missile->angles[2], c.angles[2]);
    EXPECT_EQ(missile->speed, c.speed);
    EXPECT_EQ(missile->speedLimit, kMaxSpeed);
    // A quarter of the radius below the shooter, in the shooter's container.
    EXPECT_EQ(missile->instance->position.y, -1000);
    EXPECT_EQ(missile->parent, sector_);
    EXPECT_EQ(Ext(missile)->phase, 7);
    EXPECT_EQ(Ext(missile)->launcher, shooter_);
  }
}

TEST_F(MissileLaunch, ScriptsHearOfTheLaunchAndCountedLaunchesAreCounted) {
  SpaceObject* foe = Ship(kFoeRace, 5000);
  foe->scriptId = 800;
  SpaceObject* missile = ObjLaunchMissile(shooter_, foe, 0, kPlain, 2, 0);
  ASSERT_NE(missile, nullptr);
  EXPECT_EQ(universe_.missileCount, 1u);
  EXPECT_TRUE(missile->flags2 & kObjFlag2LaunchFlag1);
  EXPECT_EQ(missile->flags & 0x1080000u, 0x1080000u);
  const std::vector<RaisedEvent> expected = {
      {700, "MissileLaunched", 1, kPlain, 0},
      {800, "MissileAlert", 2, static_cast<int32_t>(missile->id), static_cast<int32_t>(shooter_->id)},
  };
  EXPECT_EQ(events_, expected);
}

TEST_F(MissileLaunch, TurretGunIsPickedByShotNumberAndNeedsALaunchPoint) {
  SpaceObject* foe = Ship(kFoeRace, 5000);
  ObjectTypeRecord* missiles = Rows(kClassMissile, 1);
  missiles[0].missile.speed = kMaxSpeed;
  missiles[0].missile.missileFlags = 4;  // gun chosen by shot number
  struct Case {
    int32_t shotNo;
    bool launches;  // only the third gun's body has a launch point
  };
  const Case kCases[] = {{-1, true}, {2, true}, {5, true}, {0, false}, {-2, false}, {4, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.shotNo);
    const uint32_t ids = HashCount(universe_.idHash);
    SpaceObject* missile = ObjLaunchMissile(shooter_, foe, 1, 0, 0, c.shotNo);
    if (!c.launches) {
      EXPECT_EQ(missile, nullptr);
      EXPECT_EQ(HashCount(universe_.idHash), ids);
      continue;
    }
    ASSERT_NE(missile, nullptr);
    EXPECT_EQ(missile->instance->position.z, 0x30000);  // the launch point, carried through the ship
    EXPECT_EQ(missile->speed, kMaxSpeed / 20 + 5000);
  }
}

}  // namespace
