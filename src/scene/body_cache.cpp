// The body cache: LoadBody (one hash probe on a hit), the missing marks of the BodyData rows,
// binding a body to an instance, the sweeps that free bodies and the cut frees that take their
// private bodies along. Called by the scene code, the natives, the save writer, the low-memory
// handler and the lifecycle. Never hands out a body whose parts were freed.
#include "scene/body_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/os.h"
#include "render/body_meshes.h"
#include "scene/body_binary.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/instance_collision.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_records.h"

namespace {

constexpr const char* kBodyTypes = "pbb bob pbd bod";
// Body flags that carry over to the instances bound to the body.
constexpr uint32_t kBodyInstanceFlags = 0x40;  // flags 0x100000 and 0x08000000
constexpr uint32_t kBodyPrivateCopy = 0x08;    // flag2 0x20
constexpr uint32_t kBodyPartRapidBox = 0x10;
int32_t gLowMemoryCounter = 0;

void NoteFileName(HashTable* table, int32_t id, const std::string& path, const char* extension) {
  if (!gEngine3D || !(gEngine3D->engineFlags & kEngineNoteFileNames) || !table || id == 0) return;
  const std::string full = path + extension;
  if (char* old = reinterpret_cast<char*>(HashRemove(table, static_cast<uint32_t>(id)))) FreeString(old);
  HashInsert(table, static_cast<uint32_t>(id), reinterpret_cast<HashValue>(DuplicateString(full.c_str())));
}

bool ConvertingBodies() { return gSystem && (gSystem->modeFlags & kModeConvertBodies); }

BodyRecord* ReadBodyFile(int32_t id) {
  std::string name;
  B3D_GetBodyFilename(&name, id, 1);
  if (name.empty()) {
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, "v\\%05d", static_cast<int>(id));
    name = buffer;
  }
  const std::string path =
      BodyFolderName(gSystem && gSystem->product ? gSystem->product->objectsTemplate : nullptr, name);
  DataReader reader{};
  DataReaderOpenFile(&reader, path.c_str(), kBodyTypes, kBodySectionTable, kBodySectionCount);
  if (!reader.base) {
    DataReaderClose(&reader);
    return nullptr;
  }
  if (reader.size >= 3 && std::memcmp(reader.base, "BOB", 3) == 0) {
    NoteFileName(gEngine3D->pbbNameTable, id, path, ".pbb");
    return ReadBodyBinary(id, &reader);
  }
  NoteFileName(gEngine3D->pbdNameTable, id, path, ".pbd");
  BodyRecord* body = ParseBodyText(id, &reader);
  if (body && ConvertingBodies()) WriteBodyBinary(body);
  return body;
}

// Counts one use on the row of each body of the tree.
void CountTreeUses(InstanceRecord* instance) {
  const int32_t row = BodyDataRowIndex(instance->bodyId);
  if (row >= 0) gEngine3D->bodyDataRows[row].useCount += 1;
  for (ListNode* child = ListFirst(&instance->children); child; child = ListNext(child)) {
    CountTreeUses(InstanceOfNode(child));
  }
}

}  // namespace

int32_t BodyLowMemoryCounter() { return gLowMemoryCounter; }

void RaiseBodyLowMemoryCounter() {
  if (gLowMemoryCounter < kLowMemoryCounterLimit) ++gLowMemoryCounter;
}

BodyRecord* LoadBody(int32_t id) {
  if (!gEngine3D) return nullptr;
  BodyRecord* body = B3D_FindBody(id);
  if (!body) {
    if (id < 0 || BodyDataIsLoaded(id)) return nullptr;
    body = ReadBodyFile(id);
    if (body && body->meshCount <= 0) {
      FreeBody(body);
      body = nullptr;
    }
    if (!body) {
      BodyDataSetLoaded(id);  // the missing mark: the file is not looked for again
      return nullptr;
    }
  }
  body->lastUse = 0;
  if (!(body->flags & kBodyOwnMaterials) && body->meshCount > 3 && body->materialCount > 1) {
    BodyMesh* last = body->meshes[body->meshCount - 1];
    if (last && last->partCount > 0 && last->parts) {
      for (int32_t p = 0; p < last->partCount; ++p) {
        BodyPart* part = last->parts[p];
        for (int32_t g = 0; part && g < part->groupCount; ++g) part->groups[g].material = kLastPartMaterial;
      }
    }
  }
  return body;
}

bool InstEnsureBodyMeshes(InstanceRecord* instance) {
  const int32_t id = instance ? instance->bodyId : -1;
  return BodyCreateMeshes(id >= 0 ? LoadBody(id) : nullptr);
}

bool BodyReleaseMeshesById(InstanceRecord* instance) {
  BodyRecord* body = instance && gEngine3D ? B3D_FindBody(instance->bodyId) : nullptr;
  if (!body) return false;
  BodyReleaseUse(body);
  return true;
}

bool IsBodyAvailable(int32_t id) {
  if (id >= kFirstCutBodyId) return true;
  if (id < 0 || BodyDataIsLoaded(id)) return false;
  return LoadBody(id) != nullptr;
}

bool B3D_InstSetBody(InstanceRecord* instance, int32_t id) {
  if (!instance) return false;
  if (instance->bodyId != 0 && instance->bodyId == id) return true;
  BodyRecord* body = id < 0 ? nullptr : LoadBody(id);
  if (!body) return false;
  // Children made for the previous body go with it.
  for (ListNode* child = ListFirst(&instance->children); child;) {
    ListNode* next = ListNext(child);
    if (InstanceOfNode(child)->flags & kInstScaledWithParent) FreeInstance(InstanceOfNode(child));
    child = next;
  }
  const bool enabled = instance->scene && (instance->scene->flags & kSceneEnabled);
  if (enabled) InstReleaseRenderData(instance);
  instance->bodyId = id;
  const BodyMesh* first = body->meshCount > 0 ? body->meshes[0] : nullptr;
  instance->size = first ? first->size : 0;
  instance->scale = FixedVector{kFixedOne, kFixedOne, kFixedOne, 0};
  instance->sizeVector[0] = instance->size;
  instance->subtreeSize = -1;
  instance->soundSample = body->sound.sample;
  FreeString(instance->name);
  instance->name = body->name ? DuplicateString(body->name) : nullptr;
  if (body->flags & kBodyInstanceFlags) instance->flags |= kInstInvisible | kInstNoSweepHit;
  if (body->flags & kBodyPrivateCopy) instance->flags2 |= kInst2HasLinkedParts;
  for (int32_t m = 0; m < body->meshCount; ++m) {
    const BodyMesh* mesh = body->meshes[m];
    for (int32_t p = 0; mesh && p < mesh->partCount; ++p) {
      if (mesh->parts[p] && (mesh->parts[p]->flags & kBodyPartRapidBox)) B3D_InstMakeRapidBox(instance, 0);
    }
  }
  if (enabled && !(instance->flags & kInstRenderReady)) InstPrepareRenderData(instance);
  return true;
}

bool InstSetSound(InstanceRecord* instance, int32_t sample) {
  if (!instance || instance->bodyId < 0) return false;
  BodyRecord* body = LoadBody(instance->bodyId);
  if (!body) return false;
  body->sound = BodySound{static_cast<int16_t>(sample), 1, {180, 60}, {0, 0, -kFixedOne}, {-1, -1}, {255, 255}};
  instance->soundSample = sample;
  return true;
}

void FreeEveryLoadedBody() {
  if (!gEngine3D) return;
  while (ListNode* node = ListFirst(&gEngine3D->loadedBodies)) FreeBody(ListRecord<BodyRecord>(node));
}

void FreeUnusedBodies(bool all) {
  if (!all && gSystem && gSystem->physicalMemoryMB >= kBodyKeepMemoryMB) {
    gLowMemoryCounter = 0;
    return;
  }
  FreeAllCuts();
  FreeEveryLoadedBody();
  gLowMemoryCounter = 0;
}

void BodyCacheTick() {
  if (!gEngine3D) return;
  const int32_t now = gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0;
  for (ListNode* node = ListFirst(&gEngine3D->loadedBodies); node;) {
    ListNode* next = ListNext(node);
    BodyRecord* body = ListRecord<BodyRecord>(node);
    if (body->lastUse != 0 && body->id < kFirstCutBodyId && now - body->lastUse > 1) FreeBody(body);
    node = next;
  }
}

void FreeBodiesNotInUse() {
  EngineState3D* e = gEngine3D;
  if (!e || !e->bodyDataRows) return;
  const int32_t rows = e->bodyDataFixedRows + e->bodyDataAddedRows;
  for (int32_t r = 0; r < rows; ++r) e->bodyDataRows[r].useCount = 0;
  for (ListNode* node = ListFirst(&e->instances); node; node = ListNext(node)) CountTreeUses(InstanceOfNode(node));
  for (ListNode* s = ListFirst(&e->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) CountTreeUses(InstanceOfNode(m));
  }
  for (ListNode* node = ListFirst(&e->loadedBodies); node;) {
    ListNode* next = ListNext(node);
    BodyRecord* body = ListRecord<BodyRecord>(node);
    const int32_t row = BodyDataRowIndex(body->id);
    if (row >= 0 && e->bodyDataRows[row].useCount == 0) FreeBody(body);
    node = next;
  }
}

void J3D_FreeCut(CutRecord* cut) {
  if (!cut) return;
  if (gEngine3D && HashGet(gEngine3D->cutTable, cut->handle) == reinterpret_cast<HashValue>(cut)) {
    HashRemove(gEngine3D->cutTable, cut->handle);
  }
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    const int32_t id = static_cast<int32_t>(cut->paths[p].lookupWord);
    if (id >= kFirstCutBodyId) FreeBody(B3D_FindBody(id));
  }
  FreeCut(cut);
}

void FreeAllCuts() {
  if (!gEngine3D || !gEngine3D->cutTable) return;
  while (const uint32_t key = HashNextKey(gEngine3D->cutTable, 0)) {
    auto* cut = reinterpret_cast<CutRecord*>(HashGet(gEngine3D->cutTable, key));
    if (!cut) {
      HashRemove(gEngine3D->cutTable, key);
      continue;
    }
    J3D_FreeCut(cut);
  }
}

void ConvertAllBodies() {
  OsFindData found{};
  const intptr_t handle = OsFindFirst("v\\*.*", &found);
  if (handle == kOsFindInvalid) return;
  do {
    const size_t length = std::strlen(found.name);
    if (length > 4 && strcasecmp(found.name + length - 4, ".pbd") == 0) {
      const long id = std::strtol(found.name, nullptr, 10);
      if (id >= 0 && id <= INT32_MAX) LoadBody(static_cast<int32_t>(id));
    }
  } while (OsFindNext(handle, &found) == 0);
  OsFindClose(handle);
}

void FreeBodyRenderData() {
  // The parts' render objects belong to the renderer, which holds none while no body is drawn;
  // a cached body keeps its parts whole, so a later cache hit finds them.
}
