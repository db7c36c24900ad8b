// Placing objects and switching their detail: orientation, position and facing through the
// scene instance (with a sun's and a planet's lights), moves between containers and their sector
// scenes, and the switch between an object's simple model and its detailed set of part objects.
// The script natives, the simulation and object creation call it.
#pragma once

#include <cstdint>

struct SpaceObject;

void ObjSetAngles(SpaceObject* object, int32_t a, int32_t b, int32_t c);
// With an instance only.
void ObjSetPosition(SpaceObject* object, int32_t x, int32_t y, int32_t z);
// Does nothing for the zero direction.
void ObjFaceDirection(SpaceObject* object, int32_t x, int32_t y, int32_t z);
// Moves the object to the tail of the container's child list; a sector parent also takes its
// instances into the sector's scenes. Nothing happens for the current parent or a parent that
// holds no objects.
void ObjAttachInstance(SpaceObject* object, SpaceObject* newParent);
// Only an object lying directly in a shown sector may want its detailed form.
bool WantsDetail(const SpaceObject* object);
// 1 when it switched; 0 when the object is not detail-managed, is held, has no instance or (not
// forced) is already in the form it wants.
int32_t ObjSwitchDetail(SpaceObject* object, int32_t force, bool detailed);
