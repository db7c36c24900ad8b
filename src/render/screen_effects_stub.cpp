// The least form of the full-screen effects: there is no device to draw the tint on yet and no
// bloom target is made. Called by the scene engine's cameras and the renderer's 3D set-up.
#include "render/screen_effects.h"

bool DrawScreenTint(uint32_t, CameraRecord*) { return true; }
void BloomCreateTargets() {}
void BloomReleaseTargets() {}
