// The game a save is read into; see save_world.h.
#include "save_world.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/game_state.h"
#include "app/save_game.h"
#include "asm/assembler.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "engine_types/demo_universe_types.h"
#include "engine_types/type_file_writer.h"
#include "frontend/frontend.h"
#include "fuzz_support.h"
#include "replay_world.h"
#include "script/engine.h"
#include "script/loader.h"
#include "script/script_save.h"
#include "script/timers.h"
#include "universe/universe.h"

namespace fuzz {

namespace {

// Globals of every kind and a class with fields, so the saved script state has values of every
// kind to write and to read back.
const char kStory[] =
    ".global int 7\n"
    ".global str \"hello\"\n"
    ".global float 1.5\n"
    ".global array\n"
    ".global table\n"
    ".func Main main frame=4\n"
    ".func Wait wait frame=2\n"
    ".class 9\n"
    "  .method Run run\n"
    "  .field int 90\n"
    "  .field str \"field\"\n"
    ".end\n"
    "main:\n"
    "  check 4\n"
    "  pushb 3\n"
    "  mkarray 1\n"
    "  mvg 3\n"
    "  push0\n"
    "  ret\n"
    "wait: push1\n"
    "  ret\n"
    "run: push2\n"
    "  ret\n";

std::string gSavePath;
GameStateBlock gState;
TimerState* gTimers = nullptr;
AsmResult* gStoryBytes = nullptr;
UniverseBlock gUniverseBlock;

// The universe a save's "SECT" section is read into, with the demo's type files, which the
// section's reader loads again before every read.
void SetUpUniverse() {
  std::vector<typetool::TypeFile> files = typetool::DemoUniverseAuxFiles();
  for (const typetool::TypeFile& file : typetool::DemoUniverseClassFiles()) files.push_back(file);
  std::filesystem::create_directories(World() + "/types");
  for (const typetool::TypeFile& file : files) {
    if (!typetool::WriteTypeFile(World() + "/types/" + file.name + ".txt", file.fields, false)) std::abort();
  }
  ListInit(&gUniverseBlock.objects);
  gUniverseBlock.idHash = HashCreate();
  gUniverseBlock.takeHash = HashCreate();
  gUniverse = &gUniverseBlock;
  if (!LoadTypes(gUniverse)) std::abort();
}

bool LoadStory(ScriptEngine* engine, const char* name) {
  return LoadScriptStoreFromMemory(engine, name, gStoryBytes->bytes.data(), uint32_t(gStoryBytes->bytes.size()));
}

}  // namespace

bool LoadSaveWorldStory() { return LoadStory(Engine(), "story\\main"); }

void ResetSaveWorld() {
  ClearTimerEvents(gTimers);
  if (gGuiMaster) FreeAllCockpits(gGuiMaster);
  while (FirstMovie()) MovieRelease(FirstMovie());
  MOV_FreeVoiceInfo();
  UnloadScriptStore(Engine());
  FreeAllObjects(gUniverse);
  ClearReplayEngine();
}

const std::string& SaveWorld() {
  if (!gSavePath.empty()) return gSavePath;
  SystemBlock* block = Block();
  block->timeScale = 0x10000;
  block->secondTimeScale = 0x10000;
  std::memset(&gState, 0, sizeof gState);
  gGameState = InitGameStateBlock(&gState);
  Engine();
  gTimers = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
  InitTimerModule(gTimers);
  gTimerState = gTimers;
  // The save holds a sound section only while the sound state exists, as in a running game.
  if (!InitSoundModule()) std::abort();
  if (!InitMovieModule()) std::abort();
  gStoryBytes = new AsmResult(Assemble(kStory));
  if (!gStoryBytes->ok) std::abort();
  SetScriptStateLoader(LoadStory);
  SetUpUniverse();
  // The scene engine a running game has, so the "B3D " section is read in full.
  SetUpReplayEngine();
  // One save written to learn where slot 0's file lies.
  if (!LoadSaveWorldStory() || !WriteSaveGame(0, "first", "second", 5)) std::abort();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(World())) {
    if (entry.path().filename().string().find("01.sav") != std::string::npos) gSavePath = entry.path().string();
  }
  if (gSavePath.empty()) std::abort();
  ResetSaveWorld();
  return gSavePath;
}

}  // namespace fuzz
