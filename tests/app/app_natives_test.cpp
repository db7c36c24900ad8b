// The application's natives through their dispatcher: the name table and the functions without
// effect, save requests, the list of saves from hand-built save headers, screen debug lines,
// start-mode masks, benchmark scenes (bounds, a zero and a very long elapsed time), registry
// values, the run-in-background switch and the texts of the blocks.
#include "app/app_natives.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game_loop.h"
#include "app/game_state.h"
#include "app/save_game.h"
#include "core/byte_order.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/steering.h"
#include "platform/registry.h"
#include "script/containers.h"
#include "script/engine.h"
#include "support/temp_dir.h"

namespace {

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
  static std::string Registry() { return documents_->File("registry.xml"); }

 private:
  static TempDir* documents_;
};
TempDir* DocumentsEnvironment::documents_ = nullptr;
::testing::Environment* const kDocuments = ::testing::AddGlobalTestEnvironment(new DocumentsEnvironment);

std::string Word(uint32_t w) {
  unsigned char b[4];
  StoreBE32(b, w);
  return std::string(reinterpret_cast<char*>(b), 4);
}
std::string Text(const std::string& t) { return Word(uint32_t(t.size())) + t; }

void WriteSaveFile(int number, const std::string& bytes) {
  std::filesystem::create_directories(DocumentsEnvironment::SaveFolder());
  char name[32];
  std::snprintf(name, sizeof name, "/Ulnar%02d.sav", number);
  gzFile gz = gzopen((DocumentsEnvironment::SaveFolder() + name).c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  if (!bytes.empty()) gzwrite(gz, bytes.data(), unsigned(bytes.size()));
  gzclose(gz);
}

std::string Header(const std::string& name, const std::string& second, uint32_t w1, uint32_t w2) {
  return "LSAV" + Text(name) + Text(second) + Text("story") + Word(w1) + Word(w2) + Word(0) + Word(0);
}

class AppNativesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    system_ = SystemBlock{};
    system_.product = &kProductRecord;
    gSystem = &system_;
    std::memset(&state_, 0, sizeof state_);
    gGameState = InitGameStateBlock(&state_);
    state_.startMode = 2;
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_TRUE(InitEngineContext(engine_));
    input_ = InputState{};
    gInputState = &input_;
    std::memset(gBenchmarkRecords, 0, sizeof gBenchmarkRecords);
    gScreenshotRequest = 0;
    std::filesystem::remove(DocumentsEnvironment::Registry());
    RegistrySetFilePath(DocumentsEnvironment::Registry().c_str());
    std::filesystem::remove_all(DocumentsEnvironment::SaveFolder());
  }

  void TearDown() override {
    ReleaseValue(&task_.result);
    RegistrySetFilePath(nullptr);
    gInputState = nullptr;
    state_.saveName = FreeString(state_.saveName);
    state_.saveSecondName = FreeString(state_.saveSecondName);
    system_.modName = FreeString(system_.modName);
    system_.defaultProfile = FreeString(system_.defaultProfile);
    FreeModuleStringTables(&state_);
    gGameState = nullptr;
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
    gSystem = nullptr;
  }

  // Calls a function with the given arguments; the answer is in task_.result.
  const ScriptValue& Call(int32_t function, std::vector<ScriptValue> args = {}) {
    ReleaseValue(&task_.result);
    EXPECT_EQ(DispatchApplicationCommand(function, args.empty() ? nullptr : args.data(), &task_,
                                         int32_t(args.size())),
              1);
    for (ScriptValue& v : args) ReleaseValue(&v);
    EXPECT_EQ(task_.hasResult, 1);
    task_.hasResult = 0;
    return task_.result;
  }
  int32_t CallInt(int32_t function, std::vector<ScriptValue> args = {}) {
    const ScriptValue& r = Call(function, std::move(args));
    EXPECT_EQ(r.type, kValueInt);
    return r.i;
  }
  std::string CallText(int32_t function, std::vector<ScriptValue> args = {}) {
    const ScriptValue& r = Call(function, std::move(args));
    EXPECT_EQ(r.type, kValueString);
    const char* text = GetValueString(&r);
    return text ? text : "<null>";
  }

  static ScriptValue I(int32_t n) {
    ScriptValue v{};
    SetValueInt(&v, n);
    return v;
  }
  static ScriptValue T(const char* text) {
    ScriptValue v{};
    SetValueString(&v, text);
    return v;
  }

  SystemBlock system_;
  GameStateBlock state_;
  ScriptEngine* engine_ = nullptr;
  InputState input_;
  ScriptTask task_{};
};

TEST_F(AppNativesTest, NameTableHoldsTheFunctionsInNumberOrder) {
  struct Case {
    int32_t function;
    const char* name;
  };
  const Case kCases[] = {{kWiloGetScene, "Wilo_GetScene"},
                         {kWiloSave, "Wilo_Save"},
                         {kWiloLoadSaveNames, "Wilo_LoadSaveNames"},
                         {kWiloXMLImportGalaxy, "Wilo_XMLImportGalaxy"},
                         {kWiloStartBenchmarkScene, "Wilo_StartBenchmarkScene"},
                         {kWiloGetSaveDevices, "Wilo_GetSaveDevices"},
                         {kWiloUpdateCursorSteering, "Wilo_UpdateCursorSteering"},
                         {kWiloIsRunInBackground, "Wilo_IsRunInBackground"}};
  for (const Case& c : kCases) EXPECT_STREQ(kApplicationNativeNames[c.function], c.name);
  EXPECT_EQ(kApplicationNativeNames[kApplicationFunctionCount], nullptr);
}

TEST_F(AppNativesTest, FunctionsWithoutEffectAnswerZeroAndChangeNothing) {
  const int32_t kFunctions[] = {kWiloGetScene, kWiloGetSpace,       kWiloSetGalaxy, kWiloGraphicSettings,
                                kWiloSoundSettings, kWiloGetSaveDevices, kApplicationFunctionCount, -1, 1000000};
  system_.modeFlags = 0x10;
  unsigned char systemBefore[sizeof system_];
  unsigned char stateBefore[sizeof state_];
  std::memcpy(systemBefore, &system_, sizeof system_);
  std::memcpy(stateBefore, &state_, sizeof state_);
  for (int32_t function : kFunctions) {
    SCOPED_TRACE(function);
    EXPECT_EQ(CallInt(function, {I(5), T("x"), I(7)}), 0);
  }
  EXPECT_EQ(std::memcmp(systemBefore, &system_, sizeof system_), 0);
  EXPECT_EQ(std::memcmp(stateBefore, &state_, sizeof state_), 0);
}

TEST_F(AppNativesTest, SaveRequestIsQueuedOutsideStartModeOne) {
  struct Case {
    const char* name;
    int32_t startMode;
    bool textNames;
    int32_t result;
  };
  const Case kCases[] = {
      {"start mode 1", 1, true, 0},
      {"start mode 2", 2, true, 1},
      {"names that are no texts", 2, false, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    state_.startMode = c.startMode;
    state_.pauseFlags = 0;
    state_.saveName = FreeString(state_.saveName);
    state_.saveSecondName = FreeString(state_.saveSecondName);
    state_.saveSlot = 0;
    std::vector<ScriptValue> args = {I(4), c.textNames ? T("Name") : I(3), c.textNames ? T("Second") : I(4), I(99),
                                     I(1)};
    EXPECT_EQ(CallInt(kWiloSave, std::move(args)), c.result);
    if (c.result == 0) {
      EXPECT_EQ(state_.pauseFlags, 0u);
      EXPECT_EQ(state_.saveName, nullptr);
      continue;
    }
    EXPECT_EQ(state_.pauseFlags, kPauseSaveRequested);
    EXPECT_EQ(state_.saveSlot, 4u);
    EXPECT_EQ(state_.saveWord, 99u);
    if (c.textNames) {
      EXPECT_STREQ(state_.saveName, "Name");
      EXPECT_STREQ(state_.saveSecondName, "Second");
    } else {
      EXPECT_EQ(state_.saveName, nullptr);
      EXPECT_EQ(state_.saveSecondName, nullptr);
    }
  }
  // Too few arguments: nothing is read past them.
  state_.startMode = 2;
  EXPECT_EQ(CallInt(kWiloSave, {I(2)}), 1);
  EXPECT_EQ(state_.saveSlot, 2u);
  EXPECT_EQ(state_.saveName, nullptr);
}

TEST_F(AppNativesTest, SaveListFindsSlotsFromTheirHeaders) {
  WriteSaveFile(2, Header("Second slot", "caption two", 111, 222) + "rest of the save");
  WriteSaveFile(13, Header(std::string(999, 'n'), "", 5, 6));
  // Damaged headers in other slots: listed as 0.
  WriteSaveFile(3, "LSAV" + Word(1000) + std::string(1000, 'x') + Text("") + Text("") + Word(1) + Word(2));
  WriteSaveFile(4, "LSAX" + Text("a") + Text("b") + Text("c") + Word(1) + Word(2));
  WriteSaveFile(5, Header("cut", "short", 1, 2).substr(0, 30));
  WriteSaveFile(6, "LSAV" + Text("a") + Text("b") + Word(100) + std::string(100, 's') + Word(1) + Word(2));
  WriteSaveFile(7, "");

  const ScriptValue& list = Call(kWiloLoadSaveNames);
  ASSERT_EQ(list.type, kValueArray);
  ASSERT_EQ(GetArraySize(&list), kSaveSlotCount);
  ScriptValue copy{};
  CopyValue(&copy, &list);
  for (int32_t slot = 0; slot < kSaveSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    ScriptValue* element = ArrayElementPtr(&copy, slot);
    ASSERT_NE(element, nullptr);
    if (slot != 1 && slot != 12) {
      EXPECT_EQ(element->type, kValueInt);
      EXPECT_EQ(element->i, 0);
      continue;
    }
    ASSERT_EQ(element->type, kValueArray);
    ASSERT_EQ(GetArraySize(element), 5);
    const std::string name = slot == 1 ? "Second slot" : std::string(999, 'n');
    const std::string second = slot == 1 ? "caption two" : "";
    EXPECT_EQ(GetValueString(ArrayElementPtr(element, 0)), name);
    EXPECT_EQ(GetValueString(ArrayElementPtr(element, 1)), second);
    // w2 comes before w1.
    EXPECT_EQ(ArrayElementPtr(element, 2)->i, slot == 1 ? 222 : 6);
    EXPECT_EQ(ArrayElementPtr(element, 3)->i, slot == 1 ? 111 : 5);
    EXPECT_GT(ArrayElementPtr(element, 4)->i, 0);
  }
  ReleaseValue(&copy);
}

TEST_F(AppNativesTest, ScreenDebugLines) {
  struct Case {
    int32_t line;
    std::string text;
    std::string stored;  // what line `line` holds afterwards, when it exists
  };
  const Case kCases[] = {
      {0, "first", "first"},
      {5, "last", "last"},
      {3, std::string(300, 'z'), std::string(255, 'z')},
      {6, "x", ""},
      {-1, "x", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    unsigned char before[sizeof system_];
    std::memcpy(before, &system_, sizeof system_);
    EXPECT_EQ(CallInt(kWiloSetScreenDebugLine, {I(c.line), T(c.text.c_str())}), 0);
    if (c.line < 0 || c.line >= kScreenDebugLineCount) {
      EXPECT_EQ(std::memcmp(before, &system_, sizeof system_), 0);
      EXPECT_EQ(CallInt(kWiloGetScreenDebugLine, {I(c.line)}), 0);
      continue;
    }
    EXPECT_EQ(CallText(kWiloGetScreenDebugLine, {I(c.line)}), c.stored);
  }
  // A line set without a text becomes empty.
  CallInt(kWiloSetScreenDebugLine, {I(0)});
  EXPECT_EQ(CallText(kWiloGetScreenDebugLine, {I(0)}), "");
}

TEST_F(AppNativesTest, StartModeAvailabilityMask) {
  EXPECT_EQ(CallInt(kWiloIsStartModeAvailable, {I(0)}), 1);
  EXPECT_EQ(CallInt(kWiloIsStartModeAvailable, {I(0x4)}), 0);
  CallInt(kWiloSetStartModeAvailable, {I(0x6), I(1)});
  EXPECT_EQ(system_.startModeMask, 0x6u);
  EXPECT_EQ(CallInt(kWiloIsStartModeAvailable, {I(0x6)}), 1);
  EXPECT_EQ(CallInt(kWiloIsStartModeAvailable, {I(0x7)}), 0);
  CallInt(kWiloSetStartModeAvailable, {I(0x2), I(0)});
  EXPECT_EQ(system_.startModeMask, 0x4u);
}

TEST_F(AppNativesTest, BenchmarkScenesMeasureOnlyInABenchmarkRun) {
  struct Case {
    const char* name;
    uint32_t modeFlags;
    int32_t scene;
    uint32_t elapsedMs;
    uint32_t frames;
    float average;  // of the scene's record after the stop; -1: the scene does not start
  };
  const Case kCases[] = {
      {"two seconds, 100 frames", kModeBenchmark, 4, 2000, 100, 50.0f},
      {"stopped in the millisecond it started", kModeBenchmark, 5, 0, 10, 0.0f},
      {"longer than 16.16 seconds hold", kModeBenchmark, 6, 40000000, 400000, 10.0f},
      {"not a benchmark run", 0, 7, 2000, 100, -1.0f},
      {"scene number past the records", kModeBenchmark, kBenchmarkRecordCount, 2000, 100, -1.0f},
      {"negative scene number", kModeBenchmark, -1, 2000, 100, -1.0f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    system_.modeFlags = c.modeFlags;
    system_.gameTime = 1000;
    state_.benchmarkScene = 0;
    state_.benchmarkActive = 0;
    std::memset(gBenchmarkRecords, 0, sizeof gBenchmarkRecords);
    EXPECT_EQ(CallInt(kWiloStartBenchmarkScene, {I(c.scene)}), 0);
    if (c.average < 0) {
      EXPECT_EQ(state_.benchmarkActive, 0u);
      EXPECT_EQ(state_.benchmarkScene, 0);
      EXPECT_EQ(system_.modeFlags & kModeBenchmarkScene, 0u);
      continue;
    }
    EXPECT_EQ(state_.benchmarkActive, 1u);
    EXPECT_EQ(state_.benchmarkScene, c.scene);
    EXPECT_EQ(state_.benchmarkFrames, 0u);
    EXPECT_NE(system_.modeFlags & kModeBenchmarkScene, 0u);
    gBenchmarkRecords[c.scene].minimum = 20.0f;
    gBenchmarkRecords[c.scene].maximum = 70.0f;
    state_.benchmarkFrames = c.frames;
    system_.gameTime += c.elapsedMs;
    EXPECT_EQ(CallInt(kWiloStopBenchmarkScene), 0);
    EXPECT_NEAR(gBenchmarkRecords[c.scene].average, c.average, 0.01f);
    EXPECT_EQ(gBenchmarkRecords[c.scene].minimum, 20.0f);
    EXPECT_EQ(gBenchmarkRecords[c.scene].maximum, 70.0f);
    EXPECT_EQ(state_.benchmarkActive, 0u);
    EXPECT_EQ(system_.modeFlags & kModeBenchmarkScene, 0u);
  }
  // A stop without an active scene clears the current scene's record.
  system_.modeFlags = kModeBenchmark;
  state_.benchmarkScene = 9;
  gBenchmarkRecords[9] = BenchmarkRecord{1.0f, 2.0f, 3.0f};
  CallInt(kWiloStopBenchmarkScene);
  EXPECT_EQ(gBenchmarkRecords[9].average, 0.0f);
  EXPECT_EQ(gBenchmarkRecords[9].minimum, 0.0f);
  EXPECT_EQ(gBenchmarkRecords[9].maximum, 0.0f);
}

TEST_F(AppNativesTest, RegistryValuesByName) {
  EXPECT_EQ(CallInt(kWiloReadStringFromRegistry, {T("Missing")}), 0);
  EXPECT_EQ(CallInt(kWiloSaveStringToRegistry, {T("Pilot"), T("Ria")}), 1);
  EXPECT_EQ(CallText(kWiloReadStringFromRegistry, {T("Pilot")}), "Ria");
  EXPECT_EQ(CallInt(kWiloSaveIntToRegistry, {T("Count"), I(-12)}), 1);
  EXPECT_EQ(CallInt(kWiloReadIntFromRegistry, {T("Count")}), -12);
  // No name: nothing is written or read.
  EXPECT_EQ(CallInt(kWiloSaveIntToRegistry, {I(1), I(2)}), 0);
  EXPECT_EQ(CallInt(kWiloReadStringFromRegistry, {}), 0);
}

TEST_F(AppNativesTest, RunInBackgroundSetsTheInputFlagAndTheRegistry) {
  EXPECT_EQ(CallInt(kWiloIsRunInBackground), 0);
  CallInt(kWiloSetRunInBackground, {I(1)});
  EXPECT_NE(input_.flags & kInputRunInBackground, 0u);
  EXPECT_EQ(CallInt(kWiloIsRunInBackground), 1);
  EXPECT_EQ(CallInt(kWiloReadIntFromRegistry, {T("RunInBackground")}), 1);
  CallInt(kWiloSetRunInBackground, {I(0)});
  EXPECT_EQ(CallInt(kWiloIsRunInBackground), 0);
  EXPECT_EQ(CallInt(kWiloReadIntFromRegistry, {T("RunInBackground")}), 0);
  // Before the input devices exist only the registry value changes.
  gInputState = nullptr;
  CallInt(kWiloSetRunInBackground, {I(1)});
  EXPECT_EQ(CallInt(kWiloIsRunInBackground), 0);
  EXPECT_EQ(CallInt(kWiloReadIntFromRegistry, {T("RunInBackground")}), 1);
}

TEST_F(AppNativesTest, TextsOfTheBlocks) {
  EXPECT_EQ(CallInt(kWiloGetStringParameter), 0);
  CallInt(kWiloSetStringParameter, {T("fast")});
  EXPECT_EQ(CallText(kWiloGetStringParameter), "fast");
  CallInt(kWiloSetStringParameter, {I(3)});
  EXPECT_EQ(state_.fastStartText, nullptr);
  EXPECT_EQ(CallInt(kWiloGetStringParameter), 0);

  EXPECT_EQ(CallInt(kWiloGetModName), 0);
  system_.modName = ReplaceString(system_.modName, "mymod");
  EXPECT_EQ(CallText(kWiloGetModName), "mymod");

  EXPECT_EQ(CallInt(kWiloGetDefaultProfile), 0);
  CallInt(kWiloSetDefaultProfile, {T("Ria")});
  EXPECT_EQ(CallText(kWiloGetDefaultProfile), "Ria");
  CallInt(kWiloSetDefaultProfile, {T("Tam")});
  EXPECT_EQ(CallText(kWiloGetDefaultProfile), "Tam");
}

TEST_F(AppNativesTest, StateWordsAndRequests) {
  CallInt(kWiloSetNextLocation, {I(3), I(150), I(42)});
  EXPECT_EQ(state_.nextStartMode, 3);
  EXPECT_EQ(state_.nextSubMode, 150);
  EXPECT_EQ(state_.nextParameter, 42);
  CallInt(kWiloSetInputModeMask, {I(0x30)});
  EXPECT_EQ(CallInt(kWiloGetInputModeMask), 0x30);
  CallInt(kWiloSetGameState, {I(77)});
  EXPECT_EQ(CallInt(kWiloGetGameState), 77);
  EXPECT_EQ(system_.gameState, 77u);
  CallInt(kWiloCaptureFrame);
  EXPECT_EQ(gScreenshotRequest, 1u);
  CallInt(kWiloSetPause);
  EXPECT_NE(state_.pauseFlags & kPausePaused, 0u);
  CallInt(kWiloUpdateCursorSteering, {I(1), I(-2), I(3), I(-4)});
  const int32_t kSteering[] = {1, -2, 3, -4};
  for (int i = 0; i < kCursorSteeringWordCount; ++i) EXPECT_EQ(gCursorSteering[i], kSteering[i]);
}

TEST_F(AppNativesTest, GalaxyImportOfTextThatIsNoXmlAnswersZero) {
  EXPECT_EQ(CallInt(kWiloXMLImportGalaxy, {T("<galaxy><unclosed>"), I(0)}), 0);
  EXPECT_EQ(CallInt(kWiloXMLImportGalaxy, {I(5)}), 0);
  EXPECT_EQ(CallInt(kWiloXMLImportGalaxy, {T("<galaxy/><sector/>"), I(0)}), 0);
}

}  // namespace
