// The least form of the object effects until they are built: no scene holds an effect instance,
// so there is nothing to remove. Called by object destruction.
#include "universe/object_effects.h"

void RemoveSceneEffectInstances(SceneRecord*) {}
