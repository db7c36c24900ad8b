// The engine's eight type files: each loads its text form and its binary twin to equal tables,
// the defaults and limits of each table, the icon names, and damaged files (negative and huge
// counts, bad table and slot numbers) that end a file with what was read.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "core/data_reader.h"
#include "catalog/catalog_builder.h"
#include "engine_types/demo_engine_files.h"
#include "render/texture_table.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "support/engine_type_world.h"

namespace {

using typetool::Fields;
using typetool::Fixed;
using typetool::Int;
using typetool::Key;
using typetool::Str;

// A printable picture of a table, so two loads compare as one string.
std::string BodyRows(const EngineState3D& e) {
  std::ostringstream s;
  for (int32_t id : {1, 2, 5, 10005}) {
    const BodyDataRow& r = e.bodyDataRows[BodyDataRowIndex(id)];
    s << id << ":" << r.value0 << "," << r.value1 << "," << r.value2 << "," << (r.fileName ? r.fileName : "-") << ","
      << r.loaded << "," << r.value5 << "," << r.useCount << ";";
  }
  return s.str();
}

std::string CutRows(const EngineState3D& e) {
  std::ostringstream s;
  for (int32_t id : {0, 1, 2, 3}) {
    const CutDataRow& r = e.cutDataRows[id];
    s << (r.fileName ? r.fileName : "-") << "," << r.missing << ";";
  }
  return s.str();
}

std::string LightRows(const EngineState3D& e) {
  std::ostringstream s;
  for (const LightTypeRecord& r : e.lightTypes)
    s << r.kind << "," << r.red << "," << r.green << "," << r.blue << "," << r.secondValue << "," << r.parameter << ","
      << r.words[0] << "," << r.words[1] << ";";
  return s.str();
}

std::string ParticleRows(const EngineState3D& e) {
  std::ostringstream s;
  for (int slot = 0; slot < kParticleTypeCount; ++slot) {
    const ParticleTypeRow& r = e.particleTypes[slot];
    if (r.kindCount == 0 && r.words[0] == 0) continue;
    s << slot << ":" << r.words[0] << "," << r.kindCount << "[";
    for (int32_t k = 0; k < r.kindCount; ++k)
      for (int32_t w : r.kinds[k].words) s << w << " ";
    s << "];";
  }
  return s.str();
}

std::string FlareRows(const EngineState3D& e) {
  std::ostringstream s;
  s << e.lensFlareTypeCount << ":";
  for (int32_t f = 0; f < e.lensFlareTypeCount; ++f) {
    s << e.lensFlareTypes[f].elementCount << "[";
    for (int32_t k = 0; k < e.lensFlareTypes[f].elementCount; ++k)
      for (int32_t w : e.lensFlareTypes[f].elements[k].words) s << w << " ";
    s << "]";
  }
  return s.str();
}

std::string DummyRows(const EngineState3D& e) {
  std::ostringstream s;
  for (int32_t id : {1, 2, 9}) s << e.bodyDataRows[id].value5 << ",";
  return s.str();
}

std::string IconRows(const EngineState3D& e) {
  std::ostringstream s;
  for (const IconSet& set : e.iconTables) {
    s << set.textureId << "," << set.textureWidth << "," << set.textureHeight << "," << set.iconCount << "[";
    for (int32_t k = 0; k < set.iconCount; ++k) {
      const IconRecord& i = set.icons[k];
      s << i.id << " " << i.type << " " << i.x << " " << i.y << " " << i.width << " " << i.height << "|";
    }
    s << "]";
  }
  return s.str();
}

std::string SkinRows(const EngineState3D& e) {
  std::ostringstream s;
  for (uint32_t k = 0; k < e.textureRemapCount; ++k) {
    const TextureRemapRow& r = e.textureRemaps[k];
    s << r.textureId << "," << (r.name ? r.name : "-") << "," << r.pairCount << "[";
    for (int32_t p = 0; p < r.pairCount; ++p) s << r.sources[p] << ">" << r.replacements[p] << " ";
    s << "]";
  }
  return s.str();
}

struct Loader {
  const char* file;
  std::function<void(EngineState3D*)> load;
  std::function<std::string(const EngineState3D&)> picture;
  const char* expected;  // a part of the picture the demo file must give
};

const Loader kLoaders[] = {
    {"BodyData", [](EngineState3D*) { LoadBodyData(); }, BodyRows, "10005:4,5,6,v\\10005"},
    {"CutData", [](EngineState3D*) { LoadCutData(); }, CutRows, "cut\\00002,0"},
    {"LightTypes", [](EngineState3D*) { EXPECT_TRUE(LoadLightTypes()); }, LightRows, "2,255,200,100,1,5000,7,8000;"},
    {"Particles3", [](EngineState3D*) { EXPECT_TRUE(LoadParticles3()); }, ParticleRows, "3:0,2["},
    {"Lensflares", [](EngineState3D* e) { LoadLensflares(e); }, FlareRows, "2:2["},
    {"BodyDummies", [](EngineState3D* e) { LoadBodyDummies(e); }, DummyRows, "0,0,1,"},
    {"IconData", [](EngineState3D*) { LoadIconData(); }, IconRows, "256,128,3[1 0 0 0 16 16|498"},
    {"Skins", [](EngineState3D*) { EXPECT_TRUE(LoadSkins()); }, SkinRows, "7,hull red,2["},
};

const typetool::TypeFile& DemoFile(const std::string& name) {
  static const std::vector<typetool::TypeFile> files = typetool::DemoTypeFiles();
  for (const typetool::TypeFile& f : files)
    if (name == f.name) return f;
  throw std::runtime_error("no demo file " + name);
}

TEST(EngineTypes, EachLoaderReadsTextAndBinaryTwinsToEqualTables) {
  for (const Loader& loader : kLoaders) {
    SCOPED_TRACE(loader.file);
    const typetool::TypeFile& file = DemoFile(loader.file);
    std::string pictures[2];
    for (bool binary : {false, true}) {
      EngineTypeWorld world;
      world.WriteTypeFile(file.name, file.fields, binary, file.sections, file.sectionCount);
      loader.load(&world.engine());
      pictures[binary] = loader.picture(world.engine());
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    EXPECT_NE(pictures[0].find(loader.expected), std::string::npos) << pictures[0];
  }
}

// The start-up's step over the demo's files as the demo packs them: gzip slices of a catalog.
TEST(EngineTypes, StartUpReadsTheDemoFilesFromACatalog) {
  EngineTypeWorld world;
  std::vector<catalog_tool::PackedFile> files;
  for (const typetool::TypeFile& file : typetool::DemoTypeFiles()) {
    const std::string bytes =
        typetool::TypeFileBytes(world.world.dir().File("staged.txt"), file.fields, false, file.sections, file.sectionCount);
    files.push_back({std::string("types\\") + file.name + ".txt", catalog_tool::GzipBytes(bytes)});
  }
  ASSERT_EQ(world.world.AddCatalog(0, "01.cat", files), 1);
  LoadEngineTypeFiles();
  LoadIconData();
  LoadSkins();
  const EngineState3D& e = world.engine();
  EXPECT_STREQ(e.bodyDataRows[1005].fileName, "v\\10005");
  EXPECT_STREQ(e.cutDataRows[2].fileName, "cut\\00002");
  EXPECT_EQ(e.lightTypes[1].kind, 2);
  EXPECT_EQ(e.particleTypes[3].kindCount, 2);
  ASSERT_EQ(e.lensFlareTypeCount, 2);
  EXPECT_EQ(e.lensFlareTypes[0].elements[0].words[0], 6) << "body names resolve through the BodyData just read";
  EXPECT_EQ(e.bodyDataRows[2].value5, 1);
  EXPECT_EQ(e.iconTables[3].iconCount, 3);
  EXPECT_EQ(e.textureRemapCount, 2u);
}

TEST(EngineTypes, MissingFilesLeaveDefaults) {
  EngineTypeWorld world;
  world.engine().bodyDataRows[5].value5 = 1;
  LoadBodyData();
  LoadCutData();
  EXPECT_TRUE(LoadLightTypes());
  EXPECT_TRUE(LoadParticles3());
  LoadLensflares(&world.engine());
  LoadIconData();
  EXPECT_TRUE(LoadSkins());
  const BodyDataRow& row = world.engine().bodyDataRows[5];
  EXPECT_EQ(row.value0, -2);
  EXPECT_EQ(row.value1, -2);
  EXPECT_EQ(row.value2, -1);
  EXPECT_EQ(row.value5, 1);
  EXPECT_EQ(world.engine().lensFlareTypeCount, 0);
  EXPECT_EQ(world.engine().textureRemapCount, 0u);
  const LightTypeRecord& light = world.engine().lightTypes[123];
  EXPECT_EQ(light.kind, 1);
  EXPECT_EQ(light.red, 28);
  EXPECT_EQ(light.green, 56);
  EXPECT_EQ(light.blue, 85);
  EXPECT_EQ(world.engine().lightTypes[999].red, 255);
}

TEST(EngineTypes, LightTypesEndAtTheDataOrFailOnABadIndex) {
  struct Case {
    const char* what;
    Fields fields;
    bool result;
    int16_t kindOf7;
  };
  const Case kCases[] = {
      {"ends right after an index", {Int(2), Int(7), Int(3), Int(1), Int(2), Int(3), Int(0), Int(0), Int(0), Int(0), Int(8)},
       true, 3},
      {"index 1000", {Int(2), Int(7), Int(2), Int(1), Int(2), Int(3), Int(0), Int(0), Int(0), Int(0), Int(1000), Int(1)},
       false, 2},
      {"negative index", {Int(1), Int(-1), Int(2)}, false, 1},
  };
  for (const Case& c : kCases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (binary ? " binary" : " text"));
      EngineTypeWorld world;
      world.WriteTypeFile("LightTypes", c.fields, binary);
      EXPECT_EQ(LoadLightTypes(), c.result);
      EXPECT_EQ(world.engine().lightTypes[7].kind, c.kindOf7);
      EXPECT_EQ(world.engine().lightTypes[8].kind, 1);
    }
  }
}

TEST(EngineTypes, BodyIdsMapToTheirRowsAndTheDummyFlagSurvivesAReload) {
  EngineTypeWorld world;
  EngineState3D& e = world.engine();
  world.WriteTypeFile("BodyData",
                      {Int(3), Int(5), Int(1), Int(2), Int(3), Str("five"), Int(10005), Int(4), Int(5), Int(6),
                       Str("ten thousand five"), Int(20000), Int(7), Int(8), Int(9), Str("dynamic")},
                      false);
  e.bodyDataRows[5].useCount = 3;
  LoadBodyData();
  EXPECT_STREQ(e.bodyDataRows[5].fileName, "five");
  EXPECT_EQ(e.bodyDataRows[5].value2, 3);
  EXPECT_EQ(e.bodyDataRows[5].useCount, 0);
  EXPECT_STREQ(e.bodyDataRows[1005].fileName, "ten thousand five");
  EXPECT_EQ(e.bodyDataAddedRows, 0) << "id 20000 names no row while the second count is 0";

  world.WriteTypeFile("BodyDummies", {Int(2), Str("five"), Str("10005")}, true);
  LoadBodyDummies(&e);
  EXPECT_EQ(e.bodyDataRows[5].value5, 1);
  EXPECT_EQ(e.bodyDataRows[1005].value5, 1);
  LoadBodyData();
  EXPECT_EQ(e.bodyDataRows[5].value5, 1) << "the dummy flag is never reset by the loaders";
  EXPECT_STREQ(e.bodyDataRows[5].fileName, "five");
}

TEST(EngineTypes, ParticleNamedFieldsLandInWords23To29) {
  EngineTypeWorld world;
  const typetool::TypeFile& file = DemoFile("Particles3");
  world.WriteTypeFile(file.name, file.fields, false, file.sections, file.sectionCount);
  ASSERT_TRUE(LoadParticles3());
  const ParticleTypeRow& slot = world.engine().particleTypes[3];
  ASSERT_EQ(slot.kindCount, 2);
  const int32_t* w = slot.kinds[0].words;
  EXPECT_EQ(w[5], 3) << "PEDF_2D|PEDF_TRAIL";
  EXPECT_EQ(w[0], FindTextureByName("effects\\spark", 0));
  const int32_t named[] = {250, 3 * 65536, 1024, 400, 600, -65536, 5 * 32768};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(w[23 + i], named[i]) << "word " << 23 + i;
  EXPECT_EQ(slot.kinds[1].words[28], 32768);
  EXPECT_EQ(slot.kinds[1].words[23], 0);
  EXPECT_EQ(world.engine().particleTypes[99].kindCount, 0);
}

TEST(EngineTypes, IconTablesOutsideZeroToNineAreSkipped) {
  const Fields entry = {Key("ICON_LSR_IRE1", 1), Key("NULL", 0), Int(1), Int(2), Int(3), Int(4)};
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    EngineTypeWorld world;
    Fields fields;
    // The text grammar reads no sign in a keyword field, so only the binary form can say -1.
    const std::vector<int32_t> tables = binary ? std::vector<int32_t>{12, -1, 2} : std::vector<int32_t>{12, 2};
    for (int32_t table : tables) {
      fields.insert(fields.end(), {Int(table), Str("NULL"), Int(8), Int(8), Int(1)});
      fields.insert(fields.end(), entry.begin(), entry.end());
    }
    world.WriteTypeFile("IconData", fields, binary);
    LoadIconData();
    for (int set = 0; set < kIconSetCount; ++set) EXPECT_EQ(world.engine().iconTables[set].iconCount, set == 2 ? 1 : 0);
    ASSERT_NE(B3D_GetIconData(2, 1), nullptr);
    EXPECT_EQ(B3D_GetIconData(2, 1)->height, 4);
  }
}

TEST(EngineTypes, IconNamesReadAsTheirIds) {
  struct Case {
    const char* name;
    int32_t id;
  };
  const Case kCases[] = {{"ICON_LSR_IRE1", 1},       {"ICON_TRG_MINE_ENEMY", 163}, {"ICON_TRG_ST_TRADING", 196},
                         {"ICON_TRG_STATION_ORANGE", 498}, {"ICON_QM_BUTTON", 1000}, {"ICON_AMMUNITION_ENERGY", 80}};
  for (const Case& c : kCases) {
    std::string text = std::string(c.name) + ";";
    DataReader reader;
    DataReaderInit(&reader, text.data(), false, text.size());
    EXPECT_EQ(ReadEnum(kIconNameTable, &reader), c.id) << c.name;
    EXPECT_EQ(reader.error, 0);
  }
  EXPECT_STREQ(kIconNameTable[kIconNameCount].name, "");
  EXPECT_EQ(kIconNameTable[kIconNameCount].value, 0);
}

TEST(EngineTypes, SkinsWithCountZeroEndTheLoad) {
  EngineTypeWorld world;
  world.WriteTypeFile("Skins", {Int(0), Int(7), Str("x"), Int(0)}, false);
  EXPECT_TRUE(LoadSkins());
  EXPECT_EQ(world.engine().textureRemapCount, 0u);
}

// Counts that the rest of a file cannot hold, or negative ones, end the file with what was read;
// nothing is sized by them.
TEST(EngineTypes, DamagedCountsEndTheFileWithWhatWasRead) {
  struct Case {
    const char* file;
    Fields fields;
    std::function<void(EngineState3D*)> load;
    std::function<void(const EngineState3D&)> check;
  };
  const Case kCases[] = {
      {"Particles3", {Int(1), Int(4), Int(-3), Key("NULL", 0)}, [](EngineState3D*) { EXPECT_FALSE(LoadParticles3()); },
       [](const EngineState3D& e) { EXPECT_EQ(e.particleTypes[4].kindCount, 0); }},
      {"Particles3", {Int(1), Int(4), Int(0x7FFFFFFF), Key("NULL", 0), Int(1)},
       [](EngineState3D*) { EXPECT_FALSE(LoadParticles3()); },
       [](const EngineState3D& e) { EXPECT_EQ(e.particleTypes[4].kinds, nullptr); }},
      {"Particles3", {Int(1), Int(100), Int(0), Key("NULL", 0)}, [](EngineState3D*) { EXPECT_FALSE(LoadParticles3()); },
       [](const EngineState3D&) {}},
      {"Lensflares", {Int(-2)}, [](EngineState3D* e) { LoadLensflares(e); },
       [](const EngineState3D& e) { EXPECT_EQ(e.lensFlareTypeCount, 0); }},
      {"Lensflares", {Int(0x40000000), Int(1)}, [](EngineState3D* e) { LoadLensflares(e); },
       [](const EngineState3D& e) { EXPECT_EQ(e.lensFlareTypes, nullptr); }},
      {"Lensflares", {Int(2), Int(1), Str("3"), Fixed(0), Int(1), Int(2), Int(3), Int(0x10000000)},
       [](EngineState3D* e) { LoadLensflares(e); },
       [](const EngineState3D& e) {
         ASSERT_EQ(e.lensFlareTypeCount, 2);
         EXPECT_EQ(e.lensFlareTypes[0].elementCount, 1);
         EXPECT_EQ(e.lensFlareTypes[0].elements[0].words[0], 3);
         EXPECT_EQ(e.lensFlareTypes[1].elements, nullptr);
       }},
      {"IconData", {Int(1), Str("NULL"), Int(8), Int(8), Int(-5)}, [](EngineState3D*) { LoadIconData(); },
       [](const EngineState3D& e) { EXPECT_EQ(e.iconTables[1].icons, nullptr); }},
      {"IconData", {Int(1), Str("NULL"), Int(8), Int(8), Int(1000000)}, [](EngineState3D*) { LoadIconData(); },
       [](const EngineState3D& e) { EXPECT_EQ(e.iconTables[1].iconCount, 0); }},
      {"Skins", {Int(-1)}, [](EngineState3D*) { EXPECT_TRUE(LoadSkins()); },
       [](const EngineState3D& e) { EXPECT_EQ(e.textureRemapCount, 0u); }},
      {"Skins", {Int(1), Int(7), Str("big"), Int(0x20000000), Str("a"), Str("b")},
       [](EngineState3D*) { EXPECT_TRUE(LoadSkins()); },
       [](const EngineState3D& e) {
         ASSERT_EQ(e.textureRemapCount, 1u);
         EXPECT_EQ(e.textureRemaps[0].pairCount, 0);
         EXPECT_STREQ(e.textureRemaps[0].name, "big");
       }},
      {"BodyData", {Int(-4), Int(5), Int(1), Int(1), Int(1), Str("x")}, [](EngineState3D*) { LoadBodyData(); },
       [](const EngineState3D& e) { EXPECT_EQ(e.bodyDataRows[5].fileName, nullptr); }},
      {"CutData", {Int(0x7FFFFFFF), Int(4), Str("cut\\x")}, [](EngineState3D*) { LoadCutData(); },
       [](const EngineState3D& e) { EXPECT_STREQ(e.cutDataRows[4].fileName, "cut\\x"); }},
  };
  for (const Case& c : kCases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::string(c.file) + (binary ? " binary" : " text"));
      EngineTypeWorld world;
      world.WriteTypeFile(c.file, c.fields, binary);
      c.load(&world.engine());
      c.check(world.engine());
    }
  }
}

}  // namespace
