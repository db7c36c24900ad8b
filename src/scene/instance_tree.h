// Scene membership and the instance tree: linking instances into scenes and out again, freeing an
// instance with its subtree, freeing a scene. Least form until the membership code is built
// (instance_tree_stub.cpp).
#pragma once

struct InstanceRecord;
struct SceneRecord;

// Frees the instance and every descendant: each leaves its list, its handle and its name go.
void FreeInstance(InstanceRecord* instance);

// Makes the instance a root member of the scene (leaving its old scene or parent first); every
// descendant takes the scene.
void AddInstanceToScene(InstanceRecord* instance, SceneRecord* scene);
// Nothing unless the instance is in that scene; a root goes back to the engine's instance list.
void RemoveInstanceFromScene(InstanceRecord* instance, SceneRecord* scene);
// Frees the scene's member trees, its cameras, its handle, its name and the record.
void B3D_SceneFree(SceneRecord* scene);
