// The demo's scene drawn by the engine frame on the OpenGL device (SDL's offscreen driver and
// Mesa's software rasteriser when headless) at 1024 x 768: a scene made the way the demo story
// makes it through the natives (two cameras on the screen's halves, each clearing to its own
// colour with depth, a white light, the plated cube turned to show three faces), then per frame
// UpdateEngine3DFrame and the present. The frames are timed after warm-up frames, because the
// software rasteriser compiles its shader variants on first use; the rate of frames is the
// "fps" counter. The goal is 60 frames per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/fixed_math.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_frame.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/frame_world.h"

namespace {

constexpr uint32_t kWidth = 1024;
constexpr uint32_t kHeight = 768;
constexpr int kWarmUpFrames = 5;
constexpr int32_t kCubeBody = 7;
constexpr int32_t kOne = 0x10000;
// Clear the target, clear and test depth.
constexpr uint32_t kClearAndDepth = 0x10 | 0x20 | 0x04;

// A camera on the half of the screen that starts at `left` (16.16), two thirds as wide as high.
bool HalfCamera(SceneRecord* scene, int32_t left, int32_t right, int red, int green, int blue) {
  CameraRecord* camera = B3D_CameraAlloc();
  if (!camera) return false;
  B3D_CameraAddToScene(camera, scene);
  CameraSetViewport(camera, 0, right, left, kOne - 1);
  B3D_CameraSetBackgroundColor(camera, red, green, blue);
  B3D_CameraSetAspect(camera, 43691, kOne);
  camera->cameraFlags |= kClearAndDepth;
  return true;
}

void DemoFrame(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  FrameWorld world;
  std::string error;
  if (!world.Open(kWidth, kHeight, false, &error) || !world.CacheCube(kCubeBody, false)) {
    state.SkipWithError(error.empty() ? "the cube body could not be made" : error.c_str());
    return;
  }
  gEngine3D->halfScreenWidth = kWidth / 2;
  SceneRecord* scene = B3D_SceneAlloc();
  InstanceRecord* cube = B3D_InstAlloc();
  InstanceRecord* light = B3D_LightAlloc();
  if (!scene || !cube || !light || !HalfCamera(scene, 0, kOne / 2 - 1, 20, 40, 90) ||
      !HalfCamera(scene, kOne / 2, kOne - 1, 90, 40, 20) || !B3D_InstSetBody(cube, kCubeBody)) {
    state.SkipWithError("the demo scene could not be made");
    return;
  }
  B3D_LightSetColor(light, 255, 255, 255);
  B3D_LightSetRange(light, 20000);
  B3D_InstSetPos(light, -600, 800, 0);
  AddInstanceToScene(light, scene);
  B3D_InstSetPos(cube, 0, 0, 1400);
  B3D_InstSetRot(cube, 5000, 6000, 0);
  AddInstanceToScene(cube, scene);
  B3D_SceneEnable(scene);

  for (int i = 0; i < kWarmUpFrames; ++i) {
    UpdateEngine3DFrame();
    world.Present();
  }
  for (auto _ : state) {
    UpdateEngine3DFrame();
    world.Present();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(DemoFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
