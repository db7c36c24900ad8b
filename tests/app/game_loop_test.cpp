// The game loop: the recorded order of one frame in each start mode, the input of start mode 1
// (wheel, mouse, viewers), pauses in both input paths, save requests, screenshots, benchmark
// records, the input mode and a story that cannot be loaded.
#include "app/game_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/game_main.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "frontend/frontend.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "universe/universe.h"

namespace {

std::vector<std::string> gTrace;
std::deque<uint16_t> gKeys;
int32_t gInputAnswer = 0;
bool gInputEventEndsLoop = false;
bool gSaveFinished2Runs = true;
bool gSaveResult = true;
int32_t gReadSaveResult = 1;
uint32_t gQualitySeen = 0;
uint32_t gModeFlagsSetByHud = 0;
uint32_t gButtonsAfterPump = 0;

void Record(const std::string& call) { gTrace.push_back(call); }

std::string Joined(const char* name, int32_t count, const int32_t* args) {
  std::string text = name;
  text += "(";
  for (int32_t i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(args[i]);
  return text + ")";
}

void BindRecordingServices() {
  GameServices& s = gGameServices;
  s.dispatchTimerEvents = [] { Record("DispatchTimerEvents"); };
  s.pumpMessages = [] {
    Record("PumpMessages");
    if (gInputState) gInputState->allButtons = gButtonsAfterPump;
  };
  s.updateSounds = [] { Record("UpdateSounds"); };
  s.runScriptTasks = [] { Record("RunScriptTasks"); };
  s.updateMovies = [] { Record("UpdateMovies"); };
  s.stopAllMovies = [] { Record("StopAllMovies"); };
  s.clearGalaxyGrid = [](GalaxyGrid*) { Record("ClearGalaxyGrid"); };
  s.resetObjectEffects = [] { Record("ResetObjectEffects"); };
  s.initLoadingScreen = [] { Record("P_InitLoadingScreen"); };
  s.showNextLoadingScreen = [] { Record("P_ShowNextLoadingScreen"); };
  s.viewLoadingScreen = [](const char* name, uint32_t, int32_t flag) {
    Record(std::string("P_ViewLoadingScreen(") + name + "," + std::to_string(flag) + ")");
  };
  s.readSaveGame = [](int32_t slot) {
    Record("ReadSaveGame(" + std::to_string(slot) + ")");
    return gReadSaveResult;
  };
  s.writeSaveGame = [](int32_t slot, const char* a, const char* b, uint32_t word) {
    Record("WriteSaveGame(" + std::to_string(slot) + "," + a + "," + b + "," + std::to_string(word) + ")");
    return gSaveResult;
  };
  s.resetScriptSystems = [](int32_t arg) { Record("ResetScriptSystems(" + std::to_string(arg) + ")"); };
  s.loadScriptStore = [](ScriptEngine*, const char* name) {
    Record(std::string("LoadScriptStore(") + name + ")");
    return true;
  };
  s.runLocation = [](const char* name) { Record(std::string("RunLocation(") + name + ")"); };
  s.initGuiMaster = [](GuiMaster* block) {
    Record("InitGuiMaster");
    block->cockpits = HashCreate();
    return block;
  };
  s.clearEffectInstances = [] { Record("ClearEffectInstances"); };
  s.freeEffectDefinitions = [] { Record("FreeEffectDefinitions"); };
  s.unloadAllSamples = [] { Record("UnloadAllSamples"); };
  s.freeAllObjects = [](UniverseBlock*) { Record("FreeAllObjects"); };
  s.freeAllCockpits = [](GuiMaster* master) {
    Record("FreeAllCockpits");
    HashDestroy(master->cockpits);
    master->cockpits = nullptr;
  };
  s.updateCutScenes = [] { Record("UpdateCutScenes"); };
  s.stepUniverse = [] { Record("StepUniverse"); };
  s.containerFreeRemovedObjects = [](SpaceObject* o) {
    Record("ContainerFreeRemovedObjects(" + std::to_string(o->subtype) + ")");
  };
  s.nextKeyCode = []() -> uint16_t {
    Record("NextKeyCode");
    if (gKeys.empty()) return 0;
    uint16_t key = gKeys.front();
    gKeys.pop_front();
    return key;
  };
  s.raiseScriptEvent = [](int32_t module, int32_t, const char* name, int32_t count, const int32_t* args) {
    Record("Event " + Joined(name, count, args) + (module == 0 ? " to none" : ""));
    std::string event = name;
    if (event == "Input" && gInputEventEndsLoop) {
      gGameState->hasResult = 1;
      gGameState->eventResult.type = kValueInt;
      gGameState->eventResult.i = 1;
    }
    if (event == "SaveFinished2") return gSaveFinished2Runs;
    return true;
  };
  s.raiseInputEvent = [](int32_t code) {
    Record("RaiseInputEvent(" + std::to_string(code) + ")");
    return gInputAnswer;
  };
  s.translateInput = [](SpaceObject* ship, int32_t flag) {
    Record(std::string("TranslateInput(") + (ship ? "ship" : "0") + "," + std::to_string(flag) + ")");
    return 1;
  };
  s.stepObjectEffects = [] { Record("StepObjectEffects"); };
  s.updateHud = [] {
    Record("UpdateHud");
    gSystem->modeFlags |= gModeFlagsSetByHud;
  };
  s.updateEngine3DFrame = [] {
    Record("UpdateEngine3DFrame");
    gQualitySeen = gSystem->qualityLevel;
  };
  s.autoAdjustQuality = [] { Record("AutoAdjustQuality"); };
  s.updateScreen = [] { Record("UpdateScreen"); };
  s.takeScreenshot = [] { Record("TakeScreenshot"); };
}

const std::vector<std::string> kFrameServices = {"DispatchTimerEvents", "PumpMessages", "UpdateSounds",
                                                 "RunScriptTasks", "UpdateMovies"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kSimulation = {"UpdateCutScenes", "StepUniverse", "ContainerFreeRemovedObjects(7)"};
const std::vector<std::string> kFrameEnd = {"StepObjectEffects", "UpdateHud", "UpdateEngine3DFrame",
                                            "AutoAdjustQuality", "UpdateScreen"};
const std::vector<std::string> kTeardown = {"Event Stop() to none", "ClearEffectInstances", "FreeEffectDefinitions",
                                            "UnloadAllSamples",     "FreeAllObjects",       "FreeAllCockpits",
                                            "ResetScriptSystems(0)", "NextKeyCode"};

class GameLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gTrace.clear();
    gKeys.clear();
    gInputAnswer = 0;
    gInputEventEndsLoop = false;
    gSaveFinished2Runs = true;
    gSaveResult = true;
    gReadSaveResult = 1;
    gModeFlagsSetByHud = 0;
    gButtonsAfterPump = 0;
    BindRecordingServices();
    ResetFrameInputState();
    gLoopExit = 0;
    gScreenshotRequest = 0;
    gFrameLimit = 0;
    gFrameLimitReached = 0;
    for (BenchmarkRecord& record : gBenchmarkRecords) record = BenchmarkRecord{};

    system_ = SystemBlock{};
    system_.qualityLevel = 50;
    system_.frameCounter = 10;  // not the process's first frame unless a test says so
    gSystem = &system_;
    gGameState = InitGameStateBlock(static_cast<GameStateBlock*>(MemCalloc(sizeof(GameStateBlock))));
    gGameState->moduleIndex = 5;
    sector_ = SpaceObject{};
    sector_.objClass = kClassSector;
    sector_.subtype = 7;
    ship_ = SpaceObject{};
    ship_.objClass = kClassShip;
    ship_.subtype = 8;
    universe_ = UniverseBlock{};
    ListInit(&universe_.objects);
    ObjectListAddTail(&universe_.objects, &ship_);
    ObjectListAddTail(&universe_.objects, &sector_);
    gUniverse = &universe_;
    gGalaxyGrid = &grid_;
    engine3D_ = EngineState3D{};
    engine3D_.engineFlags = 0xFF;
    gEngine3D = &engine3D_;
    display_ = DisplayObject{0, &device_, nullptr};
    gDisplay = &display_;
    input_ = InputState{};
    gInputState = &input_;
    gScriptEngine = reinterpret_cast<ScriptEngine*>(&placeholder_);
  }

  void TearDown() override {
    ResetGameServices();
    if (gGuiMaster) {
      HashDestroy(gGuiMaster->cockpits);
      MemFree(gGuiMaster, sizeof(GuiMaster), 0);
      gGuiMaster = nullptr;
    }
    FreeModuleStringTables(gGameState);
    MemFree(gGameState, sizeof(GameStateBlock), 0);
    gGameState = nullptr;
    gUniverse = nullptr;
    gGalaxyGrid = nullptr;
    gEngine3D = nullptr;
    gDisplay = nullptr;
    gInputState = nullptr;
    gScriptEngine = nullptr;
    gSystem = nullptr;
    gFrameLimit = 0;
    gFrameLimitReached = 0;
  }

  void StartMode(int32_t mode, int32_t subMode, int32_t parameter, const char* start) {
    gGameState->startMode = mode;
    gGameState->subMode = subMode;
    gGameState->parameter = parameter;
    SetStartLocation(start);
  }

  // Runs a game of exactly `frames` frames.
  void RunFrames(uint32_t frames) {
    gFrameLimit = system_.frameCounter + frames;
    RunGameLoop();
  }

  // The trace from the first frame on.
  std::vector<std::string> TraceAfter(size_t preparedCalls) const {
    return std::vector<std::string>(gTrace.begin() + static_cast<long>(preparedCalls), gTrace.end());
  }

  SystemBlock system_{};
  SpaceObject sector_{}, ship_{};
  UniverseBlock universe_{};
  GalaxyGrid grid_{};
  EngineState3D engine3D_{};
  DisplayDevice device_{800, 600, 32};
  DisplayObject display_{};
  InputState input_{};
  uint64_t placeholder_ = 0;
};

TEST_F(GameLoopTest, OneFrameOfAStoryRunsInTheFixedOrder) {
  StartMode(2, 150, -1, "vexastory");
  RunFrames(1);
  const std::vector<std::string> prepare =
      std::vector<std::string>{"StopAllMovies",          "ClearGalaxyGrid",       "P_InitLoadingScreen",
                               "P_ShowNextLoadingScreen", "ResetScriptSystems(0)", "LoadScriptStore(vexastory)",
                               "RunLocation(vexastory)",  "ResetObjectEffects",    "Event Init(-1)",
                               "InitGuiMaster",           "Event Run(-1)"} +
      kFrameServices + kFrameServices;
  const std::vector<std::string> frame = kFrameServices + kSimulation +
                                         std::vector<std::string>{"NextKeyCode", "RaiseInputEvent(0)",
                                                                  "TranslateInput(0,1)"} +
                                         kFrameEnd;
  EXPECT_EQ(gTrace, prepare + frame + kTeardown);
  EXPECT_EQ(universe_.runState[0], 1u);
  EXPECT_EQ(universe_.runState[1], 1u);
  EXPECT_EQ(system_.timeScale, 0x10000u);
  EXPECT_EQ(system_.frameCounter, 11u);
}

TEST_F(GameLoopTest, AStartingGameClearsThePlayerAndTheNineWordsAfterIt) {
  SpaceObject player{};
  universe_.player = &player;
  universe_.savedWordC = 5;
  universe_.savedWordD = 1;
  universe_.statWord = 2;
  universe_.missileCount = 3;
  for (uint32_t& word : universe_.statWords) word = 4;
  universe_.moduleNo = 6;
  StartMode(2, 150, -1, "vexastory");
  RunFrames(1);
  EXPECT_EQ(universe_.player, nullptr);
  EXPECT_EQ(universe_.savedWordD, 0u);
  EXPECT_EQ(universe_.statWord, 0u);
  EXPECT_EQ(universe_.missileCount, 0u);
  for (uint32_t word : universe_.statWords) EXPECT_EQ(word, 0u);
  // The words before the player and the module number are the universe's own.
  EXPECT_EQ(universe_.savedWordC, 5u);
  EXPECT_EQ(universe_.moduleNo, 6u);
}

TEST_F(GameLoopTest, TheSectorPassWalksTheWholeListAndNothingOfAnEmptyOne) {
  SpaceObject second{};
  second.objClass = kClassSector;
  second.subtype = 9;
  ObjectListAddTail(&universe_.objects, &second);
  StartMode(2, 150, -1, "vexastory");
  RunFrames(1);
  const std::vector<std::string> calls = {"ContainerFreeRemovedObjects(7)", "ContainerFreeRemovedObjects(9)"};
  std::vector<std::string> seen;
  for (const std::string& call : gTrace) {
    if (call.rfind("ContainerFreeRemovedObjects", 0) == 0) seen.push_back(call);
  }
  EXPECT_EQ(seen, calls);

  // A block allocated zeroed and never set up holds no objects.
  gTrace.clear();
  universe_ = UniverseBlock{};
  gUniverse = &universe_;
  RunFrames(1);
  EXPECT_NE(std::find(gTrace.begin(), gTrace.end(), "StepUniverse"), gTrace.end());
  for (const std::string& call : gTrace) EXPECT_NE(call.rfind("ContainerFreeRemovedObjects", 0), 0u) << call;
}

TEST_F(GameLoopTest, EveryStoryStartModeRunsTheSameFrameOnItsOwnStartName) {
  struct Case {
    int32_t mode;
    const char* start;
  };
  const Case kCases[] = {{2, "vexastory"}, {3, "vexagaledit"}, {4, "vexatutorial"}, {5, "vexademo"},
                         {6, "vexapdemo"}};
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(c.mode, 150, 4, c.start);
    RunFrames(1);
    const std::string name = c.start;
    const std::vector<std::string> prepare =
        std::vector<std::string>{"StopAllMovies",         "ClearGalaxyGrid",      "P_InitLoadingScreen",
                                 "P_ShowNextLoadingScreen", "ResetScriptSystems(0)", "LoadScriptStore(" + name + ")",
                                 "RunLocation(" + name + ")", "ResetObjectEffects", "Event Init(4)",
                                 "InitGuiMaster",         "Event Run(4)"} +
        kFrameServices + kFrameServices;
    const std::vector<std::string> frame = kFrameServices + kSimulation +
                                           std::vector<std::string>{"NextKeyCode", "RaiseInputEvent(0)",
                                                                    "TranslateInput(0,1)"} +
                                           kFrameEnd;
    EXPECT_EQ(gTrace, prepare + frame + kTeardown) << "mode " << c.mode;
  }
}

TEST_F(GameLoopTest, OneFrameOfStartModeOneRaisesTheInputEventsInsteadOfTheInputStep) {
  StartMode(1, 102, 8300, "vexaintro");
  input_.mouseDeltaX = 3;
  input_.mouseDeltaY = -2;
  gKeys = {65};
  RunFrames(1);
  const std::vector<std::string> prepare =
      std::vector<std::string>{"StopAllMovies",          "ClearGalaxyGrid",        "ResetScriptSystems(0)",
                               "LoadScriptStore(vexaintro)", "RunLocation(vexaintro)", "ResetObjectEffects",
                               "Event Init(8300)",       "InitGuiMaster",          "Event Run(8300)"} +
      kFrameServices + kFrameServices;
  const std::vector<std::string> frame =
      kFrameServices + kSimulation +
      std::vector<std::string>{"NextKeyCode", "Event InputMouseDelta(3,-2)", "Event Input(65)"} + kFrameEnd;
  EXPECT_EQ(gTrace, prepare + frame + kTeardown);
  EXPECT_EQ(engine3D_.engineFlags, 0xFFu & ~kEngineEnvRefreshed);
}

TEST_F(GameLoopTest, TheLogoSubModeShowsTheLogoImage) {
  StartMode(1, 101, 950, "vexaintro");
  RunFrames(1);
  ASSERT_GE(gTrace.size(), 3u);
  EXPECT_EQ(gTrace[2], "P_ViewLoadingScreen(L\\true\\ulnaruniverse logo_HD,1)");
}

TEST_F(GameLoopTest, StartModeSevenReadsTheSaveSlotOfItsParameter) {
  StartMode(7, 102, 1203, nullptr);
  RunFrames(1);
  const std::vector<std::string> prepare = {"StopAllMovies",       "ClearGalaxyGrid",         "ResetObjectEffects",
                                            "P_InitLoadingScreen", "P_ShowNextLoadingScreen", "ReadSaveGame(3)",
                                            "Event Restart(1203)"};
  const std::vector<std::string> frame = kFrameServices + kSimulation +
                                         std::vector<std::string>{"NextKeyCode", "RaiseInputEvent(0)",
                                                                  "TranslateInput(0,1)"} +
                                         kFrameEnd;
  std::vector<std::string> teardown = kTeardown;
  teardown.erase(teardown.begin() + 5);  // no GUI master was built
  EXPECT_EQ(gTrace, prepare + frame + teardown);
}

TEST_F(GameLoopTest, ASaveThatCannotBeReadEndsOnlyThisGame) {
  StartMode(7, 102, -205, nullptr);
  gReadSaveResult = 0;
  RunFrames(1);
  std::vector<std::string> teardown = kTeardown;
  teardown.erase(teardown.begin() + 5);
  // The remainder keeps the parameter's sign.
  EXPECT_EQ(gTrace, std::vector<std::string>({"StopAllMovies", "ClearGalaxyGrid", "ResetObjectEffects",
                                              "P_InitLoadingScreen", "P_ShowNextLoadingScreen", "ReadSaveGame(-5)"}) +
                        teardown);
  EXPECT_EQ(system_.frameCounter, 10u);
}

TEST_F(GameLoopTest, ATrueAnswerToInputEndsTheFrameAtOnce) {
  StartMode(1, 102, 8300, "vexaintro");
  gInputEventEndsLoop = true;
  RunGameLoop();
  const size_t prepared = 9 + 10;
  EXPECT_EQ(TraceAfter(prepared), (kFrameServices + kSimulation +
                                   std::vector<std::string>{"NextKeyCode", "Event Input(0)"} + kTeardown));
}

TEST_F(GameLoopTest, WheelStepsBecomeKeysAFullStepAtATime) {
  struct Case {
    int16_t wheel;
    std::vector<std::string> inputs;
    int16_t left;
  };
  const Case kCases[] = {
      {250, {"Event Input(294)", "Event Input(294)"}, 10},
      {-130, {"Event Input(295)", "Event Input(0)"}, -10},
      {119, {"Event Input(0)", "Event Input(0)"}, 119},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(1, 102, 0, "vexaintro");
    input_.wheel = c.wheel;
    RunFrames(2);
    std::vector<std::string> inputs;
    for (const std::string& call : gTrace) {
      if (call.rfind("Event Input(", 0) == 0) inputs.push_back(call);
    }
    EXPECT_EQ(inputs, c.inputs) << "wheel " << c.wheel;
    EXPECT_EQ(input_.wheel, c.left) << "wheel " << c.wheel;
  }
}

TEST_F(GameLoopTest, ButtonsBecomeKeysOutsideTheViewersAndMouseInputInsideThem) {
  StartMode(1, 102, 0, "vexaintro");
  input_.rightPressed = 1;
  gKeys = {65};
  RunFrames(1);
  EXPECT_NE(std::find(gTrace.begin(), gTrace.end(), "Event Input(281)"), gTrace.end());

  TearDown();
  SetUp();
  StartMode(1, 104, 9, "vexaintro");
  input_.leftPressed = 1;
  input_.mouseDeltaY = 4;
  input_.wheel = 200;
  gKeys = {65};
  RunFrames(1);
  std::vector<std::string> events;
  for (const std::string& call : gTrace) {
    if (call.rfind("Event Input", 0) == 0 || call.rfind("Event MouseInput", 0) == 0) events.push_back(call);
  }
  // A viewer keeps the key as it came and leaves the wheel alone.
  EXPECT_EQ(events, std::vector<std::string>({"Event InputMouseDelta(0,4)", "Event Input(65)",
                                              "Event MouseInput(280,1,1)", "Event MouseInput(281,0,0)",
                                              "Event MouseInput(286,4,0)"}));
  EXPECT_EQ(input_.wheel, 200);
}

TEST_F(GameLoopTest, PausedStartModeOneStopsTheSimulationButNotTheServices) {
  StartMode(1, 102, 0, "vexaintro");
  gGameState->pauseFlags = kPausePaused;
  RunFrames(1);
  EXPECT_EQ(TraceAfter(19), (kFrameServices + std::vector<std::string>{"NextKeyCode", "Event Input(0)"} +
                             kFrameEnd + kTeardown));
}

TEST_F(GameLoopTest, APauseWaitsForANewKeyAndTheHeldKeyIsDroppedAfterwards) {
  gGameState->startMode = 2;
  gGameState->pauseFlags = kPausePaused;
  gKeys = {0, 0, 66};
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(gTrace, std::vector<std::string>({"NextKeyCode", "PumpMessages", "NextKeyCode", "PumpMessages",
                                              "NextKeyCode"}));
  EXPECT_EQ(gGameState->pauseFlags, kPauseJustResumed);

  // The key still held (even with other high bits) does not reach the scripts a second time.
  gTrace.clear();
  gKeys = {static_cast<uint16_t>(0x1000 | 66), 0, 67};
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(gGameState->pauseFlags, kPauseJustResumed);
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(gGameState->pauseFlags, 0u);
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(gTrace, std::vector<std::string>({"NextKeyCode", "RaiseInputEvent(0)", "TranslateInput(0,1)",
                                              "NextKeyCode", "RaiseInputEvent(0)", "TranslateInput(0,1)",
                                              "NextKeyCode", "RaiseInputEvent(67)", "TranslateInput(0,1)"}));
}

TEST_F(GameLoopTest, ANewMouseButtonEndsAPause) {
  gGameState->pauseFlags = kPausePaused;
  input_.allButtons = 0x1;  // held since before the pause
  gButtonsAfterPump = 0x3;
  EXPECT_EQ(ProcessFrameInput(), 1);
  EXPECT_EQ(gTrace, std::vector<std::string>({"NextKeyCode", "PumpMessages", "NextKeyCode"}));
  EXPECT_EQ(gGameState->pauseFlags, kPauseJustResumed);
}

TEST_F(GameLoopTest, FrameInputAnswersChooseTheTranslation) {
  struct Case {
    int32_t answer;
    uint32_t pending;
    uint16_t key;
    int32_t result;
    std::vector<std::string> calls;
  };
  const Case kCases[] = {
      {0, 0, 65, 1, {"NextKeyCode", "RaiseInputEvent(65)", "TranslateInput(0,1)"}},
      {2, 0, 65, 1, {"NextKeyCode", "RaiseInputEvent(65)", "TranslateInput(0,0)"}},
      {-1, 0, 65, 0, {"NextKeyCode", "RaiseInputEvent(65)"}},
      // The translation already handled an input: the last answer stands for this key-less frame.
      {7, 1, 0, 1, {"NextKeyCode", "TranslateInput(0,0)"}},
      {7, 1, 65, 1, {"NextKeyCode", "RaiseInputEvent(65)", "TranslateInput(0,1)"}},
  };
  for (const Case& c : kCases) {
    ResetFrameInputState();
    gInputAnswer = 2;  // the last answer before this case
    input_.pendingInput = 0;
    gKeys = {1};
    ProcessFrameInput();
    gTrace.clear();
    gInputAnswer = c.answer;
    input_.pendingInput = c.pending;
    gKeys = {c.key};
    EXPECT_EQ(ProcessFrameInput(), c.result) << "answer " << c.answer;
    EXPECT_EQ(gTrace, c.calls) << "answer " << c.answer;
  }
}

TEST_F(GameLoopTest, TheInputStepPassesModeZeroWhateverCockpitTakesControl) {
  GuiMaster master{};
  master.cockpits = HashCreate();
  CockpitRecord cockpit{};
  master.activeControlCockpit = HashInsertNewKey(master.cockpits, reinterpret_cast<HashValue>(&cockpit));
  gGuiMaster = &master;
  for (uint32_t flags : {0u, 0x10u, 0xFFFFFFFFu}) {
    gTrace.clear();
    cockpit.flags = flags;
    ProcessFrameInput();
    EXPECT_EQ(gTrace.back(), "TranslateInput(0,1)") << flags;
  }
  HashDestroy(master.cockpits);
  gGuiMaster = nullptr;
}

TEST_F(GameLoopTest, ASaveRequestRaisesItsEventsAroundTheWriter) {
  struct Case {
    bool saveFinished2Runs;
    bool saved;
    std::vector<std::string> calls;
  };
  const Case kCases[] = {
      {true, true, {"Event BeforeSave()", "WriteSaveGame(4,first,second,9)", "Event SaveFinished2(1)"}},
      {false, false,
       {"Event BeforeSave()", "WriteSaveGame(4,first,second,9)", "Event SaveFinished2(0)", "Event SaveFinished(0)"}},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(2, 150, -1, "vexastory");
    gSaveFinished2Runs = c.saveFinished2Runs;
    gSaveResult = c.saved;
    gGameState->pauseFlags = kPauseSaveRequested;
    gGameState->saveSlot = 4;
    gGameState->saveName = DuplicateString("first");
    gGameState->saveSecondName = DuplicateString("second");
    gGameState->saveWord = 9;
    RunFrames(1);
    std::vector<std::string> calls;
    for (const std::string& call : gTrace) {
      if (call.find("Save") != std::string::npos) calls.push_back(call);
    }
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(gGameState->pauseFlags & kPauseSaveRequested, 0u);
    EXPECT_EQ(gGameState->saveName, nullptr);
    EXPECT_EQ(gGameState->saveSecondName, nullptr);
  }
}

TEST_F(GameLoopTest, AScreenshotFrameDrawsAtFullQualityAndShootsByTheDisplayFlag) {
  struct Case {
    uint32_t displayFlags;
    std::vector<std::string> present;
  };
  const Case kCases[] = {
      {0, {"UpdateScreen", "TakeScreenshot"}},
      {kDisplayScreenshotBeforePresent, {"TakeScreenshot", "UpdateScreen"}},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(2, 150, -1, "vexastory");
    display_.flags = c.displayFlags;
    gScreenshotRequest = 1;
    RunFrames(1);
    std::vector<std::string> present;
    for (const std::string& call : gTrace) {
      if (call == "UpdateScreen" || call == "TakeScreenshot") present.push_back(call);
    }
    EXPECT_EQ(present, c.present);
    EXPECT_EQ(gQualitySeen, kScreenshotQuality);
    EXPECT_EQ(system_.qualityLevel, 50u);
    EXPECT_EQ(gScreenshotRequest, 0u);
  }
}

TEST_F(GameLoopTest, AFrameWithASaveAndAScreenshotKeepsTheFrameOrder) {
  // The save comes once the frame is over, after the drawing steps, where a game read back from it
  // begins; the screenshot frame is drawn and then both shot and presented, the display deciding
  // which of the two comes first.
  struct Case {
    uint32_t displayFlags;
    std::vector<std::string> present;
  };
  const Case kCases[] = {
      {0, {"UpdateScreen", "TakeScreenshot"}},
      {kDisplayScreenshotBeforePresent, {"TakeScreenshot", "UpdateScreen"}},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(2, 150, -1, "vexastory");
    display_.flags = c.displayFlags;
    gScreenshotRequest = 1;
    gGameState->pauseFlags = kPauseSaveRequested;
    gGameState->saveSlot = 4;
    gGameState->saveName = DuplicateString("first");
    gGameState->saveSecondName = DuplicateString("second");
    gGameState->saveWord = 9;
    RunFrames(1);
    const std::vector<std::string> frame =
        kFrameServices + kSimulation +
        std::vector<std::string>{"NextKeyCode",         "RaiseInputEvent(0)", "TranslateInput(0,1)",
                                 "StepObjectEffects",   "UpdateHud",          "UpdateEngine3DFrame",
                                 "AutoAdjustQuality"} +
        c.present +
        std::vector<std::string>{"Event BeforeSave()", "WriteSaveGame(4,first,second,9)", "Event SaveFinished2(1)"};
    EXPECT_EQ(TraceAfter(11 + 10), frame + kTeardown) << "display flags " << c.displayFlags;
  }
}

TEST_F(GameLoopTest, AStoryThatCannotBeLoadedEndsWithItsNameAsTheDetail) {
  StartMode(2, 150, -1, "vexastory");
  gGameServices.loadScriptStore = [](ScriptEngine*, const char*) { return false; };
  gUniverse = nullptr;
  gGalaxyGrid = nullptr;
  gEngine3D = nullptr;
  gDisplay = nullptr;
  gInputState = nullptr;
  // The shutdown frees the engine record it finds: a heap record with no tables behind it.
  gGameServices.freeEngineTables = [](ScriptEngine*) {};
  gGameServices.freeSystemBlock = [](uint32_t) {};
  EXPECT_EXIT(gScriptEngine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine))); RunGameLoop(),
              ::testing::ExitedWithCode(1), "File not found.\n\\(vexastory\\)");
  gScriptEngine = nullptr;
}

TEST_F(GameLoopTest, BenchmarkRecordsFollowTheFrameRate) {
  struct Case {
    BenchmarkRecord before;
    uint32_t rate;
    uint32_t filesOpened;
    int32_t scene;
    BenchmarkRecord after;
  };
  const Case kCases[] = {
      {{0, 0, 0}, 40, 0, 1, {0, 40, 40}},
      {{0, 0, 0}, 1, 0, 1, {0, 0, 1}},          // a rate of 1 never sets an empty minimum
      {{0, 30, 50}, 20, 0, 1, {0, 20, 50}},
      {{0, 30, 50}, 60, 0, 1, {0, 30, 60}},
      {{0, 30, 50}, 10, kModeOpeningFiles, 1, {0, 30, 50}},  // a frame that loaded files keeps the minimum
      {{0, 30, 50}, 70, kModeOpeningFiles, 1, {0, 30, 70}},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(2, 150, -1, "vexastory");
    gBenchmarkRecords[c.scene] = c.before;
    gGameState->benchmarkActive = 1;
    gGameState->benchmarkScene = c.scene;
    system_.averageFrameRate = c.rate;
    gModeFlagsSetByHud = c.filesOpened;
    RunFrames(1);
    EXPECT_EQ(gBenchmarkRecords[c.scene].minimum, c.after.minimum) << "rate " << c.rate;
    EXPECT_EQ(gBenchmarkRecords[c.scene].maximum, c.after.maximum) << "rate " << c.rate;
    EXPECT_EQ(gGameState->benchmarkFrames, 1u);
  }
  TearDown();
  SetUp();
  // A scene number without a record counts frames and measures nothing.
  StartMode(2, 150, -1, "vexastory");
  gGameState->benchmarkActive = 1;
  gGameState->benchmarkScene = 100;
  system_.averageFrameRate = 50;
  RunFrames(1);
  EXPECT_EQ(gGameState->benchmarkFrames, 1u);
}

// The frame limit counts every frame, whatever ends it: a game whose input ends each loop at
// its first frame still reaches the limit, so a story that restarts itself cannot run for ever.
TEST_F(GameLoopTest, TheFrameLimitCountsFramesThatInputEnded) {
  struct Case {
    const char* what;
    int32_t mode;
    bool inputEventEnds;  // start mode 1: a true answer to "Input"
    int32_t answer;       // other modes: -1 ends the loop
  };
  const Case kCases[] = {
      {"mode 1, Input answers true", 1, true, 0},
      {"mode 2, Input answers -1", 2, false, -1},
      {"mode 2, a full frame", 2, false, 0},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    StartMode(c.mode, 150, 0, "vexastory");
    gInputEventEndsLoop = c.inputEventEnds;
    gInputAnswer = c.answer;
    gFrameLimit = system_.frameCounter + 1;
    RunGameLoop();
    EXPECT_EQ(gFrameLimitReached, 1u) << c.what;
    EXPECT_EQ(system_.frameCounter, gFrameLimit) << c.what;
  }
}

TEST_F(GameLoopTest, TheProcessesFirstFrameResetsTheBenchmarkScene) {
  StartMode(2, 150, -1, "vexastory");
  system_.frameCounter = 0;
  gGameState->benchmarkScene = 3;
  RunFrames(1);
  EXPECT_EQ(gGameState->benchmarkScene, 0);
}

TEST_F(GameLoopTest, AStartNameGivenAsTheLastWordEndsWithFileNotFound) {
  // "-story" as the last word stores none; the game must fail as for a story it cannot load.
  StartMode(2, 150, -1, nullptr);
  // The shutdown stops only what this test made through the memory manager.
  gUniverse = nullptr;
  gGalaxyGrid = nullptr;
  gEngine3D = nullptr;
  gDisplay = nullptr;
  gInputState = nullptr;
  gScriptEngine = nullptr;
  gGameServices.freeSystemBlock = [](uint32_t) {};
  EXPECT_EXIT(RunGameLoop(), ::testing::ExitedWithCode(1), "File not found");
}

}  // namespace
