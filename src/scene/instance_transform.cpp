// Instance transforms: position, rotation, scale and size setters, the cached subtree size, the
// world tree, camera-space coordinates and heading alignment. Called by the natives, jobs, takes
// and the frame driver's matrix pass. Every 16.16 product goes through 64 bits and every result
// that could leave 32 bits saturates, so large worlds never wrap.
#include <algorithm>

#include "render/device_lights.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/scene_records.h"

namespace {

constexpr int64_t kNearDistanceFactor = 6;
constexpr int64_t kNearDistanceBase = 37000;
constexpr uint32_t kHalfTurn = 32768;
constexpr uint32_t kQuarterTurn = 16384;
constexpr uint32_t kThreeQuarterTurn = 49152;

int64_t Round16(int64_t a, int64_t b) { return (a * b + 0x8000) >> 16; }

// The rows of `matrix` dotted with (point - origin), each product rounded, as a vector.
FixedVector RotateInto(const FixedMatrix& matrix, const FixedVector& point, const FixedVector& origin) {
  const int64_t d[3] = {int64_t{point.x} - origin.x, int64_t{point.y} - origin.y, int64_t{point.z} - origin.z};
  int32_t out[3];
  for (int row = 0; row < 3; ++row) {
    int64_t sum = 0;
    for (int c = 0; c < 3; ++c) sum += Round16(matrix.m[row][c], d[c]);
    out[row] = SaturateToInt32(sum);
  }
  return FixedVector{out[0], out[1], out[2], 0};
}

void SetScaleOne(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) {
  instance->scale = FixedVector{x, y, z, 0};
  instance->scaledSize = SaturateToInt32(Round16(instance->size, std::max({x, y, z})));
  instance->subtreeSize = -1;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (child->flags & kInstScaledWithParent) SetScaleOne(child, x, y, z);
  }
}

void ScaleChildSizes(InstanceRecord* instance, int32_t size, int32_t oldSize) {
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    child->size = MulDiv(child->size, size, oldSize);
    ScaleChildSizes(child, size, oldSize);
  }
}

// Angle16 of (x, y) from the arctangent table: 0 along +x, a quarter turn along +y.
uint32_t HeadingOf(int32_t x, int32_t y) {
  if (x == 0 && y == 0) return 0;
  const int64_t ax = x < 0 ? -int64_t{x} : x;
  const int64_t ay = y < 0 ? -int64_t{y} : y;
  const bool xMajor = ax >= ay;
  const int64_t ratio = xMajor ? (ay << 16) / ax : (ax << 16) / ay;  // at most 1.0
  const uint32_t base = ArcTanTable[ratio];
  uint32_t angle;
  if (xMajor) {
    if (x > 0) angle = y >= 0 ? base : 0x10000 - base;
    else angle = y >= 0 ? kHalfTurn - base : kHalfTurn + base;
  } else {
    if (y > 0) angle = x >= 0 ? kQuarterTurn - base : kQuarterTurn + base;
    else angle = x < 0 ? kThreeQuarterTurn - base : kThreeQuarterTurn + base;
  }
  return angle & 0xFFFF;
}

}  // namespace

void B3D_InstSetPos(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) {
  instance->position.x = x;
  instance->position.y = y;
  instance->position.z = z;
}

void B3D_InstSetRot(InstanceRecord* instance, int32_t a, int32_t b, int32_t c) {
  MatrixFromAngles(&instance->matrix, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c));
}

void B3D_InstCopyRot(InstanceRecord* to, const InstanceRecord* from) { to->matrix = from->matrix; }

void B3D_InstSetScale(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) { SetScaleOne(instance, x, y, z); }

void InstSetScaleTree(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) {
  B3D_InstSetScale(instance, x, y, z);
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (!(child->flags & kInstScaledWithParent)) InstSetScaleTree(child, x, y, z);
  }
}

bool B3D_InstSetSize(InstanceRecord* instance, int32_t size) {
  const bool hasChildren = !ListIsEmpty(&instance->children);
  if (hasChildren && instance->size == 0) return false;  // no ratio to rescale the children by
  if (hasChildren) ScaleChildSizes(instance, size, instance->size);
  instance->size = size;
  instance->scale = FixedVector{kFixedOne, kFixedOne, kFixedOne, instance->scale.w};
  instance->scaledSize = size;
  instance->subtreeSize = -1;
  return true;
}

int32_t B3D_InstGetTotalSize(InstanceRecord* instance) {
  if (instance->subtreeSize >= 0) return instance->subtreeSize;
  int64_t total = instance->scaledSize;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    const int64_t t = B3D_InstGetTotalSize(child);
    const int32_t position[3] = {child->position.x, child->position.y, child->position.z};
    for (int32_t p : position) {
      const int64_t offset = (child->flags & kInstScaledWithParent) ? Round16(p, instance->size) : p;
      total = std::max({total, t + offset, t - offset});
    }
  }
  instance->subtreeSize = SaturateToInt32(total);
  return instance->subtreeSize;
}

int32_t InstNearDistance(InstanceRecord* instance) {
  return SaturateToInt32(int64_t{B3D_InstGetTotalSize(instance)} * kNearDistanceFactor + kNearDistanceBase);
}

void InstInvalidateSize(InstanceRecord* instance) { instance->subtreeSize = -1; }

void GetInstanceAbsMatrix(const InstanceRecord* instance, FixedMatrix* out) {
  *out = instance->matrix;
  for (const InstanceRecord* a = instance->parent; a; a = a->parent) {
    FixedMatrix product = *out;
    MatrixMultiply(&product, out, &a->matrix);
    *out = product;
  }
}

void GetInstanceAbsPos(const InstanceRecord* instance, FixedVector* out) {
  *out = instance->position;
  for (const InstanceRecord* a = instance->parent; a; a = a->parent) {
    FixedVector rotated = *out;
    MatrixMulVector(&rotated, &a->matrix, out);
    out->x = SaturateToInt32(int64_t{rotated.x} + a->position.x);
    out->y = SaturateToInt32(int64_t{rotated.y} + a->position.y);
    out->z = SaturateToInt32(int64_t{rotated.z} + a->position.z);
  }
}

void InstUpdateWorldTree(InstanceRecord* parent) {
  const int32_t sizeVector[3] = {parent->size, parent->sizeVector[0], parent->sizeVector[1]};
  const int32_t scale[3] = {parent->scale.x, parent->scale.y, parent->scale.z};
  const int32_t parentWorld[3] = {parent->world.x, parent->world.y, parent->world.z};
  for (InstanceRecord* child = InstFirstChild(parent); child; child = InstNextSibling(child)) {
    MatrixMulVector(&child->world, &parent->worldMatrix, &child->position);
    int32_t* world[3] = {&child->world.x, &child->world.y, &child->world.z};
    for (int a = 0; a < 3; ++a) {
      int64_t w = *world[a];
      if (!(parent->flags & kInstNoChildScale)) w = Round16(w, scale[a]);
      if (child->flags & kInstScaledWithParent) w = Round16(w, sizeVector[a]);
      *world[a] = SaturateToInt32(w + parentWorld[a]);
    }
    if (child->flags & kInstOwnMatrixBits) child->worldMatrix = child->matrix;
    else MatrixMultiply(&child->worldMatrix, &parent->worldMatrix, &child->matrix);
    InstUpdateWorldTree(child);
  }
}

void InstUpdateCameraCoords(InstanceRecord* instance, const InstanceRecord* camera) {
  if (instance->flags2 & kInst2WorldFromCamera) {
    instance->world.x = SaturateToInt32(int64_t{instance->position.x} + camera->position.x);
    instance->world.y = SaturateToInt32(int64_t{instance->position.y} + camera->position.y);
    instance->world.z = SaturateToInt32(int64_t{instance->position.z} + camera->position.z);
  }
  instance->flags |= kInstCameraCoordsDone;
  const FixedVector cameraPos = RotateInto(camera->matrix, instance->world, camera->position);
  instance->cameraPos.x = cameraPos.x;
  instance->cameraPos.y = cameraPos.y;
  instance->cameraPos.z = cameraPos.z;
  if (instance->soundSample > 0) {
    const FixedVector v = RotateInto(camera->matrix, instance->velocity, camera->velocity);
    instance->cameraVelocity.x = v.x;
    instance->cameraVelocity.y = v.y;
    instance->cameraVelocity.z = v.z;
  }
  if (instance->flags & kInstLight) LightUpdateD3DPosition(instance);
  const bool far = cameraPos.x > kInstFarDistance || cameraPos.y > kInstFarDistance || cameraPos.z > kInstFarDistance;
  if (far) instance->flags2 |= kInst2Far;
  else instance->flags2 &= ~kInst2Far;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    InstUpdateCameraCoords(child, camera);
  }
}

void WorldToInstanceLocal(InstanceRecord* record, const InstanceRecord* instance) {
  const FixedVector local = RotateInto(instance->matrix, record->world, instance->position);
  record->cameraPos.x = local.x;
  record->cameraPos.y = local.y;
  record->cameraPos.z = local.z;
}

void InstAlignHeading(InstanceRecord* instance) {
  for (ListNode *node = ListFirst(&instance->children), *next; node; node = next) {
    next = ListNext(node);
    InstAlignHeading(InstanceOfNode(node));
  }
  if (!(instance->flags & kInstHeadingFollows) || !instance->parent || !instance->parent->scene) return;
  MatrixFromAngles(&instance->matrix, 0, 0, HeadingOf(instance->cameraPos.x, instance->cameraPos.y));
}

void SceneAlignHeadings(SceneRecord* scene) {
  if (!scene) return;
  for (ListNode *node = ListFirst(&scene->members), *next; node; node = next) {
    next = ListNext(node);
    InstAlignHeading(InstanceOfNode(node));
  }
}

void InstInheritScene(InstanceRecord* instance) {
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    child->scene = instance->scene;
    InstInheritScene(child);
  }
}
