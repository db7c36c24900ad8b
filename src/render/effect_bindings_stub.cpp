// The least form of the effects' texture bindings until the effect parameters are built: no
// effect holds a texture, so there is nothing to unbind. Called by the texture loader when it
// frees textures; never touches a device.
#include "render/effect_textures.h"
#include "render/pixel_formats.h"

void EffectTexturesUnbindAll() {}
void EffectTexturesUnbindTexture(DisplaySurface*) {}
