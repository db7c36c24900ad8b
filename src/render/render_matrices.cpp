// The renderer's matrices and viewports: the 3D set-up that makes them, the conversion of 16.16
// geometry into float matrices for cameras and instances (perspective and screen-space), the
// camera viewports, view set-up and buffer clears, and the default render states. Called by
// the game main (InitRender3D), the scene engine's frame driver and cameras, and the drawing
// units. Never divides by a zero field of view or a zero-sized view.
#include "render/render_matrices.h"

#include <algorithm>
#include <cmath>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/environment_map.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/screen_effects.h"
#include "render/state_manager.h"
#include "platform/gpu_envmap.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"

RenderMatrixSet gRenderMatrices = {};
uint32_t gRenderFieldOfView = 0x4000;

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);
constexpr float kFixedToFloat = 1.0f / 65536.0f;
constexpr float kDefaultSceneScale = 0.01f;
constexpr float kPi = 3.14159265358979f;
constexpr int32_t kMaxLightSlots = 8;
constexpr uint32_t kLightEnableCount = 9;  // every slot a device may report, and one more

// Camera flags the clear reads.
constexpr uint32_t kCameraClearTarget = 0x10;
constexpr uint32_t kCameraDepthA = 0x20;
constexpr uint32_t kCameraDepthB = 0x04;
constexpr uint32_t kCameraClearStencil = 0x800;

// Vertex-processing modes of the device record.
constexpr int32_t kVertexProcessingNone = 0;
constexpr int32_t kVertexProcessingHardware = 1;
constexpr int32_t kVertexProcessingSoftware = 2;

GpuMatrix Identity() {
  GpuMatrix m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

GpuMatrix Multiply(const GpuMatrix& a, const GpuMatrix& b) {
  GpuMatrix r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}

// A divisor that is exactly zero is taken as one unit.
float Divisor(float value) { return value == 0.0f ? 1.0f : value; }

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() { return Record() ? Record()->device : nullptr; }

// The back buffer's size in pixels: the device's, else the display's configured size.
void BackBufferSize(int32_t* width, int32_t* height) {
  if (DeviceRecord* record = Record()) {
    *width = static_cast<int32_t>(record->presentParameters.backBufferWidth);
    *height = static_cast<int32_t>(record->presentParameters.backBufferHeight);
  } else if (gDisplay && gDisplay->device) {
    *width = gDisplay->device->width;
    *height = gDisplay->device->height;
  } else {
    *width = *height = 0;
  }
}

void DisplayExtents(float* width, float* height) {
  *width = gDisplay ? gDisplay->horizontalExtent * kFixedToFloat : 0.0f;
  *height = gDisplay ? gDisplay->verticalExtent * kFixedToFloat : 0.0f;
}

float SceneScaleOf(const InstanceRecord* instance) {
  return instance->scene ? instance->scene->systemScale : kDefaultSceneScale;
}

// The instance's rotation rows (16.16 -> float), row i scaled by factor[i], with no translation.
GpuMatrix ScaledRotation(const InstanceRecord* instance, const float factor[3]) {
  GpuMatrix m = Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] = instance->worldMatrix.m[i][j] * kFixedToFloat * factor[i];
  return m;
}

// A screen-space instance scaled by its size alone: (size, size, size, 1), size as the raw number.
GpuMatrix UniformScreenWorld(const InstanceRecord* instance) {
  GpuMatrix m = Identity();
  m.m[0][0] = m.m[1][1] = m.m[2][2] = static_cast<float>(instance->size);
  return m;
}

// Row i's factor mul16(scale_i, size), a 16.16 product taken as a raw number, times `scale`.
void FixedScaleFactors(const InstanceRecord* instance, float scale, float factor[3]) {
  const int32_t axes[3] = {instance->scale.x, instance->scale.y, instance->scale.z};
  for (int i = 0; i < 3; ++i) factor[i] = static_cast<float>(FixedMul(axes[i], instance->size)) * scale;
}

// The orthographic projection of a screen-space instance onto the camera's viewport in pixels,
// with its one-pixel nudges.
GpuMatrix ScreenProjection(const InstanceRecord* instance, const CameraRecord* camera) {
  int32_t videoWidth = 0, videoHeight = 0;
  BackBufferSize(&videoWidth, &videoHeight);
  const float w = Divisor(static_cast<float>(FixedMul(videoWidth, camera->viewRight - camera->viewLeft)));
  const float h = Divisor(static_cast<float>(FixedMul(videoHeight, camera->viewBottom - camera->viewTop)));
  const float x = static_cast<float>(instance->position.x);
  const float y = static_cast<float>(instance->position.y);
  GpuMatrix m{};
  m.m[0][0] = 2.0f / w;
  m.m[1][1] = 2.0f / h;
  m.m[3][0] = (x - 0.25f) * 2.0f / w;
  m.m[3][1] = 2.0f * (-y - 0.25f) / h;
  m.m[3][2] = 1.0f;
  m.m[3][3] = 1.0f;
  if (instance->flags2 & kInst2ScreenLeft) m.m[3][0] -= 1.0f;
  if (instance->flags2 & kInst2ScreenRight) m.m[3][0] += 1.0f;
  if (instance->flags2 & kInst2ScreenUp) m.m[3][1] += 1.0f;
  if (instance->flags2 & kInst2ScreenDown) m.m[3][1] -= 1.0f;
  return m;
}

void SetDefaultDepthTerms(GpuMatrix* projection) {
  projection->m[2][2] = kProjectionDepthScale;
  projection->m[3][2] = kProjectionDepthOffset;
}

GpuMatrix* AllocMatrix(GpuMatrix* existing) {
  if (existing) return existing;
  return static_cast<GpuMatrix*>(MemAlloc(sizeof(GpuMatrix), kRendererMemFlags));
}

void FreeMatrix(GpuMatrix** matrix) {
  if (!*matrix) return;
  MemFree(*matrix, sizeof(GpuMatrix), kRendererMemFlags);
  *matrix = nullptr;
}

bool VertexShadersAbove10(uint32_t version) { return (version & 0xFFFF) > 0x0100; }

// 0 without pixel programs, 10 for 1.0 to 1.3, 14 for 1.4, 20 from 2.0 on.
int32_t PixelShaderLevel(uint32_t version) {
  const uint32_t major = (version >> 8) & 0xFF, minor = version & 0xFF;
  if (major == 0) return 0;
  if (major >= 2) return 20;
  return minor >= 4 ? 14 : 10;
}

// Steps 7 to 9 of the set-up: the vertex-processing mode and the shader levels.
void ChooseShaderLevels(GpuDevice* device, DeviceRecord* record, GpuCaps caps) {
  GpuDeviceCreationParameters creation{};
  device->GetCreationParameters(&creation);
  const uint32_t behavior = creation.behaviorFlags;
  const bool mixed = (behavior & kGpuCreateMixedVertexProcessing) != 0;
  if (behavior & kGpuCreateHardwareVertexProcessing) {
    const bool usable = VertexShadersAbove10(caps.vertexShaderVersion);
    record->vertexShaders = usable;
    record->vertexProcessingMode = usable ? kVertexProcessingHardware : kVertexProcessingNone;
  } else if (!mixed) {
    const bool usable = VertexShadersAbove10(caps.vertexShaderVersion);
    record->vertexShaders = usable;
    record->vertexProcessingMode = usable ? kVertexProcessingSoftware : kVertexProcessingNone;
    record->pixelShaderLevel = 0;
    return;
  } else if (VertexShadersAbove10(caps.vertexShaderVersion)) {
    record->vertexShaders = 1;
    record->vertexProcessingMode = kVertexProcessingHardware;
  } else {
    device->SetSoftwareVertexProcessing(1);
    device->GetDeviceCaps(&caps);
    const bool usable = VertexShadersAbove10(caps.vertexShaderVersion);
    record->vertexShaders = usable;
    record->vertexProcessingMode = usable ? kVertexProcessingSoftware : kVertexProcessingNone;
  }
  record->pixelShaderLevel = PixelShaderLevel(caps.pixelShaderVersion);
  if (mixed) device->SetSoftwareVertexProcessing(0);
}

// The stretch a camera applies to its scene around itself (row vectors): along the rows of its
// scale orientation by its three factors, the dust camera's streaks along the direction of
// flight. Only a camera whose scale orientation was set stretches; the others (every camera but
// the dust camera, and records made without the allocator, whose factors are 0) see unstretched.
void CameraStretch(const CameraRecord* camera, float out[3][3]) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out[i][j] = i == j ? 1.0f : 0.0f;
  }
  const int32_t* f = camera->factors;
  if (f[0] == kFixedOne && f[1] == kFixedOne && f[2] == kFixedOne) return;
  float axes[3][3];
  bool set = false;
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < 3; ++j) {
      axes[k][j] = camera->scaleOrientation.m[k][j] * kFixedToFloat;
      set = set || camera->scaleOrientation.m[k][j] != 0;
    }
  }
  if (!set) return;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < 3; ++k) sum += axes[k][i] * (f[k] * kFixedToFloat) * axes[k][j];
      out[i][j] = sum;
    }
  }
}

}  // namespace

int32_t InitRender3D() {
  DeviceRecord* record = Record();
  GpuDevice* device = Device();
  // Without a device (no display yet) the matrices are still made; the device steps wait.
  if (device) {
    CreateVertexDeclarations();
    ResetRenderStates();
  }
  // The device record's two render-entry templates are never filled, so no render entry is
  // made and the engine's two words after the render table stay -1.

  RenderMatrixSet& set = gRenderMatrices;
  for (GpuMatrix** matrix : {&set.world, &set.rotation, &set.view, &set.projection, &set.screenProjection}) {
    *matrix = AllocMatrix(*matrix);
    if (!*matrix) return 0;
  }
  float width = 0.0f, height = 0.0f;
  DisplayExtents(&width, &height);
  *set.projection = ProjectionFromFov(gRenderFieldOfView * kFixedToFloat, width, height);
  *set.view = Identity();
  set.view->m[3][2] = -7.0f;
  *set.world = *set.rotation = Identity();
  if (!device) return 1;

  GpuCaps caps{};
  device->GetDeviceCaps(&caps);
  if ((caps.caps2 & kGpuCaps2FullscreenGamma) && record->gammaBlockWord == 0 && gSystem) {
    gSystem->d3dFlags2 |= kD3D2FullscreenGamma;
  }
  if (gEngine3D) gEngine3D->lightSlotCount = std::min<int32_t>(static_cast<int32_t>(caps.maxActiveLights), kMaxLightSlots);
  for (uint32_t i = 0; i < kLightEnableCount; ++i) device->LightEnable(i, 0);

  ChooseShaderLevels(device, record, caps);

  if (record->glowFilter == 1 && EffectGetOrLoad("bloom", 0)) BloomCreateTargets();
  if (record->environmentMap) EnvMapCreate();
  return 1;
}

void FreeRenderGlobals() {
  RenderMatrixSet& set = gRenderMatrices;
  for (GpuMatrix** matrix : {&set.world, &set.rotation, &set.view, &set.projection, &set.screenProjection}) {
    FreeMatrix(matrix);
  }
  BloomReleaseTargets();
  if (gEnvCubeTexture) {
    gEnvCubeTexture->Release();
    gEnvCubeTexture = nullptr;
  }
  if (gEnvMapRenderer) {
    gEnvMapRenderer->Release();
    gEnvMapRenderer = nullptr;
  }
}

GpuMatrix ProjectionFromFov(float turns, float width, float height) {
  const float half = turns * 2.0f * kPi * 0.5f;
  const float c = std::cos(half) / Divisor(std::sin(half));
  GpuMatrix m{};
  m.m[0][0] = c / Divisor(width);
  m.m[1][1] = c / Divisor(height);
  SetDefaultDepthTerms(&m);
  m.m[2][3] = 1.0f;
  return m;
}

GpuMatrix CameraProjectionMatrix(const CameraRecord* camera) {
  float width = 0.0f, height = 0.0f;
  if (camera->aspectWidth > 0 && camera->aspectHeight > 0) {
    width = camera->aspectWidth * kFixedToFloat;
    height = camera->aspectHeight * kFixedToFloat;
  } else {
    DisplayExtents(&width, &height);
  }
  return ProjectionFromFov(camera->fieldOfView * kFixedToFloat, width, height);
}

GpuMatrix CameraViewMatrix(const CameraRecord* camera, float sceneScale) {
  const FixedMatrix& rotation = camera->instance.worldMatrix;
  const FixedVector& p = camera->instance.world;
  float turn[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) turn[j][i] = rotation.m[i][j] * kFixedToFloat;
  }
  float stretch[3][3];
  CameraStretch(camera, stretch);
  GpuMatrix m{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      m.m[j][i] = stretch[j][0] * turn[0][i] + stretch[j][1] * turn[1][i] + stretch[j][2] * turn[2][i];
    }
    const float dot =
        static_cast<float>(p.x) * m.m[0][i] + static_cast<float>(p.y) * m.m[1][i] + static_cast<float>(p.z) * m.m[2][i];
    m.m[3][i] = -dot * sceneScale;
  }
  m.m[3][3] = 1.0f;
  return m;
}

GpuMatrix InstWorldMatrix(const InstanceRecord* instance, float sceneScale) {
  const bool screen = (instance->flags2 & kInst2ScreenSpace) != 0;
  if (screen && (instance->flags2 & kInst2ScreenUniform)) return UniformScreenWorld(instance);
  const int32_t axes[3] = {instance->scale.x, instance->scale.y, instance->scale.z};
  float factor[3];
  for (int i = 0; i < 3; ++i) {
    factor[i] = axes[i] * kFixedToFloat * static_cast<float>(instance->size) * (screen ? 1.0f : sceneScale);
  }
  return ScaledRotation(instance, factor);
}

void InstWorldViewProjection(GpuMatrix* out, const CameraRecord* camera, const InstanceRecord* instance,
                             float sceneScale) {
  if (!out || !camera || !instance) return;
  if (instance->flags2 & kInst2ScreenSpace) {
    *out = Multiply(InstWorldMatrix(instance, sceneScale), ScreenProjection(instance, camera));
    return;
  }
  *out = Multiply(Multiply(InstWorldMatrix(instance, sceneScale), CameraViewMatrix(camera, sceneScale)),
                  CameraProjectionMatrix(camera));
}

bool InstBuildRenderMatrix(const void* drawObject, const InstanceRecord* instance, const CameraRecord* camera) {
  RenderMatrixSet& set = gRenderMatrices;
  if (!drawObject || !instance || !camera || !set.world || !set.rotation || !set.view || !set.projection ||
      !set.screenProjection) {
    return false;
  }
  float factor[3];
  if (instance->flags2 & kInst2ScreenSpace) {
    FixedScaleFactors(instance, 1.0f, factor);
    *set.rotation = (instance->flags2 & kInst2ScreenUniform) ? UniformScreenWorld(instance)
                                                              : ScaledRotation(instance, factor);
    *set.world = *set.rotation;
    *set.view = Identity();
    *set.screenProjection = ScreenProjection(instance, camera);
    return true;
  }
  const float sceneScale = SceneScaleOf(instance);
  const float unit[3] = {1.0f, 1.0f, 1.0f};
  FixedScaleFactors(instance, sceneScale, factor);
  *set.rotation = ScaledRotation(instance, unit);
  *set.world = ScaledRotation(instance, factor);
  set.world->m[3][0] = static_cast<float>(instance->world.x) * sceneScale;
  set.world->m[3][1] = static_cast<float>(instance->world.y) * sceneScale;
  set.world->m[3][2] = static_cast<float>(instance->world.z) * sceneScale;
  SetDefaultDepthTerms(set.projection);
  return true;
}

bool ViewportCreate(CameraRecord* camera) {
  if (!camera) return false;
  // A camera that kept its viewport (its scene was switched off before it left) reuses it.
  if (camera->viewport) {
    ViewportCompute(camera);
    return true;
  }
  auto* viewport = static_cast<DeviceViewport*>(MemAlloc(sizeof(DeviceViewport), kRendererMemFlags));
  if (!viewport) return false;
  *viewport = DeviceViewport{0, 0, 0, 0, 0.0f, 1.0f};
  camera->viewport = viewport;
  ViewportCompute(camera);
  return true;
}

void ViewportCompute(CameraRecord* camera) {
  if (!camera || !camera->viewport) return;
  int32_t width = 0, height = 0;
  BackBufferSize(&width, &height);
  DeviceViewport& v = *camera->viewport;
  // An edge past its opposite one leaves an empty viewport rather than a wrapped-around size.
  const auto span = [](int32_t from, int32_t to) { return to > from ? to - from : 0; };
  v.x = static_cast<uint32_t>(std::max(FixedMul(width, camera->viewLeft), 0));
  v.width = static_cast<uint32_t>(std::max(FixedMul(width, span(camera->viewLeft, camera->viewRight)), 0));
  v.y = static_cast<uint32_t>(std::max(FixedMul(height, camera->viewTop), 0));
  v.height = static_cast<uint32_t>(std::max(FixedMul(height, span(camera->viewTop, camera->viewBottom)), 0));
}

void ViewportFree(CameraRecord* camera) {
  if (!camera || !camera->viewport) return;
  MemFree(camera->viewport, sizeof(DeviceViewport), kRendererMemFlags);
  camera->viewport = nullptr;
}

bool CameraApplyView(SceneRecord* scene, CameraRecord* camera) {
  RenderMatrixSet& set = gRenderMatrices;
  GpuDevice* device = Device();
  if (!scene || !camera || !camera->viewport || !device || !set.projection || !set.world || !set.view) return false;
  *set.projection = CameraProjectionMatrix(camera);
  gRenderFieldOfView = camera->fieldOfView;
  *set.world = Identity();
  *set.view = CameraViewMatrix(camera, scene->systemScale);
  const DeviceViewport& v = *camera->viewport;
  const GpuViewport viewport{v.x, v.y, v.width, v.height, v.minZ, v.maxZ};
  return GpuSucceeded(device->SetViewport(&viewport));
}

bool SceneClear(CameraRecord* camera) {
  if (!camera) return true;
  const uint32_t flags = camera->cameraFlags;
  const bool depthPair = (flags & kCameraDepthA) && (flags & kCameraDepthB);
  if (!(flags & kCameraClearTarget) && !depthPair) return true;
  const uint32_t settings = gSystem ? gSystem->d3dFlags : 0;
  uint32_t bits = 0;
  if (flags & kCameraClearTarget) bits |= kGpuClearTarget;
  if (depthPair && (settings & kD3DLineZTest)) bits |= kGpuClearZBuffer;
  if ((settings & kD3DStencil) && (flags & kCameraClearStencil)) bits |= kGpuClearStencil;
  GpuDevice* device = Device();
  if (!bits || !device) return true;
  const uint32_t colour = (static_cast<uint32_t>(camera->background[0]) & 0xFF) << 16 |
                          (static_cast<uint32_t>(camera->background[1]) & 0xFF) << 8 |
                          (static_cast<uint32_t>(camera->background[2]) & 0xFF);
  return GpuSucceeded(device->Clear(0, nullptr, bits, colour, 1.0f, 0));
}

void ResetRenderStates() {
  RenderStateManager* manager = gDirect3D ? gDirect3D->stateManager : nullptr;
  if (!manager) return;
  struct DefaultState {
    uint32_t state;
    uint32_t value;
  };
  static constexpr DefaultState kDefaults[] = {
      {kGpuRsAlphaBlendEnable, 0},
      {kGpuRsSeparateAlphaBlendEnable, 0},
      {kGpuRsBlendOp, kGpuBlendOpAdd},
      {kGpuRsBlendOpAlpha, kGpuBlendOpAdd},
      {kGpuRsAlphaFunc, kGpuCmpGreaterEqual},
      {kGpuRsAlphaRef, 90},
      {kGpuRsLighting, 0},
      {kGpuRsColorVertex, 0},
      {kGpuRsColorWriteEnable, 7},  // red, green, blue; the alpha carries the glow mask
      {kGpuRsCullMode, kGpuCullCcw},
      {kGpuRsAlphaTestEnable, 0},
  };
  manager->ResetStateCache();
  for (const DefaultState& d : kDefaults) manager->SetRenderState(d.state, d.value);
}
