// The cockpit's scenes and views: the three scene builders, the view connect modes with their
// per-frame placement of the view point and angles, and the enemy and cursor aim searches over the
// cockpit's sector. Called by the cockpit allocation, the target overlay, the INS_ natives and the
// HUD frame step. Nothing here draws or frees an object; a missing camera, object or type row
// leaves the view as it is, and no division is made by a zero duration.
#include "frontend/cockpit/cockpit_views.h"

#include <cmath>
#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/target_overlay.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr float kCockpitSceneScale = 0.01f;
constexpr uint32_t kMainCameraFlags = 0x24;
constexpr int32_t kMainCameraPriority = 0;
constexpr int32_t kTooltipCameraPriority = 195;
constexpr int32_t kOverlayCameraPriority = 30;
constexpr int32_t kCockpitLightZ = 0x10000;
constexpr int32_t kCockpitLightLevel = 128;

constexpr int32_t kHalfTurn = 0x8000;
constexpr int32_t kFullTurn = 0x10000;
constexpr int32_t kQuarterTurn = 0x4000;
constexpr int32_t kMoveMs = 10000;  // connect mode 8
constexpr int32_t kDecayPeriodMs = 3000;

// connect modes
constexpr uint32_t kModeCockpitPosition = 0;
constexpr uint32_t kModeTrack = 1;
constexpr uint32_t kModeFollowPosition = 2;
constexpr uint32_t kModeLookAt = 3;
constexpr uint32_t kModeCinematic = 4;
constexpr uint32_t kModeWatch = 5;
constexpr uint32_t kModeScripted = 6;
constexpr uint32_t kModeMove = 8;
constexpr uint32_t kModeOrbit = 9;

// `flags` bits of the scripted modes.
constexpr uint32_t kViewUsesRefPos = 0x2;
constexpr uint32_t kViewAddsLookPoint = 0x4;
constexpr uint32_t kViewFromRefViewObject = 0x10;
constexpr uint32_t kViewFromRefViewPos = 0x20;
constexpr uint32_t kViewLooksAtRefObject = 0x40;
constexpr uint32_t kViewLookPointTurned = 0x80;

constexpr uint32_t kOrbitStandsStill = 0x1;

// Objects neither aim takes.
constexpr uint32_t kAimSkipFlags = 0x48000011;
constexpr uint32_t kCursorSkipFlags = 0x40000011;
constexpr uint32_t kCursorSkipRemoving = 0x8000000;
constexpr uint32_t kAimSkipFlags2 = 0x20000000;
constexpr int32_t kAimRange = 2500000;
constexpr int32_t kCursorDepth = 500000;
constexpr int64_t kCosTenDegrees = 0xFC1B;  // 16.16
constexpr int64_t kNearRadii = 20;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }
int32_t FrameMs() { return gSystem ? static_cast<int32_t>(gSystem->frameStep) : 0; }

int32_t Elapsed(uint32_t since) { return static_cast<int32_t>(Now() - since); }

int32_t WrapAngle(int32_t a) { return a > kHalfTurn ? a - kFullTurn : a; }
int32_t ClampQuarter(int32_t a) { return a < -kQuarterTurn ? -kQuarterTurn : (a > kQuarterTurn ? kQuarterTurn : a); }

FixedVector Vec(const int32_t v[3]) { return FixedVector{v[0], v[1], v[2], 0}; }
void Store(int32_t out[3], const FixedVector& v) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

FixedVector Minus(const FixedVector& a, const FixedVector& b) {
  return FixedVector{SaturateToInt32(int64_t{a.x} - b.x), SaturateToInt32(int64_t{a.y} - b.y),
                     SaturateToInt32(int64_t{a.z} - b.z), 0};
}
FixedVector Plus(const FixedVector& a, const FixedVector& b) {
  return FixedVector{SaturateToInt32(int64_t{a.x} + b.x), SaturateToInt32(int64_t{a.y} + b.y),
                     SaturateToInt32(int64_t{a.z} + b.z), 0};
}

// a + (b - a) * t / d, formed wide enough for any script-set words and durations; d is never 0.
int32_t Between(int64_t a, int64_t b, int64_t t, int64_t d) {
  const __int128 step = static_cast<__int128>(b - a) * t / d;
  const __int128 sum = a + step;
  return sum > INT32_MAX ? INT32_MAX : (sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum));
}
FixedVector BetweenVec(const int32_t a[3], const int32_t b[3], int64_t t, int64_t d) {
  return FixedVector{Between(a[0], b[0], t, d), Between(a[1], b[1], t, d), Between(a[2], b[2], t, d), 0};
}

int64_t RoundedLength(const FixedVector& v) {
  const FixedVector origin{};
  return RoundedDistance(&origin, &v);
}

// The object's node position in its sector.
FixedVector ObjectPosition(const SpaceObject* object) {
  FixedVector p{};
  ObjGetWorldPosition(object, -1, &p);
  p.w = 0;
  return p;
}

// The direction angles of v into alpha and beta.
void DirectionAngles(const FixedVector& v, int32_t* alpha, int32_t* beta) {
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&v, &yaw, &pitch);
  *alpha = static_cast<int32_t>(yaw);
  *beta = static_cast<int32_t>(pitch);
}

void LookAlong(CockpitRecord* cockpit, const FixedVector& v) {
  DirectionAngles(v, &cockpit->viewAngleTarget[0], &cockpit->viewAngleTarget[1]);
  cockpit->viewAngleTarget[2] = 0;
}

FixedVector Turned(const FixedVector& v, uint32_t a, uint32_t b, uint32_t c) {
  FixedMatrix m;
  MatrixFromAngles(&m, a, b, c);
  FixedVector out;
  MatrixMulVector(&out, &m, &v);
  out.w = 0;
  return out;
}

bool IsShip(const SpaceObject* object) { return object && object->objClass == kClassShip && object->ext; }

// The carrying ship's cockpit position is used while its type has that many component rows.
bool HasCockpitPosition(const CockpitRecord* cockpit) {
  const SpaceObject* carrier = cockpit->cockpitRefObject;
  return IsShip(carrier) && cockpit->cockpitNumber >= 0 && ShipGetComponentCount(carrier) > cockpit->cockpitNumber;
}

// The two angle words a ship keeps for one of its components (the turret row it names).
bool ComponentAngles(const SpaceObject* ship, int32_t cockpitNumber, int32_t* alpha, int32_t* beta) {
  const int32_t k = ShipComponentValue(ship->subtype, cockpitNumber);
  if (k < 0 || k >= kShipTurretCapacity) return false;
  const TurretRow& row = static_cast<const ShipExt*>(ship->ext)->turrets[k];
  *alpha = row.vector.x;
  *beta = row.vector.y;
  return true;
}

// The base orientation B of the view: the carrying ship's cockpit position, else the carrying
// object's node, else the identity.
FixedMatrix BaseOrientation(const CockpitRecord* cockpit) {
  FixedMatrix b;
  MatrixSetIdentity(&b);
  const SpaceObject* carrier = cockpit->cockpitRefObject;
  if (!carrier) return b;
  ObjectTransform t;
  if (HasCockpitPosition(cockpit) && ObjGetWorldTransform(carrier, cockpit->cockpitNumber, &t)) return t.rotation;
  if (carrier->instance) b = carrier->instance->matrix;
  return b;
}

// v in the frame of B.
FixedVector InFrame(const FixedMatrix& b, const FixedVector& v) {
  FixedVector out;
  MatrixTransposeMulVector(&out, &b, &v);
  out.w = 0;
  return out;
}

uint32_t DrawOrbitAngle() { return static_cast<uint32_t>(int64_t{GameRand()} * kFullTurn / 0x7FFF); }

// The point on a circle of radius rz at angle a = one turn * t / loop (low 16 bits).
FixedVector CirclePoint(int32_t rz, int32_t y, int64_t t, int64_t loop) {
  const uint32_t a = static_cast<uint32_t>(kFullTurn * t / loop) & 0xFFFF;
  return FixedVector{FixedMul(rz, TableSine(a)), y, FixedMul(rz, TableCosine(a)), 0};
}

int32_t AbsZ(const int32_t v[3]) { return v[2] == INT32_MIN ? INT32_MAX : std::abs(v[2]); }

// ---- The connect modes, one frame each. ------------------------------------------------------

void FrameTrack(CockpitRecord* c) {
  int32_t* target = c->viewAngleTarget;
  target[0] = target[1] = target[2] = 0;
  if (!c->trackObject || !c->cockpitRefObject) return;
  FixedVector eye;
  CockpitViewPoint(c, &eye);
  const FixedVector v = InFrame(BaseOrientation(c), Minus(ObjectPosition(c->trackObject), eye));
  if (v.z <= 0) return;
  int32_t a, b;
  DirectionAngles(v, &a, &b);
  target[0] = ClampQuarter(WrapAngle(a));
  target[1] = ClampQuarter(WrapAngle(b));
}

void FrameFollowPosition(CockpitRecord* c) {
  const SpaceObject* ship = c->cockpitRefObject;
  if (!IsShip(ship)) return;
  int32_t a = 0, b = 0;
  if (ComponentAngles(ship, c->cockpitNumber, &a, &b)) {
    c->viewAngleTarget[0] = ClampQuarter(a);
    c->viewAngleTarget[1] = ClampQuarter(b);
  } else {
    c->viewAngleTarget[0] = c->viewAngleTarget[1] = 0;
  }
  c->viewAngleTarget[2] = 0;
}

void FrameLookAt(CockpitRecord* c) {
  int32_t* target = c->viewAngleTarget;
  const SpaceObject* ref = c->refObject;
  if (c->cockpitRefObject && ref && ref != c->cockpitRefObject) {
    FixedVector eye;
    CockpitViewPoint(c, &eye);
    const FixedMatrix base = BaseOrientation(c);
    int32_t a, b;
    DirectionAngles(InFrame(base, Minus(ObjectPosition(ref), eye)), &a, &b);
    FixedMatrix look, world;
    MatrixFromAngles(&look, static_cast<uint32_t>(a), static_cast<uint32_t>(b), 0);
    MatrixMultiply(&world, &look, &base);
    if (const FixedMatrix* rotation = GetObjectRotationMatrix(ref)) {
      MatrixMultiplyTransposed(&c->viewMatrix, &world, rotation);
    } else {
      c->viewMatrix = world;
    }
    MatrixToAngles(&c->viewMatrix, &target[0], &target[1], &target[2]);
    for (int i = 0; i < 3; ++i) target[i] = WrapAngle(target[i]);
  } else {
    MatrixFromAngles(&c->viewMatrix, static_cast<uint32_t>(target[0]), static_cast<uint32_t>(target[1]),
                     static_cast<uint32_t>(target[2]));
  }
  for (int i = 0; i < 3; ++i) c->viewAngle[i] = target[i];
}

void FrameCinematic(CockpitRecord* c) {
  const SpaceObject* ref = c->refObject;
  const int64_t loop = c->cinematicLoopTime;
  // A loop time of 0 has no pass to follow: the view stays where it is.
  if (!ref || loop <= 0 || c->cinematicLoopTime > INT32_MAX) return;
  const int64_t t = Elapsed(c->viewStart);
  const int32_t rz = AbsZ(c->viewCameraOffset);
  FixedVector pos;
  if (c->orbitFlags & kOrbitStandsStill) {
    pos = CirclePoint(rz, 0, t, loop);
  } else {
    // A fly-by: z runs from rz/2 to -rz/2 while x bends out to the radius at the middle.
    const double u = static_cast<double>(loop / 2 - t) * 0.707 / static_cast<double>(loop);
    pos.x = TruncateToInt32(((u * u - 1.0) * u * u + 0.25) * ref->radius * 4.0);
    pos.y = 0;
    pos.z = TruncateToInt32(u * 1.4144271612167358 * rz);
    pos.w = 0;
  }
  pos = Turned(pos, 0, 0, c->orbitAngle);
  Store(c->viewPos, pos);
  LookAlong(c, Minus(FixedVector{}, pos));
  if (t < 0 || t >= loop) INS_CockpitSetViewConnectMode(c, kModeCinematic);
}

void FrameWatch(CockpitRecord* c) {
  const SpaceObject* ref = c->refObject;
  if (!ref) return;
  LookAlong(c, Minus(ObjectPosition(ref), Vec(c->viewPos)));
  const int64_t t = Elapsed(c->viewStart);
  if (t < 0 || t > int64_t{c->cinematicLoopTime}) INS_CockpitSetViewConnectMode(c, kModeWatch);
}

void FrameScriptedMove(CockpitRecord* c) {
  if (c->posDuration == 0 || c->viewDuration == 0) return;
  const int64_t posDuration = c->posDuration;
  const int64_t viewDuration = c->viewDuration;
  const int64_t tp = Elapsed(c->posStart);
  FixedVector pos = BetweenVec(c->viewCameraOffset, c->viewCameraOffset2, tp, posDuration);
  if (c->posAngle1[0] || c->posAngle1[1] || c->posAngle1[2]) {
    // posAngle2 is the turn over the whole duration.
    auto angle = [&](int i) {
      return static_cast<uint32_t>(Between(c->posAngle1[i], int64_t{c->posAngle1[i]} + c->posAngle2[i], tp, posDuration));
    };
    pos = Turned(pos, angle(0), 0, 0);
    pos = Turned(pos, 0, angle(1), angle(2));
  }
  int64_t tv = Elapsed(c->viewStart);
  if (tv < 0 || tv > viewDuration) tv = viewDuration;
  if (const SpaceObject* ref = c->refObject) {
    FixedVector turned = pos;
    if (ref->instance) MatrixMulVector(&turned, &ref->instance->matrix, &pos);
    turned.w = 0;
    const FixedVector shift = Minus(Plus(ObjectPosition(ref), turned), pos);
    pos = Plus(pos, shift);
    Store(c->refPos, shift);
  } else {
    pos = Plus(pos, Vec(c->refPos));
  }
  Store(c->viewPos, pos);
  if (c->refViewObject && c->refViewObject->instance) Store(c->refViewPos, c->refViewObject->instance->position);
  const FixedVector point = Plus(BetweenVec(c->viewPointOffset, c->viewPointOffset2, tv, viewDuration), Vec(c->refViewPos));
  Store(c->viewPointPos, point);
  int32_t a, b;
  DirectionAngles(Minus(point, pos), &a, &b);
  c->viewAngleTarget[0] = a;
  c->viewAngleTarget[1] = b;
  // The roll target is not reset: a scripted roll builds up for as long as the move runs.
  for (int i = 0; i < 3; ++i) {
    const int64_t turn = Between(c->viewAngle1[i], c->viewAngle2[i], tv, viewDuration);
    c->viewAngleTarget[i] = SaturateToInt32(c->viewAngleTarget[i] + turn);
  }
}

void FrameScriptedFixed(CockpitRecord* c) {
  FixedVector pos = Vec(c->viewPos);
  if (c->flags & kViewFromRefViewPos) {
    pos = Plus(Vec(c->viewCameraOffset), Vec(c->refViewPos));
  } else if (c->refViewObject && c->refViewObject->instance) {
    pos = Plus(Vec(c->viewCameraOffset), c->refViewObject->instance->position);
  }
  Store(c->viewPos, pos);
  if (!(c->flags & (kViewLooksAtRefObject | kViewUsesRefPos))) return;
  FixedVector look = Vec(c->refPos);
  const SpaceObject* ref = c->refObject;
  if ((c->flags & kViewLooksAtRefObject) && ref) {
    look = ObjectPosition(ref);
    if (c->flags & kViewLookPointTurned) {
      look = Plus(look, Turned(Vec(c->viewCameraOffset), static_cast<uint32_t>(ref->angles[0]),
                               static_cast<uint32_t>(ref->angles[1]), static_cast<uint32_t>(ref->angles[2])));
    }
  }
  LookAlong(c, Minus(look, pos));
}

void FrameScripted(CockpitRecord* c) {
  if (c->flags & (kViewFromRefViewObject | kViewFromRefViewPos)) FrameScriptedFixed(c);
  else FrameScriptedMove(c);
}

// The target nearest the current angle: a whole turn off when that is the shorter way round.
int32_t ShortWay(int32_t target, int32_t current) {
  const int64_t d = int64_t{target} - current;
  if (d > kHalfTurn) return SaturateToInt32(int64_t{target} - kFullTurn);
  if (d < -kHalfTurn) return SaturateToInt32(int64_t{target} + kFullTurn);
  return target;
}

void FrameMove(CockpitRecord* c) {
  const SpaceObject* ref = c->refObject;
  if (!ref && !(c->flags & kViewUsesRefPos)) return;
  c->viewDuration = kMoveMs;
  int64_t s = Elapsed(c->viewStart);
  if (s < 0 || s > kMoveMs) s = 0;
  const FixedVector pos = BetweenVec(c->viewCameraOffset, c->viewCameraOffset2, s, kMoveMs);
  Store(c->viewPos, pos);
  FixedVector point = BetweenVec(c->viewPointOffset, c->viewPointOffset2, s, kMoveMs);
  if (c->flags & kViewAddsLookPoint) point = Plus(point, (c->flags & kViewUsesRefPos) ? Vec(c->refPos) : ObjectPosition(ref));
  int32_t a, b;
  DirectionAngles(Minus(point, pos), &a, &b);
  c->viewAngleTarget[0] = ShortWay(a, c->viewAngle[0]);
  c->viewAngleTarget[1] = ShortWay(b, c->viewAngle[1]);
  c->viewAngleTarget[2] = 0;
}

void FrameOrbit(CockpitRecord* c) {
  if (!c->refObject && !(c->flags & kViewUsesRefPos)) return;
  const int64_t loop = c->cinematicLoopTime;
  if (loop <= 0 || c->cinematicLoopTime > INT32_MAX) return;
  int64_t t = Elapsed(c->viewStart);
  if (t < 0 || t > loop) {
    c->viewStart = Now();
    t = 0;
  }
  const FixedVector pos = CirclePoint(AbsZ(c->viewCameraOffset), c->viewCameraOffset2[2], t, loop);
  Store(c->viewPos, pos);
  LookAlong(c, Minus(FixedVector{}, pos));
}

// One axis of the common tail: accelerate toward the target and stop on it, then let the target
// fall back toward 0.
void ApproachAxis(CockpitRecord* c, int i, int32_t dt) {
  int32_t& current = c->viewAngle[i];
  int32_t& target = c->viewAngleTarget[i];
  int32_t& speed = c->viewAngleSpeed[i];
  const int32_t accel = c->viewAngleAccel;
  if (target > current) {
    int32_t newSpeed = 0, step = 0;
    SolveAccelDistance(SaturateToInt32(int64_t{target} - current), speed, accel, accel, &newSpeed, &step, dt);
    const int64_t next = int64_t{current} + step;
    speed = newSpeed;
    if (next >= target) {
      current = target;
      speed = 0;
    } else {
      current = static_cast<int32_t>(next);
    }
  } else if (target < current) {
    int32_t newSpeed = 0, step = 0;
    SolveAccelDistance(SaturateToInt32(int64_t{current} - target), SaturateToInt32(-int64_t{speed}), accel, accel,
                       &newSpeed, &step, dt);
    const int64_t next = int64_t{current} - step;
    speed = SaturateToInt32(-int64_t{newSpeed});
    if (next <= target) {
      current = target;
      speed = 0;
    } else {
      current = static_cast<int32_t>(next);
    }
  }
  if (c->noDecay) return;
  const int64_t decay = int64_t{dt} * kFullTurn / kDecayPeriodMs;
  if (target > 0) target = static_cast<int32_t>(target > decay ? target - decay : 0);
  else if (target < 0) target = static_cast<int32_t>(-int64_t{target} > decay ? target + decay : 0);
}

// The object's type has no name: such specials are markers, never aims.
bool IsUnnamedSpecial(const SpaceObject* o) {
  if (o->objClass != kClassSpecial) return false;
  const ObjectTypeRecord* row = TypeRow(o->objClass, o->subtype);
  return !row || row->nameTextId == 0;
}

ListHead* SectorObjects(SpaceObject* sector) { return sector ? ObjectChildren(sector) : nullptr; }

// The cockpit position's orientation for the cursor aim: the view turned into the component's
// node (and its parent's frame), or the identity.
FixedMatrix CockpitPositionMatrix(const CockpitRecord* c) {
  FixedMatrix m;
  MatrixSetIdentity(&m);
  if (!HasCockpitPosition(c)) return m;
  const InstanceRecord* node = FindShipComponentNode(c->cockpitNumber, c->cockpitRefObject);
  if (!node) return m;
  MatrixMultiply(&m, &c->viewMatrix, &node->matrix);
  if (node->parent) {
    FixedMatrix withParent;
    MatrixMultiply(&withParent, &m, &node->parent->matrix);
    m = withParent;
  }
  return m;
}

bool OverlayPickQualifies(const SpaceObject* o, const SpaceObject* carrier) {
  return o && o != carrier && !(o->flags & kAimSkipFlags) && !(o->flags2 & kAimSkipFlags2) && !IsUnnamedSpecial(o);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scenes.

void CockpitCreateScene(CockpitRecord* cockpit) {
  SceneRecord* scene = B3D_SceneAlloc();
  cockpit->scene = scene;
  if (!scene) return;
  B3D_SceneSetName(scene, "Cockpit Scene");
  scene->systemScale = kCockpitSceneScale;
  if (CameraRecord* camera = B3D_CameraAlloc()) {
    cockpit->camera = camera;
    camera->cameraFlags |= kMainCameraFlags;
    B3D_CameraSetPri(camera, kMainCameraPriority);
    B3D_CameraAddToScene(camera, scene);
    B3D_InstSetPos(&camera->instance, 0, 0, 0);
    MatrixFromAngles(&camera->instance.matrix, 0, 0, 0);
  }
  for (InstanceRecord*& light : cockpit->instances) {
    light = B3D_LightAlloc();
    if (!light) continue;
    B3D_InstSetPos(light, 0, 0, kCockpitLightZ);
    B3D_LightSetColor(light, kCockpitLightLevel, kCockpitLightLevel, kCockpitLightLevel);
    light->flags |= kInstLightRankedHigh;
    MatrixFromAngles(&light->matrix, 0, 0, 0);
  }
}

namespace {

// A scene that is not saved, with one camera at the origin.
void CreateOverlayScene(const char* name, int32_t priority, SceneRecord** sceneOut, CameraRecord** cameraOut) {
  SceneRecord* scene = B3D_SceneAlloc();
  *sceneOut = scene;
  if (!scene) return;
  B3D_SceneSetName(scene, name);
  scene->systemScale = kCockpitSceneScale;
  scene->flags |= kSceneNotSaved;
  CameraRecord* camera = B3D_CameraAlloc();
  *cameraOut = camera;
  if (!camera) return;
  B3D_CameraSetPri(camera, priority);
  B3D_CameraAddToScene(camera, scene);
  B3D_InstSetPos(&camera->instance, 0, 0, 0);
  MatrixSetIdentity(&camera->instance.matrix);
}

}  // namespace

void CockpitCreateTooltipScene(TooltipRecord* tooltip) {
  CreateOverlayScene("Tooltip Scene", kTooltipCameraPriority, &tooltip->scene, &tooltip->camera);
  // Made again by every cockpit's initialiser, so a save never carries it.
  if (tooltip->camera) tooltip->camera->instance.flags2 |= kInst2NotSaved;
}

void CockpitCreateTargetOverlayScene(OverlayIconList* list, CockpitRecord* cockpit) {
  list->cockpit = cockpit;
  list->camera = nullptr;
  for (uint8_t& byte : list->reserved) byte = 0;
  CreateOverlayScene("Cockpit Target Overlay Scene", kOverlayCameraPriority, &list->scene, &list->camera);
}

// ---------------------------------------------------------------------------------------------
// Connect modes.

void INS_CockpitSetViewConnectMode(CockpitRecord* cockpit, uint32_t mode) {
  cockpit->viewConnectMode = mode;
  switch (mode) {
    case kModeCockpitPosition: {
      const SpaceObject* ship = cockpit->cockpitRefObject;
      if (cockpit->viewMode != 1 || !IsShip(ship)) break;
      int32_t a = 0, b = 0;
      if (!ComponentAngles(ship, cockpit->cockpitNumber, &a, &b)) a = b = 0;
      cockpit->viewAngleTarget[0] = cockpit->viewAngle[0] = a;
      cockpit->viewAngleTarget[1] = cockpit->viewAngle[1] = b;
      cockpit->viewAngleTarget[2] = cockpit->viewAngle[2] = 0;
      break;
    }
    case kModeCinematic: {
      cockpit->viewStart = Now();
      const bool still = cockpit->refObject && cockpit->refObject->speed == 0;
      if (still) cockpit->orbitFlags |= kOrbitStandsStill;
      else cockpit->orbitFlags &= ~kOrbitStandsStill;
      cockpit->orbitAngle = DrawOrbitAngle();
      break;
    }
    case kModeWatch:
      cockpit->viewStart = Now();
      cockpit->orbitAngle = DrawOrbitAngle();
      INS_CockpitRefreshViewConnectMode(cockpit);
      break;
    case kModeScripted:
      cockpit->viewStart = cockpit->posStart = Now();
      break;
    case kModeMove:
    case kModeOrbit:
      cockpit->viewStart = Now();
      break;
    default:
      break;
  }
}

void INS_CockpitRefreshViewConnectMode(CockpitRecord* cockpit) {
  const SpaceObject* ref = cockpit->refObject;
  if (cockpit->viewConnectMode != kModeWatch || !ref) return;
  FixedVector pos = Turned(FixedVector{ref->radius, 0, AbsZ(cockpit->viewCameraOffset), 0}, 0, 0, cockpit->orbitAngle);
  if (ref->instance) {
    FixedVector turned;
    MatrixMulVector(&turned, &ref->instance->matrix, &pos);
    turned.w = 0;
    pos = Plus(turned, ref->instance->position);
  }
  Store(cockpit->viewPos, pos);
}

void UpdateCockpitView(CockpitRecord* cockpit) {
  switch (cockpit->viewConnectMode) {
    case kModeTrack: FrameTrack(cockpit); break;
    case kModeFollowPosition: FrameFollowPosition(cockpit); break;
    case kModeLookAt: FrameLookAt(cockpit); break;
    case kModeCinematic: FrameCinematic(cockpit); break;
    case kModeWatch: FrameWatch(cockpit); break;
    case kModeScripted: FrameScripted(cockpit); break;
    case kModeMove: FrameMove(cockpit); break;
    case kModeOrbit: FrameOrbit(cockpit); break;
    default: cockpit->viewConnectMode = kModeCockpitPosition; break;
  }
  if (cockpit->viewLocked) {
    for (int i = 0; i < 3; ++i) cockpit->viewAngle[i] = cockpit->viewAngleTarget[i];
  } else {
    const int32_t dt = FrameMs();
    for (int i = 0; i < 3; ++i) ApproachAxis(cockpit, i, dt);
  }
  MatrixFromAngles(&cockpit->viewMatrix, static_cast<uint32_t>(cockpit->viewAngle[0]),
                   static_cast<uint32_t>(cockpit->viewAngle[1]), static_cast<uint32_t>(cockpit->viewAngle[2]));
}

// ---------------------------------------------------------------------------------------------
// View point and aims.

int64_t RoundedDistance(const FixedVector* a, const FixedVector* b) {
  const double x = double(b->x) - a->x, y = double(b->y) - a->y, z = double(b->z) - a->z;
  return std::llround(std::sqrt(x * x + y * y + z * z));
}

void CockpitViewPoint(const CockpitRecord* cockpit, FixedVector* point) {
  *point = FixedVector{};
  const SpaceObject* carrier = cockpit->cockpitRefObject;
  if (!carrier) return;
  if (HasCockpitPosition(cockpit)) ObjGetWorldPosition(carrier, cockpit->cockpitNumber, point);
  else if (carrier->instance) *point = carrier->instance->position;
  point->w = 0;
}

SpaceObject* INS_CockpitGetEnemyAim(const CockpitRecord* cockpit) {
  const SpaceObject* carrier = cockpit->cockpitRefObject;
  ListHead* objects = SectorObjects(cockpit->sectorSpace);
  if (!carrier || !objects) return nullptr;
  FixedVector eye;
  CockpitViewPoint(cockpit, &eye);
  SpaceObject* best = nullptr;
  int64_t bestDistance = kAimRange;
  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if (o == carrier || (o->flags & kAimSkipFlags) || (o->flags2 & kAimSkipFlags2)) continue;
    if (!ObjIsHostile(o, carrier)) continue;
    const FixedVector at = ObjectPosition(o);
    const int64_t d = RoundedDistance(&eye, &at);
    if (d < bestDistance) {
      best = o;
      bestDistance = d;
    }
  }
  return best;
}

SpaceObject* INS_CockpitGetCursorAim(const CockpitRecord* cockpit, int32_t x, int32_t y, bool flag) {
  const SpaceObject* carrier = cockpit->cockpitRefObject;
  ListHead* objects = SectorObjects(cockpit->sectorSpace);
  if (!carrier || !objects) return nullptr;
  FixedVector eye;
  CockpitViewPoint(cockpit, &eye);
  const FixedMatrix position = CockpitPositionMatrix(cockpit);

  if (cockpit->overlay.icons) {
    int32_t px = x, py = y;
    if (x < 0 || y < 0) {
      const DeviceViewport* view = cockpit->camera ? cockpit->camera->viewport : nullptr;
      px = view ? static_cast<int32_t>(view->x + view->width / 2) : 0;
      py = view ? static_cast<int32_t>(view->y + view->height / 2) : 0;
    }
    SpaceObject* picked = INS_CockpitGetObjectByTargetOverlayIconPos(cockpit, px, py);
    if (OverlayPickQualifies(picked, carrier)) return picked;
  }

  // Without a sector camera no screen point can be turned into a direction: the view's own line.
  FixedMatrix look;
  MatrixMultiply(&look, &cockpit->viewMatrix, &position);
  if (x >= 0 && y >= 0 && cockpit->sectorCamera) {
    FixedVector v;
    CameraUnproject(cockpit->sectorCamera, x, y, kCursorDepth, &v);
    int32_t a, b;
    DirectionAngles(v, &a, &b);
    FixedMatrix turn, turned;
    MatrixFromAngles(&turn, static_cast<uint32_t>(a), static_cast<uint32_t>(b), 0);
    MatrixMultiply(&turned, &turn, &cockpit->viewMatrix);
    MatrixMultiply(&look, &turned, &position);
  }

  SpaceObject* answer = nullptr;
  int64_t best = kAimRange;
  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if ((o->flags & kCursorSkipRemoving) || (o->flags & kCursorSkipFlags) || o == carrier) continue;
    if ((o->flags2 & kAimSkipFlags2) || IsUnnamedSpecial(o)) continue;
    const FixedVector v = InFrame(look, Minus(ObjectPosition(o), eye));
    if (v.z < 0) continue;
    const int64_t d = RoundedLength(v);
    const int64_t r = o->radius;
    const int64_t ax = std::llabs(int64_t{v.x});
    const int64_t ay = std::llabs(int64_t{v.y});
    bool hit;
    if (flag) hit = v.z >= ((d * kCosTenDegrees) >> 16) || (ax <= 3 * r / 4 && ay <= 3 * r / 4);
    else hit = ax <= r / 2 && ay <= r / 2;
    if (!hit) continue;
    if (d < best) {
      answer = o;
      best = d;
    } else if (best == kAimRange && d <= kNearRadii * r) {
      answer = o;
    }
  }
  return answer;
}
