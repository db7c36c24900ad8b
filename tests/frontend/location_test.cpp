// The location module: the P_ natives' answers and the settings they store, RunLocation's start
// and its missing name, the loading-screen list over a temporary "loadscr" folder with its
// pacing, full-screen pictures and their click wait, and the automatic quality control over
// steady frame rates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/input_devices.h"
#include "frontend/frontend.h"
#include "frontend/location.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "script/tasks.h"
#include "support/catalog_world.h"
#include "support/script_fixture.h"

namespace {

struct HostLog {
  std::vector<uint32_t> exits;
  int pumps = 0;
  uint32_t clockStep = 0;
  // Pump pass -> both buttons' state after it.
  std::vector<bool> buttons;
};
HostLog* gLog = nullptr;

void RecordExit(uint32_t code) { gLog->exits.push_back(code); }
void RecordPump() {
  if (gInputState && static_cast<size_t>(gLog->pumps) < gLog->buttons.size())
    gInputState->leftDown = gLog->buttons[static_cast<size_t>(gLog->pumps)] ? 1 : 0;
  ++gLog->pumps;
}
void StepClock() { gSystem->realTime += gLog->clockStep; }

std::vector<std::string>* gLoaded = nullptr;
// Only pictures the test names exist; each load is logged with its path.
std::vector<std::string> gExisting;
DisplaySurface* LogLoad(const char* name, uint32_t) {
  if (gLoaded) gLoaded->push_back(name);
  for (const std::string& existing : gExisting)
    if (existing == name) return CreateImageHandle(32, 4, 4, kSurfaceNoDevice);
  return nullptr;
}

class Location : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    gScriptEngine = engine_;
    gLog = &log_;
    gLoaded = &loaded_;
    gExisting.clear();
    LocationHost host{RecordExit, RecordPump, StepClock};
    LocationSetHost(&host);
    SetImageFileLoader(LogLoad);
    gInputState = &input_;
    gSystem->colourDepth = 32;
    task_ = NewTask(engine_, 8);
    ASSERT_NE(task_, nullptr);
  }
  void TearDown() override {
    EndTask(engine_, task_);
    FreeLoadingScreens();
    SetImageFileLoader(nullptr);
    LocationSetHost(nullptr);
    gInputState = nullptr;
    gLoaded = nullptr;
    gLog = nullptr;
    ScriptEngineTest::TearDown();
  }

  // The answer of one call with integer arguments.
  int32_t Call(int32_t function, std::vector<int32_t> values = {}) {
    std::vector<ScriptValue> args(values.size());
    for (size_t k = 0; k < values.size(); ++k) SetValueInt(&args[k], values[k]);
    task_->hasResult = 0;
    status_ = DispatchPNative(1, task_, function, static_cast<int32_t>(args.size()), args.data());
    EXPECT_EQ(task_->hasResult, 1) << "function " << function;
    return task_->result.i;
  }

  CatalogWorld world_;
  HostLog log_;
  std::vector<std::string> loaded_;
  InputState input_{};
  ScriptTask* task_ = nullptr;
  int32_t status_ = -1;
};

TEST_F(Location, SettingNativesStoreAndAnswerAsTheirRowsSay) {
  EXPECT_EQ(Call(8, {0x1234}), 0x1234);
  EXPECT_EQ(gSystem->d3dFlags, 0x1234u);
  EXPECT_EQ(Call(7), 0x1234);
  EXPECT_EQ(Call(10, {77}), 77);
  EXPECT_EQ(Call(9), 77);
  EXPECT_EQ(Call(6, {5}), 5);
  EXPECT_EQ(Call(5), 5);
  EXPECT_EQ(Call(13, {0x200}), 0x200);
  EXPECT_EQ(gSystem->modeFlags, 0x200u);
  gSystem->shaderQuality = 3;
  EXPECT_EQ(Call(11), 3);
  // The two no-effect rows and numbers past the table answer 0.
  for (int32_t function : {3, 4, 27, 500, -1}) EXPECT_EQ(Call(function, {9}), 0) << function;
  EXPECT_EQ(status_, 1);
}

TEST_F(Location, JoystickSettingsAnswerZeroWhenSetAndKeepTheValue) {
  EXPECT_EQ(Call(22, {35}), 0);
  EXPECT_EQ(Call(21), 35);
  EXPECT_EQ(Call(24, {40}), 0);
  EXPECT_EQ(Call(23), 40);
  EXPECT_EQ(JoystickDeadZoneSetting(), 40);
  SetJoystickSensitivitySetting(kDefaultJoystickSensitivity);
  P_SetJoyDeadzone(20);
}

TEST_F(Location, IORequirementsCopyThreeBitsIntoTheDeviceFlags) {
  input_.flags = kInputInvertSecond | kInputUseMouse | kInputHatFound;
  EXPECT_EQ(Call(26, {0x800020}), 0);
  EXPECT_EQ(gSystem->inputFlags, 0x800020u);
  EXPECT_EQ(input_.flags, kInputTurnAsRead | kInputInvertMouse | kInputUseMouse | kInputHatFound);
  EXPECT_EQ(Call(25), 0x800020);
}

TEST_F(Location, LoadLocationEndsThePassAndLeaveExitsWithTheLowWord) {
  EXPECT_EQ(Call(0), 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(Call(1, {0x10001}), 0);
  EXPECT_EQ(log_.exits, std::vector<uint32_t>{1});
}

TEST_F(Location, RunLocationWithoutANameEndsTheProgramWithOne) {
  RunLocation(nullptr);
  EXPECT_STREQ(gLocationName, "NoLocation");
  EXPECT_EQ(log_.exits, std::vector<uint32_t>{1});
  RunLocation("Start");
  EXPECT_STREQ(gLocationName, "Start");
  EXPECT_EQ(log_.pumps, 1);
  EXPECT_EQ(log_.exits.size(), 1u);
}

TEST_F(Location, LoadingScreenListKeepsLongJpgNamesOfAnyCase) {
  world_.WriteLoose("loadscr/.jpg", "x");
  world_.WriteLoose("loadscr/A.JPG", "x");
  world_.WriteLoose("loadscr/notes.txt", "x");
  world_.WriteLoose("loadscr/b.jpg", "x");
  GameSrand(1);
  P_InitLoadingScreen();
  ASSERT_NE(gLoadingScreens.paths, nullptr);
  ASSERT_EQ(HashCount(gLoadingScreens.paths), 2u);
  EXPECT_STREQ(reinterpret_cast<const char*>(HashGet(gLoadingScreens.paths, 1)), "loadscr\\A.JPG");
  EXPECT_STREQ(reinterpret_cast<const char*>(HashGet(gLoadingScreens.paths, 2)), "loadscr\\b.jpg");
  EXPECT_EQ(gLoadingScreens.first, 1);
  EXPECT_LT(gLoadingScreens.index, 2);
}

TEST_F(Location, OnePictureStartsAtIndexZeroAndAMissingFolderLeavesTheListEmpty) {
  P_InitLoadingScreen();
  ASSERT_NE(gLoadingScreens.paths, nullptr);
  EXPECT_EQ(HashCount(gLoadingScreens.paths), 0u);
  world_.WriteLoose("loadscr/only.jpg", "x");
  P_InitLoadingScreen();
  EXPECT_EQ(HashCount(gLoadingScreens.paths), 1u);
  EXPECT_EQ(gLoadingScreens.index, 0);
}

TEST_F(Location, LoadingScreensChangeAtMostEveryTwoSecondsAndWrap) {
  world_.WriteLoose("loadscr/a.jpg", "x");
  world_.WriteLoose("loadscr/b.jpg", "x");
  gExisting = {"loadscr\\a.jpg", "loadscr\\b.jpg"};
  gSystem->realTime = 10000;
  P_InitLoadingScreen();
  gLoadingScreens.index = 0;
  struct Step {
    uint32_t now;
    const char* shown;  // null: nothing loaded
  };
  const Step kSteps[] = {
      {10000, "loadscr\\a.jpg"}, {10500, nullptr}, {11999, nullptr}, {12000, "loadscr\\b.jpg"},
      {14000, "loadscr\\a.jpg"},
  };
  for (const Step& step : kSteps) {
    gSystem->realTime = step.now;
    loaded_.clear();
    P_ShowNextLoadingScreen();
    if (step.shown) {
      ASSERT_FALSE(loaded_.empty()) << step.now;
      EXPECT_EQ(loaded_.front(), step.shown) << step.now;
    } else {
      EXPECT_TRUE(loaded_.empty()) << step.now;
    }
  }
}

TEST_F(Location, WithoutPicturesTheDefaultIsTriedAndTheListStillAdvances) {
  gSystem->realTime = 500;
  P_InitLoadingScreen();
  P_ShowNextLoadingScreen();
  ASSERT_FALSE(loaded_.empty());
  EXPECT_NE(loaded_.front().find("true/LoadScrDefault"), std::string::npos);
  // Nothing could be drawn, yet the call counts as shown.
  EXPECT_EQ(gLoadingScreens.first, 0);
  EXPECT_EQ(gLoadingScreens.nextChange, 2500u);
  EXPECT_EQ(ViewLoadingScreen(nullptr, 600, 0), 0);
  EXPECT_EQ(ViewLoadingScreen(nullptr, 400, 0), 1);
}

TEST(LoadingScreenBands, ATenthOf128RowsPerBand) {
  EXPECT_EQ(LoadingScreenBand(768), 60);
  EXPECT_EQ(LoadingScreenBand(600), 46);
  EXPECT_EQ(LoadingScreenBand(0), 0);
}

TEST(LocationPictureFlags, FullScreenPicturesKeepTheFormatOnLowDepths) {
  SystemBlock block{};
  SystemBlock* saved = gSystem;
  gSystem = &block;
  block.usageWords[0] = 0x300;
  EXPECT_EQ(LocationPictureFlags(8, true), 0x300u | kLoadFlag8000000);
  EXPECT_EQ(LocationPictureFlags(8, false), 0x100u | kLoadFlag8000000);
  EXPECT_EQ(LocationPictureFlags(32, true), 0x2000u | kLoadFlag8000000);
  block.usageWords[0] = kLoadKeep;
  EXPECT_EQ(LocationPictureFlags(4, true), kLoadKeep);
  gSystem = saved;
}

TEST_F(Location, FullScreenPictureWithoutSecondsReturnsAtOnce) {
  gExisting = {"L\\true/pic"};
  EXPECT_EQ(ViewFullscreenPicture("pic", 0), 1);
  EXPECT_EQ(log_.pumps, 0);
  EXPECT_EQ(ViewFullscreenPicture("missing", 0), 0);
  EXPECT_EQ(ViewFullscreenPicture(nullptr, 5), 0);
  // A palette display takes its pictures from the low-depth folder.
  gSystem->colourDepth = 8;
  loaded_.clear();
  EXPECT_EQ(ViewFullscreenPicture("pic", 0), 0);
  ASSERT_FALSE(loaded_.empty());
  EXPECT_EQ(loaded_.front(), "L\\h256/pic");
}

TEST_F(Location, AHeldButtonMustBeLetGoBeforeAPressEndsTheWait) {
  gExisting = {"L\\true/pic"};
  log_.clockStep = 100;
  input_.leftDown = 1;
  // Held through two passes, let go, then pressed again on the fifth pass.
  log_.buttons = {true, true, false, false, true};
  EXPECT_EQ(ViewFullscreenPicture("pic", 5), 1);
  EXPECT_EQ(log_.pumps, 5);
  // With no press the time limit ends the wait: 5 s in 100-ms steps.
  log_.pumps = 0;
  log_.buttons.clear();
  input_.leftDown = 0;
  EXPECT_EQ(ViewFullscreenPicture("pic", 5), 1);
  EXPECT_EQ(log_.pumps, 50);
}

class Quality : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gSystem;
    gSystem = &block_;
    block_.timeScale = 0x10000;
    block_.lowerQualityFps = 10.0;
    block_.upperQualityFps = 25.0;
    block_.d3dFlags = kD3DAutoQuality;
    gQualityControl = QualityControl{};
  }
  void TearDown() override { gSystem = saved_; }

  // The frames after which the level changed, with the level after each change.
  std::vector<std::pair<int, uint32_t>> Run(uint32_t stepMs, int frames) {
    std::vector<std::pair<int, uint32_t>> changes;
    for (int frame = 1; frame <= frames; ++frame) {
      const uint32_t before = block_.qualityLevel;
      block_.frameStep = stepMs;
      AutoAdjustQuality();
      if (block_.qualityLevel != before) changes.emplace_back(frame, block_.qualityLevel);
    }
    return changes;
  }

  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
};

TEST_F(Quality, OffHoldsTheLevelAtOneHundred) {
  block_.d3dFlags = 0;
  block_.qualityLevel = 40;
  Run(100, 1);
  EXPECT_EQ(block_.qualityLevel, 100u);
}

TEST_F(Quality, SteadyRatesMoveTheLevelOnTheirEvaluations) {
  struct Case {
    uint32_t stepMs;
    uint32_t start;
    int frames;
    std::vector<std::pair<int, uint32_t>> changes;
  };
  const Case kCases[] = {
      // 40 fps is beyond 1.2 x 25: every evaluation (every fourth frame) raises.
      {25, 50, 12, {{4, 55}, {8, 60}, {12, 65}}},
      // 27 fps: six evaluations in a row.
      {37, 50, 48, {{24, 55}, {48, 60}}},
      // 7 fps is below 0.8 x 10: the first evaluation lowers.
      {143, 50, 8, {{4, 45}, {8, 40}}},
      // Between the thresholds nothing moves; the ends hold.
      {50, 50, 40, {}},
      {25, 100, 12, {}},
      {143, 0, 12, {}},
  };
  for (const Case& c : kCases) {
    gQualityControl = QualityControl{};
    block_.qualityLevel = c.start;
    EXPECT_EQ(Run(c.stepMs, c.frames), c.changes) << c.stepMs << " ms from " << c.start;
  }
}

TEST_F(Quality, FastGameSpeedScalesTheFrameStepDown) {
  // 50 ms at double speed counts as 25 ms: 40 fps.
  block_.timeScale = 0x20000;
  block_.qualityLevel = 50;
  EXPECT_EQ(Run(50, 4), (std::vector<std::pair<int, uint32_t>>{{4, 55}}));
}

}  // namespace
