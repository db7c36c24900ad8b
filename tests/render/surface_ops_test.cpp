// Display surfaces on a device: creation by flags and pools, attaching with its flags and row
// bytes, colour conversion and channel layouts, fills, the copy path choice, the locks, DDS
// texture files with mip skipping and cube maps, the release accounting, and the screenshot of
// a real offscreen device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gpu_dds.h"
#include "render/display_surface.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "render/surface_ops.h"
#include "render/texture_lock.h"
#include "support/d3d_world.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t kX8 = kGpuFmtX8R8G8B8;

bool Logged(const std::string& prefix) {
  for (const std::string& line : GpuNullLog())
    if (line.rfind(prefix, 0) == 0) return true;
  return false;
}

// A DDS file of `levels` levels, 2^(levels-1) x 1 pixels of A8R8G8B8 (or a cube of that edge).
std::vector<uint8_t> Dds(uint32_t levels, bool cube = false) {
  const uint32_t width = 1u << (levels - 1), height = cube ? width : 1;
  size_t bytes = 0;
  for (uint32_t l = 0; l < levels; ++l)
    bytes += size_t(std::max(width >> l, 1u)) * std::max(height >> l, 1u) * 4;
  std::vector<uint8_t> data(bytes * (cube ? 6 : 1));
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >= bytes ? 100 : 0));
  std::vector<uint8_t> file;
  EXPECT_TRUE(GpuDdsWrite(kGpuFmtA8R8G8B8, width, height, levels, cube, data, &file));
  return file;
}

class SurfaceOps : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    ASSERT_TRUE(Start({Model("A", {1024, 768, 60, kX8}, {{1024, 768, 60, kX8}})}));
    ASSERT_EQ(SelectDisplayMode(), 1);
    ASSERT_EQ(CreateD3DDevice(), 1);
    device_ = Record()->device;
    textures_ = gDeviceTextureCount;
    surfaces_ = gDeviceSurfaceCount;
    GpuNullClearLog();
  }
  void TearDown() override {
    for (DisplaySurface*& r : records_) ReleaseImageHandle(&r);
    EXPECT_EQ(gDeviceTextureCount, textures_);
    EXPECT_EQ(gDeviceSurfaceCount, surfaces_);
    gScreenBackBuffer = nullptr;
    std::filesystem::current_path(previousDir_);
    D3DWorld::TearDown();
  }

  // An empty counted record with these flags and its device storage.
  DisplaySurface* Made(uint32_t flags, int32_t width, int32_t height) {
    DisplaySurface* r = CreateImageHandle(32, width, height, 0);
    r->flags = flags;
    records_.push_back(r);
    return CreateImageSurface(r) ? r : nullptr;
  }
  // A record wrapping a new device surface.
  DisplaySurface* Wrapped(GpuSurface* surface) {
    DisplaySurface* r = CreateImageHandle(32, 1, 1, 0);
    records_.push_back(r);
    EXPECT_EQ(AttachD3DSurface(r, surface), 1);
    return r;
  }
  DisplaySurface* Plain(uint32_t width, uint32_t height, uint32_t format, uint32_t pool) {
    GpuSurface* s = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(width, height, format, pool, &s), kGpuOk);
    return Wrapped(s);
  }
  DisplaySurface* Target(uint32_t width, uint32_t height) {
    GpuSurface* s = nullptr;
    EXPECT_EQ(device_->CreateRenderTarget(width, height, kX8, 0, 0, 0, &s), kGpuOk);
    return Wrapped(s);
  }
  DisplaySurface* Keep(DisplaySurface* r) {
    if (r) records_.push_back(r);
    return r;
  }
  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    dir_.Write(name, std::string(bytes.begin(), bytes.end()));
  }
  static uint32_t Pixel32(DisplaySurface* r, int x, int y) {
    GpuLockedRect l{};
    EXPECT_EQ(r->deviceSurface->LockRect(&l, nullptr, kGpuLockReadOnly), kGpuOk);
    uint32_t v = 0;
    std::memcpy(&v, static_cast<uint8_t*>(l.bits) + y * l.pitch + x * 4, 4);
    r->deviceSurface->UnlockRect();
    return v;
  }

  TempDir dir_;
  std::string previousDir_;
  GpuDevice* device_ = nullptr;
  std::vector<DisplaySurface*> records_;
  int32_t textures_ = 0, surfaces_ = 0;
};

TEST_F(SurfaceOps, CreationFollowsTheFlagsAndPools) {
  const DeviceRecord* d = Record();
  const uint32_t opaque = FormatTableCode(d->opaqueFormat->formatIndex);
  const uint32_t alpha = FormatTableCode(d->alphaFormat->formatIndex);
  const uint32_t third = FormatTableCode(d->thirdFormat->formatIndex);
  const uint32_t back = d->presentParameters.backBufferFormat;
  auto Line = [](const char* call, uint32_t w, uint32_t h, uint32_t extra, uint32_t format, uint32_t pool) {
    char s[96];
    if (std::string(call) == "CreateTexture")
      std::snprintf(s, sizeof s, "CreateTexture(%u, %u, %u, 0x0, 0x%x, %u)", w, h, extra, format, pool);
    else
      std::snprintf(s, sizeof s, "CreateOffscreenPlainSurface(%u, %u, 0x%x, %u)", w, h, format, pool);
    return std::string(s);
  };
  struct Case {
    uint32_t flags;
    std::string line;
  };
  const Case kCases[] = {
      {0x8 | 0x4000, Line("CreateTexture", 16, 8, 1, opaque, kGpuPoolManaged)},
      {0x8 | 0x4000 | 0x8000, Line("CreateTexture", 16, 8, 0, opaque, kGpuPoolManaged)},
      {0x8 | 0x4000 | 0x20000000, Line("CreateTexture", 16, 8, 1, alpha, kGpuPoolManaged)},
      {0x8 | 0x4000 | 0x10000000, Line("CreateTexture", 16, 8, 1, third, kGpuPoolManaged)},
      {0x8 | 0x4000 | 0x80, Line("CreateTexture", 16, 8, 1, opaque, kGpuPoolDefault)},
      {0x8 | 0x4000 | 0x8000000, Line("CreateTexture", 16, 8, 1, opaque, kGpuPoolDefault)},
      {0x8, Line("CreatePlain", 16, 8, 0, back, kGpuPoolSystemMem)},
      {0x8 | 0x4000000, Line("CreatePlain", 16, 8, 0, kGpuFmtA8R8G8B8, kGpuPoolSystemMem)},
      {0x8 | 0x8000000, Line("CreatePlain", 16, 8, 0, back, kGpuPoolDefault)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    GpuNullClearLog();
    DisplaySurface* r = Made(c.flags, 16, 8);
    ASSERT_NE(r, nullptr);
    ASSERT_FALSE(GpuNullLog().empty());
    EXPECT_EQ(GpuNullLog().front(), c.line);
    EXPECT_EQ(r->deviceTexture != nullptr, (c.flags & 0x4000) != 0);
    EXPECT_NE(r->deviceSurface, nullptr);
  }
  GpuNullClearLog();
  DisplaySurface* nothing = Made(0x4000, 16, 8);  // no 0x8: nothing to create
  ASSERT_NE(nothing, nullptr);
  EXPECT_TRUE(GpuNullLog().empty());
  EXPECT_EQ(nothing->deviceSurface, nullptr);
  GpuInjectResult("CreateTexture", kGpuErrOutOfMemory, 2);
  EXPECT_EQ(Made(0x8 | 0x4000, 16, 8), nullptr);
}

TEST_F(SurfaceOps, AttachSetsFlagsRowBytesAndPitch) {
  struct Case {
    uint32_t format;
    uint32_t bitFlags;
    int16_t bytes;
  };
  const Case kCases[] = {{kGpuFmtR5G6B5, 0x104, 2}, {kGpuFmtR8G8B8, 0x204, 3}, {kX8, 0x2004, 4}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.format);
    DisplaySurface* r = CreateImageHandle(32, 1, 1, 0);
    records_.push_back(r);
    r->flags = 0x100 | 0x200 | 0x2000;  // stale depth bits are replaced
    GpuSurface* s = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(17, 5, c.format, kGpuPoolSystemMem, &s), kGpuOk);
    GpuLockedRect l{};
    ASSERT_EQ(s->LockRect(&l, nullptr, 0), kGpuOk);
    s->UnlockRect();
    ASSERT_EQ(AttachD3DSurface(r, s), 1);
    EXPECT_EQ(r->flags & 0x800008u, 0x800008u);
    EXPECT_EQ(r->flags & 0x2304u, c.bitFlags);
    EXPECT_EQ(r->bytesPerPixel, c.bytes);
    EXPECT_EQ(r->bitsPerPixel, c.bytes * 8);
    EXPECT_EQ(r->rowBytes, 32 * c.bytes);
    EXPECT_EQ(r->pitch, l.pitch);
    EXPECT_EQ(r->planeStep, static_cast<uint32_t>(l.pitch));
    EXPECT_EQ(r->planeBytes, 5u * l.pitch / (c.bytes * 8u));
    EXPECT_EQ(r->width, 17);
    EXPECT_EQ(r->height, 5);
  }
  // A render target's pitch is read through a system-memory copy; a multisampled one has none.
  GpuNullClearLog();
  DisplaySurface* target = Target(8, 8);
  EXPECT_EQ(target->pitch, 32);
  EXPECT_TRUE(Logged("GetRenderTargetData("));
  GpuSurface* multi = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, kX8, 4, 0, 0, &multi), kGpuOk);
  EXPECT_EQ(Wrapped(multi)->pitch, 0);
}

TEST_F(SurfaceOps, ColourConversionFollowsTheFormat) {
  struct Case {
    uint32_t format;
    bool texture;
    uint32_t expected;
  };
  const Case kCases[] = {
      {kGpuFmtR5G6B5, false, 0x8218},      {kGpuFmtX1R5G5B5, false, 0x4118}, {kX8, false, 0x8040C0},
      {kGpuFmtA8R8G8B8, false, 0x8040C0},  // alpha only for textures
      {kGpuFmtA8R8G8B8, true, 0xFF8040C0}, {kGpuFmtA4R4G4B4, true, 0xF84C},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.format);
    DisplaySurface* r;
    if (c.texture) {
      GpuTexture* t = nullptr;
      GpuSurface* s = nullptr;
      ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, c.format, kGpuPoolManaged, &t), kGpuOk);
      ASSERT_EQ(t->GetSurfaceLevel(0, &s), kGpuOk);
      r = Wrapped(s);
      r->deviceTexture = t;
      ++gDeviceTextureCount;
    } else {
      r = Plain(4, 4, c.format, kGpuPoolSystemMem);
    }
    EXPECT_EQ(ColorToSurfaceFormat(r, 0xFF8040C0), c.expected);
  }
  DisplaySurface bare{};
  EXPECT_EQ(ColorToSurfaceFormat(&bare, 0xFF8040C0), 0xFF8040C0u);
}

TEST_F(SurfaceOps, ChannelInfoOfTheFormatsTheDeviceCreates) {
  const DeviceRecord* d = Record();
  // The back buffer keeps an alpha channel: it carries the glow mask.
  ASSERT_EQ(d->presentParameters.backBufferFormat, kGpuFmtA8R8G8B8);
  GpuSurface* back = d->backBuffer;
  back->AddRef();
  DisplaySurface* video = Wrapped(back);
  DisplaySurface* opaque = Made(0x8 | 0x4000, 8, 8);
  DisplaySurface* alpha = Made(0x8 | 0x4000 | 0x20000000, 8, 8);
  ASSERT_TRUE(opaque && alpha);
  struct Case {
    DisplaySurface* record;
    SurfaceChannel expected[4];
  };
  const Case kCases[] = {
      {video, {{0xFF0000, 8, 16}, {0xFF00, 8, 8}, {0xFF, 8, 0}, {0xFF000000, 8, 24}}},
      {opaque, {{0xFF0000, 8, 16}, {0xFF00, 8, 8}, {0xFF, 8, 0}, {0, 0, 0}}},
      {alpha, {{0xFF0000, 8, 16}, {0xFF00, 8, 8}, {0xFF, 8, 0}, {0xFF000000, 8, 24}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.record == video ? "back buffer" : c.record == opaque ? "opaque texture" : "alpha texture");
    SurfaceChannel got[4] = {};
    ASSERT_EQ(SurfaceGetChannelInfo(c.record, got), 1);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(got[i].mask, c.expected[i].mask) << i;
      EXPECT_EQ(got[i].bits, c.expected[i].bits) << i;
      EXPECT_EQ(got[i].shift, c.expected[i].shift) << i;
    }
  }
  DisplaySurface* eight = Plain(4, 4, kGpuFmtL8, kGpuPoolSystemMem);
  SurfaceChannel none[4] = {};
  EXPECT_EQ(SurfaceGetChannelInfo(eight, none), 0);
}

TEST_F(SurfaceOps, FillingTheScreenBackBufferClearsAndNeverLocks) {
  GpuSurface* back = Record()->backBuffer;
  back->AddRef();
  DisplaySurface* screen = Wrapped(back);
  gScreenBackBuffer = back;
  GpuNullClearLog();
  SurfaceFillRect(screen, 2, 3, 10, 20, 0x123456);
  EXPECT_TRUE(Logged("Clear(1, 0x1, 0x00123456, 1, 0)"));
  EXPECT_FALSE(Logged("LockRect("));
  EXPECT_FALSE(Logged("ColorFill("));
}

TEST_F(SurfaceOps, FillsWriteTheConvertedColourIntoMemorySurfaces) {
  DisplaySurface* wide = Plain(8, 4, kX8, kGpuPoolSystemMem);
  DisplaySurface* narrow = Plain(8, 4, kGpuFmtR5G6B5, kGpuPoolSystemMem);
  DisplaySurface* packed = Plain(8, 4, kGpuFmtR8G8B8, kGpuPoolSystemMem);
  SurfaceFillRect(wide, 1, 1, 2, 2, 0xFF8040C0);
  SurfaceFillRect(narrow, 1, 1, 2, 2, 0xFF8040C0);
  SurfaceFillRect(packed, 1, 1, 2, 2, 0xFF8040C0);
  EXPECT_EQ(Pixel32(wide, 2, 2), 0x008040C0u);
  EXPECT_EQ(Pixel32(wide, 0, 0), 0u);
  GpuLockedRect l{};
  ASSERT_EQ(narrow->deviceSurface->LockRect(&l, nullptr, kGpuLockReadOnly), kGpuOk);
  uint16_t v = 0;
  std::memcpy(&v, static_cast<uint8_t*>(l.bits) + l.pitch + 2, 2);
  narrow->deviceSurface->UnlockRect();
  EXPECT_EQ(v, 0x8218);
  ASSERT_EQ(packed->deviceSurface->LockRect(&l, nullptr, kGpuLockReadOnly), kGpuOk);
  const uint8_t* p = static_cast<uint8_t*>(l.bits) + 2 * l.pitch + 2 * 3;
  EXPECT_EQ((std::vector<int>{p[0], p[1], p[2]}), (std::vector<int>{0xC0, 0x40, 0x80})) << "24 bits store B, G, R";
  packed->deviceSurface->UnlockRect();
  // A default-pool render target is filled by the device.
  DisplaySurface* target = Target(8, 8);
  GpuNullClearLog();
  SurfaceFillRect(target, 0, 0, 8, 8, 0xFF00FF00);
  EXPECT_TRUE(Logged("ColorFill("));
  EXPECT_FALSE(Logged("LockRect("));
}

TEST_F(SurfaceOps, StretchRectOnlyUnderItsFourConditions) {
  struct Case {
    const char* name;
    uint32_t devCaps2;
    uint32_t filterCaps;
    bool sourceDefault, sourceInTexture, destTarget, destDefault;
    bool stretch;
  };
  const uint32_t kFromTex = kGpuDevCaps2CanStretchRectFromTextures, kLinear = kGpuPtFilterCapsMagfLinear;
  const Case kCases[] = {
      {"all hold", kFromTex, kLinear, true, false, true, true, true},
      {"no texture involved", 0, kLinear, true, false, true, true, true},
      {"texture source, device stretches from textures", kFromTex, kLinear, true, true, true, true, true},
      {"texture source, device cannot", 0, kLinear, true, true, true, true, false},
      {"destination not a render target", kFromTex, kLinear, true, false, false, true, false},
      {"destination in system memory", kFromTex, kLinear, true, false, false, false, false},
      {"source in system memory", kFromTex, kLinear, false, false, true, true, false},
      {"no linear magnification", kFromTex, 0, true, false, true, true, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FreeDirect3DContext();
    GpuAdapterModel model = Model("A", {1024, 768, 60, kX8}, {{1024, 768, 60, kX8}});
    model.caps.devCaps2 = c.devCaps2;
    model.caps.stretchRectFilterCaps = c.filterCaps;
    ASSERT_TRUE(Start({model}));
    ASSERT_EQ(SelectDisplayMode(), 1);
    ASSERT_EQ(CreateD3DDevice(), 1);
    device_ = Record()->device;
    DisplaySurface* source;
    if (c.sourceInTexture) {
      GpuTexture* t = nullptr;
      GpuSurface* s = nullptr;
      ASSERT_EQ(device_->CreateTexture(8, 8, 1, kGpuUsageRenderTarget, kX8, kGpuPoolDefault, &t), kGpuOk);
      ASSERT_EQ(t->GetSurfaceLevel(0, &s), kGpuOk);
      source = Wrapped(s);
      source->deviceTexture = t;
      ++gDeviceTextureCount;
    } else {
      source = Plain(8, 8, kX8, c.sourceDefault ? kGpuPoolDefault : kGpuPoolSystemMem);
    }
    DisplaySurface* dest = c.destTarget ? Target(8, 8) : Plain(8, 8, kX8, c.destDefault ? kGpuPoolDefault : kGpuPoolSystemMem);
    GpuNullClearLog();
    StretchSurface(dest, source);
    EXPECT_EQ(Logged("StretchRect("), c.stretch);
    GpuNullClearLog();
    const SurfaceRect16 whole{0, 0, 8, 8};
    SurfaceCopyRect(source, dest, &whole, &whole);
    EXPECT_EQ(Logged("StretchRect("), c.stretch);
    for (DisplaySurface*& r : records_) ReleaseImageHandle(&r);
    records_.clear();
  }
}

TEST_F(SurfaceOps, CopyBetweenMemorySurfacesConvertsThroughTheImageLayer) {
  DisplaySurface* source = Plain(8, 8, kX8, kGpuPoolSystemMem);
  DisplaySurface* dest = Plain(8, 8, kX8, kGpuPoolSystemMem);
  SurfaceFillRect(source, 0, 0, 8, 8, 0x00336699);
  GpuNullClearLog();
  const SurfaceRect16 from{0, 0, 4, 4}, to{4, 4, 8, 8};
  SurfaceCopyRect(source, dest, &from, &to);
  EXPECT_FALSE(Logged("StretchRect("));
  EXPECT_EQ(Pixel32(dest, 5, 5) & 0xFFFFFF, 0x336699u);
  EXPECT_EQ(Pixel32(dest, 1, 1), 0u);
}

TEST_F(SurfaceOps, LocksAndAFailedSourceLockReleasesTheDestination) {
  DisplaySurface* dest = Plain(8, 8, kX8, kGpuPoolSystemMem);
  DisplaySurface* source = Plain(8, 8, kX8, kGpuPoolSystemMem);
  ASSERT_EQ(LockSurfacePair(dest, source), 1);
  EXPECT_NE(dest->pixels, nullptr);
  EXPECT_NE(source->pixels, nullptr);
  EXPECT_TRUE(dest->flags & kSurfaceLocked);
  UnlockSurfacePair(dest, source);
  EXPECT_EQ(dest->pixels, nullptr);
  EXPECT_FALSE(source->flags & kSurfaceLocked);

  // The source's lock fails: the destination must not stay locked.
  GpuLockedRect held{};
  ASSERT_EQ(source->deviceSurface->LockRect(&held, nullptr, 0), kGpuOk);
  GpuNullClearLog();
  EXPECT_EQ(LockSurfacePair(dest, source), 0);
  EXPECT_EQ(dest->pixels, nullptr);
  EXPECT_FALSE(dest->flags & kSurfaceLocked);
  EXPECT_TRUE(Logged("UnlockRect(")) << "the destination is unlocked on the device too";
  source->deviceSurface->UnlockRect();

  // A render target in the default pool does not lock in full-screen mode.
  DisplaySurface* target = Target(8, 8);
  EXPECT_EQ(LockSurface(target), 0);
  EXPECT_EQ(LockSurface(dest), 1);
  EXPECT_EQ(LockSurface(dest), 1) << "an already locked record stays locked";
  DisplaySurface own{};
  own.flags = kSurfaceOwnPixels;
  EXPECT_EQ(LockSurface(&own), 0);
}

// Movie frames are written into a loaded texture through this lock: the texels must be the
// texture's own memory, and the unlock must leave the record as it found it.
TEST_F(SurfaceOps, TextureTexelsAreTheLoadedTexturesMemoryForOneCopy) {
  WriteFile("screen.dds", Dds(3));
  DisplaySurface* r = Keep(LoadTextureFile("screen", 0, 0));
  ASSERT_NE(r, nullptr);
  TextureTexels texels{};
  ASSERT_TRUE(LockTextureTexels(r, &texels));
  EXPECT_EQ(texels.width, 4);
  EXPECT_EQ(texels.height, 1);
  EXPECT_EQ(texels.bitsPerPixel, 32);
  EXPECT_GE(texels.pitch, 16);
  ASSERT_NE(texels.bits, nullptr);
  const uint32_t written = 0xFF336699u;
  std::memcpy(texels.bits + 2 * 4, &written, 4);
  UnlockTextureTexels(r);
  EXPECT_EQ(r->pixels, nullptr);
  EXPECT_FALSE(r->flags & kSurfaceLocked);
  EXPECT_EQ(Pixel32(r, 2, 0), written);

  // A record someone else holds locked is refused and stays locked for its holder.
  ASSERT_EQ(LockSurface(r), 1);
  EXPECT_FALSE(LockTextureTexels(r, &texels));
  EXPECT_TRUE(r->flags & kSurfaceLocked);
  UnlockSurfacePair(r, r);
  EXPECT_FALSE(LockTextureTexels(nullptr, &texels));
  EXPECT_FALSE(LockTextureTexels(r, nullptr));
}

TEST_F(SurfaceOps, UnknownTextureNameTouchesNoDevice) {
  GpuNullClearLog();
  EXPECT_EQ(LoadTextureFile("missing", 0, 0), nullptr);
  EXPECT_TRUE(GpuNullLog().empty());
}

TEST_F(SurfaceOps, MipLevelsSkippedByTextureQuality) {
  struct Case {
    uint32_t levels;
    uint32_t quality;
    uint32_t offset;
    uint32_t flags;
    uint32_t kept;
  };
  const Case kCases[] = {
      {10, 0, 0, 0, 8},       {8, 0, 0, 0, 7},  {7, 0, 0, 0, 7},  {10, 2, 0, 0, 10},
      {10, 0, 0, 0x40000, 10}, {10, 1, 0, 0, 9}, {10, 2, 2, 0, 8}, {9, 0, 0, 0, 7},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.levels) + " levels, quality " + std::to_string(c.quality));
    WriteFile("mips.dds", Dds(c.levels));
    Record()->textureQuality = c.quality;
    block_.qualityReduction = c.offset;
    DisplaySurface* r = Keep(LoadTextureFile("mips", c.flags, 0));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->deviceTexture->GetLevelCount(), c.kept);
    EXPECT_EQ(r->width, 1 << (c.kept - 1));
    EXPECT_EQ(r->flags & kSurfaceLoadedTexture, kSurfaceLoadedTexture);
    EXPECT_EQ(r->flags & kSurfaceCubeMap, 0u);
  }
}

TEST_F(SurfaceOps, CubeFileGivesItsPositiveXFace) {
  WriteFile("sky.dds", Dds(3, true));
  DisplaySurface* r = Keep(LoadTextureFile("sky", 0, 0));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->flags & kSurfaceCubeMap, kSurfaceCubeMap);
  EXPECT_EQ(r->flags & kSurfaceLoadedTexture, kSurfaceLoadedTexture);
  ASSERT_EQ(r->deviceTexture->GetType(), kGpuRtypeCubeTexture);
  GpuSurface* face = nullptr;
  ASSERT_EQ(static_cast<GpuCubeTexture*>(r->deviceTexture)->GetCubeMapSurface(kGpuCubeFacePositiveX, 0, &face), kGpuOk);
  EXPECT_EQ(face, r->deviceSurface);
  face->Release();
  EXPECT_EQ(r->width, 4);
}

TEST_F(SurfaceOps, FileShorterThanTheHeaderIsNoTexture) {
  std::vector<uint8_t> file = Dds(3);
  // A tiny picture the image layer reads well (a 2x2 bitmap of our own writer, 70 bytes) ends
  // before the word where a DDS header keeps its cube flag.
  DisplaySurface* tiny = Plain(2, 2, kX8, kGpuPoolSystemMem);
  ASSERT_EQ(GpuSaveSurfaceToBmp(dir_.File("tiny.bmp").c_str(), tiny->deviceSurface, nullptr), kGpuOk);
  const std::string bmp = dir_.Read("tiny.bmp");
  ASSERT_LT(bmp.size(), 128u);
  const std::vector<uint8_t> kSizes[] = {std::vector<uint8_t>(file.begin(), file.begin() + 4),
                                         std::vector<uint8_t>(file.begin(), file.begin() + 112),
                                         std::vector<uint8_t>(file.begin(), file.begin() + 127),
                                         std::vector<uint8_t>(bmp.begin(), bmp.end())};
  for (const std::vector<uint8_t>& bytes : kSizes) {
    SCOPED_TRACE(bytes.size());
    WriteFile("short.dds", bytes);
    GpuNullClearLog();
    EXPECT_EQ(LoadTextureFile("short", 0, 0), nullptr);
    EXPECT_TRUE(GpuNullLog().empty());
  }
}

TEST_F(SurfaceOps, ReleasingEveryRecordReturnsTheCounters) {
  const uint32_t bytes = MemGetCurrentBytes();
  const uint32_t video = gDirect3D->videoMemoryBytes;
  WriteFile("a.dds", Dds(4));
  WriteFile("cube.dds", Dds(2, true));
  std::vector<DisplaySurface*> made = {LoadTextureFile("a", 0, 0), LoadTextureFile("cube", 0, 0)};
  for (uint32_t flags : {0x8u | 0x4000u | 0x8000u, 0x8u, 0x8u | 0x8000000u, 0x8u | 0x4000u | 0x80u}) {
    DisplaySurface* r = CreateImageHandle(32, 8, 8, 0);
    r->flags = flags;
    EXPECT_EQ(CreateImageSurface(r), 1);
    made.push_back(r);
  }
  EXPECT_EQ(gDeviceTextureCount, textures_ + 4);
  EXPECT_EQ(gDeviceSurfaceCount, surfaces_ + 6);
  for (DisplaySurface*& r : made) {
    ASSERT_NE(r, nullptr);
    LockSurface(r);
    EXPECT_EQ(ReleaseImageHandle(&r), 0);
  }
  EXPECT_EQ(gDeviceTextureCount, textures_);
  EXPECT_EQ(gDeviceSurfaceCount, surfaces_);
  EXPECT_EQ(MemGetCurrentBytes(), bytes);
  EXPECT_EQ(gDirect3D->videoMemoryBytes, video);
  EXPECT_EQ(ReleaseImageSurface(nullptr), 1);
}

TEST_F(SurfaceOps, ClearRoutineClearsTheScreenAndZeroesOtherTargets) {
  GpuSurface* back = Record()->backBuffer;
  back->AddRef();
  DisplaySurface* screen = Wrapped(back);
  DisplaySurface owner{};
  owner.width = owner.height = 8;
  GpuNullClearLog();
  DisplayClearRoutine(&owner, screen, 0, 0, 0, 0, 4, 4);
  EXPECT_TRUE(Logged("Clear(0, 0x1, 0x00000000, 1, 0)"));
  DisplaySurface* memory = Plain(8, 8, kX8, kGpuPoolSystemMem);
  SurfaceFillRect(memory, 0, 0, 8, 8, 0xFFFFFF);
  DisplayClearRoutine(&owner, memory, 0, 0, 2, 2, 4, 4);
  EXPECT_EQ(Pixel32(memory, 3, 3), 0u);
  EXPECT_EQ(Pixel32(memory, 1, 1), 0xFFFFFFu);
  DisplayClearRoutine(&owner, memory, 0, 0, 6, 6, 4, 4);  // leaves the target: nothing
  EXPECT_EQ(Pixel32(memory, 7, 7), 0xFFFFFFu);
}

TEST_F(SurfaceOps, MarkerPixelsCopyBytesBetweenEightBitSurfaces) {
  uint8_t sourceBytes[16] = {}, targetBytes[64] = {};
  sourceBytes[1 * 4 + 2] = 0x5A;
  DisplaySurface source{}, target{};
  source.pixels = sourceBytes, source.width = 4, source.height = 4, source.pitch = 4, source.bitsPerPixel = 8;
  target.pixels = targetBytes, target.width = 8, target.height = 8, target.pitch = 8, target.bitsPerPixel = 8;
  const PixelMarker points[] = {{2, 1}, {3, 3}, {9, 9}};
  CopyMarkerPixels(points, 3, &source, &target, 4, 5);
  EXPECT_EQ(targetBytes[6 * 8 + 6], 0x5A);
}

using RealSurfaceOps = D3DWorld;

TEST_F(RealSurfaceOps, ScreenshotHoldsTheBackBufferPixels) {
  TempDir dir;
  GpuSetBackend(kGpuBackendOpenGl);
  block_.videoFlags = kVideoFlagWindowed;
  ASSERT_EQ(CreateDirect3D(), 1);
  ASSERT_EQ(SelectDisplayMode(), 1);
  ASSERT_EQ(CreateD3DDevice(), 1);
  GpuDevice* device = gDirect3D->device->device;
  GpuSurface* back = gDirect3D->device->backBuffer;
  const GpuRect left{0, 0, 512, 768};
  ASSERT_EQ(device->Clear(0, nullptr, kGpuClearTarget, 0xFF203040, 1.0f, 0), kGpuOk);
  ASSERT_EQ(device->Clear(1, &left, kGpuClearTarget, 0xFFC08010, 1.0f, 0), kGpuOk);
  const std::string name = dir.File("x");
  ASSERT_EQ(SaveScreenshot(name.c_str()), 1);
  const std::string bmp = dir.Read("x.bmp");
  ASSERT_GT(bmp.size(), 54u);

  // The back buffer read back through a system-memory copy.
  GpuSurfaceDesc desc{};
  ASSERT_EQ(back->GetDesc(&desc), kGpuOk);
  GpuSurface* copy = nullptr;
  ASSERT_EQ(device->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy), kGpuOk);
  ASSERT_EQ(device->GetRenderTargetData(back, copy), kGpuOk);
  GpuLockedRect l{};
  ASSERT_EQ(copy->LockRect(&l, nullptr, kGpuLockReadOnly), kGpuOk);
  const uint32_t rowBytes = (desc.width * 3 + 3) & ~3u;
  ASSERT_EQ(bmp.size(), 54u + size_t(rowBytes) * desc.height);
  size_t differing = 0;
  for (uint32_t y = 0; y < desc.height; ++y) {
    const auto* in = static_cast<const uint8_t*>(l.bits) + size_t(y) * l.pitch;
    const auto* out = reinterpret_cast<const uint8_t*>(bmp.data()) + 54 + size_t(desc.height - 1 - y) * rowBytes;
    for (uint32_t x = 0; x < desc.width; ++x)
      for (int c = 0; c < 3; ++c) differing += in[x * 4 + c] != out[x * 3 + c];
  }
  copy->UnlockRect();
  copy->Release();
  EXPECT_EQ(differing, 0u);
  const auto* first = reinterpret_cast<const uint8_t*>(bmp.data()) + 54 + size_t(desc.height - 1) * rowBytes;
  EXPECT_EQ((std::vector<int>{first[0], first[1], first[2]}), (std::vector<int>{0x10, 0x80, 0xC0}));
  EXPECT_EQ(SaveScreenshot(dir.File("no/such/folder/x").c_str()), 0);
}

}  // namespace
