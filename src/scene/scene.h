// The 3D scene engine's header: what the rest of the game may use of the engine: the body section
// table (the chunk layout of body files in both forms, which the data reader takes as its default
// table), the engine state and the start-up, frame, save and shutdown operations.
#pragma once

#include <cstdint>

#include "core/data_reader.h"
#include "scene/engine_records.h"

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

// Rows of the body section table that the body readers and the writer name.
constexpr int32_t kBodyRowBob = 1;
constexpr int32_t kBodyRowName = 2;
constexpr int32_t kBodyRowVersion = 3;
constexpr int32_t kBodyRowSound = 4;
constexpr int32_t kBodyRowMaterial3 = 8;
constexpr int32_t kBodyRowMaterial5 = 9;
constexpr int32_t kBodyRowMaterial6 = 10;
constexpr int32_t kBodyRowBodies = 11;
constexpr int32_t kBodyRowBones = 12;
constexpr int32_t kBodyRowPoints = 13;
constexpr int32_t kBodyRowWeights = 14;
constexpr int32_t kBodyRowParts = 15;
constexpr int32_t kBodyRowInfo = 16;

// ---------------------------------------------------------------------------------------------
// The engine state (scene/engine_records.h) and the operations the application core calls at
// start-up, per frame, in saves and at shutdown.

struct FileObject;
struct DisplayModeRecord;

// Null on failure.
EngineState3D* InitEngine3D();
// 0 on failure.
int32_t LoadSkinsAndIconData();
// The display mode the engine projects for: its half width and 1.25 times that.
void SetEngineScreenMode(const DisplayModeRecord* mode);
// Ids by name; above 0 when found.
int32_t B3D_GetBodyID(const char* name);
int32_t B3D_GetCutID(const char* name);
void UpdateCutScenes();
void UpdateEngine3DFrame();
void ResetEngine3D();
void BodyCacheTick();
void FreeAllInstancesForLoad();
void StopSceneSounds();
void FreeBodyRenderData();
void FreeEngineRenderTables();
void ExitEngine3D();
// The two work buffers of the collision box fitting, freed at shutdown when present.
void FreeCollisionFitBuffers();
// The "B3D " save section; non-zero on success.
int32_t SaveEngineState(FileObject* file);
int32_t LoadEngineState(FileObject* file);
