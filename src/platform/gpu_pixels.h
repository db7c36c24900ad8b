// Pixel formats in memory for the image helpers: the bytes one row or one level of a format
// takes, and conversion of a rectangle of pixels between a format's memory layout and four
// floats per pixel (red, green, blue, alpha in 0..1), including the DXT1-5 blocks. Called by the
// DDS reader and writer and by the image loading calls; holds no device and never reads beyond
// the rows it is given.
#pragma once

#include <cstddef>
#include <cstdint>

// True for the formats the helpers decode and encode (8-, 16-, 24-, 32- and 64-bit colour, L8,
// A8, A8L8, L16 and DXT1-5).
bool GpuPixelFormatKnown(uint32_t format);
bool GpuPixelFormatIsDxt(uint32_t format);
// Bytes of one row of `width` pixels (one row of 4x4 blocks for DXT); 0 for an unknown format.
size_t GpuPixelRowBytes(uint32_t format, uint32_t width);
// Memory rows of `height` pixels (block rows for DXT).
uint32_t GpuPixelRowCount(uint32_t format, uint32_t height);
// Bytes of a tightly packed level.
size_t GpuPixelLevelBytes(uint32_t format, uint32_t width, uint32_t height);
// True when the format keeps an alpha channel of its own.
bool GpuPixelFormatHasAlpha(uint32_t format);

// `rgba` holds width * height * 4 floats, rows top to bottom. `pitch` is the distance between
// memory rows (block rows for DXT). False for an unknown format.
bool GpuPixelsDecode(uint32_t format, const uint8_t* bits, size_t pitch, uint32_t width, uint32_t height,
                     float* rgba);
bool GpuPixelsEncode(uint32_t format, const float* rgba, uint32_t width, uint32_t height, uint8_t* bits,
                     size_t pitch);

// Resampling of float pixels: `linear` filters bilinearly (and averages when shrinking by a
// whole factor), otherwise the nearest pixel is taken.
void GpuPixelsResample(const float* source, uint32_t sourceWidth, uint32_t sourceHeight, float* dest,
                       uint32_t destWidth, uint32_t destHeight, bool linear);
// The next mip level: each pixel averages the 2x2 (or 2x1, 1x2) pixels above it.
void GpuPixelsHalve(const float* source, uint32_t width, uint32_t height, float* dest);
