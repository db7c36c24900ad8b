// The six cut key pools and the move of a path's keys into the path. The cut readers start the
// pools per file, append keys to them and hand each finished path to CutKeySetup. Also the small
// accessors of loaded cuts (lookup, origin, rotation of a key). Only the page memory reserved
// for the pools is ever committed here; keys never outlive their pool's commit unless copied.
#include "scene/cut_keys.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/engine_records.h"

KeyPool gKeyPools[kKeyPoolCount];
int32_t gKeyPoolSpareCounter;
int32_t gCutFrameTime;

static SceneFatalExitFn gSceneFatalExit;

static constexpr size_t kKeyRecordSizes[kKeyPoolCount] = {sizeof(PositionKey), sizeof(RotationKey),
                                                          sizeof(PositionKey), sizeof(RollKey),
                                                          sizeof(ColorKey),    sizeof(FovKey)};

size_t KeyRecordSize(int pool) { return kKeyRecordSizes[pool]; }

void SetSceneFatalExit(SceneFatalExitFn fn) { gSceneFatalExit = fn; }

void SceneFatalExit(uint32_t code, const char* detail) {
  if (gSceneFatalExit) gSceneFatalExit(code, detail);
  std::_Exit(static_cast<int>(code));
}

static void ReleasePoolPages(KeyPool* pool, int index) {
  if (pool->capacity == 0) return;
  MemFree(pool->records, static_cast<size_t>(pool->capacity) * kKeyRecordSizes[index], kKeyPoolReleaseFlags);
  pool->capacity = 0;
}

void AllocKeys() {
  for (int i = 0; i < kKeyPoolCount; ++i) {
    KeyPool* pool = &gKeyPools[i];
    const size_t size = kKeyRecordSizes[i];
    if (!pool->records) {
      pool->records = static_cast<uint8_t*>(MemAlloc(kKeyPoolRecords * size, kKeyPoolReleaseFlags));
      if (!pool->records) SceneFatalExit(3, "AllocKeys");
    }
    // A start without a set-up before it gives the old pages back first, so the counters match.
    ReleasePoolPages(pool, i);
    void* committed = MemRealloc(pool->records, 0, kKeyPoolStep * size, kKeyPoolCommitFlags);
    if (!committed) SceneFatalExit(3, "AllocKeys");
    pool->records = static_cast<uint8_t*>(committed);
    pool->capacity = kKeyPoolStep;
    pool->used = 0;
  }
  gKeyPoolSpareCounter = 0;
}

void ReleaseKeyPools() {
  for (int i = 0; i < kKeyPoolCount; ++i) {
    KeyPool* pool = &gKeyPools[i];
    ReleasePoolPages(pool, i);
    if (pool->records) MemFree(pool->records, 0, kMemPage | kMemUncounted);
    *pool = KeyPool{};
  }
}

// Copies the pool's used records into an exact heap array. Running out of memory here ends the
// cut read like every other memory failure of the cut readers: a list never keeps a count
// without its keys.
template <typename Key>
static void MovePoolKeys(int index, KeyList<Key>* list) {
  KeyPool* pool = &gKeyPools[index];
  list->count = 0;
  list->keys = nullptr;
  if (!pool->records) return;
  list->count = pool->used;
  if (pool->used != 0) {
    const size_t bytes = static_cast<size_t>(pool->used) * sizeof(Key);
    list->keys = static_cast<Key*>(MemAlloc(bytes, MemCategoryFlags(kMemCatCut)));
    if (!list->keys) SceneFatalExit(3, "CutKeySetup");
    std::memcpy(static_cast<void*>(list->keys), pool->records, bytes);
  }
  // The keys now belong to the path; the next path starts the pool from its first record.
  pool->used = 0;
  ReleasePoolPages(pool, index);
}

void CutKeySetup(PathRecord* path) {
  MovePoolKeys(kPoolPosition, &path->positions);
  MovePoolKeys(kPoolRotation, &path->rotations);
  MovePoolKeys(kPoolTarget, &path->targets);
  MovePoolKeys(kPoolRoll, &path->rolls);
  MovePoolKeys(kPoolColor, &path->colors);
  MovePoolKeys(kPoolFov, &path->fieldsOfView);
  PositionKeysComputeTangents(path->positions.count, path->positions.keys);
  RotationKeysPrepare(path->rotations.count, path->rotations.keys);
}

CutRecord* GetCutByHandle(uint32_t handle) {
  if (!gEngine3D) return nullptr;
  return reinterpret_cast<CutRecord*>(HashGet(gEngine3D->cutTable, handle));
}

void CutOriginInit(CutRecord* cut) {
  cut->originFlags |= kCutOriginGiven;
  MatrixFromAngles(&cut->originRotation, 0, 0, 0);
}

void J3D_SetCutPos(uint32_t cutHandle, int32_t x, int32_t y, int32_t z) {
  CutRecord* cut = GetCutByHandle(cutHandle);
  if (!cut) return;
  cut->originPosition.x = x;
  cut->originPosition.y = y;
  cut->originPosition.z = z;
  if (!(cut->originFlags & kCutOriginGiven)) CutOriginInit(cut);
}

void PathResetPos(CutRecord* cut) {
  cut->originFlags |= kCutOriginGiven;
  cut->originPosition = FixedVector{};
}

void PathSetPosAndRot(CutRecord* cut, const FixedVector* position, const FixedMatrix* matrix) {
  if (!cut || !position || !matrix) return;
  cut->originPosition = *position;
  cut->originRotation = *matrix;
  cut->originFlags |= kCutOriginGiven;
}

namespace {

// True when `text` starts with `prefix`, ignoring case; `rest` then points past the prefix.
bool NoteStartsWith(const char* text, const char* prefix, const char** rest) {
  size_t i = 0;
  for (; prefix[i]; ++i) {
    if (text[i] == '\0') return false;
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  *rest = text + i;
  return true;
}

bool NoteNumberIs(const char* rest, int32_t n) {
  while (*rest == ' ' || *rest == '\t') ++rest;
  int value = 0;
  return std::sscanf(rest, "%d", &value) == 1 && value == n;
}

}  // namespace

bool FindAnimNoteRange(const CutRecord* cut, int32_t n, int32_t* start, int32_t* end, bool* looped) {
  *start = -1;
  *end = -1;
  bool foundStart = false, foundEnd = false;
  if (!cut || !cut->paths) return false;
  for (int32_t p = 0; p < cut->pathCount; ++p) {
    const PathRecord& path = cut->paths[p];
    for (int32_t k = 0; k < path.noteCount && path.notes; ++k) {
      const CutNote& note = path.notes[k];
      if (!note.text) continue;
      const char* rest = nullptr;
      const char* ignored = nullptr;
      if (NoteStartsWith(note.text, "start ", &rest) || NoteStartsWith(note.text, "lstart ", &rest)) {
        if (!NoteNumberIs(rest, n)) continue;
        *start = note.time;
        foundStart = true;
      } else if ((NoteStartsWith(note.text, "end ", &rest) && !NoteStartsWith(note.text, "end speak", &ignored)) ||
                 NoteStartsWith(note.text, "lend ", &rest)) {
        if (!NoteNumberIs(rest, n)) continue;
        *end = note.time;
        foundEnd = true;
      } else {
        continue;
      }
      *looped = note.text[0] == 'l' || note.text[0] == 'L';
    }
  }
  return foundStart && foundEnd;
}

void GetPathRotMatrix(const PathRecord* path, int32_t n, FixedMatrix* out) {
  const RotationKey* key = &path->rotations.keys[n];
  if (key->flags & kKeyAxisAngle) {
    MatrixFromQuaternion(out, &key->quat);
  } else {
    MatrixFromAngles(out, static_cast<uint32_t>(key->angles[0]), static_cast<uint32_t>(key->angles[1]),
                     static_cast<uint32_t>(key->angles[2]));
  }
}
