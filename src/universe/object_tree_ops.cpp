// Collision shapes and type sounds over object trees (see object_tree_ops.h; the two tree walks
// are declared in universe.h). Each walk descends into every object that owns a child list.
// Called by the body command, the save loader and the sound reset; never changes an object.
#include "universe/object_tree_ops.h"

#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_records.h"
#include "universe/model_instances.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kMissileShape[3] = {20 << 16, 10 << 16, 10 << 16};  // 16.16
constexpr int32_t kBoxOwnTree = 1;

template <typename Fn>
void ForTree(SpaceObject* object, Fn fn) {
  if (!object) return;
  fn(object);
  ListHead* children = ObjectChildren(object);
  if (!children) return;
  for (SpaceObject* child = ObjectListFirst(children); child; child = ObjectListNext(child)) {
    ForTree(child, fn);
  }
}

void RebuildBulletShape(SpaceObject* bullet, InstanceRecord* inst) {
  const ObjectTypeRecord* row = TypeRow(kClassBullet, bullet->subtype);
  const auto* ext = static_cast<const BulletExt*>(bullet->ext);
  const uint32_t flags = row ? row->bullet.flags : 0;
  const int32_t a = row ? row->bullet.shapeSizeA : 0, b = row ? row->bullet.shapeSizeB : 0;
  const int32_t scale = ext ? ext->collisionSize : 0;
  if (flags & kBulletBeam) InstMakeTwoTriangleCollision(inst, a, b, scale);
  else if (flags & kBulletOctahedron) InstMakeOctahedronCollision(inst, a, b, scale);
  else if (flags & kBulletBoxTree) B3D_InstMakeRapidBox(inst, 0);
  else InstMakeTwoTriangleCollision(inst, a, b, scale);
}

void RebuildShape(SpaceObject* o) {
  InstanceRecord* inst = o->instance;
  if (!inst) return;
  switch (o->objClass) {
    case kClassSector:
    case kClassSun: return;
    case kClassBullet: RebuildBulletShape(o, inst); break;
    case kClassSpecial: B3D_InstMakeRapidBox(inst, 0); break;
    case kClassMissile:
      if (o->flags & kObjFlagArmed) InstMakeOctahedronCollision(inst, kMissileShape[0], kMissileShape[1], kMissileShape[2]);
      else B3D_InstMakeRapidBox(inst, kBoxOwnTree);
      break;
    default: B3D_InstMakeRapidBox(inst, kBoxOwnTree); break;
  }
  RebuildModelRapidBoxes(inst);
}

int32_t TypeSound(const SpaceObject* o) {
  const ObjectTypeRecord* row = TypeRow(o->objClass, o->subtype);
  if (!row) return 0;
  switch (o->objClass) {
    case kClassBullet: return row->bullet.sound;
    case kClassDock:
    case kClassFactory: return row->station.sound;
    case kClassShip: return row->ship.sound;
    case kClassMissile: return row->missile.sound;
    default: return 0;
  }
}

}  // namespace

void RebuildModelRapidBoxes(InstanceRecord* instance) {
  if (!instance) return;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (child->collisionMask & kModelNodeBuilt) B3D_InstMakeRapidBox(child, 0);
    RebuildModelRapidBoxes(child);
  }
}

void RebuildObjectTreeCollision(SpaceObject* object) { ForTree(object, RebuildShape); }

void ApplyTypeSoundToObjectTree(SpaceObject* object) {
  ForTree(object, [](SpaceObject* o) {
    const int32_t sound = o->instance ? TypeSound(o) : 0;
    if (sound != 0) InstSetSound(o->instance, sound);
  });
}

void ApplyTypeSoundToAllObjects() {
  if (!gUniverse) return;
  for (SpaceObject* o = ObjectListFirst(&gUniverse->objects); o; o = ObjectListNext(o)) ApplyTypeSoundToObjectTree(o);
}
