// The SA_ object command module: its name table, the dispatcher's default answer and its
// command-in-progress word, the argument readers at and past the argument count, the waiting
// call and its answer, and a story that binds the commands by name.
#include <cstring>
#include <set>
#include <string>

#include "universe_world.h"

#include "script/containers.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_module.h"

namespace {

class SADispatch : public UniverseWorld {
 protected:
  void TearDown() override {
    for (ScriptTask* task : tasks_) FreeTask(engine_, task);
    UniverseWorld::TearDown();
  }

  ScriptTask* Task() {
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    tasks_.push_back(task);
    return task;
  }

  SACall Frame(ScriptTask* task, int32_t argCount, ScriptValue* args) {
    return SACall{engine_, &universe_, module_, task, argCount, args};
  }

  std::vector<ScriptTask*> tasks_;
};

TEST_F(SADispatch, NameTableHoldsEveryCommandAtItsNumber) {
  const char* const* names = GetSpaceObjectCommandNames();
  struct Case {
    int32_t index;
    const char* name;
  };
  const Case kCases[] = {
      {0, "SA_AllocObject"},  {1, "SA_FreeObject"},         {130, "SA_GetGlobalParameter"},
      {242, "SA_DumpSectorScene"}, {269, "SA_CheckDistances"}, {284, "SA_GetCameraObject"},
      {369, "SA_CalcReward"},
  };
  for (const Case& c : kCases) EXPECT_STREQ(names[c.index], c.name) << c.index;
  EXPECT_EQ(names[kSpaceObjectCommandCount], nullptr);
  std::set<std::string> distinct;
  for (int32_t k = 0; k < kSpaceObjectCommandCount; ++k) {
    ASSERT_NE(names[k], nullptr) << k;
    EXPECT_EQ(std::strncmp(names[k], "SA_", 3), 0) << names[k];
    distinct.insert(names[k]);
  }
  EXPECT_EQ(distinct.size(), size_t(kSpaceObjectCommandCount));
}

TEST_F(SADispatch, DefaultCommandsAnswerZeroAndLeaveNoCommandRunning) {
  SpaceObject* ship = Create(kClassShip, 0);
  struct Case {
    int32_t command;
    int32_t argCount;
  };
  const Case kCases[] = {
      {370, 0}, {-1, 0}, {0x7FFFFFFF, 1}, {242, 1}, {269, 2}, {284, 0}, {0, 2}, {130, 1}, {369, 0},
  };
  ScriptValue args[3]{};
  SetValueInt(&args[0], static_cast<int32_t>(ship->id));
  SetValueInt(&args[1], 5);
  SetValueInt(&args[2], 6);
  for (const Case& c : kCases) {
    ScriptTask* task = Task();
    SetValueInt(&task->result, 99);
    universe_.commandActive = 7;
    EXPECT_EQ(DispatchSpaceObjectCommand(module_, task, c.command, c.argCount, args), 1) << c.command;
    EXPECT_EQ(task->hasResult, 1) << c.command;
    EXPECT_EQ(task->result.type, kValueInt) << c.command;
    EXPECT_EQ(task->result.i, 0) << c.command;
    EXPECT_EQ(universe_.commandActive, 0u) << c.command;
    EXPECT_EQ(UniverseGuardDepth(), 0) << c.command;
  }
  EXPECT_EQ(SACommandFor(242), nullptr);
  EXPECT_EQ(SACommandFor(269), nullptr);
  EXPECT_EQ(SACommandFor(284), nullptr);
}

// Past the argument count every reader gives the empty answer; inside it, a slot whose payload is
// a pointer never reads as a number.
TEST_F(SADispatch, ArgumentReadersStayInsideTheFrame) {
  SpaceObject* ship = Create(kClassShip, 0);
  ScriptValue args[4]{};
  SetValueInt(&args[0], static_cast<int32_t>(ship->id));
  ASSERT_NE(AllocArrayValue(&args[1], 2), nullptr);
  ArrayWriteInt(&args[1], 0, 11);
  ArrayWriteInt(&args[1], 1, 12);
  SetValueString(&args[2], "text");
  SetValueInt(&args[3], 1);
  ScriptTask* task = Task();
  SACall call = Frame(task, 3, args);  // the fourth slot lies outside the frame

  EXPECT_EQ(SAArgObject(&call, 0), ship);
  EXPECT_EQ(SAArgInt(&call, 1), 0);
  EXPECT_EQ(SAArgObject(&call, 1), nullptr);
  int32_t triple[3] = {9, 9, 9};
  EXPECT_TRUE(SAArgTriple(&call, 1, triple));
  EXPECT_EQ(triple[0], 11);
  EXPECT_EQ(triple[1], 12);
  EXPECT_EQ(triple[2], 0);  // short array
  EXPECT_STREQ(SAArgText(&call, 2), "text");
  EXPECT_EQ(SAArgText(&call, 0), nullptr);

  EXPECT_EQ(SAArgValue(&call, 3), nullptr);
  EXPECT_EQ(SAArgValue(&call, -1), nullptr);
  EXPECT_EQ(SAArgInt(&call, 3), 0);
  EXPECT_FALSE(SAArgBool(&call, 3));
  EXPECT_EQ(SAArgText(&call, 3), nullptr);
  EXPECT_EQ(SAArgObject(&call, 3), nullptr);
  EXPECT_FALSE(SAArgTriple(&call, 3, triple));
  EXPECT_EQ(triple[0], 0);
  for (ScriptValue& v : args) ReleaseValue(&v);
}

TEST_F(SADispatch, ArrayAnswerHoldsTheIntegers) {
  ScriptTask* task = Task();
  SACall call = Frame(task, 0, nullptr);
  const int32_t values[3] = {4, -5, 6};
  SAAnswerIntArray(&call, values, 3);
  ASSERT_EQ(task->result.type, kValueArray);
  ASSERT_EQ(GetArraySize(&task->result), 3);
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(ArrayElementPtr(&task->result, k)->i, values[k]);
  ReleaseValue(&task->result);
}

// The waiting call is the caller's module and task id; it is answered once, with the value the
// ending order gives, and a later waiting call replaces an earlier one unanswered.
TEST_F(SADispatch, WaitingCallIsAnsweredOnceWithTheCallersValue) {
  ASSERT_TRUE(Load(".func Main main frame=1\nmain: ret\n")) << error_;  // wake-ups need a loaded story
  SpaceObject* ship = Create(kClassShip, 0);
  ScriptTask* first = Task();
  ScriptTask* second = Task();

  SACall call = Frame(first, 0, nullptr);
  SAWaitOn(&call, ship);
  EXPECT_EQ(first->hasResult, 0);
  EXPECT_EQ(ship->moduleNo, uint32_t(module_));
  EXPECT_EQ(ship->moduleHandle, uint32_t(first->id));

  call = Frame(second, 0, nullptr);
  SAWaitOn(&call, ship);
  ReleaseModuleHandle(ship, 13);
  ASSERT_EQ(resumed_.size(), 1u);
  EXPECT_EQ(resumed_[0], std::make_pair(uint32_t(second->id), 13));
  EXPECT_EQ(ship->moduleNo, 0u);
  EXPECT_EQ(ship->moduleHandle, 0u);
  ReleaseModuleHandle(ship, 1);
  EXPECT_EQ(resumed_.size(), 1u);

  // A module number past the table wakes nothing.
  ship->moduleNo = kModuleRowCount;
  ship->moduleHandle = uint32_t(first->id);
  ReleaseModuleHandle(ship, 3);
  EXPECT_EQ(resumed_.size(), 1u);
}

TEST_F(SADispatch, WaitingOnAMissingObjectAnswersAtOnce) {
  ScriptTask* task = Task();
  SACall call = Frame(task, 0, nullptr);
  SAWaitOn(&call, nullptr);
  EXPECT_EQ(task->hasResult, 1);
  EXPECT_EQ(task->result.i, 0);
}

TEST_F(SADispatch, StoryCallsCommandsByName) {
  ASSERT_TRUE(Load(R"(
.func Main main frame=8
main: check 8
  pushb 4
  push1
  native SA_GetGlobalParameter
  push1
  native T_Log
  pop
  push0
  native SA_CalcReward
  push1
  native T_Log
  pop
  push0
  native SA_GetCameraObject
  ret
)")) << error_;
  EXPECT_EQ(Call("Main"), "0");
  EXPECT_EQ(log_, (std::vector<std::string>{"0", "0"}));
  EXPECT_EQ(universe_.commandActive, 0u);
}

}  // namespace

namespace {

// An object event takes the real path: the story's method gets the count and arguments, and the
// SA_ command it calls is answered.
TEST_F(SADispatch, ObjectEventsReachTheStoryWhichCallsCommands) {
  SpaceObject* ship = Create(kClassShip, 0);
  ListenThroughStory(ship);
  RaiseObjectEvent(ship, "MakeBreak", 2, 17, -3);
  RunAll();
  EXPECT_EQ(log_, (std::vector<std::string>{"2,17,-3", "0"}));
  EXPECT_EQ(universe_.commandActive, 0u);
}

}  // namespace
