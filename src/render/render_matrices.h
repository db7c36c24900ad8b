// The renderer's float matrices, the conversion of the scene engine's 16.16 geometry into them,
// the per-camera device viewport, the camera's view set-up and buffer clear, the default render
// states, and the 3D set-up that creates them (InitRender3D, declared in render/render.h).
// Called by the scene engine's frame driver and cameras, and by the drawing units.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

struct CameraRecord;
struct InstanceRecord;
struct SceneRecord;

// Row-major, row vectors times the matrix, translation in the fourth row. Each matrix is its
// own allocation, made by InitRender3D and freed by FreeRenderGlobals.
struct RenderMatrixSet {
  GpuMatrix* projection;        // the current perspective projection
  GpuMatrix* screenProjection;  // the orthographic projection of screen-space instances
  GpuMatrix* view;
  GpuMatrix* world;     // of the instance being drawn
  GpuMatrix* rotation;  // the instance's scaled rotation, apart from the world matrix
};
extern RenderMatrixSet gRenderMatrices;

// The current field of view (65536 = one turn); 0x4000 until a camera sets it.
extern uint32_t gRenderFieldOfView;

// Every perspective projection's depth terms: near plane 6 units, far plane about 2,000,000.
constexpr float kProjectionDepthScale = 1.000003f;   // [2][2]
constexpr float kProjectionDepthOffset = -6.000018f;  // [3][2]

// A camera's rectangle on the back buffer, in pixels, with its depth range.
struct DeviceViewport {
  uint32_t x, y, width, height;
  float minZ, maxZ;
};

// Frees the matrices, the bloom targets and the environment map; called with the engine's
// render tables.
void FreeRenderGlobals();

// Perspective projection of a field of view in turns on a view `width` by `height` (the
// extents relative to a 4:3 frame). A zero field of view, width or height counts as one unit.
GpuMatrix ProjectionFromFov(float turns, float width, float height);
// The camera's projection: its own view extents when both are positive, else the display's.
GpuMatrix CameraProjectionMatrix(const CameraRecord* camera);
// The inverse of the camera's placement, positions scaled by the scene's world scale.
GpuMatrix CameraViewMatrix(const CameraRecord* camera, float sceneScale);
// The instance's scaled rotation (no translation); screen-space instances in pixels.
GpuMatrix InstWorldMatrix(const InstanceRecord* instance, float sceneScale);
// World x view x projection of the instance as the camera sees it.
void InstWorldViewProjection(GpuMatrix* out, const CameraRecord* camera, const InstanceRecord* instance,
                             float sceneScale);
// Sets the world (and rotation) matrix of a drawn instance; screen-space instances also get an
// identity view and their screen projection, the others the default depth terms. False when the
// draw object (the part drawing's render data) is missing.
bool InstBuildRenderMatrix(const void* drawObject, const InstanceRecord* instance, const CameraRecord* camera);

// Gives the camera its device viewport (depth 0..1) and computes it; false when memory runs out.
bool ViewportCreate(CameraRecord* camera);
// Places the camera's device viewport by its relative viewport on the back buffer.
void ViewportCompute(CameraRecord* camera);
// Frees the camera's device viewport and clears the pointer; nothing without one.
void ViewportFree(CameraRecord* camera);
// Projection, view and device viewport of the camera; false when the device refuses the viewport.
bool CameraApplyView(SceneRecord* scene, CameraRecord* camera);
// Clears the camera's buffers as its flags and the settings choose; false when the device call fails.
bool SceneClear(CameraRecord* camera);
// Forgets the state manager's cached states and sets the renderer's eleven default states.
void ResetRenderStates();
