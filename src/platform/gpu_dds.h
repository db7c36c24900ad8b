// DDS texture files: reading the header of a file held in memory into a layout that says where
// each face's mip levels lie, and writing such files from packed level bytes (tests, the demo
// generator). Called by the image loading calls (gpu_image.h). The reader checks every size,
// count and offset against the bytes it holds and refuses what does not fit; it never reads
// past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kGpuDdsCapsCubeMap = 0x200;  // DDSCAPS2: the file holds the six faces of a cube
constexpr size_t kGpuDdsHeaderBytes = 128;      // magic word and header
// Largest side a DDS file may claim; larger headers are refused before anything is sized.
constexpr uint32_t kGpuDdsMaxSide = 16384;

struct GpuDdsLayout {
  uint32_t format;  // a kGpuFmt* value
  uint32_t width;
  uint32_t height;
  uint32_t levels;  // mip levels of each face, 1 or more
  uint32_t faces;   // 1, or 6 for a cube (+X, -X, +Y, -Y, +Z, -Z)
  size_t faceBytes; // bytes of one face's whole mip chain
};

// True when the bytes hold a DDS file this reader takes: the magic, a header of the right size,
// a known pixel format, sides 1..kGpuDdsMaxSide, a mip count the sides allow, all six faces of a
// cube, and pixel data for every level. False for everything else.
bool GpuDdsRead(const uint8_t* bytes, size_t size, GpuDdsLayout* layout);
// Offset in the file of a face's level (face 0..faces-1, level 0..levels-1) and its extents.
size_t GpuDdsLevelOffset(const GpuDdsLayout& layout, uint32_t face, uint32_t level);
uint32_t GpuDdsLevelSide(uint32_t side, uint32_t level);

// A DDS file of `format` whose faces follow each other, each with its levels from the largest,
// every level tightly packed (rows of GpuPixelRowBytes). False for an unknown format, sides out
// of range, or `data` of the wrong size.
bool GpuDdsWrite(uint32_t format, uint32_t width, uint32_t height, uint32_t levels, bool cube,
                 const std::vector<uint8_t>& data, std::vector<uint8_t>* file);
