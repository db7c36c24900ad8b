// Weapons fire: the refusals, the slot mask, stale and in-frame next-fire times, the alternation
// of two lasers, weapon energy and ammunition, the held beam's payment, the exact spread and
// jitter under the seeded generator, the tractor shot, a freed last laser and an out-of-range
// quality level; and the arc chain's plan.
#include <cstdlib>

#include "contact_world.h"

#include "core/memory.h"
#include "simulation/tractor_beams.h"
#include "simulation/weapons.h"
#include "universe/object_math.h"

namespace {

constexpr int32_t kReload = 100;
constexpr int32_t kEnergyPerShot = 5;
constexpr int32_t kSpeed = 100000;
constexpr int32_t kLifetime = 1000;

class Weapons : public ContactWorld {
 protected:
  void SetUp() override {
    ContactWorld::SetUp();
    lasers_ = Rows(kClassLaser, 30);
    for (int i = 0; i < 30; ++i) {
      lasers_[i].laser.value0 = kReload;
      lasers_[i].laser.bulletType = i == 29 ? 29 : 0;
    }
    for (int i = 0; i < 30; ++i) {
      bullets_[i].bullet.lifetime = kLifetime;
      bullets_[i].bullet.speed = kSpeed;
      bullets_[i].bullet.impactValue[3] = kEnergyPerShot;
    }
    ShipType& type = ships_[0].ship;
    type.turretCount = 1;
    type.turrets[0].firstSlot = 0;
    type.turrets[0].slotCount = 2;
    type.maxWeaponEnergy = 100;
    ship_ = In(kClassShip, 0, 0, 50);
    MatrixSetIdentity(&ShipOf()->rotation);
    ShipOf()->weaponEnergy = 100 * 1000;
    a_ = Laser(0);
    b_ = Laser(1);
    SetTime(10000, 30);
  }

  void TearDown() override {
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
      if (o->instance) o->instance->scene = nullptr;
    }
    ContactWorld::TearDown();
  }

  ShipExt* ShipOf() { return static_cast<ShipExt*>(ship_->ext); }
  static LaserExt* L(SpaceObject* laser) { return static_cast<LaserExt*>(laser->ext); }

  SpaceObject* Laser(int32_t slot, int32_t subtype = 0) {
    SpaceObject* laser = Into(ship_, kClassLaser, subtype, 0);
    laser->flags |= kObjFlagArmed;
    L(laser)->laserSlot = static_cast<uint16_t>(slot);
    L(laser)->readyAt = 0;
    return laser;
  }

  int32_t Fire(int32_t flags = 0, uint32_t mask = 3, int32_t turret = 0) {
    return FireWeapons(ship_, nullptr, turret, flags, mask);
  }

  std::vector<SpaceObject*> Shots() {
    std::vector<SpaceObject*> shots;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
      if (o->objClass == kClassBullet) shots.push_back(o);
    }
    return shots;
  }

  std::vector<SpaceObject*> ShipLasers() {
    std::vector<SpaceObject*> lasers;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(ship_)); o; o = ObjectListNext(o)) lasers.push_back(o);
    return lasers;
  }

  ObjectTypeRecord* lasers_ = nullptr;
  SpaceObject* ship_ = nullptr;
  SpaceObject* a_ = nullptr;
  SpaceObject* b_ = nullptr;
};

TEST_F(Weapons, RefusalsFireNothing) {
  SpaceObject* rock = In(kClassAsteroid, 0, 0);
  struct Case {
    const char* what;
    SpaceObject* object;
    int32_t turret;
    uint32_t mask;
    uint32_t flags2;
  };
  const Case kCases[] = {
      {"slot mask 0", ship_, 0, 0, 0},
      {"negative turret", ship_, -1, 3, 0},
      {"turret past the type's count", ship_, 1, 3, 0},
      {"not a ship", rock, 0, 3, 0},
      {"held by another object", ship_, 0, 3, kObjFlag2Attached},
  };
  for (const Case& c : kCases) {
    c.object->flags2 |= c.flags2;
    EXPECT_EQ(FireWeapons(c.object, nullptr, c.turret, 0, c.mask), kFireResultNone) << c.what;
    c.object->flags2 &= ~c.flags2;
    EXPECT_TRUE(Shots().empty()) << c.what;
  }
  EXPECT_EQ(ShipOf()->weaponEnergy, 100 * 1000);
}

TEST_F(Weapons, NextFireTimeDecidesWhetherALaserFires) {
  b_->flags &= ~kObjFlagArmed;
  struct Case {
    const char* what;
    int64_t readyIn;  // from now
    int32_t result;
  };
  const Case kCases[] = {
      {"still reloading", 1000, kFireResultNone},
      {"just reloaded", 0, kFireResultFired},
      {"a stale time far ahead fires at once", 300001, kFireResultFired},
  };
  for (const Case& c : kCases) {
    L(a_)->readyAt = static_cast<uint32_t>(10000 + c.readyIn);
    EXPECT_EQ(Fire(), c.result) << c.what;
    if (c.result == kFireResultFired) {
      EXPECT_EQ(L(a_)->readyAt, 10000u + kReload) << c.what;
    }
  }
}

TEST_F(Weapons, ShotGoesAlongTheAimWithTheShipsOwnersAndLinks) {
  ASSERT_EQ(Fire(), kFireResultFired);
  const std::vector<SpaceObject*> shots = Shots();
  ASSERT_EQ(shots.size(), 2u);
  for (SpaceObject* shot : shots) {
    auto* ext = static_cast<BulletExt*>(shot->ext);
    EXPECT_EQ(ext->shooter, ship_);
    EXPECT_EQ(ext->expiresAt, 10000u + kLifetime);
    EXPECT_EQ(shot->owner, ship_->owner);
    EXPECT_EQ(shot->parent, sector_);
    EXPECT_EQ(L(ext->laser)->currentShot, shot);
    // Straight ahead (+z) with a small spread.
    EXPECT_GT(shot->instance->velocity.z, kSpeed * 99 / 100);
    EXPECT_NEAR(shot->speed, kSpeed, 2);
  }
  EXPECT_EQ(ShipOf()->weaponEnergy, (100 - 2 * kEnergyPerShot) * 1000);
}

// With energy for one shot per call, the laser that fired goes behind the other.
TEST_F(Weapons, TwoLasersAlternateByChildOrder) {
  std::vector<SpaceObject*> firing;
  for (int call = 0; call < 4; ++call) {
    ShipOf()->weaponEnergy = kEnergyPerShot * 1000;
    L(a_)->readyAt = L(b_)->readyAt = 0;
    L(a_)->currentShot = L(b_)->currentShot = nullptr;
    ASSERT_EQ(Fire(), kFireResultFired);
    SpaceObject* fired = L(a_)->currentShot ? a_ : b_;
    EXPECT_EQ(L(a_)->currentShot != nullptr, L(b_)->currentShot == nullptr);
    EXPECT_EQ(ShipLasers().back(), fired) << call;
    firing.push_back(fired);
  }
  for (size_t i = 1; i < firing.size(); ++i) EXPECT_NE(firing[i], firing[i - 1]) << i;
}

TEST_F(Weapons, LaserDueInsideTheFrameStartsAlongItsPathAndKeepsTheRhythm) {
  b_->flags &= ~kObjFlagArmed;
  L(a_)->readyAt = 10000 - 10;  // due 10 ms into a 30 ms frame
  ASSERT_EQ(Fire(kFireNoOwnMotion), kFireResultFired);
  SpaceObject* shot = L(a_)->currentShot;
  ASSERT_NE(shot, nullptr);
  const FixedVector v = shot->instance->velocity;
  const FixedVector p = shot->instance->position;
  EXPECT_EQ(p.x, v.x * 10 / 1000);
  EXPECT_EQ(p.y, v.y * 10 / 1000);
  EXPECT_EQ(p.z, int32_t(int64_t{v.z} * 10 / 1000));
  EXPECT_GE(shot->instance->size, 1000);
  EXPECT_EQ(L(a_)->readyAt, 10000u - 10 + kReload);
}

TEST_F(Weapons, TooLittleEnergyFiresNothing) {
  ShipOf()->weaponEnergy = kEnergyPerShot * 1000 - 1;
  EXPECT_EQ(Fire(), kFireResultNone);
  EXPECT_TRUE(Shots().empty());
  EXPECT_EQ(ShipOf()->weaponEnergy, kEnergyPerShot * 1000 - 1);
}

TEST_F(Weapons, AmmunitionIsAskedForAndUsed) {
  b_->flags &= ~kObjFlagArmed;
  bullets_[0].bullet.flags = kBulletFlagFlaggedId;
  bullets_[0].tailValue[0] = 7;
  const int32_t ammoClass = 16, ammoSubtype = 7;  // the flagged id names a ware of class 16
  struct Case {
    const char* what;
    bool script;
    int32_t answer;
    int32_t result;
  };
  const Case kCases[] = {
      {"no ship script", false, 1, kFireResultNone},
      {"answered false", true, 0, kFireResultNone},
      {"answered true", true, 1, kFireResultFired},
  };
  for (const Case& c : kCases) {
    ship_->scriptId = c.script ? 1 : 0;
    events_.clear();
    answer_ = [&](SpaceObject*, const char*) { return c.answer; };
    const int32_t before = ShipOf()->weaponEnergy;
    EXPECT_EQ(Fire(), c.result) << c.what;
    std::vector<std::string> expected;
    if (c.script) expected.push_back(Line(ship_, "GetAmmunitionCountReload 16 7"));
    if (c.result == kFireResultFired) {
      expected.push_back(Line(ship_, "UseAmmunition " + std::to_string(ammoClass) + " " + std::to_string(ammoSubtype) + " -1"));
      EXPECT_EQ(ShipOf()->weaponEnergy, before - kEnergyPerShot * 1000) << c.what;
    } else {
      EXPECT_EQ(ShipOf()->weaponEnergy, before) << c.what;
    }
    EXPECT_EQ(EventLines(), expected) << c.what;
  }
}

// The answer to the ammunition question may take the laser off the ship: the walk stops there.
TEST_F(Weapons, LaserTakenAwayByTheAmmunitionAnswerDoesNotFire) {
  bullets_[0].bullet.flags = kBulletFlagFlaggedId;
  Listen(ship_);
  answer_ = [&](SpaceObject*, const char*) {
    ObjectListRemove(a_);
    ObjectListAddTail(ObjectChildren(sector_), a_);
    a_->parent = sector_;
    return 1;
  };
  EXPECT_EQ(Fire(), kFireResultNone);
  EXPECT_TRUE(Shots().empty());
}

TEST_F(Weapons, HeldPlayerBeamPaysAtMostOneShotPerReload) {
  b_->flags &= ~kObjFlagArmed;
  bullets_[0].bullet.flags = kBulletFlagBeam;
  bullets_[0].bullet.impactValue[3] = 100;
  ShipOf()->weaponEnergy = 1000 * 1000;
  ASSERT_EQ(Fire(kFireManual), kFireResultFired);  // the beam starts on the normal path
  SpaceObject* beam = L(a_)->currentShot;
  ASSERT_NE(beam, nullptr);
  EXPECT_EQ(ShipOf()->weaponEnergy, 900 * 1000);
  struct Case {
    uint32_t now;
    int32_t paid;  // energy per shot 100 over a reload of 100 ms
  };
  const Case kCases[] = {
      {10050, 50},   // half a reload since the last payment
      {10050, 0},    // held again at once
      {10650, 100},  // long after: one shot's energy, no more
  };
  for (const Case& c : kCases) {
    SetTime(c.now, 30);
    const int32_t before = ShipOf()->weaponEnergy;
    EXPECT_EQ(Fire(kFireManual), kFireResultFired) << c.now;
    EXPECT_EQ(before - ShipOf()->weaponEnergy, c.paid * 1000) << c.now;
    EXPECT_EQ(static_cast<BulletExt*>(beam->ext)->expiresAt, c.now + kLifetime);
    EXPECT_EQ(L(a_)->currentShot, beam);
  }
  EXPECT_EQ(Shots().size(), 1u);
}

// A carried shot charges while held: each frame before its attach time pays its share of the
// charging energy; a released shot is forgotten and the next call fires a new one.
TEST_F(Weapons, CarriedShotChargesWhileHeld) {
  b_->flags &= ~kObjFlagArmed;
  BulletType& type = bullets_[0].bullet;
  type.flags = kBulletFlagCarried;
  type.energy = 40;
  type.impactValue[0] = 300;  // attach time, ms
  type.lateValues[0] = 3;     // charge factor
  ShipOf()->weaponEnergy = 1000 * 1000;
  ASSERT_EQ(Fire(kFireManual), kFireResultFired);
  SpaceObject* shot = L(a_)->currentShot;
  ASSERT_NE(shot, nullptr);
  auto* ext = static_cast<BulletExt*>(shot->ext);
  EXPECT_EQ(ext->attachUntil, 10000u + 300);
  EXPECT_NE(ext->hitFlags & kBulletAttached, 0u);
  EXPECT_EQ(ShipOf()->weaponEnergy, (1000 - kEnergyPerShot) * 1000);

  SetTime(10030, 30);  // a 30 ms frame: a tenth of the attach time
  ASSERT_EQ(Fire(kFireManual), kFireResultFired);
  EXPECT_EQ(L(a_)->currentShot, shot);
  // The share is whole energy units (15 x 30 / 300 = 1), paid in thousandths.
  EXPECT_EQ(ShipOf()->weaponEnergy, (1000 - kEnergyPerShot) * 1000 - (kEnergyPerShot * 3 * 30 / 300) * 1000);
  EXPECT_EQ(ext->charge, 40 * 3 / 10);
  EXPECT_EQ(ext->expiresAt, 10030u + kLifetime);

  SetTime(10400, 30);  // past the attach time: let go, nothing fed
  EXPECT_EQ(Fire(kFireManual), kFireResultNone);
  EXPECT_EQ(L(a_)->currentShot, nullptr);

  ext->hitFlags |= kBulletReleased;
  L(a_)->currentShot = shot;
  L(a_)->readyAt = 0;
  ASSERT_EQ(Fire(kFireManual), kFireResultFired);
  EXPECT_NE(L(a_)->currentShot, shot);
  EXPECT_EQ(Shots().size(), 2u);
}

TEST_F(Weapons, SpreadAndJitterFollowTheSeededGenerator) {
  GameSrand(7);
  ASSERT_EQ(Fire(), kFireResultFired);
  // The replica: per laser three spread draws, then the jitter (two lasers of the type armed).
  GameSrand(7);
  // In the order the walk fired them.
  for (SpaceObject* shot : Shots()) {
    SpaceObject* laser = static_cast<BulletExt*>(shot->ext)->laser;
    int32_t spread[3];
    for (int32_t& s : spread) s = RandomUpTo(1048) - 524;
    const int32_t jitter = RandomBelow(kReload) / 2 - kReload / 4;
    ASSERT_NE(laser, nullptr);
    EXPECT_EQ(L(laser)->currentShot, shot);
    // The aim point lay one range ahead of the muzzle, moved by the spread.
    FixedVector d{spread[0], spread[1], kSpeed * kLifetime / 1000 + spread[2], 0};
    NormalizeVector(&d);
    EXPECT_EQ(shot->instance->velocity.x, int32_t((int64_t{d.x} * kSpeed) >> 16));
    EXPECT_EQ(shot->instance->velocity.y, int32_t((int64_t{d.y} * kSpeed) >> 16));
    EXPECT_EQ(L(laser)->readyAt, uint32_t(10000 + kReload + jitter));
  }
}

TEST_F(Weapons, TractorShotReleasesTheShipsBeam) {
  b_->flags &= ~kObjFlagArmed;
  a_->subtype = 28;
  lasers_[28].laser.bulletType = 29;
  SpaceObject* held = In(kClassAsteroid, 0, 500);
  TractorConnect(ship_, held, 0, 0, 0);
  ASSERT_EQ(ship_->tractorTarget, held);
  ASSERT_EQ(Fire(), kFireResultFired);
  EXPECT_EQ(ship_->tractorTarget, nullptr);
  EXPECT_EQ(held->tractorAux, nullptr);
}

TEST_F(Weapons, PlayerOnlyLaserNeedsThePlayersHand) {
  b_->flags &= ~kObjFlagArmed;
  a_->subtype = kPlayerOnlyLaser;
  lasers_[kPlayerOnlyLaser].laser.bulletType = 0;
  EXPECT_EQ(Fire(kFireManual), kFireResultNone);  // not the player's ship
  universe_.player = ship_;
  EXPECT_EQ(Fire(0), kFireResultNone);            // not by hand
  EXPECT_EQ(Fire(kFireManual), kFireResultFired);
  // The player's shots are counted as fired and marked for the hit statistics.
  EXPECT_EQ(universe_.statWord, 1u);
  EXPECT_NE(L(a_)->currentShot->flags2 & 0x100u, 0u);
  universe_.player = nullptr;
}

// The walk keeps the last laser it examined; a freed laser and a quality level past 100 fault
// nothing.
TEST_F(Weapons, FreedLastLaserAndHighQualityLevelDoNotFault) {
  SpaceObject* player = In(kClassShip, 1, 10);
  universe_.player = player;
  system_.qualityLevel = 110;  // an unclamped light throttle would divide by 0
  ASSERT_EQ(Fire(), kFireResultFired);
  system_.qualityLevel = 150;
  for (SpaceObject* laser : {a_, b_}) {
    ObjectListRemove(laser);
    DeleteObject(laser);
  }
  a_ = Laser(0);
  EXPECT_EQ(Fire(), kFireResultFired);
  EXPECT_EQ(Shots().size(), 3u);
  universe_.player = nullptr;
}

// An arc chain jumps at most 20 times, each time within the cone of its direction, and never to
// the shot itself.
TEST_F(Weapons, ArcChainJumpsWithinTheConeAndNeverToTheShot) {
  SpaceObject* shot = In(kClassBullet, 0, 0);
  struct Spot {
    int32_t x, y, z;
  };
  const Spot kSpots[] = {
      {0, 0, 8000},     {1000, 0, 16000}, {0, 9000, 16000},  // the last lies outside the cone
      {0, 0, -5000},    {500, 0, 24000},  {0, 0, 200000},     // behind, in reach, out of reach
  };
  std::vector<SpaceObject*> rocks;
  for (const Spot& p : kSpots) {
    SpaceObject* rock = In(kClassAsteroid, 0, p.x);
    Place(rock, p.x, p.y, p.z);
    rocks.push_back(rock);
  }
  const FixedVector start{0, 0, 0, 0}, ahead{0, 0, 65536, 0};
  ArcLink links[kArcMaxSegments];
  const int32_t n = PlanArcChain(shot, &start, &ahead, links);
  ASSERT_EQ(n, kArcMaxSegments);
  EXPECT_EQ(links[0].object, rocks[0]);
  EXPECT_EQ(links[1].object, rocks[1]);
  EXPECT_EQ(links[2].object, rocks[4]);
  FixedVector direction = ahead;
  for (int32_t i = 0; i < n; ++i) {
    EXPECT_NE(links[i].object, shot) << i;
    FixedVector d{links[i].to.x - links[i].from.x, links[i].to.y - links[i].from.y, links[i].to.z - links[i].from.z, 0};
    NormalizeVector(&d);
    if (links[i].object) {
      EXPECT_GT(FixDot3(&d, &direction), kArcMinDot) << i;
    }
    direction = d;
  }
}

TEST_F(Weapons, ArcShotDrawsItsChainAndStands) {
  b_->flags &= ~kObjFlagArmed;
  bullets_[0].bullet.flags = kBulletFlagArc;
  for (int i = 0; i < 3; ++i) Place(In(kClassAsteroid, 0, 0), 0, 0, 8000 * (i + 1));
  ASSERT_EQ(Fire(), kFireResultFired);
  SpaceObject* shot = L(a_)->currentShot;
  ASSERT_NE(shot, nullptr);
  // Without a body the shot has no chain to draw and flies on.
  EXPECT_GT(shot->speed, 0);
  shot->instance->bodyId = 77;
  UpdateArcBulletChain(shot);
  EXPECT_EQ(shot->speed, 0);
  EXPECT_EQ(shot->instance->velocity.z, 0);
  int32_t segments = 0;
  for (ListNode* n = ListFirst(&shot->instance->children); n; n = ListNext(n)) ++segments;
  EXPECT_GT(segments, 0);
  EXPECT_LE(segments, kArcMaxSegments);
  EXPECT_EQ(L(a_)->readyAt, 10000u + kReload);
  // A second frame reuses the segments.
  UpdateArcBulletChain(shot);
  int32_t again = 0;
  for (ListNode* n = ListFirst(&shot->instance->children); n; n = ListNext(n)) ++again;
  EXPECT_EQ(again, segments);
}

}  // namespace
