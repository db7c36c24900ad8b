// A part's render material: the material and texture ids a part resolves to, the effect and
// technique it is drawn with, and the two parameter blocks (depth-only and normal) recorded on
// that effect on the first draw, with the parameter handles the per-frame drawing sets. Called by
// the instance part drawing. Never keeps a block without a reference on the effect it belongs to.
#pragma once

#include <cstdint>

#include "platform/gpu_effect.h"

struct BodyMaterial;
struct BodyMesh;
struct EffectObject;
struct EffectParamList;
struct InstanceRecord;
struct MaterialRecord;
struct RenderPart;
struct UvTransform;

// The handles a part caches from its normal-pass effect, in lookup order.
enum PartHandle : int32_t {
  kHWorld, kHWorldIT, kHWorldViewProjection, kHViewInverse,
  kHLightDir0, kHLightColor0, kHLightDir1, kHLightColor1, kHLightAmbient,
  kHDiffuseTexture, kHBumpTexture, kHSpecularTexture, kHOcclusionTexture, kHLightMapTexture,
  kHCubeMapTexture, kHNormalizeTex0, kHNormalizeTex1, kHPowTex, kHDeriveZTex,
  kHLightingFirst,  // ten lighting ramp images follow
  kHNumLightPoint = kHLightingFirst + 10,
  kHTexMatrix, kHFogClip, kHIsDecalMap, kHZEnable, kHZWriteEnable, kHDetailTexture,
  kHDetailWeight, kHEnableFog, kHBrightness, kHContrast, kHSaturation, kHHue,
  kHAlphaBlendEnable, kHAlphaTestEnable, kHSrcBlend, kHDestBlend, kHSrcBlendAlpha,
  kHDestBlendAlpha, kHAlphaValue, kHColorWriteEnable, kHEnableGlow, kHSeparateAlphaBlend,
  kHLightPoint,
  kPartHandleCount
};
extern const char* const kPartHandleNames[kPartHandleCount];

constexpr int32_t kLightPointElements = 10;
enum LightPointMember : int32_t { kLightPos, kLightColor, kLightAtten, kLightMemberCount };

// The render material fields of a part.
struct PartMaterialState {
  GpuxHandle normalBlock;
  GpuxEffect* normalEffect;  // referenced while the block lives
  GpuxHandle depthBlock;
  GpuxEffect* depthEffect;
  GpuxHandle handles[kPartHandleCount];
  GpuxHandle lightPoint[kLightPointElements][kLightMemberCount];
  GpuxHandle depthWorldViewProjection;
  GpuxHandle depthDiffuseTexture;
  uint8_t blockBuilt;
  uint8_t sorted;
};

// Material flag bits the builder reads.
constexpr uint32_t kMatAlphaTest = 0x1;
constexpr uint32_t kMatBlendBits = 0x1 | 0x2 | 0x4 | 0x40 | 0x80 | 0x400;
constexpr uint32_t kMatTwoSided = 0x10;
constexpr uint32_t kMatPointFilter = 0x100;
constexpr uint32_t kMatHasParamLists = 0x2000000;
constexpr uint32_t kMatDiffuseOnly = 0x4000000;
constexpr uint32_t kMatAnimatedTransform = 0x8000000;
// Body mesh flag: texture coordinates wrap.
constexpr uint32_t kBodyMeshWrap = 0x2;
// Instance flags2 bits.
constexpr uint32_t kInst2DepthPass = 0x20000;
constexpr uint32_t kInst2NoBump = 0x100000;
constexpr uint32_t kInst2AnimatedTransform = 0x1000000;

// One part's material as resolved for one draw.
struct PartMaterial {
  const BodyMaterial* body;       // a body material, or null
  const MaterialRecord* record;   // a material table record, or null
  const EffectParamList* params;  // the body material's parameter list, or null
  uint32_t flags;
  int32_t diffuse, bump, specular, lightMap, cubeMap, detail, occlusion;  // 0: none
  const UvTransform* uv;  // the texture transform, or null
  bool twoSided;
  bool alphaTested;
  bool colorMatrix;    // the list holds "colormatrix"
  bool colorMatrixOn;  // and its value is not 0
  const char* effectFile;
};

// 1 with *out filled; 0 when the part's texture stays unresolved, which ends the instance's draw.
// `mode` is 2 when the caller found lights, else 0.
int32_t PartResolveMaterial(const BodyMesh* mesh, const RenderPart* part, const InstanceRecord* instance, int32_t mode,
                            PartMaterial* out);

struct PartEffectChoice {
  EffectObject* object;
  GpuxEffect* effect;
  const char* technique;
};
// False when the effect or its variant cannot be loaded: the part is skipped.
bool PartChooseEffect(const PartMaterial* material, const InstanceRecord* instance, bool lensFlareScene,
                      PartEffectChoice* out);

// Record the depth-only block and cache its two handles.
bool PartBuildDepthBlock(RenderPart* part, GpuxEffect* effect, const PartMaterial* material, const BodyMesh* mesh);
// Record the normal block (material values, blend table, filtering, or the parameter list), then
// cache the handles; on a failed recording the part has no block and draws with the effect's
// defaults.
bool PartBuildNormalBlock(RenderPart* part, GpuxEffect* effect, const PartMaterial* material, const BodyMesh* mesh);
// Deletes the part's blocks and drops its effect references.
void PartReleaseMaterial(RenderPart* part);
