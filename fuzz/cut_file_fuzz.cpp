// Fuzz target of the cut readers: the first byte picks the way in (even: the input is cut 1's
// file and J3D_LoadCut reads it, its first bytes choosing the form; odd: the text parser or the
// binary reader runs straight over a buffer of exactly the input's size, with no terminator
// after it). Every scan must stop at the data's end, every count must be checked before it
// sizes an array, and every cut read must free cleanly.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "fuzz_support.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/scene.h"

namespace {

EngineState3D gFuzzEngine;
MaterialRecord gFuzzMaterials[2];

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

void FreeAll() {
  while (const uint32_t key = HashNextKey(gFuzzEngine.cutTable, 0))
    FreeCut(reinterpret_cast<CutRecord*>(HashRemove(gFuzzEngine.cutTable, key)));
  while (ListNode* node = ListFirst(&gFuzzEngine.loadedBodies)) FreeBody(reinterpret_cast<BodyRecord*>(node));
  FreeBodyDataTable();
  FreeCutDataTable();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    InitMathTables();
    ListInit(&gFuzzEngine.loadedBodies);
    gFuzzEngine.bodyCache = HashCreate();
    gFuzzEngine.cutTable = HashCreate();
    gEngine3D = &gFuzzEngine;
    SetBodyReaderFatal(ReturningFatal);
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  gMaterialTable = gFuzzMaterials;
  gMaterialCount = 2;
  gTextureFixedCount = 2;
  gTextureAddedCount = 0;
  if (AllocTextureTable()) return 0;
  ResetInterfaceTextureIds();
  if (!AllocBodyDataTable() || !AllocCutDataTable()) std::abort();

  if ((data[0] & 1) == 0) {
    const bool binary = size >= 4 && std::memcmp(data + 1, "CUT", 3) == 0;
    fuzz::RemoveFile("objects/cut/00001.pbb");
    fuzz::RemoveFile("objects/cut/00001.pbd");
    fuzz::WriteFile(binary ? "objects/cut/00001.pbb" : "objects/cut/00001.pbd", data + 1, size - 1);
    J3D_LoadCut(1);
  } else if (size > 1) {
    std::vector<uint8_t> buffer(data + 1, data + size);
    DataReader reader;
    const bool binary = (data[0] & 2) != 0;
    DataReaderInit(&reader, buffer.data(), binary, buffer.size());
    reader.sections = kCutSectionTable;
    reader.sectionCount = kCutSectionCount;
    if (binary) ReadCutBinary(2, &reader);
    else ParseCutText(2, &reader);
  }
  FreeAll();
  FreeTextureTables();
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  return 0;
}
