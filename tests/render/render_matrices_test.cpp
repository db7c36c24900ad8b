// The renderer's matrices and viewports on the null device: projections against hand values
// (with a zero field of view or view taken as one unit), the display's extents as the fallback,
// instance matrices with the default depth terms, the screen projection with its one-pixel
// nudges, viewports, the camera's view, buffer clears, the default render states and the 3D
// set-up's light slots, gamma flag and shader levels.
#include "render/render_matrices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gpu_adapter.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "scene/camera_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

constexpr float kTolerance = 1e-5f;
constexpr int32_t kOne = 65536;

void SetIdentity(FixedMatrix* m) {
  *m = FixedMatrix{};
  for (int i = 0; i < 3; ++i) m->m[i][i] = kOne;
}

class RenderMatrices : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    previousDisplay_ = gDisplay;
    display_.horizontalExtent = kOne;
    display_.verticalExtent = 3 * kOne / 4;
    gDisplay = &display_;
    scene_.systemScale = 0.5f;
    SetIdentity(&camera_.instance.worldMatrix);
    camera_.viewRight = camera_.viewBottom = kOne;
    camera_.fieldOfView = 0x4000;
    SetIdentity(&instance_.worldMatrix);
    instance_.scale = FixedVector{kOne, 2 * kOne, kOne, 0};
    instance_.size = kOne;
    instance_.scene = &scene_;
  }
  void TearDown() override {
    FreeRenderGlobals();
    ReleaseVertexDeclarations();
    gDisplay = previousDisplay_;
    RenderWorld::TearDown();
  }
  std::vector<std::string> LogFrom(size_t first) {
    const auto& log = GpuNullLog();
    return std::vector<std::string>(log.begin() + static_cast<long>(std::min(first, log.size())), log.end());
  }

  EngineFixture engine_;
  DisplayObject display_{};
  DisplayObject* previousDisplay_ = nullptr;
  SceneRecord scene_{};
  CameraRecord camera_{};
  InstanceRecord instance_{};
  int drawObject_ = 0;  // any render data
};

TEST_F(RenderMatrices, ProjectionsAgainstHandValues) {
  struct Case {
    const char* what;
    float turns, width, height;
    float m00, m11;
  };
  const Case kCases[] = {
      {"90 degrees on 4:3", 16384 / 65536.0f, 1.0f, 0.75f, 1.0f, 1.0f / 0.75f},
      {"60 degrees", 1.0f / 6, 1.0f, 1.0f, 1.7320508f, 1.7320508f},
      {"wide screen", 0.25f, 1.3333333f, 0.75f, 0.75f, 1.3333333f},
      {"zero field of view: sine taken as one unit", 0.0f, 2.0f, 1.0f, 0.5f, 1.0f},
      {"zero view: one unit", 0.25f, 0.0f, 0.0f, 1.0f, 1.0f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const GpuMatrix m = ProjectionFromFov(c.turns, c.width, c.height);
    EXPECT_NEAR(m.m[0][0], c.m00, kTolerance);
    EXPECT_NEAR(m.m[1][1], c.m11, kTolerance);
    EXPECT_FLOAT_EQ(m.m[2][2], 1.000003f);
    EXPECT_FLOAT_EQ(m.m[3][2], -6.000018f);
    EXPECT_EQ(m.m[2][3], 1.0f);
    EXPECT_EQ(m.m[3][3], 0.0f);
    EXPECT_EQ(m.m[0][1], 0.0f);
    EXPECT_EQ(m.m[3][0], 0.0f);
  }
}

TEST_F(RenderMatrices, CameraUsesItsOwnExtentsOnlyWhenBothArePositive) {
  struct Case {
    int32_t width, height;
    float m00, m11;
  };
  const Case kCases[] = {
      {2 * kOne, kOne, 0.5f, 1.0f},
      {2 * kOne, 0, 1.0f, 1.0f / 0.75f},  // the display's extents for both
      {0, kOne, 1.0f, 1.0f / 0.75f},
      {-kOne, -kOne, 1.0f, 1.0f / 0.75f},
  };
  for (const Case& c : kCases) {
    camera_.aspectWidth = c.width;
    camera_.aspectHeight = c.height;
    const GpuMatrix m = CameraProjectionMatrix(&camera_);
    EXPECT_NEAR(m.m[0][0], c.m00, kTolerance) << c.width << "x" << c.height;
    EXPECT_NEAR(m.m[1][1], c.m11, kTolerance) << c.width << "x" << c.height;
  }
}

TEST_F(RenderMatrices, InstanceMatrixScalesByTheSceneAndRestoresTheDepthTerms) {
  ASSERT_EQ(InitRender3D(), 1);
  gRenderMatrices.projection->m[2][2] = 5.0f;
  gRenderMatrices.projection->m[3][2] = 7.0f;
  instance_.world = FixedVector{100, 200, 300, 0};
  // A quarter turn about z: the first axis points along y.
  instance_.worldMatrix.m[0][0] = 0;
  instance_.worldMatrix.m[0][1] = kOne;
  instance_.worldMatrix.m[1][0] = -kOne;
  instance_.worldMatrix.m[1][1] = 0;

  EXPECT_FALSE(InstBuildRenderMatrix(nullptr, &instance_, &camera_));
  ASSERT_TRUE(InstBuildRenderMatrix(&drawObject_, &instance_, &camera_));
  const GpuMatrix& world = *gRenderMatrices.world;
  EXPECT_FLOAT_EQ(world.m[0][1], 32768.0f);   // 1.0 x mul16(1.0, 1.0) x 0.5, positions not divided
  EXPECT_FLOAT_EQ(world.m[1][0], -65536.0f);  // the second axis is scaled by 2
  EXPECT_FLOAT_EQ(world.m[2][2], 32768.0f);
  EXPECT_FLOAT_EQ(world.m[3][0], 50.0f);
  EXPECT_FLOAT_EQ(world.m[3][1], 100.0f);
  EXPECT_FLOAT_EQ(world.m[3][2], 150.0f);
  EXPECT_EQ(world.m[3][3], 1.0f);
  EXPECT_FLOAT_EQ(gRenderMatrices.rotation->m[0][1], 1.0f);
  EXPECT_FLOAT_EQ(gRenderMatrices.projection->m[2][2], 1.000003f);
  EXPECT_FLOAT_EQ(gRenderMatrices.projection->m[3][2], -6.000018f);
}

TEST_F(RenderMatrices, WorldViewProjectionCombinesTheThreeInThatOrder) {
  camera_.instance.world = FixedVector{0, 0, -200, 0};  // 100 units behind the instance at scale 0.5
  GpuMatrix m{};
  InstWorldViewProjection(&m, &camera_, &instance_, 0.5f);
  EXPECT_FLOAT_EQ(m.m[0][0], 32768.0f);  // scale 1.0 x size 65536 (raw) x 0.5, then cot 45 degrees
  EXPECT_FLOAT_EQ(m.m[1][1], 2.0f * 32768.0f / 0.75f);
  EXPECT_FLOAT_EQ(m.m[2][3], 32768.0f);
  EXPECT_FLOAT_EQ(m.m[3][3], 100.0f);  // the view's depth reaches w
  EXPECT_FLOAT_EQ(m.m[3][2], 100.0f * 1.000003f - 6.000018f);

  instance_.flags2 = kInst2ScreenSpace | kInst2ScreenUniform;
  instance_.size = 3;
  instance_.position = FixedVector{10, 20, 0, 0};
  InstWorldViewProjection(&m, &camera_, &instance_, 0.5f);
  EXPECT_FLOAT_EQ(m.m[0][0], 3 * 2.0f / 64);
  EXPECT_FLOAT_EQ(m.m[3][0], (10 - 0.25f) * 2 / 64);
  EXPECT_EQ(m.m[2][2], 0.0f);
}

// The camera's scale factors stretch its scene around the camera along the rows of its scale
// orientation, before the camera's own turn: the dust camera's streaks along the flight.
TEST_F(RenderMatrices, CameraViewStretchesTheSceneAlongItsScaleOrientation) {
  const FixedMatrix turnedToX{{{0, 0, -kOne}, {0, kOne, 0}, {kOne, 0, 0}}};  // third row along +x
  FixedMatrix identity;
  SetIdentity(&identity);
  const FixedMatrix none{};
  const int32_t dustFactors[3] = {39321, 39321, 688128};  // 0.6, 0.6, 10.5 (the dust at speed 50050)
  const int32_t ones[3] = {kOne, kOne, kOne};
  struct Case {
    const char* name;
    const int32_t* factors;
    FixedMatrix orientation;
    FixedMatrix cameraTurn;
    FixedVector camera;
    float point[3];
    float expected[3];
  };
  const Case cases[] = {
      {"factors of 1.0 change nothing", ones, turnedToX, identity, {0, 0, 0, 0}, {30, 40, 10}, {30, 40, 10}},
      {"without a scale orientation nothing stretches", dustFactors, none, identity, {0, 0, 0, 0}, {30, 40, 10},
       {30, 40, 10}},
      {"along the identity orientation", dustFactors, identity, identity, {0, 0, 0, 0}, {30, 40, 10},
       {18, 24, 105}},
      {"along the third row of the orientation", dustFactors, turnedToX, identity, {0, 0, 0, 0}, {10, 0, 20},
       {105, 0, 12}},
      {"around the camera, not the origin", dustFactors, identity, identity, {100, 0, -200, 0}, {100, 0, -190},
       {0, 0, 105}},
      {"before the camera's turn", dustFactors, identity, turnedToX, {0, 0, 0, 0}, {0, 0, 10}, {-105, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::memcpy(camera_.factors, c.factors, sizeof camera_.factors);
    camera_.scaleOrientation = c.orientation;
    camera_.instance.worldMatrix = c.cameraTurn;
    camera_.instance.world = c.camera;
    const GpuMatrix m = CameraViewMatrix(&camera_, 1.0f);
    for (int i = 0; i < 3; ++i) {
      const float got = c.point[0] * m.m[0][i] + c.point[1] * m.m[1][i] + c.point[2] * m.m[2][i] + m.m[3][i];
      EXPECT_NEAR(got, c.expected[i], 1e-3f) << "component " << i;
    }
  }
}

TEST_F(RenderMatrices, ScreenSpaceInstancesProjectOntoTheViewportInPixels) {
  ASSERT_EQ(InitRender3D(), 1);
  instance_.position = FixedVector{10, 20, 0, 0};
  instance_.flags2 = kInst2ScreenSpace;
  // 64 x 64 back buffer, full viewport: W = H = 64.
  const float x = (10 - 0.25f) * 2 / 64, y = 2 * (-20 - 0.25f) / 64;
  struct Case {
    uint32_t flags2;
    float m30, m31;
  };
  const Case kCases[] = {
      {0, x, y},
      {kInst2ScreenLeft, x - 1, y},
      {kInst2ScreenRight, x + 1, y},
      {kInst2ScreenUp, x, y + 1},
      {kInst2ScreenDown, x, y - 1},
      {kInst2ScreenLeft | kInst2ScreenDown, x - 1, y - 1},
  };
  for (const Case& c : kCases) {
    instance_.flags2 = kInst2ScreenSpace | c.flags2;
    gRenderMatrices.projection->m[2][2] = 5.0f;
    ASSERT_TRUE(InstBuildRenderMatrix(&drawObject_, &instance_, &camera_));
    const GpuMatrix& p = *gRenderMatrices.screenProjection;
    EXPECT_FLOAT_EQ(p.m[3][0], c.m30) << std::hex << c.flags2;
    EXPECT_FLOAT_EQ(p.m[3][1], c.m31) << std::hex << c.flags2;
    EXPECT_FLOAT_EQ(p.m[0][0], 2.0f / 64);
    EXPECT_FLOAT_EQ(p.m[1][1], 2.0f / 64);
    EXPECT_EQ(p.m[2][2], 0.0f);
    EXPECT_EQ(p.m[3][2], 1.0f);
    EXPECT_EQ(gRenderMatrices.projection->m[2][2], 5.0f) << "the perspective projection stays";
    EXPECT_EQ(gRenderMatrices.view->m[3][2], 0.0f) << "identity view";
  }
  EXPECT_FLOAT_EQ(gRenderMatrices.world->m[1][1], 2.0f * kOne);  // rotation x mul16(scale, size)

  instance_.flags2 = kInst2ScreenSpace | kInst2ScreenUniform;
  camera_.viewRight = camera_.viewLeft;  // an empty viewport divides by one unit
  ASSERT_TRUE(InstBuildRenderMatrix(&drawObject_, &instance_, &camera_));
  EXPECT_FLOAT_EQ(gRenderMatrices.screenProjection->m[0][0], 2.0f);
  EXPECT_FLOAT_EQ(gRenderMatrices.world->m[1][1], static_cast<float>(kOne));
  EXPECT_FLOAT_EQ(gRenderMatrices.world->m[3][3], 1.0f);
}

TEST_F(RenderMatrices, ViewportsFollowTheRelativeRectangleAndTheCameraViewSetsThem) {
  camera_.viewLeft = kOne / 4;
  camera_.viewRight = 3 * kOne / 4;
  camera_.viewTop = kOne / 2;
  camera_.viewBottom = kOne;
  ASSERT_TRUE(ViewportCreate(&camera_));
  // A camera that kept its viewport gets it computed again, not replaced (the old one would leak).
  const DeviceViewport* first = camera_.viewport;
  ASSERT_TRUE(ViewportCreate(&camera_));
  EXPECT_EQ(camera_.viewport, first);
  const DeviceViewport& v = *camera_.viewport;
  EXPECT_EQ(v.x, 16u);
  EXPECT_EQ(v.width, 32u);
  EXPECT_EQ(v.y, 32u);
  EXPECT_EQ(v.height, 32u);
  EXPECT_EQ(v.maxZ, 1.0f);

  ASSERT_EQ(InitRender3D(), 1);
  camera_.fieldOfView = 0x2000;
  camera_.instance.world = FixedVector{100, -40, 8, 0};
  GpuNullClearLog();
  EXPECT_TRUE(CameraApplyView(&scene_, &camera_));
  EXPECT_EQ(GpuNullLog(), std::vector<std::string>{"SetViewport(16, 32, 32, 32, 0, 1)"});
  EXPECT_EQ(gRenderFieldOfView, 0x2000u);
  EXPECT_FLOAT_EQ(gRenderMatrices.view->m[3][0], -50.0f);
  EXPECT_FLOAT_EQ(gRenderMatrices.view->m[3][1], 20.0f);
  EXPECT_FLOAT_EQ(gRenderMatrices.view->m[3][2], -4.0f);
  EXPECT_EQ(gRenderMatrices.world->m[0][0], 1.0f);

  camera_.viewport->width = 0;  // the device refuses an empty viewport
  EXPECT_FALSE(CameraApplyView(&scene_, &camera_));

  // Edges that cross (right of left, bottom above top) give an empty viewport, not a wrapped size.
  camera_.viewLeft = kOne - 1;
  camera_.viewRight = INT32_MIN;
  camera_.viewTop = kOne / 2;
  camera_.viewBottom = 0;
  ViewportCompute(&camera_);
  EXPECT_EQ(camera_.viewport->width, 0u);
  EXPECT_EQ(camera_.viewport->height, 0u);
  ViewportFree(&camera_);
  EXPECT_EQ(camera_.viewport, nullptr);
}

TEST_F(RenderMatrices, ClearsFollowTheCameraFlagsAndTheSettings) {
  camera_.background[0] = 0x12;
  camera_.background[1] = 0x34;
  camera_.background[2] = 0x56;
  struct Case {
    uint32_t cameraFlags;
    uint32_t d3dFlags;
    const char* clear;  // null: no device call
  };
  const Case kCases[] = {
      {0x20, 0x600, nullptr},  // depth needs both 0x20 and 0x04
      {0x04, 0x600, nullptr},
      {0x800, 0x600, nullptr},
      {0x10, 0, "Clear(0, 0x1, 0x00123456, 1, 0)"},
      {0x24, 0x400, "Clear(0, 0x2, 0x00123456, 1, 0)"},
      {0x24, 0, nullptr},
      {0x834, 0x600, "Clear(0, 0x7, 0x00123456, 1, 0)"},
      {0x810, 0x200, "Clear(0, 0x5, 0x00123456, 1, 0)"},
  };
  for (const Case& c : kCases) {
    camera_.cameraFlags = c.cameraFlags;
    block_.d3dFlags = c.d3dFlags;
    GpuNullClearLog();
    EXPECT_TRUE(SceneClear(&camera_));
    const std::vector<std::string> expected = c.clear ? std::vector<std::string>{c.clear} : std::vector<std::string>{};
    EXPECT_EQ(GpuNullLog(), expected) << std::hex << c.cameraFlags << " " << c.d3dFlags;
  }
  // Without a depth buffer the device refuses a depth clear.
  ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), kGpuOk);
  camera_.cameraFlags = 0x24;
  block_.d3dFlags = 0x400;
  EXPECT_FALSE(SceneClear(&camera_));
}

TEST_F(RenderMatrices, DefaultStatesFollowTheCacheResetInTheirOrder) {
  ResetRenderStates();
  const std::vector<std::string> states = {
      "SetRenderState(27, 0)", "SetRenderState(206, 0)", "SetRenderState(171, 1)", "SetRenderState(209, 1)",
      "SetRenderState(25, 7)", "SetRenderState(24, 90)", "SetRenderState(137, 0)", "SetRenderState(141, 0)",
      "SetRenderState(168, 7)", "SetRenderState(22, 3)", "SetRenderState(15, 0)"};
  const auto& log = GpuNullLog();
  ASSERT_GT(log.size(), states.size());
  EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(states.size()), log.end()), states);
  for (size_t i = 0; i + states.size() < log.size(); ++i) EXPECT_EQ(log[i].rfind("SetTexture(", 0), 0u) << log[i];
}

TEST_F(RenderMatrices, WithoutADeviceTheSetUpStillMakesTheMatrices) {
  record_.device = nullptr;
  gRenderFieldOfView = 0x4000;
  ASSERT_EQ(InitRender3D(), 1);
  record_.device = device_;
  EXPECT_TRUE(GpuNullLog().empty());
  ASSERT_NE(gRenderMatrices.projection, nullptr);
  EXPECT_NEAR(gRenderMatrices.projection->m[1][1], 1.0f / 0.75f, kTolerance);
  EXPECT_EQ(gRenderMatrices.view->m[3][2], -7.0f);
  EXPECT_EQ(gRenderMatrices.world->m[2][2], 1.0f);
  EXPECT_EQ(gRenderMatrices.screenProjection->m[0][0], 0.0f);
  FreeRenderGlobals();
  EXPECT_EQ(gRenderMatrices.projection, nullptr);
}

// The 3D set-up on devices of several capabilities: light slots, the full-screen gamma flag,
// vertex-processing mode and shader levels.
TEST_F(RenderMatrices, SetUpReadsLightsGammaAndShaderLevelsFromTheCapabilities) {
  struct Case {
    const char* what;
    uint32_t behavior;
    uint32_t vs, ps;
    uint32_t maxLights;
    int32_t gammaBlock;
    int32_t mode;
    uint8_t vertexShaders;
    int32_t level;
    int32_t slots;
    bool gammaFlag;
    bool softwareToggled;
  };
  const uint32_t kHw = kGpuCreateHardwareVertexProcessing, kSw = kGpuCreateSoftwareVertexProcessing,
                 kMixed = kGpuCreateMixedVertexProcessing;
  const Case kCases[] = {
      {"ps 1.3", kHw, GpuVertexShaderVersion(1, 1), GpuPixelShaderVersion(1, 3), 8, 0, 1, 1, 10, 8, true, false},
      {"ps 1.4", kHw, GpuVertexShaderVersion(2, 0), GpuPixelShaderVersion(1, 4), 12, 0, 1, 1, 14, 8, true, false},
      {"ps 2.0", kHw, GpuVertexShaderVersion(2, 0), GpuPixelShaderVersion(2, 0), 3, 1, 1, 1, 20, 3, false, false},
      {"no pixel programs, vs 1.0", kHw, GpuVertexShaderVersion(1, 0), 0, 8, 0, 0, 0, 0, 8, true, false},
      {"software", kSw, GpuVertexShaderVersion(3, 0), GpuPixelShaderVersion(3, 0), 8, 0, 2, 1, 0, 8, true, false},
      {"mixed, vs 2.0", kMixed, GpuVertexShaderVersion(2, 0), GpuPixelShaderVersion(3, 0), 8, 0, 1, 1, 20, 8, true,
       false},
      {"mixed, vs 1.0", kMixed, GpuVertexShaderVersion(1, 0), GpuPixelShaderVersion(1, 1), 8, 0, 0, 0, 10, 8, true,
       true},
  };
  GpuDevice* own = device_;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    GpuAdapterModel model = GpuDefaultAdapterModel(1, false);
    model.caps.vertexShaderVersion = c.vs;
    model.caps.pixelShaderVersion = c.ps;
    model.caps.maxActiveLights = c.maxLights;
    GpuSetAdapterModels({model});
    GpuSystem* system = GpuCreateSystem(kGpuSdkVersion);
    ASSERT_NE(system, nullptr);
    GpuPresentParameters parameters = record_.presentParameters;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.windowed = 1;
    GpuDevice* device = nullptr;
    ASSERT_EQ(system->CreateDevice(0, kGpuDevTypeHal, nullptr, c.behavior, &parameters, &device), kGpuOk);
    record_.device = device;
    record_.gammaBlockWord = c.gammaBlock;
    block_.d3dFlags2 = 0;
    GpuNullClearLog();

    EXPECT_EQ(InitRender3D(), 1);
    EXPECT_EQ(record_.vertexProcessingMode, c.mode);
    EXPECT_EQ(record_.vertexShaders, c.vertexShaders);
    EXPECT_EQ(record_.pixelShaderLevel, c.level);
    EXPECT_EQ(engine_.engine().lightSlotCount, c.slots);
    EXPECT_EQ((block_.d3dFlags2 & kD3D2FullscreenGamma) != 0, c.gammaFlag);
    std::vector<std::string> lights, software;
    for (const std::string& line : GpuNullLog()) {
      if (line.rfind("LightEnable(", 0) == 0) lights.push_back(line);
      if (line.rfind("SetSoftwareVertexProcessing(", 0) == 0) software.push_back(line);
    }
    EXPECT_EQ(lights.size(), 9u);
    EXPECT_EQ(lights.back(), "LightEnable(8, 0)");
    const std::vector<std::string> toggled = {"SetSoftwareVertexProcessing(1)", "SetSoftwareVertexProcessing(0)"};
    const std::vector<std::string> resetOnly = {"SetSoftwareVertexProcessing(0)"};
    EXPECT_EQ(software, c.softwareToggled ? toggled : c.behavior == kMixed ? resetOnly : std::vector<std::string>{});

    ReleaseVertexDeclarations();
    record_.device = own;
    EXPECT_EQ(device->Release(), 0u);
    system->Release();
  }
}

}  // namespace
