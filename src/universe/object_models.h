// The model instances of objects: the tree of scene instances built under an object's instance
// from its component cut, and the rebuild after a subtype change. Object creation and the subtype
// command call them; they never create or free objects.
#pragma once

struct SpaceObject;

// Builds the model of the object's `componentCut` under its instance; a failed build sets
// `componentCut` to 0. A dock or factory's station state becomes 3.
void RebuildObjectModelInstances(SpaceObject* object);
// After the caller changed the subtype (not for sectors, cameras and class 21): the instance's
// children go, the instance takes the type's body, and a type with a model gets it built.
void SetObjectSubType(SpaceObject* object);
