// DDS reader and writer. The file is little-endian: the magic "DDS ", a 124-byte header with a
// 32-byte pixel-format block, then each face's mip chain from the largest level. Pixel formats
// are told by their FOURCC or by bit count and channel masks.
#include "platform/gpu_dds.h"

#include <cstring>

#include "platform/gpu_constants.h"
#include "platform/gpu_pixels.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kPixelFormatSize = 32;

constexpr uint32_t kFlagCaps = 0x1;
constexpr uint32_t kFlagHeight = 0x2;
constexpr uint32_t kFlagWidth = 0x4;
constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kFlagPixelFormat = 0x1000;
constexpr uint32_t kFlagMipMapCount = 0x20000;
constexpr uint32_t kFlagLinearSize = 0x80000;

constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfAlpha = 0x2;
constexpr uint32_t kPfFourCc = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;

constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCapsTexture = 0x1000;
constexpr uint32_t kCapsMipMap = 0x400000;
constexpr uint32_t kCaps2AllFaces = 0xFC00;
constexpr uint32_t kCaps2Volume = 0x200000;

// Header field offsets from the start of the file.
constexpr size_t kOffFlags = 8, kOffHeight = 12, kOffWidth = 16, kOffPitch = 20, kOffMipCount = 28;
constexpr size_t kOffPfSize = 76, kOffPfFlags = 80, kOffFourCc = 84, kOffBitCount = 88;
constexpr size_t kOffRedMask = 92, kOffGreenMask = 96, kOffBlueMask = 100, kOffAlphaMask = 104;
constexpr size_t kOffCaps = 108, kOffCaps2 = 112;

struct MaskFormat {
  uint32_t format;
  uint32_t pfFlags;  // kPfRgb, kPfLuminance or kPfAlpha, with kPfAlphaPixels when alpha is kept
  uint32_t bits;
  uint32_t red, green, blue, alpha;
};

constexpr MaskFormat kMaskFormats[] = {
    {kGpuFmtA8R8G8B8, kPfRgb | kPfAlphaPixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    {kGpuFmtX8R8G8B8, kPfRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {kGpuFmtA8B8G8R8, kPfRgb | kPfAlphaPixels, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
    {kGpuFmtX8B8G8R8, kPfRgb, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {kGpuFmtR8G8B8, kPfRgb, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {kGpuFmtR5G6B5, kPfRgb, 16, 0xF800, 0x7E0, 0x1F, 0},
    {kGpuFmtA1R5G5B5, kPfRgb | kPfAlphaPixels, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {kGpuFmtX1R5G5B5, kPfRgb, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {kGpuFmtA4R4G4B4, kPfRgb | kPfAlphaPixels, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {kGpuFmtX4R4G4B4, kPfRgb, 16, 0xF00, 0xF0, 0xF, 0},
    {kGpuFmtR3G3B2, kPfRgb, 8, 0xE0, 0x1C, 0x3, 0},
    {kGpuFmtA2B10G10R10, kPfRgb | kPfAlphaPixels, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u},
    {kGpuFmtA2R10G10B10, kPfRgb | kPfAlphaPixels, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u},
    {kGpuFmtG16R16, kPfRgb, 32, 0xFFFF, 0xFFFF0000u, 0, 0},
    {kGpuFmtL8, kPfLuminance, 8, 0xFF, 0, 0, 0},
    {kGpuFmtA8L8, kPfLuminance | kPfAlphaPixels, 16, 0xFF, 0, 0, 0xFF00},
    {kGpuFmtL16, kPfLuminance, 16, 0xFFFF, 0, 0, 0},
    {kGpuFmtA8, kPfAlpha, 8, 0, 0, 0, 0xFF},
};

// Formats written by their FOURCC field: the DXT codes and the numbered 64-bit format.
bool IsFourCcFormat(uint32_t format) { return GpuPixelFormatIsDxt(format) || format == kGpuFmtA16B16G16R16; }

uint32_t Get32(const uint8_t* bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void Put32(std::vector<uint8_t>* out, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*out)[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t FullChain(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  for (uint32_t side = width > height ? width : height; side > 1; side /= 2) ++levels;
  return levels;
}

uint32_t FormatFromHeader(const uint8_t* bytes) {
  uint32_t flags = Get32(bytes, kOffPfFlags);
  if (flags & kPfFourCc) {
    uint32_t code = Get32(bytes, kOffFourCc);
    return IsFourCcFormat(code) ? code : kGpuFmtUnknown;
  }
  uint32_t bits = Get32(bytes, kOffBitCount);
  uint32_t alpha = (flags & (kPfAlphaPixels | kPfAlpha)) ? Get32(bytes, kOffAlphaMask) : 0;
  for (const MaskFormat& m : kMaskFormats) {
    if (m.bits != bits || (m.pfFlags & ~kPfAlphaPixels) != (flags & (kPfRgb | kPfLuminance | kPfAlpha))) continue;
    if (m.alpha != alpha) continue;
    if ((m.pfFlags & (kPfRgb | kPfLuminance)) && Get32(bytes, kOffRedMask) != m.red) continue;
    if ((m.pfFlags & kPfRgb) && (Get32(bytes, kOffGreenMask) != m.green || Get32(bytes, kOffBlueMask) != m.blue))
      continue;
    return m.format;
  }
  return kGpuFmtUnknown;
}

size_t ChainBytes(uint32_t format, uint32_t width, uint32_t height, uint32_t levels) {
  size_t total = 0;
  for (uint32_t level = 0; level < levels; ++level)
    total += GpuPixelLevelBytes(format, GpuDdsLevelSide(width, level), GpuDdsLevelSide(height, level));
  return total;
}

}  // namespace

uint32_t GpuDdsLevelSide(uint32_t side, uint32_t level) {
  uint32_t v = level >= 32 ? 0 : side >> level;
  return v ? v : 1;
}

bool GpuDdsRead(const uint8_t* bytes, size_t size, GpuDdsLayout* layout) {
  if (!bytes || !layout || size < kGpuDdsHeaderBytes) return false;
  if (Get32(bytes, 0) != kMagic || Get32(bytes, 4) != kHeaderSize || Get32(bytes, kOffPfSize) != kPixelFormatSize)
    return false;
  uint32_t width = Get32(bytes, kOffWidth), height = Get32(bytes, kOffHeight);
  if (width < 1 || height < 1 || width > kGpuDdsMaxSide || height > kGpuDdsMaxSide) return false;
  uint32_t format = FormatFromHeader(bytes);
  if (format == kGpuFmtUnknown) return false;
  uint32_t levels = (Get32(bytes, kOffFlags) & kFlagMipMapCount) ? Get32(bytes, kOffMipCount) : 1;
  if (levels == 0) levels = 1;
  if (levels > FullChain(width, height)) return false;
  uint32_t caps2 = Get32(bytes, kOffCaps2);
  if (caps2 & kCaps2Volume) return false;
  uint32_t faces = 1;
  if (caps2 & kGpuDdsCapsCubeMap) {
    if ((caps2 & kCaps2AllFaces) != kCaps2AllFaces || width != height) return false;
    faces = 6;
  }
  size_t faceBytes = ChainBytes(format, width, height, levels);
  if (faceBytes > (size - kGpuDdsHeaderBytes) / faces) return false;
  *layout = GpuDdsLayout{format, width, height, levels, faces, faceBytes};
  return true;
}

size_t GpuDdsLevelOffset(const GpuDdsLayout& layout, uint32_t face, uint32_t level) {
  return kGpuDdsHeaderBytes + face * layout.faceBytes + ChainBytes(layout.format, layout.width, layout.height, level);
}

bool GpuDdsWrite(uint32_t format, uint32_t width, uint32_t height, uint32_t levels, bool cube,
                 const std::vector<uint8_t>& data, std::vector<uint8_t>* file) {
  if (!file || !GpuPixelFormatKnown(format) || format == kGpuFmtA4L4 || format == kGpuFmtA8R3G3B2) return false;
  if (width < 1 || height < 1 || width > kGpuDdsMaxSide || height > kGpuDdsMaxSide) return false;
  if (levels < 1 || levels > FullChain(width, height) || (cube && width != height)) return false;
  uint32_t faces = cube ? 6 : 1;
  size_t faceBytes = ChainBytes(format, width, height, levels);
  if (data.size() != faceBytes * faces) return false;
  file->assign(kGpuDdsHeaderBytes, 0);
  Put32(file, 0, kMagic);
  Put32(file, 4, kHeaderSize);
  uint32_t flags = kFlagCaps | kFlagHeight | kFlagWidth | kFlagPixelFormat;
  flags |= GpuPixelFormatIsDxt(format) ? kFlagLinearSize : kFlagPitch;
  if (levels > 1) flags |= kFlagMipMapCount;
  Put32(file, kOffFlags, flags);
  Put32(file, kOffHeight, height);
  Put32(file, kOffWidth, width);
  Put32(file, kOffPitch,
        static_cast<uint32_t>(GpuPixelFormatIsDxt(format) ? GpuPixelLevelBytes(format, width, height)
                                                          : GpuPixelRowBytes(format, width)));
  Put32(file, kOffMipCount, levels);
  Put32(file, kOffPfSize, kPixelFormatSize);
  if (IsFourCcFormat(format)) {
    Put32(file, kOffPfFlags, kPfFourCc);
    Put32(file, kOffFourCc, format);
  } else {
    for (const MaskFormat& m : kMaskFormats) {
      if (m.format != format) continue;
      Put32(file, kOffPfFlags, m.pfFlags);
      Put32(file, kOffBitCount, m.bits);
      Put32(file, kOffRedMask, m.red);
      Put32(file, kOffGreenMask, m.green);
      Put32(file, kOffBlueMask, m.blue);
      Put32(file, kOffAlphaMask, m.alpha);
    }
  }
  uint32_t caps = kCapsTexture;
  if (levels > 1) caps |= kCapsComplex | kCapsMipMap;
  if (cube) caps |= kCapsComplex;
  Put32(file, kOffCaps, caps);
  Put32(file, kOffCaps2, cube ? kGpuDdsCapsCubeMap | kCaps2AllFaces : 0);
  file->insert(file->end(), data.begin(), data.end());
  return true;
}
