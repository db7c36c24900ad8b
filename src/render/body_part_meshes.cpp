// Body part meshes: each face group of a body part becomes a render part holding only the
// vertices its triangles use, created in system memory for filling and then cloned write-only for
// drawing. Called by the body mesh code; the part drawing reads the records. Every body vertex
// index and preassigned entry is checked before it indexes anything; a bad one fails the part.
#include "render/body_part_meshes.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/effect_textures.h"
#include "render/pixel_formats.h"
#include "render/texture_table.h"

MeshBufferCounts gMeshBufferCounts = {};

namespace {

constexpr uint32_t kMax16BitVertices = 65535;
constexpr float kPackedUnit = 16384.0f;
constexpr float kFixedUnit = 65536.0f;
constexpr float kAdjacencyEpsilon = 1e-6f;
constexpr uint32_t kPlainVertexBytes = 40;
constexpr uint32_t kTangentVertexBytes = 64;

// Offsets (in floats) of the fields of a filled vertex.
constexpr int kPos = 0, kUv0 = 3, kUv1 = 5, kNormal = 7, kTangent = 10, kBinormal = 13;

bool MixedVertexProcessing() {
  const DeviceRecord* record = gDirect3D ? gDirect3D->device : nullptr;
  return record && record->adapter && (record->adapter->behaviorFlags & kGpuCreateMixedVertexProcessing);
}

GpuDevice* CurrentDevice() { return gDirect3D && gDirect3D->device ? gDirect3D->device->device : nullptr; }

template <typename T>
void ReleaseAndClear(T** object) {
  if (*object) (*object)->Release();
  *object = nullptr;
}

// The texture id that a part's material stands for, or a negative value for none.
int32_t PartTextureId(const BodyMesh* meshData, int32_t materialIndex) {
  const BodyRecord* body = meshData->body;
  if (materialIndex < 0 || !body || !(body->flags & kBodyOwnMaterials)) return materialIndex;
  if (!body->materials || materialIndex >= body->materialCount) return -1;
  return body->materials[materialIndex].texture;
}

void DropTexture(RenderPart* part) {
  if (!part->holdsTexture) return;
  // Effects may still name the texture; unbind it before its last reference can go.
  if (DisplaySurface* surface = TextureGetLoaded(part->textureId)) EffectTexturesUnbindTexture(surface);
  TextureRelease(part->textureId);
  part->holdsTexture = 0;
}

void ReleasePartObjects(RenderPart* part) {
  if (gDirect3D) gDirect3D->videoMemoryBytes -= part->accountedBytes;
  part->accountedBytes = 0;
  if (part->holdsBuffers) {
    --gMeshBufferCounts.vertexBuffers;
    --gMeshBufferCounts.indexBuffers;
    part->holdsBuffers = 0;
  }
  ReleaseAndClear(&part->indexBuffer);
  ReleaseAndClear(&part->vertexBuffer);
  ReleaseAndClear(&part->mesh);
  part->declaration = nullptr;
}

// Gives each body vertex used by the group its part index; the vertex count, or -1 when an
// index or a preassigned entry lies outside the body, or a corner is missing from the list.
int32_t BuildRemap(const BodyMesh* meshData, const BodyPart* partList, FaceGroup* group, int32_t* remap) {
  const int32_t bodyVertices = meshData->vertexCount;
  for (int32_t i = 0; i < bodyVertices; ++i) remap[i] = -1;
  if (group->triangleCount > 0 && !group->triangles) return -1;
  if ((partList->flags & kPartPreassignedVertices) && group->extraCount > 0 && group->extras) {
    for (int32_t k = 0; k < group->extraCount; ++k) {
      const int32_t vertex = group->extras[k].word;
      if (vertex < 0 || vertex >= bodyVertices) return -1;
      remap[vertex] = k;
    }
    for (int32_t t = 0; t < group->triangleCount; ++t)
      for (int32_t corner : group->triangles[t].v)
        if (corner < 0 || corner >= bodyVertices || remap[corner] < 0) return -1;
    return group->extraCount;
  }
  int32_t next = 0;
  for (int32_t t = 0; t < group->triangleCount; ++t) {
    BodyTriangle& triangle = group->triangles[t];
    for (int32_t corner : triangle.v) {
      if (corner < 0 || corner >= bodyVertices) return -1;
      if (remap[corner] < 0) remap[corner] = next++;
    }
    triangle.flags |= kTriangleRemapped;
  }
  return next;
}

// Reads both buffer descriptions into the part and enters their sizes in the accounts.
bool AccountBuffers(RenderPart* part) {
  GpuBufferDesc vertexDesc{}, indexDesc{};
  if (GpuFailed(GpuRetry([&] { return part->vertexBuffer->GetDesc(&vertexDesc); }))) return false;
  if (GpuFailed(GpuRetry([&] { return part->indexBuffer->GetDesc(&indexDesc); }))) return false;
  part->vertexCount = part->mesh->GetNumVertices();
  part->faceCount = part->mesh->GetNumFaces();
  part->vertexBytes = vertexDesc.size;
  part->indexBytes = indexDesc.size;
  part->indexFormat = indexDesc.format;
  part->accountedBytes = vertexDesc.size + indexDesc.size;
  if (gDirect3D) gDirect3D->videoMemoryBytes += part->accountedBytes;
  ++gMeshBufferCounts.vertexBuffers;
  ++gMeshBufferCounts.indexBuffers;
  part->holdsBuffers = 1;
  return true;
}

bool MakePart(const BodyMesh* meshData, BodyPart* partList, FaceGroup* group, RenderPart* part, int32_t* remap,
              uint32_t loadFlags) {
  const int32_t textureId = PartTextureId(meshData, group->material);
  if (textureId >= 0) {
    TextureAddRef(textureId);
    part->textureId = textureId;
    part->holdsTexture = 1;
  }
  part->materialIndex = group->material;
  part->triangleCount = group->triangleCount;
  part->descriptorWord = group->blended;

  const int32_t vertexCount = BuildRemap(meshData, partList, group, remap);
  if (vertexCount <= 0 || group->triangleCount <= 0) return false;

  const bool tangents = loadFlags & kMeshLoadTangents;
  uint32_t options = kPartMeshCreateOptions;
  if (static_cast<uint32_t>(vertexCount) > kMax16BitVertices) options |= kGpuxMesh32Bit;
  if (MixedVertexProcessing()) options |= kGpuxMeshSoftwareProcessing;
  GpuxMesh* mesh = nullptr;
  GpuDevice* device = CurrentDevice();
  GpuRetry([&] {
    return GpuxCreateMesh(static_cast<uint32_t>(group->triangleCount), static_cast<uint32_t>(vertexCount), options,
                          MeshFillElements(tangents), device, &mesh);
  });
  part->mesh = mesh;
  if (!mesh || GpuFailed(mesh->GetIndexBuffer(&part->indexBuffer)) ||
      GpuFailed(mesh->GetVertexBuffer(&part->vertexBuffer)))
    return false;
  part->declaration = tangents ? gVertexDeclarations.meshBump : gVertexDeclarations.mesh;
  if (!AccountBuffers(part)) return false;

  uint32_t fillOptions = loadFlags;
  if (!MeshFillVertices(meshData, group, remap, mesh, &fillOptions, partList->flags) ||
      !MeshFillIndices(group, remap, mesh))
    return false;
  // Only parts with a preassigned list carry tangents that may need completing.
  const uint32_t computeBits = kMeshLoadTangents | kMeshLoadComputeTangents;
  if ((fillOptions & computeBits) == computeBits && group->extraCount > 0 && group->extras)
    MeshComputeTangents(mesh, part->faceCount, part->vertexCount);
  MeshOptimize(part);
  BodyPartMeshClone(part, loadFlags);
  return true;
}

void Normalize(float* v) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length <= 0.0f) return;
  v[0] /= length, v[1] /= length, v[2] /= length;
}

bool IsZero(const float* v) { return v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f; }

bool OutsideUnit(float value) { return value < 0.0f || value > 1.0f; }

}  // namespace

int32_t BodyPartMeshesCreate(const BodyMesh* meshData, BodyPart* partList, RenderPartSet* set, uint32_t loadFlags) {
  if (!meshData || !partList || !set || !meshData->vertices || meshData->vertexCount <= 0) return 0;
  const size_t remapBytes = sizeof(int32_t) * static_cast<size_t>(meshData->vertexCount);
  auto* remap = static_cast<int32_t*>(MemAlloc(remapBytes, 0));
  if (!remap) return 0;
  const int32_t partCount = partList->groupCount > 0 && partList->groups ? partList->groupCount : 0;
  if (partCount > 0) {
    const size_t bytes = sizeof(RenderPart) * static_cast<size_t>(partCount);
    auto* parts = static_cast<RenderPart*>(MemAlloc(bytes, 0));
    if (!parts) parts = static_cast<RenderPart*>(MemAlloc(bytes, 0));  // after the low-memory hook
    if (!parts) {
      MemFree(remap, remapBytes, 0);
      return 0;
    }
    std::memset(parts, 0, bytes);
    set->parts = parts;
    set->partCount = partCount;
  }
  for (int32_t i = 0; i < partCount; ++i) {
    RenderPart* part = &set->parts[i];
    if (!MakePart(meshData, partList, &partList->groups[i], part, remap, loadFlags)) {
      ReleasePartObjects(part);
      MemFree(remap, remapBytes, 0);
      return 0;
    }
  }
  MemFree(remap, remapBytes, 0);
  return 1;
}

int32_t BodyPartMeshClone(RenderPart* part, uint32_t loadFlags) {
  if (!part || !part->mesh) return 0;
  const bool tangents = loadFlags & kMeshLoadTangents;
  GpuVertexDeclaration* declaration = tangents ? gVertexDeclarations.activeBump : gVertexDeclarations.activeMesh;
  const GpuVertexElement* elements =
      tangents ? gVertexDeclarations.activeBumpElements : gVertexDeclarations.activeMeshElements;
  if (!declaration || !elements) return 0;
  uint32_t options = gSystem && (gSystem->d3dFlags2 & kD3D2ManagedMeshes) ? kPartMeshManagedOptions
                                                                            : kPartMeshDrawOptions;
  if (part->mesh->GetNumVertices() > kMax16BitVertices) options |= kGpuxMesh32Bit;
  if (MixedVertexProcessing()) options |= kGpuxMeshSoftwareProcessing;
  GpuxMesh* clone = nullptr;
  GpuRetry([&] { return part->mesh->CloneMesh(options, elements, CurrentDevice(), &clone); });
  if (!clone) return 0;
  // The creation mesh's sizes stay in the account; the clone replaces its objects only.
  if (!MeshRecordSetMesh(part, clone)) return 0;
  part->declaration = declaration;
  return 1;
}

bool MeshRecordSetMesh(RenderPart* part, GpuxMesh* mesh) {
  if (!part || !mesh) return false;
  if (mesh == part->mesh) {
    mesh->Release();
    return true;
  }
  GpuVertexBuffer* vertexBuffer = nullptr;
  GpuIndexBuffer* indexBuffer = nullptr;
  if (GpuFailed(mesh->GetVertexBuffer(&vertexBuffer)) || GpuFailed(mesh->GetIndexBuffer(&indexBuffer))) {
    ReleaseAndClear(&vertexBuffer);
    ReleaseAndClear(&indexBuffer);
    mesh->Release();
    return false;
  }
  ReleaseAndClear(&part->vertexBuffer);
  ReleaseAndClear(&part->indexBuffer);
  ReleaseAndClear(&part->mesh);
  part->vertexBuffer = vertexBuffer;
  part->indexBuffer = indexBuffer;
  part->mesh = mesh;
  GpuBufferDesc indexDesc{}, vertexDesc{};
  if (GpuSucceeded(GpuRetry([&] { return indexBuffer->GetDesc(&indexDesc); }))) part->indexFormat = indexDesc.format;
  if (GpuSucceeded(GpuRetry([&] { return vertexBuffer->GetDesc(&vertexDesc); }))) part->vertexBytes = vertexDesc.size;
  part->faceCount = mesh->GetNumFaces();
  part->vertexCount = mesh->GetNumVertices();
  return true;
}

bool MeshFillVertices(const BodyMesh* part, const FaceGroup* tangentSource, const int32_t* remap, GpuxMesh* mesh,
                      uint32_t* options, uint32_t flags) {
  if (!part || !part->vertices || !remap || !mesh || !options) return false;
  const bool tangents = *options & kMeshLoadTangents;
  const uint32_t stride = tangents ? kTangentVertexBytes : kPlainVertexBytes;
  if (mesh->GetNumBytesPerVertex() != stride) return false;
  void* data = nullptr;
  if (GpuFailed(GpuRetry([&] { return mesh->LockVertexBuffer(0, &data); })) || !data) return false;
  const uint32_t meshVertices = mesh->GetNumVertices();
  const bool secondUv = (part->flags & kMeshSecondUv) && part->uv2;
  const bool storedTangents = flags & (kPartPreassignedVertices | kPartTangentsComplete);
  bool uvOutside = false, zeroSupplied = false;
  for (int32_t i = 0; i < part->vertexCount; ++i) {
    const int32_t slot = remap[i];
    if (slot < 0 || static_cast<uint32_t>(slot) >= meshVertices) continue;
    const BodyVertex& in = part->vertices[i];
    float out[16] = {};
    out[kPos] = in.x / kPackedUnit, out[kPos + 1] = in.y / kPackedUnit, out[kPos + 2] = in.z / kPackedUnit;
    out[kUv0] = in.u / kFixedUnit, out[kUv0 + 1] = in.v / kFixedUnit;
    if (secondUv) out[kUv1] = part->uv2[2 * i] / kFixedUnit, out[kUv1 + 1] = part->uv2[2 * i + 1] / kFixedUnit;
    out[kNormal] = in.nx / kPackedUnit, out[kNormal + 1] = in.ny / kPackedUnit, out[kNormal + 2] = in.nz / kPackedUnit;
    Normalize(&out[kNormal]);
    for (int k = kUv0; k < kNormal; ++k) uvOutside = uvOutside || OutsideUnit(out[k]);
    if (tangents && storedTangents && tangentSource && tangentSource->extras && slot < tangentSource->extraCount) {
      const int16_t* values = tangentSource->extras[slot].values;
      for (int k = 0; k < 3; ++k) out[kTangent + k] = values[k] / kPackedUnit, out[kBinormal + k] = values[3 + k] / kPackedUnit;
      Normalize(&out[kTangent]);
      Normalize(&out[kBinormal]);
      zeroSupplied = zeroSupplied || IsZero(&out[kTangent]) || IsZero(&out[kBinormal]);
    }
    std::memcpy(static_cast<uint8_t*>(data) + static_cast<size_t>(slot) * stride, out, stride);
  }
  mesh->UnlockVertexBuffer();
  if (uvOutside) *options |= kMeshLoadUvOutside;
  if (tangents && (!storedTangents || ((flags & kPartPreassignedVertices) && zeroSupplied)))
    *options |= kMeshLoadComputeTangents;
  return true;
}

bool MeshFillIndices(const FaceGroup* group, const int32_t* remap, GpuxMesh* mesh) {
  if (!group || !remap || !mesh) return false;
  if (group->triangleCount < 0 || mesh->GetNumFaces() != static_cast<uint32_t>(group->triangleCount)) return false;
  void* data = nullptr;
  if (GpuFailed(GpuRetry([&] { return mesh->LockIndexBuffer(0, &data); })) || !data) return false;
  const bool wide = mesh->GetOptions() & kGpuxMesh32Bit;
  for (int32_t t = 0; t < group->triangleCount; ++t)
    for (int c = 0; c < 3; ++c) {
      // The remap was built from these corners, so each is a checked body vertex with a slot.
      const uint32_t index = static_cast<uint32_t>(remap[group->triangles[t].v[c]]);
      const size_t at = static_cast<size_t>(t) * 3 + static_cast<size_t>(c);
      if (wide) static_cast<uint32_t*>(data)[at] = index;
      else static_cast<uint16_t*>(data)[at] = static_cast<uint16_t>(index);
    }
  mesh->UnlockIndexBuffer();
  return true;
}

bool MeshComputeTangents(GpuxMesh* mesh, uint32_t faces, uint32_t vertices) {
  if (!mesh || mesh->GetNumBytesPerVertex() != kTangentVertexBytes) return false;
  if (faces > mesh->GetNumFaces() || vertices > mesh->GetNumVertices()) return false;
  void* vertexData = nullptr;
  void* indexData = nullptr;
  if (GpuFailed(GpuRetry([&] { return mesh->LockVertexBuffer(0, &vertexData); }))) return false;
  if (GpuFailed(GpuRetry([&] { return mesh->LockIndexBuffer(0, &indexData); }))) {
    mesh->UnlockVertexBuffer();
    return false;
  }
  const bool wide = mesh->GetOptions() & kGpuxMesh32Bit;
  auto indexAt = [&](size_t at) -> uint32_t {
    return wide ? static_cast<uint32_t*>(indexData)[at] : static_cast<uint16_t*>(indexData)[at];
  };
  auto vertexAt = [&](uint32_t index) { return reinterpret_cast<float*>(static_cast<uint8_t*>(vertexData) + size_t{index} * kTangentVertexBytes); };
  for (uint32_t f = 0; f < faces; ++f) {
    uint32_t corner[3];
    bool valid = true;
    for (int c = 0; c < 3; ++c) {
      corner[c] = indexAt(size_t{f} * 3 + static_cast<size_t>(c));
      valid = valid && corner[c] < vertices;
    }
    if (!valid) continue;
    for (int c = 0; c < 3; ++c) {
      float* v0 = vertexAt(corner[c]);
      if (!IsZero(&v0[kTangent]) && !IsZero(&v0[kBinormal])) continue;
      const float* v1 = vertexAt(corner[(c + 1) % 3]);
      const float* v2 = vertexAt(corner[(c + 2) % 3]);
      float e1[3], e2[3];
      for (int k = 0; k < 3; ++k) e1[k] = v1[kPos + k] - v0[kPos + k], e2[k] = v2[kPos + k] - v0[kPos + k];
      const float du1 = v1[kUv0] - v0[kUv0], dv1 = v1[kUv0 + 1] - v0[kUv0 + 1];
      const float du2 = v2[kUv0] - v0[kUv0], dv2 = v2[kUv0 + 1] - v0[kUv0 + 1];
      const float det = du1 * dv2 - du2 * dv1;
      if (det == 0.0f) continue;
      float tangent[3], binormal[3];
      for (int k = 0; k < 3; ++k) {
        tangent[k] = (e1[k] * dv2 - e2[k] * dv1) / det;
        binormal[k] = (e2[k] * du1 - e1[k] * du2) / det;
      }
      const float* n = &v0[kNormal];
      for (float* axis : {tangent, binormal}) {
        const float along = n[0] * axis[0] + n[1] * axis[1] + n[2] * axis[2];
        for (int k = 0; k < 3; ++k) axis[k] -= n[k] * along;
        Normalize(axis);
      }
      std::memcpy(&v0[kTangent], tangent, sizeof tangent);
      std::memcpy(&v0[kBinormal], binormal, sizeof binormal);
    }
  }
  mesh->UnlockIndexBuffer();
  mesh->UnlockVertexBuffer();
  return true;
}

bool MeshOptimize(RenderPart* part) {
  if (!part || !part->mesh) return false;
  GpuxMesh* mesh = part->mesh;
  const uint32_t faces = mesh->GetNumFaces();
  auto* adjacency = new (std::nothrow) uint32_t[size_t{faces} * 3 * 2];
  if (!adjacency) return false;
  uint32_t* cleanAdjacency = adjacency + size_t{faces} * 3;
  bool done = false;
  if (GpuSucceeded(GpuRetry([&] { return mesh->GenerateAdjacency(kAdjacencyEpsilon, adjacency); })) ||
      GpuSucceeded(GpuRetry([&] { return mesh->ConvertPointRepsToAdjacency(nullptr, adjacency); }))) {
    GpuxMesh* clean = nullptr;
    GpuRetry([&] {
      return GpuxCleanMesh(kGpuxCleanBackFacing | kGpuxCleanBowties, mesh, adjacency, &clean, cleanAdjacency);
    });
    if (clean) {
      const GpuResult optimised = GpuRetry([&] {
        return clean->OptimizeInplace(kGpuxMeshOptVertexCache, cleanAdjacency, nullptr, nullptr, nullptr);
      });
      if (GpuSucceeded(optimised)) done = MeshRecordSetMesh(part, clean);
      else clean->Release();
    }
  }
  delete[] adjacency;
  return done;
}

void PartMeshRelease(RenderPartSet* set) {
  if (!set || !set->parts) return;
  for (int32_t i = 0; i < set->partCount; ++i) {
    DropTexture(&set->parts[i]);
    PartReleaseMaterial(&set->parts[i]);
    ReleasePartObjects(&set->parts[i]);
  }
  MemFree(set->parts, sizeof(RenderPart) * static_cast<size_t>(set->partCount), 0);
  set->parts = nullptr;
  set->partCount = 0;
}
