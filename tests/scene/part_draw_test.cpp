// The per-part draw entry over an engine and a renderer on the null device: render data, hidden
// parts and the awaited body; the sun lights taken from the light slots; the projection depth
// terms the part is drawn with (the field-of-view near plane, its empty range, the star body).
#include "scene/part_draw.h"

#include <gtest/gtest.h>

#include "core/hash_table.h"
#include "render/body_meshes.h"
#include "render/part_depth.h"
#include "render/render_matrices.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

constexpr int32_t kBodyId = 7;

// A part whose section has no render parts: the drawing itself does nothing, so what the entry
// decides shows in its answer, the part's flags and the projection.
class PartDraw : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    ASSERT_TRUE(AllocBodyDataTable());
    part_.renderSection = &section_;
    part_.mesh = &mesh_;
    instance_.flags = 0x2;
    instance_.bodyId = -1;
    scene_.systemScale = 1.0f;
    camera_.instance.scene = &scene_;
    savedProjection_ = gRenderMatrices.projection;
    gRenderMatrices.projection = &projection_;
    for (LightSlot& slot : gEngine3D->lightSlots) slot.light = -1;
  }
  void TearDown() override {
    gRenderMatrices.projection = savedProjection_;
    HashRemove(engine_.engine().bodyCache, kBodyId + 1);
    FreeBodyDataTable();
    RenderWorld::TearDown();
  }
  bool Draw() { return DrawInstancePart(&part_, &instance_, &camera_); }

  EngineFixture engine_;
  BodyPart part_{};
  BodyMesh mesh_{};
  RenderSectionRecord section_{};
  InstanceRecord instance_{};
  CameraRecord camera_{};
  SceneRecord scene_{};
  BodyRecord body_{};
  GpuMatrix projection_{};
  GpuMatrix* savedProjection_ = nullptr;
};

TEST_F(PartDraw, RenderDataHiddenPartsAndTheAwaitedBody) {
  struct Case {
    const char* what;
    bool renderData;
    uint32_t flags;
    int32_t bodyId;
    bool cached;
    bool result;
    uint32_t flagsAfter;
  };
  const Case kCases[] = {
      {"no render data", false, 0, kBodyId, true, false, 0},
      {"hidden", true, kPartHidden, kBodyId, true, true, kPartHidden},
      {"awaiting without a body id", true, kPartAwaitsBody, -1, false, false, kPartAwaitsBody},
      {"awaiting a cached body", true, kPartAwaitsBody, kBodyId, true, true, 0},
      {"awaiting, then hidden", true, kPartAwaitsBody | kPartHidden, kBodyId, true, true, kPartHidden},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    part_.renderSection = c.renderData ? &section_ : nullptr;
    part_.flags = c.flags;
    instance_.bodyId = c.bodyId;
    HashRemove(engine_.engine().bodyCache, kBodyId + 1);
    if (c.cached) {
      ASSERT_TRUE(HashInsert(engine_.engine().bodyCache, kBodyId + 1, reinterpret_cast<HashValue>(&body_)));
    }
    EXPECT_EQ(Draw(), c.result);
    EXPECT_EQ(part_.flags, c.flagsAfter);
  }
}

TEST_F(PartDraw, SunLightsAreTheFirstTwoFarReachingLightsOfTheSlots) {
  InstanceRecord lights[5]{};
  lights[0].lightRange = 1000;                 // a lamp
  lights[1].lightRange = kSunLightRange;       // reaches like the sun
  lights[2].flags = 0x800000;                  // unlimited range
  lights[3].lightRange = kSunLightRange + 10;  // a third sun is left out
  for (int i = 0; i < 4; ++i) gEngine3D->activeLights[i] = &lights[i];
  gEngine3D->activeLights[4] = nullptr;
  struct Case {
    const char* what;
    int32_t slots[4];
    int32_t count;
    const InstanceRecord* first;
    const InstanceRecord* second;
  };
  const Case kCases[] = {
      {"in slot order", {0, 1, 2, 3}, 2, &lights[1], &lights[2]},
      {"slot order, not list order", {2, 0, 1, -1}, 2, &lights[2], &lights[1]},
      {"up to the first empty slot", {0, 1, -1, 2}, 1, &lights[1], nullptr},
      {"a slot past the list's end", {0, 4, 1, 2}, 0, nullptr, nullptr},
      {"no slots", {-1, 1, 2, 3}, 0, nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    for (int i = 0; i < 4; ++i) gEngine3D->lightSlots[i].light = c.slots[i];
    InstanceRecord* sun[2];
    EXPECT_EQ(FindSunLights(sun), c.count);
    EXPECT_EQ(sun[0], c.first);
    EXPECT_EQ(sun[1], c.second);
  }
  gEngine3D->activeLights[0] = nullptr;
}

TEST_F(PartDraw, ThePartIsDrawnWithItsCamerasDepthTerms) {
  const int32_t star = B3D_GetBodyID(kStarBackgroundBody);
  ASSERT_GE(star, 0);
  struct Case {
    const char* what;
    uint32_t cameraFlags;
    uint32_t fieldOfView;
    int32_t farDistance;
    int32_t bodyId;
    float scale, offset;
  };
  const float near81 = 1000.0f / (1000.0f - 81.0f);
  const Case kCases[] = {
      {"near from a narrow field of view", kCameraNearFromFov, 4096, 1000, -1, near81, -81.0f * near81},
      {"far before near keeps the defaults", kCameraNearFromFov, 4096, 50, -1, 1.000003f, -6.000018f},
      {"the star body", kCameraStarDepth, 0x4000, 0, star, 1.0000001f, -0.35000005f},
      {"another body under the star flag", kCameraStarDepth, 0x4000, 0, kBodyId, 1.000003f, -6.000018f},
      {"no depth flag", 0, 4096, 1000, star, 1.000003f, -6.000018f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    camera_.cameraFlags = c.cameraFlags;
    camera_.fieldOfView = c.fieldOfView;
    camera_.fog[kCameraFogEnd] = c.farDistance;
    instance_.bodyId = c.bodyId;
    projection_ = GpuMatrix{};
    EXPECT_TRUE(Draw());
    EXPECT_FLOAT_EQ(projection_.m[2][2], c.scale);
    EXPECT_FLOAT_EQ(projection_.m[3][2], c.offset);
  }
}

}  // namespace
