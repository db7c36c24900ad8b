// The least form of texture locking until image records own device surfaces: no record has
// texel memory yet, so every lock fails and nothing is written. Called by the media streams.
#include "render/texture_lock.h"

bool LockTextureTexels(DisplaySurface*, TextureTexels*) { return false; }
void UnlockTextureTexels(DisplaySurface*) {}
