// The triangle collision models of bodies (a box tree over a body's triangles) and the test of two
// placed models against each other. Least form until the collision geometry is built
// (collision_model_stub.cpp): no model is ever built, so every test answers "not built".
// Called by the body collision test and the instance collision code.
#pragma once

#include <cstdint>

struct CollisionModel;

// One triangle of a collision model (ten words in the model's triangle array): the caller's id and
// the corners A, B and C.
struct CollisionTriangle {
  int32_t id;
  float a[3];
  float b[3];
  float c[3];
};

// Result codes of the model operations.
constexpr int32_t kCollideDone = 0;
constexpr int32_t kCollideModelNotBuilt = 3;

// Tests model 2, placed at s2 * r2 * p + t2, against model 1, placed at s1 * r1 * p + t1, and
// records the contacts found (read with CollisionContactCount). The flags choose the contact mode
// and whether the first contact ends the test; the contact limit, the distance limit and the
// nearest slot serve the swept modes. Answers kCollideModelNotBuilt when either model is not built.
int32_t RapidModelsCollide(int32_t flags, int32_t contactLimit, const float r1[3][3], const float t1[3], float s1,
                           CollisionModel* model1, const float r2[3][3], const float t2[3], float s2,
                           CollisionModel* model2, float distanceLimit, float* nearestSlot);

// The number of contacts the last test recorded.
int32_t CollisionContactCount();
