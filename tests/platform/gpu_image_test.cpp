// Image files into textures and surfaces on the null device: DDS mip chains (with skipped top
// levels), cube faces in order and DXT data kept as is; TGA types 2 and 10 at 24 and 32 bits
// with either origin; a JPEG within tolerance; a BMP written from a surface reads back equal;
// surface-to-surface conversion from R5G6B5; the formats a device grants and the fallbacks when
// it refuses; damaged files fail with an error result and make nothing.
#include "platform/gpu_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gpu_dds.h"
#include "platform/gpu_pixels.h"
#include "support/gpu_fixture.h"
#include "support/temp_dir.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

int ChannelDiff(uint32_t x, uint32_t y) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((x >> shift) & 0xFF) - static_cast<int>((y >> shift) & 0xFF)));
  return worst;
}

// Pixels of a locked level as 0xAARRGGBB.
std::vector<uint32_t> ToArgb(uint32_t format, const GpuLockedRect& locked, uint32_t width, uint32_t height) {
  std::vector<float> rgba(static_cast<size_t>(width) * height * 4);
  EXPECT_TRUE(GpuPixelsDecode(format, static_cast<const uint8_t*>(locked.bits), static_cast<size_t>(locked.pitch),
                              width, height, rgba.data()));
  std::vector<uint32_t> out;
  for (size_t i = 0; i < rgba.size(); i += 4) {
    auto b = [&](int k) { return static_cast<uint32_t>(std::lround(rgba[i + k] * 255.0f)); };
    out.push_back(b(3) << 24 | b(0) << 16 | b(1) << 8 | b(2));
  }
  return out;
}

std::vector<uint32_t> LevelPixels(GpuTexture* texture, uint32_t level) {
  GpuSurfaceDesc desc{};
  texture->GetLevelDesc(level, &desc);
  GpuLockedRect locked{};
  EXPECT_EQ(texture->LockRect(level, &locked, nullptr, kGpuLockReadOnly), kGpuOk);
  std::vector<uint32_t> out = ToArgb(desc.format, locked, desc.width, desc.height);
  texture->UnlockRect(level);
  return out;
}

std::vector<uint32_t> SurfacePixels(GpuSurface* surface) {
  GpuSurfaceDesc desc{};
  surface->GetDesc(&desc);
  GpuLockedRect locked{};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
  std::vector<uint32_t> out = ToArgb(desc.format, locked, desc.width, desc.height);
  surface->UnlockRect();
  return out;
}

// A DDS of ARGB levels where every pixel of face f's level k is 0xFF10ppkk, pp = 30 f.
std::vector<uint8_t> ChainDds(uint32_t width, uint32_t height, uint32_t levels, bool cube) {
  std::vector<uint8_t> data;
  for (uint32_t face = 0; face < (cube ? 6u : 1u); ++face)
    for (uint32_t level = 0; level < levels; ++level) {
      size_t count = size_t(GpuDdsLevelSide(width, level)) * GpuDdsLevelSide(height, level);
      for (size_t p = 0; p < count; ++p) data.insert(data.end(), {uint8_t(level), uint8_t(face * 30), 0x10, 0xFF});
    }
  std::vector<uint8_t> file;
  EXPECT_TRUE(GpuDdsWrite(kGpuFmtA8R8G8B8, width, height, levels, cube, data, &file));
  return file;
}

void Put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}

// A 4x2 TGA: top row red, green, blue, white; bottom row four half-transparent greys.
std::vector<uint8_t> Tga(uint8_t type, uint8_t bits, bool topOrigin) {
  std::vector<uint8_t> f = {0, 0, type, 0, 0, 0, 0, 0};
  Put16(&f, 0);
  Put16(&f, 0);
  Put16(&f, 4);
  Put16(&f, 2);
  f.push_back(bits);
  f.push_back(uint8_t((bits == 32 ? 8 : 0) | (topOrigin ? 0x20 : 0)));
  auto pixel = [&](std::vector<uint8_t>* out, uint32_t argb) {
    out->insert(out->end(), {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16)});
    if (bits == 32) out->push_back(uint8_t(argb >> 24));
  };
  const uint32_t top[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  const uint32_t grey = 0x80404040;
  auto topRow = [&] {
    if (type == 10) f.push_back(0x03);  // raw packet of four
    for (uint32_t c : top) pixel(&f, c);
  };
  auto bottomRow = [&] {
    if (type == 10) {
      f.push_back(0x83);  // run packet of four
      pixel(&f, grey);
    } else {
      for (int i = 0; i < 4; ++i) pixel(&f, grey);
    }
  };
  if (topOrigin) {
    topRow();
    bottomRow();
  } else {
    bottomRow();
    topRow();
  }
  return f;
}

class GpuImageTest : public GpuDeviceFixture {
 public:
  void SetUp() override {
    GpuSetAdapterModels({GpuDefaultAdapterModel(16, true)});
    ASSERT_TRUE(Open(kGpuBackendNull));
  }

  GpuTexture* Load(const std::vector<uint8_t>& file, uint32_t levels, uint32_t mipFilter, GpuxImageInfo* info = nullptr,
                   uint32_t pool = kGpuPoolManaged) {
    GpuTexture* texture = nullptr;
    EXPECT_EQ(GpuxCreateTextureFromFileInMemoryEx(device_, file.data(), file.size(), kGpuxDefault, kGpuxDefault, levels,
                                                  0, kGpuFmtUnknown, pool, kGpuxDefault, mipFilter, 0, info, &texture),
              kGpuOk);
    return texture;
  }
};

TEST_F(GpuImageTest, SkippingTwoLevelsOfATenLevelFileLeavesEightFromAQuarterSize) {
  std::vector<uint8_t> file = ChainDds(512, 256, 10, false);
  GpuxImageInfo info{};
  GpuTexture* texture = Load(file, kGpuxFromFile, GpuxSkipDdsMipLevels(2, kGpuxFilterNone), &info);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(info.mipLevels, 10u);
  EXPECT_EQ(info.imageFileFormat, uint32_t(kGpuxIffDds));
  EXPECT_EQ(texture->GetLevelCount(), 8u);
  GpuSurfaceDesc desc{};
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.width, 128u);
  EXPECT_EQ(desc.height, 64u);
  EXPECT_EQ(desc.format, kGpuFmtA8R8G8B8);
  // The top level holds the file's level 2, the last the file's level 9.
  EXPECT_EQ(LevelPixels(texture, 0)[0], 0xFF100002u);
  EXPECT_EQ(LevelPixels(texture, 7)[0], 0xFF100009u);
  texture->Release();

  texture = Load(file, 0, kGpuxFilterNone);
  EXPECT_EQ(texture->GetLevelCount(), 10u);
  texture->Release();
}

TEST_F(GpuImageTest, LevelsTheFileLacksAreAveragedFromTheLevelAbove) {
  // A 4x4 file of one level: a left half black and a right half white.
  std::vector<uint8_t> data;
  for (int p = 0; p < 16; ++p) {
    uint8_t v = p % 4 < 2 ? 0 : 255;
    data.insert(data.end(), {v, v, v, 0xFF});
  }
  std::vector<uint8_t> file;
  ASSERT_TRUE(GpuDdsWrite(kGpuFmtX8R8G8B8, 4, 4, 1, false, data, &file));
  GpuTexture* texture = Load(file, 0, kGpuxDefault);
  ASSERT_EQ(texture->GetLevelCount(), 3u);
  EXPECT_EQ(LevelPixels(texture, 1), (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));
  EXPECT_LE(ChannelDiff(LevelPixels(texture, 2)[0], 0xFF808080), 1);
  texture->Release();
}

TEST_F(GpuImageTest, CubeFacesComeInFaceOrder) {
  std::vector<uint8_t> file = ChainDds(8, 8, 2, true);
  GpuxImageInfo info{};
  ASSERT_EQ(GpuxGetImageInfoFromFileInMemory(file.data(), file.size(), &info), kGpuOk);
  EXPECT_EQ(info.resourceType, kGpuRtypeCubeTexture);
  GpuCubeTexture* cube = nullptr;
  ASSERT_EQ(GpuxCreateCubeTextureFromFileInMemoryEx(device_, file.data(), file.size(), kGpuxDefault, kGpuxFromFile, 0,
                                                    kGpuFmtUnknown, kGpuPoolManaged, kGpuxDefault, kGpuxFilterNone, 0,
                                                    nullptr, &cube),
            kGpuOk);
  EXPECT_EQ(cube->GetLevelCount(), 2u);
  for (uint32_t face = 0; face < 6; ++face) {
    for (uint32_t level = 0; level < 2; ++level) {
      GpuLockedRect locked{};
      ASSERT_EQ(cube->LockRect(face, level, &locked, nullptr, kGpuLockReadOnly), kGpuOk);
      uint32_t side = 8 >> level;
      EXPECT_EQ(ToArgb(kGpuFmtA8R8G8B8, locked, side, side)[0], 0xFF100000u | (face * 30) << 8 | level)
          << face << "/" << level;
      cube->UnlockRect(face, level);
    }
  }
  cube->Release();
}

TEST_F(GpuImageTest, CompressedFilesKeepTheirFormatAndBlocks) {
  for (uint32_t format : {kGpuFmtDxt1, kGpuFmtDxt3, kGpuFmtDxt5}) {
    SCOPED_TRACE(format);
    std::vector<uint8_t> data(GpuPixelLevelBytes(format, 8, 8) + GpuPixelLevelBytes(format, 4, 4));
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 11);
    std::vector<uint8_t> file;
    ASSERT_TRUE(GpuDdsWrite(format, 8, 8, 2, false, data, &file));
    GpuTexture* texture = Load(file, kGpuxFromFile, kGpuxFilterNone);
    ASSERT_NE(texture, nullptr);
    GpuSurfaceDesc desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.format, format);
    GpuLockedRect locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, kGpuLockReadOnly), kGpuOk);
    size_t row = GpuPixelRowBytes(format, 8);
    for (uint32_t r = 0; r < 2; ++r)
      EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.bits) + r * locked.pitch, data.data() + r * row, row), 0);
    texture->UnlockRect(0);
    texture->Release();
  }
}

TEST_F(GpuImageTest, TgaTypesTwoAndTenAtBothDepthsAndOrigins) {
  struct Case {
    uint8_t type, bits;
    bool top;
  };
  const Case kCases[] = {{2, 24, false}, {2, 24, true}, {2, 32, false}, {2, 32, true},
                         {10, 24, false}, {10, 24, true}, {10, 32, false}, {10, 32, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.bits) + (c.top ? " top" : " bottom"));
    std::vector<uint8_t> file = Tga(c.type, c.bits, c.top);
    GpuxImageInfo info{};
    GpuTexture* texture = Load(file, 1, kGpuxDefault, &info);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(info.imageFileFormat, uint32_t(kGpuxIffTga));
    EXPECT_EQ(info.format, c.bits == 32 ? kGpuFmtA8R8G8B8 : kGpuFmtX8R8G8B8);
    uint32_t grey = c.bits == 32 ? 0x80404040 : 0xFF404040;
    EXPECT_EQ(LevelPixels(texture, 0),
              (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, grey, grey, grey, grey}));
    texture->Release();
  }
}

TEST_F(GpuImageTest, JpegDecodesWithinTolerance) {
  // 16x16 of two flat halves: JPEG keeps flat areas within a few levels.
  std::vector<uint8_t> rgb;
  for (int p = 0; p < 256; ++p) {
    bool left = p % 16 < 8;
    rgb.insert(rgb.end(), {uint8_t(left ? 200 : 30), uint8_t(left ? 60 : 120), uint8_t(left ? 20 : 220)});
  }
  std::vector<uint8_t> file;
  stbi_write_jpg_to_func([](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  }, &file, 16, 16, 3, rgb.data(), 95);
  GpuxImageInfo info{};
  GpuTexture* texture = Load(file, 1, kGpuxDefault, &info);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(info.imageFileFormat, uint32_t(kGpuxIffJpg));
  std::vector<uint32_t> pixels = LevelPixels(texture, 0);
  EXPECT_LE(ChannelDiff(pixels[2 * 16 + 2], 0xFFC83C14), 6);
  EXPECT_LE(ChannelDiff(pixels[13 * 16 + 13], 0xFF1E78DC), 6);
  texture->Release();
}

TEST_F(GpuImageTest, BmpWrittenFromASurfaceReadsBackEqual) {
  GpuSurface* source = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(5, 3, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &source), kGpuOk);
  GpuLockedRect locked{};
  ASSERT_EQ(source->LockRect(&locked, nullptr, 0), kGpuOk);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) {
      uint32_t v = 0xFF000000 | (x * 50) << 16 | (y * 90) << 8 | (x + y) * 20;
      std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, &v, 4);
    }
  source->UnlockRect();
  TempDir dir;
  ASSERT_EQ(GpuSaveSurfaceToBmp(dir.File("shot.bmp").c_str(), source, nullptr), kGpuOk);
  std::string bytes = dir.Read("shot.bmp");
  GpuSurface* back = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(5, 3, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &back), kGpuOk);
  GpuxImageInfo info{};
  ASSERT_EQ(GpuxLoadSurfaceFromFileInMemory(back, nullptr, bytes.data(), bytes.size(), nullptr, kGpuxFilterNone, 0, &info),
            kGpuOk);
  EXPECT_EQ(info.imageFileFormat, uint32_t(kGpuxIffBmp));
  EXPECT_EQ(SurfacePixels(back), SurfacePixels(source));
  back->Release();
  source->Release();
}

TEST_F(GpuImageTest, SurfaceFromSurfaceConvertsR5G6B5ToX8R8G8B8) {
  GpuSurface* source = nullptr;
  GpuSurface* dest = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 1, kGpuFmtR5G6B5, kGpuPoolSystemMem, &source), kGpuOk);
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 1, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &dest), kGpuOk);
  const uint16_t in[4] = {0xF800, 0x07E0, 0x001F, 0x8410};
  GpuLockedRect locked{};
  ASSERT_EQ(source->LockRect(&locked, nullptr, 0), kGpuOk);
  std::memcpy(locked.bits, in, sizeof in);
  source->UnlockRect();
  ASSERT_EQ(GpuxLoadSurfaceFromSurface(dest, nullptr, source, nullptr, kGpuxFilterLinear, 0), kGpuOk);
  ASSERT_EQ(dest->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
  uint32_t out[4];
  std::memcpy(out, locked.bits, sizeof out);
  dest->UnlockRect();
  // 16/31 of 255 is 132 (0x84), 32/63 of 255 is 130 (0x82).
  EXPECT_EQ(out[0], 0xFFFF0000u);
  EXPECT_EQ(out[1], 0xFF00FF00u);
  EXPECT_EQ(out[2], 0xFF0000FFu);
  EXPECT_EQ(out[3], 0xFF848284u);
  source->Release();
  dest->Release();
}

TEST_F(GpuImageTest, SurfaceFromSurfaceScalesARectangle) {
  GpuSurface* source = nullptr;
  GpuSurface* dest = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &source), kGpuOk);
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &dest), kGpuOk);
  GpuLockedRect locked{};
  ASSERT_EQ(source->LockRect(&locked, nullptr, 0), kGpuOk);
  for (uint32_t p = 0; p < 16; ++p) {
    uint32_t v = p < 8 ? 0xFF00FF00 : 0xFF0000FF;  // top half green, bottom half blue
    std::memcpy(static_cast<uint8_t*>(locked.bits) + (p / 4) * locked.pitch + (p % 4) * 4, &v, 4);
  }
  source->UnlockRect();
  const GpuRect from{0, 2, 2, 4}, to{2, 0, 4, 2};  // a 2x2 blue corner into the top right
  ASSERT_EQ(GpuxLoadSurfaceFromSurface(dest, &to, source, &from, kGpuxFilterPoint, 0), kGpuOk);
  std::vector<uint32_t> pixels = SurfacePixels(dest);
  EXPECT_EQ(pixels[3], 0xFF0000FFu);
  EXPECT_EQ(pixels[4 + 2], 0xFF0000FFu);
  EXPECT_EQ(pixels[0], 0u);
  const GpuRect outside{3, 3, 5, 5};
  EXPECT_EQ(GpuxLoadSurfaceFromSurface(dest, &outside, source, nullptr, kGpuxFilterPoint, 0), kGpuErrInvalidCall);
  source->Release();
  dest->Release();
}

TEST_F(GpuImageTest, RequirementChecksAnswerWhatTheDeviceTakesAndFallBack) {
  struct Case {
    const char* name;
    std::vector<uint32_t> refused;
    bool cube;
    uint32_t asked, granted;
  };
  const Case kCases[] = {
      {"G16R16 taken", {}, false, kGpuFmtG16R16, kGpuFmtG16R16},
      {"L16 taken", {}, false, kGpuFmtL16, kGpuFmtL16},
      {"A2B10G10R10 cube taken", {}, true, kGpuFmtA2B10G10R10, kGpuFmtA2B10G10R10},
      {"G16R16 refused", {kGpuFmtG16R16, kGpuFmtA16B16G16R16}, false, kGpuFmtG16R16, kGpuFmtA8R8G8B8},
      {"L16 refused", {kGpuFmtL16}, false, kGpuFmtL16, kGpuFmtA16B16G16R16},
      {"A2B10G10R10 refused", {kGpuFmtA2B10G10R10}, true, kGpuFmtA2B10G10R10, kGpuFmtA2R10G10B10},
      {"DXT1 refused", {kGpuFmtDxt1}, false, kGpuFmtDxt1, kGpuFmtX8R8G8B8},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Close();
    GpuAdapterModel model = GpuDefaultAdapterModel(16, true);
    std::erase_if(model.textureFormats, [&](uint32_t f) { return std::count(c.refused.begin(), c.refused.end(), f) > 0; });
    GpuSetAdapterModels({model});
    ASSERT_TRUE(Open(kGpuBackendNull));
    uint32_t format = c.asked, levels = 0, size = 256, height = 256;
    GpuResult result = c.cube ? GpuxCheckCubeTextureRequirements(device_, &size, &levels, 0, &format, kGpuPoolManaged)
                              : GpuxCheckTextureRequirements(device_, &size, &height, &levels, 0, &format, kGpuPoolManaged);
    EXPECT_EQ(result, kGpuOk);
    EXPECT_EQ(format, c.granted);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(size, 256u);
  }
}

TEST_F(GpuImageTest, PixelShaderProfileIsTheAdapters) {
  Close();
  GpuAdapterModel model = GpuDefaultAdapterModel(16, true);
  model.pixelShaderProfile = "ps_1_4";
  GpuSetAdapterModels({model});
  ASSERT_TRUE(Open(kGpuBackendNull));
  EXPECT_STREQ(GpuxGetPixelShaderProfile(device_), "ps_1_4");
  EXPECT_STREQ(GpuxGetPixelShaderProfile(nullptr), "");
}

TEST_F(GpuImageTest, DamagedFilesFailWithAnErrorAndMakeNothing) {
  std::vector<uint8_t> dds = ChainDds(8, 8, 4, false);
  std::vector<uint8_t> huge = dds;
  huge[16] = 0;
  huge[17] = 0;
  huge[18] = 1;  // width 65536
  huge[12] = 0;
  huge[13] = 0;
  huge[14] = 1;  // height 65536
  std::vector<uint8_t> tga = Tga(2, 32, true);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  const Case kCases[] = {
      {"truncated DDS", std::vector<uint8_t>(dds.begin(), dds.end() - 3)},
      {"DDS header only", std::vector<uint8_t>(dds.begin(), dds.begin() + 128)},
      {"DDS of 65536 x 65536", huge},
      {"TGA shorter than its header", std::vector<uint8_t>(tga.begin(), tga.begin() + 17)},
      {"TGA missing pixels", std::vector<uint8_t>(tga.begin(), tga.end() - 5)},
      {"empty", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    GpuxImageInfo info{};
    EXPECT_TRUE(GpuFailed(GpuxGetImageInfoFromFileInMemory(c.file.data(), c.file.size(), &info)));
    GpuTexture* texture = nullptr;
    EXPECT_TRUE(GpuFailed(GpuxCreateTextureFromFileInMemoryEx(device_, c.file.data(), c.file.size(), 0, 0, 0, 0,
                                                              kGpuFmtUnknown, kGpuPoolManaged, kGpuxDefault,
                                                              kGpuxDefault, 0, nullptr, &texture)));
    EXPECT_EQ(texture, nullptr);
  }
}

TEST_F(GpuImageTest, PicturesConvertIntoTheFormatAsked) {
  // An 8x4 bitmap of a red and a grey 4x4 block, into DXT1 and into a default-pool texture.
  std::vector<uint8_t> rgb;
  for (int p = 0; p < 32; ++p) {
    bool left = p % 8 < 4;
    rgb.insert(rgb.end(), {uint8_t(left ? 255 : 64), uint8_t(left ? 0 : 64), uint8_t(left ? 0 : 64)});
  }
  std::vector<uint8_t> file;
  stbi_write_bmp_to_func([](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  }, &file, 8, 4, 3, rgb.data());
  GpuTexture* texture = nullptr;
  ASSERT_EQ(GpuxCreateTextureFromFileInMemoryEx(device_, file.data(), file.size(), 0, 0, 1, 0, kGpuFmtDxt1,
                                                kGpuPoolManaged, kGpuxFilterPoint, kGpuxDefault, 0, nullptr, &texture),
            kGpuOk);
  GpuSurfaceDesc desc{};
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.format, kGpuFmtDxt1);
  std::vector<uint32_t> pixels = LevelPixels(texture, 0);
  EXPECT_LE(ChannelDiff(pixels[0], 0xFFFF0000), 4);
  EXPECT_LE(ChannelDiff(pixels[31], 0xFF404040), 4);
  texture->Release();
  texture = Load(file, 1, kGpuxDefault, nullptr, kGpuPoolDefault);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(LevelPixels(texture, 0)[5], 0xFF404040u);
  texture->Release();
}

}  // namespace
