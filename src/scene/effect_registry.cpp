// The effect registry over the engine's effect table, and the name lookups of effect parameters.
// The renderer registers each effect it loads, finds effects by name before loading one again
// and has device loss and reset walk the registry. Walks never remove entries; an entry goes
// when its effect fails to load (through the renderer's cache) or when the engine shuts down.
#include "scene/effect_registry.h"

#include "core/hash_table.h"
#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "render/effect_cache.h"
#include "render/small_ops.h"
#include "scene/engine_records.h"

namespace {

constexpr uint32_t kEffectMemFlags = MemCategoryFlags(kMemCatMaterial);

HashTable* Registry() { return gEngine3D ? gEngine3D->effectTable : nullptr; }

// Entries are counted at their 32-bit size, as the memory statistics show them.
EffectEntry* AllocEntry() {
  auto* entry = static_cast<EffectEntry*>(MemAlloc(sizeof(EffectEntry), kEffectMemFlags | kMemUncounted));
  if (!entry) return nullptr;
  gMemCounters.currentBytes += kEffectEntryNominalBytes;
  gMemCounters.totalBytes += kEffectEntryNominalBytes;
  gMemCounters.categoryBytes[kMemCatMaterial] += kEffectEntryNominalBytes;
  gMemCounters.allocationCount += 1;
  return entry;
}

void FreeEntry(EffectEntry* entry) {
  entry->name = FreeString(entry->name);
  MemFree(entry, kEffectEntryNominalBytes, kEffectMemFlags);
}

// Visits the entries in key order; the next key is read before the entry is acted on.
template <typename Fn>
void ForEachEntry(Fn fn) {
  HashTable* table = Registry();
  if (!table) return;
  for (uint32_t key = HashNextKey(table, 0); key != 0;) {
    const uint32_t next = HashNextKey(table, key);
    if (auto* entry = reinterpret_cast<EffectEntry*>(HashGet(table, key))) {
      if (fn(entry)) return;
    }
    key = next;
  }
}

bool NameMatches(const char* name, const char* key) { return name && key && TextEqualsIgnoringCase(name, key); }

}  // namespace

EffectEntry* RegisterEffect(const char* name) {
  HashTable* table = Registry();
  if (!table) return nullptr;
  EffectEntry* entry = AllocEntry();
  if (!entry) return nullptr;
  if (name) {
    entry->name = DuplicateString(name);
    if (!entry->name) {
      FreeEntry(entry);
      return nullptr;
    }
  }
  entry->handle = HashInsertNewKey(table, reinterpret_cast<HashValue>(entry));
  if (entry->handle == 0) {
    FreeEntry(entry);
    return nullptr;
  }
  return entry;
}

EffectEntry* FindEffectByName(const char* name) {
  EffectEntry* found = nullptr;
  if (!name) return nullptr;
  ForEachEntry([&](EffectEntry* entry) {
    if (!NameMatches(entry->name, name)) return false;
    found = entry;
    return true;
  });
  return found;
}

void EffectsOnLostDevice() {
  ForEachEntry([](EffectEntry* entry) {
    EffectObjectDeviceLoss(entry->effect, true);
    return false;
  });
}

void EffectsOnResetDevice() {
  ForEachEntry([](EffectEntry* entry) {
    EffectObjectDeviceLoss(entry->effect, false);
    return false;
  });
}

void FreeEffectEntry(EffectEntry* entry) {
  if (!entry) return;
  EffectObjectRelease(entry->effect);
  entry->effect = nullptr;
  if (HashTable* table = Registry()) HashRemove(table, entry->handle);
  FreeEntry(entry);
}

void FreeEffectRegistry() {
  ForEachEntry([](EffectEntry* entry) {
    FreeEffectEntry(entry);
    return false;
  });
}

void InstallEffectRegistry() {
  static constexpr EffectRegistryCalls kCalls = {FindEffectByName, RegisterEffect, FreeEffectEntry,
                                                 EffectsOnLostDevice};
  SetEffectRegistryCalls(&kCalls);
}

EffectParamHead* FindEffectParam(EffectParamHead* const* list, int32_t count, int32_t id) {
  for (int32_t i = 0; list && i < count; ++i) {
    if (list[i] && list[i]->id == id) return list[i];
  }
  return nullptr;
}

EffectParamHead* FindEffectParamByName(EffectParamHead* const* list, int32_t count, const char* name) {
  for (int32_t i = 0; list && i < count; ++i) {
    if (list[i] && NameMatches(list[i]->name, name)) return list[i];
  }
  return nullptr;
}

int32_t NameEqualsIgnoreCase(const EffectParamHead* record, const char* key) {
  return record && NameMatches(record->name, key) ? 1 : 0;
}

int32_t NameEqualsIgnoreCaseB(const EffectParamHead* record, const char* key) {
  return NameEqualsIgnoreCase(record, key);
}
