// The icon type table: the lookup's steps on a hand-built table (special triples per class, the
// type record's icon, the subtype and group tables, the class-0 fallback, script values outside
// every table), the weapon and ammunition icons, and the "icontypes" loader in both forms with
// files that end early, name classes out of range or list a class twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/memory.h"
#include "engine_types/demo_engine_files.h"
#include "engine_types/type_file_writer.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "support/catalog_world.h"
#include "support/temp_dir.h"
#include "universe/type_world.h"

namespace {

// A hand-built table: ships with every kind of entry, missiles and docks with a special triple
// and a type-record icon, suns with an empty row.
class IconLookup : public TypeWorld {
 protected:
  void SetUp() override {
    ObjectTypeRecord* ships = Rows(kClassShip, 3);
    ships[2].group = 2;
    ObjectTypeRecord* missiles = Rows(kClassMissile, 2);
    missiles[0].missile.icon = 99;
    ObjectTypeRecord* docks = Rows(kClassDock, 2);
    docks[1].station.icon = 65;
    ObjectTypeRecord* lasers = Rows(kClassLaser, 1);
    lasers[0].laser.icon = 44;

    IconTypeRow& ship = rows_[kClassShip];
    const int32_t shipIcons[6] = {10, 11, 12, 20, 21, 22};
    std::copy(shipIcons, shipIcons + 6, ship.icons);
    shipSubtypes_[3 * 1 + 0] = 30;
    shipSubtypes_[3 * 1 + 1] = 31;
    ship.subtypeIcons = shipSubtypes_;
    ship.subtypeCount = 3;
    shipGroups_[3 * 2 + 0] = 40;
    shipGroups_[3 * 2 + 2] = 42;
    ship.secondIcons = shipGroups_;
    ship.secondCount = 16;

    const int32_t missileIcons[6] = {55, 0, 0, 50, 51, 52};
    std::copy(missileIcons, missileIcons + 6, rows_[kClassMissile].icons);
    rows_[kClassDock].icons[3] = 60;
  }

  IconTypeRow rows_[kIconTypeClassCount] = {};
  int32_t shipSubtypes_[9] = {};
  int32_t shipGroups_[48] = {};
};

TEST_F(IconLookup, EachStepAnswersInTurnAndScriptValuesOutsideTheTableFallBack) {
  struct Case {
    const char* what;
    int32_t objClass, subtype;
    uint32_t flags;
    int32_t icon;
  };
  const Case kCases[] = {
      {"empty row, empty class-0 row", kClassSun, 0, 0, 186},
      {"ship special plain", kClassShip, 0, 0x10000, 20},
      {"pick prefers the flag-2 variant", kClassShip, 0, 0x10000 | 2 | 8, 21},
      {"then the flag-8 one", kClassShip, 0, 0x10000 | 8, 22},
      {"ship without 0x10000: subtype table", kClassShip, 1, 0, 30},
      {"a missing flag-8 variant gives the plain icon", kClassShip, 1, 8, 30},
      {"group table by the type's group", kClassShip, 2, 8, 42},
      {"default triple", kClassShip, 0, 2, 11},
      {"missile without 0x80 skips its type icon", kClassMissile, 0, 0, 55},
      {"missile with 0x80", kClassMissile, 0, 0x80 | 2, 51},
      {"a ship's 0x80 is no missile flag", kClassShip, 0, 0x80, 10},
      {"dock without 0x40000 keeps its type icon", kClassDock, 1, 0, 65},
      {"dock with 0x40000", kClassDock, 1, 0x40000, 60},
      {"dock without any icon", kClassDock, 0, 0, 186},
      {"laser never takes its type icon", kClassLaser, 0, 0, 186},
      {"class 40", 40, 0, 0x10000, 186},
      {"class -1", -1, 0, 0, 186},
      {"subtype beyond both tables", kClassShip, 99, 0, 10},
      {"negative subtype", kClassShip, -5, 2, 11},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GetObjectIconId(rows_, c.objClass, c.subtype, c.flags), c.icon);
  }
  // A class-0 default triple replaces 186, picked with the same flags.
  const int32_t fallback[3] = {7, 8, 0};
  std::copy(fallback, fallback + 3, rows_[0].icons);
  EXPECT_EQ(GetObjectIconId(rows_, kClassSun, 0, 0), 7);
  EXPECT_EQ(GetObjectIconId(rows_, 40, 0, 2), 8);
  EXPECT_EQ(GetObjectIconId(rows_, -1, 0, 8), 7);
}

TEST_F(IconLookup, WeaponIconsComeFromTypeRecordsOfClassesFiveToTenAndAmmunitionIsFixed) {
  struct Case {
    int32_t objClass, subtype, weapon, ammunition;
  };
  const Case kCases[] = {
      {kClassDock, 1, 65, 0},   {kClassLaser, 0, 44, 0},  {kClassMissile, 0, 99, 0}, {kClassMissile, 7, 0, 0},
      {kClassBullet, 0, 0, 0},  {kClassWareFirst, 3, 0, 80}, {16, 42, 0, 76},       {16, 91, 0, 79},
      {16, 93, 0, 77},          {16, 94, 0, 78},          {16, 43, 0, 0},           {-3, 42, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.objClass << "/" << c.subtype);
    EXPECT_EQ(GetWeaponIconId(c.objClass, c.subtype), c.weapon);
    EXPECT_EQ(GetAmmunitionIconId(c.objClass, c.subtype), c.ammunition);
  }
}

// The loader over files in the game folder, with ship types named by id.
class IconTypesFile : public TypeWorld {
 protected:
  void SetUp() override {
    ObjectTypeRecord* ships = Rows(kClassShip, 3);
    ships[1].typeId = const_cast<char*>("SS_SH_B");
    ships[2].typeId = const_cast<char*>("SS_SH_C");
    Rows(kClassMissile, 2);
    world_.dir().Write("types/.keep", "");
    bytes_ = gMemCounters.categoryBytes[kMemCatDefault];
  }
  void TearDown() override {
    FreeIconTypeTables(rows_);
    EXPECT_EQ(gMemCounters.categoryBytes[kMemCatDefault], bytes_);
    TypeWorld::TearDown();
  }
  bool LoadText(const std::string& text) {
    world_.dir().Write("types/icontypes.txt", text);
    FreeIconTypeTables(rows_);
    const bool loaded = LoadIconTypes(rows_);
    std::filesystem::remove(world_.dir().File("types/icontypes.txt"));
    return loaded;
  }
  static const int32_t* Triple(const int32_t* table, int32_t row) { return table + 3 * row; }

  CatalogWorld world_;
  IconTypeRow rows_[kIconTypeClassCount] = {};
  uint32_t bytes_ = 0;
};

constexpr char kShipsAndMissiles[] =
    "/ ships\n"
    "SSTYPE_SHIP; ICON_LSR_IRE1; ICON_LSR_IRE1_HL; 0; ICON_LSR_IRE2; 0; 0;\n"
    "2;\n"
    "SS_SH_C; ICON_LSR_PAC1; 0; ICON_LSR_PAC2;\n"
    "1; ICON_LSR_HEPT1; 0; 0;\n"
    "1;\n"
    "SG_SH_M0; ICON_AMMUNITION_ALPHA; 0; 0;\n"
    "SSTYPE_MISSILE; ICON_AMMUNITION_ENERGY; 0; 0; 0; 0; 0; 0; 0;\n";

TEST_F(IconTypesFile, ATextFileWithSymbolsFillsRowsAndTablesAndTheBinaryFormLoadsTheSame) {
  ASSERT_TRUE(LoadText(kShipsAndMissiles));
  const IconTypeRow& ship = rows_[kClassShip];
  const int32_t shipIcons[6] = {1, 2, 0, 3, 0, 0};
  EXPECT_TRUE(std::equal(shipIcons, shipIcons + 6, ship.icons));
  ASSERT_EQ(ship.subtypeCount, 3);
  EXPECT_EQ(Triple(ship.subtypeIcons, 2)[0], 5);
  EXPECT_EQ(Triple(ship.subtypeIcons, 2)[2], 7);
  EXPECT_EQ(Triple(ship.subtypeIcons, 1)[0], 9);
  EXPECT_EQ(Triple(ship.subtypeIcons, 0)[0], 0);
  ASSERT_EQ(ship.secondCount, 16);
  EXPECT_EQ(Triple(ship.secondIcons, 2)[0], 76);
  EXPECT_EQ(rows_[kClassMissile].icons[0], 80);
  EXPECT_EQ(rows_[kClassMissile].subtypeIcons, nullptr);

  // Our writer's binary form of the same table loads into the same rows.
  ASSERT_TRUE(WriteIconTypes("types/icontypes.pck", true, rows_));
  IconTypeRow again[kIconTypeClassCount] = {};
  ASSERT_TRUE(LoadIconTypes(again));
  std::filesystem::remove(world_.dir().File("types/icontypes.pck"));
  for (int c = 0; c < kIconTypeClassCount; ++c) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(std::equal(rows_[c].icons, rows_[c].icons + 6, again[c].icons));
    ASSERT_EQ(again[c].subtypeCount, rows_[c].subtypeCount);
    ASSERT_EQ(again[c].secondCount, rows_[c].secondCount);
    for (int32_t k = 0; k < 3 * rows_[c].subtypeCount; ++k) EXPECT_EQ(again[c].subtypeIcons[k], rows_[c].subtypeIcons[k]);
    for (int32_t k = 0; k < 3 * rows_[c].secondCount; ++k) EXPECT_EQ(again[c].secondIcons[k], rows_[c].secondIcons[k]);
  }
  FreeIconTypeTables(again);

  // And the writer's text form too.
  ASSERT_TRUE(WriteIconTypes("types/icontypes.txt", false, rows_));
  ASSERT_TRUE(LoadIconTypes(again));
  std::filesystem::remove(world_.dir().File("types/icontypes.txt"));
  EXPECT_EQ(Triple(again[kClassShip].secondIcons, 2)[0], 76);
  EXPECT_EQ(Triple(again[kClassShip].subtypeIcons, 2)[2], 7);
  FreeIconTypeTables(again);
}

TEST_F(IconTypesFile, BadClassesEndTheFileAndBadKeysEndTheirListKeepingWhatWasRead) {
  struct Case {
    const char* what;
    std::string text;
    int32_t shipIcon, missileIcon, subtype2, subtype1;
  };
  const std::string ship = "SSTYPE_SHIP; ICON_LSR_IRE1; 0; 0; 0; 0; 0;\n";
  const std::string missile = "SSTYPE_MISSILE; ICON_AMMUNITION_ENERGY; 0; 0; 0; 0; 0; 0; 0;\n";
  const Case kCases[] = {
      {"class above 31", ship + "0; 0;\n32; 5; 0; 0; 0; 0; 0; 0; 0;\n" + missile, 1, 0, 0, 0},
      {"negative class", ship + "0; 0;\n-1; 5; 0; 0; 0; 0; 0; 0; 0;\n" + missile, 1, 0, 0, 0},
      {"unknown class symbol", ship + "0; 0;\nSSTYPE_NOTHING;\n" + missile, 1, 0, 0, 0},
      // What follows a list that ended early is read as the next field: here the end of the file.
      {"subtype out of range ends its list", ship + "3;\n2; 5; 0; 0;\n3; 7; 0; 0;\n", 1, 0, 5, 0},
      {"unknown type name ends its list", ship + "2;\nSS_NONE; 5; 0; 0;\n1; 7; 0; 0;\n0;\n" + missile, 1, 0, 0, 0},
      {"group out of range ends its list", ship + "0;\n1;\n16; 5; 0; 0;\n" + missile, 1, 0, 0, 0},
      {"a file cut short keeps what was read", ship + "0; 0;\n" + missile.substr(0, 40), 1, 80, 0, 0},
      {"a class listed twice replaces its tables", ship + "1; 1; 5; 0; 0; 0;\n" + ship + "1; 2; 9; 0; 0; 0;\n" + missile,
       1, 80, 9, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(LoadText(c.text));
    EXPECT_EQ(rows_[kClassShip].icons[0], c.shipIcon);
    EXPECT_EQ(rows_[kClassMissile].icons[0], c.missileIcon);
    const IconTypeRow& s = rows_[kClassShip];
    EXPECT_EQ(s.subtypeIcons ? Triple(s.subtypeIcons, 2)[0] : 0, c.subtype2);
    EXPECT_EQ(s.subtypeIcons ? Triple(s.subtypeIcons, 1)[0] : 0, c.subtype1);
  }
}

// The demo's generated file: the ship row's three standings, nothing else.
TEST_F(IconTypesFile, TheDemosFileGivesShipsTheirIcons) {
  const typetool::TypeFile file = typetool::DemoIconTypesFile();
  ASSERT_TRUE(LoadText(typetool::TypeFileBytes(world_.dir().File("types/scratch.txt"), file.fields, false)));
  const int32_t expected[6] = {389, 390, 391, 0, 0, 0};
  EXPECT_TRUE(std::equal(expected, expected + 6, rows_[kClassShip].icons));
  EXPECT_EQ(rows_[kClassShip].subtypeCount, 0);
  EXPECT_EQ(rows_[kClassShip].secondCount, 0);
  EXPECT_EQ(rows_[kClassMissile].icons[0], 0);
}

TEST_F(IconTypesFile, AMissingFileLeavesAClearedTable) {
  rows_[3].icons[0] = 5;
  EXPECT_FALSE(LoadIconTypes(rows_));
  for (const IconTypeRow& row : rows_) EXPECT_EQ(row.icons[0], 0);
}

}  // namespace
