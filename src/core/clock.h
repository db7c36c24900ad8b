// The millisecond clocks every timed part of the game reads: the real clock and the scaled game
// clock in the SystemBlock, advanced from the high-resolution counter, with frame-step readers
// and the frame rate. Called by general initialisation, the timer module, the game loop and the
// pause logic. The clocks never run backwards on their own and never divide by an unknown rate.
#pragma once

#include <cstdint>

// Longest frame the game clock takes whole; a longer frame (a load, a debugger stop) is cut so
// the simulation does not leap.
constexpr uint32_t kMaxGameClockStepMs = 200;

int InitClock();
uint32_t GetMilliseconds();
void UpdateFrameClock();
int32_t GetGameFrameStep();
int32_t GetRealFrameStep();
void SetGameTimeJump(int32_t ms);
// With a step other than 0, both clocks advance by exactly that many ms once per frame (each new
// value of the frame counter) instead of following the counter: a headless run then replays the
// same game times on every machine (KORVANE_FRAME_MS); a frame capture's game-time jump is
// dropped. Steps are cut at kMaxGameClockStepMs.
void SetFixedFrameStep(uint32_t ms);
void UpdateFrameRate();
