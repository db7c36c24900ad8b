// Object classes and type rows: the keyword tables read and written through one table, the class
// type files, the built-in rows of the camera class and class 21.
#include "universe/object_classes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The value a type file's text form gives for a keyword, through the data reader.
int32_t ReadKeyword(const DataKeyword* table, const char* name, bool* failed) {
  std::string text = std::string(name) + ";";
  DataReader reader{};
  DataReaderInit(&reader, text.data(), false, text.size());
  const int32_t value = ReadEnum(table, &reader);
  *failed = reader.error != 0;
  return value;
}

TEST(ObjectClasses, KeywordsReadAsTheirValuesAndValuesWriteAsTheirFirstKeyword) {
  struct Case {
    const DataKeyword* table;
    const char* name;
    int32_t value;
  };
  const Case kCases[] = {
      {kShipGroupNames, "SG_SH_TL", 0},
      {kShipGroupNames, "SG_SH_M8", 15},
      {kFactoryGroupNames, "SG_FAC_CCKIT", 8},
      {kDockGroupNames, "SG_DOCK_ZHUUL", 5},
      {kLaserGroupNames, "SG_LASER_IRE", 0},
      {kLaserGroupNames, "SG_LASER_KYON", 31},
      {kMissileGroupNames, "SG_MISSILE_DMBF", 14},
      {kShipScriptClassNames, "OBJ_SHIP_M0", 2020},
      {kShipScriptClassNames, "OBJ_SHIP_M8", 2142},
      {kShipScriptClassNames, "OBJ_FIGHTDRONE", 2067},
      {kShipScriptClassNames, "OBJ_SHIP_ZHUULCLUSTER", 2131},
      {kGlobalsSettingNames, "SG_MAXSTRAFEFACTOR_SMALLSHIP", 1},
      {kGlobalsSettingNames, "SG_HUE_ZEROPOS_MORVAI", 14},
      {kGlobalsSettingNames, "SG_SATMODIFIER_DEFAULT_IRROW", 68},
      {kGlobalsSettingNames, "SG_MM_METHOD", 69},
      {kGlobalsSettingNames, "SG_DETAILVISIBLE_MINDIST", 84},
      {kGlobalsSettingNames, "SG_CURSORSTEERING_DAMPING", 94},
      {kGlobalsSettingNames, "SG_CURSORSTEERING_MAXFIREANGLE", 95},
      {kGlobalsSettingNames, "SG_MAXHULL_CONTAINER", 100},
      {kGlobalsSettingNames, "SG_MAXHULL_BOARDINGPOD", 101},
      {kGlobalsSettingNames, "SG_HUB_STORAGE_FACTOR", 118},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_TL", 1},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_FIGHTER", 224},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_TRANSPORT", 5634},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_LITTLESHIP", 5858},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_HUGESHIP", 8473},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_BIGSHIP", 59673},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_STANDARD", 57058},
      {kDummyFlagNames, "ANIMATEDF_DOCKPORT_FWDPUSH", 67108864},
      {kDummyStatusNames, "DOORSTATUS_CLOSED", 3},
      {kGunPartFlagNames, "GUNPARTF_ROTATEGAMMA", 4},
      {kDummyKindNames, "SDTYPE_CONNECTION", 4},
      {kBodyListKindNames, "SBTYPE_SMALLJET", 12},
      {kComponentKindNames, "SCTYPE_DOCKING", 2},
      {kComponentPointFlagNames, "LASERF_ROTATE", 1},
      {kMatchKindNames, "SMTYPE_MINE", 0},
      {kMatchFlagNames, "MATCHF_CUTMATCH", 4},
  };
  for (const Case& c : kCases) {
    bool failed = true;
    EXPECT_EQ(ReadKeyword(c.table, c.name, &failed), c.value) << c.name;
    EXPECT_FALSE(failed) << c.name;
    int32_t value = -1;
    EXPECT_TRUE(KeywordValue(c.table, c.name, &value)) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
    ASSERT_NE(KeywordName(c.table, c.value), nullptr) << c.name;
    EXPECT_STREQ(KeywordName(c.table, c.value), c.name);
  }
}

TEST(ObjectClasses, KeywordTablesHaveTheirSizesAndCloseWithNull) {
  struct Case {
    const DataKeyword* table;
    int names;  // before the closing "NULL"
  };
  const Case kCases[] = {
      {kShipGroupNames, 16},       {kFactoryGroupNames, 9},      {kDockGroupNames, 6},
      {kLaserGroupNames, 32},      {kMissileGroupNames, 15},     {kShipScriptClassNames, 33},
      {kGlobalsSettingNames, 118}, {kDummyKindNames, 5},         {kDummyFlagNames, 39},
      {kDummyStatusNames, 7},      {kGunPartFlagNames, 3},       {kBodyListKindNames, 13},
      {kComponentKindNames, 3},    {kComponentPointFlagNames, 1}, {kMatchKindNames, 1},
      {kMatchFlagNames, 3},
  };
  for (const Case& c : kCases) {
    int count = 0;
    while (std::strcmp(c.table[count].name, "NULL") != 0) ++count;
    EXPECT_EQ(count, c.names) << c.table[0].name;
    EXPECT_EQ(c.table[count].value, 0);
    EXPECT_STREQ(c.table[count + 1].name, "");
  }
  // The settings are numbered 1..118 in table order.
  for (int i = 0; i < 118; ++i) EXPECT_EQ(kGlobalsSettingNames[i].value, i + 1) << kGlobalsSettingNames[i].name;
}

TEST(ObjectClasses, UnknownNamesAndValuesAreNotFound) {
  int32_t value = 77;
  EXPECT_FALSE(KeywordValue(kShipGroupNames, "SG_SH_M9", &value));
  EXPECT_FALSE(KeywordValue(kShipGroupNames, "", &value));
  EXPECT_FALSE(KeywordValue(nullptr, "SG_SH_TL", &value));
  EXPECT_EQ(value, 77);
  EXPECT_EQ(KeywordName(kShipGroupNames, 16), nullptr);
  EXPECT_EQ(KeywordName(nullptr, 0), nullptr);
  // 0 is named by the first pair that holds it; a table without one names it "NULL".
  EXPECT_STREQ(KeywordName(kDummyStatusNames, 0), "ANIMATEDSTATUS_NORMAL");
  EXPECT_STREQ(KeywordName(kDummyFlagNames, 0), "NULL");
  // A value several names share writes back as the first of them.
  ASSERT_TRUE(KeywordValue(kDummyFlagNames, "DWF_CARRIER", &value));
  EXPECT_EQ(value, 8);
  EXPECT_STREQ(KeywordName(kDummyFlagNames, 8), "ANIMATEDF_DOCKPORT_M1");
  EXPECT_STREQ(KeywordName(kDummyStatusNames, 1), "DOORSTATUS_CLOSING");
  bool failed = false;
  ReadKeyword(kShipGroupNames, "SG_SH_M9", &failed);
  EXPECT_TRUE(failed);
}

TEST(ObjectClasses, ClassesWithAndWithoutTypeFiles) {
  struct Case {
    uint16_t objClass;
    const char* file;  // null: no type file
  };
  const Case kCases[] = {
      {kClassBullet, "TBullets"},    {kClassSector, nullptr},      {kClassBackground, "TBackgrounds"},
      {kClassShip, "TShips"},        {kClassLaser, "TLaser"},      {11, "TWareE"},
      {16, "TWareT"},                {kClassGate, "TGates"},       {kClassCamera, nullptr},
      {kClassSpecial, "TSpecial"},   {kClass21, nullptr},          {22, nullptr},
      {24, nullptr},                 {kClassCockpit, "TCockpits"}, {26, nullptr},
      {kClassBodyObject, nullptr},   {kClassDebris, "TDebris"},    {kClassFactoryWreck, "TFactoriesWrecks"},
      {kClassShipWreck, "TShipsWrecks"},
  };
  for (const Case& c : kCases) {
    if (c.file) {
      EXPECT_STREQ(kObjectClassFiles[c.objClass], c.file);
    } else {
      EXPECT_EQ(kObjectClassFiles[c.objClass], nullptr) << c.objClass;
    }
  }
}

TEST(ObjectClasses, BuiltInRowsOfTheCameraAndClass21) {
  ObjectTypeRecord camera;
  std::memset(&camera, 0x5A, sizeof camera);
  ASSERT_TRUE(FillBuiltInTypeRow(kClassCamera, &camera));
  EXPECT_EQ(camera.bodyId, 174);
  EXPECT_EQ(camera.altBodyId, 0);
  EXPECT_EQ(camera.turnRate[0], 29491);
  EXPECT_EQ(camera.turnRate[1], 29491);
  EXPECT_EQ(camera.turnRate[2], 22937);
  EXPECT_EQ(camera.group, -1);
  EXPECT_EQ(camera.nameTextId, 0);
  for (int32_t v : camera.tailValue) EXPECT_EQ(v, 0);
  EXPECT_EQ(camera.typeId, nullptr);

  ObjectTypeRecord row21;
  std::memset(&row21, 0x5A, sizeof row21);
  ASSERT_TRUE(FillBuiltInTypeRow(kClass21, &row21));
  EXPECT_EQ(row21.bodyId, -1);
  EXPECT_EQ(row21.altBodyId, -1);
  for (int32_t rate : row21.turnRate) EXPECT_EQ(rate, 0);
  EXPECT_EQ(row21.group, 0);
  EXPECT_EQ(row21.nameTextId, -1);
  const int32_t kTail[kTypeTailValueCount] = {0, 0, 1, 1, 1, 0, 0, 0, 0};
  for (int i = 0; i < kTypeTailValueCount; ++i) EXPECT_EQ(row21.tailValue[i], kTail[i]) << i;
  EXPECT_EQ(row21.typeId, nullptr);

  ObjectTypeRecord other{};
  other.bodyId = 9;
  for (uint16_t objClass : {kClassBullet, kClassSector, kClassShip, uint16_t{22}, kClassBodyObject}) {
    EXPECT_FALSE(FillBuiltInTypeRow(objClass, &other)) << objClass;
  }
  EXPECT_EQ(other.bodyId, 9);
  EXPECT_FALSE(FillBuiltInTypeRow(kClassCamera, nullptr));
}

}  // namespace

namespace {

TEST(ObjectClasses, OldBulletFilesDeriveTheImpactValuesFromTheFlags) {
  struct Case {
    uint32_t flags;
    int32_t values[kBulletImpactValueCount];
  };
  const Case kCases[] = {
      {0, {0, 0, 0, 0, 0, 0, -1, 0}},
      {0x2000, {1000, 0, 0, 0, 0, 0, -1, 0}},
      {0x200, {0, 50, 1000, 0, 0, 0, -1, 0}},
      {0x400, {0, 0, 0, 700, 0, 0, -1, 0}},
      {0x800, {0, 0, 0, 0, 700, 1000, -1, 0}},
      {0x1000, {0, 0, 0, 0, 0, 0, 12, 8}},
      {0x3E00, {1000, 50, 1000, 700, 700, 1000, 12, 8}},
  };
  for (const Case& c : kCases) {
    BulletType bullet{};
    bullet.energy = 700;
    bullet.flags = c.flags;
    DeriveBulletImpactValues(&bullet, 12);
    for (int i = 0; i < kBulletImpactValueCount; ++i) {
      EXPECT_EQ(bullet.impactValue[i], c.values[i]) << c.flags << " " << i;
    }
  }
}

TEST(ObjectClasses, AHighestMissileGroupGivesEveryGroupUpToIt) {
  struct Case {
    int32_t maxGroup;
    uint32_t mask;
  };
  const Case kCases[] = {
      {0, 0x1},  {3, 0xF}, {14, 0x7FFF}, {30, 0x7FFFFFFF},
      // A group the mask cannot hold allows all; a negative one none. Neither shifts past 31.
      {31, 0xFFFFFFFF}, {200, 0xFFFFFFFF}, {-1, 0}, {INT32_MIN, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(MissileMaskUpToGroup(c.maxGroup), c.mask) << c.maxGroup;
}

TEST(ObjectClasses, BackgroundListCountsOutsideTheirRangeTakeTheCapacity) {
  struct Case {
    int32_t count, capacity, result;
  };
  const Case kCases[] = {
      {1, 16, 1}, {16, 16, 16}, {0, 16, 16}, {17, 16, 16}, {-3, 16, 16}, {8, 8, 8}, {9, 8, 8},
  };
  for (const Case& c : kCases) EXPECT_EQ(BackgroundListCount(c.count, c.capacity), c.result) << c.count;
}

}  // namespace
