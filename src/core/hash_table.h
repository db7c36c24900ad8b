// The one associative container of the system: a chained hash table from 32-bit keys (never 0)
// to pointer-wide values, handing out its own keys from a counter. Beside it: a priority-ordered
// doubly linked list and a counted word list.
#pragma once

#include <cstdint>

using HashValue = uintptr_t;  // a number or a pointer

struct HashEntry {
  HashEntry* next;
  uint32_t key;
  HashValue value;
};

struct HashTable {
  HashEntry** buckets;  // null until the first insertion
  uint32_t bucketCount; // power of two, 8 at creation
  uint32_t keyCounter;  // last key handed out, 1 at creation
  uint32_t entryCount;
};

HashTable* HashCreate();
void HashDestroy(HashTable* table);
int HashInsert(HashTable* table, uint32_t key, HashValue value);
HashEntry* HashLookup(const HashTable* table, uint32_t key);
HashValue HashRemove(HashTable* table, uint32_t key);
uint32_t HashNextKey(const HashTable* table, uint32_t key);
uint32_t HashInsertNewKey(HashTable* table, HashValue value);
uint32_t HashCount(const HashTable* table);
uint32_t HashGetKeyCounter(const HashTable* table);
void HashSetKeyCounter(HashTable* table, uint32_t counter);

// Value of a key, or fallback when absent: the lookup most callers write inline. The walk is the
// table's contract (bucket = key & (count - 1), then the chain), so hot paths skip the call.
inline HashValue HashGet(const HashTable* table, uint32_t key, HashValue fallback = 0) {
  if (!table || !table->buckets) return fallback;
  for (const HashEntry* e = table->buckets[key & (table->bucketCount - 1)]; e; e = e->next) {
    if (e->key == key) return e->value;
  }
  return fallback;
}

struct PriorityNode {
  PriorityNode* next;
  PriorityNode* prev;
  int32_t priority;
};
// Two sentinels: head.next is the first node and stands as its previous; tail.next is null and
// tail.prev the last node. Nodes stand between them in descending priority. A list is empty when
// head.next is &tail.
struct PriorityList {
  PriorityNode head;
  PriorityNode tail;
};
void SortedListInit(PriorityList* list);
void SortedListInsert(PriorityList* list, PriorityNode* node);
void SortedListResort(PriorityList* list);
PriorityNode* ListUnlink(PriorityNode* node);

struct IdList {
  uint32_t count;
  uint32_t values[1];  // count entries follow
};
bool IdListContains(const IdList* list, uint32_t value);
