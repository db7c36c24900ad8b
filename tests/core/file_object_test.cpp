// File objects over plain files, catalog slices and gzip streams: slice clamping (never a negative
// remainder after reading at the end), big-endian words, swapped records, path helpers, the
// user-folder switch and case-insensitive opening.
#include "core/file_object.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "catalog/catalog_builder.h"
#include "core/byte_order.h"
#include "core/catalog.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "support/catalog_world.h"
#include "support/temp_dir.h"

namespace {

using catalog_tool::PackedFile;

// The user data folder is worked out once per process, so its documents folder is fixed here.
class DocumentsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    documents_ = new TempDir();
    setenv("XDG_DOCUMENTS_DIR", documents_->path().c_str(), 1);
  }
  void TearDown() override { delete documents_; }
  static std::string UserFolder() { return documents_->path() + "/Korvane/VexaNL"; }

 private:
  static TempDir* documents_;
};
TempDir* DocumentsEnvironment::documents_ = nullptr;
const auto* const kDocuments = ::testing::AddGlobalTestEnvironment(new DocumentsEnvironment);

std::string Ramp(size_t n, int start = 0) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(char(start + int(i)));
  return s;
}

// One catalog in slot 0: a 7-byte file first, so the slices under test do not start at offset 0.
class FileSliceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(world_.AddCatalog(0, "01.cat",
                                {{"first.bin", Ramp(7, 100)},
                                 {"data\\ten.bin", Ramp(10, 1)},
                                 {"five.bin", Ramp(5, 50)},
                                 {"words.bin", std::string("\x01\x02\x03\x04\x05\x06", 6)}}),
              1);
    FileObjectInit(&file_);
  }
  void TearDown() override { FileClose(&file_); }

  CatalogWorld world_{2};
  FileObject file_;
};

TEST_F(FileSliceTest, ReadAtTheEndIsCutAndStaysAtZero) {
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "DATA/TEN.BIN", "rb", false));
  EXPECT_EQ(file_.flags & 3u, 3u);
  EXPECT_EQ(file_.sliceSize, 10);
  ASSERT_TRUE(FileSeek(&file_, 8, SEEK_SET));
  unsigned char buffer[16] = {};
  EXPECT_EQ(FileRead(&file_, buffer, 1, 5), 2u);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(buffer[1], 10);
  EXPECT_EQ(file_.slicePos, 10);
  // Past the end: -1 from FileGetc, and the position stays put so the next read sees 0 bytes
  // left rather than a negative remainder.
  EXPECT_EQ(FileGetc(&file_), -1);
  EXPECT_EQ(FileGetc(&file_), -1);
  EXPECT_EQ(file_.slicePos, 10);
  EXPECT_EQ(FileRead(&file_, buffer, 1, 16), 0u);
  EXPECT_EQ(FileRead(&file_, buffer, 4, SIZE_MAX / 2), 0u);
  EXPECT_EQ(FileTell(&file_), 10);
}

TEST_F(FileSliceTest, SeeksAreClampedToTheSlice) {
  struct Case {
    long offset;
    int origin;
    int32_t expected;
    int nextByte;  // -1 at the end
  };
  const Case kCases[] = {
      {-8, SEEK_END, 0, 50}, {3, SEEK_SET, 3, 53}, {100, SEEK_CUR, 5, -1}, {-2, SEEK_CUR, 3, 53},
      {-1, SEEK_SET, 0, 50}, {0, SEEK_END, 5, -1}, {-1, SEEK_END, 4, 54},  {7, 9, 5, -1},
  };
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "five.bin", "rb", false));
  for (const Case& c : kCases) {
    ASSERT_TRUE(FileSeek(&file_, c.offset, c.origin)) << c.offset << "/" << c.origin;
    EXPECT_EQ(file_.slicePos, c.expected) << c.offset << "/" << c.origin;
    EXPECT_EQ(FileGetc(&file_), c.nextByte) << c.offset << "/" << c.origin;
    FileSeek(&file_, c.expected, SEEK_SET);
  }
}

TEST_F(FileSliceTest, BigEndianWordsAcrossTheSliceEndReadZeroesPastIt) {
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "words.bin", "rb", false));
  EXPECT_EQ(FileReadInt32BE(&file_), 0x01020304u);
  EXPECT_EQ(FileReadInt32BE(&file_), 0x05060000u);  // two bytes left, the rest zero
  EXPECT_EQ(FileReadInt32BE(&file_), 0u);
  EXPECT_EQ(FileReadInt16BE(&file_), 0u);
  EXPECT_EQ(file_.slicePos, 6);
}

TEST_F(FileSliceTest, SlicesRefuseWrites) {
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "five.bin", "rb+", false));
  EXPECT_FALSE(FileWriteInt32BE(&file_, 1));
  EXPECT_FALSE(FileWriteInt16BE(&file_, 1));
  EXPECT_EQ(FileWrite(&file_, "x", 1, 1), 0u);
  uint32_t word = 7;
  EXPECT_EQ(FileWriteWords(&file_, &word, 4), 0u);
  EXPECT_EQ(word, 7u);
  EXPECT_EQ(FileGetc(&file_), 50);
}

TEST_F(FileSliceTest, WriteModeOpensThePlainFileNeverTheCatalog) {
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "five.bin", "wb", false));
  EXPECT_EQ(file_.flags & 7u, 1u);
  EXPECT_TRUE(FileWriteBytes(&file_, "plain", 5));
  FileClose(&file_);
  EXPECT_EQ(world_.dir().Read("five.bin"), "plain");
  // Reading still prefers the catalog.
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "five.bin", "rb", false));
  EXPECT_EQ(FileGetc(&file_), 50);
  FileClose(&file_);

  // Every creating mode writes the plain file; the catalog's data file keeps all its bytes.
  const std::string data = world_.dir().Read("01.dat");
  for (const char* mode : {"w", "w+", "wb+", "w+b", "wt"}) {
    FileObjectInit(&file_);
    ASSERT_TRUE(FileOpenFromCatalog(&file_, "first.bin", mode, false)) << mode;
    EXPECT_EQ(file_.flags & 7u, 1u) << mode;
    FileClose(&file_);
    EXPECT_EQ(world_.dir().Read("01.dat"), data) << mode;
  }
}

TEST_F(FileSliceTest, UserFolderNeverConsultsCatalogs) {
  const std::string userFolder = DocumentsEnvironment::UserFolder();
  char* folder = MakeFilePath("x", true);  // creates the user data folder on first use
  FreeString(folder);
  std::filesystem::create_directories(userFolder);
  {
    FILE* f = std::fopen((userFolder + "/five.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("user", f);
    std::fclose(f);
  }
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "five.bin", "rb", true));
  EXPECT_EQ(file_.flags & 3u, 1u);
  EXPECT_EQ(FileGetc(&file_), 'u');
  FileClose(&file_);
  EXPECT_EQ(FileGetSize("five.bin", true), 4);
  EXPECT_EQ(FileGetSize("five.bin", false), 5);
  EXPECT_EQ(FileGetSize("first.bin", true), -1);
}

TEST_F(FileSliceTest, OpenMarksTheFrameAndFailedOpensStayClosed) {
  world_.block()->modeFlags = 0;
  EXPECT_FALSE(FileOpenFromCatalog(&file_, "missing.bin", "rb", false));
  EXPECT_EQ(world_.block()->modeFlags & kModeOpeningFiles, kModeOpeningFiles);
  EXPECT_EQ(file_.flags & kFileOpen, 0u);
  // A catalog entry whose data file vanished does not fall back to a plain file.
  world_.WriteLoose("five.bin", "plain");
  std::filesystem::remove(world_.dir().File("01.dat"));
  EXPECT_FALSE(FileOpenFromCatalog(&file_, "five.bin", "rb", false));
}

TEST(FileObject, ClosedObjectsAnswerNeutrally) {
  FileObject file;
  FileObjectInit(&file);
  char buffer[4];
  EXPECT_EQ(FileRead(&file, buffer, 1, 4), 0u);
  EXPECT_EQ(FileWrite(&file, buffer, 1, 4), 0u);
  EXPECT_EQ(FileGetc(&file), -1);
  EXPECT_FALSE(FileSeek(&file, 0, SEEK_SET));
  EXPECT_EQ(FileTell(&file), 0);
  EXPECT_FALSE(FileWriteInt32BE(&file, 1));
  EXPECT_EQ(FileReadInt32BE(&file), 0u);
  EXPECT_FALSE(FileCloseHandle(&file));
}

class PlainFileTest : public ::testing::Test {
 protected:
  void SetUp() override { FileObjectInit(&file_); }
  void TearDown() override { FileClose(&file_); }
  CatalogWorld world_{1};
  FileObject file_;
};

TEST_F(PlainFileTest, BigEndianWritersRoundTripForStdioAndGzip) {
  struct Case {
    const char* name;
    bool gzip;
  };
  const Case kCases[] = {{"plain.bin", false}, {"packed.gz", true}};
  for (const Case& c : kCases) {
    ASSERT_TRUE(c.gzip ? FileOpen(&file_, c.name, "wb", false) : FileOpenFromCatalog(&file_, c.name, "wb", false));
    EXPECT_TRUE(FileWriteInt32BE(&file_, 0x01020304u));
    EXPECT_TRUE(FileWriteInt16BE(&file_, 0xA1B2));
    EXPECT_TRUE(FileCloseHandle(&file_));
    ASSERT_TRUE(c.gzip ? FileOpen(&file_, c.name, "rb", false) : FileOpenFromCatalog(&file_, c.name, "rb", false));
    unsigned char bytes[8] = {};
    EXPECT_EQ(FileRead(&file_, bytes, 1, 8), 6u) << c.name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 6), std::string("\x01\x02\x03\x04\xA1\xB2", 6)) << c.name;
    ASSERT_TRUE(FileSeek(&file_, 0, SEEK_SET));
    EXPECT_EQ(FileReadInt32BE(&file_), 0x01020304u) << c.name;
    EXPECT_EQ(FileReadInt16BE(&file_), 0xA1B2) << c.name;
    EXPECT_EQ(FileReadInt32BE(&file_), 0u) << c.name;  // at the end
    FileClose(&file_);
  }
  if (FILE* raw = std::fopen("packed.gz", "rb")) {
    EXPECT_EQ(std::fgetc(raw), 0x1F);
    std::fclose(raw);
  }
}

TEST_F(PlainFileTest, SwappedRecordsAreBigEndianOnDiskAndUnchangedInMemory) {
  uint32_t record[3] = {0x11223344u, 0xAABBCCDDu, 7};
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "rec.bin", "wb", false));
  EXPECT_EQ(FileWriteWords(&file_, record, sizeof record), sizeof record);
  EXPECT_EQ(record[0], 0x11223344u);
  EXPECT_EQ(record[2], 7u);
  uint16_t shorts[2] = {0x0102, 0x0304};
  EXPECT_EQ(FileWriteSwapped(&file_, shorts, sizeof shorts, kLayoutWords16), sizeof shorts);
  EXPECT_EQ(shorts[0], 0x0102);
  FileClose(&file_);
  EXPECT_EQ(world_.dir().Read("rec.bin"),
            std::string("\x11\x22\x33\x44\xAA\xBB\xCC\xDD\x00\x00\x00\x07\x01\x02\x03\x04", 16));
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "rec.bin", "rb", false));
  uint32_t back[3] = {};
  EXPECT_EQ(FileReadWords(&file_, back, sizeof back), sizeof back);
  EXPECT_EQ(back[1], 0xAABBCCDDu);
  uint16_t shortsBack[2] = {};
  EXPECT_EQ(FileReadSwapped(&file_, shortsBack, sizeof shortsBack, kLayoutWords16), sizeof shortsBack);
  EXPECT_EQ(shortsBack[1], 0x0304);
}

TEST_F(PlainFileTest, PathHelpers) {
  world_.WriteLoose("Types/TShips.txt", "ships");
  world_.WriteLoose("empty.txt", "");
  std::filesystem::create_directories(world_.dir().File("folder"));
  struct Case {
    const char* name;
    int32_t size;
  };
  const Case kCases[] = {{"types\\tships.txt", 5}, {"TYPES/TSHIPS.TXT", 5}, {"folder", -2},
                         {"missing.txt", -1},      {"empty.txt", 0}};
  for (const Case& c : kCases) EXPECT_EQ(FileGetSize(c.name, false), c.size) << c.name;
  EXPECT_GT(FileGetModTime("types\\tships.txt", false), 0);
  EXPECT_EQ(FileGetModTime("missing.txt", false), 0);

  // Case and separator: the loose file is opened under any spelling.
  ASSERT_TRUE(FileOpenFromCatalog(&file_, "types\\tships.txt", "rb", false));
  char text[8] = {};
  EXPECT_EQ(FileRead(&file_, text, 1, 8), 5u);
  EXPECT_STREQ(text, "ships");
  FileClose(&file_);

  char* whole = FileReadWhole("types\\tships.txt");
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(gLastReadSize, 5u);
  EXPECT_EQ(std::string(whole, 5), "ships");
  MemFree(whole, 5, 0);
  EXPECT_EQ(FileReadWhole("empty.txt"), nullptr);
  EXPECT_EQ(FileReadWhole("missing.txt"), nullptr);

  EXPECT_TRUE(FileRename("types\\tships.txt", "types\\renamed.txt", false));
  EXPECT_EQ(FileGetSize("Types\\Renamed.txt", false), 5);
  EXPECT_EQ(FileGetSize("types\\tships.txt", false), -1);
  EXPECT_TRUE(FileRemove("types\\renamed.txt", false));
  EXPECT_FALSE(FileRemove("types\\renamed.txt", false));
}

TEST_F(PlainFileTest, HeapObjectsAndChosenType) {
  world_.WriteLoose("note.txt", "n");
  EXPECT_EQ(FileOpenNew("nothing.txt", "rb", false), nullptr);
  FileObject* file = FileOpenNew("note.txt", "rb", false);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(FileGetc(file), 'n');
  EXPECT_TRUE(FileCloseDelete(file));

  file_.type = DuplicateString("bmp");
  char* type = FileGetType(&file_);
  ASSERT_NE(type, nullptr);
  EXPECT_STREQ(type, "bmp");
  FreeString(type);
}

TEST_F(PlainFileTest, CorruptGzipStreamReadsNoMoreThanItHolds) {
  std::string packed = catalog_tool::GzipBytes(Ramp(4000), 9);
  packed.resize(packed.size() / 2);
  world_.WriteLoose("cut.gz", packed);
  ASSERT_TRUE(FileOpen(&file_, "cut.gz", "rb", false));
  std::string buffer(8000, '\0');
  const size_t got = FileRead(&file_, buffer.data(), 1, buffer.size());
  EXPECT_LT(got, 4000u);
}

}  // namespace
