// The effect table: up to 1000 effect rows, each a list of entries (bodies, cuts, lights,
// break-up and propagation steps) that the object effects play on an owner. Filled from the type
// file "effects" at start-up and when a save game is read; the object effects and the explosion
// code read it. It never trusts a row index or an entry count from the file.
#pragma once

#include <cstdint>

struct DataReader;
struct DataKeyword;

constexpr int32_t kEffectRowCount = 1000;

// Row flags.
constexpr uint32_t EDF_BREAKUP = 0x1;
constexpr uint32_t EDF_PROPAGATE = 0x2;
constexpr uint32_t EDF_REINIT = 0x4;
constexpr uint32_t EDF_NOROTATE = 0x8;
constexpr uint32_t EDF_NODRIFT = 0x10;
constexpr uint32_t EDF_HIDEOBJECT = 0x20;

// Instance flags an entry adds to the instance it creates.
constexpr uint32_t I3DF_2D = 0x4000;
constexpr uint32_t I3DF_HASLENSFLARE = 0x20000000;

// Entry flags.
constexpr uint32_t EEDF_SPEEDDEPENDENT = 0x1;
constexpr uint32_t EEDF_RELATIVESIZE = 0x2;
constexpr uint32_t EEDF_LENSFLARE = 0x4;
constexpr uint32_t EEDF_GROWANDSHRINK = 0x8;
constexpr uint32_t EEDF_TIMEOUT = 0x10;
constexpr uint32_t EEDF_CUT = 0x20;
constexpr uint32_t EEDF_CAMERARELATIVE = 0x40;
constexpr uint32_t EEDF_LIGHT = 0x80;
constexpr uint32_t EEDF_GROW = 0x100;
constexpr uint32_t EEDF_RANDOMROT = 0x200;
constexpr uint32_t EEDF_FADEOUT = 0x400;
constexpr uint32_t EEDF_FADEOUTBODY = 0x800;
constexpr uint32_t EEDF_BULLETROT = 0x1000;
constexpr uint32_t EEDF_BREAKUP = 0x2000;
constexpr uint32_t EEDF_PROPAGATE = 0x4000;
constexpr uint32_t EEDF_RANDOMSIZE = 0x8000;
constexpr uint32_t EEDF_PARTICLEGENERATOR = 0x10000;
constexpr uint32_t EEDF_DISTANT = 0x20000;
constexpr uint32_t EEDF_DEBRIS = 0x40000;
constexpr uint32_t EEDF_HULLDAMAGE = 0x80000;
constexpr uint32_t EEDF_WAVE = 0x100000;
constexpr uint32_t EEDF_NOREINIT = 0x200000;
constexpr uint32_t EEDF_CUTACTUALSIZE = 0x400000;
constexpr uint32_t EEDF_CUTKEEPBODY = 0x800000;
constexpr uint32_t EEDF_NOZTEST = 0x1000000;
constexpr uint32_t EEDF_NOSKIP = 0x2000000;
constexpr uint32_t EEDF_WRECK = 0x4000000;
constexpr uint32_t EEDF_DEBRISMAP = 0x8000000;
constexpr uint32_t EEDF_PUSH = 0x10000000;

// The keyword tables of the file, for the reader and the writers of test and demo files.
extern const DataKeyword kEffectRowFlagNames[];
extern const DataKeyword kEffectInstanceFlagNames[];
extern const DataKeyword kEffectEntryFlagNames[];

// The step parameters of a propagation entry.
struct EffectPropagation {
  int32_t row;
  int32_t stepsMin, stepsMax;
  int32_t intervalFirst, intervalLast;
  int32_t bands;
  int32_t extraDelay;  // low 16 bits used
  int32_t bandWidth;   // 16.16 factor of the object's total size
};

struct EffectDefinitionEntry {
  int32_t sourceId;  // body, cut or light type; -1 for propagation and unnamed lights
  uint32_t instanceFlags;
  int32_t sizeA, sizeB;  // 16.16
  int32_t duration;      // ms
  int32_t rotation;      // 16.16 bound of the per-frame shrink
  int32_t offset[3];     // 16.16 factors with EEDF_RELATIVESIZE, else universe units
  int32_t lensFlareId;   // particle type for a particle generator
  int32_t lensFlareValue;
  int32_t speedFactor;  // 16.16
  uint32_t flags;
  int32_t startDelay;  // ms
  EffectPropagation propagation;
};

struct EffectDefinitionRow {
  int32_t entryCount;  // 0: undefined
  uint32_t flags;
  int32_t valueA;
  int32_t valueB;  // 16.16
  EffectDefinitionEntry* entries;
};

extern EffectDefinitionRow gEffectRows[kEffectRowCount];

// The row at `index`, or null outside 0..999.
EffectDefinitionRow* EffectRowAt(int32_t index);

// Empties every row, then reads "effects"; 1, or 0 when the file cannot be opened.
int32_t LoadEffectDefinitions();
// The rows from an open reader into the (emptied) table: the loader's step, open for the fuzz
// target and the tests.
void ReadEffectDefinitions(DataReader* reader);
// Frees the effect groups, every row's entries and the particle-emitter list.
void FreeEffectDefinitions();
// FreeEffectDefinitions, a fresh emitter list and LoadEffectDefinitions.
void ResetObjectEffects();
