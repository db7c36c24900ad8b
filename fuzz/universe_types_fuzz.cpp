// Fuzz target of the universe's type-file loader: the first byte picks the form (bit 0: binary),
// the rest is read as each type file in turn (the auxiliary files, every class file, the ware
// lists) into the tables. No reader may step outside the data or write past a table's capacity,
// and the reset must free whatever was kept.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/data_reader.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "fuzz_support.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "universe/object_classes.h"
#include "universe/type_loader.h"

namespace {

EngineState3D gFuzzEngine;

void ReturningFatal(uint32_t, const char*) {}

constexpr const char* kAuxNames[] = {"Globals", "Flight",     "Videos",  "VideoLists", "Dummies",
                                     "Bodies",  "Components", "Matches", "WareLists"};

void ReadAs(const char* name, const std::vector<uint8_t>& bytes, bool binary) {
  std::vector<uint8_t> buffer(bytes);
  buffer.push_back(0);  // the text form's terminator
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), binary, bytes.size());
  reader.sections = nullptr;
  reader.sectionCount = 0;
  ReadTypeFileByName(nullptr, name, &reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    ListInit(&gFuzzEngine.loadedBodies);
    gFuzzEngine.bodyCache = HashCreate();
    gFuzzEngine.cutTable = HashCreate();
    gEngine3D = &gFuzzEngine;
    SetBodyReaderFatal(ReturningFatal);
    if (!AllocBodyDataTable() || !AllocCutDataTable()) std::abort();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const bool binary = (data[0] & 1) != 0;
  const std::vector<uint8_t> bytes(data + 1, data + size);
  for (const char* name : kAuxNames) ReadAs(name, bytes, binary);
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) {
    if (kObjectClassFiles[objClass]) ReadAs(kObjectClassFiles[objClass], bytes, binary);
  }
  // What was kept must be what the counts say.
  for (const ObjectTypeTable& table : gObjectTypeTables)
    if (table.count < 0 || (table.count > 0) != (table.rows != nullptr)) std::abort();
  for (int32_t s = 0; s < gObjectTypeTables[kClassShip].count; ++s) {
    const ShipType& ship = gObjectTypeTables[kClassShip].rows[s].ship;
    if (ship.componentCount > kShipComponentCapacity || ship.turretCount > kShipTurretCapacity) std::abort();
  }
  FreeTypes();
  ClearDynamicBodyData();
  ClearDynamicCutData();
  return 0;
}
