// Drawing an instance's render parts: geometry, technique, material block, the per-frame effect
// values and the pass loop. Called by the instance drawing. Never draws a part whose geometry or
// technique could not be set, and never divides by a fog range of zero.
#include "render/instance_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "platform/gpu_math.h"
#include "render/body_part_meshes.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/effect_textures.h"
#include "render/environment_map.h"
#include "render/device_lights.h"
#include "render/render_material.h"
#include "render/render_matrices.h"
#include "render/state_manager.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/light_records.h"
#include "scene/scene_records.h"

namespace {

TextureRemapCall gTextureRemap = nullptr;

constexpr char kEnvMapTestName[] = "envmap_test";
constexpr char kEnvMapTestTexture[] = "effects\\others\\envmap_test.dds";

struct PartDraw {
  GpuxEffect* effect;
  const PartMaterialState* s;
  bool glow;  // glow enabled by the settings and the device
};

void SetInt(const PartDraw& d, int32_t handle, int32_t v) {
  if (d.s->handles[handle]) d.effect->SetInt(d.s->handles[handle], v);
}
void SetBool(const PartDraw& d, int32_t handle, bool v) {
  if (d.s->handles[handle]) d.effect->SetBool(d.s->handles[handle], v ? 1 : 0);
}
void SetFloat(const PartDraw& d, int32_t handle, float v) {
  if (d.s->handles[handle]) d.effect->SetFloat(d.s->handles[handle], v);
}
void SetVec(const PartDraw& d, int32_t handle, float x, float y, float z, float w) {
  const GpuVector4 v{x, y, z, w};
  if (d.s->handles[handle]) d.effect->SetVector(d.s->handles[handle], &v);
}
bool GetBool(const PartDraw& d, int32_t handle) {
  int32_t v = 0;
  if (d.s->handles[handle]) d.effect->GetBool(d.s->handles[handle], &v);
  return v != 0;
}

bool GlowEnabled() {
  return gSystem && (gSystem->d3dFlags2 & kD3D2Glow) && gDirect3D && gDirect3D->device && gDirect3D->device->glowFilter;
}

GpuResult SetState(uint32_t state, uint32_t value) {
  if (gDirect3D && gDirect3D->stateManager) return gDirect3D->stateManager->SetRenderState(state, value);
  return kGpuErrInvalidCall;
}

GpuMatrix WorldViewProjection(const CameraRecord* camera, const InstanceRecord* instance, float sceneScale) {
  GpuMatrix out{};
  if ((instance->flags2 & kInst2ScreenSpace) && gRenderMatrices.world && gRenderMatrices.view &&
      gRenderMatrices.screenProjection) {
    GpuMatrix wv;
    GpuxMatrixMultiply(&wv, gRenderMatrices.world, gRenderMatrices.view);
    GpuxMatrixMultiply(&out, &wv, gRenderMatrices.screenProjection);
    return out;
  }
  // World x view in double precision: positions far from the origin keep their digits until the
  // product is converted.
  const GpuMatrix world = InstWorldMatrix(instance, sceneScale);
  const GpuMatrix view = CameraViewMatrix(camera, sceneScale);
  double w[4][4];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) w[r][c] = world.m[r][c];
  w[3][0] = static_cast<double>(instance->world.x) * sceneScale;
  w[3][1] = static_cast<double>(instance->world.y) * sceneScale;
  w[3][2] = static_cast<double>(instance->world.z) * sceneScale;
  w[3][3] = 1.0;
  GpuMatrix worldView{};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += w[r][k] * static_cast<double>(view.m[k][c]);
      worldView.m[r][c] = static_cast<float>(sum);
    }
  }
  // The current projection carries the depth terms the part drawing chose.
  const GpuMatrix projection = gRenderMatrices.projection ? *gRenderMatrices.projection : CameraProjectionMatrix(camera);
  GpuxMatrixMultiply(&out, &worldView, &projection);
  return out;
}

// The direction from the instance to the light as a unit vector, and the light's colour.
void SetDirectional(const PartDraw& d, int32_t dir, int32_t colour, const InstanceRecord* instance,
                    const InstanceRecord* light) {
  if (!light) {
    SetVec(d, colour, 0, 0, 0, 0);
    return;
  }
  FixedVector v{light->world.x - instance->world.x, light->world.y - instance->world.y,
                light->world.z - instance->world.z, 0};
  FixedVectorNormalize(&v);
  SetVec(d, dir, v.x / 65536.0f, v.y / 65536.0f, v.z / 65536.0f, 0.0f);
  SetVec(d, colour, light->lightColor[0] / 256.0f, light->lightColor[1] / 256.0f, light->lightColor[2] / 256.0f,
         0.0f);
}

int32_t Distance(const InstanceRecord* a, const InstanceRecord* b) {
  const double x = static_cast<double>(a->world.x) - b->world.x;
  const double y = static_cast<double>(a->world.y) - b->world.y;
  const double z = static_cast<double>(a->world.z) - b->world.z;
  return static_cast<int32_t>(std::sqrt(x * x + y * y + z * z));
}

// The active lights in reach of the instance, besides the two directional ones, fill the point
// light elements in list order; the rest are left out.
// Positions are sent in the scaled world space of g_mWorld, so the effect can measure from the
// lit point to the light.
void SetPointLights(const PartDraw& d, const InstanceRecord* instance, const InstanceRecord* lightA,
                    const InstanceRecord* lightB, float sceneScale) {
  int32_t filled = 0;
  for (int32_t i = 0; gEngine3D && i < kActiveLightCapacity && filled < kLightPointElements; ++i) {
    InstanceRecord* light = gEngine3D->activeLights[i];
    if (!light) break;
    if (light == lightA || light == lightB) continue;
    const bool unlimited = light->flags & kLightUnlimitedRange;
    if (!unlimited && static_cast<int64_t>(Distance(light, instance)) - light->lightRange - instance->size > 0) {
      continue;
    }
    if (light->deviceLight) light->deviceLight->slot = i;
    const GpuxHandle* h = d.s->lightPoint[filled];
    const GpuVector4 pos{static_cast<float>(light->world.x * static_cast<double>(sceneScale)),
                         static_cast<float>(light->world.y * static_cast<double>(sceneScale)),
                         static_cast<float>(light->world.z * static_cast<double>(sceneScale)), 0.0f};
    const GpuVector4 colour{light->lightColor[0] / 256.0f, light->lightColor[1] / 256.0f,
                            light->lightColor[2] / 256.0f, 0.0f};
    GpuVector4 atten{1.0f, 0.0f, 0.0f, 0.0f};
    if (!unlimited) {
      atten = GpuVector4{static_cast<int32_t>(light->words31[0]) / 65536.0f,
                         static_cast<int32_t>(light->words31[1]) / 65536.0f,
                         static_cast<int32_t>(light->words31[2]) / 65536.0f, 0.0f};
    }
    if (h[kLightPos]) d.effect->SetVector(h[kLightPos], &pos);
    if (h[kLightColor]) d.effect->SetVector(h[kLightColor], &colour);
    if (h[kLightAtten]) d.effect->SetVector(h[kLightAtten], &atten);
    ++filled;
  }
  SetInt(d, kHNumLightPoint, filled);
}

// Classic alpha blending by the instance's fade value, by name: the depth pass has no handle cache.
void SetClassicFade(GpuxEffect* e, const InstanceRecord* instance) {
  auto set = [e](const char* name, auto setter) {
    const GpuxHandle h = e->GetParameterByName(kGpuxNoHandle, name);
    if (h) setter(h);
  };
  set("g_ZWriteEnable", [e](GpuxHandle h) { e->SetBool(h, 0); });
  set("g_AlphaBlendEnable", [e](GpuxHandle h) { e->SetBool(h, 1); });
  set("g_SrcBlend", [e](GpuxHandle h) { e->SetInt(h, 5); });
  set("g_DestBlend", [e](GpuxHandle h) { e->SetInt(h, 6); });
  set("g_AlphaValue", [e, instance](GpuxHandle h) { e->SetFloat(h, instance->alphaOverride / 255.0f); });
}

// Fade, distance fog and colour adjustment of the normal pass.
void SetFadeAndFog(const PartDraw& d, const InstanceRecord* instance, const CameraRecord* camera, float sceneScale) {
  const bool sorted = d.s->sorted;
  bool blending = GetBool(d, kHAlphaBlendEnable);
  const int32_t fade = instance->alphaOverride;
  if (fade > 0) {
    SetBool(d, kHZWriteEnable, false);
    SetBool(d, kHAlphaBlendEnable, true);
    if (!sorted && !blending) {
      SetInt(d, kHSrcBlend, 5);
      int32_t dest = 0;
      if (d.s->handles[kHDestBlend]) d.effect->GetInt(d.s->handles[kHDestBlend], &dest);
      if (dest != 2 && dest != 6) SetInt(d, kHDestBlend, 2);
    }
    SetFloat(d, kHAlphaValue, fade / 255.0f);
    blending = true;
  }
  const float nearFog = static_cast<float>(camera->fog[kCameraFogStart]) * sceneScale;
  const float farFog = static_cast<float>(camera->fog[kCameraFogEnd]) * sceneScale;
  // A fog range of zero (or less) cannot be divided by: such a camera draws without fog.
  const bool fog = (camera->cameraFlags & kCameraFog) && !(instance->flags & kInstNoDistanceFade) && farFog > nearFog;
  if (fog && Distance(&camera->instance, instance) >= camera->fog[kCameraFogStart]) {
    SetBool(d, kHZWriteEnable, false);
    SetBool(d, kHAlphaBlendEnable, true);
    if (!sorted && !blending) {
      SetInt(d, kHSrcBlend, 5);
      SetInt(d, kHDestBlend, 6);
    }
    SetVec(d, kHFogClip, farFog / (farFog - nearFog), 1.0f / (farFog - nearFog), 0, 0);
    SetBool(d, kHEnableFog, true);
  } else {
    SetVec(d, kHFogClip, 1, 0, 0, 0);
    SetBool(d, kHEnableFog, false);
  }
  if (!(instance->flags2 & kInst2NoColourAdjust)) {
    const int32_t hue = instance->colorModifier[0];
    const int32_t saturation = instance->colorModifier[1];
    if (hue != 0) SetFloat(d, kHHue, static_cast<float>(std::clamp(hue, 0, 360)));
    if (saturation != 0x10000) SetFloat(d, kHSaturation, std::clamp(saturation / 65536.0f, -5.1f, 5.1f));
  }
  if ((instance->flags2 & kInst2ClassicFade) && fade > 0) SetClassicFade(d.effect, instance);
}

// The device texture of a texture id, or null when it is missing, has none or is not ready.
GpuBaseTexture* ReadyTexture(int32_t id) {
  if (id <= 0) return nullptr;
  DisplaySurface* image = TextureGetLoaded(id);
  if (!image || !image->deviceTexture || !IsTextureReady(id)) return nullptr;
  return image->deviceTexture;
}

bool BindImage(GpuxEffect* effect, GpuxHandle handle, int32_t slot) {
  const DisplaySurface* image = gLookupImages[slot];
  return EffectSetTexture(effect, handle, image ? image->deviceTexture : nullptr, -1);
}

// Binds texture `id`; a texture that cannot be bound gives way to the slot's default image.
void BindTexture(const PartDraw& d, int32_t handle, int32_t id, int32_t defaultSlot) {
  const GpuxHandle h = d.s->handles[handle];
  if (!h) return;
  GpuBaseTexture* texture = ReadyTexture(id);
  if (texture && EffectSetTexture(d.effect, h, texture, id)) return;
  BindImage(d.effect, h, defaultSlot);
}

void BindDefault(const PartDraw& d, int32_t handle, int32_t slot) {
  if (d.s->handles[handle]) BindImage(d.effect, d.s->handles[handle], slot);
}

// The diffuse texture through the instance's texture remap table; the replacement takes over the
// flags of the texture it replaces.
int32_t RemappedDiffuse(const InstanceRecord* instance, int32_t id) {
  const int32_t table = instance->colorModifierExtra[0];
  if (table <= 0 || !gTextureRemap) return id;
  const int32_t mapped = gTextureRemap(id, table);
  if (mapped != id) SetTextureFlags(mapped, TextureGetFlags(id));
  return mapped;
}

void BindCubeMap(const PartDraw& d, const PartMaterial& m) {
  const GpuxHandle h = d.s->handles[kHCubeMapTexture];
  if (!h) return;
  if (m.cubeMap <= 0 || !gDirect3D->device->environmentMap) {
    BindImage(d.effect, h, kImageNoneEnvi);
    return;
  }
  const char* name = TextureNameOf(m.cubeMap);
  if (name && std::strstr(name, kEnvMapTestName)) {
    // The live environment map once it was rendered; its stand-in picture before.
    if (gEnvCubeTexture && gEngine3D && (gEngine3D->engineFlags & kEngineEnvRefreshed) &&
        EffectSetTexture(d.effect, h, gEnvCubeTexture, -1)) {
      return;
    }
  } else {
    GpuBaseTexture* texture = ReadyTexture(m.cubeMap);
    if (texture && EffectSetTexture(d.effect, h, texture, m.cubeMap)) return;
  }
  BindTexture(d, kHCubeMapTexture, FindTextureByName(kEnvMapTestTexture, 0), kImageNoneEnvi);
}

// Light map and the glow mask it decides: an opaque part with a light map glows through the
// back buffer's alpha; without one the alpha is cleared for parts that neither blend nor fade.
void BindLightMap(const PartDraw& d, const PartMaterial& m, const InstanceRecord* instance, bool blends,
                  bool alphaTested) {
  if (!d.s->handles[kHLightMapTexture]) return;
  const bool opaque = !blends && !alphaTested;
  if (m.lightMap > 0) {
    BindTexture(d, kHLightMapTexture, m.lightMap, kImageNoneBlack);
    if (d.glow) {
      SetInt(d, kHColorWriteEnable, opaque ? 15 : 7);
      SetFloat(d, kHEnableGlow, opaque ? 1.0f : 0.0f);
    }
    return;
  }
  BindDefault(d, kHLightMapTexture, kImageNoneBlack);
  SetFloat(d, kHEnableGlow, 0.0f);
  if (!d.glow) return;
  SetInt(d, kHColorWriteEnable, opaque ? 15 : 7);
  if (opaque && instance->alphaOverride <= 0 && !d.s->sorted) SetFloat(d, kHAlphaValue, 0.0f);
}

void BindDetail(const PartDraw& d, const PartMaterial& m, const InstanceRecord* instance,
                const CameraRecord* camera) {
  if (m.detail > 0 && d.s->handles[kHDetailTexture] && d.s->handles[kHDetailWeight]) {
    BindTexture(d, kHDetailTexture, m.detail, kImageNoneBlack);
    SetFloat(d, kHDetailWeight,
             DetailBlendWeight(instance->size, Distance(&camera->instance, instance), camera->fieldOfView));
    return;
  }
  BindDefault(d, kHDetailTexture, kImageNoneBlack);
}

// The normal pass's textures: each texture parameter the effect has gets the part's texture or
// its slot's default image, then the lookup tables and the first lighting ramp the effect names.
void BindTextures(const PartDraw& d, const PartMaterial& m, const InstanceRecord* instance,
                  const CameraRecord* camera, bool blends, bool alphaTested) {
  if (!m.params && (m.flags & kMatDiffuseOnly)) {
    GpuBaseTexture* texture = ReadyTexture(m.diffuse);
    const GpuxHandle h = d.effect->GetParameterByName(kGpuxNoHandle, "t_DiffuseTexture");
    if (texture && h) EffectSetTexture(d.effect, h, texture, m.diffuse);
    return;
  }
  BindTexture(d, kHDiffuseTexture, RemappedDiffuse(instance, m.diffuse), kImageNoneGray);
  const int32_t flat = gDirect3D->device->shader20 ? kImageNoneNormal : kImageNoneNormalLow;
  if (instance->flags2 & kInst2NoBump) {
    BindDefault(d, kHBumpTexture, flat);
  } else {
    BindTexture(d, kHBumpTexture, m.bump, flat);
  }
  BindTexture(d, kHSpecularTexture, m.specular, kImageNoneWhite);
  BindTexture(d, kHOcclusionTexture, instance->sizeUsed != 0 ? 0 : m.occlusion, kImageNoneOcclDecal);
  BindLightMap(d, m, instance, blends, alphaTested);
  BindCubeMap(d, m);
  BindDetail(d, m, instance, camera);
  BindDefault(d, kHNormalizeTex0, kLookupNormalizeSlot);
  BindDefault(d, kHPowTex, kLookupPowSlot);
  BindDefault(d, kHDeriveZTex, kLookupDeriveZSlot);
  for (int32_t i = 0; i < kLightingImageCount; ++i) {
    if (d.s->handles[kHLightingFirst + i]) {
      BindDefault(d, kHLightingFirst + i, i);
      break;
    }
  }
}

void SetGlowOutput(const PartDraw& d, const CameraRecord* camera) {
  if (d.glow) {
    if (!(camera->cameraFlags & kCameraGlowPass)) return;
    if (GetBool(d, kHAlphaBlendEnable)) {
      SetState(kGpuRsColorWriteEnable, 15);
      SetState(kGpuRsSrcBlendAlpha, 1);
      SetState(kGpuRsDestBlendAlpha, 1);
      SetState(kGpuRsSeparateAlphaBlendEnable, 1);
      SetInt(d, kHColorWriteEnable, 15);
      SetBool(d, kHSeparateAlphaBlend, true);
      SetInt(d, kHSrcBlendAlpha, 1);
      SetInt(d, kHDestBlendAlpha, 1);
      SetFloat(d, kHEnableGlow, 0.0f);
    } else {
      SetInt(d, kHColorWriteEnable, 7);
      SetFloat(d, kHEnableGlow, 0.0f);
      SetState(kGpuRsColorWriteEnable, 7);
    }
    return;
  }
  SetInt(d, kHColorWriteEnable, 7);
  SetFloat(d, kHEnableGlow, 0.0f);
  SetState(kGpuRsColorWriteEnable, 7);
  SetState(kGpuRsSeparateAlphaBlendEnable, 0);
}

void DrawPasses(GpuxEffect* effect, uint32_t passes, const RenderPart* part) {
  const uint32_t faces = part->mesh->GetNumFaces();
  if (faces > 0) {
    for (uint32_t p = 0; p < passes; ++p) {
      effect->BeginPass(p);
      gDirect3D->device->device->DrawIndexedPrimitive(kGpuPtTriangleList, 0, 0, part->mesh->GetNumVertices(), 0,
                                                      faces);
      effect->EndPass();
    }
  }
  effect->End();
}

}  // namespace

int32_t DrawInstanceParts(RenderPartSet* set, const BodyMesh* mesh, InstanceRecord* instance, CameraRecord* camera,
                          int32_t mode, InstanceRecord* lightA, InstanceRecord* lightB, float sceneScale) {
  if (!set || !instance || !camera) return 1;
  if (!(instance->flags & kPartsDrawable) || (instance->flags & kPartsNotDrawn)) return 1;
  if (!gDirect3D || !gDirect3D->device || !gDirect3D->device->device || !gDirect3D->stateManager) return 0;
  GpuDevice* device = gDirect3D->device->device;
  RenderStateManager* states = gDirect3D->stateManager;
  if (gDirect3D->device->adapter && (gDirect3D->device->adapter->behaviorFlags & kGpuCreateMixedVertexProcessing)) {
    device->SetSoftwareVertexProcessing(1);
  }
  const bool depthPass = instance->flags2 & kInst2DepthPass;
  const bool lensFlare = InstInLensFlareScene(instance);
  for (int32_t i = 0; i < set->partCount; ++i) {
    RenderPart* part = &set->parts[i];
    PartMaterial material{};
    if (!PartResolveMaterial(mesh, part, instance, mode, &material)) return 0;
    PartEffectChoice choice{};
    if (!PartChooseEffect(&material, instance, lensFlare, &choice)) continue;
    GpuxEffect* effect = choice.effect;
    if (!part->mesh) return 0;
    if (states->SetIndices(part->indexBuffer) != kGpuOk) return 0;
    if (states->SetStreamSource(0, part->vertexBuffer, 0, part->mesh->GetNumBytesPerVertex()) != kGpuOk ||
        states->SetVertexDeclaration(part->declaration) != kGpuOk) {
      return 0;
    }
    GpuxHandle technique = effect->GetTechniqueByName(choice.technique);
    if (technique == kGpuxNoHandle && (effect->FindNextValidTechnique(kGpuxNoHandle, &technique) != kGpuOk ||
                                       technique == kGpuxNoHandle)) {
      return 0;
    }
    effect->SetTechnique(technique);
    PartMaterialState* s = &part->material;
    // A blending part ends the depth pass: what is drawn after it is sorted by distance.
    const bool blends = s->sorted || (!material.params && (material.flags & kMatBlendBits));
    if (depthPass && blends) return 1;
    if (depthPass) {
      if (!s->depthBlock) PartBuildDepthBlock(part, effect, &material, mesh);
    } else if (!s->blockBuilt) {
      PartBuildNormalBlock(part, effect, &material, mesh);
    }
    uint32_t passes = 0;
    effect->Begin(&passes, kGpuxFxDoNotSaveState);
    const PartDraw d{effect, s, GlowEnabled()};
    const GpuMatrix wvp = WorldViewProjection(camera, instance, sceneScale);
    if (depthPass) {
      if (s->depthBlock && s->depthEffect == effect) effect->ApplyParameterBlock(s->depthBlock);
      if (s->depthWorldViewProjection) effect->SetMatrix(s->depthWorldViewProjection, &wvp);
      if ((instance->flags2 & kInst2ClassicFade) && instance->alphaOverride > 0) SetClassicFade(effect, instance);
      if (material.alphaTested) {
        GpuBaseTexture* texture = ReadyTexture(material.diffuse);
        const GpuxHandle h = effect->GetParameterByName(kGpuxNoHandle, "t_DiffuseTexture");
        if (texture && h) EffectSetTexture(effect, h, texture, material.diffuse);
      }
      SetGlowOutput(d, camera);
      DrawPasses(effect, passes, part);
      continue;
    }
    if (s->normalBlock && s->normalEffect == effect) effect->ApplyParameterBlock(s->normalBlock);
    if ((instance->flags2 & kInst2NoDepth) ||
        !(camera->cameraFlags & (kCameraDepthTestA | kCameraDepthTestB))) {
      SetBool(d, kHZEnable, false);
      SetBool(d, kHZWriteEnable, false);
    }
    GpuMatrix tex{};
    tex.m[0][0] = tex.m[1][1] = tex.m[2][2] = 1.0f;
    if (material.uv) {
      const int32_t* rows[3] = {material.uv->row0, material.uv->row1, material.uv->row2};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) tex.m[r][c] = rows[r][c] / 65536.0f;
    }
    if (s->handles[kHTexMatrix]) effect->SetMatrix(s->handles[kHTexMatrix], &tex);
    if (gRenderMatrices.world && s->handles[kHWorld]) effect->SetMatrix(s->handles[kHWorld], gRenderMatrices.world);
    if (gRenderMatrices.rotation && s->handles[kHWorldIT]) {
      GpuMatrix inverse, it;
      GpuxMatrixInverse(&inverse, nullptr, gRenderMatrices.rotation);
      GpuxMatrixTranspose(&it, &inverse);
      effect->SetMatrix(s->handles[kHWorldIT], &it);
    }
    if (s->handles[kHWorldViewProjection]) effect->SetMatrix(s->handles[kHWorldViewProjection], &wvp);
    if (gRenderMatrices.view && s->handles[kHViewInverse]) {
      GpuMatrix inverse;
      GpuxMatrixInverse(&inverse, nullptr, gRenderMatrices.view);
      effect->SetMatrix(s->handles[kHViewInverse], &inverse);
    }
    SetDirectional(d, kHLightDir0, kHLightColor0, instance, lightA);
    if (lightB) SetDirectional(d, kHLightDir1, kHLightColor1, instance, lightB);
    SetPointLights(d, instance, lightA, lightB, sceneScale);
    SetFadeAndFog(d, instance, camera, sceneScale);
    BindTextures(d, material, instance, camera, GetBool(d, kHAlphaBlendEnable), GetBool(d, kHAlphaTestEnable));
    SetGlowOutput(d, camera);
    DrawPasses(effect, passes, part);
  }
  return 1;
}

void SetPartTextureRemap(TextureRemapCall call) { gTextureRemap = call; }

bool InstInLensFlareScene(const InstanceRecord* instance) {
  if (!gEngine3D || !gEngine3D->lensFlareScene) return false;
  // Members carry their scene; a child may only be reached through its root.
  for (const InstanceRecord* i = instance; i; i = i->parent) {
    if (i->scene == gEngine3D->lensFlareScene) return true;
  }
  return false;
}

float DetailBlendWeight(int32_t size, int32_t distance, uint32_t fieldOfView) {
  const double halfAngle = fieldOfView / 65536.0 * std::numbers::pi;
  const double tangent = std::tan(halfAngle);
  // Standing on the instance, or a camera without a field of view, gives the full weight.
  if (distance == 0 || !(tangent > 0.0)) return kMaxDetailWeight;
  const double weight = (0.5 * size / 65536.0 / distance) / tangent;
  return static_cast<float>(std::min<double>(kMaxDetailWeight, weight));
}
