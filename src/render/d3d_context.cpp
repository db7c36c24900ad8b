// The Direct3D context: the system object, the adapter table with each adapter's capabilities,
// desktop mode, full-screen modes and windowed sizes, the rating that picks an adapter, the
// choice of the display mode that matches the configured screen size, and the retry rule of
// resource calls. Called by the game main and the main window at start-up and by the graphics
// settings dialog. Never offers a 16-bit mode or one below 1024x600, and frees every format
// array it made for a mode it rejects.
#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/display_modes.h"
#include "render/render.h"

Direct3DContext* gDirect3D = nullptr;

namespace {

constexpr uint32_t kScreenFormats[] = {kGpuFmtX1R5G5B5, kGpuFmtR5G6B5, kGpuFmtX8R8G8B8, kGpuFmtA8R8G8B8};
constexpr uint32_t kDepthFormats[] = {kGpuFmtD16Lockable, kGpuFmtD32, kGpuFmtD15S1, kGpuFmtD24S8,
                                      kGpuFmtD16,         kGpuFmtD24X8, kGpuFmtD24X4S4};
struct Size {
  uint32_t width, height;
};
constexpr Size kWindowedSizes[] = {{1024, 768},  {1152, 768},  {1280, 768},  {1280, 800},  {1280, 960},
                                   {1280, 1024}, {1400, 1050}, {1440, 900},  {1440, 960},  {1600, 1200},
                                   {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1600}};
constexpr uint32_t kMinModeWidth = 1024;
constexpr uint32_t kMinModeHeight = 600;
constexpr int32_t kMinModeBits = 24;
// Every code of the format table is probed as a texture format.
constexpr uint32_t kProbedTextureFormatCount = 44;

// The renderer's own selection fields, used until the application points elsewhere.
char* gOwnAdapterName = nullptr;
int32_t gOwnAdapterOrdinal = -1;
uint32_t gOwnModeFormat = 0;
uint32_t gOwnModeIndex = 0;
const DisplaySelection kOwnSelection = {&gOwnAdapterName, &gOwnAdapterOrdinal, &gOwnModeFormat, &gOwnModeIndex};
DisplaySelection gSelection = kOwnSelection;

uint32_t* AllocFormats(uint32_t count) {
  return static_cast<uint32_t*>(MemAlloc(count * sizeof(uint32_t), 0));
}

void FreeFormats(uint32_t*& formats, uint32_t& count) {
  if (formats) MemFree(formats, count * sizeof(uint32_t), 0);
  formats = nullptr;
  count = 0;
}

void FreeModeArrays(DisplayModeRecord* mode) {
  FreeFormats(mode->backBufferFormats, mode->backBufferFormatCount);
  FreeFormats(mode->textureFormats, mode->textureFormatCount);
  FreeFormats(mode->depthFormats, mode->depthFormatCount);
}

DisplayModeRecord* AllocModes(int32_t count) {
  return static_cast<DisplayModeRecord*>(MemAlloc(static_cast<size_t>(count) * sizeof(DisplayModeRecord), 0));
}

void FreeModes(DisplayModeRecord*& modes, int32_t& count) {
  if (modes) MemFree(modes, static_cast<size_t>(count) * sizeof(DisplayModeRecord), 0);
  modes = nullptr;
  count = 0;
}

// Keeps the listed formats the check accepts, in list order, in a new array; false when none
// passes.
template <typename Code, typename Check>
bool CollectFormats(uint32_t listCount, Code code, Check check, uint32_t** out, uint32_t* outCount) {
  uint32_t kept[64];
  uint32_t n = 0;
  for (uint32_t i = 0; i < listCount && n < 64; ++i)
    if (check(code(i))) kept[n++] = code(i);
  if (n == 0) return false;
  *out = AllocFormats(n);
  if (!*out) return false;
  std::memcpy(*out, kept, n * sizeof(uint32_t));
  *outCount = n;
  return true;
}

bool AlphaBlending(const GpuCaps& c) {
  return (c.textureCaps & kGpuPTextureCapsAlpha) && (c.srcBlendCaps & kGpuPBlendCapsSrcAlpha) &&
         (c.destBlendCaps & kGpuPBlendCapsInvSrcAlpha);
}

bool AdditiveBlending(const GpuCaps& c) {
  return (c.srcBlendCaps & kGpuPBlendCapsOne) && (c.destBlendCaps & kGpuPBlendCapsOne);
}

bool Windowed() { return gSystem && (gSystem->videoFlags & kVideoFlagWindowed); }

// The index of the first entry of the adapter's table for the current mode kind that has the
// configured size (and, full screen, the configured bit depth); -1 when none.
int32_t FindConfiguredMode(const AdapterRecord& adapter) {
  if (!gSystem) return -1;
  const uint32_t width = static_cast<uint16_t>(gSystem->screenWidth);
  const uint32_t height = static_cast<uint16_t>(gSystem->screenHeight);
  if (Windowed()) {
    for (int32_t i = 0; i < adapter.windowedModeCount; ++i)
      if (adapter.windowedModes[i].width == width && adapter.windowedModes[i].height == height) return i;
    return -1;
  }
  for (int32_t i = 0; i < adapter.fullscreenModeCount; ++i) {
    const DisplayModeRecord& m = adapter.fullscreenModes[i];
    if (m.width == width && m.height == height && FormatBitsPerPixel(m.format) == gSystem->colourDepth) return i;
  }
  return -1;
}

const DisplayModeRecord& ModeAt(const AdapterRecord& adapter, int32_t index) {
  return Windowed() ? adapter.windowedModes[index] : adapter.fullscreenModes[index];
}

bool StoreMode(const AdapterRecord& adapter) {
  const int32_t index = FindConfiguredMode(adapter);
  if (index < 0) return false;
  *gSelection.modeFormat = ModeAt(adapter, index).format;
  *gSelection.modeIndex = static_cast<uint32_t>(index);
  return true;
}

void BuildWindowedSizes(AdapterRecord* adapter) {
  const DisplayModeRecord& desktop = adapter->desktopMode;
  // Two passes over the same rule: count, then fill.
  for (int pass = 0; pass < 2; ++pass) {
    int32_t n = 0;
    auto add = [&](uint32_t width, uint32_t height) {
      if (pass == 1) {
        DisplayModeRecord& entry = adapter->windowedModes[n];
        entry = desktop;
        entry.width = width;
        entry.height = height;
      }
      ++n;
    };
    for (const Size& s : kWindowedSizes)
      if (s.width <= desktop.width && s.height <= desktop.height) add(s.width, s.height);
    for (uint32_t multiplier : {2u, 3u})
      for (const Size& s : kWindowedSizes)
        if (s.width * multiplier <= desktop.width && s.height <= desktop.height) add(s.width * multiplier, s.height);
    if (pass == 0) {
      if (n == 0) return;
      adapter->windowedModes = AllocModes(n);
      if (!adapter->windowedModes) return;
      adapter->windowedModeCount = n;
    }
  }
}

}  // namespace

void SetDisplaySelection(const DisplaySelection* selection) { gSelection = selection ? *selection : kOwnSelection; }

const DisplaySelection& CurrentDisplaySelection() { return gSelection; }

void RunLowMemoryHookForGpu(GpuResult result) {
  if (result == kGpuErrOutOfMemory || result == kGpuErrOutOfVideoMemory) CallLowMemoryHandler();
}

int32_t FormatBitsPerPixel(uint32_t format) {
  switch (format) {
    case kGpuFmtR8G8B8: return 24;
    case kGpuFmtA8R8G8B8:
    case kGpuFmtX8R8G8B8: return 32;
    case kGpuFmtR5G6B5:
    case kGpuFmtX1R5G5B5:
    case kGpuFmtA1R5G5B5:
    case kGpuFmtA4R4G4B4:
    case kGpuFmtX4R4G4B4: return 16;
    default: return 0;
  }
}

int32_t CreateDirect3D() {
  if (!gDirect3D) {
    gDirect3D = static_cast<Direct3DContext*>(MemAlloc(sizeof(Direct3DContext), 0));
    if (!gDirect3D) return 0;
  }
  Direct3DContext* context = gDirect3D;
  if (!context->system) {
    context->system = GpuCreateSystem(kGpuSdkVersion);
    if (!context->system) return 0;
  }
  if (context->adapterCount != 0) return 1;
  const uint32_t count = context->system->GetAdapterCount();
  if (count == 0) return 1;
  context->adapters = static_cast<AdapterRecord*>(MemAlloc(count * sizeof(AdapterRecord), 0));
  if (!context->adapters) return 0;
  context->adapterCount = count;
  for (uint32_t i = 0; i < count; ++i) EnumerateAdapters(i, &context->adapters[i]);
  return 1;
}

int32_t EnumerateAdapters(uint32_t ordinal, AdapterRecord* adapter) {
  GpuSystem* system = gDirect3D->system;
  adapter->ordinal = ordinal;
  if (GpuFailed(system->GetAdapterIdentifier(ordinal, 0, &adapter->identifier))) adapter->identifier = {};
  adapter->monitor = system->GetAdapterMonitor(ordinal);
  if (GpuFailed(system->GetDeviceCaps(ordinal, kGpuDevTypeHal, &adapter->caps))) adapter->caps.deviceType = 0;
  adapter->fullscreenModeCount = adapter->windowedModeCount = 0;
  adapter->fullscreenModes = adapter->windowedModes = nullptr;

  GpuDisplayMode desktop{};
  if (GpuSucceeded(system->GetAdapterDisplayMode(ordinal, &desktop))) {
    adapter->desktopMode = DisplayModeRecord{};
    adapter->desktopMode.width = desktop.width;
    adapter->desktopMode.height = desktop.height;
    adapter->desktopMode.refreshRate = desktop.refreshRate;
    adapter->desktopMode.format = desktop.format;
    if (CheckModeFormats(adapter, &adapter->desktopMode, 1)) BuildWindowedSizes(adapter);
  }

  uint32_t counts[4];
  uint32_t total = 0, largest = 0;
  for (int f = 0; f < 4; ++f) {
    counts[f] = system->GetAdapterModeCount(ordinal, kScreenFormats[f]);
    total += counts[f];
    if (counts[f] > largest) largest = counts[f];
  }
  if (total == 0) return 0;
  DisplayModeRecord* all = AllocModes(static_cast<int32_t>(total));
  if (!all) return 0;
  // The table under construction is the adapter's, so a mode already kept is never kept again.
  adapter->fullscreenModes = all;
  int32_t kept = 0;
  for (uint32_t i = 0; i < largest; ++i) {
    for (int f = 0; f < 4; ++f) {
      if (counts[f] <= i) continue;
      DisplayModeRecord& entry = all[kept];
      entry = DisplayModeRecord{};
      GpuDisplayMode mode{};
      if (GpuFailed(system->EnumAdapterModes(ordinal, kScreenFormats[f], i, &mode))) continue;
      entry.width = mode.width;
      entry.height = mode.height;
      entry.refreshRate = mode.refreshRate;
      entry.format = mode.format;
      adapter->fullscreenModeCount = kept;
      if (CheckModeFormats(adapter, &entry, 0)) ++kept;
    }
  }
  adapter->fullscreenModes = nullptr;
  adapter->fullscreenModeCount = 0;
  if (kept > 0) {
    adapter->fullscreenModes = AllocModes(kept);
    if (adapter->fullscreenModes) {
      std::memcpy(adapter->fullscreenModes, all, static_cast<size_t>(kept) * sizeof(DisplayModeRecord));
      adapter->fullscreenModeCount = kept;
    } else {
      for (int32_t i = 0; i < kept; ++i) FreeModeArrays(&all[i]);
    }
  }
  MemFree(all, total * sizeof(DisplayModeRecord), 0);
  return adapter->fullscreenModeCount > 0;
}

int32_t CheckModeFormats(AdapterRecord* adapter, DisplayModeRecord* mode, int32_t windowed) {
  if (mode->width < kMinModeWidth || mode->height < kMinModeHeight || FormatBitsPerPixel(mode->format) < kMinModeBits)
    return 0;
  for (int32_t i = 0; i < adapter->fullscreenModeCount; ++i) {
    const DisplayModeRecord& m = adapter->fullscreenModes[i];
    if (m.width == mode->width && m.height == mode->height && m.format == mode->format) return 0;
  }
  mode->summary = SurfaceFormatSummary{};
  mode->summary.format = mode->format;
  DescribeSurfaceFormat(&mode->summary);
  GpuSystem* system = gDirect3D->system;
  const uint32_t ordinal = adapter->ordinal;
  const uint32_t format = mode->format;
  auto hal = [&](GpuResult result) { return GpuSucceeded(result); };
  const bool ok =
      CollectFormats(
          4, [](uint32_t i) { return kScreenFormats[i]; },
          [&](uint32_t f) { return hal(system->CheckDeviceType(ordinal, kGpuDevTypeHal, format, f, windowed)); },
          &mode->backBufferFormats, &mode->backBufferFormatCount) &&
      CollectFormats(
          kProbedTextureFormatCount, FormatTableCode,
          [&](uint32_t f) {
            return hal(system->CheckDeviceFormat(ordinal, kGpuDevTypeHal, format, 0, kGpuRtypeTexture, f));
          },
          &mode->textureFormats, &mode->textureFormatCount) &&
      CollectFormats(
          7, [](uint32_t i) { return kDepthFormats[i]; },
          [&](uint32_t f) {
            return hal(system->CheckDeviceFormat(ordinal, kGpuDevTypeHal, format, kGpuUsageDepthStencil,
                                                 kGpuRtypeSurface, f)) &&
                   hal(system->CheckDepthStencilMatch(ordinal, kGpuDevTypeHal, format, format, f));
          },
          &mode->depthFormats, &mode->depthFormatCount);
  if (!ok) FreeModeArrays(mode);
  return ok;
}

int32_t RateAdapter(int32_t index) {
  if (!gDirect3D || index < 0 || static_cast<uint32_t>(index) >= gDirect3D->adapterCount) return -1;
  const AdapterRecord& adapter = gDirect3D->adapters[index];
  const GpuCaps& c = adapter.caps;
  if (c.deviceType == 0) return -1;
  if ((c.textureCaps & kGpuPTextureCapsMipMap) &&
      !(c.textureFilterCaps & (kGpuPtFilterCapsMipfPoint | kGpuPtFilterCapsMipfLinear)))
    return -1;
  if (!(c.shadeCaps & kGpuPShadeCapsColorGouraudRgb)) return -1;
  if (!AlphaBlending(c) && !AdditiveBlending(c)) return -1;
  if (!(c.primitiveMiscCaps & kGpuPMiscCapsCullCw)) return -1;
  if (!(c.lineCaps & kGpuLineCapsZTest)) return -1;

  const bool tnl = c.devCaps & kGpuDevCapsHwTransformAndLight;
  int32_t score = tnl ? 10 : 0;
  if (c.textureCaps & kGpuPTextureCapsPerspective) score = tnl ? 15 : 5;
  if (c.textureOpCaps & kGpuTexOpCapsDotProduct3) score += 1;
  const int32_t n = static_cast<int32_t>(c.maxSimultaneousTextures);
  if (n >= 2 && !(c.devCaps & kGpuDevCapsSeparateTextureMemories) && (c.textureOpCaps & kGpuTexOpCapsAdd))
    score += 5 * n - 5;
  return FindConfiguredMode(adapter) >= 0 ? score : -1;
}

void SetAdapterCapsFlags(int32_t index) {
  if (!gSystem || !gDirect3D || index < 0 || static_cast<uint32_t>(index) >= gDirect3D->adapterCount) return;
  const GpuCaps& c = gDirect3D->adapters[index].caps;
  uint32_t& flags = gSystem->d3dFlags;
  auto set = [&](uint32_t bits, bool on) { flags = on ? flags | bits : flags & ~bits; };
  if (AlphaBlending(c)) {
    set(kD3DAlphaBlend, true);
    set(kD3DNoAlphaTextures, false);
  } else {
    set(kD3DAlphaBlend, false);
    if (AdditiveBlending(c)) set(kD3DNoAlphaTextures | kD3DAdditiveOnly, true);
  }
  if (c.lineCaps & kGpuLineCapsZTest) {
    set(kD3DLineZTest, true);
    if (!(c.rasterCaps & kGpuPRasterCapsWBuffer)) set(kD3DWBuffer, false);
  } else {
    set(kD3DLineZTest, false);
  }
  set(kD3DHardwareTnl, c.devCaps & kGpuDevCapsHwTransformAndLight);
  set(kD3DPerspective, c.textureCaps & kGpuPTextureCapsPerspective);
  set(kD3DTextureOps, c.textureOpCaps & (kGpuTexOpCapsDisable | kGpuTexOpCapsSelectArg2 | kGpuTexOpCapsModulate));
  set(kD3DMultiTexture, c.maxSimultaneousTextures >= 2);
  const uint32_t major = (c.vertexShaderVersion >> 8) & 0xFF, minor = c.vertexShaderVersion & 0xFF;
  set(kD3DVertexShader11, major >= 2 || (major == 1 && minor != 0));
}

int32_t SelectDisplayMode() {
  if (!gDirect3D) return 0;
  char*& name = *gSelection.adapterName;
  if (name) {
    const int32_t ordinal = *gSelection.adapterOrdinal;
    if (ordinal >= 0 && static_cast<uint32_t>(ordinal) < gDirect3D->adapterCount) {
      const AdapterRecord& adapter = gDirect3D->adapters[ordinal];
      if (std::strcmp(adapter.identifier.description, name) == 0 && StoreMode(adapter)) return 1;
    }
    name = FreeString(name);
  }
  int32_t best = -1, bestScore = -1;
  for (uint32_t i = 0; i < gDirect3D->adapterCount; ++i) {
    const int32_t score = RateAdapter(static_cast<int32_t>(i));
    if (score > bestScore) best = static_cast<int32_t>(i), bestScore = score;
  }
  if (best < 0) return 0;
  *gSelection.adapterOrdinal = best;
  name = ReplaceString(name, gDirect3D->adapters[best].identifier.description);
  SetAdapterCapsFlags(best);
  return StoreMode(gDirect3D->adapters[best]) ? 1 : 0;
}

AdapterRecord* ChosenAdapter() {
  if (!gDirect3D) return nullptr;
  const int32_t ordinal = *gSelection.adapterOrdinal;
  if (ordinal < 0 || static_cast<uint32_t>(ordinal) >= gDirect3D->adapterCount) return nullptr;
  return &gDirect3D->adapters[ordinal];
}

void ReleaseAdapterTables(int32_t full) {
  // The display object's copy of the count is kept by the display; the tables are ours.
  if (!full || !gDirect3D || !gDirect3D->adapters) return;
  ReleaseDisplayAdapterViews();
  for (uint32_t a = 0; a < gDirect3D->adapterCount; ++a) {
    AdapterRecord& adapter = gDirect3D->adapters[a];
    for (int32_t i = 0; i < adapter.fullscreenModeCount; ++i) FreeModeArrays(&adapter.fullscreenModes[i]);
    FreeModes(adapter.fullscreenModes, adapter.fullscreenModeCount);
    FreeModes(adapter.windowedModes, adapter.windowedModeCount);
    FreeModeArrays(&adapter.desktopMode);
  }
  MemFree(gDirect3D->adapters, gDirect3D->adapterCount * sizeof(AdapterRecord), 0);
  gDirect3D->adapters = nullptr;
  gDirect3D->adapterCount = 0;
}

void FreeDirect3DContext() {
  if (!gDirect3D) return;
  FreeDeviceRecord();
  ReleaseAdapterTables(1);
  if (gDirect3D->system) gDirect3D->system->Release();
  MemFree(gDirect3D, sizeof(Direct3DContext), 0);
  gDirect3D = nullptr;
}
