// A part's render material: material and texture resolution, the effect and technique choice,
// the depth-only and normal parameter blocks with their handle caches, and their release.
// Called by the instance part drawing for each part it draws. Never reads a material or texture
// animation record through an index it has not checked, and never leaves a block recorded on an
// effect it holds no reference on.
#include "render/render_material.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "render/body_part_meshes.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/effect_params.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_records.h"
#include "scene/instance_records.h"

const char* const kPartHandleNames[kPartHandleCount] = {
    "g_mWorld", "g_mWorldIT", "g_mWorldViewProjection", "g_mViewInverse", "LightDir_Dir0", "LightDir_Color0",
    "LightDir_Dir1", "LightDir_Color1", "g_LightAmbientIntensity", "t_DiffuseTexture", "t_BumpTexture",
    "t_SpecularTexture", "t_OcclusionTexture", "t_LightMapTexture", "t_CubeMapTexture", "t_NormalizeTex0",
    "t_NormalizeTex1", "t_POW_Tex", "t_Derive_ZTex", "t_morvai_LightingTex", "t_zhuul_LightingTex",
    "t_grask_LightingTex", "t_wemmer_LightingTex", "t_dravon_LightingTex", "t_tessik_LightingTex",
    "t_oludric_LightingTex", "t_velmar_LightingTex", "t_asteroid_LightingTex", "t_Race_Lighting", "g_nNumLightPoint",
    "g_TexMatrix", "g_FogClip", "g_bIsDecalMap", "g_ZEnable", "g_ZWriteEnable", "t_DetailTexture",
    "p_DetailMapBlendWeight", "g_EnableFog", "g_Brightness", "g_Contrast", "g_Saturation", "g_Hue",
    "g_AlphaBlendEnable", "g_ALPHATESTENABLE", "g_SrcBlend", "g_DestBlend", "g_SrcBlendAlpha", "g_DestBlendAlpha",
    "g_AlphaValue", "g_ColorWriteEnable", "g_EnableGlow", "g_SeparateAlphaBlend", "g_LightPoint"};

namespace {

const char* const kLightMemberNames[kLightMemberCount] = {"pos", "color", "atten"};

bool Same(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

const TexAnimState* StateOfAnim(const InstanceRecord* instance, int32_t anim) {
  if (!instance || !instance->texAnims) return nullptr;
  for (int32_t i = 0; i < instance->texAnimCount; ++i) {
    if (instance->texAnims[i].anim == anim) return &instance->texAnims[i];
  }
  return nullptr;
}

// The texture id of the state naming animation `anim`, or -1 when there is none.
int32_t StateTexture(const InstanceRecord* instance, int32_t anim) {
  const TexAnimState* state = StateOfAnim(instance, anim);
  return state ? static_cast<int16_t>(state->texture) : -1;
}

const MaterialRecord* TableRecord(int32_t index) {
  if (!gMaterialTable || index < 0 || index >= gMaterialCount) return nullptr;
  return &gMaterialTable[index];
}

const EffectParamRecord* ParamOfSlot(const EffectParamList* list, int32_t slot) {
  if (!list) return nullptr;
  for (const EffectParamRecord* record : list->items) {
    if (record && record->id == slot) return record;
  }
  return nullptr;
}

void TexturesOfBodyMaterial(const BodyMaterial* m, int32_t mode, PartMaterial* out) {
  out->diffuse = m->texture;
  if (mode == 2 && m->secondTexture && m->bumpTexture) out->diffuse = m->secondTexture;
  out->bump = m->bumpTexture;
  out->cubeMap = m->bumpTexture ? 0 : m->secondTexture;
  out->lightMap = m->thirdTexture;
  out->specular = m->fifthTexture;
}

void TexturesOfRecord(const MaterialRecord* r, int32_t mode, PartMaterial* out) {
  out->diffuse = r->textureNumber;
  if (mode == 2 && r->value8 && r->value10) {
    const MaterialRecord* other = TableRecord(r->value8);
    out->diffuse = other ? other->textureNumber : r->value8;
  }
  out->bump = r->value10;
  out->cubeMap = r->value10 == 0 ? r->value8 : 0;
  out->lightMap = r->values345[0];
}

// The texture ids and switches a parameter list gives; negative diffuse and bump ids come from
// the part's texture animation state when it has a usable one.
void WalkParamList(const EffectParamList* list, const InstanceRecord* instance, int32_t partIndex, PartMaterial* out) {
  int32_t* slots[8] = {nullptr,       &out->diffuse, &out->bump,   &out->specular,
                       &out->lightMap, &out->cubeMap, &out->detail, &out->occlusion};
  for (const EffectParamRecord* record : list->items) {
    if (!record) continue;
    if (record->id >= 1 && record->id <= 7 && record->kind == kParamLong) {
      int32_t id = record->value;
      if (id < 0 && (record->id == 1 || record->id == 2)) {
        const int32_t state = StateTexture(instance, partIndex < 0 ? -partIndex : -id);
        if (state > 0) id = state;
      }
      *slots[record->id] = id;
      if (id > 0) SetTextureFlags(id, out->flags);
    } else if (Same(record->name, "g_CullMode") && record->value == 1) {
      out->twoSided = true;
    } else if (Same(record->name, "g_ALPHATESTENABLE") && record->value != 0) {
      out->alphaTested = true;
    } else if (record->kind == kParamBool && Same(record->name, "colormatrix")) {
      out->colorMatrix = true;
      out->colorMatrixOn = record->value != 0;
    } else if (record->kind == kParamString && Same(record->name, "effectfile")) {
      out->effectFile = record->text;
    }
  }
}

// The builder's own values are records like a list's parameters, so they reach the effect by
// the same rule: only parameters the current technique uses are set.
void Apply(GpuxEffect* e, const char* name, int16_t kind, const auto& fill) {
  EffectParamRecord record{};
  record.name = const_cast<char*>(name);
  record.kind = kind;
  fill(record);
  ApplyEffectParam(e, &record);
}
void SetInt(GpuxEffect* e, const char* name, int32_t v) {
  Apply(e, name, kParamLong, [v](EffectParamRecord& r) { r.value = v; });
}
void SetFloat(GpuxEffect* e, const char* name, float v) {
  Apply(e, name, kParamFloat, [v](EffectParamRecord& r) { std::memcpy(&r.value, &v, sizeof v); });
}
void SetVec(GpuxEffect* e, const char* name, float x, float y, float z, float w) {
  Apply(e, name, kParamFloat4, [=](EffectParamRecord& r) {
    r.vec4[0] = x;
    r.vec4[1] = y;
    r.vec4[2] = z;
    r.vec4[3] = w;
  });
}

void SetColourAdjust(GpuxEffect* e) {
  SetFloat(e, "g_Brightness", 1.0f);
  SetFloat(e, "g_Contrast", 1.0f);
  SetFloat(e, "g_Saturation", 1.0f);
  SetFloat(e, "g_Hue", 0.0f);
}

bool DeviceAnisotropic() { return gDirect3D && gDirect3D->device && gDirect3D->device->anisotropic; }
int32_t AnisotropyLevel() { return DeviceAnisotropic() ? gDirect3D->device->anisotropyLevel : 1; }

void SetDiffuseFilter(GpuxEffect* e) {
  if (DeviceAnisotropic()) {
    SetInt(e, "t_MinFilterTypeDiffuse", 3);
    SetInt(e, "t_SamplerMaxAnisotropy", AnisotropyLevel());
  } else {
    SetInt(e, "t_MinFilterTypeDiffuse", 2);
  }
  SetInt(e, "t_FilterTypeDiffuse", 2);
}

void SetTableValues(GpuxEffect* e, const MaterialRecord* r, bool cubeMap) {
  SetInt(e, "g_nNumLightPoint", 0);
  const int32_t k = r->value7;
  if (k != 0) {
    SetVec(e, "g_MatEmissiveColor", r->diffuse[0] * k / 25500.0f, r->diffuse[1] * k / 25500.0f,
           r->diffuse[2] * k / 25500.0f, 1.0f);
    SetFloat(e, "g_MatDiffuseStrength", 0.0f);
  } else {
    SetVec(e, "g_MatEmissiveColor", r->value0 / 255.0f, r->value1 / 255.0f, r->value2 / 255.0f, 0.0f);
    SetFloat(e, "g_MatDiffuseStrength", (r->diffuse[0] + r->diffuse[1] + r->diffuse[2]) / 255.0f * (1.0f / 3.0f));
  }
  SetFloat(e, "g_MatSpecularStrength", (r->specular[0] + r->specular[1] + r->specular[2]) / 255.0f);
  SetFloat(e, "g_MatSpecularPower", r->shininess == 0 ? 30.0f : r->shininess + 1.0f);
  SetFloat(e, "g_MatReflectionStrength", cubeMap ? r->value9 * 0.04f : 0.0f);
}

void SetBodyValues(GpuxEffect* e, const BodyMaterial* m, bool cubeMap) {
  SetInt(e, "g_nNumLightPoint", 0);
  const int32_t k = m->value14;
  const int16_t* diffuse = &m->colors[3];
  const int16_t* specular = &m->colors[6];
  if (k != 0) {
    SetVec(e, "g_MatEmissiveColor", diffuse[0] * k / 25500.0f, diffuse[1] * k / 25500.0f, diffuse[2] * k / 25500.0f,
           1.0f);
    SetFloat(e, "g_MatDiffuseStrength", 0.0f);
  } else {
    SetVec(e, "g_MatEmissiveColor", 0.0f, 0.0f, 0.0f, 0.0f);
    SetFloat(e, "g_MatDiffuseStrength", m->value23 * 0.01f);
  }
  SetFloat(e, "g_MatSpecularStrength", m->values19[1] * 0.01f);
  const float power = m->values19[0] == 0
                          ? (specular[0] + specular[1] + specular[2]) * 0.0013020834f * 100.0f + 1.0f
                          : m->values19[0] + 1.0f;
  SetFloat(e, "g_MatSpecularPower", power);
  SetFloat(e, "g_MatReflectionStrength", cubeMap ? m->secondValue * 0.04f : 0.0f);
}

struct BlendRow {
  uint32_t flags;  // all of these
  uint32_t without;
  int32_t src, dest;
  bool blendOff;
};
const BlendRow kBlendRows[] = {
    {0x80, 0, 9, 1, false}, {0x40, 0, 9, 3, false}, {0x400, 0, 3, 4, false}, {0x4, 0, 5, 6, false},
    {0x2 | 0x1, 0, 5, 6, true}, {0x2, 0, 2, 2, false}, {0x1, 0, 5, 6, false},
};

// Blend rows of a material without a parameter list; true when the part blends (is sorted).
bool SetBlendTable(GpuxEffect* e, uint32_t flags) {
  if (!(flags & kMatBlendBits)) {
    SetInt(e, "g_ZWriteEnable", 1);
    SetInt(e, "g_AlphaBlendEnable", 0);
    return false;
  }
  SetInt(e, "g_ZWriteEnable", 0);
  SetInt(e, "g_AlphaBlendEnable", 1);
  for (const BlendRow& row : kBlendRows) {
    if ((flags & row.flags) != row.flags) continue;
    SetInt(e, "g_SrcBlend", row.src);
    SetInt(e, "g_DestBlend", row.dest);
    if (row.blendOff) SetInt(e, "g_AlphaBlendEnable", 0);
    if (row.flags == 0x1) SetFloat(e, "g_AlphaBlendEnable", 1.0f);
    SetFloat(e, "g_AlphaValue", 1.0f);
    break;
  }
  if ((flags & 0x1) && !(flags & 0x2)) {  // alpha test draws opaque
    SetInt(e, "g_ZWriteEnable", 1);
    SetInt(e, "g_SrcBlend", 2);
    SetInt(e, "g_DestBlend", 1);
    SetInt(e, "g_ALPHATESTENABLE", 1);
    SetInt(e, "g_AlphaBlendEnable", 0);
  }
  return true;
}

// The list parameters the block leaves to other code (texture ids, names, switches read by the
// resolution), or sets in its own way below.
bool SkippedListParam(const EffectParamRecord* r) {
  static const char* const kAnyKind[] = {"LightDir_Dir0", "LightDir_Color0", "g_LightAmbientIntensity"};
  static const char* const kBools[] = {"diffcompression", "bumpcompression", "speccompression", "lightcompression",
                                       "autofree", "nofiltering", "Tex2", "colormatrix", "renderEnabled"};
  static const char* const kLongs[] = {"BUMP", "SPEC", "LIGHT", "ENVI", "rendermaterial", "technique",
                                       "t_DiffuseTexturemapChannel", "t_AlphaTexturemapChannel",
                                       "t_BumpTexturemapChannel", "t_SpecularTexturemapChannel",
                                       "t_LightMapTexturemapChannel"};
  static const char* const kStrings[] = {"effectfilen", "effectfile", "t_AlphaTexture"};
  if (!r->name || strncmp(r->name, "I_", 2) == 0) return true;
  for (const char* n : kAnyKind)
    if (Same(r->name, n)) return true;
  if (r->kind == kParamBool)
    for (const char* n : kBools)
      if (Same(r->name, n)) return true;
  if (r->kind == kParamLong) {
    if (r->id >= 1 && r->id <= 7) return true;
    for (const char* n : kLongs)
      if (Same(r->name, n)) return true;
  }
  if (r->kind == kParamString)
    for (const char* n : kStrings)
      if (Same(r->name, n)) return true;
  return false;
}

// A texture's flag bit switched on or off; an id without a texture is left.
void SwitchTextureFlag(int32_t id, uint32_t bit, bool on) {
  if (id <= 0) return;
  const uint32_t flags = TextureGetFlags(id);
  SetTextureFlags(id, on ? flags | bit : flags & ~bit);
}

// The list's texture switches: compression per texture (value 0 keeps the best quality) and
// freeing of unused textures for all of them.
void SetListTextureFlags(const EffectParamRecord* r, const PartMaterial* m) {
  if (r->kind != kParamBool) return;
  struct Switch {
    const char* name;
    int32_t PartMaterial::*texture;
  };
  static const Switch kCompression[] = {{"diffcompression", &PartMaterial::diffuse},
                                        {"bumpcompression", &PartMaterial::bump},
                                        {"speccompression", &PartMaterial::specular},
                                        {"lightcompression", &PartMaterial::lightMap}};
  for (const Switch& c : kCompression) {
    if (Same(r->name, c.name)) SwitchTextureFlag(m->*c.texture, MPF_BESTQUALITY, r->value == 0);
  }
  if (Same(r->name, "autofree")) {
    for (int32_t id : {m->diffuse, m->bump, m->specular, m->lightMap, m->cubeMap}) {
      SwitchTextureFlag(id, MPF_AUTOFREE, r->value != 0);
    }
  }
}

void SetListBlock(GpuxEffect* e, const PartMaterial* m) {
  bool alphaTest = false;
  for (const EffectParamRecord* r : m->params->items) {
    if (!r) continue;
    if (SkippedListParam(r)) {
      SetListTextureFlags(r, m);
      continue;
    }
    if (r->kind == kParamLong && Same(r->name, "g_CullMode")) {
      SetInt(e, "g_CullMode", r->value == 1 ? 1 : 3);
    } else if (r->kind == kParamLong && Same(r->name, "t_MinFilterTypeDiffuse")) {
      SetInt(e, "t_MinFilterTypeDiffuse", DeviceAnisotropic() ? 3 : 2);
      if (DeviceAnisotropic()) SetInt(e, "t_SamplerMaxAnisotropy", AnisotropyLevel());
    } else if (r->kind == kParamLong && Same(r->name, "t_FilterTypeDiffuse")) {
      SetInt(e, "t_FilterTypeDiffuse", 2);
    } else {
      ApplyEffectParam(e, r);
      if (r->kind == kParamLong && Same(r->name, "g_ALPHATESTENABLE") && r->value == 1) alphaTest = true;
    }
  }
  if (alphaTest) {
    SetInt(e, "g_AlphaBlendEnable", 0);
    SetInt(e, "g_ZWriteEnable", 1);
  }
}

// Opens a block; out of memory calls the low-memory handler and tries once more.
bool BeginBlock(GpuxEffect* e) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const GpuResult r = e->BeginParameterBlock();
    if (r == kGpuOk) return true;
    if (r != kGpuErrOutOfMemory && r != kGpuErrOutOfVideoMemory) return false;
    CallLowMemoryHandler();
  }
  return false;
}

void DropBlock(GpuxHandle* block, GpuxEffect** effect) {
  if (*effect) {
    if (*block != kGpuxNoHandle) (*effect)->DeleteParameterBlock(*block);
    (*effect)->Release();
  }
  *block = kGpuxNoHandle;
  *effect = nullptr;
}

bool WrapOf(const BodyMesh* mesh) { return mesh && (mesh->flags & kBodyMeshWrap); }

}  // namespace

int32_t PartResolveMaterial(const BodyMesh* mesh, const RenderPart* part, const InstanceRecord* instance, int32_t mode,
                            PartMaterial* out) {
  *out = PartMaterial{};
  const BodyRecord* body = mesh ? mesh->body : nullptr;
  const bool ownMaterials = body && (body->flags & kBodyOwnMaterials) && body->materials && body->materialCount > 0;
  const int32_t index = part->materialIndex;
  if (index >= 0) {
    if (ownMaterials) {
      if (index >= body->materialCount) return 0;
      out->body = &body->materials[index];
    } else {
      out->record = TableRecord(index);
      if (!out->record) return 0;
    }
  } else {
    const TexAnimState* state = StateOfAnim(instance, -index);
    if (!state || static_cast<int16_t>(state->texture) < 0) return 0;
    out->uv = &state->uv;
    if (ownMaterials && (body->materials[0].flags & kMatHasParamLists)) {
      out->body = &body->materials[0];
      for (int32_t i = 0; i < body->materialCount; ++i) {
        const EffectParamRecord* slot1 = ParamOfSlot(body->materials[i].params, 1);
        if (slot1 && slot1->value == index) {
          out->body = &body->materials[i];
          break;
        }
      }
    } else {
      out->record = TableRecord(static_cast<int16_t>(state->texture));
      if (!out->record) return 0;
    }
  }
  if (out->body) {
    out->flags = out->body->flags;
    if ((out->flags & kMatHasParamLists) && out->body->params) out->params = out->body->params;
  } else {
    out->flags = out->record->flags;
  }
  if (out->params) {
    WalkParamList(out->params, instance, index, out);
    if (out->diffuse < 0 || out->bump < 0) return 0;  // unresolved animation textures
    if (out->bump > 0) EnsureTextureLoaded(out->bump);
  } else if (out->body) {
    TexturesOfBodyMaterial(out->body, mode, out);
  } else {
    TexturesOfRecord(out->record, mode, out);
  }
  if (index < 0 && !out->params) out->diffuse = static_cast<int16_t>(StateOfAnim(instance, -index)->texture);
  if (!out->params) {
    out->twoSided = out->flags & kMatTwoSided;
    out->alphaTested = out->flags & kMatAlphaTest;
  } else if (out->flags & kMatAlphaTest) {
    out->alphaTested = true;
  }
  if ((out->flags & kMatAnimatedTransform) || (instance && (instance->flags2 & kInst2AnimatedTransform))) {
    const TexAnimState* state = StateOfAnim(instance, -out->diffuse);
    if (state) out->uv = &state->uv;
  }
  return 1;
}

bool PartChooseEffect(const PartMaterial* material, const InstanceRecord* instance, bool lensFlareScene,
                      PartEffectChoice* out) {
  *out = PartEffectChoice{};
  const uint32_t flags2 = instance ? instance->flags2 : 0;
  const bool noBump = flags2 & kInst2NoBump;
  int32_t variant = 0;
  if (flags2 & kInst2DepthPass) {
    out->object = EffectGetOrLoad("z_only", 0);
    out->technique = material->alphaTested ? "Z_Only_Alpha" : "Z_Only_Fast";
  } else if (material->params) {
    std::string name = material->params->name;
    if (Same(name.c_str(), "max_standard_lighting")) name = "standard_lighting";
    if (material->twoSided) out->object = EffectGetOrLoad((name + "2s").c_str(), 0);
    if (!out->object) out->object = EffectGetOrLoad(name.c_str(), 0);
    out->technique = material->bump > 0 && !noBump ? "BUMPMAP" : "DEFAULT";
  } else {
    variant = (material->flags & kMatTwoSided) ? 1 : 0;
    if (material->diffuse > 0) EnsureTextureLoaded(material->diffuse);
    out->object = EffectGetOrLoad(lensFlareScene ? "effects" : "standard_lighting", variant);
    const bool extra = material->bump > 0 || material->cubeMap > 0 || material->lightMap > 0;
    out->technique = extra && !noBump ? "BUMPMAP_LOW" : "DEFAULT";
  }
  if (!out->object || !out->object->effects[variant]) return false;
  out->effect = out->object->effects[variant];
  return true;
}

bool PartBuildDepthBlock(RenderPart* part, GpuxEffect* effect, const PartMaterial* material, const BodyMesh* mesh) {
  PartMaterialState* s = &part->material;
  DropBlock(&s->depthBlock, &s->depthEffect);
  if (!BeginBlock(effect)) return false;
  const EffectParamRecord* cull = nullptr;
  const EffectParamRecord* wrap = nullptr;
  if (material->params) {
    for (const EffectParamRecord* r : material->params->items) {
      if (r && Same(r->name, "g_CullMode")) cull = r;
      if (r && Same(r->name, "g_Wrap")) wrap = r;
    }
    SetInt(effect, "g_CullMode", cull && cull->value == 1 ? 1 : 3);
    if (wrap) SetInt(effect, "g_Wrap", wrap->value);
  } else {
    SetInt(effect, "g_Wrap", WrapOf(mesh) ? 3 : 0);
    SetInt(effect, "g_CullMode", (material->flags & kMatTwoSided) ? 1 : 3);
  }
  const GpuxHandle block = effect->EndParameterBlock();
  s->depthWorldViewProjection = effect->GetParameterByName(kGpuxNoHandle, "g_mWorldViewProjection");
  s->depthDiffuseTexture = effect->GetParameterByName(kGpuxNoHandle, "t_DiffuseTexture");
  if (block == kGpuxNoHandle) return false;
  effect->AddRef();
  s->depthBlock = block;
  s->depthEffect = effect;
  return true;
}

bool PartBuildNormalBlock(RenderPart* part, GpuxEffect* effect, const PartMaterial* material, const BodyMesh* mesh) {
  PartMaterialState* s = &part->material;
  DropBlock(&s->normalBlock, &s->normalEffect);
  s->blockBuilt = 0;
  GpuxHandle block = kGpuxNoHandle;
  if (BeginBlock(effect)) {
    SetColourAdjust(effect);
    s->sorted = 0;
    const bool cube = material->cubeMap > 0;
    if (material->params) {
      SetListBlock(effect, material);
    } else {
      if (material->body) {
        SetBodyValues(effect, material->body, cube);
      } else {
        SetTableValues(effect, material->record, cube);
      }
      SetInt(effect, "g_Wrap", WrapOf(mesh) ? 3 : 0);
      SetInt(effect, "g_CullMode", (material->flags & kMatTwoSided) ? 1 : 3);
      SetInt(effect, "g_BlendOp", 1);
      SetInt(effect, "g_ZEnable", 1);
      SetFloat(effect, "g_AlphaValue", 1.0f);
      s->sorted = SetBlendTable(effect, material->flags) ? 1 : 0;
      if (material->flags & kMatPointFilter) {
        SetInt(effect, "t_MinFilterTypeDiffuse", 1);
        SetInt(effect, "t_FilterTypeDiffuse", 1);
      } else {
        SetDiffuseFilter(effect);
      }
    }
    if (material->colorMatrix && !material->colorMatrixOn) SetColourAdjust(effect);
    block = effect->EndParameterBlock();
  }
  if (block != kGpuxNoHandle) {
    effect->AddRef();
    s->normalBlock = block;
    s->normalEffect = effect;
    s->blockBuilt = 1;
  }
  for (int32_t i = 0; i < kPartHandleCount; ++i) {
    s->handles[i] = effect->GetParameterByName(kGpuxNoHandle, kPartHandleNames[i]);
  }
  for (uint32_t n = 0; n < kLightPointElements; ++n) {
    const GpuxHandle element =
        s->handles[kHLightPoint] ? effect->GetParameterElement(s->handles[kHLightPoint], n) : kGpuxNoHandle;
    for (int32_t m = 0; m < kLightMemberCount; ++m) {
      s->lightPoint[n][m] = element ? effect->GetParameterByName(element, kLightMemberNames[m]) : kGpuxNoHandle;
    }
  }
  return s->blockBuilt != 0;
}

void PartReleaseMaterial(RenderPart* part) {
  PartMaterialState* s = &part->material;
  DropBlock(&s->normalBlock, &s->normalEffect);
  DropBlock(&s->depthBlock, &s->depthEffect);
  *s = PartMaterialState{};
}
