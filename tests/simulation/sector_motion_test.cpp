// The sector motion pass: which pairs meet (shooters, flagged missiles, the restricted sector,
// bit-18 pairs, containment spheres), the ram's momentum exchange and damage, planet heat, ware
// catching, gates and landings, collision warnings, the event order of a hit, a ram, a planet
// crash and a kill, and handlers that free objects in the middle of the pass. Instances touch
// when they lie within the sum of their sizes; the generator is seeded with 1.
#include <map>
#include <random>
#include <string>
#include <vector>

#include "contact_world.h"

#include "simulation/universe_guard.h"

namespace {

constexpr uint32_t kFlagPlayer = 1u << 1;
constexpr uint32_t kFlagTold = 1u << 18;  // with bit 19 clear: hears rams and heat
constexpr uint32_t kFlagContainer = 1u << 20;
constexpr uint32_t kFlagShipNear = 1u << 22;
constexpr uint32_t kFlagGuideLights = 1u << 25;
constexpr uint32_t kFlag2Contact = 1u << 1;
constexpr uint32_t kFlag2Immovable = 1u << 7;
constexpr uint32_t kFlag2Counted = 1u << 8;
constexpr uint32_t kFlag2InRestricted = 1u << 10;
constexpr uint32_t kFlag2NoEffect = 1u << 18;
constexpr uint32_t kFlag2HitThisFrame = 1u << 19;
constexpr uint32_t kSectorRestricted = 1u << 2;

using SectorMotion = ContactWorld;

TEST_F(SectorMotion, ShotSparesItsShooterAndItsShootersMissiles) {
  enum Target { kShooter, kOwnMissile, kOwnCountedMissile, kOtherShip };
  struct Case {
    Target target;
    bool hit;
  };
  const Case kCases[] = {{kShooter, false}, {kOwnMissile, false}, {kOwnCountedMissile, true}, {kOtherShip, true}};
  for (const Case& c : kCases) {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* shooter = In(kClassShip, 0, c.target == kShooter ? 5 : -100000);
    SpaceObject* target = shooter;
    if (c.target == kOwnMissile || c.target == kOwnCountedMissile) target = MissileFrom(shooter, 5);
    if (c.target == kOwnCountedMissile) target->flags2 |= kFlag2Counted;
    if (c.target == kOtherShip) target = In(kClassShip, 0, 5);
    ShotFrom(shooter, 0, 0);
    UpdateSectorMotion(s);
    EXPECT_EQ((target->flags2 & kFlag2HitThisFrame) != 0, c.hit) << c.target;
  }
}

// A counted shot's hit goes to the laser-hit counter, not to the word that counts shots fired.
TEST_F(SectorMotion, CountedShotHitGoesToTheHitCounter) {
  SpaceObject* shooter = In(kClassShip, 0, -100000);
  SpaceObject* target = In(kClassShip, 0, 5);
  ShotFrom(shooter, 0, 0)->flags2 |= kFlag2Counted;
  UpdateSectorMotion(sector_);
  ASSERT_NE(target->flags2 & kFlag2HitThisFrame, 0u);
  EXPECT_EQ(universe_.statWord, 0u);
  EXPECT_EQ(universe_.missileCount, 0u);
  EXPECT_EQ(universe_.statWords[0], 1u);
  EXPECT_EQ(universe_.statWords[1], 0u);
}

TEST_F(SectorMotion, RamExchangesMomentumByMass) {
  struct Case {
    bool aImmovable;
    int32_t aAfter, bAfter;
  };
  const Case kCases[] = {{false, -500, 500}, {true, 1000, 500}};
  for (const Case& c : kCases) {
    SpaceObject* a = In(kClassShip, 0, 0);
    SpaceObject* b = In(kClassShip, 0, 15);
    a->flags |= kFlagPlayer;  // two peaceful ships pass each other; the player's never does
    a->mass = 1;
    b->mass = 3;
    a->instance->velocity = {1000, 0, 0, 0};  // its own motion folds into the exchange
    if (c.aImmovable) a->flags2 |= kFlag2Immovable;
    UpdateSectorMotion(sector_);
    const int32_t aVelocity = a->baseVelocity.x + a->instance->velocity.x;
    EXPECT_EQ(aVelocity, c.aAfter) << c.aImmovable;
    EXPECT_EQ(b->baseVelocity.x, c.bAfter) << c.aImmovable;
    EXPECT_EQ(b->instance->velocity.x, 0);
    ObjectListRemove(a);  // out of the next case's way
    ObjectListRemove(b);
    DeleteObject(a);
    DeleteObject(b);
  }
}

TEST_F(SectorMotion, RamDamageFollowsToughnessAndImpact) {
  ships_[1].ship.maxHull = 1000;
  struct Case {
    int32_t impact;
    int32_t damage;
  };
  // Toughness 2 x 1000 for both: a fiftieth (40) until the impact share 2000 x impact / 100000
  // passes it.
  const Case kCases[] = {{1000, 40}, {100000, 2000}};
  for (const Case& c : kCases) {
    events_.clear();
    SpaceObject* a = In(kClassShip, 1, 0);
    SpaceObject* b = In(kClassShip, 1, 15);
    a->flags |= kFlagPlayer;
    a->baseVelocity.x = c.impact;
    for (SpaceObject* o : {a, b}) {
      o->flags |= kFlagTold;
      Listen(o);
    }
    UpdateSectorMotion(sector_);
    const std::string d = std::to_string(c.damage);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(b, "AttackedBy " + Id(a) + " 0"),
                                                      Line(a, "AttackedBy " + Id(b) + " 0"),
                                                      Line(a, "MakeDamage " + d + " 1"),
                                                      Line(b, "MakeDamage " + d + " 1")}))
        << c.impact;
    EXPECT_LT(b->hull, 100000);
    EXPECT_GE(b->hull, 100000 - c.damage);
    ObjectListRemove(a);
    ObjectListRemove(b);
    DeleteObject(a);
    DeleteObject(b);
  }
}

TEST_F(SectorMotion, PlayerRammedFeelsTheImpactsDirection) {
  ships_[0].ship.speed = 1000;
  SpaceObject* a = In(kClassShip, 0, 0);
  SpaceObject* b = In(kClassShip, 0, 15);
  a->flags |= kFlagPlayer;
  b->baseVelocity = {0, 5000, 0, 0};  // comes from +y: straight behind, half a turn
  UpdateSectorMotion(sector_);
  EXPECT_EQ(calls_.front(), "feedback 18000");
}

// Max hull 160000, 375000 beyond the planet's limit, 250 ms frames: k = 75, 160000 x 75^2 /
// 22500 = 40000, a quarter of it per frame.
TEST_F(SectorMotion, PlanetHeatsShipsWithinItsBand) {
  ships_[0].ship.maxHull = 160000;
  struct Case {
    int32_t beyond;
    std::vector<std::string> perFrame;
  };
  SpaceObject* planet = In(kClassPlanet, 0, 0, 1000);
  const Case kCases[] = {
      {375000, {"150 NotifyPlanetCollision", "? MakeDamage 10000 0"}},
      {750000, {}},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = In(kClassShip, 0, (1000 + c.beyond) * 10, 0, 160000);
    ship->flags |= kFlagPlayer | kFlagTold;
    Listen(ship);
    SetTime(system_.gameTime, 250);
    for (int frame = 0; frame < 2; ++frame) {
      events_.clear();
      UpdateSectorMotion(sector_);
      std::vector<std::string> expected;
      for (const std::string& e : c.perFrame) expected.push_back(e[0] == '?' ? Id(ship) + e.substr(1) : e);
      EXPECT_EQ(EventLines(), expected) << c.beyond;
    }
    EXPECT_EQ(planet->hull, 100000);
    ObjectListRemove(ship);
    DeleteObject(ship);
  }
}

TEST_F(SectorMotion, CaughtWareEndsTheContact) {
  for (int32_t answer : {1, 0}) {
    SpaceObject* ship = In(kClassShip, 0, 0);
    SpaceObject* ware = In(kClassWareFirst, 0, 15);
    Listen(ship);
    events_.clear();
    answer_ = [answer](SpaceObject*, const char*) { return answer; };
    UpdateSectorMotion(sector_);
    EXPECT_EQ(EventLines().front(), Line(ship, "CatchWare " + Id(ware))) << answer;
    EXPECT_EQ(ware->hull == 100000, answer == 1) << answer;
    ObjectListRemove(ship);
    ObjectListRemove(ware);
    DeleteObject(ship);
    DeleteObject(ware);
  }
}

TEST_F(SectorMotion, WhichPairsTouch) {
  struct Case {
    const char* what;
    uint32_t sectorFlags;
    uint32_t flags2A, flags2B;
    bool contact, effect;
  };
  const Case kCases[] = {
      {"plain pair", 0, 0, 0, true, true},
      {"bit 18 gives the flag and no effect", 0, kFlag2NoEffect, 0, true, false},
      {"restricted sector ignores unmarked objects", kSectorRestricted, 0, kFlag2InRestricted, false, false},
      {"restricted sector takes marked objects", kSectorRestricted, kFlag2InRestricted, kFlag2InRestricted, true,
       true},
  };
  for (const Case& c : kCases) {
    SectorObject* s = Sector();
    sector_ = s;
    s->sectorFlags = c.sectorFlags;
    SpaceObject* a = In(kClassShip, 0, 0);
    SpaceObject* b = In(kClassShip, 0, 15);
    a->flags |= kFlagPlayer;
    a->flags2 |= c.flags2A;
    b->flags2 |= c.flags2B;
    UpdateSectorMotion(s);
    EXPECT_EQ((a->flags2 & kFlag2Contact) != 0, c.contact) << c.what;
    EXPECT_EQ((b->flags2 & kFlag2Contact) != 0, c.contact) << c.what;
    EXPECT_EQ(a->hull < 100000, c.effect) << c.what;
  }
}

TEST_F(SectorMotion, ShipTouchesAContainmentSphereFromOutside) {
  struct Case {
    int32_t x;
    bool contact;
  };
  const Case kCases[] = {{500, false}, {999, false}, {1000, true}, {1500, true}};
  for (const Case& c : kCases) {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* sphere = In(kClassSpecial, 92, 0, 1000);
    SpaceObject* ship = In(kClassShip, 0, c.x, 10);
    EXPECT_EQ(ResolveShipCollision(sphere, ship), c.contact ? 1 : 0) << c.x;
    ship->flags2 = 0;
    UpdateSectorMotion(s);
    EXPECT_EQ((ship->flags2 & kFlag2Contact) != 0, c.contact) << c.x;
  }
}

TEST_F(SectorMotion, GatesAndStationsAnswerByProximity) {
  struct Case {
    int32_t objClass, subtype, proximity, speed;
    std::vector<std::string> events;  // "?" stands for the container's id
    uint32_t containerFlags;
  };
  const Case kCases[] = {
      {kClassGate, 1, 3, 0, {"CanWarp ?"}, kFlagShipNear},
      {kClassGate, 1, 2, 0, {}, kFlagShipNear | kFlagGuideLights},
      {kClassGate, 4, 3, 0, {}, 0},
      {kClassGate, 17, 3, 0, {}, 0},
      {kClassDock, 0, 2, 0, {"CanLand ?"}, kFlagShipNear},
      {kClassDock, 0, 2, 30000, {}, kFlagShipNear},  // faster than a quarter of its top speed
      {kClassDock, 0, 1, 0, {}, kFlagShipNear},
  };
  for (const Case& c : kCases) {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* ship = In(kClassShip, 0, 0);
    SpaceObject* container = In(c.objClass, c.subtype, 100000);
    container->flags |= kFlagContainer;
    ship->flags |= kFlagPlayer;
    ship->speed = c.speed;
    Listen(ship);
    proximity_ = c.proximity;
    events_.clear();
    UpdateSectorMotion(s);
    std::vector<std::string> expected;
    for (const std::string& e : c.events) expected.push_back(Id(ship) + " " + e.substr(0, e.size() - 1) + Id(container));
    EXPECT_EQ(EventLines(), expected) << c.objClass << "/" << c.subtype << " " << c.proximity;
    EXPECT_EQ(container->flags & (kFlagShipNear | kFlagGuideLights), c.containerFlags) << c.objClass;
  }
}

TEST_F(SectorMotion, CollisionWarningSparesShipsAvoidingCollisions) {
  gSimulationServices.recordCollisionThreat = [](SpaceObject* ship, SpaceObject*, int32_t) {
    ship->flags |= (1u << 12) | (1u << 13);
  };
  for (uint16_t mode : {uint16_t{0}, uint16_t{18}}) {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* ship = In(kClassShip, 0, 0);
    In(kClassShip, 0, 1000);  // near, not touching
    static_cast<ShipExt*>(ship->ext)->commandState = mode;
    Listen(ship);
    events_.clear();
    UpdateSectorMotion(s);
    const std::vector<std::string> warned = {Line(ship, "CollisionWarn")};
    EXPECT_EQ(EventLines(), mode == 18 ? std::vector<std::string>{} : warned) << mode;
  }
}

// The logged events of four stories: a shot kills a ship, two ships ram, a ship crashes into a
// planet, a missile's blast kills a ship.
TEST_F(SectorMotion, EventOrderOfAHitARamACrashAndAKill) {
  // A hit: the shot's shooter is named, then the ship dies of the shot.
  {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* shooter = In(kClassShip, 0, -100000);
    bullets_[0].bullet.energy = 5000;
    bullets_[0].bullet.value1 = 5000;
    SpaceObject* shot = ShotFrom(shooter, 0, 0);
    SpaceObject* ship = In(kClassShip, 0, 5, 10, 10);
    Listen(ship);
    events_.clear();
    UpdateSectorMotion(s);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(ship, "AttackedBy " + Id(shooter) + " " + Id(shot)),
                                                      Line(ship, "KilledBy 2 " + Id(shooter) + " " + Id(shot))}));
    EXPECT_TRUE(shot->flags & kObjFlagRemoving);
  }
  // A crash: the planet rams the ship, which dies of the collision.
  {
    SectorObject* s = Sector();
    sector_ = s;
    SpaceObject* planet = In(kClassPlanet, 0, 0, 1000);
    SpaceObject* ship = In(kClassShip, 0, 5000, 10, 10);
    ship->flags |= kFlagTold;
    Listen(ship);
    events_.clear();
    UpdateSectorMotion(s);
    // Against a planet both sides take the larger toughness: the planet's.
    const std::string toughness = std::to_string(2 * int64_t{ObjGetMaxHull(planet)} + ObjGetShield(planet));
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(ship, "AttackedBy " + Id(planet) + " 0"),
                                                      Line(ship, "MakeDamage " + toughness + " 1"),
                                                      Line(ship, "KilledBy 3 " + Id(planet) + " " + Id(planet))}));
  }
  // A kill by a blast: the launcher is the killer, the missile the centre.
  {
    SectorObject* s = Sector();
    sector_ = s;
    missiles_[0].missile.damage = 100000;
    missiles_[0].missile.blastRadius = 1000;
    SpaceObject* launcher = In(kClassShip, 0, -100000);
    SpaceObject* missile = MissileFrom(launcher, 0);
    SpaceObject* ship = In(kClassShip, 0, 100, 10, 10);
    Listen(ship);
    events_.clear();
    KillObject(missile, kKillByExpiry, nullptr, 0);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(ship, "KilledBy 5 " + Id(launcher) + " " + Id(missile))}));
  }
}

// A ram through the recording story: its AttackedBy and MakeDamage methods log their arguments.
TEST_F(SectorMotion, RamEventsReachTheStory) {
  const std::string story = std::string(kRecordingStory)
                                .replace(std::string(kRecordingStory).find(".method MakeBreak"), 0,
                                         ".method AttackedBy recorded frame=8 params=2\n"
                                         ".method MakeDamage recorded frame=8 params=2\n");
  SpaceObject* a = In(kClassShip, 0, 0);
  SpaceObject* b = In(kClassShip, 0, 15);
  a->baseVelocity.x = 1000;
  a->flags |= kFlagTold | kFlagPlayer;
  ListenThroughStory(a, story.c_str());
  ListenThroughStory(b, story.c_str());
  UpdateSectorMotion(sector_);
  RunAll();
  const std::string aId = Id(a), bId = Id(b);
  EXPECT_EQ(log_, (std::vector<std::string>{"2," + aId + ",0", "0", "2," + bId + ",0", "0", "2,4000,1", "0",
                                            "2,4000,1", "0"}));
}

// The walk's own copy of positions must not hide what a handler changed: a ship a handler moves
// next to another is tested against it in the same walk, and a far pair stays untouched.
TEST_F(SectorMotion, HandlerMovingAFarShipBringsItsPairIntoTheWalk) {
  struct Case {
    int32_t movedTo;
    bool touches;
  };
  const Case kCases[] = {{30, true}, {3000000, false}};
  for (const Case& c : kCases) {
    sector_ = Sector();
    SpaceObject* a = In(kClassShip, 0, 0);
    SpaceObject* b = In(kClassShip, 0, 15);
    In(kClassShip, 0, 5000000);
    SpaceObject* d = In(kClassShip, 0, 2000000);
    // The player's ship meets peaceful ships too: a meets b, then b meets d wherever d is.
    a->flags |= kFlagPlayer;
    d->flags |= kFlagPlayer;
    for (SpaceObject* o : {a, b}) {
      o->flags |= kFlagTold;
      Listen(o);
    }
    onEvent_ = [&](SpaceObject* o, const char* name) {
      if (o == b && std::string(name) == "AttackedBy") Place(d, c.movedTo);
    };
    UpdateSectorMotion(sector_);
    EXPECT_EQ((d->flags2 & kFlag2Contact) != 0, c.touches) << c.movedTo;
    onEvent_ = nullptr;
  }
}

// Handlers that free objects through the deferred free: the pass ends at once, the finish walk
// does not run, nothing is read after its free (AddressSanitizer watches).
TEST_F(SectorMotion, HandlerFreeingAnObjectEndsThePass) {
  SpaceObject* a = In(kClassShip, 0, 0);
  SpaceObject* b = In(kClassShip, 0, 15);
  SpaceObject* c = In(kClassShip, 0, 1000000);
  SpaceObject* d = In(kClassShip, 0, 1000015);
  a->flags |= kFlagPlayer;
  c->flags |= kFlagPlayer;
  for (SpaceObject* o : {a, b}) {
    o->flags |= kFlagTold;
    Listen(o);
  }
  c->instance->contact.w = 7;
  onEvent_ = [&](SpaceObject* o, const char* name) {
    if (o == b && std::string(name) == "AttackedBy") FreeObjectForScript(b);
  };
  {
    UniverseGuardScope step;
    UpdateSectorMotion(sector_);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(b, "AttackedBy " + Id(a) + " 0")}));
    EXPECT_EQ(c->instance->contact.w, 7);  // no finish walk
    EXPECT_FALSE(d->flags2 & kFlag2Contact);  // the later pair was never reached
    EXPECT_EQ(a->hull, 100000);
  }
  EXPECT_EQ(QueuedObjectCount(), 0);
}

TEST_F(SectorMotion, BlastHandlerFreeingTheNextObjectStopsTheBlast) {
  missiles_[0].missile.damage = 100000;
  missiles_[0].missile.blastRadius = 1000;
  SpaceObject* launcher = In(kClassShip, 0, -100000);
  SpaceObject* missile = MissileFrom(launcher, 0);
  SpaceObject* first = In(kClassShip, 0, 100, 10, 10);
  SpaceObject* next = In(kClassShip, 0, 200, 10, 10);
  Listen(first);
  Listen(next);
  onEvent_ = [&](SpaceObject* o, const char* name) {
    if (o == first && std::string(name) == "KilledBy") {
      FreeObjectForScript(next);
      FreeObjectForScript(first);
    }
  };
  {
    UniverseGuardScope step;
    KillObject(missile, kKillByExpiry, nullptr, 0);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{Line(first, "KilledBy 5 " + Id(launcher) + " " + Id(missile))}));
    EXPECT_EQ(next->hull, 10);  // queued, not yet freed: the blast stopped before it
  }
  EXPECT_EQ(QueuedObjectCount(), 0);
}

}  // namespace

// The pair walk finds each object's partners through a spatial index; the plain scan tests every
// later object. On a crowded sector placed at random (ships, shots, flagged missiles, asteroids,
// clusters that collide and far objects the box test rejects, a few heard by the story, whose
// handlers move other objects and so make the walk rebuild its copy), stepped a few frames with the
// objects drifting between them, both must give the same pairs in the same order (every pair that
// reaches the threat test is logged), the same events and the same end state of every object.
TEST_F(SectorMotion, IndexedPairWalkMatchesThePlainScan) {
  static std::vector<std::string>* threatLog = nullptr;
  static std::map<const SpaceObject*, int>* indexOf = nullptr;
  auto run = [&](bool plain, uint32_t seed) {
    std::vector<std::string> log;
    std::map<const SpaceObject*, int> index;
    std::map<uint32_t, int> indexOfId;
    threatLog = &log;
    indexOf = &index;
    gSimulationServices.recordCollisionThreat = [](SpaceObject* ship, SpaceObject* obstacle, int32_t distance) {
      threatLog->push_back("pair " + std::to_string((*indexOf)[ship]) + " " + std::to_string((*indexOf)[obstacle]) +
                           " " + std::to_string(distance));
    };
    sector_ = Sector();
    events_.clear();
    GameSrand(1);
    std::mt19937 g(seed);
    auto uniform = [&g](int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(g() % uint32_t(hi - lo + 1)); };
    std::vector<SpaceObject*> made;
    std::map<const SpaceObject*, FixedVector> drift;
    for (int k = 0; k < 160; ++k) {
      const int kind = uniform(0, 9);
      const int32_t radius = uniform(10, 9000);
      SpaceObject* o;
      if (kind == 0 && !made.empty()) o = ShotFrom(made[g() % made.size()], 0, 0, radius);
      else if (kind == 1 && !made.empty()) o = MissileFrom(made[g() % made.size()], 0, radius);
      else o = In(kind == 2 ? kClassAsteroid : kClassShip, 0, 0, radius, uniform(1000, 3000000));
      // A tight cluster, a ring about as wide as the box test's reach and a far scatter beyond it.
      const int32_t spread = k % 3 == 0 ? 40000 : k % 3 == 1 ? 400000 : 3000000;
      Place(o, uniform(-spread, spread), uniform(-spread, spread), uniform(-spread / 4, spread / 4));
      o->baseVelocity = {uniform(-300, 300), uniform(-300, 300), 0, 0};
      drift[o] = {uniform(-60000, 60000), uniform(-60000, 60000), uniform(-6000, 6000), 0};
      if (uniform(0, 15) == 0) {
        o->flags |= kFlagTold;
        Listen(o);
      }
      index[o] = k;
      indexOfId[o->id] = k;
      made.push_back(o);
    }
    onEvent_ = [&](SpaceObject* o, const char* name) {
      // A handler moves the object after the one it was told about.
      SpaceObject* next = o ? ObjectListNext(o) : nullptr;
      if (next && next->instance && std::string(name) == "AttackedBy") Place(next, next->instance->position.x + 7000);
    };
    for (int frame = 0; frame < 4; ++frame) {
      SetPlainPairScan(plain);
      UpdateSectorMotion(sector_);
      SetPlainPairScan(false);
      // The objects drift; a ram puts them back where they were, which moves them in the walk.
      for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
        if (!o->instance) continue;
        const FixedVector p = o->instance->position;
        o->savedPosition = p;
        const FixedVector d = drift[o];
        o->instance->position = {p.x + d.x, p.y + d.y, p.z + d.z, 0};
      }
    }
    onEvent_ = nullptr;
    auto id = [&indexOfId](int32_t value) {
      auto it = indexOfId.find(static_cast<uint32_t>(value));
      return it == indexOfId.end() ? "raw " + std::to_string(value) : "#" + std::to_string(it->second);
    };
    for (const ObjectEventRecord& e : events_) {
      // Which arguments carry object ids, by event.
      const bool ids[3] = {e.name != "MakeDamage" && e.name != "KilledBy",
                           e.name == "AttackedBy" || e.name == "KilledBy", e.name == "KilledBy"};
      std::string line = "event " + id(static_cast<int32_t>(e.objectId)) + " " + e.name;
      const int32_t args[3] = {e.a, e.b, e.c};
      for (int32_t i = 0; i < e.argCount && i < 3; ++i) line += " " + (ids[i] ? id(args[i]) : std::to_string(args[i]));
      log.push_back(line);
    }
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
      const FixedVector p = o->instance ? o->instance->position : FixedVector{};
      log.push_back("object " + std::to_string(index[o]) + " " + std::to_string(o->flags) + " " +
                    std::to_string(o->flags2) + " " + std::to_string(o->hull) + " " + std::to_string(p.x) + " " +
                    std::to_string(p.y) + " " + std::to_string(p.z) + " " + std::to_string(o->baseVelocity.x) + " " +
                    std::to_string(o->baseVelocity.y));
    }
    gSimulationServices.recordCollisionThreat = nullptr;
    threatLog = nullptr;
    indexOf = nullptr;
    return log;
  };
  size_t events = 0;
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    const std::vector<std::string> plain = run(true, seed);
    const std::vector<std::string> indexed = run(false, seed);
    size_t pairs = 0;
    for (const std::string& line : plain) {
      pairs += line.rfind("pair ", 0) == 0;
      events += line.rfind("event ", 0) == 0;
    }
    // The sector must be crowded enough to test something: many pairs, some of them heard.
    EXPECT_GT(pairs, 100u) << seed;
    EXPECT_EQ(indexed, plain) << seed;
  }
  EXPECT_GT(events, 0u);
}
