// Tasks and the native-module protocol, driven by a fake native module and a stand-in for the
// interpreter's side of a native call: answering at once, waiting and being resumed by id with
// the answer in place of the arguments, killed ids ignored, caller modules answered on every
// end, stack sizes and growth limits, the module table's bound and the run-list pass.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "support/script_fixture.h"

namespace {

// What the fake native module saw and what its caller-module row was answered.
struct Recorder {
  int32_t waitingModule = -1;
  uint32_t waitingCookie = 0;
  std::vector<std::string> answers;  // "int:<cookie>:<n>", "text:<cookie>:<t or null>", "value:..."
};
Recorder gRecord;

enum FakeFunction { kAnswerNow = 0, kWait = 1, kAnswerText = 2, kKillSelf = 3 };

int32_t FakeDispatcher(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue*) {
  switch (function) {
    case kAnswerNow:
      ReturnInt(task, gScriptEngine, 40 + argCount);
      return 1;
    case kWait:
      // Keeps (module, cookie) as a module does, and answers later.
      gRecord.waitingModule = seModuleIndex;
      gRecord.waitingCookie = static_cast<uint32_t>(task->id);
      return 1;
    case kAnswerText:
      ReturnString(task, gScriptEngine, "now");
      return 1;
    case kKillSelf:
      EndTask(gScriptEngine, task);
      return 0;
  }
  return 1;
}

int32_t RecordInt(uint32_t cookie, int32_t value) {
  gRecord.answers.push_back("int:" + std::to_string(cookie) + ":" + std::to_string(value));
  return 0;
}
void RecordText(uint32_t cookie, const char* text) {
  gRecord.answers.push_back("text:" + std::to_string(cookie) + ":" + (text ? text : "null"));
}
void RecordValue(uint32_t cookie, ScriptValue* value) {
  std::string what = value->type == kValueInt ? "int " + std::to_string(value->i)
                     : ValueIsText(value)     ? std::string("text ") + GetValueString(value)
                                              : "type " + std::to_string(value->type);
  gRecord.answers.push_back("value:" + std::to_string(cookie) + ":" + what);
}

const char* const kFakeNames[] = {"Fake_AnswerNow", "Fake_Wait", "Fake_AnswerText", "Fake_KillSelf", nullptr};

class TasksTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    gRecord = Recorder{};
    engine_->seModuleIndex =
        RegisterNativeModule(engine_, FakeDispatcher, kFakeNames, SEResumeInt, SEResumeString, SEResumeValue);
    callerModule_ = RegisterNativeModule(engine_, nullptr, nullptr, RecordInt, RecordText, RecordValue);
    ASSERT_EQ(engine_->seModuleIndex, 1);
    ASSERT_EQ(callerModule_, 2);
    engine_->scriptName = DuplicateString("story");
  }
  void TearDown() override {
    while (ScriptTask* t = TaskListFirst(&engine_->runList)) EndTask(engine_, t);
    while (ScriptTask* t = TaskListFirst(&engine_->waitList)) EndTask(engine_, t);
    engine_->scriptName = FreeString(engine_->scriptName);
    ScriptEngineTest::TearDown();
  }

  static void PushInt(ScriptTask* task, int32_t n) {
    task->sp -= 1;
    SetValueInt(TaskTopSlot(task), n);
  }
  static void PushText(ScriptTask* task, const char* text) {
    task->sp -= 1;
    SetValueString(TaskTopSlot(task), text);
  }

  // A ready task with one marker value at its bottom.
  ScriptTask* ReadyTask(int32_t marker = 1000) {
    ScriptTask* task = NewTask(engine_, 0);
    EXPECT_NE(task, nullptr);
    PushInt(task, marker);
    StartTask(engine_, task);
    return task;
  }

  // The interpreter's side of a native call: arguments then their count on the stack, the
  // dispatcher called, and a task without an answer moved to the wait list.
  int32_t CallNative(ScriptTask* task, int32_t function, const std::vector<std::string>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) PushText(task, it->c_str());
    PushInt(task, static_cast<int32_t>(args.size()));
    task->hasResult = 0;
    task->argCount = static_cast<uint16_t>(args.size());
    task->args = TaskTopSlot(task) + 1;
    const NativeModuleRow& row = engine_->modules[engine_->seModuleIndex];
    int32_t handled = row.dispatcher(engine_->seModuleIndex, task, function, task->argCount, task->args);
    if (handled && !task->hasResult) MakeTaskWait(engine_, task);
    return handled;
  }

  int32_t callerModule_ = 0;
};

TEST_F(TasksTest, NativeAnsweringAtOnceLeavesTheTaskReady) {
  ScriptTask* task = ReadyTask();
  int32_t sp = task->sp;
  EXPECT_EQ(CallNative(task, kAnswerNow, {"a", "b"}), 1);
  EXPECT_EQ(task->hasResult, 1);
  EXPECT_EQ(task->result.type, kValueInt);
  EXPECT_EQ(task->result.i, 42);
  // The stack is the interpreter's to settle: the native call touched nothing on it.
  EXPECT_EQ(task->sp, sp - 3);
  EXPECT_EQ(task->state, kTaskReady);
  EXPECT_EQ(TaskListFirst(&engine_->runList), task);
  EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
}

TEST_F(TasksTest, WaitingTaskResumedByIdGetsTheAnswerInPlaceOfItsArguments) {
  struct Case { std::vector<std::string> args; int resumeKind; std::string expected; };
  const Case kCases[] = {
      {{}, 0, "int 7"},
      {{"x", "y", "z"}, 0, "int 7"},
      {{"x"}, 1, "text later"},
      {{"x", "y"}, 2, "table"},
  };
  for (const Case& c : kCases) {
    ScriptTask* other = ReadyTask(1);
    ScriptTask* task = ReadyTask();
    int32_t sp = task->sp;
    ASSERT_EQ(CallNative(task, kWait, c.args), 1);
    EXPECT_EQ(task->state, kTaskWaiting);
    EXPECT_EQ(TaskListFirst(&engine_->waitList), task);
    EXPECT_EQ(TaskListFirst(&engine_->runList), other);
    ASSERT_EQ(gRecord.waitingModule, engine_->seModuleIndex);
    ASSERT_EQ(gRecord.waitingCookie, static_cast<uint32_t>(task->id));

    ScriptValue table{};
    switch (c.resumeKind) {
      case 0: ModuleResumeInt(gRecord.waitingModule, 7, gRecord.waitingCookie); break;
      case 1: ModuleResumeString(gRecord.waitingModule, "later", gRecord.waitingCookie); break;
      case 2:
        AllocTableValue(&table);
        ModuleResumeValue(gRecord.waitingModule, &table, gRecord.waitingCookie);
        EXPECT_EQ(table.table->refCount, 2u);  // the task holds a copy
        ReleaseValue(&table);
        break;
    }
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(task->state, kTaskReady);
    EXPECT_EQ(TaskListFirst(&engine_->runList), task);  // woken tasks go to the head
    EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
    EXPECT_EQ(task->sp, sp - 1);
    ScriptValue* top = TaskTopSlot(task);
    if (c.resumeKind == 0) {
      EXPECT_EQ(top->type, kValueInt);
      EXPECT_EQ(top->i, 7);
    } else if (c.resumeKind == 1) {
      EXPECT_STREQ(GetValueString(top), "later");
    } else {
      EXPECT_EQ(top->type, kValueTable);
    }
    EXPECT_EQ(task->result.type, kValueNone);
    EXPECT_EQ(top[1].i, 1000);  // the marker below the call is untouched
    // Every argument text went with the call.
    EXPECT_EQ(HashCount(engine_->strings), c.resumeKind == 1 ? 1u : 0u);
    EndTask(engine_, task);
    EndTask(engine_, other);
  }
}

TEST_F(TasksTest, KilledTaskIdIsIgnored) {
  ScriptTask* task = ReadyTask();
  ASSERT_EQ(CallNative(task, kWait, {"arg"}), 1);
  uint32_t cookie = gRecord.waitingCookie;
  KillTaskById(engine_, static_cast<int32_t>(cookie));
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
  EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
  ModuleResumeInt(gRecord.waitingModule, 7, cookie);
  ModuleResumeString(gRecord.waitingModule, "late", cookie);
  ScriptValue seven{};
  SetValueInt(&seven, 7);
  ModuleResumeValue(gRecord.waitingModule, &seven, cookie);
  EXPECT_TRUE(TaskListIsEmpty(&engine_->runList));
  EXPECT_EQ(HashCount(engine_->strings), 0u);
  KillTaskById(engine_, static_cast<int32_t>(cookie));  // a second kill finds nothing
}

TEST_F(TasksTest, ResumeGuardsDropTheAnswer) {
  struct Case { int32_t module; bool scriptLoaded; };
  const Case kCases[] = {{32, true}, {-1, true}, {0, true}, {1, false}, {1000, true}};
  for (const Case& c : kCases) {
    ScriptTask* task = ReadyTask();
    ASSERT_EQ(CallNative(task, kWait, {}), 1);
    char* name = engine_->scriptName;
    if (!c.scriptLoaded) engine_->scriptName = nullptr;
    ModuleResumeInt(c.module, 7, static_cast<uint32_t>(task->id));
    ResumeCallerOnFailure(kResultInt, 5, c.module);
    engine_->scriptName = name;
    EXPECT_EQ(task->state, kTaskWaiting) << "module " << c.module;
    EXPECT_TRUE(gRecord.answers.empty());
    EndTask(engine_, task);
  }
}

TEST_F(TasksTest, EndedTaskAnswersItsCallerModuleByKind) {
  enum class End { kAbnormal, kNormal };
  enum class Top { kInt9, kText, kTable, kEmpty };
  struct Case { End end; uint16_t kind; Top top; const char* answer; };
  const Case kCases[] = {
      {End::kAbnormal, kResultInt, Top::kInt9, "int:77:0"},
      {End::kAbnormal, kResultString, Top::kText, "text:77:null"},
      {End::kAbnormal, kResultValue, Top::kTable, "value:77:int 0"},
      {End::kAbnormal, kResultNone, Top::kInt9, "int:77:0"},
      {End::kNormal, kResultInt, Top::kInt9, "int:77:9"},
      {End::kNormal, kResultInt, Top::kText, "int:77:0"},
      {End::kNormal, kResultString, Top::kText, "text:77:done"},
      {End::kNormal, kResultString, Top::kInt9, "text:77:null"},
      {End::kNormal, kResultValue, Top::kTable, "value:77:type 9"},
      {End::kNormal, kResultValue, Top::kEmpty, "value:77:int 0"},
      {End::kNormal, kResultNone, Top::kInt9, nullptr},
  };
  for (const Case& c : kCases) {
    gRecord.answers.clear();
    ScriptTask* task = NewTask(engine_, 0);
    ASSERT_NE(task, nullptr);
    switch (c.top) {
      case Top::kInt9: PushInt(task, 9); break;
      case Top::kText: PushText(task, "done"); break;
      case Top::kTable: task->sp -= 1; AllocTableValue(TaskTopSlot(task)); break;
      case Top::kEmpty: break;
    }
    task->callerModule = callerModule_;
    task->cookie = 77;
    task->resultKind = c.kind;
    StartTask(engine_, task);
    if (c.end == End::kNormal) {
      FreeTask(engine_, task);
    } else {
      ASSERT_EQ(CallNative(task, kWait, {"pending"}), 1);  // killed while waiting
      EndTask(engine_, task);
    }
    std::vector<std::string> expected;
    if (c.answer) expected.push_back(c.answer);
    EXPECT_EQ(gRecord.answers, expected) << static_cast<int>(c.end) << " kind " << c.kind;
    EXPECT_EQ(HashCount(engine_->tasks), 0u);
  }
}

TEST_F(TasksTest, NewTaskStackSizes) {
  struct Case { int32_t slots; uint32_t stackSize; };
  const Case kCases[] = {{0, 32}, {-5, 32}, {32, 32}, {33, 64}, {64, 64}, {65, 96}, {32768, 32768}, {32769, 0},
                         {INT_MAX, 0}};
  for (const Case& c : kCases) {
    ScriptTask* task = NewTask(engine_, c.slots);
    if (c.stackSize == 0) {
      EXPECT_EQ(task, nullptr) << c.slots;
      continue;
    }
    ASSERT_NE(task, nullptr) << c.slots;
    EXPECT_EQ(task->stackSize, c.stackSize);
    EXPECT_EQ(task->sp, 0);
    EXPECT_EQ(task->state, kTaskNew);
    EXPECT_EQ(Stats().currentBytes[kPoolStack], static_cast<int32_t>(c.stackSize * 5));
    EXPECT_EQ(Stats().currentBytes[kPoolTask], 64);
    EXPECT_EQ(FindTask(engine_, task->id), task);
    EndTask(engine_, task);
  }
}

TEST_F(TasksTest, NewTaskFailureIsAPlainFailure) {
  // First the record, then the stack fails: neither leaves anything behind.
  for (int32_t successes : {0, 1}) {
    SetPoolAllocFailure(successes);
    EXPECT_EQ(NewTask(engine_, 10), nullptr) << successes;
    EXPECT_EQ(HashCount(engine_->tasks), 0u);
    EXPECT_EQ(Stats().currentBlocks[kPoolTask], 0);
    EXPECT_EQ(Stats().currentBlocks[kPoolStack], 0);
  }
  ScriptTask* task = NewTask(engine_, 10);
  ASSERT_NE(task, nullptr);
  EndTask(engine_, task);
}

TEST_F(TasksTest, StackGrowthAndItsLimit) {
  struct Case { int32_t initial, request; bool grows; uint32_t size; };
  const Case kCases[] = {
      {32, 33, true, 64},          {32, 100, true, 128},     {32, 10, true, 64},
      {16352, 16385, true, 16416}, {16384, 16385, false, 16384}, {32, INT_MAX, false, 32},
      {32, -4, false, 32},
  };
  for (const Case& c : kCases) {
    ScriptTask* task = NewTask(engine_, c.initial);
    ASSERT_NE(task, nullptr);
    for (int32_t k = 0; k < 3; ++k) PushText(task, std::to_string(k).c_str());
    ScriptValue* top = TaskTopSlot(task);
    EXPECT_EQ(GrowTaskStack(engine_, task, c.request, &top), c.grows) << c.initial << " + " << c.request;
    EXPECT_EQ(task->stackSize, c.size);
    EXPECT_EQ(top, TaskTopSlot(task));
    EXPECT_STREQ(GetValueString(&top[0]), "2");
    EXPECT_STREQ(GetValueString(&top[2]), "0");
    EXPECT_EQ(top + 3, task->stackTop);
    EXPECT_EQ(Stats().currentBytes[kPoolStack], static_cast<int32_t>(c.size * 5));
    EXPECT_EQ(Stats().currentBlocks[kPoolStack], 1);
    EndTask(engine_, task);
  }
}

TEST_F(TasksTest, ModuleTableRefusesA33rdRow) {
  std::vector<int32_t> rows;
  for (int k = 0; k < 40; ++k) rows.push_back(RegisterNativeModule(engine_, FakeDispatcher, kFakeNames, nullptr,
                                                                   nullptr, nullptr));
  for (int k = 0; k < 29; ++k) EXPECT_EQ(rows[k], 3 + k);
  for (int k = 29; k < 40; ++k) EXPECT_EQ(rows[k], 0);
  EXPECT_EQ(engine_->moduleCount, kModuleRowCount);
  EXPECT_EQ(engine_->modules[31].names, kFakeNames);
  EXPECT_EQ(engine_->modules[31].reserved, 0u);
}

// A stand-in interpreter for the run-list pass, scripted per task id.
enum class Act { kRun, kWait, kEnd, kStop, kWake };
std::map<int32_t, Act> gActs;
std::vector<int32_t> gRan;
int32_t gWakeId = 0;

int32_t ScriptedRunner(ScriptEngine* engine, ScriptTask* task) {
  gRan.push_back(task->id);
  switch (gActs[task->id]) {
    case Act::kRun: return 1;
    case Act::kWait: MakeTaskWait(engine, task); return 1;
    case Act::kEnd: FreeTask(engine, task); return 1;
    case Act::kStop: return 0;
    case Act::kWake: SEResumeInt(static_cast<uint32_t>(gWakeId), 1); return 1;
  }
  return 1;
}

TEST_F(TasksTest, RunPassVisitsEachReadyTaskOnce) {
  struct Case { std::vector<Act> acts; std::vector<int> ran; std::vector<int> left; };
  // Tasks are numbered 0, 1, 2 in run-list order; ran and left name them by that number.
  const Case kCases[] = {
      {{Act::kRun, Act::kRun, Act::kRun}, {0, 1, 2}, {0, 1, 2}},
      {{Act::kWait, Act::kRun, Act::kRun}, {0, 1, 2}, {1, 2}},   // first yields: pass goes on at the head
      {{Act::kRun, Act::kWait, Act::kRun}, {0, 1, 2}, {0, 2}},
      {{Act::kRun, Act::kEnd, Act::kEnd}, {0, 1, 2}, {0}},
      {{Act::kEnd, Act::kEnd, Act::kEnd}, {0, 1, 2}, {}},
      {{Act::kRun, Act::kStop, Act::kRun}, {0, 1}, {0, 1, 2}},
  };
  for (const Case& c : kCases) {
    gActs.clear();
    gRan.clear();
    std::vector<int32_t> ids;
    for (size_t k = 0; k < c.acts.size(); ++k) {
      ids.push_back(ReadyTask()->id);
      gActs[ids.back()] = c.acts[k];
    }
    RunTaskPass(engine_, ScriptedRunner);
    std::vector<int32_t> ran, left;
    for (int n : c.ran) ran.push_back(ids[n]);
    for (int n : c.left) left.push_back(ids[n]);
    EXPECT_EQ(gRan, ran);
    std::vector<int32_t> onList;
    for (TaskNode* n = engine_->runList.head.succ; TaskNodeIsReal(n); n = n->succ) {
      onList.push_back(static_cast<ScriptTask*>(n)->id);
    }
    EXPECT_EQ(onList, left);
    while (ScriptTask* t = TaskListFirst(&engine_->runList)) EndTask(engine_, t);
    while (ScriptTask* t = TaskListFirst(&engine_->waitList)) EndTask(engine_, t);
  }
}

TEST_F(TasksTest, TaskWokenDuringAPassRunsInTheNextOne) {
  ScriptTask* sleeper = ReadyTask();
  ASSERT_EQ(CallNative(sleeper, kWait, {}), 1);
  gWakeId = sleeper->id;
  gActs.clear();
  gRan.clear();
  ScriptTask* a = ReadyTask();
  ScriptTask* b = ReadyTask();
  gActs[a->id] = Act::kWake;
  gActs[b->id] = Act::kRun;
  gActs[sleeper->id] = Act::kRun;
  RunTaskPass(engine_, ScriptedRunner);
  EXPECT_EQ(gRan, (std::vector<int32_t>{a->id, b->id}));
  EXPECT_EQ(TaskListFirst(&engine_->runList), sleeper);
  gActs[a->id] = Act::kRun;
  gRan.clear();
  RunTaskPass(engine_, ScriptedRunner);
  EXPECT_EQ(gRan, (std::vector<int32_t>{sleeper->id, a->id, b->id}));
}

TEST_F(TasksTest, DispatcherEndingItsOwnCallerReturnsZero) {
  ScriptTask* task = ReadyTask();
  EXPECT_EQ(CallNative(task, kKillSelf, {"x"}), 0);
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
  EXPECT_TRUE(TaskListIsEmpty(&engine_->runList));
}

TEST_F(TasksTest, EndObjectTasksEndsThemOnBothLists) {
  ObjectInstance object{}, other{};
  ScriptTask* running = ReadyTask();
  ScriptTask* waiting = ReadyTask();
  ScriptTask* unrelated = ReadyTask();
  running->thisObject = &object;
  waiting->thisObject = &object;
  unrelated->thisObject = &other;
  waiting->callerModule = callerModule_;
  waiting->cookie = 5;
  waiting->resultKind = kResultString;
  ASSERT_EQ(CallNative(waiting, kWait, {}), 1);
  EndObjectTasks(engine_, &object);
  EXPECT_EQ(HashCount(engine_->tasks), 1u);
  EXPECT_EQ(TaskListFirst(&engine_->runList), unrelated);
  EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
  EXPECT_EQ(gRecord.answers, (std::vector<std::string>{"text:5:null"}));
}

TEST_F(TasksTest, CorruptArgumentCountStaysInsideTheStack) {
  ScriptTask* task = ReadyTask();
  PushInt(task, 500);  // claims 500 arguments with only the marker below it
  task->state = kTaskReady;
  MakeTaskWait(engine_, task);
  ModuleResumeInt(engine_->seModuleIndex, 3, static_cast<uint32_t>(task->id));
  EXPECT_EQ(task->sp, -1);
  EXPECT_EQ(TaskTopSlot(task)->i, 3);
  EXPECT_EQ(task->state, kTaskReady);
}

TEST_F(TasksTest, ReturnValueMovesWithoutReleasing) {
  ScriptTask* task = ReadyTask();
  ScriptValue text{};
  SetValueString(&text, "moved");
  StringObject* record = text.string;
  ReturnValue(task, engine_, &text);
  EXPECT_EQ(text.type, kValueNone);
  EXPECT_EQ(task->result.string, record);
  EXPECT_EQ(record->refCount, 1u);
  EXPECT_EQ(CallNative(task, kAnswerText, {}), 1);
  EXPECT_STREQ(GetValueString(&task->result), "now");
}

}  // namespace
