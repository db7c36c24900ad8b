// The renderer's small operations (see small_ops.h). Each is a few lines over the device, the
// effect bindings and the texture table; none keeps state of its own.
#include "render/small_ops.h"

#include <cmath>

#include "platform/gpu_constants.h"
#include "platform/gpu_envmap.h"
#include "platform/gpu_image.h"
#include "platform/gpu_math.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/effect_textures.h"
#include "render/environment_map.h"
#include "render/surface_ops.h"
#include "render/texture_table.h"

namespace {

constexpr float kFixedToFloat = 1.0f / 65536.0f;

}  // namespace

GpuVector3 FixedToFloatVector(const FixedVector& v) {
  return {v.x * kFixedToFloat, v.y * kFixedToFloat, v.z * kFixedToFloat};
}

void AffineTransform2D(const int32_t matrix[6], float x, float y, float* outX, float* outY) {
  const float a = matrix[0] * kFixedToFloat, b = matrix[1] * kFixedToFloat;
  const float c = matrix[2] * kFixedToFloat, d = matrix[3] * kFixedToFloat;
  const float e = matrix[4] * kFixedToFloat, f = matrix[5] * kFixedToFloat;
  *outX = a * x + c * y + e;
  *outY = b * x + d * y + f;
}

void SetProjectionDepthRange(GpuMatrix* projection, float nearZ, float farZ) {
  projection->m[2][2] = farZ / (farZ - nearZ);
  projection->m[3][2] = -nearZ * projection->m[2][2];
}

float LerpDown(float a, float b) { return a - a * b; }

int32_t BytesProduct(int32_t a, int32_t b) { return (a * b) / 255; }

float AlphaExponent(uint8_t a) { return std::log2(a / 255.0f) / std::log2(0.5f); }

bool DeviceAvailable() { return gDirect3D && gDirect3D->device && gDirect3D->device->device; }

void EffectObjectDeviceLoss(EffectObject* effect, bool lost) {
  if (!effect) return;
  for (GpuxEffect* variant : effect->effects) {
    if (!variant) continue;
    if (lost) variant->OnLostDevice();
    else variant->OnResetDevice();
  }
}

void EnvMapFaceStart(uint32_t face) {
  if (!gEnvMapRenderer || !DeviceAvailable()) return;
  gEnvMapRenderer->Face(face, kGpuxFilterNone);
  gDirect3D->device->device->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0, 1.0f, 0);
}

void TextureRecordRelease(TextureRecord* record) {
  if (!record || !record->texture) return;
  record->texture->Release();
  record->texture = nullptr;
  if (gDirect3D) gDirect3D->videoMemoryBytes -= record->bytes;
  --gDeviceTextureCount;
}

void TextureUnbindById(int32_t id) {
  if (DisplaySurface* texture = TextureGetLoaded(id)) EffectTexturesUnbindTexture(texture);
}

bool TextureBindWithFallback(GpuxEffect* effect, GpuxHandle parameter, int32_t id, GpuBaseTexture* fallback,
                             bool allowRefusable) {
  DisplaySurface* loaded = id > 0 ? TextureGetLoaded(id) : nullptr;
  const bool refused = loaded && !allowRefusable && (TextureGetFlags(id) & kTextureFlagRefusable);
  if (!loaded || !loaded->deviceTexture || refused) return EffectSetTexture(effect, parameter, fallback, -1);
  return EffectSetTexture(effect, parameter, loaded->deviceTexture, id);
}
