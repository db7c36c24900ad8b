// Scene objects: the objects, lights and plain instances a take or an in-game scene makes from
// the paths of a cut, their placement on the paths and the creation events the scripts receive.
// Called by the take and scene commands. It never keeps a pointer past the call and never frees
// what it made: takes give theirs back when they stop, scene objects belong to the scripts.
#include "universe/scene_objects.h"

#include "core/memory.h"
#include "scene/body_cache.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "script/tasks.h"
#include "script/value.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

// Body ids of take paths with a meaning of their own.
constexpr int32_t kBodyPlainInstance = -1;
constexpr int32_t kBodyLightFirst = 1000;
constexpr int32_t kBodyValuedLight = 2000;
constexpr int32_t kBodySpotLight = 3000;
constexpr int32_t kBodyLightEnd = 4000;
constexpr int32_t kBodyPathLight = 1999;  // a light path whose body names no light
constexpr int32_t kBodyLookupEnd = 9999;
constexpr int32_t kBodyPlayerModel = 9999;
constexpr int32_t kBodyPlayerModelFallback = 4161;
constexpr int32_t kBodyLookupHighFirst = 50000;
constexpr int32_t kBodyLookupHighLast = 79999;
constexpr int32_t kBodyPlayerType = 124;
constexpr int32_t kBodyReplace = 99999;
constexpr int32_t kBodySunFirst = 1000;  // exclusive bounds of the sun fallback
constexpr int32_t kBodySunEnd = 2000;

// Cuts with a scene of their own kind.
constexpr int32_t kCutPlayerShowcase = 2109;
constexpr int32_t kCutFreeObjects = 6240;
constexpr int32_t kCutNodeCarried = 4810;
constexpr int32_t kCutCarrierScene = 4447;
constexpr int32_t kBodyCarrierSceneFixed = 4445;
constexpr int32_t kCutKeepsDetail1 = 6235;
constexpr int32_t kCutKeepsDetail2 = 6244;
constexpr int32_t kCutRacing = 4822;
constexpr int16_t kSilentSubtypeA = 117;
constexpr int16_t kSilentSubtypeB = 290;

constexpr int32_t kPlayerShowcaseSize = 8000;
constexpr uint32_t kCarrierShipType = 0x70118;  // ship subtype 280
constexpr uint32_t kCarrierShipFlags = (1u << 4) | kObjFlagBit10;
constexpr uint32_t kNodeCarriedFlags = kObjFlagCarried | kObjFlagBit10;

// Light instance words.
constexpr int32_t kDefaultLightRange = 300000;
constexpr int32_t kSpotRange = 1000000;
// The shadow light carries the light-parameter flag with its shadow value as the parameter.
constexpr uint32_t kInstShadowLight = kInstLightParamSet;
constexpr uint32_t kInstLensFlareSource = 0x20000000;
// Detail nodes: second flag word bit 0 marks one.
constexpr uint32_t kInst2DetailNode = 0x1;

// Creation event arguments.
constexpr int32_t kFightDroneClass = 2067;
constexpr int32_t kShipDefaultQualifier = 11;
constexpr int32_t kStationQualifier = 12;

bool InLookupRange(int32_t b) {
  return (b >= kBodyLightEnd && b <= kBodyLookupEnd) || (b >= kBodyLookupHighFirst && b <= kBodyLookupHighLast);
}

SceneRecord* SceneOf(SpaceObject* container) {
  if (!container || container->objClass != kClassSector) return nullptr;
  return static_cast<SectorObject*>(container)->sceneA;
}

// A new object of the type, or null when its record cannot be had (or the type is a sector's,
// which a common record cannot hold).
SpaceObject* NewCarrierShip() {
  SpaceObject* ship = NewObject(kClassShip, static_cast<int16_t>(kCarrierShipType & 0xFFFF));
  if (!ship) return nullptr;
  ObjSetPosition(ship, 0, 0, 0);
  ObjSetAngles(ship, 0, 0, 0);
  ship->flags2 |= kObjFlag2VanishWhenDone;
  ship->flags |= kCarrierShipFlags;
  return ship;
}

// Detail nodes below the instance leave vertex searches with their direct children and stop
// being detail nodes.
void HideDetailNodes(InstanceRecord* instance) {
  if (!instance) return;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (!(child->flags2 & kInst2DetailNode)) continue;
    child->flags |= kInstVertexSkip;
    for (InstanceRecord* grandchild = InstFirstChild(child); grandchild; grandchild = InstNextSibling(grandchild)) {
      grandchild->flags |= kInstVertexSkip;
    }
    child->flags2 &= ~kInst2DetailNode;
  }
}

const FixedVector* StartPosition(const PathRecord* path) {
  return path->positions.count > 0 && path->positions.keys ? &path->positions.keys[0].position : nullptr;
}

const int32_t* StartAngles(const PathRecord* path) {
  return path->rotations.count > 0 && path->rotations.keys ? path->rotations.keys[0].angles : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Takes.

struct TakeBuild {
  ObjTakeRecord* record;
  TakeRecord* take;
  CutRecord* cut;
  int32_t jobValue;
  InstanceRecord* shadowLight;
  InstanceRecord* firstLight;
};

void PutInSectorScene(const TakeBuild& build, InstanceRecord* instance) {
  if (SceneRecord* scene = SceneOf(build.record->sector)) AddInstanceToScene(instance, scene);
}

void SetAttenuation(InstanceRecord* light, int32_t a, int32_t b, int32_t c) {
  light->words31[0] = static_cast<uint32_t>(a);
  light->words31[1] = static_cast<uint32_t>(b);
  light->words31[2] = static_cast<uint32_t>(c);
}

InstanceRecord* MakeTakeLight(TakeBuild& build, int32_t b) {
  if (b < kBodyLightFirst || b >= kBodyLightEnd) b = kBodyPathLight;
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return nullptr;
  const bool spot = b >= kBodySpotLight;
  const bool valued = !spot && b >= kBodyValuedLight;
  const int32_t index = spot ? b - kBodySpotLight : valued ? b - kBodyValuedLight : b - kBodyLightFirst;
  const LightTypeRecord& row = gEngine3D->lightTypes[index];
  const int32_t flagWord = row.secondValue, shadowValue = row.parameter;
  const int32_t lightValue = row.words[0], range = row.words[1];

  light->lightRange = range != 0 ? range : kDefaultLightRange;
  SetAttenuation(light, kFixedOne, 0, 8 * kFixedOne);
  if (row.kind == kLightKindDirectional) light->flags |= kInstLightRankedHigh;
  else if (row.kind == kLightKindPoint) light->flags |= kInstPointLight;
  else if (row.kind == kLightKindSpot) light->flags |= kInstSpotLight;
  if (shadowValue > 0 && !build.shadowLight) {
    light->flags |= kInstShadowLight;
    light->lightParam = shadowValue;
    build.shadowLight = light;
  }
  if (flagWord > 0) light->flags |= kInstLightSecondPositive;
  if (spot) {
    light->flags |= kInstSpotLight;
    SetAttenuation(light, kFixedOne, 10 * kFixedOne, 0);
    light->lightRange = kSpotRange;
    MatrixSetIdentity(&light->matrix);
  }
  if (!build.shadowLight && !build.firstLight) build.firstLight = light;
  B3D_LightSetColor(light, row.red, row.green, row.blue);  // refreshes the device light
  PutInSectorScene(build, light);
  if (lightValue >= 0) {
    light->flags |= kInstLensFlareSource;
    light->flareType = lightValue;
  }
  if (valued) {
    light->flags |= kInstLensFlareSource;
    light->flareType = 0;
  }
  return light;
}

// The object of slot p, attached to the take's container and carried along its path.
void AdoptActor(TakeBuild& build, int32_t p, SpaceObject* object) {
  build.record->actors[p] = object;
  build.take->instances[p] = object->instance;
  ObjAttachInstance(object, build.record->sector);
  object->flags |= kObjFlagCarried;
}

void MakeLookupObject(TakeBuild& build, int32_t p, int32_t b) {
  if (b == kBodyPlayerModel) {
    const SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
    const auto cut = player ? static_cast<int32_t>(player->componentCut) : 0;
    if (!player || !ObjIsContainer(player)) b = kBodyPlayerModelFallback;
    else if (cut != kBodyPlayerModel && InLookupRange(cut)) b = cut;
  }
  int32_t objClass = 0, subtype = 0;
  if (!FindTypeByLookupId(b, &objClass, &subtype)) return;
  SpaceObject* object = NewObject(objClass, subtype);
  if (!object) return;
  if (objClass == kClassMissile && object->instance) {
    if (const ObjectTypeRecord* row = TypeRow(objClass, subtype)) B3D_InstSetBody(object->instance, row->bodyId);
    B3D_InstMakeRapidBox(object->instance, 0);
  }
  AdoptActor(build, p, object);
}

void ScaleObject(SpaceObject* object, int32_t size) {
  InstanceRecord* instance = object->instance;
  if (size <= 0 || object->radius == 0 || !instance) return;
  const int32_t scale = FixedDiv(size, object->radius);
  B3D_InstSetScale(instance, scale, scale, scale);
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (!(child->flags2 & kInst2DetailNode)) InstSetScaleTree(child, scale, scale, scale);
  }
}

// The instance of the first other path with that serial that has one.
InstanceRecord* PathParentInstance(const TakeBuild& build, int32_t p, int32_t serial) {
  for (int32_t q = 0; q < build.cut->pathCount; ++q) {
    if (q == p || build.cut->paths[q].serial != serial) continue;
    if (InstanceRecord* instance = build.take->instances[q]) return instance;
  }
  return nullptr;
}

void MakeBodyObject(TakeBuild& build, int32_t p, int32_t b) {
  int32_t objClass = 0, subtype = 0;
  bool found = false;
  int32_t size = 0;
  bool showcase = false;
  const SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
  if (b == kBodyPlayerType && player && player->instance) {
    found = FindTypeByLookupId(static_cast<int32_t>(player->componentCut), &objClass, &subtype) ||
            FindTypeByBodyId(player->instance->bodyId, &objClass, &subtype);
    showcase = build.cut->handle == static_cast<uint32_t>(kCutPlayerShowcase);
    if (showcase) size = kPlayerShowcaseSize;
  } else {
    found = FindTypeByBodyId(b == kBodyReplace && gUniverse ? gUniverse->takeReplaceBody : b, &objClass, &subtype);
  }
  if (found) {
    SpaceObject* object = NewObject(objClass, subtype);
    if (!object) return;
    ScaleObject(object, size);
    if (showcase && object->instance) {
      HideDetailNodes(object->instance);
      object->instance->flags2 &= ~kInst2DetailNode;
    }
    if (objClass == kClassMissile && object->instance) {
      if (const ObjectTypeRecord* row = TypeRow(objClass, subtype)) InstSetSound(object->instance, row->missile.sound);
    }
    AdoptActor(build, p, object);
    return;
  }
  InstanceRecord* instance = B3D_InstAlloc();
  if (!instance) return;
  B3D_InstSetBody(instance, b);
  B3D_InstMakeRapidBox(instance, 0);
  build.take->instances[p] = instance;
  const auto f = static_cast<int32_t>(build.cut->paths[p].loaderWord);
  InstanceRecord* parent = f >= 0 ? PathParentInstance(build, p, f) : nullptr;
  // An instance that finds no parent still belongs to the scene rather than to nobody.
  if (!parent || !B3D_InstAddToInst(instance, parent)) PutInSectorScene(build, instance);
}

void MakeTakePath(TakeBuild& build, int32_t p) {
  const PathRecord& path = build.cut->paths[p];
  const auto b = static_cast<int32_t>(path.lookupWord);
  if (b == kBodyPlainInstance) {
    InstanceRecord* instance = B3D_InstAlloc();
    if (!instance) return;
    build.take->instances[p] = instance;
    instance->jobFlags |= kJobDrivesCamera;
    instance->jobWord = static_cast<uint32_t>(build.jobValue);
    PutInSectorScene(build, instance);
  } else if ((b >= kBodyLightFirst && b < kBodyLightEnd) || (path.flags & kPathFlagL)) {
    build.take->instances[p] = MakeTakeLight(build, b);
  } else if (InLookupRange(b)) {
    MakeLookupObject(build, p, b);
  } else {
    MakeBodyObject(build, p, b);
  }
  InstanceRecord* instance = build.take->instances[p];
  if ((path.flags & kPathFlagF) && instance) {
    instance->flags |= kInstSubtreeOff;
    for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
      InstMarkSubtree(child, 0);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// In-game scenes.

// The type a scene path makes; false for a path that makes nothing.
bool ScenePathType(const PathRecord& path, int32_t* objClass, int32_t* subtype) {
  const auto b = static_cast<int32_t>(path.lookupWord);
  if (b < 0 || b > kBodyLookupHighLast) return false;
  if (!FindTypeByLookupId(b, objClass, subtype) && !FindTypeByBodyId(b, objClass, subtype)) {
    if (b <= kBodySunFirst || b >= kBodySunEnd) return false;
    *objClass = kClassSun;
    *subtype = 0;
  }
  return *subtype >= 0;
}

void KeepLongest(int32_t* longest, InstanceRecord* node) {
  const int32_t remaining = J3D_JobGetRemainingTime(node);
  if (remaining > *longest) *longest = remaining;
}

int32_t EventModule() { return gUniverse ? static_cast<int32_t>(gUniverse->moduleNo) : 0; }

void RaiseSceneEvent(const char* name, int32_t a, int32_t typeWord, int32_t id, int32_t b, int32_t last) {
  // Every handler declares six arguments; the sixth is passed as 0 so it never reads past them.
  CallScriptFunction(EventModule(), 0, kSceneEventTarget, name, kResultInt, kSceneEventArgCount, a, typeWord, id, b,
                     last, 0);
}

int32_t ShipQualifier(int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(kClassShip, subtype);
  if (!row || !gScriptEngine) return kShipDefaultQualifier;
  const ObjectInstance* script = FindScriptObject(gScriptEngine, row->ship.scriptClass);
  return script && ObjectIsClass(script, kFightDroneClass) ? row->ship.qualifier : kShipDefaultQualifier;
}

void RaiseRacingEvent(int32_t typeWord, int32_t id, int32_t value, const char* name) {
  ScriptValue values[kSceneEventArgCount] = {};
  SetValueInt(&values[0], 0);
  SetValueInt(&values[1], typeWord);
  SetValueInt(&values[2], id);
  SetValueInt(&values[3], value);
  SetValueInt(&values[4], kStationQualifier);
  SetValueString(&values[5], name ? name : "");
  CallScriptFunctionValues(EventModule(), 0, kRacingEventTarget, "CreateRacingSpecial", kResultInt,
                           kSceneEventArgCount, &values[0], &values[1], &values[2], &values[3], &values[4],
                           &values[5]);
  for (ScriptValue& v : values) ReleaseValue(&v);
}

// The creation event of a scene object; `shipEvent` names the ship's.
void AnnounceSceneObject(const char* shipEvent, int32_t objClass, int32_t subtype, const SpaceObject* object,
                         int32_t a, int32_t b) {
  const auto id = object ? static_cast<int32_t>(object->id) : 0;
  const auto type = static_cast<int32_t>(MakeTypeWord(objClass, subtype));
  switch (objClass) {
    case kClassShip: RaiseSceneEvent(shipEvent, a, type, id, b, ShipQualifier(subtype)); break;
    case kClassSpecial: RaiseSceneEvent("CreateSpecial", a, type, id, b, kStationQualifier); break;
    case kClassSun: RaiseSceneEvent("CreateSun", a, 0, id, b, 0); break;
    case kClassFactory: RaiseSceneEvent("CreateFactory", a, type, id, b, kStationQualifier); break;
    default: break;
  }
}

}  // namespace

void PlaceOnPath(SpaceObject* object, const InstanceRecord* node, const InstanceRecord* root, bool velocity) {
  InstanceRecord* instance = object->instance;
  FixedVector turned;
  MatrixMulVector(&turned, &root->matrix, &node->position);
  instance->position = {SaturateToInt32(int64_t{root->position.x} + turned.x),
                        SaturateToInt32(int64_t{root->position.y} + turned.y),
                        SaturateToInt32(int64_t{root->position.z} + turned.z), instance->position.w};
  instance->world = instance->position;
  MatrixMultiply(&instance->matrix, &node->matrix, &root->matrix);
  instance->worldMatrix = instance->matrix;
  if (velocity) {
    MatrixMulVector(&turned, &root->matrix, &node->velocity);
    instance->velocity = {SaturateToInt32(int64_t{turned.x} + root->velocity.x),
                          SaturateToInt32(int64_t{turned.y} + root->velocity.y),
                          SaturateToInt32(int64_t{turned.z} + root->velocity.z), instance->velocity.w};
  }
}

InstanceRecord* StartPathNode(CutRecord* cut, int32_t p, InstanceRecord* root) {
  InstanceRecord* node = B3D_InstAlloc();
  if (!node) return nullptr;
  if (root) B3D_InstAddToInst(node, root);
  if (!StartInstancePath(node, cut, p)) {
    FreeInstance(node);
    return nullptr;
  }
  return node;
}

int32_t CreateObjectsFromCut(int32_t cutId, ObjTakeRecord* takeRecord, int32_t jobValue) {
  if (!takeRecord || !takeRecord->take) return 0;
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut) return 0;
  TakeRecord* take = takeRecord->take;
  const int32_t count = cut->paths && cut->pathCount > 0 ? cut->pathCount : 0;
  SpaceObject** actors = nullptr;
  InstanceRecord** slots = nullptr;
  if (count > 0) {
    actors = static_cast<SpaceObject**>(MemCalloc(static_cast<size_t>(count) * sizeof(SpaceObject*)));
    slots = actors ? AllocTakeInstanceSlots(count) : nullptr;
    if (!slots) {
      // A take without its slots holds nothing and stays unbuilt.
      MemFreeIfSet(actors);
      return 0;
    }
  }
  take->cutHandle = static_cast<uint32_t>(cutId);
  take->instanceCount = count;
  take->instances = slots;
  takeRecord->actors = actors;
  TakeBuild build{takeRecord, take, cut, jobValue, nullptr, nullptr};
  for (int32_t p = 0; p < count; ++p) MakeTakePath(build, p);
  if (!build.shadowLight && build.firstLight) build.firstLight->flags |= kInstShadowLight;
  take->state = kTakeStopped;
  return 1;
}

int32_t CreateCutSceneObjects(SpaceObject* object, int32_t a, int32_t cutId, int32_t b) {
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut) return 0;
  InstanceRecord* root = B3D_InstAlloc();
  if (!root) return 0;
  SpaceObject* carrier = object;
  int32_t longest = 0;
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    PathRecord& path = cut->paths[p];
    int32_t objClass = 0, subtype = 0;
    if (!ScenePathType(path, &objClass, &subtype)) continue;
    const bool fixedBody = static_cast<int32_t>(path.lookupWord) == kBodyCarrierSceneFixed;
    if (cutId == kCutCarrierScene && fixedBody && path.positions.count > 0 && path.positions.keys) {
      path.positions.keys[0].position = FixedVector{0, 0, 0, 0};
    }
    SpaceObject* made = NewObject(objClass, subtype);
    const bool placed = made && made->instance;
    if (placed) {
      if (InstanceRecord* node = StartPathNode(cut, p, root)) {
        PlaceOnPath(made, node, root, cutId != kCutNodeCarried);
        KeepLongest(&longest, node);
        if (cutId == kCutNodeCarried) {
          made->flags |= kNodeCarriedFlags;
          made->carrierNode = node;
        } else if (cutId != kCutFreeObjects && carrier) {
          made->flags |= kObjFlagCarried;
          made->carrier = carrier;
          made->carrierNode = node;
        }
      }
    }
    bool silent = false;
    if (cutId == kCutCarrierScene) {
      if (p == 0) {
        if (SpaceObject* ship = NewCarrierShip()) carrier = ship;
      }
      if (placed) {
        if (InstanceRecord* node = StartPathNode(cut, p, root)) {
          PlaceOnPath(made, node, root, false);
          const int32_t* angles = StartAngles(&path);
          if (!fixedBody && angles) {
            for (int k = 0; k < 3; ++k) made->angles[k] = angles[k];
          }
        }
      }
      silent = subtype == kSilentSubtypeA || subtype == kSilentSubtypeB;
    }
    if (!silent) AnnounceSceneObject("CreateSceneShip", objClass, subtype, made, a, b);
  }
  return longest;
}

int32_t CreateCutSceneObjects2(int32_t cutId, int32_t value) {
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut) return 0;
  InstanceRecord* root = B3D_InstAlloc();
  if (!root) return 0;
  SpaceObject* carrier = NewCarrierShip();
  int32_t longest = 0;
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    const PathRecord& path = cut->paths[p];
    int32_t objClass = 0, subtype = 0;
    if (!ScenePathType(path, &objClass, &subtype)) continue;
    SpaceObject* made = NewObject(objClass, subtype);
    if (made && cutId != kCutKeepsDetail1 && cutId != kCutKeepsDetail2) HideDetailNodes(made->instance);
    if (made && made->instance) {
      if (InstanceRecord* node = StartPathNode(cut, p, nullptr)) {
        PlaceOnPath(made, node, root, true);
        if (const int32_t* angles = StartAngles(&path)) {
          for (int k = 0; k < 3; ++k) made->angles[k] = angles[k];
        }
        if (const FixedVector* start = StartPosition(&path)) {
          made->instance->position = {start->x, start->y, start->z, made->instance->position.w};
          made->instance->world = made->instance->position;
        }
        if (carrier) {
          made->flags |= kObjFlagCarried;
          made->carrier = carrier;
          made->carrierNode = node;
        }
        KeepLongest(&longest, node);
      }
    }
    const auto id = made ? static_cast<int32_t>(made->id) : 0;
    if (objClass == kClassSpecial && cutId == kCutRacing) {
      RaiseRacingEvent(static_cast<int32_t>(MakeTypeWord(objClass, subtype)), id, value, path.name);
    } else {
      AnnounceSceneObject("CreateSceneShip2", objClass, subtype, made, 0, value);
    }
  }
  return longest;
}
