// The least form of the collision model test: with no builder, no model is ever built, so a test
// records no contact. Called by the body collision test; touches nothing else.
#include "scene/collision_model.h"

int32_t RapidModelsCollide(int32_t, int32_t, const float[3][3], const float[3], float, CollisionModel*,
                           const float[3][3], const float[3], float, CollisionModel*, float, float*) {
  return kCollideModelNotBuilt;
}

int32_t CollisionContactCount() { return 0; }
