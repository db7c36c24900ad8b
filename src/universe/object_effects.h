// The effect instances the universe places in sector scenes. Object destruction calls it; it
// never frees objects.
#pragma once

struct SceneRecord;

// Removes the effect instances that live in the scene.
void RemoveSceneEffectInstances(SceneRecord* scene);
