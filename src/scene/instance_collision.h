// Instance collision and vertex queries: making a body's collision model from its geometry or a
// small stand-in shape, testing instance trees against each other (with a box pre-test), the swept
// test of a moving instance, and the vertex queries of lens flares, explosions and the simulation.
#pragma once

#include <cstdint>

#include "scene/instance_records.h"

struct BodyRecord;

// The body's collision setting in its BodyData row: -1 none; 0 and above override the level with
// their low byte, and 0x100 takes every face whether it collides or not.
constexpr int32_t kCollisionSettingNone = -1;
constexpr int32_t kCollisionSettingAllFaces = 0x100;
// A body mesh flag that asks for a collision model of every face.
constexpr uint32_t kMeshCollisionModel = 0x10;
// Render group flags of groups that never collide.
constexpr uint32_t kPartNoCollision = 0x20 | 0x80;
// Instances whose flags, second flags or path word carry these bits take no part in vertex queries.
constexpr uint32_t kInstVertexSkip = 0x100000;
constexpr uint32_t kInst2VertexSkip = 0x1 | 0x10;
constexpr uint32_t kPathVertexSkip = 0xFFE;
// The most records CollectVerticesInRadius makes.
constexpr int32_t kMaxVertexRecords = 1000;

void B3D_InstMakeRapidBox(InstanceRecord* instance, int32_t level);
// Stand-in models, sizes in 16.16: two crossed triangles spanned by x, y and -z, or the eight
// faces of an octahedron with the given half extents.
void InstMakeTwoTriangleCollision(InstanceRecord* instance, int32_t x, int32_t y, int32_t z);
void InstMakeOctahedronCollision(InstanceRecord* instance, int32_t x, int32_t y, int32_t z);

int32_t InstTreeCollide(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB, InstanceRecord** outA,
                        InstanceRecord** outB);
int32_t InstCollideWith(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB);
bool InstCollide(InstanceRecord* a, InstanceRecord* b, int32_t p, int32_t q);
InstanceRecord* InstBodyTreeCollide(InstanceRecord* a, BodyRecord* body, InstanceRecord* b, int32_t p, int32_t q);
// The mover goes from its world position to newPosition.
bool InstSweepCollide(InstanceRecord* mover, const FixedVector* newPosition, InstanceRecord* target, bool forced);

// Vertex queries; the point is in the root's world frame (world units).
int32_t CollectVerticesInRadius(InstanceRecord* root, const FixedVector* point, int32_t radius,
                                InstanceRecord** outInstances, int32_t* outIndices, int32_t* outDistances);
bool FindNearestVertexInTree(InstanceRecord* root, const FixedVector* point, InstanceRecord** outInstance,
                             int32_t* outIndex);
// The point in the instance's own frame; -1 when the instance has no usable body.
int32_t B3D_InstDistanceToNearestVertex(InstanceRecord* instance, const FixedVector* point);
bool PickRandomInstancePoint(InstanceRecord* root, uint32_t flagMask, uint32_t flag2Mask, uint32_t pathMask,
                             bool exclude, int32_t level, InstanceRecord** outInstance, int32_t* outIndex,
                             FixedVector* outPoint);
