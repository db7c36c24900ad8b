// The recorder: opens the ".rec" gzip stream, writes its head, then per frame the scene, instance,
// camera and emitter records whose field groups changed since the shadow copies it keeps, the
// deletion records of objects that went, and between frames the drawing records of the texture
// operations; also the name-table writer the save section shares. Called by the engine frame, the
// natives, the texture drawing and the save section. A write that fails ends the recording at
// once (file closed, flag cleared); nothing is ever read back here.
#include "scene/recording.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/particle_records.h"
#include "scene/scene_records.h"

const RecordGroup kSceneGroups[2] = {{kSceneGroupFlags, 1, 0}, {kSceneGroupScale, 1, 1}};

const RecordGroup kInstanceGroups[19] = {
    {0x2, 1, 0},       {0x4, 1, 1},     {0x8, 3, 2},      {0x10, 9, 5},    {0x40, 3, 14},
    {0x80, 1, 17},     {0x100, 1, 18},  {0x200, 1, 19},   {0x100000, 1, 20}, {0x400, 1, 21},
    {0x20, 1, 22},     {0x40000, 3, 23}, {0x800, 1, 26},  {0x1000, 1, 27},  {0x2000, 3, 28},
    {0x4000, 3, 31},   {0x8000, 1, 34}, {0x10000, 1, 35}, {0x80000, 2, 36},
};

const RecordGroup kCameraGroups[12] = {
    {0x1, 1, 0},   {0x2, 3, 1},    {0x4, 9, 4},    {0x8, 1, 13},   {0x10, 1, 14},   {0x20, 1, 15},
    {0x40, 4, 16}, {0x80, 1, 20},  {0x100, 3, 21}, {0x400, 3, 24}, {0x800, 9, 27},  {0x1000, 2, 36},
};

// The particle times (0x100) follow these, with their own count.
const RecordGroup kEmitterGroups[9] = {
    {0x200, 1, 0}, {0x1, 3, 1}, {0x2, 9, 4}, {0x4, 1, 13}, {0x8, 1, 14}, {0x10, 3, 15}, {0x20, 3, 18},
    {0x40, 4, 21}, {0x80, 1, 25},
};

namespace {

constexpr uint32_t kReplayMemFlags = MemCategoryFlags(kMemCatReplay);
// The longest name a name table entry holds: its length is one byte.
constexpr size_t kNameTableMaxName = 255;

// What the recorder last wrote for one object.
struct Shadow {
  int32_t words[kShadowWords];
  uint32_t listWord;
  char* name;  // owned copy
  int32_t timeCount;
  int32_t* times;  // emitter particle times
};

RecordingClock gClock = nullptr;
// Set by the first write that fails; the recording ends when the current call returns.
bool gWriteFailed = false;

// A frame's time word: the game clock in milliseconds, by which the replay paces its frames.
uint32_t FrameTime() { return gSystem ? gSystem->gameTime : 0; }

RecordingState* State() { return gEngine3D ? gEngine3D->recording : nullptr; }

void Put(const void* bytes, size_t n) {
  RecordingState* r = State();
  if (gWriteFailed || !r || !r->file || n == 0) return;
  if (FileWrite(r->file, bytes, 1, n) != n) gWriteFailed = true;
}
void PutTag(const char* tag) { Put(tag, 4); }
void PutWord(uint32_t value) {
  const uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  Put(b, 4);
}
void PutHalf(uint16_t value) {
  const uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
  Put(b, 2);
}
void PutName(const char* name) {
  const size_t length = name ? std::min<size_t>(std::strlen(name), kRecordMaxName) : 0;
  PutWord(static_cast<uint32_t>(length));
  Put(name, length);
}

Shadow* NewShadow() {
  auto* s = static_cast<Shadow*>(MemAlloc(sizeof(Shadow), kReplayMemFlags));
  if (s) std::memset(s, 0, sizeof(Shadow));
  return s;
}

void FreeShadow(Shadow* s) {
  if (!s) return;
  FreeString(s->name);
  if (s->times) MemFree(s->times, sizeof(int32_t) * size_t(s->timeCount), kReplayMemFlags);
  MemFree(s, sizeof(Shadow), kReplayMemFlags);
}

void DestroyShadows(HashTable*& table) {
  if (!table) return;
  for (uint32_t i = 0; table->buckets && i < table->bucketCount; ++i)
    for (HashEntry* e = table->buckets[i]; e; e = e->next) FreeShadow(reinterpret_cast<Shadow*>(e->value));
  HashDestroy(table);
  table = nullptr;
}

// The table's keys in ascending order, so deletion records come in a stable order.
std::vector<uint32_t> SortedKeys(const HashTable* table) {
  std::vector<uint32_t> keys;
  for (uint32_t i = 0; table && table->buckets && i < table->bucketCount; ++i)
    for (const HashEntry* e = table->buckets[i]; e; e = e->next) keys.push_back(e->key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

// The shadow of a handle, made (zeroed, with one retry after the low-memory handler) when the
// handle is new; *isNew tells which. Null when it could not be made.
Shadow* FindShadow(HashTable* table, uint32_t handle, bool* isNew) {
  *isNew = false;
  if (Shadow* s = reinterpret_cast<Shadow*>(HashGet(table, handle))) return s;
  *isNew = true;
  Shadow* s = NewShadow();
  if (!s) return nullptr;
  if (!HashInsert(table, handle, reinterpret_cast<HashValue>(s))) {
    FreeShadow(s);
    return nullptr;
  }
  return s;
}

void CopyVector(const FixedVector& v, int32_t* out) { out[0] = v.x, out[1] = v.y, out[2] = v.z; }
void CopyMatrix(const FixedMatrix& m, int32_t* out) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[r * 3 + c] = m.m[r][c];
}
uint32_t HandleOf(const SceneRecord* scene) { return scene ? scene->handle : 0; }

// The live words of one group of each kind, in stream order.
void SceneValues(const SceneRecord* s, uint32_t bit, int32_t* out) {
  if (bit == kSceneGroupFlags) out[0] = static_cast<int32_t>(s->flags);
  else out[0] = static_cast<int32_t>(static_cast<int64_t>(s->systemScale * 65536.0f));
}

void InstanceValues(const InstanceRecord* i, uint32_t bit, int32_t* out) {
  switch (bit) {
    case 0x2: out[0] = i->parent ? int32_t(i->parent->handle) : 0; break;
    case 0x4: out[0] = int32_t(HandleOf(i->scene)); break;
    case 0x8: CopyVector(i->position, out); break;
    case 0x10: CopyMatrix(i->matrix, out); break;
    case 0x40: CopyVector(i->velocity, out); break;
    case 0x80: out[0] = int32_t(i->words22[0]); break;
    case 0x100: out[0] = int32_t(i->words22[1]); break;
    case 0x200: out[0] = int32_t(i->flags); break;
    case 0x100000: out[0] = int32_t(i->flags2); break;
    case 0x400: out[0] = i->bodyId; break;
    case 0x20: out[0] = i->size; break;
    case 0x40000: CopyVector(i->scale, out); break;
    case 0x800: out[0] = i->soundSample; break;
    case 0x1000: out[0] = i->sizeUsed; break;
    case 0x2000:
      for (int c = 0; c < 3; ++c) out[c] = i->lightColor[c];
      break;
    case 0x4000: out[0] = i->lightParam, out[1] = int32_t(i->words32[0]), out[2] = int32_t(i->words32[1]); break;
    case 0x8000: out[0] = i->overrideEffect; break;
    case 0x10000: out[0] = i->lightRange; break;
    case 0x80000: out[0] = i->extraValue, out[1] = i->linkedPartCount; break;
    default: break;
  }
}

void CameraValues(const CameraRecord* c, uint32_t bit, int32_t* out) {
  switch (bit) {
    case 0x1: out[0] = int32_t(HandleOf(c->instance.scene)); break;
    case 0x2: CopyVector(c->instance.position, out); break;
    case 0x4: CopyMatrix(c->instance.matrix, out); break;
    case 0x8: out[0] = c->priority; break;
    case 0x10: out[0] = int32_t(c->cameraFlags); break;
    case 0x20: out[0] = int32_t(c->bankAngle); break;
    case 0x40: out[0] = c->viewTop, out[1] = c->viewBottom, out[2] = c->viewLeft, out[3] = c->viewRight; break;
    case 0x80: out[0] = int32_t(c->fieldOfView); break;
    case 0x100: std::copy_n(c->background, 3, out); break;
    case 0x400: std::copy_n(c->factors, 3, out); break;
    // The camera keeps no second matrix of its own: the group stays zero and is never written.
    case 0x800: std::fill_n(out, 9, 0); break;
    case 0x1000: out[0] = c->aspectWidth, out[1] = c->aspectHeight; break;
    default: break;
  }
}

void EmitterValues(const EmitterRecord* e, uint32_t bit, int32_t* out) {
  switch (bit) {
    case 0x200: out[0] = e->type; break;
    case 0x1: CopyVector(e->position, out); break;
    case 0x2: CopyMatrix(e->orientation, out); break;
    case 0x4: out[0] = e->intensity; break;
    case 0x8: out[0] = e->previousTime; break;
    case 0x10: CopyVector(e->previousPosition, out); break;
    case 0x20: CopyVector(e->previousVelocity, out); break;
    case 0x40:
      out[0] = e->previousOrientation.w, out[1] = e->previousOrientation.x, out[2] = e->previousOrientation.y,
      out[3] = e->previousOrientation.z;
      break;
    case 0x80: out[0] = int32_t(HandleOf(e->scene)); break;
    default: break;
  }
}

// Sets the bits of the groups whose live words differ from the shadow's, taking the live words
// into the shadow.
template <size_t N, typename Values>
uint32_t CompareGroups(const RecordGroup (&groups)[N], Shadow* s, Values values) {
  uint32_t mask = 0;
  for (const RecordGroup& g : groups) {
    int32_t live[kShadowWords] = {};
    values(g.bit, live);
    if (std::memcmp(live, s->words + g.offset, sizeof(int32_t) * size_t(g.words)) == 0) continue;
    std::memcpy(s->words + g.offset, live, sizeof(int32_t) * size_t(g.words));
    mask |= g.bit;
  }
  return mask;
}

template <size_t N>
void PutGroups(const RecordGroup (&groups)[N], const Shadow* s, uint32_t mask) {
  for (const RecordGroup& g : groups)
    if (mask & g.bit)
      for (int w = 0; w < g.words; ++w) PutWord(static_cast<uint32_t>(s->words[g.offset + w]));
}

// The name group is due whenever the object has a name, and once more when it went away.
uint32_t CompareName(Shadow* s, const char* name, uint32_t bit) {
  if (name && *name) {
    s->name = ReplaceString(s->name, name);
    return bit;
  }
  if (!s->name) return 0;
  s->name = FreeString(s->name);
  return bit;
}

void RecordScene(RecordingState* r, SceneRecord* scene);
void RecordInstance(RecordingState* r, InstanceRecord* instance);

void RecordScene(RecordingState* r, SceneRecord* scene) {
  bool isNew = false;
  Shadow* s = FindShadow(r->scenes, scene->handle, &isNew);
  uint32_t mask = isNew ? kRecordNew : 0;
  if (s) {
    mask |= CompareGroups(kSceneGroups, s, [&](uint32_t bit, int32_t* out) { SceneValues(scene, bit, out); });
    mask |= CompareName(s, scene->name, kSceneGroupName);
  }
  PutTag(kRecordTagScene);
  PutWord(scene->handle);
  PutWord(mask);
  if (s) {
    PutGroups(kSceneGroups, s, mask);
    if (mask & kSceneGroupName) PutName(s->name);
  }
  for (ListNode* n = ListFirst(&scene->members); n; n = ListNext(n)) RecordInstance(r, InstanceOfNode(n));
}

void RecordInstance(RecordingState* r, InstanceRecord* instance) {
  bool isNew = false;
  Shadow* s = FindShadow(r->instances, instance->handle, &isNew);
  uint32_t mask = isNew ? kRecordNew | ((instance->flags & kInstLight) ? kRecordLight : 0) : 0;
  if (s) {
    mask |= CompareGroups(kInstanceGroups, s, [&](uint32_t bit, int32_t* out) { InstanceValues(instance, bit, out); });
    if (mask & 0x400) mask |= 0x20;  // a new body brings its size
    if (s->listWord != instance->word2) s->listWord = instance->word2, mask |= kInstGroupListWord;
    mask |= CompareName(s, instance->name, kInstGroupName);
  }
  if (mask) {
    PutTag(kRecordTagInstance);
    PutWord(instance->handle);
    PutWord(mask);
    if (s) {
      PutGroups(kInstanceGroups, s, mask);
      if (mask & kInstGroupName) PutName(s->name);
    }
  }
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) RecordInstance(r, child);
}

void RecordCamera(RecordingState* r, CameraRecord* camera) {
  bool isNew = false;
  const uint32_t handle = camera->instance.handle;
  Shadow* s = FindShadow(r->cameras, handle, &isNew);
  uint32_t mask = isNew ? kRecordNew | kCameraGroupPriority : 0;
  if (s) {
    mask |= CompareGroups(kCameraGroups, s, [&](uint32_t bit, int32_t* out) { CameraValues(camera, bit, out); });
    mask |= CompareName(s, camera->instance.name, kCameraGroupName);
  }
  if (!mask) return;
  PutTag(kRecordTagCamera);
  PutWord(handle);
  PutWord(mask);
  if (s) {
    PutGroups(kCameraGroups, s, mask);
    if (mask & kCameraGroupName) PutName(s->name);
  }
}

// The last spawn time of each kind; the group is due when the count or a time changed.
uint32_t CompareTimes(Shadow* s, const EmitterRecord* e) {
  const int32_t n = e->emissions ? std::max(e->emissionCount, 0) : 0;
  bool same = n == s->timeCount;
  for (int32_t i = 0; same && i < n; ++i) same = s->times[i] == e->emissions[i].lastSpawnTime;
  if (same) return 0;
  int32_t* times = n ? static_cast<int32_t*>(MemAlloc(sizeof(int32_t) * size_t(n), kReplayMemFlags)) : nullptr;
  if (n && !times) return 0;
  for (int32_t i = 0; i < n; ++i) times[i] = e->emissions[i].lastSpawnTime;
  if (s->times) MemFree(s->times, sizeof(int32_t) * size_t(s->timeCount), kReplayMemFlags);
  s->times = times;
  s->timeCount = n;
  return kEmitterGroupTimes;
}

void RecordEmitter(RecordingState* r, EmitterRecord* emitter) {
  bool isNew = false;
  Shadow* s = FindShadow(r->emitters, emitter->handle, &isNew);
  uint32_t mask = isNew ? kRecordNew : 0;
  if (s) {
    mask |= CompareGroups(kEmitterGroups, s, [&](uint32_t bit, int32_t* out) { EmitterValues(emitter, bit, out); });
    mask |= CompareTimes(s, emitter);
  }
  PutTag(kRecordTagEmitter);
  PutWord(emitter->handle);
  PutWord(mask);
  if (!s) return;
  PutGroups(kEmitterGroups, s, mask);
  if (mask & kEmitterGroupTimes) {
    PutWord(static_cast<uint32_t>(s->timeCount));
    for (int32_t i = 0; i < s->timeCount; ++i) PutWord(static_cast<uint32_t>(s->times[i]));
  }
}

// Writes a deletion record for every shadow whose object is gone, and frees the shadow.
template <typename Gone>
void RecordDeletions(HashTable* table, const char* tag, Gone gone) {
  for (uint32_t handle : SortedKeys(table)) {
    if (!gone(handle)) continue;
    PutTag(tag);
    PutWord(handle);
    PutWord(kRecordFreed);
    FreeShadow(reinterpret_cast<Shadow*>(HashRemove(table, handle)));
  }
}

// A name longer than a length byte can say is written as its first 255 bytes.
bool WriteNameRows(FileObject* file, int32_t count, const char* (*nameOf)(int32_t)) {
  if (!FileWriteInt32BE(file, static_cast<uint32_t>(count))) return false;
  for (int32_t i = 0; i < count; ++i) {
    const char* name = nameOf(i);
    const size_t length = name ? std::min(std::strlen(name), kNameTableMaxName) : 0;
    const uint8_t byte = static_cast<uint8_t>(length);
    if (FileWrite(file, &byte, 1, 1) != 1) return false;
    if (length && FileWrite(file, name, 1, length) != length) return false;
  }
  return true;
}

const char* AddedBodyName(int32_t i) {
  return gEngine3D->bodyDataRows[gEngine3D->bodyDataFixedRows + i].fileName;
}
const char* AddedCutName(int32_t i) { return gEngine3D->cutDataRows[gEngine3D->cutDataFixedRows + i].fileName; }

int32_t AddedBodyRows() { return gEngine3D && gEngine3D->bodyDataRows ? gEngine3D->bodyDataAddedRows : 0; }
int32_t AddedCutRows() { return gEngine3D && gEngine3D->cutDataRows ? gEngine3D->cutDataAddedRows : 0; }

void PutNameTables() {
  RecordingState* r = State();
  if (gWriteFailed || !r || !r->file) return;
  if (!WriteNameTables(r->file)) gWriteFailed = true;
  r->bodyRows = AddedBodyRows();
  r->cutRows = AddedCutRows();
}

// Closes the stream and frees every shadow and the state; "REND" is written first when asked and
// the stream is still sound.
void EndRecording(bool writeEnd) {
  RecordingState* r = State();
  if (r) {
    if (writeEnd) PutTag(kRecordTagEnd);
    DestroyShadows(r->scenes);
    DestroyShadows(r->instances);
    DestroyShadows(r->cameras);
    DestroyShadows(r->emitters);
    if (r->file) {
      FileClose(r->file);
      MemFree(r->file, sizeof(FileObject), 0);
    }
    MemFree(r, sizeof(RecordingState), kReplayMemFlags);
  }
  gWriteFailed = false;
  if (gEngine3D) {
    gEngine3D->recording = nullptr;
    gEngine3D->engineFlags &= ~kEngineRecording;
  }
}

// A write of this call failed: the recording stops here.
void EndIfFailed() {
  if (gWriteFailed) EndRecording(false);
}

}  // namespace

void SetRecordingClock(RecordingClock clock) { gClock = clock; }

int32_t WriteNameTables(FileObject* file) {
  if (!file || !gEngine3D) return 0;
  return WriteNameRows(file, AddedBodyRows(), AddedBodyName) && WriteNameRows(file, AddedCutRows(), AddedCutName)
             ? 1
             : 0;
}

int32_t B3D_InitRecording(const char* name) {
  if (!gEngine3D || !name) return 0;
  if (gEngine3D->recording) B3D_ExitRecording();
  auto* r = static_cast<RecordingState*>(MemAlloc(sizeof(RecordingState), kReplayMemFlags));
  if (!r) return 0;
  std::memset(r, 0, sizeof(RecordingState));
  const size_t length = std::strlen(name);
  std::vector<char> fileName(length + 5);
  std::memcpy(fileName.data(), name, length);
  std::memcpy(fileName.data() + length, ".rec", 5);
  r->file = FileOpenNew(fileName.data(), "wb", false);
  if (!r->file) {
    MemFree(r, sizeof(RecordingState), kReplayMemFlags);
    return 0;
  }
  r->scenes = HashCreate();
  r->instances = HashCreate();
  r->cameras = HashCreate();
  r->emitters = HashCreate();
  gEngine3D->recording = r;
  gEngine3D->engineFlags |= kEngineRecording;
  gWriteFailed = !r->scenes || !r->instances || !r->cameras || !r->emitters;
  PutTag(kRecordTagHead);
  PutWord(kRecordFormat);
  PutWord(gClock ? gClock() : CurrentTimeSeconds());
  PutTag(kRecordTagNames);
  PutNameTables();
  PutTag(kRecordTagFrame);
  PutWord(FrameTime());
  if (gWriteFailed) {
    EndRecording(false);
    return 0;
  }
  return 1;
}

void RecordFrame() {
  RecordingState* r = State();
  if (!r || !(gEngine3D->engineFlags & kEngineRecording)) return;
  PutTag(kRecordTagFrame);
  PutWord(FrameTime());
  if (r->bodyRows != AddedBodyRows() || r->cutRows != AddedCutRows()) {
    PutTag(kRecordTagNames);
    PutNameTables();
  }
  for (ListNode* n = ListFirst(&gEngine3D->scenes); n; n = ListNext(n)) {
    SceneRecord* scene = ListRecord<SceneRecord>(n);
    if (!(scene->flags & kSceneEnabled) || scene == gEngine3D->lensFlareScene) continue;
    RecordScene(r, scene);
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = CameraOfInstance(InstanceOfNode(c));
      if (camera->cameraFlags & kCameraEnabled) RecordCamera(r, camera);
    }
  }
  RecordDeletions(r->scenes, kRecordTagScene, [](uint32_t h) { return GetSceneByHandle(h) == nullptr; });
  RecordDeletions(r->instances, kRecordTagInstance, [](uint32_t h) {
    const InstanceRecord* i = GetInstanceByHandle(h);
    return !i || !i->scene;
  });
  RecordDeletions(r->cameras, kRecordTagCamera, [](uint32_t h) { return GetCameraByHandle(h) == nullptr; });
  for (ListNode* n = ListFirst(&gEngine3D->particleList3); n; n = ListNext(n))
    RecordEmitter(r, ListRecord<EmitterRecord>(n));
  RecordDeletions(r->emitters, kRecordTagEmitter,
                  [](uint32_t h) { return HashGet(gEngine3D->particleTable, h) == 0; });
  EndIfFailed();
}

void B3D_ExitRecording() {
  if (!gEngine3D) return;
  EndRecording(!gWriteFailed);
}

void RecordDrawing(DrawRecord kind, const int32_t* args, const char* text) {
  RecordingState* r = State();
  if (!r || !args || kind >= DrawRecord::Count) return;
  const DrawRecordKind& k = kDrawRecordKinds[static_cast<int>(kind)];
  PutTag(k.tag);
  for (int i = 0; i < k.words; ++i) PutHalf(DrawRecordStoredWord(kind, i, args[i]));
  if (k.text) {
    const int32_t length = std::clamp<int32_t>(args[k.words - 1], 0, kDrawRecordMaxText);
    if (text) Put(text, size_t(length));
  }
  EndIfFailed();
}
