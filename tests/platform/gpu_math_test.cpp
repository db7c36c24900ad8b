// Vector and matrix helpers in the row-vector convention: cube-face views look along their
// face with the table's up vector, an inverse undoes its matrix, projection lands points in
// viewport pixels.
#include "platform/gpu_math.h"

#include <gtest/gtest.h>

namespace {

GpuVector4 Apply(const GpuVector3& v, const GpuMatrix& m) {
  GpuVector4 out;
  GpuxVec3Transform(&out, &v, &m);
  return out;
}

TEST(GpuMath, CubeFaceViewsLookAlongTheirFaceWithTheirUpVector) {
  struct Case {
    GpuVector3 at, up;
  };
  const Case kCases[] = {
      {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
      {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
  };
  const GpuVector3 eye{0, 0, 0};
  for (const Case& c : kCases) {
    GpuMatrix m;
    GpuxMatrixLookAtLH(&m, &eye, &c.at, &c.up);
    GpuVector4 look = Apply(c.at, m), up = Apply(c.up, m);
    EXPECT_NEAR(look.x, 0, 1e-6);
    EXPECT_NEAR(look.y, 0, 1e-6);
    EXPECT_NEAR(look.z, 1, 1e-6);
    EXPECT_NEAR(up.x, 0, 1e-6);
    EXPECT_NEAR(up.y, 1, 1e-6);
    EXPECT_NEAR(up.z, 0, 1e-6);
    EXPECT_EQ(m.m[3][0], 0.0f);
    EXPECT_EQ(m.m[3][3], 1.0f);
  }
  // The +X face written out: right is -Z, up is +Y, forward is +X.
  GpuMatrix plusX;
  const GpuVector3 at{1, 0, 0}, up{0, 1, 0};
  GpuxMatrixLookAtLH(&plusX, &eye, &at, &up);
  const GpuMatrix expected{{{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(plusX.m[r][c], expected.m[r][c], 1e-6) << r << "," << c;
}

TEST(GpuMath, InverseTimesMatrixIsTheIdentity) {
  GpuMatrix view;
  const GpuVector3 eye{3, -2, 7}, at{0.5f, 1, -4}, up{0, 1, 0};
  GpuxMatrixLookAtLH(&view, &eye, &at, &up);
  const GpuMatrix kCases[] = {
      view,
      {{{2, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 4, 1}, {10, -3, 2, 0}}},
      {{{1, 2, 3, 4}, {0, 1, 4, 2}, {5, 6, 0, 1}, {1, 0, 1, 2}}},
  };
  for (const GpuMatrix& m : kCases) {
    GpuMatrix inverse, product;
    ASSERT_NE(GpuxMatrixInverse(&inverse, nullptr, &m), nullptr);
    GpuxMatrixMultiply(&product, &inverse, &m);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1 : 0, 1e-5) << r << "," << c;
  }
  const GpuMatrix singular{{{1, 2, 3, 4}, {2, 4, 6, 8}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  GpuMatrix untouched = singular, out = singular;
  EXPECT_EQ(GpuxMatrixInverse(&out, nullptr, &singular), nullptr);
  EXPECT_EQ(out.m[1][0], untouched.m[1][0]);
}

TEST(GpuMath, TransposeSwapsRowsAndColumnsAndMultiplyAppliesLeftFirst) {
  GpuMatrix translate, scale, both, t;
  GpuxMatrixIdentity(&translate);
  translate.m[3][0] = 5;
  GpuxMatrixIdentity(&scale);
  scale.m[0][0] = 2;
  GpuxMatrixMultiply(&both, &translate, &scale);  // translate, then scale
  EXPECT_FLOAT_EQ(Apply({1, 0, 0}, both).x, 12.0f);
  GpuxMatrixTranspose(&t, &both);
  EXPECT_FLOAT_EQ(t.m[0][3], 10.0f);
  EXPECT_FLOAT_EQ(t.m[3][0], 0.0f);
}

TEST(GpuMath, ProjectPutsAPointIntoViewportPixels) {
  const GpuViewport viewport{10, 20, 640, 480, 0.0f, 1.0f};
  // Identity transforms: normalised coordinates straight into the viewport, y downwards.
  GpuVector3 out;
  const GpuVector3 point{0.5f, 0.5f, 0.25f};
  GpuxVec3Project(&out, &point, &viewport, nullptr, nullptr, nullptr);
  EXPECT_FLOAT_EQ(out.x, 10 + 480.0f);
  EXPECT_FLOAT_EQ(out.y, 20 + 120.0f);
  EXPECT_FLOAT_EQ(out.z, 0.25f);
  // A perspective divide by depth, after a world translation of 2 along z.
  GpuMatrix projection{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0.5f, 1}, {0, 0, 0, 0}}}, world;
  GpuxMatrixIdentity(&world);
  world.m[3][2] = 2;
  const GpuVector3 far{1, -1, 2};
  GpuxVec3Project(&out, &far, &viewport, &projection, nullptr, &world);
  EXPECT_FLOAT_EQ(out.x, 10 + (1 + 0.25f) * 320);
  EXPECT_FLOAT_EQ(out.y, 20 + (1 + 0.25f) * 240);
  EXPECT_FLOAT_EQ(out.z, 0.5f);
}

TEST(GpuMath, NormalizeKeepsTheZeroVector) {
  GpuVector3 v{3, 0, 4}, out;
  GpuxVec3Normalize(&out, &v);
  EXPECT_FLOAT_EQ(out.x, 0.6f);
  EXPECT_FLOAT_EQ(out.z, 0.8f);
  const GpuVector3 zero{0, 0, 0};
  GpuxVec3Normalize(&out, &zero);
  EXPECT_EQ(out.x, 0.0f);
}

}  // namespace
