// Whether an instance's body can be seen by a camera: screen-space and always-drawn instances
// pass untested, the others by the bounding sphere of their body's first part against the
// camera's view volume. Called by the frame driver's draw-list walk before a part is drawn.
// Loads nothing: the caller hands in the instance's loaded body.
#pragma once

#include <cstdint>

struct BodyRecord;
struct CameraRecord;
struct InstanceRecord;

// Instance flags that draw without a test, and the camera flag that draws everything.
constexpr uint32_t kInstAlwaysDrawnFlags = 0x14;
constexpr uint32_t kInstAlwaysDrawnFlagsWide = 0x20C80000;
constexpr uint32_t kCameraNoCulling = 0x8000;

// True to draw. `body` is the instance's body (null when it cannot be loaded: false), `scale`
// the scene's world scale.
bool InstProjectToScreen(const InstanceRecord* instance, const CameraRecord* camera, float scale,
                         const BodyRecord* body);
