// The type-file loader over a small type-file set written in a temporary game folder: text and
// binary twins load to equal tables, required and optional files, the dock-port segments, the
// ship derivation from scenes and bodies, the Components generation with its written file, the
// limits the data cannot break, and a reset that gives every byte back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/memory.h"
#include "engine_types/cut_writer.h"
#include "engine_types/demo_universe_types.h"
#include "scene/cut_keys.h"
#include "support/engine_type_world.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"
#include "universe/universe_registry.h"

namespace {

using typetool::Fields;
using typetool::Fixed;
using typetool::Flags;
using typetool::Int;
using typetool::Key;
using typetool::Short;
using typetool::Str;

constexpr int32_t kOne = 0x10000;

// A printable picture of every table the loader fills, so two loads compare as one string.
// Pointers are left out of the rows' raw bytes; what they own is printed instead.
std::string TypesPicture() {
  std::ostringstream s;
  for (int32_t c = 0; c < kObjectClassCount; ++c) {
    const ObjectTypeTable& t = gObjectTypeTables[c];
    s << "class " << c << ": " << t.count << "\n";
    for (int32_t r = 0; r < t.count; ++r) {
      ObjectTypeRecord row = t.rows[r];
      s << " " << (row.typeId ? row.typeId : "(none)");
      if (c == kClassBackground) s << " " << (row.background.nebulaName ? row.background.nebulaName : "-");
      row.typeId = nullptr;
      if (c == kClassBackground) row.background.nebulaName = nullptr;
      if (c == kClassDock || c == kClassFactory) row.station.dockSlots = nullptr;
      if (c == kClassShip) row.ship.dockSlots = nullptr;
      const auto* words = reinterpret_cast<const int32_t*>(&row);
      for (size_t w = 0; w < sizeof row / 4; ++w) s << " " << words[w];
      s << "\n";
    }
  }
  s << "globals";
  for (int32_t i = 0; i < gGlobalsTable.count; ++i) s << " " << gGlobalsTable.entries[i].id << "=" << gGlobalsTable.entries[i].value;
  s << "\nflight";
  for (int32_t i = 0; i < gFlightViewTable.groupCount * kFlightViewRowsPerGroup; ++i) {
    const FlightViewRow& r = gFlightViewTable.rows[i];
    s << " " << r.angle[0] << "," << r.angle[1] << "," << r.angle[2] << "," << r.flag;
  }
  s << "\nvideos";
  for (int32_t i = 0; i < gVideoTable.count; ++i) {
    s << " " << gVideoTable.rows[i].idCount << ":";
    for (int32_t v : gVideoTable.rows[i].id) s << v << ",";
    for (int32_t v : gVideoTable.rows[i].value) s << v << ",";
  }
  auto list = [&](const WordList& l) {
    s << " [";
    for (int32_t i = 0; i < l.count; ++i) s << l.values[i] << ",";
    s << "]";
  };
  s << "\nvideolists";
  for (int32_t i = 0; i < gVideoListTable.count; ++i) list(gVideoListTable.lists[i]);
  s << "\ndummies";
  for (const DummyKindTable& k : gDummyTable.kinds) {
    s << " {";
    for (int32_t i = 0; i < k.count; ++i) {
      const auto* words = reinterpret_cast<const int32_t*>(&k.rows[i]);
      for (size_t w = 0; w < sizeof(DummyRow) / 4; ++w) s << words[w] << ",";
    }
    s << "}";
  }
  s << "\nbodies";
  for (const WordList& l : gBodyIdLists.lists) list(l);
  s << "\ncomponents";
  for (const ComponentKindTable& k : gComponentTable.kinds) {
    s << " {";
    for (int32_t i = 0; i < k.count; ++i) {
      s << k.entries[i].body << "/" << k.entries[i].pointCount << ":";
      for (int32_t p = 0; p < k.entries[i].pointCount; ++p) {
        const ComponentPoint& pt = k.entries[i].points[p];
        s << pt.flags << "," << pt.position[0] << "," << pt.position[1] << "," << pt.position[2] << ","
          << pt.direction[0] << "," << pt.direction[1] << "," << pt.direction[2] << ";";
      }
    }
    s << "}";
  }
  s << "\nmatches " << gMatchTable.flags;
  for (int32_t i = 0; i < gMatchTable.count; ++i)
    s << " " << gMatchTable.rows[i].key1 << "," << gMatchTable.rows[i].key2 << "," << gMatchTable.rows[i].result;
  s << "\nwares";
  for (int32_t i = 0; i < gWareLists.count; ++i) list(gWareLists.lists[i]);
  return s.str();
}

class TypeLoader : public ::testing::Test {
 protected:
  void SetUp() override { universeBytes_ = gMemCounters.categoryBytes[kMemCatUniverse]; }
  void TearDown() override {
    FreeTypes();
    EXPECT_EQ(gMemCounters.categoryBytes[kMemCatUniverse], universeBytes_) << "the reset gives every byte back";
  }

  void Write(const std::string& name, const Fields& fields, bool binary = false) {
    world.WriteTypeFile(name, fields, binary);
  }
  void WriteDemo(bool binary) {
    for (const typetool::TypeFile& f : typetool::DemoUniverseAuxFiles()) Write(f.name, f.fields, binary);
    for (const typetool::TypeFile& f : typetool::DemoUniverseClassFiles()) Write(f.name, f.fields, binary);
  }
  // The required auxiliary files, each empty.
  void WriteEmptyAuxFiles() {
    for (const char* name : {"Globals", "Flight", "Videos", "VideoLists", "WareLists"}) Write(name, {Int(0)});
    // Files of sections hold none: a comment line only.
    for (const char* name : {"Dummies", "Bodies", "Matches", "Components"}) {
      RemoveType(name);
      world.WriteLoose(std::string("types/") + name + ".txt", "// none\r\n");
    }
  }
  void RemoveType(const std::string& name) {
    world.Remove("types/" + name + ".txt");
    world.Remove("types/" + name + ".pck");
  }
  void WriteCut(int32_t id, const typetool::CutContent& cut) {
    char name[32];
    std::snprintf(name, sizeof name, "objects/cut/%05d.pbd", static_cast<int>(id));
    world.WriteLoose(name, typetool::CutText(cut));
  }
  void WriteBody(int32_t id, const std::string& text) {
    char name[32];
    std::snprintf(name, sizeof name, "objects/v/%05d.pbd", static_cast<int>(id));
    world.WriteLoose(name, text);
  }
  void Reload() {
    FreeTypes();
    world.FreeCuts();
    ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  }

  EngineTypeWorld world;
  uint32_t universeBytes_ = 0;
};

typetool::CutPathPlan Path(int32_t serial, const std::string& body, int32_t slot,
                           std::vector<std::pair<int32_t, std::string>> notes = {}) {
  typetool::CutPathPlan p;
  p.serial = serial;
  p.body = body;
  p.f = slot;
  p.notes = std::move(notes);
  p.blockKind = 1;
  p.blocks = {{{0, 0, 0, {0, 0, 0}, 0}}};
  return p;
}

TEST_F(TypeLoader, TheDemoSetLoadsAlikeFromTextAndBinaryAndReloadsAfterAReset) {
  WriteDemo(false);
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  EXPECT_STREQ(TypeLoadFailedName(), "");
  const std::string text = TypesPicture();

  // A look at what the tables hold.
  for (int32_t c = 0; c < kObjectClassCount; ++c) {
    const bool builtIn = c == kClassCamera || c == kClass21;
    EXPECT_EQ(gObjectTypeTables[c].count, kObjectClassFiles[c] || builtIn ? 1 : 0) << "class " << c;
  }
  ASSERT_EQ(gFlightViewTable.groupCount, 1);
  EXPECT_EQ(gFlightViewTable.rows[0].angle[0], -16384) << "a three-quarter turn is kept as -1/4";
  EXPECT_EQ(gFlightViewTable.rows[0].angle[1], -kOne / 16);
  EXPECT_EQ(GlobalsGet(96, 0), 20000);
  EXPECT_EQ(gVideoTable.rows[0].idCount, 2);
  ASSERT_EQ(gWareLists.count, 1);
  ASSERT_EQ(gWareLists.lists[0].count, 2);
  EXPECT_EQ(gWareLists.lists[0].values[0], kClassLaser << 16);
  EXPECT_EQ(gWareLists.lists[0].values[1], kClassShip << 16);
  const ShipType& ship = TypeRow(kClassShip, 0)->ship;
  EXPECT_EQ(ship.maxMissileGroup, 0) << "the missiles are read before the ships";
  EXPECT_EQ(ship.viewpointGroup, -1);
  ASSERT_EQ(ship.componentCount, 2);
  EXPECT_EQ(ship.components[1].cockpit, 0);
  EXPECT_EQ(ship.components[1].cockpitValue, 10);
  EXPECT_EQ(ship.turrets[0].laserMask, 3u) << "component 0's turret takes the default mask";
  EXPECT_NE(ship.dockSlots, nullptr);
  EXPECT_NE(TypeRow(kClassDock, 0)->station.dockSlots, nullptr);
  EXPECT_EQ(TypeRow(kClassFactory, 0)->station.icon, 198);
  EXPECT_EQ(TypeRow(kClassMissile, 0)->missile.icon, 45);
  EXPECT_EQ(TypeRow(kClassBackground, 0)->background.starsCount, 2);
  EXPECT_EQ(TypeRow(kClassBackground, 0)->background.dustParts[7] != 0, true);
  EXPECT_EQ(FindTypeByName(kClassShip, "SHIP_DEMO"), 0);

  FreeTypes();
  for (const ObjectTypeTable& t : gObjectTypeTables) EXPECT_EQ(t.rows, nullptr);
  EXPECT_EQ(gComponentTable.kinds[0].entries, nullptr);

  WriteDemo(true);
  world.FreeCuts();
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  EXPECT_EQ(TypesPicture(), text);
  Reload();
  EXPECT_EQ(TypesPicture(), text) << "a reset and a second load give the same tables";
}

TEST_F(TypeLoader, AMissingRequiredFileFailsWithItsNameAndAMissingClassFileLeavesTheClassEmpty) {
  struct Case {
    const char* removed;
    int32_t result;
    const char* failedName;
  };
  const Case kCases[] = {
      {"Globals", 0, "types\\Globals"},       {"Flight", 0, "types\\Flight"},   {"Videos", 0, "types\\Videos"},
      {"VideoLists", 0, "types\\VideoLists"}, {"Dummies", 0, "types\\Dummies"}, {"Bodies", 0, "types\\Bodies"},
      {"Matches", 0, "types\\Matches"},       {"WareLists", 0, "types\\WareLists"}, {"TShips", 1, ""},
      {"TBullets", 1, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.removed);
    WriteDemo(false);
    RemoveType(c.removed);
    world.FreeCuts();
    EXPECT_EQ(LoadTypes(nullptr), c.result);
    EXPECT_STREQ(TypeLoadFailedName(), c.failedName);
    if (c.result == 1) {
      EXPECT_EQ(gObjectTypeTables[std::string(c.removed) == "TShips" ? kClassShip : kClassBullet].count, 0);
      EXPECT_EQ(gObjectTypeTables[kClassLaser].count, 1) << "the load went on";
      EXPECT_EQ(gWareLists.count, 1);
    }
    FreeTypes();
  }
}

TEST_F(TypeLoader, DockPortSegmentsComeFromTheFirstCutsStartAndEndEvents) {
  using Notes = std::vector<std::pair<int32_t, std::string>>;
  struct Case {
    const char* what;
    std::vector<Notes> paths;  // one path per entry; no entries: the row has no cut
    uint32_t flags;
    DummySegment expected[kDummySegmentCapacity];
  };
  const Case kCases[] = {
      {"no cut", {}, 224, {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}},
      {"no start or end events", {{{10, "open"}, {20, "start 6"}}}, 224, {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}},
      {"an end of 0 becomes 1, missing ones copy", {{{100, "START 1"}, {0, "end 1"}}}, 1,
       {{100, 1}, {100, 1}, {100, 1}, {100, 1}, {100, 1}}},
      {"a first segment without events stays empty", {{{50, "start 2"}, {80, "end 2"}, {300, "End 4"}}}, 1,
       {{0, 0}, {50, 80}, {50, 80}, {0, 300}, {0, 300}}},
      {"the last path with events decides",
       {{{5, "start 1"}, {6, "end 1"}}, {{1, "open"}}, {{7, "start 1"}, {9, "end 1"}}, {}},
       1,
       {{7, 9}, {7, 9}, {7, 9}, {7, 9}, {7, 9}}},
      {"no dock-port group: no segments", {{{5, "start 1"}}}, 0x10000, {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteEmptyAuxFiles();
    world.FreeCuts();
    Fields dummies = {Key("SDTYPE_ANIMATED", 0), Int(1), Str("2"), Flags(c.flags, kDummyFlagNames)};
    if (c.paths.empty()) {
      dummies.push_back(Int(0));
    } else {
      typetool::CutContent cut;
      for (size_t p = 0; p < c.paths.size(); ++p) cut.paths.push_back(Path(static_cast<int32_t>(p + 1), "1", 0, c.paths[p]));
      WriteCut(3, cut);
      dummies.insert(dummies.end(), {Int(1), Key("ANIMATEDSTATUS_NORMAL", 0), Str("3")});
    }
    Write("Dummies", dummies);
    ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
    ASSERT_EQ(gDummyTable.kinds[0].count, 1);
    for (int i = 0; i < kDummySegmentCapacity; ++i) {
      EXPECT_EQ(gDummyTable.kinds[0].rows[0].segment[i].start, c.expected[i].start) << "segment " << i + 1;
      EXPECT_EQ(gDummyTable.kinds[0].rows[0].segment[i].end, c.expected[i].end) << "segment " << i + 1;
    }
    FreeTypes();
  }
}

// Kinds outside their tables (negative ones too, so in binary form), status keywords and gun
// parts beyond the slots, negative and oversized counts: what the tables cannot hold is read
// past, the rest is kept.
TEST_F(TypeLoader, SectionsAndRowsBeyondTheTablesAreSkippedNeverWritten) {
  WriteEmptyAuxFiles();
  Write("Dummies",
        {Int(7), Int(-1), Key("SDTYPE_GUN", 3), Int(1),
         Str("4"), Int(0), Int(2), Int(5), Str("9"), Int(1), Str("8"),
         Int(4), Str("1"), Int(1), Str("2"), Int(2), Str("3"), Int(4), Str("4"), Int(1),
         Key("SDTYPE_DOCK", 1), Int(-3), Key("SDTYPE_DOCK", 1), Int(1), Str("6"), Int(0), Int(0)},
        true);
  Write("Bodies",
        {Int(13), Int(1), Str("5"), Int(-2), Int(1), Str("6"), Key("SBTYPE_JET", 6), Int(2), Str("7"), Str("8"),
         Key("SBTYPE_LOGO", 3), Int(1000000), Str("9")},
        true);
  Write("Components",
        {Int(3), Int(1), Str("5"), Short(1), Int(0), Fixed(1), Fixed(2), Fixed(3), Fixed(4), Fixed(5), Fixed(6),
         Key("SCTYPE_DOCKING", 2), Int(1), Str("6"), Short(-4), Key("SCTYPE_COCKPIT", 1), Int(1), Str("7"), Short(30000),
         Int(1)},
        true);
  Write("Matches", {Int(1), Int(0), Int(1), Str("1"), Str("2"), Str("3"), Key("SMTYPE_MINE", 0), Int(3), Int(1), Str("4"),
                    Str("5"), Str("6")},
        true);
  Write("Videos", {Int(-5)}, true);
  Write("VideoLists", {Int(3), Int(2), Int(1), Int(2), Int(999999)}, true);
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();

  ASSERT_EQ(gDummyTable.kinds[kDummyKindGun].count, 1);
  const DummyRow& gun = gDummyTable.kinds[kDummyKindGun].rows[0];
  EXPECT_EQ(gun.body, 4);
  EXPECT_EQ(gun.cut[1], 8) << "status 5 has no slot; status 1 does";
  EXPECT_EQ(gun.gunPartCount, kDummyGunPartCapacity);
  EXPECT_EQ(gun.gunPart[2].body, 3);
  ASSERT_EQ(gDummyTable.kinds[1].count, 1) << "a negative count reads no row";
  EXPECT_EQ(gDummyTable.kinds[1].rows[0].body, 6);
  EXPECT_EQ(gBodyIdLists.lists[6].count, 2);
  ASSERT_EQ(gBodyIdLists.lists[3].count, 1) << "a count beyond the data reads the names present";
  EXPECT_EQ(gBodyIdLists.lists[3].values[0], 9);
  int32_t listed = 0;
  for (const WordList& l : gBodyIdLists.lists) listed += l.count;
  EXPECT_EQ(listed, 3) << "kinds 13 and -2 fill no list";
  EXPECT_EQ(gComponentTable.kinds[0].count, 0) << "kind 3 is read past";
  ASSERT_EQ(gComponentTable.kinds[2].count, 1);
  EXPECT_EQ(gComponentTable.kinds[2].entries[0].pointCount, 0) << "a negative point count holds no point";
  ASSERT_EQ(gComponentTable.kinds[1].count, 1);
  EXPECT_EQ(gComponentTable.kinds[1].entries[0].pointCount, 0) << "30000 points are not in the data";
  ASSERT_EQ(gMatchTable.count, 1);
  EXPECT_EQ(gMatchTable.flags, 3u);
  EXPECT_EQ(gMatchTable.rows[0].key1, 4);
  EXPECT_EQ(gMatchTable.rows[0].result, 6);
  EXPECT_EQ(gVideoTable.count, 0);
  ASSERT_EQ(gVideoListTable.count, 2) << "the third list is not in the data";
  EXPECT_EQ(gVideoListTable.lists[0].count, 2);
  EXPECT_EQ(gVideoListTable.lists[1].count, 0);
}

// Ship files: a cockpit pair names a cockpit read before the ships; one naming no cockpit gives
// mask 0, and a turret left at 0 takes the default mask.
Fields ShipRow(int32_t version, const std::string& body, const std::string& cut, const std::vector<std::pair<int32_t, int32_t>>& pairs,
               const Fields& rows) {
  Fields f = {Str(body), Str("-1"), Fixed(0), Fixed(0), Fixed(0), Int(0), Int(0)};
  for (int i = 0; i < 9; ++i) f.push_back(Int(0));
  f.insert(f.end(), {Str(cut), Str("0"), Int(0x100), Int(0), Int(1000), Fixed(0), Int(0), Int(0), Int(0)});
  for (int i = 0; i < 6; ++i) f.push_back(Int(0));
  for (int i = 0; i < 6; ++i) {
    const auto pair = i < static_cast<int>(pairs.size()) ? pairs[static_cast<size_t>(i)] : std::make_pair(-1, 0);
    f.insert(f.end(), {Int(pair.first), Int(pair.second)});
  }
  for (int i = 0; i < 9; ++i) f.push_back(Int(0));
  f.push_back(Key("OBJ_SHIP_M3", 2023));
  if (version % 2 == 0) f.insert(f.end(), rows.begin(), rows.end());
  for (int i = 0; i < 9; ++i) f.push_back(Int(0));
  f.push_back(Str("S"));
  return f;
}

Fields File(int32_t version, int32_t count, const Fields& rows) {
  Fields f = {Int(version), Int(count)};
  f.insert(f.end(), rows.begin(), rows.end());
  return f;
}

Fields CockpitRows(const std::vector<uint32_t>& masks) {
  Fields f;
  for (uint32_t m : masks) f.insert(f.end(), {Str("-1"), Str("-1"), Fixed(0), Fixed(0), Fixed(0), Int(0), Int(0), Str("0"),
                                              Int(static_cast<int32_t>(m)), Int(0), Int(0), Int(0), Int(0), Int(0), Int(0),
                                              Int(0), Int(0), Int(0), Str("")});
  return f;
}

TEST_F(TypeLoader, CockpitPairsGiveTheirTurretsTheCockpitsMask) {
  WriteEmptyAuxFiles();
  Write("TCockpits", File(54, 1, CockpitRows({0x30})));
  // Three components on turrets 0, 1 and 2; the third's pair names cockpit 5, which is missing.
  Fields rows = {Int(3), Int(1), Int(0), Str("1"), Int(0), Int(2), Int(1), Str("1"), Int(1), Int(3), Int(2), Str("1"), Int(2),
                 Int(3)};
  for (int t = 0; t < 3; ++t) rows.insert(rows.end(), {Int(1), Int(1), Int(t + 1), Int(0)});
  Write("TShips", File(54, 1, ShipRow(54, "1", "0", {{0, 33}, {5, 44}}, rows)));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  const ShipType& s = TypeRow(kClassShip, 0)->ship;
  ASSERT_EQ(s.turretCount, 3);
  EXPECT_EQ(s.components[0].cockpit, -1);
  EXPECT_EQ(s.turrets[0].laserMask, 0x100u);
  EXPECT_EQ(s.components[1].cockpit, 0);
  EXPECT_EQ(s.turrets[1].laserMask, 0x30u);
  EXPECT_EQ(s.turrets[1].cockpitValue, 33);
  EXPECT_EQ(s.components[2].cockpitValue, 44);
  EXPECT_EQ(s.turrets[2].laserMask, 0x100u) << "a missing cockpit gives 0, then the default";
}

TEST_F(TypeLoader, AnEvenShipFilesRowsBeyondTheCapacitiesAreDropped) {
  WriteEmptyAuxFiles();
  Fields rows = {Int(9)};
  for (int c = 0; c < 9; ++c) rows.insert(rows.end(), {Int(c + 1), Int(c < 3 ? c : 40 + c), Str("1"), Int(c)});
  rows.push_back(Int(12));
  for (int t = 0; t < 12; ++t) {
    rows.insert(rows.end(), {Int(1), Int(1), Int(t + 1), Int(13)});
    for (int g = 0; g < 13; ++g) rows.insert(rows.end(), {Int(g), Int(1), Str("1"), Int(0), Str("-1"), Int(-1)});
  }
  Write("TShips", File(54, 1, ShipRow(54, "1", "0", {}, rows)));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  const ShipType& s = TypeRow(kClassShip, 0)->ship;
  EXPECT_EQ(s.componentCount, kShipComponentCapacity);
  EXPECT_EQ(s.turretCount, kShipTurretCapacity);
  EXPECT_EQ(s.turrets[9].gunCount, kTurretGunCapacity);
  EXPECT_EQ(s.turrets[9].gun[11].firstSlot, 11);
  EXPECT_STREQ(TypeRow(kClassShip, 0)->typeId, "S") << "the row's tail is read after the dropped rows";
}

TEST_F(TypeLoader, AnOddShipWithoutASceneTakesItsTurretAndComponentFromItsBody) {
  WriteEmptyAuxFiles();
  Write("Components", {Key("SCTYPE_LASER", 0), Int(1), Str("7"), Short(3), Int(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0),
                       Fixed(0), Fixed(0), Int(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Int(0),
                       Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Key("SCTYPE_COCKPIT", 1), Int(1), Str("7"),
                       Short(1), Int(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0), Fixed(0)});
  Write("TShips", File(53, 2, [&] {
          Fields both = ShipRow(53, "7", "0", {}, {});
          Fields none = ShipRow(53, "8", "0", {}, {});
          both.insert(both.end(), none.begin(), none.end());
          return both;
        }()));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  const ShipType& s = TypeRow(kClassShip, 0)->ship;
  EXPECT_EQ(s.laserCount, 3);
  ASSERT_EQ(s.turretCount, 1);
  EXPECT_EQ(s.turrets[0].firstSlot, 1);
  EXPECT_EQ(s.turrets[0].slotCount, 3);
  EXPECT_EQ(s.turrets[0].slot, 1);
  EXPECT_EQ(s.turrets[0].laserMask, 0x100u);
  ASSERT_EQ(s.turrets[0].gunCount, 1);
  const TurretGunRow gun = s.turrets[0].gun[0];
  EXPECT_EQ(gun.firstSlot, 1);
  EXPECT_EQ(gun.slotCount, 3);
  EXPECT_EQ(gun.gunBody, 7);
  EXPECT_EQ(gun.gunPath, 0);
  EXPECT_EQ(gun.gunBody2, -1);
  EXPECT_EQ(gun.gunPath2, -1);
  ASSERT_EQ(s.componentCount, 1);
  EXPECT_EQ(s.components[0].slot, 1);
  EXPECT_EQ(s.components[0].turret, 0);
  EXPECT_EQ(s.components[0].nodeBody, 7);
  EXPECT_EQ(s.components[0].cockpit, -1);
  const ShipType& bare = TypeRow(kClassShip, 1)->ship;
  EXPECT_EQ(bare.turretCount, 0) << "a body without entries gives nothing";
  EXPECT_EQ(bare.componentCount, 0);
}

// Component entries for the scene tests: lasers on bodies 1 (2 points), 2 (1 point) and 5 (1 point),
// cockpits on bodies 3 and 4.
Fields SceneComponents() {
  Fields f = {Key("SCTYPE_LASER", 0), Int(3)};
  for (auto [body, points] : std::vector<std::pair<const char*, int>>{{"1", 2}, {"2", 1}, {"5", 1}}) {
    f.insert(f.end(), {Str(body), Short(static_cast<int16_t>(points))});
    for (int p = 0; p < points; ++p) {
      f.push_back(Int(0));
      for (int i = 0; i < 6; ++i) f.push_back(Fixed(0));
    }
  }
  f.insert(f.end(), {Key("SCTYPE_COCKPIT", 1), Int(2)});
  for (const char* body : {"3", "4"}) {
    f.insert(f.end(), {Str(body), Short(1), Int(0)});
    for (int i = 0; i < 6; ++i) f.push_back(Fixed(0));
  }
  return f;
}

TEST_F(TypeLoader, AnOddShipsScenePassesStopAfterTheFirstPassThatAddsNothing) {
  WriteEmptyAuxFiles();
  Write("Components", SceneComponents());
  Write("TCockpits", File(54, 1, CockpitRows({0xFF})));
  // Slot 1: a cockpit node and a laser node with a gun dummy; slot 3: a laser node that pass 2,
  // which adds nothing, keeps from ever being reached.
  typetool::CutContent scene;
  scene.paths = {Path(1, "3", 0), Path(2, "1", 1), Path(3, "2", 3)};
  WriteCut(4, scene);
  typetool::CutContent gunCut;
  gunCut.paths = {Path(1, "9", 0), Path(2, "5", 0)};
  WriteCut(6, gunCut);
  Write("Dummies", {Key("SDTYPE_GUN", 3), Int(1), Str("1"), Int(0), Int(1), Int(0), Str("6"), Int(0)});
  std::vector<std::pair<int32_t, int32_t>> pairs(6, {0, 1});
  Write("TShips", File(53, 1, ShipRow(53, "1", "4", pairs, {})));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  const ShipType& s = TypeRow(kClassShip, 0)->ship;
  ASSERT_EQ(s.turretCount, 1) << "the slot-3 path is never reached";
  const ShipTurretRow& t = s.turrets[0];
  EXPECT_EQ(t.slot, 1);
  EXPECT_EQ(t.firstSlot, 1);
  EXPECT_EQ(t.slotCount, 3);
  EXPECT_EQ(s.laserCount, 3);
  ASSERT_EQ(t.gunCount, 2);
  EXPECT_EQ(t.gun[0].firstSlot, 1);
  EXPECT_EQ(t.gun[0].slotCount, 2);
  EXPECT_EQ(t.gun[0].gunBody, 1);
  EXPECT_EQ(t.gun[0].gunPath, 1);
  EXPECT_EQ(t.gun[1].firstSlot, 3) << "the dummy's gun continues the slot cursor";
  EXPECT_EQ(t.gun[1].slotCount, 1);
  EXPECT_EQ(t.gun[1].gunBody, 1);
  EXPECT_EQ(t.gun[1].gunPath, 1);
  EXPECT_EQ(t.gun[1].gunBody2, 5);
  EXPECT_EQ(t.gun[1].gunPath2, 1);
  ASSERT_EQ(s.componentCount, 1);
  EXPECT_EQ(s.components[0].nodeBody, 3);
  EXPECT_EQ(s.components[0].nodePath, 0);
  EXPECT_EQ(s.components[0].turret, 0) << "the component's turret is the first with its slot";
}

TEST_F(TypeLoader, ASceneWithMoreNodesThanTheShipHoldsFillsItsTablesAndStops) {
  WriteEmptyAuxFiles();
  Write("Components", SceneComponents());
  Write("TCockpits", File(54, 1, CockpitRows({0xFF})));
  typetool::CutContent scene;
  // Twelve slots, each with a cockpit node and 13 laser nodes: more than 7 components, 10 turrets
  // and 12 guns a turret.
  int32_t serial = 1;
  for (int slot = 1; slot <= 12; ++slot) {
    scene.paths.push_back(Path(serial++, "4", slot));
    for (int g = 0; g < 13; ++g) scene.paths.push_back(Path(serial++, "2", slot));
  }
  WriteCut(4, scene);
  std::vector<std::pair<int32_t, int32_t>> pairs(6, {0, 1});
  Write("TShips", File(53, 1, ShipRow(53, "1", "4", pairs, {})));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  const ShipType& s = TypeRow(kClassShip, 0)->ship;
  EXPECT_EQ(s.componentCount, kShipComponentCapacity);
  EXPECT_EQ(s.turretCount, kShipTurretCapacity);
  for (int t = 0; t < s.turretCount; ++t) EXPECT_EQ(s.turrets[t].gunCount, kTurretGunCapacity);
  EXPECT_EQ(s.laserCount, kShipTurretCapacity * kTurretGunCapacity) << "only stored guns count";
}

// Bodies for the generation: body 1 has a laser part, body 2 a docking part, body 3 none.
constexpr const char* kLaserBody =
    "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -33; -99; 512; -99; 0;";
constexpr const char* kDockingBody =
    "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -99; 4096; -99; 0;";
constexpr const char* kPlainBody =
    "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -99; 0; -99; 0;";

Fields GateRows(const std::vector<std::string>& bodies) {
  Fields f;
  for (const std::string& b : bodies)
    f.insert(f.end(), {Str(b), Str("-1"), Fixed(0), Fixed(0), Fixed(0), Int(0), Int(0), Str("0"), Int(0), Int(0), Int(0), Int(0),
                       Int(0), Int(0), Int(0), Int(0), Int(0), Str("")});
  return f;
}

TEST_F(TypeLoader, WithoutAComponentsFileTheLoaderWritesOneThatTheNextLoadReadsBack) {
  WriteEmptyAuxFiles();
  RemoveType("Components");
  WriteBody(1, kLaserBody);
  WriteBody(2, kDockingBody);
  WriteBody(3, kPlainBody);
  Write("TGates", File(54, 3, GateRows({"1", "3", "1"})));
  // A station scene: its path bodies are handled, and the doorway dummy's cut of slot 3 too.
  typetool::CutContent scene;
  scene.paths = {Path(1, "3", 0)};
  WriteCut(4, scene);
  typetool::CutContent door;
  door.paths = {Path(1, "2", 0)};
  WriteCut(5, door);
  Write("Dummies", {Key("SDTYPE_DOORWAY", 2), Int(1), Str("3"), Int(0), Int(1), Key("DOORSTATUS_CLOSED", 3), Str("5")});
  Fields dock = {Str("3"), Str("-1"), Fixed(0), Fixed(0), Fixed(0), Int(0), Int(0), Int(0), Fixed(0), Fixed(0), Int(0), Str("4")};
  for (int i = 0; i < 5; ++i) dock.push_back(Int(0));
  dock.push_back(Int(196));
  for (int i = 0; i < 9; ++i) dock.push_back(Int(0));
  dock.push_back(Str(""));
  Write("TDocks", File(54, 1, dock));
  ASSERT_EQ(LoadTypes(nullptr), 1) << TypeLoadFailedName();
  ASSERT_EQ(gComponentTable.kinds[0].count, 1) << "body 1 is handled once";
  const ComponentEntry& laser = gComponentTable.kinds[0].entries[0];
  EXPECT_EQ(laser.body, 1);
  ASSERT_EQ(laser.pointCount, 1);
  EXPECT_EQ(laser.points[0].flags, 1u);
  ASSERT_EQ(gComponentTable.kinds[2].count, 1) << "the doorway's cut body was handled";
  EXPECT_EQ(gComponentTable.kinds[2].entries[0].body, 2);
  const std::string first = TypesPicture();

  const std::string written = world.world.dir().Read("types/Components.txt");
  const std::string head =
      "// Autogenerated Components File\r\n// - delete this file and run game to regenerate from body/cut data\r\n";
  ASSERT_EQ(written.substr(0, head.size()), head);
  EXPECT_NE(written.find("SCTYPE_LASER;1;\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("LASERF_ROTATE;"), std::string::npos) << written;
  EXPECT_EQ(access(world.world.dir().File("types/Components.txt.new").c_str(), F_OK), -1) << "no temporary file is left";

  Reload();
  EXPECT_EQ(TypesPicture(), first) << "the written file reads back to the same tables";
  EXPECT_EQ(world.world.dir().Read("types/Components.txt"), written) << "an existing file is not written again";
}

void PrintDetailAndExit(uint32_t code, const char* detail) {
  std::fprintf(stderr, "shutdown %u [%s]\n", code, detail);
  std::fflush(stderr);
  std::_Exit(static_cast<int>(code));
}

TEST_F(TypeLoader, GeneratingForMoreThanTenThousandBodiesEndsWithTheClassFilesName) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WriteEmptyAuxFiles();
  RemoveType("Components");
  std::vector<std::string> bodies;
  for (int i = 0; i <= kHandledBodyCapacity; ++i) bodies.push_back(std::to_string(30000 + i));
  Write("TGates", File(54, static_cast<int32_t>(bodies.size()), GateRows(bodies)));
  EXPECT_EXIT(
      {
        SetSceneFatalExit(PrintDetailAndExit);
        LoadTypes(nullptr);
      },
      ::testing::ExitedWithCode(static_cast<int>(kTypeLoadLimitExit)), "shutdown 40 \\[types.TGates\\]");
}

}  // namespace
