// The demo's engine type files and its cut, as field lists and a cut description: what
// mkenginetypes writes into the demo data, what the type-file tests load in both forms, and what
// seeds the fuzz targets.
#pragma once

#include <string>
#include <vector>

#include "engine_types/cut_writer.h"
#include "engine_types/type_file_writer.h"

namespace typetool {

struct TypeFile {
  const char* name;  // under "types\"
  Fields fields;
  const DataSectionRow* sections = nullptr;
  uint32_t sectionCount = 0;
};

// BodyData, CutData, LightTypes, Particles3, Lensflares, BodyDummies, IconData and Skins.
std::vector<TypeFile> DemoTypeFiles();
// The HUD's "icontypes" (demo_hud_files.cpp).
TypeFile DemoIconTypesFile();
// The demo's cut: two paths (the cube and the two-part body) with names, notes, a constraint,
// flags and key blocks. Cut 1 of the demo is its text form, cut 2 its binary form.
CutContent DemoCut();
// The scene stretch's cut 3: the take's camera circling the station in four seconds, and a
// white lens-flare light far off.
CutContent DemoSceneCut();

}  // namespace typetool
