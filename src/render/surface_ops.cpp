// Display surfaces bound to the device: the texture or surface behind a record, its locks, the
// colour conversion, fills and copies, DDS texture files, the BMP screenshot and the marker and
// draw routines of the display lists. Called by the image records, the blitter, the display
// lists, the screenshots and the logo screens. Device and image calls run through the GPU layer
// with the low-memory retry; a failure returns 0 or null after releasing what was made, and
// nothing here shows a message or reads a file past its end.
#include "render/surface_ops.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_dds.h"
#include "platform/gpu_image.h"
#include "platform/os.h"
#include "render/blitter.h"
#include "render/d3d_context.h"
#include "render/effect_textures.h"
#include "render/pixel_formats.h"
#include "render/render.h"

int32_t gDeviceTextureCount = 0;
int32_t gDeviceSurfaceCount = 0;
GpuSurface* gScreenBackBuffer = nullptr;

namespace {

constexpr uint32_t kBitFlags = kSurface16Bit | kSurface24Bit | kSurface32Bit;
constexpr uint32_t kPitchLockFlags = kGpuLockReadOnly | kGpuLockNoSysLock | kGpuLockNoDirtyUpdate;
constexpr size_t kCubeFlagOffset = 112;  // DDSCAPS2 in a DDS file, after the magic word
constexpr int32_t kMinKeptMipLevels = 7;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() {
  DeviceRecord* record = Record();
  return record ? record->device : nullptr;
}

// A second attempt after a failure, with the low-memory hook only for a lack of system memory.
template <typename Call>
GpuResult RetryOnOutOfMemory(Call call) {
  GpuResult result = call();
  if (GpuSucceeded(result)) return result;
  if (result == kGpuErrOutOfMemory) CallLowMemoryHandler();
  return call();
}

void ReleaseSurfaceCounted(GpuSurface*& surface) {
  if (!surface) return;
  surface->Release();
  surface = nullptr;
  --gDeviceSurfaceCount;
}

void ReleaseTextureCounted(GpuBaseTexture*& texture) {
  if (!texture) return;
  texture->Release();
  texture = nullptr;
  --gDeviceTextureCount;
}

bool IsWindowed() {
  const DeviceRecord* record = Record();
  return record && record->presentParameters.windowed != 0;
}

bool IsScreenBackBuffer(const GpuSurface* surface) {
  const DeviceRecord* record = Record();
  return surface && (surface == gScreenBackBuffer || (record && surface == record->backBuffer));
}

// Unlocks one record the way every unlocking caller does.
void UnlockRecord(DisplaySurface* record) {
  if (!record || !record->pixels || !record->deviceSurface || (record->flags & kSurfaceOwnPixels)) return;
  if (GpuSucceeded(record->deviceSurface->UnlockRect())) {
    record->flags &= ~kSurfaceLocked;
    record->pixels = nullptr;
  }
}

bool LockRecord(DisplaySurface* record, uint32_t lockFlags) {
  GpuLockedRect scratch{};
  void* bits = LockSurfaceBits(record->deviceSurface, &scratch, lockFlags);
  if (!bits) return false;
  record->pixels = static_cast<uint8_t*>(bits);
  record->flags |= kSurfaceLocked;
  return true;
}

// The pitch of a surface's memory layout, read through a lock (a copy for a render target); 0
// for a multisampled target or one that cannot be locked.
uint32_t ReadPitch(GpuSurface* surface, const GpuSurfaceDesc& desc) {
  GpuLockedRect locked{};
  if (desc.usage & kGpuUsageRenderTarget) {
    if (desc.multiSampleType != kGpuMultisampleNone) return 0;
    GpuDevice* device = Device();
    GpuSurface* copy = nullptr;
    if (!device || GpuFailed(GpuRetry([&] {
          return device->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy);
        })))
      return 0;
    uint32_t pitch = 0;
    if (GpuSucceeded(GpuRetry([&] { return device->GetRenderTargetData(surface, copy); })) &&
        GpuSucceeded(GpuRetry([&] { return copy->LockRect(&locked, nullptr, kPitchLockFlags); }))) {
      pitch = static_cast<uint32_t>(locked.pitch);
      copy->UnlockRect();
    }
    copy->Release();
    return pitch;
  }
  if (GpuFailed(GpuRetry([&] { return surface->LockRect(&locked, nullptr, kPitchLockFlags); }))) return 0;
  surface->UnlockRect();
  return static_cast<uint32_t>(locked.pitch);
}

bool DescribeSurface(const DisplaySurface* record, PixelFormatDesc* desc) {
  GpuSurfaceDesc surfaceDesc{};
  if (!record->deviceSurface || GpuFailed(record->deviceSurface->GetDesc(&surfaceDesc))) return false;
  DescribePixelFormat(desc, surfaceDesc.format);
  return true;
}

// The colour's top `bits` bits of the byte ending at bit `top`, placed at `shift` and masked.
uint32_t Channel(uint32_t color, uint32_t top, uint16_t bits, uint16_t shift, uint32_t mask) {
  if (bits == 0) return 0;
  const uint32_t value = bits <= top ? color >> (top - bits) : color << (bits - top);
  return (value << shift) & mask;
}

bool TextureContained(GpuSurface* surface) {
  GpuBaseTexture* container = nullptr;
  if (GpuFailed(surface->GetContainer(&container)) || !container) return false;
  container->Release();
  return true;
}

// StretchRect only where the device can do it with a linear filter: default-pool source, a
// default-pool render target, and either no texture involved or a device that stretches from
// textures.
bool CanStretchRect(GpuSurface* source, GpuSurface* dest) {
  GpuDevice* device = Device();
  GpuCaps caps{};
  GpuSurfaceDesc s{}, d{};
  if (!device || GpuFailed(device->GetDeviceCaps(&caps)) || GpuFailed(source->GetDesc(&s)) ||
      GpuFailed(dest->GetDesc(&d)))
    return false;
  const bool textures = (caps.devCaps2 & kGpuDevCaps2CanStretchRectFromTextures) ||
                        (!TextureContained(source) && !TextureContained(dest));
  return textures && d.pool == kGpuPoolDefault && (d.usage & kGpuUsageRenderTarget) && s.pool == kGpuPoolDefault &&
         (caps.stretchRectFilterCaps & kGpuPtFilterCapsMagfLinear);
}

template <typename Retry>
void CopySurface(GpuSurface* source, const GpuRect* sourceRect, GpuSurface* dest, const GpuRect* destRect,
                 Retry retry) {
  if (CanStretchRect(source, dest)) {
    GpuDevice* device = Device();
    retry([&] { return device->StretchRect(source, sourceRect, dest, destRect, kGpuTexFilterLinear); });
  } else {
    retry([&] { return GpuxLoadSurfaceFromSurface(dest, destRect, source, sourceRect, kGpuxFilterLinear, 0); });
  }
}

GpuRect ToGpuRect(const SurfaceRect16& r) { return GpuRect{r.left, r.top, r.right, r.bottom}; }

DisplaySurface* NewRecord() {
  auto* record = static_cast<DisplaySurface*>(MemAlloc(sizeof(DisplaySurface), 0));
  if (record) std::memset(record, 0, sizeof *record);
  return record;
}

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Top mip levels to drop so that a lower texture quality (or a raised quality offset) loads
// smaller textures.
uint32_t MipLevelsToSkip(uint32_t levels) {
  const DeviceRecord* record = Record();
  const int32_t quality = record ? static_cast<int32_t>(record->textureQuality) : 0;
  const int32_t offset = gSystem ? static_cast<int32_t>(gSystem->qualityReduction) : 0;
  const int32_t keep = std::max(kMinKeptMipLevels, quality - offset + static_cast<int32_t>(levels) - 2);
  return static_cast<int32_t>(levels) > keep ? levels - static_cast<uint32_t>(keep) : 0;
}

}  // namespace

int32_t CreateImageSurface(DisplaySurface* record) {
  DeviceRecord* device = Record();
  if (!device || !device->device || !record) return 0;
  if (!(record->flags & kSurfaceWantsDevice)) return 1;
  const bool defaultPool = (record->flags & (kSurfaceDefaultPool2 | kSurfaceDefaultPool)) != 0;
  GpuDevice* gpu = device->device;
  GpuTexture* texture = nullptr;
  GpuSurface* surface = nullptr;
  if (record->flags & kSurfaceTexture) {
    const PixelFormatDesc* desc = (record->flags & kSurfaceThirdFormat)   ? device->thirdFormat
                                  : (record->flags & kSurfaceAlphaFormat) ? device->alphaFormat
                                                                          : device->opaqueFormat;
    if (!desc) return 0;
    const uint32_t format = FormatTableCode(desc->formatIndex);
    const uint32_t levels = (record->flags & kSurfaceMipChain) ? 0 : 1;
    const uint32_t pool = defaultPool ? kGpuPoolDefault : kGpuPoolManaged;
    if (GpuFailed(GpuRetry([&] {
          return gpu->CreateTexture(static_cast<uint32_t>(record->width), static_cast<uint32_t>(record->height), levels,
                                    0, format, pool, &texture);
        })))
      return 0;
    if (GpuFailed(texture->GetSurfaceLevel(0, &surface))) {
      texture->Release();
      return 0;
    }
  } else {
    const uint32_t format =
        (record->flags & kSurfaceArgb) ? kGpuFmtA8R8G8B8 : device->presentParameters.backBufferFormat;
    const uint32_t pool = (record->flags & kSurfaceDefaultPool2) ? kGpuPoolDefault : kGpuPoolSystemMem;
    if (GpuFailed(GpuRetry([&] {
          return gpu->CreateOffscreenPlainSurface(static_cast<uint32_t>(record->width),
                                                  static_cast<uint32_t>(record->height), format, pool, &surface);
        })))
      return 0;
  }
  if (!AttachD3DSurface(record, surface)) {
    surface->Release();
    if (texture) texture->Release();
    return 0;
  }
  if (texture) {
    record->deviceTexture = texture;
    ++gDeviceTextureCount;
  }
  return 1;
}

int32_t AttachD3DSurface(DisplaySurface* record, GpuSurface* surface) {
  if (!record || !surface) return 0;
  GpuSurfaceDesc desc{};
  if (GpuFailed(surface->GetDesc(&desc))) return 0;
  const uint32_t pitch = ReadPitch(surface, desc);
  PixelFormatDesc format{};
  DescribePixelFormat(&format, desc.format);
  // A record still locked on its old surface lets go of it first.
  UnlockRecord(record);
  record->pitch = static_cast<uint16_t>(pitch);
  record->pixels = nullptr;
  record->flags &= ~kSurfaceLocked;
  record->width = static_cast<int16_t>(desc.width);
  record->height = static_cast<int16_t>(desc.height);
  record->bitsPerPixel = static_cast<int16_t>(format.bitsPerPixel);
  record->bytesPerPixel = static_cast<int16_t>(format.bitsPerPixel / 8);
  record->flags |= kSurfaceAttached | kSurfaceWantsDevice;
  if (format.kind & kFormatKindNoAlphaChoice) record->flags |= kSurfaceThirdFormat;
  if (format.kind & kFormatKindNoChannels) record->flags |= kSurfaceFormatFlag40;
  record->flags &= ~kBitFlags;
  switch (format.bitsPerPixel) {
    case 16: record->flags |= kSurface16Bit | kSurfaceChunky; break;
    case 24: record->flags |= kSurface24Bit | kSurfaceChunky; break;
    case 32: record->flags |= kSurface32Bit | kSurfaceChunky; break;
    default: break;
  }
  record->rowBytes = static_cast<uint16_t>(((desc.width + 15) & ~15u) * static_cast<uint32_t>(record->bytesPerPixel));
  record->planeBytes = format.bitsPerPixel ? desc.height * pitch / format.bitsPerPixel : 0;
  record->planeStep = pitch;
  if (record->deviceSurface != surface) {
    ReleaseSurfaceCounted(record->deviceSurface);
    record->deviceSurface = surface;
    ++gDeviceSurfaceCount;
  }
  return 1;
}

void* LockSurfaceBits(GpuSurface* surface, GpuLockedRect* scratch, uint32_t lockFlags) {
  if (!surface || !scratch) return nullptr;
  GpuSurfaceDesc desc{};
  if (GpuFailed(surface->GetDesc(&desc))) return nullptr;
  const bool windowed = IsWindowed();
  if ((desc.usage & kGpuUsageRenderTarget) && desc.pool == kGpuPoolDefault && !windowed) return nullptr;
  if (IsScreenBackBuffer(surface) && !windowed) return nullptr;
  if (GpuFailed(GpuRetry([&] { return surface->LockRect(scratch, nullptr, lockFlags); }))) return nullptr;
  return scratch->bits;
}

int32_t LockSurface(DisplaySurface* record) {
  if (!record || !record->deviceSurface || (record->flags & kSurfaceOwnPixels)) return 0;
  if (record->flags & kSurfaceLocked) return 1;
  return LockRecord(record, 0) ? 1 : 0;
}

int32_t LockSurfacePair(DisplaySurface* destination, DisplaySurface* source) {
  bool lockedDestination = false;
  if (destination && !destination->pixels) {
    if (!destination->deviceSurface || !LockRecord(destination, 0)) return 0;
    lockedDestination = true;
  }
  if (source && !source->pixels && source != destination) {
    if (!source->deviceSurface || !LockRecord(source, kGpuLockReadOnly)) {
      if (lockedDestination) UnlockRecord(destination);
      return 0;
    }
  }
  return 1;
}

void UnlockSurfacePair(DisplaySurface* first, DisplaySurface* second) {
  UnlockRecord(first);
  if (second != first) UnlockRecord(second);
}

int32_t SurfaceGetChannelInfo(const DisplaySurface* record, SurfaceChannel channels[4]) {
  if (!record || record->bitsPerPixel <= 8) return 0;
  PixelFormatDesc d{};
  if (!DescribeSurface(record, &d)) return 0;
  channels[0] = {d.redMask, d.redBits, d.redShift};
  channels[1] = {d.greenMask, d.greenBits, d.greenShift};
  channels[2] = {d.blueMask, d.blueBits, d.blueShift};
  channels[3] = {d.alphaMask, d.alphaBits, d.alphaShift};
  return 1;
}

uint32_t ColorToSurfaceFormat(const DisplaySurface* record, uint32_t color) {
  PixelFormatDesc d{};
  if (!record || !DescribeSurface(record, &d)) return color;
  uint32_t value = Channel(color, 8, d.blueBits, d.blueShift, d.blueMask) +
                   Channel(color, 16, d.greenBits, d.greenShift, d.greenMask) +
                   Channel(color, 24, d.redBits, d.redShift, d.redMask);
  if (record->deviceTexture && d.alphaBits) value += Channel(color, 32, d.alphaBits, d.alphaShift, d.alphaMask);
  return value;
}

void SurfaceFillRect(DisplaySurface* record, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color) {
  if (!record || !record->deviceSurface || width < 1 || height < 1) return;
  GpuDevice* device = Device();
  if (!device) return;
  UnlockRecord(record);
  GpuSurface* surface = record->deviceSurface;
  const GpuRect rect{x, y, x + width, y + height};
  const bool screen = IsScreenBackBuffer(surface);
  GpuSurfaceDesc desc{};
  if (GpuFailed(surface->GetDesc(&desc))) return;
  // The screen's back buffer is always cleared, which honours the viewport as the screen expects.
  if (!screen && (desc.usage & kGpuUsageRenderTarget) && desc.pool == kGpuPoolDefault &&
      GpuSucceeded(device->ColorFill(surface, &rect, color)))
    return;
  uint32_t value = color;
  if (record->bitsPerPixel > 8) value = ColorToSurfaceFormat(record, color);
  if (record->bitsPerPixel > 8 && record->bitsPerPixel <= 16) value &= 0xFFFF;
  if (screen) {
    device->Clear(1, &rect, kGpuClearTarget, value, 1.0f, 0);
    return;
  }
  if (x < 0 || y < 0 || x + width > static_cast<int32_t>(desc.width) || y + height > static_cast<int32_t>(desc.height))
    return;
  GpuLockedRect locked{};
  if (GpuFailed(GpuRetry([&] { return surface->LockRect(&locked, &rect, kGpuLockNoSysLock); }))) return;
  auto* row = static_cast<uint8_t*>(locked.bits);
  const int32_t bpp = record->bytesPerPixel;
  for (int32_t j = 0; j < height; ++j, row += locked.pitch) {
    for (int32_t i = 0; i < width; ++i) {
      uint8_t* p = row + static_cast<size_t>(i) * static_cast<size_t>(bpp);
      switch (bpp) {
        case 4: {
          const uint32_t v = value;
          std::memcpy(p, &v, 4);
          break;
        }
        case 3:
          p[0] = static_cast<uint8_t>(value), p[1] = static_cast<uint8_t>(value >> 8);
          p[2] = static_cast<uint8_t>(value >> 16);
          break;
        case 2: {
          const uint16_t v = static_cast<uint16_t>(value);
          std::memcpy(p, &v, 2);
          break;
        }
        case 1: *p = static_cast<uint8_t>(value); break;
        default: break;
      }
    }
  }
  surface->UnlockRect();
}

void SurfaceCopyRect(DisplaySurface* source, DisplaySurface* destination, const SurfaceRect16* sourceRect,
                     const SurfaceRect16* destinationRect) {
  if (!source || !destination || !source->deviceSurface || !destination->deviceSurface) return;
  UnlockSurfacePair(source, destination);
  GpuRect s{}, d{};
  if (sourceRect) s = ToGpuRect(*sourceRect);
  if (destinationRect) d = ToGpuRect(*destinationRect);
  CopySurface(source->deviceSurface, sourceRect ? &s : nullptr, destination->deviceSurface,
              destinationRect ? &d : nullptr, [](auto call) { return RetryOnOutOfMemory(call); });
}

void StretchSurface(DisplaySurface* destination, DisplaySurface* source) {
  if (!source || !destination || !source->deviceSurface || !destination->deviceSurface) return;
  UnlockSurfacePair(destination, source);
  CopySurface(source->deviceSurface, nullptr, destination->deviceSurface, nullptr,
              [](auto call) { return GpuRetry(call); });
}

DisplaySurface* LoadTextureFile(const char* name, uint32_t flags, int32_t mipLevels) {
  if (!name) return nullptr;
  GpuDevice* device = Device();
  if (!device) return nullptr;
  auto* data = reinterpret_cast<uint8_t*>(LoadGameFile(name, "pck dds", false));
  if (!data) return nullptr;
  const size_t size = gLastReadSize;
  auto freeData = [&] { MemFree(data, size, 0); };
  GpuxImageInfo info{};
  // The cube flag lies inside the DDS header; a file too short to hold it is no texture.
  if (size < kGpuDdsHeaderBytes || GpuFailed(GpuxGetImageInfoFromFileInMemory(data, size, &info))) {
    freeData();
    return nullptr;
  }
  const uint32_t pool = (flags & (kSurfaceDefaultPool2 | kSurfaceDefaultPool)) ? kGpuPoolDefault : kGpuPoolManaged;
  const uint32_t levels = mipLevels > 0 ? static_cast<uint32_t>(mipLevels) : info.mipLevels;
  const bool cube = (LoadLe32(data + kCubeFlagOffset) & kGpuDdsCapsCubeMap) != 0;
  GpuBaseTexture* texture = nullptr;
  GpuSurface* surface = nullptr;
  if (cube) {
    GpuCubeTexture* cubeTexture = nullptr;
    if (GpuSucceeded(GpuRetry([&] {
          return GpuxCreateCubeTextureFromFileInMemoryEx(device, data, size, kGpuxDefault, levels, 0, kGpuFmtUnknown,
                                                         pool, kGpuxDefault, kGpuxFilterNone, 0, nullptr,
                                                         &cubeTexture);
        }))) {
      texture = cubeTexture;
      if (GpuFailed(cubeTexture->GetCubeMapSurface(kGpuCubeFacePositiveX, 0, &surface))) surface = nullptr;
    }
  } else {
    uint32_t mipFilter = kGpuxFilterNone;
    if (!(flags & kSurfaceLoadNoMipSkip)) mipFilter = GpuxSkipDdsMipLevels(MipLevelsToSkip(levels), mipFilter);
    GpuTexture* plain = nullptr;
    if (GpuSucceeded(GpuRetry([&] {
          return GpuxCreateTextureFromFileInMemoryEx(device, data, size, kGpuxDefault, kGpuxDefault, levels, 0,
                                                     kGpuFmtUnknown, pool, kGpuxDefault, mipFilter, 0, nullptr, &plain);
        }))) {
      texture = plain;
      if (GpuFailed(plain->GetSurfaceLevel(0, &surface))) surface = nullptr;
    }
  }
  freeData();
  if (!texture) return nullptr;
  return WrapDeviceSurface(texture, surface, kSurfaceLoadedTexture | (cube ? kSurfaceCubeMap : 0));
}

DisplaySurface* WrapDeviceSurface(GpuBaseTexture* texture, GpuSurface* surface, uint32_t flags) {
  DisplaySurface* record = surface ? NewRecord() : nullptr;
  if (!record || !AttachD3DSurface(record, surface)) {
    if (record) MemFree(record, sizeof(DisplaySurface), 0);
    if (surface) surface->Release();
    if (texture) texture->Release();
    return nullptr;
  }
  record->flags |= flags;
  if (texture) {
    record->deviceTexture = texture;
    ++gDeviceTextureCount;
  }
  return record;
}

int32_t ReleaseImageSurface(DisplaySurface* record) {
  if (!record) return 1;
  if (record->pixels) {
    if (record->flags & kSurfaceOwnPixels) {
      MemFree(record->pixels, static_cast<size_t>(record->pitch) * static_cast<size_t>(std::max<int16_t>(record->height, 0)),
              0);
      record->pixels = nullptr;
      record->flags &= ~kSurfaceLocked;
    } else {
      UnlockRecord(record);
    }
  }
  EffectTexturesUnbindTexture(record);
  ReleaseSurfaceCounted(record->deviceSurface);
  ReleaseTextureCounted(record->deviceTexture);
  return 1;
}

int32_t SaveScreenshot(const char* name) {
  const DeviceRecord* record = Record();
  if (!name || !record || !record->backBuffer) return 0;
  char gamePath[kOsMaxPath];
  if (std::snprintf(gamePath, sizeof gamePath, "%s.bmp", name) >= static_cast<int>(sizeof gamePath)) return 0;
  char path[kOsMaxPath];
  if (!OsResolvePath(gamePath, true, path, sizeof path)) return 0;
  const GpuResult result =
      RetryOnOutOfMemory([&] { return GpuSaveSurfaceToBmp(path, record->backBuffer, nullptr); });
  return GpuSucceeded(result) ? 1 : 0;
}

uint8_t* SurfacePixelRow(const DisplaySurface* s, int32_t y) {
  if (s->rowOffsets && !(s->flags & kSurfaceSmall) && static_cast<uint32_t>(y) < s->rowOffsetBytes / 4)
    return s->pixels + s->rowOffsets[y];
  return s->pixels + static_cast<size_t>(y) * s->pitch;
}

void CopyMarkerPixels(const PixelMarker* points, int32_t count, DisplaySurface* source, DisplaySurface* target,
                      int32_t offsetX, int32_t offsetY) {
  if (!points || !source || !target) return;
  const DisplayList* list = source->displayList;
  const bool bytes = source->bitsPerPixel == 8 && target->bitsPerPixel == 8;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t x = points[i].x, y = points[i].y;
    if (!bytes) {
      if (list && list->draw) list->draw(source, target, x, y, x + offsetX, y + offsetY, 1, 1);
      continue;
    }
    const int32_t tx = x + offsetX, ty = y + offsetY;
    if (!source->pixels || !target->pixels || x < 0 || y < 0 || x >= source->width || y >= source->height || tx < 0 ||
        ty < 0 || tx >= target->width || ty >= target->height)
      continue;
    SurfacePixelRow(target, ty)[tx] = SurfacePixelRow(source, y)[x];
  }
}

void SurfaceDrawRoutine(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                        int32_t targetX, int32_t targetY, int32_t width, int32_t height) {
  BlitBlockTo(source, target, sourceX, sourceY, targetX, targetY, width, height);
}
