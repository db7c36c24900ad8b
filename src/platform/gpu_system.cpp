// The GPU layer's system object and its shared pieces: backend choice, the adapter model (the
// default one from the display and the GL driver, or a test's), format and device questions,
// device creation, fault injection, format facts and colour conversion, and the BMP writer.
// Called by the renderer's start-up and by every part that reads back pixels; holds no GL.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/gpu_internal.h"
#include "platform/os.h"
#include "platform/window.h"

namespace gpu {

namespace {

GpuBackend gBackend = kGpuBackendOpenGl;
std::vector<GpuAdapterModel> gOverride;
struct Injection {
  GpuResult result;
  uint32_t times;
  uint32_t skip;  // calls that still go through before the first injected answer
};
std::map<std::string, Injection> gInjections;

bool Listed(const std::vector<uint32_t>& list, uint32_t value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

class SystemImpl final : public GpuSystem {
 public:
  SystemImpl(GpuBackend backend, std::vector<GpuAdapterModel> models)
      : backend_(backend), models_(std::move(models)) {}

  uint32_t AddRef() override { return ++refCount_; }
  uint32_t Release() override {
    if (refCount_ == 0) return 0;
    uint32_t left = --refCount_;
    if (left == 0) delete this;
    return left;
  }

  uint32_t GetAdapterCount() override {
    Log("GetAdapterCount()");
    return static_cast<uint32_t>(models_.size());
  }

  GpuResult GetAdapterIdentifier(uint32_t adapter, uint32_t flags, GpuAdapterIdentifier* identifier) override {
    Log("GetAdapterIdentifier(%u, %u)", adapter, flags);
    GpuResult injected;
    if (Inject("GetAdapterIdentifier", &injected)) return injected;
    if (adapter >= models_.size() || !identifier) return kGpuErrInvalidCall;
    *identifier = GpuAdapterIdentifier{};
    std::snprintf(identifier->description, sizeof identifier->description, "%s", models_[adapter].description.c_str());
    std::snprintf(identifier->driver, sizeof identifier->driver, "%s", models_[adapter].driver.c_str());
    std::snprintf(identifier->deviceName, sizeof identifier->deviceName, "DISPLAY%u", adapter + 1);
    return kGpuOk;
  }

  uint32_t GetAdapterModeCount(uint32_t adapter, uint32_t format) override {
    Log("GetAdapterModeCount(%u, 0x%x)", adapter, format);
    if (adapter >= models_.size()) return 0;
    uint32_t count = 0;
    for (const GpuDisplayMode& mode : models_[adapter].modes) count += mode.format == format;
    return count;
  }

  GpuResult EnumAdapterModes(uint32_t adapter, uint32_t format, uint32_t index, GpuDisplayMode* out) override {
    Log("EnumAdapterModes(%u, 0x%x, %u)", adapter, format, index);
    GpuResult injected;
    if (Inject("EnumAdapterModes", &injected)) return injected;
    if (adapter >= models_.size() || !out) return kGpuErrInvalidCall;
    for (const GpuDisplayMode& mode : models_[adapter].modes) {
      if (mode.format != format) continue;
      if (index-- == 0) {
        *out = mode;
        return kGpuOk;
      }
    }
    return kGpuErrInvalidCall;
  }

  GpuResult GetAdapterDisplayMode(uint32_t adapter, GpuDisplayMode* mode) override {
    Log("GetAdapterDisplayMode(%u)", adapter);
    GpuResult injected;
    if (Inject("GetAdapterDisplayMode", &injected)) return injected;
    if (adapter >= models_.size() || !mode) return kGpuErrInvalidCall;
    *mode = models_[adapter].desktop;
    return kGpuOk;
  }

  GpuResult CheckDeviceType(uint32_t adapter, uint32_t deviceType, uint32_t displayFormat, uint32_t backBufferFormat,
                            int32_t windowed) override {
    Log("CheckDeviceType(%u, %u, 0x%x, 0x%x, %d)", adapter, deviceType, displayFormat, backBufferFormat, windowed);
    GpuResult injected;
    if (Inject("CheckDeviceType", &injected)) return injected;
    if (adapter >= models_.size()) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal) return kGpuErrNotAvailable;
    const GpuAdapterModel& model = models_[adapter];
    bool displayKnown = model.desktop.format == displayFormat;
    for (const GpuDisplayMode& mode : model.modes) displayKnown |= mode.format == displayFormat;
    if (!displayKnown || !Listed(model.backBufferFormats, backBufferFormat)) return kGpuErrNotAvailable;
    return kGpuOk;
  }

  GpuResult CheckDeviceFormat(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat, uint32_t usage,
                              uint32_t resourceType, uint32_t format) override {
    Log("CheckDeviceFormat(%u, %u, 0x%x, 0x%x, %u, 0x%x)", adapter, deviceType, adapterFormat, usage, resourceType,
        format);
    GpuResult injected;
    if (Inject("CheckDeviceFormat", &injected)) return injected;
    if (adapter >= models_.size()) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal) return kGpuErrNotAvailable;
    const GpuAdapterModel& model = models_[adapter];
    bool answer;
    if (usage & kGpuUsageDepthStencil) {
      answer = Listed(model.depthFormats, format) && resourceType == kGpuRtypeSurface;
    } else if (usage & kGpuUsageRenderTarget) {
      answer = Listed(model.renderTargetFormats, format);
    } else {
      switch (resourceType) {
        case kGpuRtypeTexture:
        case kGpuRtypeCubeTexture: answer = Listed(model.textureFormats, format); break;
        case kGpuRtypeSurface:
          answer = Listed(model.textureFormats, format) || Listed(model.renderTargetFormats, format);
          break;
        case kGpuRtypeVertexBuffer: answer = format == kGpuFmtVertexData; break;
        case kGpuRtypeIndexBuffer: answer = format == kGpuFmtIndex16 || format == kGpuFmtIndex32; break;
        default: answer = false;
      }
    }
    if ((usage & kGpuUsageQueryFilter) && GpuFormatBytesPerPixel(format) > 4 && format != kGpuFmtA16B16G16R16)
      answer = false;
    return answer ? kGpuOk : kGpuErrNotAvailable;
  }

  GpuResult CheckDeviceMultiSampleType(uint32_t adapter, uint32_t deviceType, uint32_t surfaceFormat, int32_t windowed,
                                       uint32_t type, uint32_t* qualityLevels) override {
    Log("CheckDeviceMultiSampleType(%u, %u, 0x%x, %d, %u)", adapter, deviceType, surfaceFormat, windowed, type);
    GpuResult injected;
    if (Inject("CheckDeviceMultiSampleType", &injected)) return injected;
    if (qualityLevels) *qualityLevels = 0;
    if (adapter >= models_.size()) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal) return kGpuErrNotAvailable;
    const GpuAdapterModel& model = models_[adapter];
    if (type != kGpuMultisampleNone && !Listed(model.multiSampleTypes, type)) return kGpuErrNotAvailable;
    if (!Listed(model.renderTargetFormats, surfaceFormat) && !Listed(model.depthFormats, surfaceFormat) &&
        !Listed(model.backBufferFormats, surfaceFormat))
      return kGpuErrNotAvailable;
    if (qualityLevels) *qualityLevels = 1;
    return kGpuOk;
  }

  GpuResult CheckDepthStencilMatch(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat,
                                   uint32_t renderTargetFormat, uint32_t depthStencilFormat) override {
    Log("CheckDepthStencilMatch(%u, %u, 0x%x, 0x%x, 0x%x)", adapter, deviceType, adapterFormat, renderTargetFormat,
        depthStencilFormat);
    GpuResult injected;
    if (Inject("CheckDepthStencilMatch", &injected)) return injected;
    if (adapter >= models_.size()) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal) return kGpuErrNotAvailable;
    const GpuAdapterModel& model = models_[adapter];
    bool target = Listed(model.renderTargetFormats, renderTargetFormat) ||
                  Listed(model.backBufferFormats, renderTargetFormat);
    return target && Listed(model.depthFormats, depthStencilFormat) ? kGpuOk : kGpuErrNotAvailable;
  }

  GpuResult GetDeviceCaps(uint32_t adapter, uint32_t deviceType, GpuCaps* caps) override {
    Log("GetDeviceCaps(%u, %u)", adapter, deviceType);
    GpuResult injected;
    if (Inject("GetDeviceCaps", &injected)) return injected;
    if (adapter >= models_.size() || !caps) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal || models_[adapter].capsFail) return kGpuErrNotAvailable;
    *caps = models_[adapter].caps;
    caps->adapterOrdinal = adapter;
    return kGpuOk;
  }

  uintptr_t GetAdapterMonitor(uint32_t adapter) override {
    Log("GetAdapterMonitor(%u)", adapter);
    return adapter < models_.size() ? models_[adapter].monitor : 0;
  }

  GpuResult CreateDevice(uint32_t adapter, uint32_t deviceType, OsWindow* focusWindow, uint32_t behaviorFlags,
                         GpuPresentParameters* parameters, GpuDevice** device) override {
    Log("CreateDevice(%u, %u, 0x%x, %u, %u, 0x%x, %d)", adapter, deviceType, behaviorFlags,
        parameters ? parameters->backBufferWidth : 0, parameters ? parameters->backBufferHeight : 0,
        parameters ? parameters->backBufferFormat : 0, parameters ? parameters->windowed : 0);
    if (!device) return kGpuErrInvalidCall;
    *device = nullptr;
    GpuResult injected;
    if (Inject("CreateDevice", &injected)) return injected;
    if (adapter >= models_.size() || !parameters) return kGpuErrInvalidCall;
    if (deviceType != kGpuDevTypeHal) return kGpuErrNotAvailable;
    uint32_t processing = behaviorFlags & (kGpuCreateSoftwareVertexProcessing | kGpuCreateHardwareVertexProcessing |
                                           kGpuCreateMixedVertexProcessing);
    if (processing == 0 || (processing & (processing - 1)) != 0) return kGpuErrInvalidCall;
    const GpuAdapterModel& model = models_[adapter];
    if (parameters->backBufferFormat != kGpuFmtUnknown && !Listed(model.backBufferFormats, parameters->backBufferFormat))
      return kGpuErrNotAvailable;
    if (parameters->enableAutoDepthStencil && !Listed(model.depthFormats, parameters->autoDepthStencilFormat))
      return kGpuErrInvalidCall;
    if (parameters->multiSampleType != kGpuMultisampleNone && !Listed(model.multiSampleTypes, parameters->multiSampleType))
      return kGpuErrInvalidCall;
    GpuDeviceCreationParameters creation = {adapter, deviceType, focusWindow, behaviorFlags};
    DeviceCore* made;
    if (backend_ == kGpuBackendNull) {
      made = new DeviceCore(this, model, creation, true, true);
      if (!made->Start(parameters)) {
        made->Release();
        made = nullptr;
      }
    } else {
      made = CreateGlDevice(this, model, creation, parameters);
    }
    if (!made) return kGpuErrNotAvailable;
    *device = made;
    return kGpuOk;
  }

 private:
  ~SystemImpl() = default;

  void Log(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (backend_ != kGpuBackendNull) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    LogLine("%s", line);
  }

  bool Inject(const char* call, GpuResult* result) { return backend_ == kGpuBackendNull && TakeInjection(call, result); }

  GpuBackend backend_;
  std::vector<GpuAdapterModel> models_;
  uint32_t refCount_ = 1;
};

}  // namespace

bool TakeInjection(const char* call, GpuResult* result) {
  auto it = gInjections.find(call);
  if (it == gInjections.end()) return false;
  if (it->second.skip > 0) {
    --it->second.skip;
    return false;
  }
  *result = it->second.result;
  if (--it->second.times == 0) gInjections.erase(it);
  return true;
}

const std::vector<GpuAdapterModel>& AdapterModels() {
  if (!gOverride.empty()) return gOverride;
  static std::vector<GpuAdapterModel> defaults;
  static bool made = false;
  if (!made) {
    uint32_t anisotropy = 16;
    bool compressed = true;
    if (gBackend == kGpuBackendOpenGl && !GlProbe(&anisotropy, &compressed)) {
      anisotropy = 1;
      compressed = false;
    }
    defaults = {GpuDefaultAdapterModel(anisotropy, compressed)};
    made = gBackend == kGpuBackendOpenGl;  // a null-backend default is rebuilt once GL is asked for
  }
  return defaults;
}

}  // namespace gpu

// ---- Adapter model ------------------------------------------------------------------------------

GpuAdapterModel GpuDefaultAdapterModel(uint32_t maxAnisotropy, bool compressedTextures) {
  GpuAdapterModel model;
  model.description = "Korvane OpenGL 3.3 device";
  model.driver = "korvane_gl";
  GpuCaps& c = model.caps;
  c.deviceType = kGpuDevTypeHal;
  c.caps2 = kGpuCaps2FullscreenGamma | kGpuCaps2CanAutoGenMipmap | kGpuCaps2DynamicTextures;
  c.presentationIntervals = kGpuPresentIntervalOne | kGpuPresentIntervalImmediate;
  c.devCaps = kGpuDevCapsHwTransformAndLight | kGpuDevCapsPureDevice | kGpuDevCapsHwRasterization |
              kGpuDevCapsTextureVideoMemory | kGpuDevCapsDrawPrimTlVertex;
  c.primitiveMiscCaps = kGpuPMiscCapsMaskZ | kGpuPMiscCapsCullNone | kGpuPMiscCapsCullCw | kGpuPMiscCapsCullCcw |
                        kGpuPMiscCapsColorWriteEnable | kGpuPMiscCapsBlendOp | kGpuPMiscCapsSeparateAlphaBlend;
  c.rasterCaps = kGpuPRasterCapsZTest | kGpuPRasterCapsMipMapLodBias | kGpuPRasterCapsScissorTest |
                 kGpuPRasterCapsSlopeScaleDepthBias | kGpuPRasterCapsDepthBias |
                 (maxAnisotropy > 1 ? kGpuPRasterCapsAnisotropy : 0);
  c.zCmpCaps = c.alphaCmpCaps = kGpuPCmpCapsAll;
  c.srcBlendCaps = c.destBlendCaps = 0x3FFF;
  c.shadeCaps = kGpuPShadeCapsColorGouraudRgb | kGpuPShadeCapsSpecularGouraudRgb | kGpuPShadeCapsAlphaGouraudBlend;
  c.textureCaps = kGpuPTextureCapsPerspective | kGpuPTextureCapsAlpha | kGpuPTextureCapsProjected |
                  kGpuPTextureCapsCubeMap | kGpuPTextureCapsMipMap | kGpuPTextureCapsMipCubeMap;
  c.textureFilterCaps = kGpuPtFilterCapsMinfPoint | kGpuPtFilterCapsMinfLinear | kGpuPtFilterCapsMipfPoint |
                        kGpuPtFilterCapsMipfLinear | kGpuPtFilterCapsMagfPoint | kGpuPtFilterCapsMagfLinear |
                        (maxAnisotropy > 1 ? kGpuPtFilterCapsMinfAnisotropic | kGpuPtFilterCapsMagfAnisotropic : 0);
  c.cubeTextureFilterCaps = c.textureFilterCaps;
  c.textureAddressCaps = kGpuPtAddressCapsWrap | kGpuPtAddressCapsMirror | kGpuPtAddressCapsClamp |
                         kGpuPtAddressCapsBorder;
  c.lineCaps = kGpuLineCapsTexture | kGpuLineCapsZTest | kGpuLineCapsBlend | kGpuLineCapsAlphaCmp;
  c.maxTextureWidth = c.maxTextureHeight = 8192;
  c.maxTextureRepeat = 8192;
  c.maxTextureAspectRatio = 8192;
  c.maxAnisotropy = std::max(1u, maxAnisotropy);
  c.maxVertexW = 1e10f;
  c.textureOpCaps = kGpuTexOpCapsDisable | kGpuTexOpCapsSelectArg1 | kGpuTexOpCapsSelectArg2 | kGpuTexOpCapsModulate |
                    kGpuTexOpCapsModulate2x | kGpuTexOpCapsModulate4x | kGpuTexOpCapsAdd | kGpuTexOpCapsDotProduct3;
  c.maxTextureBlendStages = kGpuMaxTextureStages;
  c.maxSimultaneousTextures = kGpuMaxTextureStages;
  c.maxActiveLights = 8;
  c.maxPointSize = 64.0f;
  c.maxPrimitiveCount = 0xFFFFF;
  c.maxVertexIndex = 0xFFFFFF;
  c.maxStreams = kGpuMaxStreams;
  c.maxStreamStride = 255;
  c.vertexShaderVersion = GpuVertexShaderVersion(3, 0);
  c.maxVertexShaderConst = kGpuVertexConstantsF;
  c.pixelShaderVersion = GpuPixelShaderVersion(3, 0);
  c.pixelShader1xMaxValue = 65504.0f;
  c.devCaps2 = kGpuDevCaps2StreamOffset | kGpuDevCaps2CanStretchRectFromTextures;
  c.numberOfAdaptersInGroup = 1;
  c.declTypes = kGpuDtCapsUByte4 | kGpuDtCapsUByte4N | kGpuDtCapsShort2N | kGpuDtCapsShort4N | kGpuDtCapsUShort2N |
                kGpuDtCapsUShort4N | kGpuDtCapsDec3N | kGpuDtCapsFloat16x2 | kGpuDtCapsFloat16x4;
  c.numSimultaneousRts = 1;
  c.stretchRectFilterCaps = kGpuPtFilterCapsMinfPoint | kGpuPtFilterCapsMinfLinear | kGpuPtFilterCapsMagfPoint |
                            kGpuPtFilterCapsMagfLinear;
  c.maxVShaderInstructionsExecuted = c.maxPShaderInstructionsExecuted = 65535;
  c.maxVertexShader30InstructionSlots = c.maxPixelShader30InstructionSlots = 4096;

  // Display modes: the monitor's, or the offscreen monitor's when windows are offscreen or the
  // device only records.
  OsDisplayMode desktop{};
  OsDisplayMode modes[256];
  uint32_t count = 256;
  if (GpuGetBackend() != kGpuBackendOpenGl || OsWindowsAreOffscreen() || !OsGetMonitorModes(1, &desktop, modes, &count)) {
    count = 256;
    OsGetOffscreenMonitorModes(&desktop, modes, &count);
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (modes[i].bitsPerPixel != 32 && modes[i].bitsPerPixel != 24) continue;
    model.modes.push_back({modes[i].width, modes[i].height, modes[i].refreshRate, kGpuFmtX8R8G8B8});
  }
  if (model.modes.empty()) model.modes.push_back({desktop.width, desktop.height, desktop.refreshRate, kGpuFmtX8R8G8B8});
  model.desktop = {desktop.width, desktop.height, desktop.refreshRate, kGpuFmtX8R8G8B8};

  model.backBufferFormats = {kGpuFmtX8R8G8B8, kGpuFmtA8R8G8B8};
  model.textureFormats = {kGpuFmtR8G8B8,     kGpuFmtA8R8G8B8,     kGpuFmtX8R8G8B8,     kGpuFmtR5G6B5,
                          kGpuFmtX1R5G5B5,   kGpuFmtA1R5G5B5,     kGpuFmtA4R4G4B4,     kGpuFmtX4R4G4B4,
                          kGpuFmtA8,         kGpuFmtL8,           kGpuFmtA8L8,         kGpuFmtL16,
                          kGpuFmtG16R16,     kGpuFmtA2B10G10R10,  kGpuFmtA2R10G10B10,  kGpuFmtA16B16G16R16};
  if (compressedTextures)
    for (uint32_t format : {kGpuFmtDxt1, kGpuFmtDxt2, kGpuFmtDxt3, kGpuFmtDxt4, kGpuFmtDxt5})
      model.textureFormats.push_back(format);
  model.renderTargetFormats = {kGpuFmtA8R8G8B8, kGpuFmtX8R8G8B8,    kGpuFmtR5G6B5, kGpuFmtX1R5G5B5,
                               kGpuFmtA1R5G5B5, kGpuFmtA4R4G4B4,    kGpuFmtG16R16, kGpuFmtA2B10G10R10,
                               kGpuFmtA16B16G16R16};
  model.depthFormats = {kGpuFmtD16, kGpuFmtD24X8, kGpuFmtD24S8};
  return model;
}

void GpuSetAdapterModels(const std::vector<GpuAdapterModel>& models) { gpu::gOverride = models; }

// ---- Entry points -------------------------------------------------------------------------------

void GpuSetBackend(GpuBackend backend) { gpu::gBackend = backend; }
GpuBackend GpuGetBackend() { return gpu::gBackend; }

GpuSystem* GpuCreateSystem(uint32_t sdkVersion) {
  if (sdkVersion != kGpuSdkVersion) return nullptr;
  const std::vector<GpuAdapterModel>& models = gpu::AdapterModels();
  if (models.empty()) return nullptr;
  return new gpu::SystemImpl(gpu::gBackend, models);
}

void GpuInjectResult(const char* call, GpuResult result, uint32_t times, uint32_t skip) {
  if (!call || times == 0) return;
  gpu::gInjections[call] = {result, times, skip};
}

void GpuClearInjections() { gpu::gInjections.clear(); }

// ---- Format facts -------------------------------------------------------------------------------

uint32_t GpuFormatBytesPerPixel(uint32_t format) {
  switch (format) {
    case kGpuFmtA8:
    case kGpuFmtL8:
    case kGpuFmtP8:
    case kGpuFmtR3G3B2:
    case kGpuFmtA4L4: return 1;
    case kGpuFmtR5G6B5:
    case kGpuFmtX1R5G5B5:
    case kGpuFmtA1R5G5B5:
    case kGpuFmtA4R4G4B4:
    case kGpuFmtX4R4G4B4:
    case kGpuFmtA8R3G3B2:
    case kGpuFmtA8L8:
    case kGpuFmtA8P8:
    case kGpuFmtL16:
    case kGpuFmtV8U8:
    case kGpuFmtL6V5U5:
    case kGpuFmtD16:
    case kGpuFmtD16Lockable:
    case kGpuFmtD15S1:
    case kGpuFmtR16F:
    case kGpuFmtIndex16: return 2;
    case kGpuFmtR8G8B8: return 3;
    case kGpuFmtA8R8G8B8:
    case kGpuFmtX8R8G8B8:
    case kGpuFmtA8B8G8R8:
    case kGpuFmtX8B8G8R8:
    case kGpuFmtA2B10G10R10:
    case kGpuFmtA2R10G10B10:
    case kGpuFmtG16R16:
    case kGpuFmtX8L8V8U8:
    case kGpuFmtQ8W8V8U8:
    case kGpuFmtV16U16:
    case kGpuFmtA2W10V10U10:
    case kGpuFmtD32:
    case kGpuFmtD24S8:
    case kGpuFmtD24X8:
    case kGpuFmtD24X4S4:
    case kGpuFmtG16R16F:
    case kGpuFmtR32F:
    case kGpuFmtIndex32: return 4;
    case kGpuFmtA16B16G16R16:
    case kGpuFmtA16B16G16R16F:
    case kGpuFmtG32R32F: return 8;
    case kGpuFmtA32B32G32R32F: return 16;
    default: return 0;
  }
}

bool GpuFormatIsBlockCompressed(uint32_t format) {
  return format == kGpuFmtDxt1 || format == kGpuFmtDxt2 || format == kGpuFmtDxt3 || format == kGpuFmtDxt4 ||
         format == kGpuFmtDxt5;
}

uint32_t GpuFormatRowBytes(uint32_t format, uint32_t width) {
  if (GpuFormatIsBlockCompressed(format)) return std::max(1u, (width + 3) / 4) * (format == kGpuFmtDxt1 ? 8u : 16u);
  return width * GpuFormatBytesPerPixel(format);
}

uint32_t GpuFormatRowCount(uint32_t format, uint32_t height) {
  return GpuFormatIsBlockCompressed(format) ? std::max(1u, (height + 3) / 4) : height;
}

namespace gpu {

namespace {

uint32_t Expand(uint32_t value, uint32_t bits) {
  if (bits == 0) return 0xFF;
  if (bits >= 8) return value >> (bits - 8);
  uint32_t max = (1u << bits) - 1;
  return (value * 255 + max / 2) / max;
}

uint32_t Shrink(uint32_t channel, uint32_t bits) {
  if (bits >= 8) return bits == 8 ? channel : (channel * ((1u << bits) - 1) + 127) / 255;
  uint32_t max = (1u << bits) - 1;
  return (channel * max + 127) / 255;
}

// A packed layout: bits and shift of red, green, blue and alpha (0 bits: absent) in a word of
// `bytes` bytes stored little-endian. Luminance formats are described with their own flag.
struct Layout {
  uint32_t bytes;
  uint32_t rBits, rShift, gBits, gShift, bBits, bShift, aBits, aShift;
  bool luminance;
};

bool FindLayout(uint32_t format, Layout* l) {
  switch (format) {
    case kGpuFmtA8R8G8B8: *l = {4, 8, 16, 8, 8, 8, 0, 8, 24, false}; return true;
    case kGpuFmtX8R8G8B8: *l = {4, 8, 16, 8, 8, 8, 0, 0, 24, false}; return true;
    case kGpuFmtA8B8G8R8: *l = {4, 8, 0, 8, 8, 8, 16, 8, 24, false}; return true;
    case kGpuFmtX8B8G8R8: *l = {4, 8, 0, 8, 8, 8, 16, 0, 24, false}; return true;
    case kGpuFmtR8G8B8: *l = {3, 8, 16, 8, 8, 8, 0, 0, 0, false}; return true;
    case kGpuFmtR5G6B5: *l = {2, 5, 11, 6, 5, 5, 0, 0, 0, false}; return true;
    case kGpuFmtX1R5G5B5: *l = {2, 5, 10, 5, 5, 5, 0, 0, 15, false}; return true;
    case kGpuFmtA1R5G5B5: *l = {2, 5, 10, 5, 5, 5, 0, 1, 15, false}; return true;
    case kGpuFmtA4R4G4B4: *l = {2, 4, 8, 4, 4, 4, 0, 4, 12, false}; return true;
    case kGpuFmtX4R4G4B4: *l = {2, 4, 8, 4, 4, 4, 0, 0, 12, false}; return true;
    case kGpuFmtA2R10G10B10: *l = {4, 10, 20, 10, 10, 10, 0, 2, 30, false}; return true;
    case kGpuFmtA2B10G10R10: *l = {4, 10, 0, 10, 10, 10, 20, 2, 30, false}; return true;
    case kGpuFmtA8: *l = {1, 0, 0, 0, 0, 0, 0, 8, 0, false}; return true;
    case kGpuFmtL8: *l = {1, 8, 0, 0, 0, 0, 0, 0, 0, true}; return true;
    case kGpuFmtA8L8: *l = {2, 8, 0, 0, 0, 0, 0, 8, 8, true}; return true;
    case kGpuFmtL16: *l = {2, 16, 0, 0, 0, 0, 0, 0, 0, true}; return true;
    case kGpuFmtG16R16: *l = {4, 16, 0, 16, 16, 0, 0, 0, 0, false}; return true;
    default: return false;
  }
}

}  // namespace

bool PackColor(uint32_t format, uint32_t argb, uint8_t* pixel) {
  uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  if (format == kGpuFmtA16B16G16R16) {
    uint16_t words[4] = {static_cast<uint16_t>(r * 257), static_cast<uint16_t>(g * 257), static_cast<uint16_t>(b * 257),
                         static_cast<uint16_t>(a * 257)};
    std::memcpy(pixel, words, sizeof words);
    return true;
  }
  Layout l;
  if (!FindLayout(format, &l)) return false;
  uint64_t word = 0;
  if (l.luminance) {
    uint32_t luma = (r * 77 + g * 150 + b * 29 + 128) >> 8;
    word = static_cast<uint64_t>(l.rBits == 16 ? luma * 257 : luma);
  } else {
    if (l.rBits) word |= static_cast<uint64_t>(Shrink(r, l.rBits) << l.rShift);
    if (l.gBits) word |= static_cast<uint64_t>(Shrink(g, l.gBits)) << l.gShift;
    if (l.bBits) word |= static_cast<uint64_t>(Shrink(b, l.bBits) << l.bShift);
  }
  if (l.aBits) word |= static_cast<uint64_t>(Shrink(a, l.aBits)) << l.aShift;
  else if (l.aShift && l.bytes == 4 && !l.luminance) word |= 0xFFull << l.aShift;  // X bytes read as opaque
  for (uint32_t i = 0; i < l.bytes; ++i) pixel[i] = static_cast<uint8_t>(word >> (8 * i));
  return true;
}

bool UnpackColor(uint32_t format, const uint8_t* pixel, uint32_t* argb) {
  if (format == kGpuFmtA16B16G16R16) {
    uint16_t words[4];
    std::memcpy(words, pixel, sizeof words);
    *argb = static_cast<uint32_t>(words[3] >> 8) << 24 | static_cast<uint32_t>(words[0] >> 8) << 16 |
            static_cast<uint32_t>(words[1] >> 8) << 8 | static_cast<uint32_t>(words[2] >> 8);
    return true;
  }
  Layout l;
  if (!FindLayout(format, &l)) return false;
  uint64_t word = 0;
  for (uint32_t i = 0; i < l.bytes; ++i) word |= static_cast<uint64_t>(pixel[i]) << (8 * i);
  auto field = [&](uint32_t bits, uint32_t shift) {
    return static_cast<uint32_t>((word >> shift) & ((1ull << bits) - 1));
  };
  uint32_t r, g, b;
  if (l.luminance) {
    r = g = b = Expand(field(l.rBits, l.rShift), l.rBits);
  } else {
    r = l.rBits ? Expand(field(l.rBits, l.rShift), l.rBits) : 0;
    g = l.gBits ? Expand(field(l.gBits, l.gShift), l.gBits) : 0;
    b = l.bBits ? Expand(field(l.bBits, l.bShift), l.bBits) : 0;
  }
  uint32_t a = l.aBits ? Expand(field(l.aBits, l.aShift), l.aBits) : 0xFF;
  *argb = a << 24 | r << 16 | g << 8 | b;
  return true;
}

}  // namespace gpu

// ---- BMP writer ---------------------------------------------------------------------------------

GpuResult GpuSaveSurfaceToBmp(const char* path, GpuSurface* surface, const GpuRect* rect) {
  if (!path || !surface) return kGpuErrInvalidCall;
  GpuSurfaceDesc desc;
  if (GpuFailed(surface->GetDesc(&desc))) return kGpuErrInvalidCall;
  uint8_t probe[16];
  if (!gpu::PackColor(desc.format, 0, probe)) return kGpuErrInvalidCall;
  GpuRect r = rect ? *rect : GpuRect{0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height)};
  if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
      r.right > static_cast<int32_t>(desc.width) || r.bottom > static_cast<int32_t>(desc.height))
    return kGpuErrInvalidCall;
  // A render target that cannot be locked is read through a system-memory copy.
  GpuSurface* source = surface;
  GpuSurface* copy = nullptr;
  GpuLockedRect locked;
  if (GpuFailed(surface->LockRect(&locked, nullptr, kGpuLockReadOnly))) {
    GpuDevice* device = nullptr;
    if (GpuFailed(surface->GetDevice(&device))) return kGpuErrInvalidCall;
    GpuResult result = device->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy);
    if (GpuSucceeded(result)) result = device->GetRenderTargetData(surface, copy);
    device->Release();
    if (GpuFailed(result) || GpuFailed(copy->LockRect(&locked, nullptr, kGpuLockReadOnly))) {
      if (copy) copy->Release();
      return GpuFailed(result) ? result : kGpuErrInvalidCall;
    }
    source = copy;
  }
  uint32_t width = static_cast<uint32_t>(r.right - r.left);
  uint32_t height = static_cast<uint32_t>(r.bottom - r.top);
  uint32_t rowBytes = (width * 3 + 3) & ~3u;
  uint32_t imageBytes = rowBytes * height;
  std::vector<uint8_t> file(54 + static_cast<size_t>(imageBytes), 0);
  auto put16 = [&](size_t at, uint32_t v) {
    file[at] = static_cast<uint8_t>(v);
    file[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  put16(26, 1);
  put16(28, 24);
  put32(34, imageBytes);
  put32(38, 2835);
  put32(42, 2835);
  uint32_t bpp = GpuFormatBytesPerPixel(desc.format);
  const auto* bits = static_cast<const uint8_t*>(locked.bits);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = bits + static_cast<size_t>(r.top + y) * locked.pitch + static_cast<size_t>(r.left) * bpp;
    uint8_t* out = file.data() + 54 + static_cast<size_t>(height - 1 - y) * rowBytes;
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t argb = 0;
      gpu::UnpackColor(desc.format, row + static_cast<size_t>(x) * bpp, &argb);
      out[x * 3] = static_cast<uint8_t>(argb);
      out[x * 3 + 1] = static_cast<uint8_t>(argb >> 8);
      out[x * 3 + 2] = static_cast<uint8_t>(argb >> 16);
    }
  }
  source->UnlockRect();
  if (copy) copy->Release();
  FILE* f = std::fopen(path, "wb");
  if (!f) return kGpuErrFail;
  bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  ok &= std::fclose(f) == 0;
  return ok ? kGpuOk : kGpuErrFail;
}
