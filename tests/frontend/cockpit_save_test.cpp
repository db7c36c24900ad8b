// The "INS " save section on a headless scene engine. A load is played as the container plays
// it after the engine section: the engine's instances, cameras and scenes stay, the old cockpits
// leave the table without freeing them, and a fresh GUI master reads the section. Checked: the
// exact bytes of an empty section, a byte-exact write -> read -> write of a cockpit with every
// kind of reference, the references that load as none, the marks a loaded reference gets, the
// handles after a load, and every wrong or short section, which must leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/frontend.h"
#include "frontend/hud/gui_master.h"
#include "scene/body_cache.h"
#include "scene/body_text.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/script_fixture.h"
#include "support/temp_dir.h"

namespace {

std::string Word(uint32_t value) {
  unsigned char b[4];
  StoreBE32(b, value);
  return std::string(reinterpret_cast<const char*>(b), 4);
}
std::string Half(uint16_t value) {
  unsigned char b[2];
  StoreBE16(b, value);
  return std::string(reinterpret_cast<const char*>(b), 2);
}

// Every slot of a cockpit, in one fixed order.
void ForEachSlot(CockpitRecord* k, const std::function<void(CockpitSlot*)>& visit) {
  visit(&k->grid);
  for (CockpitSlot& slot : k->radar.slots) visit(&slot);
  visit(&k->cameraMessage.slot);
  for (CockpitSlot& slot : k->overlay.slots) visit(&slot);
  for (CockpitSlot& slot : k->elements.slots) visit(&slot);
  for (CockpitSlot& slot : k->messages.slots) visit(&slot);
  for (CockpitSlot& slot : k->navMap.slots) visit(&slot);
  for (uint32_t i = 0; k->targetRefs && i < k->targetRefCount; ++i) {
    if (k->targetRefs[i]) visit(k->targetRefs[i]);
  }
}

class CockpitSave : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    system_ = SystemBlock{};
    system_.gameTime = 5000;
    gSystem = &system_;
    handles_ = HashCount(engine().handleTable);
    scenes_ = HashCount(engine().sceneTable);
    gGuiMaster = NewMaster();
    for (const int32_t id : {5, 6, static_cast<int32_t>(kCameraMessageBody)}) BodyLinkAndCache(NewBodyRecord(id));
  }

  void TearDown() override {
    FreeMaster(gGuiMaster);
    gGuiMaster = nullptr;
    for (CameraRecord* camera : cameras_) B3D_CameraFree(camera);
    for (InstanceRecord* instance : instances_) FreeInstance(instance);
    EXPECT_EQ(HashCount(engine().handleTable), handles_);
    EXPECT_EQ(HashCount(engine().sceneTable), scenes_);
    FreeEveryLoadedBody();
    gSystem = nullptr;
    ScriptEngineTest::TearDown();
  }

  EngineState3D& engine() { return fixture_.engine(); }

  static GuiMaster* NewMaster() { return InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)))); }
  static void FreeMaster(GuiMaster* master) {
    if (!master) return;
    FreeAllCockpits(master);
    MemFreeIfSet(master);
  }

  void FreshMaster() {
    FreeMaster(gGuiMaster);
    gGuiMaster = NewMaster();
  }

  CockpitRecord* New() { return CockpitFromHandle(gGuiMaster, CockpitAlloc(gGuiMaster)); }

  // Engine records the test owns (not a cockpit), freed at the end.
  CameraRecord* Camera() { return cameras_.emplace_back(B3D_CameraAlloc()); }
  InstanceRecord* Instance() { return instances_.emplace_back(B3D_InstAlloc()); }

  std::string Write() {
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, dir_.File("w.sav").c_str(), "wbT", false));
    EXPECT_TRUE(WriteCockpitChunk(&file));
    FileClose(&file);
    return dir_.Read("w.sav");
  }

  bool ReadInto(const std::string& bytes) {
    dir_.Write("r.sav", bytes);
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, dir_.File("r.sav").c_str(), "rb", false));
    const bool ok = ReadCockpitChunk(&file);
    FileClose(&file);
    return ok;
  }

  // The load: the old cockpits leave the table, a new master reads the bytes, and what a new
  // cockpit took over from an old one is dropped from the old one before it is freed.
  bool Load(const std::string& bytes) {
    GuiMaster* old = gGuiMaster;
    std::vector<CockpitRecord*> before;
    for (uint32_t key = HashNextKey(old->cockpits, 0); key; key = HashNextKey(old->cockpits, 0))
      before.push_back(reinterpret_cast<CockpitRecord*>(HashRemove(old->cockpits, key)));
    gGuiMaster = NewMaster();
    const bool ok = ReadInto(bytes);
    std::vector<InstanceRecord*> taken;
    for (uint32_t key = HashNextKey(gGuiMaster->cockpits, 0); key; key = HashNextKey(gGuiMaster->cockpits, key)) {
      auto* k = reinterpret_cast<CockpitRecord*>(HashGet(gGuiMaster->cockpits, key));
      ForEachSlot(k, [&](CockpitSlot* slot) { taken.push_back(slot->instance); });
    }
    for (CockpitRecord* k : before) {
      ForEachSlot(k, [&](CockpitSlot* slot) {
        if (std::find(taken.begin(), taken.end(), slot->instance) != taken.end()) *slot = CockpitSlot{0, nullptr, -1, 0, nullptr};
      });
      const bool moved = ok && CockpitFromHandle(gGuiMaster, k->handle);
      if (moved) {
        k->scene = nullptr;
        k->camera = nullptr;
        for (InstanceRecord*& light : k->instances) light = nullptr;
      }
      DeleteCockpitSubRecord(k, 1);
    }
    FreeMaster(old);
    return ok;
  }

  // A cockpit with every kind of reference and a value in every kind of field.
  CockpitRecord* Furnished() {
    CockpitRecord* k = New();
    k->sectorCamera = Camera();
    k->galaxyCamera = Camera();
    EXPECT_NE(k->instances[0], nullptr);  // the cockpit's own lights; one is put into the scene
    AddInstanceToScene(k->instances[0], k->scene);
    AttachSlot(k->scene, &k->elements.slots[1], 5);
    AttachSlot(k->scene, &k->overlay.slots[7], 6);
    k->cameraMessage.shown = 1;
    AttachSlot(k->scene, &k->cameraMessage.slot, kCameraMessageBody);
    EXPECT_TRUE(AllocSlotRefs(k, 2));
    auto* ref = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
    CockpitSlotBuild(ref, 6, 9);
    AttachSlot(k->scene, ref, 6);
    k->targetRefs[1] = ref;
    k->viewAngle[1] = -300;
    k->viewMatrix.m[2][1] = 0x1234;
    k->viewLocked = 1;
    k->viewMode = 1;
    k->trackMode = kTrackEnemy;
    k->radarMode = 2;
    k->radarRange = 50000;
    k->currentMissile = 12;
    k->missileWords[1] = -7;
    k->zoomFactor = 0x20000;
    k->swayWord = static_cast<int32_t>(0xCAFEBABE);
    k->interiorCut = 88;
    k->radar.word = 4;
    k->overlay.words[4] = 99;
    k->overlay.leadX = 12;
    k->messages.words[2] = 3;
    k->navMap.words[0] = 8;
    k->monitorNumber = 0;
    return k;
  }

  EngineFixture fixture_;
  SystemBlock system_{};
  TempDir dir_;
  uint32_t handles_ = 0, scenes_ = 0;
  std::vector<CameraRecord*> cameras_;
  std::vector<InstanceRecord*> instances_;
};

TEST_F(CockpitSave, NoCockpitsIsTheTagTheMasterRecordACountOfZeroAndTheEndTag) {
  GuiMaster* m = gGuiMaster;
  m->alertLevel = 3;
  m->alertPending = 2;
  m->timeWarpFactor = 5;
  m->unitDisplay = 1;
  m->activeControlCockpit = 9;
  m->overlayBrackets = 1;
  m->sidebarInstance = Instance();
  m->alertFlags = kAlertLockTone;
  m->focus = 12000;
  const std::string expected = "INS " + Word(1) + Word(3) + Word(2) + Word(5) + Half(1) + Word(9) +
                               Word(uint32_t(m->font)) + Half(1) + Half(1) + Word(m->sidebarInstance->handle) +
                               Word(kAlertLockTone) + Word(12000) + Word(0) + "/INS";
  const std::string bytes = Write();
  EXPECT_EQ(bytes.size(), 54u);
  EXPECT_EQ(bytes, expected);

  ASSERT_TRUE(Load(bytes));
  m = gGuiMaster;
  EXPECT_EQ(m->alertLevel, 3);
  EXPECT_EQ(m->alertPending, 2);
  EXPECT_EQ(m->timeWarpFactor, 5);
  EXPECT_EQ(m->unitDisplay, 1);
  EXPECT_EQ(m->activeControlCockpit, 9u);
  EXPECT_EQ(m->drawRadar, 1);
  EXPECT_EQ(m->overlayBrackets, 1);
  EXPECT_EQ(m->sidebarInstance, instances_[0]);
  EXPECT_TRUE(instances_[0]->flags2 & kInst2LoadKeep80);
  EXPECT_EQ(m->alertFlags, kAlertLockTone);
  EXPECT_EQ(m->focus, 12000u);
  EXPECT_EQ(Write(), bytes);  // the reopened font has the same handle
}

TEST_F(CockpitSave, ACockpitComesBackByteExactWithItsReferences) {
  CockpitRecord* a = Furnished();
  SceneRecord* scene = a->scene;
  CameraRecord* camera = a->camera;
  InstanceRecord* light = a->instances[0];
  InstanceRecord* element = a->elements.slots[1].instance;
  InstanceRecord* ref = a->targetRefs[1]->instance;
  const uint32_t handle = a->handle;
  const std::string bytes = Write();
  // The references close the block: a null entry is the single word 0, a slot is 1 and 14 bytes.
  const size_t refs = bytes.size() - 8 - 4 - 18;
  EXPECT_EQ(bytes.substr(refs, 8), Word(0) + Word(1));
  EXPECT_EQ(bytes.substr(bytes.size() - 8), "/ICO/INS");

  ASSERT_TRUE(Load(bytes));
  CockpitRecord* b = CockpitFromHandle(gGuiMaster, handle);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->scene, scene);
  EXPECT_EQ(b->camera, camera);
  EXPECT_EQ(b->sectorCamera, cameras_[0]);
  EXPECT_EQ(b->galaxyCamera, cameras_[1]);
  EXPECT_EQ(b->dustCamera, nullptr);
  EXPECT_EQ(b->instances[0], light);
  EXPECT_EQ(b->elements.slots[1].instance, element);
  EXPECT_EQ(b->elements.slots[1].visible, 1u);
  EXPECT_EQ(b->elements.slots[1].bodyId, 5);
  ASSERT_EQ(b->targetRefCount, 2u);
  EXPECT_EQ(b->targetRefs[0], nullptr);
  ASSERT_NE(b->targetRefs[1], nullptr);
  EXPECT_EQ(b->targetRefs[1]->instance, ref);
  EXPECT_EQ(b->targetRefs[1]->extra, 9u);
  for (const InstanceRecord* held : {&camera->instance, &cameras_[0]->instance, light, element, ref})
    EXPECT_TRUE(held->flags2 & kInst2LoadKeep80);
  EXPECT_EQ(b->radarMode, 2u);
  EXPECT_EQ(b->viewMatrix.m[2][1], 0x1234);
  EXPECT_EQ(b->swayWord, static_cast<int32_t>(0xCAFEBABE));
  EXPECT_EQ(b->overlay.leadX, -1);
  EXPECT_EQ(b->overlay.leadY, -1);
  EXPECT_EQ(Write(), bytes);
}

TEST_F(CockpitSave, GoneAndTransientReferencesLoadAsNone) {
  CockpitRecord* a = New();
  const uint32_t handle = a->handle;
  B3D_CameraDeleteFromScene(a->scene, a->camera);
  B3D_CameraFree(a->camera);
  a->camera = nullptr;  // the main camera is gone
  AttachSlot(a->scene, &a->elements.slots[0], 5);
  a->elements.slots[0].instance->flags2 |= kInst2NotSaved;
  a->dustCamera = Camera();
  const std::string bytes = Write();
  // The dust camera is gone by the time the section is read.
  B3D_CameraFree(cameras_[0]);
  cameras_.clear();

  ASSERT_TRUE(Load(bytes));
  CockpitRecord* b = CockpitFromHandle(gGuiMaster, handle);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->camera, nullptr);
  EXPECT_EQ(b->dustCamera, nullptr);
  EXPECT_EQ(b->elements.slots[0].instance, nullptr);
  EXPECT_EQ(b->elements.slots[0].visible, 1u);
}

TEST_F(CockpitSave, NewCockpitsAfterALoadNeverTakeALoadedHandle) {
  for (int i = 0; i < 3; ++i) New();
  ASSERT_TRUE(Load(Write()));
  for (const uint32_t handle : {2u, 3u, 4u}) EXPECT_NE(CockpitFromHandle(gGuiMaster, handle), nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_GT(CockpitAlloc(gGuiMaster), 4u);
  EXPECT_EQ(HashCount(gGuiMaster->cockpits), 6u);
}

// These read into a master whose old cockpits are gone, so nothing a failed read frees is
// still held elsewhere.
TEST_F(CockpitSave, WrongOrShortSectionsAnswerFalseAndLeaveNoHalfCockpit) {
  Furnished();
  const std::string good = Write();
  const size_t sway = good.find(Word(0xCAFEBABE));
  ASSERT_NE(sway, std::string::npos);
  const size_t refCount = sway - 4 - 6;
  ASSERT_EQ(good.substr(refCount, 4), Word(2));
  const auto patched = [&](size_t at, const std::string& with) {
    std::string bytes = good;
    bytes.replace(at, with.size(), with);
    return bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t cockpitsLeft;
  };
  const Case kCases[] = {
      {"master record version 2", patched(4, Word(2)), 0},
      {"cockpit version 2", patched(54, Word(2)), 0},
      {"wrong ICOC", patched(50, "ICOX"), 0},
      {"wrong /ICO", patched(good.size() - 8, "/ICX"), 0},
      {"wrong /INS", patched(good.size() - 4, "/INX"), 1},
      {"a huge cockpit count", patched(46, Word(0x7FFFFFFF)).substr(0, good.size() - 4), 1},
      {"a huge reference count", patched(refCount, Word(0x7FFFFFFF)), 0},
      {"cut inside the cockpit", good.substr(0, 300), 0},
      {"cut inside the master record", good.substr(0, 20), 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FreshMaster();
    EXPECT_FALSE(ReadInto(c.bytes));
    EXPECT_EQ(HashCount(gGuiMaster->cockpits), c.cockpitsLeft);
  }
}

TEST_F(CockpitSave, TwoCockpitsUnderOneHandleAreRefusedAndTheSecondIsFreed) {
  New();
  New();
  std::string bytes = Write();
  const size_t second = bytes.find("ICOC", 58);
  ASSERT_NE(second, std::string::npos);
  bytes.replace(second + 8, 4, Word(2));
  FreshMaster();
  EXPECT_FALSE(ReadInto(bytes));
  EXPECT_EQ(HashCount(gGuiMaster->cockpits), 1u);
}

TEST_F(CockpitSave, AnInstanceNamedByTwoCockpitsGoesToTheFirstOnly) {
  CockpitRecord* first = New();
  CockpitRecord* second = New();
  InstanceRecord* shared = Instance();
  for (CockpitRecord* k : {first, second}) {
    FreeInstance(k->elements.slots[2].instance);
    k->elements.slots[2].instance = shared;
  }
  // A camera in a slot is no slot instance either.
  FreeInstance(second->navMap.slots[0].instance);
  second->navMap.slots[0].instance = &Camera()->instance;
  const std::string bytes = Write();
  for (CockpitRecord* k : {first, second}) k->elements.slots[2].instance = nullptr;
  second->navMap.slots[0].instance = nullptr;
  FreshMaster();
  ASSERT_TRUE(ReadInto(bytes));
  instances_.clear();  // the first cockpit owns it now
  EXPECT_EQ(CockpitFromHandle(gGuiMaster, 2)->elements.slots[2].instance, shared);
  EXPECT_EQ(CockpitFromHandle(gGuiMaster, 3)->elements.slots[2].instance, nullptr);
  EXPECT_EQ(CockpitFromHandle(gGuiMaster, 3)->navMap.slots[0].instance, nullptr);
}

}  // namespace
