// Decoupling: a missile or a ship breaks up along a cut. Its model is replaced by a bare instance
// that plays the cut, and the objects the cut's paths name are created: carried along the paths
// under the new instance, or, for a ship, placed where the paths start and attached to the first
// of them until they break away. The object update and the object commands call it; every created
// object is announced to the global script. Nothing here frees an object record.
#include <cstdint>

#include "core/system_block.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/engine_natives.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/object_placement.h"
#include "universe/object_references.h"
#include "universe/object_spawns.h"
#include "universe/scene_objects.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kDecoupledFlags = 0x401;
constexpr uint32_t kDecoupledTreeFlag = 0x100000;
constexpr uint32_t kMissileFlagSeeks = 1u << 0;
constexpr int32_t kDecoupledSeekRange = 2500000;
constexpr uint32_t kMainEntryMask = 1;
constexpr int32_t kMinBreakAwayDelay = 100;
constexpr int64_t kBreakAwayScale = 100;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// Body ids that name object types by lookup id.
bool IsLookupBody(int32_t body) { return (body >= 4000 && body <= 9999) || (body >= 50000 && body <= 79999); }

bool LookupType(const PathRecord& path, int32_t* objClass, int32_t* subtype) {
  const auto body = static_cast<int32_t>(path.lookupWord);
  return IsLookupBody(body) && FindTypeByLookupId(body, objClass, subtype);
}

// A bare instance in the old one's place plays the cut; the old model goes.
bool ReplaceInstance(SpaceObject* object) {
  InstanceRecord* old = object->instance;
  InstanceRecord* fresh = B3D_InstAlloc();
  if (!fresh) return false;
  fresh->position = old->position;
  fresh->matrix = old->matrix;
  fresh->velocity = old->velocity;
  fresh->world = old->world;
  fresh->worldMatrix = old->worldMatrix;
  if (old->scene) AddInstanceToScene(fresh, old->scene);
  FreeInstance(old);
  ReleaseObjectReferences(object, 0);
  object->flags |= kDecoupledFlags;
  object->flags2 |= kObjFlag2VanishWhenDone;
  object->instance = object->shownInstance = fresh;
  return true;
}

void MarkTree(InstanceRecord* root) {
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) i->flags |= kDecoupledTreeFlag;
}

// The object rides on a new instance that follows path p under the carrier's instance.
void CarryOnPath(SpaceObject* object, SpaceObject* carrier, CutRecord* cut, int32_t p) {
  if (!object->instance) return;
  InstanceRecord* node = StartPathNode(cut, p, carrier->instance);
  if (!node) return;
  PlaceOnPath(object, node, carrier->instance, true);
  object->flags |= kObjFlagCarried;
  object->carrier = carrier;
  object->carrierNode = node;
}

bool PathAnimated(const PathRecord& path) { return path.rolls.count > 1 || path.rotations.count > 1; }

// Where the ship's path starts, carried through the decoupling ship's rotation and position.
void PlaceAtPathStart(SpaceObject* made, const SpaceObject* ship, const PathRecord& path) {
  if (!made->instance || !ship->instance) return;
  const InstanceRecord* root = ship->instance;
  FixedVector start, turned;
  GetPathPos(0, &path, &start);
  MatrixMulVector(&turned, &root->matrix, &start);
  FixedMatrix rotation;
  MatrixSetIdentity(&rotation);
  if (path.rotations.count > 0 && path.rotations.keys) GetPathRotMatrix(&path, 0, &rotation);
  InstanceRecord* inst = made->instance;
  inst->position = {SaturateToInt32(int64_t{root->position.x} + turned.x),
                    SaturateToInt32(int64_t{root->position.y} + turned.y),
                    SaturateToInt32(int64_t{root->position.z} + turned.z), inst->position.w};
  inst->world = inst->position;
  MatrixMultiply(&inst->matrix, &rotation, &root->matrix);
  inst->worldMatrix = inst->matrix;
  MatrixToAngles(&inst->matrix, &made->angles[0], &made->angles[1], &made->angles[2]);
}

// Held at the main ship until the break-away time; the delay comes from the path's word.
void AttachToMain(SpaceObject* made, SpaceObject* main, const PathRecord& path) {
  if (made->objClass != kClassShip || !made->ext || !made->instance || !main->instance) return;
  auto* ext = static_cast<ShipExt*>(made->ext);
  const InstanceRecord* m = main->instance;
  made->flags |= kObjFlagBit0;
  made->flags2 |= kObjFlag2Attached;
  made->linkedObject = main;
  MatrixMultiplyTransposed(&ext->carriedMatrix, &made->instance->matrix, &m->matrix);
  const FixedVector offset{made->instance->position.x - m->position.x, made->instance->position.y - m->position.y,
                           made->instance->position.z - m->position.z, 0};
  MatrixTransposeMulVector(&ext->carriedPosition, &m->matrix, &offset);
  ext->carriedPosition.w = 0;
  const int64_t delay = (int64_t{static_cast<int32_t>(path.loaderWord)} + kBreakAwayScale) * kBreakAwayScale;
  ext->breakAt = Now() + static_cast<uint32_t>(delay > kMinBreakAwayDelay ? delay : kMinBreakAwayDelay);
}

struct DecoupleRun {
  SpaceObject* ship;  // null: only the events
  CutRecord* cut;
  int32_t valueA, valueB;
  bool animated;
  SpaceObject* main;
  int32_t mainAnswer;
};

// One entry; true when it named a type and the event was raised.
bool DecoupleEntry(DecoupleRun* run, int32_t p, bool firstPass) {
  const PathRecord& path = run->cut->paths[p];
  int32_t objClass = 0, subtype = 0;
  SpaceObject* made = nullptr;
  if (!run->animated) {
    if (!FindTypeByBodyId(static_cast<int32_t>(path.lookupWord), &objClass, &subtype) || objClass != kClassShip) {
      return false;
    }
    if (run->ship && (made = NewObject(objClass, subtype))) {
      PlaceAtPathStart(made, run->ship, path);
      if (!firstPass && run->main) AttachToMain(made, run->main, path);
    }
  } else {
    if (!LookupType(path, &objClass, &subtype)) return false;
    if (run->ship && (made = NewObject(objClass, subtype)) && PathAnimated(path)) {
      CarryOnPath(made, run->ship, run->cut, p);
    }
  }
  const int32_t args[6] = {run->valueA,
                           static_cast<int32_t>(MakeTypeWord(objClass, subtype)),
                           made ? static_cast<int32_t>(made->id) : 0,
                           run->valueB,
                           firstPass ? 1 : 0,
                           firstPass ? 0 : run->mainAnswer};
  RaiseGlobalEventForResult("CreateDecoupleShip", 6, args);
  if (firstPass) {
    run->main = made;
    const ScriptValue& answer = gUniverse ? gUniverse->scriptValue : ScriptValue{};
    run->mainAnswer = answer.type == kValueInt ? answer.i : 0;
  }
  return true;
}

}  // namespace

void ObjDecoupleMissile(SpaceObject* missile, int32_t cutId) {
  if (!missile || missile->objClass != kClassMissile || !missile->instance || missile->scriptId == 0) return;
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut || !ReplaceInstance(missile)) return;
  const SpaceObject* missileTarget = missile->ext ? static_cast<MissileExt*>(missile->ext)->target : nullptr;
  for (int32_t p = 0; cut->paths && p < cut->pathCount; ++p) {
    int32_t objClass = 0, subtype = 0;
    if (!LookupType(cut->paths[p], &objClass, &subtype)) continue;
    SpaceObject* made = NewObject(objClass, subtype);
    if (!made) continue;
    CarryOnPath(made, missile, cut, p);
    // Only a missile's extension has a target; other classes keep what creation gave them.
    if (made->objClass == kClassMissile && made->ext) {
      const ObjectTypeRecord* row = TypeRow(kClassMissile, made->subtype);
      SpaceObject* target = const_cast<SpaceObject*>(missileTarget);
      if (row && (row->missile.missileFlags & kMissileFlagSeeks)) target = FindNearestHostile(made, kDecoupledSeekRange);
      static_cast<MissileExt*>(made->ext)->target = target;
    }
    const int32_t args[6] = {static_cast<int32_t>(made->id)};
    RaiseGlobalEventForResult("CreateDecoupleMissile", 1, args);
  }
  MarkTree(missile->instance);
}

bool ObjDecoupleShip(SpaceObject* ship, int32_t cutId, int32_t valueA, int32_t valueB) {
  if (ship && (ship->objClass != kClassShip || !ship->instance || ship->scriptId == 0)) return false;
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut) return false;
  if (ship && !ReplaceInstance(ship)) return false;
  const int32_t count = cut->paths ? cut->pathCount : 0;
  DecoupleRun run{ship, cut, valueA, valueB, false, nullptr, 0};
  int32_t mainEntry = -1;
  bool sawMask = false;
  for (int32_t p = 0; p < count; ++p) {
    if (cut->paths[p].pathWord != kMainEntryMask) continue;
    if (!sawMask) {
      sawMask = true;
      run.animated = PathAnimated(cut->paths[p]);
    }
    if (DecoupleEntry(&run, p, true)) {
      mainEntry = p;
      break;
    }
  }
  for (int32_t p = 0; p < count; ++p) {
    if (p != mainEntry) DecoupleEntry(&run, p, false);
  }
  if (ship) MarkTree(ship->instance);
  return run.animated || !sawMask;
}
