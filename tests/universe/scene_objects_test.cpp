// Scene objects: the objects, lights and plain instances a take makes from a cut's paths (lights
// by row and mode, the shadow light, the player's type in the showcase cut, the F-value parent),
// and the in-game scenes with their carriers and their creation events, which an assembled story
// receives and logs with all six arguments. Cuts are written as text cut files and loaded by id;
// every object, instance and cut is freed at the end, so the sanitizer sees any leak.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "engine_types/cut_writer.h"
#include "platform/heap.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "support/cached_bodies.h"
#include "support/engine_type_world.h"
#include "support/script_runner.h"
#include "universe/object_lifecycle.h"
#include "universe/scene_objects.h"
#include "universe/universe.h"

namespace {

// Class 3003 logs every creation event as "count,six arguments,name"; 4299 the racing event.
// Class 2100 derives from the fight drone class 2067, class 12 does not.
const char* const kStory = R"(
.class 12
.end
.class 2067
.end
.class 2100 super=2067
.end
.class 3003
.method CreateSceneShip ship frame=12 params=6
.method CreateSceneShip2 ship2 frame=12 params=6
.method CreateSpecial special frame=12 params=6
.method CreateSun sun frame=12 params=6
.method CreateFactory factory frame=12 params=6
.end
.class 4299
.method CreateRacingSpecial racing frame=12 params=6
.end
ship:
  check 12
  pushs "CreateSceneShip"
  jmp log
ship2:
  check 12
  pushs "CreateSceneShip2"
  jmp log
special:
  check 12
  pushs "CreateSpecial"
  jmp log
sun:
  check 12
  pushs "CreateSun"
  jmp log
factory:
  check 12
  pushs "CreateFactory"
  jmp log
racing:
  check 12
  pushs "CreateRacingSpecial"
  jmp log
log:
  ldl 10
  ldl 10
  ldl 10
  ldl 10
  ldl 10
  ldl 10
  ldl 10
  pushb 8
  native T_Log
  pop
  push0
  native X_FailHeap
  ret
)";

struct PathPlan {
  int32_t body;
  int32_t serial = 0;
  int32_t f = -1;
  uint32_t flags = 0;
  const char* name = nullptr;
};

constexpr int16_t kShipSubtype = 5;          // lookup id 4100
constexpr int16_t kDroneSubtype = 6;         // lookup id 4101, script class 2100
constexpr int16_t kSilentSubtype = 117;      // lookup id 4102
constexpr int16_t kPlayerSubtype = 7;        // body 600
constexpr int16_t kSpecialSubtype = 3;       // body 300
constexpr int16_t kFactorySubtype = 1;       // body 310
constexpr int32_t kPlainBody = 777;          // no type uses it
constexpr int32_t kCarrierSubtype = 280;

class SceneObjects : public ScriptRunTest {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }

  void SetUp() override {
    ScriptRunTest::SetUp();
    current_ = this;
    failModule_ = RegisterNativeModule(engine_, FailDispatch, kFailNames, ResumeInt, ResumeString, ResumeValue);
    gScriptEngine = engine_;
    world_ = std::make_unique<EngineTypeWorld>();
    gSystem->gameTime = 10000;
    SetDefaultLightTypes();
    universe_ = UniverseBlock{};
    ListInit(&universe_.objects);
    universe_.idHash = HashCreate();
    universe_.takeHash = HashCreate();
    universe_.moduleNo = static_cast<uint32_t>(module_);
    gUniverse = &universe_;
    SetFreedInstanceHook(ObjectsForgetInstance);

    ObjectTypeRecord* ships = Rows(kClassShip, kCarrierSubtype + 1);
    ships[kShipSubtype].ship.cut = 4100;
    ships[kShipSubtype].ship.scriptClass = 12;
    ships[kShipSubtype].ship.qualifier = 44;
    ships[kDroneSubtype].ship.cut = 4101;
    ships[kDroneSubtype].ship.scriptClass = 2100;
    ships[kDroneSubtype].ship.qualifier = 33;
    ships[kSilentSubtype].ship.cut = 4102;
    ships[kPlayerSubtype].bodyId = 600;
    ships[kPlayerSubtype].ship.cut = 4103;
    for (int32_t s = 0; s <= kCarrierSubtype; ++s) ships[s].bodyId = ships[s].bodyId ? ships[s].bodyId : 900 + s;
    ObjectTypeRecord* specials = Rows(kClassSpecial, 4);
    for (int32_t s = 0; s < 4; ++s) specials[s].bodyId = 200 + s;
    specials[kSpecialSubtype].bodyId = 300;
    ObjectTypeRecord* missiles = Rows(kClassMissile, 3);
    for (int32_t s = 0; s < 3; ++s) missiles[s].bodyId = 400 + s;
    ObjectTypeRecord* factories = Rows(kClassFactory, 2);
    factories[0].bodyId = 320;
    factories[kFactorySubtype].bodyId = 310;
    Rows(kClassSun, 1)[0].bodyId = 330;
    Body(600, 2000);
    Body(kPlainBody, 50);

    ASSERT_TRUE(Load(kStory)) << error_;
  }

  void TearDown() override {
    DestroyUniverse(&universe_);
    gUniverse = nullptr;
    SetFreedInstanceHook(nullptr);
    bodies_.Clear();
    ResetEngine3D();
    world_.reset();
    for (auto& table : gObjectTypeTables) table = {};
    OsFailNextHeapRequests(0);
    current_ = nullptr;
    ScriptRunTest::TearDown();
    gScriptEngine = nullptr;
  }

  ObjectTypeRecord* Rows(int objClass, int count) {
    auto& rows = typeRows_[objClass];
    rows.assign(static_cast<size_t>(count), ObjectTypeRecord{});
    gObjectTypeTables[objClass] = {rows.data(), count};
    return rows.data();
  }

  void Body(int32_t id, int32_t size) { ASSERT_TRUE(bodies_.Add(id, size)); }

  // Cut `id` as a text file with one path per plan, each moving from (100, 200, 300) to
  // (1100, 200, 300) in 2000 ms while turning; loaded, then given the plan's body, serial, F value,
  // flags and name.
  CutRecord* MakeCut(int32_t id, const std::vector<PathPlan>& plans) {
    typetool::CutContent content;
    for (size_t i = 0; i < plans.size(); ++i) {
      typetool::CutPathPlan path;
      path.serial = static_cast<int32_t>(i) + 1;
      path.body = "1";
      path.blockKind = 1;
      path.blocks = {{{100, 200, 300, {kFixedOne / 8, 0, 0}, 2000}, {1100, 200, 300, {kFixedOne / 4, 0, 0}, 0}}};
      content.paths.push_back(path);
    }
    char name[40];
    std::snprintf(name, sizeof name, "objects/cut/%05d.pbd", static_cast<int>(id));
    world_->WriteLoose(name, typetool::CutText(content));
    CutRecord* cut = J3D_LoadCut(id);
    EXPECT_NE(cut, nullptr);
    if (!cut) return nullptr;
    EXPECT_EQ(cut->pathCount, static_cast<int32_t>(plans.size()));
    for (size_t i = 0; i < plans.size() && i < size_t(cut->pathCount); ++i) {
      PathRecord& path = cut->paths[i];
      path.lookupWord = static_cast<uint32_t>(plans[i].body);
      if (plans[i].serial) path.serial = plans[i].serial;
      path.loaderWord = static_cast<uint32_t>(plans[i].f);
      path.flags |= plans[i].flags;
      if (plans[i].name) path.name = ReplaceString(path.name, plans[i].name);
    }
    return cut;
  }

  SectorObject* ShownSector() {
    auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
    CreateSector(sector, MakeTypeWord(kClassSector, 1));
    sector->sceneA = B3D_SceneAlloc();
    return sector;
  }

  SpaceObject* Create(int32_t objClass, int32_t subtype) {
    SpaceObject* o = AllocObjectRecord(objClass);
    EXPECT_EQ(CreateObject(o, MakeTypeWord(objClass, subtype)), o);
    return o;
  }

  // A take record in the universe's take hash, freed with the universe.
  ObjTakeRecord* Take(SpaceObject* sector) {
    auto* record = static_cast<ObjTakeRecord*>(MemCalloc(sizeof(ObjTakeRecord)));
    record->take = TakeAlloc();
    record->sector = sector;
    record->key = HashInsertNewKey(universe_.takeHash, reinterpret_cast<HashValue>(record));
    return record;
  }

  std::vector<SpaceObject*> ObjectsOf(uint16_t objClass, int16_t subtype) {
    std::vector<SpaceObject*> found;
    for (uint32_t key = HashNextKey(universe_.idHash, 0); key; key = HashNextKey(universe_.idHash, key)) {
      auto* o = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, key));
      if (o->objClass == objClass && o->subtype == subtype) found.push_back(o);
    }
    return found;
  }

  static std::string Event(const char* name, int32_t a, uint32_t type, uint32_t id, int32_t b, int32_t last) {
    return "6," + std::to_string(a) + "," + std::to_string(type) + "," + std::to_string(id) + "," +
           std::to_string(b) + "," + std::to_string(last) + ",0,\"" + name + "\"";
  }

  // The story's handlers call X_FailHeap after logging: the armed count of heap requests then
  // fails, so the next object record of the scene cannot be had.
  static inline const char* const kFailNames[] = {"X_FailHeap", nullptr};
  static int32_t FailDispatch(int32_t, ScriptTask* task, int32_t, int32_t, ScriptValue*) {
    if (current_->failAfterEvent_ > 0) OsFailNextHeapRequests(current_->failAfterEvent_);
    current_->failAfterEvent_ = 0;
    ReturnInt(task, current_->engine_, 0);
    return 1;
  }

  static inline SceneObjects* current_ = nullptr;
  int32_t failModule_ = 0;
  int failAfterEvent_ = 0;
  std::unique_ptr<EngineTypeWorld> world_;
  UniverseBlock universe_{};

 private:
  CachedBodies bodies_;
  std::vector<ObjectTypeRecord> typeRows_[kObjectClassCount];
};

// ---------------------------------------------------------------------------------------------
// Takes.

TEST_F(SceneObjects, TakePathsMakeInstancesLightsAndObjectsByBodyId) {
  SectorObject* sector = ShownSector();
  ASSERT_NE(MakeCut(30, {{-1},                             // 0 plain instance
                         {5000, 0, -1, kPathFlagL},        // 1 light path, body outside the light range
                         {4100},                           // 2 ship by lookup id
                         {300},                            // 3 special by body id
                         {kPlainBody, 40},                 // 4 plain instance of a body, serial 40
                         {kPlainBody, 41, 40},             // 5 hangs under path 4
                         {kPlainBody, 42, 42},             // 6 names itself: refused
                         {402, 0, -1, kPathFlagF}}),       // 7 missile by body id, subtree off
            nullptr);
  ObjTakeRecord* record = Take(sector);
  ASSERT_EQ(CreateObjectsFromCut(30, record, 77), 1);

  TakeRecord* take = record->take;
  EXPECT_EQ(take->cutHandle, 30u);
  EXPECT_EQ(take->state, kTakeStopped) << "built";
  ASSERT_EQ(take->instanceCount, 8);
  InstanceRecord** slot = take->instances;

  EXPECT_EQ(slot[0]->jobFlags & 0x1000u, 0x1000u);
  EXPECT_EQ(slot[0]->jobWord, 77u);
  EXPECT_EQ(slot[0]->scene, sector->sceneA);

  // Body 5000 on a light path counts as 1999: row 999, white, of the default kind 1.
  EXPECT_TRUE(slot[1]->flags & kInstLight);
  EXPECT_TRUE(slot[1]->flags & kInstLightRankedHigh);
  EXPECT_EQ(slot[1]->lightColor[0], 255);
  EXPECT_EQ(slot[1]->lightColor[2], 255);
  EXPECT_EQ(slot[1]->lightRange, 300000);
  EXPECT_EQ(slot[1]->scene, sector->sceneA);
  EXPECT_EQ(slot[1]->flags & 0x20000u, 0x20000u) << "the only light becomes the shadow light";

  for (int p : {2, 3, 7}) {
    SpaceObject* actor = record->actors[p];
    ASSERT_NE(actor, nullptr) << p;
    EXPECT_EQ(slot[p], actor->instance) << p;
    EXPECT_EQ(actor->parent, sector) << p;
    EXPECT_TRUE(actor->flags & kObjFlagCarried) << p;
  }
  EXPECT_EQ(record->actors[2]->objClass, kClassShip);
  EXPECT_EQ(record->actors[2]->subtype, kShipSubtype);
  EXPECT_EQ(record->actors[3]->objClass, kClassSpecial);
  EXPECT_EQ(record->actors[3]->subtype, kSpecialSubtype);
  EXPECT_EQ(record->actors[7]->objClass, kClassMissile);
  EXPECT_EQ(record->actors[0], nullptr);
  EXPECT_EQ(record->actors[4], nullptr);

  EXPECT_EQ(slot[4]->bodyId, kPlainBody);
  EXPECT_EQ(slot[4]->scene, sector->sceneA);
  EXPECT_EQ(slot[5]->parent, slot[4]) << "the F value names path 4's serial";
  EXPECT_EQ(slot[6]->parent, nullptr) << "no instance under itself";
  EXPECT_EQ(slot[6]->scene, sector->sceneA);
  EXPECT_TRUE(slot[7]->flags & kInstSubtreeOff);
}

TEST_F(SceneObjects, TakeLightsTakeTheirRowModeAndOneShadowLight) {
  struct Case {
    const char* name;
    std::vector<int32_t> bodies;
    std::vector<int32_t> shadowValues;  // the parameter of each path's row
    int shadowPath;                     // the path whose light carries 0x20000
  };
  const Case kCases[] = {
      {"first shadow caster wins", {1010, 1011, 1012}, {0, 5, 7}, 1},
      {"no shadow caster: the first light", {1020, 1021}, {0, 0}, 0},
      {"both cast: only the first", {1030, 1031}, {9, 4}, 0},
  };
  for (const Case& c : kCases) {
    std::vector<PathPlan> plans;
    for (size_t i = 0; i < c.bodies.size(); ++i) {
      plans.push_back({c.bodies[i]});
      world_->engine().lightTypes[c.bodies[i] - 1000].parameter = c.shadowValues[i];
    }
    const int32_t cutId = c.bodies[0];
    ASSERT_NE(MakeCut(cutId, plans), nullptr) << c.name;
    ObjTakeRecord* record = Take(ShownSector());
    ASSERT_EQ(CreateObjectsFromCut(cutId, record, 0), 1) << c.name;
    for (int p = 0; p < static_cast<int>(c.bodies.size()); ++p) {
      const InstanceRecord* light = record->take->instances[p];
      EXPECT_EQ((light->flags & 0x20000u) != 0, p == c.shadowPath) << c.name << " path " << p;
      if (p == c.shadowPath && c.shadowValues[p] > 0) {
        EXPECT_EQ(light->lightParam, c.shadowValues[p]) << c.name;
      }
    }
  }
}

TEST_F(SceneObjects, TakeLightModesSetRangeAttenuationAndFlareValue) {
  LightTypeRecord& row = world_->engine().lightTypes[7];
  row.kind = kLightKindPoint;
  row.red = 10;
  row.green = 20;
  row.blue = 30;
  row.secondValue = 1;  // flag word
  row.words[0] = 6;     // light value
  row.words[1] = 4500;  // range
  ASSERT_NE(MakeCut(31, {{1007}, {2007}, {3007}}), nullptr);
  ObjTakeRecord* record = Take(ShownSector());
  ASSERT_EQ(CreateObjectsFromCut(31, record, 0), 1);
  InstanceRecord** slot = record->take->instances;
  struct Case {
    int path;
    int32_t range;
    uint32_t attenuation[3];
    bool spot;
    int32_t flare;
  };
  const Case kCases[] = {
      {0, 4500, {0x10000, 0, 0x80000}, false, 6},
      {1, 4500, {0x10000, 0, 0x80000}, false, 0},  // valued mode: flare value 0
      {2, 1000000, {0x10000, 0xA0000, 0}, true, 6},
  };
  for (const Case& c : kCases) {
    const InstanceRecord* light = slot[c.path];
    EXPECT_EQ(light->lightRange, c.range) << c.path;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(light->words31[k], c.attenuation[k]) << c.path << " word " << k;
    EXPECT_EQ((light->flags & kInstSpotLight) != 0, c.spot) << c.path;
    EXPECT_TRUE(light->flags & kInstPointLight) << c.path;
    EXPECT_TRUE(light->flags & 0x80000u) << c.path;
    EXPECT_TRUE(light->flags & 0x20000000u) << c.path;
    EXPECT_EQ(light->flareType, c.flare) << c.path;
    EXPECT_EQ(light->lightColor[1], 20) << c.path;
  }
}

TEST_F(SceneObjects, TakeOfTheShowcaseCutScalesThePlayersTypeTo8000) {
  // The player's model is found by its instance's body: a planet's, whose radius is its size.
  Rows(kClassPlanet, 1)[0].bodyId = 650;
  Body(650, 3000);
  SpaceObject* player = Create(kClassShip, kPlayerSubtype);
  ASSERT_NE(player->instance, nullptr);
  player->instance->bodyId = 650;
  player->componentCut = 0;  // no model cut: the body decides
  universe_.player = player;
  struct Case {
    int32_t cutId;
    bool scaled;
  };
  for (const Case& c : {Case{2109, true}, Case{2110, false}}) {
    ASSERT_NE(MakeCut(c.cutId, {{124}}), nullptr);
    ObjTakeRecord* record = Take(ShownSector());
    ASSERT_EQ(CreateObjectsFromCut(c.cutId, record, 0), 1);
    SpaceObject* shown = record->actors[0];
    ASSERT_NE(shown, nullptr) << c.cutId;
    ASSERT_NE(shown, player);
    EXPECT_EQ(shown->objClass, kClassPlanet) << "the player's own model";
    ASSERT_EQ(shown->radius, 3000);
    const int32_t scale = c.scaled ? FixedDiv(8000, 3000) : kFixedOne;
    EXPECT_EQ(shown->instance->scale.x, scale) << c.cutId;
    EXPECT_EQ(shown->instance->scale.z, scale) << c.cutId;
  }
}

TEST_F(SceneObjects, TakeReplaceBodyAndPlayerModelPaths) {
  ObjectTypeRecord* ships = gObjectTypeTables[kClassShip].rows;
  ships[10].ship.cut = 4161;  // what a path of 9999 shows without a player container
  universe_.takeReplaceBody = 300;
  ASSERT_NE(MakeCut(32, {{99999}, {9999}}), nullptr);
  ObjTakeRecord* record = Take(ShownSector());
  ASSERT_EQ(CreateObjectsFromCut(32, record, 0), 1);
  ASSERT_NE(record->actors[0], nullptr);
  EXPECT_EQ(record->actors[0]->objClass, kClassSpecial);
  EXPECT_EQ(record->actors[0]->subtype, kSpecialSubtype);
  ASSERT_NE(record->actors[1], nullptr);
  EXPECT_EQ(record->actors[1]->subtype, 10);

  // With a player ship, the player's model cut decides.
  SpaceObject* player = Create(kClassShip, kPlayerSubtype);
  player->componentCut = 4101;
  universe_.player = player;
  ASSERT_NE(MakeCut(33, {{9999}}), nullptr);
  ObjTakeRecord* second = Take(ShownSector());
  ASSERT_EQ(CreateObjectsFromCut(33, second, 0), 1);
  ASSERT_NE(second->actors[0], nullptr);
  EXPECT_EQ(second->actors[0]->subtype, kDroneSubtype);
}

TEST_F(SceneObjects, TakeOfAMissingCutMakesNothing) {
  ObjTakeRecord* record = Take(ShownSector());
  const int before = static_cast<int>(HashCount(universe_.idHash));
  EXPECT_EQ(CreateObjectsFromCut(55, record, 0), 0);
  EXPECT_EQ(record->take->instanceCount, 0);
  EXPECT_EQ(record->actors, nullptr);
  EXPECT_EQ(static_cast<int>(HashCount(universe_.idHash)), before);
}

// ---------------------------------------------------------------------------------------------
// In-game scenes.

TEST_F(SceneObjects, SceneEventsCarrySixArgumentsWithTheSixthZero) {
  SpaceObject* center = Create(kClassShip, kShipSubtype);
  ASSERT_NE(MakeCut(40, {{4100}, {4101}, {300}, {1500}, {310}, {90000}}), nullptr);
  log_.clear();
  EXPECT_EQ(CreateCutSceneObjects(center, 21, 40, 22), 2000) << "the paths' remaining time";
  const std::vector<SpaceObject*> ship = ObjectsOf(kClassShip, kShipSubtype);
  const std::vector<SpaceObject*> drone = ObjectsOf(kClassShip, kDroneSubtype);
  const std::vector<SpaceObject*> special = ObjectsOf(kClassSpecial, kSpecialSubtype);
  const std::vector<SpaceObject*> sun = ObjectsOf(kClassSun, 0);
  const std::vector<SpaceObject*> factory = ObjectsOf(kClassFactory, kFactorySubtype);
  ASSERT_EQ(ship.size(), 2u);  // the centre and the scene's
  ASSERT_EQ(drone.size(), 1u);
  ASSERT_EQ(special.size(), 1u);
  ASSERT_EQ(sun.size(), 1u) << "body 1500 with no type is a sun of subtype 0";
  ASSERT_EQ(factory.size(), 1u);
  const std::vector<std::string> expected = {
      Event("CreateSceneShip", 21, 0x70005, ship[1]->id, 22, 11),  // script class 12: no drone
      Event("CreateSceneShip", 21, 0x70006, drone[0]->id, 22, 33),  // derives from 2067: qualifier
      Event("CreateSpecial", 21, 0x140003, special[0]->id, 22, 12),
      Event("CreateSun", 21, 0, sun[0]->id, 22, 0),
      Event("CreateFactory", 21, 0x60001, factory[0]->id, 22, 12),
  };
  EXPECT_EQ(log_, expected) << "body 90000 is beyond the scene bodies";
  for (SpaceObject* o : {ship[1], drone[0], special[0], sun[0], factory[0]}) {
    EXPECT_TRUE(o->flags & kObjFlagCarried);
    EXPECT_EQ(o->carrier, center);
    ASSERT_NE(o->carrierNode, nullptr);
    EXPECT_EQ(o->instance->position.x, o->carrierNode->position.x) << "placed on its path";
  }
}

TEST_F(SceneObjects, SceneObjectThatCannotBeHadIsAnnouncedWithIdZero) {
  SpaceObject* center = Create(kClassShip, kShipSubtype);
  ASSERT_NE(MakeCut(41, {{300}, {4100}, {300}}), nullptr);
  log_.clear();
  failAfterEvent_ = 2;  // the record and its retry after the first event
  CreateCutSceneObjects(center, 1, 41, 2);
  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_[1], Event("CreateSceneShip", 1, 0x70005, 0, 2, 11));
  EXPECT_EQ(ObjectsOf(kClassSpecial, kSpecialSubtype).size(), 2u) << "the paths after it are made";
}

TEST_F(SceneObjects, SpecialScenesCarryTheirObjectsTheirOwnWay) {
  struct Case {
    int32_t cutId;
    uint32_t flags;  // of the scene object, beyond those of creation
    bool carriedByCenter;
  };
  const Case kCases[] = {
      {6240, 0, false},
      {4810, kObjFlagCarried | kObjFlagBit10, false},
      {4811, kObjFlagCarried, true},
  };
  for (const Case& c : kCases) {
    SpaceObject* center = Create(kClassFactory, 0);
    ASSERT_NE(MakeCut(c.cutId, {{300}}), nullptr);
    for (SpaceObject* o : ObjectsOf(kClassSpecial, kSpecialSubtype)) o->subtype = 0;  // earlier cases' objects
    CreateCutSceneObjects(center, 0, c.cutId, 0);
    const std::vector<SpaceObject*> made = ObjectsOf(kClassSpecial, kSpecialSubtype);
    ASSERT_EQ(made.size(), 1u) << c.cutId;
    EXPECT_EQ(made[0]->flags & (kObjFlagCarried | kObjFlagBit10), c.flags) << c.cutId;
    EXPECT_EQ(made[0]->carrier, c.carriedByCenter ? center : nullptr) << c.cutId;
    EXPECT_EQ(made[0]->carrierNode != nullptr, c.cutId != 6240) << c.cutId;
  }
}

TEST_F(SceneObjects, CarrierSceneBringsACarrierShipForTheLaterPaths) {
  SpaceObject* center = Create(kClassShip, kShipSubtype);
  CutRecord* cut = MakeCut(4447, {{4100}, {4101}, {4445}, {4102}});
  ASSERT_NE(cut, nullptr);
  ObjectTypeRecord* specials = gObjectTypeTables[kClassSpecial].rows;
  specials[1].special.cut = 4445;
  log_.clear();
  CreateCutSceneObjects(center, 0, 4447, 0);

  const std::vector<SpaceObject*> carriers = ObjectsOf(kClassShip, kCarrierSubtype);
  ASSERT_EQ(carriers.size(), 1u);
  SpaceObject* carrier = carriers[0];
  EXPECT_EQ(carrier->instance->position.x, 0);
  EXPECT_EQ(carrier->instance->position.z, 0);
  EXPECT_EQ(carrier->flags & ((1u << 4) | kObjFlagBit10), (1u << 4) | kObjFlagBit10);
  EXPECT_TRUE(carrier->flags2 & kObjFlag2VanishWhenDone);

  const std::vector<SpaceObject*> first = ObjectsOf(kClassShip, kShipSubtype);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[1]->carrier, center) << "path 0 keeps the given object";
  const std::vector<SpaceObject*> second = ObjectsOf(kClassShip, kDroneSubtype);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0]->carrier, carrier);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(second[0]->angles[k], cut->paths[1].rotations.keys[0].angles[k]);

  const std::vector<SpaceObject*> fixed = ObjectsOf(kClassSpecial, 1);
  ASSERT_EQ(fixed.size(), 1u);
  EXPECT_EQ(fixed[0]->carrier, carrier);
  EXPECT_EQ(cut->paths[2].positions.keys[0].position.x, 0) << "body 4445 starts at the origin";
  EXPECT_EQ(fixed[0]->instance->position.x, 0);
  EXPECT_EQ(ObjectsOf(kClassShip, kSilentSubtype).size(), 1u);
  EXPECT_EQ(log_.size(), 3u) << "subtype 117 is made without an event";
}

TEST_F(SceneObjects, StandAloneSceneIsCarriedByANewCarrierShip) {
  ASSERT_NE(MakeCut(4822, {{4101}, {300, 0, -1, 0, "gate7"}}), nullptr);
  log_.clear();
  EXPECT_EQ(CreateCutSceneObjects2(4822, 9), 2000);
  const std::vector<SpaceObject*> carriers = ObjectsOf(kClassShip, kCarrierSubtype);
  ASSERT_EQ(carriers.size(), 1u);
  const std::vector<SpaceObject*> drone = ObjectsOf(kClassShip, kDroneSubtype);
  const std::vector<SpaceObject*> special = ObjectsOf(kClassSpecial, kSpecialSubtype);
  ASSERT_EQ(drone.size(), 1u);
  ASSERT_EQ(special.size(), 1u);
  for (SpaceObject* o : {drone[0], special[0]}) {
    EXPECT_EQ(o->carrier, carriers[0]);
    EXPECT_EQ(o->instance->position.x, 100) << "the path's start position";
    EXPECT_EQ(o->instance->position.z, 300);
  }
  const std::vector<std::string> expected = {
      Event("CreateSceneShip2", 0, 0x70006, drone[0]->id, 9, 33),
      "6,0,1310723," + std::to_string(special[0]->id) + ",9,12,\"gate7\",\"CreateRacingSpecial\"",
  };
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(CreateCutSceneObjects2(56, 9), 0) << "no cut";
  EXPECT_EQ(CreateCutSceneObjects(nullptr, 0, 57, 0), 0) << "no cut";
}

}  // namespace
