// Full-screen effects: the bloom targets and the bloom pass (the back buffer copied into the scene
// map, then each pass of the "bloom" effect drawn as a screen quad into the map its
// "RenderColorTarget0" annotation names, or into the back buffer), the screen tint and the screen
// overlay with its cache. Called by the 3D set-up, the device loss and the scene engine's frame
// driver and cameras. Bloom's effect handles belong to one effect interface and are looked up
// again for another; every way out of bloom gives the device its own targets back.
#include "render/screen_effects.h"

#include <cstring>
#include <string>

#include "core/system_block.h"
#include "platform/gpu_effect.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/effect_cache.h"
#include "render/effect_textures.h"
#include "render/render.h"
#include "render/render_matrices.h"
#include "render/state_manager.h"
#include "render/texture_table.h"
#include "scene/camera_records.h"

BloomTargets gBloomTargets = {};

namespace {

constexpr int kCreateAttempts = 2;
constexpr int32_t kVertexProcessingSoftware = 2;
constexpr uint32_t kQuadStride = 24;
constexpr uint32_t kQuadBytes = 4 * kQuadStride;
constexpr uint32_t kTintStride = 20;
constexpr uint32_t kOverlayStride = 24;
constexpr char kTargetAnnotation[] = "RenderColorTarget0";

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() { return Record() ? Record()->device : nullptr; }

bool IsOutOfMemory(GpuResult result) { return result == kGpuErrOutOfMemory || result == kGpuErrOutOfVideoMemory; }

// At most two attempts, the low-memory hook before the second when the first lacked memory.
template <typename Call>
GpuResult TwoAttempts(Call call) {
  GpuResult result = kGpuErrFail;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    result = call();
    if (GpuSucceeded(result)) break;
    if (IsOutOfMemory(result)) RunLowMemoryHookForGpu(result);
  }
  return result;
}

template <typename T>
void ReleaseAndClear(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// The video surface's size, else the back buffer's.
void ScreenSize(float* width, float* height) {
  if (gDisplay && gDisplay->videoSurface) {
    *width = gDisplay->videoSurface->width;
    *height = gDisplay->videoSurface->height;
  } else if (DeviceRecord* record = Record()) {
    *width = static_cast<float>(record->presentParameters.backBufferWidth);
    *height = static_cast<float>(record->presentParameters.backBufferHeight);
  } else {
    *width = *height = 0.0f;
  }
}

// ---- Bloom

enum BloomParam { kSceneMapParam, kGlowMap1Param, kGlowMap2Param, kViewPortSizeParam, kBloomParamCount };
constexpr const char* kBloomParamNames[kBloomParamCount] = {"t_SceneMap", "t_GlowMap1", "t_GlowMap2",
                                                            "ViewPortSize"};

// The handles of the effect interface they were looked up on; another interface (a reloaded
// "bloom") looks them up again.
struct BloomHandles {
  GpuxEffect* effect;
  GpuxHandle technique;
  GpuxHandle params[kBloomParamCount];
};
BloomHandles gBloomHandles = {};

bool LookUpBloomHandles(GpuxEffect* effect) {
  if (gBloomHandles.effect != effect) {
    gBloomHandles = BloomHandles{};
    GpuxHandle technique = effect->GetTechniqueByName("DEFAULT");
    if (!technique && (GpuFailed(effect->FindNextValidTechnique(kGpuxNoHandle, &technique)) || !technique)) {
      return false;
    }
    gBloomHandles.effect = effect;
    gBloomHandles.technique = technique;
    for (int i = 0; i < kBloomParamCount; ++i) {
      gBloomHandles.params[i] = effect->GetParameterByName(kGpuxNoHandle, kBloomParamNames[i]);
    }
  }
  return true;
}

GpuxEffect* BloomEffect() {
  EffectObject* object = EffectGetOrLoad("bloom", 0);
  return object ? object->effects[0] : nullptr;
}

bool BloomEnabled() {
  const DeviceRecord* record = Record();
  return gSystem && (gSystem->d3dFlags2 & kD3D2Glow) && record && record->device && record->glowFilter &&
         gBloomTargets.sceneMap && gBloomTargets.glowMap1 && gBloomTargets.glowMap2 && gBloomTargets.quadBuffer;
}

// The map surface a pass's annotation names, or null when it names none of them.
GpuSurface* AnnotatedTarget(GpuxEffect* effect, GpuxHandle pass, GpuSurface* const maps[3], bool* annotated) {
  *annotated = false;
  const GpuxHandle annotation = effect->GetAnnotationByName(pass, kTargetAnnotation);
  const char* name = nullptr;
  if (!annotation || GpuFailed(effect->GetString(annotation, &name)) || !name) return nullptr;
  *annotated = true;
  for (int i = 0; i < 3; ++i) {
    if (std::strcmp(name, kBloomParamNames[i]) == 0) return maps[i];
  }
  return nullptr;
}

void DrawBloomPasses(GpuDevice* device, GpuxEffect* effect, GpuSurface* backBuffer, GpuSurface* const maps[3]) {
  uint32_t passes = 0;
  if (GpuFailed(effect->Begin(&passes, kGpuxFxDoNotSaveState))) return;
  GpuSurface* target = backBuffer;
  for (uint32_t p = 0; p < passes; ++p) {
    effect->BeginPass(p);
    bool annotated = false;
    GpuSurface* named = AnnotatedTarget(effect, effect->GetPass(gBloomHandles.technique, p), maps, &annotated);
    // A pass without the annotation draws into the back buffer; one that names no map keeps the
    // previous pass's target.
    if (!annotated) {
      target = backBuffer;
    } else if (named) {
      target = named;
    }
    device->SetRenderTarget(0, target);
    SetViewportFromSurface(target);
    device->DrawPrimitive(kGpuPtTriangleStrip, 0, 2);
    effect->EndPass();
  }
  effect->End();
}

// ---- Overlay cache

struct OverlayVertex {
  float x, y, z, rhw, u, v;
};
struct OverlayCache {
  std::string name;
  bool valid;
  int32_t tiled;
  int32_t diffId;
  int32_t alphaId;
  OverlayVertex quad[4];
};
OverlayCache gOverlay = {};

GpuBaseTexture* ResidentTexture(int32_t id) {
  if (id <= 0 || id >= TextureTableCapacity()) return nullptr;
  DisplaySurface* image = GetTextureHandle(id);
  return image ? image->deviceTexture : nullptr;
}

}  // namespace

void BloomCreateTargets() {
  BloomReleaseTargets();
  DeviceRecord* record = Record();
  GpuDevice* device = Device();
  if (!device) return;
  const uint32_t width = record->presentParameters.backBufferWidth;
  const uint32_t height = record->presentParameters.backBufferHeight;
  BloomTargets& t = gBloomTargets;
  const auto target = [&](uint32_t w, uint32_t h, GpuTexture** out) {
    if (GpuFailed(TwoAttempts([&] {
          return device->CreateTexture(w, h, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolDefault, out);
        }))) {
      *out = nullptr;
    }
  };
  target(width, height, &t.sceneMap);
  target(width / 2, height / 2, &t.glowMap1);
  target(width / 2, height / 2, &t.glowMap2);
  static const GpuVertexElement kQuadElements[] = {
      {0, 0, kGpuDeclTypeFloat4, kGpuDeclMethodDefault, kGpuDeclUsagePosition, 0},
      {0, 16, kGpuDeclTypeFloat2, kGpuDeclMethodDefault, kGpuDeclUsageTexCoord, 0},
      kGpuDeclEnd};
  if (GpuFailed(TwoAttempts([&] { return device->CreateVertexDeclaration(kQuadElements, &t.quadDeclaration); }))) {
    t.quadDeclaration = nullptr;
  }
  if (GpuFailed(TwoAttempts([&] {
        return device->CreateVertexBuffer(kQuadBytes, kGpuUsageWriteOnly, 0, kGpuPoolDefault, &t.quadBuffer);
      }))) {
    t.quadBuffer = nullptr;
    return;
  }
  // With w = 10 the corners land exactly on the clip square, at the far depth.
  static const float kQuad[4][6] = {
      {-10, 10, 10, 10, 0, 0}, {10, 10, 10, 10, 1, 0}, {-10, -10, 10, 10, 0, 1}, {10, -10, 10, 10, 1, 1}};
  void* data = nullptr;
  if (GpuSucceeded(t.quadBuffer->Lock(0, 0, &data, 0)) && data) {
    std::memcpy(data, kQuad, sizeof kQuad);
    t.quadBuffer->Unlock();
  }
}

void BloomReleaseTargets() {
  BloomTargets& t = gBloomTargets;
  ReleaseAndClear(t.quadBuffer);
  ReleaseAndClear(t.quadDeclaration);
  ReleaseAndClear(t.sceneMap);
  ReleaseAndClear(t.glowMap1);
  ReleaseAndClear(t.glowMap2);
}

void RenderBloom() {
  if (!BloomEnabled()) return;
  GpuxEffect* effect = BloomEffect();
  if (!effect) return;
  DeviceRecord* record = Record();
  GpuDevice* device = record->device;
  BloomTargets& t = gBloomTargets;

  GpuSurface* savedTarget = nullptr;
  if (GpuFailed(TwoAttempts([&] { return device->GetRenderTarget(0, &savedTarget); })) || !savedTarget) return;
  GpuSurface* savedDepth = nullptr;
  if (GpuFailed(TwoAttempts([&] { return device->GetDepthStencilSurface(&savedDepth); }))) savedDepth = nullptr;
  device->SetDepthStencilSurface(nullptr);

  GpuSurface* maps[3] = {};
  const auto finish = [&] {
    device->SetRenderTarget(0, savedTarget);
    for (GpuSurface*& surface : maps) ReleaseAndClear(surface);
    savedTarget->Release();
    device->SetDepthStencilSurface(savedDepth);
    if (savedDepth) savedDepth->Release();
  };
  if (!LookUpBloomHandles(effect)) {
    finish();
    return;
  }
  effect->SetTechnique(gBloomHandles.technique);
  GpuTexture* const textures[3] = {t.sceneMap, t.glowMap1, t.glowMap2};
  for (int i = 0; i < 3; ++i) {
    if (GpuFailed(textures[i]->GetSurfaceLevel(0, &maps[i])) || !maps[i]) {
      maps[i] = nullptr;
      finish();
      return;
    }
  }
  for (GpuSurface* surface : maps) device->ColorFill(surface, nullptr, 0);
  for (int i = 0; i < 3; ++i) {
    if (gBloomHandles.params[i]) EffectSetTexture(effect, gBloomHandles.params[i], textures[i], -1);
  }
  if (const GpuxHandle size = gBloomHandles.params[kViewPortSizeParam]) {
    const GpuVector4 value{static_cast<float>(record->presentParameters.backBufferWidth),
                           static_cast<float>(record->presentParameters.backBufferHeight), 0.0f, 0.0f};
    effect->SetVector(size, &value);
  }
  if (record->vertexProcessingMode == kVertexProcessingSoftware) device->SetSoftwareVertexProcessing(1);
  if (GpuSucceeded(TwoAttempts(
          [&] { return device->StretchRect(savedTarget, nullptr, maps[0], nullptr, kGpuTexFilterLinear); }))) {
    if (RenderStateManager* states = gDirect3D->stateManager) {
      states->SetVertexDeclaration(t.quadDeclaration);
      states->SetStreamSource(0, t.quadBuffer, 0, kQuadStride);
      states->SetIndices(nullptr);
    }
    DrawBloomPasses(device, effect, savedTarget, maps);
  }
  for (int i = 0; i < 3; ++i) {
    if (gBloomHandles.params[i]) EffectSetTexture(effect, gBloomHandles.params[i], nullptr, -1);
  }
  finish();
}

bool DrawScreenTint(uint32_t colour, CameraRecord* camera) {
  GpuDevice* device = Device();
  if (colour < 0x01000000u || !camera || !device) return true;
  float width, height;
  ScreenSize(&width, &height);
  const float left = width * camera->viewLeft / 65536.0f;
  const float right = left + width * (camera->viewRight - camera->viewLeft) / 65536.0f;
  const float top = height * camera->viewTop / 65536.0f;
  const float bottom = top + height * (camera->viewBottom - camera->viewTop) / 65536.0f;
  struct TintVertex {
    float x, y, z, rhw;
    uint32_t colour;
  };
  static_assert(sizeof(TintVertex) == kTintStride);
  const TintVertex quad[4] = {
      {left, bottom, 0, 1, colour}, {left, top, 0, 1, colour}, {right, bottom, 0, 1, colour}, {right, top, 0, 1, colour}};
  device->SetRenderState(kGpuRsZEnable, 0);
  device->SetRenderState(kGpuRsAlphaBlendEnable, 1);
  device->SetRenderState(kGpuRsSrcBlend, kGpuBlendSrcAlpha);
  device->SetRenderState(kGpuRsDestBlend, kGpuBlendInvSrcAlpha);
  device->SetRenderState(kGpuRsColorVertex, 1);
  device->SetTextureStageState(0, kGpuTssColorOp, kGpuTopSelectArg1);
  device->SetTextureStageState(0, kGpuTssColorArg1, kGpuTaDiffuse);
  device->SetTextureStageState(0, kGpuTssAlphaOp, kGpuTopSelectArg1);
  device->SetTextureStageState(0, kGpuTssAlphaArg1, kGpuTaDiffuse);
  device->SetTextureStageState(1, kGpuTssColorOp, kGpuTopDisable);
  device->SetTextureStageState(1, kGpuTssAlphaOp, kGpuTopDisable);
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  device->SetFVF(kGpuFvfXyzRhw | kGpuFvfDiffuse);
  device->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, quad, kTintStride);
  ResetRenderStates();
  return true;
}

bool DrawScreenOverlay(const char* name, int32_t tiled) {
  GpuDevice* device = Device();
  if (!name || !device) return true;
  OverlayCache& c = gOverlay;
  if (!c.valid || c.name != name || c.tiled != tiled) {
    c.name = name;
    c.tiled = tiled;
    c.valid = true;
    c.diffId = FindTextureByName((std::string(name) + "_diff").c_str(), 0);
    c.alphaId = FindTextureByName((std::string(name) + "_alpha8").c_str(), 0);
    float width, height;
    ScreenSize(&width, &height);
    float uMax = 1.0f, vMax = 1.0f;
    if (tiled) {
      // One texel per pixel; a texture that has no size yet counts as one repeat.
      const int32_t textureWidth = TextureGetWidth(c.diffId);
      const int32_t textureHeight = TextureGetHeight(c.diffId);
      if (textureWidth > 0) uMax = width / static_cast<float>(textureWidth);
      if (textureHeight > 0) vMax = height / static_cast<float>(textureHeight);
    }
    c.quad[0] = OverlayVertex{0, 0, 0, 1, 0, 0};
    c.quad[1] = OverlayVertex{width, 0, 0, 1, uMax, 0};
    c.quad[2] = OverlayVertex{0, height, 0, 1, 0, vMax};
    c.quad[3] = OverlayVertex{width, height, 0, 1, uMax, vMax};
  }
  GpuBaseTexture* diff = ResidentTexture(c.diffId);
  GpuBaseTexture* alpha = ResidentTexture(c.alphaId);
  device->SetRenderState(kGpuRsZEnable, 0);
  device->SetRenderState(kGpuRsAlphaBlendEnable, 1);
  device->SetSamplerState(0, kGpuSampMinFilter, kGpuTexFilterPoint);
  device->SetSamplerState(0, kGpuSampMagFilter, kGpuTexFilterPoint);
  if (tiled) {
    device->SetSamplerState(0, kGpuSampAddressU, kGpuTAddressWrap);
    device->SetSamplerState(0, kGpuSampAddressV, kGpuTAddressWrap);
  }
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  device->SetFVF(kGpuFvfXyzRhw | kGpuFvfTex1);

  device->SetRenderState(kGpuRsSrcBlend, kGpuBlendSrcAlpha);
  device->SetRenderState(kGpuRsDestBlend, kGpuBlendInvSrcAlpha);
  device->SetTexture(0, alpha);
  device->SetTextureStageState(0, kGpuTssColorOp, kGpuTopSelectArg1);
  device->SetTextureStageState(0, kGpuTssColorArg1, kGpuTaTexture);
  device->SetTextureStageState(0, kGpuTssAlphaOp, kGpuTopSelectArg1);
  device->SetTextureStageState(0, kGpuTssAlphaArg1, kGpuTaTexture);
  device->SetTextureStageState(1, kGpuTssColorOp, kGpuTopDisable);
  device->SetTextureStageState(1, kGpuTssAlphaOp, kGpuTopDisable);
  device->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, c.quad, kOverlayStride);

  device->SetRenderState(kGpuRsSrcBlend, kGpuBlendOne);
  device->SetRenderState(kGpuRsDestBlend, kGpuBlendOne);
  device->SetTexture(0, diff);
  device->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, c.quad, kOverlayStride);

  device->SetTexture(0, nullptr);
  ResetRenderStates();
  return true;
}
