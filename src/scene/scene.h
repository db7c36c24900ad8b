// The 3D scene engine's header: what the rest of the game may use of the engine. For now it holds
// the body section table, the chunk layout of body files in both forms, which the data reader
// takes as its default table. It must stay free of engine internals.
#pragma once

#include <cstdint>

#include "core/data_reader.h"

constexpr uint32_t kBodySectionCount = 18;

inline constexpr DataSectionRow kBodySectionTable[kBodySectionCount] = {
    {"", "DATA", "/DAT", "", 0},
    {"", "BOB1", "/BOB", "", 1},
    {"Name", "NAME", "/NAM", "NAME:", 2},
    {"Version", "VERS", "/VER", "VER:", 3},
    {"Sound1", "SND1", "/SND", "SOUND:", 4},
    {"Flags", "FLAG", "/FLA", "FLAGS:", 5},
    {"Material1", "MAT1", "/MAT", "MATERIAL:", 6},
    {"Material2", "MAT2", "/MAT", "MATERIAL2:", 7},
    {"Material3", "MAT3", "/MAT", "MATERIAL3:", 8},
    {"Material5", "MAT5", "/MAT", "MATERIAL5:", 9},
    {"Material6", "MAT6", "/MAT", "MATERIAL6:", 10},
    {"Bodies", "BODY", "/BOD", "BODIES:", 11},
    {"Bones", "BONE", "/BON", "BONES:", 12},
    {"Points", "POIN", "/POI", "POINTS:", 13},
    {"Weights", "WEIG", "/WEI", "WEIGHTS:", 14},
    {"Parts", "PART", "/PAR", "PARTS:", 15},
    {"Info", "INFO", "/INF", "INFO:", 16},
    {"", "", "", "", 17},
};
