// Placing objects and switching their detail: orientation, position, facing, moves between
// containers (with the sector scenes their instances and lights belong to), whether an object
// wants its detailed form, and the switch between the simple model and the detailed set of part
// objects (with debris shrinking to smaller types). Called by the script natives, the simulation
// and object creation. Every placement collapses a detail-managed object first and re-evaluates
// after, so parts always follow the latest placement; the debris successor walk is bounded.
#include "universe/object_detail.h"

#include <cstdlib>

#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_records.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_references.h"
#include "universe/object_view.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kPlanetLightFar = 100000000;       // beyond this on any axis the light is pushed out
constexpr int32_t kPlanetLightDistance = 1000000000;  // ... to this distance
constexpr int32_t kPlanetLightNearScale = 10;
constexpr int32_t kFacingUpLimit = 0xF333;  // 0.95: closer to vertical needs another up vector
constexpr uint32_t kDetailInstFlags = 0x8100000;
constexpr int32_t kSelfDestructLinkGone = 19;
constexpr int32_t kSelfDestructUsedUp = 20;
constexpr int kSunLightSectorWordA = 6;  // sector words that depend on its suns and planets
constexpr int kSunLightSectorWordB = 8;

SectorObject* SectorParent(const SpaceObject* o) {
  return o && o->parent && o->parent->objClass == kClassSector ? static_cast<SectorObject*>(o->parent) : nullptr;
}

void CopyPlacement(InstanceRecord* to, const InstanceRecord* from) {
  to->matrix = from->matrix;
  to->worldMatrix = from->matrix;
  to->position = from->position;
  to->world = from->position;
}

void ResetSectorLightWords(SpaceObject* o) {
  if (SectorObject* s = SectorParent(o)) s->sectorWords[kSunLightSectorWordA] = s->sectorWords[kSunLightSectorWordB] = 0;
}

// A far planet's light sits on the line through it at a fixed great distance, a near one's at
// ten times its position, so its light always falls from the planet's side.
void PlacePlanetLight(SpaceObject* o) {
  auto* planet = static_cast<PlanetExt*>(o->ext);
  if (!planet || !planet->light || !o->instance) return;
  FixedVector p = o->instance->position;
  if (std::abs(static_cast<int64_t>(p.x)) > kPlanetLightFar || std::abs(static_cast<int64_t>(p.y)) > kPlanetLightFar ||
      std::abs(static_cast<int64_t>(p.z)) > kPlanetLightFar) {
    SetVectorLength(&p.x, &p.y, &p.z, kPlanetLightDistance);
  } else {
    p.x *= kPlanetLightNearScale;
    p.y *= kPlanetLightNearScale;
    p.z *= kPlanetLightNearScale;
  }
  planet->light->position = p;
  planet->light->world = p;
}

const ObjectTypeRecord* DebrisRow(int32_t objClass, int32_t subtype) {
  return objClass == kClassDebris ? TypeRow(objClass, subtype) : nullptr;
}

uint32_t Amount(const SpaceObject* o) { return o->ext ? static_cast<const AmountExt*>(o->ext)->amount : 0; }

// The debris type that fits the object's amount: follow successors while the threshold is above
// the amount. A chain that loops ends after as many steps as the table has rows.
void DebrisTypeForAmount(const SpaceObject* o, int32_t* objClass, int32_t* subtype) {
  const ObjectTypeRecord* row = DebrisRow(*objClass, *subtype);
  if (!row) return;
  const int64_t amount = Amount(o);
  int64_t t = row->debris.value;
  for (int32_t steps = gObjectTypeTables[kClassDebris].count; t != 0 && t > amount && steps > 0; --steps) {
    int32_t c = 0, s = 0;
    if (row->debris.body == 0 || !FindTypeByBodyId(row->debris.body, &c, &s)) return;
    const ObjectTypeRecord* next = DebrisRow(c, s);
    if (!next) return;
    *objClass = c;
    *subtype = s;
    row = next;
    t = row->debris.value;
  }
}

// Used up: below its threshold with no smaller type to turn into.
bool DebrisUsedUp(const SpaceObject* o) {
  const ObjectTypeRecord* row = DebrisRow(o->objClass, o->subtype);
  if (!row || row->debris.value == 0 || static_cast<int64_t>(Amount(o)) >= row->debris.value) return false;
  int32_t c = 0, s = 0;
  return row->debris.body == 0 || !FindTypeByBodyId(row->debris.body, &c, &s);
}

void RemoveOrTell(SpaceObject* o, int32_t reason) {
  if (o->scriptId != 0) {
    RaiseObjectEvent(o, "SelfDestruct", 2, reason, 0);
  } else {
    o->flags |= kObjFlagRemoving;
    ReleaseObjectReferences(o, 0);
  }
}

void RemoveParts(SpaceObject* o) {
  ListHead* siblings = ObjectChildren(o->parent);
  for (SpaceObject* part = ObjectListFirst(siblings); part; part = ObjectListNext(part)) {
    if (part->linkedObject != o) continue;
    part->linkedObject = nullptr;
    RemoveOrTell(part, kSelfDestructLinkGone);
  }
}

// A detail cut whose parts are themselves detailed (a cut naming its own type, say) would build
// parts of parts without end; nesting stops at this depth.
constexpr int kPartNestingLimit = 4;
int gPartNesting = 0;

void CreateParts(SpaceObject* o) {
  if (gPartNesting >= kPartNestingLimit) return;
  CutRecord* cut = J3D_LoadCut(GetTypeLookupId(o->subtype, o->objClass));
  if (!cut || !cut->paths) return;
  ++gPartNesting;
  const InstanceRecord* whole = o->instance;
  for (int32_t p = 0; p < cut->pathCount; ++p) {
    const PathRecord& path = cut->paths[p];
    int32_t c = 0, s = 0;
    if (path.positions.count <= 0 || path.rotations.count <= 0 || !path.positions.keys) continue;
    if (!FindTypeByBodyId(static_cast<int32_t>(path.lookupWord), &c, &s) || c == kClassSector) continue;
    SpaceObject* part = AllocObjectRecord(c);
    if (!part) continue;
    CreateObject(part, MakeTypeWord(c, s));
    if (o->objClass == kClassDebris) part->flags2 |= kObjFlag2DetailPart;
    part->linkedObject = o;
    if (InstanceRecord* inst = part->instance) {
      FixedVector offset;
      MatrixMulVector(&offset, &whole->matrix, &path.positions.keys[0].position);
      inst->position = {whole->position.x + offset.x, whole->position.y + offset.y, whole->position.z + offset.z, 0};
      FixedMatrix start;
      GetPathRotMatrix(&path, 0, &start);
      MatrixMultiply(&inst->matrix, &whole->matrix, &start);
      MatrixToAngles(&inst->matrix, &part->angles[0], &part->angles[1], &part->angles[2]);
    }
    ObjAttachInstance(part, o->parent);
  }
  --gPartNesting;
}

}  // namespace

void ObjSetAngles(SpaceObject* object, int32_t a, int32_t b, int32_t c) {
  if (!object) return;
  object->angles[0] = a;
  object->angles[1] = b;
  object->angles[2] = c;
  if (!object->instance) return;
  if (object->parent && (object->flags2 & kObjFlag2DetailManaged)) ObjSwitchDetail(object, 1, false);
  InstanceRecord* inst = object->instance;
  MatrixFromAngles(&inst->matrix, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c));
  inst->worldMatrix = inst->matrix;
  if (object->flags2 & kObjFlag2DetailManaged) ObjSwitchDetail(object, 1, WantsDetail(object));
  if (object->objClass == kClassSun && object->ext) {
    auto* sun = static_cast<SunExt*>(object->ext);
    for (InstanceRecord* light : {sun->lightA, sun->lightB}) {
      if (!light) continue;
      light->matrix = object->instance->matrix;
      light->worldMatrix = object->instance->matrix;
    }
  }
}

void ObjSetPosition(SpaceObject* object, int32_t x, int32_t y, int32_t z) {
  if (!object || !object->instance) return;
  if (object->parent && (object->flags2 & kObjFlag2DetailManaged)) ObjSwitchDetail(object, 1, false);
  InstanceRecord* inst = object->instance;
  inst->position = {x, y, z, inst->position.w};
  inst->world = inst->position;
  if (object->flags2 & kObjFlag2DetailManaged) ObjSwitchDetail(object, 1, WantsDetail(object));
  if (object->objClass == kClassSun) {
    if (auto* sun = static_cast<SunExt*>(object->ext)) {
      for (InstanceRecord* light : {sun->lightA, sun->lightB}) {
        if (!light) continue;
        light->position = object->instance->position;
        light->world = object->instance->position;
      }
    }
    ResetSectorLightWords(object);
  } else if (object->objClass == kClassPlanet) {
    ResetSectorLightWords(object);
    PlacePlanetLight(object);
  }
}

void ObjFaceDirection(SpaceObject* object, int32_t x, int32_t y, int32_t z) {
  if (!object || (x == 0 && y == 0 && z == 0)) return;
  FixedVector f{x, y, z, 0};
  NormalizeVector(&f);
  FixedVector up{0, kFixedOne, 0, 0};
  // Facing (nearly) straight up or down, the usual up vector is no use for the frame.
  if (std::abs(FixDot3(&f, &up)) > kFacingUpLimit) up = {0, 0, -kFixedOne, 0};
  FixedVector right, up2;
  CrossVector(&right, &up, &f);
  CrossVector(&up2, &f, &right);
  NormalizeVector(&right);
  NormalizeVector(&up2);
  FixedMatrix m{};
  const FixedVector* rows[3] = {&right, &up2, &f};
  for (int r = 0; r < 3; ++r) {
    m.m[r][0] = rows[r]->x;
    m.m[r][1] = rows[r]->y;
    m.m[r][2] = rows[r]->z;
  }
  int32_t a = 0, b = 0, c = 0;
  MatrixToAngles(&m, &a, &b, &c);
  ObjSetAngles(object, a, b, c);
}

void ObjAttachInstance(SpaceObject* object, SpaceObject* newParent) {
  if (!object || object->parent == newParent) return;
  ListHead* children = ObjectChildren(newParent);
  if (!children) return;  // only containers hold objects
  if (SectorParent(object)) {
    if (InstanceRecord* inst = object->instance) RemoveInstanceFromScene(inst, inst->scene);
    if (object->objClass == kClassSun && object->ext) {
      auto* sun = static_cast<SunExt*>(object->ext);
      if (sun->lightA) RemoveInstanceFromScene(sun->lightA, sun->lightA->scene);
      if (sun->lightB) RemoveInstanceFromScene(sun->lightB, sun->lightB->scene);
    } else if (object->objClass == kClassPlanet && object->ext) {
      auto* planet = static_cast<PlanetExt*>(object->ext);
      if (planet->light) RemoveInstanceFromScene(planet->light, planet->light->scene);
    }
    ReleaseObjectReferences(object, 1);
  }
  if (object->link.succ || object->link.pred) ObjectListRemove(object);
  object->parent = nullptr;
  object->refAngles[0] = object->refAngles[1] = object->refAngles[2] = 0;
  object->createdAt = gSystem ? gSystem->gameTime : 0;
  ObjectListAddTail(children, object);
  object->parent = newParent;

  // Scenes belong to sectors; an object put into any other container stays out of them.
  if (SectorObject* sector = SectorParent(object)) {
    const bool sky = object->objClass == kClassSun || object->objClass == kClassPlanet;
    SceneRecord* scene = sky ? sector->sceneB : sector->sceneA;
    if (object->instance && scene) AddInstanceToScene(object->instance, scene);
    if (object->objClass == kClassSun && object->ext) {
      auto* sun = static_cast<SunExt*>(object->ext);
      if (sun->lightA && sector->sceneA) AddInstanceToScene(sun->lightA, sector->sceneA);
      if (sun->lightB && sector->sceneB) AddInstanceToScene(sun->lightB, sector->sceneB);
    } else if (object->objClass == kClassPlanet && object->ext) {
      PlacePlanetLight(object);
      auto* planet = static_cast<PlanetExt*>(object->ext);
      if (planet->light && sector->sceneA) AddInstanceToScene(planet->light, sector->sceneA);
    }
  }
  InstanceRecord* attached = nullptr;
  if (object->objClass == kClassShip && object->ext) attached = static_cast<ShipExt*>(object->ext)->attachedInstance;
  if (object->objClass == kClassBullet && object->ext) attached = static_cast<BulletExt*>(object->ext)->attachedInstance;
  if (attached && object->instance) B3D_InstAddToInst(attached, object->instance);
  if (InstanceRecord* inst = object->instance) {
    inst->worldMatrix = inst->matrix;
    inst->world = inst->position;
  }
  if (object->flags2 & kObjFlag2DetailManaged) ObjSwitchDetail(object, 1, WantsDetail(object));
}

bool WantsDetail(const SpaceObject* object) { return ObjIsInViewRange(object); }

int32_t ObjSwitchDetail(SpaceObject* object, int32_t force, bool detailed) {
  if (!object || !object->parent || !(object->flags2 & kObjFlag2DetailManaged) ||
      (object->flags2 & kObjFlag2DetailHeld)) {
    return 0;
  }
  if (!force) {
    detailed = WantsDetail(object);
    if (detailed == ((object->flags2 & kObjFlag2Detailed) != 0)) return 0;
  }
  if (!object->instance) return 0;

  int32_t newClass = object->objClass, newSubtype = object->subtype;
  DebrisTypeForAmount(object, &newClass, &newSubtype);
  InstanceRecord* replacement = nullptr;
  if (newClass != object->objClass || newSubtype != object->subtype) {
    const ObjectTypeRecord* row = TypeRow(newClass, newSubtype);
    if ((replacement = B3D_InstAlloc())) {
      B3D_InstSetBody(replacement, row ? static_cast<uint16_t>(row->bodyId) : -1);
      B3D_InstMakeRapidBox(replacement, 0);
      CopyPlacement(replacement, object->instance);
      replacement->worldMatrix = object->instance->worldMatrix;
      replacement->world = object->instance->world;
    }
  }

  if (!detailed) RemoveParts(object);
  else CreateParts(object);

  if (replacement) {
    object->objClass = static_cast<uint16_t>(newClass);
    object->subtype = static_cast<int16_t>(newSubtype);
    InstanceRecord* old = object->instance;
    SceneRecord* scene = old->scene;
    object->instance = object->shownInstance = nullptr;
    FreeInstance(old);
    object->instance = object->shownInstance = replacement;
    if (scene) AddInstanceToScene(replacement, scene);
    RaiseObjectEvent(object, "DetailSwitch", 1, 0);
  }

  if (detailed) {
    object->flags2 |= kObjFlag2Detailed;
    object->instance->flags |= kDetailInstFlags;
    return 1;
  }
  object->flags2 &= ~kObjFlag2Detailed;
  object->instance->flags &= ~kDetailInstFlags;
  if (!force && DebrisUsedUp(object)) RemoveOrTell(object, kSelfDestructUsedUp);
  return 1;
}
