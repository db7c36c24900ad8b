// Arrays, tables and string objects (the reference-counted containers of the scripts) and the
// read-only string pool of the loaded script. Called by the value operations, the interpreter,
// the SE_ natives, the text database and the save-game code. Every operation reports a bad
// container or index through its return value and leaves the container unchanged; none may
// read or write outside a block it owns.
#pragma once

#include <cstdint>

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

struct TableEntry {
  TableEntry* next;
  ScriptValue key;
  ScriptValue data;
};

struct TableEntryBlock;

struct ScriptTable {
  uint32_t id;
  uint32_t refCount;
  TableEntry** buckets;  // null until the first insertion
  uint32_t bucketCount;  // power of two, 4 for a new table
  uint32_t nextIntKey;   // 1 for a new table
  uint32_t count;
  // Where the entries live: blocks the table owns, newest first, freed whole when the table is
  // cleared, emptied or freed; removed entries wait in the free list for the next insertion.
  TableEntryBlock* entryBlocks;
  TableEntry* freeEntries;
};

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
// loads and stores: the key's bucket, then its chain.
inline TableEntry* TableFindIntEntry(const ScriptTable* table, int32_t key) {
  if (!table->buckets) return nullptr;
  TableEntry* entry = table->buckets[uint32_t(key) & (table->bucketCount - 1)];
  while (entry && (entry->key.type != kValueInt || entry->key.i != key)) entry = entry->next;
  return entry;
}
int32_t TableAdd(ScriptEngine* engine, ScriptTable* table, const ScriptValue* key, const ScriptValue* data);
int32_t TableSet(ScriptValue* table, const ScriptValue* key, const ScriptValue* data);
void TableRehash(ScriptEngine* engine, ScriptTable* table, uint32_t bucketCount);
int32_t TableRemove(ScriptValue* table, const ScriptValue* key);
TableEntry* TableNext(const ScriptValue* table, const ScriptValue* key);
void TableClear(ScriptTable* table);

// Gives the engine's kept entry blocks back to the heap (the memory manager's low-memory call,
// and the engine's end).
void FreeSpareTableBlocks(ScriptEngine* engine);

// Called by ReleaseValue when the last reference goes.
void FreeArrayRecord(ScriptArray* array);
void FreeTableRecord(ScriptTable* table);
void FreeStringObject(StringObject* string);
