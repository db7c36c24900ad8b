// A whole save game of a busy universe (2,000 objects over 20 sectors: every class, ships with
// turrets, dock tables and docked ships, names, instances in the sector scenes, take records with
// actors), written by WriteSaveGame and read back by LoadSaveGame, gzip and every section included,
// in a game with a story loaded, a game state, timers and the sound and movie modules. The universe
// section is read over the type tables as they stand: the world builds them in memory, and the
// type files a running game reloads before the section are not part of what a save holds. The
// closing line says whether the "B3D " section and the "SECT" section up to its take records of a
// save written after the last read equal those of the first save byte for byte. The take records
// are left out: their actor lists follow cuts, and the world's cuts are made in memory, where a
// load cannot bring them back as it brings back a game's cut files. KORVANE_BENCH_SMOKE=1 uses a
// small universe.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/game_state.h"
#include "app/save_game.h"
#include "asm/assembler.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "script/engine.h"
#include "script/loader.h"
#include "script/script_save.h"
#include "script/timers.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/lens_flares.h"
#include "scene/scene_records.h"
#include "scene/take_records.h"
#include "scene/scene.h"
#include "support/universe_save_world.h"
#include "universe/universe_save.h"

namespace {

constexpr int32_t kSlot = 0;
const char kStory[] =
    ".global int 7\n"
    ".func Main main frame=4\n"
    ".class 9\n"
    "  .method Run run\n"
    ".end\n"
    "main: push0\n"
    "  ret\n"
    "run: push1\n"
    "  ret\n";

struct Game {
  std::string folder;
  std::unique_ptr<UniverseSaveWorld> world;
  GameStateBlock state{};
  TimerState* timers = nullptr;
  ScriptEngine* engine = nullptr;
  AsmResult story;
  std::string first;  // the first save's bytes
};

Game* gGame = nullptr;

bool LoadStory(ScriptEngine* engine, const char* name) {
  return LoadScriptStoreFromMemory(engine, name, gGame->story.bytes.data(), uint32_t(gGame->story.bytes.size()));
}

std::string SavePath() {
  char name[64];
  SaveGameFileName(kSlot + 1, name, sizeof name);
  // The name may use either separator; the file is found by its last part.
  std::string file = name;
  const size_t cut = file.find_last_of("/\\");
  if (cut != std::string::npos) file = file.substr(cut + 1);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(gGame->folder)) {
    if (entry.path().filename().string() == file) return entry.path().string();
  }
  return {};
}

// The uncompressed bytes of the save.
std::string SaveBytes() {
  FileObject file;
  FileObjectInit(&file);
  std::string out;
  if (!FileOpen(&file, SavePath().c_str(), "rb", false)) return out;
  char buffer[65536];
  size_t n;
  while ((n = FileReadBytes(&file, buffer, sizeof buffer)) > 0) out.append(buffer, n);
  FileClose(&file);
  return out;
}

// The bytes from `tag` up to `next` (exclusive), searched from `from`.
std::string Section(const std::string& save, const char* tag, const char* next, size_t from = 0) {
  const size_t at = save.find(tag, from);
  if (at == std::string::npos) return {};
  const size_t end = save.find(next, at + 4);
  return end == std::string::npos ? std::string() : save.substr(at, end - at);
}

std::string Sections(const std::string& save) {
  const size_t gala = save.find("GALA");
  return Section(save, "B3D ", "MOVI") + "|" + Section(save, "SECT", "STAK", gala == std::string::npos ? 0 : gala);
}

// A game started from a save begins with an empty universe and an empty scene engine world (its
// scenes, instances and takes); the cuts stay loaded, as the game's cut files would load them.
void EmptyGame() {
  FreeAllObjects(&gGame->world->universe());
  HashTable* takes = gEngine3D->takeTable;
  while (uint32_t key = HashNextKey(takes, 0)) {
    auto* take = reinterpret_cast<TakeRecord*>(HashRemove(takes, key));
    if (take->instances) EngineFree(take->instances, static_cast<uint32_t>(take->instanceCount) * 4);
    EngineFree(take, sizeof(TakeRecord));
  }
  while (ListNode* n = ListFirst(&gEngine3D->scenes)) B3D_SceneFree(ListRecord<SceneRecord>(n));
  while (ListNode* n = ListFirst(&gEngine3D->instances)) FreeInstance(InstanceOfNode(n));
  gEngine3D->lensFlareScene = nullptr;
}

bool SetUp() {
  const bool smoke = std::getenv("KORVANE_BENCH_SMOKE") != nullptr;
  gGame = new Game;
  char pattern[] = "/tmp/korvane-save-bench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  gGame->folder = pattern;
  // The user data folder is worked out once per process: set before the first save.
  setenv("XDG_DOCUMENTS_DIR", (gGame->folder + "/Docs").c_str(), 1);
  gGame->world = std::make_unique<UniverseSaveWorld>();
  gGame->world->FillBusy(smoke ? 2 : 20, smoke ? 100 : 2000);
  // A running game has its lens-flare scene from the first frame, and every load makes sure of it.
  EnsureLensFlareScene();
  SystemBlock& system = gGame->world->clock();
  system.timeScale = system.secondTimeScale = 0x10000;
  system.product = &kProductRecord;
  gGameState = InitGameStateBlock(&gGame->state);
  gGame->state.subMode = 9;  // the story's class
  gGame->timers = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
  InitTimerModule(gGame->timers);
  gTimerState = gGame->timers;
  if (!InitSoundModule() || !InitMovieModule()) return false;
  gGame->engine = CreateScriptEngine();
  if (!gGame->engine) return false;
  gScriptEngine = gGame->engine;
  gGame->story = Assemble(kStory);
  if (!gGame->story.ok) return false;
  SetScriptStateLoader(LoadStory);
  gSaveSections[4].read = ReadUniverseSection;
  return LoadStory(gGame->engine, "story\\main");
}

void TearDown() {
  if (!gGame) return;
  ResetSaveSections();
  SetScriptStateLoader(nullptr);
  if (gGuiMaster) {
    FreeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
  }
  ShutdownMovieModule();
  ShutdownSoundModule();
  ClearTimerEvents(gGame->timers);
  gTimerState = nullptr;
  MemFreeIfSet(gGame->timers);
  if (gGame->engine) {
    UnloadScriptStore(gGame->engine);
    FreeEngineTables(gGame->engine);
    MemFreeIfSet(gGame->engine);
  }
  gScriptEngine = nullptr;
  FreeModuleStringTables(&gGame->state);
  gGame->state.startString = FreeString(gGame->state.startString);
  gGameState = nullptr;
  gGame->world.reset();
  std::error_code ignored;
  std::filesystem::remove_all(gGame->folder, ignored);
  delete gGame;
  gGame = nullptr;
}

void BM_WriteSaveGame(benchmark::State& state) {
  for (auto _ : state) {
    if (!WriteSaveGame(kSlot, "busy universe", "bench", 1)) {
      state.SkipWithError("write failed");
      break;
    }
  }
  if (gGame->first.empty()) gGame->first = SaveBytes();
  state.counters["objects"] = static_cast<double>(HashCount(gGame->world->universe().idHash));
}
BENCHMARK(BM_WriteSaveGame)->Unit(benchmark::kMillisecond);

void BM_LoadSaveGame(benchmark::State& state) {
  if (!WriteSaveGame(kSlot, "busy universe", "bench", 1)) {
    state.SkipWithError("write failed");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    EmptyGame();
    ClearTimerEvents(gGame->timers);
    state.ResumeTiming();
    if (LoadSaveGame(kSlot) != 1) {
      state.SkipWithError("read failed");
      break;
    }
  }
  state.counters["objects"] = static_cast<double>(HashCount(gGame->world->universe().idHash));
}
BENCHMARK(BM_LoadSaveGame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!SetUp()) {
    std::fprintf(stderr, "the game could not be set up\n");
    TearDown();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  // The last load left the game as the save describes it: save again and compare the sections.
  const bool written = WriteSaveGame(kSlot, "busy universe", "bench", 1);
  const std::string again = written ? Sections(SaveBytes()) : std::string();
  const std::string first = Sections(gGame->first);
  const bool same = written && first.size() > 10 && again == first;
  std::printf("\"B3D \" and \"SECT\" (to its take records) of a save written after loading equal the first save's: %s (%zu bytes)\n",
              same ? "yes" : "no", first.size());
  TearDown();
  benchmark::Shutdown();
  return same ? 0 : 1;
}
