// Object removal as the simulation and the commands use it beyond the universe model's header
// (universe/object_references.h): moving an object into a container, and the hook through which
// the cockpits forget a removed object.
#pragma once

#include <cstdint>

struct SpaceObject;

// 1 when the object now lies in the container; 0 when the container holds no objects, or when a
// laser finds every laser place of a ship taken.
int32_t MoveObjectIntoContainer(SpaceObject* container, SpaceObject* object);

// The cockpits' forgetting of a removed object; the cockpit module registers it, and without it
// (no cockpits) nothing is told.
using ObjectForgetHook = void (*)(const SpaceObject* object);
void SetCockpitsForgetHook(ObjectForgetHook hook);
