// The os layer: Windows wildcard rules, case-insensitive game paths, sorted folder searches,
// documents folder, priority, counter seam, headless switch and the posted message queue.
#include "platform/os.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/window.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> SearchAll(const std::string& gamePattern) {
  std::vector<std::string> names;
  OsFindData data;
  intptr_t handle = OsFindFirst(gamePattern.c_str(), &data);
  if (handle == kOsFindInvalid) return names;
  names.push_back(data.name);
  while (OsFindNext(handle, &data) == 0) names.push_back(data.name);
  OsFindClose(handle);
  return names;
}

}  // namespace

TEST(OsWildcard, FollowsWindowsRulesIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case kCases[] = {
      {"*.CAT", "01.cat", true},
      {"*.cat", "01.CAT", true},
      {"*.cat", "01.cat.bak", false},
      {"*.*", "README", true},  // "*.*" also takes names without a dot
      {"*.*", "a.b.c", true},
      {"*", "README", true},
      {"foo.*", "FOO", true},
      {"foo.*", "foo.txt", true},
      {"foo.*", "food", false},
      {"*.", "README", true},  // "*." takes only names without a dot
      {"*.", "a.txt", false},
      {"??.cat", "01.cat", true},
      {"?.cat", "01.cat", false},
      {"a??", "a", true},  // "?" may match nothing at the end of the name
      {"a?.txt", "a.txt", true},  // or before the dot
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"x*y", "XaaY", true},
      {"x*y", "XaaYz", false},
      {"", "x", false},
      {"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(OsWildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

TEST(OsWildcard, ManyStarsOverLongNamesStayFast) {
  std::string pattern(100, '*');
  pattern += "b";
  std::string name(250, 'a');
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(OsWildcardMatch(pattern.c_str(), name.c_str()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

class OsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("Data/01.cat", "one");
    dir.Write("Data/02.CAT", "two");
    dir.Write("Data/README", "read me");
    dir.Write("Data/B.txt", "b");
    dir.Write("Data/Sub/File.TXT", "deep");
  }
  std::string Game(const std::string& relative) const { return GamePath(dir.File(relative)); }
  TempDir dir;
};

TEST_F(OsFolderTest, SearchFindsMatchesSortedWithoutDotEntries) {
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case kCases[] = {
      {"data\\*.CAT", {"01.cat", "02.CAT"}},
      {"DATA\\*.*", {"01.cat", "02.CAT", "B.txt", "README", "Sub"}},
      {"Data\\read*", {"README"}},
      {"Data\\*.png", {}},
      {"Missing\\*.*", {}},
      {"Data\\", {}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(SearchAll(Game(c.pattern)), c.names) << c.pattern;
  }
}

TEST_F(OsFolderTest, SearchReportsFoldersAndSizes) {
  OsFindData data;
  intptr_t handle = OsFindFirst(Game("Data\\*.*").c_str(), &data);
  ASSERT_NE(handle, kOsFindInvalid);
  bool sawSub = false, sawReadme = false;
  do {
    std::string name = data.name;
    if (name == "Sub") {
      sawSub = true;
      EXPECT_TRUE(data.attributes & kOsFindDirectory);
    }
    if (name == "README") {
      sawReadme = true;
      EXPECT_FALSE(data.attributes & kOsFindDirectory);
      EXPECT_EQ(data.size, 7);
    }
  } while (OsFindNext(handle, &data) == 0);
  EXPECT_EQ(OsFindNext(handle, &data), -1);  // stays at the end
  OsFindClose(handle);
  EXPECT_TRUE(sawSub);
  EXPECT_TRUE(sawReadme);
}

TEST_F(OsFolderTest, ResolvesEachComponentIgnoringCase) {
  std::string real;
  EXPECT_TRUE(OsResolvePath(Game("DATA\\sub\\file.txt").c_str(), &real));
  EXPECT_EQ(real, dir.File("Data/Sub/File.TXT"));

  // A new file keeps its spelling below the folders that exist.
  EXPECT_FALSE(OsResolvePath(Game("data\\SUB\\New.txt").c_str(), &real));
  EXPECT_EQ(real, dir.File("Data/Sub/New.txt"));

  char buffer[kOsMaxPath];
  EXPECT_FALSE(OsResolvePath(Game("data\\SUB\\New.txt").c_str(), false, buffer, sizeof buffer));
  EXPECT_TRUE(OsResolvePath(Game("data\\SUB\\New.txt").c_str(), true, buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer), dir.File("Data/Sub/New.txt"));
  // Writing needs the folder to exist.
  EXPECT_FALSE(OsResolvePath(Game("data\\Nope\\New.txt").c_str(), true, buffer, sizeof buffer));
  // A result that does not fit is a failure, never a cut path.
  char tiny[8];
  EXPECT_FALSE(OsResolvePath(Game("Data\\README").c_str(), false, tiny, sizeof tiny));
  EXPECT_FALSE(OsResolvePath("", false, buffer, sizeof buffer));
}

TEST_F(OsFolderTest, OpensStatsAndCreatesThroughGamePaths) {
  FILE* in = OsOpenFile(Game("data\\sub\\FILE.txt").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, 4, in), 4u);
  std::fclose(in);
  EXPECT_STREQ(text, "deep");

  FILE* out = OsOpenFile(Game("DATA\\written.bin").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("xyz", out);
  std::fclose(out);
  EXPECT_EQ(dir.Read("Data/written.bin"), "xyz");
  EXPECT_EQ(OsOpenFile(Game("Data\\missing.bin").c_str(), "rb"), nullptr);

  OsFileInfo info{};
  ASSERT_TRUE(OsStatPath(Game("data\\readme").c_str(), &info));
  EXPECT_FALSE(info.isDirectory);
  EXPECT_EQ(info.size, 7);
  ASSERT_TRUE(OsStatPath(Game("data\\SUB").c_str(), &info));
  EXPECT_TRUE(info.isDirectory);
  EXPECT_FALSE(OsStatPath(Game("data\\none").c_str(), &info));

  EXPECT_TRUE(OsMakeDirectory(Game("Data\\Made").c_str()));
  EXPECT_FALSE(OsMakeDirectory(Game("DATA\\made").c_str()));  // exists in another spelling
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("Data/Made")));

  EXPECT_TRUE(OsRenamePath(Game("data\\b.TXT").c_str(), Game("data\\c.txt").c_str()));
  EXPECT_EQ(dir.Read("Data/c.txt"), "b");
  EXPECT_TRUE(OsRemovePath(Game("DATA\\C.TXT").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Data/c.txt")));
  EXPECT_FALSE(OsRemovePath(Game("Data\\Sub").c_str()));  // folders are not files
}

TEST_F(OsFolderTest, ChangesDirectoryThroughAGamePath) {
  auto old = std::filesystem::current_path();
  EXPECT_TRUE(OsChangeDirectory(Game("DATA\\sub").c_str()));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir.File("Data/Sub")));
  EXPECT_FALSE(OsChangeDirectory(Game("Data\\nowhere").c_str()));
  std::filesystem::current_path(old);
}

TEST(OsDocuments, PrefersXdgThenHomeDocumentsElseFails) {
  TempDir dir;
  {
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", dir.File("xdg").c_str());
    ScopedEnv home("HOME", dir.path().c_str());
    std::string folder;
    ASSERT_TRUE(OsGetDocumentsFolder(&folder));
    EXPECT_EQ(folder, dir.File("xdg"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
  }
  {
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", nullptr);
    ScopedEnv home("HOME", dir.path().c_str());
    std::string folder;
    ASSERT_TRUE(OsGetDocumentsFolder(&folder));
    EXPECT_EQ(folder, dir.File("Documents"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
  }
  {
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", nullptr);
    ScopedEnv home("HOME", nullptr);
    std::string folder = "untouched";
    EXPECT_FALSE(OsGetDocumentsFolder(&folder));
    EXPECT_EQ(folder, "untouched");
  }
  {
    dir.Write("plain-file", "x");
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", dir.File("plain-file").c_str());
    std::string folder;
    EXPECT_FALSE(OsGetDocumentsFolder(&folder));
  }
}

TEST(OsProcess, UserNameIsKnown) {
  std::string name;
  ASSERT_TRUE(OsGetUserName(&name));
  EXPECT_FALSE(name.empty());
}

TEST(OsProcess, IdlePriorityTakesEffect) {
  EXPECT_EXIT(
      {
        bool ok = OsSetProcessPriority(kOsPriorityIdle);
        std::exit(ok && OsGetProcessPriority() == kOsPriorityIdle ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(OsProcess, RefusedHighPriorityIsHarmless) {
  EXPECT_EXIT(
      {
        OsSetProcessPriority(kOsPriorityIdle);
        // Without rights the answer is false and the process runs on at its old priority.
        bool ok = OsSetProcessPriority(kOsPriorityHigh);
        OsPriority now = OsGetProcessPriority();
        std::exit((ok && now == kOsPriorityHigh) || (!ok && now == kOsPriorityIdle) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(OsProcess, HeadlessFollowsEnvironmentUnlessForced) {
  {
    ScopedEnv env("KORVANE_HEADLESS", "1");
    EXPECT_TRUE(OsIsHeadless());
  }
  {
    ScopedEnv env("KORVANE_HEADLESS", "0");
    EXPECT_FALSE(OsIsHeadless());
    OsSetHeadless(true);
    EXPECT_TRUE(OsIsHeadless());
    OsSetHeadless(false);
    EXPECT_FALSE(OsIsHeadless());
  }
}

namespace {
uint64_t gFakeNow = 0;
bool FakeCounter(uint64_t* out) {
  *out = gFakeNow;
  gFakeNow += 7;
  return true;
}
bool FakeFrequency(uint64_t* out) {
  *out = 1000;
  return true;
}
}  // namespace

TEST(OsCounter, RealCounterIsMonotonicAndInjectedOneReplacesIt) {
  uint64_t a = 0, b = 0, frequency = 0;
  ASSERT_TRUE(OsReadCounter(&a));
  ASSERT_TRUE(OsReadCounter(&b));
  EXPECT_LE(a, b);
  ASSERT_TRUE(OsCounterFrequency(&frequency));
  EXPECT_EQ(frequency, 1000000000u);

  gFakeNow = 100;
  OsSetCounterSource(FakeCounter, FakeFrequency);
  ASSERT_TRUE(OsReadCounter(&a));
  ASSERT_TRUE(OsReadCounter(&b));
  ASSERT_TRUE(OsCounterFrequency(&frequency));
  EXPECT_EQ(a, 100u);
  EXPECT_EQ(b, 107u);
  EXPECT_EQ(frequency, 1000u);
  OsSetCounterSource(nullptr, nullptr);
  ASSERT_TRUE(OsCounterFrequency(&frequency));
  EXPECT_EQ(frequency, 1000000000u);
}

TEST(OsCpu, RealProcessorAnswersCpuidAndRoundTripsItsState) {
  OsCpuRegisters regs;
  ASSERT_TRUE(OsCpuid(0, &regs));
  EXPECT_GE(regs.eax, 1u);
  alignas(16) uint8_t area[kOsFpuStateSize] = {};
  OsSaveFpuState(area);
  uint32_t mxcsr;
  std::memcpy(&mxcsr, area + kOsFpuStateMxcsr, sizeof mxcsr);
  EXPECT_EQ(mxcsr & 0x1F80u, 0x1F80u);  // exceptions masked, as the C runtime starts
  OsLoadFpuState(area);
  EXPECT_FALSE(OsFpuEmulated());
}

namespace {
std::vector<uint32_t> gDispatched;
void Record(const OsMessage* message) { gDispatched.push_back(message->code); }
}  // namespace

TEST(OsMessages, PostedMessagesComeInOrderAndHeadlessNeverBlocks) {
  ScopedEnv env("KORVANE_HEADLESS", "1");
  OsSetWindowProcedure(Record);
  gDispatched.clear();
  OsMessage message;
  EXPECT_FALSE(OsPeekMessage(&message, false));
  EXPECT_EQ(OsGetMessage(&message), -1);  // nothing can ever arrive

  OsPostMessage(11, 0);
  OsPostQuitMessage();
  OsPostMessage(12, 5);
  ASSERT_TRUE(OsPeekMessage(&message, false));
  EXPECT_EQ(message.code, 11u);
  ASSERT_EQ(OsGetMessage(&message), 1);
  OsDispatchMessage(&message);
  EXPECT_EQ(OsGetMessage(&message), 0);  // the quit message
  ASSERT_TRUE(OsPeekMessage(&message, true));
  EXPECT_EQ(message.param, 5);
  OsDispatchMessage(&message);
  EXPECT_FALSE(OsPeekMessage(&message, true));
  EXPECT_EQ(gDispatched, (std::vector<uint32_t>{11, 12}));
  OsSetWindowProcedure(nullptr);
}
