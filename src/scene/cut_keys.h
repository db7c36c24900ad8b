// Cut keys: the six key pools the cut readers fill, the move of a path's keys into the path, the
// key reader, the preparation and evaluation of keys, and the small accessors of loaded cuts.
// The cut readers, the jobs and the natives call it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/fixed_math.h"
#include "scene/cut_records.h"

struct DataReader;

// The pools in the order of a path's key lists.
enum KeyPoolIndex : int { kPoolPosition, kPoolRotation, kPoolTarget, kPoolRoll, kPoolColor, kPoolFov, kKeyPoolCount };

constexpr int32_t kKeyPoolRecords = 20000;  // reserved per pool; a pool never reaches this count
constexpr int32_t kKeyPoolStep = 100;       // committed at a start and added per growth
constexpr uint32_t kKeyPoolCommitFlags = 0x4000001;   // page memory of the cut category
constexpr uint32_t kKeyPoolReleaseFlags = 0x4000003;  // the same, giving pages back

struct KeyPool {
  uint8_t* records;  // reserved range, null until the first start
  int32_t capacity;  // records committed
  int32_t used;
};

extern KeyPool gKeyPools[kKeyPoolCount];
extern int32_t gKeyPoolSpareCounter;
// The running frame time of the path being read; the cut reader clears it per path.
extern int32_t gCutFrameTime;

size_t KeyRecordSize(int pool);

// How the engine ends the process on a memory failure of the cut readers: the detail becomes the
// failure text and the process ends with `code`. The game registers its shutdown; by default the
// process just exits with the code.
using SceneFatalExitFn = void (*)(uint32_t code, const char* detail);
void SetSceneFatalExit(SceneFatalExitFn fn);
[[noreturn]] void SceneFatalExit(uint32_t code, const char* detail);

// (Re)starts the pools before a cut file is read.
void AllocKeys();
// Gives up the pools' reservations (engine shutdown).
void ReleaseKeyPools();
// Moves the pooled keys into exact arrays of the path, releases the pool pages, then computes the
// position tangents and prepares the rotation keys.
void CutKeySetup(PathRecord* path);
// Reads one key whose flag word the cut reader has read; 1, or 0 with the reader's error flag set
// when a pool is full.
int32_t ReadCutKey(DataReader* reader, uint32_t keyFlags, const char* fileName);
// Reads one key block of a cut: a key count, then per key its flag word and the key. 1, or 0
// with the reader's error flag set. The block's kind travels with it for the messages only.
int32_t ReadPathKeys(DataReader* reader, uint32_t kind, const char* fileName);

int32_t EaseFraction(int32_t u, int32_t a, int32_t b);
void PositionKeysComputeTangents(int32_t count, PositionKey* keys);
void RotationKeysPrepare(int32_t count, RotationKey* keys);
// Position between key i and key i + 1 at `time`.
void PositionKeyEval(int32_t i, int32_t time, FixedVector* out, const PositionKey* keys);
// Rotation between key i and key i + 1 at `time`, as a quaternion.
void RotationKeyEval(int32_t time, int32_t i, Quaternion* out, const RotationKey* keys, int32_t count);

CutRecord* GetCutByHandle(uint32_t handle);
void J3D_SetCutPos(uint32_t cutHandle, int32_t x, int32_t y, int32_t z);
void CutOriginInit(CutRecord* cut);
void PathResetPos(CutRecord* cut);
// Places the cut on a path: the position and rotation become its origin, marked as given.
void PathSetPosAndRot(CutRecord* cut, const FixedVector* position, const FixedMatrix* matrix);
// The note range of number n over every path's notes: "start n"/"lstart n" give the start time,
// "end n"/"lend n" (but not "end speak ...") the end time; later notes win, and `looped` is that
// of the last match. True only when both ends were found; start and end are -1 when not.
bool FindAnimNoteRange(const CutRecord* cut, int32_t n, int32_t* start, int32_t* end, bool* looped);
void GetPathRotMatrix(const PathRecord* path, int32_t n, FixedMatrix* out);
