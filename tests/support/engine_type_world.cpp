// The type-file and cut tests' world; see engine_type_world.h.
#include "support/engine_type_world.h"

#include <cstdio>

#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"

EngineTypeWorld::EngineTypeWorld() {
  AllocBodyDataTable();
  AllocCutDataTable();
  engine().cutFileNameTable = HashCreate();
}

EngineTypeWorld::~EngineTypeWorld() {
  EngineState3D& e = engine();
  FreeCuts();
  while (const uint32_t key = HashNextKey(e.cutFileNameTable, 0))
    FreeString(reinterpret_cast<char*>(HashRemove(e.cutFileNameTable, key)));
  HashDestroy(e.cutFileNameTable);
  while (ListNode* node = ListFirst(&e.loadedBodies)) FreeBody(reinterpret_cast<BodyRecord*>(node));
  FreeLensflareTable();
  FreeIconSets();
  FreeTextureRemap();
  for (ParticleTypeRow& row : e.particleTypes) {
    EngineFree(row.kinds, static_cast<uint32_t>(row.kindCount) * kParticleKindNominalBytes);
    row = ParticleTypeRow{};
  }
  FreeBodyDataTable();
  FreeCutDataTable();
}

void EngineTypeWorld::WriteTypeFile(const std::string& name, const typetool::Fields& fields, bool binary,
                                    const DataSectionRow* sections, uint32_t sectionCount) {
  Remove("types/" + name + ".txt");
  Remove("types/" + name + ".pck");
  world.WriteLoose("types/.keep", "");
  const std::string path = world.dir().File("types/" + name + (binary ? ".pck" : ".txt"));
  typetool::WriteTypeFile(path, fields, binary, sections, sectionCount);
}

void EngineTypeWorld::Remove(const std::string& relative) { std::remove(world.dir().File(relative).c_str()); }

void EngineTypeWorld::FreeCuts() {
  HashTable* table = engine().cutTable;
  while (const uint32_t key = HashNextKey(table, 0)) FreeCut(reinterpret_cast<CutRecord*>(HashRemove(table, key)));
}
