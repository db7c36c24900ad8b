// Script memory accounting: every dynamic record of the script engine is allocated and freed
// here, under memory category 1, with per-kind statistics (current and peak bytes and blocks)
// kept in the engine context. Called by every script file that allocates. A kind is only a
// statistics index; the one owner that carves records from larger blocks (table entries, from
// blocks their table owns and frees whole) still counts each record as if it were its own block.
//
// Records are larger in memory than the figures the statistics report (values and pointers are
// pointer-wide here), so every allocation names two sizes: the bytes it really takes and the
// nominal bytes it is counted as. Both the pool counters and the memory manager's counters see
// the nominal size, so reports and limits read the same on every build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"

struct ScriptEngine;

enum PoolKind : int32_t {
  kPoolPatch = 2,      // patch records (12) and their pair arrays (8 per pair)
  kPoolTable = 4,      // ScriptTable records (24)
  kPoolBuckets = 5,    // table bucket arrays (4 per bucket)
  kPoolEntry = 6,      // TableEntry records (16)
  kPoolArray = 7,      // ScriptArray records (20)
  kPoolElements = 8,   // array element blocks (5 per slot)
  kPoolClass = 11,     // class records, method and field tables, static variables
  kPoolCode = 12,      // loaded code and string pool
  kPoolScratch = 13,   // temporary texts of the natives and of value printing
  kPoolInstance = 14,  // ObjectInstance records (16) and their variables (5 per slot)
  kPoolTask = 15,      // ScriptTask records (64)
  kPoolStack = 16,     // task value stacks (5 per slot)
  kPoolString = 17,    // StringObject records (12)
  kPoolText = 18,      // text database records
};
constexpr int32_t kPoolKindCount = 20;

// Nominal sizes the statistics count, whatever the records take in memory.
constexpr uint32_t kNominalValueSize = 5;
constexpr uint32_t kNominalArraySize = 20;
constexpr uint32_t kNominalTableSize = 24;
constexpr uint32_t kNominalEntrySize = 16;
constexpr uint32_t kNominalBucketSize = 4;
constexpr uint32_t kNominalStringObjectSize = 12;
constexpr uint32_t kNominalInstanceSize = 16;
constexpr uint32_t kNominalTaskSize = 64;
constexpr uint32_t kNominalClassRecordSize = 56;
constexpr uint32_t kNominalRecord16Size = 16;  // method and field records
constexpr uint32_t kNominalPatchRecordSize = 12;

struct PoolStatistics {
  int32_t currentBytes[kPoolKindCount];
  int32_t peakBytes[kPoolKindCount];
  int32_t currentBlocks[kPoolKindCount];
  int32_t peakBlocks[kPoolKindCount];
};

// A block whose real size is its counted size (code, string pool, scratch texts).
void* PoolAlloc(uint32_t size, int32_t kind, ScriptEngine* engine);
void PoolFree(int32_t kind, void* block, ScriptEngine* engine, uint32_t size);

// A block of realSize bytes counted as nominalSize; freed with PoolFree(kind, block, engine,
// nominalSize). Zero-filled; null on failure with no counter changed.
void* PoolAllocRecord(size_t realSize, uint32_t nominalSize, int32_t kind, ScriptEngine* engine);

// Records carved by their owner from a larger block it holds (a carrier): each record is
// counted and uncounted exactly as PoolAllocRecord and PoolFree would count it, injected
// failures included, while the carrier itself is never counted. PoolCountCarvedRecord is false
// (nothing counted) when the record may not be had.
bool PoolCountCarvedRecord(uint32_t nominalSize, int32_t kind, ScriptEngine* engine);
// `records` records of one size at once (an owner emptying a carrier).
void PoolUncountCarvedRecord(int32_t kind, ScriptEngine* engine, uint32_t nominalSize, uint32_t records = 1);
// Carriers are not zero-filled (their owner writes every record it carves from them); both
// calls retry once after the low-memory hook and give null on failure, the block unchanged.
void* PoolAllocCarrier(size_t realSize);
void* PoolResizeCarrier(void* block, size_t realSize);
void PoolFreeCarrier(void* block);

// A record resized in place where the heap can: counted exactly as a PoolAllocRecord of the new
// size followed by a PoolFree of the old one (so the peaks see both at once, as they would). The
// part beyond the old size is not zero-filled. Null on failure, with the old block and every
// counter unchanged.
void* PoolResizeRecord(void* block, size_t newRealSize, uint32_t oldNominalSize, uint32_t newNominalSize,
                       int32_t kind, ScriptEngine* engine);

// PoolResizeRecord's counting alone, for a record its owner does not hold in memory yet (the
// record is made later from what was counted). False (nothing counted) when it may not be had.
bool PoolCountResizedRecord(uint32_t oldNominalSize, uint32_t newNominalSize, int32_t kind, ScriptEngine* engine);

// The counting of one record of nominalSize (the memory manager's counters, and `statistics` at
// `kind` when given), inline for the owner that counts a record per table insertion. Callers
// that may see an injected failure go through PoolCountCarvedRecord unless
// PoolFailureInjected() is false.
inline void PoolCountRecordInline(uint32_t nominalSize, int32_t kind, PoolStatistics* statistics) {
  gMemCounters.currentBytes += nominalSize;
  gMemCounters.totalBytes += nominalSize;
  gMemCounters.categoryBytes[kMemCatScript] += nominalSize;
  gMemCounters.allocationCount += 1;
  if (statistics) {
    PoolStatistics& s = *statistics;
    s.currentBytes[kind] += static_cast<int32_t>(nominalSize);
    if (s.currentBytes[kind] > s.peakBytes[kind]) s.peakBytes[kind] = s.currentBytes[kind];
    s.currentBlocks[kind] += 1;
    if (s.currentBlocks[kind] > s.peakBlocks[kind]) s.peakBlocks[kind] = s.currentBlocks[kind];
  }
}

extern int32_t gPoolFailAfter;  // SetPoolAllocFailure's countdown, negative when off
inline bool PoolFailureInjected() { return gPoolFailAfter >= 0; }

// Typed convenience for runs of values and records: count elements of T counted at
// nominalEach bytes. Returns null for a count whose byte size would not fit 32 bits.
template <typename T>
T* PoolAllocArray(uint32_t count, uint32_t nominalEach, int32_t kind, ScriptEngine* engine) {
  uint64_t nominal = uint64_t{count} * nominalEach;
  if (nominal > 0x7FFFFFFFu) return nullptr;
  return static_cast<T*>(PoolAllocRecord(size_t{count} * sizeof(T), static_cast<uint32_t>(nominal), kind, engine));
}

// Test seam: after `successes` more successful PoolAlloc calls, the next one fails once, as an
// exhausted heap would. A negative value turns the injection off.
void SetPoolAllocFailure(int32_t successes);
