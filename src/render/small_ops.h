// The renderer's small operations: fixed-point to float conversions, the 2D affine transform,
// the projection's depth range, byte and blend arithmetic, the device and effect helpers of the
// environment faces and device loss, and texture release and binding by id. Stateless; called
// by drawing and effect code. The fixed multiply and divide are core's FixedMul and FixedDiv,
// the vector normalisation GpuxVec3Normalize(v, v), the memory statistics core's counters.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "platform/gpu.h"
#include "platform/gpu_effect.h"

struct EffectObject;

// (x, y, z) of a 16.16 vector as floats.
GpuVector3 FixedToFloatVector(const FixedVector& v);
// (x, y) through the 16.16 matrix {a, b, c, d, e, f}: x' = a x + c y + e, y' = b x + d y + f.
void AffineTransform2D(const int32_t matrix[6], float x, float y, float* outX, float* outY);
// Gives the projection the depth range near..far (its [2][2] and [3][2] entries).
void SetProjectionDepthRange(GpuMatrix* projection, float nearZ, float farZ);
// a - a * b.
float LerpDown(float a, float b);
// (a * b) / 255, truncated.
int32_t BytesProduct(int32_t a, int32_t b);
// The exponent e with 0.5^e = a / 255.
float AlphaExponent(uint8_t a);
// True when the device record holds a device.
bool DeviceAvailable();
// OnLostDevice (lost true) or OnResetDevice on both variants of the effect object.
void EffectObjectDeviceLoss(EffectObject* effect, bool lost);
// Makes cube face `face` the environment renderer's target and clears it and the depth to
// black; nothing without a renderer.
void EnvMapFaceStart(uint32_t face);

// A device texture with the default-pool bytes it is accounted with.
struct TextureRecord {
  GpuBaseTexture* texture;
  uint32_t bytes;
};
// Releases the record's texture and takes it off the video-memory and device-texture counts.
void TextureRecordRelease(TextureRecord* record);
// Takes the loaded texture of the id off every effect parameter; nothing for an unknown id or
// one not loaded.
void TextureUnbindById(int32_t id);
// Texture flag bit a caller may refuse in a binding.
constexpr uint32_t kTextureFlagRefusable = 0x2000000;
// Binds the loaded texture of the id to the parameter; a missing texture, or one with the
// refusable flag when `allowRefusable` is false, is replaced by `fallback` (bound as id -1).
bool TextureBindWithFallback(GpuxEffect* effect, GpuxHandle parameter, int32_t id, GpuBaseTexture* fallback,
                             bool allowRefusable);
