// The world of the damage and motion tests: the universe world with the scene engine's tables
// and one simulated sector, a type
// row for every class the cases use, objects placed in the sector (or in a ship) at given
// positions, and a service table whose instance tests touch when two instances lie within the
// sum of their sizes, and whose effects, cockpit and force feedback write to a log.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "universe_world.h"

#include "simulation/damage.h"
#include "simulation/sector_motion.h"
#include "simulation/simulation_services.h"
#include "support/engine_fixture.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"

class ContactWorld : public UniverseWorld {
 protected:
  static constexpr uint32_t kNew = 1u << 2;

  void SetUp() override {
    UniverseWorld::SetUp();
    self_ = this;
    SimulationServices s = DefaultSimulationServices();
    s.instCollideWith = [](InstanceRecord* a, InstanceRecord* b, int32_t, int32_t) { return Touch(a, b) ? 1 : 0; };
    s.instCollide = [](InstanceRecord* a, InstanceRecord* b, int32_t, int32_t) { return Touch(a, b); };
    s.findShotTarget = [](SpaceObject*) -> SpaceObject* { return nullptr; };
    s.recordCollisionThreat = nullptr;
    s.dockingProximity = [](SpaceObject*, SpaceObject*, int32_t) { return self_->proximity_; };
    s.showCollisionEffect = [](SpaceObject* o, SpaceObject*) { self_->Log("effect", o->id); };
    s.playHitSound = [](SpaceObject* o, SpaceObject*) { self_->Log("hit sound", o->id); };
    s.createObjectExplosion = [](SpaceObject* o, SpaceObject*, int32_t) {
      self_->Log("explosion", o->id);
      return 1;
    };
    s.playExplosionSound = [](SpaceObject* o) { self_->Log("explosion sound", o->id); };
    s.cockpitSetPercentDisplay = [](int32_t value, const SpaceObject*) { self_->Log("percent", value); };
    s.cockpitShowsFromInside = [](const SpaceObject*) { return self_->fromInside_; };
    s.forceFeedbackPlay = [](int32_t direction) {
      self_->Log("feedback", direction);
      return true;
    };
    gSimulationServices = s;

    bullets_ = Rows(kClassBullet, 30);
    ships_ = Rows(kClassShip, 2);
    shields_ = Rows(kClassShield, 2);
    missiles_ = Rows(kClassMissile, 1);
    Rows(kClassPlanet, 1);
    Rows(kClassWareFirst, 1);
    Rows(kClassAsteroid, 1);
    Rows(kClassDebris, 1);
    Rows(kClassSpecial, 100);
    Rows(kClassGate, 21);
    Rows(kClassDock, 1);
    for (int i = 0; i < 2; ++i) ships_[i].group = 6;  // a fighter's group: not a large ship
    ships_[0].ship.maxHull = 100000;
    ships_[0].ship.values6[0] = 1000000;  // shield generation
    sector_ = Sector();
  }

  void TearDown() override {
    gSimulationServices = DefaultSimulationServices();
    gGlobalsTable = {};
    self_ = nullptr;
    UniverseWorld::TearDown();
  }

  void Log(const char* what, int64_t value) { calls_.push_back(std::string(what) + " " + std::to_string(value)); }

  static bool Touch(const InstanceRecord* a, const InstanceRecord* b) {
    const double dx = double(a->position.x) - b->position.x, dy = double(a->position.y) - b->position.y,
                 dz = double(a->position.z) - b->position.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) <= double(a->size) + b->size;
  }

  static void Place(SpaceObject* o, int32_t x, int32_t y = 0, int32_t z = 0) {
    ASSERT_NE(o->instance, nullptr);
    o->instance->position = {x, y, z, 0};
    o->instance->world = {x, y, z, 0};
    o->savedPosition = {x, y, z, 0};
  }

  // An object of the sector at x with the given radius (its instance's size too), past its first
  // pass and with the given hull.
  SpaceObject* In(int32_t objClass, int32_t subtype, int32_t x, int32_t radius = 10, int32_t hull = 100000) {
    return Into(sector_, objClass, subtype, x, radius, hull);
  }

  SpaceObject* Into(SpaceObject* container, int32_t objClass, int32_t subtype, int32_t x, int32_t radius = 10,
                    int32_t hull = 100000) {
    SpaceObject* o = Create(objClass, subtype);
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(container), o);
    o->parent = container;
    o->flags &= ~kNew;
    o->radius = radius;
    o->hull = hull;
    if (o->instance) {
      Place(o, x);
      o->instance->size = radius;
    }
    return o;
  }

  // A full shield of the given type row in the container.
  SpaceObject* ShieldIn(SpaceObject* container, int32_t subtype) {
    return Into(container, kClassShield, subtype, 0);
  }
  static ShieldExt* ShieldOf(SpaceObject* shield) { return static_cast<ShieldExt*>(shield->ext); }

  SpaceObject* ShotFrom(SpaceObject* shooter, int32_t subtype, int32_t x, int32_t radius = 10) {
    SpaceObject* shot = In(kClassBullet, subtype, x, radius);
    static_cast<BulletExt*>(shot->ext)->firedBy = shooter;
    return shot;
  }

  SpaceObject* MissileFrom(SpaceObject* launcher, int32_t x, int32_t radius = 10) {
    SpaceObject* missile = In(kClassMissile, 0, x, radius);
    missile->flags |= kObjFlagArmed;
    static_cast<MissileExt*>(missile->ext)->launcher = launcher;
    return missile;
  }

  // The logged events as "object-id name args...".
  std::vector<std::string> EventLines() const {
    std::vector<std::string> lines;
    for (const ObjectEventRecord& e : events_) {
      std::string line = std::to_string(e.objectId) + " " + e.name;
      const int32_t args[3] = {e.a, e.b, e.c};
      for (int32_t i = 0; i < e.argCount && i < 3; ++i) line += " " + std::to_string(args[i]);
      lines.push_back(line);
    }
    return lines;
  }
  static std::string Line(const SpaceObject* o, const std::string& rest) { return std::to_string(o->id) + " " + rest; }
  static std::string Id(const SpaceObject* o) { return std::to_string(o->id); }

  static inline ContactWorld* self_ = nullptr;
  EngineFixture engine3d_;  // the scene engine's tables the objects' instances come from
  SectorObject* sector_ = nullptr;
  ObjectTypeRecord* bullets_ = nullptr;
  ObjectTypeRecord* ships_ = nullptr;
  ObjectTypeRecord* shields_ = nullptr;
  ObjectTypeRecord* missiles_ = nullptr;
  std::vector<std::string> calls_;
  int32_t proximity_ = 0;
  bool fromInside_ = false;
};
