// Catalogs and game-file lookup: index parsing, mounting checks against the data file, newest
// catalog first with the mod catalog on top, language variants and type order, loose files over
// catalogs, and the whole-file reader over plain, gzip and scrambled gzip data, which must turn
// every truncated, bit-flipped or oversized input into a clean null.
#include "core/catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/catalog_builder.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "support/catalog_world.h"
#include "support/temp_dir.h"

namespace {

using catalog_tool::PackedFile;

std::string Text(size_t n, char seed) {
  std::string s;
  uint32_t x = uint8_t(seed) * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s.push_back(char('a' + (x >> 16) % 7));  // compressible, but not trivially
  }
  return s;
}

// Owns a buffer from the whole-file readers.
struct Loaded {
  explicit Loaded(char* p) : data(p), size(p ? gLastReadSize : 0) {}
  ~Loaded() {
    if (data) MemFree(data, size, 0);
  }
  std::string str() const { return data ? std::string(data, size) : std::string("<null>"); }
  char* data;
  uint32_t size;
};

// Writes a raw (already scrambled or deliberately broken) index and a data file of `dataSize` bytes.
void WriteRawCatalog(const CatalogWorld& world, const std::string& name, const std::string& plainIndex,
                     size_t dataSize) {
  world.WriteLoose(name, catalog_tool::ScrambleIndex(plainIndex));
  std::string dataName = name;
  dataName[dataName.size() - 3] = 'd';
  world.WriteLoose(dataName, std::string(dataSize, 'x'));
}

TEST(CatalogIndex, ParsesNamesSizesAndOffsets) {
  CatalogWorld world(1);
  const std::string index =
      "01.dat\r\n"
      "t\\0001-L044.pck 120\r\n"
      "# a comment 5\n"
      " indented 7\n"
      "\n"
      "my file.txt 10\n\r"
      "no-size-column\r\r"
      "tabbed/name.bin\t30\n\n"
      "last.bin 40";  // no line end
  WriteRawCatalog(world, "01.cat", index, 200);
  ASSERT_EQ(MountCatalog(0, "01.cat", true), 1);
  const Catalog* catalog = world.block()->catalogs[0];
  ASSERT_NE(catalog, nullptr);
  EXPECT_EQ(catalog->count, 4);
  EXPECT_EQ(catalog->origin, 1);
  EXPECT_STREQ(catalog->dataName, "01.dat");
  struct Case {
    const char* lookup;
    const char* name;
    uint32_t offset, size;
  };
  const Case kCases[] = {
      {"t\\0001-L044.pck", "T\\0001-L044.PCK", 0, 120},
      {"My File.TXT", "MY FILE.TXT", 120, 10},
      {"tabbed\\name.bin", "TABBED\\NAME.BIN", 130, 30},
      {"TABBED/NAME.BIN", "TABBED\\NAME.BIN", 130, 30},
      {"last.bin", "LAST.BIN", 160, 40},
  };
  for (const Case& c : kCases) {
    const CatalogEntry* entry = CatalogFindEntry(catalog, c.lookup);
    ASSERT_NE(entry, nullptr) << c.lookup;
    EXPECT_STREQ(entry->name, c.name);
    EXPECT_EQ(entry->offset, c.offset) << c.lookup;
    EXPECT_EQ(entry->size, c.size) << c.lookup;
  }
  for (const char* absent : {"01.dat", "# a comment", "indented", "no-size-column", "", "t\\0001"})
    EXPECT_EQ(CatalogFindEntry(catalog, absent), nullptr) << absent;
  EXPECT_EQ(CatalogFindEntry(nullptr, "x"), nullptr);
}

std::string ManyEntries(int count) {
  std::string index = "01.dat\n";
  for (int i = 0; i < count; ++i) index += "f" + std::to_string(i) + " 0\n";
  return index;
}

TEST(CatalogIndex, MountRejectsIndexesThatDisagreeWithTheData) {
  struct Case {
    const char* what;
    const char* indexName;
    std::string index;
    size_t dataSize;
  };
  const Case kCases[] = {
      {"last entry runs past the data", "01.cat", "01.dat\na.bin 100\nb.bin 50\n", 149},
      {"offset sum runs past the data", "01.cat", "01.dat\na.bin 2147483647\nb.bin 2147483647\n", 10},
      {"negative size", "01.cat", "01.dat\na.bin -5\n", 10},
      {"size beyond 31 bits", "01.cat", "01.dat\na.bin 99999999999\n", 10},
      {"no extension", "catalog", "01.dat\na.bin 1\n", 10},
      {"more entries than a catalog counts", "01.cat", ManyEntries(32768), 0},
  };
  for (const Case& c : kCases) {
    CatalogWorld world(2);
    const uint32_t before = MemGetCurrentBytes();
    WriteRawCatalog(world, c.indexName, c.index, c.dataSize);
    EXPECT_EQ(MountCatalog(0, c.indexName, true), 0) << c.what;
    EXPECT_EQ(world.block()->catalogs[0], nullptr) << c.what;
    EXPECT_EQ(gSystem, world.block()) << c.what;
    EXPECT_EQ(MemGetCurrentBytes(), before) << c.what;
  }
  CatalogWorld world(2);
  EXPECT_EQ(MountCatalog(0, "missing.cat", true), 0);
  WriteRawCatalog(world, "01.cat", "01.dat\na.bin 1\n", 1);
  EXPECT_EQ(MountCatalog(2, "01.cat", true), 0);  // no such slot
  EXPECT_EQ(MountCatalog(-1, "01.cat", true), 0);
  // A data file missing altogether holds no entry's bytes.
  std::filesystem::remove(world.dir().File("01.dat"));
  EXPECT_EQ(MountCatalog(0, "01.cat", true), 0);
  // The largest catalog there can be.
  WriteRawCatalog(world, "03.cat", ManyEntries(32767), 0);
  EXPECT_EQ(MountCatalog(0, "03.cat", true), 1);
  EXPECT_EQ(world.block()->catalogs[0]->count, 32767);
  EXPECT_NE(CatalogLookup("F32766"), nullptr);
  // An index of the header line alone is a valid empty catalog.
  WriteRawCatalog(world, "02.cat", "02.dat\r\n", 0);
  EXPECT_EQ(MountCatalog(1, "02.cat", false), 1);
  EXPECT_EQ(world.block()->catalogs[1]->count, 0);
  EXPECT_EQ(world.block()->catalogs[1]->origin, 2);
  EXPECT_EQ(CatalogLookup("a.bin"), nullptr);
}

// The three scramblings, checked against bytes worked out by hand from their formulas rather
// than against our own scrambler: the index (byte i XOR (i - 0xA9)), a catalog slice (every byte
// XOR 0x6D) and a scrambled gzip file (mask byte key XOR 0xB3, then every gzip byte XOR key).
TEST(CatalogScrambling, HandComputedBytesReadBack) {
  const auto bytes = [](std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(char(b));
    return out;
  };
  // "01.dat\nab.txt 3\n"
  const std::string index = bytes({0x67, 0x69, 0x77, 0x3E, 0x3A, 0x28, 0x57, 0x3F, 0x3D, 0x4E, 0x15, 0x1A, 0x17,
                                   0x44, 0x56, 0x6C});
  EXPECT_EQ(catalog_tool::ScrambleIndex("01.dat\nab.txt 3\n"), index);
  // "hi" as a gzip member (no name, time 0), then scrambled with key 0x27 (mask byte 0x94).
  const std::string gzip = bytes({0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xCB,
                                  0xC8, 0x04, 0x00, 0xAC, 0x2A, 0x93, 0xD8, 0x02, 0x00, 0x00, 0x00});
  const std::string scrambled = bytes({0x94, 0x38, 0xAC, 0x2F, 0x27, 0x27, 0x27, 0x27, 0x27, 0x27, 0x24, 0xEC,
                                       0xEF, 0x23, 0x27, 0x8B, 0x0D, 0xB4, 0xFF, 0x25, 0x27, 0x27, 0x27});
  EXPECT_EQ(catalog_tool::ScrambleGzip(gzip, 0x94), scrambled);  // mask 0x94: key 0x27

  CatalogWorld world(1);
  world.WriteLoose("01.cat", index);
  world.WriteLoose("01.dat", bytes({0x15, 0x14, 0x17}));  // "xyz" XOR 0x6D
  world.WriteLoose("hand.pck", scrambled);
  ASSERT_EQ(MountCatalog(0, "01.cat", true), 1);
  const Catalog* catalog = world.block()->catalogs[0];
  ASSERT_NE(catalog, nullptr);
  EXPECT_STREQ(catalog->dataName, "01.dat");
  ASSERT_EQ(catalog->count, 1);
  Loaded slice(LoadGameFile("ab", "txt", false));
  EXPECT_EQ(slice.str(), "xyz");
  Loaded packed(LoadGameFile("hand", "pck", false));
  EXPECT_EQ(packed.str(), "hi");
}

// Two numbered catalogs and a mod catalog in the spare slot.
class CatalogSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(world_.AddCatalog(0, "01.cat",
                                {{"shared.txt", "from 01"},
                                 {"only01.txt", "one"},
                                 {"t\\0002-L044.pck", "old language pack"},
                                 {"t\\0003.pck", "pck"},
                                 {"t\\0003-L044.txt", "language txt"},
                                 {"t\\00030.pck", "neighbour"}}),
              1);
    ASSERT_EQ(world_.AddCatalog(1, "02.cat", {{"shared.txt", "from 02"}, {"t\\0002.txt", "newer plain"}}), 1);
    FileObjectInit(&file_);
  }
  void TearDown() override { FileClose(&file_); }

  void AddMod() {
    world_.block()->modName = DuplicateString("mymod");
    std::string error;
    ASSERT_TRUE(catalog_tool::WriteCatalog(world_.dir().path(), "mods/mymod.cat", {{"shared.txt", "from mod"}}, &error));
    ASSERT_EQ(MountModCatalog(), 1);
  }

  CatalogWorld world_{3};
  FileObject file_;
};

TEST_F(CatalogSetTest, NewestCatalogWinsAndTheModCatalogBeatsAll) {
  const CatalogEntry* entry = CatalogLookup("SHARED.TXT");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(world_.block()->foundCatalog, 1);
  ASSERT_NE(CatalogLookup("only01.txt"), nullptr);
  EXPECT_EQ(world_.block()->foundCatalog, 0);

  AddMod();
  ASSERT_NE(CatalogLookup("shared.txt"), nullptr);
  EXPECT_EQ(world_.block()->foundCatalog, 2);
  EXPECT_STREQ(world_.block()->catalogs[2]->dataName, "mods\\mymod.dat");
  Loaded text(LoadGameFile("shared", "txt", false));
  EXPECT_EQ(text.str(), "from mod");

  // Catalogs switched off: nothing is found in them.
  world_.block()->fileFlags &= ~kFileCatalogsInUse;
  EXPECT_EQ(CatalogLookup("shared.txt"), nullptr);
}

TEST_F(CatalogSetTest, FailedModMountLeavesTheBlockAlone) {
  EXPECT_EQ(MountModCatalog(), 0);  // no mod chosen
  world_.block()->modName = DuplicateString("absent");
  EXPECT_EQ(MountModCatalog(), 0);
  world_.block()->modName = ReplaceString(world_.block()->modName, "broken");
  world_.WriteLoose("mods/broken.cat", catalog_tool::ScrambleIndex("broken.dat\nbig.bin 100\n"));
  world_.WriteLoose("mods/broken.dat", "short");
  EXPECT_EQ(MountModCatalog(), 0);
  // Start-up goes on with the same block and its catalogs.
  ASSERT_EQ(gSystem, world_.block());
  EXPECT_EQ(world_.block()->catalogs[2], nullptr);
  Loaded text(LoadGameFile("shared", "txt", false));
  EXPECT_EQ(text.str(), "from 02");
}

TEST(GameFileLookup, RanksLanguageTypeLooseAndNewestCatalog) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> loose;
    const char* name;
    const char* types;
    uint32_t language;
    bool found;
    const char* path;
    const char* type;
    bool inCatalog;
    int catalogIndex;
  };
  const Case kCases[] = {
      {"language variant beats plain", {{"t/0001.txt", "a"}, {"t/0001-L044.txt", "b"}}, "t\\0001", "pck txt", 44,
       true, "t\\0001-L044.txt", "txt", false, 0},
      {"earlier type wins", {{"t/0001.txt", "a"}, {"t/0001.pck", "b"}}, "t\\0001", "pck txt", 44, true,
       "t\\0001.pck", "pck", false, 0},
      {"language variant of a later type beats a plain earlier type",
       {{"t/0001.pck", "a"}, {"t/0001-L044.txt", "b"}}, "t\\0001", "pck txt", 44, true, "t\\0001-L044.txt", "txt",
       false, 0},
      {"other languages are not variants", {{"t/0001.txt", "a"}, {"t/0001-L049.pck", "b"}}, "t\\0001", "pck txt",
       44, true, "t\\0001.txt", "txt", false, 0},
      {"the chosen language's variant", {{"t/0001.txt", "a"}, {"t/0001-L049.txt", "b"}}, "t\\0001", "pck txt", 49,
       true, "t\\0001-L049.txt", "txt", false, 0},
      {"loose beats any catalog entry", {{"t/0003.txt", "loose"}}, "t\\0003", "pck txt", 44, true, "t\\0003.txt",
       "txt", false, 0},
      {"catalog language variant beats its plain pck, not fooled by a neighbour", {}, "t\\0003", "pck txt", 44, true,
       "t\\0003-L044.txt", "txt", true, 0},
      {"newest catalog with any match wins", {}, "t\\0002", "pck txt", 44, true, "t\\0002.txt", "txt", true, 1},
      {"type not accepted", {{"t/0001.bmp", "a"}}, "t\\0001", "pck txt", 44, false, nullptr, nullptr, false, 0},
      {"prefix only is no match", {{"t/00011.txt", "a"}}, "t\\0001", "txt", 44, false, nullptr, nullptr, false, 0},
      {"case and separator of the request", {{"Types/TShips.txt", "s"}}, "types\\tships", "txt", 44, true,
       "types\\tships.txt", "txt", false, 0},
      {"no folder part", {{"Lang.dat", "49"}}, "lang", "dat", 44, true, "lang.dat", "dat", false, 0},
      {"more than ten types are bounded", {{"x.k", "k"}}, "x", "a b c d e f g h i j k", 44, false, nullptr, nullptr,
       false, 0},
      {"blank runs in the type list", {{"x.b", "b"}}, "x", "  a   b ", 44, true, "x.b", "b", false, 0},
  };
  for (const Case& c : kCases) {
    CatalogWorld world(3);
    ASSERT_EQ(world.AddCatalog(0, "01.cat",
                               {{"t\\0002-L044.pck", "old"},
                                {"t\\0003.pck", "pck"},
                                {"t\\0003-L044.txt", "lang"},
                                {"t\\00030.pck", "neighbour"},
                                {"t\\0003-L049.pck", "other language"}}),
              1);
    ASSERT_EQ(world.AddCatalog(1, "02.cat", {{"t\\0002.txt", "newer"}}), 1);
    world.block()->language = c.language;
    for (const auto& [path, bytes] : c.loose) world.WriteLoose(path, bytes);
    FileObject file;
    FileObjectInit(&file);
    EXPECT_EQ(FindGameFile(&file, c.name, c.types, false), c.found) << c.what;
    EXPECT_EQ(file.flags & kFileOpen, 0u) << c.what;
    if (c.found) {
      EXPECT_STREQ(file.path, c.path) << c.what;
      EXPECT_STREQ(file.type, c.type) << c.what;
      EXPECT_EQ((file.flags & kFileSlice) != 0, c.inCatalog) << c.what;
      if (c.inCatalog) {
        EXPECT_EQ(file.catalogIndex, c.catalogIndex) << c.what;
        EXPECT_STREQ(file.catalogDataName, c.catalogIndex == 0 ? "01.dat" : "02.dat") << c.what;
      }
      // The choice opens.
      EXPECT_TRUE(OpenGameFileByType(&file, c.name, c.types, false)) << c.what;
      EXPECT_EQ(file.flags & (kFileOpen | kFileSlice), kFileOpen | (c.inCatalog ? kFileSlice : 0u)) << c.what;
    }
    FileClose(&file);
  }
}

// The lookup cuts its copy of the type list into words; every load, found or not, must give
// back exactly what it counted, or the engine's memory figure creeps up with every file read.
TEST(GameFileLookup, LoadsGiveBackEveryCountedByte) {
  CatalogWorld world(1);
  world.WriteLoose("notes.txt", "plain notes");
  ASSERT_EQ(world.AddCatalog(0, "01.cat", {{"inside.pck", "packed"}}), 1);
  struct Case {
    const char* name;
    const char* types;
  };
  const Case kCases[] = {
      {"notes", "pck txt"}, {"inside", "pck txt"}, {"notes", "pbb bob pbd bod"}, {"missing", "pck txt"},
      {"notes", "txt"},     {"notes", " pck  txt "},
  };
  for (const Case& c : kCases) {
    const uint32_t before = MemGetCurrentBytes();
    { Loaded data(LoadGameFile(c.name, c.types, false)); }
    EXPECT_EQ(MemGetCurrentBytes(), before) << c.name << " as " << c.types;
  }
}

TEST(GameFileLookup, RankCandidateIgnoresCaseAndPrefersEarlierTypes) {
  const char* types[] = {"pck", "txt", "pck"};
  struct Case {
    const char* candidate;
    const char* stem;
    int32_t rank;
  };
  const Case kCases[] = {
      {"0001.PCK", "0001", 0},      {"0001.txt", "0001", 1},   {"0001-L044.txt", "0001-l044", 1},
      {"0001.txt.bak", "0001", INT32_MAX}, {"0001", "0001", INT32_MAX}, {"0001.", "0001", INT32_MAX},
      {"00011.txt", "0001", INT32_MAX},    {"000.txt", "0001", INT32_MAX},
  };
  for (const Case& c : kCases) EXPECT_EQ(RankCandidate(c.candidate, c.stem, types, 3), c.rank) << c.candidate;
  EXPECT_EQ(RankCandidate("a.txt", "a", types, 0), INT32_MAX);
}

TEST(CatalogTool, FolderCatalogsReadBackUnderAnySpelling) {
  catalog_tool::FolderOptions plain, packed, scrambled;
  packed.pack = true;
  scrambled.scramble = true;
  for (const catalog_tool::FolderOptions& options : {plain, packed, scrambled}) {
    CatalogWorld world(2);
    TempDir source;
    source.Write("Types/TShips.txt", "ships of the line");
    source.Write("a.txt", "a");
    std::string error;
    ASSERT_TRUE(catalog_tool::BuildCatalogFromFolder(source.path(), world.dir().File("01.cat"), options, &error))
        << error;
    ASSERT_EQ(MountCatalog(0, "01.cat", true), 1);
    Loaded ships(LoadGameFile("types\\tships", "txt", false));
    EXPECT_EQ(ships.str(), "ships of the line") << options.pack << options.scramble;
    EXPECT_EQ(FileGetSize("TYPES/TSHIPS.TXT", false) > 0, true);
  }
}

TEST(CatalogTool, RefusesNamesTheIndexCannotHold) {
  TempDir dir;
  const std::string kBad[] = {"", "#notes.txt", " lead.txt", "\ttab.txt", "two\nlines.txt", "cr\r.txt",
                              std::string("nul\0.txt", 8)};
  for (const std::string& name : kBad) {
    std::string error;
    EXPECT_FALSE(catalog_tool::WriteCatalog(dir.path(), "01.cat", {{"a.txt", "a"}, {name, "bad"}}, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  std::string error;
  EXPECT_TRUE(catalog_tool::WriteCatalog(dir.path(), "01.cat", {{"my file #1.txt", "ok"}}, &error)) << error;
}

TEST_F(CatalogSetTest, OpenObjectsAreNotLookedUpAgain) {
  world_.WriteLoose("a.txt", "a");
  ASSERT_TRUE(OpenGameFileByType(&file_, "a", "txt", false));
  EXPECT_FALSE(FindGameFile(&file_, "a", "txt", false));
}

// Packed data: plain, gzip, scrambled gzip, loose or inside a catalog slice.
class PackedDataTest : public ::testing::Test {
 protected:
  CatalogWorld world_{2};
  const std::string content_ = Text(50000, 'p');
};

TEST_F(PackedDataTest, AllFormsReadBackByteExact) {
  const std::string gzip = catalog_tool::GzipBytes(content_, 6);
  const std::string named = catalog_tool::GzipBytes(content_, 1, "original-name.txt");
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case kCases[] = {
      {"plain", content_},
      {"gzip", gzip},
      {"named", named},
      {"scrambled", catalog_tool::ScrambleGzip(gzip, 0x27)},
      {"scrambledkey0", catalog_tool::ScrambleGzip(named, 0xB3)},
  };
  std::vector<PackedFile> packed;
  for (const Case& c : kCases) {
    world_.WriteLoose(std::string("loose/") + c.name + ".pck", c.bytes);
    packed.push_back({std::string("packed\\") + c.name + ".pck", c.bytes});
  }
  ASSERT_EQ(world_.AddCatalog(0, "01.cat", packed), 1);
  for (const Case& c : kCases) {
    for (const std::string folder : {"loose\\", "packed\\"}) {
      Loaded data(LoadGameFile((folder + c.name).c_str(), "pck", false));
      EXPECT_EQ(data.size, content_.size()) << folder << c.name;
      EXPECT_TRUE(data.str() == content_) << folder << c.name;
      EXPECT_EQ(gLastReadTextSize, content_.size());
    }
  }
  Loaded viaPacked(ReadPackedFile("packed\\scrambled.pck"));
  EXPECT_TRUE(viaPacked.str() == content_);
  EXPECT_EQ(ReadPackedFile("packed\\plain.pck"), nullptr);  // plain data is not packed
  EXPECT_EQ(ReadPackedFile("packed\\none.pck"), nullptr);
}

TEST_F(PackedDataTest, BrokenPackedDataFailsCleanly) {
  const std::string gzip = catalog_tool::GzipBytes(content_, 6);
  auto withByte = [](std::string s, size_t at, uint8_t value) {
    s[at] = char(value);
    return s;
  };
  auto withLE32 = [](std::string s, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) s[at + i] = char(value >> (8 * i));
    return s;
  };
  std::string noNameEnd = catalog_tool::GzipBytes(content_, 6);
  noNameEnd[3] = 0x08;  // claims a name field; the rest holds no zero before the trailer
  noNameEnd = noNameEnd.substr(0, 10) + std::string(40, 'n') + noNameEnd.substr(noNameEnd.size() - 8);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case kCases[] = {
      {"two bytes", "\x1F\x8B"},
      {"empty", ""},
      {"method not deflate", withByte(gzip, 2, 7)},
      {"reserved flags", withByte(gzip, 3, 0x20)},
      {"name without end", noNameEnd},
      {"extra field longer than the file", withByte(withByte(withByte(gzip, 3, 0x04), 10, 0xFF), 11, 0xFF)},
      {"header only", gzip.substr(0, 10)},
      {"truncated in the data", gzip.substr(0, gzip.size() / 2)},
      {"trailer cut off", gzip.substr(0, gzip.size() - 8)},
      {"stated size too small", withLE32(gzip, gzip.size() - 4, uint32_t(content_.size() - 1))},
      {"stated size too large", withLE32(gzip, gzip.size() - 4, uint32_t(content_.size() + 1))},
      {"stated size absurd", withLE32(gzip, gzip.size() - 4, 0xFFFFFFF0u)},
      {"stated size zero", withLE32(gzip, gzip.size() - 4, 0)},
      {"wrong crc", withLE32(gzip, gzip.size() - 8, 0x12345678u)},
      {"garbage between data and trailer",
       gzip.substr(0, gzip.size() - 8) + "junk" + gzip.substr(gzip.size() - 8)},
      {"deflate data replaced", gzip.substr(0, 10) + std::string(gzip.size() - 18, '\xFF') + gzip.substr(gzip.size() - 8)},
      {"scrambled and truncated", catalog_tool::ScrambleGzip(gzip, 0x27).substr(0, gzip.size() - 100)},
  };
  std::vector<PackedFile> packed;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    world_.WriteLoose("bad/" + std::to_string(i) + ".pck", kCases[i].bytes);
    packed.push_back({"cat\\" + std::to_string(i) + ".pck", kCases[i].bytes});
  }
  ASSERT_EQ(world_.AddCatalog(0, "01.cat", packed), 1);
  const uint32_t before = MemGetCurrentBytes();
  for (size_t i = 0; i < std::size(kCases); ++i) {
    for (const std::string folder : {"bad\\", "cat\\"}) {
      Loaded data(LoadGameFile((folder + std::to_string(i)).c_str(), "pck", false));
      EXPECT_EQ(data.data, nullptr) << kCases[i].what << " in " << folder;
    }
  }
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

TEST_F(PackedDataTest, EveryBitFlipIsCaughtOrHarmless) {
  const std::string small = Text(3000, 'f');
  const std::string gzip = catalog_tool::ScrambleGzip(catalog_tool::GzipBytes(small, 9), 0x61);
  int rejected = 0;
  for (size_t at = 0; at < gzip.size(); ++at) {
    std::string bytes = gzip;
    bytes[at] = char(bytes[at] ^ (1 << (at % 8)));
    world_.WriteLoose("flip.pck", bytes);
    Loaded data(LoadGameFile("flip", "pck", false));
    if (data.data == nullptr) {
      ++rejected;
      continue;
    }
    // Only bits that carry no content (time stamp, extra flags, OS, a plain-data sniff) may pass,
    // and then the bytes are the original ones or the whole file read as plain data.
    EXPECT_TRUE(data.str() == small || data.size == bytes.size()) << "flip at " << at;
  }
  EXPECT_GT(rejected, int(gzip.size()) - 16);
}

}  // namespace
