// Depth terms of a drawn body part's projection. Called by the per-part draw entry; pure
// arithmetic over the camera's values, no device and no global state.
#include "render/part_depth.h"

#include "render/render_matrices.h"

namespace {

// Below this field of view (about 46.8 degrees) a narrower view moves the near plane out.
constexpr uint32_t kNarrowFieldOfView = 8519;
constexpr float kBaseNearPlane = 6.0f;

}  // namespace

DepthTerms PartDepthTerms(uint32_t cameraFlags, uint32_t fieldOfView, uint32_t farDistance, float sceneScale,
                          bool starBody) {
  const DepthTerms defaults{kProjectionDepthScale, kProjectionDepthOffset};
  if (cameraFlags & kCameraNearFromFov) {
    float nearPlane = kBaseNearPlane;
    if (fieldOfView < kNarrowFieldOfView) nearPlane += 100.0f * (1.0f - 4.0f * static_cast<float>(fieldOfView) / 65536.0f);
    float farPlane = static_cast<float>(farDistance) * sceneScale;
    if (farPlane > kMaxFarPlane) farPlane = kMaxFarPlane;
    // A far plane at or before the near one has no depth range: the defaults stay.
    if (!(farPlane > nearPlane)) return defaults;
    const float scale = farPlane / (farPlane - nearPlane);
    return DepthTerms{scale, -nearPlane * scale};
  }
  if ((cameraFlags & kCameraStarDepth) && starBody) return DepthTerms{kStarDepthScale, kStarDepthOffset};
  return defaults;
}
