// Starting every path of a take, the per-frame matrix pass over a scene's members, and the test
// of two instances' body collision models. The take natives, the frame driver and the instance
// collision code call it.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct SceneRecord;
struct TakeRecord;
struct CollisionModel;

// Starts every path of the take's cut on the take's instance for it. True, with the take running,
// when some started job is playing and has not reported its end; otherwise false and the take
// keeps its state. A take whose cut is not loaded gives false.
bool TakeStartPaths(TakeRecord* take);

// Brings the world positions and matrices of the scene's member trees and cameras up to date and sets the
// scene's pass range to its members' lowest and highest render pass (0..0 without members). A
// member with linked parts then stands at the integer mean of the parts' world positions.
void SceneUpdateMatrices(SceneRecord* scene);

// Tests the collision models of the two instances' bodies, placed by the instances' world
// matrices, positions and sizes, with the engine's first two axes exchanged; the further
// arguments go to the model test unchanged. Answers the number of contacts, 0 when either body
// has no collision model.
int32_t BodyCollideModels(InstanceRecord* a, InstanceRecord* b, int32_t flags, int32_t contactLimit,
                          float distanceLimit, float* nearestSlot);

// The model test and contact count BodyCollideModels uses; null puts the collision models' own
// back. Tests watch the placement through a recording pair.
using CollideModelsFn = int32_t (*)(int32_t flags, int32_t contactLimit, const float r1[3][3], const float t1[3],
                                    float s1, CollisionModel* model1, const float r2[3][3], const float t2[3],
                                    float s2, CollisionModel* model2, float distanceLimit, float* nearestSlot);
void SetBodyCollideTest(CollideModelsFn collide, int32_t (*contactCount)());
