// Body and cut ids by name: fixed answers for numbers and null names, ids of known rows, new
// dynamic rows that grow the table by whole blocks, and a table that cannot grow.
#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "platform/heap.h"
#include "scene/engine_state.h"
#include "scene/scene.h"
#include "support/engine_fixture.h"

namespace {

class NameIds : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocBodyDataTable());
    ASSERT_TRUE(AllocCutDataTable());
  }
  void TearDown() override {
    FreeBodyDataTable();
    FreeCutDataTable();
  }
  EngineFixture fixture_;
};

TEST_F(NameIds, NumbersAndNullNamesStandForThemselves) {
  struct Case {
    const char* name;
    int32_t id;
  };
  const Case kCases[] = {{"123", 123}, {"-7", -7}, {"Null", 0}, {"NULL", 0}, {"null", 0}, {"", 0}};
  for (const Case& c : kCases) {
    EXPECT_EQ(B3D_GetBodyID(c.name), c.id) << c.name;
    EXPECT_EQ(B3D_GetCutID(c.name), c.id) << c.name;
  }
  EXPECT_EQ(fixture_.engine().bodyDataAddedRows, 0);
  EXPECT_EQ(fixture_.engine().cutDataAddedRows, 0);
}

TEST_F(NameIds, KnownRowsGiveTheirIdsAndNewNamesGetDynamicRows) {
  SetBodyDataName(5, "ship_a");
  SetBodyDataName(9000 + 2000, "station");  // row 2000
  EXPECT_EQ(B3D_GetBodyID("SHIP_A"), 5);
  EXPECT_EQ(B3D_GetBodyID("station"), 11000);
  const int32_t first = B3D_GetBodyID("new_body");
  EXPECT_EQ(first, 20000);
  EXPECT_EQ(B3D_GetBodyID("New_Body"), 20000);
  const BodyDataRow& row = fixture_.engine().bodyDataRows[kBodyDataFixedRows];
  EXPECT_EQ(row.value0, -2);
  EXPECT_EQ(row.value1, -2);
  EXPECT_EQ(row.value2, -1);
  EXPECT_STREQ(row.fileName, "new_body");
  EXPECT_EQ(B3D_GetCutID("intro"), 50000);
  EXPECT_EQ(B3D_GetCutID("outro"), 50001);
  SetCutDataName(12, "fixed_cut");
  EXPECT_EQ(B3D_GetCutID("Fixed_Cut"), 12);
}

TEST_F(NameIds, TheThousandthRowGrowsTheTableOnceAndAFailedGrowthChangesNothing) {
  for (int i = 1; i < kNameTableBlock; ++i) ASSERT_EQ(B3D_GetBodyID(("b" + std::to_string(i)).c_str()), 20000 + i - 1);
  BodyDataRow* before = fixture_.engine().bodyDataRows;
  const uint32_t bytes = gMemCounters.categoryBytes[kMemCatEngine3D];
  ASSERT_EQ(fixture_.engine().bodyDataAddedRows, kNameTableBlock - 1);

  OsFailNextHeapRequests(2);  // the request and its retry after the low-memory hook
  EXPECT_EQ(B3D_GetBodyID("last"), -1);
  EXPECT_EQ(fixture_.engine().bodyDataAddedRows, kNameTableBlock - 1);
  EXPECT_EQ(fixture_.engine().bodyDataRows, before);
  OsFailNextHeapRequests(0);

  EXPECT_EQ(B3D_GetBodyID("b1000"), 20000 + kNameTableBlock - 1);
  EXPECT_NE(fixture_.engine().bodyDataRows, before);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D], bytes + kNameTableBlock * kBodyDataRowNominalBytes);
  EXPECT_EQ(B3D_GetBodyID("b1"), 20000);  // names kept through the move
  BodyDataRow* grown = fixture_.engine().bodyDataRows;
  EXPECT_EQ(B3D_GetBodyID("b1001"), 20000 + kNameTableBlock);
  EXPECT_EQ(fixture_.engine().bodyDataRows, grown);  // once
}

}  // namespace
