// DDS files and pixel layouts: files from our writer read back with the layout and pixels they
// were written with (mip chains, cube faces in +X..-Z order, DXT blocks including DXT1's
// transparent entry, 16-bit and grey formats), and damaged headers are refused before any
// pixel is touched.
#include "platform/gpu_dds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gpu_constants.h"
#include "platform/gpu_pixels.h"

namespace {

std::vector<float> Decode(const std::vector<uint8_t>& file, const GpuDdsLayout& layout, uint32_t face,
                          uint32_t level) {
  uint32_t w = GpuDdsLevelSide(layout.width, level), h = GpuDdsLevelSide(layout.height, level);
  std::vector<float> rgba(static_cast<size_t>(w) * h * 4);
  EXPECT_TRUE(GpuPixelsDecode(layout.format, file.data() + GpuDdsLevelOffset(layout, face, level),
                              GpuPixelRowBytes(layout.format, w), w, h, rgba.data()));
  return rgba;
}

void ExpectPixel(const std::vector<float>& rgba, size_t index, float r, float g, float b, float a, float tolerance) {
  EXPECT_NEAR(rgba[index * 4 + 0], r, tolerance) << "pixel " << index;
  EXPECT_NEAR(rgba[index * 4 + 1], g, tolerance) << "pixel " << index;
  EXPECT_NEAR(rgba[index * 4 + 2], b, tolerance) << "pixel " << index;
  EXPECT_NEAR(rgba[index * 4 + 3], a, tolerance) << "pixel " << index;
}

void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}

TEST(GpuDds, MipChainOfTenLevelsReadsBackLevelByLevel) {
  // 512 x 2 ARGB: level k filled with the byte k in every channel.
  std::vector<uint8_t> data;
  for (uint32_t level = 0; level < 10; ++level) {
    uint32_t w = GpuDdsLevelSide(512, level), h = GpuDdsLevelSide(2, level);
    data.insert(data.end(), size_t(w) * h * 4, uint8_t(level * 20));
  }
  std::vector<uint8_t> file;
  ASSERT_TRUE(GpuDdsWrite(kGpuFmtA8R8G8B8, 512, 2, 10, false, data, &file));
  GpuDdsLayout layout{};
  ASSERT_TRUE(GpuDdsRead(file.data(), file.size(), &layout));
  EXPECT_EQ(layout.format, kGpuFmtA8R8G8B8);
  EXPECT_EQ(layout.width, 512u);
  EXPECT_EQ(layout.height, 2u);
  EXPECT_EQ(layout.levels, 10u);
  EXPECT_EQ(layout.faces, 1u);
  for (uint32_t level = 0; level < 10; ++level) {
    std::vector<float> rgba = Decode(file, layout, 0, level);
    EXPECT_EQ(rgba.size(), size_t(GpuDdsLevelSide(512, level)) * GpuDdsLevelSide(2, level) * 4);
    float v = level * 20 / 255.0f;
    ExpectPixel(rgba, rgba.size() / 4 - 1, v, v, v, v, 1e-6f);
  }
}

TEST(GpuDds, CubeFacesComeInPlusXMinusXPlusYMinusYPlusZMinusZOrder) {
  // Each face of a 4x4 X8R8G8B8 cube holds its face number in red.
  std::vector<uint8_t> data;
  for (uint8_t face = 0; face < 6; ++face)
    for (int p = 0; p < 16; ++p) data.insert(data.end(), {0, 0, uint8_t(face * 40), 0xFF});
  std::vector<uint8_t> file;
  ASSERT_TRUE(GpuDdsWrite(kGpuFmtX8R8G8B8, 4, 4, 1, true, data, &file));
  EXPECT_TRUE((file[112] | file[113] << 8) & kGpuDdsCapsCubeMap);  // the caps word at byte 112
  GpuDdsLayout layout{};
  ASSERT_TRUE(GpuDdsRead(file.data(), file.size(), &layout));
  EXPECT_EQ(layout.faces, 6u);
  EXPECT_EQ(layout.format, kGpuFmtX8R8G8B8);
  for (uint32_t face = 0; face < 6; ++face) ExpectPixel(Decode(file, layout, face, 0), 5, face * 40 / 255.0f, 0, 0, 1, 1e-6f);
}

TEST(GpuDds, DecodesBlockAndPackedFormats) {
  struct Case {
    const char* name;
    uint32_t format;
    uint32_t width, height;
    std::vector<uint8_t> data;
    size_t pixel;
    float r, g, b, a;
  };
  std::vector<uint8_t> dxt1;  // 3-colour block (c0 <= c1): pixel 0 is entry 3, transparent black
  Put16(&dxt1, 0x001F);       // blue
  Put16(&dxt1, 0xF800);       // red
  dxt1.insert(dxt1.end(), {0x03, 0x00, 0x00, 0x00});
  std::vector<uint8_t> dxt1Mid = dxt1;
  dxt1Mid[4] = 0x02;  // pixel 0 is entry 2, halfway between blue and red
  std::vector<uint8_t> dxt3 = {0xF0, 0, 0, 0, 0, 0, 0, 0};  // pixel 0 alpha 0, pixel 1 alpha 15
  Put16(&dxt3, 0x07E0);                                    // green
  Put16(&dxt3, 0x0000);
  dxt3.insert(dxt3.end(), {0, 0, 0, 0});
  std::vector<uint8_t> dxt5 = {255, 0, 0x08, 0, 0, 0, 0, 0};  // pixel 1 uses alpha entry 1 (0)
  Put16(&dxt5, 0xFFFF);
  Put16(&dxt5, 0x0000);
  dxt5.insert(dxt5.end(), {0, 0, 0, 0});
  std::vector<uint8_t> r565;
  for (int p = 0; p < 4; ++p) Put16(&r565, 0xF81F);  // red and blue full, green none
  const Case kCases[] = {
      {"dxt1 transparent entry", kGpuFmtDxt1, 4, 4, dxt1, 0, 0, 0, 0, 0},
      {"dxt1 opaque entry", kGpuFmtDxt1, 4, 4, dxt1, 1, 0, 0, 1, 1},
      {"dxt1 middle entry", kGpuFmtDxt1, 4, 4, dxt1Mid, 0, 0.5f, 0, 0.5f, 1},
      {"dxt3 explicit alpha 0", kGpuFmtDxt3, 4, 4, dxt3, 0, 0, 1, 0, 0},
      {"dxt3 explicit alpha 15", kGpuFmtDxt3, 4, 4, dxt3, 1, 0, 1, 0, 1},
      {"dxt5 interpolated alpha", kGpuFmtDxt5, 4, 4, dxt5, 1, 1, 1, 1, 0},
      {"dxt5 first alpha", kGpuFmtDxt5, 4, 4, dxt5, 0, 1, 1, 1, 1},
      {"565", kGpuFmtR5G6B5, 2, 2, r565, 3, 1, 0, 1, 1},
      {"grey", kGpuFmtL8, 2, 1, {0x00, 0x80}, 1, 128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file;
    ASSERT_TRUE(GpuDdsWrite(c.format, c.width, c.height, 1, false, c.data, &file));
    GpuDdsLayout layout{};
    ASSERT_TRUE(GpuDdsRead(file.data(), file.size(), &layout));
    EXPECT_EQ(layout.format, c.format);
    ExpectPixel(Decode(file, layout, 0, 0), c.pixel, c.r, c.g, c.b, c.a, 1.0f / 64);
  }
}

TEST(GpuDds, EncodedPixelsDecodeToWhatWasEncoded) {
  struct Case {
    uint32_t format;
    float tolerance;
  };
  const Case kCases[] = {{kGpuFmtA8R8G8B8, 1 / 255.0f}, {kGpuFmtA4R4G4B4, 1 / 15.0f}, {kGpuFmtA1R5G5B5, 1.0f / 31},
                         {kGpuFmtA2B10G10R10, 1 / 3.0f}, {kGpuFmtA16B16G16R16, 1e-4f}, {kGpuFmtDxt5, 0.07f}};
  // An 8x4 picture with two flat colours (DXT keeps flat blocks nearly exact).
  std::vector<float> rgba;
  for (int p = 0; p < 32; ++p) {
    bool left = p % 8 < 4;
    rgba.insert(rgba.end(), {left ? 1.0f : 0.0f, 0.5f, left ? 0.0f : 1.0f, left ? 1.0f : 0.0f});
  }
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.format);
    std::vector<uint8_t> bits(GpuPixelLevelBytes(c.format, 8, 4));
    ASSERT_TRUE(GpuPixelsEncode(c.format, rgba.data(), 8, 4, bits.data(), GpuPixelRowBytes(c.format, 8)));
    std::vector<float> back(rgba.size());
    ASSERT_TRUE(GpuPixelsDecode(c.format, bits.data(), GpuPixelRowBytes(c.format, 8), 8, 4, back.data()));
    for (size_t i = 0; i < rgba.size(); ++i) ASSERT_NEAR(back[i], rgba[i], c.tolerance) << i;
  }
}

TEST(GpuDds, Dxt1KeepsTransparentPixelsTransparent) {
  // A 4x4 block: the left column transparent, the rest a red and a dark red.
  std::vector<float> rgba;
  for (int p = 0; p < 16; ++p) {
    if (p % 4 == 0) {
      rgba.insert(rgba.end(), {0.3f, 0.3f, 0.3f, 0.0f});
    } else {
      rgba.insert(rgba.end(), {p < 8 ? 1.0f : 0.5f, 0.0f, 0.0f, 1.0f});
    }
  }
  uint8_t block[8];
  ASSERT_TRUE(GpuPixelsEncode(kGpuFmtDxt1, rgba.data(), 4, 4, block, 8));
  std::vector<float> back(64);
  ASSERT_TRUE(GpuPixelsDecode(kGpuFmtDxt1, block, 8, 4, 4, back.data()));
  for (int p = 0; p < 16; ++p) {
    if (p % 4 == 0) {
      ExpectPixel(back, p, 0, 0, 0, 0, 0);
    } else {
      ExpectPixel(back, p, p < 8 ? 1.0f : 0.5f, 0, 0, 1, 1.0f / 31);
    }
  }
}

TEST(GpuDds, RefusesHeadersThatDoNotFitTheirBytes) {
  std::vector<uint8_t> good;
  ASSERT_TRUE(GpuDdsWrite(kGpuFmtA8R8G8B8, 8, 8, 4, false, std::vector<uint8_t>((64 + 16 + 4 + 1) * 4, 7), &good));
  GpuDdsLayout layout{};
  ASSERT_TRUE(GpuDdsRead(good.data(), good.size(), &layout));
  auto with32 = [&](size_t offset, uint32_t v) {
    std::vector<uint8_t> f = good;
    for (int i = 0; i < 4; ++i) f[offset + i] = uint8_t(v >> (8 * i));
    return f;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  const Case kCases[] = {
      {"one byte short of the last level", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
      {"empty", {}},
      {"bad magic", with32(0, 0x20534443)},
      {"header size", with32(4, 120)},
      {"65536 x 65536", with32(16, 65536)},
      {"zero width", with32(16, 0)},
      {"more mips than sides allow", with32(28, 5)},
      {"cube without its faces", with32(112, kGpuDdsCapsCubeMap)},
      {"cube of one face's bytes", with32(112, kGpuDdsCapsCubeMap | 0xFC00)},
      {"volume", with32(112, 0x200000)},
      {"unknown four-character code", with32(80, 0x4)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(GpuDdsRead(c.file.data(), c.file.size(), &layout));
  }
}

}  // namespace
