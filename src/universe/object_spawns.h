// Objects an object gives birth to as it ends: the fragments of a bursting shot and the
// sub-missiles of a missile that breaks up. The object update calls them; they raise the
// scripts' creation events and never free the object they start from.
#pragma once

#include <cstdint>

struct SpaceObject;

// Creates the fragments of an expired bursting shot around it.
void SpawnScatteredObjects(SpaceObject* bullet);
// Counts the fragments made near the player; every k-th of them gets a light. Never reset.
extern uint32_t gFragmentLightCounter;
// Replaces the missile's model by a break-up cut and creates the objects the cut releases.
void ObjDecoupleMissile(SpaceObject* missile, int32_t cut);
