// The screen update that ends every frame and its frame statistics line. Called by the game
// loop, the display's flush and the display-list flush (for every surface it draws); the
// statistics only ever append to the status text, bounded and terminated.
#pragma once

#include <cstdint>

struct DisplaySurface;

// SystemBlock::screenModeFlags bits.
constexpr uint8_t kScreenShowStats = 0x01;  // append the frame statistics line
constexpr uint8_t kScreenAqcStats = 0x02;   // append the quality statistics line
constexpr uint8_t kScreenNoPresent = 0x80;  // draw the frame but do not present it

// DisplayObject flag bits the screen update reads.
constexpr uint32_t kDisplayBackBuffer = 0x20;
constexpr uint32_t kDisplayWindowOnly = 0x2000;
constexpr uint32_t kDisplayFlipState = 0x100000;

// Appends the frame statistics for `surface` (the surface just drawn, or none).
void DrawFrameStats(DisplaySurface* surface);
// Appends `line` to the status text without passing its 255 characters; the text stays
// terminated. Nothing without a SystemBlock.
void AppendStatusText(const char* line);
