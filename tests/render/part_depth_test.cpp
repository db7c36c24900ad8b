// Depth terms of drawn parts: the near plane from the field of view, the far plane's limit, the
// star background's terms, and the defaults when the range is empty or no flag asks.
#include "render/part_depth.h"

#include <gtest/gtest.h>

#include "render/render_matrices.h"

namespace {

TEST(PartDepth, TermsFollowTheCameraFlagsAndFieldOfView) {
  struct Case {
    const char* name;
    uint32_t flags;
    uint32_t fov;
    uint32_t farDistance;
    float sceneScale;
    bool starBody;
    float nearPlane;  // 0: expect `scale` and `offset` as given
    float farPlane;
    float scale, offset;
  };
  const Case kCases[] = {
      {"fov 4096 gives near 81", kCameraNearFromFov, 4096, 10000, 1.0f, false, 81.0f, 10000.0f, 0, 0},
      {"wide fov keeps near 6", kCameraNearFromFov, 16384, 10000, 1.0f, false, 6.0f, 10000.0f, 0, 0},
      {"far scaled by the scene", kCameraNearFromFov, 16384, 1000, 0.5f, false, 6.0f, 500.0f, 0, 0},
      {"far at most 2,000,000", kCameraNearFromFov, 16384, 0xFFFFFFFF, 1.0f, false, 6.0f, 2000000.0f, 0, 0},
      {"far before near keeps the defaults", kCameraNearFromFov, 4096, 50, 1.0f, false, 0, 0, kProjectionDepthScale,
       kProjectionDepthOffset},
      {"far equal to near keeps the defaults", kCameraNearFromFov, 16384, 6, 1.0f, false, 0, 0,
       kProjectionDepthScale, kProjectionDepthOffset},
      {"star body", kCameraStarDepth, 16384, 0, 1.0f, true, 0, 0, 1.0000001f, -0.35000005f},
      {"star flag, other body", kCameraStarDepth, 16384, 0, 1.0f, false, 0, 0, kProjectionDepthScale,
       kProjectionDepthOffset},
      {"star body without the flag", 0, 16384, 0, 1.0f, true, 0, 0, kProjectionDepthScale, kProjectionDepthOffset},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const DepthTerms t = PartDepthTerms(c.flags, c.fov, c.farDistance, c.sceneScale, c.starBody);
    if (c.nearPlane > 0) {
      const float scale = c.farPlane / (c.farPlane - c.nearPlane);
      EXPECT_FLOAT_EQ(t.scale, scale);
      EXPECT_FLOAT_EQ(t.offset, -c.nearPlane * scale);
    } else {
      EXPECT_FLOAT_EQ(t.scale, c.scale);
      EXPECT_FLOAT_EQ(t.offset, c.offset);
    }
  }
}

}  // namespace
