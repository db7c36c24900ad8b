// The engine's share of a frame: UpdateEngine3DFrame over one enabled camera looking at 2,000
// member trees of one-part bodies (a root with one child each, in a grid in front of the camera)
// on the recording null device, whose log is emptied between frames. Measures the scene
// preparation, the camera-space update, visibility and level, the pass gathering and the draw-list
// walk; the device's own work is nothing here. The goal is under 2 ms per frame in a release build.
#include <benchmark/benchmark.h>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/render_matrices.h"
#include "render/state_manager.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_frame.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/cached_bodies.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kTrees = 2000;
constexpr int32_t kBody = 300;
constexpr int32_t kGrid = 50;
constexpr int32_t kSpacing = 400;

class FrameBenchWorld {
 public:
  FrameBenchWorld() {
    GpuSetBackend(kGpuBackendNull);
    system_ = GpuCreateSystem(kGpuSdkVersion);
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = 640;
    parameters.backBufferHeight = 480;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.windowed = 1;
    parameters.enableAutoDepthStencil = 1;
    parameters.autoDepthStencilFormat = kGpuFmtD24S8;
    system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters, &device_);
    record_.device = device_;
    record_.presentParameters = parameters;
    context_.system = system_;
    context_.device = &record_;
    context_.stateManager = CreateStateManager(device_);
    gDirect3D = &context_;
    gSystem = &block_;
    gRenderMatrices = RenderMatrixSet{&matrices_[0], &matrices_[1], &matrices_[2], &matrices_[3], &matrices_[4]};
    gEngine3D->halfScreenWidth = 320;

    bodies_.AddLevels(kBody, 100, 1, 12, 0);
    SceneRecord* scene = B3D_SceneAlloc();
    CameraRecord* camera = B3D_CameraAlloc();
    B3D_CameraAddToScene(camera, scene);
    B3D_CameraSetFocus(camera, 0x4000);
    B3D_CameraSetPri(camera, 10);
    for (int32_t i = 0; i < kTrees; ++i) {
      InstanceRecord* root = B3D_InstAlloc();
      InstanceRecord* child = B3D_InstAlloc();
      B3D_InstSetBody(root, kBody);
      B3D_InstSetBody(child, kBody);
      B3D_InstAddToInst(child, root);
      B3D_InstSetPos(root, (i % kGrid - kGrid / 2) * kSpacing, (i / kGrid - kGrid / 4) * kSpacing, 30000);
      B3D_InstSetPos(child, 150, 0, 0);
      AddInstanceToScene(root, scene);
    }
    B3D_SceneEnable(scene);
  }
  ~FrameBenchWorld() {
    bodies_.Clear();
    ResetEngine3D();
    gRenderMatrices = RenderMatrixSet{};
    if (context_.stateManager) context_.stateManager->Release();
    gDirect3D = nullptr;
    gSystem = nullptr;
    if (device_) device_->Release();
    if (system_) system_->Release();
  }

 private:
  EngineFixture engine_;
  CachedBodies bodies_;
  GpuSystem* system_ = nullptr;
  GpuDevice* device_ = nullptr;
  DeviceRecord record_{};
  Direct3DContext context_{};
  SystemBlock block_{};
  GpuMatrix matrices_[5] = {};
};

void BM_EngineFrame(benchmark::State& state) {
  FrameBenchWorld world;
  size_t calls = 0;
  for (auto _ : state) {
    UpdateEngine3DFrame();
    state.PauseTiming();
    calls = GpuNullLog().size();
    GpuNullClearLog();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kTrees);
  // The device calls of the last frame: the two cameras' views; the parts have no device meshes.
  state.counters["device_calls"] = static_cast<double>(calls);
}
BENCHMARK(BM_EngineFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
