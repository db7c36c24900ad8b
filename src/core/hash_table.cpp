// The chained hash table that maps every subsystem's handles to its records, the priority-ordered
// list and the counted word list. Called everywhere a handle is made, looked up or dropped; it
// never owns or touches what its values point to, and a failed allocation never leaves a
// half-built entry behind.
#include "core/hash_table.h"

#include "core/memory.h"

namespace {

// The statistics show the record sizes of the 32-bit layout (four-word header, three-word entry,
// one-word bucket), whatever the blocks really take on this machine.
constexpr uint32_t kNominalHeaderBytes = 16;
constexpr uint32_t kNominalEntryBytes = 12;
constexpr uint32_t kNominalBucketBytes = 4;

constexpr uint32_t kInitialBuckets = 8;
constexpr uint32_t kGrowthFactor = 4;
constexpr uint32_t kHighestKey = 0x7FFFFFFE;

void* AllocCounted(size_t realSize, uint32_t nominalSize) {
  void* block = MemAlloc(realSize, kMemUncounted);
  if (!block) return nullptr;
  gMemCounters.currentBytes += nominalSize;
  gMemCounters.totalBytes += nominalSize;
  gMemCounters.categoryBytes[kMemCatDefault] += nominalSize;
  gMemCounters.allocationCount += 1;
  return block;
}

void FreeCounted(void* block, uint32_t nominalSize) {
  MemFree(block, 0, kMemUncounted);
  gMemCounters.currentBytes -= nominalSize;
  gMemCounters.categoryBytes[kMemCatDefault] -= nominalSize;
}

HashEntry** AllocBuckets(uint32_t count) {
  return static_cast<HashEntry**>(AllocCounted(count * sizeof(HashEntry*), count * kNominalBucketBytes));
}

HashEntry* AllocEntry(uint32_t key, HashValue value) {
  HashEntry* entry = static_cast<HashEntry*>(AllocCounted(sizeof(HashEntry), kNominalEntryBytes));
  if (entry) {
    entry->next = nullptr;
    entry->key = key;
    entry->value = value;
  }
  return entry;
}

// Entries are pushed onto the heads of their new buckets, old buckets in index order, so entries
// that share a bucket afterwards stand in reverse order. Iteration order depends on this.
void Grow(HashTable* table) {
  uint32_t newCount = table->bucketCount * kGrowthFactor;
  if (newCount <= table->bucketCount) return;  // 32-bit limit: stay as we are
  HashEntry** fresh = AllocBuckets(newCount);
  if (!fresh) return;  // a fuller table still finds every key
  uint32_t mask = newCount - 1;
  for (uint32_t i = 0; i < table->bucketCount; ++i) {
    HashEntry* entry = table->buckets[i];
    while (entry) {
      HashEntry* next = entry->next;
      HashEntry** head = &fresh[entry->key & mask];
      entry->next = *head;
      *head = entry;
      entry = next;
    }
  }
  FreeCounted(table->buckets, table->bucketCount * kNominalBucketBytes);
  table->buckets = fresh;
  table->bucketCount = newCount;
}

uint32_t FirstKeyFrom(const HashTable* table, uint32_t bucket) {
  for (uint32_t i = bucket; i < table->bucketCount; ++i) {
    if (table->buckets[i]) return table->buckets[i]->key;
  }
  return 0;
}

}  // namespace

HashTable* HashCreate() {
  HashTable* table = static_cast<HashTable*>(AllocCounted(sizeof(HashTable), kNominalHeaderBytes));
  if (!table) return nullptr;
  table->buckets = nullptr;
  table->bucketCount = kInitialBuckets;
  table->keyCounter = 1;
  table->entryCount = 0;
  return table;
}

void HashDestroy(HashTable* table) {
  if (!table) return;
  if (table->buckets) {
    for (uint32_t i = 0; i < table->bucketCount; ++i) {
      HashEntry* entry = table->buckets[i];
      while (entry) {
        HashEntry* next = entry->next;
        FreeCounted(entry, kNominalEntryBytes);
        entry = next;
      }
    }
    FreeCounted(table->buckets, table->bucketCount * kNominalBucketBytes);
  }
  FreeCounted(table, kNominalHeaderBytes);
}

int HashInsert(HashTable* table, uint32_t key, HashValue value) {
  if (!table || key == 0) return 0;
  HashEntry** link;
  if (!table->buckets) {
    HashEntry** buckets = AllocBuckets(table->bucketCount);
    if (!buckets) return 0;
    table->buckets = buckets;
    link = &buckets[key & (table->bucketCount - 1)];
  } else {
    link = &table->buckets[key & (table->bucketCount - 1)];
    for (HashEntry* entry = *link; entry; entry = entry->next) {
      if (entry->key == key) {
        entry->value = value;
        return 0;
      }
      link = &entry->next;
    }
  }
  HashEntry* entry = AllocEntry(key, value);
  if (!entry) return 0;
  *link = entry;
  table->entryCount += 1;
  if (table->entryCount >= table->bucketCount) Grow(table);
  return 1;
}

HashEntry* HashLookup(const HashTable* table, uint32_t key) {
  if (!table || !table->buckets) return nullptr;
  for (HashEntry* entry = table->buckets[key & (table->bucketCount - 1)]; entry; entry = entry->next) {
    if (entry->key == key) return entry;
  }
  return nullptr;
}

HashValue HashRemove(HashTable* table, uint32_t key) {
  if (!table || !table->buckets) return 0;
  HashEntry** link = &table->buckets[key & (table->bucketCount - 1)];
  for (HashEntry* entry = *link; entry; entry = entry->next) {
    if (entry->key == key) {
      *link = entry->next;
      HashValue value = entry->value;
      FreeCounted(entry, kNominalEntryBytes);
      table->entryCount -= 1;
      return value;
    }
    link = &entry->next;
  }
  return 0;
}

uint32_t HashNextKey(const HashTable* table, uint32_t key) {
  if (!table || !table->buckets) return 0;
  if (key != 0) {
    uint32_t bucket = key & (table->bucketCount - 1);
    for (const HashEntry* entry = table->buckets[bucket]; entry; entry = entry->next) {
      if (entry->key == key) {
        if (entry->next) return entry->next->key;
        return FirstKeyFrom(table, bucket + 1);
      }
    }
  }
  // Key 0 starts the walk; a key that is gone starts it again.
  return FirstKeyFrom(table, 0);
}

uint32_t HashInsertNewKey(HashTable* table, HashValue value) {
  if (!table) return 0;
  uint32_t remembered = table->keyCounter;
  // A restored counter of 0 is never reached again, so the round is also bounded by its length.
  for (uint32_t tries = 0; tries < kHighestKey; ++tries) {
    uint32_t key = table->keyCounter + 1;
    if (key > kHighestKey) key = 1;
    table->keyCounter = key;
    if (!HashLookup(table, key)) return HashInsert(table, key, value) ? key : 0;
    if (key == remembered) return 0;  // came round: every key is taken
  }
  return 0;
}

uint32_t HashCount(const HashTable* table) { return table ? table->entryCount : 0; }

uint32_t HashGetKeyCounter(const HashTable* table) { return table ? table->keyCounter : 0; }

void HashSetKeyCounter(HashTable* table, uint32_t counter) {
  if (!table) return;
  if (counter > kHighestKey) counter = counter % (kHighestKey - 1) + 1;
  table->keyCounter = counter;
}

void SortedListInit(PriorityList* list) {
  list->head.next = &list->tail;
  list->head.prev = nullptr;
  list->head.priority = 0;
  list->tail.next = nullptr;
  list->tail.prev = &list->head;
  list->tail.priority = 0;
}

void SortedListInsert(PriorityList* list, PriorityNode* node) {
  PriorityNode* at = list->head.next;
  while (at != &list->tail && at->priority > node->priority) at = at->next;
  node->next = at;
  node->prev = at->prev;
  at->prev->next = node;
  at->prev = node;
}

void SortedListResort(PriorityList* list) {
  PriorityNode* node = list->head.next;
  while (node != &list->tail) {
    PriorityNode* before = node->prev;
    if (before != &list->head && node->priority > before->priority) {
      SortedListInsert(list, ListUnlink(node));
      node = before;
    }
    node = node->next;
  }
}

PriorityNode* ListUnlink(PriorityNode* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  return node;
}

bool IdListContains(const IdList* list, uint32_t value) {
  if (!list) return false;
  const uint32_t* values = list->values;
  for (uint32_t i = 0; i < list->count; ++i) {
    if (values[i] == value) return true;
  }
  return false;
}
