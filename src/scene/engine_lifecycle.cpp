// The scene engine's lifecycle: making the one engine state (tables, lists, the native module,
// the 20000-record particle pool), start-up (name tables, type files, the reserved pools), the
// reset between game runs, the instance sweep before a save game loads, and the shutdown that
// gives every byte back. Called by the game main, the script reset, the save container and the
// shutdown. Never leaves a table null that later code uses: a failed allocation fails start-up.
#include <cstddef>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/virtual_memory.h"
#include "render/instance_parts.h"
#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_cache.h"
#include "scene/cut_files.h"
#include "scene/effect_registry.h"
#include "scene/engine_dispatch.h"
#include "scene/engine_lifecycle.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "scene/take_instances.h"
#include "scene/take_records.h"
#include "script/engine.h"
#include "script/tasks.h"

namespace {

EngineState3D gEngineRecord;

// Address space the body parsers and the key pools commit as they grow.
constexpr size_t kPoolBytes[kEnginePoolCount] = {
    9600000, 38400000, 50400000, 50400000, 19200000, 1600000, 1600000, 1600000, 240000, 400000, 240000,
};
void* gPools[kEnginePoolCount] = {};

void FreeDrawNodes(ListHead* list) {
  while (ListNode* node = ListFirst(list)) {
    ListRemove(node);
    EngineFree(node, kDrawListNodeNominalBytes);
  }
}

// Each take goes with the objects it made from its cut.
void FreeAllTakes() {
  HashTable* table = gEngine3D->takeTable;
  while (const uint32_t key = HashNextKey(table, 0)) {
    if (auto* take = reinterpret_cast<TakeRecord*>(HashGet(table, key))) {
      J3D_TakeFree(take);
    } else {
      HashRemove(table, key);
    }
  }
}

void DestroyTable(HashTable*& table) {
  if (table) HashDestroy(table);
  table = nullptr;
}

void ReleasePools() {
  for (void*& pool : gPools) {
    if (pool) OsRelease(pool);
    pool = nullptr;
  }
}

}  // namespace

int32_t EnginePoolsReserved() {
  int32_t count = 0;
  for (void* pool : gPools) count += pool != nullptr;
  return count;
}

int32_t ParticlePoolCount() {
  if (!gEngine3D) return 0;
  int32_t count = 0;
  for (ListNode* node = ListFirst(&gEngine3D->particleFreeList); node; node = ListNext(node)) ++count;
  for (ListNode* node = ListFirst(&gEngine3D->activeParticles); node; node = ListNext(node)) ++count;
  return count;
}

void FillParticlePool(EngineState3D* state) {
  for (int32_t i = 0; i < kParticlePoolSize; ++i) {
    // A record that cannot be had even after the retry leaves the pool one short.
    auto* particle = static_cast<ParticleRecord*>(EngineAlloc(sizeof(ParticleRecord), kParticleRecordNominalBytes));
    if (!particle) particle = static_cast<ParticleRecord*>(EngineAlloc(sizeof(ParticleRecord), kParticleRecordNominalBytes));
    if (particle) ListAddTail(&state->particleFreeList, &particle->node);
  }
}

bool CreateEngine3D(EngineState3D* state) {
  EngineState3D& e = *state;
  e.gammaValue = 127;
  ListInit(&e.loadedBodies);
  ListInit(&e.scenes);
  ListInit(&e.instances);
  ListInit(&e.drawNodePool);
  ListInit(&e.drawList);
  ListInit(&e.lights);
  ListInit(&e.particleFreeList);
  ListInit(&e.activeParticles);
  ListInit(&e.particleList3);
  e.handleTable = HashCreate();
  e.sceneTable = HashCreate();
  e.bodyCache = HashCreate();
  e.cutTable = HashCreate();
  e.takeTable = HashCreate();
  e.entryTable60 = HashCreate();
  e.entryTableWords[0] = e.entryTableWords[1] = -1;
  e.pbbNameTable = HashCreate();
  e.pbdNameTable = HashCreate();
  e.cutFileNameTable = HashCreate();
  e.shadowAlpha = kDefaultShadowAlpha;
  e.moduleIndex = gScriptEngine ? RegisterNativeModule(gScriptEngine, DispatchEngineNative, kEngineNativeNames,
                                                       nullptr, nullptr, nullptr)
                                : 0;
  e.particleTable = HashCreate();
  FillParticlePool(&e);
  e.effectTable = HashCreate();
  InstallEffectRegistry();
  SetPartTextureRemap(MapEffectTexture);
  return e.handleTable && e.sceneTable && e.bodyCache && e.cutTable && e.takeTable && e.entryTable60 &&
         e.pbbNameTable && e.pbdNameTable && e.cutFileNameTable && e.particleTable && e.effectTable;
}

EngineState3D* InitEngine3D() {
  if (gEngine3D) ExitEngine3D();
  gEngineRecord = EngineState3D{};
  gEngine3D = &gEngineRecord;
  // Every table the engine reads later must exist: a failed one fails start-up here.
  if (!CreateEngine3D(&gEngineRecord) || !AllocCutDataTable() || !AllocBodyDataTable()) {
    ExitEngine3D();
    return nullptr;
  }
  LoadEngineTypeFiles();
  for (int32_t i = 0; i < kEnginePoolCount; ++i) gPools[i] = OsReserve(kPoolBytes[i]);
  HideShadowedBodyFiles();
  HideShadowedBodyFiles();
  return gEngine3D;
}

int32_t LoadSkinsAndIconData() {
  // Materials first: they fix the texture ids the animations and the skins refer to.
  ReadMaterials();
  ReadTextureAnimations();
  LoadIconData();
  LoadSkins();
  if (!gDirect3D) return 0;
  WriteTextureBundleRdf();
  if (gSystem && (gSystem->modeFlags & kModeConvertBodies)) ConvertAllBodies();
  return 1;
}

void ResetEngine3D() {
  if (!gEngine3D) return;
  EngineState3D& e = *gEngine3D;
  e.shadowAlpha = kDefaultShadowAlpha;
  FreeAllTakes();
  FreeDrawNodes(&e.drawList);
  FreeDrawNodes(&e.drawNodePool);
  SceneRecord* lensFlare = e.lensFlareScene;
  for (ListNode* node = ListFirst(&e.scenes); node;) {
    ListNode* next = ListNext(node);
    if (ListRecord<SceneRecord>(node) != lensFlare) B3D_SceneFree(ListRecord<SceneRecord>(node));
    node = next;
  }
  B3D_SceneFree(lensFlare);
  e.lensFlareScene = nullptr;
  while (ListNode* node = ListFirst(&e.instances)) FreeInstance(InstanceOfNode(node));
  FreeUnusedBodies(true);
  FreeBodyRenderData();
}

void FreeAllInstancesForLoad() {
  if (!gEngine3D) return;
  HashTable* table = gEngine3D->handleTable;
  // The keys are taken first: freeing a subtree removes keys the walk has not reached yet.
  std::vector<uint32_t> keys;
  for (uint32_t key = HashNextKey(table, 0); key; key = HashNextKey(table, key)) keys.push_back(key);
  for (const uint32_t key : keys) {
    auto* instance = reinterpret_cast<InstanceRecord*>(HashGet(table, key));
    if (!instance) continue;
    if ((instance->flags2 & kInst2LoadFree100) && !(instance->flags2 & kInst2LoadKeep80)) {
      FreeInstance(instance);
    } else {
      instance->flags2 &= ~(kInst2LoadFree100 | kInst2LoadKeep80);
    }
  }
}

void ExitEngine3D() {
  if (!gEngine3D) return;
  EngineState3D& e = *gEngine3D;
  // The world first, so no instance, scene or take outlives the tables that index it.
  ResetEngine3D();
  FreeLensflareTable();
  FreeCutDataTable();
  FreeBodyDataTable();
  FreeTextureRemap();
  FreeIconSets();
  ReleasePools();
  FreeUnusedBodies(true);
  FreeAllTakes();
  DestroyTable(e.entryTable60);
  DestroyTable(e.cutTable);
  DestroyTable(e.takeTable);
  FreeDrawNodes(&e.drawList);
  FreeDrawNodes(&e.drawNodePool);
  DestroyTable(e.bodyCache);
  DestroyTable(e.handleTable);
  DestroyTable(e.sceneTable);
  for (HashTable** table : {&e.pbbNameTable, &e.pbdNameTable, &e.cutFileNameTable}) {
    FreeStringTable(*table);
    DestroyTable(*table);
  }
  DestroyTable(e.particleTable);
  // Each effect entry gives back its name and its key once.
  FreeEffectRegistry();
  DestroyTable(e.effectTable);
  FreeParticlePools();
  e = EngineState3D{};
  gEngine3D = nullptr;
}
