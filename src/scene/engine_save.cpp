// The scene engine's save-game section "B3D ": SaveEngineState writes the header, the dynamic name
// tables, every instance tree (free instances, then per scene its members and cameras), the cut
// placements and the takes; LoadEngineState rebuilds them under their saved handles and links
// them up again. One word table per record kind serves both directions, so writer and reader
// agree word for word. Called by the save container; never stores a pointer in the section and
// never trusts a saved number as one.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "render/effect_cache.h"
#include "render/texture_animation.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/lens_flares.h"
#include "scene/recording.h"
#include "scene/replay.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"

namespace {

constexpr int kHeaderWords = 20;
constexpr int kInstanceWords = 120;
constexpr int kCameraWords = 47;
constexpr int kSceneWords = 8;
constexpr int kCutWords = 13;
constexpr int kTakeWords = 26;
constexpr uint32_t kLoadMarks = kInst2LoadKeep80 | kInst2LoadFree100;
// Bounds on what a damaged section can ask the reader to allocate or nest.
constexpr int32_t kMaxTreeDepth = 512;
constexpr int32_t kMaxNameLength = 1 << 16;
constexpr int32_t kMaxTexAnims = 1 << 12;
constexpr int32_t kMaxTakeSlots = 1 << 16;

// One direction of a word table: saving fills `w` from the record, loading fills the record.
struct WordIo {
  uint32_t* w;
  bool save;
  template <typename T>
  void V(int i, T& field) {
    if (save)
      w[i] = static_cast<uint32_t>(field);
    else
      field = static_cast<T>(w[i]);
  }
  void V(int i, float&) = delete;
  // 16-bit fields travel sign-extended.
  void Short(int i, int16_t& field) {
    if (save)
      w[i] = static_cast<uint32_t>(static_cast<int32_t>(field));
    else
      field = static_cast<int16_t>(w[i]);
  }
  void Short(int i, uint16_t& field) {
    if (save)
      w[i] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(field)));
    else
      field = static_cast<uint16_t>(w[i]);
  }
  void Vector(int i, FixedVector& v) {
    V(i, v.x);
    V(i + 1, v.y);
    V(i + 2, v.z);
  }
  void Matrix(int i, FixedMatrix& m) {
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) V(i + r * 3 + c, m.m[r][c]);
  }
};

// The instance record's words other than its links (3, 4, 91), child count (2), name length (77)
// and the sound channel (56), which the writer and reader handle themselves.
void InstanceTable(WordIo io, InstanceRecord* r) {
  io.V(0, r->handle);
  io.V(1, r->word2);
  io.Vector(5, r->position);
  io.Matrix(8, r->matrix);
  io.V(17, r->size);
  io.Vector(18, r->scale);
  for (int i = 0; i < 3; ++i) io.V(21 + i, r->words15[i]);
  io.V(24, r->scaledSize);
  io.Vector(25, r->world);
  io.Matrix(28, r->worldMatrix);
  io.Vector(37, r->cameraPos);
  io.Vector(40, r->velocity);
  io.Vector(43, r->cameraVelocity);
  for (int i = 0; i < 3; ++i) io.V(46 + i, r->words22[i]);
  io.V(49, r->flags);
  io.V(50, r->flags2);
  io.V(51, r->soundFlags);
  io.V(52, r->word26);
  io.V(53, r->alphaOverride);
  io.V(54, r->bodyId);
  io.V(55, r->soundSample);
  io.V(57, r->sizeUsed);
  for (int i = 0; i < 3; ++i) io.Short(58 + i, r->lightColor[i]);
  io.V(63, r->lightRange);
  for (int i = 0; i < 3; ++i) io.V(64 + i, r->words31[i]);
  io.V(67, r->lightParam);
  io.Short(69, r->collisionMask);
  io.V(70, r->extraValue);
  io.V(71, r->words32[0]);
  io.V(72, r->overrideEffect);
  io.V(73, r->texAnimCount);
  io.V(74, r->words32[1]);
  io.V(75, r->collisionLevel);  // the collision mode the model is rebuilt with
  io.V(76, r->passNumber);
  for (int i = 0; i < 4; ++i) io.V(78 + i, r->colorModifier[i]);
  for (int i = 0; i < 2; ++i) io.V(82 + i, r->colorModifierExtra[i]);
  io.V(84, r->words32[2]);
  io.V(85, r->jobStart);
  io.V(86, r->jobClock);
  io.V(87, r->rangeStart);
  io.V(88, r->rangeEnd);
  io.V(89, r->jobWord);
  io.V(90, r->jobFlags);
  for (int i = 0; i < 4; ++i) io.V(92 + i, r->rotationWords[i]);
  io.Vector(96, r->contact);
  io.Vector(99, r->collisionCentre);
  io.V(104, r->fadeValue);
  io.V(105, r->colorOverride);
  io.V(106, r->textureHandle);
  io.V(107, r->depthBias);
  io.V(108, r->volume);
  io.V(109, r->shadowValue);
  io.V(110, r->lightValue);
  io.V(111, r->flareType);
  io.V(112, r->waitModule);
  io.V(113, r->waitToken);
  io.V(114, r->cutHandle);
  io.V(115, r->pathNumber);
  io.V(116, r->pathWord);
  io.V(117, r->words32[3]);
  // With the size, the vector that places the children scaled with their parent (a 3D text's
  // characters); a save without it (both words 0) leaves such children on the parent's axis.
  io.V(118, r->sizeVector[0]);
  io.V(119, r->sizeVector[1]);
}

// The camera block without its texture count (44) and environment source (46).
void CameraTable(WordIo io, CameraRecord* c) {
  io.V(0, c->cameraFlags);
  io.V(1, c->bankAngle);
  io.V(2, c->viewLeft);
  io.V(3, c->viewRight);
  io.V(4, c->viewTop);
  io.V(5, c->viewBottom);
  io.V(6, c->fieldOfView);
  io.V(7, c->priority);
  for (int i = 0; i < 3; ++i) io.V(8 + i, c->background[i]);
  for (int i = 0; i < 3; ++i) io.V(11 + i, c->factors[i]);
  io.V(23, c->aspectWidth);
  io.V(24, c->aspectHeight);
  io.V(25, c->causticAnimId);
  for (int i = 0; i < 3; ++i) io.V(26 + i, c->words4[i]);
  for (int i = 0; i < 3; ++i) io.V(41 + i, c->fog[i]);
  io.V(45, c->fadeValue);
}

void TakeTable(WordIo io, TakeRecord* t) {
  io.V(0, t->handle);
  io.V(1, t->cutHandle);
  io.V(2, t->waitModule);
  io.V(3, t->waitToken);
  io.Vector(9, t->position);
  io.Matrix(12, t->rotation);
  io.Vector(21, t->velocity);
  io.V(24, t->word);
  io.V(25, t->state);
}

void CutTable(WordIo io, CutRecord* cut) {
  io.Vector(1, cut->originPosition);
  io.Matrix(4, cut->originRotation);
}

uint32_t HandleOf(const InstanceRecord* instance) { return instance ? instance->handle : 0; }
uint32_t HandleOf(const SceneRecord* scene) { return scene ? scene->handle : 0; }

bool Saved(const InstanceRecord* instance) { return (instance->flags2 & kInst2NotSaved) == 0; }

// The table's keys in ascending order, so the bytes depend only on what the table holds.
std::vector<uint32_t> SortedKeys(const HashTable* table) {
  std::vector<uint32_t> keys;
  if (!table) return keys;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

// ---------------------------------------------------------------------------------------------
// Writing.

bool PutTag(FileObject* file, const char* tag) { return FileWriteBytes(file, tag, 4) == 4; }

bool PutWords(FileObject* file, uint32_t* words, int count) {
  const uint32_t bytes = static_cast<uint32_t>(count) * 4;
  return FileWriteWords(file, words, bytes) == bytes;
}

bool PutWord(FileObject* file, uint32_t value) { return PutWords(file, &value, 1); }

int32_t CountSaved(ListHead* list) {
  int32_t n = 0;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node))
    if (Saved(InstanceOfNode(node))) ++n;
  return n;
}

int32_t CountNodes(ListHead* list) {
  int32_t n = 0;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) ++n;
  return n;
}

bool WriteInstanceTree(FileObject* file, InstanceRecord* instance) {
  uint32_t w[kInstanceWords] = {};
  InstanceTable(WordIo{w, true}, instance);
  w[2] = static_cast<uint32_t>(CountNodes(&instance->children));
  w[3] = HandleOf(instance->parent);
  w[4] = HandleOf(instance->scene);
  w[49] &= ~kInstRenderReady;
  w[50] &= ~kLoadMarks;
  w[51] &= ~kInstSoundPlaying;
  w[56] = static_cast<uint32_t>(-1);
  const size_t nameLength = instance->name ? std::strlen(instance->name) + 1 : 0;
  w[77] = static_cast<uint32_t>(nameLength);
  w[91] = instance->linkedCamera ? instance->linkedCamera->instance.handle : 0;
  if (!instance->texAnims) w[73] = 0;
  if (!PutWords(file, w, kInstanceWords)) return false;
  if (w[73] != 0 && !SaveTexAnimStates(instance->texAnimCount, file, instance->texAnims)) return false;
  if (instance->flags & kInstCamera) {
    CameraRecord* camera = CameraOfInstance(instance);
    uint32_t c[kCameraWords] = {};
    CameraTable(WordIo{c, true}, camera);
    c[44] = camera->causticAnim ? 1 : 0;
    c[46] = camera->environmentSource;
    if (!PutWords(file, c, kCameraWords)) return false;
    if (c[44] != 0 && !SaveTexAnimStates(1, file, camera->causticAnim)) return false;
  }
  if (nameLength != 0 && FileWriteBytes(file, instance->name, nameLength) != nameLength) return false;
  for (ListNode* node = ListFirst(&instance->children); node; node = ListNext(node))
    if (!WriteInstanceTree(file, InstanceOfNode(node))) return false;
  return true;
}

bool WriteSavedTrees(FileObject* file, ListHead* list) {
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) {
    InstanceRecord* instance = InstanceOfNode(node);
    if (Saved(instance) && !WriteInstanceTree(file, instance)) return false;
  }
  return true;
}

bool WriteScenes(FileObject* file) {
  if (!PutTag(file, "SCEN")) return false;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (scene->flags & kSceneNotSaved) continue;
    uint32_t w[kSceneWords] = {scene->handle,
                               static_cast<uint32_t>(CountSaved(&scene->members)),
                               scene->flags,
                               static_cast<uint32_t>(CountNodes(&scene->cameras)),
                               static_cast<uint32_t>(static_cast<int32_t>(
                                   static_cast<double>(scene->systemScale) * 10000.0 * 65536.0)),
                               static_cast<uint32_t>(scene->values[0]),
                               static_cast<uint32_t>(scene->values[1]),
                               static_cast<uint32_t>(scene->values[2])};
    if (!PutWords(file, w, kSceneWords) || !PutTag(file, "INST") || !WriteSavedTrees(file, &scene->members))
      return false;
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c))
      if (!WriteInstanceTree(file, InstanceOfNode(c))) return false;
  }
  return true;
}

bool WriteCuts(FileObject* file) {
  std::vector<CutRecord*> placed;
  for (uint32_t key : SortedKeys(gEngine3D->cutTable)) {
    auto* cut = reinterpret_cast<CutRecord*>(HashGet(gEngine3D->cutTable, key));
    if (cut && (cut->originFlags & 1)) placed.push_back(cut);
  }
  if (!PutTag(file, "CUT ") || !PutWord(file, static_cast<uint32_t>(placed.size()))) return false;
  for (CutRecord* cut : placed) {
    uint32_t w[kCutWords] = {cut->handle};
    CutTable(WordIo{w, true}, cut);
    if (!PutWords(file, w, kCutWords)) return false;
  }
  return true;
}

bool WriteTakes(FileObject* file, const std::vector<uint32_t>& keys) {
  if (!PutTag(file, "TAKE")) return false;
  for (uint32_t key : keys) {
    auto* take = reinterpret_cast<TakeRecord*>(HashGet(gEngine3D->takeTable, key));
    uint32_t w[kTakeWords] = {};
    TakeTable(WordIo{w, true}, take);
    const int32_t k = take->instances ? std::max(take->instanceCount, 0) : 0;
    w[4] = static_cast<uint32_t>(k);
    w[7] = HandleOf(take->scene);
    w[8] = HandleOf(take->instance);
    if (!PutWords(file, w, kTakeWords)) return false;
    for (int32_t i = 0; i < k; ++i)
      if (!PutWord(file, HandleOf(take->instances[i]))) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading.

// What the fix-up resolves once every record of the section exists.
struct PendingLinks {
  InstanceRecord* instance;
  uint32_t parent, scene, linkedCamera;
  HashValue replaced;  // the record that held the handle before the load, 0 for none
};

struct LoadState {
  FileObject* file;
  std::vector<PendingLinks> instances;  // in reading order
  std::vector<SceneRecord*> scenes;
  std::vector<TakeRecord*> takes;
  std::vector<HashValue> replacedScenes, replacedTakes;  // by position, as above
  std::unordered_set<uint32_t> handles;                 // instance handles this section named
  bool enabled = false;  // the records are live in the engine from here on
};

// Records that the save brings back take their handles over from those still in the engine (the
// container frees the old ones after every section); a failed load hands the handles back.
bool PutHandle(HashTable* table, uint32_t key, void* record, HashValue* replaced) {
  *replaced = HashGet(table, key);
  HashInsert(table, key, reinterpret_cast<HashValue>(record));
  return HashGet(table, key) == reinterpret_cast<HashValue>(record);
}

void DropHandle(HashTable* table, uint32_t key, void* record, HashValue replaced) {
  if (HashGet(table, key) != reinterpret_cast<HashValue>(record)) return;
  if (replaced)
    HashInsert(table, key, replaced);
  else
    HashRemove(table, key);
}

bool GetTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

bool GetWords(FileObject* file, uint32_t* words, int count) {
  const uint32_t bytes = static_cast<uint32_t>(count) * 4;
  return FileReadWords(file, words, bytes) == bytes;
}

InstanceRecord* LookUpInstance(uint32_t handle) { return handle ? FindEngineHashEntry(handle) : nullptr; }

InstanceRecord* MarkLinked(InstanceRecord* instance) {
  if (instance) instance->flags2 |= kInst2LoadKeep80;
  return instance;
}

void FreeLoadedInstance(InstanceRecord* instance, HashValue replaced) {
  DropHandle(gEngine3D->handleTable, instance->handle, instance, replaced);
  if (instance->texAnims) TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);
  FreeString(instance->name);
  if (instance->flags & kInstCamera) {
    CameraRecord* camera = CameraOfInstance(instance);
    if (camera->causticAnim) TexAnimFreeRecords(1, camera->causticAnim);
    EngineFree(camera, sizeof(CameraRecord));
  } else {
    EngineFree(instance, sizeof(InstanceRecord));
  }
}

// A failed load leaves nothing of the section behind: every record it built goes again.
void FreeLoaded(LoadState* s) {
  for (size_t i = 0; i < s->takes.size(); ++i) {
    TakeRecord* take = s->takes[i];
    DropHandle(gEngine3D->takeTable, take->handle, take, s->replacedTakes[i]);
    TakeRecordFree(take);
  }
  // Every record leaves its list while all of them still exist: one may stand in another's.
  for (PendingLinks& p : s->instances) ListRemove(&p.instance->node);
  for (PendingLinks& p : s->instances) {
    if (gEngine3D->frameWord == p.instance) gEngine3D->frameWord = nullptr;
    if (gEngine3D->lensFlareInstance == p.instance) gEngine3D->lensFlareInstance = nullptr;
    FreeLoadedInstance(p.instance, p.replaced);
  }
  for (size_t i = 0; i < s->scenes.size(); ++i) {
    SceneRecord* scene = s->scenes[i];
    if (gEngine3D->lensFlareScene == scene) gEngine3D->lensFlareScene = nullptr;
    ListRemove(&scene->node);
    DropHandle(gEngine3D->sceneTable, scene->handle, scene, s->replacedScenes[i]);
    EngineFree(scene, sizeof(SceneRecord));
  }
  s->takes.clear();
  s->instances.clear();
  s->scenes.clear();
}

bool ReadTree(LoadState* s, int32_t depth);

bool ReadTrees(LoadState* s, int32_t count, int32_t depth) {
  for (int32_t i = 0; i < count; ++i)
    if (!ReadTree(s, depth)) return false;
  return true;
}

bool ReadName(FileObject* file, InstanceRecord* instance, uint32_t length) {
  if (length == 0) return true;
  if (length > static_cast<uint32_t>(kMaxNameLength)) return false;
  std::vector<char> name(length);
  if (FileReadBytes(file, name.data(), length) != length) return false;
  name[length - 1] = '\0';  // a damaged name still ends inside its block
  instance->name = DuplicateString(name.data());
  return instance->name != nullptr;
}

bool ReadTree(LoadState* s, int32_t depth) {
  if (depth > kMaxTreeDepth) return false;
  uint32_t w[kInstanceWords];
  if (!GetWords(s->file, w, kInstanceWords)) return false;
  const bool isCamera = (w[49] & kInstCamera) != 0;
  const int32_t texAnims = static_cast<int32_t>(w[73]);
  if (w[0] == 0 || texAnims < 0 || texAnims > kMaxTexAnims) return false;
  if (!s->handles.insert(w[0]).second) return false;  // a handle that appears twice
  InstanceRecord* instance = nullptr;
  if (isCamera) {
    if (CameraRecord* camera = EngineAllocRecord<CameraRecord>()) instance = &camera->instance;
  } else {
    instance = EngineAllocRecord<InstanceRecord>();
  }
  if (!instance) return false;
  ListInit(&instance->children);
  ListAddTail(&gEngine3D->instances, &instance->node);
  InstanceTable(WordIo{w, false}, instance);
  s->instances.push_back(PendingLinks{instance, w[3], w[4], w[91], 0});
  instance->texAnimCount = 0;  // until the table exists
  if (!PutHandle(gEngine3D->handleTable, instance->handle, instance, &s->instances.back().replaced)) return false;
  instance->soundChannel = -1;
  instance->subtreeSize = -1;
  instance->flags2 = (instance->flags2 & ~kInst2LoadKeep80) | kInst2LoadFree100;
  if (texAnims != 0) {
    instance->texAnims = LoadTexAnimStates(texAnims, s->file);
    if (!instance->texAnims) return false;
    instance->texAnimCount = texAnims;
  }
  if (isCamera) {
    CameraRecord* camera = CameraOfInstance(instance);
    uint32_t c[kCameraWords];
    if (!GetWords(s->file, c, kCameraWords)) return false;
    CameraTable(WordIo{c, false}, camera);
    camera->environmentSource = c[46];
    ListInit(&camera->nodes);
    ListInit(&camera->entries);
    // Whatever the count says, a camera holds one texture record.
    if (c[44] != 0 && !(camera->causticAnim = LoadTexAnimStates(1, s->file))) return false;
  }
  if (!ReadName(s->file, instance, w[77])) return false;
  if (instance->soundSample > 0) InstSetSound(instance, instance->soundSample);
  if (instance->flags & kInstCollisionMade) B3D_InstMakeRapidBox(instance, instance->collisionLevel);
  if (instance->cutHandle != 0) J3D_LoadCut(static_cast<int32_t>(instance->cutHandle));
  return ReadTrees(s, static_cast<int32_t>(w[2]), depth + 1);
}

bool ReadScenes(LoadState* s, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    uint32_t w[kSceneWords];
    if (!GetWords(s->file, w, kSceneWords)) return false;
    if (w[0] == 0) return false;
    for (SceneRecord* loaded : s->scenes)
      if (loaded->handle == w[0]) return false;
    auto* scene = EngineAllocRecord<SceneRecord>();
    if (!scene) return false;
    ListInit(&scene->members);
    ListInit(&scene->cameras);
    ListInit(&scene->renderEntries);
    scene->handle = w[0];
    scene->flags = w[2];
    // The middle of the interval the writer truncated, so the next save writes the same word.
    scene->systemScale = static_cast<float>((static_cast<int32_t>(w[4]) + 0.5) / 65536.0 * 0.0001);
    for (int v = 0; v < 3; ++v) scene->values[v] = static_cast<int32_t>(w[5 + v]);
    ListAddTail(&gEngine3D->scenes, &scene->node);
    s->scenes.push_back(scene);
    s->replacedScenes.push_back(0);
    if (!PutHandle(gEngine3D->sceneTable, scene->handle, scene, &s->replacedScenes.back())) return false;
    if (!GetTag(s->file, "INST") || !ReadTrees(s, static_cast<int32_t>(w[1]), 0) ||
        !ReadTrees(s, static_cast<int32_t>(w[3]), 0))
      return false;
  }
  return true;
}

bool WouldCycle(const InstanceRecord* child, const InstanceRecord* parent) {
  for (const InstanceRecord* p = parent; p; p = p->parent)
    if (p == child) return true;
  return false;
}

// Links parents, scenes, linked cameras and environment sources by handle. A handle that names
// nothing leaves the link null and the instance where it is.
bool FixUp(LoadState* s) {
  for (PendingLinks& p : s->instances) {
    InstanceRecord* instance = p.instance;
    instance->parent = nullptr;
    instance->scene = nullptr;
    instance->linkedCamera = nullptr;
  }
  for (PendingLinks& p : s->instances) {
    InstanceRecord* instance = p.instance;
    InstanceRecord* parent = LookUpInstance(p.parent);
    if (parent) {
      if (WouldCycle(instance, parent)) return false;
      instance->parent = parent;
      ListRemove(&instance->node);
      ListAddTail(&parent->children, &instance->node);
      instance->flags2 |= kInst2LoadKeep80;
    }
    SceneRecord* scene = p.scene ? GetSceneByHandle(p.scene) : nullptr;
    if (scene) {
      if (instance->flags & kInstCamera) {
        instance->scene = scene;
        ListRemove(&instance->node);
        ListAddTail(&scene->cameras, &instance->node);
        instance->flags2 |= kInst2LoadKeep80;
      } else if (!instance->parent) {
        instance->scene = scene;
        ListRemove(&instance->node);
        ListAddTail(&scene->members, &instance->node);
        instance->flags2 |= kInst2LoadKeep80;
      }
    }
    InstanceRecord* linked = LookUpInstance(p.linkedCamera);
    if (linked && (linked->flags & kInstCamera)) instance->linkedCamera = CameraOfInstance(MarkLinked(linked));
    if (instance->flags & kInstCamera) {
      CameraRecord* camera = CameraOfInstance(instance);
      InstanceRecord* source = LookUpInstance(camera->environmentSource);
      if (source && (source->flags & kInstCamera))
        MarkLinked(source);
      else
        camera->environmentSource = 0;
    }
  }
  // A member's scene is its tree's: a damaged section may name another scene for a child, or
  // one for a child of a free tree, and a scene freed later would leave that child pointing at it.
  for (PendingLinks& p : s->instances) {
    InstanceRecord* instance = p.instance;
    if (!instance->parent || (instance->flags & kInstCamera)) continue;
    const InstanceRecord* root = instance;
    while (root->parent) root = root->parent;
    instance->scene = root->scene;
  }
  return true;
}

bool ReadCuts(LoadState* s) {
  uint32_t count = 0;
  if (!GetTag(s->file, "CUT ") || !GetWords(s->file, &count, 1)) return false;
  for (int32_t i = 0; i < static_cast<int32_t>(count); ++i) {
    uint32_t w[kCutWords];
    if (!GetWords(s->file, w, kCutWords)) return false;
    // A placed cut that nothing loaded yet is loaded here, so its placement is not lost.
    auto* cut = reinterpret_cast<CutRecord*>(HashGet(gEngine3D->cutTable, w[0]));
    if (!cut && w[0] != 0) cut = J3D_LoadCut(static_cast<int32_t>(w[0]));
    if (!cut) continue;
    if (!(cut->originFlags & 1)) {
      cut->originFlags |= 1;
      MatrixFromAngles(&cut->originRotation, 0, 0, 0);
    }
    CutTable(WordIo{w, false}, cut);
  }
  return true;
}

bool ReadTakes(LoadState* s, int32_t count) {
  if (!GetTag(s->file, "TAKE")) return false;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t w[kTakeWords];
    if (!GetWords(s->file, w, kTakeWords)) return false;
    const int32_t k = static_cast<int32_t>(w[4]);
    if (w[0] == 0 || k < 0 || k > kMaxTakeSlots) return false;
    for (TakeRecord* loaded : s->takes)
      if (loaded->handle == w[0]) return false;
    TakeRecord* take = TakeRecordAlloc();
    if (!take) return false;
    TakeTable(WordIo{w, false}, take);
    s->takes.push_back(take);
    s->replacedTakes.push_back(0);
    if (!PutHandle(gEngine3D->takeTable, take->handle, take, &s->replacedTakes.back())) return false;
    take->scene = w[7] ? GetSceneByHandle(w[7]) : nullptr;
    take->instance = MarkLinked(LookUpInstance(w[8]));
    if (take->cutHandle != 0) J3D_LoadCut(static_cast<int32_t>(take->cutHandle));
    if (k == 0) continue;
    take->instances = static_cast<InstanceRecord**>(
        EngineAlloc(sizeof(InstanceRecord*) * k, static_cast<uint32_t>(k) * kTakeSlotNominalBytes));
    if (!take->instances) return false;
    take->instanceCount = k;
    for (int32_t j = 0; j < k; ++j) {
      uint32_t handle = 0;
      if (!GetWords(s->file, &handle, 1)) return false;
      take->instances[j] = MarkLinked(LookUpInstance(handle));
    }
  }
  return true;
}

// New records are numbered on from the highest handle the save brought back, whatever this
// process counted before: every game read back from one save gives its new records the same
// handles (the records from before the load go once the load is done).
void NumberOnFromTheSave(const LoadState& s) {
  uint32_t instances = 0, scenes = 0, takes = 0;
  for (const PendingLinks& p : s.instances) instances = std::max(instances, p.instance->handle);
  for (const SceneRecord* scene : s.scenes) scenes = std::max(scenes, scene->handle);
  for (const TakeRecord* take : s.takes) takes = std::max(takes, take->handle);
  HashSetKeyCounter(gEngine3D->handleTable, instances);
  HashSetKeyCounter(gEngine3D->sceneTable, scenes);
  HashSetKeyCounter(gEngine3D->takeTable, takes);
}

bool LoadSection(LoadState* s) {
  FileObject* file = s->file;
  uint32_t h[kHeaderWords];
  if (!GetTag(file, "B3D ") || !GetWords(file, h, kHeaderWords)) return false;
  gEngine3D->engineFlags = h[2] & ~kEngineRecording;
  gEngine3D->globalFadeValue = static_cast<int32_t>(h[10]);
  if (h[11] <= 255) {
    gEngine3D->gammaValue = static_cast<int32_t>(h[11]);
    GammaRampBuild(h[11]);
  }
  if (!GetTag(file, "NAME") || !ReadBodyNameTables(file)) return false;
  if (!GetTag(file, "INST") || !ReadTrees(s, static_cast<int32_t>(h[0]), 0)) return false;
  if (!GetTag(file, "SCEN") || !ReadScenes(s, static_cast<int32_t>(h[1]))) return false;
  if (!FixUp(s)) return false;
  gEngine3D->lensFlareScene = h[5] ? GetSceneByHandle(h[5]) : nullptr;
  gEngine3D->frameWord = MarkLinked(LookUpInstance(h[6]));
  gEngine3D->lensFlareInstance = MarkLinked(LookUpInstance(h[7]));
  if (!ReadCuts(s) || !ReadTakes(s, static_cast<int32_t>(h[9]))) return false;
  NumberOnFromTheSave(*s);
  s->enabled = true;
  B3D_EnableAllObjects3D();
  EnsureLensFlareScene();
  return GetTag(file, "/B3D");
}

// Without an engine (a save made before start-up built one) the section is the empty one, and
// only the empty one can be read back.
bool PutEmptySection(FileObject* file) {
  uint32_t h[kHeaderWords] = {};
  uint32_t zeros[2] = {};
  return PutTag(file, "B3D ") && PutWords(file, h, kHeaderWords) && PutTag(file, "NAME") && PutWords(file, zeros, 2) &&
         PutTag(file, "INST") && PutTag(file, "SCEN") && PutTag(file, "CUT ") && PutWords(file, zeros, 1) &&
         PutTag(file, "TAKE") && PutTag(file, "/B3D");
}

bool GetEmptySection(FileObject* file) {
  uint32_t h[kHeaderWords];
  uint32_t names[2], cuts;
  return GetTag(file, "B3D ") && GetWords(file, h, kHeaderWords) && h[0] == 0 && h[1] == 0 && h[9] == 0 &&
         GetTag(file, "NAME") && GetWords(file, names, 2) && names[0] == 0 && names[1] == 0 && GetTag(file, "INST") &&
         GetTag(file, "SCEN") && GetTag(file, "CUT ") && GetWords(file, &cuts, 1) && cuts == 0 &&
         GetTag(file, "TAKE") && GetTag(file, "/B3D");
}

}  // namespace

int32_t SaveEngineState(FileObject* file) {
  if (!file) return 0;
  if (!gEngine3D) return PutEmptySection(file) ? 1 : 0;
  if (!PutTag(file, "B3D ")) return 0;
  // The per-frame lens-flare nodes never reach the save; the next frame rebuilds them.
  FreeAllCameraNodes();
  int32_t sceneCount = 0;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s))
    if (!(ListRecord<SceneRecord>(s)->flags & kSceneNotSaved)) ++sceneCount;
  const std::vector<uint32_t> takeKeys = SortedKeys(gEngine3D->takeTable);
  uint32_t h[kHeaderWords] = {};
  h[0] = static_cast<uint32_t>(CountSaved(&gEngine3D->instances));
  h[1] = static_cast<uint32_t>(sceneCount);
  h[2] = gEngine3D->engineFlags;
  h[3] = static_cast<uint32_t>(gEngine3D->halfScreenWidth);
  h[4] = static_cast<uint32_t>(gEngine3D->projectionScale);
  h[5] = HandleOf(gEngine3D->lensFlareScene);
  h[6] = HandleOf(gEngine3D->frameWord);
  h[7] = HandleOf(gEngine3D->lensFlareInstance);
  h[9] = static_cast<uint32_t>(takeKeys.size());
  h[10] = static_cast<uint32_t>(gEngine3D->globalFadeValue);
  h[11] = static_cast<uint32_t>(gEngine3D->gammaValue);
  const bool ok = PutWords(file, h, kHeaderWords) && PutTag(file, "NAME") && WriteNameTables(file) &&
                  PutTag(file, "INST") && WriteSavedTrees(file, &gEngine3D->instances) && WriteScenes(file) &&
                  WriteCuts(file) && WriteTakes(file, takeKeys) && PutTag(file, "/B3D");
  return ok ? 1 : 0;
}

int32_t LoadEngineState(FileObject* file) {
  if (!file) return 0;
  if (!gEngine3D) return GetEmptySection(file) ? 1 : 0;
  LoadState state{file, {}, {}, {}, {}, {}, {}};
  if (LoadSection(&state)) {
    // A take lives only in the table: the one a restored take displaced goes now.
    for (HashValue old : state.replacedTakes) TakeRecordFree(reinterpret_cast<TakeRecord*>(old));
    return 1;
  }
  // Once enabled the records are woven into the engine and stay; before that they all go.
  if (!state.enabled) FreeLoaded(&state);
  return 0;
}
