// The end of the 3D scene with the automatic quality control's statistics line and the counters
// the line shows. Called by the frame driver once per frame; the line is only ever appended to
// the status text.
#pragma once

#include <cstdint>

// Reset to 0 after every statistics line.
extern int32_t gParticlesDrawn;
extern int32_t gTextureSwaps;
extern int32_t gTextureLoads;
// The collision model's memory in bytes.
extern int32_t gCollisionModelBytes;

// Ends the device scene (false when that fails, the counters kept) and, with the quality
// statistics flag, appends the line and resets the counters.
bool FormatAqcStats();
