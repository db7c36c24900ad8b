// The save-game container: file names and slots, the header, the "SYSB" and "TIME" chunks, the
// sections of the subsystems in their fixed order, the ring of automatic saves and the reader's
// checks. Called by the game loop (WriteSaveGame at a requested save, ReadSaveGame before a game
// that starts from a save). Each section's content belongs to its subsystem; this file only
// orders them. A save replaces the slot's file only by renaming a temporary file that was
// written and closed without a single failed write, so a failed save never costs the last good
// one; the reader checks every length and tag and never reads past what the stream holds.
#include "app/save_game.h"

#include <cstdio>
#include <cstring>

#include "app/game_main.h"
#include "app/game_state.h"
#include "app/general_init.h"
#include "app/shutdown.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "script/script_save.h"
#include "script/timers.h"
#include "universe/universe.h"
#include "universe/universe_save.h"

namespace {

constexpr char kTagSave[] = "LSAV";
constexpr char kTagSystem[] = "SYSB";
constexpr char kTagTimers[] = "TIME";
constexpr char kTagRandom[] = "RAND";
constexpr char kTagSimulation[] = "SIMS";
constexpr char kTagCameras[] = "CAMS";
constexpr char kTagCounters[] = "IDS ";
constexpr uint32_t kCountersVersion = 1;
constexpr uint32_t kHighestCounter = 0x7FFFFFFE;  // the tables' keys wrap to 1 after it
constexpr int kCounterCount = 4;
constexpr char kTagEnd[] = "/LSA";
constexpr size_t kTagSize = 4;
constexpr size_t kSaveNameSize = 64;

// Section adapters: the subsystems answer in their own types; the container wants true or false.
bool WriteScriptSection(FileObject* file) { return WriteScriptState(file); }
// The header's sub-mode names the story object the game's events go to. A save whose story has
// no such object could never be played: its events would reach nobody and a story that reloads
// its save on a missing answer would do so for ever. Such a save is as corrupt as a broken one.
bool ReadScriptSection(FileObject* file) {
  return ReadScriptState(file) && gGameState && FindScriptObject(gScriptEngine, gGameState->subMode) != nullptr;
}
bool WriteEngineSection(FileObject* file) { return SaveEngineState(file) != 0; }
bool ReadEngineSection(FileObject* file) { return LoadEngineState(file) != 0; }
bool WriteMovieSection(FileObject* file) { return WriteMovieState(file) != 0; }
bool ReadMovieSection(FileObject* file) { return ReadMovieState(file) != 0; }
bool WriteSoundSection(FileObject* file) { return WriteSoundState(file) != 0; }
bool ReadSoundSection(FileObject* file) { return ReadSoundState(file) != 0; }

constexpr SaveSection kDefaultSections[kSaveSectionCount] = {
    {"STOR", WriteScriptSection, ReadScriptSection},
    {"B3D ", WriteEngineSection, ReadEngineSection},
    {"MOVI", WriteMovieSection, ReadMovieSection},
    {"GALA", WriteGalaxyChunk, ReadGalaxyChunk},
    {"SECT", WriteUniverse, ReadUniverse},
    {"INS ", WriteCockpitChunk, ReadCockpitChunk},
    {"SFX ", WriteSoundSection, ReadSoundSection},
};

// ---------------------------------------------------------------------------------------------
// Writing

bool WriteTag(FileObject* file, const char* tag) { return FileWriteBytes(file, tag, kTagSize) == kTagSize; }

// A missing text is written as the empty text: the length word always matches the bytes. A
// text longer than `limit` bytes is cut before the character that would cross it.
bool WriteText(FileObject* file, const char* text, size_t limit) {
  const size_t full = text ? std::strlen(text) : 0;
  size_t length = full < limit ? full : limit;
  while (length > 0 && length < full && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  if (!FileWriteInt32BE(file, static_cast<uint32_t>(length))) return false;
  return length == 0 || FileWriteBytes(file, text, length) == length;
}

bool WriteHeader(FileObject* file, const char* caption1, const char* caption2, uint32_t word) {
  const ScriptEngine* engine = gScriptEngine;
  const char* story = engine ? engine->scriptName : nullptr;
  const uint32_t storyWord = engine ? engine->headerWord : 0;
  const int32_t subMode = gGameState ? gGameState->subMode : 0;
  const int32_t parameter = gGameState ? gGameState->parameter : 0;
  // A story name the list of saves would refuse makes a save nobody could choose to load.
  if (story && std::strlen(story) > kSaveListStoryNameLimit) return false;
  return WriteTag(file, kTagSave) && WriteText(file, caption1, kSaveListCaptionLimit) &&
         WriteText(file, caption2, kSaveListCaptionLimit) && WriteText(file, story, kSaveListStoryNameLimit) &&
         FileWriteInt32BE(file, storyWord) && FileWriteInt32BE(file, word) &&
         FileWriteInt32BE(file, static_cast<uint32_t>(subMode)) &&
         FileWriteInt32BE(file, static_cast<uint32_t>(parameter));
}

bool WriteSystemChunk(FileObject* file) {
  if (!gSystem) return false;
  const uint32_t words[] = {gSystem->frameStep, gSystem->gameTime, gSystem->realTime,
                            gSystem->timeScale, gSystem->language, gSystem->launcherWord};
  if (!WriteTag(file, kTagSystem)) return false;
  for (uint32_t word : words) {
    if (!FileWriteInt32BE(file, word)) return false;
  }
  return true;
}

// The timed list in list order; the immediate list is not part of a save.
bool WriteTimerChunk(FileObject* file) {
  uint32_t count = 0;
  const TimerState* state = gTimerState;
  if (state) {
    for (const TimerNode* node = FirstTimedNode(state); node; node = NextTimedNode(node)) ++count;
  }
  if (!WriteTag(file, kTagTimers) || !FileWriteInt32BE(file, count)) return false;
  if (!state) return true;
  for (const TimerNode* node = FirstTimedNode(state); node; node = NextTimedNode(node)) {
    const uint32_t words[] = {node->dueTime, static_cast<uint32_t>(static_cast<int32_t>(node->module)), node->cookie,
                              node->flags, static_cast<uint32_t>(node->interruptId)};
    for (uint32_t word : words) {
      if (!FileWriteInt32BE(file, word)) return false;
    }
  }
  return true;
}

// The random generator's state, so a loaded game draws what the saved one would have drawn.
// Written after the sections; a save without it (written before it existed) still reads.
bool WriteRandomChunk(FileObject* file) {
  return WriteTag(file, kTagRandom) && FileWriteInt32BE(file, GameRandState());
}

// The simulation's per-object state the universe section leaves out, so a loaded game steers as
// the saved one would have. Written after the sections, before the generator's state; a save
// without it still reads.
bool WriteSimulationChunk(FileObject* file) { return WriteTag(file, kTagSimulation) && WriteSimulationState(file); }

// The camera words the universe section has no place for, so a loaded camera stops and follows
// as the saved one did. Written after the simulation chunk; a save without it still reads.
bool WriteCameraChunk(FileObject* file) { return WriteTag(file, kTagCameras) && WriteCameraState(file); }

// The key counters of the object ids and of the engine's instance, scene and take handles, in
// that order. The sections bring back only the records, so without them a loaded game would
// number its next object or instance on from the highest one read, not from where the saved
// game had got to (records made and freed before the save). A version word leads.
void CounterTables(HashTable* (&tables)[kCounterCount]) {
  tables[0] = gUniverse ? gUniverse->idHash : nullptr;
  tables[1] = gEngine3D ? gEngine3D->handleTable : nullptr;
  tables[2] = gEngine3D ? gEngine3D->sceneTable : nullptr;
  tables[3] = gEngine3D ? gEngine3D->takeTable : nullptr;
}

bool WriteCounterChunk(FileObject* file) {
  HashTable* tables[kCounterCount];
  CounterTables(tables);
  if (!WriteTag(file, kTagCounters) || !FileWriteInt32BE(file, kCountersVersion)) return false;
  for (const HashTable* table : tables) {
    if (!FileWriteInt32BE(file, HashGetKeyCounter(table))) return false;
  }
  return true;
}

bool WriteSections(FileObject* file) {
  for (int i = 0; i < kSaveSectionCount; ++i) {
    const SaveSection& section = gSaveSections[i];
    if (i == kSaveSectionCockpit && gGuiMaster == nullptr) continue;
    if (section.write == nullptr || !section.write(file)) return false;
  }
  return true;
}

// A save number is in use when its file holds at least one byte.
bool SaveInUse(int32_t number) {
  char name[kSaveNameSize];
  SaveGameFileName(number, name, sizeof name);
  return FileGetSize(name, true) > 0;
}

bool MoveSave(int32_t fromNumber, int32_t toNumber) {
  char from[kSaveNameSize], to[kSaveNameSize];
  SaveGameFileName(fromNumber, from, sizeof from);
  SaveGameFileName(toNumber, to, sizeof to);
  return FileRename(from, to, true);
}

// The ring of automatic saves: the saves present are packed towards its first slot in their
// order, and when all three are in use the oldest is dropped; the slot the new save goes to
// comes back (-1 when a save could not be moved: then nothing is overwritten), so the new save
// is always the newest of the ring.
int32_t RotateAutoSaves() {
  int32_t slot = kAutoSaveFirstSlot;
  const int32_t end = kAutoSaveFirstSlot + kAutoSaveSlotCount;
  for (int32_t i = kAutoSaveFirstSlot; i < end; ++i) {
    if (!SaveInUse(i + 1)) continue;
    if (slot < i && !MoveSave(i + 1, slot + 1)) return -1;
    ++slot;
  }
  if (slot == end) {
    char oldest[kSaveNameSize];
    SaveGameFileName(kAutoSaveFirstSlot + 1, oldest, sizeof oldest);
    FileRemove(oldest, true);
    for (int32_t i = kAutoSaveFirstSlot + 1; i < end; ++i) {
      if (!MoveSave(i + 1, i)) return -1;
    }
    slot = end - 1;
  }
  return slot;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool ExpectTag(FileObject* file, const char* tag) {
  char bytes[kTagSize];
  return FileReadBytes(file, bytes, kTagSize) == kTagSize && std::memcmp(bytes, tag, kTagSize) == 0;
}

// What the trailing chunks hold that is taken only once the whole save has been read, so a
// refused save leaves the running generator and counters alone.
struct TrailingState {
  uint32_t randomState = 0;
  bool hasRandomState = false;
  uint32_t counters[kCounterCount] = {};
  bool hasCounters = false;
};

bool ReadCounterChunk(FileObject* file, TrailingState* out) {
  uint32_t version = 0;
  if (!ReadSaveWord(file, &version) || version != kCountersVersion) return false;
  for (uint32_t& counter : out->counters) {
    if (!ReadSaveWord(file, &counter) || counter > kHighestCounter) return false;
  }
  out->hasCounters = true;
  return true;
}

void ApplyTrailingState(const TrailingState& t) {
  if (t.hasRandomState) GameSrand(t.randomState);
  if (!t.hasCounters) return;
  HashTable* tables[kCounterCount];
  CounterTables(tables);
  for (int i = 0; i < kCounterCount; ++i) HashSetKeyCounter(tables[i], t.counters[i]);
}

// The simulation chunk, the camera chunk, the counters and the random state, each when the save
// has it and in that order, then the end marker. The first two go straight into the universe the
// sections read.
bool ReadTrailingChunks(FileObject* file, TrailingState* out) {
  char bytes[kTagSize];
  if (FileReadBytes(file, bytes, kTagSize) != kTagSize) return false;
  if (std::memcmp(bytes, kTagSimulation, kTagSize) == 0) {
    if (!ReadSimulationState(file) || FileReadBytes(file, bytes, kTagSize) != kTagSize) return false;
  }
  if (std::memcmp(bytes, kTagCameras, kTagSize) == 0) {
    if (!ReadCameraState(file) || FileReadBytes(file, bytes, kTagSize) != kTagSize) return false;
  }
  if (std::memcmp(bytes, kTagCounters, kTagSize) == 0) {
    if (!ReadCounterChunk(file, out) || FileReadBytes(file, bytes, kTagSize) != kTagSize) return false;
  }
  out->hasRandomState = std::memcmp(bytes, kTagRandom, kTagSize) == 0;
  if (!out->hasRandomState) return std::memcmp(bytes, kTagEnd, kTagSize) == 0;
  return ReadSaveWord(file, &out->randomState) && ExpectTag(file, kTagEnd);
}


// Skips a text without keeping it.
bool SkipText(FileObject* file, uint32_t limit) {
  char* text = nullptr;
  uint32_t length = 0;
  if (!ReadSaveText(file, limit, &text, &length)) return false;
  FreeSaveText(&text, length);
  return true;
}

bool ReadHeader(FileObject* file) {
  if (!ExpectTag(file, kTagSave)) return false;
  if (!SkipText(file, kSaveCaptionLimit) || !SkipText(file, kSaveCaptionLimit)) return false;
  char* story = nullptr;
  uint32_t storyLength = 0;
  if (!ReadSaveText(file, kSaveStoryNameLimit, &story, &storyLength)) return false;
  SetStartLocation(story);
  FreeSaveText(&story, storyLength);
  uint32_t storyWord = 0, word = 0, subMode = 0, parameter = 0;
  if (!ReadSaveWord(file, &storyWord) || !ReadSaveWord(file, &word) || !ReadSaveWord(file, &subMode) ||
      !ReadSaveWord(file, &parameter)) {
    return false;
  }
  gGameState->subMode = static_cast<int32_t>(subMode);
  gGameState->parameter = static_cast<int32_t>(parameter);
  return true;
}

// The running language and launcher word stay: only the clocks come back.
bool ReadSystemChunk(FileObject* file) {
  if (!ExpectTag(file, kTagSystem)) return false;
  uint32_t words[6];
  for (uint32_t& word : words) {
    if (!ReadSaveWord(file, &word)) return false;
  }
  gSystem->frameStep = words[0];
  gSystem->gameTime = words[1];
  gSystem->realTime = words[2];
  gSystem->timeScale = words[3];
  return true;
}

// Timers pending at the save come back at the tail of the timed list, behind whatever it holds;
// nothing is woken here. (A game's teardown already woke and dropped its own timers before a
// save is read, so the list is empty in the game's own course.) A node names a module row that
// must exist in the running engine: anything else is a corrupt save.
bool ReadTimerChunk(FileObject* file) {
  uint32_t count = 0;
  if (!ExpectTag(file, kTagTimers) || !ReadSaveWord(file, &count)) return false;
  TimerState* state = gTimerState;
  if (count == 0) return true;
  if (!state || !gScriptEngine) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t due = 0, module = 0, cookie = 0, flags = 0, last = 0;
    if (!ReadSaveWord(file, &due) || !ReadSaveWord(file, &module) || !ReadSaveWord(file, &cookie) || !ReadSaveWord(file, &flags) ||
        !ReadSaveWord(file, &last)) {
      return false;
    }
    const int32_t moduleIndex = static_cast<int32_t>(module);
    if (moduleIndex < 0 || moduleIndex >= gScriptEngine->moduleCount) return false;
    TimerNode* node = AllocTimerNode(state);
    if (node == nullptr) return false;
    node->dueTime = due;
    node->module = static_cast<int16_t>(moduleIndex);
    node->cookie = cookie;
    node->flags |= static_cast<uint16_t>(flags & 0xFFFF & ~uint32_t(kTimerNodePooled));
    node->interruptId = static_cast<int32_t>(last);
    AppendTimedNode(state, node);
  }
  return true;
}

// A fresh GUI master for the cockpit section; one left from an earlier game is let go first.
bool MakeGuiMaster() {
  if (gGuiMaster) {
    FreeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
  }
  auto* master = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
  if (master == nullptr) return false;
  if (InitGuiMaster(master) == nullptr) {
    MemFreeIfSet(master);
    return false;
  }
  gGuiMaster = master;
  return true;
}

// True when the next bytes are `tag`; the stream is put back where it was either way.
bool NextTagIs(FileObject* file, const char* tag) {
  char bytes[kTagSize];
  const size_t got = FileReadBytes(file, bytes, kTagSize);
  if (got > 0 && !FileSeek(file, -static_cast<long>(got), 1)) return false;
  return got == kTagSize && std::memcmp(bytes, tag, kTagSize) == 0;
}

bool ReadSections(FileObject* file) {
  for (int i = 0; i < kSaveSectionCount; ++i) {
    const SaveSection& section = gSaveSections[i];
    if (i == kSaveSectionCockpit) {
      // The cockpits come back into a new GUI master; without one the reader cannot run. A
      // save written while no GUI master existed holds no cockpit section at all.
      if (!MakeGuiMaster()) continue;
      if (!NextTagIs(file, section.tag)) continue;
    }
    if (section.read == nullptr || !section.read(file)) return false;
  }
  return true;
}

}  // namespace

bool ReadSaveWord(FileObject* file, uint32_t* word) {
  unsigned char bytes[4];
  if (FileReadBytes(file, bytes, sizeof bytes) != sizeof bytes) return false;
  *word = LoadBE32(bytes);
  return true;
}

// A length-prefixed text of at most `limit` bytes into a new accounted buffer of length + 1
// bytes (terminated), freed with FreeSaveText. False for a longer or truncated text.
bool ReadSaveText(FileObject* file, uint32_t limit, char** text, uint32_t* length) {
  *text = nullptr;
  if (!ReadSaveWord(file, length) || *length > limit) return false;
  char* buffer = static_cast<char*>(MemAlloc(*length + 1, 0));
  if (buffer == nullptr) return false;
  if (FileReadBytes(file, buffer, *length) != *length) {
    MemFree(buffer, *length + 1, 0);
    return false;
  }
  buffer[*length] = '\0';
  *text = buffer;
  return true;
}

void FreeSaveText(char** text, uint32_t length) {
  if (*text) MemFree(*text, length + 1, 0);
  *text = nullptr;
}

SaveSection gSaveSections[kSaveSectionCount] = {
    kDefaultSections[0], kDefaultSections[1], kDefaultSections[2], kDefaultSections[3],
    kDefaultSections[4], kDefaultSections[5], kDefaultSections[6],
};

void ResetSaveSections() {
  for (int i = 0; i < kSaveSectionCount; ++i) gSaveSections[i] = kDefaultSections[i];
}

void SaveGameFileName(int32_t number, char* out, size_t size) {
  std::snprintf(out, size, kProductRecord.saveTemplate, number);
}

bool WriteSaveGame(int32_t slot, const char* caption1, const char* caption2, uint32_t word) {
  // A negative slot names no save file ("Ulnar00", "Ulnar-3"): refused before anything moves.
  if (slot < 0) return false;
  StopAllMovies();
  ClearEffectInstances();
  FreeEffectGroups();
  BodyCacheTick();
  MakeDirectory(kProductRecord.saveFolder, 1);

  char tempName[kSaveNameSize];
  SaveGameFileName(kTempSaveNumber, tempName, sizeof tempName);
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, tempName, "wb", true)) return false;
  bool ok = WriteHeader(&file, caption1, caption2, word) && WriteSystemChunk(&file) &&
            WriteTimerChunk(&file) && WriteSections(&file) &&
            WriteSimulationChunk(&file) && WriteCameraChunk(&file) && WriteCounterChunk(&file) &&
            WriteRandomChunk(&file) &&
            WriteTag(&file, kTagEnd);
  // Closing flushes the compressor: a save whose last bytes never reached the disk is no save.
  const bool closed = FileCloseHandle(&file);
  FileClose(&file);
  if (!ok || !closed) return false;

  if (slot >= kAutoSaveFirstSlot) slot = RotateAutoSaves();
  if (slot < 0) return false;
  char target[kSaveNameSize];
  SaveGameFileName(slot + 1, target, sizeof target);
  // The rename replaces an older save in one step, so the slot always holds a whole save.
  ok = FileRename(tempName, target, true);
  UpdateFrameClock();
  return ok;
}

int32_t LoadSaveGame(int32_t slot) {
  StopAllMovies();
  char name[kSaveNameSize];
  SaveGameFileName(slot + 1, name, sizeof name);
  FileObject file;
  FileObjectInit(&file);
  // Only the slots a save can be written to are read: never the temporary file, never a
  // negative number.
  bool ok = slot >= 0 && slot + 1 < kTempSaveNumber && gGameState && gSystem &&
            FileOpen(&file, name, "rb", true);
  // The end marker closes the save: bytes after it, or a compressed stream cut before its
  // trailer, make a save nobody wrote whole.
  TrailingState trailing;
  ok = ok && ReadHeader(&file) && ReadSystemChunk(&file) && ReadTimerChunk(&file) && ReadSections(&file) &&
       ReadTrailingChunks(&file, &trailing) && FileReadAtEnd(&file);
  if (!ok) {
    ClearTimerEvents(gTimerState);
    FileClose(&file);
    SetFailureDetail(name);
    return 0;
  }
  FreeAllInstancesForLoad();
  ApplyTrailingState(trailing);
  UpdateFrameClock();
  RestartFrameTimes();
  FileClose(&file);
  return 1;
}

int32_t ReadSaveGame(int32_t slot) {
  if (!LoadSaveGame(slot)) ShutdownAndExit(kShutdownBadSaveGame);
  return 1;
}
