// How far objects are from the viewer, for detail and visibility. The detail switching, the
// object creation and the simulation call it; it never changes an object.
#pragma once

#include <cstdint>

struct SpaceObject;

// The distance from the object's instance to the nearest enabled camera of its sector's scene
// (mode 1 passes over cameras facing away); -1 without an instance, outside a sector, or in a
// sector without a scene.
int32_t ObjViewDistance(const SpaceObject* object, int32_t mode);
// Near enough to the viewer to be shown in detail: closer than the Globals' detail distance or
// eight radii, or (with flags2 bit 21) twice both in mode 1. Never outside a sector with a scene.
bool ObjIsInViewRange(const SpaceObject* object);
