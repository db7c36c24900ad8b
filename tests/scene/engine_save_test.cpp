// The "B3D " save section: the exact bytes of an empty engine, a busy engine that has drawn a
// frame written, freed, read and written again to the same bytes with its links restored, links
// and names a damaged section spoils, a failed write, and damaged sections (a wrong tag at each
// place, every cut-off length, a repeated handle, a parent cycle) failing with nothing of theirs
// left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "engine_types/cut_writer.h"
#include "engine_types/demo_engine_files.h"
#include "render/render_matrices.h"
#include "render/texture_animation.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_records.h"
#include "scene/effect_registry.h"
#include "scene/engine_frame.h"
#include "scene/engine_types.h"
#include "scene/instance.h"
#include "scene/lens_flares.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/take_records.h"
#include "scene/take_instances.h"
#include "scene/takes_jobs.h"
#include "support/engine_type_world.h"
#include "support/recording_world.h"
#include "support/render_world.h"

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
  // A take as a script makes it, with k slots as a started take holds them.
  TakeRecord* AddTake(int32_t k) {
    TakeRecord* take = TakeAlloc();
    take->instanceCount = k;
    if (k) {
      take->instances = static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * k, k * kTakeSlotNominalBytes));
    }
    take->state = kTakeStopped;
    return take;
  }
  // The records only: the instances the slots name are the world's.
  void FreeTakes() {
    HashTable* table = w_.engine().takeTable;
    while (uint32_t key = HashNextKey(table, 0)) TakeRecordFree(reinterpret_cast<TakeRecord*>(HashRemove(table, key)));
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
  B3D_InstAddToInst(B3D_InstAlloc(), hidden);  // goes with it
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

// Children scaled with their parent (a 3D text's characters) are placed by the parent's size and
// its size vector: after a load they stand where they stood before the save.
TEST_F(EngineSave, ChildrenScaledWithTheirParentStandWhereTheyStoodBeforeTheSave) {
  InstanceRecord* root = B3D_InstAlloc();
  root->size = 0x20000;
  root->sizeVector[0] = 0x30000;
  root->sizeVector[1] = 0x40000;
  InstanceRecord* character = B3D_InstAlloc();
  B3D_InstAddToInst(character, root);
  character->flags |= kInstScaledWithParent;
  character->position = FixedVector{0x10000, -0x10000, 0x10000, 0};
  InstUpdateWorldTree(root);
  const FixedVector before = character->world;
  ASSERT_EQ(before.y, -0x30000) << "the y offset goes by the first word of the size vector";
  const uint32_t rootHandle = root->handle, characterHandle = character->handle;
  const std::string bytes = Save();
  Reset();
  ASSERT_EQ(Load(bytes), 1);
  InstanceRecord* restored = GetInstanceByHandle(rootHandle);
  ASSERT_NE(restored, nullptr);
  InstUpdateWorldTree(restored);
  const InstanceRecord* back = GetInstanceByHandle(characterHandle);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->world.x, before.x);
  EXPECT_EQ(back->world.y, before.y);
  EXPECT_EQ(back->world.z, before.z);
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

// Whatever the process counted before a load, the records made after it are numbered on from the
// highest handle the save brought back, so two games read back from one save hand out the same
// handles.
TEST_F(EngineSave, RecordsMadeAfterALoadAreNumberedOnFromTheSave) {
  InstanceRecord* instance = B3D_InstAlloc();
  SceneRecord* scene = B3D_SceneAlloc();
  TakeRecord* take = AddTake(0);
  const uint32_t handles[3] = {instance->handle, scene->handle, take->handle};
  const std::string bytes = Save();
  std::vector<std::vector<uint32_t>> made;
  for (uint32_t counted : {0u, 40u, 41u}) {
    Reset();
    for (HashTable* table : {w_.engine().handleTable, w_.engine().sceneTable, w_.engine().takeTable}) {
      HashSetKeyCounter(table, counted);
    }
    ASSERT_EQ(Load(bytes), 1);
    made.push_back({B3D_InstAlloc()->handle, B3D_SceneAlloc()->handle, AddTake(0)->handle});
  }
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(made[0][i], handles[i]);
    EXPECT_LT(made[0][i], 40u);
    EXPECT_EQ(made[1][i], made[0][i]);
    EXPECT_EQ(made[2][i], made[0][i]);
  }
}

// One scene with a camera, one placed cut and one take: every record at its size, and a camera
// without an environment source ends its block with 0.
TEST_F(EngineSave, SceneCameraCutAndTakeRecordsHaveTheirSizes) {
  SceneRecord* scene = B3D_SceneAlloc();
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, scene);
  camera->priority = 9;
  CutRecord cut{};
  cut.handle = 77;
  cut.originFlags = 1;
  cut.originPosition = FixedVector{1, 2, 3, 0};
  ASSERT_TRUE(HashInsert(w_.engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut)));
  AddTake(0);
  const std::string bytes = Save();
  HashRemove(w_.engine().cutTable, cut.handle);
  auto tagAt = [&](size_t at) { return bytes.substr(at, 4); };
  auto word = [&](size_t at) { return LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data() + at)); };
  const size_t scen = 4 + 80 + 12 + 4, sceneInst = scen + 4 + 32, cameraBlock = sceneInst + 4 + 480;
  const size_t cuts = cameraBlock + 188, take = cuts + 8 + 52, end = take + 4 + 104;
  EXPECT_EQ(tagAt(scen), "SCEN");
  EXPECT_EQ(tagAt(sceneInst), "INST");
  EXPECT_EQ(word(sceneInst + 4), camera->instance.handle);
  EXPECT_EQ(word(cameraBlock + 46 * 4), 0u) << "no environment source";
  EXPECT_EQ(tagAt(cuts), "CUT ");
  EXPECT_EQ(word(cuts + 4), 1u);
  EXPECT_EQ(word(cuts + 8), 77u);
  EXPECT_EQ(tagAt(take), "TAKE");
  EXPECT_EQ(tagAt(end), "/B3D");
  EXPECT_EQ(bytes.size(), end + 4);
}

// A camera holds one texture record whatever its saved count says; reading three would take the
// camera's name and the next records for texture records.
TEST_F(EngineSave, ACameraTextureCountAbove1IsFollowedByOneRecord) {
  SceneRecord* scene = B3D_SceneAlloc();
  EnsureLensFlareScene();  // the load makes it, so the second save holds it too
  CameraRecord* camera = B3D_CameraAlloc();
  B3D_CameraAddToScene(camera, scene);
  B3D_CameraSetCausticAnim(camera, 5);
  ASSERT_NE(camera->causticAnim, nullptr);
  camera->causticAnim->anim = 0;  // no animation table here: the default state
  camera->causticAnim->period = 1234;
  camera->instance.name = DuplicateString("eye");
  B3D_InstAddToInst(B3D_InstAlloc(), &camera->instance);
  const uint32_t handle = camera->instance.handle;
  const std::string good = Save();
  Reset();
  const size_t count = good.find("SCEN") + 4 + 32 + 4 + 480 + 44 * 4;
  ASSERT_EQ(LoadBE32(reinterpret_cast<const unsigned char*>(good.data() + count)), 1u);
  std::string three = good;
  three[count + 3] = 3;
  ASSERT_EQ(Load(three), 1);
  CameraRecord* back = GetCameraByHandle(handle);
  ASSERT_NE(back, nullptr);
  ASSERT_NE(back->causticAnim, nullptr);
  EXPECT_EQ(back->causticAnim->period, 1234);
  EXPECT_STREQ(back->instance.name, "eye");
  EXPECT_NE(InstFirstChild(&back->instance), nullptr);
  EXPECT_EQ(Save(), good) << "written back with a count of 1";
}

// The dynamic body names come back in the added rows, which grow in blocks of 1000.
TEST_F(EngineSave, FifteenHundredDynamicBodyNamesComeBackInTwoBlocks) {
  ASSERT_TRUE(AllocBodyDataTable());
  std::string bytes = EmptySection().bytes;
  StreamBytes names;
  names.Word(1500);
  for (int i = 0; i < 1500; ++i) {
    const std::string name = "body" + std::to_string(i);
    names.bytes += char(name.size());
    names.Text(name);
  }
  names.Word(0);
  const size_t at = 4 + 80 + 4;
  bytes.replace(at, 8, names.bytes);
  EXPECT_EQ(Load(bytes), 1);
  const int32_t fixed = w_.engine().bodyDataFixedRows;
  EXPECT_EQ(w_.engine().bodyDataAddedRows, 1500);
  ASSERT_GE(BodyDataRowIndex(20000 + 1499), 0);
  EXPECT_STREQ(w_.engine().bodyDataRows[BodyDataRowIndex(20000 + 1499)].fileName, "body1499");
  EXPECT_EQ(BodyDataRowIndex(20000 + 1500), -1);
  // The block holds F + 2000 rows (the sanitizer checks the last one is there).
  w_.engine().bodyDataRows[fixed + 1999].loaded = 0;
  FreeBodyDataTable();
}

// A placement of a cut that cannot be loaded is skipped; the rest of the section still loads.
TEST_F(EngineSave, APlacementOfACutWhoseFileIsMissingIsSkipped) {
  std::string bytes = EmptySection().bytes;
  StreamBytes placement;
  placement.Word(1);
  placement.Word(4321);
  for (int i = 1; i < 13; ++i) placement.Word(i);
  const size_t at = bytes.find("CUT ") + 4;
  bytes.replace(at, 4, placement.bytes);
  EXPECT_EQ(Load(bytes), 1);
  EXPECT_EQ(HashGet(w_.engine().cutTable, 4321), 0u);
}

// A take lives only in the take table, so the one a restored take displaces must go with the
// load (LeakSanitizer reports it otherwise), and nothing may still find it.
TEST_F(EngineSave, ATakeTheLoadDisplacesIsFreed) {
  InstanceRecord* actor = B3D_InstAlloc();
  TakeRecord* fresh = TakeAlloc();  // never started: no slots, no cut
  ASSERT_NE(fresh, nullptr);
  TakeRecord* started = AddTake(2);
  started->instances[1] = actor;
  started->word = 0x1234;
  const uint32_t freshHandle = fresh->handle, startedHandle = started->handle, actorHandle = actor->handle;
  const std::string bytes = Save();
  const uint32_t cutBytes = gMemCounters.categoryBytes[kMemCatCut];

  ASSERT_EQ(Load(bytes), 1);
  EXPECT_EQ(HashCount(w_.engine().takeTable), 2u);
  TakeRecord* restored = GetTakeByHandle(startedHandle);
  ASSERT_NE(restored, nullptr);
  EXPECT_NE(restored, started);
  EXPECT_EQ(restored->word, 0x1234u);
  ASSERT_EQ(restored->instanceCount, 2);
  EXPECT_EQ(restored->instances[0], nullptr);
  EXPECT_EQ(restored->instances[1], GetInstanceByHandle(actorHandle)) << "the restored actor, not the old one";
  EXPECT_NE(restored->instances[1], actor);
  ASSERT_NE(GetTakeByHandle(freshHandle), nullptr);
  EXPECT_NE(GetTakeByHandle(freshHandle), fresh);
  // Two takes went and two came, all counted with the cuts.
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], cutBytes);
}

// A restored take is an ordinary take: a script that frees it gives back what the load took.
TEST_F(EngineSave, ARestoredTakeIsFreedLikeAnyOther) {
  AddTake(0)->state = kTakeStopped;
  const std::string bytes = Save();
  Reset();
  const uint32_t cutBytes = gMemCounters.categoryBytes[kMemCatCut];
  ASSERT_EQ(Load(bytes), 1);
  ASSERT_EQ(HashCount(w_.engine().takeTable), 1u);
  TakeRecord* take = GetTakeByHandle(HashNextKey(w_.engine().takeTable, 0));
  ASSERT_NE(take, nullptr);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], cutBytes + sizeof(TakeRecord));
  J3D_TakeFree(take);
  EXPECT_EQ(HashCount(w_.engine().takeTable), 0u);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], cutBytes);
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


// Links that a damaged section names but nothing holds come back null, never as a saved number
// used as a pointer, and the instance stays a free one; a name that lost its NUL still ends
// inside its block.
TEST_F(EngineSave, LinksThatNameNothingBecomeNullAndANameEndsInsideItsBlock) {
  InstanceRecord* a = B3D_InstAlloc();
  InstanceRecord* b = B3D_InstAlloc();
  a->name = DuplicateString("abc");
  const uint32_t ha = a->handle, hb = b->handle;
  std::string bytes = Save();
  Reset();
  const size_t record = 4 + 80 + 12 + 4;
  auto put = [&](size_t at, uint32_t v) {
    StreamBytes w;
    w.Word(v);
    bytes.replace(at, 4, w.bytes);
  };
  ASSERT_EQ(LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data() + record)), ha);
  put(record + 3 * 4, 0xDEAD);  // a parent nothing holds
  put(record + 4 * 4, 0xBEEF);  // a scene nothing holds
  put(record + 91 * 4, hb);     // a linked camera that is no camera
  ASSERT_EQ(bytes.substr(record + 480, 4), std::string("abc\0", 4));
  bytes[record + 480 + 3] = 'd';

  ASSERT_EQ(Load(bytes), 1);
  InstanceRecord* back = GetInstanceByHandle(ha);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->parent, nullptr);
  EXPECT_EQ(back->scene, nullptr);
  EXPECT_EQ(back->linkedCamera, nullptr);
  EXPECT_STREQ(back->name, "abc");
  bool free = false;
  for (ListNode* node = ListFirst(&w_.engine().instances); node; node = ListNext(node))
    free |= InstanceOfNode(node) == back;
  EXPECT_TRUE(free) << "still among the free instances";
  EXPECT_NE(GetInstanceByHandle(hb), nullptr);
}

// A save to a device that takes no byte answers 0, so the container keeps the last good save.
TEST_F(EngineSave, AWriteThatFailsAnswers0) {
  for (int i = 0; i < 3000; ++i) B3D_InstAlloc()->position = FixedVector{i, i * 7, i * 13, 0};
  std::filesystem::create_symlink("/dev/full", "full.sav");
  FileObject file;
  FileObjectInit(&file);
  ASSERT_TRUE(FileOpen(&file, "full.sav", "wbT", false));
  EXPECT_EQ(SaveEngineState(&file), 0);
  FileClose(&file);
}

// A child's scene is its tree's root's, whatever its own word says. A damaged section that names
// a scene for a child of a free tree, or another scene for a child of a member, must not leave
// the child pointing at that scene: once the scene goes, freeing the tree would reach into it
// (the sanitizer reports that read).
TEST_F(EngineSave, AChildTakesItsRootsSceneWhateverItsSceneWordSays) {
  for (const bool member : {false, true}) {
    SCOPED_TRACE(member ? "member tree" : "free tree");
    SceneRecord* home = B3D_SceneAlloc();
    SceneRecord* named = B3D_SceneAlloc();
    InstanceRecord* root = B3D_InstAlloc();
    if (member) AddInstanceToScene(root, home);
    InstanceRecord* child = B3D_InstAlloc();
    B3D_InstAddToInst(child, root);
    const uint32_t homeHandle = home->handle, namedHandle = named->handle, childHandle = child->handle;
    std::string bytes = Save();
    Reset();
    // The free trees follow the first "INST"; a member tree follows its scene's header and "INST".
    const size_t childRecord = (member ? 4 + 80 + 12 + 4 + 4 + 32 + 4 : 4 + 80 + 12 + 4) + 480;
    auto word = [&](size_t i) {
      return LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data() + childRecord + i * 4));
    };
    ASSERT_EQ(word(0), childHandle);
    ASSERT_EQ(word(4), member ? homeHandle : 0u);
    StreamBytes damaged;
    damaged.Word(namedHandle);
    bytes.replace(childRecord + 4 * 4, 4, damaged.bytes);

    ASSERT_EQ(Load(bytes), 1);
    InstanceRecord* back = GetInstanceByHandle(childHandle);
    ASSERT_NE(back, nullptr);
    SceneRecord* loadedHome = GetSceneByHandle(homeHandle);
    EXPECT_EQ(back->scene, member ? loadedHome : nullptr);
    B3D_SceneFree(GetSceneByHandle(namedHandle));
    Reset();  // frees the tree, which leaves the scene its child names
  }
}

// Placed cuts on a game folder with their files: one that only a take names and one that nothing
// names come back loaded with their placements, and the second save is the first.
std::string SaveToFile(const char* name) {
  FileObject file;
  FileObjectInit(&file);
  EXPECT_TRUE(FileOpen(&file, name, "wb", false));
  EXPECT_EQ(SaveEngineState(&file), 1);
  FileClose(&file);
  const auto bytes = TextureWorld::ReadGzip(name);
  return std::string(bytes.begin(), bytes.end());
}

// The demo cut as cuts 1 and 2 of the world's game folder, both loaded and placed at id times
// (100, 200, 300).
void LoadTwoPlacedCuts(EngineTypeWorld& world) {
  const std::string cutText = typetool::CutText(typetool::DemoCut());
  world.WriteLoose("objects/cut/00001.pbd", cutText);
  world.WriteLoose("objects/cut/00002.pbd", cutText);
  for (int32_t id : {1, 2}) {
    CutRecord* cut = J3D_LoadCut(id);
    ASSERT_NE(cut, nullptr) << id;
    cut->originFlags |= 1;
    cut->originPosition = FixedVector{100 * id, 200 * id, 300 * id, 0};
  }
}

TEST(EngineSaveCuts, PlacedCutsNamedOnlyByATakeOrByNothingKeepTheirPlacement) {
  EngineTypeWorld world;
  ASSERT_NO_FATAL_FAILURE(LoadTwoPlacedCuts(world));
  TakeRecord* take = TakeAlloc();
  ASSERT_NE(take, nullptr);
  take->cutHandle = 1;  // named by the take only; cut 2 by nothing
  EnsureLensFlareScene();
  const std::string first = SaveToFile("first.sav");
  ResetEngine3D();
  world.FreeCuts();
  ASSERT_EQ(GetCutByHandle(1), nullptr);

  FileObject file;
  FileObjectInit(&file);
  ASSERT_TRUE(FileOpen(&file, "first.sav", "rb", false));
  EXPECT_EQ(LoadEngineState(&file), 1);
  FileClose(&file);
  for (int32_t id : {1, 2}) {
    const CutRecord* cut = GetCutByHandle(static_cast<uint32_t>(id));
    ASSERT_NE(cut, nullptr) << id;
    EXPECT_TRUE(cut->originFlags & 1) << id;
    EXPECT_EQ(cut->originPosition.y, 200 * id) << id;
  }
  EXPECT_EQ(SaveToFile("second.sav"), first);
  ResetEngine3D();
  world.FreeCuts();
}


// The engine as a running game leaves it for a save: the renderer on the null device, a game
// folder for cut files, and the frame driver's render matrices, so the test draws real frames.
class EngineSaveAfterAFrame : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = types_.world.block();
    savedMatrices_ = gRenderMatrices;
    gRenderMatrices = RenderMatrixSet{&matrices_[0], &matrices_[1], &matrices_[2], &matrices_[3], &matrices_[4]};
  }
  void TearDown() override {
    Reset();
    FreeEffectRegistry();
    gRenderMatrices = savedMatrices_;
    RenderWorld::TearDown();
  }
  // What a load replaces; the take records go alone, the instances their slots name are the world's.
  void Reset() {
    HashTable* table = gEngine3D->takeTable;
    while (uint32_t key = HashNextKey(table, 0)) TakeRecordFree(reinterpret_cast<TakeRecord*>(HashRemove(table, key)));
    ResetEngine3D();
    types_.FreeCuts();
  }
  static std::string SaveNow() { return SaveToFile("frame.sav"); }
  static int32_t LoadNow() {
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, "frame.sav", "rb", false));
    const int32_t ok = LoadEngineState(&file);
    FileClose(&file);
    return ok;
  }

  EngineTypeWorld types_;
  GpuMatrix matrices_[5] = {};
  RenderMatrixSet savedMatrices_{};
};

// Two sections, compared where they first differ (a dump of both would bury the place).
void ExpectSameBytes(const std::string& got, const std::string& expected) {
  const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
  const size_t offset = static_cast<size_t>(at.first - got.begin());
  EXPECT_TRUE(got == expected) << "sizes " << got.size() << " and " << expected.size() << ", first difference at byte "
                               << offset;
}

// A take as a script leaves it once started, with k slots.
TakeRecord* StartedTake(int32_t k) {
  TakeRecord* take = TakeAlloc();
  take->instanceCount = k;
  if (k) {
    take->instances =
        static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * k, k * kTakeSlotNominalBytes));
  }
  take->state = kTakeStopped;
  return take;
}

// Free trees, two scenes with member trees of depth 2, a camera that is an instance's child, names,
// texture animations, dynamic body and cut names, placed cuts that only a take or nothing names,
// and takes with 0 and 2 slots, after a frame drawn over a camera that sees a lens-flare source:
// written, reset, read and written again to the same bytes, with the links back.
TEST_F(EngineSaveAfterAFrame, ABusyEngineComesBackByteForByte) {
  ASSERT_NO_FATAL_FAILURE(LoadTwoPlacedCuts(types_));

  // Dynamic body and cut names; loading the flare types below adds one for the flare's body.
  ASSERT_TRUE(SetAddedBodyRows(3));
  ASSERT_TRUE(SetAddedCutRows(1));
  SetBodyDataName(20000 + 2, "late body");
  SetCutDataName(50000, "late cut");
  // The flare types the frame draws the sun's flare with (read again by every load).
  for (const typetool::TypeFile& file : typetool::DemoTypeFiles())
    if (std::string(file.name) == "Lensflares") types_.WriteTypeFile(file.name, file.fields, false);
  LoadLensflares(gEngine3D);
  ASSERT_GT(gEngine3D->lensFlareTypeCount, 0);
  gSystem->textureOptions |= kTextureOptionLensFlares;

  SceneRecord* first = B3D_SceneAlloc();
  first->systemScale = 0.01f;
  CameraRecord* viewer = B3D_CameraAlloc();
  B3D_CameraAddToScene(viewer, first);
  CameraSetViewport(viewer, 0, kOne, 0, kOne);
  B3D_CameraSetPri(viewer, 3);
  viewer->fieldOfView = 0x2000;
  viewer->cameraFlags |= kCameraLensFlares;
  InstanceRecord* sun = B3D_InstAlloc();
  AddInstanceToScene(sun, first);
  sun->flags |= kInstLensFlareSource;
  sun->flareType = 0;
  B3D_InstSetPos(sun, 0, 0, 5000);
  InstanceRecord* corona = B3D_InstAlloc();
  B3D_InstAddToInst(corona, sun);
  B3D_InstAddToInst(B3D_InstAlloc(), corona);
  B3D_SceneEnable(first);

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
  camera->environmentSource = viewer->instance.handle;
  member->linkedCamera = camera;
  camera->instance.name = DuplicateString("eye");
  // Texture animations on an instance and on the camera (default states: no animation table here).
  grandChild->texAnims = TexAnimCreateRecords(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(grandChild->texAnims, nullptr);
  grandChild->texAnimCount = 2;
  grandChild->texAnims[1].period = 700;
  B3D_CameraSetCausticAnim(camera, 5);
  ASSERT_NE(camera->causticAnim, nullptr);
  camera->causticAnim->anim = 0;
  camera->causticAnim->period = 900;
  StartedTake(0)->scene = second;
  TakeRecord* two = StartedTake(2);
  two->instances[0] = child;
  two->instance = freeChild;
  two->cutHandle = 1;  // cut 1 is named by this take only, cut 2 by nothing

  UpdateEngine3DFrame();
  SceneRecord* flares = gEngine3D->lensFlareScene;
  ASSERT_NE(flares, nullptr) << "the frame makes the lens-flare scene";
  ASSERT_NE(ListFirst(&viewer->nodes), nullptr) << "the camera saw the flare source";
  EXPECT_NE(ListFirst(&flares->members), nullptr) << "the flare's sprites";
  auto handleOf = [](const InstanceRecord* instance) { return instance ? instance->handle : 0u; };
  const uint32_t flareHandle = flares->handle, probeHandle = handleOf(gEngine3D->lensFlareInstance);
  const uint32_t cameraHandle = camera->instance.handle, memberHandle = member->handle;

  const std::string saved = SaveNow();
  EXPECT_EQ(ListFirst(&viewer->nodes), nullptr) << "the per-frame nodes are not saved";
  EXPECT_EQ(ListFirst(&flares->members), nullptr) << "nor the sprites they own";
  Reset();
  ASSERT_EQ(GetCutByHandle(1), nullptr);
  ASSERT_EQ(LoadNow(), 1);
  ExpectSameBytes(SaveNow(), saved);

  ASSERT_NE(gEngine3D->lensFlareScene, nullptr);
  EXPECT_EQ(gEngine3D->lensFlareScene, GetSceneByHandle(flareHandle));
  EXPECT_EQ(handleOf(gEngine3D->lensFlareInstance), probeHandle);
  auto* back = GetCameraByHandle(cameraHandle);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->instance.parent, GetInstanceByHandle(memberHandle));
  ASSERT_NE(back->instance.scene, nullptr);
  EXPECT_EQ(ListRecord<CameraRecord>(ListFirst(&back->instance.scene->cameras)), back);
  EXPECT_EQ(GetInstanceByHandle(memberHandle)->linkedCamera, back);
  EXPECT_TRUE(back->instance.flags2 & kInst2LoadFree100);
  ASSERT_NE(back->causticAnim, nullptr);
  EXPECT_EQ(back->causticAnim->period, 900);
  EXPECT_GE(gEngine3D->bodyDataAddedRows, 3);
  EXPECT_STREQ(gEngine3D->bodyDataRows[BodyDataRowIndex(20000 + 2)].fileName, "late body");
  for (int32_t id : {1, 2}) {
    const CutRecord* cut = GetCutByHandle(static_cast<uint32_t>(id));
    ASSERT_NE(cut, nullptr) << id;
    EXPECT_TRUE(cut->originFlags & 1) << id;
    EXPECT_EQ(cut->originPosition.y, 200 * id) << id;
  }
  // The restored engine draws its next frame with the lens-flare scene it brought back.
  UpdateEngine3DFrame();
  EXPECT_EQ(GetSceneByHandle(flareHandle), gEngine3D->lensFlareScene);
}

}  // namespace
