// Dropping what other objects and takes hold of an object that is being removed, and releasing
// what an object owns before its record is cleared. The universe simulation builds them; the
// object accessors, the registry and object destruction call them. Neither frees the object's
// record.
#pragma once

#include <cstdint>

struct SpaceObject;

// Clears every reference to the object in the universe, in one walk over the top-level list and
// the children of every container. Dependants (objects whose `linkedObject` it is) lose the link;
// one with a script is told "SelfDestruct" (19, 0) once the walk is done, one without is marked
// removed and released the same way, as are its own dependants. keepOwners = 1 keeps shooters and
// launchers (the object only changes container).
void ReleaseObjectReferences(SpaceObject* object, int32_t keepOwners = 0);
// Clears the references `object` and the objects inside it hold to `removed`.
void ClearReferencesTo(SpaceObject* object, SpaceObject* removed, int32_t keepOwners);
// In order: tractor link, a sector's scene effects, the waiting tasks (woken with 8), the children
// (each deleted, deepest first), the name, the instance and lights, the player link, the
// references, the extension, the id, the list link; then the common record is cleared.
void FreeObjectResources(SpaceObject* object);
// True while the object's resources are being released; it must not be freed again meanwhile.
bool ObjectIsBeingFreed(const SpaceObject* object);
