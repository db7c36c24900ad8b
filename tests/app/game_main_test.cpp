// The game main: the option loop, the start-mode precedence, the viewer requests with the
// plot-scene parse, the free-memory check with its texts, every start-up step failing in turn,
// the start-mode loop's ends, and the whole start-up run headless into the game loop.
#include "app/game_main.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/game_loop.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/shutdown.h"
#include "asm/assembler.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "engine_types/demo_universe_types.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "platform/gpu.h"
#include "platform/memory_status.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

struct ProcessExit {
  int status;
};
[[noreturn]] void ThrowingExit(int status) { throw ProcessExit{status}; }

class GameMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGameMainState(&options_);
    system_ = SystemBlock{};
    gSystem = &system_;
    gGameState = InitGameStateBlock(static_cast<GameStateBlock*>(MemCalloc(sizeof(GameStateBlock))));
  }

  void TearDown() override {
    ResetGameServices();
    ResetShutdownState();
    if (gGameState) {
      FreeModuleStringTables(gGameState);
      MemFree(gGameState, sizeof(GameStateBlock), 0);
      gGameState = nullptr;
    }
    ResetGameMainState(nullptr);
    gSystem = nullptr;
  }

  // Splits `line` at blanks the way the entry does: argv[0] "WinCalled", a closing null entry.
  void Parse(const std::string& line) {
    words_.clear();
    storage_ = line;
    words_.push_back(const_cast<char*>("WinCalled"));
    size_t start = 0;
    for (;;) {
      size_t end = storage_.find(' ', start);
      if (end == std::string::npos) {
        words_.push_back(&storage_[start]);
        break;
      }
      storage_[end] = '\0';
      words_.push_back(&storage_[start]);
      start = end + 1;
    }
    words_.push_back(nullptr);
    ParseGameOptions(static_cast<int>(words_.size() - 1), words_.data(), &options_);
  }

  GameMainOptions options_{};
  SystemBlock system_{};
  std::string storage_;
  std::vector<char*> words_;
};

std::string Text(const char* text) { return text ? text : "(none)"; }

TEST_F(GameMainTest, OptionsAreMatchedInAnyCaseWithEitherPrefix) {
  struct Case {
    const char* line;
    const char* story;
    const char* saveOrStory;
    const char* fastStart;
    int32_t subModeOverride;
    int32_t parameter;
    uint32_t noLauncher;
    uint32_t modeFlags;
  };
  const Case kCases[] = {
      // No options: argv[1] is the empty word and matches nothing.
      {"", "vexastory", nullptr, nullptr, -1, 0, 0, 0},
      {"/STORY x", "x", "x", nullptr, -1, 0, 0, 0},
      {"-Location somewhere", "somewhere", "somewhere", nullptr, -1, 0, 0, 0},
      // The word after faststart begins with "-": the text is "105", and obj still reads its value.
      {"-faststart -obj 5", "vexastory", nullptr, "105", 5, 0, 0, 0},
      {"-faststart 7", "vexastory", nullptr, "7", -1, 0, 0, 0},
      {"-faststart", "vexastory", nullptr, "105", -1, 0, 0, 0},
      {"-obj", "vexastory", nullptr, nullptr, 0, 0, 0, 0},
      // Digits beyond 32 bits stop at the largest number instead of overflowing.
      {"-obj 99999999999 -par -99999999999", "vexastory", nullptr, nullptr, INT32_MAX, INT32_MIN, 0, 0},
      {"-obj 12abc", "vexastory", nullptr, nullptr, 12, 0, 0, 0},
      {"-par 44 -obj 3", "vexastory", nullptr, nullptr, 3, 44, 0, 0},
      // A text option as the last word stores none.
      {"-story", nullptr, nullptr, nullptr, -1, 0, 0, 0},
      // A value word is compared with the options in its own turn.
      {"-load -profi", "vexastory", "-profi", nullptr, -1, 0, 0, kModeProfi},
      {"--story x -x 800 story", "vexastory", nullptr, nullptr, -1, 0, 0, 0},
      {"-NOABOUT", "vexastory", nullptr, nullptr, -1, 0, 1, 0},
      {"-effect", "vexastory", nullptr, nullptr, -1, 0, 1, 0},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    Parse(c.line);
    EXPECT_EQ(Text(gStartNames.story), Text(c.story)) << c.line;
    EXPECT_EQ(Text(gSaveOrStoryName), Text(c.saveOrStory)) << c.line;
    EXPECT_EQ(Text(gGameState->fastStartText), Text(c.fastStart)) << c.line;
    EXPECT_EQ(options_.subModeOverride, c.subModeOverride) << c.line;
    EXPECT_EQ(options_.startParameter, c.parameter) << c.line;
    EXPECT_EQ(options_.noLauncher, c.noLauncher) << c.line;
    EXPECT_EQ(system_.modeFlags, c.modeFlags) << c.line;
  }
}

TEST_F(GameMainTest, ValueOptionsStoreTheirValuesAndLeaveDefaultsWhenMissing) {
  Parse("-intro a -tutorial b -galedit c -config d -demo e -pdemo f -altdir g -sservername h -sserverport 99 "
        "-debugport 70000 -runinbg -skipintro -body objects\\x.bod -cut q -plotscene p");
  EXPECT_STREQ(gStartNames.intro, "a");
  EXPECT_STREQ(gStartNames.tutorial, "b");
  EXPECT_STREQ(gStartNames.galaxyEditor, "c");
  EXPECT_STREQ(gStartNames.config, "d");
  EXPECT_STREQ(gStartNames.demo, "e");
  EXPECT_STREQ(gStartNames.playerDemo, "f");
  EXPECT_STREQ(gAltDirName, "g");
  EXPECT_STREQ(gServerName, "h");
  EXPECT_EQ(gServerPort, 99);
  EXPECT_EQ(gGameState->debugPort, 70000 & 0xFFFF);
  EXPECT_EQ(options_.runInBackground, 1);
  EXPECT_EQ(options_.skipIntro, 1u);
  EXPECT_STREQ(gBodyFileName, "objects\\x.bod");
  EXPECT_STREQ(gCutFileName, "q");
  EXPECT_STREQ(gPlotSceneFileName, "p");
  EXPECT_EQ(options_.noLauncher, 1u);

  // Without a value (the last word) each keeps its default, and a body starts no viewer.
  struct Case {
    const char* line;
  };
  const Case kCases[] = {{"-sservername"}, {"-sserverport"}, {"-body"}, {"-cut"}, {"-plotscene"}, {"-debugport"}};
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    Parse(c.line);
    EXPECT_EQ(gServerName, nullptr) << c.line;
    EXPECT_EQ(gServerPort, kDefaultServerPort) << c.line;
    EXPECT_EQ(gBodyFileName, nullptr) << c.line;
    EXPECT_EQ(gCutFileName, nullptr) << c.line;
    EXPECT_EQ(gPlotSceneFileName, nullptr) << c.line;
    EXPECT_EQ(gGameState->debugPort, 0) << c.line;
    EXPECT_EQ(options_.noLauncher, 0u) << c.line;
  }
  // A value word that is itself an option is still the value.
  TearDown();
  SetUp();
  Parse("-noruninbg -sservername -intro");
  EXPECT_EQ(options_.runInBackground, 0);
  EXPECT_STREQ(gServerName, "-intro");
  EXPECT_EQ(gStartNames.intro, nullptr);
}

TEST_F(GameMainTest, StartModePrecedence) {
  struct Case {
    uint32_t modeFlags;
    const char* line;
    int32_t mode, subMode, parameter;
  };
  const Case kCases[] = {
      {0, "", 1, 102, 8300},
      {0, "-skipintro", 1, 101, 950},
      {0, "-skipintro -faststart 12", 2, 150, -1},
      {0, "-faststart map", 2, 150, -2},
      {0, "-faststart -obj 5", 1, 5, 0},
      {kModeDumpUsedBodies, "-faststart 1", 1, 108, 0},
      // A benchmark run beats a fast start; an override beats everything.
      {kModeBenchmark | kModeDumpUsedBodies, "-faststart 1", 1, 102, 6628},
      {kModeBenchmark, "-obj 104 -par 7", 1, 104, 7},
      {0, "-obj 0 -par 7", 1, 102, 8300},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    Parse(c.line);
    system_.modeFlags = c.modeFlags;
    ChooseStartMode(options_, gGameState);
    EXPECT_EQ(gGameState->startMode, c.mode) << c.line;
    EXPECT_EQ(gGameState->subMode, c.subMode) << c.line;
    EXPECT_EQ(gGameState->parameter, c.parameter) << c.line;
  }
}

TEST(PlotScene, DigitsBehindTheCutFolderGiveTheParameter) {
  struct Case {
    const char* name;
    int32_t parameter;
  };
  const Case kCases[] = {
      {"data\\objects\\cut\\00042.bod", 42},
      {"00042.xyz", 42},
      {"\\objects\\cut\\123", 123},
      {"data\\objects\\cut\\abc.bod", 6000},
      {"data\\objects\\cut\\000.bod", 6000},
      {"data\\objects\\cut\\-5.bod", 6000},
      {"", 6000},
      {nullptr, 6000},
  };
  for (const Case& c : kCases) EXPECT_EQ(PlotSceneParameter(c.name), c.parameter) << Text(c.name);
}

TEST_F(GameMainTest, ViewerRequestsSetTheOverrideAndParameter) {
  gGameServices.getBodyId = [](const char* name) { return std::string(name) == "ships\\x.bod" ? 7 : 0; };
  gGameServices.getCutId = [](const char*) { return 0; };
  Parse("-par 3 -body data\\objects\\ships\\x.bod");
  ApplyViewerRequests(&options_);
  EXPECT_EQ(options_.subModeOverride, 104);
  EXPECT_EQ(options_.startParameter, 7);
  EXPECT_EQ(system_.modeFlags, kModeViewer1 | kModeViewer2);
  ChooseStartMode(options_, gGameState);
  EXPECT_EQ(gGameState->subMode, 104);
  EXPECT_EQ(gGameState->parameter, 7);

  // A cut that is not found replaces the parameter with its result and starts no viewer.
  TearDown();
  SetUp();
  gGameServices.getCutId = [](const char*) { return 0; };
  Parse("-par 3 -cut nothing");
  ApplyViewerRequests(&options_);
  EXPECT_EQ(options_.subModeOverride, -1);
  EXPECT_EQ(options_.startParameter, 0);

  TearDown();
  SetUp();
  Parse("-plotscene data\\objects\\cut\\0012.txt -effect");
  ApplyViewerRequests(&options_);
  EXPECT_EQ(options_.subModeOverride, 103);  // the effect viewer comes last
  EXPECT_EQ(options_.startParameter, 12);
}

TEST(FreeMemory, OnlyAllThreeFiguresBelowTheThresholdAreLow) {
  struct Case {
    uint64_t physical;
    uint64_t pageFile;
    bool low;
  };
  const Case kCases[] = {
      {100 * kMiB, 200 * kMiB, false},  // each is low, their sum is not
      {100 * kMiB, 100 * kMiB, true},
      {256 * kMiB, 0, false},
      {256 * kMiB - 1, 0, true},
      {0, 300 * kMiB, false},
      {128 * kMiB, 128 * kMiB, false},
      {128 * kMiB, 128 * kMiB - 1, true},
  };
  for (const Case& c : kCases) {
    OsMemoryStatus status{};
    status.availablePhysical = c.physical;
    status.availablePageFile = c.pageFile;
    EXPECT_EQ(IsMemoryLow(status), c.low) << c.physical << " " << c.pageFile;
  }
  EXPECT_STREQ(LowMemoryText(44),
               "Your machine is low on virtual memory. Please free about 300MB space on your harddrive and start "
               "Ulnar again!");
  EXPECT_STREQ(LowMemoryText(49),
               "Ihr Computer hat nicht genügend virtuellen Speicherplatz auf Ihrer Festplatte. Bitte stellen Sie "
               "sicher, dass etwa 300MB auf Ihrer Festplatte frei sind.");
  EXPECT_STREQ(LowMemoryText(33), LowMemoryText(44));
}

TEST_F(GameMainTest, LowMemoryShowsTheTextOfTheLanguageAndEndsNormally) {
  OsMemoryStatus status{};
  status.availablePhysical = 10 * kMiB;
  OsOverrideMemoryStatus(&status);
  system_.language = 49;
  std::string shown;
  static std::string* shownText;
  shownText = &shown;
  gGameServices.showErrorBox = [](const char* text) { *shownText += text; };
  gGameServices.freeSystemBlock = [](uint32_t) {};
  gGameServices.exitProcess = ThrowingExit;
  int status0 = -1;
  try {
    CheckFreeMemory();
  } catch (const ProcessExit& exit) {
    status0 = exit.status;
  }
  OsOverrideMemoryStatus(nullptr);
  EXPECT_EQ(status0, 0);
  EXPECT_EQ(shown, LowMemoryText(49));

  // Enough memory: the check goes on without a word.
  status.availablePageFile = 500 * kMiB;
  OsOverrideMemoryStatus(&status);
  shown.clear();
  CheckFreeMemory();
  OsOverrideMemoryStatus(nullptr);
  EXPECT_EQ(shown, "");
}

// ---------------------------------------------------------------------------------------------
// The start-mode loop, with the game loop replaced by a script of next modes.

struct NextMode {
  int32_t mode, subMode, parameter;
};
std::vector<NextMode> gNextModes;
std::vector<std::string> gLoopTrace;

class StartModeLoopTest : public GameMainTest {
 protected:
  void SetUp() override {
    GameMainTest::SetUp();
    gNextModes.clear();
    gLoopTrace.clear();
    GameServices& s = gGameServices;
    s.pumpMessages = [] {};
    s.nextKeyCode = []() -> uint16_t { return 0; };
    s.runGameLoop = [] {
      gLoopTrace.push_back("game " + std::to_string(gGameState->startMode) + "," +
                           std::to_string(gGameState->subMode) + "," + std::to_string(gGameState->parameter) + " " +
                           Text(gGameState->startString));
      if (!gNextModes.empty()) {
        gGameState->nextStartMode = gNextModes.front().mode;
        gGameState->nextSubMode = gNextModes.front().subMode;
        gGameState->nextParameter = gNextModes.front().parameter;
        gNextModes.erase(gNextModes.begin());
      }
    };
    s.viewFullscreenImage = [](const char* name, int32_t seconds) {
      gLoopTrace.push_back(std::string("image ") + name + " " + std::to_string(seconds));
    };
    s.showErrorBox = [](const char*) {};
    s.freeSystemBlock = [](uint32_t) {};
    s.exitProcess = ThrowingExit;
  }

  int Run(int32_t mode, int32_t subMode, int32_t parameter) {
    gGameState->startMode = mode;
    gGameState->subMode = subMode;
    gGameState->parameter = parameter;
    try {
      RunStartModeLoop(options_);
    } catch (const ProcessExit& exit) {
      gGameState = nullptr;  // freed by the shutdown
      return exit.status;
    }
    return -1000;
  }
};

TEST_F(StartModeLoopTest, ModesFollowOneAnotherUntilOneEndsTheProcess) {
  Parse("-tutorial tut");
  gNextModes = {{4, 160, 2}, {2, 150, -1}, {0, 0, 0}};
  EXPECT_EQ(Run(1, 102, 8300), 0);
  EXPECT_EQ(gLoopTrace, std::vector<std::string>({"game 1,102,8300 vexaintro", "game 4,160,2 tut",
                                                  "game 2,150,-1 vexastory"}));
}

TEST_F(StartModeLoopTest, TheEndsOfTheLoop) {
  struct Case {
    const char* line;
    uint32_t modeFlags;
    NextMode start;
    std::vector<NextMode> next;
    uint32_t shutdownCode;
    std::vector<std::string> trace;
  };
  const Case kCases[] = {
      // A benchmark run that comes back to the logo ends with its results.
      {"", kModeBenchmark, {1, 102, 6628}, {{1, 101, 1}}, 36, {"game 1,102,6628 vexaintro"}},
      // A viewer that comes back to the logo ends the process.
      {"-effect -obj 103", 0, {1, 103, 0}, {{1, 101, 950}}, 0, {"game 1,103,0 vexaintro"}},
      // An override alone does not end there.
      {"-obj 5", 0, {1, 5, 0}, {{1, 101, 950}, {0, 0, 0}}, 0,
       {"game 1,5,0 vexaintro", "game 1,101,950 vexaintro"}},
      {"", 0, {9, 0, 0}, {}, 0, {}},
      {"", 0, {-1, 0, 0}, {}, 0, {}},
      {"", 0, {8, 0, 1}, {}, 0,
       {"image exit_01 10", "image exit_02 10", "image exit_03 10", "image exit_04 10", "image exit_05 10"}},
      {"-faststart shot", kModeBenchmark, {8, 0, 2}, {}, 36, {"image shot 30"}},
      {"", 0, {8, 0, 2}, {}, 0, {}},
      // Mode 7 loads a save game: no start location is set.
      {"", 0, {7, 102, 1203}, {{0, 0, 0}}, 0, {"game 7,102,1203 (none)"}},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    Parse(c.line);
    system_.modeFlags = c.modeFlags;
    gNextModes = c.next;
    int status = Run(c.start.mode, c.start.subMode, c.start.parameter);
    EXPECT_EQ(status, ShutdownExitStatus(c.shutdownCode)) << c.line;
    EXPECT_EQ(gLoopTrace, c.trace) << c.line << " mode " << c.start.mode;
    ResetShutdownState();
  }
}

// ---------------------------------------------------------------------------------------------
// The start-up order, run for real in a child process.

int gFailingStep = -1;

StartupStepAction FailOneStep(int index, const StartupStep& step) {
  if (index == gFailingStep) return kStepFail;
  // No configuration story is installed here: its load is taken as done.
  if (std::string(step.number) == "13b") return kStepSucceed;
  return kStepRun;
}

// A sandbox for a whole start-up: an empty game folder as the current folder, the settings store
// and the user documents inside it, and plenty of memory.
void EnterSandbox(const std::string& folder) {
  if (chdir(folder.c_str()) != 0) std::abort();
  setenv("XDG_DOCUMENTS_DIR", folder.c_str(), 1);
  RegistrySetFilePath((folder + "/registry.xml").c_str());
  static OsMemoryStatus plenty{8192 * kMiB, 4096 * kMiB, 8192 * kMiB, 4096 * kMiB};
  OsOverrideMemoryStatus(&plenty);
  // Start-up order is checked, not drawing: the recording device answers without opening a
  // rendering context in every child process.
  GpuSetBackend(kGpuBackendNull);
}

[[noreturn]] void StartWith(const std::string& folder, std::vector<const char*> words) {
  EnterSandbox(folder);
  static std::vector<char*> argv;
  argv.clear();
  for (const char* w : words) argv.push_back(const_cast<char*>(w));
  argv.push_back(nullptr);
  RunGameMain(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(StartupOrder, EachFailingStepEndsWithItsMessageCodeAndDetail) {
  TempDir sandbox;
  const StartupStep* steps = StartupSteps();
  int checked = 0;
  for (int i = 0; i < StartupStepCount(); ++i) {
    if (steps[i].failureCode < 0) continue;
    ++checked;
    gFailingStep = i;
    SetStartupStepHook(FailOneStep);
    const int code = steps[i].failureCode;
    std::string expected;
    const std::string number = steps[i].number;
    if (code != 0) {
      expected = ComposeShutdownText(static_cast<uint32_t>(code), nullptr);
      expected.pop_back();  // the regular expression ends before the line break
      if (number == "13b") expected = "File not found.\n\\(vexaconfig\\)";
      if (number == "28") expected = "File not found.\n\\(GfxRes\\)";
      if (number == "16" || number == "30" || number == "31") expected = "Error opening video";
    }
    EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(ShutdownExitStatus(code)),
                expected)
        << "step " << number;
    SetStartupStepHook(nullptr);
  }
  // 1 and 35 (the two blocks), 4, 12, 13a, 13b, 13d, 16, 17, 18, 20, 23, 25, 27, 28, 30, 31, 36.
  EXPECT_EQ(checked, 18);
}

StartupStepAction FillModulesBeforeUniverse(int, const StartupStep& step) {
  if (std::string(step.number) == "13b") return kStepSucceed;
  if (std::string(step.number) == "35" && gScriptEngine) gScriptEngine->moduleCount = kModuleRowCount;
  return kStepRun;
}

// With every module row taken the universe cannot register its command module: the start ends
// at the universe's step, with its message and a failing exit status.
TEST(StartupOrder, AFullModuleTableEndsTheStartAtTheUniverse) {
  TempDir sandbox;
  const StartupStep* steps = StartupSteps();
  int32_t code = -1;
  for (int i = 0; i < StartupStepCount(); ++i)
    if (std::string(steps[i].number) == "35") code = steps[i].failureCode;
  ASSERT_GT(code, 0);
  std::string expected = ComposeShutdownText(static_cast<uint32_t>(code), nullptr);
  expected.pop_back();
  SetStartupStepHook(FillModulesBeforeUniverse);
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(ShutdownExitStatus(code)),
              expected);
  SetStartupStepHook(nullptr);
  EXPECT_NE(ShutdownExitStatus(code), 0);
}

StartupStepAction ShowUsageAfterTheDisplay(int, const StartupStep& step) {
  if (std::string(step.number) == "13b") return kStepSucceed;
  if (std::string(step.number) == "17") {
    std::fprintf(stderr, "usage %x %x\n", gSystem->usageWords[0], gSystem->usageWords[4]);
    std::_Exit(0);
  }
  return kStepRun;
}

// The display opens on the headless path with the default 1024x768 full screen, and the usage
// words follow its 32-bit screen and its back-buffer surface.
TEST(StartupOrder, TheDisplayOpensHeadlessAndSetsTheUsageWords) {
  TempDir sandbox;
  SetStartupStepHook(ShowUsageAfterTheDisplay);
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(0), "usage 88002c 89002c\n");
  SetStartupStepHook(nullptr);
}

TEST(StartupOrder, TheStoryOptionAsLastWordFailsAsAStoryThatCannotBeLoaded) {
  TempDir sandbox;
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", "-noabout", "-faststart", "1", "-story"}),
              ::testing::ExitedWithCode(1), "File not found");
}

TEST(StartupOrder, WithoutAStoryTheStartEndsWithFileNotFound) {
  TempDir sandbox;
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(1),
              "File not found.\n\\(vexaconfig\\)");
}

TEST(StartupOrder, WithoutTheTypeFilesTheStartEndsNamingTheFirstMissingOne) {
  TempDir sandbox;
  AsmResult result = Assemble(".header 1\n.func \"Main\" main frame=1\nmain: ret\n");
  ASSERT_TRUE(result.ok) << result.error;
  const std::string bytes(result.bytes.begin(), result.bytes.end());
  sandbox.Write("L/vexaconfig.obj", bytes);
  sandbox.Write("L/vexaintro.obj", bytes);
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(1),
              "File not found.\n\\(types.Globals\\)");
}

TEST(StartupOrder, AHeadlessRunStartsUpAndEndsNormallyAfterItsFrames) {
  TempDir sandbox;
  const char* story =
      ".header 1\n"
      ".func \"Main\" main frame=1\n"
      "main: ret\n";
  AsmResult result = Assemble(story);
  ASSERT_TRUE(result.ok) << result.error;
  const std::string bytes(result.bytes.begin(), result.bytes.end());
  sandbox.Write("L/vexaconfig.obj", bytes);
  sandbox.Write("L/vexaintro.obj", bytes);
  // Start-up loads the universe's type files; the demo's set serves.
  sandbox.Write("types/.keep", "");
  for (const typetool::TypeFile& file : typetool::DemoUniverseAuxFiles())
    ASSERT_TRUE(typetool::WriteTypeFile(sandbox.File(std::string("types/") + file.name + ".txt"), file.fields, false));
  for (const typetool::TypeFile& file : typetool::DemoUniverseClassFiles())
    ASSERT_TRUE(typetool::WriteTypeFile(sandbox.File(std::string("types/") + file.name + ".pck"), file.fields, true));
  setenv(kFrameLimitVariable, "3", 1);
  // Each presented frame of the game loop leaves a line, so the run shows it reached its frames.
  gGameServices.updateScreen = [] {
    static int presented = 0;
    std::fprintf(stderr, "presented %d\n", ++presented);
  };
  EXPECT_EXIT(StartWith(sandbox.path(), {"WinCalled", ""}), ::testing::ExitedWithCode(0),
              "presented 1\npresented 2\npresented 3\n$");
  ResetGameServices();
  unsetenv(kFrameLimitVariable);
}

}  // namespace
