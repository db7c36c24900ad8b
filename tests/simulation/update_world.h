// The world of the object update and order tests: the contact world with a ship type that flies
// (maximum speed 100000, acceleration 20000), a module whose integer resume callback logs every
// woken task, a HUD's alert words and a sound player that logs, recorders for shot fragments and
// missile break-ups, and a frame that runs the update as the frame step does.
#pragma once

#include <utility>
#include <vector>

#include "contact_world.h"

#include "simulation/object_update.h"
#include "simulation/order_modes.h"

class UpdateWorld : public ContactWorld {
 protected:
  static constexpr int kWaitModule = 6;
  static constexpr int32_t kVmax = 100000;
  static constexpr int32_t kAccel = 20000;

  void SetUp() override {
    ContactWorld::SetUp();
    update_ = this;
    // Tasks are woken only while a script is loaded.
    ASSERT_TRUE(Load(kRecordingStory)) << error_;
    storyLoaded_ = true;
    engine_->modules[kWaitModule].resumeInt = [](uint32_t cookie, int32_t value) {
      update_->woken_.push_back({cookie, value});
      return 0;
    };
    gSimulationServices.playSound = [](int32_t module, int32_t handle, int32_t id, int32_t volume) {
      update_->Log("sound", id);
      EXPECT_EQ(module, 0);
      EXPECT_EQ(handle, 0);
      EXPECT_EQ(volume, -1);
      return 1;
    };
    gSimulationServices.alertWords = [] { return AlertWords{&update_->alertFlags_, &update_->alertPending_}; };
    gSimulationServices.cockpitFollowedObject = [] { return static_cast<const SpaceObject*>(update_->followed_); };
    gSimulationServices.spawnScatteredObjects = [](SpaceObject* o) { update_->Log("scatter", o->id); };
    gSimulationServices.decoupleMissile = [](SpaceObject* o, int32_t) { update_->Log("decouple", o->id); };
    ships_[0].ship.speed = kVmax;
    ships_[0].ship.speed2 = kAccel;
    universe_.runState[1] = 1;
  }

  void TearDown() override {
    // Ships still waiting are released with the universe; nobody listens any more.
    engine_->modules[kWaitModule].resumeInt = nullptr;
    update_ = nullptr;
    ContactWorld::TearDown();
  }

  // One frame of the object update for the world's sector, at game time `now`.
  void Frame(uint32_t now, uint32_t step = 16) {
    SetTime(now, step);
    BeginObjectUpdateFrame();
    UpdateSectorObjects(sector_);
    EndObjectUpdateFrame();
  }

  // A ship of the sector at (x, y, z), facing +z, with no order and nothing to recharge.
  SpaceObject* ShipAt(int32_t x, int32_t y = 0, int32_t z = 0, int32_t radius = 10) {
    SpaceObject* ship = In(kClassShip, 0, 0, radius);
    Place(ship, x, y, z);
    ship->flags &= ~kObjFlagFree;
    return ship;
  }

  static ShipExt* Ext(SpaceObject* ship) { return static_cast<ShipExt*>(ship->ext); }

  // A ship of a type row at a point, turned to a heading (its instance, its own rotation and its
  // angles agree), with no order.
  SpaceObject* ShipFacing(int16_t subtype, FixedVector at, int32_t radius, uint32_t heading) {
    SpaceObject* ship = In(kClassShip, subtype, 0, radius);
    Place(ship, at.x, at.y, at.z);
    Face(ship, heading);
    ship->flags &= ~kObjFlagFree;
    return ship;
  }

  static void Face(SpaceObject* ship, uint32_t heading) {
    MatrixFromAngles(&ship->instance->matrix, heading, 0, 0);
    Ext(ship)->rotation = ship->instance->matrix;
    MatrixToAngles(&ship->instance->matrix, &ship->angles[0], &ship->angles[1], &ship->angles[2]);
  }

  // Both type rows fly and turn fastest on heading, so every turn toward a point shows in the
  // first steering angle.
  void FlyingTypes() {
    for (int i = 0; i < 2; ++i) {
      ships_[i].ship.speed = kVmax;
      ships_[i].ship.speed2 = kAccel;
      ships_[i].turnRate[0] = ships_[i].turnRate[1] = 20000;
      ships_[i].turnRate[2] = 10000;
    }
  }

  // The ship's order, with a task waiting on it and no decision delay.
  void Order(SpaceObject* ship, int32_t mode, SpaceObject* target = nullptr, FixedVector point = {},
             int32_t arrival = 0) {
    ShipExt* ext = Ext(ship);
    ext->commandState = static_cast<uint16_t>(mode);
    ext->commandObject = target;
    ext->commandPoint = point;
    ext->orderWords[kArrivalDistanceWord] = static_cast<uint32_t>(arrival);
    ext->thinkPeriod = 0;
    ext->thinkDue = 0;
    ship->moduleNo = kWaitModule;
    ship->moduleHandle = ++cookie_;
  }

  static inline UpdateWorld* update_ = nullptr;

 public:
  // The object a test's handler frees (for captureless callbacks).
  static SpaceObject* Second() { return update_->second_; }

 protected:
  SpaceObject* second_ = nullptr;
  std::vector<std::pair<uint32_t, int32_t>> woken_;  // (cookie, result)
  uint32_t cookie_ = 100;
  uint32_t alertFlags_ = 0;
  int32_t alertPending_ = 0;
  SpaceObject* followed_ = nullptr;
};
