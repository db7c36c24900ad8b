// The renderer's global matrices and viewports. Least form until they are built
// (render_matrices_stub.cpp): the release the engine's render-table cleanup calls, and the
// per-camera device viewport and buffer clear the scene engine's cameras call.
#pragma once

#include <cstdint>

struct CameraRecord;

// A camera's rectangle on the back buffer, in pixels, with its depth range.
struct DeviceViewport {
  uint32_t x, y, width, height;
  float minZ, maxZ;
};

// Frees the renderer's global matrices and targets; called at device reset and shutdown.
void FreeRenderGlobals();

// Gives the camera its device viewport (depth 0..1) and computes it; false when memory runs out.
bool ViewportCreate(CameraRecord* camera);
// Places the camera's device viewport by its relative viewport on the back buffer.
void ViewportCompute(CameraRecord* camera);
// Frees the camera's device viewport and clears the pointer; nothing without one.
void ViewportFree(CameraRecord* camera);
// Clears the camera's buffers as its flags choose; false when the device call fails.
bool SceneClear(CameraRecord* camera);
