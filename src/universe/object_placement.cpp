// Geometry on space objects: positions and transforms through the scene nodes, distances, the
// nearest-hostile searches, overlap tests and safe placement, the ring side, turning toward a
// point and the beam visual of beam bullets. Called by the script natives, the simulation and the
// HUD. It looks only at the object's own sector, creates no object, and bounds every retry: a
// placement that cannot succeed fails instead of looping.
#include "universe/object_placement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "universe/object_math.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kObjFlagDead = kObjFlagNoHull;  // bit 30
constexpr uint32_t kObjFlagNoOverlap = kObjFlagBit10;
constexpr int32_t kTurnDotLimit = 65339;  // about 3.5 degrees off the forward axis
constexpr int32_t kSafePosSlack = 100000;
constexpr uint32_t kBulletFlagBeam = 2;
constexpr int32_t kBeamFullIntensity = 255;
constexpr int32_t kBeamFlickerDepth = 13107;  // 20 % of 65536

int64_t Distance64(const FixedVector& a, const FixedVector& b) {
  const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
               dz = static_cast<double>(a.z) - b.z;
  return static_cast<int64_t>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

FixedVector Row(const FixedMatrix& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2], 0}; }

SpaceObject* SectorOf(const SpaceObject* object) {
  return ObjIsInSector(object) ? object->parent : nullptr;
}

// The node position objects of a sector are compared by; null for an object without a node.
const FixedVector* NodePosition(const SpaceObject* object) {
  return object && object->instance ? &object->instance->position : nullptr;
}

// x times `s` in 16.16, summed over the three rows: the point at (a, b, c) in the object's frame.
FixedVector OffsetInFrame(const FixedMatrix& m, int32_t a, int32_t b, int32_t c) {
  FixedVector out;
  int32_t* coordinate[3] = {&out.x, &out.y, &out.z};
  for (int k = 0; k < 3; ++k) {
    *coordinate[k] = SaturateToInt32(int64_t{FixedMul(a, m.m[0][k])} + FixedMul(b, m.m[1][k]) + FixedMul(c, m.m[2][k]));
  }
  out.w = 0;
  return out;
}

const FixedMatrix* NodeRotation(const SpaceObject* object) {
  if (ObjIsInSector(object)) return GetObjectRotationMatrix(object);
  return object->instance ? &object->instance->worldMatrix : nullptr;
}

// The turret row that holds ship component n's node, or null.
const TurretRow* ComponentRow(const SpaceObject* object, int32_t component) {
  if (!object || object->objClass != kClassShip || !object->ext) return nullptr;
  if (component < 0 || component >= ShipGetComponentCount(object)) return nullptr;
  const int32_t turret = ShipComponentValue(object->subtype, component);
  if (turret < 0 || turret >= kShipTurretCapacity || turret >= GetShipTurretCount(object)) return nullptr;
  return &static_cast<const ShipExt*>(object->ext)->turrets[turret];
}

// A random direction of the placement searches: each coordinate -5000..4999, never all zero.
FixedVector RandomDirection() {
  FixedVector d;
  d.x = static_cast<int16_t>(GameRand() * 10000 / 32768) - 5000;
  d.y = static_cast<int16_t>(GameRand() * 10000 / 32768) - 5000;
  d.z = static_cast<int16_t>(GameRand() * 10000 / 32768) - 5000;
  d.w = 0;
  if (d.x == 0 && d.y == 0 && d.z == 0) d.y = 1000;
  return d;
}

template <typename Accept>
SpaceObject* NearestHostile(const SpaceObject* context, const FixedVector* from, const SpaceObject* except,
                            int32_t limit, Accept accept) {
  SpaceObject* sector = SectorOf(context);
  if (!sector || !from) return nullptr;
  SpaceObject* best = nullptr;
  int64_t bound = limit;
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector)); o; o = ObjectListNext(o)) {
    if (o == context || o == except || (o->flags & kObjFlagDead) || !NodePosition(o)) continue;
    if (!ObjIsHostile(o, context) || !accept(o)) continue;
    const int64_t d = Distance64(*NodePosition(o), *from);
    if (d < bound) {
      bound = d;
      best = o;
    }
  }
  return best;
}

enum class BoundaryStep { Inside, Moved, Impossible };

// Keeps the object inside a boundary special: moved back to (boundary radius - 2 x own radius)
// from its centre when it lies beyond the radius.
BoundaryStep KeepInsideBoundary(SpaceObject* object, const SpaceObject* boundary) {
  FixedVector& p = object->instance->position;
  const FixedVector& c = boundary->instance->position;
  const int64_t distance = Distance64(p, c);
  if (distance <= boundary->radius) return BoundaryStep::Inside;
  const int64_t target = int64_t{boundary->radius} - 2 * int64_t{object->radius};
  if (target < 0) return BoundaryStep::Impossible;  // the object does not fit inside
  const double scale = static_cast<double>(target) / static_cast<double>(distance);
  p.x = TruncateToInt32(c.x + (static_cast<double>(p.x) - c.x) * scale);
  p.y = TruncateToInt32(c.y + (static_cast<double>(p.y) - c.y) * scale);
  p.z = TruncateToInt32(c.z + (static_cast<double>(p.z) - c.z) * scale);
  return BoundaryStep::Moved;
}

bool SkippedByOverlap(const SpaceObject* o) {
  return o->objClass == kClassPlanet || o->objClass == kClass21 || o->objClass == kClassCamera ||
         (o->flags & kObjFlagNoOverlap) || !o->instance;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Vectors, positions and transforms.

int32_t GetVectorLength(const FixedVector* v) {
  if (!v) return 0;
  const FixedVector zero{};
  return SaturateToInt32(Distance64(*v, zero));
}

int32_t GetDistance(const FixedVector* a, const FixedVector* b) {
  return a && b ? SaturateToInt32(Distance64(*a, *b)) : 0;
}

bool ObjComponentOffset(const SpaceObject* object, int32_t component, FixedVector* offset) {
  const TurretRow* row = ComponentRow(object, component);
  if (offset) *offset = row ? row->offset : FixedVector{};
  return row != nullptr;
}

bool ObjGetWorldTransform(const SpaceObject* object, int32_t component, ObjectTransform* transform) {
  ObjectTransform t{};
  MatrixSetIdentity(&t.rotation);
  bool used = false;
  if (object && object->instance) {
    const FixedMatrix* rotation = NodeRotation(object);
    if (rotation) t.rotation = *rotation;
    t.position = ObjIsInSector(object) ? object->instance->position : object->instance->world;
    if (const TurretRow* row = ComponentRow(object, component)) {
      FixedVector offset;
      MatrixMulVector(&offset, &t.rotation, &row->offset);
      AddVectorTo(&t.position, &offset);
      FixedMatrix combined;
      MatrixMultiply(&combined, &row->nodeMatrix, &t.rotation);
      t.rotation = combined;
      used = true;
    }
  }
  t.position.w = 0;
  if (transform) *transform = t;
  return used;
}

bool ObjGetWorldPosition(const SpaceObject* object, int32_t component, FixedVector* position) {
  ObjectTransform t;
  const bool used = ObjGetWorldTransform(object, component, &t);
  if (position) *position = t.position;
  return used;
}

void ObjRelativeTransform(const SpaceObject* a, const SpaceObject* b, FixedVector* out) {
  FixedVector rel{};
  const FixedVector* pa = NodePosition(a);
  const FixedVector* pb = NodePosition(b);
  if (pa && pb) {
    const FixedVector d = {pa->x - pb->x, pa->y - pb->y, pa->z - pb->z, 0};
    const FixedMatrix* frame = GetObjectRotationMatrix(b);
    if (frame) MatrixTransposeMulVector(&rel, frame, &d);
    else rel = d;
  }
  rel.w = 0;
  if (out) *out = rel;
}

int32_t ShipComponentDistance(int32_t n, const SpaceObject* ship, const SpaceObject* other) {
  FixedVector from, to;
  if (!other || !other->instance || !ObjGetWorldPosition(ship, n, &from)) return 0;
  to = other->instance->world;
  return GetDistance(&from, &to);
}

int32_t ShipComponentChebyshevDistance(int32_t n, const SpaceObject* ship, const SpaceObject* other) {
  FixedVector from;
  if (!other || !other->instance || !ObjGetWorldPosition(ship, n, &from)) return 0;
  const FixedVector& to = other->instance->world;
  const int64_t gaps[3] = {std::abs(int64_t{from.x} - to.x), std::abs(int64_t{from.y} - to.y),
                           std::abs(int64_t{from.z} - to.z)};
  const int64_t largest = std::max({gaps[0], gaps[1], gaps[2]});
  return SaturateToInt32(largest);
}

// ---------------------------------------------------------------------------------------------
// Searches.

SpaceObject* FindNearestHostile(const SpaceObject* context, int32_t limit) {
  return NearestHostile(context, NodePosition(context), nullptr, limit, [](const SpaceObject*) { return true; });
}

SpaceObject* FindNearestHostileExcept(const SpaceObject* context, const SpaceObject* reference, int32_t limit) {
  return NearestHostile(context, NodePosition(reference), reference, limit, [](const SpaceObject*) { return true; });
}

SpaceObject* FindNearestHostileInStrength(const SpaceObject* context, int32_t low, int32_t high, int32_t limit) {
  return NearestHostile(context, NodePosition(context), nullptr, limit, [low, high](const SpaceObject* o) {
    const int32_t strength = ObjGetShieldPlusEnergy(o);
    return strength > low && strength < high;
  });
}

// ---------------------------------------------------------------------------------------------
// Placement.

bool ObjOverlapsInSector(SpaceObject* object) {
  SpaceObject* sector = SectorOf(object);
  if (!sector || !object->instance) return false;
  int restarts = 0;
  SpaceObject* o = ObjectListFirst(ObjectChildren(sector));
  while (o) {
    if (o == object || SkippedByOverlap(o)) {
      o = ObjectListNext(o);
      continue;
    }
    if (o->objClass == kClassSpecial && o->subtype == kSubtypeBoundary) {
      const BoundaryStep step = KeepInsideBoundary(object, o);
      if (step == BoundaryStep::Impossible) return true;
      if (step == BoundaryStep::Moved) {
        // Boundaries that disagree would pull the object to and fro for ever: give the place up.
        if (++restarts > kBoundaryRestartLimit) return true;
        o = ObjectListFirst(ObjectChildren(sector));
        continue;
      }
      o = ObjectListNext(o);
      continue;
    }
    const int64_t reach = ((int64_t{object->radius} + o->radius) * kOverlapFactor + 32768) >> 16;
    if (Distance64(object->instance->position, o->instance->position) <= reach) return true;
    o = ObjectListNext(o);
  }
  return false;
}

bool ObjPlaceAtFreeSpot(int32_t x, int32_t y, int32_t z, SpaceObject* object) {
  if (!object || !object->instance) return false;
  FixedVector& p = object->instance->position;
  p.x = x;
  p.y = y;
  p.z = z;
  if (!ObjOverlapsInSector(object)) return true;
  int64_t extent = object->radius;
  for (int attempt = 0; attempt < kPlacementAttempts; ++attempt) {
    const FixedVector d = RandomDirection();
    const int64_t m = 16 * int64_t{MaxOf3(std::abs(d.x), std::abs(d.y), std::abs(d.z))};
    const int64_t reach = extent + 2 * int64_t{object->radius};
    const int32_t wanted[3] = {x, y, z};
    const int32_t dir[3] = {d.x, d.y, d.z};
    int32_t* coordinate[3] = {&p.x, &p.y, &p.z};
    for (int k = 0; k < 3; ++k) {
      const int64_t r = GameRand() * 16 / 32768;
      *coordinate[k] = SaturateToInt32(wanted[k] + dir[k] * (r + 1) * reach / m);
    }
    extent *= 2;
    if (!ObjOverlapsInSector(object)) return true;
  }
  return false;
}

bool ObjMoveToSafePos(SpaceObject* object, const SpaceObject* reference) {
  if (!object || !object->instance) return false;
  if (reference && !reference->instance) return false;
  const int64_t radii = int64_t{object->radius} + (reference ? reference->radius : 0);
  const FixedVector centre = reference ? reference->instance->position : object->instance->position;
  int64_t extent = radii + kSafePosSlack;
  const int64_t base = 3 * radii;
  for (int attempt = 0; attempt < kPlacementAttempts; ++attempt) {
    const FixedVector d = RandomDirection();
    const int64_t length = int64_t{GameRand()} * 64 / 32768 * extent / 64 + base;
    const double scale = static_cast<double>(length) / std::sqrt(static_cast<double>(d.x) * d.x +
                                                                 static_cast<double>(d.y) * d.y +
                                                                 static_cast<double>(d.z) * d.z);
    FixedVector& p = object->instance->position;
    p.x = TruncateToInt32(centre.x + TruncateToInt32(d.x * scale));
    p.y = TruncateToInt32(centre.y + TruncateToInt32(d.y * scale));
    p.z = TruncateToInt32(centre.z + TruncateToInt32(d.z * scale));
    extent += extent / 2;
    if (!ObjOverlapsInSector(object)) return true;
  }
  return false;
}

bool SectorIsPlaceFree(const SpaceObject* object, int32_t a, int32_t b, int32_t c, int32_t clearance) {
  SpaceObject* sector = SectorOf(object);
  const FixedMatrix* frame = object ? GetObjectRotationMatrix(object) : nullptr;
  if (!sector || !object->instance || !frame) return false;
  FixedVector point = OffsetInFrame(*frame, a, b, c);
  AddVectorTo(&point, &object->instance->position);
  const int64_t free = int64_t{clearance} + 2 * int64_t{object->radius};
  for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector)); o; o = ObjectListNext(o)) {
    if (NodePosition(o) && Distance64(*NodePosition(o), point) < free) return false;
  }
  return true;
}

int32_t ObjFrontOrBack(const SpaceObject* a, const SpaceObject* ring) {
  const FixedVector* pa = NodePosition(a);
  const FixedVector* pr = NodePosition(ring);
  const FixedMatrix* frame = ring ? GetObjectRotationMatrix(ring) : nullptr;
  if (!pa || !pr || !frame || Distance64(*pa, *pr) > ring->radius) return 0;
  const FixedVector d = {pa->x - pr->x, pa->y - pr->y, pa->z - pr->z, 0};
  const FixedVector forward = Row(*frame, 2);
  const int64_t along = int64_t{FixedMul(d.x, forward.x)} + FixedMul(d.y, forward.y) + FixedMul(d.z, forward.z);
  return along >= 1 ? 1 : -1;
}

// ---------------------------------------------------------------------------------------------
// Turning.

void ObjTurnTowardsPoint(SpaceObject* object, const FixedVector* point) {
  if (!object || !point || !object->instance) return;
  const FixedVector& at = object->instance->position;
  // The difference wraps as in the steering routines it hands over to, so both see one direction.
  FixedVector d{};
  SubVector(&d, &at, point);
  const bool far = d.x < -kSteerDeadZone || d.x > kSteerDeadZone || d.y < -kSteerDeadZone || d.y > kSteerDeadZone ||
                   d.z < -kSteerDeadZone || d.z > kSteerDeadZone;
  const FixedMatrix* frame = GetObjectRotationMatrix(object);
  if (far && frame) {
    NormalizeVector(&d);
    const FixedVector forward = Row(*frame, 2);
    if (FixDot3(&forward, &d) >= kTurnDotLimit) {
      ObjSteerHeadingPitch(object, point);
      return;
    }
  }
  // Turn about the axis the type turns fastest on.
  const ObjectTypeRecord* row = TypeRow(object->objClass, object->subtype);
  const int32_t r0 = row ? row->turnRate[0] : 0, r1 = row ? row->turnRate[1] : 0, r2 = row ? row->turnRate[2] : 0;
  if (r0 <= r1 && r0 <= r2) ObjSteerHeadingPitch2(object, point);
  else if (r1 < r0 && r1 <= r2) ObjSteerHeadingPitch3(object, point);
  else ObjSteerHeadingPitch(object, point);
}

// ---------------------------------------------------------------------------------------------
// Beam bullets.

void BulletUpdateBeamVisual(SpaceObject* bullet) {
  if (!bullet || bullet->objClass != kClassBullet || !bullet->ext || !bullet->instance) return;
  const ObjectTypeRecord* row = TypeRow(kClassBullet, bullet->subtype);
  const BulletExt* ext = static_cast<const BulletExt*>(bullet->ext);
  const SpaceObject* gun = ext->firedBy;
  if (!row || !(row->bullet.flags & kBulletFlagBeam) || !gun || !gun->instance) return;
  InstanceRecord* beam = bullet->instance;
  beam->position = gun->instance->world;
  beam->matrix = gun->instance->worldMatrix;
  // The beam body is one radius long; it is stretched to reach as far as the bullet flies.
  if (bullet->radius > 0) beam->scale.z = FixedDiv(BulletGetRange(bullet), bullet->radius);
  const int32_t lifetime = row->bullet.lifetime;
  const int32_t quarter = lifetime / 4;
  const int32_t age = static_cast<int32_t>((gSystem ? gSystem->gameTime : 0) - ext->firedAt);
  int32_t intensity = kBeamFullIntensity;
  if (age < quarter) intensity = InterpolateClamped(quarter, 0, age, 0, kBeamFullIntensity);
  else if (age > lifetime - quarter) intensity = InterpolateClamped(lifetime, lifetime - quarter, age, kBeamFullIntensity, 0);
  const int64_t flicker = kFixedOne - int64_t{kBeamFlickerDepth} * GameRand() / 32768;
  // The intensity is the beam's alpha; 0 would mean no override, so a faded beam keeps 1.
  const int32_t alpha = static_cast<int32_t>(intensity * flicker / kFixedOne);
  beam->alphaOverride = alpha > 0 ? alpha : 1;
}
