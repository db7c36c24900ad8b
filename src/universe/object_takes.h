// Take records (the universe's handles on cut takes played in a sector, with the objects cast in
// the take's actor slots), the ambient media of the sectors, and the animation paths that drive
// an object's component nodes. The script natives and the universe save section call it.
#pragma once

#include <cstdint>

struct FileObject;
struct InstanceRecord;
struct ObjTakeRecord;
struct SpaceObject;

// A record with a new engine take for the sector, in the take hash under a new key; null when
// memory runs out.
ObjTakeRecord* ObjTakeCreate(SpaceObject* sector);
// 0 without a take, else the longest remaining job time over the take's instances.
int32_t ObjTakeRemainingTime(const ObjTakeRecord* record);

// The "STAK" record after its tag: block size 20, key, take handle, sector id, value, actor count,
// then the actors. The reader resolves what it can (the rest becomes none) and fails on a block
// size other than 20 or a short stream.
bool WriteTakeRecord(ObjTakeRecord* record, FileObject* file);
bool ReadTakeRecord(ObjTakeRecord* record, FileObject* file);

// The media stream of a sector's media row.
constexpr int32_t kSectorMediaStream = 90;
// The owner of a media row; until the media rows are set up, a row owns itself.
using MediaRowOwnerFn = int32_t (*)(int32_t row);
void SetMediaRowOwnerHook(MediaRowOwnerFn owner);
int32_t MediaRowOwner(int32_t row);
// Suspends (releasing each sector's stream) or resumes the sectors' media; only while the
// universe's second state flag is set.
void SectorsSuspendMedia(bool suspend);

// Component paths: started on the nodes of the object's instance that play its component cut.
void ObjStartComponentPaths(SpaceObject* object);
void ObjStopComponentJobs(SpaceObject* object);
void NodeStartComponentPaths(SpaceObject* object, InstanceRecord* node);
void NodeStopComponentJobs(SpaceObject* object, InstanceRecord* node);
