// The object update by class: the capped step and speed settling, shot expiry, missile target
// keeping and wobble, the tractor beam at and beyond its rest length, the camera's stop, the
// incoming-missile alarm and the docked player's recharge over several sectors, and a script
// handler that frees the next object in the middle of the walk. The generator starts at 1.
#include <string>
#include <vector>

#include "update_world.h"

#include "simulation/universe_guard.h"
#include "simulation/simulation.h"

namespace {

using ObjectUpdate = UpdateWorld;

constexpr uint32_t kStart = 20000;

TEST_F(ObjectUpdate, SpeedSettlesByTheAccelerationOfACappedStep) {
  struct Case {
    const char* what;
    uint32_t step;
    int32_t accel;
    int32_t speed, desired;
    int32_t after;
  };
  const Case kCases[] = {
      {"a step of 2500 counts as 1000", 2500, kAccel, 0, kVmax, kAccel},
      {"an ordinary step", 16, kAccel, 0, kVmax, kAccel * 16 / 1000},
      {"never past the desired speed", 16, kAccel, 50000, 50100, 50100},
      {"slowing down", 100, kAccel, 50000, 0, 48000},
      {"desired speed capped at the maximum", 1000, 1000000, 0, 5 * kVmax, kVmax},
      {"no acceleration still moves by 1", 16, 0, 0, kVmax, 1},
  };
  for (const Case& c : kCases) {
    ships_[0].ship.speed2 = c.accel;
    SpaceObject* ship = ShipAt(0);
    Ext(ship)->commandState = OM_UNUSED_7;
    ship->speed = c.speed;
    ship->speedLimit = c.desired;
    Frame(kStart, c.step);
    EXPECT_EQ(ship->speed, c.after) << c.what;
  }
}

TEST_F(ObjectUpdate, FrozenHeldAndRestingObjectsKeepTheirSpeed) {
  struct Case {
    const char* what;
    uint32_t flags, flags2;
    int32_t speed;
  };
  const Case kCases[] = {
      {"frozen", 1u << 9, 0, 0},
      {"carried", kObjFlagCarried, 0, 0},
      {"held by another", 0, kObjFlag2Attached, 0},
      {"a container ship at rest", kObjFlagContainer | (1u << 19) | (1u << 28), 0, 0},
      {"free", 0, 0, kAccel * 16 / 1000},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    Ext(ship)->commandState = OM_UNUSED_7;
    ship->flags |= c.flags;
    ship->flags2 |= c.flags2;
    ship->speedLimit = kVmax;
    Frame(kStart);
    EXPECT_EQ(ship->speed, c.speed) << c.what;
  }
}

TEST_F(ObjectUpdate, AShotPastItsTimeOfDeathDiesOnItsFirstUpdate) {
  struct Case {
    const char* what;
    int32_t diesIn;  // ms from now
    uint32_t typeFlags, burstMarker;
    bool dies, scatters;
  };
  const Case kCases[] = {
      {"long dead, scattering", -5000, kBulletFlagScatters, 1, true, true},
      {"dies now, no spawn reference", 0, kBulletFlagScatters, 0, true, false},
      {"dies now, no scatter flag", 0, 0, 1, true, false},
      {"still flying", 1, kBulletFlagScatters, 1, false, false},
  };
  for (const Case& c : kCases) {
    bullets_[0].bullet.flags = c.typeFlags;
    bullets_[0].turnRate[0] = 777;
    SpaceObject* shot = In(kClassBullet, 0, 0);
    auto* ext = static_cast<BulletExt*>(shot->ext);
    ext->expiresAt = kStart + static_cast<uint32_t>(c.diesIn);
    ext->burstMarker = c.burstMarker;
    shot->speedLimit = 4444;
    calls_.clear();
    Frame(kStart);
    EXPECT_EQ((shot->flags & kObjFlagRemoving) != 0, c.dies) << c.what;
    EXPECT_EQ(shot->turnRates[0], 777) << c.what;
    const std::vector<std::string> scatter = {"scatter " + Id(shot)};
    EXPECT_EQ(!calls_.empty() && calls_[0] == scatter[0], c.scatters) << c.what;
    if (!c.dies) {
      EXPECT_EQ(shot->speed, 4444) << c.what;
    }
  }
}

class MissileUpdate : public UpdateWorld {
 protected:
  void SetUp() override {
    UpdateWorld::SetUp();
    missiles_ = Rows(kClassMissile, 2);  // subtype 1: plain missiles that seek nothing
    for (int i = 0; i < 2; ++i) {
      missiles_[i].missile.rangeTime = 100000;
      missiles_[i].missile.speed = 1000000;
    }
    launcher_ = ShipAt(0, 0, -1000000);
  }

  // An armed missile at the origin facing +z, launched now.
  SpaceObject* Missile(uint32_t typeFlags, SpaceObject* target, uint16_t owner = 1, int32_t subtype = 0) {
    missiles_[subtype].missile.missileFlags = typeFlags;
    SpaceObject* m = In(kClassMissile, subtype, 0);
    m->flags |= kObjFlagArmed;
    Of(m)->launcher = launcher_;
    MatrixSetIdentity(&m->instance->matrix);
    m->owner = owner;
    auto* ext = static_cast<MissileExt*>(m->ext);
    ext->launchedAt = system_.gameTime;
    ext->target = target;
    return m;
  }
  static MissileExt* Of(SpaceObject* m) { return static_cast<MissileExt*>(m->ext); }

  SpaceObject* launcher_ = nullptr;
};

TEST_F(MissileUpdate, ASeekingMissileKeepsAHostileTargetThoughANearerHostileComesIntoRange) {
  SetTime(kStart);
  // Armed missiles of another owner aimed elsewhere are hostile to the seeker.
  SpaceObject* far = Missile(0, launcher_, 2, 1);
  Place(far, 0, 0, 3000000);
  SpaceObject* near = Missile(0, launcher_, 2, 1);
  Place(near, 0, 0, -900000);  // nearest to the launcher, where the search starts
  SpaceObject* friendly = ShipAt(0, 0, 2000000);
  struct Case {
    const char* what;
    SpaceObject* target;
    SpaceObject* after;
  };
  const Case kCases[] = {
      {"a hostile target stays", far, far},
      {"a target that is not hostile gives way to the nearest hostile", friendly, near},
      {"no target: the nearest hostile", nullptr, near},
  };
  for (const Case& c : kCases) {
    SpaceObject* seeker = Missile(kMissileFlagSeeks, c.target);
    Frame(kStart);
    EXPECT_EQ(Of(seeker)->target, c.after) << c.what;
    seeker->flags |= kObjFlagRemoving;
  }
}

TEST_F(MissileUpdate, WobbleStartsOnlyWhenTheAimLiesSideways) {
  struct Case {
    const char* what;
    FixedVector target;
    bool wobbles;
  };
  const Case kCases[] = {
      {"dead ahead", {0, 0, 2000000, 0}, false},
      {"behind", {0, 0, -2000000, 0}, false},
      {"at about 71 degrees (|a . f| = 0.32)", {1900000, 0, 640000, 0}, false},
      {"square to the side", {2000000, 0, 0, 0}, true},
  };
  for (const Case& c : kCases) {
    SetTime(kStart);
    SpaceObject* target = ShipAt(c.target.x, c.target.y, c.target.z);
    SpaceObject* m = Missile(0, target);
    bool held = false;
    for (int i = 0; i < 300 && !held; ++i) {
      Place(m, 0, 0, 0);  // the flight pass does not run here; keep the geometry
      MatrixSetIdentity(&m->instance->matrix);
      Frame(kStart + 16 * i);
      held = Of(m)->tailWords[2] != 0;
    }
    EXPECT_EQ(held, c.wobbles) << c.what;
    if (held) {
      EXPECT_LE(std::abs(m->refAngles[0]), 58982) << c.what;
      EXPECT_LE(std::abs(m->refAngles[1]), 58982) << c.what;
    }
    m->flags |= kObjFlagRemoving;
    target->flags |= kObjFlagRemoving;
  }
}

TEST_F(MissileUpdate, AnExpiredMissileTellsAndDiesWithCause4) {
  missiles_[0].missile.rangeTime = 1000;
  SpaceObject* player = ShipAt(0, 0, 5000000);
  player->flags |= kObjFlagBit1;
  SetTime(kStart);
  SpaceObject* m = Missile(0, player);
  Listen(m);
  Frame(kStart + 999);
  EXPECT_TRUE(events_.empty());
  Frame(kStart + 1000);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[0].objectId, 150u);
  EXPECT_EQ(events_[0].name, "NotifySelfDestruct");
  EXPECT_EQ(events_[0].a, 0);  // the missile's subtype
  EXPECT_EQ(events_[1].name, "KilledBy");
  EXPECT_EQ(events_[1].a, 4);
  EXPECT_TRUE(m->flags & kObjFlagRemoving);
}

TEST_F(MissileUpdate, AKilledByHandlerThatFreesTheNextObjectEndsThePass) {
  missiles_[0].missile.rangeTime = 1000;
  SetTime(kStart);
  SpaceObject* m = Missile(0, nullptr);
  Listen(m);
  second_ = ShipAt(100);
  SpaceObject* shot = In(kClassBullet, 0, 0);
  static_cast<BulletExt*>(shot->ext)->expiresAt = kStart;
  onEvent_ = [](SpaceObject*, const char* name) {
    if (std::string(name) == "KilledBy") FreeObjectForScript(Second());
  };
  Frame(kStart + 2000);
  EXPECT_TRUE(m->flags & kObjFlagRemoving);
  EXPECT_FALSE(shot->flags & kObjFlagRemoving);  // the walk ended before it
  onEvent_ = nullptr;
  Frame(kStart + 2016);
  EXPECT_TRUE(shot->flags & kObjFlagRemoving);
}

class TractorUpdate : public UpdateWorld {
 protected:
  // A holder at the origin holding the player's ship 1,000,000 ahead, attach point 1000 ahead;
  // the rest length is the distance plus `error`.
  void Hold(int32_t error) {
    holder_ = ShipAt(0);
    MatrixSetIdentity(&holder_->instance->matrix);
    Ext(holder_)->commandState = OM_UNUSED_7;
    player_ = ShipAt(0, 0, 1000000);
    player_->flags |= kObjFlagBit1;
    Ext(player_)->commandState = OM_UNUSED_7;
    holder_->attachOffset = {0, 0, 1000, 0};
    holder_->tractorLength = 999000 + error;
    holder_->tractorTarget = player_;
    player_->tractorAux = holder_;
    holder_->turnRates[0] = 2000;
    holder_->turnRates[1] = -4000;
    holder_->turnRates[2] = 6000;
  }
  SpaceObject* holder_ = nullptr;
  SpaceObject* player_ = nullptr;
};

TEST_F(TractorUpdate, AtTheRestLengthSpinOnlyDecays) {
  Hold(0);
  Frame(kStart, 100);
  EXPECT_EQ(holder_->turnRates[0], 2000 * 1900 / 2000);
  EXPECT_EQ(holder_->turnRates[1], -4000 * 1900 / 2000);
  EXPECT_EQ(holder_->turnRates[2], 6000 * 1900 / 2000);
  EXPECT_EQ(holder_->baseVelocity.x, 0);
  EXPECT_EQ(holder_->baseVelocity.y, 0);
  EXPECT_EQ(holder_->baseVelocity.z, 0);
  EXPECT_EQ(holder_->tractorTarget, player_);
}

TEST_F(TractorUpdate, TooFarFromTheRestLengthTheBeamLetsGoThatFrame) {
  struct Case {
    int32_t error;
    bool held;
  };
  const Case kCases[] = {{666000, true}, {666001, false}, {-666001, false}, {-666000, true}};
  for (const Case& c : kCases) {
    Hold(c.error);
    Frame(kStart);
    EXPECT_EQ(holder_->tractorTarget != nullptr, c.held) << c.error;
    EXPECT_EQ(player_->tractorAux != nullptr, c.held) << c.error;
    // Pulled toward the rest length: a longer beam pushes the holder back (toward -z).
    if (c.held) {
      EXPECT_EQ(holder_->baseVelocity.z < 0, c.error > 0) << c.error;
    }
    holder_->tractorTarget = nullptr;
    player_->tractorAux = nullptr;
  }
}

TEST_F(ObjectUpdate, ACameraWithItsStopFlagComesToRestAtAMillionPerSecond) {
  SpaceObject* camera = In(kClassCamera, 0, 0);
  auto* ext = static_cast<CameraExt*>(camera->ext);
  ext->words[4] = 1;
  camera->speed = 1000000;
  camera->speedLimit = 1000000;
  Frame(kStart, 16);
  EXPECT_EQ(camera->speedLimit, 0);
  EXPECT_EQ(camera->speed, 1000000 - 16000);
  Frame(kStart + 500, 500);
  EXPECT_EQ(camera->speed, 1000000 - 516000);
  Frame(kStart + 1000, 500);
  EXPECT_EQ(camera->speed, 0);
}

TEST_F(ObjectUpdate, ACameraFollowsItsDefaultTargetAndSlowsWithinItsKeepDistance) {
  SpaceObject* target = ShipAt(0, 0, 500000, 1000);
  target->speed = target->speedLimit = 30000;  // holds its speed
  SpaceObject* camera = In(kClassCamera, 0, 0);
  MatrixSetIdentity(&camera->instance->matrix);
  auto* ext = static_cast<CameraExt*>(camera->ext);
  ext->defaultTarget = target;
  ext->words[2] = 499000;  // keep distance + the target's radius = 500000
  struct Case {
    int32_t z;
    int32_t desired;
  };
  // Aligned: -1,000,000 at the target up to its speed at the keep distance, then up to the
  // maximum over the next 100000.
  const Case kCases[] = {{0, 30000}, {250000, 30000 - (1000000 + 30000) / 2}, {-50000, 30000 + (1000000 - 30000) / 2}};
  for (const Case& c : kCases) {
    Place(camera, 0, 0, c.z);
    Frame(kStart);
    EXPECT_EQ(ext->followedObject, target);
    EXPECT_NEAR(camera->speedLimit, c.desired, 1) << c.z;
  }
}

// Three simulated sectors, the player's first; only the motion-free object update runs.
class AlarmUpdate : public UpdateWorld {
 protected:
  void SetUp() override {
    UpdateWorld::SetUp();
    gSectorSteps.motion = [](SectorObject*) {};
    gSectorSteps.instances = [](SectorObject*) {};
    gSectorSteps.flight = [](SectorObject*) {};
    gSectorSteps.breakAway = [](SectorObject*) {};
    Sector();
    Sector();
  }
  void Step(uint32_t now) {
    SetTime(now);
    StepUniverse();
  }
};

TEST_F(AlarmUpdate, TheAlarmSoundsOnceAtItsStartAndOnceAtItsEndWhateverTheSectorCount) {
  SpaceObject* player = ShipAt(0, 0, 5000000);
  player->flags |= kObjFlagBit1;
  Step(kStart);
  EXPECT_TRUE(calls_.empty());
  SpaceObject* missile = MissileFrom(nullptr, 0);
  static_cast<MissileExt*>(missile->ext)->target = player;
  static_cast<MissileExt*>(missile->ext)->launchedAt = kStart;
  missiles_[0].missile.rangeTime = 100000;
  for (uint32_t t = kStart + 16; t < kStart + 100; t += 16) {
    Step(t);
    EXPECT_TRUE(alertFlags_ & kAlertIncomingMissileBit) << t;
    EXPECT_EQ(alertPending_, 2) << t;
  }
  EXPECT_EQ(calls_, std::vector<std::string>{"sound 1"});
  missile->flags |= kObjFlagRemoving;
  alertPending_ = 0;
  Step(kStart + 200);
  Step(kStart + 216);
  EXPECT_EQ(calls_, (std::vector<std::string>{"sound 1", "sound 1"}));
  EXPECT_FALSE(alertFlags_ & kAlertIncomingMissileBit);
  EXPECT_EQ(alertPending_, 0);  // never lowered, never raised without the alarm
}

TEST_F(AlarmUpdate, WithoutAHudTheAlarmDoesNothing) {
  gSimulationServices.alertWords = nullptr;
  SpaceObject* player = ShipAt(0, 0, 5000000);
  player->flags |= kObjFlagBit1;
  SpaceObject* missile = MissileFrom(nullptr, 0);
  static_cast<MissileExt*>(missile->ext)->target = player;
  static_cast<MissileExt*>(missile->ext)->launchedAt = kStart;
  missiles_[0].missile.rangeTime = 100000;
  Step(kStart);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(AlarmUpdate, TheDockedPlayerRechargesOncePerFrame) {
  ships_[0].ship.maxWeaponEnergy = 1000;
  ships_[0].ship.weaponRecharge = kFixedOne;
  SpaceObject* dock = In(kClassDock, 0, 0, 100000);
  SpaceObject* player = Into(dock, kClassShip, 0, 0);
  player->flags |= kObjFlagBit1;
  universe_.player = player;
  Ext(player)->weaponEnergy = 0;
  Step(kStart);
  EXPECT_EQ(Ext(player)->weaponEnergy, 16000);  // one frame's 16 ms, not one per sector
  // Not docked: the walk of its own sector recharges it.
  ObjectListRemove(player);
  ObjectListAddTail(ObjectChildren(sector_), player);
  player->parent = sector_;
  Step(kStart + 16);
  EXPECT_EQ(Ext(player)->weaponEnergy, 32000);
}

}  // namespace
