// Script memory accounting: PoolAlloc / PoolFree over the memory manager, category 1, with the
// engine's per-kind statistics. The memory manager counts the nominal size, not the real one,
// so its category-1 figure matches the pool statistics. Table entries, made and dropped by the
// hundred thousand, are carved from slabs instead of single heap blocks; their counters move
// exactly as for blocks of their own.
#include "script/script_memory.h"

#include <cstring>

#include "core/memory.h"
#include "script/engine.h"

static int32_t gFailAfter = -1;

static constexpr uint32_t kScriptMemFlags = MemCategoryFlags(kMemCatScript);

void SetPoolAllocFailure(int32_t successes) { gFailAfter = successes; }

static bool InjectedFailure() {
  if (gFailAfter < 0) return false;
  if (gFailAfter == 0) {
    gFailAfter = -1;
    return true;
  }
  --gFailAfter;
  return false;
}

static bool KindInRange(int32_t kind) { return kind >= 0 && kind < kPoolKindCount; }

// The memory manager's and the kind's counters for a record that has just been made.
static void CountRecord(uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  gMemCounters.currentBytes += nominalSize;
  gMemCounters.totalBytes += nominalSize;
  gMemCounters.categoryBytes[kMemCatScript] += nominalSize;
  gMemCounters.allocationCount += 1;
  if (engine && KindInRange(kind)) {
    PoolStatistics& s = engine->statistics;
    s.currentBytes[kind] += static_cast<int32_t>(nominalSize);
    if (s.currentBytes[kind] > s.peakBytes[kind]) s.peakBytes[kind] = s.currentBytes[kind];
    s.currentBlocks[kind] += 1;
    if (s.currentBlocks[kind] > s.peakBlocks[kind]) s.peakBlocks[kind] = s.currentBlocks[kind];
  }
}

// ... and for one that goes: the kind's figures, then the memory manager's as its uncounted
// free of a block of the nominal size lowers them.
static void UncountRecord(uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  if (engine && KindInRange(kind)) {
    engine->statistics.currentBlocks[kind] -= 1;
    engine->statistics.currentBytes[kind] -= static_cast<int32_t>(nominalSize);
  }
  gMemCounters.currentBytes -= nominalSize;
  gMemCounters.categoryBytes[kMemCatScript] -= nominalSize;
}

void* PoolAllocRecord(size_t realSize, uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return nullptr;
  // Allocated uncounted, then counted at the nominal size by hand.
  void* block = MemAlloc(realSize, kScriptMemFlags | kMemUncounted);
  if (!block) return nullptr;
  CountRecord(nominalSize, kind, engine);
  return block;
}

void* PoolAlloc(uint32_t size, int32_t kind, ScriptEngine* engine) {
  return PoolAllocRecord(size, size, kind, engine);
}

void PoolFree(int32_t kind, void* block, ScriptEngine* engine, uint32_t size) {
  if (!block) return;
  if (engine && KindInRange(kind)) {
    engine->statistics.currentBlocks[kind] -= 1;
    engine->statistics.currentBytes[kind] -= static_cast<int32_t>(size);
  }
  // Uncounted free of a block: frees it and lowers current and category bytes by `size`.
  MemFree(block, size, kScriptMemFlags | kMemUncounted);
}

// ---------------------------------------------------------------------------------------------
// Slab records
//
// A slab holds kSlabSlots slots of one record size; a slot is a word naming its slab, then the
// record. Records come out of an empty slab in address order, so a burst of insertions lies
// together in memory; freed slots are reused, and a slab that empties starts again from its
// first slot. Empty slabs are kept for the next burst up to a byte budget (a table refilled
// over and over then never goes back to the heap, whose own frees and fresh pages cost more
// than the table work itself); beyond it they are freed. Slab memory is not counted: only the
// records are, at their nominal sizes.

namespace {

struct SlabArena;

struct Slab {
  Slab* prev;
  Slab* next;
  SlabArena* arena;
  void* holes;    // freed records, linked through their first word
  uint32_t live;  // records handed out and not yet freed
  uint32_t bump;  // slots used since the slab was last empty
  bool listed;    // on its arena's list of slabs with a free slot
};

struct SlabArena {
  size_t realSize;  // 0: arena not in use yet
  size_t slotSize;
  Slab* room;       // slabs with a free slot, the one freed into last first
  uint32_t emptySlabs;
};

constexpr uint32_t kSlabSlots = 1024;
constexpr size_t kSpareSlabBytes = size_t{8} << 20;
constexpr int32_t kSlabArenaCount = 4;
constexpr uint32_t kSlabFlags = kScriptMemFlags | kMemUncounted;  // freed with size 0: no counter moves

SlabArena gArenas[kSlabArenaCount];

SlabArena* ArenaFor(size_t realSize) {
  for (SlabArena& a : gArenas)
    if (a.realSize == realSize) return &a;
  for (SlabArena& a : gArenas) {
    if (a.realSize == 0) {
      a.realSize = realSize;
      a.slotSize = (sizeof(Slab*) + realSize + 7) & ~size_t{7};
      return &a;
    }
  }
  return nullptr;
}

size_t SlabBytes(const SlabArena* a) { return sizeof(Slab) + a->slotSize * kSlabSlots; }

void ListSlab(SlabArena* a, Slab* s) {
  s->prev = nullptr;
  s->next = a->room;
  if (a->room) a->room->prev = s;
  a->room = s;
  s->listed = true;
}

void UnlistSlab(SlabArena* a, Slab* s) {
  if (s->prev) s->prev->next = s->next;
  else a->room = s->next;
  if (s->next) s->next->prev = s->prev;
  s->prev = s->next = nullptr;
  s->listed = false;
}

char* SlotOf(Slab* s, uint32_t index) {
  return reinterpret_cast<char*>(s + 1) + size_t{index} * s->arena->slotSize;
}

}  // namespace

void* PoolAllocSlabRecord(size_t realSize, uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return nullptr;
  SlabArena* a = realSize >= sizeof(void*) ? ArenaFor(realSize) : nullptr;
  char* record;
  if (!a) {
    // No arena left for this size: a slot of its own, whose null slab word says so.
    char* slot = static_cast<char*>(MemAlloc(sizeof(Slab*) + realSize, kSlabFlags));
    if (!slot) return nullptr;
    record = slot + sizeof(Slab*);
  } else {
    Slab* s = a->room;
    if (!s) {
      s = static_cast<Slab*>(MemAlloc(SlabBytes(a), kSlabFlags));
      if (!s) return nullptr;
      s->arena = a;
      a->emptySlabs++;
      ListSlab(a, s);
    }
    if (s->holes) {
      record = static_cast<char*>(s->holes);
      std::memcpy(&s->holes, record, sizeof s->holes);
    } else {
      char* slot = SlotOf(s, s->bump++);
      std::memcpy(slot, &s, sizeof s);
      record = slot + sizeof(Slab*);
    }
    if (s->live++ == 0) a->emptySlabs--;
    if (!s->holes && s->bump == kSlabSlots) UnlistSlab(a, s);
    // As fresh from the memory manager; records are whole words, so a short loop does it.
    if (realSize % sizeof(uint64_t) == 0) {
      for (size_t at = 0; at < realSize; at += sizeof(uint64_t)) {
        const uint64_t zero = 0;
        std::memcpy(record + at, &zero, sizeof zero);
      }
    } else {
      std::memset(record, 0, realSize);
    }
  }
  CountRecord(nominalSize, kind, engine);
  return record;
}

void PoolFreeSlabRecord(int32_t kind, void* block, ScriptEngine* engine, uint32_t nominalSize) {
  if (!block) return;
  UncountRecord(nominalSize, kind, engine);
  char* record = static_cast<char*>(block);
  Slab* s;
  std::memcpy(&s, record - sizeof(Slab*), sizeof s);
  if (!s) {
    MemFree(record - sizeof(Slab*), 0, kSlabFlags);
    return;
  }
  SlabArena* a = s->arena;
  if (--s->live == 0) {
    // Empty: the next records come from its first slot on, in address order again.
    s->holes = nullptr;
    s->bump = 0;
    if ((a->emptySlabs + 1) * SlabBytes(a) > kSpareSlabBytes) {
      if (s->listed) UnlistSlab(a, s);
      MemFree(s, 0, kSlabFlags);
      return;
    }
    a->emptySlabs++;
  } else {
    std::memcpy(record, &s->holes, sizeof s->holes);
    s->holes = record;
  }
  if (!s->listed) ListSlab(a, s);
}
