// The timer module over a clock the test drives: the jitter bounds of timed waits, a script that
// waits in TI_Delay and goes on only after its time, immediate and interruptible waits, the
// damping of the second time scale, the pool's heap fallback, flush against clear, and the
// natives that answer at once (including calls with fewer arguments than they read).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "support/timer_fixture.h"

namespace {

const char* const kIdleScript = R"(
.func Idle idle
idle:
  push0
  ret
)";

class Timers : public TimerRunTest {
 protected:
  void SetUp() override {
    TimerRunTest::SetUp();
    ASSERT_TRUE(Load(kIdleScript)) << error_;
  }
  uint32_t Now() const { return system_.gameTime; }
  bool Reload(const char* text) {
    UnloadScriptStore(engine_);
    return Load(text);
  }
};

TEST_F(Timers, TimedWaitsFallDueWithinTheirJitter) {
  struct Case {
    int32_t delay;
    int32_t least;
    int32_t most;
  };
  const Case kCases[] = {
      {100, 100, 106},     // jitter bound 7
      {5000, 5000, 5255},  // 256 above 4095
      {2500, 2500, 2656},  // 157
      {-50, -50, -50},     // a negative delay gets no jitter
      {0, 0, 0},           // bound 1: the extra is always 0
  };
  for (const Case& c : kCases) {
    int32_t seen_least = INT32_MAX, seen_most = INT32_MIN;
    for (int k = 0; k < 400; ++k) {
      TimerNode* node = AddTimedNode(c.delay, recordRow_, 1, state_);
      ASSERT_NE(node, nullptr);
      int32_t due = int32_t(node->dueTime - Now());
      seen_least = std::min(seen_least, due);
      seen_most = std::max(seen_most, due);
    }
    EXPECT_GE(seen_least, c.least) << c.delay;
    EXPECT_LE(seen_most, c.most) << c.delay;
    // Over 400 draws the jitter spreads across most of its range.
    if (c.most > c.least) {
      EXPECT_GT(seen_most - seen_least, (c.most - c.least) / 2) << c.delay;
    }
    ClearTimerEvents(state_);
  }
  EXPECT_TRUE(wakes_.empty());
}

TEST_F(Timers, ScriptWaitingInDelayGoesOnOnlyAfterItsTime) {
  ASSERT_TRUE(Reload(R"(
.func Main main frame=8
main:
  check 8
  pushw 100
  push1
  native TI_Delay
  pop
  pushb 42
  ret
.func Split split frame=8
split:
  check 8
  pushw 500
  push2
  push2
  native TI_Delay
  pop
  pushb 43
  ret
)")) << error_;
  ASSERT_NE(Start("Main"), nullptr);
  RunAll();
  EXPECT_TRUE(results_.empty());
  ASSERT_FALSE(TaskListIsEmpty(&engine_->waitList));
  TimerNode* node = FirstTimedNode(state_);
  ASSERT_NE(node, nullptr);
  uint32_t due = node->dueTime - Now();
  EXPECT_GE(due, 100u);
  EXPECT_LE(due, 106u);

  AdvanceAndDispatch(int32_t(due) - 1);  // one short of the due time
  RunAll();
  EXPECT_TRUE(results_.empty());
  AdvanceAndDispatch(1);
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"42"});

  // TI_Delay(2, 500): seconds and milliseconds.
  results_.clear();
  ASSERT_NE(Start("Split"), nullptr);
  RunAll();
  node = FirstTimedNode(state_);
  ASSERT_NE(node, nullptr);
  due = node->dueTime - Now();
  EXPECT_GE(due, 2500u);
  EXPECT_LE(due, 2656u);
  AdvanceAndDispatch(int32_t(due));
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"43"});
}

TEST_F(Timers, ImmediateWaitsWakeAtTheNextDispatchUnlessHeldBack) {
  AddImmediateNode(5, recordRow_, state_);
  AddImmediateNode(6, recordRow_, state_);
  state_->flags |= kTimerHoldImmediate;
  AdvanceAndDispatch(1);
  EXPECT_TRUE(wakes_.empty());
  state_->flags = 0;
  AdvanceAndDispatch(1);
  EXPECT_EQ(wakes_, (std::vector<std::string>{"5:0", "6:0"}));
}

TEST_F(Timers, InterruptWakesOnlyItsIdWithTheRemainingTime) {
  TimerNode* a = AddInterruptibleNode(1, 1000, recordRow_, 7);
  TimerNode* b = AddInterruptibleNode(2, 1000, recordRow_, 8);
  TimerNode* c = AddInterruptibleNode(3, 2000, recordRow_, 7);
  AddTimedNode(1000, recordRow_, 4, state_);  // not interruptible
  ASSERT_TRUE(a && b && c);
  std::string remainingA = std::to_string(int32_t(a->dueTime - Now()));
  std::string remainingC = std::to_string(int32_t(c->dueTime - Now()));
  InterruptTimers(7);
  EXPECT_EQ(wakes_, (std::vector<std::string>{"1:" + remainingA, "3:" + remainingC}));
  int left = 0;
  for (TimerNode* n = FirstTimedNode(state_); n; n = NextTimedNode(n)) ++left;
  EXPECT_EQ(left, 2);
}

TEST_F(Timers, CrowdedFramesDampTheSecondTimeScaleAndCalmOnesRestoreIt) {
  // 1500 timers inside the 40 ms window that stay pending for the first four dispatches.
  for (int k = 0; k < 1500; ++k) {
    TimerNode* node = AllocTimerNode(state_);
    ASSERT_NE(node, nullptr);
    node->module = int16_t(recordRow_);
    node->dueTime = Now() + 30;
    AppendTimedNode(state_, node);
  }
  const uint32_t kDown[] = {45875, 32112, 22478, 19660};
  for (uint32_t expected : kDown) {
    AdvanceAndDispatch(1);
    EXPECT_EQ(system_.secondTimeScale, expected);
  }
  ClearTimerEvents(state_);
  const uint32_t kUp[] = {23592, 28310, 33972, 40766, 48919, 58703, 65536, 65536};
  for (uint32_t expected : kUp) {
    AdvanceAndDispatch(1);
    EXPECT_EQ(system_.secondTimeScale, expected);
  }
  // Lowering the time scale resets the second one at the next dispatch.
  system_.secondTimeScale = 30000;
  system_.timeScale = 0x8000;
  AdvanceAndDispatch(1);
  EXPECT_EQ(system_.secondTimeScale, 0x10000u);
  EXPECT_TRUE(wakes_.empty());
}

TEST_F(Timers, NodesBeyondThePoolComeFromTheHeapAndAreNotPooled) {
  std::vector<TimerNode*> nodes;
  for (int k = 0; k < kTimerPoolSize; ++k) nodes.push_back(AllocTimerNode(state_));
  EXPECT_EQ(state_->freeCount, 0);
  for (TimerNode* n : nodes) ASSERT_EQ(n->flags, kTimerNodePooled);
  TimerNode* extra = AllocTimerNode(state_);
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->flags, 0);
  EXPECT_TRUE(extra < state_->pool || extra >= state_->pool + kTimerPoolSize);
  FreeTimerNode(state_, extra);  // back to the heap (a pooled free would corrupt the free list)
  EXPECT_EQ(state_->freeCount, 0);
  for (TimerNode* n : nodes) FreeTimerNode(state_, n);
  EXPECT_EQ(state_->freeCount, kTimerPoolSize);
}

TEST_F(Timers, FlushWakesEveryWaiterWithZeroAndClearWakesNobody) {
  AddTimedNode(5000, recordRow_, 1, state_);
  AddImmediateNode(2, recordRow_, state_);
  AddTimedNode(10, recordRow_, 3, state_);
  FlushTimerEvents();
  EXPECT_EQ(wakes_, (std::vector<std::string>{"2:0", "1:0", "3:0"}));
  EXPECT_EQ(state_->freeCount, kTimerPoolSize);

  wakes_.clear();
  AddTimedNode(5000, recordRow_, 1, state_);
  AddImmediateNode(2, recordRow_, state_);
  ClearTimerEvents(state_);
  AdvanceAndDispatch(6000);
  EXPECT_TRUE(wakes_.empty());
}

// A module whose wake-up touches the timers again: it interrupts id 7 and waits once more.
int32_t gRewaitsLeft = 0;
std::vector<std::string>* gReentrantLog = nullptr;
int32_t ReentrantWake(uint32_t cookie, int32_t value) {
  gReentrantLog->push_back(std::to_string(cookie) + ":" + std::to_string(value));
  InterruptTimers(7);
  if (gRewaitsLeft-- > 0) {
    AddImmediateNode(cookie + 10, gTimerState->moduleIndex + 2, gTimerState);
    AddTimedNode(-5, gTimerState->moduleIndex + 2, cookie + 20, gTimerState);
  }
  return 0;
}

TEST_F(Timers, WakeUpsThatTouchTheTimersAgainBreakNoPass) {
  engine_->modules[recordRow_].resumeInt = ReentrantWake;
  gReentrantLog = &wakes_;
  ASSERT_EQ(recordRow_, state_->moduleIndex + 2);
  // Both due now; the first one's wake-up interrupts the second.
  AddTimedNode(-1, recordRow_, 1, state_);
  AddInterruptibleNode(2, -1, recordRow_, 7);
  gRewaitsLeft = 1;
  AdvanceAndDispatch(1);
  EXPECT_EQ(wakes_, (std::vector<std::string>{"1:0", "2:0"}));
  // The waits made inside the pass are served by the next one.
  wakes_.clear();
  AdvanceAndDispatch(1);
  EXPECT_EQ(wakes_, (std::vector<std::string>{"11:0", "21:0"}));
  // A flush wakes the waiters of its moment; new waits stay for later.
  wakes_.clear();
  AddTimedNode(100, recordRow_, 3, state_);
  gRewaitsLeft = 1;
  FlushTimerEvents();
  EXPECT_EQ(wakes_, (std::vector<std::string>{"3:0"}));
  EXPECT_NE(FirstTimedNode(state_), nullptr);
  gRewaitsLeft = 0;
  FlushTimerEvents();
  EXPECT_EQ(state_->freeCount, kTimerPoolSize);
}

TEST_F(Timers, WakeUpsWithoutALoadedScriptOrModuleAreDropped) {
  AddTimedNode(-1, 31, 1, state_);  // a row nobody registered
  AdvanceAndDispatch(1);
  AddTimedNode(-1, recordRow_, 2, state_);
  UnloadScriptStore(engine_);
  AdvanceAndDispatch(1);
  EXPECT_TRUE(wakes_.empty());
  EXPECT_EQ(state_->freeCount, kTimerPoolSize);
}

TEST_F(Timers, NativesThatAnswerAtOnce) {
  ASSERT_TRUE(Reload(R"(
.func Cmp cmp frame=8
cmp:
  check 8
  pushb 3
  pushb 10
  push2
  native TI_CmpTime
  ret
.func AddOne addone frame=8
addone:
  check 8
  pushw 1000        ; a value that lies below the argument
  pushb 5
  push1
  native TI_AddTime
  mvl 2             ; the answer takes the place of that value
  ret
.func SetAbs setabs frame=8
setabs:
  check 8
  pushw 5000
  push1
  native TI_SetAbsTime
  ret
.func Abs abs frame=8
abs:
  check 8
  push0
  native TI_GetAbsTime
  ret
.func Warp warp frame=8
warp:
  check 8
  pushi 32768
  push1
  native TI_SetTimeWarpFactor
  pop
  push0
  native TI_GetTimeWarpFactor
  ret
.func Mult mult frame=8
mult:
  check 8
  push0
  native TI_GetTimeWarpMultiplier
  ret
.func Interrupt interrupt frame=8
interrupt:
  check 8
  pushb 7
  push1
  native TI_Interrupt
  ret
)")) << error_;
  struct Case {
    const char* function;
    const char* result;
  };
  const Case kCases[] = {
      {"Cmp", "7"},
      {"AddOne", "5"},  // a missing second argument is 0, not the slot below
      {"SetAbs", "5000"},
      {"Abs", "5000"},
      {"Warp", "32768"},
      {"Mult", "65536"},
      {"Interrupt", "0"},
  };
  for (const Case& c : kCases) EXPECT_EQ(Call(c.function), c.result) << c.function;
  EXPECT_EQ(system_.timeScale, 0x8000u);
  EXPECT_EQ(system_.frameStep, 0u);

  // A function number without a native answers 0 at once.
  ScriptTask* task = NewTask(engine_, 8);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(DispatchTINative(state_, wakeRow_, task, 99, 0, nullptr), 1);
  EXPECT_EQ(task->hasResult, 1);
  EXPECT_EQ(task->result.i, 0);
  EndTask(engine_, task);
}

}  // namespace
