// The real and game clocks: advanced in whole milliseconds from the platform's high-resolution
// counter, the game clock scaled by the two 16.16 time scales and cut at a long frame, plus the
// frame-step readers and the frame rate. Called by start-up, the timer module, the game loop
// and the pause logic, on the game thread only. Never divides by a counter rate it could not
// read: without one the clocks stand still.
#include "core/clock.h"

#include "core/system_block.h"
#include "platform/os.h"

namespace {

constexpr uint32_t kFixedOne = 0x10000;
constexpr uint64_t kMsPerSecond = 1000;
constexpr int32_t kMaxFrameStep = 32767;

uint32_t gTicksPerMs = 0;    // 0: the counter's rate is unknown
uint64_t gLastCounter = 0;   // counter at the last update, less the unused fraction of a ms
int32_t gPendingJump = 0;    // game-time jump applied at the next update
uint32_t gGameBase = 0;      // frame-step bases
uint32_t gRealBase = 0;
uint32_t gRateFrameBase = 0;      // frame counter at the last average-rate update
uint32_t gRateAccumulatedMs = 0;  // real time since then
uint32_t gRateLastFrame = 0;      // frame counter of the last UpdateFrameRate call
uint32_t gFixedStepMs = 0;        // 0: the clocks follow the counter; else ms per frame
uint32_t gFixedStepFrame = 0;     // frame counter the fixed step was last taken in

// 16.16 product rounded to nearest, on a 64-bit intermediate.
uint64_t MulFixedRound(uint64_t a, uint64_t b) { return (a * b + 0x8000) >> 16; }

int32_t ClampStep(uint32_t now, uint32_t* base) {
  int32_t step = static_cast<int32_t>(now - *base);
  *base = now;
  return (step <= 0 || step > kMaxFrameStep) ? 1 : step;
}

}  // namespace

int InitClock() {
  if (!gSystem) return 1;
  gSystem->timeScale = kFixedOne;
  uint64_t frequency = 0;
  // A counter slower than 1 kHz cannot measure milliseconds; the clocks then stand still
  // (GetMilliseconds answers 0) instead of dividing by zero.
  if (!OsCounterFrequency(&frequency) || frequency / kMsPerSecond == 0) {
    gTicksPerMs = 0;
    return 1;
  }
  uint64_t perMs = frequency / kMsPerSecond;
  gTicksPerMs = perMs > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(perMs);
  if (!OsReadCounter(&gLastCounter)) gLastCounter = 0;
  GetMilliseconds();
  gGameBase = gSystem->gameTime;
  gRealBase = gSystem->realTime;
  return 1;
}

// Both clocks advance by the fixed step once per frame, whatever the wall clock did, so a run
// replays the same game times on any machine. A pending jump (a captured frame asks for one) is
// dropped: a frame that was captured must take no other time than one that was not.
uint32_t AdvanceFixedStep() {
  if (gSystem->frameCounter == gFixedStepFrame) return gSystem->realTime;
  gFixedStepFrame = gSystem->frameCounter;
  gPendingJump = 0;
  gSystem->realTime += gFixedStepMs;
  uint64_t scale = MulFixedRound(gSystem->timeScale, gSystem->secondTimeScale);
  gSystem->gameTime += static_cast<uint32_t>(MulFixedRound(gFixedStepMs, scale));
  return gSystem->realTime;
}

uint32_t GetMilliseconds() {
  if (gSystem && gFixedStepMs != 0) return AdvanceFixedStep();
  if (!gSystem || gTicksPerMs == 0) return 0;
  uint64_t counter = 0;
  if (!OsReadCounter(&counter)) return 0;
  uint64_t delta;
  // Every update advances the clocks by at least one whole millisecond.
  for (;;) {
    if (counter < gLastCounter) gLastCounter = counter;  // a restarted counter: measure anew
    delta = counter - gLastCounter;
    if (delta >= gTicksPerMs) break;
    if (!OsReadCounter(&counter)) return 0;
  }
  uint64_t elapsed64 = delta / gTicksPerMs;
  uint32_t elapsed = elapsed64 > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(elapsed64);
  gLastCounter = counter - delta % gTicksPerMs;  // the fraction of a ms carries over

  gSystem->realTime += elapsed;
  if (gPendingJump != 0) {
    gSystem->gameTime += static_cast<uint32_t>(gPendingJump);
    gPendingJump = 0;
  } else {
    uint64_t scale = MulFixedRound(gSystem->timeScale, gSystem->secondTimeScale);
    uint32_t step = elapsed < 1 ? 1 : elapsed > kMaxGameClockStepMs ? kMaxGameClockStepMs : elapsed;
    gSystem->gameTime += static_cast<uint32_t>(MulFixedRound(step, scale));
  }
  return gSystem->realTime;
}

void UpdateFrameClock() {
  GetMilliseconds();
  if (!gSystem) return;
  // The frame that called this (a load, a save, the end of a pause) has had its step.
  gFixedStepFrame = gSystem->frameCounter;
  gGameBase = gSystem->gameTime;
  gRealBase = gSystem->realTime;
}

int32_t GetGameFrameStep() {
  GetMilliseconds();
  if (!gSystem) return 1;
  return ClampStep(gSystem->gameTime, &gGameBase);
}

int32_t GetRealFrameStep() {
  if (!gSystem) return 1;
  return ClampStep(gSystem->realTime, &gRealBase);
}

void SetGameTimeJump(int32_t ms) { gPendingJump += ms; }

void SetFixedFrameStep(uint32_t ms) {
  gFixedStepMs = ms > kMaxGameClockStepMs ? kMaxGameClockStepMs : ms;
  gFixedStepFrame = gSystem ? gSystem->frameCounter : 0;
}

void UpdateFrameRate() {
  if (!gSystem) return;
  uint32_t frame = gSystem->frameCounter;
  // The mark follows every call, so a counter that starts again lower (it wraps) is followed
  // from its next frame on instead of being ignored until it passes the old value.
  uint32_t lastFrame = gRateLastFrame;
  gRateLastFrame = frame;
  if (frame <= lastFrame) return;
  uint32_t step = gSystem->realFrameStep;
  if (step != 0) {
    gSystem->frameRate = 1000 / step;
    gRateAccumulatedMs += step;
  }
  if (gRateAccumulatedMs >= kMsPerSecond) {
    uint64_t frames = frame - gRateFrameBase;
    gSystem->averageFrameRate = static_cast<uint32_t>(frames * kMsPerSecond / gRateAccumulatedMs);
    gRateFrameBase = frame;
    gRateAccumulatedMs = 0;
  }
}
