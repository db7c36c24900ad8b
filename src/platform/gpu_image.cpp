// Image files into device textures and surfaces. A file is first opened as a source: a DDS file
// keeps its bytes and layout (read in place), any other picture is decoded by stb_image into
// 8-bit pixels held as A8R8G8B8 rows. Each destination level is then filled from the source
// level of the same size when there is one (copied as is when the format matches, else
// converted through float pixels), or averaged from the level above it.
#include "platform/gpu_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gpu_dds.h"
#include "platform/gpu_pixels.h"
#include "platform/image.h"

namespace {

constexpr uint32_t kMaxSide = kGpuDdsMaxSide;

struct Source {
  GpuxImageInfo info{};
  GpuDdsLayout dds{};
  const uint8_t* file = nullptr;  // a DDS file's bytes
  std::vector<uint8_t> pixels;    // a decoded picture as A8R8G8B8
};

uint32_t FullChain(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  for (uint32_t side = std::max(width, height); side > 1; side /= 2) ++levels;
  return levels;
}

uint32_t Side(uint32_t side, uint32_t level) { return GpuDdsLevelSide(side, level); }

uint32_t FileFormatOf(const uint8_t* bytes, size_t size) {
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return kGpuxIffBmp;
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return kGpuxIffJpg;
  if (size >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') return kGpuxIffPng;
  return kGpuxIffTga;
}

// `decode` false reads only what GpuxImageInfo holds (a picture's header, not its pixels).
GpuResult OpenSource(const void* data, size_t size, Source* source, bool decode = true) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (!bytes || size == 0) return kGpuErrInvalidCall;
  if (size >= 4 && std::memcmp(bytes, "DDS ", 4) == 0) {
    if (!GpuDdsRead(bytes, size, &source->dds)) return kGpuErrInvalidCall;
    source->file = bytes;
    source->info = GpuxImageInfo{source->dds.width,  source->dds.height,
                                 1,                  source->dds.levels,
                                 source->dds.format, source->dds.faces == 6 ? kGpuRtypeCubeTexture : kGpuRtypeTexture,
                                 kGpuxIffDds};
    return kGpuOk;
  }
  int width = 0, height = 0, channels = 0;
  if (!ImageProbe(bytes, size, &width, &height, &channels)) return kGpuErrInvalidCall;
  bool alpha = channels == 2 || channels == 4;
  source->info = GpuxImageInfo{static_cast<uint32_t>(width),
                               static_cast<uint32_t>(height),
                               1,
                               1,
                               alpha ? kGpuFmtA8R8G8B8 : kGpuFmtX8R8G8B8,
                               kGpuRtypeTexture,
                               FileFormatOf(bytes, size)};
  if (!decode) return kGpuOk;
  Image image{};
  if (!ImageDecode(bytes, size, &image)) return kGpuErrInvalidCall;
  if (static_cast<uint32_t>(image.width) != source->info.width ||
      static_cast<uint32_t>(image.height) != source->info.height) {
    ImageFree(&image);
    return kGpuErrInvalidCall;
  }
  size_t count = static_cast<size_t>(image.width) * image.height;
  source->pixels.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = image.pixels + i * 4;
    uint8_t* q = source->pixels.data() + i * 4;
    q[0] = p[2];
    q[1] = p[1];
    q[2] = p[0];
    q[3] = p[3];
  }
  ImageFree(&image);
  return kGpuOk;
}

// The bytes and pitch of a source face's level.
void SourceLevel(const Source& source, uint32_t face, uint32_t level, const uint8_t** bits, size_t* pitch) {
  if (source.file) {
    *bits = source.file + GpuDdsLevelOffset(source.dds, face, level);
    *pitch = GpuPixelRowBytes(source.dds.format, Side(source.dds.width, level));
  } else {
    *bits = source.pixels.data();
    *pitch = static_cast<size_t>(source.info.width) * 4;
  }
}

uint32_t FilterOf(uint32_t filter) { return filter == kGpuxDefault ? kGpuxFilterTriangle : filter & kGpuxFilterMask; }
bool Linear(uint32_t filter) { return FilterOf(filter) >= kGpuxFilterLinear; }

void ApplyColorKey(std::vector<float>* rgba, uint32_t colorKey) {
  if (colorKey == 0) return;
  auto byte = [](float v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  for (size_t i = 0; i + 3 < rgba->size(); i += 4) {
    float* p = rgba->data() + i;
    uint32_t argb = byte(p[3]) << 24 | byte(p[0]) << 16 | byte(p[1]) << 8 | byte(p[2]);
    if (argb == colorKey) p[0] = p[1] = p[2] = p[3] = 0.0f;
  }
}

struct Pixels {
  uint32_t width = 0, height = 0;
  std::vector<float> rgba;
};

Pixels DecodePixels(uint32_t format, const uint8_t* bits, size_t pitch, uint32_t width, uint32_t height,
                    uint32_t colorKey) {
  Pixels p;
  p.width = width;
  p.height = height;
  p.rgba.resize(static_cast<size_t>(width) * height * 4);
  GpuPixelsDecode(format, bits, pitch, width, height, p.rgba.data());
  ApplyColorKey(&p.rgba, colorKey);
  return p;
}

Pixels Resampled(const Pixels& from, uint32_t width, uint32_t height, uint32_t filter) {
  Pixels p;
  p.width = width;
  p.height = height;
  p.rgba.resize(static_cast<size_t>(width) * height * 4);
  GpuPixelsResample(from.rgba.data(), from.width, from.height, p.rgba.data(), width, height, Linear(filter));
  return p;
}

// Writes float pixels (or, when the formats and sizes agree and nothing needs converting, the
// source bytes) into a locked destination.
void Store(const GpuLockedRect& locked, uint32_t format, uint32_t width, uint32_t height, const Pixels& pixels) {
  GpuPixelsEncode(format, pixels.rgba.data(), width, height, static_cast<uint8_t*>(locked.bits),
                  static_cast<size_t>(locked.pitch));
}

bool CopyRows(const GpuLockedRect& locked, uint32_t format, uint32_t width, uint32_t height, const uint8_t* bits,
              size_t pitch) {
  size_t rowBytes = GpuPixelRowBytes(format, width);
  for (uint32_t row = 0; row < GpuPixelRowCount(format, height); ++row)
    std::memcpy(static_cast<uint8_t*>(locked.bits) + static_cast<size_t>(row) * locked.pitch, bits + row * pitch, rowBytes);
  return true;
}

// Fills one face's chain level by level through `lock`/`unlock` of the destination.
template <typename Lock, typename Unlock>
GpuResult FillChain(const Source& source, uint32_t face, uint32_t skip, uint32_t format, uint32_t width,
                    uint32_t height, uint32_t levels, uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                    Lock lock, Unlock unlock) {
  uint32_t sourceLevels = source.info.mipLevels;
  Pixels previous;
  for (uint32_t level = 0; level < levels; ++level) {
    uint32_t w = Side(width, level), h = Side(height, level);
    GpuLockedRect locked{};
    GpuResult result = lock(level, &locked);
    if (GpuFailed(result)) return result;
    uint32_t sourceLevel = level + skip;
    bool fromFile = level == 0 || sourceLevel < sourceLevels;
    const uint8_t* bits = nullptr;
    size_t pitch = 0;
    if (fromFile) {
      uint32_t at = std::min(sourceLevel, sourceLevels - 1);
      uint32_t sw = Side(source.info.width, at), sh = Side(source.info.height, at);
      SourceLevel(source, face, at, &bits, &pitch);
      if (source.info.format == format && sw == w && sh == h && colorKey == 0) {
        CopyRows(locked, format, w, h, bits, pitch);
        // Float pixels are only needed when a level below has to be averaged from this one.
        bool averagedBelow = level + 1 < levels && sourceLevel + 1 >= sourceLevels;
        if (averagedBelow) previous = DecodePixels(format, bits, pitch, w, h, 0);
      } else {
        previous = Resampled(DecodePixels(source.info.format, bits, pitch, sw, sh, colorKey), w, h, filter);
        Store(locked, format, w, h, previous);
      }
    } else {
      Pixels next;
      next.width = Side(previous.width, 1);
      next.height = Side(previous.height, 1);
      next.rgba.resize(static_cast<size_t>(next.width) * next.height * 4);
      GpuPixelsHalve(previous.rgba.data(), previous.width, previous.height, next.rgba.data());
      previous = (next.width == w && next.height == h) ? std::move(next) : Resampled(next, w, h, mipFilter);
      Store(locked, format, w, h, previous);
    }
    unlock(level);
  }
  return kGpuOk;
}

// Fallbacks for a format the device refuses, nearest first.
struct Fallback {
  uint32_t format;
  uint32_t candidates[4];
};

constexpr Fallback kFallbacks[] = {
    {kGpuFmtG16R16, {kGpuFmtA16B16G16R16, kGpuFmtA8R8G8B8, kGpuFmtX8R8G8B8}},
    {kGpuFmtL16, {kGpuFmtA16B16G16R16, kGpuFmtL8, kGpuFmtX8R8G8B8}},
    {kGpuFmtA2B10G10R10, {kGpuFmtA2R10G10B10, kGpuFmtA16B16G16R16, kGpuFmtA8R8G8B8}},
    {kGpuFmtA2R10G10B10, {kGpuFmtA2B10G10R10, kGpuFmtA16B16G16R16, kGpuFmtA8R8G8B8}},
    {kGpuFmtA16B16G16R16, {kGpuFmtA2B10G10R10, kGpuFmtA8R8G8B8}},
    {kGpuFmtDxt1, {kGpuFmtX8R8G8B8, kGpuFmtR5G6B5}},
    {kGpuFmtX8R8G8B8, {kGpuFmtA8R8G8B8, kGpuFmtR5G6B5, kGpuFmtX1R5G5B5}},
    {kGpuFmtR8G8B8, {kGpuFmtX8R8G8B8, kGpuFmtA8R8G8B8, kGpuFmtR5G6B5}},
    {kGpuFmtR5G6B5, {kGpuFmtX8R8G8B8, kGpuFmtX1R5G5B5, kGpuFmtA8R8G8B8}},
    {kGpuFmtX1R5G5B5, {kGpuFmtR5G6B5, kGpuFmtX8R8G8B8, kGpuFmtA1R5G5B5}},
    {kGpuFmtL8, {kGpuFmtX8R8G8B8, kGpuFmtA8R8G8B8}},
    {kGpuFmtA8, {kGpuFmtA8R8G8B8, kGpuFmtA4R4G4B4}},
    {kGpuFmtA8L8, {kGpuFmtA8R8G8B8, kGpuFmtA4R4G4B4}},
};
// Formats with alpha fall back through these.
constexpr uint32_t kAlphaFallbacks[] = {kGpuFmtA8R8G8B8, kGpuFmtA4R4G4B4, kGpuFmtA1R5G5B5};

GpuResult ChooseFormat(GpuDevice* device, uint32_t usage, uint32_t resourceType, uint32_t* format) {
  GpuSystem* system = nullptr;
  GpuDeviceCreationParameters creation{};
  GpuDisplayMode mode{};
  if (GpuFailed(device->GetDirect3D(&system)) || !system) return kGpuErrInvalidCall;
  device->GetCreationParameters(&creation);
  device->GetDisplayMode(0, &mode);
  auto takes = [&](uint32_t f) {
    return GpuSucceeded(system->CheckDeviceFormat(creation.adapterOrdinal, creation.deviceType, mode.format, usage,
                                                  resourceType, f));
  };
  uint32_t wanted = (*format == kGpuFmtUnknown || *format == kGpuxFromFile) ? kGpuFmtA8R8G8B8 : *format;
  std::vector<uint32_t> candidates = {wanted};
  for (const Fallback& f : kFallbacks)
    if (f.format == wanted)
      for (uint32_t c : f.candidates)
        if (c) candidates.push_back(c);
  if (GpuPixelFormatHasAlpha(wanted) || GpuPixelFormatIsDxt(wanted))
    candidates.insert(candidates.end(), std::begin(kAlphaFallbacks), std::end(kAlphaFallbacks));
  candidates.push_back(kGpuFmtX8R8G8B8);
  candidates.push_back(kGpuFmtA8R8G8B8);
  GpuResult result = kGpuErrNotAvailable;
  for (uint32_t c : candidates) {
    if (takes(c)) {
      *format = c;
      result = kGpuOk;
      break;
    }
  }
  system->Release();
  return result;
}

GpuResult CheckRequirements(GpuDevice* device, uint32_t* width, uint32_t* height, uint32_t* levels, uint32_t usage,
                            uint32_t* format, uint32_t resourceType) {
  if (!device) return kGpuErrInvalidCall;
  GpuCaps caps{};
  device->GetDeviceCaps(&caps);
  uint32_t maxW = caps.maxTextureWidth ? std::min(caps.maxTextureWidth, kMaxSide) : kMaxSide;
  uint32_t maxH = caps.maxTextureHeight ? std::min(caps.maxTextureHeight, kMaxSide) : kMaxSide;
  uint32_t w = width ? *width : 256, h = height ? *height : 256;
  if (w == 0 || w >= kGpuxFromFile) w = 256;
  if (h == 0 || h >= kGpuxFromFile) h = 256;
  w = std::min(w, maxW);
  h = std::min(h, maxH);
  uint32_t f = format ? *format : kGpuFmtA8R8G8B8;
  GpuResult result = ChooseFormat(device, usage, resourceType, &f);
  if (GpuFailed(result)) return result;
  if (GpuPixelFormatIsDxt(f)) {  // block formats keep whole blocks at the top level
    w = std::max(4u, (w + 3) & ~3u);
    h = std::max(4u, (h + 3) & ~3u);
  }
  if (width) *width = w;
  if (height) *height = h;
  if (format) *format = f;
  if (levels) {
    uint32_t full = FullChain(w, h);
    if (*levels == 0 || *levels > full) *levels = full;
  }
  return kGpuOk;
}

// Default-pool textures take their pixels only when dynamic; a texture loaded into that pool is
// made dynamic so its levels can be written (render targets are never filled from files).
uint32_t WritableUsage(uint32_t usage, uint32_t pool) {
  return pool == kGpuPoolDefault && !(usage & kGpuUsageRenderTarget) ? usage | kGpuUsageDynamic : usage;
}

uint32_t SizeFrom(uint32_t asked, uint32_t file) {
  return (asked == 0 || asked >= kGpuxFromFile) ? file : asked;
}

uint32_t SkipOf(const Source& source, uint32_t mipFilter) {
  if (!source.file || mipFilter == kGpuxDefault) return 0;
  uint32_t skip = (mipFilter >> kGpuxSkipDdsMipLevelsShift) & kGpuxSkipDdsMipLevelsMask;
  return std::min(skip, source.info.mipLevels - 1);
}

uint32_t LevelsFrom(uint32_t asked, uint32_t fileLevels) {
  if (asked == kGpuxFromFile) return fileLevels;
  return asked == kGpuxDefault ? 0 : asked;
}

}  // namespace

GpuResult GpuxGetImageInfoFromFileInMemory(const void* data, size_t size, GpuxImageInfo* info) {
  Source source;
  GpuResult result = OpenSource(data, size, &source, false);
  if (GpuSucceeded(result) && info) *info = source.info;
  return result;
}

GpuResult GpuxCreateTextureFromFileInMemoryEx(GpuDevice* device, const void* data, size_t size, uint32_t width,
                                              uint32_t height, uint32_t levels, uint32_t usage, uint32_t format,
                                              uint32_t pool, uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                              GpuxImageInfo* info, GpuTexture** texture) {
  if (!device || !texture) return kGpuErrInvalidCall;
  *texture = nullptr;
  Source source;
  GpuResult result = OpenSource(data, size, &source);
  if (GpuFailed(result)) return result;
  if (info) *info = source.info;
  uint32_t skip = SkipOf(source, mipFilter);
  uint32_t w = SizeFrom(width, Side(source.info.width, skip));
  uint32_t h = SizeFrom(height, Side(source.info.height, skip));
  uint32_t n = LevelsFrom(levels, source.info.mipLevels - skip);
  uint32_t f = format == kGpuxFromFile ? kGpuFmtUnknown : format;
  if (f == kGpuFmtUnknown) f = source.info.format;
  result = CheckRequirements(device, &w, &h, &n, usage, &f, kGpuRtypeTexture);
  if (GpuFailed(result)) return result;
  if (usage & kGpuUsageAutoGenMipmap) n = 1;
  GpuTexture* made = nullptr;
  result = device->CreateTexture(w, h, n, WritableUsage(usage, pool), f, pool, &made);
  if (GpuFailed(result)) return result;
  result = FillChain(
      source, 0, skip, f, w, h, n, filter, mipFilter, colorKey,
      [&](uint32_t level, GpuLockedRect* locked) { return made->LockRect(level, locked, nullptr, 0); },
      [&](uint32_t level) { made->UnlockRect(level); });
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  if (usage & kGpuUsageAutoGenMipmap) made->GenerateMipSubLevels();
  *texture = made;
  return kGpuOk;
}

GpuResult GpuxCreateCubeTextureFromFileInMemoryEx(GpuDevice* device, const void* data, size_t size, uint32_t edge,
                                                  uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                                                  uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                                  GpuxImageInfo* info, GpuCubeTexture** texture) {
  if (!device || !texture) return kGpuErrInvalidCall;
  *texture = nullptr;
  Source source;
  GpuResult result = OpenSource(data, size, &source);
  if (GpuFailed(result)) return result;
  if (info) *info = source.info;
  uint32_t skip = SkipOf(source, mipFilter);
  uint32_t e = SizeFrom(edge, Side(std::max(source.info.width, source.info.height), skip));
  uint32_t n = LevelsFrom(levels, source.info.mipLevels - skip);
  uint32_t f = format == kGpuxFromFile ? kGpuFmtUnknown : format;
  if (f == kGpuFmtUnknown) f = source.info.format;
  result = GpuxCheckCubeTextureRequirements(device, &e, &n, usage, &f, pool);
  if (GpuFailed(result)) return result;
  if (usage & kGpuUsageAutoGenMipmap) n = 1;
  GpuCubeTexture* made = nullptr;
  result = device->CreateCubeTexture(e, n, WritableUsage(usage, pool), f, pool, &made);
  if (GpuFailed(result)) return result;
  for (uint32_t face = 0; face < 6 && GpuSucceeded(result); ++face) {
    uint32_t sourceFace = source.file && source.dds.faces == 6 ? face : 0;
    result = FillChain(
        source, sourceFace, skip, f, e, e, n, filter, mipFilter, colorKey,
        [&](uint32_t level, GpuLockedRect* locked) { return made->LockRect(face, level, locked, nullptr, 0); },
        [&](uint32_t level) { made->UnlockRect(face, level); });
  }
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  if (usage & kGpuUsageAutoGenMipmap) made->GenerateMipSubLevels();
  *texture = made;
  return kGpuOk;
}

namespace {

bool ClipRect(const GpuRect* asked, uint32_t width, uint32_t height, GpuRect* out) {
  *out = asked ? *asked : GpuRect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
  return out->left >= 0 && out->top >= 0 && out->left < out->right && out->top < out->bottom &&
         static_cast<uint32_t>(out->right) <= width && static_cast<uint32_t>(out->bottom) <= height;
}

// Stores float pixels into a rectangle of a surface. A DXT destination rectangle must lie on
// whole blocks, as the surface's lock demands.
GpuResult StoreIntoSurface(GpuSurface* dest, const GpuRect* destRect, const Pixels& pixels, uint32_t filter) {
  GpuSurfaceDesc desc{};
  GpuResult result = dest->GetDesc(&desc);
  if (GpuFailed(result)) return result;
  if (!GpuPixelFormatKnown(desc.format)) return kGpuErrInvalidCall;
  GpuRect rect;
  if (!ClipRect(destRect, desc.width, desc.height, &rect)) return kGpuErrInvalidCall;
  uint32_t w = static_cast<uint32_t>(rect.right - rect.left), h = static_cast<uint32_t>(rect.bottom - rect.top);
  Pixels scaled = Resampled(pixels, w, h, filter);
  GpuLockedRect locked{};
  result = dest->LockRect(&locked, destRect ? &rect : nullptr, 0);
  if (GpuFailed(result)) return result;
  Store(locked, desc.format, w, h, scaled);
  dest->UnlockRect();
  return kGpuOk;
}

}  // namespace

GpuResult GpuxLoadSurfaceFromFileInMemory(GpuSurface* dest, const GpuRect* destRect, const void* data, size_t size,
                                          const GpuRect* sourceRect, uint32_t filter, uint32_t colorKey,
                                          GpuxImageInfo* info) {
  if (!dest) return kGpuErrInvalidCall;
  Source source;
  GpuResult result = OpenSource(data, size, &source);
  if (GpuFailed(result)) return result;
  if (info) *info = source.info;
  const uint8_t* bits = nullptr;
  size_t pitch = 0;
  SourceLevel(source, 0, 0, &bits, &pitch);
  Pixels whole = DecodePixels(source.info.format, bits, pitch, source.info.width, source.info.height, colorKey);
  GpuRect rect;
  if (!ClipRect(sourceRect, whole.width, whole.height, &rect)) return kGpuErrInvalidCall;
  Pixels part;
  part.width = static_cast<uint32_t>(rect.right - rect.left);
  part.height = static_cast<uint32_t>(rect.bottom - rect.top);
  for (uint32_t y = 0; y < part.height; ++y) {
    const float* row = whole.rgba.data() + ((static_cast<size_t>(rect.top) + y) * whole.width + rect.left) * 4;
    part.rgba.insert(part.rgba.end(), row, row + static_cast<size_t>(part.width) * 4);
  }
  return StoreIntoSurface(dest, destRect, part, filter);
}

GpuResult GpuxLoadSurfaceFromSurface(GpuSurface* dest, const GpuRect* destRect, GpuSurface* source,
                                     const GpuRect* sourceRect, uint32_t filter, uint32_t colorKey) {
  if (!dest || !source) return kGpuErrInvalidCall;
  GpuSurfaceDesc desc{};
  GpuResult result = source->GetDesc(&desc);
  if (GpuFailed(result)) return result;
  if (!GpuPixelFormatKnown(desc.format)) return kGpuErrInvalidCall;
  GpuRect rect;
  if (!ClipRect(sourceRect, desc.width, desc.height, &rect)) return kGpuErrInvalidCall;
  if (GpuPixelFormatIsDxt(desc.format)) {  // read whole blocks, then cut the rectangle out
    rect = GpuRect{0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height)};
  }
  GpuSurface* readable = source;
  GpuSurface* copy = nullptr;
  GpuLockedRect locked{};
  if (GpuFailed(source->LockRect(&locked, nullptr, kGpuLockReadOnly))) {
    // A render target: its pixels come through a system-memory copy.
    GpuDevice* device = nullptr;
    if (GpuFailed(source->GetDevice(&device)) || !device) return kGpuErrInvalidCall;
    result = device->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy);
    if (GpuSucceeded(result)) result = device->GetRenderTargetData(source, copy);
    device->Release();
    if (GpuSucceeded(result)) result = copy->LockRect(&locked, nullptr, kGpuLockReadOnly);
    if (GpuFailed(result)) {
      if (copy) copy->Release();
      return result;
    }
    readable = copy;
  }
  Pixels whole = DecodePixels(desc.format, static_cast<const uint8_t*>(locked.bits),
                              static_cast<size_t>(locked.pitch), desc.width, desc.height, colorKey);
  readable->UnlockRect();
  if (copy) copy->Release();
  if (sourceRect) {
    GpuRect asked = *sourceRect;
    Pixels part;
    part.width = static_cast<uint32_t>(asked.right - asked.left);
    part.height = static_cast<uint32_t>(asked.bottom - asked.top);
    for (uint32_t y = 0; y < part.height; ++y) {
      const float* row = whole.rgba.data() + ((static_cast<size_t>(asked.top) + y) * whole.width + asked.left) * 4;
      part.rgba.insert(part.rgba.end(), row, row + static_cast<size_t>(part.width) * 4);
    }
    whole = std::move(part);
  }
  return StoreIntoSurface(dest, destRect, whole, filter);
}

GpuResult GpuxCheckTextureRequirements(GpuDevice* device, uint32_t* width, uint32_t* height, uint32_t* levels,
                                       uint32_t usage, uint32_t* format, uint32_t pool) {
  (void)pool;
  return CheckRequirements(device, width, height, levels, usage, format, kGpuRtypeTexture);
}

GpuResult GpuxCheckCubeTextureRequirements(GpuDevice* device, uint32_t* edge, uint32_t* levels, uint32_t usage,
                                           uint32_t* format, uint32_t pool) {
  (void)pool;
  uint32_t w = edge ? *edge : 256, h = w;
  GpuResult result = CheckRequirements(device, &w, &h, levels, usage, format, kGpuRtypeCubeTexture);
  if (GpuSucceeded(result) && edge) *edge = std::min(w, h);
  return result;
}

const char* GpuxGetPixelShaderProfile(GpuDevice* device) { return device ? device->GetPixelShaderProfile() : ""; }
