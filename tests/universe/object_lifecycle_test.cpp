// Objects of every class from one-row tables, ids and their wrap, refused record kinds,
// destruction order and what it clears, emptying and tearing down the universe with take records,
// and instances freed under their objects.
#include "universe/object_lifecycle.h"

#include "core/memory.h"
#include "scene/cut_keys.h"
#include "scene/cut_reading.h"
#include "scene/instance.h"
#include "scene/scene.h"
#include "scene/takes_jobs.h"
#include "script/text_database.h"
#include "lifecycle_world.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kFinal = 0x80000004;

class ObjectInit : public LifecycleWorld {
 protected:
  // One row for every class with a table, each naming body 40 + class; the sun's row has none.
  void OneRowPerClass() {
    for (int c = 0; c < kObjectClassCount; ++c) {
      if (c == kClassSector || c == kClassBodyObject) continue;
      ObjectTypeRecord* row = Rows(c, 1);
      row->bodyId = 40 + c;
      Body(40 + c, 3 * kFixedOne);
    }
    Rows(kClassSun, 1)->bodyId = 0;
    Body(27, kFixedOne);   // the missile model
    Body(31, kFixedOne);   // the sun's model
    Body(174, kFixedOne);  // the camera's model
    Body(99, kFixedOne);   // a body object's own body
  }
};

TEST_F(ObjectInit, EveryClassGetsItsFlagsBodyExtensionAndName) {
  OneRowPerClass();
  struct Case {
    int16_t objClass, subtype;
    uint32_t flags, flags2;
    bool ext;
    int32_t body;
    const char* name;
  };
  constexpr uint32_t b7 = kObjFlag2Bit7;
  const Case kCases[] = {
      {kClassBullet, 0, 0x40004801 | kFinal, 0, true, 40, "Unnamed Object"},
      {kClassBackground, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {kClassSun, 0, 0x401 | kFinal, b7, true, 31, "Sun"},
      {kClassPlanet, 0, 0x801 | kFinal, b7, true, 44, "Planet"},
      {kClassDock, 0, 0x100000 | kFinal, b7, true, 45, "Unnamed Object"},
      {kClassFactory, 0, 0x100000 | kFinal, b7, true, 46, "Unnamed Object"},
      {kClassShip, 0, kFinal, 0, true, 47, "Unnamed Object"},
      {kClassLaser, 0, 0x1000800 | kFinal, 0, true, 48, "Unnamed Object"},
      {kClassShield, 0, 0x800 | kFinal, 0, true, 49, "Unnamed Object"},
      {kClassMissile, 0, 0x4000 | kFinal, 0, true, 27, "Unnamed Object"},
      {kClassWareFirst, 0, 0x800 | kFinal, 0, true, 51, "Unnamed Object"},
      {kClassAsteroid, 0, 0x20800 | kFinal, b7, true, 57, "Asteroid"},
      {kClassGate, 0, 0x100800 | kFinal, b7, true, 58, "Unnamed Object"},
      {kClassCamera, 5, 0xC01 | kFinal, 0, true, 174, "Camera"},
      {kClassSpecial, 0, 0x800 | kFinal, kObjFlag2Special, true, 60, "Unnamed Object"},
      {kClass21, 0, 0x401 | kFinal, b7, true, -1, "Unnamed Object"},
      {22, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {23, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {24, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {kClassCockpit, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {26, 0, kFinal, 0, false, -1, "Unnamed Object"},
      {kClassBodyObject, 99, 0xC01 | kFinal, kObjFlag2Bit29, false, 99, "Unnamed Object"},
      {kClassDebris, 0, 0x20800 | kFinal, kObjFlag2Bit29, true, 68, "Debris"},
      {kClassShipWreck, 0, 0x20800 | kFinal, kObjFlag2Bit29, true, 71, "Wreck"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.objClass);
    SpaceObject* o = Create(c.objClass, c.subtype);
    EXPECT_EQ(o->flags, c.flags);
    EXPECT_EQ(o->flags2 & ~kObjFlag2DetailManaged, c.flags2);
    EXPECT_EQ(o->ext != nullptr, c.ext);
    ASSERT_NE(o->instance, nullptr);
    EXPECT_EQ(o->shownInstance, o->instance);
    EXPECT_EQ(o->instance->bodyId, c.body);
    EXPECT_TRUE(o->instance->flags2 & (1u << 6)) << "owner still none on the tree";
    EXPECT_STREQ(o->name, c.name);
    EXPECT_EQ(o->marker, kObjectMarker);
    EXPECT_EQ(o->owner, kNoOwner);
    EXPECT_EQ(o->radiusCopy, static_cast<uint32_t>(o->radius));
  }
}

TEST_F(ObjectInit, ClassSpecificFields) {
  OneRowPerClass();
  SpaceObject* camera = Create(kClassCamera, 5);
  EXPECT_EQ(camera->subtype, 0);
  EXPECT_EQ(static_cast<CameraExt*>(camera->ext)->words[3], 1u);

  TypeRowMutable(kClassMissile, 0)->missile.instanceKind = 0x10007;
  SpaceObject* missile = Create(kClassMissile, 0);
  EXPECT_EQ(missile->instance->word2, 7u) << "low half of the type's instance kind";
  EXPECT_EQ(missile->hull, gMaxHullContainer);
  EXPECT_EQ(static_cast<MissileExt*>(missile->ext)->launchedAt, 5000u);

  SpaceObject* sun = Create(kClassSun, 0);
  EXPECT_EQ(sun->radius, 110000000);
  EXPECT_EQ(sun->instance->flags & 0x104000u, 0x104000u);
  auto* lights = static_cast<SunExt*>(sun->ext);
  ASSERT_NE(lights->lightA, nullptr);
  ASSERT_NE(lights->lightB, nullptr);
  EXPECT_EQ(lights->lightA->flags & 0x820000u, 0x820000u);

  SpaceObject* body = Create(kClassBodyObject, 99);
  EXPECT_EQ(body->subtype, 99) << "a body object keeps its body id as subtype";

  TypeRowMutable(kClassFactory, 0)->station.innerPointZ = 0x1234;
  SpaceObject* factory = Create(kClassFactory, 0);
  auto* dock = static_cast<FactoryExt*>(factory->ext);
  EXPECT_EQ(dock->dock.words[kFactoryStationStateWord], kFactoryStationStateNew);
  EXPECT_EQ(dock->dock.innerPoint.z, 0x1234);
  ASSERT_NE(ObjectChildren(factory), nullptr);

  SpaceObject* ship = Create(kClassShip, 0);
  auto* ext = static_cast<ShipExt*>(ship->ext);
  EXPECT_EQ(ext->viewpoint, -1);
  EXPECT_EQ(ext->dockSlot, -1);
  EXPECT_EQ(ext->nextCheckAt, 5900u);
  EXPECT_EQ(ext->innerPoint.z, kShipInnerPointZ);

  Rows(kClassBackground, 1)->nameTextId = 12;
  SpaceObject* named = Create(kClassBackground, 0);
  EXPECT_STREQ(named->name, ReadText(35, 12)) << "a class 2 row that names its object is used";
}

TEST_F(ObjectInit, SectorHasNoInstanceAndItsFlagsFollowTheSubtype) {
  SectorObject* first = Sector(0);
  SectorObject* other = Sector(3);
  EXPECT_EQ(first->instance, nullptr);
  EXPECT_EQ(first->radius, 0);
  EXPECT_STREQ(first->name, ReadText(35, 882));
  EXPECT_EQ(first->sectorFlags, kSectorFlagActiveWithPlayer);
  EXPECT_EQ(other->sectorFlags, 0u);
  EXPECT_EQ(first->sectorHull, kSectorHull);
  EXPECT_EQ(first->sectorLast, -1);
  EXPECT_NE(ObjectChildren(first), nullptr);
}

TEST_F(ObjectInit, SubtypeOutsideTheTableKeepsOnlyTheCommonFields) {
  OneRowPerClass();
  const int16_t kClasses[] = {kClassDock, kClassFactory, kClassShip, kClassBullet, kClassLaser, kClassDebris,
                              kClassWareFirst, kClassGate};
  for (int16_t objClass : kClasses) {
    for (int16_t subtype : {int16_t{1}, int16_t{-1}, int16_t{32767}}) {
      SCOPED_TRACE(testing::Message() << objClass << "/" << subtype);
      SpaceObject* o = Create(objClass, subtype);
      EXPECT_EQ(o->ext, nullptr);
      EXPECT_EQ(o->instance, nullptr);
      EXPECT_EQ(o->name, nullptr);
      EXPECT_EQ(o->flags, 0u);
      EXPECT_EQ(o->marker, kObjectMarker);
      EXPECT_EQ(o->owner, kNoOwner);
      EXPECT_NE(o->id, 0u) << "still created and linked";
    }
  }
}

TEST_F(ObjectInit, WreckTakesTheSizeOfItsIntactBody) {
  Rows(kClassShipWreck, 2);
  gObjectTypeTables[kClassShipWreck].rows[0].bodyId = 90;
  gObjectTypeTables[kClassShipWreck].rows[1].bodyId = 91;
  Body(90, 2 * kFixedOne, "ship_x_wreck");
  Body(91, 2 * kFixedOne, "plain_hulk");
  // The intact body is known by name: its id comes from the body name table.
  ASSERT_TRUE(AllocBodyDataTable());
  const int32_t intact = B3D_GetBodyID("ship_x");
  ASSERT_GE(intact, 0);
  Body(intact, 9 * kFixedOne, "ship_x");
  EXPECT_EQ(Create(kClassShipWreck, 0)->instance->size, 9 * kFixedOne);
  EXPECT_EQ(Create(kClassShipWreck, 1)->instance->size, 2 * kFixedOne);
  FreeAllObjects(&universe_);
  FreeBodyDataTable();
}

class ObjectLifecycle : public LifecycleWorld {};

TEST_F(ObjectLifecycle, IdsFollowEachOtherAndWrapPastIdsInUse) {
  Rows(kClassBackground, 1);
  SpaceObject* a = Create(kClassBackground, 0);
  SpaceObject* b = Create(kClassBackground, 0);
  EXPECT_EQ(a->id, 2u) << "the first key of a new table";
  EXPECT_EQ(b->id, a->id + 1);
  EXPECT_EQ(FindObjectById(&universe_, b->id), b);

  HashSetKeyCounter(universe_.idHash, 0x7FFFFFFD);
  SpaceObject* last = Create(kClassBackground, 0);
  SpaceObject* wrapped = Create(kClassBackground, 0);
  EXPECT_EQ(last->id, 0x7FFFFFFEu);
  EXPECT_EQ(wrapped->id, 1u);
  SpaceObject* next = Create(kClassBackground, 0);
  EXPECT_EQ(next->id, 4u) << "2 and 3 are still in use";
  EXPECT_EQ(TopLevelCount(), 5);
}

TEST_F(ObjectLifecycle, RecordKindMustFitTheClass) {
  Rows(kClassShip, 1);
  SpaceObject* common = AllocObjectRecord(kClassShip);
  EXPECT_EQ(CreateObject(common, MakeTypeWord(kClassSector, 0)), nullptr);
  EXPECT_EQ(common->marker, 0) << "left untouched";
  auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(sector, MakeTypeWord(kClassShip, 0));
  EXPECT_EQ(sector->marker, 0);
  EXPECT_EQ(TopLevelCount(), 0);
  FreeObjectRecord(common, kClassShip);
  FreeObjectRecord(sector, kClassSector);
}

std::vector<InstanceRecord*>* gFreed = nullptr;

TEST_F(ObjectLifecycle, ContainerContentsGoFirstAndThePlayerLinkIsCleared) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SectorObject* sector = Sector();
  SpaceObject* carrier = Create(kClassShip, 0);
  carrier->flags |= kObjFlagContainer;
  SpaceObject* docked1 = Create(kClassShip, 0);
  SpaceObject* docked2 = Create(kClassShip, 0);
  ObjectListRemove(carrier);
  ObjectListAddTail(ObjectChildren(sector), carrier);
  carrier->parent = sector;
  for (SpaceObject* d : {docked1, docked2}) {
    ObjectListRemove(d);
    ObjectListAddTail(ObjectChildren(carrier), d);
    d->parent = carrier;
  }
  universe_.player = carrier;
  const InstanceRecord* order[] = {docked1->instance, docked2->instance, carrier->instance};
  const uint32_t ids[] = {docked1->id, docked2->id, carrier->id};

  std::vector<InstanceRecord*> freed;
  gFreed = &freed;
  SetFreedInstanceHook([](InstanceRecord* i) { gFreed->push_back(i); });
  DeleteObject(carrier);
  SetFreedInstanceHook(ObjectsForgetInstance);
  gFreed = nullptr;

  ASSERT_EQ(freed.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(freed[i], order[i]);
  EXPECT_EQ(universe_.player, nullptr);
  for (uint32_t id : ids) EXPECT_EQ(FindObjectById(&universe_, id), nullptr);
  EXPECT_EQ(ObjectListFirst(ObjectChildren(sector)), nullptr);
  EXPECT_EQ(HashCount(universe_.idHash), 1u) << "only the sector is left";
}

// A take record holding a created object and a take with two instance slots.
ObjTakeRecord* MakeTakeRecord(UniverseBlock* universe, SpaceObject* actor, uint32_t cutHandle) {
  auto* record = static_cast<ObjTakeRecord*>(MemCalloc(sizeof(ObjTakeRecord)));
  record->take = TakeAlloc();
  record->take->cutHandle = cutHandle;
  record->take->instanceCount = 2;
  record->take->instances =
      static_cast<InstanceRecord**>(MemAlloc(2 * sizeof(InstanceRecord*), MemCategoryFlags(kMemCatCut)));
  record->take->instances[0] = actor ? actor->instance : nullptr;
  record->take->instances[1] = B3D_InstAlloc();
  record->take->state = kTakeRunning;
  record->actors = static_cast<SpaceObject**>(MemCalloc(2 * sizeof(SpaceObject*)));
  record->actors[0] = actor;
  record->key = HashInsertNewKey(universe->takeHash, reinterpret_cast<HashValue>(record));
  return record;
}

TEST_F(ObjectLifecycle, FreeAllObjectsLeavesNothingBehind) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SectorObject* sector = Sector();
  SpaceObject* ship = Create(kClassShip, 0);
  SpaceObject* actor = Create(kClassShip, 0);
  universe_.player = ship;
  ObjectListRemove(ship);
  ObjectListAddTail(ObjectChildren(sector), ship);
  ship->parent = sector;
  MakeTakeRecord(&universe_, actor, 0);
  MakeTakeRecord(&universe_, nullptr, 0);

  FreeAllObjects(&universe_);
  EXPECT_EQ(TopLevelCount(), 0);
  EXPECT_EQ(universe_.player, nullptr);
  EXPECT_EQ(HashCount(universe_.idHash), 0u);
  EXPECT_EQ(HashCount(universe_.takeHash), 0u);
  EXPECT_EQ(HashCount(engine_.engine().takeTable), 0u) << "the engine takes went with their records";
  // The sanitizer's leak check covers the records, actors arrays and take instances.
}

TEST_F(ObjectLifecycle, DestroyUniverseTwiceOrWithoutTablesIsHarmless) {
  Rows(kClassBackground, 1);
  Create(kClassBackground, 0);
  DestroyUniverse(&universe_);
  EXPECT_EQ(universe_.idHash, nullptr);
  EXPECT_EQ(universe_.takeHash, nullptr);
  EXPECT_EQ(TopLevelCount(), 0);
  DestroyUniverse(&universe_);
  UniverseBlock bare{};
  ListInit(&bare.objects);
  DestroyUniverse(&bare);
  FreeAllObjects(&bare);
  DestroyUniverse(nullptr);
}

TEST_F(ObjectLifecycle, StoppingATakeWhoseCutIsGoneOnlyResetsItsState) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SpaceObject* actor = Create(kClassShip, 0);
  ObjTakeRecord* record = MakeTakeRecord(&universe_, actor, 77);  // no cut 77 is loaded
  ObjTakeStop(record);
  EXPECT_EQ(record->take->state, 0);
  EXPECT_EQ(record->take->instanceCount, 2);
  EXPECT_EQ(record->actors[0], actor);
  EXPECT_EQ(record->take->cutHandle, 77u);
  EXPECT_EQ(actor->marker, kObjectMarker) << "the actor lives on";
}

TEST_F(ObjectLifecycle, StoppingATakeDestroysItsActorsAndFreesItsInstancesAndCut) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SpaceObject* actor = Create(kClassShip, 0);
  SpaceObject* bystander = Create(kClassShip, 0);
  const uint32_t actorId = actor->id;
  CutRecord* cut = AllocCutRecord("take");
  ASSERT_NE(cut, nullptr);
  cut->handle = 300;
  HashInsert(engine_.engine().cutTable, cut->handle, reinterpret_cast<HashValue>(cut));
  ObjTakeRecord* record = MakeTakeRecord(&universe_, actor, cut->handle);

  ObjTakeStop(record);
  EXPECT_EQ(record->take->state, 0);
  EXPECT_EQ(record->take->instanceCount, 0);
  EXPECT_EQ(record->take->instances, nullptr);
  EXPECT_EQ(record->actors, nullptr);
  EXPECT_EQ(record->take->cutHandle, 0u);
  EXPECT_EQ(GetCutByHandle(300), nullptr);
  EXPECT_EQ(FindObjectById(&universe_, actorId), nullptr);
  EXPECT_EQ(TopLevelCount(), 1);
  EXPECT_EQ(ObjectListFirst(&universe_.objects), bystander);
  ObjTakeStop(record);  // a second stop finds no cut and only resets the state
  ObjTakeFree(record);
  EXPECT_EQ(HashCount(universe_.takeHash), 0u);
}

TEST_F(ObjectLifecycle, DestroyedActorLeavesTheTakeRecord) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SpaceObject* actor = Create(kClassShip, 0);
  ObjTakeRecord* record = MakeTakeRecord(&universe_, actor, 0);
  DeleteObject(actor);
  EXPECT_EQ(record->actors[0], nullptr);
  EXPECT_EQ(record->take->instances[0], nullptr) << "the freed instance left the take too";
}

TEST_F(ObjectLifecycle, InstanceFreedUnderItsObjectIsForgotten) {
  Rows(kClassSun, 1)->bodyId = 6;
  Body(6, kFixedOne);
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SectorObject* sector = Sector();
  SpaceObject* sun = Create(kClassSun, 0);
  SpaceObject* ship = Create(kClassShip, 0);
  ObjectListRemove(ship);
  ObjectListAddTail(ObjectChildren(sector), ship);
  ship->parent = sector;
  ship->carrierNode = sun->instance;

  FreeInstance(ship->instance);  // as a script's instance free does
  EXPECT_EQ(ship->instance, nullptr);
  EXPECT_EQ(ship->shownInstance, nullptr);
  FreeInstance(sun->instance);
  EXPECT_EQ(sun->instance, nullptr);
  EXPECT_EQ(ship->carrierNode, nullptr);
  FreeInstance(static_cast<SunExt*>(sun->ext)->lightA);
  EXPECT_EQ(static_cast<SunExt*>(sun->ext)->lightA, nullptr);
  // Destruction afterwards frees nothing twice (the sanitizer watches).
  DeleteObject(ship);
  DeleteObject(sun);
}

}  // namespace

// A started take plays its cut's note range on the take's own instance and on the object made
// for the other slot; a label the cut does not name plays the whole path without the loop.
TEST_F(ObjectLifecycle, StartingATakePlaysTheLabelsRangeOnItsInstancesAndObjects) {
  Rows(kClassShip, 1)->bodyId = 5;
  Body(5, kFixedOne);
  SectorObject* sector = Sector();
  sector->scriptId = 42;
  SpaceObject* actor = Create(kClassShip, 0);
  ASSERT_NE(actor->instance, nullptr);
  static char startText[] = "start 3", endText[] = "LEND 3", speakText[] = "end speak 3";
  CutNote notes[] = {{100, startText}, {700, speakText}, {900, endText}};
  PathRecord paths[2]{};
  paths[0].noteCount = 3;
  paths[0].notes = notes;
  CutRecord cut{};
  cut.handle = 301;
  cut.pathCount = 2;
  cut.paths = paths;
  HashInsert(engine_.engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut));
  ObjTakeRecord* record = MakeTakeRecord(&universe_, nullptr, cut.handle);
  record->actors[0] = actor;  // slot 0 plays on the object made for it
  record->take->instances[0] = nullptr;
  record->sector = sector;
  record->take->state = kTakeStopped;

  const FixedVector origin{1000, 2000, 3000, 0};
  const int32_t label = 3;
  EXPECT_TRUE(NodeStartPathJob(record, &origin, &label, false, nullptr));
  EXPECT_EQ(record->take->state, kTakeRunning);
  EXPECT_EQ(cut.originPosition.x, 1000);
  EXPECT_EQ(cut.originPosition.z, 3000);
  EXPECT_TRUE(cut.originFlags & kCutOriginGiven);
  InstanceRecord* own = record->take->instances[1];
  for (InstanceRecord* instance : {own, actor->instance}) {
    EXPECT_EQ(instance->rangeStart, 100);
    EXPECT_EQ(instance->rangeEnd, 900) << "\"end speak 3\" ends nothing";
    EXPECT_TRUE(instance->jobFlags & kJobLoops) << "an \"lend\" range loops";
    EXPECT_TRUE(instance->jobFlags & kJobRangeAsGiven);
    EXPECT_EQ(instance->cutHandle, cut.handle);
  }
  EXPECT_EQ(own->pathNumber, 1);
  EXPECT_EQ(own->ownerScriptId, 42);
  EXPECT_TRUE(actor->flags & kObjFlagCarried);

  const int32_t missing = 4;
  // The whole path, which has no keys: it ends as soon as it starts.
  EXPECT_FALSE(NodeStartPathJob(record, nullptr, &missing, false, nullptr));
  EXPECT_EQ(own->rangeStart, 0);
  EXPECT_EQ(own->rangeEnd, 0);
  EXPECT_FALSE(own->jobFlags & kJobLoops);

  record->take->cutHandle = 999;  // a cut that is not loaded starts nothing
  EXPECT_FALSE(NodeStartPathJob(record, &origin, &label, true, nullptr));
  // The cut is the test's own: out of the table before the take and its instance are freed.
  HashRemove(engine_.engine().cutTable, cut.handle);
  record->actors[0] = nullptr;
  ObjTakeFree(record);
}
