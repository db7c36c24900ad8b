// Class-dependent readers of space objects and their type rows. Only what the object geometry
// already needs is declared; the type-field accessors fill in the rest of this header.
#pragma once

#include "core/fixed_math.h"

struct SpaceObject;

// The object's 16.16 rotation: a ship's own matrix, the scene instance's for every other class.
// Null when the object has neither.
const FixedMatrix* GetObjectRotationMatrix(const SpaceObject* object);
