// The engine frame on the recording null device: cameras in priority order with bloom before the
// first above 17, the environment camera's refresh rule, fades, the lens-flare scene kept out of
// counting, preparation and the end of frame, a frame whose camera array cannot be had, record and
// replay flags without a stream, and the lens-flare scene made again after a reset.
#include "scene/engine_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu_envmap.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/environment_map.h"
#include "render/render_matrices.h"
#include "render/screen_effects.h"
#include "scene/camera_records.h"
#include "scene/effect_registry.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lens_flares.h"
#include "scene/recording.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"
#include "support/texture_world.h"

namespace {

constexpr int32_t kOne = 0x10000;

// A one-pass "bloom" that draws into the back buffer.
constexpr char kBloomEffect[] =
    "param texture t_SceneMap\nparam texture t_GlowMap1\nparam texture t_GlowMap2\nparam float4 ViewPortSize\n"
    "technique DEFAULT\npass P0\nsampler 0 = t_SceneMap\nvertex\n"
    "layout(location = GPU_ATTR_POSITION) in vec4 inPosition;\nvoid main() { gl_Position = inPosition; }\nend\n"
    "fragment\nvoid main() { gpu_FragColor = ViewPortSize; }\nend\n";

class EngineFrame : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = world_.block();
    world_.WriteLoose("shader/3_0/bloom.fb", kBloomEffect);
    record_.glowFilter = 1;
    gSystem->d3dFlags2 |= kD3D2Glow;
    savedMatrices_ = gRenderMatrices;
    gRenderMatrices = RenderMatrixSet{&matrices_[0], &matrices_[1], &matrices_[2], &matrices_[3], &matrices_[4]};
    BloomCreateTargets();
    GpuNullClearLog();
  }
  void TearDown() override {
    SetCameraArrayFailures(0);
    ResetEngine3D();
    if (gEnvCubeTexture) gEnvCubeTexture->Release();
    if (gEnvMapRenderer) gEnvMapRenderer->Release();
    gEnvCubeTexture = nullptr;
    gEnvMapRenderer = nullptr;
    BloomReleaseTargets();
    FreeEffectRegistry();
    gRenderMatrices = savedMatrices_;
    RenderWorld::TearDown();
  }

  SceneRecord* Scene() {
    SceneRecord* scene = B3D_SceneAlloc();
    EXPECT_NE(scene, nullptr);
    return scene;
  }
  // A camera of the scene at the priority over the screen's columns [left, right) (16.16); the
  // lens-flare scene's camera alone covers the whole screen ("view 0").
  CameraRecord* Camera(SceneRecord* scene, int32_t priority, int32_t left = kOne / 4, int32_t right = kOne) {
    CameraRecord* camera = B3D_CameraAlloc();
    EXPECT_NE(camera, nullptr);
    B3D_CameraAddToScene(camera, scene);
    CameraSetViewport(camera, 0, right, left, kOne);
    B3D_CameraSetPri(camera, priority);
    MatrixSetIdentity(&camera->instance.matrix);
    return camera;
  }

  // The frame's log reduced to what tells the steps apart: each camera's view by its viewport's
  // left edge ("view 0", "view 32"), "bloom", the scene's "begin" and "end", and "tint" quads.
  std::vector<std::string> Frame() {
    GpuNullClearLog();
    UpdateEngine3DFrame();
    std::vector<std::string> steps;
    bool inBloom = false;
    for (const std::string& line : GpuNullLog()) {
      if (line.rfind("StretchRect(", 0) == 0) {
        steps.push_back("bloom");
        inBloom = true;
      } else if (line.rfind("SetDepthStencilSurface(depthstencil)", 0) == 0) {
        inBloom = false;  // bloom gives the targets back last
      } else if (line.rfind("SetViewport(", 0) == 0 && !inBloom) {
        steps.push_back("view " + line.substr(12, line.find(',') - 12));
      } else if (line.rfind("BeginScene", 0) == 0) {
        steps.push_back("begin");
      } else if (line.rfind("EndScene", 0) == 0) {
        steps.push_back("end");
      } else if (line.rfind("DrawPrimitiveUP(", 0) == 0) {
        steps.push_back("tint");
      }
    }
    return steps;
  }
  static int Count(const std::vector<std::string>& steps, const std::string& what) {
    return static_cast<int>(std::count(steps.begin(), steps.end(), what));
  }
  static std::string Show(const std::vector<std::string>& steps) {
    std::string out;
    for (const std::string& s : steps) out += s + "; ";
    return out;
  }

  EngineFixture engine_;
  CatalogWorld world_;
  GpuMatrix matrices_[5] = {};
  RenderMatrixSet savedMatrices_{};
};

TEST_F(EngineFrame, BloomRunsOnceBeforeTheFirstCameraAbovePriority17) {
  struct Case {
    std::vector<int32_t> priorities;
    std::vector<std::string> steps;
  };
  const Case kCases[] = {
      {{20, 10}, {"begin", "view 16", "bloom", "view 32", "view 0", "end"}},
      {{17}, {"begin", "view 16", "view 0", "end"}},
      {{18, 30}, {"begin", "bloom", "view 32", "view 16", "view 0", "end"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.priorities[0]);
    SceneRecord* scene = Scene();
    // The first camera listed stands on the right half, the second on the right three quarters.
    Camera(scene, c.priorities[0], c.priorities.size() > 1 ? kOne / 2 : kOne / 4);
    if (c.priorities.size() > 1) Camera(scene, c.priorities[1]);
    B3D_SceneEnable(scene);
    const std::vector<std::string> steps = Frame();
    EXPECT_EQ(steps, c.steps) << Show(steps);
    B3D_SceneFree(scene);
  }
}

// The cube faces the frame's log shows becoming the render target, in order ("cube3.2.0" is face 2).
std::vector<int> CubeFaceTargets() {
  std::vector<int> faces;
  const std::string kCall = "SetRenderTarget(0, cube";
  for (const std::string& line : GpuNullLog()) {
    if (line.rfind(kCall, 0) != 0) continue;
    const size_t dot = line.find('.');
    faces.push_back(dot == std::string::npos ? -1 : std::atoi(line.c_str() + dot + 1));
  }
  return faces;
}

TEST_F(EngineFrame, AnEnvironmentCameraIsDrawnFirstThenOnlyWhenARefreshIsAskedAtMoreThan10Frames) {
  EnvMapCreate();
  ASSERT_NE(gEnvMapRenderer, nullptr);
  SceneRecord* scene = Scene();
  scene->flags |= kSceneEnvironmentPass;
  CameraRecord* camera = Camera(scene, 5);
  camera->cameraFlags |= kCameraEnvironmentMap;
  B3D_SceneEnable(scene);
  gSystem->frameRate = 30;
  struct Step {
    uint32_t ask;  // engine flags set before the frame
    uint32_t frameRate;
    bool drawn;
  };
  const Step kSteps[] = {
      {0, 30, true},                         // never rendered
      {0, 30, false},
      {kEngineEnvRefreshWanted, 10, false},  // asked, but the frame rate is not above 10
      {0, 11, true},                         // the request stands until it is served
      {0, 30, false},
  };
  int frame = 0;
  for (const Step& s : kSteps) {
    SCOPED_TRACE(frame++);
    gEngine3D->engineFlags |= s.ask;
    gSystem->frameRate = s.frameRate;
    const std::vector<std::string> steps = Frame();
    // Drawing it ends the device scene around the cube pass and begins it again.
    EXPECT_EQ(Count(steps, "begin"), s.drawn ? 2 : 1) << Show(steps);
    EXPECT_EQ(Count(steps, "view 16"), 0) << "never drawn as a normal camera";
    // Each face is drawn into its own side of the cube.
    EXPECT_EQ(CubeFaceTargets(), s.drawn ? (std::vector<int>{0, 1, 2, 3, 4, 5}) : std::vector<int>{});
    EXPECT_TRUE(gEngine3D->engineFlags & kEngineEnvRefreshed);
    if (s.drawn) {
      EXPECT_FALSE(gEngine3D->engineFlags & kEngineEnvRefreshWanted);
    }
  }
}

TEST_F(EngineFrame, AFadeDrawsTheCameraASecondTimeWithItsTint) {
  struct Case {
    int32_t fade;
    int views;
    int tints;
  };
  const Case kCases[] = {{0, 1, 0}, {static_cast<int32_t>(0x80FF0000u), 2, 1}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.fade);
    SceneRecord* scene = Scene();
    CameraRecord* camera = Camera(scene, 3);
    B3D_CameraSetFadeValue(camera, c.fade);
    camera->cameraFlags |= kCameraFadeBit4 | kCameraFadeBit5;
    B3D_SceneEnable(scene);
    const uint32_t flags = camera->cameraFlags;
    const std::vector<std::string> steps = Frame();
    EXPECT_EQ(Count(steps, "view 16"), c.views) << Show(steps);
    EXPECT_EQ(Count(steps, "tint"), c.tints) << Show(steps);
    EXPECT_EQ(camera->cameraFlags, flags) << "the flag word is given back";
    B3D_SceneFree(scene);
  }
}

TEST_F(EngineFrame, TheLensFlareSceneTakesNoPartInCountingPreparationOrTheEndOfFrame) {
  UpdateEngine3DFrame();
  SceneRecord* flares = gEngine3D->lensFlareScene;
  ASSERT_NE(flares, nullptr);
  EXPECT_STREQ(flares->name, kLensFlareSceneName);
  EXPECT_FALSE(flares->flags & kSceneEnabled) << "no camera was drawn";
  B3D_SceneEnable(flares);
  InstanceRecord* member = B3D_InstAlloc();
  AddInstanceToScene(member, flares);
  member->position = FixedVector{5, 6, 7, 0};
  member->flags |= kInstFrameMark;
  const std::vector<std::string> steps = Frame();
  EXPECT_EQ(steps, (std::vector<std::string>{"begin", "end"})) << "its camera is not counted: " << Show(steps);
  EXPECT_EQ(member->world.x, 0) << "not prepared";
  EXPECT_TRUE(member->flags & kInstFrameMark) << "its frame is not ended";
}

TEST_F(EngineFrame, WithoutACameraArrayTheFrameStillEndsItsScene) {
  SceneRecord* scene = Scene();
  Camera(scene, 3);
  B3D_SceneEnable(scene);
  InstanceRecord* member = B3D_InstAlloc();
  AddInstanceToScene(member, scene);
  member->flags |= kInstFrameMark;
  SetCameraArrayFailures(2);
  const std::vector<std::string> steps = Frame();
  EXPECT_EQ(steps, (std::vector<std::string>{"begin", "end"})) << Show(steps);
  EXPECT_FALSE(member->flags & kInstFrameMark) << "the scene's frame was ended";
  SetCameraArrayFailures(1);  // one failure: the retry after the low-memory hook succeeds
  EXPECT_EQ(Count(Frame(), "view 16"), 1);

  // The overlay, the statistics and the recording still have their frame.
  gEngine3D->screenOverlayName = DuplicateString("overlay");
  ASSERT_EQ(B3D_InitRecording("frames"), 1);
  SetCameraArrayFailures(2);
  const std::vector<std::string> withOverlay = Frame();
  B3D_ExitRecording();
  gEngine3D->screenOverlayName = FreeString(gEngine3D->screenOverlayName);
  // The overlay's two quads (its alpha, then its colour), before the statistics end the scene.
  EXPECT_EQ(withOverlay, (std::vector<std::string>{"begin", "tint", "tint", "end"})) << Show(withOverlay);
  const std::vector<uint8_t> stream = TextureWorld::ReadGzip("frames.rec");
  const std::string bytes(stream.begin(), stream.end());
  int frames = 0;
  for (size_t at = bytes.find("RFRA"); at != std::string::npos; at = bytes.find("RFRA", at + 4)) ++frames;
  EXPECT_EQ(frames, 2) << "the opening frame and the one drawn without cameras";
}

TEST_F(EngineFrame, RecordAndReplayBitsWithoutAStreamDoNothing) {
  SceneRecord* scene = Scene();
  Camera(scene, 3);
  B3D_SceneEnable(scene);
  gEngine3D->engineFlags |= kEngineRecording | kEngineReplaying;
  ASSERT_EQ(gEngine3D->recording, nullptr);
  ASSERT_EQ(gEngine3D->replay, nullptr);
  EXPECT_EQ(Count(Frame(), "view 16"), 1);
  EXPECT_EQ(gEngine3D->engineFlags & (kEngineRecording | kEngineReplaying), kEngineRecording | kEngineReplaying);
}

TEST_F(EngineFrame, AResetEngineMakesTheLensFlareSceneAgain) {
  UpdateEngine3DFrame();
  ASSERT_NE(gEngine3D->lensFlareScene, nullptr);
  ResetEngine3D();
  EXPECT_EQ(gEngine3D->lensFlareScene, nullptr);
  UpdateEngine3DFrame();
  ASSERT_NE(gEngine3D->lensFlareScene, nullptr);
  EXPECT_STREQ(gEngine3D->lensFlareScene->name, kLensFlareSceneName);
  int scenes = 0;
  for (ListNode* node = ListFirst(&gEngine3D->scenes); node; node = ListNext(node)) ++scenes;
  EXPECT_EQ(scenes, 1);
}

}  // namespace
