// The cockpit's status texture and laser alerts drawn into a memory texture with a block font of
// 4-pixel glyphs: each row's text centred in its colour (distance, target number, wanted speed,
// docking speed), the range events of hostile locked targets, "NotifyLaserLow" with its 10 % /
// 30 % hysteresis through the display step, what a disabled scene or a missing texture leaves
// alone, and the distance texts from a page-35 text fixture.
#include <gtest/gtest.h>

#include <libxml/parser.h>

#include <cstring>
#include <string>

#include "frontend/hud/cockpit_displays.h"
#include "frontend/hud/status_display.h"
#include "hud_textures.h"
#include "script/text_database.h"
#include "universe/object_queries.h"

namespace {

constexpr uint32_t kBlue = 0x34628F, kRed = 0xD20101, kOrange = 0xE5AE38, kGreen = 0x01AA55;

class StatusTexture : public HudDrawingWorld {
 protected:
  void SetUp() override {
    HudDrawingWorld::SetUp();
    Rows(kClassShip, 1)[0].ship.maxWeaponEnergy = 1000;
    ship_->owner = 1;
    c_->displayBodyOn = 1;
    savedDisplay_ = gCockpitDisplayOutputs;
    gCockpitDisplayOutputs.inFiringRange = [](SpaceObject*, SpaceObject*, int32_t) { return inRange_; };
    inRange_ = 0;
    gGuiMaster->unitDisplay = 1;
  }
  void TearDown() override {
    gCockpitDisplayOutputs = savedDisplay_;
    HudDrawingWorld::TearDown();
  }
  SpaceObject* Target(int32_t z, uint16_t owner = 3) {
    SpaceObject* t = Object(10, kClassShip, sector_, 0, 0, z);
    t->owner = owner;
    c_->trackObject = t;
    return t;
  }
  // The columns and colour the text of a row covers, read one pixel row inside its glyphs.
  struct Row {
    int first, last;
    uint32_t colour;
    bool operator==(const Row&) const = default;
  };
  Row RowAt(int y) {
    const auto [first, last] = HudTextures::Span(textures_->status, y + 1);
    return {first, last, first < 0 ? 0u : textures_->status.At(first, y + 1)};
  }
  // The block font advances 5 pixels a glyph (4 drawn, 1 apart): x = 32 - width / 2.
  static Row Text(int chars, uint32_t colour) {
    const int x = 32 - 5 * chars / 2;
    return {x, x + 5 * chars - 2, colour};
  }
  static constexpr Row kEmpty{-1, -1, 0};

  CockpitDisplayOutputs savedDisplay_{};
  static inline int32_t inRange_ = 0;
};

TEST_F(StatusTexture, EachRowCentredInItsColour) {
  struct Case {
    const char* what;
    int32_t distance;
    uint16_t targetOwner;
    int32_t targetSpeed;
    uint32_t targetFlags2;
    int32_t shipSpeed;
    Row distanceRow, targetRow, shipRow;
  };
  const Case kCases[] = {
      {"neutral at 10000 (\"10.000 K\")", 10000, 3, 5000, 0, 25000, Text(8, kBlue), Text(2, kBlue), Text(2, kBlue)},
      {"hostile at 150000000 (\"150 M\")", 150000000, 2, 500, 0, 25000, Text(5, kRed), Text(1, kRed), Text(2, kBlue)},
      {"near (\"999\"), number hidden", 999, 3, 5000, 0x10, 10000, Text(3, kBlue), kEmpty, Text(2, kOrange)},
  };
  ObjSetRelation(2, ship_, -1);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    textures_->status.Clear();
    SpaceObject* t = Target(c.distance, c.targetOwner);
    t->speed = c.targetSpeed;
    t->flags2 = c.targetFlags2;
    ship_->speedLimit = 25000;
    ship_->speed = c.shipSpeed;
    DrawStatusTexture(c_, ship_);
    EXPECT_EQ(RowAt(32), c.distanceRow);
    EXPECT_EQ(RowAt(0), c.targetRow);
    EXPECT_EQ(RowAt(16), c.shipRow);
    EXPECT_EQ(RowAt(48), kEmpty);
  }
}

TEST_F(StatusTexture, WithoutATargetTheTargetRowsAreClearedAndDockingShowsItsSpeed) {
  Target(10000);
  DrawStatusTexture(c_, ship_);
  ASSERT_NE(RowAt(32), kEmpty);
  c_->trackObject = nullptr;
  Ship(ship_)->stateWord = 27;  // the docking approach
  DrawStatusTexture(c_, ship_);
  EXPECT_EQ(RowAt(32), kEmpty);
  EXPECT_EQ(RowAt(0), kEmpty);
  EXPECT_EQ(RowAt(48).colour, kGreen);
}

TEST_F(StatusTexture, ADisabledSceneOrAMissingTextureLeavesEverythingAlone) {
  Target(10000);
  c_->scene->flags &= ~kSceneEnabled;
  inRange_ = 1;
  UpdateCockpitDisplays(c_);
  EXPECT_EQ(HudTextures::Colours(textures_->status).size(), 0u);
  EXPECT_EQ(c_->trackFlag, 1u) << "untouched";
  c_->scene->flags |= kSceneEnabled;
  gTextureTable[HudTextures::kStatus].image = nullptr;
  DrawStatusTexture(c_, ship_);
  gTextureTable[HudTextures::kStatus].image = &textures_->status.s;
  EXPECT_EQ(HudTextures::Colours(textures_->status).size(), 0u);
}

TEST_F(StatusTexture, RangeEventsOnlyForAHostileLockedTarget) {
  ObjSetRelation(2, ship_, -1);
  Target(10000, 2);
  c_->trackFlag = 0;
  struct Step {
    uint16_t mode;
    int32_t inRange;
    std::vector<std::string> events;
    uint32_t flag;
  };
  const Step kSteps[] = {
      {2, 2, {}, 1},                          // acquiring: silently in range
      {3, 2, {}, 1},                          // locked, still in range
      {3, 0, {"NotifyOutofLaserRange"}, 0},  // leaves
      {3, 0, {}, 0},
      {3, 2, {"NotifyIntoLaserRange"}, 1},  // comes back
  };
  for (const Step& s : kSteps) {
    events_.clear();
    c_->trackMode = s.mode;
    inRange_ = s.inRange;
    DrawStatusTexture(c_, ship_);
    EXPECT_EQ(events_, s.events);
    EXPECT_EQ(c_->trackFlag, s.flag);
  }
}

TEST_F(StatusTexture, LaserLowOnceBelowTenPercentAgainOnlyAfterThirty) {
  // 10 % of 1000 is (1000 x 6553 + 0x8000) >> 16 = 100, 30 % is 300.
  const struct {
    int32_t energy;
    bool raised;
  } kSteps[] = {{500, false}, {99, true}, {50, false}, {300, false}, {99, false}, {301, false}, {99, true}};
  for (const auto& s : kSteps) {
    events_.clear();
    Ship(ship_)->weaponEnergy = s.energy * 1000;
    UpdateCockpitDisplays(c_);
    EXPECT_EQ(events_, s.raised ? std::vector<std::string>{"NotifyLaserLow"} : std::vector<std::string>{})
        << s.energy;
  }
  events_.clear();
  c_->draw2D = 0;
  Ship(ship_)->weaponEnergy = 0;
  c_->threeFlags[0] = 0;
  UpdateCockpitDisplays(c_);
  EXPECT_TRUE(events_.empty()) << "no 2D drawing, no read-outs";
}

TEST_F(StatusTexture, MetreTextsComeFromPage35) {
  char missing[32];
  FormatDistanceText(missing, sizeof missing, 999 * 500, false, ReadDistanceUnits());
  EXPECT_STREQ(missing, "999 ") << "texts the database lacks are left out, not shown as their marker";
  const char kXml[] =
      "<language id=\"44\"><page id=\"35\"><t id=\"967\">m</t><t id=\"966\">km</t>"
      "<t id=\"4285\">,</t></page></language>";
  xmlDocPtr doc = xmlReadMemory(kXml, static_cast<int>(std::strlen(kXml)), "texts.xml", nullptr, 0);
  ASSERT_NE(doc, nullptr);
  ReadLanguageElement(xmlDocGetRootElement(doc), script_);
  xmlFreeDoc(doc);
  gSystem->language = 44;
  const struct {
    int32_t metres;
    const char* text;
  } kCases[] = {{999, "999 m"}, {9999, "9,99km"}, {100000, "100km"}};
  for (const auto& c : kCases) {
    char text[32];
    FormatDistanceText(text, sizeof text, c.metres * 500, false, ReadDistanceUnits());
    EXPECT_STREQ(text, c.text);
  }
  gGuiMaster->unitDisplay = 0;
  Target(999 * 500);
  DrawStatusTexture(c_, ship_);
  EXPECT_EQ(RowAt(32), Text(5, kBlue));
  FreeAllTexts(script_);
}

}  // namespace
