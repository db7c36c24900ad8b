// Conversion between pixel memory layouts and float pixels for the image helpers. Packed formats
// are described by their channel masks (little-endian words, as the device keeps them); DXT
// blocks are decoded here and encoded through stb_dxt. Never reads or writes outside the rows
// its callers give.
#include "platform/gpu_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gpu_constants.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>
#pragma GCC diagnostic pop

namespace {

// Luminance formats spread the red mask's value over red, green and blue.
constexpr uint32_t kLuminance = 0x1;
// Channels a format lacks read as 1 (blue of G16R16) rather than 0.
constexpr uint32_t kMissingBlueIsOne = 0x2;

struct PackedFormat {
  uint32_t format;
  uint32_t bytes;
  uint32_t red, green, blue, alpha;
  uint32_t flags;
};

constexpr PackedFormat kPacked[] = {
    {kGpuFmtA8R8G8B8, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0},
    {kGpuFmtX8R8G8B8, 4, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    {kGpuFmtA8B8G8R8, 4, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u, 0},
    {kGpuFmtX8B8G8R8, 4, 0xFF, 0xFF00, 0xFF0000, 0, 0},
    {kGpuFmtR8G8B8, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    {kGpuFmtR5G6B5, 2, 0xF800, 0x7E0, 0x1F, 0, 0},
    {kGpuFmtX1R5G5B5, 2, 0x7C00, 0x3E0, 0x1F, 0, 0},
    {kGpuFmtA1R5G5B5, 2, 0x7C00, 0x3E0, 0x1F, 0x8000, 0},
    {kGpuFmtA4R4G4B4, 2, 0xF00, 0xF0, 0xF, 0xF000, 0},
    {kGpuFmtX4R4G4B4, 2, 0xF00, 0xF0, 0xF, 0, 0},
    {kGpuFmtR3G3B2, 1, 0xE0, 0x1C, 0x3, 0, 0},
    {kGpuFmtA8R3G3B2, 2, 0xE0, 0x1C, 0x3, 0xFF00, 0},
    {kGpuFmtA2B10G10R10, 4, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u, 0},
    {kGpuFmtA2R10G10B10, 4, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u, 0},
    {kGpuFmtG16R16, 4, 0xFFFF, 0xFFFF0000u, 0, 0, kMissingBlueIsOne},
    {kGpuFmtL8, 1, 0xFF, 0, 0, 0, kLuminance},
    {kGpuFmtA8, 1, 0, 0, 0, 0xFF, 0},
    {kGpuFmtA8L8, 2, 0xFF, 0, 0, 0xFF00, kLuminance},
    {kGpuFmtA4L4, 1, 0xF, 0, 0, 0xF0, kLuminance},
    {kGpuFmtL16, 2, 0xFFFF, 0, 0, 0, kLuminance},
};

constexpr uint32_t kWideBytes = 8;  // A16B16G16R16

const PackedFormat* FindPacked(uint32_t format) {
  for (const PackedFormat& p : kPacked)
    if (p.format == format) return &p;
  return nullptr;
}

uint32_t DxtBlockBytes(uint32_t format) { return format == kGpuFmtDxt1 ? 8 : 16; }

uint32_t Shift(uint32_t mask) { return mask ? static_cast<uint32_t>(__builtin_ctz(mask)) : 0; }

float Channel(uint32_t pixel, uint32_t mask) {
  if (!mask) return 0.0f;
  uint32_t shift = Shift(mask);
  return static_cast<float>((pixel & mask) >> shift) / static_cast<float>(mask >> shift);
}

uint32_t Pack(float value, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = Shift(mask);
  uint32_t top = mask >> shift;
  float v = std::clamp(value, 0.0f, 1.0f);
  return (static_cast<uint32_t>(std::lround(v * static_cast<float>(top))) << shift) & mask;
}

uint32_t ReadWord(const uint8_t* p, uint32_t bytes) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

void WriteWord(uint8_t* p, uint32_t bytes, uint32_t v) {
  for (uint32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Color565(uint32_t c, float* out) {
  out[0] = static_cast<float>((c >> 11) & 0x1F) / 31.0f;
  out[1] = static_cast<float>((c >> 5) & 0x3F) / 63.0f;
  out[2] = static_cast<float>(c & 0x1F) / 31.0f;
}

// Colours of one block: `threeColour` is DXT1's mode with transparent black as entry 3.
void DecodeColourBlock(const uint8_t* block, bool allowThreeColour, float colours[4][4], bool* transparent3) {
  uint32_t c0 = ReadWord(block, 2), c1 = ReadWord(block + 2, 2);
  Color565(c0, colours[0]);
  Color565(c1, colours[1]);
  colours[0][3] = colours[1][3] = colours[2][3] = colours[3][3] = 1.0f;
  *transparent3 = false;
  for (int k = 0; k < 3; ++k) {
    if (c0 > c1 || !allowThreeColour) {
      colours[2][k] = (2.0f * colours[0][k] + colours[1][k]) / 3.0f;
      colours[3][k] = (colours[0][k] + 2.0f * colours[1][k]) / 3.0f;
    } else {
      colours[2][k] = (colours[0][k] + colours[1][k]) / 2.0f;
      colours[3][k] = 0.0f;
    }
  }
  if (!(c0 > c1 || !allowThreeColour)) {
    colours[3][3] = 0.0f;
    *transparent3 = true;
  }
}

void DecodeDxtBlock(uint32_t format, const uint8_t* block, float out[16][4]) {
  const uint8_t* colourBlock = format == kGpuFmtDxt1 ? block : block + 8;
  float colours[4][4];
  bool transparent3 = false;
  DecodeColourBlock(colourBlock, format == kGpuFmtDxt1, colours, &transparent3);
  uint32_t indices = ReadWord(colourBlock + 4, 4);
  for (int i = 0; i < 16; ++i) {
    uint32_t k = (indices >> (2 * i)) & 3;
    std::memcpy(out[i], colours[k], sizeof(colours[k]));
  }
  if (format == kGpuFmtDxt2 || format == kGpuFmtDxt3) {
    for (int i = 0; i < 16; ++i) {
      uint32_t a = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
      out[i][3] = static_cast<float>(a) / 15.0f;
    }
  } else if (format == kGpuFmtDxt4 || format == kGpuFmtDxt5) {
    float a0 = block[0] / 255.0f, a1 = block[1] / 255.0f;
    float alphas[8] = {a0, a1};
    if (block[0] > block[1]) {
      for (int k = 1; k < 7; ++k) alphas[k + 1] = ((7 - k) * a0 + k * a1) / 7.0f;
    } else {
      for (int k = 1; k < 5; ++k) alphas[k + 1] = ((5 - k) * a0 + k * a1) / 5.0f;
      alphas[6] = 0.0f;
      alphas[7] = 1.0f;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = alphas[(bits >> (3 * i)) & 7];
  }
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

uint16_t To565(const float* c) {
  auto q = [](float v, float top) { return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * top)); };
  return static_cast<uint16_t>(q(c[0], 31) << 11 | q(c[1], 63) << 5 | q(c[2], 31));
}

// A DXT1 block with transparent pixels (alpha below one half) uses the three-colour mode:
// entry 3 is transparent black, the ends are the darkest and brightest opaque pixels.
void EncodeTransparentDxt1(const float in[16][4], uint8_t* block) {
  int darkest = -1, brightest = -1;
  auto light = [&](int i) { return 0.299f * in[i][0] + 0.587f * in[i][1] + 0.114f * in[i][2]; };
  for (int i = 0; i < 16; ++i) {
    if (in[i][3] < 0.5f) continue;
    if (darkest < 0 || light(i) < light(darkest)) darkest = i;
    if (brightest < 0 || light(i) > light(brightest)) brightest = i;
  }
  uint16_t c0 = darkest < 0 ? 0 : To565(in[darkest]), c1 = brightest < 0 ? 0 : To565(in[brightest]);
  if (c0 > c1) std::swap(c0, c1);  // c0 <= c1 selects the three-colour mode
  block[0] = static_cast<uint8_t>(c0);
  block[1] = static_cast<uint8_t>(c0 >> 8);
  block[2] = static_cast<uint8_t>(c1);
  block[3] = static_cast<uint8_t>(c1 >> 8);
  float colours[4][4];
  bool transparent3 = false;
  DecodeColourBlock(block, true, colours, &transparent3);
  uint32_t indices = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t best = 3;
    if (in[i][3] >= 0.5f) {
      float bestDistance = 0;
      for (uint32_t k = 0; k < 3; ++k) {
        float d = 0;
        for (int c = 0; c < 3; ++c) d += (in[i][c] - colours[k][c]) * (in[i][c] - colours[k][c]);
        if (k == 0 || d < bestDistance) {
          best = k;
          bestDistance = d;
        }
      }
    }
    indices |= best << (2 * i);
  }
  for (int i = 0; i < 4; ++i) block[4 + i] = static_cast<uint8_t>(indices >> (8 * i));
}

void EncodeDxtBlock(uint32_t format, const float in[16][4], uint8_t* block) {
  unsigned char rgba[64];
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 4; ++k) rgba[i * 4 + k] = ToByte(in[i][k]);
  bool transparent = false;
  for (int i = 0; i < 16; ++i) transparent = transparent || in[i][3] < 0.5f;
  if (format == kGpuFmtDxt1 && transparent) {
    EncodeTransparentDxt1(in, block);
  } else if (format == kGpuFmtDxt1) {
    stb_compress_dxt_block(block, rgba, 0, STB_DXT_HIGHQUAL);
  } else if (format == kGpuFmtDxt2 || format == kGpuFmtDxt3) {
    for (int i = 0; i < 8; ++i) {
      uint32_t lo = (rgba[(2 * i) * 4 + 3] * 15 + 127) / 255, hi = (rgba[(2 * i + 1) * 4 + 3] * 15 + 127) / 255;
      block[i] = static_cast<uint8_t>(lo | hi << 4);
    }
    stb_compress_dxt_block(block + 8, rgba, 0, STB_DXT_HIGHQUAL);
  } else {
    stb_compress_dxt_block(block, rgba, 1, STB_DXT_HIGHQUAL);
  }
}

}  // namespace

bool GpuPixelFormatIsDxt(uint32_t format) {
  return format == kGpuFmtDxt1 || format == kGpuFmtDxt2 || format == kGpuFmtDxt3 || format == kGpuFmtDxt4 ||
         format == kGpuFmtDxt5;
}

bool GpuPixelFormatKnown(uint32_t format) {
  return FindPacked(format) || format == kGpuFmtA16B16G16R16 || GpuPixelFormatIsDxt(format);
}

bool GpuPixelFormatHasAlpha(uint32_t format) {
  if (const PackedFormat* p = FindPacked(format)) return p->alpha != 0;
  return format == kGpuFmtA16B16G16R16 || (GpuPixelFormatIsDxt(format) && format != kGpuFmtDxt1);
}

size_t GpuPixelRowBytes(uint32_t format, uint32_t width) {
  if (GpuPixelFormatIsDxt(format)) return static_cast<size_t>((width + 3) / 4) * DxtBlockBytes(format);
  if (format == kGpuFmtA16B16G16R16) return static_cast<size_t>(width) * kWideBytes;
  const PackedFormat* p = FindPacked(format);
  return p ? static_cast<size_t>(width) * p->bytes : 0;
}

uint32_t GpuPixelRowCount(uint32_t format, uint32_t height) {
  return GpuPixelFormatIsDxt(format) ? (height + 3) / 4 : height;
}

size_t GpuPixelLevelBytes(uint32_t format, uint32_t width, uint32_t height) {
  return GpuPixelRowBytes(format, width) * GpuPixelRowCount(format, height);
}

bool GpuPixelsDecode(uint32_t format, const uint8_t* bits, size_t pitch, uint32_t width, uint32_t height,
                     float* rgba) {
  if (GpuPixelFormatIsDxt(format)) {
    float block[16][4];
    for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
      for (uint32_t bx = 0; bx < (width + 3) / 4; ++bx) {
        DecodeDxtBlock(format, bits + by * pitch + bx * DxtBlockBytes(format), block);
        for (uint32_t i = 0; i < 16; ++i) {
          uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
          if (x < width && y < height) std::memcpy(rgba + (static_cast<size_t>(y) * width + x) * 4, block[i], 16);
        }
      }
    }
    return true;
  }
  if (format == kGpuFmtA16B16G16R16) {
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = bits + y * pitch + x * kWideBytes;
        float* out = rgba + (static_cast<size_t>(y) * width + x) * 4;
        for (int k = 0; k < 4; ++k) out[k] = static_cast<float>(ReadWord(p + 2 * k, 2)) / 65535.0f;
      }
    }
    return true;
  }
  const PackedFormat* p = FindPacked(format);
  if (!p) return false;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t v = ReadWord(bits + y * pitch + x * p->bytes, p->bytes);
      float* out = rgba + (static_cast<size_t>(y) * width + x) * 4;
      out[0] = Channel(v, p->red);
      out[1] = (p->flags & kLuminance) ? out[0] : Channel(v, p->green);
      out[2] = (p->flags & kLuminance) ? out[0] : (p->flags & kMissingBlueIsOne) ? 1.0f : Channel(v, p->blue);
      out[3] = p->alpha ? Channel(v, p->alpha) : 1.0f;
    }
  }
  return true;
}

bool GpuPixelsEncode(uint32_t format, const float* rgba, uint32_t width, uint32_t height, uint8_t* bits,
                     size_t pitch) {
  if (GpuPixelFormatIsDxt(format)) {
    float block[16][4];
    for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
      for (uint32_t bx = 0; bx < (width + 3) / 4; ++bx) {
        // Pixels beyond a small level's edge repeat its last row and column.
        for (uint32_t i = 0; i < 16; ++i) {
          uint32_t x = std::min(bx * 4 + i % 4, width - 1), y = std::min(by * 4 + i / 4, height - 1);
          std::memcpy(block[i], rgba + (static_cast<size_t>(y) * width + x) * 4, 16);
        }
        EncodeDxtBlock(format, block, bits + by * pitch + bx * DxtBlockBytes(format));
      }
    }
    return true;
  }
  if (format == kGpuFmtA16B16G16R16) {
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        uint8_t* p = bits + y * pitch + x * kWideBytes;
        const float* in = rgba + (static_cast<size_t>(y) * width + x) * 4;
        for (int k = 0; k < 4; ++k) WriteWord(p + 2 * k, 2, Pack(in[k], 0xFFFF));
      }
    }
    return true;
  }
  const PackedFormat* p = FindPacked(format);
  if (!p) return false;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const float* in = rgba + (static_cast<size_t>(y) * width + x) * 4;
      float red = in[0];
      // Grey keeps the eye's weighting of the three colours.
      if (p->flags & kLuminance) red = 0.299f * in[0] + 0.587f * in[1] + 0.114f * in[2];
      uint32_t v = Pack(red, p->red) | Pack(in[1], p->green) | Pack(in[2], p->blue) | Pack(in[3], p->alpha);
      // Bits no channel owns (the X of X8R8G8B8) are written as ones, as the device's own fills do.
      uint32_t owned = p->red | p->green | p->blue | p->alpha;
      uint32_t all = p->bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * p->bytes)) - 1;
      if (!(p->flags & kLuminance)) v |= all & ~owned;
      WriteWord(bits + y * pitch + x * p->bytes, p->bytes, v);
    }
  }
  return true;
}

void GpuPixelsResample(const float* source, uint32_t sourceWidth, uint32_t sourceHeight, float* dest,
                       uint32_t destWidth, uint32_t destHeight, bool linear) {
  if (sourceWidth == destWidth && sourceHeight == destHeight) {
    std::memcpy(dest, source, static_cast<size_t>(destWidth) * destHeight * 16);
    return;
  }
  // Shrinking by whole factors averages each source box.
  if (linear && sourceWidth % destWidth == 0 && sourceHeight % destHeight == 0) {
    uint32_t fx = sourceWidth / destWidth, fy = sourceHeight / destHeight;
    for (uint32_t y = 0; y < destHeight; ++y) {
      for (uint32_t x = 0; x < destWidth; ++x) {
        float sum[4] = {0, 0, 0, 0};
        for (uint32_t j = 0; j < fy; ++j)
          for (uint32_t i = 0; i < fx; ++i)
            for (int k = 0; k < 4; ++k)
              sum[k] += source[((static_cast<size_t>(y) * fy + j) * sourceWidth + x * fx + i) * 4 + k];
        for (int k = 0; k < 4; ++k)
          dest[(static_cast<size_t>(y) * destWidth + x) * 4 + k] = sum[k] / static_cast<float>(fx * fy);
      }
    }
    return;
  }
  for (uint32_t y = 0; y < destHeight; ++y) {
    float sy = (static_cast<float>(y) + 0.5f) * sourceHeight / destHeight - 0.5f;
    for (uint32_t x = 0; x < destWidth; ++x) {
      float sx = (static_cast<float>(x) + 0.5f) * sourceWidth / destWidth - 0.5f;
      float* out = dest + (static_cast<size_t>(y) * destWidth + x) * 4;
      if (!linear) {
        uint32_t px = std::min(static_cast<uint32_t>(std::max(0.0f, std::round(sx))), sourceWidth - 1);
        uint32_t py = std::min(static_cast<uint32_t>(std::max(0.0f, std::round(sy))), sourceHeight - 1);
        std::memcpy(out, source + (static_cast<size_t>(py) * sourceWidth + px) * 4, 16);
        continue;
      }
      float cx = std::clamp(sx, 0.0f, static_cast<float>(sourceWidth - 1));
      float cy = std::clamp(sy, 0.0f, static_cast<float>(sourceHeight - 1));
      uint32_t x0 = static_cast<uint32_t>(cx), y0 = static_cast<uint32_t>(cy);
      uint32_t x1 = std::min(x0 + 1, sourceWidth - 1), y1 = std::min(y0 + 1, sourceHeight - 1);
      float tx = cx - static_cast<float>(x0), ty = cy - static_cast<float>(y0);
      for (int k = 0; k < 4; ++k) {
        float a = source[(static_cast<size_t>(y0) * sourceWidth + x0) * 4 + k];
        float b = source[(static_cast<size_t>(y0) * sourceWidth + x1) * 4 + k];
        float c = source[(static_cast<size_t>(y1) * sourceWidth + x0) * 4 + k];
        float d = source[(static_cast<size_t>(y1) * sourceWidth + x1) * 4 + k];
        out[k] = (a * (1 - tx) + b * tx) * (1 - ty) + (c * (1 - tx) + d * tx) * ty;
      }
    }
  }
}

void GpuPixelsHalve(const float* source, uint32_t width, uint32_t height, float* dest) {
  uint32_t w = std::max(1u, width / 2), h = std::max(1u, height / 2);
  uint32_t fx = width > 1 ? 2 : 1, fy = height > 1 ? 2 : 1;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (uint32_t j = 0; j < fy; ++j)
        for (uint32_t i = 0; i < fx; ++i)
          for (int k = 0; k < 4; ++k) sum[k] += source[((static_cast<size_t>(y) * fy + j) * width + x * fx + i) * 4 + k];
      for (int k = 0; k < 4; ++k) dest[(static_cast<size_t>(y) * w + x) * 4 + k] = sum[k] / static_cast<float>(fx * fy);
    }
  }
}
