// The environment map: the 256-pixel cube texture and the cube renderer made for the device (with
// generated mip levels where the device can make them), the begin and end of an environment pass
// and the per-face projection, view, camera rotation and viewport. Called by the renderer's 3D
// set-up and device reset, and by the scene engine's environment pass. A pass that cannot begin
// tells its caller to skip the faces; a pass that cannot end gives the device its own targets back.
#include "render/environment_map.h"

#include <cmath>

#include "core/system_block.h"
#include "platform/gpu_envmap.h"
#include "platform/gpu_math.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"

GpuxRenderToEnvMap* gEnvMapRenderer = nullptr;
GpuCubeTexture* gEnvCubeTexture = nullptr;

namespace {

constexpr uint32_t kFilterNone = 1;  // the faces are copied as drawn
constexpr int32_t kBeginSkipFaces = 1;
constexpr int kTextureAttempts = 2;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() { return Record() ? Record()->device : nullptr; }

// Up to two attempts of one form of the cube; the low-memory hook runs before a retry that
// follows a lack of memory.
bool TryCube(GpuDevice* device, uint32_t levels, uint32_t usage) {
  for (int attempt = 0; attempt < kTextureAttempts; ++attempt) {
    const GpuResult result =
        device->CreateCubeTexture(kEnvMapEdge, levels, usage, kGpuFmtX8R8G8B8, kGpuPoolDefault, &gEnvCubeTexture);
    if (GpuSucceeded(result) && gEnvCubeTexture) return true;
    gEnvCubeTexture = nullptr;
    if (result == kGpuErrOutOfMemory || result == kGpuErrOutOfVideoMemory) RunLowMemoryHookForGpu(result);
  }
  return false;
}

void ReleaseBoth() {
  if (gEnvCubeTexture) gEnvCubeTexture->Release();
  if (gEnvMapRenderer) gEnvMapRenderer->Release();
  gEnvCubeTexture = nullptr;
  gEnvMapRenderer = nullptr;
}

}  // namespace

void EnvMapCreate() {
  DeviceRecord* record = Record();
  GpuDevice* device = Device();
  bool made = false;
  if (device) {
    const int32_t depth = record->presentParameters.enableAutoDepthStencil;
    const uint32_t depthFormat = record->presentParameters.autoDepthStencilFormat;
    const GpuResult result = GpuRetry([&] {
      return GpuxCreateRenderToEnvMap(device, kEnvMapEdge, 1, kGpuFmtX8R8G8B8, depth, depthFormat, &gEnvMapRenderer);
    });
    if (GpuSucceeded(result) && gEnvMapRenderer) {
      GpuCaps caps{};
      device->GetDeviceCaps(&caps);
      if (caps.caps2 & kGpuCaps2CanAutoGenMipmap) {
        made = TryCube(device, 0, kGpuUsageRenderTarget | kGpuUsageAutoGenMipmap);
      }
      if (!made) made = TryCube(device, 1, kGpuUsageRenderTarget);
      if (made) gEnvCubeTexture->SetAutoGenFilterType(kGpuTexFilterLinear);
    } else {
      gEnvMapRenderer = nullptr;
    }
  }
  if (made) return;
  ReleaseBoth();
  if (gSystem) gSystem->d3dFlags2 |= kD3D2NoEnvMap;
}

int32_t EnvMapBegin() {
  if (!gEnvMapRenderer || !gEnvCubeTexture) return kBeginSkipFaces;
  const GpuResult result = GpuRetry([] { return gEnvMapRenderer->BeginCube(gEnvCubeTexture); });
  return GpuSucceeded(result) ? 0 : kBeginSkipFaces;
}

bool EnvMapBeginFace(SceneRecord* scene, CameraRecord* camera, uint32_t face) {
  (void)scene;
  RenderMatrixSet& set = gRenderMatrices;
  GpuDevice* device = Device();
  if (!camera || !device) return false;
  gRenderFieldOfView = camera->fieldOfView;
  if (set.projection) *set.projection = CameraProjectionMatrix(camera);
  if (set.world) GpuxMatrixIdentity(set.world);
  const GpuMatrix view = CubeFaceViewMatrix(face);
  if (set.view) *set.view = view;
  // The camera's rotation becomes the face's, so its passes build the same view from it.
  FixedMatrix& rotation = camera->instance.worldMatrix;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) rotation.m[i][j] = static_cast<int32_t>(std::lround(view.m[j][i] * 65536.0f));
    rotation.m[i][3] = 0;
  }
  GpuSurface* target = nullptr;
  if (GpuFailed(GpuRetry([&] { return device->GetRenderTarget(0, &target); })) || !target) return false;
  const GpuResult result = SetViewportFromSurface(target);
  target->Release();
  return GpuSucceeded(result);
}

void EnvMapEnd() {
  if (gEnvMapRenderer && GpuFailed(gEnvMapRenderer->End(kFilterNone))) {
    if (DeviceRecord* record = Record(); record && record->device) {
      record->device->SetRenderTarget(0, record->backBuffer);
      record->device->SetDepthStencilSurface(record->depthStencil);
    }
  }
  ResetRenderStates();
}

GpuMatrix CubeFaceViewMatrix(uint32_t face) {
  struct FaceView {
    GpuVector3 at;
    GpuVector3 up;
  };
  static constexpr FaceView kFaces[6] = {
      {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
      {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
  };
  GpuMatrix m;
  if (face >= 6) return *GpuxMatrixIdentity(&m);
  const GpuVector3 eye{0, 0, 0};
  return *GpuxMatrixLookAtLH(&m, &eye, &kFaces[face].at, &kFaces[face].up);
}
