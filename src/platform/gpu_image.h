// Image files into device surfaces and textures: what a file in memory holds (DDS by our own
// reader; TGA, JPEG, BMP and PNG through stb_image), 2D and cube textures made from it, a
// surface filled from a file or from another surface with format conversion and filtering, and
// the format and size a texture request is granted on a device. Called by the renderer's
// texture, image and surface code. Every reader checks the file's sizes against its bytes and
// fails the call with an error result; nothing reads past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gpu.h"

// Sizes, levels and formats that mean "take it from the file" or "the whole chain".
constexpr uint32_t kGpuxDefault = 0xFFFFFFFFu;
constexpr uint32_t kGpuxDefaultNonPow2 = 0xFFFFFFFEu;
constexpr uint32_t kGpuxFromFile = 0xFFFFFFFDu;

// Filters; the low bits choose one, the rest are flags (ignored here but accepted).
constexpr uint32_t kGpuxFilterNone = 1;
constexpr uint32_t kGpuxFilterPoint = 2;
constexpr uint32_t kGpuxFilterLinear = 3;
constexpr uint32_t kGpuxFilterTriangle = 4;
constexpr uint32_t kGpuxFilterBox = 5;
constexpr uint32_t kGpuxFilterMask = 0xFF;
// A mip filter may ask to skip the largest levels of a DDS file: the count sits in these bits.
constexpr uint32_t kGpuxSkipDdsMipLevelsMask = 0x1F;
constexpr uint32_t kGpuxSkipDdsMipLevelsShift = 26;
constexpr uint32_t GpuxSkipDdsMipLevels(uint32_t levels, uint32_t filter) {
  return (levels & kGpuxSkipDdsMipLevelsMask) << kGpuxSkipDdsMipLevelsShift | filter;
}

enum GpuxImageFileFormat : uint32_t {
  kGpuxIffBmp = 0,
  kGpuxIffJpg = 1,
  kGpuxIffTga = 2,
  kGpuxIffPng = 3,
  kGpuxIffDds = 4,
};

struct GpuxImageInfo {
  uint32_t width;
  uint32_t height;
  uint32_t depth;
  uint32_t mipLevels;
  uint32_t format;
  uint32_t resourceType;  // kGpuRtypeTexture or kGpuRtypeCubeTexture
  uint32_t imageFileFormat;
};

// kGpuErrInvalidCall when the bytes are no image this layer reads (or a damaged one).
GpuResult GpuxGetImageInfoFromFileInMemory(const void* data, size_t size, GpuxImageInfo* info);

// A texture from a file in memory. width, height: 0 or kGpuxDefault* take the file's (after
// skipped levels); levels: 0 or kGpuxDefault the whole chain, kGpuxFromFile the file's; format
// kGpuFmtUnknown keeps the file's. A format or size the device refuses is replaced as
// GpuxCheckTextureRequirements says. Levels the file lacks are averaged from the level above.
// `colorKey` (0xAARRGGBB, 0 for none) turns matching pixels into transparent black. `info`
// receives the file's description when not null.
GpuResult GpuxCreateTextureFromFileInMemoryEx(GpuDevice* device, const void* data, size_t size, uint32_t width,
                                              uint32_t height, uint32_t levels, uint32_t usage, uint32_t format,
                                              uint32_t pool, uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                              GpuxImageInfo* info, GpuTexture** texture);
// The cube form: a cube DDS gives its six faces; any other image fills every face.
GpuResult GpuxCreateCubeTextureFromFileInMemoryEx(GpuDevice* device, const void* data, size_t size, uint32_t edge,
                                                  uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                                                  uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                                  GpuxImageInfo* info, GpuCubeTexture** texture);

// Fills a rectangle of a surface (null: all of it) from a rectangle of the file's first image
// (null: all of it), converting its format and scaling with `filter`.
GpuResult GpuxLoadSurfaceFromFileInMemory(GpuSurface* dest, const GpuRect* destRect, const void* data, size_t size,
                                          const GpuRect* sourceRect, uint32_t filter, uint32_t colorKey,
                                          GpuxImageInfo* info);
// Copies a rectangle of one surface into a rectangle of another, converting formats and scaling
// with `filter` (LINEAR filters bilinearly; POINT and NONE take the nearest pixel). A source
// that cannot be locked (a render target) is read through GetRenderTargetData.
GpuResult GpuxLoadSurfaceFromSurface(GpuSurface* dest, const GpuRect* destRect, GpuSurface* source,
                                     const GpuRect* sourceRect, uint32_t filter, uint32_t colorKey);

// The size, level count and format a texture request would be granted on the device: sides
// within the device's largest, levels no more than the chain allows (0: the whole chain), and
// the format itself when the device takes it for `usage`, else the nearest it does take.
// kGpuErrNotAvailable when no format fits. Any pointer may be null.
GpuResult GpuxCheckTextureRequirements(GpuDevice* device, uint32_t* width, uint32_t* height, uint32_t* levels,
                                       uint32_t usage, uint32_t* format, uint32_t pool);
GpuResult GpuxCheckCubeTextureRequirements(GpuDevice* device, uint32_t* edge, uint32_t* levels, uint32_t usage,
                                           uint32_t* format, uint32_t pool);

// The pixel-program profile of the device's adapter ("ps_2_0", ...); "" without a device.
const char* GpuxGetPixelShaderProfile(GpuDevice* device);
