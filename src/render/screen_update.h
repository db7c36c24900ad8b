// The screen update's frame statistics line. Only the statistics entry exists yet
// (screen_update_stub.cpp); the display-list flush calls it for every surface it draws.
#pragma once

struct DisplaySurface;

// Appends the frame statistics for `surface` (the surface just drawn, or none).
void DrawFrameStats(DisplaySurface* surface);
