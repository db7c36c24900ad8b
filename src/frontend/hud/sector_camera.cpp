// The sector camera's frame steps: placement at the in-cockpit eye point or behind the reference
// object, the camera offset shortened in front of obstacles, the sector's objects measured in the
// camera's frame, and the camera's velocity and fog. Called by the HUD frame step only while the
// cockpit has a sector camera; nothing here frees an object or a camera.
#include "frontend/hud/sector_camera.h"

#include <algorithm>

#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/target_marks.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/lens_flares.h"
#include "scene/scene_cameras.h"
#include "scene/scene_measures.h"
#include "universe/object_classes.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kComponentKindCockpit = 1;
constexpr uint16_t kClassObstacle = 22;
// Connect modes: 3 keeps the view's own orientation, 5 and 6 a fixed place, and the camera offset
// means nothing in 4, 5, 6, 8 and 9.
constexpr uint32_t kConnectOwnOrientation = 3;
constexpr uint32_t kViewFixedFlag = 0x4;  // bit 2 of the cockpit's flags
// The camera's motion counts only over a short span and a plausible distance.
constexpr uint32_t kMotionMaxElapsed = 2999;
constexpr int32_t kMotionMaxMove = 5000000;
// The background type's fog words (of its seven values) and the fog colour that switches it on.
constexpr int kBackgroundFogNear = 5;
constexpr int kBackgroundFogFar = 6;
constexpr int32_t kFogColour = 0xFFFFFF;

bool FixedViewMode(uint32_t mode) { return mode == 5 || mode == 6; }
bool OffsetIgnored(uint32_t mode) { return mode == 4 || mode == 5 || mode == 6 || mode == 8 || mode == 9; }

FixedVector Vec(const int32_t v[3]) { return FixedVector{v[0], v[1], v[2], 0}; }

FixedVector Add(const FixedVector& a, const FixedVector& b) {
  return FixedVector{SaturateToInt32(int64_t{a.x} + b.x), SaturateToInt32(int64_t{a.y} + b.y),
                     SaturateToInt32(int64_t{a.z} + b.z), 0};
}

// An object in a sector is where its instance is; elsewhere (docked, carried) where its instance
// is in the world.
const FixedVector& ObjectPosition(const SpaceObject* o) {
  return ObjIsInSector(o) ? o->instance->position : o->instance->world;
}

// Shortens the offset so that the camera stops in front of the sector's class-22 objects: the
// lens-flare probe, turned along the offset and as long as it, is tested against each of them.
void StopInFrontOfObstacles(SpaceObject* sector, const FixedVector& at, FixedVector* offset) {
  if (!EnsureLensFlareScene() || !gEngine3D) return;
  InstanceRecord* probe = gEngine3D->lensFlareInstance;
  ListHead* objects = ObjectChildren(sector);
  if (!probe || !objects) return;
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(offset, &yaw, &pitch);
  B3D_InstSetRot(probe, static_cast<int32_t>(yaw), static_cast<int32_t>(pitch), 0);
  probe->worldMatrix = probe->matrix;
  probe->position = at;
  probe->world = at;
  const int32_t length = ChebyshevNorm(offset);
  int64_t nearest = INT64_MAX;
  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if (o->objClass != kClassObstacle || !o->instance) continue;
    probe->size = length;
    if (InstCollide(probe, o->instance, length, 0)) nearest = std::min<int64_t>(nearest, probe->contact.z);
  }
  if (nearest == INT64_MAX) return;
  int32_t v[3] = {offset->x, offset->y, offset->z};
  ScaleVectorToLength(v, static_cast<int32_t>(std::max<int64_t>(nearest, 0)));
  *offset = FixedVector{v[0], v[1], v[2], 0};
}

// The in-cockpit placement; false when the carrier has no eye point for the cockpit position.
bool PlaceAtEye(CockpitRecord* c, const FixedMatrix* sway, FixedVector* position, FixedMatrix* orientation) {
  SpaceObject* carrier = c->cockpitRefObject;
  CockpitEye eye;
  if (!carrier || c->viewMode != 1 || !carrier->instance || !FindCockpitEye(carrier, c->cockpitNumber, &eye)) {
    return false;
  }
  const FixedMatrix& r = ObjIsInSector(carrier) ? carrier->instance->matrix : carrier->instance->worldMatrix;
  const FixedVector local = Add(eye.point, Vec(c->viewPos));
  FixedVector turned;
  MatrixMulVector(&turned, &r, &local);
  *position = Add(ObjectPosition(carrier), turned);
  FixedMatrix view = c->viewMatrix;
  if (c->viewConnectMode != kConnectOwnOrientation) {
    FixedMatrix withNode;
    MatrixMultiply(&withNode, &c->viewMatrix, &eye.node);
    MatrixMultiply(&view, &withNode, &r);
  }
  MatrixMultiply(orientation, sway, &view);
  if (eye.interiorCut != c->interiorCut) {
    FreeSlotRefs(c);
    c->interiorCut = eye.interiorCut;
  }
  return true;
}

// Behind (or at) the reference object; false when it has no instance to follow.
bool PlaceAtReference(CockpitRecord* c, FixedVector* position, FixedMatrix* orientation) {
  if (c->interiorCut != -1) {
    FreeSlotRefs(c);
    c->interiorCut = -1;
  }
  SpaceObject* ref = c->refObject;
  if (!ref->instance) return false;
  FixedMatrix r;
  if (ObjIsInSector(ref)) {
    const FixedMatrix* own = GetObjectRotationMatrix(ref);
    if (own) r = *own;
    else MatrixSetIdentity(&r);
  } else {
    r = ref->instance->worldMatrix;
  }
  const uint32_t mode = c->viewConnectMode;
  const bool fixedView = (c->flags & kViewFixedFlag) != 0;
  if (FixedViewMode(mode) || fixedView) {
    *position = Vec(c->viewPos);
  } else {
    FixedVector turned;
    const FixedVector local = Vec(c->viewPos);
    MatrixMulVector(&turned, &r, &local);
    *position = Add(ObjectPosition(ref), turned);
  }
  const bool carriedElsewhere = c->cockpitRefObject && c->cockpitRefObject != ref;
  if (FixedViewMode(mode) || fixedView || (mode == kConnectOwnOrientation && !carriedElsewhere)) {
    *orientation = c->viewMatrix;
  } else {
    MatrixMultiply(orientation, &c->viewMatrix, &r);
  }
  return true;
}

}  // namespace

bool FindCockpitEye(const SpaceObject* carrier, int32_t cockpitNumber, CockpitEye* eye) {
  if (carrier->objClass != kClassShip || cockpitNumber < 0 || cockpitNumber >= kShipComponentCapacity ||
      ShipGetComponentCount(carrier) <= cockpitNumber) {
    return false;
  }
  InstanceRecord* node = FindShipComponentNode(cockpitNumber, carrier);
  if (!node || node->bodyId < 0 || !LoadBody(node->bodyId)) return false;
  const ComponentEntry* entry = FindEntry12ById(kComponentKindCockpit, node->bodyId);
  if (!entry || entry->pointCount <= 0 || !entry->points) return false;
  const int32_t* e = entry->points[0].position;
  const int32_t size = node->size;
  if (node == carrier->instance) {
    eye->point = FixedVector{FixedMul(e[0], size), FixedMul(e[1], size), FixedMul(e[2], size), 0};
    MatrixSetIdentity(&eye->node);
    eye->interiorCut = -1;
    return true;
  }
  const FixedVector local{e[0], e[1], e[2], 0};
  FixedVector turned;
  MatrixMulVector(&turned, &node->matrix, &local);
  eye->point = Add(node->position,
                   FixedVector{FixedMul(turned.x, size), FixedMul(turned.y, size), FixedMul(turned.z, size), 0});
  eye->node = node->matrix;
  eye->interiorCut = -1;
  if (cockpitNumber != 0) {
    const ObjectTypeRecord* ship = TypeRow(kClassShip, carrier->subtype);
    const ObjectTypeRecord* cockpit =
        ship ? TypeRow(kClassCockpit, ship->ship.components[cockpitNumber].cockpit) : nullptr;
    if (cockpit) eye->interiorCut = cockpit->cockpit.cut;
  }
  return true;
}

void PlaceSectorCamera(CockpitRecord* c, const FixedMatrix* sway) {
  CameraRecord* camera = c->sectorCamera;
  if (!camera || !c->refObject) return;
  FixedVector position{};
  FixedMatrix orientation;
  if (!PlaceAtEye(c, sway, &position, &orientation) && !PlaceAtReference(c, &position, &orientation)) return;
  const uint32_t mode = c->viewConnectMode;
  const FixedVector cameraOffset = Vec(c->viewCameraOffset);
  if ((cameraOffset.x || cameraOffset.y || cameraOffset.z) && !OffsetIgnored(mode)) {
    FixedVector offset;
    MatrixMulVector(&offset, &orientation, &cameraOffset);
    SpaceObject* sector = c->sectorSpace;
    if (sector && (sector->flags2 & kSectorCameraStopsAtObstacles)) StopInFrontOfObstacles(sector, position, &offset);
    position = Add(position, offset);
  }
  camera->instance.position = position;
  camera->instance.matrix = orientation;
}

void MeasureSectorInCameraFrame(CockpitRecord* c) {
  const CameraRecord* camera = c->sectorCamera;
  ListHead* objects = c->sectorSpace && camera ? ObjectChildren(c->sectorSpace) : nullptr;
  if (!objects) return;
  const FixedVector& at = camera->instance.position;
  const FixedMatrix& m = camera->instance.matrix;
  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    InstanceRecord* instance = reinterpret_cast<SpaceObject*>(node)->instance;
    if (!instance) continue;
    const int64_t d[3] = {int64_t{instance->position.x} - at.x, int64_t{instance->position.y} - at.y,
                          int64_t{instance->position.z} - at.z};
    int32_t* out[3] = {&instance->cameraPos.x, &instance->cameraPos.y, &instance->cameraPos.z};
    for (int row = 0; row < 3; ++row) {
      *out[row] = SaturateToInt32(MulRound16(m.m[row][0], d[0]) + MulRound16(m.m[row][1], d[1]) +
                                  MulRound16(m.m[row][2], d[2]));
    }
  }
}

void UpdateSectorCameraMotion(CockpitRecord* c) {
  CameraRecord* camera = c->sectorCamera;
  if (!camera) return;
  InstanceRecord& view = camera->instance;
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  const uint32_t elapsed = now - camera->trackTime;
  if (camera->tracked && elapsed >= 1 && elapsed <= kMotionMaxElapsed &&
      VecDistance(&camera->trackPosition, &view.position) < kMotionMaxMove) {
    FixedVector moved, velocity;
    SubVector(&moved, &camera->trackPosition, &view.position);
    MulDivVectorFixed(&velocity, &moved, 1000, static_cast<int32_t>(elapsed));
    view.velocity = velocity;
    view.cameraVelocity = velocity;
  }
  const BackgroundType* background = SectorBackground(c->sectorSpace);
  if (!background) return;
  const int32_t fogNear = background->values7[kBackgroundFogNear];
  const int32_t fogFar = background->values7[kBackgroundFogFar];
  B3D_CameraSetFog(camera, fogNear != 0 ? kFogColour : 0, fogNear, fogFar);
  camera->cameraFlags |= kCameraFog;
}
