// What both body readers share: the fatal end of a reader, the file name of a body in messages,
// the counted allocation of body records, and linking, unlinking and freeing a whole body. Every
// array a body owns is counted at its element count times the element's nominal size, the sizes
// FreeBody gives back, so loading and freeing a body leaves the memory counters where they were.
// Called by the text parser and the binary body reader; never reads a body file itself.
#include <cstdio>
#include <new>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/body_meshes.h"
#include "scene/body_materials.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/collision_model.h"
#include "scene/cut_keys.h"
#include "scene/engine_state.h"

namespace {

BodyReaderFatalFn gBodyReaderFatal = nullptr;

uint32_t Nominal(int32_t count, uint32_t elementBytes) {
  return count > 0 ? static_cast<uint32_t>(count) * elementBytes : 0;
}

// The bone table has one entry per bone of the mesh, used or not.
void FreeGroup(FaceGroup* group, int32_t boneCount) {
  EngineFree(group->triangles, Nominal(group->triangleCount, kBodyTriangleNominalBytes));
  EngineFree(group->boneRemap, Nominal(boneCount, kPointerNominalBytes));
  EngineFree(group->extras, Nominal(group->extraCount, kFaceGroupExtraNominalBytes));
}

}  // namespace

void FreeBodyPart(BodyPart* part) {
  if (!part) return;
  if (part->groups) {
    const int32_t boneCount = part->mesh ? part->mesh->boneCount : 0;
    for (int32_t g = 0; g < part->groupCount; ++g) FreeGroup(&part->groups[g], boneCount);
    EngineFree(part->groups, Nominal(part->groupCount, kFaceGroupNominalBytes));
  }
  EngineFree(part, kBodyPartNominalBytes);
}

void FreeBodyMesh(BodyMesh* mesh) {
  if (!mesh) return;
  BodyReleaseMeshes(mesh);
  if (mesh->parts) {
    for (int32_t p = 0; p < mesh->partCount; ++p) FreeBodyPart(mesh->parts[p]);
    EngineFree(mesh->parts, Nominal(mesh->partCount, kPointerNominalBytes));
  }
  EngineFree(mesh->vertices, Nominal(mesh->vertexCount, kBodyVertexNominalBytes));
  EngineFree(mesh->uv2, Nominal(mesh->vertexCount, 2 * sizeof(int32_t)));
  if (mesh->boneNames) {
    for (int32_t b = 0; b < mesh->boneCount; ++b) FreeString(mesh->boneNames[b]);
    EngineFree(mesh->boneNames, Nominal(mesh->boneCount, kPointerNominalBytes));
  }
  if (mesh->weights) {
    for (int32_t v = 0; v < mesh->vertexCount; ++v) {
      const int32_t count = mesh->weightCounts ? mesh->weightCounts[v] : 0;
      EngineFree(mesh->weights[v], Nominal(count, kBoneWeightNominalBytes));
    }
    EngineFree(mesh->weights, Nominal(mesh->vertexCount, kPointerNominalBytes));
  }
  EngineFree(mesh->weightCounts, Nominal(mesh->vertexCount, sizeof(int16_t)));
  EngineFree(mesh, kBodyMeshNominalBytes);
}

void SetBodyReaderFatal(BodyReaderFatalFn fn) { gBodyReaderFatal = fn; }

void BodyReaderFatal(uint32_t code, const char* fileName) {
  if (gBodyReaderFatal) {
    gBodyReaderFatal(code, fileName);
    return;
  }
  SceneFatalExit(code, fileName);
}

std::string BodyMessageFileName(int32_t bodyId) {
  std::string name;
  B3D_GetBodyFilename(&name, bodyId, 1);
  if (name.empty()) {
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, "v\\%05d", static_cast<int>(bodyId));
    name = buffer;
  }
  return BodyFolderName(gSystem && gSystem->product ? gSystem->product->objectsTemplate : nullptr, name);
}

std::string BodyFolderName(const char* folderFormat, const std::string& name) {
  if (!folderFormat) return name;
  const int length = std::snprintf(nullptr, 0, folderFormat, name.c_str());
  if (length <= 0) return name;
  std::string formatted(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(formatted.data(), formatted.size(), folderFormat, name.c_str());
  formatted.resize(static_cast<size_t>(length));
  return formatted;
}

BodyRecord* NewBodyRecord(int32_t bodyId) {
  auto* body = static_cast<BodyRecord*>(EngineAlloc(sizeof(BodyRecord), kBodyRecordNominalBytes));
  if (!body) return nullptr;
  body->id = bodyId;
  if (GetBodyDataField5(bodyId) != 0) body->flags |= kBodyDataRowFlag;
  return body;
}

BodyMesh* NewBodyMesh(BodyRecord* body) {
  auto* mesh = static_cast<BodyMesh*>(EngineAlloc(sizeof(BodyMesh), kBodyMeshNominalBytes));
  if (mesh) mesh->body = body;
  return mesh;
}

BodyPart* NewBodyPart(BodyMesh* mesh) {
  auto* part = static_cast<BodyPart*>(EngineAlloc(sizeof(BodyPart), kBodyPartNominalBytes));
  if (part) part->mesh = mesh;
  return part;
}

void BodyLinkAndCache(BodyRecord* body) {
  if (!body || !gEngine3D) return;
  ListAddTail(&gEngine3D->loadedBodies, &body->node);
  BodyCacheInsert(body->id, body);
}

void FreeBody(BodyRecord* body) {
  if (!body) return;
  if (gEngine3D) {
    if (body->node.succ) ListRemove(&body->node);
    if (B3D_FindBody(body->id) == body) HashRemove(gEngine3D->bodyCache, static_cast<uint32_t>(body->id) + 1);
  }
  if (body->meshes) {
    for (int32_t m = 0; m < body->meshCount; ++m) FreeBodyMesh(body->meshes[m]);
    EngineFree(body->meshes, Nominal(body->meshCount, kPointerNominalBytes));
  }
  if (body->materials) {
    for (int32_t i = 0; i < body->materialCount; ++i) FreeEffectParamList(body->materials[i].params);
    EngineFree(body->materials, Nominal(body->materialCount, kBodyMaterialNominalBytes));
  }
  FreeCollisionModel(body->collision);
  FreeString(body->name);
  EngineFree(body, kBodyRecordNominalBytes);
}
