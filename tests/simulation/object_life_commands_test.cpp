// The object life commands through the dispatcher: the type key checks of creation, the global
// lookup that hides killed objects, the event receiver by value type, the optional extra value of
// a kill, damage only between existing objects, and the deferred free of a script's object, from
// a plain task and from the handlers of the frame step's events.
#include <string>

#include "command_world.h"

#include "simulation/damage.h"
#include "simulation/simulation.h"
#include "simulation/tractor_beams.h"
#include "universe/object_references.h"

namespace {

enum Command : int32_t {
  kAlloc = 0,
  kFree = 1,
  kFind = 2,
  kSetEvent = 3,
  kGetEvent = 4,
  kGetParent = 5,
  kStartInSpace = 6,
  kKill = 7,
  kDamage = 8,
};

class LifeCommands : public CommandWorld {
 protected:
  int32_t TopLevelCount() {
    int32_t n = 0;
    for (SpaceObject* o = ObjectListFirst(&universe_.objects); o; o = ObjectListNext(o)) ++n;
    return n;
  }
};

TEST_F(LifeCommands, AllocObjectCreatesOnlyTypesThatExist) {
  struct Case {
    int32_t objClass, subtype;
    bool creates;
  };
  // Ships have two rows; suns none.
  const Case kCases[] = {
      {kClassShip, 0, true},     {kClassShip, 1, true},  {kClassShip, 2, false},  {kClassShip, -1, false},
      {32, 0, false},            {-1, 0, false},         {kClassSun, 0, false},   {kClassSector, 0, true},
      {kClassSector, 5000, true}, {kClassSector, -3, true}, {kClassSector, 0x20005, true},
  };
  for (const Case& c : kCases) {
    const int32_t before = TopLevelCount();
    const Reply r = Call(kAlloc, {I(c.objClass), I(c.subtype)});
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(TopLevelCount(), before + (c.creates ? 1 : 0)) << c.objClass << " " << c.subtype;
    if (!c.creates) {
      EXPECT_EQ(r.value, 0) << c.objClass << " " << c.subtype;
      continue;
    }
    SpaceObject* o = FindObjectById(&universe_, static_cast<uint32_t>(r.value));
    ASSERT_NE(o, nullptr) << c.objClass << " " << c.subtype;
    EXPECT_EQ(o->objClass, c.objClass);
    // A sector keeps the low 16 bits of any subtype; they never spill into its class.
    EXPECT_EQ(o->subtype, static_cast<int16_t>(c.subtype));
  }
}

TEST_F(LifeCommands, FindObjectHidesAKilledObjectWhoseReceiverStays) {
  SpaceObject* ship = ShipAt(0);
  ship->scriptId = 77;
  EXPECT_EQ(Call(kFind, {Of(ship)}).value, int32_t(ship->id));
  EXPECT_EQ(Call(kFind, {I(99999)}).value, 0);
  EXPECT_EQ(Call(kFind, {I(0)}).value, 0);
  EXPECT_EQ(Call(kKill, {Of(ship), I(14), I(0)}).value, 0);
  ASSERT_TRUE(ship->flags & kObjFlagRemoving);
  ASSERT_EQ(FindObjectById(&universe_, ship->id), ship);  // still there until the frame releases it
  EXPECT_EQ(Call(kFind, {Of(ship)}).value, 0);
  EXPECT_EQ(Call(kGetEvent, {Of(ship)}).value, 77);
  EXPECT_EQ(Call(kGetEvent, {I(99999)}).value, 0);
}

TEST_F(LifeCommands, SetEventObjectTakesAnIntegerOrAScriptObjectOnly) {
  SpaceObject* ship = ShipAt(0);
  struct Case {
    const char* what;
    ScriptValue receiver;
    uint32_t expected;
  };
  const Case kCases[] = {
      {"integer", I(5), 5},          {"text", Text("12"), 5},      {"script object", ObjectRef(321), 321},
      {"array", Array({9}), 321},    {"empty slot", ScriptValue{}, 321}, {"integer 0", I(0), 0},
  };
  for (const Case& c : kCases) {
    const Reply r = Call(kSetEvent, {Of(ship), c.receiver});
    EXPECT_EQ(r.value, 0) << c.what;
    EXPECT_EQ(ship->scriptId, c.expected) << c.what;
  }
  // Beyond the argument count nothing is read.
  EXPECT_EQ(Call(kSetEvent, {Of(ship), I(44)}, 1).value, 0);
  EXPECT_EQ(ship->scriptId, 0u);
}

TEST_F(LifeCommands, ParentIsTheObjectsOwnReferenceNotItsContainer) {
  SpaceObject* ship = ShipAt(0);
  SpaceObject* main = ShipAt(100);
  EXPECT_EQ(Call(kGetParent, {Of(ship)}).value, 0);  // lies in the sector, references nothing
  ship->linkedObject = main;
  EXPECT_EQ(Call(kGetParent, {Of(ship)}).value, int32_t(main->id));
  EXPECT_EQ(Call(kGetParent, {I(4242)}).value, 0);
  ship->linkedObject = nullptr;
}

TEST_F(LifeCommands, StartObjectInSpaceNeedsASector) {
  SpaceObject* ship = Create(kClassShip, 0);
  SpaceObject* other = ShipAt(0);
  SectorObject* second = Sector(2);
  EXPECT_EQ(Call(kStartInSpace, {Of(ship), Of(other)}).value, 0);
  EXPECT_EQ(ship->parent, nullptr);
  EXPECT_EQ(Call(kStartInSpace, {Of(ship), Of(second)}).value, 0);
  EXPECT_EQ(ship->parent, second);
}

// The extra value reaches the explosion as its flags; the cause is the low half of its argument.
TEST_F(LifeCommands, KillObjectReadsItsExtraValueOnlyWhenPassed) {
  struct Kill {
    uint32_t object, killer;
    int32_t flags;
  };
  static std::vector<Kill> kills;
  kills.clear();
  gSimulationServices.createObjectExplosion = [](SpaceObject* o, SpaceObject* killer, int32_t flags) {
    kills.push_back({o->id, killer ? killer->id : 0, flags});
    return 1;
  };
  SpaceObject* killer = ShipAt(500);
  struct Case {
    const char* what;
    int32_t cause;
    bool withKiller;
    ScriptValue extra;
    int32_t count;
    bool explodes;
    int32_t flags;
  };
  const Case kCases[] = {
      {"three arguments, more in the frame", kKillByShot, true, I(99), 3, true, 0},
      {"an integer", kKillByShot, true, I(99), 4, true, 99},
      {"a script object", kKillByCollision, false, ObjectRef(654), 4, true, 654},
      {"a text", kKillByShot, true, Text("7"), 4, true, 0},
      {"a release-only cause in the low half", 0x10000 | 16, true, I(5), 4, false, 0},
  };
  for (const Case& c : kCases) {
    kills.clear();
    SpaceObject* ship = ShipAt(0);
    const Reply r = Call(kKill, {Of(ship), I(c.cause), c.withKiller ? Of(killer) : I(0), c.extra}, c.count);
    EXPECT_EQ(r.value, 0) << c.what;
    EXPECT_TRUE(ship->flags & kObjFlagRemoving) << c.what;
    if (!c.explodes) {
      EXPECT_TRUE(kills.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(kills.size(), 1u) << c.what;
    EXPECT_EQ(kills[0].object, ship->id) << c.what;
    EXPECT_EQ(kills[0].killer, c.withKiller ? killer->id : 0u) << c.what;
    EXPECT_EQ(kills[0].flags, c.flags) << c.what;
  }
  // A killer id that names nothing still kills, with no killer.
  kills.clear();
  SpaceObject* ship = ShipAt(0);
  Call(kKill, {Of(ship), I(kKillByShot), I(31337)});
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_EQ(kills[0].killer, 0u);
}

TEST_F(LifeCommands, DamageObjectNeedsBothObjects) {
  SpaceObject* ship = ShipAt(0);
  SpaceObject* attacker = ShipAt(1000);
  EXPECT_EQ(Call(kDamage, {Of(ship), I(4242), I(0), I(300)}).value, 0);
  EXPECT_EQ(Call(kDamage, {I(4242), Of(attacker), I(0), I(300)}).value, 0);
  EXPECT_EQ(ship->hull, 100000);
  EXPECT_EQ(Call(kDamage, {Of(ship), Of(attacker), I(0), I(300)}).value, 0);
  EXPECT_LT(ship->hull, 100000);  // the damage model scales the hit at random
}

TEST_F(LifeCommands, FreeFromAPlainTaskIsDoneWhenTheCommandReturns) {
  SpaceObject* ship = ShipAt(0);
  const uint32_t id = ship->id;
  EXPECT_EQ(Call(kFree, {Of(ship)}).value, 0);
  EXPECT_EQ(FindObjectById(&universe_, id), nullptr);
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(ObjectListFirst(ObjectChildren(sector_)), nullptr);
  EXPECT_EQ(Call(kFree, {I(int32_t(id))}).value, 0);  // gone: nothing happens
}

// Every handler below frees, through the dispatcher, the object its pass holds (or the one after
// it in the sector) while the frame step runs: the free waits for the end of the step, every
// lookup fails at once, and AddressSanitizer sees nothing read after a free.
TEST_F(LifeCommands, HandlersFreeingObjectsDuringTheStepLeaveNothingDangling) {
  constexpr uint32_t kStart = 30000;
  constexpr uint32_t kPlayer = 1u << 1;
  constexpr uint32_t kHearsRams = 1u << 18;
  missiles_[0].missile.rangeTime = 1000;
  enum Setup { kRam, kExpiredScriptedMissile, kDependantOfExpiredMissile, kHeldByExpiredMissile, kLandingAbort };
  struct Case {
    const char* event;
    Setup setup;
    bool freesNext;  // the object after the one the event is about
  };
  const Case kCases[] = {
      {"AttackedBy", kRam, false},
      {"AttackedBy", kRam, true},
      {"KilledBy", kExpiredScriptedMissile, false},
      {"KilledBy", kExpiredScriptedMissile, true},
      {"SelfDestruct", kDependantOfExpiredMissile, false},
      {"SetTractorTarget", kHeldByExpiredMissile, false},
      {"NotifyDockingAbort", kLandingAbort, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.event) + (c.freesNext ? ": frees the next" : ": frees its own"));
    SetTime(kStart);
    events_.clear();
    SpaceObject* about = nullptr;  // the object the event is about
    switch (c.setup) {
      case kRam: {
        SpaceObject* player = ShipAt(0);
        about = ShipAt(0, 0, 15);
        player->flags |= kPlayer | kHearsRams;
        about->flags |= kHearsRams;
        Listen(about);
        break;
      }
      case kExpiredScriptedMissile:
      case kDependantOfExpiredMissile:
      case kHeldByExpiredMissile: {
        SpaceObject* missile = In(kClassMissile, 0, 0);
        missile->flags |= kObjFlagArmed;
        static_cast<MissileExt*>(missile->ext)->launchedAt = kStart;
        if (c.setup == kExpiredScriptedMissile) {
          about = missile;
        } else {
          about = ShipAt(0, 0, 3000000);
          if (c.setup == kDependantOfExpiredMissile) about->linkedObject = missile;
          else TractorConnect(missile, about, 0, 0, 0);
        }
        Listen(about);
        break;
      }
      case kLandingAbort: {
        SpaceObject* dock = ShipAt(0, 0, 3000000);
        about = ShipAt(0);
        Order(about, OM_PLAYER_LAND, dock);
        about->moduleNo = 0;
        dock->flags |= kObjFlagRemoving;  // the landing cannot go on
        break;
      }
    }
    SpaceObject* next = ShipAt(0, 5000000, 0);
    const std::string event = c.event;
    uint32_t freed = 0;
    int32_t foundAfter = -1;
    onEvent_ = [&](SpaceObject*, const char* name) {
      if (event != name || freed != 0) return;
      SpaceObject* target = c.freesNext ? next : about;
      freed = target->id;
      Call(kFree, {Of(target)});
      foundAfter = Call(kFind, {I(int32_t(freed))}).value;
    };
    SetTime(kStart + 2000);
    StepUniverse();
    onEvent_ = nullptr;
    ASSERT_NE(freed, 0u) << "the event was not raised";
    EXPECT_EQ(foundAfter, 0);
    EXPECT_EQ(FindObjectById(&universe_, freed), nullptr);
    EXPECT_EQ(QueuedObjectCount(), 0);
    EXPECT_EQ(UniverseGuardDepth(), 0);
    FreeAllObjects(&universe_);
    sector_ = Sector();
  }
}

}  // namespace
