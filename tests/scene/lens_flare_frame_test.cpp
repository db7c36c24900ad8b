// Lens flares drawn by the engine frame on the OpenGL device (SDL's offscreen driver, Mesa's
// software rasteriser): a scene whose camera shows flares, a flaring light in its view, and a
// flare type of one sprite (the textured cube of the frame world). The sprite must land in the
// picture, at the source's place on the screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/system_block.h"
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

constexpr uint32_t kSize = 64;
constexpr int32_t kSpriteBody = 7;
constexpr int32_t kOne = 0x10000;
// Clear the target, clear and test depth, show lens flares.
constexpr uint32_t kClearDepthFlares = 0x10 | 0x20 | 0x04 | kCameraLensFlares;
constexpr uint32_t kBackground = 0x102030;

// Pixels that differ from the background in some channel by more than 8.
int Lifted(const std::vector<uint32_t>& frame, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
  int count = 0;
  for (uint32_t y = y0; y < y1; ++y) {
    for (uint32_t x = x0; x < x1; ++x) {
      const uint32_t p = frame[y * kSize + x];
      for (int c = 0; c < 3; ++c) {
        const int d = static_cast<int>(p >> (8 * c) & 0xFF) - static_cast<int>(kBackground >> (8 * c) & 0xFF);
        if (d > 8 || d < -8) {
          ++count;
          break;
        }
      }
    }
  }
  return count;
}

TEST(LensFlareFrame, TheSpritesOfAFlaringLightInViewAreDrawn) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  FrameWorld world;
  std::string error;
  ASSERT_TRUE(world.Open(kSize, kSize, false, &error)) << error;
  ASSERT_NE(world.CacheCube(kSpriteBody, false), nullptr);
  gSystem->textureOptions |= kTextureOptionLensFlares;
  gEngine3D->halfScreenWidth = kSize / 2;
  LensflareElement element{{kSpriteBody, kOne, 200, 200, 0}};
  LensflareRow row{1, &element};
  gEngine3D->lensFlareTypes = &row;
  gEngine3D->lensFlareTypeCount = 1;

  SceneRecord* scene = B3D_SceneAlloc();
  ASSERT_NE(scene, nullptr);
  CameraRecord* camera = B3D_CameraAlloc();
  ASSERT_NE(camera, nullptr);
  B3D_CameraAddToScene(camera, scene);
  CameraSetViewport(camera, 0, kOne, 0, kOne);
  B3D_CameraSetBackgroundColor(camera, kBackground >> 16 & 0xFF, kBackground >> 8 & 0xFF, kBackground & 0xFF);
  camera->cameraFlags |= kClearDepthFlares;
  MatrixSetIdentity(&camera->instance.matrix);
  // A white light up and to the right of the view's centre, flaring with type 0.
  InstanceRecord* light = B3D_LightAlloc();
  ASSERT_NE(light, nullptr);
  B3D_LightSetColor(light, 255, 255, 255);
  B3D_LightSetRange(light, 100000);
  B3D_InstSetPos(light, 1000, 1000, 4000);
  light->flags |= kInstLensFlareSource;
  light->flareType = 0;
  AddInstanceToScene(light, scene);
  B3D_SceneEnable(scene);

  for (int frame = 0; frame < 3; ++frame) UpdateEngine3DFrame();
  const std::vector<uint32_t> frame = world.ReadBackBuffer();
  gEngine3D->lensFlareTypes = nullptr;
  gEngine3D->lensFlareTypeCount = 0;
  ASSERT_EQ(frame.size(), kSize * kSize);
  std::string picture;
  for (uint32_t y = 0; y < kSize; y += 4) {
    for (uint32_t x = 0; x < kSize; x += 2) picture += Lifted(frame, x, y, x + 1, y + 1) ? '#' : '.';
    picture += '\n';
  }
  // The light stands a quarter of the way from the centre to the right edge and to the top: the
  // sprite (factor 1) covers that point, and nothing is drawn in the lower half.
  EXPECT_EQ(Lifted(frame, 40, 24, 41, 25), 1) << picture;
  EXPECT_GT(Lifted(frame, kSize / 2, 0, kSize, kSize / 2), 20) << picture;
  EXPECT_EQ(Lifted(frame, 0, kSize / 2, kSize, kSize), 0) << picture;
}

}  // namespace
