// Arrays, tables and string objects (the reference-counted containers of the scripts) and the
// read-only string pool of the loaded script. Called by the value operations, the interpreter,
// the SE_ natives, the text database and the save-game code. Every operation reports a bad
// container or index through its return value and leaves the container unchanged; none may
// read or write outside a block it owns.
#pragma once

#include <cstdint>

#include "script/script_memory.h"
#include "script/value.h"

struct MethodRecord;

// size < 0: -size elements planned, no element block yet (capacity equals the plan).
struct ScriptArray {
  uint32_t id;
  uint32_t refCount;
  int32_t size;
  uint32_t capacity;
  ScriptValue* elements;
};

// An entry of a table: its key and data kept as type code and payload side by side (a
// ScriptValue would pad each to 16 bytes), and its chain link as an entry number. Entries live
// in chunks their table owns; TableEntryKey and TableEntryData give the two values.
struct TableEntry {
  uint32_t next;     // number + 1 of the next entry in the chain; 0 ends it
  uint8_t keyType;   // kValueNone marks an entry on its table's free list
  uint8_t dataType;
  uintptr_t keyBits;
  uintptr_t dataBits;
};

struct TableEntryBlock;

constexpr uint32_t kTableChunkShift = 8;
constexpr uint32_t kTableChunkEntries = 1u << kTableChunkShift;  // entries of every chunk but a small first

struct ScriptTable {
  uint32_t id;
  uint32_t refCount;
  // Number + 1 of each chain's LAST entry (0: empty), null until the first insertion. Chains are
  // circular, the last entry linking to the first, so an insertion appends without a walk.
  uint32_t* buckets;
  uint32_t bucketCount;  // power of two, 4 for a new table
  uint32_t nextIntKey;   // 1 for a new table
  uint32_t count;
  // Where the entries live. Entry n is in chunk n / kTableChunkEntries; the first chunk grows from
  // a few entries to a whole chunk, the others are whole from the start. Entries carved so far
  // are numbered below `used`; removed ones wait in the free list for the next insertion. All
  // chunks go when the table is emptied, cleared or freed.
  uint32_t used;
  uint32_t capacity;     // entries the chunks hold
  uint32_t freeEntries;  // number + 1 of the first free entry, 0 when none
  uint32_t chunkSlots;   // length of the chunk directory
  TableEntry* firstChunk;
  TableEntry** chunks;   // every chunk (the first too) once there is more than one; else null
  // Unchained: entry n holds integer key n for every n below `used` and none was ever removed,
  // so a key is found by its number alone, and the buckets are not built yet. They are counted
  // as if they were (bucketCount says their size, doubled where the chains would have been),
  // and a walk, a removal or any other key builds them in the order the insertions would have
  // left them, from firstBucketCount on.
  bool unchained;
  bool mayOwn;  // false while the table never stored a key or data that owns something
  uint32_t firstBucketCount;
};

// Entry n of a table (n below its `used`).
[[gnu::always_inline]] inline TableEntry* TableEntryAt(const ScriptTable* table, uint32_t n) {
  if (n < kTableChunkEntries) return table->firstChunk + n;
  return table->chunks[n >> kTableChunkShift] + (n & (kTableChunkEntries - 1));
}

// The key and data of an entry as values. They stay owned by the entry: never released.
inline ScriptValue TableEntryKey(const TableEntry* entry) {
  ScriptValue value;
  value.type = entry->keyType;
  value.bits = entry->keyBits;
  return value;
}
inline ScriptValue TableEntryData(const TableEntry* entry) {
  ScriptValue value;
  value.type = entry->dataType;
  value.bits = entry->dataBits;
  return value;
}

struct StringObject {
  uint32_t id;
  uint32_t refCount;
  char* text;          // accounted heap copy, NUL-terminated
  uint32_t textBytes;  // bytes the text block was counted as, so the free matches the allocation
};

constexpr uint32_t kTableInitialBuckets = 4;
constexpr uint32_t kTableLoadFactor = 4;   // rehash when entries reach 4 per bucket
constexpr uint32_t kArrayGrowStep = 8;

// String pool.
const char* SB_String(const ScriptEngine* engine, uint32_t id);
int32_t CompareTextToPoolString(const ScriptEngine* engine, const char* text, uint32_t id);
int32_t CompareTextToMethodName(const ScriptEngine* engine, const char* text, const MethodRecord* method);
int32_t CompareMethodNames(const ScriptEngine* engine, const MethodRecord* a, const MethodRecord* b);

// Arrays.
ScriptArray* AllocArrayValue(ScriptValue* value, int32_t n);
ScriptValue* ArrayElementPtr(ScriptValue* value, int32_t i);
ScriptValue* ArrayWrite(ScriptValue* value, int32_t i, const ScriptValue* src);
ScriptValue* ArrayWriteInt(ScriptValue* value, int32_t i, int32_t n);
ScriptValue* ArrayWriteString(ScriptValue* value, int32_t i, const char* text);
ScriptValue* ArrayWriteStringN(ScriptValue* value, int32_t i, const char* text, int32_t length);
int32_t ArrayInsert(ScriptValue* value, int32_t i, const ScriptValue* src);
int32_t ArrayRemove(ScriptValue* value, int32_t i);
int32_t ArrayResize(ScriptValue* value, int32_t n);
void ArraySortByKeys(int32_t first, ScriptValue* array, const ScriptValue* keys, int32_t last, int32_t descending);
void ArraySortByNames(int32_t first, ScriptValue* array, const ScriptValue* keys, int32_t last, int32_t descending);

// Tables.
ScriptTable* AllocTableValue(ScriptValue* value);
uint32_t TableHash(const ScriptValue* key, uint32_t bucketCount);
TableEntry* TableFindEntry(const ScriptValue* table, const ScriptValue* key);
// TableFindEntry for an integer key on a table record, inline for the interpreter's element
// loads and stores: the entry numbered by the key on an unchained table, else the key's bucket
// and its chain. The link form gives the entry's number + 1 (0 when absent).
inline uint32_t TableFindIntLink(const ScriptTable* table, int32_t key) {
  if (table->unchained) return uint32_t(key) < table->used ? uint32_t(key) + 1 : 0;
  if (!table->buckets) return 0;
  const uint32_t last = table->buckets[uint32_t(key) & (table->bucketCount - 1)];
  if (!last) return 0;
  uint32_t link = last;
  for (;;) {
    link = TableEntryAt(table, link - 1)->next;
    const TableEntry* entry = TableEntryAt(table, link - 1);
    if (entry->keyType == kValueInt && int32_t(entry->keyBits) == key) return link;
    if (link == last) return 0;
  }
}
TableEntry* TableFindChainedIntEntry(const ScriptTable* table, int32_t key);
[[gnu::always_inline]] inline TableEntry* TableFindIntEntry(const ScriptTable* table, int32_t key) {
  if (table->unchained) return uint32_t(key) < table->used ? TableEntryAt(table, uint32_t(key)) : nullptr;
  return TableFindChainedIntEntry(table, key);
}
// TableSet's commonest case, inline for the interpreter's stores: an integer key of a numbered
// table that overwrites data owning nothing, or appends key `used` with room in the chunks and no
// doubling of the counted buckets due, the data owning nothing either. `statistics` are the
// engine's. False, nothing changed, when TableSet must do the store.
[[gnu::always_inline]] inline bool TableSetNumberedInline(ScriptTable* table, const ScriptValue* key,
                                                          const ScriptValue* data, PoolStatistics* statistics) {
  if (!table->unchained || key->type != kValueInt || data->type < kValueInt || data->type > kValueCodeAddress)
    return false;
  const uint32_t n = key->u;
  if (n < table->used) {
    TableEntry* entry = TableEntryAt(table, n);
    if (entry->dataType >= kValueFirstOwning) return false;
    entry->dataType = data->type;
    entry->dataBits = data->bits;
    return true;
  }
  if (n != table->used || n == 0 || n >= table->capacity || table->count + 1 >= kTableLoadFactor * table->bucketCount ||
      PoolFailureInjected())
    return false;
  PoolCountRecordInline(kNominalEntrySize, kPoolEntry, statistics);
  TableEntry* entry = TableEntryAt(table, n);
  entry->next = 0;
  entry->keyType = kValueInt;
  entry->dataType = data->type;
  entry->keyBits = key->bits;
  entry->dataBits = data->bits;
  table->used = n + 1;
  table->count++;
  return true;
}
int32_t TableAdd(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data);
int32_t TableSet(ScriptValue* table, const ScriptValue* key, const ScriptValue* data);
void TableRehash(ScriptEngine* engine, ScriptTable* table, uint32_t bucketCount);
int32_t TableRemove(ScriptValue* table, const ScriptValue* key);
TableEntry* TableNext(const ScriptValue* table, const ScriptValue* key);
// A walk in TableNext's order without a lookup per step: a cursor of {0, 0} starts it, each call
// gives the next entry, null at the end. The table must not change during the walk; its first
// step builds the chains of an unchained table.
struct TableCursor {
  uint32_t bucket;
  uint32_t entry;  // number + 1 of the entry last given, 0 before the first
};
TableEntry* TableStep(ScriptTable* table, TableCursor* cursor);
void TableClear(ScriptTable* table);

// Gives the engine's kept entry chunks back to the heap (the memory manager's low-memory call,
// and the engine's end).
void FreeSpareTableBlocks(ScriptEngine* engine);

// Called by ReleaseValue when the last reference goes.
void FreeArrayRecord(ScriptArray* array);
void FreeTableRecord(ScriptTable* table);
void FreeStringObject(StringObject* string);
