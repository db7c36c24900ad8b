// The small object operations behind single `SA_` commands that the command families call: a
// type's wreck, an object's group and its light. The command families call them; they never
// read script arguments.
#pragma once

#include <cstdint>

struct SpaceObject;

// 1 when a dock, factory or ship type of that subtype leaves a wreck, else 0.
int32_t TypeCreatesWreck(int32_t subtype, int32_t objClass);
// The owner race becomes the group, with what the group means for the object's instances.
void SetObjectGroup(SpaceObject* object, int32_t group);
// The colour of a sun's, a planet's or a ship's light.
void SetObjectLight(SpaceObject* object, int32_t red, int32_t green, int32_t blue);
