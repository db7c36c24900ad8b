// The 2D blitter: software drawing into the pixel memory of display surfaces. Only the block
// copy exists yet (blitter_stub.cpp); the top-level display lists draw with it. Called by the
// display lists and the surface draw routine; never calls the device except through the locks.
#pragma once

#include <cstdint>

struct DisplaySurface;

// Copies a width x height block without key from source (sx, sy) to target (tx, ty).
void BlitBlockTo(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY, int32_t targetX,
                 int32_t targetY, int32_t width, int32_t height);
