// Vector and matrix helpers in the device layer's row-vector convention (a point is a row
// vector multiplied from the left, v * M; translation sits in the fourth row). Called by the
// renderer for cube-face views, light directions, projections and the matrices its effects
// read. Pure arithmetic: no device, no state.
#pragma once

#include "platform/gpu.h"

struct GpuVector4 {
  float x, y, z, w;
};

// The unit vector along v; the zero vector stays zero.
GpuVector3* GpuxVec3Normalize(GpuVector3* out, const GpuVector3* v);
// (v.x, v.y, v.z, 1) * m.
GpuVector4* GpuxVec3Transform(GpuVector4* out, const GpuVector3* v, const GpuMatrix* m);
// A point through world, view and projection (each may be null for identity) into the
// viewport: x and y in pixels, z between the viewport's MinZ and MaxZ.
GpuVector3* GpuxVec3Project(GpuVector3* out, const GpuVector3* v, const GpuViewport* viewport,
                            const GpuMatrix* projection, const GpuMatrix* view, const GpuMatrix* world);

GpuMatrix* GpuxMatrixIdentity(GpuMatrix* out);
// A left-handed view from `eye` towards `at`, `up` giving the vertical.
GpuMatrix* GpuxMatrixLookAtLH(GpuMatrix* out, const GpuVector3* eye, const GpuVector3* at, const GpuVector3* up);
// a * b (a applied first). `out` may be a or b.
GpuMatrix* GpuxMatrixMultiply(GpuMatrix* out, const GpuMatrix* a, const GpuMatrix* b);
GpuMatrix* GpuxMatrixTranspose(GpuMatrix* out, const GpuMatrix* m);
// The inverse, with the determinant in *determinant when given; null (and `out` untouched)
// for a singular matrix.
GpuMatrix* GpuxMatrixInverse(GpuMatrix* out, float* determinant, const GpuMatrix* m);
