// The sound banks: the "Sounds" type file in both forms, the id lookups, and what a short or
// hostile file leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/memory.h"
#include "devices/sound_banks.h"
#include "support/catalog_world.h"

// Entries compare field by field (found by lookup from std::vector's comparison).
static bool operator==(const SoundBankEntry& a, const SoundBankEntry& b) {
  return a.priority == b.priority && a.volume == b.volume && a.flags == b.flags && a.range == b.range &&
         a.pitchLow == b.pitchLow && a.pitchHigh == b.pitchHigh && a.volumeSpread == b.volumeSpread &&
         a.sample == b.sample;
}

namespace {

// One entry in file order.
struct FileEntry {
  int32_t priority, volume;
  uint32_t flags;
  int32_t pitchLow, pitchHigh, spread, range;
};

// A value stream of a "Sounds" file: plain integers, and entries whose flags field is written as
// flag names in text form.
struct Item {
  bool isEntry;
  int32_t value;
  FileEntry entry;
};

Item Int(int32_t value) { return Item{false, value, {}}; }
Item Entry(FileEntry entry) { return Item{true, 0, entry}; }

void WriteSounds(const std::vector<Item>& items, bool binary) {
  DataReader w;
  DataWriterOpen(&w, binary ? "types/Sounds.pck" : "types/Sounds.txt", binary, nullptr, 0);
  ASSERT_EQ(w.error, 0);
  for (const Item& item : items) {
    if (!item.isEntry) {
      WriteInt(&w, item.value);
      continue;
    }
    const FileEntry& e = item.entry;
    WriteInt(&w, e.priority);
    WriteInt(&w, e.volume);
    WriteEnumWord(&w, e.flags, kSoundFlagNames);
    WriteInt(&w, e.pitchLow);
    WriteInt(&w, e.pitchHigh);
    WriteInt(&w, e.spread);
    WriteInt(&w, e.range);
  }
  EXPECT_EQ(w.error, 0);
  DataReaderClose(&w);
}

std::vector<SoundBankEntry> Bank(int32_t bank) {
  const SoundBank& b = gSoundBanks[bank];
  return b.entries ? std::vector<SoundBankEntry>(b.entries, b.entries + b.count) : std::vector<SoundBankEntry>{};
}

class SoundBanks : public testing::Test {
 protected:
  void SetUp() override { soundBytes_ = gMemCounters.categoryBytes[kMemCatSound]; }
  void TearDown() override {
    FreeSoundBanks();
    EXPECT_EQ(gMemCounters.categoryBytes[kMemCatSound], soundBytes_);
  }
  void Load(const std::vector<Item>& items, bool binary) {
    world_.dir().Write("types/.keep", "");
    WriteSounds(items, binary);
    LoadSoundTable();
  }
  CatalogWorld world_;
  uint32_t soundBytes_ = 0;
};

const std::vector<Item> kTable = {
    Int(2),
    Int(250), Int(2),
    Entry({5, 200, kSfxLoop | kSfx3DControl, -100, 100, 10, 0}),
    Entry({-3, -1, 0, 0, 0, 0, 40000}),
    Int(1350),  // no such bank: dropped, and the next value is a header again
    Int(1200), Int(6),
    Entry({1, 1, kSfxAutoFree, 1, 1, 1, 1}),
    Entry({2, 2, 0, 2, 2, 2, 2}),
    Entry({3, 3, 0, 3, 3, 3, 3}),
    Entry({4, 4, 0, 4, 4, 4, 4}),
    Entry({5, 5, 0, 5, 5, 5, 5}),
    // The last value of the file: a binary file keeps its every byte.
    Entry({70000, 255, 0x12345, 6, 600, 50, 0x7F7F7F7F}),
};

TEST_F(SoundBanks, TextAndBinaryFormsLoadTheSameTable) {
  std::vector<SoundBankEntry> text[kSoundBankCount];
  Load(kTable, false);
  for (int32_t b = 0; b < kSoundBankCount; ++b) text[b] = Bank(b);
  FreeSoundBanks();
  std::filesystem::remove(world_.dir().File("types/Sounds.txt"));
  Load(kTable, true);
  for (int32_t b = 0; b < kSoundBankCount; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(Bank(b), text[b]);
  }
  ASSERT_EQ(gSoundBanks[2].count, 2);
  ASSERT_EQ(gSoundBanks[12].count, 6);
  for (int32_t b : {0, 1, 3, 11}) EXPECT_EQ(gSoundBanks[b].count, 0);

  const SoundBankEntry& first = gSoundBanks[2].entries[0];
  EXPECT_EQ(first.priority, 5);
  EXPECT_EQ(first.volume, 200);
  EXPECT_EQ(first.flags, kSfxLoop | kSfx3DControl);
  EXPECT_EQ(first.pitchLow, -100);
  EXPECT_EQ(first.pitchHigh, 100);
  EXPECT_EQ(first.volumeSpread, 10);
  EXPECT_EQ(first.range, 0);
  const SoundBankEntry& last = gSoundBanks[12].entries[5];
  EXPECT_EQ(last.priority, int16_t(70000 & 0xFFFF)) << "priority keeps 16 bits";
  EXPECT_EQ(last.flags, 0x12345u);
  EXPECT_EQ(last.range, 0x7F7F7F7F);
}

TEST_F(SoundBanks, IdsNameABankAndAnEntry) {
  Load(kTable, false);
  struct Case {
    int32_t id;
    bool known;
    uint32_t flags;
    int32_t volume;
  };
  const Case kCases[] = {
      {200, true, kSfxLoop | kSfx3DControl, 200}, {201, true, 0, -1}, {202, false, 0, 0},
      {250, false, 0, 0},
      {1200, true, kSfxAutoFree, 1},              {1205, true, 0x12345, 255}, {1206, false, 0, 0},
      {1300, false, 0, 0},         {-1, false, 0, 0},
      {-150, false, 0, 0},                         {-99, false, 0, 0},         {INT32_MIN, false, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(FindSoundBankEntry(c.id) != nullptr, c.known);
    EXPECT_EQ(GetSoundFlags(c.id), c.flags);
    EXPECT_EQ(GetSoundVolume(c.id), c.volume);
  }
}

TEST_F(SoundBanks, FlagsAreNamesOrNumbers) {
  world_.dir().Write("types/Sounds.txt",
                     "/ bank count\n1;\n100; 5;\n"
                     "1; 2; SFX_AUTOFREE; 0; 0; 0; 0;\n"
                     "1; 2; NULL; 0; 0; 0; 0;\n"
                     "1; 2; 0x21; 0; 0; 0; 0;\n"
                     "1; 2; 17; 0; 0; 0; 0;\n"
                     "1; 2; SFX_LOOP|SFX_DSIK; 0; 0; 0; 0;\n ");
  LoadSoundTable();
  const uint32_t kExpected[] = {0x40, 0, 0x21, 17, 0x9};
  ASSERT_EQ(gSoundBanks[1].count, 5);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(GetSoundFlags(100 + k), kExpected[k]) << k;
}

TEST_F(SoundBanks, ShortAndHostileFilesKeepWhatWasRead) {
  const FileEntry e = {1, 2, 0, 3, 4, 5, 6};
  struct Case {
    const char* what;
    std::vector<Item> items;
    std::vector<int32_t> counts;  // of banks 0 to 4
  };
  std::vector<Item> tooMany = {Int(1), Int(300), Int(102)};
  for (int k = 0; k < 102; ++k) tooMany.push_back(Entry(e));
  tooMany.push_back(Int(400));
  tooMany.push_back(Int(1));
  tooMany.push_back(Entry(e));
  const Case kCases[] = {
      {"cut inside an entry", {Int(1), Int(100), Int(3), Entry(e), Entry(e), Int(1), Int(2)}, {0, 2, 0, 0, 0}},
      {"cut before the count", {Int(1), Int(200)}, {0, 0, 0, 0, 0}},
      {"a negative count ends the reading", {Int(1), Int(100), Int(-1), Int(200), Int(1), Entry(e)}, {0, 0, 0, 0, 0}},
      {"entries past 99 are read but not kept", tooMany, {0, 0, 0, 100, 1}},
      {"a repeated header replaces the bank", {Int(1), Int(250), Int(2), Entry(e), Entry(e), Int(260), Int(1), Entry(e)},
       {0, 0, 1, 0, 0}},
      {"a count of 0 empties the bank", {Int(1), Int(250), Int(2), Entry(e), Entry(e), Int(299), Int(0)}, {0, 0, 0, 0, 0}},
      {"a bank count of 0 reads nothing", {Int(0), Int(100), Int(1), Entry(e)}, {0, 0, 0, 0, 0}},
      {"a huge count reads to the end", {Int(1), Int(100), Int(0x7FFFFFFF), Entry(e)}, {0, 1, 0, 0, 0}},
      {"a header of -50 is bank 0", {Int(1), Int(-50), Int(1), Entry(e)}, {1, 0, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Load(c.items, true);
    for (int32_t b = 0; b < 5; ++b) EXPECT_EQ(gSoundBanks[b].count, c.counts[b]) << "bank " << b;
    if (gSoundBanks[1].count > 0) {
      EXPECT_EQ(gSoundBanks[1].entries[0].range, 6);
    }
    FreeSoundBanks();
  }
}

TEST_F(SoundBanks, MissingFileLeavesEveryIdUnknown) {
  Load(kTable, false);
  ASSERT_NE(FindSoundBankEntry(200), nullptr);
  std::filesystem::remove(world_.dir().File("types/Sounds.txt"));
  LoadSoundTable();
  for (int32_t id : {0, 200, 201, 1205}) EXPECT_EQ(FindSoundBankEntry(id), nullptr) << id;
}

}  // namespace
