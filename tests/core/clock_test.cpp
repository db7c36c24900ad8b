// The millisecond clocks over a counter the test drives: whole-millisecond updates with the
// fraction carried, the game clock's scale and cut, jumps, frame steps and the frame rate.
#include "core/clock.h"

#include <gtest/gtest.h>

#include "core/system_block.h"
#include "platform/os.h"

namespace {

constexpr uint64_t kTicksPerMs = 1000;  // a 1 MHz counter

uint64_t gNow = 0;
uint64_t gAdvancePerRead = 0;
int gReads = 0;
bool gCounterFails = false;
uint64_t gFrequency = kTicksPerMs * 1000;
bool gFrequencyFails = false;

bool TestCounter(uint64_t* out) {
  ++gReads;
  if (gCounterFails) return false;
  *out = gNow;
  gNow += gAdvancePerRead;
  return true;
}

bool TestFrequency(uint64_t* out) {
  if (gFrequencyFails) return false;
  *out = gFrequency;
  return true;
}

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block = SystemBlock{};
    block.secondTimeScale = 0x10000;
    gSystem = &block;
    gNow = 5000000;
    gAdvancePerRead = 0;
    gReads = 0;
    gCounterFails = false;
    gFrequencyFails = false;
    gFrequency = kTicksPerMs * 1000;
    OsSetCounterSource(TestCounter, TestFrequency);
    // InitClock takes one update of its own, which needs at least a millisecond to pass.
    gAdvancePerRead = kTicksPerMs;
    ASSERT_EQ(InitClock(), 1);
    gAdvancePerRead = 0;
    gNow -= kTicksPerMs;  // back to the counter value of that update
  }
  void TearDown() override {
    OsSetCounterSource(nullptr, nullptr);
    gSystem = nullptr;
  }
  // Lets `ms` pass on the counter and takes one update.
  uint32_t Advance(uint64_t ms) {
    gNow += ms * kTicksPerMs;
    return GetMilliseconds();
  }
  SystemBlock block;
};

}  // namespace

TEST_F(ClockTest, InitSetsUnitScaleAndStartsBothClocks) {
  EXPECT_EQ(block.timeScale, 0x10000u);
  EXPECT_EQ(block.realTime, 1u);
  EXPECT_EQ(block.gameTime, 1u);
}

TEST_F(ClockTest, UpdateWithinAMillisecondWaitsForTheNext) {
  gAdvancePerRead = 300;  // 0.3 ms between reads
  uint32_t before = block.realTime;
  gReads = 0;
  EXPECT_EQ(GetMilliseconds(), before + 1);
  EXPECT_EQ(gReads, 5);  // 0, 0.3, 0.6, 0.9, 1.2 ms
}

TEST_F(ClockTest, FractionOfAMillisecondCarriesOver) {
  uint32_t start = block.realTime;
  gNow += 2500;  // 2.5 ms
  EXPECT_EQ(GetMilliseconds(), start + 2);
  gNow += 500;  // with the carried half, one more whole ms
  gReads = 0;
  EXPECT_EQ(GetMilliseconds(), start + 3);
  EXPECT_EQ(gReads, 1);
}

TEST_F(ClockTest, GameClockScalesAndCutsLongFrames) {
  struct Case {
    uint64_t frameMs;
    uint32_t timeScale, secondTimeScale;
    uint32_t gameStep;
  };
  const Case kCases[] = {
      {16, 0x10000, 0x10000, 16},
      {500, 0x10000, 0x10000, 200},  // a long frame counts as 200 ms
      {500, 0x8000, 0x10000, 100},   // 200 ms x 0.5
      {500, 0x20000, 0x18000, 600},  // 200 ms x 2 x 1.5
      {100, 0x20000, 0x10000, 200},
      {150, 0x18000, 0x18000, 338},  // 150 x 2.25 = 337.5, rounded
      {3, 0x4000, 0x10000, 1},       // 0.75 rounds to 1
      {1, 0x10000, 0, 0},            // a stopped game clock
  };
  for (const Case& c : kCases) {
    block.timeScale = c.timeScale;
    block.secondTimeScale = c.secondTimeScale;
    uint32_t real = block.realTime, game = block.gameTime;
    Advance(c.frameMs);
    EXPECT_EQ(block.realTime - real, c.frameMs) << c.frameMs;
    EXPECT_EQ(block.gameTime - game, c.gameStep) << c.frameMs << " ms at " << c.timeScale;
  }
}

TEST_F(ClockTest, JumpReplacesOneScaledStep) {
  uint32_t game = block.gameTime;
  SetGameTimeJump(5000);
  Advance(10);
  EXPECT_EQ(block.gameTime - game, 5000u);
  Advance(10);
  EXPECT_EQ(block.gameTime - game, 5010u);
}

TEST_F(ClockTest, FrameStepsClampBackwardsAndHugeSteps) {
  gNow += kTicksPerMs;
  UpdateFrameClock();  // takes one update itself
  gNow += 16 * kTicksPerMs;
  EXPECT_EQ(GetGameFrameStep(), 16);

  SetGameTimeJump(-5000);
  gNow += kTicksPerMs;
  EXPECT_EQ(GetGameFrameStep(), 1);  // the game clock went backwards

  SetGameTimeJump(40000);
  gNow += kTicksPerMs;
  EXPECT_EQ(GetGameFrameStep(), 1);  // more than 32767 ms

  // The base moved each time, so a normal frame reads normally again.
  gNow += 20 * kTicksPerMs;
  EXPECT_EQ(GetGameFrameStep(), 20);
}

TEST_F(ClockTest, RealFrameStepReadsWithoutUpdating) {
  gNow += kTicksPerMs;
  UpdateFrameClock();
  Advance(30);
  gReads = 0;
  EXPECT_EQ(GetRealFrameStep(), 30);
  EXPECT_EQ(gReads, 0);
  EXPECT_EQ(GetRealFrameStep(), 1);  // nothing since: no step
}

TEST_F(ClockTest, FailingCounterLeavesTheClocksAlone) {
  Advance(5);
  SystemBlock before = block;
  gCounterFails = true;
  gNow += 100 * kTicksPerMs;
  EXPECT_EQ(GetMilliseconds(), 0u);
  EXPECT_EQ(block.realTime, before.realTime);
  EXPECT_EQ(block.gameTime, before.gameTime);
}

TEST_F(ClockTest, CounterThatRestartsLowerIsMeasuredAnew) {
  uint32_t real = block.realTime;
  gNow -= 1000 * kTicksPerMs;  // far below the last update
  gAdvancePerRead = kTicksPerMs;
  EXPECT_EQ(GetMilliseconds(), real + 1);  // not billions of milliseconds
  gAdvancePerRead = 0;
  gNow -= kTicksPerMs;  // back to the counter value of that update
  EXPECT_EQ(Advance(5), real + 6);
}

TEST_F(ClockTest, UnreadableOrSlowCounterRateStopsTheClocksInsteadOfDividingByZero) {
  struct Case {
    bool fails;
    uint64_t frequency;
  };
  const Case kCases[] = {{true, 1000000}, {false, 999}, {false, 0}};
  for (const Case& c : kCases) {
    gFrequencyFails = c.fails;
    gFrequency = c.frequency;
    EXPECT_EQ(InitClock(), 1);
    uint32_t real = block.realTime;
    gNow += 50 * kTicksPerMs;
    EXPECT_EQ(GetMilliseconds(), 0u);
    EXPECT_EQ(block.realTime, real);
  }
}

TEST_F(ClockTest, FrameRateOncePerFrameAndAverageEachSecond) {
  // The rate keeps its own frame marks for the process; one frame of a whole second starts a
  // fresh averaging period at `base`.
  static uint32_t runs = 0;
  const uint32_t base = ++runs * 1000;
  block.frameCounter = base;
  block.realFrameStep = 1000;
  UpdateFrameRate();

  // Fifty frames of 20 ms make one second.
  for (uint32_t frame = 1; frame <= 50; ++frame) {
    block.frameCounter = base + frame;
    block.realFrameStep = 20;
    block.averageFrameRate = 0;
    UpdateFrameRate();
    if (frame < 50) {
      EXPECT_EQ(block.averageFrameRate, 0u);
    }
  }
  EXPECT_EQ(block.frameRate, 50u);
  EXPECT_EQ(block.averageFrameRate, 50u);

  // A second call in the same frame changes nothing.
  block.realFrameStep = 10;
  UpdateFrameRate();
  EXPECT_EQ(block.frameRate, 50u);

  // 34 frames of 30 ms: 1020 ms, 34 * 1000 / 1020 truncated.
  for (uint32_t frame = 51; frame <= 84; ++frame) {
    block.frameCounter = base + frame;
    block.realFrameStep = 30;
    UpdateFrameRate();
  }
  EXPECT_EQ(block.frameRate, 33u);
  EXPECT_EQ(block.averageFrameRate, 33u);

  // A frame without a real step keeps the last rate.
  block.frameCounter = base + 85;
  block.realFrameStep = 0;
  UpdateFrameRate();
  EXPECT_EQ(block.frameRate, 33u);

  // A frame counter that starts again lower (it wraps) is followed from its next frame on.
  block.frameCounter = 3;
  block.realFrameStep = 40;
  UpdateFrameRate();
  EXPECT_EQ(block.frameRate, 33u);  // the call that sees the lower value only takes its mark
  block.frameCounter = 4;
  UpdateFrameRate();
  EXPECT_EQ(block.frameRate, 25u);
}

// A fixed step ignores the counter: each new frame moves both clocks by the step (the game clock
// scaled); further reads in the same frame, UpdateFrameClock after a load and a capture's jump
// move nothing more.
TEST_F(ClockTest, FixedStepAdvancesOncePerFrameWhateverTheCounterDoes) {
  SetFixedFrameStep(20);
  const uint32_t real = block.realTime;
  const uint32_t game = block.gameTime;
  block.timeScale = 0x20000;  // the game runs twice as fast
  struct Case {
    uint32_t frameCounter;
    uint64_t counterMs;  // what passes on the wall clock before the read
    uint32_t realAfter;
    uint32_t gameAfter;
  };
  const Case cases[] = {
      {1, 500, real + 20, game + 40},  // a long wall-clock frame still counts 20 ms
      {1, 0, real + 20, game + 40},    // a second read in the same frame
      {2, 0, real + 40, game + 80},    // no wall time passed, a new frame did
      {3, 7, real + 60, game + 120},
  };
  for (const Case& c : cases) {
    block.frameCounter = c.frameCounter;
    Advance(c.counterMs);
    EXPECT_EQ(block.realTime, c.realAfter) << "frame " << c.frameCounter;
    EXPECT_EQ(block.gameTime, c.gameAfter) << "frame " << c.frameCounter;
  }
  // A save read back in frame 4 (which has had its step) sets the clocks; they stay as read.
  block.frameCounter = 4;
  GetMilliseconds();
  block.gameTime = 9000;
  UpdateFrameClock();
  EXPECT_EQ(block.gameTime, 9000u);
  block.frameCounter = 5;
  GetMilliseconds();
  EXPECT_EQ(block.gameTime, 9040u);
  // A captured frame's jump does not lengthen the next frame: a run that captured replays the
  // same game times as one that did not.
  SetGameTimeJump(33);
  block.frameCounter = 6;
  GetMilliseconds();
  EXPECT_EQ(block.gameTime, 9080u);
  block.gameTime = 9040;
  // A step beyond the long-frame cut is cut.
  SetFixedFrameStep(5000);
  block.frameCounter = 7;
  GetMilliseconds();
  EXPECT_EQ(block.gameTime, 9040u + 2 * kMaxGameClockStepMs);
  SetFixedFrameStep(0);
}
