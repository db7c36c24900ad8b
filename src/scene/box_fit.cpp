// Oriented box fitting: triangle area moments, their sums and covariance, the cyclic Jacobi
// eigen-solver for symmetric 3x3 matrices and the 3x3 helpers the box-tree builder places its
// boxes with. Called by the collision model builder; writes only to the outputs it is given, the
// builder's moment array and stderr. Every value is a 32-bit float, as the stored box trees and
// their collision answers depend on the float rounding of each step.
#include "scene/box_fit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

TriangleMoment* gTriangleMoments = nullptr;

// The float constants of the moment formulas: a third, a twelfth, and the Jacobi threshold
// fraction 0.2 / 9 of the off-diagonal sum for the first sweeps.
constexpr float kThird = 0.33333334f;
constexpr float kTwelfth = 0.083333336f;
constexpr float kThresholdFraction = 0.022222222f;
// Sweeps that use the threshold; from the sweep after kSmallRotationSweep on, off-diagonal
// elements too small to change either diagonal element are set to zero instead of rotated.
constexpr int32_t kThresholdSweeps = 3;
constexpr int32_t kSmallRotationSweep = 3;

// ---------------------------------------------------------------------------------------------
// Moments.

void ComputeTriangleMoment(const float a[3], const float b[3], const float c[3], TriangleMoment* out) {
  const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
  const float area = 0.5f * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  out->area = area;
  for (int i = 0; i < 3; ++i) out->centroid[i] = (a[i] + b[i] + c[i]) * kThird;
  const float* m = out->centroid;
  for (int i = 0; i < 3; ++i) {
    for (int j = i; j < 3; ++j) {
      const float corners = a[i] * a[j] + b[i] * b[j] + c[i] * c[j];
      // A triangle without area keeps its plain corner products; its area is replaced later.
      out->matrix[i * 3 + j] = area == 0.0f ? corners : (corners + 9.0f * m[i] * m[j]) * area * kTwelfth;
    }
  }
  out->matrix[3] = out->matrix[1];
  out->matrix[6] = out->matrix[2];
  out->matrix[7] = out->matrix[5];
}

void FitTriangleMoments(const CollisionTriangle* triangles, int32_t count) {
  if (count < 1 || !triangles || !gTriangleMoments) return;
  bool someZero = false;
  float smallest = 0.0f;  // the smallest area above 0; 0 while none was seen
  for (int32_t i = 0; i < count; ++i) {
    TriangleMoment* moment = &gTriangleMoments[i];
    ComputeTriangleMoment(triangles[i].a, triangles[i].b, triangles[i].c, moment);
    if (moment->area == 0.0f) {
      someZero = true;
    } else if (smallest == 0.0f || moment->area < smallest) {
      smallest = moment->area;
    }
  }
  if (!someZero) return;
  std::fputs("----\n", stderr);
  std::fputs("Warning!  Some triangles have zero area!\n", stderr);
  std::fputs("----\n", stderr);
  // A positive area for every triangle keeps the covariance's division by the total area defined.
  const float replacement = smallest != 0.0f ? smallest : 1.0f;
  for (int32_t i = 0; i < count; ++i) {
    if (gTriangleMoments[i].area == 0.0f) gTriangleMoments[i].area = replacement;
  }
}

void AccumulateMoment(TriangleMoment* sum, const TriangleMoment* m) {
  for (int i = 0; i < 3; ++i) sum->centroid[i] += m->centroid[i] * m->area;
  for (int i = 0; i < 9; ++i) sum->matrix[i] += m->matrix[i];
  sum->area += m->area;
}

void SumMoments(const int32_t* indices, int32_t count, TriangleMoment* out) {
  std::memset(out, 0, sizeof *out);
  if (!indices || !gTriangleMoments) return;
  for (int32_t i = 0; i < count; ++i) AccumulateMoment(out, &gTriangleMoments[indices[i]]);
}

void CovarianceFromMoments(const TriangleMoment* sum, float out[3][3]) {
  const float inverseArea = 1.0f / sum->area;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out[i][j] = sum->matrix[i * 3 + j] - inverseArea * sum->centroid[i] * sum->centroid[j];
  }
}

// ---------------------------------------------------------------------------------------------
// Jacobi.

// One plane rotation of the pair (x, y) by the sine s and tau = s / (1 + cos).
static void Rotate(float* x, float* y, float s, float tau) {
  const float g = *x;
  const float h = *y;
  *x = g - s * (h + g * tau);
  *y = h + s * (g - h * tau);
}

int32_t JacobiEigen3(float a[3][3], float v[3][3], float d[3]) {
  float vectors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  float values[3];
  float b[3];
  float z[3] = {0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 3; ++i) b[i] = values[i] = a[i][i];

  for (int32_t sweep = 0; sweep < kJacobiMaxSweeps; ++sweep) {
    const float sm = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
    if (sm == 0.0f) {
      std::memcpy(v, vectors, sizeof vectors);
      std::memcpy(d, values, sizeof values);
      return sweep;
    }
    const float threshold = sweep < kThresholdSweeps ? kThresholdFraction * sm : 0.0f;
    for (int p = 0; p < 2; ++p) {
      for (int q = p + 1; q < 3; ++q) {
        const float g = 100.0f * std::fabs(a[p][q]);
        const float dp = std::fabs(values[p]);
        const float dq = std::fabs(values[q]);
        if (sweep > kSmallRotationSweep && dp + g == dp && dq + g == dq) {
          a[p][q] = 0.0f;
          continue;
        }
        if (!(std::fabs(a[p][q]) > threshold)) continue;
        float h = values[q] - values[p];
        float t;
        if (std::fabs(h) + g == std::fabs(h)) {
          t = a[p][q] / h;
        } else {
          const float theta = 0.5f * h / a[p][q];
          t = 1.0f / (std::fabs(theta) + std::sqrt(1.0f + theta * theta));
          if (theta < 0.0f) t = -t;
        }
        const float c = 1.0f / std::sqrt(1.0f + t * t);
        const float s = t * c;
        const float tau = s / (1.0f + c);
        h = t * a[p][q];
        z[p] -= h;
        z[q] += h;
        values[p] -= h;
        values[q] += h;
        a[p][q] = 0.0f;
        // Only the upper triangle takes part: each element is addressed as (row < column).
        for (int j = 0; j < p; ++j) Rotate(&a[j][p], &a[j][q], s, tau);
        for (int j = p + 1; j < q; ++j) Rotate(&a[p][j], &a[j][q], s, tau);
        for (int j = q + 1; j < 3; ++j) Rotate(&a[p][j], &a[q][j], s, tau);
        for (int j = 0; j < 3; ++j) Rotate(&vectors[j][p], &vectors[j][q], s, tau);
      }
    }
    for (int i = 0; i < 3; ++i) {
      b[i] += z[i];
      values[i] = b[i];
      z[i] = 0.0f;
    }
  }
  std::fprintf(stderr, "eigen: too many iterations in Jacobi transform (%d).\n", static_cast<int>(kJacobiMaxSweeps));
  return kJacobiMaxSweeps;
}

// ---------------------------------------------------------------------------------------------
// 3x3 helpers. Each result is built apart and then stored, so an output may be an input too.

void MatMul3(const float a[3][3], const float b[3][3], float out[3][3]) {
  float r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = b[0][i] * a[0][j] + b[1][i] * a[1][j] + b[2][i] * a[2][j];
  }
  std::memcpy(out, r, sizeof r);
}

void MatProduct3(const float a[3][3], const float b[3][3], float out[3][3]) {
  float r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j];
  }
  std::memcpy(out, r, sizeof r);
}

void MatTransposeMulVec(const float x[3], const float a[3][3], float out[3]) {
  MatTransposeMulVecScaled(x, a, out, 1.0f);
}

void MatTransposeMulVecScaled(const float x[3], const float a[3][3], float out[3], float s) {
  float r[3];
  for (int i = 0; i < 3; ++i) r[i] = s * (a[0][i] * x[0] + a[1][i] * x[1] + a[2][i] * x[2]);
  std::memcpy(out, r, sizeof r);
}

void MatMulVecScaledAdd(const float x[3], const float t[3], float s, const float a[3][3], float out[3]) {
  float r[3];
  for (int i = 0; i < 3; ++i) r[i] = s * (a[i][0] * x[0] + a[i][1] * x[1] + a[i][2] * x[2]) + t[i];
  std::memcpy(out, r, sizeof r);
}

void CrossProduct(const float a[3], const float b[3], float out[3]) {
  const float r[3] = {b[1] * a[2] - b[2] * a[1], b[2] * a[0] - b[0] * a[2], b[0] * a[1] - b[1] * a[0]};
  std::memcpy(out, r, sizeof r);
}
