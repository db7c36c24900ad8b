// Image records and picture files on the null device: the size fields of new records, release by
// count, the mask buffers (one bit per pixel, planes combined, the chunky transparency mask of a
// tight device row) and side tables, and the picture loader's extension retry, texture folder,
// "\Desktop\" rule, TGA header checks, JPEG paths and the defaults by a name's ending.
#include "render/image_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "images/image_writer.h"
#include "platform/gpu_dds.h"
#include "render/display_surface.h"
#include "render/render.h"
#include "render/surface_ops.h"
#include "support/d3d_world.h"
#include "support/temp_dir.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

using image_tool::Bytes;
using image_tool::MakeTga;

constexpr uint32_t kX8 = kGpuFmtX8R8G8B8;

Bytes Jpeg(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3, 128);
  Bytes file;
  stbi_write_jpg_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      },
      &file, width, height, 3, rgb.data(), 90);
  return file;
}

Bytes Dds(uint32_t width, uint32_t height) {
  std::vector<uint8_t> pixels(size_t(width) * height * 4, 0x7F);
  Bytes file;
  EXPECT_TRUE(GpuDdsWrite(kGpuFmtA8R8G8B8, width, height, 1, false, pixels, &file));
  return file;
}

TEST(ImageRecords, SizeFieldsFollowDepthWidthAndLayout) {
  struct Case {
    const char* what;
    int32_t bits, width;
    uint32_t flags;
    uint32_t flagsOut;
    int16_t bitsPerPixel, bytesPerPixel;
    uint16_t rowBytes, pitch;
    uint32_t planeBytes, planeStep;
  };
  constexpr uint32_t N = kSurfaceNoDevice;
  const Case kCases[] = {
      {"1 bit, width 1", 1, 1, N, N, 1, 1, 2, 2, 2 * 3, 2 * 3},
      {"1 bit, width 16", 1, 16, N, N, 1, 1, 2, 2, 2 * 3, 2 * 3},
      {"1 bit, width 17", 1, 17, N, N, 1, 1, 4, 4, 4 * 3, 4 * 3},
      {"4 planes, width 17", 4, 17, N | kSurfacePlanar, N | kSurfacePlanar, 4, 1, 4, 16, 12, 4},
      {"chunky 32, width 1", 32, 1, N | kSurfaceChunky, N | kSurfaceChunky | kSurface32Bit, 32, 4, 64, 64, 6, 64},
      {"chunky 32, width 17", 32, 17, N | kSurfaceChunky, N | kSurfaceChunky | kSurface32Bit, 32, 4, 128, 128, 12,
       128},
      {"chunky 16 by flag", 32, 16, N | kSurfaceChunky | kSurface16Bit, N | kSurfaceChunky | kSurface16Bit, 16, 2, 32,
       32, 6, 32},
      {"24 bits not chunky", 24, 16, N, N | kSurface24Bit, 24, 3, 2, 2, 6, 6},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    DisplaySurface* r = CreateImageHandle(c.bits, c.width, 3, c.flags);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->flags, c.flagsOut);
    EXPECT_EQ(r->bitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(r->bytesPerPixel, c.bytesPerPixel);
    EXPECT_EQ(r->rowBytes, c.rowBytes);
    EXPECT_EQ(r->pitch, c.pitch);
    EXPECT_EQ(r->planeBytes, c.planeBytes);
    EXPECT_EQ(r->planeStep, c.planeStep);
    EXPECT_EQ(r->refCount, 0);
    EXPECT_EQ(ReleaseImageHandle(&r), 0);
  }
  // No area, or rows wider than the 16-bit fields: no record.
  EXPECT_EQ(CreateImageHandle(32, 0, 4, kSurfaceNoDevice), nullptr);
  EXPECT_EQ(CreateImageHandle(32, 20000, 4, kSurfaceNoDevice | kSurfaceChunky), nullptr);
}

TEST(ImageRecords, OneReleaseFreesANewRecordAndCountsAreKept) {
  const uint32_t before = MemGetCurrentBytes();
  DisplaySurface* r = CreateImageHandle(32, 8, 8, kSurfaceNoDevice | kSurfaceUpdateRects | kSurfaceRowTable);
  ASSERT_NE(r, nullptr);
  SetSurfaceName(r, "picture");
  EXPECT_EQ(ReleaseImageHandle(&r), 0);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(MemGetCurrentBytes(), before);
  EXPECT_EQ(ReleaseImageHandle(&r), -1);
  EXPECT_EQ(ReleaseImageHandle(nullptr), -1);
  DisplaySurface* shared = CreateImageHandle(8, 4, 4, kSurfaceNoDevice);
  shared->refCount = 2;
  DisplaySurface* copy = shared;
  EXPECT_EQ(ReleaseImageHandle(&copy), 1);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(ReleaseImageHandle(&shared), 0);
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

TEST(ImageRecords, UpdateRectanglesAndTablesFollowTheFlags) {
  DisplaySurface* r =
      CreateImageHandle(32, 5, 3, kSurfaceNoDevice | kSurfaceChunky | kSurfaceUpdateRects | kSurfaceRowTable);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->updateBytes, uint32_t(GetDisplayListLimits().maxRects + 1) * sizeof(UpdateRect));
  ASSERT_EQ(r->mirrorXBytes, 10u);
  ASSERT_EQ(r->mirrorYBytes, 6u);
  ASSERT_EQ(r->rowOffsetBytes, 12u);
  EXPECT_EQ(std::vector<uint16_t>(r->mirrorX, r->mirrorX + 5), (std::vector<uint16_t>{5, 4, 3, 2, 1}));
  EXPECT_EQ(std::vector<uint16_t>(r->mirrorY, r->mirrorY + 3), (std::vector<uint16_t>{3, 2, 1}));
  EXPECT_EQ(std::vector<uint32_t>(r->rowOffsets, r->rowOffsets + 3), (std::vector<uint32_t>{0, 64, 128}));
  ReleaseImageHandle(&r);
  // A plain record gets only the row table; a small one neither rectangles nor tables.
  r = CreateImageHandle(8, 5, 3, kSurfaceNoDevice | kSurfaceRowTable);
  EXPECT_EQ(r->mirrorX, nullptr);
  ASSERT_EQ(r->rowOffsetBytes, 12u);
  EXPECT_EQ(r->rowOffsets[2], 2u * r->pitch);
  ReleaseImageHandle(&r);
  r = CreateImageHandle(32, 5, 3, kSurfaceNoDevice | kSurfaceChunky | kSurfaceSmall | kSurfaceUpdateRects |
                                      kSurfaceRowTable);
  EXPECT_EQ(r->updateRects, nullptr);
  EXPECT_EQ(r->flags & kSurfaceUpdateRects, 0u);
  EXPECT_EQ(r->rowOffsets, nullptr);
  EXPECT_EQ(BuildSurfaceTables(r), false);
  ReleaseImageHandle(&r);
}

// A record with its own pixel buffer (freed with it), as a loader or a test fills it.
void GiveOwnPixels(DisplaySurface* r, size_t bytes) {
  r->pixels = static_cast<uint8_t*>(MemAlloc(bytes, 0));
  std::memset(r->pixels, 0, bytes);
  r->flags |= kSurfaceOwnPixels | kSurfaceLocked;
  ASSERT_EQ(bytes, size_t(r->pitch) * r->height);
}

TEST(ImageRecords, MaskBuffersAreBuiltInsideTheirOwnSize) {
  // One bit per pixel: the mask is the pixel buffer itself, and the release frees it once.
  DisplaySurface* mono = CreateImageHandle(1, 16, 2, kSurfaceNoDevice);
  GiveOwnPixels(mono, 4);
  ASSERT_TRUE(BuildImageHandle(mono));
  EXPECT_EQ(mono->maskBuffer, mono->pixels);
  EXPECT_EQ(ReleaseImageHandle(&mono), 0);

  // Four planes of 17 x 3: each row's bytes of every plane ORed (rows at rowBytes, not at pitch).
  DisplaySurface* planar = CreateImageHandle(4, 17, 3, kSurfaceNoDevice | kSurfacePlanar);
  GiveOwnPixels(planar, size_t(planar->pitch) * 3);
  auto at = [&](int plane, int y, int x) -> uint8_t& {
    return planar->pixels[plane * planar->planeStep + y * planar->pitch + x];
  };
  at(0, 0, 0) = 0x80;
  at(3, 0, 0) = 0x01;
  at(2, 2, 3) = 0x40;
  ASSERT_TRUE(BuildImageHandle(planar));
  ASSERT_NE(planar->maskBuffer, nullptr);
  EXPECT_EQ(MaskBufferBytes(planar), planar->planeBytes);
  EXPECT_EQ(planar->maskBuffer[0], 0x81);
  EXPECT_EQ(planar->maskBuffer[2 * planar->rowBytes + 3], 0x40);
  EXPECT_EQ(planar->maskBuffer[1 * planar->rowBytes + 3], 0);
  ReleaseImageHandle(&planar);

  // Without pixels nothing is read: no mask yet.
  DisplaySurface* empty = CreateImageHandle(8, 16, 4, kSurfaceNoDevice);
  EXPECT_EQ(empty->maskBuffer, nullptr);
  ReleaseImageHandle(&empty);
  // kSurfaceNoMask: none even with pixels.
  DisplaySurface* none = CreateImageHandle(1, 16, 1, kSurfaceNoDevice | kSurfaceNoMask);
  GiveOwnPixels(none, 2);
  ASSERT_TRUE(BuildImageHandle(none));
  EXPECT_EQ(none->maskBuffer, nullptr);
  ReleaseImageHandle(&none);
}

class ImageFiles : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    ASSERT_TRUE(Start({Model("A", {1024, 768, 60, kX8}, {{1024, 768, 60, kX8}})}));
    ASSERT_EQ(SelectDisplayMode(), 1);
    ASSERT_EQ(CreateD3DDevice(), 1);
    // No default image files exist here: put records of our own in their slots.
    for (int slot = kFixedImageSlot; slot < kFixedImageSlot + 8; ++slot) {
      ReleaseImageHandle(&gLookupImages[slot]);
      gLookupImages[slot] = CreateImageHandle(32, 1, 1, kSurfaceNoDevice);
      gLookupImages[slot]->refCount = 1;
    }
    textures_ = gDeviceTextureCount;
    surfaces_ = gDeviceSurfaceCount;
  }
  void TearDown() override {
    for (DisplaySurface*& r : records_) ReleaseImageHandle(&r);
    EXPECT_EQ(gDeviceTextureCount, textures_);
    EXPECT_EQ(gDeviceSurfaceCount, surfaces_);
    std::filesystem::current_path(previousDir_);
    D3DWorld::TearDown();
  }
  void Write(const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(dir_.path()) / std::filesystem::path(name).parent_path());
    dir_.Write(name, std::string(bytes.begin(), bytes.end()));
  }
  DisplaySurface* Keep(DisplaySurface* r) {
    if (r) records_.push_back(r);
    return r;
  }
  DisplaySurface* Load(const char* path, uint32_t flags = 0) { return Keep(LoadImageFile(path, flags, 0, 0)); }

  TempDir dir_;
  std::string previousDir_;
  std::vector<DisplaySurface*> records_;
  int32_t textures_ = 0, surfaces_ = 0;
};

TEST_F(ImageFiles, AMissingPictureGetsTheDefaultOfItsKind) {
  struct Case {
    const char* path;
    int slot;
  };
  const Case kCases[] = {{"ship_diff.jpg", 19}, {"ship_bump", 17},   {"ship_spec.tga", 14},
                         {"ship_light", 15},    {"ship_occl", 18},   {"x\\ship_envmap", 21},
                         {"ship_envi", 21},     {"ship_other", 15},  {"ship_DIFF", 15}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    DisplaySurface* expected = gLookupImages[c.slot];
    const int32_t count = expected->refCount;
    DisplaySurface* r = LoadImageFile(c.path, 0, 0, 0);
    EXPECT_EQ(r, expected);
    EXPECT_EQ(expected->refCount, count + 1);
    EXPECT_TRUE(expected->flags & kSurfaceDefaultImage);
    ReleaseImageHandle(&r);
  }
  // The high-quality bump switch picks the full normal image.
  Record()->shader20 = 1;
  DisplaySurface* r = LoadImageFile("hull_bump", 0, 0, 0);
  EXPECT_EQ(r, gLookupImages[16]);
  ReleaseImageHandle(&r);
  // No default of that kind: null.
  ReleaseImageHandle(&gLookupImages[19]);
  EXPECT_EQ(LoadImageFile("ship_diff.jpg", 0, 0, 0), nullptr);
  EXPECT_EQ(LoadImageFile(nullptr, 0, 0, 0), nullptr);
}

TEST_F(ImageFiles, AFailedExtensionIsRetriedWithoutIt) {
  // ship_diff.jpg is missing; "ship_diff" finds the TGA of that name.
  Write("ship_diff.tga", MakeTga(2, 24, 3, 2, {}));
  DisplaySurface* r = Load("ship_diff.jpg");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->width, 3);
  EXPECT_EQ(r->refCount, 1);
  EXPECT_EQ(r->flags & kSurfaceDefaultImage, 0u);
  EXPECT_EQ(r->flags & kSurfaceWrappedTexture, kSurfaceWrappedTexture);
  EXPECT_NE(r->deviceTexture, nullptr);
}

TEST_F(ImageFiles, TgaHeadersAreCheckedAndARefusedOneFallsToTheNextLoader) {
  const Bytes good = MakeTga(2, 32, 4, 2, {});
  auto edited = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  struct Case {
    const char* what;
    Bytes file;
    bool loads;
  };
  const Case kCases[] = {
      {"true colour 32", good, true},
      {"run-length 24", MakeTga(10, 24, 4, 2, {}), true},
      {"16 bits", MakeTga(2, 16, 4, 2, {}), true},
      {"grey", MakeTga(3, 8, 4, 2, {}), false},
      {"colour-mapped", edited(1, 1), false},
      {"depth 15", edited(16, 15), false},
      {"alpha bits 4", edited(17, 0x24), false},
      {"width 0", edited(12, 0), false},
      {"shorter than its header", Bytes(good.begin(), good.begin() + 17), false},
      {"pixels cut off", Bytes(good.begin(), good.end() - 1), false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Write("pic.tga", c.file);
    DisplaySurface* r = Keep(LoadTgaImage("pic", 0, 0));
    EXPECT_EQ(r != nullptr, c.loads);
  }
  // A grey TGA is refused by the TGA loader, and the JPEG loader finds the picture.
  Write("pic.tga", MakeTga(3, 8, 4, 2, {}));
  Write("pic.jpg", Jpeg(8, 4));
  DisplaySurface* r = Load("pic");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->width, 8);
  EXPECT_EQ(r->flags & kSurfaceDefaultImage, 0u);
}

TEST_F(ImageFiles, JpegLoadsAsATextureOrAPlainSurface) {
  Write("photo.jpg", Jpeg(6, 4));
  DisplaySurface* plain = Keep(LoadJpgImage("photo", 0, 0));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->deviceTexture, nullptr);
  EXPECT_EQ(plain->width, 6);
  DisplaySurface* texture = Keep(LoadJpgImage("photo", kSurfaceTexture, 0));
  ASSERT_NE(texture, nullptr);
  EXPECT_NE(texture->deviceTexture, nullptr);
  EXPECT_EQ(texture->flags & kSurfaceWrappedTexture, kSurfaceWrappedTexture);
  Write("broken.jpg", Bytes{0xFF, 0xD8, 0xFF});
  EXPECT_EQ(LoadJpgImage("broken", 0, 0), nullptr);
}

TEST_F(ImageFiles, TheTextureFolderIsTriedFirstExceptFromTheDesktop) {
  Write("dds/pic.dds", Dds(2, 2));
  Write("art/pic.tga", MakeTga(2, 32, 4, 4, {}));
  Write("home/Desktop/pic.tga", MakeTga(2, 32, 8, 8, {}));
  Write("dds/other.dds", Dds(2, 2));
  DisplaySurface* art = Load("art\\pic");
  ASSERT_NE(art, nullptr);
  EXPECT_EQ(art->width, 2);
  // From the desktop the texture folder is skipped: the TGA there loads.
  DisplaySurface* desktop = Load("home\\Desktop\\pic");
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(desktop->width, 8);
  // A bare name has no folder part and is not looked up in the texture folder.
  DisplaySurface* bare = Load("other");
  EXPECT_EQ(bare, gLookupImages[15]);
}

TEST_F(ImageFiles, AChunkyMaskIsSizedFromItsOwnRowsNotTheDevicePitch) {
  // 17 pixels of 32 bits: the device row is 68 bytes, so height x pitch / bits is 4 bytes, while
  // the mask needs 4 bytes a row.
  GpuSurface* s = nullptr;
  ASSERT_EQ(Record()->device->CreateOffscreenPlainSurface(17, 2, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &s), kGpuOk);
  DisplaySurface* r = Keep(WrapDeviceSurface(nullptr, s, 0));
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(r->flags & kSurfaceChunky);
  ASSERT_EQ(LockSurface(r), 1);
  for (int y = 0; y < 2; ++y) std::memset(r->pixels + y * r->pitch, 0, 17 * 4);
  r->pixels[0] = 1;                      // (0, 0)
  r->pixels[8 * 4] = 1;                  // (8, 0)
  r->pixels[r->pitch + 16 * 4] = 1;      // (16, 1)
  ASSERT_TRUE(BuildImageHandle(r));
  ASSERT_EQ(MaskBufferBytes(r), 8u);
  EXPECT_EQ(Bytes(r->maskBuffer, r->maskBuffer + 8), (Bytes{0x80, 0x80, 0, 0, 0, 0, 0x80, 0}));
}

TEST_F(ImageFiles, TheDemoGeneratorsDefaultImagesLoadByTheirFixedNames) {
  // The device set-up asks for "\\NONE_WHITE" ...: the texture folder holds them.
  for (const auto& file : image_tool::DemoDefaultImages()) Write(file.name, file.bytes);
  ASSERT_EQ(image_tool::DemoDefaultImages().size(), 8u);
  for (const char* name : {"\\NONE_WHITE", "\\NONE_BLACK", "\\NONE_NORMAL", "\\NONE_NORMAL_LOW", "\\NONE_OCCL_DECAL",
                           "\\NONE_GRAY", "\\NONE_ENVI", "\\ENVI"}) {
    SCOPED_TRACE(name);
    DisplaySurface* r = Load(name, 0x80040000);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->width, 4);
    EXPECT_EQ(r->flags & kSurfaceDefaultImage, 0u);
  }
}

}  // namespace
