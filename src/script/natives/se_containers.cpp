// The SE_ array and table natives and the two sorts. Element copies are shallow (counted
// records shared, 8-byte cells duplicated); reads of an array that was planned but never
// touched see integer 0 without giving it an element block; table natives walk entries in the
// order of TableNext: buckets by ascending index, each chain from its head. Every index and
// range is checked against the container before an element is touched, and no loop runs longer
// than the containers it walks.
#include "script/natives/se_containers.h"

#include <cstdint>
#include <limits>

#include "core/memory.h"

namespace {

const ScriptValue kIntegerZero = [] {
  ScriptValue zero{};
  zero.type = kValueInt;
  zero.i = 0;
  return zero;
}();

// Element i of an array for reading: null when out of range; integer 0 for a planned array,
// which is left without an element block.
const ScriptValue* ReadElement(ScriptValue* array, int64_t i) {
  if (!array || array->type != kValueArray || !array->array || i < 0) return nullptr;
  const ScriptArray* a = array->array;
  if (a->size < 0) return i < -int64_t{a->size} ? &kIntegerZero : nullptr;
  if (i >= a->size) return nullptr;
  return &a->elements[i];
}

// The entry at position n (0-based) in iteration order, or null.
TableEntry* EntryAt(const ScriptValue* table, int64_t n) {
  if (n < 0) return nullptr;
  TableCursor cursor{0, 0};
  TableEntry* entry = TableStep(table->table, &cursor);
  for (int64_t k = 0; entry && k < n; ++k) entry = TableStep(table->table, &cursor);
  return entry;
}

// A new array of the keys (or the data) of a table, in iteration order.
int32_t AnswerTableList(SECall* call, bool keys) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue result{};
  int32_t count = table ? GetTableCount(table) : 0;
  if (!AllocArrayValue(&result, count)) return SEAnswerInt(call, 0);
  ScriptTable* t = table ? table->table : nullptr;
  TableCursor cursor{0, 0};
  int32_t i = 0;
  for (TableEntry* e = TableStep(t, &cursor); e && i < count; e = TableStep(t, &cursor), ++i) {
    const ScriptValue value = keys ? TableEntryKey(e) : TableEntryData(e);
    if (!ArrayWrite(&result, i, &value)) break;
  }
  return SEAnswerValue(call, &result);
}

int32_t AnswerSort(SECall* call, bool byName) {
  if (call->argCount < 4) return SEAnswerInt(call, 0);
  ScriptValue* values = SEArgArray(call, 0);
  ScriptValue* keys = SEArgArray(call, 1);
  int32_t from = SEArgInt(call, 2);
  int32_t to = SEArgInt(call, 3);
  int32_t descending = SEArgInt(call, 4, 0);
  // The container sort checks that from < to and that the inclusive range lies inside both
  // arrays; a range that leaves either sorts nothing.
  if (values && keys) {
    if (byName) ArraySortByNames(from, values, keys, to, descending);
    else ArraySortByKeys(from, values, keys, to, descending);
  }
  return SEAnswerInt(call, 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arrays

int32_t SE_ArrayAlloc(SECall* call) {
  int32_t n = SEArgInt(call, 0);
  ScriptValue result{};
  if (n >= 0) AllocArrayValue(&result, n);
  return SEAnswerValue(call, &result);
}

int32_t SE_ArraySize(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  return SEAnswerInt(call, array ? GetArraySize(array) : 0);
}

int32_t SE_ArrayRead(SECall* call) {
  const ScriptValue* element = SEHasArg(call, 1) ? ReadElement(SEArgArray(call, 0), SEArgInt(call, 1)) : nullptr;
  return element ? SEAnswerCopy(call, element) : SEAnswerInt(call, 0);
}

int32_t SE_ArrayWrite(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  ScriptValue* value = SEArgValue(call, 2);
  if (array && value) ArrayWrite(array, SEArgInt(call, 1), value);
  return SEAnswerInt(call, 0);
}

int32_t SE_ArrayCopy(SECall* call) {
  ScriptValue* dst = SEArgArray(call, 0);
  ScriptValue* src = SEArgArray(call, 2);
  if (!dst || !src) return SEAnswerInt(call, 0);
  int64_t dstSize = GetArraySize(dst);
  int64_t srcSize = GetArraySize(src);
  int64_t i = SEArgInt(call, 1);
  int64_t j = SEArgInt(call, 3);
  int64_t srcEnd = SEHasArg(call, 4) ? SEArgInt(call, 4) : -1;
  if (srcEnd < 0 || srcEnd > srcSize) srcEnd = srcSize;
  // Destination positions before 0 take nothing: skipping them keeps the loop within the
  // destination's size, whatever start the script gave.
  if (i < 0) {
    j -= i;
    i = 0;
  }
  for (; i < dstSize && j < srcEnd; ++i, ++j) {
    const ScriptValue* element = ReadElement(src, j);
    // A source position out of range reads as no value, which writes integer 0.
    if (!ArrayWrite(dst, static_cast<int32_t>(i), element ? element : &kIntegerZero)) break;
  }
  return SEAnswerInt(call, 0);
}

int32_t SE_ArrayClone(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  ScriptValue result{};
  if (!array) {
    AllocArrayValue(&result, 0);
    return SEAnswerValue(call, &result);
  }
  int32_t size = GetArraySize(array);
  if (!AllocArrayValue(&result, size)) return SEAnswerInt(call, 0);
  // A planned array clones to a planned array: its elements are all integer 0 anyway.
  if (array->array->size > 0) {
    for (int32_t k = 0; k < size; ++k) {
      if (!ArrayWrite(&result, k, &array->array->elements[k])) break;
    }
  }
  return SEAnswerValue(call, &result);
}

int32_t SE_ArraySubClone(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  int64_t size = array ? GetArraySize(array) : 0;
  int64_t start = SEArgInt(call, 1);
  int64_t end = SEHasArg(call, 2) ? SEArgInt(call, 2) : -1;
  if (end < 0 || end > size) end = size;
  if (end <= start) return SEAnswerInt(call, 0);
  int64_t n = end - start;
  if (n > std::numeric_limits<int32_t>::max()) return SEAnswerInt(call, 0);
  ScriptValue result{};
  if (!AllocArrayValue(&result, static_cast<int32_t>(n))) return SEAnswerInt(call, 0);
  // Only positions that fall inside the source need a copy; the rest stay integer 0.
  int64_t first = start < 0 ? -start : 0;
  int64_t last = size - start < n ? size - start : n;
  for (int64_t k = first; k < last; ++k) {
    const ScriptValue* element = ReadElement(array, start + k);
    if (!element) continue;
    if (!ArrayWrite(&result, static_cast<int32_t>(k), element)) break;
  }
  return SEAnswerValue(call, &result);
}

int32_t SE_ArrayInsert(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  ScriptValue* value = SEArgValue(call, 2);
  if (array && value && SEHasArg(call, 1)) ArrayInsert(array, SEArgInt(call, 1), value);
  return SEAnswerInt(call, 0);
}

int32_t SE_ArrayAppend(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  ScriptValue* value = SEArgValue(call, 1);
  if (array && value) ArrayInsert(array, -1, value);
  return SEAnswerInt(call, 0);
}

int32_t SE_ArrayRemove(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  if (array && SEHasArg(call, 1)) ArrayRemove(array, SEArgInt(call, 1));
  return SEAnswerInt(call, 0);
}

int32_t SE_ArrayResize(SECall* call) {
  ScriptValue* array = SEArgArray(call, 0);
  if (array && SEHasArg(call, 1)) ArrayResize(array, SEArgInt(call, 1));
  return SEAnswerInt(call, 0);
}

// ---------------------------------------------------------------------------------------------
// Tables

int32_t SE_TableAlloc(SECall* call) {
  ScriptValue result{};
  if (!AllocTableValue(&result)) SetValueInt(&result, 0);
  return SEAnswerValue(call, &result);
}

int32_t SE_TableSize(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  return SEAnswerInt(call, table ? GetTableCount(table) : 0);
}

int32_t SE_TableNew(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue* value = SEArgValue(call, 1);
  if (!table || !value) return SEAnswerInt(call, 0);
  ScriptTable* t = table->table;
  ScriptValue key{};
  key.type = kValueInt;
  // Among count + 1 successive keys at least one is free, so the search ends there at the
  // latest, whatever the counter held; it also ends when the counter comes round to its start.
  uint32_t start = t->nextIntKey;
  for (uint64_t tries = 0; tries <= uint64_t{t->count}; ++tries) {
    uint32_t next = t->nextIntKey + 1;
    if (next > 0x7FFFFFFE || next == 0) next = 1;
    t->nextIntKey = next;
    key.i = static_cast<int32_t>(next);
    if (!TableFindEntry(table, &key)) {
      TableSet(table, &key, value);
      return SEAnswerInt(call, TableFindEntry(table, &key) ? key.i : 0);
    }
    if (next == start) break;
  }
  return SEAnswerInt(call, 0);
}

int32_t SE_TableAdd(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue* key = SEArgValue(call, 1);
  if (!table || !key) return SEAnswerInt(call, 0);
  ScriptValue* data = call->argCount == 2 ? key : SEArgValue(call, 2);
  TableSet(table, key, data);
  return SEAnswerInt(call, 1);
}

int32_t SE_TableFind(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue* key = SEArgValue(call, 1);
  TableEntry* entry = table && key ? TableFindEntry(table, key) : nullptr;
  if (!entry) return SEAnswerInt(call, 0);
  const ScriptValue data = TableEntryData(entry);
  return SEAnswerCopy(call, &data);
}

int32_t SE_TableExists(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue* key = SEArgValue(call, 1);
  return SEAnswerInt(call, table && key && TableFindEntry(table, key) ? 1 : 0);
}

int32_t SE_TableNext(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  if (!table) return SEAnswerInt(call, 0);
  ScriptValue* key = SEArgValue(call, 1);
  // No key, a false key (0 among them, also when the table holds it) or a key the table does
  // not hold starts from the first key. A walk that meets a key 0 reads it as its end anyway.
  const bool resume = key && ValueIsTrue(key) && TableFindEntry(table, key);
  const TableEntry* next = resume ? TableNext(table, key) : TableNext(table, nullptr);
  if (!next) return SEAnswerInt(call, 0);
  const ScriptValue nextKey = TableEntryKey(next);
  return SEAnswerCopy(call, &nextKey);
}

int32_t SE_TableRemove(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue* key = SEArgValue(call, 1);
  TableEntry* entry = table && key ? TableFindEntry(table, key) : nullptr;
  if (!entry) return SEAnswerInt(call, 0);
  ScriptValue data{};
  const ScriptValue held = TableEntryData(entry);
  CopyValue(&data, &held);
  TableRemove(table, key);
  return SEAnswerValue(call, &data);
}

int32_t SE_TableKeys(SECall* call) { return AnswerTableList(call, true); }
int32_t SE_TableData(SECall* call) { return AnswerTableList(call, false); }

int32_t SE_TableRandomKey(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  int32_t count = table ? GetTableCount(table) : 0;
  if (count <= 0) return SEAnswerInt(call, 0);
  TableEntry* entry = EntryAt(table, RandomBelow(count));
  if (!entry) return SEAnswerInt(call, 0);
  const ScriptValue key = TableEntryKey(entry);
  return SEAnswerCopy(call, &key);
}

int32_t SE_TableNumberedKey(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  int32_t n = SEArgInt(call, 1, -1);
  if (!table || n < 0 || n >= GetTableCount(table)) return SEAnswerInt(call, 0);
  TableEntry* entry = EntryAt(table, n);
  if (!entry) return SEAnswerInt(call, 0);
  const ScriptValue key = TableEntryKey(entry);
  return SEAnswerCopy(call, &key);
}

int32_t SE_TableClone(SECall* call) {
  ScriptValue* table = SEArgTable(call, 0);
  ScriptValue result{};
  if (!AllocTableValue(&result)) {
    SetValueInt(&result, 0);
    return SEAnswerValue(call, &result);
  }
  if (table) {
    TableCursor cursor{0, 0};
    for (TableEntry* e = TableStep(table->table, &cursor); e; e = TableStep(table->table, &cursor)) {
      const ScriptValue key = TableEntryKey(e), data = TableEntryData(e);
      TableSet(&result, &key, &data);
    }
  }
  return SEAnswerValue(call, &result);
}

// ---------------------------------------------------------------------------------------------
// Sorting

int32_t SE_QSortByName(SECall* call) { return AnswerSort(call, true); }
int32_t SE_QSortByInt(SECall* call) { return AnswerSort(call, false); }
