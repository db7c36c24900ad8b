#include "simulation/object_removal.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "hit_world.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "simulation/order_modes.h"
#include "simulation/tractor_beams.h"
#include "simulation/universe_guard.h"
#include "universe/object_references.h"
#include "universe/universe_frame.h"

namespace {

using Wake = std::pair<uint32_t, int32_t>;
std::vector<Wake>* gWakes = nullptr;
std::vector<const SpaceObject*>* gForgotten = nullptr;

int32_t RecordWake(uint32_t handle, int32_t value) {
  gWakes->push_back({handle, value});
  return 0;
}

class RemovalTest : public HitWorld {
 protected:
  static constexpr uint32_t kWaitRow = 6;
  static constexpr int32_t kShipBody = 500;

  void SetUp() override {
    HitWorld::SetUp();
    ShipRows(2);
    for (int c : {kClassFactory, kClassGate, kClassLaser, kClassBullet, kClassMissile, kClassAsteroid, kClassCamera}) {
      Rows(c, 1);
    }
    engine_->modules[kWaitRow].resumeInt = RecordWake;
    // Tasks are woken only while a script is loaded.
    if (!engine_->scriptName) {
      engine_->scriptName = scriptName_;
      borrowedName_ = true;
    }
    gWakes = &wakes_;
    gForgotten = &forgotten_;
    SetCockpitsForgetHook([](const SpaceObject* o) { gForgotten->push_back(o); });
  }

  void TearDown() override {
    SetCockpitsForgetHook(nullptr);
    gWakes = nullptr;
    gForgotten = nullptr;
    gComponentTable = {};
    if (borrowedName_) engine_->scriptName = nullptr;  // not the engine's to free
    HitWorld::TearDown();
  }

  SpaceObject* Rock() { return Create(kClassAsteroid, 0); }
  bool Alive(SpaceObject* o, uint32_t id) { return FindObjectById(&universe_, id) == o; }

  std::vector<Wake> wakes_;
  std::vector<const SpaceObject*> forgotten_;
  char scriptName_[8] = "game";
  bool borrowedName_ = false;
};

TEST_F(RemovalTest, DependantsAreReleasedOrToldWhereverTheyLie) {
  // A <- B <- C, with C inside a factory: children of every container are walked.
  struct Case {
    const char* name;
    bool bScripted, cScripted;
    bool bRemoved, cRemoved;
    std::vector<std::string> told;  // "B" / "C", in order
  };
  const Case kCases[] = {
      {"no scripts: the chain goes", false, false, true, true, {}},
      {"scripted B is only told", true, false, false, false, {"B"}},
      {"scripted C is told when B goes", false, true, true, false, {"C"}},
  };
  for (const Case& c : kCases) {
    events_.clear();
    forgotten_.clear();
    SpaceObject* factory = Create(kClassFactory, 0);
    SpaceObject* a = Rock();
    SpaceObject* b = Rock();
    SpaceObject* cc = Rock();
    ASSERT_EQ(MoveObjectIntoContainer(factory, cc), 1) << c.name;
    b->linkedObject = a;
    cc->linkedObject = b;
    if (c.bScripted) Listen(b);
    if (c.cScripted) Listen(cc);
    ReleaseObjectReferences(a, 0);
    EXPECT_EQ((b->flags & kObjFlagRemoving) != 0, c.bRemoved) << c.name;
    EXPECT_EQ((cc->flags & kObjFlagRemoving) != 0, c.cRemoved) << c.name;
    EXPECT_EQ(b->linkedObject, nullptr) << c.name;
    EXPECT_EQ(cc->linkedObject, c.bRemoved ? nullptr : b) << c.name;
    std::vector<std::string> told;
    for (const ObjectEventRecord& e : events_) {
      EXPECT_EQ(e.name, "SelfDestruct") << c.name;
      EXPECT_EQ(e.argCount, 2) << c.name;
      EXPECT_EQ(e.a, 19) << c.name;
      EXPECT_EQ(e.b, 0) << c.name;
      told.push_back(e.objectId == b->id ? "B" : "C");
    }
    EXPECT_EQ(told, c.told) << c.name;
    // The cockpits forget the object and every dependant released with it.
    std::vector<const SpaceObject*> gone{a};
    if (c.bRemoved) gone.push_back(b);
    if (c.cRemoved) gone.push_back(cc);
    EXPECT_EQ(forgotten_, gone) << c.name;
    for (SpaceObject* o : {a, b, cc}) o->flags |= kObjFlagRemoving;
  }
}

TEST_F(RemovalTest, EveryKindOfReferenceIsClearedInsideContainersToo) {
  for (int32_t keep : {0, 1}) {
    SCOPED_TRACE(keep ? "owners kept" : "owners cleared");
    SpaceObject* removed = Ship();
    SpaceObject* other = Rock();
    SpaceObject* factory = Create(kClassFactory, 0);
    // A ship inside the factory, with its threats and a turret's target.
    SpaceObject* ship = Ship();
    ASSERT_EQ(MoveObjectIntoContainer(factory, ship), 1);
    ShipExt* s = ExtOf(ship);
    s->commandObject = removed;
    s->threatCount = 3;
    s->threats[0] = other, s->threatDistances[0] = 10;
    s->threats[1] = removed, s->threatDistances[1] = 20;
    s->threats[2] = other, s->threatDistances[2] = 30;
    s->turrets[3].targetObject = removed;
    s->turrets[4].targetObject = other;
    SpaceObject* shot = Create(kClassBullet, 0);
    auto* bullet = static_cast<BulletExt*>(shot->ext);
    bullet->shooter = bullet->firedBy = bullet->hitObject = removed;
    SpaceObject* missile = Create(kClassMissile, 0);
    auto* m = static_cast<MissileExt*>(missile->ext);
    m->launcher = m->target = removed;
    SpaceObject* laser = Create(kClassLaser, 0);
    static_cast<LaserExt*>(laser->ext)->currentShot = removed;
    auto* f = static_cast<FactoryExt*>(factory->ext);
    f->linkedFactory = removed;
    SpaceObject* gate = Create(kClassGate, 0);
    static_cast<GateExt*>(gate->ext)->slotShips[3] = removed;
    SpaceObject* camera = Create(kClassCamera, 0);
    static_cast<CameraExt*>(camera->ext)->followedObject = removed;
    other->carrier = removed;
    other->carrierNode = reinterpret_cast<InstanceRecord*>(&other->link);  // any node: only compared
    other->flags |= kObjFlagCarried;

    ReleaseObjectReferences(removed, keep);

    EXPECT_EQ(s->commandObject, nullptr);
    ASSERT_EQ(s->threatCount, 2);
    EXPECT_EQ(s->threats[0], other);
    EXPECT_EQ(s->threatDistances[1], 30);
    EXPECT_EQ(s->threats[2], nullptr);
    EXPECT_EQ(s->turrets[3].targetObject, nullptr);
    EXPECT_EQ(s->turrets[4].targetObject, other);
    EXPECT_EQ(bullet->shooter, keep ? removed : nullptr);
    EXPECT_EQ(bullet->firedBy, nullptr);
    EXPECT_EQ(bullet->hitObject, nullptr);
    EXPECT_EQ(m->launcher, keep ? removed : nullptr);
    EXPECT_EQ(m->target, nullptr);
    EXPECT_EQ(static_cast<LaserExt*>(laser->ext)->currentShot, nullptr);
    EXPECT_EQ(f->linkedFactory, nullptr);
    EXPECT_EQ(static_cast<GateExt*>(gate->ext)->slotShips[3], nullptr);
    EXPECT_EQ(static_cast<CameraExt*>(camera->ext)->followedObject, nullptr);
    EXPECT_EQ(other->carrier, nullptr);
    EXPECT_EQ(other->carrierNode, nullptr);
    EXPECT_EQ(other->flags & kObjFlagCarried, 0u);
    bullet->shooter = nullptr;
    m->launcher = nullptr;
  }
}

TEST_F(RemovalTest, RemovalLetsGoOfTractorBeamsAndTellsAfterwards) {
  SpaceObject* holder = Ship();
  SpaceObject* held = Ship();
  Listen(held);
  TractorConnect(holder, held, 0, 0, 0);
  ASSERT_EQ(held->tractorAux, holder);
  // The handler sees every link already cleared.
  bool consistent = false;
  onEvent_ = [&](SpaceObject* o, const char* name) {
    if (o == held && std::string(name) == "SetTractorTarget") {
      consistent = held->tractorAux == nullptr && holder->tractorTarget == nullptr;
    }
  };
  ReleaseObjectReferences(holder, 0);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].name, "SetTractorTarget");
  EXPECT_TRUE(consistent);
  EXPECT_EQ(ExtOf(held)->heldSpeedLimit, -1);
}

TEST_F(RemovalTest, MovingIntoAContainer) {
  SectorObject* sector = Sector();
  SpaceObject* carrier = Ship();
  SpaceObject* shooter = Ship();
  SpaceObject* hunter = Ship();
  SpaceObject* shot = Create(kClassBullet, 0);
  for (SpaceObject* o : {carrier, shooter, hunter, shot}) ASSERT_EQ(MoveObjectIntoContainer(sector, o), 1);
  static_cast<BulletExt*>(shot->ext)->shooter = shooter;
  ExtOf(hunter)->commandObject = shooter;

  // A shot keeps its shooter when the shooter only changes container; a hunter loses its prey.
  ASSERT_EQ(MoveObjectIntoContainer(carrier, shooter), 1);
  EXPECT_EQ(shooter->parent, carrier);
  EXPECT_EQ(ObjectListFirst(ObjectChildren(carrier)), shooter);
  EXPECT_EQ(static_cast<BulletExt*>(shot->ext)->shooter, shooter);
  EXPECT_EQ(ExtOf(hunter)->commandObject, nullptr);
  // An object that holds no objects takes none.
  EXPECT_EQ(MoveObjectIntoContainer(shot, hunter), 0);
  EXPECT_EQ(hunter->parent, sector);

  // A ship capturing something is woken with 1 when it arrives; other orders are not.
  struct Case {
    const char* name;
    int32_t mode;
    std::vector<Wake> wakes;
  };
  const Case kCases[] = {{"capturing", OM_CAPTURE, {{42, 1}}}, {"attacking", OM_ATTACK, {}}};
  for (const Case& c : kCases) {
    wakes_.clear();
    ShipSetOrderMode(carrier, c.mode);
    carrier->moduleNo = kWaitRow;
    carrier->moduleHandle = 42;
    SpaceObject* ware = Rock();
    EXPECT_EQ(MoveObjectIntoContainer(carrier, ware), 1) << c.name;
    EXPECT_EQ(wakes_, c.wakes) << c.name;
  }
}

TEST_F(RemovalTest, ALaserNeedsAFreePlace) {
  TypeRowMutable(kClassShip, 0)->bodyId = kShipBody;
  ComponentEntry entry{kShipBody, 2, nullptr};
  gComponentTable.kinds[kComponentKindLaser] = {1, &entry};
  SpaceObject* ship = Ship();
  SpaceObject* lasers[3] = {Create(kClassLaser, 0), Create(kClassLaser, 0), Create(kClassLaser, 0)};
  EXPECT_EQ(MoveObjectIntoContainer(ship, Rock()), 1);  // other objects take no place
  EXPECT_EQ(MoveObjectIntoContainer(ship, lasers[0]), 1);
  EXPECT_EQ(MoveObjectIntoContainer(ship, lasers[1]), 1);
  EXPECT_EQ(MoveObjectIntoContainer(ship, lasers[2]), 0);
  EXPECT_EQ(lasers[2]->parent, nullptr);
  // A ship whose body has no laser places takes no laser.
  SpaceObject* bare = Ship(1);
  EXPECT_EQ(MoveObjectIntoContainer(bare, lasers[2]), 0);
}

TEST_F(RemovalTest, FreeingWakesTheObjectsTaskAndEveryTurretTaskWith8) {
  SpaceObject* ship = Ship();
  ship->moduleNo = kWaitRow;
  ship->moduleHandle = 70;
  ShipExt* s = ExtOf(ship);
  s->turrets[0].moduleNo = kWaitRow;
  s->turrets[0].handle = 71;
  s->turrets[4].moduleNo = kWaitRow;
  s->turrets[4].handle = 72;
  UniverseRecordDelete(ship, 1);
  EXPECT_EQ(wakes_, (std::vector<Wake>{{70, 8}, {71, 8}, {72, 8}}));
}

TEST_F(RemovalTest, EveryFreeingPathTakesTheIdOutOnce) {
  HashTable* ids = universe_.idHash;
  SpaceObject* keeper = Rock();  // must stay findable throughout
  const uint32_t keeperId = keeper->id;

  const uint32_t before = HashCount(ids);
  SpaceObject* plain = Rock();
  const uint32_t plainId = plain->id;
  UniverseRecordDelete(plain, 1);
  EXPECT_EQ(HashCount(ids), before);
  EXPECT_EQ(FindObjectById(&universe_, plainId), nullptr);

  SpaceObject* factory = Create(kClassFactory, 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(MoveObjectIntoContainer(factory, Rock()), 1);
  EXPECT_EQ(HashCount(ids), before + 3);
  UniverseRecordDelete(factory, 1);
  EXPECT_EQ(HashCount(ids), before);

  SpaceObject* deferred = Rock();
  const uint32_t deferredId = deferred->id;
  {
    UniverseGuardScope guard;
    FreeObjectForScript(deferred);
    EXPECT_EQ(HashCount(ids), before);  // out at once, so scripts no longer find it
    FreeObjectForScript(deferred);      // a second free changes nothing
    EXPECT_EQ(QueuedObjectCount(), 1);
  }
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(HashCount(ids), before);
  EXPECT_EQ(FindObjectById(&universe_, deferredId), nullptr);
  EXPECT_TRUE(Alive(keeper, keeperId));
}

TEST_F(RemovalTest, HandlerFreeingTheNextObjectDuringTheReleaseIsDeferred) {
  // A goes; B and C (next in the top-level list) depend on it and have scripts. B's handler frees
  // C: the free waits until the release is over, and C is not told on freed memory.
  SpaceObject* a = Rock();
  SpaceObject* b = Rock();
  SpaceObject* c = Rock();
  SpaceObject* watcher = Ship();
  for (SpaceObject* o : {b, c}) {
    o->linkedObject = a;
    Listen(o);
  }
  ExtOf(watcher)->commandObject = c;
  ExtOf(watcher)->threats[0] = a;
  ExtOf(watcher)->threatCount = 1;
  const uint32_t cId = c->id;
  onEvent_ = [&](SpaceObject* o, const char*) {
    if (o == b) FreeObjectForScript(c);
  };
  a->flags |= kObjFlagRemoving;
  ReleaseObjectReferences(a, 0);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].objectId, b->id);
  EXPECT_EQ(FindObjectById(&universe_, cId), nullptr);
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(ExtOf(watcher)->commandObject, nullptr);
  EXPECT_EQ(ExtOf(watcher)->threatCount, 0);
  EXPECT_EQ(b->linkedObject, nullptr);
}

TEST_F(RemovalTest, HandlerFreeingTheObjectBeingFreedIsIgnored) {
  SpaceObject* a = Rock();
  SpaceObject* b = Rock();
  b->linkedObject = a;
  Listen(b);
  const uint32_t aId = a->id;
  onEvent_ = [&](SpaceObject*, const char*) { FreeObjectForScript(FindObjectById(&universe_, aId)); };
  UniverseRecordDelete(a, 1);
  EXPECT_EQ(events_.size(), 1u);
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(FindObjectById(&universe_, aId), nullptr);
}

TEST_F(RemovalTest, ALongChainOfScriptlessDependantsIsReleased) {
  constexpr int kChain = 100000;
  SpaceObject* root = Rock();
  std::vector<SpaceObject*> chain;
  chain.reserve(kChain);
  SpaceObject* previous = root;
  for (int i = 0; i < kChain; ++i) {
    SpaceObject* o = AllocObjectRecord(kClassBodyObject);
    ASSERT_EQ(CreateObject(o, MakeTypeWord(kClassBodyObject, 0)), o);
    o->linkedObject = previous;
    chain.push_back(o);
    previous = o;
  }
  ReleaseObjectReferences(root, 0);
  for (SpaceObject* o : chain) {
    ASSERT_NE(o->flags & kObjFlagRemoving, 0u);
    ASSERT_EQ(o->linkedObject, nullptr);
  }
  // Freed here without the per-object walk the universe's teardown would make for each.
  for (SpaceObject* o : chain) {
    HashRemove(universe_.idHash, o->id);
    o->name = FreeString(o->name);
    ObjectListRemove(o);
    FreeObjectRecord(o, kClassBodyObject);
  }
}

}  // namespace
