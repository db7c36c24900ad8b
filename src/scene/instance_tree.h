// Scene membership and the instance tree: where an instance lives (the engine's list, a scene's
// member list or its parent's child list), moving it between them, render data that follows the
// enabled state of scenes, freeing instances, trees and scenes, and copying a tree. Called by the
// natives, the takes, the replay, the universe model and the engine's lifecycle.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct SceneRecord;

// Frees the instance and every descendant. The owning script module is woken once with
// (token, 2); every engine link to a freed instance is cleared and the freed-instance hook told.
// A camera is freed as B3D_CameraFree frees it.
void FreeInstance(InstanceRecord* instance);
// Holders outside the engine that keep instance pointers register here; the hook sees every
// freed instance (children included) before its record goes. Null removes it.
using FreedInstanceHook = void (*)(InstanceRecord* instance);
void SetFreedInstanceHook(FreedInstanceHook hook);
// Every engine record and holder that may point at the instance forgets it; called for every
// instance and camera just before its record goes.
void InstClearEngineLinks(InstanceRecord* instance);

// Makes the instance a root member of the scene (leaving its old scene or parent first); every
// descendant takes the scene, and an enabled scene prepares the tree's render data.
void AddInstanceToScene(InstanceRecord* instance, SceneRecord* scene);
// Nothing unless the instance is in that scene; a root goes back to the engine's instance list.
void RemoveInstanceFromScene(InstanceRecord* instance, SceneRecord* scene);
// Attaches the child under the parent. Refused (false) for a null argument, the instance itself
// or one of its descendants as parent.
bool B3D_InstAddToInst(InstanceRecord* child, InstanceRecord* parent);
// Frees each child whose 16-bit mask shares a bit with the mask, or, with invert, each one whose
// mask shares none.
void InstFreeChildrenByMask(InstanceRecord* instance, uint32_t mask, int32_t invert);
void CopyInstanceTree(const InstanceRecord* source, InstanceRecord* destination, InstanceRecord* parent);

// Render data (ready is instance flag 0x1000).
void InstPrepareRenderData(InstanceRecord* instance);
void InstPrepareRenderDataTree(InstanceRecord* instance);
void InstReleaseRenderData(InstanceRecord* instance);
void InstReleaseRenderDataTree(InstanceRecord* instance);

void B3D_SceneEnable(SceneRecord* scene);
void B3D_SceneDisable(SceneRecord* scene);
void B3D_EnableAllObjects3D();
void B3D_DisableAllObjects3D();
void B3D_FreeAllBodies();
// Sends every member back to the engine list and every camera out of the scene; frees nothing.
void B3D_SceneClear(SceneRecord* scene);
// Frees the scene's member trees, its cameras, its handle, its name and the record.
void B3D_SceneFree(SceneRecord* scene);
