// The world the type-file and cut tests run in: a temporary game folder with a SystemBlock over
// it, an engine state with its BodyData and CutData tables, a material and texture table, and the
// body readers' recording fatal end. Type files and cuts are written into the folder by the
// tests; everything the loaders made is freed when the world ends.
#pragma once

#include <string>

#include "engine_types/type_file_writer.h"
#include "support/body_fixture.h"
#include "support/catalog_world.h"

class EngineTypeWorld {
 public:
  EngineTypeWorld();
  ~EngineTypeWorld();
  EngineTypeWorld(const EngineTypeWorld&) = delete;
  EngineTypeWorld& operator=(const EngineTypeWorld&) = delete;

  EngineState3D& engine() { return bodies.engine.engine(); }
  // Writes "types/<name>.txt" or, in binary form, "types/<name>.pck"; removes the other form.
  void WriteTypeFile(const std::string& name, const typetool::Fields& fields, bool binary,
                     const DataSectionRow* sections = nullptr, uint32_t sectionCount = 0);
  void WriteLoose(const std::string& relative, const std::string& bytes) { world.WriteLoose(relative, bytes); }
  void Remove(const std::string& relative);
  // Frees every loaded cut and empties the cut table.
  void FreeCuts();

  CatalogWorld world;
  BodyFixture bodies;
};
