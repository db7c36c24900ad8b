// The demo's scene drawn by the engine frame on the OpenGL device (SDL's offscreen driver and
// Mesa's software rasteriser when headless) at 1024 x 768: the scene stretch's scene, made the way
// the demo story makes it through the natives, from the demo's own generated bodies and textures
// (the ring station, the ship, the planet, the "VEXA" text, a white and an orange light, and a
// white lens-flare light with the demo's flare type), seen from the take's camera halfway round
// the station, where the flare and the text are in view. Per frame UpdateEngine3DFrame and the
// present. The frames are timed after warm-up frames, because the software rasteriser compiles
// its shader variants on first use; the rate of frames is the "fps" counter. The goal is 60
// frames per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bodies/demo_scene_bodies.h"
#include "core/fixed_math.h"
#include "core/system_block.h"
#include "images/image_writer.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_frame.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/text_instances.h"
#include "support/frame_world.h"

namespace {

constexpr uint32_t kWidth = 1024;
constexpr uint32_t kHeight = 768;
constexpr int kWarmUpFrames = 5;
constexpr int32_t kOne = 0x10000;
// Clear the target, clear and test depth, show lens flares (the story's camera flags).
constexpr uint32_t kCameraFlags = 0x10 | 0x20 | 0x04 | kCameraLensFlares;
constexpr int32_t kStation = 4, kShip = 3, kPlanet = 5, kGlow = 6, kRing = 7;

InstanceRecord* Body(SceneRecord* scene, int32_t body, int32_t x, int32_t y, int32_t z) {
  InstanceRecord* instance = B3D_InstAlloc();
  if (!instance || !B3D_InstSetBody(instance, body)) return nullptr;
  B3D_InstSetPos(instance, x, y, z);
  AddInstanceToScene(instance, scene);
  return instance;
}

InstanceRecord* Light(SceneRecord* scene, int32_t red, int32_t green, int32_t blue, int32_t range, int32_t x,
                      int32_t y, int32_t z) {
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return nullptr;
  B3D_LightSetColor(light, red, green, blue);
  B3D_LightSetRange(light, range);
  B3D_InstSetPos(light, x, y, z);
  AddInstanceToScene(light, scene);
  return light;
}

// The demo's files the scene needs: its textures, then its bodies in the body cache.
bool CacheDemoBodies(FrameWorld* world) {
  std::vector<image_tool::NamedFile> files = image_tool::DemoTextures();
  for (image_tool::NamedFile& file : image_tool::DemoSceneTextures()) files.push_back(std::move(file));
  for (const image_tool::NamedFile& file : files) {
    world->WriteGameFile(file.name, std::string(file.bytes.begin(), file.bytes.end()));
  }
  for (const bodytool::DemoBody& body : bodytool::DemoSceneBodies()) {
    if (!world->CacheBodyText(body.id, body.text)) return false;
  }
  return true;
}

void DemoFrame(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  FrameWorld world;
  std::string error;
  if (!world.Open(kWidth, kHeight, false, &error) || !CacheDemoBodies(&world)) {
    state.SkipWithError(error.empty() ? "the demo's bodies could not be made" : error.c_str());
    return;
  }
  gEngine3D->halfScreenWidth = kWidth / 2;
  gSystem->textureOptions |= kTextureOptionLensFlares;
  // The demo's flare type: the glow at the source, a ring two fifths of the way from the centre.
  LensflareElement elements[2] = {{{kGlow, kOne, 8, 12, 0}}, {{kRing, kOne * 2 / 5, 3, 5, 5}}};
  LensflareRow flare{2, elements};
  gEngine3D->lensFlareTypes = &flare;
  gEngine3D->lensFlareTypeCount = 1;

  SceneRecord* scene = B3D_SceneAlloc();
  CameraRecord* camera = B3D_CameraAlloc();
  if (!scene || !camera) {
    state.SkipWithError("the demo scene could not be made");
    return;
  }
  B3D_CameraAddToScene(camera, scene);
  camera->cameraFlags |= kCameraFlags;
  B3D_CameraSetBackgroundColor(camera, 6, 10, 40);
  B3D_CameraSetFog(camera, 6 << 16 | 10 << 8 | 40, 12000, 40000);
  // The take's camera at 2 s: half way round the station on its circle (radius 2200, 500 up),
  // turned back towards it and pitched down at its centre.
  B3D_InstSetPos(&camera->instance, 0, 500, 2200);
  const int32_t pitch = -static_cast<int32_t>(std::lround(std::atan2(500.0, 2200.0) / (2 * M_PI) * kOne));
  B3D_InstSetRot(&camera->instance, kOne / 2, pitch & 0xFFFF, 0);

  InstanceRecord* ship = Body(scene, kShip, -900, 300, 600);
  InstanceRecord* text = CreateTextInstance("VEXA", 0);
  InstanceRecord* sun = Light(scene, 255, 255, 255, 2000000, 1500, 1500, -8000);
  if (!Light(scene, 255, 255, 255, 200000, -12000, 9000, -4000) || !Light(scene, 255, 140, 40, 6000, 1800, -1200, 1500) ||
      !Body(scene, kStation, 0, 0, 0) || !ship || !Body(scene, kPlanet, -3200, -1200, -6500) || !text || !sun) {
    state.SkipWithError("the demo scene could not be made");
    return;
  }
  B3D_InstSetRot(ship, 12000, 0, 0);
  B3D_InstSetPos(text, 800, 1100, 0);
  B3D_InstSetRot(text, kOne / 2, 0, 0);
  B3D_InstSetSize(text, 400);
  AddInstanceToScene(text, scene);
  sun->flags |= kInstLensFlareSource;
  sun->flareType = 0;
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
  gEngine3D->lensFlareTypes = nullptr;
  gEngine3D->lensFlareTypeCount = 0;
}
BENCHMARK(DemoFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
