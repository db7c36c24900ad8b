// The device core of the GPU layer: everything a device does that needs no GPU. It validates
// calls the way the renderer's callers expect (kGpuErrInvalidCall for misuse), keeps every
// state, creates the resource objects with their bytes, holds references for what is bound,
// refuses Reset while the caller still holds default-pool resources, writes the call log and
// answers injected faults. The backends (null device, OpenGL) add the GPU work through hooks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/gpu_internal.h"
#include "platform/gpu_null.h"
#include "platform/window.h"

namespace gpu {

namespace {

std::vector<std::string> gLog;

uint32_t FullChain(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  for (uint32_t size = std::max(width, height); size > 1; size >>= 1) ++levels;
  return levels;
}

uint32_t Pitch(uint32_t format, uint32_t width) { return (GpuFormatRowBytes(format, width) + 3u) & ~3u; }

bool Listed(const std::vector<uint32_t>& list, uint32_t value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

void BindRef(ObjectBase* value) {
  if (!value) return;
  ObjectBase* owner = value->Owner();
  owner->refCount++;
  owner->bindCount++;
}

void UnbindRef(ObjectBase* value) {
  if (!value) return;
  ObjectBase* owner = value->Owner();
  owner->bindCount--;
  owner->ObjectRelease();
}

float Channel(uint32_t argb, int shift) { return static_cast<float>((argb >> shift) & 0xFF); }

}  // namespace

const std::vector<std::string>* LogLines() { return &gLog; }

template <class T>
void DeviceCore::Bind(T*& slot, T* value) {
  if (slot == value) return;
  BindRef(value);
  T* old = slot;
  slot = value;
  UnbindRef(old);
}

DeviceCore::DeviceCore(GpuSystem* system, const GpuAdapterModel& adapter, const GpuDeviceCreationParameters& creation,
                       bool logging, bool injectAll)
    : system_(system), adapter_(adapter), creation_(creation), logging_(logging), injectAll_(injectAll) {
  system_->AddRef();
}

DeviceCore::~DeviceCore() { system_->Release(); }

void LogLine(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  gLog.emplace_back(line);
}

void DeviceCore::Log(const char* format, ...) {
  if (!logging_) return;
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  gLog.emplace_back(line);
}

bool DeviceCore::Inject(const char* call, GpuResult* result) {
  if (!injectAll_ && std::strcmp(call, "Present") != 0 && std::strcmp(call, "TestCooperativeLevel") != 0 &&
      std::strcmp(call, "Reset") != 0)
    return false;
  return TakeInjection(call, result);
}

std::string DeviceCore::NextName(const char* kind) { return kind + std::to_string(++serial_); }

bool DeviceCore::Start(GpuPresentParameters* parameters) {
  present_ = *parameters;
  if (present_.backBufferWidth == 0 || present_.backBufferHeight == 0) {
    OsRect client{};
    OsWindow* window = present_.deviceWindow ? present_.deviceWindow : creation_.focusWindow;
    if (window && OsGetWindowClientRect(window, &client)) {
      present_.backBufferWidth = static_cast<uint32_t>(std::max(1, client.right - client.left));
      present_.backBufferHeight = static_cast<uint32_t>(std::max(1, client.bottom - client.top));
    } else {
      present_.backBufferWidth = 640;
      present_.backBufferHeight = 480;
    }
  }
  if (present_.backBufferFormat == kGpuFmtUnknown) present_.backBufferFormat = kGpuFmtX8R8G8B8;
  if (present_.backBufferCount == 0) present_.backBufferCount = 1;
  *parameters = present_;
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t value = static_cast<uint16_t>(i * 257);
    gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = value;
  }
  if (!BackendStart()) return false;
  if (!CreateSwapChain()) return false;
  SetDefaultState();
  return true;
}

uint32_t DeviceCore::AddRef() { return ++refCount_; }

uint32_t DeviceCore::Release() {
  if (refCount_ == 0) return 0;
  if (--refCount_ > 0) return refCount_;
  Log("Release(device)");
  UnbindAll();
  ReleaseSwapChain();
  // Whatever callers still hold outlives the device as an empty shell.
  for (ObjectBase* object : std::vector<ObjectBase*>(live_.begin(), live_.end())) {
    BackendDestroy(object);
    object->device = nullptr;
    if (auto* texture = dynamic_cast<TextureImpl*>(object))
      for (SurfaceImpl* level : texture->surfaces) level->device = nullptr;
  }
  live_.clear();
  BackendStop();
  delete this;
  return 0;
}

void DeviceCore::ObjectDestroyed(ObjectBase* object) {
  live_.erase(object);
  BackendDestroy(object);
}

SurfaceImpl* DeviceCore::NewSurface(SurfaceRole role, uint32_t width, uint32_t height, uint32_t format, uint32_t usage,
                                    uint32_t pool, const char* kind) {
  auto* surface = new SurfaceImpl();
  surface->device = this;
  surface->role = role;
  surface->pool = pool;
  surface->desc = {format, kGpuRtypeSurface, usage, pool, kGpuMultisampleNone, 0, width, height};
  if (role != SurfaceRole::kDepthStencil) {
    surface->pitch = Pitch(format, width);
    surface->bytes.assign(static_cast<size_t>(surface->pitch) * GpuFormatRowCount(format, height), 0);
  } else {
    surface->lockable = false;
  }
  if (kind) surface->name = NextName(kind);
  return surface;
}

bool DeviceCore::CreateSwapChain() {
  backBuffer_ = NewSurface(SurfaceRole::kBackBuffer, present_.backBufferWidth, present_.backBufferHeight,
                           present_.backBufferFormat, kGpuUsageRenderTarget, kGpuPoolDefault, nullptr);
  backBuffer_->name = "backbuffer";
  backBuffer_->swapChain = true;
  backBuffer_->lockable = (present_.flags & kGpuPresentFlagLockableBackBuffer) != 0;
  // The recording device describes the multisampling it was asked for; the OpenGL device draws
  // without it and says so.
  if (logging_) backBuffer_->desc.multiSampleType = present_.multiSampleType;
  if (!BackendCreate(backBuffer_)) {
    delete backBuffer_;
    backBuffer_ = nullptr;
    return false;
  }
  live_.insert(backBuffer_);
  if (present_.enableAutoDepthStencil) {
    autoDepth_ = NewSurface(SurfaceRole::kDepthStencil, present_.backBufferWidth, present_.backBufferHeight,
                            present_.autoDepthStencilFormat, kGpuUsageDepthStencil, kGpuPoolDefault, nullptr);
    autoDepth_->name = "depthstencil";
    autoDepth_->swapChain = true;
    if (!BackendCreate(autoDepth_)) {
      delete autoDepth_;
      autoDepth_ = nullptr;
      return false;
    }
    live_.insert(autoDepth_);
  }
  return true;
}

void DeviceCore::ReleaseSwapChain() {
  for (SurfaceImpl** slot : {&backBuffer_, &autoDepth_}) {
    if (!*slot) continue;
    (*slot)->ObjectRelease();  // the device's own reference; a caller's may keep it as a shell
    *slot = nullptr;
  }
}

void DeviceCore::SetDefaultState() {
  uint32_t* rs = state_.renderStates;
  std::fill(rs, rs + kGpuRenderStateCount, 0u);
  rs[kGpuRsZEnable] = present_.enableAutoDepthStencil ? kGpuZbTrue : kGpuZbFalse;
  rs[kGpuRsFillMode] = kGpuFillSolid;
  rs[kGpuRsShadeMode] = 2;
  rs[kGpuRsZWriteEnable] = 1;
  rs[kGpuRsLastPixel] = 1;
  rs[kGpuRsSrcBlend] = kGpuBlendOne;
  rs[kGpuRsDestBlend] = kGpuBlendZero;
  rs[kGpuRsCullMode] = kGpuCullCcw;
  rs[kGpuRsZFunc] = kGpuCmpLessEqual;
  rs[kGpuRsAlphaFunc] = kGpuCmpAlways;
  rs[kGpuRsStencilFail] = rs[kGpuRsStencilZFail] = rs[kGpuRsStencilPass] = kGpuStencilOpKeep;
  rs[kGpuRsStencilFunc] = kGpuCmpAlways;
  rs[kGpuRsStencilMask] = rs[kGpuRsStencilWriteMask] = 0xFFFFFFFFu;
  rs[kGpuRsTextureFactor] = 0xFFFFFFFFu;
  rs[kGpuRsClipping] = 1;
  rs[kGpuRsLighting] = 1;
  rs[kGpuRsColorVertex] = 1;
  float one = 1.0f;
  std::memcpy(&rs[kGpuRsPointSize], &one, sizeof one);
  rs[kGpuRsMultisampleAntialias] = 1;
  rs[kGpuRsMultisampleMask] = 0xFFFFFFFFu;
  rs[kGpuRsColorWriteEnable] = 0xF;
  rs[kGpuRsBlendOp] = kGpuBlendOpAdd;
  rs[kGpuRsBlendFactor] = 0xFFFFFFFFu;
  rs[kGpuRsSrcBlendAlpha] = kGpuBlendOne;
  rs[kGpuRsDestBlendAlpha] = kGpuBlendZero;
  rs[kGpuRsBlendOpAlpha] = kGpuBlendOpAdd;
  for (uint32_t stage = 0; stage < kGpuMaxTextureStages; ++stage) {
    uint32_t* ts = state_.stageStates[stage];
    std::fill(ts, ts + kGpuTextureStageStateCount, 0u);
    ts[kGpuTssColorOp] = stage == 0 ? kGpuTopModulate : kGpuTopDisable;
    ts[kGpuTssColorArg1] = kGpuTaTexture;
    ts[kGpuTssColorArg2] = kGpuTaCurrent;
    ts[kGpuTssAlphaOp] = stage == 0 ? kGpuTopSelectArg1 : kGpuTopDisable;
    ts[kGpuTssAlphaArg1] = kGpuTaTexture;
    ts[kGpuTssAlphaArg2] = kGpuTaCurrent;
    ts[kGpuTssTexCoordIndex] = stage;
    ts[kGpuTssColorArg0] = ts[kGpuTssAlphaArg0] = ts[kGpuTssResultArg] = kGpuTaCurrent;
  }
  for (uint32_t sampler = 0; sampler < kGpuMaxSamplers; ++sampler) {
    uint32_t* ss = state_.samplerStates[sampler];
    std::fill(ss, ss + kGpuSamplerStateCount, 0u);
    ss[kGpuSampAddressU] = ss[kGpuSampAddressV] = ss[kGpuSampAddressW] = kGpuTAddressWrap;
    ss[kGpuSampMagFilter] = ss[kGpuSampMinFilter] = kGpuTexFilterPoint;
    ss[kGpuSampMipFilter] = kGpuTexFilterNone;
    ss[kGpuSampMaxAnisotropy] = 1;
  }
  Bind(state_.renderTarget, backBuffer_);
  Bind(state_.depthStencil, autoDepth_);
  state_.viewport = {0, 0, present_.backBufferWidth, present_.backBufferHeight, 0.0f, 1.0f};
  state_.scissor = {0, 0, static_cast<int32_t>(present_.backBufferWidth), static_cast<int32_t>(present_.backBufferHeight)};
  state_.fvf = 0;
}

void DeviceCore::UnbindAll() {
  for (TextureImpl*& texture : state_.textures) Bind(texture, static_cast<TextureImpl*>(nullptr));
  for (StreamBinding& stream : state_.streams) Bind(stream.buffer, static_cast<BufferImpl*>(nullptr));
  Bind(state_.indices, static_cast<BufferImpl*>(nullptr));
  Bind(state_.declaration, static_cast<DeclarationImpl*>(nullptr));
  Bind(state_.vertexShader, static_cast<ShaderImpl*>(nullptr));
  Bind(state_.pixelShader, static_cast<ShaderImpl*>(nullptr));
  Bind(state_.renderTarget, static_cast<SurfaceImpl*>(nullptr));
  Bind(state_.depthStencil, static_cast<SurfaceImpl*>(nullptr));
}

// ---- Frame -------------------------------------------------------------------------------------

GpuResult DeviceCore::TestCooperativeLevel() {
  Log("TestCooperativeLevel()");
  GpuResult injected;
  if (Inject("TestCooperativeLevel", &injected)) return injected;
  return kGpuOk;
}

GpuResult DeviceCore::GetDirect3D(GpuSystem** system) {
  if (!system) return kGpuErrInvalidCall;
  system_->AddRef();
  *system = system_;
  return kGpuOk;
}

GpuResult DeviceCore::GetDeviceCaps(GpuCaps* caps) {
  Log("GetDeviceCaps()");
  if (!caps) return kGpuErrInvalidCall;
  *caps = adapter_.caps;
  return kGpuOk;
}

GpuResult DeviceCore::GetDisplayMode(uint32_t swapChain, GpuDisplayMode* mode) {
  if (swapChain != 0 || !mode) return kGpuErrInvalidCall;
  *mode = present_.windowed ? adapter_.desktop
                            : GpuDisplayMode{present_.backBufferWidth, present_.backBufferHeight,
                                             present_.fullScreenRefreshRate, present_.backBufferFormat};
  return kGpuOk;
}

GpuResult DeviceCore::GetCreationParameters(GpuDeviceCreationParameters* parameters) {
  if (GpuResult injected; Inject("GetCreationParameters", &injected)) return injected;
  if (!parameters) return kGpuErrInvalidCall;
  *parameters = creation_;
  return kGpuOk;
}

GpuResult DeviceCore::Reset(GpuPresentParameters* parameters) {
  Log("Reset(%u, %u, 0x%x, %d)", parameters ? parameters->backBufferWidth : 0,
      parameters ? parameters->backBufferHeight : 0, parameters ? parameters->backBufferFormat : 0,
      parameters ? parameters->windowed : 0);
  GpuResult injected;
  if (Inject("Reset", &injected)) return injected;
  if (!parameters) return kGpuErrInvalidCall;
  // References the caller holds on default-pool resources (the swap chain's surfaces hold one
  // of the device's own) would dangle after the reset.
  for (ObjectBase* object : live_) {
    uint32_t held = object->refCount - object->bindCount - (object->swapChain ? 1 : 0);
    if (object->pool == kGpuPoolDefault && held > 0) return kGpuErrInvalidCall;
  }
  UnbindAll();
  ReleaseSwapChain();
  GpuPresentParameters wanted = *parameters;
  present_ = wanted;
  if (present_.backBufferFormat == kGpuFmtUnknown) present_.backBufferFormat = kGpuFmtX8R8G8B8;
  if (present_.backBufferWidth == 0 || present_.backBufferHeight == 0) {
    OsRect client{};
    OsWindow* window = present_.deviceWindow ? present_.deviceWindow : creation_.focusWindow;
    bool known = window && OsGetWindowClientRect(window, &client);
    present_.backBufferWidth = known ? static_cast<uint32_t>(std::max(1, client.right - client.left)) : 640;
    present_.backBufferHeight = known ? static_cast<uint32_t>(std::max(1, client.bottom - client.top)) : 480;
  }
  *parameters = present_;
  if (!BackendResetSwapChain() || !CreateSwapChain()) return kGpuErrDeviceLost;
  SetDefaultState();
  return kGpuOk;
}

GpuResult DeviceCore::Present(const GpuRect*, const GpuRect*, OsWindow*, const void*) {
  Log("Present()");
  GpuResult injected;
  if (Inject("Present", &injected)) return injected;
  if (inScene_) return kGpuErrInvalidCall;
  BackendPresent();
  return kGpuOk;
}

GpuResult DeviceCore::GetBackBuffer(uint32_t swapChain, uint32_t index, uint32_t type, GpuSurface** surface) {
  Log("GetBackBuffer(%u, %u, %u)", swapChain, index, type);
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  if (swapChain != 0 || index != 0 || !backBuffer_) return kGpuErrInvalidCall;
  backBuffer_->AddRef();
  *surface = backBuffer_;
  return kGpuOk;
}

void DeviceCore::SetGammaRamp(uint32_t swapChain, uint32_t flags, const GpuGammaRamp* ramp) {
  Log("SetGammaRamp(%u, %u)", swapChain, flags);
  if (swapChain == 0 && ramp) gamma_ = *ramp;
}

void DeviceCore::GetGammaRamp(uint32_t swapChain, GpuGammaRamp* ramp) {
  if (swapChain == 0 && ramp) *ramp = gamma_;
}

GpuResult DeviceCore::BeginScene() {
  Log("BeginScene()");
  if (inScene_) return kGpuErrInvalidCall;
  inScene_ = true;
  return kGpuOk;
}

GpuResult DeviceCore::EndScene() {
  Log("EndScene()");
  if (!inScene_) return kGpuErrInvalidCall;
  inScene_ = false;
  return kGpuOk;
}

void DeviceCore::FillBytes(SurfaceImpl* surface, const GpuRect& rect, uint32_t color) {
  uint32_t bpp = GpuFormatBytesPerPixel(surface->desc.format);
  uint8_t pixel[16];
  if (bpp == 0 || surface->bytes.empty() || !PackColor(surface->desc.format, color, pixel)) return;
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    uint8_t* row = surface->bytes.data() + static_cast<size_t>(y) * surface->pitch;
    for (int32_t x = rect.left; x < rect.right; ++x) std::memcpy(row + static_cast<size_t>(x) * bpp, pixel, bpp);
  }
}

GpuResult DeviceCore::Clear(uint32_t count, const GpuRect* rects, uint32_t flags, uint32_t color, float z,
                            uint32_t stencil) {
  Log("Clear(%u, 0x%x, 0x%08x, %g, %u)", count, flags, color, static_cast<double>(z), stencil);
  if ((count > 0) != (rects != nullptr)) return kGpuErrInvalidCall;
  if ((flags & (kGpuClearZBuffer | kGpuClearStencil)) && !state_.depthStencil) return kGpuErrInvalidCall;
  if (!state_.renderTarget) return kGpuErrInvalidCall;
  if (BackendHoldsPixels(state_.renderTarget)) {
    BackendClear(count, rects, flags, color, z, stencil);
    return kGpuOk;
  }
  if (flags & kGpuClearTarget) {
    SurfaceImpl* target = state_.renderTarget;
    GpuRect view = {static_cast<int32_t>(state_.viewport.x), static_cast<int32_t>(state_.viewport.y),
                    static_cast<int32_t>(state_.viewport.x + state_.viewport.width),
                    static_cast<int32_t>(state_.viewport.y + state_.viewport.height)};
    for (uint32_t i = 0; i < std::max(count, 1u); ++i) {
      GpuRect r = view;
      if (count) {
        r.left = std::max(r.left, rects[i].left);
        r.top = std::max(r.top, rects[i].top);
        r.right = std::min(r.right, rects[i].right);
        r.bottom = std::min(r.bottom, rects[i].bottom);
      }
      r.right = std::min<int32_t>(r.right, static_cast<int32_t>(target->desc.width));
      r.bottom = std::min<int32_t>(r.bottom, static_cast<int32_t>(target->desc.height));
      if (r.left < r.right && r.top < r.bottom) FillBytes(target, r, color);
    }
  }
  return kGpuOk;
}

// ---- Resources ---------------------------------------------------------------------------------

GpuResult DeviceCore::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                    uint32_t format, uint32_t pool, GpuTexture** texture) {
  Log("CreateTexture(%u, %u, %u, 0x%x, 0x%x, %u)", width, height, levels, usage, format, pool);
  if (!texture) return kGpuErrInvalidCall;
  *texture = nullptr;
  GpuResult injected;
  if (Inject("CreateTexture", &injected)) return injected;
  if (width == 0 || height == 0 || width > adapter_.caps.maxTextureWidth || height > adapter_.caps.maxTextureHeight)
    return kGpuErrInvalidCall;
  if ((usage & kGpuUsageRenderTarget) && pool != kGpuPoolDefault) return kGpuErrInvalidCall;
  if ((usage & kGpuUsageDynamic) && pool == kGpuPoolManaged) return kGpuErrInvalidCall;
  if ((usage & kGpuUsageDepthStencil) || pool > kGpuPoolScratch) return kGpuErrInvalidCall;
  if (!Listed((usage & kGpuUsageRenderTarget) ? adapter_.renderTargetFormats : adapter_.textureFormats, format))
    return kGpuErrNotAvailable;
  auto* object = new TextureImpl();
  object->device = this;
  object->pool = pool;
  object->width = width;
  object->height = height;
  object->usage = usage;
  object->format = format;
  uint32_t chain = FullChain(width, height);
  object->levels = (levels == 0 || (usage & kGpuUsageAutoGenMipmap)) ? chain : std::min(levels, chain);
  if ((usage & kGpuUsageAutoGenMipmap) && levels > 1) object->levels = chain;
  object->name = NextName("tex");
  bool lockable = !(usage & kGpuUsageRenderTarget) && (pool != kGpuPoolDefault || (usage & kGpuUsageDynamic));
  for (uint32_t level = 0; level < object->levels; ++level) {
    SurfaceImpl* surface = NewSurface(SurfaceRole::kLevel, std::max(1u, width >> level), std::max(1u, height >> level),
                                      format, usage, pool, nullptr);
    surface->container = object;
    surface->level = level;
    surface->desc.type = kGpuRtypeTexture;
    surface->lockable = lockable;
    surface->name = object->name + "." + std::to_string(level);
    object->surfaces.push_back(surface);
  }
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *texture = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, uint32_t format,
                                        uint32_t pool, GpuCubeTexture** texture) {
  Log("CreateCubeTexture(%u, %u, 0x%x, 0x%x, %u)", edge, levels, usage, format, pool);
  if (!texture) return kGpuErrInvalidCall;
  *texture = nullptr;
  GpuResult injected;
  if (Inject("CreateCubeTexture", &injected)) return injected;
  if (edge == 0 || edge > adapter_.caps.maxTextureWidth) return kGpuErrInvalidCall;
  if ((usage & kGpuUsageRenderTarget) && pool != kGpuPoolDefault) return kGpuErrInvalidCall;
  if ((usage & kGpuUsageDynamic) && pool == kGpuPoolManaged) return kGpuErrInvalidCall;
  if ((usage & kGpuUsageDepthStencil) || pool > kGpuPoolScratch) return kGpuErrInvalidCall;
  if (!Listed((usage & kGpuUsageRenderTarget) ? adapter_.renderTargetFormats : adapter_.textureFormats, format))
    return kGpuErrNotAvailable;
  auto* object = new TextureImpl();
  object->device = this;
  object->cube = true;
  object->pool = pool;
  object->width = object->height = edge;
  object->usage = usage;
  object->format = format;
  uint32_t chain = FullChain(edge, edge);
  object->levels = (levels == 0 || (usage & kGpuUsageAutoGenMipmap)) ? chain : std::min(levels, chain);
  object->name = NextName("cube");
  bool lockable = !(usage & kGpuUsageRenderTarget) && (pool != kGpuPoolDefault || (usage & kGpuUsageDynamic));
  for (uint32_t face = 0; face < 6; ++face) {
    for (uint32_t level = 0; level < object->levels; ++level) {
      uint32_t size = std::max(1u, edge >> level);
      SurfaceImpl* surface = NewSurface(SurfaceRole::kLevel, size, size, format, usage, pool, nullptr);
      surface->container = object;
      surface->face = face;
      surface->level = level;
      surface->desc.type = kGpuRtypeCubeTexture;
      surface->lockable = lockable;
      surface->name = object->name + "." + std::to_string(face) + "." + std::to_string(level);
      object->surfaces.push_back(surface);
    }
  }
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *texture = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                         GpuVertexBuffer** buffer) {
  Log("CreateVertexBuffer(%u, 0x%x, 0x%x, %u)", length, usage, fvf, pool);
  if (!buffer) return kGpuErrInvalidCall;
  *buffer = nullptr;
  GpuResult injected;
  if (Inject("CreateVertexBuffer", &injected)) return injected;
  if (length == 0 || pool > kGpuPoolScratch || ((usage & kGpuUsageDynamic) && pool == kGpuPoolManaged))
    return kGpuErrInvalidCall;
  auto* object = new BufferImpl();
  object->device = this;
  object->pool = pool;
  object->desc = {kGpuFmtVertexData, kGpuRtypeVertexBuffer, usage, pool, length, fvf};
  object->bytes.assign(length, 0);
  object->name = NextName("vb");
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *buffer = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool,
                                        GpuIndexBuffer** buffer) {
  Log("CreateIndexBuffer(%u, 0x%x, 0x%x, %u)", length, usage, format, pool);
  if (!buffer) return kGpuErrInvalidCall;
  *buffer = nullptr;
  GpuResult injected;
  if (Inject("CreateIndexBuffer", &injected)) return injected;
  if (length == 0 || pool > kGpuPoolScratch || (format != kGpuFmtIndex16 && format != kGpuFmtIndex32) ||
      ((usage & kGpuUsageDynamic) && pool == kGpuPoolManaged))
    return kGpuErrInvalidCall;
  auto* object = new BufferImpl();
  object->device = this;
  object->pool = pool;
  object->desc = {format, kGpuRtypeIndexBuffer, usage, pool, length, 0};
  object->bytes.assign(length, 0);
  object->name = NextName("ib");
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *buffer = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSample,
                                         uint32_t multiSampleQuality, int32_t lockable, GpuSurface** surface) {
  Log("CreateRenderTarget(%u, %u, 0x%x, %u, %u, %d)", width, height, format, multiSample, multiSampleQuality,
      lockable);
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  GpuResult injected;
  if (Inject("CreateRenderTarget", &injected)) return injected;
  if (width == 0 || height == 0) return kGpuErrInvalidCall;
  if (!Listed(adapter_.renderTargetFormats, format)) return kGpuErrNotAvailable;
  SurfaceImpl* object =
      NewSurface(SurfaceRole::kRenderTarget, width, height, format, kGpuUsageRenderTarget, kGpuPoolDefault, "rt");
  object->lockable = lockable != 0;
  object->desc.multiSampleType = multiSample;
  object->desc.multiSampleQuality = multiSampleQuality;
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *surface = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format,
                                                uint32_t multiSample, uint32_t multiSampleQuality, int32_t discard,
                                                GpuSurface** surface) {
  Log("CreateDepthStencilSurface(%u, %u, 0x%x, %u, %u, %d)", width, height, format, multiSample,
      multiSampleQuality, discard);
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  GpuResult injected;
  if (Inject("CreateDepthStencilSurface", &injected)) return injected;
  if (width == 0 || height == 0) return kGpuErrInvalidCall;
  if (!Listed(adapter_.depthFormats, format)) return kGpuErrNotAvailable;
  SurfaceImpl* object =
      NewSurface(SurfaceRole::kDepthStencil, width, height, format, kGpuUsageDepthStencil, kGpuPoolDefault, "ds");
  object->desc.multiSampleType = multiSample;
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *surface = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateOffscreenPlainSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t pool,
                                                  GpuSurface** surface) {
  Log("CreateOffscreenPlainSurface(%u, %u, 0x%x, %u)", width, height, format, pool);
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  GpuResult injected;
  if (Inject("CreateOffscreenPlainSurface", &injected)) return injected;
  if (width == 0 || height == 0 || pool == kGpuPoolManaged || pool > kGpuPoolScratch) return kGpuErrInvalidCall;
  if (GpuFormatBytesPerPixel(format) == 0 && !GpuFormatIsBlockCompressed(format)) return kGpuErrInvalidCall;
  SurfaceImpl* object = NewSurface(SurfaceRole::kPlain, width, height, format, 0, pool, "surf");
  if (!BackendCreate(object)) {
    object->device = nullptr;
    delete object;
    return kGpuErrOutOfVideoMemory;
  }
  live_.insert(object);
  *surface = object;
  return kGpuOk;
}

GpuResult DeviceCore::CreateVertexDeclaration(const GpuVertexElement* elements, GpuVertexDeclaration** declaration) {
  if (!declaration) return kGpuErrInvalidCall;
  *declaration = nullptr;
  if (!elements) return kGpuErrInvalidCall;
  std::vector<GpuVertexElement> list;
  for (const GpuVertexElement* e = elements; e->stream != kGpuDeclEndStream; ++e) {
    if (list.size() >= 64 || e->stream >= kGpuMaxStreams || DeclTypeSize(e->type) == 0) {
      Log("CreateVertexDeclaration(%zu)", list.size());
      return kGpuErrInvalidCall;
    }
    list.push_back(*e);
  }
  Log("CreateVertexDeclaration(%zu)", list.size());
  GpuResult injected;
  if (Inject("CreateVertexDeclaration", &injected)) return injected;
  auto* object = new DeclarationImpl();
  object->device = this;
  object->elements = std::move(list);
  object->name = NextName("decl");
  live_.insert(object);
  *declaration = object;
  return kGpuOk;
}

// Both program kinds are one record; `call` names the entry point in the log and for injection.
ShaderImpl* DeviceCore::CreateShader(const char* call, const char* glsl, bool vertex, GpuResult* result) {
  Log("%s()", call);
  GpuResult injected;
  if (Inject(call, &injected)) {
    *result = injected;
    return nullptr;
  }
  *result = kGpuErrInvalidCall;
  if (!glsl) return nullptr;
  auto* object = new ShaderImpl();
  object->device = this;
  object->vertex = vertex;
  object->source = glsl;
  object->name = NextName(vertex ? "vs" : "ps");
  shaderLog_.clear();
  if (!BackendCompile(object, &shaderLog_)) {
    object->device = nullptr;
    delete object;
    return nullptr;
  }
  live_.insert(object);
  *result = kGpuOk;
  return object;
}

GpuResult DeviceCore::CreateVertexShader(const char* glsl, GpuVertexShader** shader) {
  if (!shader) {
    Log("CreateVertexShader()");
    return kGpuErrInvalidCall;
  }
  GpuResult result;
  *shader = CreateShader("CreateVertexShader", glsl, true, &result);
  return result;
}

GpuResult DeviceCore::CreatePixelShader(const char* glsl, GpuPixelShader** shader) {
  if (!shader) {
    Log("CreatePixelShader()");
    return kGpuErrInvalidCall;
  }
  GpuResult result;
  *shader = CreateShader("CreatePixelShader", glsl, false, &result);
  return result;
}

// ---- Surface bytes -----------------------------------------------------------------------------

void DeviceCore::SyncToCpu(SurfaceImpl* surface) {
  if (BackendHoldsPixels(surface)) BackendReadBack(surface);
}

void DeviceCore::SurfaceWritten(SurfaceImpl* surface) {
  BackendUpload(surface);
  if (surface->container && surface->level == 0 && (surface->container->usage & kGpuUsageAutoGenMipmap))
    MipsWanted(surface->container);
}

void DeviceCore::BufferWritten(BufferImpl* buffer, uint32_t offset, uint32_t size, bool discard) {
  BackendUploadBuffer(buffer, offset, size, discard);
}

void DeviceCore::MipsWanted(TextureImpl* texture) { BackendGenerateMips(texture); }

GpuResult DeviceCore::GetRenderTargetData(GpuSurface* renderTarget, GpuSurface* dest) {
  Log("GetRenderTargetData(%s, %s)", ObjectName(renderTarget), ObjectName(dest));
  GpuResult injected;
  if (Inject("GetRenderTargetData", &injected)) return injected;
  auto* source = dynamic_cast<SurfaceImpl*>(renderTarget);
  auto* target = dynamic_cast<SurfaceImpl*>(dest);
  if (!source || !target || source->device != this || target->device != this) return kGpuErrInvalidCall;
  if (!(source->desc.usage & kGpuUsageRenderTarget) || target->pool != kGpuPoolSystemMem) return kGpuErrInvalidCall;
  if (source->desc.width != target->desc.width || source->desc.height != target->desc.height ||
      source->desc.format != target->desc.format || source->desc.multiSampleType != kGpuMultisampleNone ||
      target->locked)
    return kGpuErrInvalidCall;
  SyncToCpu(source);
  target->bytes = source->bytes;
  return kGpuOk;
}

GpuResult DeviceCore::StretchRect(GpuSurface* sourceSurface, const GpuRect* sourceRect, GpuSurface* destSurface,
                                  const GpuRect* destRect, uint32_t filter) {
  Log("StretchRect(%s, %s, %u)", ObjectName(sourceSurface), ObjectName(destSurface), filter);
  GpuResult injected;
  if (Inject("StretchRect", &injected)) return injected;
  auto* source = dynamic_cast<SurfaceImpl*>(sourceSurface);
  auto* dest = dynamic_cast<SurfaceImpl*>(destSurface);
  if (!source || !dest || source == dest || source->device != this || dest->device != this) return kGpuErrInvalidCall;
  if (source->pool != kGpuPoolDefault || dest->pool != kGpuPoolDefault) return kGpuErrInvalidCall;
  if (!(dest->desc.usage & kGpuUsageRenderTarget) && dest->role != SurfaceRole::kPlain) return kGpuErrInvalidCall;
  if (filter > kGpuTexFilterLinear || source->role == SurfaceRole::kDepthStencil ||
      dest->role == SurfaceRole::kDepthStencil)
    return kGpuErrInvalidCall;
  GpuRect s = sourceRect ? *sourceRect
                         : GpuRect{0, 0, static_cast<int32_t>(source->desc.width), static_cast<int32_t>(source->desc.height)};
  GpuRect d = destRect ? *destRect
                       : GpuRect{0, 0, static_cast<int32_t>(dest->desc.width), static_cast<int32_t>(dest->desc.height)};
  auto inside = [](const GpuRect& r, const SurfaceImpl* surface) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           r.right <= static_cast<int32_t>(surface->desc.width) && r.bottom <= static_cast<int32_t>(surface->desc.height);
  };
  if (!inside(s, source) || !inside(d, dest)) return kGpuErrInvalidCall;
  if (BackendStretch(source, s, dest, d, filter)) return kGpuOk;
  // In memory: each destination pixel centre maps into the source rectangle; LINEAR blends the
  // four nearest source pixels, clamped to the rectangle.
  uint32_t sbpp = GpuFormatBytesPerPixel(source->desc.format);
  uint32_t dbpp = GpuFormatBytesPerPixel(dest->desc.format);
  if (sbpp == 0 || dbpp == 0) return kGpuErrInvalidCall;
  SyncToCpu(source);
  SyncToCpu(dest);
  float scaleX = static_cast<float>(s.right - s.left) / static_cast<float>(d.right - d.left);
  float scaleY = static_cast<float>(s.bottom - s.top) / static_cast<float>(d.bottom - d.top);
  auto fetch = [&](int32_t x, int32_t y) {
    x = std::clamp(x, s.left, s.right - 1);
    y = std::clamp(y, s.top, s.bottom - 1);
    uint32_t argb = 0;
    UnpackColor(source->desc.format, source->bytes.data() + static_cast<size_t>(y) * source->pitch + x * sbpp, &argb);
    return argb;
  };
  for (int32_t y = d.top; y < d.bottom; ++y) {
    for (int32_t x = d.left; x < d.right; ++x) {
      float fx = s.left + (static_cast<float>(x - d.left) + 0.5f) * scaleX - 0.5f;
      float fy = s.top + (static_cast<float>(y - d.top) + 0.5f) * scaleY - 0.5f;
      uint32_t out;
      if (filter == kGpuTexFilterLinear) {
        int32_t x0 = static_cast<int32_t>(std::floor(fx));
        int32_t y0 = static_cast<int32_t>(std::floor(fy));
        float ax = fx - static_cast<float>(x0);
        float ay = fy - static_cast<float>(y0);
        uint32_t c00 = fetch(x0, y0), c10 = fetch(x0 + 1, y0), c01 = fetch(x0, y0 + 1), c11 = fetch(x0 + 1, y0 + 1);
        out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          float top = Channel(c00, shift) * (1 - ax) + Channel(c10, shift) * ax;
          float bottom = Channel(c01, shift) * (1 - ax) + Channel(c11, shift) * ax;
          out |= static_cast<uint32_t>(std::lround(top * (1 - ay) + bottom * ay)) << shift;
        }
      } else {
        out = fetch(static_cast<int32_t>(std::floor(fx + 0.5f)), static_cast<int32_t>(std::floor(fy + 0.5f)));
      }
      PackColor(dest->desc.format, out, dest->bytes.data() + static_cast<size_t>(y) * dest->pitch + x * dbpp);
    }
  }
  SurfaceWritten(dest);
  return kGpuOk;
}

GpuResult DeviceCore::ColorFill(GpuSurface* surfaceIn, const GpuRect* rect, uint32_t color) {
  Log("ColorFill(%s, 0x%08x)", ObjectName(surfaceIn), color);
  GpuResult injected;
  if (Inject("ColorFill", &injected)) return injected;
  auto* surface = dynamic_cast<SurfaceImpl*>(surfaceIn);
  if (!surface || surface->device != this || surface->pool != kGpuPoolDefault ||
      surface->role == SurfaceRole::kDepthStencil || surface->locked)
    return kGpuErrInvalidCall;
  GpuRect r = rect ? *rect
                   : GpuRect{0, 0, static_cast<int32_t>(surface->desc.width), static_cast<int32_t>(surface->desc.height)};
  if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
      r.right > static_cast<int32_t>(surface->desc.width) || r.bottom > static_cast<int32_t>(surface->desc.height))
    return kGpuErrInvalidCall;
  if (BackendHoldsPixels(surface)) {
    BackendColorFill(surface, r, color);
    return kGpuOk;
  }
  uint8_t probe[16];
  if (!PackColor(surface->desc.format, color, probe)) return kGpuErrInvalidCall;
  FillBytes(surface, r, color);
  SurfaceWritten(surface);
  return kGpuOk;
}

// ---- Targets and state -------------------------------------------------------------------------

GpuResult DeviceCore::SetRenderTarget(uint32_t index, GpuSurface* surfaceIn) {
  Log("SetRenderTarget(%u, %s)", index, ObjectName(surfaceIn));
  auto* surface = dynamic_cast<SurfaceImpl*>(surfaceIn);
  if (index != 0 || !surface || surface->device != this || !(surface->desc.usage & kGpuUsageRenderTarget))
    return kGpuErrInvalidCall;
  Bind(state_.renderTarget, surface);
  // A new target gets a viewport covering it, as callers expect after switching targets.
  state_.viewport = {0, 0, surface->desc.width, surface->desc.height, 0.0f, 1.0f};
  state_.scissor = {0, 0, static_cast<int32_t>(surface->desc.width), static_cast<int32_t>(surface->desc.height)};
  return kGpuOk;
}

GpuResult DeviceCore::GetRenderTarget(uint32_t index, GpuSurface** surface) {
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  if (index != 0 || !state_.renderTarget) return kGpuErrNotFound;
  state_.renderTarget->AddRef();
  *surface = state_.renderTarget;
  return kGpuOk;
}

GpuResult DeviceCore::SetDepthStencilSurface(GpuSurface* surfaceIn) {
  Log("SetDepthStencilSurface(%s)", ObjectName(surfaceIn));
  auto* surface = dynamic_cast<SurfaceImpl*>(surfaceIn);
  if (surfaceIn && (!surface || surface->device != this || surface->role != SurfaceRole::kDepthStencil))
    return kGpuErrInvalidCall;
  Bind(state_.depthStencil, surface);
  return kGpuOk;
}

GpuResult DeviceCore::GetDepthStencilSurface(GpuSurface** surface) {
  if (!surface) return kGpuErrInvalidCall;
  *surface = nullptr;
  if (!state_.depthStencil) return kGpuErrNotFound;
  state_.depthStencil->AddRef();
  *surface = state_.depthStencil;
  return kGpuOk;
}

GpuResult DeviceCore::SetViewport(const GpuViewport* viewport) {
  if (!viewport) return kGpuErrInvalidCall;
  Log("SetViewport(%u, %u, %u, %u, %g, %g)", viewport->x, viewport->y, viewport->width, viewport->height,
      static_cast<double>(viewport->minZ), static_cast<double>(viewport->maxZ));
  SurfaceImpl* target = state_.renderTarget;
  if (viewport->width == 0 || viewport->height == 0 ||
      (target && (viewport->x + viewport->width > target->desc.width ||
                  viewport->y + viewport->height > target->desc.height)))
    return kGpuErrInvalidCall;
  state_.viewport = *viewport;
  return kGpuOk;
}

GpuResult DeviceCore::GetViewport(GpuViewport* viewport) {
  if (!viewport) return kGpuErrInvalidCall;
  *viewport = state_.viewport;
  return kGpuOk;
}

GpuResult DeviceCore::SetScissorRect(const GpuRect* rect) {
  if (!rect) return kGpuErrInvalidCall;
  Log("SetScissorRect(%d, %d, %d, %d)", rect->left, rect->top, rect->right, rect->bottom);
  state_.scissor = *rect;
  return kGpuOk;
}

GpuResult DeviceCore::GetScissorRect(GpuRect* rect) {
  if (!rect) return kGpuErrInvalidCall;
  *rect = state_.scissor;
  return kGpuOk;
}

GpuResult DeviceCore::SetTransform(uint32_t stateId, const GpuMatrix* matrix) {
  Log("SetTransform(%u)", stateId);
  if (!matrix) return kGpuErrInvalidCall;
  for (auto& entry : transforms_) {
    if (entry.first == stateId) {
      entry.second = *matrix;
      return kGpuOk;
    }
  }
  transforms_.emplace_back(stateId, *matrix);
  return kGpuOk;
}

GpuResult DeviceCore::GetTransform(uint32_t stateId, GpuMatrix* matrix) {
  if (!matrix) return kGpuErrInvalidCall;
  *matrix = GpuMatrix{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  for (auto& entry : transforms_)
    if (entry.first == stateId) *matrix = entry.second;
  return kGpuOk;
}

GpuResult DeviceCore::SetMaterial(const GpuMaterial* material) {
  Log("SetMaterial()");
  if (!material) return kGpuErrInvalidCall;
  material_ = *material;
  return kGpuOk;
}

GpuResult DeviceCore::GetMaterial(GpuMaterial* material) {
  if (!material) return kGpuErrInvalidCall;
  *material = material_;
  return kGpuOk;
}

GpuResult DeviceCore::SetLight(uint32_t index, const GpuLight* light) {
  Log("SetLight(%u)", index);
  if (!light || index >= kGpuMaxLights) return kGpuErrInvalidCall;
  lights_[index] = *light;
  return kGpuOk;
}

GpuResult DeviceCore::GetLight(uint32_t index, GpuLight* light) {
  if (!light || index >= kGpuMaxLights) return kGpuErrInvalidCall;
  *light = lights_[index];
  return kGpuOk;
}

GpuResult DeviceCore::LightEnable(uint32_t index, int32_t enable) {
  Log("LightEnable(%u, %d)", index, enable);
  if (index >= kGpuMaxLights) return kGpuErrInvalidCall;
  lightEnabled_[index] = enable ? 1 : 0;
  return kGpuOk;
}

GpuResult DeviceCore::GetLightEnable(uint32_t index, int32_t* enable) {
  if (!enable || index >= kGpuMaxLights) return kGpuErrInvalidCall;
  *enable = lightEnabled_[index];
  return kGpuOk;
}

GpuResult DeviceCore::SetRenderState(uint32_t stateId, uint32_t value) {
  Log("SetRenderState(%u, %u)", stateId, value);
  if (GpuResult injected; Inject("SetRenderState", &injected)) return injected;
  if (stateId >= kGpuRenderStateCount) return kGpuErrInvalidCall;
  state_.renderStates[stateId] = value;
  return kGpuOk;
}

GpuResult DeviceCore::GetRenderState(uint32_t stateId, uint32_t* value) {
  if (!value || stateId >= kGpuRenderStateCount) return kGpuErrInvalidCall;
  *value = state_.renderStates[stateId];
  return kGpuOk;
}

GpuResult DeviceCore::SetTexture(uint32_t sampler, GpuBaseTexture* textureIn) {
  Log("SetTexture(%u, %s)", sampler, ObjectName(textureIn));
  if (GpuResult injected; Inject("SetTexture", &injected)) return injected;
  auto* texture = dynamic_cast<TextureImpl*>(textureIn);
  if (sampler >= kGpuMaxSamplers || (textureIn && (!texture || texture->device != this))) return kGpuErrInvalidCall;
  Bind(state_.textures[sampler], texture);
  return kGpuOk;
}

GpuResult DeviceCore::GetTexture(uint32_t sampler, GpuBaseTexture** texture) {
  if (!texture || sampler >= kGpuMaxSamplers) return kGpuErrInvalidCall;
  *texture = nullptr;
  if (state_.textures[sampler]) {
    state_.textures[sampler]->AddRef();
    *texture = state_.textures[sampler]->AsBase();
  }
  return kGpuOk;
}

GpuResult DeviceCore::SetTextureStageState(uint32_t stage, uint32_t stateId, uint32_t value) {
  Log("SetTextureStageState(%u, %u, %u)", stage, stateId, value);
  if (GpuResult injected; Inject("SetTextureStageState", &injected)) return injected;
  if (stage >= kGpuMaxTextureStages || stateId >= kGpuTextureStageStateCount) return kGpuErrInvalidCall;
  state_.stageStates[stage][stateId] = value;
  return kGpuOk;
}

GpuResult DeviceCore::GetTextureStageState(uint32_t stage, uint32_t stateId, uint32_t* value) {
  if (!value || stage >= kGpuMaxTextureStages || stateId >= kGpuTextureStageStateCount) return kGpuErrInvalidCall;
  *value = state_.stageStates[stage][stateId];
  return kGpuOk;
}

GpuResult DeviceCore::SetSamplerState(uint32_t sampler, uint32_t stateId, uint32_t value) {
  Log("SetSamplerState(%u, %u, %u)", sampler, stateId, value);
  if (GpuResult injected; Inject("SetSamplerState", &injected)) return injected;
  if (sampler >= kGpuMaxSamplers || stateId >= kGpuSamplerStateCount) return kGpuErrInvalidCall;
  state_.samplerStates[sampler][stateId] = value;
  return kGpuOk;
}

GpuResult DeviceCore::GetSamplerState(uint32_t sampler, uint32_t stateId, uint32_t* value) {
  if (!value || sampler >= kGpuMaxSamplers || stateId >= kGpuSamplerStateCount) return kGpuErrInvalidCall;
  *value = state_.samplerStates[sampler][stateId];
  return kGpuOk;
}

GpuResult DeviceCore::SetSoftwareVertexProcessing(int32_t software) {
  Log("SetSoftwareVertexProcessing(%d)", software);
  // Only a mixed device switches; the others keep what they were created with.
  if (!(creation_.behaviorFlags & kGpuCreateMixedVertexProcessing)) return kGpuErrInvalidCall;
  softwareVp_ = software ? 1 : 0;
  return kGpuOk;
}

GpuResult DeviceCore::SetNPatchMode(float segments) {
  Log("SetNPatchMode(%g)", static_cast<double>(segments));
  nPatch_ = segments;
  return kGpuOk;
}

GpuResult DeviceCore::SetStreamSource(uint32_t stream, GpuVertexBuffer* bufferIn, uint32_t offset, uint32_t stride) {
  Log("SetStreamSource(%u, %s, %u, %u)", stream, ObjectName(bufferIn), offset, stride);
  if (GpuResult injected; Inject("SetStreamSource", &injected)) return injected;
  auto* buffer = dynamic_cast<BufferImpl*>(bufferIn);
  if (stream >= kGpuMaxStreams || (bufferIn && (!buffer || buffer->device != this))) return kGpuErrInvalidCall;
  Bind(state_.streams[stream].buffer, buffer);
  state_.streams[stream].offset = offset;
  state_.streams[stream].stride = stride;
  return kGpuOk;
}

GpuResult DeviceCore::GetStreamSource(uint32_t stream, GpuVertexBuffer** buffer, uint32_t* offset, uint32_t* stride) {
  if (!buffer || !offset || !stride || stream >= kGpuMaxStreams) return kGpuErrInvalidCall;
  const StreamBinding& binding = state_.streams[stream];
  *buffer = binding.buffer;
  if (binding.buffer) binding.buffer->AddRef();
  *offset = binding.offset;
  *stride = binding.stride;
  return kGpuOk;
}

GpuResult DeviceCore::SetIndices(GpuIndexBuffer* bufferIn) {
  Log("SetIndices(%s)", ObjectName(bufferIn));
  if (GpuResult injected; Inject("SetIndices", &injected)) return injected;
  auto* buffer = dynamic_cast<BufferImpl*>(bufferIn);
  if (bufferIn && (!buffer || buffer->device != this)) return kGpuErrInvalidCall;
  Bind(state_.indices, buffer);
  return kGpuOk;
}

GpuResult DeviceCore::GetIndices(GpuIndexBuffer** buffer) {
  if (!buffer) return kGpuErrInvalidCall;
  *buffer = state_.indices;
  if (state_.indices) state_.indices->AddRef();
  return kGpuOk;
}

GpuResult DeviceCore::SetVertexDeclaration(GpuVertexDeclaration* declarationIn) {
  Log("SetVertexDeclaration(%s)", ObjectName(declarationIn));
  if (GpuResult injected; Inject("SetVertexDeclaration", &injected)) return injected;
  auto* declaration = dynamic_cast<DeclarationImpl*>(declarationIn);
  if (declarationIn && (!declaration || declaration->device != this)) return kGpuErrInvalidCall;
  Bind(state_.declaration, declaration);
  state_.fvf = 0;
  return kGpuOk;
}

GpuResult DeviceCore::GetVertexDeclaration(GpuVertexDeclaration** declaration) {
  if (!declaration) return kGpuErrInvalidCall;
  *declaration = state_.declaration;
  if (state_.declaration) state_.declaration->AddRef();
  return kGpuOk;
}

GpuResult DeviceCore::SetFVF(uint32_t fvf) {
  Log("SetFVF(0x%x)", fvf);
  std::vector<GpuVertexElement> elements;
  uint32_t stride;
  if (fvf != 0 && !DeclarationFromFvf(fvf, &elements, &stride)) return kGpuErrInvalidCall;
  Bind(state_.declaration, static_cast<DeclarationImpl*>(nullptr));
  state_.fvf = fvf;
  return kGpuOk;
}

GpuResult DeviceCore::GetFVF(uint32_t* fvf) {
  if (!fvf) return kGpuErrInvalidCall;
  *fvf = state_.fvf;
  return kGpuOk;
}

GpuResult DeviceCore::SetVertexShader(GpuVertexShader* shaderIn) {
  Log("SetVertexShader(%s)", ObjectName(shaderIn));
  if (GpuResult injected; Inject("SetVertexShader", &injected)) return injected;
  auto* shader = dynamic_cast<ShaderImpl*>(shaderIn);
  if (shaderIn && (!shader || shader->device != this || !shader->vertex)) return kGpuErrInvalidCall;
  Bind(state_.vertexShader, shader);
  return kGpuOk;
}

GpuResult DeviceCore::GetVertexShader(GpuVertexShader** shader) {
  if (!shader) return kGpuErrInvalidCall;
  *shader = state_.vertexShader;
  if (state_.vertexShader) state_.vertexShader->AddRef();
  return kGpuOk;
}

GpuResult DeviceCore::SetPixelShader(GpuPixelShader* shaderIn) {
  Log("SetPixelShader(%s)", ObjectName(shaderIn));
  if (GpuResult injected; Inject("SetPixelShader", &injected)) return injected;
  auto* shader = dynamic_cast<ShaderImpl*>(shaderIn);
  if (shaderIn && (!shader || shader->device != this || shader->vertex)) return kGpuErrInvalidCall;
  Bind(state_.pixelShader, shader);
  return kGpuOk;
}

GpuResult DeviceCore::GetPixelShader(GpuPixelShader** shader) {
  if (!shader) return kGpuErrInvalidCall;
  *shader = state_.pixelShader;
  if (state_.pixelShader) state_.pixelShader->AddRef();
  return kGpuOk;
}

namespace {

template <class T, size_t N, size_t W>
GpuResult StoreConstants(T (&table)[N][W], uint32_t start, const T* data, uint32_t count) {
  if (!data || start > N || count > N - start) return kGpuErrInvalidCall;
  std::memcpy(table[start], data, sizeof(T) * W * count);
  return kGpuOk;
}

template <class T, size_t N>
GpuResult StoreConstants(T (&table)[N], uint32_t start, const T* data, uint32_t count) {
  if (!data || start > N || count > N - start) return kGpuErrInvalidCall;
  std::memcpy(table + start, data, sizeof(T) * count);
  return kGpuOk;
}

}  // namespace

GpuResult DeviceCore::SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) {
  Log("SetVertexShaderConstantF(%u, %u)", start, count);
  if (GpuResult injected; Inject("SetVertexShaderConstantF", &injected)) return injected;
  return StoreConstants(state_.vsConstF, start, data, count);
}

GpuResult DeviceCore::SetVertexShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) {
  Log("SetVertexShaderConstantI(%u, %u)", start, count);
  return StoreConstants(state_.vsConstI, start, data, count);
}

GpuResult DeviceCore::SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) {
  Log("SetVertexShaderConstantB(%u, %u)", start, count);
  if (GpuResult injected; Inject("SetVertexShaderConstantB", &injected)) return injected;
  return StoreConstants(state_.vsConstB, start, data, count);
}

GpuResult DeviceCore::SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) {
  Log("SetPixelShaderConstantF(%u, %u)", start, count);
  if (GpuResult injected; Inject("SetPixelShaderConstantF", &injected)) return injected;
  return StoreConstants(state_.psConstF, start, data, count);
}

GpuResult DeviceCore::SetPixelShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) {
  Log("SetPixelShaderConstantI(%u, %u)", start, count);
  return StoreConstants(state_.psConstI, start, data, count);
}

GpuResult DeviceCore::SetPixelShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) {
  Log("SetPixelShaderConstantB(%u, %u)", start, count);
  return StoreConstants(state_.psConstB, start, data, count);
}

GpuResult DeviceCore::GetVertexShaderConstantF(uint32_t start, float* data, uint32_t count) {
  if (!data || start > kGpuVertexConstantsF || count > kGpuVertexConstantsF - start) return kGpuErrInvalidCall;
  std::memcpy(data, state_.vsConstF[start], sizeof(float) * 4 * count);
  return kGpuOk;
}

GpuResult DeviceCore::GetPixelShaderConstantF(uint32_t start, float* data, uint32_t count) {
  if (!data || start > kGpuPixelConstantsF || count > kGpuPixelConstantsF - start) return kGpuErrInvalidCall;
  std::memcpy(data, state_.psConstF[start], sizeof(float) * 4 * count);
  return kGpuOk;
}

// ---- Draws -------------------------------------------------------------------------------------

GpuResult DeviceCore::CheckDraw(uint32_t type, uint32_t primitiveCount, uint32_t* vertexCount) {
  switch (type) {
    case kGpuPtPointList: *vertexCount = primitiveCount; break;
    case kGpuPtLineList: *vertexCount = primitiveCount * 2; break;
    case kGpuPtLineStrip: *vertexCount = primitiveCount + 1; break;
    case kGpuPtTriangleList: *vertexCount = primitiveCount * 3; break;
    case kGpuPtTriangleStrip:
    case kGpuPtTriangleFan: *vertexCount = primitiveCount + 2; break;
    default: return kGpuErrInvalidCall;
  }
  if (primitiveCount > 0x100000) return kGpuErrInvalidCall;
  if (!state_.declaration && state_.fvf == 0) return kGpuErrInvalidCall;
  if ((state_.vertexShader != nullptr) != (state_.pixelShader != nullptr)) return kGpuErrInvalidCall;
  if (!state_.vertexShader && !(state_.fvf & kGpuFvfXyzRhw)) {
    // Without programs only pre-transformed vertices can be drawn.
    bool transformed = false;
    if (state_.declaration)
      for (const GpuVertexElement& e : state_.declaration->elements)
        transformed |= e.usage == kGpuDeclUsagePositionT;
    if (!transformed) return kGpuErrInvalidCall;
  }
  return kGpuOk;
}

GpuResult DeviceCore::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) {
  Log("DrawPrimitive(%u, %u, %u)", type, startVertex, primitiveCount);
  DrawCall call{};
  GpuResult result = CheckDraw(type, primitiveCount, &call.vertexCount);
  if (GpuFailed(result)) return result;
  if (!state_.streams[0].buffer) return kGpuErrInvalidCall;
  call.type = type;
  call.primitiveCount = primitiveCount;
  call.startVertex = startVertex;
  if (primitiveCount) BackendDraw(call);
  return kGpuOk;
}

GpuResult DeviceCore::DrawIndexedPrimitive(uint32_t type, int32_t baseVertexIndex, uint32_t minIndex,
                                           uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) {
  Log("DrawIndexedPrimitive(%u, %d, %u, %u, %u, %u)", type, baseVertexIndex, minIndex, numVertices, startIndex,
      primitiveCount);
  DrawCall call{};
  GpuResult result = CheckDraw(type, primitiveCount, &call.vertexCount);
  if (GpuFailed(result)) return result;
  if (!state_.streams[0].buffer || !state_.indices) return kGpuErrInvalidCall;
  uint32_t indexSize = state_.indices->desc.format == kGpuFmtIndex32 ? 4 : 2;
  if ((static_cast<uint64_t>(startIndex) + call.vertexCount) * indexSize > state_.indices->desc.size)
    return kGpuErrInvalidCall;
  call.type = type;
  call.primitiveCount = primitiveCount;
  call.indexed = true;
  call.baseVertex = baseVertexIndex;
  call.startIndex = startIndex;
  if (primitiveCount) BackendDraw(call);
  return kGpuOk;
}

GpuResult DeviceCore::DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices, uint32_t stride) {
  Log("DrawPrimitiveUP(%u, %u, %u)", type, primitiveCount, stride);
  DrawCall call{};
  GpuResult result = CheckDraw(type, primitiveCount, &call.vertexCount);
  if (GpuFailed(result)) return result;
  if (!vertices || stride == 0) return kGpuErrInvalidCall;
  call.type = type;
  call.primitiveCount = primitiveCount;
  call.upVertices = vertices;
  call.upStride = stride;
  call.upVertexCount = call.vertexCount;
  if (primitiveCount) BackendDraw(call);
  Bind(state_.streams[0].buffer, static_cast<BufferImpl*>(nullptr));
  state_.streams[0].offset = state_.streams[0].stride = 0;
  return kGpuOk;
}

GpuResult DeviceCore::DrawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                             uint32_t primitiveCount, const void* indices, uint32_t indexFormat,
                                             const void* vertices, uint32_t stride) {
  Log("DrawIndexedPrimitiveUP(%u, %u, %u, %u, 0x%x, %u)", type, minIndex, numVertices, primitiveCount, indexFormat,
      stride);
  DrawCall call{};
  GpuResult result = CheckDraw(type, primitiveCount, &call.vertexCount);
  if (GpuFailed(result)) return result;
  if (!vertices || !indices || stride == 0 || (indexFormat != kGpuFmtIndex16 && indexFormat != kGpuFmtIndex32))
    return kGpuErrInvalidCall;
  // Every index must name one of the vertices given, or the copy would read past them.
  uint32_t vertexEnd = minIndex + numVertices;
  for (uint32_t i = 0; i < call.vertexCount; ++i) {
    uint32_t index = indexFormat == kGpuFmtIndex32 ? static_cast<const uint32_t*>(indices)[i]
                                                   : static_cast<const uint16_t*>(indices)[i];
    if (index >= vertexEnd) return kGpuErrInvalidCall;
  }
  call.type = type;
  call.primitiveCount = primitiveCount;
  call.indexed = true;
  call.upVertices = vertices;
  call.upStride = stride;
  call.upVertexCount = vertexEnd;
  call.upIndices = indices;
  call.upIndexFormat = indexFormat;
  if (primitiveCount) BackendDraw(call);
  Bind(state_.streams[0].buffer, static_cast<BufferImpl*>(nullptr));
  state_.streams[0].offset = state_.streams[0].stride = 0;
  Bind(state_.indices, static_cast<BufferImpl*>(nullptr));
  return kGpuOk;
}

}  // namespace gpu

const std::vector<std::string>& GpuNullLog() { return *gpu::LogLines(); }
void GpuNullClearLog() { const_cast<std::vector<std::string>*>(gpu::LogLines())->clear(); }
