// Explosions, impacts and trails (see object_explosions.h): type effect rows, the explosion and
// break-up of killed objects into part objects, hull propagation in steps and bands, impacts,
// weapon fire, trails, the flat explosion sprite and the hit and explosion sounds. Called by the
// simulation, the object commands and the object effects. Every effect row taken from type data
// or BodyData is looked up through the checked table accessor before it is read, and propagation
// times are formed in 64 bits. It never frees an object record.
#include "universe/object_explosions.h"

#include <algorithm>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "universe/carried_objects.h"
#include "universe/effect_definitions.h"
#include "universe/object_detail.h"
#include "universe/object_effects.h"
#include "universe/object_lifecycle.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kBulletFlagOwnEffectRow = 0x100;  // the bullet type's row holds, even when 0
constexpr uint32_t kInstHidden = 0x100000;
constexpr uint32_t kInstFlat = 0x4000;
constexpr uint32_t kInst2Emitter = 0x1;  // a child that emits trails; never a part of a break-up
constexpr uint32_t kBodyUsedByEffect = 0x20;
constexpr int32_t kPartFallbackBody = 1;
constexpr int32_t kSubtypeHitSound992 = 275;
constexpr int32_t kSmallHitRadius = 20000;
constexpr int32_t kMediumExplosionRadius = 20000;
constexpr int32_t kLargeExplosionRadius = 100000;
constexpr uint32_t kD3DParticles = 0x40000000;       // the settings' particle switch
constexpr uint32_t kD3D2BulletParticles = 0x40000000;  // particles on bullets too
// Emitter path-mask bits: bits 1..11 switch the emitter off, 13 its particles, 14 its trail.
constexpr uint32_t kEmitterPathOff = 0xFFE;
constexpr uint32_t kEmitterNoParticles = 1u << 13;
constexpr uint32_t kEmitterNoTrail = 1u << 14;
// The random start vertex of a propagation step: visible instances that are no emitters, and no
// instance whose path mask switches it off.
constexpr uint32_t kPickFlags = 0x100000;
constexpr uint32_t kPickFlags2 = 0x11;
constexpr uint32_t kPickPath = 0xFFE;
constexpr int32_t kPickLevel = 2;
constexpr int32_t kVertexToUnits = 4;
// The step count of one propagation entry never exceeds what its 16-bit random part can reach.
constexpr int32_t kMaxPropagationSteps = 0x7FFF;
constexpr uint32_t kSpriteLifetime = 4000;
constexpr uint32_t kSpriteFlags = 2;
constexpr int32_t kSpriteRunning = 2;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

int32_t Mul16(int64_t a, int64_t b) { return SaturateToInt32((a * b + 0x8000) >> 16); }

bool InScene(const SpaceObject* o) { return o && o->instance && o->instance->scene; }

bool IsShot(const SpaceObject* o) { return o->objClass == kClassBullet || o->objClass == kClassMissile; }

// An entry's random extra delay: the low 16 bits of its bound as a signed value, when positive.
int32_t ExtraDelay(const EffectDefinitionEntry* entry) {
  const auto bound = static_cast<int16_t>(entry->propagation.extraDelay & 0xFFFF);
  return bound > 0 ? RandomBelow(bound) : 0;
}

// The vertex queries look at each instance's third level (or its last one).
const BodyVertex* QueryVertex(const InstanceRecord* instance, int32_t index) {
  const BodyRecord* body = B3D_FindBody(instance->bodyId);
  if (!body || body->meshCount <= 0 || !body->meshes) return nullptr;
  const BodyMesh* mesh = body->meshes[std::min<int32_t>(kPickLevel, body->meshCount - 1)];
  if (!mesh || !mesh->vertices || index < 0 || index >= mesh->vertexCount) return nullptr;
  return &mesh->vertices[index];
}

// A vertex of the object's tree in the frame of the object's instance.
bool VertexInObjectFrame(const InstanceRecord* root, const InstanceRecord* instance, int32_t index,
                         FixedVector* out) {
  const BodyVertex* v = QueryVertex(instance, index);
  if (!v) return false;
  FixedVector p{Mul16(v->x * kVertexToUnits, instance->size), Mul16(v->y * kVertexToUnits, instance->size),
                Mul16(v->z * kVertexToUnits, instance->size), 0};
  if (instance != root) {
    FixedVector world;
    MatrixMulVector(&world, &instance->worldMatrix, &p);
    AddVectorTo(&world, &instance->world);
    SubVectorFrom(&world, &root->world);
    MatrixTransposeMulVector(&p, &root->worldMatrix, &world);
  }
  p.w = 0;
  *out = p;
  return true;
}

// One group of a propagation step at a vertex.
void PropagationGroup(SpaceObject* object, int32_t kind, uint32_t key, const EffectDefinitionEntry* entry,
                      const FixedVector* position, int64_t delay) {
  const int32_t offset[4] = {position->x, position->y, position->z, 0};
  AddEffectGroup(kind, static_cast<int32_t>(key), entry->propagation.row, object, nullptr, 0, 0, offset,
                 SaturateToInt32(delay), nullptr);
}

// One step: a group at the starting vertex, then one per band of the vertices around it. The
// delay of the last group made.
int64_t PropagateStep(SpaceObject* object, int32_t kind, int32_t stepKey, const EffectDefinitionEntry* entry,
                      int64_t a, const FixedVector* point) {
  InstanceRecord* root = object->instance;
  InstanceRecord* start = nullptr;
  int32_t index = 0;
  const bool found = point ? FindNearestVertexInTree(root, point, &start, &index)
                           : PickRandomInstancePoint(root, kPickFlags, kPickFlags2, kPickPath, true, kPickLevel,
                                                     &start, &index, nullptr);
  FixedVector position;
  if (!found || !start || !VertexInObjectFrame(root, start, index, &position)) return a;
  int64_t delay = a + ExtraDelay(entry);
  const uint32_t key = static_cast<uint32_t>(EffectFrameRandom()) + static_cast<uint32_t>(stepKey) + object->id;
  PropagationGroup(object, kind, key, entry, &position, delay);

  const EffectPropagation& p = entry->propagation;
  if (p.bands <= 1) return delay;
  const int64_t total = B3D_InstGetTotalSize(root);
  const int64_t width = p.bandWidth;
  const int32_t reach = SaturateToInt32((total * width * (p.bands - 1)) >> 16);
  std::vector<InstanceRecord*> instances(kMaxVertexRecords);
  std::vector<int32_t> indices(kMaxVertexRecords);
  std::vector<int32_t> distances(kMaxVertexRecords);
  const int32_t count =
      CollectVerticesInRadius(root, &position, reach, instances.data(), indices.data(), distances.data());
  std::vector<int32_t> inBand;
  for (int32_t b = 0; b + 1 < p.bands; ++b) {
    const int64_t inner = (entry->flags & EEDF_WAVE) ? (total * width * b + 0x8000) >> 16 : 0;
    const int64_t outer = (total * width * (b + 1) + 0x8000) >> 16;
    inBand.clear();
    for (int32_t i = 0; i < count; ++i) {
      if (distances[i] >= inner && distances[i] <= outer) inBand.push_back(i);
    }
    if (inBand.empty()) continue;
    const int32_t chosen = inBand[RandomBelow(static_cast<int32_t>(inBand.size()))];
    FixedVector at;
    if (!VertexInObjectFrame(root, instances[chosen], indices[chosen], &at)) continue;
    delay += ExtraDelay(entry);
    PropagationGroup(object, kind, key + static_cast<uint32_t>(b) + 1, entry, &at, delay);
  }
  return delay;
}

// A new part object (class 27) of the body, in the universe's top-level list; null when memory
// fails or it has no instance.
SpaceObject* NewPartObject(int32_t body) {
  SpaceObject* part = AllocObjectRecord(kClassBodyObject);
  if (!part) return nullptr;
  if (!CreateObject(part, MakeTypeWord(kClassBodyObject, body))) {
    FreeObjectRecord(part, kClassBodyObject);
    return nullptr;
  }
  if (!part->instance) {
    DeleteObject(part);
    return nullptr;
  }
  return part;
}

void CopyPose(InstanceRecord* to, const InstanceRecord* from) {
  to->position = from->position;
  to->world = from->world;
  to->matrix = from->matrix;
  to->worldMatrix = from->worldMatrix;
}

int32_t ImpactRow(const SpaceObject* shot) {
  const ObjectTypeRecord* row = TypeRow(shot->objClass, shot->subtype);
  if (!row) return 0;
  return shot->objClass == kClassBullet ? row->bullet.effectRow : row->missile.lateValue;
}

void FirstBreakUpDelay(const EffectDefinitionRow* row, int32_t* delay) {
  *delay = 0;
  for (int32_t i = 0; i < row->entryCount; ++i) {
    if (row->entries[i].flags & EEDF_BREAKUP) {
      *delay = row->entries[i].startDelay;
      return;
    }
  }
}

bool RowHasEntryFlag(int32_t rowIndex, uint32_t flags) {
  const EffectDefinitionRow* row = EffectRowAt(rowIndex);
  if (!row || !row->entries) return false;
  for (int32_t i = 0; i < row->entryCount; ++i) {
    if (row->entries[i].flags & flags) return true;
  }
  return false;
}

// The trail row and particle type of a bullet, ship or missile type; false for every other class.
bool TrailOf(const SpaceObject* o, int32_t* row, int32_t* particle) {
  const ObjectTypeRecord* type = TypeRow(o->objClass, o->subtype);
  if (!type) return false;
  switch (o->objClass) {
    case kClassBullet: *row = type->bullet.trailRow, *particle = type->bullet.trailParticle; return true;
    case kClassShip: *row = type->ship.trailRow, *particle = type->ship.trailParticle; return true;
    case kClassMissile: *row = type->missile.trailRow, *particle = type->missile.trailParticle; return true;
    default: return false;
  }
}

bool ParticlesOn() { return gSystem && (gSystem->d3dFlags & kD3DParticles); }

// An emitter child's position in the object's frame, through the object instance's size and scale.
FixedVector EmitterPosition(const InstanceRecord* objectInstance, const InstanceRecord* emitter) {
  FixedVector p = emitter->position;
  if (emitter->flags & kInstScaledWithParent) {
    p.x = Mul16(p.x, objectInstance->size);
    p.y = Mul16(p.y, objectInstance->size);
    p.z = Mul16(p.z, objectInstance->size);
  }
  return {Mul16(p.x, objectInstance->scale.x), Mul16(p.y, objectInstance->scale.y),
          Mul16(p.z, objectInstance->scale.z), 0};
}

}  // namespace

int32_t GetTypeEffectIndex(int32_t subtype, int32_t objClass, uint32_t objectFlags) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  int32_t index = 0;
  switch (objClass) {
    case kClassBullet:
      return row && (row->bullet.flags & kBulletFlagOwnEffectRow) ? row->bullet.effectRow : kDefaultExplosionRow;
    case kClassDock:
    case kClassFactory: index = row ? row->station.effectRow : 0; break;
    case kClassShip: index = row ? row->ship.effectRow : 0; break;
    case kClassAsteroid: index = row ? row->asteroid.effectRow : 0; break;
    case kClassMissile: index = row && objectFlags != 0 ? row->missile.effectRow : 0; break;
    default: break;
  }
  return index != 0 ? index : kDefaultExplosionRow;
}

int32_t GetTypeEffectIndexB(int32_t subtype, int32_t objClass, uint32_t) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  int32_t index = 0;
  switch (objClass) {
    case kClassDock:
    case kClassFactory: index = row ? row->station.effectRowB : 0; break;
    case kClassShip: index = row ? row->ship.effectRowB : 0; break;
    case kClassAsteroid: index = row ? row->asteroid.effectRowB : 0; break;
    default: return 0;
  }
  return index != 0 ? index : kDefaultBreakUpRow;
}

bool TypeEffectsCreateWreck(int32_t subtype, int32_t objClass) {
  return RowHasEntryFlag(GetTypeEffectIndex(subtype, objClass, 0), EEDF_WRECK);
}

bool TypeEffectsCreateDebris(int32_t subtype, int32_t objClass) {
  return RowHasEntryFlag(GetTypeEffectIndex(subtype, objClass, 0), EEDF_DEBRIS | EEDF_DEBRISMAP);
}

EffectGroup* StartObjectEffect(int32_t kind, int32_t row, SpaceObject* owner, const FixedVector* offset,
                               const FixedMatrix* matrix, int32_t objectId) {
  SpaceObject* second = nullptr;
  if (kind == kEffectKindImpact && RowHasEntryFlag(row, EEDF_PUSH) && gUniverse && gUniverse->idHash) {
    second = reinterpret_cast<SpaceObject*>(HashGet(gUniverse->idHash, static_cast<uint32_t>(objectId)));
  }
  const int32_t words[4] = {offset ? offset->x : 0, offset ? offset->y : 0, offset ? offset->z : 0, 0};
  return AddEffectGroup(kind, objectId, row, owner, second, 0, 0, offset ? words : nullptr, 0, matrix);
}

bool ShowObjectEffect(int32_t kind, int32_t row, SpaceObject* owner, int32_t objectId) {
  return StartObjectEffect(kind, row, owner, nullptr, nullptr, objectId) != nullptr;
}

int32_t CreateObjectExplosion(SpaceObject* object, int32_t valueA, int32_t valueB) {
  if (!object || object->objClass == kClassDebris || !InScene(object)) return 0;
  const int32_t rowIndex = GetTypeEffectIndex(object->subtype, object->objClass, object->flags);
  if (object->objClass == kClassMissile && (object->flags & kObjFlagArmed) && valueA != 0) return 1;
  if (object->objClass == kClassBullet) {
    const ObjectTypeRecord* type = TypeRow(kClassBullet, object->subtype);
    if (type && (type->bullet.flags & kBulletFlagOwnEffectRow)) {
      object->speed = 0;
      object->speedLimit = 0;
      object->instance->velocity = {};
    }
  }
  // A row outside the table shows nothing, as row 0 does: a part object without its group would
  // never be removed.
  const EffectDefinitionRow* row = rowIndex != 0 ? EffectRowAt(rowIndex) : nullptr;
  if (!row) return 1;
  InstanceRecord* source = object->instance;
  SpaceObject* part = NewPartObject(source->bodyId > 0 ? source->bodyId : kPartFallbackBody);
  if (!part) return 1;
  CopyPose(part->instance, source);
  if (row->flags & EDF_HIDEOBJECT) part->instance->flags |= kInstHidden;
  for (int i = 0; i < 3; ++i) part->angles[i] = object->angles[i];
  part->scriptId = object->scriptId;
  part->speed = 0;
  AddVector(&part->baseVelocity, &object->baseVelocity, &source->velocity);
  if (!(row->flags & EDF_NOROTATE)) {
    for (int32_t& rate : part->turnRates) rate = GameRand() * 0x400 / 0x8000 - 0x200;
  }
  ObjAttachInstance(part, object->parent);

  SpaceObject* carrier = nullptr;
  int32_t delay = 0;
  if (row->flags & EDF_PROPAGATE) {
    carrier = NewPartObject(part->subtype);
    if (carrier) {
      CopyInstanceTree(source, carrier->instance, nullptr);
      for (int i = 0; i < 3; ++i) {
        carrier->angles[i] = object->angles[i];
        carrier->turnRates[i] = part->turnRates[i];
      }
      carrier->speed = 0;
      carrier->baseVelocity = part->baseVelocity;
      carrier->classWord = static_cast<uint32_t>(object->objClass) |
                           (static_cast<uint32_t>(static_cast<uint16_t>(object->subtype)) << 16);
      ObjAttachInstance(carrier, object->parent);
      FirstBreakUpDelay(row, &delay);
      const int64_t total = int64_t{delay} + StartPropagation(carrier, kEffectKindImpact, rowIndex, nullptr);
      delay = SaturateToInt32(total);
    }
  }
  AddEffectGroup(kEffectKindExplosion, static_cast<int32_t>(part->id), rowIndex, part, carrier, valueB,
                 RockTypeGetCutId(object->objClass, object->subtype), nullptr, delay, nullptr);
  return 1;
}

int32_t BreakUpObject(SpaceObject* object) {
  if (!InScene(object)) return 0;
  const int32_t secondRow = GetTypeEffectIndexB(object->subtype, object->objClass, object->flags);
  if (secondRow == 0) return 0;
  const EffectDefinitionRow* first = EffectRowAt(GetTypeEffectIndex(object->subtype, object->objClass, object->flags));
  const uint32_t rowFlags = first ? first->flags : 0;
  const int32_t valueA = first ? first->valueA : 0;
  const int32_t drift = first ? first->valueB : 0;
  InstanceRecord* source = object->instance;
  for (InstanceRecord* child = InstFirstChild(source); child; child = InstNextSibling(child)) {
    if (child->bodyId <= 0 || (child->flags2 & kInst2Emitter)) continue;
    const int32_t bodyRow = GetBodyDataField(child->bodyId);
    if (bodyRow == 0) continue;
    SpaceObject* part = NewPartObject(child->bodyId);
    if (!part) continue;
    InstanceRecord* instance = part->instance;
    FixedVector turned;
    MatrixMulVector(&turned, &source->matrix, &child->position);
    AddVector(&instance->position, &source->position, &turned);
    MatrixMultiply(&instance->matrix, &child->matrix, &source->matrix);
    MatrixToAngles(&instance->matrix, &part->angles[0], &part->angles[1], &part->angles[2]);
    part->speed = 0;
    if (!(rowFlags & EDF_NODRIFT)) {
      FixedVector away;
      SubVector(&away, &source->position, &instance->position);
      part->baseVelocity = {Mul16(away.x, drift), Mul16(away.y, drift), Mul16(away.z, drift), 0};
      AddVectorTo(&part->baseVelocity, &source->velocity);
    }
    if (!(rowFlags & EDF_NOROTATE)) {
      part->turnRates[0] = GameRand() * 0x2000 / 0x8000 - 0x1000;
      part->turnRates[1] = GameRand() * 0x2000 / 0x8000 - 0x1000;
      part->turnRates[2] = GameRand() * 0x4000 / 0x8000 - 0x2000;
    }
    ObjAttachInstance(part, object->parent);
    // A BodyData row outside the effect table counts as none.
    const int32_t groupRow = bodyRow > 0 && EffectRowAt(bodyRow) ? bodyRow : secondRow;
    const int64_t delay =
        int64_t{StartPropagation(part, kEffectKindImpact, secondRow, nullptr)} + (valueA > 0 ? RandomBelow(valueA) : 0);
    AddEffectGroup(kEffectKindBreakUp, static_cast<int32_t>(part->id), groupRow, part, nullptr, 0, 0, nullptr,
                   SaturateToInt32(delay), nullptr);
  }
  object->flags |= kObjFlagRemoving;
  ReleaseObjectReferences(object, 0);
  return 1;
}

int32_t StartPropagation(SpaceObject* object, int32_t kind, int32_t rowIndex, const FixedVector* point) {
  const EffectDefinitionRow* row = EffectRowAt(rowIndex);
  if (!object || !row || !row->entries) return 0;
  int64_t result = 0;
  for (int32_t i = 0; i < row->entryCount; ++i) {
    const EffectDefinitionEntry* entry = &row->entries[i];
    if (!(entry->flags & EEDF_PROPAGATE)) continue;
    const int64_t d0 = entry->startDelay;
    int64_t time = d0;
    if (InScene(object) && kind != 0) {
      const EffectPropagation& p = entry->propagation;
      int64_t n = std::clamp<int64_t>(p.stepsMin, 0, kMaxPropagationSteps);
      if (p.stepsMax > p.stepsMin) n += RandomBelow16(static_cast<int32_t>(int64_t{p.stepsMax} - p.stepsMin + 1));
      n = std::min<int64_t>(n, kMaxPropagationSteps);
      const int64_t f = p.intervalFirst;
      const int64_t l = p.intervalLast;
      int64_t a = d0;
      for (int64_t k = 0; k < n; ++k) {
        a += f + (l - f) * (n - k) / n;
        time = std::max(time, PropagateStep(object, kind, static_cast<int32_t>(1000 * k), entry, a, point));
      }
    }
    result = std::max(result, time);
  }
  return SaturateToInt32(result);
}

int32_t ShowCollisionEffect(SpaceObject* a, SpaceObject* b) {
  if (!InScene(a) || !InScene(b)) return 0;
  const SpaceObject* smaller = a->radius < b->radius ? a : b;
  FixedVector point;
  MatrixMulVector(&point, &smaller->instance->matrix, &smaller->instance->contact);
  AddVectorTo(&point, &smaller->instance->position);
  SpaceObject* target = a;
  SpaceObject* shot = b;
  if (IsShot(a)) {
    target = b;
    shot = a;
  } else if (!IsShot(b)) {
    return 1;
  }
  FixedVector local;
  SubVectorFrom(&point, &target->instance->position);
  MatrixTransposeMulVector(&local, &target->instance->matrix, &point);
  local.w = 0;
  const int32_t row = ImpactRow(shot);
  StartPropagation(target, kEffectKindImpact, row, &local);
  if (EffectGroup* g = StartObjectEffect(kEffectKindImpact, row, target, &local, nullptr, static_cast<int32_t>(shot->id))) {
    g->impactMatrix = shot->instance->matrix;
    g->second = shot;
  }
  return 1;
}

int32_t StartBulletEffect(int32_t bulletSubtype, SpaceObject* owner, int32_t keyB, const FixedVector* offset,
                          const FixedMatrix* matrix) {
  const ObjectTypeRecord* type = TypeRow(kClassBullet, bulletSubtype);
  if (type && type->bullet.fireRow != 0) {
    const int32_t words[4] = {offset ? offset->x : 0, offset ? offset->y : 0, offset ? offset->z : 0, 0};
    AddEffectGroup(kEffectKindFire, keyB, type->bullet.fireRow, owner, nullptr, 0, 0, offset ? words : nullptr, 0,
                   matrix);
  }
  return 1;
}

void UpdateEngineTrailEffects(SpaceObject* object) {
  int32_t row = 0, particle = 0;
  if (!object || !object->instance || !TrailOf(object, &row, &particle) || (row == 0 && particle == 0)) return;
  const FixedVector zero{};
  if (object->objClass == kClassBullet) {
    AddEffectGroup(kEffectKindTrail, 0, row, object, nullptr, 0, 0, &zero.x, 0, nullptr);
    if (particle != 0 && ParticlesOn() && (gSystem->d3dFlags2 & kD3D2BulletParticles)) {
      StartParticleEmitter(0, particle, object, &zero);
    }
    return;
  }
  InstanceRecord* instance = object->instance;
  int32_t n = 0;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (!(child->flags2 & kInst2Emitter)) continue;
    const int32_t key = n++;
    if (child->pathWord & kEmitterPathOff) continue;
    const FixedVector at = EmitterPosition(instance, child);
    if (row != 0 && !(child->pathWord & kEmitterNoTrail)) {
      AddEffectGroup(kEffectKindTrail, key, row, object, nullptr, 0, 0, &at.x, 0, nullptr);
    }
    if (particle != 0 && !(child->pathWord & kEmitterNoParticles) && ParticlesOn()) {
      StartParticleEmitter(key, particle, object, &at);
    }
  }
}

int32_t ShowRelativeExplosion(SceneRecord* scene, int32_t bodyId, int32_t size, const FixedVector* position) {
  InstanceRecord* instance = B3D_InstAlloc();
  if (!instance) return 0;
  auto* fx = static_cast<EffectInstance*>(MemCalloc(sizeof(EffectInstance)));
  if (!fx) {
    FreeInstance(instance);
    return 0;
  }
  if (position) instance->position = *position;
  const auto roll = static_cast<uint32_t>(16 * (GameRand() * 0x1000 / 0x7FFF));
  MatrixFromAngles(&instance->matrix, 0, 0, roll);
  instance->flags |= kInstFlat;
  B3D_InstSetBody(instance, bodyId);
  if (BodyRecord* body = B3D_FindBody(bodyId)) body->flags |= kBodyUsedByEffect;
  instance->size = size / 4;
  if (scene) AddInstanceToScene(instance, scene);
  fx->startTime = Now();
  fx->endTime = Now() + kSpriteLifetime;
  fx->instance = instance;
  fx->state = kSpriteRunning;
  fx->flags = kSpriteFlags;
  ListAddTail(EffectInstanceList(), &fx->node);
  return 1;
}

void PlayExplosionSound(SpaceObject* object) {
  if (!InScene(object)) return;
  int32_t sound = kExplosionSoundSmall;
  if (object->objClass == kClassMissile && (object->flags & kObjFlagArmed)) {
    const ObjectTypeRecord* type = TypeRow(kClassMissile, object->subtype);
    sound = type ? type->missile.explosionSound : 0;
  } else if (object->radius > kLargeExplosionRadius) {
    sound = kExplosionSoundLarge;
  } else if (object->radius > kMediumExplosionRadius) {
    sound = kExplosionSoundMedium;
  }
  ObjPlaySound3D(object, sound);
}

void PlayHitSound(SpaceObject* attacker, SpaceObject* target) {
  if (!InScene(target) || !attacker || !attacker->instance) return;
  int32_t sound = 0;
  if (attacker->objClass == kClassBullet) {
    const ObjectTypeRecord* type = TypeRow(kClassBullet, attacker->subtype);
    sound = type ? type->bullet.hitSound : 0;
  } else if (attacker->objClass == kClassMissile && (attacker->flags & kObjFlagArmed)) {
    return;
  } else if (attacker->objClass == kClassShip && attacker->subtype == kSubtypeHitSound992) {
    sound = kHitSoundSubtype275;
  } else {
    if (target->radius < attacker->radius) return;
    const bool small = target->radius <= kSmallHitRadius && attacker->radius <= kSmallHitRadius;
    sound = small ? kHitSoundSmall : kHitSoundLarge;
    if (ObjSoundIsPlaying(sound)) return;
  }
  ObjPlaySound3D(attacker, sound);
}
