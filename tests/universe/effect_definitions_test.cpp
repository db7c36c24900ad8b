// The effect table's reader: rows and entries in file order, names turned into sources, row flags
// gained from entries, the end of the file at a row index outside the table, duplicate rows and
// entry counts the data cannot hold; text and binary forms give the same table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/data_reader.h"
#include "engine_types/demo_universe_types.h"
#include "engine_types/type_file_writer.h"
#include "universe/effect_definitions.h"

using namespace typetool;

namespace {

constexpr int32_t kOne = 0x10000;

Fields Row(int32_t index, int32_t count, uint32_t flags = 0) {
  return {Int(index), Int(count), Flags(flags, kEffectRowFlagNames), Int(7), Fixed(kOne / 2)};
}

Fields Entry(uint32_t flags, const std::string& name, int32_t delay = 0) {
  const bool rel = flags & EEDF_RELATIVESIZE;
  auto off = [rel](int32_t v) { return rel ? Fixed(v) : Int(v); };
  return {Flags(flags, kEffectEntryFlagNames), Flags(I3DF_2D, kEffectInstanceFlagNames), Str(name), Fixed(kOne),
          Fixed(2 * kOne), Int(400), Fixed(kOne / 4), off(1), off(-2), off(3), Int(5), Int(6), Fixed(kOne / 8),
          Int(delay)};
}

Fields Propagation() {
  return {Flags(EEDF_PROPAGATE, kEffectEntryFlagNames), Flags(0, kEffectInstanceFlagNames), Int(4), Int(2), Int(5),
          Int(100), Int(400), Int(3), Int(50), Fixed(kOne / 4), Int(9)};
}

Fields Join(std::initializer_list<Fields> parts) {
  Fields f;
  for (const Fields& p : parts) f.insert(f.end(), p.begin(), p.end());
  return f;
}

class EffectDefinitions : public ::testing::Test {
 protected:
  void TearDown() override { FreeEffectDefinitions(); }

  void Load(const Fields& fields, bool binary) {
    FreeEffectDefinitions();
    bytes_ = TypeFileBytes(binary ? "effects_test.pck" : "effects_test.txt", fields, binary);
    std::vector<uint8_t> data(bytes_.begin(), bytes_.end());
    data.push_back(0);
    DataReader reader;
    DataReaderInit(&reader, data.data(), binary, binary ? data.size() - 1 : data.size());
    ReadEffectDefinitions(&reader);
  }

  std::string bytes_;
};

TEST_F(EffectDefinitions, RowsEntriesAndSourcesInBothForms) {
  const Fields file = Join({{Int(1)},
                            Row(3, 3),
                            Entry(EEDF_LIGHT | EEDF_TIMEOUT, "12"),
                            Entry(EEDF_LIGHT, "abc"),
                            Entry(EEDF_BREAKUP | EEDF_RELATIVESIZE, "7", 250),
                            Row(998, 1),
                            Propagation(),
                            {Int(-1)}});
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    Load(file, binary);
    const EffectDefinitionRow& row = gEffectRows[3];
    ASSERT_EQ(row.entryCount, 3);
    EXPECT_EQ(row.flags, EDF_BREAKUP);
    EXPECT_EQ(row.valueA, 7);
    EXPECT_EQ(row.valueB, kOne / 2);
    const EffectDefinitionEntry& light = row.entries[0];
    EXPECT_EQ(light.sourceId, 12);
    EXPECT_EQ(light.flags, EEDF_LIGHT | EEDF_TIMEOUT);
    EXPECT_EQ(light.instanceFlags, I3DF_2D);
    EXPECT_EQ(light.sizeA, kOne);
    EXPECT_EQ(light.sizeB, 2 * kOne);
    EXPECT_EQ(light.duration, 400);
    EXPECT_EQ(light.rotation, kOne / 4);
    EXPECT_EQ(light.offset[1], -2);
    EXPECT_EQ(light.lensFlareId, 5);
    EXPECT_EQ(light.lensFlareValue, 6);
    EXPECT_EQ(light.speedFactor, kOne / 8);
    EXPECT_EQ(row.entries[1].sourceId, -1);
    EXPECT_EQ(row.entries[2].sourceId, 7);
    EXPECT_EQ(row.entries[2].offset[2], 3);
    EXPECT_EQ(row.entries[2].startDelay, 250);
    // A propagation entry reads no name: its parameters follow the flags directly.
    const EffectDefinitionRow& spread = gEffectRows[998];
    ASSERT_EQ(spread.entryCount, 1);
    EXPECT_EQ(spread.flags, EDF_PROPAGATE);
    const EffectDefinitionEntry& p = spread.entries[0];
    EXPECT_EQ(p.sourceId, -1);
    EXPECT_EQ(p.propagation.row, 4);
    EXPECT_EQ(p.propagation.stepsMax, 5);
    EXPECT_EQ(p.propagation.intervalLast, 400);
    EXPECT_EQ(p.propagation.extraDelay, 50);
    EXPECT_EQ(p.propagation.bandWidth, kOne / 4);
    EXPECT_EQ(p.startDelay, 9);
  }
}

TEST_F(EffectDefinitions, BadRowIndexOrCountEndsTheFileWithEarlierRowsStanding) {
  struct Case {
    const char* name;
    Fields tail;
  };
  const Case kCases[] = {
      {"index 1000", Join({Row(1000, 1), Entry(0, "5"), Row(6, 1), Entry(0, "5")})},
      {"index -1", Join({Row(-1, 1), Entry(0, "5"), Row(6, 1), Entry(0, "5")})},
      {"negative count", Join({Row(6, -1), Entry(0, "5"), Row(7, 1), Entry(0, "5")})},
      {"count beyond the data", Join({Row(6, 100000), Entry(0, "5"), Row(7, 1), Entry(0, "5")})},
  };
  for (const Case& c : kCases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (binary ? " binary" : " text"));
      Load(Join({{Int(1)}, Row(5, 1), Entry(0, "9"), c.tail}), binary);
      ASSERT_EQ(gEffectRows[5].entryCount, 1);
      EXPECT_EQ(gEffectRows[5].entries[0].sourceId, 9);
      EXPECT_EQ(gEffectRows[6].entryCount, 0);
      EXPECT_EQ(gEffectRows[6].entries, nullptr);
      EXPECT_EQ(gEffectRows[7].entryCount, 0);
    }
  }
}

TEST_F(EffectDefinitions, LaterDuplicateRowReplacesTheEarlier) {
  // The sanitizer's leak check sees the first row's entries if they are not freed.
  Load(Join({{Int(1)}, Row(2, 2), Entry(0, "3"), Entry(0, "4"), Row(2, 1, EDF_REINIT), Entry(0, "8"), {Int(-1)}}),
       false);
  ASSERT_EQ(gEffectRows[2].entryCount, 1);
  EXPECT_EQ(gEffectRows[2].flags, EDF_REINIT);
  EXPECT_EQ(gEffectRows[2].entries[0].sourceId, 8);
}

TEST_F(EffectDefinitions, DemoFileGivesTheSameTableInBothForms) {
  const TypeFile demo = DemoEffectsFile();
  std::vector<std::vector<int32_t>> tables;
  for (bool binary : {false, true}) {
    Load(demo.fields, binary);
    std::vector<int32_t> words;
    for (const EffectDefinitionRow& row : gEffectRows) {
      words.insert(words.end(), {row.entryCount, static_cast<int32_t>(row.flags), row.valueA, row.valueB});
      for (int32_t i = 0; i < row.entryCount; ++i) {
        const auto* w = reinterpret_cast<const int32_t*>(&row.entries[i]);
        words.insert(words.end(), w, w + sizeof(EffectDefinitionEntry) / sizeof(int32_t));
      }
    }
    tables.push_back(words);
  }
  EXPECT_EQ(tables[0], tables[1]);
  EXPECT_EQ(gEffectRows[2].entryCount, 3);
  EXPECT_EQ(gEffectRows[2].flags, EDF_REINIT | EDF_BREAKUP);
  EXPECT_EQ(gEffectRows[3].flags, EDF_PROPAGATE);
}

}  // namespace
