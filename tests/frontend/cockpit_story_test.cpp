// Cockpits driven by an assembled story: INS_ calls from byte code answer their tasks (also
// INS_AutoDoc), and a game-loop run builds the GUI master after "Init", lets "Run" allocate
// cockpits and frees them at the teardown, leaving the scene engine as it was.
#include <gtest/gtest.h>

#include <string>

#include "app/game_loop.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"
#include "scene/engine_records.h"
#include "support/engine_fixture.h"
#include "support/script_runner.h"

namespace {

constexpr char kStory[] =
    ".func Init init\n"
    ".func Run run\n"
    ".func Doc doc\n"
    "init:\n"
    "  push0\n"
    "  native INS_CockpitAlloc\n"
    "  push1\n"
    "  native T_Log\n"
    "  pop\n"
    "  push0\n"
    "  ret\n"
    "run:\n"
    "  push0\n"
    "  native INS_CockpitAlloc\n"
    "  push1\n"
    "  native T_Log\n"
    "  pop\n"
    "  push0\n"
    "  native INS_CockpitAlloc\n"
    "  push1\n"
    "  native T_Log\n"
    "  pop\n"
    "  push0\n"
    "  ret\n"
    "doc:\n"
    "  push0\n"
    "  native INS_AutoDoc\n"
    "  ret\n";

// Every service a game-loop run reaches does nothing, except the calls into the story, the
// script pass and the GUI master's building and freeing.
void BindQuietServices() {
  GameServices& s = gGameServices;
  s.dispatchTimerEvents = [] {};
  s.pumpMessages = [] {};
  s.updateSounds = [] {};
  s.updateMovies = [] {};
  s.stopAllMovies = [] {};
  s.clearGalaxyGrid = [](GalaxyGrid*) {};
  s.resetObjectEffects = [] {};
  s.initLoadingScreen = [] {};
  s.showNextLoadingScreen = [] {};
  s.viewLoadingScreen = [](const char*, uint32_t, int32_t) {};
  s.resetScriptSystems = [](int32_t) {};
  s.loadScriptStore = [](ScriptEngine*, const char*) { return true; };
  s.runLocation = [](const char*) {};
  s.clearEffectInstances = [] {};
  s.freeEffectDefinitions = [] {};
  s.unloadAllSamples = [] {};
  s.freeAllObjects = [](UniverseBlock*) {};
  s.updateCutScenes = [] {};
  s.stepUniverse = [] {};
  s.containerFreeRemovedObjects = [](SpaceObject*) {};
  s.nextKeyCode = []() -> uint16_t { return 0; };
  s.raiseInputEvent = [](int32_t) { return 0; };
  s.translateInput = [](SpaceObject*, int32_t) { return 1; };
  s.stepObjectEffects = [] {};
  s.updateHud = [] {};
  s.updateEngine3DFrame = [] {};
  s.autoAdjustQuality = [] {};
  s.updateScreen = [] {};
  s.takeScreenshot = [] {};
}

class CockpitStoryTest : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    InitCockpitModule();
    ASSERT_EQ(gCockpitModule, 2);
    ASSERT_TRUE(Load(kStory)) << error_;
    system_ = SystemBlock{};
    system_.frameCounter = 10;
    gSystem = &system_;
  }

  void TearDown() override {
    gSystem = nullptr;
    gCockpitModule = 0;
    ScriptRunTest::TearDown();
  }

  EngineFixture fixture_;
  SystemBlock system_{};
};

TEST_F(CockpitStoryTest, AutoDocAnswersSoItsTaskGoesOn) {
  gGuiMaster = InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster))));
  EXPECT_EQ(Call("Doc"), "0");
  EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
  FreeAllCockpits(gGuiMaster);
  MemFreeIfSet(gGuiMaster);
  gGuiMaster = nullptr;
}

TEST_F(CockpitStoryTest, AGameBuildsTheGuiMasterAfterInitAndFreesTheStorysCockpits) {
  const uint32_t handles = HashCount(fixture_.engine().handleTable);
  const uint32_t scenes = HashCount(fixture_.engine().sceneTable);
  BindQuietServices();
  gGameState = InitGameStateBlock(static_cast<GameStateBlock*>(MemCalloc(sizeof(GameStateBlock))));
  gGameState->moduleIndex = static_cast<uint32_t>(module_);
  SetStartLocation("story");
  // The GUI master holds the cockpits while the game runs; the first frame's end shows them.
  static uint32_t cockpitsInFrame;
  cockpitsInFrame = 0;
  gGameServices.updateHud = [] { cockpitsInFrame = gGuiMaster ? HashCount(gGuiMaster->cockpits) : 99; };
  gFrameLimit = system_.frameCounter + 1;
  RunGameLoop();
  gFrameLimit = 0;
  gFrameLimitReached = 0;

  // "Init" ran before the GUI master existed, so its allocation answered 0; "Run" got 2 and 3.
  EXPECT_EQ(log_, (std::vector<std::string>{"0", "2", "3"}));
  EXPECT_EQ(cockpitsInFrame, 2u);
  EXPECT_EQ(gGuiMaster, nullptr);
  EXPECT_EQ(HashCount(fixture_.engine().handleTable), handles);
  EXPECT_EQ(HashCount(fixture_.engine().sceneTable), scenes);

  ResetGameServices();
  FreeModuleStringTables(gGameState);
  MemFree(gGameState, sizeof(GameStateBlock), 0);
  gGameState = nullptr;
}

}  // namespace
