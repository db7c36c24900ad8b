// A player's ship in a sector for the steering and the input translation: one ship type row, a
// ship with its extension and scene instance, an input state, a system block with a fixed frame
// step, a cockpit the host reports as the active control cockpit when asked to, and a host that
// records every event ("Name(a,b)") and answers the game-module events through `answer_`.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "devices/input.h"
#include "devices/input_translate.h"
#include "devices/steering.h"
#include "frontend/cockpit/cockpit.h"
#include "scene/camera_records.h"
#include "universe/object_queries.h"
#include "universe/type_world.h"
#include "universe/universe.h"

class SteeringWorld : public TypeWorld {
 protected:
  static constexpr int32_t kRates[3] = {0x8000, 0x6000, 0x4000};
  static constexpr int32_t kMaxSpeed = 100000;
  static constexpr int32_t kTopThrust = 20000;
  static constexpr uint32_t kStep = 20;

  void SetUp() override {
    TypeWorld::SetUp();
    current_ = this;
    system_.frameStep = kStep;
    system_.realTime = 10000;
    system_.timeScale = 0x10000;
    gSystem = &system_;
    input_.hat = -1;
    gInputState = &input_;
    gUniverse = &universe_;
    ResetSteeringState();
    ClearAxisAssignments();
    gInputTranslation = InputTranslation{};
    SteeringSetHost(&kHost);

    ObjectTypeRecord* row = Rows(kClassShip, 1);
    for (int k = 0; k < 3; ++k) row->turnRate[k] = kRates[k];
    row->ship.speed = kMaxSpeed;
    row->ship.speed2 = 30000;
    ext_.maxSpeedOverride = -1;
    ext_.valueOverride = kTopThrust;
    sector_.objClass = kClassSector;
    ship_.objClass = kClassShip;
    ship_.ext = &ext_;
    ship_.parent = &sector_;
    ship_.instance = &instance_;
    for (int k = 0; k < 3; ++k) instance_.matrix.m[k][k] = 0x10000;
    // An undamaged ship: a worn hull would lower the speed the cruise steps are measured by.
    ship_.hull = ObjGetMaxHull(&ship_);
  }

  void TearDown() override {
    SteeringSetHost(nullptr);
    ResetSteeringState();
    ClearAxisAssignments();
    gInputTranslation = InputTranslation{};
    gSystem = nullptr;
    gInputState = nullptr;
    gUniverse = nullptr;
    current_ = nullptr;
    TypeWorld::TearDown();
  }

  // The host reports `cockpit_` as the active control cockpit, with this number and view mode.
  void UseCockpit(int32_t number, uint32_t viewMode) {
    cockpitOn_ = true;
    cockpit_.cockpitNumber = number;
    cockpit_.viewMode = viewMode;
    cockpit_.camera = &camera_;
  }

  // Holds key codes whose "TranslateKey" answers the given actions, for the next frames.
  void HoldActions(const std::vector<int32_t>& actions) {
    held_.clear();
    for (size_t i = 0; i < actions.size(); ++i) held_.push_back({100 + int32_t(i), actions[i]});
    for (int32_t k = 100; k < 120; ++k) input_.keyTable[k] = 0;
    for (const auto& [key, action] : held_) input_.keyTable[key] = 1;
    answer_ = [this](const std::string& name, int32_t code) {
      if (name != "TranslateKey") return 0;
      for (const auto& [key, action] : held_)
        if ((code & 0xFFF) == key) return action;
      return 0;
    };
  }

  // One frame: the translation with the ship (or none), then the clock moves on by the step. The
  // next poll rebuilds the key table, so the button and hat entries the translation wrote go.
  void Frame(bool withShip = true, bool allowed = true) {
    events_.clear();
    TranslateInput(withShip ? &ship_ : nullptr, allowed ? 1 : 0);
    system_.realTime += system_.frameStep;
    for (int32_t k = 280; k <= 327; ++k) input_.keyTable[k] = 0;
  }

  int Count(const std::string& event) const {
    int n = 0;
    for (const std::string& e : events_) n += e == event;
    return n;
  }

  static bool Cockpit(SteeringCockpit* out) {
    SteeringWorld* w = current_;
    if (!w->cockpitOn_) return false;
    CockpitRecord& c = w->cockpit_;
    *out = SteeringCockpit{&c,          c.cockpitNumber,     c.viewMode,         c.camera, c.trackObject,
                           c.viewAngle, c.viewAngleSpeed, c.viewAngleTarget, &c.viewLocked};
    return true;
  }
  static std::string Text(const char* name, int32_t count, const int32_t* args) {
    std::string text = std::string(name) + "(";
    for (int32_t k = 0; k < count; ++k) text += (k ? "," : "") + std::to_string(args[k]);
    return text + ")";
  }
  static int32_t RaiseGame(const char* name, int32_t argument) {
    current_->events_.push_back(Text(name, 1, &argument));
    return current_->answer_ ? current_->answer_(name, argument) : 0;
  }
  static void Raise(const char* name, int32_t count, const int32_t* args) {
    current_->events_.push_back(Text(name, count, args));
  }
  static constexpr SteeringHost kHost = {Cockpit, RaiseGame, Raise};
  static inline SteeringWorld* current_ = nullptr;

  SystemBlock system_{};
  InputState input_{};
  UniverseBlock universe_{};
  ShipExt ext_{};
  SpaceObject sector_{};
  SpaceObject ship_{};
  InstanceRecord instance_{};
  CockpitRecord cockpit_{};
  CameraRecord camera_{};
  bool cockpitOn_ = false;
  std::vector<std::pair<int32_t, int32_t>> held_;
  std::function<int32_t(const std::string&, int32_t)> answer_;
  std::vector<std::string> events_;
};
