// Dropping what other objects and takes hold of an object that is being removed. The object
// accessors and the registry call it when they mark an object removed; it never frees the object.
#pragma once

struct SpaceObject;

void ReleaseObjectReferences(SpaceObject* object);
