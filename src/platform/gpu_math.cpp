// Vector and matrix arithmetic for the renderer, row-vector convention.
#include "platform/gpu_math.h"

#include <cmath>
#include <utility>

namespace {

float Dot(const GpuVector3& a, const GpuVector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

GpuVector3 Cross(const GpuVector3& a, const GpuVector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

GpuVector3* GpuxVec3Normalize(GpuVector3* out, const GpuVector3* v) {
  float length = std::sqrt(Dot(*v, *v));
  *out = length > 0.0f ? GpuVector3{v->x / length, v->y / length, v->z / length} : GpuVector3{0, 0, 0};
  return out;
}

GpuVector4* GpuxVec3Transform(GpuVector4* out, const GpuVector3* v, const GpuMatrix* m) {
  float in[4] = {v->x, v->y, v->z, 1.0f};
  float r[4];
  for (int c = 0; c < 4; ++c) r[c] = in[0] * m->m[0][c] + in[1] * m->m[1][c] + in[2] * m->m[2][c] + in[3] * m->m[3][c];
  *out = GpuVector4{r[0], r[1], r[2], r[3]};
  return out;
}

GpuVector3* GpuxVec3Project(GpuVector3* out, const GpuVector3* v, const GpuViewport* viewport,
                            const GpuMatrix* projection, const GpuMatrix* view, const GpuMatrix* world) {
  GpuMatrix m;
  GpuxMatrixIdentity(&m);
  if (world) GpuxMatrixMultiply(&m, &m, world);
  if (view) GpuxMatrixMultiply(&m, &m, view);
  if (projection) GpuxMatrixMultiply(&m, &m, projection);
  GpuVector4 clip;
  GpuxVec3Transform(&clip, v, &m);
  float w = clip.w != 0.0f ? clip.w : 1.0f;
  GpuVector3 ndc{clip.x / w, clip.y / w, clip.z / w};
  if (viewport) {
    *out = GpuVector3{viewport->x + (1.0f + ndc.x) * 0.5f * viewport->width,
                      viewport->y + (1.0f - ndc.y) * 0.5f * viewport->height,
                      viewport->minZ + ndc.z * (viewport->maxZ - viewport->minZ)};
  } else {
    *out = ndc;
  }
  return out;
}

GpuMatrix* GpuxMatrixIdentity(GpuMatrix* out) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  return out;
}

GpuMatrix* GpuxMatrixLookAtLH(GpuMatrix* out, const GpuVector3* eye, const GpuVector3* at, const GpuVector3* up) {
  GpuVector3 z{at->x - eye->x, at->y - eye->y, at->z - eye->z};
  GpuxVec3Normalize(&z, &z);
  GpuVector3 x = Cross(*up, z);
  GpuxVec3Normalize(&x, &x);
  GpuVector3 y = Cross(z, x);
  *out = GpuMatrix{{{x.x, y.x, z.x, 0.0f},
                    {x.y, y.y, z.y, 0.0f},
                    {x.z, y.z, z.z, 0.0f},
                    {-Dot(x, *eye), -Dot(y, *eye), -Dot(z, *eye), 1.0f}}};
  return out;
}

GpuMatrix* GpuxMatrixMultiply(GpuMatrix* out, const GpuMatrix* a, const GpuMatrix* b) {
  GpuMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
  *out = r;
  return out;
}

GpuMatrix* GpuxMatrixTranspose(GpuMatrix* out, const GpuMatrix* m) {
  GpuMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
  *out = r;
  return out;
}

GpuMatrix* GpuxMatrixInverse(GpuMatrix* out, float* determinant, const GpuMatrix* m) {
  // Gauss-Jordan elimination with partial pivoting, in double for the small determinants of
  // view and projection products.
  double a[4][8];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m->m[i][j];
      a[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  double det = 1.0;
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (a[pivot][col] == 0.0) return nullptr;
    if (pivot != col) {
      for (int j = 0; j < 8; ++j) std::swap(a[pivot][j], a[col][j]);
      det = -det;
    }
    double p = a[col][col];
    det *= p;
    for (int j = 0; j < 8; ++j) a[col][j] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      double f = a[r][col];
      for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
    }
  }
  if (!std::isfinite(det) || det == 0.0) return nullptr;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) out->m[i][j] = static_cast<float>(a[i][j + 4]);
  if (determinant) *determinant = static_cast<float>(det);
  return out;
}
