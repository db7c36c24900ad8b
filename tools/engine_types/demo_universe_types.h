// The demo's universe type files as field lists: the eight auxiliary files, "Components" and one
// row per class file. What mkenginetypes writes into the demo data, what the type-loader tests
// load in both forms, and what seeds the type-loader fuzz target.
#pragma once

#include <cstdint>
#include <vector>

#include "engine_types/demo_engine_files.h"

namespace typetool {

// The class files are written with this version: every field of every class is in the file.
constexpr int32_t kDemoClassFileVersion = 54;

// "Globals", "Flight", "Videos", "VideoLists", "Dummies", "Bodies", "Components", "Matches" and
// "WareLists".
std::vector<TypeFile> DemoUniverseAuxFiles();
// "effects": a glow, a light, a cut explosion with break-up and a propagation row.
TypeFile DemoEffectsFile();
// One file per class that has one, each with a single row over the demo's bodies.
std::vector<TypeFile> DemoUniverseClassFiles();

}  // namespace typetool
