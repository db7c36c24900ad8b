// Version report, logo screen, "Input" event and low-memory hook: the version text's
// normalisation and its cut in the SystemBlock, the logo screen's surfaces, load flags and
// picture name through a recording renderer, the input event against an assembled story, and
// the steps of the low-memory hook.
#include "app/input_logo_version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/game_loop.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "scene/scene.h"
#include "support/script_runner.h"

namespace {

// A SystemBlock of the test's own in place of the game's.
class SystemBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gSystem;
    block_ = SystemBlock{};
    gSystem = &block_;
  }
  void TearDown() override { gSystem = saved_; }

  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
};

using VersionInfo = SystemBlockTest;

TEST_F(VersionInfo, CommasBecomeDotsBlanksGoAndTheBlockKeepsThirteen) {
  struct Case {
    const char* raw;
    const char* returned;
    const char* stored;
  };
  const Case kCases[] = {
      {"1, 2, 0, 5", "1.2.0.5", "1.2.0.5"},
      {"1,2,0,5", "1.2.0.5", "1.2.0.5"},
      {" 2 ,  11 , 3 , 0 ", "2.11.3.0", "2.11.3.0"},
      {"1.0.0.1", "1.0.0.1", "1.0.0.1"},
      // Exactly 13 characters fit with the terminator.
      {"10, 20, 300, 40", "10.20.300.40", "10.20.300.40"},
      {"100, 20, 300, 4", "100.20.300.4", "100.20.300.4"},
      {"1000, 200, 30, 4", "1000.200.30.4", "1000.200.30.4"},
      // Longer ones are cut in the block and returned whole.
      {"10, 20, 300, 4000", "10.20.300.4000", "10.20.300.400"},
      {"2009, 8, 27, 192329", "2009.8.27.192329", "2009.8.27.192"},
      {"", "", ""},
  };
  for (const Case& c : kCases) {
    std::memset(block_.versionText, 'x', sizeof block_.versionText);
    EXPECT_EQ(ReadVersionInfoFrom(c.raw), c.returned) << c.raw;
    EXPECT_STREQ(block_.versionText, c.stored) << c.raw;
  }
}

TEST_F(VersionInfo, MissingResourceGivesEmptyAndKeepsTheOldText) {
  ReadVersionInfoFrom("3, 1, 4, 1");
  EXPECT_EQ(ReadVersionInfoFrom(nullptr), "");
  EXPECT_STREQ(block_.versionText, "3.1.4.1");
}

TEST_F(VersionInfo, TheProgramsOwnVersionIsNormalised) {
  std::string version = ReadVersionInfo();
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(version.find(','), std::string::npos);
  EXPECT_EQ(version.find(' '), std::string::npos);
  EXPECT_EQ(std::string(block_.versionText), version.substr(0, 13));
}

// ---- Logo screen ----------------------------------------------------------------------------

struct RendererLog {
  std::vector<std::string> calls;
  std::string pictureName;
  uint32_t pictureFlags = 0;
  int createLimit = 100;  // creations that succeed
  bool pictureExists = true;
  DisplaySurface* target = nullptr;
  std::vector<int32_t> surfaceIndexes;
  DisplaySurface displaySurfaces[4] = {};
};
RendererLog* gLog = nullptr;

DisplaySurface* FakeCreate(int32_t depth, int32_t width, int32_t height, uint32_t usage) {
  gLog->calls.push_back("create " + std::to_string(width) + "x" + std::to_string(height) + "x" +
                        std::to_string(depth) + " usage " + std::to_string(usage));
  if (gLog->createLimit-- <= 0) return nullptr;
  return CreateImageHandle(depth, width, height, usage | kSurfaceNoDevice);
}
DisplaySurface* FakeLoad(const char* name, uint32_t flags, int32_t, int32_t) {
  gLog->pictureName = name;
  gLog->pictureFlags = flags;
  gLog->calls.push_back("load");
  return gLog->pictureExists ? CreateImageHandle(32, 8, 8, kSurfaceNoDevice) : nullptr;
}
void FakeStretch(DisplaySurface* target, DisplaySurface*) {
  gLog->target = target;
  gLog->calls.push_back("stretch");
}
void FakeUpdate() { gLog->calls.push_back("present"); }
int32_t FakeRelease(DisplaySurface** slot) {
  gLog->calls.push_back("release");
  return ReleaseImageHandle(slot);
}
DisplaySurface* FakeDisplaySurface(const DisplayObject*, int32_t index) {
  gLog->surfaceIndexes.push_back(index);
  return &gLog->displaySurfaces[index];
}
bool FakeSquares() {
  gLog->calls.push_back("squares");
  return true;
}
void FakeTextures() { gLog->calls.push_back("textures"); }
void FakeBodies(EngineState3D*) { gLog->calls.push_back("bodies"); }

const VersionLogoServices kFakeServices = {FakeSquares, FakeCreate,   FakeLoad,           FakeStretch, FakeUpdate,
                                           FakeRelease, FakeDisplaySurface, FakeTextures, FakeBodies};

class LogoScreen : public SystemBlockTest {
 protected:
  void SetUp() override {
    SystemBlockTest::SetUp();
    block_.product = &kProductRecord;
    block_.usageWords[0] = 0x300;
    block_.usageWords[4] = 0x55;
    gLog = &log_;
    SetVersionLogoServices(&kFakeServices);
    savedDisplay_ = gDisplay;
    device_ = DisplayDevice{640, 480, 32};
    display_ = DisplayObject{0, &device_, nullptr};
    gDisplay = &display_;
  }
  void TearDown() override {
    FreeLogoSurfaces();
    SetVersionLogoServices(nullptr);
    gDisplay = savedDisplay_;
    gLog = nullptr;
    SystemBlockTest::TearDown();
  }

  RendererLog log_;
  DisplayDevice device_{};
  DisplayObject display_{};
  DisplayObject* savedDisplay_ = nullptr;
};

TEST(PictureLoadFlags, DepthPicksThePictureFormat) {
  struct Case {
    uint32_t usage;
    int32_t depth;
    uint32_t flags;
  };
  const Case kCases[] = {
      {0x300, 16, 0x100 | 0x8000000},
      {0x200, 8, 0x100 | 0x8000000},
      {0x300, 24, 0x200 | 0x8000000},
      {0x100, 31, 0x200 | 0x8000000},
      {0x300, 32, 0x2000 | 0x8000000},
      {0x1, 32, 0x2001 | 0x8000000},
      // 0x4000 keeps the last flag off.
      {0x4300, 32, 0x6000},
      {0x4000, 16, 0x4100},
  };
  for (const Case& c : kCases) EXPECT_EQ(PictureLoadFlags(c.usage, c.depth), c.flags) << c.usage << " " << c.depth;
}

TEST_F(LogoScreen, CreatesASurfaceOfTheDisplaySizeAndDrawsThePicture) {
  ASSERT_EQ(ShowLogoScreen(), 1);
  std::vector<std::string> expected = {"squares", "create 640x480x32 usage 85", "load", "stretch", "present",
                                       "release"};
  EXPECT_EQ(log_.calls, expected);
  EXPECT_EQ(log_.pictureName, "L\\true\\ulnaruniverse logo_HD");
  EXPECT_EQ(log_.pictureFlags, 0x2000u | 0x8000000u);
  ASSERT_NE(gLogoSurfaces[0], nullptr);
  EXPECT_EQ(log_.target, gLogoSurfaces[0]);
  EXPECT_EQ(gLogoSurfaces[1], nullptr);
}

TEST_F(LogoScreen, SecondScreenListGetsASecondSurface) {
  display_.flags = kDisplaySecondScreenList;
  device_.bitDepth = 16;
  ASSERT_EQ(ShowLogoScreen(), 1);
  EXPECT_NE(gLogoSurfaces[0], nullptr);
  EXPECT_NE(gLogoSurfaces[1], nullptr);
  EXPECT_EQ(log_.pictureFlags, 0x100u | 0x8000000u);
}

TEST_F(LogoScreen, DisplaysOwnSurfacesAreTakenSecondFirstFourthThird) {
  display_.flags = kDisplayNoScreenLists | kDisplaySecondScreenList;
  ASSERT_EQ(ShowLogoScreen(), 1);
  EXPECT_EQ(log_.surfaceIndexes, (std::vector<int32_t>{1, 0, 3, 2}));
  EXPECT_EQ(gLogoSurfaces[0], &log_.displaySurfaces[1]);
  EXPECT_EQ(gLogoSurfaces[3], &log_.displaySurfaces[2]);
  for (const std::string& call : log_.calls) EXPECT_NE(call.rfind("create", 0), 0u) << call;
  // The display's own surfaces are not this unit's to release.
  FreeLogoSurfaces();
  EXPECT_EQ(log_.calls.back(), "release");  // only the picture was released
  log_.calls.clear();
  display_.flags = kDisplayNoScreenLists;
  log_.surfaceIndexes.clear();
  ASSERT_EQ(ShowLogoScreen(), 1);
  EXPECT_EQ(log_.surfaceIndexes, (std::vector<int32_t>{1}));
}

TEST_F(LogoScreen, FailedSurfaceGivesZeroAndLeavesNothingBehind) {
  display_.flags = kDisplaySecondScreenList;
  log_.createLimit = 1;
  EXPECT_EQ(ShowLogoScreen(), 0);
  EXPECT_EQ(gLogoSurfaces[0], nullptr);
  EXPECT_EQ(gLogoSurfaces[1], nullptr);
  for (const std::string& call : log_.calls) EXPECT_NE(call, "load");
}

TEST_F(LogoScreen, MissingPictureIsNoFailure) {
  log_.pictureExists = false;
  EXPECT_EQ(ShowLogoScreen(), 1);
  std::vector<std::string> expected = {"squares", "create 640x480x32 usage 85", "load"};
  EXPECT_EQ(log_.calls, expected);
}

TEST_F(LogoScreen, NoDisplayMeansNoSurfaces) {
  gDisplay = nullptr;
  EXPECT_EQ(ShowLogoScreen(), 0);
}

TEST_F(LogoScreen, ShowingTwiceReleasesTheFirstSurfaces) {
  ASSERT_EQ(ShowLogoScreen(), 1);
  uint32_t before = gMemCounters.currentBytes;
  ASSERT_EQ(ShowLogoScreen(), 1);
  EXPECT_EQ(gMemCounters.currentBytes, before);
}

// ---- Low-memory hook ------------------------------------------------------------------------

class LowMemory : public LogoScreen {
 protected:
  void SetUp() override {
    LogoScreen::SetUp();
    savedEngine_ = gEngine3D;
    gEngine3D = &engine_;
  }
  void TearDown() override {
    gEngine3D = savedEngine_;
    SetLowMemoryHook(nullptr);
    LogoScreen::TearDown();
  }
  EngineState3D engine_{};
  EngineState3D* savedEngine_ = nullptr;
};

TEST_F(LowMemory, QualityDropsOnlyBelow1200MegabytesAndStopsAtFour) {
  struct Case {
    int32_t memoryMB;
    uint32_t startReduction;
    int calls;
    uint32_t reduction;
  };
  const Case kCases[] = {
      {1000, 0, 1, 1}, {1000, 0, 5, 4}, {1199, 0, 3, 3}, {512, 3, 2, 4},
      {1200, 0, 5, 0}, {4096, 2, 3, 2}, {1200, 4, 1, 4},
  };
  for (const Case& c : kCases) {
    block_.physicalMemoryMB = c.memoryMB;
    block_.qualityReduction = c.startReduction;
    for (int k = 0; k < c.calls; ++k) OnLowMemory();
    EXPECT_EQ(block_.qualityReduction, c.reduction) << c.memoryMB << " MB, " << c.calls << " calls";
  }
}

TEST_F(LowMemory, BodiesGoFirstThenTextures) {
  block_.physicalMemoryMB = 4096;
  OnLowMemory();
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"bodies", "textures"}));
  log_.calls.clear();
  gEngine3D = nullptr;  // before the 3D engine exists only textures can go
  OnLowMemory();
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"textures"}));
}

TEST_F(LowMemory, TheMemoryManagerCallsTheInstalledHook) {
  block_.physicalMemoryMB = 1000;
  SetLowMemoryHandler();
  CallLowMemoryHandler();
  EXPECT_EQ(block_.qualityReduction, 1u);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"bodies", "textures"}));
}

TEST_F(LowMemory, TheTableBlocksTheScriptEngineKeptAreGivenBack) {
  ScriptEngine* previous = gScriptEngine;
  ScriptEngine script{};
  ASSERT_TRUE(InitEngineContext(&script));
  ScriptValue table{};
  AllocTableValue(&table);
  for (int32_t k = 0; k < 600; ++k) {
    ScriptValue key{};
    SetValueInt(&key, k);
    TableSet(&table, &key, &key);
  }
  ReleaseValue(&table);
  ASSERT_NE(script.spareEntryBlocks, nullptr);
  OnLowMemory();
  EXPECT_EQ(script.spareEntryBlocks, nullptr);
  FreeEngineTables(&script);
  gScriptEngine = previous;
}

// ---- The "Input" event ----------------------------------------------------------------------

// An assembled story whose class 150 answers "Input" through the application module's slot.
class InputEvent : public ScriptRunTest {
 protected:
  static inline const char* const kAppNames[] = {nullptr};

  void SetUp() override {
    ScriptRunTest::SetUp();
    savedState_ = gGameState;
    state_ = GameStateBlock{};
    InitGameStateBlock(&state_);
    gGameState = &state_;
    state_.moduleIndex = uint32_t(RegisterNativeModule(engine_, nullptr, kAppNames, AppResumeInt, AppResumeString,
                                                       nullptr));
    ASSERT_GT(state_.moduleIndex, 0u);
    gLoopExit = 0;
  }
  void TearDown() override {
    FreeModuleStringTables(&state_);
    gGameState = savedState_;
    gLoopExit = 0;
    ScriptRunTest::TearDown();
  }

  static int32_t AppResumeInt(uint32_t cookie, int32_t value) {
    ResumeApplicationInt(cookie, value);
    return 0;
  }
  static void AppResumeString(uint32_t cookie, const char* text) { ResumeApplicationString(cookie, text); }

  GameStateBlock state_{};
  GameStateBlock* savedState_ = nullptr;
};

// Input(code): 99 waits in a native call, 27 asks to stop (-1), anything else is answered with
// code itself.
constexpr char kInputStory[] = R"(
.class 150
.method Input input params=1
.end
input:
  ldl 4
  pushb 27
  jne other
  pushb -1
  ret
other:
  ldl 4
  pushb 99
  jne answer
  push0
  native T_Wait
  ret
answer:
  ldl 4
  ret
)";

TEST_F(InputEvent, TheHandlersAnswerComesBackAndMinusOneEndsTheLoop) {
  ASSERT_TRUE(Load(kInputStory)) << error_;
  struct Case {
    int32_t code;
    int32_t answer;
    uint32_t loopExit;
  };
  const Case kCases[] = {{5, 5, 0}, {0, 0, 0}, {28, 28, 0}, {-2, -2, 0}, {27, -1, 1}, {-1, -1, 1}};
  for (const Case& c : kCases) {
    gLoopExit = 0;
    EXPECT_EQ(RaiseInputEvent(c.code), c.answer) << c.code;
    EXPECT_EQ(gLoopExit, c.loopExit) << c.code;
  }
}

TEST_F(InputEvent, MinusOneFromTheHandlerEndsTheFramesInput) {
  ASSERT_TRUE(Load(kInputStory)) << error_;
  GameServices saved = gGameServices;
  gGameServices.nextKeyCode = [] { return uint16_t(27); };
  gGameServices.raiseInputEvent = RaiseInputEvent;
  ResetFrameInputState();
  EXPECT_EQ(ProcessFrameInput(), 0);
  EXPECT_EQ(gLoopExit, 1u);
  gGameServices = saved;
  ResetFrameInputState();
}

TEST_F(InputEvent, AnEarlierAnswerIsNotTakenForThisOne) {
  ASSERT_TRUE(Load(kInputStory)) << error_;
  ASSERT_EQ(RaiseInputEvent(-1), -1);
  gLoopExit = 0;
  // The handler waits: nobody answers during the call.
  EXPECT_EQ(RaiseInputEvent(99), 0);
  EXPECT_EQ(gLoopExit, 0u);
  ASSERT_EQ(waiting_.size(), 1u);
  KillTaskById(engine_, waiting_[0]);
}

TEST_F(InputEvent, NoHandlerAnswersZero) {
  ASSERT_TRUE(Load(".func Main main\nmain:\n  push0\n  ret\n")) << error_;
  SetValueInt(&state_.eventResult, -1);
  state_.hasResult = 1;
  EXPECT_EQ(RaiseInputEvent(3), 0);
  EXPECT_EQ(gLoopExit, 0u);
}

}  // namespace
