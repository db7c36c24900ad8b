// The steering assignment as the application natives reach it: which steering function an
// input code drives (the control matrix) and the four cursor steering words the scripts set.
// Called by the application natives; the input translation reads the same state.
#pragma once

#include <cstdint>

constexpr int kCursorSteeringWordCount = 4;
extern int32_t gCursorSteering[kCursorSteeringWordCount];

// The steering function assigned for the three ints; its result goes back to the script.
int32_t Wilo_GetControlMatrix(int32_t a, int32_t b, int32_t c);
// Assigns a steering function to an input code.
void Wilo_SetControlMatrix(int32_t a, int32_t b, int32_t c, int32_t d);
