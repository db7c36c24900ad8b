// Fuzz target of the binary body reader: the input is a binary body file. The reader must never
// read outside the input or its tables, nor allocate what the input cannot hold; every body it
// gives must name only vertices and bones of its own meshes, write through the binary writer and
// read back with the same shape, build its part meshes on the null device (or refuse a part
// whose preassigned vertices lie outside its mesh) and give back every buffer it counted, and
// free cleanly, leaving nothing linked or cached.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "fuzz_support.h"
#include "render/body_meshes.h"
#include "render/d3d_context.h"
#include "render/pixel_formats.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_binary.h"
#include "scene/body_materials.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/engine_state.h"

namespace {

constexpr int32_t kBodyId = 5;

void FailOnFatal(uint32_t, const char*) {
  // A malformed binary body gives null; only memory could end the reader, and a body the input
  // can hold never exhausts it.
  std::abort();
}

// The counts of everything the body holds, checking each triangle corner and weight on the way.
std::vector<int64_t> Shape(const BodyRecord* body) {
  std::vector<int64_t> shape = {body->materialCount, body->meshCount};
  for (int32_t m = 0; m < body->meshCount; ++m) {
    const BodyMesh* mesh = body->meshes[m];
    shape.insert(shape.end(), {mesh->vertexCount, mesh->boneCount, mesh->partCount});
    for (int32_t v = 0; mesh->weights && v < mesh->vertexCount; ++v) {
      for (int32_t k = 0; mesh->weights[v] && k < mesh->weightCounts[v]; ++k) {
        if (mesh->weights[v][k].bone < 0 || mesh->weights[v][k].bone >= mesh->boneCount) std::abort();
      }
    }
    for (int32_t p = 0; p < mesh->partCount; ++p) {
      const BodyPart* part = mesh->parts[p];
      shape.push_back(part->groupCount);
      for (int32_t g = 0; g < part->groupCount; ++g) {
        const FaceGroup& group = part->groups[g];
        shape.push_back(group.triangleCount);
        for (int32_t t = 0; t < group.triangleCount; ++t) {
          for (int32_t v : group.triangles[t].v) {
            if (v < 0 || v >= mesh->vertexCount) std::abort();
          }
        }
        if (group.usedBoneCount > mesh->boneCount) std::abort();
        (void)GroupTextureId(&group, body);
      }
    }
  }
  return shape;
}

// The renderer's context on the null device, with the mesh declarations.
void SetUpRenderer() {
  static DeviceRecord record{};
  static Direct3DContext context{};
  record.device = fuzz::NullGpuDevice();
  context.device = &record;
  gDirect3D = &context;
  if (!CreateVertexDeclarations()) std::abort();
}

// Builds the meshes twice (two users), lets both go, and checks that the accounts are even.
void BuildAndReleaseMeshes(BodyRecord* body) {
  BodyCreateMeshes(body);
  BodyCreateMeshes(body);
  BodyReleaseUse(body);
  BodyReleaseUse(body);
  for (int32_t m = 0; m < body->meshCount; ++m) BodyReleaseMeshes(body->meshes[m]);
  if (gDirect3D->videoMemoryBytes != 0 || gMeshBufferCounts.vertexBuffers != 0 ||
      gMeshBufferCounts.indexBuffers != 0)
    std::abort();
}

BodyRecord* Read(const std::string& bytes) {
  std::vector<uint8_t> buffer(bytes.begin(), bytes.end());
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), true, buffer.size());
  return ReadBodyBinary(kBodyId, &reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    fuzz::WriteFile("vc/.keep", "");  // the writer's conversion folder
    fuzz::SetUpBodyEngine(FailOnFatal);
    SetUpRenderer();
    return true;
  }();
  (void)ready;
  if (!fuzz::ResetBodyTables()) return 0;

  BodyRecord* body = Read(std::string(reinterpret_cast<const char*>(data), size));
  if (body) {
    const std::vector<int64_t> shape = Shape(body);
    BuildAndReleaseMeshes(body);
    if (!WriteBodyBinary(body)) std::abort();
    FreeBody(body);
    std::string written;
    if (!fuzz::ReadFile(fuzz::World() + "/vc/00005.bob", &written)) std::abort();
    BodyRecord* again = Read(written);
    if (!again || Shape(again) != shape) std::abort();
    FreeBody(again);
  }
  if (!ListIsEmpty(&gEngine3D->loadedBodies) || HashCount(gEngine3D->bodyCache) != 0) std::abort();
  FreeTextureTables();
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  return 0;
}
