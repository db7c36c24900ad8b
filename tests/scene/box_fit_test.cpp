// Oriented box fitting: triangle moments and their zero-area rule, sums and covariance, the Jacobi
// eigen-solver and the 3x3 helpers.
#include "scene/box_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"

namespace {

using Matrix = float[3][3];

void ExpectMatrixNear(const float actual[3][3], const float expected[3][3], float tolerance, const char* what) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(actual[i][j], expected[i][j], tolerance) << what << " [" << i << "][" << j << "]";
  }
}

// The builder's moment array for the triangles, filled by FitTriangleMoments; what it wrote to
// stderr goes to `errors`.
std::vector<TriangleMoment> Fit(const std::vector<CollisionTriangle>& triangles, std::string* errors) {
  std::vector<TriangleMoment> moments(triangles.size());
  gTriangleMoments = moments.data();
  ::testing::internal::CaptureStderr();
  FitTriangleMoments(triangles.data(), static_cast<int32_t>(triangles.size()));
  *errors = ::testing::internal::GetCapturedStderr();
  gTriangleMoments = nullptr;
  return moments;
}

constexpr const char* kZeroAreaWarning = "----\nWarning!  Some triangles have zero area!\n----\n";

TEST(BoxFit, TriangleMomentOfARightTriangle) {
  const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  TriangleMoment m;
  ComputeTriangleMoment(a, b, c, &m);
  EXPECT_FLOAT_EQ(m.area, 0.5f);
  EXPECT_FLOAT_EQ(m.centroid[0], 0.33333334f);
  EXPECT_FLOAT_EQ(m.centroid[1], 0.33333334f);
  EXPECT_FLOAT_EQ(m.centroid[2], 0.0f);
  // (corner products + 9 m m^T) x area / 12: xx = (1 + 1) / 24, xy = (0 + 1) / 24, z terms 0.
  EXPECT_NEAR(m.matrix[0], 2.0f / 24, 1e-6);
  EXPECT_NEAR(m.matrix[4], 2.0f / 24, 1e-6);
  EXPECT_NEAR(m.matrix[1], 1.0f / 24, 1e-6);
  EXPECT_EQ(m.matrix[3], m.matrix[1]);
  EXPECT_EQ(m.matrix[8], 0.0f);
  EXPECT_EQ(m.matrix[2], 0.0f);
}

TEST(BoxFit, ZeroAreaTrianglesAreReportedAndTakeTheSmallestOtherArea) {
  const CollisionTriangle big = {1, {0, 0, 0}, {4, 0, 0}, {0, 4, 0}};    // area 8
  const CollisionTriangle small = {2, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};  // area 0.5
  const CollisionTriangle twice = {3, {1, 2, 3}, {1, 2, 3}, {5, 6, 7}};  // A = B
  const CollisionTriangle line = {4, {0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
  struct Case {
    const char* what;
    std::vector<CollisionTriangle> triangles;
    const char* errors;
    std::vector<float> areas;
  };
  const Case kCases[] = {
      {"no degenerate triangle", {big, small}, "", {8.0f, 0.5f}},
      {"A = B among others", {big, twice, small}, kZeroAreaWarning, {8.0f, 0.5f, 0.5f}},
      {"every triangle degenerate", {twice, line}, kZeroAreaWarning, {1.0f, 1.0f}},
  };
  for (const Case& c : kCases) {
    std::string errors;
    const std::vector<TriangleMoment> moments = Fit(c.triangles, &errors);
    EXPECT_EQ(errors, c.errors) << c.what;
    for (size_t i = 0; i < c.areas.size(); ++i) EXPECT_FLOAT_EQ(moments[i].area, c.areas[i]) << c.what << " " << i;
  }
  // The degenerate triangle keeps its unweighted corner products.
  std::string errors;
  const std::vector<TriangleMoment> moments = Fit({big, twice}, &errors);
  EXPECT_FLOAT_EQ(moments[1].matrix[0], 1 + 1 + 25.0f);
  EXPECT_FLOAT_EQ(moments[1].matrix[5], 2 * 3 + 2 * 3 + 6 * 7.0f);

  // No triangles: nothing is written, not even the array.
  TriangleMoment untouched = {7.0f, {}, {}};
  gTriangleMoments = &untouched;
  FitTriangleMoments(&big, 0);
  gTriangleMoments = nullptr;
  EXPECT_EQ(untouched.area, 7.0f);
}

TEST(BoxFit, SummedMomentsGiveTheCovarianceOfTheTriangles) {
  // Two triangles; the sum of a listed subset equals accumulating them by hand.
  const std::vector<CollisionTriangle> triangles = {
      {1, {0, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {2, {5, 5, 5}, {6, 5, 5}, {5, 7, 6}}, {3, {1, 1, 1}, {3, 1, 1}, {1, 3, 2}}};
  std::string errors;
  std::vector<TriangleMoment> moments = Fit(triangles, &errors);
  gTriangleMoments = moments.data();
  const int32_t list[2] = {0, 2};
  TriangleMoment sum;
  SumMoments(list, 2, &sum);
  TriangleMoment byHand = {};
  AccumulateMoment(&byHand, &moments[0]);
  AccumulateMoment(&byHand, &moments[2]);
  gTriangleMoments = nullptr;
  EXPECT_FLOAT_EQ(sum.area, moments[0].area + moments[2].area);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(sum.centroid[i], moments[0].centroid[i] * moments[0].area + moments[2].centroid[i] * moments[2].area);
  }
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(sum.matrix[i], byHand.matrix[i]) << i;

  float covariance[3][3];
  CovarianceFromMoments(&sum, covariance);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_FLOAT_EQ(covariance[i][j], sum.matrix[i * 3 + j] - (1.0f / sum.area) * sum.centroid[i] * sum.centroid[j]);
    }
  }
}

TEST(BoxFit, DiagonalMatricesNeedNoSweep) {
  const float kDiagonals[][3] = {{3, 1, 2}, {0, 0, 0}, {-1, 5, 5}};
  for (const auto& diagonal : kDiagonals) {
    float a[3][3] = {{diagonal[0], 0, 0}, {0, diagonal[1], 0}, {0, 0, diagonal[2]}};
    float v[3][3], d[3];
    EXPECT_EQ(JacobiEigen3(a, v, d), 0);
    const Matrix identity = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    ExpectMatrixNear(v, identity, 0.0f, "V");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d[i], diagonal[i]);
  }
}

TEST(BoxFit, JacobiEigenvectorsRebuildRandomSymmetricMatrices) {
  GameSrand(26);
  const auto draw = [] { return (GameRand() % 2001 - 1000) / 100.0f; };
  for (int n = 0; n < 20; ++n) {
    Matrix input;
    for (int i = 0; i < 3; ++i) {
      for (int j = i; j < 3; ++j) input[i][j] = input[j][i] = draw();
    }
    Matrix a;
    std::memcpy(a, input, sizeof a);
    float v[3][3], d[3];
    const int32_t sweeps = JacobiEigen3(a, v, d);
    EXPECT_GT(sweeps, 0);
    EXPECT_LT(sweeps, kJacobiMaxSweeps);
    // V diag(d) V^T is the input, and V is orthonormal.
    Matrix rebuilt, orthogonal;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        rebuilt[i][j] = v[i][0] * d[0] * v[j][0] + v[i][1] * d[1] * v[j][1] + v[i][2] * d[2] * v[j][2];
        orthogonal[i][j] = v[0][i] * v[0][j] + v[1][i] * v[1][j] + v[2][i] * v[2][j];
      }
    }
    ExpectMatrixNear(rebuilt, input, 1e-4f, "V diag(d) V^T");
    const Matrix identity = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    ExpectMatrixNear(orthogonal, identity, 1e-5f, "V^T V");
  }
}

TEST(BoxFit, AMatrixThatNeverConvergesLeavesTheOutputsUntouched) {
  float a[3][3] = {{1, NAN, 2}, {NAN, 1, 0.5f}, {2, 0.5f, 3}};
  float v[3][3] = {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}};
  float d[3] = {9, 9, 9};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(JacobiEigen3(a, v, d), kJacobiMaxSweeps);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "eigen: too many iterations in Jacobi transform (50).\n");
  for (const auto& row : v) {
    for (float x : row) EXPECT_EQ(x, 7.0f);
  }
  for (float x : d) EXPECT_EQ(x, 9.0f);
}

TEST(BoxFit, TheBoxAxesOfALongStripFollowIt) {
  // A strip of thin triangles along (1, 1, 0): its covariance's largest eigenvector points along it.
  std::vector<CollisionTriangle> strip;
  for (int k = 0; k < 10; ++k) {
    const float s = static_cast<float>(k);
    strip.push_back({k, {s, s, 0}, {s + 1, s + 1, 0}, {s, s, 0.1f}});
  }
  std::string errors;
  std::vector<TriangleMoment> moments = Fit(strip, &errors);
  EXPECT_EQ(errors, "");
  gTriangleMoments = moments.data();
  std::vector<int32_t> all(strip.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
  TriangleMoment sum;
  SumMoments(all.data(), static_cast<int32_t>(all.size()), &sum);
  gTriangleMoments = nullptr;
  float covariance[3][3], v[3][3], d[3];
  CovarianceFromMoments(&sum, covariance);
  ASSERT_LT(JacobiEigen3(covariance, v, d), kJacobiMaxSweeps);
  int largest = 0;
  for (int k = 1; k < 3; ++k) {
    if (d[k] > d[largest]) largest = k;
  }
  EXPECT_NEAR(std::fabs(v[0][largest]), std::sqrt(0.5f), 1e-3);
  EXPECT_NEAR(std::fabs(v[1][largest]), std::sqrt(0.5f), 1e-3);
  EXPECT_NEAR(v[2][largest], 0.0f, 1e-3);
}

TEST(BoxFit, SmallMatrixHelpers) {
  const Matrix a = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
  const Matrix b = {{2, 0, 1}, {1, 3, 0}, {0, 1, 4}};
  Matrix out;
  MatMul3(a, b, out);
  const Matrix btA = {{6, 9, 12}, {19, 23, 28}, {29, 34, 43}};  // B^T A
  ExpectMatrixNear(out, btA, 0.0f, "MatMul3");
  MatProduct3(a, b, out);
  const Matrix bA = {{9, 12, 16}, {13, 17, 21}, {32, 37, 46}};  // B A
  ExpectMatrixNear(out, bA, 0.0f, "MatProduct3");
  // The output may be an input.
  Matrix inPlace = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
  MatProduct3(inPlace, b, inPlace);
  ExpectMatrixNear(inPlace, bA, 0.0f, "MatProduct3 in place");

  const float x[3] = {1, -1, 2};
  const float t[3] = {10, 20, 30};
  struct Case {
    const char* what;
    float expected[3];
  };
  float r[4][3];
  MatTransposeMulVec(x, a, r[0]);
  MatTransposeMulVecScaled(x, a, r[1], 0.5f);
  MatMulVecScaledAdd(x, t, 2.0f, a, r[2]);
  const float e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0};
  CrossProduct(e1, e2, r[3]);
  const Case kCases[] = {
      {"A^T x", {11, 13, 17}},
      {"0.5 A^T x", {5.5f, 6.5f, 8.5f}},
      {"2 A x + t", {20, 42, 68}},
      {"CrossProduct((1,0,0), (0,1,0)) = b x a", {0, 0, -1}},
  };
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r[k][i], kCases[k].expected[i]) << kCases[k].what << " " << i;
  }
}

}  // namespace
