// The universe save section: its exact bytes for the cases that matter, a busy universe that
// reads back and writes the same bytes again, damaged sections that fail cleanly without
// leaving objects behind, and the take records, sector media and component paths.
#include "universe/universe_save.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/cut_keys.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "support/universe_save_world.h"
#include "universe/dock_ports.h"
#include "universe/object_lifecycle.h"
#include "universe/object_takes.h"
#include "universe/object_view.h"
#include "universe/universe_registry.h"

namespace {

std::string Be32(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

uint32_t WordAt(const std::string& s, size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
         (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

void PutWord(std::string& s, size_t at, uint32_t v) { s.replace(at, 4, Be32(v)); }

// Offsets inside an "SOBJ" record, from its tag.
constexpr size_t kOwnerAt = 56;
constexpr size_t kParentAt = 68;
constexpr size_t kInstanceAt = 88;
constexpr size_t kNameAt = 200;
constexpr size_t kBeamAt = kNameAt - 4;  // the tractor beam's instance ends the common part
constexpr size_t kClassPartAt = 204;  // for an object without a name
// A ship's container part without a docking table, then its own part.
constexpr size_t kShipCountAt = kClassPartAt + 4 + 40 + 4 + 4 + 8 + 2 + 4;
constexpr size_t kDockVersionAt = kClassPartAt + 44;

// The tag positions of the "SOBJ" records, in order.
std::vector<size_t> Records(const std::string& s) {
  std::vector<size_t> at;
  for (size_t p = s.find("SOBJ"); p != std::string::npos; p = s.find("SOBJ", p + 4)) at.push_back(p);
  return at;
}

SpaceObject* ById(uint32_t id) { return FindObjectByIdGlobal(id); }

class UniverseSave : public ::testing::Test {
 protected:
  UniverseSaveWorld world_;
};

TEST_F(UniverseSave, EmptyUniverseWritesTheFramedStatePartAndReadsBack) {
  world_.universe().runState[0] = 1;
  world_.universe().missileCount = 9;
  world_.universe().commandActive = 1;
  std::string expected = "SECT" + Be32(2) + std::string("\0\1\0\0", 4);
  for (uint32_t w : {0u, 0u, 0u, 0u, 0u, 9u, 0u, 0u, 0u, 0u, 1u}) expected += Be32(w);
  expected += Be32(0) + Be32(0) + Be32(0) + "/SEC";
  const std::string bytes = world_.Write();
  EXPECT_EQ(bytes, expected);
  world_.universe().missileCount = 0;
  ASSERT_TRUE(world_.Read(bytes));
  EXPECT_EQ(world_.universe().missileCount, 9u);
  EXPECT_EQ(world_.universe().runState[0], 1u);
  EXPECT_EQ(world_.Write(), expected);

  // A game without a universe reads back only the empty section.
  world_.Add(kClassAsteroid, world_.Sector());
  const std::string busy = world_.Write();
  gUniverse = nullptr;
  EXPECT_TRUE(world_.Read(expected));
  EXPECT_FALSE(world_.Read(busy));
  gUniverse = &world_.universe();
}

// The scripts' client data flags are the state part's first word: a game saved and loaded keeps
// them.
TEST_F(UniverseSave, ClientDataFlagsSurviveTheSection) {
  world_.universe().clientDataFlags = 0xC0DE0042u;
  const std::string bytes = world_.Write();
  EXPECT_EQ(WordAt(bytes, 4 + 4 + 4), 0xC0DE0042u);  // after the tag, the version and the two flags
  world_.universe().clientDataFlags = 0;
  ASSERT_TRUE(world_.Read(bytes));
  EXPECT_EQ(world_.universe().clientDataFlags, 0xC0DE0042u);
}

// A ship without name or owner in a sector, with two related objects and an instance that is
// not to be saved.
TEST_F(UniverseSave, OwnerNameRelatedObjectsAndTransientInstanceAreWrittenAsFixed) {
  SectorObject* sector = world_.Sector();
  SpaceObject* ship = world_.Add(kClassShip, sector);
  ship->owner = kNoOwner;
  ship->instance->flags2 |= kInst2NotSaved;
  auto* ext = static_cast<ShipExt*>(ship->ext);
  ext->threatCount = 2;
  ext->threats[0] = sector;
  ext->threats[1] = ship;
  ext->threats[2] = sector;  // beyond the count: written as none
  world_.universe().player = ship;
  const std::string bytes = world_.Write();
  const std::vector<size_t> records = Records(bytes);
  ASSERT_EQ(records.size(), 2u);
  const size_t p = records[1];
  EXPECT_EQ(WordAt(bytes, p + 4), ship->id);
  EXPECT_EQ(WordAt(bytes, p + kOwnerAt), 0xFFFFFFFFu);
  EXPECT_EQ(WordAt(bytes, p + kInstanceAt), 0u);
  EXPECT_EQ(WordAt(bytes, p + kNameAt), 0u);
  EXPECT_EQ(WordAt(bytes, p + kShipCountAt), 2u);
  EXPECT_EQ(bytes.substr(p + kShipCountAt + 4, 20), Be32(sector->id) + Be32(ship->id) + std::string(12, '\0'));

  const uint32_t shipId = ship->id, sectorId = sector->id;
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(bytes));
  SpaceObject* back = ById(shipId);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->owner, kNoOwner);
  EXPECT_EQ(back->name, nullptr);
  EXPECT_EQ(back->instance, nullptr);
  EXPECT_EQ(back->parent, ById(sectorId));
  EXPECT_EQ(world_.universe().player, back);
  auto* backExt = static_cast<ShipExt*>(back->ext);
  EXPECT_EQ(backExt->threatCount, 2);
  EXPECT_EQ(backExt->threats[1], back);
  EXPECT_EQ(backExt->threats[2], nullptr);
  EXPECT_EQ(world_.Write(), bytes);
}

TEST_F(UniverseSave, BusyUniverseReadsBackAndWritesTheSameBytes) {
  world_.FillBusy(3, 120);
  // One sector's children in the reverse of their id order: they come back in id order.
  SectorObject* sector = nullptr;
  for (SpaceObject* o = ObjectListFirst(&world_.universe().objects); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassSector) sector = static_cast<SectorObject*>(o);
  }
  ASSERT_NE(sector, nullptr);
  ListHead* children = ObjectChildren(sector);
  std::vector<SpaceObject*> order;
  while (SpaceObject* o = ObjectListFirst(children)) {
    ObjectListRemove(o);
    order.insert(order.begin(), o);
  }
  for (SpaceObject* o : order) ObjectListAddTail(children, o);
  const uint32_t sectorId = sector->id;
  const uint32_t count = HashCount(world_.universe().idHash);
  const uint32_t takes = HashCount(world_.universe().takeHash);

  const std::string bytes = world_.Write();
  ASSERT_FALSE(bytes.empty());
  world_.EmptyKeepingEngine();
  ASSERT_EQ(HashCount(world_.universe().idHash), 0u);
  ASSERT_TRUE(world_.Read(bytes));
  EXPECT_EQ(HashCount(world_.universe().idHash), count);
  EXPECT_EQ(HashCount(world_.universe().takeHash), takes);
  EXPECT_EQ(world_.Write(), bytes);

  uint32_t last = 0;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(ById(sectorId))); o; o = ObjectListNext(o)) {
    EXPECT_GT(o->id, last);
    last = o->id;
  }
  int ships = 0, named = 0, docked = 0, withTables = 0;
  for (uint32_t key = HashNextKey(world_.universe().idHash, 0); key; key = HashNextKey(world_.universe().idHash, key)) {
    SpaceObject* o = ById(key);
    if (o->name) {
      EXPECT_STREQ(o->name, o->parent && o->parent->objClass == kClassDock ? "Docked" : "Object name");
      ++named;
    }
    EXPECT_EQ(o->flags & kObjFlagRemoving, 0u);
    if (o->objClass != kClassShip) continue;
    ++ships;
    if (o->parent->objClass == kClassDock) ++docked;
    auto* ship = static_cast<ShipExt*>(o->ext);
    if (!ship->dockSlots) continue;
    ++withTables;
    EXPECT_EQ(ship->dockSlots->count, UniverseSaveWorld::kDockPlaces);
    EXPECT_EQ(ship->dockSlots->rows[1].slot, 1);
    EXPECT_EQ(ship->dockSlots->rows[1].reservedGroup, 4);
  }
  EXPECT_GT(ships, 0);
  EXPECT_GT(named, 0);
  EXPECT_GT(docked, 0);
  EXPECT_GT(withTables, 0);
  for (uint32_t key = HashNextKey(world_.universe().takeHash, 0); key;
       key = HashNextKey(world_.universe().takeHash, key)) {
    auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(world_.universe().takeHash, key));
    ASSERT_NE(record->take, nullptr);
    ASSERT_NE(record->actors, nullptr);
    EXPECT_NE(record->actors[0], nullptr);
    EXPECT_EQ(record->actors[1], nullptr);
    EXPECT_EQ(record->value, 77);
    EXPECT_EQ(record->sector->objClass, kClassSector);
  }
}

TEST_F(UniverseSave, TopLevelObjectOutsideASectorIsMarkedForRemoval) {
  world_.Sector();
  const uint32_t id = world_.Add(kClassAsteroid, nullptr)->id;
  const std::string bytes = world_.Write();
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(bytes));
  EXPECT_NE(ById(id)->flags & kObjFlagRemoving, 0u);
}

// Ids of new objects go on from the highest id read back, not from what the process counted
// before the load: two games read back from one save number their new objects alike.
TEST_F(UniverseSave, NewObjectsAfterALoadAreNumberedOnFromTheHighestIdRead) {
  SectorObject* sector = world_.Sector();
  const uint32_t sectorId = sector->id;
  const uint32_t last = world_.Add(kClassShip, sector)->id;
  const std::string bytes = world_.Write();
  for (uint32_t counted : {0u, 7u, last + 40}) {
    SCOPED_TRACE(counted);
    world_.EmptyKeepingEngine();
    HashSetKeyCounter(gUniverse->idHash, counted);
    ASSERT_TRUE(world_.Read(bytes));
    EXPECT_EQ(world_.Add(kClassAsteroid, FindSectorById(sectorId))->id, last + 1);
  }
}

// A small universe whose bytes the damaged-section cases edit: a sector (first record), a ship
// in it (second), a laser in the ship (third) and a take.
class DamagedSection : public UniverseSave {
 protected:
  void SetUp() override {
    sector_ = world_.Sector();
    ship_ = world_.Add(kClassShip, sector_);
    laser_ = world_.Add(kClassLaser, ship_);
    static_cast<LaserExt*>(laser_->ext)->word0 = 5;
    world_.Take(sector_, {ship_, laser_});
    bytes_ = world_.Write();
    records_ = Records(bytes_);
    ASSERT_EQ(records_.size(), 3u);
    ids_ = {sector_->id, ship_->id, laser_->id};
    world_.EmptyKeepingEngine();
  }

  SectorObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  SpaceObject* laser_ = nullptr;
  std::string bytes_;
  std::vector<size_t> records_;
  std::vector<uint32_t> ids_;
};

TEST_F(DamagedSection, EveryDamageFailsAndLeavesNoObjectBehind) {
  struct Case {
    const char* what;
    void (*edit)(std::string& s, const std::vector<size_t>& r, const std::vector<uint32_t>& ids);
  };
  const Case kCases[] = {
      {"section tag", [](std::string& s, auto&, auto&) { s[0] = 'X'; }},
      {"state version 3", [](std::string& s, auto&, auto&) { PutWord(s, 4, 3); }},
      {"common part version 3", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + 8, 3); }},
      {"object tag", [](std::string& s, auto& r, auto&) { s[r[2]] = 'X'; }},
      {"take tag", [](std::string& s, auto&, auto&) { s[s.find("STAK")] = 'X'; }},
      {"take block size", [](std::string& s, auto&, auto&) { PutWord(s, s.find("STAK") + 4, 19); }},
      {"duplicate shell id", [](std::string& s, auto&, auto& ids) { PutWord(s, 4 + 52 + 8 + 8, ids[0]); }},
      {"unknown record id", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + 4, 999); }},
      {"parent cycle", [](std::string& s, auto& r, auto& ids) { PutWord(s, r[0] + kParentAt, ids[1]); }},
      {"name of -1 bytes", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kNameAt, 0xFFFFFFFF); }},
      {"name of 1001 bytes", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kNameAt, 1001); }},
      {"related count 6", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kShipCountAt, 6); }},
      {"related count -1", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kShipCountAt, 0xFFFFFFFF); }},
      {"turret count 11", [](std::string& s, auto& r, auto&) { PutWord(s, r[2] - 4 - 2 * 92, 11); }},
      {"dock table count -1", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kDockVersionAt + 4, 0xFFFFFFFF); }},
      {"shell count beyond the stream", [](std::string& s, auto&, auto&) { PutWord(s, 4 + 52 + 4, 0x10000000); }},
      // An instance an object frees with itself claimed by a second object would be freed twice.
      {"instance owned twice", [](std::string& s, auto& r, auto&) { PutWord(s, r[2] + kInstanceAt, WordAt(s, r[1] + kInstanceAt)); }},
      {"beam is another's instance", [](std::string& s, auto& r, auto&) { PutWord(s, r[1] + kBeamAt, WordAt(s, r[2] + kInstanceAt)); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string damaged = bytes_;
    c.edit(damaged, records_, ids_);
    EXPECT_FALSE(world_.Read(damaged));
    EXPECT_EQ(HashCount(world_.universe().idHash), 0u);
    EXPECT_EQ(HashCount(world_.universe().takeHash), 0u);
    EXPECT_EQ(ObjectListFirst(&world_.universe().objects), nullptr);
  }
}

TEST_F(DamagedSection, EveryCutShortStreamFails) {
  for (size_t length = 0; length < bytes_.size(); ++length) {
    SCOPED_TRACE(length);
    EXPECT_FALSE(world_.Read(bytes_.substr(0, length)));
    // Only a missing end tag leaves the linked objects, which the universe's lists free.
    FreeAllObjects(&world_.universe());
    ASSERT_EQ(HashCount(world_.universe().idHash), 0u);
  }
  EXPECT_TRUE(world_.Read(bytes_));
}

TEST_F(DamagedSection, OlderPartsReadAsStated) {
  // A laser part whose leading version is not 2 has no amount: the next word is its version.
  std::string laser = bytes_;
  const size_t at = records_[2] + kClassPartAt;
  PutWord(laser, at, 1);
  laser.erase(at + 4, 4);
  ASSERT_TRUE(world_.Read(laser));
  EXPECT_EQ(static_cast<LaserExt*>(ById(ids_[2])->ext)->word0, 0u);
  EXPECT_EQ(ById(ids_[2])->parent, ById(ids_[1]));
}

TEST_F(DamagedSection, UnresolvableTakeReferencesBecomeNone) {
  std::string s = bytes_;
  const size_t take = s.find("STAK") + 8;
  PutWord(s, take + 4, 4242);      // take handle
  PutWord(s, take + 8, ids_[1]);   // a ship, not a sector
  PutWord(s, take + 20, 31337);    // first actor
  ASSERT_TRUE(world_.Read(s));
  auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(world_.universe().takeHash, HashNextKey(world_.universe().takeHash, 0)));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->take, nullptr);
  EXPECT_EQ(record->sector, nullptr);
  EXPECT_EQ(record->actors[0], nullptr);
  EXPECT_EQ(record->actors[1], ById(ids_[2]));
  EXPECT_EQ(ObjTakeRemainingTime(record), 0);
}

// A take that plays a cut of two paths, saved with one actor: the record still gets one actor
// slot per instance slot, which the take's stop walks when the universe is emptied.
TEST_F(DamagedSection, TakeActorsCoverEveryInstanceSlot) {
  std::string s = bytes_;
  const size_t take = s.find("STAK") + 8;
  const uint32_t handle = WordAt(s, take + 4);
  TakeRecord* engineTake = GetTakeByHandle(handle);
  ASSERT_NE(engineTake, nullptr);
  ASSERT_EQ(engineTake->instanceCount, 2);
  PutWord(s, take + 16, 1);
  s.erase(take + 24, 4);
  ASSERT_TRUE(world_.Read(s));
  auto* record = reinterpret_cast<ObjTakeRecord*>(HashGet(world_.universe().takeHash, HashNextKey(world_.universe().takeHash, 0)));
  ASSERT_NE(record->actors, nullptr);
  EXPECT_EQ(record->actors[0], ById(ids_[1]));
  EXPECT_EQ(record->actors[1], nullptr);
  FreeAllObjects(&world_.universe());
}

TEST_F(UniverseSave, DockTableKeepsTheTypesPlacesAndFollowingRecordsStayInStep) {
  SectorObject* sector = world_.Sector();
  SpaceObject* dock = world_.Add(kClassDock, sector);
  auto* ext = static_cast<DockExt*>(dock->ext);
  auto* table = static_cast<DockSlotTable*>(MemCalloc(sizeof(DockSlotTable)));
  table->count = 3;
  table->rows = static_cast<DockSlotRow*>(MemCalloc(sizeof(DockSlotRow) * 3));
  for (int i = 0; i < 3; ++i) table->rows[i].reservedGroup = 10 + i;
  ext->dockSlots = table;
  ext->friendMask = 0x15;
  SpaceObject* after = world_.Add(kClassAsteroid, sector, "after");
  const uint32_t dockId = dock->id, afterId = after->id;
  const std::string bytes = world_.Write();
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(bytes));
  auto* back = static_cast<DockExt*>(ById(dockId)->ext);
  ASSERT_NE(back->dockSlots, nullptr);
  EXPECT_EQ(back->dockSlots->count, UniverseSaveWorld::kDockPlaces);
  EXPECT_EQ(back->dockSlots->rows[1].reservedGroup, 11);
  EXPECT_EQ(back->friendMask, 0x15u);
  EXPECT_STREQ(ById(afterId)->name, "after");

  // A wrong version before the table skips the table and the words behind it.
  std::string older = bytes;
  const size_t p = Records(bytes)[1];
  PutWord(older, p + kDockVersionAt, 1);
  older.erase(p + kDockVersionAt + 4, 4 + 3 * 68 + 4 + 4 + 2);
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(older));
  EXPECT_EQ(static_cast<DockExt*>(ById(dockId)->ext)->dockSlots, nullptr);
  EXPECT_EQ(static_cast<DockExt*>(ById(dockId)->ext)->friendMask, 0u);
  EXPECT_STREQ(ById(afterId)->name, "after");
}

// ---------------------------------------------------------------------------------------------
// Takes, sector media and component paths.

std::vector<int32_t> gOwnersAsked;

TEST_F(UniverseSave, SectorMediaAreSuspendedOnlyWhileTheSecondStateFlagIsSet) {
  SectorObject* sector = world_.Sector();
  sector->sectorLast = 4;
  SetMediaRowOwnerHook([](int32_t row) {
    gOwnersAsked.push_back(row);
    return row + 100;
  });
  world_.universe().runState[1] = 0;
  SectorsSuspendMedia(true);
  EXPECT_EQ(sector->sectorWords[9], 0u);
  EXPECT_TRUE(gOwnersAsked.empty());
  world_.universe().runState[1] = 1;
  SectorsSuspendMedia(true);
  EXPECT_EQ(sector->sectorWords[9], 1u);
  EXPECT_EQ(gOwnersAsked, std::vector<int32_t>{4});
  SectorsSuspendMedia(false);
  EXPECT_EQ(sector->sectorWords[9], 0u);
  EXPECT_EQ(gOwnersAsked.size(), 1u);
  SetMediaRowOwnerHook(nullptr);
}

TEST_F(UniverseSave, ComponentPathsNeedASectorSceneAndThenStartAtAnyDistanceWithBit9) {
  struct Case {
    bool scene;
    uint32_t flags2;
    bool started;
  };
  const Case kCases[] = {{false, kObjFlag2StartComponentPaths, false},
                         {true, kObjFlag2StartComponentPaths, true},
                         {true, 0, false}};  // no camera: no distance
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.scene);
    SectorObject* sector = world_.Sector(c.scene);
    SpaceObject* o = world_.Add(kClassAsteroid, sector);
    if (!o->instance) o->instance = B3D_InstAlloc();  // freed with the object
    o->flags2 |= c.flags2;
    o->radius = 1 << 20;
    ObjTakeRecord* take = world_.Take(sector, {nullptr});
    const uint32_t cut = take->take->cutHandle;
    o->componentCut = cut;
    InstanceRecord* node = B3D_InstAlloc();
    B3D_InstAddToInst(node, o->instance);
    node->cutHandle = cut;
    node->jobFlags = kJobPlaying | kJobEndReported;
    node->rangeStart = 555;
    EXPECT_EQ(ObjIsInViewRange(o), false);
    EXPECT_EQ(ObjViewDistance(o, 0) == -1, !c.scene);
    ObjStartComponentPaths(o);
    EXPECT_EQ(node->rangeStart != 555, c.started);
  }
}

}  // namespace

// The simulation's own state that the object records leave out travels in a chunk of its own: a
// ship in the middle of an evasive manoeuvre, with a flight matrix still turned after a ram, the
// distances to its obstacles and its order's start point, reads back as it was, so the next
// frames steer the same. Records naming no object, an object of another class, or more objects
// than the universe holds are refused.
class SimulationState : public UniverseSave {
 protected:
  std::string path_ = (std::filesystem::temp_directory_path() /
                       ("korvane_sims_" + std::to_string(::getpid()) + ".bin"))
                          .string();
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  std::string WriteState() {
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpenFromCatalog(&file, path_.c_str(), "wb", false)) return {};
    const bool ok = WriteSimulationState(&file);
    FileClose(&file);
    if (!ok) return {};
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool ReadState(const std::string& bytes) {
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpenFromCatalog(&file, path_.c_str(), "rb", false)) return false;
    const bool ok = ReadSimulationState(&file);
    FileClose(&file);
    return ok;
  }
};

TEST_F(SimulationState, AShipInAFightReadsBackAsItWas) {
  SectorObject* sector = world_.Sector();
  SpaceObject* ship = world_.Add(kClassShip, sector);
  SpaceObject* obstacle = world_.Add(kClassAsteroid, sector);
  ASSERT_NE(ship, nullptr);
  ASSERT_NE(obstacle, nullptr);
  ship->mass = 4200;
  ship->hitReference = 77;
  auto* s = static_cast<ShipExt*>(ship->ext);
  for (int i = 0; i < 19; ++i) s->orderWords[i] = 1000u + uint32_t(i);
  s->commandWords[3] = 2;      // the evasion's counter,
  s->commandWords[4] = 12452;  // the roll rate it adds,
  s->commandWords[5] = 1;      // and its style
  s->slowdownFactor = 0x8000;
  s->slowdownEnd = 9000;
  s->drainBase = 30;
  s->drainRatio = 600;
  // A flight matrix that is not the instance's (a ram put the instance back, not the flight frame).
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) s->rotation.m[r][c] = 100 * r + c + 1;
  MatrixFromAngles(&s->carriedMatrix, 100, 200, 300);
  s->carriedPosition = FixedVector{5, -6, 7, 0};
  for (int i = 0; i < 7; ++i) s->tailWords[i] = 50u + uint32_t(i);
  s->threatCount = 1;
  s->threats[0] = obstacle;
  s->threatDistances[0] = 1681;  // measured when the obstacle was found, not where it is now
  s->avoidValue = 3;
  s->heldSpeedLimit = -1;
  s->tractorEventsOff = 1;
  s->shieldDrainRate = 250;
  s->shieldDrainLeft = 900;
  s->turrets[1].stateWords[0] = 11;
  s->turrets[1].stateWords[2] = 13;
  const uint32_t shipId = ship->id;
  const ShipExt before = *s;

  const std::string section = world_.Write();
  const std::string state = WriteState();
  ASSERT_FALSE(section.empty());
  ASSERT_FALSE(state.empty());
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(section));
  ASSERT_TRUE(ReadState(state));
  SpaceObject* back = ById(shipId);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->mass, 4200);
  EXPECT_EQ(back->hitReference, 77);
  const auto* b = static_cast<const ShipExt*>(back->ext);
  EXPECT_EQ(std::memcmp(b->orderWords, before.orderWords, sizeof before.orderWords), 0);
  EXPECT_EQ(std::memcmp(b->commandWords, before.commandWords, sizeof before.commandWords), 0);
  EXPECT_EQ(b->slowdownFactor, 0x8000);
  EXPECT_EQ(b->slowdownEnd, 9000u);
  EXPECT_EQ(b->drainBase, 30);
  EXPECT_EQ(b->drainRatio, 600);
  EXPECT_EQ(std::memcmp(&b->rotation, &before.rotation, sizeof before.rotation), 0);
  EXPECT_EQ(std::memcmp(&b->carriedMatrix, &before.carriedMatrix, sizeof before.carriedMatrix), 0);
  EXPECT_EQ(b->carriedPosition.x, 5);
  EXPECT_EQ(b->carriedPosition.y, -6);
  EXPECT_EQ(b->carriedPosition.z, 7);
  EXPECT_EQ(std::memcmp(b->tailWords, before.tailWords, sizeof before.tailWords), 0);
  EXPECT_EQ(b->threatDistances[0], 1681);
  EXPECT_EQ(b->avoidValue, 3);
  EXPECT_EQ(b->heldSpeedLimit, -1);
  EXPECT_EQ(b->tractorEventsOff, 1u);
  EXPECT_EQ(b->shieldDrainRate, 250);
  EXPECT_EQ(b->shieldDrainLeft, 900);
  EXPECT_EQ(b->turrets[1].stateWords[0], 11u);
  EXPECT_EQ(b->turrets[1].stateWords[2], 13u);
  // Read back and written again, the chunk is the same.
  EXPECT_EQ(WriteState(), state);

  struct Case {
    const char* what;
    size_t at;  // word to change
    uint32_t value;
  };
  // The chunk: the count, then per object its id and class; the ship comes second here.
  const uint32_t firstId = WordAt(state, 4);
  const Case kCases[] = {
      {"more records than objects", 0, 1000},
      {"an id no object has", 4, 0xFFFFFF},
      {"no id", 4, 0},
      {"another class", 8, firstId == shipId ? uint32_t(kClassAsteroid) : uint32_t(kClassShip)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string damaged = state;
    PutWord(damaged, c.at, c.value);
    EXPECT_FALSE(ReadState(damaged));
  }
  EXPECT_FALSE(ReadState(state.substr(0, state.size() - 2)));
}
