// How far objects are from the viewer, for detail and visibility. The detail switching and the
// simulation call it; it never changes an object.
#pragma once

#include <cstdint>

struct SpaceObject;

// The object's distance to the viewer in the given mode (0 or 1); 0 when it cannot be seen.
int32_t ObjViewDistance(const SpaceObject* object, int32_t mode);
