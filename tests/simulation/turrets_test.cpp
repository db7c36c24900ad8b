// Turrets: turning capped at 250 ms, the waiting-task service (woken once with 1, 3 or 13), a
// target behind the ship, a ship with one turret, the lead solution and the firing-range codes.
#include "update_world.h"

#include "simulation/turrets.h"

namespace {

constexpr uint32_t kNow = 20000;

class TurretTest : public UpdateWorld {
 protected:
  void SetUp() override {
    UpdateWorld::SetUp();
    ships_[0].ship.turretCount = 2;
    ships_[0].ship.turrets[1].slot = 1;
    SetTime(kNow);
  }

  SpaceObject* Gunship() {
    SpaceObject* ship = ShipAt(0);
    MatrixSetIdentity(&ship->instance->matrix);
    ship->instance->velocity = {};
    ship->baseVelocity = {};
    return ship;
  }

  static TurretControlRow& Row(SpaceObject* ship, int t = 1) { return Ext(ship)->turrets[t]; }

  void Wait(SpaceObject* ship, SpaceObject* target, uint32_t aimUntil, uint32_t checkAfter = kNow - 1) {
    TurretControlRow& row = Row(ship);
    row.moduleNo = kWaitModule;
    row.handle = ++cookie_;
    row.targetObject = target;
    row.words[kTurretAimUntilWord] = aimUntil;
    row.words[kTurretAlignCheckWord] = checkAfter;
  }
};

TEST_F(TurretTest, TurningIsCappedAtAQuarterSecond) {
  struct Case {
    uint32_t frameStep;
    int32_t yaw;
  };
  // Without lasers the turn rates are 16384 per second.
  const Case kCases[] = {{400, 4096}, {250, 4096}, {100, 1638}, {16, 262}};
  for (const Case& c : kCases) {
    SpaceObject* ship = Gunship();
    Row(ship).vector = {0, 0, 16000, -100};
    Row(ship).since = kNow + 5000;
    SetTime(kNow, c.frameStep);
    AimShipTurrets(ship);
    EXPECT_EQ(Row(ship).vector.x, c.yaw) << c.frameStep;
    EXPECT_EQ(Row(ship).vector.y, -100) << c.frameStep;  // never past its target
    KillObject(ship, 16, nullptr, 0);
  }
}

TEST_F(TurretTest, OneTurretShipIsNeverProcessed) {
  ships_[0].ship.turretCount = 1;
  SpaceObject* ship = Gunship();
  Row(ship).vector = {0, 0, 16000, 0};
  Row(ship).since = kNow - 1;
  Wait(ship, nullptr, kNow + 1000);
  AimShipTurrets(ship);
  EXPECT_EQ(Row(ship).vector.x, 0);
  EXPECT_EQ(Row(ship).vector.z, 16000);
  EXPECT_TRUE(woken_.empty());
}

TEST_F(TurretTest, IdleTurretReturnsToRestAfterItsTime) {
  SpaceObject* ship = Gunship();
  Row(ship).vector = {100, 100, 2000, 2000};
  Row(ship).since = kNow - 1;
  AimShipTurrets(ship);
  EXPECT_EQ(Row(ship).vector.z, 0);
  EXPECT_EQ(Row(ship).vector.w, 0);
  EXPECT_EQ(Row(ship).since, kNow + 10000);
  EXPECT_EQ(Row(ship).vector.x, 0);
}

TEST_F(TurretTest, WaitingTaskIsWokenOnceWithItsResult) {
  struct Case {
    const char* what;
    int32_t targetX, targetZ;  // no target when both are 0
    uint32_t aimUntil;
    int32_t result;  // 0: still waiting
  };
  const Case kCases[] = {
      {"no target", 0, 0, kNow + 1000, kTurretNoTarget},
      {"aim time over", 0, 100000, kNow, kTurretTimeOver},
      {"aligned ahead", 0, 100000, kNow + 1000, kTurretAligned},
      {"still turning", 100000, 1000, kNow + 1000, 0},
  };
  for (const Case& c : kCases) {
    woken_.clear();
    SpaceObject* ship = Gunship();
    SpaceObject* target = nullptr;
    if (c.targetX != 0 || c.targetZ != 0) {
      target = ShipAt(c.targetX, 0, c.targetZ);
    }
    Wait(ship, target, c.aimUntil);
    for (int frame = 0; frame < 3; ++frame) AimShipTurrets(ship);
    if (c.result == 0) {
      EXPECT_TRUE(woken_.empty()) << c.what;
      EXPECT_EQ(Row(ship).moduleNo, uint32_t{kWaitModule}) << c.what;
    } else {
      ASSERT_EQ(woken_.size(), 1u) << c.what;
      EXPECT_EQ(woken_[0].second, c.result) << c.what;
      EXPECT_EQ(Row(ship).moduleNo, 0u) << c.what;
    }
    Row(ship).moduleNo = 0;
    KillObject(ship, 16, nullptr, 0);
    if (target) KillObject(target, 16, nullptr, 0);
  }
}

TEST_F(TurretTest, TargetBehindKeepsTheTargetAngles) {
  SpaceObject* ship = Gunship();
  SpaceObject* behind = ShipAt(1000, 0, -100000);
  Row(ship).vector = {0, 0, 1234, -321};
  Row(ship).since = kNow + 5000;
  Wait(ship, behind, kNow + 1000, kNow + 1000);
  AimShipTurrets(ship);
  EXPECT_EQ(Row(ship).vector.z, 1234);
  EXPECT_EQ(Row(ship).vector.w, -321);
  SpaceObject* aside = ShipAt(100000, 0, 1);
  Row(ship).targetObject = aside;
  AimShipTurrets(ship);
  EXPECT_NEAR(std::abs(Row(ship).vector.z), 16384, 20);  // a quarter turn to the side
}

TEST_F(TurretTest, InterceptSolutions) {
  struct Case {
    const char* what;
    FixedVector targetAt, targetVelocity;
    int32_t bulletSpeed;
    int32_t found;
    FixedVector aim;
  };
  const Case kCases[] = {
      {"stationary target", {0, 0, 100000, 0}, {0, 0, 0, 0}, 5000, 1, {0, 0, 100000, 0}},
      {"moving across", {0, 0, 30000, 0}, {4000, 0, 0, 0}, 5000, 1, {40000, 0, 30000, 0}},
      {"faster and moving away", {0, 0, 30000, 0}, {0, 0, 6000, 0}, 5000, 0, {}},
      // |a| below 0.0001: t = -c / (2b) = 900000000 / 60000000 = 15 s, running toward the muzzle.
      {"as fast and coming closer", {0, 0, 30000, 0}, {0, 0, -1000, 0}, 1000, 1, {0, 0, 15000, 0}},
      {"as fast and moving away", {0, 0, 30000, 0}, {0, 0, 1000, 0}, 1000, 0, {}},
  };
  SpaceObject* shooter = Gunship();
  const FixedVector muzzle = {0, 0, 0, 0};
  for (const Case& c : kCases) {
    SpaceObject* target = ShipAt(c.targetAt.x, c.targetAt.y, c.targetAt.z);
    target->instance->velocity = c.targetVelocity;
    target->baseVelocity = {};
    FixedVector direction{}, aim{};
    EXPECT_EQ(ComputeInterceptPoint(shooter, target, &muzzle, c.bulletSpeed, &direction, &aim, 1), c.found) << c.what;
    if (c.found) {
      EXPECT_NEAR(aim.x, c.aim.x, 1) << c.what;
      EXPECT_NEAR(aim.z, c.aim.z, 1) << c.what;
    }
    KillObject(target, 16, nullptr, 0);
  }
}

TEST_F(TurretTest, TurretAimWithoutLasersAimsAtTheTarget) {
  SpaceObject* ship = Gunship();
  SpaceObject* target = ShipAt(0, 0, 50000);
  const FixedVector muzzle = {0, 0, 0, 0};
  FixedVector direction{}, aim{};
  EXPECT_EQ(ComputeTurretAim(ship, 1, target, &muzzle, &direction, &aim), 1);
  EXPECT_EQ(aim.z, 50000);
  EXPECT_EQ(direction.z, 65536);
  EXPECT_EQ(ComputeTurretAim(ship, -1, target, &muzzle, &direction, &aim), 0);
  EXPECT_EQ(ComputeTurretAim(target->parent, 1, target, &muzzle, &direction, &aim), 0);
}

TEST_F(TurretTest, FiringRangeCodes) {
  // A laser whose shots fly 100000 in turret 1's first slot, armed, on a ship without components
  // (its gun node is the ship's own instance, looking along +z).
  Rows(kClassLaser, 1)[0].laser.bulletType = 0;
  bullets_[0].bullet.speed = 10000;
  bullets_[0].bullet.lifetime = 10000;
  ships_[0].ship.turrets[1].firstSlot = 1;
  ships_[0].ship.turrets[1].slotCount = 1;
  ships_[0].ship.turrets[1].gunCount = 1;
  ships_[0].ship.turrets[1].gun[0] = {1, 1, 0, 0, 0, -1};
  SpaceObject* ship = Gunship();
  ship->instance->world = ship->instance->position;
  MatrixSetIdentity(&ship->instance->worldMatrix);
  SpaceObject* laser = Into(ship, kClassLaser, 0, 0);
  laser->flags |= kObjFlagArmed;
  static_cast<LaserExt*>(laser->ext)->laserSlot = 1;
  const int32_t range = LaserGetBulletRange(laser);
  ASSERT_GT(range, 0);
  const FixedVector ahead = {0, 0, 65536, 0}, aside = {65536, 0, 0, 0};
  struct Case {
    const char* what;
    int32_t x, z;
    int32_t flags;
    const FixedVector* direction;
    int32_t answer;
  };
  const Case kCases[] = {
      {"in range ahead", 0, range / 2, 0, nullptr, 2},
      {"pointing along the direction", 0, range / 2, kRangeCheckDirection, &ahead, 3},
      {"pointing elsewhere", 0, range / 2, kRangeCheckDirection, &aside, 2},
      {"behind, outside the angle", 0, -range / 2, 0, nullptr, 0},
      {"behind, reported", 0, -range / 2, kRangeReportOutsideAngle, nullptr, 1},
      {"out of range", 0, range * 2, kRangeReportOutsideAngle, nullptr, 0},
  };
  for (const Case& c : kCases) {
    SpaceObject* target = ShipAt(c.x, 0, c.z);
    target->radius = 10;
    EXPECT_EQ(IsTargetInFiringRangeOfTurret(ship, target, 1, c.flags, c.direction), c.answer) << c.what;
    KillObject(target, 16, nullptr, 0);
  }
  SpaceObject* target = ShipAt(0, 0, range / 2);
  EXPECT_EQ(IsTargetInFiringRangeOfTurret(ship, target, 2, 0, nullptr), 0);   // no such turret
  EXPECT_EQ(IsTargetInFiringRangeOfTurret(ship, target, -1, 0, nullptr), 0);
  ships_[0].ship.turrets[1].slot = 0;  // not usable
  EXPECT_EQ(IsTargetInFiringRangeOfTurret(ship, target, 1, 0, nullptr), 0);
}

}  // namespace
