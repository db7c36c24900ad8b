// The engine's frame: every enabled camera of every enabled scene drawn in priority order, with
// bloom before the first camera above priority 17, environment-map cameras into the cube map,
// fades, the lens-flare scene and the screen overlay, then the statistics line, recording and
// replay. Called once per frame by the game loop between the simulation and the present.
// Allocates nothing per frame but the camera array.
#pragma once

#include <cstddef>
#include <cstdint>

struct CameraRecord;
struct SceneRecord;

// Bloom runs once, before the first camera whose priority is above this.
constexpr int32_t kBloomPriority = 17;
// The settings' frame rate must exceed this before an asked-for environment refresh is drawn.
constexpr uint32_t kEnvRefreshFrameRate = 10;

void UpdateEngine3DFrame();
// The camera's view, clear, listener placement, lights and texture animations.
void CameraPrepareView(SceneRecord* scene, CameraRecord* camera);
// Draws the environment camera's scene into the six cube faces; true when it drew nothing.
bool RenderEnvironmentMap(CameraRecord* camera, SceneRecord* scene);

// Makes the next `count` allocations of the camera array fail (tests of a frame without memory).
void SetCameraArrayFailures(int32_t count);
