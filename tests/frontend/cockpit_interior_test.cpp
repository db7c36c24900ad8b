// The cockpit interior: slots made from the interior cut's paths (lights, bodies, nothing), the
// light settings taken from the light type row, the cases that show no interior and free what was
// built, a change of the interior cut, the plain drawing without shading, and the cockpit lights
// copied from the sector's chosen lights.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit_world.h"
#include "frontend/hud/cockpit_interior.h"
#include "frontend/hud/sector_camera.h"
#include "scene/cut_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/light_records.h"
#include "scene/lights.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "universe/object_classes.h"

namespace {

constexpr int32_t kInteriorCut = 4711;
constexpr int32_t kOtherCut = 4712;
constexpr int32_t kShipSubtype = 1;
constexpr int32_t kSpotType = 500;   // light body 1500
constexpr int32_t kPointType = 600;  // light body 1600

bool InScene(const InstanceRecord* instance, const SceneRecord* scene) { return instance && instance->scene == scene; }

size_t ListCount(ListHead* list) {
  size_t n = 0;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) ++n;
  return n;
}

}  // namespace

class CockpitInterior : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    ObjectTypeRecord* ships = Rows(kClassShip, 2);
    ships[kShipSubtype].ship.cut2 = kInteriorCut;
    LightTypeRecord& spot = engine_.engine().lightTypes[kSpotType];
    spot = LightTypeRecord{kLightKindSpot, 100, 150, 200, 1, 7, {9, 0}};
    LightTypeRecord& point = engine_.engine().lightTypes[kPointType];
    point = LightTypeRecord{kLightKindPoint, 10, 20, 30, 0, 5, {-1, 0}};
    sector_ = Object(1, kClassSector);
    ship_ = Object(2, kClassShip, sector_);
    ship_->subtype = kShipSubtype;
    cockpit_ = NewCockpit();
    ASSERT_NE(cockpit_, nullptr);
    cockpit_->cockpitRefObject = ship_;
    cockpit_->viewMode = 1;
    cockpit_->cockpitBodyOn = 1;
    cockpit_->interiorCut = -1;
  }
  void TearDown() override {
    FreeAllCockpits(gGuiMaster);  // frees the slots before the cuts go
    for (int32_t id : {kInteriorCut, kOtherCut}) HashRemove(engine_.engine().cutTable, static_cast<uint32_t>(id));
    CockpitWorld::TearDown();
  }

  // A cut whose paths show these body ids.
  void EnterCut(int32_t id, const std::vector<int32_t>& bodies) {
    std::vector<PathRecord>& paths = paths_[id == kInteriorCut ? 0 : 1];
    paths.assign(bodies.size(), PathRecord{});
    for (size_t i = 0; i < bodies.size(); ++i) paths[i].lookupWord = static_cast<uint32_t>(bodies[i]);
    CutRecord& cut = cuts_[id == kInteriorCut ? 0 : 1];
    cut = CutRecord{};
    cut.handle = static_cast<uint32_t>(id);
    cut.pathCount = static_cast<int32_t>(paths.size());
    cut.paths = paths.data();
    HashInsert(engine_.engine().cutTable, static_cast<uint32_t>(id), reinterpret_cast<HashValue>(&cut));
  }

  CockpitSlot* Ref(uint32_t i) { return i < cockpit_->targetRefCount ? cockpit_->targetRefs[i] : nullptr; }

  SpaceObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  CockpitRecord* cockpit_ = nullptr;
  std::vector<PathRecord> paths_[2];
  CutRecord cuts_[2]{};
};

TEST_F(CockpitInterior, PathsGiveALightABodySlotOrNothing) {
  EnterCut(kInteriorCut, {1500, 2000, -1});
  BuildCockpitInterior(cockpit_);
  ASSERT_EQ(cockpit_->targetRefCount, 3u);

  CockpitSlot* light = Ref(0);
  ASSERT_NE(light, nullptr);
  ASSERT_NE(light->instance, nullptr);
  EXPECT_EQ(light->bodyId, -1);
  EXPECT_EQ(light->extra, 0u);
  EXPECT_TRUE(light->visible);
  EXPECT_TRUE(InScene(light->instance, cockpit_->scene));
  const InstanceRecord& l = *light->instance;
  EXPECT_TRUE(l.flags & kInstLight);
  EXPECT_TRUE(l.flags & kInstSpotLight);           // kind 3
  EXPECT_TRUE(l.flags & kInstLightParamSet);       // w12 > 0, the first light to have it
  EXPECT_TRUE(l.flags & kInstLightSecondPositive);  // w8 > 0
  EXPECT_TRUE(l.flags & kInstExtraValueSet);        // w16 >= 0 is kept
  EXPECT_EQ(l.extraValue, 9);
  EXPECT_EQ(l.lightParam, 7);
  EXPECT_EQ(l.lightRange, 1000000);
  EXPECT_EQ(l.words31[0], 0x10000u);
  EXPECT_EQ(l.words31[1], 0xA0000u);
  EXPECT_EQ(l.words31[2], 0u);
  EXPECT_EQ(l.lightColor[0], 100);
  EXPECT_EQ(l.lightColor[1], 150);
  EXPECT_EQ(l.lightColor[2], 200);
  EXPECT_EQ(l.pathNumber, 0);

  CockpitSlot* body = Ref(1);
  ASSERT_NE(body, nullptr);
  ASSERT_NE(body->instance, nullptr);
  EXPECT_EQ(body->bodyId, 2000);
  EXPECT_EQ(body->extra, 1u);
  EXPECT_FALSE(body->instance->flags & kInstLight);
  EXPECT_TRUE(InScene(body->instance, cockpit_->scene));
  EXPECT_EQ(body->instance->pathNumber, 1);

  EXPECT_EQ(Ref(2), nullptr);

  // Later frames keep the same slots.
  InstanceRecord* kept = light->instance;
  BuildCockpitInterior(cockpit_);
  EXPECT_EQ(Ref(0), light);
  EXPECT_EQ(Ref(0)->instance, kept);
}

TEST_F(CockpitInterior, OnlyTheFirstLightTakesTheRowParameter) {
  EnterCut(kInteriorCut, {1600, 1500, 1600});
  BuildCockpitInterior(cockpit_);
  ASSERT_EQ(cockpit_->targetRefCount, 3u);
  const InstanceRecord* first = Ref(0)->instance;
  const InstanceRecord* spot = Ref(1)->instance;
  const InstanceRecord* third = Ref(2)->instance;
  EXPECT_TRUE(first->flags & kInstLightParamSet);
  EXPECT_EQ(first->lightParam, 5);
  EXPECT_FALSE(first->flags & kInstSpotLight);
  EXPECT_FALSE(first->flags & kInstExtraValueSet);  // w16 -1
  EXPECT_FALSE(first->flags & kInstLightSecondPositive);
  for (const InstanceRecord* later : {spot, third}) {
    EXPECT_FALSE(later->flags & kInstLightParamSet);
    EXPECT_EQ(later->lightParam, 0x20000);  // a new light's own
  }
}

TEST_F(CockpitInterior, CasesWithoutAnInteriorFreeWhatWasBuilt) {
  struct Case {
    std::string name;
    std::function<void(CockpitRecord*, SpaceObject*)> change;
    bool sways;
  };
  const std::vector<Case> kCases = {
      {"no carrying object", [](CockpitRecord* c, SpaceObject*) { c->cockpitRefObject = nullptr; }, false},
      {"outside view", [](CockpitRecord* c, SpaceObject*) { c->viewMode = 0; }, false},
      {"ship type without a cockpit cut",
       [](CockpitRecord*, SpaceObject*) { gObjectTypeTables[kClassShip].rows[kShipSubtype].ship.cut2 = 0; }, false},
      {"a carrier that is no ship", [](CockpitRecord*, SpaceObject* ship) { ship->objClass = kClassDock; }, false},
      {"a cut that does not load", [](CockpitRecord* c, SpaceObject*) { c->interiorCut = 999; }, false},
      {"interior switched off", [](CockpitRecord* c, SpaceObject*) { c->cockpitBodyOn = 0; }, true},
  };
  EnterCut(kInteriorCut, {1500, 2000});
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ship_->objClass = kClassShip;
    gObjectTypeTables[kClassShip].rows[kShipSubtype].ship.cut2 = kInteriorCut;
    cockpit_->cockpitRefObject = ship_;
    cockpit_->viewMode = 1;
    cockpit_->cockpitBodyOn = 1;
    cockpit_->interiorCut = -1;
    BuildCockpitInterior(cockpit_);
    ASSERT_EQ(cockpit_->targetRefCount, 2u);
    const size_t members = ListCount(&cockpit_->scene->members);

    c.change(cockpit_, ship_);
    cockpit_->shakeAngles[0] = 100;
    gSystem->frameStep = 600;  // a sway step puts the angles back to rest
    BuildCockpitInterior(cockpit_);
    gSystem->frameStep = 16;
    EXPECT_EQ(cockpit_->targetRefs, nullptr);
    EXPECT_EQ(cockpit_->targetRefCount, 0u);
    EXPECT_EQ(ListCount(&cockpit_->scene->members), members - 2);
    EXPECT_EQ(cockpit_->shakeAngles[0], c.sways ? 0 : 100);
  }
}

TEST_F(CockpitInterior, ATypeCockpitCutOfZeroShowsNoInteriorAtPositionZero) {
  gObjectTypeTables[kClassShip].rows[kShipSubtype].ship.cut2 = 0;
  EnterCut(kInteriorCut, {2000});
  BuildCockpitInterior(cockpit_);
  EXPECT_EQ(cockpit_->targetRefCount, 0u);
  // A cockpit position with its own cut shows that one.
  cockpit_->interiorCut = kInteriorCut;
  BuildCockpitInterior(cockpit_);
  EXPECT_EQ(cockpit_->targetRefCount, 1u);
}

TEST_F(CockpitInterior, AChangeOfInteriorCutFreesTheSlots) {
  EnterCut(kOtherCut, {2000, 2001});
  cockpit_->interiorCut = kOtherCut;
  BuildCockpitInterior(cockpit_);
  ASSERT_EQ(cockpit_->targetRefCount, 2u);
  // The reference object has no cockpit eye: the camera follows it, and the interior of the
  // other cockpit position goes.
  CameraRecord* camera = B3D_CameraAlloc();
  ASSERT_NE(camera, nullptr);
  cockpit_->sectorCamera = camera;
  cockpit_->refObject = ship_;
  FixedMatrix sway;
  MatrixSetIdentity(&sway);
  PlaceSectorCamera(cockpit_, &sway);
  EXPECT_EQ(cockpit_->interiorCut, -1);
  EXPECT_EQ(cockpit_->targetRefs, nullptr);
  EXPECT_EQ(cockpit_->targetRefCount, 0u);
  // With the interior cut unchanged nothing is freed.
  EnterCut(kInteriorCut, {2000});
  BuildCockpitInterior(cockpit_);
  ASSERT_EQ(cockpit_->targetRefCount, 1u);
  PlaceSectorCamera(cockpit_, &sway);
  EXPECT_EQ(cockpit_->targetRefCount, 1u);
  cockpit_->sectorCamera = nullptr;
  B3D_CameraFree(camera);
}

TEST_F(CockpitInterior, WithoutShadingTheBodiesDrawWithoutOverrides) {
  EnterCut(kInteriorCut, {2000});
  BuildCockpitInterior(cockpit_);
  InstanceRecord* body = Ref(0)->instance;
  ASSERT_NE(body, nullptr);
  InstanceRecord* child = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstAddToInst(child, body));
  for (int32_t shading : {1, 0}) {
    SCOPED_TRACE(shading);
    cockpit_->shading = static_cast<uint32_t>(shading);
    body->overrideEffect = 3;
    body->alphaOverride = 4;
    child->overrideEffect = 5;
    BuildCockpitInterior(cockpit_);
    EXPECT_EQ(body->overrideEffect, shading > 0 ? 3 : 0);
    EXPECT_EQ(body->alphaOverride, shading > 0 ? 4 : 0);
    EXPECT_EQ(child->overrideEffect, shading > 0 ? 5 : 0);
  }
  // A slot that lost its instance gets a new one, without a body.
  CockpitSlot* slot = Ref(0);
  HideSlot(slot);
  FreeInstance(slot->instance);
  slot->instance = nullptr;
  BuildCockpitInterior(cockpit_);
  ASSERT_NE(slot->instance, nullptr);
  EXPECT_EQ(slot->bodyId, -1);
  EXPECT_FALSE(slot->visible);
}

TEST_F(CockpitInterior, SlotHelpersMakeAnInstanceAndStartTheirPath) {
  EnterCut(kInteriorCut, {2000, 2001, 2002});
  CockpitSlot slot;
  CockpitSlotInit(&slot);
  slot.extra = 2;
  slot.visible = 1;
  InstanceRecord* made = EnsureSlotInstance(&slot);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(slot.visible, 0u);
  EXPECT_EQ(slot.bodyId, -1);
  EXPECT_EQ(EnsureSlotInstance(&slot), made);
  StartSlotPath(&slot, kInteriorCut);
  EXPECT_EQ(made->pathNumber, 2);
  EXPECT_EQ(made->cutHandle, static_cast<uint32_t>(kInteriorCut));
  // A missing cut or a path beyond the cut starts nothing.
  made->pathNumber = -7;
  StartSlotPath(&slot, 999);
  slot.extra = 3;
  StartSlotPath(&slot, kInteriorCut);
  EXPECT_EQ(made->pathNumber, -7);
  CockpitSlotDestroy(&slot);
}

// ---------------------------------------------------------------------------------------------
// Cockpit lights.

class CockpitLights : public CockpitInterior {
 protected:
  void TearDown() override {
    for (InstanceRecord* light : sources_) FreeInstance(light);
    CockpitInterior::TearDown();
  }
  InstanceRecord* Source(int32_t x, uint32_t kind) {
    InstanceRecord* light = B3D_LightAlloc();
    light->flags |= kind | kInstLightParamSet | kInstExtraValueSet;
    light->world = {x, 2000, 3000, 0};
    B3D_LightSetColor(light, 11, 22, 33);
    light->lightRange = 4000;
    light->words31[0] = 1;
    light->words31[1] = 2;
    light->words31[2] = 3;
    sources_.push_back(light);
    return light;
  }
  int32_t Linked() {
    int32_t n = 0;
    for (InstanceRecord* light : cockpit_->instances) n += InScene(light, cockpit_->scene) ? 1 : 0;
    return n;
  }
  std::vector<InstanceRecord*> sources_;
};

TEST_F(CockpitLights, ChosenLightsAreCopiedIntoTheShipsFrameAtMostSixteen) {
  std::vector<LightSlot> slots;
  for (int32_t i = 0; i < 20; ++i) {
    Source(1000 * i, kInstPointLight);
    slots.push_back(LightSlot{i, 100, 0});
  }
  InstanceRecord* ship = ship_->instance;
  ship->position = {500, 0, 0, 0};
  MatrixFromAngles(&ship->matrix, 0x4000, 0, 0);
  EXPECT_EQ(CopyChosenLights(cockpit_, ship, slots.data(), 20, sources_.data(), 20), 16);
  EXPECT_EQ(Linked(), 16);

  const InstanceRecord& copy = *cockpit_->instances[3];
  // Each axis of the ship's frame (a row of its matrix) times the way from the ship to the light.
  const int64_t moved[3] = {3000 - 500, 2000, 3000};
  const int32_t* got[3] = {&copy.position.x, &copy.position.y, &copy.position.z};
  for (int row = 0; row < 3; ++row) {
    int64_t want = 0;
    for (int c = 0; c < 3; ++c) want += (ship->matrix.m[row][c] * moved[c] + 0x8000) >> 16;
    EXPECT_EQ(*got[row], want) << row;
  }
  EXPECT_EQ(copy.flags & ~kInstRenderReady, kInstLight | kInstPointLight);
  EXPECT_EQ(copy.lightParam, kCockpitLightParam);
  EXPECT_EQ(copy.bodyId, -1);
  EXPECT_EQ(copy.size, -1);
  EXPECT_EQ(copy.lightColor[0], 11);
  EXPECT_EQ(copy.lightColor[2], 33);
  EXPECT_EQ(copy.lightRange, 4000);
  EXPECT_EQ(copy.words31[1], 2u);

  // The next frame starts by taking them all out again.
  UpdateCockpitLights(cockpit_);
  EXPECT_EQ(Linked(), 0);
}

TEST_F(CockpitLights, EmptySlotsSpotLightsAndBadIndexesAreSkipped) {
  Source(0, kInstLightRankedHigh);
  Source(0, kInstSpotLight);
  Source(0, kInstPointLight);
  const LightSlot slots[] = {{0, 1, 0}, {-1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {7, 1, 0}};
  EXPECT_EQ(CopyChosenLights(cockpit_, ship_->instance, slots, 5, sources_.data(), 3), 2);
  EXPECT_TRUE(InScene(cockpit_->instances[0], cockpit_->scene));
  EXPECT_TRUE(cockpit_->instances[0]->flags & kInstLightRankedHigh);
  EXPECT_FALSE(InScene(cockpit_->instances[1], cockpit_->scene));
  EXPECT_FALSE(InScene(cockpit_->instances[2], cockpit_->scene));  // a spot light
  EXPECT_TRUE(InScene(cockpit_->instances[3], cockpit_->scene));
  EXPECT_FALSE(InScene(cockpit_->instances[4], cockpit_->scene));  // beyond the active list
}

TEST_F(CockpitLights, TheSectorsLightsThatReachTheShipLightTheCockpit) {
  SceneRecord* space = B3D_SceneAlloc();
  ASSERT_NE(space, nullptr);
  static_cast<SectorObject*>(sector_)->sceneA = space;
  cockpit_->sectorSpace = sector_;
  engine_.engine().lightSlotCount = 8;
  InstanceRecord* ship = ship_->instance;
  ship->size = ship->scaledSize = 1000;
  ship->subtreeSize = 1000;
  InstanceRecord* sun = Source(0, kInstLightRankedHigh);
  B3D_LightSetColor(sun, 200, 200, 200);
  AddInstanceToScene(sun, space);
  UpdateCockpitLights(cockpit_);
  EXPECT_EQ(Linked(), 1);
  EXPECT_TRUE(InScene(cockpit_->instances[0], cockpit_->scene));
  // Without a sector the cockpit stays dark.
  cockpit_->sectorSpace = nullptr;
  UpdateCockpitLights(cockpit_);
  EXPECT_EQ(Linked(), 0);
  RemoveInstanceFromScene(sun, space);
  static_cast<SectorObject*>(sector_)->sceneA = nullptr;
  B3D_SceneFree(space);
}
