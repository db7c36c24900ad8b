// Device creation: turns the adapter and display mode the selection chose into a running
// device with its back-buffer, depth and texture formats, antialiasing, anisotropic filtering,
// vertex processing, pixel-program profile and effect folder; loads the lookup images the
// chosen profile needs; makes the state manager and sets the first render states. Called once
// by the main window; read by every unit that draws, the effect loader and the benchmark log.
// Never goes on without a texture format, a depth format or the device's surfaces.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu_image.h"
#include "render/display_modes.h"
#include "render/d3d_context.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "render/state_manager.h"

OsWindow* gDeviceWindow = nullptr;
DisplaySurface* gLookupImages[kLookupImageSlots] = {};

namespace {

constexpr uint32_t kLookupImageFlags = 0x80040000;
constexpr uint32_t kLookupImageSize = 256;
constexpr uint32_t kAlphaRef = 90;

constexpr const char* kLightingNames[kLightingImageCount] = {"morvai", "zhuul",   "grask",   "wemmer",   "dravon",
                                                             "tessik", "oludric", "velmar", "asteroid", "default"};
constexpr const char* kFixedImages[] = {"\\NONE_WHITE", "\\NONE_BLACK",      "\\NONE_NORMAL", "\\NONE_NORMAL_LOW",
                                        "\\NONE_OCCL_DECAL", "\\NONE_GRAY", "\\NONE_ENVI",   "\\ENVI"};

struct ShaderSet {
  const char* profile;
  const char* folder;
  const char* version;
  uint8_t shader20;
  uint8_t environmentMap;
  bool keepsGlow;
};
constexpr ShaderSet kShaderSets[] = {
    {"ps_1_1", "1_1", "1.1", 0, 0, false}, {"ps_1_2", "1_1", "1.1", 0, 0, false},
    {"ps_1_3", "1_1", "1.1", 0, 0, false}, {"ps_1_4", "1_4", "1.4", 0, 1, false},
    {"ps_2_0", "2_0", "2.0", 1, 1, true},  {"ps_2_b", "2_b", "2.b", 1, 1, true},
    {"ps_2_a", "2_a", "2.a", 1, 1, true},  {"ps_3_0", "3_0", "3.0", 1, 1, true},
};

struct QualityRule {
  const char* from;
  const char* to;
  float factor;
};
constexpr QualityRule kLowQuality[] = {
    {"ps_1_1", "ps_1_1", 1.4f}, {"ps_1_3", "ps_1_1", 1.4f}, {"ps_1_4", "ps_1_1", 1.3f}, {"ps_2_0", "ps_1_1", 1.3f},
    {"ps_2_a", "ps_1_1", 1.2f}, {"ps_3_0", "ps_1_1", 1.2f}, {"ps_2_b", "ps_1_1", 1.2f},
};
constexpr QualityRule kMediumQuality[] = {
    {"ps_2_0", "ps_1_4", 1.15f}, {"ps_2_a", "ps_1_4", 1.15f}, {"ps_2_b", "ps_1_4", 1.15f}, {"ps_3_0", "ps_1_4", 1.15f}};
constexpr float kMediumFactor = 1.15f;

bool Is(const char* text, const char* name) { return text && std::strcmp(text, name) == 0; }

PixelFormatDesc* NewDesc() { return static_cast<PixelFormatDesc*>(MemAlloc(sizeof(PixelFormatDesc), 0)); }

void FreeDesc(PixelFormatDesc*& desc) {
  if (desc) MemFree(desc, sizeof(PixelFormatDesc), 0);
  desc = nullptr;
}

void ReleaseSurface(GpuSurface*& surface) {
  if (surface) surface->Release();
  surface = nullptr;
}

PixelFormatDesc Described(uint32_t format) {
  PixelFormatDesc desc;
  DescribePixelFormat(&desc, format);
  return desc;
}

void SetFlag(uint32_t& word, uint32_t bits, bool on) { word = on ? word | bits : word & ~bits; }

// The back-buffer format: the last the device accepts, except that a format with alpha is
// taken only after one without.
uint32_t ChooseBackBuffer(const AdapterRecord& adapter, const DisplayModeRecord& mode, int32_t windowed) {
  if (mode.backBufferFormatCount == 1) return mode.backBufferFormats[0];
  uint32_t choice = kGpuFmtUnknown;
  for (uint32_t i = 0; i < mode.backBufferFormatCount; ++i) {
    const uint32_t f = mode.backBufferFormats[i];
    if (GpuFailed(gDirect3D->system->CheckDeviceType(adapter.ordinal, kGpuDevTypeHal, mode.format, f, windowed)))
      continue;
    if (Described(f).alphaBits == 0 || choice != kGpuFmtUnknown) choice = f;
  }
  return choice;
}

uint32_t ChooseDepth(const AdapterRecord& adapter, const DisplayModeRecord& mode, uint32_t backBuffer) {
  uint32_t choice = kGpuFmtUnknown;
  uint32_t bestBits = 0;
  for (uint32_t i = 0; i < mode.depthFormatCount; ++i) {
    const uint32_t f = mode.depthFormats[i];
    GpuSystem* system = gDirect3D->system;
    if (GpuFailed(system->CheckDeviceFormat(adapter.ordinal, kGpuDevTypeHal, mode.format, kGpuUsageDepthStencil,
                                            kGpuRtypeSurface, f)) ||
        GpuFailed(system->CheckDepthStencilMatch(adapter.ordinal, kGpuDevTypeHal, mode.format, backBuffer, f)))
      continue;
    if (f == kGpuFmtD32) return f;
    const PixelFormatDesc desc = Described(f);
    if (choice == kGpuFmtUnknown || desc.depthBits > bestBits || (desc.depthBits == bestBits && desc.stencilBits == 0)) {
      choice = f;
      bestBits = desc.depthBits;
    }
  }
  return choice;
}

uint32_t AntialiasSamples(uint32_t mode) {
  constexpr uint32_t kSamples[] = {2, 4, 6, 8};
  return mode < 4 ? kSamples[mode] : 2;
}

DisplaySurface* LoadLookup(const char* name, uint32_t flags, int32_t mips) { return LoadImageFile(name, flags, 0, mips); }

void LoadLookupImages(DeviceRecord* record) {
  GpuDevice* device = record->device;
  uint32_t width = kLookupImageSize, height = kLookupImageSize, levels = 1, format = kGpuFmtG16R16;
  GpuxCheckTextureRequirements(device, &width, &height, &levels, 0, &format, kGpuPoolManaged);
  const char* middle = Is(record->activeProfile, "ps_1_4") ? "_lighting_blinn" : "_lighting";
  const char* suffix = format == kGpuFmtG16R16 ? "_G16R16" : "_XRGB8";
  for (int i = 0; i < kLightingImageCount; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "\\%s%s%s", kLightingNames[i], middle, suffix);
    gLookupImages[i] = LoadLookup(name, kLookupImageFlags, static_cast<int32_t>(levels));
  }

  width = height = kLookupImageSize, levels = 1, format = kGpuFmtL16;
  GpuxCheckTextureRequirements(device, &width, &height, &levels, 0, &format, kGpuPoolManaged);
  const int32_t mips = static_cast<int32_t>(levels);
  if (format == kGpuFmtL16) {
    gLookupImages[kLookupPowSlot] = LoadLookup("\\pow_L16", kLookupImageFlags, mips);
    if (record->shader20) gLookupImages[kLookupDeriveZSlot] = LoadLookup("\\derive_z_L16", kLookupImageFlags, mips);
  } else if (format == kGpuFmtL8) {
    gLookupImages[kLookupPowSlot] = LoadLookup("\\pow_L8", kLookupImageFlags, mips);
    if (record->shader20) gLookupImages[kLookupDeriveZSlot] = LoadLookup("\\derive_z_L8", kLookupImageFlags, mips);
  } else {
    gLookupImages[kLookupPowSlot] = LoadLookup("\\pow_L8", kLookupImageFlags, mips);
    if (record->shader20) gLookupImages[kLookupDeriveZSlot] = LoadLookup("\\derive_z_L8", kLookupImageFlags | levels, 0);
  }

  uint32_t edge = kLookupImageSize;
  levels = 1, format = kGpuFmtA2B10G10R10;
  GpuxCheckCubeTextureRequirements(device, &edge, &levels, 0, &format, kGpuPoolManaged);
  const char* cube = format == kGpuFmtA2B10G10R10    ? "\\normalize_10bit_ABGR"
                     : format == kGpuFmtA2R10G10B10  ? "\\normalize_10bit_ARGB"
                     : format == kGpuFmtA16B16G16R16 ? "\\normalize_16bit_ABGR"
                                                     : "\\normalize_8bit";
  gLookupImages[kLookupNormalizeSlot] = LoadLookup(cube, kLookupImageFlags, static_cast<int32_t>(levels));
}

// Chooses the texture formats; false when the device takes none.
bool ChooseTextureFormats(DeviceRecord* record, const AdapterRecord& adapter, const DisplayModeRecord& mode) {
  PixelFormatDesc opaque{}, alpha{};
  bool opaqueFound = false, alphaFound = false;
  for (uint32_t i = 0; i < mode.textureFormatCount; ++i) {
    const uint32_t f = mode.textureFormats[i];
    if (GpuFailed(gDirect3D->system->CheckDeviceFormat(adapter.ordinal, kGpuDevTypeHal, mode.format, 0,
                                                       kGpuRtypeTexture, f)))
      continue;
    // Earlier formats win ties; a format describable as nothing is never a texture format.
    const PixelFormatDesc desc = Described(f);
    if (desc.bitsPerPixel == 0) continue;
    if (desc.alphaBits == 0) {
      if (!(desc.kind & kFormatKindNoAlphaChoice) && (!opaqueFound || desc.bitsPerPixel > opaque.bitsPerPixel))
        opaque = desc, opaqueFound = true;
    } else if (!alphaFound || desc.bitsPerPixel > alpha.bitsPerPixel) {
      alpha = desc, alphaFound = true;
    }
  }
  if (!opaqueFound && !alphaFound) return false;
  if (!alphaFound) {
    alpha = opaque;
    SetFlag(gSystem->d3dFlags, kD3DNoAlphaTextures, true);
  }
  if (!opaqueFound) opaque = alpha;
  *record->opaqueFormat = opaque;
  *record->alphaFormat = alpha;
  *record->thirdFormat = alpha;
  // The texture loader finds the two formats in the engine's format table.
  StorePixelFormatDesc(static_cast<int32_t>(opaque.formatIndex) + 1, opaque);
  StorePixelFormatDesc(static_cast<int32_t>(alpha.formatIndex) + 1, alpha);
  gOpaqueFormatKey = static_cast<int32_t>(opaque.formatIndex);
  gTransparentFormatKey = alpha.formatIndex == opaque.formatIndex ? -1 : static_cast<int32_t>(alpha.formatIndex);
  return true;
}

bool ChooseShaderSet(DeviceRecord* record) {
  SystemBlock* sys = gSystem;
  const char* hardware = record->hardwareProfile;
  const char* active = hardware;
  float factor = 1.0f;
  if (sys->shaderQuality == 0) {
    for (const QualityRule& rule : kLowQuality)
      if (Is(hardware, rule.from)) active = rule.to, factor = rule.factor;
  } else if (sys->shaderQuality == 1) {
    factor = kMediumFactor;
    for (const QualityRule& rule : kMediumQuality)
      if (Is(hardware, rule.from)) active = rule.to;
  }
  sys->shaderQualityFactor = factor;

  const uint32_t flags2 = sys->d3dFlags2;
  const char* suffix = "";
  if ((flags2 & kD3D2HueShiftOff) && (flags2 & kD3D2VertexLightsOff)) suffix = "\\hue_lights_off";
  else if (flags2 & kD3D2HueShiftOff) suffix = "\\hueshift_off";
  else if (flags2 & kD3D2VertexLightsOff) suffix = "\\v_lights_off";

  const ShaderSet* set = nullptr;
  for (const ShaderSet& s : kShaderSets)
    if (Is(active, s.profile)) set = &s;
  if (!set) return false;
  char folder[64];
  std::snprintf(folder, sizeof folder, "%s%s", set->folder, suffix);
  record->shaderFolder = ReplaceString(record->shaderFolder, folder);
  std::snprintf(sys->shaderVersionText, sizeof sys->shaderVersionText, "%s", set->version);
  record->shader20 = set->shader20;
  record->environmentMap = set->environmentMap;
  if (!set->keepsGlow) record->glowFilter = 0;
  if (!record->glowFilter) SetFlag(sys->d3dFlags2, kD3D2Glow, false);
  SetFlag(sys->d3dFlags2, kD3D2Below14, Is(set->folder, "1_1"));
  SetFlag(sys->d3dFlags2, kD3D2Not20, !set->shader20);
  record->activeProfile = ReplaceString(record->activeProfile, active);
  return record->shaderFolder && record->activeProfile;
}

void ChooseAnisotropy(DeviceRecord* record, const GpuCaps& caps) {
  const SystemBlock* sys = gSystem;
  const int32_t filter = static_cast<int32_t>(sys->filterMode);
  const char* name = "NONE";
  if ((caps.textureFilterCaps & kGpuPtFilterCapsMinfAnisotropic) && filter >= 0 && (sys->d3dFlags2 & kD3D2Anisotropic)) {
    constexpr int32_t kLevels[] = {2, 4, 8, 16};
    constexpr const char* kNames[] = {"2x", "4x", "8x", "16x"};
    const int32_t index = filter < 4 ? filter : 0;
    int32_t level = kLevels[index];
    if (static_cast<uint32_t>(level) > caps.maxAnisotropy) level = static_cast<int32_t>(caps.maxAnisotropy);
    record->anisotropic = 1;
    record->anisotropyLevel = level;
    name = kNames[index];
  }
  record->anisotropyName = ReplaceString(record->anisotropyName, name);
}

}  // namespace

char* MultiSampleTypeName(uint32_t type) {
  switch (type) {
    case 2: return DuplicateString("2x");
    case 4: return DuplicateString("4x");
    case 6: return DuplicateString("6x");
    case 8: return DuplicateString("8x");
    case 16: return DuplicateString("16x");
    default: return DuplicateString("NONE");
  }
}

int32_t CreateDeviceStateManager(RenderStateManager** out) {
  *out = gDirect3D && gDirect3D->device ? CreateStateManager(gDirect3D->device->device) : nullptr;
  return *out != nullptr;
}

int32_t CreateD3DDevice() {
  SystemBlock* sys = gSystem;
  if (!gDirect3D || !gDirect3D->system || !sys) return 0;
  FreeDeviceRecord();
  auto* record = static_cast<DeviceRecord*>(MemAlloc(sizeof(DeviceRecord), 0));
  if (!record) return 0;
  gDirect3D->device = record;
  record->backBufferFormat = NewDesc();
  record->opaqueFormat = NewDesc();
  record->alphaFormat = NewDesc();
  record->thirdFormat = NewDesc();
  if (!record->backBufferFormat || !record->opaqueFormat || !record->alphaFormat || !record->thirdFormat) return 0;
  const DisplaySelection& selection = CurrentDisplaySelection();
  const int32_t ordinal = *selection.adapterOrdinal;
  if (ordinal < 0 || static_cast<uint32_t>(ordinal) >= gDirect3D->adapterCount || *selection.modeFormat == 0) return 0;

  AdapterRecord& adapter = gDirect3D->adapters[ordinal];
  record->adapter = &adapter;
  record->maxSimultaneousTextures = adapter.caps.maxSimultaneousTextures;
  const int32_t windowed = (sys->videoFlags & kVideoFlagWindowed) ? 1 : 0;
  const uint32_t index = *selection.modeIndex;
  const int32_t count = windowed ? adapter.windowedModeCount : adapter.fullscreenModeCount;
  if (index >= static_cast<uint32_t>(count)) return 0;
  DisplayModeRecord& mode = windowed ? adapter.windowedModes[index] : adapter.fullscreenModes[index];

  const uint32_t backBuffer = ChooseBackBuffer(adapter, mode, windowed);
  if (backBuffer == kGpuFmtUnknown) return 0;
  const uint32_t depth = ChooseDepth(adapter, mode, backBuffer);
  if (depth == kGpuFmtUnknown) return 0;
  if (Described(depth).stencilBits == 0) SetFlag(sys->d3dFlags, kD3DStencil, false);
  if (!ChooseTextureFormats(record, adapter, mode)) return 0;

  GpuPresentParameters& pp = record->presentParameters;
  pp = GpuPresentParameters{};
  pp.backBufferWidth = mode.width;
  pp.backBufferHeight = mode.height;
  pp.backBufferFormat = backBuffer;
  pp.backBufferCount = 1;
  pp.multiSampleType = kGpuMultisampleNone;
  pp.swapEffect = kGpuSwapEffectDiscard;
  pp.deviceWindow = gDeviceWindow;
  pp.windowed = windowed;
  pp.enableAutoDepthStencil = 1;
  pp.autoDepthStencilFormat = depth;
  pp.flags = kGpuPresentFlagDiscardDepthStencil | (windowed ? kGpuPresentFlagLockableBackBuffer : 0);
  pp.presentationInterval = kGpuPresentIntervalImmediate;
  DescribePixelFormat(record->backBufferFormat, backBuffer);
  record->modeIndex = static_cast<int32_t>(index);
  record->mode = &mode;

  const GpuCaps& caps = adapter.caps;
  uint32_t behavior = kGpuCreateSoftwareVertexProcessing;
  if (caps.devCaps & kGpuDevCapsHwTransformAndLight) {
    behavior = kGpuCreateHardwareVertexProcessing | kGpuCreateFpuPreserve;
    if (caps.devCaps & kGpuDevCapsPureDevice) behavior |= kGpuCreatePureDevice;
  }
  adapter.behaviorFlags = behavior;

  if (sys->d3dFlags & kD3DAntialias) {
    const uint32_t wanted = AntialiasSamples(sys->antialiasMode);
    if (CheckMultiSampleSupport(ordinal, backBuffer, static_cast<int32_t>(wanted))) pp.multiSampleType = wanted;
    else if (CheckMultiSampleSupport(ordinal, backBuffer, 2)) pp.multiSampleType = 2;
  }

  if (GpuFailed(gDirect3D->system->CreateDevice(static_cast<uint32_t>(ordinal), kGpuDevTypeHal, gDeviceWindow, behavior,
                                                &pp, &record->device)))
    return 0;
  GpuDevice* device = record->device;
  gDeviceIsHal = true;

  device->BeginScene();
  const GpuViewport viewport = {0, 0, mode.width, mode.height, 0.0f, 1.0f};
  device->SetViewport(&viewport);
  device->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0, 1.0f, 0);
  device->EndScene();

  device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &record->backBuffer);
  device->GetDepthStencilSurface(&record->depthStencil);
  if (!record->backBuffer || !record->depthStencil) return 0;
  GpuSurfaceDesc desc{};
  if (GpuSucceeded(record->backBuffer->GetDesc(&desc))) pp.multiSampleType = desc.multiSampleType;
  record->multiSampleName = MultiSampleTypeName(pp.multiSampleType);

  sys->shaderQualityFactor = 1.0f;
  record->glowFilter = record->environmentMap = record->anisotropic = record->shader20 = 0;
  record->anisotropyLevel = 1;
  record->textureQuality = sys->textureQuality;

  const char* profile = GpuxGetPixelShaderProfile(device);
  if (!profile || !std::strstr(profile, "ps")) return 0;
  record->hardwareProfile = ReplaceString(record->hardwareProfile, profile);
  record->glowFilter = Is(profile, "ps_2_0") || Is(profile, "ps_2_a") || Is(profile, "ps_2_b") || Is(profile, "ps_3_0");

  ChooseAnisotropy(record, caps);
  if (!(sys->d3dFlags2 & kD3D2NoHalfFloat) && (caps.declTypes & kGpuDtCapsFloat16x2) &&
      (caps.declTypes & kGpuDtCapsFloat16x4))
    record->vertexDeclFlags |= kVertexDeclHalfFloat;
  if (caps.declTypes & kGpuDtCapsDec3N) record->vertexDeclFlags |= kVertexDeclDec3n;
  if (!ChooseShaderSet(record)) return 0;

  const char* active = record->activeProfile;
  if (!Is(active, "ps_3_0") && !Is(active, "ps_1_1") && !Is(active, "ps_2_b")) LoadLookupImages(record);
  for (int i = 0; i < 8; ++i) gLookupImages[kFixedImageSlot + i] = LoadLookup(kFixedImages[i], kLookupImageFlags, 0);

  if (!CreateDeviceStateManager(&gDirect3D->stateManager)) return 0;
  RenderStateManager* states = gDirect3D->stateManager;
  states->SetRenderState(kGpuRsBlendOp, kGpuBlendOpAdd);
  states->SetRenderState(kGpuRsBlendOpAlpha, kGpuBlendOpAdd);
  states->SetRenderState(kGpuRsAlphaFunc, kGpuCmpGreaterEqual);
  states->SetRenderState(kGpuRsAlphaRef, kAlphaRef);
  states->SetRenderState(kGpuRsLighting, 0);
  states->SetRenderState(kGpuRsColorVertex, 0);
  return 1;
}

void ReleaseLightingImages() {
  for (DisplaySurface*& slot : gLookupImages) ReleaseImageHandle(&slot);
}

void FreeDeviceRecord() {
  if (!gDirect3D) return;
  if (gDirect3D->stateManager) gDirect3D->stateManager->Release();
  gDirect3D->stateManager = nullptr;
  DeviceRecord* record = gDirect3D->device;
  if (!record) return;
  ReleaseVertexDeclarations();
  ReleaseLightingImages();
  ReleaseSurface(record->backBuffer);
  ReleaseSurface(record->depthStencil);
  if (record->device) record->device->Release();
  for (char** text : {&record->hardwareProfile, &record->activeProfile, &record->shaderFolder, &record->anisotropyName,
                      &record->multiSampleName})
    *text = FreeString(*text);
  FreeDesc(record->backBufferFormat);
  FreeDesc(record->opaqueFormat);
  FreeDesc(record->alphaFormat);
  FreeDesc(record->thirdFormat);
  MemFree(record, sizeof(DeviceRecord), 0);
  gDirect3D->device = nullptr;
  gDeviceIsHal = false;
}

// ---- Names for the benchmark log

static const char* QualityName(uint32_t level) {
  switch (level) {
    case 0: return "low";
    case 1: return "medium";
    case 2: return "high";
    default: return "not defined";
  }
}

const char* TextureQualityName() { return gSystem ? QualityName(gSystem->textureQuality) : "not defined"; }
const char* ShaderQualityName() { return gSystem ? QualityName(gSystem->shaderQuality) : "not defined"; }

const char* ShaderProfileName() {
  const DeviceRecord* record = gDirect3D ? gDirect3D->device : nullptr;
  return record && record->activeProfile ? record->activeProfile : "none";
}

int32_t VertexSizeBytes() { return gSystem ? gSystem->vertexSize : 0; }
