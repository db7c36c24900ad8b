// Effect texture bindings: every texture the renderer set on an effect parameter, each holding
// one reference on its texture id, so repeated sets are skipped and textures are not freed
// while an effect holds them; the texture lookup of a material's texture parameter; and the
// vector lengths of the drawing code.
#pragma once

#include <cstdint>
#include <string>

#include "core/fixed_math.h"
#include "platform/gpu_effect.h"

struct DisplaySurface;

// Sets the texture on the parameter unless it already holds it, moving the binding's reference
// from the old id to the new one; true when the parameter holds the texture afterwards.
bool EffectSetTexture(GpuxEffect* effect, GpuxHandle parameter, GpuBaseTexture* texture, int32_t textureId);
// Takes a loaded texture record's device texture off every parameter that holds it; the
// bindings stay, empty. Nothing for a record without one.
void EffectTexturesUnbindTexture(DisplaySurface* texture);
// Takes every texture off the effect's parameters and forgets its bindings; null is ignored.
void EffectTexturesUnbindEffect(GpuxEffect* effect);
// Takes every bound texture off its parameter and forgets all bindings.
void EffectTexturesUnbindAll();
// The number of bindings (for the memory and device checks of tests and statistics).
int32_t EffectTextureBindingCount();

// The texture id for a material's texture parameter, or -1 for none: slot 0 accepts the texture
// parameter names but "t_OcclusionTexture"; another slot must be 1..7 and the name must begin
// with 't'. The bump slot takes the low-quality bump texture on shader sets below 2.0.
int16_t LoadMaterialTexture(const char* paramName, int32_t slot, const char* textureName);
// The name with its last "_bump" made "_low_bump"; unchanged without one.
std::string MakeLowBumpName(const char* textureName);

// Lengths truncated to whole units (at most INT32_MAX).
int32_t VectorLengthF(float x, float y, float z);
int32_t VectorLengthI(const FixedVector* vector);
int32_t VectorDistanceI(const FixedVector* a, const FixedVector* b);
