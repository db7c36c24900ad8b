// The least form of the command operations until they are built: the group is stored as the
// owner race, no type leaves a wreck and lights keep their colour. Called by the command
// families; never touches an instance.
#include "simulation/command_operations.h"

#include "universe/universe.h"

int32_t TypeCreatesWreck(int32_t, int32_t) { return 0; }

void SetObjectGroup(SpaceObject* object, int32_t group) {
  if (object) object->owner = static_cast<uint16_t>(group);
}

void SetObjectLight(SpaceObject*, int32_t, int32_t, int32_t) {}
