// Script memory accounting: PoolAlloc / PoolFree over the memory manager, category 1, with the
// engine's per-kind statistics. The memory manager counts the nominal size, not the real one,
// so its category-1 figure matches the pool statistics.
#include "script/script_memory.h"

#include "core/memory.h"
#include "platform/heap.h"
#include "script/engine.h"

int32_t gPoolFailAfter = -1;

static constexpr uint32_t kScriptMemFlags = MemCategoryFlags(kMemCatScript);

void SetPoolAllocFailure(int32_t successes) { gPoolFailAfter = successes; }

static bool InjectedFailure() {
  if (gPoolFailAfter < 0) return false;
  if (gPoolFailAfter == 0) {
    gPoolFailAfter = -1;
    return true;
  }
  --gPoolFailAfter;
  return false;
}

static bool KindInRange(int32_t kind) { return kind >= 0 && kind < kPoolKindCount; }

// The memory manager's and the engine's counters for one record of nominalSize.
static void CountRecord(uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  PoolCountRecordInline(nominalSize, kind, engine && KindInRange(kind) ? &engine->statistics : nullptr);
}

static void UncountRecord(int32_t kind, ScriptEngine* engine, uint32_t size) {
  if (engine && KindInRange(kind)) {
    engine->statistics.currentBlocks[kind] -= 1;
    engine->statistics.currentBytes[kind] -= static_cast<int32_t>(size);
  }
}

void* PoolAllocRecord(size_t realSize, uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return nullptr;
  // Allocated uncounted, then counted at the nominal size by hand.
  void* block = MemAlloc(realSize, kScriptMemFlags | kMemUncounted);
  if (!block) return nullptr;
  CountRecord(nominalSize, kind, engine);
  return block;
}

bool PoolCountCarvedRecord(uint32_t nominalSize, int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return false;
  CountRecord(nominalSize, kind, engine);
  return true;
}

void PoolUncountCarvedRecord(int32_t kind, ScriptEngine* engine, uint32_t nominalSize, uint32_t records) {
  const uint32_t bytes = nominalSize * records;
  if (engine && KindInRange(kind)) {
    engine->statistics.currentBlocks[kind] -= static_cast<int32_t>(records);
    engine->statistics.currentBytes[kind] -= static_cast<int32_t>(bytes);
  }
  // As uncounted frees of the records' own blocks would.
  gMemCounters.currentBytes -= bytes;
  gMemCounters.categoryBytes[kMemCatScript] -= bytes;
}

// A record of oldNominalSize replaced by one of newNominalSize: the new one counted before the
// old one goes, so the peaks see both.
static void CountResize(uint32_t oldNominalSize, uint32_t newNominalSize, int32_t kind, ScriptEngine* engine) {
  CountRecord(newNominalSize, kind, engine);
  UncountRecord(kind, engine, oldNominalSize);
  gMemCounters.currentBytes -= oldNominalSize;
  gMemCounters.categoryBytes[kMemCatScript] -= oldNominalSize;
}

// The heap directly, with the memory manager's one retry: a carrier is never counted, and the
// manager's resize would count it.
static void* HeapResize(void* block, size_t size) {
  void* resized = block ? OsHeapRealloc(block, size) : OsHeapAlloc(size);
  if (!resized) {
    CallLowMemoryHandler();
    resized = block ? OsHeapRealloc(block, size) : OsHeapAlloc(size);
  }
  return resized;
}

void* PoolAllocCarrier(size_t realSize) { return HeapResize(nullptr, realSize); }

void* PoolResizeCarrier(void* block, size_t realSize) { return HeapResize(block, realSize); }

void PoolFreeCarrier(void* block) {
  if (block) OsHeapFree(block);
}

void* PoolResizeRecord(void* block, size_t newRealSize, uint32_t oldNominalSize, uint32_t newNominalSize,
                       int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return nullptr;
  void* resized = HeapResize(block, newRealSize);
  if (!resized) return nullptr;
  CountResize(oldNominalSize, newNominalSize, kind, engine);
  return resized;
}

bool PoolCountResizedRecord(uint32_t oldNominalSize, uint32_t newNominalSize, int32_t kind, ScriptEngine* engine) {
  if (InjectedFailure()) return false;
  CountResize(oldNominalSize, newNominalSize, kind, engine);
  return true;
}

void* PoolAlloc(uint32_t size, int32_t kind, ScriptEngine* engine) {
  return PoolAllocRecord(size, size, kind, engine);
}

void PoolFree(int32_t kind, void* block, ScriptEngine* engine, uint32_t size) {
  if (!block) return;
  UncountRecord(kind, engine, size);
  // Uncounted free of a block: frees it and lowers current and category bytes by `size`.
  MemFree(block, size, kScriptMemFlags | kMemUncounted);
}
