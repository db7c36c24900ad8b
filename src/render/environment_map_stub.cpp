// The least form of the environment map: no cube texture or face renderer is made yet, so the
// globals stay null. Called by the renderer's 3D set-up; never touches the device.
#include "render/environment_map.h"

GpuxRenderToEnvMap* gEnvMapRenderer = nullptr;
GpuCubeTexture* gEnvCubeTexture = nullptr;

void EnvMapCreate() {}
