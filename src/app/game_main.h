// The game main: the body of the process after the entry. It creates the game-state block,
// brings up every service in one fixed start-up order (each failing step ends the process with
// its message code), reads its own command-line options, checks free memory, chooses the start
// mode and runs one game loop per start mode until a mode ends the process. Called by the entry
// (RunGameMain); the option loop, the start-mode choice and the viewer requests are also called
// by tests. Never returns.
#pragma once

#include <cstdint>

struct GameStateBlock;
struct OsMemoryStatus;

// Start names, one per start mode, and the configuration script loaded before the launcher.
// Each is a word of the command line or its default; none when its option was the last word.
struct StartNames {
  const char* intro;
  const char* story;
  const char* tutorial;
  const char* galaxyEditor;
  const char* demo;
  const char* playerDemo;
  const char* config;
};
extern StartNames gStartNames;

// The save or story the save-state reader starts from; none by default.
extern const char* gSaveOrStoryName;
// Stored for the network code; read by nothing else yet.
extern const char* gAltDirName;
extern char* gServerName;  // accounted copy, none = the local host
extern int32_t gServerPort;
// Viewer requests: accounted copies of the file names, or none.
extern char* gBodyFileName;
extern char* gCutFileName;
extern char* gPlotSceneFileName;
extern uint32_t gEffectViewer;
// What failed, shown with the closing message: an accounted string or none.
extern char* gFailureDetail;
// The SystemBlock word start-up sets to 0x81C39; the block has no field of that meaning yet.
extern uint32_t gStartupDeviceWord;

void SetFailureDetail(const char* text);

// Mode flags of the SystemBlock the game main sets or tests beyond the shared ones.
constexpr uint32_t kModeViewer1 = 0x1;
constexpr uint32_t kModeViewer2 = 0x2;

constexpr int32_t kDefaultServerPort = 4242;
constexpr uint64_t kLowMemoryBytes = 0x10000000;  // 256 MiB
constexpr uint32_t kLanguageGerman = 49;

// The locals of the game main that the options set.
struct GameMainOptions {
  int32_t subModeOverride;  // -1: none
  int32_t startParameter;
  uint32_t noLauncher;
  int32_t runInBackground;  // -1: not given
  uint32_t skipIntro;
  uint32_t fastStart;
};

// Puts every global of the game main and the options back to their defaults.
void ResetGameMainState(GameMainOptions* options);
// The option loop: every word from argv[1] on is compared with every option, and a value word
// is compared in its own turn too. Needs the game-state block (fast-start text, debug port).
void ParseGameOptions(int argc, char** argv, GameMainOptions* options);

bool IsMemoryLow(const OsMemoryStatus& status);
const char* LowMemoryText(uint32_t language);
// Ends the process (code 0) after its message when memory is low.
void CheckFreeMemory();

// The parameter of a plot-scene file name: the digits behind "\objects\cut\" up to the first
// ".", leading zeros skipped; 6000 when that is not above 0.
int32_t PlotSceneParameter(const char* name);
void ApplyViewerRequests(GameMainOptions* options);
void ChooseStartMode(const GameMainOptions& options, GameStateBlock* state);
[[noreturn]] void RunStartModeLoop(const GameMainOptions& options);

// The start-up order as a table, so each step can be made to fail in tests.
struct StartupStep {
  const char* number;  // "13b": a part of a numbered step
  bool (*run)(GameMainOptions* options);
  int32_t failureCode;  // -1: the step has no check
};
int StartupStepCount();
const StartupStep* StartupSteps();
// Runs the table in order; a failing step ends the process with its code.
void RunStartupSteps(GameMainOptions* options);

// Test seam: asked before each step with its table index.
enum StartupStepAction { kStepRun = 0, kStepFail = 1, kStepSucceed = 2 };
using StartupStepHook = StartupStepAction (*)(int index, const StartupStep& step);
void SetStartupStepHook(StartupStepHook hook);

// The environment variable that bounds a run to a number of frames.
constexpr const char* kFrameLimitVariable = "KORVANE_MAX_FRAMES";
// The environment variable that makes every frame take the same game time (ms, at most 200):
// a headless run then replays exactly, whatever the machine's speed (see SetFixedFrameStep).
constexpr const char* kFrameStepVariable = "KORVANE_FRAME_MS";
// The random generator's seed under a fixed frame step (start-up otherwise seeds it from the clock).
constexpr uint32_t kFixedStepSeed = 1;
// The folder "-generaterdf" writes its texture bundle descriptions into ("rdf" when unset).
constexpr const char* kBundleFolderVariable = "KORVANE_RDF_DIR";

[[noreturn]] void GameMain(int argc, char** argv);
[[noreturn]] void RunGameMain(int argc, char** argv);
