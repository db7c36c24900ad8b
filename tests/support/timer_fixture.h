// Running assembled scripts with the timer module over a clock the test drives: a SystemBlock of
// the test's own, a counter that moves one millisecond per read (so every clock update takes
// exactly one step) and game-time jumps for longer waits; the TI_ module registered before the
// script loads, a row whose integer resume wakes tasks by id (the engine's own SE_ resume), and a
// recording row whose wake-ups are kept as "cookie:value". Also the 5-byte-per-slot checks of the
// base fixture: at the end every timer node is back in the pool.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/os.h"
#include "script/timers.h"
#include "support/script_runner.h"

class TimerRunTest : public ScriptRunTest {
 protected:
  static inline TimerRunTest* timerCurrent_ = nullptr;
  static inline uint64_t counter_ = 0;
  static inline const char* const kNoNames[] = {nullptr};

  void SetUp() override {
    ScriptRunTest::SetUp();
    timerCurrent_ = this;
    system_ = SystemBlock{};
    system_.secondTimeScale = 0x10000;
    gSystem = &system_;
    counter_ = 1000;
    OsSetCounterSource(Counter, Frequency);
    GameSrand(1);
    state_ = static_cast<TimerState*>(MemCalloc(sizeof(TimerState)));
    ASSERT_NE(state_, nullptr);
    ASSERT_EQ(InitTimerModule(state_), state_);
    ASSERT_EQ(state_->moduleIndex, 2);
    wakeRow_ = RegisterNativeModule(engine_, NoDispatch, kNoNames, SEResumeInt, SEResumeString, SEResumeValue);
    recordRow_ = RegisterNativeModule(engine_, NoDispatch, kNoNames, RecordWake, nullptr, nullptr);
    engine_->seModuleIndex = wakeRow_;
  }

  void TearDown() override {
    ClearTimerEvents(state_);
    EXPECT_EQ(state_->freeCount, kTimerPoolSize);
    gTimerState = nullptr;
    MemFreeIfSet(state_);
    OsSetCounterSource(nullptr, nullptr);
    gSystem = nullptr;
    timerCurrent_ = nullptr;
    ScriptRunTest::TearDown();
  }

  // Lets `ms` game milliseconds pass (at least 1) and runs one timer dispatch.
  void AdvanceAndDispatch(int32_t ms) {
    if (ms > 1) SetGameTimeJump(ms);
    DispatchTimerEvents();
  }

  static bool Counter(uint64_t* out) {
    *out = counter_++;
    return true;
  }
  static bool Frequency(uint64_t* out) {
    *out = 1000;
    return true;
  }
  static int32_t NoDispatch(int32_t, ScriptTask* task, int32_t, int32_t, ScriptValue*) {
    ReturnInt(task, gScriptEngine, 0);
    return 1;
  }
  static int32_t RecordWake(uint32_t cookie, int32_t value) {
    timerCurrent_->wakes_.push_back(std::to_string(cookie) + ":" + std::to_string(value));
    return 0;
  }

  SystemBlock system_{};
  TimerState* state_ = nullptr;
  int32_t wakeRow_ = 0;
  int32_t recordRow_ = 0;
  std::vector<std::string> wakes_;
};
