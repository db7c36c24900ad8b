// Lens flares: the engine's own "Lensflare Scene" with its camera and occlusion probe, the
// occlusion test of each camera's flare nodes against the members of its scene, and the flare
// sprites of visible nodes kept in the lens-flare scene frame by frame. Called by the engine
// frame. A node's flare type and elements are checked against the type table and the node's
// slots before use; nothing here draws.
#pragma once

#include <cstdint>

struct CameraNode;
struct CameraRecord;
struct SceneRecord;

constexpr char kLensFlareSceneName[] = "Lensflare Scene";
constexpr int32_t kLensFlareProbeBody = 195;
// A node's intensity climbs or falls by this per frame within 0..kFlareIntensityMax.
constexpr int32_t kFlareIntensityStep = 100;
constexpr int32_t kFlareIntensityMax = 200;
// Every flare sprite's body gets this body flag.
constexpr uint32_t kBodyFlareSprite = 0x20;

// Makes the lens-flare scene, its camera and the probe when they are missing; the scene (null
// when it cannot be made). The scene stays disabled here.
SceneRecord* EnsureLensFlareScene();
// Clears the visible flag of every node of the cameras up to this camera's priority that an
// occluder hides.
void LensFlareOcclusion(CameraRecord* camera);
// True when the node's source is hidden from the camera (or flares are off).
bool FlareNodeOccluded(CameraNode* node, CameraRecord* camera);
// Moves every node's intensity and keeps its flare sprites in the lens-flare scene.
void UpdateLensFlares();
