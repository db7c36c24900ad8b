// The game main: the option loop, the free-memory check, the start-up order as a table of
// steps with their message codes, the viewer requests, the start-mode choice and the start-mode
// loop. Called by the entry; every way out goes through ShutdownAndExit. Never runs a step out
// of its order and never leaves a failed step unreported.
#include "app/game_main.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_natives.h"
#include "app/input_logo_version.h"
#include "script/script_calls.h"
#include "script/timers.h"
#include "app/entry.h"
#include "app/game_loop.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/general_init.h"
#include "app/launcher.h"
#include "app/settings.h"
#include "app/shutdown.h"
#include "app/system_info.h"
#include "core/catalog.h"
#include "core/clock.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/input.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "frontend/frontend.h"
#include "platform/memory_status.h"
#include "render/display_modes.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/scene.h"
#include "simulation/simulation.h"
#include "simulation/simulation_services.h"
#include "script/engine.h"
#include "script/loader.h"
#include "script/script_save.h"
#include "script/tasks.h"
#include "universe/type_loader.h"
#include "universe/universe.h"

constexpr StartNames kDefaultStartNames = {"vexaintro", "vexastory", "vexatutorial", "vexagaledit",
                                           "vexademo",  "vexapdemo", "vexaconfig"};

StartNames gStartNames = kDefaultStartNames;
const char* gSaveOrStoryName = nullptr;
const char* gAltDirName = nullptr;
char* gServerName = nullptr;
int32_t gServerPort = kDefaultServerPort;
char* gBodyFileName = nullptr;
char* gCutFileName = nullptr;
char* gPlotSceneFileName = nullptr;
uint32_t gEffectViewer = 0;
char* gFailureDetail = nullptr;
uint32_t gStartupDeviceWord = 0;

namespace {

constexpr const char* kLowMemoryEnglish =
    "Your machine is low on virtual memory. Please free about 300MB space on your harddrive and start Ulnar again!";
constexpr const char* kLowMemoryGerman =
    "Ihr Computer hat nicht genügend virtuellen Speicherplatz auf Ihrer Festplatte. Bitte stellen Sie sicher, "
    "dass etwa 300MB auf Ihrer Festplatte frei sind.";

constexpr uint32_t kInputFlagGameMain = 0x200000;
constexpr uint32_t kD3DFlagGameMain = 0x400;
constexpr uint32_t kUsageFlagGameMain = 0x10000;
constexpr uint32_t kModeFlagsKeptOverLoad = 0xF0;
constexpr uint32_t kD3DFlagNoBenchmark = 0x800000;
constexpr uint32_t kLauncherWordStarted = 12;
constexpr uint32_t kStartupDeviceWordValue = 0x81C39;
constexpr const char* kLogoFailureDetail = "GfxRes";
constexpr const char* kObjectsFolder = "\\objects\\";
constexpr const char* kCutFolder = "\\objects\\cut\\";
constexpr int32_t kDefaultPlotScene = 6000;
constexpr int kStartModeCount = 9;
constexpr int kEndScreenCount = 5;

StartupStepHook gStepHook = nullptr;

enum class Option {
  kProfi, kNoAbout, kLocation, kStory, kIntro, kObj, kPar, kTutorial, kGalEdit, kConfig, kDemo, kPDemo,
  kAltDir, kLoad, kServerName, kServerPort, kDebugPort, kRunInBg, kNoRunInBg, kBody, kCut, kPlotScene,
  kEffect, kFastStart, kSkipIntro,
};

struct OptionRow {
  const char* word;
  Option option;
};

// In the order they are compared; the first match acts.
constexpr OptionRow kOptions[] = {
    {"profi", Option::kProfi},         {"noabout", Option::kNoAbout},       {"location", Option::kLocation},
    {"story", Option::kStory},         {"intro", Option::kIntro},           {"obj", Option::kObj},
    {"par", Option::kPar},             {"tutorial", Option::kTutorial},     {"galedit", Option::kGalEdit},
    {"config", Option::kConfig},       {"demo", Option::kDemo},             {"pdemo", Option::kPDemo},
    {"altdir", Option::kAltDir},       {"load", Option::kLoad},             {"sservername", Option::kServerName},
    {"sserverport", Option::kServerPort}, {"debugport", Option::kDebugPort}, {"runinbg", Option::kRunInBg},
    {"noruninbg", Option::kNoRunInBg}, {"body", Option::kBody},             {"cut", Option::kCut},
    {"plotscene", Option::kPlotScene}, {"effect", Option::kEffect},         {"faststart", Option::kFastStart},
    {"skipintro", Option::kSkipIntro},
};

bool MatchesOption(const char* word, const char* option) {
  return word && (word[0] == '-' || word[0] == '/') && TextEqualsIgnoringCase(word + 1, option);
}

// The decimal number at the start of a word (0 when none), kept inside 32 bits: a word of many
// digits must not overflow the conversion.
int32_t IntegerValue(const char* value) {
  if (!value) return 0;
  long long number = std::strtoll(value, nullptr, 10);
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(number);
}

// A viewer's file name: an accounted copy; a given name also skips the launcher.
void TakeViewerName(char** slot, const char* value, GameMainOptions* options) {
  if (!value) return;
  *slot = ReplaceString(*slot, value);
  if (*slot) options->noLauncher = 1;
}

void ApplyOption(Option option, int argc, char** argv, int i, GameMainOptions* options) {
  // The word after the option, or the list's closing null entry after the last word.
  const char* value = argv[i + 1];
  switch (option) {
    case Option::kProfi: gSystem->modeFlags |= kModeProfi; break;
    case Option::kNoAbout: options->noLauncher = 1; break;
    case Option::kLocation:
    case Option::kStory:
      gStartNames.story = value;
      gSaveOrStoryName = value;
      break;
    case Option::kIntro: gStartNames.intro = value; break;
    case Option::kObj: options->subModeOverride = IntegerValue(value); break;
    case Option::kPar: options->startParameter = IntegerValue(value); break;
    case Option::kTutorial: gStartNames.tutorial = value; break;
    case Option::kGalEdit: gStartNames.galaxyEditor = value; break;
    case Option::kConfig: gStartNames.config = value; break;
    case Option::kDemo: gStartNames.demo = value; break;
    case Option::kPDemo: gStartNames.playerDemo = value; break;
    case Option::kAltDir: gAltDirName = value; break;
    case Option::kLoad: gSaveOrStoryName = value; break;
    case Option::kServerName:
      if (value) gServerName = ReplaceString(gServerName, value);
      break;
    case Option::kServerPort:
      if (value) gServerPort = IntegerValue(value);
      break;
    case Option::kDebugPort:
      if (value) gGameState->debugPort = static_cast<uint16_t>(IntegerValue(value));
      break;
    case Option::kRunInBg: options->runInBackground = 1; break;
    case Option::kNoRunInBg: options->runInBackground = 0; break;
    case Option::kBody: TakeViewerName(&gBodyFileName, value, options); break;
    case Option::kCut: TakeViewerName(&gCutFileName, value, options); break;
    case Option::kPlotScene: TakeViewerName(&gPlotSceneFileName, value, options); break;
    case Option::kEffect:
      gEffectViewer = 1;
      options->noLauncher = 1;
      break;
    case Option::kFastStart: {
      options->fastStart = 1;
      const bool word = i + 1 < argc && value && value[0] != '/' && value[0] != '-';
      gGameState->fastStartText = ReplaceString(gGameState->fastStartText, word ? value : "105");
      break;
    }
    case Option::kSkipIntro: options->skipIntro = 1; break;
  }
}

// The text behind the first `folder` in `name`, or the whole name.
const char* BehindFolder(const char* name, const char* folder) {
  const char* found = std::strstr(name, folder);
  return found ? found + std::strlen(folder) : name;
}

// ---------------------------------------------------------------------------------------------
// Start-up steps. Each returns false when its result is 0 or none.

bool StepAllocateGameState(GameMainOptions*) {
  GameStateBlock* block = static_cast<GameStateBlock*>(MemCalloc(sizeof(GameStateBlock)));
  // Every later step writes through this block: without it the game cannot start at all.
  if (!block) return false;
  gGameState = InitGameStateBlock(block);
  return true;
}

bool StepImageLibrary(GameMainOptions*) {
  // The picture code needs no start-up of its own here.
  return true;
}

bool StepInitXml(GameMainOptions*) {
  InitXml();
  return true;
}

bool StepInitGeneral(GameMainOptions* options);

bool StepSystemBits(GameMainOptions*) {
  gSystem->inputFlags |= kInputFlagGameMain;
  gSystem->d3dFlags |= kD3DFlagGameMain;
  // The two usage words of the render targets that already carry this bit by default.
  gSystem->usageWords[4] |= kUsageFlagGameMain;
  gSystem->usageWords[5] |= kUsageFlagGameMain;
  return true;
}

bool StepFloatingPoint(GameMainOptions*) {
  SetupFloatingPoint();
  return true;
}

int gArgc = 0;
char** gArgv = nullptr;

bool StepInitGeneral(GameMainOptions*) {
  gSystem = InitGeneral(gArgc, gArgv);
  return gSystem != nullptr;
}

bool StepOptions(GameMainOptions* options) {
  ParseGameOptions(gArgc, gArgv, options);
  return true;
}

bool StepFreeMemory(GameMainOptions*) {
  CheckFreeMemory();
  return true;
}

bool StepDirect3D(GameMainOptions*) {
  // The renderer's adapter and mode choice reads and writes the settings the registry keeps.
  static const DisplaySelection kSelection = {&gStartup.adapterName, &gStartup.adapterOrdinal, &gStartup.displayFormat,
                                              &gStartup.modeIndex};
  SetDisplaySelection(&kSelection);
  CreateDirect3D();
  gScriptEngine = nullptr;
  return true;
}

bool StepLoadSettings(GameMainOptions*) {
  SystemBlock* sys = gSystem;
  if (!(sys->modeFlags & kModeResetSettings)) {
    const uint32_t mode = sys->modeFlags & kModeFlagsKeptOverLoad;
    const uint32_t window = sys->videoFlags & kVideoWindowed;
    const uint32_t managed = sys->d3dFlags2 & kD3D2Managed;
    if (LoadSettings()) sys->modeFlags |= kModeSettingsLoaded;
    else sys->modeFlags &= ~kModeSettingsLoaded;
    sys->modeFlags |= mode;
    sys->videoFlags |= window;
    sys->d3dFlags2 |= managed;
  }
  sys->d3dFlags2 |= kD3D2Managed;
  return true;
}

bool StepSelectDisplayMode(GameMainOptions*) {
  SelectDisplayMode();
  return true;
}

bool StepProbe(GameMainOptions*) { return ProbeSystemInfo(gSystem, gStartup.adapterOrdinal); }

bool StepLauncherEngine(GameMainOptions* options) {
  if (options->noLauncher) return true;
  gScriptEngine = CreateScriptEngine();
  return gScriptEngine != nullptr;
}

bool StepLauncherConfig(GameMainOptions* options) {
  if (options->noLauncher) return true;
  return ReloadStory(gStartNames.config);
}

bool StepLauncherInit(GameMainOptions* options) {
  if (options->noLauncher) return true;
  CallScriptFunction(0, 0, 0, "_Init", 1, 1, static_cast<int32_t>(gSystem->language));
  return true;
}

bool StepLauncherDialog(GameMainOptions* options) {
  if (options->noLauncher) return true;
  // -1 (no dialog could be made) carries on as a start.
  return RunLauncherDialog() != 0;
}

bool StepLauncherReset(GameMainOptions* options) {
  if (options->noLauncher) return true;
  ResetScriptSystems(0);
  return true;
}

bool StepModCatalog(GameMainOptions*) {
  gSystem->launcherWord = kLauncherWordStarted;
  if (gSystem->modName && !MountModCatalog()) gSystem->modName = FreeString(gSystem->modName);
  return true;
}

bool StepBenchmarkFlags(GameMainOptions*) {
  if (gSystem->modeFlags & kModeBenchmark) {
    gSystem->d3dFlags &= ~kD3DFlagNoBenchmark;
    gSystem->modeFlags |= kModeSettingsSaved;
  }
  return true;
}

bool StepCreateDisplay(GameMainOptions*) {
  gDisplay = CreateDisplay(gSystem->videoFlags | kCreateDisplayBits, gSystem->screenWidth, gSystem->screenHeight,
                           gSystem->colourDepth);
  if (!gDisplay) return false;
  // The display has set the usage base word from its screen depth.
  InitD3DUsageFlags();
  return true;
}

// A save names the story it was written with; "-load", "-location" and "-story" override it.
bool LoadSavedStory(ScriptEngine* engine, const char* savedName) {
  return LoadScriptStore(engine, gSaveOrStoryName ? gSaveOrStoryName : savedName);
}

bool StepScriptEngine(GameMainOptions*) {
  if (!gScriptEngine) gScriptEngine = CreateScriptEngine();
  SetScriptStateLoader(LoadSavedStory);
  return gScriptEngine != nullptr;
}

// The scene engine's memory failures end the game like every other: the detail names what failed.
[[noreturn]] void EndForSceneFailure(uint32_t code, const char* detail) {
  gFailureDetail = ReplaceString(gFailureDetail, detail);
  ShutdownAndExit(code);
}

bool StepEngine3D(GameMainOptions*) {
  SetSceneFatalExit(EndForSceneFailure);
  SetCutLoadedHook(UpdateMovies);
  gEngine3D = InitEngine3D();
  return gEngine3D != nullptr;
}

bool StepViewers(GameMainOptions* options) {
  ApplyViewerRequests(options);
  return true;
}

bool StepInput(GameMainOptions*) { return InputInit(gSystem->inputFlags) != nullptr; }

bool StepRunInBackground(GameMainOptions* options) {
  gInputState->flags |= kInputNewestKeyOnly;
  int32_t background =
      options->runInBackground >= 0 ? options->runInBackground : ReadProfileValue("RunInBackground");
  if (background) gInputState->flags |= kInputRunInBackground;
  else gInputState->flags &= ~kInputRunInBackground;
  return true;
}

bool StepDeviceWord(GameMainOptions*) {
  gStartupDeviceWord = kStartupDeviceWordValue;
  return true;
}

bool StepSound(GameMainOptions*) {
  gSoundDevice = InitSound(gSystem->audioFlags);
  return gSoundDevice != nullptr;
}

bool StepMemorySpeed(GameMainOptions*) {
  gSystem->memorySpeed = static_cast<int16_t>(MeasureMemorySpeed());
  return true;
}

bool StepLocationModule(GameMainOptions*) {
  gLocationState = InitLocationModule();
  return gLocationState != nullptr;
}

bool StepTimers(GameMainOptions*) {
  // Without the memory the game runs without script timers; every user checks the pointer.
  TimerState* state = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
  gTimerState = state ? InitTimerModule(state) : nullptr;
  return true;
}

bool StepSoundModule(GameMainOptions*) {
  gScriptSound = InitSoundModule();
  return gScriptSound != nullptr;
}

bool StepLogoScreen(GameMainOptions*) { return ShowLogoScreen() != 0; }

bool StepMovieModule(GameMainOptions*) {
  gMovieState = InitMovieModule();
  return true;
}

bool StepRender3D(GameMainOptions*) { return InitRender3D() != 0; }

bool StepSkins(GameMainOptions*) { return LoadSkinsAndIconData() != 0; }

bool StepScreenLists(GameMainOptions*) {
  if (gDisplay->flags & kDisplayNoScreenLists) return true;
  const DisplayDevice* device = gDisplay->device;
  const int32_t width = device ? device->width : gSystem->screenWidth;
  const int32_t height = device ? device->height : gSystem->screenHeight;
  // The game surfaces compose below the screen's own list.
  DisplayList* parent = gDisplay->videoSurface ? gDisplay->videoSurface->displayList : nullptr;
  const int32_t depth = device ? device->bitDepth : gSystem->colourDepth;
  const int count = (gDisplay->flags & kDisplaySecondScreenList) ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    if (!gScreenLists[i]) gScreenLists[i] = CreateImageHandle(depth, width, height, 0);
    if (gScreenLists[i]) DisplayListCreate(gScreenLists[i], parent, i == 0 ? 0 : width / 2, width, height);
  }
  return true;
}

bool StepEngineScreenMode(GameMainOptions*) {
  SetEngineScreenMode(ChosenDisplayMode());
  return true;
}

bool StepGalaxy(GameMainOptions*) {
  // The game runs on without a galaxy grid; its users check the pointer.
  GalaxyGrid* grid = static_cast<GalaxyGrid*>(MemCalloc(sizeof(GalaxyGrid)));
  if (grid) RegisterGalaxyModule(grid);
  gGalaxyGrid = grid;
  return true;
}

bool StepUniverse(GameMainOptions*) {
  UniverseBlock* universe = static_cast<UniverseBlock*>(MemCalloc(sizeof(UniverseBlock)));
  if (!universe) return false;
  if (!CreateUniverse(universe)) {
    MemFreeIfSet(universe);
    return false;
  }
  // The damage model and the motion pass reach the cockpit and the joystick through the
  // simulation's service table, as the simulation may not call the layers above it.
  gSimulationServices.cockpitSetPercentDisplay = CockpitSetPercentDisplay;
  gSimulationServices.cockpitShowsFromInside = [](const SpaceObject* object) {
    const CockpitRecord* cockpit = CockpitFindByRefObject(object);
    return cockpit && (cockpit->viewMode & 1) != 0;
  };
  gSimulationServices.forceFeedbackPlay = ForceFeedbackPlay;
  gSimulationServices.playSound = [](int32_t module, int32_t handle, int32_t soundId, int32_t volume) {
    return SFX_PlaySound(module, handle, soundId, volume);
  };
  gSimulationServices.alertWords = [] {
    return gGuiMaster ? AlertWords{&gGuiMaster->alertFlags, &gGuiMaster->alertPending} : AlertWords{};
  };
  gSimulationServices.playerDesiredSpeedSet = [] {
    if (gInputState) gInputState->flags &= ~kInputThrottleLive;
  };
  // The cockpit in control; the turrets keep no refresh request of their own, so its kept view
  // angles are left to the cockpit.
  gSimulationServices.currentCockpitView = [](TurretCockpitView* out) {
    CockpitRecord* cockpit = gGuiMaster ? CockpitFromHandle(gGuiMaster, gGuiMaster->activeControlCockpit) : nullptr;
    if (!cockpit) return false;
    *out = TurretCockpitView{cockpit->refObject, cockpit->cockpitNumber, cockpit->viewMode, cockpit->viewAngle,
                             cockpit->viewAngleTarget, nullptr};
    return true;
  };
  // The dock port search weighs ports in front of the player's view: the current cockpit's camera
  // is where the player looks from.
  gSimulationServices.currentCockpitViewer = [](FixedVector* position, FixedVector* forward) {
    CockpitRecord* cockpit = gGuiMaster ? CockpitFromHandle(gGuiMaster, gGuiMaster->activeControlCockpit) : nullptr;
    if (!cockpit || !cockpit->camera) return false;
    const InstanceRecord& node = cockpit->camera->instance;
    *position = node.world;
    *forward = {node.worldMatrix.m[2][0], node.worldMatrix.m[2][1], node.worldMatrix.m[2][2], 0};
    return true;
  };
  return true;
}

bool StepLoadTypes(GameMainOptions*) {
  if (LoadTypes(gUniverse) != 0) return true;
  SetFailureDetail(TypeLoadFailedName());
  return false;
}

bool StepFirstScreen(GameMainOptions*) {
  UpdateScreen();
  return true;
}

int32_t ResumeApplicationIntRow(uint32_t cookie, int32_t value) {
  ResumeApplicationInt(cookie, value);
  return 0;
}

bool StepApplicationModule(GameMainOptions*) {
  gGameState->moduleIndex = static_cast<uint32_t>(RegisterNativeModule(
      gScriptEngine, ApplicationNativeEntry, kApplicationNativeNames, ResumeApplicationIntRow,
      ResumeApplicationString, nullptr));
  return true;
}

bool StepCockpitModule(GameMainOptions*) {
  InitCockpitModule();
  return true;
}

bool StepLowMemoryHook(GameMainOptions*) {
  SetLowMemoryHandler();
  return true;
}

bool StepSoundTable(GameMainOptions*) {
  LoadSoundTable();
  return true;
}

constexpr StartupStep kSteps[] = {
    {"1", StepAllocateGameState, static_cast<int32_t>(kShutdownOutOfMemory)},
    {"2", StepImageLibrary, -1},
    {"3", StepInitXml, -1},
    {"4", StepInitGeneral, 5},
    {"5", StepSystemBits, -1},
    {"6", StepFloatingPoint, -1},
    {"7", StepOptions, -1},
    {"8", StepFreeMemory, -1},
    {"9", StepDirect3D, -1},
    {"10", StepLoadSettings, -1},
    {"11", StepSelectDisplayMode, -1},
    {"12", StepProbe, 5},
    {"13a", StepLauncherEngine, 12},
    {"13b", StepLauncherConfig, 1},
    {"13c", StepLauncherInit, -1},
    {"13d", StepLauncherDialog, 0},
    {"13e", StepLauncherReset, -1},
    {"14", StepModCatalog, -1},
    {"15", StepBenchmarkFlags, -1},
    {"16", StepCreateDisplay, 7},
    {"17", StepScriptEngine, 12},
    {"18", StepEngine3D, 30},
    {"19", StepViewers, -1},
    {"20", StepInput, 6},
    {"21", StepRunInBackground, -1},
    {"22", StepDeviceWord, -1},
    {"23", StepSound, 2},
    {"24", StepMemorySpeed, -1},
    {"25", StepLocationModule, 9},
    {"26", StepTimers, -1},
    {"27", StepSoundModule, 20},
    {"28", StepLogoScreen, 1},
    {"29", StepMovieModule, -1},
    {"30", StepRender3D, 7},
    {"31", StepSkins, 7},
    {"32", StepScreenLists, -1},
    {"33", StepEngineScreenMode, -1},
    {"34", StepGalaxy, -1},
    {"35", StepUniverse, static_cast<int32_t>(kShutdownOutOfMemory)},
    {"36", StepLoadTypes, 1},
    {"37", StepFirstScreen, -1},
    {"38", StepApplicationModule, -1},
    {"39", StepCockpitModule, -1},
    {"40", StepLowMemoryHook, -1},
    {"41", StepSoundTable, -1},
};
constexpr int kStepCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

// What a failing step leaves behind before the process ends.
void ReportStepFailure(const StartupStep& step) {
  if (std::strcmp(step.number, "13b") == 0) {
    // The store loader reports a failed load itself; a missing name never reaches it.
    if (!gStartNames.config) std::fputs("File not found.\n", stdout);
    else SetFailureDetail(gStartNames.config);
  } else if (std::strcmp(step.number, "28") == 0) {
    SetFailureDetail(kLogoFailureDetail);
  }
}

[[noreturn]] void ShowEndScreens() {
  GameStateBlock* state = gGameState;
  if (state->parameter == 1) {
    for (int i = 1; i <= kEndScreenCount; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "exit_%02d", i);
      gGameServices.viewFullscreenImage(name, 10);
    }
  } else if (state->fastStartText) {
    gGameServices.viewFullscreenImage(state->fastStartText, 30);
  }
  ShutdownAndExit((gSystem->modeFlags & kModeBenchmark) ? kShutdownBenchmarkEnd : kShutdownNormal);
}

void ReadFrameLimit() {
  const char* value = std::getenv(kFrameLimitVariable);
  if (!value) return;
  long limit = std::strtol(value, nullptr, 10);
  if (limit > 0) gFrameLimit = static_cast<uint32_t>(limit);
}

void ReadFrameStep() {
  const char* value = std::getenv(kFrameStepVariable);
  if (!value) return;
  long step = std::strtol(value, nullptr, 10);
  if (step <= 0) return;
  SetFixedFrameStep(static_cast<uint32_t>(step > 1000 ? 1000 : step));
  // Start-up seeded the generator from the clock; a replayed run must draw the same numbers too.
  GameSrand(kFixedStepSeed);
}

}  // namespace

void SetFailureDetail(const char* text) { gFailureDetail = ReplaceString(gFailureDetail, text); }

void ResetGameMainState(GameMainOptions* options) {
  gStartNames = kDefaultStartNames;
  gSaveOrStoryName = nullptr;
  gAltDirName = nullptr;
  gServerName = FreeString(gServerName);
  gServerPort = kDefaultServerPort;
  gBodyFileName = FreeString(gBodyFileName);
  gCutFileName = FreeString(gCutFileName);
  gPlotSceneFileName = FreeString(gPlotSceneFileName);
  gEffectViewer = 0;
  gFailureDetail = FreeString(gFailureDetail);
  gStartupDeviceWord = 0;
  if (options) *options = GameMainOptions{-1, 0, 0, -1, 0, 0};
}

void ParseGameOptions(int argc, char** argv, GameMainOptions* options) {
  // The counter is 16 bits wide, as the argument list is never longer than that.
  for (uint16_t i = 1; i < argc; ++i) {
    const char* word = argv[i];
    for (const OptionRow& row : kOptions) {
      if (MatchesOption(word, row.word)) {
        ApplyOption(row.option, argc, argv, i, options);
        break;
      }
    }
  }
}

bool IsMemoryLow(const OsMemoryStatus& status) {
  return status.availablePhysical < kLowMemoryBytes && status.availablePageFile < kLowMemoryBytes &&
         status.availablePhysical + status.availablePageFile < kLowMemoryBytes;
}

const char* LowMemoryText(uint32_t language) {
  return language == kLanguageGerman ? kLowMemoryGerman : kLowMemoryEnglish;
}

void CheckFreeMemory() {
  OsMemoryStatus status{};
  // Figures that cannot be read say nothing about a shortage.
  if (!OsGetMemoryStatus(&status) || !IsMemoryLow(status)) return;
  gGameServices.showErrorBox(LowMemoryText(gSystem ? gSystem->language : 0));
  ShutdownAndExit(kShutdownNormal);
}

int32_t PlotSceneParameter(const char* name) {
  if (!name) return kDefaultPlotScene;
  const char* digits = BehindFolder(name, kCutFolder);
  while (*digits == '0') ++digits;
  char number[32];
  size_t length = std::strcspn(digits, ".");
  if (length >= sizeof number) length = sizeof number - 1;
  std::memcpy(number, digits, length);
  number[length] = '\0';
  int32_t value = IntegerValue(number);
  return value > 0 ? value : kDefaultPlotScene;
}

void ApplyViewerRequests(GameMainOptions* options) {
  if (gBodyFileName) {
    int32_t id = gGameServices.getBodyId(BehindFolder(gBodyFileName, kObjectsFolder));
    options->startParameter = id;
    if (id > 0) {
      gSystem->modeFlags |= kModeViewer1 | kModeViewer2;
      options->subModeOverride = 104;
    }
  }
  if (gCutFileName) {
    int32_t id = gGameServices.getCutId(BehindFolder(gCutFileName, kObjectsFolder));
    options->startParameter = id;
    if (id > 0) {
      gSystem->modeFlags |= kModeViewer1 | kModeViewer2;
      options->subModeOverride = 105;
    }
  }
  if (gPlotSceneFileName) {
    options->startParameter = PlotSceneParameter(gPlotSceneFileName);
    options->subModeOverride = 102;
  }
  if (gEffectViewer) options->subModeOverride = 103;
}

void ChooseStartMode(const GameMainOptions& options, GameStateBlock* state) {
  auto set = [state](int32_t mode, int32_t subMode, int32_t parameter) {
    state->startMode = mode;
    state->subMode = subMode;
    state->parameter = parameter;
  };
  const uint32_t flags = gSystem->modeFlags;
  if (flags & kModeBenchmark) set(1, 102, 6628);
  else if (flags & kModeDumpUsedBodies) set(1, 108, 0);
  else if (options.fastStart) {
    const char* text = state->fastStartText;
    set(2, 150, (text && text[0] >= '0' && text[0] <= '9') ? -1 : -2);
  } else if (options.skipIntro) set(1, 101, 950);
  else set(1, 102, 8300);
  if (options.subModeOverride > 0) set(1, options.subModeOverride, options.startParameter);
}

void RunStartModeLoop(const GameMainOptions& options) {
  GameStateBlock* state = gGameState;
  const bool viewerRequested = gBodyFileName || gCutFileName || gPlotSceneFileName || gEffectViewer;
  for (;;) {
    const uint32_t mode = static_cast<uint32_t>(state->startMode);
    if (mode == 0 || mode >= kStartModeCount) ShutdownAndExit(kShutdownNormal);
    switch (mode) {
      case 1: SetStartLocation(gStartNames.intro); break;
      case 2: SetStartLocation(gStartNames.story); break;
      case 3: SetStartLocation(gStartNames.galaxyEditor); break;
      case 4: SetStartLocation(gStartNames.tutorial); break;
      case 5: SetStartLocation(gStartNames.demo); break;
      case 6: SetStartLocation(gStartNames.playerDemo); break;
      case 7: break;
      default: ShowEndScreens();
    }
    do {
      gGameServices.pumpMessages();
    } while (gGameServices.nextKeyCode() != 0);
    state->nextStartMode = 1;
    state->nextSubMode = 101;
    state->nextParameter = 950;

    gGameServices.runGameLoop();

    if (gFrameLimitReached) ShutdownAndExit(kShutdownNormal);
    if (state->nextStartMode == 1 && state->nextSubMode == 101) {
      if (options.subModeOverride > 0 && viewerRequested) ShutdownAndExit(kShutdownNormal);
      if (gSystem->modeFlags & kModeBenchmark) ShutdownAndExit(kShutdownBenchmarkEnd);
    }
    state->startMode = state->nextStartMode;
    state->subMode = state->nextSubMode;
    state->parameter = state->nextParameter;
  }
}

int StartupStepCount() { return kStepCount; }
const StartupStep* StartupSteps() { return kSteps; }
void SetStartupStepHook(StartupStepHook hook) { gStepHook = hook; }

void RunStartupSteps(GameMainOptions* options) {
  for (int i = 0; i < kStepCount; ++i) {
    const StartupStep& step = kSteps[i];
    StartupStepAction action = gStepHook ? gStepHook(i, step) : kStepRun;
    bool ok = action == kStepSucceed || (action == kStepRun && step.run(options));
    if (!ok && step.failureCode >= 0) {
      ReportStepFailure(step);
      ShutdownAndExit(static_cast<uint32_t>(step.failureCode));
    }
  }
}

void GameMain(int argc, char** argv) {
  GameMainOptions options;
  ResetGameMainState(&options);
  gArgc = argc;
  gArgv = argv;
  ReadFrameLimit();
  RunStartupSteps(&options);
  // After start-up, which set up the clocks the step replaces.
  ReadFrameStep();
  ChooseStartMode(options, gGameState);
  RunStartModeLoop(options);
}

void RunGameMain(int argc, char** argv) { GameMain(argc, argv); }
