// Image records and picture files: the size arithmetic of new records, their system-memory side
// (update rectangles, mask buffers, mirror and row tables), release by count, and the picture
// loader with its extension retries, the "dds\%s" texture folder, the TGA and JPEG decoders over
// the GPU layer's image stand-in and the default image of a missing picture's kind. Called by
// the texture table, fonts, logo and loading screens and the device set-up. Every side table is
// sized from what it holds; every file is checked against its length before it is read.
#include "render/image_records.h"

#include <cstdio>
#include <cstring>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_image.h"
#include "platform/os.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/render.h"
#include "render/surface_ops.h"

namespace {

constexpr uint32_t kTgaHeaderBytes = 18;
constexpr uint32_t kMaxRowBytes = 0xFFFF;  // rowBytes and pitch are 16-bit fields

ImageFileLoader gImageFileLoader = nullptr;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() {
  DeviceRecord* record = Record();
  return record ? record->device : nullptr;
}

void* AllocZeroed(size_t bytes) {
  void* p = MemAlloc(bytes, 0);
  if (p) std::memset(p, 0, bytes);
  return p;
}

template <typename T>
void FreeTable(T*& table, uint32_t& bytes) {
  if (table) MemFree(table, bytes, 0);
  table = nullptr;
  bytes = 0;
}

// The 1-bit transparency mask's row: the width padded to 16 pixels, in bytes.
uint32_t TransparencyRowBytes(const DisplaySurface* r) { return ((static_cast<uint32_t>(r->width) + 15) >> 3) & ~1u; }

bool OwnsMask(const DisplaySurface* r) {
  if (r->flags & kSurfaceNoMask) return false;
  return (r->flags & kSurfaceChunky) || r->bitsPerPixel != 1;
}

// Every plane's bits ORed into one plane: a pixel is set when any of its bits is.
void CombinePlanes(DisplaySurface* r) {
  const uint32_t rowBytes = r->rowBytes;
  for (int32_t y = 0; y < r->height; ++y)
    for (uint32_t x = 0; x < rowBytes; ++x) {
      uint8_t bits = 0;
      for (int32_t p = 0; p < r->bitsPerPixel; ++p)
        bits |= r->pixels[static_cast<size_t>(p) * r->planeStep + static_cast<size_t>(y) * r->pitch + x];
      r->maskBuffer[static_cast<size_t>(y) * rowBytes + x] |= bits;
    }
}

// Bit (7 - k) of a row's byte j is set when pixel 8j + k is not zero (tested on its first byte,
// or its 16-bit value for two bytes per pixel).
void BuildTransparencyMask(DisplaySurface* r) {
  const uint32_t maskRow = TransparencyRowBytes(r);
  const int32_t bpp = r->bytesPerPixel;
  for (int32_t y = 0; y < r->height; ++y) {
    const uint8_t* row = r->pixels + static_cast<size_t>(y) * r->pitch;
    uint8_t* mask = r->maskBuffer + static_cast<size_t>(y) * maskRow;
    for (int32_t x = 0; x < r->width; ++x) {
      const uint8_t* p = row + static_cast<size_t>(x) * bpp;
      const bool set = bpp == 2 ? (p[0] | p[1]) != 0 : p[0] != 0;
      if (set) mask[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
}

bool EndsWith(const char* text, size_t length, const char* suffix, bool anyCase) {
  const size_t n = std::strlen(suffix);
  if (length < n) return false;
  const char* tail = text + length - n;
  for (size_t i = 0; i < n; ++i) {
    const char a = tail[i], b = suffix[i];
    if (anyCase ? (a | 0x20) != (b | 0x20) : a != b) return false;
  }
  return true;
}

// Specular maps are named with this ending; a missing one stands in as plain white.
constexpr char kSpecularSuffix[] = {'s', 'p', 'e', 'c', '\0'};

// The default image a missing picture's name asks for.
DisplaySurface* DefaultImageFor(const char* path) {
  const size_t n = std::strlen(path);
  int slot = kImageNoneBlack;
  if (EndsWith(path, n, "diff", false)) {
    slot = kImageNoneGray;
  } else if (EndsWith(path, n, "bump", false)) {
    const DeviceRecord* record = Record();
    slot = record && record->shader20 ? kImageNoneNormal : kImageNoneNormalLow;
  } else if (EndsWith(path, n, kSpecularSuffix, false)) {
    slot = kImageNoneWhite;
  } else if (EndsWith(path, n, "occl", false)) {
    slot = kImageNoneOcclDecal;
  } else if (EndsWith(path, n, "envmap", false) || EndsWith(path, n, "envi", false)) {
    slot = kImageEnvi;
  }
  return gLookupImages[slot];
}

uint32_t TextureFormat(uint32_t flags, bool alpha) {
  if (flags & kSurfaceDxt1) return kGpuFmtDxt1;
  const DeviceRecord* record = Record();
  const PixelFormatDesc* desc = alpha ? record->alphaFormat : record->opaqueFormat;
  return desc ? FormatTableCode(desc->formatIndex) : kGpuFmtA8R8G8B8;
}

// A texture of the file's picture at that size, wrapped in a new record.
DisplaySurface* TextureFromMemory(const uint8_t* data, size_t size, uint32_t width, uint32_t height, uint32_t format,
                                  uint32_t flags, int32_t extra) {
  GpuDevice* device = Device();
  const uint32_t pool = (flags & (kSurfaceDefaultPool2 | kSurfaceDefaultPool)) ? kGpuPoolDefault : kGpuPoolManaged;
  const uint32_t levels = extra > 0 ? static_cast<uint32_t>(extra) : kGpuxDefault;
  GpuTexture* texture = nullptr;
  if (GpuFailed(GpuRetry([&] {
        return GpuxCreateTextureFromFileInMemoryEx(device, data, size, width, height, levels, 0, format, pool,
                                                   kGpuxDefault, kGpuxDefault, 0, nullptr, &texture);
      })))
    return nullptr;
  GpuSurface* surface = nullptr;
  if (GpuFailed(texture->GetSurfaceLevel(0, &surface))) surface = nullptr;
  return WrapDeviceSurface(texture, surface, kSurfaceWrappedTexture);
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The picture bytes of a plain true-colour TGA must all be in the file; a run-length coded one
// needs at least one byte after its header and identification field.
bool TgaSizeFits(const uint8_t* h, size_t size) {
  const uint32_t width = Le16(h + 12), height = Le16(h + 14);
  if (width == 0 || height == 0) return false;
  const size_t start = kTgaHeaderBytes + h[0];
  if (h[2] == 2) return start + static_cast<size_t>(width) * height * (h[16] / 8u) <= size;
  return start < size;
}

// The file loaders in their order; null when none reads the picture.
DisplaySurface* LoadFromFiles(const char* path, uint32_t flags, int32_t extra, bool* done) {
  *done = false;
  if (gImageFileLoader) return gImageFileLoader(path, flags);
  const size_t n = std::strlen(path);
  const bool jpg = EndsWith(path, n, ".jpg", true);
  if (jpg || EndsWith(path, n, ".tga", true)) {
    DisplaySurface* record = jpg ? LoadJpgImage(path, flags, extra) : LoadTgaImage(path, flags, extra);
    if (record) return record;
    // Without its extension the name is tried by every loader, and the defaults apply to it.
    char* bare = ReplaceStringN(n - 4, nullptr, path);
    if (!bare) return nullptr;
    *done = true;
    DisplaySurface* retried = LoadImageFile(bare, flags, 0, extra);
    FreeString(bare);
    return retried;
  }
  const char* slash = std::strrchr(path, '\\');
  const char* forward = std::strrchr(path, '/');
  if (!slash || (forward && forward > slash)) slash = forward;
  // Pictures on the desktop are the user's own and never come from the texture folder.
  if (slash && !std::strstr(path, "\\Desktop\\")) {
    const ProductRecord* product = gSystem && gSystem->product ? gSystem->product : &kProductRecord;
    const char* pattern = product->ddsTemplate;
    char folderPath[kOsMaxPath];
    if (std::snprintf(folderPath, sizeof folderPath, pattern, slash + 1) < static_cast<int>(sizeof folderPath))
      if (DisplaySurface* record = LoadTextureFile(folderPath, flags, extra)) return record;
  }
  if (DisplaySurface* record = LoadTextureFile(path, flags, extra)) return record;
  if (DisplaySurface* record = LoadTgaImage(path, flags, extra)) return record;
  return LoadJpgImage(path, flags, extra);
}

}  // namespace

DisplaySurface* CreateImageHandle(int32_t bits, int32_t width, int32_t height, uint32_t flags) {
  if (width < 1 || height < 1 || width > 0x7FFF || height > 0x7FFF) return nullptr;
  if (flags & kSurface16Bit) {
    bits = 16;
  } else if (flags & kSurface24Bit) {
    bits = 24;
  } else if (flags & kSurface32Bit) {
    bits = 32;
  } else if (bits == 16) {
    flags |= kSurface16Bit;
  } else if (bits == 24) {
    flags |= kSurface24Bit;
  } else if (bits == 32) {
    flags |= kSurface32Bit;
  }
  if (bits < 1 || bits > 32) return nullptr;
  const bool chunky = flags & kSurfaceChunky;
  const uint32_t bytesPerPixel = (static_cast<uint32_t>(bits) + 7) / 8;
  const uint32_t bitsPerPixel = chunky ? bytesPerPixel * 8 : static_cast<uint32_t>(bits);
  const uint32_t w = ((static_cast<uint32_t>(width) + 15) >> 4) * 2;
  const uint32_t rowBytes = w * (chunky ? bytesPerPixel * 8 : 1);
  const uint32_t pitch = (flags & kSurfacePlanar) && !chunky ? bitsPerPixel * rowBytes : rowBytes;
  // Rows wider than the 16-bit fields hold cannot be addressed.
  if (pitch > kMaxRowBytes) return nullptr;
  auto* record = static_cast<DisplaySurface*>(AllocZeroed(sizeof(DisplaySurface)));
  if (!record) return nullptr;
  record->flags = flags;
  record->width = static_cast<int16_t>(width);
  record->height = static_cast<int16_t>(height);
  record->bytesPerPixel = static_cast<int16_t>(bytesPerPixel);
  record->bitsPerPixel = static_cast<int16_t>(bitsPerPixel);
  record->rowBytes = static_cast<uint16_t>(rowBytes);
  record->pitch = static_cast<uint16_t>(pitch);
  record->planeBytes = w * static_cast<uint32_t>(height);
  record->planeStep = (flags & (kSurfaceChunky | kSurfacePlanar)) ? rowBytes : record->planeBytes;
  if ((!(flags & kSurfaceNoDevice) && !CreateImageSurface(record)) || !BuildImageHandle(record)) {
    ReleaseImageHandle(&record);
    return nullptr;
  }
  return record;
}

uint32_t MaskBufferBytes(const DisplaySurface* r) {
  if (!r || !r->maskBuffer || !OwnsMask(r)) return 0;
  const uint32_t row = (r->flags & kSurfaceChunky) ? TransparencyRowBytes(r) : r->rowBytes;
  return row * static_cast<uint32_t>(r->height > 0 ? r->height : 0);
}

bool BuildImageHandle(DisplaySurface* r) {
  if (!r) return false;
  // A second build replaces what the first made.
  FreeSurfaceBuffers(r);
  const bool small = r->flags & kSurfaceSmall;
  if (!small && (r->flags & kSurfaceUpdateRects)) {
    const uint32_t bytes = static_cast<uint32_t>(GetDisplayListLimits().maxRects + 1) * sizeof(UpdateRect);
    r->updateRects = static_cast<UpdateRect*>(AllocZeroed(bytes));
    if (!r->updateRects) return false;
    r->updateBytes = bytes;
  } else {
    r->flags &= ~kSurfaceUpdateRects;
  }
  const bool chunky = r->flags & kSurfaceChunky;
  if (!(r->flags & kSurfaceNoMask)) {
    if (!chunky && r->bitsPerPixel == 1) {
      r->maskBuffer = r->pixels;
    } else if (r->pixels) {
      // Without pixels there is nothing to take the mask from yet.
      const uint32_t row = chunky ? TransparencyRowBytes(r) : r->rowBytes;
      r->maskBuffer = static_cast<uint8_t*>(AllocZeroed(static_cast<size_t>(row) * r->height));
      if (!r->maskBuffer) {
        FreeSurfaceBuffers(r);
        return false;
      }
      if (chunky) {
        BuildTransparencyMask(r);
      } else {
        CombinePlanes(r);
      }
    }
  }
  if (small) return true;
  if (chunky) {
    if (!(r->flags & kSurfaceRowTable) || BuildSurfaceTables(r)) return true;
    FreeSurfaceBuffers(r);
    return false;
  }
  if (r->flags & kSurfaceRowTable) {
    const uint32_t bytes = static_cast<uint32_t>(r->height) * sizeof(uint32_t);
    r->rowOffsets = static_cast<uint32_t*>(MemAlloc(bytes, 0));
    if (!r->rowOffsets) {
      FreeSurfaceBuffers(r);
      return false;
    }
    r->rowOffsetBytes = bytes;
    for (int32_t y = 0; y < r->height; ++y) r->rowOffsets[y] = static_cast<uint32_t>(r->pitch) * y;
  }
  return true;
}

bool BuildSurfaceTables(DisplaySurface* r) {
  if (!r || (r->flags & kSurfaceSmall)) return false;
  FreeSurfaceTables(r);
  const uint32_t width = static_cast<uint32_t>(r->width > 0 ? r->width : 0);
  const uint32_t height = static_cast<uint32_t>(r->height > 0 ? r->height : 0);
  r->mirrorX = static_cast<uint16_t*>(MemAlloc(width * sizeof(uint16_t), 0));
  if (r->mirrorX) r->mirrorXBytes = width * sizeof(uint16_t);
  r->mirrorY = static_cast<uint16_t*>(MemAlloc(height * sizeof(uint16_t), 0));
  if (r->mirrorY) r->mirrorYBytes = height * sizeof(uint16_t);
  r->rowOffsets = static_cast<uint32_t*>(MemAlloc(height * sizeof(uint32_t), 0));
  if (r->rowOffsets) r->rowOffsetBytes = height * sizeof(uint32_t);
  if (!r->mirrorX || !r->mirrorY || !r->rowOffsets) {
    FreeSurfaceTables(r);
    return false;
  }
  for (uint32_t i = 0; i < width; ++i) r->mirrorX[i] = static_cast<uint16_t>(width - i);
  for (uint32_t i = 0; i < height; ++i) {
    r->mirrorY[i] = static_cast<uint16_t>(height - i);
    r->rowOffsets[i] = static_cast<uint32_t>(r->pitch) * i;
  }
  return true;
}

void FreeSurfaceTables(DisplaySurface* r) {
  if (!r) return;
  FreeTable(r->mirrorX, r->mirrorXBytes);
  FreeTable(r->mirrorY, r->mirrorYBytes);
  FreeTable(r->rowOffsets, r->rowOffsetBytes);
}

void FreeSurfaceBuffers(DisplaySurface* r) {
  if (!r) return;
  if (const uint32_t bytes = MaskBufferBytes(r)) MemFree(r->maskBuffer, bytes, 0);
  r->maskBuffer = nullptr;
  // A small surface's rectangles and tables belong to whoever set them up.
  if (r->flags & kSurfaceSmall) return;
  FreeTable(r->updateRects, r->updateBytes);
  FreeSurfaceTables(r);
}

void SetSurfaceName(DisplaySurface* r, const char* name) {
  if (r) r->name = ReplaceString(const_cast<char*>(r->name), name);
}

int32_t ReleaseImageHandle(DisplaySurface** slot) {
  if (!slot || !*slot) return -1;
  DisplaySurface* record = *slot;
  *slot = nullptr;
  if (--record->refCount >= 1) return record->refCount;
  DisplayListFree(record);
  // The buffers go first: a mask may be the pixel buffer the device release lets go of.
  FreeSurfaceBuffers(record);
  ReleaseImageSurface(record);
  FreeString(const_cast<char*>(record->name));
  MemFree(record, sizeof(DisplaySurface), 0);
  return 0;
}

void SetImageFileLoader(ImageFileLoader loader) { gImageFileLoader = loader; }

uint32_t PictureLoadFlags(uint32_t format, int32_t depth) {
  uint32_t flags = format;
  if (depth < 24) {
    flags = (flags & ~kLoad24Bit) | kLoad16Bit;
  } else if (depth < 32) {
    flags = (flags & ~kLoad16Bit) | kLoad24Bit;
  } else {
    flags = (flags & ~(kLoad16Bit | kLoad24Bit)) | kLoad32Bit;
  }
  if (!(flags & kLoadKeep)) flags |= kLoadFlag8000000;
  return flags;
}

DisplaySurface* LoadImageFile(const char* path, uint32_t flags, int32_t reserved, int32_t extra) {
  (void)reserved;
  if (!path) return nullptr;
  bool done = false;
  DisplaySurface* record = LoadFromFiles(path, flags, extra, &done);
  if (done) return record;  // the retry without the extension counted it
  if (!record) {
    record = DefaultImageFor(path);
    if (!record) return nullptr;
    record->flags |= kSurfaceDefaultImage;
  }
  ++record->refCount;
  return record;
}

DisplaySurface* LoadImageFileArgs(int32_t extra, int32_t reserved, uint32_t flags, const char* path) {
  return LoadImageFile(path, flags, reserved, extra);
}

DisplaySurface* LoadTgaImage(const char* path, uint32_t flags, int32_t extra) {
  if (!path || !Device()) return nullptr;
  auto* data = reinterpret_cast<uint8_t*>(LoadGameFile(path, "tga", false));
  if (!data) return nullptr;
  const size_t size = gLastReadSize;
  const uint8_t* h = data;
  const bool accepted = size >= kTgaHeaderBytes && h[1] != 1 && (h[2] == 2 || h[2] == 10) &&
                        (h[16] == 8 || h[16] == 16 || h[16] == 24 || h[16] == 32) &&
                        ((h[17] & 0xF) == 0 || (h[17] & 0xF) == 8) && TgaSizeFits(h, size);
  DisplaySurface* record = nullptr;
  if (accepted)
    record = TextureFromMemory(data, size, Le16(h + 12), Le16(h + 14), TextureFormat(flags, h[16] == 32), flags, extra);
  MemFree(data, size, 0);
  return record;
}

DisplaySurface* LoadJpgImage(const char* path, uint32_t flags, int32_t extra) {
  GpuDevice* device = Device();
  if (!path || !device) return nullptr;
  auto* data = reinterpret_cast<uint8_t*>(LoadGameFile(path, "jpg", false));
  if (!data) return nullptr;
  const size_t size = gLastReadSize;
  const uint32_t format = TextureFormat(flags, false);
  DisplaySurface* record = nullptr;
  GpuxImageInfo info{};
  if (GpuSucceeded(GpuxGetImageInfoFromFileInMemory(data, size, &info))) {
    if (flags & kSurfaceTexture) {
      record = TextureFromMemory(data, size, info.width, info.height, format, flags, extra);
    } else {
      const uint32_t pool = (flags & kSurfaceDefaultPool2) ? kGpuPoolDefault : kGpuPoolSystemMem;
      GpuSurface* surface = nullptr;
      if (GpuSucceeded(GpuRetry([&] {
            return device->CreateOffscreenPlainSurface(info.width, info.height, format, pool, &surface);
          }))) {
        if (GpuSucceeded(GpuRetry([&] {
              return GpuxLoadSurfaceFromFileInMemory(surface, nullptr, data, size, nullptr, kGpuxDefault, 0, nullptr);
            }))) {
          record = WrapDeviceSurface(nullptr, surface, 0);
        } else {
          surface->Release();
        }
      }
    }
  }
  MemFree(data, size, 0);
  return record;
}
