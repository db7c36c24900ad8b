// The engine's lifecycle over an empty game folder, the body cache over tiny text bodies written
// here, and scene membership and the instance tree: where instances live, render data that
// follows enabled scenes, freeing with every link cleared, and the refused cycle.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/heap.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "scene/camera_records.h"
#include "scene/body_cache.h"
#include "scene/body_text.h"
#include "scene/effect_registry.h"
#include "scene/engine_lifecycle.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/takes_jobs.h"
#include "script/engine.h"
#include "support/catalog_world.h"
#include "support/fake_effect.h"

namespace {

constexpr const char* kTinyBody = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -99; 0; -99; 0;";
constexpr const char* kNoPartsBody = "BODIES: 1;\nPOINTS: -1;-1;-1;\nPARTS: -99; 0;";

void ReturningFatal(uint32_t code, const char* file) { ADD_FAILURE() << "body reader ended " << code << " " << file; }

class SceneCore : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBodyReaderFatal(ReturningFatal);
    startBytes_ = gMemCounters.currentBytes;
    ASSERT_NE(InitEngine3D(), nullptr);
  }
  void TearDown() override {
    ExitEngine3D();
    EXPECT_EQ(gEngine3D, nullptr);
    EXPECT_EQ(gMemCounters.currentBytes, startBytes_);
    SetBodyReaderFatal(nullptr);
  }
  void WriteBody(int id, const char* text) {
    char name[32];
    std::snprintf(name, sizeof name, "objects/v/%05d.pbd", id);  // the product's body folder format
    world_.WriteLoose(name, text);
  }
  EngineState3D& e() { return *gEngine3D; }

  CatalogWorld world_{3};
  uint64_t startBytes_ = 0;
};

int32_t Count(ListHead* list) {
  int32_t n = 0;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) ++n;
  return n;
}

TEST_F(SceneCore, StartUpMakesTheWholeStateAndResetTwiceLeavesTheSameEmptyEngine) {
  EXPECT_EQ(ParticlePoolCount(), kParticlePoolSize);
  EXPECT_EQ(EnginePoolsReserved(), kEnginePoolCount);
  EXPECT_EQ(e().shadowAlpha, 200);
  EXPECT_EQ(e().gammaValue, 127);
  EXPECT_EQ(e().bodyDataFixedRows + kNameTableBlock, 12000);

  SceneRecord* scene = B3D_SceneAlloc();
  B3D_SceneEnable(scene);
  InstanceRecord* member = B3D_InstAlloc();
  AddInstanceToScene(member, scene);
  B3D_InstAddToInst(B3D_InstAlloc(), member);
  B3D_InstAlloc();  // loose
  e().shadowAlpha = 7;
  ResetEngine3D();
  const uint64_t afterFirst = gMemCounters.currentBytes;
  ResetEngine3D();
  EXPECT_EQ(gMemCounters.currentBytes, afterFirst);  // the second reset frees nothing
  EXPECT_EQ(Count(&e().scenes), 0);
  EXPECT_EQ(Count(&e().instances), 0);
  EXPECT_EQ(HashCount(e().handleTable), 0u);
  EXPECT_NE(e().bodyDataRows, nullptr);
  EXPECT_EQ(e().shadowAlpha, 200);
  EXPECT_EQ(ParticlePoolCount(), kParticlePoolSize);
}

TEST_F(SceneCore, ExitWithoutAnEngineDoesNothingAndAfterLoadedBodiesGivesEverythingBack) {
  WriteBody(7, kTinyBody);
  ASSERT_NE(LoadBody(7), nullptr);
  InstanceRecord* instance = B3D_InstAlloc();
  EXPECT_TRUE(B3D_InstSetBody(instance, 7));
  ExitEngine3D();
  ExitEngine3D();  // no engine: nothing happens
  EXPECT_EQ(gMemCounters.currentBytes, startBytes_);
  ASSERT_NE(InitEngine3D(), nullptr);
}

// A device reset reaches the effects and, with an environment map, has the map drawn anew.
TEST_F(SceneCore, DeviceResetResetsTheEffectsAndRedrawsAnEnvironmentMap) {
  std::vector<std::string> calls;
  FakeEffect effect("e", &calls);
  EffectObject object{{&effect, nullptr}, nullptr};
  RegisterEffect("lit")->effect = &object;
  DeviceRecord record{};
  Direct3DContext context{};
  context.device = &record;
  Direct3DContext* saved = gDirect3D;
  gDirect3D = &context;
  for (uint8_t environmentMap : {0, 1}) {
    record.environmentMap = environmentMap;
    e().engineFlags |= kEngineEnvRefreshed;
    SceneOnDeviceReset();
    EXPECT_EQ((e().engineFlags & kEngineEnvRefreshed) != 0, environmentMap == 0);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"e: reset", "e: reset"}));
  gDirect3D = saved;
  FindEffectByName("lit")->effect = nullptr;  // the object is the test's own
}

TEST_F(SceneCore, AFailedParticleAllocationLeavesThePoolOneShort) {
  FreeParticlePools();
  EXPECT_EQ(ParticlePoolCount(), 0);
  OsFailNextHeapRequests(4);  // both tries of the first record, each with the allocator's retry
  FillParticlePool(&e());
  EXPECT_EQ(OsPendingHeapFailures(), 0);
  EXPECT_EQ(ParticlePoolCount(), kParticlePoolSize - 1);
}

TEST_F(SceneCore, FreeAllInstancesForLoadFreesOnlyRestoredInstancesNothingLinked) {
  struct Case {
    uint32_t flags2;
    bool kept;
  };
  const Case kCases[] = {{0x100 | 0x80, true}, {0x100, false}, {0, true}};
  for (const Case& c : kCases) {
    InstanceRecord* instance = B3D_InstAlloc();
    InstanceRecord* child = B3D_InstAlloc();
    B3D_InstAddToInst(child, instance);
    instance->flags2 = c.flags2;
    const uint32_t handle = instance->handle;
    const uint32_t childHandle = child->handle;
    FreeAllInstancesForLoad();
    EXPECT_EQ(GetInstanceByHandle(handle) != nullptr, c.kept) << c.flags2;
    EXPECT_EQ(GetInstanceByHandle(childHandle) != nullptr, c.kept) << c.flags2;
    if (c.kept) {
      EXPECT_EQ(instance->flags2 & 0x180u, 0u);
      FreeInstance(instance);
    }
  }
}

TEST_F(SceneCore, BodyIdsMapToRowsAndMissingBodiesAreLookedForOnce) {
  struct Case {
    int32_t id;
    int32_t row;
  };
  const Case kCases[] = {{5, 5},         {999, 999},     {1000, -1},      {8999, -1},
                         {9000, 0},      {10000, 1000},  {19999, 10999},  {20000, 11000}};
  for (const Case& c : kCases) EXPECT_EQ(BodyIdToRow(c.id, kBodyDataFixedRows), c.row) << c.id;

  EXPECT_EQ(LoadBody(-1), nullptr);
  EXPECT_EQ(LoadBody(42), nullptr);
  WriteBody(42, kTinyBody);  // too late: the row is marked missing
  EXPECT_EQ(LoadBody(42), nullptr);
  EXPECT_FALSE(IsBodyAvailable(42));
  EXPECT_TRUE(IsBodyAvailable(100000));

  WriteBody(43, kNoPartsBody);
  EXPECT_EQ(LoadBody(43), nullptr);
  EXPECT_NE(BodyDataIsLoaded(43), 0);

  WriteBody(44, kTinyBody);
  BodyRecord* body = LoadBody(44);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(LoadBody(44), body);  // a hit
  EXPECT_TRUE(IsBodyAvailable(44));
}

TEST_F(SceneCore, SweepsFreeOnlyWhatTheyMay) {
  SystemBlock* system = world_.block();
  WriteBody(3, kTinyBody);
  WriteBody(1000, kTinyBody);
  WriteBody(100001, kTinyBody);
  BodyRecord* idle = LoadBody(3);
  ASSERT_NE(idle, nullptr);
  ASSERT_NE(LoadBody(1000), nullptr);
  ASSERT_NE(LoadBody(100001), nullptr);
  system->gameTime = 50;
  BodyCacheTick();  // lastUse 0 everywhere
  EXPECT_EQ(Count(&e().loadedBodies), 3);
  B3D_FindBody(100001)->lastUse = 1;
  BodyCacheTick();  // a cut's body stays
  EXPECT_EQ(Count(&e().loadedBodies), 3);

  system->physicalMemoryMB = 1200;
  FreeUnusedBodies(false);
  EXPECT_EQ(Count(&e().loadedBodies), 3);

  FreeBodiesNotInUse();  // body 1000 has no row and stays; body 3 is unused
  EXPECT_EQ(B3D_FindBody(3), nullptr);
  EXPECT_NE(B3D_FindBody(1000), nullptr);
  FreeBodyRenderData();
  EXPECT_NE(LoadBody(1000), nullptr);  // still whole after its render data went
}

TEST_F(SceneCore, MembershipFollowsTheRootAndRenderDataFollowsEnabledScenes) {
  SceneRecord* scene = B3D_SceneAlloc();
  B3D_SceneEnable(scene);
  InstanceRecord* parent = B3D_InstAlloc();
  InstanceRecord* child = B3D_InstAlloc();
  InstanceRecord* grandchild = B3D_InstAlloc();
  B3D_InstAddToInst(grandchild, child);
  B3D_InstAddToInst(child, parent);
  AddInstanceToScene(parent, scene);
  EXPECT_EQ(grandchild->scene, scene);
  EXPECT_NE(grandchild->flags & kInstRenderReady, 0u);

  // A child added to a scene becomes its root.
  parent->subtreeSize = 55;
  AddInstanceToScene(child, scene);
  EXPECT_EQ(child->parent, nullptr);
  EXPECT_EQ(parent->subtreeSize, -1);  // the old parent measures again
  EXPECT_EQ(Count(&scene->members), 2);
  EXPECT_EQ(grandchild->scene, scene);

  // Attaching under a parent in an enabled scene makes render data ready at once.
  InstanceRecord* late = B3D_InstAlloc();
  EXPECT_EQ(late->flags & kInstRenderReady, 0u);
  EXPECT_TRUE(B3D_InstAddToInst(late, parent));
  EXPECT_NE(late->flags & kInstRenderReady, 0u);

  // Disable-all then enable-all rebuilds the same ready set.
  B3D_DisableAllObjects3D();
  EXPECT_EQ(late->flags & kInstRenderReady, 0u);
  EXPECT_NE(scene->flags & kSceneEnabled, 0u);
  B3D_EnableAllObjects3D();
  for (InstanceRecord* i : {parent, child, grandchild, late}) EXPECT_NE(i->flags & kInstRenderReady, 0u);

  // Clearing frees nothing and sends the members back to the engine list.
  const uint32_t handles = HashCount(e().handleTable);
  B3D_SceneClear(scene);
  EXPECT_EQ(HashCount(e().handleTable), handles);
  EXPECT_EQ(Count(&scene->members), 0);
  EXPECT_EQ(Count(&e().instances), 2);
  EXPECT_EQ(late->scene, nullptr);
  EXPECT_EQ(grandchild->scene, nullptr);
  B3D_SceneFree(scene);
}

TEST_F(SceneCore, AttachingUnderItselfOrADescendantIsRefused) {
  InstanceRecord* a = B3D_InstAlloc();
  InstanceRecord* b = B3D_InstAlloc();
  InstanceRecord* c = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstAddToInst(b, a));
  ASSERT_TRUE(B3D_InstAddToInst(c, b));
  EXPECT_FALSE(B3D_InstAddToInst(a, a));
  EXPECT_FALSE(B3D_InstAddToInst(a, c));
  EXPECT_EQ(a->parent, nullptr);
  EXPECT_EQ(c->parent, b);
  FreeInstance(a);
  EXPECT_EQ(HashCount(e().handleTable), 0u);
}

TEST_F(SceneCore, ChildrenAreFreedByMaskAsTheInvertFlagSays) {
  struct Case {
    uint16_t childMask;
    int32_t invert;
    bool freed;
  };
  const Case kCases[] = {{0x1, 0, true}, {0x2, 0, false}, {0x1, 1, false}, {0x2, 1, true}};
  for (const Case& c : kCases) {
    InstanceRecord* parent = B3D_InstAlloc();
    InstanceRecord* child = B3D_InstAlloc();
    child->collisionMask = c.childMask;
    B3D_InstAddToInst(child, parent);
    InstFreeChildrenByMask(parent, 0x1, c.invert);
    EXPECT_EQ(ListFirst(&parent->children) == nullptr, c.freed) << c.childMask << " " << c.invert;
    FreeInstance(parent);
  }
}

InstanceRecord* gHookSaw = nullptr;
void RememberFreed(InstanceRecord* instance) { gHookSaw = instance; }

TEST_F(SceneCore, AFreedInstanceLeavesNoLinkBehind) {
  SceneRecord* scene = B3D_SceneAlloc();
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, scene);
  InstanceRecord* instance = B3D_InstAlloc();
  AddInstanceToScene(instance, scene);
  auto* node = EngineAllocRecord<CameraNode>(kCameraNodeNominalBytes);
  node->key = instance;
  ListAddTail(&camera->nodes, &node->node);
  e().frameWord = instance;
  e().lensFlareInstance = instance;
  SetFreedInstanceHook(RememberFreed);
  FreeInstance(instance);
  SetFreedInstanceHook(nullptr);
  EXPECT_EQ(gHookSaw, instance);
  EXPECT_EQ(e().frameWord, nullptr);
  EXPECT_EQ(e().lensFlareInstance, nullptr);
  EXPECT_EQ(ListFirst(&camera->nodes), nullptr);
  B3D_SceneFree(scene);
}

std::vector<std::pair<uint32_t, int32_t>>* gOwnerWakes = nullptr;
int32_t RecordOwnerWake(uint32_t cookie, int32_t value) {
  gOwnerWakes->push_back({cookie, value});
  return 0;
}

// A script engine whose module row 5 records every integer wake; put back as it was at the end.
class OwnerWakes {
 public:
  OwnerWakes() : previous_(gScriptEngine) {
    EXPECT_TRUE(InitEngineContext(&script_));
    script_.scriptName = story_;
    script_.modules[kRow].resumeInt = RecordOwnerWake;
    gOwnerWakes = &wakes;
  }
  ~OwnerWakes() {
    gOwnerWakes = nullptr;
    script_.scriptName = nullptr;
    FreeEngineTables(&script_);
    gScriptEngine = previous_;
  }
  static constexpr int32_t kRow = 5;
  void SetStoryLoaded(bool loaded) { script_.scriptName = loaded ? story_ : nullptr; }
  std::vector<std::pair<uint32_t, int32_t>> wakes;

 private:
  ScriptEngine* previous_;
  ScriptEngine script_{};
  char story_[6] = "story";
};

InstanceRecord* OwnedInstance(uint32_t jobFlags, int32_t module, int32_t token) {
  InstanceRecord* instance = B3D_InstAlloc();
  instance->jobFlags = jobFlags;
  instance->waitModule = module;
  instance->waitToken = token;
  return instance;
}

TEST_F(SceneCore, AFreedInstanceWakesTheTaskWaitingOnItOnceWithTwo) {
  struct Case {
    const char* name;
    uint32_t jobFlags;
    int32_t module;
    bool storyLoaded;
    bool callback;
    bool woken;
  };
  const Case kCases[] = {
      {"waiting", kJobTaskWaits | kJobPlaying, OwnerWakes::kRow, true, true, true},
      {"nobody waits", kJobPlaying, OwnerWakes::kRow, true, true, false},
      {"no story loaded", kJobTaskWaits, OwnerWakes::kRow, false, true, false},
      {"row without a callback", kJobTaskWaits, OwnerWakes::kRow + 1, true, true, false},
      {"module index 32", kJobTaskWaits, 32, true, true, false},
      {"negative module index", kJobTaskWaits, -1, true, true, false},
  };
  OwnerWakes owner;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    owner.wakes.clear();
    owner.SetStoryLoaded(c.storyLoaded);
    FreeInstance(OwnedInstance(c.jobFlags, c.module, 77));
    if (c.woken) {
      ASSERT_EQ(owner.wakes.size(), 1u);
      EXPECT_EQ(owner.wakes[0], std::make_pair(77u, 2));
    } else {
      EXPECT_TRUE(owner.wakes.empty());
    }
  }
}

TEST_F(SceneCore, EveryWaitingInstanceOfAFreedTreeWakesItsTaskExactlyOnce) {
  OwnerWakes owner;
  const int32_t row = OwnerWakes::kRow;

  // Parent before child, as the parent's wake comes before its children are freed; a reset that
  // frees the scene wakes each once, and the next reset finds nobody left to wake.
  SceneRecord* scene = B3D_SceneAlloc();
  InstanceRecord* parent = OwnedInstance(kJobTaskWaits, row, 10);
  AddInstanceToScene(parent, scene);
  B3D_InstAddToInst(OwnedInstance(kJobTaskWaits, row, 11), parent);
  OwnedInstance(kJobTaskWaits, row, 12);  // loose, in the engine list
  ResetEngine3D();
  const std::vector<std::pair<uint32_t, int32_t>> expected = {{10u, 2}, {11u, 2}, {12u, 2}};
  EXPECT_EQ(owner.wakes, expected);
  owner.wakes.clear();
  ResetEngine3D();
  EXPECT_TRUE(owner.wakes.empty());

  // A wait that already ended (the job was stopped) is not answered a second time when freed.
  InstanceRecord* stopped = OwnedInstance(kJobTaskWaits | kJobPlaying, row, 13);
  J3D_JobStop(stopped);
  FreeInstance(stopped);
  ASSERT_EQ(owner.wakes.size(), 1u);
  EXPECT_EQ(owner.wakes[0].first, 13u);
  EXPECT_NE(owner.wakes[0].second, 2);
}

}  // namespace
