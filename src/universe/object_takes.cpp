// Take records, sector media and component paths, with the view distances that decide whether
// an object is near enough for detail and for its component paths. Called by the script
// natives, the detail switching and the universe save section. A take record's actor array is
// never shorter than its take's instance slots, which the take's stop walks.
#include "universe/object_takes.h"

#include <algorithm>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/cut_keys.h"
#include "scene/cut_records.h"
#include "scene/instance_records.h"
#include "scene/scene_cameras.h"
#include "scene/take_instances.h"
#include "scene/takes_jobs.h"
#include "universe/object_lifecycle.h"
#include "universe/object_view.h"
#include "universe/save_io.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kTakeBlockSize = 20;
// More actors than any cut has paths: a larger count is a damaged stream.
constexpr int32_t kActorLimit = 65536;

int32_t RowOwnsItself(int32_t row) { return row; }
MediaRowOwnerFn gMediaRowOwner = RowOwnsItself;

SectorObject* SectorWithScene(const SpaceObject* object) {
  SpaceObject* parent = object ? object->parent : nullptr;
  if (!parent || parent->objClass != kClassSector) return nullptr;
  auto* sector = static_cast<SectorObject*>(parent);
  return sector->sceneA ? sector : nullptr;
}

int32_t ActorCount(const ObjTakeRecord* record) {
  const TakeRecord* take = record->take;
  return take && GetCutByHandle(take->cutHandle) ? std::max(take->instanceCount, 0) : 0;
}

}  // namespace

ObjTakeRecord* ObjTakeCreate(SpaceObject* sector) {
  if (!gUniverse || !gUniverse->takeHash) return nullptr;
  auto* record = static_cast<ObjTakeRecord*>(MemCalloc(sizeof(ObjTakeRecord)));
  if (!record) return nullptr;
  record->take = TakeAlloc();
  record->sector = sector;
  record->key = record->take ? HashInsertNewKey(gUniverse->takeHash, reinterpret_cast<HashValue>(record)) : 0;
  if (record->key == 0) {
    if (record->take) J3D_TakeFree(record->take);
    MemFreeIfSet(record);
    return nullptr;
  }
  return record;
}

int32_t ObjTakeRemainingTime(const ObjTakeRecord* record) {
  return record && record->take ? TakeGetRemainingTime(record->take) : 0;
}

bool WriteTakeRecord(ObjTakeRecord* record, FileObject* file) {
  if (!record) return false;
  SaveIo io{file, true, true};
  int32_t size = kTakeBlockSize;
  uint32_t handle = record->take ? record->take->handle : 0;
  SpaceObject* sector = record->sector;
  int32_t count = ActorCount(record);
  IoWord(io, size);
  IoWord(io, record->key);
  IoWord(io, handle);
  IoObject(io, sector);
  IoWord(io, record->value);
  IoWord(io, count);
  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* actor = record->actors ? record->actors[i] : nullptr;
    IoObject(io, actor);
  }
  return io.ok;
}

bool ReadTakeRecord(ObjTakeRecord* record, FileObject* file) {
  if (!record) return false;
  SaveIo io{file, false, true};
  int32_t size = 0, count = 0;
  uint32_t handle = 0, sectorId = 0;
  IoWord(io, size);
  IoWord(io, record->key);
  IoWord(io, handle);
  IoWord(io, sectorId);
  IoWord(io, record->value);
  IoWord(io, count);
  if (!io.ok || size != kTakeBlockSize || count < 0 || count > kActorLimit) return false;
  record->take = handle ? GetTakeByHandle(handle) : nullptr;
  record->sector = sectorId ? FindSectorById(sectorId) : nullptr;
  // The take's stop walks one actor per instance slot, whatever the file said.
  const int32_t slots = std::max(count, record->take ? record->take->instanceCount : 0);
  if (slots > 0) {
    record->actors = static_cast<SpaceObject**>(MemCalloc(sizeof(SpaceObject*) * static_cast<size_t>(slots)));
    if (!record->actors) return false;
  }
  for (int32_t i = 0; i < count && io.ok; ++i) IoObject(io, record->actors[i]);
  return io.ok;
}

void SetMediaRowOwnerHook(MediaRowOwnerFn owner) { gMediaRowOwner = owner ? owner : RowOwnsItself; }

int32_t MediaRowOwner(int32_t row) { return gMediaRowOwner(row); }

void SectorsSuspendMedia(bool suspend) {
  if (!gUniverse || !gUniverse->runState[1]) return;
  for (SpaceObject* o = ObjectListFirst(&gUniverse->objects); o; o = ObjectListNext(o)) {
    if (o->objClass != kClassSector) continue;
    auto* sector = static_cast<SectorObject*>(o);
    if (suspend && sector->sectorLast >= 0) ObjReleaseMediaStream(kSectorMediaStream, gMediaRowOwner(sector->sectorLast));
    sector->sectorWords[9] = suspend ? 1 : 0;
  }
}

int32_t ObjViewDistance(const SpaceObject* object, int32_t mode) {
  SectorObject* sector = SectorWithScene(object);
  if (!sector || !object->instance) return -1;
  return SceneNearestCameraDistance(sector->sceneA, object->instance, mode);
}

bool ObjIsInViewRange(const SpaceObject* object) {
  if (!SectorWithScene(object)) return false;
  const int64_t range = gDetailVisibleMinDist;
  const int64_t radius = object->radius;
  const int64_t d = ObjViewDistance(object, 0);
  if (d > 0 && (d < range || d < 8 * radius)) return true;
  if (!(object->flags2 & kObjFlag2Detailed)) return false;
  const int64_t d1 = ObjViewDistance(object, 1);
  return d1 > 0 && (d1 < 2 * range || d1 < 16 * radius);
}

void NodeStartComponentPaths(SpaceObject* object, InstanceRecord* node) {
  if (!object || !node) return;
  constexpr uint32_t kWanted = kJobPlaying | kJobEndReported;
  if (node->cutHandle == object->componentCut && (node->jobFlags & kWanted) == kWanted) {
    CutRecord* cut = GetCutByHandle(node->cutHandle);
    if (cut && node->pathNumber >= 0) StartInstancePath(node, cut, node->pathNumber);
  }
  for (InstanceRecord* child = InstFirstChild(node); child; child = InstNextSibling(child)) {
    NodeStartComponentPaths(object, child);
  }
}

void NodeStopComponentJobs(SpaceObject* object, InstanceRecord* node) {
  if (!object || !node) return;
  if (node->cutHandle == object->componentCut && (node->jobFlags & kJobPlaying) &&
      !(node->flags2 & kInst2ScreenSpace)) {
    J3D_JobStop(node);
  }
  for (InstanceRecord* child = InstFirstChild(node); child; child = InstNextSibling(child)) {
    NodeStopComponentJobs(object, child);
  }
}

void ObjStartComponentPaths(SpaceObject* object) {
  if (!object || object->componentCut == 0 || !SectorWithScene(object) || !object->instance) return;
  const int64_t d = ObjViewDistance(object, 0);
  if (!(object->flags2 & kObjFlag2StartComponentPaths) && !(d > 0 && d < int64_t{object->radius} * 64)) return;
  for (InstanceRecord* child = InstFirstChild(object->instance); child; child = InstNextSibling(child)) {
    NodeStartComponentPaths(object, child);
  }
}

void ObjStopComponentJobs(SpaceObject* object) {
  if (!object || object->componentCut == 0 || !object->instance) return;
  for (InstanceRecord* child = InstFirstChild(object->instance); child; child = InstNextSibling(child)) {
    NodeStopComponentJobs(object, child);
  }
}
