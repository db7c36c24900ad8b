// The least form of the full-screen effects: there is no device to draw the tint on yet. Called
// by the scene engine's cameras.
#include "render/screen_effects.h"

bool DrawScreenTint(uint32_t, CameraRecord*) { return true; }
