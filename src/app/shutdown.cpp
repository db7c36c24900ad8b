// Ending the process: the closing message table, the fixed stop order of the services, the
// benchmark log and the display-change follow-up. Every stop step first checks that its service
// exists, so a shutdown can come from any point of start-up. The outside services are reached
// through the service table (tests record the order and keep the process alive). Called from
// anywhere on the game thread; never returns.
#include "app/shutdown.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/entry.h"
#include "app/game_loop.h"
#include "app/game_main.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "app/input_logo_version.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "render/display_modes.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "script/timers.h"
#include "universe/universe.h"

const char* const kBenchmarkSceneNames[kBenchmarkSceneNameCount] = {"Trade", "Fight", "Build", "Think"};

namespace {

const char* const kMessages[kShutdownMessageCount] = {
    "Ready.\n",
    "File not found.\n",
    "Error opening audio.\nMaybe you didn't setup your sound card.\nRun SETUP.EXE to configure sound.\n",
    "Out of memory.\nFurther information can be found in the manual!\n",
    "Fatal error.\n",
    "Error opening SystemBase.\n",
    "Error opening IO device.\n",
    "Error opening video.\nCheck your display settings!\nFurther information can be found in the manual or readme.txt!\n",
    "Wrong Arguments.\n",
    "Error opening ProgramBase.\n",
    "Error opening GUIBase.\n",
    "Error opening BOBBase.\n",
    "Error opening StoryBase.\n",
    "Error handling video display\n",
    "Error handling picture\n",
    "Menu overrides second popup\n",
    "File (maybe intentionally) not found\n",
    "Error initializing task.\n",
    "Error opening an EBM\n",
    "Error concerning Status Task\n",
    "Error initializing sound effect base\n",
    "This program requires a properly installed mouse driver\n",
    "Function need Chunky tabs\n",
    "Error initializing window base\n",
    "Error initializing input base\n",
    "Error initializing Vazozarored engine\n",
    "Error within Vazozarored Engine\n",
    "Error initializing MPEG engine\n",
    "Error initializing Terms\n",
    "Error loading savegame, may be corrupt!\n",
    "Error initializing B3DBase\n",
    "Error initializing NetNase\n",
    "Can't connect to the network server.\n",
    "Starting new Process...\n",
    "Error initialiting Movie replay",
    "Deleting registry settings.\n",
    "Printing benchmark results!\n",
    "Generic error (custom string is displayed instead of this text)",
    "Unknown error ERR_INIT_SPEECH\n",
    "Exiting because of unrecoverable error.\nError reading contents of file.\n",
};

constexpr const char* kLogHeaderFormat =
    "--------------------------\n   Vexa - Velmar Nerith\n--------------------------\nGame Version: %s\n\n"
    "Operating System:\t%s\nDirectX Version:\t%s\nGraphics Card Info:\t%s\nCPU Info:\t\t%s\n"
    "Usable System Memory:\t%d MB\n\n\nVideo Settings During Benchmark:\n\tScreen Resolution:\t%d x %d * [%d], %s\n"
    "\tUsing Shader Profile:\t%s\n\tAntialias Mode:\t\t%s\n\tAnisotropic Mode:\t%s\n\n";
constexpr const char* kLogSettingsFormat =
    "Graphics & Shader Settings:\n\tTexture Quality:\t%s\n\tShader Quality:\t\t%s\n\tHigh Quality Bumpmaps:\t%s\n"
    "\tEnvironment Mapping:\t%s\n\tGlow Filter:\t\t%s\n\tShip Color Variations:\t%s\n\tMore Dynamic Lights:\t%s\n"
    "\tUsed Vertexsize:\t%d bytes\n";
constexpr const char* kLogFrameratesTitle =
    "\nFramerates\n--------------------------------------------------------------------------------\n";
constexpr const char* kLogSceneFormat =
    "  Scene \"%s\"\t %02.1f average fps\t %02.1f minimum fps\t %02.1f maximum fps\n";
constexpr const char* kLogOverallFormat = "\nOverall average framerate: %03.1f fps\n";
constexpr const char* kLogClosingNotice =
    "\n\nThank you for running the benchmark.\nKeep this file with any report about the game's speed.\n";
constexpr const char* kResultFormat =
    "Vexa - Velmar Nerith - 3D benchmark completed.\n\nResults saved in %s.\nOverall average framerate: %03.3f fps.";

// Direct3D flags 2 bits the settings block reports.
constexpr uint32_t kD3D2GlowFilter = 0x80;
constexpr uint32_t kD3D2NoEnvironmentMapping = 0x100;
constexpr uint32_t kD3D2NoBumpmaps = 0x400;
constexpr uint32_t kD3D2NoColorVariations = 0x800;
constexpr uint32_t kD3D2NoMoreLights = 0x1000;

uint32_t gShutdownStarted = 0;
uint32_t gFirstShutdownCode = 0;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list copy;
  va_copy(copy, arguments);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  return text;
}

const char* Text(const char* text) { return text ? text : ""; }
const char* Enabled(bool on) { return on ? "enabled" : "disabled"; }

// The measured scenes: records in order while their average is not 0, at most the four named.
int MeasuredSceneCount() {
  int count = 0;
  while (count < kBenchmarkSceneNameCount && gBenchmarkRecords[count].average != 0.0f) ++count;
  return count;
}

double OverallAverage() {
  int count = MeasuredSceneCount();
  double sum = 0.0;
  for (int i = 0; i < count; ++i) sum += gBenchmarkRecords[i].average;
  // No scene measured: nothing to average, and 0 says so.
  return count ? sum / count : 0.0;
}

void StopServices() {
  GameServices& s = gGameServices;
  if (gEngine3D) s.stopSceneSounds();
  s.clearEffectInstances();
  s.freeEffectDefinitions();
  if (gUniverse) s.freeAllObjects(gUniverse);
  if (gGameState) {
    if (gGuiMaster) {
      s.freeAllCockpits(gGuiMaster);
      MemFreeIfSet(gGuiMaster);
      gGuiMaster = nullptr;
    }
    s.resetScriptSystems(1);
  }
  if (gUniverse) {
    s.destroyUniverse(gUniverse);
    MemFreeIfSet(gUniverse);
    gUniverse = nullptr;
  }
  if (gGalaxyGrid) {
    MemFreeIfSet(gGalaxyGrid);
    gGalaxyGrid = nullptr;
  }
  if (gEngine3D) {
    s.freeBodyRenderData();
    s.freeEngineRenderTables();
    s.exitEngine3D();
    gEngine3D = nullptr;
  }
  if (gDisplay && !(gDisplay->flags & kDisplayNoScreenLists)) {
    for (DisplaySurface*& list : gScreenLists) s.releaseImageHandle(&list);
  }
  s.releaseFonts();
  if (gScriptSound) s.shutdownSoundModule();
  if (gScriptEngine) {
    s.freeEngineTables(gScriptEngine);
    MemFreeIfSet(gScriptEngine);
    gScriptEngine = nullptr;
  }
  if (gLocationState) {
    s.freeLoadingScreens();
    MemFree(gLocationState, sizeof(LocationState), 0);
    gLocationState = nullptr;
  }
  if (gTimerState) {
    s.clearTimerEvents(gTimerState);
    MemFreeIfSet(gTimerState);
    gTimerState = nullptr;
  }
  if (gMovieState) s.shutdownMovieModule();
  s.freeSoundBanks();
  s.freeCollisionFitBuffers();
}

}  // namespace

int ShutdownExitStatus(uint32_t code) {
  if (code == kShutdownNormal || code == kShutdownBenchmarkEnd) return 0;
  return code < 256 ? static_cast<int>(code) : 255;
}

std::string ShutdownMessage(uint32_t code) {
  if (code < kShutdownMessageCount) return kMessages[code];
  return Format("Error %u.\n", code);
}

std::string ComposeShutdownText(uint32_t code, const char* detail) {
  std::string text = ShutdownMessage(code);
  if (detail) text += Format("(%s)", detail);
  return text;
}

std::string BenchmarkLogName(const std::tm& when) {
  char name[64];
  size_t length = std::strftime(name, sizeof name, kBenchmarkLogNameFormat, &when);
  return std::string(name, length);
}

std::string BenchmarkLogText() {
  const SystemBlock* sys = gSystem;
  const DisplayDevice* device = (gDisplay && gDisplay->device) ? gDisplay->device : nullptr;
  const DeviceRecord* record = gDirect3D ? gDirect3D->device : nullptr;
  std::string text = Format(
      kLogHeaderFormat, sys->versionText, Text(sys->operatingSystemText), Text(sys->directXVersionText),
      Text(sys->graphicsCardText), Text(sys->processorText), sys->physicalMemoryMB, device ? device->width : 0,
      device ? device->height : 0, device ? device->bitDepth : 0,
      (sys->videoFlags & kVideoWindowed) ? "window" : "fullscreen", Text(ShaderProfileName()),
      record ? Text(record->multiSampleName) : "", record ? Text(record->anisotropyName) : "");
  const uint32_t flags2 = sys->d3dFlags2;
  text += Format(kLogSettingsFormat, Text(TextureQualityName()), Text(ShaderQualityName()),
                 Enabled(!(flags2 & kD3D2NoBumpmaps)), Enabled(!(flags2 & kD3D2NoEnvironmentMapping)),
                 Enabled(flags2 & kD3D2GlowFilter), Enabled(!(flags2 & kD3D2NoColorVariations)),
                 Enabled(!(flags2 & kD3D2NoMoreLights)), VertexSizeBytes());
  text += kLogFrameratesTitle;
  const int scenes = MeasuredSceneCount();
  for (int i = 0; i < scenes; ++i) {
    const BenchmarkRecord& record = gBenchmarkRecords[i];
    text += Format(kLogSceneFormat, kBenchmarkSceneNames[i], record.average, record.minimum, record.maximum);
  }
  text += Format(kLogOverallFormat, OverallAverage());
  text += kLogClosingNotice;
  return text;
}

bool WriteBenchmarkLog(const std::tm& when, std::string* resultText) {
  const std::string name = BenchmarkLogName(when);
  // Nothing else of a run reads the product version; the log names the version it measured.
  if (gSystem && gSystem->versionText[0] == '\0') ReadVersionInfo();
  FileObject* file = FileOpenNew(name.c_str(), "w", true);
  // Without a file there is no log to point at; the closing message then stays the plain one.
  if (!file) return false;
  const std::string text = BenchmarkLogText();
  bool written = FileWriteBytes(file, text.data(), text.size()) == text.size();
  if (!FileCloseDelete(file) || !written) return false;

  char* folder = GetUserDataFolder();
  std::string path = std::string(Text(folder)) + "\\" + name;
  FreeString(folder);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (resultText) *resultText = Format(kResultFormat, path.c_str(), OverallAverage());
  return true;
}

void ShutdownAndExit(uint32_t code) {
  GameServices& s = gGameServices;
  gStartup.appActive = 1;
  // A service that fails while it is being stopped must not start the stop a second time; the
  // process then ends as the first shutdown would have.
  if (gShutdownStarted) {
    s.exitProcess(ShutdownExitStatus(gFirstShutdownCode));
    std::abort();
  }
  gShutdownStarted = 1;
  gFirstShutdownCode = code;

  if (gDisplay && code == kShutdownNormal && gSystem && !(gSystem->modeFlags & kModeSettingsSaved)) {
    s.saveSettings();
    gSystem->modeFlags |= kModeSettingsSaved;
  }

  StopServices();

  std::string benchmarkText;
  bool logWritten = false;
  if (code == kShutdownBenchmarkEnd && gDisplay && gDisplay->device && gSystem) {
    std::tm now{};
    s.localTimeNow(&now);
    logWritten = WriteBenchmarkLog(now, &benchmarkText);
  }

  if (gSoundDevice) s.shutdownSound();
  if (gInputState) {
    s.releaseInputDevices();
    MemFree(gInputState, kInputStateRecordSize, 0);
    gInputState = nullptr;
  }
  if (gDisplay) {
    s.releaseDisplay(1);
    gDisplay = nullptr;
  }

  if (code != kShutdownNormal) {
    if (code == kShutdownBenchmarkEnd && logWritten) {
      s.showErrorBox(benchmarkText.c_str());
    } else {
      s.showErrorBox(ComposeShutdownText(code, gFailureDetail).c_str());
      gFailureDetail = FreeString(gFailureDetail);
    }
  }

  if (gSystem) s.freeSystemBlock(code);
  if (gGameState) {
    FreeModuleStringTables(gGameState);
    MemFreeIfSet(gGameState);
    gGameState = nullptr;
  }
  s.exitProcess(ShutdownExitStatus(code));
  std::abort();  // an exit service that returned: the process must still not go on
}

void ApplyDisplayChange() {
  if (gEngine3D) {
    SetEngineScreenMode(ChosenDisplayMode());
  }
  if (!gUniverse) return;
  ListHead* objects = &gUniverse->objects;
  for (SpaceObject* object = ObjectListFirst(objects); object; object = ObjectListNext(object)) {
    RebuildObjectTreeCollision(object);
  }
  for (SpaceObject* object = ObjectListFirst(objects); object; object = ObjectListNext(object)) {
    ApplyTypeSoundToObjectTree(object);
  }
}

void ResetShutdownState() {
  gShutdownStarted = 0;
  gFirstShutdownCode = 0;
}
