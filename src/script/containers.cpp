// Arrays, tables, string objects and the string pool. Arrays may be planned without an element
// block (materialised on first in-range access) and grow by eight slots only on insertion;
// tables are chained hashes over integer and text keys that double their buckets at four
// entries per bucket, with their entries carved from chunks the table owns; a table filled
// with keys 0, 1, 2 ... in order finds them by number and builds its chains only when
// something needs them (a walk, a removal, another key). Every operation
// checks the container and the index before touching a block, and string-pool texts are never
// read past the pool's end.
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
  table->unchained = true;
  table->id = engine && engine->tables ? HashInsertNewKey(engine->tables, reinterpret_cast<HashValue>(table)) : 0;
  return table;
}

static uint32_t TextHash(const char* text) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) h = 2 * h + *p;
  return h;
}

uint32_t TableHash(const ScriptValue* key, uint32_t bucketCount) {
  uint32_t mask = bucketCount - 1;
  if (key->type == kValueInt) return key->u & mask;
  if (ValueIsText(key)) {
    const char* text = GetValueString(key);
    return text ? TextHash(text) & mask : 0;
  }
  return 0;
}

// The bucket of an entry's key.
static uint32_t EntryBucket(const TableEntry* entry, uint32_t bucketCount) {
  if (entry->keyType == kValueInt) return uint32_t(entry->keyBits) & (bucketCount - 1);
  const ScriptValue key = TableEntryKey(entry);
  return TableHash(&key, bucketCount);
}

// Integer keys match by payload, text keys (pool id or string object) by their bytes; no other
// key type ever matches.
static bool TextKeyMatches(const TableEntry* entry, const char* keyText) {
  if (entry->keyType != kValuePoolString && entry->keyType != kValueString) return false;
  const ScriptValue entryKey = TableEntryKey(entry);
  const char* text = GetValueString(&entryKey);
  return text && std::strcmp(text, keyText) == 0;
}

// The first entry of a chain (number + 1) from its last.
static uint32_t ChainFirst(const ScriptTable* table, uint32_t last) {
  return last ? TableEntryAt(table, last - 1)->next : 0;
}

// The entry holding a key (number + 1, 0 when absent), with the key's bucket. The table has
// buckets.
static uint32_t FindKey(const ScriptTable* table, const ScriptValue* key, uint32_t* bucket) {
  if (key->type == kValueInt) {
    *bucket = key->u & (table->bucketCount - 1);
    return TableFindIntLink(table, key->i);
  }
  const char* text = ValueIsText(key) ? GetValueString(key) : nullptr;
  *bucket = text ? TextHash(text) & (table->bucketCount - 1) : 0;
  const uint32_t last = table->buckets[*bucket];
  if (!text || !last) return 0;
  uint32_t link = last;
  do {
    link = TableEntryAt(table, link - 1)->next;
    if (TextKeyMatches(TableEntryAt(table, link - 1), text)) return link;
  } while (link != last);
  return 0;
}

TableEntry* TableFindChainedIntEntry(const ScriptTable* table, int32_t key) {
  const uint32_t link = TableFindIntLink(table, key);
  return link ? TableEntryAt(table, link - 1) : nullptr;
}

TableEntry* TableFindEntry(const ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !key) return nullptr;
  if (t->unchained) return key->type == kValueInt ? TableFindIntEntry(t, key->i) : nullptr;
  if (!t->buckets) return nullptr;
  uint32_t bucket = 0;
  const uint32_t link = FindKey(t, key, &bucket);
  return link ? TableEntryAt(t, link - 1) : nullptr;
}

// Entries are carved from chunks their table owns rather than each being its own heap block: an
// insertion then costs no heap call, and a table goes with one free per chunk. Every entry is
// still counted (and can still fail) as its own record. The first chunk grows from a few entries
// to a whole chunk, so a small table holds little and a large one wastes at most one chunk.
// Whole chunks a table lets go are kept by the engine for the next large table (taking fresh
// pages from the system and touching them is what a large table costs most); they are linked
// through their first bytes while they wait.
struct TableEntryBlock {
  TableEntryBlock* next;
};
constexpr uint32_t kFirstChunkEntries = 4;
constexpr size_t kChunkBytes = sizeof(TableEntry) * kTableChunkEntries;

static TableEntry* TakeWholeChunk(ScriptEngine* engine) {
  if (engine && engine->spareEntryBlocks) {
    TableEntryBlock* spare = engine->spareEntryBlocks;
    engine->spareEntryBlocks = spare->next;
    return reinterpret_cast<TableEntry*>(spare);
  }
  return static_cast<TableEntry*>(PoolAllocCarrier(kChunkBytes));
}

static void LetGoChunk(ScriptEngine* engine, TableEntry* chunk, uint32_t entries) {
  if (!chunk) return;
  if (engine && entries == kTableChunkEntries) {
    TableEntryBlock* spare = reinterpret_cast<TableEntryBlock*>(chunk);
    spare->next = engine->spareEntryBlocks;
    engine->spareEntryBlocks = spare;
  } else {
    PoolFreeCarrier(chunk);
  }
}

void FreeSpareTableBlocks(ScriptEngine* engine) {
  if (!engine) return;
  while (TableEntryBlock* block = engine->spareEntryBlocks) {
    engine->spareEntryBlocks = block->next;
    PoolFreeCarrier(block);
  }
}

// Room for one more entry: the first chunk doubled, or one more whole chunk. False on failure,
// the table unchanged.
static bool GrowEntries(ScriptEngine* engine, ScriptTable* table) {
  if (table->capacity < kTableChunkEntries) {
    const uint32_t capacity = table->capacity ? 2 * table->capacity : kFirstChunkEntries;
    TableEntry* chunk;
    if (capacity == kTableChunkEntries && engine && engine->spareEntryBlocks) {
      chunk = TakeWholeChunk(engine);
      if (table->used) std::memcpy(chunk, table->firstChunk, sizeof(TableEntry) * table->used);
      PoolFreeCarrier(table->firstChunk);
    } else {
      chunk = static_cast<TableEntry*>(PoolResizeCarrier(table->firstChunk, sizeof(TableEntry) * capacity));
      if (!chunk) return false;
    }
    table->firstChunk = chunk;
    table->capacity = capacity;
    return true;
  }
  const uint32_t chunkCount = table->capacity >> kTableChunkShift;
  if (chunkCount == 0xFFFFFFFFu >> kTableChunkShift) return false;
  if (chunkCount >= table->chunkSlots) {
    const uint32_t slots = chunkCount < 4 ? 4 : 2 * chunkCount;
    TableEntry** chunks = static_cast<TableEntry**>(PoolResizeCarrier(table->chunks, sizeof(TableEntry*) * slots));
    if (!chunks) return false;
    chunks[0] = table->firstChunk;
    table->chunks = chunks;
    table->chunkSlots = slots;
  }
  TableEntry* chunk = TakeWholeChunk(engine);
  if (!chunk) return false;
  table->chunks[chunkCount] = chunk;
  table->capacity += kTableChunkEntries;
  return true;
}

// A new entry counted as its own record, key and data empty: its number + 1, or 0 (nothing
// counted) when none may be had.
static uint32_t NewEntry(ScriptEngine* engine, ScriptTable* table) {
  uint32_t n;
  if (table->freeEntries) {
    n = table->freeEntries - 1;
    if (!PoolCountCarvedRecord(kNominalEntrySize, kPoolEntry, engine)) return 0;
    table->freeEntries = TableEntryAt(table, n)->next;
  } else {
    if (table->used == table->capacity && !GrowEntries(engine, table)) return 0;
    if (!PoolCountCarvedRecord(kNominalEntrySize, kPoolEntry, engine)) return 0;
    n = table->used++;
  }
  TableEntry* entry = TableEntryAt(table, n);
  entry->next = 0;
  entry->keyType = kValueNone;
  entry->dataType = kValueNone;
  return n + 1;
}

// Every chunk back (whole ones to the engine): the table without entries.
static void FreeEntryChunks(ScriptEngine* engine, ScriptTable* table) {
  if (table->chunks) {
    const uint32_t chunkCount = table->capacity >> kTableChunkShift;
    for (uint32_t k = 0; k < chunkCount; ++k) LetGoChunk(engine, table->chunks[k], kTableChunkEntries);
    PoolFreeCarrier(table->chunks);
  } else {
    LetGoChunk(engine, table->firstChunk, table->capacity);
  }
  table->firstChunk = nullptr;
  table->chunks = nullptr;
  table->chunkSlots = 0;
  table->capacity = 0;
  table->used = 0;
  table->freeEntries = 0;
}

// Copies src into an entry's data slot (its old data released).
static void SetEntryData(ScriptTable* table, TableEntry* entry, const ScriptValue* src) {
  if (entry->dataType < kValueFirstOwning && src && src->type >= kValueInt && src->type <= kValueCodeAddress) {
    entry->dataType = src->type;
    entry->dataBits = src->bits;
    return;
  }
  table->mayOwn = true;
  ScriptValue data = TableEntryData(entry);
  CopyValue(&data, src);
  entry->dataType = data.type;
  entry->dataBits = data.bits;
}

static uint32_t* AllocBuckets(ScriptEngine* engine, uint32_t count) {
  return PoolAllocArray<uint32_t>(count, kNominalBucketSize, kPoolBuckets, engine);
}

// Puts an entry at the end of the chain whose last entry is `last` (0: an empty chain); gives
// the chain's new last entry.
static uint32_t AppendToChain(ScriptTable* table, uint32_t last, uint32_t link) {
  TableEntry* entry = TableEntryAt(table, link - 1);
  if (!last) {
    entry->next = link;
  } else {
    TableEntry* tail = TableEntryAt(table, last - 1);
    entry->next = tail->next;
    tail->next = link;
  }
  return link;
}

// Puts an entry at the head of the chain whose last entry is `last`; gives its new last entry.
static uint32_t PushOntoChain(ScriptTable* table, uint32_t last, uint32_t link) {
  AppendToChain(table, last, link);
  return last ? last : link;
}

static bool BuildChains(ScriptTable* table);
static bool AppendNumbered(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data);

int32_t TableAdd(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data) {
  // Only integer and text keys are ever found again. An entry under any other key could only be
  // reached by walking the table, and a walk that goes on from such a key starts over for ever.
  if (key->type != kValueInt && key->type != kValuePoolString && key->type != kValueString) return 0;
  if (!BuildChains(table)) return 0;
  if (!table->buckets) {
    table->buckets = AllocBuckets(engine, table->bucketCount);
    if (!table->buckets) return 0;
  }
  uint32_t bucket = 0;
  const uint32_t found = FindKey(table, key, &bucket);
  if (found) {
    SetEntryData(table, TableEntryAt(table, found - 1), data);
    return 0;
  }
  const uint32_t link = NewEntry(engine, table);
  if (!link) return 0;
  // Taken after the new entry: growing the first chunk may have moved the entries. The copies
  // cannot touch this table (it is referenced), so the bucket still holds.
  TableEntry* entry = TableEntryAt(table, link - 1);
  ScriptValue keyCopy{};
  CopyValue(&keyCopy, key);
  entry->keyType = keyCopy.type;
  entry->keyBits = keyCopy.bits;
  if (keyCopy.type >= kValueFirstOwning) table->mayOwn = true;
  SetEntryData(table, entry, data);
  table->buckets[bucket] = AppendToChain(table, table->buckets[bucket], link);
  table->count++;
  return 1;
}

int32_t TableSet(ScriptValue* table, const ScriptValue* key, const ScriptValue* data) {
  ScriptTable* t = TableOf(table);
  if (!t) return 0;
  ScriptEngine* engine = gScriptEngine;
  if (TableSetNumberedInline(t, key, data, engine ? &engine->statistics : nullptr)) return 1;
  if (t->unchained && key->type == kValueInt && key->u <= t->used) {
    if (key->u < t->used) SetEntryData(t, TableEntryAt(t, key->u), data);
    else AppendNumbered(engine, t, key, data);
    return 1;
  }
  TableAdd(engine, t, key, data);
  if (t->count >= kTableLoadFactor * t->bucketCount) TableRehash(engine, t, 2 * t->bucketCount);
  return 1;
}

// Takes every entry of the old buckets, bucket by bucket and along each chain, and pushes it
// onto the head of its bucket among `count` (newLasts, all empty at first).
static void Rechain(ScriptTable* table, const uint32_t* oldLasts, uint32_t oldCount, uint32_t* newLasts,
                    uint32_t count) {
  for (uint32_t b = 0; b < oldCount; ++b) {
    const uint32_t last = oldLasts[b];
    if (!last) continue;
    uint32_t link = ChainFirst(table, last);
    for (;;) {
      TableEntry* entry = TableEntryAt(table, link - 1);
      const uint32_t next = entry->next;
      uint32_t& target = newLasts[EntryBucket(entry, count)];
      target = PushOntoChain(table, target, link);
      if (link == last) break;
      link = next;
    }
  }
}

// Doubling in place: old bucket b only feeds new buckets b and b + old count, so each old chain
// is split into two before the next is read, as a rebuild bucket by bucket would order them. The
// bucket array already has room for twice the count.
static void SplitChains(ScriptTable* table) {
  const uint32_t old = table->bucketCount;
  uint32_t* buckets = table->buckets;
  for (uint32_t b = 0; b < old; ++b) {
    const uint32_t last = buckets[b];
    uint32_t split[2] = {0, 0};
    if (last) {
      uint32_t link = ChainFirst(table, last);
      for (;;) {
        TableEntry* entry = TableEntryAt(table, link - 1);
        const uint32_t next = entry->next;
        uint32_t& target = split[EntryBucket(entry, 2 * old) == b ? 0 : 1];
        target = PushOntoChain(table, target, link);
        if (link == last) break;
        link = next;
      }
    }
    buckets[b] = split[0];
    buckets[b + old] = split[1];
  }
  table->bucketCount = 2 * old;
}

static bool DoubleBuckets(ScriptEngine* engine, ScriptTable* table) {
  const uint32_t old = table->bucketCount;
  uint32_t* buckets = static_cast<uint32_t*>(PoolResizeRecord(table->buckets, sizeof(uint32_t) * 2 * old,
                                                              old * kNominalBucketSize, 2 * old * kNominalBucketSize,
                                                              kPoolBuckets, engine));
  if (!buckets) return false;
  table->buckets = buckets;
  SplitChains(table);
  return true;
}

// Builds the chains of an unchained table as its insertions left them: each entry appended to
// its key's bucket in the order they were made, from the bucket count of the first insertion on,
// the buckets doubled wherever the count reached four per bucket, up to the count the table
// already has. The buckets were counted all along; only their memory is taken here. False, the
// table still unchained and intact, when that memory may not be had.
static bool BuildChains(ScriptTable* table) {
  if (!table->unchained) return true;
  if (table->used == 0) {
    table->unchained = false;
    return true;
  }
  const uint32_t target = table->bucketCount;
  uint32_t* buckets = static_cast<uint32_t*>(PoolAllocCarrier(sizeof(uint32_t) * target));
  if (!buckets) return false;
  std::memset(buckets, 0, sizeof(uint32_t) * table->firstBucketCount);
  table->buckets = buckets;
  table->bucketCount = table->firstBucketCount;
  table->unchained = false;
  for (uint32_t n = 0; n < table->used; ++n) {
    const uint32_t b = n & (table->bucketCount - 1);
    buckets[b] = AppendToChain(table, buckets[b], n + 1);
    if (n + 1 >= kTableLoadFactor * table->bucketCount && table->bucketCount < target) SplitChains(table);
  }
  return true;
}

// The unchained table's insertion of key `used`: the buckets it would make or double are only
// counted. False (nothing changed) when the entry may not be had.
static bool AppendNumbered(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data) {
  const bool first = table->used == 0;
  if (first) {
    if (uint64_t{table->bucketCount} * kNominalBucketSize > 0x7FFFFFFFu) return false;
    if (!PoolCountCarvedRecord(table->bucketCount * kNominalBucketSize, kPoolBuckets, engine)) return false;
    table->firstBucketCount = table->bucketCount;
  }
  const uint32_t link = NewEntry(engine, table);
  if (!link) {
    if (first) {
      // The buckets stay, as made buckets would: empty ones are given their memory now.
      uint32_t* buckets = static_cast<uint32_t*>(PoolAllocCarrier(sizeof(uint32_t) * table->bucketCount));
      if (!buckets) {
        PoolUncountCarvedRecord(kPoolBuckets, engine, table->bucketCount * kNominalBucketSize);
        return false;
      }
      std::memset(buckets, 0, sizeof(uint32_t) * table->bucketCount);
      table->buckets = buckets;
      table->unchained = false;
    }
    return false;
  }
  TableEntry* entry = TableEntryAt(table, link - 1);
  entry->keyType = kValueInt;
  entry->keyBits = key->bits;
  SetEntryData(table, entry, data);
  table->count++;
  if (table->count >= kTableLoadFactor * table->bucketCount) {
    const uint32_t old = table->bucketCount;
    if (PoolCountResizedRecord(old * kNominalBucketSize, 2 * old * kNominalBucketSize, kPoolBuckets, engine))
      table->bucketCount = 2 * old;
    else
      BuildChains(table);  // the table goes on with its present buckets, as a failed doubling leaves them
  }
  return true;
}

void TableRehash(ScriptEngine* engine, ScriptTable* table, uint32_t bucketCount) {
  if (!table->unchained && !table->buckets) {
    table->bucketCount = bucketCount;
    return;
  }
  if (table->unchained) {
    if (table->used == 0) {
      table->bucketCount = bucketCount;
      return;
    }
    if (!BuildChains(table)) return;
  }
  if (bucketCount == 2 * table->bucketCount) {
    DoubleBuckets(engine, table);  // on failure the table keeps working with its old buckets
    return;
  }
  uint32_t* buckets = AllocBuckets(engine, bucketCount);
  if (!buckets) return;  // the table keeps working with its old buckets
  Rechain(table, table->buckets, table->bucketCount, buckets, bucketCount);
  PoolFree(kPoolBuckets, table->buckets, engine, table->bucketCount * kNominalBucketSize);
  table->buckets = buckets;
  table->bucketCount = bucketCount;
}

// Releases what an entry holds; the entry becomes free (its counting is the caller's).
static void ReleaseEntryValues(TableEntry* entry) {
  ScriptValue key = TableEntryKey(entry), data = TableEntryData(entry);
  entry->keyType = kValueNone;
  entry->dataType = kValueNone;
  ReleaseValue(&key);
  ReleaseValue(&data);
}

int32_t TableRemove(ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !key) return 0;
  if (t->unchained && (!TableFindEntry(table, key) || !BuildChains(t))) return 0;
  if (!t->buckets) return 0;
  uint32_t bucket = 0;
  const uint32_t found = FindKey(t, key, &bucket);
  if (!found) return 0;
  ScriptEngine* engine = gScriptEngine;
  TableEntry* entry = TableEntryAt(t, found - 1);
  // Unlinked through the entry before it in the circle (the last one when it is the first).
  const uint32_t last = t->buckets[bucket];
  uint32_t before = last;
  while (TableEntryAt(t, before - 1)->next != found) before = TableEntryAt(t, before - 1)->next;
  if (before == found) {
    t->buckets[bucket] = 0;
  } else {
    TableEntryAt(t, before - 1)->next = entry->next;
    if (last == found) t->buckets[bucket] = before;
  }
  t->count--;
  // Off the chains before its values go: a release may reach this table again.
  ScriptValue oldKey = TableEntryKey(entry), oldData = TableEntryData(entry);
  entry->keyType = kValueNone;
  entry->dataType = kValueNone;
  PoolUncountCarvedRecord(kPoolEntry, engine, kNominalEntrySize);
  if (t->count == 0) {
    // Nothing lives in the chunks any more: they go now rather than with the table.
    FreeEntryChunks(engine, t);
  } else {
    entry->next = t->freeEntries;
    t->freeEntries = found;
  }
  ReleaseValue(&oldKey);
  ReleaseValue(&oldData);
  return 1;
}

// The first entry of the first non-empty bucket from `bucket` on (number + 1, 0 at the end),
// with that bucket.
static uint32_t FirstFrom(const ScriptTable* table, uint32_t* bucket) {
  for (uint32_t b = *bucket; b < table->bucketCount; ++b) {
    if (table->buckets[b]) {
      *bucket = b;
      return ChainFirst(table, table->buckets[b]);
    }
  }
  *bucket = table->bucketCount;
  return 0;
}

TableEntry* TableNext(const ScriptValue* table, const ScriptValue* key) {
  ScriptTable* t = TableOf(table);
  if (!t || !BuildChains(t) || !t->buckets) return nullptr;
  uint32_t start = 0;
  if (key) {
    uint32_t bucket = 0;
    const uint32_t found = FindKey(t, key, &bucket);
    if (found) {
      if (t->buckets[bucket] != found) return TableEntryAt(t, TableEntryAt(t, found - 1)->next - 1);
      start = bucket + 1;
    }
  }
  const uint32_t first = FirstFrom(t, &start);
  return first ? TableEntryAt(t, first - 1) : nullptr;
}

TableEntry* TableStep(ScriptTable* table, TableCursor* cursor) {
  if (!table || !BuildChains(table) || !table->buckets) return nullptr;
  if (cursor->entry) {
    if (table->buckets[cursor->bucket] != cursor->entry) {
      cursor->entry = TableEntryAt(table, cursor->entry - 1)->next;
      return TableEntryAt(table, cursor->entry - 1);
    }
    ++cursor->bucket;
  }
  cursor->entry = FirstFrom(table, &cursor->bucket);
  return cursor->entry ? TableEntryAt(table, cursor->entry - 1) : nullptr;
}

void TableClear(ScriptTable* table) {
  ScriptEngine* engine = gScriptEngine;
  // Detached first, so a release below can never walk a half-freed table: the entries are
  // visited in the order they were carved, through a copy of the record.
  ScriptTable held = *table;
  table->buckets = nullptr;
  table->bucketCount = kTableInitialBuckets;
  table->nextIntKey = 1;
  table->count = 0;
  table->used = 0;
  table->capacity = 0;
  table->freeEntries = 0;
  table->chunkSlots = 0;
  table->firstChunk = nullptr;
  table->chunks = nullptr;
  table->unchained = true;
  table->mayOwn = false;
  if (held.count) PoolUncountCarvedRecord(kPoolEntry, engine, kNominalEntrySize, held.count);
  for (uint32_t n = 0; held.mayOwn && n < held.used; ++n) {
    TableEntry* entry = TableEntryAt(&held, n);
    if (entry->keyType >= kValueFirstOwning || entry->dataType >= kValueFirstOwning) ReleaseEntryValues(entry);
  }
  if (held.buckets) PoolFree(kPoolBuckets, held.buckets, engine, held.bucketCount * kNominalBucketSize);
  else if (held.unchained && held.used) PoolUncountCarvedRecord(kPoolBuckets, engine, held.bucketCount * kNominalBucketSize);
  FreeEntryChunks(engine, &held);
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
