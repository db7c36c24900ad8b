// The Direct3D context: adapters and their modes counted from described adapters on the null
// device, the rating and the mode choice, the bit depths of formats and the retry rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/memory.h"
#include "render/display_modes.h"
#include "support/d3d_world.h"

namespace {

constexpr uint32_t kX8 = kGpuFmtX8R8G8B8, kA8 = kGpuFmtA8R8G8B8, kR5 = kGpuFmtR5G6B5;

std::vector<std::string> Sizes(const DisplayModeRecord* modes, int32_t count) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < count; ++i)
    out.push_back(std::to_string(modes[i].width) + "x" + std::to_string(modes[i].height) + "/" +
                  std::to_string(modes[i].format));
  return out;
}

using Strings = std::vector<std::string>;
using AdapterModes = D3DWorld;

TEST_F(AdapterModes, WindowedSizesFollowTheDesktop) {
  const Strings kHd = {"1024x768/22", "1152x768/22", "1280x768/22",  "1280x800/22",  "1280x960/22", "1280x1024/22",
                       "1400x1050/22", "1440x900/22", "1440x960/22", "1680x1050/22", "1920x1080/22"};
  struct Case {
    GpuDisplayMode desktop;
    size_t count;
    Strings first;  // the first entries (all of them for a plain desktop)
    Strings spanned;  // entries that must be there
  };
  const Case kCases[] = {
      {{1920, 1080, 60, kX8}, 11, kHd, {}},
      {{5760, 1080, 60, kX8}, 33, kHd, {"2048x768/22", "3072x768/22", "3840x1080/22", "5760x1080/22"}},
      {{1920, 1080, 60, kR5}, 0, {}, {}},
      {{1000, 1000, 60, kX8}, 0, {}, {}},
      {{1280, 599, 60, kX8}, 0, {}, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.desktop.width) + "x" + std::to_string(c.desktop.height));
    ASSERT_TRUE(Start({Model("A", c.desktop, {{1024, 768, 60, kX8}})}));
    const AdapterRecord& a = gDirect3D->adapters[0];
    const Strings sizes = Sizes(a.windowedModes, a.windowedModeCount);
    EXPECT_EQ(sizes.size(), c.count);
    EXPECT_EQ(Strings(sizes.begin(), sizes.begin() + std::min(sizes.size(), c.first.size())), c.first);
    for (const std::string& s : c.spanned) EXPECT_NE(std::find(sizes.begin(), sizes.end(), s), sizes.end()) << s;
    // Windowed sizes share the desktop's format arrays.
    if (a.windowedModeCount > 0) {
      EXPECT_EQ(a.windowedModes[0].textureFormats, a.desktopMode.textureFormats);
    }
    FreeDirect3DContext();
  }
}

TEST_F(AdapterModes, FullScreenModesInterleaveByIndexWithoutRepeatsOrSmallModes) {
  ASSERT_TRUE(Start({Model("A", {1920, 1080, 60, kX8},
                           {{1024, 768, 60, kX8},
                            {1280, 1024, 60, kX8},
                            {1024, 768, 60, kX8},
                            {800, 600, 60, kX8},
                            {1024, 768, 75, kA8},
                            {1280, 1024, 60, kA8},
                            {1024, 768, 60, kR5},
                            {1920, 1080, 60, kGpuFmtX1R5G5B5}})}));
  const AdapterRecord& a = gDirect3D->adapters[0];
  EXPECT_EQ(Sizes(a.fullscreenModes, a.fullscreenModeCount),
            (Strings{"1024x768/22", "1024x768/21", "1280x1024/22", "1280x1024/21"}));
  // Each kept mode lists what the adapter renders in it.
  const DisplayModeRecord& m = a.fullscreenModes[0];
  EXPECT_EQ(std::vector<uint32_t>(m.backBufferFormats, m.backBufferFormats + m.backBufferFormatCount),
            (std::vector<uint32_t>{kX8, kA8}));
  EXPECT_EQ(std::vector<uint32_t>(m.depthFormats, m.depthFormats + m.depthFormatCount),
            (std::vector<uint32_t>{kGpuFmtD24S8, kGpuFmtD16, kGpuFmtD24X8}));
  EXPECT_EQ(m.textureFormatCount, 22u);  // A8L8 is probed twice
  EXPECT_EQ(m.summary.bitCount, 32);
  EXPECT_EQ(m.summary.kind, kSurfaceKindColour);
}

TEST_F(AdapterModes, ModeWithoutAnyDepthFormatIsNotOffered) {
  GpuAdapterModel model = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
  model.depthFormats = {};
  ASSERT_TRUE(Start({model}));
  EXPECT_EQ(gDirect3D->adapters[0].fullscreenModeCount, 0);
  EXPECT_EQ(gDirect3D->adapters[0].windowedModeCount, 0);
  EXPECT_EQ(gDirect3D->adapters[0].desktopMode.backBufferFormats, nullptr);
}

// A mode is offered only when something can be rendered in it; the format lists of a refused
// mode are freed, not kept.
TEST_F(AdapterModes, ModeNeedsABackBufferATextureAndADepthFormat) {
  struct Case {
    const char* what;
    void (*change)(GpuAdapterModel&);
    uint32_t refusedMatches;  // depth formats the mode's format does not match
  };
  const Case kCases[] = {
      {"no back buffer", [](GpuAdapterModel& m) { m.backBufferFormats = {}; }, 0},
      {"no texture", [](GpuAdapterModel& m) { m.textureFormats = {}; }, 0},
      {"no depth buffer", [](GpuAdapterModel& m) { m.depthFormats = {}; }, 0},
      {"no depth buffer matching", [](GpuAdapterModel& m) { m.depthFormats = {kGpuFmtD24S8}; }, 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const uint32_t bytes = MemGetCurrentBytes();
    GpuAdapterModel model = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
    c.change(model);
    if (c.refusedMatches) GpuInjectResult("CheckDepthStencilMatch", kGpuErrNotAvailable, c.refusedMatches);
    ASSERT_TRUE(Start({model}));
    const AdapterRecord& a = gDirect3D->adapters[0];
    EXPECT_EQ(a.fullscreenModeCount, 0);
    EXPECT_EQ(a.windowedModeCount, 0);
    EXPECT_EQ(a.desktopMode.backBufferFormats, nullptr);
    EXPECT_EQ(a.desktopMode.textureFormats, nullptr);
    EXPECT_EQ(RateAdapter(0), -1);
    FreeDirect3DContext();
    GpuClearInjections();
    EXPECT_EQ(MemGetCurrentBytes(), bytes);
  }
}

TEST_F(AdapterModes, ContextIsMadeOnceAndTablesAreFreedWhole) {
  const uint32_t bytes = MemGetCurrentBytes();
  ASSERT_TRUE(Start({Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}, {1280, 1024, 60, kA8}})}));
  EXPECT_EQ(CreateDirect3D(), 1);
  EXPECT_EQ(GpuNullLog(), Strings{});  // the second call counts nothing again
  FreeDirect3DContext();
  EXPECT_EQ(MemGetCurrentBytes(), bytes);
}

// The graphics settings dialog lists what the context counted, and never a table that was freed.
TEST_F(AdapterModes, SettingsViewReadsTheCountedAdapters) {
  GpuAdapterModel a = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}, {1280, 1024, 60, kA8}});
  a.multiSampleTypes = {2, 4};
  GpuAdapterModel b = Model("B", {1024, 768, 60, kX8}, {{1024, 768, 60, kX8}});
  b.caps = GpuDefaultAdapterModel(1, true).caps;
  ASSERT_TRUE(Start({a, b}));
  ASSERT_EQ(GetDisplayAdapterCount(gDirect3D), 2);
  struct Case {
    const char* name;
    Strings fullscreen;
    int32_t windowed;
    bool anisotropic;
    int32_t maxAnisotropy;
    uint32_t multiSampleMask;
  };
  const Case kCases[] = {
      {"A", {"1024x768/22", "1280x1024/21"}, 11, true, 16, (1u << 2) | (1u << 4)},
      {"B", {"1024x768/22"}, 1, false, 1, 0},
  };
  for (int32_t i = 0; i < 2; ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(c.name);
    const DisplayAdapterInfo* view = GetDisplayAdapter(gDirect3D, i);
    ASSERT_NE(view, nullptr);
    EXPECT_STREQ(view->description, c.name);
    Strings sizes;
    for (int32_t m = 0; m < view->fullscreenModeCount; ++m)
      sizes.push_back(std::to_string(view->fullscreenModes[m].width) + "x" +
                      std::to_string(view->fullscreenModes[m].height) + "/" +
                      std::to_string(view->fullscreenModes[m].format));
    EXPECT_EQ(sizes, c.fullscreen);
    EXPECT_EQ(view->windowedModeCount, c.windowed);
    EXPECT_EQ((view->capabilityFlags & kAdapterCapsAnisotropic) != 0, c.anisotropic);
    EXPECT_EQ(view->maxAnisotropy, c.maxAnisotropy);
    EXPECT_EQ(view->multiSampleMask, c.multiSampleMask);
  }
  EXPECT_EQ(GetDisplayAdapter(gDirect3D, 2), nullptr);
  FreeDirect3DContext();

  // A new context with as many adapters is listed afresh.
  ASSERT_TRUE(Start({Model("C", {1920, 1080, 60, kX8}, {{1600, 1200, 60, kX8}}), b}));
  const DisplayAdapterInfo* view = GetDisplayAdapter(gDirect3D, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_STREQ(view->description, "C");
  ASSERT_EQ(view->fullscreenModeCount, 1);
  EXPECT_EQ(view->fullscreenModes[0].width, 1600);
}

TEST(FormatBits, DepthOfEachDisplayFormat) {
  struct Case {
    uint32_t format;
    int32_t bits;
  };
  const Case kCases[] = {{kGpuFmtR8G8B8, 24},   {kA8, 32}, {kX8, 32}, {kR5, 16}, {kGpuFmtX1R5G5B5, 16},
                         {kGpuFmtA1R5G5B5, 16}, {kGpuFmtA4R4G4B4, 16}, {kGpuFmtX4R4G4B4, 16},
                         {kGpuFmtA2R10G10B10, 0}, {kGpuFmtR3G3B2, 0},  {0, 0}};
  for (const Case& c : kCases) EXPECT_EQ(FormatBitsPerPixel(c.format), c.bits) << c.format;
}

using AdapterChoice = D3DWorld;

TEST_F(AdapterChoice, ScoreFollowsTheCapabilities) {
  struct Case {
    const char* what;
    void (*change)(GpuCaps&);
    int32_t score;
  };
  const Case kCases[] = {
      // Transform and lighting with perspective 15, dot product 1, eight textures 5 * 8 - 5.
      {"capable", [](GpuCaps&) {}, 51},
      {"no hardware transform", [](GpuCaps& c) { c.devCaps &= ~kGpuDevCapsHwTransformAndLight; }, 41},
      {"no perspective", [](GpuCaps& c) { c.textureCaps &= ~kGpuPTextureCapsPerspective; }, 46},
      {"separate texture memories", [](GpuCaps& c) { c.devCaps |= kGpuDevCapsSeparateTextureMemories; }, 16},
      {"one texture", [](GpuCaps& c) { c.maxSimultaneousTextures = 1; }, 16},
      {"additive blending only",
       [](GpuCaps& c) {
         c.textureCaps &= ~kGpuPTextureCapsAlpha;
       },
       51},
      {"no blending",
       [](GpuCaps& c) {
         c.textureCaps &= ~kGpuPTextureCapsAlpha;
         c.srcBlendCaps = kGpuPBlendCapsSrcAlpha;
       },
       -1},
      {"mip maps without mip filters",
       [](GpuCaps& c) { c.textureFilterCaps &= ~(kGpuPtFilterCapsMipfPoint | kGpuPtFilterCapsMipfLinear); }, -1},
      {"no gouraud", [](GpuCaps& c) { c.shadeCaps = 0; }, -1},
      {"no clockwise culling", [](GpuCaps& c) { c.primitiveMiscCaps &= ~kGpuPMiscCapsCullCw; }, -1},
      {"no line depth test", [](GpuCaps& c) { c.lineCaps &= ~kGpuLineCapsZTest; }, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    GpuAdapterModel model = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
    c.change(model.caps);
    GpuAdapterModel unreadable = model;
    unreadable.capsFail = true;
    ASSERT_TRUE(Start({model, unreadable}));
    EXPECT_EQ(RateAdapter(0), c.score);
    EXPECT_EQ(RateAdapter(1), -1);
    FreeDirect3DContext();
  }
}

TEST_F(AdapterChoice, ScoreCountsOnlyWithAModeOfTheConfiguredSize) {
  ASSERT_TRUE(Start({Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}})}));
  struct Case {
    int16_t width, height, depth;
    bool windowed;
    bool rated;
  };
  const Case kCases[] = {{1024, 768, 32, false, true},  {1024, 768, 16, false, false}, {1280, 1024, 32, false, false},
                         {1280, 1024, 16, true, true},  {1920, 1080, 32, true, true},  {1920, 1200, 32, true, false}};
  for (const Case& c : kCases) {
    block_.screenWidth = c.width, block_.screenHeight = c.height, block_.colourDepth = c.depth;
    block_.videoFlags = c.windowed ? kVideoFlagWindowed : 0;
    EXPECT_EQ(RateAdapter(0) >= 0, c.rated) << c.width << "x" << c.height << "x" << c.depth << " " << c.windowed;
  }
}

TEST_F(AdapterChoice, SelectionTakesTheConfiguredAdapterOrTheBestRated) {
  const std::vector<GpuDisplayMode> modes = {{1024, 768, 60, kR5}, {1024, 768, 60, kX8}, {1280, 1024, 60, kX8}};
  GpuAdapterModel weak = Model("Weak", {1920, 1080, 60, kX8}, modes);
  weak.caps.maxSimultaneousTextures = 1;
  const GpuAdapterModel strong = Model("Strong", {1920, 1080, 60, kX8}, modes);
  struct Case {
    const char* what;
    std::vector<GpuAdapterModel> adapters;
    const char* configured;
    int32_t ordinal;
    int32_t chosen;
  };
  const Case kCases[] = {
      {"equal scores take the lower ordinal", {strong, strong}, nullptr, -1, 0},
      {"the best score wins", {weak, strong}, nullptr, -1, 1},
      {"the configured adapter is kept", {strong, weak}, "Weak", 1, 1},
      {"a name under another ordinal is not taken", {weak, strong}, "Weak", 1, 1},
      {"a name that is gone is forgotten", {weak, strong}, "Other", 0, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Start(c.adapters));
    Selection(c.configured, c.ordinal, 0, 9);
    EXPECT_EQ(SelectDisplayMode(), 1);
    const DisplaySelection& s = CurrentDisplaySelection();
    EXPECT_EQ(*s.adapterOrdinal, c.chosen);
    EXPECT_STREQ(*s.adapterName, c.adapters[c.chosen].description.c_str());
    EXPECT_EQ(*s.modeFormat, kX8);
    EXPECT_EQ(*s.modeIndex, 0u);  // 1024x768 in 16 bits is never listed
    EXPECT_EQ(ChosenDisplayMode(), &gDirect3D->adapters[c.chosen].fullscreenModes[0]);
    FreeDirect3DContext();
  }
}

TEST_F(AdapterChoice, NoUsableAdapterOrModeSelectsNothing) {
  GpuAdapterModel broken = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
  broken.caps.shadeCaps = 0;
  ASSERT_TRUE(Start({broken}));
  Selection("A", 0, 0, 0);
  block_.screenWidth = 1280;  // "A" has no such mode, so the configured name is let go as well
  EXPECT_EQ(SelectDisplayMode(), 0);
  EXPECT_EQ(*CurrentDisplaySelection().adapterName, nullptr);
}

TEST_F(AdapterChoice, CapabilityFlagsFollowTheChosenAdapter) {
  struct Case {
    const char* what;
    void (*change)(GpuCaps&);
    uint32_t before, set, cleared;
  };
  const Case kCases[] = {
      {"capable", [](GpuCaps&) {}, kD3DNoAlphaTextures | kD3DWBuffer,
       kD3DAlphaBlend | kD3DLineZTest | kD3DHardwareTnl | kD3DPerspective | kD3DTextureOps | kD3DMultiTexture |
           kD3DVertexShader11,
       kD3DNoAlphaTextures | kD3DWBuffer},
      {"additive only", [](GpuCaps& c) { c.textureCaps &= ~kGpuPTextureCapsAlpha; }, kD3DAlphaBlend,
       kD3DNoAlphaTextures | kD3DAdditiveOnly, kD3DAlphaBlend},
      {"w buffer kept", [](GpuCaps& c) { c.rasterCaps |= kGpuPRasterCapsWBuffer; }, kD3DWBuffer, kD3DWBuffer, 0},
      {"no line depth test", [](GpuCaps& c) { c.lineCaps = 0; }, kD3DLineZTest | kD3DWBuffer, kD3DWBuffer,
       kD3DLineZTest},
      {"vertex programs 1.0", [](GpuCaps& c) { c.vertexShaderVersion = GpuVertexShaderVersion(1, 0); },
       kD3DVertexShader11, 0, kD3DVertexShader11},
      {"vertex programs 1.1", [](GpuCaps& c) { c.vertexShaderVersion = GpuVertexShaderVersion(1, 1); }, 0,
       kD3DVertexShader11, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    GpuAdapterModel model = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
    c.change(model.caps);
    ASSERT_TRUE(Start({model}));
    block_.d3dFlags = c.before;
    SetAdapterCapsFlags(0);
    EXPECT_EQ(block_.d3dFlags & c.set, c.set);
    EXPECT_EQ(block_.d3dFlags & c.cleared, 0u);
    FreeDirect3DContext();
  }
}

TEST_F(AdapterChoice, MultisampleNeedsTheBackBufferAndTheDepthFormat) {
  GpuAdapterModel model = Model("A", {1920, 1080, 60, kX8}, {{1024, 768, 60, kX8}});
  model.multiSampleTypes = {2, 4};
  model.depthFormats = {kGpuFmtD16, kGpuFmtD24X8};
  GpuAdapterModel noD24 = model;
  noD24.depthFormats = {kGpuFmtD16};
  ASSERT_TRUE(Start({model, noD24}));
  EXPECT_EQ(CheckMultiSampleSupport(0, kX8, 4), 1);
  EXPECT_EQ(CheckMultiSampleSupport(0, kX8, 6), 0);
  EXPECT_EQ(CheckMultiSampleSupport(1, kX8, 4), 0);
  EXPECT_EQ(GpuNullLog().back(), "CheckDeviceMultiSampleType(1, 1, 0x4d, 0, 4)");
}

// ---- the retry rule of resource calls

int gHookCalls = 0;

TEST(GpuRetryRule, LowMemoryRunsTheHookOnceAndOtherFailuresRetryWithoutIt) {
  struct Case {
    GpuResult first, second;
    int calls;
    int hooks;
    GpuResult result;
  };
  const Case kCases[] = {
      {kGpuOk, kGpuOk, 1, 0, kGpuOk},
      {kGpuErrOutOfMemory, kGpuOk, 2, 1, kGpuOk},
      {kGpuErrOutOfVideoMemory, kGpuErrOutOfVideoMemory, 2, 1, kGpuErrOutOfVideoMemory},
      {kGpuErrInvalidCall, kGpuOk, 2, 0, kGpuOk},
      {kGpuErrNotAvailable, kGpuErrFail, 2, 0, kGpuErrFail},
  };
  SetLowMemoryHook([] { ++gHookCalls; });
  for (const Case& c : kCases) {
    gHookCalls = 0;
    int calls = 0;
    const GpuResult result = GpuRetry([&] { return ++calls == 1 ? c.first : c.second; });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(gHookCalls, c.hooks);
  }
  SetLowMemoryHook(nullptr);
}

TEST(GpuRetryRule, HookThatRetriesItselfIsNotCalledAgain) {
  gHookCalls = 0;
  SetLowMemoryHook([] {
    ++gHookCalls;
    GpuRetry([] { return kGpuErrOutOfMemory; });
  });
  EXPECT_EQ(GpuRetry([] { return kGpuErrOutOfMemory; }), kGpuErrOutOfMemory);
  EXPECT_EQ(gHookCalls, 1);
  SetLowMemoryHook(nullptr);
}

}  // namespace
