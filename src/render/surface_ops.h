// Display surfaces on the device: creating and releasing the texture or surface behind a record,
// wrapping a device surface into a record, locks for software drawing, colour conversion into a
// surface's format, fills and copies, DDS texture files, the BMP screenshot and the display-list
// draw routine. Called by the image records, the blitter and fonts, the display lists, the
// screenshots and the logo screens. Every device call goes through the GPU layer with the
// low-memory retry; nothing here shows a message.
#pragma once

#include <cstdint>

#include "render/display_surface.h"

struct GpuLockedRect;
class GpuSurface;
class GpuBaseTexture;

// Record flags of the device binding (the rest are in display_surface.h).
constexpr uint32_t kSurfaceWantsDevice = 0x8;
constexpr uint32_t kSurfaceDefaultPool = 0x80;
constexpr uint32_t kSurfaceTexture = 0x4000;
constexpr uint32_t kSurfaceMipChain = 0x8000;
constexpr uint32_t kSurfaceLoadNoMipSkip = 0x40000;  // a texture-file load flag
constexpr uint32_t kSurfaceAttached = 0x800000;
constexpr uint32_t kSurfaceArgb = 0x4000000;
constexpr uint32_t kSurfaceDefaultPool2 = 0x8000000;
constexpr uint32_t kSurfaceThirdFormat = 0x10000000;
constexpr uint32_t kSurfaceAlphaFormat = 0x20000000;
constexpr uint32_t kSurfaceFormatFlag40 = 0x40000000;
constexpr uint32_t kSurfaceCubeMap = 0x42000000;
constexpr uint32_t kSurfaceLoadedTexture = 0x4408;

// Device textures made and device surfaces held by records.
extern int32_t gDeviceTextureCount;
extern int32_t gDeviceSurfaceCount;
// The screen's back buffer as the display keeps it; fills of it clear instead of locking.
extern GpuSurface* gScreenBackBuffer;

int32_t CreateImageSurface(DisplaySurface* record);
int32_t ReleaseImageSurface(DisplaySurface* record);
// Takes over the caller's reference to `surface`.
int32_t AttachD3DSurface(DisplaySurface* record, GpuSurface* surface);

// The pixel pointer, with the pitch in `scratch`; null when the surface cannot be locked.
void* LockSurfaceBits(GpuSurface* surface, GpuLockedRect* scratch, uint32_t lockFlags);
int32_t LockSurface(DisplaySurface* record);
int32_t LockSurfacePair(DisplaySurface* destination, DisplaySurface* source);
void UnlockSurfacePair(DisplaySurface* first, DisplaySurface* second);

struct SurfaceChannel {
  uint32_t mask;
  uint16_t bits;
  uint16_t shift;
};
// Red, green, blue and alpha in this order; 0 for a record of 8 bits or less.
int32_t SurfaceGetChannelInfo(const DisplaySurface* record, SurfaceChannel channels[4]);
// 0xAARRGGBB in the record's pixel format; unchanged without a device resource.
uint32_t ColorToSurfaceFormat(const DisplaySurface* record, uint32_t color);

void SurfaceFillRect(DisplaySurface* record, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color);
// Rectangles are left, top, right, bottom.
struct SurfaceRect16 {
  int16_t left, top, right, bottom;
};
void SurfaceCopyRect(DisplaySurface* source, DisplaySurface* destination, const SurfaceRect16* sourceRect,
                     const SurfaceRect16* destinationRect);
void StretchSurface(DisplaySurface* destination, DisplaySurface* source);

// A new record around a device surface (level 0 of `texture` when there is one) with these flags
// added; takes over both references and releases them when it fails (null).
DisplaySurface* WrapDeviceSurface(GpuBaseTexture* texture, GpuSurface* surface, uint32_t flags);
// A DDS file of the types "pck dds" in a new record, or null.
DisplaySurface* LoadTextureFile(const char* name, uint32_t flags, int32_t mipLevels);
// The back buffer as "<name>.bmp"; 1 on success.
int32_t SaveScreenshot(const char* name);

// The first byte of row y of a locked record: by its row table when it has one and is tracked,
// else by pitch.
uint8_t* SurfacePixelRow(const DisplaySurface* record, int32_t y);
void CopyMarkerPixels(const PixelMarker* points, int32_t count, DisplaySurface* source, DisplaySurface* target,
                      int32_t offsetX, int32_t offsetY);
// The draw routine of child display lists: the blitter's block copy.
void SurfaceDrawRoutine(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                        int32_t targetX, int32_t targetY, int32_t width, int32_t height);
