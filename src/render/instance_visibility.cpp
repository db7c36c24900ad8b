// The visibility test of an instance for a camera: the body's first part as a sphere, sized by
// the instance's size and scale, against the six planes of the camera's view-projection. Called
// by the draw-list walk; reads the body, never loads or changes it.
#include "render/instance_visibility.h"

#include <cmath>

#include "core/fixed_math.h"
#include "render/effect_textures.h"
#include "render/render_matrices.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/instance_records.h"

namespace {

// 16.16 product.
int32_t FixedProduct(int32_t a, int32_t b) {
  return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 16);
}

// Column k of a row-vector matrix, as the plane coefficients (a, b, c, d).
void Column(const GpuMatrix& m, int k, double out[4]) {
  for (int row = 0; row < 4; ++row) out[row] = m.m[row][k];
}

// The bounding radius of the body's first part for this instance, before the world scale.
double InstanceRadius(const InstanceRecord* instance, const BodyRecord* body) {
  FixedVector extents{};
  const BodyMesh* mesh = body->meshes && body->meshCount > 0 ? body->meshes[0] : nullptr;
  const BodyPart* part = mesh && mesh->parts && mesh->partCount > 0 ? mesh->parts[0] : nullptr;
  if (part) {
    const int32_t axes[3] = {part->boundsHalf.x, part->boundsHalf.y, part->boundsHalf.z};
    const int32_t scales[3] = {instance->scale.x, instance->scale.y, instance->scale.z};
    int32_t out[3];
    for (int k = 0; k < 3; ++k) out[k] = FixedProduct(FixedProduct(axes[k], instance->size), scales[k]);
    extents = FixedVector{out[0], out[1], out[2], 0};
  }
  int32_t radius = VectorLengthI(&extents);
  if (radius == 0) radius = instance->scaledSize;
  return radius;
}

}  // namespace

bool InstProjectToScreen(const InstanceRecord* instance, const CameraRecord* camera, float scale,
                         const BodyRecord* body) {
  if (!instance || !camera) return false;
  if ((instance->flags2 & kInst2ScreenSpace) || (instance->flags & (kInstAlwaysDrawnFlags | kInstAlwaysDrawnFlagsWide)) ||
      (camera->cameraFlags & kCameraNoCulling))
    return true;
  if (instance->bodyId < 1 || !body) return false;

  const GpuMatrix view = CameraViewMatrix(camera, scale);
  const GpuMatrix projection = CameraProjectionMatrix(camera);
  GpuMatrix viewProjection{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += static_cast<double>(view.m[r][k]) * projection.m[k][c];
      viewProjection.m[r][c] = static_cast<float>(sum);
    }
  const double centre[3] = {instance->world.x * static_cast<double>(scale), instance->world.y * static_cast<double>(scale),
                            instance->world.z * static_cast<double>(scale)};
  const double radius = InstanceRadius(instance, body) * scale;

  // The six planes of a 0..1 depth range: w+x, w-x, w+y, w-y, z, w-z.
  double x[4], y[4], z[4], w[4];
  Column(viewProjection, 0, x), Column(viewProjection, 1, y), Column(viewProjection, 2, z), Column(viewProjection, 3, w);
  double planes[6][4];
  for (int i = 0; i < 4; ++i) {
    planes[0][i] = w[i] + x[i], planes[1][i] = w[i] - x[i];
    planes[2][i] = w[i] + y[i], planes[3][i] = w[i] - y[i];
    planes[4][i] = z[i], planes[5][i] = w[i] - z[i];
  }
  for (const double* plane : planes) {
    const double length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (length <= 0) continue;
    const double distance = (plane[0] * centre[0] + plane[1] * centre[1] + plane[2] * centre[2] + plane[3]) / length;
    if (distance < -radius) return false;
  }
  return true;
}
