// The scene engine's eight type files under "types\": the body and cut name tables (BodyData,
// CutData, BodyDummies), the light types, the particle emitter kinds (Particles3), the lens
// flares, the icon atlases (IconData) and the texture skins (Skins). Each loader fills its table
// of the engine state from the file's text or binary form; a missing file leaves the table at
// its defaults. Called by the engine's start-up, the save and replay readers (which reload the
// lens flares and dummies after the added body names change) and the cut checks of the natives.
#pragma once

#include <cstdint>

#include "core/data_reader.h"

struct EngineState3D;

// The icon names of IconData, each with its icon id, ended by the empty name.
constexpr int32_t kIconNameCount = 820;
extern const DataKeyword kIconNameTable[kIconNameCount + 1];

// The named trailing fields of a Particles3 record: rows 2..8 name them ("lifetimevariation:" and
// on; the binary form tags them with four letters of its own).
constexpr uint32_t kParticleFieldCount = 10;
extern const DataSectionRow kParticleFieldTable[kParticleFieldCount];

// The keywords the loaders accept in text form.
extern const DataKeyword kParticleKindFlagNames[];  // "NULL", "PEDF_2D", "PEDF_TRAIL"
extern const DataKeyword kIconTableNames[];          // "ICONTYPE_GUI" ... "ICONTYPE_WEAPON"
extern const DataKeyword kNullKeyword[];             // "NULL" alone

// Light type row i before any file: kind 1, each colour channel a digit of i (hundreds, tens,
// units) times 255 / 9, no parameters.
void SetDefaultLightTypes();

void LoadBodyData();
void LoadCutData();
bool LoadLightTypes();
bool LoadParticles3();
void LoadLensflares(EngineState3D* engine);
void LoadBodyDummies(EngineState3D* engine);
void LoadIconData();
bool LoadSkins();

// The engine start's type files: BodyData, CutData, LightTypes, Particles3, then the lens flares
// (any loaded before freed) and BodyDummies.
void LoadEngineTypeFiles();
// The two loaders whose body names may name other bodies once the added BodyData names were read
// back from a save or a recording.
void ReloadLensflaresAndDummies();

// False when the cut's CutData row carries the missing mark; else whether the cut loads.
bool IsCutAvailable(int32_t cutId);
