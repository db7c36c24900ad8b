// The least form of the weapons' arc chain until the weapons are built: an arc shot shows no
// chain. Called only by the flight pass.
#include "simulation/weapons_fire.h"

void UpdateArcBulletChain(SpaceObject*) {}
