// The environment map: the cube texture environment cameras render into, the renderer that
// points drawing at its faces, and the per-face camera set-up. Called by the renderer's 3D set-up
// and device loss (creation and release) and by the scene engine's environment pass (begin, six
// faces, end). Never leaves the device drawing into the cube after the pass.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

class GpuxRenderToEnvMap;
struct CameraRecord;
struct SceneRecord;

// Both null while environment maps are unavailable.
extern GpuxRenderToEnvMap* gEnvMapRenderer;
extern GpuCubeTexture* gEnvCubeTexture;

constexpr uint32_t kEnvMapEdge = 256;
// "VideoD3DFlags2": environment maps are off.
constexpr uint32_t kD3D2NoEnvMap = 0x100;

// Makes the renderer and the cube texture for the current device; when either cannot be made,
// neither stays and environment maps are switched off in the settings.
void EnvMapCreate();
// Starts drawing into the cube: 0 when the faces may be drawn, 1 when they must be skipped (no
// renderer, or the cube could not be begun).
int32_t EnvMapBegin();
// Projection and view of one face for the camera; the camera's rotation rows become the face's
// so that its passes look along it. False when the render target cannot be read.
bool EnvMapBeginFace(SceneRecord* scene, CameraRecord* camera, uint32_t face);
// Ends the pass; when the renderer cannot give the targets back, the device record's back buffer
// and depth surface are set again. Then the default render states.
void EnvMapEnd();
// The view looking along face 0..5 (+X, -X, +Y, -Y, +Z, -Z) from the origin.
GpuMatrix CubeFaceViewMatrix(uint32_t face);
