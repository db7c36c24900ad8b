// The texture handle table: lookup and registration by name, flags, reference counts, the
// on-demand loader's formats, flags and paths, and the release of unused images.
#include "render/texture_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "support/temp_dir.h"

namespace {

struct Load {
  std::string path;
  uint32_t flags;
};
std::vector<Load> gLoads;

DisplaySurface* RecordingLoader(const char* path, uint32_t flags) {
  gLoads.push_back({path, flags});
  return CreateImageHandle(32, 4, 4, kSurfaceNoDevice);
}

// A device surface that counts its unlocks and answers them as told.
class CountingSurface : public GpuSurface {
 public:
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  GpuResult GetDevice(GpuDevice** device) override {
    *device = nullptr;
    return kGpuErrNoInterface;
  }
  uint32_t GetType() override { return 0; }
  GpuResult GetDesc(GpuSurfaceDesc* desc) override {
    *desc = {};
    return kGpuOk;
  }
  GpuResult LockRect(GpuLockedRect*, const GpuRect*, uint32_t) override { return kGpuOk; }
  GpuResult UnlockRect() override {
    ++unlocks;
    return answer;
  }
  GpuResult GetContainer(GpuBaseTexture** container) override {
    *container = nullptr;
    return kGpuErrNoInterface;
  }

  int unlocks = 0;
  GpuResult answer = kGpuOk;
};

// Materials 0..3: 1 opaque, 2 transparent without an image number, 3 transparent with one.
class TextureTable : public ::testing::Test {
 protected:
  void SetUp() override {
    block_ = std::make_unique<SystemBlock>();
    block_->d3dFlags = 0x100;  // textures on
    block_->fontScale = 1;
    previous_ = gSystem;
    gSystem = block_.get();
    for (MaterialRecord& m : materials_) m.transparency = TRANSP_NONE;
    materials_[1].textureNumber = 1;
    materials_[3].textureNumber = 3;
    materials_[3].transparency = 100;
    gMaterialTable = materials_;
    gMaterialCount = 4;
    gTextureFixedCount = 4;
    gTextureAddedCount = 0;
    ASSERT_FALSE(AllocTextureTable());
    PixelFormatDesc opaque{};
    opaque.kind = kFormatKindBits;
    opaque.bitsPerPixel = 32;
    gOpaqueFormatKey = 0;
    gTransparentFormatKey = -1;
    StorePixelFormatDesc(1, opaque);
    SetImageFileLoader(RecordingLoader);
    gLoads.clear();
  }
  void TearDown() override {
    ReleaseAllImages();
    FreeTextureTables();
    ClearPixelFormatTable();
    SetImageFileLoader(nullptr);
    gDeviceIsHal = false;
    gMaterialTable = nullptr;
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    gTextureAddedCount = 0;
    gSystem = previous_;
  }
  static void ReleaseAllImages() {
    for (int32_t id = 0; gTextureTable && id < gTextureFixedCount + gTextureAddedCount; ++id) {
      if (gTextureTable[id].image) ReleaseImageHandle(&gTextureTable[id].image);
    }
  }

  MaterialRecord materials_[4] = {};
  std::unique_ptr<SystemBlock> block_;
  SystemBlock* previous_ = nullptr;
};

TEST_F(TextureTable, NamesFindOneIdAndNumbersAreIdsThemselves) {
  struct Case {
    const char* name;
    int16_t id;  // -100: a new added id
  };
  const int16_t added = 4;
  const Case kCases[] = {
      {"", 0},          {"0", 0},           {"NULL", 0},   {"Null", 0},   {"null", 0},
      {"NuLL", added},  {"wall.tga", 5},    {"WALL", 5},   {"Wall.TGA", 5}, {"12", 12},
      {"-5", -5},       {"70000", 0},       {"-40000", 0}, {"sky.jpeg", 6}, {"sky", 7},
      {"nuLL.bmp", added},
  };
  for (const Case& c : kCases) EXPECT_EQ(FindTextureByName(c.name, 0), c.id) << c.name;
  EXPECT_EQ(gTextureAddedCount, 4);
  EXPECT_STREQ(TextureNameOf(6), "sky.jpeg");
  // A fixed id's name is found as well.
  SetTextureName(2, "hull");
  EXPECT_EQ(FindTextureByName("HULL.dds", 0), 2);
}

TEST_F(TextureTable, TheThousandthNameGrowsTheTableAndIdsStayStable) {
  EXPECT_EQ(TextureTableCapacity(), 1004);
  for (int k = 0; k < 1500; ++k) {
    const std::string name = "t" + std::to_string(k);
    ASSERT_EQ(FindTextureByName(name.c_str(), 0), 4 + k) << name;
    if (k == 998) {
      EXPECT_EQ(TextureTableCapacity(), 1004);
    }
    if (k == 999) {
      EXPECT_EQ(TextureTableCapacity(), 2004);
    }
  }
  EXPECT_EQ(FindTextureByName("t0", 0), 4);
  EXPECT_EQ(FindTextureByName("T1499", 0), 1503);
  EXPECT_EQ(gTextureTable[1600].name, nullptr);  // growth is zero-filled
}

TEST_F(TextureTable, FlagsKeepTheMaterialsDrawBitsAndThePathMarkAsksForBestQuality) {
  materials_[1].flags = 0xFFFFFFFF;
  EXPECT_EQ(SetTextureFlags(1, MPF_ALPHATEST), kMaterialKeptTextureFlags | MPF_ALPHATEST);
  EXPECT_EQ(SetTextureFlags(1, 0), 0u);  // flags 0 change nothing
  EXPECT_EQ(TextureGetFlags(1), kMaterialKeptTextureFlags | MPF_ALPHATEST);
  EXPECT_EQ(SetTextureFlags(99, MPF_ALPHATEST), 0u);
  const int16_t id = FindTextureByName("c:\\art\\logo.png", 1);
  EXPECT_EQ(TextureGetFlags(id), kTexturePathMarkFlags);
  EXPECT_EQ(TextureGetFlags(-1), 0u);

  EXPECT_EQ(TextureAddRef(id), 1);
  EXPECT_EQ(TextureAddRef(id), 2);
  EXPECT_EQ(TextureRelease(id), 1);
  EXPECT_EQ(TextureAddRef(500), 0);
}

TEST_F(TextureTable, NameOfGivesNumbersForUnnamedFixedIds) {
  SetTextureName(2, "hull");
  const int16_t added = FindTextureByName("dust", 0);
  struct Case {
    int32_t id;
    const char* name;
  };
  const Case kCases[] = {{0, ""}, {-3, ""}, {1, "1"}, {2, "hull"}, {added, "dust"}, {added + 1, ""}, {9999, ""}};
  for (const Case& c : kCases) EXPECT_STREQ(TextureNameOf(c.id), c.name) << c.id;
  SetTextureName(added, "");
  EXPECT_STREQ(TextureNameOf(added), "");
}

TEST_F(TextureTable, TheLoaderChoosesPathsByNameNumberAndFontScale) {
  block_->fontScale = 2;
  const int16_t named = FindTextureByName("stars", 0);
  const int16_t fullPath = FindTextureByName("c:\\pics\\me.png", 1);
  SetTextureFlags(1, MPF_FONTSCALE);
  SetTextureFlags(named, MPF_FONTSCALE);
  struct Case {
    int32_t id;
    const char* path;
  };
  const Case kCases[] = {
      {1, "tex\\true\\10001"},
      {3, "tex\\true\\3"},
      {named, "textures\\stars_l"},
      {fullPath, "c:\\pics\\me"},
  };
  for (const Case& c : kCases) {
    gLoads.clear();
    EXPECT_NE(GetTextureHandle(c.id), nullptr) << c.path;
    ASSERT_EQ(gLoads.size(), 1u) << c.path;
    EXPECT_EQ(gLoads[0].path, c.path);
  }
  // Loaded once: a second ask finds the image.
  gLoads.clear();
  EXPECT_NE(GetTextureHandle(1), nullptr);
  EXPECT_EQ(TextureGetWidth(1), 4);
  EXPECT_TRUE(gLoads.empty());
  // A material without an image number never loads.
  EXPECT_EQ(GetTextureHandle(2), nullptr);
  EXPECT_FALSE(IsTextureReady(2));
  EXPECT_TRUE(gLoads.empty());
  // Textures switched off load nothing.
  block_->d3dFlags = 0;
  EXPECT_EQ(GetTextureHandle(named + 2), nullptr);
  EXPECT_TRUE(gLoads.empty());
}

TEST_F(TextureTable, LoadFlagsFollowTheTextureTheDeviceAndTheFormat) {
  struct Case {
    const char* what;
    uint32_t textureFlags;
    uint32_t d3dFlags;
    bool hal;
    uint32_t bits;
    uint32_t load;
  };
  const Case kCases[] = {
      {"filtered", 0, 0x100, false, 32, 0x4000402C | 0x82000},
      {"filtered with mipmaps", 0, 0x2000100, false, 32, 0x4000402C | 0x8000 | 0x82000},
      {"unfiltered", MPF_NOFILTERING, 0x2000100, false, 32, 0x402C | 0x82000},
      {"readable", MPF_READABLE, 0x100, false, 32, 0x402C | 0x82000},
      {"best quality", MPF_BESTQUALITY, 0x100, false, 32, 0x402C | 0x82000},
      {"hardware device", 0, 0x100, true, 32, 0x4400402C | 0x82000},
      {"depth 16", 0, 0x100, false, 16, 0x4000402C | 0x100100},
      {"depth 24", 0, 0x100, false, 24, 0x4000402C | 0x80200},
  };
  for (const Case& c : kCases) {
    PixelFormatDesc desc{};
    desc.kind = kFormatKindBits;
    desc.bitsPerPixel = c.bits;
    StorePixelFormatDesc(1, desc);
    block_->d3dFlags = c.d3dFlags;
    gDeviceIsHal = c.hal;
    const int16_t id = FindTextureByName(c.what, 0);
    SetTextureFlags(id, c.textureFlags);
    gLoads.clear();
    EXPECT_TRUE(EnsureTextureLoaded(id)) << c.what;
    ASSERT_EQ(gLoads.size(), 1u) << c.what;
    EXPECT_EQ(gLoads[0].flags, c.load) << c.what;
  }
}

TEST_F(TextureTable, ATransparentTextureWithoutItsOwnFormatUsesTheOpaqueOne) {
  // Both device formats the same: no transparent descriptor exists.
  EXPECT_NE(GetTextureHandle(3), nullptr);
  ASSERT_EQ(gLoads.size(), 1u);
  // With a transparent descriptor of 16 bits, that one is chosen.
  ReleaseAllImages();
  PixelFormatDesc transparent{};
  transparent.kind = kFormatKindBits;
  transparent.bitsPerPixel = 16;
  gTransparentFormatKey = 5;
  StorePixelFormatDesc(6, transparent);
  gLoads.clear();
  EXPECT_NE(GetTextureHandle(3), nullptr);
  ASSERT_EQ(gLoads.size(), 1u);
  EXPECT_EQ(gLoads[0].flags & 0x182300, 0x100100u);
  // Unless the settings ask for the opaque format always.
  ReleaseAllImages();
  block_->d3dFlags |= 0x1000000;
  gLoads.clear();
  EXPECT_NE(GetTextureHandle(3), nullptr);
  EXPECT_EQ(gLoads[0].flags & 0x182300, 0x82000u);
}

// A null device behind the renderer for the tests whose images need device storage.
class NullDeviceScope {
 public:
  NullDeviceScope() {
    GpuSetBackend(kGpuBackendNull);
    system_ = GpuCreateSystem(kGpuSdkVersion);
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = parameters.backBufferHeight = 16;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.windowed = 1;
    EXPECT_EQ(system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters,
                                    &record_.device),
              kGpuOk);
    DescribePixelFormat(&format_, kGpuFmtA8R8G8B8);
    record_.opaqueFormat = record_.alphaFormat = record_.thirdFormat = &format_;
    context_.device = &record_;
    gDirect3D = &context_;
  }
  ~NullDeviceScope() {
    gDirect3D = nullptr;
    if (record_.device) record_.device->Release();
    system_->Release();
    GpuSetBackend(kGpuBackendOpenGl);
  }

 private:
  GpuSystem* system_ = nullptr;
  PixelFormatDesc format_{};
  DeviceRecord record_{};
  Direct3DContext context_{};
};

TEST_F(TextureTable, AGeneratedTextureIsLoadedOnlyWhenItsImageWasCreated) {
  NullDeviceScope device;
  SetTextureFlags(1, MPF_GENERATED | MPF_FONTSCALE);
  materials_[1].width = 64;
  materials_[1].height = 32;
  block_->fontScale = 2;
  EXPECT_TRUE(EnsureTextureLoaded(1));
  EXPECT_EQ(TextureGetWidth(1), 128);
  EXPECT_EQ(TextureGetHeight(1), 64);
  EXPECT_TRUE(gLoads.empty());
  // No material size: the creation fails, and the id is not reported loaded.
  const int16_t id = FindTextureByName("canvas", 0);
  SetTextureFlags(id, MPF_GENERATED);
  EXPECT_FALSE(EnsureTextureLoaded(id));
  EXPECT_EQ(GetTextureHandle(id), nullptr);
  ReleaseAllImages();  // while the device is there
}

TEST_F(TextureTable, FreeingUnusedKeepsHeldAndResidentImages) {
  const int16_t held = FindTextureByName("held", 0);
  const int16_t resident = FindTextureByName("resident", 0);
  const int16_t loose = FindTextureByName("loose", 0);
  SetTextureFlags(resident, kTextureResident);
  for (int16_t id : {held, resident, loose}) ASSERT_NE(GetTextureHandle(id), nullptr);
  TextureAddRef(held);
  FreeUnusedTextures();
  EXPECT_NE(gTextureTable[held].image, nullptr);
  EXPECT_NE(gTextureTable[resident].image, nullptr);
  EXPECT_EQ(gTextureTable[loose].image, nullptr);
  // The name stays: the next use loads it again.
  gLoads.clear();
  EXPECT_NE(GetTextureHandle(loose), nullptr);
  EXPECT_EQ(gLoads.size(), 1u);
}

TEST_F(TextureTable, UnlockingAllReleasesLockedImagesExceptThoseKeptLocked) {
  struct Case {
    const char* what;
    uint32_t flags;
    bool pixels;
    bool surface;
    GpuResult answer;
    int unlocks;
    bool stillLocked;
  };
  const Case kCases[] = {
      {"locked", kSurfaceLocked, true, true, kGpuOk, 1, false},
      {"pixels without the flag", 0, true, true, kGpuOk, 1, false},
      {"flag without pixels", kSurfaceLocked, false, true, kGpuOk, 1, false},
      {"not locked", 0, false, true, kGpuOk, 0, false},
      {"kept locked", kSurfaceLocked | kSurfaceOwnPixels, true, true, kGpuOk, 0, true},
      {"no device surface", kSurfaceLocked, true, false, kGpuOk, 0, true},
      {"unlock refused", kSurfaceLocked, true, true, kGpuErrFail, 1, true},
  };
  uint8_t texels[16] = {};
  for (const Case& c : kCases) {
    const int16_t id = FindTextureByName(c.what, 0);
    ASSERT_NE(GetTextureHandle(id), nullptr) << c.what;
    CountingSurface surface;
    surface.answer = c.answer;
    DisplaySurface* image = gTextureTable[id].image;
    image->flags = c.flags;
    image->pixels = c.pixels ? texels : nullptr;
    image->deviceSurface = c.surface ? &surface : nullptr;
    TexturesUnlockAll();
    EXPECT_EQ(surface.unlocks, c.unlocks) << c.what;
    EXPECT_EQ((image->flags & kSurfaceLocked) != 0 || image->pixels != nullptr, c.stillLocked) << c.what;
    image->flags = 0;
    image->pixels = nullptr;
    image->deviceSurface = nullptr;
  }
}

TEST_F(TextureTable, APictureTextureLoadsThePlayersChosenPicture) {
  SetTextureFlags(1, MPF_IMPORTPICTURE);
  // No source, or no picture chosen: nothing loads.
  EXPECT_FALSE(EnsureTextureLoaded(1));
  SetImportPictureSource([]() -> const char* { return nullptr; });
  EXPECT_FALSE(EnsureTextureLoaded(1));
  EXPECT_TRUE(gLoads.empty());
  SetImportPictureSource([]() -> const char* { return "images\\logo02.jpg"; });
  EXPECT_TRUE(EnsureTextureLoaded(1));
  ASSERT_EQ(gLoads.size(), 1u);
  EXPECT_EQ(gLoads[0].path, "images\\logo02.jpg");
  EXPECT_EQ(gLoads[0].flags, 0x4000402Cu | 0x82000u);
  SetImportPictureSource(nullptr);
}

class TextureBundle : public TextureTable {
 protected:
  void SetUp() override {
    TextureTable::SetUp();
    previousFolder_ = CurrentFolder();
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    block_->modeFlags = kModeGenerateRdf;
    // 1 opaque, 3 transparent, both numbered; 2 has no image.
    materials_[1].flags = MPF_READABLE | MPF_TEXTUREALPHA;
    materials_[3].flags = MPF_TEXTUREALPHA;
    materials_[3].width = 64;
    materials_[3].height = 32;
    dir_.Write("tex/true/3.tga", "TGA");
  }
  void TearDown() override {
    SetTextureBundleFolder(nullptr);
    EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
    TextureTable::TearDown();
  }
  static std::string CurrentFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : ".";
  }
  static std::string WithoutStamp(std::string text) {
    const size_t at = text.find("generated: ");
    const size_t end = text.find('\n', at);
    return at == std::string::npos ? text : text.erase(at + 11, end - at - 11);
  }

  TempDir dir_;
  std::string previousFolder_;
};

TEST_F(TextureBundle, DescribesEveryNumberedTextureUnderItsFolder) {
  SetTextureBundleFolder("out");
  WriteTextureBundleRdf();
  EXPECT_EQ(WithoutStamp(dir_.Read("out/tex/tex.rdf")),
            "// RDF file for generating the permanent texture pool\n// Time generated: \n"
            "out_header out\\tex\\tex.h\nout_packedresource out\\true\\tex.xpr\nout_error out\\tex\\tex.err\n");
  EXPECT_EQ(WithoutStamp(dir_.Read("out/makexpr.bat")),
            "REM *** This file autogenerated by Wilo Debug Version with option -generaterdf\n"
            "REM *** Time generated: \n"
            "out\\bundler out\\tex\\1.rdf\nout\\bundler out\\tex\\3.rdf\nout\\bundler out\\tex\\tex.rdf\n");
  // A missing TGA source is described as a JPEG.
  EXPECT_EQ(dir_.Read("out/tex/1.rdf"),
            "out_header out\\tex\\tex1.h\nout_packedresource out\\true\\1.xpr\nout_error out\\tex\\1.err\n"
            "Texture tex1 { Source tex\\true\\1.jpg Format D3DFMT_LIN_A8R8G8B8 Levels 1 }\n");
  EXPECT_EQ(dir_.Read("out/tex/3.rdf"),
            "out_header out\\tex\\tex3.h\nout_packedresource out\\true\\3.xpr\nout_error out\\tex\\3.err\n"
            "Texture tex3 { Source tex\\true\\3.tga Format D3DFMT_DXT5 Levels 0 Width 64 Height 32 }\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out/tex/2.rdf")));
}

TEST_F(TextureBundle, FormatsFollowTheMaterialFlags) {
  struct Case {
    uint32_t flags;
    const char* format;
  };
  const Case kCases[] = {
      {MPF_WRITEABLE, "Format D3DFMT_LIN_X8R8G8B8 Levels 1 "},
      {MPF_READABLE | MPF_TEXTUREALPHA, "Format D3DFMT_LIN_A8R8G8B8 Levels 1 "},
      {MPF_NOCOMPRESS, "Format D3DFMT_X8R8G8B8 Levels 0 "},
      {MPF_NOCOMPRESS | MPF_TEXTUREALPHA, "Format D3DFMT_A8R8G8B8 Levels 0 "},
      {MPF_TEXTUREALPHA, "Format D3DFMT_DXT5 Levels 0 "},
      {MPF_TEXTUREALPHA | MPF_ALPHATEST, "Format D3DFMT_DXT1 Levels 0 "},
      {0, "Format D3DFMT_DXT1 Levels 0 "},
  };
  for (const Case& c : kCases) {
    materials_[1].flags = c.flags;
    WriteTextureBundleRdf();
    EXPECT_NE(dir_.Read("rdf/tex/1.rdf").find(c.format), std::string::npos) << c.format;
  }
  // Generated textures are left out, and without the option nothing is written.
  materials_[3].flags = MPF_GENERATED;
  std::filesystem::remove_all(dir_.File("rdf"));
  WriteTextureBundleRdf();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("rdf/tex/3.rdf")));
  std::filesystem::remove_all(dir_.File("rdf"));
  block_->modeFlags = 0;
  WriteTextureBundleRdf();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("rdf")));
}

}  // namespace
