// The SE_ file, folder, debugging and signature natives over a temporary game folder (the
// current folder, with a catalog) and a temporary user folder: whole-file reads with their type
// lists and fill byte, plain and packed writes read back, sizes (-2 for a folder), times,
// moves and removals, folder searches, open files written through handles and closed by the
// unload, the debug output file name, the engine's facts and task list, and data signatures
// with the built-in key pair.
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalog/catalog_builder.h"
#include "core/memory.h"
#include "core/signature.h"
#include "core/system_block.h"
#include "script/natives/se_files.h"
#include "script/natives/se_fixture.h"
#include "support/catalog_world.h"
#include "support/scoped_env.h"
#include "support/script_runner.h"
#include "support/temp_dir.h"

namespace {

int32_t Fn(const char* name) {
  for (int32_t n = 0; n < kSENativeCount; ++n) {
    if (std::strcmp(kSENativeNames[n], name) == 0) return n;
  }
  ADD_FAILURE() << "no native " << name;
  return -1;
}

// The user data folder is worked out once per process, so every test here shares one
// documents folder, set before the first test runs.
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
  static TempDir* documents_;
};
TempDir* DocumentsEnvironment::documents_ = nullptr;
::testing::Environment* const kDocuments = ::testing::AddGlobalTestEnvironment(new DocumentsEnvironment);

// A script value the test owns, released when it goes out of scope.
struct Owned {
  ScriptValue v{};
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { ReleaseValue(&v); }
};

std::string UserFolder() { return DocumentsEnvironment::documents_->File("Docs/Korvane/VexaNL"); }

std::string ReadHostFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  std::string bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

class SEFilesTest : public SENativeTest {
 protected:
  void SetUp() override {
    SENativeTest::SetUp();
    world_ = new CatalogWorld(3);
    ASSERT_EQ(world_->AddCatalog(0, "01.cat", {{"PACKED\\INSIDE.TXT", "from the catalog"}}), 1);
    std::filesystem::create_directories(UserFolder());
  }
  void TearDown() override {
    if (gSystem) gSystem->outputFileName = FreeString(gSystem->outputFileName);
    delete world_;
    SENativeTest::TearDown();
  }

  const TempDir& Game() const { return world_->dir(); }

  int32_t IntCall(const char* name, const std::vector<Arg>& args) {
    EXPECT_EQ(Call(Fn(name), args), 1) << name;
    EXPECT_TRUE(answered_) << name;
    EXPECT_EQ(answer_.type, kValueInt) << name;
    return AnswerInt();
  }
  // The text answer, or "<int N>" for an integer answer.
  std::string TextCall(const char* name, const std::vector<Arg>& args) {
    EXPECT_EQ(Call(Fn(name), args), 1) << name;
    if (answer_.type == kValueInt) return "<int " + std::to_string(answer_.i) + ">";
    return AnswerText();
  }

  CatalogWorld* world_ = nullptr;
};

TEST_F(SEFilesTest, ReadFileLooksUpTheTypesOfItsName) {
  Game().Write("notes.txt", "plain notes");
  Game().Write("notes.xml", "<notes/>");
  Game().Write("only.dat", "data");
  Game().Write("nul.txt", std::string("a\0b\0", 4));
  Game().Write("dotted.name.cfg", "configuration");
  std::filesystem::create_directories(UserFolder());
  std::ofstream(UserFolder() + "/mine.txt") << "in the user folder";

  struct Case {
    std::vector<Arg> args;
    const char* expected;
  };
  const Case kCases[] = {
      {{T("notes")}, "plain notes"},                 // no dot: pck, txt
      {{T("notes.xml")}, "<notes/>"},                // pck, xml
      {{T("NOTES.TXT")}, "plain notes"},             // any case
      {{T("only")}, "<int 0>"},                      // dat is not among pck, txt
      {{T("only.dat")}, "data"},
      {{T("dotted.name.cfg")}, "configuration"},     // cut at the last dot
      {{T("packed\\inside")}, "from the catalog"},
      {{T("nul")}, "a"},                             // a text ends at its first NUL
      {{T("nul"), I(0), I(32)}, "a b "},             // unless the fill byte replaces them
      {{T("nul"), I(0), I(0x120)}, "a b "},          // only the fill's low byte counts
      {{T("mine"), I(1)}, "in the user folder"},
      {{T("mine")}, "<int 0>"},                      // not in the game folder
      {{T("notes"), I(1)}, "<int 0>"},               // the user folder does not see game files
      {{T("missing")}, "<int 0>"},
      {{I(3)}, "<int 0>"},
      {{}, "<int 0>"},
  };
  for (const Case& c : kCases) {
    std::string what = c.args.empty() ? "no arguments" : c.args[0].text;
    EXPECT_EQ(TextCall("SE_ReadFile", c.args), c.expected) << what;
  }
}

TEST_F(SEFilesTest, WrittenFilesReadBackPlainAndPacked) {
  EXPECT_EQ(IntCall("SE_WriteFile", {T("out.txt"), T("hello")}), 5);
  EXPECT_EQ(Game().Read("out.txt"), "hello");
  EXPECT_EQ(TextCall("SE_ReadFile", {T("out.txt")}), "hello");

  const std::string text = "packed text, packed text, packed text";
  EXPECT_EQ(IntCall("SE_WriteFile", {T("packed.txt"), T(text), I(0), I(1)}), int32_t(text.size()));
  std::string stored = Game().Read("packed.txt");
  ASSERT_GE(stored.size(), 2u);
  EXPECT_EQ(uint8_t(stored[0]), 0x1F);  // a gzip stream
  EXPECT_EQ(uint8_t(stored[1]), 0x8B);
  EXPECT_EQ(TextCall("SE_ReadFile", {T("packed.txt")}), text);

  EXPECT_EQ(IntCall("SE_WriteFile", {T("user.txt"), T("for the user"), I(1)}), 12);
  EXPECT_EQ(ReadHostFile(UserFolder() + "/user.txt"), "for the user");
  EXPECT_EQ(TextCall("SE_ReadFile", {T("user"), I(1)}), "for the user");

  EXPECT_EQ(IntCall("SE_WriteFile", {T("empty.txt"), T("")}), 0);
  EXPECT_EQ(IntCall("SE_WriteFile", {T("no\\such\\folder\\x.txt"), T("x")}), 0);
  EXPECT_EQ(IntCall("SE_WriteFile", {I(5), T("x")}), 0);
  EXPECT_EQ(IntCall("SE_WriteFile", {T("int.txt"), I(5)}), 0);
  EXPECT_FALSE(std::filesystem::exists(Game().File("int.txt")));
}

TEST_F(SEFilesTest, SizesTimesMovesAndRemovals) {
  Game().Write("sized.txt", "12345");
  std::filesystem::create_directories(Game().File("folder"));
  std::ofstream(UserFolder() + "/u.txt") << "abc";

  EXPECT_EQ(IntCall("SE_FSize", {T("sized.txt")}), 5);
  EXPECT_EQ(IntCall("SE_FSize", {T("missing.txt")}), -1);
  EXPECT_EQ(IntCall("SE_FSize", {T("folder")}), -2);
  EXPECT_EQ(IntCall("SE_FSize", {T("u.txt"), I(1)}), 3);
  EXPECT_EQ(IntCall("SE_FSize", {T("packed\\inside.txt")}), 16);  // the catalog's entry
  EXPECT_EQ(IntCall("SE_FSize", {I(0)}), -1);

  int32_t now = int32_t(std::time(nullptr));
  EXPECT_NEAR(IntCall("SE_FTime", {T("sized.txt")}), now, 60);
  EXPECT_EQ(IntCall("SE_FTime", {T("missing.txt")}), 0);
  EXPECT_EQ(IntCall("SE_FTime", {I(1)}), 0);
  EXPECT_NEAR(IntCall("SE_Time", {}), now, 60);

  EXPECT_EQ(IntCall("SE_MoveFile", {T("sized.txt"), T("moved.txt")}), 1);
  EXPECT_EQ(Game().Read("moved.txt"), "12345");
  EXPECT_FALSE(std::filesystem::exists(Game().File("sized.txt")));
  EXPECT_EQ(IntCall("SE_MoveFile", {T("sized.txt"), T("again.txt")}), 0);
  EXPECT_EQ(IntCall("SE_MoveFile", {T("moved.txt"), I(0)}), 0);
  EXPECT_EQ(IntCall("SE_MoveFile", {T("u.txt"), T("v.txt"), I(1)}), 1);
  EXPECT_EQ(ReadHostFile(UserFolder() + "/v.txt"), "abc");

  EXPECT_EQ(IntCall("SE_DeleteFile", {T("moved.txt")}), 1);
  EXPECT_EQ(IntCall("SE_DeleteFile", {T("moved.txt")}), 0);
  EXPECT_EQ(IntCall("SE_DeleteFile", {T("v.txt"), I(1)}), 1);
  EXPECT_EQ(IntCall("SE_DeleteFile", {I(2)}), 0);
}

TEST_F(SEFilesTest, FolderSearchesMakeAndChangeFolders) {
  Game().Write("dir/b.txt", "b");
  Game().Write("dir/A.txt", "a");
  Game().Write("dir/c.dat", "c");
  Call(Fn("SE_GetDir"), {T("*.txt"), T("dir")});
  EXPECT_EQ(Elements(&answer_), (std::vector<std::string>{"A.txt", "b.txt"}));
  Call(Fn("SE_GetDir"), {T("*.*"), T("dir")});
  EXPECT_EQ(Elements(&answer_), (std::vector<std::string>{"A.txt", "b.txt", "c.dat"}));
  EXPECT_EQ(IntCall("SE_GetDir", {T("*.none"), T("dir")}), 0);
  EXPECT_EQ(IntCall("SE_GetDir", {T("*.txt"), T("nowhere")}), 0);
  EXPECT_EQ(IntCall("SE_GetDir", {I(0), T("dir")}), 0);

  EXPECT_EQ(IntCall("SE_MakeDir", {T("made")}), 1);
  EXPECT_TRUE(std::filesystem::is_directory(UserFolder() + "/made"));
  std::ofstream(UserFolder() + "/made/s1.sav") << "1";
  std::ofstream(UserFolder() + "/made/s2.sav") << "2";
  // A folder that is not a text is no folder: the flag after it still counts.
  Call(Fn("SE_GetDir"), {T("made\\*.sav"), I(0), I(1)});
  EXPECT_EQ(Elements(&answer_), (std::vector<std::string>{"s1.sav", "s2.sav"}));
  EXPECT_EQ(IntCall("SE_MakeDir", {I(4)}), 0);

  std::string before = std::filesystem::current_path().string();
  EXPECT_EQ(IntCall("SE_ChangeDir", {T("dir")}), 1);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Game().File("dir")));
  EXPECT_EQ(IntCall("SE_ChangeDir", {T("nowhere")}), 0);
  EXPECT_EQ(IntCall("SE_ChangeDir", {I(0)}), 0);
  std::filesystem::current_path(before);
}

TEST_F(SEFilesTest, OpenFilesAreWrittenThroughTheirHandles) {
  int32_t log = IntCall("SE_FOpen", {T("log.txt"), T("w")});
  EXPECT_EQ(log, 2);  // the registry's first key
  EXPECT_EQ(IntCall("SE_FPrintf", {I(log), T("%d-%s|"), I(7), T("x")}), 4);
  EXPECT_EQ(IntCall("SE_FPrintf", {I(log), T("%!1s%s"), T("a"), T("b")}), 2);
  EXPECT_EQ(IntCall("SE_FPrintf", {I(log), T("")}), 0);
  EXPECT_EQ(IntCall("SE_FPrintf", {I(log), I(3)}), 0);
  EXPECT_EQ(IntCall("SE_FClose", {I(log)}), 0);
  EXPECT_EQ(Game().Read("log.txt"), "7-x|ba");
  EXPECT_EQ(IntCall("SE_FPrintf", {I(log), T("late")}), 0);
  EXPECT_EQ(IntCall("SE_FClose", {I(log)}), 0);
  EXPECT_EQ(IntCall("SE_FClose", {I(12345)}), 0);

  EXPECT_EQ(IntCall("SE_FOpen", {T("missing.txt"), T("r")}), 0);
  EXPECT_EQ(IntCall("SE_FOpen", {I(1), T("w")}), 0);
  EXPECT_EQ(IntCall("SE_FOpen", {T("x.txt"), I(1)}), 0);
  EXPECT_FALSE(std::filesystem::exists(Game().File("x.txt")));

  // Files left open are written out and closed by the unload.
  int32_t user = IntCall("SE_FOpen", {T("open.txt"), T("w"), I(1)});
  ASSERT_NE(user, 0);
  EXPECT_EQ(IntCall("SE_FPrintf", {I(user), T("kept %d"), I(1)}), 6);
  EXPECT_EQ(HashCount(engine_->openFiles), 1u);
  FreeScriptFilesAndExpressions(engine_);
  EXPECT_EQ(HashCount(engine_->openFiles), 0u);
  EXPECT_EQ(ReadHostFile(UserFolder() + "/open.txt"), "kept 1");
  EXPECT_EQ(IntCall("SE_FPrintf", {I(user), T("after")}), 0);
}

TEST_F(SEFilesTest, DebugOutputFileIsSetOnceUntilCleared) {
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {T("debug.txt")}), 1);
  ASSERT_NE(gSystem->outputFileName, nullptr);
  EXPECT_STREQ(gSystem->outputFileName, "debug.txt");
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {T("other.txt")}), 0);
  EXPECT_STREQ(gSystem->outputFileName, "debug.txt");
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {I(0)}), 1);
  EXPECT_EQ(gSystem->outputFileName, nullptr);
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {T("user.txt"), I(1)}), 1);
  ASSERT_NE(gSystem->outputFileName, nullptr);
  std::string expected = GamePath(UserFolder() + "/user.txt");
  EXPECT_EQ(std::string(gSystem->outputFileName), expected);
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {}), 1);
  EXPECT_EQ(gSystem->outputFileName, nullptr);
  EXPECT_EQ(IntCall("SE_SetDebugOutputFile", {T("d.txt"), I(0)}), 1);
  EXPECT_STREQ(gSystem->outputFileName, "d.txt");
}

TEST_F(SEFilesTest, NativesWithoutEffectAndEngineFacts) {
  struct Case {
    const char* name;
    std::vector<Arg> args;
    int32_t expected;
  };
  task_->pc = 1234;
  task_->cookie = 77;
  const Case kCases[] = {
      {"SE_Dprintf", {T("%d %s %a"), I(1), T("x"), I(3)}, 0},
      {"SE_DMprintf", {I(0), T("%d"), I(1)}, 0},
      {"SE_DMprintf", {I(4), T("%d"), I(1)}, 0},
      {"SE_DMprintf", {I(4), I(5)}, 0},
      {"SE_Assert", {I(0)}, 0},
      {"SE_Trace", {}, 0},
      {"SE_SetProfiling", {I(1)}, 0},
      {"SE_StackDump", {I(1)}, 0},
      {"SE_CallStackDump", {}, 0},
      {"SE_ShowCallStack", {}, 0},
      {"SE_AutoDoc", {}, 0},
      {"SE_DumpValues", {}, 0},
      {"SE_DumpAllocatedObjects", {}, 0},
      {"SE_SignData", {T("x")}, 0},
      {"SE_UpdateStory", {}, 0},
      {"SE_Enable", {I(7)}, 7},
      {"SE_Disable", {I(-3)}, -3},
      {"SE_Enable", {}, 0},
      {"SE_ExportPrivateInfo", {I(402)}, 5000},
      {"SE_ExportPrivateInfo", {I(401)}, 1},  // the calling task
      {"SE_ExportPrivateInfo", {I(403)}, 0},  // no classes, no instances
      {"SE_ExportPrivateInfo", {I(400)}, 0},
      {"SE_GetTaskPC", {I(task_->id)}, 1234},
      {"SE_GetTaskPC", {I(9999)}, 0},
      {"SE_GetTaskPC", {}, 0},
      {"SE_CallerNumber", {}, 77},
      {"SE_CallerEngine", {}, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(IntCall(c.name, c.args), c.expected) << c.name;

  EXPECT_EQ(IntCall("SE_SetMaxOpCount", {I(55)}), 0);
  EXPECT_EQ(engine_->opLimit, 55);
  EXPECT_EQ(engine_->opCount, 0);
  engine_->opCount = 9;
  EXPECT_EQ(IntCall("SE_SetMaxOpCount", {}), 0);
  EXPECT_EQ(engine_->opLimit, 55);

  int32_t current = IntCall("SE_AllocatedMem", {});
  EXPECT_EQ(uint32_t(current), MemGetCurrentBytes());
  EXPECT_EQ(uint32_t(IntCall("SE_AllocatedMemGeneral", {})), MemGetDefaultCategoryBytes());
}

TEST_F(SEFilesTest, MemoryStatisticsAreTheFiguresBeforeTheAnswer) {
  const PoolStatistics before = engine_->statistics;
  Call(Fn("SE_MemStatistics"), {});
  ASSERT_EQ(answer_.type, kValueArray);
  ASSERT_EQ(GetArraySize(&answer_), kPoolKindCount);
  for (int32_t k = 0; k < kPoolKindCount; ++k) {
    ScriptValue* row = ArrayElementPtr(&answer_, k);
    ASSERT_NE(row, nullptr);
    std::vector<std::string> expected = {"", std::to_string(before.currentBytes[k]),
                                         std::to_string(before.peakBytes[k]), std::to_string(before.currentBlocks[k]),
                                         std::to_string(before.peakBlocks[k])};
    EXPECT_EQ(Elements(row), expected) << "kind " << k;
  }
}

// ---- Signatures with the built-in key pair ----------------------------------------------------

std::vector<int32_t> PublicKeyBytes() {
  std::vector<uint8_t> blob(kPublicKeyBlobSize);
  DescrambleKeyBlob(kStoredPublicKeyBlob, kPublicKeyBlobSize, blob.data());
  return std::vector<int32_t>(blob.begin(), blob.end());
}

std::string Sign(const std::string& data) {
  int32_t length = 0;
  char* block = SignData(data.data(), int32_t(data.size()), &length);
  if (!block) return "";
  std::string signature(block, size_t(length));
  MemFree(block, size_t(length) + 1, 0);
  return signature;
}

class SESignatureTest : public SEFilesTest {
 protected:
  void SetUp() override {
    SEFilesTest::SetUp();
    std::vector<int32_t> bytes = PublicKeyBytes();
    AllocArrayValue(&key_, int32_t(bytes.size()));
    // Elements above a byte count only with their low byte.
    for (size_t k = 0; k < bytes.size(); ++k) ArrayWriteInt(&key_, int32_t(k), bytes[k] + (k % 3 ? 0 : 0x300));
  }
  void TearDown() override {
    ReleaseValue(&key_);
    engine_->storyCopy = nullptr;
    engine_->storyLength = 0;
    SEFilesTest::TearDown();
  }

  // Writes a manifest that signs `story` as the story file, and makes `story` the engine's copy.
  void SignedStory(const std::string& story) {
    story_ = story;
    std::string data = "<sval type=\"table\" size=\"1\"><sval type=\"string\" val=\"L\\vexastory.obj\" />"
                       "<sval type=\"string\" val=\"" + Sign(story) + "\" /></sval>";
    Game().Write(kManifestName, "<?xml version=\"1.0\"?>\n<vexafiles>\n<data>\n" + data + "\n</data>\n<signature>\n" +
                                    Sign(data) + "\n</signature>\n</vexafiles>\n");
    engine_->storyCopy = reinterpret_cast<uint8_t*>(story_.data());
    engine_->storyLength = uint32_t(story_.size());
    engine_->flags &= ~kEngineStoryNotVerified;
  }

  ScriptValue key_{};
  std::string story_;
};

TEST_F(SESignatureTest, VerifyDataAnswersTheHashOfSignedData) {
  const std::string data = "hello";
  const std::string signature = Sign(data);
  ASSERT_EQ(signature.size(), size_t(kSignatureTextLength));
  EXPECT_EQ(TextCall("SE_VerifyData", {T(data), T(signature), V(key_)}), "XUFAKrxLKna5cZ2REBfFkg==");  // MD5
  EXPECT_EQ(TextCall("SE_VerifyData", {T("hellO"), T(signature), V(key_)}), "<int 0>");

  Owned shortKey;
  AllocArrayValue(&shortKey.v, 1);
  ArrayWriteInt(&shortKey.v, 0, 6);
  Owned emptyKey;
  AllocArrayValue(&emptyKey.v, 0);
  struct Case {
    const char* what;
    std::vector<Arg> args;
  };
  const Case kCases[] = {
      {"two arguments", {T(data), T(signature)}},
      {"four arguments", {T(data), T(signature), V(key_), I(0)}},
      {"empty data", {T(""), T(signature), V(key_)}},
      {"empty signature", {T(data), T(""), V(key_)}},
      {"data not a text", {I(1), T(signature), V(key_)}},
      {"key not an array", {T(data), T(signature), I(3)}},
      {"empty key", {T(data), T(signature), V(emptyKey.v)}},
      {"short key", {T(data), T(signature), V(shortKey.v)}},
      {"signature not Base64", {T(data), T("!!!!"), V(key_)}},
  };
  for (const Case& c : kCases) EXPECT_EQ(TextCall("SE_VerifyData", c.args), "<int 0>") << c.what;
}

TEST_F(SESignatureTest, GameStatsAreSignedOnlyForTheSignedStory) {
  // No story copy: the empty text.
  EXPECT_EQ(TextCall("SE_SignGameStats", {T("score 10")}), "");

  SignedStory("story bytes of the game");
  std::string signature = TextCall("SE_SignGameStats", {T("score 10")});
  ASSERT_EQ(signature.size(), size_t(kSignatureTextLength)) << signature;
  // What it signed verifies with the public key, through the script natives too.
  EXPECT_EQ(TextCall("SE_VerifyData", {T("score 10"), T(signature), V(key_)}).size(), size_t(kHashTextLength));
  EXPECT_EQ(TextCall("SE_VerifyData", {T("score 11"), T(signature), V(key_)}), "<int 0>");

  EXPECT_EQ(TextCall("SE_SignGameStats", {T("")}), "<int 0>");
  EXPECT_EQ(TextCall("SE_SignGameStats", {I(4)}), "<int 0>");
  EXPECT_EQ(TextCall("SE_SignGameStats", {T("a"), T("b")}), "<int 0>");

  // A story marked modified, or one that is not what the manifest signed, signs nothing.
  engine_->flags |= kEngineStoryNotVerified;
  EXPECT_EQ(TextCall("SE_SignGameStats", {T("score 10")}), "");
  engine_->flags &= ~kEngineStoryNotVerified;
  story_[0] ^= 1;
  EXPECT_EQ(TextCall("SE_SignGameStats", {T("score 10")}), "");
}

// ---- The task list over a loaded script ---------------------------------------------------------

class SETaskListTest : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    engine_->seModuleIndex =
        RegisterNativeModule(engine_, SE_Dispatch, kSENativeNames, SEResumeInt, SEResumeString, SEResumeValue);
  }

  ScriptTask* Parked(ObjectInstance* object, uint32_t pc, bool waiting) {
    ScriptTask* task = NewTask(engine_, 32);
    task->thisObject = object;
    task->pc = pc;
    if (waiting) MakeTaskWait(engine_, task);
    else StartTask(engine_, task);
    return task;
  }

  uint32_t Label(const char* name) const {
    auto found = asm_.labels.find(name);
    if (found != asm_.labels.end()) return found->second;
    ADD_FAILURE() << "no label " << name;
    return 0;
  }
};

const char* const kClassesScript = R"(
.class 20
.method Run run frame=4
.method Stop stop frame=4
.end
.class 21 super=20
.method Fly fly frame=4
.end
pad:
  nop
run:
  push0
  ret
stop:
  push0
  ret
fly:
  push0
  ret
)";

TEST_F(SETaskListTest, TasksAreListedWithObjectClassAndMethod) {
  ASSERT_TRUE(Load(kClassesScript)) << error_;
  ObjectInstance* base = FindScriptObject(engine_, 20);
  ObjectInstance* derived = FindScriptObject(engine_, 21);
  ASSERT_NE(base, nullptr);
  ASSERT_NE(derived, nullptr);
  Parked(base, Label("run") + 1, false);
  Parked(derived, Label("stop"), true);     // inherited method, found in the super class
  Parked(derived, Label("fly") + 1, false);
  Parked(nullptr, Label("run"), false);
  Parked(base, Label("pad"), true);         // before every method

  ScriptTask* caller = NewTask(engine_, 32);
  ScriptValue noArgs{};
  ASSERT_EQ(DispatchSENative(engine_, engine_->seModuleIndex, caller, Fn("SE_TaskList"), 0, &noArgs), 1);
  ASSERT_EQ(caller->result.type, kValueArray);
  ScriptValue* lists = &caller->result;
  auto column = [&](int32_t k) {
    std::vector<std::string> out;
    ScriptValue* list = ArrayElementPtr(lists, k);
    for (int32_t i = 0; list && i < GetArraySize(list); ++i) {
      ScriptValue* e = ArrayElementPtr(list, i);
      if (e->type == kValueInt) out.push_back(std::to_string(e->i));
      else out.push_back(GetValueString(e) ? GetValueString(e) : "<null>");
    }
    return out;
  };
  // The run list first, then the wait list, each in its order.
  EXPECT_EQ(column(0), (std::vector<std::string>{"20", "21", "0", "21", "20"}));
  EXPECT_EQ(column(1), (std::vector<std::string>{"20", "21", "0", "20", "20"}));
  EXPECT_EQ(column(2),
            (std::vector<std::string>{"Run", "Fly", "unknown object", "Stop", "unknown function"}));
  ReleaseValue(&caller->result);
  FreeTask(engine_, caller);
}

}  // namespace
