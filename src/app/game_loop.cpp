// The game loop: preparing a game, the fixed order of one frame, the teardown, the idle frame
// and the frame input step with its pause wait. Every outside service is reached through the
// service table, so the order of a frame can be recorded. Called by the start-mode loop of the
// game main; never ends the process except for a story that cannot be loaded.
#include "app/game_loop.h"

#include <algorithm>
#include <cstdio>

#include "app/game_main.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/shutdown.h"
#include "core/clock.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "frontend/frontend.h"
#include "render/render.h"
#include "scene/scene.h"
#include "simulation/universe_guard.h"
#include "script/engine.h"
#include "script/value.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

uint32_t gLoopExit = 0;
uint32_t gScreenshotRequest = 0;
BenchmarkRecord gBenchmarkRecords[kBenchmarkRecordCount] = {};
uint32_t gFrameLimit = 0;
uint32_t gFrameLimitReached = 0;

namespace {

constexpr const char* kLogoImage = "true\\ulnaruniverse logo_HD";
constexpr uint32_t kKeyLow12Bits = 0xFFF;

uint16_t gPreviousKey = 0;
int32_t gLastInputAnswer = 0;

// An engine-raised event on the current sub-mode's object; its answer lands in the result slot.
bool RaiseEvent(const char* name, int32_t count, int32_t a = 0, int32_t b = 0, int32_t c = 0) {
  const int32_t args[3] = {a, b, c};
  gGameState->hasResult = 0;
  return gGameServices.raiseScriptEvent(static_cast<int32_t>(gGameState->moduleIndex), gGameState->subMode, name,
                                        count, args);
}

bool IsViewerSubMode(int32_t subMode) { return subMode >= 103 && subMode <= 105; }

void FrameServices() {
  gGameServices.dispatchTimerEvents();
  gGameServices.pumpMessages();
  gGameServices.updateSounds();
  gGameServices.runScriptTasks();
  gGameServices.updateMovies();
}

// Start mode 1: the input events stand in for the frame input step. False ends the frame.
bool RaiseModeOneInput() {
  if (gEngine3D) gEngine3D->engineFlags &= ~kEngineEnvRefreshed;
  int32_t key = gGameServices.nextKeyCode();
  InputState* input = gInputState;
  const bool viewer = IsViewerSubMode(gGameState->subMode);
  if (!viewer && input) {
    if (input->leftPressed) key = kKeyMouseButton1;
    else if (input->rightPressed) key = kKeyMouseButton2;
    if (input->wheel >= kWheelStep) {
      input->wheel = static_cast<int16_t>(input->wheel - kWheelStep);
      key = kKeyWheelUp;
    } else if (input->wheel <= -kWheelStep) {
      input->wheel = static_cast<int16_t>(input->wheel + kWheelStep);
      key = kKeyWheelDown;
    }
  }
  if (input && (input->mouseDeltaX != 0 || input->mouseDeltaY != 0)) {
    RaiseEvent("InputMouseDelta", 2, input->mouseDeltaX, input->mouseDeltaY);
  }
  RaiseEvent("Input", 1, key);
  // Only an answer given to this event counts; the slot may still hold an older one.
  if (gGameState->hasResult && ValueIsTrue(&gGameState->eventResult)) {
    gLoopExit = 1;
    return false;
  }
  if (viewer && input) {
    int32_t first = input->leftPressed ? 1 : 0;
    int32_t second = input->rightPressed ? 1 : 0;
    RaiseEvent("MouseInput", 3, kKeyMouseButton1, first, first);
    RaiseEvent("MouseInput", 3, kKeyMouseButton2, second, 0);
    if (input->mouseDeltaX != 0) RaiseEvent("MouseInput", 3, kKeyMouseMotionX, input->mouseDeltaX, 0);
    if (input->mouseDeltaY != 0) RaiseEvent("MouseInput", 3, kKeyMouseMotionY, input->mouseDeltaY, 0);
  }
  return true;
}

void HandleSaveRequest() {
  GameStateBlock* state = gGameState;
  RaiseEvent("BeforeSave", 0);
  state->pauseFlags &= ~kPauseSaveRequested;
  bool saved = gGameServices.writeSaveGame(static_cast<int32_t>(state->saveSlot), state->saveName,
                                           state->saveSecondName, state->saveWord);
  state->saveName = FreeString(state->saveName);
  state->saveSecondName = FreeString(state->saveSecondName);
  int32_t result = saved ? 1 : 0;
  if (!RaiseEvent("SaveFinished2", 1, result)) RaiseEvent("SaveFinished", 1, result);
}

void UpdateBenchmarkRecord() {
  GameStateBlock* state = gGameState;
  if (!state->benchmarkActive) return;
  state->benchmarkFrames++;
  // The scene number comes from a script; a number without a record measures nothing.
  if (state->benchmarkScene < 0 || state->benchmarkScene >= kBenchmarkRecordCount) return;
  BenchmarkRecord& record = gBenchmarkRecords[state->benchmarkScene];
  const float rate = static_cast<float>(gSystem->averageFrameRate);
  if (!(gSystem->modeFlags & kModeOpeningFiles)) {
    if (record.minimum == 0.0f && rate > 1.0f) record.minimum = rate;
    else record.minimum = std::min(record.minimum, rate);
  }
  record.maximum = std::max(record.maximum, rate);
}

void RunFrame() {
  GameStateBlock* state = gGameState;
  gSystem->modeFlags &= ~kModeOpeningFiles;
  gSystem->frameCounter++;

  const bool paused = (state->pauseFlags & kPausePaused) != 0;
  if (paused) UpdateFrameClock();

  FrameServices();

  if (!paused) {
    gGameServices.updateCutScenes();
    gGameServices.stepUniverse();
    if (gUniverse) {
      UniverseGuardScope guard;
      for (SpaceObject* object = ObjectListFirst(&gUniverse->objects); object; object = ObjectListNext(object)) {
        if (object->objClass == kClassSector) gGameServices.containerFreeRemovedObjects(object);
      }
    }
  }

  if (state->startMode == 1) {
    if (!RaiseModeOneInput()) return;
  } else if (ProcessFrameInput() == 0) {
    gLoopExit = 1;
    return;
  }

  const bool screenshot = gScreenshotRequest != 0;
  const uint32_t quality = gSystem->qualityLevel;
  if (screenshot) gSystem->qualityLevel = kScreenshotQuality;
  {
    UniverseGuardScope guard;
    gGameServices.stepObjectEffects();
  }
  gGameServices.updateHud();
  gGameServices.updateEngine3DFrame();
  if (screenshot) gSystem->qualityLevel = quality;
  gGameServices.autoAdjustQuality();

  if (screenshot) {
    if (gDisplay && (gDisplay->flags & kDisplayScreenshotBeforePresent)) {
      gGameServices.takeScreenshot();
      gGameServices.updateScreen();
    } else {
      gGameServices.updateScreen();
      gGameServices.takeScreenshot();
    }
    gScreenshotRequest = 0;
  } else {
    gGameServices.updateScreen();
  }

  UpdateBenchmarkRecord();
  if (gSystem->frameCounter == 1) state->benchmarkScene = 0;
  // A requested save is written once the frame is over: a game read back from it starts with the
  // next frame, so everything the frame still does (the effects' draw of the generator, the
  // engine's frame) must already be in the save, or the two games go on apart.
  if (state->pauseFlags & kPauseSaveRequested) HandleSaveRequest();
}

// The frame limit counts every frame of the process, also one that an input answer ended early.
void CheckFrameLimit() {
  if (gFrameLimit != 0 && gSystem->frameCounter >= gFrameLimit) {
    gFrameLimitReached = 1;
    gLoopExit = 1;
  }
}

// A story that cannot be loaded ends the process: nothing of the game could run.
[[noreturn]] void StoryNotFound(const char* startString) {
  // The store loader reports a failed load itself; a missing name never reaches it.
  if (!startString || !gScriptEngine) std::fputs("File not found.\n", stdout);
  if (startString) SetFailureDetail(startString);
  ShutdownAndExit(1);
}

void PrepareGame() {
  GameStateBlock* state = gGameState;
  if (gUniverse) gUniverse->statWords[5] = 0;
  if (state->subMode == kSubModeLogo) {
    char name[256];
    std::snprintf(name, sizeof name, kProductRecord.languageTemplate, kLogoImage);
    gGameServices.viewLoadingScreen(name, gSystem->realTime, 1);
  } else if (state->startMode != 1) {
    gGameServices.initLoadingScreen();
    gGameServices.showNextLoadingScreen();
  }
  gGameServices.resetScriptSystems(0);
  if (!state->startString || !gScriptEngine || !gGameServices.loadScriptStore(gScriptEngine, state->startString)) {
    StoryNotFound(state->startString);
  }
  gGameServices.runLocation(state->startString);
  gGameServices.resetObjectEffects();
  RaiseEvent("Init", 1, state->parameter);

  if (gUniverse) {
    gUniverse->runState[0] = 1;
    gUniverse->runState[1] = 1;
    gUniverse->player = nullptr;
    // The eight words after the player; the ninth was cleared before the story loaded.
    gUniverse->savedWordD = 0;
    gUniverse->statWord = 0;
    gUniverse->missileCount = 0;
    std::fill(gUniverse->statWords, gUniverse->statWords + 5, 0u);
  }

  GuiMaster* master = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
  if (master && !gGameServices.initGuiMaster(master)) {
    MemFreeIfSet(master);
    master = nullptr;
  }
  gGuiMaster = master;
  RaiseEvent("Run", 1, state->parameter);
  RunIdleFrame();
  RunIdleFrame();
}

void Teardown() {
  gGameServices.raiseScriptEvent(0, gGameState->subMode, "Stop", 0, nullptr);
  gGameServices.clearEffectInstances();
  gGameServices.freeEffectDefinitions();
  gGameServices.unloadAllSamples();
  if (gUniverse) gGameServices.freeAllObjects(gUniverse);
  if (gGuiMaster) {
    gGameServices.freeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
  }
  gGameServices.resetScriptSystems(0);
  gSystem->timeScale = 0x10000;
  gGameServices.nextKeyCode();
}

}  // namespace

void RunIdleFrame() { FrameServices(); }

void ResetFrameInputState() {
  gPreviousKey = 0;
  gLastInputAnswer = 0;
}

int32_t ProcessFrameInput() {
  GameStateBlock* state = gGameState;
  uint16_t key = gGameServices.nextKeyCode();
  const uint16_t previous = gPreviousKey;
  gPreviousKey = key;

  if (state->pauseFlags & kPausePaused) {
    uint32_t buttons = gInputState ? gInputState->allButtons : 0;
    for (;;) {
      if (key != 0 && (key & kKeyLow12Bits) != (previous & kKeyLow12Bits)) break;
      uint32_t now = gInputState ? gInputState->allButtons : 0;
      if (now & ~buttons) break;
      buttons = now;
      gGameServices.pumpMessages();
      key = gGameServices.nextKeyCode();
    }
    // The key that ended the pause is the one a held key is compared with next.
    gPreviousKey = key;
    state->pauseFlags = (state->pauseFlags & ~kPausePaused) | kPauseJustResumed;
    UpdateFrameClock();
    return 1;
  }

  if (state->pauseFlags & kPauseJustResumed) {
    if (key != 0 && (key & kKeyLow12Bits) == (previous & kKeyLow12Bits)) key = 0;
    else state->pauseFlags &= ~kPauseJustResumed;
  }

  int32_t answer;
  const bool pending = gInputState && gInputState->pendingInput;
  if (pending && key == 0) {
    answer = gLastInputAnswer;
  } else {
    answer = gGameServices.raiseInputEvent(key);
    gLastInputAnswer = answer;
    if (answer == -1) return 0;
  }
  if (gInputState) gInputState->pendingInput = 0;

  // The translation steers the player's ship; an answer of 2 asks that nothing steer this frame.
  SpaceObject* player = GetPlayerObject();
  SpaceObject* ship = player && player->objClass == kClassShip ? player : nullptr;
  gGameServices.translateInput(ship, answer == 2 ? 0 : 1);
  return 1;
}

void RunGameLoop() {
  GameStateBlock* state = gGameState;
  gSystem->qualityReduction = 0;
  gLoopExit = 0;
  gGameServices.stopAllMovies();
  // The grid is none when start-up could not allocate it.
  if (gGalaxyGrid) gGameServices.clearGalaxyGrid(gGalaxyGrid);

  if (state->startMode == kStartModeLoadGame) {
    gGameServices.resetObjectEffects();
    gGameServices.initLoadingScreen();
    gGameServices.showNextLoadingScreen();
    if (gGameServices.readSaveGame(state->parameter % 100) == 0) gLoopExit = 1;
    else RaiseEvent("Restart", 1, state->parameter);
  } else {
    PrepareGame();
  }

  while (gLoopExit == 0) {
    RunFrame();
    CheckFrameLimit();
  }
  Teardown();
}
