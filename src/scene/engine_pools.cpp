// The engine state's pools and per-camera records: draw-list nodes, render entries with their
// nodes, camera nodes and entries, the particle pool operations and the render-table cleanup.
// Called by the frame driver, the scene code and shutdown. Allocations are counted in the
// engine's memory statistics; nothing here walks a list it is unlinking from without reading the
// successor first.
#include "core/memory.h"
#include "render/draw_batches.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_records.h"

// ---------------------------------------------------------------------------------------------
// Draw list.

DrawListNode* DrawListNodeAlloc() {
  if (!gEngine3D) return nullptr;
  DrawListNode* node;
  if (ListNode* spare = ListFirst(&gEngine3D->drawNodePool)) {
    ListRemove(spare);
    node = ListRecord<DrawListNode>(spare);
  } else {
    node = EngineAllocRecord<DrawListNode>(kDrawListNodeNominalBytes);
    if (!node) return nullptr;
  }
  ListAddTail(&gEngine3D->drawList, &node->node);
  return node;
}

void DrawListRelease() {
  if (gEngine3D) ListAppendList(&gEngine3D->drawNodePool, &gEngine3D->drawList);
}

// ---------------------------------------------------------------------------------------------
// Render entries.

void FreeRenderEntryNodes(RenderEntry* entry) {
  if (!entry) return;
  LIST_FOR_EACH_SAFE(node, next, &entry->nodes) {
    RenderEntryNode* renderNode = ListRecord<RenderEntryNode>(node);
    VbRecRelease(renderNode);
    ListRemove(node);
    EngineFree(renderNode, kRenderEntryNodeNominalBytes);
  }
  if (entry->node.succ) ListRemove(&entry->node);
  EngineFree(entry, kRenderEntryNominalBytes);
}

RenderEntryNode* RenderEntryNodeGet(RenderEntry* entry, uint16_t key) {
  if (!entry) return nullptr;
  for (ListNode* node = ListFirst(&entry->nodes); node; node = ListNext(node)) {
    RenderEntryNode* renderNode = ListRecord<RenderEntryNode>(node);
    if (renderNode->key == key) return renderNode;
  }
  RenderEntryNode* renderNode = EngineAllocRecord<RenderEntryNode>(kRenderEntryNodeNominalBytes);
  if (!renderNode) return nullptr;
  renderNode->key = key;
  ListAddTail(&entry->nodes, &renderNode->node);
  return renderNode;
}

void RenderEntriesResetPass(SceneRecord* scene) {
  if (!scene) return;
  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    RenderEntry* entry = ListRecord<RenderEntry>(node);
    entry->flags &= ~(kRenderEntrySelected | kRenderEntryBit1);
    entry->count = 0;
    for (ListNode* n = ListFirst(&entry->nodes); n; n = ListNext(n)) VbRecEnsure(ListRecord<RenderEntryNode>(n));
  }
}

// Re-sorts the entries by descending priority; entries of equal priority keep their order.
static void SortRenderEntries(ListHead* list) {
  ListHead sorted;
  ListInit(&sorted);
  while (ListNode* node = ListFirst(list)) {
    ListRemove(node);
    const int32_t priority = ListRecord<RenderEntry>(node)->priority;
    ListNode* at = NodePred(ListTailNode(&sorted));
    while (at != ListHeadNode(&sorted) && ListRecord<RenderEntry>(at)->priority < priority) at = NodePred(at);
    // Insert after `at`.
    NodeSucc(node) = NodeSucc(at);
    NodePred(node) = at;
    NodePred(NodeSucc(at)) = node;
    NodeSucc(at) = node;
  }
  ListAppendList(list, &sorted);
}

void RenderEntriesSelect(SceneRecord* scene) {
  if (!scene) return;
  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    RenderEntry* entry = ListRecord<RenderEntry>(node);
    entry->priority = entry->count > 1 ? static_cast<int32_t>(int64_t{entry->size} * 100 + entry->count) : 0;
  }
  SortRenderEntries(&scene->renderEntries);
  int64_t total = 0;
  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    RenderEntry* entry = ListRecord<RenderEntry>(node);
    if (entry->priority == 0) continue;
    const int64_t amount = int64_t{entry->count} * entry->size;
    if (total + amount >= kRenderEntryBudget) continue;  // a later, smaller entry may still fit
    entry->flags |= kRenderEntrySelected;
    total += amount;
  }
}

void FreeStringTable(HashTable* table) {
  if (!table) return;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, 0)) {
    FreeString(reinterpret_cast<char*>(HashRemove(table, key)));
  }
}

void FreeEngineRenderTables() {
  if (gEngine3D) {
    HashTable* table = gEngine3D->entryTable60;
    if (table) {
      for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, 0)) {
        FreeRenderEntryNodes(reinterpret_cast<RenderEntry*>(HashRemove(table, key)));
      }
    }
    gEngine3D->entryTableWords[0] = gEngine3D->entryTableWords[1] = -1;
  }
  FreeRenderGlobals();
}

// ---------------------------------------------------------------------------------------------
// Camera nodes and entries.

CameraNode* CameraNodeFind(CameraRecord* camera, const InstanceRecord* instance) {
  if (!camera) return nullptr;
  for (ListNode* node = ListFirst(&camera->nodes); node; node = ListNext(node)) {
    CameraNode* cameraNode = ListRecord<CameraNode>(node);
    if (cameraNode->key == instance) return cameraNode;
  }
  return nullptr;
}

CameraEntry* CameraEntryGet(CameraRecord* camera, InstanceRecord* instance) {
  if (!camera) return nullptr;
  for (ListNode* node = ListFirst(&camera->entries); node; node = ListNext(node)) {
    CameraEntry* entry = ListRecord<CameraEntry>(node);
    if (entry->key == instance) return entry;
  }
  CameraEntry* entry = EngineAllocRecord<CameraEntry>(kCameraEntryNominalBytes);
  if (!entry) return nullptr;
  entry->camera = camera;
  entry->key = instance;
  ListAddTail(&camera->entries, &entry->node);
  return entry;
}

void CameraNodeFree(CameraNode* node) {
  if (!node) return;
  for (InstanceRecord*& owned : node->owned) {
    FreeInstance(owned);
    owned = nullptr;
  }
  EngineFree(node, kCameraNodeNominalBytes);
}

void SceneForgetInstance(SceneRecord* scene, const InstanceRecord* instance) {
  if (!scene) return;
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    CameraRecord* camera = ListRecord<CameraRecord>(node);
    if (CameraNode* cameraNode = CameraNodeFind(camera, instance)) {
      ListRemove(&cameraNode->node);
      CameraNodeFree(cameraNode);
    }
  }
}

void FreeAllCameraNodes() {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      while (ListNode* node = ListFirst(&camera->nodes)) {
        ListRemove(node);
        CameraNodeFree(ListRecord<CameraNode>(node));
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Particles.

void ReleaseSceneParticles(SceneRecord* scene) {
  if (!gEngine3D || !scene || !(scene->flags & kSceneBatch)) return;
  LIST_FOR_EACH_SAFE(node, next, &gEngine3D->activeParticles) {
    ParticleRecord* particle = ListRecord<ParticleRecord>(node);
    if (particle->scene != scene) continue;
    ListRemove(node);
    ListAddTail(&gEngine3D->particleFreeList, node);
    particle->state = kParticleFree;
  }
  SceneBatchRelease(scene);
  scene->flags &= ~kSceneBatch;
}

ParticleRecord* TakeParticle() {
  if (!gEngine3D) return nullptr;
  ParticleRecord* particle;
  if (ListNode* node = ListFirst(&gEngine3D->particleFreeList)) {
    particle = ListRecord<ParticleRecord>(node);
    particle->state = kParticleFromFreeList;
  } else {
    // With no free particle the oldest active one is taken over, but only once it has flown.
    ListNode* oldest = ListFirst(&gEngine3D->activeParticles);
    if (!oldest || ListRecord<ParticleRecord>(oldest)->state != kParticleUpdated) return nullptr;
    particle = ListRecord<ParticleRecord>(oldest);
    particle->state = kParticleTakenOver;
  }
  ListRemove(&particle->node);
  ListAddTail(&gEngine3D->activeParticles, &particle->node);
  return particle;
}

void FreeParticlePools() {
  if (!gEngine3D) return;
  for (ListHead* list : {&gEngine3D->particleFreeList, &gEngine3D->activeParticles}) {
    while (ListNode* node = ListFirst(list)) {
      ListRemove(node);
      EngineFree(node, kParticleRecordNominalBytes);
    }
  }
  for (ParticleTypeRow& row : gEngine3D->particleTypes) {
    if (row.kinds) EngineFree(row.kinds, static_cast<uint32_t>(row.kindCount) * kParticleKindNominalBytes);
    row.kinds = nullptr;
    row.kindCount = 0;
  }
  gEngine3D->screenOverlayName = FreeString(gEngine3D->screenOverlayName);
}
