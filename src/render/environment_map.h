// The environment map: the cube texture environment cameras render into and the renderer that
// draws its faces. Least form until it is built (environment_map_stub.cpp): the two globals the
// device loss and the renderer's release clear, and the creation the 3D set-up asks for.
#pragma once

#include "platform/gpu.h"

class GpuxRenderToEnvMap;

// Both null while environment maps are unavailable.
extern GpuxRenderToEnvMap* gEnvMapRenderer;
extern GpuCubeTexture* gEnvCubeTexture;

// Makes the renderer and the cube texture for the current device.
void EnvMapCreate();
