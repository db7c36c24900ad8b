// The least form of the cockpit's scenes: each is its named scene with one camera in it, at the
// origin with the identity orientation. Called by the cockpit allocation and initialisation; the
// lights, priorities and flags of the full scenes come with the views.
#include "frontend/cockpit/cockpit_views.h"

#include "frontend/cockpit/cockpit.h"
#include "scene/camera_records.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"

namespace {

void CreateNamedScene(const char* name, SceneRecord** scene, CameraRecord** camera) {
  *scene = B3D_SceneAlloc();
  if (!*scene) return;
  B3D_SceneSetName(*scene, name);
  *camera = B3D_CameraAlloc();
  if (*camera) B3D_CameraAddToScene(*camera, *scene);
}

}  // namespace

void CockpitCreateScene(CockpitRecord* cockpit) { CreateNamedScene("Cockpit Scene", &cockpit->scene, &cockpit->camera); }

void CockpitCreateTooltipScene(TooltipRecord* tooltip) {
  CreateNamedScene("Tooltip Scene", &tooltip->scene, &tooltip->camera);
}
