// The per-part draw entry: the body a part waits for, the sun lights, the projection depth terms
// of the camera, then the renderer's part drawing. Called by the frame driver's draw-list walk;
// never touches a light slot outside the engine's active light list.
#include "scene/part_draw.h"

#include "render/body_meshes.h"
#include "render/instance_parts.h"
#include "render/part_depth.h"
#include "render/render_matrices.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/light_records.h"
#include "scene/scene.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kLightUnlimited = 0x800000;
constexpr int32_t kModeWithLights = 2;
constexpr float kNewSceneScale = 0.01f;

float CameraSceneScale(const CameraRecord* camera, const InstanceRecord* instance) {
  if (camera->instance.scene) return camera->instance.scene->systemScale;
  return instance->scene ? instance->scene->systemScale : kNewSceneScale;
}

bool IsStarBackground(const InstanceRecord* instance) {
  return instance->bodyId >= 0 && instance->bodyId == B3D_GetBodyID(kStarBackgroundBody);
}

}  // namespace

int32_t FindSunLights(InstanceRecord* out[2]) {
  out[0] = out[1] = nullptr;
  int32_t found = 0;
  for (int32_t i = 0; gEngine3D && i < kLightSlotCapacity && found < 2; ++i) {
    const int32_t index = gEngine3D->lightSlots[i].light;
    if (index < 0 || index >= kActiveLightCapacity) break;
    InstanceRecord* light = gEngine3D->activeLights[index];
    if (!light) break;
    if ((light->flags & kLightUnlimited) || light->lightRange >= kSunLightRange) out[found++] = light;
  }
  return found;
}

bool DrawInstancePart(BodyPart* renderPart, InstanceRecord* instance, CameraRecord* camera) {
  if (!renderPart || !renderPart->renderSection || !instance || !camera) return false;
  if (renderPart->flags & kPartAwaitsBody) {
    if (instance->bodyId < 0 || !LoadBody(instance->bodyId)) return false;
    renderPart->flags &= ~kPartAwaitsBody;
  }
  if (renderPart->flags & kPartHidden) return true;
  InstanceRecord* sun[2];
  const int32_t suns = FindSunLights(sun);
  const float scale = CameraSceneScale(camera, instance);
  const bool starDepth = (camera->cameraFlags & kCameraStarDepth) && !(camera->cameraFlags & kCameraNearFromFov);
  const DepthTerms terms =
      PartDepthTerms(camera->cameraFlags, camera->fieldOfView, static_cast<uint32_t>(camera->fog[kCameraFogEnd]),
                     scale, starDepth && IsStarBackground(instance));
  if (gRenderMatrices.projection) {
    gRenderMatrices.projection->m[2][2] = terms.scale;
    gRenderMatrices.projection->m[3][2] = terms.offset;
  }
  const BodyMesh* mesh = renderPart->mesh;
  DrawInstanceParts(&renderPart->renderSection->meshes, mesh, instance, camera, suns ? kModeWithLights : 0, sun[0],
                    sun[1], scale);
  return true;
}
