// Arrays, tables, string objects and the string pool: deferred arrays, growth steps, insertion
// and removal, sorting, table hashing, rehash and iteration order, removal while iterating, and
// every pool counter back to 0 once the containers are released.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"
#include "support/script_fixture.h"

namespace {

class ContainersTest : public ScriptEngineTest {
 protected:
  // The integer payloads of a materialised array, in order.
  static std::vector<int32_t> Ints(ScriptValue* array) {
    std::vector<int32_t> out;
    for (int32_t k = 0; k < GetArraySize(array); ++k) out.push_back(ArrayElementPtr(array, k)->i);
    return out;
  }
  static std::vector<std::string> Texts(ScriptValue* array) {
    std::vector<std::string> out;
    for (int32_t k = 0; k < GetArraySize(array); ++k) {
      const char* text = GetValueString(ArrayElementPtr(array, k));
      out.push_back(text ? text : "-");
    }
    return out;
  }
  static void FillInts(ScriptValue* array, const std::vector<int32_t>& values) {
    AllocArrayValue(array, static_cast<int32_t>(values.size()));
    for (size_t k = 0; k < values.size(); ++k) ArrayWriteInt(array, static_cast<int32_t>(k), values[k]);
  }
  // Keys in the order TableNext hands them out.
  static std::vector<int32_t> IterationOrder(ScriptValue* table) {
    std::vector<int32_t> out;
    for (TableEntry* e = TableNext(table, nullptr); e;) {
      const ScriptValue key = TableEntryKey(e);
      out.push_back(key.i);
      e = TableNext(table, &key);
    }
    return out;
  }
  static ScriptValue Int(int32_t i) {
    ScriptValue v{};
    SetValueInt(&v, i);
    return v;
  }
};

TEST_F(ContainersTest, DeferredArrayAllocatesNothingUntilTouched) {
  ScriptValue array{};
  ScriptArray* record = AllocArrayValue(&array, 1000);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->refCount, 1u);
  EXPECT_EQ(GetArraySize(&array), 1000);
  EXPECT_EQ(ArrayElementPtr(&array, 1000), nullptr);
  EXPECT_EQ(ArrayElementPtr(&array, -1), nullptr);
  EXPECT_EQ(Stats().peakBlocks[kPoolElements], 0);
  EXPECT_EQ(record->size, -1000);

  ScriptValue* last = ArrayElementPtr(&array, 999);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->type, kValueInt);
  EXPECT_EQ(last->i, 0);
  EXPECT_EQ(record->size, 1000);
  EXPECT_EQ(Stats().currentBytes[kPoolElements], 5000);
  EXPECT_EQ(Stats().currentBlocks[kPoolElements], 1);
  ReleaseValue(&array);

  // n < 0 makes nothing; n = 0 is an empty materialised array.
  SetValueInt(&array, 4);
  EXPECT_EQ(AllocArrayValue(&array, -1), nullptr);
  EXPECT_EQ(array.type, kValueInt);
  AllocArrayValue(&array, 0);
  EXPECT_EQ(array.array->size, 0);
  EXPECT_EQ(ArrayElementPtr(&array, 0), nullptr);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, InsertPositions) {
  struct Case { bool planned; int32_t index, result; std::vector<int32_t> after; };
  const Case kCases[] = {
      {false, -1, 0, {10, 20, 30, 99}}, {false, 3, 0, {10, 20, 30, 99}}, {false, 0, 0, {99, 10, 20, 30}},
      {false, 1, 0, {10, 99, 20, 30}},  {false, 4, -1, {10, 20, 30}},    {true, -1, 0, {0, 0, 0, 99}},
      {true, 1, 0, {0, 99, 0, 0}},      {true, 3, 0, {0, 0, 0, 99}},
  };
  for (const Case& c : kCases) {
    ScriptValue array{}, item = Int(99);
    if (c.planned) {
      AllocArrayValue(&array, 3);
    } else {
      FillInts(&array, {10, 20, 30});
    }
    EXPECT_EQ(ArrayInsert(&array, c.index, &item), c.result) << c.planned << " at " << c.index;
    EXPECT_EQ(Ints(&array), c.after) << c.planned << " at " << c.index;
    ReleaseValue(&array);
  }
  // Beyond the plan fails and leaves the plan untouched.
  ScriptValue array{}, item = Int(1), notArray = Int(3);
  AllocArrayValue(&array, 3);
  EXPECT_EQ(ArrayInsert(&array, 4, &item), -1);
  EXPECT_EQ(array.array->size, -3);
  EXPECT_EQ(Stats().currentBlocks[kPoolElements], 0);
  EXPECT_EQ(ArrayInsert(&notArray, 0, &item), -1);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, InsertGrowsByEightSlots) {
  ScriptValue array{}, item = Int(5);
  AllocArrayValue(&array, 8);
  ArrayElementPtr(&array, 0);
  struct Step { int32_t size; uint32_t capacity; };
  const Step kSteps[] = {{9, 16}, {10, 16}, {16, 16}, {17, 24}};
  for (const Step& step : kSteps) {
    while (GetArraySize(&array) < step.size) ASSERT_EQ(ArrayInsert(&array, -1, &item), 0);
    EXPECT_EQ(array.array->capacity, step.capacity) << "size " << step.size;
    EXPECT_EQ(Stats().currentBytes[kPoolElements], static_cast<int32_t>(step.capacity * 5));
    EXPECT_EQ(Stats().currentBlocks[kPoolElements], 1);
  }
  // A failed growth leaves the array as it was.
  while (GetArraySize(&array) < 24) ArrayInsert(&array, -1, &item);
  SetPoolAllocFailure(0);
  EXPECT_EQ(ArrayInsert(&array, 0, &item), -1);
  EXPECT_EQ(GetArraySize(&array), 24);
  EXPECT_EQ(array.array->capacity, 24u);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, InsertingAnElementOfTheSameArrayKeepsIt) {
  ScriptValue array{};
  AllocArrayValue(&array, 8);
  const char* kNames[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  for (int32_t k = 0; k < 8; ++k) ArrayWriteString(&array, k, kNames[k]);
  // Full capacity: the insertion moves every element to a new block while reading element 3.
  ASSERT_EQ(ArrayInsert(&array, 0, ArrayElementPtr(&array, 3)), 0);
  EXPECT_EQ(Texts(&array), (std::vector<std::string>{"d", "a", "b", "c", "d", "e", "f", "g", "h"}));
  EXPECT_EQ(ArrayElementPtr(&array, 0)->string->refCount, 2u);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, WritesNeverGrow) {
  ScriptValue array{}, notArray = Int(1);
  AllocArrayValue(&array, 2);
  EXPECT_NE(ArrayWriteInt(&array, 1, 7), nullptr);
  EXPECT_EQ(ArrayWriteInt(&array, 2, 7), nullptr);
  EXPECT_NE(ArrayWriteString(&array, 0, "x"), nullptr);
  EXPECT_NE(ArrayWriteStringN(&array, 1, "yz", 1), nullptr);
  EXPECT_EQ(ArrayWriteString(&array, 2, "x"), nullptr);
  EXPECT_EQ(ArrayWriteInt(&notArray, 0, 1), nullptr);
  EXPECT_EQ(Texts(&array), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(GetArraySize(&array), 2);
  EXPECT_EQ(HashCount(engine_->strings), 2u);  // the temporaries are gone
  ReleaseValue(&array);
}

TEST_F(ContainersTest, RemoveAndResize) {
  ScriptValue array{};
  FillInts(&array, {1, 2, 3, 4});
  EXPECT_EQ(ArrayRemove(&array, 1), 0);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{1, 3, 4}));
  EXPECT_EQ(array.array->capacity, 4u);
  EXPECT_EQ(ArrayRemove(&array, 3), -1);
  EXPECT_EQ(ArrayRemove(&array, -1), -1);
  EXPECT_EQ(ArrayResize(&array, 5), 5);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{1, 3, 4, 0, 0}));
  EXPECT_EQ(Stats().currentBytes[kPoolElements], 25);
  EXPECT_EQ(ArrayResize(&array, 2), 2);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(ArrayResize(&array, -1), -1);
  EXPECT_EQ(ArrayResize(&array, 0), 0);
  EXPECT_EQ(array.array->elements, nullptr);
  EXPECT_EQ(Stats().currentBlocks[kPoolElements], 0);

  // Removing the last remaining element gives the block back.
  FillInts(&array, {9});
  EXPECT_EQ(ArrayRemove(&array, 0), 0);
  EXPECT_EQ(array.array->size, 0);
  EXPECT_EQ(array.array->capacity, 0u);
  EXPECT_EQ(Stats().currentBlocks[kPoolElements], 0);

  // Shrinking releases the elements cut off.
  AllocArrayValue(&array, 3);
  for (int32_t k = 0; k < 3; ++k) ArrayWriteString(&array, k, "s");
  EXPECT_EQ(ArrayResize(&array, 1), 1);
  EXPECT_EQ(HashCount(engine_->strings), 1u);

  // A planned array only changes its plan.
  AllocArrayValue(&array, 6);
  EXPECT_EQ(ArrayRemove(&array, 5), 0);
  EXPECT_EQ(GetArraySize(&array), 5);
  EXPECT_EQ(ArrayResize(&array, 9), 9);
  EXPECT_EQ(GetArraySize(&array), 9);
  EXPECT_EQ(Stats().currentBlocks[kPoolElements], 0);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, SortByKeysComparesWithoutOverflow) {
  struct Case { int32_t first, last, descending; std::vector<std::string> after; };
  const Case kCases[] = {
      {0, 4, 0, {"b", "d", "c", "e", "a"}},
      {0, 4, 1, {"a", "e", "c", "d", "b"}},
      {1, 3, 0, {"a", "b", "d", "c", "e"}},
      {2, 2, 0, {"a", "b", "c", "d", "e"}},  // first must be below last
      {0, 5, 0, {"a", "b", "c", "d", "e"}},  // last beyond the arrays
      {-1, 3, 0, {"a", "b", "c", "d", "e"}},
  };
  for (const Case& c : kCases) {
    ScriptValue keys{}, array{};
    FillInts(&keys, {INT_MAX, INT_MIN, 0, -5, 7});
    AllocArrayValue(&array, 5);
    const char* kNames[] = {"a", "b", "c", "d", "e"};
    for (int32_t k = 0; k < 5; ++k) ArrayWriteString(&array, k, kNames[k]);
    ArraySortByKeys(c.first, &array, &keys, c.last, c.descending);
    EXPECT_EQ(Texts(&array), c.after) << c.first << ".." << c.last << " desc " << c.descending;
    ReleaseValue(&keys);
    ReleaseValue(&array);
  }
  // An array sorted by itself.
  ScriptValue array{};
  FillInts(&array, {3, INT_MIN, 2, INT_MAX});
  ArraySortByKeys(0, &array, &array, 3, 0);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{INT_MIN, 2, 3, INT_MAX}));
  ReleaseValue(&array);
}

TEST_F(ContainersTest, SortByNamesIgnoresAsciiCase) {
  ScriptValue keys{}, array{};
  AllocArrayValue(&keys, 4);
  ArrayWriteString(&keys, 0, "beta");
  ArrayWriteString(&keys, 1, "Alpha");
  ArrayWriteString(&keys, 2, "gamma");
  ArrayWriteInt(&keys, 3, 5);  // no text: sorts as "?"
  FillInts(&array, {1, 2, 3, 4});
  ArraySortByNames(0, &array, &keys, 3, 0);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{4, 2, 1, 3}));
  // The keys stay where they are: the array's current elements follow them, descending.
  ArraySortByNames(0, &array, &keys, 3, 1);
  EXPECT_EQ(Ints(&array), (std::vector<int32_t>{1, 4, 2, 3}));
  ReleaseValue(&keys);
  ReleaseValue(&array);
}

TEST_F(ContainersTest, TableHashOfKeys) {
  static const char kPool[] = "\0abc";
  engine_->stringPool = const_cast<char*>(kPool);
  engine_->stringPoolSize = sizeof kPool;
  ScriptValue poolKey{}, stringKey{}, empty{}, number = Int(6), negative = Int(-1), real{};
  SetValuePoolString(&poolKey, 1);
  SetValueString(&stringKey, "abc");
  SetValueString(&empty, "");
  SetValueDouble(&real, 6.0);
  struct Case { const ScriptValue* key; uint32_t buckets, bucket; };
  const Case kCases[] = {
      {&poolKey, 4, 3},   {&stringKey, 4, 3},  {&stringKey, 1024, 683}, {&empty, 4, 0},
      {&number, 4, 2},    {&negative, 8, 7},   {&real, 4, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(TableHash(c.key, c.buckets), c.bucket);
  ReleaseValue(&stringKey);
  ReleaseValue(&empty);
  ReleaseValue(&real);
}

TEST_F(ContainersTest, TableRehashesAtSixteenEntriesAndReversesChains) {
  ScriptValue table{};
  ASSERT_NE(AllocTableValue(&table), nullptr);
  EXPECT_EQ(table.table->bucketCount, 4u);
  EXPECT_EQ(table.table->nextIntKey, 1u);
  EXPECT_EQ(table.table->buckets, nullptr);
  for (int32_t k = 0; k < 15; ++k) {
    ScriptValue key = Int(k), data = Int(100 + k);
    EXPECT_EQ(TableSet(&table, &key, &data), 1);
  }
  EXPECT_EQ(table.table->bucketCount, 4u);
  EXPECT_EQ(IterationOrder(&table), (std::vector<int32_t>{0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11}));
  ScriptValue key = Int(15), data = Int(115);
  TableSet(&table, &key, &data);
  EXPECT_EQ(table.table->bucketCount, 8u);
  EXPECT_EQ(Stats().currentBytes[kPoolBuckets], 32);
  EXPECT_EQ(Stats().currentBlocks[kPoolBuckets], 1);
  EXPECT_EQ(IterationOrder(&table), (std::vector<int32_t>{8, 0, 9, 1, 10, 2, 11, 3, 12, 4, 13, 5, 14, 6, 15, 7}));
  EXPECT_EQ(GetTableCount(&table), 16);
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], 16 * 16);
  TableEntry* e = TableFindEntry(&table, &key);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(TableEntryData(e).i, 115);
  ReleaseValue(&table);
}

// A table filled with keys 0, 1, 2 ... finds them by number and builds its chains only when
// walked: the walk, the bucket count and every counter must be those of a table that chained
// each insertion, also where a doubling of its buckets failed.
TEST_F(ContainersTest, NumberedTableWalksAndCountsAsAChainedOne) {
  struct Case {
    int32_t count;
    int32_t failingKey;  // the insertion whose bucket doubling fails; -1: none
  };
  const Case kCases[] = {{1, -1}, {15, -1}, {16, -1}, {17, -1}, {65, -1}, {1000, -1}, {40, 15}, {300, 63}};
  struct Result {
    std::vector<int32_t> order;
    uint32_t bucketCount;
    int32_t bucketBytes, bucketPeak, entryBytes;
    int64_t managerBytes;
  };
  auto fill = [&](const Case& c, bool chainedFromTheStart) {
    ScriptValue table{};
    AllocTableValue(&table);
    if (chainedFromTheStart) {
      // A text key makes the chains at once; taken out again, it leaves only empty buckets.
      ScriptValue text{}, data = Int(0);
      SetValueString(&text, "x");
      TableSet(&table, &text, &data);
      EXPECT_EQ(TableRemove(&table, &text), 1);
      ReleaseValue(&text);
    }
    PoolStatistics& stats = engine_->statistics;
    const int32_t peakBefore = stats.peakBytes[kPoolBuckets];
    stats.peakBytes[kPoolBuckets] = stats.currentBytes[kPoolBuckets];
    const uint64_t before = gMemCounters.currentBytes;
    for (int32_t k = 0; k < c.count; ++k) {
      ScriptValue key = Int(k), data = Int(k * 3);
      // The entry is counted first, the doubling next.
      if (k == c.failingKey) SetPoolAllocFailure(1);
      TableSet(&table, &key, &data);
      SetPoolAllocFailure(-1);
    }
    for (int32_t k : {0, c.count - 1, c.count, -1}) {
      ScriptValue key = Int(k);
      TableEntry* entry = TableFindEntry(&table, &key);
      EXPECT_EQ(entry != nullptr, k >= 0 && k < c.count) << k;
      if (entry) {
        EXPECT_EQ(TableEntryData(entry).i, k * 3);
      }
    }
    Result r{{}, table.table->bucketCount, Stats().currentBytes[kPoolBuckets], Stats().peakBytes[kPoolBuckets],
             Stats().currentBytes[kPoolEntry], int64_t(gMemCounters.currentBytes - before)};
    r.order = IterationOrder(&table);
    EXPECT_EQ(Stats().currentBytes[kPoolBuckets], r.bucketBytes) << "a walk counts nothing";
    ReleaseValue(&table);
    EXPECT_EQ(Stats().currentBytes[kPoolBuckets], 0);
    EXPECT_EQ(Stats().currentBytes[kPoolEntry], 0);
    stats.peakBytes[kPoolBuckets] = std::max(peakBefore, stats.peakBytes[kPoolBuckets]);
    return r;
  };
  for (const Case& c : kCases) {
    const Result numbered = fill(c, false), chained = fill(c, true);
    EXPECT_EQ(numbered.order, chained.order) << c.count;
    EXPECT_EQ(numbered.order.size(), size_t(c.count));
    EXPECT_EQ(numbered.bucketCount, chained.bucketCount) << c.count;
    EXPECT_EQ(numbered.bucketBytes, chained.bucketBytes) << c.count;
    EXPECT_EQ(numbered.bucketPeak, chained.bucketPeak) << c.count;
    EXPECT_EQ(numbered.entryBytes, chained.entryBytes) << c.count;
    // The chained table's buckets were counted before `before`.
    EXPECT_EQ(numbered.managerBytes, chained.managerBytes + 16) << c.count;
  }
}

// Entries live in blocks their table owns, yet each is counted, and can fail, as a record of its
// own; removed entries are reused, and the largest blocks outlive their table with the engine
// until they are asked back.
TEST_F(ContainersTest, TableEntriesCountAsTheirOwnRecordsWhereverTheyLive) {
  ScriptValue table{}, text{};
  AllocTableValue(&table);
  SetValueString(&text, "kept");
  for (int32_t k = 0; k < 600; ++k) {
    ScriptValue key = Int(k);
    TableSet(&table, &key, &text);
  }
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], 600);
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], 600 * 16);

  struct Case {
    const char* name;
    int32_t failAfter;  // -1: no failure
    int32_t key;
    int32_t countAfter;
    int32_t byteStep;   // change of the memory manager's current bytes
  };
  const Case kCases[] = {
      {"a new key", -1, 600, 601, 16},
      {"an existing key", -1, 5, 601, 0},
      {"a failed record", 0, 601, 601, 0},
  };
  for (const Case& c : kCases) {
    SetPoolAllocFailure(c.failAfter);
    const uint64_t before = gMemCounters.currentBytes;
    ScriptValue key = Int(c.key);
    TableSet(&table, &key, &text);
    EXPECT_EQ(GetTableCount(&table), c.countAfter) << c.name;
    EXPECT_EQ(int64_t(gMemCounters.currentBytes - before), c.byteStep) << c.name;
    EXPECT_EQ(Stats().currentBlocks[kPoolEntry], c.countAfter) << c.name;
  }
  SetPoolAllocFailure(-1);

  // Removed entries are counted out at once and their places taken by the next insertions.
  const std::vector<int32_t> order = IterationOrder(&table);
  for (int32_t k = 0; k < 300; ++k) {
    ScriptValue key = Int(k * 2);
    ASSERT_EQ(TableRemove(&table, &key), 1);
  }
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], 301 * 16);
  for (int32_t k = 0; k < 300; ++k) {
    ScriptValue key = Int(k * 2);
    TableSet(&table, &key, &text);
  }
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], 601);
  for (int32_t k : {0, 2, 599, 600}) {
    ScriptValue key = Int(k);
    TableEntry* entry = TableFindEntry(&table, &key);
    ASSERT_NE(entry, nullptr) << k;
    const ScriptValue data = TableEntryData(entry);
    EXPECT_STREQ(GetValueString(&data), "kept");
  }
  EXPECT_EQ(IterationOrder(&table).size(), order.size());

  ReleaseValue(&table);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], 0);
  EXPECT_NE(engine_->spareEntryBlocks, nullptr);
  AllocTableValue(&table);
  for (int32_t k = 0; k < 600; ++k) {
    ScriptValue key = Int(k);
    TableSet(&table, &key, &text);
  }
  EXPECT_EQ(engine_->spareEntryBlocks, nullptr);  // taken again by the new table
  ReleaseValue(&table);
  FreeSpareTableBlocks(engine_);
  EXPECT_EQ(engine_->spareEntryBlocks, nullptr);
  ReleaseValue(&text);
}

TEST_F(ContainersTest, TextKeysMatchAcrossPoolAndStringObjects) {
  static const char kPool[] = "\0abc\0" "1";
  engine_->stringPool = const_cast<char*>(kPool);
  engine_->stringPoolSize = sizeof kPool;
  ScriptValue table{}, poolKey{}, stringKey{}, oneText{}, one = Int(1), two = Int(2), real{};
  AllocTableValue(&table);
  SetValuePoolString(&poolKey, 1);
  SetValueString(&stringKey, "abc");
  SetValuePoolString(&oneText, 5);
  SetValueDouble(&real, 1.0);
  TableSet(&table, &poolKey, &one);
  TableSet(&table, &stringKey, &two);
  EXPECT_EQ(GetTableCount(&table), 1);
  EXPECT_EQ(TableEntryData(TableFindEntry(&table, &poolKey)).i, 2);
  EXPECT_EQ(TableFindEntry(&table, &one), nullptr);
  TableSet(&table, &oneText, &one);
  TableSet(&table, &one, &two);
  EXPECT_EQ(GetTableCount(&table), 3);  // int 1 and text "1" are different keys
  // A key of any other type could never be found again, and a walk going on from it would
  // start over for ever: such keys are refused.
  TableSet(&table, &real, &one);
  TableSet(&table, &real, &one);
  EXPECT_EQ(GetTableCount(&table), 3);
  EXPECT_EQ(TableFindEntry(&table, &real), nullptr);
  int walked = 0;
  for (TableEntry* e = TableNext(&table, nullptr); e && walked < 10; ++walked) {
    const ScriptValue key = TableEntryKey(e);
    e = TableNext(&table, &key);
  }
  EXPECT_EQ(walked, 3);
  EXPECT_EQ(TableRemove(&table, &stringKey), 1);
  EXPECT_EQ(TableRemove(&table, &stringKey), 0);
  EXPECT_EQ(GetTableCount(&table), 2);
  ReleaseValue(&stringKey);
  ReleaseValue(&real);
  ReleaseValue(&table);
}

TEST_F(ContainersTest, RemovalDuringIteration) {
  ScriptValue table{};
  AllocTableValue(&table);
  for (int32_t k = 0; k < 20; ++k) {
    ScriptValue key = Int(k * 3);
    TableSet(&table, &key, &key);
  }
  // TableNext from a key that is gone starts again at the first entry.
  std::vector<int32_t> order = IterationOrder(&table);
  ScriptValue gone = Int(order[5]);
  TableRemove(&table, &gone);
  EXPECT_EQ(TableEntryKey(TableNext(&table, &gone)).i, order[0]);

  // Removing each visited entry drains the table and terminates.
  int removed = 0;
  for (TableEntry* e = TableNext(&table, nullptr); e;) {
    ScriptValue key = TableEntryKey(e);
    ASSERT_EQ(TableRemove(&table, &key), 1);
    ++removed;
    e = TableNext(&table, &key);
    ASSERT_LE(removed, 19);
  }
  EXPECT_EQ(removed, 19);
  EXPECT_EQ(GetTableCount(&table), 0);
  EXPECT_EQ(TableNext(&table, nullptr), nullptr);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], 0);
  EXPECT_EQ(Stats().currentBlocks[kPoolBuckets], 1);  // buckets never shrink
  ReleaseValue(&table);
}

TEST_F(ContainersTest, NestedContainersReleaseEverything) {
  ScriptValue outer{}, inner{}, list{}, text{}, key = Int(1), key2 = Int(2), real{};
  SetValueTable(&outer, nullptr);  // a null table makes a new one
  ASSERT_NE(outer.table, nullptr);
  AllocTableValue(&inner);
  AllocArrayValue(&list, 3);
  ArrayWriteString(&list, 0, "in the array");
  ArrayWrite(&list, 1, &inner);  // shared: inner is now held twice
  SetValueString(&text, "data");
  SetValueDouble(&real, 2.5);
  TableSet(&inner, &text, &real);
  TableSet(&outer, &key, &list);
  TableSet(&outer, &text, &inner);
  TableSet(&outer, &key2, &text);
  EXPECT_EQ(inner.table->refCount, 3u);
  ReleaseValue(&inner);
  ReleaseValue(&list);
  ReleaseValue(&text);
  ReleaseValue(&real);
  EXPECT_GT(Stats().currentBlocks[kPoolEntry], 0);
  ReleaseValue(&outer);
  // The fixture checks that every counter and registry is back to empty.
}

TEST_F(ContainersTest, StringPoolReadsStayInsideThePool) {
  // Exactly five bytes on the heap, with no NUL at the end: any read past it is caught.
  char* pool = static_cast<char*>(MemCalloc(5));
  std::memcpy(pool, "\0ab\0c", 5);
  engine_->stringPool = pool;
  engine_->stringPoolSize = 5;
  struct Case { uint32_t id; const char* text; };
  const Case kCases[] = {{0, "SB_String(0)"}, {1, "ab"}, {2, "b"}, {3, ""}, {4, " "}, {5, " "}, {900, " "}};
  for (const Case& c : kCases) EXPECT_STREQ(SB_String(engine_, c.id), c.text) << c.id;
  EXPECT_EQ(CompareTextToPoolString(engine_, "ab", 1), 0);
  EXPECT_EQ(CompareTextToPoolString(engine_, "ac", 1), 1);
  EXPECT_EQ(CompareTextToPoolString(engine_, "\xff", 1), 1);  // bytes compare unsigned
  MethodRecord a{0, 1, 0, 0}, b{0, 2, 0, 0};
  EXPECT_EQ(CompareTextToMethodName(engine_, "b", &b), 0);
  EXPECT_EQ(CompareMethodNames(engine_, &a, &b), -1);
  engine_->stringPool = nullptr;
  MemFreeIfSet(pool);
}

}  // namespace
