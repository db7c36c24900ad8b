// The engine state: intrusive lists, handles, the BodyData and CutData rows, the draw-node,
// render-entry and particle pools, the screen mode, shadowed body files and the memory counters.
#include "scene/engine_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/catalog.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/display_modes.h"
#include "render/draw_batches.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"

namespace {

struct Item {
  ListNode node;
  int value;
};

std::vector<int> Values(ListHead* list) {
  std::vector<int> out;
  for (ListNode* n = ListFirst(list); n; n = ListNext(n)) out.push_back(ListRecord<Item>(n)->value);
  return out;
}

// The sentinel invariants every list keeps, whatever it holds.
void ExpectSentinels(ListHead* list) {
  EXPECT_EQ(list->tail, nullptr);
  EXPECT_EQ(NodePred(NodeSucc(ListHeadNode(list))), ListHeadNode(list));
  EXPECT_EQ(NodeSucc(NodePred(ListTailNode(list))), ListTailNode(list));
}

TEST(EngineList, EmptyListPointsFirstAtItsTailWordAndLastAtItself) {
  ListHead list;
  ListInit(&list);
  EXPECT_EQ(list.first, reinterpret_cast<ListNode*>(&list.tail));
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list.last, reinterpret_cast<ListNode*>(&list));
  EXPECT_TRUE(ListIsEmpty(&list));
  EXPECT_EQ(ListFirst(&list), nullptr);
  EXPECT_EQ(ListLast(&list), nullptr);
}

TEST(EngineList, AddAtHeadAndTailRemoveAndSpliceKeepOrderAndSentinels) {
  Item items[5] = {{{}, 0}, {{}, 1}, {{}, 2}, {{}, 3}, {{}, 4}};
  ListHead a, b;
  ListInit(&a);
  ListInit(&b);
  ListAddTail(&a, &items[1].node);
  ListAddTail(&a, &items[2].node);
  ListAddHead(&a, &items[0].node);
  EXPECT_EQ(Values(&a), (std::vector<int>{0, 1, 2}));
  // The first real node's predecessor is the head; the last's successor is the head's tail word.
  EXPECT_EQ(items[0].node.pred, ListHeadNode(&a));
  EXPECT_EQ(items[2].node.succ, ListTailNode(&a));
  ExpectSentinels(&a);

  ListRemove(&items[1].node);
  EXPECT_EQ(Values(&a), (std::vector<int>{0, 2}));
  ListRemove(&items[0].node);
  ListRemove(&items[2].node);
  EXPECT_TRUE(ListIsEmpty(&a));
  ExpectSentinels(&a);

  ListAddTail(&a, &items[0].node);
  ListAddTail(&b, &items[3].node);
  ListAddTail(&b, &items[4].node);
  ListAppendList(&a, &b);
  EXPECT_EQ(Values(&a), (std::vector<int>{0, 3, 4}));
  EXPECT_TRUE(ListIsEmpty(&b));
  ExpectSentinels(&a);
  ExpectSentinels(&b);
  ListAppendList(&a, &b);  // an empty source changes nothing
  EXPECT_EQ(Values(&a), (std::vector<int>{0, 3, 4}));
  ExpectSentinels(&a);
}

TEST(EngineList, WalkThatUnlinksTheNodeItStandsOnVisitsEveryNode) {
  Item items[4] = {{{}, 0}, {{}, 1}, {{}, 2}, {{}, 3}};
  ListHead list, odd;
  ListInit(&list);
  ListInit(&odd);
  for (Item& item : items) ListAddTail(&list, &item.node);
  std::vector<int> visited;
  LIST_FOR_EACH_SAFE(node, next, &list) {
    visited.push_back(ListRecord<Item>(node)->value);
    if (ListRecord<Item>(node)->value % 2) {
      ListRemove(node);
      ListAddTail(&odd, node);
    }
  }
  EXPECT_EQ(visited, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Values(&list), (std::vector<int>{0, 2}));
  EXPECT_EQ(Values(&odd), (std::vector<int>{1, 3}));
}

class EngineStateTest : public ::testing::Test {
 protected:
  EngineFixture fixture_;
  EngineState3D& engine_ = fixture_.engine();
};

TEST_F(EngineStateTest, HandlesStartAtTwoAndZeroNamesNothing) {
  InstanceRecord* first = B3D_InstAlloc();
  InstanceRecord* light = B3D_InstAlloc();
  ASSERT_TRUE(first && light);
  EXPECT_EQ(first->handle, 2u);
  EXPECT_EQ(light->handle, 3u);
  EXPECT_EQ(GetInstanceByHandle(2), first);
  EXPECT_EQ(GetInstanceByHandle(0), nullptr);
  EXPECT_EQ(GetInstanceByHandle(99), nullptr);

  light->flags |= kInstLight;
  EXPECT_EQ(GetCameraByHandle(light->handle), nullptr);
  first->flags |= kInstCamera;
  EXPECT_EQ(GetCameraByHandle(first->handle), CameraOfInstance(first));
  first->flags &= ~kInstCamera;  // freed as the plain instance it was allocated as

  BodyRecord body{};
  ASSERT_TRUE(BodyCacheInsert(0, &body));
  EXPECT_EQ(HashGet(engine_.bodyCache, 1), reinterpret_cast<HashValue>(&body));
  EXPECT_EQ(B3D_FindBody(0), &body);
  EXPECT_EQ(B3D_FindBody(1), nullptr);
  HashRemove(engine_.bodyCache, 1);
  FreeInstance(first);
  FreeInstance(light);
  EXPECT_EQ(HashCount(engine_.handleTable), 0u);
}

TEST_F(EngineStateTest, IdsMapToRowsByTheirRanges) {
  ASSERT_TRUE(AllocBodyDataTable());
  ASSERT_TRUE(AllocCutDataTable());
  engine_.bodyDataAddedRows = 1;  // the first added row exists
  engine_.cutDataAddedRows = 1;
  struct Case {
    bool body;
    int32_t id;
    int32_t row;   // by the mapping rule
    bool inTable;  // with 11000 + 1 body rows and 15000 + 1 cut rows
  };
  const Case kCases[] = {
      {true, 0, 0, true},          {true, 999, 999, true},       {true, 1000, -1, false},
      {true, 5000, -1, false},     {true, 8999, -1, false},      {true, 9000, 0, true},
      {true, 9005, 5, true},       {true, 19999, 10999, true},   {true, 20000, 11000, true},
      {true, 20001, 11001, false}, {true, -1, -1, false},        {false, 0, 0, true},
      {false, 14999, 14999, true}, {false, 15001, 15001, false}, {false, 49999, 49999, false},
      {false, 50000, 15000, true}, {false, 50001, 15001, false}, {false, -3, -1, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE((c.body ? "body " : "cut ") + std::to_string(c.id));
    EXPECT_EQ(c.body ? BodyIdToRow(c.id, engine_.bodyDataFixedRows) : CutIdToRow(c.id, engine_.cutDataFixedRows),
              c.row);
    EXPECT_EQ(c.body ? BodyDataRowIndex(c.id) : CutDataRowIndex(c.id), c.inTable ? c.row : -1);
  }
  FreeBodyDataTable();
  FreeCutDataTable();
}

TEST_F(EngineStateTest, RowAccessorsTreatNegativeIdsAsLoadedAndIgnoreIdsOutsideTheTable) {
  ASSERT_TRUE(AllocBodyDataTable());
  ASSERT_TRUE(AllocCutDataTable());
  EXPECT_EQ(BodyDataIsLoaded(-5), 1);
  EXPECT_EQ(CutIsMarkedAbsent(-5), 1);
  EXPECT_EQ(BodyDataIsLoaded(9005), 0);
  BodyDataSetLoaded(9005);
  EXPECT_EQ(BodyDataIsLoaded(5), 1);  // 9005 and 5 share row 5
  MarkCutAbsent(50000);               // no added rows: nothing to mark
  EXPECT_EQ(CutIsMarkedAbsent(50000), 0);
  EXPECT_EQ(BodyDataSetUnavailable(5000), 0);
  EXPECT_EQ(BodyDataSetUnavailable(7), 1);
  EXPECT_EQ(GetBodyDataField1(7), -1);
  SetBodyDataName(7, "ship");
  SetBodyDataName(5000, "lost");
  EXPECT_STREQ(engine_.bodyDataRows[7].fileName, "ship");
  SetBodyDataName(7, "");
  EXPECT_EQ(engine_.bodyDataRows[7].fileName, nullptr);
  FreeBodyDataTable();
  FreeCutDataTable();
}

TEST_F(EngineStateTest, ClearingDynamicRowsLeavesFirstCountPlusOneBlock) {
  const uint32_t before = gMemCounters.categoryBytes[kMemCatEngine3D];
  ASSERT_TRUE(AllocBodyDataTable());
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D] - before, 336000u);
  // Grown to 1500 added rows, which the table holds in two blocks.
  FreeBodyDataTable();
  engine_.bodyDataFixedRows = kBodyDataFixedRows;
  engine_.bodyDataAddedRows = 1500;
  engine_.bodyDataRows =
      static_cast<BodyDataRow*>(EngineAlloc(sizeof(BodyDataRow) * 13000, 13000 * kBodyDataRowNominalBytes));
  ASSERT_NE(engine_.bodyDataRows, nullptr);
  SetBodyDataName(20000 + 1200, "added");
  BodyDataSetLoaded(20000 + 1200);
  SetBodyDataName(12, "fixed");
  const uint32_t strings = gMemCounters.currentBytes;

  ClearDynamicBodyData();
  EXPECT_EQ(engine_.bodyDataAddedRows, 0);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D] - before, 12000 * kBodyDataRowNominalBytes);
  EXPECT_EQ(strings - gMemCounters.currentBytes, 1000 * kBodyDataRowNominalBytes + sizeof("added"));
  EXPECT_EQ(BodyDataRowIndex(20000), -1);
  EXPECT_STREQ(engine_.bodyDataRows[12].fileName, "fixed");
  FreeBodyDataTable();
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D], before);
}

RenderEntry* AddEntry(SceneRecord* scene, int32_t count, int32_t size) {
  auto* entry = EngineAllocRecord<RenderEntry>(kRenderEntryNominalBytes);
  entry->count = count;
  entry->size = size;
  ListInit(&entry->nodes);
  ListAddTail(&scene->renderEntries, &entry->node);
  return entry;
}

TEST_F(EngineStateTest, RenderEntrySelectionSkipsWhatWouldPassTheBudgetAndTakesLaterSmallerOnes) {
  SceneRecord scene{};
  ListInit(&scene.renderEntries);
  RenderEntry* single = AddEntry(&scene, 1, 5000);   // priority 0: never selected
  RenderEntry* tiny = AddEntry(&scene, 2, 1);        // 2: would pass the budget last
  RenderEntry* medium = AddEntry(&scene, 4, 2740);   // 10960: brings the total to 30960
  RenderEntry* large = AddEntry(&scene, 2, 10000);   // 20000
  RenderEntry* skipped = AddEntry(&scene, 2, 6000);  // 12000: would make 32000
  RenderEntriesSelect(&scene);

  std::vector<RenderEntry*> order;
  for (ListNode* n = ListFirst(&scene.renderEntries); n; n = ListNext(n)) order.push_back(ListRecord<RenderEntry>(n));
  EXPECT_EQ(order, (std::vector<RenderEntry*>{large, skipped, medium, tiny, single}));
  EXPECT_EQ(large->priority, 1000002);
  EXPECT_TRUE(large->flags & kRenderEntrySelected);
  EXPECT_FALSE(skipped->flags & kRenderEntrySelected);
  EXPECT_TRUE(medium->flags & kRenderEntrySelected);
  EXPECT_FALSE(tiny->flags & kRenderEntrySelected);  // 30962 is not below the budget
  EXPECT_FALSE(single->flags & kRenderEntrySelected);

  while (ListNode* n = ListFirst(&scene.renderEntries)) FreeRenderEntryNodes(ListRecord<RenderEntry>(n));
}

TEST_F(EngineStateTest, ParticleTakeOverNeedsAnUpdatedOldestParticle) {
  ParticleRecord a{}, b{};
  a.state = kParticleFromFreeList;
  b.state = kParticleUpdated;
  ListAddTail(&engine_.activeParticles, &a.node);
  ListAddTail(&engine_.activeParticles, &b.node);
  EXPECT_EQ(TakeParticle(), nullptr);  // the oldest has not flown yet
  EXPECT_EQ(ListFirst(&engine_.activeParticles), &a.node);
  EXPECT_EQ(a.state, kParticleFromFreeList);

  a.state = kParticleUpdated;
  EXPECT_EQ(TakeParticle(), &a);
  EXPECT_EQ(a.state, kParticleTakenOver);
  EXPECT_EQ(ListLast(&engine_.activeParticles), &a.node);

  ParticleRecord spare{};
  spare.state = kParticleFree;
  ListAddTail(&engine_.particleFreeList, &spare.node);
  EXPECT_EQ(TakeParticle(), &spare);
  EXPECT_EQ(spare.state, kParticleFromFreeList);
  EXPECT_TRUE(ListIsEmpty(&engine_.particleFreeList));
  EXPECT_EQ(ListLast(&engine_.activeParticles), &spare.node);
  ListInit(&engine_.activeParticles);
}

TEST_F(EngineStateTest, ReleasingSceneParticlesReturnsOnlyThatScenesParticles) {
  SceneRecord scene{}, other{};
  ParticleRecord mine{}, theirs{};
  mine.scene = &scene;
  theirs.scene = &other;
  ListAddTail(&engine_.activeParticles, &mine.node);
  ListAddTail(&engine_.activeParticles, &theirs.node);
  ReleaseSceneParticles(&scene);  // no batch flag: nothing happens
  EXPECT_TRUE(ListIsEmpty(&engine_.particleFreeList));
  scene.flags = kSceneBatch | kSceneEnabled;
  ReleaseSceneParticles(&scene);
  EXPECT_EQ(ListFirst(&engine_.particleFreeList), &mine.node);
  EXPECT_EQ(mine.state, kParticleFree);
  EXPECT_EQ(ListFirst(&engine_.activeParticles), &theirs.node);
  EXPECT_EQ(scene.flags, kSceneEnabled);
  ListInit(&engine_.activeParticles);
  ListInit(&engine_.particleFreeList);
}

TEST_F(EngineStateTest, DrawNodesComeBackFromThePoolAndAnEmptyReleaseChangesNothing) {
  DrawListRelease();
  EXPECT_TRUE(ListIsEmpty(&engine_.drawList));
  EXPECT_TRUE(ListIsEmpty(&engine_.drawNodePool));
  DrawListNode* a = DrawListNodeAlloc();
  DrawListNode* b = DrawListNodeAlloc();
  ASSERT_TRUE(a && b);
  DrawListRelease();
  EXPECT_TRUE(ListIsEmpty(&engine_.drawList));
  const uint32_t bytes = gMemCounters.currentBytes;
  EXPECT_EQ(DrawListNodeAlloc(), a);
  EXPECT_EQ(gMemCounters.currentBytes, bytes);
  EXPECT_EQ(ListFirst(&engine_.drawNodePool), &b->node);
  DrawListRelease();
  EXPECT_EQ(ListFirst(&engine_.drawNodePool), &b->node);  // the spliced list goes to the end
  EXPECT_EQ(ListLast(&engine_.drawNodePool), &a->node);
  while (ListNode* n = ListFirst(&engine_.drawNodePool)) {
    ListRemove(n);
    EngineFree(n, kDrawListNodeNominalBytes);
  }
}

TEST_F(EngineStateTest, ScreenModeGivesHalfTheWidthAndOneAndAQuarterOfThat) {
  struct Case {
    uint32_t width;
    int32_t half;
    int32_t projection;
  };
  const Case kCases[] = {{1024, 512, 640}, {1023, 511, 639}, {801, 400, 500}, {0, 0, 0}};
  for (const Case& c : kCases) {
    DisplayModeRecord mode{};
    mode.width = c.width;
    mode.height = 600;
    mode.refreshRate = 60;
    SetEngineScreenMode(&mode);
    EXPECT_EQ(engine_.screenMode, &mode);
    EXPECT_EQ(engine_.halfScreenWidth, c.half) << c.width;
    EXPECT_EQ(engine_.projectionScale, c.projection) << c.width;
  }
}

TEST_F(EngineStateTest, IconMatricesSelectTheIconsRectangleAndRemapsReplaceListedTextures) {
  IconRecord icons[2] = {{5, 0, 64, 32, 32, 16}, {6, 0, 0, 0, 8, 8}};
  engine_.iconTables[1] = IconSet{0, 256, 128, 2, icons};
  EXPECT_EQ(B3D_GetIconData(1, 6), &icons[1]);
  EXPECT_EQ(B3D_GetIconData(1, 7), nullptr);
  EXPECT_EQ(B3D_GetIconData(10, 5), nullptr);
  EXPECT_EQ(B3D_GetIconData(2, 5), nullptr);
  FixedMatrix m;
  ASSERT_TRUE(IconTextureMatrixAt(1, 5, &m));
  EXPECT_EQ(m.m[0][0], 0x2000);
  EXPECT_EQ(m.m[1][1], 0x2000);
  EXPECT_EQ(m.m[2][0], 0x4000);
  EXPECT_EQ(m.m[2][1], 0x4000);
  EXPECT_EQ(m.m[2][2], 0x10000);
  EXPECT_EQ(m.m[0][1], 0);
  ASSERT_TRUE(IconTextureMatrix(1, 5, 32, 0, 0x20000, 0x8000, &m));
  EXPECT_EQ(m.m[0][0], 0x4000);
  EXPECT_EQ(m.m[1][1], 0x1000);
  EXPECT_EQ(m.m[2][0], 0x6000);
  EXPECT_FALSE(IconTextureMatrixAt(1, 9, &m));
  engine_.iconTables[1] = IconSet{};

  int32_t sources[] = {10, 11};
  int32_t replacements[] = {20, 21};
  TextureRemapRow row{3, nullptr, 2, sources, replacements};
  engine_.textureRemaps = &row;
  engine_.textureRemapCount = 1;
  EXPECT_EQ(MapEffectTexture(11, 3), 21);
  EXPECT_EQ(MapEffectTexture(12, 3), 12);
  EXPECT_EQ(MapEffectTexture(10, 4), 10);
  engine_.textureRemaps = nullptr;
  engine_.textureRemapCount = 0;
}

std::vector<std::string> EntryNames(const Catalog* catalog) {
  std::vector<std::string> names;
  for (int i = 0; i < catalog->count; ++i) names.push_back(catalog->entries[i].name);
  return names;
}

TEST(ShadowedBodyFiles, OnlyTheOlderCataloguesBodyFilesAreHidden) {
  CatalogWorld world(3);
  ASSERT_EQ(world.AddCatalog(0, "01.cat",
                             {{"other.txt", "o"},
                              {"v\\00001.pbd", "old text"},
                              {"v\\00002.pbb", "only here"},
                              {"v\\00003.pbb", "old binary"}}),
            1);
  ASSERT_EQ(world.AddCatalog(1, "02.cat", {{"v\\00001.pbb", "new binary"}, {"v\\00003.pbd", "new text"}}), 1);
  HideShadowedBodyFiles();
  const std::vector<std::string> older = {"OTHER.TXT", "V\\00001.PBX", "V\\00002.PBB", "V\\00003.PBX"};
  const std::vector<std::string> newer = {"V\\00001.PBB", "V\\00003.PBD"};
  EXPECT_EQ(EntryNames(gSystem->catalogs[0]), older);
  EXPECT_EQ(EntryNames(gSystem->catalogs[1]), newer);
  HideShadowedBodyFiles();  // a second pass finds nothing more to hide
  EXPECT_EQ(EntryNames(gSystem->catalogs[0]), older);
  EXPECT_EQ(EntryNames(gSystem->catalogs[1]), newer);
  EXPECT_NE(CatalogLookup("v\\00001.pbb"), nullptr);
  EXPECT_EQ(CatalogFindEntry(gSystem->catalogs[0], "v\\00001.pbd"), nullptr);
}

TEST_F(EngineStateTest, EveryRecordKindGivesBackWhatItCounted) {
  // A table's buckets exist from its first insertion on and stay.
  HashRemove(engine_.handleTable, HashInsertNewKey(engine_.handleTable, 1));
  HashRemove(engine_.entryTable60, HashInsertNewKey(engine_.entryTable60, 1));
  const uint32_t current = gMemCounters.currentBytes;
  const uint32_t engineBytes = gMemCounters.categoryBytes[kMemCatEngine3D];

  InstanceRecord* root = B3D_InstAlloc();
  InstanceRecord* child = B3D_InstAlloc();
  ASSERT_TRUE(root && child);
  ListRemove(&child->node);
  ListAddTail(&root->children, &child->node);
  child->parent = root;
  root->name = DuplicateString("root");
  FixedMatrix uv{};
  ASSERT_TRUE(B3D_InstSetAnimTextureCoords(child, 7, &uv));

  SceneRecord scene{};
  ListInit(&scene.cameras);
  ListInit(&scene.renderEntries);
  auto* camera = EngineAllocRecord<CameraRecord>();
  ListInit(&camera->nodes);
  ListInit(&camera->entries);
  ListAddTail(&scene.cameras, &camera->instance.node);
  auto* node = EngineAllocRecord<CameraNode>(kCameraNodeNominalBytes);
  node->key = root;
  node->owned[3] = B3D_InstAlloc();
  ListAddTail(&camera->nodes, &node->node);
  ASSERT_NE(CameraEntryGet(camera, root), nullptr);
  EXPECT_EQ(CameraEntryGet(camera, root), CameraEntryGet(camera, root));
  EXPECT_EQ(CameraNodeFind(camera, root), node);

  RenderEntry* entry = AddEntry(&scene, 2, 3);
  ASSERT_NE(RenderEntryNodeGet(entry, 4), nullptr);
  EXPECT_EQ(RenderEntryNodeGet(entry, 4), RenderEntryNodeGet(entry, 4));
  RenderEntriesResetPass(&scene);
  EXPECT_NE(RenderEntryNodeGet(entry, 4)->vertexBuffer, nullptr);
  ASSERT_TRUE(HashInsert(engine_.entryTable60, 9, reinterpret_cast<HashValue>(entry)));

  for (int i = 0; i < 3; ++i) {
    auto* particle = EngineAllocRecord<ParticleRecord>(kParticleRecordNominalBytes);
    ListAddTail(i ? &engine_.particleFreeList : &engine_.activeParticles, &particle->node);
  }
  engine_.particleTypes[4].kindCount = 2;
  engine_.particleTypes[4].kinds =
      static_cast<ParticleKind*>(EngineAlloc(2 * sizeof(ParticleKind), 2 * kParticleKindNominalBytes));
  engine_.screenOverlayName = DuplicateString("overlay");
  engine_.iconTables[2].iconCount = 3;
  engine_.iconTables[2].icons =
      static_cast<IconRecord*>(EngineAlloc(3 * sizeof(IconRecord), 3 * kIconRecordNominalBytes));
  EXPECT_GT(gMemCounters.currentBytes, current);

  SceneForgetInstance(&scene, root);
  EXPECT_EQ(CameraNodeFind(camera, root), nullptr);
  FreeEngineRenderTables();
  EXPECT_TRUE(ListIsEmpty(&scene.renderEntries));
  EXPECT_EQ(engine_.entryTableWords[0], -1);
  EXPECT_EQ(engine_.entryTableWords[1], -1);
  FreeParticlePools();
  FreeIconSets();
  while (ListNode* n = ListFirst(&camera->entries)) {
    ListRemove(n);
    EngineFree(n, kCameraEntryNominalBytes);
  }
  EngineFree(camera, sizeof(CameraRecord));
  FreeInstance(root);
  EXPECT_EQ(HashCount(engine_.handleTable), 0u);
  EXPECT_EQ(gMemCounters.currentBytes, current);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D], engineBytes);
}

}  // namespace
