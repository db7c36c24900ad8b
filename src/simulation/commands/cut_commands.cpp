// The cut-scene, take and model commands of the `SA_` module (256 to 264, 307 to 314, 337, 338,
// 347, 357, 360 to 362): scripts load cuts and place them at an object or a pose, run takes in a
// sector (the calling task waits until the take ends), ask which type a body or cut stands for,
// pick a path of a type's cut, build model and text instances and free the loaded bodies. The
// dispatcher calls them through the family rows below; the cuts, takes and instances themselves
// are the scene engine's and the universe model's.
#include <cstdint>

#include "core/clock.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/engine_natives.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_measures.h"
#include "scene/takes_jobs.h"
#include "scene/text_instances.h"
#include "script/tasks.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_type_keys.h"
#include "simulation/object_operations.h"
#include "universe/model_instances.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/object_takes.h"
#include "universe/scene_objects.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// The body of the spawn marker a model carries among its child instances.
constexpr int32_t kSpawnMarkerBody = 19030;
// A wanted subtype that any subtype of the wanted class matches.
constexpr uint16_t kAnySubtype = 0xFFFF;
// The random path search stops at a path when a draw below this comes out 0.
constexpr int32_t kPathStopDraw = 5;

// ---- Cuts -------------------------------------------------------------------------------------

// The cut takes the pose. A cut placed for the first time has its origin marked as given (the
// origin's first placement, which also resets its rotation before the pose's rotation is
// written); a cut whose origin is fixed by its own data keeps that mark and gets the same fields.
// The origin is not reset to zero after the placement: the cut's position is the only place the
// pose is kept, and zeroing it would play the cut at the sector's centre.
void PlaceCut(CutRecord* cut, const FixedVector& position, const FixedMatrix& rotation) {
  const bool fixed = (cut->originFlags & kCutOriginGiven) != 0;
  cut->originPosition = position;
  if (!fixed) J3D_SetCutPos(cut->handle, position.x, position.y, position.z);
  cut->originRotation = rotation;
}

FixedMatrix RotationFromAngles(int32_t a, int32_t b, int32_t c) {
  FixedMatrix m{};
  MatrixFromAngles(&m, static_cast<Angle16>(a), static_cast<Angle16>(b), static_cast<Angle16>(c));
  return m;
}

// base + rotation x local, each sum formed in 64 bits.
FixedVector MoveByPose(const FixedVector& base, const FixedMatrix& rotation, const FixedVector& local) {
  FixedVector turned{};
  MatrixMulVector(&turned, &rotation, &local);
  return {SaturateToInt32(int64_t{base.x} + turned.x), SaturateToInt32(int64_t{base.y} + turned.y),
          SaturateToInt32(int64_t{base.z} + turned.z), 0};
}

// By argument count: the cut alone (1), at an object (2), at a pose (7), or at a pose relative
// to an object (8). Any other count, or a placing object that is missing or has no instance,
// loads nothing.
void LoadCutSceneCommand(SACall* call) {
  const int32_t count = call->argCount;
  if (count != 1 && count != 2 && count != 7 && count != 8) return SAAnswerInt(call, 0);
  FixedVector position{};
  FixedMatrix rotation{};
  if (count == 2 || count == 8) {
    const SpaceObject* object = SAArgObject(call, 1);
    const InstanceRecord* instance = object ? object->instance : nullptr;
    if (!instance) return SAAnswerInt(call, 0);
    position = instance->position;
    rotation = instance->matrix;
    if (count == 8) {
      const FixedVector offset{SAArgInt(call, 2), SAArgInt(call, 3), SAArgInt(call, 4), 0};
      const FixedMatrix local = RotationFromAngles(SAArgInt(call, 5), SAArgInt(call, 6), SAArgInt(call, 7));
      position = MoveByPose(instance->position, instance->matrix, offset);
      MatrixMultiply(&rotation, &instance->matrix, &local);
    }
  } else if (count == 7) {
    position = {SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3), 0};
    rotation = RotationFromAngles(SAArgInt(call, 4), SAArgInt(call, 5), SAArgInt(call, 6));
  }
  CutRecord* cut = J3D_LoadCut(SAArgInt(call, 0));
  if (!cut) return SAAnswerInt(call, 0);
  if (count != 1) PlaceCut(cut, position, rotation);
  SAAnswerInt(call, 1);
}

void FreeCutSceneCommand(SACall* call) {
  if (CutRecord* cut = GetCutByHandle(static_cast<uint32_t>(SAArgInt(call, 0)))) J3D_FreeCut(cut);
  SAAnswerInt(call, 0);
}

// ---- Takes ------------------------------------------------------------------------------------

ObjTakeRecord* ArgTake(const SACall* call, int32_t i) { return FindTakeById(static_cast<uint32_t>(SAArgInt(call, i))); }

// A running take is stopped, which answers the task waiting on it (if any) with the stop value,
// so a take that is started again or freed never leaves a task waiting for good.
void EndWaitingRun(TakeRecord* take) {
  if (take && take->state == kTakeRunning) J3D_TakeStop(take);
}

void AllocTakeCommand(SACall* call) {
  SpaceObject* sector = SAArgObject(call, 0);
  if (!sector || sector->objClass != kClassSector) return SAAnswerInt(call, 0);
  const ObjTakeRecord* record = ObjTakeCreate(sector);
  SAAnswerInt(call, record && record->take ? static_cast<int32_t>(record->key) : 0);
}

// The camera follows the take's camera paths.
void LinkTakeCamera(TakeRecord* take, CameraRecord* camera) {
  for (int32_t i = 0; take->instances && i < take->instanceCount; ++i) {
    InstanceRecord* instance = take->instances[i];
    if (instance && (instance->jobFlags & kJobDrivesCamera)) instance->linkedCamera = camera;
  }
}

// (take key, cut id, label, camera handle, loop, value, [pose of position and three angles]):
// plays the cut on the take from the pose (or from the cut's own origin) and leaves the task
// waiting until the take ends. A pose argument that is not an array refuses the start.
void StartTakeCommand(SACall* call) {
  ObjTakeRecord* record = ArgTake(call, 0);
  TakeRecord* take = record ? record->take : nullptr;
  CameraRecord* camera = GetCameraByHandle(static_cast<uint32_t>(SAArgInt(call, 3)));
  if (!take || !camera) return SAAnswerInt(call, 0);
  FixedVector position{};
  FixedMatrix rotation{};
  const bool posed = call->argCount > 6;
  if (posed) {
    int32_t pose[6];
    if (!SAArgInts(call, 6, pose, 6)) return SAAnswerInt(call, 0);
    position = {pose[0], pose[1], pose[2], 0};
    rotation = RotationFromAngles(pose[3], pose[4], pose[5]);
  }
  EndWaitingRun(take);
  record->value = SAArgInt(call, 5);
  const int32_t label = SAArgInt(call, 2);
  if (!StartTake(record, SAArgInt(call, 1), posed ? &position : nullptr, &label, SAArgInt(call, 4) != 0,
                 posed ? &rotation : nullptr)) {
    return SAAnswerInt(call, 0);
  }
  LinkTakeCamera(take, camera);
  if (!call->task) return;
  take->waitModule = call->resumeModule;
  take->waitToken = call->task->id;
}

void StopTakeCommand(SACall* call) {
  if (const ObjTakeRecord* record = ArgTake(call, 0); record && record->take) J3D_TakeStop(record->take);
  SAAnswerInt(call, 0);
}

void FinishTakeCommand(SACall* call) {
  if (const ObjTakeRecord* record = ArgTake(call, 0); record && record->take) RebaseAllJobTimes();
  SAAnswerInt(call, 0);
}

void GetTakeRemainingTimeCommand(SACall* call) {
  const ObjTakeRecord* record = ArgTake(call, 0);
  SAAnswerInt(call, record ? ObjTakeRemainingTime(record) : 0);
}

void FreeTakeCommand(SACall* call) {
  if (ObjTakeRecord* record = ArgTake(call, 0)) {
    EndWaitingRun(record->take);
    ObjTakeFree(record);
  }
  SAAnswerInt(call, 0);
}

void SetTakeReplaceBodyCommand(SACall* call) {
  call->universe->takeReplaceBody = SAArgInt(call, 0);
  SAAnswerInt(call, 0);
}

// ---- Bodies, instances and types ----------------------------------------------------------------

int32_t HandleOf(const InstanceRecord* instance) { return instance ? static_cast<int32_t>(instance->handle) : 0; }

void AllocTextInstCommand(SACall* call) {
  SAAnswerInt(call, HandleOf(CreateTextInstance(SAArgText(call, 0), static_cast<uint32_t>(SAArgInt(call, 1)))));
}

// The scenes give up their render data before the bodies go and build it again after; the object
// trees then get their collision shapes back, and the time all this took is not a frame step.
void FreeAllBodiesCommand(SACall* call) {
  B3D_DisableAllObjects3D();
  FreeUnusedBodies(false);
  B3D_EnableAllObjects3D();
  FreeAllBodies();
  UpdateFrameClock();
  SAAnswerInt(call, 0);
}

void CleanUpObjectsCommand(SACall* call) {
  RemoveObjectsOutsideSectors();
  SAAnswerInt(call, 0);
}

template <bool (*Find)(int32_t, int32_t*, int32_t*)>
void TypeCodeCommand(SACall* call) {
  int32_t objClass = 0, subtype = 0;
  SAAnswerInt(call, Find(SAArgInt(call, 0), &objClass, &subtype) ? PackTypeCode(objClass, subtype) : 0);
}

// The second argument is the id list to look in, -1 for every list.
void IsSpecialBodyCommand(SACall* call) { SAAnswerInt(call, IsIdInIdLists(SAArgInt(call, 1), SAArgInt(call, 0)) ? 1 : 0); }

// A dummy body of any of the five dummy kinds; the second argument is not read.
constexpr int32_t kEveryDummyKind = -1;
void IsDummyBodyCommand(SACall* call) {
  SAAnswerInt(call, FindIdTableRow(SAArgInt(call, 0), kEveryDummyKind, nullptr) ? 1 : 0);
}

// (model id, parent instance handle or 0, text, object or 0); the text is not used.
void CreateObjectCutSceneCommand(SACall* call) {
  const auto parentHandle = static_cast<uint32_t>(SAArgInt(call, 1));
  InstanceRecord* parent = parentHandle ? GetInstanceByHandle(parentHandle) : nullptr;
  SAAnswerInt(call, HandleOf(BuildObjectModelInstances(call->universe, SAArgInt(call, 0), parent,
                                                       SAArgObject(call, 3), nullptr)));
}

void StartInGameSceneCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  SAAnswerInt(call, CreateCutSceneObjects(object, SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3)));
}

void StartInGameScene2Command(SACall* call) {
  SAAnswerInt(call, CreateCutSceneObjects2(SAArgInt(call, 0), SAArgInt(call, 1)));
}

// The component jobs still playing stop before the component paths start from their beginning.
void RestartObjectCutCommand(SACall* call) {
  if (SpaceObject* object = SAArgObject(call, 0)) {
    ObjStopComponentJobs(object);
    ObjStartComponentPaths(object);
  }
  SAAnswerInt(call, 0);
}

void GetSpawnInstCommand(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  InstanceRecord* instance = object ? object->instance : nullptr;
  for (InstanceRecord* child = instance ? InstFirstChild(instance) : nullptr; child; child = InstNextSibling(child)) {
    if (child->bodyId == kSpawnMarkerBody) return SAAnswerInt(call, HandleOf(child));
  }
  SAAnswerInt(call, 0);
}

// ---- Paths of a type's cut ----------------------------------------------------------------------

// A type as scripts name it: class and subtype each from the low 16 bits, sign carried.
struct TypeKey {
  int32_t objClass, subtype;
};

TypeKey ArgTypeKey(const SACall* call, int32_t i) {
  return {static_cast<int16_t>(SAArgInt(call, i)), static_cast<int16_t>(SAArgInt(call, i + 1))};
}

// A debris type with a non-zero count above the chain index stands for the type of its body,
// which may be debris again. A chain that is still going after as many links as there are
// debris types runs round a cycle in the type data: false. A chain ends, true, at a type that
// is not debris, a count that does not reach the index, or a body no type uses.
bool FollowDebrisChain(TypeKey* type, int32_t chainIndex) {
  const int32_t linkLimit = gObjectTypeTables[kClassDebris].count;
  for (int32_t links = 0; type->objClass == kClassDebris; ++links) {
    const ObjectTypeRecord* row = TypeRow(kClassDebris, type->subtype);
    if (!row || row->debris.value == 0 || chainIndex >= row->debris.value) return true;
    TypeKey next{};
    if (!FindTypeByBodyId(row->debris.body, &next.objClass, &next.subtype)) return true;
    if (links >= linkLimit) return false;
    *type = next;
  }
  return true;
}

// The cut of the type the chain leads to; null when the chain loops or the type has no cut.
CutRecord* TypeCut(TypeKey type, int32_t chainIndex) {
  if (!FollowDebrisChain(&type, chainIndex)) return nullptr;
  const int32_t cutId = GetTypeLookupId(type.subtype, type.objClass);
  return cutId > 0 ? J3D_LoadCut(cutId) : nullptr;
}

// A path that carries a body and has a first position and a first rotation key to read.
const PathRecord* UsablePath(const CutRecord* cut, int64_t n) {
  if (!cut->paths || n < 0 || n >= cut->pathCount) return nullptr;
  const PathRecord* path = &cut->paths[n];
  if (path->positions.count <= 0 || !path->positions.keys) return nullptr;
  if (path->rotations.count <= 0 || !path->rotations.keys || path->lookupWord == 0) return nullptr;
  return path;
}

// The type of the body a path carries.
bool PathType(const PathRecord* path, TypeKey* type) {
  return FindTypeByBodyId(static_cast<int32_t>(path->lookupWord), &type->objClass, &type->subtype);
}

struct Pose {
  FixedVector position;
  FixedMatrix rotation;
};

// Position (elements 0 to 2) and three angles (3 to 5) of an array argument; missing elements
// read 0. False when the argument is not an array.
bool ArgPose(const SACall* call, int32_t i, Pose* pose) {
  int32_t words[6];
  if (!SAArgInts(call, i, words, 6)) return false;
  pose->position = {words[0], words[1], words[2], 0};
  pose->rotation = RotationFromAngles(words[3], words[4], words[5]);
  return true;
}

// The first position of the path, seen from the base pose.
FixedVector PathPositionFrom(const Pose& base, const PathRecord* path) {
  FixedVector local{};
  GetPathPos(0, path, &local);
  return MoveByPose(base.position, base.rotation, local);
}

// (class, subtype, wanted class, wanted subtype, base pose, chain index, [start index],
// [target position]): the path after the start index whose body is of the wanted type, nearest
// to the target seen from the base pose (a tie goes to the later path), or, without a target, a
// random one of them (each qualifying path in turn, stopping at one when a draw comes out 0).
void FindIndexInCutCommand(SACall* call) {
  const CutRecord* cut = TypeCut(ArgTypeKey(call, 0), SAArgInt(call, 5));
  if (!cut) return SAAnswerInt(call, -1);
  const auto wantedClass = static_cast<int16_t>(SAArgInt(call, 2));
  const auto wantedSubtype = static_cast<uint16_t>(SAArgInt(call, 3));
  const int64_t start = call->argCount > 6 ? SAArgInt(call, 6) : -1;
  const bool toTarget = call->argCount >= 8;
  Pose base{};
  int32_t targetWords[3] = {};
  if (toTarget && (!ArgPose(call, 4, &base) || !SAArgTriple(call, 7, targetWords))) return SAAnswerInt(call, -1);
  const FixedVector target{targetWords[0], targetWords[1], targetWords[2], 0};
  int32_t found = -1;
  int64_t nearest = INT64_MAX;
  for (int64_t n = start + 1 < 0 ? 0 : start + 1; n < cut->pathCount; ++n) {
    const PathRecord* path = UsablePath(cut, n);
    TypeKey type{};
    if (!path || !PathType(path, &type) || type.objClass != wantedClass) continue;
    if (wantedSubtype != kAnySubtype && static_cast<uint16_t>(type.subtype) != wantedSubtype) continue;
    if (toTarget) {
      const FixedVector at = PathPositionFrom(base, path);
      const int64_t distance = VecMaxAbsDiff(&at, &target);
      if (distance <= nearest) {
        nearest = distance;
        found = static_cast<int32_t>(n);
      }
      continue;
    }
    found = static_cast<int32_t>(n);
    if (RandomBelow16(kPathStopDraw) == 0) break;
  }
  SAAnswerInt(call, found);
}

// (class, subtype, path index, base pose, chain index): the path's first position and the angles
// of its first rotation, both seen from the base pose, as a new array of six; integer 0 when the
// path is not usable or carries no type's body.
void GetTypePosAndDirectionInCutCommand(SACall* call) {
  const CutRecord* cut = TypeCut(ArgTypeKey(call, 0), SAArgInt(call, 4));
  const PathRecord* path = cut ? UsablePath(cut, SAArgInt(call, 2)) : nullptr;
  TypeKey type{};
  Pose base{};
  if (!path || !PathType(path, &type) || !ArgPose(call, 3, &base)) return SAAnswerInt(call, 0);
  const FixedVector at = PathPositionFrom(base, path);
  FixedMatrix local{}, turned{};
  GetPathRotMatrix(path, 0, &local);
  MatrixMultiply(&turned, &base.rotation, &local);
  int32_t angles[3] = {};
  MatrixToAngles(&turned, &angles[0], &angles[1], &angles[2]);
  const int32_t words[6] = {at.x, at.y, at.z, angles[0], angles[1], angles[2]};
  SAAnswerIntArray(call, words, 6);
}

// (class, subtype, path index, chain index): the subtype of the type whose body the path carries.
void GetSubTypeFormCutIndexCommand(SACall* call) {
  const CutRecord* cut = TypeCut(ArgTypeKey(call, 0), SAArgInt(call, 3));
  const PathRecord* path = cut ? UsablePath(cut, SAArgInt(call, 2)) : nullptr;
  TypeKey type{};
  if (!path || !PathType(path, &type)) return SAAnswerInt(call, -1);
  SAAnswerInt(call, static_cast<int16_t>(type.subtype));
}

}  // namespace

extern const SACommandRow kCutCommands[24] = {
    {256, LoadCutSceneCommand},
    {257, FreeCutSceneCommand},
    {258, AllocTakeCommand},
    {259, StartTakeCommand},
    {260, StopTakeCommand},
    {261, FinishTakeCommand},
    {262, GetTakeRemainingTimeCommand},
    {263, FreeTakeCommand},
    {264, SetTakeReplaceBodyCommand},
    {307, AllocTextInstCommand},
    {308, FreeAllBodiesCommand},
    {309, CleanUpObjectsCommand},
    {310, TypeCodeCommand<FindTypeByBodyId>},
    {311, TypeCodeCommand<FindTypeByLookupId>},
    {312, IsSpecialBodyCommand},
    {313, IsDummyBodyCommand},
    {314, CreateObjectCutSceneCommand},
    {337, StartInGameSceneCommand},
    {338, StartInGameScene2Command},
    {347, RestartObjectCutCommand},
    {357, GetSpawnInstCommand},
    {360, FindIndexInCutCommand},
    {361, GetTypePosAndDirectionInCutCommand},
    {362, GetSubTypeFormCutIndexCommand},
};
