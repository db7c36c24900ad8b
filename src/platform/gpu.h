// The GPU device layer: a system object that answers what the adapters can do and creates the
// device, the device with its frame, state, copy and draw calls, and the reference-counted
// resources it makes (surfaces, 2D and cube textures, vertex and index buffers, vertex
// declarations, GLSL programs). The renderer is its only caller. Two backends stand behind it:
// OpenGL 3.3 core on an SDL2 window (offscreen on Mesa's software rasteriser when headless) and a
// recording null device for tests (gpu_null.h). Lockable resources keep their bytes in the
// layout their format names, so locks work the same on both. Nothing here includes a system
// header; only src/platform/*.cpp talk to SDL and GL.
//
// Conventions every backend keeps: screen rows run top to bottom and pixel centres lie on whole
// coordinates (a pre-transformed vertex at (x, y) hits the centre of pixel (x, y)); clip-space
// depth runs from 0 to w; triangles whose screen corners run clockwise are front faces (CULLMODE
// CCW, the default, drops the others); matrices multiply row vectors (v * M).
#pragma once

#include <cstdint>

#include "platform/gpu_constants.h"

struct OsWindow;

// ---- Records ---------------------------------------------------------------------------------

struct GpuRect {
  int32_t left, top, right, bottom;
};

struct GpuSurfaceDesc {
  uint32_t format;
  uint32_t type;  // kGpuRtypeSurface, or kGpuRtypeTexture / kGpuRtypeCubeTexture for levels
  uint32_t usage;
  uint32_t pool;
  uint32_t multiSampleType;
  uint32_t multiSampleQuality;
  uint32_t width;
  uint32_t height;
};

struct GpuLockedRect {
  int32_t pitch;  // bytes from one row (one block row for DXT) to the next
  void* bits;
};

struct GpuBufferDesc {
  uint32_t format;  // kGpuFmtVertexData, kGpuFmtIndex16 or kGpuFmtIndex32
  uint32_t type;    // kGpuRtypeVertexBuffer or kGpuRtypeIndexBuffer
  uint32_t usage;
  uint32_t pool;
  uint32_t size;
  uint32_t fvf;  // vertex buffers only
};

struct GpuViewport {
  uint32_t x, y, width, height;
  float minZ, maxZ;
};

struct GpuDisplayMode {
  uint32_t width;
  uint32_t height;
  uint32_t refreshRate;
  uint32_t format;
};

struct GpuPresentParameters {
  uint32_t backBufferWidth;
  uint32_t backBufferHeight;
  uint32_t backBufferFormat;
  uint32_t backBufferCount;
  uint32_t multiSampleType;
  uint32_t multiSampleQuality;
  uint32_t swapEffect;
  OsWindow* deviceWindow;
  int32_t windowed;
  int32_t enableAutoDepthStencil;
  uint32_t autoDepthStencilFormat;
  uint32_t flags;
  uint32_t fullScreenRefreshRate;
  uint32_t presentationInterval;
};

struct GpuDeviceCreationParameters {
  uint32_t adapterOrdinal;
  uint32_t deviceType;
  OsWindow* focusWindow;
  uint32_t behaviorFlags;
};

struct GpuAdapterIdentifier {
  char driver[512];
  char description[512];
  char deviceName[32];
  uint32_t driverVersionLow;
  uint32_t driverVersionHigh;
  uint32_t vendorId;
  uint32_t deviceId;
  uint32_t subSysId;
  uint32_t revision;
  uint8_t deviceIdentifier[16];
  uint32_t whqlLevel;
};

struct GpuCaps {
  uint32_t deviceType;
  uint32_t adapterOrdinal;
  uint32_t caps;
  uint32_t caps2;
  uint32_t caps3;
  uint32_t presentationIntervals;
  uint32_t cursorCaps;
  uint32_t devCaps;
  uint32_t primitiveMiscCaps;
  uint32_t rasterCaps;
  uint32_t zCmpCaps;
  uint32_t srcBlendCaps;
  uint32_t destBlendCaps;
  uint32_t alphaCmpCaps;
  uint32_t shadeCaps;
  uint32_t textureCaps;
  uint32_t textureFilterCaps;
  uint32_t cubeTextureFilterCaps;
  uint32_t volumeTextureFilterCaps;
  uint32_t textureAddressCaps;
  uint32_t volumeTextureAddressCaps;
  uint32_t lineCaps;
  uint32_t maxTextureWidth;
  uint32_t maxTextureHeight;
  uint32_t maxVolumeExtent;
  uint32_t maxTextureRepeat;
  uint32_t maxTextureAspectRatio;
  uint32_t maxAnisotropy;
  float maxVertexW;
  float guardBandLeft, guardBandTop, guardBandRight, guardBandBottom;
  float extentsAdjust;
  uint32_t stencilCaps;
  uint32_t fvfCaps;
  uint32_t textureOpCaps;
  uint32_t maxTextureBlendStages;
  uint32_t maxSimultaneousTextures;
  uint32_t vertexProcessingCaps;
  uint32_t maxActiveLights;
  uint32_t maxUserClipPlanes;
  uint32_t maxVertexBlendMatrices;
  uint32_t maxVertexBlendMatrixIndex;
  float maxPointSize;
  uint32_t maxPrimitiveCount;
  uint32_t maxVertexIndex;
  uint32_t maxStreams;
  uint32_t maxStreamStride;
  uint32_t vertexShaderVersion;
  uint32_t maxVertexShaderConst;
  uint32_t pixelShaderVersion;
  float pixelShader1xMaxValue;
  uint32_t devCaps2;
  float maxNPatchTessellationLevel;
  uint32_t masterAdapterOrdinal;
  uint32_t adapterOrdinalInGroup;
  uint32_t numberOfAdaptersInGroup;
  uint32_t declTypes;
  uint32_t numSimultaneousRts;
  uint32_t stretchRectFilterCaps;
  uint32_t vertexTextureFilterCaps;
  uint32_t maxVShaderInstructionsExecuted;
  uint32_t maxPShaderInstructionsExecuted;
  uint32_t maxVertexShader30InstructionSlots;
  uint32_t maxPixelShader30InstructionSlots;
};

// One vertex element of stream `stream` at byte `offset`; a list ends with kGpuDeclEnd.
struct GpuVertexElement {
  uint16_t stream;
  uint16_t offset;
  uint8_t type;
  uint8_t method;
  uint8_t usage;
  uint8_t usageIndex;
};

constexpr GpuVertexElement kGpuDeclEnd = {kGpuDeclEndStream, 0, kGpuDeclTypeUnused, 0, 0, 0};

// Per channel 256 entries 0..65535, applied when a frame is presented.
struct GpuGammaRamp {
  uint16_t red[256];
  uint16_t green[256];
  uint16_t blue[256];
};

struct GpuMatrix {
  float m[4][4];  // m[row][column]; a point is a row vector multiplied from the left
};

struct GpuColorValue {
  float r, g, b, a;
};

struct GpuVector3 {
  float x, y, z;
};

struct GpuLight {
  uint32_t type;  // kGpuLightPoint, kGpuLightSpot, kGpuLightDirectional
  GpuColorValue diffuse;
  GpuColorValue specular;
  GpuColorValue ambient;
  GpuVector3 position;
  GpuVector3 direction;
  float range;
  float falloff;
  float attenuation0;
  float attenuation1;
  float attenuation2;
  float theta;
  float phi;
};

struct GpuMaterial {
  GpuColorValue diffuse;
  GpuColorValue ambient;
  GpuColorValue specular;
  GpuColorValue emissive;
  float power;
};

// ---- Objects ---------------------------------------------------------------------------------

class GpuDevice;

// Reference counted: every Create*/Get* that hands out an object adds a reference the caller
// gives back with Release. The object is destroyed when the last reference goes.
class GpuUnknown {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~GpuUnknown() = default;
};

class GpuResource : public GpuUnknown {
 public:
  // The device that made the resource, with a reference added.
  virtual GpuResult GetDevice(GpuDevice** device) = 0;
  virtual uint32_t GetType() = 0;
};

class GpuBaseTexture : public GpuResource {
 public:
  virtual uint32_t GetLevelCount() = 0;
  virtual GpuResult SetAutoGenFilterType(uint32_t filter) = 0;
  virtual uint32_t GetAutoGenFilterType() = 0;
  virtual void GenerateMipSubLevels() = 0;
};

// A texture level, a cube face level, a render target, a depth-stencil surface, a back buffer or
// a plain off-screen surface. A level shares its texture's reference count.
class GpuSurface : public GpuResource {
 public:
  virtual GpuResult GetDesc(GpuSurfaceDesc* desc) = 0;
  // Null rect locks the whole surface. A DXT rect must be aligned to 4-pixel blocks.
  virtual GpuResult LockRect(GpuLockedRect* locked, const GpuRect* rect, uint32_t flags) = 0;
  virtual GpuResult UnlockRect() = 0;
  // The texture or cube texture this surface is a level of (a reference added), or
  // kGpuErrNoInterface and null for a surface of its own.
  virtual GpuResult GetContainer(GpuBaseTexture** container) = 0;
};

class GpuTexture : public GpuBaseTexture {
 public:
  virtual GpuResult GetLevelDesc(uint32_t level, GpuSurfaceDesc* desc) = 0;
  virtual GpuResult GetSurfaceLevel(uint32_t level, GpuSurface** surface) = 0;
  virtual GpuResult LockRect(uint32_t level, GpuLockedRect* locked, const GpuRect* rect, uint32_t flags) = 0;
  virtual GpuResult UnlockRect(uint32_t level) = 0;
};

class GpuCubeTexture : public GpuBaseTexture {
 public:
  virtual GpuResult GetLevelDesc(uint32_t level, GpuSurfaceDesc* desc) = 0;
  virtual GpuResult GetCubeMapSurface(uint32_t face, uint32_t level, GpuSurface** surface) = 0;
  virtual GpuResult LockRect(uint32_t face, uint32_t level, GpuLockedRect* locked, const GpuRect* rect,
                             uint32_t flags) = 0;
  virtual GpuResult UnlockRect(uint32_t face, uint32_t level) = 0;
};

// Vertex and index buffers. size 0 locks from offset to the end.
class GpuVertexBuffer : public GpuResource {
 public:
  virtual GpuResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual GpuResult Unlock() = 0;
  virtual GpuResult GetDesc(GpuBufferDesc* desc) = 0;
};

class GpuIndexBuffer : public GpuResource {
 public:
  virtual GpuResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual GpuResult Unlock() = 0;
  virtual GpuResult GetDesc(GpuBufferDesc* desc) = 0;
};

class GpuVertexDeclaration : public GpuUnknown {
 public:
  // Copies the elements and the end marker; *count is their number with the marker. With a
  // null `elements` only the count is written.
  virtual GpuResult GetDeclaration(GpuVertexElement* elements, uint32_t* count) = 0;
};

// GLSL 330 programs (text). Vertex programs read their inputs at the attribute locations above
// and write gl_Position in this layer's clip space; fragment programs write `gpu_FragColor`.
// Constants set with Set*ShaderConstantF/I/B reach the uniform arrays gpu_VsConst / gpu_PsConst
// (vec4), gpu_VsConstI / gpu_PsConstI (ivec4), gpu_VsConstB / gpu_PsConstB (bool) when a
// program declares them; sampler uniforms named gpu_Sampler0 .. gpu_Sampler15 read the
// texture of that sampler. The layer adds its prelude (version line, attribute location names,
// the depth and pixel-centre adjustment, the alpha test), so programs carry no #version line.
class GpuVertexShader : public GpuUnknown {};
class GpuPixelShader : public GpuUnknown {};

class GpuSystem;

class GpuDevice : public GpuUnknown {
 public:
  // ---- Frame and device state
  virtual GpuResult TestCooperativeLevel() = 0;
  virtual GpuResult GetDirect3D(GpuSystem** system) = 0;
  virtual GpuResult GetDeviceCaps(GpuCaps* caps) = 0;
  virtual GpuResult GetDisplayMode(uint32_t swapChain, GpuDisplayMode* mode) = 0;
  virtual GpuResult GetCreationParameters(GpuDeviceCreationParameters* parameters) = 0;
  // Refused with kGpuErrInvalidCall while resources of the default pool other than the swap
  // chain's own surfaces are alive.
  virtual GpuResult Reset(GpuPresentParameters* parameters) = 0;
  virtual GpuResult Present(const GpuRect* source, const GpuRect* dest, OsWindow* destWindow,
                            const void* dirtyRegion) = 0;
  virtual GpuResult GetBackBuffer(uint32_t swapChain, uint32_t index, uint32_t type, GpuSurface** surface) = 0;
  virtual void SetGammaRamp(uint32_t swapChain, uint32_t flags, const GpuGammaRamp* ramp) = 0;
  virtual void GetGammaRamp(uint32_t swapChain, GpuGammaRamp* ramp) = 0;
  virtual GpuResult BeginScene() = 0;
  virtual GpuResult EndScene() = 0;
  virtual GpuResult Clear(uint32_t count, const GpuRect* rects, uint32_t flags, uint32_t color, float z,
                          uint32_t stencil) = 0;

  // ---- Resources
  virtual GpuResult CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                  uint32_t format, uint32_t pool, GpuTexture** texture) = 0;
  virtual GpuResult CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, uint32_t format,
                                      uint32_t pool, GpuCubeTexture** texture) = 0;
  virtual GpuResult CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                       GpuVertexBuffer** buffer) = 0;
  virtual GpuResult CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool,
                                      GpuIndexBuffer** buffer) = 0;
  virtual GpuResult CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSample,
                                       uint32_t multiSampleQuality, int32_t lockable, GpuSurface** surface) = 0;
  virtual GpuResult CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format,
                                              uint32_t multiSample, uint32_t multiSampleQuality,
                                              int32_t discard, GpuSurface** surface) = 0;
  virtual GpuResult CreateOffscreenPlainSurface(uint32_t width, uint32_t height, uint32_t format,
                                                uint32_t pool, GpuSurface** surface) = 0;
  virtual GpuResult CreateVertexDeclaration(const GpuVertexElement* elements,
                                            GpuVertexDeclaration** declaration) = 0;
  virtual GpuResult CreateVertexShader(const char* glsl, GpuVertexShader** shader) = 0;
  virtual GpuResult CreatePixelShader(const char* glsl, GpuPixelShader** shader) = 0;
  // The compiler's messages of the last failed program creation ("" when none).
  virtual const char* GetShaderLog() = 0;
  // The pixel-program profile the adapter reports ("ps_3_0" by default).
  virtual const char* GetPixelShaderProfile() = 0;

  // ---- Copies and fills between surfaces
  // Render target (or default-pool surface) into a system-memory surface of equal size and format.
  virtual GpuResult GetRenderTargetData(GpuSurface* renderTarget, GpuSurface* dest) = 0;
  // Default-pool source into a default-pool render target; rects null mean whole surfaces.
  virtual GpuResult StretchRect(GpuSurface* source, const GpuRect* sourceRect, GpuSurface* dest,
                                const GpuRect* destRect, uint32_t filter) = 0;
  // Fills a default-pool surface; color is 0xAARRGGBB.
  virtual GpuResult ColorFill(GpuSurface* surface, const GpuRect* rect, uint32_t color) = 0;

  // ---- Targets and viewport
  virtual GpuResult SetRenderTarget(uint32_t index, GpuSurface* surface) = 0;
  virtual GpuResult GetRenderTarget(uint32_t index, GpuSurface** surface) = 0;
  virtual GpuResult SetDepthStencilSurface(GpuSurface* surface) = 0;
  virtual GpuResult GetDepthStencilSurface(GpuSurface** surface) = 0;
  virtual GpuResult SetViewport(const GpuViewport* viewport) = 0;
  virtual GpuResult GetViewport(GpuViewport* viewport) = 0;
  virtual GpuResult SetScissorRect(const GpuRect* rect) = 0;
  virtual GpuResult GetScissorRect(GpuRect* rect) = 0;

  // ---- Fixed-function state (kept and answered; programs read what they need of it)
  virtual GpuResult SetTransform(uint32_t state, const GpuMatrix* matrix) = 0;
  virtual GpuResult GetTransform(uint32_t state, GpuMatrix* matrix) = 0;
  virtual GpuResult SetMaterial(const GpuMaterial* material) = 0;
  virtual GpuResult GetMaterial(GpuMaterial* material) = 0;
  virtual GpuResult SetLight(uint32_t index, const GpuLight* light) = 0;
  virtual GpuResult GetLight(uint32_t index, GpuLight* light) = 0;
  virtual GpuResult LightEnable(uint32_t index, int32_t enable) = 0;
  virtual GpuResult GetLightEnable(uint32_t index, int32_t* enable) = 0;
  virtual GpuResult SetRenderState(uint32_t state, uint32_t value) = 0;
  virtual GpuResult GetRenderState(uint32_t state, uint32_t* value) = 0;
  virtual GpuResult SetTexture(uint32_t sampler, GpuBaseTexture* texture) = 0;
  virtual GpuResult GetTexture(uint32_t sampler, GpuBaseTexture** texture) = 0;
  virtual GpuResult SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
  virtual GpuResult GetTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) = 0;
  virtual GpuResult SetSamplerState(uint32_t sampler, uint32_t state, uint32_t value) = 0;
  virtual GpuResult GetSamplerState(uint32_t sampler, uint32_t state, uint32_t* value) = 0;
  virtual GpuResult SetSoftwareVertexProcessing(int32_t software) = 0;
  virtual int32_t GetSoftwareVertexProcessing() = 0;
  virtual GpuResult SetNPatchMode(float segments) = 0;
  virtual float GetNPatchMode() = 0;

  // ---- Vertex input and programs
  virtual GpuResult SetStreamSource(uint32_t stream, GpuVertexBuffer* buffer, uint32_t offset, uint32_t stride) = 0;
  virtual GpuResult GetStreamSource(uint32_t stream, GpuVertexBuffer** buffer, uint32_t* offset,
                                    uint32_t* stride) = 0;
  virtual GpuResult SetIndices(GpuIndexBuffer* buffer) = 0;
  virtual GpuResult GetIndices(GpuIndexBuffer** buffer) = 0;
  virtual GpuResult SetVertexDeclaration(GpuVertexDeclaration* declaration) = 0;
  virtual GpuResult GetVertexDeclaration(GpuVertexDeclaration** declaration) = 0;
  // A flexible vertex format replaces the declaration. Without programs, pre-transformed
  // vertices (XYZRHW with DIFFUSE and/or TEX1) draw through built-in programs that honour the
  // first texture stage's COLOROP/ALPHAOP (DISABLE, SELECTARG1, SELECTARG2, MODULATE) over
  // DIFFUSE, TEXTURE and CURRENT.
  virtual GpuResult SetFVF(uint32_t fvf) = 0;
  virtual GpuResult GetFVF(uint32_t* fvf) = 0;
  virtual GpuResult SetVertexShader(GpuVertexShader* shader) = 0;
  virtual GpuResult GetVertexShader(GpuVertexShader** shader) = 0;
  virtual GpuResult SetPixelShader(GpuPixelShader* shader) = 0;
  virtual GpuResult GetPixelShader(GpuPixelShader** shader) = 0;
  virtual GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;
  virtual GpuResult SetVertexShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult SetPixelShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) = 0;
  virtual GpuResult GetVertexShaderConstantF(uint32_t start, float* data, uint32_t count) = 0;
  virtual GpuResult GetPixelShaderConstantF(uint32_t start, float* data, uint32_t count) = 0;

  // ---- Draws
  virtual GpuResult DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) = 0;
  virtual GpuResult DrawIndexedPrimitive(uint32_t type, int32_t baseVertexIndex, uint32_t minIndex,
                                         uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) = 0;
  // Vertices from caller memory; stream 0 and the index buffer are unset afterwards.
  virtual GpuResult DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices,
                                    uint32_t stride) = 0;
  virtual GpuResult DrawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                           uint32_t primitiveCount, const void* indices, uint32_t indexFormat,
                                           const void* vertices, uint32_t stride) = 0;
};

// The system object: adapters, their modes and format answers, and device creation. Answers
// come from the adapter model (gpu_adapter.h).
class GpuSystem : public GpuUnknown {
 public:
  virtual uint32_t GetAdapterCount() = 0;
  virtual GpuResult GetAdapterIdentifier(uint32_t adapter, uint32_t flags, GpuAdapterIdentifier* identifier) = 0;
  virtual uint32_t GetAdapterModeCount(uint32_t adapter, uint32_t format) = 0;
  virtual GpuResult EnumAdapterModes(uint32_t adapter, uint32_t format, uint32_t mode, GpuDisplayMode* out) = 0;
  virtual GpuResult GetAdapterDisplayMode(uint32_t adapter, GpuDisplayMode* mode) = 0;
  virtual GpuResult CheckDeviceType(uint32_t adapter, uint32_t deviceType, uint32_t displayFormat,
                                    uint32_t backBufferFormat, int32_t windowed) = 0;
  virtual GpuResult CheckDeviceFormat(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat,
                                      uint32_t usage, uint32_t resourceType, uint32_t checkFormat) = 0;
  virtual GpuResult CheckDeviceMultiSampleType(uint32_t adapter, uint32_t deviceType, uint32_t surfaceFormat,
                                               int32_t windowed, uint32_t multiSampleType,
                                               uint32_t* qualityLevels) = 0;
  virtual GpuResult CheckDepthStencilMatch(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat,
                                           uint32_t renderTargetFormat, uint32_t depthStencilFormat) = 0;
  virtual GpuResult GetDeviceCaps(uint32_t adapter, uint32_t deviceType, GpuCaps* caps) = 0;
  // The monitor (display index + 1) the adapter drives; 0 for none. See OsGetMonitorWorkArea.
  virtual uintptr_t GetAdapterMonitor(uint32_t adapter) = 0;
  virtual GpuResult CreateDevice(uint32_t adapter, uint32_t deviceType, OsWindow* focusWindow,
                                 uint32_t behaviorFlags, GpuPresentParameters* parameters, GpuDevice** device) = 0;
};

// ---- Entry points ----------------------------------------------------------------------------

enum GpuBackend : uint32_t {
  kGpuBackendOpenGl = 0,  // the default
  kGpuBackendNull = 1,    // recording null device (gpu_null.h)
};

// Chooses the backend of the system objects created from now on.
void GpuSetBackend(GpuBackend backend);
GpuBackend GpuGetBackend();

// A new system object with one reference; null for a version other than kGpuSdkVersion, or
// when the backend cannot start (no video at all).
GpuSystem* GpuCreateSystem(uint32_t sdkVersion);

// Fault injection for tests: after `skip` calls that go through, the next `times` calls of the
// named operation ("Present", "TestCooperativeLevel", "CreateTexture", "LockRect", "Reset", ...)
// answer `result` instead of doing their work. The null device honours every named call; the OpenGL device honours
// Present, TestCooperativeLevel and Reset; effect creation (gpu_effect.h) honours "CreateEffect" on
// both. GpuClearInjections forgets all.
void GpuInjectResult(const char* call, GpuResult result, uint32_t times = 1, uint32_t skip = 0);
void GpuClearInjections();

// Writes a surface (any lockable or render-target surface of an 8-bit-per-channel colour format,
// or one of the 16-bit colour formats) as a 24-bit BMP file: rows bottom-up, each padded to 4
// bytes. Returns kGpuOk, kGpuErrInvalidCall for a format it cannot write, or kGpuErrFail when
// the file cannot be written.
GpuResult GpuSaveSurfaceToBmp(const char* path, GpuSurface* surface, const GpuRect* rect);

// Format facts shared by the layer and its callers.
// Bytes per pixel (0 for block-compressed and unknown formats).
uint32_t GpuFormatBytesPerPixel(uint32_t format);
bool GpuFormatIsBlockCompressed(uint32_t format);
// Bytes of one row of `width` pixels (for DXT, one row of 4x4 blocks).
uint32_t GpuFormatRowBytes(uint32_t format, uint32_t width);
// Rows of the memory layout of `height` pixels (height / 4 rounded up for DXT).
uint32_t GpuFormatRowCount(uint32_t format, uint32_t height);
