// Table entries carved from shared slabs: every counter moves exactly as for a heap block of its
// own, freed slots and emptied slabs are handed out again without disturbing live entries, and
// a failed allocation changes nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"
#include "support/script_fixture.h"

namespace {

class SlabRecordTest : public ScriptEngineTest {
 protected:
  static ScriptValue Int(int32_t i) {
    ScriptValue v{};
    SetValueInt(&v, i);
    return v;
  }
  static void Put(ScriptValue* table, int32_t key, int32_t data) {
    ScriptValue k = Int(key), d = Int(data);
    TableSet(table, &k, &d);
  }
  // The data under the key, or -1 when the key is absent.
  static int32_t Get(ScriptValue* table, int32_t key) {
    ScriptValue k = Int(key);
    TableEntry* e = TableFindEntry(table, &k);
    return e ? e->data.i : -1;
  }
  int32_t PoolBytes() const {
    int32_t sum = 0;
    for (int k = 0; k < kPoolKindCount; ++k) sum += Stats().currentBytes[k];
    return sum;
  }
};

constexpr int32_t kEntries = 5000;  // several slabs' worth

TEST_F(SlabRecordTest, EntriesAcrossSlabsCountExactly) {
  ScriptValue table{};
  ScriptTable* record = AllocTableValue(&table);
  uint32_t allocations = gMemCounters.allocationCount;
  for (int32_t k = 0; k < kEntries; ++k) Put(&table, k, 3 * k);
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], kEntries * 16);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], kEntries);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript] - startCategory1_, uint32_t(PoolBytes()));
  // One allocation per entry, next to one bucket array per size the table went through.
  uint32_t bucketArrays = 1;
  for (uint32_t n = kTableInitialBuckets; n < record->bucketCount; n *= 2) ++bucketArrays;
  EXPECT_EQ(gMemCounters.allocationCount - allocations, bucketArrays + uint32_t(kEntries));

  // Every other key goes; new keys take the freed slots and the survivors keep their data.
  for (int32_t k = 0; k < kEntries; k += 2) {
    ScriptValue key = Int(k);
    EXPECT_EQ(TableRemove(&table, &key), 1);
  }
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], kEntries / 2);
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], kEntries / 2 * 16);
  for (int32_t k = kEntries; k < kEntries + kEntries / 2; ++k) Put(&table, k, 3 * k);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], kEntries);
  EXPECT_EQ(Stats().peakBlocks[kPoolEntry], kEntries);
  EXPECT_EQ(Stats().peakBytes[kPoolEntry], kEntries * 16);
  for (int32_t k = 0; k < kEntries + kEntries / 2; ++k) {
    int32_t expected = (k < kEntries && k % 2 == 0) ? -1 : 3 * k;
    ASSERT_EQ(Get(&table, k), expected) << "key " << k;
  }
  EXPECT_EQ(GetTableCount(&table), kEntries);

  ReleaseValue(&table);
  EXPECT_EQ(Stats().currentBytes[kPoolEntry], 0);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], 0);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript], startCategory1_);
}

TEST_F(SlabRecordTest, ReusedSlotsNeverDisturbLiveEntries) {
  // Two tables fill the same slabs in turn; dropping one hands its slots to the other.
  ScriptValue a{}, b{};
  AllocTableValue(&a);
  AllocTableValue(&b);
  for (int32_t k = 0; k < kEntries; ++k) {
    Put(&a, k, k + 1);
    Put(&b, k, -k);
  }
  ReleaseValue(&a);
  EXPECT_EQ(Stats().currentBlocks[kPoolEntry], kEntries);
  for (int32_t k = kEntries; k < 3 * kEntries; ++k) Put(&b, k, -k);
  for (int32_t k = 0; k < 3 * kEntries; ++k) ASSERT_EQ(Get(&b, k), -k) << "key " << k;
  // Entries made from reused slots start empty: a text key and data read back whole.
  ScriptValue key{}, data{};
  SetValueString(&key, "name");
  SetValueString(&data, "value");
  TableSet(&b, &key, &data);
  ReleaseValue(&data);
  TableEntry* e = TableFindEntry(&b, &key);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(GetValueString(&e->data), "value");
  ReleaseValue(&key);
  ReleaseValue(&b);
}

TEST_F(SlabRecordTest, FailedEntryAllocationChangesNothing) {
  ScriptValue table{};
  AllocTableValue(&table);
  Put(&table, 1, 10);  // the bucket array exists from here on
  PoolStatistics before = Stats();
  uint32_t category = gMemCounters.categoryBytes[kMemCatScript];
  uint32_t current = gMemCounters.currentBytes;
  uint32_t allocations = gMemCounters.allocationCount;
  SetPoolAllocFailure(0);
  Put(&table, 2, 20);
  EXPECT_EQ(std::memcmp(&before, &Stats(), sizeof before), 0);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript], category);
  EXPECT_EQ(gMemCounters.currentBytes, current);
  EXPECT_EQ(gMemCounters.allocationCount, allocations);
  EXPECT_EQ(GetTableCount(&table), 1);
  EXPECT_EQ(Get(&table, 2), -1);
  Put(&table, 2, 20);
  EXPECT_EQ(Get(&table, 2), 20);
  ReleaseValue(&table);
}

}  // namespace
