// The least form of the renderer's global matrices and viewports: no matrices to free, a device
// viewport record per camera with nothing to place it on, and clears that draw nothing. Called
// by the scene engine's cameras and its render-table cleanup.
#include "render/render_matrices.h"

#include "core/memory.h"
#include "scene/camera_records.h"

namespace {
constexpr uint32_t kViewportMemFlags = MemCategoryFlags(kMemCatMaterial);
}

void FreeRenderGlobals() {}

bool ViewportCreate(CameraRecord* camera) {
  if (!camera) return false;
  auto* viewport = static_cast<DeviceViewport*>(MemAlloc(sizeof(DeviceViewport), kViewportMemFlags));
  if (!viewport) return false;
  *viewport = DeviceViewport{0, 0, 0, 0, 0.0f, 1.0f};
  camera->viewport = viewport;
  ViewportCompute(camera);
  return true;
}

void ViewportCompute(CameraRecord*) {}

void ViewportFree(CameraRecord* camera) {
  if (!camera || !camera->viewport) return;
  MemFree(camera->viewport, sizeof(DeviceViewport), kViewportMemFlags);
  camera->viewport = nullptr;
}

bool SceneClear(CameraRecord*) { return true; }
