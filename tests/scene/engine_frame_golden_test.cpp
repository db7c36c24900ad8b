// The engine frame on the OpenGL device (SDL's offscreen driver, Mesa's software rasteriser): one
// scene with a glowing cube, a sun light and two cameras, priority 10 on the whole screen and
// priority 20 clearing and drawing the right half, drawn by UpdateEngine3DFrame with bloom between
// them. The frame equals tests/scene/golden/engine_frame_bloom.bmp (24 bits, written by the
// device's own BMP writer) within 3 levels in every channel of every pixel. Camera 10's cube shows
// the bloom halo on the left half; camera 20's, drawn after bloom, shows none.
// KORVANE_UPDATE_GOLDEN=1 rewrites the golden image; a failed comparison writes
// engine_frame_bloom.actual.bmp into the working folder.
#include "scene/engine_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gpu.h"
#include "platform/image.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/frame_world.h"

namespace {

constexpr uint32_t kSize = 64;
constexpr int kGoldenTolerance = 3;
constexpr int32_t kCubeBody = 7;
constexpr int32_t kOne = 0x10000;
// Clear the target, clear and test depth. The light map's glow mask goes into the alpha.
constexpr uint32_t kClearAndDepth = 0x10 | 0x20 | 0x04;
constexpr uint32_t kUnlimitedLight = 0x800000;

// Pixels of the half starting at column x0 that differ from its background by 6 or more in
// some channel while no channel reaches 200 (the lit, glowing cube does).
int HaloPixels(const std::vector<uint32_t>& frame, uint32_t x0, uint32_t background) {
  int count = 0;
  for (uint32_t y = 0; y < kSize; ++y) {
    for (uint32_t x = x0; x < x0 + kSize / 2; ++x) {
      const uint32_t p = frame[y * kSize + x];
      int lift = 0, top = 0;
      for (int c = 0; c < 3; ++c) {
        const int v = static_cast<int>(p >> (8 * c) & 0xFF);
        lift = std::max(lift, std::abs(v - static_cast<int>(background >> (8 * c) & 0xFF)));
        top = std::max(top, v);
      }
      count += lift >= 6 && top < 200 ? 1 : 0;
    }
  }
  return count;
}

CameraRecord* Camera(SceneRecord* scene, int32_t priority, int32_t left, uint32_t background) {
  CameraRecord* camera = B3D_CameraAlloc();
  if (!camera) return nullptr;
  B3D_CameraAddToScene(camera, scene);
  CameraSetViewport(camera, 0, kOne, left, kOne);
  B3D_CameraSetPri(camera, priority);
  B3D_CameraSetFocus(camera, 0x4000);
  B3D_CameraSetBackgroundColor(camera, background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF);
  camera->cameraFlags |= kClearAndDepth;
  // The view's width to its height, as a 16.16 pair.
  camera->aspectWidth = kOne - left;
  camera->aspectHeight = kOne;
  // Its world copies, which the view is taken from, are the frame's to make.
  MatrixSetIdentity(&camera->instance.matrix);
  return camera;
}

TEST(EngineFrameGolden, BloomLiesBetweenTheCamerasOfPriority10And20) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  FrameWorld world;
  std::string error;
  ASSERT_TRUE(world.Open(kSize, kSize, true, &error)) << error;
  ASSERT_NE(world.CacheCube(kCubeBody, true), nullptr);
  gEngine3D->halfScreenWidth = kSize / 2;

  SceneRecord* scene = B3D_SceneAlloc();
  ASSERT_NE(scene, nullptr);
  ASSERT_NE(Camera(scene, 20, kOne / 2, 0x102030), nullptr);
  ASSERT_NE(Camera(scene, 10, 0, 0x141E3C), nullptr);
  InstanceRecord* cube = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstSetBody(cube, kCubeBody));
  B3D_InstSetSize(cube, 800);
  B3D_InstSetPos(cube, 0, 0, 3000);
  MatrixFromAngles(&cube->matrix, 0x1800, 0x0C00, 0);
  AddInstanceToScene(cube, scene);
  InstanceRecord* sun = B3D_LightAlloc();
  ASSERT_NE(sun, nullptr);
  sun->flags |= kUnlimitedLight;
  sun->lightRange = 2450001;
  B3D_LightSetColor(sun, 256, 256, 256);
  B3D_InstSetPos(sun, -600, 800, -400);
  AddInstanceToScene(sun, scene);
  B3D_SceneEnable(scene);

  UpdateEngine3DFrame();
  const std::vector<uint32_t> frame = world.ReadBackBuffer();
  ASSERT_EQ(frame.size(), kSize * kSize);
  // Camera 20 cleared its half after bloom: its background stands in the right top corner, and
  // camera 10's in the left one.
  EXPECT_EQ(frame[kSize - 1] & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(frame[0] & 0xFFFFFF, 0x141E3Cu);
  // The halo: pixels lifted off the background yet darker than the cube, on camera 10's half only.
  EXPECT_GT(HaloPixels(frame, 0, 0x141E3C), 20);
  EXPECT_EQ(HaloPixels(frame, kSize / 2, 0x102030), 0);

  const std::string golden = std::string(KORVANE_SOURCE_DIR) + "/tests/scene/golden/engine_frame_bloom.bmp";
  const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
  if (update && std::strcmp(update, "1") == 0) {
    ASSERT_TRUE(GpuSucceeded(GpuSaveSurfaceToBmp(golden.c_str(), world.backBuffer(), nullptr)));
    GTEST_SKIP() << "golden image rewritten: " << golden;
  }
  std::ifstream in(golden, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Image expected{};
  ASSERT_TRUE(ImageDecode(bytes.data(), bytes.size(), &expected)) << "missing golden image " << golden;
  ASSERT_EQ(expected.width, static_cast<int>(kSize));
  ASSERT_EQ(expected.height, static_cast<int>(kSize));
  int worst = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    const uint8_t* p = expected.pixels + i * 4;  // R, G, B, A
    const int want[3] = {p[2], p[1], p[0]};        // B, G, R as the frame's bytes run
    for (int c = 0; c < 3; ++c) {
      worst = std::max(worst, std::abs(static_cast<int>((frame[i] >> (8 * c)) & 0xFF) - want[c]));
    }
  }
  ImageFree(&expected);
  if (worst > kGoldenTolerance) GpuSaveSurfaceToBmp("engine_frame_bloom.actual.bmp", world.backBuffer(), nullptr);
  EXPECT_LE(worst, kGoldenTolerance) << "actual frame written to engine_frame_bloom.actual.bmp";
}

}  // namespace
