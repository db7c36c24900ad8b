// Body meshes: the render records of a body's meshes and parts, their use counts across
// instances, their release, and the texture residency of the body's materials. Called by the
// scene engine when an instance first needs its body drawn, when it lets go, and when the body
// cache unloads a body. Never frees the body's own records.
#include "render/body_meshes.h"

#include <cstdint>
#include <cstring>

#include "core/memory.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);

// Zeroed renderer memory; the allocator has already run the low-memory hook once, so one more
// try follows it.
void* AllocZeroed(size_t bytes) {
  void* block = MemAlloc(bytes, kRendererMemFlags);
  if (!block) block = MemAlloc(bytes, kRendererMemFlags);
  if (block) std::memset(block, 0, bytes);
  return block;
}

void FreeSection(BodyPart* section) {
  RenderSectionRecord* record = section->renderSection;
  if (!record) return;
  if (record->referenceCount > 1) {
    --record->referenceCount;
    return;
  }
  if (record->vertexData) MemFree(record->vertexData, record->vertexDataBytes, kRendererMemFlags);
  PartMeshRelease(&record->meshes);
  MemFree(record, sizeof(RenderSectionRecord), kRendererMemFlags);
  section->renderSection = nullptr;
}

// A texture id used by a material: its flag word (when there is one) and residency.
void MakeResident(int32_t id, uint32_t flags) {
  if (id <= 0) return;
  if (flags) SetTextureFlags(id, flags);
  if (!IsTextureReady(id)) EnsureTextureLoaded(id);
}

// The flag word of the body material that draws texture animation `number` (negative), 0 for none.
uint32_t AnimationMaterialFlags(const BodyRecord* body, int32_t number) {
  if (!(body->flags & kBodyOwnMaterials) || !body->materials) return 0;
  for (int32_t i = 0; i < body->materialCount; ++i) {
    const BodyMaterial& m = body->materials[i];
    const EffectParamRecord* diffuse = nullptr;
    if (m.params) {
      for (const EffectParamRecord* r : m.params->items) {
        if (r && r->id == 1) diffuse = r;
      }
    }
    if (m.texture == number || m.thirdTexture == number || (diffuse && diffuse->value == number)) return m.flags;
  }
  return 0;
}

void LoadGroupTextures(const BodyRecord* body, int32_t number) {
  if (number < 0) {
    if (number != INT32_MIN) PreloadAnimationTextures(-number, AnimationMaterialFlags(body, number));
    return;
  }
  if (body->flags & kBodyOwnMaterials) {
    if (!body->materials || number >= body->materialCount) return;
    const BodyMaterial& m = body->materials[number];
    if (m.flags & MPF_USEFXSHADER) return;
    for (int32_t id : {m.texture, m.secondTexture, m.bumpTexture, m.thirdTexture, m.fifthTexture, m.sixthTexture})
      MakeResident(id, m.flags);
    return;
  }
  if (gMaterialTable && number < gMaterialCount) {
    const MaterialRecord& m = gMaterialTable[number];
    MakeResident(m.textureNumber, m.flags);
    return;
  }
  MakeResident(number, 0);
}

}  // namespace

void BodyLoadTextures(BodyRecord* body) {
  if (!body || !body->meshes) return;
  for (int32_t m = 0; m < body->meshCount; ++m) {
    const BodyMesh* mesh = body->meshes[m];
    for (int32_t p = 0; mesh && mesh->parts && p < mesh->partCount; ++p) {
      const BodyPart* section = mesh->parts[p];
      for (int32_t g = 0; section && section->groups && g < section->groupCount; ++g)
        LoadGroupTextures(body, section->groups[g].material);
    }
  }
}

bool BodyCreateMeshes(BodyRecord* body) {
  if (!body) return false;
  BodyLoadTextures(body);
  const uint32_t loadFlags = (body->flags & kBodyWantsTangents) ? kMeshLoadTangents : 0;
  for (int32_t m = 0; m < body->meshCount; ++m) {
    BodyMesh* mesh = body->meshes ? body->meshes[m] : nullptr;
    if (!mesh) continue;
    if (mesh->renderRecord) {
      ++mesh->renderRecord->useCount;
      continue;
    }
    auto* record = static_cast<RenderMeshRecord*>(AllocZeroed(sizeof(RenderMeshRecord)));
    if (!record) return false;
    mesh->renderRecord = record;  // released again below when a part fails
    record->sectionCount = mesh->partCount;
    for (int32_t p = 0; mesh->parts && p < mesh->partCount; ++p) {
      BodyPart* section = mesh->parts[p];
      if (!section || section->renderSection) continue;
      auto* sectionRecord = static_cast<RenderSectionRecord*>(AllocZeroed(sizeof(RenderSectionRecord)));
      if (!sectionRecord) {
        BodyReleaseMeshes(mesh);
        return false;
      }
      sectionRecord->section = section;
      sectionRecord->referenceCount = 1;
      section->renderSection = sectionRecord;
      if (!BodyPartMeshesCreate(mesh, section, &sectionRecord->meshes, loadFlags)) {
        // Nothing half-built stays: the next call builds this mesh again from the start.
        BodyReleaseMeshes(mesh);
        return false;
      }
    }
    record->partIndex = m;
    record->useCount = 1;
  }
  return true;
}

void BodyReleaseUse(BodyRecord* body) {
  if (!body || !body->meshes) return;
  for (int32_t m = 0; m < body->meshCount; ++m) {
    BodyMesh* mesh = body->meshes[m];
    RenderMeshRecord* record = mesh ? mesh->renderRecord : nullptr;
    if (!record || record->partIndex != m) continue;
    if (record->useCount > 1) {
      --record->useCount;
      continue;
    }
    record->useCount = 0;
    if (!(body->flags & kBodyKeepMeshes)) BodyReleaseMeshes(mesh);
  }
}

void BodyReleaseMeshes(BodyMesh* part) {
  if (!part) return;
  for (int32_t p = 0; part->parts && p < part->partCount; ++p)
    if (part->parts[p]) FreeSection(part->parts[p]);
  if (part->renderRecord) MemFree(part->renderRecord, sizeof(RenderMeshRecord), kRendererMemFlags);
  part->renderRecord = nullptr;
}
