// Geometry on space objects in their sector: positions and transforms through the scene nodes,
// distances, the nearest-hostile searches, placement without overlap, the side of a ring an
// object is on, turning toward a point, and the beam visual of a beam bullet. Positions are
// integer universe units, orientations 16.16 matrices whose third row is the forward axis. The
// script natives, the simulation and the HUD call it. Searches and placement look only at the
// object's own sector; they never create objects, and every search and retry is bounded.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;

// Euclidean lengths in floating point, truncated toward zero.
int32_t GetVectorLength(const FixedVector* v);
int32_t GetDistance(const FixedVector* a, const FixedVector* b);

// An orientation (rows right, up, forward) and a position.
struct ObjectTransform {
  FixedMatrix rotation;
  FixedVector position;
};

// The offset of ship component `component` in the object's frame; zero and false when the object
// has no such component.
bool ObjComponentOffset(const SpaceObject* object, int32_t component, FixedVector* offset);
// The position of the object's node (its node position in a sector, its world position
// elsewhere), or of a selected ship component; true when a component was used.
bool ObjGetWorldPosition(const SpaceObject* object, int32_t component, FixedVector* position);
bool ObjGetWorldTransform(const SpaceObject* object, int32_t component, ObjectTransform* transform);
// a's node position relative to b's, in b's frame.
void ObjRelativeTransform(const SpaceObject* a, const SpaceObject* b, FixedVector* out);
int32_t ShipComponentDistance(int32_t n, const SpaceObject* ship, const SpaceObject* other);
int32_t ShipComponentChebyshevDistance(int32_t n, const SpaceObject* ship, const SpaceObject* other);

// The nearest living hostile object of the context's sector closer than `limit`; null when none.
SpaceObject* FindNearestHostile(const SpaceObject* context, int32_t limit);
SpaceObject* FindNearestHostileExcept(const SpaceObject* context, const SpaceObject* reference, int32_t limit);
SpaceObject* FindNearestHostileInStrength(const SpaceObject* context, int32_t low, int32_t high, int32_t limit);

// Overlap: two objects closer than 1.1 times their summed radii.
constexpr int32_t kOverlapFactor = 72089;  // 1.1 in 16.16
constexpr int16_t kSubtypeBoundary = 92;   // a special that keeps objects inside its radius
constexpr int kPlacementAttempts = 20;
// Pull-backs into boundaries one overlap test makes before it gives the place up.
constexpr int kBoundaryRestartLimit = 16;

bool ObjOverlapsInSector(SpaceObject* object);
bool ObjPlaceAtFreeSpot(int32_t x, int32_t y, int32_t z, SpaceObject* object);
bool ObjMoveToSafePos(SpaceObject* object, const SpaceObject* reference);
bool SectorIsPlaceFree(const SpaceObject* object, int32_t a, int32_t b, int32_t c, int32_t clearance);
// 0 outside the ring's radius; else 1 in front of its plane, -1 on it or behind.
int32_t ObjFrontOrBack(const SpaceObject* a, const SpaceObject* ring);

void ObjTurnTowardsPoint(SpaceObject* object, const FixedVector* point);

// Orients, scales and fades the holder's tractor beam (`beamEffect`) so that it spans from the
// holder's attach point to the object it holds.
void ObjAlignEffectNode(SpaceObject* holder);

// Keeps a beam bullet's node at its gun, its length at the bullet's range and its intensity
// ramped at both ends with a random flicker.
void BulletUpdateBeamVisual(SpaceObject* bullet);
