// The universe model's per-frame pass over one sector: container upkeep (docking places, gate
// guide lights, gate exits and launch holds), the choice of the video the sector's screens show
// and of the tile each screen shows, and the detail switches; and the release of the objects that
// were marked for removal during the frame. The simulation's frame step and the game loop call
// it. The sector pass never frees an object and raises no script event; the release frees only
// children that carry the removal mark.
#include <cstdint>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "scene/instance.h"
#include "scene/scene_cameras.h"
#include "universe/container_departures.h"
#include "universe/dock_slot_lights.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"

namespace {

constexpr uint32_t kFrameRequestFlags = (1u << 25) | (1u << 28);  // raised during the frame, cleared here
constexpr uint32_t kObjFlag2AlwaysInRange = 1u << 9;
constexpr uint32_t kObjFlag2ScreenAssigned = 1u << 22;
constexpr int32_t kSectorOwnedStream = 90;  // owner code of a stream the sector screens hold
constexpr int32_t kSaturatedScore = 0x7FFFFFFF;
constexpr int32_t kListCountLimit = 5;  // only the five nearest screens take part in comparisons
constexpr int32_t kRangeRadiusFactor = 64;
constexpr int kPauseWord = 9;  // of SectorObject::sectorWords
constexpr int kVideoTiles = 4;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// -x and |x| without overflow: an id of INT32_MIN from a type file stays itself.
int32_t Negate(int32_t x) { return static_cast<int32_t>(0u - static_cast<uint32_t>(x)); }
int32_t Magnitude(int32_t x) { return x < 0 ? Negate(x) : x; }

SpecialExt* ScreenExt(SpaceObject* o) { return static_cast<SpecialExt*>(o->ext); }

bool IsScreen(const SpaceObject* o) {
  return o->objClass == kClassSpecial && o->ext && static_cast<const SpecialExt*>(o->ext)->screenId != 0;
}

SceneRecord* SectorSceneOf(const SpaceObject* o) {
  if (!o->parent || o->parent->objClass != kClassSector) return nullptr;
  return static_cast<const SectorObject*>(o->parent)->sceneA;
}

// Distance to the nearest camera of the screen's sector scene; not positive without one.
int32_t ScreenDistance(const SpaceObject* screen) {
  SceneRecord* scene = SectorSceneOf(screen);
  if (!screen->instance || !scene) return -1;
  return SceneNearestCameraDistance(scene, screen->instance, 1);
}

void SwitchScreenOff(SpaceObject* screen) {
  SpecialExt* ext = ScreenExt(screen);
  if (screen->instance) InstSubtreeCallAttached(screen->instance, Magnitude(ext->shownId) + 1);
  ext->shownId = 0;
  screen->flags2 &= ~kObjFlag2ScreenAssigned;
}

// ---------------------------------------------------------------------------------------------
// Work lists: screens with their keys (negated distances). A sorted list keeps descending keys,
// a new entry going before older ones of an equal key; `count` saturates where the comparisons
// stop looking. Storage is taken on the first entry, so a sector without screens allocates
// nothing.

struct ScreenEntry {
  int64_t key;
  SpaceObject* screen;
};

struct WorkList {
  ScreenEntry* entries = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;
  int32_t count = 0;  // saturates at kListCountLimit
  bool failed = false;
};

bool Grow(WorkList* list) {
  const int32_t capacity = list->capacity ? list->capacity * 2 : 8;
  void* grown = MemRealloc(list->entries, sizeof(ScreenEntry) * static_cast<size_t>(list->capacity),
                           sizeof(ScreenEntry) * static_cast<size_t>(capacity), MemCategoryFlags(kMemCatUniverse));
  if (!grown) {
    list->failed = true;
    return false;
  }
  list->entries = static_cast<ScreenEntry*>(grown);
  list->capacity = capacity;
  return true;
}

void Insert(WorkList* list, SpaceObject* screen, int64_t key, bool sorted) {
  if (list->size == list->capacity && !Grow(list)) return;
  int32_t at = list->size;
  if (sorted) {
    at = 0;
    while (at < list->size && list->entries[at].key > key) ++at;
    std::memmove(&list->entries[at + 1], &list->entries[at], sizeof(ScreenEntry) * static_cast<size_t>(list->size - at));
  }
  list->entries[at] = {key, screen};
  ++list->size;
  if (list->count < kListCountLimit) ++list->count;
}

void Release(WorkList* list) {
  if (list->entries) {
    MemFree(list->entries, sizeof(ScreenEntry) * static_cast<size_t>(list->capacity), MemCategoryFlags(kMemCatUniverse));
  }
  *list = WorkList{};
}

struct ScreenLists {
  WorkList shown;     // showing something while the video plays, nearest first
  WorkList assigned;  // of those, the ones this pass gave their picture
  WorkList foreign;   // of those, the others, in child-list order
  WorkList range;     // in range, nearest first
  ~ScreenLists() {
    Release(&shown);
    Release(&assigned);
    Release(&foreign);
    Release(&range);
  }
  bool Failed() const { return shown.failed || assigned.failed || foreign.failed || range.failed; }
};

// ---------------------------------------------------------------------------------------------
// Container upkeep.

void KeepGate(SpaceObject* gate, uint32_t now) {
  UpdateGuideLights(gate);
  auto* ext = static_cast<GateExt*>(gate->ext);
  if (!ext) return;
  // A leaving ship moves to the sector's list, so the successor is read first.
  for (SpaceObject* c = ObjectListFirst(&ext->children), *next = nullptr; c; c = next) {
    next = ObjectListNext(c);
    if (c->flags & kObjFlagWaitsInContainer) ShipLeaveContainer(c, gate);
  }
  for (int i = 0; i < kGateSlotCount; ++i) {
    if (ext->slotTimes[i] > now) continue;
    ext->slotTimes[i] = now;
    ext->slotShips[i] = nullptr;
  }
}

// The classes whose extension holds a launch-hold word after the child list.
bool HasLaunchHold(const SpaceObject* o) {
  return o->ext && ObjectChildren(const_cast<SpaceObject*>(o)) &&
         ObjectExtensionSize(o->objClass) >= offsetof(DockExt, nextLaunchAt) + sizeof(uint32_t);
}

void KeepContainers(SectorObject* sector, uint32_t now) {
  ListHead* children = ObjectChildren(sector);
  for (SpaceObject* c = ObjectListFirst(children), *next = nullptr; c; c = next) {
    next = ObjectListNext(c);
    if (!(c->flags & kObjFlagContainer) || (c->flags & kObjFlagRemoving)) continue;
    switch (c->objClass) {
      case kClassDock:
      case kClassFactory:
      case kClassShip: UpdateDockSlots(c); break;
      case kClassGate: KeepGate(c, now); break;
      default:
        if (HasLaunchHold(c)) static_cast<DockExt*>(c->ext)->nextLaunchAt = now;
        break;
    }
    c->flags &= ~kFrameRequestFlags;
  }
}

// ---------------------------------------------------------------------------------------------
// The video choice.

bool VideoRowValid(int32_t row) { return row >= 0 && row < gVideoTable.count && gVideoTable.rows; }

int32_t RowTileCount(const VideoRow& row) {
  return row.idCount < 0 ? 0 : (row.idCount > kVideoTiles ? kVideoTiles : row.idCount);
}

bool VideoPlays(const SectorObject* sector) {
  if (sector->sectorWords[kPauseWord] != 0 || !VideoRowValid(sector->sectorLast)) return false;
  uint32_t flags = 0;
  int32_t owner = 0;
  if (!MediaStreamState(gVideoTable.rows[sector->sectorLast].value[0], &flags, &owner)) return false;
  return (flags & kMediaStreamOwned) && owner == kSectorOwnedStream && (flags & kMediaStreamRunning);
}

// Whether screen id `screenId` accepts tile id `id`: its own positive id, or a list of ids.
bool ListAccepts(int32_t screenId, int32_t id) {
  if (screenId >= 0) return false;
  const int64_t list = -1 - int64_t{screenId};
  if (list >= gVideoListTable.count || !gVideoListTable.lists) return false;
  const WordList& words = gVideoListTable.lists[list];
  for (int32_t i = 0; i < words.count; ++i) {
    if (words.values[i] == id) return true;
  }
  return false;
}

struct RowScores {
  SpaceObject** owners = nullptr;  // kVideoTiles per row
  int32_t* matches = nullptr;
  int32_t* scores = nullptr;
  int32_t rows = 0;
  bool Allocate(int32_t n) {
    rows = n;
    if (n == 0) return true;
    owners = static_cast<SpaceObject**>(MemAlloc(sizeof(SpaceObject*) * kVideoTiles * size_t(n), Flags()));
    matches = static_cast<int32_t*>(MemAlloc(sizeof(int32_t) * size_t(n), Flags()));
    scores = static_cast<int32_t*>(MemAlloc(sizeof(int32_t) * size_t(n), Flags()));
    if (!owners || !matches || !scores) return false;
    std::memset(owners, 0, sizeof(SpaceObject*) * kVideoTiles * size_t(n));
    std::memset(matches, 0, sizeof(int32_t) * size_t(n));
    std::memset(scores, 0, sizeof(int32_t) * size_t(n));
    return true;
  }
  ~RowScores() {
    if (owners) MemFree(owners, sizeof(SpaceObject*) * kVideoTiles * size_t(rows), Flags());
    if (matches) MemFree(matches, sizeof(int32_t) * size_t(rows), Flags());
    if (scores) MemFree(scores, sizeof(int32_t) * size_t(rows), Flags());
  }
  static uint32_t Flags() { return MemCategoryFlags(kMemCatUniverse); }
  SpaceObject** Owners(int32_t row) const { return owners + size_t(row) * kVideoTiles; }
};

bool OwnsEarlierTile(SpaceObject* const* owners, int32_t j, const SpaceObject* screen) {
  for (int32_t k = 0; k < j; ++k) {
    if (owners[k] == screen) return true;
  }
  return false;
}

// Adds a tile owner's share to a row score: nearer screens weigh more, a screen at distance 0
// (or a sum past the top) saturates, and a screen without a camera distance adds nothing.
int32_t AddShare(int32_t score, int32_t distance) {
  if (score >= kSaturatedScore || distance < 0) return score;
  if (distance == 0) return kSaturatedScore;
  const int64_t sum = int64_t{score} + kSaturatedScore / distance;
  return sum > kSaturatedScore ? kSaturatedScore : static_cast<int32_t>(sum);
}

// Scores every row; true when at least one row has all its tiles owned.
bool ScoreRows(const WorkList& range, RowScores* s) {
  bool anyComplete = false;
  for (int32_t r = 0; r < s->rows; ++r) {
    const VideoRow& row = gVideoTable.rows[r];
    const int32_t n = RowTileCount(row);
    const int32_t looked = n < range.count ? n : range.count;
    SpaceObject** owners = s->Owners(r);
    for (int32_t j = 0; j < n; ++j) {
      const int32_t id = row.id[j];
      SpaceObject* owner = nullptr;
      for (int32_t i = 0; i < looked && !owner; ++i) {
        const int32_t shown = ScreenExt(range.entries[i].screen)->shownId;
        if (shown != 0 && shown == Negate(id)) owner = range.entries[i].screen;
      }
      for (int32_t i = 0; i < looked && !owner; ++i) {
        SpaceObject* screen = range.entries[i].screen;
        const int32_t screenId = ScreenExt(screen)->screenId;
        if ((screenId > 0 && screenId == id) || (ListAccepts(screenId, id) && !OwnsEarlierTile(owners, j, screen))) {
          owner = screen;
        }
      }
      if (!owner) continue;
      owners[j] = owner;
      s->scores[r] = AddShare(s->scores[r], ScreenDistance(owner));
      if (++s->matches[r] == n) anyComplete = true;
    }
  }
  return anyComplete;
}

int32_t ChooseRow(const RowScores& s, int32_t best, bool anyComplete) {
  auto candidate = [&](int32_t r) {
    return s.scores[r] == best && (!anyComplete || s.matches[r] == RowTileCount(gVideoTable.rows[r]));
  };
  int32_t k = 0;
  for (int32_t r = 0; r < s.rows; ++r) k += candidate(r);
  if (k == 0) return -1;
  int32_t t = k > 1 ? static_cast<int32_t>(int64_t{k} * GameRand() / 32768) : 0;
  for (int32_t r = 0; r < s.rows; ++r) {
    if (candidate(r) && t-- == 0) return r;
  }
  return -1;
}

bool SameScreens(const WorkList& a, const WorkList& b, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (a.entries[i].screen != b.entries[i].screen) return false;
  }
  return true;
}

void ChooseVideo(SectorObject* sector, ScreenLists* lists, bool plays) {
  if (lists->shown.count == 0 && lists->range.count == 0) return;
  if (lists->shown.count != 0 && lists->shown.count == lists->range.count &&
      SameScreens(lists->shown, lists->range, lists->range.count)) {
    return;
  }
  RowScores s;
  if (!s.Allocate(gVideoTable.rows ? gVideoTable.count : 0)) return;

  for (int32_t i = 0; i < lists->shown.size; ++i) {
    SpecialExt* ext = ScreenExt(lists->shown.entries[i].screen);
    ext->shownId = ext->shownId > 0 ? Negate(ext->shownId) : 0;
  }
  const bool anyComplete = ScoreRows(lists->range, &s);
  int32_t best = 0;
  for (int32_t r = 0; r < s.rows; ++r) best = s.scores[r] > best ? s.scores[r] : best;

  int32_t current = VideoRowValid(sector->sectorLast) ? sector->sectorLast : -1;
  const bool change = !plays || (current == -1 ? best > 0 : s.scores[current] != best);
  if (change) {
    if (current >= 0) MediaStreamRelease(gVideoTable.rows[current].value[0], kSectorOwnedStream);
    current = ChooseRow(s, best, anyComplete);
    sector->sectorLast = current;
  }

  const VideoRow* row = current >= 0 ? &gVideoTable.rows[current] : nullptr;
  const int32_t n = row ? RowTileCount(*row) : 0;
  SpaceObject* const* owners = row ? s.Owners(current) : nullptr;
  for (int32_t j = 0; j < n; ++j) {
    SpaceObject* screen = owners[j];
    if (!screen) continue;
    SpecialExt* ext = ScreenExt(screen);
    if (screen->instance && ext->shownId != 0) InstSubtreeCallAttached(screen->instance, Magnitude(ext->shownId) + 1);
    if (screen->instance && row->id[j] != 0) InstSubtreeCallAttachedEx(screen->instance, j + 1, n);
    ext->shownId = row->id[j];
    screen->flags2 |= kObjFlag2ScreenAssigned;
  }
  for (int32_t i = 0; i < lists->assigned.size; ++i) {
    SpaceObject* screen = lists->assigned.entries[i].screen;
    if (ScreenExt(screen)->shownId < 0) SwitchScreenOff(screen);
  }
  // A screen this pass did not assign keeps its picture while the chosen video still shows its id.
  for (int32_t i = 0; i < lists->foreign.size; ++i) {
    SpaceObject* screen = lists->foreign.entries[i].screen;
    SpecialExt* ext = ScreenExt(screen);
    if (ext->shownId >= 0) continue;
    for (int32_t j = 0; j < n; ++j) {
      if (owners[j] && ScreenExt(owners[j])->screenId == ext->screenId) {
        ext->shownId = Negate(ext->shownId);
        break;
      }
    }
    if (ext->shownId < 0) SwitchScreenOff(screen);
  }
  // A screen with the same id as a tile owner shows the same tile.
  for (int32_t i = 0; row && i < lists->range.size; ++i) {
    SpaceObject* screen = lists->range.entries[i].screen;
    SpecialExt* ext = ScreenExt(screen);
    if (ext->shownId > 0) continue;
    for (int32_t j = 0; j < n; ++j) {
      if (!owners[j] || ScreenExt(owners[j])->screenId != ext->screenId) continue;
      if (screen->instance) InstSubtreeCallAttachedEx(screen->instance, j + 1, n);
      ext->shownId = row->id[j];
      break;
    }
  }
  if (change && row) MediaStreamClaim(row->value[0], kSectorOwnedStream, &row->value[1], 0);
}

}  // namespace

void UpdateSectorInstances(SectorObject* sector) {
  if (!sector) return;
  const uint32_t now = Now();
  KeepContainers(sector, now);

  const bool paused = sector->sectorWords[kPauseWord] != 0;
  const bool plays = VideoPlays(sector);
  ScreenLists lists;
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(sector)), *next = nullptr; c; c = next) {
    next = ObjectListNext(c);
    if (c->flags & kObjFlagRemoving) continue;
    if (!paused && IsScreen(c)) {
      SpecialExt* ext = ScreenExt(c);
      const int32_t distance = ScreenDistance(c);
      const int64_t key = -int64_t{distance};
      if (ext->shownId != 0) {
        if (plays) {
          Insert(&lists.shown, c, key, true);
          if (c->flags2 & kObjFlag2ScreenAssigned) Insert(&lists.assigned, c, key, true);
          else Insert(&lists.foreign, c, key, false);
        } else {
          SwitchScreenOff(c);
        }
      }
      if (SectorSceneOf(c) &&
          ((c->flags2 & kObjFlag2AlwaysInRange) || (distance > 0 && int64_t{distance} < int64_t{c->radius} * kRangeRadiusFactor))) {
        Insert(&lists.range, c, key, true);
      }
    }
    if (c->parent && (c->flags2 & kObjFlag2DetailManaged)) ObjSwitchDetail(c, 0, WantsDetail(c));
  }
  // Without its work lists the pass cannot tell which screen shows what; it chooses next frame.
  if (paused || lists.Failed()) return;
  ChooseVideo(sector, &lists, plays);
}

void ContainerFreeRemovedObjects(SpaceObject* container) {
  ListHead* children = container ? ObjectChildren(container) : nullptr;
  if (!children) return;
  for (SpaceObject* c = ObjectListFirst(children), *next = nullptr; c; c = next) {
    next = ObjectListNext(c);
    if (!(c->flags & kObjFlagRemoving)) continue;
    if (gUniverse && gUniverse->player == c) gUniverse->player = nullptr;
    DeleteObject(c);
  }
}

void FreeRemovedObjectsInSectors() {
  if (!gUniverse) return;
  for (SpaceObject* o = ObjectListFirst(&gUniverse->objects); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassSector) ContainerFreeRemovedObjects(o);
  }
}
