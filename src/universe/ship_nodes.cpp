// Ship nodes and the ware test (see ship_nodes.h). Every turret, gun and component index is
// checked against the type row before it is read.
#include "universe/ship_nodes.h"

#include "scene/instance.h"
#include "scene/instance_records.h"
#include "universe/missile_services.h"
#include "universe/object_placement.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

const ShipType* ShipTypeOf(const SpaceObject* ship) {
  if (!ship || ship->objClass != kClassShip) return nullptr;
  const ObjectTypeRecord* row = TypeRow(kClassShip, ship->subtype);
  return row ? &row->ship : nullptr;
}

bool IsNode(const InstanceRecord* instance, int32_t body, int32_t path) {
  return instance->bodyId == body && instance->nodeId == path;
}

InstanceRecord* FindChild(InstanceRecord* parent, int32_t body, int32_t path) {
  for (ListNode* node = ListFirst(&parent->children); node; node = ListNext(node)) {
    auto* child = ListRecord<InstanceRecord>(node);
    if (IsNode(child, body, path)) return child;
  }
  return nullptr;
}

// The instance itself or its first child with the body and path.
InstanceRecord* FindNode(InstanceRecord* instance, int32_t body, int32_t path) {
  if (!instance) return nullptr;
  return IsNode(instance, body, path) ? instance : FindChild(instance, body, path);
}

bool IsGunDummyBody(int32_t body) {
  const DummyKindTable& guns = gDummyTable.kinds[kDummyKindGun];
  for (int32_t i = 0; i < guns.count && guns.rows; ++i) {
    if (guns.rows[i].body == body) return true;
  }
  return false;
}

}  // namespace

InstanceRecord* FindShipGunNode(const SpaceObject* ship, int32_t turret, int32_t gun) {
  const ShipType* type = ShipTypeOf(ship);
  if (!type) return nullptr;
  if (type->componentCount <= 0) return ship->instance;
  if (turret < 0 || turret >= type->turretCount) return nullptr;
  const ShipTurretRow& row = type->turrets[turret];
  if (gun < 0 || gun >= row.gunCount) return nullptr;
  const TurretGunRow& g = row.gun[gun];
  InstanceRecord* first = FindNode(ship->instance, g.gunBody, g.gunPath);
  if (!first || g.gunPath2 < 0 || g.gunBody2 < 1 || !IsGunDummyBody(first->bodyId)) return first;
  InstanceRecord* second = FindChild(first, g.gunBody2, g.gunPath2);
  return second ? second : first;
}

bool FindNearestGunPosition(const SpaceObject* target, const FixedVector* from, FixedVector* out) {
  if (!target || !target->instance || !out) return false;
  // Without a gun node (no ship type, or no node found) the target's own place is the aim point.
  *out = target->instance->world;
  const ShipType* type = ShipTypeOf(target);
  if (!type || !from) return true;
  int32_t nearest = 0;
  bool found = false;
  for (int32_t t = 0; t < type->turretCount; ++t) {
    for (int32_t g = 0; g < type->turrets[t].gunCount; ++g) {
      const InstanceRecord* node = FindShipGunNode(target, t, g);
      if (!node) continue;
      // The first of equally near guns is kept.
      const int32_t d = GetDistance(from, &node->world);
      if (found && d >= nearest) continue;
      nearest = d;
      found = true;
      *out = node->world;
    }
  }
  return true;
}

InstanceRecord* FindShipComponentNode(int32_t component, const SpaceObject* ship) {
  const ShipType* type = ShipTypeOf(ship);
  if (!type) return nullptr;
  if (type->componentCount <= 0) return ship->instance;
  if (component < 0 || component >= type->componentCount) return nullptr;
  const ShipComponentRow& row = type->components[component];
  return FindNode(ship->instance, row.nodeBody, row.nodePath);
}

void ShipSetGunNodeFlag(int32_t laserSlot, SpaceObject* ship, bool on) {
  const ShipType* type = ShipTypeOf(ship);
  if (!type) return;
  for (int32_t t = 0; t < type->turretCount; ++t) {
    const ShipTurretRow& row = type->turrets[t];
    if (laserSlot < row.firstSlot || laserSlot - row.firstSlot >= row.slotCount) continue;
    InstanceRecord* node = FindShipGunNode(ship, t, laserSlot - row.firstSlot);
    if (!node) return;
    if (on) node->flags |= kGunNodeFiringFlag;
    else node->flags &= ~kGunNodeFiringFlag;
    return;
  }
}

int32_t GetComponentNodeTransform(int32_t body, const SpaceObject* object, int32_t out[12]) {
  for (int i = 0; i < 12; ++i) out[i] = 0;
  out[0] = out[4] = out[8] = 65536;
  const ShipType* type = ShipTypeOf(object);
  const InstanceRecord* node = nullptr;
  for (int32_t k = 0; type && k < type->componentCount && !node; ++k) {
    if (type->components[k].nodeBody == body) node = FindShipComponentNode(k, object);
  }
  if (!node) return 0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out[r * 3 + c] = node->matrix.m[r][c];
  }
  out[9] = node->position.x;
  out[10] = node->position.y;
  out[11] = node->position.z;
  return 1;
}

void ObjFollowCarrierNode(SpaceObject* bullet) {
  if (!bullet || bullet->objClass != kClassBullet || !bullet->ext || !bullet->instance) return;
  const ObjectTypeRecord* row = TypeRow(kClassBullet, bullet->subtype);
  if (!row || !(row->bullet.flags & kBulletFlagCarried)) return;
  const auto* ext = static_cast<const BulletExt*>(bullet->ext);
  InstanceRecord* emitter = ext->firedBy ? ext->firedBy->instance : nullptr;
  if (!emitter) return;
  GetInstanceAbsMatrix(emitter, &emitter->worldMatrix);
  GetInstanceAbsPos(emitter, &emitter->world);
  InstanceRecord* shot = bullet->instance;
  shot->position.x = SaturateToInt32(int64_t{ext->carriedOffset.x} + emitter->world.x);
  shot->position.y = SaturateToInt32(int64_t{ext->carriedOffset.y} + emitter->world.y);
  shot->position.z = SaturateToInt32(int64_t{ext->carriedOffset.z} + emitter->world.z);
  shot->world = shot->position;
  shot->worldMatrix = shot->matrix;
}
