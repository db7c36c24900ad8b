// Tests of the handle table: key hand-out and wrap, growth and its effect on iteration order,
// removal during a walk, the memory statistics it reports, allocation failures, and the
// priority list and word list beside it.
#include "core/hash_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "platform/heap.h"

namespace {

struct TableGuard {
  HashTable* table = HashCreate();
  ~TableGuard() { HashDestroy(table); }
};

std::vector<uint32_t> WalkKeys(const HashTable* table) {
  std::vector<uint32_t> keys;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    keys.push_back(key);
    if (keys.size() > 100000) break;  // a broken walk must not hang the test
  }
  return keys;
}

TEST(HashTable, NewTableHandsOutTwoThenThree) {
  TableGuard t;
  ASSERT_NE(t.table, nullptr);
  EXPECT_EQ(t.table->bucketCount, 8u);
  EXPECT_EQ(t.table->buckets, nullptr);
  EXPECT_EQ(HashGetKeyCounter(t.table), 1u);
  EXPECT_EQ(HashInsertNewKey(t.table, 100), 2u);
  EXPECT_EQ(HashInsertNewKey(t.table, 200), 3u);
  EXPECT_EQ(HashGet(t.table, 2), 100u);
  EXPECT_EQ(HashGet(t.table, 3), 200u);
  EXPECT_EQ(HashCount(t.table), 2u);
}

TEST(HashTable, KeyCounterWrapsToOneAndSkipsTakenKeys) {
  TableGuard t;
  HashSetKeyCounter(t.table, 0x7FFFFFFE);
  EXPECT_EQ(HashInsertNewKey(t.table, 1), 1u);
  // 1 is taken now; round again from the top and the next free key after it is chosen.
  HashInsert(t.table, 2, 7);
  HashSetKeyCounter(t.table, 0x7FFFFFFD);
  EXPECT_EQ(HashInsertNewKey(t.table, 5), 0x7FFFFFFEu);
  EXPECT_EQ(HashInsertNewKey(t.table, 6), 3u);
  EXPECT_EQ(HashGetKeyCounter(t.table), 3u);
}

TEST(HashTable, StoredKeyCounterIsBroughtIntoRange) {
  struct Case {
    uint32_t stored;
    uint32_t expected;
  };
  const Case kCases[] = {
      {0x80000000u, 4},           {0x7FFFFFFEu, 0x7FFFFFFEu}, {0x7FFFFFFFu, 3},
      {0xFFFFFFFFu, 6},           {1, 1},                     {12345, 12345},
  };
  TableGuard t;
  for (const Case& c : kCases) {
    HashSetKeyCounter(t.table, c.stored);
    EXPECT_EQ(HashGetKeyCounter(t.table), c.expected) << std::hex << c.stored;
  }
}

TEST(HashTable, GrowsFourfoldWhenCountReachesBuckets) {
  TableGuard t;
  for (uint32_t key = 1; key <= 7; ++key) ASSERT_EQ(HashInsert(t.table, key * 13, key), 1);
  EXPECT_EQ(t.table->bucketCount, 8u);
  ASSERT_EQ(HashInsert(t.table, 8 * 13, 8), 1);
  EXPECT_EQ(t.table->bucketCount, 32u);
  for (uint32_t key = 9; key <= 32; ++key) ASSERT_EQ(HashInsert(t.table, key * 13, key), 1);
  EXPECT_EQ(t.table->bucketCount, 128u);
  EXPECT_EQ(HashCount(t.table), 32u);
  for (uint32_t key = 1; key <= 32; ++key) {
    HashEntry* e = HashLookup(t.table, key * 13);
    ASSERT_NE(e, nullptr) << key;
    EXPECT_EQ(e->value, key);
  }
}

TEST(HashTable, ExistingKeyIsReplacedAndKeyZeroRefused) {
  TableGuard t;
  EXPECT_EQ(HashInsert(t.table, 5, 50), 1);
  EXPECT_EQ(HashInsert(t.table, 5, 51), 0);
  EXPECT_EQ(HashCount(t.table), 1u);
  EXPECT_EQ(HashGet(t.table, 5), 51u);
  EXPECT_EQ(HashInsert(t.table, 0, 9), 0);
  EXPECT_EQ(HashLookup(t.table, 0), nullptr);
  EXPECT_EQ(HashCount(t.table), 1u);
  EXPECT_EQ(HashRemove(t.table, 6), 0u);
  EXPECT_EQ(HashCount(t.table), 1u);
  EXPECT_EQ(HashRemove(t.table, 5), 51u);
  EXPECT_EQ(HashCount(t.table), 0u);
  EXPECT_EQ(HashLookup(t.table, 5), nullptr);
}

TEST(HashTable, PointerValuesSurviveWholeWidth) {
  TableGuard t;
  int record = 0;
  HashValue value = reinterpret_cast<HashValue>(&record);
  uint32_t key = HashInsertNewKey(t.table, value);
  EXPECT_EQ(reinterpret_cast<int*>(HashGet(t.table, key)), &record);
}

TEST(HashTable, WalkFollowsBucketThenChainOrder) {
  TableGuard t;
  HashInsert(t.table, 19, 1);
  HashInsert(t.table, 3, 2);
  HashInsert(t.table, 11, 3);
  HashInsert(t.table, 4, 4);
  // 19, 3, 11 share bucket 3 in insertion order; 4 has bucket 4.
  EXPECT_EQ(WalkKeys(t.table), (std::vector<uint32_t>{19, 3, 11, 4}));
  EXPECT_EQ(HashNextKey(t.table, 11), 4u);
  EXPECT_EQ(HashNextKey(t.table, 4), 0u);
  EXPECT_EQ(HashNextKey(t.table, 99), 19u);  // absent: start again
  TableGuard empty;
  EXPECT_EQ(HashNextKey(empty.table, 0), 0u);
}

TEST(HashTable, GrowthReversesKeysThatStayTogether) {
  TableGuard t;
  // Eight keys that all share bucket 1 of 8, chained in insertion order.
  for (uint32_t i = 0; i < 7; ++i) HashInsert(t.table, 1 + 8 * i, i);
  EXPECT_EQ(WalkKeys(t.table), (std::vector<uint32_t>{1, 9, 17, 25, 33, 41, 49}));
  HashInsert(t.table, 57, 7);
  ASSERT_EQ(t.table->bucketCount, 32u);
  EXPECT_EQ(WalkKeys(t.table), (std::vector<uint32_t>{33, 1, 41, 9, 49, 17, 57, 25}));
}

TEST(HashTable, RemovingWhileWalkingTakesTheNextKeyFirst) {
  TableGuard t;
  for (uint32_t i = 0; i < 200; ++i) HashInsertNewKey(t.table, i);
  std::vector<uint32_t> seen;
  uint32_t key = HashNextKey(t.table, 0);
  while (key != 0) {
    uint32_t next = HashNextKey(t.table, key);
    if (HashGet(t.table, key) % 2 == 0) HashRemove(t.table, key);
    seen.push_back(key);
    key = next;
  }
  EXPECT_EQ(seen.size(), 200u);
  EXPECT_EQ(HashCount(t.table), 100u);
  for (uint32_t k : WalkKeys(t.table)) EXPECT_EQ(HashGet(t.table, k) % 2, 1u);

  // Removing the current key before asking for the next one starts the walk over.
  uint32_t first = HashNextKey(t.table, 0);
  uint32_t second = HashNextKey(t.table, first);
  HashRemove(t.table, first);
  EXPECT_EQ(HashNextKey(t.table, first), second);
}

TEST(HashTable, StatisticsCountNominalRecordSizes) {
  uint32_t before = MemGetDefaultCategoryBytes();
  uint32_t current = MemGetCurrentBytes();
  HashTable* table = HashCreate();
  EXPECT_EQ(MemGetDefaultCategoryBytes() - before, 16u);
  HashInsert(table, 1, 1);
  EXPECT_EQ(MemGetDefaultCategoryBytes() - before, 16u + 8 * 4 + 12);
  for (uint32_t key = 2; key <= 8; ++key) HashInsert(table, key, key);
  EXPECT_EQ(MemGetDefaultCategoryBytes() - before, 16u + 32 * 4 + 8 * 12);
  HashRemove(table, 8);
  EXPECT_EQ(MemGetDefaultCategoryBytes() - before, 16u + 32 * 4 + 7 * 12);
  HashDestroy(table);
  EXPECT_EQ(MemGetDefaultCategoryBytes(), before);
  EXPECT_EQ(MemGetCurrentBytes(), current);
}

TEST(HashTable, FailedAllocationLeavesTableUnchanged) {
  TableGuard t;
  // Each allocation gets one retry after the low-memory hook, so two failures fail it.
  OsFailNextHeapRequests(2);
  EXPECT_EQ(HashInsert(t.table, 7, 70), 0);  // bucket array
  EXPECT_EQ(t.table->buckets, nullptr);
  EXPECT_EQ(HashCount(t.table), 0u);
  ASSERT_EQ(HashInsert(t.table, 1, 10), 1);
  OsFailNextHeapRequests(2);
  EXPECT_EQ(HashInsert(t.table, 9, 90), 0);  // entry, in bucket 1's chain
  EXPECT_EQ(HashCount(t.table), 1u);
  EXPECT_EQ(HashLookup(t.table, 9), nullptr);
  EXPECT_EQ(WalkKeys(t.table), (std::vector<uint32_t>{1}));
  OsFailNextHeapRequests(2);
  EXPECT_EQ(HashInsertNewKey(t.table, 5), 0u);
  EXPECT_EQ(HashCount(t.table), 1u);
  OsFailNextHeapRequests(0);
  OsFailNextHeapRequests(2);
  EXPECT_EQ(HashCreate(), nullptr);
  OsFailNextHeapRequests(0);
}

std::vector<int32_t> Priorities(const PriorityList& list) {
  std::vector<int32_t> out;
  for (const PriorityNode* n = list.head.next; n != &list.tail; n = n->next) out.push_back(n->priority);
  return out;
}

TEST(PriorityList, InsertGoesAfterHigherAndBeforeEqual) {
  PriorityList list;
  SortedListInit(&list);
  PriorityNode nine{nullptr, nullptr, 9}, five{nullptr, nullptr, 5}, one{nullptr, nullptr, 1};
  PriorityNode newFive{nullptr, nullptr, 5}, low{nullptr, nullptr, -3}, top{nullptr, nullptr, 20};
  SortedListInsert(&list, &one);
  SortedListInsert(&list, &nine);
  SortedListInsert(&list, &five);
  SortedListInsert(&list, &newFive);
  EXPECT_EQ(nine.next, &newFive);
  EXPECT_EQ(newFive.next, &five);
  SortedListInsert(&list, &low);
  SortedListInsert(&list, &top);
  EXPECT_EQ(Priorities(list), (std::vector<int32_t>{20, 9, 5, 5, 1, -3}));
  EXPECT_EQ(list.tail.prev, &low);
  EXPECT_EQ(list.tail.next, nullptr);

  EXPECT_EQ(ListUnlink(&nine), &nine);
  EXPECT_EQ(Priorities(list), (std::vector<int32_t>{20, 5, 5, 1, -3}));
  ListUnlink(&top);
  ListUnlink(&low);
  EXPECT_EQ(list.head.next, &newFive);
  EXPECT_EQ(list.tail.prev, &one);
}

TEST(PriorityList, ResortMovesRaisedNodesUp) {
  PriorityList list;
  SortedListInit(&list);
  PriorityNode nodes[6];
  const int32_t start[6] = {60, 50, 40, 30, 20, 10};
  for (int i = 0; i < 6; ++i) {
    nodes[i].priority = start[i];
    SortedListInsert(&list, &nodes[i]);
  }
  nodes[3].priority = 55;  // 30 -> 55
  nodes[5].priority = 100;  // the last one to the front
  nodes[0].priority = 5;    // sinks as the others are lifted past it
  SortedListResort(&list);
  EXPECT_EQ(Priorities(list), (std::vector<int32_t>{100, 55, 50, 40, 20, 5}));
  EXPECT_EQ(list.head.next, &nodes[5]);
  EXPECT_EQ(list.tail.prev, &nodes[0]);
}

TEST(IdList, ContainsChecksEveryCountedValue) {
  struct Words {
    uint32_t count;
    uint32_t values[4];
  } words{4, {7, 0, 99, 0xFFFFFFFF}};
  const IdList* list = reinterpret_cast<const IdList*>(&words);
  EXPECT_TRUE(IdListContains(list, 7));
  EXPECT_TRUE(IdListContains(list, 0xFFFFFFFF));
  EXPECT_TRUE(IdListContains(list, 0));
  EXPECT_FALSE(IdListContains(list, 8));
  words.count = 2;
  EXPECT_FALSE(IdListContains(list, 99));
  EXPECT_FALSE(IdListContains(nullptr, 7));
}

}  // namespace
