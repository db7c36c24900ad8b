// Device creation on described adapters: the formats, antialiasing, anisotropy, vertex data,
// the shader profile with its folder and lookup images, the state manager and the first render
// states; and one real device on the OpenGL backend.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/render.h"
#include "render/render_logo.h"
#include "render/state_manager.h"
#include "support/d3d_world.h"

namespace {

constexpr uint32_t kX8 = kGpuFmtX8R8G8B8, kA8 = kGpuFmtA8R8G8B8;
using Strings = std::vector<std::string>;

Strings gLoaded;

DisplaySurface* RecordingLoader(const char* name, uint32_t flags) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %x", name, flags);
  gLoaded.push_back(line);
  return CreateImageHandle(32, 1, 1, kSurfaceNoDevice);
}

class DeviceCreation : public D3DWorld {
 protected:
  void SetUp() override {
    D3DWorld::SetUp();
    gLoaded.clear();
    SetImageFileLoader(RecordingLoader);
    model_ = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
  }
  void TearDown() override {
    D3DWorld::TearDown();
    SetImageFileLoader(nullptr);
  }

  // Counts the adapters of model_, selects the configured mode and creates the device.
  int32_t Create() {
    if (!Start({model_}) || SelectDisplayMode() != 1) return -1;
    GpuNullClearLog();
    gLoaded.clear();
    return CreateD3DDevice();
  }
  GpuAdapterModel model_;
};

TEST_F(DeviceCreation, ProfileAndQualityChooseTheShaderSetAndItsImages) {
  const Strings kFixed = {"\\NONE_WHITE 80040000",      "\\NONE_BLACK 80040000", "\\NONE_NORMAL 80040000",
                          "\\NONE_NORMAL_LOW 80040000", "\\NONE_OCCL_DECAL 80040000", "\\NONE_GRAY 80040000",
                          "\\NONE_ENVI 80040000",       "\\ENVI 80040000"};
  struct Case {
    const char* profile;
    uint32_t quality;
    const char* active;
    const char* folder;
    const char* version;
    float factor;
    uint8_t shader20, environment, glow;
    size_t lookups;  // images loaded before the eight fixed ones
    const char* firstLookup;
    const char* lastLookup;
  };
  const Case kCases[] = {
      {"ps_3_0", 1, "ps_1_4", "1_4", "1.4", 1.15f, 0, 1, 0, 12, "\\morvai_lighting_blinn_G16R16 80040000",
       "\\normalize_10bit_ABGR 80040000"},
      {"ps_3_0", 2, "ps_3_0", "3_0", "3.0", 1.0f, 1, 1, 1, 0, nullptr, nullptr},
      {"ps_2_0", 2, "ps_2_0", "2_0", "2.0", 1.0f, 1, 1, 1, 13, "\\morvai_lighting_G16R16 80040000",
       "\\normalize_10bit_ABGR 80040000"},
      {"ps_2_b", 1, "ps_1_4", "1_4", "1.4", 1.15f, 0, 1, 0, 12, "\\morvai_lighting_blinn_G16R16 80040000",
       "\\normalize_10bit_ABGR 80040000"},
      {"ps_2_a", 2, "ps_2_a", "2_a", "2.a", 1.0f, 1, 1, 1, 13, nullptr, nullptr},
      {"ps_2_b", 2, "ps_2_b", "2_b", "2.b", 1.0f, 1, 1, 1, 0, nullptr, nullptr},
      {"ps_1_4", 1, "ps_1_4", "1_4", "1.4", 1.15f, 0, 1, 0, 12, "\\morvai_lighting_blinn_G16R16 80040000", nullptr},
      {"ps_1_2", 0, "ps_1_2", "1_1", "1.1", 1.0f, 0, 0, 0, 12, "\\morvai_lighting_G16R16 80040000",
       "\\normalize_10bit_ABGR 80040000"},
      {"ps_1_1", 0, "ps_1_1", "1_1", "1.1", 1.4f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_1_3", 0, "ps_1_1", "1_1", "1.1", 1.4f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_1_4", 0, "ps_1_1", "1_1", "1.1", 1.3f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_2_0", 0, "ps_1_1", "1_1", "1.1", 1.3f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_2_a", 0, "ps_1_1", "1_1", "1.1", 1.2f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_3_0", 0, "ps_1_1", "1_1", "1.1", 1.2f, 0, 0, 0, 0, nullptr, nullptr},
      {"ps_2_b", 0, "ps_1_1", "1_1", "1.1", 1.2f, 0, 0, 0, 0, nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.profile) + " quality " + std::to_string(c.quality));
    model_.pixelShaderProfile = c.profile;
    block_.shaderQuality = c.quality;
    block_.d3dFlags2 = kD3D2Glow | kD3D2Below14 | kD3D2Not20;
    ASSERT_EQ(Create(), 1);
    const DeviceRecord* r = Record();
    EXPECT_STREQ(r->hardwareProfile, c.profile);
    EXPECT_STREQ(r->activeProfile, c.active);
    EXPECT_STREQ(ShaderProfileName(), c.active);
    EXPECT_STREQ(r->shaderFolder, c.folder);
    EXPECT_STREQ(block_.shaderVersionText, c.version);
    EXPECT_FLOAT_EQ(block_.shaderQualityFactor, c.factor);
    EXPECT_EQ(r->shader20, c.shader20);
    EXPECT_EQ(r->environmentMap, c.environment);
    EXPECT_EQ(r->glowFilter, c.glow);
    EXPECT_EQ((block_.d3dFlags2 & kD3D2Glow) != 0, c.glow != 0);
    EXPECT_EQ((block_.d3dFlags2 & kD3D2Below14) != 0, std::string(c.folder) == "1_1");
    EXPECT_EQ((block_.d3dFlags2 & kD3D2Not20) != 0, c.shader20 == 0);
    ASSERT_EQ(gLoaded.size(), c.lookups + 8);
    EXPECT_EQ(Strings(gLoaded.end() - 8, gLoaded.end()), kFixed);
    if (c.firstLookup) {
      EXPECT_EQ(gLoaded.front(), c.firstLookup);
    }
    if (c.lastLookup) {
      EXPECT_EQ(gLoaded[c.lookups - 1], c.lastLookup);
    }
    if (c.lookups > 0) {
      EXPECT_EQ(gLoaded[9].substr(0, 9), "\\default_");
    }
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, LookupImageNamesFollowTheFormatsTheDeviceTakes) {
  model_.pixelShaderProfile = "ps_2_0";
  block_.shaderQuality = 2;
  model_.textureFormats = {kX8, kA8, kGpuFmtL8, kGpuFmtA2R10G10B10};
  ASSERT_EQ(Create(), 1);
  EXPECT_EQ(gLoaded.front(), "\\morvai_lighting_XRGB8 80040000");
  EXPECT_EQ(gLoaded[10], "\\pow_L8 80040000");
  EXPECT_EQ(gLoaded[11], "\\derive_z_L8 80040000");
  EXPECT_EQ(gLoaded[12], "\\normalize_10bit_ARGB 80040000");
}

TEST_F(DeviceCreation, LookupImageNamesFollowEachRequirementAnswer) {
  struct Case {
    const char* what;
    std::vector<uint32_t> formats;  // the texture formats the adapter takes
    Strings lookups;                // lighting (first only), exponent, depth, normalisation
  };
  const Case kCases[] = {
      {"every wanted format",
       {kX8, kA8, kGpuFmtG16R16, kGpuFmtL16, kGpuFmtA2B10G10R10},
       {"\\morvai_lighting_G16R16 80040000", "\\pow_L16 80040000", "\\derive_z_L16 80040000",
        "\\normalize_10bit_ABGR 80040000"}},
      // The wide formats stand in for the wanted ones: the exponent answer is neither L16 nor L8,
      // so the depth image takes the level count in its flags.
      {"wide stand-ins",
       {kX8, kA8, kGpuFmtA16B16G16R16},
       {"\\morvai_lighting_XRGB8 80040000", "\\pow_L8 80040000", "\\derive_z_L8 80040001",
        "\\normalize_16bit_ABGR 80040000"}},
      {"plain colour only",
       {kX8, kA8},
       {"\\morvai_lighting_XRGB8 80040000", "\\pow_L8 80040000", "\\derive_z_L8 80040001",
        "\\normalize_8bit 80040000"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    model_.pixelShaderProfile = "ps_2_0";
    model_.textureFormats = c.formats;
    block_.shaderQuality = 2;
    ASSERT_EQ(Create(), 1);
    ASSERT_EQ(gLoaded.size(), 21u);
    EXPECT_EQ((Strings{gLoaded[0], gLoaded[10], gLoaded[11], gLoaded[12]}), c.lookups);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, ProfileOutsideTheKnownSetsFails) {
  for (const char* profile : {"vs_3_0", "ps_4_0", ""}) {
    model_.pixelShaderProfile = profile;
    EXPECT_EQ(Create(), 0) << profile;
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, FolderSuffixFollowsTheHueAndLightSettings) {
  struct Case {
    uint32_t flags2;
    const char* folder;
  };
  const Case kCases[] = {{0, "3_0"},
                         {kD3D2HueShiftOff | kD3D2VertexLightsOff, "3_0\\hue_lights_off"},
                         {kD3D2HueShiftOff, "3_0\\hueshift_off"},
                         {kD3D2VertexLightsOff, "3_0\\v_lights_off"}};
  block_.shaderQuality = 2;
  for (const Case& c : kCases) {
    block_.d3dFlags2 = c.flags2;
    ASSERT_EQ(Create(), 1);
    EXPECT_STREQ(Record()->shaderFolder, c.folder);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, AntialiasingFallsBackToTwoSamplesThenNone) {
  struct Case {
    uint32_t flags;
    uint32_t mode;
    std::vector<uint32_t> offered;
    uint32_t samples;
    const char* name;
  };
  const Case kCases[] = {
      {kD3DAntialias, 2, {2, 6}, 6, "6x"}, {kD3DAntialias, 2, {2, 4}, 2, "2x"}, {kD3DAntialias, 2, {4}, 0, "NONE"},
      {kD3DAntialias, 3, {8}, 8, "8x"},    {kD3DAntialias, 9, {2}, 2, "2x"},    {0, 1, {2, 4}, 0, "NONE"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.mode);
    model_.multiSampleTypes = c.offered;
    block_.d3dFlags = c.flags;
    block_.antialiasMode = c.mode;
    ASSERT_EQ(Create(), 1);
    EXPECT_EQ(Record()->presentParameters.multiSampleType, c.samples);
    EXPECT_STREQ(Record()->multiSampleName, c.name);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, AnisotropyLevelIsCappedButItsNameIsNot) {
  struct Case {
    int32_t filter;
    uint32_t flags2;
    uint32_t maxAnisotropy;
    int32_t level;
    const char* name;
  };
  const Case kCases[] = {
      {3, kD3D2Anisotropic, 8, 8, "16x"}, {0, kD3D2Anisotropic, 16, 2, "2x"}, {2, kD3D2Anisotropic, 16, 8, "8x"},
      {7, kD3D2Anisotropic, 16, 2, "2x"}, {-1, kD3D2Anisotropic, 16, 1, "NONE"}, {3, 0, 16, 1, "NONE"},
      {3, kD3D2Anisotropic, 1, 1, "NONE"},  // no anisotropic filtering at all
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.filter);
    model_ = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
    model_.caps = GpuDefaultAdapterModel(c.maxAnisotropy, true).caps;
    block_.filterMode = static_cast<uint32_t>(c.filter);
    block_.d3dFlags2 = c.flags2;
    ASSERT_EQ(Create(), 1);
    EXPECT_EQ(Record()->anisotropyLevel, c.level);
    EXPECT_EQ(Record()->anisotropic, c.level > 1 || std::string(c.name) != "NONE");
    EXPECT_STREQ(Record()->anisotropyName, c.name);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, DepthFormatPrefersMoreBitsAndLaterFormatsWithoutStencil) {
  struct Case {
    std::vector<uint32_t> depth;
    uint32_t chosen;
    bool stencilKept;
  };
  const Case kCases[] = {
      {{kGpuFmtD24S8, kGpuFmtD24X8}, kGpuFmtD24X8, false},
      {{kGpuFmtD24S8, kGpuFmtD16}, kGpuFmtD24S8, true},
      {{kGpuFmtD16, kGpuFmtD32, kGpuFmtD24S8}, kGpuFmtD32, false},
      {{kGpuFmtD15S1, kGpuFmtD16}, kGpuFmtD16, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.chosen);
    model_.depthFormats = c.depth;
    block_.d3dFlags = kD3DStencil;
    ASSERT_EQ(Create(), 1);
    EXPECT_EQ(Record()->presentParameters.autoDepthStencilFormat, c.chosen);
    EXPECT_EQ((block_.d3dFlags & kD3DStencil) != 0, c.stencilKept);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, BackBufferPassesOverAnAlphaFormatAcceptedFirst) {
  ASSERT_EQ(Create(), 1);
  EXPECT_EQ(Record()->presentParameters.backBufferFormat, kA8);  // the last accepted
  EXPECT_EQ(Record()->backBufferFormat->formatIndex, 1u);
  FreeDirect3DContext();

  // With X8R8G8B8 refused at creation, A8R8G8B8 is the first accepted and is not taken alone.
  ASSERT_TRUE(Start({model_}));
  ASSERT_EQ(SelectDisplayMode(), 1);
  GpuInjectResult("CheckDeviceType", kGpuErrNotAvailable);
  EXPECT_EQ(CreateD3DDevice(), 0);
}

TEST_F(DeviceCreation, TextureFormatsTakeTheWidestOfEachKind) {
  struct Case {
    std::vector<uint32_t> formats;
    uint32_t opaque, alpha;
    bool noAlphaFlag;
    int32_t result;
  };
  const Case kCases[] = {
      {{kGpuFmtR5G6B5, kX8, kA8, kGpuFmtA4R4G4B4, kGpuFmtG16R16}, kX8, kA8, false, 1},
      {{kGpuFmtA4R4G4B4, kA8}, kA8, kA8, false, 1},
      {{kGpuFmtR5G6B5, kX8}, kX8, kX8, true, 1},
      {{kGpuFmtV8U8}, 0, 0, false, 0},  // listed but describable as nothing: no device
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.opaque);
    model_.textureFormats = c.formats;
    block_.d3dFlags = 0;
    ASSERT_EQ(Create(), c.result);
    if (c.result == 1) {
      const DeviceRecord* r = Record();
      EXPECT_EQ(FormatTableCode(r->opaqueFormat->formatIndex), c.opaque);
      EXPECT_EQ(FormatTableCode(r->alphaFormat->formatIndex), c.alpha);
      EXPECT_EQ(FormatTableCode(r->thirdFormat->formatIndex), c.alpha);
      EXPECT_EQ((block_.d3dFlags & kD3DNoAlphaTextures) != 0, c.noAlphaFlag);
      ASSERT_NE(FindPixelFormatDesc(gOpaqueFormatKey + 1), nullptr);
      EXPECT_EQ(FindPixelFormatDesc(gOpaqueFormatKey + 1)->bitsPerPixel, 32u);
      EXPECT_EQ(gTransparentFormatKey == -1, c.opaque == c.alpha);
    }
    FreeDirect3DContext();
    ClearPixelFormatTable();
  }
}

TEST_F(DeviceCreation, DeviceIsMadeWithItsParametersAndFirstStates) {
  block_.videoFlags = kVideoFlagWindowed;
  block_.screenWidth = 1280;
  block_.screenHeight = 1024;
  block_.textureQuality = 2;
  ASSERT_EQ(Create(), 1);
  const DeviceRecord* r = Record();
  const GpuPresentParameters& pp = r->presentParameters;
  EXPECT_EQ(pp.backBufferWidth, 1280u);
  EXPECT_EQ(pp.backBufferHeight, 1024u);
  EXPECT_EQ(pp.backBufferCount, 1u);
  EXPECT_EQ(pp.windowed, 1);
  EXPECT_EQ(pp.flags, kGpuPresentFlagDiscardDepthStencil | kGpuPresentFlagLockableBackBuffer);
  EXPECT_EQ(pp.presentationInterval, kGpuPresentIntervalImmediate);
  EXPECT_EQ(r->adapter->behaviorFlags, kGpuCreateHardwareVertexProcessing | kGpuCreateFpuPreserve | kGpuCreatePureDevice);
  EXPECT_EQ(r->vertexDeclFlags, kVertexDeclHalfFloat | kVertexDeclDec3n);
  EXPECT_EQ(r->textureQuality, 2u);
  EXPECT_EQ(r->mode, &r->adapter->windowedModes[r->modeIndex]);
  EXPECT_NE(r->backBuffer, nullptr);
  EXPECT_NE(r->depthStencil, nullptr);
  EXPECT_TRUE(DeviceIsHal());
  // The 3D set-up's words: no render-entry template exists, the further word stays 0.
  EXPECT_EQ(r->renderEntryTemplates[0], nullptr);
  EXPECT_EQ(r->renderEntryTemplates[1], nullptr);
  EXPECT_EQ(r->gammaBlockWord, 0);

  const Strings log = GpuNullLog();
  const auto first = std::find(log.begin(), log.end(), "BeginScene()");
  ASSERT_NE(first, log.end());
  EXPECT_EQ(Strings(first, first + 4), (Strings{"BeginScene()", "SetViewport(0, 0, 1280, 1024, 0, 1)",
                                                "Clear(0, 0x3, 0x00000000, 1, 0)", "EndScene()"}));
  auto state = [](uint32_t s, uint32_t v) { return "SetRenderState(" + std::to_string(s) + ", " + std::to_string(v) + ")"; };
  EXPECT_EQ(Strings(log.end() - 6, log.end()),
            (Strings{state(kGpuRsBlendOp, kGpuBlendOpAdd), state(kGpuRsBlendOpAlpha, kGpuBlendOpAdd),
                     state(kGpuRsAlphaFunc, kGpuCmpGreaterEqual), state(kGpuRsAlphaRef, 90), state(kGpuRsLighting, 0),
                     state(kGpuRsColorVertex, 0)}));

  // A pure device got the caching manager: the same state again does not reach the device.
  GpuNullClearLog();
  gDirect3D->stateManager->SetRenderState(kGpuRsAlphaRef, 90);
  EXPECT_TRUE(GpuNullLog().empty());
}

TEST_F(DeviceCreation, PresentParametersFollowTheWindowedSetting) {
  struct Case {
    uint32_t videoFlags;
    int32_t windowed;
    uint32_t presentFlags;
  };
  const Case kCases[] = {
      {0, 0, kGpuPresentFlagDiscardDepthStencil},
      {kVideoFlagWindowed, 1, kGpuPresentFlagDiscardDepthStencil | kGpuPresentFlagLockableBackBuffer},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.windowed);
    block_.videoFlags = c.videoFlags;
    ASSERT_EQ(Create(), 1);
    const DeviceRecord* r = Record();
    const GpuPresentParameters& pp = r->presentParameters;
    EXPECT_EQ(pp.windowed, c.windowed);
    EXPECT_EQ(pp.flags, c.presentFlags);
    EXPECT_EQ(pp.swapEffect, kGpuSwapEffectDiscard);
    EXPECT_EQ(pp.enableAutoDepthStencil, 1);
    EXPECT_EQ(pp.backBufferWidth, 1024u);
    EXPECT_EQ(pp.backBufferHeight, 768u);
    const DisplayModeRecord* modes = c.windowed ? r->adapter->windowedModes : r->adapter->fullscreenModes;
    EXPECT_EQ(r->mode, &modes[r->modeIndex]);
    FreeDirect3DContext();
  }
}

TEST_F(DeviceCreation, SoftwareProcessingAndNoHalfFloatsFollowTheCapsAndSettings) {
  model_.caps.devCaps &= ~kGpuDevCapsHwTransformAndLight;
  model_.caps.declTypes = kGpuDtCapsFloat16x2 | kGpuDtCapsFloat16x4;
  block_.d3dFlags2 = kD3D2NoHalfFloat;
  ASSERT_EQ(Create(), 1);
  EXPECT_EQ(Record()->adapter->behaviorFlags, kGpuCreateSoftwareVertexProcessing);
  EXPECT_EQ(Record()->vertexDeclFlags, 0u);
  GpuNullClearLog();
  gDirect3D->stateManager->SetRenderState(kGpuRsAlphaRef, 90);
  EXPECT_EQ(GpuNullLog().size(), 1u);  // the forwarding manager
}

TEST_F(DeviceCreation, FailuresLeaveNoDeviceAndFreeEverything) {
  struct Case {
    const char* what;
    const char* inject;
    uint32_t times, skip;
    int32_t ordinal;
    bool replaceMode;  // else the mode the selection chose
    uint32_t format, index;
  };
  const Case kCases[] = {
      {"refused device", "CreateDevice", 1, 0, 0, false, 0, 0},
      {"no chosen adapter", nullptr, 0, 0, -1, false, 0, 0},
      {"no chosen mode format", nullptr, 0, 0, 0, true, 0, 0},
      {"mode index past the table", nullptr, 0, 0, 0, true, kX8, 1},
      {"no depth format the back buffer matches", "CheckDepthStencilMatch", 3, 0, 0, false, 0, 0},
      // The mode listed texture formats, but the device takes none of them when it is made: the
      // device is not made with empty texture descriptors.
      {"no texture format at all", "CheckDeviceFormat", 64, 3, 0, false, 0, 0},
      {"no state manager", "GetCreationParameters", 1, 0, 0, false, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const uint32_t bytes = MemGetCurrentBytes();
    ASSERT_TRUE(Start({model_}));
    ASSERT_EQ(SelectDisplayMode(), 1);
    const DisplaySelection& s = CurrentDisplaySelection();
    *s.adapterOrdinal = c.ordinal;
    if (c.replaceMode) *s.modeFormat = c.format, *s.modeIndex = c.index;
    if (c.inject) GpuInjectResult(c.inject, kGpuErrNotAvailable, c.times, c.skip);
    EXPECT_EQ(CreateD3DDevice(), 0);
    GpuClearInjections();
    FreeDirect3DContext();
    Selection(nullptr, -1, 0, 0);
    EXPECT_EQ(MemGetCurrentBytes(), bytes);
  }
}

TEST(MultiSampleNames, EachTypeHasItsName) {
  struct Case {
    uint32_t type;
    const char* name;
  };
  const Case kCases[] = {{0, "NONE"}, {2, "2x"}, {3, "NONE"}, {4, "4x"}, {6, "6x"}, {8, "8x"}, {16, "16x"}, {7, "NONE"}};
  for (const Case& c : kCases) {
    char* name = MultiSampleTypeName(c.type);
    EXPECT_STREQ(name, c.name);
    FreeString(name);
  }
}

using RealDevice = D3DWorld;

TEST_F(RealDevice, OffscreenDriverGivesADeviceWithItsSurfaces) {
  GpuSetBackend(kGpuBackendOpenGl);
  block_.videoFlags = kVideoFlagWindowed;
  ASSERT_EQ(CreateDirect3D(), 1);
  ASSERT_EQ(SelectDisplayMode(), 1);
  ASSERT_EQ(CreateD3DDevice(), 1);
  const DeviceRecord* r = gDirect3D->device;
  GpuSurfaceDesc desc{};
  ASSERT_EQ(r->backBuffer->GetDesc(&desc), kGpuOk);
  EXPECT_EQ(desc.width, 1024u);
  EXPECT_EQ(desc.height, 768u);
  ASSERT_EQ(r->depthStencil->GetDesc(&desc), kGpuOk);
  EXPECT_EQ(desc.format, r->presentParameters.autoDepthStencilFormat);
  EXPECT_TRUE(CreateVertexDeclarations());
}

}  // namespace
