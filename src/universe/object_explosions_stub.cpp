// The least form of the hit and explosion effects until they are built: nothing is shown or
// played and no explosion is made. Called by the simulation's damage model.
#include "universe/object_effects.h"

void ShowCollisionEffect(SpaceObject*, SpaceObject*) {}
void PlayHitSound(SpaceObject*, SpaceObject*) {}
int32_t CreateObjectExplosion(SpaceObject*, SpaceObject*, int32_t) { return 0; }
void PlayExplosionSound(SpaceObject*) {}
