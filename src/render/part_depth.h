// The depth terms of the projection a body part is drawn with: the near plane a camera derives
// from its field of view, the star background's own terms, else the renderer's defaults. Called
// by the per-part draw entry. Pure arithmetic: touches no device and no global.
#pragma once

#include <cstdint>

// Camera flags that choose the depth terms.
constexpr uint32_t kCameraStarDepth = 0x400000;   // the star background body gets its own terms
constexpr uint32_t kCameraNearFromFov = 0x800000;  // near plane from the field of view

// Terms of the star background body under kCameraStarDepth.
constexpr float kStarDepthScale = 1.0000001f;
constexpr float kStarDepthOffset = -0.35000005f;
// The far plane of kCameraNearFromFov never lies beyond this.
constexpr float kMaxFarPlane = 2000000.0f;

struct DepthTerms {
  float scale;   // projection [2][2]
  float offset;  // projection [3][2]
};

// `farDistance` in world units (scaled by `sceneScale`); `starBody` when the drawn instance shows
// the star background body.
DepthTerms PartDepthTerms(uint32_t cameraFlags, uint32_t fieldOfView, uint32_t farDistance, float sceneScale,
                          bool starBody);
