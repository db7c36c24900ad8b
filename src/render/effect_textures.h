// Effect texture bindings: the textures bound to effect parameters and the loading of a
// material's texture parameter. Least form until the bindings are built
// (effect_textures_stub.cpp): only the material texture lookup.
#pragma once

#include <cstdint>

struct DisplaySurface;

// The texture id for a material's texture parameter, or -1 for none: slot 0 accepts the texture
// parameter names but "t_OcclusionTexture"; another slot must be 1..7 and the name must begin
// with 't'.
int16_t LoadMaterialTexture(const char* paramName, int32_t slot, const char* textureName);

// Removes a loaded texture record's device texture from every effect parameter that holds it;
// nothing for a record without one.
void EffectTexturesUnbindTexture(DisplaySurface* texture);
