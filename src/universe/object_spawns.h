// Objects an object gives birth to as it ends: the fragments of a bursting shot and the parts of
// a missile or a ship that breaks up. The object update calls them; they raise the
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
// The same for a ship, whose released ships are held at the first of them until they break away.
// A null ship creates nothing and raises only the events. True when the cut's main entry is
// animated or the cut has none; false otherwise or when the ship or the cut is unfit.
bool ObjDecoupleShip(SpaceObject* ship, int32_t cut, int32_t valueA, int32_t valueB);
