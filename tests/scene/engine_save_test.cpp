// The "B3D " save section: the exact bytes of an empty engine, a busy engine written, freed, read
// and written again to the same bytes with its links restored, and damaged sections (a wrong tag
// at each place, every cut-off length, a repeated handle, a parent cycle) failing with nothing
// of theirs left behind.
#include <gtest/gtest.h>

#include <string>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "scene/cut_records.h"
#include "scene/lens_flares.h"
#include "scene/scene.h"
#include "scene/take_records.h"
#include "support/recording_world.h"

namespace {

class EngineSave : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeTakes();
    w_.FreeScenes();
    w_.FreeLoose();
    w_.engine().lensFlareScene = nullptr;
  }

  std::string Save() {
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, "b3d.sav", "wb", false));
    EXPECT_EQ(SaveEngineState(&file), 1);
    FileClose(&file);
    const auto bytes = TextureWorld::ReadGzip("b3d.sav");
    return std::string(bytes.begin(), bytes.end());
  }
  int32_t Load(const std::string& bytes) {
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, "in.sav", "wb", false));
    FileWriteBytes(&file, bytes.data(), bytes.size());
    FileClose(&file);
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, "in.sav", "rb", false));
    const int32_t ok = LoadEngineState(&file);
    FileClose(&file);
    return ok;
  }
  // What a load replaces: every scene, instance and take.
  void Reset() {
    FreeTakes();
    w_.FreeScenes();
    w_.FreeLoose();
    w_.engine().lensFlareScene = nullptr;
  }
  TakeRecord* AddTake(int32_t k) {
    auto* take = EngineAllocRecord<TakeRecord>();
    take->handle = HashInsertNewKey(w_.engine().takeTable, reinterpret_cast<HashValue>(take));
    take->instanceCount = k;
    if (k) take->instances = static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * k, k * 4));
    take->state = kTakeStopped;
    return take;
  }
  void FreeTakes() {
    HashTable* table = w_.engine().takeTable;
    while (uint32_t key = HashNextKey(table, 0)) {
      auto* take = reinterpret_cast<TakeRecord*>(HashRemove(table, key));
      if (take->instances) EngineFree(take->instances, take->instanceCount * 4);
      EngineFree(take, sizeof(TakeRecord));
    }
  }
  static StreamBytes EmptySection() {
    StreamBytes s;
    s.Tag("B3D ");
    for (int i = 0; i < 20; ++i) s.Word(0);
    s.Tag("NAME").Word(0).Word(0).Tag("INST").Tag("SCEN").Tag("CUT ").Word(0).Tag("TAKE").Tag("/B3D");
    return s;
  }

  RecordingWorld w_;
};

TEST_F(EngineSave, AnEmptyEngineWritesTheMinimalSectionAndReadsItBack) {
  w_.engine().gammaValue = 0;
  EXPECT_EQ(Save(), EmptySection().bytes);
  EXPECT_EQ(Load(EmptySection().bytes), 1);
}

TEST_F(EngineSave, WithoutAnEngineOnlyTheEmptySectionIsWrittenAndRead) {
  EngineState3D* engine = gEngine3D;
  gEngine3D = nullptr;
  w_.engine().gammaValue = 0;
  const std::string bytes = Save();
  const int32_t emptyRead = Load(EmptySection().bytes);
  StreamBytes withTree = EmptySection();
  withTree.bytes[4 + 3] = 1;  // one free instance tree, which nothing could hold
  const int32_t treeRead = Load(withTree.bytes);
  gEngine3D = engine;
  EXPECT_EQ(bytes, EmptySection().bytes);
  EXPECT_EQ(emptyRead, 1);
  EXPECT_EQ(treeRead, 0);
}

TEST_F(EngineSave, RecordsHaveTheirSizesAndTheWriterClearsTransientState) {
  InstanceRecord* loose = B3D_InstAlloc();
  loose->flags = kInstRenderReady | kInstLight;
  loose->flags2 = kInst2LoadKeep80 | kInst2LoadFree100 | 0x4;
  loose->soundFlags = kInstSoundPlaying | kInstSoundBit3;
  loose->soundChannel = 7;
  loose->lightColor[0] = -2;
  InstanceRecord* hidden = B3D_InstAlloc();
  hidden->flags2 = kInst2NotSaved;
  const std::string bytes = Save();
  // Header, then "NAME" 0 0, "INST" and one 480-byte record.
  const size_t record = 4 + 80 + 12 + 4;
  ASSERT_EQ(bytes.size(), record + 480 + EmptySection().bytes.size() - 4 - 80 - 12 - 4);
  auto word = [&](size_t i) { return LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data() + record + i * 4)); };
  EXPECT_EQ(LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data() + 4)), 1u);  // the hidden one is left out
  EXPECT_EQ(word(0), loose->handle);
  EXPECT_EQ(word(49), kInstLight);
  EXPECT_EQ(word(50), 0x4u);
  EXPECT_EQ(word(51), kInstSoundBit3);
  EXPECT_EQ(word(56), 0xFFFFFFFFu);
  EXPECT_EQ(word(58), 0xFFFFFFFEu);
}

// A world with free trees, two scenes with member trees of depth 2, a camera that is an instance's
// child, names, placed cuts and takes with 0 and 2 instances.
TEST_F(EngineSave, ABusyEngineComesBackByteForByte) {
  w_.Build();
  EnsureLensFlareScene();
  InstanceRecord* freeRoot = B3D_InstAlloc();
  InstanceRecord* freeChild = B3D_InstAlloc();
  B3D_InstAddToInst(freeChild, freeRoot);
  freeRoot->name = DuplicateString("drifter");
  SceneRecord* second = B3D_SceneAlloc();
  second->systemScale = 0.02f;
  InstanceRecord* member = B3D_InstAlloc();
  AddInstanceToScene(member, second);
  InstanceRecord* child = B3D_InstAlloc();
  B3D_InstAddToInst(child, member);
  InstanceRecord* grandChild = B3D_InstAlloc();
  B3D_InstAddToInst(grandChild, child);
  grandChild->velocity = FixedVector{4, 5, 6, 0};
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, second);
  camera->instance.parent = member;
  camera->environmentSource = w_.camera->instance.handle;
  member->linkedCamera = camera;
  camera->instance.name = DuplicateString("eye");
  TakeRecord* none = AddTake(0);
  none->scene = second;
  TakeRecord* two = AddTake(2);
  two->instances[0] = child;
  two->instance = freeChild;
  (void)none;

  const std::string first = Save();
  const uint32_t cameraHandle = camera->instance.handle, memberHandle = member->handle;
  Reset();
  ASSERT_EQ(Load(first), 1);
  EXPECT_EQ(Save(), first);

  auto* back = GetCameraByHandle(cameraHandle);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->instance.parent, GetInstanceByHandle(memberHandle));
  ASSERT_NE(back->instance.scene, nullptr);
  EXPECT_EQ(ListRecord<CameraRecord>(ListFirst(&back->instance.scene->cameras)), back);
  EXPECT_EQ(GetInstanceByHandle(memberHandle)->linkedCamera, back);
  EXPECT_TRUE(back->instance.flags2 & kInst2LoadFree100);
}

// The container frees the old records only after every section: the restored ones take their
// handles over, and a failed load gives the handles back.
TEST_F(EngineSave, RestoredRecordsTakeOverTheHandlesOfThoseStillThere) {
  InstanceRecord* old = B3D_InstAlloc();
  SceneRecord* oldScene = B3D_SceneAlloc();
  const std::string bytes = Save();
  ASSERT_EQ(Load(bytes.substr(0, bytes.find("CUT ") + 2)), 0);
  EXPECT_EQ(GetInstanceByHandle(old->handle), old);
  EXPECT_EQ(GetSceneByHandle(oldScene->handle), oldScene);
  ASSERT_EQ(Load(bytes), 1);
  InstanceRecord* restored = GetInstanceByHandle(old->handle);
  ASSERT_NE(restored, nullptr);
  EXPECT_NE(restored, old);
  EXPECT_NE(GetSceneByHandle(oldScene->handle), oldScene);
}

struct GammaCase {
  uint32_t word;
  int32_t expected;
};
const GammaCase kGammaCases[] = {{300, 77}, {0, 0}, {255, 255}, {256, 77}};

TEST_F(EngineSave, OnlyAGammaWordFrom0To255IsApplied) {
  for (const GammaCase& c : kGammaCases) {
    w_.engine().gammaValue = 77;
    std::string bytes = EmptySection().bytes;
    StreamBytes gamma;
    gamma.Word(c.word);
    bytes.replace(4 + 11 * 4, 4, gamma.bytes);
    EXPECT_EQ(Load(bytes), 1) << c.word;
    EXPECT_EQ(w_.engine().gammaValue, c.expected) << c.word;
    Reset();
  }
}

TEST_F(EngineSave, AWrongTagAtEachPlaceFails) {
  // One scene so that its own "INST" is there to be damaged.
  SceneRecord* scene = B3D_SceneAlloc();
  (void)scene;
  const std::string good = Save();
  Reset();
  const char* const kTags[] = {"B3D ", "NAME", "INST", "SCEN", "INST", "CUT ", "TAKE", "/B3D"};
  size_t from = 0;
  for (const char* tag : kTags) {
    const size_t at = good.find(tag, from);
    ASSERT_NE(at, std::string::npos) << tag;
    from = at + 4;
    std::string bad = good;
    bad[at] = 'x';
    EXPECT_EQ(Load(bad), 0) << tag << " at " << at;
    Reset();
  }
}

TEST_F(EngineSave, EveryCutOffSectionFailsAndLeavesNothingBehind) {
  w_.Build();
  InstanceRecord* parent = B3D_InstAlloc();
  B3D_InstAddToInst(B3D_InstAlloc(), parent);
  parent->name = DuplicateString("cut short");
  AddTake(1)->instances[0] = parent;
  const std::string good = Save();
  Reset();
  for (size_t length = 0; length + 4 < good.size(); length += 7) {
    EXPECT_EQ(Load(good.substr(0, length)), 0) << length;
    EXPECT_EQ(ListFirst(&w_.engine().instances), nullptr) << length;
    EXPECT_EQ(HashCount(w_.engine().takeTable), 0u) << length;
    Reset();
  }
}

TEST_F(EngineSave, ARepeatedHandleOrAParentCycleFails) {
  InstanceRecord* a = B3D_InstAlloc();
  InstanceRecord* b = B3D_InstAlloc();
  const std::string good = Save();
  const uint32_t ha = a->handle, hb = b->handle;
  Reset();
  const size_t first = 4 + 80 + 12 + 4, second = first + 480;
  auto put = [](std::string& s, size_t at, uint32_t v) {
    StreamBytes w;
    w.Word(v);
    s.replace(at, 4, w.bytes);
  };
  std::string repeated = good;
  put(repeated, second, ha);
  EXPECT_EQ(Load(repeated), 0);
  EXPECT_EQ(ListFirst(&w_.engine().instances), nullptr);
  std::string cycle = good;
  put(cycle, first + 3 * 4, hb);
  put(cycle, second + 3 * 4, ha);
  EXPECT_EQ(Load(cycle), 0);
  EXPECT_EQ(ListFirst(&w_.engine().instances), nullptr);
}

}  // namespace
