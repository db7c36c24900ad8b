// Inside the GPU device layer (src/platform only): the resource objects both backends share
// and the device core that keeps every state, every resource's bytes in its format's layout,
// the reference counts, the call log and the fault injection. A backend (null or OpenGL)
// derives from DeviceCore and fills in the hooks that touch a real GPU; the core never includes
// GL. Nothing outside src/platform includes this header.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/gpu.h"
#include "platform/gpu_adapter.h"

namespace gpu {

class DeviceCore;
class TextureImpl;

// Common part of every object the layer hands out: its device (null once the device is gone),
// its name in the call log, and its reference counts. `bindCount` counts the references the
// device's own state holds, so the references callers hold are `refCount - bindCount`.
struct ObjectBase {
  virtual ~ObjectBase() = default;
  DeviceCore* device = nullptr;
  std::string name;
  uint32_t refCount = 1;
  uint32_t bindCount = 0;
  uint32_t pool = kGpuPoolManaged;
  bool swapChain = false;  // back buffer or automatic depth-stencil: owned by the device too
  void* backend = nullptr;  // backend's record (GL names)
  virtual uint32_t ObjectAddRef();
  virtual uint32_t ObjectRelease();
  // The object that holds the count (a level answers its texture).
  virtual ObjectBase* Owner() { return this; }
};

ObjectBase* AsObject(GpuUnknown* object);
const char* ObjectName(GpuUnknown* object);

// Surface roles, which decide where the current pixels live.
enum class SurfaceRole { kPlain, kRenderTarget, kDepthStencil, kBackBuffer, kLevel };

class SurfaceImpl final : public GpuSurface, public ObjectBase {
 public:
  uint32_t AddRef() override { return Owner()->ObjectAddRef(); }
  uint32_t Release() override { return Owner()->ObjectRelease(); }
  GpuResult GetDevice(GpuDevice** device) override;
  uint32_t GetType() override { return kGpuRtypeSurface; }
  GpuResult GetDesc(GpuSurfaceDesc* desc) override;
  GpuResult LockRect(GpuLockedRect* locked, const GpuRect* rect, uint32_t flags) override;
  GpuResult UnlockRect() override;
  GpuResult GetContainer(GpuBaseTexture** container) override;
  ObjectBase* Owner() override;

  SurfaceRole role = SurfaceRole::kPlain;
  TextureImpl* container = nullptr;
  uint32_t face = 0;
  uint32_t level = 0;
  GpuSurfaceDesc desc{};
  bool lockable = true;
  uint32_t pitch = 0;
  std::vector<uint8_t> bytes;
  bool locked = false;
  uint32_t lockFlags = 0;
  // The GPU holds pixels newer than `bytes` (render targets after drawing).
  bool cpuStale = false;
};

class TextureImpl final : public GpuTexture, public GpuCubeTexture, public ObjectBase {
 public:
  ~TextureImpl() override;
  uint32_t AddRef() override { return ObjectAddRef(); }
  uint32_t Release() override { return ObjectRelease(); }
  GpuResult GetDevice(GpuDevice** device) override;
  uint32_t GetType() override { return cube ? kGpuRtypeCubeTexture : kGpuRtypeTexture; }
  uint32_t GetLevelCount() override;
  GpuResult SetAutoGenFilterType(uint32_t filter) override;
  uint32_t GetAutoGenFilterType() override { return autoGenFilter; }
  void GenerateMipSubLevels() override;
  GpuResult GetLevelDesc(uint32_t level, GpuSurfaceDesc* desc) override;
  GpuResult GetSurfaceLevel(uint32_t level, GpuSurface** surface) override;
  GpuResult LockRect(uint32_t level, GpuLockedRect* locked, const GpuRect* rect, uint32_t flags) override;
  GpuResult UnlockRect(uint32_t level) override;
  GpuResult GetCubeMapSurface(uint32_t face, uint32_t level, GpuSurface** surface) override;
  GpuResult LockRect(uint32_t face, uint32_t level, GpuLockedRect* locked, const GpuRect* rect,
                     uint32_t flags) override;
  GpuResult UnlockRect(uint32_t face, uint32_t level) override;

  SurfaceImpl* Level(uint32_t face, uint32_t level);
  GpuBaseTexture* AsBase() { return cube ? static_cast<GpuBaseTexture*>(static_cast<GpuCubeTexture*>(this))
                                         : static_cast<GpuBaseTexture*>(static_cast<GpuTexture*>(this)); }

  bool cube = false;
  uint32_t width = 0, height = 0, levels = 0, usage = 0, format = 0;
  uint32_t autoGenFilter = kGpuTexFilterLinear;
  std::vector<SurfaceImpl*> surfaces;  // face * levels + level
};

class BufferImpl final : public GpuVertexBuffer, public GpuIndexBuffer, public ObjectBase {
 public:
  uint32_t AddRef() override { return ObjectAddRef(); }
  uint32_t Release() override { return ObjectRelease(); }
  GpuResult GetDevice(GpuDevice** device) override;
  uint32_t GetType() override { return desc.type; }
  GpuResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override;
  GpuResult Unlock() override;
  GpuResult GetDesc(GpuBufferDesc* out) override;

  GpuBufferDesc desc{};
  std::vector<uint8_t> bytes;
  bool locked = false;
  uint32_t lockOffset = 0, lockSize = 0, lockFlags = 0;
};

class DeclarationImpl final : public GpuVertexDeclaration, public ObjectBase {
 public:
  uint32_t AddRef() override { return ObjectAddRef(); }
  uint32_t Release() override { return ObjectRelease(); }
  GpuResult GetDeclaration(GpuVertexElement* elements, uint32_t* count) override;
  std::vector<GpuVertexElement> elements;  // without the end marker
};

class ShaderImpl final : public GpuVertexShader, public GpuPixelShader, public ObjectBase {
 public:
  uint32_t AddRef() override { return ObjectAddRef(); }
  uint32_t Release() override { return ObjectRelease(); }
  bool vertex = true;
  std::string source;
};

struct StreamBinding {
  BufferImpl* buffer = nullptr;
  uint32_t offset = 0;
  uint32_t stride = 0;
};

// One draw as the backend receives it; vertices and indices come from the bound buffers or,
// for the UP forms, from caller memory.
struct DrawCall {
  uint32_t type;
  uint32_t primitiveCount;
  uint32_t vertexCount;  // vertices the primitives use (non-indexed) or index count (indexed)
  bool indexed = false;
  int32_t baseVertex = 0;
  uint32_t startVertex = 0;
  uint32_t startIndex = 0;
  const void* upVertices = nullptr;
  uint32_t upStride = 0;
  const void* upIndices = nullptr;
  uint32_t upIndexFormat = 0;
  uint32_t upVertexCount = 0;
};

// The states every draw reads.
struct DeviceState {
  uint32_t renderStates[kGpuRenderStateCount];
  uint32_t stageStates[kGpuMaxTextureStages][kGpuTextureStageStateCount];
  uint32_t samplerStates[kGpuMaxSamplers][kGpuSamplerStateCount];
  TextureImpl* textures[kGpuMaxSamplers];
  StreamBinding streams[kGpuMaxStreams];
  BufferImpl* indices;
  DeclarationImpl* declaration;
  uint32_t fvf;
  ShaderImpl* vertexShader;
  ShaderImpl* pixelShader;
  SurfaceImpl* renderTarget;
  SurfaceImpl* depthStencil;
  GpuViewport viewport;
  GpuRect scissor;
  float vsConstF[kGpuVertexConstantsF][4];
  float psConstF[kGpuPixelConstantsF][4];
  int32_t vsConstI[kGpuConstantsI][4];
  int32_t psConstI[kGpuConstantsI][4];
  int32_t vsConstB[kGpuConstantsB];
  int32_t psConstB[kGpuConstantsB];
};

// Element list for a flexible vertex format; false for formats no declaration can express.
bool DeclarationFromFvf(uint32_t fvf, std::vector<GpuVertexElement>* elements, uint32_t* stride);
uint32_t DeclTypeSize(uint8_t type);

// Colour conversion between 0xAARRGGBB and one pixel of a format's layout; false for formats
// the layer cannot convert (compressed, depth, unknown).
bool PackColor(uint32_t format, uint32_t argb, uint8_t* pixel);
bool UnpackColor(uint32_t format, const uint8_t* pixel, uint32_t* argb);

// Pending fault injection for `call`: true (and *result set) when it fires.
bool TakeInjection(const char* call, GpuResult* result);

// The adapter models the system objects describe (test override or default).
const std::vector<GpuAdapterModel>& AdapterModels();

// One line into the null device's call log.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What the OpenGL driver offers, probed once on a hidden window: false when no context opens.
bool GlProbe(uint32_t* maxAnisotropy, bool* compressedTextures);

// A device of the OpenGL backend, started; null when its context or swap chain cannot be made.
DeviceCore* CreateGlDevice(GpuSystem* system, const GpuAdapterModel& adapter,
                           const GpuDeviceCreationParameters& creation, GpuPresentParameters* parameters);


class DeviceCore : public GpuDevice {
 public:
  DeviceCore(GpuSystem* system, const GpuAdapterModel& adapter, const GpuDeviceCreationParameters& creation,
             bool logging, bool injectAll);
  ~DeviceCore() override;

  // Sets up the swap chain and the default state; false when the backend cannot.
  bool Start(GpuPresentParameters* parameters);

  uint32_t AddRef() override;
  uint32_t Release() override;

  GpuResult TestCooperativeLevel() override;
  GpuResult GetDirect3D(GpuSystem** system) override;
  GpuResult GetDeviceCaps(GpuCaps* caps) override;
  GpuResult GetDisplayMode(uint32_t swapChain, GpuDisplayMode* mode) override;
  GpuResult GetCreationParameters(GpuDeviceCreationParameters* parameters) override;
  GpuResult Reset(GpuPresentParameters* parameters) override;
  GpuResult Present(const GpuRect* source, const GpuRect* dest, OsWindow* destWindow, const void* dirty) override;
  GpuResult GetBackBuffer(uint32_t swapChain, uint32_t index, uint32_t type, GpuSurface** surface) override;
  void SetGammaRamp(uint32_t swapChain, uint32_t flags, const GpuGammaRamp* ramp) override;
  void GetGammaRamp(uint32_t swapChain, GpuGammaRamp* ramp) override;
  GpuResult BeginScene() override;
  GpuResult EndScene() override;
  GpuResult Clear(uint32_t count, const GpuRect* rects, uint32_t flags, uint32_t color, float z,
                  uint32_t stencil) override;
  GpuResult CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, uint32_t format,
                          uint32_t pool, GpuTexture** texture) override;
  GpuResult CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                              GpuCubeTexture** texture) override;
  GpuResult CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                               GpuVertexBuffer** buffer) override;
  GpuResult CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool,
                              GpuIndexBuffer** buffer) override;
  GpuResult CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSample,
                               uint32_t multiSampleQuality, int32_t lockable, GpuSurface** surface) override;
  GpuResult CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSample,
                                      uint32_t multiSampleQuality, int32_t discard, GpuSurface** surface) override;
  GpuResult CreateOffscreenPlainSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t pool,
                                        GpuSurface** surface) override;
  GpuResult CreateVertexDeclaration(const GpuVertexElement* elements, GpuVertexDeclaration** declaration) override;
  GpuResult CreateVertexShader(const char* glsl, GpuVertexShader** shader) override;
  GpuResult CreatePixelShader(const char* glsl, GpuPixelShader** shader) override;
  ShaderImpl* CreateShader(const char* call, const char* glsl, bool vertex, GpuResult* result);
  const char* GetShaderLog() override { return shaderLog_.c_str(); }
  const char* GetPixelShaderProfile() override { return adapter_.pixelShaderProfile.c_str(); }
  GpuResult GetRenderTargetData(GpuSurface* renderTarget, GpuSurface* dest) override;
  GpuResult StretchRect(GpuSurface* source, const GpuRect* sourceRect, GpuSurface* dest, const GpuRect* destRect,
                        uint32_t filter) override;
  GpuResult ColorFill(GpuSurface* surface, const GpuRect* rect, uint32_t color) override;
  GpuResult SetRenderTarget(uint32_t index, GpuSurface* surface) override;
  GpuResult GetRenderTarget(uint32_t index, GpuSurface** surface) override;
  GpuResult SetDepthStencilSurface(GpuSurface* surface) override;
  GpuResult GetDepthStencilSurface(GpuSurface** surface) override;
  GpuResult SetViewport(const GpuViewport* viewport) override;
  GpuResult GetViewport(GpuViewport* viewport) override;
  GpuResult SetScissorRect(const GpuRect* rect) override;
  GpuResult GetScissorRect(GpuRect* rect) override;
  GpuResult SetTransform(uint32_t state, const GpuMatrix* matrix) override;
  GpuResult GetTransform(uint32_t state, GpuMatrix* matrix) override;
  GpuResult SetMaterial(const GpuMaterial* material) override;
  GpuResult GetMaterial(GpuMaterial* material) override;
  GpuResult SetLight(uint32_t index, const GpuLight* light) override;
  GpuResult GetLight(uint32_t index, GpuLight* light) override;
  GpuResult LightEnable(uint32_t index, int32_t enable) override;
  GpuResult GetLightEnable(uint32_t index, int32_t* enable) override;
  GpuResult SetRenderState(uint32_t state, uint32_t value) override;
  GpuResult GetRenderState(uint32_t state, uint32_t* value) override;
  GpuResult SetTexture(uint32_t sampler, GpuBaseTexture* texture) override;
  GpuResult GetTexture(uint32_t sampler, GpuBaseTexture** texture) override;
  GpuResult SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
  GpuResult GetTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) override;
  GpuResult SetSamplerState(uint32_t sampler, uint32_t state, uint32_t value) override;
  GpuResult GetSamplerState(uint32_t sampler, uint32_t state, uint32_t* value) override;
  GpuResult SetSoftwareVertexProcessing(int32_t software) override;
  int32_t GetSoftwareVertexProcessing() override { return softwareVp_; }
  GpuResult SetNPatchMode(float segments) override;
  float GetNPatchMode() override { return nPatch_; }
  GpuResult SetStreamSource(uint32_t stream, GpuVertexBuffer* buffer, uint32_t offset, uint32_t stride) override;
  GpuResult GetStreamSource(uint32_t stream, GpuVertexBuffer** buffer, uint32_t* offset, uint32_t* stride) override;
  GpuResult SetIndices(GpuIndexBuffer* buffer) override;
  GpuResult GetIndices(GpuIndexBuffer** buffer) override;
  GpuResult SetVertexDeclaration(GpuVertexDeclaration* declaration) override;
  GpuResult GetVertexDeclaration(GpuVertexDeclaration** declaration) override;
  GpuResult SetFVF(uint32_t fvf) override;
  GpuResult GetFVF(uint32_t* fvf) override;
  GpuResult SetVertexShader(GpuVertexShader* shader) override;
  GpuResult GetVertexShader(GpuVertexShader** shader) override;
  GpuResult SetPixelShader(GpuPixelShader* shader) override;
  GpuResult GetPixelShader(GpuPixelShader** shader) override;
  GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) override;
  GpuResult SetVertexShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) override;
  GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) override;
  GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) override;
  GpuResult SetPixelShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) override;
  GpuResult SetPixelShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) override;
  GpuResult GetVertexShaderConstantF(uint32_t start, float* data, uint32_t count) override;
  GpuResult GetPixelShaderConstantF(uint32_t start, float* data, uint32_t count) override;
  GpuResult DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) override;
  GpuResult DrawIndexedPrimitive(uint32_t type, int32_t baseVertexIndex, uint32_t minIndex, uint32_t numVertices,
                                 uint32_t startIndex, uint32_t primitiveCount) override;
  GpuResult DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices, uint32_t stride) override;
  GpuResult DrawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices, uint32_t primitiveCount,
                                   const void* indices, uint32_t indexFormat, const void* vertices,
                                   uint32_t stride) override;

  // ---- Used by the resource objects
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool Inject(const char* call, GpuResult* result);
  void ObjectDestroyed(ObjectBase* object);
  // Current pixels of a surface into its bytes (render targets hold them on the GPU).
  void SyncToCpu(SurfaceImpl* surface);
  // The surface's bytes changed on the CPU side.
  void SurfaceWritten(SurfaceImpl* surface);
  void BufferWritten(BufferImpl* buffer, uint32_t offset, uint32_t size, bool discard);
  void MipsWanted(TextureImpl* texture);

 protected:
  // ---- Backend hooks; the core's defaults keep everything in memory and draw nothing.
  virtual bool BackendStart() { return true; }
  virtual void BackendStop() {}
  virtual bool BackendCreate(ObjectBase*) { return true; }
  virtual void BackendDestroy(ObjectBase*) {}
  virtual bool BackendHoldsPixels(const SurfaceImpl*) { return false; }
  virtual void BackendReadBack(SurfaceImpl*) {}
  virtual void BackendUpload(SurfaceImpl*) {}
  virtual void BackendUploadBuffer(BufferImpl*, uint32_t, uint32_t, bool) {}
  virtual void BackendGenerateMips(TextureImpl*) {}
  virtual bool BackendCompile(ShaderImpl*, std::string*) { return true; }
  virtual void BackendClear(uint32_t, const GpuRect*, uint32_t, uint32_t, float, uint32_t) {}
  virtual void BackendColorFill(SurfaceImpl*, const GpuRect&, uint32_t) {}
  virtual bool BackendStretch(SurfaceImpl*, const GpuRect&, SurfaceImpl*, const GpuRect&, uint32_t) { return false; }
  virtual void BackendDraw(const DrawCall&) {}
  virtual void BackendPresent() {}
  virtual bool BackendResetSwapChain() { return true; }

  // Fills a rect of a surface's bytes with a colour (formats PackColor knows).
  static void FillBytes(SurfaceImpl* surface, const GpuRect& rect, uint32_t color);
  SurfaceImpl* NewSurface(SurfaceRole role, uint32_t width, uint32_t height, uint32_t format, uint32_t usage,
                          uint32_t pool, const char* kind);
  bool CreateSwapChain();
  void ReleaseSwapChain();
  void SetDefaultState();
  void UnbindAll();
  template <class T>
  void Bind(T*& slot, T* value);
  GpuResult CheckDraw(uint32_t type, uint32_t primitiveCount, uint32_t* vertexCount);
  std::string NextName(const char* kind);

  GpuSystem* system_;
  GpuAdapterModel adapter_;
  GpuDeviceCreationParameters creation_;
  GpuPresentParameters present_{};
  bool logging_;
  bool injectAll_;
  uint32_t refCount_ = 1;
  uint32_t serial_ = 0;
  std::set<ObjectBase*> live_;
  DeviceState state_{};
  SurfaceImpl* backBuffer_ = nullptr;
  SurfaceImpl* autoDepth_ = nullptr;
  GpuGammaRamp gamma_{};
  bool inScene_ = false;
  int32_t softwareVp_ = 0;
  float nPatch_ = 0.0f;
  std::string shaderLog_;
  GpuMaterial material_{};
  GpuLight lights_[kGpuMaxLights]{};
  int32_t lightEnabled_[kGpuMaxLights]{};
  std::vector<std::pair<uint32_t, GpuMatrix>> transforms_;
};

}  // namespace gpu
