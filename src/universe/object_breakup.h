// Break-up of a killed object into its parts. The object effects call it from a break-up entry;
// it never frees the effect groups that call it.
#pragma once

#include <cstdint>

struct SpaceObject;

// Breaks the object into part objects; 1 when the caller's following groups must wait a frame.
int32_t BreakUpObject(SpaceObject* object);
