// One game per call: RunGameLoop prepares the game of the start mode the game main chose (a
// saved one, or the start location's story), runs its frames in their fixed order until the
// loop-exit flag is set, and tears it down for the next start mode. Beside it: the idle frame,
// the frame input step of every start mode but 1, and the benchmark records. Called by the game
// main's start-mode loop and the application natives; runs on the one game thread only.
#pragma once

#include <cstdint>

// Key codes the frame input synthesises.
constexpr int32_t kKeyMouseButton1 = 280;
constexpr int32_t kKeyMouseButton2 = 281;
constexpr int32_t kKeyMouseMotionX = 285;
constexpr int32_t kKeyMouseMotionY = 286;
constexpr int32_t kKeyWheelUp = 294;
constexpr int32_t kKeyWheelDown = 295;
constexpr int16_t kWheelStep = 120;

constexpr int32_t kStartModeLoadGame = 7;
constexpr int32_t kSubModeLogo = 101;
constexpr uint32_t kScreenshotQuality = 100;

// 0 runs the frame loop, 1 ends it; set by the loop, the input translation and the input event.
extern uint32_t gLoopExit;
// Set by the capture native; the next frame takes a screenshot.
extern uint32_t gScreenshotRequest;

struct BenchmarkRecord {
  float average;
  float minimum;
  float maximum;
};
constexpr int kBenchmarkRecordCount = 100;
extern BenchmarkRecord gBenchmarkRecords[kBenchmarkRecordCount];

// After this many frames of the process (0: no limit) the loop ends and the start-mode loop
// ends the process normally: a bounded run for automated checks.
extern uint32_t gFrameLimit;
// 1 once the frame limit ended a game loop.
extern uint32_t gFrameLimitReached;

void RunGameLoop();
void RunIdleFrame();
// 1 to go on, 0 to end the game loop.
int32_t ProcessFrameInput();
// Forgets the previous key and the last answer of the input event (a new process state).
void ResetFrameInputState();
