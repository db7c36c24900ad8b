// Calls into scripts by name: arguments clipped to the method's parameters or filled with 0,
// the count a function sees in each form, results of every kind reaching the caller module, the
// empty answer for unknown objects and methods, a call that waits on a timer answering later,
// the lookups by name and by code offset, and the order of the reset of the script systems.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/script_calls.h"
#include "support/timer_fixture.h"

namespace {

// Class 12 with method Echo (2 parameters) and its subclass 13 that inherits it; global
// functions that answer in every result kind; one that waits on a timer.
const char* const kScript = R"(
.class 12
.method Echo echo frame=8 params=2
.end
.class 13 super=12
.method Other other frame=4
.end
.func Text text frame=4
.func Number number frame=4
.func Delayed delayed frame=8
.func MakeOne makeone frame=4
echo:
  check 8
  ldl 5            ; parameter 1
  ldl 5            ; parameter 0
  ldl 5            ; the count
  pushb 3
  native T_Log
  ret
other:
  push0
  ret
text:
  pushs "done"
  ret
number:
  pushw 321
  ret
delayed:
  check 8
  pushw 100
  push1
  native TI_Delay
  pop
  pushb 77
  ret
makeone:
  newc 13
  ret
)";

class ScriptCalls : public TimerRunTest {
 protected:
  void SetUp() override {
    TimerRunTest::SetUp();
    ASSERT_TRUE(Load(kScript)) << error_;
  }
};

TEST_F(ScriptCalls, ArgumentsAreClippedOrFilledAndTheCountFollowsTheForm) {
  ScriptValue nine{}, two{}, three{};
  SetValueInt(&nine, 9);
  SetValueInt(&two, 2);
  SetValueInt(&three, 3);
  struct Case {
    const char* name;
    bool values;
    int32_t argCount;
    const char* logged;  // count, parameter 0, parameter 1
  };
  const Case kCases[] = {
      {"ints, more than the parameters", false, 3, "2,9,2"},
      {"ints, fewer", false, 1, "2,9,0"},
      {"ints, none", false, 0, "2,0,0"},
      {"values, more", true, 3, "2,9,2"},
      {"values, fewer", true, 1, "1,9,0"},
  };
  for (const Case& c : kCases) {
    log_.clear();
    results_.clear();
    bool started = c.values ? CallScriptFunctionValues(module_, 5, 12, "Echo", kResultInt, c.argCount, &nine,
                                                       &two, &three)
                            : CallScriptFunction(module_, 5, 12, "Echo", kResultInt, c.argCount, 9, 2, 3);
    EXPECT_TRUE(started) << c.name;
    EXPECT_EQ(log_, std::vector<std::string>{c.logged}) << c.name;
    // The function ran to its end inside the call: its answer is already there.
    EXPECT_EQ(results_, std::vector<std::string>{"3"}) << c.name;
  }
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(ScriptCalls, EveryResultKindReachesTheCallerModule) {
  struct Case {
    int32_t objectId;
    const char* name;
    int32_t kind;
    bool started;
    const char* answer;
  };
  const Case kCases[] = {
      {0, "Text", kResultString, true, "done"},
      {0, "Text", kResultValue, true, "\"done\""},
      {0, "Number", kResultInt, true, "321"},
      {0, "Number", kResultValue, true, "321"},
      {0, "Number", kResultString, true, "(null)"},  // an int is no text
      {13, "Echo", kResultInt, true, "3"},         // inherited from class 12
      {0, "Missing", kResultInt, false, "0"},
      {0, "Missing", kResultString, false, "(null)"},
      {0, "Missing", kResultValue, false, "0"},
      {99, "Echo", kResultInt, false, "0"},        // no such class
      {-7, "Echo", kResultInt, false, "0"},        // no such instance
      {12, "Other", kResultInt, false, "0"},       // a subclass's method is not the super's
  };
  for (const Case& c : kCases) {
    results_.clear();
    EXPECT_EQ(CallScriptFunction(module_, 1, c.objectId, c.name, c.kind, 0), c.started) << c.name;
    EXPECT_EQ(results_, std::vector<std::string>{c.answer}) << c.name << " kind " << c.kind;
  }
  // A task that cannot be made answers like a missing method.
  results_.clear();
  SetPoolAllocFailure(0);
  EXPECT_FALSE(CallScriptFunction(module_, 1, 0, "Number", kResultInt, 0));
  EXPECT_EQ(results_, std::vector<std::string>{"0"});
  // Module 0: nobody hears the answer.
  results_.clear();
  EXPECT_TRUE(CallScriptFunction(0, 1, 0, "Number", kResultInt, 0));
  EXPECT_FALSE(CallScriptFunction(0, 1, 0, "Missing", kResultInt, 0));
  EXPECT_TRUE(results_.empty());
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(ScriptCalls, AnEventOnADeletedInstanceAnswersAtOnce) {
  ASSERT_TRUE(CallScriptFunction(module_, 1, 0, "MakeOne", kResultInt, 0));
  ASSERT_EQ(results_.size(), 1u);
  int32_t id = std::stoi(results_[0]);
  ASSERT_LT(id, -1);
  results_.clear();
  EXPECT_TRUE(CallScriptFunction(module_, 1, id, "Other", kResultInt, 0));
  EXPECT_TRUE(ScriptMethodExists(engine_, id, "Echo"));
  // Delete it as the interpreter does: out of the registry, class gone.
  ObjectInstance* object = FindScriptObject(engine_, id);
  ASSERT_NE(object, nullptr);
  HashRemove(engine_->instances, ~uint32_t(id));
  object->id = -1;
  object->classRecord = nullptr;
  PoolFree(kPoolInstance, object, engine_, kNominalInstanceSize);
  results_.clear();
  EXPECT_FALSE(CallScriptFunction(module_, 1, id, "Other", kResultValue, 0));
  EXPECT_EQ(results_, std::vector<std::string>{"0"});
  EXPECT_FALSE(ScriptMethodExists(engine_, id, "Echo"));
}

TEST_F(ScriptCalls, AnEventThatWaitsOnATimerAnswersWhenTheTimerFires) {
  EXPECT_TRUE(CallScriptFunction(module_, 9, 0, "Delayed", kResultInt, 0));
  EXPECT_TRUE(results_.empty());
  EXPECT_FALSE(TaskListIsEmpty(&engine_->waitList));
  AdvanceAndDispatch(50);
  RunScriptTasks();
  EXPECT_TRUE(results_.empty());
  AdvanceAndDispatch(60);  // past 100 plus the largest jitter
  RunTaskPass(engine_, ExecuteByteCode);
  EXPECT_EQ(results_, std::vector<std::string>{"77"});
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(ScriptCalls, LookupsByNameAndByCodeOffset) {
  EXPECT_TRUE(ScriptMethodExists(engine_, 13, "Echo"));
  EXPECT_TRUE(ScriptMethodExists(engine_, 13, "Other"));
  EXPECT_FALSE(ScriptMethodExists(engine_, 12, "Other"));
  EXPECT_FALSE(ScriptMethodExists(engine_, 12, "echo"));
  EXPECT_FALSE(ScriptMethodExists(engine_, 400, "Echo"));

  struct Case {
    uint32_t offset;
    int32_t classId;
    const char* name;  // null: no method
  };
  uint32_t echo = AsmLabel(asm_, "echo"), other = AsmLabel(asm_, "other"), text = AsmLabel(asm_, "text");
  const Case kCases[] = {
      {0, -1, nullptr},
      {echo - 1, -1, nullptr},  // before the first method
      {echo, 12, "Echo"},
      {other - 1, 12, "Echo"},
      {other, 13, "Other"},
      {text + 1, 0, "Text"},
      {0xFFFFFF, 0, "MakeOne"},  // the last method holds everything after it
  };
  for (const Case& c : kCases) {
    int32_t classId = 5;
    uint32_t nameId = 5;
    const MethodRecord* m = FindCodeLocation(engine_, c.offset, &classId, &nameId);
    EXPECT_EQ(classId, c.classId) << c.offset;
    if (!c.name) {
      EXPECT_EQ(m, nullptr);
      EXPECT_EQ(nameId, 0u);
    } else {
      ASSERT_NE(m, nullptr) << c.offset;
      EXPECT_STREQ(SB_String(engine_, nameId), c.name);
    }
  }
}

// A native that raises an event from inside a running task, as subsystems do.
const char* const kRaiseNames[] = {"X_Raise", nullptr};
int32_t RaiseQuick(int32_t, ScriptTask* task, int32_t, int32_t, ScriptValue*) {
  CallScriptFunction(0, 0, 0, "Quick", kResultInt, 0);
  ReturnInt(task, gScriptEngine, 1);
  return 1;
}

TEST_F(ScriptCalls, AnEventRaisedInsideThePassLeavesTheTasksUpToTheOldTailForTheNextPass) {
  UnloadScriptStore(engine_);
  ASSERT_GT(RegisterNativeModule(engine_, RaiseQuick, kRaiseNames, nullptr, nullptr, nullptr), 0);
  ASSERT_TRUE(Load(R"(
.func A a frame=8
.func B b frame=8
.func Quick quick frame=8
a:
  check 8
  push0
  native X_Raise
  ret
b:
  check 8
  pushs "B"
  push1
  native T_Log
  ret
quick:
  check 8
  pushs "Q"
  push1
  native T_Log
  ret
)")) << error_;
  ASSERT_NE(Start("A"), nullptr);
  ASSERT_NE(Start("B"), nullptr);
  ASSERT_NE(Start("B"), nullptr);
  RunTaskPass(engine_, ExecuteByteCode);
  // The event ran at once; the run pass goes on from the new task's place, after the old tail.
  EXPECT_EQ(log_, std::vector<std::string>{"\"Q\""});
  RunTaskPass(engine_, ExecuteByteCode);
  EXPECT_EQ(log_, (std::vector<std::string>{"\"Q\"", "\"B\"", "\"B\""}));
}

// The neighbour services, recorded with whether the script store was still there.
std::vector<std::string> gResetLog;
ScriptEngine* gResetEngine = nullptr;
std::string Loaded() { return ScriptIsLoaded(gResetEngine) ? " (loaded)" : ""; }
bool Exists() { return true; }
void Sounds(int32_t arg) { gResetLog.push_back("sounds " + std::to_string(arg) + Loaded()); }
void Engine3D() { gResetLog.push_back("engine3d" + Loaded()); }
void Movies() { gResetLog.push_back("movies" + Loaded()); }
int32_t RecordTimer(uint32_t cookie, int32_t value) {
  gResetLog.push_back("timer " + std::to_string(cookie) + ":" + std::to_string(value) + Loaded());
  return 0;
}

TEST_F(ScriptCalls, ResetFiresTimersThenUnloadsThenResetsTheNeighbours) {
  const ScriptResetServices recording = {Exists, Sounds, Exists, Engine3D, Exists, Movies};
  SetScriptResetServices(&recording);
  gResetLog.clear();
  gResetEngine = engine_;
  engine_->modules[recordRow_].resumeInt = RecordTimer;
  AddTimedNode(5000, recordRow_, 4, state_);
  AddImmediateNode(3, recordRow_, state_);

  ResetScriptSystems(7);
  const std::vector<std::string> kOrder = {"timer 3:0 (loaded)", "timer 4:0 (loaded)", "sounds 7", "engine3d",
                                           "movies"};
  EXPECT_EQ(gResetLog, kOrder);
  EXPECT_EQ(FirstTimedNode(state_), nullptr);

  // The reload does the same with 0 and then loads by name (there is no such store here).
  ASSERT_TRUE(Load(kScript));
  AddTimedNode(10, recordRow_, 5, state_);
  gResetLog.clear();
  EXPECT_FALSE(ReloadStory("no-such-story"));
  const std::vector<std::string> kReload = {"timer 5:0 (loaded)", "sounds 0", "engine3d", "movies"};
  EXPECT_EQ(gResetLog, kReload);
  SetScriptResetServices(nullptr);
}

}  // namespace
