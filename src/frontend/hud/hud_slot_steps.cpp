// The grid, proximity-mark and tooltip slot steps of the cockpit frame: the grid shown in the
// sector's space scene, four marks in the cockpit scene that close in on the nearest obstacle, and
// the tooltip scene kept to the cockpit camera's viewport with the tooltip shown only while a
// script keeps showing it. Called by the HUD frame step; nothing here frees a slot.
#include "frontend/hud/hud_slot_steps.h"

#include <algorithm>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/cockpit_interior.h"
#include "frontend/hud/hud_step.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kProximityMargin = 20000;
constexpr int32_t kProximityLevelMax = 1000;
// The marks' own placement: left and right of the view centre, then below and above it.
struct MarkPlace {
  int32_t x, y;
  uint32_t roll;
};
constexpr MarkPlace kMarkPlaces[kElementSlotCount] = {{-50, 0, 0xC000}, {50, 0, 0x4000}, {0, -62, 0}, {0, 62, 0x8000}};
// The near object's camera-frame x and y within this of the view axis move the marks.
constexpr int32_t kProximityAxisBand = 100;

void HideMarks(ElementSlots* elements) {
  for (CockpitSlot& slot : elements->slots) HideSlot(&slot);
}

}  // namespace

void UpdateGridSlot(CockpitRecord* c) {
  CockpitSlot* grid = &c->grid;
  InstanceRecord* instance = EnsureSlotInstance(grid);
  const SpaceObject* carrier = c->cockpitRefObject;
  const bool inSector = carrier && carrier->parent && carrier->parent->objClass == kClassSector;
  if (!instance || !inSector || c->monitorNumber != 0) {
    HideSlot(grid);
    return;
  }
  if (!c->gridOn) {
    HideSlot(grid);
    return;
  }
  B3D_InstSetSize(instance, kGridSize);
  instance->position = FixedVector{0, 0, 0, 0};
  MatrixSetIdentity(&instance->matrix);
  SceneRecord* space = static_cast<SectorObject*>(carrier->parent)->sceneA;
  if (space) ReattachSlot(space, grid);
}

SpaceObject* NearestProximityObject(const SpaceObject* ship) {
  if (ship->objClass != kClassShip || !ship->ext || !ship->instance) return nullptr;
  const auto* ext = static_cast<const ShipExt*>(ship->ext);
  const int32_t count = std::clamp(ext->threatCount, 0, kShipThreatCapacity);
  SpaceObject* nearest = nullptr;
  int64_t best = kProximityReach;
  for (int32_t i = 0; i < count; ++i) {
    SpaceObject* o = ext->threats[i];
    if (!o || !o->instance) continue;
    const int64_t d = int64_t{ObjectMaxNormDistance(ship, o)} - o->radius;
    if (d < best) {
      best = d;
      nearest = o;
    }
  }
  return nearest;
}

void UpdateProximityMarks(CockpitRecord* c) {
  ElementSlots* elements = &c->elements;
  for (CockpitSlot& slot : elements->slots) EnsureSlotInstance(&slot);
  SpaceObject* carrier = c->cockpitRefObject;
  SpaceObject* near = nullptr;
  if (carrier && carrier->objClass == kClassShip && ObjIsInSector(carrier) && c->viewMode == 1) {
    near = NearestProximityObject(carrier);
  }
  if (!near || !elements->flag || !c->scene) {
    HideMarks(elements);
    return;
  }
  const int32_t variant = ObjIsHostile(near, carrier) ? 0 : 1;
  const int64_t reach = int64_t{carrier->radius} + near->radius + kProximityMargin;
  const int32_t v = LinearInterpolate(ObjectMaxNormDistance(carrier, near), 0,
                                      static_cast<int32_t>(std::clamp<int64_t>(reach, INT32_MIN, INT32_MAX)), 0,
                                      kProximityLevelMax);
  const int32_t nearX = near->instance->cameraPos.x;
  const int32_t nearY = near->instance->cameraPos.y;
  for (int k = 0; k < kElementSlotCount; ++k) {
    CockpitSlot* slot = &elements->slots[k];
    AttachSlot(c->scene, slot, kProximityBody);
    InstanceRecord* instance = slot->instance;
    if (!instance) continue;
    InstOrFlags(instance, kInstSizeUsed, 0);
    B3D_InstSetSizeUsed(instance, variant);
    int32_t x = kMarkPlaces[k].x;
    int32_t y = kMarkPlaces[k].y;
    // The upper and lower marks move sideways, the side marks up and down, towards the object.
    if (k >= 2) {
      if (nearX > -kProximityAxisBand) x = v;
      if (nearX < kProximityAxisBand) x = -v;
    } else {
      if (nearY > -kProximityAxisBand) y = v;
      if (nearY < kProximityAxisBand) y = -v;
    }
    instance->position = FixedVector{x, y, kProximityMarkDepth, 0};
    MatrixFromAngles(&instance->matrix, 0, 0, kMarkPlaces[k].roll);
  }
}

void UpdateTooltipStep(CockpitRecord* c) {
  TooltipRecord* tooltip = &c->tooltip;
  CameraRecord* own = tooltip->camera;
  const CameraRecord* main = c->camera;
  if (tooltip->scene && own && c->scene && main) {
    own->aspectWidth = main->aspectWidth;
    own->aspectHeight = main->aspectHeight;
    if (own->viewTop != main->viewTop || own->viewRight != main->viewRight || own->viewLeft != main->viewLeft ||
        own->viewBottom != main->viewBottom) {
      CameraSetViewport(own, main->viewTop, main->viewRight, main->viewLeft, main->viewBottom);
      B3D_CameraDeleteFromScene(tooltip->scene, own);
      B3D_CameraAddToScene(own, tooltip->scene);
    }
    own->fieldOfView = main->fieldOfView;
    if (c->scene->flags & kSceneEnabled) B3D_SceneEnable(tooltip->scene);
    else B3D_SceneDisable(tooltip->scene);
  }
  // The tooltip stays up only in the frames a script shows it again.
  const uint32_t now = gSystem ? gSystem->realTime : 0;
  const int32_t sinceShown = static_cast<int32_t>(now - tooltip->visibleTime);
  if (sinceShown >= 1) tooltip->shown = 0;
  if (tooltip->instance) B3D_InstSetInvis(tooltip->instance, tooltip->shown && sinceShown >= 0 ? 0 : 1);
}
