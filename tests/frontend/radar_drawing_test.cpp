// The radar and the nav map drawn into memory textures and read back pixel by pixel: the rings a
// range shows, far gates pinned to the rim (in the sector camera's frame and in the ship's own),
// alerting symbols by their highlighted stems, the factory link line, the blink words over three
// seconds, the automatic range with its per-frame approach, and the nav map's background, rings,
// centre, symbols and player arrow, also through the open nav map panel (the background copy, a
// device operation, is read from the drawing recording).
#include <gtest/gtest.h>

#include "frontend/cockpit/cockpit_messages.h"
#include "frontend/hud/message_panel.h"
#include "frontend/hud/radar_drawing.h"
#include "frontend/hud/radar_math.h"
#include "hud_textures.h"
#include "scene/recording.h"
#include "support/drawing_records.h"

namespace {

constexpr uint32_t kAlertFlag = 0x1000000;

// Pixels drawn from the icon atlas carry its column numbers 1..32 (see HudTextures).
int AtlasPixels(const MemTexture& t) {
  int n = 0;
  for (int y = 0; y < t.s.height; ++y)
    for (int x = 0; x < t.s.width; ++x) n += t.At(x, y) != 0 && t.At(x, y) <= 32;
  return n;
}

class RadarDrawing : public HudDrawingWorld {
 protected:
  void SetUp() override {
    HudDrawingWorld::SetUp();
    c_->radarMode = 0;
    c_->radarRange = 10000000;
  }
  // An object of the sector the radar sees at (x, y, z) of the sector camera's frame.
  SpaceObject* Seen(uint32_t id, uint16_t objClass, int32_t x, int32_t y, int32_t z) {
    SpaceObject* o = Object(id, objClass, sector_);
    o->instance->cameraPos = {x, y, z, 0};
    return o;
  }
  const MemTexture& radar() { return textures_->radar; }
};

TEST_F(RadarDrawing, RingsFollowTheRange) {
  struct Case {
    int32_t range;
    std::map<uint32_t, int> colours;  // ring dots, each two pixels wide, and the white centre
  };
  const Case kCases[] = {
      {10000000, {{0x555555, 32}, {0xFFFFFF, 1}}},  // only the 5000000 ring of the first five
      {100000, {{0x999999, 32}, {0xFFFFFF, 33}}},  // 50000, and the 30000 mark in white
      {1000000, {{0x777777, 32}, {0xFF8888, 32}, {0xFFFFFF, 1}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.range);
    c_->radarRange = c.range;
    DrawRadar(c_, ship_);
    EXPECT_EQ(HudTextures::Colours(radar()), c.colours);
  }
  // The 5000000 ring on a 128 x 128 texture: half the radius across, a quarter down.
  c_->radarRange = 10000000;
  DrawRadar(c_, ship_);
  EXPECT_EQ(radar().At(126, 63), 0x555555u);
  EXPECT_EQ(radar().At(0, 63), 0x555555u);
  EXPECT_EQ(radar().At(63, 32), 0x555555u);
  EXPECT_EQ(radar().At(63, 63), 0xFFFFFFu);
  c_->radarRange = 0;
  textures_->radar.Clear();
  DrawRadar(c_, ship_);
  EXPECT_TRUE(HudTextures::Colours(radar()).empty()) << "a range of 0 draws nothing";
}

TEST_F(RadarDrawing, FarGatesSitOnTheRimAtTheirGroundPointOthersAreLeftOut) {
  // 85 % of the 63-pixel half width is 53 pixels; the 6 x 4 icon is centred on the point.
  SpaceObject* aside = Seen(10, kClassGate, 30000000, 0, 0);
  SpaceObject* ahead = Seen(11, kClassGate, 0, 5000000, 30000000);
  SpaceObject* ship = Seen(12, kClassShip, -30000000, 0, 0);
  Scanned({{aside, 30000000}, {ahead, 30000000}, {ship, 30000000}});
  DrawRadar(c_, ship_);
  EXPECT_EQ(AtlasPixels(radar()), 2 * 24) << "two icons, no stems, nothing for the far ship";
  EXPECT_EQ(radar().At(113, 61), 1u);
  EXPECT_EQ(radar().At(118, 64), 6u);
  EXPECT_EQ(radar().At(60, 8), 1u);  // ahead: the rim's top, on its ground point despite its height
  EXPECT_EQ(radar().At(65, 11), 6u);
}

TEST_F(RadarDrawing, WithViewModeBit2TheShipsOwnFrameIsUsed) {
  c_->viewMode = 4;
  Place(ship_, 1000000, 0, 0);
  SpaceObject* gate = Seen(10, kClassGate, 0, 0, 0);  // the camera frame would put it at the centre
  Place(gate, 31000000, 0, 0);
  Scanned({{gate, 30000000}});
  DrawRadar(c_, ship_);
  EXPECT_EQ(radar().At(113, 61), 1u);
  EXPECT_EQ(radar().At(60, 61), 0u);
}

TEST_F(RadarDrawing, AlertingSymbolsGetTheHighlightedStem) {
  // 3000000 up: the symbol stands 18 rows above its ground point; stem tiles are atlas columns 1
  // and 2 (plain) or 3 and 4 (highlighted).
  struct Case {
    const char* what;
    uint16_t objClass;
    uint32_t flags;
    bool marked;
    uint32_t stem;
  };
  const Case kCases[] = {
      {"ship", kClassShip, 0, false, 1},
      {"ship flagged", kClassShip, kAlertFlag, false, 3},
      {"marked ship flagged", kClassShip, kAlertFlag, true, 1},
      {"missile on its way", kClassMissile, kAlertFlag, false, 3},
      {"missile", kClassMissile, 0, false, 1},
      {"planet flagged", kClassPlanet, kAlertFlag, false, 1},
  };
  uint32_t id = 10;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* o = Seen(++id, c.objClass, 0, 3000000, 0);
    o->flags = c.flags;
    if (c.marked) Ship(o)->attachedWord = 1;
    Scanned({{o, 3000000}});
    DrawRadar(c_, ship_);
    EXPECT_EQ(radar().At(62, 52), c.stem);
    EXPECT_EQ(radar().At(62, 45), 3u) << "the icon";
  }
}

TEST_F(RadarDrawing, AFactoryIsJoinedToTheFactoryItLinks) {
  SpaceObject* a = Seen(10, kClassFactory, -3000000, 0, 0);
  SpaceObject* b = Seen(11, kClassFactory, 3000000, 0, 0);
  static_cast<FactoryExt*>(a->ext)->linkedFactory = b;
  Scanned({{a, 3000000}, {b, 3000000}});
  DrawRadar(c_, ship_);
  for (int x = 48; x <= 77; ++x) EXPECT_EQ(radar().At(x, 63), 0xBBBBBBu) << x;
  EXPECT_EQ(radar().At(60, 62), 0u) << "the line runs on the symbols' row only";
}

TEST_F(RadarDrawing, ANewlyTrackedObjectBlinksForThreeSeconds) {
  SpaceObject* o = Seen(10, kClassShip, 0, 0, 1000000);
  Scanned({{o, 1000000}});
  c_->trackObject = o;
  struct Frame {
    uint32_t now;
    uint16_t counter;
    uint32_t next;
  };
  const Frame kFrames[] = {{10000, 3, 11000}, {10999, 3, 11000}, {11000, 2, 12000},
                           {12500, 1, 13000}, {13000, 0, 14000}, {20000, 0, 14000}};
  for (const Frame& f : kFrames) {
    gSystem->realTime = f.now;
    DrawRadar(c_, ship_);
    EXPECT_EQ(c_->enemyObject, o);
    EXPECT_EQ(c_->blinkHalf, f.counter) << f.now;
    EXPECT_EQ(c_->blinkWord, f.next) << f.now;
  }
  c_->trackObject = nullptr;
  DrawRadar(c_, ship_);
  EXPECT_EQ(c_->enemyObject, nullptr);
}

TEST_F(RadarDrawing, AutomaticRangeFollowsTheNearestWithoutPassingItsTarget) {
  gSystem->frameStep = 20;
  c_->radarMode = 1;
  struct Case {
    const char* what;
    int32_t range, target;
    bool listed;
    int32_t newTarget, newRange;
  };
  const Case kCases[] = {
      {"nothing listed", 10000000, 10000000, false, 1000, 10000000 - (10000000LL * 655 >> 16)},
      {"close to the target", 1010, 1000, false, 1000, 1000},
      {"stops on it", 1005, 1000, false, 1000, 1000},
      {"the nearest, not the ship or the asteroid", 10000000, 10000000, true,
       static_cast<int32_t>(1000000LL * 65536 / 0x3851), 10000000 - (10000000LL * 655 >> 16)},
      {"growing", 4000000, 4545744, true, 4545744, 4000000 + (4000000LL * 655 >> 16)},
  };
  SpaceObject* rock = Seen(10, kClassAsteroid, 0, 0, 10);
  SpaceObject* near = Seen(11, kClassShip, 0, 0, 1000000);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    c_->radarRange = c.range;
    c_->radarTarget = c.target;
    if (c.listed) Scanned({{ship_, 5}, {rock, 10}, {near, 1000000}});
    else Scanned({});
    DrawRadar(c_, ship_);
    EXPECT_EQ(c_->radarTarget, c.newTarget);
    EXPECT_EQ(c_->radarRange, c.newRange);
  }
  c_->radarMode = 0;
  c_->radarRange = 5000;
  DrawRadar(c_, ship_);
  EXPECT_EQ(c_->radarRange, 5000) << "a fixed range stays";
}

class NavMapDrawing : public HudDrawingWorld {
 protected:
  void SetUp() override {
    HudDrawingWorld::SetUp();
    universe_.player = ship_;
  }
  const MemTexture& map() { return textures_->message; }
};

TEST_F(NavMapDrawing, BackgroundRingsCentreSymbolsAndThePlayersArrow) {
  SpaceObject* station = Object(10, kClassDock, sector_, kNavMapRadius / 2, 0, 0);
  Object(11, kClassShip, sector_, kNavMapRadius, 0, 0);             // on the edge: left out
  Object(12, kClassShip, sector_, 0, 0, -kNavMapRadius + 1)->flags = 0x10;  // skipped by its flags
  c_->trackObject = station;
  // The background copy is a device operation; the recording shows it asked for.
  ASSERT_EQ(B3D_InitRecording("navmap"), 1);
  DrawNavMap(c_, ship_);
  B3D_ExitRecording();
  const std::vector<DrawingRecord> records = DrawingRecords(TextureWorld::ReadGzip("navmap.rec"));
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].tag, kDrawRecordKinds[int(DrawRecord::CopyRect)].tag);
  EXPECT_EQ(records[0].words, (std::vector<int32_t>{158, 61, 0, 0, 128, 128, 0, 0, 256, 256}));
  const auto colours = HudTextures::Colours(map());
  EXPECT_EQ(colours.at(0x555555), 32) << "only the 5000000 ring for the map's radius";
  EXPECT_EQ(colours.count(0x333333), 0u);
  EXPECT_EQ(map().At(129, 128), 0xFFFFFFu) << "the centre's right pixel";
  EXPECT_EQ(map().At(128, 118), 0xFFFFFFu) << "the player's arrow tip, one unit (10 pixels) up the map";
  // The station's 6 x 4 icon centred on (192, 128).
  EXPECT_EQ(map().At(189, 126), 1u);
  EXPECT_EQ(map().At(194, 129), 6u);
  EXPECT_EQ(AtlasPixels(map()), 24);
}

TEST_F(NavMapDrawing, TheOpenPanelDrawsTheMapEveryFrame) {
  SetNavMap(&c_->navMap, 1);
  UpdateNavMap(&c_->navMap);
  ASSERT_EQ(c_->navMap.words[1], kPanelShown);
  EXPECT_EQ(map().At(129, 128), 0xFFFFFFu);
  c_->cockpitRefObject = nullptr;
  textures_->message.Clear();
  UpdateNavMap(&c_->navMap);
  EXPECT_EQ(map().At(129, 128), 0u) << "no ship, no map";
}

}  // namespace
