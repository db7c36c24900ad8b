// Dropping what other objects and takes hold of an object that is being removed, and releasing
// what an object owns before its record is cleared. The object accessors, the registry and object
// destruction call it; neither operation frees the object's record.
#pragma once

#include <cstdint>

struct SpaceObject;

// keepOwners = 1 keeps shooters and launchers (the object only changes container).
void ReleaseObjectReferences(SpaceObject* object, int32_t keepOwners = 0);
// In order: tractor link, a sector's scene effects, the module handle, the children (each deleted,
// deepest first), the name, the instance and lights, the player link, the references, the
// extension, the id, the list link; then the common record is cleared.
void FreeObjectResources(SpaceObject* object);
