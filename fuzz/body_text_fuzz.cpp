// Fuzz target of the text body parser: the input is a text body file. The parser must never read
// outside the input or its tables, a malformed file must end through the fatal seam (installed
// here so it returns) and every body it gives must free cleanly, leaving nothing linked or cached.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "fuzz_support.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_materials.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/engine_state.h"

namespace {

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    fuzz::SetUpBodyEngine(ReturningFatal);
    return true;
  }();
  (void)ready;
  if (!fuzz::ResetBodyTables()) return 0;

  std::vector<uint8_t> buffer(data, data + size);
  buffer.push_back(0);
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), false, size);
  BodyRecord* body = ParseBodyText(5, &reader);
  if (body) {
    for (int32_t m = 0; m < body->meshCount; ++m) {
      const BodyMesh* mesh = body->meshes[m];
      for (int32_t p = 0; p < mesh->partCount; ++p) {
        const BodyPart* part = mesh->parts[p];
        for (int32_t g = 0; g < part->groupCount; ++g) {
          // Every corner a triangle names is a vertex of its mesh.
          for (int32_t t = 0; t < part->groups[g].triangleCount; ++t) {
            for (int32_t v : part->groups[g].triangles[t].v) {
              if (v < 0 || v >= mesh->vertexCount) std::abort();
            }
          }
          (void)GroupTextureId(&part->groups[g], body);
        }
      }
    }
    FreeBody(body);
  }
  if (!ListIsEmpty(&gEngine3D->loadedBodies) || HashCount(gEngine3D->bodyCache) != 0) std::abort();
  FreeTextureTables();
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  return 0;
}
