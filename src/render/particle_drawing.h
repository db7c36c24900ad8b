// Drawing what the draw batches gather: a scene's particle batch, one draw call per material and
// kind group with the effect "particles", and a draw object's instanced geometry with its
// material's effect or "effects". Called by the scene engine's frame driver. Never leaves an
// effect begun or software vertex processing on when it gives up.
#pragma once

struct CameraRecord;
struct RenderEntry;
struct RenderEntryNode;
struct SceneRecord;

// Draws the scene's particle groups; false without a "particles" effect or when the batch's
// buffer cannot be bound.
bool RenderParticles(SceneRecord* scene);
// Draws the draw object's vertices filled this frame; false when something needed is missing or
// cannot be bound.
bool RenderBulletInstances(SceneRecord* scene, RenderEntry* batch, RenderEntryNode* drawObject, CameraRecord* camera);
