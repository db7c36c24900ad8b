// Oriented box fitting for the collision box trees: the area moments of triangles, their sums and
// covariance, the eigenvectors of a symmetric 3x3 matrix by the cyclic Jacobi method, and the
// small 3x3 float operations that place the boxes. Called by the collision model builder, which
// owns the moment array. All arithmetic is 32-bit float; nothing here allocates.
#pragma once

#include <cstdint>

#include "scene/collision_model.h"

// The area moment of one triangle: its area, its centroid and its second moments (row-major,
// symmetric; weighted by the area unless the area is 0).
struct TriangleMoment {
  float area;
  float centroid[3];
  float matrix[9];
};
static_assert(sizeof(TriangleMoment) == 13 * sizeof(float));

// The builder's moment array: one record per triangle of the model, in triangle order.
// FitTriangleMoments fills it and SumMoments reads it; the builder allocates and frees it.
extern TriangleMoment* gTriangleMoments;

// Sweeps the Jacobi method makes before it gives up.
constexpr int32_t kJacobiMaxSweeps = 50;

void ComputeTriangleMoment(const float a[3], const float b[3], const float c[3], TriangleMoment* out);
// Fills the moment array for `count` triangles (nothing for count < 1). Triangles of area 0 are
// reported on stderr and take the smallest other area, or 1.0 when every area is 0.
void FitTriangleMoments(const CollisionTriangle* triangles, int32_t count);
// out = the sum of the moments of the listed triangles.
void SumMoments(const int32_t* indices, int32_t count, TriangleMoment* out);
void AccumulateMoment(TriangleMoment* sum, const TriangleMoment* m);
void CovarianceFromMoments(const TriangleMoment* sum, float out[3][3]);

// Eigenvectors (the columns of v) and eigenvalues (d, unsorted) of the symmetric matrix a, of which
// only the diagonal and the upper triangle are read; the upper triangle is overwritten. Returns
// the sweeps used; after kJacobiMaxSweeps sweeps without convergence it reports on stderr and
// returns kJacobiMaxSweeps with v and d untouched.
int32_t JacobiEigen3(float a[3][3], float v[3][3], float d[3]);

// out = B^T A; out = B A.
void MatMul3(const float a[3][3], const float b[3][3], float out[3][3]);
void MatProduct3(const float a[3][3], const float b[3][3], float out[3][3]);
// out = A^T x; out = s A^T x; out = s A x + t.
void MatTransposeMulVec(const float x[3], const float a[3][3], float out[3]);
void MatTransposeMulVecScaled(const float x[3], const float a[3][3], float out[3], float s);
void MatMulVecScaledAdd(const float x[3], const float t[3], float s, const float a[3][3], float out[3]);
// out = b x a.
void CrossProduct(const float a[3], const float b[3], float out[3]);
