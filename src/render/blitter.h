// The 2D blitter: software drawing into the pixel memory of display surfaces of every depth
// (mono planes, 8, 16, 24 and 32 bits): fills, copies, lines, ellipses, keyed and alpha blocks
// and 1-bit bitmaps. Called by the display lists, the surface draw routine, the texture drawing
// natives and the fonts. Never writes outside a surface, whatever coordinates it is given; the
// device is reached only through the surface locks, fill and copy.
#pragma once

#include <cstdint>

struct DisplaySurface;
struct SurfaceRect16;

// Blit type of an ordered pair of formats (mono, 8, 16, 24, 32); either surface may be none, and
// is then the other. -1 when neither is given or a chunky surface's pixel size contradicts its
// depth flags.
int32_t GetBlitType(const DisplaySurface* first, const DisplaySurface* second);

void BlitFillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color, DisplaySurface* surface);
void BlitCopyRect(DisplaySurface* source, DisplaySurface* target, const SurfaceRect16* sourceRect,
                  const SurfaceRect16* targetRect);
void BlitSetPixel(int32_t x, int32_t y, uint32_t color, DisplaySurface* surface);
void BlitPixelClipped(int32_t x, int32_t y, uint32_t color, DisplaySurface* surface);

// Clips the segment to the surface; 1 when a visible part remains (the endpoints then lie in it).
int32_t ClipLine(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1, const DisplaySurface* surface);
void BlitLine(DisplaySurface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color);
// `aspect` is 16.16: the horizontal radius is radius / aspect.
void BlitCircle(DisplaySurface* surface, int32_t centerX, int32_t centerY, int32_t radius, int32_t aspect,
                uint32_t color);
void BlitFilledCircle(DisplaySurface* surface, int32_t centerX, int32_t centerY, int32_t radius, int32_t aspect,
                      uint32_t color);

// Copies a block, leaving the target where the source pixel is not above `key`.
void BlitBlock(DisplaySurface* target, DisplaySurface* source, int32_t sourceX, int32_t sourceY, int32_t targetX,
               int32_t targetY, int32_t width, int32_t height, uint32_t key);
// Copies a width x height block without key from source (sx, sy) to target (tx, ty).
void BlitBlockTo(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY, int32_t targetX,
                 int32_t targetY, int32_t width, int32_t height);
// Blends a 32-bit source with its per-pixel alpha, tinted by 0x00RRGGBB, into a 32-bit target.
void BlitSpriteAlpha(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                     int32_t targetX, int32_t targetY, int32_t width, int32_t height, uint32_t tint);
// Sets the target pixels under the set bits of a 1-bit bitmap (from bit column, row) to `color`.
void BlitMonoBitmap(DisplaySurface* target, const DisplaySurface* bitmap, int32_t bitColumn, int32_t bitRow,
                    int32_t width, int32_t height, int32_t targetX, int32_t targetY, uint32_t color);
