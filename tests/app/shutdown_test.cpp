// Shutdown: the closing messages (any code), the stop order with every service present and
// with almost none, the settings saved once, re-entry, the exit status of the process and the
// benchmark log against a golden text with the time injected.
#include "app/shutdown.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/game_loop.h"
#include "app/game_main.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/input_logo_version.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "platform/registry.h"
#include "render/display_modes.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "script/timers.h"
#include "support/temp_dir.h"
#include "universe/universe.h"

namespace {

struct ProcessExit {
  int status;
};

std::vector<std::string> gTrace;
std::string gShownText;
bool gShown = false;

void Record(const std::string& call) { gTrace.push_back(call); }

[[noreturn]] void ThrowingExit(int status) { throw ProcessExit{status}; }

void FixedTime(std::tm* out) {
  *out = std::tm{};
  out->tm_year = 2026 - 1900;
  out->tm_mon = 11;
  out->tm_mday = 10;
  out->tm_hour = 13;
  out->tm_min = 14;
  out->tm_sec = 15;
}

// Every stop service records its call; nothing really stops and the process stays alive.
void BindRecordingServices() {
  GameServices& s = gGameServices;
  s.saveSettings = [] { Record("SaveSettings"); return 1; };
  s.stopSceneSounds = [] { Record("StopSceneSounds"); };
  s.clearEffectInstances = [] { Record("ClearEffectInstances"); };
  s.freeEffectDefinitions = [] { Record("FreeEffectDefinitions"); };
  s.freeAllObjects = [](UniverseBlock*) { Record("FreeAllObjects"); };
  s.freeAllCockpits = [](GuiMaster*) { Record("FreeAllCockpits"); };
  s.resetScriptSystems = [](int32_t arg) { Record("ResetScriptSystems(" + std::to_string(arg) + ")"); };
  s.destroyUniverse = [](UniverseBlock*) { Record("DestroyUniverse"); };
  s.freeBodyRenderData = [] { Record("FreeBodyRenderData"); };
  s.freeEngineRenderTables = [] { Record("FreeEngineRenderTables"); };
  s.exitEngine3D = [] { Record("ExitEngine3D"); };
  s.releaseImageHandle = [](DisplaySurface** slot) {
    Record("ReleaseImageHandle");
    *slot = nullptr;
    return 0;
  };
  s.releaseFonts = [] { Record("ReleaseFonts"); };
  s.shutdownSoundModule = [] { Record("ShutdownSoundModule"); };
  s.freeEngineTables = [](ScriptEngine*) { Record("FreeEngineTables"); };
  s.freeLoadingScreens = [] { Record("FreeLoadingScreens"); };
  s.clearTimerEvents = [](TimerState*) { Record("ClearTimerEvents"); };
  s.shutdownMovieModule = [] { Record("ShutdownMovieModule"); };
  s.freeSoundBanks = [] { Record("FreeSoundBanks"); };
  s.freeCollisionFitBuffers = [] { Record("FreeCollisionFitBuffers"); };
  s.shutdownSound = [] { Record("ShutdownSound"); };
  s.releaseInputDevices = [] { Record("ReleaseInputDevices"); };
  s.releaseDisplay = [](int32_t) { Record("ReleaseDisplay"); };
  s.showErrorBox = [](const char* text) {
    Record("ShowErrorBox");
    gShown = true;
    gShownText = text;
  };
  s.freeSystemBlock = [](uint32_t code) { Record("FreeSystemBlock(" + std::to_string(code) + ")"); };
  s.localTimeNow = FixedTime;
  s.exitProcess = ThrowingExit;
}

class ShutdownTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The user data folder (and with it the benchmark log) lives below the documents folder.
    static TempDir documents;
    setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
    documentsPath_ = documents.path();
  }

  void SetUp() override {
    gTrace.clear();
    gShownText.clear();
    gShown = false;
    ResetShutdownState();
    ResetGameMainState(nullptr);
    BindRecordingServices();
    system_ = SystemBlock{};
    system_.product = &kProductRecord;
    system_.textureQuality = 2;
    system_.shaderQuality = 1;
    gSystem = &system_;
    for (BenchmarkRecord& record : gBenchmarkRecords) record = BenchmarkRecord{};
  }

  void TearDown() override {
    ResetGameServices();
    ResetShutdownState();
    gDisplay = nullptr;
    gDirect3D = nullptr;
    gSystem = nullptr;
  }

  // Every service the stop order looks at, as present.
  void MakeEveryServicePresent() {
    device_ = DisplayDevice{1024, 768, 32};
    display_ = DisplayObject{0, &device_, nullptr};
    gDisplay = &display_;
    engine3D_ = EngineState3D{};
    gEngine3D = &engine3D_;
    gUniverse = static_cast<UniverseBlock*>(MemCalloc(sizeof(UniverseBlock)));
    gGalaxyGrid = static_cast<GalaxyGrid*>(MemCalloc(sizeof(GalaxyGrid)));
    gGameState = InitGameStateBlock(static_cast<GameStateBlock*>(MemCalloc(sizeof(GameStateBlock))));
    gGuiMaster = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
    gScriptSound = reinterpret_cast<SoundState*>(&placeholder_);
    gScriptEngine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    gLocationState = static_cast<LocationState*>(MemCalloc(sizeof(LocationState)));
    gTimerState = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
    gMovieState = reinterpret_cast<MovieState*>(&placeholder_);
    gSoundDevice = reinterpret_cast<AudioDevice*>(&placeholder_);
    gInputState = static_cast<InputState*>(MemCalloc(kInputStateRecordSize));
    gScreenLists[0] = reinterpret_cast<DisplaySurface*>(&placeholder_);
    gScreenLists[1] = reinterpret_cast<DisplaySurface*>(&placeholder_);
  }

  int RunShutdown(uint32_t code) {
    try {
      ShutdownAndExit(code);
    } catch (const ProcessExit& exit) {
      return exit.status;
    }
    return -1000;
  }

  static std::string documentsPath_;
  SystemBlock system_{};
  DisplayDevice device_{};
  DisplayObject display_{};
  EngineState3D engine3D_{};
  uint64_t placeholder_ = 0;
};

std::string ShutdownTest::documentsPath_;

std::vector<std::string> FullStopOrder(bool saves, const std::string& code) {
  std::vector<std::string> order;
  if (saves) order.push_back("SaveSettings");
  for (const char* call : {"StopSceneSounds", "ClearEffectInstances", "FreeEffectDefinitions", "FreeAllObjects",
                           "FreeAllCockpits", "ResetScriptSystems(1)", "DestroyUniverse", "FreeBodyRenderData",
                           "FreeEngineRenderTables", "ExitEngine3D", "ReleaseImageHandle", "ReleaseImageHandle"}) {
    order.push_back(call);
  }
  order.push_back("ReleaseFonts");
  for (const char* call : {"ShutdownSoundModule", "FreeEngineTables", "FreeLoadingScreens", "ClearTimerEvents",
                           "ShutdownMovieModule", "FreeSoundBanks", "FreeCollisionFitBuffers", "ShutdownSound",
                           "ReleaseInputDevices", "ReleaseDisplay"}) {
    order.push_back(call);
  }
  if (code != "0") order.push_back("ShowErrorBox");
  order.push_back("FreeSystemBlock(" + code + ")");
  return order;
}

TEST(ShutdownMessages, EveryCodeHasAMessageAndTheDetailFollowsInBrackets) {
  struct Case {
    uint32_t code;
    const char* detail;
    const char* text;
  };
  const Case kCases[] = {
      {0, nullptr, "Ready.\n"},
      {1, "GfxRes", "File not found.\n(GfxRes)"},
      {1, nullptr, "File not found.\n"},
      {29, "save\\Ulnar03.sav", "Error loading savegame, may be corrupt!\n(save\\Ulnar03.sav)"},
      {34, nullptr, "Error initialiting Movie replay"},
      {39, nullptr, "Exiting because of unrecoverable error.\nError reading contents of file.\n"},
      // Codes past the table (other subsystems and scripts pass them) still get a text.
      {40, nullptr, "Error 40.\n"},
      {65535, "x", "Error 65535.\n(x)"},
      {0xFFFFFFFFu, nullptr, "Error 4294967295.\n"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ComposeShutdownText(c.code, c.detail), c.text) << "code " << c.code;
  }
}

TEST(ShutdownExit, ProcessStatusIsZeroOnlyForNormalAndBenchmarkEnds) {
  // The real process end: the status a shell sees, and the message on standard error.
  EXPECT_EXIT(ShutdownAndExit(0), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ShutdownAndExit(36), ::testing::ExitedWithCode(0), "Printing benchmark results!");
  EXPECT_EXIT(ShutdownAndExit(7), ::testing::ExitedWithCode(7), "Error opening video");
  EXPECT_EXIT(ShutdownAndExit(300), ::testing::ExitedWithCode(255), "Error 300");
}

TEST_F(ShutdownTest, StopsEveryServiceInItsFixedOrder) {
  RegistrySetFilePath((documentsPath_ + "/registry.xml").c_str());
  MakeEveryServicePresent();
  EXPECT_EQ(RunShutdown(0), 0);
  EXPECT_EQ(gTrace, FullStopOrder(true, "0"));
  // What the shutdown frees itself is gone.
  EXPECT_EQ(gUniverse, nullptr);
  EXPECT_EQ(gGalaxyGrid, nullptr);
  EXPECT_EQ(gGameState, nullptr);
  EXPECT_EQ(gGuiMaster, nullptr);
  EXPECT_EQ(gScriptEngine, nullptr);
  EXPECT_EQ(gLocationState, nullptr);
  EXPECT_EQ(gTimerState, nullptr);
  EXPECT_EQ(gInputState, nullptr);
  EXPECT_EQ(gEngine3D, nullptr);
  EXPECT_EQ(gDisplay, nullptr);
  EXPECT_FALSE(gShown);
  gScriptSound = nullptr;
  gMovieState = nullptr;
  gSoundDevice = nullptr;
}

TEST_F(ShutdownTest, AnEarlyFailureStopsOnlyWhatExists) {
  // Only the SystemBlock: the stop steps without a check still run, every other is skipped.
  SetFailureDetail("vexaconfig");
  EXPECT_EQ(RunShutdown(1), 1);
  std::vector<std::string> expected = {"ClearEffectInstances", "FreeEffectDefinitions"};
  expected.push_back("ReleaseFonts");
  for (const char* call : {"FreeSoundBanks", "FreeCollisionFitBuffers", "ShowErrorBox", "FreeSystemBlock(1)"}) {
    expected.push_back(call);
  }
  EXPECT_EQ(gTrace, expected);
  EXPECT_EQ(gShownText, "File not found.\n(vexaconfig)");
  EXPECT_EQ(gFailureDetail, nullptr);
}

TEST_F(ShutdownTest, SettingsAreSavedOnlyForANormalEndWithADisplayAndOnlyOnce) {
  struct Case {
    uint32_t code;
    bool display;
    uint32_t modeFlags;
    bool saves;
  };
  const Case kCases[] = {
      {0, true, 0, true},
      {0, false, 0, false},                 // before the display: the settings close saves them
      {0, true, kModeSettingsSaved, false},  // a benchmark run or an earlier save
      {7, true, 0, false},
  };
  for (const Case& c : kCases) {
    SetUp();
    device_ = DisplayDevice{640, 480, 32};
    display_ = DisplayObject{kDisplayNoScreenLists, &device_, nullptr};
    gDisplay = c.display ? &display_ : nullptr;
    system_.modeFlags = c.modeFlags;
    EXPECT_EQ(RunShutdown(c.code), ShutdownExitStatus(c.code));
    int saves = 0;
    for (const std::string& call : gTrace) saves += call == "SaveSettings";
    EXPECT_EQ(saves, c.saves ? 1 : 0) << "code " << c.code << " display " << c.display;
    if (c.saves) {
      EXPECT_TRUE(system_.modeFlags & kModeSettingsSaved);
    }
  }
}

TEST_F(ShutdownTest, ASecondCallWhileStoppingEndsAtOnceWithTheFirstCodesStatus) {
  gEngine3D = &engine3D_;
  gGameServices.stopSceneSounds = [] {
    Record("StopSceneSounds");
    ShutdownAndExit(0);  // a service failing while it is stopped
  };
  EXPECT_EQ(RunShutdown(6), 6);
  EXPECT_EQ(gTrace, std::vector<std::string>{"StopSceneSounds"});
  gEngine3D = nullptr;
}

struct BenchmarkFixture {
  SystemBlock* system;
  DisplayDevice device{1280, 1024, 32};
  DisplayObject display{0, &device, nullptr};
  char multiSample[3] = "4x";
  char anisotropy[3] = "8x";
  DeviceRecord record = MakeRecord();
  Direct3DContext context = MakeContext();

  DeviceRecord MakeRecord() {
    DeviceRecord r{};
    r.multiSampleName = multiSample;
    r.anisotropyName = anisotropy;
    return r;
  }
  Direct3DContext MakeContext() {
    Direct3DContext c{};
    c.device = &record;
    return c;
  }
};

void FillSystemForLog(SystemBlock* s) {
  std::snprintf(s->versionText, sizeof s->versionText, "%s", "1.02");
  s->operatingSystemText = const_cast<char*>("Debian GNU/Linux 12");
  s->directXVersionText = const_cast<char*>("9.0c");
  s->graphicsCardText = const_cast<char*>("Card [256 MB]    Driver: 1.0");
  s->processorText = const_cast<char*>("CPU @ 2.66GHz");
  s->physicalMemoryMB = 2048;
  s->videoFlags = kVideoWindowed;
  s->d3dFlags2 = 0x80 | 0x100 | 0x800;  // glow on, environment mapping and colour variations off
}

std::string ExpectedLogHead() {
  return std::string(
             "--------------------------\n   Vexa - Velmar Nerith\n--------------------------\nGame Version: 1.02\n\n"
             "Operating System:\tDebian GNU/Linux 12\nDirectX Version:\t9.0c\nGraphics Card Info:\tCard [256 MB]    "
             "Driver: 1.0\nCPU Info:\t\tCPU @ 2.66GHz\nUsable System Memory:\t2048 MB\n\n\nVideo Settings During "
             "Benchmark:\n\tScreen Resolution:\t1280 x 1024 * [32], window\n\tUsing Shader Profile:\t") +
         ShaderProfileName() +
         "\n\tAntialias Mode:\t\t4x\n\tAnisotropic Mode:\t8x\n\nGraphics & Shader Settings:\n\tTexture Quality:\t" +
         TextureQualityName() + "\n\tShader Quality:\t\t" + ShaderQualityName() +
         "\n\tHigh Quality Bumpmaps:\tenabled\n\tEnvironment Mapping:\tdisabled\n\tGlow Filter:\t\tenabled\n"
         "\tShip Color Variations:\tdisabled\n\tMore Dynamic Lights:\tenabled\n\tUsed Vertexsize:\t" +
         std::to_string(VertexSizeBytes()) +
         " bytes\n\nFramerates\n--------------------------------------------------------------------------------\n";
}

constexpr const char* kClosing =
    "\n\nThank you for running the benchmark.\nKeep this file with any report about the game's speed.\n";

TEST_F(ShutdownTest, BenchmarkLogOfTwoScenesMatchesItsGoldenText) {
  BenchmarkFixture fixture;
  FillSystemForLog(&system_);
  gDisplay = &fixture.display;
  gDirect3D = &fixture.context;
  gBenchmarkRecords[0] = BenchmarkRecord{40.0f, 20.5f, 60.25f};
  gBenchmarkRecords[1] = BenchmarkRecord{30.0f, 10.0f, 45.0f};
  gBenchmarkRecords[2] = BenchmarkRecord{0.0f, 5.0f, 9.0f};  // the list ends at the first empty average
  gBenchmarkRecords[3] = BenchmarkRecord{50.0f, 5.0f, 9.0f};

  const std::string expected = ExpectedLogHead() +
                               "  Scene \"Trade\"\t 40.0 average fps\t 20.5 minimum fps\t 60.2 maximum fps\n"
                               "  Scene \"Fight\"\t 30.0 average fps\t 10.0 minimum fps\t 45.0 maximum fps\n"
                               "\nOverall average framerate: 35.0 fps\n" +
                               kClosing;
  EXPECT_EQ(BenchmarkLogText(), expected);

  std::tm when;
  FixedTime(&when);
  EXPECT_EQ(BenchmarkLogName(when), "ulnarperf_20261210_131415.txt");
  std::string result;
  ASSERT_TRUE(WriteBenchmarkLog(when, &result));
  const std::string folder = documentsPath_ + "/Korvane/" + kProductRecord.folderName;
  FILE* file = std::fopen((folder + "/ulnarperf_20261210_131415.txt").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::string written;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) written.append(buffer, got);
  std::fclose(file);
  EXPECT_EQ(written, expected);
  EXPECT_NE(result.find("3D benchmark completed.\n\nResults saved in "), std::string::npos) << result;
  EXPECT_NE(result.find("\\Korvane\\VexaNL\\ulnarperf_20261210_131415.txt."), std::string::npos) << result;
  EXPECT_EQ(result.find('/'), std::string::npos) << result;
  EXPECT_NE(result.find("Overall average framerate: 35.000 fps."), std::string::npos) << result;
}

TEST_F(ShutdownTest, BenchmarkLogNamesTheProductVersionWhenNoneWasReadBefore) {
  BenchmarkFixture fixture;
  FillSystemForLog(&system_);
  system_.versionText[0] = '\0';
  gDisplay = &fixture.display;
  gDirect3D = &fixture.context;
  std::string version;
  for (const char* p = kProductVersionResource; *p; ++p) {
    if (*p != ' ') version += *p == ',' ? '.' : *p;
  }
  std::tm when;
  FixedTime(&when);
  when.tm_sec = 16;
  std::string result;
  ASSERT_TRUE(WriteBenchmarkLog(when, &result));
  EXPECT_STREQ(system_.versionText, version.c_str());
  EXPECT_NE(BenchmarkLogText().find("\nGame Version: " + version + "\n\n"), std::string::npos);
}

TEST_F(ShutdownTest, BenchmarkLogWithoutMeasuredScenesHasAnEmptyListAndAZeroAverage) {
  BenchmarkFixture fixture;
  FillSystemForLog(&system_);
  gDisplay = &fixture.display;
  gDirect3D = &fixture.context;
  EXPECT_EQ(BenchmarkLogText(), ExpectedLogHead() + "\nOverall average framerate: 0.0 fps\n" + kClosing);
}

TEST_F(ShutdownTest, BenchmarkEndWritesTheLogAndShowsItsResult) {
  BenchmarkFixture fixture;
  FillSystemForLog(&system_);
  gDisplay = &fixture.display;
  gDirect3D = &fixture.context;
  gBenchmarkRecords[0] = BenchmarkRecord{25.0f, 20.0f, 30.0f};
  EXPECT_EQ(RunShutdown(kShutdownBenchmarkEnd), 0);
  ASSERT_TRUE(gShown);
  EXPECT_EQ(gShownText.rfind("Vexa - Velmar Nerith - 3D benchmark completed.", 0), 0u) << gShownText;
  EXPECT_NE(gShownText.find("Overall average framerate: 25.000 fps."), std::string::npos);
  // A benchmark end without a display has no log to point at: the plain message stands.
  SetUp();
  EXPECT_EQ(RunShutdown(kShutdownBenchmarkEnd), 0);
  EXPECT_EQ(gShownText, "Printing benchmark results!\n");
}

TEST_F(ShutdownTest, DisplayChangeRecentresTheEngineOnTheChosenMode) {
  system_.screenWidth = 1024;
  system_.screenHeight = 768;
  engine3D_ = EngineState3D{};
  gEngine3D = &engine3D_;
  ApplyDisplayChange();
  ASSERT_NE(engine3D_.screenMode, nullptr);
  EXPECT_EQ(engine3D_.screenMode->width, 1024u);
  EXPECT_EQ(engine3D_.halfScreenWidth, 512);
  EXPECT_EQ(engine3D_.projectionScale, 640);
  system_.screenWidth = 1023;
  ApplyDisplayChange();
  EXPECT_EQ(engine3D_.halfScreenWidth, 511);
  EXPECT_EQ(engine3D_.projectionScale, 639);
  gEngine3D = nullptr;
}

}  // namespace
