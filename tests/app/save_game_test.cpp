// The save-game container in a temporary user folder: the byte layout of a written save (read
// back with zlib), a write/read round trip of the header, clocks and timers, the slot files and
// the ring of automatic saves, a failing section that keeps the last good save, the reader's
// limits, and damaged saves (truncated, bit-flipped, bad module index) rejected without reading
// past their end.
#include "app/save_game.h"

#include <gtest/gtest.h>

#include "scene/instance_tree.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game_main.h"
#include "app/game_services.h"
#include "app/game_state.h"
#include "core/byte_order.h"
#include "core/hash_table.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "frontend/frontend.h"
#include "script/engine.h"
#include "script/script_save.h"
#include "script/timers.h"
#include "scene/engine_records.h"
#include "scene/list_records.h"
#include "universe/universe.h"
#include "support/engine_fixture.h"
#include "support/fake_movies.h"
#include "support/script_runner.h"
#include "support/temp_dir.h"

namespace {

// The user data folder is worked out once per process: one documents folder for every test.
class DocumentsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    documents_ = new TempDir();
    setenv("XDG_DOCUMENTS_DIR", documents_->File("Docs").c_str(), 1);
  }
  void TearDown() override {
    delete documents_;
    documents_ = nullptr;
  }
  static std::string SaveFolder() { return documents_->File("Docs") + "/Korvane/VexaNL/save"; }

 private:
  static TempDir* documents_;
};
TempDir* DocumentsEnvironment::documents_ = nullptr;
::testing::Environment* const kDocuments = ::testing::AddGlobalTestEnvironment(new DocumentsEnvironment);

std::string SavePath(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "Ulnar%02d.sav", number);
  return DocumentsEnvironment::SaveFolder() + "/" + name;
}

std::string Gunzip(const std::string& path) {
  gzFile gz = gzopen(path.c_str(), "rb");
  if (!gz) return {};
  std::string out;
  char buffer[4096];
  int n;
  while ((n = gzread(gz, buffer, sizeof buffer)) > 0) out.append(buffer, n);
  gzclose(gz);
  return out;
}

void GzipTo(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  gzFile gz = gzopen(path.c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  if (!bytes.empty()) gzwrite(gz, bytes.data(), unsigned(bytes.size()));
  gzclose(gz);
}

void WritePlain(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string ReadPlain(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

bool IsGzipSave(const std::string& path) {
  const std::string bytes = ReadPlain(path);
  return bytes.size() > 2 && uint8_t(bytes[0]) == 0x1F && uint8_t(bytes[1]) == 0x8B;
}

// Expected bytes, big-endian words and length-prefixed texts.
struct Bytes {
  std::string s;
  Bytes& Tag(const char* tag) { s.append(tag, 4); return *this; }
  Bytes& Word(uint32_t w) {
    unsigned char b[4];
    StoreBE32(b, w);
    s.append(reinterpret_cast<char*>(b), 4);
    return *this;
  }
  Bytes& Text(const std::string& t) { Word(uint32_t(t.size())); s += t; return *this; }
};

// Fake sections: each writes its tag and its index, and its reader wants exactly that back.
std::vector<std::string> gSectionCalls;
int gFailingWriter = -1;

template <int I>
bool FakeWrite(FileObject* file) {
  gSectionCalls.push_back(std::string("w:") + gSaveSections[I].tag);
  if (I == gFailingWriter) return false;
  return FileWriteBytes(file, gSaveSections[I].tag, 4) == 4 && FileWriteInt32BE(file, I);
}

template <int I>
bool FakeRead(FileObject* file) {
  gSectionCalls.push_back(std::string("r:") + gSaveSections[I].tag);
  char tag[4];
  if (FileReadBytes(file, tag, 4) != 4 || std::memcmp(tag, gSaveSections[I].tag, 4) != 0) return false;
  unsigned char word[4];
  return FileReadBytes(file, word, 4) == 4 && LoadBE32(word) == uint32_t(I);
}

void BindFakeSections() {
  gSaveSections[0].write = FakeWrite<0>; gSaveSections[0].read = FakeRead<0>;
  gSaveSections[1].write = FakeWrite<1>; gSaveSections[1].read = FakeRead<1>;
  gSaveSections[2].write = FakeWrite<2>; gSaveSections[2].read = FakeRead<2>;
  gSaveSections[3].write = FakeWrite<3>; gSaveSections[3].read = FakeRead<3>;
  gSaveSections[4].write = FakeWrite<4>; gSaveSections[4].read = FakeRead<4>;
  gSaveSections[5].write = FakeWrite<5>; gSaveSections[5].read = FakeRead<5>;
  gSaveSections[6].write = FakeWrite<6>; gSaveSections[6].read = FakeRead<6>;
}

const char* const kSectionTags[] = {"STOR", "B3D ", "MOVI", "GALA", "SECT", "INS ", "SFX "};

class SaveGameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    system_ = SystemBlock{};
    system_.product = &kProductRecord;
    system_.timeScale = 0x10000;
    system_.secondTimeScale = 0x10000;
    gSystem = &system_;
    std::memset(&state_, 0, sizeof state_);
    gGameState = InitGameStateBlock(&state_);
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_TRUE(InitEngineContext(engine_));
    timers_ = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
    InitTimerModule(timers_);
    gTimerState = timers_;
    BindFakeSections();
    gSectionCalls.clear();
    gFailingWriter = -1;
    std::filesystem::remove_all(DocumentsEnvironment::SaveFolder());
  }

  void TearDown() override {
    ClearTimerEvents(timers_);
    gTimerState = nullptr;
    MemFreeIfSet(timers_);
    if (gGuiMaster) {
      FreeAllCockpits(gGuiMaster);
      MemFree(gGuiMaster, sizeof(GuiMaster), 0);
      gGuiMaster = nullptr;
    }
    engine_->scriptName = FreeString(engine_->scriptName);
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
    FreeModuleStringTables(&state_);
    gGameState = nullptr;
    gSystem = nullptr;
    gFailureDetail = FreeString(gFailureDetail);
    ResetSaveSections();
  }

  // A game to save: story, modes, clocks and two pending timers.
  void SetUpGame() {
    engine_->scriptName = ReplaceString(engine_->scriptName, "story\\main");
    engine_->headerWord = 0x00C0FFEE;
    state_.subMode = 102;
    state_.parameter = 1203;
    system_.frameStep = 16;
    system_.gameTime = 500000;
    system_.realTime = 600000;
    system_.timeScale = 0x18000;
    system_.language = 49;
    system_.launcherWord = 7;
    AddGameTimers();
  }

  void AddGameTimers() {
    AddTimer(510000, 1, 77, kTimerNodeInterruptible, 9);
    AddTimer(520000, 1, 78, 0, 0);
  }

  void AddTimer(uint32_t due, int16_t module, uint32_t cookie, uint16_t flags, int32_t id) {
    TimerNode* node = AllocTimerNode(timers_);
    ASSERT_NE(node, nullptr);
    node->dueTime = due;
    node->module = module;
    node->cookie = cookie;
    node->flags |= flags;
    node->interruptId = id;
    AppendTimedNode(timers_, node);
  }

  // The decompressed form of the save SetUpGame gives, with the fake sections.
  Bytes ExpectedSave(const std::string& caption1, const std::string& caption2, uint32_t word) {
    Bytes b;
    b.Tag("LSAV").Text(caption1).Text(caption2).Text("story\\main").Word(0x00C0FFEE).Word(word).Word(102).Word(1203);
    b.Tag("SYSB").Word(16).Word(500000).Word(600000).Word(0x18000).Word(49).Word(7);
    b.Tag("TIME").Word(2);
    b.Word(510000).Word(1).Word(77).Word(kTimerNodePooled | kTimerNodeInterruptible).Word(9);
    b.Word(520000).Word(1).Word(78).Word(kTimerNodePooled).Word(0);
    for (int i = 0; i < kSaveSectionCount; ++i) {
      if (i == kSaveSectionCockpit && !gGuiMaster) continue;
      b.Tag(kSectionTags[i]).Word(uint32_t(i));
    }
    b.Tag("SIMS").Word(0);
    b.Tag("CAMS").Word(2).Word(0);
    b.Tag("IDS ").Word(1).Word(0).Word(0).Word(0).Word(0);  // no universe, no engine here
    b.Tag("RAND").Word(GameRandState());
    b.Tag("/LSA");
    return b;
  }

  void MakeGuiMaster() {
    gGuiMaster = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
    ASSERT_NE(InitGuiMaster(gGuiMaster), nullptr);
  }

  int TimedCount() const {
    int n = 0;
    for (TimerNode* node = FirstTimedNode(timers_); node; node = NextTimedNode(node)) ++n;
    return n;
  }

  SystemBlock system_;
  GameStateBlock state_;
  ScriptEngine* engine_ = nullptr;
  TimerState* timers_ = nullptr;
};

TEST_F(SaveGameTest, WrittenSaveHoldsTheChunksInOrder) {
  SetUpGame();
  struct Case {
    bool guiMaster;
  };
  const Case kCases[] = {{true}, {false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.guiMaster ? "with GUI master" : "without GUI master");
    // Each save samples the clocks after it is written, and each load replaces the timers.
    system_.gameTime = 500000;
    system_.realTime = 600000;
    ClearTimerEvents(timers_);
    AddGameTimers();
    if (c.guiMaster) MakeGuiMaster();
    ASSERT_TRUE(WriteSaveGame(3, "First caption", "Second", 0x12345678));
    EXPECT_EQ(Gunzip(SavePath(4)), ExpectedSave("First caption", "Second", 0x12345678).s);
    EXPECT_FALSE(std::filesystem::exists(SavePath(kTempSaveNumber)));
    // Either way the save reads back, the cockpit reader running only when its section is there.
    const bool hadMaster = gGuiMaster != nullptr;
    gSectionCalls.clear();
    EXPECT_EQ(LoadSaveGame(3), 1);
    ClearTimerEvents(timers_);
    const bool cockpitRead = std::find(gSectionCalls.begin(), gSectionCalls.end(), "r:INS ") != gSectionCalls.end();
    EXPECT_EQ(cockpitRead, hadMaster);
    EXPECT_NE(gGuiMaster, nullptr);
    if (gGuiMaster) {
      FreeAllCockpits(gGuiMaster);
      MemFree(gGuiMaster, sizeof(GuiMaster), 0);
      gGuiMaster = nullptr;
    }
  }
}

TEST_F(SaveGameTest, MissingCaptionsAreWrittenAsEmptyTexts) {
  SetUpGame();
  ASSERT_TRUE(WriteSaveGame(0, nullptr, nullptr, 5));
  EXPECT_EQ(Gunzip(SavePath(1)), ExpectedSave("", "", 5).s);
}

TEST_F(SaveGameTest, EverySaveWrittenCanBeReadBack) {
  SetUpGame();
  MakeGuiMaster();
  struct Case {
    const char* name;
    std::string caption;
    std::string written;  // the caption as the save holds it
  };
  const std::string euro = "\xE2\x82\xAC";  // three bytes of one character
  const Case kCases[] = {
      {"caption of 999 bytes", std::string(999, 'c'), std::string(999, 'c')},
      {"caption of 1500 bytes", std::string(1500, 'c'), std::string(999, 'c')},
      {"character across the limit", std::string(998, 'c') + euro, std::string(998, 'c')},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteSaveGame(1, c.caption.c_str(), c.caption.c_str(), 0));
    const std::string bytes = Gunzip(SavePath(2));
    Bytes prefix;
    prefix.Tag("LSAV").Text(c.written).Text(c.written);
    EXPECT_EQ(bytes.substr(0, prefix.s.size()), prefix.s);
    EXPECT_EQ(LoadSaveGame(1), 1);
    ClearTimerEvents(timers_);
  }
  // A story whose name the reader would refuse is not saved at all.
  engine_->scriptName = ReplaceString(engine_->scriptName, std::string(kSaveStoryNameLimit + 1, 's').c_str());
  EXPECT_FALSE(WriteSaveGame(1, "x", "y", 0));
  EXPECT_EQ(LoadSaveGame(1), 1);  // the last good save is still there
  // Nor is one the list of saves would leave out, though the reader would take it.
  engine_->scriptName = ReplaceString(engine_->scriptName, std::string(kSaveStoryNameLimit, 's').c_str());
  EXPECT_FALSE(WriteSaveGame(1, "x", "y", 0));
  engine_->scriptName = ReplaceString(engine_->scriptName, std::string(kSaveListStoryNameLimit, 's').c_str());
  EXPECT_TRUE(WriteSaveGame(1, "x", "y", 0));
}

TEST_F(SaveGameTest, RoundTripRestoresModesClocksAndTimersBehindPendingOnesButNotTheLanguage) {
  SetUpGame();
  MakeGuiMaster();
  ASSERT_TRUE(WriteSaveGame(2, "cap", "cap2", 1));

  // A different running game, with a timer of its own still pending: it stays where it is,
  // unwoken, and the save's timers come in behind it.
  ClearTimerEvents(timers_);
  AddTimer(900, 1, 55, 0, 0);
  state_.subMode = 0;
  state_.parameter = 0;
  system_.frameStep = system_.gameTime = system_.realTime = 0;
  system_.timeScale = 0x10000;
  system_.language = 44;
  gSectionCalls.clear();

  ASSERT_EQ(LoadSaveGame(2), 1);
  EXPECT_EQ(state_.subMode, 102);
  EXPECT_EQ(state_.parameter, 1203);
  ASSERT_NE(state_.startString, nullptr);
  EXPECT_STREQ(state_.startString, "story\\main");
  EXPECT_EQ(system_.frameStep, 16u);
  EXPECT_EQ(system_.timeScale, 0x18000u);
  EXPECT_GE(system_.gameTime, 500000u);
  EXPECT_GE(system_.realTime, 600000u);
  EXPECT_EQ(system_.language, 44u);
  EXPECT_NE(gGuiMaster, nullptr);
  const std::vector<std::string> kReads = {"r:STOR", "r:B3D ", "r:MOVI", "r:GALA", "r:SECT", "r:INS ", "r:SFX "};
  EXPECT_EQ(gSectionCalls, kReads);

  struct Node {
    uint32_t due;
    int16_t module;
    uint32_t cookie;
    uint16_t flags;
    int32_t id;
  };
  const Node kNodes[] = {{900, 1, 55, 0, 0}, {510000, 1, 77, kTimerNodeInterruptible, 9}, {520000, 1, 78, 0, 0}};
  TimerNode* node = FirstTimedNode(timers_);
  for (const Node& expected : kNodes) {
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->dueTime, expected.due);
    EXPECT_EQ(node->module, expected.module);
    EXPECT_EQ(node->cookie, expected.cookie);
    EXPECT_EQ(node->flags & ~kTimerNodePooled, expected.flags);
    EXPECT_EQ(node->interruptId, expected.id);
    node = NextTimedNode(node);
  }
  EXPECT_EQ(node, nullptr);
}

TEST_F(SaveGameTest, SavingIntoASlotReplacesItsFileThroughTheTemporaryFile) {
  SetUpGame();
  WritePlain(SavePath(4), "an older save");
  ASSERT_TRUE(WriteSaveGame(3, "new", "", 0));
  EXPECT_TRUE(IsGzipSave(SavePath(4)));
  EXPECT_EQ(Gunzip(SavePath(4)).substr(0, 11), std::string("LSAV\0\0\0\3new", 11));
  EXPECT_FALSE(std::filesystem::exists(SavePath(kTempSaveNumber)));
}

TEST_F(SaveGameTest, AutomaticSavesRotateThroughTheRing) {
  SetUpGame();
  struct Case {
    const char* name;
    int32_t slot;
    const char* before[3];  // files 11, 12, 13; null: absent, "" empty
    const char* after[3];   // "NEW": the new save
  };
  const Case kCases[] = {
      {"all three in use", 12, {"A", "B", "C"}, {"B", "C", "NEW"}},
      {"only the last in use", 10, {nullptr, nullptr, "C"}, {"C", "NEW", nullptr}},
      {"none in use", 11, {nullptr, nullptr, nullptr}, {"NEW", nullptr, nullptr}},
      {"first two in use", 10, {"A", "B", nullptr}, {"A", "B", "NEW"}},
      {"gap in the middle", 10, {"A", nullptr, "C"}, {"A", "C", "NEW"}},
      {"an empty file counts as free", 10, {"A", "", nullptr}, {"A", "NEW", nullptr}},
      {"any slot above the ring joins it", 40, {"A", "B", "C"}, {"B", "C", "NEW"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(DocumentsEnvironment::SaveFolder());
    for (int i = 0; i < 3; ++i) {
      if (c.before[i]) WritePlain(SavePath(11 + i), c.before[i]);
    }
    ASSERT_TRUE(WriteSaveGame(c.slot, "auto", "", 0));
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(11 + i);
      const std::string path = SavePath(11 + i);
      if (c.after[i] == nullptr) {
        EXPECT_TRUE(!std::filesystem::exists(path) || std::filesystem::file_size(path) == 0);
      } else if (std::strcmp(c.after[i], "NEW") == 0) {
        EXPECT_TRUE(IsGzipSave(path));
      } else {
        EXPECT_EQ(ReadPlain(path), c.after[i]);
      }
    }
  }
}

TEST_F(SaveGameTest, ARingSaveThatCannotMoveKeepsEverySave) {
  SetUpGame();
  // A folder in the place of file 11 makes the move of file 13 fail.
  std::filesystem::create_directories(SavePath(11) + "/in the way");
  WritePlain(SavePath(13), "C");
  EXPECT_FALSE(WriteSaveGame(10, "auto", "", 0));
  EXPECT_EQ(ReadPlain(SavePath(13)), "C");
  EXPECT_FALSE(std::filesystem::exists(SavePath(12)));
}

TEST_F(SaveGameTest, AFailingSectionKeepsTheLastGoodSave) {
  SetUpGame();
  MakeGuiMaster();
  for (int failing = 0; failing < kSaveSectionCount; ++failing) {
    SCOPED_TRACE(kSectionTags[failing]);
    WritePlain(SavePath(5), "the last good save");
    WritePlain(SavePath(11), "auto A");
    WritePlain(SavePath(12), "auto B");
    WritePlain(SavePath(13), "auto C");
    gFailingWriter = failing;
    gSectionCalls.clear();
    EXPECT_FALSE(WriteSaveGame(4, "x", "y", 0));
    EXPECT_FALSE(WriteSaveGame(12, "x", "y", 0));
    EXPECT_EQ(ReadPlain(SavePath(5)), "the last good save");
    EXPECT_EQ(ReadPlain(SavePath(11)), "auto A");
    EXPECT_EQ(ReadPlain(SavePath(12)), "auto B");
    EXPECT_EQ(ReadPlain(SavePath(13)), "auto C");
    // No writer runs after the one that failed.
    EXPECT_EQ(gSectionCalls.back(), std::string("w:") + kSectionTags[failing]);
  }
}

TEST_F(SaveGameTest, NegativeSlotIsRefusedBeforeAnythingIsWritten) {
  SetUpGame();
  EXPECT_FALSE(WriteSaveGame(-3, "x", "y", 0));
  EXPECT_FALSE(std::filesystem::exists(SavePath(kTempSaveNumber)));
  EXPECT_TRUE(gSectionCalls.empty());
}

// A hand-built save around given header texts, the fake sections after it.
std::string HandBuiltSave(const std::string& caption1, const std::string& caption2, const std::string& story) {
  Bytes b;
  b.Tag("LSAV").Text(caption1).Text(caption2).Text(story).Word(0).Word(0).Word(102).Word(5);
  b.Tag("SYSB").Word(16).Word(1000).Word(2000).Word(0x10000).Word(49).Word(0);
  b.Tag("TIME").Word(0);
  for (int i = 0; i < kSaveSectionCount; ++i) b.Tag(kSectionTags[i]).Word(uint32_t(i));
  b.Tag("/LSA");
  return b.s;
}

TEST_F(SaveGameTest, ReaderLimitsTheHeaderTexts) {
  struct Case {
    const char* name;
    size_t caption1, caption2, story;
    int32_t result;
  };
  const Case kCases[] = {
      {"captions of 1000 bytes", 1000, 1000, 10, 1},
      {"first caption of 1001 bytes", 1001, 0, 10, 0},
      {"second caption of 1001 bytes", 0, 1001, 10, 0},
      {"story name of 100 bytes", 0, 0, 100, 1},
      {"story name of 101 bytes", 0, 0, 101, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    GzipTo(SavePath(7), HandBuiltSave(std::string(c.caption1, 'a'), std::string(c.caption2, 'b'),
                                      std::string(c.story, 's')));
    EXPECT_EQ(LoadSaveGame(6), c.result);
    if (gGuiMaster) {
      FreeAllCockpits(gGuiMaster);
      MemFree(gGuiMaster, sizeof(GuiMaster), 0);
      gGuiMaster = nullptr;
    }
  }
}

TEST_F(SaveGameTest, TimerRecordsMustNameAnExistingModule) {
  struct Case {
    uint32_t module;
    int32_t result;
  };
  const Case kCases[] = {
      {1, 1},
      {uint32_t(engine_->moduleCount - 1), 1},
      {uint32_t(engine_->moduleCount), 0},
      {0xFFFFFFFF, 0},
      {0x00010001, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.module);
    Bytes b;
    b.Tag("LSAV").Text("").Text("").Text("s").Word(0).Word(0).Word(0).Word(0);
    b.Tag("SYSB").Word(0).Word(0).Word(0).Word(0x10000).Word(0).Word(0);
    b.Tag("TIME").Word(1).Word(100).Word(c.module).Word(3).Word(0).Word(0);
    for (int i = 0; i < kSaveSectionCount; ++i) b.Tag(kSectionTags[i]).Word(uint32_t(i));
    b.Tag("/LSA");
    GzipTo(SavePath(1), b.s);
    EXPECT_EQ(LoadSaveGame(0), c.result);
    // A rejected save leaves no timer behind.
    EXPECT_EQ(TimedCount(), c.result);
    ClearTimerEvents(timers_);
    if (gGuiMaster) {
      FreeAllCockpits(gGuiMaster);
      MemFree(gGuiMaster, sizeof(GuiMaster), 0);
      gGuiMaster = nullptr;
    }
  }
}

TEST_F(SaveGameTest, MissingOrOutOfRangeSlotsAreRejected) {
  const int32_t kSlots[] = {0, 12, -1, -100, kTempSaveNumber - 1, 500};
  // Even a valid file in the temporary name is never read as a slot.
  GzipTo(SavePath(kTempSaveNumber), HandBuiltSave("", "", "s"));
  for (int32_t slot : kSlots) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(LoadSaveGame(slot), 0);
  }
}

// Every prefix of a save and every single-bit change of its bytes: the reader answers without
// reading past what it holds (ASan watches) and never accepts a cut-off save.
TEST_F(SaveGameTest, TruncatedAndBitFlippedSavesAreRejectedCleanly) {
  SetUpGame();
  MakeGuiMaster();
  ASSERT_TRUE(WriteSaveGame(8, "caption", "second", 3));
  const std::string good = Gunzip(SavePath(9));
  ASSERT_FALSE(good.empty());
  auto load = [&](const std::string& bytes) {
    GzipTo(SavePath(9), bytes);
    const int32_t result = LoadSaveGame(8);
    ClearTimerEvents(timers_);
    return result;
  };
  for (size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(load(good.substr(0, n)), 0);
  }
  for (size_t i = 0; i < good.size(); ++i) {
    for (int bit : {0, 7}) {
      std::string damaged = good;
      damaged[i] = char(damaged[i] ^ (1 << bit));
      load(damaged);
    }
  }
  // The compressed file itself cut short, also inside the stream's trailer when every byte of
  // the save is there: refused as corrupt.
  GzipTo(SavePath(9), good);
  const std::string compressed = ReadPlain(SavePath(9));
  for (size_t n = 0; n < compressed.size(); ++n) {
    SCOPED_TRACE(n);
    WritePlain(SavePath(9), compressed.substr(0, n));
    EXPECT_EQ(LoadSaveGame(8), 0);
    ClearTimerEvents(timers_);
  }
  // Anything after the end marker, and a trailer whose check sum does not match, are refused too.
  EXPECT_EQ(load(good + "/LSA"), 0);
  EXPECT_EQ(load(good + std::string(1, '\0')), 0);
  std::string badCrc = compressed;
  badCrc[badCrc.size() - 8] = char(badCrc[badCrc.size() - 8] ^ 1);
  WritePlain(SavePath(9), badCrc);
  EXPECT_EQ(LoadSaveGame(8), 0);
  ClearTimerEvents(timers_);
  EXPECT_EQ(load(good), 1);
}

TEST_F(SaveGameTest, ReadSaveGameEndsTheProcessWithCode29) {
  // The shutdown frees the blocks it finds, so the dying process hands it heap copies.
  EXPECT_EXIT(
      {
        gGameServices.freeSystemBlock = [](uint32_t) {};
        auto* heapState = static_cast<GameStateBlock*>(MemAlloc(sizeof(GameStateBlock), 0));
        std::memcpy(heapState, &state_, sizeof state_);
        gGameState = heapState;
        ReadSaveGame(4);
      },
      ::testing::ExitedWithCode(int(kShutdownBadSaveGame)), "Ulnar05\\.sav");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The real script state inside the real container: an assembled story with globals holding an
// array, a table and a number, and a task waiting in a native call, saved and read back.

namespace {

const char kStory[] = R"(
.header 7
.global int 0
.global zero
.global zero
.func Setup setup frame=8
.func Waiter waiter frame=8
.func Sleeper sleeper frame=8
setup:
  check 8
  push3
  push2
  push1
  mkarray 3
  mvg 1
  pushb 9
  pushs "k"
  mktable 1
  mvg 2
  pushb 42
  mvg 0
  push0
  ret
waiter:
  check 8
  push0
  native T_Wait
  ret
sleeper:
  check 8
  pushi 100000
  push1
  native TI_Delay
  ret
)";

class ScriptStateSaveTest : public ScriptRunTest {
 protected:
  static inline ScriptStateSaveTest* self_ = nullptr;

  void SetUp() override {
    ScriptRunTest::SetUp();
    self_ = this;
    system_ = SystemBlock{};
    system_.product = &kProductRecord;
    system_.timeScale = system_.secondTimeScale = 0x10000;
    gSystem = &system_;
    std::memset(&state_, 0, sizeof state_);
    gGameState = InitGameStateBlock(&state_);
    timers_ = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
    InitTimerModule(timers_);
    gTimerState = timers_;
    gGuiMaster = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
    ASSERT_NE(InitGuiMaster(gGuiMaster), nullptr);
    // Sounds are only timed: nothing needs an output.
    system_.soundChannelCount = kSoundSlotCount;
    ASSERT_NE(InitSound(kAudioDeviceSilent), nullptr);
    ASSERT_NE(InitSoundModule(), nullptr);
    ASSERT_NE(InitMovieModule(), nullptr);
    SetScriptStateLoader(LoadAssembled);
    std::filesystem::remove_all(DocumentsEnvironment::SaveFolder());
  }

  void TearDown() override {
    SetScriptStateLoader(nullptr);
    ShutdownMovieModule();
    ShutdownSoundModule();
    ShutdownSound();
    ClearTimerEvents(timers_);
    gTimerState = nullptr;
    MemFreeIfSet(timers_);
    FreeAllCockpits(gGuiMaster);
    MemFree(gGuiMaster, sizeof(GuiMaster), 0);
    gGuiMaster = nullptr;
    FreeModuleStringTables(&state_);
    gGameState = nullptr;
    gSystem = nullptr;
    gFailureDetail = FreeString(gFailureDetail);
    self_ = nullptr;
    ScriptRunTest::TearDown();
  }

  // The story comes back from the assembled bytes under the name the save holds.
  static bool LoadAssembled(ScriptEngine* engine, const char* name) {
    return LoadScriptStoreFromMemory(engine, name, self_->asm_.bytes.data(), uint32_t(self_->asm_.bytes.size()));
  }

  ScriptValue* Global(int i) { return &engine_->classes[0].variables[i]; }

  SystemBlock system_;
  GameStateBlock state_;
  TimerState* timers_ = nullptr;
};

TEST_F(ScriptStateSaveTest, GlobalsAndWaitingTasksComeBackFromTheContainer) {
  ASSERT_TRUE(Load(kStory)) << error_;
  EXPECT_EQ(Call("Setup"), "0");
  ASSERT_NE(Start("Waiter"), nullptr);
  RunAll();
  ASSERT_EQ(waiting_.size(), 1u);
  ScriptTask* sleeper = Start("Sleeper");
  ASSERT_NE(sleeper, nullptr);
  const int32_t sleeperId = sleeper->id;
  RunAll();
  ASSERT_NE(FirstTimedNode(timers_), nullptr);
  const uint32_t due = FirstTimedNode(timers_)->dueTime;

  ASSERT_TRUE(WriteSaveGame(1, "before the gate", "chapter 2", 77));
  const std::string bytes = Gunzip(SavePath(2));
  // The script state is the first section after the timers; the other sections follow in order.
  size_t at = 0;
  for (const char* tag : {"LSAV", "SYSB", "TIME", "STOR", "B3D ", "MOVI", "GALA", "SECT", "INS ", "SFX ", "/LSA"}) {
    const size_t next = bytes.find(tag, at);
    ASSERT_NE(next, std::string::npos) << tag;
    at = next + 4;
  }
  EXPECT_EQ(at, bytes.size());

  // The running game moves on before the save is read back.
  SetValueInt(Global(0), 0);
  SetValueInt(Global(1), 0);
  SetValueInt(Global(2), 0);
  KillTaskById(engine_, waiting_[0]);
  KillTaskById(engine_, sleeperId);
  ClearTimerEvents(timers_);

  ASSERT_EQ(LoadSaveGame(1), 1);
  // The sleeping task and its timer are back, the timer still naming the task.
  TimerNode* node = FirstTimedNode(timers_);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->cookie, uint32_t(sleeperId));
  EXPECT_EQ(node->dueTime, due);
  EXPECT_EQ(NextTimedNode(node), nullptr);
  ASSERT_NE(FindTask(engine_, sleeperId), nullptr);
  EXPECT_STREQ(state_.startString, "test");
  EXPECT_EQ(engine_->headerWord, 7u);
  ASSERT_EQ(Global(0)->type, kValueInt);
  EXPECT_EQ(Global(0)->i, 42);
  ASSERT_EQ(Global(1)->type, kValueArray);
  ASSERT_EQ(GetArraySize(Global(1)), 3);
  for (int32_t k = 0; k < 3; ++k) {
    ScriptValue* element = ArrayElementPtr(Global(1), k);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->type, kValueInt);
    EXPECT_EQ(element->i, k + 1);
  }
  ASSERT_EQ(Global(2)->type, kValueTable);
  EXPECT_EQ(GetTableCount(Global(2)), 1);
  ScriptValue key{};
  SetValueString(&key, "k");
  TableEntry* entry = TableFindEntry(Global(2), &key);
  ReleaseValue(&key);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(TableEntryData(entry).i, 9);
  ScriptTask* waiter = FindTask(engine_, waiting_[0]);
  ASSERT_NE(waiter, nullptr);
  EXPECT_EQ(waiter->state, kTaskWaiting);
}

// A task that waited for a sound when the game was saved hears, on loading, that its sound
// ended: once, from the sound section, while the live sound plays on.
TEST_F(ScriptStateSaveTest, ATaskWaitingForASoundHearsItEndedOnceWhenTheSaveIsRead) {
  ASSERT_TRUE(Load(kStory)) << error_;
  EXPECT_EQ(Call("Setup"), "0");
  ASSERT_NE(Start("Waiter"), nullptr);
  RunAll();
  ASSERT_EQ(waiting_.size(), 1u);
  const int32_t task = waiting_[0];
  EXPECT_EQ(SFX_PlaySample(module_, task, 100, 0, 0, 255, 5, 64), -1);
  ASSERT_TRUE(SFX_FindSample(100));
  ASSERT_TRUE(WriteSaveGame(1, "a", "b", 0));
  const std::string bytes = Gunzip(SavePath(2));
  const size_t at = bytes.find("SFX ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(bytes.size() - at, 400u + 8u + 12u + 24u + 8u + 4u)
      << "the section, the empty simulation and camera chunks, the counters, the random state, then "
         "the end tag";

  resumed_.clear();
  ASSERT_EQ(LoadSaveGame(1), 1);
  EXPECT_EQ(resumed_, (std::vector<std::pair<uint32_t, int32_t>>{{uint32_t(task), 1}}));
  EXPECT_TRUE(SFX_FindSample(100));
}

TEST_F(ScriptStateSaveTest, ACockpitAndConnectedMoviesComeBackThroughTheContainer) {
  EngineFixture scene;
  FakeMovies movies{5, 144};
  ASSERT_TRUE(Load(kStory)) << error_;
  EXPECT_EQ(Call("Setup"), "0");
  MovieConnectTexture(MovieOpen(5, 0), 70);
  MovieConnectTexture(MovieOpen(144, 0), 61);
  const uint32_t handle = CockpitAlloc(gGuiMaster);
  CockpitRecord* cockpit = CockpitFromHandle(gGuiMaster, handle);
  ASSERT_NE(cockpit, nullptr);
  cockpit->radarMode = 2;
  cockpit->monitorNumber = 0;
  cockpit->viewAngleTarget[2] = -4096;
  gGuiMaster->alertLevel = 2;
  gGuiMaster->focus = 9000;
  ASSERT_TRUE(WriteSaveGame(1, "a", "b", 0));
  const std::string bytes = Gunzip(SavePath(2));
  EXPECT_NE(bytes.find("ICOC"), std::string::npos);
  while (FirstMovie()) MovieRelease(FirstMovie());

  gScriptSound->language = 44;  // the voice stream 144 is of language 44
  ASSERT_EQ(LoadSaveGame(1), 1);
  std::vector<std::pair<int32_t, int32_t>> opened;
  for (MovieRecord* m = FirstMovie(); m; m = NextMovie(m)) opened.emplace_back(m->id, m->textureSlot);
  EXPECT_EQ(opened, (std::vector<std::pair<int32_t, int32_t>>{{144, 61}, {5, 70}}));
  cockpit = CockpitFromHandle(gGuiMaster, handle);
  ASSERT_NE(cockpit, nullptr);
  EXPECT_EQ(cockpit->radarMode, 2u);
  EXPECT_EQ(cockpit->monitorNumber, 0);
  EXPECT_EQ(cockpit->viewAngleTarget[2], -4096);
  EXPECT_EQ(gGuiMaster->alertLevel, 2);
  EXPECT_EQ(gGuiMaster->focus, 9000u);
  // What lives in the scene engine and the media layer goes before they do.
  FreeAllCockpits(gGuiMaster);
  while (FirstMovie()) MovieRelease(FirstMovie());
  // The engine section brought the cockpits' records back beside the old ones; both go.
  while (ListNode* n = ListFirst(&scene.engine().scenes)) B3D_SceneFree(ListRecord<SceneRecord>(n));
  while (ListNode* n = ListFirst(&scene.engine().instances)) FreeInstance(InstanceOfNode(n));
}

TEST_F(ScriptStateSaveTest, CutOffScriptStateIsRefusedAndLeavesNothingBehind) {
  ASSERT_TRUE(Load(kStory)) << error_;
  EXPECT_EQ(Call("Setup"), "0");
  ASSERT_NE(Start("Waiter"), nullptr);
  RunAll();
  ASSERT_TRUE(WriteSaveGame(0, "a", "b", 0));
  const std::string good = Gunzip(SavePath(1));
  const size_t storAt = good.find("STOR");
  const size_t storEnd = good.find("B3D ");
  ASSERT_LT(storAt, storEnd);
  for (size_t n = storAt; n < storEnd; n += 3) {
    SCOPED_TRACE(n);
    GzipTo(SavePath(1), good.substr(0, n));
    EXPECT_EQ(LoadSaveGame(0), 0);
  }
  GzipTo(SavePath(1), good);
  EXPECT_EQ(LoadSaveGame(0), 1);
  EXPECT_EQ(Global(0)->i, 42);
}

}  // namespace

namespace {

// The header's sub-mode names the story object the game's events go to: a save whose sub-mode
// the story has no object for (a flipped byte is enough) is refused like any corrupt save, so
// the game cannot go on reloading a save that nothing of the story answers.
TEST_F(ScriptStateSaveTest, SubModeWithoutAStoryObjectIsRefused) {
  ASSERT_TRUE(Load(std::string(".class 150\n.end\n") + kStory)) << error_;
  state_.subMode = 150;
  ASSERT_TRUE(WriteSaveGame(0, "a", "b", 0));
  const std::string good = Gunzip(SavePath(1));
  // "LSAV", the captions "a" and "b", the story name "test", two words, then the sub-mode.
  const size_t subModeAt = 4 + 5 + 5 + 8 + 4 + 4;
  ASSERT_EQ(good.substr(subModeAt, 4), std::string("\0\0\0\x96", 4));
  struct Case {
    uint8_t lowByte;
    int32_t result;
  };
  const Case kCases[] = {{0x96, 1}, {0x97, 0}, {0x65, 0}, {0x00, 1}};  // 150, 151, 101, 0 (the globals)
  for (const Case& c : kCases) {
    std::string bytes = good;
    bytes[subModeAt + 3] = char(c.lowByte);
    GzipTo(SavePath(1), bytes);
    EXPECT_EQ(LoadSaveGame(0), c.result) << int(c.lowByte);
    ClearTimerEvents(timers_);
  }
}

}  // namespace

// The random generator goes on after a load with the draws the saved game would have made; a
// save written before the generator's state was saved still reads and leaves the generator alone.
TEST_F(SaveGameTest, TheRandomGeneratorComesBackWithTheSave) {
  SetUpGame();
  GameSrand(1234);
  ASSERT_TRUE(WriteSaveGame(2, "random", "", 0));
  std::vector<int> drawn;
  for (int i = 0; i < 4; ++i) drawn.push_back(GameRand());
  GameSrand(99);
  ASSERT_EQ(LoadSaveGame(2), 1);
  ClearTimerEvents(timers_);
  std::vector<int> again;
  for (int i = 0; i < 4; ++i) again.push_back(GameRand());
  EXPECT_EQ(again, drawn);

  // The same save without its "RAND" chunk, as older saves are.
  std::string bytes = Gunzip(SavePath(3));
  const size_t chunk = bytes.rfind("RAND");
  ASSERT_NE(chunk, std::string::npos);
  bytes.erase(chunk, 8);
  GzipTo(SavePath(3), bytes);
  GameSrand(99);
  ASSERT_EQ(LoadSaveGame(2), 1);
  ClearTimerEvents(timers_);
  EXPECT_EQ(GameRandState(), 99u);

  // Nor does it need the camera chunk, which came last, nor the simulation chunk before it; a
  // chunk cut short is refused. Each: its tag, where the cut falls and its whole length.
  struct Chunk {
    const char* tag;
    size_t cutAt;
    size_t length;
  };
  for (const Chunk& c : {Chunk{"CAMS", 10, 12}, Chunk{"SIMS", 6, 8}}) {
    const size_t at = bytes.rfind(c.tag);
    ASSERT_NE(at, std::string::npos) << c.tag;
    GzipTo(SavePath(3), bytes.substr(0, at + c.cutAt) + "/LSA");
    EXPECT_EQ(LoadSaveGame(2), 0) << c.tag;
    ClearTimerEvents(timers_);
    bytes.erase(at, c.length);
    GzipTo(SavePath(3), bytes);
    ASSERT_EQ(LoadSaveGame(2), 1) << c.tag;
    ClearTimerEvents(timers_);
  }
}

// A game that made and freed objects and engine records before its save numbers its next ones
// after a load exactly as the saved game would have, not on from the highest key the sections
// brought back. A save without the counters still reads (the sections' numbering stays); a
// damaged counter chunk is refused.
TEST_F(SaveGameTest, TheKeyCountersComeBackWithTheSave) {
  SetUpGame();
  UniverseBlock universe{};
  universe.idHash = HashCreate();
  EngineState3D engine{};
  ListInit(&engine.loadedBodies);
  engine.handleTable = HashCreate();
  engine.sceneTable = HashCreate();
  engine.takeTable = HashCreate();
  gUniverse = &universe;
  gEngine3D = &engine;
  HashTable* const tables[] = {universe.idHash, engine.handleTable, engine.sceneTable, engine.takeTable};
  // Five records made and freed again: the counter stands past them, no key is left.
  for (HashTable* table : tables) {
    for (int i = 0; i < 5; ++i) HashInsertNewKey(table, 1);
    while (uint32_t key = HashNextKey(table, 0)) HashRemove(table, key);
  }
  const uint32_t saved = HashGetKeyCounter(universe.idHash);
  ASSERT_GT(saved, 4u);
  ASSERT_TRUE(WriteSaveGame(2, "counters", "", 0));
  // What the section readers leave when they read no record back: numbering from the start.
  auto loadAndMakeNext = [&](int32_t expected) {
    for (HashTable* table : tables) HashSetKeyCounter(table, 0);
    const int32_t loaded = LoadSaveGame(2);
    ClearTimerEvents(timers_);
    EXPECT_EQ(loaded, expected);
    std::vector<uint32_t> next;
    for (HashTable* table : tables) {
      next.push_back(HashInsertNewKey(table, 1));
      HashRemove(table, next.back());
    }
    return next;
  };
  EXPECT_EQ(loadAndMakeNext(1), std::vector<uint32_t>(4, saved + 1));

  const std::string bytes = Gunzip(SavePath(3));
  const size_t chunk = bytes.rfind("IDS ");
  ASSERT_NE(chunk, std::string::npos);
  struct Case {
    const char* what;
    std::string bytes;
    int32_t loaded;
    uint32_t next;  // without the counters, numbering starts afresh
  };
  std::string badVersion = bytes, tooHigh = bytes;
  badVersion[chunk + 7] = 2;
  tooHigh[chunk + 8] = char(0x80);
  const Case kCases[] = {
      {"no counter chunk, as older saves", std::string(bytes).erase(chunk, 4 + 4 + 16), 1, 1},
      {"cut short", bytes.substr(0, chunk + 12) + "/LSA", 0, 1},
      {"unknown version", badVersion, 0, 1},
      {"counter past the highest key", tooHigh, 0, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    GzipTo(SavePath(3), c.bytes);
    EXPECT_EQ(loadAndMakeNext(c.loaded), std::vector<uint32_t>(4, c.next));
  }
  gUniverse = nullptr;
  gEngine3D = nullptr;
  for (HashTable* table : tables) HashDestroy(table);
}
