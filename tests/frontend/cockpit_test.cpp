// Cockpits on a headless scene engine: allocation and freeing through the INS_ dispatcher and its
// fixed answers, the defaults of a new cockpit and of the GUI master, the resume hooks, the
// lookups the simulation makes, the slot operations, the reference slots and forgetting an
// object. Every test ends with the engine's instance, camera and scene tables as they began.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/steering.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/gui_master.h"
#include "render/render_matrices.h"
#include "scene/body_cache.h"
#include "scene/body_text.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/script_fixture.h"

namespace {

constexpr uint32_t kNow = 5000;

int32_t ListCount(ListHead* list) {
  int32_t n = 0;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) ++n;
  return n;
}

bool IsMemberOf(const InstanceRecord* instance, SceneRecord* scene) {
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    if (InstanceOfNode(node) == instance) return true;
  }
  return false;
}

// Stand-ins for space objects: the cockpits only compare their addresses.
SpaceObject* FakeObject(int n) {
  static char objects[8];
  return reinterpret_cast<SpaceObject*>(&objects[n]);
}

class CockpitTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    system_ = SystemBlock{};
    system_.gameTime = kNow;
    gSystem = &system_;
    handles_ = HashCount(engine().handleTable);
    scenes_ = HashCount(engine().sceneTable);
    freeInstances_ = ListCount(&engine().instances);
    gGuiMaster = InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster))));
    ASSERT_NE(gGuiMaster, nullptr);
    // Binding loads the body: the bodies the slots show are in the cache already.
    for (const int32_t id : {5, 6, 8, static_cast<int32_t>(kCameraMessageBody)}) BodyLinkAndCache(NewBodyRecord(id));
  }

  void TearDown() override {
    if (gGuiMaster) {
      FreeAllCockpits(gGuiMaster);
      MemFreeIfSet(gGuiMaster);
      gGuiMaster = nullptr;
    }
    EXPECT_EQ(HashCount(engine().handleTable), handles_);
    EXPECT_EQ(HashCount(engine().sceneTable), scenes_);
    EXPECT_EQ(ListCount(&engine().instances), freeInstances_);
    EXPECT_EQ(ListCount(&engine().scenes), 0);
    FreeEveryLoadedBody();
    gSystem = nullptr;
    gScreenAimX = gScreenAimY = -1;
    ScriptEngineTest::TearDown();
  }

  EngineState3D& engine() { return fixture_.engine(); }

  // One call through the dispatcher with integer arguments; the integer it answers, or -999
  // when it left the task without an answer.
  int32_t Call(int32_t function, const std::vector<int32_t>& args = {}) {
    std::vector<ScriptValue> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) SetValueInt(&values[i], args[i]);
    ScriptTask task{};
    task.state = kTaskNew;
    EXPECT_EQ(DispatchINSNative(0, &task, function, static_cast<int32_t>(values.size()), values.data()), 1);
    if (!task.hasResult) return -999;
    return task.result.i;
  }

  CockpitRecord* New() {
    const uint32_t handle = CockpitAlloc(gGuiMaster);
    return CockpitFromHandle(gGuiMaster, handle);
  }

  EngineFixture fixture_;
  SystemBlock system_{};
  uint32_t handles_ = 0, scenes_ = 0;
  int32_t freeInstances_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The dispatcher.

TEST_F(CockpitTest, AllocationsAnswerHandlesFromTwoAndASecondFreeAnswersZero) {
  EXPECT_EQ(Call(0), 2);
  EXPECT_EQ(Call(0), 3);
  EXPECT_EQ(Call(0), 4);
  EXPECT_EQ(HashCount(gGuiMaster->cockpits), 3u);
  EXPECT_EQ(Call(1, {3}), 0);
  EXPECT_EQ(CockpitFromHandle(gGuiMaster, 3), nullptr);
  EXPECT_EQ(Call(1, {3}), 0);
  EXPECT_EQ(Call(1, {99}), 0);
  EXPECT_EQ(Call(1), 0);  // no handle at all
  EXPECT_EQ(HashCount(gGuiMaster->cockpits), 2u);
  // Keys are not handed out again.
  EXPECT_EQ(Call(0), 5);
}

TEST_F(CockpitTest, FixedAnswersAndUnknownHandlesAnswerAtOnce) {
  Call(0);
  struct Case {
    int32_t function;
    std::vector<int32_t> args;
    int32_t answer;
  };
  const Case kCases[] = {
      {73, {}, 0},             // INS_AutoDoc: a task without an answer would wait for ever
      {74, {2, 1}, 0},         // INS_DisplayCameraMessage
      {76, {2}, 0},            // INS_SetExternalView
      {111, {2}, 0},           // past the last name
      {4000, {}, 0},           //
      {-1, {}, 0},             //
      {28, {99}, -1},          // the monitor getter of an unknown handle
      {28, {}, -1},            // missing arguments read as 0, which names no cockpit
      {28, {2}, -1},           // a new cockpit's monitor
      {26, {99}, 0},           // other getters answer 0
      {25, {99, 7}, 0},        //
      {40, {2, 5, 5, 1}, 0},   // no carrying object: no aim
      {100, {2, 1, 1, 9}, 0},  // no sector camera: nothing to project through
      {104, {2, 1, 2}, 0},     // natives not built yet answer 0
  };
  for (const Case& c : kCases) EXPECT_EQ(Call(c.function, c.args), c.answer) << "function " << c.function;
}

TEST_F(CockpitTest, WithoutAGuiMasterNothingIsAllocatedAndEveryCallAnswers) {
  FreeAllCockpits(gGuiMaster);
  MemFreeIfSet(gGuiMaster);
  gGuiMaster = nullptr;
  EXPECT_EQ(Call(0), 0);
  EXPECT_EQ(Call(1, {2}), 0);
  EXPECT_EQ(Call(28, {2}), -1);
  EXPECT_EQ(Call(25, {2, 4}), 0);
}

TEST_F(CockpitTest, NegativeCockpitNumbersAreStoredAsZero) {
  Call(0);
  struct Case {
    int32_t number;
    int32_t stored;
  };
  const Case kCases[] = {{-3, 0}, {4, 4}, {INT32_MIN, 0}, {0, 0}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Call(25, {2, c.number}), 0);
    EXPECT_EQ(Call(26, {2}), c.stored) << c.number;
  }
  Call(27, {2, 3});
  EXPECT_EQ(Call(28, {2}), 3);
  // A missing number reads as 0; nothing past the arguments given is read.
  Call(25, {2, 9});
  Call(25, {2});
  EXPECT_EQ(Call(26, {2}), 0);
  Call(27, {2});
  EXPECT_EQ(Call(28, {2}), 0);
}

TEST_F(CockpitTest, FreeingAllCockpitsLeavesTheEngineTablesAsBeforeTheFirstAllocation) {
  for (int i = 0; i < 3; ++i) ASSERT_NE(New(), nullptr);
  CockpitRecord* c = CockpitFromHandle(gGuiMaster, 2);
  EXPECT_GT(HashCount(engine().handleTable), handles_);
  EXPECT_EQ(HashCount(engine().sceneTable), scenes_ + 6);  // cockpit and tooltip scenes
  // Shown marks of every kind: the grid and a target body in the cockpit scene, an element and
  // a reference slot, and two overlay icons in the overlay's own scene.
  c->gridOn = 1;
  AttachSlot(c->scene, &c->grid, kGridBody);
  AttachSlot(c->scene, &c->overlay.slots[3], 394);
  AttachSlot(c->scene, &c->elements.slots[1], 12);
  ASSERT_TRUE(AllocSlotRefs(c, 2));
  c->targetRefs[1] = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
  CockpitSlotBuild(c->targetRefs[1], 17, 0);
  AttachSlot(c->scene, c->targetRefs[1], 17);
  auto* list = static_cast<OverlayIconList*>(MemCalloc(sizeof(OverlayIconList)));
  list->cockpit = c;
  list->scene = B3D_SceneAlloc();
  list->begin = static_cast<OverlayIcon**>(MemCalloc(sizeof(OverlayIcon*) * 2));
  list->end = list->capacity = list->begin + 2;
  for (int i = 0; i < 2; ++i) {
    list->begin[i] = OverlayIconCreate();
    AttachSlot(list->scene, &list->begin[i]->large[0], 9);
  }
  list->used = 2;
  c->overlay.icons = list;
  SetValueString(&gGuiMaster->moduleResult, "answer");

  FreeAllCockpits(gGuiMaster);
  EXPECT_EQ(gGuiMaster->cockpits, nullptr);
  EXPECT_EQ(gGuiMaster->moduleResult.type, kValueNone);
  EXPECT_EQ(HashCount(engine().handleTable), handles_);
  EXPECT_EQ(HashCount(engine().sceneTable), scenes_);
  EXPECT_EQ(ListCount(&engine().instances), freeInstances_);
  // A second call finds nothing left to free.
  FreeAllCockpits(gGuiMaster);
}

TEST_F(CockpitTest, FreeingOneCockpitLeavesTheOthersWhole) {
  New();
  CockpitRecord* second = New();
  const uint32_t withTwo = HashCount(engine().handleTable);
  New();
  EXPECT_EQ(Call(1, {4}), 0);
  EXPECT_EQ(HashCount(engine().handleTable), withTwo);
  EXPECT_EQ(CockpitFromHandle(gGuiMaster, 3), second);
  EXPECT_NE(second->scene, nullptr);
}

TEST_F(CockpitTest, AFreedCockpitIsForgottenByTheTurretSteering) {
  CockpitRecord* first = New();
  CockpitRecord* second = New();
  gSteering.turret[0].cockpit = first;
  gSteering.turret[1].cockpit = second;
  EXPECT_EQ(Call(1, {int32_t(first->handle)}), 0);
  EXPECT_EQ(gSteering.turret[0].cockpit, nullptr);
  EXPECT_EQ(gSteering.turret[1].cockpit, second);
  ResetSteeringState();
}

// ---------------------------------------------------------------------------------------------
// Defaults.

TEST_F(CockpitTest, ANewCockpitTakesItsDefaults) {
  gGuiMaster->focus = 12000;
  CockpitRecord* c = New();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->handle, 2u);
  EXPECT_EQ(c->monitorNumber, -1);
  EXPECT_EQ(c->cinematicLoopTime, 15000u);
  EXPECT_EQ(c->trackFlag, 1u);
  EXPECT_EQ(c->radarMode, 1u);
  EXPECT_EQ(c->radarRange, 10000000);
  EXPECT_EQ(c->radarTarget, 10000000);
  EXPECT_EQ(c->currentMissile, 0xFFFF);
  EXPECT_EQ(c->fieldOfView, 12000u);
  EXPECT_EQ(c->draw2D, 1u);
  EXPECT_EQ(c->zoomFactor, 0x10000);
  EXPECT_EQ(c->shakeUntil, kNow);
  EXPECT_EQ(c->shake2Until, kNow);
  EXPECT_EQ(c->viewAngleAccel, 0x10000);
  FixedMatrix identity{};
  MatrixFromAngles(&identity, 0, 0, 0);
  EXPECT_EQ(std::memcmp(&c->viewMatrix, &identity, sizeof identity), 0);
  EXPECT_EQ(c->overlay.enabled, 1u);
  EXPECT_EQ(c->overlay.leadX, -1);
  EXPECT_EQ(c->overlay.leadY, -1);
  EXPECT_EQ(c->overlay.icons, nullptr);
  EXPECT_EQ(c->cockpitNumber, 0);
  EXPECT_EQ(c->trackMode, kTrackNone);
  // The scenes.
  ASSERT_NE(c->scene, nullptr);
  EXPECT_STREQ(c->scene->name, "Cockpit Scene");
  ASSERT_NE(c->camera, nullptr);
  EXPECT_EQ(c->camera->instance.scene, c->scene);
  ASSERT_NE(c->tooltip.scene, nullptr);
  EXPECT_STREQ(c->tooltip.scene->name, "Tooltip Scene");
  // Every sub-record points back at the cockpit.
  for (CockpitRecord* back : {c->radar.cockpit, c->cameraMessage.cockpit, c->overlay.cockpit, c->elements.cockpit,
                              c->messages.cockpit, c->navMap.cockpit, c->tooltip.cockpit}) {
    EXPECT_EQ(back, c);
  }
}

TEST_F(CockpitTest, ANewCockpitsSlotsHaveTheirBodiesAndInstances) {
  CockpitRecord* c = New();
  struct Case {
    const CockpitSlot* slot;
    int32_t body;
    uint32_t extra;
    bool instance;
  };
  const Case kCases[] = {
      {&c->grid, 481, 0, true},
      {&c->cameraMessage.slot, 260, 0, true},
      {&c->radar.slots[0], 481, 2, true},
      {&c->radar.slots[1], 705, 3, true},
      {&c->radar.slots[2], 49, 5, true},
      {&c->radar.slots[3], 49, 6, true},
      {&c->radar.slots[4], 456, 7, true},
      {&c->radar.slots[5], 113, 8, true},
      {&c->elements.slots[3], -1, 0, false},
      {&c->messages.slots[0], -1, 0, false},
      {&c->navMap.slots[2], -1, 0, false},
  };
  for (const Case& k : kCases) {
    const size_t at = &k - kCases;
    EXPECT_EQ(k.slot->bodyId, k.body) << at;
    EXPECT_EQ(k.slot->extra, k.extra) << at;
    EXPECT_EQ(k.slot->instance != nullptr, k.instance) << at;
    EXPECT_EQ(k.slot->visible, 0u) << at;
    if (k.instance) {
      EXPECT_EQ(k.slot->instance->scene, nullptr) << at;
    }
  }
  for (int i = 0; i < kRadarSlotCount; ++i) EXPECT_EQ(c->radar.refs[i], &c->radar.slots[i]);
  for (const CockpitSlot& slot : c->overlay.slots) {
    ASSERT_NE(slot.instance, nullptr);
    EXPECT_EQ(slot.instance->flags & kOverlaySlotFlags, kOverlaySlotFlags);
    EXPECT_EQ(slot.bodyId, -1);
  }
}

TEST_F(CockpitTest, TheGuiMasterStartsWithItsDefaults) {
  auto* master = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
  // The record comes uninitialised; nothing of it may survive set-up.
  std::memset(master, 0xA5, sizeof(GuiMaster));
  ASSERT_EQ(InitGuiMaster(master), master);
  EXPECT_EQ(master->focus, 16384u);
  EXPECT_EQ(master->drawRadar, 1);
  EXPECT_EQ(master->overlayBrackets, 0);
  EXPECT_EQ(master->unitDisplay, 0);
  EXPECT_EQ(master->timeWarpFactor, 0);
  EXPECT_EQ(master->activeControlCockpit, 0u);
  EXPECT_EQ(master->alertLevel, 0);
  EXPECT_EQ(master->alertPending, 0);
  EXPECT_EQ(master->alertFlags, 0u);
  EXPECT_EQ(master->sidebarInstance, nullptr);
  EXPECT_EQ(master->moduleResult.type, kValueNone);
  EXPECT_EQ(master->font, -1);  // no font can be made yet
  ASSERT_NE(master->cockpits, nullptr);
  EXPECT_EQ(HashCount(master->cockpits), 0u);
  for (int i = 0; i < kMenuBodyCount; ++i) EXPECT_EQ(master->menuBodies[i], 0) << kMenuBodyNames[i];
  for (const IconTypeRow& row : master->iconTypes) {
    EXPECT_EQ(row.subtypeIcons, nullptr);
    EXPECT_EQ(row.secondIcons, nullptr);
    for (int32_t icon : row.icons) {
      EXPECT_EQ(icon, 0);
    }
  }
  FreeAllCockpits(master);
  MemFreeIfSet(master);
}

TEST_F(CockpitTest, MenuBodiesAreLookedUpByNameInTheirOrder) {
  ASSERT_TRUE(AllocBodyDataTable());
  SetBodyDataName(5, "effects/menugfx/docked");
  SetBodyDataName(7, "effects/menugfx/GUI/gui_master");
  auto* master = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
  InitGuiMaster(master);
  EXPECT_EQ(master->menuBodies[0], 7);
  EXPECT_EQ(master->menuBodies[4], 5);
  FreeAllCockpits(master);
  MemFreeIfSet(master);
  FreeBodyDataTable();
}

// ---------------------------------------------------------------------------------------------
// The resume hooks.

TEST_F(CockpitTest, TheIntegerHookReplacesACountedAnswerAndTheValueHookCopies) {
  InitCockpitModule();
  ASSERT_GT(gCockpitModule, 0);
  EXPECT_EQ(gScriptEngine->modules[gCockpitModule].names, kINSNativeNames);
  EXPECT_EQ(gScriptEngine->modules[gCockpitModule].resumeString, nullptr);

  // The engine calls the hooks only while a script is loaded; the row's own hooks are called here.
  const NativeModuleRow& row = gScriptEngine->modules[gCockpitModule];
  SetValueString(&gGuiMaster->moduleResult, "old answer");
  row.resumeInt(0, 42);
  EXPECT_EQ(gGuiMaster->moduleHookFlag, 1);
  EXPECT_EQ(gGuiMaster->moduleResult.type, kValueInt);
  EXPECT_EQ(gGuiMaster->moduleResult.i, 42);

  gGuiMaster->moduleHookFlag = 0;
  ScriptValue text{};
  SetValueString(&text, "new answer");
  row.resumeValue(0, &text);
  ReleaseValue(&text);  // the master keeps its own reference
  EXPECT_EQ(gGuiMaster->moduleHookFlag, 1);
  EXPECT_STREQ(GetValueString(&gGuiMaster->moduleResult), "new answer");
  // The string's last reference goes with FreeAllCockpits; the fixture checks the pools.
}

TEST_F(CockpitTest, TheModuleListsAllHundredAndElevenNames) {
  int n = 0;
  while (kINSNativeNames[n]) ++n;
  EXPECT_EQ(n, 111);
  EXPECT_STREQ(kINSNativeNames[25], "INS_CockpitSetCockpitNumber");
  EXPECT_STREQ(kINSNativeNames[73], "INS_AutoDoc");
  EXPECT_STREQ(kINSNativeNames[110], "INS_SetSidebarInstance");
}

// ---------------------------------------------------------------------------------------------
// The simulation's queries.

TEST_F(CockpitTest, FindingByRefObjectTakesMonitorZeroInKeyOrder) {
  CockpitRecord* c2 = New();
  CockpitRecord* c3 = New();
  CockpitRecord* c4 = New();
  c2->monitorNumber = 1;
  c3->monitorNumber = 0;
  c4->monitorNumber = 0;
  for (CockpitRecord* c : {c2, c3, c4}) c->cockpitRefObject = FakeObject(1);
  EXPECT_EQ(CockpitFindByRefObject(FakeObject(1)), c3);
  c3->monitorNumber = -1;
  EXPECT_EQ(CockpitFindByRefObject(FakeObject(1)), c4);
  EXPECT_EQ(CockpitFindByRefObject(FakeObject(2)), nullptr);
  c4->refObject = FakeObject(2);  // only the carrying object counts
  EXPECT_EQ(CockpitFindByRefObject(FakeObject(2)), nullptr);
}

TEST_F(CockpitTest, PercentDisplayIsClampedAndStoredOnlyInTheCockpitView) {
  CockpitRecord* inside = New();
  CockpitRecord* outside = New();
  CockpitRecord* other = New();
  inside->cockpitRefObject = outside->cockpitRefObject = FakeObject(1);
  other->cockpitRefObject = FakeObject(2);
  inside->viewMode = other->viewMode = 1;
  outside->viewMode = 2;
  struct Case {
    int32_t value;
    int32_t stored;
  };
  const Case kCases[] = {{150, 100}, {-5, 0}, {42, 42}, {100, 100}, {0, 0}};
  for (const Case& c : kCases) {
    system_.gameTime = kNow + static_cast<uint32_t>(c.value & 0xFF);
    CockpitSetPercentDisplay(c.value, FakeObject(1));
    EXPECT_EQ(inside->percentDisplay, c.stored) << c.value;
    EXPECT_EQ(inside->percentExpiry, system_.gameTime + 1000) << c.value;
  }
  EXPECT_EQ(outside->percentExpiry, 0u);
  EXPECT_EQ(other->percentExpiry, 0u);
}

TEST_F(CockpitTest, TheAimPointIsInTheOverlayWithinSeventeenPixels) {
  CockpitRecord* c = New();
  DeviceViewport view{100, 40, 200, 100, 0.0f, 1.0f};  // centre (200, 90)
  struct Case {
    int32_t aimX, aimY;
    bool viewport;
    int32_t leadX, leadY;
    bool inside;
  };
  const Case kCases[] = {
      {-1, -1, false, 17, 0, true},     {-1, -1, false, 18, 0, false},  {-1, 5, false, 0, -17, true},
      {-1, -1, false, -18, 3, false},   {-1, -1, false, 17, 17, true},  {100, 50, false, 117, 33, true},
      {100, 50, false, 118, 50, false}, {210, 100, true, 27, 10, true}, {210, 100, true, 28, 10, false},
      {210, 100, true, 10, -8, false},
  };
  for (const Case& k : kCases) {
    gScreenAimX = k.aimX;
    gScreenAimY = k.aimY;
    c->camera->viewport = k.viewport ? &view : nullptr;
    c->overlay.leadX = k.leadX;
    c->overlay.leadY = k.leadY;
    EXPECT_EQ(CockpitPointInOverlay(c), k.inside) << (&k - kCases);
  }
  c->camera->viewport = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Slots.

class SlotTest : public CockpitTest {
 protected:
  void SetUp() override {
    CockpitTest::SetUp();
    scene_ = B3D_SceneAlloc();
  }
  void TearDown() override {
    for (CockpitSlot& slot : slots_) {
      HideSlot(&slot);
      CockpitSlotDestroy(&slot);
    }
    B3D_SceneFree(scene_);
    CockpitTest::TearDown();
  }
  CockpitSlot* Fresh(int i) {
    CockpitSlotInit(&slots_[i]);
    return &slots_[i];
  }
  SceneRecord* scene_ = nullptr;
  CockpitSlot slots_[3]{};
};

TEST_F(SlotTest, AttachingTheSameVisibleBodyAgainDoesOnlyTheVariantStep) {
  CockpitSlot* slot = Fresh(0);
  AttachSlotSized(scene_, slot, 5, 100 << 16);
  ASSERT_NE(slot->instance, nullptr);
  InstanceRecord* instance = slot->instance;
  EXPECT_EQ(instance->bodyId, 5);
  EXPECT_EQ(ListCount(&scene_->members), 1);
  instance->bodyId = 77;  // a rebind would show
  AttachSlotSized(scene_, slot, 5, 200 << 16);
  EXPECT_EQ(slot->instance, instance);
  EXPECT_EQ(instance->bodyId, 77);
  EXPECT_EQ(instance->size, 200 << 16);
  EXPECT_EQ(ListCount(&scene_->members), 1);
  AttachSlotSized(scene_, slot, 5, -1);  // no size change
  EXPECT_EQ(instance->size, 200 << 16);
}

TEST_F(SlotTest, AnotherBodyIsBoundAndANegativeOneRelinksWithoutBinding) {
  CockpitSlot* slot = Fresh(0);
  AttachSlot(scene_, slot, 5);
  AttachSlot(scene_, slot, 6);
  EXPECT_EQ(slot->instance->bodyId, 6);
  EXPECT_EQ(slot->bodyId, 6);
  EXPECT_TRUE(IsMemberOf(slot->instance, scene_));
  AttachSlot(scene_, slot, -2);
  EXPECT_EQ(slot->instance->bodyId, 6);
  EXPECT_EQ(slot->bodyId, -2);
  EXPECT_EQ(ListCount(&scene_->members), 1);
  EXPECT_EQ(slot->visible, 1u);
}

TEST_F(SlotTest, BodyMinusOneOnAFreshSlotMakesALightAndBindsNothing) {
  CockpitSlot* slot = Fresh(0);
  AttachSlot(scene_, slot, -1);
  ASSERT_NE(slot->instance, nullptr);
  EXPECT_NE(slot->instance->flags & kInstLight, 0u);
  EXPECT_EQ(slot->instance->bodyId, -1);
  EXPECT_TRUE(IsMemberOf(slot->instance, scene_));
  CockpitSlot* other = Fresh(1);
  AttachSlot(scene_, other, 8);
  EXPECT_EQ(other->instance->flags & kInstLight, 0u);
  EXPECT_EQ(other->instance->bodyId, 8);
}

TEST_F(SlotTest, HidingTwiceUnlinksOnce) {
  CockpitSlot* slot = Fresh(0);
  AttachSlot(scene_, slot, 5);
  const int32_t loose = ListCount(&engine().instances);
  HideSlot(slot);
  EXPECT_EQ(slot->visible, 0u);
  EXPECT_EQ(ListCount(&scene_->members), 0);
  EXPECT_EQ(slot->instance->scene, nullptr);
  EXPECT_EQ(ListCount(&engine().instances), loose + 1);
  HideSlot(slot);
  EXPECT_EQ(ListCount(&engine().instances), loose + 1);
  // Shown again, it is linked once more.
  ReattachSlot(scene_, slot);
  EXPECT_TRUE(IsMemberOf(slot->instance, scene_));
  EXPECT_EQ(ListCount(&engine().instances), loose);
}

TEST_F(SlotTest, AnIconMarkSitsAtItsScreenPointWithTheScreenFlag) {
  CockpitSlot* slot = Fresh(0);
  ShowSlotIcon(386, 400, slot, scene_, 120, -40);
  ASSERT_NE(slot->instance, nullptr);
  EXPECT_EQ(slot->instance->position.x, 120);
  EXPECT_EQ(slot->instance->position.y, -40);
  EXPECT_EQ(slot->instance->position.z, 0);
  EXPECT_NE(slot->instance->flags2 & kSlotScreenMark, 0u);
  EXPECT_EQ(slot->bodyId, 400);
}

TEST_F(CockpitTest, TheCameraMessageIsShownAtItsPlaceOnlyWhileShown) {
  CockpitRecord* c = New();
  CameraMessage* message = &c->cameraMessage;
  message->shown = 1;
  UpdateCameraMessageSlot(message);
  InstanceRecord* instance = message->slot.instance;
  EXPECT_TRUE(IsMemberOf(instance, c->scene));
  EXPECT_EQ(instance->bodyId, kCameraMessageBody);
  EXPECT_EQ(instance->position.z, 300);
  EXPECT_EQ(instance->size, 300);
  message->shown = 0;
  UpdateCameraMessageSlot(message);
  EXPECT_FALSE(IsMemberOf(instance, c->scene));
  EXPECT_EQ(message->slot.visible, 0u);
}

// ---------------------------------------------------------------------------------------------
// Reference slots.

TEST_F(CockpitTest, FreeingTheReferenceSlotsTakesTwentyBytesAnEntryOffTheCounters) {
  CockpitRecord* c = New();
  const uint32_t before = gMemCounters.currentBytes;
  const uint32_t beforeCategory = gMemCounters.categoryBytes[kMemCatDefault];
  ASSERT_TRUE(AllocSlotRefs(c, 3));
  EXPECT_EQ(gMemCounters.currentBytes - before, 60u);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatDefault] - beforeCategory, 60u);
  for (uint32_t i : {0u, 2u}) {
    c->targetRefs[i] = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
    CockpitSlotBuild(c->targetRefs[i], 30 + static_cast<int32_t>(i), 0);
  }
  AttachSlot(c->scene, c->targetRefs[2], 32);
  FreeSlotRefs(c);
  EXPECT_EQ(gMemCounters.currentBytes, before);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatDefault], beforeCategory);
  EXPECT_EQ(c->targetRefs, nullptr);
  EXPECT_EQ(c->targetRefCount, 0u);
  FreeSlotRefs(c);  // an empty list changes nothing
  EXPECT_EQ(gMemCounters.currentBytes, before);
}

TEST_F(CockpitTest, ACockpitFreedWithReferenceSlotsGivesThemBack) {
  // What one cockpit's life leaves on the counters, without and with two reference entries (one
  // holding a slot): the same, so the entries and their charge went with the cockpit.
  auto lifeCost = [&](bool withRefs) {
    const uint32_t before = gMemCounters.currentBytes;
    CockpitRecord* c = New();
    if (withRefs) {
      EXPECT_TRUE(AllocSlotRefs(c, 2));
      c->targetRefs[0] = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
      CockpitSlotBuild(c->targetRefs[0], 30, 0);
    }
    EXPECT_EQ(Call(1, {static_cast<int32_t>(c->handle)}), 0);
    return gMemCounters.currentBytes - before;
  };
  lifeCost(false);  // the first life also makes the tables' buckets, which stay
  const uint32_t plain = lifeCost(false);
  EXPECT_EQ(lifeCost(true), plain);
}

// ---------------------------------------------------------------------------------------------
// Forgetting an object.

class ForgetTest : public CockpitTest {
 protected:
  // An icon list of five icons, the first four in use for objects 1, 2, 3, 4, each with a shown
  // slot in the list's scene.
  OverlayIconList* GiveIcons(CockpitRecord* c) {
    auto* list = static_cast<OverlayIconList*>(MemCalloc(sizeof(OverlayIconList)));
    list->cockpit = c;
    list->scene = B3D_SceneAlloc();
    list->begin = static_cast<OverlayIcon**>(MemCalloc(sizeof(OverlayIcon*) * 5));
    list->end = list->capacity = list->begin + 5;
    for (int i = 0; i < 5; ++i) {
      list->begin[i] = OverlayIconCreate();
      list->begin[i]->object = FakeObject(i + 1);
      AttachSlot(list->scene, &list->begin[i]->small[1], 50 + i);
      AttachSlot(list->scene, &list->begin[i]->large[7], 60 + i);
    }
    list->used = 4;
    c->overlay.icons = list;
    return list;
  }
};

TEST_F(ForgetTest, EveryReferenceToTheObjectIsCleared) {
  CockpitRecord* c = New();
  SpaceObject** refs[] = {&c->refObject,   &c->cockpitRefObject,    &c->enemyObject,   &c->trackObject,
                          &c->currentSectorObject, &c->refViewObject, &c->sectorSpace};
  for (SpaceObject** ref : refs) *ref = FakeObject(1);
  c->refObject = FakeObject(2);
  CockpitForgetObject(c, FakeObject(1));
  for (SpaceObject** ref : refs) {
    EXPECT_EQ(*ref, ref == &c->refObject ? FakeObject(2) : nullptr);
  }
}

TEST_F(ForgetTest, TheObjectsIconMovesBehindTheIconsInUseAndIsHidden) {
  CockpitRecord* c = New();
  OverlayIconList* list = GiveIcons(c);
  OverlayIcon* icons[5];
  std::memcpy(icons, list->begin, sizeof icons);
  CockpitForgetObject(c, FakeObject(2));
  EXPECT_EQ(list->used, 3);
  const OverlayIcon* expected[5] = {icons[0], icons[2], icons[3], icons[1], icons[4]};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list->begin[i], expected[i]) << i;
  EXPECT_EQ(icons[1]->small[1].visible, 0u);
  EXPECT_EQ(icons[1]->large[7].visible, 0u);
  EXPECT_FALSE(IsMemberOf(icons[1]->small[1].instance, list->scene));
  EXPECT_EQ(icons[2]->small[1].visible, 1u);
  // An object no icon in use shows leaves the list as it is, also the spare icon's object.
  CockpitForgetObject(c, FakeObject(5));
  EXPECT_EQ(list->used, 3);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list->begin[i], expected[i]) << i;
}

TEST_F(ForgetTest, EveryCockpitForgetsButNothingHappensWithoutAGuiMaster) {
  CockpitRecord* a = New();
  CockpitRecord* b = New();
  a->trackObject = b->refViewObject = FakeObject(3);
  GuiMaster* master = gGuiMaster;
  gGuiMaster = nullptr;
  CockpitsForgetObject(FakeObject(3));
  EXPECT_EQ(a->trackObject, FakeObject(3));
  gGuiMaster = master;
  CockpitsForgetObject(FakeObject(3));
  EXPECT_EQ(a->trackObject, nullptr);
  EXPECT_EQ(b->refViewObject, nullptr);
}

}  // namespace
