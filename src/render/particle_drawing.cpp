// Particle and instanced drawing: the particle groups of a scene's batch with the effect
// "particles" (technique "BASE_NoLight", blend states chosen per group by the material's flags),
// the instanced geometry of a draw object with technique "INSTANCE" or "INSTANCE_BULLETS", and
// the per-group values sent through effect parameter records. Called by the scene engine's frame
// driver. Whatever it begins it ends: a failed stream binding ends the pass and the effect and
// switches vertex processing back.
#include "render/particle_drawing.h"

#include <cstring>

#include "platform/gpu_math.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/draw_batches.h"
#include "render/effect_cache.h"
#include "render/effect_params.h"
#include "render/effect_textures.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/render_matrices.h"
#include "render/state_manager.h"
#include "render/texture_table.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/scene_records.h"

namespace {

constexpr int32_t kVertexProcessingNone = 0;
constexpr int32_t kVertexProcessingSoftware = 2;
// A loaded texture with this flag is not bound by the particle and instance drawing.
constexpr uint32_t kTextureNotBound = 0x2000000;
// Batch type flags.
constexpr uint32_t kBatchOwnEffect = 0x10;
constexpr uint32_t kBatchBullets = 0x20000000;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }

// The particle blend of a material: the first matching flag wins; none leaves the parameters
// as the group before set them.
struct BlendRow {
  uint32_t flag;
  int32_t src;
  int32_t dest;
};
constexpr BlendRow kParticleBlends[] = {
    {MPF_MULTIPLY, kGpuBlendDestColor, kGpuBlendZero},        {MPF_MULTIPLY2X, kGpuBlendDestColor, kGpuBlendSrcColor},
    {MPF_SRCCOLOR, kGpuBlendSrcColor, kGpuBlendInvSrcColor},  {MPF_DESTINATIONBLEND, kGpuBlendSrcAlpha, kGpuBlendOne},
    {MPF_ALPHABLEND, kGpuBlendSrcAlpha, kGpuBlendInvSrcAlpha},
};

void RestoreDepthTerms() {
  if (GpuMatrix* projection = gRenderMatrices.projection) {
    projection->m[2][2] = kProjectionDepthScale;
    projection->m[3][2] = kProjectionDepthOffset;
  }
}

// Software vertex processing on for a device that processes vertices in software.
void BeginVertexProcessing(GpuDevice* device) {
  if (Record()->vertexProcessingMode == kVertexProcessingSoftware) device->SetSoftwareVertexProcessing(1);
}

// Back to hardware processing for a device created with hardware or mixed processing.
void EndVertexProcessing(GpuDevice* device) {
  const AdapterRecord* adapter = Record()->adapter;
  if (adapter &&
      (adapter->behaviorFlags & (kGpuCreateHardwareVertexProcessing | kGpuCreateMixedVertexProcessing))) {
    device->SetSoftwareVertexProcessing(0);
  }
}

// The parameter holds the texture of the id unless its loaded record asks not to be bound.
void BindDiffuse(GpuxEffect* effect, GpuxHandle parameter, int32_t textureId) {
  if (!parameter || textureId < 0) return;
  DisplaySurface* image = TextureGetLoaded(textureId);
  if (!image || (image->flags & kTextureNotBound)) return;
  EffectSetTexture(effect, parameter, image->deviceTexture, textureId);
}

bool SetIntParam(GpuxEffect* effect, const char* name, int32_t value) {
  EffectParamRecord record{};
  record.name = const_cast<char*>(name);
  record.kind = kParamLong;
  record.value = value;
  return ApplyEffectParam(effect, &record);
}

bool SetFloatParam(GpuxEffect* effect, const char* name, float value) {
  EffectParamRecord record{};
  record.name = const_cast<char*>(name);
  record.kind = kParamFloat;
  std::memcpy(&record.value, &value, sizeof value);
  return ApplyEffectParam(effect, &record);
}

void SetMatrixParam(GpuxEffect* effect, const char* name, const GpuMatrix* value) {
  if (!value) return;
  if (GpuxHandle handle = effect->GetParameterByName(kGpuxNoHandle, name)) effect->SetMatrix(handle, value);
}

// The technique by name, else the first valid one; false when there is neither.
bool SelectTechnique(GpuxEffect* effect, const char* name) {
  GpuxHandle technique = effect->GetTechniqueByName(name);
  if (!technique && (GpuFailed(effect->FindNextValidTechnique(kGpuxNoHandle, &technique)) || !technique)) {
    return false;
  }
  return GpuSucceeded(effect->SetTechnique(technique));
}

}  // namespace

bool RenderParticles(SceneRecord* scene) {
  EffectObject* object = EffectGetOrLoad("particles", 0);
  GpuxEffect* effect = object ? object->effects[0] : nullptr;
  DeviceRecord* record = Record();
  if (!scene || !record || !record->device || !gDirect3D->stateManager) return false;
  const ParticleBatchRecord* batch = scene->particleBatch;
  if (record->vertexProcessingMode == kVertexProcessingNone || !batch || batch->groupCount < 1) return true;
  GpuDevice* device = record->device;
  RenderStateManager* states = gDirect3D->stateManager;
  RestoreDepthTerms();
  BeginVertexProcessing(device);
  if (!effect || !SelectTechnique(effect, "BASE_NoLight")) {
    EndVertexProcessing(device);
    return false;
  }
  const GpuxHandle diffuse = effect->GetParameterByName(kGpuxNoHandle, "t_DiffuseTexture");
  states->SetVertexDeclaration(gVertexDeclarations.screen2);
  for (int32_t g = 0; g < batch->groupCount && g < kParticleBatchGroupCapacity; ++g) {
    const DrawGroupEntry& group = batch->groups[g];
    if (!gMaterialTable || static_cast<uint32_t>(group.material) >= static_cast<uint32_t>(gMaterialCount)) continue;
    const MaterialRecord& material = gMaterialTable[group.material];
    SetMatrixParam(effect, "g_mView", gRenderMatrices.view);
    SetMatrixParam(effect, "g_mProj", gRenderMatrices.projection);
    SetIntParam(effect, "g_ZEnable", 1);
    SetIntParam(effect, "g_ZWriteEnable", 0);
    const bool textureAlpha =
        (material.flags & MPF_ALPHABLEND) && (material.flags & MPF_TEXTUREALPHA);
    SetFloatParam(effect, "g_TextureAlpha", textureAlpha ? 1.0f : 0.0f);
    for (const BlendRow& row : kParticleBlends) {
      if (!(material.flags & row.flag)) continue;
      SetIntParam(effect, "g_AlphaBlendEnable", 1);
      SetIntParam(effect, "g_SrcBlend", row.src);
      SetIntParam(effect, "g_DestBlend", row.dest);
      break;
    }
    // A material row is also the texture id of its image.
    BindDiffuse(effect, diffuse, group.material);
    uint32_t passes = 0;
    effect->Begin(&passes, kGpuxFxDoNotSaveState);
    effect->BeginPass(0);
    if (GpuFailed(states->SetStreamSource(0, batch->vertexBuffer, 0, kParticleVertexBytes))) {
      effect->EndPass();
      effect->End();
      EndVertexProcessing(device);
      return false;
    }
    device->DrawPrimitive(kGpuPtTriangleList, static_cast<uint32_t>(group.first) * kParticleVerticesPerQuad,
                          static_cast<uint32_t>(group.count) * 2);
    effect->EndPass();
    effect->End();
  }
  EndVertexProcessing(device);
  return true;
}

bool RenderBulletInstances(SceneRecord* scene, RenderEntry* batch, RenderEntryNode* drawObject, CameraRecord* camera) {
  if (!scene || !batch || !drawObject || !camera) return false;
  VertexBufferRecord* buffers = drawObject->vertexBuffer;
  if (!buffers || !buffers->deviceBuffer || !buffers->systemCopy || buffers->byteSize == 0 || buffers->filled == 0) {
    return false;
  }
  DeviceRecord* record = Record();
  if (!record || !record->device || !gDirect3D->stateManager) return false;
  const uint32_t bytes = buffers->filled * kInstanceVertexBytes;
  if (bytes > buffers->byteSize) return false;
  void* data = nullptr;
  if (GpuFailed(buffers->deviceBuffer->Lock(0, 0, &data, kGpuLockDiscard)) || !data) return false;
  std::memcpy(data, buffers->systemCopy, bytes);
  buffers->deviceBuffer->Unlock();

  const BodyMaterial* material = drawObject->material;
  if (!material) return false;
  EffectObject* object = nullptr;
  const bool ownEffect = (batch->typeFlags & kBatchOwnEffect) && material->params && !material->params->name.empty();
  if (ownEffect) object = EffectGetOrLoad(material->params->name.c_str(), 0);
  if (!object) object = EffectGetOrLoad("effects", 0);
  GpuxEffect* effect = object ? object->effects[0] : nullptr;
  if (!effect) return false;
  if (drawObject->verticesPerInstance == 0) return true;

  GpuDevice* device = record->device;
  RenderStateManager* states = gDirect3D->stateManager;
  RestoreDepthTerms();
  BeginVertexProcessing(device);
  if (!SelectTechnique(effect, (batch->typeFlags & kBatchBullets) ? "INSTANCE_BULLETS" : "INSTANCE")) {
    EndVertexProcessing(device);
    return false;
  }
  BindDiffuse(effect, effect->GetParameterByName(kGpuxNoHandle, "t_DiffuseTexture"), material->texture);
  if (gRenderMatrices.projection) {
    const GpuMatrix view = CameraViewMatrix(camera, scene->systemScale);
    GpuMatrix viewProjection;
    GpuxMatrixMultiply(&viewProjection, &view, gRenderMatrices.projection);
    SetMatrixParam(effect, "g_mViewProjection", &viewProjection);
  }
  uint32_t passes = 0;
  effect->Begin(&passes, kGpuxFxDoNotSaveState);
  states->SetVertexDeclaration(gVertexDeclarations.screen);
  if (GpuFailed(states->SetStreamSource(0, buffers->deviceBuffer, 0, kInstanceVertexBytes))) {
    effect->End();
    EndVertexProcessing(device);
    return false;
  }
  states->SetIndices(nullptr);
  effect->BeginPass(0);
  device->DrawPrimitive(kGpuPtTriangleList, 0, buffers->filled / 3);
  effect->EndPass();
  effect->End();
  return true;
}
