// Arrays, tables, string objects and the string pool. Arrays may be planned without an element
// block (materialised on first in-range access) and grow by eight slots only on insertion;
// tables are chained hashes over integer and text keys that double their buckets at four
// entries per bucket, with their entries carved from blocks the table owns. Every operation checks the container and the index before touching a
// block, and string-pool texts are never read past the pool's end.
#include "script/containers.h"

#include <algorithm>
#include <cstring>

#include "core/hash_table.h"
#include "core/memory.h"
#include "script/engine.h"

// ---------------------------------------------------------------------------------------------
// String pool

const char* SB_String(const ScriptEngine* engine, uint32_t id) {
  if (id == 0) return "SB_String(0)";
  if (!engine || !engine->stringPool || id >= engine->stringPoolSize) return " ";
  const char* text = engine->stringPool + id;
  // A pool whose last text lacks its NUL must not be read past its end.
  if (!std::memchr(text, 0, engine->stringPoolSize - id)) return " ";
  return text;
}

static int32_t CompareBytes(const char* a, const char* b) {
  int c = std::strcmp(a, b);  // strcmp compares as unsigned char
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int32_t CompareTextToPoolString(const ScriptEngine* engine, const char* text, uint32_t id) {
  return CompareBytes(text, SB_String(engine, id));
}

int32_t CompareTextToMethodName(const ScriptEngine* engine, const char* text, const MethodRecord* method) {
  return CompareBytes(text, SB_String(engine, method->name));
}

int32_t CompareMethodNames(const ScriptEngine* engine, const MethodRecord* a, const MethodRecord* b) {
  return CompareBytes(SB_String(engine, a->name), SB_String(engine, b->name));
}

// ---------------------------------------------------------------------------------------------
// Arrays

static ScriptArray* ArrayOf(const ScriptValue* value) {
  return value && value->type == kValueArray ? value->array : nullptr;
}

static ScriptValue* AllocElements(uint32_t capacity) {
  return PoolAllocArray<ScriptValue>(capacity, kNominalValueSize, kPoolElements, gScriptEngine);
}

static void FreeElements(ScriptValue* elements, uint32_t capacity) {
  PoolFree(kPoolElements, elements, gScriptEngine, capacity * kNominalValueSize);
}

// Gives a planned array its block, every planned element integer 0. False on failure, the
// array still planned.
static bool Materialise(ScriptArray* array) {
  uint32_t n = static_cast<uint32_t>(-array->size);
  if (array->capacity < n) array->capacity = n;
  ScriptValue* elements = AllocElements(array->capacity);
  if (!elements) return false;
  for (uint32_t k = 0; k < n; ++k) SetValueInt(&elements[k], 0);
  array->elements = elements;
  array->size = static_cast<int32_t>(n);
  return true;
}

ScriptArray* AllocArrayValue(ScriptValue* value, int32_t n) {
  if (n < 0) return nullptr;
  ScriptEngine* engine = gScriptEngine;
  ScriptArray* array =
      static_cast<ScriptArray*>(PoolAllocRecord(sizeof(ScriptArray), kNominalArraySize, kPoolArray, engine));
  if (!array) return nullptr;
  array->refCount = 1;
  array->size = -n;
  array->capacity = static_cast<uint32_t>(n);
  array->id = engine && engine->arrays ? HashInsertNewKey(engine->arrays, reinterpret_cast<HashValue>(array)) : 0;
  ReleaseValue(value);
  value->type = kValueArray;
  value->array = array;
  return array;
}

ScriptValue* ArrayElementPtr(ScriptValue* value, int32_t i) {
  ScriptArray* array = ArrayOf(value);
  if (!array || i < 0) return nullptr;
  if (array->size < 0) {
    if (i >= -array->size) return nullptr;
    if (!Materialise(array)) return nullptr;
  }
  if (i >= array->size) return nullptr;
  return &array->elements[i];
}

// Kept out of line: inlined into the helpers below, the compiler cannot tell an element from
// their temporary and warns that they might return the temporary's address.
[[gnu::noinline]] ScriptValue* ArrayWrite(ScriptValue* value, int32_t i, const ScriptValue* src) {
  ScriptValue* element = ArrayElementPtr(value, i);
  if (element) CopyValue(element, src);
  return element;
}

ScriptValue* ArrayWriteInt(ScriptValue* value, int32_t i, int32_t n) {
  ScriptValue temp{};
  SetValueInt(&temp, n);
  return ArrayWrite(value, i, &temp);
}

ScriptValue* ArrayWriteString(ScriptValue* value, int32_t i, const char* text) {
  ScriptValue temp{};
  SetValueString(&temp, text);
  ScriptValue* element = ArrayWrite(value, i, &temp);
  ReleaseValue(&temp);
  return element;
}

ScriptValue* ArrayWriteStringN(ScriptValue* value, int32_t i, const char* text, int32_t length) {
  ScriptValue temp{};
  SetValueStringN(&temp, text, length);
  ScriptValue* element = ArrayWrite(value, i, &temp);
  ReleaseValue(&temp);
  return element;
}

int32_t ArrayInsert(ScriptValue* value, int32_t i, const ScriptValue* src) {
  ScriptArray* array = ArrayOf(value);
  if (!array) return -1;
  if (array->size <= 0) {
    int32_t n = -array->size;
    if (i < 0) i = n;
    if (i > n) return -1;
    // A planned array just plans one more element and materialises through the write.
    array->size = -(n + 1);
    array->capacity = static_cast<uint32_t>(n + 1);
    if (!ArrayWrite(value, i, src)) return -1;
    return 0;
  }
  int32_t s = array->size;
  if (i < 0) i = s;
  if (i > s) return -1;
  // src may be an element of this very array: take the copy before anything moves.
  ScriptValue incoming{};
  CopyValue(&incoming, src);
  if (static_cast<uint32_t>(s) + 1 > array->capacity) {
    uint32_t capacity = array->capacity + kArrayGrowStep;
    ScriptValue* elements = AllocElements(capacity);
    if (!elements) {
      ReleaseValue(&incoming);
      return -1;
    }
    std::memcpy(elements, array->elements, sizeof(ScriptValue) * static_cast<size_t>(i));
    std::memcpy(elements + i + 1, array->elements + i, sizeof(ScriptValue) * static_cast<size_t>(s - i));
    FreeElements(array->elements, array->capacity);
    array->elements = elements;
    array->capacity = capacity;
  } else {
    std::memmove(array->elements + i + 1, array->elements + i, sizeof(ScriptValue) * static_cast<size_t>(s - i));
  }
  MoveValue(&array->elements[i], &incoming);
  array->size = s + 1;
  return 0;
}

int32_t ArrayRemove(ScriptValue* value, int32_t i) {
  ScriptArray* array = ArrayOf(value);
  if (!array || i < 0) return -1;
  if (array->size < 0) {
    int32_t n = -array->size;
    if (i >= n) return -1;
    array->size = -(n - 1);
    array->capacity = static_cast<uint32_t>(n - 1);
    return 0;
  }
  int32_t s = array->size;
  if (i >= s) return -1;
  if (s == 1) {
    ScriptValue* elements = array->elements;
    uint32_t capacity = array->capacity;
    array->elements = nullptr;
    array->size = 0;
    array->capacity = 0;
    ReleaseValue(&elements[0]);
    FreeElements(elements, capacity);
    return 0;
  }
  ScriptValue removed = array->elements[i];
  std::memmove(array->elements + i, array->elements + i + 1, sizeof(ScriptValue) * static_cast<size_t>(s - 1 - i));
  array->elements[s - 1].type = kValueNone;
  array->size = s - 1;
  // Released after the array is consistent again: the release may reach this array.
  ReleaseValue(&removed);
  return 0;
}

int32_t ArrayResize(ScriptValue* value, int32_t n) {
  ScriptArray* array = ArrayOf(value);
  if (!array || n < 0) return -1;
  if (array->size < 0) {
    array->size = -n;
    array->capacity = static_cast<uint32_t>(n);
    return n;
  }
  int32_t s = array->size;
  if (n == s) return n;
  ScriptValue* old = array->elements;
  uint32_t oldCapacity = array->capacity;
  ScriptValue* elements = nullptr;
  if (n > 0) {
    elements = AllocElements(static_cast<uint32_t>(n));
    if (!elements) return -1;
    int32_t common = std::min(n, s);
    if (common > 0) std::memcpy(elements, old, sizeof(ScriptValue) * static_cast<size_t>(common));
    for (int32_t k = common; k < n; ++k) SetValueInt(&elements[k], 0);
  }
  array->elements = elements;
  array->size = n;
  array->capacity = static_cast<uint32_t>(n);
  for (int32_t k = n; k < s; ++k) ReleaseValue(&old[k]);
  if (old) FreeElements(old, oldCapacity);
  return n;
}

namespace {
struct SortItem {
  int32_t key;
  const char* name;
  ScriptValue value;
};
}  // namespace

// ASCII letters compare without regard to case; every other byte as itself, unsigned.
static int32_t CompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

static void SortRange(int32_t first, ScriptValue* array, const ScriptValue* keys, int32_t last, int32_t descending,
                      bool byName) {
  ScriptArray* a = ArrayOf(array);
  ScriptArray* k = ArrayOf(keys);
  if (!a || !k || a->size <= 0 || k->size <= 0) return;
  if (first < 0 || first >= last || last >= a->size || last >= k->size) return;
  size_t n = static_cast<size_t>(last - first) + 1;
  SortItem* items = static_cast<SortItem*>(MemCalloc(n * sizeof(SortItem)));
  if (!items) return;
  for (size_t j = 0; j < n; ++j) {
    const ScriptValue* key = &k->elements[first + j];
    items[j].key = key->i;
    const char* name = byName ? GetValueString(key) : nullptr;
    items[j].name = name ? name : "?";
  }
  // Moved out only after every key is read: keys may be the very array being sorted.
  for (size_t j = 0; j < n; ++j) MoveValue(&items[j].value, &a->elements[first + j]);
  // Keys compare, never subtract: a difference overflows for keys more than 2^31 apart.
  auto less = [descending, byName](const SortItem& x, const SortItem& y) {
    int32_t c = byName ? CompareNoCase(x.name, y.name) : (x.key < y.key ? -1 : x.key > y.key ? 1 : 0);
    return descending ? c > 0 : c < 0;
  };
  std::stable_sort(items, items + n, less);
  for (size_t j = 0; j < n; ++j) MoveValue(&a->elements[first + j], &items[j].value);
  MemFreeIfSet(items);
}

void ArraySortByKeys(int32_t first, ScriptValue* array, const ScriptValue* keys, int32_t last, int32_t descending) {
  SortRange(first, array, keys, last, descending, false);
}

void ArraySortByNames(int32_t first, ScriptValue* array, const ScriptValue* keys, int32_t last, int32_t descending) {
  SortRange(first, array, keys, last, descending, true);
}

void FreeArrayRecord(ScriptArray* array) {
  ScriptEngine* engine = gScriptEngine;
  if (engine && engine->arrays) HashRemove(engine->arrays, array->id);
  ScriptValue* elements = array->elements;
  if (elements) {
    for (int32_t k = 0; k < array->size; ++k) ReleaseValue(&elements[k]);
    FreeElements(elements, array->capacity);
  }
  PoolFree(kPoolArray, array, engine, kNominalArraySize);
}

// ---------------------------------------------------------------------------------------------
// Tables

static ScriptTable* TableOf(const ScriptValue* value) {
  return value && value->type == kValueTable ? value->table : nullptr;
}

ScriptTable* AllocTableValue(ScriptValue* value) {
  ScriptEngine* engine = gScriptEngine;
  ScriptTable* table =
      static_cast<ScriptTable*>(PoolAllocRecord(sizeof(ScriptTable), kNominalTableSize, kPoolTable, engine));
  ReleaseValue(value);
  value->type = kValueTable;
  value->table = table;
  if (!table) return nullptr;
  table->refCount = 1;
  table->bucketCount = kTableInitialBuckets;
  table->nextIntKey = 1;
  table->id = engine && engine->tables ? HashInsertNewKey(engine->tables, reinterpret_cast<HashValue>(table)) : 0;
  return table;
}

uint32_t TableHash(const ScriptValue* key, uint32_t bucketCount) {
  uint32_t mask = bucketCount - 1;
  if (key->type == kValueInt) return key->u & mask;
  if (ValueIsText(key)) {
    const char* text = GetValueString(key);
    if (!text) return 0;
    uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) h = 2 * h + *p;
    return h & mask;
  }
  return 0;
}

// Integer keys match by payload, text keys (pool id or string object) by their bytes; no other
// key type ever matches.
static bool KeysMatch(const ScriptValue* entryKey, const ScriptValue* key) {
  if (key->type == kValueInt) return entryKey->type == kValueInt && entryKey->i == key->i;
  if (ValueIsText(key) && ValueIsText(entryKey)) {
    const char* a = GetValueString(entryKey);
    const char* b = GetValueString(key);
    return a && b && std::strcmp(a, b) == 0;
  }
  return false;
}

// The link that points at the key's entry, or at the end of its chain; null without buckets.
static TableEntry** FindLink(const ScriptTable* table, const ScriptValue* key) {
  if (!table->buckets) return nullptr;
  if (key->type == kValueInt) {
    // The common key: its bucket and its match need no text, so the walk stays this short.
    int32_t k = key->i;
    TableEntry** link = &table->buckets[key->u & (table->bucketCount - 1)];
    while (*link && ((*link)->key.type != kValueInt || (*link)->key.i != k)) link = &(*link)->next;
    return link;
  }
  TableEntry** link = &table->buckets[TableHash(key, table->bucketCount)];
  while (*link && !KeysMatch(&(*link)->key, key)) link = &(*link)->next;
  return link;
}

TableEntry* TableFindEntry(const ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !key) return nullptr;
  TableEntry** link = FindLink(t, key);
  return link ? *link : nullptr;
}

// Entries are carved from blocks their table owns rather than each being its own heap block: an
// insertion then costs no heap call, and a table goes with one free per block. Every entry is
// still counted (and can still fail) as its own record. The blocks double from a few entries up
// to a limit, so a small table holds little and a large one wastes at most one block.
struct TableEntryBlock {
  TableEntryBlock* next;
  uint32_t capacity;
  uint32_t used;
};
constexpr uint32_t kEntryBlockFirst = 4;
constexpr uint32_t kEntryBlockLargest = 256;

static TableEntry* BlockEntries(TableEntryBlock* block) { return reinterpret_cast<TableEntry*>(block + 1); }

// A zeroed entry counted as its own record; null (nothing counted) when none may be had.
static TableEntry* NewEntry(ScriptEngine* engine, ScriptTable* table) {
  TableEntry* entry = table->freeEntries;
  if (!entry) {
    TableEntryBlock* block = table->entryBlocks;
    if (!block || block->used == block->capacity) {
      const uint32_t capacity = block ? std::min(2 * block->capacity, kEntryBlockLargest) : kEntryBlockFirst;
      TableEntryBlock* fresh = nullptr;
      if (capacity == kEntryBlockLargest && engine && engine->spareEntryBlocks) {
        fresh = engine->spareEntryBlocks;
        engine->spareEntryBlocks = fresh->next;
      } else {
        fresh = static_cast<TableEntryBlock*>(
            PoolAllocCarrier(sizeof(TableEntryBlock) + size_t{capacity} * sizeof(TableEntry)));
        if (!fresh) return nullptr;
      }
      fresh->next = block;
      fresh->capacity = capacity;
      fresh->used = 0;
      table->entryBlocks = block = fresh;
    }
    if (!PoolCountCarvedRecord(kNominalEntrySize, kPoolEntry, engine)) return nullptr;
    entry = &BlockEntries(block)[block->used++];
    *entry = TableEntry{};
    return entry;
  }
  if (!PoolCountCarvedRecord(kNominalEntrySize, kPoolEntry, engine)) return nullptr;
  table->freeEntries = entry->next;
  *entry = TableEntry{};
  return entry;
}

// Releases what the entry holds and uncounts it; its memory stays with its block.
static void ReleaseEntry(ScriptEngine* engine, TableEntry* entry) {
  ReleaseValue(&entry->key);
  ReleaseValue(&entry->data);
  PoolUncountCarvedRecord(kPoolEntry, engine, kNominalEntrySize);
}

// Blocks of the largest size are kept by the engine for the next large table; the others go.
static void FreeEntryBlocks(ScriptEngine* engine, TableEntryBlock* block) {
  while (block) {
    TableEntryBlock* next = block->next;
    if (engine && block->capacity == kEntryBlockLargest) {
      block->next = engine->spareEntryBlocks;
      engine->spareEntryBlocks = block;
    } else {
      PoolFreeCarrier(block);
    }
    block = next;
  }
}

void FreeSpareTableBlocks(ScriptEngine* engine) {
  if (!engine) return;
  while (TableEntryBlock* block = engine->spareEntryBlocks) {
    engine->spareEntryBlocks = block->next;
    PoolFreeCarrier(block);
  }
}

static TableEntry** AllocBuckets(ScriptEngine* engine, uint32_t count) {
  return PoolAllocArray<TableEntry*>(count, kNominalBucketSize, kPoolBuckets, engine);
}

int32_t TableAdd(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data) {
  // Only integer and text keys are ever found again. An entry under any other key could only be
  // reached by walking the table, and a walk that goes on from such a key starts over for ever.
  if (key->type != kValueInt && key->type != kValuePoolString && key->type != kValueString) return 0;
  if (!table->buckets) {
    table->buckets = AllocBuckets(engine, table->bucketCount);
    if (!table->buckets) return 0;
  }
  TableEntry** link = FindLink(table, key);
  if (*link) {
    CopyValue(&(*link)->data, data);
    return 0;
  }
  TableEntry* entry = NewEntry(engine, table);
  if (!entry) return 0;
  CopyValue(&entry->key, key);
  CopyValue(&entry->data, data);
  // The copies cannot touch this table's chains (it is referenced), so the link still holds.
  *link = entry;
  table->count++;
  return 1;
}

int32_t TableSet(ScriptValue* table, const ScriptValue* key, const ScriptValue* data) {
  ScriptTable* t = TableOf(table);
  if (!t) return 0;
  ScriptEngine* engine = gScriptEngine;
  TableAdd(engine, t, key, data);
  if (t->count >= kTableLoadFactor * t->bucketCount) TableRehash(engine, t, 2 * t->bucketCount);
  return 1;
}

void TableRehash(ScriptEngine* engine, ScriptTable* table, uint32_t bucketCount) {
  if (!table->buckets) {
    table->bucketCount = bucketCount;
    return;
  }
  TableEntry** buckets = AllocBuckets(engine, bucketCount);
  if (!buckets) return;  // the table keeps working with its old buckets
  uint32_t mask = bucketCount - 1;
  for (uint32_t b = 0; b < table->bucketCount; ++b) {
    TableEntry* entry = table->buckets[b];
    while (entry) {
      TableEntry* next = entry->next;
      const ScriptValue* key = &entry->key;
      TableEntry** head = &buckets[key->type == kValueInt ? key->u & mask : TableHash(key, bucketCount)];
      entry->next = *head;
      *head = entry;
      entry = next;
    }
  }
  PoolFree(kPoolBuckets, table->buckets, engine, table->bucketCount * kNominalBucketSize);
  table->buckets = buckets;
  table->bucketCount = bucketCount;
}

int32_t TableRemove(ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !key) return 0;
  TableEntry** link = FindLink(t, key);
  if (!link || !*link) return 0;
  TableEntry* entry = *link;
  *link = entry->next;
  t->count--;
  ReleaseEntry(gScriptEngine, entry);
  if (t->count == 0) {
    // Nothing lives in the blocks any more: they go now rather than with the table.
    FreeEntryBlocks(gScriptEngine, t->entryBlocks);
    t->entryBlocks = nullptr;
    t->freeEntries = nullptr;
  } else {
    entry->next = t->freeEntries;
    t->freeEntries = entry;
  }
  return 1;
}

TableEntry* TableNext(const ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !t->buckets) return nullptr;
  uint32_t start = 0;
  if (key) {
    TableEntry** link = FindLink(t, key);
    if (link && *link) {
      if ((*link)->next) return (*link)->next;
      start = TableHash(key, t->bucketCount) + 1;
    }
  }
  for (uint32_t b = start; b < t->bucketCount; ++b) {
    if (t->buckets[b]) return t->buckets[b];
  }
  return nullptr;
}

void TableClear(ScriptTable* table) {
  ScriptEngine* engine = gScriptEngine;
  TableEntry** buckets = table->buckets;
  uint32_t bucketCount = table->bucketCount;
  TableEntryBlock* blocks = table->entryBlocks;
  // Detached first, so a release below can never walk a half-freed chain.
  table->buckets = nullptr;
  table->bucketCount = kTableInitialBuckets;
  table->nextIntKey = 1;
  table->count = 0;
  table->entryBlocks = nullptr;
  table->freeEntries = nullptr;
  if (buckets) {
    for (uint32_t b = 0; b < bucketCount; ++b) {
      TableEntry* entry = buckets[b];
      while (entry) {
        TableEntry* next = entry->next;
        ReleaseEntry(engine, entry);
        entry = next;
      }
    }
    PoolFree(kPoolBuckets, buckets, engine, bucketCount * kNominalBucketSize);
  }
  FreeEntryBlocks(engine, blocks);
}

void FreeTableRecord(ScriptTable* table) {
  ScriptEngine* engine = gScriptEngine;
  if (engine && engine->tables) HashRemove(engine->tables, table->id);
  TableClear(table);
  PoolFree(kPoolTable, table, engine, kNominalTableSize);
}

// ---------------------------------------------------------------------------------------------
// String objects

void FreeStringObject(StringObject* string) {
  ScriptEngine* engine = gScriptEngine;
  if (engine && engine->strings) HashRemove(engine->strings, string->id);
  MemFree(string->text, string->textBytes, 0);
  PoolFree(kPoolString, string, engine, kNominalStringObjectSize);
}
