// The object effects (see object_effects.h): group creation and restart, the per-frame update of
// a group's entries (start, follow the owner, size, flicker, fade, end of cuts, time-out), the
// part-object fade, the frame step of the three lists and the removals. Called by the game loop,
// the simulation, the explosion code and object destruction. It never frees an owner object; a
// part object whose last effect ended is only marked for removal.
#include "universe/object_effects.h"

#include <algorithm>
#include <cstdlib>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/light_records.h"
#include "scene/lights.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/particles.h"
#include "scene/takes_jobs.h"
#include "universe/carried_objects.h"
#include "universe/effect_definitions.h"
#include "universe/object_explosions.h"
#include "universe/object_queries.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kInstHidden = 0x100000;
constexpr uint32_t kInstFlat = 0x4000;
constexpr uint32_t kInstEnding = 0x2000;
constexpr uint32_t kInstLensFlare = 0x20000000;
constexpr uint32_t kInstCutChild = 0x40;
constexpr uint32_t kInst2Jet = 0x1;
constexpr uint32_t kWreckInstFlags = 0x8100000;
constexpr uint32_t kObjFlagWreck = 0x400;
constexpr uint32_t kBodyUsedByEffect = 0x20;
constexpr int32_t kBodyListJet = 6;  // SBTYPE_JET
constexpr uint32_t kNoBody = 0xFFFFFFFF;
constexpr int32_t kLensFlareColour = 255;
constexpr uint32_t kD3DParticles = 0x40000000;  // the settings' particle switch
constexpr int32_t kHullDamageSounds[5] = {903, 904, 1200, 1201, 1202};
constexpr uint32_t kObjFlagRemove = 1u << 27;

ListHead gGroups;
ListHead gInstances;
ListHead gEmitters;
bool gListsReady = false;
bool gEmittersReady = false;
int32_t gFrameRandom = 0;
EffectSoundSink gSoundSink = nullptr;

void EnsureLists() {
  if (gListsReady) return;
  ListInit(&gGroups);
  ListInit(&gInstances);
  gListsReady = true;
}

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

int32_t Mul16(int32_t a, int32_t b) { return SaturateToInt32((static_cast<int64_t>(a) * b + 0x8000) >> 16); }

EffectGroup* GroupOf(ListNode* node) { return reinterpret_cast<EffectGroup*>(node); }
EffectInstance* EffectInstanceOf(ListNode* node) { return reinterpret_cast<EffectInstance*>(node); }
ParticleEmitterNode* EmitterOf(ListNode* node) { return reinterpret_cast<ParticleEmitterNode*>(node); }

int32_t GroupTime(const EffectGroup* g) { return static_cast<int32_t>(Now() - g->startTime); }

void FreeEntryInstance(EffectGroupEntry* e) {
  InstanceRecord* instance = e->instance;
  e->instance = nullptr;
  if (instance) FreeInstance(instance);
}

void FreeGroup(EffectGroup* g) {
  ListRemove(&g->node);
  const int32_t count = g->row ? g->row->entryCount : 0;
  for (int32_t i = 0; i < count; ++i) FreeEntryInstance(&g->entries[i]);
  MemFreeIfSet(g->entries);
  MemFreeIfSet(g);
}

void StartGroup(EffectGroup* g, int32_t delay, bool restart) {
  const int32_t count = g->row->entryCount;
  for (int32_t i = 0; i < count; ++i) {
    EffectGroupEntry* e = &g->entries[i];
    if (!restart) {
      e->instance = nullptr;
      e->state = 0;
    } else if ((g->row->flags & EDF_REINIT) && !(g->row->entries[i].flags & EEDF_NOREINIT)) {
      FreeEntryInstance(e);
      e->state = 0;
    }
  }
  g->startTime = Now() + static_cast<uint32_t>(delay);
  UpdateEffectGroup(g);
}

void SetOffset(EffectGroup* g, const int32_t* offset) {
  for (int i = 0; i < 4; ++i) g->offset[i] = offset ? offset[i] : 0;
}

// The orientation a new cut or body instance takes.
void OrientNew(EffectGroup* g, const EffectDefinitionEntry* d, InstanceRecord* instance) {
  const InstanceRecord* ownerInstance = g->owner->instance;
  if (d->flags & EEDF_RANDOMROT) {
    if (instance->flags & kInstFlat) {
      MatrixFromAngles(&instance->matrix, 0, 0, static_cast<uint32_t>(2 * GameRand()));
    } else {
      const int32_t yaw = 2 * GameRand();
      const int32_t pitch = GameRand() - 0x4000;
      B3D_InstSetRot(instance, yaw, pitch, 2 * GameRand());
    }
  } else if (d->flags & EEDF_BULLETROT) {
    instance->matrix = g->impactMatrix;
  } else {
    MatrixMultiply(&instance->matrix, &g->matrix, &ownerInstance->matrix);
  }
}

void JoinOwnerScene(EffectGroup* g, InstanceRecord* instance) {
  if (g->owner->instance->scene) AddInstanceToScene(instance, g->owner->instance->scene);
}

// The light type an entry names, or null: only numbers within the table name one, and a type
// of kind 0 is undefined.
const LightTypeRecord* EntryLightType(const EffectDefinitionEntry* d) {
  if (!gEngine3D || d->sourceId < 0 || d->sourceId >= kLightTypeCount) return nullptr;
  const LightTypeRecord* type = &gEngine3D->lightTypes[d->sourceId];
  return type->kind != 0 ? type : nullptr;
}

void StartLight(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d) {
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) {
    e->state = 2;
    return;
  }
  if (const LightTypeRecord* type = EntryLightType(d)) {
    light->words31[0] = 0x10000;
    light->words31[1] = 0;
    light->words31[2] = 0x80000;
    B3D_LightSetRange(light, type->words[1] < 1 ? 10000 : type->words[1]);
    B3D_LightSetColor(light, type->red, type->green, type->blue);
    B3D_LightSetParameters(light, d->sourceId);
    JoinOwnerScene(g, light);
    light->flags2 |= 0x40000000;
  }
  e->instance = light;
  e->state = 1;
}

// Binds a body to an effect's instance and marks the body as used by effects.
void BindEffectBody(InstanceRecord* instance, int32_t body) {
  B3D_InstSetBody(instance, body);
  if (BodyRecord* record = B3D_FindBody(body)) record->flags |= kBodyUsedByEffect;
}

// On the first use of a cut its paths' key positions are scaled from the cut's units (1/1000 of
// an object unit, or object units with EEDF_CUTACTUALSIZE) into 16.16.
void RescaleKeys(PathRecord* path, int32_t divisor) {
  for (int32_t k = 0; path->positions.keys && k < path->positions.count; ++k) {
    FixedVector& p = path->positions.keys[k].position;
    for (int32_t* c : {&p.x, &p.y, &p.z}) *c = SaturateToInt32(static_cast<int64_t>(*c) * 65536 / divisor);
  }
}

// A jet child of a particle-generator cut hides and drives an emitter at the group's offset; the
// group's time starts again, so the later entries count their delays from here.
void StartGeneratorJet(EffectGroup* g, const EffectDefinitionEntry* d, InstanceRecord* child) {
  child->flags2 |= kInst2Jet;
  child->flags |= kInstHidden;
  child->matrix = g->impactMatrix;
  child->position = FixedVector{g->offset[0], g->offset[1], g->offset[2], g->offset[3]};
  StartParticleEmitter(kGeneratorKeyBase + 1 + RandomBelow(10), d->lensFlareId, g->owner, &child->position);
  g->startTime = Now();
}

// The child of a cut instance that plays path n of the cut.
void StartCutChild(EffectGroup* g, const EffectDefinitionEntry* d, InstanceRecord* root, CutRecord* cut, int32_t n,
                   int32_t size, int32_t divisor) {
  PathRecord* path = &cut->paths[n];
  const auto body = static_cast<int32_t>(path->lookupWord);
  InstanceRecord* child = B3D_InstAlloc();
  if (!child) return;
  BindEffectBody(child, body);
  B3D_InstAddToInst(child, root);
  child->cutHandle = cut->handle;
  child->pathNumber = n;
  NodeApplyIdListFlags(child);
  if ((d->flags & EEDF_PARTICLEGENERATOR) && IsIdInIdLists(kBodyListJet, body)) StartGeneratorJet(g, d, child);
  child->flags |= kInstCutChild;
  if (!(cut->originFlags & kCutKeysRescaled)) RescaleKeys(path, divisor);
  B3D_InstSetSize(child, MulDiv(child->size, size, divisor));
  StartInstancePath(child, cut, n);
}

// A cut entry: an instance at the owner with one child per path that names a body.
void StartCut(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d) {
  InstanceRecord* root = B3D_InstAlloc();
  if (!root) {
    e->state = 2;
    return;
  }
  const int32_t size = d->sizeA + e->randomOffset;
  root->flags |= d->instanceFlags;
  root->position = g->owner->instance->position;
  root->bodyId = -1;
  B3D_InstSetSize(root, size);
  OrientNew(g, d, root);
  const int32_t cutId = (d->flags & EEDF_DEBRISMAP) && g->extraValue != 0 ? g->extraValue : d->sourceId;
  CutRecord* cut = J3D_LoadCut(cutId);
  root->cutHandle = cut ? cut->handle : 0;
  e->instance = root;
  e->state = 1;
  if (cut) {
    const int32_t divisor = (d->flags & EEDF_CUTACTUALSIZE) ? 65536 : 1000;
    for (int32_t n = 0; cut->paths && n < cut->pathCount; ++n) {
      if (cut->paths[n].lookupWord != kNoBody) StartCutChild(g, d, root, cut, n, size, divisor);
    }
    cut->originFlags |= kCutKeysRescaled;
  }
  JoinOwnerScene(g, root);
}

void GiveLensFlare(InstanceRecord* instance, const EffectDefinitionEntry* d) {
  instance->flags |= kInstLensFlare;
  instance->flareType = d->lensFlareId;
  instance->lightValue = d->lensFlareValue;
  B3D_LightSetColor(instance, kLensFlareColour, kLensFlareColour, kLensFlareColour);
}

// The kinds of an entry's start.
int32_t StartKind(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d) {
  if (d->flags & EEDF_CUT) {
    StartCut(g, e, d);
    return 0;
  }
  if (d->flags & EEDF_LIGHT) {
    StartLight(g, e, d);
    return 0;
  }
  if (d->flags & EEDF_BREAKUP) {
    int32_t result = 0;
    if (SpaceObject* second = g->second) {
      g->second = nullptr;
      result = BreakUpObject(second);
    }
    e->state = 2;
    return result;
  }
  InstanceRecord* instance = B3D_InstAlloc();
  if (!instance) {
    e->state = 2;
    return 0;
  }
  instance->flags |= d->instanceFlags;
  if (d->sourceId >= 1) {
    BindEffectBody(instance, d->sourceId);
    B3D_InstSetSize(instance, (d->flags & EEDF_RELATIVESIZE) ? g->owner->radius : d->sizeA + e->randomOffset);
    OrientNew(g, d, instance);
  }
  JoinOwnerScene(g, instance);
  e->instance = instance;
  e->state = 1;
  return 0;
}

void Push(EffectGroup* g);

// Step 1 of an entry: false when the start is held for this call.
bool StartEntry(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d, int32_t* result) {
  if (d->flags & EEDF_DISTANT) {
    e->state = 2;
    return false;
  }
  if (d->flags & EEDF_HULLDAMAGE) {
    if (ObjGetShield(g->owner) >= 100) return false;
    const int32_t sound = kHullDamageSounds[RandomBelow16(5)];
    if (gSoundSink) gSoundSink(sound);
  }
  e->randomOffset = 0;
  if ((d->flags & EEDF_RANDOMSIZE) && d->sizeB - d->sizeA > 0) e->randomOffset = RandomBelow(d->sizeB - d->sizeA);
  const int32_t r = StartKind(g, e, d);
  if (r) *result = r;
  if ((d->flags & EEDF_LENSFLARE) && e->instance) GiveLensFlare(e->instance, d);
  if (d->flags & EEDF_PUSH) Push(g);
  return true;
}

int32_t EntrySize(const EffectGroup* g, const EffectGroupEntry* e, const EffectDefinitionEntry* d, int32_t t) {
  const int32_t a = d->sizeA + e->randomOffset;
  const int32_t b = d->sizeB + e->randomOffset;
  if (d->flags & EEDF_SPEEDDEPENDENT) {
    const int64_t s = Mul16(ObjGetTunedSpeed(g->owner), d->speedFactor);
    const int64_t v = std::llabs(static_cast<int64_t>(g->owner->speed));
    if (s <= 0) return b;
    return SaturateToInt32(b - static_cast<int64_t>(b - a) * s / (s + v));
  }
  if (d->flags & EEDF_GROWANDSHRINK) {
    int64_t f = 0;
    if (d->duration != 0) {
      f = static_cast<int64_t>(2) * t * 65536 / d->duration - 65536;
      if (f < -65536) f = -65536;
      if (f > 65536) f = 65536;
    }
    const int32_t f32 = static_cast<int32_t>(f);
    const int32_t z = b - Mul16(d->sizeB - d->sizeA, Mul16(f32, f32));
    return z < a ? a : z;
  }
  if (d->flags & EEDF_GROW) {
    int64_t f = 0;
    if (d->duration != 0) {
      f = static_cast<int64_t>(t) * 65536 / d->duration;
      if (f < 0) f = 0;
      if (f > 65536) f = 65536;
    }
    return a + Mul16(d->sizeB - d->sizeA, static_cast<int32_t>(f));
  }
  return a;
}

// A light's colour dims by the factor that sizes other entries; its size follows its kind.
int32_t LightSize(const EffectGroup* g, const EffectGroupEntry* e, const EffectDefinitionEntry* d, int32_t t) {
  const int32_t a = d->sizeA + e->randomOffset;
  const int32_t b = d->sizeB + e->randomOffset;
  const LightTypeRecord* type = EntryLightType(d);
  const int32_t colour[3] = {type ? type->red : 0, type ? type->green : 0, type ? type->blue : 0};
  int32_t out[3] = {colour[0], colour[1], colour[2]};
  int32_t size = a;
  if (d->flags & EEDF_SPEEDDEPENDENT) {
    const int32_t s = Mul16(ObjGetTunedSpeed(g->owner), d->speedFactor);
    const int32_t v = SaturateToInt32(std::llabs(static_cast<int64_t>(g->owner->speed)));
    if (s > 0) {
      for (int i = 0; i < 3; ++i) out[i] = colour[i] - MulDiv(colour[i], s, SaturateToInt32(int64_t{s} + v));
    }
    size = b;
  } else if (d->flags & (EEDF_GROWANDSHRINK | EEDF_GROW)) {
    const bool both = d->flags & EEDF_GROWANDSHRINK;
    int64_t f = 0;
    if (d->duration != 0) {
      f = both ? static_cast<int64_t>(2) * t * 65536 / d->duration - 65536 : static_cast<int64_t>(t) * 65536 / d->duration;
      f = std::min<int64_t>(65536, std::max<int64_t>(both ? -65536 : 0, f));
    }
    const int32_t f32 = static_cast<int32_t>(f);
    const int32_t factor = both ? Mul16(f32, f32) : f32;
    for (int i = 0; i < 3; ++i) out[i] = colour[i] - Mul16(colour[i], factor);
    size = 0;
  }
  if (type) B3D_LightSetColor(e->instance, out[0], out[1], out[2]);
  return size;
}

void SetFade(InstanceRecord* instance, int32_t fade) {
  instance->fadeValue = fade;
  for (InstanceRecord* c = InstFirstChild(instance); c; c = InstNextSibling(c)) c->fadeValue = fade;
}

// Step 2: the entry's instance follows the owner.
void Follow(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d, int32_t t) {
  InstanceRecord* instance = e->instance;
  const InstanceRecord* ownerInstance = g->owner->instance;
  FixedVector local{g->offset[0], g->offset[1], g->offset[2], 0};
  for (int i = 0; i < 3; ++i) {
    const int32_t o = (d->flags & EEDF_RELATIVESIZE) ? Mul16(d->offset[i], g->owner->radius) : d->offset[i];
    (&local.x)[i] += o;
  }
  FixedVector moved;
  MatrixMulVector(&moved, &ownerInstance->matrix, &local);
  AddVector(&instance->position, &ownerInstance->position, &moved);
  if (d->flags & EEDF_BULLETROT) {
    instance->matrix = g->impactMatrix;
  } else if (!(instance->flags & kInstFlat)) {
    MatrixMultiply(&instance->matrix, &g->matrix, &ownerInstance->matrix);
  }
  int32_t z = EntrySize(g, e, d, t);
  if (d->flags & EEDF_LIGHT) z = LightSize(g, e, d, t);
  if (d->flags & EEDF_NOZTEST) instance->flags2 |= 0x8 | 0x10;
  if (d->rotation >= 1 && d->rotation <= 0xFFFF) z = Mul16(z, 65536 - RandomBelow(d->rotation));
  if (d->flags & EEDF_RELATIVESIZE) z = Mul16(z, g->owner->radius);
  B3D_InstSetSize(instance, z);
  if ((d->flags & EEDF_FADEOUT) && !(d->flags & EEDF_PROPAGATE)) {
    int32_t q = 0;
    if (d->duration != 0 && t >= 0) q = SaturateToInt32(static_cast<int64_t>(t) * 65536 / d->duration);
    int32_t fade = SaturateToInt32(254 - ((static_cast<int64_t>(q) * 255 + 0x8000) >> 16));
    if (fade < 1) fade = 1;
    SetFade(instance, fade);
  }
  if (instance->flags & kInstLensFlare) {
    B3D_LightSetColor(instance, kLensFlareColour, kLensFlareColour, kLensFlareColour);
  }
}

// A wreck keeps its owner's (and the carrier's) instance tree and object from being cleared away.
void MarkWreck(EffectGroup* g) {
  for (SpaceObject* o : {g->owner, g->second}) {
    if (!o) continue;
    InstOrFlags(o->instance, kWreckInstFlags, 0);
    o->flags |= kObjFlagWreck;
  }
}

void LeaveWreck(EffectGroup* g, const EffectDefinitionEntry* d) {
  if (!(d->flags & EEDF_WRECK) || g->eventValue == 0 || !g->owner) return;
  MarkWreck(g);
  RaiseCreateWreck(g->eventValue);
}

// A cut child has stopped once its job no longer plays or has reported its end.
bool PathStopped(const InstanceRecord* child) {
  return !(child->jobFlags & kJobPlaying) || (child->jobFlags & kJobEndReported);
}

// Step 3: a cut entry whose children stopped playing ends.
void EndCut(EffectGroup* g, EffectGroupEntry* e, const EffectDefinitionEntry* d) {
  bool playing = false;
  for (InstanceRecord *c = InstFirstChild(e->instance), *next = nullptr; c; c = next) {
    next = InstNextSibling(c);
    if (!PathStopped(c)) {
      playing = true;
    } else if (!(d->flags & EEDF_CUTKEEPBODY)) {
      FreeInstance(c);
    }
  }
  if (playing) return;
  if ((d->flags & (EEDF_DEBRIS | EEDF_DEBRISMAP)) && g->eventValue != 0) RaiseCreateDebris(g->eventValue);
  LeaveWreck(g, d);
  FreeEntryInstance(e);
  e->state = (d->flags & EEDF_PARTICLEGENERATOR) ? 1 : 2;
}

void FadePartOwner(EffectGroup* g, int32_t fadeDelay) {
  SpaceObject* owner = g->owner;
  if (owner->objClass != kClassBodyObject) return;
  if (fadeDelay != INT32_MIN) {
    const int32_t u = GroupTime(g) - fadeDelay;
    int32_t fade = 1;
    if (u <= 0) {
      fade = 255;
    } else if (u < 1000) {
      fade = 128 + (-254 * (2 * u - 1000)) / 2000;
    }
    owner->instance->fadeValue = fade;
  }
  if (owner->instance->fadeValue == 255) owner->instance->fadeValue = 0;
}

bool TimedOut(const EffectGroup* g, const EffectDefinitionEntry* d) {
  return (d->flags & EEDF_TIMEOUT) && GroupTime(g) >= d->startDelay + d->duration;
}

void MarkPartForRemoval(SpaceObject* owner, const EffectGroup* removed) {
  if (!owner || owner->objClass != kClassBodyObject) return;
  LIST_FOR_EACH_SAFE(node, next, &gGroups) {
    const EffectGroup* g = GroupOf(node);
    if (g != removed && g->owner == owner && g->keyA == removed->keyA && g->row == removed->row) return;
  }
  owner->flags |= kObjFlagRemove;
  // Releasing the part frees its groups, the caller's among them, under the caller's walk: the
  // groups are let go first (the walk frees groups without an owner) and freed by it alone.
  LIST_FOR_EACH_SAFE(node, next, &gGroups) {
    if (GroupOf(node)->owner == owner) GroupOf(node)->owner = nullptr;
  }
  ReleaseObjectReferences(owner, 0);
}

// A stepped group that returned 0: true when something is left in it.
bool TrimGroup(EffectGroup* g) {
  bool left = false;
  for (int32_t i = 0; i < g->row->entryCount; ++i) {
    EffectGroupEntry* e = &g->entries[i];
    const EffectDefinitionEntry* d = &g->row->entries[i];
    if (e->state == 0) {
      left = true;
    } else if (e->instance) {
      if (!(e->instance->flags & kInstEnding) && !TimedOut(g, d)) {
        left = true;
      } else {
        FreeEntryInstance(e);
        e->state = 2;
      }
    }
  }
  return left;
}

// Takes the particle system out of the engine's list and table and frees it with its node.
void FreeEmitter(ParticleEmitterNode* n) {
  ListRemove(&n->node);
  if (EmitterRecord* system = n->system) {
    // Without an engine its particle list is gone, and the record's links with it.
    if (gEngine3D) ListRemove(&system->node);
    HashTable* table = gEngine3D ? gEngine3D->particleTable : nullptr;
    if (table && system->handle != 0 && HashGet(table, system->handle) == reinterpret_cast<HashValue>(system)) {
      HashRemove(table, system->handle);
    }
    MemFreeIfSet(system->emissions);
    MemFreeIfSet(system);
  }
  MemFreeIfSet(n);
}

// A generator's time-out ends the owner's generator emitters of its particle type. Emitters of
// other types stay wholly in place: their systems still run in the engine's list.
void RemoveGeneratorEmitters(const SpaceObject* owner, int32_t particleType) {
  if (!gEmittersReady) return;
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) {
    ParticleEmitterNode* n = EmitterOf(node);
    if (n->owner == owner && n->key > kGeneratorKeyBase && n->system && n->system->type == particleType) {
      FreeEmitter(n);
    }
  }
}

void FreeEffectInstance(EffectInstance* fx) {
  ListRemove(&fx->node);
  if (fx->instance) FreeInstance(fx->instance);
  MemFreeIfSet(fx);
}

int32_t BodySize(int32_t body) {
  const BodyRecord* record = body >= 0 ? B3D_FindBody(body) : nullptr;
  return record && record->meshCount > 0 && record->meshes[0] ? record->meshes[0]->size : 0;
}

// The children of a playing cut root shrink toward the end time and go as their paths stop;
// false once none plays.
bool StepCutRoot(EffectInstance* fx, uint32_t now) {
  InstanceRecord* root = fx->instance;
  const int64_t remaining = std::max<int64_t>(0, static_cast<int32_t>(fx->endTime - now));
  bool playing = false;
  for (InstanceRecord *c = InstFirstChild(root), *next = nullptr; c; c = next) {
    next = InstNextSibling(c);
    const int64_t size = static_cast<int64_t>(BodySize(c->bodyId)) * root->size / 4000;
    B3D_InstSetSize(c, SaturateToInt32(size * remaining / 9000));
    if (PathStopped(c)) {
      FreeInstance(c);
    } else {
      playing = true;
    }
  }
  return playing;
}

void RestartStoppedPaths(EffectInstance* fx) {
  for (InstanceRecord* c = InstFirstChild(fx->instance); c; c = InstNextSibling(c)) {
    if (!PathStopped(c)) continue;
    if (CutRecord* cut = GetCutByHandle(c->cutHandle)) StartInstancePath(c, cut, c->pathNumber);
  }
}

void StepEffectInstance(EffectInstance* fx) {
  const uint32_t now = Now();
  if (fx->state == 1 && static_cast<int32_t>(now - fx->startTime) >= 0) {
    fx->state = 2;
    if (fx->instance) fx->instance->flags &= ~kInstHidden;
  }
  if (fx->flags & 4) {
    if (!fx->instance) {
      if (fx->state >= 2) FreeEffectInstance(fx);
    } else if (fx->state == 2) {
      if (!StepCutRoot(fx, now)) FreeEffectInstance(fx);
    } else if (fx->state == 3) {
      RestartStoppedPaths(fx);
    }
    return;
  }
  if (fx->state != 2) return;
  if (static_cast<int32_t>(now - fx->endTime) >= 0 || !fx->instance || (fx->instance->flags & kInstEnding)) {
    FreeEffectInstance(fx);
    return;
  }
  const int32_t step = gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0;
  FixedVector delta{fx->instance->velocity.x * step / 1000, fx->instance->velocity.y * step / 1000,
                    fx->instance->velocity.z * step / 1000, 0};
  AddVectorTo(&fx->instance->position, &delta);
  if (fx->flags & 1) {
    const auto span = static_cast<int32_t>(fx->endTime - fx->startTime);
    const auto done = static_cast<int32_t>(now - fx->startTime);
    B3D_InstSetSize(fx->instance, fx->sizeA + MulDiv(fx->sizeB - fx->sizeA, done, span));
  }
}

// Every emitter follows its owner: intensity from the owner's speed over the type's speed, the
// owner instance's place, turn and motion, and a spread that grows with the owner's turning.
void AdvanceEmitters() {
  if (!gEmittersReady || !gEngine3D) return;
  const auto now = static_cast<int32_t>(Now());
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) {
    ParticleEmitterNode* n = EmitterOf(node);
    EmitterRecord* system = n->system;
    SpaceObject* owner = n->owner;
    if (!system || !owner || !owner->instance || system->type < 0 || system->type >= kParticleTypeCount) continue;
    InstanceRecord* instance = owner->instance;
    const int32_t typeSpeed = ObjTuneSpeed(owner, gEngine3D->particleTypes[system->type].words[0]);
    system->intensity = FixedDiv(owner->speed, typeSpeed);
    system->scene = instance->scene;
    Quaternion turn;
    QuaternionFromMatrix(&turn, &instance->matrix);
    int64_t turning = 0;
    for (int32_t rate : owner->turnRates) turning += std::llabs(static_cast<int64_t>(rate));
    const int32_t spread = Mul16(SaturateToInt32(turning * 6), owner->radius);
    EmitParticles(system, &instance->position, &turn, &instance->velocity, spread, now);
  }
}

}  // namespace

ListHead* EffectGroupList() {
  EnsureLists();
  return &gGroups;
}

ListHead* EffectInstanceList() {
  EnsureLists();
  return &gInstances;
}

ListHead* ParticleEmitterList() { return gEmittersReady ? &gEmitters : nullptr; }

void SetEffectSoundSink(EffectSoundSink sink) { gSoundSink = sink; }

int32_t EffectFrameRandom() { return gFrameRandom; }

EffectGroup* AddEffectGroup(int32_t keyA, int32_t keyB, int32_t rowIndex, SpaceObject* owner, SpaceObject* second,
                            int32_t eventValue, int32_t extraValue, const int32_t* offset, int32_t delay,
                            const FixedMatrix* matrix) {
  EffectDefinitionRow* row = EffectRowAt(rowIndex);
  if (!row) return nullptr;
  EnsureLists();
  LIST_FOR_EACH_SAFE(node, next, &gGroups) {
    EffectGroup* g = GroupOf(node);
    if (g->owner != owner || g->keyA != keyA || g->keyB != keyB) continue;
    SetOffset(g, offset);
    if (matrix) g->matrix = *matrix;
    StartGroup(g, delay, true);
    return g;
  }
  auto* g = static_cast<EffectGroup*>(MemCalloc(sizeof(EffectGroup)));
  if (!g) return nullptr;
  if (row->entryCount > 0) {
    g->entries = static_cast<EffectGroupEntry*>(MemCalloc(sizeof(EffectGroupEntry) * row->entryCount));
    if (!g->entries) {
      MemFreeIfSet(g);
      return nullptr;
    }
    for (int32_t i = 0; i < row->entryCount; ++i) g->entries[i].group = g;
  }
  g->row = row;
  g->owner = owner;
  g->second = second;
  g->eventValue = eventValue;
  g->extraValue = extraValue;
  g->keyA = keyA;
  g->keyB = keyB;
  SetOffset(g, offset);
  if (matrix) {
    g->matrix = *matrix;
  } else {
    MatrixSetIdentity(&g->matrix);
  }
  MatrixSetIdentity(&g->impactMatrix);
  ListAddTail(&gGroups, &g->node);
  StartGroup(g, delay, false);
  return g;
}

int32_t UpdateEffectGroup(EffectGroup* g) {
  if (!g || !g->owner || !g->owner->instance) return 0;
  int32_t result = 0;
  int32_t fadeDelay = INT32_MIN;
  const int32_t groupTime = GroupTime(g);
  for (int32_t i = 0; i < g->row->entryCount; ++i) {
    EffectGroupEntry* e = &g->entries[i];
    const EffectDefinitionEntry* d = &g->row->entries[i];
    if (e->state == 0 && !e->instance) {
      if (GroupTime(g) < d->startDelay) {
        if (d->flags & EEDF_FADEOUTBODY) fadeDelay = d->startDelay;
        continue;
      }
      if (!StartEntry(g, e, d, &result)) continue;
    }
    if (d->flags & EEDF_FADEOUTBODY) fadeDelay = d->startDelay;
    if (!e->instance) continue;
    const int32_t t = GroupTime(g) - d->startDelay;
    Follow(g, e, d, t);
    if ((d->flags & (EEDF_CUT | EEDF_DEBRIS | EEDF_DEBRISMAP)) && e->instance) EndCut(g, e, d);
    if (e->instance && TimedOut(g, d)) {
      if (d->flags & EEDF_PARTICLEGENERATOR) RemoveGeneratorEmitters(g->owner, d->lensFlareId);
      LeaveWreck(g, d);
      FreeEntryInstance(e);
      e->state = 2;
    }
  }
  (void)groupTime;
  FadePartOwner(g, fadeDelay);
  return result;
}

void StepObjectEffects() {
  EnsureLists();
  gFrameRandom = RandomBelow(1000) * 1000000;
  LIST_FOR_EACH_SAFE(node, next, &gInstances) StepEffectInstance(EffectInstanceOf(node));
  for (ListNode* node = NodeSucc(ListHeadNode(&gGroups)); NodeSucc(node);) {
    EffectGroup* g = GroupOf(node);
    if (!g->owner) {
      node = NodeSucc(node);
      FreeGroup(g);
      continue;
    }
    if (UpdateEffectGroup(g) == 1) {
      // The groups that follow with the same owner wait a frame.
      SpaceObject* owner = g->owner;
      node = NodeSucc(node);
      while (NodeSucc(node) && GroupOf(node)->owner == owner) node = NodeSucc(node);
      continue;
    }
    node = NodeSucc(node);
    if (!TrimGroup(g)) {
      SpaceObject* owner = g->owner;
      MarkPartForRemoval(owner, g);
      FreeGroup(g);
    }
  }
  if (gSystem && (gSystem->d3dFlags & kD3DParticles)) AdvanceEmitters();
  if (gEngine3D && !(gEngine3D->engineFlags & kEngineReplaying)) UpdateParticles();
}

void RemoveObjectEffects(SpaceObject* object) {
  if (!object) return;
  EnsureLists();
  LIST_FOR_EACH_SAFE(node, next, &gGroups) {
    EffectGroup* g = GroupOf(node);
    if (g->second == object) g->second = nullptr;
    if (g->owner == object) FreeGroup(g);
  }
  if (!gEmittersReady) return;
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) {
    if (EmitterOf(node)->owner == object) FreeEmitter(EmitterOf(node));
  }
}

void RemoveSceneEffectInstances(SceneRecord* scene) {
  if (!scene) return;
  EnsureLists();
  LIST_FOR_EACH_SAFE(node, next, &gInstances) {
    EffectInstance* fx = EffectInstanceOf(node);
    if (fx->instance && fx->instance->scene != scene) continue;
    FreeEffectInstance(fx);
  }
}

void ClearEffectInstances() {
  EnsureLists();
  LIST_FOR_EACH_SAFE(node, next, &gInstances) {
    FreeEffectInstance(EffectInstanceOf(node));
  }
  if (!gEmittersReady) return;
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) FreeEmitter(EmitterOf(node));
}

void FreeEffectGroups() {
  EnsureLists();
  LIST_FOR_EACH_SAFE(node, next, &gGroups) FreeGroup(GroupOf(node));
}

ParticleEmitterNode* StartParticleEmitter(int32_t key, int32_t particleType, SpaceObject* owner,
                                          const FixedVector* position) {
  if (!gEmittersReady || !gEngine3D || !owner || !owner->instance) return nullptr;
  const FixedVector at = position ? *position : FixedVector{};
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) {
    ParticleEmitterNode* n = EmitterOf(node);
    if (n->owner != owner || n->key != key) continue;
    if (n->system) n->system->position = at;
    return n;
  }
  if (particleType < 0 || particleType >= kParticleTypeCount) return nullptr;
  const ParticleTypeRow& row = gEngine3D->particleTypes[particleType];
  const int32_t kinds = row.kinds && row.kindCount > 0 ? row.kindCount : 0;
  auto* n = static_cast<ParticleEmitterNode*>(MemCalloc(sizeof(ParticleEmitterNode)));
  auto* system = static_cast<EmitterRecord*>(MemCalloc(sizeof(EmitterRecord)));
  auto* emissions = kinds ? static_cast<ParticleEmission*>(MemCalloc(sizeof(ParticleEmission) * kinds)) : nullptr;
  if (!n || !system || (kinds && !emissions)) {
    MemFreeIfSet(emissions);
    MemFreeIfSet(system);
    MemFreeIfSet(n);
    return nullptr;
  }
  const InstanceRecord* instance = owner->instance;
  const auto now = static_cast<int32_t>(Now());
  system->type = particleType;
  system->position = at;
  MatrixSetIdentity(&system->orientation);
  system->intensity = FixedDiv(owner->speed, ObjGetTunedSpeed(owner));
  system->previousTime = now;
  system->previousPosition = instance->position;
  QuaternionFromMatrix(&system->previousOrientation, &instance->matrix);
  system->scene = instance->scene;
  system->emissionCount = kinds;
  system->emissions = emissions;
  for (int32_t k = 0; k < kinds; ++k) {
    emissions[k].kind = &row.kinds[k];
    emissions[k].lastSpawnTime = now;
  }
  ListAddTail(&gEngine3D->particleList3, &system->node);
  if (gEngine3D->particleTable) {
    system->handle = HashInsertNewKey(gEngine3D->particleTable, reinterpret_cast<HashValue>(system));
  }
  n->system = system;
  n->key = key;
  n->owner = owner;
  ListAddTail(&gEmitters, &n->node);
  return n;
}

void MakeParticleEmitterList() {
  FreeParticleEmitterList();
  ListInit(&gEmitters);
  gEmittersReady = true;
}

void FreeParticleEmitterList() {
  if (!gEmittersReady) return;
  LIST_FOR_EACH_SAFE(node, next, &gEmitters) FreeEmitter(EmitterOf(node));
  gEmittersReady = false;
}

namespace {

void PushObject(SpaceObject* o, const FixedVector* p) {
  for (int i = 0; i < 3; ++i) o->refAngles[i] = o->angles[i];
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(p, &yaw, &pitch);
  o->turnRates[0] = o->angles[0] + static_cast<int32_t>(yaw) / 30000;
  o->turnRates[1] = o->angles[1] + static_cast<int32_t>(pitch) / 30000;
  o->turnRates[2] = o->angles[2] + RandomBelow(13);
  if (o->turnRates[0] == 0 && o->turnRates[1] == 0 && o->turnRates[2] == 0) {
    for (int32_t& a : o->refAngles) a = 0;
  }
  AddVectorTo(&o->baseVelocity, p);
}

bool Pushable(const SpaceObject* o) {
  return o->objClass == kClassShip && !(o->flags2 & 0x80) && !ShipIsLargeClass(o);
}

void Push(EffectGroup* g) {
  SpaceObject* owner = g->owner;
  if (!Pushable(owner)) return;
  // The entry being started runs whether or not anything is pushed.
  SpaceObject* pusher = g->second;
  if (!pusher || pusher->speed == 0 || !pusher->instance) return;
  const int32_t s = pusher->speed / 8;
  FixedVector forward{0, 0, s, 0};
  FixedVector p;
  MatrixMulVector(&p, &pusher->instance->matrix, &forward);
  PushObject(owner, &p);
  ListHead* siblings = owner->parent ? ObjectChildren(owner->parent) : nullptr;
  if (!siblings) return;
  LIST_FOR_EACH_SAFE(node, next, siblings) {
    SpaceObject* o = ObjectOfNode(node);
    if (o == owner || !o->instance || !Pushable(o) || (o->flags & 0x2)) continue;
    FixedVector d;
    SubVector(&d, &owner->instance->position, &o->instance->position);
    if (MaxOf3(std::abs(d.x), std::abs(d.y), std::abs(d.z)) >= 600000) continue;
    SubVector(&d, &pusher->instance->position, &o->instance->position);
    const int64_t len2 = static_cast<int64_t>(d.x) * d.x + static_cast<int64_t>(d.y) * d.y + static_cast<int64_t>(d.z) * d.z;
    const int32_t length = static_cast<int32_t>(IntSqrt64(static_cast<uint64_t>(len2)));
    int32_t k = 0;
    if (length >= 600000) {
      k = s;
    } else if (length > 0) {
      k = s / 2 + static_cast<int32_t>(static_cast<int64_t>(s) * (length - 300000) / 600000);
    }
    FixedVector q = d;
    SetVectorLength(&q.x, &q.y, &q.z, 65536);
    FixedVector push{Mul16(q.x, k), Mul16(q.y, k), Mul16(q.z, k), 0};
    PushObject(o, &push);
  }
}

}  // namespace
