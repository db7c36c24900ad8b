// The "TBackgrounds" export: the written file, read back field by field in the order the type
// loader reads a version-25 background line, gives the same rows except tail values 8 and 9
// (which that version does not carry); each type is one CR LF line; a write that cannot finish
// leaves the earlier file in place.
#include "universe/background_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/memory.h"
#include "core/type_files.h"
#include "scene/engine_lifecycle.h"
#include "scene/scene.h"
#include "support/catalog_world.h"
#include "universe/object_classes.h"

namespace {

// The fields a background line carries, as plain values.
struct BackgroundRow {
  int32_t bodyId, altBodyId;
  int32_t turnRate[3];
  int32_t group, nameTextId;
  std::string nebula;
  int32_t counts[3];
  int32_t values8[8], values7[7], values4[4];
  int32_t tail[kTypeTailValueCount];
  std::string typeId;
  bool operator==(const BackgroundRow&) const = default;
};

BackgroundRow FromRecord(const ObjectTypeRecord& r) {
  const BackgroundType& bg = r.background;
  BackgroundRow row{r.bodyId, r.altBodyId, {}, r.group, r.nameTextId, bg.nebulaName ? bg.nebulaName : "",
                    {bg.starsCount, bg.backdropCount, bg.outsideCount}, {}, {}, {}, {}, {}};
  std::copy(std::begin(r.turnRate), std::end(r.turnRate), row.turnRate);
  std::copy(std::begin(bg.values8), std::end(bg.values8), row.values8);
  std::copy(std::begin(bg.values7), std::end(bg.values7), row.values7);
  std::copy(std::begin(bg.values4), std::end(bg.values4), row.values4);
  std::copy(std::begin(r.tailValue), std::end(r.tailValue), row.tail);
  row.typeId = r.typeId ? r.typeId : "";
  return row;
}

// One line in the loader's order, with its version gates.
BackgroundRow ReadRow(DataReader* r, int32_t version) {
  BackgroundRow row{};
  row.bodyId = B3D_GetBodyID(ReadString(r).c_str());
  row.altBodyId = B3D_GetBodyID(ReadString(r).c_str());
  for (int32_t& rate : row.turnRate) rate = ReadFixed(r);
  row.group = ReadInt(r);
  row.nameTextId = ReadInt(r);
  row.nebula = ReadString(r);
  row.counts[0] = ReadInt(r);
  row.counts[1] = ReadInt(r);
  row.counts[2] = version >= kBackgroundOutsideVersion ? ReadInt(r) : 1;
  for (int32_t& v : row.values8) v = ReadInt(r);
  for (int32_t& v : row.values7) v = ReadInt(r);
  for (int32_t& v : row.values4) v = version >= kBackgroundValues4Version ? ReadInt(r) : 0;
  for (int k = 0; k < 6; ++k) row.tail[k] = ReadInt(r);
  row.tail[6] = version >= kTailValue7Version ? ReadInt(r) : kTailValue7Default;
  row.tail[7] = version >= kTailValue8Version ? ReadInt(r) : 0;
  row.tail[8] = version >= kTailValue9Version ? ReadInt(r) : 0;
  row.typeId = ReadString(r);
  return row;
}

class BackgroundExport : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory("types");
    ASSERT_NE(InitEngine3D(), nullptr);
    ObjectTypeRecord& a = rows_[0];
    a.bodyId = B3D_GetBodyID("environments\\nebulae\\blue\\nebula_blue");
    a.altBodyId = 5;  // a body with no name of its own
    a.turnRate[0] = 98304;
    a.turnRate[1] = 1;
    a.turnRate[2] = -12346;
    a.group = 3;
    a.nameTextId = 4021;
    a.background.nebulaName = blue_;
    a.background.starsCount = 4;
    a.background.backdropCount = 2;
    a.background.outsideCount = 3;
    for (int k = 0; k < 8; ++k) a.background.values8[k] = 100 + k;
    for (int k = 0; k < 7; ++k) a.background.values7[k] = -20 + 7 * k;
    for (int k = 0; k < 4; ++k) a.background.values4[k] = 50 + k;
    for (int k = 0; k < kTypeTailValueCount; ++k) a.tailValue[k] = 1000 * (k + 1);
    a.typeId = typeId_;
    ObjectTypeRecord& b = rows_[1];  // no bodies, no names
    b.bodyId = -1;
    b.altBodyId = 0;
    b.background.starsCount = b.background.backdropCount = b.background.outsideCount = 1;
    b.tailValue[6] = kTailValue7Default;
    b.tailValue[8] = 7;
    saved_ = gObjectTypeTables[kClassBackground];
    gObjectTypeTables[kClassBackground] = {rows_, 2};
  }
  void TearDown() override {
    gObjectTypeTables[kClassBackground] = saved_;
    ExitEngine3D();
  }
  std::string Contents(const char* path) const { return world_.dir().Read(path); }

  CatalogWorld world_{3};
  char blue_[5] = "blue";
  char typeId_[11] = "SS_BG_BLUE";
  ObjectTypeRecord rows_[2]{};
  ObjectTypeTable saved_{};
};

TEST_F(BackgroundExport, WrittenTypesReadBackAsTheSameRowsButTailValues8And9) {
  ASSERT_TRUE(WriteBackgrounds());
  EXPECT_FALSE(std::filesystem::exists("types/TBackgrounds.txt.tmp"));

  DataReader* r = OpenTypeFile("TBackgrounds", nullptr, 0);
  ASSERT_NE(r, nullptr);
  const int32_t version = ReadInt(r);
  const int32_t count = ReadInt(r);
  EXPECT_EQ(version, 25);
  ASSERT_EQ(count, 2);
  for (int32_t s = 0; s < count; ++s) {
    BackgroundRow expected = FromRecord(rows_[s]);
    expected.tail[7] = expected.tail[8] = 0;
    EXPECT_TRUE(ReadRow(r, version) == expected) << "row " << s;
  }
  EXPECT_EQ(r->error, 0);
  DataReaderClose(r);
  MemFree(r, sizeof(DataReader), 0);

  // The head, then one line per type, each ended by CR LF.
  const std::string text = Contents("types/TBackgrounds.txt");
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 3u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.rfind("25; 2; \r\n", 0), 0u) << text.substr(0, 20);
}

TEST_F(BackgroundExport, AWriteThatCannotFinishKeepsTheEarlierFile) {
  ASSERT_TRUE(WriteBackgrounds());
  const std::string before = Contents("types/TBackgrounds.txt");
  rows_[0].group = 9;
  std::filesystem::create_directory("types/TBackgrounds.txt.tmp");  // the temporary cannot be made
  EXPECT_FALSE(WriteBackgrounds());
  EXPECT_EQ(Contents("types/TBackgrounds.txt"), before);
  std::filesystem::remove("types/TBackgrounds.txt.tmp");
  EXPECT_TRUE(WriteBackgrounds());
  EXPECT_NE(Contents("types/TBackgrounds.txt"), before);
}

}  // namespace
