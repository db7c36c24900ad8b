// The material table: the "Materials" file in both forms, the closest-material matcher and the
// colour distance it scores with.
#include "render/material_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "render/pixel_formats.h"
#include "support/catalog_world.h"

namespace {

// Three records; the second has no name and no keywords, the third is generated.
constexpr const char* kMaterialsText =
    "3;\n"
    "1; 2; 7; HSPEC_R; HSPEC_G; HSPEC_B; HAMB; MAMB; LAMB; DIF_COL; DIF_COL; 33; 10; TRANSP_NONE; 99;"
    " MPF_2SIDED|MPF_ALPHATEST; 64; 32; 1; 2; 3; LSHINY; 4; 5; 6; 7; 8; 9; wall;\n"
    "0; 0; 0; LSPEC_R; MSPEC_G; MSPEC_B; 1; 2; 3; 4; 5; 6; 11; 128; 0; 0; 0; 0; 0; 0; 0; MSHINY; 0; 0; 0; 0; 0; 0; ;\n"
    "9; 8; 200; HMETL_R; LMETL_G; HSPEC_B; AMBC; AMBC; AMBC; 0; 0; 0; 12; 0; 0; MPF_GENERATED|MPF_FONTSCALE;"
    " 128; 16; -1; -2; -3; HSHINY; -4; -5; -6; -7; -8; -9; panel;\n";

class ByteWriter {
 public:
  void Byte(uint8_t v) { bytes_.push_back(v); }
  void Half(uint16_t v) { Byte(static_cast<uint8_t>(v >> 8)), Byte(static_cast<uint8_t>(v)); }
  void Word(uint32_t v) { Half(static_cast<uint16_t>(v >> 16)), Half(static_cast<uint16_t>(v)); }
  void Text(const char* s) { bytes_.insert(bytes_.end(), s, s + std::strlen(s) + 1); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

struct BinaryRecord {
  uint8_t bytes[12];  // value0..2, specular, ambient, diffuse
  uint16_t texture;
  uint8_t transparency;
  uint32_t flags;
  int16_t halves[12];  // width .. value11
  const char* name;
};

const BinaryRecord kBinaryRecords[] = {
    {{1, 2, 7, 255, 255, 204, 64, 37, 21, 32, 32, 33}, 10, 255, 0x11, {64, 32, 1, 2, 3, 255, 4, 5, 6, 7, 8, 9}, "wall"},
    {{0, 0, 0, 0, 76, 61, 1, 2, 3, 4, 5, 6}, 11, 128, 0, {0, 0, 0, 0, 0, 127, 0, 0, 0, 0, 0, 0}, ""},
    {{9, 8, 200, 200, 76, 204, 32, 32, 32, 0, 0, 0},
     12,
     0,
     0x810000,
     {128, 16, -1, -2, -3, 0, -4, -5, -6, -7, -8, -9},
     "panel"},
};

std::vector<uint8_t> BinaryMaterials() {
  ByteWriter w;
  w.Word(3);
  for (const BinaryRecord& r : kBinaryRecords) {
    for (uint8_t b : r.bytes) w.Byte(b);
    w.Half(r.texture);
    w.Byte(r.transparency);
    w.Half(99);
    w.Word(r.flags);
    for (int16_t h : r.halves) w.Half(static_cast<uint16_t>(h));
    w.Text(r.name);
  }
  return w.bytes();
}

class Materials : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeMaterialTable();
    FreeTextureTables();
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    gTextureAddedCount = 0;
  }

  static void ReadFrom(void* data, size_t size, bool binary) {
    DataReader reader;
    DataReaderInit(&reader, data, binary, size);
    ReadMaterialSection(&reader);
  }
  static void ReadText(const std::string& text) {
    std::string copy = text;
    ReadFrom(copy.data(), copy.size() + 1, false);
  }
  static std::vector<MaterialRecord> Table() { return {gMaterialTable, gMaterialTable + gMaterialCount}; }
};

void ExpectEqualRecords(const MaterialRecord& a, const MaterialRecord& b, int index) {
  EXPECT_EQ(0, std::memcmp(&a.value0, &b.value0, 12)) << index;
  EXPECT_EQ(a.textureNumber, b.textureNumber) << index;
  EXPECT_EQ(a.transparency, b.transparency) << index;
  EXPECT_EQ(a.flags, b.flags) << index;
  EXPECT_EQ(a.width, b.width) << index;
  EXPECT_EQ(a.height, b.height) << index;
  EXPECT_EQ(0, std::memcmp(a.values345, b.values345, sizeof a.values345)) << index;
  EXPECT_EQ(a.shininess, b.shininess) << index;
  EXPECT_EQ(a.value6, b.value6) << index;
  EXPECT_EQ(a.value7, b.value7) << index;
  EXPECT_EQ(a.value8, b.value8) << index;
  EXPECT_EQ(a.value9, b.value9) << index;
  EXPECT_EQ(a.value10, b.value10) << index;
  EXPECT_EQ(a.value11, b.value11) << index;
}

TEST_F(Materials, TextAndBinaryFormsBuildEqualTablesWithKeywordsNamesAndFlags) {
  ReadText(kMaterialsText);
  ASSERT_EQ(gMaterialCount, 3);
  const std::vector<MaterialRecord> text = Table();
  const MaterialRecord& first = text[0];
  EXPECT_EQ(first.specular[0], 255);  // HSPEC_R
  EXPECT_EQ(first.specular[2], 204);  // HSPEC_B
  EXPECT_EQ(first.ambient[1], 37);    // MAMB
  EXPECT_EQ(first.diffuse[0], 32);    // DIF_COL
  EXPECT_EQ(first.transparency, 255);  // TRANSP_NONE
  EXPECT_EQ(first.shininess, 255);    // LSHINY
  EXPECT_EQ(first.flags, MPF_2SIDED | MPF_ALPHATEST);
  EXPECT_EQ(text[1].shininess, 127);
  EXPECT_EQ(text[2].value11, -9);

  // Names and flags land in the texture table under the record's id.
  EXPECT_EQ(gTextureFixedCount, 3);
  EXPECT_EQ(gTextureAddedCount, 0);
  EXPECT_STREQ(TextureNameOf(1), "1");  // no name: the number
  EXPECT_EQ(FindTextureByName("WALL", 0), 0);  // id 0 is never a texture, even with a name
  EXPECT_EQ(FindTextureByName("panel.tga", 0), 2);
  EXPECT_EQ(TextureGetFlags(2), MPF_GENERATED | MPF_FONTSCALE);
  EXPECT_EQ(TextureGetFlags(1), 0u);

  TearDown();
  std::vector<uint8_t> binary = BinaryMaterials();
  ReadFrom(binary.data(), binary.size(), true);
  ASSERT_EQ(gMaterialCount, 3);
  const std::vector<MaterialRecord> packed = Table();
  for (int i = 0; i < 3; ++i) ExpectEqualRecords(text[i], packed[i], i);
  EXPECT_EQ(FindTextureByName("panel", 0), 2);
}

TEST_F(Materials, CountZeroClearsBothTables) {
  ReadText(kMaterialsText);
  ASSERT_NE(gTextureTable, nullptr);
  ReadText("0;");
  EXPECT_EQ(gMaterialTable, nullptr);
  EXPECT_EQ(gTextureTable, nullptr);
  EXPECT_EQ(gMaterialCount, 0);
  EXPECT_EQ(gTextureFixedCount, 0);
}

TEST_F(Materials, EarlyEndLeavesTheRemainingRecordsZero) {
  std::vector<uint8_t> binary = BinaryMaterials();
  binary[3] = 5;  // five records announced, three given, the third cut short
  binary.resize(binary.size() - 12);
  ReadFrom(binary.data(), binary.size(), true);
  ASSERT_EQ(gMaterialCount, 5);
  EXPECT_EQ(gMaterialTable[1].textureNumber, 11);
  for (int i = 3; i < 5; ++i) {
    const MaterialRecord zero{};
    ExpectEqualRecords(gMaterialTable[i], zero, i);
  }
  // The broken record names and flags nothing.
  EXPECT_STREQ(TextureNameOf(2), "2");
  EXPECT_EQ(TextureGetFlags(2), 0u);
}

TEST_F(Materials, TheTypeFileIsFoundAmongTheGameFiles) {
  CatalogWorld world;
  world.WriteLoose("types/Materials.txt", kMaterialsText);
  ReadMaterials();
  ASSERT_EQ(gMaterialCount, 3);
  EXPECT_EQ(gMaterialTable[2].width, 128);
  TearDown();
  CatalogWorld empty;
  ReadMaterials();  // no file: no tables
  EXPECT_EQ(gMaterialTable, nullptr);
  EXPECT_EQ(gTextureTable, nullptr);
}

TEST(ColourConversion, PrimaryHuesAndBlack) {
  struct Case {
    int32_t rgb[3];
    int32_t hue, saturation, value;
  };
  const Case kCases[] = {
      {{65535, 0, 0}, 0, 65536, 65535},
      {{0, 65535, 0}, 120 << 16, 65536, 65535},
      {{0, 0, 65535}, 240 << 16, 65536, 65535},
      {{0, 0, 0}, 1, 0, 0},
      {{30000, 30000, 30000}, 1, 0, 30000},
  };
  for (const Case& c : kCases) {
    int32_t hsv[3];
    RgbToHsv(c.rgb, hsv);
    EXPECT_EQ(hsv[0], c.hue) << c.rgb[0] << "," << c.rgb[1] << "," << c.rgb[2];
    EXPECT_EQ(hsv[1], c.saturation);
    EXPECT_EQ(hsv[2], c.value);
  }
}

TEST(ColourConversion, HueDoesNotWrapAroundInTheDistance) {
  const uint8_t nearRedBelow[3] = {255, 0, 43};  // about 350 degrees
  const uint8_t nearRedAbove[3] = {255, 43, 0};  // about 10 degrees
  int32_t a[3];
  int32_t b[3];
  const int32_t wideA[3] = {255 * 257, 0, 43 * 257};
  const int32_t wideB[3] = {255 * 257, 43 * 257, 0};
  RgbToHsv(wideA, a);
  RgbToHsv(wideB, b);
  ASSERT_EQ(a[1], b[1]);
  ASSERT_EQ(a[2], b[2]);
  EXPECT_GT(a[0] - b[0], 339 << 16);  // 340 degrees apart, not 20
  EXPECT_EQ(ColorDistance(nearRedBelow, nearRedAbove), (a[0] - b[0]) / 180);
  EXPECT_EQ(ColorDistance(nearRedBelow, nearRedBelow), 0);
  // Value counts twice, saturation once.
  const uint8_t grey[3] = {100, 100, 100};
  const uint8_t white[3] = {255, 255, 255};
  EXPECT_EQ(ColorDistance(grey, white), 2 * (65535 - 100 * 257));
}

TEST_F(Materials, ClosestMaterialScoresTextureColoursAndTransparency) {
  MaterialRecord table[4] = {};
  table[0].textureNumber = 5;
  table[1].textureNumber = 7;
  table[1].transparency = 255;
  table[2].textureNumber = 7;
  table[2].transparency = 255;
  table[3].textureNumber = 7;
  table[3].transparency = 255;
  table[3].diffuse[0] = 200;
  gMaterialTable = table;
  gMaterialCount = 4;

  struct Case {
    const char* what;
    uint16_t texture;
    uint16_t diffuseRed;
    uint16_t transparency;
    int16_t index;
    uint16_t flags;
  };
  const Case kCases[] = {
      {"no texture matches: the first record", 99, 0, 0, 0, 0},
      {"equal scores: the lower index", 7, 0, 0, 1, 0},
      {"the closer diffuse colour wins", 7, 200, 0, 3, 0},
      {"any transparency marks the material", 7, 0, 1, 1, 4},
      {"full transparency marks it as well", 7, 0, 100, 1, 4},
  };
  for (const Case& c : kCases) {
    BodyColourMaterial m{};
    m.textureNumber = c.texture;
    m.diffuse[0] = c.diffuseRed;
    m.transparency = c.transparency;
    EXPECT_EQ(FindClosestMaterial(&m), c.index) << c.what;
    EXPECT_EQ(m.flags, c.flags) << c.what;
  }

  // A small transparency gap scores nothing: it counts in whole steps of 255.
  table[2].transparency = 0;
  BodyColourMaterial clear{};
  clear.textureNumber = 7;
  clear.transparency = 100;  // the record's 255 - 255 = 0 against record 2's 0 - 255
  EXPECT_EQ(FindClosestMaterial(&clear), 2);

  gMaterialCount = 0;
  BodyColourMaterial none{};
  EXPECT_EQ(FindClosestMaterial(&none), 0);
  gMaterialTable = nullptr;
}

}  // namespace
