// The model instances of objects: the tree of scene instances built under an object's instance
// from its component cut. Object creation calls it; it never creates or frees objects.
#pragma once

struct SpaceObject;

// Builds the model of the object's `componentCut` under its instance; a failed build sets
// `componentCut` to 0.
void RebuildObjectModelInstances(SpaceObject* object);
// After the caller stored a new subtype: the instance takes the type's body and model.
void SetObjectSubType(SpaceObject* object);
