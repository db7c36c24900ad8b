// The replay reader: the head and name tables of a ".rec" stream, the per-frame dispatch of its
// object and drawing records, the shadows that map recorded handles to the live objects replay
// made, and the teardown that frees them. Called by the natives and the engine frame. Reads only
// through the field tables shared with the recorder; any short read, oversized name or count, or
// out-of-range type ends the replay as "REND" does. Shadows keep live handles, never pointers to
// objects others may free (emitters, which only replay owns, excepted).
#include "scene/replay.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/device_lights.h"
#include "render/render_matrices.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/draw_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/particles.h"
#include "scene/recording.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/texture_drawing.h"

namespace {

constexpr uint32_t kReplayMemFlags = MemCategoryFlags(kMemCatReplay);
// The most added body or cut rows a name table may make: beyond them, as beyond the longest name
// a record carries, the stream is taken as damaged.
constexpr int32_t kMaxAddedRows = 100000;
// Nominal (32-bit) sizes of the emitter records replay makes.
constexpr uint32_t kEmitterNominalBytes = 52 * 4;
constexpr uint32_t kEmissionNominalBytes = 8 * 4;

// What replay last read for one recorded object, and the live object it made.
struct Shadow {
  int32_t words[kShadowWords];
  uint32_t live;           // handle of the live scene, instance or camera
  EmitterRecord* emitter;  // the live emitter
};

ReplayState* State() { return gEngine3D ? gEngine3D->replay : nullptr; }
uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// Stream reads; a short read marks the replay failed and reads as zero.
bool ReadBytes(ReplayState* r, void* out, size_t n) {
  if (r->failed) return false;
  if (n == 0) return true;
  if (FileReadBytes(r->file, out, n) != n) {
    r->failed = true;
    std::memset(out, 0, n);
    return false;
  }
  return true;
}
uint32_t ReadWord(ReplayState* r) {
  uint8_t b[4] = {};
  ReadBytes(r, b, 4);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
uint16_t ReadHalf(ReplayState* r) {
  uint8_t b[2] = {};
  ReadBytes(r, b, 2);
  return static_cast<uint16_t>(b[0] << 8 | b[1]);
}
bool ReadTag(ReplayState* r, char tag[4]) { return ReadBytes(r, tag, 4); }
bool IsTag(const char tag[4], const char* name) { return std::memcmp(tag, name, 4) == 0; }

// A name field (length word and bytes); false (the replay failed) for a length beyond reason.
bool ReadName(ReplayState* r, std::string* out) {
  const uint32_t length = ReadWord(r);
  if (r->failed) return false;
  if (length > kRecordMaxName) {
    r->failed = true;
    return false;
  }
  out->assign(length, '\0');
  return ReadBytes(r, out->data(), length);
}

// The words of the groups in the mask, read into the shadow's word array.
template <size_t N>
void ReadGroups(ReplayState* r, const RecordGroup (&groups)[N], uint32_t mask, int32_t* words) {
  for (const RecordGroup& g : groups)
    if (mask & g.bit)
      for (int w = 0; w < g.words; ++w) words[g.offset + w] = static_cast<int32_t>(ReadWord(r));
}

Shadow* NewShadow() {
  auto* s = static_cast<Shadow*>(MemAlloc(sizeof(Shadow), kReplayMemFlags));
  if (s) std::memset(s, 0, sizeof(Shadow));
  return s;
}
void FreeShadow(Shadow* s) {
  if (s) MemFree(s, sizeof(Shadow), kReplayMemFlags);
}
Shadow* Lookup(HashTable* table, uint32_t handle) { return reinterpret_cast<Shadow*>(HashGet(table, handle)); }
void Drop(HashTable* table, uint32_t handle) { FreeShadow(reinterpret_cast<Shadow*>(HashRemove(table, handle))); }
// A zeroed shadow entered under the handle; null when it cannot be made.
Shadow* MakeShadow(HashTable* table, uint32_t handle) {
  Shadow* s = NewShadow();
  if (s && !HashInsert(table, handle, reinterpret_cast<HashValue>(s))) {
    FreeShadow(s);
    return nullptr;
  }
  return s;
}

template <typename Visit>
void ForEachShadow(HashTable* table, Visit visit) {
  for (uint32_t i = 0; table && table->buckets && i < table->bucketCount; ++i)
    for (HashEntry* e = table->buckets[i]; e; e = e->next) visit(e->key, reinterpret_cast<Shadow*>(e->value));
}

void SetVector(FixedVector* v, const int32_t* w) { v->x = w[0], v->y = w[1], v->z = w[2]; }
void SetMatrix(FixedMatrix* m, const int32_t* w) {
  for (int row = 0; row < 3; ++row) {
    for (int c = 0; c < 3; ++c) m->m[row][c] = w[row * 3 + c];
    m->m[row][3] = 0;
  }
}

// The recorded scale, snapped to the power of ten it stands for; very large or small values stay.
float SnapScale(float v) {
  struct Band {
    float above, upTo, power;
  };
  static const Band kBands[] = {{300.0f, 3000.0f, 1000.0f}, {30.0f, 300.0f, 100.0f},   {3.0f, 30.0f, 10.0f},
                                {0.3f, 3.0f, 1.0f},        {0.03f, 0.3f, 0.1f},       {0.003f, 0.03f, 0.01f},
                                {0.0003f, 0.003f, 0.001f}, {0.00003f, 0.0003f, 0.0001f}};
  if (v > 300.0f && v < 3000.0f) return 1000.0f;
  for (const Band& b : kBands)
    if (v > b.above && v <= b.upTo) return b.power;
  return v;
}

SceneRecord* LiveScene(uint32_t recorded) {
  ReplayState* r = State();
  const Shadow* s = recorded ? Lookup(r->scenes, recorded) : nullptr;
  return s ? GetSceneByHandle(s->live) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Object records.

void ReplayScene(ReplayState* r) {
  const uint32_t handle = ReadWord(r), mask = ReadWord(r);
  if (r->failed) return;
  if (mask & kRecordFreed) {
    // The live scene stays on screen; it is freed with the replay.
    if (Shadow* s = Lookup(r->scenes, handle)) {
      if (s->live) HashInsert(r->droppedScenes, s->live, 1);
      Drop(r->scenes, handle);
    }
    return;
  }
  Shadow* s = Lookup(r->scenes, handle);
  SceneRecord* scene = s ? GetSceneByHandle(s->live) : nullptr;
  if (!s && (s = MakeShadow(r->scenes, handle)) != nullptr) {
    scene = B3D_SceneAlloc();
    if (scene) {
      B3D_SceneEnable(scene);
      s->live = scene->handle;
    }
  }
  int32_t words[kShadowWords] = {};
  ReadGroups(r, kSceneGroups, mask, words);
  std::string name;
  if (mask & kSceneGroupName) ReadName(r, &name);
  if (r->failed || !scene) return;
  if (mask & kSceneGroupFlags) scene->flags = static_cast<uint32_t>(words[0]);
  if (mask & kSceneGroupScale) scene->systemScale = SnapScale(static_cast<float>(static_cast<uint32_t>(words[1])) / 65536.0f);
  if (mask & kSceneGroupName) B3D_SceneSetName(scene, name.c_str());
}

// Bits that say what a record is and which arrays it holds stay the live instance's own.
constexpr uint32_t kOwnFlags = kInstCamera | kInstLight | kInstCollisionMade;
constexpr uint32_t kOwnFlags2 = kInst2HasLinkedParts | kInst2HasTexAnim;

void ApplyInstance(InstanceRecord* i, uint32_t mask, const int32_t* w, const std::string& name) {
  const auto word = [&](uint32_t bit) {
    for (const RecordGroup& g : kInstanceGroups)
      if (g.bit == bit) return w + g.offset;
    return w;
  };
  if (mask & 0x8) SetVector(&i->position, word(0x8));
  if (mask & 0x10) SetMatrix(&i->matrix, word(0x10));
  if (mask & 0x40) SetVector(&i->velocity, word(0x40));
  if (mask & 0x80) i->words22[0] = uint32_t(*word(0x80));
  if (mask & 0x100) i->words22[1] = uint32_t(*word(0x100));
  if (mask & 0x200)
    i->flags = (uint32_t(*word(0x200)) & ~(kInstRenderReady | kOwnFlags)) | (i->flags & (kInstRenderReady | kOwnFlags));
  if (mask & 0x100000) i->flags2 = (uint32_t(*word(0x100000)) & ~kOwnFlags2) | (i->flags2 & kOwnFlags2);
  if (mask & 0x400) {
    const bool hadModel = (i->flags & kInstCollisionMade) != 0;
    B3D_InstSetBody(i, *word(0x400));
    if (hadModel) B3D_InstMakeRapidBox(i, 1);
  }
  if (mask & 0x20) i->size = *word(0x20);
  if (mask & 0x40000) B3D_InstSetScale(i, word(0x40000)[0], word(0x40000)[1], word(0x40000)[2]);
  if (mask & 0x800) i->soundSample = *word(0x800);
  if ((mask & 0x1000) && *word(0x1000) >= 0) i->sizeUsed = *word(0x1000), i->flags |= kInstSizeUsed;
  if (mask & 0x2000) {
    for (int c = 0; c < 3; ++c) i->lightColor[c] = static_cast<int16_t>(word(0x2000)[c]);
    if ((i->flags & kInstLight) && i->deviceLight) LightGetD3DLight(i);
  }
  if (mask & 0x4000) {
    i->lightParam = word(0x4000)[0];
    i->words32[0] = uint32_t(word(0x4000)[1]);
    i->words32[1] = uint32_t(word(0x4000)[2]);
  }
  if (mask & 0x10000) i->lightRange = *word(0x10000);
  // The linked part count stays in the shadow: the live instance's count goes with its own array.
  if (mask & 0x80000) i->extraValue = word(0x80000)[0];
  if (mask & kInstGroupName) i->name = ReplaceString(i->name, name.empty() ? nullptr : name.c_str());
}

void ReplayInstance(ReplayState* r) {
  const uint32_t handle = ReadWord(r), mask = ReadWord(r);
  if (r->failed) return;
  if (mask & kRecordFreed) {
    if (Shadow* s = Lookup(r->instances, handle)) {
      if (InstanceRecord* live = GetInstanceByHandle(s->live)) FreeInstance(live);
      Drop(r->instances, handle);
    }
    return;
  }
  Shadow* s = Lookup(r->instances, handle);
  InstanceRecord* live = nullptr;
  if (s) {
    live = GetInstanceByHandle(s->live);
    if (!live) Drop(r->instances, handle), s = nullptr;
  } else if ((s = MakeShadow(r->instances, handle)) != nullptr) {
    live = (mask & kRecordLight) ? B3D_LightAlloc() : B3D_InstAlloc();
    if (live) s->live = live->handle;
    else Drop(r->instances, handle), s = nullptr;
  }
  int32_t words[kShadowWords] = {};
  ReadGroups(r, kInstanceGroups, mask, words);
  std::string name;
  if (mask & kInstGroupName) ReadName(r, &name);
  if (r->failed || !s || !live) return;
  for (const RecordGroup& g : kInstanceGroups)
    if (mask & g.bit) std::memcpy(s->words + g.offset, words + g.offset, sizeof(int32_t) * size_t(g.words));
  ApplyInstance(live, mask, words, name);
  if ((mask & 0x4) && words[kInstanceGroups[1].offset]) {
    SceneRecord* scene = LiveScene(uint32_t(words[kInstanceGroups[1].offset]));
    if (scene && live->scene != scene) AddInstanceToScene(live, scene);
  }
  if ((mask & 0x2) && words[kInstanceGroups[0].offset]) {
    const Shadow* parent = Lookup(r->instances, uint32_t(words[kInstanceGroups[0].offset]));
    // Refused when the parent lies in the instance's own tree.
    if (InstanceRecord* p = parent ? GetInstanceByHandle(parent->live) : nullptr) B3D_InstAddToInst(live, p);
  }
}

// A 16.16 fraction mapped into edge0..edge1.
int32_t MapEdge(int32_t v, int32_t edge0, int32_t edge1) {
  return edge0 + static_cast<int32_t>((int64_t{v} * (int64_t{edge1} - edge0) + 0x8000) >> 16);
}

void ReplayCamera(ReplayState* r) {
  const uint32_t handle = ReadWord(r), mask = ReadWord(r);
  if (r->failed) return;
  if (mask & kRecordFreed) {
    if (Shadow* s = Lookup(r->cameras, handle)) {
      if (CameraRecord* live = GetCameraByHandle(s->live)) B3D_CameraFree(live);
      Drop(r->cameras, handle);
    }
    return;
  }
  Shadow* s = Lookup(r->cameras, handle);
  CameraRecord* camera = nullptr;
  if (s) {
    camera = GetCameraByHandle(s->live);
    if (!camera) Drop(r->cameras, handle), s = nullptr;
  } else if ((s = MakeShadow(r->cameras, handle)) != nullptr) {
    camera = B3D_CameraAlloc();
    if (camera) s->live = camera->instance.handle;
    else Drop(r->cameras, handle), s = nullptr;
  }
  int32_t w[kShadowWords] = {};
  ReadGroups(r, kCameraGroups, mask, w);
  std::string name;
  if (mask & kCameraGroupName) ReadName(r, &name);
  if (r->failed || !camera) return;
  const auto at = [&](uint32_t bit) {
    for (const RecordGroup& g : kCameraGroups)
      if (g.bit == bit) return w + g.offset;
    return w;
  };
  if (mask & 0x2) SetVector(&camera->instance.position, at(0x2));
  if (mask & 0x4) SetMatrix(&camera->instance.matrix, at(0x4));
  if (mask & 0x8) camera->priority = r->priorityOffset + *at(0x8);
  if (mask & 0x10) camera->cameraFlags = (uint32_t(*at(0x10)) & ~kCameraEnabled) | (camera->cameraFlags & kCameraEnabled);
  if (mask & 0x20) camera->bankAngle = uint32_t(*at(0x20));
  if (mask & 0x40) {
    const int32_t* v = at(0x40);
    CameraSetViewport(camera, MapEdge(v[0], r->c, r->d), MapEdge(v[3], r->a, r->b), MapEdge(v[2], r->a, r->b),
                      MapEdge(v[1], r->c, r->d));
  }
  if (mask & 0x80) camera->fieldOfView = uint32_t(*at(0x80));
  if (mask & 0x100) std::memcpy(camera->background, at(0x100), sizeof camera->background);
  if (mask & 0x400) std::memcpy(camera->factors, at(0x400), sizeof camera->factors);
  if (mask & 0x1000) camera->aspectWidth = at(0x1000)[0], camera->aspectHeight = at(0x1000)[1];
  if (mask & kCameraGroupName) camera->instance.name = ReplaceString(camera->instance.name, name.empty() ? nullptr : name.c_str());
  if ((mask & 0x1) && *at(0x1)) {
    if (SceneRecord* scene = LiveScene(uint32_t(*at(0x1)))) B3D_CameraAddToScene(camera, scene);
  }
  // Enabled last, once it has its scene: only a camera with a viewport counts as enabled.
  if ((mask & 0x10) && (*at(0x10) & kCameraEnabled) && camera->instance.scene &&
      (camera->instance.scene->flags & kSceneEnabled)) {
    if (camera->viewport || ViewportCreate(camera)) camera->cameraFlags |= kCameraEnabled;
  }
}

void FreeEmissions(EmitterRecord* e) {
  if (e->emissions) EngineFree(e->emissions, uint32_t(e->emissionCount) * kEmissionNominalBytes);
  e->emissions = nullptr;
  e->emissionCount = 0;
}

void FreeEmitter(EmitterRecord* e) {
  if (!e) return;
  ListRemove(&e->node);
  if (gEngine3D->particleTable && e->handle) HashRemove(gEngine3D->particleTable, e->handle);
  FreeEmissions(e);
  EngineFree(e, kEmitterNominalBytes);
}

EmitterRecord* NewEmitter() {
  auto* e = EngineAllocRecord<EmitterRecord>(kEmitterNominalBytes);
  if (!e) return nullptr;
  e->previousTime = static_cast<int32_t>(Now());
  for (int i = 0; i < 3; ++i) e->orientation.m[i][i] = 0x10000;
  e->previousOrientation.w = 0x10000;
  ListAddTail(&gEngine3D->particleList3, &e->node);
  if (gEngine3D->particleTable)
    e->handle = HashInsertNewKey(gEngine3D->particleTable, reinterpret_cast<HashValue>(e));
  return e;
}

// A new particle type: one emission state per kind of the type, each from the present time.
void SetEmitterType(EmitterRecord* e, int32_t type) {
  FreeEmissions(e);
  e->type = type;
  const ParticleTypeRow& row = gEngine3D->particleTypes[type];
  if (row.kindCount < 1 || !row.kinds) return;
  auto* emissions = static_cast<ParticleEmission*>(
      EngineAlloc(sizeof(ParticleEmission) * size_t(row.kindCount), uint32_t(row.kindCount) * kEmissionNominalBytes));
  if (!emissions) return;
  for (int32_t k = 0; k < row.kindCount; ++k) {
    emissions[k].kind = &row.kinds[k];
    emissions[k].lastSpawnTime = static_cast<int32_t>(Now());
  }
  e->emissions = emissions;
  e->emissionCount = row.kindCount;
}

void ReplayEmitter(ReplayState* r) {
  const uint32_t handle = ReadWord(r), mask = ReadWord(r);
  if (r->failed) return;
  if (mask & kRecordFreed) {
    if (Shadow* s = Lookup(r->emitters, handle)) {
      FreeEmitter(s->emitter);
      Drop(r->emitters, handle);
    }
    return;
  }
  Shadow* s = Lookup(r->emitters, handle);
  if (!s && (s = MakeShadow(r->emitters, handle)) != nullptr) s->emitter = NewEmitter();
  int32_t w[kShadowWords] = {};
  ReadGroups(r, kEmitterGroups, mask, w);
  std::vector<int32_t> times;
  if (mask & kEmitterGroupTimes) {
    const uint32_t count = ReadWord(r);
    const int32_t type = (mask & 0x200) ? w[0] : (s && s->emitter ? s->emitter->type : 0);
    const int32_t kinds = type >= 0 && type < kParticleTypeCount ? gEngine3D->particleTypes[type].kindCount : 0;
    if (count > uint32_t(std::max(kinds, 0))) r->failed = true;
    for (uint32_t i = 0; i < count && !r->failed; ++i) times.push_back(static_cast<int32_t>(ReadWord(r)));
  }
  if ((mask & 0x200) && (w[0] < 0 || w[0] >= kParticleTypeCount)) r->failed = true;
  if (r->failed || !s || !s->emitter) return;
  EmitterRecord* e = s->emitter;
  if (mask & 0x200) SetEmitterType(e, w[0]);
  if (mask & 0x1) SetVector(&e->position, w + 1);
  if (mask & 0x2) SetMatrix(&e->orientation, w + 4);
  if (mask & 0x4) e->intensity = w[13];
  if (mask & 0x10) SetVector(&e->previousPosition, w + 15);
  if (mask & 0x20) SetVector(&e->previousVelocity, w + 18);
  if (mask & 0x40) e->previousOrientation = Quaternion{w[21], w[22], w[23], w[24]};
  if (mask & 0x80) e->scene = LiveScene(uint32_t(w[25]));
  for (size_t i = 0; i < times.size() && int32_t(i) < e->emissionCount; ++i)
    e->emissions[i].lastSpawnTime = times[i] + r->timeOffset;
  const FixedVector position = e->previousPosition, velocity = e->previousVelocity;
  const Quaternion orientation = e->previousOrientation;
  EmitParticles(e, &position, &orientation, &velocity, 0, static_cast<int32_t>(Now()));
}

// ---------------------------------------------------------------------------------------------
// Drawing records: the recorded call runs again, blocks with the clip flag.

void ReplayDrawing(ReplayState* r, DrawRecord kind) {
  const DrawRecordKind& k = kDrawRecordKinds[static_cast<int>(kind)];
  int32_t a[kDrawRecordMaxWords] = {};
  for (int i = 0; i < k.words; ++i) a[i] = DrawRecordArgument(kind, i, ReadHalf(r));
  std::string text;
  if (k.text) {
    text.assign(size_t(a[k.words - 1]), '\0');
    ReadBytes(r, text.data(), text.size());
  }
  if (r->failed) return;
  switch (kind) {
    case DrawRecord::RectFill: B3D_TexRectFill(a[0], a[1], a[2], a[3], a[4], uint32_t(a[5])); break;
    case DrawRecord::Line: B3D_TexLine(a[0], a[1], a[2], a[3], a[4], uint32_t(a[5])); break;
    case DrawRecord::Circle: B3D_TexCircle(a[0], a[1], a[2], a[3], a[4], uint32_t(a[5])); break;
    case DrawRecord::CircleFill: B3D_TexCircleFill(a[0], a[1], a[2], a[3], a[4], uint32_t(a[5])); break;
    case DrawRecord::SetPixel: TexSetPixel(a[0], a[1], a[2], uint32_t(a[3])); break;
    case DrawRecord::BlockKeyed: B3D_TexBltBlock(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], 1); break;
    case DrawRecord::Block: B3D_TexBltBlock(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], -1, 1); break;
    case DrawRecord::BlockAlpha:
      B3D_TexBltBlockAlpha(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], uint32_t(a[8]), 1);
      break;
    case DrawRecord::CopyRect: TexCopyRect(a[0], a[1], a + 2); break;
    case DrawRecord::Text: TexDrawText(a[0], text.c_str(), a[1], a[2], a[3], a[4], uint32_t(a[5]), uint32_t(a[6])); break;
    case DrawRecord::TextBlock:
      B3D_TexTextBlock(a[0], text.c_str(), a[1], a[2], a[3], a[4], uint32_t(a[5]), uint32_t(a[6]));
      break;
    case DrawRecord::Count: break;
  }
}

void DestroyShadows(HashTable*& table) {
  ForEachShadow(table, [](uint32_t, Shadow* s) { FreeShadow(s); });
  HashDestroy(table);
  table = nullptr;
}

bool ReadNames(ReplayState* r, std::vector<std::string>* names) {
  const uint32_t count = ReadWord(r);
  if (r->failed) return false;
  if (count > uint32_t(kMaxAddedRows)) return r->failed = true, false;
  names->resize(count);
  for (std::string& name : *names) {
    uint8_t length = 0;
    if (!ReadBytes(r, &length, 1)) return false;
    name.assign(length, '\0');
    if (!ReadBytes(r, name.data(), length)) return false;
  }
  return true;
}

// The name tables of the replay's stream.
bool ReadNameTablesOf(ReplayState* r) {
  std::vector<std::string> bodies, cuts;
  if (!ReadNames(r, &bodies) || !ReadNames(r, &cuts)) return false;
  if (gEngine3D->bodyDataRows && SetAddedBodyRows(int32_t(bodies.size()))) {
    for (size_t i = 0; i < bodies.size(); ++i)
      if (!bodies[i].empty())
        gEngine3D->bodyDataRows[gEngine3D->bodyDataFixedRows + int32_t(i)].fileName = DuplicateString(bodies[i].c_str());
  }
  if (gEngine3D->cutDataRows && SetAddedCutRows(int32_t(cuts.size()))) {
    for (size_t i = 0; i < cuts.size(); ++i)
      if (!cuts[i].empty())
        gEngine3D->cutDataRows[gEngine3D->cutDataFixedRows + int32_t(i)].fileName = DuplicateString(cuts[i].c_str());
  }
  ReloadLensflaresAndDummies();
  return true;
}

void FreeState(ReplayState* r) {
  if (r->file) {
    FileClose(r->file);
    MemFree(r->file, sizeof(FileObject), 0);
  }
  for (HashTable** t : {&r->scenes, &r->instances, &r->cameras, &r->emitters}) DestroyShadows(*t);
  HashDestroy(r->droppedScenes);
  MemFree(r, sizeof(ReplayState), kReplayMemFlags);
}

}  // namespace

int32_t ReadBodyNameTables(FileObject* file) {
  if (!file || !gEngine3D) return 0;
  ReplayState reader{};
  reader.file = file;
  return ReadNameTablesOf(&reader) ? 1 : 0;
}

int32_t B3D_InitReplay(const char* name, int32_t priorityOffset, int32_t a, int32_t b, int32_t c, int32_t d) {
  if (!gEngine3D || !name) return 0;
  if (gEngine3D->replay) B3D_ExitReplay();
  auto* r = static_cast<ReplayState*>(MemAlloc(sizeof(ReplayState), kReplayMemFlags));
  if (!r) return 0;
  std::memset(r, 0, sizeof(ReplayState));
  r->priorityOffset = priorityOffset;
  r->a = a, r->b = b, r->c = c, r->d = d;
  r->scenes = HashCreate();
  r->instances = HashCreate();
  r->cameras = HashCreate();
  r->emitters = HashCreate();
  r->droppedScenes = HashCreate();
  r->file = FileOpenNew((std::string(name) + ".rec").c_str(), "rb", false);
  if (!r->file || !r->scenes || !r->instances || !r->cameras || !r->emitters || !r->droppedScenes) {
    FreeState(r);
    return 0;
  }
  gEngine3D->replay = r;
  gEngine3D->engineFlags |= kEngineReplaying;
  char tag[4] = {};
  bool ok = ReadTag(r, tag) && IsTag(tag, kRecordTagHead);
  if (ok) {
    ReadWord(r);
    ReadWord(r);
    ok = ReadTag(r, tag) && IsTag(tag, kRecordTagNames);
  }
  ok = ok && ReadNameTablesOf(r) && ReadTag(r, tag) && IsTag(tag, kRecordTagFrame);
  const uint32_t t0 = ok ? ReadWord(r) : 0;
  if (!ok || r->failed) {
    B3D_ExitReplay();
    return 0;
  }
  r->timeOffset = static_cast<int32_t>(Now() - t0);
  r->dueTime = Now();
  return 1;
}

void B3D_ExitReplay() {
  if (!gEngine3D) return;
  ReplayState* r = gEngine3D->replay;
  if (r) {
    ForEachShadow(r->instances, [](uint32_t, Shadow* s) {
      if (InstanceRecord* i = GetInstanceByHandle(s->live)) FreeInstance(i);
    });
    ForEachShadow(r->cameras, [](uint32_t, Shadow* s) {
      if (CameraRecord* c = GetCameraByHandle(s->live)) B3D_CameraFree(c);
    });
    ForEachShadow(r->scenes, [](uint32_t, Shadow* s) {
      if (SceneRecord* scene = GetSceneByHandle(s->live)) B3D_SceneFree(scene);
    });
    for (uint32_t i = 0; r->droppedScenes->buckets && i < r->droppedScenes->bucketCount; ++i)
      for (HashEntry* e = r->droppedScenes->buckets[i]; e; e = e->next)
        if (SceneRecord* scene = GetSceneByHandle(e->key)) B3D_SceneFree(scene);
    ForEachShadow(r->emitters, [](uint32_t, Shadow* s) { FreeEmitter(s->emitter); });
    FreeState(r);
  }
  gEngine3D->replay = nullptr;
  gEngine3D->engineFlags &= ~kEngineReplaying;
}

void ReplayFrame() {
  ReplayState* r = State();
  if (!r) return;
  if (static_cast<int32_t>(Now() - r->dueTime) < 0) return;
  char tag[4] = {};
  ReadTag(r, tag);
  if (!r->failed && IsTag(tag, kRecordTagNames)) {
    ReadNameTablesOf(r);
    ReadTag(r, tag);
  }
  while (!r->failed) {
    if (IsTag(tag, kRecordTagScene)) {
      ReplayScene(r);
    } else if (IsTag(tag, kRecordTagInstance)) {
      ReplayInstance(r);
    } else if (IsTag(tag, kRecordTagCamera)) {
      ReplayCamera(r);
    } else if (IsTag(tag, kRecordTagEmitter)) {
      ReplayEmitter(r);
    } else if (const DrawRecord kind = FindDrawRecord(tag); kind != DrawRecord::Count) {
      ReplayDrawing(r, kind);
    } else if (IsTag(tag, kRecordTagFrame)) {
      const uint32_t t = ReadWord(r);
      if (r->failed) break;
      r->dueTime = static_cast<uint32_t>(r->timeOffset) + t;
      UpdateParticles();
      return;
    } else if (IsTag(tag, kRecordTagEnd)) {
      break;
    } else {
      UpdateParticles();
      return;
    }
    if (!r->failed) ReadTag(r, tag);
  }
  // "REND", the end of the stream, or a damaged record.
  B3D_ExitReplay();
}
