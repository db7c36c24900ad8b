// The file-backed registry: value types and sizes survive the file, the "more data" answer of a
// short or missing buffer, key deletion, damaged files read as empty, and a failed write that
// leaves the previous file intact.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegistrySetFilePath(temp_.File("registry.xml").c_str()); }
  void TearDown() override { RegistrySetFilePath(nullptr); }
  // Drops the tree in memory so the next call reads the file again.
  void Reload() { RegistrySetFilePath(temp_.File("registry.xml").c_str()); }

  TempDir temp_;
};

void SetValues(const char* path, const std::vector<std::pair<const char*, std::string>>& texts) {
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryCreateKey(path, &key), kRegOk);
  for (const auto& [name, text] : texts) {
    ASSERT_EQ(RegistrySetValue(key, name, kRegSz, text.c_str(), uint32_t(text.size() + 1)), kRegOk);
  }
  ASSERT_EQ(RegistryCloseKey(key), kRegOk);
}

TEST_F(RegistryTest, EveryTypeAndSizeSurvivesTheFile) {
  struct Case {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  const Case kCases[] = {
      {"Text", kRegSz, {'s', 'h', 'o', 't', 's', 0}},
      {"Unterminated", kRegSz, {'d', 'e', 'f'}},
      {"EmptyText", kRegSz, {0}},
      {"ControlChars", kRegSz, {'a', '\n', '"', '<', 0}},
      {"NotUtf8", kRegSz, {0xFF, 0xFE, 0}},
      {"InnerNul", kRegSz, {'a', 0, 'b', 0}},
      {"Umlaut", kRegSz, {0xC3, 0xA4, 0}},
      {"Number", kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {"AllOnes", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"ShortDword", kRegDword, {1, 2}},
      {"Flags", kRegBinary, {0x42, 0x13, 0xAD, 0x5F}},
      {"Guid", kRegBinary, std::vector<uint8_t>(16, 0x2A)},
      {"Empty", kRegBinary, {}},
      {"OddType", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryCreateKey("Software\\KORVANE\\Test", &key), kRegOk);
  for (const Case& c : kCases) {
    ASSERT_EQ(RegistrySetValue(key, c.name, c.type, c.bytes.data(), uint32_t(c.bytes.size())), kRegOk) << c.name;
  }
  ASSERT_EQ(RegistryCloseKey(key), kRegOk);
  Reload();

  // Keys and value names are found without regard to case, as stored settings expect.
  ASSERT_EQ(RegistryOpenKey("software\\korvane\\TEST", kRegKeyRead, &key), kRegOk);
  for (const Case& c : kCases) {
    std::string upper = c.name;
    for (char& ch : upper) ch = char(toupper(ch));
    uint8_t buffer[32] = {};
    uint32_t type = 99, size = sizeof buffer;
    EXPECT_EQ(RegistryQueryValue(key, upper.c_str(), &type, buffer, &size), kRegOk) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    ASSERT_EQ(size, c.bytes.size()) << c.name;
    if (size > 0) {
      EXPECT_EQ(memcmp(buffer, c.bytes.data(), size), 0) << c.name;
    }
  }
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
}

TEST_F(RegistryTest, ShortOrMissingBufferAnswersMoreDataWithTheSizeNeeded) {
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryCreateKey("Software\\Owner", &key), kRegOk);
  ASSERT_EQ(RegistrySetValue(key, "Name", kRegSz, "Jane Doe", 9), kRegOk);
  ASSERT_EQ(RegistrySetValue(key, "Blank", kRegBinary, nullptr, 0), kRegOk);

  struct Case {
    const char* name;
    bool withBuffer;
    uint32_t room;
    int32_t answer;
    uint32_t sizeAfter;
    bool filled;
  };
  const Case kCases[] = {
      {"Name", false, 0, kRegMoreData, 9, false},   // asking for the size first
      {"Name", false, 64, kRegMoreData, 9, false},  // room given but no buffer
      {"Name", true, 0, kRegMoreData, 9, false},
      {"Name", true, 8, kRegMoreData, 9, false},    // one byte short: nothing copied
      {"Name", true, 9, kRegOk, 9, true},
      {"Name", true, 64, kRegOk, 9, true},
      {"Blank", false, 0, kRegOk, 0, false},        // an empty value needs no buffer
      {"Missing", true, 64, kRegNotFound, 64, false},
  };
  for (const Case& c : kCases) {
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    uint32_t type = 0, size = c.room;
    int32_t answer = RegistryQueryValue(key, c.name, &type, c.withBuffer ? buffer : nullptr, &size);
    EXPECT_EQ(answer, c.answer) << c.name << " room " << c.room;
    EXPECT_EQ(size, c.sizeAfter) << c.name << " room " << c.room;
    if (c.filled) {
      EXPECT_STREQ(buffer, "Jane Doe");
    } else {
      EXPECT_EQ(buffer[0], '#') << c.name << " room " << c.room;
    }
  }
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
}

TEST_F(RegistryTest, ReadOnlyKeysRefuseWritesAndMissingKeysAreNotFound) {
  SetValues("Software\\A", {{"x", "1"}});
  RegistryKey* key = nullptr;
  EXPECT_EQ(RegistryOpenKey("Software\\B", kRegKeyRead, &key), kRegNotFound);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegistryOpenKey("Software\\A", kRegKeyRead, &key), kRegOk);
  EXPECT_EQ(RegistrySetValue(key, "y", kRegSz, "2", 2), kRegAccessDenied);
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
  ASSERT_EQ(RegistryOpenKey("Software\\A", kRegKeyWrite, &key), kRegOk);
  EXPECT_EQ(RegistrySetValue(key, "y", kRegSz, "2", 2), kRegOk);
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
}

TEST_F(RegistryTest, DeleteKeyRemovesOneKeyAndItsValuesButNeverAKeyWithSubKeys) {
  SetValues("Software\\KORVANE\\VexaNL", {{"ModName", "m"}});
  SetValues("Software\\KORVANE\\VexaNL\\Values", {{"RunInBackground", "1"}});
  SetValues("Software\\KORVANE\\Other", {{"Keep", "k"}});

  RegistryKey* parent = nullptr;
  ASSERT_EQ(RegistryOpenKey("Software\\KORVANE", kRegKeyRead, &parent), kRegOk);
  EXPECT_EQ(RegistryDeleteKey(parent, "VexaNL"), kRegAccessDenied);
  EXPECT_EQ(RegistryDeleteKey(parent, "VexaNL\\Values"), kRegOk);
  EXPECT_EQ(RegistryDeleteKey(parent, "vexanl"), kRegOk);
  EXPECT_EQ(RegistryDeleteKey(parent, "VexaNL"), kRegNotFound);
  EXPECT_EQ(RegistryCloseKey(parent), kRegOk);

  Reload();  // the deletion reached the file
  RegistryKey* key = nullptr;
  EXPECT_EQ(RegistryOpenKey("Software\\KORVANE\\VexaNL", kRegKeyRead, &key), kRegNotFound);
  ASSERT_EQ(RegistryOpenKey("Software\\KORVANE\\Other", kRegKeyRead, &key), kRegOk);
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, "Keep", nullptr, nullptr, &size), kRegMoreData);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
}

TEST_F(RegistryTest, DamagedFileReadsAsEmptyOrLeavesOutWhatItCannotRead) {
  struct Case {
    const char* what;
    const char* file;
    bool keyFound;
    bool valueFound;
  };
  const Case kCases[] = {
      {"garbage", "\x01\x02 not xml at all", false, false},
      {"empty file", "", false, false},
      {"cut short", "<registry><key name=\"S\"><value name=\"v\" type=\"sz\" text=\"a\"/>", false, false},
      {"foreign root", "<other><key name=\"S\"><value name=\"v\" type=\"sz\" text=\"a\"/></key></other>", false, false},
      {"odd hex", "<registry><key name=\"S\"><value name=\"v\" type=\"binary\" hex=\"abc\"/></key></registry>", true, false},
      {"bad hex digit", "<registry><key name=\"S\"><value name=\"v\" type=\"binary\" hex=\"zz\"/></key></registry>", true, false},
      {"dword too big", "<registry><key name=\"S\"><value name=\"v\" type=\"dword\" dword=\"4294967296\"/></key></registry>", true, false},
      {"negative dword", "<registry><key name=\"S\"><value name=\"v\" type=\"dword\" dword=\"-1\"/></key></registry>", true, false},
      {"no type", "<registry><key name=\"S\"><value name=\"v\" text=\"a\"/></key></registry>", true, false},
      {"no data", "<registry><key name=\"S\"><value name=\"v\" type=\"sz\"/></key></registry>", true, false},
      {"nameless key", "<registry><key><value name=\"v\" type=\"sz\" text=\"a\"/></key></registry>", false, false},
      {"good", "<registry><key name=\"S\"><value name=\"v\" type=\"sz\" text=\"a\"/></key></registry>", true, true},
  };
  for (const Case& c : kCases) {
    temp_.Write("registry.xml", c.file);
    Reload();
    RegistryKey* key = nullptr;
    int32_t opened = RegistryOpenKey("S", kRegKeyRead, &key);
    EXPECT_EQ(opened == kRegOk, c.keyFound) << c.what;
    if (opened != kRegOk) continue;
    char buffer[8];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, buffer, &size) == kRegOk, c.valueFound) << c.what;
    RegistryCloseKey(key);
  }

  // A damaged file is replaced by a good one at the next write.
  temp_.Write("registry.xml", "<<<");
  Reload();
  SetValues("S", {{"v", "b"}});
  Reload();
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryOpenKey("S", kRegKeyRead, &key), kRegOk);
  char buffer[8];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, buffer, &size), kRegOk);
  EXPECT_STREQ(buffer, "b");
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, FailedWriteKeepsTheLastGoodFile) {
  SetValues("S", {{"v", "good"}});
  std::string before = temp_.Read("registry.xml");
  ASSERT_NE(before.find("good"), std::string::npos);

  // A folder in the way of the temporary file makes the write fail before the rename.
  ASSERT_EQ(mkdir(temp_.File("registry.xml.tmp").c_str(), 0700), 0);
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryCreateKey("S", &key), kRegOk);
  ASSERT_EQ(RegistrySetValue(key, "v", kRegSz, "bad", 4), kRegOk);
  EXPECT_EQ(RegistryCloseKey(key), kRegWriteFailed);
  EXPECT_EQ(temp_.Read("registry.xml"), before);

  // Once the way is clear the pending change is written at the next close.
  ASSERT_EQ(rmdir(temp_.File("registry.xml.tmp").c_str()), 0);
  ASSERT_EQ(RegistryCreateKey("S", &key), kRegOk);
  EXPECT_EQ(RegistryCloseKey(key), kRegOk);
  EXPECT_NE(temp_.Read("registry.xml").find("bad"), std::string::npos);
}

TEST(RegistryPath, FollowsTheConfigurationFolderThenHome) {
  const char* oldConfig = getenv("XDG_CONFIG_HOME");
  const char* oldHome = getenv("HOME");
  std::string savedConfig = oldConfig ? oldConfig : "", savedHome = oldHome ? oldHome : "";
  RegistrySetFilePath(nullptr);

  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  setenv("HOME", "/home/u", 1);
  EXPECT_STREQ(RegistryGetFilePath(), "/cfg/korvane/registry.xml");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // only an absolute folder counts
  EXPECT_STREQ(RegistryGetFilePath(), "/home/u/.config/korvane/registry.xml");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_STREQ(RegistryGetFilePath(), "/home/u/.config/korvane/registry.xml");
  RegistrySetFilePath("/tmp/x.xml");
  EXPECT_STREQ(RegistryGetFilePath(), "/tmp/x.xml");

  if (oldConfig) setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  if (oldHome) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
  RegistrySetFilePath(nullptr);
}

}  // namespace
